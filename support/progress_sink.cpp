// Progress sinks, the engine dialog's operations and the cancel flag.
#include "support/progress_sink.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavrinth {

namespace {

NullProgressSink null_sink;
ProgressSink* current_sink = &null_sink;
static_assert(sizeof(sig_atomic_t) == sizeof(int), "the cancel flag is handed out as an int");
volatile sig_atomic_t cancel_flag = 0;

void OnCancelSignal(int) { cancel_flag = 1; }

// Writes all of `data`; false when the descriptor refuses.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Whether both descriptors refer to one file (a dup of one open file, or the same file).
bool SameOpenFile(int a, int b) {
  struct stat first {};
  struct stat second {};
  if (fstat(a, &first) != 0 || fstat(b, &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void SendText(ProgressCommand command, int index, const char* text) {
  if (!text) return;
  ProgressLine line;
  line.command = command;
  line.index = index;
  line.text = text;
  current_sink->Send(line);
}

}  // namespace

void FdProgressSink::Send(const ProgressLine& line) {
  if (broken_) return;
  if (!WriteAll(fd_, EncodeProgressLine(line))) broken_ = true;
}

TerminalProgressSink::~TerminalProgressSink() {
  if (drawn_) WriteAll(fd_, "\n");
}

void TerminalProgressSink::Send(const ProgressLine& line) {
  switch (line.command) {
    case ProgressCommand::kText:
      texts_[line.index - 1] = line.text;
      Redraw();
      break;
    case ProgressCommand::kStatus:
      status_[line.index - 1] = line.text;
      Redraw();
      break;
    case ProgressCommand::kMessage:
      WriteAll(fd_, (drawn_ ? "\r\033[K" : "") + line.text + "\n");
      drawn_ = false;
      Redraw();
      break;
    default:
      break;
  }
}

void TerminalProgressSink::Redraw() {
  std::string text;
  auto append = [&text](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty()) text += "  ";
    text += part;
  };
  for (const std::string& t : texts_) append(t);
  append(status_[0].empty() ? status_[0] : status_[0] + " " + status_[1]);
  // Keep to one terminal line, so the carriage return redraws it in place.
  if (text.size() > 79) text.resize(79);
  WriteAll(fd_, "\r\033[K" + text);
  drawn_ = true;
}

std::unique_ptr<ProgressSink> MakeEngineProgressSink(int terminal_fd) {
  if (const char* value = std::getenv("KAVRINTH_PROGRESS_FD")) {
    char* end = nullptr;
    long fd = std::strtol(value, &end, 10);
    if (end != value && *end == '\0' && fd > 2 && fd < 65536 && fcntl(fd, F_GETFD) != -1) {
      // The descriptor is the engine's own; its children must not inherit it.
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      return std::make_unique<FdProgressSink>(static_cast<int>(fd));
    }
  }
  if (terminal_fd >= 0 && isatty(terminal_fd)) {
    return std::make_unique<TerminalProgressSink>(terminal_fd);
  }
  return std::make_unique<NullProgressSink>();
}

ProgressSink& CurrentProgressSink() { return *current_sink; }

ProgressSink* SetProgressSink(ProgressSink* sink) {
  ProgressSink* previous = current_sink;
  current_sink = sink ? sink : &null_sink;
  return previous;
}

int SetProgressText(const char* first, const char* second, const char* third) {
  const char* texts[kProgressTextLines] = {first, second, third};
  for (int i = 0; i < kProgressTextLines; ++i) SendText(ProgressCommand::kText, i + 1, texts[i]);
  return ProgressCancelFlag();
}

int SetProgressStatus(const std::array<const char*, kProgressStatusLines>& texts) {
  for (int i = 0; i < kProgressStatusLines; ++i) {
    SendText(ProgressCommand::kStatus, i + 1, texts[i]);
  }
  return ProgressCancelFlag();
}

void SetProgressTitle(const std::string& title) {
  SendText(ProgressCommand::kTitle, 0, title.c_str());
}

void ProgressListClear() {
  ProgressLine line;
  line.command = ProgressCommand::kListClear;
  current_sink->Send(line);
}

void ProgressListAdd(const std::string& entry) {
  SendText(ProgressCommand::kListAdd, 0, entry.c_str());
}

void ProgressListSelect(const std::string& entry) {
  SendText(ProgressCommand::kListSelect, 0, entry.c_str());
}

int ProgressCancelFlag() { return cancel_flag ? 1 : 0; }
volatile int* ProgressCancelFlagAddress() { return &cancel_flag; }
void RequestCancel() { cancel_flag = 1; }
void ResetCancelForTesting() { cancel_flag = 0; }

void InstallCancelHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnCancelSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int ProgressNotifier::Show(const Message& message) {
  ProgressLine line;
  line.command = ProgressCommand::kMessage;
  line.icon = message.icon;
  line.text = message.text;
  current_sink->Send(line);
  const bool moved = started_stderr_ >= 0 && !SameOpenFile(started_stderr_, STDERR_FILENO);
  if (!moved && sink_writes_there_) return DefaultAnswer(message.buttons);
  const int answer = HeadlessNotifier().Show(message);
  std::fflush(stderr);
  if (moved && !sink_writes_there_) {
    const std::string caption = message.caption.empty() ? "" : message.caption + ": ";
    WriteAll(started_stderr_, caption + message.text + "\n");
  }
  return answer;
}

}  // namespace kavrinth
