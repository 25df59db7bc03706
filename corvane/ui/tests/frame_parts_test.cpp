// Corvane's main window around the log: the log's own bytes kept, printing on the page
// set up, the status bar's lock panes, the recent-file list, the pane keys, and the
// messages of files that cannot be read or written.
#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "corvane/ui/tests/corvane_test_support.h"
#include "support/qt/lock_key_panes.h"

namespace kavrinth {
namespace {

using FramePartsTest = CorvaneWindowTest;

void SaveLogAs(CorvaneMainWindow& window, const std::string& path) {
  WhenModal<QFileDialog>(
      [path](QFileDialog* dialog) { TypeNamesAndAccept(dialog, QString::fromStdString(path)); });
  window.OnCommand(kCmdSaveLogAs);
}

// The engines write 8-bit text: such a log is shown one character per byte and saved as
// the very bytes it was read from, line ends and all; what the user adds takes its
// encoding and CR LF.
TEST_F(FramePartsTest, SaveLogAsKeepsTheLogsBytes) {
  const std::string bytes = "Scale 10 \xb5m caf\xe9\r\nbare cr\rbare lf\nend\r\n";
  WriteFile("engine.log", bytes);
  CorvaneMainWindow window;
  ASSERT_TRUE(window.OpenDocumentFile(Path("engine.log")));
  EXPECT_EQ(window.log_view()->toPlainText(),
            QString::fromLatin1("Scale 10 \xb5m caf\xe9\nbare cr\nbare lf\nend\n"));
  SaveLogAs(window, Path("same.log"));
  EXPECT_TRUE(ReadFile(Path("same.log")) == bytes) << ReadFile(Path("same.log"));

  window.log_view()->appendPlainText(QString::fromLatin1("note \xb5"));
  SaveLogAs(window, Path("edited.log"));
  EXPECT_TRUE(ReadFile(Path("edited.log")) ==
              "Scale 10 \xb5m caf\xe9\r\nbare cr\r\nbare lf\r\nend\r\n\r\nnote \xb5");

  // A character the 8-bit text cannot hold is not written as something else.
  window.log_view()->appendPlainText(QString::fromUtf8("\xe2\x82\xac"));
  SaveLogAs(window, Path("euro.log"));
  EXPECT_FALSE(std::filesystem::exists(Path("euro.log")));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("The log holds characters that its 8-bit text cannot keep.", 0),
            0u);

