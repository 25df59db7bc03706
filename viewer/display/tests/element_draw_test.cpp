// Element drawing: every element kind at several zooms, index flags, colours, damaged
// entries and elements larger than any fixed buffer, checked on the surface's bytes.
#include <cmath>

#include "support/numeric_guards.h"
#include "viewer/display/tests/display_test_support.h"

namespace kavrinth {
namespace {

constexpr DisplayColor kRed = 0x0000FF;
constexpr DisplayColor kGreen = 0x00FF00;
constexpr DisplayColor kOrange = 0x0080FF;

class ElementDrawTest : public DisplayTest {
 protected:
  int Draw(GdxHandle library, int layer = 0) {
    display_.surface.Clear();
    return display_.DrawElementBlock(&host_, library, layer);
  }
  RecordingHost host_;
};

TEST_F(ElementDrawTest, FlashesFillTheirBoxAtEveryZoom) {
  const GdxHandle library = Library([] { Rectangle(0, 10, 10, 20, 15); });
  Enter(0, library, kRed);
  ASSERT_EQ(Draw(library), kDrawDone);
  EXPECT_EQ(InColour(kRed), Box(10, 10, 20, 15));
  // Zoom in by two about the flash's corner: twice the pixels, same place in the world.
  ASSERT_TRUE(display_.window.ZoomIn({12, 67}));
  Draw(library);
  const PixelSet zoomed = InColour(kRed);
  const LogicalPoint a = display_.window.WorldToLogical(10, 15);
  const LogicalPoint b = display_.window.WorldToLogical(20, 10);
  PixelSet expected;
  for (int y = a.y; y <= b.y; ++y) {
    for (int x = a.x; x <= b.x; ++x) {
      if (display_.window.PointInView({x, y})) expected.insert({x, y});
    }
  }
  EXPECT_EQ(b.x - a.x, 20);
  EXPECT_EQ(zoomed, expected);
  // Zoomed far out the flash is one pixel.
  while (display_.window.ZoomOut({52, 42})) {
  }
  Draw(library);
  EXPECT_EQ(InColour(kRed).size(), 1u);
}

TEST_F(ElementDrawTest, OutlineModeDrawsTheBoundaryOnly) {
  display_.settings.fill_mode = 0;
  const GdxHandle library = Library([] { Rectangle(0, 10, 10, 20, 15); });
  Enter(0, library, kRed);
  Draw(library);
  PixelSet border = Box(10, 10, 20, 15);
  for (const auto& inside : Box(11, 11, 19, 14)) border.erase(inside);
  EXPECT_EQ(InColour(kRed), border);
}

TEST_F(ElementDrawTest, PathsThinAsLinesWideAsOutlines) {
  const GdxHandle library = Library([] {
    GdxSetLayer(0);
    GdxBeginPath();
    GdxSetWidth(2);
    const std::vector<GdxWord> thin = {10, 10, 30, 10, 30, 20};
    GdxAddPoints(1, thin.data(), 6);
    GdxEndElement();
    GdxBeginPath();
    GdxSetWidth(6);
    const std::vector<GdxWord> wide = {50, 40, 80, 40};
    GdxAddPoints(1, wide.data(), 4);
    GdxEndElement();
  });
  Enter(0, library, kGreen);
  Draw(library);
  PixelSet expected = Box(10, 10, 30, 10);
  const PixelSet up = Box(30, 10, 30, 20);
  expected.insert(up.begin(), up.end());
  // The wide path: 6 units across its 30-unit centre line, butt ends.
  const PixelSet wide = Box(50, 37, 80, 43);
  expected.insert(wide.begin(), wide.end());
  EXPECT_EQ(InColour(kGreen), expected);
}

// A point given twice or more is drawn as if given once: a repeated corner keeps its
// mitre and a repeated end its end, in fill and in outline mode; a wide path whose points
// all lie at one place is a pixel, as a path of one point.
TEST_F(ElementDrawTest, RepeatedPathPointsDrawAsIfGivenOnce) {
  const auto drawn = [&](std::vector<GdxWord> points) {
    const GdxHandle library = Library([&] {
      GdxSetLayer(0);
      GdxBeginPath();
      GdxSetWidth(8);
      GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size()));
      GdxEndElement();
    });
    Enter(0, library, kGreen);
    Draw(library);
    return InColour(kGreen);
  };
  const struct {
    const char* what;
    std::vector<GdxWord> repeated, once;
  } cases[] = {
      {"corner twice", {10, 10, 60, 10, 60, 10, 60, 50}, {10, 10, 60, 10, 60, 50}},
      {"corner three times", {10, 10, 60, 10, 60, 10, 60, 10, 60, 50}, {10, 10, 60, 10, 60, 50}},
      {"slanted corner twice", {10, 20, 50, 60, 50, 60, 90, 20}, {10, 20, 50, 60, 90, 20}},
      {"ends twice", {10, 10, 10, 10, 60, 10, 60, 50, 60, 50}, {10, 10, 60, 10, 60, 50}},
      {"one place", {40, 30, 40, 30, 40, 30}, {40, 30}},
  };
  for (int fill_mode : {1, 0}) {
    display_.settings.fill_mode = fill_mode;
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.what << ", fill mode " << fill_mode);
      const PixelSet once = drawn(c.once);
      ASSERT_FALSE(once.empty());
      EXPECT_EQ(drawn(c.repeated), once);
    }
  }
}

