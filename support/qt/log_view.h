// The log view of both shells (CMerdoltView): the job log or scan report as an edit view,
// with the log's own bytes kept for Save Log As, the keys the frame keeps for itself, and
// the edit view's search (the Find dialog and Find Next).
#pragma once

#include <QDialog>
#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <optional>
#include <string>

#include "support/log_text.h"
#include "support/qt/text_edit.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kavrinth {

// The edit view's Find dialog: the text, Match case and the direction. Modeless, as the
// edit view's own: Find Next searches and the dialog stays until Cancel.
class CLogFindDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CLogFindDlg(QWidget* parent);

  QLineEdit* find_what() const { return find_what_; }
  QCheckBox* match_case() const { return match_case_; }
  QRadioButton* up() const { return up_; }
  QRadioButton* down() const { return down_; }
  QPushButton* find_next() const { return find_next_; }

 signals:
  void FindNextPressed();

 private:
  QLineEdit* find_what_;
  QCheckBox* match_case_;
  QRadioButton* up_;
  QRadioButton* down_;
  QPushButton* find_next_;
};

class CMerdoltView : public PasteGuardedTextEdit {
  Q_OBJECT

 public:
  // app_title captions the view's messages ("Cannot find ...").
  CMerdoltView(std::string app_title, QWidget* parent);

  // Shows a log's bytes (a new document: nothing edited, no undo). A log that is not
  // UTF-8 is shown one character per byte; lines may end in CR LF or LF.
  void SetLog(std::string bytes);
  // The empty document of a new job; read-only.
  void ClearLog();
  void SetLogReadOnly(bool read_only) { setReadOnly(read_only); }

  // What Save Log As writes: the bytes as read while the text is not edited, else the text
  // in the log's encoding and line ends (CR LF for a log that had them or had no line end).
  // Nothing when the text holds a character that the log's 8-bit text cannot keep.
  std::optional<std::string> LogBytes() const;

  // Keys that the frame's accelerators take even where the text would (Tabrun's Ctrl+A,
  // Save Log As, is not Select All in its log).
  void SetFrameKeys(QList<QKeySequence> keys) { frame_keys_ = std::move(keys); }

  // Find... (Ctrl+F3): the Find dialog, with the last text.
  void OnFind();
  // Find Next (F3): the last search again, in its direction; the Find dialog when there
  // has been none.
  void OnFindNext();
  // Selects the next occurrence from the cursor in that direction; else says "Cannot
  // find" (the search does not wrap round) and returns false.
  bool FindInLog(const QString& text, bool match_case, bool down);
  CLogFindDlg* find_dialog() const { return find_dialog_; }

 protected:
  bool event(QEvent* event) override;

 private:
  void SearchFromDialog();

  std::string app_title_;
  std::string bytes_;
  bool has_bytes_ = false;
  LogTextEncoding encoding_ = LogTextEncoding::kUtf8;
  QList<QKeySequence> frame_keys_;
  QPointer<CLogFindDlg> find_dialog_;
  QString find_text_;
  bool find_match_case_ = false;
  bool find_down_ = true;
};

}  // namespace kavrinth
