// The help window and context help, driven as a user does: F1 in a dialog, Shift+F1 and a
// click on a menu item, a button or a window, a command's key in context help, Escape;
// what the user gets is the help window with the right section's heading at its top.
#include "support/qt/help_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QWheelEvent>
#include <memory>
#include <string>

#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/qt/tests/qt_test_support.h"

namespace kavrinth {
namespace {

constexpr int kCmdMeasure = 32854;
constexpr int kCmdAbout = 57664;
constexpr int kDialogTemplate = 156;

// A README whose sections are long enough to scroll, two of one name under different
// programs, and a last section that is short.
std::string Readme() {
  std::string text = "# Suite\n\nThe suite.\n\n## Installing\n\n";
  auto lines = [&text](const std::string& word) {
    // Paragraphs long enough to wrap, so that a change of width moves the headings.
    for (int i = 0; i < 40; ++i) {
      text += word + " paragraph " + std::to_string(i) + ":";
      for (int w = 0; w < 12; ++w) text += " some words of " + word;
      text += ".\n\n";
    }
  };
  lines("install");
  text += "## Shell\n\nThe shell.\n\n### Control panel\n\n";
  lines("panel");
  text += "### Using Help\n\n";
  lines("shell help");
  text += "## Viewer\n\n";
  lines("viewer");
  text += "### Measuring\n\n";
  lines("measure");
  text += "### Snap Settings\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\n";
  lines("snap");
  text += "### Using Help\n\nThe last words.\n";
  return text;
}

const HelpTopic kTopics[] = {
    {CommandHelpContext(kCmdMeasure), "Viewer/Measuring"},
    {DialogHelpContext(kDialogTemplate), "Viewer/Snap Settings"},
};

class HelpWindowTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    WriteFile("README.md", Readme());
    frame_ = std::make_unique<QMainWindow>();
    frame_->resize(600, 400);
    auto* log = new QPlainTextEdit(frame_.get());
    log->setReadOnly(true);  // as the programs' logs: letters are the commands' keys
    frame_->setCentralWidget(log);
    frame_->statusBar()->showMessage("Ready");
    QMenu* info = frame_->menuBar()->addMenu("&Info");
    measure_ = info->addAction("&Measure");
    measure_->setData(kCmdMeasure);
    measure_->setShortcut(QKeySequence("M"));
    frame_->addAction(measure_);  // its key works also while the menu is closed
    about_ = info->addAction("&About");
    about_->setData(kCmdAbout);
    QObject::connect(measure_, &QAction::triggered, [this] { ++commands_run_; });
    QObject::connect(about_, &QAction::triggered, [this] { ++commands_run_; });
    menu_ = info;
    dialog_ = new QInputDialog(frame_.get());
    dialog_->setWindowTitle("Snap Settings");
    help_ = new ContextHelp(Setup(temp_.path()), frame_.get());
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  }
  void TearDown() override {
    frame_.reset();
    TempDirTest::TearDown();
  }

  HelpSetup Setup(const std::string& directory) {
    HelpSetup setup;
    setup.program_name = "Viewer";
    setup.program_directory = [directory] { return directory; };
    setup.table = HelpTable{kTopics, "Viewer", "Viewer/Using Help", "Installing"};
    setup.windows = {{&QInputDialog::staticMetaObject, DialogHelpContext(kDialogTemplate)}};
    return setup;
  }

  // The section at the top of the help window, once it shows.
  std::string Shown() {
    HelpWindow* window = help_->window();
    if (window == nullptr || !WaitFor([window] { return window->isVisible(); }, 3000)) {
      return "(no help window)";
    }
    QApplication::processEvents();
    return window->VisibleSection().toStdString();
  }

  std::string Messages() const {
    std::string text;
    for (const Message& message : notifier_.shown) text += message.text + "\n";
    return text;
  }

  // Makes the main window the active one, as a click on it does.
  void Activate() {
    QApplication::setActiveWindow(frame_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get(), 3000));
  }

  // Opens the Info menu as a click on the menu bar does.
  void OpenMenu() {
    QMenuBar* bar = frame_->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu_->menuAction()).center());
    ASSERT_TRUE(WaitFor([this] { return menu_->isVisible(); }, 3000));
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
  std::unique_ptr<QMainWindow> frame_;
  QMenu* menu_ = nullptr;
  QAction* measure_ = nullptr;
  QAction* about_ = nullptr;
  QInputDialog* dialog_ = nullptr;
  ContextHelp* help_ = nullptr;
  int commands_run_ = 0;
};