TEST_F(ElementDrawTest, RoundFlashesAndArcs) {
  const GdxHandle library = Library([] {
    GdxSetLayer(0);
    GdxBeginCircle();  // a filled disc of radius 10 around (70, 40)
    GdxSetWidth(0);
    GdxSetRadius(10);
    const std::vector<GdxWord> disc = {70, 40, 80, 40, 80, 40};
    GdxAddPoints(1, disc.data(), 6);
    GdxEndElement();
    GdxBeginArc();  // a quarter ring 4 wide of mean radius 20 around (20, 20), from 0 to 90
    GdxSetWidth(4);
    GdxSetRadius(20);
    const std::vector<GdxWord> arc = {20, 20, 40, 20, 20, 40};
    GdxAddPoints(1, arc.data(), 6);
    GdxEndElement();
  });
  Enter(0, library, kRed);
  Draw(library);
  const PixelSet red = InColour(kRed);
  auto painted = [&](int x, int y) { return red.count(Pixel(x, y)) > 0; };
  for (int y = 25; y <= 55; ++y) {
    for (int x = 55; x <= 85; ++x) {
      const double r = std::hypot(x - 70.0, y - 40.0);
      if (r <= 9.0) {
        EXPECT_TRUE(painted(x, y)) << x << "," << y;
      } else if (r >= 11.0) {
        EXPECT_FALSE(painted(x, y)) << x << "," << y;
      }
    }
  }
  // The ring: its middle is painted at 45 degrees, not its centre or outside its width.
  EXPECT_TRUE(painted(34, 34));
  EXPECT_FALSE(painted(20, 20));
  EXPECT_FALSE(painted(27, 27));
  EXPECT_FALSE(painted(40, 40));
  EXPECT_FALSE(painted(10, 30)) << "only the quarter from 0 to 90 degrees";
}

TEST_F(ElementDrawTest, EveryKindKeepsItsShapeAtEveryZoom) {
  // A disc of radius 8 at (30, 40), a ring quarter of mean radius 12 and width 4 about
  // (70, 20) from 0 to 90 degrees, and a path 6 wide from (10, 10) to (40, 10).
  const GdxHandle library = Library([] {
    GdxSetLayer(0);
    GdxBeginCircle();
    GdxSetWidth(0);
    GdxSetRadius(8);
    const std::vector<GdxWord> disc = {30, 40, 38, 40, 38, 40};
    GdxAddPoints(1, disc.data(), 6);
    GdxEndElement();
    GdxBeginArc();
    GdxSetWidth(4);
    GdxSetRadius(12);
    const std::vector<GdxWord> arc = {70, 20, 82, 20, 70, 32};
    GdxAddPoints(1, arc.data(), 6);
    GdxEndElement();
    GdxBeginPath();
    GdxSetWidth(6);
    const std::vector<GdxWord> path = {10, 10, 40, 10};
    GdxAddPoints(1, path.data(), 4);
    GdxEndElement();
  });
  Enter(0, library, kRed);
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(step);
    if (step > 0) {
      ASSERT_TRUE(display_.window.ZoomIn({52, 42}));
    }
    Draw(library);
    const double scale = display_.window.scale();
    int checked = 0;
    for (int y = 2; y <= 82; ++y) {
      for (int x = 2; x <= 102; ++x) {
        const double px = (x + display_.window.offset_x()) / scale;
        const double py = -(y + display_.window.offset_y()) / scale;
        // Distances in pixels from each shape's edge: inside negative.
        const double disc = (std::hypot(px - 30, py - 40) - 8) * scale;
        const double r = std::hypot(px - 70, py - 20);
        const bool quarter = px >= 70 && py >= 20;
        const double ring = quarter ? (std::fabs(r - 12) - 2) * scale : 1e9;
        const double bar = std::max(std::max(10 - px, px - 40), std::fabs(py - 10) - 3) * scale;
        const double edge = std::min(disc, std::min(ring, bar));
        const bool red = display_.palette.color(display_.surface.Pixel(x, y)) == kRed;
        if (edge <= -1.5) {
          EXPECT_TRUE(red) << x << "," << y << " world " << px << "," << py;
          ++checked;
        } else if (edge >= 1.5) {
          EXPECT_FALSE(red) << x << "," << y << " world " << px << "," << py;
          ++checked;
        }
      }
    }
    EXPECT_GT(checked, 2000);
  }
}

