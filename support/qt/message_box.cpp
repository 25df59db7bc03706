// Qt message boxes, the memory warnings and the frame title.
#include "support/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <array>
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

void UpdateFrameTitle(QWidget* main_window, std::string_view app_title, bool document_flag,
                      std::string_view first_file, const char* second_file, const char* extra_text,
                      bool prefix_title_style) {
  SetWindowTextLiteral(main_window, ComposeFrameTitle(app_title, document_flag, first_file,
                                                      second_file, extra_text, prefix_title_style));
}

}  // namespace kavrinth
