// The drawing window's modes driven with clicks in device pixels, with a host that records
// what the modes ask of the window.
#include "viewer/interact/draw_modes.h"

#include <gtest/gtest.h>

#include <vector>

#include "viewer/display/tests/display_test_support.h"

namespace kavrinth {
namespace {

class RecordingModeHost : public DrawModeHost {
 public:
  void Redraw() override { ++redraws; }
  void CopyBox(const DeviceBox& box) override { copies.push_back(box); }
  bool StartQuery(int32_t mode, const GdxRect& box) override {
    queries.emplace_back(mode, box);
    return true;
  }
  void EndQuery() override { ++ended; }
  void PlotWindow(const GdxRect& box) override { plots.push_back(box); }
  void ShowMeasure(const std::string& text) override { measures.push_back(text); }
  void ModeChanged() override {}
  bool StoreCapture(int slot) override {
    stored.push_back(slot);
    return store_ok;
  }
  bool LoadCapture(int slot) override {
    loaded.push_back(slot);
    return load_fits;
  }

  int redraws = 0;
  int ended = 0;
  std::vector<DeviceBox> copies;
  std::vector<std::pair<int32_t, GdxRect>> queries;
  std::vector<GdxRect> plots;
  std::vector<std::string> measures;
  std::vector<int> stored;
  std::vector<int> loaded;
  bool EndPointSnap() const override { return snap; }
  // Vertices lie on multiples of 10 world units.
  bool QueryMarker(int32_t x, int32_t y) override {
    if (x % 10 > 2 && x % 10 < 8) return false;
    vertex_x = (x + 5) / 10 * 10;
    vertex_y = (y + 5) / 10 * 10;
    return true;
  }
  bool TakeQueryHit(int32_t* x, int32_t* y) override {
    *x = vertex_x;
    *y = vertex_y;
    return true;
  }
  void InvalidPoint() override { ++invalid; }

  bool store_ok = true;
  bool load_fits = true;
  bool snap = false;
  int32_t vertex_x = 0, vertex_y = 0;
  int invalid = 0;
};

// World (x, y) is device pixel (x + 2, 82 - y) at the start.
class DrawModesTest : public DisplayTest {
 protected:
  DrawWndState& window() { return display_.window; }
  void Click(int x, int y) {
    modes_.LeftPress(x, y);
    modes_.LeftRelease(x, y);
  }
  void Drag(int x0, int y0, int x1, int y1) {
    modes_.LeftPress(x0, y0);
    modes_.MouseMove(x1, y1);
    modes_.LeftRelease(x1, y1);
  }

