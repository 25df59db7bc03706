// The post-processor's run end to end in a working directory: header and translated
// streams built with the GDSII writer go in, the Intermediate files are read back with
// the PG readers and compared with the layout (area per layer, placement of references
// and arrays, sectors, paths, text strokes), and failures and Cancel leave no file.
#include "companions/quenrix/post_processor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "companions/quenrix/header_stream.h"
#include "companions/quenrix/tests/quenrix_test_support.h"

namespace kavrinth {
namespace {

using testing::HeaderContent;
using testing::ReadBack;
using testing::ReadIntermediate;
using testing::StreamBuilder;

class QuenrixRunTest : public testing::WorkingDirectoryTest {
 protected:
  int32_t Run(std::vector<std::string> extra = {}, volatile int* cancel = nullptr) {
    std::vector<std::string> args = {"/opt/kavrinth/libquenrix.so", "job.hdx"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return RunPostProcessor(static_cast<int32_t>(args.size()), argv.data(), cancel);
  }
  static void Header(const HeaderContent& content = {}) {
    testing::WriteHeaderStream("job.hdx", content);
  }
  ReadBack Layer(int layer, const std::string& top = "CHIPTOP") {
    return ReadIntermediate(IntermediateFileName(top, layer));
  }
  static int Count(const std::string& text, std::string_view what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
};

TEST_F(QuenrixRunTest, ManhattanLayersKeepTheirAreaAndAnEmptyLayerGetsTheBareHeader) {
  Header({.layers = {1, 2, 7, 123}});
  StreamBuilder s("job.gdx");
  s.Begin("CHIPTOP");
  s.Rectangle(1, 0, 0, 1000, 500);
  s.Boundary(
      1, {{2000, 0}, {3000, 0}, {3000, 300}, {2300, 300}, {2300, 1000}, {2000, 1000}, {2000, 0}});
  const GdsIntPoint box[] = {{0, 0}, {400, 0}, {400, 400}, {0, 400}};
  s.w.WriteBox(std::span<const GdsIntPoint>(box), 2, 0, 0, 0);
  s.Rectangle(123, -50, -20, 0, 0);
  s.Rectangle(5, 0, 0, 100000, 100000);  // not an output layer
  s.End();
  s.Finish();

  ASSERT_EQ(Run(), 0) << ReadFile("pg.log");
  EXPECT_EQ(Files(), (std::vector<std::string>{"CHIPTO01.int", "CHIPTO02.int", "CHIPTO07.int",
                                               "CHIPTO123.int", "job.gdx", "job.hdx", "pg.log"}));
  ReadBack one = Layer(1);
  ASSERT_TRUE(one.valid);
  EXPECT_EQ(one.Area(), 500000 + 510000);
  EXPECT_EQ(one.Bounds(), (std::array<int32_t, 4>{0, 0, 3000, 1000}));
  EXPECT_FALSE(one.Covers(2600, 600));  // the L's notch
  EXPECT_EQ(Layer(2).Area(), 160000);
  EXPECT_EQ(Layer(123).Area(), 1000);
  EXPECT_EQ(ReadFile("CHIPTO07.int").size(), 23u);
  EXPECT_TRUE(Layer(7).valid);

  const std::string log = ReadFile("pg.log");
  EXPECT_NE(log.find("CHIPTO01.int: 3 quadrilaterals, 0 sectors.\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Post-processor: 0 warnings.\r\n"), std::string::npos);
}

TEST_F(QuenrixRunTest, AManhattanPolygonWithNanometreArmsIsCutIntoRectanglesThatTileIt) {
  // A 10 x 10 micron body with a 1 nm x 6.1 micron arm and two 1 nm bumps, at a database
  // unit of 1 nm, drawn as it stands and through references turned, mirrored and
  // magnified by 2: every piece is an axis-parallel rectangle, and together they have
  // the polygon's area.
  Header();
  StreamBuilder s("job.gdx");
  s.Begin("ARM");
  // The outline anticlockwise from the origin: the arm on the right, the bumps on top.
  std::vector<GdsIntPoint> outline = {{0, 0}, {10000, 0}, {10000, 5000}, {16100, 5000}};
  outline.insert(outline.end(), {{16100, 5001}, {10000, 5001}, {10000, 10000}});
  for (int32_t x : {6000, 3000}) {
    outline.insert(outline.end(), {{x + 1, 10000}, {x + 1, 10001}, {x, 10001}, {x, 10000}});
  }
  outline.insert(outline.end(), {{0, 10000}, {0, 0}});
  s.Boundary(1, outline);
  s.End();
  s.Begin("CHIPTOP");
  s.Sref("ARM", {0, 0});
  s.Sref("ARM", {50000, 0}, 1, 90);
  s.Sref("ARM", {0, 50000}, 2, 270, true);
  s.End();
  s.Finish();
  ASSERT_EQ(Run(), 0) << ReadFile("pg.log");
  const ReadBack one = Layer(1);
  ASSERT_TRUE(one.valid);
  for (const auto& q : one.quads) {
    for (int k = 0; k < 4; ++k) {  // every side along an axis
      const int next = (k + 1) % 4;
      EXPECT_TRUE(q[2 * k] == q[2 * next] || q[2 * k + 1] == q[2 * next + 1])
          << q[0] << "," << q[1] << " " << q[2] << "," << q[3] << " " << q[4] << "," << q[5] << " "
          << q[6] << "," << q[7];
    }
  }
  const double area = 10000.0 * 10000 + 6100 + 2;
  EXPECT_EQ(one.Area(), area * (1 + 1 + 4));
}

// The converters read Intermediate coordinates in microns or mils, so a coarser database
// unit must not change the size of what comes out.
TEST_F(QuenrixRunTest, CoordinatesAreWrittenInMicronsOrMilsWhateverTheDatabaseUnit) {
  for (const char* unit : {"UM", "MIL"}) {
    SCOPED_TRACE(unit);
    Header({.layers = {1}});
    StreamBuilder s("job.gdx", unit, 0.01);  // 100 database units per user unit
    s.Begin("CHIPTOP");
    s.Rectangle(1, 0, 0, 100, 50);  // 1 x 0.5 user units
    s.End();
    s.Finish();
    ASSERT_EQ(Run(), 0) << ReadFile("pg.log");
    ReadBack one = Layer(1);
    ASSERT_TRUE(one.valid);
    // Read back in thousandths of the user unit.
    EXPECT_EQ(one.Bounds(), (std::array<int32_t, 4>{0, 0, 1000, 500}));
    EXPECT_EQ(one.Area(), 500000);
  }
}

// The L of CELL: two arms and a notch, so that a wrong turn or mirror shows.
const std::vector<GdsIntPoint> kEll = {{0, 0},     {300, 0}, {300, 100}, {100, 100},
                                       {100, 200}, {0, 200}, {0, 0}};
constexpr double kEllArea = 40000;

struct PlacementCase {
  double angle;
  double mag;
  bool reflect;
  GdsIntPoint origin;
  bool manhattan;
};

// Where a CELL point lands: reflect about x, magnify, rotate, move.
std::array<double, 2> Place(const PlacementCase& c, double x, double y) {
  if (c.reflect) y = -y;
  const double a = c.angle / 180 * testing::kPi;
  return {c.origin.x + c.mag * (x * std::cos(a) - y * std::sin(a)),
          c.origin.y + c.mag * (x * std::sin(a) + y * std::cos(a))};
}

TEST_F(QuenrixRunTest, ReferencesArePlacedWithRotationMirrorAndMagnification) {
  const PlacementCase cases[] = {
      {0, 1, false, {1000, 2000}, true},    {90, 1, false, {0, 0}, true},
      {180, 2, false, {5000, -3000}, true}, {270, 1, true, {100, 100}, true},
      {0, 1, true, {0, 0}, true},           {30, 1, false, {10000, 10000}, false},
      {45, 0.5, true, {-7000, 300}, false},
  };
  Header();
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "angle " << c.angle << " mag " << c.mag << " reflect " << c.reflect);
    {
      StreamBuilder s("job.gdx");
      s.Begin("CELL");
      s.Boundary(1, kEll);
      s.End();
      s.Begin("CHIPTOP");
      s.Sref("CELL", c.origin, c.mag, c.angle, c.reflect);
      s.End();
      s.Finish();
    }
    ASSERT_EQ(Run(), 0);
    ReadBack back = Layer(1);
    ASSERT_TRUE(back.valid);
    const double area = kEllArea * c.mag * c.mag;
    if (c.manhattan) {
      EXPECT_EQ(back.Area(), area);
    } else {
      EXPECT_NEAR(back.Area(), area, area * 0.01);
    }
    auto in1 = Place(c, 250, 50), in2 = Place(c, 50, 150), notch = Place(c, 200, 150);
    EXPECT_TRUE(back.Covers(in1[0], in1[1]));
    EXPECT_TRUE(back.Covers(in2[0], in2[1]));
    EXPECT_FALSE(back.Covers(notch[0], notch[1]));
  }
}

std::vector<std::array<int32_t, 4>> SortedBoxes(const ReadBack& back) {
  std::vector<std::array<int32_t, 4>> boxes;
  for (const auto& q : back.quads) {
    ReadBack one;
    one.quads = {q};
    boxes.push_back(one.Bounds());
  }
  std::sort(boxes.begin(), boxes.end());
  return boxes;
}

TEST_F(QuenrixRunTest, ArraysPlaceEveryInstanceOnTheirLattice) {
  Header();
  StreamBuilder s("job.gdx");
  s.Begin("CELL");
  s.Rectangle(1, 0, 0, 20, 10);
  s.End();
  s.Begin("MID");
  s.Sref("CELL", {100, 100}, 2, 0, true);
  s.End();
  s.Begin("CHIPTOP");
  // Three columns 50 apart and two rows 40 apart, each cell turned by 90 degrees.
  s.Aref("CELL", {{{100, 100}, {250, 100}, {100, 180}}}, 3, 2, 1, 90);
  // Two by two MIDs 1000 apart, holding a mirrored, doubled CELL.
  s.Aref("MID", {{{0, 0}, {2000, 0}, {0, 2000}}}, 2, 2);
  s.End();
  s.Finish();
  ASSERT_EQ(Run(), 0);

  std::vector<std::array<int32_t, 4>> expected;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j)
      expected.push_back({90 + 50 * i, 100 + 40 * j, 100 + 50 * i, 120 + 40 * j});
  }
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j)
      expected.push_back({100 + 1000 * i, 80 + 1000 * j, 140 + 1000 * i, 100 + 1000 * j});
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedBoxes(Layer(1)), expected);
}

