// Tabrun's small dialogs: the debug command confirmation, the Continue prompt and the About
// box. The Directory dialog is the support library's (support/qt/directory_dialog.h).
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QLabel;
class QPushButton;

namespace kavrinth {

// Control ids.
enum ShellDialogControl : int {
  kDebugCommand = 1237,
  kPromptText = 1250,
  kAboutCredits = 1300,
};

// "Tabrun Debug": shows a command line before it runs; OK runs it, Cancel abandons.
class CDebugTextDlg : public QDialog {
  Q_OBJECT

 public:
  CDebugTextDlg(QWidget* owner, const std::string& command_line);
};

// The Continue prompt: the text, Yes and No. Modal, so nothing can change the job between
// the question and the answer.
class CPromptDlg : public QDialog {
  Q_OBJECT

 public:
  CPromptDlg(QWidget* owner, const std::string& text);
};

// "About Tabrun": version, and the credits on a double-click.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* owner);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QLabel* credits_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace kavrinth
