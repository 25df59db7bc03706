// The full redraw: layers in order with progress and Cancel, hidden and negative layers,
// the error markers, the overlays and the job extents.
#include <chrono>

#include "support/notifier.h"
#include "viewer/display/tests/display_test_support.h"
#include "viewer/model/tests/wf2_test_support.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

constexpr DisplayColor kRed = 0x0000FF;
constexpr DisplayColor kGreen = 0x00FF00;
constexpr DisplayColor kBlue = 0xFF0000;

class LayerRedrawTest : public DisplayTest {
 protected:
  RecordingHost host_;
};

TEST_F(LayerRedrawTest, LayersAreDrawnInTableOrderInTheirColours) {
  Enter(0, Library([] { Rectangle(0, 10, 10, 40, 40); }), kRed);
  Enter(1, Library([] { Rectangle(1, 30, 30, 60, 60); }), kGreen);
  Enter(2, Library([] { Rectangle(2, 70, 10, 90, 20); }), kBlue);
  LayerTable()[2].shown = 0;
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  PixelSet red = Box(10, 10, 40, 40);
  for (const auto& p : Box(30, 30, 60, 60)) red.erase(p);
  EXPECT_EQ(InColour(kRed), red);
  EXPECT_EQ(InColour(kGreen), Box(30, 30, 60, 60)) << "the later layer on top";
  EXPECT_TRUE(InColour(kBlue).empty()) << "a hidden layer is not drawn";
  // The hidden layer costs a status update; a drawn layer without a count shows 100% at its
  // first element and again at its end.
  EXPECT_EQ(std::count(host_.status.begin(), host_.status.end(), "Entities Drawn 100%"), 5);
  EXPECT_GE(host_.shown, 3);
}

TEST_F(LayerRedrawTest, CancelStopsAfterTheCurrentElementAndTheRedrawIsNotComplete) {
  for (int layer = 0; layer < 3; ++layer) {
    Enter(layer, Library([layer] {
            for (int i = 0; i < 500; ++i)
              Rectangle(layer, i % 100, 10 + 20 * layer, i % 100, 12 + 20 * layer);
          }),
          kRed + layer);
    LayerTable()[layer].first_count = 500;
  }
  // Cancel arrives with the second layer's second delivery of input (its element 200).
  int layer_inputs = 0;
  host_.on_input = [&](int) {
    if (display_.elements_drawn() == 200 && ++layer_inputs == 2) display_.window.RequestCancel();
  };
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawCancelled);
  EXPECT_EQ(display_.elements_drawn(), 201) << "the element after the check is still drawn";
  EXPECT_FALSE(InColour(kRed).empty());
  EXPECT_FALSE(InColour(kRed + 1).empty());
  EXPECT_TRUE(InColour(kRed + 2).empty()) << "the third layer is not drawn";
  EXPECT_TRUE(display_.window.cancelled());
  // The next redraw starts afresh and completes.
  host_.on_input = nullptr;
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_FALSE(InColour(kRed + 2).empty());
}

TEST_F(LayerRedrawTest, NegativeLayerPaintsItsFieldAndLeavesItsFeaturesClear) {
  Enter(0, Library([] { Rectangle(0, 10, 10, 20, 20); }), kGreen, kFillNegative);
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  PixelSet field = Box(0, 0, 100, 80);
  for (const auto& p : Box(10, 10, 20, 20)) field.erase(p);
  EXPECT_EQ(InColour(kGreen), field) << "the view in the layer's colour";
  PixelSet clear = WithIndex(kSlotBackground);
  for (const auto& p : Box(10, 10, 20, 20)) EXPECT_TRUE(clear.count(p));
  // A Scratch layer draws its features in the background colour on what lies below.
  Enter(0, Library([] { Rectangle(0, 10, 10, 60, 60); }), kRed);
  Enter(1, Library([] { Rectangle(1, 20, 20, 30, 30); }), kBlue, kFillScratch);
  display_.DrawAllLayers(&host_);
  for (const auto& p : Box(20, 20, 30, 30))
    EXPECT_EQ(display_.surface.Pixel(p.first, p.second), kSlotBackground);
  EXPECT_TRUE(InColour(kBlue).empty());
}

