// The edit tools as a user drives them on the real window: picks by crossing, window and
// object with Include and Exclude, delete, rectangles and text added with the mouse, points
// snapped to the vertices under the cursor or refused off them, undo, saving into the
// layer's own file and reading it back, a save that cannot write, and the Merge Layers
// dialog merging two WF2 layers into a file that reads back.
#include "viewer/app/edit_tools.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/draw_interaction.h"
#include "viewer/app/layer_table_dlg.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/merge_layers_dlg.h"
#include "viewer/app/small_dialogs.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/pg_scan.h"
#include "viewer/model/tests/wf2_test_support.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

// Three flashes: 30x10 at (100, 200), 30x10 at (300, 200), 10x10 at (500, 500).
const std::string kThreeFlashes = "<X100Y200W30V10U0SX300SX500Y500W10S\nZ";

class EditToolsTest : public VexilAppTest {
 protected:
  // Opens a job of the PG file a.em in red.
  void StartWithFlashes(const std::string& flashes = kThreeFlashes) {
    WriteFile("a.em", flashes);
    WriteFile("a.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("a.em") +
                           "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
    app_ = std::make_unique<CLumraApp>();
    app_->InitInstance(
        ParseCommandLine(std::vector<std::string>{"vexil", "a.job"}, temp_.path(), true));
    ASSERT_TRUE(WaitDrawn());
    tools_ = app_->edit_tools();
    ASSERT_NE(tools_, nullptr);
  }
  // The job m.job of two WF2 layers, each one strip of two frames: a triangle in the first
  // frame of a.wf2 and a rectangle in the second frame of b.wf2; all three in the test's
  // directory unless another is given.
  void StartOnTwoWf2Layers(const std::string& directory = "") {
    const std::string in = directory.empty() ? temp_.path() : directory;
    const std::string a = in + "/a.wf2", b = in + "/b.wf2";
    testing::WriteBytes(a, testing::BuildWf2(wf2_header_, first_frames_));
    testing::WriteBytes(b, testing::BuildWf2(wf2_header_, second_frames_));
    test_support::WriteBytes(in + "/m.job",
                             "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + a +
                                 "\"\r\nLAYER_1=ON,0,255,0,Paint \"" + b +
                                 "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
    app_ = std::make_unique<CLumraApp>();
    app_->InitInstance(
        ParseCommandLine(std::vector<std::string>{"vexil", in + "/m.job"}, temp_.path(), true));
  }
  const Wf2Header wf2_header_ = testing::SmallHeader(1, 2, false);
  const std::vector<testing::Wf2Frame> first_frames_ = {{{{1, 1}, {5, 1}, {5, 4}}}, {}};
  const std::vector<testing::Wf2Frame> second_frames_ = {{}, {{{2, 2}, {6, 2}, {6, 7}, {2, 7}}}};
  static bool WaitDrawn() {
    return WaitFor([] {
      return AppState().job_loaded && AppState().picture_valid && !AppState().drawing_active;
    });
  }
  QPoint At(int32_t x, int32_t y) const {
    const LogicalPoint p = AppDisplay().window.WorldToLogical(x, y);
    return {p.x, p.y};
  }
  QColor ColourAt(int32_t x, int32_t y) const {
    const QPoint p = At(x, y);
    return view()->grab().toImage().pixelColor(p);
  }
  // Chooses a Tools menu row as the user does.
  void Choose(int id) {
    QAction* action = tools_->tools_menu()->findChild<QAction*>(QStringLiteral("tool_%1").arg(id));
    ASSERT_NE(action, nullptr) << id;
    action->trigger();
  }
  void Click(int32_t x, int32_t y) { ClickAt(At(x, y)); }
  void ClickAt(QPoint p) { QTest::mouseClick(view(), Qt::LeftButton, {}, p); }
  void Pick(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Click(x0, y0);
    Click(x1, y1);
  }
  // A radio button is clicked on its indicator, where the user clicks it.
  static void ClickRadio(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  }
  static void Press(QDialog* dialog, QDialogButtonBox::StandardButton which) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
  }
  static std::vector<FlashValues> FlashesOf(GdxHandle library) {
    std::vector<FlashValues> flashes;
    for (GdxEntryCursor c(GdxLibraryFromHandle(library)); c.Valid(); c.Next()) {
      FlashValues f;
      if (FlashOfElement(c.Type(), c.Data(), &f)) flashes.push_back(f);
    }
    return flashes;
  }
  std::vector<FlashValues> ReadBack(const std::string& path) const {
    const GdxHandle handle = ScanPgFile(nullptr, path, 900);
    std::vector<FlashValues> flashes = FlashesOf(handle);
    GdxFreeLibrary(handle);
    return flashes;
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
  CEditTools* tools_ = nullptr;
};

TEST_F(EditToolsTest, PicksDeleteUndoAddAndSaveIntoTheLayersOwnFile) {
  StartWithFlashes();
  const QColor red(255, 0, 0);
  ASSERT_EQ(ColourAt(300, 200), red);
  EditStore& store = tools_->store();

  Choose(kToolDeleteElements);
  CSelectionDlg* selection = tools_->selection_dialog();
  ASSERT_TRUE(selection->isVisible());
  EXPECT_FALSE(selection->isModal());
  EXPECT_TRUE(selection->include_button()->isChecked());
  // Crossing over the first flash's right edge: only the hit is drawn again, highlighted.
  const int drawings = view()->full_drawings();
  Pick(110, 190, 130, 210);
  ASSERT_TRUE(store.selection_open());
  EXPECT_EQ(store.open_group()->hits.size(), 1u);
  EXPECT_EQ(view()->full_drawings(), drawings);
  EXPECT_NE(ColourAt(100, 200), red);
  EXPECT_EQ(ColourAt(300, 200), red);
  // Window: a window that only crosses the second flash takes nothing; one around it does.
  ClickRadio(selection->type_button(1));
  Pick(290, 190, 350, 210);
  EXPECT_EQ(store.open_group()->hits.size(), 1u);
  Pick(270, 180, 330, 220);
  EXPECT_EQ(store.open_group()->hits.size(), 2u);
  // Object: the second click picks the edge under it.
  ClickRadio(selection->type_button(2));
  Pick(100, 300, 505, 500);
  EXPECT_EQ(store.open_group()->hits.size(), 3u);
  // Exclude takes the third one out again.
  ClickRadio(selection->exclude_button());
  ClickRadio(selection->type_button(0));
  Pick(490, 490, 510, 510);
  EXPECT_EQ(store.open_group()->hits.size(), 2u);
  Press(selection, QDialogButtonBox::Ok);
  EXPECT_FALSE(selection->isVisible());
  EXPECT_EQ(tools_->current_tool(), 0);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_NE(ColourAt(100, 200), red) << "a deleted flash is not drawn";
  EXPECT_NE(ColourAt(300, 200), red);
  EXPECT_EQ(ColourAt(500, 500), red);

  // A rectangle by two corners, with the band shown between the clicks.
  Choose(kToolRectangle2);
  Click(200, 300);
  EXPECT_EQ(tools_->band_mode(), 1);
  QTest::mouseMove(view(), At(260, 340));
  EXPECT_EQ(tools_->band_end(), At(260, 340));
  Click(260, 340);
  EXPECT_EQ(tools_->band_mode(), 0);
  ASSERT_EQ(store.EditLibraries(0).size(), 1u);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(ColourAt(230, 320), red) << "the added rectangle is drawn in its layer's colour";

  // Undo the rectangle, then the deletion; draw the rectangle again.
  Choose(kToolUndo);
  EXPECT_TRUE(store.EditLibraries(0).empty());
  Choose(kToolUndo);
  EXPECT_FALSE(store.HasEdits());
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(ColourAt(300, 200), red);
  Choose(kToolUndo);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_EQ(notifier_.shown.back().text, "Nothing to undo.");
  Choose(kToolRectangle2);
  Pick(200, 300, 260, 340);
  app_->frame()->OnCommand(kToolEnd);
  Choose(kToolDeleteElements);
  Pick(80, 190, 120, 210);
  Press(tools_->selection_dialog(), QDialogButtonBox::Ok);

  // Save: Yes with the layer's own file writes it in place; the job is read again.
  std::vector<SaveTarget> offered;
  tools_->SetSaveChangesDialog([&offered](std::vector<SaveTarget>* targets) {
    offered = *targets;
    return kAnswerYes;
  });
  Choose(kToolSave);
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0].layer, 0);
  EXPECT_EQ(offered[0].path, Path("a.em"));
  EXPECT_FALSE(store.HasEdits());
  ASSERT_TRUE(WaitDrawn());
  const std::vector<FlashValues> saved = ReadBack(Path("a.em"));
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_EQ(saved[0], (FlashValues{30, 10, 0, 300, 200}));
  EXPECT_EQ(saved[1], (FlashValues{10, 10, 0, 500, 500}));
  EXPECT_EQ(saved[2], (FlashValues{60, 40, 0, 230, 320}));
  EXPECT_EQ(ColourAt(230, 320), red) << "the reloaded file holds the rectangle";
  EXPECT_EQ(ColourAt(300, 200), red);
}

