// The plot data file: which layers and elements are written, in which colour, the
// negative layers with and without glass, the frame grid, the glass outline and the plot
// window, read back with the plot library's reader.
#include "viewer/plot/plot_data.h"

#include <gtest/gtest.h>

#include <cmath>

#include "companions/plendo/plot_file.h"
#include "support/notifier.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/tests/wf2_test_support.h"
#include "viewer/model/wf2_scan.h"
#include "viewer/plot/tests/plot_test_support.h"

namespace kavrinth {
namespace {

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kBlue = 0xFF0000;

class PlotDataTest : public ViewerModelTest {
 protected:
  void SetUp() override {
    ViewerModelTest::SetUp();
    PlotWindowStore() = {};
    host_.temp_dir = dir_;
    host_.display.view_window = {0, 0, 1000, 1000};
    services_.display.scale_divisor = 1000;
    services_.display.database_units_per_user_unit = 1000;
  }

  ViewLayerEntry& Layer(int index, GdxHandle library, uint32_t colour, int32_t mode) {
    ViewLayerEntry& entry = LayerTable()[index];
    entry.path = "layer" + std::to_string(index);
    entry.shown = 1;
    entry.colour = colour;
    entry.fill_mode = mode;
    entry.library = library;
    return entry;
  }

  PlotDocument Generate(int expected = kPlotDataWritten) {
    const std::string file = PathOf("plot.gds");
    EXPECT_EQ(GeneratePlotData(&host_, nullptr, file), expected);
    PlotDocument document;
    if (expected != kPlotDataWritten) {
      EXPECT_FALSE(std::filesystem::exists(file));
      return document;
    }
    std::string error;
    EXPECT_TRUE(ReadPlotFile(file, &document, &error)) << error;
    return document;
  }

