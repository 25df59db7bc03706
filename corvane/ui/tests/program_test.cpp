// The real corvane program: its usage, its refusal of bad arguments, and a start under Xvfb
// with the xcb platform that shows a job log given on the command line.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "corvane/ui/tests/corvane_test_support.h"
#include "testing/x_server.h"

namespace kavrinth {
namespace {

constexpr const char* kCorvane = CORVANE_PROGRAM;

// A child process, killed and reaped when the test leaves, whatever happened.
class Child {
 public:
  // Starts argv with the extra environment, its output going to the file.
  Child(std::vector<std::string> argv, std::vector<std::string> environment,
        const std::string& output = "/dev/null") {
    pid_ = fork();
    if (pid_ == 0) {
      for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
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

using ProgramTest = CorvaneWindowTest;

TEST_F(ProgramTest, HelpPrintsUsageAndBadArgumentsFail) {
  Child help({kCorvane, "--help"}, {}, Path("help.txt"));
  EXPECT_EQ(help.Wait(10000), 0);
  EXPECT_EQ(ReadFile(Path("help.txt")).rfind("Usage: corvane [file.log]\n", 0), 0u);
  Child bad({kCorvane, "-x"}, {}, Path("bad.txt"));
  EXPECT_EQ(bad.Wait(10000), 2);
  EXPECT_EQ(ReadFile(Path("bad.txt")).rfind("corvane: unexpected argument '-x'\n", 0), 0u);
  Child empty({kCorvane, ""}, {}, Path("empty.txt"));
  EXPECT_EQ(empty.Wait(10000), 2) << "an empty name is no file to open";
  EXPECT_EQ(ReadFile(Path("empty.txt")).rfind("corvane: the file name given is empty\n", 0), 0u);
  Child headless(
      {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", kCorvane},
      {}, Path("headless.txt"));
  EXPECT_EQ(headless.Wait(10000), 1) << "no waiting for a user who cannot reach it";
  EXPECT_EQ(ReadFile(Path("headless.txt")).rfind("corvane: no display", 0), 0u);
}

TEST_F(ProgramTest, StartsUnderXvfbAndShowsTheLogGiven) {
  test_support::TestXServer server;
  ASSERT_GE(server.number(), 0) << "Xvfb did not start (tools/setup.sh installs it)";
  const std::string display = server.display();

  // The title names the remembered input once the log given has been opened.
  WriteFile("config/Kavrinth/Corvane.ini", "[Corvane]\r\nInputFile=/masks/chip one.em\r\n");
  WriteFile("run one.log", "GDS Output File:\tdemo.gds\r\n");
  Child corvane({kCorvane, Path("run one.log")},
                {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + Path("config")},
                Path("corvane.txt"));
  std::string windows;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    windows = test_support::CommandOutput("xwininfo -root -tree -display " + display);
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

// "corvane demo.em" shows the file in its log view, editable. With the clipboard of a new
// X session, which holds nothing, Ctrl+V and Shift+Insert there leave corvane running, and
// Save Log As writes the file's bytes unchanged.
TEST_F(ProgramTest, APasteFromTheEmptyClipboardLeavesTheProgramAndTheLogAsTheyWere) {
  test_support::TestXServer server;
  ASSERT_GE(server.number(), 0) << "Xvfb did not start (tools/setup.sh installs it)";
  test_support::XUser user(server.number());
  ASSERT_TRUE(user.ready()) << "the X libraries (libX11, libXtst) are not there";
  const std::string em = ReadFile(std::string(SAMPLES_DIR) + "/demo.em");
  ASSERT_FALSE(em.empty());
  WriteFile("demo.em", em);
  WriteFile("config/Kavrinth/Corvane.ini", "[Corvane]\r\nInputFile=/masks/chip.em\r\n");
  Child corvane(
      {kCorvane, Path("demo.em")},
      {"DISPLAY=" + server.display(), "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + Path("config")},
      Path("corvane.txt"));
  const auto shown = [&](const std::string& title) {
    std::optional<test_support::ShownWindow> window;
    for (int i = 0; i < 200 && !window && corvane.Running(); ++i) {
      window = test_support::FindShownWindow(server.number(), title, "corvane");
      if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (window) user.Focus(window->id);
    return window;
  };
  const std::optional<test_support::ShownWindow> main = shown("CORVANE - chip.em");
  ASSERT_TRUE(main) << ReadFile(Path("corvane.txt"));
  // A point of the log beside the control panel, which stands in the middle.
  user.Click(main->x + 40, main->y + main->height * 3 / 4);
  user.Keys("Control_L+v");
  user.Keys("Shift_L+Insert");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(corvane.Running()) << "corvane died on a paste from the empty clipboard\n"
                                 << ReadFile(Path("corvane.txt"));
  user.Keys("Control_L+s");
  ASSERT_TRUE(shown("Save Log As")) << ReadFile(Path("corvane.txt"));
  user.Keys("Control_L+a");
  user.Type(Path("copy.log"));
  user.Keys("Return");
  for (int i = 0; i < 200 && ReadFile(Path("copy.log")).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(ReadFile(Path("copy.log")) == em) << "the log after the paste is the file";
  EXPECT_TRUE(corvane.Running());
}

}  // namespace
}  // namespace kavrinth
