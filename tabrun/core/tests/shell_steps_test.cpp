// The shell's steps around a translation on the sample layout: what the Working Directory
// step and the exit leave of other people's files, the job log's file errors, the job log
// with the debug flag, the inputs a translation must never overwrite, the files the
// scanner cannot read, and the job files that would take the working directory's fixed names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/process.h"
#include "support/job_file_names.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "tabrun/core/file_ops.h"
#include "tabrun/core/job_actions.h"
#include "tabrun/core/job_log.h"
#include "tabrun/core/tests/reference_run.h"
#include "tabrun/core/translate.h"
#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using reference_run::kBin;
using reference_run::kLayers;
using reference_run::kSamples;
using test_support::ReadBytes;
using test_support::TempDir;

// Runs the children for real (or answers the engine from a list) and confirms every
// command line of the debug flag.
class Host : public TranslateHost {
 public:
  int RunEngine(const std::string& program, const ProgramArguments& arguments,
                int32_t* exit_code) override {
    ++engine_runs;
    if (!engine_results.empty()) {
      test_support::WriteBytes(fake_log, "engine log\r\n");
      *exit_code = engine_results.front();
      engine_results.erase(engine_results.begin());
      return 1;
    }
    return RunProgram(nullptr, program, working_dir.c_str(), arguments, exit_code, true);
  }
  int RunConverter(const std::string& program, const ProgramArguments& arguments,
                   int32_t* exit_code) override {
    ++converter_runs;
    return RunProgram(nullptr, program, working_dir.c_str(), arguments, exit_code, true);
  }
  void SetStatus(const std::string&) override {}
  bool ConfirmCommand(const std::string&) override { return true; }
  bool AskContinue(const std::string&) override { return true; }
  bool ShowLog(const std::string&, std::string*) override { return true; }
  void TranslationFinished() override {}

  std::string working_dir;
  std::vector<int32_t> engine_results;  // answered without running, in order
  std::string fake_log;                 // written by each answered run
  int engine_runs = 0;
  int converter_runs = 0;
};

class ShellStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.ok());
    job_.program_dir = kBin;
    host_.working_dir = work_.path();
  }

  // Scans the layout at gds, takes its new CFG file and layers 1-5 in Electromask.
  void Prepare(const std::string& gds) {
    const ProgramRunner runner = [&](const std::string& p, const ProgramArguments& a, int32_t* e,
                                     std::string* r) {
      return RunProgram(nullptr, p, job_.working_dir.c_str(), a, e, true, nullptr, r);
    };
    ASSERT_EQ(ScanGdsFile(&job_, gds, runner), ScanResult::kScanned);
    bool failed = true;
    SelectCfgFile(&job_, job_.cfg_path, CAppProfile(), &failed);
    ASSERT_FALSE(failed);
    ASSERT_TRUE(ChooseTopStructure(&job_, "TESTPAT"));
    job_.options.feature_size = 0.5;
    job_.options.mask_unit = 0;
    for (int layer : kLayers) {
      job_.layers.selected.push_back(layer);
      MakeIntermediateName(&job_.layers, layer, work_.File("out " + std::to_string(layer) + ".em"));
    }
    ASSERT_TRUE(SaveJobSettings(job_));
  }

  std::string Sample() const { return ReadBytes(kSamples + "/demo.gds"); }

  TempDir work_{"tabrun_steps"};
  TabrunJob job_;
  Host host_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
};

TEST_F(ShellStepsTest, BeforeACfgFileIsChosenNoSettingsFileIsRemovedOrWritten) {
  // The working directory of an earlier session holds another job's settings files.
  const std::string pg_cfg = work_.Write("pg.cfg", "SCALE\r\n2.0\r\n\r\n");
  const std::string gds_cfg = work_.Write("gds.cfg", "MAX_LAYER\r\n8\r\n\r\n");
  TempDir other("tabrun_other");
  job_.working_dir = work_.path();
  ASSERT_TRUE(ChangeWorkingDirectory(&job_, other.path()));
  EXPECT_EQ(job_.working_dir, other.path());
  EXPECT_EQ(ReadBytes(pg_cfg), "SCALE\r\n2.0\r\n\r\n");
  EXPECT_EQ(ReadBytes(gds_cfg), "MAX_LAYER\r\n8\r\n\r\n");
  EXPECT_FALSE(FileExists(other.File("pg.cfg")));
  EXPECT_FALSE(FileExists(other.File("gds.cfg")));
  // Nor does the exit of such a session remove the working directory's gds.cfg.
  job_.working_dir = work_.path();
  CleanUpOnClose(job_);
  EXPECT_EQ(ReadBytes(gds_cfg), "MAX_LAYER\r\n8\r\n\r\n");

  // Once the job has its CFG file, its settings files move with it.
  Prepare(work_.Write("demo.gds", Sample()));
  ASSERT_TRUE(ChangeWorkingDirectory(&job_, other.path()));
  EXPECT_FALSE(FileExists(pg_cfg));
  EXPECT_FALSE(FileExists(gds_cfg));
  EXPECT_TRUE(FileExists(other.File("pg.cfg")));
}