TEST_F(LayerRedrawTest, ErrorMarkersFollowEachShownLayer) {
  display_.settings.error_file_given = true;
  Enter(0, Library([] { Rectangle(0, 0, 0, 1, 1); }), kRed);
  LayerTable()[0].x_offset = 1;  // a hundredth of a user unit: ten database units right
  LayerTable()[kMarkerEntry].library = Library([] {
    GdxSetLayer(0);
    GdxBeginMarkerList();
    const std::vector<GdxWord> points = {40, 40};
    GdxAddPoints(1, points.data(), 2);
    GdxEndElement();
  });
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  // Black background: the marker is white, a cross and a square 6 pixels around (50, 40).
  const PixelSet white = InColour(0xFFFFFF);
  const auto [cx, cy] = Pixel(50, 40);
  EXPECT_TRUE(white.count({cx + 6, cy + 6}) && white.count({cx - 6, cy + 6}));
  EXPECT_TRUE(white.count({cx, cy}) && white.count({cx + 6, cy}));
  EXPECT_FALSE(white.count({cx + 3, cy}));
  EXPECT_FALSE(white.count({cx + 7, cy + 7}));
}

TEST_F(LayerRedrawTest, GridWarnsOnceWhenTooFineAndDrawsPointsOtherwise) {
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  Enter(0, Library([] { Rectangle(0, 0, 0, 1, 1); }), kRed);
  display_.settings.grid_on = true;
  display_.settings.grid_spacing = 7;  // 7 pixels
  display_.DrawAllLayers(&host_);
  display_.DrawAllLayers(&host_);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, "Grid spacing too small.  No grid drawn.");
  EXPECT_EQ(notifier.shown[0].caption, "WARNING");
  EXPECT_TRUE(InColour(0xFFFFFF).empty());
  display_.settings.grid_spacing = 10;
  display_.DrawAllLayers(&host_);
  const PixelSet grid = InColour(0xFFFFFF);
  PixelSet expected;
  for (int y = 0; y <= 80; y += 10) {
    for (int x = 0; x <= 100; x += 10) expected.insert(Pixel(x, y));
  }
  EXPECT_EQ(grid, expected);
}

TEST_F(LayerRedrawTest, HitEntriesRedrawnKeepTheOverlaysOverThemAndSkipHiddenLayers) {
  // A grey background: the grid is black, the highlight white.
  display_.palette.DefineDisplayColor(kSlotBackground, 0xC0C0C0);
  display_.settings.highlight_color = 0xFFFFFF;
  const GdxHandle library = Library([] { Rectangle(0, 10, 10, 40, 40); });
  Enter(0, library, kRed);
  Enter(1, Library([] { Rectangle(1, 60, 10, 90, 40); }), kGreen);
  display_.settings.grid_on = true;
  display_.settings.grid_spacing = 10;
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  const auto [gx, gy] = Pixel(20, 20);
  ASSERT_EQ(display_.palette.color(display_.surface.Pixel(gx, gy)), 0x000000u);
  // The rectangle is picked: drawn again highlighted, with the grid points over it.
  GdxEntryCursor cursor(GdxLibraryFromHandle(library));
  while (cursor.Valid() && cursor.Type() != kGdxBoundary) cursor.Next();
  ASSERT_TRUE(cursor.Valid());
  cursor.MutableEntry()[kGdxEntrySelection] = kElementSelected;
  std::map<int, ViewerDisplay::HitEntryList> hits;
  hits[0] = {{cursor.page(), cursor.position()}};
  ASSERT_EQ(display_.RedrawRegion(hits), kDrawDone);
  EXPECT_EQ(display_.palette.color(display_.surface.Pixel(gx, gy)), 0x000000u)
      << "the grid point over the picked element";
  const auto [hx, hy] = Pixel(25, 25);
  EXPECT_EQ(display_.palette.color(display_.surface.Pixel(hx, hy)), 0xFFFFFFu);
  // The entries of a hidden layer draw nothing and need no full drawing.
  LayerTable()[0].shown = 0;
  cursor.MutableEntry()[kGdxEntrySelection] = 0;
  EXPECT_EQ(display_.RedrawRegion(hits), kDrawDone);
  EXPECT_EQ(display_.palette.color(display_.surface.Pixel(hx, hy)), 0xFFFFFFu);
}

