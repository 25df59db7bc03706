// Tabrun's frame offscreen, as a user meets it around the road: the GDSII file of the last
// session, the title, the menus' accelerators, the question before a new CFG file, the job
// log after Translate, files dropped on the window and a settings store that cannot be
// written.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractItemView>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/process.h"
#include "support/app_profile.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/lock_key_panes.h"
#include "support/qt/tests/qt_test_support.h"
#include "support/qt/window_helpers.h"
#include "tabrun/core/file_ops.h"
#include "tabrun/core/job_actions.h"
#include "tabrun/core/tests/reference_run.h"
#include "tabrun/ui/commands.h"
#include "tabrun/ui/control_panel.h"
#include "tabrun/ui/main_frame.h"
#include "tabrun/ui/tests/prepare_job.h"

namespace kavrinth {
namespace {

using reference_run::kBin;
using reference_run::kLayers;
using reference_run::kSamples;
using test_support::ReadBytes;
using test_support::TempDir;

std::string CreateQuestion(const std::string& path) {
  return path + "\nThis file does not exist.\nCreate the file?";
}

class TabrunShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.ok());
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    setenv("KAVRINTH_PROGRAM_DIR", kBin.c_str(), 1);
    gds_ = work_.Write("demo.gds", ReadBytes(kSamples + "/demo.gds"));
  }
  void TearDown() override {
    if (frame_) frame_->close();
    frame_.reset();
  }

  void Start() {
    frame_ = std::make_unique<CMainFrame>(false);
    frame_->show();
  }

  // Select GDS File with the GDSII file; the CFG dialog that follows is handled by cfg.
  void SelectGdsFile(std::function<void(QFileDialog*)> cfg) {
    WhenModal<QFileDialog>([this, cfg](QFileDialog* dialog) {
      WhenModal<QFileDialog>(cfg);
      TypeNamesAndAccept(dialog, QString::fromStdString(gds_));
    });
    frame_->OnCommand(kCmdSelectGdsFile);
  }

  // Scans the layout with a new CFG file (its question answered Yes) and closes the
  // structure dialog that opens.
  void ScanWithNewCfg() {
    SelectGdsFile([this](QFileDialog* cfg) {
      TypeNamesAndAccept(cfg, QString::fromStdString(work_.File("demo.cfg")));
    });
    ASSERT_TRUE(frame_->job().scanned);
    ASSERT_TRUE(frame_->job().cfg_selected);
  }

  // Presses the keys in the frame, the log view having the focus; true when a modal
  // dialog of type T opened (it is closed again).
  template <class T>
  bool KeysOpen(int key, Qt::KeyboardModifiers modifiers, QString* title = nullptr) {
    bool opened = false;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
      if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
        opened = true;
        if (title) *title = dialog->windowTitle();
        dialog->reject();
      }
    });
    guard.start(20);
    frame_->activateWindow();
    frame_->log_view()->setFocus();
    QTest::keyClick(frame_->windowHandle(), static_cast<Qt::Key>(key), modifiers);
    QTest::qWait(100);
    guard.stop();
    return opened;
  }

  // Ctrl+F3 in the log shows the log's Find dialog (closed again).
  bool KeysShowFind() {
    frame_->activateWindow();
    frame_->log_view()->setFocus();
    QTest::keyClick(frame_->windowHandle(), Qt::Key_F3, Qt::ControlModifier);
    CLogFindDlg* find = frame_->log_view()->find_dialog();
    const bool shown = find != nullptr && find->isVisible() && find->windowTitle() == "Find";
    if (find != nullptr) find->reject();
    return shown;
  }

  TempDir work_{"tabrun shell"};
  TempDir config_{"tabrun_shell_config"};
  std::string gds_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
  std::unique_ptr<CMainFrame> frame_;
};

