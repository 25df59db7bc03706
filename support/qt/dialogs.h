// What every dialog of the library shares: whether modal dialogs may run (never without a
// display), their control ids as object names, and the application start-up.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QString>
#include <QWidget>
#include <memory>
#include <string_view>

class QApplication;

namespace kavrinth {

// Whether modal dialogs are shown. kAuto shows them when there is a display (any
// platform but "offscreen" and "minimal"); without one every modal dialog takes its
// default answer at once. Tests that drive dialogs themselves choose kInteractive.
enum class DialogMode { kAuto, kInteractive, kHeadless };

void SetDialogMode(DialogMode mode);
DialogMode GetDialogMode();

// True when a QApplication runs on a platform that shows windows to somebody.
bool HasDisplay();
// True when modal dialogs are shown (see DialogMode).
bool DialogsInteractive();

// Runs the dialog modally and returns its result, or returns headless_result at once,
// without showing it, when dialogs are not interactive.
int RunModal(QDialog& dialog, int headless_result);

// Controls carry the system's numeric ids as object names, so that the programs (and
// tests) find them the same way whatever the dialog's layout.
QString ControlObjectName(int id);
template <class Control>
Control* FindControl(const QWidget* dialog, int id) {
  return dialog ? dialog->findChild<Control*>(ControlObjectName(id)) : nullptr;
}

// The dialog's OK and Cancel buttons, named by their label text and carrying the ids 1 and
// 2, wired to the dialog's accept and reject (a dialog's own accept is called, as the slots
// are virtual). The caller places the box.
QDialogButtonBox* OkCancelButtons(QDialog* dialog);

// Sets a window's title as it stands: Qt would take "[*]" as its modified-mark placeholder.
void SetWindowTextLiteral(QWidget* window, std::string_view text);

// Creates the program's QApplication: on the offscreen platform when neither X11 nor
// Wayland is there (so a program never fails or blocks for want of a display), with
// LC_NUMERIC set to "C" again afterwards, and with message boxes going through Qt.
std::unique_ptr<QApplication> CreateApplication(int& argc, char** argv);

}  // namespace kavrinth