TEST(ArcToPointsTest, StepsTolerancesAndFullCircles) {
  std::vector<GdxWord> out;
  const GdxWord c[] = {0, 0};
  const double nine_degrees = 9.0 * kHalfTurn / 180.0;
  // Equal ends: a full circle in 9-degree steps, closed on its start.
  const GdxWord s[] = {1000, 0};
  EXPECT_EQ(ArcToPoints(&out, c, s, s, 1000, 0.0, nine_degrees), 41);
  EXPECT_EQ(out.front(), 1000);
  EXPECT_EQ(out[out.size() - 2], 1000);
  EXPECT_EQ(out.back(), 0);
  for (size_t i = 0; i < out.size(); i += 2) {
    EXPECT_NEAR(std::hypot(double(out[i]), double(out[i + 1])), 1000.0, 1.0);
  }
  // A quarter, counter-clockwise from 0 to 90 degrees, stays in the first quadrant.
  const GdxWord up[] = {0, 1000};
  EXPECT_EQ(ArcToPoints(&out, c, s, up, 1000, 0.0, nine_degrees), 11);
  for (size_t i = 0; i < out.size(); i += 2) EXPECT_TRUE(out[i] >= 0 && out[i + 1] >= 0);
  // A huge radius with a fine tolerance is held at 200 steps: 202 points at most.
  const GdxWord far[] = {2000000000, 0};
  EXPECT_EQ(ArcToPoints(&out, c, far, far, 2000000000, 0.001, nine_degrees), 201);
  // A coarse tolerance on a small circle keeps the 9-degree limit.
  const GdxWord small[] = {10, 0};
  EXPECT_EQ(ArcToPoints(&out, c, small, small, 10, 5.0, nine_degrees), 41);
}

TEST_F(ElementDrawTest, IndexFlagsDeleteAndHighlight) {
  display_.settings.highlight_color = 0xFFFFFF;
  const GdxHandle library = Library([] {
    Rectangle(0, 2, 2, 8, 8);
    Rectangle(0, 12, 2, 18, 8);
    Rectangle(0, 22, 2, 28, 8);
    Rectangle(0, 32, 2, 38, 8);
  });
  Enter(0, library, kRed);
  GdxLibrary* lib = GdxLibraryFromHandle(library);
  const int32_t flags[] = {0, kElementDeleted, kElementSelected, kElementSecondHighlight};
  int i = 0;
  for (GdxEntryCursor cursor(lib); cursor.Valid(); cursor.Next()) {
    if (cursor.Type() == kGdxBoundary) cursor.MutableEntry()[kGdxEntrySelection] = flags[i++];
  }
  ASSERT_EQ(i, 4);
  display_.surface.Clear(0x55);
  display_.DrawElementBlock(&host_, library, 0);
  EXPECT_EQ(InColour(kRed), Box(2, 2, 8, 8));
  EXPECT_EQ(display_.surface.Pixel(Pixel(15, 5).first, Pixel(15, 5).second), 0x55) << "deleted";
  EXPECT_EQ(InColour(0xFFFFFF), Box(22, 2, 28, 8)) << "selected: the highlight colour";
  EXPECT_EQ(WithIndex(kSlotBackground), Box(32, 2, 38, 8)) << "second style: the background";
  // With the highlight equal to the background, selected elements are drawn black.
  display_.palette.DefineDisplayColor(kSlotBackground, 0xFFFFFF);
  display_.surface.Clear(0x55);
  display_.DrawElementBlock(&host_, library, 0);
  EXPECT_EQ(WithIndex(kSlotBlack), Box(22, 2, 28, 8));
}

