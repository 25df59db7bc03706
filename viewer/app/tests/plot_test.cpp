// The Plot menu of the real viewer window, used as a user uses it: Plot Screen writes the
// PDF of the shown job, Page Setup turns the page, Plot Window Coords plots the typed
// window while its dialog is open, and a bad entry keeps the dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/notifier.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/edit_tools.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/plot_display.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/element_queries.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/plot/plot_commands.h"

namespace kavrinth {
namespace {

// The text a command prints, run under a time limit.
std::string Output(const std::string& command) {
  std::string text;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("timeout 60 " + command).c_str(), "r"), pclose);
  if (!pipe) return text;
  std::array<char, 512> buffer;
  while (fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) text += buffer.data();
  return text;
}

bool IsRed(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60; }

// The first page at one pixel per point.
QImage Render(const std::string& pdf, const std::string& stem) {
  Output("pdftoppm -r 72 -singlefile -png '" + pdf + "' '" + stem + "'");
  return QImage(QString::fromStdString(stem + ".png"));
}

// The page pixel at a world point when the view fills the printable area of a landscape
// letter page (half-inch margins) centred, as a plot of the view does.
std::function<QRgb(double, double)> PagePixels(const QImage& page, const GdxRect& view) {
  const double vx = view.max_x - view.min_x, vy = view.max_y - view.min_y;
  const double s = std::min(720.0 / vx, 540.0 / vy);
  const double left = 36 + (720 - vx * s) / 2, bottom = 576 - (540 - vy * s) / 2;
  return [&page, view, s, left, bottom](double x, double y) {
    return page.pixel(static_cast<int>(left + (x - view.min_x) * s),
                      static_cast<int>(bottom - (y - view.min_y) * s));
  };
}

class VexilPlotTest : public VexilTest {
 protected:
  void SetUp() override {
    VexilTest::SetUp();
    AppState() = ViewerAppState();
    for (ViewLayerEntry& entry : LayerTable()) ClearLayerEntry(&entry);
    ImportSettings() = ViewerImportSettings();
    PlotWindowStore() = {};
    CurrentPlotSettings() = {};
  }
  void TearDown() override {
    app_.reset();
    for (ViewLayerEntry& entry : LayerTable()) ClearLayerEntry(&entry);
    GdxFreeCurrentLibrary();
    VexilTest::TearDown();
  }

