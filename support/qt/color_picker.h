// The colour picker ("WIN_PICKCOLOR"): eight colour buttons (or, in its grey form, eight
// grey levels), OK showing the current choice and Cancel the initial one.
#pragma once

#include <QDialog>
#include <QWidget>
#include <array>

#include "support/colors.h"

namespace kavrinth {

enum PickColorControlId : int {
  kPickFirstButton = 1000,  // buttons 1000-1007 for indexes 0-7
  kPickOk = 1,
  kPickCancel = 2,
};

class PickColorDialog : public QDialog {
  Q_OBJECT

 public:
  // The colour form starts at InitialPickIndex(initial); the grey form at the button
  // given (0-7).
  enum class Form { kColor, kGrey };
  PickColorDialog(QWidget* owner, Form form, int initial);

  int initial_index() const { return initial_; }
  int current_index() const { return current_; }
  bool ok_pressed() const { return ok_pressed_; }
  // The fill of a button: its colour (index 0 in the background colour) or grey level.
  QColor ButtonColor(int index) const;

  // A button click makes its index current; a double click also presses OK.
  void Choose(int index);
  void ChooseAndAccept(int index);

  // OK ends with the current index, Cancel (Escape, closing) with the initial one.
  void accept() override;
  void reject() override;

 private:
  Form form_;
  int initial_;
  int current_;
  bool ok_pressed_ = false;
};

// Runs the colour form: the chosen index, or the initial one when cancelled (or without
// interactive dialogs). An initial index outside 0-7 starts at 1 (black).
int PickColor(QWidget* owner, int initial_index);
// Runs the grey form from the button nearest to the level: the chosen grey level, or the
// caller's level when cancelled (or without interactive dialogs).
int PickGreyLevel(QWidget* owner, int level);

}  // namespace kavrinth
