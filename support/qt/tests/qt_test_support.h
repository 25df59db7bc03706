// Helpers of the support_qt tests: driving modal dialogs from timers, waiting while
// events are processed, temporary directories, and checking grabbed images.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "testing/qt_modal.h"  // WhenModal, WaitFor
#include "testing/temp_dir.h"

namespace kavrinth {

// Types the names into the file dialog's name field, in place of any selection, and
// accepts.
inline void TypeNamesAndAccept(QFileDialog* dialog, const QString& names) {
  for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
    if (view->selectionModel()) view->selectionModel()->clearSelection();
  }
  dialog->findChild<QLineEdit*>("fileNameEdit")->setText(names);
  QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
}

inline void PressKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
}

// True when the widget's grabbed image has pixels of at least two colours.
inline bool GrabShowsSomething(QWidget* widget) {
  const QImage image = widget->grab().toImage();
  if (image.isNull() || image.width() == 0 || image.height() == 0) return false;
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != first) return true;
    }
  }
  return false;
}

// A fresh directory under /tmp for one test, removed at its end.
class TempDirTest : public test_support::TempDirTest {
 protected:
  std::string Path(const std::string& name) const { return temp_.File(name); }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    temp_.Write(name, bytes);
  }
  static std::string ReadFile(const std::string& path) { return test_support::ReadBytes(path); }
};

}  // namespace kavrinth
