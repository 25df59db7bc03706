// The main of every support_qt test: an offscreen QApplication (no display needed), the
// numeric locale back to "C", and modal dialogs shown so that the tests can drive them.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "support/qt/dialogs.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  kavrinth::SetDialogMode(kavrinth::DialogMode::kInteractive);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
