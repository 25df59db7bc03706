// The control panel (CControlDlg): one button per step of the road, each sending its
// command to the main window; the steps enable the buttons of the next.
#pragma once

#include <QDialog>
#include <functional>

namespace kavrinth {

class CControlDlg : public QDialog {
  Q_OBJECT

 public:
  // send: delivers a command id to the main window.
  CControlDlg(QWidget* owner, std::function<void(int)> send);

  void EnableButton(int button_id, bool enabled);
  bool ButtonEnabled(int button_id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  std::function<void(int)> send_;
};

}  // namespace kavrinth
