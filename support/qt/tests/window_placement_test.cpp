// Window placement saved to and restored from the program's settings store.
#include "support/qt/window_placement.h"

#include <QWidget>
#include <QWindow>

#include "qt_test_support.h"

namespace kavrinth {
namespace {

class PlacementTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    if (const char* old = getenv("XDG_CONFIG_HOME")) old_config_ = old;
    setenv("XDG_CONFIG_HOME", temp_.path().c_str(), 1);
    ASSERT_TRUE(profile_.Open("Placement"));
  }
  void TearDown() override {
    if (old_config_.empty()) {
      unsetenv("XDG_CONFIG_HOME");
    } else {
      setenv("XDG_CONFIG_HOME", old_config_.c_str(), 1);
    }
    TempDirTest::TearDown();
  }
  std::string StoreText() const { return ReadFile(profile_.path()); }

  std::string old_config_;
  CAppProfile profile_;
};

TEST_F(PlacementTest, WindowAtTheScreensCornerIsRestored) {
  QWidget saved;
  saved.setGeometry(0, 0, 300, 200);
  ASSERT_EQ(SaveWindowPlacement(profile_, saved), 1);
  const std::string text = StoreText();
  for (const char* line :
       {"WindowTopX=0", "WindowTopY=0", "WindowBotX=300", "WindowBotY=200", "WindowshowCmd=0"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  }
  QWidget restored;
  restored.setGeometry(50, 60, 100, 100);
  EXPECT_EQ(RestoreWindowPlacement(profile_, &restored, false), 1);
  EXPECT_EQ(restored.geometry(), QRect(0, 0, 300, 200));
}

TEST_F(PlacementTest, KeepSizeUsesOnlyTheCorner) {
  QWidget saved;
  saved.setGeometry(-40, 25, 300, 200);  // a window partly off the left edge is real too
  ASSERT_EQ(SaveWindowPlacement(profile_, saved), 1);
  QWidget restored;
  restored.setGeometry(50, 60, 120, 90);
  EXPECT_EQ(RestoreWindowPlacement(profile_, &restored, true), 1);
  EXPECT_EQ(restored.geometry(), QRect(-40, 25, 120, 90));
}

TEST_F(PlacementTest, ApplyStoredPlacementMovesAPlainWindow) {
  QWindow window;
  window.setGeometry(50, 60, 120, 90);
  EXPECT_EQ(ApplyStoredPlacement(&window, profile_), 0) << "nothing stored";
  EXPECT_EQ(window.geometry(), QRect(50, 60, 120, 90));
  QWidget saved;
  saved.setGeometry(30, 40, 300, 200);
  ASSERT_EQ(SaveWindowPlacement(profile_, saved), 1);
  window.setWindowStates(Qt::WindowMaximized);
  EXPECT_EQ(ApplyStoredPlacement(&window, profile_), 1);
  EXPECT_EQ(window.geometry(), QRect(30, 40, 300, 200));
  EXPECT_EQ(window.windowStates(), Qt::WindowNoState);
  // A rectangle turned inside out leaves the window as it is.
  profile_.WriteInt("WindowBotX", 10);
  window.setGeometry(50, 60, 120, 90);
  EXPECT_EQ(ApplyStoredPlacement(&window, profile_), 1);
  EXPECT_EQ(window.geometry(), QRect(50, 60, 120, 90));
}

TEST_F(PlacementTest, NothingStoredLeavesTheWindow) {
  QWidget window;
  window.setGeometry(50, 60, 120, 90);
  EXPECT_EQ(RestoreWindowPlacement(profile_, &window, false), 0);
  // Four of five values are not a placement either.
  for (const char* name : {"WindowTopX", "WindowTopY", "WindowBotX", "WindowBotY"}) {
    profile_.WriteInt(name, 10);
  }
  EXPECT_EQ(RestoreWindowPlacement(profile_, &window, false), 0);
  EXPECT_EQ(window.geometry(), QRect(50, 60, 120, 90));
}

TEST_F(PlacementTest, UnusableRectanglesLeaveTheWindow) {
  const struct {
    int32_t left, top, right, bottom;
  } cases[] = {
      {INT32_MIN, 0, 300, 200},         // unset
      {10, 10, 10, 200},                // no width
      {300, 10, 100, 200},              // inside out
      {-2000000000, 0, 2000000000, 9},  // wider than any int
  };
  for (const auto& c : cases) {
    const int32_t values[] = {c.left, c.top, c.right, c.bottom, 0};
    const char* names[] = {"WindowTopX", "WindowTopY", "WindowBotX", "WindowBotY", "WindowshowCmd"};
    for (int i = 0; i < 5; ++i) profile_.WriteInt(names[i], values[i]);
    QWidget window;
    window.setGeometry(50, 60, 120, 90);
    EXPECT_EQ(RestoreWindowPlacement(profile_, &window, false), 1) << c.left << "," << c.right;
    EXPECT_EQ(window.geometry(), QRect(50, 60, 120, 90)) << c.left << "," << c.right;
  }
}

TEST_F(PlacementTest, SectionsByPrefixAndTheMaximisedState) {
  QWidget tool;
  tool.setGeometry(70, 80, 150, 110);
  ASSERT_EQ(SavePlacementSection(profile_, "Layers", tool), 1);
  WindowPlacement placement;
  ASSERT_EQ(ReadPlacementSection(profile_, "Layers", &placement), 1);
  EXPECT_EQ(placement.left, 70);
  EXPECT_EQ(placement.top, 80);
  EXPECT_EQ(placement.right, 220);
  EXPECT_EQ(placement.bottom, 190);
  EXPECT_EQ(placement.show_command, 0);
  EXPECT_EQ(ReadWindowPlacement(profile_, &placement), 0) << "the main window's is apart";

  QWidget main;
  main.setGeometry(30, 40, 200, 150);
  main.show();
  main.showMaximized();
  ASSERT_TRUE(WaitFor([&] { return main.isMaximized(); }));
  ASSERT_EQ(SaveWindowPlacement(profile_, main), 1);
  ASSERT_EQ(ReadWindowPlacement(profile_, &placement), 1);
  EXPECT_EQ(placement.show_command, 1);
  EXPECT_EQ(QRect(placement.left, placement.top, placement.right - placement.left,
                  placement.bottom - placement.top),
            QRect(30, 40, 200, 150))
      << "the normal rectangle, not the maximised one";
  // Restored in the normal state at the normal rectangle.
  EXPECT_EQ(RestoreWindowPlacement(profile_, &main, false), 1);
  EXPECT_FALSE(main.isMaximized());
  EXPECT_EQ(main.geometry(), QRect(30, 40, 200, 150));
}

TEST_F(PlacementTest, ClosedStoreSavesNothing) {
  CAppProfile closed;
  QWidget window;
  EXPECT_EQ(SaveWindowPlacement(closed, window), 0);
  WindowPlacement placement;
  EXPECT_EQ(ReadWindowPlacement(closed, &placement), 0);
}

}  // namespace
}  // namespace kavrinth