TEST_F(TabrunShellTest, TheLastGdsFileComesBackAndStaysWithoutAScan) {
  {
    CAppProfile profile;
    ASSERT_TRUE(profile.Open("Tabrun"));
    ASSERT_EQ(profile.WriteString("GDSFile", gds_.c_str()), 1);
  }
  Start();
  EXPECT_EQ(frame_->job().gds_path, gds_);
  EXPECT_FALSE(frame_->job().scanned);
  EXPECT_EQ(frame_->windowTitle(), "Tabrun");
  // Select GDS File starts at it; Cancel keeps it.
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    auto* file_dialog = dynamic_cast<CFileDialogEx*>(dialog);
    ASSERT_NE(file_dialog, nullptr);
    EXPECT_EQ(file_dialog->initial_directory(), work_.path());
    EXPECT_EQ(file_dialog->initial_name(), "demo.gds");
    dialog->reject();
  });
  frame_->OnCommand(kCmdSelectGdsFile);
  frame_->close();
  frame_.reset();
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Tabrun"));
  std::string stored;
  ASSERT_EQ(profile.GetString("GDSFile", &stored, 260), 1);
  EXPECT_EQ(stored, gds_);
}

TEST_F(TabrunShellTest, TheTitleTheHelpMenuAndTheAccelerators) {
  Start();
  QStringList help;
  for (QAction* menu : frame_->menuBar()->actions()) {
    if (menu->text() != "&Help") continue;
    for (QAction* item : menu->menu()->actions()) help << item->text();
  }
  EXPECT_TRUE(help.contains("&Using Help")) << help.join('|').toStdString();
  EXPECT_EQ(FindCommandAction(frame_.get(), kCmdSaveLogAs)->shortcut(),
            QKeySequence(Qt::CTRL | Qt::Key_A));
  // Before a scan Save Log As is not there to be reached.
  EXPECT_FALSE(KeysOpen<QFileDialog>(Qt::Key_A, Qt::ControlModifier));

  ScanWithNewCfg();
  EXPECT_EQ(frame_->windowTitle(), "Tabrun - demo.gds,demo.cfg");
  QString title;
  EXPECT_TRUE(KeysOpen<QFileDialog>(Qt::Key_A, Qt::ControlModifier, &title));
  EXPECT_EQ(title, "Save Log As");
  EXPECT_TRUE(KeysShowFind());

  // While a log is edited, Ctrl+A is still Save Log As (not the text's Select All), Ctrl+F3
  // the log's own search, and Ctrl+O Select GDS File: the accelerators work in any state.
  ASSERT_TRUE(frame_->OpenDocumentFile(work_.Write("edited.log", "first line\r\nsecond\r\n")));
  ASSERT_FALSE(frame_->log_view()->isReadOnly());
  EXPECT_TRUE(KeysOpen<QFileDialog>(Qt::Key_A, Qt::ControlModifier, &title));
  EXPECT_EQ(title, "Save Log As");
  EXPECT_TRUE(frame_->log_view()->textCursor().selectedText().isEmpty());
  EXPECT_TRUE(KeysShowFind());
  EXPECT_TRUE(KeysOpen<QFileDialog>(Qt::Key_O, Qt::ControlModifier, &title));
  EXPECT_EQ(title, "Select GDS File");
}

