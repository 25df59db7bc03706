// Helpers of the support_qt tests: driving modal dialogs from timers, waiting while
// events are processed, temporary directories, and checking grabbed images.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "testing/temp_dir.h"

namespace kavrinth {

// Calls act with the first modal widget of type T that appears (polling every 10 ms, for
// at most 10 s), once the current code has entered its modal loop.
template <class T = QWidget>
void WhenModal(std::function<void(T*)> act) {
  auto elapsed = std::make_shared<QElapsedTimer>();
  elapsed->start();
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [act, elapsed, poll] {
    if (T* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
      act(widget);
      *poll = nullptr;  // breaks the cycle
      return;
    }
    if (elapsed->elapsed() > 10000) {
      ADD_FAILURE() << "no modal dialog appeared";
      *poll = nullptr;
      return;
    }
    QTimer::singleShot(10, *poll);
  };
  QTimer::singleShot(0, *poll);
}

// Processes events until the condition holds or the time is up; returns the condition.
inline bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!condition()) {
    if (elapsed.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
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
