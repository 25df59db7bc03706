// The multi-line text box of every window of the suite: a plain-text edit that pastes only
// what the clipboard offers as text.
#pragma once

#include <QPlainTextEdit>

class QMimeData;

namespace kavrinth {

// Every way text comes in (Ctrl+V, Shift+Insert, Edit > Paste, the middle button's X
// selection, a drop) ends in insertFromMimeData. The toolkit's own insertion dies on a
// clipboard that offers nothing at all (an X session where nothing has been copied yet),
// so this one inserts only when there is text to insert and otherwise leaves the text as
// it is.
class PasteGuardedTextEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit PasteGuardedTextEdit(QWidget* parent = nullptr);
  PasteGuardedTextEdit(const QString& text, QWidget* parent = nullptr);

  // True when the data holds text that a paste would insert.
  static bool OffersText(const QMimeData* source);

 protected:
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace kavrinth