TEST_F(EditToolsTest, CoordinatePanesFollowTheCursorWhileAToolIsInUse) {
  StartWithFlashes();
  QLabel* x_pane = nullptr;
  QLabel* y_pane = nullptr;
  for (QLabel* label : frame()->statusBar()->findChildren<QLabel*>()) {
    if (label->accessibleName() == "X") x_pane = label;
    if (label->accessibleName() == "Y") y_pane = label;
  }
  ASSERT_NE(x_pane, nullptr);
  ASSERT_NE(y_pane, nullptr);
  const DrawWndState& window = AppDisplay().window;
  const auto expect_panes_at = [&](QPoint p) {
    int32_t x = 0, y = 0;
    window.LogicalToWorld(LogicalPoint{p.x(), p.y()}, &x, &y);
    EXPECT_EQ(x_pane->text().toStdString(), window.FormatCoord(x));
    EXPECT_EQ(y_pane->text().toStdString(), window.FormatCoord(y));
  };
  Choose(kToolRectangle2);
  // The first corner, the band's moves, and the second corner.
  const QPoint first = At(100, 200);
  ClickAt(first);
  expect_panes_at(first);
  ASSERT_EQ(tools_->click_count(), 1);
  for (const QPoint p : {At(300, 200), At(500, 500)}) {
    QTest::mouseMove(view(), p);
    expect_panes_at(p);
  }
  const QPoint second = At(310, 210);
  ClickAt(second);
  expect_panes_at(second);
  EXPECT_EQ(tools_->click_count(), 0);
}

TEST_F(EditToolsTest, APickedElementKeepsTheGridPointsOverIt) {
  // The display outlives the test: the grid goes off again for the tests after it.
  struct GridOff {
    ~GridOff() { AppDisplay().settings.grid_on = false; }
  } grid_off;
  StartWithFlashes();
  // Grid On with a spacing of 0.1 (ten units) in Snap Settings: a grid point on the first
  // flash's centre.
  WhenModal<CSnapSettingsDlg>([](CSnapSettingsDlg* dialog) {
    FindControl<QLineEdit>(dialog, kSnapSpacing)->setText("0.1");
    FindControl<QCheckBox>(dialog, kSnapGridOn)->click();
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
  });
  ASSERT_TRUE(frame()->OnCommand(kCmdSnapSettings));
  ASSERT_TRUE(WaitDrawn());
  ASSERT_EQ(AppDisplay().settings.grid_spacing, 10);
  const QColor black(0, 0, 0), red(255, 0, 0);
  ASSERT_EQ(ColourAt(100, 200), black) << "the grid point over the flash";
  ASSERT_EQ(ColourAt(105, 202), red);
  Choose(kToolDeleteElements);
  const int drawings = view()->full_drawings();
  Pick(110, 190, 130, 210);
  ASSERT_EQ(tools_->store().open_group()->hits.size(), 1u);
  EXPECT_EQ(view()->full_drawings(), drawings);
  EXPECT_NE(ColourAt(105, 202), red) << "the flash is highlighted";
  EXPECT_EQ(ColourAt(100, 200), black) << "and the grid point still over it";
}

TEST_F(EditToolsTest, UndoDrawsOnlyTheFlashesItBringsBackAndNothingWhenNothingIsLeft) {
  StartWithFlashes();
  const QColor red(255, 0, 0);
  Choose(kToolDeleteElements);
  Pick(80, 190, 120, 210);
  Press(tools_->selection_dialog(), QDialogButtonBox::Ok);
  ASSERT_TRUE(WaitDrawn());
  ASSERT_NE(ColourAt(100, 200), red);
  const int drawings = view()->full_drawings();
  Choose(kToolUndo);
  EXPECT_FALSE(view()->redraw_pending());
  EXPECT_EQ(ColourAt(100, 200), red) << "the flash is back";
  EXPECT_EQ(ColourAt(300, 200), red);
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(view()->full_drawings(), drawings) << "without a full drawing";
  EXPECT_FALSE(tools_->store().HasEdits());
  // Nothing left to undo: the message, and the picture stays as it is.
  Choose(kToolUndo);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_EQ(notifier_.shown.back().text, "Nothing to undo.");
  EXPECT_TRUE(AppState().picture_valid);
  EXPECT_FALSE(view()->redraw_pending());
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(view()->full_drawings(), drawings) << "nothing is drawn";
}

