// The viewer's window driven in-process as a user drives it: start-up with and without a
// file, File Close, the save-edits question, hand-overs during modal loops, drawing that
// is cancelled or cannot run, and settings kept from one start to the next.
#include "viewer/app/main_frame.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <memory>

#include "support/colors.h"
#include "support/notifier.h"
#include "support/qt/color_picker.h"
#include "support/qt/dialogs.h"
#include "support/qt/file_dialogs.h"
#include "support/tests/help_table_check.h"
#include "viewer/app/help_topics.h"
#include "viewer/app/layer_table_dlg.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/small_dialogs.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

class VexilWindowTest : public VexilAppTest {
 protected:
  std::string Title() const { return frame()->windowTitle().toStdString(); }

  // Lets queued work run for a while.
  static void Settle(int ms = 200) {
    WaitFor([] { return false; }, ms);
  }

  HandOverRequest OpenRequest(const std::string& directory, const std::string& file) const {
    return HandOverRequest{HandOverRequest::kOpen, directory, {"vexil", file}};
  }

  // Every message shown so far, one per line.
  std::string Messages() const {
    std::string all;
    for (const Message& message : notifier_.shown) all += message.text + "\n";
    return all;
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

// Types the names into the file dialog's name field in place of any selection, and accepts.
void TypeAndAccept(QFileDialog* dialog, const QString& names) {
  for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
    if (view->selectionModel()) view->selectionModel()->clearSelection();
  }
  dialog->findChild<QLineEdit*>("fileNameEdit")->setText(names);
  QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
  // A dialog that refuses the names must not hold the test up.
  QTimer::singleShot(3000, [shown = QPointer<QFileDialog>(dialog)] {
    if (shown == nullptr || !shown->isVisible()) return;
    ADD_FAILURE() << "the file dialog did not take the names";
    shown->reject();
  });
}

TEST_F(VexilWindowTest, StartsEmptyWithTheProgramNameAsTitle) {
  Start({"vexil"});
  Settle();
  EXPECT_TRUE(frame()->isVisible());
  EXPECT_EQ(Title(), "Vexil");
  EXPECT_EQ(frame()->layer_list()->count(), 0);
  EXPECT_EQ(frame()->layer_check_box()->text(), "Off");
  EXPECT_FALSE(AppState().job_loaded);
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
  // The drawing shows the default background.
  const QImage shown = view()->grab().toImage();
  EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2), qRgb(192, 192, 192));
  // Built commands are enabled; those of parts not built are shown disabled.
  for (int id : {kCmdFileNew, kCmdFileOpen, kCmdFileClose, kCmdAppAbout, kCmdViewToolbar}) {
    EXPECT_TRUE(frame()->CommandAction(id)->isEnabled()) << id;
  }
  for (int id : {kCmdPlotScreen, kCmdViewAll, kCmdMeasure, kCmdCaptureFirst, kCmdViewRedraw}) {
    EXPECT_FALSE(frame()->CommandAction(id)->isEnabled()) << id;
    EXPECT_FALSE(frame()->OnCommand(id)) << id;
  }
  EXPECT_EQ(frame()->units_pane()->text(), "METRIC");
}

TEST_F(VexilWindowTest, LoadsItsFontAndRunsOnWithoutIt) {
  Start({"vexil"});
  EXPECT_GT(ViewerTextFont().character_count, 0) << "Mirelt.shx beside the program";
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
  app_.reset();
  const std::string program_dir = std::getenv("KAVRINTH_PROGRAM_DIR");
  ::setenv("KAVRINTH_PROGRAM_DIR", temp_.path().c_str(), 1);
  Start({"vexil"});
  ::setenv("KAVRINTH_PROGRAM_DIR", program_dir.c_str(), 1);
  EXPECT_NE(Messages().find("Cannot load font."), std::string::npos) << Messages();
  EXPECT_EQ(ViewerTextFont().character_count, 0);
  EXPECT_TRUE(frame()->isVisible());
}

TEST_F(VexilWindowTest, TheModelsStatusTextsShowInTheStatusLine) {
  Start({"vexil"});
  ASSERT_EQ(&CurrentViewerServices(), &app_->services());
  CurrentViewerServices().SendMainEvent("Getting job information.");
  EXPECT_EQ(frame()->statusBar()->currentMessage(), "Getting job information.");
  EXPECT_EQ(CurrentViewerServices().DatabaseMemoryLimit(), AppState().ram_use_limit);
}

TEST_F(VexilWindowTest, EveryControlHasAnAccessibleName) {
  Start({"vexil"});
  for (QWidget* widget : frame()->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(widget) ||
                         qobject_cast<QComboBox*>(widget) || qobject_cast<QLabel*>(widget) ||
                         qobject_cast<QMenu*>(widget) || widget == view();
    if (!control) continue;
    QString name = widget->accessibleName();
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && name.isEmpty()) {
      name = button->text();
    }
    EXPECT_FALSE(name.isEmpty())
        << "control without a name: " << widget->metaObject()->className() << " "
        << (widget->parent() ? widget->parent()->metaObject()->className() : "") << " "
        << (qobject_cast<QMenu*>(widget) ? qobject_cast<QMenu*>(widget)->title().toStdString() : "")
        << " " << widget->objectName().toStdString();
  }
  for (QAction* action : frame()->menuBar()->actions()) {
    EXPECT_FALSE(action->text().isEmpty());
  }
}

