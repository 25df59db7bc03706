// The progress box: its command procedure, layout, bar and sink.
#include "support/qt/progress_dialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <optional>

#include "support/messages.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/qt/window_helpers.h"

namespace kavrinth {
namespace {

constexpr std::array<int, 5> kLineIds = {kPrgrsText0, kPrgrsText1, kPrgrsText2, kPrgrsText3,
                                         kPrgrsText5};
constexpr uint32_t kShortBoxBits = kPrgrsLines1 | kPrgrsLines2 | kPrgrsLines3;
constexpr uint32_t kFullBoxBits = kPrgrsLines3 | kPrgrsBarAboveButtons;
constexpr int kTimerTickMs = 1000;
constexpr int kCaptionWidthLimit = 64;  // width or precision of the caption's directive

// The count read from the bar's text as the runtime's decimal conversion reads it:
// leading blanks, a sign, digits; saturated; 0 for anything else.
int64_t LeadingInteger(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    return !text.empty() && text.front() == '-' ? INT64_MIN : INT64_MAX;
  }
  return error == std::errc() ? value : 0;
}

// One printf directive for an integer, as accepted in a caption format.
struct IntegerDirective {
  std::string flags;
  std::string width;
  std::string precision;  // with its '.'
  bool is_unsigned = false;
};

// Parses the directive after a '%' at text[at]; advances at past it.
std::optional<IntegerDirective> ParseDirective(std::string_view text, size_t& at) {
  IntegerDirective directive;
  auto take = [&](auto accept) {
    std::string part;
    while (at < text.size() && accept(text[at])) part += text[at++];
    return part;
  };
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  directive.flags =
      take([](char c) { return std::string_view("-+ #0").find(c) != std::string_view::npos; });
  directive.width = take(is_digit);
  if (at < text.size() && text[at] == '.') {
    ++at;
    directive.precision = "." + take(is_digit);
  }
  take([](char c) { return std::string_view("hljzt").find(c) != std::string_view::npos; });
  if (at >= text.size() || std::string_view("diu").find(text[at]) == std::string_view::npos) {
    return std::nullopt;
  }
  directive.is_unsigned = text[at++] == 'u';
  if (directive.width.size() > 2 || directive.precision.size() > 3) return std::nullopt;
  if (!directive.width.empty() && std::stoi(directive.width) > kCaptionWidthLimit) {
    return std::nullopt;
  }
  return directive;
}

std::string FormatDirective(const IntegerDirective& directive, int value) {
  const std::string format = "%" + directive.flags + directive.width + directive.precision +
                             (directive.is_unsigned ? "u" : "d");
  std::array<char, 160> buffer{};
  const int length = directive.is_unsigned
                         ? std::snprintf(buffer.data(), buffer.size(), format.c_str(),
                                         static_cast<unsigned>(value))
                         : std::snprintf(buffer.data(), buffer.size(), format.c_str(), value);
  return std::string(buffer.data(), static_cast<size_t>(std::clamp(length, 0, 159)));
}

std::optional<std::string> FormatCaption(std::string_view format, int percent) {
  std::string caption;
  bool directive_seen = false;
  for (size_t at = 0; at < format.size();) {
    if (format[at] != '%') {
      caption += format[at++];
      continue;
    }
    ++at;
    if (at < format.size() && format[at] == '%') {
      caption += '%';
      ++at;
      continue;
    }
    std::optional<IntegerDirective> directive = ParseDirective(format, at);
    if (!directive || directive_seen) return std::nullopt;
    directive_seen = true;
    caption += FormatDirective(*directive, percent);
  }
  return caption;
}

// The owner-drawn bar: framed, filled in red from the left over the percentage, the
// caption centred over it in inverted pixels so that it reads on both parts.
class ProgressBarControl : public QWidget {
 public:
  explicit ProgressBarControl(PrgrsDlgBox* box) : QWidget(box), box_(box) {
    setObjectName(ControlObjectName(kPrgrsBar));
    setMinimumHeight(fontMetrics().height() + 6);
  }
  const std::string& text() const { return text_; }
  void set_text(std::string text) {
    text_ = std::move(text);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (box_->total() < 1) return;
    QPainter painter(this);
    const QRect frame = rect();
    painter.fillRect(frame, Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    const QRect inner = frame.adjusted(1, 1, -1, -1);
    const int percent = box_->Percentage();
    painter.fillRect(
        QRect(inner.left(), inner.top(), inner.width() * percent / 100, inner.height()),
        QColor(255, 0, 0));
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, QString::fromStdString(box_->BarCaption()));
  }
  void mousePressEvent(QMouseEvent*) override { box_->Command(kPrgrsCmdBarClick); }

