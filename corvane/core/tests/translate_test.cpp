// The translate step's core: output names, engine arguments run by the real engines, and
// the job log rebuilt from the engine's log.
#include "corvane/core/translate.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>

#include "corvane/core/engine_job_file.h"
#include "platform/process.h"
#include "support/run_program.h"
#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using TranslateTest = test_support::TempDirTest;

// RunProgram with a time limit: the child is killed when it runs longer (result -1).
int RunWithin(const std::string& program, const std::string& directory,
              const std::vector<std::string>& args, int32_t* result, int seconds = 60) {
  pid_t child = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  const PumpCallback pump = [&child, end] {
    if (child > 0 && std::chrono::steady_clock::now() > end) {
      ADD_FAILURE() << "the engine ran too long";
      kill(child, SIGKILL);
      child = 0;
    }
  };
  return RunProgram(pump, program, directory.c_str(), args, result, true, &child);
}

CorvaneSession SessionFor(const std::string& directory, std::vector<std::string> names) {
  CorvaneSession session;
  session.input_file = directory + "/" + names.front();
  session.input_file_names = std::move(names);
  session.working_directory = directory;
  session.program_directory = ProgramDirectory();
  return session;
}

TEST(OutputNameTest, ProposalFollowsTheLastOutputsDirectory) {
  CorvaneSession session = SessionFor("/m", {"chip.em"});
  EXPECT_EQ(ProposeOutputName(session), "/m/chip.gds");
  session.gds_output_path = "/out/old.gds";
  session.input_file = "/m/next.dwm";
  EXPECT_EQ(ProposeOutputName(session), "/out/next.gds");
  EXPECT_EQ(EngineOutputName("/out/x"), "/out/x.gds");
  EXPECT_EQ(EngineOutputName("/OUT/X"), "/OUT/X.GDS");
  EXPECT_EQ(EngineOutputName("/out/x.strm"), "/out/x.strm");
}