TEST_F(VexilWindowTest, MenusStandInOrderAndReachTheCommandsWithoutKeys) {
  Start({"vexil"});
  const auto texts = [](const QList<QAction*>& actions) {
    QStringList list;
    for (const QAction* action : actions) list << (action->isSeparator() ? "-" : action->text());
    return list;
  };
  EXPECT_EQ(
      texts(frame()->menuBar()->actions()),
      QStringList({"&File", "&Edit", "&Settings", "&View", "&Info", "&Tools", "&Plot", "&Help"}));
  QMenu* settings = nullptr;
  QMenu* tools = nullptr;
  QMenu* help = nullptr;
  for (QAction* action : frame()->menuBar()->actions()) {
    if (action->text() == "&Settings") settings = action->menu();
    if (action->text() == "&Tools") tools = action->menu();
    if (action->text() == "&Help") help = action->menu();
  }
  ASSERT_NE(settings, nullptr);
  ASSERT_NE(tools, nullptr);
  ASSERT_NE(help, nullptr);
  // The About item is named after the program.
  EXPECT_EQ(texts(help->actions()),
            QStringList({"&Index", "&Installation", "&Using Help", "-", "-", "About Vexil..."}));
  // The frames display, Ram Use and Merge Layers have no key or button: their items follow
  // those of the settings and the tools.
  EXPECT_EQ(
      texts(settings->actions()),
      QStringList({"&Snap Settings...", "&Glass Setup...", "-", "G&lass On/Off", "&Fill On/Off",
                   "-", "F&rames Display", "Frames at S&tartup", "&Ram Use..."}));
  EXPECT_EQ(texts(tools->actions()),
            QStringList({"Rectangle 2 Pt.", "Rectangle 3 Pt.", "Text", "-", "Save", "Undo",
                         "Delete", "-", "Merge Layers..."}));
  bool ram_use_shown = false;
  WhenModal<CRamUseDlg>([&](CRamUseDlg* dialog) {
    ram_use_shown = true;
    dialog->reject();
  });
  settings->actions().back()->trigger();
  EXPECT_TRUE(ram_use_shown);
}

TEST_F(VexilWindowTest, StartsWithAPgFileAndOpensItsJobOnceShown) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  // The file is in the job before the window shows; the job opens afterwards.
  EXPECT_EQ(LayerTable()[0].path, "layer1.em");
  EXPECT_TRUE(frame()->isVisible());
  EXPECT_FALSE(AppState().job_loaded);
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(Title(), "Vexil - layer1.job");
  ASSERT_EQ(frame()->layer_list()->count(), 1);
  EXPECT_EQ(frame()->layer_list()->itemText(0), "LAYER:   0 layer1.em");
  EXPECT_EQ(frame()->layer_check_box()->text(), "On");
  EXPECT_NE(LayerTable()[0].library, kGdxNoHandle);
  EXPECT_EQ(AppState().current_job_path, Path("layer1.job"));
  EXPECT_TRUE(std::filesystem::exists(Path("layer1.job")));
  EXPECT_TRUE(frame()->CommandAction(kCmdViewRedraw)->isEnabled());
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(VexilWindowTest, DataFilesAreReadInTheFormatTheirExtensionNames) {
  WriteFile("demo.em", ReadFile(std::string(SAMPLES_DIR) + "/demo.em"));
  WriteFile("demo.dwm", ReadFile(std::string(SAMPLES_DIR) + "/demo.dwm"));
  Start({"vexil", "demo.dwm"});
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(ImportSettings().pg_format, 1) << "Mann 3000";
  // The same job name for the ElectroMask file: the job now holds it, in its own format.
  app_->QueueHandOver(OpenRequest(temp_.path(), "demo.em"));
  ASSERT_TRUE(WaitFor([] { return LayerTable()[0].path == "demo.em"; }));
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(ImportSettings().pg_format, 0);
  EXPECT_NE(ReadFile(Path("demo.job")).find("FormatType=0"), std::string::npos);
  // The same from the Open dialog, in the file's own unit (microns).
  WhenModal<QFileDialog>([](QFileDialog* dialog) {
    FindControl<QComboBox>(dialog, kTplUnit)->setCurrentText("Metric");
    TypeAndAccept(dialog, "demo.dwm");
  });
  frame()->CommandAction(kCmdFileOpen)->trigger();
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(LayerTable()[0].path, Path("demo.dwm"));
  EXPECT_EQ(ImportSettings().pg_format, 1);
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(VexilWindowTest, StartsWithAJobFile) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  WriteFile("two.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("a.em") +
                           "\"\r\nLAYER_3=OFF,0,255,0,Scratch \"" + Path("b.em") +
                           "\"\r\n[General]\r\nFormatType=0\r\nUnitType=1\r\n");
  Start({"vexil", "two.job"});
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(Title(), "Vexil - two.job");
  ASSERT_EQ(frame()->layer_list()->count(), 2);
  EXPECT_EQ(frame()->layer_list()->itemText(1), "LAYER:   3 b.em");
  EXPECT_NE(LayerTable()[3].library, kGdxNoHandle);
  EXPECT_EQ(LayerTable()[3].shown, 0);
}

TEST_F(VexilWindowTest, MissingOrMalformedFilesLeaveAnEmptyViewerWithAMessage) {
  Start({"vexil", "missing.em"});
  Settle();
  EXPECT_NE(Messages().find("The file missing.em does not exist."), std::string::npos)
      << Messages();
  EXPECT_FALSE(std::filesystem::exists(Path("missing.job"))) << "no job for a missing file";
  EXPECT_FALSE(AppState().job_loaded);
  EXPECT_EQ(Title(), "Vexil");

  notifier_.shown.clear();
  WriteFile("bad.em", "this is not pattern data");
  app_->QueueHandOver(OpenRequest(temp_.path(), "bad.em"));
  Settle();
  EXPECT_NE(Messages().find("Could not load layer information"), std::string::npos) << Messages();
  EXPECT_FALSE(AppState().job_loaded);
  EXPECT_TRUE(LayerTable()[0].path.empty());
  EXPECT_EQ(frame()->layer_list()->count(), 0);

  // A job that does not exist is built in the Layer Table; without a table nothing opens.
  notifier_.shown.clear();
  bool asked_for_table = false;
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    asked_for_table = true;
    table->reject();
  });
  app_->QueueHandOver(OpenRequest(temp_.path(), "gone.job"));
  Settle();
  EXPECT_TRUE(asked_for_table);
  EXPECT_NE(Messages().find("No layer information was saved"), std::string::npos) << Messages();
  EXPECT_FALSE(std::filesystem::exists(Path("gone.job")));
  EXPECT_TRUE(frame()->isVisible());
}

