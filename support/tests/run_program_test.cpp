// Tests of RunProgram against a real child program, and of ScrollCodeStep.
#include "support/run_program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/notifier.h"
#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kChild = RUNPROGRAM_CHILD;
constexpr int32_t kUntouched = 123456;

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool ProcessGone(pid_t pid, std::chrono::milliseconds limit) {
  const std::string entry = "/proc/" + std::to_string(pid);
  for (auto waited = 0ms; waited < limit; waited += 20ms) {
    if (!fs::exists(entry)) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// The process state letter from /proc/<pid>/stat ('Z' for a zombie), or '?'.
char ProcessState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  return paren == std::string::npos || paren + 2 >= text.size() ? '?' : text[paren + 2];
}

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

class RunProgramTest : public test_support::TempDirTest {
 protected:
  // Runs the child with the arguments and waits; the exit code comes back.
  int Run(const std::string& arguments, int32_t* exit_code, const PumpCallback& pump = {},
          pid_t* process_id = nullptr) {
    return RunProgram(pump, kChild, nullptr, arguments, exit_code, true, process_id);
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(RunProgramTest, HandsBackTheFullResult) {
  for (int32_t result : {-19190, -1, 0, 3, 5000, 2147483647}) {
    int32_t exit_code = kUntouched;
    EXPECT_EQ(Run("--exit " + std::to_string(result), &exit_code), 1);
    EXPECT_EQ(exit_code, result);
  }
  EXPECT_TRUE(notifier_.shown.empty());
}

// Asked for, what the child writes on its standard error comes back with its result, and
// still reaches ours; a child that writes nothing leaves nothing from an earlier run.
TEST_F(RunProgramTest, HandsBackWhatTheChildWroteOnItsStandardError) {
  const std::string many(100000, 'x');
  const struct {
    std::string script;
    int32_t result;
    std::string errors;
    std::string ours;
  } cases[] = {
      {"echo out; echo 'the reason' >&2; exit 1", -1, "the reason\n", "the reason\n"},
      {"echo out", 0, "", ""},
      {"printf '" + many + "' >&2", 0, many.substr(0, 64 * 1024), many},
  };
  for (const auto& c : cases) {
    std::string errors = "stale";
    int32_t exit_code = kUntouched;
    testing::internal::CaptureStderr();
    const int started = RunProgram({}, "/bin/sh", nullptr, std::vector<std::string>{"-c", c.script},
                                   &exit_code, true, nullptr, &errors);
    const std::string ours = testing::internal::GetCapturedStderr();
    EXPECT_EQ(started, 1);
    EXPECT_EQ(exit_code, c.result);
    // Compared whole but not printed: one case is 100000 bytes long.
    EXPECT_TRUE(errors == c.errors) << errors.size() << " bytes: " << errors.substr(0, 80);
    EXPECT_TRUE(ours == c.ours) << ours.size() << " bytes: " << ours.substr(0, 80);
  }
}

// A child that ends without the result channel is judged by its 8-bit status; a
// result text that is not a number is no result.
TEST_F(RunProgramTest, FallsBackToTheExitStatus) {
  const struct {
    const char* arguments;
    int32_t result;
  } cases[] = {
      {"--raw-exit 1", -1},
      {"--raw-exit 130", -19190},
      {"--raw-exit 3", 3},
      {"--raw-exit 0", 0},
      {"--result-text 12x --raw-exit 3", 3},
      {"--result-text 99999999999 --raw-exit 3", 3},
      {"--result-text \"\" --raw-exit 5", 5},
      {"--result-text -19190 --raw-exit 0", -19190},
  };
  for (const auto& c : cases) {
    int32_t exit_code = kUntouched;
    EXPECT_EQ(Run(c.arguments, &exit_code), 1) << c.arguments;
    EXPECT_EQ(exit_code, c.result) << c.arguments;
  }
}

TEST_F(RunProgramTest, StartFailureShowsTheSystemText) {
  const std::string missing_program = temp_.File("no such program");
  const std::string missing_directory = temp_.File("no such dir");
  const struct {
    std::string program;
    const char* directory;
  } cases[] = {{missing_program, nullptr}, {kChild, missing_directory.c_str()}};
  for (const auto& c : cases) {
    notifier_.shown.clear();
    int32_t exit_code = kUntouched;
    pid_t pid = -7;
    EXPECT_EQ(RunProgram({}, c.program, c.directory, "--exit 0", &exit_code, true, &pid), -1);
    EXPECT_EQ(exit_code, ENOENT);
    EXPECT_EQ(exit_code, 2);
    EXPECT_EQ(pid, -7);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(notifier_.shown[0].text, std::strerror(ENOENT));
    EXPECT_EQ(notifier_.shown[0].caption, c.program);
    EXPECT_EQ(notifier_.shown[0].icon, MessageIcon::kStop);
  }
}

TEST_F(RunProgramTest, WithoutWaitReturnsAtOnceAndReapsTheChild) {
  int32_t exit_code = kUntouched;
  pid_t pid = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProgram({}, kChild, nullptr, "--sleep 1000 --exit 5", &exit_code, false, &pid), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(exit_code, kUntouched);
  ASSERT_GT(pid, 0);
  EXPECT_NE(ProcessState(pid), 'Z');
  EXPECT_TRUE(ProcessGone(pid, 5000ms)) << "child " << pid << " was not reaped";
}

TEST_F(RunProgramTest, WorkingDirectoryAndArgumentWords) {
  const fs::path work = temp_.File("work dir");
  fs::create_directory(work);
  const fs::path out = temp_.File("out file.txt");
  // The working directory may come with the stored '\' separators.
  std::string stored_work = work.string();
  stored_work.back() = 'r';
  stored_work.replace(stored_work.rfind('/'), 1, "\\");
  int32_t exit_code = kUntouched;
  ASSERT_EQ(RunProgram({}, kChild, stored_work.c_str(),
                       "--out " + Quoted(out) + " --print \"two words\"  plain --exit 0",
                       &exit_code, true),
            1);
  EXPECT_EQ(exit_code, 0);
  const std::vector<std::string> expected = {fs::canonical(work).string(),
                                             kChild,
                                             "--out",
                                             out.string(),
                                             "--print",
                                             "two words",
                                             "plain",
                                             "--exit",
                                             "0"};
  EXPECT_EQ(ReadLines(out), expected);
}

// The program is found through a path with blanks and a name in another case, and
// is started as the file that exists.
TEST_F(RunProgramTest, ProgramPathWithBlanksAndOtherCase) {
  const fs::path directory = temp_.File("dir with blanks");
  fs::create_directory(directory);
  fs::create_symlink(kChild, directory / "Run Child");
  const fs::path out = temp_.File("out.txt");
  int32_t exit_code = kUntouched;
  const std::string stored = (directory / "run child").string();
  ASSERT_EQ(RunProgram({}, stored, temp_.path().c_str(),
                       "--out " + Quoted(out) + " --print --exit 3", &exit_code, true),
            1);
  EXPECT_EQ(exit_code, 3);
  const std::vector<std::string> lines = ReadLines(out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], (directory / "Run Child").string());
}

// The pump runs between polls while the child is alive, and the process id is
// known by then.
TEST_F(RunProgramTest, PumpRunsWhileTheChildRuns) {
  pid_t pid = -1;
  int calls = 0;
  int calls_while_alive = 0;
  auto pump = [&] {
    ++calls;
    if (pid > 0 && ProcessState(pid) != 'Z' && ProcessState(pid) != '?') ++calls_while_alive;
  };
  int32_t exit_code = kUntouched;
  EXPECT_EQ(Run("--sleep 300 --exit 3", &exit_code, pump, &pid), 1);
  EXPECT_EQ(exit_code, 3);
  EXPECT_GE(calls, 3);
  EXPECT_GE(calls_while_alive, 2);
}

TEST_F(RunProgramTest, ChildKilledBySignalIsAFailure) {
  for (int signal_number : {SIGKILL, SIGTERM}) {
    pid_t pid = -1;
    auto pump = [&] {
      if (pid > 0) kill(pid, signal_number);
    };
    int32_t exit_code = kUntouched;
    EXPECT_EQ(Run("--sleep 10000 --exit 0", &exit_code, pump, &pid), 1);
    EXPECT_EQ(exit_code, -1) << strsignal(signal_number);
  }
}

// A result channel we inherited ourselves reaches neither variable nor descriptor
// of our children; a waited child gets its own and nothing else of ours.
class InheritedChannelTest : public RunProgramTest {
 protected:
  void SetUp() override {
    RunProgramTest::SetUp();
    // Numbers well above what the child opens itself, so its own files never pass
    // for ours; the write end is inheritable, as an inherited channel is.
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    inherited_[0] = fcntl(fds[0], F_DUPFD_CLOEXEC, 60);
    inherited_[1] = fcntl(fds[1], F_DUPFD, 61);
    close(fds[0]);
    close(fds[1]);
    ASSERT_GE(inherited_[0], 60);
    ASSERT_GE(inherited_[1], 61);
    const char* old = getenv("KAVRINTH_RESULT_FD");
    if (old) previous_ = old;
    setenv("KAVRINTH_RESULT_FD", std::to_string(inherited_[1]).c_str(), 1);
  }
  void TearDown() override {
    if (previous_) {
      setenv("KAVRINTH_RESULT_FD", previous_->c_str(), 1);
    } else {
      unsetenv("KAVRINTH_RESULT_FD");
    }
    close(inherited_[0]);
    close(inherited_[1]);
    RunProgramTest::TearDown();
  }

  // The child's view: its variable's value and its descriptors.
  struct ChildView {
    std::string variable;
    std::vector<int> descriptors;
  };
  ChildView ReadView(const fs::path& out) {
    ChildView view;
    for (const std::string& line : ReadLines(out)) {
      if (line.starts_with("KAVRINTH_RESULT_FD=")) view.variable = line.substr(19);
      if (!line.starts_with("fds")) continue;
      std::istringstream words(line.substr(3));
      for (int fd; words >> fd;) view.descriptors.push_back(fd);
    }
    return view;
  }
  bool NothingWrittenToInherited() {
    char byte;
    return read(inherited_[0], &byte, 1) < 0 && errno == EAGAIN;
  }

  int inherited_[2] = {-1, -1};
  std::optional<std::string> previous_;
};

TEST_F(InheritedChannelTest, DoesNotLeakToAnUnwaitedChild) {
  const fs::path out = temp_.File("view.txt");
  pid_t pid = -1;
  ASSERT_EQ(RunProgram({}, kChild, nullptr,
                       "--out " + Quoted(out) + " --env KAVRINTH_RESULT_FD --fds --exit 77",
                       nullptr, false, &pid),
            1);
  ASSERT_TRUE(ProcessGone(pid, 5000ms));
  const ChildView view = ReadView(out);
  EXPECT_EQ(view.variable, "(unset)");
  EXPECT_EQ(std::count(view.descriptors.begin(), view.descriptors.end(), inherited_[1]), 0);
  EXPECT_TRUE(NothingWrittenToInherited());
}

TEST_F(InheritedChannelTest, WaitedChildGetsItsOwnChannelOnly) {
  const fs::path out = temp_.File("view.txt");
  int32_t exit_code = kUntouched;
  ASSERT_EQ(Run("--out " + Quoted(out) + " --env KAVRINTH_RESULT_FD --fds --exit 5000", &exit_code),
            1);
  EXPECT_EQ(exit_code, 5000);
  const ChildView view = ReadView(out);
  ASSERT_FALSE(view.descriptors.empty());
  const int channel = std::atoi(view.variable.c_str());
  EXPECT_GT(channel, 2);
  EXPECT_NE(channel, inherited_[1]);
  for (int fd : view.descriptors) {
    if (fd <= 2 || fd == channel) continue;
    // Anything else must be a descriptor we hand on deliberately: open here and
    // not close-on-exec (the result pipe's read end is closed by now).
    EXPECT_NE(fd, inherited_[1]);
    const int flags = fcntl(fd, F_GETFD);
    EXPECT_TRUE(flags >= 0 && !(flags & FD_CLOEXEC)) << "descriptor " << fd << " leaked";
  }
  EXPECT_TRUE(NothingWrittenToInherited());
}

// With SIGCHLD ignored the system reaps the child itself, so the wait loses it.
TEST_F(RunProgramTest, LostChildIsALaterQueryFailure) {
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &previous);
  int32_t exit_code = kUntouched;
  const int result = Run("--sleep 300 --exit 0", &exit_code);
  sigaction(SIGCHLD, &previous, nullptr);
  EXPECT_EQ(result, -3);
  EXPECT_EQ(exit_code, ECHILD);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].caption, kChild);
  EXPECT_EQ(notifier_.shown[0].icon, MessageIcon::kStop);
}