TEST_F(EditToolsTest, EndPointSnapProposesAVertexThatTabAndSpaceStepAndTheRightButtonAccepts) {
  // Two 100x60 flashes at (200, 200) and (500, 200), and a 20x20 one at (262, 242) whose
  // bottom-left corner lies 2 units off the first flash's top-right corner.
  StartWithFlashes("<X200Y200W100V60U0SX500SX262Y242W20V20U0SZ");
  DrawWndState& window = AppDisplay().window;
  ASSERT_LT(2 * window.LogicalLengthToWorld(8) + 4, 60) << "one flash corner in the aperture";
  ASSERT_GE(window.LogicalLengthToWorld(8), 2) << "both close corners in the aperture";
  // Between the first flash's top-right corner and the small flash's bottom-left one.
  const QPoint near_first = At(251, 231);
  const QPoint near_second = At(450, 170) + QPoint(-2, -2);
  const QPoint between = At(350, 200);
  const QColor red(255, 0, 0), white(255, 255, 255);
  EditStore& store = tools_->store();
  CDrawInteraction& work = view()->interaction();
  CViewInfoDlg* info = work.info_window();
  const QString refusal = "\nInvalid point.  Click on insertion\nor end point";
  auto selected = [info] { return info->selected_help().replace(QChar(0x2029), '\n'); };
  auto right_click = [this](QPoint p) { QTest::mouseClick(view(), Qt::RightButton, {}, p); };

  AppState().settings.snap_end_point = 1;
  Choose(kToolRectangle2);
  ClickAt(between);
  EXPECT_EQ(tools_->click_count(), 0) << "a point off every vertex is refused";
  EXPECT_TRUE(info->isVisible());
  EXPECT_EQ(info->help(), refusal);
  // A click near a vertex proposes it: marked, its element highlighted, the right button's
  // line of the help selected; nothing is taken yet.
  ClickAt(near_first);
  ASSERT_EQ(tools_->click_count(), 1);
  EXPECT_EQ(tools_->band_points()[0], At(250, 230)) << "the band starts on the vertex";
  ASSERT_TRUE(work.query().has_hit());
  EXPECT_TRUE(info->text().contains("VERT:")) << info->text().toStdString();
  EXPECT_EQ(selected(), "RIGHT MOUSE: Accept Vertex");
  EXPECT_EQ(ColourAt(200, 200), white) << "the proposed vertex's flash is highlighted";
  // TAB: the next close vertex becomes the proposal: the first flash's closing point (its
  // first corner again), then the small flash's corner.
  QTest::keyClick(view(), Qt::Key_Tab);
  EXPECT_EQ(tools_->band_points()[0], At(250, 230));
  EXPECT_TRUE(info->text().contains("5 of 5")) << info->text().toStdString();
  QTest::keyClick(view(), Qt::Key_Tab);
  EXPECT_EQ(tools_->band_points()[0], At(252, 232));
  EXPECT_EQ(ColourAt(200, 200), red);
  EXPECT_EQ(ColourAt(262, 242), white);
  EXPECT_EQ(selected(), "RIGHT MOUSE: Accept Vertex");
  // A click elsewhere takes the proposal first; off every vertex it is then refused: the
  // help the vertex left, with the refusal appended and selected.
  ClickAt(between);
  EXPECT_EQ(tools_->click_count(), 1);
  EXPECT_EQ(tools_->band_points()[0], At(252, 232)) << "the proposal was taken";
  EXPECT_FALSE(work.query().has_hit());
  EXPECT_EQ(ColourAt(262, 242), red) << "a taken vertex is no longer highlighted";
  const QString help = "TAB: Next Close Vertex\nSPACE: Trace Figure";
  EXPECT_EQ(info->help(), help + refusal);
  EXPECT_EQ(selected(), refusal);
  EXPECT_TRUE(info->text().isEmpty());
  ClickAt(between);
  EXPECT_EQ(info->help(), help + refusal) << "the refusal is not appended twice";
  EXPECT_EQ(tools_->click_count(), 1);
  // Started again: proposed, stepped back by TAB to the first flash, accepted with the
  // right button.
  Choose(kToolRectangle2);
  EXPECT_EQ(tools_->click_count(), 0);
  ClickAt(near_first);
  for (int i = 0; i < 3; ++i) QTest::keyClick(view(), Qt::Key_Tab);
  EXPECT_EQ(tools_->band_points()[0], At(250, 230)) << "TAB wraps to the first vertex";
  EXPECT_TRUE(info->text().contains("1 of 5")) << info->text().toStdString();
  // SPACE goes along the figure: the proposal moves round the first flash's other corners,
  // its element staying highlighted, and comes back to the vertex it started on.
  const std::vector<QPoint> others = {At(150, 170), At(250, 170), At(150, 230)};
  std::vector<QPoint> traced;
  for (int step = 2; step <= 4; ++step) {
    QTest::keyClick(view(), Qt::Key_Space);
    EXPECT_TRUE(info->text().contains(QStringLiteral("%1 of 5").arg(step)))
        << info->text().toStdString();
    const QPoint proposed = tools_->band_points()[0];
    EXPECT_TRUE(std::find(others.begin(), others.end(), proposed) != others.end() &&
                std::find(traced.begin(), traced.end(), proposed) == traced.end())
        << "step " << step << " proposes " << proposed.x() << "," << proposed.y();
    traced.push_back(proposed);
  }
  EXPECT_EQ(ColourAt(200, 200), white);
  QTest::keyClick(view(), Qt::Key_Space);
  EXPECT_EQ(tools_->band_points()[0], At(250, 230));
  EXPECT_TRUE(info->text().contains("5 of 5")) << info->text().toStdString();
  EXPECT_EQ(tools_->click_count(), 1);
  EXPECT_TRUE(store.EditLibraries(0).empty()) << "a proposal adds nothing";
  right_click(near_first);
  EXPECT_FALSE(work.query().has_hit());
  EXPECT_EQ(ColourAt(200, 200), red) << "an accepted vertex is no longer highlighted";
  EXPECT_EQ(tools_->click_count(), 1);
  EXPECT_TRUE(store.EditLibraries(0).empty());
  ClickAt(near_second);
  EXPECT_EQ(tools_->click_count(), 2);
  EXPECT_TRUE(store.EditLibraries(0).empty()) << "a proposal adds nothing";
  right_click(near_second);
  EXPECT_EQ(tools_->click_count(), 0);
  ASSERT_EQ(store.EditLibraries(0).size(), 1u);
  EXPECT_EQ(FlashesOf(store.EditLibraries(0)[0]),
            (std::vector<FlashValues>{{200, 60, 0, 350, 200}}));
  Choose(kToolUndo);
  app_->frame()->OnCommand(kToolEnd);
  EXPECT_FALSE(info->isVisible()) << "ending the tool puts the info window away";

  // Snapping off: the clicks take the points under the cursor.
  AppState().settings.snap_end_point = 0;
  Choose(kToolRectangle2);
  const QPoint free_corner = At(320, 185);
  ClickAt(free_corner);
  ClickAt(At(380, 215));
  int32_t x0 = 0, y0 = 0;
  window.LogicalToWorld({free_corner.x(), free_corner.y()}, &x0, &y0);
  ASSERT_EQ(store.EditLibraries(0).size(), 1u);
  // Snapping on again: the added rectangle's corner is a vertex to snap to.
  AppState().settings.snap_end_point = 1;
  ClickAt(free_corner + QPoint(1, 1));
  ASSERT_EQ(tools_->click_count(), 1) << info->help().toStdString();
  EXPECT_EQ(tools_->band_points()[0], At(x0, y0));
  app_->frame()->OnCommand(kToolEnd);

  // The Text tool: a height typed while a corner is proposed drops the proposal; the one
  // point of the text is then proposed and accepted like any other.
  Choose(kToolText);
  CAddTextDlg* dialog = tools_->text_dialog();
  QTest::keyClicks(dialog->text_edit(), "HI");
  ClickAt(near_second);
  ASSERT_EQ(tools_->click_count(), 1);
  QTest::keyClicks(dialog->height_edit(), "0.4");
  EXPECT_EQ(tools_->click_count(), 0);
  const size_t before = store.EditLibraries(0).size();
  ClickAt(near_second);
  EXPECT_EQ(store.EditLibraries(0).size(), before);
  right_click(near_second);
  ASSERT_EQ(store.EditLibraries(0).size(), before + 1);
  GdxLibrary* text = GdxLibraryFromHandle(store.EditLibraries(0).back());
  const GdxRect box = GdxFindStructureById(text, text->current_structure_id)->extents;
  EXPECT_NEAR(box.min_x, 450, 8) << "the text starts at the accepted vertex";
  EXPECT_NEAR(box.min_y, 170, 8);
  Press(dialog, QDialogButtonBox::Ok);
}

// Choosing a tool ends the query under way: its element is drawn as it was and its info
// window goes; the query's mode comes back with the tool's end.
TEST_F(EditToolsTest, ChoosingAToolEndsTheQueryUnderWay) {
  StartWithFlashes();
  const QColor red(255, 0, 0);
  CDrawInteraction& work = view()->interaction();
  for (const int tool : {kToolRectangle2, kToolDeleteElements}) {
    ASSERT_TRUE(app_->frame()->OnCommand(kCmdVertexPoint));
    Click(86, 196);  // by the first flash's lower left corner
    ASSERT_TRUE(work.query().has_hit()) << tool;
    EXPECT_TRUE(work.info_window()->isVisible());
    EXPECT_NE(ColourAt(100, 200), red) << "the element found is highlighted " << tool;
    Choose(tool);
    EXPECT_EQ(tools_->current_tool(), tool);
    EXPECT_FALSE(work.query().has_hit()) << tool;
    EXPECT_FALSE(work.info_window()->isVisible()) << tool;
    EXPECT_EQ(ColourAt(100, 200), red) << tool;
    // The tool's end draws the picture again.
    app_->frame()->OnCommand(kToolEnd);
    ASSERT_TRUE(WaitDrawn());
    EXPECT_EQ(work.modes().mode(), kDrawPointQuery);
  }
  // Save and Undo end it too.
  Click(86, 196);
  ASSERT_TRUE(work.query().has_hit());
  Choose(kToolSave);
  EXPECT_FALSE(work.query().has_hit());
  EXPECT_EQ(ColourAt(100, 200), red);
}

TEST_F(EditToolsTest, LeftClicksTakeTheProposedPointAndGridPointsStandInOffTheVertices) {
  // A 200x200 flash whose corners lie on the grid of one user unit (100 units).
  StartWithFlashes("<X300Y300W200V200U0SZ");
  ASSERT_EQ(app_->services().DisplayUnits().grid_spacing, 100);
  EditStore& store = tools_->store();
  const QString refusal = "Invalid point.  Click on insertion\nor end point";
  auto right_click = [this](QPoint p) { QTest::mouseClick(view(), Qt::RightButton, {}, p); };
  auto last_flash = [this, &store] {
    const std::vector<GdxHandle> edits = store.EditLibraries(0);
    const std::vector<FlashValues> flashes =
        edits.empty() ? std::vector<FlashValues>() : FlashesOf(edits.back());
    return flashes.size() == 1 ? flashes[0] : FlashValues{};
  };

  // Grid snap alone: the band's corners stand on the grid points the edit takes.
  AppState().settings.snap_on = 1;
  Choose(kToolRectangle2);
  ClickAt(At(330, 290));
  EXPECT_EQ(tools_->band_points()[0], At(300, 300));
  QTest::mouseMove(view(), At(370, 310));
  EXPECT_EQ(tools_->band_end(), At(400, 300));
  ClickAt(At(370, 390));
  EXPECT_EQ(last_flash(), (FlashValues{100, 100, 0, 350, 350}));
  Choose(kToolUndo);
  app_->frame()->OnCommand(kToolEnd);

  // End-point snap: each left click takes the vertex proposed before it, so clicking
  // vertex after vertex draws without the right button.
  AppState().settings.snap_on = 0;
  AppState().settings.snap_end_point = 1;
  Choose(kToolRectangle2);
  ClickAt(At(201, 201));
  ClickAt(At(399, 399));
  EXPECT_EQ(tools_->click_count(), 2);
  EXPECT_TRUE(store.EditLibraries(0).empty());
  EXPECT_EQ(tools_->band_points()[0], At(200, 200)) << "the first vertex was taken";
  ClickAt(At(399, 201));
  ASSERT_EQ(store.EditLibraries(0).size(), 1u);
  EXPECT_EQ(last_flash(), (FlashValues{200, 200, 0, 300, 300}));
  EXPECT_EQ(tools_->click_count(), 1) << "the third click's vertex starts the next rectangle";
  EXPECT_EQ(tools_->band_points()[0], At(400, 200));
  app_->frame()->OnCommand(kToolEnd);
  Choose(kToolUndo);

  // Both snaps: a click off every vertex is still told so, and proposes its grid point.
  AppState().settings.snap_on = 1;
  Choose(kToolRectangle2);
  CViewInfoDlg* info = view()->interaction().info_window();
  ClickAt(At(330, 290));
  ASSERT_EQ(tools_->click_count(), 1);
  EXPECT_EQ(tools_->band_points()[0], At(300, 300));
  EXPECT_TRUE(info->help().endsWith(refusal)) << info->help().toStdString();
  EXPECT_TRUE(store.EditLibraries(0).empty());
  // A click on a vertex takes the grid point and proposes the vertex; the right button
  // accepts it.
  ClickAt(At(203, 196));
  EXPECT_EQ(tools_->click_count(), 2);
  right_click(At(203, 196));
  ASSERT_EQ(store.EditLibraries(0).size(), 1u);
  EXPECT_EQ(last_flash(), (FlashValues{100, 100, 0, 250, 250}));
  // Off the vertices the right button takes the grid point under it.
  ClickAt(At(330, 390));
  right_click(At(370, 310));
  EXPECT_EQ(tools_->click_count(), 1);
  EXPECT_EQ(tools_->band_points()[0], At(400, 300));
  ClickAt(At(310, 380));
  right_click(At(310, 380));
  ASSERT_EQ(store.EditLibraries(0).size(), 2u);
  EXPECT_EQ(last_flash(), (FlashValues{100, 100, 0, 350, 350}));
  app_->frame()->OnCommand(kToolEnd);
}

