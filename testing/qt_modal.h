// Driving modal dialogs from Qt tests with time limits: the test's action runs on the
// dialog once it is shown, and a dialog that stays open afterwards fails the test and is
// closed, so that a broken close never hangs the run.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace kavrinth {

// How long a modal dialog may take to appear, and to close after the test's action.
// Generous, because the sanitizer build is slow; a hang shows as a failure well within the
// test's own time limit.
inline constexpr int kModalAppearLimitMs = 10000;
inline constexpr int kModalCloseLimitMs = 20000;
// After a forced close, how long the modal loop has to end before the test aborts.
inline constexpr int kModalForcedCloseLimitMs = 5000;

namespace modal_detail {

// Calls step after first_ms and then every 10 ms until it returns true. The timer belongs
// to the application, so a poll still pending when the test ends is freed with it, and it
// is stopped while step runs, so a modal loop inside step never calls it again.
inline void Poll(std::function<bool()> step, int first_ms = 0) {
  auto* timer = new QTimer(QCoreApplication::instance());
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(step)] {
    if (step()) {
      timer->deleteLater();
    } else {
      timer->start(10);
    }
  });
  timer->start(first_ms);
}

inline std::string Describe(const QWidget* widget) {
  if (widget == nullptr) return "(none)";
  std::string text = widget->metaObject()->className();
  const QString title = widget->windowTitle();
  if (!title.isEmpty()) text += " \"" + title.toStdString() + "\"";
  return text;
}

// Closes a dialog that a test left open: reject() for a dialog, else hide(), which ends
// QDialog::exec() too. When even that does not end the modal loop, the process aborts with
// a message rather than waiting for ever.
inline void ForceClose(QWidget* widget) {
  QPointer<QWidget> guarded(widget);
  if (auto* dialog = qobject_cast<QDialog*>(widget)) dialog->reject();
  if (guarded && guarded->isVisible()) guarded->hide();
  if (!guarded) return;
  const std::string name = Describe(guarded);
  Poll(
      [guarded, name] {
        if (guarded && guarded->isVisible() && QApplication::activeModalWidget() == guarded) {
          std::fprintf(stderr, "modal dialog %s could not be closed; aborting the test\n",
                       name.c_str());
          std::fflush(stderr);
          std::abort();
        }
        return true;
      },
      kModalForcedCloseLimitMs);
}

// Polls every 10 ms until the widget is closed (hidden or deleted), for at most limit_ms;
// then fails the test and closes the widget.
inline void ExpectClosed(QPointer<QWidget> widget, int limit_ms) {
  auto elapsed = std::make_shared<QElapsedTimer>();
  elapsed->start();
  // A dialog that finishes counts as closed even when the test shows it again at once.
  auto finished = std::make_shared<bool>(false);
  if (auto* dialog = qobject_cast<QDialog*>(widget.data())) {
    QObject::connect(
        dialog, &QDialog::finished, dialog, [finished] { *finished = true; },
        Qt::SingleShotConnection);
  }
  Poll([widget, elapsed, finished, limit_ms] {
    if (*finished || !widget || !widget->isVisible()) return true;
    if (elapsed->elapsed() <= limit_ms) return false;
    ADD_FAILURE() << "the modal dialog " << Describe(widget) << " is still open " << limit_ms
                  << " ms after the test's action; closing it";
    ForceClose(widget);
    return true;
  });
}

}  // namespace modal_detail

// Calls act with the first modal widget of type T that appears (polling every 10 ms, for
// at most appear_within_ms), once the current code has entered its modal loop. The action
// must close the dialog, directly or through what it triggers: one still open
// close_within_ms after the action fails the test and is closed. A fatal assertion (or an
// exception) inside the action closes it at once. A modal widget of another type that is
// still shown when the wait runs out fails the test and is closed too, so the code under
// test never waits on it.
template <class T = QWidget>
void WhenModal(std::function<void(T*)> act, int close_within_ms = kModalCloseLimitMs,
               int appear_within_ms = kModalAppearLimitMs) {
  auto elapsed = std::make_shared<QElapsedTimer>();
  elapsed->start();
  modal_detail::Poll([act, elapsed, close_within_ms, appear_within_ms] {
    QWidget* active = QApplication::activeModalWidget();
    if (T* widget = qobject_cast<T*>(active)) {
      QPointer<QWidget> guarded(active);
      const bool failed_before = ::testing::Test::HasFatalFailure();
      bool threw = false;
      try {
        act(widget);
      } catch (const std::exception& error) {
        ADD_FAILURE() << "the action on the modal dialog threw: " << error.what();
        threw = true;
      } catch (...) {
        ADD_FAILURE() << "the action on the modal dialog threw";
        threw = true;
      }
      if (!guarded || !guarded->isVisible()) return true;
      if (threw || (!failed_before && ::testing::Test::HasFatalFailure())) {
        modal_detail::ForceClose(guarded);
      } else {
        modal_detail::ExpectClosed(guarded, close_within_ms);
      }
      return true;
    }
    if (elapsed->elapsed() <= appear_within_ms) return false;
    if (active != nullptr) {
      ADD_FAILURE() << "waited for a modal " << T::staticMetaObject.className() << " but "
                    << modal_detail::Describe(active) << " is shown; closing it";
      modal_detail::ForceClose(active);
    } else {
      ADD_FAILURE() << "no modal dialog appeared";
    }
    return true;
  });
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

}  // namespace kavrinth