TEST_F(QuenrixRunTest, LargeArraysAreStreamedInstanceByInstance) {
  Header();
  StreamBuilder s("job.gdx");
  s.Begin("CELL");
  s.Rectangle(1, 0, 0, 7, 5);
  s.End();
  s.Begin("CHIPTOP");
  s.Aref("CELL", {{{0, 0}, {4000, 0}, {0, 3000}}}, 400, 300);
  s.End();
  s.Finish();
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(ReadFile("CHIPTO01.int").size(),
            kIntermediateHeaderSize + 120000 * kQuadrilateralRecordSize);
  ReadBack back = Layer(1);
  ASSERT_EQ(back.quads.size(), 120000u);
  EXPECT_EQ(back.Area(), 120000.0 * 35);
  EXPECT_EQ(back.Bounds(), (std::array<int32_t, 4>{0, 0, 3997, 2995}));
}

TEST_F(QuenrixRunTest, CirclesAndArcsBecomeSectorsAfterTheQuadrilaterals) {
  Header();
  StreamBuilder s("job.gdx");
  s.Begin("ARC");
  s.Arc(1, {0, 0}, 5, 0, 90, 2);  // radii 4..6 um, a quarter turn from 0 degrees
  s.End();
  s.Begin("CHIPTOP");
  s.Circle(1, {10, 0}, 2.5, 0);  // a disc
  s.Circle(1, {0, 20}, 2.5, 1);  // a ring 2..3 um
  s.Rectangle(1, 0, 0, 10, 10);
  s.Sref("ARC", {0, 0});
  s.Sref("ARC", {50000, 0}, 1, 90);
  s.Sref("ARC", {100000, 0}, 1, 0, true);
  s.End();
  s.Finish();
  ASSERT_EQ(Run(), 0);

  ReadBack back = Layer(1);
  ASSERT_TRUE(back.valid);
  ASSERT_EQ(back.quads.size(), 1u);
  ASSERT_EQ(back.sectors.size(), 5u);
  const testing::ReadSector& disc = back.sectors[0];
  EXPECT_EQ(disc.centre_x, 10000);
  EXPECT_EQ(disc.outer, 2500);
  EXPECT_EQ(disc.inner, 0);
  EXPECT_EQ(disc.sweep_tenths, 3600);
  EXPECT_EQ(back.sectors[1].inner, 2000);
  EXPECT_EQ(back.sectors[1].outer, 3000);
  const double pi = testing::kPi;
  const double expected = pi * 2500 * 2500 + pi * (9e6 - 4e6) + 3 * pi * (36e6 - 16e6) / 4 + 100;
  EXPECT_NEAR(back.Area(), expected, expected * 1e-4);

  // The arc starts at 0 degrees, turned by 90 at 90, mirrored at 270: a mirrored
  // counter-clockwise quarter from 0 runs from 270 to 360.
  const int32_t starts[3][2] = {{6000, 0}, {50000, 6000}, {100000, -6000}};
  for (int k = 0; k < 3; ++k) {
    const testing::ReadSector& arc = back.sectors[2 + k];
    EXPECT_EQ(arc.start_x, starts[k][0]) << k;
    EXPECT_EQ(arc.start_y, starts[k][1]) << k;
    EXPECT_EQ(arc.sweep_tenths, 900) << k;
    EXPECT_EQ(arc.inner, 4000);
  }
}