TEST_F(EditToolsTest, ASaveThatCannotWriteKeepsTheSourceAndTheEdits) {
  StartWithFlashes();
  tools_->SetSaveChangesDialog([this](std::vector<SaveTarget>* targets) {
    for (SaveTarget& t : *targets) t.path = Path("missing/dir/a.em");
    return kAnswerYes;
  });
  Choose(kToolRectangle2);
  Pick(200, 300, 260, 340);
  Choose(kToolSave);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_NE(notifier_.shown.back().text.find("Cannot write " + Path("missing/dir/a.em")),
            std::string::npos);
  EXPECT_TRUE(tools_->store().HasEdits()) << "the edits stay pending";
  EXPECT_EQ(ReadFile(Path("a.em")), kThreeFlashes);
  // Closing the job asks again; a failure there keeps the job open.
  EXPECT_FALSE(app_->AskSaveEdits(0));
  EXPECT_TRUE(tools_->store().HasEdits());
  // No drops the edits.
  tools_->SetSaveChangesDialog([](std::vector<SaveTarget>*) { return kAnswerNo; });
  EXPECT_TRUE(app_->AskSaveEdits(0));
  EXPECT_FALSE(tools_->store().HasEdits());
  EXPECT_EQ(ReadFile(Path("a.em")), kThreeFlashes);
}

TEST_F(EditToolsTest, SaveAndUndoLeaveTheOpenSelectionToTheSelectionDialog) {
  StartWithFlashes();
  const QColor red(255, 0, 0);
  EditStore& store = tools_->store();
  int asked = 0;
  tools_->SetSaveChangesDialog([&asked](std::vector<SaveTarget>*) {
    ++asked;
    return kAnswerCancel;
  });
  Choose(kToolDeleteElements);
  CSelectionDlg* selection = tools_->selection_dialog();
  // Save with nothing edited asks nothing; Save cancelled changes nothing. Either way the
  // flash picked before stays picked, and OK deletes it.
  Pick(80, 190, 120, 210);
  Choose(kToolSave);
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(store.selection_open());
  Press(selection, QDialogButtonBox::Ok);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_NE(ColourAt(100, 200), red);
  EXPECT_EQ(store.LayerFlags(0), kLayerDeleted);
  Choose(kToolDeleteElements);
  Pick(280, 190, 320, 210);
  Choose(kToolSave);
  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(store.selection_open());
  // Undo brings the flash deleted before back; the pick stays.
  Choose(kToolUndo);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(ColourAt(100, 200), red);
  ASSERT_TRUE(store.selection_open());
  EXPECT_EQ(store.open_group()->hits.size(), 1u);
  Press(selection, QDialogButtonBox::Ok);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_NE(ColourAt(300, 200), red);
  EXPECT_EQ(ColourAt(100, 200), red);
  EXPECT_EQ(ColourAt(500, 500), red);
}

TEST_F(EditToolsTest, TextIsAddedAsFlashesAndCancelTakesItAway) {
  StartWithFlashes();
  Choose(kToolText);
  CAddTextDlg* dialog = tools_->text_dialog();
  ASSERT_TRUE(dialog->isVisible());
  // A height makes one click place the text; without a text the click adds nothing and
  // says nothing.
  QTest::keyClicks(dialog->height_edit(), "0.4");
  EXPECT_TRUE(dialog->state().height_switched);
  Click(200, 400);
  EXPECT_TRUE(tools_->store().EditLibraries(0).empty());
  EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown.back().text;
  QTest::keyClicks(dialog->text_edit(), "HI");
  Click(200, 400);
  const size_t added = tools_->store().EditLibraries(0).size();
  ASSERT_EQ(added, 1u) << (notifier_.shown.empty() ? "" : notifier_.shown.back().text);
  EXPECT_EQ(tools_->store().pending_text_count(), 1u);
  EXPECT_GE(tools_->store().FlashCount(0), 3 + 4) << "H and I take four strokes or more";
  ASSERT_TRUE(WaitDrawn());
  // The text stands above and right of the clicked point, 0.4 user units (40 units) high.
  int red = 0;
  for (int32_t y = 405; y < 440; y += 2) {
    for (int32_t x = 200; x < 260; x += 2) red += ColourAt(x, y) == QColor(255, 0, 0);
  }
  EXPECT_GT(red, 20);
  Press(dialog, QDialogButtonBox::Cancel);
  EXPECT_TRUE(tools_->store().EditLibraries(0).empty()) << "Cancel undoes the texts";
  EXPECT_EQ(tools_->current_tool(), 0);
  // Without a height the text fills the box of two clicks.
  Choose(kToolText);
  dialog->text_edit()->setPlainText("HI");
  dialog->height_edit()->selectAll();
  QTest::keyClick(dialog->height_edit(), Qt::Key_Backspace);
  EXPECT_LT(dialog->state().height, 0);
  Pick(150, 300, 250, 350);
  const std::vector<GdxHandle> texts = tools_->store().EditLibraries(0);
  ASSERT_EQ(texts.size(), 1u);
  GdxLibrary* library = GdxLibraryFromHandle(texts[0]);
  const GdxRect box = GdxFindStructureById(library, library->current_structure_id)->extents;
  // The strokes' half width may stand over the box's edges; across, the characters'
  // side bearings stay inside it.
  EXPECT_GE(box.min_x, 146);
  EXPECT_LE(box.max_x, 254);
  EXPECT_GT(box.max_x - box.min_x, 70);
  EXPECT_NEAR(box.min_y, 300, 4);
  EXPECT_NEAR(box.max_y, 350, 4);
  Press(dialog, QDialogButtonBox::Ok);
  EXPECT_EQ(tools_->store().EditLibraries(0).size(), 1u) << "OK keeps the text";
  EXPECT_EQ(tools_->store().pending_text_count(), 0u);

  // An over-long text is cut at the field's limit.
  Choose(kToolText);
  dialog->text_edit()->setPlainText(QString(kMaxTextLength + 50, 'A'));
  EXPECT_EQ(dialog->text_edit()->toPlainText().size(), kMaxTextLength);
  EXPECT_EQ(dialog->height_edit()->maxLength(), kMaxHeightLength);
}

TEST_F(EditToolsTest, AnotherToolLeavesTheDialogOfTheToolBeforeOpen) {
  StartWithFlashes();
  const QColor red(255, 0, 0);
  EditStore& store = tools_->store();
  // A text placed, then another tool: the Add Text dialog stays, and its Cancel still takes
  // the text away (and ends the tool in use).
  Choose(kToolText);
  CAddTextDlg* text = tools_->text_dialog();
  QTest::keyClicks(text->text_edit(), "HI");
  QTest::keyClicks(text->height_edit(), "0.4");
  Click(200, 400);
  ASSERT_EQ(store.EditLibraries(0).size(), 1u);
  Choose(kToolRectangle2);
  EXPECT_EQ(tools_->current_tool(), kToolRectangle2);
  ASSERT_TRUE(text->isVisible());
  Press(text, QDialogButtonBox::Cancel);
  EXPECT_TRUE(store.EditLibraries(0).empty());
  EXPECT_EQ(tools_->current_tool(), 0);
  // A pick, then another tool: the Selection dialog stays, and its OK deletes the pick.
  Choose(kToolDeleteElements);
  CSelectionDlg* selection = tools_->selection_dialog();
  Pick(80, 190, 120, 210);
  Choose(kToolRectangle3);
  ASSERT_TRUE(selection->isVisible());
  ASSERT_TRUE(store.selection_open());
  Press(selection, QDialogButtonBox::Ok);
  EXPECT_EQ(tools_->current_tool(), 0);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_NE(ColourAt(100, 200), red);
  EXPECT_EQ(store.LayerFlags(0), kLayerDeleted);
}