TEST_F(LayerRedrawTest, PendingEditsAreDrawnAfterTheMarkersAndUnderTheOverlays) {
  display_.palette.DefineDisplayColor(kSlotBackground, 0xC0C0C0);
  Enter(0, Library([] { Rectangle(0, 60, 60, 70, 70); }), kRed);
  const GdxHandle added = Library([] { Rectangle(0, 10, 10, 40, 40); });
  display_.settings.grid_on = true;
  display_.settings.grid_spacing = 10;
  int edits_drawn = 0;
  display_.draw_pending_edits = [&](ViewerDisplay& display, DrawHost* host) {
    ++edits_drawn;
    EXPECT_EQ(host, &host_);
    display.DrawElementBlock(host, added, 0);
  };
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_EQ(edits_drawn, 1);
  const auto pixel = [&](int x, int y) {
    const auto [px, py] = Pixel(x, y);
    return display_.palette.color(display_.surface.Pixel(px, py));
  };
  EXPECT_EQ(pixel(25, 25), kRed) << "the added rectangle";
  EXPECT_EQ(pixel(20, 20), 0x000000u) << "the grid point over it";
  display_.draw_pending_edits = nullptr;
  GdxFreeLibrary(added);
}

TEST_F(LayerRedrawTest, FrameGridAndGlassOverlays) {
  Enter(0, Library([] { Rectangle(0, 0, 0, 1, 1); }), kRed);
  display_.settings.frame_pitch_x = 20;
  display_.settings.frame_pitch_y = 20;
  display_.settings.frame_columns = 3;
  display_.settings.frame_rows = 2;
  auto grid_lines = [](const std::vector<int>& xs, const std::vector<int>& ys) {
    PixelSet set;
    for (int x : xs) {
      for (const auto& p : Box(x, 0, x, 40)) set.insert(p);
    }
    for (int y : ys) {
      for (const auto& p : Box(0, y, 60, y)) set.insert(p);
    }
    return set;
  };
  display_.settings.frames_display = 2;
  display_.DrawAllLayers(&host_);
  EXPECT_EQ(InColour(0xFFFFFF), grid_lines({0, 20, 40, 60}, {0, 20, 40}))
      << "every frame, white on the black background";
  display_.settings.frames_display = 1;
  display_.DrawAllLayers(&host_);
  EXPECT_EQ(InColour(0xFFFFFF), grid_lines({0, 60}, {0, 40})) << "the outline only";
  display_.settings.frames_display = 0;
  // The glass of a plate: 0.0002 inch at 1000 units per micron is 51 units square, drawn 4
  // pixels wide, with its margin dashed inside and a cross through its middle.
  display_.settings.glass_on = true;
  display_.settings.glass_width = display_.settings.glass_height = 0.0002;
  display_.settings.glass_margin = 0.00004;
  display_.settings.glass_cross_hair = true;
  display_.DrawAllLayers(&host_);
  EXPECT_TRUE(InColour(0xFFFFFF).empty()) << "no plate: no glass";
  display_.settings.plate_kind_flags = 1;
  display_.DrawAllLayers(&host_);
  const PixelSet glass = InColour(0xFFFFFF);
  for (const auto& [x, y] : {std::pair{0, 0}, {51, 0}, {51, 51}, {25, 51}, {0, 30}}) {
    EXPECT_TRUE(glass.count(Pixel(x, y))) << "outer edge " << x << "," << y;
  }
  EXPECT_TRUE(glass.count(Pixel(25, 25)) && glass.count(Pixel(26, 10))) << "the cross";
  EXPECT_FALSE(glass.count(Pixel(15, 15)) || glass.count(Pixel(40, 35)));
  EXPECT_FALSE(glass.count(Pixel(70, 30))) << "nothing outside the plate";
}

TEST_F(LayerRedrawTest, EditLibrariesAreDrawnThroughTheirSessionAndMasksMarkElements) {
  const GdxHandle edit = Library([] { Rectangle(0, 10, 10, 20, 20); });
  GdxHandle session = kGdxNoHandle;
  ASSERT_EQ(GdxOpenSessionLibrary(&session, static_cast<int32_t>(edit)), 0);
  Enter(0, session, kRed);
  display_.settings.highlight_color = 0xFFFFFF;
  // Undo's masks: selected before drawing, and the second style after.
  const int32_t masks[] = {kElementSelected, 0, kElementSecondHighlight, kElementSelected};
  display_.SetDrawFlagMasks(masks);
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_EQ(InColour(0xFFFFFF), Box(10, 10, 20, 20)) << "drawn selected";
  GdxEntryCursor cursor(GdxLibraryFromHandle(edit));
  while (cursor.Valid() && cursor.Type() != kGdxBoundary) cursor.Next();
  ASSERT_TRUE(cursor.Valid());
  EXPECT_EQ(cursor.Entry()[kGdxEntrySelection], kElementSecondHighlight);
  display_.SetDrawFlagMasks({});
  display_.DrawAllLayers(&host_);
  EXPECT_EQ(WithIndex(kSlotBackground).size(), 104u * 84u) << "second style: background";
}

