// Processes: the 32-bit result channel between a program and the program that
// started it, starting a child directly (no shell), and the program directory.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// The result of a run the user cancelled.
inline constexpr int32_t CancelledExitCode = -19190;

// The descriptor a program writes its full result to, as decimal text.
inline constexpr std::string_view kResultFdVariable = "KAVRINTH_RESULT_FD";
// The descriptor an engine writes its progress lines to (support/progress_protocol.h).
inline constexpr std::string_view kProgressFdVariable = "KAVRINTH_PROGRESS_FD";
// Where the programs look for each other and their support files, when set.
inline constexpr std::string_view kProgramDirVariable = "KAVRINTH_PROGRAM_DIR";

// The 8-bit exit statuses that stand for a result when the channel is not there.
inline constexpr int kExitStatusSuccess = 0;
inline constexpr int kExitStatusFailed = 1;
inline constexpr int kExitStatusCancelled = 130;

// ---- The child side ----

// The exit status for a result: 0 for a result >= 0, 130 for CancelledExitCode,
// 1 for any other negative result.
int ExitStatusForResult(int32_t result);

// Writes the result as decimal text to the descriptor named by KAVRINTH_RESULT_FD,
// when that names an open pipe; otherwise does nothing. A reader that has gone away
// neither kills the program nor changes its signal state.
void ReportResult(int32_t result);

// How every program ends: flushes stdout and stderr, reports the result and exits
// with ExitStatusForResult(result).
[[noreturn]] void ExitWithResult(int32_t result);

// ---- The parent side ----

// The result a child's wait status stands for: exit 0 -> 0, 1 -> -1,
// 130 -> CancelledExitCode, any other exit status n -> n; killed by a signal -> -1.
int32_t ResultFromExitStatus(int wait_status);

// The result text a child wrote: optional blanks, an optional '-', decimal digits,
// optional trailing blanks and line ends, within the 32-bit range. Anything else
// gives nothing.
std::optional<int32_t> ParseResultText(std::string_view text);

enum class ChildStatus { kRunning, kEnded, kQueryFailed };

// A child program started by its file, without a shell. The child gets our
// environment and every descriptor of ours that is not close-on-exec (which is
// how a shell hands its progress pipe to an engine); everything this module opens
// is close-on-exec. A child not waited for to the end is reaped in the background,
// so it never stays a zombie.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (a path; no search along PATH; a relative one is taken from
  // our current directory) with argv as its arguments, in working_directory (null or empty:
  // ours). With result_channel, the child's KAVRINTH_RESULT_FD names a pipe that
  // Poll reads once it ended; without, the variable is removed from its
  // environment. With capture_errors, the child's standard error goes to a file in
  // memory that Poll reads once it ended (errors()) and passes on to our own standard
  // error. Returns 0, or the errno of the failure (nothing was started).
  int Start(const std::vector<std::string>& argv, const char* working_directory,
            bool result_channel, bool capture_errors = false);

  pid_t id() const { return pid_; }

  // Asks once, without blocking, whether the child ended. kEnded: result() holds
  // its result (the channel's text when it is well-formed, else the exit status's).
  // kQueryFailed: *error holds the errno.
  ChildStatus Poll(int* error);
  int32_t result() const { return result_; }
  // What the child wrote on its standard error, when Start captured it: the first
  // kMaxCapturedErrors bytes (all of it went on to ours), once Poll said kEnded.
  const std::string& errors() const { return errors_; }
  static constexpr size_t kMaxCapturedErrors = 64 * 1024;

  // Leaves a running child to a background thread that reaps it when it ends.
  void ReapInBackground();

 private:
  std::string ReadResultText();
  void CloseResultPipe();
  void ReadCapturedErrors();

  pid_t pid_ = -1;
  int result_fd_ = -1;
  int errors_fd_ = -1;  // the child's standard error, when captured
  std::string errors_;
  bool running_ = false;  // started, and nobody has reaped it yet
  bool ended_ = false;    // reaped by Poll; result_ is valid
  int32_t result_ = 0;
};

// The directory the programs and their support files live in: KAVRINTH_PROGRAM_DIR
// when set and not empty, else the directory of this program's file ("." when that
// cannot be read). No trailing '/', except for the root itself.
std::string ProgramDirectory();

}  // namespace kavrinth
