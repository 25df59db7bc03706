// The viewer's window draws what it loads: a sample PG file started from the command line is
// drawn after zoom-all with every flash where its coordinates say, the right way up, in its
// layer's colour; Cancel during a large drawing stops it and leaves a consistent view.
#include <gtest/gtest.h>

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "support/notifier.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/draw_interaction.h"
#include "viewer/app/edit_tools.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/tests/wf2_test_support.h"

namespace kavrinth {
namespace {

class ViewDrawingTest : public VexilAppTest {
 protected:
  QImage Shown() const { return view()->picture().convertToFormat(QImage::Format_RGB32); }
  QPoint ToDevice(int64_t x, int64_t y) const {
    const LogicalPoint p =
        AppDisplay().window.WorldToLogical(static_cast<int32_t>(x), static_cast<int32_t>(y));
    return {p.x, p.y};
  }
  // Zooms in at the world point, captures that view in slot 3, shows all, redraws it and
  // recalls slot 3; gives the captured picture and the picture of the whole job. (All
  // alone may show the stored full view without drawing it: the redraw leaves the whole
  // job in the off-screen surface, so that only the recall can put the captured view
  // there.)
  std::pair<QImage, QImage> RecallZoomedView(int64_t x, int64_t y) {
    frame()->OnCommand(kCmdViewIn);
    QTest::mouseClick(view(), Qt::LeftButton, {}, ToDevice(x, y));
    EXPECT_TRUE(WaitDrawn());
    const QImage captured = Shown();
    frame()->OnCommand(kCmdCaptureFirst + 3);
    frame()->OnCommand(kCmdViewAll);
    EXPECT_TRUE(WaitDrawn());
    const int drawings = view()->full_drawings();
    frame()->OnCommand(kCmdViewRedraw);
    EXPECT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
    EXPECT_TRUE(WaitDrawn());
    const QImage all = Shown();
    frame()->OnCommand(kCmdRecallFirst + 3);
    EXPECT_TRUE(WaitDrawn());
    EXPECT_EQ(Shown(), captured);
    return {captured, all};
  }
  // Of the pixels where the captured view shows the background and the whole job does not,
  // the share that shows the background.
  double ShareOfCaptured(const QImage& shown, const QImage& captured, const QImage& all) const {
    const QRgb background = view()->picture().color(kBackgroundColourIndex);
    int differ = 0, kept = 0;
    for (int y = 0; y < captured.height(); ++y) {
      for (int x = 0; x < captured.width(); ++x) {
        if (captured.pixel(x, y) != background || all.pixel(x, y) == background) continue;
        ++differ;
        kept += shown.pixel(x, y) == background;
      }
    }
    return differ == 0 ? 0.0 : double(kept) / differ;
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(ViewDrawingTest, SampleFlashesAreShownWhereTheirCoordinatesSay) {
  // The sample in red, and over it one green flash in the middle of its ring.
  WriteFile("demo.em", ReadFile(std::string(SAMPLES_DIR) + "/demo.em"));
  WriteFile("centre.em", "<X10000Y10000W600V600U0SZ");
  WriteFile("demo.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("demo.em") +
                            "\"\r\nLAYER_1=ON,0,255,0,Paint \"" + Path("centre.em") +
                            "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "demo.job"});
  ASSERT_TRUE(WaitDrawn());
  const QImage shown = view()->grab().toImage();
  const ViewerDisplay& display = AppDisplay();
  GdxLibrary* centre_library = GdxLibraryFromHandle(LayerTable()[1].library);
  ASSERT_NE(centre_library, nullptr);
  const GdxRect green =
      GdxFindStructureById(centre_library, centre_library->current_structure_id)->extents;
  int flashes = 0, top_world = INT_MIN, top_row = 0, bottom_world = INT_MAX, bottom_row = 0;
  for (GdxEntryCursor c(GdxLibraryFromHandle(LayerTable()[0].library)); c.Valid(); c.Next()) {
    if (c.Type() != kGdxBoundary) continue;
    const GdxWord* data = c.Data();
    const GdxWord* p = data + (data[0] & 0xFFFF);
    const int32_t cx = static_cast<int32_t>((int64_t{p[0]} + p[2] + p[4] + p[6]) / 4);
    const int32_t cy = static_cast<int32_t>((int64_t{p[1]} + p[3] + p[5] + p[7]) / 4);
    const LogicalPoint at = display.window.WorldToLogical(cx, cy);
    ASSERT_TRUE(at.x >= 0 && at.y >= 0 && at.x < shown.width() && at.y < shown.height());
    const bool under_green =
        cx >= green.min_x && cx <= green.max_x && cy >= green.min_y && cy <= green.max_y;
    EXPECT_EQ(shown.pixelColor(at.x, at.y), under_green ? QColor(0, 255, 0) : QColor(255, 0, 0))
        << "flash at " << cx << "," << cy;
    if (cy > top_world) top_world = cy, top_row = at.y;
    if (cy < bottom_world) bottom_world = cy, bottom_row = at.y;
    ++flashes;
  }
  EXPECT_EQ(flashes, 40);
  EXPECT_LT(top_row, bottom_row) << "the highest flash is shown nearest the top";
  // The green flash lies where the ring's centre is, drawn over the red grid.
  const GdxRect box = display.job_extents();
  const LogicalPoint centre =
      display.window.WorldToLogical(static_cast<int32_t>((int64_t{box.min_x} + box.max_x) / 2),
                                    static_cast<int32_t>((int64_t{box.min_y} + box.max_y) / 2));
  EXPECT_EQ(shown.pixelColor(centre.x, centre.y), QColor(0, 255, 0));
  // Outside the ring the background shows.
  const LogicalPoint corner = display.window.WorldToLogical(box.min_x + 20, box.min_y + 20);
  const uint32_t background = AppState().background_colour;
  EXPECT_EQ(shown.pixelColor(corner.x, corner.y),
            QColor(background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF));
  // The drawing's progress went to the status line, ending at 100%.
  EXPECT_EQ(app_->services().status_text, "Entities Drawn 100%");
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(ViewDrawingTest, AFileStartedOnItsOwnIsDrawnInRed) {
  WriteFile("demo.em", ReadFile(std::string(SAMPLES_DIR) + "/demo.em"));
  Start({"vexil", "demo.em"});
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(LayerTable()[0].fill_mode, kFillPaint);
  const QImage shown = view()->grab().toImage();
  int red = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) red += shown.pixelColor(x, y) == QColor(255, 0, 0);
  }
  EXPECT_GT(red, 40) << "every flash of the sample shows";
}

// Counts the paints of a widget that happen while a drawing runs.
class PaintsWhileDrawing : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && AppState().drawing_active) ++count;
    return false;
  }
  int count = 0;
};

TEST_F(ViewDrawingTest, ThePictureBuildsUpLayerByLayer) {
  std::string table = "[LAYER_TABLE]\r\n";
  for (int layer = 0; layer < 3; ++layer) {
    const std::string name = "l" + std::to_string(layer) + ".em";
    WriteFile(name, "<X" + std::to_string(1000 * (layer + 1)) + "Y1000W500V500U0SZ");
    table += "LAYER_" + std::to_string(layer) + "=ON,255,0,0,Paint \"" + Path(name) + "\"\r\n";
  }
  WriteFile("three.job", table + "[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "three.job"});
  ASSERT_TRUE(WaitDrawn());
  PaintsWhileDrawing paints;
  view()->installEventFilter(&paints);
  app_->frame()->OnCommand(kCmdViewRedraw);
  EXPECT_FALSE(AppState().picture_valid) << "a drawing is asked for";
  ASSERT_TRUE(WaitDrawn());
  view()->removeEventFilter(&paints);
  EXPECT_GE(paints.count, 1) << "the window shows the layers as they are drawn";
}

TEST_F(ViewDrawingTest, ClicksBeforeTheFirstDrawingHasEndedAreNotTaken) {
  WriteFile("flash.em", "<X1000Y1000W400V400U0SZ");
  const auto click = [this](QPoint at) { QTest::mouseClick(view(), Qt::LeftButton, {}, at); };
  // The rectangle tool is chosen and the view clicked twice as soon as the job has loaded,
  // before its first picture is drawn.
  Start({"vexil", "flash.em"});
  bool clicked = false;
  QObject::connect(frame(), &QWidget::windowTitleChanged, frame(), [&] {
    if (!AppState().job_loaded || clicked) return;
    clicked = true;
    QTimer::singleShot(0, frame(), [&] {
      frame()->OnCommand(kToolRectangle2);
      click({100, 100});
      click({200, 150});
    });
  });
  ASSERT_TRUE(WaitDrawn());
  ASSERT_TRUE(clicked);
  EXPECT_TRUE(app_->edit_tools()->store().EditLibraries(0).empty()) << "no rectangle was added";
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(view()->full_drawings(), 1);
  // Once a drawing has ended, also one the user stopped, the clicks are taken again.
  TearDown();
  SetUp();
  WriteFile("flash.em", "<X1000Y1000W400V400U0SZ");
  Start({"vexil", "flash.em"});
  app_->document().SetPainter([this](QImage* picture, const std::function<bool()>& cancelled) {
    picture->fill(kBackgroundColourIndex);
    PressKey(view(), Qt::Key_Escape);
    return !cancelled();
  });
  std::vector<bool> ends;
  QObject::connect(view(), &CLumraView::drawingEnded, view(),
                   [&](bool complete) { ends.push_back(complete); });
  ASSERT_TRUE(WaitFor([&] { return !ends.empty(); }));
  EXPECT_FALSE(ends[0]);
  const double scale = AppDisplay().window.scale();
  frame()->OnCommand(kCmdViewIn);
  click({view()->width() / 2, view()->height() / 2});
  EXPECT_GT(AppDisplay().window.scale(), scale) << "the click zooms in";
}

// A WF2 pattern of two strips of two frames (each 100 by 50 steps) with one small square in
// the first frame, away from the frame lines.
std::string FramesPattern() {
  const Wf2Header header = testing::SmallHeader(2, 2, false);
  std::vector<testing::Wf2Frame> frames(4);
  frames[0].push_back({{10, 10}, {20, 10}, {20, 20}, {10, 20}});
  const std::vector<uint8_t> bytes = testing::BuildWf2(header, frames);
  return std::string(bytes.begin(), bytes.end());
}

// Where the frame lines of the pattern lie on the picture: the outline is the layout's
// extents, the inner lines halve it.
struct FrameLinePoints {
  LogicalPoint border_left, border_bottom, inner_vertical, inner_horizontal;
};

FrameLinePoints FrameLinesOnPicture() {
  const ViewerDisplay& display = AppDisplay();
  const GdxRect box = display.job_extents();
  const int32_t w = box.max_x - box.min_x, h = box.max_y - box.min_y;
  const auto at = [&](int64_t x, int64_t y) {
    return display.window.WorldToLogical(static_cast<int32_t>(x), static_cast<int32_t>(y));
  };
  return {at(box.min_x, box.min_y + h / 4), at(box.min_x + w / 4, box.min_y),
          at(box.min_x + w / 2, box.min_y + h / 4), at(box.min_x + w / 4, box.min_y + h / 2)};
}

// A black line (the grid's colour on the grey background) within a pixel of the point.
bool LineAt(const QImage& shown, LogicalPoint point) {
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const int x = point.x + dx, y = point.y + dy;
      if (x < 0 || y < 0 || x >= shown.width() || y >= shown.height()) continue;
      if (shown.pixelColor(x, y) == QColor(0, 0, 0)) return true;
    }
  }
  return false;
}