TEST_F(QuenrixRunTest, RemainingWidePathsAreOutlinedWithTheirEnds) {
  struct Case {
    int pathtype;
    std::vector<GdsIntPoint> line;
    double area;
    size_t sectors;
  };
  const double pi = testing::kPi;
  const Case cases[] = {
      {0, {{0, 0}, {10000, 0}}, 1e7, 0},
      {2, {{0, 0}, {10000, 0}}, 1.1e7, 0},
      {4, {{0, 0}, {10000, 0}}, 1.1e7, 0},
      {1, {{0, 0}, {10000, 0}}, 1e7 + pi * 500 * 500, 2},
      {0, {{0, 0}, {10000, 0}, {10000, 10000}}, 2e7, 0},
      {0, {{0, 0}, {10000, 0}, {10000, 0}, {10000, 10000}}, 2e7, 0},  // a repeated point
  };
  Header();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "pathtype " << c.pathtype << ", " << c.line.size() << " points");
    {
      StreamBuilder s("job.gdx");
      s.Begin("CHIPTOP");
      s.Path(1, c.line, 1000, c.pathtype);
      s.End();
      s.Finish();
    }
    ASSERT_EQ(Run(), 0) << ReadFile("pg.log");
    ReadBack back = Layer(1);
    EXPECT_NEAR(back.Area(), c.area, c.sectors ? c.area * 1e-4 : 0);
    EXPECT_EQ(back.sectors.size(), c.sectors);
    EXPECT_FALSE(back.Covers(5000, 600));
  }
}

