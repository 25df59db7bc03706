// Tests of libvantor.so through its C entry points, as the engine calls them:
// pg.cfg and pg.log in the working directory, counts, errors and misuse.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "companions/vantor/vantor.h"

namespace {

using Ring = std::vector<int32_t>;

constexpr char kPgCfg[] =
    "SMALLANGLE\n0.000000\n\nSCALE\n1.000000\n\nFEATURE\n0.200000\n\n"
    "PERCENT_BUTT\n0\n\n\nPG_OUTPUT\n1 out1.pg\n";

// An E lying on its back: a base and three teeth, four trapezoids.
const Ring kComb = {0, 0, 5, 0, 5, 2, 4, 2, 4, 1, 3, 1, 3, 3, 2, 3, 2, 1, 1, 1, 1, 4, 0, 4, 0, 0};
const Ring kSquare = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};

class VantorLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantor_library_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(directory_);
    // Whatever an earlier test left open or counted is ended here.
    PG_CLOSE(nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    PG_CLOSE(nullptr, nullptr, nullptr);
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(directory_);
  }

  static void WriteFile(const std::string& name, std::string_view text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static int32_t Init(int32_t v = -1, double scale = 1e20, uint32_t window = 0) {
    int32_t zero1 = 0, zero2 = 0, o = -1, m = -1;
    double c = 1e20, a = 1e20, feature = 0.2;
    return PG_INIT(&zero1, &zero2, &o, &v, &m, &scale, &c, &a, &feature, &window);
  }

  // PG with the structure name in a 34-byte buffer, as the engine passes it.
  static int32_t Pg(const Ring& ring, std::vector<PgTrapezoid>& table, double fixup,
                    const std::string& name) {
    std::string buffer = name;
    buffer.resize(34, '\0');
    int32_t count = static_cast<int32_t>(ring.size() / 2);
    int32_t capacity = static_cast<int32_t>(table.size());
    double one = 1.0;
    return PG(ring.data(), &count, &one, table.data(), &capacity, &fixup, buffer.data(), 34);
  }

  static int32_t Path(const Ring& ring) {
    int32_t count = static_cast<int32_t>(ring.size() / 2);
    double one = 1.0, fixup = 0.001;
    return PG_PATH(ring.data(), &count, &one, &fixup, "TOP", 3);
  }

  std::filesystem::path directory_;
  std::filesystem::path previous_;
};

TEST_F(VantorLibraryTest, InitFailsWithoutPgCfgAndCreatesNoLog) {
  EXPECT_EQ(Init(), PG_INIT_FAILED);
  EXPECT_FALSE(std::filesystem::exists("pg.log"));
  std::filesystem::create_directory("pg.cfg");  // there, but not readable as a file
  EXPECT_EQ(Init(), PG_INIT_FAILED);
  EXPECT_FALSE(std::filesystem::exists("pg.log"));
}

TEST_F(VantorLibraryTest, InitFindsPgCfgWrittenInCapitals) {
  WriteFile("PG.CFG", kPgCfg);
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(PG_CLOSE(nullptr, nullptr, nullptr), 0);
  EXPECT_NE(ReadFile("pg.log").find("Settings: PG.CFG\r\n"), std::string::npos);
}

TEST_F(VantorLibraryTest, InitFailsWhenPgLogCannotBeCreated) {
  WriteFile("pg.cfg", kPgCfg);
  std::filesystem::create_directory("pg.log");
  EXPECT_EQ(Init(), PG_INIT_FAILED);
}

