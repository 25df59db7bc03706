// Where an engine's progress goes: the shell's progress dialog (lines on
// KAVRINTH_PROGRESS_FD), a one-line progress on the terminal, or nowhere; and the
// cancel flag that SIGINT and SIGTERM set and the engine's work loops poll.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "support/notifier.h"
#include "support/progress_protocol.h"

namespace kavrinth {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Send(const ProgressLine& line) = 0;
};

// Writes the protocol lines to a file descriptor (the shell's pipe). A broken pipe
// stops the writing; the engine goes on.
class FdProgressSink : public ProgressSink {
 public:
  explicit FdProgressSink(int fd) : fd_(fd) {}
  void Send(const ProgressLine& line) override;

 private:
  int fd_;
  bool broken_ = false;
};

// Keeps the dialog's texts and redraws them as one line on a terminal.
class TerminalProgressSink : public ProgressSink {
 public:
  explicit TerminalProgressSink(int fd) : fd_(fd) {}
  ~TerminalProgressSink() override;
  void Send(const ProgressLine& line) override;

 private:
  void Redraw();
  int fd_;
  std::array<std::string, kProgressTextLines> texts_;
  std::array<std::string, kProgressStatusLines> status_;
  bool drawn_ = false;
};

class NullProgressSink : public ProgressSink {
 public:
  void Send(const ProgressLine&) override {}
};

// Keeps every line, for tests.
class RecordingProgressSink : public ProgressSink {
 public:
  void Send(const ProgressLine& line) override { lines.push_back(line); }
  std::vector<ProgressLine> lines;
};

// The sink an engine uses: the descriptor of KAVRINTH_PROGRESS_FD when it is set and
// open; else the terminal when `terminal_fd` (the engine's original stderr) is one;
// else nothing.
std::unique_ptr<ProgressSink> MakeEngineProgressSink(int terminal_fd);

// The process's sink (a null one until an engine installs its own).
ProgressSink& CurrentProgressSink();
ProgressSink* SetProgressSink(ProgressSink* sink);

// The engine dialog's operations. A null text leaves its field as it was; an empty
// text clears it. Both return the cancel flag.
int SetProgressText(const char* first, const char* second, const char* third);
int SetProgressStatus(const std::array<const char*, kProgressStatusLines>& texts);
void SetProgressTitle(const std::string& title);
void ProgressListClear();
void ProgressListAdd(const std::string& entry);
void ProgressListSelect(const std::string& entry);

// The cancel flag: 0 until Cancel (SIGINT, SIGTERM or RequestCancel); then it stays set.
int ProgressCancelFlag();
// The flag itself, for code outside this library that polls it while it runs (the
// post-processor gets its address); the signal handlers write it.
volatile int* ProgressCancelFlagAddress();
void RequestCancel();
void ResetCancelForTesting();
// Makes SIGINT and SIGTERM set the cancel flag instead of ending the process.
void InstallCancelHandlers();

// Shows messages through the current progress sink and on stderr. An engine that moves its
// stderr onto a side file names the stderr it was started with as `started_stderr` (-1:
// none): the messages reach that one as well as the side file. `sink_writes_there` says
// that the sink itself writes the messages onto the started stderr (the terminal's
// progress line), which then gets no second copy.
class ProgressNotifier : public Notifier {
 public:
  explicit ProgressNotifier(int started_stderr = -1, bool sink_writes_there = false)
      : started_stderr_(started_stderr), sink_writes_there_(sink_writes_there) {}
  int Show(const Message& message) override;

 private:
  int started_stderr_;
  bool sink_writes_there_;
};

}  // namespace kavrinth