TEST_F(ElementDrawTest, ChangingOneLayersColourLeavesTheOthersPixelsAlone) {
  const GdxHandle first = Library([] { Rectangle(0, 5, 5, 15, 15); });
  const GdxHandle second = Library([] { Rectangle(1, 30, 5, 40, 15); });
  Enter(0, first, kOrange);
  Enter(1, second, 0x336699);
  display_.surface.Clear();
  display_.DrawElementBlock(&host_, first, 0);
  display_.DrawElementBlock(&host_, second, 1);
  const auto before = display_.palette.ArgbTable();
  const uint8_t first_index = display_.surface.Pixel(Pixel(10, 10).first, Pixel(10, 10).second);
  const uint8_t second_index = display_.surface.Pixel(Pixel(35, 10).first, Pixel(35, 10).second);
  EXPECT_NE(first_index, second_index);
  // The second layer gets another custom colour and is drawn again alone.
  LayerTable()[1].colour = 0x99CC00;
  display_.DrawElementBlock(&host_, second, 1);
  const auto after = display_.palette.ArgbTable();
  EXPECT_EQ(after[first_index], before[first_index]);
  EXPECT_EQ(InColour(kOrange), Box(5, 5, 15, 15));
  EXPECT_EQ(InColour(0x99CC00), Box(30, 5, 40, 15));
}

TEST_F(ElementDrawTest, DamagedEntriesAndRecordsDrawNothingAndDoNotStopTheWalk) {
  const GdxHandle library = Library([] {
    Rectangle(0, 2, 2, 8, 8);
    Rectangle(0, 12, 2, 18, 8);
    Rectangle(0, 22, 2, 28, 8);
  });
  Enter(0, library, kRed);
  GdxLibrary* lib = GdxLibraryFromHandle(library);
  int i = 0;
  for (GdxEntryCursor cursor(lib); cursor.Valid(); cursor.Next()) {
    if (cursor.Type() != kGdxBoundary) continue;
    if (i == 0) cursor.MutableEntry()[kGdxEntryBlock] = 0;  // no data block
    if (i == 1) {
      // A layer number beyond the table.
      GdxWord* data =
          GdxBlockWords(cursor.Entry()[kGdxEntryBlock]) + cursor.Entry()[kGdxEntryOffset];
      data[1] = (data[1] & ~0xFFFF) | 0xFFFF;
    }
    ++i;
  }
  EXPECT_EQ(Draw(library), kDrawDone);
  EXPECT_EQ(InColour(kRed), Box(22, 2, 28, 8));
  EXPECT_EQ(display_.elements_drawn(), 3);
}

TEST_F(ElementDrawTest, ElementsLargerThanAnyFixedBufferAreDrawnWhole) {
  // A 6000-point polygon: a square traced along its edges one unit at a time.
  std::vector<GdxWord> points;
  for (int x = 10; x < 60; ++x) points.insert(points.end(), {x, 10});
  for (int y = 10; y < 60; ++y) points.insert(points.end(), {60, y});
  for (int x = 60; x > 10; --x) points.insert(points.end(), {x, 60});
  for (int y = 60; y >= 10; --y) points.insert(points.end(), {10, y});
  while (points.size() < 12000) points.insert(points.end(), {10, 10});
  const GdxHandle library = Library([&] { Boundary(0, points); });
  Enter(0, library, kGreen);
  Draw(library);
  EXPECT_EQ(InColour(kGreen), Box(10, 10, 60, 60));
}