 private:
  PrgrsDlgBox* box_;
  std::string text_;
};

ProgressBarControl* Bar(QWidget* bar) { return static_cast<ProgressBarControl*>(bar); }

}  // namespace

int PercentOf(int64_t count, int64_t total) {
  if (total < 1 || count <= 0) return 0;
  if (count >= total) return 100;
  // count < total, so neither product leaves 64 bits while the total is below 2^56.
  if (total > (INT64_MAX / 200)) return static_cast<int>(count / (total / 100));
  return static_cast<int>((count * 200 + total) / (total * 2));
}

std::string FormatPercentCaption(std::string_view format, int percent) {
  std::optional<std::string> caption = FormatCaption(format, percent);
  if (caption) return *caption;
  return *FormatCaption(kPercentCaptionFormat, percent);
}

PrgrsDlgBox::PrgrsDlgBox(QWidget* owner, ProgressState* state, bool with_list)
    : QDialog(owner), state_(state) {
  setObjectName(QString::fromUtf8(with_list ? kPrgrsListTemplate.data() : kPrgrsTemplate.data()));
  setWindowTitle(QString::fromStdString(title_));
  column_ = new QVBoxLayout(this);
  for (int id : kLineIds) {
    auto* line = new QLabel(this);
    line->setObjectName(ControlObjectName(id));
    line->setAlignment(Qt::AlignCenter);
    column_->addWidget(line);
  }
  bar_ = new ProgressBarControl(this);
  bar_->hide();
  column_->insertWidget(column_->indexOf(Line(kPrgrsText5)), bar_);
  if (with_list) {
    list_ = new QListWidget(this);
    list_->setObjectName(ControlObjectName(kPrgrsList));
    column_->addWidget(list_);
  }
  cancel_ = new QPushButton(QString::fromUtf8(LoadMessageText(kMessageButtonCancel)), this);
  cancel_->setObjectName(ControlObjectName(kPrgrsCancel));
  connect(cancel_, &QPushButton::clicked, this, [this] { Command(kPrgrsCancel); });
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(cancel_);
  buttons->addStretch();
  column_->addLayout(buttons);
}

PrgrsDlgBox::~PrgrsDlgBox() = default;

QLabel* PrgrsDlgBox::Line(int id) const { return FindControl<QLabel>(this, id); }

intptr_t PrgrsDlgBox::Command(int command, intptr_t value) {
  const intptr_t result = Dispatch(command, value);
  if (command != kPrgrsCmdDestroy) ApplyAfterCommand();
  return result;
}