TEST_F(VexilWindowTest, FileCloseEmptiesTheViewAndRenewsTheScratchLibrary) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  ASSERT_NE(GdxTempLibrary(), nullptr);
  frame()->CommandAction(kCmdFileClose)->trigger();
  EXPECT_FALSE(AppState().job_loaded);
  EXPECT_FALSE(AppState().picture_valid);
  EXPECT_TRUE(LayerTable()[0].path.empty());
  EXPECT_EQ(LayerTable()[0].library, kGdxNoHandle);
  EXPECT_EQ(frame()->layer_list()->count(), 0);
  EXPECT_EQ(frame()->layer_check_box()->text(), "Off");
  EXPECT_EQ(Title(), "Vexil");
  ASSERT_NE(GdxTempLibrary(), nullptr) << "a fresh scratch library";
  EXPECT_EQ(GdxTempLibrary()->name, "tmplib");
  const QImage& picture = view()->picture();
  for (int y = 0; y < picture.height(); y += 7) {
    for (int x = 0; x < picture.width(); x += 7) {
      ASSERT_EQ(picture.pixelIndex(x, y), kBackgroundColourIndex);
    }
  }
  EXPECT_FALSE(frame()->CommandAction(kCmdViewRedraw)->isEnabled());
}

TEST_F(VexilWindowTest, EditsAreAskedAboutBeforeAnyJobIsLeft) {
  WriteFile("layer1.em", kSmallEmFile);
  WriteFile("other.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  const GdxHandle library = LayerTable()[0].library;
  int answer = kEditsCancelled;
  int asked = 0;
  int discarded = 0;
  app_->SetSaveEditsHandler(
      [&](int) {
        ++asked;
        return answer;
      },
      [&] { ++discarded; });
  // Cancel keeps everything: New, Close, a hand-over and closing the window.
  frame()->CommandAction(kCmdFileNew)->trigger();
  frame()->CommandAction(kCmdFileClose)->trigger();
  app_->QueueHandOver(OpenRequest(temp_.path(), "other.em"));
  Settle();
  EXPECT_FALSE(frame()->close());
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(discarded, 0);
  EXPECT_EQ(LayerTable()[0].library, library);
  EXPECT_EQ(LayerTable()[0].path, "layer1.em");
  EXPECT_FALSE(std::filesystem::exists(Path("other.job"))) << "the hand-over was not applied";
  EXPECT_TRUE(AppState().job_loaded);
  // Going on drops the edits, then the job.
  answer = kEditsDiscarded;
  frame()->CommandAction(kCmdFileClose)->trigger();
  EXPECT_EQ(discarded, 1);
  EXPECT_FALSE(AppState().job_loaded);
}

TEST_F(VexilWindowTest, HandOversDuringAModalLoopWaitAndRunInOrder) {
  Start({"vexil"});
  Settle();
  const std::string other = Path("other");
  std::filesystem::create_directory(other);
  WriteFile("other/a.em", kSmallEmFile);
  WriteFile("other/b.em", kSmallEmFile);
  WriteFile("b.em", "a file of the same name where the viewer runs");
  size_t pending_during = 0;
  bool loaded_during = true;
  QDialog dialog(frame());
  QTimer::singleShot(0, [&] {
    app_->QueueHandOver(OpenRequest(other, "a.em"));
    app_->QueueHandOver(OpenRequest(other, "b.em"));
  });
  QTimer::singleShot(300, [&] {
    pending_during = app_->pending_requests();
    loaded_during = AppState().job_loaded;
    dialog.accept();
  });
  dialog.exec();
  EXPECT_EQ(pending_during, 2u);
  EXPECT_FALSE(loaded_during);
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == other + "/b.job"; }))
      << Messages();
  ASSERT_TRUE(WaitDrawn());
  // The earlier one ran first; relative names were taken from the sender's directory.
  EXPECT_TRUE(std::filesystem::exists(other + "/a.job"));
  EXPECT_EQ(LayerTable()[0].path, other + "/b.em");
  EXPECT_EQ(Title(), "Vexil - b.job");
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(VexilWindowTest, AHandOverRestoresAMinimisedViewerAtOnce) {
  WriteFile("a.em", kSmallEmFile);
  Start({"vexil"});
  Settle();
  frame()->showMaximized();
  Settle(100);
  frame()->showMinimized();
  Settle(100);
  ASSERT_TRUE(frame()->isMinimized());
  // The request waits for the dialog; the window comes back, maximised as it was, as soon
  // as it arrives.
  bool minimised_during = true;
  bool maximised_during = false;
  size_t pending_during = 0;
  QDialog dialog(frame());
  QTimer::singleShot(0, [&] { app_->QueueHandOver(OpenRequest(temp_.path(), "a.em")); });
  QTimer::singleShot(300, [&] {
    minimised_during = frame()->isMinimized();
    maximised_during = frame()->isMaximized();
    pending_during = app_->pending_requests();
    dialog.accept();
  });
  dialog.exec();
  EXPECT_FALSE(minimised_during);
  EXPECT_TRUE(maximised_during);
  EXPECT_EQ(pending_during, 1u);
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == Path("a.job"); }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_TRUE(frame()->isMaximized());
}

