// Starting another program and waiting for its result while the caller stays
// responsive, the platform kind, and the scroll-bar step rule.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// The platform kind: always 4 here, the kind with every modern facility (settings in
// the per-user store, no short path names needed).
int GetOsVersionClass();

// Called between polls while RunProgram waits: a GUI program processes its events.
using PumpCallback = std::function<void()>;

// RunProgram's results besides 1 (started; with wait, the exit code was handed back).
inline constexpr int kRunProgramNotStarted = -1;
inline constexpr int kRunProgramFirstQueryFailed = -2;
inline constexpr int kRunProgramQueryFailed = -3;
// The argument table the text form splits into: the program itself and 32 words.
inline constexpr int kRunProgramArgumentSlots = 33;

// Starts program (a stored path: '\' allowed, the case of its name forgiven) with the
// argument text split into words as the system splits command lines, directly (no
// shell), in working_directory (null or empty: ours). Without wait: returns 1 at once, leaves
// *exit_code alone, and the child is reaped whenever it ends. With wait: polls every
// 5 ms, calling pump (when set) between polls, with no time limit, and hands the
// child's 32-bit result to *exit_code. The process id goes to *process_id as soon as
// the child exists. Failures show the system's text in a stop box captioned with the
// program and leave the errno in *exit_code: -1 not started, -2 the first query of
// the started child failed, -3 a later query failed.
int RunProgram(const PumpCallback& pump, std::string_view program, const char* working_directory,
               std::string_view arguments, int32_t* exit_code, bool wait,
               pid_t* process_id = nullptr);

// The same with the arguments given one word each: nothing is split or unquoted, so
// paths with blanks or quotes reach the program whole, and there is no limit on their
// number or length. With wait and error_output, what the child writes on its standard
// error is handed back there (its first 64 KiB) as well as passed on to ours, so that the
// caller can tell the user why a child failed.
int RunProgram(const PumpCallback& pump, std::string_view program, const char* working_directory,
               const std::vector<std::string>& arguments, int32_t* exit_code, bool wait,
               pid_t* process_id = nullptr, std::string* error_output = nullptr);

// Scroll-bar requests: the low word of a scroll code.
enum ScrollRequest : uint32_t {
  kScrollLineUp = 0,
  kScrollLineDown = 1,
  kScrollPageUp = 2,
  kScrollPageDown = 3,
  kScrollThumbPosition = 4,
  kScrollThumbTrack = 5,
  kScrollTop = 6,
  kScrollBottom = 7,
  kScrollEndScroll = 8,
};

// Applies a scroll request (low word of code; the high word is the thumb position)
// to *position, for a range 0..maximum shown page units at a time. Dragging the
// thumb only records it in *thumb_position; the position takes it when the drag
// ends. Requests above 8 are ignored.
void ScrollCodeStep(uint32_t code, int32_t* position, int32_t* thumb_position, int32_t page,
                    int32_t maximum);

}  // namespace kavrinth