// Save Log As writes the log as it was read (an 8-bit path, bare LF and CR LF lines, no
// last line end) until it is edited, and then the text in the log's encoding and line ends.
// Its dialog starts on the current job log, whose replacement it asks about first.
TEST_F(TabrunShellTest, SaveLogAsKeepsTheLogsBytesAndAsksBeforeReplacingAFile) {
  Start();
  ScanWithNewCfg();
  const std::string latin = "GDS File:\t\t/masks/caf\xe9.gds\r\nUnit:\t\xb5m\nlast line";
  ASSERT_TRUE(frame_->OpenDocumentFile(work_.Write("latin.log", latin)));
  EXPECT_EQ(frame_->log_view()->toPlainText(),
            QString::fromLatin1("GDS File:\t\t/masks/caf\xe9.gds\nUnit:\t\xb5m\nlast line"));
  const auto save_as = [this](const std::string& name) {
    WhenModal<QFileDialog>([name](QFileDialog* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Save Log As");
      TypeNamesAndAccept(dialog, QString::fromStdString(name));
    });
    frame_->OnCommand(kCmdSaveLogAs);
  };
  save_as(work_.File("saved.log"));
  EXPECT_EQ(ReadBytes(work_.File("saved.log")), latin);
  EXPECT_EQ(frame_->job().job_log_path, work_.File("saved.log"));

  frame_->log_view()->moveCursor(QTextCursor::End);
  frame_->log_view()->insertPlainText(
      QString::fromLatin1("\n\xe9"
                          "dited"));
  const std::string edited =
      "GDS File:\t\t/masks/caf\xe9.gds\r\nUnit:\t\xb5m\r\nlast line\r\n\xe9"
      "dited";
  save_as(work_.File("edited.log"));
  EXPECT_EQ(ReadBytes(work_.File("edited.log")), edited);

  // The dialog's own name is the job log: No keeps it and the dialog, Yes replaces it.
  for (const bool replace : {false, true}) {
    QString asked;
    bool stayed_open = false;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      EXPECT_EQ(dialog->selectedFiles().value(0).toStdString(), work_.File("edited.log"));
      WhenModal<QMessageBox>([&](QMessageBox* box) {
        asked = box->text();
        box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
      });
      frame_->log_view()->insertPlainText("!");
      QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
      stayed_open = dialog->isVisible();
      if (stayed_open) dialog->reject();
    });
    frame_->OnCommand(kCmdSaveLogAs);
    EXPECT_TRUE(asked.contains("edited.log already exists")) << asked.toStdString();
    EXPECT_EQ(stayed_open, !replace);
    EXPECT_EQ(ReadBytes(work_.File("edited.log")), replace ? edited + "!!" : edited);
  }
}

// Without a printer (none is set up here) Print Setup and Print Preview open and close,
// and the preview lays the log out on its pages.
TEST_F(TabrunShellTest, PrintSetupAndPreviewWorkWithoutAPrinter) {
  if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is set up";
  Start();
  ScanWithNewCfg();
  bool set_up = false;
  WhenModal<QPageSetupDialog>([&](QPageSetupDialog* dialog) {
    set_up = true;
    dialog->reject();
  });
  frame_->OnCommand(kCmdPrintSetup);
  EXPECT_TRUE(set_up);
  int pages = -1;
  WhenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* dialog) {
    if (auto* preview = dialog->findChild<QPrintPreviewWidget*>()) {
      WaitFor([&] { return preview->pageCount() > 0; }, 5000);
      pages = preview->pageCount();
    }
    dialog->reject();
  });
  frame_->OnCommand(kCmdPrintPreview);
  EXPECT_GE(pages, 1);
}

// Offscreen there are no keyboard lights to ask: the panes follow the lock keys pressed.
TEST_F(TabrunShellTest, TheStatusBarShowsTheLockPanesBesideTheMessage) {
  Start();
  const struct {
    Qt::Key key;
    const char* name;
    const char* text;
  } cases[] = {{Qt::Key_CapsLock, "Caps Lock", "CAP"},
               {Qt::Key_NumLock, "Num Lock", "NUM"},
               {Qt::Key_ScrollLock, "Scroll Lock", "SCRL"}};
  ASSERT_NE(frame_->lock_panes(), nullptr);
  for (int i = 0; i < 3; ++i) {
    QLabel* pane = frame_->lock_panes()->pane(i);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->parentWidget(), frame_->statusBar()) << cases[i].name;
    EXPECT_EQ(pane->accessibleName(), cases[i].name);
    EXPECT_EQ(pane->text(), "");
    QTest::keyClick(frame_->log_view(), cases[i].key);
    EXPECT_EQ(pane->text(), cases[i].text);
    QTest::keyClick(frame_->log_view(), cases[i].key);
    EXPECT_EQ(pane->text(), "");
  }
  EXPECT_EQ(frame_->StatusText(), "Ready") << "the message pane keeps its text";
}