TEST_F(ViewDrawingTest, ErrorMarkersOfAPgJobStandOnTheirErrorsAfterAWf2Job) {
  // A WF2 pattern 4000 units high, then a PG job with one error on its flash's centre.
  Wf2Header header = testing::SmallHeader(1, 2, false);
  header.frame_height = 2000;
  std::vector<testing::Wf2Frame> frames(2);
  frames[0].push_back({{10, 10}, {20, 10}, {20, 20}, {10, 20}});
  const std::vector<uint8_t> tall = testing::BuildWf2(header, frames);
  WriteFile("tall.wf2", std::string(tall.begin(), tall.end()));
  WriteFile("flash.em", "<X1000Y1000W400V400U0SZ");
  WriteFile("flash.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("flash.em") +
                             "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  WriteFile("errors.txt", "0 10 -10\r\n");
  Start({"vexil", "tall.wf2"});
  ASSERT_TRUE(WaitDrawn());
  app_->QueueHandOver({HandOverRequest::kOpen,
                       temp_.path(),
                       {"vexil", "flash.job", "-vefn:" + Path("errors.txt")}});
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == Path("flash.job"); }));
  ASSERT_TRUE(WaitDrawn());
  ASSERT_NE(LayerTable()[kMarkerEntry].library, kGdxNoHandle);
  const QImage shown = view()->grab().toImage();
  const LogicalPoint centre = AppDisplay().window.WorldToLogical(1000, 1000);
  EXPECT_EQ(shown.pixelColor(centre.x + 20, centre.y + 20), QColor(255, 0, 0));
  EXPECT_TRUE(LineAt(shown, centre)) << "the marker's cross is on the flash";
}