TEST_F(VexilWindowTest, OptionsOfAHandOverDoNotStickToTheNext) {
  WriteFile("a.em", kSmallEmFile);
  Start({"vexil", "-ram:100"});
  Settle();
  EXPECT_EQ(AppState().ram_use_limit, 100);
  app_->QueueHandOver({HandOverRequest::kOpen,
                       temp_.path(),
                       {"vexil", "a.em", "-fbclr", "-vefn:e.txt", "-ram:6000000000"}});
  ASSERT_TRUE(WaitDrawn());
  EXPECT_TRUE(AppState().layer_colour_only);
  EXPECT_EQ(AppState().error_file_name, Path("e.txt"));
  EXPECT_EQ(AppState().ram_use_limit, 6000000000LL);
  app_->QueueHandOver(OpenRequest(temp_.path(), "a.em"));
  ASSERT_TRUE(WaitFor([] { return !AppState().layer_colour_only; }));
  EXPECT_FALSE(AppState().error_file_given);
}

TEST_F(VexilWindowTest, ACancelledDrawingStaysUntilTheNextCommand) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  std::vector<bool> ends;
  QObject::connect(view(), &CLumraView::drawingEnded,
                   [&](bool complete) { ends.push_back(complete); });
  int drawings = 0;
  app_->document().SetPainter([&](QImage* picture, const std::function<bool()>& cancelled) {
    picture->fill(3);
    if (drawings++ == 0) frame()->OnCommand(kCmdCancelDrawing);  // Escape in mid-drawing
    return !cancelled();
  });
  frame()->CommandAction(kCmdViewRedraw)->trigger();
  ASSERT_TRUE(WaitFor([&] { return !ends.empty(); }));
  EXPECT_FALSE(ends[0]);
  // The picture stays as far as it was drawn; nothing draws it again by itself.
  Settle(300);
  EXPECT_EQ(drawings, 1);
  EXPECT_EQ(view()->picture().pixelIndex(0, 0), 3);
  // The next command draws, and only a whole drawing counts as complete.
  frame()->CommandAction(kCmdViewRedraw)->trigger();
  ASSERT_TRUE(WaitFor([&] { return ends.size() >= 2; }));
  EXPECT_TRUE(ends[1]);
  EXPECT_TRUE(AppState().picture_valid);
}

TEST_F(VexilWindowTest, LayerBoxShowsTheLayersStateAlsoAfterAClickDuringADrawing) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  QCheckBox* box = frame()->layer_check_box();
  ASSERT_TRUE(box->isChecked());
  const auto click = [box] {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  };
  bool clicked = false;
  app_->document().SetPainter([&](QImage* picture, const std::function<bool()>& cancelled) {
    picture->fill(3);
    if (!clicked) click();
    clicked = true;
    return !cancelled();
  });
  frame()->CommandAction(kCmdViewRedraw)->trigger();
  ASSERT_TRUE(WaitFor([&] { return clicked && !AppState().drawing_active; }));
  Settle(50);
  EXPECT_EQ(box->isChecked(), LayerTable()[0].shown != 0);
  EXPECT_EQ(box->text(), LayerTable()[0].shown != 0 ? "On" : "Off");
  // Once the drawing is over a click turns the layer off, and the box says so.
  ASSERT_TRUE(WaitDrawn());
  const bool before = LayerTable()[0].shown != 0;
  click();
  EXPECT_NE(LayerTable()[0].shown != 0, before);
  EXPECT_EQ(box->isChecked(), LayerTable()[0].shown != 0);
  EXPECT_EQ(box->text(), LayerTable()[0].shown != 0 ? "On" : "Off");
}

TEST_F(VexilWindowTest, NothingFreesTheLayersWhileTheyAreDrawn) {
  WriteFile("layer1.em", kSmallEmFile);
  WriteFile("other.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  const GdxHandle library = LayerTable()[0].library;
  bool new_ran = true;
  bool freed_while_drawing = false;
  app_->document().SetPainter([&](QImage* picture, const std::function<bool()>& cancelled) {
    picture->fill(kBackgroundColourIndex);
    new_ran = frame()->OnCommand(kCmdFileNew) || frame()->OnCommand(kCmdFileClose);
    app_->QueueHandOver(OpenRequest(temp_.path(), "other.em"));
    for (int i = 0; i < 20; ++i) {
      QThread::msleep(10);
      if (cancelled()) return false;  // delivers the waiting events
      freed_while_drawing |= LayerTable()[0].library != library;
    }
    app_->document().SetPainter(PaintBackgroundOnly);
    return true;
  });
  frame()->CommandAction(kCmdViewRedraw)->trigger();
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == Path("other.job"); }));
  EXPECT_FALSE(new_ran);
  EXPECT_FALSE(freed_while_drawing);
  ASSERT_TRUE(WaitDrawn());
}

TEST_F(VexilWindowTest, MinimisedViewStartsNoDrawing) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  const int before = view()->full_drawings();
  frame()->showMinimized();
  Settle(100);
  view()->RequestRedraw();
  Settle();
  EXPECT_EQ(view()->full_drawings(), before);
  EXPECT_FALSE(view()->redraw_pending());
  frame()->showNormal();
  ASSERT_TRUE(WaitDrawn());
  EXPECT_GT(view()->full_drawings(), before);
}