class QuenrixStrokeTest : public QuenrixRunTest {
 protected:
  void SetUp() override {
    QuenrixRunTest::SetUp();
    Header({.layers = {3}});
    StreamBuilder s("job.gdx");
    s.Begin("TXT");
    s.Text(3, {0, 0}, "IO");
    s.Stroke(3, {0, 0, 20000, 0});                                       // open
    s.Stroke(3, {0, 5000, 5000, 5000, 5000, 10000, 0, 10000, 0, 5000});  // closed: an "O"
    s.Rectangle(3, 30000, 0, 31000, 1000);
    s.Stroke(3, {40000, 0, 45000, 0, 45000, 5000, 40000, 5000, 40000, 0});  // no text before
    s.End();
    s.Begin("CHIPTOP");
    s.Sref("TXT", {0, 0});
    s.Sref("TXT", {0, 100000}, 3);
    s.End();
    s.Finish();
  }
};

TEST_F(QuenrixStrokeTest, StrokesAreSweptWithThePgFeatureSizeAtAnyMagnification) {
  WriteFile("pg.cfg", "SMALLANGLE\n0.000000\n\nFEATURE\n1.000000\n\nPERCENT_BUTT\n0\n\n");
  ASSERT_EQ(Run(), 0) << ReadFile("pg.log");
  ReadBack back = Layer(3, "CHIPTOP");
  ASSERT_TRUE(back.valid);
  // A 1 um pen: 500 nm each side of the line.
  EXPECT_TRUE(back.Covers(10000, 0));
  EXPECT_TRUE(back.Covers(10000, 400));
  EXPECT_FALSE(back.Covers(10000, 600));
  EXPECT_FALSE(back.Covers(-600, 0));
  // The "O" is an outline, not an area.
  EXPECT_TRUE(back.Covers(2500, 5000));
  EXPECT_FALSE(back.Covers(2500, 7500));
  // A boundary that follows no text is an area.
  EXPECT_TRUE(back.Covers(42500, 2500));
  // Magnified three times, the line is three times longer but the pen as wide.
  EXPECT_TRUE(back.Covers(55000, 100000));
  EXPECT_TRUE(back.Covers(30000, 100400));
  EXPECT_FALSE(back.Covers(30000, 100600));
}

