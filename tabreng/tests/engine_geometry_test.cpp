// Jobs of the engine on layouts of wide paths, texts and arrays: what the PG library is
// handed and what the translated stream holds, in every path mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

#include "gdsii/library.h"
#include "support/notifier.h"
#include "support/ordered_pipeline.h"
#include "support/progress_sink.h"
#include "tabreng/engine.h"
#include "tabreng/record_loop.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

using testing::CrossesItself;
using testing::Layout;
using testing::Points;
using testing::ReadRecord;
using testing::ReadRecords;
using testing::ScratchJob;
using testing::Square;

class GeometryJobTest : public ::testing::Test {
 public:
  GeometryJobTest() {
    ResetCancelForTesting();
    environment_.program_directory = job_.bin();
    environment_.pg = &pg_;
    std::filesystem::copy_file(KAVRINTH_MIRELT_PATH, job_.bin() + "/mirelt.shx",
                               std::filesystem::copy_options::overwrite_existing);
    ScratchJob::Write("job.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n  |__ SUB\n");
  }
  ~GeometryJobTest() override { SetProgressSink(previous_sink_); }

  // Runs the job on job.gds with every layer and the top TOP; the streams stay.
  int32_t Run(std::vector<std::string> options) {
    pg_ = RecordingPgLibrary();
    pg_.prepares = prepares_;
    pg_.split_call = split_call_;
    std::vector<std::string> words = {"tabreng", "job.gds", "1.5", "=", "TOP", "-opost"};
    words.insert(words.end(), options.begin(), options.end());
    return RunEngine(words, environment_);
  }

  // The translated stream read by the shared reader, which must find no fault.
  GdsLibrary Translated() {
    GdsLibrary library;
    std::string error;
    EXPECT_EQ(GdsReadLibrary("job.gdx", &library, &error), 0) << error;
    return library;
  }

  std::vector<const GdsElement*> ElementsOf(const GdsLibrary& library, int kind, int layer) {
    std::vector<const GdsElement*> found;
    for (const GdsStructure& s : library.structures) {
      for (const GdsElement& e : s.elements) {
        if (e.kind == kind && e.layer == layer) found.push_back(&e);
      }
    }
    return found;
  }

  ScratchJob job_;
  RecordingPgLibrary pg_;
  bool prepares_ = false;  // the library works trapezoids out ahead when asked
  int64_t split_call_ = -1;
  EngineEnvironment environment_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
  RecordingProgressSink sink_;
  ProgressSink* previous_sink_ = SetProgressSink(&sink_);
};

// Paths of every path type that cross themselves, turn back and repeat points, and texts
// in every placement, on layers 1-4 (paths) and 9 (texts).
void WriteBusyLayout() {
  const std::vector<Points> centre_lines = {
      {{0, 0}, {1000, 0}, {1000, 1000}, {500, 1000}, {500, -500}, {2000, -500}},
      {{0, 0}, {300, 0}, {0, 10}, {300, 20}, {0, 30}, {300, 40}},
      {{0, 0}, {1000, 0}, {400, 0}, {400, 800}},
      {{0, 0}, {0, 0}, {600, 0}, {600, 0}, {600, 600}, {0, 600}, {0, 100}},
  };
  Layout l("job.gds");
  l.Begin("TOP");
  int layer = 1;
  for (int pathtype : {0, 1, 2, 4}) {
    for (size_t i = 0; i < centre_lines.size(); ++i) {
      Points line = centre_lines[i];
      for (GdsIntPoint& p : line) p.y += static_cast<int32_t>(5000 * i);
      l.Path(layer, 120, pathtype, line);
    }
    ++layer;
  }
  Layout::TextStyle style;
  l.StyledText(9, "Kavrinth 0123", {0, 0}, style);
  style = {1, 1, 1, true, 2.0, 30};
  l.StyledText(9, "TWO\rLINES", {20000, 0}, style);
  style = {3, 2, 2, false, 0.5, 271};
  l.StyledText(9, "right bottom", {40000, 0}, style);
  l.End();
  l.Finish();
}

