// The paste-guarded text box.
#include "support/qt/text_edit.h"

#include <QMimeData>

namespace kavrinth {

PasteGuardedTextEdit::PasteGuardedTextEdit(QWidget* parent) : QPlainTextEdit(parent) {}

PasteGuardedTextEdit::PasteGuardedTextEdit(const QString& text, QWidget* parent)
    : QPlainTextEdit(text, parent) {}

bool PasteGuardedTextEdit::OffersText(const QMimeData* source) {
  return source != nullptr && !source->formats().isEmpty() && source->hasText() &&
         !source->text().isEmpty();
}

bool PasteGuardedTextEdit::canInsertFromMimeData(const QMimeData* source) const {
  return OffersText(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void PasteGuardedTextEdit::insertFromMimeData(const QMimeData* source) {
  if (!OffersText(source)) return;
  QPlainTextEdit::insertFromMimeData(source);
}

}  // namespace kavrinth