TEST_F(TranslateTest, OutputNamingAnInputTheJobOrTheLogIsRefused) {
  CorvaneSession session = SessionFor(temp_.path(), {"a.em", "b.em"});
  temp_.Write("a.em", "x");
  temp_.Write("b.em", "x");
  const struct {
    std::string output;
    bool refused;
  } cases[] = {
      {temp_.File("a.em"), true},   {temp_.File("./b.em"), true},
      {temp_.File("a.job"), true},  {temp_.File("a.log"), true},
      {temp_.File("a.lg2"), true},  {temp_.File("sub/../a.log"), true},
      {temp_.File("a.gds"), false}, {temp_.File("b.job"), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(!CheckOutputName(session, c.output).empty(), c.refused) << c.output;
  }
  EXPECT_NE(CheckOutputName(session, temp_.File("a.em")).find("input file a.em"),
            std::string::npos);
}

// An input that is the job file would be overwritten by the Layers dialog; one that is the
// log or its ".lg2" by the engine or the log's rebuild. Each is named before anything runs.
TEST_F(TranslateTest, InputThatIsAFileOfTheJobIsRefused) {
  const struct {
    std::vector<std::string> names;
    bool with_run;
    const char* named;  // nullptr: accepted
  } cases[] = {
      {{"a.em", "a.log"}, true, "a.log is the log of this job"},
      {{"a.em", "a.log"}, false, nullptr},
      {{"a.log"}, true, "a.log is the log of this job"},
      {{"a.lg2"}, true, "a.lg2 is the temporary copy"},
      {{"a.job"}, false, "a.job is the job file"},
      {{"a.em", "b.dwm", "a.job"}, false, "a.job is the job file"},
      {{"a.em", "b.log"}, true, nullptr},
      {{"a.em"}, true, nullptr},
  };
  for (const auto& c : cases) {
    CorvaneSession session = SessionFor(temp_.path(), c.names);
    for (const std::string& name : c.names) temp_.Write(name, "X0Y0Z");
    const std::string refused = CheckInputsAgainstJobFiles(session, c.with_run);
    if (c.named == nullptr) {
      EXPECT_EQ(refused, "") << c.names.back();
    } else {
      EXPECT_NE(refused.find(temp_.File(c.named)), std::string::npos) << refused;
    }
  }
  // In another working directory the same names are no files of the job.
  CorvaneSession session = SessionFor(temp_.path(), {"a.log", "a.job"});
  session.working_directory = temp_.File("work");
  EXPECT_EQ(CheckInputsAgainstJobFiles(session, true), "");
}

TEST(EngineArgumentsTest, OneWordEachAndAScaleThatRoundTrips) {
  CorvaneSession session = SessionFor("/m", {"a.em"});
  session.program_directory = "/bin dir";
  EXPECT_EQ(EnginePath(session), "/bin dir/corvitex");
  EXPECT_EQ(BuildEngineArguments(session, "/w d/a.job", "/o d/a.gds"),
            (std::vector<std::string>{"@/w d/a.job", "-o:/o d/a.gds", "-u:E"}));
  session.options = {kFilesMann3000, kFilesUnitMicron, 2.5};
  EXPECT_EQ(EnginePath(session), "/bin dir/corvaxen");
  EXPECT_EQ(BuildEngineArguments(session, "j", "o"),
            (std::vector<std::string>{"@j", "-o:o", "-u:M", "-3000", "-scale", "2.500000"}));
  session.options = {kFilesMann3600, kFilesUnitMil, 1e-08};
  EXPECT_EQ(BuildEngineArguments(session, "j", "o"),
            (std::vector<std::string>{"@j", "-o:o", "-u:E", "-3600", "-scale", "1e-08"}));
  const struct {
    double scale;
    const char* text;
    bool in_range;
  } cases[] = {{1.0, "1.000000", true},
               {1000000.0, "1000000.000000", true},
               {0.1234567, "0.1234567", true},
               {1e-08, "1e-08", true},
               {0.0, "0.000000", false},
               {-2.0, "-2.000000", false},
               {1000000.5, "1000000.500000", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatEngineScale(c.scale), c.text);
    EXPECT_EQ(std::stod(FormatEngineScale(c.scale)), c.scale);
    EXPECT_EQ(IsScaleInRange(c.scale), c.in_range) << c.scale;
  }
}

// The engine run with the built arguments on a job written by the shell: paths with
// blanks reach it whole, and it writes the output and the log the shell expects.
TEST_F(TranslateTest, EnginesRunTheWrittenJobWithBlanksInEveryPath) {
  const std::string work = temp_.File("work dir");
  std::filesystem::create_directories(work);
  std::filesystem::create_directories(temp_.File("in put"));
  std::filesystem::copy_file(SAMPLES_DIR "/demo.em", temp_.File("in put/demo.em"));
  std::filesystem::copy_file(SAMPLES_DIR "/demo.dwm", temp_.File("in put/demo.dwm"));
  const struct {
    const char* name;
    CorvaneOptions options;
    int32_t result;  // the flashes whose corners the library's unit rounds: turned ones
  } runs[] = {{"demo.em", {kFilesElectromask, kFilesUnitMil, 1.0}, 20},
              {"demo.dwm", {kFilesMann3000, kFilesUnitMicron, 1.0}, 1}};
  for (const auto& run : runs) {
    CorvaneSession session = SessionFor(temp_.File("in put"), {run.name});
    session.working_directory = work;
    session.options = run.options;
    const std::string job = JobFilePath(session);
    ASSERT_TRUE(WriteEngineJobFile(job, {{"3", InputFullPath(session, 0)}}));
    const std::string output =
        EngineOutputName(temp_.File("out put/result " + std::string(run.name)));
    std::filesystem::create_directories(temp_.File("out put"));
    int32_t result = -5;
    ASSERT_EQ(
        RunWithin(EnginePath(session), work, BuildEngineArguments(session, job, output), &result),
        1);
    EXPECT_EQ(result, run.result) << run.name;
    EXPECT_GT(std::filesystem::file_size(output), 100u) << output;
    EXPECT_TRUE(std::filesystem::exists(LogFilePathFor(session))) << LogFilePathFor(session);
  }
}

// A file the engine cannot read ends the run; the job log the shell shows names it, with
// the reason.
TEST_F(TranslateTest, JobLogSaysWhyAnInputCouldNotBeRead) {
  const std::string gzip_head("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  const struct {
    const char* name;
    CorvaneOptions options;
    std::string bytes;
    const char* reason;
  } runs[] = {
      {"packed.em",
       {kFilesElectromask, kFilesUnitMil, 1.0},
       gzip_head + "<X100Y200W30V10U0SZ",
       "the file is compressed (gzip), not a PG file; decompress it first (gunzip)"},
      {"packed.dwm",
       {kFilesMann3000, kFilesUnitMicron, 1.0},
       gzip_head + "\x5b",
       "the file is compressed (gzip), not a PG file; decompress it first (gunzip)"},
      {"empty.dwm", {kFilesMann3000, kFilesUnitMicron, 1.0}, "", "the file is empty"},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    temp_.Write(run.name, run.bytes);
    CorvaneSession session = SessionFor(temp_.path(), {run.name});
    session.options = run.options;
    const std::string job = JobFilePath(session);
    ASSERT_TRUE(WriteEngineJobFile(job, {{"1", InputFullPath(session, 0)}}));
    const std::string output = EngineOutputName(temp_.File("out"));
    int32_t result = 0;
    ASSERT_EQ(RunWithin(EnginePath(session), temp_.path(),
                        BuildEngineArguments(session, job, output), &result),
              1);
    EXPECT_EQ(result, -1);
    ASSERT_EQ(RewriteJobLog(LogFilePathFor(session), Lg2FilePathFor(session), JobLogHeader()), 0);
    const std::string log = test_support::ReadBytes(LogFilePathFor(session));
    EXPECT_NE(log.find("\r\nError: File reading error: " + std::string(run.reason) +
                       ".\r\n         " + InputFullPath(session, 0) + "\r\n"),
              std::string::npos)
        << log;
  }
}

TEST_F(TranslateTest, JobLogIsHeaderSummaryAndTheEnginesLogByteForByte) {
  std::tm end{};
  end.tm_hour = 9;
  end.tm_min = 5;
  end.tm_sec = 7;
  end.tm_mon = 11;
  end.tm_mday = 3;
  end.tm_year = 126;
  const std::string summary = FormatRunSummary("/o/a.gds", end, 0);
  EXPECT_EQ(summary,
            "GDS Output File:\t/o/a.gds\r\nEnd Job Time:\t09:05:07  (12-3-2026)\r\n"
            "Elapsed Time:\t0 second(s)\r\n\r\n");
  for (size_t size : {size_t{0}, size_t{255}, size_t{510}, size_t{70000}}) {
    std::string engine_log(size, '\0');
    for (size_t i = 0; i < size; ++i) engine_log[i] = static_cast<char>(i * 7);
    const std::string log = temp_.Write("a.log", engine_log);
    ASSERT_EQ(RewriteJobLog(log, temp_.File("a.lg2"), JobLogHeader() + summary), 0);
    EXPECT_EQ(temp_.Read("a.log"), JobLogHeader() + summary + engine_log) << size;
    EXPECT_FALSE(std::filesystem::exists(temp_.File("a.lg2")));
  }
}

TEST_F(TranslateTest, AFailedRewriteLeavesTheEnginesLog) {
  const std::string log = temp_.Write("a.log", "engine log\r\n");
  const int error = RewriteJobLog(log, temp_.File("gone/a.lg2"), "header\r\n");
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(temp_.Read("a.log"), "engine log\r\n");
  EXPECT_EQ(JobLogErrorMessage(ENOENT),
            "File not found when generating log file.\nExit the program and try again.");
  EXPECT_EQ(JobLogErrorMessage(EACCES),
            "Access denied when generating log file.\nExit the program and try again.");
  EXPECT_EQ(JobLogErrorMessage(EIO),
            "(5) Error occurred in operating log file.\nExit the program and try again.");
  EXPECT_NE(RewriteJobLog(temp_.File("none.log"), temp_.File("none.lg2"), "h"), 0);
  EXPECT_FALSE(std::filesystem::exists(temp_.File("none.log")));
}

}  // namespace
}  // namespace kavrinth