  RecordingModeHost host_;
  DrawModes modes_{&display_.window, &host_};
};

TEST_F(DrawModesTest, ModesHaveTheirPromptsAndClickCounts) {
  struct Case {
    int32_t mode;
    int32_t kind;
    int32_t prompt;
    bool two_points;
  };
  const Case cases[] = {{kDrawZoomWindow, 0, 8220, true},
                        {kDrawZoomIn, 0, 8221, false},
                        {kDrawZoomOut, 0, 8222, false},
                        {kDrawMeasure, 0, 8223, true},
                        {kDrawPointQuery, 0, 8224, false},
                        {kDrawPointQuery, 4, 8275, false},
                        {kDrawPointQuery, 65535, 8277, false},
                        {kDrawWindowQuery, 0, 8225, true},
                        {kDrawCopyWindow, 0, 8226, true},
                        {kDrawPlotWindow, 0, 8265, true},
                        {kDrawPan, 0, 8274, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(PromptOfMode(c.mode, c.kind).id, c.prompt) << c.mode;
    EXPECT_EQ(IsTwoPointMode(c.mode), c.two_points) << c.mode;
  }
  EXPECT_EQ(PromptOfMode(kDrawNoMode, 0).id, 0);
  EXPECT_FALSE(DrawModes::Handles(8300));
  EXPECT_FALSE(modes_.Command(8300));
}

TEST_F(DrawModesTest, ZoomWindowByTwoClicksOrADragAndTinyBoxesAreIgnored) {
  ASSERT_TRUE(modes_.Command(kDrawZoomWindow));
  // A box of one pixel is below 1% of the window: nothing happens.
  Click(10, 10);
  EXPECT_TRUE(modes_.band_pending());
  Click(10, 11);
  EXPECT_EQ(host_.redraws, 0);
  EXPECT_EQ(window().history_count(), 0);
  EXPECT_EQ(modes_.mode(), kDrawZoomWindow) << "the mode stays";
  // World (10, 20)-(30, 60) as a drag.
  Drag(12, 62, 32, 22);
  EXPECT_EQ(host_.redraws, 1);
  EXPECT_EQ(window().history_count(), 1);
  int32_t x = 0, y = 0;
  window().LogicalToWorld({2, 2}, &x, &y);  // the view's top-left pixel, inside the inset
  EXPECT_EQ(y, 60) << "the box's top is the view's top";
  EXPECT_GT(window().scale(), 1.9);
  // Last returns to the first view.
  modes_.Command(kDrawLast);
  EXPECT_DOUBLE_EQ(window().scale(), 1.0);
}

// A press and release closer than the drag distance (both axes added) are one click, the
// first corner of a band; from the drag distance on they are both corners.
TEST_F(DrawModesTest, AClickIsAClickUpToTheDragDistance) {
  modes_.set_drag_distance(10);
  struct Case {
    int32_t mode;
    int dx, dy;
    bool both_corners;
  } cases[] = {{kDrawMeasure, 3, 2, false},    {kDrawMeasure, 6, 3, false},
               {kDrawMeasure, 6, 4, true},     {kDrawMeasure, 0, 30, true},
               {kDrawZoomWindow, 4, 4, false}, {kDrawZoomWindow, 30, 30, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.dx << "," << c.dy);
    ASSERT_TRUE(modes_.Command(c.mode));
    host_.measures.clear();
    const int redraws = host_.redraws;
    Drag(20, 60, 20 + c.dx, 60 - c.dy);
    EXPECT_EQ(modes_.band_pending(), !c.both_corners);
    EXPECT_EQ(host_.measures.size(), c.mode == kDrawMeasure && c.both_corners ? 1u : 0u);
    EXPECT_EQ(host_.redraws, redraws + (c.mode == kDrawZoomWindow && c.both_corners ? 1 : 0));
    // A jittery first click leaves its band to a second click.
    if (modes_.band_pending()) {
      Click(60, 20);
      EXPECT_FALSE(modes_.band_pending());
      if (c.mode == kDrawMeasure) {
        EXPECT_EQ(host_.measures.size(), 1u);
      }
      if (c.mode == kDrawZoomWindow) {
        EXPECT_EQ(host_.redraws, redraws + 1);
      }
    }
    modes_.Command(kDrawLast);
  }
}

TEST_F(DrawModesTest, GridSnapPutsTheBandAndTheZoomBoxOnGridPoints) {
  window().SetGridSnap(true, 10);
  ASSERT_TRUE(modes_.Command(kDrawZoomWindow));
  // World (11, 19) and (32, 61): the grid points (10, 20) and (30, 60) are pixels (12, 62)
  // and (32, 22).
  Click(13, 63);
  ASSERT_TRUE(modes_.band_pending());
  EXPECT_EQ(std::pair(modes_.band_first_x(), modes_.band_first_y()), std::pair(12, 62));
  modes_.MouseMove(34, 21);
  EXPECT_EQ(std::pair(modes_.band_current_x(), modes_.band_current_y()), std::pair(32, 22));
  EXPECT_EQ(std::pair(modes_.mouse_x(), modes_.mouse_y()), std::pair(32, 22)) << "the cross";
  Click(34, 21);
  ASSERT_EQ(host_.redraws, 1);
  int32_t x = 0, y = 0;
  window().LogicalToWorld({2, 2}, &x, &y);
  EXPECT_EQ(y, 60) << "the box's top is the snapped corner's";
  EXPECT_DOUBLE_EQ(window().scale(), 2.0) << "the box is 40 units high";
  // Zoom in centres on the grid point next to the click: world (50, 40) at pixel (52, 42).
  modes_.Command(kDrawAll);
  modes_.Command(kDrawZoomIn);
  Click(54, 44);
  ASSERT_DOUBLE_EQ(window().scale(), 2.0);
  const LogicalPoint centre = window().WorldToLogical(50, 40);
  EXPECT_EQ(centre.x, 2 + window().view_width() / 2);
  EXPECT_EQ(centre.y, 2 + window().view_height() / 2);
}

TEST_F(DrawModesTest, ZoomInOutPanAndAll) {
  modes_.Command(kDrawZoomIn);
  Click(52, 42);
  EXPECT_DOUBLE_EQ(window().scale(), 2.0);
  modes_.Command(kDrawZoomOut);
  Click(52, 42);
  EXPECT_DOUBLE_EQ(window().scale(), 1.0);
  const double before = window().offset_x();
  modes_.Command(kDrawPan);
  Drag(60, 40, 40, 40);
  EXPECT_DOUBLE_EQ(window().offset_x(), before + 20) << "the picture follows the mouse";
  modes_.Command(kDrawAll);
  EXPECT_DOUBLE_EQ(window().offset_x(), before);
  EXPECT_EQ(host_.redraws, 4);
}

TEST_F(DrawModesTest, MeasureShowsTheDistanceWithoutOverflow) {
  modes_.Command(kDrawMeasure);
  Click(2, 82);   // world (0, 0)
  Click(32, 42);  // world (30, 40)
  ASSERT_EQ(host_.measures.size(), 1u);
  EXPECT_EQ(host_.measures[0], "Dist = 0.050\r\ndX = 0.030\r\ndY = 0.040");
  EXPECT_EQ(host_.redraws, 0);
  // Corners at the ends of the 32-bit range: the squares overflow 64-bit integers of the
  // old arithmetic, the distance does not.
  const MeasureResult far = Measure(-2147483647, -2147483647, 2147483647, 2147483647);
  EXPECT_EQ(far.dx, 4294967294LL);
  EXPECT_EQ(far.distance, 6074000997LL);
  EXPECT_EQ(FormatLength(window(), far.distance), "6074000.997");
  EXPECT_EQ(FormatLength(window(), -5), "-0.005");
}

TEST_F(DrawModesTest, CopyWindowCopiesTheBoxOnceAndAnEmptyBoxNothing) {
  modes_.Command(kDrawCopyWindow);
  Click(10, 10);
  Click(10, 30);  // no width
  EXPECT_TRUE(host_.copies.empty());
  EXPECT_EQ(modes_.mode(), kDrawNoMode) << "copy window ends after its box";
  modes_.Command(kDrawCopyWindow);
  Drag(40, 30, 10, 10);
  ASSERT_EQ(host_.copies.size(), 1u);
  EXPECT_EQ(host_.copies[0].left, 10);
  EXPECT_EQ(host_.copies[0].top, 10);
  EXPECT_EQ(host_.copies[0].width(), 30);
  EXPECT_EQ(host_.copies[0].height(), 20);
  modes_.Command(kDrawCopyAll);
  EXPECT_EQ(host_.copies[1].width(), 104);
  EXPECT_EQ(host_.copies[1].height(), 84);
}

TEST_F(DrawModesTest, QueriesComeBackAfterAZoomAndARestartKeepsTheMode) {
  modes_.Command(kDrawWindowQuery);
  // A few pixels are a box for a query, not a zoom.
  Click(10, 10);
  Click(11, 11);
  ASSERT_EQ(host_.queries.size(), 1u);
  EXPECT_EQ(host_.queries[0].second.min_x, 8);
  EXPECT_EQ(host_.queries[0].second.max_y, 72);
  // Choosing the query again restarts it and keeps the mode.
  const int ended = host_.ended;
  modes_.Command(kDrawWindowQuery);
  EXPECT_EQ(modes_.mode(), kDrawWindowQuery);
  EXPECT_GT(host_.ended, ended);
  // A zoom in between: the query mode comes back after it.
  modes_.Command(kDrawZoomIn);
  Click(52, 42);
  EXPECT_EQ(modes_.mode(), kDrawWindowQuery);
  // Measure gives the query up.
  modes_.Command(kDrawMeasure);
  EXPECT_EQ(modes_.query_command(), 0);
  modes_.Command(kDrawZoomIn);
  Click(52, 42);
  EXPECT_EQ(modes_.mode(), kDrawZoomIn);
}

TEST_F(DrawModesTest, PointQueryAndPlotWindowGetWorldPoints) {
  modes_.Command(kDrawPointQuery);
  Click(12, 72);  // world (10, 10)
  ASSERT_EQ(host_.queries.size(), 1u);
  EXPECT_EQ(host_.queries[0].first, kDrawPointQuery);
  EXPECT_EQ(host_.queries[0].second.max_x, 10);
  EXPECT_EQ(host_.queries[0].second.max_y, 10);
  modes_.Command(kDrawPlotWindow);
  Drag(12, 72, 42, 32);
  ASSERT_EQ(host_.plots.size(), 1u);
  EXPECT_EQ(host_.plots[0].min_x, 10);
  EXPECT_EQ(host_.plots[0].max_y, 50);
  EXPECT_EQ(modes_.mode(), kDrawNoMode);
}

TEST_F(DrawModesTest, CaptureAndRecallRestoreTheViewAndInvalidSlotsAreIgnored) {
  modes_.Command(kDrawZoomIn);
  Click(52, 42);
  const double scale = window().scale();
  const double offset = window().offset_x();
  modes_.Command(kDrawCaptureView, 3);
  EXPECT_TRUE(modes_.capture_valid(3));
  modes_.Command(kDrawAll);
  ASSERT_DOUBLE_EQ(window().scale(), 1.0);
  const int redraws = host_.redraws;
  modes_.Command(kDrawRecallView, 3);
  EXPECT_DOUBLE_EQ(window().scale(), scale);
  EXPECT_DOUBLE_EQ(window().offset_x(), offset);
  EXPECT_EQ(host_.redraws, redraws) << "the stored picture fits: no drawing";
  // A picture that no longer fits the window: the view is drawn at the recalled zoom.
  host_.load_fits = false;
  modes_.Command(kDrawRecallView, 3);
  EXPECT_EQ(host_.redraws, redraws + 1);
  // A failed store leaves the slot unusable; an empty slot recalls nothing.
  host_.store_ok = false;
  modes_.Command(kDrawCaptureView, 4);
  EXPECT_FALSE(modes_.capture_valid(4));
  const size_t loads = host_.loaded.size();
  modes_.Command(kDrawRecallView, 4);
  modes_.Command(kDrawRecallView, 7);
  EXPECT_EQ(host_.loaded.size(), loads);
  // Close, New and Open forget every capture.
  modes_.InvalidateCaptures();
  EXPECT_FALSE(modes_.capture_valid(3));
}

TEST_F(DrawModesTest, RecallAfterAResizeRefitsTheRecalledView) {
  modes_.Command(kDrawZoomIn);
  Click(52, 42);
  modes_.Command(kDrawCaptureView, 0);
  int32_t x0 = 0, y0 = 0;
  window().LogicalToWorld({50, 40}, &x0, &y0);
  window().UpdateViewGeometry(204, 84);
  modes_.Command(kDrawRecallView, 0);
  // The recalled view stays whole in the wider window, centred where it was.
  int32_t x = 0, y = 0;
  window().LogicalToWorld({0, 0}, &x, &y);
  EXPECT_LE(x, x0 - 25);
  window().LogicalToWorld({0, 79}, &x, &y);
  EXPECT_LE(y, y0 - 19);
}

TEST_F(DrawModesTest, AMeasureBandComesBackAfterAZoomClick) {
  modes_.Command(kDrawMeasure);
  Click(12, 72);  // world (10, 10)
  ASSERT_TRUE(modes_.band_pending());
  modes_.Command(kDrawZoomIn);
  EXPECT_FALSE(modes_.band_pending());
  Click(52, 42);
  ASSERT_DOUBLE_EQ(window().scale(), 2.0);
  // The band is back at its first corner, at the new zoom.
  ASSERT_TRUE(modes_.band_pending());
  EXPECT_EQ(modes_.active_mode(), kDrawMeasure);
  const LogicalPoint corner = window().WorldToLogical(10, 10);
  EXPECT_EQ(modes_.band_first_x(), corner.x);
  EXPECT_EQ(modes_.band_first_y(), corner.y);
  Click(corner.x + 60, corner.y);  // 30 units to the right at zoom 2
  ASSERT_EQ(host_.measures.size(), 1u);
  EXPECT_EQ(host_.measures[0], "Dist = 0.030\r\ndX = 0.030\r\ndY = 0.000");
}

TEST_F(DrawModesTest, ArrowKeysMoveTheViewByATenth) {
  modes_.Command(kDrawZoomIn);
  Click(52, 42);
  const double x = window().offset_x(), y = window().offset_y();
  modes_.ArrowKey(false, true);
  EXPECT_DOUBLE_EQ(window().offset_x(), x + 50 / 10 * 2);
  modes_.ArrowKey(true, false);
  EXPECT_DOUBLE_EQ(window().offset_y(), y - 40 / 10 * 2);
  EXPECT_EQ(host_.redraws, 3);
}

TEST_F(DrawModesTest, EndPointMeasureTakesTheVerticesTheRightButtonAccepts) {
  host_.snap = true;
  modes_.Command(kDrawMeasure);
  EXPECT_TRUE(modes_.end_point_measure());
  modes_.LeftRelease(17, 72);  // world (15, 10): no vertex
  EXPECT_EQ(host_.invalid, 1);
  modes_.RightRelease(17, 72);
  EXPECT_FALSE(modes_.band_pending()) << "nothing to accept";
  modes_.LeftRelease(13, 71);  // world (11, 11): the vertex (10, 10)
  EXPECT_FALSE(modes_.band_pending()) << "found, not yet accepted";
  modes_.RightRelease(13, 71);
  ASSERT_TRUE(modes_.band_pending());
  EXPECT_EQ(modes_.band_first_x(), 12);
  EXPECT_EQ(modes_.band_first_y(), 72);
  using Marks = std::vector<std::pair<int32_t, int32_t>>;
  EXPECT_EQ(modes_.accepted_vertices(), (Marks{{10, 10}}));
  modes_.LeftRelease(43, 31);  // world (41, 51): the vertex (40, 50)
  modes_.RightRelease(43, 31);
  EXPECT_EQ(modes_.accepted_vertices(), (Marks{{10, 10}, {40, 50}}));
  ASSERT_EQ(host_.measures.size(), 1u);
  EXPECT_EQ(host_.measures[0],
            "First Point:\r\n   (0.010,0.010)\r\nSecond Point:\r\n   (0.040,0.050)\r\n"
            "Dist = 0.050\r\ndX = 0.030\r\ndY = 0.040");
  EXPECT_FALSE(modes_.band_pending());
  EXPECT_EQ(modes_.mode(), kDrawMeasure);
  // The next measure's first vertex drops the marks of this one; Escape drops them all.
  modes_.LeftRelease(43, 31);
  modes_.RightRelease(43, 31);
  EXPECT_EQ(modes_.accepted_vertices(), (Marks{{40, 50}}));
  modes_.Escape();
  EXPECT_TRUE(modes_.accepted_vertices().empty());
}

TEST_F(DrawModesTest, InsertPointCheckHoldsOnlyAVertexAndOnlyForOneTake) {
  int32_t x = -1, y = -1;
  // Snapping off: every point passes and nothing is held.
  EXPECT_TRUE(modes_.InsertPointCheck(17, 72));
  EXPECT_FALSE(modes_.QueryMarkerAt(&x, &y));
  host_.snap = true;
  EXPECT_FALSE(modes_.InsertPointCheck(17, 72));  // world (15, 10): no vertex
  EXPECT_EQ(host_.invalid, 1);
  EXPECT_FALSE(modes_.QueryMarkerAt(&x, &y));
  EXPECT_TRUE(modes_.InsertPointCheck(13, 71));  // world (11, 11): the vertex (10, 10)
  EXPECT_EQ(host_.invalid, 1);
  ASSERT_TRUE(modes_.QueryMarkerAt(&x, &y));
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 10);
  using Marks = std::vector<std::pair<int32_t, int32_t>>;
  EXPECT_EQ(modes_.accepted_vertices(), (Marks{{10, 10}})) << "the vertex taken is marked";
  EXPECT_FALSE(modes_.QueryMarkerAt(&x, &y)) << "the vertex is taken once";
  EXPECT_EQ(modes_.accepted_vertices().size(), 1u);
  // A refused point drops a vertex held before it.
  EXPECT_TRUE(modes_.InsertPointCheck(43, 31));
  EXPECT_FALSE(modes_.InsertPointCheck(17, 72));
  EXPECT_FALSE(modes_.QueryMarkerAt(&x, &y));
  EXPECT_EQ(modes_.mode(), kDrawNoMode) << "the checks select no mode";
  EXPECT_FALSE(modes_.band_pending());
}

TEST_F(DrawModesTest, EscapeDropsAPendingBand) {
  modes_.Command(kDrawMeasure);
  Click(10, 10);
  ASSERT_TRUE(modes_.band_pending());
  EXPECT_EQ(modes_.active_mode(), kDrawMeasure);
  modes_.Escape();
  EXPECT_FALSE(modes_.band_pending());
  EXPECT_EQ(modes_.mode(), kDrawMeasure);
  EXPECT_TRUE(window().cancelled());
}

}  // namespace
}  // namespace kavrinth