TEST_F(GeometryJobTest, PgGetsPiecesThatNeverCrossThemselvesAndTheStreamStaysValid) {
  WriteBusyLayout();
  ScratchJob::Write("gds.cfg", "BLOCK_TEXT\nYES\n");
  for (const char* mode : {"-t0", "-t1", "-t2", "-t3"}) {
    SCOPED_TRACE(mode);
    // Outlined, the four paths of type 4, which have no extensions of their own, are
    // extended by half their width: a warning each.
    ASSERT_EQ(Run({mode}), std::string(mode) == "-t2" ? 0 : 4);
    EXPECT_TRUE(notifier_.shown.empty());
    for (const RecordingPgLibrary::PolygonCall& call : pg_.polygons) {
      const std::vector<int32_t>& xy = call.points;
      ASSERT_GE(xy.size(), 8u);
      EXPECT_EQ(xy[0], xy[xy.size() - 2]);
      EXPECT_EQ(xy[1], xy[xy.size() - 1]);
      EXPECT_FALSE(CrossesItself(xy)) << ::testing::PrintToString(xy);
    }
    const GdsLibrary library = Translated();
    // The texts are copied, and followed by their strokes.
    EXPECT_EQ(ElementsOf(library, kGdsText, 9).size(), 3u);
    EXPECT_GT(ElementsOf(library, kGdsBoundary, 9).size(), 30u);
  }
  // Without outlines (lwidening) nothing goes to PG; pieces of paths that would cross
  // themselves become paths of their own.
  ASSERT_EQ(Run({"-t2"}), 0);
  EXPECT_TRUE(pg_.polygons.empty());
  EXPECT_GT(ElementsOf(Translated(), kGdsPath, 1).size(), 4u);
}

TEST_F(GeometryJobTest, KeptPiecesAreWholePathElementsWithTheirOtherRecords) {
  const Points loop = {{0, 0}, {1000, 0}, {1000, 1000}, {500, 1000}, {500, -500}, {2000, -500}};
  {
    Layout l("job.gds");
    l.Begin("TOP");
    l.PathWithProperty(3, 100, 2, loop, 12, 345);
    l.Path(4, 100, 2, {{0, 0}, {700, 0}});
    l.End();
    l.Finish();
  }
  ASSERT_EQ(Run({"-t2", "-dbgx"}), 0);
  // -dbgx logs the runs and the points of every kept piece.
  const std::string log = ScratchJob::Read("job.log");
  EXPECT_NE(log.find("\r\n Path: offset:0 count:6 type:2"), std::string::npos);
  EXPECT_NE(log.find("\r\nPairs:\r\n        0 ,        0 \r\n"), std::string::npos);
  const GdsLibrary library = Translated();
  const std::vector<const GdsElement*> pieces = ElementsOf(library, kGdsPath, 3);
  ASSERT_GE(pieces.size(), 2u);
  for (const GdsElement* piece : pieces) {
    EXPECT_EQ(piece->width, 100);
    EXPECT_EQ(piece->pathtype, 2);
    ASSERT_EQ(piece->properties.size(), 1u);
    EXPECT_EQ(piece->properties[0].attribute, 12);
    EXPECT_GE(piece->points.size(), 2u);
  }
  // The pieces start and end where the path does, not half a width beyond.
  EXPECT_EQ(pieces.front()->points.front().x, 0);
  EXPECT_EQ(pieces.back()->points.back().x, 2000);
  // A two-point path is copied as it is.
  const std::vector<const GdsElement*> short_path = ElementsOf(library, kGdsPath, 4);
  ASSERT_EQ(short_path.size(), 1u);
  EXPECT_EQ(short_path[0]->points.size(), 2u);
  EXPECT_EQ(short_path[0]->points[1].x, 700);
}