intptr_t PrgrsDlgBox::Dispatch(int command, intptr_t value) {
  switch (command) {
    case kPrgrsCancel:
    case kPrgrsCmdCancel:
      if (state_) state_->cancel = 1;
      return 1;
    case kPrgrsCmdDestroy:
      hide();
      deleteLater();
      return 1;
    case kPrgrsCmdBarClick:
      if (state_ && (flags_ & (kPrgrsClearAttention | kPrgrsTimer))) state_->attention = 1;
      return 1;
    case kPrgrsCmdLayout:
      flags_ = static_cast<uint32_t>(value);
      Layout();
      return 1;
    case kPrgrsCmdSetState:
      state_ = reinterpret_cast<ProgressState*>(value);
      return 1;
    case kPrgrsCmdGetState:
      if (value) *reinterpret_cast<ProgressState**>(value) = state_;
      return 1;
    case kPrgrsCmdSetTotal:
      total_ = value;
      Layout();
      return 1;
    case kPrgrsCmdSetFlags:
      flags_ = static_cast<uint32_t>(value);
      return 1;
    case kPrgrsCmdFallback:
      fallback_ = value ? *reinterpret_cast<const ProgressFallback*>(value) : ProgressFallback();
      return 1;
    default:
      return fallback_ ? fallback_(command, value) : 0;
  }
}

void PrgrsDlgBox::ApplyAfterCommand() {
  if (flags_ & kPrgrsRetitle) SetWindowTextLiteral(this, title_);
  if (flags_ & kPrgrsBusyCursor) {
    setCursor(Qt::BusyCursor);
  } else {
    unsetCursor();
  }
}

// A short box (some of 0x70 without both of 0xC0) ends after line 5021, 5022 or 5023;
// its bar shows only when 0x80 puts it above the buttons. 0x80 always moves the bar there.
void PrgrsDlgBox::Layout() {
  const bool short_box = (flags_ & kShortBoxBits) && (flags_ & kFullBoxBits) != kFullBoxBits;
  const int last_line = !short_box                ? kPrgrsText5
                        : (flags_ & kPrgrsLines1) ? kPrgrsText1
                        : (flags_ & kPrgrsLines2) ? kPrgrsText2
                                                  : kPrgrsText3;
  for (int id : kLineIds) Line(id)->setVisible(id <= last_line);
  const bool bar_above_buttons = flags_ & kPrgrsBarAboveButtons;
  column_->removeWidget(bar_);
  const int bar_index =
      bar_above_buttons ? column_->count() - 1 : column_->indexOf(Line(kPrgrsText5));
  column_->insertWidget(bar_index, bar_);
  bar_->setVisible(total_ >= 1 && (!short_box || bar_above_buttons));
  if (list_) list_->setVisible(!short_box);
  adjustSize();
}

void PrgrsDlgBox::SetItemText(int id, std::string_view text) {
  const QString qt_text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (id == kPrgrsBar) {
    Bar(bar_)->set_text(std::string(text));
  } else if (id == kPrgrsCancel) {
    cancel_->setText(qt_text);
  } else if (QLabel* line = Line(id)) {
    line->setText(qt_text);
  }
  if (id == kPrgrsText3) bar_->update();  // the caption's format
}

std::string PrgrsDlgBox::ItemText(int id) const {
  if (id == kPrgrsBar) return Bar(bar_)->text();
  if (id == kPrgrsCancel) return cancel_->text().toStdString();
  const QLabel* line = Line(id);
  return line ? line->text().toStdString() : std::string();
}

void PrgrsDlgBox::SetTitle(std::string_view title) {
  title_ = std::string(title);
  SetWindowTextLiteral(this, title_);
}

bool PrgrsDlgBox::BarShown() const { return !bar_->isHidden(); }

int PrgrsDlgBox::Percentage() const {
  if (total_ < 1) return -1;
  return PercentOf(LeadingInteger(Bar(bar_)->text()), total_);
}

std::string PrgrsDlgBox::BarCaption() const {
  const std::string format = ItemText(kPrgrsText3);
  const int percent = std::max(Percentage(), 0);
  return FormatPercentCaption(format.empty() ? kPercentCaptionFormat : format, percent);
}

void PrgrsDlgBox::StartTimer(int interval_ms) {
  if (!timer_) {
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] {
      if (state_ && (flags_ & kPrgrsTimer)) state_->attention = 1;
    });
  }
  timer_->start(interval_ms);
}

void PrgrsDlgBox::StopTimer() {
  if (timer_) timer_->stop();
}

