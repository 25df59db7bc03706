// Working in the viewer's window as a user does: zooming, panning and measuring with the
// mouse, copying the picture to the clipboard, capturing and recalling views, querying
// vertices and flashes of the sample PG files, and every command of the menus reachable with
// its prompt and enabling rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "companions/plendo/plot_file.h"
#include "support/notifier.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/draw_interaction.h"
#include "viewer/app/edit_tools.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/plot_display.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/plot/plot_data.h"

namespace kavrinth {
namespace {

class ViewWorkingTest : public VexilAppTest {
 protected:
  // Starts the viewer on a sample file and waits for its picture.
  void StartOn(const std::string& sample) {
    WriteFile(sample, ReadFile(std::string(SAMPLES_DIR) + "/" + sample));
    app_ = std::make_unique<CLumraApp>();
    const std::vector<std::string> words = {"vexil", sample};
    app_->InitInstance(ParseCommandLine(words, temp_.path(), true));
    ASSERT_TRUE(WaitDrawn());
    // Shortcuts go to the active window.
    frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
    view()->setFocus();
  }
  DrawWndState& window() const { return AppDisplay().window; }
  CDrawInteraction& work() const { return view()->interaction(); }
  QString Status() const { return frame()->statusBar()->currentMessage(); }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(view(), (from + to) / 2);
    QTest::mouseMove(view(), to);
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, to);
  }
  void Click(QPoint at) { QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at); }
  QPoint At(int32_t x, int32_t y) const {
    const LogicalPoint p = window().WorldToLogical(x, y);
    return {p.x, p.y};
  }
  // The points of the first flash of the first loaded layer.
  std::vector<GdxWord> FirstFlash() const {
    GdxHandle library = kGdxNoHandle;
    for (int n = 0; n < kViewLayerCount && library == kGdxNoHandle; ++n) {
      library = LayerTable()[n].library;
    }
    for (GdxEntryCursor c(GdxLibraryFromHandle(library)); c.Valid(); c.Next()) {
      if (c.Type() != kGdxBoundary && c.Type() != kGdxCircle) continue;
      const GdxWord* data = c.Data();
      const int32_t count = c.Type() == kGdxBoundary ? (data[1] >> 16) & 0xFFFF : 3;
      return std::vector<GdxWord>(data + (data[0] & 0xFFFF), data + (data[0] & 0xFFFF) + 2 * count);
    }
    return {};
  }
  QImage Picture() const { return view()->picture().convertToFormat(QImage::Format_RGB32); }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(ViewWorkingTest, ZoomWindowByADragThenInOutLastAndAll) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  const QImage whole = Picture();
  const double fitted = window().scale();
  // Opening a job shows all of it (8203, zoom all) and chooses no mode.
  EXPECT_EQ(work().modes().mode(), 0);
  EXPECT_EQ(Status(), kIdleMessage);
  // W chooses the mode; the status line keeps its instruction.
  QTest::keyClick(view(), Qt::Key_W);
  EXPECT_EQ(work().modes().mode(), 8204);
  EXPECT_TRUE(frame()->CommandAction(kCmdViewWindow)->isChecked()) << "the mode's item is marked";
  EXPECT_EQ(Status(), "Click mouse button at a zoom WINDOW corner");
  const QPoint centre(view()->width() / 2, view()->height() / 2);
  Drag(centre - QPoint(40, 30), centre + QPoint(40, 30));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_GT(window().scale(), fitted * 2);
  EXPECT_NE(Picture(), whole) << "the picture shows the window";
  const double zoomed = window().scale();
  // In and out at a click.
  frame()->OnCommand(kCmdViewIn);
  EXPECT_FALSE(frame()->CommandAction(kCmdViewWindow)->isChecked());
  EXPECT_TRUE(frame()->CommandAction(kCmdViewIn)->isChecked());
  Click(centre);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_DOUBLE_EQ(window().scale(), zoomed * 2);
  frame()->OnCommand(kCmdViewOut);
  Click(centre);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_DOUBLE_EQ(window().scale(), zoomed);
  // Last steps back; All shows the whole job again, the same picture as at the start.
  frame()->OnCommand(kCmdViewLast);
  ASSERT_TRUE(WaitDrawn());
  // The stored view is refitted to the window from whole base units: its scale comes back
  // within their rounding.
  EXPECT_NEAR(window().scale(), zoomed * 2, zoomed * 2 * 1e-3);
  QTest::keyClick(view(), Qt::Key_Home);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_DOUBLE_EQ(window().scale(), fitted);
  EXPECT_EQ(Picture(), whole);
}

TEST_F(ViewWorkingTest, PanMovesThePictureWithTheMouse) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  const std::vector<GdxWord> flash = FirstFlash();
  ASSERT_FALSE(flash.empty());
  const QPoint before = At(flash[0], flash[1]);
  frame()->OnCommand(kCmdViewPan);
  EXPECT_EQ(Status(), "Click mouse button at a pan point");
  Drag(QPoint(200, 200), QPoint(160, 230));
  ASSERT_TRUE(WaitDrawn());
  const QPoint after = At(flash[0], flash[1]);
  EXPECT_NEAR(after.x() - before.x(), -40, 1);
  EXPECT_NEAR(after.y() - before.y(), 30, 1);
}

TEST_F(ViewWorkingTest, MeasureShowsTheDistanceInTheStatusLineAndTheInfoWindow) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  QTest::keyClick(view(), Qt::Key_M);
  EXPECT_EQ(Status(), "Click mouse button at a measure WINDOW corner");
  const QPoint a(100, 300), b(400, 100);
  Click(a);
  EXPECT_TRUE(work().modes().band_pending());
  Click(b);
  int32_t x0, y0, x1, y1;
  window().LogicalToWorld({a.x(), a.y()}, &x0, &y0);
  window().LogicalToWorld({b.x(), b.y()}, &x1, &y1);
  const std::string expected = MeasureText(window(), Measure(x0, y0, x1, y1));
  QString shown = QString::fromStdString(expected).replace("\r\n", "   ");
  EXPECT_EQ(Status(), shown);
  EXPECT_TRUE(Status().startsWith("Dist = ")) << Status().toStdString();
  EXPECT_TRUE(work().info_window()->isVisible());
  EXPECT_EQ(work().info_window()->text(), QString::fromStdString(expected).replace("\r\n", "\n"));
  // With grid snap on, the corners are grid points.
  AppState().settings.snap_on = 1;
  const int32_t grid = app_->services().DisplayUnits().grid_spacing;
  ASSERT_GT(grid, 1);
  Click(a + QPoint(3, 3));
  EXPECT_EQ(work().modes().cursor_world_x() % grid, 0);
  EXPECT_EQ(work().modes().cursor_world_y() % grid, 0);
  QTest::keyClick(view(), Qt::Key_Escape);
  AppState().settings.snap_on = 0;
  // Escape drops a band waiting for its second corner; the mode stays.
  Click(a);
  ASSERT_TRUE(work().modes().band_pending());
  QTest::keyClick(view(), Qt::Key_Escape);
  EXPECT_FALSE(work().modes().band_pending());
  EXPECT_EQ(work().modes().mode(), 8212);
}

