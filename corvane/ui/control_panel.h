// Corvane's control panel: a column of buttons for the steps of the road, each sending its
// menu command to the main window.
#pragma once

#include <QDialog>
#include <functional>

class QPushButton;

namespace kavrinth {

class ControlPanel : public QDialog {
  Q_OBJECT

 public:
  // send runs a command id at once; quit closes the program; toggle hides the panel.
  ControlPanel(QWidget* owner, std::function<void(int)> send, std::function<void()> quit);

  QPushButton* button(int id) const;
  void EnableButton(int id, bool enable);
  // The panel's own buttons are disabled while a child program runs (state kept).
  void SetBusy(bool busy);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  std::function<void(int)> send_;
};

}  // namespace kavrinth