// Every job opened colours its layers anew. The slots of colours no layer uses any more
// are given back, so three hundred changes never run out of slots: each layer keeps its
// own colour, and the one that never changes keeps it throughout.
TEST_F(ViewDrawingTest, ColoursChangedManyTimesLeaveEveryLayerInItsOwnColour) {
  WriteFile("a.em", "<X100Y100W80V80U0SZ");
  WriteFile("b.em", "<X300Y100W80V80U0SZ");
  WriteFile("c.em", "<X500Y100W80V80U0SZ");
  const auto layer = [this](int n, QColor c, const char* file) {
    return "LAYER_" + std::to_string(n) + "=ON," + std::to_string(c.red()) + "," +
           std::to_string(c.green()) + "," + std::to_string(c.blue()) + ",Paint \"" + Path(file) +
           "\"\r\n";
  };
  const QColor kept(17, 34, 51);
  for (int i = 0; i < 300; ++i) {
    const QColor a(i & 0xFF, 40 + i / 256, 77), b(90, i & 0xFF, 150 + i / 256);
    // Two names in turn, so that each open is a job other than the one shown.
    const std::string name = i % 2 == 0 ? "even.job" : "odd.job", job = Path(name);
    WriteFile(name, "[LAYER_TABLE]\r\n" + layer(0, a, "a.em") + layer(1, b, "b.em") +
                        layer(2, kept, "c.em") + "[General]\r\nFormatType=0\r\nUnitType=0\r\n");
    if (i == 0) {
      Start({"vexil", job});
    } else {
      app_->QueueHandOver({HandOverRequest::kOpen, temp_.path(), {"vexil", job}});
    }
    ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == job; })) << i;
    ASSERT_TRUE(WaitDrawn()) << i;
    const QImage& shown = view()->picture();
    ASSERT_EQ(shown.pixelColor(ToDevice(100, 100)), a) << i;
    ASSERT_EQ(shown.pixelColor(ToDevice(300, 100)), b) << i;
    ASSERT_EQ(shown.pixelColor(ToDevice(500, 100)), kept) << i;
  }
  EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown.front().text;
}