// A press and a release a few pixels apart (a hand's jitter, less than the platform's drag
// distance) are one click: the first corner of a measure or a zoom window, not a box.
TEST_F(ViewWorkingTest, AJitteryClickIsOneClickUpToThePlatformsDragDistance) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  const int distance = QApplication::startDragDistance();
  ASSERT_GE(distance, 3);
  const QPoint jitter(distance / 2, (distance - 1) - distance / 2);
  const QPoint a(100, 300), b(400, 100);
  QTest::keyClick(view(), Qt::Key_M);
  Drag(a, a + jitter);
  EXPECT_TRUE(work().modes().band_pending()) << "the first corner is taken";
  EXPECT_EQ(Status(), "Click mouse button at a measure WINDOW corner");
  Click(b);
  EXPECT_TRUE(Status().startsWith("Dist = ")) << Status().toStdString();
  // From the drag distance on, press and release are both corners.
  Drag(a, a + QPoint(distance, 0));
  EXPECT_FALSE(work().modes().band_pending());
  QTest::keyClick(view(), Qt::Key_Escape);
  const double fitted = window().scale();
  QTest::keyClick(view(), Qt::Key_W);
  const QPoint centre(view()->width() / 2, view()->height() / 2);
  Drag(centre - QPoint(40, 30), centre - QPoint(40, 30) + jitter);
  EXPECT_TRUE(work().modes().band_pending());
  EXPECT_DOUBLE_EQ(window().scale(), fitted);
  Click(centre + QPoint(40, 30));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_GT(window().scale(), fitted * 2) << "the zoom window of the two clicks";
}

// The cursor's cross follows the mouse whether a mode is chosen or not, also while an edit
// tool draws its band; with grid snap on it stands on the grid point nearest the mouse,
// and so do the corners of a zoom window's band.
TEST_F(ViewWorkingTest, TheCursorCrossFollowsTheMouseAndSnapsWithTheBandToTheGrid) {
  // A 400x400 flash from 100 to 500; the grid of one user unit (100 units).
  WriteFile("a.em", "<X300Y300W400V400U0SZ");
  WriteFile("a.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("a.em") +
                         "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "a.job"});
  ASSERT_TRUE(WaitDrawn());
  ASSERT_EQ(app_->services().DisplayUnits().grid_spacing, 100);
  // Whether the cross's arms (10 pixels out, in the directions given) show over the picture
  // at the point, and not between them.
  const QPoint right(10, 0), left(-10, 0), up(0, -10), down(0, 10);
  const auto cross_at = [this](QPoint centre, std::vector<QPoint> arms) {
    const QImage shown = view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture = Picture();
    bool all = true;
    for (const QPoint arm : arms)
      all = all && shown.pixel(centre + arm) != picture.pixel(centre + arm);
    const QPoint between = centre + QPoint(10, 10);
    return all && shown.pixel(between) == picture.pixel(between);
  };
  ASSERT_EQ(work().modes().mode(), 0);
  QTest::mouseMove(view(), At(250, 350));
  EXPECT_TRUE(cross_at(At(250, 350), {right, left, up, down})) << "no mode chosen";
  QTest::mouseMove(view(), At(270, 230));
  EXPECT_TRUE(cross_at(At(270, 230), {right, left, up, down}));
  EXPECT_FALSE(cross_at(At(250, 350), {right, left, up, down})) << "the cross moved";

  AppState().settings.snap_on = 1;
  QTest::mouseMove(view(), At(330, 290));
  EXPECT_TRUE(cross_at(At(300, 300), {right, left, up, down})) << "on the grid point";
  EXPECT_FALSE(cross_at(At(330, 290), {right, left, up, down}));
  // A zoom window's band from grid point to grid point; the cross on its moving corner.
  ASSERT_TRUE(frame()->OnCommand(kCmdViewWindow));
  Click(At(330, 290));
  ASSERT_TRUE(work().modes().band_pending());
  QTest::mouseMove(view(), At(370, 390));
  EXPECT_EQ(QPoint(work().modes().band_first_x(), work().modes().band_first_y()), At(300, 300));
  EXPECT_EQ(QPoint(work().modes().band_current_x(), work().modes().band_current_y()), At(400, 400));
  EXPECT_TRUE(cross_at(At(400, 400), {right, up})) << "the arms outside the band";
  // The band's top edge runs along the grid row, not along the mouse's row.
  const auto edge_shown = [this](int32_t y) {
    const QImage shown = view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture = Picture();
    int differ = 0;
    for (int x = At(310, 0).x(); x < At(390, 0).x(); ++x) {
      differ += shown.pixel(x, At(0, y).y()) != picture.pixel(x, At(0, y).y());
    }
    return differ;
  };
  EXPECT_GT(edge_shown(400), 10);
  EXPECT_EQ(edge_shown(390), 0);
  QTest::keyClick(view(), Qt::Key_Escape);
  ASSERT_FALSE(work().modes().band_pending());

  // An edit tool's band: the cross follows the mouse over it.
  AppState().settings.snap_on = 0;
  frame()->OnCommand(kToolRectangle2);
  Click(At(250, 250));
  ASSERT_EQ(app_->edit_tools()->click_count(), 1);
  QTest::mouseMove(view(), At(340, 260));
  EXPECT_TRUE(cross_at(At(340, 260), {right, up})) << "over the tool's band";
  frame()->OnCommand(kToolEnd);
}

TEST_F(ViewWorkingTest, EndPointMeasureSnapsToTheFlashCorners) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  AppState().settings.snap_end_point = 1;
  const std::vector<GdxWord> flash = FirstFlash();
  ASSERT_GE(flash.size(), 6u);
  frame()->OnCommand(kCmdMeasure);
  // Near each corner (a pixel off), accepted with the right button.
  for (int corner : {0, 2}) {
    const QPoint at = At(flash[2 * corner], flash[2 * corner + 1]) + QPoint(1, 1);
    Click(at);
    ASSERT_TRUE(work().query().has_hit()) << corner;
    EXPECT_TRUE(work().info_window()->isVisible());
    QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, at);
  }
  const std::string expected =
      "First Point:\r\n   (" + window().FormatCoord(flash[0]) + "," +
      window().FormatCoord(flash[1]) + ")\r\nSecond Point:\r\n   (" +
      window().FormatCoord(flash[4]) + "," + window().FormatCoord(flash[5]) + ")\r\n" +
      MeasureText(window(), Measure(flash[0], flash[1], flash[4], flash[5]));
  EXPECT_EQ(work().info_window()->text(), QString::fromStdString(expected).replace("\r\n", "\n"));
  EXPECT_TRUE(Status().contains("Dist = ")) << Status().toStdString();
  // Each vertex accepted carries the cross-hair over the picture (the cursor's cross moved
  // away first); a redraw of the picture takes them away.
  QTest::mouseMove(view(), QPoint(view()->width() - 5, 5));
  const auto crossed = [this](int32_t x, int32_t y) {
    const QImage shown = view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture = view()->picture().convertToFormat(QImage::Format_RGB32);
    const QPoint v = At(x, y);
    int arms = 0;
    for (const QPoint d : {QPoint(5, 0), QPoint(-5, 0), QPoint(0, 5), QPoint(0, -5)}) {
      arms += shown.pixel(v + d) != picture.pixel(v + d) ? 1 : 0;
    }
    return arms;
  };
  EXPECT_EQ(crossed(flash[0], flash[1]), 4);
  EXPECT_EQ(crossed(flash[4], flash[5]), 4);
  const int drawings = view()->full_drawings();
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(crossed(flash[0], flash[1]), 0);
  // A click that meets no vertex is refused.
  Click(QPoint(3, 3));
  EXPECT_FALSE(work().query().has_hit());
  EXPECT_TRUE(work().info_window()->text().isEmpty());
}