TEST_F(ShellStepsTest, AFileErrorOfTheJobLogShowsItsCause) {
  struct Case {
    int cause;
    const char* text;
  };
  const Case cases[] = {
      {ENOENT, "File not found when generating log file.\nExit the program and try again."},
      {EACCES, "Access denied when generating log file.\nExit the program and try again."},
      {EPERM, "Access denied when generating log file.\nExit the program and try again."},
      {EISDIR, "(21) Error occurred in operating log file.\nExit the program and try again."},
      {ENOSPC, "(28) Error occurred in operating log file.\nExit the program and try again."},
  };
  for (const Case& c : cases) EXPECT_EQ(LogFileErrorText(c.cause), c.text) << c.cause;

  // The engine's log cannot be set aside: a directory holds the name of its copy.
  Prepare(work_.Write("demo.gds", Sample()));
  std::filesystem::create_directories(work_.File("demo.lg2/in the way"));
  host_.engine_results = {10, 0};
  host_.fake_log = work_.File("demo.log");
  Translate(&job_, &host_);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_EQ(notifier_.shown.front().text, LogFileErrorText(EISDIR));
  // The engine's log is kept.
  EXPECT_EQ(work_.Read("demo.log").rfind("engine log\r\n", 0), 0u);
}

TEST_F(ShellStepsTest, WithTheDebugFlagThePgLibrarysLogIsInTheJobLogOnce) {
  Prepare(work_.Write("demo.gds", Sample()));
  job_.debug = true;
  ASSERT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
  EXPECT_GT(host_.converter_runs, 0);
  // The side files stay with the debug flag; the PG library's part of pg.log is the part
  // before the converters' lines.
  const std::string pg_log = work_.Read("pg.log");
  ASSERT_FALSE(pg_log.empty());
  const std::string first_line = pg_log.substr(0, pg_log.find("\r\n") + 2);
  ASSERT_GT(first_line.size(), 2u);
  const std::string log = work_.Read("demo.log");
  const size_t first = log.find(first_line);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(first_line, first + 1), std::string::npos) << log;
  // What the converters added is there all the same.
  EXPECT_NE(log.find(pg_log.substr(pg_log.size() / 2)), std::string::npos) << log;
}

TEST_F(ShellStepsTest, TranslateRefusesAnInputThatItWouldOverwrite) {
  struct Case {
    const char* name;
    std::string gds_name;
    // Changes the job after the scan; returns the file that must stay as it was.
    std::function<std::string(TabrunJob*, const std::string& gds)> change;
    std::string expected;  // in the message
  };
  const std::vector<Case> cases = {
      {"the layout named as the log's copy", "demo.lg2",
       [](TabrunJob*, const std::string& gds) { return gds; },
       " is also the copy of the job log (.lg2), which the translation writes."},
      {"the layout as a PG output file", "demo.gds",
       [](TabrunJob* job, const std::string& gds) {
         MakeIntermediateName(&job->layers, 2, gds);
         return gds;
       },
       " is also the PG output file of GDS layer 2, which the translation writes."},
      {"a PG output file linked to the layout", "demo.gds",
       [this](TabrunJob* job, const std::string& gds) {
         const std::string link = work_.File("linked.em");
         EXPECT_EQ(::link(gds.c_str(), link.c_str()), 0);
         MakeIntermediateName(&job->layers, 3, link);
         return gds;
       },
       " is also the PG output file of GDS layer 3, which the translation writes."},
      {"the CFG file named as the job log", "demo.gds",
       [this](TabrunJob* job, const std::string&) {
         job->cfg_path = work_.File("demo.log");
         EXPECT_TRUE(SaveJobSettings(*job));
         return job->cfg_path;
       },
       "The CFG file " + work_.File("demo.log") +
           " is also the job log, which the translation writes."},
      {"the CFG file as an Intermediate file", "demo.gds",
       [this](TabrunJob* job, const std::string&) {
         job->cfg_path = work_.File(IntermediateFileName("TESTPAT", 4));
         EXPECT_TRUE(SaveJobSettings(*job));
         return job->cfg_path;
       },
       " is also the Intermediate file of GDS layer 4, which the translation writes."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    job_ = TabrunJob();
    job_.program_dir = kBin;
    host_ = Host();
    host_.working_dir = work_.path();
    notifier_.shown.clear();
    const std::string gds = work_.Write(c.gds_name, Sample());
    Prepare(gds);
    const std::string kept = c.change(&job_, gds);
    const std::string before = ReadBytes(kept);
    EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kRefused);
    EXPECT_EQ(host_.engine_runs, 0);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_NE(notifier_.shown[0].text.find(c.expected), std::string::npos)
        << notifier_.shown[0].text;
    EXPECT_NE(notifier_.shown[0].text.find(kept), std::string::npos) << notifier_.shown[0].text;
    EXPECT_EQ(ReadBytes(kept), before);
    for (const auto& entry : std::filesystem::directory_iterator(work_.path())) {
      std::filesystem::remove_all(entry.path());
    }
  }
}

