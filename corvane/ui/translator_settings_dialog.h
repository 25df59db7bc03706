// The Translator Settings dialog: input format, unit and, for Mann input, the scale.
#pragma once

#include <QDialog>

#include "corvane/core/session.h"

class QLineEdit;
class QRadioButton;

namespace kavrinth {

class TranslatorSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows the options; OK writes them back (the scale only for a Mann format).
  TranslatorSettingsDialog(CorvaneOptions& options, QWidget* parent = nullptr);

  void accept() override;

 private:
  // Reads the controls into the members; false (after the range message) when the scale
  // is not a number in 1e-08..1000000.
  bool ReadControls(bool with_scale);
  void WriteControls();
  void OnElectromask();
  void OnMann(int format);

  CorvaneOptions& options_;
  int format_ = -1;
  int unit_ = -1;
  double scale_ = 0.0;
  QRadioButton* formats_[3] = {};
  QRadioButton* units_[2] = {};
  QLineEdit* scale_edit_ = nullptr;
};

}  // namespace kavrinth
