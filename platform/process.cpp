// The result channel on both sides, child processes started with posix_spawn and
// reaped in the background, and the program directory.
#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

extern char** environ;

namespace kavrinth {

namespace {

// The longest result text a child can sensibly write ("-2147483648" and a line end);
// anything longer is not a result.
constexpr size_t kMaxResultText = 64;

// An owned descriptor, closed when it goes out of scope.
class OwnedFd {
 public:
  explicit OwnedFd(int fd = -1) : fd_(fd) {}
  ~OwnedFd() { Reset(); }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

class SpawnActions {
 public:
  SpawnActions() : status_(posix_spawn_file_actions_init(&actions_)) {}
  ~SpawnActions() {
    if (status_ == 0) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  int status() const { return status_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  int status_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() : status_(posix_spawnattr_init(&attributes_)) {}
  ~SpawnAttributes() {
    if (status_ == 0) posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  int status() const { return status_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  int status_;
};

// The descriptor KAVRINTH_RESULT_FD names, when it is an open pipe above the
// standard three; a stale number that now names some other file is never used.
std::optional<int> InheritedResultFd() {
  const char* text = std::getenv(std::string(kResultFdVariable).c_str());
  if (!text || !*text) return std::nullopt;
  std::string_view view(text);
  int fd = -1;
  auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), fd);
  if (error != std::errc() || end != view.data() + view.size() || fd <= STDERR_FILENO) {
    return std::nullopt;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return std::nullopt;
  return fd;
}

// Writes all of text; a closed reader gives EPIPE instead of killing the program:
// SIGPIPE is blocked for the write and a SIGPIPE it raised is taken off again.
void WriteWithoutSigpipe(int fd, std::string_view text) {
  sigset_t pipe_set, previous;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_set, &previous);
  bool broken = false;
  while (!text.empty()) {
    ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      broken = written < 0 && errno == EPIPE;
      break;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  if (broken) {
    const timespec no_wait{};
    while (sigtimedwait(&pipe_set, nullptr, &no_wait) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// Moves a new descriptor above 0-2, so that a child never mistakes it for a
// standard stream even when we were started without one.
int LiftAboveStdio(int fd) {
  if (fd > STDERR_FILENO) return fd;
  int lifted = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  int saved = errno;
  close(fd);
  errno = saved;
  return lifted;
}

// The result pipe: both ends close-on-exec (the child's end is opened up for that
// one child only), the read end non-blocking so that a grandchild holding the
// write end can never stall the reader.
int MakeResultPipe(OwnedFd* read_end, OwnedFd* write_end) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return errno;
  read_end->Reset(LiftAboveStdio(fds[0]));
  int read_errno = errno;
  write_end->Reset(LiftAboveStdio(fds[1]));
  if (read_end->get() < 0) return read_errno;
  if (write_end->get() < 0) return errno;
  int flags = fcntl(read_end->get(), F_GETFL);
  if (flags < 0 || fcntl(read_end->get(), F_SETFL, flags | O_NONBLOCK) != 0) return errno;
  return 0;
}

// Our environment without KAVRINTH_RESULT_FD, plus the child's own when it has a
// result pipe: a channel inherited from our parent must never reach our children.
std::vector<std::string> ChildEnvironment(int result_fd) {
  const std::string prefix = std::string(kResultFdVariable) + "=";
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::string_view(*entry).starts_with(prefix)) continue;
    environment.emplace_back(*entry);
  }
  if (result_fd >= 0) environment.push_back(prefix + std::to_string(result_fd));
  return environment;
}

std::vector<char*> PointerList(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

std::string AbsoluteProgramPath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  if (error) return path;
  return (current / path).string();
}

// The child starts with an empty signal mask and the default action for the signals
// the suite relies on (Cancel is SIGTERM), whatever its parent blocked or ignored.
int PrepareAttributes(SpawnAttributes& attributes) {
  if (attributes.status() != 0) return attributes.status();
  sigset_t empty, defaults;
  sigemptyset(&empty);
  sigemptyset(&defaults);
  for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGCHLD}) {
    sigaddset(&defaults, signal_number);
  }
  int status = posix_spawnattr_setsigmask(attributes.get(), &empty);
  if (status == 0) status = posix_spawnattr_setsigdefault(attributes.get(), &defaults);
  if (status == 0) {
    status =
        posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  return status;
}

// The file in memory a child's standard error is written to: it never fills up and never
// blocks the child, whether or not anybody reads it while the child runs.
int MakeErrorsFile(OwnedFd* file) {
  const int fd = memfd_create("child stderr", MFD_CLOEXEC);
  if (fd < 0) return errno;
  file->Reset(LiftAboveStdio(fd));
  return file->get() < 0 ? errno : 0;
}

int PrepareActions(SpawnActions& actions, const char* working_directory, int result_fd,
                   int errors_fd) {
  if (actions.status() != 0) return actions.status();
  int status = 0;
  // An empty directory is none: a path without a directory part (a file named on the
  // command line) gives an empty working directory, which means our own.
  if (working_directory && *working_directory) {
    status = posix_spawn_file_actions_addchdir_np(actions.get(), working_directory);
  }
  // Duplicating a descriptor onto itself clears close-on-exec in the child only.
  if (status == 0 && result_fd >= 0) {
    status = posix_spawn_file_actions_adddup2(actions.get(), result_fd, result_fd);
  }
  if (status == 0 && errors_fd >= 0) {
    status = posix_spawn_file_actions_adddup2(actions.get(), errors_fd, STDERR_FILENO);
  }
  std::optional<int> inherited = InheritedResultFd();
  if (status == 0 && inherited && *inherited != result_fd) {
    status = posix_spawn_file_actions_addclose(actions.get(), *inherited);
  }
  return status;
}

}  // namespace

int ExitStatusForResult(int32_t result) {
  if (result >= 0) return kExitStatusSuccess;
  return result == CancelledExitCode ? kExitStatusCancelled : kExitStatusFailed;
}

void ReportResult(int32_t result) {
  std::optional<int> fd = InheritedResultFd();
  if (fd) WriteWithoutSigpipe(*fd, std::to_string(result));
}

void ExitWithResult(int32_t result) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  ReportResult(result);
  std::exit(ExitStatusForResult(result));
}

int32_t ResultFromExitStatus(int wait_status) {
  if (!WIFEXITED(wait_status)) return -1;
  switch (WEXITSTATUS(wait_status)) {
    case kExitStatusSuccess:
      return 0;
    case kExitStatusFailed:
      return -1;
    case kExitStatusCancelled:
      return CancelledExitCode;
    default:
      return WEXITSTATUS(wait_status);
  }
}

std::optional<int32_t> ParseResultText(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  size_t last = text.find_last_not_of(" \t\r\n");
  if (first == std::string_view::npos || last == std::string_view::npos || last < first) {
    return std::nullopt;
  }
  std::string_view digits = text.substr(first, last + 1 - first);
  int32_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

ChildProcess::~ChildProcess() {
  ReapInBackground();
  CloseResultPipe();
  if (errors_fd_ >= 0) close(errors_fd_);
}

int ChildProcess::Start(const std::vector<std::string>& argv, const char* working_directory,
                        bool result_channel, bool capture_errors) {
  if (pid_ != -1) return EBUSY;
  if (argv.empty()) return EINVAL;
  OwnedFd read_end, write_end, errors_file;
  if (result_channel) {
    if (int error = MakeResultPipe(&read_end, &write_end)) return error;
  }
  if (capture_errors) {
    if (int error = MakeErrorsFile(&errors_file)) return error;
  }
  SpawnActions actions;
  SpawnAttributes attributes;
  if (int error = PrepareActions(actions, working_directory, write_end.get(), errors_file.get())) {
    return error;
  }
  if (int error = PrepareAttributes(attributes)) return error;

  std::string path = AbsoluteProgramPath(argv.front());
  std::vector<std::string> arguments = argv;
  std::vector<std::string> environment = ChildEnvironment(write_end.get());
  std::vector<char*> argument_pointers = PointerList(arguments);
  std::vector<char*> environment_pointers = PointerList(environment);
  pid_t pid = -1;
  int error = posix_spawn(&pid, path.c_str(), actions.get(), attributes.get(),
                          argument_pointers.data(), environment_pointers.data());
  if (error != 0) return error;
  pid_ = pid;
  running_ = true;
  result_fd_ = read_end.Release();
  errors_fd_ = errors_file.Release();
  return 0;
}

ChildStatus ChildProcess::Poll(int* error) {
  if (ended_) return ChildStatus::kEnded;
  if (!running_) {
    *error = ECHILD;
    return ChildStatus::kQueryFailed;
  }
  int status = 0;
  pid_t answer;
  do {
    answer = waitpid(pid_, &status, WNOHANG);
  } while (answer < 0 && errno == EINTR);
  if (answer < 0) {
    *error = errno;
    if (*error == ECHILD) running_ = false;  // somebody else reaped it; nothing left to do
    return ChildStatus::kQueryFailed;
  }
  if (answer == 0) return ChildStatus::kRunning;
  running_ = false;
  ended_ = true;
  result_ = ParseResultText(ReadResultText()).value_or(ResultFromExitStatus(status));
  CloseResultPipe();
  ReadCapturedErrors();
  return ChildStatus::kEnded;
}

void ChildProcess::ReadCapturedErrors() {
  if (errors_fd_ < 0) return;
  errors_.clear();
  std::fflush(stderr);
  char chunk[16384];
  off_t offset = 0;
  for (;;) {
    const ssize_t count = pread(errors_fd_, chunk, sizeof chunk, offset);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    offset += count;
    const size_t kept = std::min(static_cast<size_t>(count), kMaxCapturedErrors - errors_.size());
    errors_.append(chunk, kept);
    // Passed on whole: what a child says is never lost because its caller keeps only the
    // beginning.
    for (std::string_view rest(chunk, static_cast<size_t>(count)); !rest.empty();) {
      const ssize_t written = write(STDERR_FILENO, rest.data(), rest.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) break;
      rest.remove_prefix(static_cast<size_t>(written));
    }
  }
  close(errors_fd_);
  errors_fd_ = -1;
}

std::string ChildProcess::ReadResultText() {
  std::string text;
  if (result_fd_ < 0) return text;
  char chunk[kMaxResultText + 1];
  while (text.size() <= kMaxResultText) {
    ssize_t count = read(result_fd_, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    text.append(chunk, static_cast<size_t>(count));
  }
  // Too long to be a result: make sure it does not parse.
  if (text.size() > kMaxResultText) text.clear();
  return text;
}

void ChildProcess::ReapInBackground() {
  if (!running_) return;
  running_ = false;
  CloseResultPipe();
  const pid_t pid = pid_;
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (...) {
    // Without a thread the child is reaped by nobody; that costs one process slot,
    // which is better than blocking the caller until it ends.
  }
}

void ChildProcess::CloseResultPipe() {
  if (result_fd_ >= 0) close(result_fd_);
  result_fd_ = -1;
}

std::string ProgramDirectory() {
  const char* configured = std::getenv(std::string(kProgramDirVariable).c_str());
  if (configured && *configured) {
    std::string directory = configured;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    return directory;
  }
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !program.has_parent_path()) return ".";
  return program.parent_path().string();
}

}  // namespace kavrinth