  TestPlotHost host_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(PlotDataTest, ShownLayersInTheirColoursAndOnlyWhatMeetsTheWindow) {
  BeginTestLibrary();
  AddBoundary(3, Square(100, 100, 50));
  AddBoundary(3, Square(5000, 5000, 50));  // outside the view
  AddPath(3, {0, 500, 900, 500}, 20, 1);
  GdxSetLayer(3);
  GdxBeginText();
  const Words at = {200, 200};
  GdxAddPoints(1, at.data(), 2);
  GdxAddText("T");
  GdxEndElement();
  Layer(0, EndTestLibrary(), kRed, kFillPaint);
  BeginTestLibrary();
  AddBoundary(4, Square(300, 300, 10));
  Layer(1, EndTestLibrary(), kBlue, kFillScratch);
  BeginTestLibrary();
  AddBoundary(5, Square(400, 400, 10));
  Layer(2, EndTestLibrary(), kBlue, kFillPaint).shown = 0;

  const PlotDocument document = Generate();
  ASSERT_EQ(document.shapes.size(), 3u) << "text, the far square and the hidden layer are left out";
  const PlotShape& square = document.shapes[0];
  EXPECT_EQ(square.kind, PlotShape::kBoundary);
  EXPECT_EQ(square.colour, 2) << "red is pick colour 2";
  EXPECT_EQ(square.layer, 3);
  ASSERT_EQ(square.polygons.size(), 1u);
  EXPECT_EQ(square.polygons[0].front(), (GdsIntPoint{100, 100}));
  const PlotShape& path = document.shapes[1];
  EXPECT_EQ(path.kind, PlotShape::kPath);
  EXPECT_EQ(path.width, 20);
  EXPECT_EQ(path.path_type, 1);
  EXPECT_EQ(document.shapes[2].colour, 0) << "a Scratch layer plots in colour 0";
  EXPECT_EQ(document.shapes[2].layer, 4);
  EXPECT_EQ(document.Setting("SETCOLOR", -1), 0);
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(PlotDataTest, PendingPlotWindowIsUsedOnceThenTheView) {
  BeginTestLibrary();
  AddBoundary(1, Square(100, 100, 50));
  AddBoundary(1, Square(800, 800, 50));
  Layer(0, EndTestLibrary(), kRed, kFillPaint);
  ASSERT_TRUE(StorePlotWindow({900, 900, 700, 700}));
  EXPECT_EQ(PlotWindowStore().window, (GdxRect{700, 700, 900, 900}));
  PlotDocument document = Generate();
  ASSERT_EQ(document.shapes.size(), 1u);
  EXPECT_EQ(document.shapes[0].polygons[0].front(), (GdsIntPoint{800, 800}));
  EXPECT_FALSE(PlotWindowStore().pending);
  document = Generate();
  EXPECT_EQ(document.shapes.size(), 2u) << "the next plot is the view again";
  EXPECT_FALSE(StorePlotWindow({10, 10, 10, 40})) << "zero width stores nothing";
  EXPECT_FALSE(PlotWindowStore().pending);
}

TEST_F(PlotDataTest, LayerOffsetMovesThePoints) {
  BeginTestLibrary();
  AddBoundary(1, Square(100, 100, 50));
  ViewLayerEntry& entry = Layer(0, EndTestLibrary(), kRed, kFillPaint);
  entry.x_offset = 25;   // a quarter of a user unit: 250 database units
  entry.y_offset = -10;  // subtracted: +100
  const PlotDocument document = Generate();
  ASSERT_EQ(document.shapes.size(), 1u);
  EXPECT_EQ(document.shapes[0].polygons[0].front(), (GdsIntPoint{350, 200}));
}

TEST_F(PlotDataTest, NegativeLayerWithoutGlassIsBracketed) {
  BeginTestLibrary();
  AddBoundary(1, Square(100, 100, 50));
  Layer(0, EndTestLibrary(), kRed, kFillNegative);
  const PlotDocument document = Generate();
  ASSERT_EQ(document.shapes.size(), 2u);
  EXPECT_EQ(document.shapes[0].kind, PlotShape::kWindowFill);
  EXPECT_EQ(document.shapes[0].colour, 2);
  EXPECT_EQ(document.shapes[1].colour, 0) << "drawn clear on the filled window";
  EXPECT_EQ(document.Setting("NEGDISP", -1), 0) << "closed after the layer";
}

TEST_F(PlotDataTest, NegativeLayerWithGlassGetsTheWindowInsideTheGlass) {
  BeginTestLibrary();
  AddBoundary(1, Square(100, 100, 50));
  Layer(0, EndTestLibrary(), kRed, kFillNegative);
  host_.display.glass_shown = true;
  host_.display.glass = GdxRect{-500, 50, 600, 5000};
  host_.display.glass_outline_width = 7;
  const PlotDocument document = Generate();
  ASSERT_EQ(document.shapes.size(), 3u);
  const PlotShape& rectangle = document.shapes[0];
  EXPECT_EQ(rectangle.kind, PlotShape::kBoundary);
  EXPECT_EQ(rectangle.colour, 2);
  EXPECT_EQ(rectangle.layer, 0);
  const std::vector<GdsIntPoint> expected = {{0, 50}, {600, 50}, {600, 1000}, {0, 1000}, {0, 50}};
  EXPECT_EQ(rectangle.polygons[0], expected);
  EXPECT_EQ(document.shapes[1].colour, 0);
  const PlotShape& glass = document.shapes[2];
  EXPECT_EQ(glass.kind, PlotShape::kPath);
  EXPECT_EQ(glass.colour, 1);
  EXPECT_EQ(glass.width, 7);
  EXPECT_EQ(glass.polygons[0].front(), (GdsIntPoint{-500, 50}));
  EXPECT_EQ(document.settings.count("NEGDISP"), 0u);
}

TEST_F(PlotDataTest, WindowOutsideTheGlassPlotsNothing) {
  BeginTestLibrary();
  AddBoundary(1, Square(100, 100, 50));
  Layer(0, EndTestLibrary(), kRed, kFillNegative);
  host_.display.glass_shown = true;
  host_.display.glass = GdxRect{2000, 2000, 3000, 3000};
  Generate(kPlotDataNothing);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_NE(notifier_.shown[0].text.find("does not meet the glass"), std::string::npos);
}

TEST_F(PlotDataTest, CirclesArcsAndLargeElements) {
  BeginTestLibrary();
  GdxSetLayer(2);
  GdxBeginCircle();  // filled, no width: a circle element
  GdxSetRadius(100);
  GdxSetWidth(0);
  const Words circle = {500, 500, 600, 500, 600, 500};
  GdxAddPoints(1, circle.data(), 6);
  GdxEndElement();
  GdxBeginCircle();  // with a width: a polyline all round
  GdxSetRadius(100);
  GdxSetWidth(10);
  GdxAddPoints(1, circle.data(), 6);
  GdxEndElement();
  GdxBeginArc();  // a quarter from +x to +y
  GdxSetRadius(100);
  GdxSetWidth(4);
  const Words arc = {500, 500, 600, 500, 500, 600};
  GdxAddPoints(1, arc.data(), 6);
  GdxEndElement();
  Words many;  // 3001 points round a 3000-gon: more than 2500
  for (int i = 0; i < 3000; ++i) {
    many.push_back(500 + static_cast<int32_t>(
                             std::lround(300 * std::cos(i * 2 * 3.14159265358979323846 / 3000))));
    many.push_back(500 + static_cast<int32_t>(
                             std::lround(300 * std::sin(i * 2 * 3.14159265358979323846 / 3000))));
  }
  many.push_back(many[0]);
  many.push_back(many[1]);
  AddBoundary(2, many);
  Layer(0, EndTestLibrary(), kBlue, kFillPaint);
  services_.display.scale_divisor = 10;
  const PlotDocument document = Generate();
  ASSERT_EQ(document.shapes.size(), 4u);
  EXPECT_EQ(document.shapes[0].kind, PlotShape::kCircle);
  // The radius goes out as 100 / 10 user units and comes back in database units.
  EXPECT_NEAR(document.shapes[0].radius, 100.0 * document.user_units_per_database_unit * 10, 1e-9);
  const PlotShape& ring = document.shapes[1];
  EXPECT_EQ(ring.kind, PlotShape::kPath);
  EXPECT_EQ(ring.width, 10);
  EXPECT_EQ(ring.polygons[0].front(), ring.polygons[0].back());
  EXPECT_GT(ring.polygons[0].size(), 100u);
  const PlotShape& quarter = document.shapes[2];
  EXPECT_EQ(quarter.polygons[0].front(), (GdsIntPoint{600, 500}));
  EXPECT_EQ(quarter.polygons[0].back(), (GdsIntPoint{500, 600}));
  for (const GdsIntPoint& p : quarter.polygons[0]) {
    EXPECT_NEAR(std::hypot(p.x - 500.0, p.y - 500.0), 100.0, 1.0);
  }
  const std::vector<GdsIntPoint>& big = document.shapes[3].polygons[0];
  ASSERT_EQ(big.size(), 3001u) << "no point of the 3001 is lost";
  for (size_t i = 0; i < big.size(); ++i) {
    ASSERT_EQ(big[i], (GdsIntPoint{many[2 * i], many[2 * i + 1]})) << i;
  }
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(PlotDataTest, FrameGridLinesThatMeetTheWindow) {
  BeginTestLibrary();
  AddBoundary(1, Square(100, 100, 50));
  Layer(0, EndTestLibrary(), kRed, kFillPaint);
  host_.display.frame_width = 400;
  host_.display.frame_height = 300;
  host_.display.frame_columns = 3;  // x = 0, 400, 800, 1200; y = 0, 300, 600
  host_.display.frame_rows = 2;
  host_.display.view_window = {-10, -10, 1000, 1000};
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    host_.display.frames_display = mode;
    const PlotDocument document = Generate();
    std::vector<std::vector<GdsIntPoint>> lines;
    for (const PlotShape& s : document.shapes) {
      if (s.kind == PlotShape::kPath) {
        EXPECT_EQ(s.colour, 1);
        lines.push_back(s.polygons[0]);
      }
    }
    using L = std::vector<GdsIntPoint>;
    const std::vector<L> expected =
        mode == 1
            ? std::vector<L>{{{0, 0}, {0, 600}}, {{0, 0}, {1200, 0}}, {{0, 600}, {1200, 600}}}
            : std::vector<L>{{{0, 0}, {0, 600}},  {{400, 0}, {400, 600}},  {{800, 0}, {800, 600}},
                             {{0, 0}, {1200, 0}}, {{0, 300}, {1200, 300}}, {{0, 600}, {1200, 600}}};
    EXPECT_EQ(lines, expected) << "x = 1200 lies outside the window";
  }
}

TEST_F(PlotDataTest, LongPathsGoOutInPiecesAndLongBoundariesAreReported) {
  Words path;
  for (int32_t i = 0; i < 12000; ++i) path.insert(path.end(), {i % 1000, i / 12});
  Words boundary;
  for (int32_t i = 0; i < 6000; ++i) boundary.insert(boundary.end(), {i / 6, i % 2 * 10});
  boundary.insert(boundary.end(), {0, 0});
  BeginTestLibrary();
  AddPath(1, path, 2, 0);
  AddBoundary(1, boundary);
  Layer(0, EndTestLibrary(), kRed, kFillPaint);
  const PlotDocument document = Generate();
  ASSERT_EQ(document.shapes.size(), 4u);
  std::vector<GdsIntPoint> joined;
  for (int i = 0; i < 3; ++i) {
    const std::vector<GdsIntPoint>& piece = document.shapes[i].polygons[0];
    EXPECT_LE(piece.size(), 5000u);
    if (!joined.empty()) {
      EXPECT_EQ(piece.front(), joined.back()) << "pieces share their ends";
    }
    joined.insert(joined.end(), piece.begin() + (joined.empty() ? 0 : 1), piece.end());
  }
  ASSERT_EQ(joined.size(), 12000u);
  for (size_t i = 0; i < joined.size(); ++i) {
    ASSERT_EQ(joined[i], (GdsIntPoint{path[2 * i], path[2 * i + 1]})) << i;
  }
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_NE(notifier_.shown[0].text.find("1 element(s) were cut"), std::string::npos)
      << notifier_.shown[0].text;
}

// Records the sections the plot loads.
class SectionHost : public TestPlotHost {
 public:
  GdxHandle LoadFrame(int layer, int32_t k) override {
    loaded.push_back(k);
    return PlotHost::LoadFrame(layer, k);
  }
  std::vector<int32_t> loaded;
};

TEST_F(PlotDataTest, WF2SectionsOutsideTheWindowAreNotLoaded) {
  // Four strips of two 100 x 50 frames, each frame one full square; one section per strip.
  const Wf2Header header = testing::SmallHeader(4, 2, false);
  std::vector<testing::Wf2Frame> frames(8, testing::Wf2Frame{{{0, 0}, {99, 0}, {99, 49}, {0, 49}}});
  const std::string path = PathOf("layer.wf2");
  testing::WriteBytes(path, testing::BuildWf2(header, frames));
  ViewLayerEntry& entry = Layer(0, kGdxNoHandle, kBlue, kFillPaint);
  entry.path = path;
  {
    HeadlessViewerServices limited;
    limited.memory_limit = 1;
    ScopedViewerServices scoped(&limited);
    Wf2ScanResult result;
    ASSERT_EQ(ScanWf2File(nullptr, path, 0, &result), kGdxNoHandle);
    ASSERT_EQ(result.status, Wf2ScanStatus::kIndexed);
    ASSERT_EQ(result.sections, 4);
    entry.frame_block = result.frame_index;
    entry.frame_count = result.sections;
  }
  const GdxRect second = ReadWf2FrameIndexEntry(entry.frame_block, 1)->box;
  SectionHost host;
  host.display.view_window = {second.min_x + 1, second.min_y, second.max_x - 1, second.max_y};
  const std::string file = PathOf("sections.gds");
  ASSERT_EQ(GeneratePlotData(&host, nullptr, file), kPlotDataWritten);
  EXPECT_EQ(host.loaded, std::vector<int32_t>{1});
  PlotDocument document;
  std::string error;
  ASSERT_TRUE(ReadPlotFile(file, &document, &error)) << error;
  ASSERT_EQ(document.shapes.size(), 2u) << "the two frames of the second strip";
  for (const PlotShape& shape : document.shapes) {
    EXPECT_EQ(shape.colour, 5);
    for (const GdsIntPoint& p : shape.polygons[0]) {
      EXPECT_GE(p.x, second.min_x);
      EXPECT_LE(p.x, second.max_x);
    }
  }
  EXPECT_TRUE(notifier_.shown.empty());

  // A section that cannot be loaded any more is named in a warning; the plot goes on.
  std::filesystem::remove(path);
  SectionHost again;
  again.display.view_window = host.display.view_window;
  notifier_.shown.clear();
  ASSERT_EQ(GeneratePlotData(&again, nullptr, file), kPlotDataWritten);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_NE(notifier_.shown.back().text.find("1 WF2 section(s)"), std::string::npos)
      << notifier_.shown.back().text;
}

TEST_F(PlotDataTest, LayerWhoseStructureIsGoneIsReported) {
  BeginTestLibrary();
  AddBoundary(1, Square(100, 100, 50));
  const GdxHandle library = EndTestLibrary();
  Layer(0, library, kRed, kFillPaint);
  BeginTestLibrary();
  AddBoundary(1, Square(300, 300, 50));
  Layer(1, EndTestLibrary(), kRed, kFillPaint);
  GdxLibraryFromHandle(library)->current_structure_id = 7;
  const PlotDocument document = Generate();
  EXPECT_EQ(document.shapes.size(), 1u) << "the other layer is plotted";
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_NE(notifier_.shown[0].text.find("1 WF2 section(s), structure(s)"), std::string::npos);
}

TEST_F(PlotDataTest, FileThatCannotBeCreated) {
  EXPECT_EQ(GeneratePlotData(&host_, nullptr, PathOf("no/such/dir/plot.gds")), kPlotDataNotCreated);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Cannot create intermediate file");
}

}  // namespace
}  // namespace kavrinth
