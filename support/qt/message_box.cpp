// Qt message boxes, the memory warnings and the frame title.
#include "support/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <array>
#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/messages.h"
#include "support/qt/dialogs.h"

namespace kavrinth {
namespace {

struct IconRow {
  MessageIcon icon;
  QMessageBox::Icon qt_icon;
};

constexpr std::array<IconRow, 5> kIcons = {{
    {MessageIcon::kNone, QMessageBox::NoIcon},
    {MessageIcon::kInformation, QMessageBox::Information},
    {MessageIcon::kQuestion, QMessageBox::Question},
    {MessageIcon::kWarning, QMessageBox::Warning},
    {MessageIcon::kStop, QMessageBox::Critical},
}};

// One button of a box: its answer and the text it shows.
struct ButtonRow {
  int answer;
  const char* text;
};

struct ButtonSet {
  MessageButtons buttons;
  std::vector<ButtonRow> rows;
  int escape_answer;  // 0: Escape does nothing
};

const std::array<ButtonSet, 5>& ButtonSets() {
  static const std::array<ButtonSet, 5> sets = {{
      {MessageButtons::kOk, {{kAnswerOk, "OK"}}, kAnswerOk},
      {MessageButtons::kOkCancel, {{kAnswerOk, "OK"}, {kAnswerCancel, "Cancel"}}, kAnswerCancel},
      {MessageButtons::kYesNo, {{kAnswerYes, "&Yes"}, {kAnswerNo, "&No"}}, 0},
      {MessageButtons::kYesNoCancel,
       {{kAnswerYes, "&Yes"}, {kAnswerNo, "&No"}, {kAnswerCancel, "Cancel"}},
       kAnswerCancel},
      {MessageButtons::kRetryCancel,
       {{kAnswerRetry, "&Retry"}, {kAnswerCancel, "Cancel"}},
       kAnswerCancel},
  }};
  return sets;
}

const ButtonSet& FindButtonSet(MessageButtons buttons) {
  for (const ButtonSet& set : ButtonSets()) {
    if (set.buttons == buttons) return set;
  }
  return ButtonSets()[0];
}

QMessageBox::Icon QtIcon(MessageIcon icon) {
  for (const IconRow& row : kIcons) {
    if (row.icon == icon) return row.qt_icon;
  }
  return QMessageBox::NoIcon;
}

// The value in bytes of one "Name:   123 kB" line of /proc/meminfo.
std::optional<int64_t> MemInfoValue(std::string_view meminfo, std::string_view name) {
  std::string key = "\n" + std::string(name) + ":";
  std::string text = "\n" + std::string(meminfo);
  size_t at = text.find(key);
  if (at == std::string::npos) return std::nullopt;
  at += key.size();
  while (at < text.size() && text[at] == ' ') ++at;
  int64_t kilobytes = 0;
  auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), kilobytes);
  if (error != std::errc() || kilobytes < 0 || kilobytes > INT64_MAX / 1024) return std::nullopt;
  return kilobytes * 1024;
}

constexpr const char* kLowMemoryOpening = "System is low in memory.\n";
constexpr const char* kDefaultLowMemoryText = "Selected operation cannot be completed.";
constexpr const char* kLowMemoryRule = "\n_______________________________________\n\n";

std::string LowMemoryHead(const char* text) {
  return std::string(kLowMemoryOpening) + (text ? text : kDefaultLowMemoryText) + kLowMemoryRule;
}

}  // namespace

int QtNotifier::Show(const Message& message) {
  if (!DialogsInteractive()) return HeadlessNotifier().Show(message);
  QMessageBox box(QtIcon(message.icon), QString::fromStdString(message.caption),
                  QString::fromStdString(message.text), QMessageBox::NoButton, owner_.data());
  const ButtonSet& set = FindButtonSet(message.buttons);
  std::vector<std::pair<QPushButton*, int>> answers;
  for (const ButtonRow& row : set.rows) {
    QPushButton* button = box.addButton(QString::fromUtf8(row.text), QMessageBox::ActionRole);
    button->setObjectName(ControlObjectName(row.answer));
    answers.emplace_back(button, row.answer);
    if (row.answer == set.escape_answer) box.setEscapeButton(button);
  }
  box.setDefaultButton(answers.front().first);
  box.exec();
  for (const auto& [button, answer] : answers) {
    if (box.clickedButton() == button) return answer;
  }
  return set.escape_answer != 0 ? set.escape_answer : DefaultAnswer(message.buttons);
}

std::optional<MemoryFigures> ParseMemInfo(std::string_view meminfo) {
  std::optional<int64_t> total = MemInfoValue(meminfo, "MemTotal");
  std::optional<int64_t> available = MemInfoValue(meminfo, "MemAvailable");
  if (!total || !available) return std::nullopt;
  const int64_t swap_total = MemInfoValue(meminfo, "SwapTotal").value_or(0);
  const int64_t swap_free = MemInfoValue(meminfo, "SwapFree").value_or(0);
  return MemoryFigures{*available, *total, *available + swap_free, *total + swap_total};
}

MemoryFigures ReadMemoryFigures() {
  std::ifstream file("/proc/meminfo");
  std::stringstream text;
  text << file.rdbuf();
  return ParseMemInfo(text.str()).value_or(MemoryFigures{});
}

std::string LowMemoryText(const char* text, const MemoryFigures& figures) {
  return LowMemoryHead(text) + "Largest available memory:\t" +
         std::to_string(figures.available_physical) + "\n" + "Total available memory:\t" +
         std::to_string(figures.total_physical);
}

std::string MemoryStatusText(const char* text, const MemoryFigures& figures) {
  return LowMemoryHead(text) + "Available Physical/Virtual:\t" +
         std::to_string(figures.available_physical) + "/" +
         std::to_string(figures.available_virtual) + "\n" + "Total Physical/Virtual:\t" +
         std::to_string(figures.total_physical) + "/" + std::to_string(figures.total_virtual) +
         "\n";
}

int ShowLowMemory(const char* text) {
  return ShowMessage(LowMemoryText(text, ReadMemoryFigures()), std::string(kLowMemoryCaption),
                     MessageIcon::kStop);
}

int ShowMemoryStatus(const char* text) {
  return ShowMessage(MemoryStatusText(text, ReadMemoryFigures()), std::string(kLowMemoryCaption),
                     MessageIcon::kStop);
}

void UpdateFrameTitle(QWidget* main_window, std::string_view app_title, bool document_flag,
                      std::string_view first_file, const char* second_file, const char* extra_text,
                      bool prefix_title_style) {
  SetWindowTextLiteral(main_window, ComposeFrameTitle(app_title, document_flag, first_file,
                                                      second_file, extra_text, prefix_title_style));
}

}  // namespace kavrinth