TEST_F(ViewWorkingTest, ALayerOffsetMovesTheDrawnTheQueriedAndThePlottedVertexAlike) {
  // Two 30x10 flashes of layer 1, at (100, 200) and (300, 260).
  WriteFile("two.em", "<X100Y200W30V10U0SX300Y260W30V10U0SZ");
  WriteFile("two.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("two.em") +
                           "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "two.job"});
  ASSERT_TRUE(WaitFor([this] { return WaitDrawn() && !view()->redraw_pending(); }));
  // The layer moved 40 units right and, its y offset being taken from y, 10 units down.
  const int32_t units = CurrentViewerServices().DisplayUnits().database_units_per_user_unit;
  ASSERT_EQ(4000 % units, 0);
  LayerTable()[0].x_offset = 4000 / units;
  LayerTable()[0].y_offset = 1000 / units;
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([this] { return WaitDrawn() && !view()->redraw_pending(); }));
  const QImage picture = Picture();
  auto red = [&picture](QPoint p) { return picture.pixelColor(p) == QColor(255, 0, 0); };
  EXPECT_TRUE(red(At(140, 190))) << "the first flash is drawn where the offset puts it";
  EXPECT_FALSE(red(At(100, 200)));
  EXPECT_FALSE(red(At(108, 203))) << "not where the other sign would put it";

  // The query at the drawn bottom-left corner (125, 185) reports that vertex.
  frame()->OnCommand(kCmdVertexPoint);
  Click(At(125, 185));
  ASSERT_TRUE(work().query().has_hit());
  EXPECT_EQ(work().query().hit_x(), 125);
  EXPECT_EQ(work().query().hit_y(), 185);
  const std::string vertex =
      "VERT: (" + window().FormatCoord(125) + "," + window().FormatCoord(185) + ")";
  EXPECT_TRUE(work().info_window()->text().contains(QString::fromStdString(vertex)))
      << work().info_window()->text().toStdString();

  // The plot of the shown view has that corner among the first flash's points.
  struct Host : PlotHost {
    PlotDisplay Display() override { return *ShownPlotDisplay(); }
  } host;
  ASSERT_TRUE(ShownPlotDisplay().has_value());
  ASSERT_EQ(GeneratePlotData(&host, nullptr, Path("plot.gds")), kPlotDataWritten);
  PlotDocument document;
  std::string error;
  ASSERT_TRUE(ReadPlotFile(Path("plot.gds"), &document, &error)) << error;
  ASSERT_FALSE(document.shapes.empty());
  ASSERT_FALSE(document.shapes[0].polygons.empty());
  const std::vector<GdsIntPoint>& plotted = document.shapes[0].polygons[0];
  EXPECT_TRUE(std::any_of(plotted.begin(), plotted.end(),
                          [](const GdsIntPoint& p) { return p.x == 125 && p.y == 185; }))
      << plotted.front().x << "," << plotted.front().y;
}

TEST_F(ViewWorkingTest, TheQueriedElementIsDrawnInTheHighlightColourUntilTheQueryMovesOrEnds) {
  // Two 30x10 flashes sharing the corner (115, 205): the first at (100, 200), the second at
  // (130, 210).
  WriteFile("two.em", "<X100Y200W30V10U0SX130Y210SZ");
  WriteFile("two.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("two.em") +
                           "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "two.job"});
  ASSERT_TRUE(WaitFor([this] { return WaitDrawn() && !view()->redraw_pending(); }));
  const QColor red(255, 0, 0), white(255, 255, 255);
  auto colour = [this](int32_t x, int32_t y) { return Picture().pixelColor(At(x, y)); };
  ASSERT_EQ(colour(100, 200), red);
  ASSERT_EQ(colour(130, 210), red);
  frame()->OnCommand(kCmdVertexPoint);
  Click(At(115, 205));
  ASSERT_TRUE(work().query().has_hit());
  EXPECT_EQ(colour(100, 200), white) << "the first flash is drawn in the highlight colour";
  EXPECT_EQ(colour(130, 210), red);
  // A redraw keeps the highlight.
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([this] { return WaitDrawn() && !view()->redraw_pending(); }));
  EXPECT_EQ(colour(100, 200), white);
  // TAB past the first flash's vertices in the box moves the highlight to the second.
  for (int i = 0; i < 4 && colour(130, 210) != white; ++i) QTest::keyClick(view(), Qt::Key_Tab);
  EXPECT_EQ(colour(130, 210), white);
  EXPECT_EQ(colour(100, 200), red) << "the element left is drawn as it was";
  // Ending the query draws it as it was.
  frame()->OnCommand(kCmdMeasure);
  EXPECT_FALSE(work().query().has_hit());
  EXPECT_EQ(colour(130, 210), red);
  EXPECT_EQ(colour(100, 200), red);
}