TEST_F(VexilWindowTest, SettingsWrittenAtCloseAreReadAtTheNextStart) {
  WriteFile("layer1.em", kSmallEmFile);
  WriteSetting("RamUse", "5000000000");
  Start({"vexil", "layer1.em", "-ram:100"});
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(AppState().ram_use_limit, 5000000000LL) << "the stored limit replaces -ram:";
  frame()->CommandAction(kCmdViewToolbar)->trigger();
  frame()->CommandAction(kCmdFillOnOff)->trigger();
  EXPECT_TRUE(frame()->toolbar()->isHidden());
  frame()->showMaximized();
  Settle(50);
  ASSERT_TRUE(frame()->close());
  EXPECT_EQ(Setting("Toolbar"), "0");
  EXPECT_EQ(Setting("Statusbar"), "1");
  EXPECT_EQ(Setting("FillOn"), "0");
  EXPECT_EQ(Setting("RamUse"), "5000000000");
  EXPECT_EQ(Setting("TmpDir"), temp_.path());
  EXPECT_EQ(Setting("LastJobFileName"), Path("layer1.job"));
  EXPECT_NE(Setting("WindowTopX"), "<missing>");
  EXPECT_EQ(Setting("WindowshowCmd"), "1");

  Restart({"vexil"});
  EXPECT_TRUE(frame()->toolbar()->isHidden());
  EXPECT_TRUE(frame()->isMaximized());
  EXPECT_FALSE(frame()->statusBar()->isHidden());
  EXPECT_EQ(AppState().fill_mode, 0);
  EXPECT_FALSE(frame()->CommandAction(kCmdFillOnOff)->isChecked());
  EXPECT_FALSE(frame()->CommandAction(kCmdFillOutline)->isChecked());
  // Fill/Outline alternates the view between outline and filled, from 2 to filled.
  frame()->CommandAction(kCmdFillOutline)->trigger();
  EXPECT_EQ(AppState().fill_mode, 1);
  EXPECT_TRUE(frame()->CommandAction(kCmdFillOutline)->isChecked());
  AppState().fill_mode = 2;
  frame()->CommandAction(kCmdFillOutline)->trigger();
  EXPECT_EQ(AppState().fill_mode, 1);
  EXPECT_EQ(AppState().current_job_path, Path("layer1.job"));
}

TEST_F(VexilWindowTest, StoredFillModeIsTheFirstViewsAndFillOutlineAlternatesFromIt) {
  WriteFile("a.em", kSmallEmFile);
  WriteSetting("FillOn", "2");
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn()) << Messages();
  // Fill with swept edges is the first view's mode; the button alternates fill and outline.
  EXPECT_EQ(AppState().fill_mode, 2);
  auto* button = qobject_cast<QToolButton*>(
      frame()->toolbar()->widgetForAction(frame()->CommandAction(kCmdFillOutline)));
  ASSERT_NE(button, nullptr);
  for (const int expected : {1, 0, 1}) {
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(WaitDrawn());
    EXPECT_EQ(AppState().fill_mode, expected);
    EXPECT_EQ(button->isChecked(), expected != 0);
  }
  // The stored mode is Fill On/Off's, not the view's.
  frame()->close();
  EXPECT_EQ(Setting("FillOn"), "2");
}

TEST_F(VexilWindowTest, EditToolsSeeCommandsFirstAndGetTheSnapSettingsBackAsSaved) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  std::vector<int> taken;
  bool active = false;
  frame()->SetEditTools({[&](int id) {
                           if (id < kToolFirstDrawing || id > kToolReset) return false;
                           taken.push_back(id);
                           active = id != kToolReset;
                           return true;
                         },
                         [&] { return active; },
                         {}});
  ViewerSettings& settings = AppState().settings;
  struct Case {
    int32_t end_point, snap, grid;
  };
  // The saved end-point snap being off must not keep the others from coming back.
  for (const Case& c : {Case{1, 1, 1}, Case{0, 1, 1}, Case{0, 0, 1}, Case{1, 0, 0}}) {
    settings.snap_end_point = c.end_point;
    settings.snap_on = c.snap;
    settings.grid_on = c.grid;
    EXPECT_TRUE(frame()->OnCommand(kToolDelete));
    EXPECT_EQ(settings.snap_end_point, 0);
    EXPECT_EQ(settings.snap_on, 0);
    settings.snap_on = 1;  // changed while deleting: the first values stay saved
    EXPECT_TRUE(frame()->OnCommand(kToolDelete));
    frame()->OnCommand(kCmdCancelDrawing);  // Escape resets the active tool
    EXPECT_EQ(settings.snap_end_point, c.end_point);
    EXPECT_EQ(settings.snap_on, c.snap);
    EXPECT_EQ(settings.grid_on, c.grid);
  }
  EXPECT_EQ(taken.back(), kToolReset);
  // Drawing tools with end-point snap put the query highlight aside until the reset.
  settings.snap_end_point = 1;
  frame()->OnCommand(kToolFirstDrawing);
  EXPECT_FALSE(frame()->query_highlight());
  frame()->OnCommand(kToolReset);
  EXPECT_TRUE(frame()->query_highlight());
  // A drawing tool on a layer that is off is cancelled with a message naming the layer.
  LayerTable()[0].shown = 0;
  frame()->OnCommand(kToolFirstDrawing + 1);
  EXPECT_EQ(taken.back(), kToolReset);
  EXPECT_NE(Messages().find("Current layer, (layer1.em), is off."), std::string::npos)
      << Messages();
}

TEST_F(VexilWindowTest, DrawingWindowCommandsAreRoutedAfterTheEditTools) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  std::vector<std::pair<int, int>> taken;
  frame()->SetDrawWindow({[](int id) {
                            return id == kCmdViewAll ||
                                   (id >= kCmdCaptureFirst && id < kCmdCaptureFirst + 10);
                          },
                          [&](int id, int param) {
                            taken.emplace_back(id, param);
                            return id != kCmdFileClose;
                          }});
  EXPECT_TRUE(frame()->CommandAction(kCmdViewAll)->isEnabled());
  EXPECT_TRUE(frame()->CommandAction(kCmdCaptureFirst + 3)->isEnabled());
  EXPECT_FALSE(frame()->CommandAction(kCmdRecallFirst)->isEnabled());
  EXPECT_FALSE(frame()->CommandAction(kCmdCopyAll)->isEnabled());
  frame()->CommandAction(kCmdViewAll)->trigger();
  frame()->CommandAction(kCmdCaptureFirst + 3)->trigger();
  EXPECT_TRUE(frame()->OnCommand(kCmdRecallFirst + 9));
  // What the drawing window leaves goes on to the frame's own handler.
  EXPECT_TRUE(frame()->OnCommand(kCmdFileClose));
  EXPECT_FALSE(AppState().job_loaded);
  const std::vector<std::pair<int, int>> expected = {
      {kCmdViewAll, 0}, {kDrawCapture, 3}, {kDrawRecall, 9}, {kCmdFileClose, 0}};
  EXPECT_EQ(taken, expected);
}

