// The time limit on a test's child programs: a child that outlives it, and the child it
// started, are killed and the test fails; children that end in time are left alone.
#include "testing/child_time_limit.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace kavrinth::test_support {
namespace {

// Starts a shell that starts a long sleep of its own and waits for it.
pid_t StartNeverEndingChild() {
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", "sleep 1000; echo", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return child;
}

TEST(ChildTimeLimitTest, ChildrenPastTheLimitAreKilledAndFailTheTest) {
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(
      {
        ChildTimeLimit limit(300);
        const pid_t child = StartNeverEndingChild();
        ASSERT_GT(child, 0);
        // The shell's own child is there before the limit passes.
        for (int i = 0; i < 100 && Descendants(::getpid()).size() < 2; ++i) ::usleep(10000);
        EXPECT_EQ(Descendants(::getpid()).size(), 2u);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
      },
      "ms were killed: ");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  for (int i = 0; i < 100 && !Descendants(::getpid()).empty(); ++i) ::usleep(10000);
  EXPECT_TRUE(Descendants(::getpid()).empty()) << "the sleep was killed too";
}

TEST(ChildTimeLimitTest, ChildrenThatEndInTimeAreLeftAlone) {
  ChildTimeLimit limit(5000);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(7);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
}

}  // namespace
}  // namespace kavrinth::test_support
