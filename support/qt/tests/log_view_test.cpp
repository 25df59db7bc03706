// The shells' log view: the bytes Save Log As writes, the search in both directions with
// its dialog, the frame's keys in every state of the log, and the paste guard of every
// multi-line text box.
#include "support/qt/log_view.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <optional>
#include <string>

#include "support/notifier.h"

namespace kavrinth {
namespace {

TEST(LogViewTest, SaveLogAsWritesTheLogsBytesUntilItIsEdited) {
  struct Case {
    const char* name;
    std::string bytes;
    QString added;  // typed at the end; empty: not edited
    std::optional<std::string> saved;
  };
  const Case cases[] = {
      {"8-bit, CR LF", "caf\xe9\r\n10 \xb5m\r\n", "", "caf\xe9\r\n10 \xb5m\r\n"},
      {"mixed line ends, no last one", "a\nb\r\nc", "", "a\nb\r\nc"},
      {"UTF-8, LF lines edited", "a\nb\n", "new", "a\nb\nnew"},
      {"8-bit, CR LF edited", "caf\xe9\r\nx", QString::fromLatin1("\n\xb5"),
       "caf\xe9\r\nx\r\n\xb5"},
      {"mixed line ends edited take CR LF", "a\nb\r\n", "c", "a\r\nb\r\nc"},
      {"UTF-8 edited with a symbol", "\xc2\xb5m\n", QString(QChar(0x263A)),
       "\xc2\xb5m\n\xe2\x98\xba"},
      {"8-bit edited with what it cannot keep", "caf\xe9\n", QString(QChar(0x263A)), std::nullopt},
  };
  for (const Case& c : cases) {
    CMerdoltView view("Test", nullptr);
    view.SetLog(c.bytes);
    if (!c.added.isEmpty()) {
      view.moveCursor(QTextCursor::End);
      view.insertPlainText(c.added);
    }
    EXPECT_EQ(view.LogBytes(), c.saved) << c.name;
  }
  CMerdoltView view("Test", nullptr);
  view.SetLog("old\r\n");
  view.SetLogReadOnly(false);
  view.ClearLog();
  EXPECT_TRUE(view.toPlainText().isEmpty());
  EXPECT_TRUE(view.isReadOnly());
  EXPECT_EQ(view.LogBytes(), std::string());
}

class LogFindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.SetLog("alpha\r\nBeta\r\nalpha beta\r\nomega\r\n");
    view_.show();
  }
  // The line the selection stands on, or -1 without a selection.
  int SelectedLine() const {
    const QTextCursor cursor = view_.textCursor();
    return cursor.hasSelection() ? cursor.blockNumber() : -1;
  }
  void PutCursorAt(int line) {
    QTextCursor cursor(view_.document()->findBlockByNumber(line));
    if (line < 0) cursor.movePosition(QTextCursor::End);
    view_.setTextCursor(cursor);
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
  CMerdoltView view_{"Tabrun", nullptr};
};

TEST_F(LogFindTest, FindGoesOnInItsDirectionAndCannotFindOnlyWhereTheTextIsNot) {
  struct Case {
    int from;  // line the cursor starts at; -1 the end
    const char* text;
    bool match_case;
    bool down;
    int found;  // line selected; -1: "Cannot find"
  };
  const Case cases[] = {
      {0, "beta", false, true, 1},     // "Beta" without Match case
      {0, "beta", true, true, 2},      // past "Beta" with it
      {-1, "alpha", false, false, 2},  // up from the end: the nearer one
      {-1, "ALPHA", true, false, -1},  // nowhere with Match case
      {3, "alpha", false, true, -1},   // only above the cursor: not down
      {3, "alpha", false, false, 2},   // but up
      {0, "omega", false, false, -1},  // below only: not up
      {2, "beta", false, false, 1},    // up from the start of its own line
  };
  for (const Case& c : cases) {
    notifier_.shown.clear();
    PutCursorAt(c.from);
    const bool found = view_.FindInLog(c.text, c.match_case, c.down);
    const std::string name = std::string(c.text) + " from line " + std::to_string(c.from);
    EXPECT_EQ(found, c.found >= 0) << name;
    if (c.found >= 0) {
      EXPECT_EQ(SelectedLine(), c.found) << name;
      EXPECT_EQ(view_.textCursor().selectedText().compare(c.text, Qt::CaseInsensitive), 0);
      EXPECT_TRUE(notifier_.shown.empty()) << name;
    } else {
      ASSERT_EQ(notifier_.shown.size(), 1u) << name;
      EXPECT_EQ(notifier_.shown[0].text, "Cannot find \"" + std::string(c.text) + "\".");
      EXPECT_EQ(notifier_.shown[0].caption, "Tabrun");
    }
  }
  // Each search goes on from the last match, and does not wrap round at the end.
  PutCursorAt(0);
  EXPECT_TRUE(view_.FindInLog("alpha", false, true));
  EXPECT_EQ(SelectedLine(), 0);
  EXPECT_TRUE(view_.FindInLog("alpha", false, true));
  EXPECT_EQ(SelectedLine(), 2);
  notifier_.shown.clear();
  EXPECT_FALSE(view_.FindInLog("alpha", false, true));
  EXPECT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(SelectedLine(), 2) << "the last match stays selected";
}

TEST_F(LogFindTest, TheFindDialogSearchesAndFindNextRepeatsItsSearch) {
  PutCursorAt(0);
  view_.OnFindNext();  // nothing searched yet: the dialog
  CLogFindDlg* find = view_.find_dialog();
  ASSERT_NE(find, nullptr);
  ASSERT_TRUE(find->isVisible());
  EXPECT_EQ(find->windowTitle(), "Find");
  EXPECT_TRUE(find->down()->isChecked());
  EXPECT_FALSE(find->match_case()->isChecked());
  EXPECT_FALSE(find->find_next()->isEnabled()) << "nothing to find yet";
  QTest::keyClicks(find->find_what(), "beta");
  EXPECT_TRUE(find->find_next()->isEnabled());
  find->match_case()->setChecked(true);
  QTest::mouseClick(find->find_next(), Qt::LeftButton);
  EXPECT_EQ(SelectedLine(), 2);
  EXPECT_TRUE(find->isVisible()) << "the dialog stays for the next search";
  // F3 repeats with the dialog's options: Match case and, now, Up.
  find->up()->setChecked(true);
  QTest::mouseClick(find->find_next(), Qt::LeftButton);
  EXPECT_TRUE(notifier_.shown.size() == 1u && notifier_.shown[0].text == "Cannot find \"beta\".");
  find->reject();
  EXPECT_FALSE(find->isVisible());
  find->down()->setChecked(true);  // not taken: the dialog was closed without a search
  PutCursorAt(-1);
  view_.OnFindNext();
  EXPECT_EQ(SelectedLine(), 2) << "up, Match case";
  // Find... again offers the last text.
  view_.moveCursor(QTextCursor::End);
  view_.OnFind();
  EXPECT_EQ(find->find_what()->text(), "beta");
  EXPECT_TRUE(find->match_case()->isChecked());
  EXPECT_TRUE(find->up()->isChecked());
  find->reject();
}

// A frame with the view and two accelerators, as both shells have them.
class FrameKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = new CMerdoltView("Test", &frame_);
    view_->SetLog("first line\r\nsecond line\r\n");
    view_->SetFrameKeys({QKeySequence(Qt::CTRL | Qt::Key_A)});
    frame_.setCentralWidget(view_);
    for (auto [key, count] : {std::pair{Qt::Key_A, &save_log_as_}, std::pair{Qt::Key_O, &open_}}) {
      auto* action = new QAction(&frame_);
      action->setShortcut(QKeySequence(Qt::CTRL | key));
      frame_.addAction(action);
      QObject::connect(action, &QAction::triggered, [count = count] { ++*count; });
    }
    frame_.show();
    frame_.activateWindow();
    view_->setFocus();
  }
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(frame_.windowHandle(), key, modifiers);
  }

  QMainWindow frame_;
  CMerdoltView* view_ = nullptr;
  int save_log_as_ = 0;
  int open_ = 0;
};