TEST_F(ShellStepsTest, AFileTheScannerCannotReadIsNamedWithTheReason) {
  std::filesystem::create_directory(work_.File("folder.gds"));
  struct Case {
    std::string path;
    const char* reason;
  };
  const Case cases[] = {
      {work_.File("missing.gds"), "The file does not exist."},
      {work_.File("folder.gds"), "It is a directory."},
  };
  int ran = 0;
  const ProgramRunner runner = [&](const std::string& p, const ProgramArguments& a, int32_t* e,
                                   std::string* r) {
    ++ran;
    return RunProgram(nullptr, p, work_.path().c_str(), a, e, true, nullptr, r);
  };
  for (const Case& c : cases) {
    notifier_.shown.clear();
    EXPECT_EQ(ScanGdsFile(&job_, c.path, runner), ScanResult::kFailed) << c.path;
    ASSERT_EQ(notifier_.shown.size(), 1u) << c.path;
    EXPECT_EQ(notifier_.shown[0].text,
              "Error occurred in scanning file " + c.path + ".\n" + c.reason);
    EXPECT_FALSE(job_.scanned);
  }
  EXPECT_EQ(ran, 0);  // the scanner is not started on what it cannot read
}

// A GDS file whose job log or CFG file would be one of the fixed files of the working
// directory (the PG library's log, the PG settings, the engine's settings) is refused before
// anything is written, and a job that got such a name otherwise is not translated.
TEST_F(ShellStepsTest, AJobsOwnFilesNeverTakeTheFixedNamesOfTheWorkingDirectory) {
  struct Case {
    const char* gds_name;
    std::string expected;
  };
  const Case cases[] = {
      {"pg.gds", "The job file pg.log of " + work_.File("pg.gds") +
                     " would be the PG library's log (pg.log) of the working directory."},
      {"PG.GDS", "The job file PG.log of " + work_.File("PG.GDS") +
                     " would be the PG library's log (pg.log) of the working directory."},
      {"gds.gds", "The job file gds.cfg of " + work_.File("gds.gds") +
                      " would be the engine's settings file (gds.cfg) of the working directory."},
  };
  int ran = 0;
  const ProgramRunner runner = [&](const std::string& p, const ProgramArguments& a, int32_t* e,
                                   std::string* r) {
    ++ran;
    return RunProgram(nullptr, p, work_.path().c_str(), a, e, true, nullptr, r);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gds_name);
    notifier_.shown.clear();
    const std::string gds = work_.Write(c.gds_name, Sample());
    EXPECT_EQ(ScanGdsFile(&job_, gds, runner), ScanResult::kFailed);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(notifier_.shown[0].text, c.expected + "\nRename the GDS file.");
    EXPECT_FALSE(job_.scanned);
  }
  EXPECT_EQ(ran, 0);

  // A scanned job renamed under the shell's feet: Translate runs nothing.
  Prepare(work_.Write("demo.gds", Sample()));
  job_.gds_path = work_.Write("pg.gds", Sample());
  notifier_.shown.clear();
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kRefused);
  EXPECT_EQ(host_.engine_runs, 0);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_NE(notifier_.shown[0].text.find("(pg.log)"), std::string::npos);
}

// The job log's lines for a layer without data and for a failed conversion are whole,
// however long the output name.
TEST_F(ShellStepsTest, TheJobLogsLayerLinesAreWholeForALongOutputName) {
  TabrunJob job;
  job.layers.selected = {3, 8};
  const std::string name = "/masks/" + std::string(3000, 'n') + ".em";
  job.layers.output_names[3] = name;
  job.layers.output_names[8] = name + "2";
  job.no_data[3] = true;
  job.conversion_failed[8] = true;
  const std::string text = GeneratedFilesText(job);
  EXPECT_NE(text.find("\r\nNo data translated for GDS layer 3, " + name + " is not generated.\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\nConversion failed for GDS layer 8, " + name + "2 is not generated.\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace kavrinth
