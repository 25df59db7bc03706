// Helpers of the hand-over tests: plain socket connections that say nothing, sockets that
// other users own, and a listener run by another user that answers like a viewer and
// counts what it was sent.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "testing/unprivileged.h"

namespace kavrinth::test_support {

inline sockaddr_un SocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

// A connection to the socket that sends nothing: its descriptor, or -1 when none could be
// made within the time. While the listening side's queue is full the events are pumped
// (the listener may run in this process) and the connection is tried again.
inline int ConnectIdle(const std::string& path, int timeout_ms = 2000) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const sockaddr_un address = SocketAddress(path);
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return fd;
    }
    if (errno != EAGAIN || waited.elapsed() > timeout_ms) break;
    QCoreApplication::processEvents();
    ::usleep(1000);
  }
  ::close(fd);
  return -1;
}

// True once the other end has closed the connection (within the time).
inline bool ClosedByPeer(int fd, int timeout_ms) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < timeout_ms) {
    char byte = 0;
    const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return true;
    QCoreApplication::processEvents();
    ::usleep(5000);
  }
  return false;
}

// Sets an environment variable for one scope, and puts back what was there before.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A listening socket of this process at the path: its descriptor, or -1.
inline int ListenAt(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const sockaddr_un address = SocketAddress(path);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Raises this process's limit on open files (the test holds many connections at once);
// the soft limit only, as far as the hard limit allows. The limit reached.
inline rlim_t RaiseOpenFileLimit(rlim_t wanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur;
}

// A listener run by the unprivileged user in a child process: it listens in a directory of
// that user, and the test moves its socket to where a viewer's socket belongs. Like a
// viewer it answers every connection with the receipt; it counts the bytes it is sent.
class ForeignListener {
 public:
  // The listener's directory lies in /tmp, where the unprivileged user can reach it.
  ForeignListener() {
    char pattern[] = "/tmp/vexil-foreign-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      ADD_FAILURE() << "cannot make a directory in /tmp";
      return;
    }
    directory_ = pattern;
    socket_path_ = directory_ + "/planted.socket";
    if (::geteuid() == 0 && ::chown(pattern, kUnprivilegedId, kUnprivilegedId) != 0) {
      ADD_FAILURE() << "cannot give " << directory_ << " to the unprivileged user";
      return;
    }
    int ready[2];
    int counted[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(counted, O_CLOEXEC) != 0) return;
    const sockaddr_un address = SocketAddress(socket_path_);
    const pid_t parent = ::getpid();
    child_ = ::fork();
    if (child_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(3);
      if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
                               ::setuid(kUnprivilegedId) != 0)) {
        ::_exit(2);
      }
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
          ::listen(fd, 8) != 0) {
        ::_exit(2);
      }
      // Open to all, as a socket planted for others is.
      ::chmod(address.sun_path, 0777);
      const char go = 'R';
      if (::write(ready[1], &go, 1) != 1) ::_exit(2);
      unsigned long received = 0;
      for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 60000) <= 0) break;
        const int client = ::accept(fd, nullptr, nullptr);
        if (client < 0) break;
        char buffer[4096];
        pollfd more{client, POLLIN, 0};
        bool answered = false;
        while (::poll(&more, 1, 2000) > 0) {
          const ssize_t got = ::read(client, buffer, sizeof buffer);
          if (got <= 0) break;
          received += static_cast<unsigned long>(got);
          if (!answered) answered = ::write(client, "A", 1) == 1;
          // What it holds is not wanted, only how much arrived.
          if (::write(counted[1], &received, sizeof received) < 0) ::_exit(2);
        }
        ::close(client);
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(counted[1]);
    counted_ = counted[0];
    pollfd wait{ready[0], POLLIN, 0};
    char go = 0;
    ready_ = ::poll(&wait, 1, 10000) > 0 && ::read(ready[0], &go, 1) == 1 && go == 'R';
    ::close(ready[0]);
  }
  ~ForeignListener() {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    if (counted_ >= 0) ::close(counted_);
    if (!directory_.empty()) {
      ::unlink(socket_path_.c_str());
      ::rmdir(directory_.c_str());
    }
  }
  bool ready() const { return ready_; }
  // Moves the listener's socket to the path (the path of a viewer's socket).
  bool MoveTo(const std::string& path) const {
    return ::rename(socket_path_.c_str(), path.c_str()) == 0;
  }
  // The bytes the listener was sent so far.
  unsigned long Received() {
    unsigned long value = 0;
    pollfd wait{counted_, POLLIN, 0};
    while (::poll(&wait, 1, 0) > 0 && ::read(counted_, &value, sizeof value) == sizeof value) {
      received_ = value;
    }
    return received_;
  }

 private:
  std::string directory_;
  std::string socket_path_;
  pid_t child_ = -1;
  int counted_ = -1;
  bool ready_ = false;
  unsigned long received_ = 0;
};

}  // namespace kavrinth::test_support