// A capture keeps its colours: recalled after its layer's colour slot went to another
// colour (the layer recoloured, the old colour's slot given back and taken by the new one),
// it shows what it showed when it was taken.
TEST_F(ViewDrawingTest, ARecalledCaptureShowsItsOwnColoursAfterTheirSlotsWereTakenAgain) {
  WriteFile("a.em", "<X100Y100W80V80U0SZ");
  WriteFile("a.job", "[LAYER_TABLE]\r\nLAYER_0=ON,12,140,77,Paint \"" + Path("a.em") +
                         "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "a.job"});
  ASSERT_TRUE(WaitDrawn());
  const QImage captured = Shown();
  const QPoint flash = ToDevice(100, 100);
  ASSERT_EQ(captured.pixelColor(flash), QColor(12, 140, 77));
  const int first_slot = view()->picture().pixelIndex(flash);
  frame()->OnCommand(kCmdCaptureFirst + 2);
  LayerTable()[0].colour = 200 | 61 << 8 | 9 << 16;
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitDrawn());
  ASSERT_EQ(view()->picture().pixelColor(flash), QColor(200, 61, 9));
  ASSERT_EQ(view()->picture().pixelIndex(flash), first_slot) << "the slot was taken again";
  const int drawings = view()->full_drawings();
  frame()->OnCommand(kCmdRecallFirst + 2);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(view()->full_drawings(), drawings) << "the capture is shown, not drawn";
  EXPECT_EQ(view()->picture().pixelColor(flash), QColor(12, 140, 77));
  EXPECT_EQ(Shown(), captured);
}

TEST_F(ViewDrawingTest, FramesDisplayCyclesOffBorderAllLinesAndOff) {
  WriteFile("pattern.wf2", FramesPattern());
  Start({"vexil", "pattern.wf2"});
  ASSERT_TRUE(WaitDrawn());
  QAction* frames = frame()->CommandAction(kCmdFramesDisplay);
  ASSERT_NE(frames, nullptr);
  EXPECT_EQ(frames->text(), "F&rames Display");
  EXPECT_EQ(frames->statusTip(), "Toggles mode of WF2 frames display.");
  ASSERT_TRUE(frames->isEnabled());
  const FrameLinePoints lines = FrameLinesOnPicture();
  struct Step {
    const char* name;
    bool border, inner;
  };
  const Step steps[] = {{"opened", false, false},
                        {"border", true, false},
                        {"all lines", true, true},
                        {"off again", false, false}};
  for (int press = 0; press < 4; ++press) {
    const Step& step = steps[press];
    const int drawings = view()->full_drawings();
    if (press > 0) frames->trigger();
    if (press == 3) {
      // Only the step to off draws the whole picture again.
      EXPECT_FALSE(AppState().picture_valid) << step.name;
      ASSERT_TRUE(WaitDrawn());
      EXPECT_EQ(view()->full_drawings(), drawings + 1) << step.name;
    } else {
      EXPECT_TRUE(AppState().picture_valid) << step.name << ": drawn over the picture at once";
      EXPECT_FALSE(view()->redraw_pending()) << step.name;
      EXPECT_EQ(view()->full_drawings(), drawings) << step.name;
    }
    const QImage shown = view()->grab().toImage();
    EXPECT_EQ(LineAt(shown, lines.border_left), step.border) << step.name;
    EXPECT_EQ(LineAt(shown, lines.border_bottom), step.border) << step.name;
    EXPECT_EQ(LineAt(shown, lines.inner_vertical), step.inner) << step.name;
    EXPECT_EQ(LineAt(shown, lines.inner_horizontal), step.inner) << step.name;
  }
}

