// The time limit on a test's child programs: a child that outlives it, and the child it
// started, are killed and the test fails; children that end in time are left alone.
#include "testing/child_time_limit.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

TEST(ChildTimeLimitTest, ChildrenStartedPastTheLimitAreKilledToo) {
  int status = 0;
  EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(
      {
        ChildTimeLimit limit(100);
        ::usleep(300000);
        const pid_t child = StartNeverEndingChild();
        ASSERT_GT(child, 0);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
      },
      "ms were killed: ");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

TEST(ChildTimeLimitTest, ChildrenThatEndInTimeAreLeftAlone) {
  ChildTimeLimit limit(5000);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(7);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
}

// A suite whose set-up fails, registered only in the child run of the test below.
class FailingSetUpSuite : public ::testing::Test {
 public:
  static void SetUpTestSuite() { ADD_FAILURE() << "the set-up fails on purpose"; }
};

class NeverRuns : public FailingSetUpSuite {
 public:
  void TestBody() override {}
};

constexpr char kProbeVariable[] = "KAVRINTH_FAILING_SET_UP_PROBE";

const bool kProbeRegistered = [] {
  if (std::getenv(kProbeVariable) == nullptr) return false;
  ::testing::RegisterTest("FailingSetUpProbe", "NeverRuns", nullptr, nullptr, __FILE__, __LINE__,
                          []() -> FailingSetUpSuite* { return new NeverRuns; });
  return true;
}();

// gtest reports the tests of a suite whose set-up failed as skipped, which CTest would
// count as skipped, not failed; the test_support listener ends such a run failed.
TEST(TestListenerTest, AFailedSuiteSetUpFailsTheRunInsteadOfSkippingItsTests) {
  EXPECT_FALSE(kProbeRegistered);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string command =
      std::string(kProbeVariable) + "=1 '" + self + "' --gtest_filter=FailingSetUpProbe.* 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char block[4096];
  for (size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, got);
  const int status = ::pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 1) << output;
  EXPECT_NE(output.find("the set-up fails on purpose"), std::string::npos) << output;
  EXPECT_NE(output.find("the set-up of the test suite failed, so NeverRuns cannot run"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("[  SKIPPED ]"), std::string::npos) << output;
}

}  // namespace
}  // namespace kavrinth::test_support