TEST_F(VantorLibraryTest, ARunWritesItsValuesRecordsProblemsAndCounts) {
  WriteFile("pg.cfg", kPgCfg);
  ASSERT_EQ(Init(2, 1.5, 0x1234), 0);

  std::vector<PgTrapezoid> table(8192);
  ASSERT_EQ(Pg(kSquare, table, 0.001, "TOP"), 1);
  EXPECT_EQ(std::vector<int32_t>(table[0].xy, table[0].xy + 8),
            (std::vector<int32_t>{0, 0, 10, 0, 10, 10, 0, 10}));
  // 10 nm database units: 10 PG units (nanometres) each, and back again the
  // way the engine writes them.
  ASSERT_EQ(Pg(kSquare, table, 0.01, "TOP"), 1);
  EXPECT_EQ(table[0].xy[4], 100);
  EXPECT_EQ(std::lround(table[0].xy[4] * 0.001 / 0.01), 10);

  EXPECT_EQ(Pg({0, 0, 10, 0, 20, 0, 0, 0}, table, 0.001, "TOP"), 0);
  std::vector<PgTrapezoid> small(3);
  EXPECT_EQ(Pg(kComb, small, 0.001, "CELL_A"), 3);
  EXPECT_EQ(Path({0, 0, 100, 0}), 0);
  EXPECT_EQ(Path({0, 0, 100, 0, 100, 100}), 0);

  int32_t zero = 0, warnings = -1, errors = -1;
  EXPECT_EQ(PG_CLOSE(&zero, &warnings, &errors), 0);
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(ReadFile("pg.log"),
            "libvantor.so - PG-writing library\r\n"
            "PG_INIT: zero1=0 zero2=0 o=-1 v=2 m=-1 scale=1.5 c=1e+20 a=1e+20 "
            "feature_size=0.2 window=4660\r\n"
            "Settings: pg.cfg\r\n"
            "Records: SMALLANGLE SCALE FEATURE PERCENT_BUTT PG_OUTPUT\r\n"
            "Warning: structure \"TOP\": the polygon has no area; no trapezoid was returned.\r\n"
            "Error: structure \"CELL_A\": the polygon of 13 points needs more than 3 "
            "trapezoids; only 3 were returned.\r\n"
            "Polygons: 4\r\n"
            "Trapezoids: 5\r\n"
            "Paths: 2\r\n"
            "Warnings: 1\r\n"
            "Errors: 1\r\n");
}

// A decomposition prepared on another thread gives what PG gives by itself, in the table
// and in pg.log; PG takes it only for the call it was prepared for, and only once.
TEST_F(VantorLibraryTest, APreparedDecompositionChangesNothingPgReturnsOrLogs) {
  WriteFile("pg.cfg", kPgCfg);
  const Ring star = {0, 0, 40, 30, 80, 0, 55, 45, 80, 90, 40, 60, 0, 90, 25, 45, 0, 0};
  const std::vector<const Ring*> rings = {&kComb, &kSquare, &star, &kComb};
  struct Run {
    std::vector<int32_t> returned;
    std::vector<std::vector<int32_t>> tables;
    std::string log;
  };
  // mode 0: PG alone; 1: every call prepared; 2: each call handed the preparation of
  // another polygon, of the same polygon in another table, or one already taken.
  const auto run = [&](int mode) {
    Run result;
    EXPECT_EQ(Init(), 0);
    std::vector<PgTrapezoid> table(16), small(3), other(16);
    for (size_t i = 0; i < rings.size(); ++i) {
      const Ring& ring = *rings[i];
      std::vector<PgTrapezoid>& into = i == 2 ? small : table;
      const int32_t count = static_cast<int32_t>(ring.size() / 2);
      const int32_t capacity = static_cast<int32_t>(into.size());
      const double fixup = 0.001;
      PgPrepared prepared{};
      if (mode == 1) {
        for (PgTrapezoid& t : into) t = PgTrapezoid{};
        EXPECT_EQ(PG_PREPARE(ring.data(), &count, into.data(), &capacity, &fixup, &prepared), 1);
        PG_USE_PREPARED(&prepared);
      } else if (mode == 2) {
        const Ring& wrong = *rings[(i + 1) % rings.size()];
        const int32_t wrong_count = static_cast<int32_t>(wrong.size() / 2);
        const int32_t other_capacity = static_cast<int32_t>(other.size());
        if (i % 2 == 0) {
          PG_PREPARE(wrong.data(), &wrong_count, into.data(), &capacity, &fixup, &prepared);
        } else {
          PG_PREPARE(ring.data(), &count, other.data(), &other_capacity, &fixup, &prepared);
        }
        PG_USE_PREPARED(&prepared);
        if (i == 3) {
          // Another call of the library in between drops it.
          PG_PREPARE(ring.data(), &count, into.data(), &capacity, &fixup, &prepared);
          PG_USE_PREPARED(&prepared);
          Path({0, 0, 10, 0});
          for (PgTrapezoid& t : into) t = PgTrapezoid{};
        }
      }
      result.returned.push_back(Pg(ring, into, fixup, "TOP"));
      std::vector<int32_t> values;
      for (int32_t k = 0; k < std::max(result.returned.back(), 0); ++k) {
        values.insert(values.end(), into[k].xy, into[k].xy + 8);
      }
      result.tables.push_back(values);
    }
    PG_CLOSE(nullptr, nullptr, nullptr);
    result.log = ReadFile("pg.log");
    return result;
  };
  const Run alone = run(0);
  EXPECT_EQ(alone.returned, (std::vector<int32_t>{4, 1, 3, 4}));
  EXPECT_NE(alone.log.find("needs more than 3 trapezoids"), std::string::npos);
  EXPECT_NE(alone.log.find("Trapezoids: 12"), std::string::npos);
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    const Run other = run(mode);
    EXPECT_EQ(other.returned, alone.returned);
    EXPECT_EQ(other.tables, alone.tables);
    if (mode == 1) {
      EXPECT_EQ(other.log, alone.log);
    }
  }
  // The prepared call keeps the table as it stands; PG is handed a preparation once.
  ASSERT_EQ(Init(), 0);
  const int32_t five = 5, two = 2, capacity = 16;
  const double fixup = 0.001, bad_fixup = 0;
  std::vector<PgTrapezoid> table(16);
  PgPrepared prepared{};
  ASSERT_EQ(PG_PREPARE(kSquare.data(), &five, table.data(), &capacity, &fixup, &prepared), 1);
  table[0].xy[0] = 12345;
  PG_USE_PREPARED(&prepared);
  EXPECT_EQ(Pg(kSquare, table, fixup, "TOP"), 1);
  EXPECT_EQ(table[0].xy[0], 12345);
  EXPECT_EQ(Pg(kSquare, table, fixup, "TOP"), 1);
  EXPECT_EQ(table[0].xy[0], 0);
  PG_CLOSE(nullptr, nullptr, nullptr);
  // Arguments PG refuses are not prepared.
  EXPECT_EQ(PG_PREPARE(kSquare.data(), &two, table.data(), &capacity, &fixup, &prepared), 0);
  EXPECT_EQ(PG_PREPARE(kSquare.data(), &five, table.data(), &capacity, &bad_fixup, &prepared), 0);
  EXPECT_EQ(PG_PREPARE(kSquare.data(), &five, nullptr, &capacity, &fixup, &prepared), 0);
}