TEST_F(QuenrixStrokeTest, WithoutPgCfgTheDefaultFeatureSizeIsUsedAndSaid) {
  ASSERT_EQ(Run(), 0);
  ReadBack back = Layer(3, "CHIPTOP");
  EXPECT_TRUE(back.Covers(10000, 2400));
  EXPECT_FALSE(back.Covers(10000, 2600));
  EXPECT_NE(ReadFile("pg.log").find("gives no feature size"), std::string::npos);
}

TEST_F(QuenrixRunTest, ElementsThatCannotBeDrawnAreCountedWarnings) {
  Header();
  StreamBuilder s("job.gdx");
  s.Begin("CHIPTOP");
  s.Rectangle(1, 0, 0, 100, 100);
  s.Path(1, {{0, 0}, {1000, 0}}, 0, 0);  // no width
  s.Record(kGdsBoundary, kGdsTypeNone, {});
  s.Record(kGdsLayer, kGdsTypeInt16, testing::Be16({1}));
  s.Record(kGdsXy, kGdsTypeInt32, testing::Be32({0, 0, 10, 10}));  // two points
  s.Record(kGdsEndEl, kGdsTypeNone, {});
  s.Sref("MISSING", {0, 0});
  s.End();
  s.Finish();
  ASSERT_EQ(Run(), 3);
  EXPECT_EQ(Layer(1).Area(), 10000);
  const std::string log = ReadFile("pg.log");
  EXPECT_EQ(Count(log, "Warning: "), 3) << log;
  EXPECT_NE(log.find("'MISSING'"), std::string::npos);
  EXPECT_NE(log.find("Post-processor: 3 warnings."), std::string::npos);
}