TEST_F(FrameKeysTest, AcceleratorsWorkWhetherTheLogIsEditableOrNot) {
  for (const bool editable : {false, true}) {
    view_->SetLogReadOnly(!editable);
    save_log_as_ = open_ = 0;
    Press(Qt::Key_A, Qt::ControlModifier);
    Press(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(save_log_as_, 1) << editable;
    EXPECT_EQ(open_, 1) << editable;
    EXPECT_FALSE(view_->textCursor().hasSelection()) << "Ctrl+A is not Select All";
  }
  // The keys that edit the text are the text's.
  save_log_as_ = open_ = 0;
  view_->moveCursor(QTextCursor::Start);
  Press(Qt::Key_Delete);
  Press(Qt::Key_X);
  Press(Qt::Key_Right, Qt::ShiftModifier);
  Press(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(view_->toPlainText().left(10), "xirst line");
  EXPECT_EQ(QApplication::clipboard()->text(), "i");
  Press(Qt::Key_Z, Qt::ControlModifier);
  Press(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(view_->toPlainText().left(10), "first line");
  EXPECT_EQ(save_log_as_ + open_, 0);
}

// Ctrl+V, Shift+Insert and the paste call with a clipboard that offers nothing leave the
// text as it was; text on the clipboard is pasted as before.
TEST(PasteGuardTest, AnEmptyClipboardPastesNothing) {
  PasteGuardedTextEdit edit;
  edit.setPlainText("kept");
  edit.show();
  edit.activateWindow();
  edit.setFocus();
  edit.moveCursor(QTextCursor::End);
  QApplication::clipboard()->setMimeData(new QMimeData);
  ASSERT_TRUE(QApplication::clipboard()->mimeData()->formats().isEmpty());
  EXPECT_FALSE(edit.canPaste());
  edit.paste();
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(&edit, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(edit.toPlainText(), "kept");
  auto* image_only = new QMimeData;
  image_only->setData("image/png", QByteArray("\x89PNG", 4));
  QApplication::clipboard()->setMimeData(image_only);
  edit.paste();
  EXPECT_EQ(edit.toPlainText(), "kept");
  QApplication::clipboard()->setText(" and more");
  EXPECT_TRUE(edit.canPaste());
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.toPlainText(), "kept and more");
  QApplication::clipboard()->clear();
}

}  // namespace
}  // namespace kavrinth