TEST_F(ViewDrawingTest, FramesAtStartupIsKeptAndOpensTheNextJobWithItsGrid) {
  WriteFile("pattern.wf2", FramesPattern());
  Start({"vexil"});
  QAction* at_startup = frame()->CommandAction(kCmdFramesAtStartup);
  ASSERT_NE(at_startup, nullptr);
  EXPECT_EQ(at_startup->statusTip(), "Saves the frame on off display setting for startup");
  EXPECT_FALSE(at_startup->isChecked());
  at_startup->trigger();
  EXPECT_TRUE(at_startup->isChecked());
  ASSERT_TRUE(frame()->close());
  EXPECT_EQ(Setting("FramesAtStartup"), "1");

  Restart({"vexil", "pattern.wf2"});
  EXPECT_TRUE(frame()->CommandAction(kCmdFramesAtStartup)->isChecked());
  ASSERT_TRUE(WaitDrawn());
  const FrameLinePoints lines = FrameLinesOnPicture();
  const QImage shown = view()->grab().toImage();
  EXPECT_TRUE(LineAt(shown, lines.inner_vertical)) << "the job opens with every frame line";
  EXPECT_TRUE(LineAt(shown, lines.inner_horizontal));
  // Turned off again, the next start opens without the grid.
  frame()->CommandAction(kCmdFramesAtStartup)->trigger();
  ASSERT_TRUE(frame()->close());
  EXPECT_EQ(Setting("FramesAtStartup"), "0");
}

TEST_F(ViewDrawingTest, WhatIsDrawnOverARecalledViewKeepsTheRecalledPicture) {
  // The frame grid over a recalled WF2 view.
  WriteFile("pattern.wf2", FramesPattern());
  Start({"vexil", "pattern.wf2"});
  ASSERT_TRUE(WaitDrawn());
  GdxRect box = AppDisplay().job_extents();
  int64_t w = int64_t{box.max_x} - box.min_x, h = int64_t{box.max_y} - box.min_y;
  auto [captured, all] = RecallZoomedView(box.min_x + w * 75 / 1000, box.min_y + h * 15 / 100);
  ASSERT_NE(captured, all);
  frame()->CommandAction(kCmdFramesDisplay)->trigger();
  ASSERT_TRUE(WaitDrawn());
  EXPECT_GT(ShareOfCaptured(Shown(), captured, all), 0.9) << "frames display";
  EXPECT_NE(Shown(), captured) << "the frame border is shown";

  // A pick of the delete tool over a recalled view of the sample.
  TearDown();
  SetUp();
  WriteFile("demo.em", ReadFile(std::string(SAMPLES_DIR) + "/demo.em"));
  Start({"vexil", "demo.em"});
  ASSERT_TRUE(WaitDrawn());
  box = AppDisplay().job_extents();
  w = int64_t{box.max_x} - box.min_x, h = int64_t{box.max_y} - box.min_y;
  std::tie(captured, all) = RecallZoomedView(box.min_x + w / 4, box.min_y + h / 4);
  ASSERT_NE(captured, all);
  const int drawings = view()->full_drawings();
  // A vertex query at the first corner of a flash in the recalled view: only that flash is
  // drawn again, highlighted.
  QPoint corner(-1, -1);
  const QRect inside = view()->rect().adjusted(10, 10, -10, -10);
  for (GdxEntryCursor c(GdxLibraryFromHandle(LayerTable()[0].library)); c.Valid(); c.Next()) {
    if (c.Type() != kGdxBoundary) continue;
    const GdxWord* p = c.Data() + (c.Data()[0] & 0xFFFF);
    corner = ToDevice(p[0], p[1]);
    if (inside.contains(corner)) break;
  }
  ASSERT_TRUE(inside.contains(corner));
  frame()->OnCommand(kCmdVertexPoint);
  QTest::mouseClick(view(), Qt::LeftButton, {}, corner);
  ASSERT_TRUE(view()->interaction().query().has_hit());
  EXPECT_EQ(view()->full_drawings(), drawings) << "only the queried flash is drawn";
  const QImage queried = Shown();
  EXPECT_NE(queried, captured) << "the queried flash is highlighted";
  EXPECT_GT(ShareOfCaptured(queried, captured, all), 0.9) << "query highlight";
  frame()->OnCommand(kToolDeleteElements);
  ASSERT_TRUE(app_->edit_tools()->selection_dialog()->isVisible());
  // A window across the whole view picks every flash in it.
  QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(view()->width() - 4, view()->height() - 4));
  ASSERT_TRUE(app_->edit_tools()->store().selection_open());
  EXPECT_EQ(view()->full_drawings(), drawings) << "only the picked flashes are drawn";
  const QImage picked = Shown();
  EXPECT_NE(picked, captured) << "the picked flashes are highlighted";
  EXPECT_GT(ShareOfCaptured(picked, captured, all), 0.9) << "delete pick";
}

