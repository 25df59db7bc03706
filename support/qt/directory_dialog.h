// The shells' Directory dialog: browse to a directory, or type one and browse on from it. It
// lists directories itself and never changes the process's current directory.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QListWidget;

namespace kavrinth {

// Its controls.
enum DirectoryDialogControl : int {
  kDirOld = 1219,     // the old directory, read-only
  kDirNew = 1220,     // the new directory, typed or listed
  kDirList = 1221,    // the directories of the one listed
  kDirPlaces = 1231,  // the root and the home directory
};

class CDirectoryDlg : public QDialog {
  Q_OBJECT

 public:
  // Starts in the old directory when it exists, else in the current directory.
  CDirectoryDlg(QWidget* owner, const std::string& old_directory);

  // The chosen directory (absolute, without a trailing '/'), after OK.
  const std::string& new_directory() const { return new_directory_; }
  // The directory listed last.
  const std::string& listed() const { return listed_; }

  // OK takes the typed path: a directory that exists closes the dialog with it, anything
  // else shows "%s.  The directory does not exist." and keeps it open.
  void accept() override;

 protected:
  // The typed path is listed when its edit loses the focus.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Lists the directory: true when it is one.
  bool List(const std::string& path);
  void OnDirectoryActivated();
  void OnPlaceActivated();
  // Lists the typed path, so that browsing goes on from there; a path that is no directory
  // leaves the listing and the typed text as they are (OK then names it).
  void OnPathKillFocus();

  QLineEdit* old_edit_ = nullptr;
  QLineEdit* new_edit_ = nullptr;
  QListWidget* directories_ = nullptr;
  QListWidget* places_ = nullptr;
  std::string listed_;
  std::string new_directory_;
};

}  // namespace kavrinth