  // A UTF-8 log stays UTF-8.
  const std::string utf8 = "Datei \xc3\xa4.em\r\n";
  WriteFile("utf8.log", utf8);
  ASSERT_TRUE(window.OpenDocumentFile(Path("utf8.log")));
  EXPECT_EQ(window.log_view()->toPlainText(), QString::fromUtf8("Datei \xc3\xa4.em\n"));
  window.log_view()->appendPlainText(QString::fromUtf8("\xe2\x82\xac"));
  SaveLogAs(window, Path("utf8 edited.log"));
  EXPECT_EQ(ReadFile(Path("utf8 edited.log")), utf8 + "\r\n\xe2\x82\xac");
}

// The first number pair of the first /MediaBox of a PDF: its page width and height.
std::pair<double, double> PageSize(const std::string& pdf) {
  const QRegularExpression box(
      "/MediaBox\\s*\\[\\s*[-0-9.]+\\s+[-0-9.]+\\s+([0-9.]+)\\s+([0-9.]+)\\s*\\]");
  const QRegularExpressionMatch match = box.match(QString::fromLatin1(pdf.data(), pdf.size()));
  if (!match.hasMatch()) return {0, 0};
  return {match.captured(1).toDouble(), match.captured(2).toDouble()};
}

TEST_F(FramePartsTest, PrintLogPrintsOnThePageOfPrintSetup) {
  WriteFile("a.log", "line\r\n");
  CorvaneMainWindow window;
  ASSERT_TRUE(window.OpenDocumentFile(Path("a.log")));
  bool set_up = false;
  WhenModal<QPageSetupDialog>([&](QPageSetupDialog* dialog) {
    auto* landscape = dialog->findChild<QRadioButton*>("landscape");
    ASSERT_NE(landscape, nullptr);
    landscape->click();
    set_up = true;
    dialog->accept();
  });
  window.OnCommand(kCmdPrintSetup);
  ASSERT_TRUE(set_up);
  WhenModal<QFileDialog>([this](QFileDialog* dialog) {
    TypeNamesAndAccept(dialog, QString::fromStdString(Path("printed.pdf")));
  });
  window.OnCommand(kCmdPrintLog);
  const auto [width, height] = PageSize(ReadFile(Path("printed.pdf")));
  EXPECT_GT(width, height) << "a landscape page";
  EXPECT_GT(height, 0);
}

// Offscreen there are no keyboard lights to ask: the panes follow the lock keys pressed.
TEST_F(FramePartsTest, StatusBarShowsTheLockPanesBesideTheMessage) {
  CorvaneMainWindow window;
  window.show();
  const struct {
    int pane;
    Qt::Key key;
    const char* name;
    const char* text;
  } cases[] = {{0, Qt::Key_CapsLock, "Caps Lock", "CAP"},
               {1, Qt::Key_NumLock, "Num Lock", "NUM"},
               {2, Qt::Key_ScrollLock, "Scroll Lock", "SCRL"}};
  ASSERT_NE(window.lock_panes(), nullptr);
  QLabel* previous = nullptr;
  for (const auto& c : cases) {
    QLabel* pane = window.lock_panes()->pane(c.pane);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->parentWidget(),
              window.statusBar()->findChild<QLabel*>(pane->objectName())->parentWidget());
    EXPECT_EQ(pane->accessibleName(), c.name);
    EXPECT_EQ(pane->text(), "");
    if (previous) {
      EXPECT_LT(previous->x(), pane->x()) << c.name << " in its place";
    }
    previous = pane;
    QTest::keyClick(window.log_view(), c.key);
    EXPECT_EQ(pane->text(), c.text);
    QTest::keyClick(window.log_view(), c.key);
    EXPECT_EQ(pane->text(), "");
  }
  window.statusBar()->showMessage("Translation finished");
  EXPECT_EQ(window.StatusText(), "Translation finished");
  EXPECT_TRUE(window.lock_panes()->pane(0)->isVisible()) << "a message leaves the panes shown";
}

std::vector<QAction*> FileMenuRecentEntries(CorvaneMainWindow& window, QAction** placeholder) {
  std::vector<QAction*> entries;
  for (QMenu* menu : window.menuBar()->findChildren<QMenu*>()) {
    if (menu->title() != "&File") continue;
    for (QAction* act : menu->actions()) {
      if (act->text() == "Recent File") *placeholder = act;
      if (act->objectName().contains(QRegularExpression("^RecentFile[1-4]$")) && act->isVisible()) {
        entries.push_back(act);
      }
    }
  }
  return entries;
}