TEST_F(ViewWorkingTest, CtrlCCopiesThePictureAndCopyWindowItsBox) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  QApplication::clipboard()->clear();
  QTest::keyClick(frame(), Qt::Key_C, Qt::ControlModifier);
  const QImage copied = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(copied.isNull());
  const QImage picture = Picture();
  EXPECT_EQ(copied, picture.copy(0, 0, window().client_width(), window().client_height()));
  // Copy Window takes the dragged box and ends its mode.
  QApplication::clipboard()->clear();
  QTest::keyClick(frame(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(work().modes().mode(), 8216);
  Drag(QPoint(150, 120), QPoint(50, 20));
  const QImage box = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(box, picture.copy(50, 20, 100, 100));
  EXPECT_EQ(work().modes().mode(), 0);
  // An empty box copies nothing.
  QApplication::clipboard()->clear();
  frame()->OnCommand(kCmdCopyWindow);
  Click(QPoint(60, 60));
  Click(QPoint(60, 90));
  EXPECT_TRUE(QApplication::clipboard()->image().isNull());
}

TEST_F(ViewWorkingTest, CaptureThenRecallRestoresTheViewAndClosingForgetsIt) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  EXPECT_FALSE(frame()->CommandAction(kCmdRecallFirst + 3)->isEnabled());
  frame()->OnCommand(kCmdViewIn);
  Click(QPoint(view()->width() / 3, view()->height() / 3));
  ASSERT_TRUE(WaitDrawn());
  const QImage captured = Picture();
  const double scale = window().scale();
  QTest::keyClick(frame(), Qt::Key_3, Qt::ControlModifier);
  frame()->UpdateCommandStates();
  EXPECT_TRUE(frame()->CommandAction(kCmdRecallFirst + 3)->isEnabled());
  EXPECT_FALSE(frame()->CommandAction(kCmdRecallFirst + 4)->isEnabled());
  EXPECT_TRUE(QFile::exists(work().CaptureFile(3)));
  frame()->OnCommand(kCmdViewAll);
  ASSERT_TRUE(WaitDrawn());
  ASSERT_NE(Picture(), captured);
  const int drawings = view()->full_drawings();
  QTest::keyClick(frame(), Qt::Key_3, Qt::AltModifier);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_DOUBLE_EQ(window().scale(), scale);
  EXPECT_EQ(Picture(), captured);
  EXPECT_EQ(view()->full_drawings(), drawings) << "the stored picture is shown, not drawn";
  // After a resize the recalled view is drawn again at its zoom, not blitted.
  frame()->resize(frame()->width() + 64, frame()->height());
  ASSERT_TRUE(WaitFor([&] { return view()->picture().width() != captured.width(); }));
  ASSERT_TRUE(WaitDrawn());
  frame()->OnCommand(kCmdRecallFirst + 3);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(Picture().size(), view()->picture().size());
  EXPECT_GT(view()->full_drawings(), drawings);
  // Closing the job forgets every capture.
  const QString file = work().CaptureFile(3);
  frame()->OnCommand(kCmdFileClose);
  frame()->UpdateCommandStates();
  EXPECT_FALSE(frame()->CommandAction(kCmdRecallFirst + 3)->isEnabled());
  EXPECT_FALSE(QFile::exists(file)) << "the picture goes with the job";
}

TEST_F(ViewWorkingTest, TheRightButtonMenuOpensOverAJobOnly) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  QMenu* menu = nullptr;
  for (QMenu* candidate : frame()->findChildren<QMenu*>()) {
    if (candidate->accessibleName() == "Drawing commands") menu = candidate;
  }
  ASSERT_NE(menu, nullptr);
  const QPoint middle(view()->width() / 2, view()->height() / 2);
  // A right click, with the menu request the window system makes of its press.
  const auto right_click = [this](QPoint at) {
    QTest::mousePress(view(), Qt::RightButton, Qt::NoModifier, at);
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, view()->mapToGlobal(at));
    QApplication::sendEvent(view(), &request);
    QTest::mouseRelease(view(), Qt::RightButton, Qt::NoModifier, at);
  };
  right_click(middle);
  ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }));
  EXPECT_EQ(menu->actions().first()->text().remove('&'), "All");
  menu->hide();
  // In an end-point measure the right button accepts a vertex found: no menu then, but the
  // menu as ever while no vertex waits.
  AppState().settings.snap_end_point = 1;
  frame()->OnCommand(kCmdMeasure);
  right_click(middle);
  ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }));
  menu->hide();
  const std::vector<GdxWord> flash = FirstFlash();
  ASSERT_GE(flash.size(), 2u);
  const QPoint corner = At(flash[0], flash[1]) + QPoint(1, 1);
  Click(corner);
  ASSERT_TRUE(work().query().has_hit());
  right_click(corner);
  QTest::qWait(100);
  EXPECT_FALSE(menu->isVisible());
  EXPECT_FALSE(work().query().has_hit()) << "the vertex was accepted";
  AppState().settings.snap_end_point = 0;
  // Without a job the right button does nothing.
  frame()->OnCommand(kCmdFileClose);
  ASSERT_FALSE(AppState().job_loaded);
  right_click(middle);
  QTest::qWait(100);
  EXPECT_FALSE(menu->isVisible());
}

TEST_F(ViewWorkingTest, TheKeysStayWithTheDrawingAfterADrawingAndAMeasure) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  // The focus elsewhere in the window: a drawing gives it back to the picture.
  QWidget* button = nullptr;
  for (QWidget* widget : frame()->toolbar()->findChildren<QWidget*>()) {
    if (widget->isVisible() && widget->isEnabled()) button = widget;
  }
  ASSERT_NE(button, nullptr);
  button->setFocus();
  ASSERT_FALSE(view()->hasFocus());
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([this] { return view()->full_drawings() > 1 && AppState().picture_valid; }));
  EXPECT_TRUE(view()->hasFocus());
  // The measure's info window shows without taking the keys: an arrow key then scrolls.
  QTest::keyClick(view(), Qt::Key_M);
  Click(QPoint(100, 300));
  Click(QPoint(400, 100));
  ASSERT_TRUE(WaitFor([this] { return work().info_window()->isVisible(); }));
  QTest::qWait(50);
  EXPECT_EQ(QApplication::activeWindow(), frame());
  EXPECT_EQ(QApplication::focusWidget(), view());
}

TEST_F(ViewWorkingTest, CaptureThatCannotBeStoredIsSaidAndLeavesNoRecall) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  QTest::keyClick(frame(), Qt::Key_3, Qt::ControlModifier);
  const QString file = work().CaptureFile(3);
  ASSERT_TRUE(QFile::exists(file));
  // The slot's file can no longer be written: a directory stands in its place.
  ASSERT_TRUE(QFile::remove(file));
  ASSERT_TRUE(QDir().mkdir(file));
  QTest::keyClick(frame(), Qt::Key_3, Qt::ControlModifier);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Error Code 5: Cannot capture window 3.");
  EXPECT_EQ(notifier_.shown[0].caption, "");
  frame()->UpdateCommandStates();
  EXPECT_FALSE(frame()->CommandAction(kCmdRecallFirst + 3)->isEnabled());
  // Once the file can be written again the slot works again.
  ASSERT_TRUE(QDir().rmdir(file));
  QTest::keyClick(frame(), Qt::Key_3, Qt::ControlModifier);
  frame()->UpdateCommandStates();
  EXPECT_TRUE(frame()->CommandAction(kCmdRecallFirst + 3)->isEnabled());
  EXPECT_EQ(notifier_.shown.size(), 1u);
}

