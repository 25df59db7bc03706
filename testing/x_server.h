// The programs' tests on a real X server: an Xvfb of the test's own, the windows the
// programs show on it, and a user at its keyboard and mouse (through the server's test
// extension). The X libraries are looked up when the test runs, so building the tests needs
// no X headers; Xvfb and xwininfo come from the packages tools/setup.sh installs.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kavrinth::test_support {

// An Xvfb of its own, stopped when it goes out of scope. It picks a free display itself and
// writes the number to a pipe, so tests that start servers at the same time never share one.
// -noreset: a server that resets when its last client leaves refuses a client connecting
// at that moment (a program starting while a scan of the windows ends).
class TestXServer {
 public:
  explicit TestXServer(const std::string& screen = "1024x768x24") {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return;
    const std::string fd_text = std::to_string(pipe_fds[1]);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null_fd = ::open("/dev/null", O_WRONLY);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
      ::close(pipe_fds[0]);
      ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-noreset", "-nolisten",
              "tcp", "-screen", "0", screen.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(pipe_fds[1]);
    std::string text;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pid_ > 0 && std::chrono::steady_clock::now() < end && text.find('\n') == text.npos) {
      pollfd wait{pipe_fds[0], POLLIN, 0};
      if (::poll(&wait, 1, 50) <= 0) continue;
      char buffer[32];
      const ssize_t got = ::read(pipe_fds[0], buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    ::close(pipe_fds[0]);
    if (text.find('\n') != text.npos && Running()) number_ = std::atoi(text.c_str());
  }
  ~TestXServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  TestXServer(const TestXServer&) = delete;
  TestXServer& operator=(const TestXServer&) = delete;

  // The display number, or -1 when the server did not start.
  int number() const { return number_; }
  // "DISPLAY=:n" for a child's environment.
  std::string display() const { return ":" + std::to_string(number_); }
  bool Running() {
    if (pid_ <= 0) return false;
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ > 0;
  }

 private:
  pid_t pid_ = -1;
  int number_ = -1;
};

// A window shown on the server: its id and where it stands on the screen.
struct ShownWindow {
  unsigned long id = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

// What a command prints on its standard output (its errors go with it).
inline std::string CommandOutput(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    size_t got = 0;
    while ((got = ::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
    ::pclose(pipe);
  }
  return text;
}

// The viewable window of that title that the program (its X class name) shows on the
// display, if there is one; other_than skips a window already known (one of the same title).
inline std::optional<ShownWindow> FindShownWindow(int display, const std::string& title,
                                                  const std::string& program,
                                                  unsigned long other_than = 0) {
  const std::string server = " -display :" + std::to_string(display);
  const std::string wanted = " \"" + title + "\": (\"" + program + "\"";
  std::istringstream tree(CommandOutput("xwininfo -root -tree" + server));
  for (std::string line; std::getline(tree, line);) {
    if (line.find(wanted) == std::string::npos) continue;
    const size_t start = line.find("0x");
    if (start == std::string::npos) continue;
    ShownWindow window;
    window.id = std::stoul(line.substr(start), nullptr, 16);
    if (window.id == other_than) continue;
    const std::string details =
        CommandOutput("xwininfo -id " + std::to_string(window.id) + server);
    if (details.find("Map State: IsViewable") == std::string::npos) continue;
    const auto value = [&details](const std::string& name) {
      const size_t at = details.find(name);
      return at == std::string::npos ? 0 : std::atoi(details.c_str() + at + name.size());
    };
    window.x = value("Absolute upper-left X:");
    window.y = value("Absolute upper-left Y:");
    window.width = value("Width:");
    window.height = value("Height:");
    return window;
  }
  return std::nullopt;
}

// A user at the X server: keys and clicks through the test extension, and the focus given
// to a window. Each step is followed by `pause`, so the program takes what it got before
// the next one comes (by default a quarter of a second of sleep; a test whose own process
// runs Qt objects passes a pause that keeps its events going).
class XUser {
 public:
  using Window = unsigned long;

  explicit XUser(int display_number, std::function<void()> pause = nullptr)
      : pause_(std::move(pause)) {
    if (!pause_) pause_ = [] { std::this_thread::sleep_for(std::chrono::milliseconds(250)); };
    x11_ = ::dlopen("libX11.so.6", RTLD_NOW);
    xtst_ = ::dlopen("libXtst.so.6", RTLD_NOW);
    if (x11_ == nullptr || xtst_ == nullptr) return;
    Find(x11_, "XOpenDisplay", &open_display_);
    Find(x11_, "XCloseDisplay", &close_display_);
    Find(x11_, "XSetErrorHandler", &set_error_handler_);
    Find(x11_, "XSetInputFocus", &set_input_focus_);
    Find(x11_, "XKeysymToKeycode", &keysym_to_keycode_);
    Find(x11_, "XStringToKeysym", &string_to_keysym_);
    Find(x11_, "XSync", &sync_);
    Find(xtst_, "XTestFakeKeyEvent", &fake_key_);
    Find(xtst_, "XTestFakeButtonEvent", &fake_button_);
    Find(xtst_, "XTestFakeMotionEvent", &fake_motion_);
    if (!found_all_) return;
    // A focus given to a window that has just gone is no reason to end the test.
    set_error_handler_([](void*, void*) { return 0; });
    display_ = open_display_((":" + std::to_string(display_number)).c_str());
  }
  ~XUser() {
    if (display_ != nullptr) close_display_(display_);
    if (xtst_ != nullptr) ::dlclose(xtst_);
    if (x11_ != nullptr) ::dlclose(x11_);
  }
  XUser(const XUser&) = delete;
  XUser& operator=(const XUser&) = delete;

  bool ready() const { return display_ != nullptr; }

  void Focus(Window window) {
    set_input_focus_(display_, window, 2 /* RevertToParent */, 0 /* CurrentTime */);
    sync_(display_, 0);
    pause_();
  }
  // Presses the keys of a chord ("Alt_L+t") one after the other and lets them go in turn.
  void Keys(const std::string& chord) {
    std::vector<unsigned> codes;
    size_t start = 0;
    while (start <= chord.size()) {
      size_t end = chord.find('+', start);
      if (end == std::string::npos) end = chord.size();
      codes.push_back(keysym_to_keycode_(
          display_, string_to_keysym_(chord.substr(start, end - start).c_str())));
      start = end + 1;
    }
    for (unsigned code : codes) fake_key_(display_, code, 1, 0);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code) fake_key_(display_, *code, 0, 0);
    sync_(display_, 0);
    pause_();
  }
  // Types the text: letters, digits, blanks and the punctuation of paths.
  void Type(const std::string& text) {
    static const std::pair<char, const char*> kNamed[] = {
        {'/', "slash"}, {'.', "period"}, {'_', "underscore"}, {'-', "minus"},
        {' ', "space"}, {',', "comma"},  {':', "colon"},      {'~', "asciitilde"}};
    for (char c : text) {
      std::string key(1, c);
      for (const auto& [character, name] : kNamed) {
        if (character == c) key = name;
      }
      if (c >= 'A' && c <= 'Z') key = "Shift_L+" + key;
      if (c == '_' || c == ':' || c == '~') key = "Shift_L+" + key;
      Keys(key);
    }
  }
  void Click(int x, int y) {
    fake_motion_(display_, -1, x, y, 0);
    fake_button_(display_, 1, 1, 0);
    fake_button_(display_, 1, 0, 0);
    sync_(display_, 0);
    pause_();
  }

 private:
  template <class F>
  void Find(void* library, const char* name, F** function) {
    *function = reinterpret_cast<F*>(::dlsym(library, name));
    if (*function == nullptr) found_all_ = false;
  }

  std::function<void()> pause_;
  void* x11_ = nullptr;
  void* xtst_ = nullptr;
  void* display_ = nullptr;
  bool found_all_ = true;
  void* (*open_display_)(const char*) = nullptr;
  int (*close_display_)(void*) = nullptr;
  void* (*set_error_handler_)(int (*)(void*, void*)) = nullptr;
  int (*set_input_focus_)(void*, Window, int, unsigned long) = nullptr;
  unsigned char (*keysym_to_keycode_)(void*, unsigned long) = nullptr;
  unsigned long (*string_to_keysym_)(const char*) = nullptr;
  int (*sync_)(void*, int) = nullptr;
  int (*fake_key_)(void*, unsigned, int, unsigned long) = nullptr;
  int (*fake_button_)(void*, unsigned, int, unsigned long) = nullptr;
  int (*fake_motion_)(void*, int, int, int, unsigned long) = nullptr;
};

}  // namespace kavrinth::test_support
