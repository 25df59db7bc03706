// The Plot Window dialog as a user fills it in: a good window is plotted while the dialog
// is open and the dialog closes; a bad entry shows the message and the dialog stays.
#include "viewer/plot/qt/plot_window_dialog.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "support/notifier.h"
#include "support/qt/tests/qt_test_support.h"
#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {
namespace {

class PlotWindowDialogTest : public ViewerModelTest {
 protected:
  void SetUp() override {
    ViewerModelTest::SetUp();
    services_.display.database_units_per_user_unit = 100;
  }
  // Types both entries, presses OK and returns whether the dialog closed.
  bool TypeAndAccept(const QString& minimum, const QString& maximum) {
    PlotWindowDialog dialog;
    dialog.show();
    QTest::keyClicks(dialog.minimum_edit(), minimum);
    QTest::keyClicks(dialog.maximum_edit(), maximum);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    return dialog.result() == QDialog::Accepted && !dialog.isVisible();
  }
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(PlotWindowDialogTest, GoodWindowIsPlottedAndTheDialogCloses) {
  PlotWindowDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Plot Window");
  EXPECT_EQ(dialog.minimum_edit()->accessibleName(), "Extents(MinX, MinY)");
  EXPECT_EQ(dialog.maximum_edit()->accessibleName(), "Extents(Max, MaxY)");
  EXPECT_TRUE(TypeAndAccept("10.5,-2", "0,20"));
  ASSERT_EQ(services_.plotted.size(), 1u);
  EXPECT_EQ(services_.plotted[0], (GdxRect{0, -200, 1050, 2000}));
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(PlotWindowDialogTest, EntryWithoutCommaKeepsTheDialogOpen) {
  EXPECT_FALSE(TypeAndAccept("10.5 -2", "0,20"));
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Extents entered are not in the correct format");
  EXPECT_TRUE(services_.plotted.empty());
}

}  // namespace
}  // namespace kavrinth
