// Message boxes without a window system: every program reports to the current
// Notifier, which the GUI programs replace with their own and tests script.
#pragma once

#include <string>
#include <vector>

namespace kavrinth {

enum class MessageIcon { kNone, kInformation, kQuestion, kWarning, kStop };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel, kRetryCancel };

// Answers keep the platform's numbering, which callers compare against.
enum MessageAnswer : int {
  kAnswerOk = 1,
  kAnswerCancel = 2,
  kAnswerRetry = 4,
  kAnswerYes = 6,
  kAnswerNo = 7,
};

struct Message {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
};

class Notifier {
 public:
  virtual ~Notifier() = default;
  // Shows the message and returns the answer (a MessageAnswer).
  virtual int Show(const Message& message) = 0;
};

// The answer a box takes when nobody is there to press a button: the first one.
int DefaultAnswer(MessageButtons buttons);

// Writes "caption: text" to stderr and takes the default answer.
class HeadlessNotifier : public Notifier {
 public:
  int Show(const Message& message) override;
};

// Records every message and answers from a script (then the default answer).
class ScriptedNotifier : public Notifier {
 public:
  int Show(const Message& message) override;
  std::vector<Message> shown;
  std::vector<int> answers;

 private:
  size_t next_answer_ = 0;
};

// The process's notifier; a headless one until a program installs its own.
Notifier& CurrentNotifier();
// Installs a notifier (null restores the headless one); returns the previous one.
Notifier* SetNotifier(Notifier* notifier);

// Shows a message through the current notifier.
int ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                MessageButtons buttons = MessageButtons::kOk);

// Installs a notifier for one scope (tests, batch runs).
class ScopedNotifier {
 public:
  explicit ScopedNotifier(Notifier* notifier) : previous_(SetNotifier(notifier)) {}
  ~ScopedNotifier() { SetNotifier(previous_); }
  ScopedNotifier(const ScopedNotifier&) = delete;
  ScopedNotifier& operator=(const ScopedNotifier&) = delete;

 private:
  Notifier* previous_;
};

}  // namespace kavrinth