TEST_F(TabrunShellTest, SelectCreateCfgFileAsksBeforeCreatingAFile) {
  Start();
  const std::string cfg = work_.File("demo.cfg");
  // No keeps the dialog open and creates nothing; Cancel then leaves no CFG file chosen.
  notifier_.answers = {kAnswerNo};
  bool stayed_open = false;
  SelectGdsFile([&](QFileDialog* dialog) {
    TypeNamesAndAccept(dialog, QString::fromStdString(cfg));
    stayed_open = dialog->isVisible();
    EXPECT_FALSE(FileExists(cfg));
    dialog->reject();
  });
  EXPECT_TRUE(stayed_open);
  ASSERT_TRUE(frame_->job().scanned);
  EXPECT_FALSE(frame_->job().cfg_selected);
  EXPECT_FALSE(FileExists(cfg));
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, CreateQuestion(cfg));
  EXPECT_EQ(notifier_.shown[0].buttons, MessageButtons::kYesNo);
  EXPECT_EQ(frame_->StatusText(), "Select a CFG File");

  // Yes creates it.
  WhenModal<QFileDialog>(
      [&](QFileDialog* dialog) { TypeNamesAndAccept(dialog, QString::fromStdString(cfg)); });
  frame_->OnCommand(kCmdSelectCfgFile);
  ASSERT_EQ(notifier_.shown.size(), 2u);
  EXPECT_EQ(notifier_.shown[1].text, CreateQuestion(cfg));
  EXPECT_TRUE(FileExists(cfg));
  EXPECT_TRUE(frame_->job().cfg_selected);

  // A file that exists is taken without a question.
  WhenModal<QFileDialog>(
      [&](QFileDialog* dialog) { TypeNamesAndAccept(dialog, QString::fromStdString(cfg)); });
  frame_->OnCommand(kCmdSelectCfgFile);
  EXPECT_EQ(notifier_.shown.size(), 2u);

  // A name typed without its extension is asked about, and created, with it.
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    TypeNamesAndAccept(dialog, QString::fromStdString(work_.File("second")));
  });
  frame_->OnCommand(kCmdSelectCfgFile);
  ASSERT_EQ(notifier_.shown.size(), 3u);
  EXPECT_EQ(notifier_.shown[2].text, CreateQuestion(work_.File("second.cfg")));
  EXPECT_TRUE(FileExists(work_.File("second.cfg")));
  EXPECT_EQ(frame_->job().cfg_path, work_.File("second.cfg"));
}

