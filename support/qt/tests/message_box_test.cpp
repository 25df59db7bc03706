// Qt message boxes as the Notifier, the dialog mode, the memory warnings, the frame title
// and the library's message dialog.
#include "support/qt/message_box.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>

#include "qt_test_support.h"
#include "support/qt/dialogs.h"
#include "support/qt/message_dialog.h"

namespace kavrinth {
namespace {

class DialogModeTest : public ::testing::Test {
 protected:
  ~DialogModeTest() override { SetDialogMode(DialogMode::kInteractive); }
};

TEST_F(DialogModeTest, OffscreenIsNoDisplay) {
  EXPECT_FALSE(HasDisplay());
  SetDialogMode(DialogMode::kAuto);
  EXPECT_FALSE(DialogsInteractive());
  SetDialogMode(DialogMode::kInteractive);
  EXPECT_TRUE(DialogsInteractive());
  SetDialogMode(DialogMode::kHeadless);
  EXPECT_FALSE(DialogsInteractive());
}

TEST_F(DialogModeTest, BoxesTakeTheirDefaultWithoutADisplay) {
  SetDialogMode(DialogMode::kAuto);
  QtNotifier notifier;
  EXPECT_EQ(notifier.Show({"Overwrite?", "Save", MessageIcon::kQuestion, MessageButtons::kYesNo}),
            kAnswerYes);
  EXPECT_EQ(notifier.Show({"Again?", "Run", MessageIcon::kNone, MessageButtons::kRetryCancel}),
            kAnswerRetry);
  EXPECT_EQ(MsgDlgBoxModal(nullptr, "Note", {"line", nullptr, nullptr, nullptr, nullptr}),
            kMsgDlgOk);
}

// Shows a message and answers it with the action on the box.
int ShowAndAct(MessageButtons buttons, std::function<void(QMessageBox*)> act,
               MessageIcon icon = MessageIcon::kNone) {
  WhenModal<QMessageBox>(std::move(act));
  QtNotifier notifier;
  return notifier.Show({"Text of the box", "Caption", icon, buttons});
}

TEST(QtNotifierTest, EachButtonGivesItsAnswer) {
  const struct {
    MessageButtons buttons;
    int pressed;
  } cases[] = {
      {MessageButtons::kOk, kAnswerOk},           {MessageButtons::kOkCancel, kAnswerOk},
      {MessageButtons::kOkCancel, kAnswerCancel}, {MessageButtons::kYesNo, kAnswerYes},
      {MessageButtons::kYesNo, kAnswerNo},        {MessageButtons::kYesNoCancel, kAnswerCancel},
      {MessageButtons::kYesNoCancel, kAnswerNo},  {MessageButtons::kRetryCancel, kAnswerRetry},
  };
  for (const auto& c : cases) {
    const int answer = ShowAndAct(c.buttons, [&](QMessageBox* box) {
      QPushButton* button = FindControl<QPushButton>(box, c.pressed);
      ASSERT_NE(button, nullptr) << c.pressed;
      button->click();
    });
    EXPECT_EQ(answer, c.pressed);
  }
}

TEST(QtNotifierTest, EscapeTakesCancelWhereThereIsOne) {
  const struct {
    MessageButtons buttons;
    int answer;
  } cases[] = {
      {MessageButtons::kOk, kAnswerOk},
      {MessageButtons::kOkCancel, kAnswerCancel},
      {MessageButtons::kYesNoCancel, kAnswerCancel},
      {MessageButtons::kRetryCancel, kAnswerCancel},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShowAndAct(c.buttons, [](QMessageBox* box) { PressKey(box, Qt::Key_Escape); }),
              c.answer);
  }
  // A Yes/No box stays until one of its buttons is pressed.
  const int answer = ShowAndAct(MessageButtons::kYesNo, [](QMessageBox* box) {
    PressKey(box, Qt::Key_Escape);
    box->close();
    EXPECT_TRUE(box->isVisible());
    FindControl<QPushButton>(box, kAnswerNo)->click();
  });
  EXPECT_EQ(answer, kAnswerNo);
}

TEST(QtNotifierTest, ShowsTextCaptionAndIcon) {
  ShowAndAct(
      MessageButtons::kOk,
      [](QMessageBox* box) {
        EXPECT_EQ(box->text(), "Text of the box");
        EXPECT_EQ(box->windowTitle(), "Caption");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_TRUE(GrabShowsSomething(box));
        box->defaultButton()->click();
      },
      MessageIcon::kStop);
}

constexpr char kMemInfo[] =
    "MemTotal:        8000000 kB\n"
    "MemFree:          100000 kB\n"
    "MemAvailable:    3000000 kB\n"
    "SwapTotal:       2000000 kB\n"
    "SwapFree:        1500000 kB\n";

TEST(MemoryTest, ParseMemInfo) {
  const std::optional<MemoryFigures> figures = ParseMemInfo(kMemInfo);
  ASSERT_TRUE(figures);
  EXPECT_EQ(figures->total_physical, 8'192'000'000);
  EXPECT_EQ(figures->available_physical, 3'072'000'000);
  EXPECT_EQ(figures->total_virtual, 10'240'000'000);
  EXPECT_EQ(figures->available_virtual, 4'608'000'000);
  EXPECT_FALSE(ParseMemInfo("MemTotal: 5 kB\n"));
  EXPECT_FALSE(ParseMemInfo("MemTotal: x kB\nMemAvailable: 1 kB\n"));
  EXPECT_FALSE(ParseMemInfo("XMemTotal: 5 kB\nMemAvailable: 1 kB\n"));
  EXPECT_TRUE(ParseMemInfo("MemTotal: 5 kB\nMemAvailable: 1 kB\n")) << "swap may be missing";
}

TEST(MemoryTest, WarningTexts) {
  const MemoryFigures figures{300, 800, 450, 1000};
  const std::string rule = "\n_______________________________________\n\n";
  EXPECT_EQ(LowMemoryText(nullptr, figures),
            "System is low in memory.\nSelected operation cannot be completed." + rule +
                "Largest available memory:\t300\nTotal available memory:\t800");
  EXPECT_EQ(MemoryStatusText("Cannot load the job.", figures),
            "System is low in memory.\nCannot load the job." + rule +
                "Available Physical/Virtual:\t300/450\nTotal Physical/Virtual:\t800/1000\n");
}

TEST(MemoryTest, ShowLowMemoryGivesTheMachinesFigures) {
  ScriptedNotifier notifier;
  ScopedNotifier scope(&notifier);
  ShowLowMemory(nullptr);
  ShowMemoryStatus("Too big.");
  ASSERT_EQ(notifier.shown.size(), 2u);
  for (const Message& message : notifier.shown) {
    EXPECT_EQ(message.caption, "WARNING");
    EXPECT_EQ(message.icon, MessageIcon::kStop);
  }
  const MemoryFigures figures = ReadMemoryFigures();
  ASSERT_GT(figures.total_physical, 0);
  EXPECT_NE(notifier.shown[0].text.find("Selected operation cannot be completed."),
            std::string::npos);
  EXPECT_NE(notifier.shown[0].text.find("Total available memory:\t" +
                                        std::to_string(figures.total_physical)),
            std::string::npos)
      << notifier.shown[0].text;
  EXPECT_NE(notifier.shown[1].text.find("Total Physical/Virtual:\t" +
                                        std::to_string(figures.total_physical) + "/"),
            std::string::npos)
      << notifier.shown[1].text;
}

TEST(FrameTitleTest, UpdateFrameTitle) {
  QWidget window;
  UpdateFrameTitle(&window, "Viewer", true, "/jobs/a.wf2", nullptr, "2 layers", false);
  EXPECT_EQ(window.windowTitle(), "Viewer - a.wf2 - [2 layers]");
  UpdateFrameTitle(&window, "Viewer", true, "/jobs/a.wf2", nullptr, nullptr, true);
  EXPECT_EQ(window.windowTitle(), "a.wf2 - Viewer");
  UpdateFrameTitle(&window, "Viewer", false, "/jobs/a.wf2", nullptr, nullptr, false);
  EXPECT_EQ(window.windowTitle(), "Viewer");
  UpdateFrameTitle(&window, "Viewer", true, "/jobs/a.wf2", "/nowhere/b.wf2", "*", false);
  window.show();
  EXPECT_EQ(window.windowHandle()->title(), "Viewer - a.wf2 - [*]");
}

TEST(MessageDialogTest, ModalShowsItsTextsAndReturnsTheButton) {
  WhenModal<MsgDlgBox>([](MsgDlgBox* box) {
    EXPECT_EQ(FindControl<QLabel>(box, kMsgDlgHeading)->text(), "Scan finished");
    EXPECT_FALSE(FindControl<QLabel>(box, kMsgDlgHeading)->isHidden());
    EXPECT_FALSE(FindControl<QLabel>(box, kMsgDlgIcon)->pixmap().isNull());
    EXPECT_EQ(FindControl<QLabel>(box, kMsgDlgText1)->text(), "12 layers");
    EXPECT_EQ(FindControl<QLabel>(box, kMsgDlgText4)->text(), "done");
    EXPECT_EQ(FindControl<QLabel>(box, kMsgDlgText2)->text(), "");
    EXPECT_EQ(FindControl<QPushButton>(box, kMsgDlgOk)->text(), "OK");
    EXPECT_TRUE(GrabShowsSomething(box));
    FindControl<QPushButton>(box, kMsgDlgOk)->click();
  });
  EXPECT_EQ(
      MsgDlgBoxModal(nullptr, "Scan finished", {"12 layers", nullptr, nullptr, "done", "info"}),
      kMsgDlgOk);

  // Without an icon the title is the window's; Escape closes with 2, other commands with theirs.
  WhenModal<MsgDlgBox>([](MsgDlgBox* box) {
    EXPECT_EQ(box->windowTitle(), "Plain");
    EXPECT_TRUE(FindControl<QLabel>(box, kMsgDlgHeading)->isHidden());
    EXPECT_TRUE(FindControl<QLabel>(box, kMsgDlgIcon)->isHidden());
    PressKey(box, Qt::Key_Escape);
  });
  EXPECT_EQ(MsgDlgBoxModal(nullptr, "Plain", {"x", nullptr, nullptr, nullptr, "nonsense"}), 2);
  WhenModal<MsgDlgBox>([](MsgDlgBox* box) {
    box->Command(9);  // not a closing command
    EXPECT_TRUE(box->isVisible());
    box->Command(6);
  });
  EXPECT_EQ(MsgDlgBoxModal(nullptr, "Plain", {}), 6);
}

TEST(MessageDialogTest, ModelessClosesOnItsTimer) {
  QPointer<MsgDlgBox> box =
      MsgDlgBoxModeless(nullptr, "Saved", {"chip.pg", nullptr, nullptr, nullptr, nullptr},
                        kMsgDlgTimer, (5u << 16) | 30u);
  ASSERT_TRUE(box);
  EXPECT_TRUE(box->isVisible());
  EXPECT_FALSE(box->isModal());
  EXPECT_TRUE(WaitFor([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return box.isNull();
  }));

  QPointer<MsgDlgBox> kept =
      MsgDlgBoxModeless(nullptr, "Saved", {"chip.pg", nullptr, nullptr, nullptr, nullptr}, 0, 30);
  WaitFor([] { return false; }, 100);
  ASSERT_TRUE(kept) << "no timer without its flag";
  MsgDlgBoxClose(kept);
  EXPECT_TRUE(kept.isNull());
}

}  // namespace
}  // namespace kavrinth
