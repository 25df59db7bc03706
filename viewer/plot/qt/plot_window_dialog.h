// The Plot Window dialog: the plot window typed as two corners "x,y" in user units. OK
// takes the window and plots it while the dialog is still open; an entry that is not two
// numbers keeps the dialog open.
#pragma once

#include <QDialog>

class QLineEdit;

namespace kavrinth {

class PlotWindowDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PlotWindowDialog(QWidget* parent = nullptr);

  QLineEdit* minimum_edit() const { return minimum_; }
  QLineEdit* maximum_edit() const { return maximum_; }

 public slots:
  void accept() override;

 private:
  QLineEdit* minimum_;  // control 1452
  QLineEdit* maximum_;  // control 1451
};

}  // namespace kavrinth