TEST_F(EditToolsTest, EachTextPlacementTakesTheRotationAndMirroringShownInTheDialog) {
  StartWithFlashes();
  Choose(kToolText);
  CAddTextDlg* dialog = tools_->text_dialog();
  ASSERT_TRUE(dialog->isVisible());
  QTest::keyClicks(dialog->text_edit(), "HIH");
  QTest::keyClicks(dialog->height_edit(), "0.4");
  auto extents = [this](size_t edit) {
    const std::vector<GdxHandle> texts = tools_->store().EditLibraries(0);
    if (texts.size() <= edit) return GdxRect{};
    GdxLibrary* library = GdxLibraryFromHandle(texts[edit]);
    return GdxFindStructureById(library, library->current_structure_id)->extents;
  };
  auto find_button = [dialog](const QString& name) {
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
      if (b->accessibleName() == name) return b;
    }
    return static_cast<QAbstractButton*>(nullptr);
  };
  // Each choice is made while the dialog stays open, and the next click at (200, 400)
  // places the text: its letters run along x or along y, on the given sides of the point.
  const struct {
    const char* rotation;
    bool mirror_x;
    bool mirror_y;
    bool along_x;
    bool right;
    bool above;
  } cases[] = {{"0", false, false, true, true, true},
               {"-90", false, false, false, true, false},
               {"+90", false, false, false, false, true},
               {"0", true, false, true, false, true},
               {"0", false, true, true, true, false}};
  size_t placed = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rotation) + (c.mirror_x ? " mirror X" : "") +
                 (c.mirror_y ? " mirror Y" : ""));
    QAbstractButton* rotation = find_button(c.rotation);
    ASSERT_NE(rotation, nullptr);
    ClickRadio(rotation);
    for (const auto& [name, wanted] :
         {std::pair{"Mirror X", c.mirror_x}, {"Mirror Y", c.mirror_y}}) {
      QAbstractButton* mirror = find_button(name);
      ASSERT_NE(mirror, nullptr);
      if (mirror->isChecked() != wanted) ClickRadio(mirror);
      ASSERT_EQ(mirror->isChecked(), wanted);
    }
    Click(200, 400);
    const GdxRect box = extents(placed++);
    ASSERT_LT(box.min_x, box.max_x);
    EXPECT_EQ(box.max_x - box.min_x > box.max_y - box.min_y, c.along_x);
    if (c.right) {
      EXPECT_GE(box.min_x, 196);
    } else {
      EXPECT_LE(box.max_x, 204);
    }
    if (c.above) {
      EXPECT_GE(box.min_y, 396);
    } else {
      EXPECT_LE(box.max_y, 404);
    }
  }
  Press(dialog, QDialogButtonBox::Ok);
}

TEST_F(EditToolsTest, DeletePicksTheElementsOfAWf2LayerHeldAsAFrameIndex) {
  // Three strips of two frames, a rectangle in each; with a memory limit of one byte the
  // layer is held as a frame index, one strip a section.
  const std::vector<testing::Wf2Frame> frames(6, {{{10, 10}, {89, 10}, {89, 39}, {10, 39}}});
  testing::WriteBytes(Path("w.wf2"), testing::BuildWf2(testing::SmallHeader(3, 2, false), frames));
  WriteFile("w.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("w.wf2") +
                         "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  app_ = std::make_unique<CLumraApp>();
  app_->InitInstance(
      ParseCommandLine(std::vector<std::string>{"vexil", "w.job", "-ram:1"}, temp_.path(), true));
  ASSERT_TRUE(WaitDrawn());
  tools_ = app_->edit_tools();
  const ViewLayerEntry& entry = LayerTable()[0];
  ASSERT_EQ(entry.library, kGdxNoHandle);
  ASSERT_GE(entry.frame_count, 2);
  const GdxRect strip = ReadWf2FrameIndexEntry(entry.frame_block, 0)->box;
  const GdxRect other = ReadWf2FrameIndexEntry(entry.frame_block, 1)->box;
  const QColor red(255, 0, 0);
  // A fifth into a section's box lies inside the rectangle of its first frame.
  auto inside = [this](const GdxRect& b) {
    return ColourAt(b.min_x + (b.max_x - b.min_x) / 5, b.min_y + (b.max_y - b.min_y) / 5);
  };
  auto in_first = [&] { return inside(strip); };
  auto in_other = [&] { return inside(other); };
  ASSERT_EQ(in_first(), red);
  ASSERT_EQ(in_other(), red);

  // A crossing window over the first strip picks its two rectangles: only they are drawn
  // again, highlighted, in the frames loaded again for them.
  Choose(kToolDeleteElements);
  const int drawings = view()->full_drawings();
  Pick(strip.min_x - 5, strip.min_y - 5, strip.max_x + 5, strip.max_y + 5);
  ASSERT_TRUE(tools_->store().selection_open());
  EXPECT_EQ(tools_->store().open_group()->hits.size(), 2u);
  EXPECT_FALSE(view()->redraw_pending());
  EXPECT_EQ(in_first(), QColor(255, 255, 255));
  EXPECT_EQ(in_other(), red);
  WaitFor([] { return false; }, 100);
  EXPECT_EQ(view()->full_drawings(), drawings) << "only the picked elements were drawn";
  // OK deletes them: the picture is drawn again without them (what lay under them shows).
  Press(tools_->selection_dialog(), QDialogButtonBox::Ok);
  ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_NE(in_first(), red);
  EXPECT_NE(in_first(), QColor(255, 255, 255));
  EXPECT_EQ(in_other(), red);
  // Undo brings them back, drawing only them.
  const int after_delete = view()->full_drawings();
  Choose(kToolUndo);
  EXPECT_FALSE(view()->redraw_pending());
  EXPECT_EQ(in_first(), red);
  EXPECT_EQ(in_other(), red);
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(view()->full_drawings(), after_delete) << "only the restored elements were drawn";
  // A full drawing shows the same: the frames load with the marks of the undone deletion.
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > after_delete; }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(in_first(), red);
  EXPECT_EQ(in_other(), red);
}

TEST_F(EditToolsTest, DeletingAFlashKeepsTheFlashItOverlapped) {
  // Two 100x60 flashes overlapping from x 200 to 250.
  StartWithFlashes("<X200Y200W100V60U0SX250SZ");
  const QColor red(255, 0, 0);
  ASSERT_EQ(ColourAt(225, 200), red);
  Choose(kToolDeleteElements);
  Pick(140, 190, 160, 210);  // crosses the first flash's left side only
  ASSERT_TRUE(tools_->store().selection_open());
  ASSERT_EQ(tools_->store().open_group()->hits.size(), 1u);
  Press(tools_->selection_dialog(), QDialogButtonBox::Ok);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_NE(ColourAt(165, 200), red) << "the deleted flash is gone";
  EXPECT_EQ(ColourAt(225, 200), red) << "the flash under it still covers the overlap";
  EXPECT_EQ(ColourAt(275, 200), red);
}

TEST_F(EditToolsTest, FileSaveSavesTheEdits) {
  StartWithFlashes();
  Choose(kToolRectangle2);
  Pick(200, 300, 260, 340);
  app_->frame()->OnCommand(kToolEnd);
  int asked = 0;
  tools_->SetSaveChangesDialog([&asked](std::vector<SaveTarget>*) {
    ++asked;
    return kAnswerYes;
  });
  QAction* save = app_->frame()->CommandAction(kCmdSave);
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(save->text(), "Save");
  ASSERT_TRUE(save->isEnabled());
  save->trigger();
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(tools_->store().HasEdits());
  EXPECT_EQ(ReadBack(Path("a.em")).size(), 4u);
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(ColourAt(230, 320), QColor(255, 0, 0)) << "the saved file is shown";
  // Without edits there is nothing to ask.
  save->trigger();
  EXPECT_EQ(asked, 1);
}

TEST_F(EditToolsTest, LayerTableAsksAboutEditsBeforeItReloadsTheJob) {
  StartWithFlashes();
  WriteFile("b.em", kSmallEmFile);
  const QColor red(255, 0, 0);
  Choose(kToolDeleteElements);
  Pick(110, 190, 130, 210);
  Press(tools_->selection_dialog(), QDialogButtonBox::Ok);
  ASSERT_TRUE(WaitDrawn());
  ASSERT_NE(ColourAt(100, 200), red);
  int asked = 0;
  int answer = kAnswerCancel;
  tools_->SetSaveChangesDialog([&](std::vector<SaveTarget>*) {
    ++asked;
    return answer;
  });
  SetDialogMode(DialogMode::kInteractive);
  bool kept_open = false;
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    // A file for the free second row: the job is read again at OK.
    auto* name = FindControl<QLineEdit>(table, LayerTableRowIdsOf(1).name);
    ASSERT_NE(name, nullptr);
    QTest::keyClicks(name, QString::fromStdString(Path("b.em")));
    auto* ok = FindControl<QPushButton>(table, kAnswerOk);
    QTest::mouseClick(ok, Qt::LeftButton);
    // Cancel in the question leaves the dialog, the table and the edits as they were.
    kept_open = table->isVisible();
    EXPECT_TRUE(LayerTable()[1].path.empty());
    EXPECT_TRUE(tools_->store().HasEdits());
    answer = kAnswerYes;
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  app_->frame()->OnCommand(kCmdLayerTable);
  SetDialogMode(DialogMode::kAuto);
  EXPECT_TRUE(kept_open);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(LayerTable()[1].path, Path("b.em"));
  EXPECT_FALSE(tools_->store().HasEdits());
  EXPECT_EQ(ReadBack(Path("a.em")).size(), 2u) << "the deletion was saved";
  ASSERT_TRUE(WaitDrawn());
  EXPECT_NE(ColourAt(100, 200), red) << "the deleted flash stays away";
  EXPECT_EQ(ColourAt(300, 200), red);
}