TEST_F(FramePartsTest, RecentFileListIsGreyedWhenEmptyAndOpensItsEntries) {
  {
    CorvaneMainWindow window;
    QAction* placeholder = nullptr;
    EXPECT_TRUE(FileMenuRecentEntries(window, &placeholder).empty());
    ASSERT_NE(placeholder, nullptr);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_FALSE(placeholder->isEnabled()) << "greyed";
    // Opening a file adds nothing to the list.
    WriteFile("a.log", "a\r\n");
    ASSERT_TRUE(window.OpenDocumentFile(Path("a.log")));
    EXPECT_TRUE(FileMenuRecentEntries(window, &placeholder).empty());
    EXPECT_FALSE(placeholder->isEnabled());
    window.close();
  }
  EXPECT_EQ(ReadFile(Path("config/Kavrinth/Corvane.ini")).find("File1"), std::string::npos);

  // A list stored earlier: its entries in place of "Recent File"; one that cannot be opened
  // is named and taken off, and the list is stored so at close.
  WriteFile("b.log", "b\r\n");
  WriteFile("config/Kavrinth/Corvane.ini", "[Recent File List]\r\nFile1=" + Path("gone.log") +
                                               "\r\nFile2=" + Path("b.log") + "\r\n");
  {
    CorvaneMainWindow window;
    QAction* placeholder = nullptr;
    std::vector<QAction*> entries = FileMenuRecentEntries(window, &placeholder);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_FALSE(placeholder->isVisible());
    EXPECT_EQ(entries[0]->text().toStdString(), "&1 " + Path("gone.log"));
    EXPECT_EQ(entries[1]->text().toStdString(), "&2 " + Path("b.log"));
    entries[1]->trigger();
    EXPECT_EQ(window.log_view()->toPlainText(), "b\n");
    entries[0]->trigger();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].rfind("Cannot open file " + Path("gone.log") + ".", 0), 0u);
    entries = FileMenuRecentEntries(window, &placeholder);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->text().toStdString(), "&1 " + Path("b.log"));
    window.close();
  }
  const std::string ini = ReadFile(Path("config/Kavrinth/Corvane.ini"));
  EXPECT_NE(ini.find("[Recent File List]\r\nFile1=" + Path("b.log") + "\r\n"), std::string::npos)
      << ini;
  EXPECT_EQ(ini.find("File2"), std::string::npos) << ini;
}

TEST_F(FramePartsTest, PaneKeysMoveBetweenTheLogAndThePanel) {
  CorvaneMainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.log_view()->setFocus();
  ASSERT_TRUE(window.panel()->isVisible());
  QTest::keyClick(window.log_view(), Qt::Key_F6);
  ASSERT_TRUE(WaitFor([&] { return window.panel()->isAncestorOf(QApplication::focusWidget()); }));
  EXPECT_EQ(QApplication::focusWidget(), window.panel()->button(kPanelSelectFiles));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == window.log_view(); }));
  QTest::keyClick(window.log_view(), Qt::Key_F6, Qt::ShiftModifier);
  EXPECT_TRUE(WaitFor([&] { return window.panel()->isAncestorOf(QApplication::focusWidget()); }));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
  EXPECT_TRUE(WaitFor([&] { return QApplication::focusWidget() == window.log_view(); }));
  // With the panel hidden the log view is the only pane.
  window.OnCommand(kCmdControlDialog);
  ASSERT_FALSE(window.panel()->isVisible());
  QTest::keyClick(window.log_view(), Qt::Key_F6);
  QTest::qWait(50);
  EXPECT_EQ(QApplication::focusWidget(), window.log_view());
}

void Drop(QWidget* target, const QUrl& url) {
  QMimeData mime;
  mime.setUrls({url});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

// A dropped file opens as a log; one that cannot be read is named, never shown as an empty
// log.
TEST_F(FramePartsTest, DroppedFilesThatCannotBeReadAreNamed) {
  CorvaneMainWindow window;
  window.show();
  WriteFile("dropped.log", "dropped\r\n");
  Drop(&window, QUrl::fromLocalFile(QString::fromStdString(Path("dropped.log"))));
  EXPECT_EQ(window.log_view()->toPlainText(), "dropped\n");
  EXPECT_TRUE(Messages().empty());

  const struct {
    QUrl url;
    const char* message;
  } cases[] = {
      // Opens, but every read fails.
      {QUrl::fromLocalFile("/proc/self/mem"),
       "Cannot open file /proc/self/mem.\nInput/output error."},
      {QUrl::fromLocalFile(QString::fromStdString(temp_.path())), "Cannot open file "},
      {QUrl("https://example.org/run.log"),
       "Cannot open https://example.org/run.log.\nOnly files on this computer can be opened."},
  };
  for (const auto& c : cases) {
    notifier_.shown.clear();
    Drop(&window, c.url);
    ASSERT_EQ(Messages().size(), 1u) << c.url.toString().toStdString();
    EXPECT_EQ(Messages()[0].rfind(c.message, 0), 0u) << Messages()[0];
  }
  EXPECT_FALSE(window.action(kCmdSaveLogAs)->isEnabled()) << "no log is loaded";
}

// A name from the command line is taken from the current directory; one that is missing
// is named with the reason.
TEST_F(FramePartsTest, RelativeAndMissingNamesOfTheCommandLine) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(temp_.path());
  WriteFile("logs/run.log", "run\r\n");
  CorvaneMainWindow window;
  EXPECT_TRUE(window.OpenDocumentFile("logs/run.log"));
  EXPECT_EQ(window.log_view()->toPlainText(), "run\n");
  EXPECT_FALSE(window.OpenDocumentFile("logs/none.log"));
  std::filesystem::current_path(before);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], "Cannot open file logs/none.log.\nNo such file or directory.");
  EXPECT_FALSE(window.action(kCmdSaveLogAs)->isEnabled());
}