TEST_F(ViewDrawingTest, ZoomAllShowsTheRightEdgeAtEveryWindowWidth) {
  // A wide, low layout whose width decides the fit; its right-most flash, narrower than a
  // pixel, ends at the right edge of the extents.
  WriteFile("wide.em", "<X5Y50W10V100U0SX9995SZ");
  Start({"vexil", "wide.em"});
  ASSERT_TRUE(WaitDrawn());
  for (int width = 885; width <= 892; ++width) {
    frame()->resize(frame()->width() + width - view()->width(), frame()->height());
    ASSERT_TRUE(WaitFor([&] { return view()->width() == width; })) << width;
    ASSERT_TRUE(WaitDrawn());
    frame()->OnCommand(kCmdViewAll);
    ASSERT_TRUE(WaitDrawn());
    const GdxRect box = AppDisplay().job_extents();
    const LogicalPoint edge = AppDisplay().window.WorldToLogical(box.max_x, box.min_y + 50);
    EXPECT_LT(edge.x, view()->width()) << width;
    const QImage shown = view()->grab().toImage();
    int red = 0;
    for (int x = shown.width() / 2; x < shown.width(); ++x) {
      red += shown.pixelColor(x, edge.y) == QColor(255, 0, 0);
    }
    EXPECT_GT(red, 0) << width << ": the right-most flash shows";
  }
}

// 200,000 flashes of 10 by 10 in 400 rows of 500, drawn from the bottom row up, and an error
// marker over the top row.
class LargeDrawingTest : public ViewDrawingTest {
 protected:
  void SetUp() override {
    ViewDrawingTest::SetUp();
    std::string em = "<";
    for (int i = 0; i < 200000; ++i) {
      em += "X" + std::to_string(100 + (i % 500) * 20) + "Y" +
            std::to_string(100 + (i / 500) * 20) + "W10V10U0S";
    }
    em += "Z";
    WriteFile("large.em", em);
    WriteFile("large.job", "[LAYER_TABLE]\r\nLAYER_0=ON,0,255,255,Paint \"" + Path("large.em") +
                               "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
    WriteFile("errors.txt", "0 50 -80.8\r\n");
    Start({"vexil", "large.job", "-vefn:" + Path("errors.txt")});
    ASSERT_TRUE(WaitFor([] { return AppState().job_loaded; }, 20000));
    ASSERT_TRUE(WaitDrawn());
  }
  static void Settle(int ms) {
    WaitFor([] { return false; }, ms);
  }
  QColor ShownAt(int32_t x, int32_t y) const {
    const LogicalPoint p = AppDisplay().window.WorldToLogical(x, y);
    return view()->grab().toImage().pixelColor(p.x, p.y);
  }
  // Whether the marker's black cross shows within a pixel of its centre.
  bool MarkerShown() const {
    GdxLibrary* markers = GdxLibraryFromHandle(LayerTable()[kMarkerEntry].library);
    if (markers == nullptr) return false;
    const GdxRect box = GdxFindStructureById(markers, markers->current_structure_id)->extents;
    const LogicalPoint centre = AppDisplay().window.WorldToLogical(
        static_cast<int32_t>((int64_t{box.min_x} + box.max_x) / 2),
        static_cast<int32_t>((int64_t{box.min_y} + box.max_y) / 2));
    const QImage shown = view()->grab().toImage();
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        if (shown.pixelColor(centre.x + dx, centre.y + dy) == QColor(0, 0, 0)) return true;
      }
    }
    return false;
  }
  // Runs the action once, as soon as the next full drawing starts delivering events.
  void DuringNextDrawing(std::function<void()> action) {
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = QObject::connect(view(), &CLumraView::drawingStarted, view(), [once, action] {
      QObject::disconnect(*once);
      QTimer::singleShot(0, action);
    });
  }
  // Runs the action once, when about half the flashes of the next full drawing are drawn
  // (each delivery of the waiting events comes after 200 elements). The chain of deliveries
  // holds itself weakly and lives until the next call, so that it is freed with its case.
  void HalfwayThroughNextDrawing(std::function<void()> action) {
    halfway_ = std::make_shared<std::function<void(int)>>();
    *halfway_ = [next = std::weak_ptr(halfway_), action](int left) {
      if (left == 0) return action();
      QTimer::singleShot(0, [next, left] {
        if (const auto chain = next.lock()) (*chain)(left - 1);
      });
    };
    DuringNextDrawing([chain = std::weak_ptr(halfway_)] {
      if (const auto halfway = chain.lock()) (*halfway)(500);
    });
  }
  std::shared_ptr<std::function<void(int)>> halfway_;
};

