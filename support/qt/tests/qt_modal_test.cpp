// The modal-dialog helper of the Qt tests: a dialog its action does not close, an
// assertion or exception inside the action, and an unexpected dialog each fail the test
// within their limits and leave no modal loop running.
#include "testing/qt_modal.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace kavrinth {
namespace {

// A dialog whose OK button is not wired to close it: the fault the helper must survive.
class BrokenCloseDialog : public QDialog {
 public:
  BrokenCloseDialog() : ok_(new QPushButton("OK", this)) { ok_->setAccessibleName("OK"); }
  QPushButton* ok() const { return ok_; }

 private:
  QPushButton* ok_;
};

// Neither reject() nor hide() closes it: only aborting ends its modal loop.
class UnclosableDialog : public QDialog {
 public:
  void reject() override {}
  void setVisible(bool visible) override {
    if (visible) QDialog::setVisible(true);
  }
};

TEST(WhenModalTest, ActionThatClosesPasses) {
  QDialog dialog;
  WhenModal<QDialog>([](QDialog* shown) { shown->accept(); });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}

TEST(WhenModalTest, DialogLeftOpenFailsAndIsClosed) {
  BrokenCloseDialog dialog;
  QElapsedTimer elapsed;
  elapsed.start();
  int result = -1;
  EXPECT_NONFATAL_FAILURE(
      {
        WhenModal<QDialog>([&](QDialog*) { dialog.ok()->click(); }, 200);
        result = dialog.exec();
      },
      "is still open 200 ms after the test's action");
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_LT(elapsed.elapsed(), 5000);
}

TEST(WhenModalTest, ClosingSoonAfterTheActionPasses) {
  QDialog dialog;
  WhenModal<QDialog>([](QDialog* shown) { QTimer::singleShot(100, shown, &QDialog::accept); },
                     2000);
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}

TEST(WhenModalTest, ExceptionInTheActionClosesAtOnce) {
  QDialog dialog;
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_NONFATAL_FAILURE(
      {
        WhenModal<QDialog>([](QDialog*) { throw std::runtime_error("broken action"); });
        dialog.exec();
      },
      "threw: broken action");
  EXPECT_LT(elapsed.elapsed(), kModalCloseLimitMs / 2) << "closed without waiting the limit";
}

// A fatal assertion is only seen by the helper as a failure of the running test, so the
// case runs in a child process that reports through its exit code.
TEST(WhenModalTest, AssertionInTheActionClosesAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        QDialog dialog;
        QElapsedTimer elapsed;
        elapsed.start();
        WhenModal<QDialog>([](QDialog* shown) { ASSERT_EQ(shown, nullptr) << "on purpose"; });
        dialog.exec();
        const bool closed_early = elapsed.elapsed() < kModalCloseLimitMs / 2;
        std::_Exit(::testing::Test::HasFatalFailure() && closed_early ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(WhenModalTest, UnexpectedDialogFailsAndIsClosed) {
  QDialog dialog;
  dialog.setWindowTitle("Unexpected");
  bool acted = false;
  EXPECT_NONFATAL_FAILURE(
      {
        WhenModal<QMessageBox>([&](QMessageBox*) { acted = true; }, 200, 200);
        dialog.exec();
      },
      "QDialog \"Unexpected\" is shown; closing it");
  EXPECT_FALSE(acted);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(WhenModalTest, NoDialogFails) {
  EXPECT_NONFATAL_FAILURE(
      {
        WhenModal<QDialog>([](QDialog*) {}, 200, 100);
        EXPECT_FALSE(WaitFor([] { return false; }, 400));
      },
      "no modal dialog appeared");
}

TEST(WhenModalTest, DialogThatCannotBeClosedAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        UnclosableDialog dialog;
        WhenModal<QDialog>([](QDialog*) {}, 100);
        dialog.exec();
      },
      ::testing::KilledBySignal(SIGABRT), "QDialog could not be closed; aborting");
}

}  // namespace
}  // namespace kavrinth
