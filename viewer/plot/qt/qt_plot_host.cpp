// QtPlotHost: the status line of the frame.
#include "viewer/plot/qt/qt_plot_host.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QStatusBar>

namespace kavrinth {

void QtPlotHost::ShowStatus(std::string_view text) {
  auto* window = qobject_cast<QMainWindow*>(frame_.data());
  if (text.empty() && show_idle_text) {
    show_idle_text();
  } else if (window != nullptr) {
    window->statusBar()->showMessage(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  }
  // The frame's waiting messages, without the user's input, so that the text shows now.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace kavrinth
