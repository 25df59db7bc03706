// The converters ferolt and mistrel: their command line, output names, units and feature
// size, and whole runs of the built programs on Intermediate files in a working directory.
#include "companions/converter/converter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "pg2gds/pg_readers.h"
#include "pg2gds/pg_writer.h"
#include "support/buf_file.h"
#include "support/run_program.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;

// ---- The command line ----

TEST(ConverterArgumentsTest, ShellCommandLines) {
  struct Case {
    ConverterKind kind;
    std::vector<std::string> arguments;
    int32_t format;
    bool english;
    bool quiet;
  };
  const Case cases[] = {
      {ConverterKind::kFerolt,
       {"TOP01.int", "microns", "1.000000", "-p", "-q"},
       kPgFormatElectroMask,
       false,
       true},
      {ConverterKind::kFerolt,
       {"TOP01.int", "mils", "1.000000", "-p", "-q", "-a", "-d:/tmp"},
       kPgFormatElectroMask,
       true,
       true},
      {ConverterKind::kMistrel,
       {"TOP01.int", "MICRONS", "1.000000", "-p", "-q", "-3000"},
       kPgFormatMann3000,
       false,
       true},
      {ConverterKind::kMistrel,
       {"TOP01.int", "mils", "2.5", "-p", "-3600"},
       kPgFormatMann3600,
       true,
       false},
      {ConverterKind::kMistrel, {"TOP01.int", "microns", "1"}, kPgFormatMann3000, false, false},
  };
  for (const Case& c : cases) {
    ConverterOptions options;
    std::string error;
    ASSERT_EQ(ParseConverterArguments(c.kind, c.arguments, &options, &error), 0) << error;
    EXPECT_EQ(options.input, "TOP01.int");
    EXPECT_EQ(options.format, c.format);
    EXPECT_EQ(options.english, c.english);
    EXPECT_EQ(options.quiet, c.quiet);
  }
  ConverterOptions options;
  std::string error;
  ASSERT_EQ(ParseConverterArguments(ConverterKind::kMistrel, {"a.int", "mils", "2.5", "-3600"},
                                    &options, &error),
            0);
  EXPECT_EQ(options.scale, 2.5);
}