TEST_F(HelpWindowTest, EverySectionCanStandAtTheTop) {
  HelpWindow window;
  window.resize(500, 300);
  ASSERT_TRUE(window.Load(Path("README.md")));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  struct Case {
    const char* asked;
    const char* shown;
    const char* found;  // what ShowSection says it found
  } cases[] = {
      {"Viewer/Using Help", "Viewer/Using Help", "Viewer/Using Help"},  // the last, short one
      {"Shell/Using Help", "Shell/Using Help", "Shell/Using Help"},  // same name, other program
      {"Viewer/Measuring", "Viewer/Measuring", "Viewer/Measuring"},
      {"Viewer/Snap Settings", "Viewer/Snap Settings", "Viewer/Snap Settings"},
      {"Installing", "Installing", "Installing"},
      {"Shell", "Shell", "Shell"},
      {"Shell/Plotting", "Shell", "Shell"},  // a section the README lacks: its parent
      {"Nowhere/At all", "Suite", ""},       // nothing of it: the top
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window.ShowSection(c.asked).toStdString(), c.found) << c.asked;
    QApplication::processEvents();
    EXPECT_EQ(window.VisibleSection().toStdString(), c.shown) << c.asked;
  }
  // The heading stays at the top when the window changes its size.
  window.ShowSection("Viewer/Measuring");
  window.resize(300, 420);
  EXPECT_TRUE(WaitFor([&] { return window.VisibleSection() == "Viewer/Measuring"; }, 3000))
      << window.VisibleSection().toStdString();
  // The user's scrolling is left alone.
  QWidget* viewport = window.browser()->viewport();
  QWheelEvent wheel(QPointF(20, 20), QPointF(viewport->mapToGlobal(QPoint(20, 20))), QPoint(),
                    QPoint(0, -480), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
  const int scrolled = window.browser()->verticalScrollBar()->value();
  window.ShowSection("Viewer/Measuring");
  const int heading = window.browser()->verticalScrollBar()->value();
  ASSERT_NE(scrolled, heading);
  QApplication::sendEvent(viewport, &wheel);
  const int moved = window.browser()->verticalScrollBar()->value();
  window.resize(300, 480);  // the same width: the text keeps its lines
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_EQ(window.browser()->verticalScrollBar()->value(), moved);
}

TEST_F(HelpWindowTest, F1InADialogOpensTheDialogsSection) {
  dialog_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_));
  QTest::keyClick(dialog_, Qt::Key_F1);
  EXPECT_EQ(Shown(), "Viewer/Snap Settings");
  EXPECT_EQ(help_->window()->windowTitle(), "Viewer Help");
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
  // F1 in the main window, where no command has the key: the contents.
  QTest::keyClick(frame_->centralWidget(), Qt::Key_F1);
  EXPECT_EQ(Shown(), "Viewer");
  // F1 in the help window: how help works.
  QTest::keyClick(help_->window()->browser(), Qt::Key_F1);
  EXPECT_EQ(Shown(), "Viewer/Using Help");
}

TEST_F(HelpWindowTest, F1OnAMenuItemOpensTheItemsSection) {
  OpenMenu();
  QTest::keyClick(menu_, Qt::Key_Down);  // the first item, Measure
  ASSERT_EQ(menu_->activeAction(), measure_);
  QTest::keyClick(menu_, Qt::Key_F1);
  EXPECT_EQ(Shown(), "Viewer/Measuring");
  EXPECT_FALSE(menu_->isVisible());
  EXPECT_EQ(commands_run_, 0);
}

