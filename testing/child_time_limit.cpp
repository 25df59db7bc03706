// The time limit on the child programs of a test, and the listener that gives every test
// of an executable linking this file one (and fails the run when a suite's set-up failed).
#include "testing/child_time_limit.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

namespace kavrinth::test_support {
namespace {

// The text of /proc/<pid>/stat, empty when the process has gone. Plain reads: a process
// that ends while its file is read fails the read with ESRCH, which a stream would throw
// from the watch thread and end the whole test run.
std::string ReadProcStat(const char* pid) {
  const int fd = ::open((std::string("/proc/") + pid + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char block[512];
  for (;;) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      text.clear();
      break;
    }
    if (got == 0) break;
    text.append(block, static_cast<size_t>(got));
  }
  ::close(fd);
  return text;
}

// The parent and the name of every process, from /proc/<pid>/stat ("pid (name) state
// ppid ..."; the name may hold blanks and parentheses, so it ends at the last ')').
std::multimap<pid_t, ProcessEntry> ChildrenByParent() {
  std::multimap<pid_t, ProcessEntry> children;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return children;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    const std::string stat = ReadProcStat(entry->d_name);
    const size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    long parent = 0;
    if (!(rest >> state >> parent)) continue;
    children.emplace(
        static_cast<pid_t>(parent),
        ProcessEntry{static_cast<pid_t>(pid), stat.substr(open + 1, close - open - 1), state});
  }
  ::closedir(proc);
  return children;
}

}  // namespace

std::vector<ProcessEntry> Descendants(pid_t ancestor) {
  const auto children = ChildrenByParent();
  std::vector<ProcessEntry> found;
  std::vector<pid_t> parents = {ancestor};
  for (size_t next = 0; next < parents.size(); ++next) {
    const auto [first, last] = children.equal_range(parents[next]);
    for (auto it = first; it != last; ++it) {
      found.push_back(it->second);
      parents.push_back(it->second.pid);
    }
  }
  return found;
}

namespace {

// The watch state a forked child left alone, still reachable so that a leak check at the
// child's exit does not count it.
void* volatile abandoned_in_child = nullptr;

}  // namespace

ChildTimeLimit::ChildTimeLimit(int limit_ms)
    : owner_(::getpid()), state_(new State), watcher_([this, limit_ms] { Watch(limit_ms); }) {
  // Tests fork: the watch thread must be done with everything that allocates (which takes
  // the allocator's locks a child would inherit held) before the test goes on. From now
  // on it only waits.
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->ready_changed.wait(lock, [this] { return state_->ready; });
}

ChildTimeLimit::~ChildTimeLimit() {
  // A child forked by the test that ends through exit() has a copy of this object but not
  // the thread: joining it, or destroying the condition it waits on, would wait for ever.
  // The child leaves both as they are.
  if (::getpid() != owner_) {
    watcher_.detach();
    abandoned_in_child = state_;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
  }
  state_->stop_requested.notify_all();
  watcher_.join();
  delete state_;
}

void ChildTimeLimit::Watch(int limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->ready = true;
  state_->ready_changed.notify_all();
  if (state_->stop_requested.wait_until(lock, deadline, [this] { return state_->stop; })) return;
  // Past the limit every child of the test is over time, also one it starts later: they
  // are ended as they come, until the test ends. (Only now does this thread allocate
  // again, in a test that has failed.)
  do {
    // Every child is stopped first, scan after scan until no running one is left, and only
    // then killed: a parent killed while it forks would leave its new child running,
    // orphaned, and holding the test's output open. A stopped process starts no child.
    std::map<pid_t, std::string> stopped;
    for (int round = 0; round < 100; ++round) {
      bool more = false;
      for (const ProcessEntry& child : Descendants(::getpid())) {
        // Zombies are ended already: they only wait for the test to reap them.
        if (child.state == 'Z' || stopped.count(child.pid) != 0) continue;
        if (::kill(child.pid, SIGSTOP) == 0) {
          stopped.emplace(child.pid, child.name);
          more = true;
        }
      }
      if (!more) break;
    }
    std::string killed;
    for (const auto& [pid, name] : stopped) {
      if (::kill(pid, SIGKILL) == 0) killed += " " + std::to_string(pid) + " (" + name + ")";
    }
    if (!killed.empty()) {
      std::fprintf(stderr, "child programs still running after %d ms, killed:%s\n", limit_ms,
                   killed.c_str());
      ADD_FAILURE() << "child programs still running after " << limit_ms
                    << " ms were killed:" << killed;
    }
  } while (!state_->stop_requested.wait_for(lock, std::chrono::milliseconds(100),
                                            [this] { return state_->stop; }));
}

namespace {

// Gives every test a ChildTimeLimit from its start to its end, and the work of a test
// suite outside its tests (SetUpTestSuite, which may run programs for all of them, and
// TearDownTestSuite) one of its own. Also ends the process failed when a suite's set-up
// failed (see OnTestStart).
class ChildTimeLimitListener : public ::testing::EmptyTestEventListener {
 public:
  void OnTestSuiteStart(const ::testing::TestSuite&) override { Restart(); }
  void OnTestStart(const ::testing::TestInfo& test) override {
    // gtest reports every test of a suite whose SetUpTestSuite failed as skipped, and CTest
    // would count them so: a failure that leaves the run green. The process ends failed
    // here instead, before the first of them is reported.
    const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
    if (suite != nullptr && suite->ad_hoc_test_result().Failed()) {
      std::printf("[  FAILED  ] %s: the set-up of the test suite failed, so %s cannot run\n",
                  test.test_suite_name(), test.name());
      std::fflush(stdout);
      std::fflush(stderr);
      std::_Exit(1);
    }
    Restart();
  }
  void OnTestEnd(const ::testing::TestInfo&) override { Restart(); }
  void OnTestSuiteEnd(const ::testing::TestSuite&) override { limit_.reset(); }

 private:
  void Restart() {
    limit_.reset();
    limit_ = std::make_unique<ChildTimeLimit>();
  }

  std::unique_ptr<ChildTimeLimit> limit_;
};

// The libraries named in KAVRINTH_KEEP_LOADED (blank-separated) are loaded now and never
// unloaded. The sanitizer build names those whose leaks tools/lsan.supp suppresses by
// library, for a test that loads and unloads them (a plot library opened with dlopen
// brings in Qt and what Qt needs): once unloaded, LeakSanitizer can no longer name them.
const bool kLibrariesKeptLoaded = [] {
  const char* names = std::getenv("KAVRINTH_KEEP_LOADED");
  std::istringstream words(names != nullptr ? names : "");
  for (std::string name; words >> name;) ::dlopen(name.c_str(), RTLD_NOW | RTLD_NODELETE);
  return true;
}();

const bool kListenerInstalled = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ChildTimeLimitListener);
  return true;
}();

}  // namespace
}  // namespace kavrinth::test_support
