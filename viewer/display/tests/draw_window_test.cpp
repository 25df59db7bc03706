// The drawing window's coordinate mapping, zoom history, scrolling, clipping, snapping and
// coordinate text.
#include "viewer/display/draw_window.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace kavrinth {
namespace {

// A window of 804 x 604 client pixels: a view of 800 x 600 inside the 2-pixel inset.
DrawWndState Window(GdxRect world, int32_t divisor = 1000) {
  DrawWndState w;
  w.UpdateViewGeometry(804, 604);
  w.ZoomToRect(world, divisor);
  return w;
}

TEST(DrawWindowTest, BaseScaleAndFitToTheExtent) {
  struct Case {
    GdxRect world;
    double base;
  };
  for (const Case& c : {Case{{0, 0, 2000000, 1000000}, 0.4}, Case{{0, 0, 500, 100}, 1.0},
                        Case{{-100, -50, 400, 50}, 1.0}}) {
    const DrawWndState w = Window(c.world);
    EXPECT_DOUBLE_EQ(w.base(), c.base);
    // The extent's corners land inside the view: left edge on the view's left, the whole
    // width within it, y upward.
    const LogicalPoint top_left = w.WorldToLogical(c.world.min_x, c.world.max_y);
    const LogicalPoint bottom_right = w.WorldToLogical(c.world.max_x, c.world.min_y);
    EXPECT_EQ(top_left.x, w.inset());
    EXPECT_EQ(top_left.y, w.inset());
    EXPECT_LE(bottom_right.x, w.view().right);
    EXPECT_LE(bottom_right.y, w.view().bottom);
    EXPECT_GT(bottom_right.y, top_left.y) << "world y points up, logical y down";
  }
}

TEST(DrawWindowTest, WorldToLogicalDropsRepeatedPointsOnlyWhenAsked) {
  const DrawWndState w = Window({0, 0, 2000000, 2000000});
  const std::array<GdxWord, 6> points = {1000, 1000, 1001, 1000, 1000, 1001};
  std::array<LogicalPoint, 3> out;
  EXPECT_EQ(w.WorldToLogical(points.data(), out.data(), 3), 1);
  EXPECT_EQ(w.WorldToLogical(points.data(), out.data(), -3), 3);
  int32_t x = 0, y = 0;
  w.LogicalToWorld(w.WorldToLogical(100000, -50000), &x, &y);
  EXPECT_NEAR(x, 100000, 2 / w.scale());
  EXPECT_NEAR(y, -50000, 2 / w.scale());
}

TEST(DrawWindowTest, ZoomHistoryRingOfTen) {
  DrawWndState w = Window({0, 0, 10000, 10000});
  const ZoomView first = w.history(0);
  EXPECT_FALSE(w.ZoomLast()) << "no history right after the fit";
  ASSERT_TRUE(w.ZoomIn({400, 300}));
  EXPECT_EQ(w.history_index(), 1);
  EXPECT_TRUE(w.ZoomLast());
  EXPECT_EQ(w.history_index(), 0);
  EXPECT_EQ(w.current_view(), first);
  EXPECT_TRUE(w.ZoomLast());
  EXPECT_EQ(w.history_index(), 0) << "stays on entry 0";
  // Ten steps: the tenth overwrites entry 0, the count stops at 10.
  DrawWndState ring = Window({0, 0, 1000000, 1000000});
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(ring.Pan({400, 300}, {390 + i, 300})) << i;
  EXPECT_EQ(ring.history_index(), 0);
  EXPECT_EQ(ring.history_count(), 10);
  EXPECT_NE(ring.current_view(), first);
}

TEST(DrawWindowTest, ZoomInCentresTheClickAndZoomOutStopsAtItsLimit) {
  DrawWndState w = Window({0, 0, 10000, 10000});
  const double zoom = w.zoom();
  ASSERT_TRUE(w.ZoomIn({200, 150}));
  EXPECT_DOUBLE_EQ(w.zoom(), 2 * zoom);
  // The clicked point is now near the middle of the view.
  int32_t x = 0, y = 0;
  w.LogicalToWorld({w.inset() + w.view_width() / 2, w.inset() + w.view_height() / 2}, &x, &y);
  DrawWndState before = Window({0, 0, 10000, 10000});
  int32_t cx = 0, cy = 0;
  before.LogicalToWorld({200, 150}, &cx, &cy);
  EXPECT_NEAR(x, cx, 30);
  EXPECT_NEAR(y, cy, 30);
  // Zoom out until twice the view would reach 3,250,000 base units.
  DrawWndState out = Window({0, 0, 800000, 800000});
  int steps = 0;
  while (out.ZoomOut({400, 300}) && steps < 100) ++steps;
  EXPECT_LT(steps, 100);
  EXPECT_GE(2 * int64_t{out.current_view().w}, 3250000 / 2);
  EXPECT_LT(out.current_view().w, 3250000);
}

TEST(DrawWindowTest, ZoomWindowShowsTheDrawnBox) {
  DrawWndState w = Window({0, 0, 10000, 10000});
  EXPECT_FALSE(w.ZoomWindow(100, 100, 5, 300)) << "narrower than 1% of the client";
  EXPECT_EQ(w.history_count(), 0);
  // A box drawn from its bottom-right corner up to its top-left.
  const LogicalPoint a{300, 400}, b{200, 250};
  int32_t ax = 0, ay = 0, bx = 0, by = 0;
  w.LogicalToWorld(a, &ax, &ay);
  w.LogicalToWorld(b, &bx, &by);
  ASSERT_TRUE(w.ZoomWindow(a.x, a.y, b.x - a.x, b.y - a.y));
  EXPECT_EQ(w.history_count(), 1);
  // The box is all in view, filling its height (the taller side).
  const LogicalPoint top_left = w.WorldToLogical(bx, by);
  const LogicalPoint bottom_right = w.WorldToLogical(ax, ay);
  EXPECT_NEAR(top_left.x, w.inset(), 3);
  EXPECT_NEAR(top_left.y, w.inset(), 3);
  EXPECT_NEAR(bottom_right.y, w.view().bottom, 6);
  EXPECT_LE(bottom_right.x, w.view().right);
}

TEST(DrawWindowTest, BeforeAnyJobEveryZoomStepIsANoOp) {
  DrawWndState w;
  w.UpdateViewGeometry(804, 604);
  EXPECT_FALSE(w.has_view());
  EXPECT_FALSE(w.ZoomIn({10, 10}));
  EXPECT_FALSE(w.ZoomOut({10, 10}));
  EXPECT_FALSE(w.ZoomAll());
  EXPECT_FALSE(w.ZoomLast());
  EXPECT_FALSE(w.ZoomWindow(10, 10, 100, 100));
  EXPECT_FALSE(w.Pan({0, 0}, {5, 5}));
  EXPECT_FALSE(w.Scroll(false, kScrollPageDown, 0));
  EXPECT_FALSE(w.ZoomToWorldBox(0, 0, 10, 10));
  w.ZoomCommand(kZoomRefit);
  w.PushZoomHistory(kCommandZoomIn);
  EXPECT_EQ(w.history_count(), 0);
  EXPECT_EQ(w.history_index(), -1);
  // So is every step while the window has no size.
  DrawWndState empty;
  empty.ZoomToRect({0, 0, 100, 100}, 1000);
  EXPECT_FALSE(empty.ZoomIn({1, 1}));
}

TEST(DrawWindowTest, DegenerateExtentsFitWithoutDividingByZero) {
  struct Case {
    const char* name;
    GdxRect world;
  };
  const Case cases[] = {
      {"a point", {500, 500, 500, 500}},
      {"a horizontal line", {0, 7, 1000, 7}},
      {"a vertical line", {3, 0, 3, 1000}},
      {"corners the wrong way round", {1000, 1000, 0, 0}},
      {"the corner of the range", {2147483647, 2147483647, 2147483647, 2147483647}},
      {"the whole range", {-2147483647, -2147483647, 2147483647, 2147483647}},
  };
  for (const Case& c : cases) {
    DrawWndState w = Window(c.world);
    EXPECT_TRUE(std::isfinite(w.zoom()) && w.zoom() > 0 && w.zoom() <= kMaxZoom) << c.name;
    EXPECT_TRUE(std::isfinite(w.scale()) && w.scale() > 0) << c.name;
    EXPECT_GE(w.current_view().w, 1) << c.name;
    EXPECT_GE(w.current_view().h, 1) << c.name;
    EXPECT_LE(w.world_window().min_x, w.world_window().max_x) << c.name;
    // Zooming in as far as it goes keeps every conversion in range.
    for (int i = 0; i < 80 && w.ZoomIn({400, 300}); ++i) {
    }
    EXPECT_LE(w.zoom(), kMaxZoom) << c.name;
    for (const auto& [x, y] : {std::pair{-2147483647, -2147483647}, {2147483647, 2147483647}}) {
      const LogicalPoint p = w.WorldToLogical(x, y);
      EXPECT_LE(std::abs(int64_t{p.x}), kLogicalLimit) << c.name;
      EXPECT_LE(std::abs(int64_t{p.y}), kLogicalLimit) << c.name;
    }
    EXPECT_TRUE(w.ZoomAll()) << c.name;
    // A box of two equal corners is a view of the smallest size, not a lost corner.
    EXPECT_TRUE(w.ZoomToWorldBox(c.world.min_x, c.world.min_y, c.world.min_x, c.world.min_y))
        << c.name;
    EXPECT_GE(w.current_view().w, 1) << c.name;
    EXPECT_TRUE(std::isfinite(w.zoom()) && w.zoom() > 0 && w.zoom() <= kMaxZoom) << c.name;
    w.UpdateViewGeometry(51, 3);  // a window too small for a view
    w.UpdateViewGeometry(804, 604);
    EXPECT_TRUE(std::isfinite(w.zoom()) && w.zoom() > 0) << c.name;
  }
}

TEST(DrawWindowTest, ScrollingWideRangesUsesTheWholePosition) {
  DrawWndState w = Window({-1000000000, 0, 1000000000, 1000});
  w.SetFrameGeometry(804 + 8, 604 + 8);
  EXPECT_GT(int64_t{w.ScrollMaximum(false)} - w.ScrollMinimum(false), 65535);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(w.ZoomIn({400, 300}));
  const int32_t start = w.ScrollPosition(false);
  ASSERT_TRUE(w.Scroll(false, kScrollPageDown, 0));
  EXPECT_EQ(w.ScrollPosition(false), start + w.current_view().w);
  ASSERT_TRUE(w.Scroll(false, kScrollThumbPosition, 300000));
  EXPECT_EQ(w.ScrollPosition(false), 300000);
  // The thumb beyond the range stops at its end.
  ASSERT_TRUE(w.Scroll(false, kScrollThumbPosition, 2000000000));
  EXPECT_EQ(w.ScrollPosition(false), w.ScrollMaximum(false));
  // A cursor along the track: the middle of the track is the middle of the range.
  const int64_t middle = w.ScrollPositionFromCursor(false, 8 + (804 + 8 - 16) / 2);
  EXPECT_NEAR(double(middle), (double(w.ScrollMinimum(false)) + w.ScrollMaximum(false)) / 2,
              double(w.ScrollMaximum(false)) / 500);
  // A track too short to move keeps the position.
  w.SetFrameGeometry(10, 610);
  EXPECT_EQ(w.ScrollPositionFromCursor(false, 5), w.ScrollPosition(false));
}

TEST(DrawWindowTest, ClippingIsTheSameFromEitherEnd) {
  const ViewRect view{2, 2, 801, 601};
  const std::array<std::array<int32_t, 4>, 5> segments = {{{-50, 17, 900, 430},
                                                           {400, -3000, 413, 9000},
                                                           {-1000000000, -999, 1000000000, 1003},
                                                           {0, 0, 3, 1},
                                                           {10, 10, 20, 20}}};
  for (const auto& s : segments) {
    LogicalPoint a{s[0], s[1]}, b{s[2], s[3]};
    LogicalPoint c{s[2], s[3]}, d{s[0], s[1]};
    const bool forward = ClipSegmentToRect(view, &a, &b);
    const bool backward = ClipSegmentToRect(view, &c, &d);
    ASSERT_EQ(forward, backward);
    if (!forward) continue;
    EXPECT_EQ(a, d);
    EXPECT_EQ(b, c);
    EXPECT_TRUE(view.Contains(a.x, a.y) && view.Contains(b.x, b.y));
  }
  LogicalPoint a{0, 0}, b{1, 1};
  EXPECT_FALSE(ClipSegmentToRect(view, &a, &b));
  // Rows only: x is left as it falls.
  LogicalPoint p{-500, -10}, q{-500, 700};
  ASSERT_TRUE(ClipSegmentToRows(view, &p, &q));
  EXPECT_EQ(p, (LogicalPoint{-500, 2}));
  EXPECT_EQ(q, (LogicalPoint{-500, 601}));
}

TEST(DrawWindowTest, FormatCoordPrintsDisplayedUnits) {
  struct Case {
    int32_t divisor;
    int32_t value;
    const char* text;
  };
  const Case cases[] = {
      {1000, -12345, "-12.345"},
      {1000, 5, "0.005"},
      {1000, -1, "-0.001"},
      {1, 12345, "12345."},
      {0, 77, ""},
      {3, 5, "1.7"},
      {100, 2147483647, "21474836.47"},
      {1000, -2147483647 - 1, "-2147483.648"},
  };
  for (const Case& c : cases) {
    DrawWndState w;
    w.UpdateViewGeometry(804, 604);
    w.ZoomToRect({0, 0, 10, 10}, c.divisor);
    EXPECT_EQ(w.FormatCoord(c.value), c.text) << c.divisor << " " << c.value;
  }
}

TEST(DrawWindowTest, GridSnapKeepsWorldValuesAndIgnoresUnusableSpacings) {
  struct Case {
    const char* text;
    int32_t spacing;
  };
  for (const Case& c : {Case{"1.0", 1000}, Case{" 2.5 ", 2500}, Case{"0", 0}, Case{"abc", 0},
                        Case{"0.0001", 0}, Case{"-3", 0}, Case{"", 0}, Case{"1e12", 2147483647}}) {
    EXPECT_EQ(GridSpacingFromText(c.text, 1000), c.spacing) << c.text;
  }
  EXPECT_EQ(SnapToGrid(1499, 1000), 1000);
  EXPECT_EQ(SnapToGrid(1500, 1000), 2000);
  EXPECT_EQ(SnapToGrid(-1500, 1000), -2000);
  EXPECT_EQ(SnapToGrid(2147483647, 1000), 2147483647) << "saturated, no overflow";
  // Snapping in a large layout keeps the world value the grid gives, beyond 16 bits.
  DrawWndState w = Window({0, 0, 2000000, 2000000});
  w.SetGridSnap(true, GridSpacingFromText("abc", 1000));
  const LogicalPoint p{300, 200};
  EXPECT_EQ(w.SnapPoint(p), p) << "no usable spacing: snap is off";
  w.SetGridSnap(true, 100000);
  const LogicalPoint snapped = w.SnapPoint({300, 200});
  EXPECT_EQ(w.snapped_world_x() % 100000, 0);
  EXPECT_EQ(w.snapped_world_y() % 100000, 0);
  EXPECT_GT(w.snapped_world_x(), 65535);
  EXPECT_EQ(snapped, w.WorldToLogical(w.snapped_world_x(), w.snapped_world_y()));
}

}  // namespace
}  // namespace kavrinth