// Each case prepares the working directory for a run that must fail.
struct FailureCase {
  const char* name;
  std::function<void()> prepare;
};

void GoodStream() {
  StreamBuilder s("job.gdx");
  s.Begin("CHIPTOP");
  s.Rectangle(1, 0, 0, 100, 100);
  s.End();
  s.Finish();
}

TEST_F(QuenrixRunTest, FailuresGiveANegativeResultAndLeaveNoIntermediateFile) {
  const FailureCase cases[] = {
      {"no header stream", [] {}},
      {"header stream not GDSII", [] { WriteFile("job.hdx", "not a stream at all"); }},
      {"no $JUMP$",
       [] {
         Header({.with_jump = false});
         GoodStream();
       }},
      {"no $TOPSTR$",
       [] {
         Header({.with_top = false});
         GoodStream();
       }},
      {"no translated stream", [] { Header(); }},
      {"truncated translated stream",
       [] {
         Header();
         GoodStream();
         std::string bytes = ReadFile("job.gdx");
         WriteFile("job.gdx", bytes.substr(0, 150));
       }},
      {"top structure missing",
       [] {
         Header();
         StreamBuilder s("job.gdx");
         s.Begin("OTHER");
         s.Rectangle(1, 0, 0, 100, 100);
         s.End();
         s.Finish();
       }},
      {"reference cycle",
       [] {
         Header();
         StreamBuilder s("job.gdx");
         s.Begin("A");
         s.Rectangle(1, 0, 0, 100, 100);
         s.Sref("B", {0, 0});
         s.End();
         s.Begin("B");
         s.Sref("A", {10, 10});
         s.End();
         s.Begin("CHIPTOP");
         s.Sref("A", {0, 0});
         s.End();
         s.Finish();
       }},
      {"element left open",
       [] {
         Header();
         StreamBuilder s("job.gdx");
         s.Begin("CHIPTOP");
         s.Record(kGdsBoundary, kGdsTypeNone, {});
         s.Record(kGdsLayer, kGdsTypeInt16, testing::Be16({1}));
         s.End();
         s.Finish();
       }},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& name : Files()) std::filesystem::remove(name);
    c.prepare();
    EXPECT_EQ(Run(), -1);
    EXPECT_TRUE(NoOutputs());
    EXPECT_NE(ReadFile("pg.log").find("Error: "), std::string::npos);
  }
}

TEST_F(QuenrixRunTest, AFailedRunLeavesAnEarlierFileAsItWas) {
  Header({.layers = {1, 2}});
  GoodStream();
  ASSERT_EQ(Run(), 0);
  const std::string earlier = ReadFile("CHIPTO01.int");
  WriteFile("job.gdx", ReadFile("job.gdx").substr(0, 100));
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(ReadFile("CHIPTO01.int"), earlier);
  EXPECT_EQ(Files(), (std::vector<std::string>{"CHIPTO01.int", "CHIPTO02.int", "job.gdx", "job.hdx",
                                               "pg.log"}));
}

TEST_F(QuenrixRunTest, CancelBeforeTheRunWritesNothing) {
  Header();
  GoodStream();
  volatile int cancel = 1;
  EXPECT_EQ(Run({}, &cancel), -1);
  EXPECT_TRUE(NoOutputs());
}