TEST_F(TabrunShellTest, TheJobLogAfterTranslateCanBeEditedAndSaved) {
  Start();
  ASSERT_NO_FATAL_FAILURE(test_support::PrepareJob(frame_.get(), gds_, frame_->job().program_dir));
  frame_->OnCommand(kCmdTranslate);
  ASSERT_EQ(frame_->last_translation().result, TranslateResult::kTranslated);
  QPlainTextEdit* view = frame_->log_view();
  ASSERT_TRUE(view->toPlainText().contains("Generated Output Files:"));
  EXPECT_FALSE(view->isReadOnly());
  view->setFocus();
  view->moveCursor(QTextCursor::End);
  QTest::keyClicks(view, "Checked by hand.");
  const std::string saved = work_.File("checked.log");
  WhenModal<QFileDialog>(
      [&](QFileDialog* dialog) { TypeNamesAndAccept(dialog, QString::fromStdString(saved)); });
  frame_->OnCommand(kCmdSaveLogAs);
  const std::string text = ReadBytes(saved);
  EXPECT_NE(text.find("Generated Output Files:\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("Checked by hand.")) << text;
}

TEST_F(TabrunShellTest, DroppedFilesThatCannotBeOpenedAreNamed) {
  Start();
  std::filesystem::create_directory(work_.File("folder.gds"));
  auto drop = [this](const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame_->log_view()->viewport(), &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame_->log_view()->viewport(), &event);
  };
  struct Case {
    QList<QUrl> urls;
    std::vector<std::string> messages;
  };
  const QUrl folder = QUrl::fromLocalFile(QString::fromStdString(work_.File("folder.gds")));
  const QUrl log = QUrl::fromLocalFile(QString::fromStdString(work_.Write("a.log", "a\r\n")));
  const std::vector<Case> cases = {
      {{QUrl("https://example.org/demo.gds")},
       {"Only a file of this computer can be opened:\nhttps://example.org/demo.gds"}},
      {{folder},
       {"Error occurred in scanning file " + work_.File("folder.gds") + ".\nIt is a directory."}},
      {{log, folder},
       {"Tabrun opens one file at a time: " + work_.File("a.log") +
        " is opened, the other 1 dropped with it are not."}},
  };
  for (const Case& c : cases) {
    notifier_.shown.clear();
    drop(c.urls);
    std::vector<std::string> shown;
    for (const Message& m : notifier_.shown) shown.push_back(m.text);
    EXPECT_EQ(shown, c.messages);
  }
  EXPECT_EQ(frame_->log_view()->toPlainText(), "a\n");
}

// A log that cannot be shown in the view (too long for it, a directory, gone) is said so,
// and the view keeps the log it showed, editable as it was.
TEST_F(TabrunShellTest, ALogThatCannotBeShownLeavesTheViewAsItWas) {
  Start();
  ASSERT_TRUE(frame_->OpenDocumentFile(work_.Write("kept.log", "kept\r\n")));
  const std::string too_long = work_.Write("long.log", std::string(300000, 'x'));
  std::filesystem::create_directory(work_.File("folder.log"));
  for (const std::string& log : {too_long, work_.File("folder.log"), work_.File("gone.log")}) {
    notifier_.shown.clear();
    EXPECT_FALSE(frame_->OpenDocumentFile(log));
    ASSERT_EQ(notifier_.shown.size(), 1u) << log;  // one message for the one failure
    EXPECT_EQ(notifier_.shown[0].text.rfind("Error occurred in viewing log file " + log + ".", 0),
              0u)
        << notifier_.shown[0].text;
    EXPECT_EQ(frame_->log_view()->toPlainText(), "kept\n") << log;
    EXPECT_FALSE(frame_->log_view()->isReadOnly()) << log;
  }
}

// Paths far longer than 260 characters: the settings give them back whole, and closing
// stores them whole again.
TEST_F(TabrunShellTest, PathsOfAThousandCharactersComeBackAndAreStoredWhole) {
  const std::string deep = test_support::MakeLongDirectory(work_.path(), 1000);
  ASSERT_EQ(deep.size(), 1000u);
  const std::string gds = deep + "/demo.gds", pg_viewer = deep + "/vexil",
                    gds_viewer = deep + "/pexol";
  for (const std::string& file : {gds, pg_viewer, gds_viewer}) test_support::WriteBytes(file, "");
  const std::pair<const char*, std::string> stored[] = {
      {"GDSFile", gds},
      {"WorkingDirectory", deep},
      {"PGViewerPath", pg_viewer},
      {"GDSViewerPath", gds_viewer},
      {"File1", gds},
  };
  {
    CAppProfile profile;
    ASSERT_TRUE(profile.Open("Tabrun"));
    for (const auto& [name, value] : stored) ASSERT_EQ(profile.WriteString(name, value.c_str()), 1);
  }
  Start();
  EXPECT_EQ(frame_->job().gds_path, gds);
  EXPECT_EQ(frame_->job().working_dir, deep);
  EXPECT_EQ(frame_->job().options.pg_viewer_path, pg_viewer);
  EXPECT_EQ(frame_->job().options.gds_viewer_path, gds_viewer);
  EXPECT_EQ(frame_->recent_files(), std::vector<std::string>{gds});
  frame_->close();
  frame_.reset();
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Tabrun"));
  for (const auto& [name, value] : stored) {
    std::string text;
    EXPECT_EQ(profile.GetString(name, &text, 4096), 1) << name;
    EXPECT_EQ(text, value) << name;
  }
}

TEST_F(TabrunShellTest, ASettingsStoreThatCannotBeWrittenIsNamed) {
  // The settings directory's place is taken by a file.
  config_.Write("Kavrinth", "not a directory");
  Start();
  frame_->close();
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_EQ(notifier_.shown.back().text.rfind("The settings of Tabrun could not be written to " +
                                                  config_.File("Kavrinth/Tabrun.ini") + ".",
                                              0),
            0u)
      << notifier_.shown.back().text;
}

}  // namespace
}  // namespace kavrinth