TEST_F(HelpWindowTest, ContextHelpShowsTheClickedCommandsSectionInsteadOfRunningIt) {
  for (QAction* item : {measure_, about_}) {
    QTest::keyClick(frame_->centralWidget(), Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_TRUE(help_->in_context_mode());
    OpenMenu();
    const QPoint at = menu_->actionGeometry(item).center();
    QTest::mousePress(menu_, Qt::LeftButton, {}, at);
    QTest::mouseRelease(menu_, Qt::LeftButton, {}, at);
    EXPECT_EQ(Shown(), item == measure_ ? "Viewer/Measuring" : "Viewer")
        << item->text().toStdString();
    EXPECT_FALSE(help_->in_context_mode());
    EXPECT_FALSE(menu_->isVisible());
  }
  EXPECT_EQ(commands_run_, 0);
  // The command's key in context help chooses the command too.
  help_->window()->hide();
  help_->BeginContextMode();
  Activate();
  QTest::keyClick(frame_.get(), Qt::Key_M);
  EXPECT_EQ(Shown(), "Viewer/Measuring");
  EXPECT_EQ(commands_run_, 0);
  // Out of context help the menu runs its commands again.
  help_->window()->hide();
  Activate();
  QTest::keyClick(frame_.get(), Qt::Key_M);
  EXPECT_EQ(commands_run_, 1);
}

TEST_F(HelpWindowTest, ContextHelpOnAButtonOrAWindowShowsItsWindowsSection) {
  dialog_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_));
  QPushButton* ok = nullptr;
  for (QPushButton* button : dialog_->findChildren<QPushButton*>()) {
    if (button->text().remove('&') == "OK") ok = button;
  }
  ASSERT_NE(ok, nullptr);
  int clicked = 0;
  QObject::connect(ok, &QPushButton::clicked, [&] { ++clicked; });
  help_->BeginContextMode();
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(Shown(), "Viewer/Snap Settings");
  EXPECT_EQ(clicked, 0);
  EXPECT_TRUE(dialog_->isVisible());
  // The status bar is a window of its own command; the log is the main window's.
  help_->BeginContextMode();
  QTest::mouseClick(frame_->centralWidget(), Qt::LeftButton);
  EXPECT_EQ(Shown(), "Viewer");
  EXPECT_EQ(help_->ContextOfWidget(frame_->statusBar()), CommandHelpContext(59393));
  // Escape leaves context help: the next click is an ordinary click.
  help_->BeginContextMode();
  QTest::keyClick(dialog_, Qt::Key_Escape);
  EXPECT_FALSE(help_->in_context_mode());
  EXPECT_TRUE(dialog_->isVisible());
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(clicked, 1);
}

TEST_F(HelpWindowTest, HelpOverAModalDialogCanBeUsed) {
  bool checked = false;
  WhenModal<QInputDialog>([&](QInputDialog* modal) {
    QTest::keyClick(modal, Qt::Key_F1);
    HelpWindow* window = help_->window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    // Its owner is the modal dialog, so the modal dialog does not block it.
    EXPECT_EQ(window->parentWidget(), modal);
    EXPECT_EQ(window->VisibleSection().toStdString(), "Viewer/Snap Settings");
    checked = true;
    modal->reject();
  });
  QInputDialog modal(frame_.get());
  modal.exec();
  EXPECT_TRUE(checked);
  // The help went with the dialog; the next help is the main window's again.
  QTest::keyClick(frame_->centralWidget(), Qt::Key_F1);
  EXPECT_EQ(Shown(), "Viewer");
  EXPECT_EQ(help_->window()->parentWidget(), frame_.get());
}

TEST_F(HelpWindowTest, WithoutDialogsOrWithoutAReadmeTheHelpIsNamed) {
  SetDialogMode(DialogMode::kHeadless);
  help_->ShowContext(CommandHelpContext(kCmdMeasure));
  SetDialogMode(DialogMode::kInteractive);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Help for Viewer is the section \"Viewer > Measuring\" of " +
                                         Path("README.md") + ".");
  EXPECT_EQ(help_->window(), nullptr);

  ContextHelp elsewhere(Setup(Path("nowhere")), frame_.get());
  elsewhere.ShowInstallation();
  ASSERT_EQ(notifier_.shown.size(), 2u);
  EXPECT_EQ(notifier_.shown[1].text,
            "Help is not installed. The README of Kavrinth describes this in its section "
            "\"Installing\".");
}

}  // namespace
}  // namespace kavrinth