TEST_F(VexilWindowTest, PaintingOnlyCopiesThePicture) {
  WriteFile("layer1.em", kSmallEmFile);
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  app_->document().SetPainter([](QImage* picture, const std::function<bool()>&) {
    picture->fill(3);
    return true;
  });
  frame()->OnCommand(kCmdViewRedraw);
  ASSERT_TRUE(WaitFor([&] { return view()->picture().pixelIndex(0, 0) == 3; }));
  ASSERT_TRUE(WaitDrawn());
  const int drawings = view()->full_drawings();
  for (int i = 0; i < 5; ++i) view()->repaint();
  Settle(100);
  EXPECT_EQ(view()->full_drawings(), drawings);
  EXPECT_TRUE(AppState().picture_valid);
  EXPECT_EQ(view()->picture().pixelIndex(view()->width() / 2, view()->height() / 2), 3);
  EXPECT_EQ(view()->picture().size(), view()->size()) << "the picture is the window";
  EXPECT_EQ(view()->picture().bytesPerLine() % 4, 0) << "rows of whole words";
}

TEST_F(VexilWindowTest, OpenMakesAJobOfTheChosenFilesAndHandOversWaitForTheDialog) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  WriteFile("c.em", kSmallEmFile);
  Start({"vexil"});
  Settle();
  size_t pending_at_accept = 0;
  std::string title;
  WhenModal<QFileDialog>([&](QFileDialog* shown) {
    title = shown->windowTitle().toStdString();
    app_->QueueHandOver(OpenRequest(temp_.path(), "c.em"));
    QTimer::singleShot(200, [&, shown] {
      pending_at_accept = app_->pending_requests();
      TypeAndAccept(shown, "\"a.em\" \"b.em\"");
    });
  });
  frame()->CommandAction(kCmdFileOpen)->trigger();
  EXPECT_EQ(title, "Open");
  EXPECT_EQ(pending_at_accept, 1u) << "the hand-over waited for the dialog";
  EXPECT_EQ(AppState().current_job_path, Path("a.job"));
  EXPECT_EQ(LayerTable()[1].path, Path("b.em"));
  // Then the hand-over runs.
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == Path("c.job"); }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(frame()->recent_files(), (std::vector<std::string>{Path("c.job"), Path("a.job")}));
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(VexilWindowTest, OfHandOversDuringAFileDialogOnlyTheLatestOpens) {
  WriteFile("c.em", kSmallEmFile);
  WriteFile("d.em", kSmallEmFile);
  Start({"vexil"});
  Settle();
  size_t pending_during = 0;
  WhenModal<QFileDialog>([&](QFileDialog* shown) {
    app_->QueueHandOver(OpenRequest(temp_.path(), "c.em"));
    app_->QueueHandOver(OpenRequest(temp_.path(), "d.em"));
    QTimer::singleShot(200, [&, shown] {
      pending_during = app_->pending_requests();
      shown->reject();
    });
  });
  frame()->CommandAction(kCmdFileOpen)->trigger();
  EXPECT_EQ(pending_during, 1u) << "the newer start replaced the older one";
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == Path("d.job"); }));
  ASSERT_TRUE(WaitDrawn());
  Settle();
  // The older start was never opened: its job was not made.
  EXPECT_FALSE(std::filesystem::exists(Path("c.job")));
  EXPECT_EQ(frame()->recent_files(), (std::vector<std::string>{Path("d.job")}));
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(VexilWindowTest, OpeningAJobHidesTheModelessWindows) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn()) << Messages();
  const auto shown = [this] {
    QStringList titles;
    for (QDialog* dialog : frame()->findChildren<QDialog*>()) {
      if (dialog->isVisible()) titles << dialog->windowTitle();
    }
    titles.sort();
    return titles.join(",").toStdString();
  };
  // The Text tool shows Add Text, the Delete tool Selection; the View tear-off and the Error
  // Coordinates list are shown beside them.
  struct Case {
    int tool;
    const char* windows;
    const char* next_file;
  };
  for (const Case& test : {Case{kToolFirstDrawing + 1, "Add Text,Error Coordinates,View", "b.em"},
                           Case{kToolDelete, "Error Coordinates,Selection,View", "a.em"}}) {
    SCOPED_TRACE(test.windows);
    frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame(), 3000));
    QTest::keyClick(frame(), Qt::Key_F3);
    frame()->CommandAction(kCmdTearOff)->trigger();
    frame()->OnCommand(test.tool);
    EXPECT_EQ(shown(), test.windows);
    app_->QueueHandOver(OpenRequest(temp_.path(), test.next_file));
    const std::string job = Path(std::string(test.next_file, 1) + ".job");
    ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == job; }));
    ASSERT_TRUE(WaitDrawn());
    EXPECT_EQ(shown(), "");
    frame()->OnCommand(kToolReset);
  }
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(VexilWindowTest, NewNamesAJobAndBuildsItInTheLayerTable) {
  WriteFile("layer1.em", kSmallEmFile);
  WriteFile("empty.job", "[General]\r\nFormatType=0\r\n");
  Start({"vexil", "layer1.em"});
  ASSERT_TRUE(WaitDrawn());
  bool built = true;
  int shown = 0;
  bool for_new_job = false;
  std::string job;
  app_->SetLayerTableDialog([&] {
    ++shown;
    for_new_job = AppState().new_job_from_dialog;
    job = AppState().job_file_name;
    if (built) UpdateJobLayerTable(job, Path("layer1.em"));
    return built;
  });
  WhenModal<QFileDialog>([](QFileDialog* dialog) { TypeAndAccept(dialog, "fresh.job"); });
  frame()->CommandAction(kCmdFileNew)->trigger();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(for_new_job);
  EXPECT_EQ(job, Path("fresh.job"));
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(Title(), "Vexil - fresh.job");
  // Cancel in the Layer Table leaves the empty job; Cancel in the file dialog too.
  built = false;
  WhenModal<QFileDialog>([](QFileDialog* dialog) { TypeAndAccept(dialog, "other.job"); });
  frame()->CommandAction(kCmdFileNew)->trigger();
  EXPECT_EQ(shown, 2);
  EXPECT_FALSE(AppState().job_loaded);
  EXPECT_EQ(Title(), "Vexil");
  WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  frame()->CommandAction(kCmdFileNew)->trigger();
  EXPECT_EQ(shown, 2);
  // A job without layers is built in the dialog when it opens.
  built = true;
  app_->QueueHandOver(OpenRequest(temp_.path(), "empty.job"));
  ASSERT_TRUE(WaitFor([&] { return shown == 3; }));
  EXPECT_FALSE(for_new_job);
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(Title(), "Vexil - empty.job");
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(VexilWindowTest, RecentJobsAreKeptAndReopened) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  app_->QueueHandOver(OpenRequest(temp_.path(), "b.em"));
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == Path("b.job"); }));
  ASSERT_TRUE(frame()->close());
  EXPECT_EQ(ReadFile(SettingsPath())
                .find("[Recent File List]\r\nFile1=" + Path("b.job") +
                      "\r\nFile2=" + Path("a.job") + "\r\n"),
            ReadFile(SettingsPath()).find("[Recent File List]"));

  Restart({"vexil"});
  QAction* second = frame()->findChild<QAction*>("recent2");
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->isVisible());
  EXPECT_EQ(second->text(), "&2 a.job");
  EXPECT_FALSE(frame()->CommandAction(kCmdRecentFile)->isVisible());
  second->trigger();
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(AppState().current_job_path, Path("a.job"));
  EXPECT_EQ(frame()->recent_files().front(), Path("a.job"));
  // A job that has gone is said and taken off the list.
  std::filesystem::remove(Path("b.job"));
  frame()->findChild<QAction*>("recent2")->trigger();
  EXPECT_NE(Messages().find("b.job does not exist"), std::string::npos) << Messages();
  EXPECT_EQ(frame()->recent_files(), (std::vector<std::string>{Path("a.job")}));
}