TEST(ConverterArgumentsTest, BadCommandLinesAreRefusedWithAReason) {
  struct Case {
    ConverterKind kind;
    std::vector<std::string> arguments;
    std::string reason;  // part of the message
  };
  const Case cases[] = {
      {ConverterKind::kFerolt, {}, "got 0"},
      {ConverterKind::kFerolt, {"a.int", "microns"}, "got 2"},
      {ConverterKind::kFerolt, {"a.int", "microns", "1", "extra"}, "got 4"},
      {ConverterKind::kFerolt, {"a.int", "inches", "1"}, "mils or microns"},
      {ConverterKind::kFerolt, {"a.int", "mils", "0"}, "positive"},
      {ConverterKind::kFerolt, {"a.int", "mils", "1.0x"}, "positive"},
      {ConverterKind::kFerolt, {"a.int", "mils", "nan"}, "positive"},
      {ConverterKind::kFerolt, {"a.int", "mils", "1", "-3600"}, "unknown option"},
      {ConverterKind::kMistrel, {"a.int", "mils", "1", "-3700"}, "unknown option"},
      {ConverterKind::kMistrel, {"a.int", "mils", "1", "-d:"}, "unknown option"},
  };
  for (const Case& c : cases) {
    ConverterOptions options;
    std::string error;
    EXPECT_EQ(ParseConverterArguments(c.kind, c.arguments, &options, &error), -1)
        << testing::PrintToString(c.arguments);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(ConverterArgumentsTest, OutputNameIsTheInputNameInTheWorkingDirectory) {
  struct Case {
    ConverterKind kind;
    std::string input, output;
  };
  const Case cases[] = {
      {ConverterKind::kFerolt, "TOP01.int", "TOP01.em"},
      {ConverterKind::kMistrel, "TOP01.int", "TOP01.dwm"},
      {ConverterKind::kFerolt, "/data/dir/CHIP107.int", "CHIP107.em"},
      {ConverterKind::kFerolt, "sub\\a.b.int", "a.b.em"},
      {ConverterKind::kMistrel, "noext", "noext.dwm"},
      {ConverterKind::kFerolt, ".hidden", ".hidden.em"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConverterOutputName(c.kind, c.input), c.output);
}

TEST(ConverterArgumentsTest, RawUnitsFollowTheDivisorsOfTheReadingEngines) {
  EXPECT_EQ(RawUnitsPerUserUnit(kPgFormatElectroMask, true), 100);
  EXPECT_EQ(RawUnitsPerUserUnit(kPgFormatElectroMask, false), 10);
  EXPECT_EQ(RawUnitsPerUserUnit(kPgFormatMann3000, true), 100);
  EXPECT_EQ(RawUnitsPerUserUnit(kPgFormatMann3000, false), 1);
  EXPECT_EQ(RawUnitsPerUserUnit(kPgFormatMann3600, true), 100);
  EXPECT_EQ(RawUnitsPerUserUnit(kPgFormatMann3600, false), 100);
  EXPECT_EQ(RawUnitsPerUserUnit(kPgFormatDraftek, false), 0);
}

// ---- Runs in a working directory ----

class ConverterRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/converter_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directory(dir_ + "/jobs");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Work(const std::string& name) const { return dir_ + "/jobs/" + name; }

  void WriteText(const std::string& name, const std::string& text) const {
    std::ofstream(Work(name), std::ios::binary) << text;
  }
  std::string ReadText(const std::string& name) const {
    std::ifstream in(Work(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Writes an Intermediate file: quadrilaterals (four corners each) and then sectors,
  // all in thousandths of the layout unit.
  void WriteIntermediate(const std::string& name, const std::vector<PgOutputShape>& shapes) {
    PgOutputWriter writer;
    ASSERT_EQ(writer.OpenPgOutput(Work(name), kPgFormatIntermediate, kPgAscii), kPgOutputOk);
    for (const PgOutputShape& shape : shapes) ASSERT_EQ(writer.WritePgShape(shape), kPgOutputOk);
    ASSERT_EQ(writer.ClosePgOutput(), kPgOutputOk);
  }

  // Runs the program in the working directory; its result, with what it wrote to stderr.
  int32_t Run(const char* program, const std::string& arguments, std::string* errors = nullptr) {
    const std::string error_path = dir_ + "/stderr.txt";
    std::fflush(stderr);
    int saved = dup(2);
    int fd = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    close(fd);
    int32_t result = 0;
    int started = RunProgram({}, program, Work("").c_str(), arguments, &result, true);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(started, 1);
    std::ifstream in(error_path, std::ios::binary);
    if (errors) *errors = std::string(std::istreambuf_iterator<char>(in), {});
    return result;
  }

  // The flashes of a PG file as the readers give them.
  std::vector<FlashRecord> ReadFlashes(const std::string& name, int32_t format,
                                       int32_t* unit_code = nullptr) {
    std::vector<FlashRecord> flashes;
    std::unique_ptr<BufFile> file = BufFileOpen(Work(name).c_str(), "rb");
    EXPECT_NE(file, nullptr) << name;
    if (!file) return flashes;
    PgReader reader;
    int32_t unit = 0;
    PgRecordReader read = PgRecordReaderFor(DetectPgFormat(&reader, file.get(), format, &unit));
    EXPECT_NE(read, nullptr);
    if (!read) return flashes;
    int result;
    while ((result = read(&reader)) == kPgReadFlash) flashes.push_back(reader.flash());
    EXPECT_EQ(result, kPgReadEndOfData);
    if (unit_code) *unit_code = unit;
    return flashes;
  }

  std::string dir_;
};

PgOutputShape Quad(std::array<int32_t, 8> points) {
  PgOutputShape shape;
  shape.points = points;
  return shape;
}

PgOutputShape Circle(int32_t cx, int32_t cy, int32_t radius) {
  PgOutputShape shape;
  shape.sector = 1;
  shape.centre_x = cx;
  shape.centre_y = cy;
  shape.sweep = 3600;
  shape.points = {cx + radius, cy};
  return shape;
}

double TotalArea(const std::vector<FlashRecord>& flashes) {
  double area = 0;
  for (const FlashRecord& f : flashes) area += static_cast<double>(f.w) * f.h;
  return area;
}

constexpr const char* kFerolt = FEROLT_PROGRAM;
constexpr const char* kMistrel = MISTREL_PROGRAM;

TEST_F(ConverterRunTest, FeroltWritesRectanglesAsFlashesAndCoversTheRest) {
  // In microns: a 100 x 50 rectangle, a 40 x 10 rectangle along (3, 4), a trapezoid, and a
  // circle of radius 20; feature size 2 microns, so the cover keeps to 1 micron.
  WriteIntermediate("TOP01.int", {Quad({0, 0, 100000, 0, 100000, 50000, 0, 50000}),
                                  Quad({200000, 0, 224000, 32000, 216000, 38000, 192000, 6000}),
                                  Quad({0, 100000, 100000, 100000, 80000, 140000, 20000, 140000}),
                                  Circle(300000, 300000, 20000)});
  WriteText("pg.cfg", "SMALLANGLE\n0.000000\n\nFEATURE\n2.000000\n\nPERCENT_BUTT\n0\n\n");
  // The turned rectangle's flash keeps the angle to a tenth of a degree, which moves its
  // corners by 20.6 microns (its half diagonal) times 0.0301 degrees: one warning.
  ASSERT_EQ(Run(kFerolt, "TOP01.int microns 1.000000 -p -q"), 1);

  std::vector<FlashRecord> flashes = ReadFlashes("TOP01.em", kPgFormatElectroMask);
  ASSERT_GE(flashes.size(), 4u);
  // Electromask metric holds tenths of a micron.
  EXPECT_EQ(flashes[0].x, 500);
  EXPECT_EQ(flashes[0].y, 250);
  EXPECT_EQ(flashes[0].w, 1000);
  EXPECT_EQ(flashes[0].h, 500);
  EXPECT_EQ(flashes[0].angle, 0);
  EXPECT_EQ(flashes[1].x, 2080);
  EXPECT_EQ(flashes[1].y, 190);
  EXPECT_EQ(flashes[1].w, 400);
  EXPECT_EQ(flashes[1].h, 100);
  EXPECT_EQ(flashes[1].angle, 531);  // atan2(4, 3)
  // The trapezoid and the circle are covered by staircases that straddle their edges:
  // their area comes out to within a quarter of a raw unit along the outline (the grid's
  // rounding goes either way).
  const double trapezoid = (1000 + 600) / 2.0 * 400, circle = std::numbers::pi * 200 * 200;
  const double covered = TotalArea(flashes) - 1000 * 500 - 400 * 100;
  EXPECT_NEAR(covered, trapezoid + circle,
              ((1000 + 600 + 2 * 448) + 2 * std::numbers::pi * 200) / 4);

  const std::string log = ReadText("pg.log");
  EXPECT_NE(log.find("ferolt: TOP01.int -> TOP01.em (ElectroMask, microns, scale 1)\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("feature size 2 microns (pg.cfg); flashes cover each shape to within 1 "
                     "microns of its edges\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("3 quadrilateral(s) and 1 sector(s): 2 rectangle(s) written as one flash"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("2 shape(s) that are not rectangles covered by " +
                     std::to_string(flashes.size() - 2) + " rectangle flash(es)\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("ferolt: Warning: 1 rectangle flash(es) moved by up to 0.0108311 microns: "
                     "the output's unit of 0.1 microns cannot hold their corners (1 of them "
                     "turned, which no scale holds)\r\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(fs::exists(Work("TOP01.int")));  // the shell deletes it, not the converter
}

TEST_F(ConverterRunTest, PiecesOfAnAngledShapeAreExposedAcrossTheirCuts) {
  // An octagon (half widths 30 and 70 microns) cut into three slabs, turned by 30 degrees
  // about (500, 300) microns: the cuts run at 30 degrees, off the flash grid. The middle
  // slab is a rectangle and stays one flash; every point of the cuts deeper inside than
  // the tolerance (1 micron) is exposed.
  const double a = 30 * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
  auto place = [&](double x, double y) {  // microns in the octagon's frame -> raw units
    return std::array<double, 2>{5000 + 10 * (x * c - y * s), 3000 + 10 * (x * s + y * c)};
  };
  const double slabs[3][4][2] = {{{-30, -70}, {30, -70}, {70, -30}, {-70, -30}},
                                 {{-70, -30}, {70, -30}, {70, 30}, {-70, 30}},
                                 {{-70, 30}, {70, 30}, {30, 70}, {-30, 70}}};
  std::vector<PgOutputShape> pieces;
  for (const auto& slab : slabs) {
    std::array<int32_t, 8> corners;
    for (int i = 0; i < 4; ++i) {
      const auto raw = place(slab[i][0], slab[i][1]);
      corners[2 * i] = static_cast<int32_t>(std::lround(raw[0] * 100));  // nanometres
      corners[2 * i + 1] = static_cast<int32_t>(std::lround(raw[1] * 100));
    }
    pieces.push_back(Quad(corners));
  }
  WriteIntermediate("TOP03.int", pieces);
  WriteText("pg.cfg", "FEATURE\n2.000000\n");
  ASSERT_EQ(Run(kFerolt, "TOP03.int microns 1.000000 -p -q"), 0);

  const std::vector<FlashRecord> flashes = ReadFlashes("TOP03.em", kPgFormatElectroMask);
  auto exposed = [&](std::array<double, 2> p) {
    return std::any_of(flashes.begin(), flashes.end(), [&](const FlashRecord& f) {
      const double t = f.angle / 1800.0 * std::numbers::pi, dx = p[0] - f.x, dy = p[1] - f.y;
      return std::fabs(dx * std::cos(t) + dy * std::sin(t)) <= f.w / 2.0 &&
             std::fabs(-dx * std::sin(t) + dy * std::cos(t)) <= f.h / 2.0;
    });
  };
  int bare = 0;
  for (double cut : {-30.0, 30.0}) {
    for (double x = -68; x <= 68; x += 0.25) bare += !exposed(place(x, cut));
  }
  EXPECT_EQ(bare, 0) << "points of the cuts left bare";
  EXPECT_EQ(std::count_if(
                flashes.begin(), flashes.end(),
                [](const FlashRecord& f) { return f.angle == 300 && f.w == 1400 && f.h == 600; }),
            1);
  const std::string log = ReadText("pg.log");
  EXPECT_NE(log.find("3 quadrilateral(s) and 0 sector(s): 1 rectangle(s) written as one flash"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("2 shape(s) that are not rectangles covered by " +
                     std::to_string(flashes.size() - 1) + " rectangle flash(es)\r\n"),
            std::string::npos)
      << log;
}

TEST_F(ConverterRunTest, SectorsKeepTheirSweepAndArea) {
  // A quarter ring from 45 to 135 degrees, radii 20 and 50 microns, centred at (10, 10)
  // microns, and the same turning clockwise: the reader gives both the same way round.
  for (int32_t sweep : {900, -900}) {
    SCOPED_TRACE(sweep);
    const double start = (sweep > 0 ? 45 : 135) * std::numbers::pi / 180;
    PgOutputShape sector;
    sector.sector = 1;
    sector.centre_x = sector.centre_y = 10000;
    sector.inner_radius = 20000;
    sector.sweep = sweep;
    sector.points = {static_cast<int32_t>(std::lround(10000 + 50000 * std::cos(start))),
                     static_cast<int32_t>(std::lround(10000 + 50000 * std::sin(start)))};
    WriteIntermediate("ARC.int", {sector});
    ASSERT_EQ(Run(kFerolt, "ARC.int microns 1.000000 -p -q"), 0);
    std::vector<FlashRecord> flashes = ReadFlashes("ARC.em", kPgFormatElectroMask);
    ASSERT_FALSE(flashes.empty());
    for (const FlashRecord& f : flashes) {
      for (int i = 0; i < 4; ++i) {
        int32_t x = 0, y = 0;
        AbsoluteFlashCorner(f, i, &x, &y);
        // In tenths of a micron: within the tolerance (half the default feature size of
        // 5 microns) of the ring and the quarter.
        const double dx = x - 100.0, dy = y - 100.0, r = std::hypot(dx, dy);
        EXPECT_GE(r, 200 - 25);
        EXPECT_LE(r, 500 + 25);
        EXPECT_GE(dy + 25 * std::numbers::sqrt2, std::fabs(dx)) << x << "," << y;
      }
    }
    const double ring = std::numbers::pi / 4 * (500 * 500 - 200 * 200);
    EXPECT_NEAR(TotalArea(flashes), ring, (2 * 300 + std::numbers::pi / 2 * 700) / 4);
  }
}

TEST_F(ConverterRunTest, PgLogIsAppendedToAndTheDefaultFeatureSizeNamed) {
  WriteText("pg.log", "libvantor.so - PG-writing library\r\n");
  WriteIntermediate("A.int", {Quad({0, 0, 10000, 0, 10000, 4000, 0, 4000})});
  ASSERT_EQ(Run(kFerolt, "A.int mils 1.000000 -p -q"), 0);
  const std::string log = ReadText("pg.log");
  EXPECT_EQ(log.rfind("libvantor.so - PG-writing library\r\nferolt: A.int -> A.em", 0), 0u) << log;
  EXPECT_NE(log.find("feature size 0.2 mils (default); flashes cover each shape to within 0.1 "
                     "mils"),
            std::string::npos)
      << log;
  // Electromask in mils holds hundredths of a mil.
  std::vector<FlashRecord> flashes = ReadFlashes("A.em", kPgFormatElectroMask);
  ASSERT_EQ(flashes.size(), 1u);
  EXPECT_EQ(flashes[0].x, 500);
  EXPECT_EQ(flashes[0].w, 1000);
  EXPECT_EQ(flashes[0].h, 400);
}

TEST_F(ConverterRunTest, RectanglesKeepTheirEdgesOrTheMoveIsCountedWithTheExactScale) {
  // A flash's centre and sides are whole raw units, so its edges lie on whole units for an
  // even side and on half units for an odd one. Electromask in microns counts tenths of a
  // micron: a side of 2.5 microns at 0 has edges no flash holds, twice the scale holds
  // them, and Mann 3600 (hundredths of a micron) holds them at the scale given.
  struct Case {
    const char* program;
    std::string arguments;
    std::array<int32_t, 4> box;  // x, y, width, height in nanometres
    const char* output;
    int32_t format;
    std::array<int32_t, 4> flash;  // x, y, w, h in raw units
    int32_t result;
    const char* warning;  // the pg.log line after "<program>: Warning: ", empty for none
  };
  const Case cases[] = {
      {kFerolt,
       "microns 1 -q",
       {0, 0, 2500, 2000},
       "B.em",
       kPgFormatElectroMask,
       {13, 10, 25, 20},
       1,
       "1 rectangle flash(es) moved by up to 0.05 microns: the output's unit of 0.1 microns "
       "cannot hold their corners; the layer's rectangles along the axes would be exact at "
       "scale 2"},
      {kFerolt,
       "microns 2 -q",
       {0, 0, 2500, 2000},
       "B.em",
       kPgFormatElectroMask,
       {25, 20, 50, 40},
       0,
       ""},
      {kFerolt,
       "microns 1 -q",
       {700, 400, 900, 900},
       "B.em",
       kPgFormatElectroMask,
       {12, 9, 9, 9},
       1,
       "1 rectangle flash(es) moved by up to 0.0707107 microns: the output's unit of 0.1 "
       "microns cannot hold their corners; the layer's rectangles along the axes would be "
       "exact at scale 2"},
      {kFerolt,
       "microns 1 -q",
       {200, 600, 2000, 400},
       "B.em",
       kPgFormatElectroMask,
       {12, 8, 20, 4},
       0,
       ""},
      {kMistrel,
       "microns 1 -q -3600",
       {0, 0, 2500, 2000},
       "B.dwm",
       kPgFormatMann3600,
       {125, 100, 250, 200},
       0,
       ""},
      {kMistrel,
       "microns 1 -q -3000",
       {700, 400, 900, 900},
       "B.dwm",
       kPgFormatMann3000,
       {1, 1, 1, 1},
       1,
       "1 rectangle flash(es) moved by up to 0.282843 microns: the output's unit of 1 microns "
       "cannot hold their corners; the layer's rectangles along the axes would be exact at "
       "scale 20"},
      // Edges on 100 nm steps need a multiple of 2000 of this scale.
      {kFerolt,
       "microns 1.001 -q",
       {700, 400, 900, 900},
       "B.em",
       kPgFormatElectroMask,
       {12, 9, 9, 9},
       1,
       "1 rectangle flash(es) moved by up to 0.0698633 microns: the output's unit of 0.0999001 "
       "microns cannot hold their corners; no scale up to 1000 times this one holds the layer's "
       "rectangles along the axes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments + " " + std::to_string(c.box[0]) + "," + std::to_string(c.box[1]));
    fs::remove(Work("pg.log"));
    const auto [x, y, w, h] = c.box;
    WriteIntermediate("B.int", {Quad({x, y, x + w, y, x + w, y + h, x, y + h})});
    EXPECT_EQ(Run(c.program, "B.int " + c.arguments), c.result);
    const std::vector<FlashRecord> flashes = ReadFlashes(c.output, c.format);
    ASSERT_EQ(flashes.size(), 1u);
    EXPECT_EQ((std::array<int32_t, 4>{flashes[0].x, flashes[0].y, flashes[0].w, flashes[0].h}),
              c.flash);
    const std::string log = ReadText("pg.log");
    if (*c.warning == 0) {
      EXPECT_EQ(log.find("Warning"), std::string::npos) << log;
    } else {
      EXPECT_NE(log.find(std::string(c.program == kFerolt ? "ferolt" : "mistrel") +
                         ": Warning: " + c.warning + "\r\n"),
                std::string::npos)
          << log;
    }
  }
}

TEST_F(ConverterRunTest, CoverLineNamesTheFeatureSizeTheCoverUsed) {
  // The job's feature size is the one the engine handed the PG library, which its log
  // names; a feature size finer than the output's unit can flash is not the one used.
  struct Case {
    const char* pg_log;  // empty: no pg.log
    const char* program;
    const char* arguments;
    const char* line;  // after "<program>: "
  };
  const Case cases[] = {
      {"libvantor.so - PG-writing library\r\nPG_INIT: zero1=0 zero2=0 o=0 v=0 m=0 scale=1 "
       "c=0 a=0 feature_size=0.5 window=0\r\n",
       kMistrel, "A.int microns 1 -q -3600",
       "feature size 0.5 microns (the job's, in pg.log); flashes cover each shape to within "
       "0.25 microns of its edges"},
      {"", kMistrel, "A.int microns 1 -q -3600",
       "feature size 0.2 microns (pg.cfg); flashes cover each shape to within 0.1 microns of "
       "its edges"},
      {"", kFerolt, "A.int microns 1 -q",
       "feature size 0.2 microns (pg.cfg) is finer than the output's unit of 0.1 microns can "
       "flash; the cover used a feature size of 0.8 microns: flashes cover each shape to "
       "within 0.4 microns of its edges"},
  };
  WriteIntermediate("A.int", {Quad({0, 0, 10000, 0, 10000, 4000, 0, 4000})});
  WriteText("pg.cfg", "FEATURE\n0.2\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    fs::remove(Work("pg.log"));
    if (*c.pg_log != 0) WriteText("pg.log", c.pg_log);
    ASSERT_EQ(Run(c.program, c.arguments), 0);
    const std::string log = ReadText("pg.log");
    EXPECT_NE(
        log.find(std::string(c.program == kFerolt ? "ferolt: " : "mistrel: ") + c.line + "\r\n"),
        std::string::npos)
        << log;
  }
}

TEST_F(ConverterRunTest, MistrelWritesMann3000And3600InTheUnitOfTheJob) {
  struct Case {
    std::string options;
    int32_t format;
    int32_t unit_code;  // as the PG -> GDSII engines detect it
    int32_t x, w;       // of a 10 x 4 rectangle centred at x = 5
  };
  const Case cases[] = {
      {"microns 1.000000 -p -q -3000", kPgFormatMann3000, 4, 5, 10},
      {"microns 1.000000 -p -q", kPgFormatMann3000, 4, 5, 10},
      {"mils 1.000000 -p -q -3000", kPgFormatMann3000, 1, 500, 1000},
      {"mils 1.000000 -p -q -3600", kPgFormatMann3600, 1, 500, 1000},
      {"microns 1.000000 -p -q -3600 -a", kPgFormatMann3600, 5, 500, 1000},
      {"microns 2.000000 -p -q -3600", kPgFormatMann3600, 5, 1000, 2000},
  };
  WriteIntermediate("CHIP07.int", {Quad({0, 0, 10000, 0, 10000, 4000, 0, 4000})});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    ASSERT_EQ(Run(kMistrel, "CHIP07.int " + c.options), 0);
    int32_t unit = 0;
    std::vector<FlashRecord> flashes = ReadFlashes("CHIP07.dwm", c.format, &unit);
    ASSERT_EQ(flashes.size(), 1u);
    EXPECT_EQ(unit, c.unit_code);
    EXPECT_EQ(flashes[0].x, c.x);
    EXPECT_EQ(flashes[0].w, c.w);
    EXPECT_EQ(flashes[0].h, c.w * 4 / 10);
  }
}

TEST_F(ConverterRunTest, LostShapesAreCountedWarnings) {
  struct Case {
    std::string arguments;
    PgOutputShape lost;
    std::string warning;
  };
  const Case cases[] = {
      // Scale 10 puts the rectangle far outside what a flash can hold.
      {"A.int mils 10 -q", Quad({2000000000, 0, 2000001000, 0, 2000001000, 1000, 2000000000, 1000}),
       "ferolt: Warning: 1 shape(s) beyond the range of the output format were left out\r\n"},
      // 0.004 mil is less than half of the 0.01 mil that Electromask holds.
      {"A.int mils 1 -q", Quad({0, 5000, 1000, 5000, 1000, 5004, 0, 5004}),
       "ferolt: Warning: 1 rectangle(s) thinner than the output's unit were left out\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    fs::remove(Work("pg.log"));
    WriteIntermediate("A.int", {Quad({0, 0, 1000, 0, 1000, 1000, 0, 1000}), c.lost});
    ASSERT_EQ(Run(kFerolt, c.arguments), 1);
    EXPECT_EQ(ReadFlashes("A.em", kPgFormatElectroMask).size(), 1u);
    EXPECT_NE(ReadText("pg.log").find(c.warning), std::string::npos) << ReadText("pg.log");
  }
}

PgOutputShape Triangle(int32_t x, int32_t y, int32_t w, int32_t h) {
  return Quad({x, y, x + w, y, x + w / 2, y + h, x + w / 2, y + h});
}

TEST_F(ConverterRunTest, ShapesBelowTheResolutionAreCountedAndTheLargestNamed) {
  // Beside a 10 x 10 box, shapes just below and just above what the output can hold:
  // rectangles thinner or thicker than half a raw unit, triangles and a circle that
  // round to less or more than the flash grid of two raw units.
  struct Case {
    const char* program;
    std::string arguments;
    int32_t format;
    const char* output;
    std::vector<PgOutputShape> shapes;  // in thousandths of a micron
    int32_t result;
    size_t flashes;  // at least
    std::string warning;
  };
  const Case cases[] = {
      // Electromask in microns holds tenths of a micron, flashes sit on fifths.
      {kFerolt,
       "A.int microns 1 -q",
       kPgFormatElectroMask,
       "A.em",
       {Triangle(20000, 0, 60, 60), Triangle(30000, 0, 5000, 100), Circle(40000, 0, 40)},
       3,
       1,
       "ferolt: Warning: 3 shape(s) too small for a flash at the output's resolution were left "
       "out; the largest measures 5 x 0.1 microns\r\n"},
      {kFerolt,
       "A.int microns 1 -q",
       kPgFormatElectroMask,
       "A.em",
       {Triangle(20000, 0, 600, 600), Quad({30000, 0, 35000, 0, 35000, 60, 30000, 60}),
        Circle(40000, 0, 400)},
       1,
       4,
       "ferolt: Warning: 1 rectangle flash(es) moved by up to 0.05 microns: the output's unit of "
       "0.1 microns cannot hold their corners; the layer's rectangles along the axes would be "
       "exact at scale 10\r\n"},
      // Mann 3000 in microns holds whole microns, flashes sit on two.
      {kMistrel,
       "A.int microns 1 -q -3000",
       kPgFormatMann3000,
       "A.dwm",
       {Triangle(20000, 0, 3000, 800), Quad({30000, 0, 35000, 0, 35000, 400, 30000, 400}),
        Circle(40000, 0, 400)},
       3,
       1,
       "mistrel: Warning: 2 shape(s) too small for a flash at the output's resolution were left "
       "out; the largest measures 3 x 0.8 microns\r\n"},
      {kMistrel,
       "A.int microns 1 -q -3000",
       kPgFormatMann3000,
       "A.dwm",
       {Triangle(20000, 0, 6000, 3000), Quad({30000, 0, 35000, 0, 35000, 600, 30000, 600}),
        Circle(40000, 0, 3000)},
       1,
       4,
       "mistrel: Warning: 1 rectangle flash(es) moved by up to 0.707107 microns: the output's "
       "unit of 1 microns cannot hold their corners; the layer's rectangles along the axes "
       "would be exact at scale 10\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments + " " + std::to_string(c.result));
    fs::remove(Work("pg.log"));
    std::vector<PgOutputShape> shapes = {Quad({0, 0, 10000, 0, 10000, 10000, 0, 10000})};
    shapes.insert(shapes.end(), c.shapes.begin(), c.shapes.end());
    WriteIntermediate("A.int", shapes);
    WriteText("pg.cfg", "FEATURE\n0.2\n");
    EXPECT_EQ(Run(c.program, c.arguments), c.result);
    EXPECT_GE(ReadFlashes(c.output, c.format).size(), c.flashes);
    const std::string log = ReadText("pg.log");
    if (c.warning.empty()) {
      EXPECT_EQ(log.find("Warning"), std::string::npos) << log;
    } else {
      EXPECT_NE(log.find(c.warning), std::string::npos) << log;
    }
  }
}

// Angled shapes in microns, each given as the quadrilaterals the post-processor cuts it
// into, with its true area.
struct AngledShape {
  const char* name;
  std::vector<std::vector<std::array<double, 2>>> pieces;  // each 3 or 4 corners
  double area;
};

std::vector<std::vector<std::array<double, 2>>> Turned(
    std::vector<std::vector<std::array<double, 2>>> pieces, double degrees) {
  const double a = degrees * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
  for (auto& piece : pieces) {
    for (auto& p : piece) p = {p[0] * c - p[1] * s, p[0] * s + p[1] * c};
  }
  return pieces;
}

std::vector<AngledShape> AngledShapes() {
  const std::vector<std::vector<std::array<double, 2>>> octagon = {
      {{-8, -20}, {8, -20}, {20, -8}, {-20, -8}},
      {{-20, -8}, {20, -8}, {20, 8}, {-20, 8}},
      {{-20, 8}, {20, 8}, {8, 20}, {-8, 20}}};
  const double octagon_area = 40 * 40 - 2 * 12 * 12;
  return {
      {"45-degree triangle", {{{-20, -20}, {20, -20}, {-20, 20}}}, 800},
      {"arbitrary quadrilateral", {{{-18, -15}, {19, -10}, {13, 14}, {-14, 7}}}, 0},
      {"octagon", octagon, octagon_area},
      {"octagon turned 17 degrees", Turned(octagon, 17), octagon_area},
      {"rectangle turned 10.04 degrees", Turned({{{-30, -5}, {30, -5}, {30, 5}, {-30, 5}}}, 10.04),
       600},
      {"trapezoid turned 63 degrees", Turned({{{-25, -10}, {25, -10}, {10, 10}, {-10, 10}}}, 63),
       700},
      {"sliver 3 microns thick at 21 degrees",
       Turned({{{-30, -1.5}, {30, -1.5}, {25, 1.5}, {-30, 1.5}}}, 21), 172.5},
  };
}

double ShoelaceArea(const std::vector<std::array<double, 2>>& ring) {
  double twice = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    const auto& a = ring[i];
    const auto& b = ring[(i + 1) % ring.size()];
    twice += a[0] * b[1] - b[0] * a[1];
  }
  return std::fabs(twice) / 2;
}

// The area the flashes expose, in square microns. Cover flashes do not overlap each
// other, so their areas add up; a turned flash (a rectangle piece kept exact) may overlap
// them, and then the union is measured on a fine lattice of points around `centre_x`.
double UnionArea(const std::vector<FlashRecord>& flashes, double microns_per_raw, double centre_x) {
  if (std::all_of(flashes.begin(), flashes.end(),
                  [](const FlashRecord& f) { return f.angle == 0; })) {
    double area = 0;
    for (const FlashRecord& f : flashes) area += double(f.w) * f.h;
    return area * microns_per_raw * microns_per_raw;
  }
  struct Turned {
    double x, y, c, s, half_w, half_h, reach;
  };
  std::vector<Turned> turned;
  for (const FlashRecord& f : flashes) {
    const double t = f.angle / 1800.0 * std::numbers::pi;
    turned.push_back({f.x * microns_per_raw, f.y * microns_per_raw, std::cos(t), std::sin(t),
                      f.w / 2.0 * microns_per_raw, f.h / 2.0 * microns_per_raw,
                      std::hypot(f.w, f.h) / 2 * microns_per_raw});
  }
  const double step = 0.0497;  // microns, off every raw grid
  int64_t inside = 0;
  for (double x = centre_x - 35; x < centre_x + 35; x += step) {
    for (double y = -35; y < 35; y += step) {
      inside += std::any_of(turned.begin(), turned.end(), [&](const Turned& f) {
        const double dx = x - f.x, dy = y - f.y;
        if (std::fabs(dx) > f.reach || std::fabs(dy) > f.reach) return false;
        return std::fabs(dx * f.c + dy * f.s) <= f.half_w &&
               std::fabs(dy * f.c - dx * f.s) <= f.half_h;
      });
    }
  }
  return inside * step * step;
}

TEST_F(ConverterRunTest, AngledShapesKeepTheirAreaAtTheRoadSettings) {
  // Feature size 0.5 microns, as the road runs. Each shape stands 100 microns from the
  // next, so its flashes are those whose centres lie within 50 microns of its own.
  std::vector<AngledShape> shapes = AngledShapes();
  std::vector<PgOutputShape> records;
  for (size_t i = 0; i < shapes.size(); ++i) {
    if (shapes[i].area == 0) shapes[i].area = ShoelaceArea(shapes[i].pieces[0]);
    for (const auto& piece : shapes[i].pieces) {
      std::array<int32_t, 8> corners;
      for (size_t k = 0; k < 4; ++k) {
        const auto& p = piece[std::min(k, piece.size() - 1)];
        corners[2 * k] = static_cast<int32_t>(std::lround((100.0 * i + p[0]) * 1000));
        corners[2 * k + 1] = static_cast<int32_t>(std::lround(p[1] * 1000));
      }
      records.push_back(Quad(corners));
    }
  }
  WriteIntermediate("ANGLED.int", records);
  WriteText("pg.cfg", "FEATURE\n0.500000\n");
  struct Format {
    const char* program;
    const char* options;
    int32_t format;
    const char* output;
    double microns_per_raw;
    double relative;  // the area kept to this fraction, 0: to the grid only
  };
  const Format formats[] = {
      {kFerolt, "", kPgFormatElectroMask, "ANGLED.em", 0.1, 0.002},
      {kMistrel, " -3000", kPgFormatMann3000, "ANGLED.dwm", 1, 0},
      {kMistrel, " -3600", kPgFormatMann3600, "ANGLED.dwm", 0.01, 0},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.output + std::string(f.options));
    fs::remove(Work("pg.log"));
    const int32_t result =
        Run(f.program, "ANGLED.int microns 1.000000 -p -q" + std::string(f.options));
    const std::vector<FlashRecord> flashes = ReadFlashes(f.output, f.format);
    // The warnings are the turned rectangle flashes whose corners had to move, and only
    // those: every other piece is covered.
    const std::string log = ReadText("pg.log");
    const size_t at = log.rfind("Warning: ");
    const int64_t moved =
        at == std::string::npos ? 0 : std::atoll(log.c_str() + at + std::strlen("Warning: "));
    EXPECT_EQ(result, moved) << log;
    EXPECT_LE(moved, std::count_if(flashes.begin(), flashes.end(),
                                   [](const FlashRecord& flash) { return flash.angle != 0; }));
    if (at != std::string::npos) {
      EXPECT_NE(log.find("turned", at), std::string::npos) << log;
    }
    for (size_t i = 0; i < shapes.size(); ++i) {
      const AngledShape& shape = shapes[i];
      std::vector<FlashRecord> own;
      for (const FlashRecord& flash : flashes) {
        if (std::fabs(flash.x * f.microns_per_raw - 100.0 * i) < 50) own.push_back(flash);
      }
      const double area = UnionArea(own, f.microns_per_raw, 100.0 * i);
      double perimeter = 0;
      for (const auto& piece : shape.pieces) {
        for (size_t k = 0; k < piece.size(); ++k) {
          const auto& a = piece[k];
          const auto& b = piece[(k + 1) % piece.size()];
          perimeter += std::hypot(b[0] - a[0], b[1] - a[1]);
        }
      }
      std::printf("  %-12s %-36s %10.4f um2 of %10.4f (%+.3f%%)\n", f.output, shape.name, area,
                  shape.area, (area - shape.area) / shape.area * 100);
      // The staircase is rounded to a grid of two raw units, either way: a quarter of a
      // raw unit along the outline (the cuts between pieces counted too) bounds what that
      // changes; a staircase inside the edges would lose half a step and more.
      EXPECT_NEAR(area, shape.area, perimeter * f.microns_per_raw / 4) << shape.name;
      if (f.relative > 0) {
        EXPECT_NEAR(area, shape.area, shape.area * f.relative) << shape.name;
      }
    }
  }
}

TEST_F(ConverterRunTest, AGroupOfManyTouchingPiecesIsCoveredInTimeThatGrowsWithIt) {
  // n x n houses of 10 x 10 microns, each a wall and an angled roof that the next row
  // stands on: all 2 n^2 pieces touch, so they are covered as one shape, and every cover
  // flash is checked against the walls for one that holds it. The best of two runs, in
  // seconds.
  auto convert = [this](int32_t n) {
    std::vector<PgOutputShape> pieces;
    for (int32_t row = 0; row < n; ++row) {
      for (int32_t column = 0; column < n; ++column) {
        const int32_t x = column * 10000, y = row * 10000;
        pieces.push_back(Quad({x, y, x + 10000, y, x + 10000, y + 8000, x, y + 8000}));
        pieces.push_back(
            Quad({x, y + 8000, x + 10000, y + 8000, x + 7000, y + 10000, x + 3000, y + 10000}));
      }
    }
    WriteIntermediate("HOUSES.int", pieces);
    WriteText("pg.cfg", "FEATURE\n0.500000\n");
    double best = HUGE_VAL;
    for (int run = 0; run < 2; ++run) {
      fs::remove(Work("pg.log"));
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(Run(kFerolt, "HOUSES.int microns 1.000000 -p -q"), 0);
      best = std::min(
          best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
  };
  // Four times the pieces take about four times as long when each flash meets only the
  // walls around it, sixteen times when it meets all of them (as it did: 0.8 s, then
  // 13 s). The ratio, not a time, is what is checked, so that a slow build or a loaded
  // machine does not decide it.
  const double small = convert(50);
  const double large = convert(100);
  EXPECT_LT(large, 8 * small + 0.5) << "5000 pieces: " << small << " s, 20000: " << large << " s";
  const size_t flashes = ReadFlashes("HOUSES.em", kPgFormatElectroMask).size();
  const std::string log = ReadText("pg.log");
  EXPECT_NE(log.find("20000 quadrilateral(s) and 0 sector(s): 10000 rectangle(s) written as one "
                     "flash each\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("10000 shape(s) that are not rectangles covered by " +
                     std::to_string(flashes - 10000) + " rectangle flash(es)\r\n"),
            std::string::npos)
      << log;
}

TEST_F(ConverterRunTest, PiecesOfACoveredShapeThatNoFlashReachesAreCounted) {
  // A 10 x 10 micron body with an angled roof, so that its pieces are covered together;
  // beside it the slivers of a layout whose corners lie a nanometre off: arms of 6.1 and
  // 3 microns by 1 nm that lead away from the body, and two 1 nm triangles on its side.
  // The cover's flashes come no nearer than the arms' roots; the triangles lie within
  // the cover's tolerance of the body's flash and are part of the cover.
  const std::vector<PgOutputShape> pieces = {
      Quad({0, 0, 10000, 0, 10000, 10000, 0, 10000}),
      Quad({0, 10000, 10000, 10000, 7000, 12000, 3000, 12000}),
      Quad({10000, 5000, 16100, 5000, 10000, 5001, 10000, 5001}),
      Quad({-3000, 3000, 0, 3000, 0, 3001, 0, 3001}),
      Quad({-1, 2000, 0, 2000, 0, 2001, 0, 2001}),
      Quad({-1, 7000, 0, 7000, 0, 7001, 0, 7001}),
  };
  WriteIntermediate("SLIVER.int", pieces);
  WriteText("pg.cfg", "FEATURE\n0.500000\n");
  // Scale 100 puts every corner on the output's unit of a nanometre; at scale 1 the
  // slivers are far below it.
  for (const char* scale : {"100", "1"}) {
    SCOPED_TRACE(scale);
    fs::remove(Work("pg.log"));
    EXPECT_EQ(Run(kFerolt, "SLIVER.int microns " + std::string(scale) + " -p -q"), 2);
    const std::string log = ReadText("pg.log");
    EXPECT_NE(log.find("ferolt: Warning: 2 shape(s) too small for a flash at the output's "
                       "resolution were left out; the largest measures 6.1 x 0.001 microns\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("6 quadrilateral(s) and 0 sector(s): 1 rectangle(s) written as one flash"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("3 shape(s) that are not rectangles covered by"), std::string::npos) << log;
  }
}

TEST_F(ConverterRunTest, FailuresLeaveNoOutputAndKeepAnOlderOne) {
  WriteIntermediate("GOOD.int", {Quad({0, 0, 1000, 0, 1000, 1000, 0, 1000})});
  std::string good = ReadText("GOOD.int");
  WriteText("CUT.int", good.substr(0, good.size() - 5));
  WriteText("CUT.em", "an older result");
  WriteText("TEXT.int", "<X1Y1W1V1U0SZ");
  WriteText("SELF.em", good);  // an Intermediate file named like ferolt's own result

  struct Case {
    std::string arguments;
    std::string message;
  };
  const Case cases[] = {
      {"CUT.int microns 1.000000 -p -q", "ends before its last record"},
      {"MISSING.int microns 1.000000 -p -q", "cannot open MISSING.int"},
      {"TEXT.int microns 1.000000 -p -q", "not an Intermediate PG file"},
      {"SELF.em microns 1.000000 -p -q", "would replace the input"},
      {"GOOD.int furlongs 1.000000", "mils or microns"},
  };
  for (const Case& c : cases) {
    std::string errors;
    EXPECT_EQ(Run(kFerolt, c.arguments, &errors), -1) << c.arguments;
    EXPECT_NE(errors.find("ferolt: "), std::string::npos) << errors;
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
  }
  EXPECT_EQ(ReadText("CUT.em"), "an older result");
  EXPECT_EQ(ReadText("SELF.em"), good);
  EXPECT_FALSE(fs::exists(Work("MISSING.em")));
  EXPECT_FALSE(fs::exists(Work("TEXT.em")));
  EXPECT_FALSE(fs::exists(Work("GOOD.em")));
  for (const auto& entry : fs::directory_iterator(Work(""))) {
    EXPECT_EQ(entry.path().filename().string().find(".~"), std::string::npos)
        << "temporary file left: " << entry.path();
  }
  EXPECT_NE(ReadText("pg.log").find("ferolt: Error: CUT.int: the file ends before its last "
                                    "record; no output was written.\r\n"),
            std::string::npos);
}

// Records read on a thread of their own give the bytes, pg.log lines, messages and
// results of a run on one thread: for a file of several read-ahead batches of
// rectangles, turned rectangles, pieces of one shape, rectangles too thin to write and
// sectors, and for the same file cut short or holding a corner that cannot be read after
// several batches.
TEST_F(ConverterRunTest, ReadingOnASecondThreadChangesNoByte) {
  std::vector<PgOutputShape> shapes;
  for (int32_t i = 0; i < 15000; ++i) {
    const int32_t x = i % 200 * 50000, y = i / 200 * 50000, w = 4000 + i % 7 * 1000;
    switch (i % 5) {
      case 0:
      case 1:
        shapes.push_back(Quad({x, y, x + w, y, x + w, y + 3000, x, y + 3000}));
        break;
      case 2:  // turned by atan(3 / 4)
        shapes.push_back(Quad({x, y, x + 4000, y + 3000, x + 1000, y + 7000, x - 3000, y + 4000}));
        break;
      case 3:  // two pieces of a trapezoid, sharing their cut
        shapes.push_back(Quad({x, y, x + 9000, y, x + 7000, y + 2000, x + 2000, y + 2000}));
        shapes.push_back(
            Quad({x + 2000, y + 2000, x + 7000, y + 2000, x + 5000, y + 4000, x + 4000, y + 4000}));
        break;
      default:
        shapes.push_back(Quad({x, y, x + 3, y, x + 3, y + 1, x, y + 1}));  // below a raw unit
    }
  }
  for (int32_t i = 0; i < 300; ++i) shapes.push_back(Circle(i * 40000, -50000, 3000 + i * 10));
  WriteIntermediate("MANY.int", shapes);
  const std::string many = ReadText("MANY.int");
  WriteText("CUT.int", many.substr(0, many.size() * 3 / 4));
  shapes[14000] = Quad({0, 0, INT32_MAX, 0, INT32_MAX, 1000, 0, 1000});
  WriteIntermediate("BAD.int", shapes);

  struct Outcome {
    int32_t result;
    std::string errors, output, log;
  };
  auto convert = [&](const char* program, const std::string& input, const char* threads) {
    const std::string name = program == kFerolt ? "FEROLT_THREADS" : "MISTREL_THREADS";
    setenv(name.c_str(), threads, 1);
    fs::remove(Work("pg.log"));
    Outcome outcome;
    outcome.result = Run(program, input + ".int microns 1.000000 -p -q", &outcome.errors);
    unsetenv(name.c_str());
    outcome.output = ReadText(input + (program == kFerolt ? ".em" : ".dwm"));
    outcome.log = ReadText("pg.log");
    return outcome;
  };
  for (const char* program : {kFerolt, kMistrel}) {
    for (const std::string input : {"MANY", "CUT", "BAD"}) {
      SCOPED_TRACE(std::string(program) + " " + input);
      const Outcome one = convert(program, input, "1");
      if (input == "MANY") {
        EXPECT_GT(one.result, 0);  // the lost shapes are warnings
        EXPECT_GT(one.output.size(), 100000u);
      } else {
        EXPECT_EQ(one.result, -1);
        EXPECT_NE(one.errors.find(input == "CUT" ? "ends before its last record"
                                                 : "holds data that cannot be read"),
                  std::string::npos)
            << one.errors;
        EXPECT_EQ(one.output, "");
      }
      for (const char* threads : {"2", "4"}) {
        const Outcome more = convert(program, input, threads);
        EXPECT_EQ(more.result, one.result) << threads;
        EXPECT_EQ(more.errors, one.errors) << threads;
        EXPECT_TRUE(more.output == one.output) << threads;
        EXPECT_EQ(more.log, one.log) << threads;
      }
    }
  }

  // Where the user may start no more threads, the records are read on the converting one.
  const std::string expected = convert(kFerolt, "MANY", "1").output;
  test_support::HandOver(dir_);
  EXPECT_EQ(test_support::RunUnprivileged([&] {
              ConverterOptions options;
              std::string error;
              ConversionCounts counts;
              if (!test_support::ForbidNewThreads() || chdir(Work("").c_str()) != 0 ||
                  ParseConverterArguments(ConverterKind::kFerolt,
                                          {"MANY.int", "microns", "1.000000", "-p", "-q"}, &options,
                                          &error) != 0) {
                return false;
              }
              options.threads = 4;
              const double feature = ReadFeatureSize(Work("pg.cfg"), false).value;
              return ConvertIntermediateFile(ConverterKind::kFerolt, options, feature, &counts,
                                             &error) > 0 &&
                     ReadText("MANY.em") == expected;
            }),
            true);
}

TEST_F(ConverterRunTest, HelpPrintsTheUsage) {
  EXPECT_EQ(Run(kMistrel, "--help"), 0);
  std::string errors;
  EXPECT_EQ(Run(kMistrel, "", &errors), -1);
  EXPECT_NE(errors.find("usage: mistrel <file>.int <mils|microns> <scale>"), std::string::npos)
      << errors;
}

TEST_F(ConverterRunTest, FeatureSizeComesFromTheFeatureRecordOfPgCfg) {
  struct Case {
    std::string text;
    double value;
    bool from_settings;
  };
  const Case cases[] = {
      {"SCALE\n1.000000\n\nFEATURE\n0.500000\n\n", 0.5, true},
      {"FEATURE\r\n1.25\r\n\r\n", 1.25, true},
      {"FEATURE\n\n", 5.0, false},
      {"FEATURE\n-1.0\n\n", 5.0, false},
      {"FEATURE\nabc\n\n", 5.0, false},
      {"FEATURES\n3.0\n\n", 5.0, false},
      {"SCALE\n2.0\n\n", 5.0, false},
  };
  for (const Case& c : cases) {
    WriteText("pg.cfg", c.text);
    FeatureSize feature = ReadFeatureSize(Work("pg.cfg"), false);
    EXPECT_EQ(feature.value, c.value) << c.text;
    EXPECT_EQ(feature.from_settings, c.from_settings) << c.text;
  }
  EXPECT_EQ(ReadFeatureSize(Work("missing.cfg"), true).value, 0.2);
}

}  // namespace
}  // namespace kavrinth