TEST_F(LayerRedrawTest, FillWithStrokedEdgesWidensTheOutlineAtDeepZoom) {
  const GdxHandle library = Library([] { Rectangle(0, 10, 10, 30, 20); });
  GdxLibraryFromHandle(library)->scale_factor = 4;  // a data unit of 4 pixels
  Enter(0, library, kRed);
  display_.settings.fill_mode = 1;
  display_.DrawAllLayers(&host_);
  const PixelSet plain = InColour(kRed);
  EXPECT_EQ(plain, Box(10, 10, 30, 20));
  display_.settings.fill_mode = 2;
  display_.DrawAllLayers(&host_);
  const PixelSet stroked = InColour(kRed);
  for (const auto& p : plain) EXPECT_TRUE(stroked.count(p));
  EXPECT_TRUE(stroked.count(Pixel(8, 15)) && stroked.count(Pixel(32, 15)));
  EXPECT_TRUE(stroked.count(Pixel(20, 22)) && stroked.count(Pixel(20, 8)));
  EXPECT_FALSE(stroked.count(Pixel(5, 15)));
}

TEST_F(LayerRedrawTest, DashedLinesAreSolidWithoutAPeriod) {
  display_.surface.SetColorIndex(kSlotWhite, 0xFFFFFF);
  const std::vector<LogicalPoint> line = {{10, 10}, {90, 10}};
  display_.DrawDashedPolyline(line, 0.0);
  EXPECT_EQ(WithIndex(kSlotWhite).size(), 81u) << "period 0: solid";
  display_.surface.Clear();
  display_.DrawDashedPolyline(line, 40.0);  // dash 8, gap 4
  const PixelSet dashed = WithIndex(kSlotWhite);
  EXPECT_TRUE(dashed.count({10, 10}) && dashed.count({17, 10}));
  EXPECT_FALSE(dashed.count({20, 10}));
  EXPECT_TRUE(dashed.count({22, 10}));
  EXPECT_LT(dashed.size(), 81u);
  EXPECT_GT(dashed.size(), 40u);
  // A dashed line a hundred million pixels long through the view: only the view's part is
  // laid out, with the pattern where it falls.
  display_.surface.Clear();
  const std::vector<LogicalPoint> huge = {{-100000000, 40}, {100000000, 40}};
  const auto start = std::chrono::steady_clock::now();
  display_.DrawDashedPolyline(huge, 40.0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);
  const PixelSet across = WithIndex(kSlotWhite);
  EXPECT_GT(across.size(), 50u);
  EXPECT_LT(across.size(), 80u);
  for (const auto& [x, y] : across) EXPECT_EQ(y, 40);
}

// Layers without elements: nothing is loaded to fit, and the view is (0, 0)-(1000, 1000),
// in which the grid is drawn and the zoom steps work.
TEST_F(LayerRedrawTest, ExtentsOfEmptyLayersGiveTheThousandUnitView) {
  display_.window.ResetView();
  Enter(0, Library([] {}), kRed);
  EXPECT_EQ(display_.ComputeJobExtents(), 1);
  EXPECT_EQ(display_.job_extents(), (GdxRect{0, 0, 1000, 1000}));
  ASSERT_TRUE(display_.window.has_view());
  EXPECT_EQ(display_.window.divisor(), 1000);
  // The 1000 units fill the 80 pixels of the view's height.
  const LogicalPoint top = display_.window.WorldToLogical(0, 1000);
  const LogicalPoint bottom = display_.window.WorldToLogical(0, 0);
  EXPECT_EQ(bottom.y - top.y, 80);
  display_.settings.grid_on = true;
  display_.settings.grid_spacing = 125;  // 10 pixels
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_GE(InColour(0xFFFFFF).size(), 8u * 9u) << "the grid is drawn";
  display_.settings.grid_on = false;
  EXPECT_TRUE(display_.window.ZoomIn({50, 40}));
  EXPECT_EQ(display_.window.WorldToLogical(0, 0).y - display_.window.WorldToLogical(0, 1000).y,
            160);
  EXPECT_TRUE(display_.window.ZoomAll());
  EXPECT_EQ(display_.window.WorldToLogical(0, 0).y - display_.window.WorldToLogical(0, 1000).y, 80);
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_EQ(WithIndex(kSlotBackground).size(), 104u * 84u) << "no elements drawn";
  // With data, the view is fitted and the divisor comes from the library's units.
  Enter(1, Library([] { Rectangle(1, -500, 200, 1500, 700); }), kGreen);
  LayerTable()[1].y_offset = -10;  // taken from y: 100 database units up
  EXPECT_EQ(display_.ComputeJobExtents(), 0);
  EXPECT_EQ(display_.job_extents(), (GdxRect{-500, 300, 1500, 800}));
  EXPECT_TRUE(display_.window.has_view());
  EXPECT_EQ(display_.window.divisor(), 1000);
  display_.DrawAllLayers(&host_);
  EXPECT_FALSE(InColour(kGreen).empty());
}