TEST_F(ElementDrawTest, DeepZoomInsideAHugeSlantedFlash) {
  // Triangles whose corners lie far beyond the logical range at the deepest zoom of a wide
  // window; the view sits on the slanted edge y = x near the origin.
  ASSERT_TRUE(display_.ResizeOffscreenSurface(2004, 1604));
  for (const int32_t far : {400000, 2000000000}) {
    SCOPED_TRACE(far);
    const GdxHandle library = Library([&] {
      Boundary(0, {-far, -far, far, -far, far, far, -far, -far});
    });
    Enter(0, library, kRed);
    display_.window.ZoomToRect({-far, -far, far, far}, 1000);
    ASSERT_TRUE(display_.window.ZoomToWorldBox(-50, -40, 50, 40));
    while (display_.window.ZoomIn({1002, 802})) {
    }
    if (far == 400000) {
      EXPECT_GT(far * display_.window.scale(), kLogicalLimit) << "the points leave the range";
    }
    Draw(library);
    auto red = [&](int x, int y) {
      return display_.palette.color(display_.surface.Pixel(x, y)) == kRed;
    };
    int32_t wx = 0, wy = 0;
    int checked = 0;
    int64_t painted = 0;
    for (int y = 0; y < 1604; ++y) {
      for (int x = 0; x < 2004; ++x) painted += red(x, y);
    }
    for (int y = 4; y < 1600; y += 71) {
      for (int x = 4; x < 2000; x += 93) {
        display_.window.LogicalToWorld({x, y}, &wx, &wy);
        if (std::abs(wx - wy) * display_.window.scale() < 2) continue;  // on the edge
        EXPECT_EQ(red(x, y), wx > wy) << x << "," << y << " world " << wx << "," << wy;
        ++checked;
      }
    }
    EXPECT_GT(checked, 80);
    EXPECT_GT(painted, 100000);
    LayerTable()[0] = ViewLayerEntry{};
  }
}

TEST_F(ElementDrawTest, ShapesHoldingTheWholeViewFillIt) {
  // Zoomed into the middle of a flash and of a wide path: no edge of either reaches the view.
  for (const bool path : {false, true}) {
    const GdxHandle library = Library([path] {
      if (!path) {
        Rectangle(0, 0, 0, 100, 80);
        return;
      }
      GdxSetLayer(0);
      GdxBeginPath();
      GdxSetWidth(80);
      const std::vector<GdxWord> centre = {0, 40, 100, 40};
      GdxAddPoints(1, centre.data(), 4);
      GdxEndElement();
    });
    Enter(0, library, kGreen);
    display_.window.ZoomToRect({0, 0, 100, 80}, 1000);
    ASSERT_TRUE(display_.window.ZoomToWorldBox(45, 35, 55, 45));
    Draw(library);
    PixelSet view;
    for (int y = 2; y <= 82; ++y) {
      for (int x = 2; x <= 102; ++x) view.insert({x, y});
    }
    EXPECT_EQ(InColour(kGreen), view) << (path ? "path" : "flash");
  }
}

TEST_F(ElementDrawTest, ProgressEveryStepAndInputEveryTwoHundredElements) {
  const GdxHandle library = Library([] {
    for (int i = 0; i < 400; ++i) Rectangle(0, i % 90, 1, i % 90 + 1, 2);
  });
  Enter(0, library, kRed);
  LayerTable()[0].first_count = 400;
  Draw(library);
  EXPECT_EQ(host_.inputs, 2) << "before elements 1 and 201";
  EXPECT_EQ(host_.shown, 1) << "the surface is shown at the layer's first element";
  // One status text at the first element, then one per step of 4 elements.
  ASSERT_EQ(host_.status.size(), 101u);
  EXPECT_EQ(host_.status.front(), "Entities Drawn 0%");
  EXPECT_EQ(host_.status[50], "Entities Drawn 50%");
  EXPECT_EQ(host_.status.back(), "Entities Drawn 100%");
  // A layer whose count says 0 never divides by it.
  LayerTable()[0].first_count = 0;
  host_.status.clear();
  Draw(library);
  EXPECT_EQ(host_.status.front(), "Entities Drawn 100%");
}

TEST_F(ElementDrawTest, NothingDrawsWithoutASurfaceOrLibrary) {
  const GdxHandle library = Library([] { Rectangle(0, 10, 10, 20, 15); });
  Enter(0, library, kRed);
  EXPECT_EQ(display_.DrawElementBlock(&host_, 9999, 0), kDrawNothing);
  display_.surface.Release();
  EXPECT_EQ(display_.DrawElementBlock(&host_, library, 0), kDrawNothing);
  EXPECT_EQ(display_.elements_drawn(), 0);
}

}  // namespace
}  // namespace kavrinth
