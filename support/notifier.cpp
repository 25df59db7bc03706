// Headless and scripted message boxes, and the process's current notifier.
#include "support/notifier.h"

#include <cstdio>

namespace kavrinth {

namespace {
HeadlessNotifier headless_notifier;
Notifier* current_notifier = &headless_notifier;
}  // namespace

int DefaultAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kYesNo:
    case MessageButtons::kYesNoCancel:
      return kAnswerYes;
    case MessageButtons::kRetryCancel:
      return kAnswerRetry;
    case MessageButtons::kOk:
    case MessageButtons::kOkCancel:
      break;
  }
  return kAnswerOk;
}

int HeadlessNotifier::Show(const Message& message) {
  if (message.caption.empty()) {
    std::fprintf(stderr, "%s\n", message.text.c_str());
  } else {
    std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
  }
  return DefaultAnswer(message.buttons);
}

int ScriptedNotifier::Show(const Message& message) {
  shown.push_back(message);
  if (next_answer_ < answers.size()) return answers[next_answer_++];
  return DefaultAnswer(message.buttons);
}

Notifier& CurrentNotifier() { return *current_notifier; }

Notifier* SetNotifier(Notifier* notifier) {
  Notifier* previous = current_notifier;
  current_notifier = notifier ? notifier : &headless_notifier;
  return previous;
}

int ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                MessageButtons buttons) {
  return CurrentNotifier().Show(Message{text, caption, icon, buttons});
}

}  // namespace kavrinth