TEST_F(LargeDrawingTest, CancelStopsTheDrawingAndKeepsWhatItDrewUntilTheNextCommand) {
  ASSERT_TRUE(MarkerShown());
  const QColor cyan(0, 255, 255);
  const int before = view()->full_drawings();
  std::vector<bool> ends;
  bool marker_when_cancelled = false;
  QObject::connect(view(), &CLumraView::drawingEnded, view(), [&](bool complete) {
    ends.push_back(complete);
    if (ends.size() == 1) marker_when_cancelled = MarkerShown();
  });
  DuringNextDrawing([this] { frame()->OnCommand(kCmdCancelDrawing); });
  frame()->CommandAction(kCmdViewRedraw)->trigger();
  ASSERT_TRUE(WaitFor([&] { return !ends.empty(); }));
  EXPECT_FALSE(ends[0]);
  EXPECT_TRUE(marker_when_cancelled) << "the markers go over a cancelled drawing";
  // Nothing draws again by itself: the partial picture stays, with the marker over it.
  Settle(500);
  EXPECT_EQ(view()->full_drawings(), before + 1);
  EXPECT_FALSE(view()->redraw_pending());
  EXPECT_EQ(ShownAt(100, 100), cyan) << "what was drawn stays";
  EXPECT_NE(ShownAt(10080, 8080), cyan) << "the last flash was not drawn";
  EXPECT_TRUE(MarkerShown());
  // The user's next command draws the whole job.
  frame()->CommandAction(kCmdViewRedraw)->trigger();
  ASSERT_TRUE(WaitFor([&] { return ends.size() == 2; }, 20000));
  EXPECT_TRUE(ends[1]);
  EXPECT_EQ(ShownAt(10080, 8080), cyan);
  EXPECT_TRUE(MarkerShown());
}

// A view change while a full drawing runs (the tear-off's All, Last and Redraw, an arrow
// key) stops that drawing: the picture is drawn again whole at the new view, and what All
// keeps as the picture of the whole job is one drawn whole at the All view.
TEST_F(LargeDrawingTest, AViewChangeDuringADrawingStopsItAndNoMixedPictureIsKept) {
  CViewTearDlg* tear = view()->interaction().tear_off();
  struct Case {
    const char* name;
    std::function<void()> action;
  };
  const Case cases[] = {
      {"tear-off All", [tear] { tear->button(8229)->click(); }},
      {"tear-off Last", [tear] { tear->button(8233)->click(); }},
      {"tear-off Redraw", [tear] { tear->button(8234)->click(); }},
      {"arrow key", [this] { QTest::keyClick(view(), Qt::Key_Right); }},
  };
  std::vector<bool> ends;
  QObject::connect(view(), &CLumraView::drawingEnded, view(),
                   [&](bool complete) { ends.push_back(complete); });
  const auto redrawn = [this] {
    const int drawings = view()->full_drawings();
    frame()->OnCommand(kCmdViewRedraw);
    EXPECT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }, 20000));
    EXPECT_TRUE(WaitDrawn());
    return Shown();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A zoomed-in view, and a stored whole-job picture that is to be stored again.
    frame()->OnCommand(kCmdViewIn);
    QTest::mouseClick(view(), Qt::LeftButton, {},
                      QPoint(view()->width() / 4, view()->height() / 2));
    ASSERT_TRUE(WaitDrawn());
    MarkFullViewStale(kFullViewDrawing);
    ends.clear();
    // The action comes when about half the flashes are drawn, so that both halves show in a
    // mixed picture.
    HalfwayThroughNextDrawing(c.action);
    frame()->OnCommand(kCmdViewRedraw);
    ASSERT_TRUE(WaitFor([&] { return !ends.empty(); }, 20000));
    EXPECT_FALSE(ends[0]) << "the drawing under way stopped";
    ASSERT_TRUE(WaitDrawn());
    Settle(200);
    ASSERT_TRUE(WaitDrawn());
    const QImage after = Shown();
    EXPECT_TRUE(after == redrawn()) << "the picture shown is one drawn whole at its view";
    // All, twice: the second shows the kept picture of the whole job without drawing it.
    frame()->OnCommand(kCmdViewAll);
    ASSERT_TRUE(WaitDrawn());
    Settle(100);
    frame()->OnCommand(kCmdViewAll);
    ASSERT_TRUE(WaitDrawn());
    Settle(100);
    const QImage kept = Shown();
    EXPECT_TRUE(kept == redrawn()) << "the kept whole-job picture is whole";
  }
}

