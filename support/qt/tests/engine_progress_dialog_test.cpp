// The engines' progress dialog: its fields fed from protocol lines, and real runs of the
// Electromask engine through it, to the end and cancelled.
#include "support/qt/engine_progress_dialog.h"

#include <unistd.h>

#include <QListWidget>
#include <QPushButton>

#include "platform/process.h"
#include "qt_test_support.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/run_program.h"

namespace kavrinth {
namespace {

constexpr const char* kCorvitex = CORVITEX_PROGRAM;

std::string Text(ProgressCommand command, int index, const std::string& text) {
  return EncodeProgressLine({command, index, MessageIcon::kNone, text});
}

TEST(EngineDialogFeedTest, LinesFillTheirFields) {
  EngineProgressDialog dialog;
  const struct {
    ProgressCommand command;
    int index;
    int field;
  } cases[] = {
      {ProgressCommand::kText, 1, kEngineText1},     {ProgressCommand::kText, 2, kEngineText2},
      {ProgressCommand::kText, 3, kEngineText3},     {ProgressCommand::kStatus, 1, kEngineStatus1},
      {ProgressCommand::kStatus, 2, kEngineStatus2}, {ProgressCommand::kStatus, 3, kEngineStatus3},
      {ProgressCommand::kStatus, 4, kEngineStatus4}, {ProgressCommand::kStatus, 5, kEngineStatus5},
      {ProgressCommand::kStatus, 6, kEngineStatus6}, {ProgressCommand::kStatus, 7, kEngineStatus7},
  };
  for (const auto& c : cases) {
    const std::string text = "value of " + std::to_string(c.field);
    dialog.Feed(Text(c.command, c.index, text));
    EXPECT_EQ(dialog.ControlText(c.field), text);
  }
  dialog.Feed(Text(ProgressCommand::kText, 2, ""));
  EXPECT_EQ(dialog.ControlText(kEngineText2), "") << "an empty text clears";
  EXPECT_EQ(dialog.ControlText(kEngineText1), "value of 104") << "the others stay";
  EXPECT_EQ(dialog.ControlText(kEngineSpare), "");
}

TEST(EngineDialogFeedTest, PartialLinesWaitAndJunkIsIgnored) {
  EngineProgressDialog dialog;
  dialog.Feed("TITLE Tabrun (v6.29 11/12/1999)\nLIST-ADD 1");
  EXPECT_EQ(dialog.windowTitle(), "Tabrun (v6.29 11/12/1999)");
  EXPECT_EQ(dialog.layers()->count(), 0);
  dialog.Feed("7\r\nLIST-ADD 40\nLIST-SELECT 40\nNONSENSE 1 2\nTEXT 9 x\nTEXT 1 a\\nb\n");
  ASSERT_EQ(dialog.layers()->count(), 2);
  EXPECT_EQ(dialog.layers()->item(0)->text(), "17");
  EXPECT_EQ(dialog.layers()->currentItem()->text(), "40");
  EXPECT_EQ(dialog.ControlText(kEngineText1), "a\nb");
  dialog.Feed("BUTTON Stop\nLIST-CLEAR\n");
  EXPECT_EQ(dialog.ControlText(kEngineCancel), "Stop");
  EXPECT_EQ(dialog.layers()->count(), 0);
}

TEST(EngineDialogFeedTest, AnOverlongLineIsDropped) {
  EngineProgressDialog dialog;
  dialog.Feed("TEXT 1 " + std::string(100000, 'x'));
  dialog.Feed(std::string(100000, 'y') + "\nTEXT 2 after\n");
  EXPECT_EQ(dialog.ControlText(kEngineText1), "");
  EXPECT_EQ(dialog.ControlText(kEngineText2), "after");
}

TEST(EngineDialogFeedTest, MessagesGoToTheNotifier) {
  ScriptedNotifier notifier;
  ScopedNotifier scope(&notifier);
  EngineProgressDialog dialog;
  dialog.Feed("TITLE Corvit\nMESSAGE warning Error: File not found,\\na.em.\n");
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, "Error: File not found,\na.em.");
  EXPECT_EQ(notifier.shown[0].caption, "Corvit");
  EXPECT_EQ(notifier.shown[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(dialog.messages().size(), 1u);
}

// An engine job file: one "layer%d" section per (layer, file).
std::string JobText(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string general = "[General]\r\nlayers=";
  std::string sections;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = "layer" + std::to_string(i);
    general += (i ? "," : "") + name;
    sections += "[" + name + "]\r\nlayer=" + files[i].first + "," + files[i].second + "\r\n";
  }
  return general + "\r\n" + sections;
}

constexpr char kSmallElectromask[] =
    "<\"two flashes, hundredths of a mil\"\r\nX100Y200W30V10U0S\r\nX50S\r\nZ";

class EngineRunTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    unsetenv("KAVRINTH_PROGRESS_FD");
  }
  // A million flashes: long enough to be cancelled halfway.
  void WriteBigElectromask(const std::string& name) {
    constexpr int kFlashes = 1000000;
    std::string big = "<";
    big.reserve(kFlashes * 24);
    for (int i = 0; i < kFlashes; ++i) {
      big += "X" + std::to_string(i % 100000 * 10) + "Y" + std::to_string(i / 100000 * 10) +
             "W30V10U0S\r\n";
    }
    WriteFile(name, big + "Z");
  }
};