TEST_F(EditToolsTest, MergeLayersWithoutWf2LayersSaysSoAndKeepsTheDialog) {
  StartWithFlashes();
  const QColor red(255, 0, 0);
  // The second flash deleted, a rectangle added.
  Choose(kToolDeleteElements);
  Pick(280, 190, 320, 210);
  Press(tools_->selection_dialog(), QDialogButtonBox::Ok);
  Choose(kToolRectangle2);
  Pick(200, 300, 260, 340);
  app_->frame()->OnCommand(kToolEnd);
  tools_->SetSaveChangesDialog([](std::vector<SaveTarget>*) { return kAnswerYes; });
  bool kept_open = false;
  WhenModal<CMergeLayersDlg>([&](CMergeLayersDlg* dialog) {
    EXPECT_EQ(dialog->wf2_files()->count(), 0);
    QTest::keyClicks(dialog->name_edit(), "merged");
    QPushButton* add = nullptr;
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
      if (b->text() == "Add") add = b;
    }
    ASSERT_NE(add, nullptr);
    QTest::mouseClick(add, Qt::LeftButton);
    Press(dialog, QDialogButtonBox::Ok);
    kept_open = dialog->isVisible();
    Press(dialog, QDialogButtonBox::Cancel);
  });
  Choose(kCmdMergeLayers);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_EQ(notifier_.shown.back().text, "Nothing to merge.");
  EXPECT_EQ(notifier_.shown.back().caption, "Merge");
  EXPECT_TRUE(kept_open);
  EXPECT_FALSE(std::filesystem::exists(Path("merged.wf2")));
  // The edits were saved on the way in and the saved file read again: the layer and the
  // view hold the added rectangle and not the deleted flash.
  const FlashValues added{60, 40, 0, 230, 320}, deleted{30, 10, 0, 300, 200};
  auto holds = [](const std::vector<FlashValues>& flashes, const FlashValues& flash) {
    return std::find(flashes.begin(), flashes.end(), flash) != flashes.end();
  };
  const std::vector<FlashValues> saved = ReadBack(Path("a.em"));
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_TRUE(holds(saved, added));
  EXPECT_FALSE(tools_->store().HasEdits());
  const std::vector<FlashValues> loaded = FlashesOf(LayerTable()[0].library);
  EXPECT_EQ(loaded.size(), 3u);
  EXPECT_TRUE(holds(loaded, added)) << "the added rectangle";
  EXPECT_FALSE(holds(loaded, deleted)) << "the deleted flash";
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(ColourAt(230, 320), red) << "the added rectangle";
  EXPECT_NE(ColourAt(300, 200), red) << "the deleted flash";
  EXPECT_EQ(ColourAt(100, 200), red);
  // The viewer goes on.
  Choose(kToolRectangle2);
  Pick(400, 300, 460, 340);
  EXPECT_TRUE(tools_->store().HasEdits());
}

TEST_F(EditToolsTest, MergeLayersMergesTwoWf2LayersAndRefusesUnsafeNames) {
  StartOnTwoWf2Layers();
  const Wf2Header& header = wf2_header_;
  const std::vector<testing::Wf2Frame>& first = first_frames_;
  const std::vector<testing::Wf2Frame>& second = second_frames_;
  ASSERT_TRUE(WaitFor([] { return AppState().job_loaded; }));

  CMergeLayersDlg dialog(app_->frame());
  for (QWidget* widget : dialog.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(widget) ||
                         qobject_cast<QLineEdit*>(widget) || qobject_cast<QListWidget*>(widget) ||
                         qobject_cast<QLabel*>(widget);
    if (control) {
      EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
    }
  }
  EXPECT_EQ(dialog.wf2_files()->count(), 2);
  EXPECT_EQ(dialog.name_edit()->text(), "a.wf2");
  QPushButton* add = nullptr;
  for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
    if (b->text() == "Add") add = b;
  }
  ASSERT_NE(add, nullptr);
  // A name that is one of the inputs is refused; nothing is written.
  QTest::mouseClick(add, Qt::LeftButton);
  dialog.AddLayer(0);
  dialog.AddLayer(1);
  notifier_.shown.clear();
  Press(&dialog, QDialogButtonBox::Ok);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(testing::ReadBytes(Path("a.wf2")), testing::BuildWf2(header, first));
  // A name with directory parts is refused too.
  dialog.name_edit()->setText("../up");
  QTest::mouseClick(add, Qt::LeftButton);
  Press(&dialog, QDialogButtonBox::Ok);
  EXPECT_EQ(notifier_.shown.size(), 2u);
  // So is a name the job could not hold as a layer, before anything is merged.
  QPushButton* remove_one = FindControl<QPushButton>(&dialog, 1007);  // Delete
  QTest::mouseClick(remove_one, Qt::LeftButton);
  QTest::mouseClick(remove_one, Qt::LeftButton);
  ASSERT_EQ(dialog.merge_files()->count(), 0);
  dialog.name_edit()->clear();
  dialog.name_edit()->setFocus();
  QTest::keyClicks(dialog.name_edit(), "say\"hi");
  QTest::mouseClick(add, Qt::LeftButton);
  dialog.AddLayer(1);
  Press(&dialog, QDialogButtonBox::Ok);
  ASSERT_EQ(notifier_.shown.size(), 3u);
  EXPECT_EQ(
      notifier_.shown[2].text,
      Path("say\"hi.wf2") + ": a job file cannot hold a path with a double quote or a line break.");
  EXPECT_FALSE(std::filesystem::exists(Path("say\"hi.wf2")));
  // Remove it, add a plain name without extension: ".wf2" is appended.
  QPushButton* remove = nullptr;
  for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
    if (b->text() == "Delete") remove = b;
  }
  QTest::mouseClick(remove, Qt::LeftButton);
  QTest::mouseClick(remove, Qt::LeftButton);
  EXPECT_EQ(dialog.merge_files()->count(), 0);
  dialog.name_edit()->setText("both");
  QTest::mouseClick(add, Qt::LeftButton);
  ASSERT_EQ(dialog.merge_files()->item(0)->text(), "both.wf2");
  dialog.AddLayer(0);
  dialog.AddLayer(1);
  EXPECT_EQ(dialog.row_name(0)->text(), "a.wf2");
  EXPECT_EQ(dialog.row_name(1)->text(), "b.wf2");
  Press(&dialog, QDialogButtonBox::Ok);
  ASSERT_TRUE(dialog.merged());
  Wf2Header merged = header;
  merged.name = "Merge of a.wf2,b.wf2";
  const std::vector<testing::Wf2Frame> frames =
      testing::ParseWf2(testing::ReadBytes(Path("both.wf2")));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], first[0]);
  EXPECT_EQ(frames[1], second[1]);
  // The output is a new layer of the job in the default colour of its entry.
  EXPECT_EQ(LayerTable()[2].path, Path("both.wf2"));
  EXPECT_EQ(LayerTable()[2].colour, DefaultLayerColour(2));
  EXPECT_NE(ReadFile(Path("m.job")).find("both.wf2"), std::string::npos);
  // The merge log names the output and its inputs.
  const std::string log = ReadFile(dialog.log_path());
  EXPECT_NE(log.find("both.wf2"), std::string::npos) << log;
  EXPECT_NE(log.find("b.wf2"), std::string::npos) << log;

  // Merging into an existing file asks first: Cancel leaves it, OK overwrites it.
  testing::WriteBytes(Path("old.wf2"), {1, 2, 3});
  for (const bool overwrite : {false, true}) {
    CMergeLayersDlg again(app_->frame());
    again.name_edit()->setText("old.wf2");
    QPushButton* add_again = nullptr;
    for (QPushButton* b : again.findChildren<QPushButton*>()) {
      if (b->text() == "Add") add_again = b;
    }
    QTest::mouseClick(add_again, Qt::LeftButton);
    again.AddLayer(0);
    std::vector<std::string> listed;
    QTimer::singleShot(0, [&] {
      auto* confirm = again.findChild<CMergeConfirmDlg*>();
      ASSERT_NE(confirm, nullptr);
      for (int i = 0; i < confirm->list()->count(); ++i)
        listed.push_back(confirm->list()->item(i)->text().toStdString());
      Press(confirm, overwrite ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
    });
    Press(&again, QDialogButtonBox::Ok);
    EXPECT_EQ(listed, std::vector<std::string>{Path("old.wf2")});
    EXPECT_EQ(testing::ReadBytes(Path("old.wf2")) == std::vector<uint8_t>({1, 2, 3}), !overwrite);
    EXPECT_EQ(again.merged(), overwrite);
  }
}