// The picture of the whole job is stored after drawings: when it cannot be stored that is
// said once, not after every drawing that tries again; once it can be stored again a later
// failure is said again.
TEST_F(ViewWorkingTest, AWholeJobPictureThatCannotBeStoredIsSaidOnce) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  const QString file = work().CaptureFile(10);
  ASSERT_TRUE(QFile::exists(file)) << "the first drawing stored the whole job";
  ASSERT_TRUE(QFile::remove(file));
  ASSERT_TRUE(QDir().mkdir(file));
  const auto said = [this] {
    int count = 0;
    for (const Message& m : notifier_.shown) {
      count += m.text.find("Cannot capture window 10.") != std::string::npos ? 1 : 0;
    }
    return count;
  };
  const auto drawn = [this](int command) {
    const int drawings = view()->full_drawings();
    frame()->OnCommand(command);
    EXPECT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
    EXPECT_TRUE(WaitDrawn());
  };
  for (int i = 0; i < 3; ++i) {
    MarkFullViewStale(kFullViewDrawing);
    drawn(kCmdViewAll);
    drawn(kCmdViewRedraw);
  }
  EXPECT_EQ(said(), 1);
  // Stored again, then failing again: said again.
  ASSERT_TRUE(QDir().rmdir(file));
  drawn(kCmdViewRedraw);
  ASSERT_TRUE(QFile::exists(file));
  ASSERT_TRUE(QFile::remove(file));
  ASSERT_TRUE(QDir().mkdir(file));
  MarkFullViewStale(kFullViewDrawing);
  drawn(kCmdViewAll);
  drawn(kCmdViewRedraw);
  EXPECT_EQ(said(), 2);
  ASSERT_TRUE(QDir().rmdir(file));
}

TEST_F(ViewWorkingTest, AllShowsTheStoredWholeJobUntilSomethingItShowsChanges) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  // The first full view (the job opens at it, unless the window changed its size since).
  frame()->OnCommand(kCmdViewAll);
  ASSERT_TRUE(WaitDrawn());
  QImage whole = Picture();
  struct Step {
    const char* name;
    std::function<void()> change;
    bool drawn;
  };
  const Step steps[] = {
      {"nothing changed", [] {}, false},
      {"background colour",
       [this] {
         WhenModal<QColorDialog>([](QColorDialog* dialog) {
           dialog->setCurrentColor(QColor(10, 20, 30));
           dialog->accept();
         });
         frame()->CommandAction(kCmdBackgroundColor)->trigger();
       },
       true},
      {"nothing changed since the colour", [] {}, false},
      {"fill and outline", [this] { frame()->CommandAction(kCmdFillOutline)->trigger(); }, true},
      {"layer hidden", [this] { frame()->layer_check_box()->click(); }, true},
      {"layer shown again", [this] { frame()->layer_check_box()->click(); }, true},
      {"nothing changed at last", [] {}, false},
  };
  for (const Step& step : steps) {
    frame()->OnCommand(kCmdViewIn);
    Click(QPoint(view()->width() / 3, view()->height() / 3));
    ASSERT_TRUE(WaitDrawn()) << step.name;
    step.change();
    ASSERT_TRUE(WaitDrawn()) << step.name;
    const int drawings = view()->full_drawings();
    frame()->OnCommand(kCmdViewAll);
    ASSERT_TRUE(WaitDrawn()) << step.name;
    EXPECT_EQ(view()->full_drawings(), drawings + (step.drawn ? 1 : 0)) << step.name;
    if (step.drawn) {
      whole = Picture();
    } else {
      EXPECT_EQ(Picture(), whole) << step.name << ": the stored picture of the whole job";
    }
  }
  // A drawing of all of it that is cancelled is not stored: the next All draws again.
  frame()->OnCommand(kCmdViewIn);
  Click(QPoint(view()->width() / 3, view()->height() / 3));
  ASSERT_TRUE(WaitDrawn());
  frame()->CommandAction(kCmdFillOutline)->trigger();
  ASSERT_TRUE(WaitDrawn());
  app_->document().SetPainter([this](QImage* picture, const std::function<bool()>& cancelled) {
    frame()->OnCommand(kCmdCancelDrawing);
    return PaintJob(picture, cancelled);
  });
  frame()->OnCommand(kCmdViewAll);
  ASSERT_TRUE(WaitDrawn());
  app_->document().SetPainter(PaintJob);
  frame()->OnCommand(kCmdViewIn);
  Click(QPoint(view()->width() / 3, view()->height() / 3));
  ASSERT_TRUE(WaitDrawn());
  const int drawings = view()->full_drawings();
  frame()->OnCommand(kCmdViewAll);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(view()->full_drawings(), drawings + 1);
}

// Records each change of the window's enabled state with the cursor shown at that moment.
class EnabledChanges : public QObject {
 public:
  struct Change {
    bool enabled;
    bool wait_cursor;
  };
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange) {
      const QCursor* cursor = QApplication::overrideCursor();
      changes.push_back({static_cast<QWidget*>(watched)->isEnabled(),
                         cursor != nullptr && cursor->shape() == Qt::WaitCursor});
    }
    return false;
  }
  std::vector<Change> changes;
};