TEST_F(GeometryJobTest, LweightKeepsPathsOfAnApertureWidth) {
  {
    Layout l("job.gds");
    l.Begin("TOP");
    l.Path(1, 100, 0, {{0, 0}, {1000, 0}});
    l.Path(1, 150, 0, {{0, 500}, {1000, 500}});
    l.Path(1, -150, 0, {{0, 900}, {1000, 900}});
    l.End();
    l.Finish();
  }
  // A database unit of a nanometre: 100 units are 0.0001 mm.
  ScratchJob::Write("gds.cfg", "GERBER\napt.cfg\n");
  ScratchJob::Write("apt.cfg", "APTUNITS MM\nD10 a F ROUND 0.0001\n");
  ASSERT_EQ(Run({"-t1"}), 0);
  ASSERT_EQ(pg_.polygons.size(), 2u);
  EXPECT_EQ(ElementsOf(Translated(), kGdsPath, 1).size(), 1u);
  // A negative width is drawn as its magnitude.
  EXPECT_EQ(pg_.polygons[1].points,
            (std::vector<int32_t>{0, 975, 1000, 975, 1000, 825, 0, 825, 0, 975}));
}

TEST_F(GeometryJobTest, ArraysAreCopiedUnchanged) {
  {
    Layout l("job.gds");
    l.Begin("TOP");
    l.Aref("SUB", {{0, 0}, {3000, 0}, {0, 2000}}, 3, 2, 2.0, 30, true);
    l.End();
    l.Begin("SUB");
    l.StyledText(1, "IN SUB", {0, 0}, {});
    l.End();
    l.Finish();
  }
  ASSERT_EQ(Run({}), 1);  // the text, without strokes, is left out of the PG data
  const auto element = [](const std::vector<ReadRecord>& records) {
    std::vector<uint8_t> bytes;
    bool inside = false;
    for (const ReadRecord& r : records) {
      inside = inside || r.type == kGdsAref;
      if (inside) bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
      if (inside && r.type == kGdsEndEl) break;
    }
    return bytes;
  };
  const std::vector<uint8_t> input = element(ReadRecords("job.gds"));
  ASSERT_FALSE(input.empty());
  EXPECT_EQ(element(ReadRecords("job.gdx")), input);
  // Without BLOCK_TEXT the text is copied alone.
  EXPECT_TRUE(ElementsOf(Translated(), kGdsBoundary, 1).empty());

  // What the loop records of the array from the same records: the attributes an
  // expansion would use, none of them the text's.
  ArrayAttributes array;
  bool in_array = false;
  for (const ReadRecord& r : ReadRecords("job.gds")) {
    in_array = in_array || r.type == kGdsAref;
    if (!in_array) continue;
    GdsRecordView view;
    view.type = r.bytes.at(2);
    view.data_type = r.bytes.at(3);
    view.data = std::span<const uint8_t>(r.bytes).subspan(4);
    if (view.type == kGdsSname || view.type == kGdsEndEl) continue;
    RecordArrayAttribute(view, &array);
    if (view.type == kGdsXy) break;  // the AREF's own points
  }
  EXPECT_EQ(array.columns, 3);
  EXPECT_EQ(array.rows, 2);
  EXPECT_DOUBLE_EQ(array.magnification, 2.0);
  EXPECT_DOUBLE_EQ(array.angle, 30.0);
  EXPECT_TRUE(array.reflected);
  ASSERT_TRUE(array.have_points);
  EXPECT_EQ(array.points, (std::array<int32_t, 6>{0, 0, 3000, 0, 0, 2000}));
  // Values of the wrong shape change nothing.
  GdsRecordView short_colrow;
  short_colrow.type = kGdsColRow;
  short_colrow.data_type = kGdsTypeInt16;
  const uint8_t one_value[2] = {0, 9};
  short_colrow.data = one_value;
  RecordArrayAttribute(short_colrow, &array);
  EXPECT_EQ(array.columns, 3);
}