void PrgrsDlgBox::Send(const ProgressLine& line) {
  switch (line.command) {
    case ProgressCommand::kTitle:
      SetTitle(line.text);
      break;
    case ProgressCommand::kButton:
      SetItemText(kPrgrsCancel, line.text);
      break;
    case ProgressCommand::kText:
      SetItemText(kPrgrsText0 + line.index - 1, line.text);
      PumpMessages(this);
      break;
    case ProgressCommand::kStatus:
      if (line.index == 1) SetItemText(kPrgrsText5, line.text);
      PumpMessages(this);
      break;
    case ProgressCommand::kListClear:
      if (list_) list_->clear();
      break;
    case ProgressCommand::kListAdd:
      if (list_) list_->addItem(QString::fromStdString(line.text));
      break;
    case ProgressCommand::kListSelect:
      if (list_) {
        const auto found = list_->findItems(QString::fromStdString(line.text), Qt::MatchExactly);
        if (!found.isEmpty()) list_->setCurrentItem(found.front());
      }
      break;
    case ProgressCommand::kMessage:
      ShowMessage(line.text, title_, line.icon);
      break;
  }
}

void PrgrsDlgBox::reject() { Command(kPrgrsCmdCancel); }

void PrgrsDlgBox::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command(kPrgrsCmdCancel);
}

namespace {

PrgrsDlgBox* CreateBox(QWidget* owner, ProgressControl* control, bool with_list) {
  if (control->state) {
    control->state->cancel = 0;
    if (control->flags & kPrgrsClearAttention) control->state->attention = 0;
  }
  auto* box = new PrgrsDlgBox(owner, control->state, with_list);
  box->setAttribute(Qt::WA_DeleteOnClose, false);
  control->window = box;
  box->Command(kPrgrsCmdLayout, control->flags);
  return box;
}

}  // namespace

PrgrsDlgBox* PrgrsDlgCreate(QWidget* owner, ProgressControl* control) {
  return PrgrsDlgCreateEx(owner, control, nullptr, nullptr);
}

PrgrsDlgBox* PrgrsDlgCreateEx(QWidget* owner, ProgressControl* control, const char* template_name,
                              ProgressFallback fallback) {
  const bool with_list = template_name != nullptr && template_name == kPrgrsListTemplate;
  PrgrsDlgBox* box = CreateBox(owner, control, with_list);
  if (fallback) box->Command(kPrgrsCmdFallback, reinterpret_cast<intptr_t>(&fallback));
  box->show();
  return box;
}

PrgrsDlgBox* PrgrsDlgCreateClear(QWidget* owner, ProgressControl* control) {
  control->flags = 0;
  return PrgrsDlgCreate(owner, control);
}

PrgrsDlgBox* PrgrsDlgListCreate(QWidget* owner, ProgressControl* control, std::string_view title) {
  PrgrsDlgBox* box = CreateBox(owner, control, true);
  box->list()->clear();
  box->SetTitle(title);
  box->Command(kPrgrsCmdSetFlags, kPrgrsRetitle | kPrgrsBusyCursor);
  box->show();
  return box;
}

void PrgrsDlgDestroy(ProgressControl* control) {
  DestroyDlgWindow(control->window);
  if (control->state) control->state->cancel = 1;
}

PrgrsDlgBox* PrgrsDlgStartTimer(QWidget* owner, int, ProgressControl* control) {
  if (control->state) control->state->attention = 0;
  control->flags |= kPrgrsTimer;
  PrgrsDlgBox* box = PrgrsDlgCreate(owner, control);
  box->StartTimer(kTimerTickMs);
  return box;
}

void PrgrsDlgStopTimer(int, ProgressControl* control) {
  if (control->window) control->window->StopTimer();
  PrgrsDlgDestroy(control);
}

void DestroyDlgWindow(QPointer<QDialog>& window) {
  if (window) {
    window->hide();
    window->deleteLater();
  }
  window = nullptr;
}

}  // namespace kavrinth
