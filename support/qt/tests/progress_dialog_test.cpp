// The progress box: the percentage and its caption, the command procedure, the layout by
// flags, Cancel, the timer, the list form and the sink.
#include "support/qt/progress_dialog.h"

#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include "qt_test_support.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/qt/window_helpers.h"

namespace kavrinth {
namespace {

TEST(PercentTest, PercentOf) {
  const struct {
    int64_t count, total;
    int percent;
  } cases[] = {
      {150, 200, 75},
      {250, 200, 100},  // capped
      {0, 200, 0},
      {1, 200, 1},  // one half rounds up
      {1, 201, 0},
      {-5, 200, 0},
      {7'500'000'000, 10'000'000'000, 75},  // beyond 32 bits
      {INT64_MAX - 1, INT64_MAX, 100},
      {1, INT64_MAX, 0},
      {INT64_MAX, 3, 100},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PercentOf(c.count, c.total), c.percent) << c.count << "/" << c.total;
  }
}

TEST(PercentTest, CaptionFormats) {
  const struct {
    const char* format;
    std::string caption;
  } cases[] = {
      {"%4ld%%", "  75%"},   {"%d done", "75 done"},     {"%-4d|", "75  |"},
      {"%05i%%", "00075%"},  {"no figure", "no figure"}, {"%s", "  75%"},  // not an integer
      {"%d of %d", "  75%"},                                               // two directives
      {"%n", "  75%"},       {"%*d", "  75%"},           {"%999d", "  75%"},
      {"75%", "  75%"},  // a lone % at the end
      {"%lld", "75"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatPercentCaption(c.format, 75), c.caption) << c.format;
}

class ProgressBoxTest : public ::testing::Test {
 protected:
  ~ProgressBoxTest() override {
    if (control_.window) delete control_.window.data();
  }
  PrgrsDlgBox* Create(uint32_t flags = 0) {
    control_.state = &state_;
    control_.flags = flags;
    return PrgrsDlgCreate(nullptr, &control_);
  }
  QWidget* Bar() const { return FindControl<QWidget>(control_.window.data(), kPrgrsBar); }
  bool LineShown(int id) const {
    return !FindControl<QLabel>(control_.window.data(), id)->isHidden();
  }

  ProgressState state_;
  ProgressControl control_;
};

TEST_F(ProgressBoxTest, CreatedShownWithItsDefaults) {
  state_.cancel = 1;
  state_.attention = 1;
  PrgrsDlgBox* box = Create();
  EXPECT_EQ(control_.window, box);
  EXPECT_TRUE(box->isVisible());
  EXPECT_FALSE(box->isModal());
  EXPECT_EQ(box->objectName(), "PrgrsDlgBox2");
  EXPECT_EQ(box->windowTitle(), "Progress");
  EXPECT_EQ(box->ItemText(kPrgrsCancel), "Cancel");
  EXPECT_EQ(state_.cancel, 0);
  EXPECT_EQ(state_.attention, 1) << "kept without 0x100";
  EXPECT_FALSE(box->BarShown());
  EXPECT_EQ(box->Percentage(), -1);
}

TEST_F(ProgressBoxTest, TotalAndCountDrawTheBar) {
  PrgrsDlgBox* box = Create();
  box->SetItemText(kPrgrsText0, "Scanning PG file");
  box->SetItemText(kPrgrsText1, "chip.em");
  EXPECT_EQ(box->Command(kPrgrsCmdSetTotal, 200), 1);
  EXPECT_TRUE(box->BarShown());
  box->SetCount(150);
  EXPECT_EQ(box->ItemText(kPrgrsBar), "150");
  EXPECT_EQ(box->Percentage(), 75);
  EXPECT_EQ(box->BarCaption(), "  75%");
  box->SetItemText(kPrgrsBar, "250");
  EXPECT_EQ(box->Percentage(), 100);
  EXPECT_EQ(box->BarCaption(), " 100%");
  box->SetItemText(kPrgrsText3, "%d%% read");
  EXPECT_EQ(box->BarCaption(), "100% read");
  box->SetItemText(kPrgrsText3, "");

  // Red from the left over three quarters, white beyond, framed in black.
  box->SetCount(150);
  box->adjustSize();
  const QImage image = Bar()->grab().toImage();
  ASSERT_GT(image.width(), 40);
  const int y = 2;
  EXPECT_EQ(image.pixelColor(image.width() / 4, y), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(image.width() * 9 / 10, y), QColor(255, 255, 255));
  EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
  EXPECT_TRUE(GrabShowsSomething(box));

  box->Command(kPrgrsCmdSetTotal, 0);
  EXPECT_FALSE(box->BarShown()) << "a total of 0 hides the bar";
}

TEST_F(ProgressBoxTest, EscapeAndClosingCancelWithoutClosing) {
  PrgrsDlgBox* box = Create();
  PressKey(box, Qt::Key_Escape);
  EXPECT_EQ(state_.cancel, 1);
  EXPECT_TRUE(box->isVisible());
  state_.cancel = 0;
  box->close();
  EXPECT_EQ(state_.cancel, 1);
  EXPECT_TRUE(box->isVisible());
  state_.cancel = 0;
  FindControl<QPushButton>(box, kPrgrsCancel)->click();
  EXPECT_EQ(state_.cancel, 1);
  EXPECT_TRUE(box->isVisible());
}

TEST_F(ProgressBoxTest, DestroyClosesAndCancels) {
  QPointer<PrgrsDlgBox> box = Create();
  PrgrsDlgDestroy(&control_);
  EXPECT_EQ(control_.window, nullptr);
  EXPECT_EQ(state_.cancel, 1);
  ASSERT_TRUE(box);
  EXPECT_FALSE(box->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(box) << "freed once the event loop has it";
  PrgrsDlgDestroy(&control_);  // twice is harmless
  EXPECT_EQ(state_.cancel, 1);

  // The destroy command: the box takes itself away.
  QPointer<PrgrsDlgBox> second = Create();
  EXPECT_EQ(state_.cancel, 0);
  second->Command(kPrgrsCmdDestroy);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(second);
  EXPECT_EQ(control_.window, nullptr);
}

TEST_F(ProgressBoxTest, LongOperationStopsAtCancel) {
  PrgrsDlgBox* box = Create();
  box->Command(kPrgrsCmdSetTotal, 1'000'000);
  QTimer::singleShot(50, [box] { FindControl<QPushButton>(box, kPrgrsCancel)->click(); });
  int64_t done = 0;
  QElapsedTimer elapsed;
  elapsed.start();
  while (!state_.cancel && elapsed.elapsed() < 5000) {
    box->SetCount(++done);
    PumpMessages(box);
  }
  EXPECT_EQ(state_.cancel, 1);
  EXPECT_LT(done, 1'000'000);
}

TEST_F(ProgressBoxTest, StateRecordCommands) {
  PrgrsDlgBox* box = Create();
  ProgressState other;
  ProgressState* seen = nullptr;
  EXPECT_EQ(box->Command(kPrgrsCmdGetState, reinterpret_cast<intptr_t>(&seen)), 1);
  EXPECT_EQ(seen, &state_);
  box->Command(kPrgrsCmdSetState, reinterpret_cast<intptr_t>(&other));
  box->Command(kPrgrsCmdCancel);
  EXPECT_EQ(other.cancel, 1);
  EXPECT_EQ(state_.cancel, 0);
}

TEST_F(ProgressBoxTest, UnknownCommandsGoToTheFallback) {
  PrgrsDlgBox* box = Create();
  EXPECT_EQ(box->Command(7777, 42), 0) << "no fallback";
  std::vector<std::pair<int, intptr_t>> seen;
  const ProgressFallback fallback = [&](int command, intptr_t value) -> intptr_t {
    seen.emplace_back(command, value);
    return 99;
  };
  box->Command(kPrgrsCmdFallback, reinterpret_cast<intptr_t>(&fallback));
  EXPECT_EQ(box->Command(7777, 42), 99);
  EXPECT_EQ(box->Command(kPrgrsCmdSetTotal, 5), 1) << "handled commands stay with the box";
  EXPECT_EQ(seen, (std::vector<std::pair<int, intptr_t>>{{7777, 42}}));

  // PrgrsDlgCreateEx installs one as it creates the box.
  delete control_.window.data();
  control_.flags = 0;
  PrgrsDlgBox* ex = PrgrsDlgCreateEx(nullptr, &control_, nullptr, fallback);
  EXPECT_EQ(ex->Command(12, 3), 99);
  EXPECT_EQ(ex->list(), nullptr);
}

TEST_F(ProgressBoxTest, BarClicksNeedTheirFlag) {
  const struct {
    uint32_t flags;
    int attention;
  } cases[] = {{0, 0}, {kPrgrsClearAttention, 1}, {kPrgrsTimer, 1}, {kPrgrsLines2, 0}};
  for (const auto& c : cases) {
    if (control_.window) delete control_.window.data();
    PrgrsDlgBox* box = Create(c.flags);
    state_.attention = 0;
    box->Command(kPrgrsCmdSetTotal, 10);
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Bar(), &click);
    EXPECT_EQ(state_.attention, c.attention) << c.flags;
  }
}

TEST_F(ProgressBoxTest, LayoutByFlags) {
  const struct {
    uint32_t flags;
    int last_line;
    bool bar;
  } cases[] = {
      {0, kPrgrsText5, true},
      {kPrgrsLines1, kPrgrsText1, false},
      {kPrgrsLines2, kPrgrsText2, false},
      {kPrgrsLines3, kPrgrsText3, false},
      {kPrgrsLines1 | kPrgrsBarAboveButtons, kPrgrsText1, true},
      {kPrgrsLines1 | kPrgrsLines3 | kPrgrsBarAboveButtons, kPrgrsText5, true},  // 0xC0: full
      {kPrgrsBarAboveButtons, kPrgrsText5, true},
  };
  for (const auto& c : cases) {
    if (control_.window) delete control_.window.data();
    PrgrsDlgBox* box = Create(c.flags);
    box->Command(kPrgrsCmdSetTotal, 100);
    for (int id : {kPrgrsText0, kPrgrsText1, kPrgrsText2, kPrgrsText3, kPrgrsText5}) {
      EXPECT_EQ(LineShown(id), id <= c.last_line) << "flags " << c.flags << " line " << id;
    }
    EXPECT_EQ(box->BarShown(), c.bar) << "flags " << c.flags;
    if (c.bar && (c.flags & kPrgrsBarAboveButtons)) {
      EXPECT_GT(Bar()->y(), FindControl<QLabel>(box, kPrgrsText5)->y()) << c.flags;
    }
  }
}

TEST_F(ProgressBoxTest, TitleAndCursorAfterEachCommand) {
  PrgrsDlgBox* box = Create(kPrgrsRetitle | kPrgrsBusyCursor);
  box->SetTitle("Loading");
  box->setWindowTitle("changed elsewhere");
  box->Command(kPrgrsCmdSetTotal, 10);
  EXPECT_EQ(box->windowTitle(), "Loading");
  EXPECT_EQ(box->cursor().shape(), Qt::BusyCursor);
  box->Command(kPrgrsCmdSetFlags, 0);
  box->setWindowTitle("changed elsewhere");
  box->Command(kPrgrsCmdSetTotal, 10);
  EXPECT_EQ(box->windowTitle(), "changed elsewhere");
  EXPECT_EQ(box->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ProgressBoxTest, TimerTicksSetAttention) {
  control_.state = &state_;
  state_.attention = 1;
  PrgrsDlgBox* box = PrgrsDlgStartTimer(nullptr, 7, &control_);
  EXPECT_EQ(state_.attention, 0);
  EXPECT_TRUE(control_.flags & kPrgrsTimer);
  box->StartTimer(10);  // faster than the second the operations use
  EXPECT_TRUE(WaitFor([&] { return state_.attention == 1; }));
  PrgrsDlgStopTimer(7, &control_);
  EXPECT_EQ(control_.window, nullptr);
  EXPECT_EQ(state_.cancel, 1);
}

TEST_F(ProgressBoxTest, ListFormAndSink) {
  control_.state = &state_;
  control_.flags = kPrgrsTimer;
  PrgrsDlgBox* box = PrgrsDlgListCreate(nullptr, &control_, "Writing WF2");
  ASSERT_NE(box->list(), nullptr);
  EXPECT_EQ(box->objectName(), "PrgrsDlgListBox1");
  EXPECT_EQ(box->flags(), kPrgrsRetitle | kPrgrsBusyCursor);
  EXPECT_EQ(box->windowTitle(), "Writing WF2");
  EXPECT_EQ(box->cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(box->list()->count(), 0);

  ScriptedNotifier notifier;
  ScopedNotifier scope(&notifier);
  const ProgressLine lines[] = {
      {ProgressCommand::kListAdd, 0, MessageIcon::kNone, "layer 1"},
      {ProgressCommand::kListAdd, 0, MessageIcon::kNone, "layer 2"},
      {ProgressCommand::kListSelect, 0, MessageIcon::kNone, "layer 2"},
      {ProgressCommand::kText, 1, MessageIcon::kNone, "Writing"},
      {ProgressCommand::kText, 3, MessageIcon::kNone, "strip 4"},
      {ProgressCommand::kStatus, 1, MessageIcon::kNone, "40%"},
      {ProgressCommand::kButton, 0, MessageIcon::kNone, "Stop"},
      {ProgressCommand::kMessage, 0, MessageIcon::kWarning, "disk nearly full"},
  };
  for (const ProgressLine& line : lines) box->Send(line);
  EXPECT_EQ(box->list()->count(), 2);
  EXPECT_EQ(box->list()->currentItem()->text(), "layer 2");
  EXPECT_EQ(box->ItemText(kPrgrsText0), "Writing");
  EXPECT_EQ(box->ItemText(kPrgrsText2), "strip 4");
  EXPECT_EQ(box->ItemText(kPrgrsText5), "40%");
  EXPECT_EQ(box->ItemText(kPrgrsCancel), "Stop");
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, "disk nearly full");
  EXPECT_EQ(notifier.shown[0].caption, "Writing WF2");
  EXPECT_EQ(notifier.shown[0].icon, MessageIcon::kWarning);
  box->Send({ProgressCommand::kListClear, 0, MessageIcon::kNone, ""});
  EXPECT_EQ(box->list()->count(), 0);
  EXPECT_TRUE(GrabShowsSomething(box));
}

}  // namespace
}  // namespace kavrinth