// A merge keeps the user's view: the job's files are read again, the new layer among them,
// and the view is drawn again where it was.
TEST_F(EditToolsTest, MergeLayersReloadsTheJobAndKeepsTheView) {
  StartOnTwoWf2Layers();
  ASSERT_TRUE(WaitDrawn());
  tools_ = app_->edit_tools();
  // The user's view: a corner of the job.
  DrawWndState& window = AppDisplay().window;
  const LogicalPoint whole = window.WorldToLogical(300, 300);
  ASSERT_TRUE(window.ZoomToWorldBox(100, 100, 300, 300));
  view()->RequestRedraw();
  ASSERT_TRUE(WaitDrawn());
  const LogicalPoint zoomed = window.WorldToLogical(300, 300);
  ASSERT_NE(zoomed.x, whole.x);
  const int drawings = view()->full_drawings();

  WhenModal<CMergeLayersDlg>([&](CMergeLayersDlg* dialog) {
    dialog->name_edit()->setText("both");
    QTest::mouseClick(FindControl<QPushButton>(dialog, 1539), Qt::LeftButton);  // Add
    dialog->AddLayer(0);
    dialog->AddLayer(1);
    Press(dialog, QDialogButtonBox::Ok);
  });
  Choose(kCmdMergeLayers);
  ASSERT_TRUE(std::filesystem::exists(Path("both.wf2")));
  ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_TRUE(AppState().job_loaded);
  EXPECT_EQ(LayerTable()[2].path, Path("both.wf2"));
  EXPECT_NE(LayerTable()[2].library, kGdxNoHandle) << "the merged layer is loaded";
  const LogicalPoint after = window.WorldToLogical(300, 300);
  EXPECT_EQ(after.x, zoomed.x) << "the view stays where the user put it";
  EXPECT_EQ(after.y, zoomed.y);
}

// A merge file is WF2 data: whatever name the user gives it, it is named and read back as
// a WF2 layer of the job (not as PG data by an extension of another kind).
TEST_F(EditToolsTest, AMergedFileIsAlwaysReadBackAsWf2) {
  const std::pair<const char*, const char*> cases[] = {
      {"out.dat", "out.dat.wf2"}, {"both", "both.wf2"}, {"Upper.WF2", "Upper.WF2"}};
  for (const auto& [typed, written] : cases) {
    SCOPED_TRACE(typed);
    app_.reset();
    AppState() = ViewerAppState();
    ClearLayerTable();
    notifier_.shown.clear();
    StartOnTwoWf2Layers();
    ASSERT_TRUE(WaitDrawn());
    tools_ = app_->edit_tools();
    const int drawings = view()->full_drawings();
    QStringList listed;
    WhenModal<CMergeLayersDlg>([&](CMergeLayersDlg* dialog) {
      dialog->name_edit()->setText(typed);
      QTest::mouseClick(FindControl<QPushButton>(dialog, 1539), Qt::LeftButton);  // Add
      auto* list = FindControl<QListWidget>(dialog, 1005);
      for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
      dialog->AddLayer(0);
      dialog->AddLayer(1);
      Press(dialog, QDialogButtonBox::Ok);
    });
    Choose(kCmdMergeLayers);
    EXPECT_EQ(listed, QStringList{written});
    ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
    ASSERT_TRUE(WaitDrawn());
    EXPECT_TRUE(std::filesystem::exists(Path(written)));
    EXPECT_FALSE(std::filesystem::exists(Path(typed)) && std::string(typed) != written);
    EXPECT_EQ(LayerTable()[2].path, Path(written));
    EXPECT_NE(LayerTable()[2].library, kGdxNoHandle) << "the merged layer is loaded";
    EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown.front().text;
    std::filesystem::remove(Path(written));
  }
}

// The merge file's name is taken whole as the user types it: the merged file is written at an
// output path of a thousand characters, and a name longer than the file system holds is
// named whole in the refusal, not cut into another name.
TEST_F(EditToolsTest, MergeLayersTakesTheNameWholeForPathsOfAThousandCharacters) {
  const std::string name = "merged.wf2";
  const std::string deep = test_support::MakeLongDirectory(temp_.path(), 1000 - 1 - name.size());
  ASSERT_FALSE(deep.empty());
  const std::string output = deep + "/" + name;
  ASSERT_EQ(output.size(), 1000u);
  StartOnTwoWf2Layers(deep);
  ASSERT_TRUE(WaitDrawn()) << (notifier_.shown.empty() ? "" : notifier_.shown.front().text);
  tools_ = app_->edit_tools();
  const std::string too_long = std::string(300, 'n') + ".wf2";
  for (const std::string& typed : {too_long, name}) {
    SCOPED_TRACE(typed.size());
    notifier_.shown.clear();
    const int drawings = view()->full_drawings();
    QStringList listed;
    WhenModal<CMergeLayersDlg>([&](CMergeLayersDlg* dialog) {
      QLineEdit* edit = dialog->name_edit();
      edit->clear();
      edit->setFocus();
      QTest::keyClicks(edit, QString::fromStdString(typed));
      QTest::mouseClick(FindControl<QPushButton>(dialog, 1539), Qt::LeftButton);  // Add
      auto* list = FindControl<QListWidget>(dialog, 1005);
      for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
      QListWidget* wf2 = dialog->wf2_files();
      for (int row : {0, 1}) {
        const QRect item = wf2->visualItemRect(wf2->item(row));
        QTest::mouseClick(wf2->viewport(), Qt::LeftButton, {}, item.center());
        QTest::mouseDClick(wf2->viewport(), Qt::LeftButton, {}, item.center());
      }
      Press(dialog, QDialogButtonBox::Ok);
    });
    Choose(kCmdMergeLayers);
    EXPECT_EQ(listed, QStringList{QString::fromStdString(typed)});
    if (typed == too_long) {
      ASSERT_EQ(notifier_.shown.size(), 1u);
      EXPECT_NE(notifier_.shown[0].text.find("Cannot create " + deep + "/" + too_long + "."),
                std::string::npos)
          << notifier_.shown[0].text;
      EXPECT_EQ(LayerTable()[2].path, "");
      continue;
    }
    ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
    ASSERT_TRUE(WaitDrawn());
    EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown.front().text;
    const std::vector<testing::Wf2Frame> frames = testing::ParseWf2(testing::ReadBytes(output));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], first_frames_[0]);
    EXPECT_EQ(frames[1], second_frames_[1]);
    EXPECT_EQ(LayerTable()[2].path, output);
    EXPECT_NE(LayerTable()[2].library, kGdxNoHandle) << "the merged layer is loaded";
    EXPECT_NE(ReadFile(deep + "/m.job").find("Paint \"" + output + "\""), std::string::npos);
  }
}

// Edits of a PG layer are saved as PG data: a name chosen with "..." without an extension
// takes the layer's own, and a ".wf2" name, which the job would read as WF2 data, is
// refused with the edits kept and nothing written.
TEST_F(EditToolsTest, SavedEditsOfAPgLayerAreNeverNamedWf2) {
  StartWithFlashes();
  SetDialogMode(DialogMode::kInteractive);
  std::string chosen;
  WhenModal<CSaveChangesDlg>([&](CSaveChangesDlg* dialog) {
    WhenModal<QFileDialog>([&](QFileDialog* files) {
      files->setDirectory(QDir::currentPath());
      files->findChild<QLineEdit*>("fileNameEdit")->setText("saved");
      QMetaObject::invokeMethod(files, "accept", Qt::DirectConnection);
      if (files->isVisible()) files->reject();
    });
    FindControl<QPushButton>(dialog, 1575)->click();  // "..." of the first row
    chosen = FindControl<QLineEdit>(dialog, 1574)->text().toStdString();
    FindControl<QPushButton>(dialog, 2)->click();  // Cancel
  });
  Choose(kToolRectangle2);
  Pick(200, 300, 260, 340);
  Choose(kToolSave);
  SetDialogMode(DialogMode::kAuto);
  EXPECT_EQ(chosen, Path("saved.em"));

  tools_->SetSaveChangesDialog([this](std::vector<SaveTarget>* targets) {
    for (SaveTarget& t : *targets) t.path = Path("saved.wf2");
    return kAnswerYes;
  });
  notifier_.shown.clear();
  Choose(kToolSave);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_NE(
      notifier_.shown.back().text.find(Path("saved.wf2") + ": a \".wf2\" file is read as WF2"),
      std::string::npos)
      << notifier_.shown.back().text;
  EXPECT_FALSE(std::filesystem::exists(Path("saved.wf2")));
  EXPECT_TRUE(tools_->store().HasEdits()) << "the edits stay pending";
}