TEST_F(ViewWorkingTest, HookRedrawRunsTheHookWithTheWindowDisabledThenDraws) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  EnabledChanges seen;
  view()->installEventFilter(&seen);
  const int drawings = view()->full_drawings();
  EXPECT_TRUE(frame()->OnCommand(kDrawHookRedraw));
  ASSERT_TRUE(WaitDrawn());
  view()->removeEventFilter(&seen);
  EXPECT_EQ(view()->full_drawings(), drawings + 1) << "a redraw follows the hook";
  ASSERT_EQ(seen.changes.size(), 2u);
  EXPECT_FALSE(seen.changes[0].enabled);
  EXPECT_TRUE(seen.changes[0].wait_cursor) << "the wait cursor while the hook runs";
  EXPECT_TRUE(seen.changes[1].enabled);
  EXPECT_TRUE(view()->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ViewWorkingTest, VertexAndFlashQueriesDescribeTheElementUnderTheMouse) {
  struct Case {
    const char* sample;
  };
  for (const Case& c : {Case{"demo.em"}, Case{"demo.dwm"}}) {
    SCOPED_TRACE(c.sample);
    ASSERT_NO_FATAL_FAILURE(StartOn(c.sample));
    const std::vector<GdxWord> flash = FirstFlash();
    ASSERT_GE(flash.size(), 6u);
    const bool round = flash.size() == 6;
    // A rectangle's first corner, or a circle's point on its rim.
    const int32_t vx = round ? flash[2] : flash[0];
    const int32_t vy = round ? flash[3] : flash[1];
    frame()->OnCommand(kCmdVertexPoint);
    EXPECT_EQ(Status(), "Click mouse button at vertex for query");
    Click(At(vx, vy));
    ASSERT_TRUE(work().query().has_hit());
    const std::string vertex =
        "VERT: (" + window().FormatCoord(vx) + "," + window().FormatCoord(vy) + ")";
    EXPECT_TRUE(work().info_window()->isVisible());
    EXPECT_TRUE(work().info_window()->text().contains(QString::fromStdString(vertex)))
        << work().info_window()->text().toStdString();
    EXPECT_EQ(work().info_window()->title(), "VERTEX SEARCH");
    // The flash query at the flash's middle names its centre.
    int64_t sx = 0, sy = 0;
    const size_t corners = round ? 1 : 4;
    for (size_t i = 0; i < corners; ++i) sx += flash[2 * i], sy += flash[2 * i + 1];
    const int32_t cx = static_cast<int32_t>(sx / int64_t(corners));
    const int32_t cy = static_cast<int32_t>(sy / int64_t(corners));
    frame()->OnCommand(kCmdFlashPoint);
    EXPECT_EQ(work().modes().query_kind(), kQueryFlash);
    EXPECT_EQ(Status(), "Click mouse button at marker for query");
    Click(At(cx, cy));
    ASSERT_TRUE(work().query().has_hit());
    const std::string centre =
        "CENTER: (" + window().FormatCoord(cx) + "," + window().FormatCoord(cy) + ")";
    EXPECT_TRUE(work().info_window()->text().contains(QString::fromStdString(centre)))
        << work().info_window()->text().toStdString() << " / " << centre;
    // SPACE goes along the figure.
    const QString before = work().info_window()->text();
    QTest::keyClick(view(), Qt::Key_Space);
    EXPECT_NE(work().info_window()->text(), before);
    EXPECT_TRUE(work().info_window()->text().contains(" of "))
        << work().info_window()->text().toStdString();
    // TAB steps on while the query runs; Measure ends it.
    QTest::keyClick(view(), Qt::Key_Tab);
    EXPECT_TRUE(work().query().has_hit());
    frame()->OnCommand(kCmdMeasure);
    EXPECT_FALSE(work().query().has_hit());
    EXPECT_FALSE(work().info_window()->isVisible());
    // The next sample in a viewer of its own.
    TearDown();
    SetUp();
  }
}

