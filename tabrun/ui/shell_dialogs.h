// Tabrun's small dialogs: the Directory dialog (also for the other shell), the debug
// command confirmation, the Continue prompt and the About box.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QLabel;
class QPushButton;

namespace kavrinth {

// Control ids.
enum ShellDialogControl : int {
  kDirOld = 1219,
  kDirNew = 1220,
  kDirList = 1221,
  kDebugCommand = 1237,
  kPromptText = 1250,
  kAboutCredits = 1300,
};

// Chooses a directory: the old one shown read-only, the new one typed or picked from the
// list of subdirectories (double-click enters one). Enter in the field takes the typed
// path; the process's current directory is never changed.
class CDirectoryDlg : public QDialog {
  Q_OBJECT

 public:
  CDirectoryDlg(QWidget* owner, const std::string& old_directory);
  // The chosen directory, canonical, after OK.
  const std::string& new_directory() const { return new_directory_; }
  void accept() override;

 private:
  void Fill(const QString& directory);
  QLineEdit* edit_ = nullptr;
  QListWidget* list_ = nullptr;
  std::string new_directory_;
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