TEST_F(QuenrixRunTest, CancelDuringFlatteningRemovesTheFilesBeingWritten) {
  Header({.layers = {1, 2}});
  {
    StreamBuilder s("job.gdx");
    s.Begin("DOT");
    s.Circle(1, {0, 0}, 0.0004, 0);  // too small to reach the file, but walked
    s.End();
    s.Begin("CHIPTOP");
    s.Rectangle(2, 0, 0, 10, 10);
    s.Aref("DOT", {{{0, 0}, {20000, 0}, {0, 20000}}}, 20000, 20000);
    s.End();
    s.Finish();
  }
  // The flag the run polls through its volatile pointer; this thread sets it atomically.
  int cancel = 0;
  std::atomic<bool> run_ended = false;
  std::atomic<bool> flattening_seen = false;
  std::thread canceller([&] {
    // The temporaries exist once flattening starts; the cancel comes then, or never.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!run_ended && std::chrono::steady_clock::now() < give_up) {
      for (const std::string& name : Files()) {
        if (name.ends_with(".tmp")) flattening_seen = true;
      }
      if (flattening_seen) {
        std::atomic_ref<int>(cancel).store(1);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const int32_t result = Run({}, &cancel);
  run_ended = true;
  canceller.join();
  ASSERT_TRUE(flattening_seen) << "the run ended before its temporaries were seen";
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(NoOutputs());
  EXPECT_NE(ReadFile("pg.log").find("cancelled"), std::string::npos);
}

TEST(QuenrixArgumentsTest, TakesTheHeaderStreamAndTheDebugOptions) {
  struct Case {
    std::vector<const char*> argv;
    int result;
    bool debug, debugx;
  };
  const Case cases[] = {
      {{"lib", "job.hdx", nullptr}, 0, false, false},
      {{"lib", "job.hdx", "-debug", nullptr}, 0, true, false},
      {{"lib", "job.hdx", "-debugx", nullptr}, 0, false, true},
      {{"lib", nullptr}, 1, false, false},
      {{"lib", "job.hdx", "-verbose", nullptr}, 1, false, false},
      {{"lib", "job.hdx", nullptr, "-debug"}, 0, false, false},  // the null entry ends it
  };
  for (const Case& c : cases) {
    PostProcessorArguments args;
    std::string error;
    std::vector<char*> argv;
    for (const char* a : c.argv) argv.push_back(const_cast<char*>(a));
    EXPECT_EQ(ParsePostProcessorArguments(int32_t(argv.size()), argv.data(), &args, &error),
              c.result);
    if (c.result != 0) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(args.header_stream, "job.hdx");
    EXPECT_EQ(args.debug, c.debug);
    EXPECT_EQ(args.debugx, c.debugx);
  }
}

TEST(QuenrixUnitsTest, FeatureSizeIsMicronsForMetricUnitsAndMilsOtherwise) {
  EXPECT_TRUE(IsMetricUserUnit(1e-6));
  EXPECT_TRUE(IsMetricUserUnit(1e-3));
  EXPECT_TRUE(IsMetricUserUnit(1e-9 * 1.0005));
  EXPECT_FALSE(IsMetricUserUnit(2.54e-5));
  EXPECT_FALSE(IsMetricUserUnit(0.0254));
  EXPECT_FALSE(IsMetricUserUnit(1e-6 * 1.01));
  EXPECT_FALSE(IsMetricUserUnit(0));

  Layout microns;
  microns.user_units_per_database_unit = 0.001;
  microns.metres_per_database_unit = 1e-9;
  EXPECT_EQ(StrokeWidth(1.0, microns), 1000);
  EXPECT_EQ(StrokeWidth(1e-6, microns), 1);
  Layout mils;
  mils.user_units_per_database_unit = 0.001;
  mils.metres_per_database_unit = 2.54e-8;
  EXPECT_EQ(StrokeWidth(0.2, mils), 200);
}

TEST(QuenrixNamesTest, LayerFilesAreNamedFromTheTopStructure) {
  EXPECT_EQ(IntermediateFileName("CHIPTOP", 5), "CHIPTO05.int");
  EXPECT_EQ(IntermediateFileName("CHIPTOP", 123), "CHIPTO123.int");
  EXPECT_EQ(IntermediateFileName("AB", 1), "AB01.int");
  EXPECT_EQ(IntermediateFileName("../TOP", 3), ".._TOP03.int");
}

}  // namespace
}  // namespace kavrinth
