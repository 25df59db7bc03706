// The message pump, menu helpers, titles, the edit box coupled to a scroll bar, keeping a
// window on the screen, and the frame of owner-drawn buttons.
#include "support/qt/window_helpers.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>
#include <chrono>

#include "qt_test_support.h"
#include "support/messages.h"
#include "support/qt/dialogs.h"

namespace kavrinth {
namespace {

// Counts the events of each type it receives.
class EventCounter : public QWidget {
 public:
  std::map<int, int> counts;

 protected:
  bool event(QEvent* event) override {
    ++counts[event->type()];
    return QWidget::event(event);
  }
};

TEST(PumpTest, PumpMessagesDeliversWaitingEventsAtOnce) {
  bool delivered = false;
  QMetaObject::invokeMethod(
      qApp, [&] { delivered = true; }, Qt::QueuedConnection);
  EXPECT_FALSE(delivered);
  EXPECT_EQ(PumpMessages(nullptr), 0);
  EXPECT_TRUE(delivered);
}

TEST(PumpTest, PumpMessageRangeSendsOnlyTheRange) {
  EventCounter widget;
  const int first = QEvent::User + 1;
  QApplication::postEvent(&widget, new QEvent(static_cast<QEvent::Type>(first)));
  QApplication::postEvent(&widget, new QEvent(static_cast<QEvent::Type>(first + 5)));
  PumpMessageRange(&widget, first, first + 2);
  EXPECT_EQ(widget.counts[first], 1);
  EXPECT_EQ(widget.counts[first + 5], 0);
  PumpMessageRange(&widget, first + 3, first + 10);
  EXPECT_EQ(widget.counts[first + 5], 1);
}

TEST(PumpTest, WindowStaysResponsiveWhileRunProgramWaits) {
  QWidget window;
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(20);
  int32_t exit_code = 99;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunProgram(PumpFor(&window), "/bin/sleep", nullptr, "0.3", &exit_code, true), 1);
  EXPECT_EQ(exit_code, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_GE(ticks, 5) << "the timer ran while the child was waited for";
}

class MenuTest : public ::testing::Test {
 protected:
  MenuTest() {
    QMenu* view = window_.menuBar()->addMenu("&View");
    action_ = view->addAction("Plot Screen");
    action_->setData(kPlotScreen);
  }
  static constexpr int kPlotScreen = 32857;
  QMainWindow window_;
  QAction* action_;
};

TEST_F(MenuTest, ToggleMenuMarkFlipsTheTick) {
  EXPECT_EQ(FindCommandAction(&window_, kPlotScreen), action_);
  EXPECT_EQ(FindCommandAction(&window_, 1), nullptr);
  ToggleMenuMark(&window_, kPlotScreen);
  EXPECT_TRUE(action_->isChecked());
  ToggleMenuMark(&window_, kPlotScreen);
  EXPECT_FALSE(action_->isChecked());
  ToggleMenuMark(&window_, 1);  // no such command: nothing happens
}

TEST_F(MenuTest, EnableMenuCmdByState) {
  const struct {
    int state;
    bool enabled;
  } cases[] = {{1, false}, {0, true}, {-1, false}, {0, true}, {7, false}};
  for (const auto& c : cases) {
    EnableMenuCmd(&window_, kPlotScreen, c.state);
    EXPECT_EQ(action_->isEnabled(), c.enabled) << "state " << c.state;
  }
}

const char* LongResource(int id) {
  static const std::string text(400, 'r');
  return id == 7 ? text.c_str() : nullptr;
}

TEST(TitleTest, TitleFromResource) {
  const struct {
    int id;
    const char* text;
    std::string title;
  } cases[] = {
      {0, "just this", "just this"},
      {0, nullptr, ""},
      {4168, nullptr, "File already exist"},
      {4168, "a.gds", "File already exist - a.gds"},
      {7, "x", std::string(63, 'r') + " - x"},
      {7, nullptr, std::string(323, 'r')},
      {99, "x", " - x"},  // an id without a string
  };
  for (const auto& c : cases) {
    const StringResource resource = c.id == 7 ? LongResource : LoadMessageText;
    EXPECT_EQ(TitleFromResource(c.id, c.text, resource), c.title) << c.id;
  }
}

TEST(TitleTest, SetTitleFromResourceShowsTheTextAsItStands) {
  QWidget window;
  SetTitleFromResource(&window, 4193, "job [*] 1");
  window.show();
  ASSERT_TRUE(window.windowHandle());
  EXPECT_EQ(window.windowHandle()->title(), "OK - job [*] 1");
}

TEST(ScrollTest, ScrollPosFromValue) {
  const struct {
    double value, scale;
    int32_t offset, minimum, maximum, position;
  } cases[] = {
      {2.5, 10, 5, 0, 100, 30},        {0.04999, 10, 0, 0, 100, 0},
      {0.05, 10, 0, 0, 100, 1},        {-0.05, 10, 0, -10, 100, 0},  // half rounds up
      {1e300, 10, 0, 0, 100, 100},     {-1e300, 10, 0, -5, 100, -5},
      {std::nan(""), 1, 0, 3, 100, 3}, {7, 1, -2, 0, 100, 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScrollPosFromValue(c.value, c.scale, c.offset, c.minimum, c.maximum), c.position)
        << c.value;
  }
}

TEST(ScrollTest, EditToScrollPosMovesTheBarAndRewritesTheEdit) {
  QLineEdit edit;
  QScrollBar bar;
  bar.setRange(0, 100);
  const struct {
    const char* typed;
    int32_t position;
    const char* shown;
  } cases[] = {
      {"2.5", 30, "2.5"},     {"2.54", 30, "2.5"}, {"1e9", 100, "9.5"},
      {"-3", 0, "-0.5"},      {"abc", 5, "0"},     {"1234567890123456789", 100, "9.5"},
      {"0.123456", 6, "0.1"},
  };
  for (const auto& c : cases) {
    edit.setText(c.typed);
    EXPECT_EQ(EditToScrollPos(&edit, &bar, 0, 100, 10, 5), c.position) << c.typed;
    EXPECT_EQ(bar.value(), c.position) << c.typed;
    EXPECT_EQ(edit.text().toStdString(), c.shown) << c.typed;
  }
}

TEST(ScreenTest, FitPointToScreen) {
  const QRect screen(0, 0, 800, 600);
  const QSize size(200, 100);
  const struct {
    QPoint wished, fitted;
  } cases[] = {
      {{10, 20}, {10, 20}},   {{-50, -10}, {0, 0}},       {{700, 20}, {600, 20}},
      {{10, 550}, {10, 500}}, {{5000, 5000}, {600, 500}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitPointToScreen(c.wished, size, screen), c.fitted) << c.wished.x();
  }
  // A window larger than the screen keeps its top-left corner on it.
  EXPECT_EQ(FitPointToScreen({100, 100}, {1000, 700}, screen), QPoint(0, 0));
}

TEST(ScreenTest, FitWindowToScreenKeepsTheSize) {
  QWidget window;
  window.resize(200, 100);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  FitWindowToScreen(&window, screen.width() + 50, -20);
  EXPECT_EQ(window.pos(), QPoint(screen.x() + screen.width() - 200, screen.y()));
  EXPECT_EQ(window.size(), QSize(200, 100));
}

class ItemFrameTest : public ::testing::Test {
 protected:
  QRect Draw(const OwnerDrawItem& item) {
    image_ = QImage(20, 12, QImage::Format_RGB32);
    image_.fill(QColor(0, 0, 255));
    QPainter painter(&image_);
    return DrawItemFrame(painter, item);
  }
  QColor At(int x, int y) const { return image_.pixelColor(x, y); }
  QImage image_;
};

const QColor kBlack(0, 0, 0), kGrey(128, 128, 128), kWhite(255, 255, 255), kBlue(0, 0, 255);

TEST_F(ItemFrameTest, RaisedButton) {
  const QRect inner = Draw({QRect(0, 0, 20, 12), false, false, false});
  EXPECT_EQ(inner, QRect(2, 2, 16, 8));
  EXPECT_EQ(At(0, 0), kBlack);
  EXPECT_EQ(At(19, 11), kBlack);
  EXPECT_EQ(At(1, 5), kWhite) << "left edge lit";
  EXPECT_EQ(At(5, 1), kWhite) << "top edge lit";
  EXPECT_EQ(At(18, 5), kGrey);
  EXPECT_EQ(At(5, 10), kGrey);
  EXPECT_EQ(At(10, 6), kBlue) << "the inside is the caller's";
}

TEST_F(ItemFrameTest, PressedButton) {
  Draw({QRect(0, 0, 20, 12), false, true, false});
  EXPECT_EQ(At(18, 5), kWhite) << "right edge lit";
  EXPECT_EQ(At(5, 10), kWhite) << "bottom edge lit";
  EXPECT_EQ(At(1, 5), kGrey);
  EXPECT_EQ(At(5, 1), kGrey);
}

TEST_F(ItemFrameTest, DisabledSelectionIsGreyWithoutLight) {
  const QRect inner = Draw({QRect(0, 0, 20, 12), true, true, true});
  EXPECT_EQ(inner, QRect(2, 2, 16, 8));
  EXPECT_EQ(At(0, 0), kGrey);
  for (QPoint p : {QPoint(1, 5), QPoint(5, 1), QPoint(18, 5), QPoint(5, 10)}) {
    EXPECT_EQ(At(p.x(), p.y()), kGrey) << p.x() << "," << p.y();
  }
  // Disabled alone (not a selection change) keeps the black frame.
  Draw({QRect(0, 0, 20, 12), false, false, true});
  EXPECT_EQ(At(0, 0), kBlack);
}

}  // namespace
}  // namespace kavrinth