uint32_t Code(uint32_t request, uint32_t thumb = 0) { return request | thumb << 16; }

TEST(ScrollCodeStep, MovesAndClampsThePosition) {
  const struct {
    uint32_t code;
    int32_t position, page, maximum;
    int32_t expected;
  } cases[] = {
      {kScrollLineUp, 5, 10, 99, 4},
      {kScrollLineUp, 0, 10, 99, 0},
      {kScrollLineDown, 5, 10, 99, 6},
      {kScrollLineDown, 90, 10, 99, 90},
      {kScrollPageUp, 25, 10, 99, 15},
      {kScrollPageUp, 4, 10, 99, 0},
      {kScrollPageDown, 25, 10, 99, 35},
      {kScrollPageDown, 85, 10, 99, 90},
      {kScrollTop, 42, 10, 99, 0},
      {kScrollBottom, 42, 10, 99, 90},
      {9, 42, 10, 99, 42},
      {0xFFFF, 42, 10, 99, 42},
      {Code(kScrollLineUp, 7), 5, 10, 99, 4},
      // A page larger than the whole range leaves nothing to scroll.
      {kScrollBottom, 0, 20, 9, 0},
      {kScrollLineDown, 0, 20, 9, 0},
      {kScrollPageDown, 0, 20, 9, 0},
  };
  for (const auto& c : cases) {
    int32_t position = c.position;
    int32_t thumb = -5;
    ScrollCodeStep(c.code, &position, &thumb, c.page, c.maximum);
    EXPECT_EQ(position, c.expected) << "code " << c.code << " from " << c.position;
    EXPECT_EQ(thumb, -5);
  }
}

TEST(ScrollCodeStep, ThumbDragMovesThePositionWhenItEnds) {
  int32_t position = 10;
  int32_t thumb = 0;
  ScrollCodeStep(kScrollEndScroll, &position, &thumb, 10, 99);  // no drag: nothing
  EXPECT_EQ(position, 10);
  for (uint32_t request : {kScrollThumbTrack, kScrollThumbPosition}) {
    ScrollCodeStep(Code(request, 61), &position, &thumb, 10, 99);
    EXPECT_EQ(thumb, 61);
    EXPECT_EQ(position, 10);
  }
  ScrollCodeStep(Code(kScrollThumbTrack, 65535), &position, &thumb, 10, 99);
  EXPECT_EQ(thumb, 65535);
  thumb = 70;  // the caller may adjust the stored thumb before the drag ends
  ScrollCodeStep(kScrollEndScroll, &position, &thumb, 10, 99);
  EXPECT_EQ(position, 70);
  position = 12;
  ScrollCodeStep(kScrollEndScroll, &position, &thumb, 10, 99);  // the drag is over
  EXPECT_EQ(position, 12);
}

}  // namespace
}  // namespace kavrinth