TEST_F(ViewWorkingTest, ModePaneAndCursorFollowTheModeAndTheEditTool) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  QLabel* pane = frame()->mode_pane();
  EXPECT_EQ(pane->text(), "");
  EXPECT_EQ(view()->cursor().shape(), Qt::ArrowCursor);
  CEditTools* tools = app_->edit_tools();
  const auto tool = [tools](int id) {
    return tools->tools_menu()->findChild<QAction*>(QStringLiteral("tool_%1").arg(id));
  };
  const auto command = [this](int id) { return frame()->CommandAction(id); };
  // Each choice as the user makes it, then the mouse over the picture. Copy Window has no
  // cursor of its own: the one before stays.
  const struct {
    QAction* action;
    const char* text;
    Qt::CursorShape cursor;
  } steps[] = {{command(kCmdViewWindow), "ZOOM WINDOW", Qt::CrossCursor},
               {command(kCmdViewIn), "ZOOM IN", Qt::BitmapCursor},
               {command(kCmdViewPan), "PAN", Qt::SizeAllCursor},
               {command(kCmdVertexPoint), "VERTEX QUERY", Qt::WhatsThisCursor},
               {command(kCmdCopyWindow), "COPY WINDOW", Qt::WhatsThisCursor},
               {command(kCmdVertexWindow), "WINDOW QUERY", Qt::WhatsThisCursor},
               {command(kCmdMeasure), "MEASURE", Qt::CrossCursor},
               {tool(kToolText), "TEXT DRAW", Qt::IBeamCursor},
               {tool(kToolDeleteElements), "DELETE", Qt::PointingHandCursor},
               {tool(kToolRectangle2), "RECT. (2 Pt) DRAW", Qt::CrossCursor},
               {tool(kToolRectangle3), "RECT. (3 Pt) DRAW", Qt::CrossCursor}};
  const QPoint middle(view()->width() / 2, view()->height() / 2);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.text);
    ASSERT_NE(step.action, nullptr);
    step.action->trigger();
    QTest::mouseMove(view(), middle);
    EXPECT_EQ(pane->text(), step.text);
    EXPECT_EQ(view()->cursor().shape(), step.cursor);
  }
  // A measure band in progress keeps its mode's text.
  frame()->OnCommand(kCmdCancelDrawing);
  EXPECT_EQ(pane->text(), "MEASURE");
  Click(middle);
  QTest::mouseMove(view(), middle + QPoint(20, 20));
  ASSERT_TRUE(work().modes().band_pending());
  EXPECT_EQ(pane->text(), "MEASURE");
  // Zoom in and out show different glasses.
  frame()->OnCommand(kCmdViewIn);
  const QImage glass_in = view()->cursor().pixmap().toImage();
  frame()->OnCommand(kCmdViewOut);
  EXPECT_EQ(pane->text(), "ZOOM OUT");
  EXPECT_NE(view()->cursor().pixmap().toImage(), glass_in);
  // Without a mode the pane is empty and the arrow comes back.
  frame()->OnCommand(kCmdFileClose);
  EXPECT_EQ(pane->text(), "");
  EXPECT_EQ(view()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ViewWorkingTest, EveryMenuCommandIsReachableWithItsPromptAndEnablingRule) {
  struct Row {
    int id;
    const char* prompt;
    bool without_job;
    bool with_job;
  };
  const Row rows[] = {
      {kCmdViewAll, "Display drawing to extents", false, true},
      {kCmdViewWindow, "Press mouse button at zoom WINDOW corner and release it at a 2nd corner ",
       false, true},
      {kCmdViewIn, nullptr, false, true},
      {kCmdViewOut, nullptr, false, true},
      {kCmdViewLast, nullptr, false, true},
      {kCmdViewRedraw, nullptr, false, true},
      {kCmdViewPan, nullptr, false, true},
      {kCmdTearOff, "Display the tearoff menu", false, true},
      {kCmdCopyWindow, "Press mouse button, hold it, and drag to copy window to clipboard", false,
       true},
      {kCmdCopyAll, "Copy current display to the clipboard", false, true},
      {kCmdMeasure, "Press mouse button at measure WINDOW corner and release it at a 2nd corner ",
       false, true},
      {kCmdVertexPoint, "Click mouse button at vertex for query", false, true},
      {kCmdVertexWindow,
       "Press mouse button at measure query corner and release it at a 2nd corner ", false, true},
      {kCmdFlashPoint, nullptr, false, true},
      {kCmdFlashWindow, nullptr, false, true},
      {kCmdCaptureFirst, nullptr, false, true},
      {kCmdCaptureFirst + 9, nullptr, false, true},
      {kCmdRecallFirst, nullptr, false, false},
      {kCmdFillOutline, "Toggle the display between fill and outline mode", true, true},
      {kCmdFileNew, "Create a new document", true, true},
      {kCmdFileOpen, "Open an existing document", true, true},
      {kCmdFileClose, "Close current job", true, true},
      {kCmdAppAbout, nullptr, true, true},
  };
  WriteFile("demo.em", ReadFile(std::string(SAMPLES_DIR) + "/demo.em"));
  WriteFile("demo.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("demo.em") +
                            "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  app_ = std::make_unique<CLumraApp>();
  const std::vector<std::string> words = {"vexil"};
  app_->InitInstance(ParseCommandLine(words, temp_.path(), true));
  ASSERT_TRUE(WaitFor([&] { return frame() != nullptr && frame()->isVisible(); }));
  for (int pass = 0; pass < 2; ++pass) {
    frame()->UpdateCommandStates();
    for (const Row& row : rows) {
      SCOPED_TRACE(row.id);
      QAction* action = frame()->CommandAction(row.id);
      ASSERT_NE(action, nullptr);
      EXPECT_EQ(action->isEnabled(), pass == 0 ? row.without_job : row.with_job);
      if (row.prompt != nullptr) {
        EXPECT_EQ(action->statusTip(), row.prompt);
      }
    }
    if (pass == 0) {
      ASSERT_TRUE(app_->OpenDocumentFile(Path("demo.job")));
      ASSERT_TRUE(WaitDrawn());
    }
  }
  // Each drawing command reaches its mode, with the mode's prompt in the status line; the
  // Vertex and Flash commands choose the query kind.
  const struct {
    int id;
    int32_t mode;
    int32_t kind;
  } reached[] = {{kCmdViewWindow, 8204, -1}, {kCmdViewIn, 8206, -1},
                 {kCmdViewOut, 8207, -1},    {kCmdViewPan, 8270, -1},
                 {kCmdMeasure, 8212, -1},    {kCmdCopyWindow, 8216, -1},
                 {kCmdVertexPoint, 8214, 0}, {kCmdVertexWindow, 8215, 0},
                 {kCmdFlashPoint, 8214, 4},  {kCmdFlashWindow, 8215, 4}};
  for (const auto& r : reached) {
    SCOPED_TRACE(r.id);
    frame()->CommandAction(r.id)->trigger();
    EXPECT_EQ(work().modes().mode(), r.mode);
    if (r.kind >= 0) {
      EXPECT_EQ(work().modes().query_kind(), r.kind);
    }
    EXPECT_EQ(Status().toStdString(), PromptOfMode(r.mode, work().modes().query_kind()).text);
  }
  // The tear-off window shows in the frame's bottom-right corner and sends the view's
  // commands.
  frame()->CommandAction(kCmdTearOff)->trigger();
  CViewTearDlg* tear = work().tear_off();
  ASSERT_TRUE(tear->isVisible());
  EXPECT_EQ(tear->accessibleName(), "View");
  // In the frame's bottom-right corner, and on the screen.
  const QRect placed = tear->frameGeometry();
  EXPECT_TRUE(frame()->frameGeometry().contains(placed));
  EXPECT_TRUE(frame()->screen()->availableGeometry().contains(placed));
  EXPECT_GT(placed.center().x(), frame()->frameGeometry().center().x());
  EXPECT_GT(placed.center().y(), frame()->frameGeometry().center().y());
  QTest::mouseClick(tear->button(8231), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
  EXPECT_EQ(work().modes().mode(), 8206);
  EXPECT_TRUE(tear->button(8231)->isChecked());
  QTest::mouseClick(tear->button(8235), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
  EXPECT_EQ(work().modes().mode(), 8270);
  EXPECT_FALSE(tear->button(8231)->isChecked());
  for (QWidget* widget : tear->findChildren<QWidget*>()) {
    EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
  }
  for (QWidget* widget : work().info_window()->findChildren<QWidget*>()) {
    if (widget->objectName().startsWith("qt_")) continue;
    EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
  }
}

// The Info and View windows are placed in the frame's corner once: moved by the user, closed
// and shown again, they come back where the user put them.
TEST_F(ViewWorkingTest, InfoAndViewWindowsStayWhereTheUserMovedThem) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  CViewTearDlg* tear = work().tear_off();
  CViewInfoDlg* info = work().info_window();
  const auto measure = [this] {
    QTest::keyClick(view(), Qt::Key_M);
    Click(QPoint(100, 300));
    Click(QPoint(400, 100));
    QTest::keyClick(view(), Qt::Key_Escape);
  };
  struct Case {
    const char* name;
    QWidget* window;
    std::function<void()> show;
  } cases[] = {{"View", tear, [this] { frame()->CommandAction(kCmdTearOff)->trigger(); }},
               {"Info", info, measure}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.show();
    ASSERT_TRUE(c.window->isVisible());
    const QPoint moved = c.window->pos() - QPoint(120, 90);
    c.window->move(moved);
    ASSERT_EQ(c.window->pos(), moved);
    c.window->close();
    ASSERT_FALSE(c.window->isVisible());
    c.show();
    ASSERT_TRUE(c.window->isVisible());
    EXPECT_EQ(c.window->pos(), moved);
  }
}

TEST_F(ViewWorkingTest, OneLetterAcceleratorsNeverFireWhileTypingInATextField) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  auto* field = new QLineEdit(frame()->toolbar());
  field->setAccessibleName("Field");
  frame()->toolbar()->addWidget(field);
  field->show();
  field->setFocus();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == field; }));
  QTest::keyClicks(field, "wmp+-rfo");
  EXPECT_EQ(field->text(), "wmp+-rfo");
  EXPECT_EQ(work().modes().mode(), 0);
  EXPECT_EQ(AppState().fill_mode, 1) << "F and O left the fill alone";
  // Ctrl keys still work there; back in the drawing the letters are commands.
  QTest::keyClick(field, Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(work().modes().mode(), 8216);
  view()->setFocus();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == view(); }));
  QTest::keyClick(view(), Qt::Key_P);
  EXPECT_EQ(work().modes().mode(), 8270);
  // "+" and "-" as the keyboard sends them (with Shift for "+" on most layouts).
  QTest::keyClick(view(), Qt::Key_Plus, Qt::ShiftModifier);
  EXPECT_EQ(work().modes().mode(), 8206);
  QTest::keyClick(view(), Qt::Key_Minus);
  EXPECT_EQ(work().modes().mode(), 8207);
  QTest::keyClick(view(), Qt::Key_Plus);
  EXPECT_EQ(work().modes().mode(), 8206);
  // Delete and Undo are the edit tools' keys; the application installs the tools.
  frame()->UpdateCommandStates();
  EXPECT_TRUE(frame()->CommandAction(kCmdEditUndo)->isEnabled());
  frame()->SetEditTools({});
  frame()->UpdateCommandStates();
  EXPECT_FALSE(frame()->CommandAction(kCmdEditUndo)->isEnabled()) << "they need the tools";
  std::vector<int> tools;
  frame()->SetEditTools({[&tools](int id) {
                           if (id != kToolDelete && id != kToolUndo) return false;
                           tools.push_back(id);
                           return true;
                         },
                         [] { return false; }, [] { return 0; }});
  frame()->UpdateCommandStates();
  QTest::keyClick(view(), Qt::Key_Delete);
  QTest::keyClick(view(), Qt::Key_U);
  QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier);
  field->setFocus();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == field; }));
  QTest::keyClick(field, Qt::Key_U);
  QTest::keyClick(field, Qt::Key_Delete);
  EXPECT_EQ(tools, (std::vector<int>{kToolDelete, kToolUndo, kToolUndo}));
}

