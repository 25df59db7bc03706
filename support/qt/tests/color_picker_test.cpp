// The colour picker: initial choice, OK, Cancel, double click, drawing, and the grey form.
#include "support/qt/color_picker.h"

#include <QAbstractButton>
#include <QMouseEvent>

#include "qt_test_support.h"
#include "support/qt/dialogs.h"

namespace kavrinth {
namespace {

class PickColorTest : public ::testing::Test {
 protected:
  ~PickColorTest() override {
    InitPickColors();
    SetDialogMode(DialogMode::kInteractive);
  }
};

QAbstractButton* Button(QWidget* dialog, int id) {
  return FindControl<QAbstractButton>(dialog, id);
}

// A pixel near the corner of a control as drawn, inside its black outline.
QColor DrawnColor(QWidget* control) { return control->grab().toImage().pixelColor(3, 3); }

TEST_F(PickColorTest, OkGivesTheChosenIndexAndCancelTheInitial) {
  const struct {
    int initial;
    std::function<void(PickColorDialog*)> act;
    int result;
  } cases[] = {
      {3, [](PickColorDialog* d) { Button(d, kPickOk)->click(); }, 3},
      {3,
       [](PickColorDialog* d) {
         Button(d, kPickFirstButton + 5)->click();
         Button(d, kPickOk)->click();
       },
       5},
      {3,
       [](PickColorDialog* d) {
         Button(d, kPickFirstButton + 5)->click();
         Button(d, kPickCancel)->click();
       },
       3},
      {3,
       [](PickColorDialog* d) {
         Button(d, kPickFirstButton + 6)->click();
         PressKey(d, Qt::Key_Escape);
       },
       3},
      {9, [](PickColorDialog* d) { Button(d, kPickCancel)->click(); }, 1},  // starts at black
      {-2, [](PickColorDialog* d) { Button(d, kPickOk)->click(); }, 1},
  };
  for (const auto& c : cases) {
    WhenModal<PickColorDialog>(c.act);
    EXPECT_EQ(PickColor(nullptr, c.initial), c.result) << c.initial;
  }
}

TEST_F(PickColorTest, DoubleClickChoosesAndCloses) {
  WhenModal<PickColorDialog>([](PickColorDialog* dialog) {
    QAbstractButton* button = Button(dialog, kPickFirstButton + 7);
    QMouseEvent double_click(QEvent::MouseButtonDblClick, QPointF(4, 4), QPointF(4, 4),
                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &double_click);
  });
  EXPECT_EQ(PickColor(nullptr, 0), 7);
}

TEST_F(PickColorTest, StartsAtTheNearestColour) {
  const struct {
    PickColorValue color;
    int index;
  } cases[] = {{0x0040C8, 2}, {0x0080C8, 4}, {0x808080, 1}, {0xFF0000, 5}};
  for (const auto& c : cases) {
    WhenModal<PickColorDialog>([&](PickColorDialog* dialog) {
      EXPECT_EQ(dialog->current_index(), c.index);
      Button(dialog, kPickOk)->click();
    });
    EXPECT_EQ(PickColor(nullptr, NearestPickColor(c.color)), c.index) << std::hex << c.color;
  }
}

TEST_F(PickColorTest, ButtonsAreDrawnInTheirColours) {
  PickColorDialog dialog(nullptr, PickColorDialog::Form::kColor, 2);
  dialog.show();
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickFirstButton + 2)), QColor(255, 0, 0));
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickFirstButton + 5)), QColor(0, 0, 255));
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickOk)), QColor(255, 0, 0));
  dialog.Choose(3);
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickOk)), QColor(0, 255, 0)) << "OK shows the choice";
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickCancel)), QColor(255, 0, 0)) << "Cancel the initial";
  EXPECT_TRUE(GrabShowsSomething(&dialog));

  // Index 0 takes the background colour; on a black background index 1 is drawn white.
  PickColors()[kPickBackgroundIndex] = 0x000000;
  dialog.update();
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickFirstButton + 0)), QColor(0, 0, 0));
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickFirstButton + 1)), QColor(255, 255, 255));
  PickColors()[kPickBackgroundIndex] = 0x00FFFF;
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickFirstButton + 0)), QColor(255, 255, 0));
  EXPECT_EQ(DrawnColor(Button(&dialog, kPickFirstButton + 1)), QColor(0, 0, 0));
}

TEST_F(PickColorTest, GreyForm) {
  const struct {
    int level;
    int initial_button;
    std::function<void(PickColorDialog*)> act;
    int result;
  } cases[] = {
      {255, 0, [](PickColorDialog* d) { Button(d, kPickOk)->click(); }, 255},
      {100, 5, [](PickColorDialog* d) { Button(d, kPickOk)->click(); }, 96},
      {100, 5,
       [](PickColorDialog* d) {
         Button(d, kPickFirstButton + 2)->click();
         Button(d, kPickCancel)->click();
       },
       100},  // the caller's own level
      {0, 7,
       [](PickColorDialog* d) {
         Button(d, kPickFirstButton + 2)->click();
         Button(d, kPickOk)->click();
       },
       192},
  };
  for (const auto& c : cases) {
    WhenModal<PickColorDialog>([&](PickColorDialog* dialog) {
      EXPECT_EQ(dialog->initial_index(), c.initial_button) << c.level;
      EXPECT_EQ(DrawnColor(Button(dialog, kPickFirstButton + 3)), QColor(160, 160, 160));
      c.act(dialog);
    });
    EXPECT_EQ(PickGreyLevel(nullptr, c.level), c.result) << c.level;
  }
}

TEST_F(PickColorTest, NoDisplayKeepsTheCallersChoice) {
  SetDialogMode(DialogMode::kAuto);
  EXPECT_EQ(PickColor(nullptr, 4), 4);
  EXPECT_EQ(PickColor(nullptr, 12), 1);
  EXPECT_EQ(PickGreyLevel(nullptr, 77), 77);
}

}  // namespace
}  // namespace kavrinth
