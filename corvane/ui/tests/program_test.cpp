// The real corvane program: its usage, its refusal of bad arguments, and a start under Xvfb
// with the xcb platform that shows a job log given on the command line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "corvane/ui/tests/corvane_test_support.h"

namespace kavrinth {
namespace {

constexpr const char* kCorvane = CORVANE_PROGRAM;

// A child process, killed and reaped when the test leaves, whatever happened.
class Child {
 public:
  // Starts argv with the extra environment; keep_fd stays open in the child.
  Child(std::vector<std::string> argv, std::vector<std::string> environment, int keep_fd = -1,
        const std::string& output = "/dev/null") {
    pid_ = fork();
    if (pid_ == 0) {
      for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      if (keep_fd >= 0) fcntl(keep_fd, F_SETFD, 0);
      std::vector<char*> args;
      for (std::string& arg : argv) args.push_back(arg.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() { Stop(); }
  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = status;
      return false;
    }
    return true;
  }
  // Waits at most the time for the end; the exit status, or -1 when it had to be killed.
  int Wait(int timeout_ms) {
    for (int waited = 0; waited < timeout_ms && Running(); waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (Running()) {
      Stop();
      return -1;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && Running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
};

// Reads what arrives on the descriptor within the time.
std::string ReadWithin(int fd, int timeout_ms) {
  std::string text;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end && text.find('\n') == std::string::npos) {
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, 50) > 0) {
      char buffer[64];
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
  }
  return text;
}

std::string OutputOf(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
    pclose(pipe);
  }
  return text;
}

using ProgramTest = CorvaneWindowTest;

TEST_F(ProgramTest, HelpPrintsUsageAndBadArgumentsFail) {
  Child help({kCorvane, "--help"}, {}, -1, Path("help.txt"));
  EXPECT_EQ(help.Wait(10000), 0);
  EXPECT_EQ(ReadFile(Path("help.txt")).rfind("Usage: corvane [file.log]\n", 0), 0u);
  Child bad({kCorvane, "-x"}, {}, -1, Path("bad.txt"));
  EXPECT_EQ(bad.Wait(10000), 2);
  EXPECT_EQ(ReadFile(Path("bad.txt")).rfind("corvane: unexpected argument '-x'\n", 0), 0u);
  Child empty({kCorvane, ""}, {}, -1, Path("empty.txt"));
  EXPECT_EQ(empty.Wait(10000), 2) << "an empty name is no file to open";
  EXPECT_EQ(ReadFile(Path("empty.txt")).rfind("corvane: the file name given is empty\n", 0), 0u);
  Child headless(
      {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", kCorvane},
      {}, -1, Path("headless.txt"));
  EXPECT_EQ(headless.Wait(10000), 1) << "no waiting for a user who cannot reach it";
  EXPECT_EQ(ReadFile(Path("headless.txt")).rfind("corvane: no display", 0), 0u);
}

TEST_F(ProgramTest, StartsUnderXvfbAndShowsTheLogGiven) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  // -noreset: a server that resets when its last client leaves refuses a client that
  // connects at that moment (corvane starting while a scan of the windows ends).
  Child server({"/usr/bin/Xvfb", "-displayfd", std::to_string(pipe_fds[1]), "-noreset",
                "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
               {}, pipe_fds[1], Path("xvfb.txt"));
  close(pipe_fds[1]);
  const std::string number = ReadWithin(pipe_fds[0], 15000);
  close(pipe_fds[0]);
  ASSERT_FALSE(number.empty()) << "Xvfb did not start: " << ReadFile(Path("xvfb.txt"));
  const std::string display = ":" + number.substr(0, number.find('\n'));

  // The title names the remembered input once the log given has been opened.
  WriteFile("config/Kavrinth/Corvane.ini", "[Corvane]\r\nInputFile=/masks/chip one.em\r\n");
  WriteFile("run one.log", "GDS Output File:\tdemo.gds\r\n");
  Child corvane({kCorvane, Path("run one.log")},
                {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + Path("config")},
                -1, Path("corvane.txt"));
  std::string windows;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    windows = OutputOf("xwininfo -root -tree -display " + display + " 2>&1");
    if (windows.find("\"CORVANE - chip one.em\"") != std::string::npos &&
        windows.find("\"CORVANE\"") != std::string::npos) {
      break;
    }
    ASSERT_TRUE(corvane.Running()) << ReadFile(Path("corvane.txt"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(windows.find("\"CORVANE - chip one.em\""), std::string::npos)
      << windows << ReadFile(Path("corvane.txt"));
  EXPECT_NE(windows.find("\"CORVANE\""), std::string::npos) << "the control panel";
  EXPECT_TRUE(corvane.Running());
}

}  // namespace
}  // namespace kavrinth