TEST_F(EditToolsTest, TheMergeLogOpensOnceAfterTheMergedJobIsDrawn) {
  const Wf2Header header = testing::SmallHeader(1, 2, false);
  testing::WriteBytes(Path("a.wf2"), testing::BuildWf2(header, {{{{1, 1}, {5, 1}, {5, 4}}}, {}}));
  WriteFile("m.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("a.wf2") +
                         "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  std::vector<std::string> opened;
  std::vector<int> drawings_then;
  SetDesktopViewer([&](const std::string& path) {
    opened.push_back(path);
    drawings_then.push_back(view()->full_drawings());
  });
  app_ = std::make_unique<CLumraApp>();
  app_->InitInstance(
      ParseCommandLine(std::vector<std::string>{"vexil", "m.job"}, temp_.path(), true));
  ASSERT_TRUE(WaitDrawn());
  tools_ = app_->edit_tools();
  const int before = view()->full_drawings();
  WhenModal<CMergeLayersDlg>([&](CMergeLayersDlg* dialog) {
    dialog->name_edit()->setText("merged");
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
      if (b->text() == "Add") QTest::mouseClick(b, Qt::LeftButton);
    }
    dialog->AddLayer(0);
    Press(dialog, QDialogButtonBox::Ok);
  });
  Choose(kCmdMergeLayers);
  ASSERT_TRUE(WaitFor([&] { return !opened.empty(); }));
  EXPECT_EQ(std::filesystem::path(opened[0]).filename(), "lumramrg.log");
  EXPECT_GT(drawings_then[0], before) << "the log opens after the merged job is drawn";
  EXPECT_EQ(LayerTable()[1].path, Path("merged.wf2"));
  // Later drawings leave it alone.
  const int drawings = view()->full_drawings();
  app_->frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([&] { return view()->full_drawings() > drawings; }));
  QTest::qWait(50);
  EXPECT_EQ(opened.size(), 1u);
  SetDesktopViewer(nullptr);
}

// A viewer without a temporary directory of its own (no settings store) and with a TMPDIR
// it cannot use (a missing directory, a file) still ends the merge: the log is written in
// the current directory and opens from there.
TEST_F(EditToolsTest, TheMergeLogGoesToTheCurrentDirectoryWhenTmpdirIsUnusable) {
  const Wf2Header header = testing::SmallHeader(1, 2, false);
  testing::WriteBytes(Path("a.wf2"), testing::BuildWf2(header, {{{{1, 1}, {5, 1}, {5, 4}}}, {}}));
  WriteFile("plain", "not a directory");
  // TMPDIR is put back however the test ends.
  struct TmpdirKept {
    const char* old = getenv("TMPDIR");
    const std::string value = old ? old : "";
    ~TmpdirKept() { old ? ::setenv("TMPDIR", value.c_str(), 1) : ::unsetenv("TMPDIR"); }
  } kept_tmpdir;
  const std::pair<std::string, std::string> cases[] = {{Path("missing/tmp"), "one"},
                                                       {Path("plain"), "two"}};
  for (const auto& [tmpdir, name] : cases) {
    SCOPED_TRACE("TMPDIR=" + tmpdir);
    app_.reset();
    ResetProcessState();
    notifier_.shown.clear();
    std::filesystem::remove(Path("lumramrg.log"));
    // Each case starts on the one-layer job.
    WriteFile("m.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("a.wf2") +
                           "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
    std::vector<std::string> opened;
    SetDesktopViewer([&](const std::string& path) { opened.push_back(path); });
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
    Start({"vexil", "m.job"});
    ASSERT_TRUE(WaitDrawn());
    AppState().temporary_directory.clear();
    tools_ = app_->edit_tools();
    WhenModal<CMergeLayersDlg>([&](CMergeLayersDlg* dialog) {
      dialog->name_edit()->setText(QString::fromStdString(name));
      QTest::mouseClick(FindControl<QPushButton>(dialog, 1539), Qt::LeftButton);  // Add
      dialog->AddLayer(0);
      Press(dialog, QDialogButtonBox::Ok);
    });
    Choose(kCmdMergeLayers);
    ASSERT_TRUE(WaitFor([&] { return !opened.empty(); }));
    EXPECT_EQ(opened[0], Path("lumramrg.log"));
    EXPECT_FALSE(ReadFile(Path("lumramrg.log")).empty());
    EXPECT_EQ(LayerTable()[1].path, Path(name + ".wf2"));
    // The drawing's own picture store may say that it cannot use TMPDIR; the merge says
    // nothing.
    for (const Message& message : notifier_.shown) {
      EXPECT_EQ(message.text.find("merge"), std::string::npos) << message.text;
    }
    SetDesktopViewer(nullptr);
  }
}

TEST_F(EditToolsTest, MergeLayersRowsPageSixteenAtATime) {
  const Wf2Header header = testing::SmallHeader(1, 2, false);
  const std::vector<testing::Wf2Frame> frames = {{{{1, 1}, {5, 1}, {5, 4}}}, {}};
  testing::WriteBytes(Path("a.wf2"), testing::BuildWf2(header, frames));
  testing::WriteBytes(Path("b.wf2"), testing::BuildWf2(header, frames));
  WriteFile("m.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("a.wf2") +
                         "\"\r\nLAYER_1=ON,0,255,0,Paint \"" + Path("b.wf2") +
                         "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  app_ = std::make_unique<CLumraApp>();
  app_->InitInstance(
      ParseCommandLine(std::vector<std::string>{"vexil", "m.job"}, temp_.path(), true));
  ASSERT_TRUE(WaitFor([] { return AppState().job_loaded; }));
  tools_ = app_->edit_tools();
  const auto rows = [](CMergeLayersDlg* dialog) {
    std::string text;
    for (int r = 0; r < kMergeRows; ++r) text += dialog->row_name(r)->text().toStdString() + ",";
    return text;
  };
  WhenModal<CMergeLayersDlg>([&](CMergeLayersDlg* dialog) {
    EXPECT_TRUE(dialog->row_name(0)->isReadOnly());
    EXPECT_EQ(dialog->scroll_bar()->maximum(), kMergeLastFirstRow);
    QTest::mouseClick(FindControl<QPushButton>(dialog, 1539), Qt::LeftButton);  // Add
    QListWidget* wf2 = dialog->wf2_files();
    ASSERT_TRUE(wf2->isEnabled());
    // Twenty references, a.wf2 and b.wf2 in turn, added by double clicks.
    for (int i = 0; i < 20; ++i) {
      const QRect item = wf2->visualItemRect(wf2->item(i % 2));
      QTest::mouseClick(wf2->viewport(), Qt::LeftButton, {}, item.center());
      QTest::mouseDClick(wf2->viewport(), Qt::LeftButton, {}, item.center());
    }
    // The rows show references 15 to 30: the last one added is in view.
    EXPECT_EQ(dialog->first_row(), 15);
    EXPECT_EQ(dialog->scroll_bar()->value(), 15);
    EXPECT_EQ(rows(dialog), "b.wf2,a.wf2,b.wf2,a.wf2,b.wf2,,,,,,,,,,,,");
    // The first row's delete button removes reference 15.
    QTest::mouseClick(dialog->row_delete(0), Qt::LeftButton);
    EXPECT_EQ(rows(dialog), "a.wf2,b.wf2,a.wf2,b.wf2,,,,,,,,,,,,,");
    // An empty row's button removes nothing.
    QTest::mouseClick(dialog->row_delete(10), Qt::LeftButton);
    EXPECT_EQ(rows(dialog), "a.wf2,b.wf2,a.wf2,b.wf2,,,,,,,,,,,,,");
    // Line up by one, page up to the top.
    dialog->scroll_bar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(dialog->first_row(), 14);
    EXPECT_EQ(rows(dialog).substr(0, 12), "a.wf2,a.wf2,");
    dialog->scroll_bar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(dialog->first_row(), 0);
    EXPECT_EQ(rows(dialog).substr(0, 12), "a.wf2,b.wf2,");
    // Help is the viewer's help on merging, over the dialog.
    notifier_.shown.clear();
    const DialogMode mode = GetDialogMode();
    SetDialogMode(DialogMode::kInteractive);  // the help shows its window
    QTest::mouseClick(FindControl<QPushButton>(dialog, kMergeHelp), Qt::LeftButton);
    SetDialogMode(mode);
    EXPECT_TRUE(notifier_.shown.empty());
    HelpWindow* help = app_->help()->window();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->VisibleSection().toStdString(), "Vexil/Editing");
    EXPECT_TRUE(dialog->isVisible());
    Press(dialog, QDialogButtonBox::Cancel);
  });
  Choose(kCmdMergeLayers);
}

}  // namespace
}  // namespace kavrinth