  // Starts the viewer on a job of two flashes painted in red and waits for it.
  void StartOnTwoFlashes() {
    WriteFile("two.em", "<X100Y200W30V10U0SX300Y260W30V10U0SZ");
    WriteFile("two.job", "[LAYER_TABLE]\nLAYER_0=ON,255,0,0,Paint \"" + Path("two.em") +
                             "\"\n[General]\nFormatType=0\nUnitType=1\n");
    // The plot's temporary files go to the viewer's temporary directory.
    std::filesystem::create_directories(Path("tmp"));
    WriteSetting("TmpDir", Path("tmp"));
    app_ = std::make_unique<CLumraApp>();
    const std::vector<std::string> words = {"vexil", "two.job"};
    app_->InitInstance(ParseCommandLine(words, temp_.path(), true));
    ASSERT_TRUE(WaitFor([] { return AppState().job_loaded; }));
    // A wide window, drawn: the view the plots take is settled.
    frame()->resize(1000, 500);
    ASSERT_TRUE(WaitFor([this] {
      return AppState().picture_valid && !app_->view()->redraw_pending() &&
             !AppState().drawing_active;
    }));
    ASSERT_TRUE(ShownPlotDisplay().has_value());
    ::mkdir((config_dir_ + "/Kavrinth").c_str(), 0700);
    std::ofstream(config_dir_ + "/Kavrinth/plot.cfg")
        << "[plendo]\nPLOTFILE=" << Path("plot.pdf")
        << "\nPGSIZE=A\nROTATE=auto\nPGSCALE=0\nPLTYPE=PDF 8:colour\n";
  }
  CMainFrame* frame() const { return app_->frame(); }
  // The extents of the loaded flashes.
  static GdxRect Extents() {
    GdxLibrary* library = GdxLibraryFromHandle(LayerTable()[0].library);
    return GdxFindStructureById(library, library->current_structure_id)->extents;
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
  std::unique_ptr<CLumraApp> app_;
};

TEST_F(VexilPlotTest, PlotScreenWritesThePdfOfTheShownJob) {
  StartOnTwoFlashes();
  EXPECT_EQ(PlotConfigPath(), config_dir_ + "/Kavrinth/plot.cfg");
  const GdxRect shown_view = ShownPlotDisplay()->view_window;
  QAction* plot = frame()->CommandAction(kCmdPlotScreen);
  ASSERT_TRUE(plot->isEnabled());
  plot->trigger();
  ASSERT_TRUE(std::filesystem::exists(Path("plot.pdf")));
  EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown[0].text;
  EXPECT_EQ(frame()->statusBar()->currentMessage().toStdString(),
            "Plot written to " + Path("plot.pdf"));
  EXPECT_NE(Output("pdfinfo '" + Path("plot.pdf") + "'").find("792 x 612 pts"), std::string::npos)
      << "the flashes lie side by side: the letter page is turned";

  // The visible view fills the printable area: each flash where its coordinates say.
  const QImage page = Render(Path("plot.pdf"), Path("page"));
  ASSERT_EQ(page.width(), 792);
  const GdxRect view = shown_view;
  const auto at = PagePixels(page, view);
  const GdxRect w = Extents();
  ASSERT_TRUE(view.min_x <= w.min_x && view.max_x >= w.max_x && view.min_y <= w.min_y &&
              view.max_y >= w.max_y)
      << "the drawing is fitted to the job";
  const double fx = (w.max_x - w.min_x) / 230.0, fy = (w.max_y - w.min_y) / 70.0;
  EXPECT_TRUE(IsRed(at(w.min_x + 15 * fx, w.min_y + 5 * fy))) << "first flash";
  EXPECT_TRUE(IsRed(at(w.min_x + 2 * fx, w.min_y + 2 * fy))) << "inside its corner";
  EXPECT_TRUE(IsRed(at(w.max_x - 15 * fx, w.max_y - 5 * fy))) << "second flash";
  EXPECT_EQ(at(w.min_x + 35 * fx, w.min_y + 5 * fy), qRgb(255, 255, 255)) << "right of the first";
  EXPECT_EQ(at(w.min_x + 115 * fx, w.min_y + 35 * fy), qRgb(255, 255, 255)) << "between them";
  EXPECT_EQ(page.pixel(10, 10), qRgb(255, 255, 255)) << "the margin";
  // The plot's temporary files are gone.
  ASSERT_EQ(AppState().temporary_directory, Path("tmp"));
  EXPECT_TRUE(std::filesystem::is_empty(Path("tmp")));
}

// The plot library runs in the viewer's temporary directory: a plot file named without a
// directory lands there, and the viewer's own directory is the same afterwards.
TEST_F(VexilPlotTest, PlotScreenRunsThePlotInTheTemporaryDirectory) {
  StartOnTwoFlashes();
  std::ofstream(config_dir_ + "/Kavrinth/plot.cfg") << "[plendo]\nPLOTFILE=relative.pdf\n";
  const std::filesystem::path before = std::filesystem::current_path();
  frame()->CommandAction(kCmdPlotScreen)->trigger();
  EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown[0].text;
  EXPECT_TRUE(std::filesystem::exists(Path("tmp") + "/relative.pdf"));
  EXPECT_FALSE(std::filesystem::exists(before / "relative.pdf"));
  EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST_F(VexilPlotTest, PageSetupAndPlotSetupChangeTheNextPlot) {
  StartOnTwoFlashes();
  WhenModal<QDialog>([](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Page Setup");
    for (QComboBox* box : dialog->findChildren<QComboBox*>()) {
      if (box->accessibleName() == "Orientation") box->setCurrentText("Portrait");
    }
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  frame()->CommandAction(kCmdPageSetup)->trigger();
  frame()->CommandAction(kCmdPlotScreen)->trigger();
  EXPECT_NE(Output("pdfinfo '" + Path("plot.pdf") + "'").find("612 x 792 pts"), std::string::npos);
  EXPECT_TRUE(notifier_.shown.empty());

  // Plot Setup from the menu sends the next plot to another file.
  WhenModal<QDialog>([this](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Plot Setup");
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
      if (edit->accessibleName() == "PDF file")
        edit->setText(QString::fromStdString(Path("other.pdf")));
    }
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  frame()->CommandAction(kCmdPlotSetup)->trigger();
  frame()->CommandAction(kCmdPlotScreen)->trigger();
  EXPECT_TRUE(std::filesystem::exists(Path("other.pdf")));
}

TEST_F(VexilPlotTest, PlotWindowCoordsPlotsTheTypedWindow) {
  StartOnTwoFlashes();
  const GdxRect w = Extents();
  const double factor = CurrentViewerServices().DisplayUnits().database_units_per_user_unit;
  // A 45 x 10 window around the second flash (x 285..315, y 255..265): a turned page, 16
  // points a unit, the flash from x = 276 on and the window's left part empty.
  const auto text = [factor](double x, double y) {
    return QString("%1,%2").arg(x / factor).arg(y / factor);
  };
  const QString minimum = text(w.max_x - 45, w.max_y - 10);
  const QString maximum = text(w.max_x, w.max_y);
  bool kept_open = false;
  WhenModal<QDialog>([&](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Plot Window");
    const QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 2);
    QTest::keyClicks(edits[0], "no comma");
    QTest::keyClicks(edits[1], maximum);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    kept_open = dialog->isVisible();
    edits[0]->clear();
    QTest::keyClicks(edits[0], minimum);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  frame()->CommandAction(kCmdPlotWindowCoords)->trigger();
  EXPECT_TRUE(kept_open);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Extents entered are not in the correct format");
  ASSERT_TRUE(std::filesystem::exists(Path("plot.pdf")));
  const QImage page = Render(Path("plot.pdf"), Path("window"));
  ASSERT_EQ(page.width(), 792);
  EXPECT_TRUE(IsRed(page.pixel(396, 306))) << "the second flash in the middle";
  EXPECT_TRUE(IsRed(page.pixel(290, 306)));
  EXPECT_EQ(page.pixel(260, 306), qRgb(255, 255, 255)) << "left of the flash";
  EXPECT_FALSE(PlotWindowStore().pending) << "used once";
}

TEST_F(VexilPlotTest, PlotWindowGoesToTheDrawingWindowsModeAndEndsQueries) {
  StartOnTwoFlashes();
  EXPECT_TRUE(frame()->CommandAction(kCmdPlotWindow)->isEnabled()) << "the drawing window's mode";
  std::vector<int> taken;
  int queries_ended = 0;
  frame()->SetDrawWindow({[](int id) { return id == kDrawPlotWindow; },
                          [&taken](int id, int) {
                            if (id != kDrawPlotWindow) return false;
                            taken.push_back(id);
                            return true;
                          }});
  frame()->SetQueryModeEnd([&queries_ended] { ++queries_ended; });
  QAction* mode = frame()->CommandAction(kCmdPlotWindow);
  ASSERT_TRUE(mode->isEnabled());
  mode->trigger();
  EXPECT_EQ(taken, std::vector<int>{kDrawPlotWindow});
  // The box the mode gives reaches the plot through the database's PlotWindowRect.
  const GdxRect w = Extents();
  EXPECT_EQ(PlotWindowRect({w.max_x, w.max_y, w.min_x, w.min_y}), 0);
  EXPECT_EQ(queries_ended, 1);
  EXPECT_TRUE(std::filesystem::exists(Path("plot.pdf")));
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(VexilPlotTest, PlotScreenPlotsTheZoomedView) {
  StartOnTwoFlashes();
  // Zoomed in on the first flash (x 85..115, y 195..205), the second out of sight.
  const GdxRect w = Extents();
  ASSERT_TRUE(
      AppDisplay().window.ZoomToWorldBox(w.min_x - 15, w.min_y - 20, w.min_x + 45, w.min_y + 30));
  const GdxRect view = ShownPlotDisplay()->view_window;
  ASSERT_LT(view.max_x, w.max_x - 30) << "the second flash is out of the view";
  frame()->CommandAction(kCmdPlotScreen)->trigger();
  const QImage page = Render(Path("plot.pdf"), Path("zoomed"));
  ASSERT_EQ(page.width(), 792);
  const double vx = view.max_x - view.min_x, vy = view.max_y - view.min_y;
  const double s = std::min(720.0 / vx, 540.0 / vy);
  const double left = 36 + (720 - vx * s) / 2, bottom = 576 - (540 - vy * s) / 2;
  const auto px = [&](double x) { return static_cast<int>(left + (x - view.min_x) * s); };
  const auto py = [&](double y) { return static_cast<int>(bottom - (y - view.min_y) * s); };
  EXPECT_TRUE(IsRed(page.pixel(px(w.min_x + 15), py(w.min_y + 5))));
  EXPECT_TRUE(IsRed(page.pixel(px(w.min_x) + 2, py(w.min_y) - 2)));
  EXPECT_EQ(page.pixel(px(w.min_x) - 3, py(w.min_y + 5)), qRgb(255, 255, 255));
  EXPECT_EQ(page.pixel(px(w.min_x + 30) + 3, py(w.min_y + 5)), qRgb(255, 255, 255));
  // The flash is drawn at the zoom's scale: 30 units wide.
  int red_columns = 0;
  for (int x = 0; x < page.width(); ++x) red_columns += IsRed(page.pixel(x, py(w.min_y + 5)));
  EXPECT_NEAR(red_columns, 30 * s, 3);
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(VexilPlotTest, PlotScreenAfterSavingEditsPlotsTheSavedLayer) {
  StartOnTwoFlashes();
  const GdxRect w = Extents();
  CEditTools* tools = app_->edit_tools();
  ASSERT_NE(tools, nullptr);
  const auto choose = [tools](int id) {
    tools->tools_menu()->findChild<QAction*>(QStringLiteral("tool_%1").arg(id))->trigger();
  };
  const auto click = [this](int32_t x, int32_t y) {
    const LogicalPoint p = AppDisplay().window.WorldToLogical(x, y);
    QTest::mouseClick(app_->view(), Qt::LeftButton, {}, QPoint(p.x, p.y));
  };
  // The second flash deleted (picked across its right edge), a rectangle added between.
  choose(kToolDeleteElements);
  click(w.max_x - 10, w.max_y - 15);
  click(w.max_x + 10, w.max_y + 5);
  auto* box = tools->selection_dialog()->findChild<QDialogButtonBox*>();
  QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
  choose(kToolRectangle2);
  click(w.min_x + 65, w.min_y + 20);
  click(w.min_x + 165, w.min_y + 50);
  frame()->OnCommand(kToolEnd);
  ASSERT_TRUE(tools->store().HasEdits());
  tools->SetSaveChangesDialog([](std::vector<SaveTarget>*) { return kAnswerYes; });
  const GdxRect view = ShownPlotDisplay()->view_window;
  frame()->CommandAction(kCmdPlotScreen)->trigger();
  EXPECT_FALSE(tools->store().HasEdits());
  const QImage page = Render(Path("plot.pdf"), Path("saved"));
  ASSERT_EQ(page.width(), 792);
  const auto at = PagePixels(page, view);
  EXPECT_TRUE(IsRed(at(w.min_x + 15, w.min_y + 5))) << "the first flash";
  EXPECT_TRUE(IsRed(at(w.min_x + 115, w.min_y + 35))) << "the added rectangle";
  EXPECT_EQ(at(w.max_x - 15, w.max_y - 5), qRgb(255, 255, 255)) << "the deleted flash";
  // The view shows the saved layer too, in the view it had.
  ASSERT_TRUE(WaitFor([this] {
    return AppState().picture_valid && !app_->view()->redraw_pending() &&
           !AppState().drawing_active;
  }));
  EXPECT_EQ(ShownPlotDisplay()->view_window, view);
  const auto shown = [this](int32_t x, int32_t y) {
    const LogicalPoint p = AppDisplay().window.WorldToLogical(x, y);
    return app_->view()->grab().toImage().pixelColor(p.x, p.y);
  };
  EXPECT_EQ(shown(w.min_x + 115, w.min_y + 35), QColor(255, 0, 0));
  EXPECT_NE(shown(w.max_x - 15, w.max_y - 5), QColor(255, 0, 0));
}

}  // namespace
}  // namespace kavrinth
