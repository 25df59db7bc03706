// The input selection and the names of a job's files.
#include "corvane/core/session.h"

#include <gtest/gtest.h>

namespace kavrinth {
namespace {

TEST(InputSelectionTest, OneFileSetsInputNamesAndWorkingDirectory) {
  CorvaneSession session;
  session.input_file_layer_table[3] = "7";
  session.checked_file_indexes = "0,3";
  ASSERT_TRUE(ApplyInputSelection(session, {"/masks/em/a.em"}));
  EXPECT_EQ(session.input_file, "/masks/em/a.em");
  EXPECT_EQ(session.input_file_names, std::vector<std::string>{"a.em"});
  EXPECT_EQ(session.working_directory, "/masks/em");
  EXPECT_EQ(session.input_file_layer_table[3], "") << "layers must be given again";
  EXPECT_EQ(session.checked_file_indexes, "");
  EXPECT_EQ(TitleFileName(session), "/masks/em/a.em");
}

TEST(InputSelectionTest, SeveralFilesKeepTheWorkingDirectoryAndAtMost63) {
  CorvaneSession session;
  session.working_directory = "/jobs";
  std::vector<std::string> entries{"/masks"};
  for (int i = 0; i < 70; ++i) entries.push_back("f" + std::to_string(i) + ".dwm");
  ASSERT_TRUE(ApplyInputSelection(session, entries));
  EXPECT_EQ(session.input_file, "/masks/f0.dwm");
  ASSERT_EQ(session.input_file_names.size(), 63u);
  EXPECT_EQ(session.input_file_names.back(), "f62.dwm");
  EXPECT_EQ(session.working_directory, "/jobs");
  EXPECT_EQ(TitleFileName(session), "/masks/f0.dwm...");
  EXPECT_EQ(InputFullPath(session, 2), "/masks/f2.dwm");
  EXPECT_EQ(InputFullPath(session, 63), "");
  EXPECT_FALSE(ApplyInputSelection(session, {})) << "an empty selection changes nothing";
  EXPECT_EQ(session.input_file_names.size(), 63u);
}

TEST(JobNamesTest, FollowTheInputNameAndTheEnginesLogRule) {
  const struct {
    const char* input;
    const char* directory;
    const char* job;
    const char* log;
    const char* lg2;
  } cases[] = {
      {"/m/chip1.em", "/jobs", "/jobs/chip1.job", "/jobs/chip1.log", "/jobs/chip1.lg2"},
      {"/M/CHIP1.EM", "/W", "/W/CHIP1.JOB", "/W/CHIP1.LOG", "/W/CHIP1.LG2"},
      {"/M/CHIP1.EM", "/jobs dir", "/jobs dir/CHIP1.job", "/jobs dir/CHIP1.log",
       "/jobs dir/CHIP1.lg2"},
      {"/m/a.b.dwm", "/w", "/w/a.b.job", "/w/a.b.log", "/w/a.b.lg2"},
  };
  for (const auto& c : cases) {
    CorvaneSession session;
    session.input_file = c.input;
    session.working_directory = c.directory;
    EXPECT_EQ(JobFilePath(session), c.job) << c.input;
    EXPECT_EQ(LogFilePathFor(session), c.log) << c.input;
    EXPECT_EQ(Lg2FilePathFor(session), c.lg2) << c.input;
  }
  EXPECT_EQ(JobFilePath(CorvaneSession{}), "") << "no input, no job";
  CorvaneSession remembered;
  remembered.input_file = "/m/x.em";  // from the settings, with a working directory gone
  UseInputDirectoryWhenNoWorkingDirectory(remembered);
  EXPECT_EQ(JobFilePath(remembered), "/m/x.job");
  remembered.working_directory = "/w";
  UseInputDirectoryWhenNoWorkingDirectory(remembered);
  EXPECT_EQ(remembered.working_directory, "/w");
}

}  // namespace
}  // namespace kavrinth