TEST_F(ViewWorkingTest, ScrollBarsShowTheViewAndMoveIt) {
  ASSERT_NO_FATAL_FAILURE(StartOn("demo.em"));
  QScrollBar* bars[2] = {view()->scroll_bar(false), view()->scroll_bar(true)};
  // Both bars show the state's ranges and positions once the file is drawn.
  auto expect_bars_follow = [&](const char* when) {
    for (const bool vertical : {false, true}) {
      QScrollBar* bar = bars[vertical];
      const ZoomView& e = window().current_view();
      EXPECT_TRUE(bar->isVisible()) << when;
      EXPECT_EQ(bar->minimum(), window().ScrollMinimum(vertical)) << when;
      EXPECT_EQ(bar->maximum(), window().ScrollMaximum(vertical)) << when;
      EXPECT_EQ(bar->value(), window().ScrollPosition(vertical)) << when;
      EXPECT_EQ(bar->pageStep(), vertical ? e.h : e.w) << when;
    }
  };
  expect_bars_follow("after loading");
  EXPECT_EQ(bars[0]->accessibleName(), "Horizontal scroll bar");
  EXPECT_EQ(bars[1]->accessibleName(), "Vertical scroll bar");
  EXPECT_LT(bars[0]->minimum(), 0);
  EXPECT_GT(bars[1]->maximum(), 0);

  // The down arrow scrolls a tenth of the view: the flash moves up by as much on the screen.
  const std::vector<GdxWord> flash = FirstFlash();
  ASSERT_FALSE(flash.empty());
  const int32_t cx = (flash[0] + flash[4]) / 2, cy = (flash[1] + flash[5]) / 2;
  const QImage before = Picture();
  const QPoint at_before = At(cx, cy);
  const QRgb background = view()->picture().color(kBackgroundColourIndex);
  ASSERT_NE(before.pixel(at_before), background);
  const ZoomView first = window().current_view();
  const int history = window().history_count();
  QTest::keyClick(view(), Qt::Key_Down);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(window().current_view().y, first.y + first.h / 10);
  EXPECT_EQ(window().current_view().x, first.x);
  EXPECT_EQ(window().history_count(), history + 1);
  const QImage after_line = Picture();
  const QPoint at_after = At(cx, cy);
  EXPECT_EQ(at_after.x(), at_before.x());
  EXPECT_NEAR(at_before.y() - at_after.y(), window().view_height() / 10, 2);
  ASSERT_TRUE(after_line.rect().contains(at_after));
  EXPECT_EQ(after_line.pixel(at_after), before.pixel(at_before));
  EXPECT_NE(after_line, before);
  expect_bars_follow("after the arrow key");

  // A click in the vertical bar's page area below the thumb moves the view down a page.
  QScrollBar* vertical = bars[1];
  const ZoomView lined = window().current_view();
  const int32_t lined_position = window().ScrollPosition(true);
  QTest::mouseClick(vertical, Qt::LeftButton, Qt::NoModifier,
                    QPoint(vertical->width() / 2, vertical->height() * 9 / 10));
  ASSERT_TRUE(WaitDrawn());
  // A page is the view's height, held within the range: here it stops at the range's end,
  // where the job's bottom edge meets the view's top.
  ASSERT_GT(lined_position + lined.h, window().ScrollMaximum(true));
  EXPECT_EQ(window().ScrollPosition(true), window().ScrollMaximum(true));
  EXPECT_EQ(window().current_view().y - lined.y, window().ScrollMaximum(true) - lined_position);
  EXPECT_EQ(window().history_count(), history + 2);
  expect_bars_follow("after the page step");
  EXPECT_LT(At(cx, cy).y(), 0) << "the flash lies above the view";
  EXPECT_NE(Picture(), after_line);
  // Top brings the job's top back.
  vertical->triggerAction(QAbstractSlider::SliderToMinimum);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(window().current_view().y, first.y);
  EXPECT_EQ(Picture(), before);
  expect_bars_follow("after top");

  // Dragging the horizontal thumb moves the view with it; the redraw follows its release.
  QScrollBar* horizontal = bars[0];
  const int drawings = view()->full_drawings();
  const int32_t x_before = window().current_view().x;
  const QPoint thumb(horizontal->width() / 2, horizontal->height() / 2);
  QTest::mousePress(horizontal, Qt::LeftButton, Qt::NoModifier, thumb);
  QTest::mouseMove(horizontal, thumb + QPoint(20, 0));
  QTest::mouseMove(horizontal, thumb + QPoint(40, 0));
  EXPECT_GT(horizontal->sliderPosition(), 0);
  EXPECT_EQ(window().current_view().x - x_before, horizontal->sliderPosition())
      << "the view tracks the thumb";
  EXPECT_FALSE(view()->redraw_pending()) << "the drawing waits for the release";
  QTest::mouseRelease(horizontal, Qt::LeftButton, Qt::NoModifier, thumb + QPoint(40, 0));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_GT(view()->full_drawings(), drawings);
  EXPECT_GT(window().current_view().x, x_before);
  EXPECT_NE(Picture(), before);
  expect_bars_follow("after the drag");

  // A zoom moves and resizes both thumbs without counting as a scroll of the user.
  frame()->OnCommand(kCmdViewIn);
  Click(QPoint(view()->width() / 3, view()->height() / 3));
  ASSERT_TRUE(WaitDrawn());
  const int zoomed_history = window().history_count();
  expect_bars_follow("after zooming in");
  EXPECT_LT(bars[1]->pageStep(), first.h);
  QTest::qWait(50);
  EXPECT_EQ(window().history_count(), zoomed_history);

  // Closing the file hides both bars.
  frame()->OnCommand(kCmdFileClose);
  EXPECT_TRUE(WaitFor([&] { return bars[0]->isHidden() && bars[1]->isHidden(); }));
}

}  // namespace
}  // namespace kavrinth