// A command that stops a drawing under way and then finds nothing to change (the tear-off's
// Last with no view before the first) leaves no part of a drawing on the screen: the view
// is drawn again whole, and the picture kept is the one a fresh drawing gives.
TEST_F(LargeDrawingTest, ACommandThatStopsADrawingAndChangesNothingDrawsItAgainWhole) {
  CViewTearDlg* tear = view()->interaction().tear_off();
  std::vector<bool> ends;
  QObject::connect(view(), &CLumraView::drawingEnded, view(),
                   [&](bool complete) { ends.push_back(complete); });
  HalfwayThroughNextDrawing([tear] { tear->button(8233)->click(); });
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([&] { return !ends.empty(); }, 20000));
  EXPECT_FALSE(ends[0]) << "the drawing under way stopped";
  ASSERT_TRUE(WaitDrawn());
  Settle(300);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(ShownAt(10080, 8080), QColor(0, 255, 255)) << "the last flash is drawn";
  const QImage after = Shown();
  const int drawings = view()->full_drawings();
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }, 20000));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_TRUE(after == Shown()) << "the picture shown is one drawn whole";
}

// A mode chosen while a drawing runs (Info, Measure from the menu or its key) is taken and
// the drawing goes on to its end; clicks during the drawing are dropped, the clicks after
// it measure, and the picture is whole.
TEST_F(LargeDrawingTest, MeasureChosenDuringADrawingMeasuresTheNextClicks) {
  const QImage whole = Shown();
  std::vector<bool> ends;
  QObject::connect(view(), &CLumraView::drawingEnded, view(),
                   [&](bool complete) { ends.push_back(complete); });
  bool enabled = false;
  DuringNextDrawing([&] {
    QAction* measure = frame()->CommandAction(kCmdMeasure);
    enabled = measure->isEnabled();
    measure->trigger();
    // Clicks while the picture is still drawn are not the measure's.
    QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(300, 200));
  });
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([&] { return !ends.empty(); }, 20000));
  EXPECT_TRUE(enabled) << "Measure is offered while the drawing runs";
  EXPECT_TRUE(ends[0]) << "choosing a mode does not stop the drawing";
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(view()->interaction().modes().active_mode(), kDrawMeasure);
  EXPECT_FALSE(view()->interaction().modes().band_pending());
  QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(200, 150));
  CViewInfoDlg* info = view()->interaction().info_window();
  EXPECT_TRUE(info->isVisible());
  EXPECT_TRUE(info->text().startsWith("Dist = ")) << info->text().toStdString();
  EXPECT_TRUE(Shown() == whole) << "the picture is drawn whole";
}

TEST_F(LargeDrawingTest, ClicksDuringADrawingReachNeitherTheModesNorTheEditTools) {
  const QPoint centre(view()->width() / 2, view()->height() / 2);
  struct Case {
    const char* name;
    int command;
  };
  for (const Case& c : {Case{"zoom in", kCmdViewIn}, Case{"rectangle tool", kToolRectangle2}}) {
    frame()->OnCommand(c.command);
    const double scale = AppDisplay().window.scale();
    const int before = view()->full_drawings();
    DuringNextDrawing([this, centre] {
      QTest::mouseClick(view(), Qt::LeftButton, {}, centre);
      QTest::mouseClick(view(), Qt::LeftButton, {}, centre + QPoint(40, 30));
    });
    frame()->CommandAction(kCmdViewRedraw)->trigger();
    ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > before; }, 20000)) << c.name;
    Settle(300);
    EXPECT_EQ(view()->full_drawings(), before + 1) << c.name << ": the drawing ran to its end";
    EXPECT_EQ(AppDisplay().window.scale(), scale) << c.name << ": the view is the same";
    EXPECT_TRUE(app_->edit_tools()->store().EditLibraries(0).empty()) << c.name;
  }
}

}  // namespace
}  // namespace kavrinth
