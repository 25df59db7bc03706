// Tests of the result channel (both sides), ChildProcess and ProgramDirectory.
#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using namespace std::chrono_literals;

// Sets or removes one environment variable for the scope of a test.
class ScopedVariable {
 public:
  ScopedVariable(std::string_view name, const char* value) : name_(name) {
    if (const char* old = getenv(name_.c_str())) previous_ = old;
    if (value) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ~ScopedVariable() {
    if (previous_) {
      setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

class Pipe {
 public:
  Pipe() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  int read_fd() const { return fds_[0]; }
  int write_fd() const { return fds_[1]; }
  void CloseRead() {
    if (fds_[0] >= 0) close(fds_[0]);
    fds_[0] = -1;
  }
  void CloseWrite() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }
  // Everything written so far, once every writer has closed.
  std::string ReadAll() {
    CloseWrite();
    std::string text;
    char chunk[256];
    ssize_t count;
    while ((count = read(fds_[0], chunk, sizeof chunk)) > 0) text.append(chunk, count);
    return text;
  }

 private:
  int fds_[2];
};

bool ProcessGone(pid_t pid, std::chrono::milliseconds limit) {
  const std::string entry = "/proc/" + std::to_string(pid);
  for (auto waited = 0ms; waited < limit; waited += 20ms) {
    if (!std::filesystem::exists(entry)) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

TEST(ResultChannel, ExitStatusForResult) {
  const struct {
    int32_t result;
    int status;
  } cases[] = {{0, 0},  {5000, 0},      {INT32_MAX, 0},          {-1, 1},
               {-2, 1}, {INT32_MIN, 1}, {CancelledExitCode, 130}};
  for (const auto& c : cases) {
    EXPECT_EQ(ExitStatusForResult(c.result), c.status) << c.result;
  }
}

TEST(ResultChannel, ResultFromExitStatus) {
  const struct {
    int wait_status;
    int32_t result;
  } cases[] = {{W_EXITCODE(0, 0), 0},       {W_EXITCODE(1, 0), -1},    {W_EXITCODE(130, 0), -19190},
               {W_EXITCODE(3, 0), 3},       {W_EXITCODE(255, 0), 255}, {W_EXITCODE(0, SIGKILL), -1},
               {W_EXITCODE(0, SIGTERM), -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(ResultFromExitStatus(c.wait_status), c.result) << std::hex << c.wait_status;
  }
}

TEST(ResultChannel, ParseResultText) {
  const struct {
    const char* text;
    std::optional<int32_t> result;
  } cases[] = {
      {"5000", 5000},
      {"-19190", -19190},
      {"0\r\n", 0},
      {" 7 \n", 7},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"", std::nullopt},
      {"\n", std::nullopt},
      {"12x", std::nullopt},
      {"1 2", std::nullopt},
      {"+5", std::nullopt},
      {"--1", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseResultText(c.text), c.result) << '"' << c.text << '"';
  }
}

TEST(ResultChannel, ReportResultWritesToTheNamedPipe) {
  Pipe pipe;
  ScopedVariable fd(kResultFdVariable, std::to_string(pipe.write_fd()).c_str());
  ReportResult(-19190);
  EXPECT_EQ(pipe.ReadAll(), "-19190");
}

TEST(ResultChannel, ReportResultIgnoresWhatIsNotAResultPipe) {
  const test_support::TempDir directory("process_test");
  ASSERT_TRUE(directory.ok());
  const std::string path = directory.File("file");
  int file = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  Pipe pipe;
  const std::string stale = std::to_string(file);
  const std::string pipe_with_junk = std::to_string(pipe.write_fd()) + "x";
  for (const char* value : {stale.c_str(), pipe_with_junk.c_str(), "", "-1", "1", "99999"}) {
    ScopedVariable fd(kResultFdVariable, value);
    ReportResult(5000);
  }
  struct stat st;
  ASSERT_EQ(fstat(file, &st), 0);
  EXPECT_EQ(st.st_size, 0) << "a regular file named by the variable must not be written";
  EXPECT_EQ(pipe.ReadAll(), "");
  close(file);
}

TEST(ResultChannel, ReportResultSurvivesAClosedReader) {
  Pipe pipe;
  pipe.CloseRead();
  ScopedVariable fd(kResultFdVariable, std::to_string(pipe.write_fd()).c_str());
  sigset_t before, after, pending;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  ReportResult(3);  // a SIGPIPE here would end the test program
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

// A forked child prints without a line end, then ends with the result.
TEST(ResultChannel, ExitWithResultFlushesReportsAndExits) {
  const struct {
    int32_t result;
    int status;
  } cases[] = {{0, 0}, {5000, 0}, {-1, 1}, {CancelledExitCode, 130}};
  for (const auto& c : cases) {
    Pipe result, output;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(output.write_fd(), STDOUT_FILENO);
      setenv("KAVRINTH_RESULT_FD", std::to_string(result.write_fd()).c_str(), 1);
      std::printf("buffered");
      ExitWithResult(c.result);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.result;
    EXPECT_EQ(result.ReadAll(), std::to_string(c.result));
    EXPECT_EQ(output.ReadAll(), "buffered");
  }
}

// Runs a shell line as a child and waits (up to a limit) for its result.
std::optional<int32_t> RunShell(const std::string& line, bool channel,
                                std::chrono::milliseconds limit = 5000ms) {
  ChildProcess child;
  if (child.Start({"/bin/sh", "-c", line}, nullptr, channel) != 0) return std::nullopt;
  for (auto waited = 0ms; waited < limit; waited += 5ms) {
    int error = 0;
    switch (child.Poll(&error)) {
      case ChildStatus::kEnded:
        return child.result();
      case ChildStatus::kQueryFailed:
        return std::nullopt;
      case ChildStatus::kRunning:
        std::this_thread::sleep_for(5ms);
    }
  }
  return std::nullopt;
}

TEST(ChildProcess, ResultComesThroughTheChannelElseTheStatus) {
  const struct {
    const char* line;
    int32_t result;
  } cases[] = {
      {"printf 5000 >&$KAVRINTH_RESULT_FD; exit 0", 5000},
      {"printf -- -19190 >&$KAVRINTH_RESULT_FD; exit 130", -19190},
      {"printf '12x' >&$KAVRINTH_RESULT_FD; exit 3", 3},
      {"printf 99999999999 >&$KAVRINTH_RESULT_FD; exit 1", -1},
      {"printf %070d 7 >&$KAVRINTH_RESULT_FD; exit 3", 3},
      {"exit 130", -19190},
      {"exit 4", 4},
      {"kill -KILL $$", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunShell(c.line, true), c.result) << c.line;
  }
}

TEST(ChildProcess, ResultChannelIsReplacedOrRemoved) {
  Pipe inherited;
  ScopedVariable fd(kResultFdVariable, std::to_string(inherited.write_fd()).c_str());
  const std::string own = std::to_string(inherited.write_fd());
  // Without a channel the child sees no variable; with one, a descriptor of its own,
  // and never ours.
  EXPECT_EQ(RunShell("test -z \"$KAVRINTH_RESULT_FD\" && exit 4; exit 9", false), 4);
  EXPECT_EQ(RunShell("test \"$KAVRINTH_RESULT_FD\" = " + own + " && exit 9; exit 4", true), 4);
  EXPECT_EQ(RunShell("test -e /proc/$$/fd/" + own + " && exit 9; exit 4", true), 4);
  EXPECT_EQ(inherited.ReadAll(), "");
}

// A grandchild that keeps the child's end of the pipe open must not hold up the
// result once the child itself has ended.
TEST(ChildProcess, GrandchildHoldingThePipeDoesNotStall) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunShell("sleep 3 & printf 7 >&$KAVRINTH_RESULT_FD; exit 0", true, 2500ms), 7);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
}

// The shells cancel an engine with SIGTERM: a child must be able to receive it even
// when its parent ignores or blocks it.
TEST(ChildProcess, ChildStartsWithDefaultSignals) {
  struct sigaction ignore {
  }, previous_action{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGTERM, &ignore, &previous_action);
  EXPECT_EQ(RunShell("kill -TERM $$; exit 4", true), -1) << "SIGTERM ignored here";
  sigaction(SIGTERM, &previous_action, nullptr);

  sigset_t term, previous_mask;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &previous_mask);
  EXPECT_EQ(RunShell("kill -TERM $$; exit 4", true), -1) << "SIGTERM blocked here";
  pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
}

TEST(ChildProcess, StartFailuresGiveTheErrno) {
  ChildProcess missing;
  EXPECT_EQ(missing.Start({"/nonexistent/program"}, nullptr, true), ENOENT);
  ChildProcess bad_directory;
  EXPECT_EQ(bad_directory.Start({"/bin/sh", "-c", "exit 0"}, "/nonexistent/dir", true), ENOENT);
  ChildProcess nothing;
  EXPECT_EQ(nothing.Start({}, nullptr, false), EINVAL);
  int error = 0;
  EXPECT_EQ(nothing.Poll(&error), ChildStatus::kQueryFailed);
  EXPECT_EQ(error, ECHILD);
}

TEST(ChildProcess, WorkingDirectoryAndRelativeProgram) {
  const test_support::TempDir temp("process_test");
  ASSERT_TRUE(temp.ok());
  const std::filesystem::path directory = temp.path();
  // A relative program path is ours, not the working directory's.
  std::filesystem::create_directory(directory / "work");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path("/bin");
  ChildProcess child;
  ASSERT_EQ(child.Start({"sh", "-c", "pwd > here"}, (directory / "work").c_str(), true), 0);
  std::filesystem::current_path(previous);
  int error = 0;
  ChildStatus status;
  while ((status = child.Poll(&error)) == ChildStatus::kRunning) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(status, ChildStatus::kEnded);
  EXPECT_TRUE(std::filesystem::exists(directory / "work" / "here"));
}

// A file named without a directory leaves the working directory empty: the child runs in
// ours instead of failing to start.
TEST(ChildProcess, EmptyWorkingDirectoryIsOurs) {
  const test_support::TempDir temp("process_test");
  ASSERT_TRUE(temp.ok());
  const test_support::ScopedCurrentDirectory inside(temp.path());
  ChildProcess child;
  ASSERT_EQ(child.Start({"/bin/sh", "-c", "pwd > here"}, "", true), 0);
  int error = 0;
  ChildStatus status;
  while ((status = child.Poll(&error)) == ChildStatus::kRunning) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(status, ChildStatus::kEnded);
  EXPECT_EQ(child.result(), 0);
  EXPECT_TRUE(std::filesystem::exists(temp.File("here")));
}

TEST(ChildProcess, UnwaitedChildIsReaped) {
  pid_t pid = -1;
  {
    ChildProcess child;
    ASSERT_EQ(child.Start({"/bin/sh", "-c", "sleep 0.2"}, nullptr, false), 0);
    pid = child.id();
  }  // left running: the destructor hands it to the reaper
  EXPECT_TRUE(ProcessGone(pid, 5000ms)) << "child " << pid << " left as a zombie";
}

TEST(ChildProcess, PollAfterSomebodyElseReapedFails) {
  ChildProcess child;
  ASSERT_EQ(child.Start({"/bin/sh", "-c", "exit 0"}, nullptr, true), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child.id(), &status, 0), child.id());
  int error = 0;
  EXPECT_EQ(child.Poll(&error), ChildStatus::kQueryFailed);
  EXPECT_EQ(error, ECHILD);
}

TEST(ProgramDirectory, TakesTheVariableElseTheProgramsOwnDirectory) {
  {
    ScopedVariable directory(kProgramDirVariable, "/opt/kavrinth/bin/");
    EXPECT_EQ(ProgramDirectory(), "/opt/kavrinth/bin");
  }
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    ScopedVariable directory(kProgramDirVariable, value);
    const std::filesystem::path found = ProgramDirectory();
    EXPECT_TRUE(found.is_absolute()) << found;
    EXPECT_TRUE(std::filesystem::exists(found / "platform_process_test")) << found;
  }
}

}  // namespace
}  // namespace kavrinth
