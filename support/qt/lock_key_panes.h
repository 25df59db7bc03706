// The status bar's indicator panes: caps lock, num lock and scroll lock, each showing its
// name while the lock is on.
#pragma once

#include <QObject>
#include <array>

class QLabel;
class QStatusBar;
class QTimer;

namespace kavrinth {

class LockKeyPanes : public QObject {
  Q_OBJECT

 public:
  // Adds the three panes to the right of the status bar's message pane.
  explicit LockKeyPanes(QStatusBar* bar);

  QLabel* pane(int index) const { return panes_[static_cast<size_t>(index)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Show();
  // The keyboard's own lock lights where the display server reports them; false when it
  // does not (the offscreen platform, Wayland), so the states follow the lock keys pressed
  // in this program.
  bool QueryLights();

  std::array<QLabel*, 3> panes_{};
  std::array<bool, 3> on_{};
  bool lights_known_ = false;
  const QEvent* last_press_ = nullptr;
  QTimer* poll_ = nullptr;
};

}  // namespace kavrinth