TEST_F(VexilWindowTest, DroppedFileOpens) {
  WriteFile("a.em", kSmallEmFile);
  Start({"vexil"});
  Settle();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path("a.em")))});
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame(), &drop);
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(AppState().current_job_path, Path("a.job"));
}

TEST_F(VexilWindowTest, BackgroundColorIsShownAndStoredAtOnce) {
  Start({"vexil"});
  Settle();
  WhenModal<QColorDialog>([](QColorDialog* dialog) {
    dialog->setCurrentColor(QColor(10, 20, 30));
    dialog->accept();
  });
  frame()->CommandAction(kCmdBackgroundColor)->trigger();
  EXPECT_EQ(Setting("VUBKGND"), "10,20,30");
  EXPECT_EQ(PickColors()[kPickBackgroundIndex], 0x1E140Au) << "the pickers' background";
  Settle(50);
  const QImage shown = view()->grab().toImage();
  EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2), qRgb(10, 20, 30));
  // Cancel keeps the colour.
  WhenModal<QColorDialog>([](QColorDialog* dialog) {
    dialog->setCurrentColor(QColor(200, 0, 0));
    dialog->reject();
  });
  frame()->CommandAction(kCmdBackgroundColor)->trigger();
  EXPECT_EQ(Setting("VUBKGND"), "10,20,30");
  EXPECT_EQ(AppState().background_colour, 0x1E140Au);
}

TEST_F(VexilWindowTest, StoredBackgroundIsReadPartByPart) {
  // A missing part counts as 0; a part beyond 255 keeps its low 8 bits.
  const std::pair<const char*, QRgb> cases[] = {
      {"255,128", qRgb(255, 128, 0)}, {"300,0,0", qRgb(44, 0, 0)}, {"10, 20,30", qRgb(10, 20, 30)}};
  for (const auto& [text, colour] : cases) {
    app_.reset();
    AppState() = ViewerAppState();
    WriteSetting("VUBKGND", text);
    Start({"vexil"});
    Settle(50);
    const QImage shown = view()->grab().toImage();
    EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2), colour) << text;
  }
}

TEST_F(VexilWindowTest, LayerColoursArePickedAndShownAsSwatches) {
  Start({"vexil"});
  QImage image(20, 10, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintColourSwatch(painter, QRect(0, 0, 20, 10), 0x0000FF);
  }
  EXPECT_EQ(image.pixel(10, 5), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0)) << "framed in black";
  EXPECT_EQ(image.pixel(19, 9), qRgb(0, 0, 0));

  // The picker starts at the nearest pick colour; a new choice replaces the colour.
  int initial = -1;
  WhenModal<PickColorDialog>([&](PickColorDialog* dialog) {
    initial = dialog->initial_index();
    dialog->ChooseAndAccept(5);
  });
  uint32_t colour = 0x0000F0;  // nearly red
  EXPECT_EQ(NearestPickColourOfControl(frame()->layer_list(), &colour), 1);
  EXPECT_EQ(initial, 2) << "red";
  EXPECT_EQ(colour, PickColors()[5]);
  WhenModal<PickColorDialog>([](PickColorDialog* dialog) { dialog->reject(); });
  EXPECT_EQ(NearestPickColourOfControl(frame()->layer_list(), &colour), 0);
  EXPECT_EQ(colour, PickColors()[5]);
}

