// The viewer's command line: the job a file gives, the options and their limits.
#include "viewer/app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavrinth {
namespace {

struct FileCase {
  std::vector<std::string> words;
  bool keep_relative;
  bool has_file;
  std::string job_path;
  std::string data_file;
};

TEST(CommandLineTest, FileWordGivesTheJobToOpen) {
  const std::vector<FileCase> cases = {
      {{"vexil"}, true, false, "", ""},
      {{"/programs/bin/vexil", "layer1.em"}, true, true, "/w/layer1.job", "layer1.em"},
      // From another directory the data file is named in full.
      {{"vexil", "layer1.em"}, false, true, "/w/layer1.job", "/w/layer1.em"},
      {{"vexil", "sub/LAYER1.EM"}, true, true, "/w/LAYER1.JOB", "sub/LAYER1.EM"},
      {{"vexil", "sub/LAYER1.EM"}, false, true, "/w/LAYER1.JOB", "/w/sub/LAYER1.EM"},
      {{"vexil", "/data/a.dwm"}, false, true, "/w/a.job", "/data/a.dwm"},
      {{"vexil", "x.job"}, true, true, "/w/x.job", ""},
      {{"vexil", "jobs/x.JoB"}, false, true, "/w/jobs/x.JoB", ""},
      {{"vexil", "/j/x.job"}, false, true, "/j/x.job", ""},
      // Options first: no file, and the word after them is not taken as one.
      {{"vexil", "-fbclr", "file.em"}, true, false, "", ""},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.words.back());
    const CommandLineRequest request = ParseCommandLine(c.words, "/w", c.keep_relative);
    EXPECT_EQ(request.has_file, c.has_file);
    EXPECT_EQ(request.job_path, c.job_path);
    EXPECT_EQ(request.data_file, c.data_file);
  }
  EXPECT_EQ(ParseCommandLine(std::vector<std::string>{"/programs/bin/vexil"}, "/w", true)
                .program_directory,
            "/programs/bin");
}

TEST(CommandLineTest, PathsOfAnyLengthStayWhole) {
  const std::string directory = "/d/" + std::string(3000, 'a');
  const std::string word = directory + "/" + std::string(600, 'b') + ".em";
  const CommandLineRequest request =
      ParseCommandLine(std::vector<std::string>{"vexil", word}, "/w", false);
  EXPECT_EQ(request.data_file, word);
  EXPECT_EQ(request.job_path, "/w/" + std::string(600, 'b') + ".job");
}

struct RamCase {
  std::string word;
  bool given;
  int64_t limit;
  bool problem;
};

TEST(CommandLineTest, RamLimitIsA64BitNumberOrAReportedProblem) {
  const std::vector<RamCase> cases = {
      {"-ram:1048576", true, 1048576, false},
      {"-ram:5000000000", true, 5000000000LL, false},  // above 32 bits: kept, not wrapped
      {"-ram:9223372036854775807", true, INT64_MAX, false},
      {"-ram:+7", true, 7, false},
      {"-ram:-1", true, -1, false},
      {"-ram:0", true, 0, false},
      {"-ram:9223372036854775808", false, 0, true},
      {"-ram:99999999999999999999", false, 0, true},
      {"-ram:12abc", false, 0, true},
      {"-ram:", false, 0, true},
      {"-RAM:5", false, 0, false},  // the option is matched with its case
  };
  for (const RamCase& c : cases) {
    SCOPED_TRACE(c.word);
    const CommandLineRequest request =
        ParseCommandLine(std::vector<std::string>{"vexil", "a.job", c.word}, "/w", true);
    EXPECT_EQ(request.ram_given, c.given);
    EXPECT_EQ(request.ram_limit, c.limit);
    EXPECT_EQ(request.problems.size(), c.problem ? 1u : 0u);
  }
}

TEST(CommandLineTest, OptionsActInOrderAndTheLastOneWins) {
  const std::vector<std::string> words = {"vexil",    "a.em",   "-ram:1", "-vefn:e1",
                                          "-ignored", "-ram:2", "-fbclr", "-vefn:sub/e2.txt"};
  const CommandLineRequest request = ParseCommandLine(words, "/w", true);
  EXPECT_EQ(request.ram_limit, 2);
  EXPECT_TRUE(request.layer_colour_only);
  EXPECT_TRUE(request.error_file_given);
  EXPECT_EQ(request.error_file_name, "/w/sub/e2.txt");

  const CommandLineRequest empty_name =
      ParseCommandLine(std::vector<std::string>{"vexil", "-vefn:"}, "/w", true);
  EXPECT_TRUE(empty_name.error_file_given);
  EXPECT_EQ(empty_name.error_file_name, "");
  // A later request without the options has none of them.
  const CommandLineRequest plain =
      ParseCommandLine(std::vector<std::string>{"vexil", "b.em"}, "/w", true);
  EXPECT_FALSE(plain.layer_colour_only);
  EXPECT_FALSE(plain.error_file_given);
  EXPECT_FALSE(plain.ram_given);
}

}  // namespace
}  // namespace kavrinth