TEST_F(LayerRedrawTest, NothingDrawsWithoutASurface) {
  Enter(0, Library([] { Rectangle(0, 10, 10, 20, 20); }), kRed);
  EXPECT_FALSE(display_.ResizeOffscreenSurface(0, 50));
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawNothing);
  EXPECT_FALSE(display_.window.ZoomIn({10, 10})) << "no view size either";
  EXPECT_TRUE(display_.ResizeOffscreenSurface(104, 84));
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_EQ(InColour(kRed), Box(10, 10, 20, 20));
}

TEST_F(LayerRedrawTest, FreeLayerLibrariesEmptiesTheTable) {
  Enter(0, Library([] { Rectangle(0, 10, 10, 20, 20); }), kRed);
  Enter(3, Library([] { Rectangle(3, 10, 10, 20, 20); }), kRed);
  display_.FreeLayerLibraries();
  EXPECT_EQ(GdxChainHead(), kGdxNoHandle);
  EXPECT_TRUE(LayerTable()[0].path.empty());
  EXPECT_EQ(LayerTable()[3].library, kGdxNoHandle);
  EXPECT_EQ(display_.ComputeJobExtents(), 1);
}

// A WF2 file too large for the memory limit is drawn section by section, one section in
// memory at a time.
class Wf2RedrawTest : public LayerRedrawTest {
 protected:
  class LimitedServices : public FakeViewerServices {
   public:
    int64_t DatabaseMemoryLimit() const override { return limit; }
    int64_t limit = 0;
  };

  void SetUp() override {
    LayerRedrawTest::SetUp();
    // Three strips of two frames, each frame filled by one rectangle.
    header_ = testing::SmallHeader(3, 2, false);
    std::vector<testing::Wf2Frame> frames(6);
    for (auto& frame : frames) frame.push_back({{0, 0}, {99, 0}, {99, 49}, {0, 49}});
    testing::WriteBytes(path_, testing::BuildWf2(header_, frames));
    ViewLayerEntry& entry = LayerTable()[0];
    entry.path = path_;
    entry.shown = 1;
    entry.colour = kGreen;
    services_.limit = 1;  // every strip a section of its own
    Wf2ScanResult result;
    ASSERT_EQ(ScanWf2File(nullptr, path_, 0, &result), kGdxNoHandle);
    services_.limit = 0;
    ASSERT_EQ(result.status, Wf2ScanStatus::kIndexed);
    entry.frame_block = result.frame_index;
    entry.frame_count = result.sections;
    ASSERT_EQ(entry.frame_count, 3);
  }

  int Libraries() const {
    int n = 0;
    for (GdxHandle h = GdxChainHead(); GdxLibrary* l = GdxLibraryFromHandle(h); h = l->next) ++n;
    return n;
  }

  testing::ScratchDir dir_;
  std::string path_ = dir_.File("pattern.wf2");
  Wf2Header header_;
  LimitedServices services_;
  ScopedViewerServices scoped_{&services_};
};

