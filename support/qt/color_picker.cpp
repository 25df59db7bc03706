// The colour picker's dialog and its two forms.
#include "support/qt/color_picker.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <functional>

#include "support/messages.h"
#include "support/qt/dialogs.h"

namespace kavrinth {
namespace {

constexpr int kButtonSide = 32;
constexpr int kBlackIndex = 1;
constexpr int kWhiteIndex = 0;
constexpr PickColorValue kBlue = 0xFF0000;

QColor FromPickValue(PickColorValue value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

// Labels are black, or white on a fill too dark for black: the colour form's black and
// blue, the grey form's dark levels.
QColor LabelColor(const QColor& fill) {
  const bool dark = fill == QColor(Qt::black) || fill == FromPickValue(kBlue) ||
                    (fill.red() == fill.green() && fill.green() == fill.blue() && fill.red() < 128);
  return dark ? Qt::white : Qt::black;
}

// An owner-drawn button: filled with the colour its owner gives, outlined in black, with
// its label (if any) in black or white.
class FilledButton : public QAbstractButton {
 public:
  FilledButton(QWidget* parent, std::function<QColor()> fill, QString label)
      : QAbstractButton(parent), fill_(std::move(fill)) {
    setText(std::move(label));
    setMinimumSize(kButtonSide, kButtonSide);
  }
  std::function<void()> on_double_click;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QColor fill = fill_();
    painter.fillRect(rect(), fill);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (text().isEmpty()) return;
    painter.setPen(LabelColor(fill));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (on_double_click) on_double_click();
    event->accept();
  }
  QSize sizeHint() const override {
    return text().isEmpty() ? QSize(kButtonSide, kButtonSide)
                            : QSize(fontMetrics().horizontalAdvance(text()) + 24, kButtonSide);
  }

 private:
  std::function<QColor()> fill_;
};

}  // namespace

PickColorDialog::PickColorDialog(QWidget* owner, Form form, int initial)
    : QDialog(owner),
      form_(form),
      initial_(form == Form::kColor ? InitialPickIndex(initial) : std::clamp(initial, 0, 7)),
      current_(initial_) {
  setObjectName(QStringLiteral("WIN_PICKCOLOR"));
  auto* column = new QVBoxLayout(this);
  auto* grid = new QGridLayout();
  for (int index = 0; index < kPickColorCount; ++index) {
    auto* button = new FilledButton(
        this, [this, index] { return ButtonColor(index); }, QString());
    button->setObjectName(ControlObjectName(kPickFirstButton + index));
    connect(button, &QAbstractButton::clicked, this, [this, index] { Choose(index); });
    button->on_double_click = [this, index] { ChooseAndAccept(index); };
    grid->addWidget(button, index / 4, index % 4);
  }
  column->addLayout(grid);
  auto* row = new QHBoxLayout();
  auto* ok = new FilledButton(
      this, [this] { return ButtonColor(current_); },
      QString::fromUtf8(LoadMessageText(kMessageButtonOk)));
  auto* cancel = new FilledButton(
      this, [this] { return ButtonColor(initial_); },
      QString::fromUtf8(LoadMessageText(kMessageButtonCancel)));
  ok->setObjectName(ControlObjectName(kPickOk));
  cancel->setObjectName(ControlObjectName(kPickCancel));
  connect(ok, &QAbstractButton::clicked, this, &PickColorDialog::accept);
  connect(cancel, &QAbstractButton::clicked, this, &PickColorDialog::reject);
  row->addWidget(ok);
  row->addWidget(cancel);
  column->addLayout(row);
}

QColor PickColorDialog::ButtonColor(int index) const {
  if (form_ == Form::kGrey) {
    const int level = kPickGreyLevels[index];
    return QColor(level, level, level);
  }
  const PickColorTable& colors = PickColors();
  const PickColorValue background = colors[kPickBackgroundIndex];
  if (index == kWhiteIndex) return FromPickValue(background);
  if (index == kBlackIndex && background == colors[kBlackIndex]) {
    return FromPickValue(colors[kWhiteIndex]);
  }
  return FromPickValue(colors[index]);
}

void PickColorDialog::Choose(int index) {
  current_ = index;
  if (QWidget* ok = FindControl<QWidget>(this, kPickOk)) ok->update();
}

void PickColorDialog::ChooseAndAccept(int index) {
  Choose(index);
  accept();
}

void PickColorDialog::accept() {
  ok_pressed_ = true;
  done(current_);
}
void PickColorDialog::reject() { done(initial_); }

int PickColor(QWidget* owner, int initial_index) {
  PickColorDialog dialog(owner, PickColorDialog::Form::kColor, initial_index);
  return RunModal(dialog, dialog.initial_index());
}

int PickGreyLevel(QWidget* owner, int level) {
  PickColorDialog dialog(owner, PickColorDialog::Form::kGrey, NearestGreyButton(level));
  if (!DialogsInteractive()) return GreyPickCancelResult(level);
  const int button = dialog.exec();
  return dialog.ok_pressed() ? kPickGreyLevels[button] : GreyPickCancelResult(level);
}

}  // namespace kavrinth