TEST_F(EngineRunTest, ShowsTheEnginesProgressToTheEnd) {
  WriteFile("a.em", kSmallElectromask);
  WriteFile("job.job", JobText({{"1", "a.em"}}));
  EngineProgressDialog dialog;
  bool shown_while_running = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    shown_while_running = shown_while_running || (dialog.isVisible() && dialog.isModal());
  });
  watch.start(1);
  int32_t exit_code = 12345;
  EXPECT_EQ(dialog.Run(kCorvitex, temp_.path().c_str(), "@job.job -o:out -u:E", &exit_code), 1);
  EXPECT_EQ(exit_code, 0);
  EXPECT_TRUE(shown_while_running) << "shown, and modal so the shell cannot re-enter";
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.windowTitle(), "Corvit (v1.40 04/24/98)");
  ASSERT_EQ(dialog.layers()->count(), 1);
  EXPECT_EQ(dialog.layers()->item(0)->text(), "a.em");
  EXPECT_EQ(dialog.ControlText(kEngineText1), "Processing a.em:");
  EXPECT_EQ(dialog.ControlText(kEngineCancel), "Cancel");
  EXPECT_FALSE(dialog.cancel_requested());
  EXPECT_EQ(getenv("KAVRINTH_PROGRESS_FD"), nullptr) << "the variable is ours only for the run";
  EXPECT_FALSE(ReadFile(Path("out.gds")).empty());
}

TEST_F(EngineRunTest, CancelEndsTheEngineWithTheCancelledResult) {
  WriteBigElectromask("big.em");
  WriteFile("a.em", kSmallElectromask);
  WriteFile("job.job", JobText({{"1", "a.em"}, {"2", "big.em"}, {"3", "a.em"}}));
  EngineProgressDialog dialog;
  bool pressed = false;
  bool grabbed = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (pressed || dialog.ControlText(kEngineText1) != "Processing big.em:") return;
    const std::string percent = dialog.ControlText(kEngineText3);
    if (percent.empty() || percent[0] < '1' || percent[0] > '9') return;
    EXPECT_EQ(dialog.layers()->currentItem()->text(), "big.em");
    grabbed = GrabShowsSomething(&dialog);
    FindControl<QPushButton>(&dialog, kEngineCancel)->click();
    pressed = true;
  });
  watch.start(2);
  int32_t exit_code = 0;
  EXPECT_EQ(dialog.Run(kCorvitex, temp_.path().c_str(), "@job.job -o:out -u:E", &exit_code), 1);
  ASSERT_TRUE(pressed) << "the big file's progress was shown";
  EXPECT_TRUE(grabbed);
  EXPECT_TRUE(dialog.cancel_requested());
  EXPECT_EQ(exit_code, CancelledExitCode);
  EXPECT_NE(dialog.ControlText(kEngineText1), "Processing a.em:") << "the third file was not begun";
}

TEST_F(EngineRunTest, EngineMessagesAreShown) {
  WriteFile("a.em", kSmallElectromask);
  WriteFile("job.job", JobText({{"1", "a.em"}}));
  ASSERT_EQ(symlink("/dev/full", Path("job.log").c_str()), 0);
  ScriptedNotifier notifier;
  ScopedNotifier scope(&notifier);
  EngineProgressDialog dialog;
  int32_t exit_code = 0;
  EXPECT_EQ(dialog.Run(kCorvitex, temp_.path().c_str(), "@job.job -o:out -u:E", &exit_code), 1);
  EXPECT_EQ(exit_code, -1);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, "Error: File writing error,\njob.log.");
  EXPECT_EQ(notifier.shown[0].icon, MessageIcon::kWarning);
}

TEST_F(EngineRunTest, AnEngineThatCannotStart) {
  ScriptedNotifier notifier;
  ScopedNotifier scope(&notifier);
  EngineProgressDialog dialog;
  int32_t exit_code = 0;
  EXPECT_EQ(dialog.Run(Path("no-such-engine"), temp_.path().c_str(), "", &exit_code),
            kRunProgramNotStarted);
  EXPECT_EQ(exit_code, ENOENT);
  EXPECT_EQ(notifier.shown.size(), 1u);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(getenv("KAVRINTH_PROGRESS_FD"), nullptr);
  // Cancel with nothing running does nothing but note it.
  dialog.CancelEngine();
  EXPECT_TRUE(dialog.cancel_requested());
}

}  // namespace
}  // namespace kavrinth