TEST_F(Wf2RedrawTest, SectionsAreLoadedOneAtATimeAndDrawn) {
  ASSERT_EQ(display_.ComputeJobExtents(), 0);
  EXPECT_EQ(display_.job_extents(), (GdxRect{0, 0, 3000, 1000}));
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  // The whole pattern is green: three strips side by side fill the fitted width.
  const PixelSet green = InColour(kGreen);
  EXPECT_GT(green.size(), 100u * 30u);
  EXPECT_TRUE(green.count({3, 20}) && green.count({101, 20}));
  EXPECT_EQ(Libraries(), 1) << "only the last section stays loaded";
  EXPECT_EQ(host_.wait_cursor, (std::vector<bool>{true, false, true, false, true, false}));
  // Zoomed onto the last strip: the others are neither loaded nor drawn, and the last one
  // is still in memory.
  ASSERT_TRUE(display_.window.ZoomToWorldBox(2200, 100, 2800, 900));
  host_.wait_cursor.clear();
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_TRUE(host_.wait_cursor.empty());
  EXPECT_FALSE(InColour(kGreen).empty());
  display_.ResetFrameCache();
  EXPECT_EQ(Libraries(), 0);
}

TEST_F(Wf2RedrawTest, ASectionThatFailsToLoadIsNotDrawn) {
  ASSERT_EQ(display_.ComputeJobExtents(), 0);
  // The file changes under the index: no section can be loaded any more.
  testing::WriteBytes(path_, testing::BuildWf2(header_, {}));
  EXPECT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  EXPECT_TRUE(InColour(kGreen).empty());
  EXPECT_EQ(Libraries(), 0);
}

TEST_F(Wf2RedrawTest, HitNumbersDrawOnlyTheirElementsInTheirFrames) {
  ASSERT_EQ(display_.ComputeJobExtents(), 0);
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  const PixelSet all = InColour(kGreen);
  // Each strip holds two elements: numbers 3 and 4 are the middle strip's.
  const double left = display_.window.WorldToLogicalX(1000) - 2;
  const double right = display_.window.WorldToLogicalX(2000) + 2;
  const auto drawn_alone = [&](ViewerDisplay::HitNumberList numbers) {
    display_.surface.Clear();
    EXPECT_EQ(display_.RedrawRegion({}, {{0, numbers}}), kDrawDone);
    return InColour(kGreen);
  };
  const PixelSet third = drawn_alone({3});
  const PixelSet fourth = drawn_alone({4});
  ASSERT_FALSE(third.empty());
  ASSERT_FALSE(fourth.empty());
  PixelSet both;
  for (const PixelSet* set : {&third, &fourth}) {
    for (const auto& p : *set) {
      EXPECT_TRUE(p.first >= left && p.first <= right) << p.first;
      EXPECT_TRUE(all.count(p)) << "drawn where the full drawing draws";
      both.insert(p);
    }
  }
  EXPECT_GT(both.size(), third.size()) << "two different elements";
  EXPECT_GT(both.size(), fourth.size());
  EXPECT_EQ(drawn_alone({4, 3}), both) << "in any order";
  EXPECT_TRUE(drawn_alone({7, 0}).empty()) << "numbers of no element";
  // A deleted element is drawn out in the background; the other one of its frame stays.
  display_.surface.Clear();
  ASSERT_EQ(display_.DrawAllLayers(&host_), kDrawDone);
  int layer = -1;
  int32_t k = -1;
  const GdxHandle frame = display_.loaded_frame(&layer, &k);
  ASSERT_EQ(k, 2);
  GdxEntryCursor cursor(GdxLibraryFromHandle(frame));
  int elements = 0;
  for (; cursor.Valid(); cursor.Next()) {
    if (cursor.Type() == kGdxBoundary && ++elements == 2) break;
  }
  ASSERT_TRUE(cursor.Valid());
  cursor.MutableEntry()[kGdxEntrySelection] = kElementDeleted;
  ASSERT_EQ(display_.RedrawRegion({}, {{0, {6}}}), kDrawDone);
  const PixelSet left_over = InColour(kGreen);
  EXPECT_LT(left_over.size(), all.size());
  EXPECT_TRUE(left_over.count(*third.begin())) << "the other frames stay";
  EXPECT_EQ(Libraries(), 1);
  // A hidden layer draws nothing.
  LayerTable()[0].shown = 0;
  display_.surface.Clear();
  EXPECT_EQ(display_.RedrawRegion({}, {{0, {3}}}), kDrawDone);
  EXPECT_TRUE(InColour(kGreen).empty());
}

}  // namespace
}  // namespace kavrinth
