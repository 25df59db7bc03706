// Running a piece of a test as an ordinary user: permission checks (a read-only directory,
// a file without read permission) do not stop root, and the tests run as root in CI, so the
// attempt runs in a child process that has dropped to an unprivileged user and group.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace kavrinth::test_support {

// The user and group id of "nobody" on Debian: owns nothing of the system's.
inline constexpr uid_t kUnprivilegedId = 65534;

// When this process is root, makes the unprivileged user the owner of a directory and all
// in it, so that the owner permissions the test sets there apply to the child of
// RunUnprivileged as they apply to an ordinary user running the tests on their own files.
// Does nothing for an ordinary user, who owns them already.
inline void HandOver(const std::string& directory) {
  if (::geteuid() != 0) return;
  namespace fs = std::filesystem;
  auto give = [](const fs::path& path) {
    if (::lchown(path.c_str(), kUnprivilegedId, kUnprivilegedId) != 0) {
      ADD_FAILURE() << "cannot hand " << path << " over to the unprivileged user";
    }
  };
  give(directory);
  std::error_code error;
  for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    give(it->path());
  }
  if (error) ADD_FAILURE() << "cannot walk " << directory << ": " << error.message();
}

// Runs work in a forked child and returns what it returned. When this process is root, the
// child first drops every group and takes the unprivileged user and group id, so that it
// holds no privilege over files. The child gets at most timeout_ms and is killed then; a
// child that cannot drop its privileges, crashes, throws or runs out of time fails the
// test and gives no value. work must not use gtest assertions (they would be lost with
// the child): it returns what the test then checks.
inline std::optional<bool> RunUnprivileged(const std::function<bool()>& work,
                                           int timeout_ms = 60000) {
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) {
    ADD_FAILURE() << "cannot fork";
    return std::nullopt;
  }
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(3);
    if (::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
          ::setuid(kUnprivilegedId) != 0 || ::geteuid() == 0) {
        std::perror("cannot drop to the unprivileged user");
        ::_exit(2);
      }
    }
    // An exception must not leave the child: the test framework would catch it and run
    // the rest of the test, its cleanup included, a second time.
    bool result = false;
    try {
      result = work();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "the unprivileged child's work threw: %s\n", e.what());
      std::fflush(nullptr);
      ::_exit(4);
    } catch (...) {
      std::fprintf(stderr, "the unprivileged child's work threw\n");
      std::fflush(nullptr);
      ::_exit(4);
    }
    std::fflush(nullptr);
    ::_exit(result ? 0 : 1);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  pid_t ended = 0;
  while ((ended = ::waitpid(child, &status, WNOHANG)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      ADD_FAILURE() << "the unprivileged child ran past " << timeout_ms << " ms and was killed";
      return std::nullopt;
    }
    const timespec millisecond{0, 1000000};
    ::nanosleep(&millisecond, nullptr);
  }
  if (ended != child) {
    ADD_FAILURE() << "lost the unprivileged child";
    return std::nullopt;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) <= 1) return WEXITSTATUS(status) == 0;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 4) {
    ADD_FAILURE() << "the unprivileged child's work threw an exception";
  } else if (WIFEXITED(status)) {
    ADD_FAILURE() << "the unprivileged child failed to start its work (status "
                  << WEXITSTATUS(status) << ")";
  } else {
    ADD_FAILURE() << "the unprivileged child ended by signal "
                  << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  }
  return std::nullopt;
}

// In the child of RunUnprivileged: lowers the limit on the user's processes so that no
// thread can start any more, as a user meets it under a tight process limit. True when
// starting a thread indeed fails now (says why on stderr otherwise), so that a test of
// work without threads cannot pass without that case.
inline bool ForbidNewThreads() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NPROC, &limit) != 0) {
    std::perror("getrlimit");
    return false;
  }
  limit.rlim_cur = 0;
  if (::setrlimit(RLIMIT_NPROC, &limit) != 0) {
    std::perror("setrlimit");
    return false;
  }
  try {
    std::thread([] {}).join();
  } catch (const std::system_error&) {
    return true;
  }
  std::fprintf(stderr, "a thread still starts under a process limit of 0\n");
  return false;
}

}  // namespace kavrinth::test_support