// Texts that reach no PG data because they are not stroked are counted per layer, in the
// log and in the result, in either pass and on any number of threads; texts on layers
// left out of the job are not.
TEST_F(GeometryJobTest, TextsLeftOutOfThePgDataAreCountedPerLayer) {
  {
    Layout l("job.gds");
    l.Begin("TOP");
    l.Box(1, Square(0, 0, 1000));
    l.Text(1, "A", {0, 0});
    l.Sref("SUB", {5000, 0});
    l.Text(7, "not translated", {0, 0});
    l.End();
    l.Begin("SUB");
    l.Text(1, "B", {0, 0});
    l.Text(3, "C", {10, 0});
    l.End();
    l.Finish();
  }
  const std::string layer1 = "\r\nWarning: 2 texts on layer 1 are left out of the PG data: ";
  const std::string layer3 = "\r\nWarning: 1 text on layer 3 is left out of the PG data: ";
  const auto run = [&](std::vector<std::string> options) {
    pg_ = RecordingPgLibrary();
    std::vector<std::string> words = {"tabreng", "job.gds", "1.5", "1,3", "TOP"};
    words.insert(words.end(), options.begin(), options.end());
    return RunEngine(words, environment_);
  };
  for (int threads : {1, 8}) {
    SCOPED_TRACE(threads);
    environment_.threads = threads;
    ScratchJob::Write("gds.cfg", "BLOCK_TEXT\nNO\n");
    EXPECT_EQ(run({"-opost"}), 3);
    std::string log = ScratchJob::Read("job.log");
    EXPECT_NE(log.find(layer1 + "BLOCK_TEXT is off.\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(layer3 + "BLOCK_TEXT is off.\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("layer 7"), std::string::npos) << log;
    // The counting pass logs them too; its result stays the count of elements for PG.
    EXPECT_EQ(run({"-pg", "-polycnt"}), 1);
    log = ScratchJob::Read("job.log");
    EXPECT_NE(log.find(layer1), std::string::npos) << log;
    EXPECT_NE(log.find(layer3), std::string::npos) << log;
    // Stroked, every text reaches the PG data.
    ScratchJob::Write("gds.cfg", "BLOCK_TEXT\nYES\n");
    EXPECT_EQ(run({"-opost"}), 0);
    EXPECT_EQ(ScratchJob::Read("job.log").find("left out of the PG data"), std::string::npos);
  }
}

// The stream file with BGNEXTN and ENDEXTN records in its paths, after each one's
// PATHTYPE: the n-th path gets extensions[n] (none where it holds nothing).
void AddExtensions(const std::string& path,
                   const std::vector<std::optional<std::pair<int32_t, int32_t>>>& extensions) {
  const auto record = [](int type, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    return std::string{0,
                       8,
                       static_cast<char>(type),
                       static_cast<char>(kGdsTypeInt32),
                       static_cast<char>(bits >> 24),
                       static_cast<char>(bits >> 16),
                       static_cast<char>(bits >> 8),
                       static_cast<char>(bits)};
  };
  std::string bytes;
  size_t paths = 0;
  for (const ReadRecord& r : ReadRecords(path)) {
    bytes.append(r.bytes.begin(), r.bytes.end());
    if (r.type == kGdsPath) ++paths;
    if (r.type == kGdsPathType && paths > 0 && paths <= extensions.size()) {
      if (const auto& extension = extensions[paths - 1]) {
        bytes += record(kGdsBgnExtn, extension->first) + record(kGdsEndExtn, extension->second);
      }
    }
  }
  ScratchJob::Write(path, bytes);
}

// A path of type 4 goes to PG as one of type 2, extended by half its width at both ends;
// where its own extensions (0 when it has none) differ from that, it is a warning in the
// log and the result, counted by layer, in either pass and on any number of threads. A
// path kept as a path keeps its own extensions, and one at one place is left out.
TEST_F(GeometryJobTest, PathsOfType4ExtendedByHalfTheirWidthAreCountedPerLayer) {
  struct Row {
    int layer;
    int pathtype;
    std::optional<std::pair<int32_t, int32_t>> extensions;  // of a path 1000 wide
    bool counted;
  };
  const Row rows[] = {
      {1, 4, std::pair{500, 500}, false},  // its own extensions are half its width
      {1, 4, std::pair{300, 700}, true},
      {1, 4, std::nullopt, true},  // no extensions: 0 at both ends
      {3, 4, std::pair{500, 0}, true},
      {3, 2, std::pair{300, 700}, false},  // type 2 is always extended by half its width
  };
  {
    Layout l("job.gds");
    l.Begin("TOP");
    int32_t y = 0;
    for (const Row& row : rows) {
      if (row.layer == 1) l.Path(row.layer, 1000, row.pathtype, {{0, y}, {10000, y}});
      y += 5000;
    }
    l.Sref("SUB", {0, 0});
    l.End();
    l.Begin("SUB");
    y = 0;
    for (const Row& row : rows) {
      if (row.layer == 3) l.Path(row.layer, 1000, row.pathtype, {{0, y}, {10000, y}});
      y += 5000;
    }
    l.Path(5, 1000, 4, {{700, 700}, {700, 700}});  // at one place: left out
    l.End();
    l.Finish();
    std::vector<std::optional<std::pair<int32_t, int32_t>>> extensions;
    for (const Row& row : rows) extensions.push_back(row.extensions);
    AddExtensions("job.gds", extensions);
  }
  const std::string layer1 =
      "\r\nWarning: 2 paths of type 4 on layer 1 are extended by half their width, not by "
      "their own extensions.\r\n";
  const std::string layer3 =
      "\r\nWarning: 1 path of type 4 on layer 3 is extended by half its width, not by its own "
      "extensions.\r\n";
  int counted = 0;
  for (const Row& row : rows) counted += row.counted;
  for (int threads : {1, 8}) {
    SCOPED_TRACE(threads);
    environment_.threads = threads;
    EXPECT_EQ(Run({"-t0"}), counted + 1);  // and the path at one place
    std::string log = ScratchJob::Read("job.log");
    EXPECT_NE(log.find(layer1), std::string::npos) << log;
    EXPECT_NE(log.find(layer3), std::string::npos) << log;
    EXPECT_EQ(log.find("on layer 5 are extended"), std::string::npos) << log;
    EXPECT_EQ(log.find("on layer 5 is extended"), std::string::npos) << log;
    // Every outline reaches half the width beyond both ends.
    ASSERT_EQ(pg_.polygons.size(), std::size(rows));
    for (const RecordingPgLibrary::PolygonCall& call : pg_.polygons) {
      int32_t low = INT32_MAX, high = INT32_MIN;
      for (size_t i = 0; i < call.points.size(); i += 2) {
        low = std::min(low, call.points[i]);
        high = std::max(high, call.points[i]);
      }
      EXPECT_EQ(low, -500);
      EXPECT_EQ(high, 10500);
    }
    // The counting pass logs them too; its result stays the count of elements for PG.
    EXPECT_EQ(Run({"-t0", "-polycnt"}), static_cast<int32_t>(std::size(rows)));
    log = ScratchJob::Read("job.log");
    EXPECT_NE(log.find(layer1), std::string::npos) << log;
    EXPECT_NE(log.find(layer3), std::string::npos) << log;
    // Kept as paths, they keep their own extensions (the one at one place is copied too).
    EXPECT_EQ(Run({"-t2"}), 0);
    EXPECT_EQ(ScratchJob::Read("job.log").find("of type 4"), std::string::npos);
    const std::vector<ReadRecord> records = ReadRecords("job.gdx");
    EXPECT_EQ(testing::CountType(records, kGdsBgnExtn), 4);
    EXPECT_EQ(testing::CountType(records, kGdsEndExtn), 4);
  }
}

// A wide path whose points all lie at one place has no outline and no piece: each one is
// a warning in the log and the result, named by its structure and layer, on any number
// of threads; a two-point one kept as a path is copied as it is.
TEST_F(GeometryJobTest, WidePathsAtOnePlaceAreCountedWarnings) {
  {
    Layout l("job.gds");
    l.Begin("TOP");
    l.Path(1, 100, 0, {{0, 0}, {1000, 0}});
    l.Path(3, 100, 2, {{500, -700}, {500, -700}, {500, -700}});
    l.Sref("SUB", {0, 0});
    l.End();
    l.Begin("SUB");
    l.Path(5, 60, 1, {{10, 10}, {10, 10}});
    l.End();
    l.Finish();
  }
  const std::string top =
      "\r\nWarning: a path of TOP on layer 3 has all its points at one place: it is left out of "
      "the PG data.";
  const std::string sub =
      "\r\nWarning: a path of SUB on layer 5 has all its points at one place: it is left out of "
      "the PG data.";
  for (int threads : {1, 8}) {
    SCOPED_TRACE(threads);
    environment_.threads = threads;
    EXPECT_EQ(Run({"-t0"}), 2);
    std::string log = ScratchJob::Read("job.log");
    EXPECT_NE(log.find(top), std::string::npos) << log;
    EXPECT_NE(log.find(sub), std::string::npos) << log;
    EXPECT_EQ(pg_.polygons.size(), 1u);
    // The counting pass logs them too; its result stays the count of elements for PG.
    EXPECT_EQ(Run({"-t0", "-polycnt"}), 1);
    log = ScratchJob::Read("job.log");
    EXPECT_NE(log.find(top), std::string::npos) << log;
    EXPECT_NE(log.find(sub), std::string::npos) << log;
    // Kept as paths: the two-point one stays a path element.
    EXPECT_EQ(Run({"-t2"}), 1);
    log = ScratchJob::Read("job.log");
    EXPECT_NE(log.find(top), std::string::npos) << log;
    EXPECT_EQ(log.find(sub), std::string::npos) << log;
    EXPECT_EQ(ElementsOf(Translated(), kGdsPath, 5).size(), 1u);
  }
}

// Angled polygons, wide paths of every path type and angle (one beyond the 32-bit
// range), and texts in every placement, in several structures and enough of
// them to fill many batches of the translate pipeline.
void WriteParallelLayout() {
  Layout l("job.gds");
  l.Begin("TOP");
  l.Sref("SUB", {0, 0});
  for (int i = 0; i < 3000; ++i) {
    const int32_t x = (i % 60) * 700, y = (i / 60) * 700;
    const double turn = i * 0.37;
    const auto at = [&](double radius, double angle) {
      return GdsIntPoint{x + static_cast<int32_t>(std::lround(radius * std::cos(angle + turn))),
                         y + static_cast<int32_t>(std::lround(radius * std::sin(angle + turn)))};
    };
    switch (i % 6) {
      case 0:  // an angled quadrilateral
        l.Boundary(1, {at(200, 0), at(150, 1.7), at(220, 3.1), at(180, 4.4), at(200, 0)});
        break;
      case 1:  // a star that crosses itself
        l.Boundary(
            2, {at(250, 0), at(250, 2.5), at(250, 5.0), at(250, 1.2), at(250, 3.8), at(250, 0)});
        break;
      case 2:
        l.Path(3, 40 + i % 50, i % 5 == 4 ? 4 : i % 3, {at(0, 0), at(300, 0.3), at(200, 2.0)});
        break;
      case 3:
        l.Path(4, 30, 2, {at(0, 0), at(250, 1.0), at(10, 2.0), at(260, 3.5), at(120, 5.0)});
        break;
      case 4:
        l.Path(5, 0, 0, {at(0, 0), at(300, 0.5)});
        break;
      default: {
        Layout::TextStyle style{i % 4, i % 3, (i / 3) % 3, i % 2 == 0, 0.5 + i % 3, turn * 57};
        l.StyledText(9, i % 25 == 5 ? "\x7f\x80 ~" : "T" + std::to_string(i), at(0, 0), style);
        break;
      }
    }
  }
  // Outlines that saturate at the 32-bit range.
  l.Path(6, 100000, 2, {{2147480000, 0}, {2147483000, 100}});
  l.End();
  l.Begin("SUB");
  for (int i = 0; i < 500; ++i) l.Boundary(7, Square(i * 50, -5000, 30));
  l.Path(8, 50, 0, {{0, -9000}, {1000, -8000}, {0, -7000}});
  l.End();
  l.Finish();
}

TEST_F(GeometryJobTest, ThreadsChangeNoByteOfTheStreamTheLogOrThePgCalls) {
  WriteParallelLayout();
  ScratchJob::Write("gds.cfg", "BLOCK_TEXT\nYES\n");
  ScratchJob::Write("job.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n  |__ SUB\n");
  struct Outcome {
    int32_t result = 0;
    std::string stream, log;
    std::vector<std::string> calls;
    std::vector<std::string> progress;
    size_t prepared = 0;
  };
  const auto run = [&](int threads) {
    environment_.threads = threads;
    sink_.lines.clear();
    // The workers work the trapezoids out ahead; PG is handed them in order.
    prepares_ = true;
    Outcome outcome;
    outcome.result = Run({"-pg", "-t0"});
    outcome.prepared = pg_.prepared_taken;
    outcome.stream = ScratchJob::Read("job.gdx");
    outcome.log = ScratchJob::Read("job.log");
    outcome.calls = testing::PgCallTexts(pg_, true);
    for (const ProgressLine& line : sink_.lines)
      outcome.progress.push_back(EncodeProgressLine(line));
    return outcome;
  };
  const Outcome one = run(1);
  // The layout reaches every kind of hand-off and a warning.
  EXPECT_GT(one.result, 0);
  EXPECT_GT(pg_.polygons.size(), 4000u);
  EXPECT_GT(pg_.paths.size(), 400u);
  EXPECT_NE(one.log.find("lies beyond the 32-bit range"), std::string::npos);
  EXPECT_EQ(one.prepared, 0u);
  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    const Outcome many = run(threads);
    EXPECT_EQ(many.result, one.result);
    EXPECT_TRUE(many.stream == one.stream) << "the translated streams differ";
    EXPECT_EQ(many.log, one.log);
    EXPECT_TRUE(many.calls == one.calls) << "the PG calls differ";
    EXPECT_EQ(many.progress, one.progress);
    EXPECT_EQ(many.prepared, pg_.polygons.size());
  }
  // A library that returns other trapezoids than it worked out ahead: the PG stage
  // hands the later polygons to it one by one again, and the bytes are those of one
  // thread.
  split_call_ = 1000;
  const Outcome split_one = run(1);
  EXPECT_FALSE(split_one.stream == one.stream);
  const Outcome split_many = run(8);
  EXPECT_TRUE(split_many.stream == split_one.stream) << "the translated streams differ";
  EXPECT_EQ(split_many.log, split_one.log);
  EXPECT_TRUE(split_many.calls == split_one.calls) << "the PG calls differ";
  EXPECT_LT(split_many.prepared, pg_.polygons.size());
}

TEST(WorkerThreadCountTest, AskedForThenTheVariableThenTheProcessors) {
  const char* saved = std::getenv("TABRENG_THREADS");
  const std::string kept = saved != nullptr ? saved : "";
  struct Case {
    int requested;
    const char* variable;  // null: unset
    int expected;          // 0: the processors at hand
  } cases[] = {{3, "5", 3}, {0, "5", 5},     {0, "1", 1},       {0, "0", 0},
               {0, "x", 0}, {0, nullptr, 0}, {500, nullptr, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.requested << " " << (c.variable ? c.variable : "-"));
    if (c.variable != nullptr) {
      setenv("TABRENG_THREADS", c.variable, 1);
    } else {
      unsetenv("TABRENG_THREADS");
    }
    const int threads = WorkerThreadCount(c.requested, "TABRENG_THREADS");
    if (c.expected > 0) {
      EXPECT_EQ(threads, c.expected);
    } else {
      EXPECT_GE(threads, 1);
      EXPECT_LE(threads, 64);
    }
  }
  if (saved != nullptr) {
    setenv("TABRENG_THREADS", kept.c_str(), 1);
  } else {
    unsetenv("TABRENG_THREADS");
  }
}

}  // namespace
}  // namespace kavrinth
