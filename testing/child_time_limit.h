// A time limit on the child programs of a test: a child (or a child of one) still running
// when the limit passes is killed, and the test fails naming it. Every test executable
// linking the test_support library has one per test (and one for a suite's own set-up),
// so a program that never ends fails its test within a minute instead of holding the run.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kavrinth::test_support {

// The limit each test's children have: generous, as the slowest child of a test (an
// engine run under the sanitizers) ends in a few seconds.
inline constexpr int kChildTimeLimitMs = 60000;

struct ProcessEntry {
  pid_t pid = 0;
  std::string name;
  char state = '?';  // as /proc shows it: 'Z' for an ended child not yet reaped
};

// The processes descended from `ancestor` (not itself), children before their own
// children.
std::vector<ProcessEntry> Descendants(pid_t ancestor);

// Watches this process's descendants for its lifetime, from a thread of its own: those
// still running after limit_ms, and any started after it, are killed with SIGKILL and the
// running test fails.
class ChildTimeLimit {
 public:
  explicit ChildTimeLimit(int limit_ms = kChildTimeLimitMs);
  ~ChildTimeLimit();
  ChildTimeLimit(const ChildTimeLimit&) = delete;
  ChildTimeLimit& operator=(const ChildTimeLimit&) = delete;

 private:
  void Watch(int limit_ms);

  struct State {
    std::mutex mutex;
    std::condition_variable stop_requested;
    bool stop = false;
    std::condition_variable ready_changed;
    bool ready = false;  // the watch thread waits
  };

  pid_t owner_;
  State* state_;  // owned; left alone in a forked child (see the destructor)
  std::thread watcher_;
};

}  // namespace kavrinth::test_support