TEST_F(VantorLibraryTest, EveryBadPolygonIsACountedErrorThatFillsNothing) {
  WriteFile("pg.cfg", kPgCfg);
  ASSERT_EQ(Init(), 0);
  std::vector<PgTrapezoid> table(16);
  for (PgTrapezoid& t : table) std::fill(std::begin(t.xy), std::end(t.xy), -7);
  int32_t count = 5, two = 2, none = 0, negative = -3, capacity = 16;
  double one = 1.0, fixup = 0.001, zero_fixup = 0.0, negative_fixup = -0.001, huge_fixup = 1e6;
  double nan = std::numeric_limits<double>::quiet_NaN();
  double infinite = std::numeric_limits<double>::infinity();
  struct Case {
    const int32_t* points;
    const int32_t* count;
    PgTrapezoid* table;
    const int32_t* capacity;
    const double* fixup;
    const char* logged;
  };
  const Case cases[] = {
      {nullptr, &count, table.data(), &capacity, &fixup, "a null pointer"},
      {kSquare.data(), nullptr, table.data(), &capacity, &fixup, "a null pointer"},
      {kSquare.data(), &count, nullptr, &capacity, &fixup, "a null pointer"},
      {kSquare.data(), &count, table.data(), nullptr, &fixup, "a null pointer"},
      {kSquare.data(), &count, table.data(), &capacity, nullptr, "a null pointer"},
      {kSquare.data(), &two, table.data(), &capacity, &fixup, "a polygon of 2 point(s)"},
      {kSquare.data(), &none, table.data(), &capacity, &fixup, "a polygon of 0 point(s)"},
      {kSquare.data(), &negative, table.data(), &capacity, &fixup, "a polygon of -3 point(s)"},
      {kSquare.data(), &count, table.data(), &capacity, &zero_fixup, "unit factor 0 is not"},
      {kSquare.data(), &count, table.data(), &capacity, &negative_fixup, "unit factor -0.001"},
      {kSquare.data(), &count, table.data(), &capacity, &nan, "unit factor nan"},
      {kSquare.data(), &count, table.data(), &capacity, &infinite, "unit factor inf"},
      // 10 database units at a thousand million PG units each overflow int32.
      {kSquare.data(), &count, table.data(), &capacity, &huge_fixup, "outside the 32-bit range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    EXPECT_EQ(PG(c.points, c.count, &one, c.table, c.capacity, c.fixup, "BAD", 3), 0);
  }
  for (const PgTrapezoid& t : table) EXPECT_EQ(t.xy[0], -7);
  int32_t warnings = -1, errors = -1;
  EXPECT_EQ(PG_CLOSE(nullptr, &warnings, &errors), 0);
  EXPECT_EQ(warnings, 0);
  EXPECT_EQ(errors, static_cast<int32_t>(std::size(cases)));
  std::string log = ReadFile("pg.log");
  for (const Case& c : cases) {
    EXPECT_NE(log.find(std::string("Error: structure \"BAD\": ")), std::string::npos);
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.logged;
  }
}

TEST_F(VantorLibraryTest, BadPathsAreCountedErrors) {
  WriteFile("pg.cfg", kPgCfg);
  ASSERT_EQ(Init(), 0);
  int32_t one_point = 1;
  EXPECT_EQ(PG_PATH(nullptr, &one_point, nullptr, nullptr, "P", 1), -1);
  EXPECT_EQ(PG_PATH(kSquare.data(), &one_point, nullptr, nullptr, "P", 1), -1);
  EXPECT_EQ(PG_PATH(kSquare.data(), nullptr, nullptr, nullptr, "P", 1), -1);
  int32_t warnings = -1, errors = -1;
  EXPECT_EQ(PG_CLOSE(nullptr, &warnings, &errors), 0);
  EXPECT_EQ(errors, 3);
  EXPECT_NE(ReadFile("pg.log").find("Paths: 0\r\n"), std::string::npos);
}

TEST_F(VantorLibraryTest, StructureNamesStopAtTheirEndAndStayOnOneLine) {
  WriteFile("pg.cfg", kPgCfg);
  ASSERT_EQ(Init(), 0);
  // A table of no capacity: each call is an error that names its structure.
  std::vector<PgTrapezoid> none(1);
  int32_t count = 5, capacity = 0;
  double one = 1.0, fixup = 0.001;
  const char name[] = "CELL\nX\0GARBAGE";
  PG(kSquare.data(), &count, &one, none.data(), &capacity, &fixup, name, sizeof name);
  PG(kSquare.data(), &count, &one, none.data(), &capacity, &fixup, "LONGNAME", 4);
  PG(kSquare.data(), &count, &one, none.data(), &capacity, &fixup, nullptr, 34);
  PG_CLOSE(nullptr, nullptr, nullptr);
  std::string log = ReadFile("pg.log");
  EXPECT_NE(log.find("structure \"CELL?X\": "), std::string::npos);
  EXPECT_NE(log.find("structure \"LONG\": "), std::string::npos);
  EXPECT_NE(log.find("structure \"\": "), std::string::npos);
  EXPECT_EQ(log.find("GARBAGE"), std::string::npos);
}

TEST_F(VantorLibraryTest, CallsOutsideARunAreHarmlessCountedErrors) {
  std::vector<PgTrapezoid> table(8);
  EXPECT_EQ(Pg(kSquare, table, 0.001, "EARLY"), 0);
  EXPECT_EQ(Path({0, 0, 1, 1}), -1);

  WriteFile("pg.cfg", kPgCfg);
  ASSERT_EQ(Init(), 0);
  int32_t warnings = -1, errors = -1;
  EXPECT_EQ(PG_CLOSE(nullptr, &warnings, &errors), 0);
  EXPECT_EQ(errors, 2);  // the two calls made before the run
  std::string log = ReadFile("pg.log");
  EXPECT_NE(log.find("Error: 2 call(s) came while no run was open.\r\n"), std::string::npos);

  EXPECT_EQ(Pg(kSquare, table, 0.001, "LATE"), 0);
  EXPECT_EQ(Path({0, 0, 1, 1}), -1);
  EXPECT_EQ(PG_CLOSE(nullptr, &warnings, &errors), -1);
  EXPECT_EQ(warnings, 0);
  EXPECT_EQ(errors, 3);  // two late calls and the second close
  EXPECT_EQ(ReadFile("pg.log"), log);
}

TEST_F(VantorLibraryTest, AFailedWriteOfPgLogIsAnError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  WriteFile("pg.cfg", kPgCfg);
  std::filesystem::create_symlink("/dev/full", "pg.log");
  ASSERT_EQ(Init(), 0);
  int32_t warnings = -1, errors = -1;
  EXPECT_EQ(PG_CLOSE(nullptr, &warnings, &errors), 0);
  EXPECT_EQ(warnings, 0);
  EXPECT_EQ(errors, 1);
}

}  // namespace
