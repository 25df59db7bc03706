// RunProgram over the process layer of platform/process.h, the platform kind and the
// scroll-bar step rule.
#include "support/run_program.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "support/args.h"
#include "support/notifier.h"

namespace kavrinth {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

int Fail(int result, int error, std::string_view program, int32_t* exit_code) {
  if (exit_code) *exit_code = error;
  ShowMessage(std::generic_category().message(error), std::string(program), MessageIcon::kStop);
  return result;
}

std::vector<std::string> ChildArguments(std::string_view program,
                                        const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{ResolveExistingPath(program)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return argv;
}

}  // namespace

int GetOsVersionClass() { return 4; }

int RunProgram(const PumpCallback& pump, std::string_view program, const char* working_directory,
               std::string_view arguments, int32_t* exit_code, bool wait, pid_t* process_id) {
  return RunProgram(pump, program, working_directory,
                    SplitArgs(arguments, kRunProgramArgumentSlots), exit_code, wait, process_id);
}

int RunProgram(const PumpCallback& pump, std::string_view program, const char* working_directory,
               const std::vector<std::string>& arguments, int32_t* exit_code, bool wait,
               pid_t* process_id, std::string* error_output) {
  if (error_output) error_output->clear();
  const std::string directory = working_directory ? NativePath(working_directory) : std::string();
  ChildProcess child;
  const bool capture = wait && error_output != nullptr;
  int error = child.Start(ChildArguments(program, arguments),
                          working_directory ? directory.c_str() : nullptr, wait, capture);
  if (error != 0) return Fail(kRunProgramNotStarted, error, program, exit_code);
  if (process_id) *process_id = child.id();
  if (!wait) {
    child.ReapInBackground();
    return 1;
  }
  ChildStatus status = child.Poll(&error);
  if (status == ChildStatus::kQueryFailed) {
    return Fail(kRunProgramFirstQueryFailed, error, program, exit_code);
  }
  for (;;) {
    if (pump) pump();
    if (status == ChildStatus::kEnded) break;
    std::this_thread::sleep_for(kPollInterval);
    status = child.Poll(&error);
    if (status == ChildStatus::kQueryFailed) {
      return Fail(kRunProgramQueryFailed, error, program, exit_code);
    }
  }
  if (exit_code) *exit_code = child.result();
  if (capture) *error_output = child.errors();
  return 1;
}

namespace {

// Set while the thumb is being dragged; the drag's end moves the position.
std::atomic<bool> thumb_tracking{false};

struct ScrollState {
  int64_t position;
  int32_t* thumb_position;
  int64_t page;
  int64_t last;  // the highest position: the last page ends at the maximum, never below 0
  uint32_t thumb;
};

using ScrollRule = int64_t (*)(const ScrollState&);

int64_t TrackThumb(const ScrollState& state) {
  *state.thumb_position = static_cast<int32_t>(state.thumb);
  thumb_tracking = true;
  return state.position;
}

int64_t EndScroll(const ScrollState& state) {
  if (!thumb_tracking.exchange(false)) return state.position;
  return *state.thumb_position;
}

constexpr std::array<ScrollRule, 9> kScrollRules = {
    [](const ScrollState& s) { return std::max<int64_t>(s.position - 1, 0); },
    [](const ScrollState& s) { return std::min(s.position + 1, s.last); },
    [](const ScrollState& s) { return std::max<int64_t>(s.position - s.page, 0); },
    [](const ScrollState& s) { return std::min(s.position + s.page, s.last); },
    TrackThumb,
    TrackThumb,
    [](const ScrollState&) { return int64_t{0}; },
    [](const ScrollState& s) { return s.last; },
    EndScroll,
};

}  // namespace

void ScrollCodeStep(uint32_t code, int32_t* position, int32_t* thumb_position, int32_t page,
                    int32_t maximum) {
  const uint32_t request = code & 0xFFFFu;
  if (request >= kScrollRules.size()) return;
  const int64_t last = std::max<int64_t>(int64_t{maximum} + 1 - page, 0);
  const ScrollState state{*position, thumb_position, page, last, code >> 16};
  const int64_t moved = kScrollRules[request](state);
  *position = static_cast<int32_t>(std::clamp<int64_t>(moved, INT32_MIN, INT32_MAX));
}

}  // namespace kavrinth