TEST_F(FramePartsTest, SettingsThatCannotBeWrittenAreNamedAtClose) {
  std::filesystem::create_directories(Path("config/Kavrinth/Corvane.ini"));  // in the way
  CorvaneMainWindow window;
  window.show();
  window.close();
  ASSERT_EQ(Messages().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages()[0], "The settings of CORVANE cannot be written to " +
                               Path("config/Kavrinth/Corvane.ini") +
                               ".\nThey are not kept for the next start.");
}

// A viewer path the store cannot hold (a directory with a line break in its name, which the
// viewer-directory dialog can pick) is named at close; the other settings are kept.
TEST_F(FramePartsTest, AValueTheStoreRefusesIsNamedAtClose) {
  std::filesystem::create_directories(Path("two\nlines"));
  const std::string viewer = Path("two\nlines/pexol");
  WriteFile("two\nlines/pexol", "#!/bin/sh\n");
  {
    CorvaneMainWindow window;
    window.show();
    window.session().gds_viewer_path = viewer;
    window.session().options.scale = 3.5;
    window.close();
  }
  ASSERT_EQ(Messages().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages()[0], "These settings of CORVANE cannot be stored in " +
                               Path("config/Kavrinth/Corvane.ini") +
                               ": GDSViewerPath.\nA value with a line break cannot be kept; the "
                               "next start has the value stored before.");
  const std::string stored = ReadFile(Path("config/Kavrinth/Corvane.ini"));
  EXPECT_NE(stored.find("Scale=3.5\r\n"), std::string::npos) << stored;
  EXPECT_EQ(stored.find("GDSViewerPath=" + Path("two")), std::string::npos) << stored;
}

TEST_F(FramePartsTest, StoredStatusbarZeroHidesTheBarUntilShownAgain) {
  WriteFile("config/Kavrinth/Corvane.ini", "[Corvane]\r\nStatusbar=0\r\n");
  {
    CorvaneMainWindow window;
    window.show();
    EXPECT_TRUE(window.statusBar()->isHidden());
    EXPECT_FALSE(window.action(kCmdStatusBar)->isChecked());
    window.close();
  }
  EXPECT_NE(ReadFile(Path("config/Kavrinth/Corvane.ini")).find("Statusbar=0\r\n"),
            std::string::npos);
  {
    CorvaneMainWindow window;
    window.show();
    EXPECT_TRUE(window.statusBar()->isHidden());
    window.action(kCmdStatusBar)->trigger();
    EXPECT_FALSE(window.statusBar()->isHidden());
    EXPECT_TRUE(window.action(kCmdStatusBar)->isChecked());
    window.close();
  }
  EXPECT_NE(ReadFile(Path("config/Kavrinth/Corvane.ini")).find("Statusbar=1\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace kavrinth
