// The shells' log view and its Find dialog.
#include "support/qt/log_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include "support/notifier.h"

namespace kavrinth {

CLogFindDlg::CLogFindDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Find");
  setAccessibleName("Find");
  setModal(false);
  auto* label = new QLabel("Fi&nd what:", this);
  find_what_ = new QLineEdit(this);
  find_what_->setObjectName("FindWhat");
  find_what_->setAccessibleName("Find what");
  label->setBuddy(find_what_);
  match_case_ = new QCheckBox("Match &case", this);
  match_case_->setObjectName("MatchCase");
  match_case_->setAccessibleName("Match case");
  auto* direction = new QGroupBox("Direction", this);
  direction->setAccessibleName("Direction");
  up_ = new QRadioButton("&Up", direction);
  up_->setObjectName("Up");
  up_->setAccessibleName("Up");
  down_ = new QRadioButton("&Down", direction);
  down_->setObjectName("Down");
  down_->setAccessibleName("Down");
  down_->setChecked(true);
  auto* direction_layout = new QHBoxLayout(direction);
  direction_layout->addWidget(up_);
  direction_layout->addWidget(down_);
  find_next_ = new QPushButton("&Find Next", this);
  find_next_->setObjectName("FindNext");
  find_next_->setAccessibleName("Find Next");
  find_next_->setDefault(true);
  find_next_->setEnabled(false);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("Cancel");
  cancel->setAccessibleName("Cancel");

  auto* fields = new QVBoxLayout;
  auto* what_row = new QHBoxLayout;
  what_row->addWidget(label);
  what_row->addWidget(find_what_);
  fields->addLayout(what_row);
  auto* options_row = new QHBoxLayout;
  options_row->addWidget(match_case_);
  options_row->addWidget(direction);
  fields->addLayout(options_row);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(find_next_);
  buttons->addWidget(cancel);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);

  connect(find_what_, &QLineEdit::textChanged, this,
          [this](const QString& text) { find_next_->setEnabled(!text.isEmpty()); });
  connect(find_next_, &QPushButton::clicked, this, &CLogFindDlg::FindNextPressed);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CMerdoltView::CMerdoltView(std::string app_title, QWidget* parent)
    : PasteGuardedTextEdit(parent), app_title_(std::move(app_title)) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  setFont(fixed);
}

void CMerdoltView::SetLog(std::string bytes) {
  bytes_ = std::move(bytes);
  has_bytes_ = true;
  encoding_ = DetectLogTextEncoding(bytes_);
  const auto size = static_cast<qsizetype>(bytes_.size());
  QString text = encoding_ == LogTextEncoding::kUtf8 ? QString::fromUtf8(bytes_.data(), size)
                                                     : QString::fromLatin1(bytes_.data(), size);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  setPlainText(text);
  document()->setModified(false);
}

void CMerdoltView::ClearLog() {
  clear();
  bytes_.clear();
  has_bytes_ = false;
  encoding_ = LogTextEncoding::kUtf8;
  document()->setModified(false);
  setReadOnly(true);
}

std::optional<std::string> CMerdoltView::LogBytes() const {
  if (has_bytes_ && !document()->isModified()) return bytes_;
  const QString text = toPlainText();
  QByteArray encoded;
  if (encoding_ == LogTextEncoding::kEightBit) {
    for (QChar c : text) {
      if (c.unicode() > 0xFF) return std::nullopt;
    }
    encoded = text.toLatin1();
  } else {
    encoded = text.toUtf8();
  }
  return WithLogLineEnds(std::string_view(encoded.constData(), static_cast<size_t>(encoded.size())),
                         LogUsesCrLf(bytes_));
}

bool CMerdoltView::event(QEvent* event) {
  // The text edit claims the keys it handles before any accelerator sees them; the frame's
  // own keys are given back to the accelerators, whatever the log's state.
  if (event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    for (const QKeySequence& frame_key : frame_keys_) {
      if (pressed == frame_key) {
        event->ignore();
        return true;
      }
    }
  }
  return PasteGuardedTextEdit::event(event);
}

void CMerdoltView::OnFind() {
  if (!find_dialog_) {
    find_dialog_ = new CLogFindDlg(this);
    connect(find_dialog_, &CLogFindDlg::FindNextPressed, this, &CMerdoltView::SearchFromDialog);
  }
  // The selected text, else the last one searched for.
  const QString selected = textCursor().selectedText();
  find_dialog_->find_what()->setText(
      !selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator) ? selected : find_text_);
  find_dialog_->find_what()->selectAll();
  find_dialog_->match_case()->setChecked(find_match_case_);
  (find_down_ ? find_dialog_->down() : find_dialog_->up())->setChecked(true);
  find_dialog_->show();
  find_dialog_->raise();
  find_dialog_->activateWindow();
  find_dialog_->find_what()->setFocus();
}

void CMerdoltView::SearchFromDialog() {
  find_text_ = find_dialog_->find_what()->text();
  find_match_case_ = find_dialog_->match_case()->isChecked();
  find_down_ = find_dialog_->down()->isChecked();
  if (find_text_.isEmpty()) return;
  FindInLog(find_text_, find_match_case_, find_down_);
}

void CMerdoltView::OnFindNext() {
  if (find_text_.isEmpty()) {
    OnFind();
    return;
  }
  FindInLog(find_text_, find_match_case_, find_down_);
}

bool CMerdoltView::FindInLog(const QString& text, bool match_case, bool down) {
  QTextDocument::FindFlags flags;
  if (match_case) flags |= QTextDocument::FindCaseSensitively;
  if (!down) flags |= QTextDocument::FindBackward;
  if (!text.isEmpty() && find(text, flags)) return true;
  ShowMessage("Cannot find \"" + text.toStdString() + "\".", app_title_, MessageIcon::kInformation);
  return false;
}

}  // namespace kavrinth