TEST_F(VexilWindowTest, AboutNamesTheProgram) {
  Start({"vexil"});
  std::string title;
  std::string line;
  WhenModal<QDialog>([&](QDialog* dialog) {
    title = dialog->windowTitle().toStdString();
    if (auto* label = FindControl<QLabel>(dialog, 1469)) line = label->text().toStdString();
    dialog->accept();
  });
  frame()->CommandAction(kCmdAppAbout)->trigger();
  EXPECT_EQ(title, "About Vexil");
  EXPECT_EQ(line, "Vexil version " PROJECT_VERSION_TEXT);
}

// Every section the viewer's help opens is a heading of the README (read without a window).
TEST(VexilHelpTableTest, EverySectionItOpensIsAHeadingOfTheReadme) {
  const HelpTable& table = VexilHelpTable();
  for (const std::string& section :
       test_support::SectionsMissingFromReadme(table, SAMPLES_DIR "/../README.md")) {
    ADD_FAILURE() << "no README heading for " << section;
  }
  // Measure and the Snap Settings dialog have sections of their own.
  EXPECT_EQ(HelpSectionOf(table, 0x18056), "Vexil/Viewing and measuring");
  EXPECT_EQ(HelpSectionOf(table, 0x2009C), "Vexil/Snap Settings");
  EXPECT_EQ(HelpSectionOf(table, CommandHelpContext(kCmdAppAbout)), "Vexil");
}

// The section at the top of the help window, once it shows.
std::string ShownHelp(CLumraApp* app) {
  HelpWindow* window = app->help() != nullptr ? app->help()->window() : nullptr;
  if (window == nullptr || !WaitFor([window] { return window->isVisible(); }, 3000)) {
    return "(no help window)";
  }
  QApplication::processEvents();
  return window->VisibleSection().toStdString();
}

TEST_F(VexilWindowTest, HelpOpensTheReadmeAtTheSectionOfTheCommandOrWindow) {
  Start({"vexil"});
  // The Help menu's items open the sections their names say.
  struct MenuCase {
    int command;
    const char* section;
  } menu_cases[] = {
      {kCmdHelpIndex, "Vexil"},
      {kCmdHelpInstallation, "Installing"},
      {kCmdHelpUsing, "Vexil/Using Help"},
  };
  for (const MenuCase& c : menu_cases) {
    frame()->CommandAction(c.command)->trigger();
    EXPECT_EQ(ShownHelp(app_.get()), c.section) << c.command;
    app_->help()->window()->hide();
  }
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();

  // F1 in a dialog: the dialog's section, over the dialog.
  std::string in_dialog;
  WhenModal<CSnapSettingsDlg>([&](CSnapSettingsDlg* dialog) {
    QTest::keyClick(dialog, Qt::Key_F1);
    in_dialog = ShownHelp(app_.get());
    dialog->reject();
  });
  frame()->CommandAction(kCmdSnapSettings)->trigger();
  EXPECT_EQ(in_dialog, "Vexil/Snap Settings");

  // Shift+F1, then a click on Info > Measure: the section on measuring, and no measure.
  QMenu* info = nullptr;
  for (QAction* action : frame()->menuBar()->actions()) {
    if (action->text() == "&Info") info = action->menu();
  }
  ASSERT_NE(info, nullptr);
  frame()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame(), 3000));
  QTest::keyClick(frame(), Qt::Key_F1, Qt::ShiftModifier);
  ASSERT_TRUE(app_->help()->in_context_mode());
  info->popup(frame()->mapToGlobal(QPoint(40, 40)));
  ASSERT_TRUE(WaitFor([info] { return info->isVisible(); }, 3000));
  const QPoint measure = info->actionGeometry(frame()->CommandAction(kCmdMeasure)).center();
  QTest::mouseClick(info, Qt::LeftButton, {}, measure);
  EXPECT_EQ(ShownHelp(app_.get()), "Vexil/Viewing and measuring");
  EXPECT_EQ(frame()->mode_pane()->text().toStdString(), "");
  EXPECT_FALSE(app_->help()->in_context_mode());

  // Shift+F1, then a click on the toolbar's Layer button: the Layer Table's section, and
  // no Layer Table.
  app_->help()->BeginContextMode();
  QWidget* layer_button = frame()->toolbar()->widgetForAction(frame()->CommandAction(kCmdLayerTable));
  ASSERT_NE(layer_button, nullptr);
  QTest::mouseClick(layer_button, Qt::LeftButton);
  EXPECT_EQ(ShownHelp(app_.get()), "Vexil/Layer Table and jobs");
  for (QWidget* window : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(qobject_cast<CLayerTableDlg*>(window) != nullptr && window->isVisible());
  }

  // Without a README the help says so.
  notifier_.shown.clear();
  AppState().program_directory = temp_.path();
  frame()->CommandAction(kCmdHelpInstallation)->trigger();
  EXPECT_NE(Messages().find("Help is not installed."), std::string::npos) << Messages();
}

TEST_F(VexilWindowTest, CloseRequestRunsTheNormalClose) {
  Start({"vexil"});
  Settle();
  app_->QueueHandOver({HandOverRequest::kClose, "", {}});
  ASSERT_TRUE(WaitFor([&] { return !frame()->isVisible(); }));
  EXPECT_EQ(Setting("Toolbar"), "1");
  EXPECT_EQ(Setting("LastJobFileName"), Path("*.job"));
}

}  // namespace
}  // namespace kavrinth
