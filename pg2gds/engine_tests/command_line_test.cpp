// The engine's command line: options, units, the job copy and the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pg2gds/engine_command_line.h"
#include "support/paths.h"

namespace kavrinth {
namespace {

class CommandLineTest : public EngineDirTest {
 protected:
  void SetUp() override {
    EngineDirTest::SetUp();
    WriteFile("job.job", "[General]\r\nlayers=layer0\r\n");
  }
  // Parses "program" followed by the words; removes the job copy afterwards unless kept.
  int Parse(EngineRun& run, std::vector<std::string> words, bool keep_copy = false) {
    words.insert(words.begin(), "corv");
    const int result = ParseEngineCommandLine(run, words);
    if (!keep_copy) RemoveJobCopy(run);
    return result;
  }
};

TEST_F(CommandLineTest, OutputUnitAndOptions) {
  struct Case {
    const char* name;
    EngineBuild build;
    std::vector<std::string> words;
    int result;
    std::string output;
    char letter;
    int32_t unit_code;
    int32_t format;
  };
  const EngineBuild vitex = EngineBuild::kCorvitex;
  const EngineBuild vaxen = EngineBuild::kCorvaxen;
  const Case cases[] = {
      {"english", vitex, {"@job.job", "-o:out", "-u:E"}, 0, "out.gds", 'E', 1, 0},
      {"capital O keeps .dat", vitex, {"@job.job", "-O:o.dat", "-u:m"}, 0, "o.dat", 'M', 2, 0},
      {"-o without colon", vitex, {"@job.job", "-oout", "-u:E"}, 1, "", 'E', 1, 0},
      {"corvitex needs -u:", vitex, {"@job.job", "-o:out"}, 1, "out", 0, -1, 0},
      {"capital X is no letter", vitex, {"@job.job", "-o:out", "-u:X"}, 1, "out", 0, -1, 0},
      {"corvaxen takes x", vaxen, {"@job.job", "-o:out"}, 0, "out.gds", 'x', -1, 1},
      {"corvaxen metric", vaxen, {"@job.job", "-o:out", "-u:M"}, 0, "out.gds", 'M', 4, 1},
      {"3600 after M", vaxen, {"@job.job", "-o:out", "-u:M", "-3600"}, 0, "out.gds", 'M', 5, 2},
      {"3600 before M", vaxen, {"-3600", "@job.job", "-o:out", "-u:M"}, 0, "out.gds", 'M', 5, 2},
      {"3000", vaxen, {"-3600", "-3000", "@job.job", "-o:o", "-u:E"}, 0, "o.gds", 'E', 1, 1},
      {"corvitex ignores -3600",
       vitex,
       {"@job.job", "-o:o", "-u:M", "-3600"},
       0,
       "o.gds",
       'M',
       2,
       0},
      {"upper-case name", vitex, {"@job.job", "-o:OUT", "-u:E"}, 0, "OUT.GDS", 'E', 1, 0},
      {"backslashes", vitex, {"@job.job", "-o:a.b\\out", "-u:E"}, 0, "a.b/out.gds", 'E', 1, 0},
      {"no job", vitex, {"-o:out", "-u:E"}, 1, "out", 'E', 1, 0},
      {"@ alone", vitex, {"@", "-o:out", "-u:E"}, 1, "out", 'E', 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineRun run(c.build);
    EXPECT_EQ(Parse(run, c.words), c.result);
    EXPECT_EQ(run.output_path, c.output);
    EXPECT_EQ(run.units.letter, c.letter);
    EXPECT_EQ(run.units.unit_code, c.unit_code);
    EXPECT_EQ(run.pg_format, c.format);
  }
}

TEST_F(CommandLineTest, UnitLetters) {
  EngineRun run(EngineBuild::kCorvitex);
  EXPECT_EQ(SelectUnitLetter(run, 'e'), 'E');
  EXPECT_EQ(run.units.unit_name, "MIL");
  EXPECT_DOUBLE_EQ(run.units.database_step, 0.01);
  EXPECT_EQ(SelectUnitLetter(run, 'q'), 'Q') << "unknown: upper-cased, nothing changed";
  EXPECT_EQ(run.units.letter, 'E');
  EXPECT_EQ(SelectUnitLetter(run, 'm'), 'M');
  EXPECT_EQ(run.units.unit_name, "UM");
  EXPECT_DOUBLE_EQ(run.units.database_step, 0.001);
  EXPECT_EQ(run.units.unit_code, 2);
  EXPECT_EQ(SelectUnitLetter(run, 'x'), 'x');
  EXPECT_EQ(run.units.unit_code, -1);

  // A metric code a file named stays when M is chosen again.
  EngineRun mann(EngineBuild::kCorvaxen);
  mann.units.unit_code = 5;
  SelectUnitLetter(mann, 'M');
  EXPECT_EQ(mann.units.unit_code, 5);
}

TEST_F(CommandLineTest, ValueOptions) {
  EngineRun run(EngineBuild::kCorvitex);
  const std::string long_name(40, 'N');
  ASSERT_EQ(Parse(run, {"@job.job", "-o:o", "-u:E", "-TOP", long_name, "-scale", "2.5", "-p", "-S",
                        "-s", "-limit:1,2.5,-3,4"}),
            0);
  EXPECT_EQ(run.top_name, std::string(32, 'N'));
  EXPECT_DOUBLE_EQ(run.scale, 2.5);
  EXPECT_TRUE(run.flash_as_path);
  EXPECT_FALSE(run.layer_table_in_log);
  EXPECT_FALSE(run.accumulate_extents);
  EXPECT_DOUBLE_EQ(run.extents.min_x, 1);
  EXPECT_DOUBLE_EQ(run.extents.min_y, 2.5);
  EXPECT_DOUBLE_EQ(run.extents.max_x, -3);
  EXPECT_DOUBLE_EQ(run.extents.max_y, 4);

  for (const char* bad : {"0", "-2", "nan", "inf", "abc"}) {
    SCOPED_TRACE(bad);
    EngineRun scaled(EngineBuild::kCorvitex);
    ASSERT_EQ(Parse(scaled, {"@job.job", "-o:o", "-u:E", "-scale", bad}), 0);
    EXPECT_DOUBLE_EQ(scaled.scale, 1.0);
  }

  EngineRun last(EngineBuild::kCorvitex);
  ASSERT_EQ(Parse(last, {"@job.job", "-o:o", "-u:E", "-LIMIT:1,2,3", "-top"}), 0);
  EXPECT_EQ(last.top_name, "_PG_DATA") << "-top without a value is ignored";
  EXPECT_TRUE(last.accumulate_extents) << "three values leave the box alone";
}

TEST_F(CommandLineTest, JobCopyIsATemporaryCopyInTheCurrentDirectory) {
  WriteFile("sub/Job.JOB", "[General]\r\nlayers=a,b\r\n");
  EngineRun run(EngineBuild::kCorvitex);
  ASSERT_EQ(Parse(run, {"@sub/Job.JOB", "@job.job", "-o:o", "-u:E"}, true), 0);
  EXPECT_EQ(run.job_file, "sub/Job.JOB") << "a second @ is ignored";
  ASSERT_TRUE(run.job_copy_is_temporary);
  const std::filesystem::path copy(run.job_copy_path);
  EXPECT_EQ(copy.parent_path(), std::filesystem::current_path()) << copy;
  EXPECT_EQ(copy.filename().string().size(), std::string("!0000000.TMP").size());
  EXPECT_EQ(copy.filename().string()[0], '!');
  EXPECT_EQ(ReadFile(run.job_copy_path), "[General]\r\nlayers=a,b\r\n");
  ASSERT_TRUE(run.log);
  EXPECT_EQ(run.log_path, "Job.log") << "named after the job, in the current directory";
  CloseLog(run);
  RemoveJobCopy(run);
  EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{"Job.log", "job.job", "sub"}));
}

TEST_F(CommandLineTest, LogNamesFollowTheCapitalsRule) {
  WriteFile("CHIP.JOB", "");
  EngineRun run(EngineBuild::kCorvitex);
  Parse(run, {"@CHIP.JOB", "-o:o", "-u:E"});
  EXPECT_EQ(run.log_path, "CHIP.LOG");
}

TEST_F(CommandLineTest, LogNeverReplacesTheJob) {
  const std::string job = JobText({{"1", "a.em"}});
  WriteFile("job.log", job);
  EngineRun run(EngineBuild::kCorvitex);
  ASSERT_EQ(Parse(run, {"@job.log", "-o:o", "-u:E"}, true), 0);
  EXPECT_FALSE(run.log);
  EXPECT_EQ(ReadFile("job.log"), job);
  EXPECT_EQ(ReadFile(run.job_copy_path), job);
  RemoveJobCopy(run);
}

TEST_F(CommandLineTest, DashFNamesTheJobWithoutALog) {
  EngineRun run(EngineBuild::kCorvitex);
  ASSERT_EQ(Parse(run, {"-f", "job.job", "-o:o", "-u:E"}, true), 0);
  EXPECT_EQ(run.job_file, "job.job");
  EXPECT_FALSE(run.log);
  EXPECT_EQ(ReadFile(run.job_copy_path), "[General]\r\nlayers=layer0\r\n");
  RemoveJobCopy(run);
  EXPECT_EQ(DirectoryNames(), std::vector<std::string>{"job.job"});
}

TEST_F(CommandLineTest, MissingJobLeavesNoCopyToRead) {
  EngineRun run(EngineBuild::kCorvitex);
  ASSERT_EQ(Parse(run, {"@absent.job", "-o:o", "-u:E"}, true), 0);
  EXPECT_TRUE(run.job_copy_failed);
  RemoveJobCopy(run);
  EXPECT_EQ(DirectoryNames(), (std::vector<std::string>{"absent.log", "job.job"}));
}

TEST_F(CommandLineTest, PlainWordsBecomeLinesOfTheJobCopy) {
  EngineRun run(EngineBuild::kCorvitex);
  ASSERT_EQ(Parse(run, {"[General]", "-o:o", "layers=a", "-u:E", "@job.job"}, true), 0);
  EXPECT_TRUE(run.job_file.empty()) << "@ after a job copy exists is ignored";
  EXPECT_EQ(ReadFile(run.job_copy_path), "[General]\r\nlayers=a\r\n");
  RemoveJobCopy(run);
  EXPECT_EQ(DirectoryNames(), std::vector<std::string>{"job.job"});
}

TEST_F(CommandLineTest, WithoutATemporaryTheJobIsReadInPlace) {
  // Temporary names are made in the stored working directory: one that does not exist
  // leaves no room for the copy.
  SetWorkingDirectory(dir_ + "/missing");
  EngineRun run(EngineBuild::kCorvitex);
  const int result = Parse(run, {"@job.job", "-o:o", "-u:E"}, true);
  SetWorkingDirectory("");
  ASSERT_EQ(result, 0);
  EXPECT_FALSE(run.job_copy_is_temporary);
  EXPECT_EQ(run.job_copy_path, "job.job");
  RemoveJobCopy(run);
  EXPECT_TRUE(std::filesystem::exists("job.job")) << "the job itself is never removed";
}

}  // namespace
}  // namespace kavrinth
