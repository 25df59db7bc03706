// The engine's small routines: the search over PATH, environment values, the version
// text, copying a file into a stream, thousands separators and the exit.
#include "tabreng/engine_routines.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "support/notifier.h"
#include "tabreng/command_line.h"
#include "tabreng/engine.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

using testing::ScratchJob;

TEST(EngineRoutines, FormatThousands) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0"},
      {123, "123"},
      {-123, "-123"},
      {1234, "1,234"},
      {-1234, "-1,234"},
      {100000, "100,000"},
      {-999999, "-999,999"},
      {1234567, "1,234,567"},
      {INT64_MIN, "-9,223,372,036,854,775,808"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatThousands(value), text) << value;
}

TEST(EngineRoutines, FindOnPathListTriesTheWorkingDirectoryThenTheList) {
  ScratchJob job;
  std::filesystem::create_directories("one");
  std::filesystem::create_directories("two/sub");
  ScratchJob::Write("two/prog", "");
  ScratchJob::Write("one/prog", "");
  std::string found;
  EXPECT_EQ(FindOnPathList("prog", &found, "none:two:one"), 0);
  EXPECT_EQ(found, "two/prog");
  EXPECT_EQ(FindOnPathList("prog", &found, job.path() + "/one/"), 0);
  EXPECT_EQ(found, job.path() + "/one/prog");
  EXPECT_EQ(FindOnPathList("sub", &found, "two"), -1) << "a directory is not the program";
  EXPECT_EQ(found, "");
  EXPECT_EQ(FindOnPathList("missing", &found, "one:two"), -1);
  ScratchJob::Write("prog", "");
  EXPECT_EQ(FindOnPathList("prog", &found, "two"), 0);
  EXPECT_EQ(found, "./prog");
}

TEST(EngineRoutines, EngineDirectoryFallsBackOnTheProgramWord) {
  ScratchJob job;
  std::filesystem::create_directories("bin2");
  ScratchJob::Write("bin2/tabreng", "");
  const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (job.path() + "/bin2").c_str(), 1);
  EXPECT_EQ(EngineDirectory(nullptr, "/nonexistent/link", "tabreng"), job.path() + "/bin2");
  EXPECT_EQ(EngineDirectory(nullptr, "/nonexistent/link", "/opt/k/bin/tabreng"), "/opt/k/bin");
  EXPECT_FALSE(EngineDirectory(nullptr, "/nonexistent/link", "nowhere").has_value());
  ::setenv("PATH", saved.c_str(), 1);
}

TEST(EngineRoutines, EnvironmentAndVersionText) {
  ::setenv("KAVRINTH_ROUTINE_TEST", "a value", 1);
  std::string text = "old";
  GetEnvInto("KAVRINTH_ROUTINE_TEST", &text);
  EXPECT_EQ(text, "a value");
  ::unsetenv("KAVRINTH_ROUTINE_TEST");
  GetEnvInto("KAVRINTH_ROUTINE_TEST", &text);
  EXPECT_EQ(text, "");
  VersionString(&text);
  EXPECT_EQ(text, "6.30 (3.81) 11/11/99");
  // Every job's state starts with it.
  ScratchJob job;
  ScratchJob::Write("a.gds", "");
  EngineOptions options;
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  ASSERT_EQ(ParseCommandLine({"tabreng", "a.gds", "1.5", "=", "="}, options), 0);
  EXPECT_EQ(options.version, "6.30 (3.81) 11/11/99");
}

TEST(EngineRoutines, CopyFileIntoAppendsAndRemovesOrWarns) {
  ScratchJob job;
  std::string big(70000, 'x');
  for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
  ScratchJob::Write("part.txt", big);
  ScratchJob::Write("all.txt", "head:");
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen("all.txt", "ab"), &std::fclose);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(CopyFileInto("part.txt", out.get(), false), 0);
    EXPECT_EQ(CopyFileInto("part.txt", out.get(), true), 0);
    EXPECT_EQ(CopyFileInto("part.txt", out.get(), true), 1);  // removed by the copy before
  }
  EXPECT_EQ(ScratchJob::Read("all.txt"), "head:" + big + big);
  EXPECT_FALSE(ScratchJob::Exists("part.txt"));
  std::filesystem::create_directories("dir.txt");
  EXPECT_EQ(CopyFileInto("dir.txt", stdout, false), 1);  // a directory cannot be read as a file
  ASSERT_EQ(notifier.shown.size(), 2u);
  EXPECT_EQ(notifier.shown[0].text, "Unable to stat file to be copied 'part.txt'.");
  EXPECT_EQ(notifier.shown[1].text, "Unable to open file to be copied 'dir.txt' for input.");
  EXPECT_EQ(notifier.shown[0].icon, MessageIcon::kWarning);
}

TEST(EngineRoutinesDeathTest, FlushAndExitEndsWithTheCode) {
  ::unsetenv("KAVRINTH_RESULT_FD");
  EXPECT_EXIT(
      {
        std::fputs("pending", stdout);
        FlushAndExit(7);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(FlushAndExit(-1), ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace kavrinth
