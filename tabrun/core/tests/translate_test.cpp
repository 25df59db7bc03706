// The user's road without windows on the sample layout: scan, CFG file, structure, layers,
// Translate with the real engine and converters. The PG files must be the very bytes the
// programs give when they are run by hand with the same settings, and must load into the
// viewer's database.
#include "tabrun/core/translate.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "gdsii/writer.h"
#include "platform/ini.h"
#include "platform/process.h"
#include "support/job_file_names.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/run_program.h"
#include "tabrun/core/file_ops.h"
#include "tabrun/core/job_actions.h"
#include "tabrun/core/tests/reference_run.h"
#include "testing/temp_dir.h"
#include "viewer/model/job_file.h"
#include "viewer/model/job_loading.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {
namespace {

using test_support::ReadBytes;
using test_support::TempDir;

using reference_run::kBin;
using reference_run::kLayers;
using reference_run::kSamples;
using reference_run::ReferenceOutputs;

// Runs the children for real, and records what the sequence asked of the user.
class RecordingHost : public TranslateHost {
 public:
  int RunEngine(const std::string& program, const ProgramArguments& arguments,
                int32_t* exit_code) override {
    engine_arguments.push_back(arguments);
    if (!engine_results.empty()) {
      if (!fake_log.empty()) test_support::WriteBytes(fake_log, fake_log_text);
      if (!fake_pg_log_text.empty()) {
        test_support::WriteBytes(working_dir + "/pg.log", fake_pg_log_text);
      }
      *exit_code = engine_results.front();
      engine_results.erase(engine_results.begin());
      return 1;
    }
    return RunProgram(nullptr, program, working_dir.c_str(), arguments, exit_code, true);
  }
  int RunConverter(const std::string& program, const ProgramArguments& arguments,
                   int32_t* exit_code) override {
    converter_arguments.push_back(arguments);
    if (converter_result) {
      *exit_code = *converter_result;
      return 1;
    }
    return RunProgram(nullptr, program, working_dir.c_str(), arguments, exit_code, true);
  }
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  bool ConfirmCommand(const std::string& command) override {
    confirmed.push_back(command);
    return true;
  }
  bool AskContinue(const std::string& text) override {
    prompts.push_back(text);
    return continue_answer;
  }
  bool ShowLog(const std::string& path, std::string* why) override {
    shown_logs.push_back(path);
    if (!view_refusal.empty()) *why = view_refusal;
    return view_refusal.empty();
  }
  void TranslationFinished() override { finished = true; }

  std::string working_dir;
  std::vector<int32_t> engine_results;  // answered without running, in order
  std::string fake_log;                 // written by each answered run
  std::string fake_log_text = "engine log\r\n";
  std::string fake_pg_log_text;  // pg.log of each answered run, when not empty
  std::optional<int32_t> converter_result;
  bool continue_answer = true;
  std::string view_refusal;  // when set, the log view refuses every log with this reason
  std::vector<ProgramArguments> engine_arguments, converter_arguments;
  std::vector<std::string> statuses, confirmed, prompts, shown_logs;
  bool finished = false;
};

class TranslateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.ok());
    gds_ = work_.Write("demo.gds", ReadBytes(kSamples + "/demo.gds"));
    job_.program_dir = kBin;
    host_.working_dir = work_.path();
  }

  // Scan, a new CFG file, the options of samples/demo.cfg, layers 1-5.
  void Prepare(int32_t format) {
    const ProgramRunner runner = [&](const std::string& p, const ProgramArguments& a, int32_t* e,
                                     std::string* r) {
      return RunProgram(nullptr, p, job_.working_dir.c_str(), a, e, true, nullptr, r);
    };
    ASSERT_EQ(ScanGdsFile(&job_, gds_, runner), ScanResult::kScanned);
    std::string gds_dir;
    SplitPath(gds_, &gds_dir, nullptr);
    EXPECT_EQ(job_.working_dir, gds_dir);
    EXPECT_EQ(job_.scan.top, "TESTPAT");
    EXPECT_EQ(job_.cfg_path, ReplaceExtension(gds_, ".cfg"));
    bool failed = true;
    EXPECT_TRUE(SelectCfgFile(&job_, job_.cfg_path, CAppProfile(), &failed));
    EXPECT_FALSE(failed);
    TabrunOptions& o = job_.options;
    o.feature_size = 0.5;
    o.mask_unit = 0;
    o.min_dimension = 0.1;
    o.max_dimension = 60;
    o.mask_sag = 0.1;
    o.output_format = format;
    job_.layers.Clear();
    for (int layer : kLayers) {
      ASSERT_TRUE(job_.scan.LayerHasData(layer));
      job_.layers.selected.push_back(layer);
      MakeIntermediateName(&job_.layers, layer,
                           work_.File("out " + std::to_string(layer) + DefaultExtension(format)));
    }
    ASSERT_TRUE(SaveJobSettings(job_));
  }

  // Writes a layout whose first structure holds a square on layers 1 and 2 and whose every
  // further structure places the one before it, and scans it.
  void ScanChainLayout(const std::string& path, const std::vector<std::string>& names) {
    GdsWriter writer;
    ASSERT_EQ(writer.OpenLibrary(path, "UM", 0.001, "", 1.0, false), kGdsOk);
    writer.SetFlags(kGdsNoSpooling);
    for (size_t i = 0; i < names.size(); ++i) {
      writer.BeginStructure(names[i]);
      if (i > 0) {
        writer.WriteSref(names[i - 1], 0, 0, 1.0, 0.0, false, 0, 0);
      } else {
        for (int layer : {1, 2}) {
          const std::vector<GdsPoint> square = {
              {0, 0}, {4000.0 * layer, 0}, {4000.0 * layer, 4000}, {0, 4000}, {0, 0}};
          writer.WriteBoundary(square, layer, 0, 0, 0);
        }
      }
      writer.EndStructure();
    }
    ASSERT_EQ(writer.EndLibrary(), kGdsOk);
    const ProgramRunner runner = [&](const std::string& p, const ProgramArguments& a, int32_t* e,
                                     std::string* r) {
      return RunProgram(nullptr, p, job_.working_dir.c_str(), a, e, true, nullptr, r);
    };
    ASSERT_EQ(ScanGdsFile(&job_, path, runner), ScanResult::kScanned);
  }

  // Translates the job anew and expects layers 1 and 2 converted into their PG output
  // files, with no message.
  void TranslateTwoLayers() {
    host_ = RecordingHost();
    host_.working_dir = work_.path();
    EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
    for (const Message& m : notifier_.shown) ADD_FAILURE() << m.text;
    EXPECT_EQ(host_.converter_arguments.size(), 2u);
    for (int layer : {1, 2}) {
      SCOPED_TRACE(layer);
      EXPECT_FALSE(job_.no_data[layer]);
      EXPECT_FALSE(job_.conversion_failed[layer]);
      EXPECT_GT(FileSize(job_.layers.output_names[layer]), 23);
    }
  }

  TempDir work_{"tabrun_road"};
  std::string gds_;
  TabrunJob job_;
  RecordingHost host_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
};

TEST_F(TranslateTest, PgFilesAreTheBytesTheProgramsGiveByHand) {
  for (int32_t format : {kFormatElectromask, kFormatMann3000}) {
    SCOPED_TRACE(format);
    const bool mann = format == kFormatMann3000;
    Prepare(format);
    // The settings the shell wrote are those of the sample, up to the list of outputs.
    const std::string pg_cfg = work_.Read("pg.cfg");
    const std::string sample = ReadBytes(kSamples + "/demo.cfg");
    EXPECT_EQ(pg_cfg.substr(0, pg_cfg.find("PG_OUTPUT")),
              sample.substr(0, sample.find("PG_OUTPUT")));

    const TranslateOutcome outcome = Translate(&job_, &host_);
    EXPECT_EQ(outcome.result, TranslateResult::kTranslated);
    EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown[0].text;
    EXPECT_TRUE(host_.finished);
    ASSERT_EQ(host_.engine_arguments.size(), 2u);
    EXPECT_EQ(host_.engine_arguments[0],
              ProgramArguments({gds_, "0.500000", "1,2,3,4,5", "TESTPAT", "-s1.000000",
                                "-cfg:gds.cfg", "-polycnt"}));
    EXPECT_EQ(host_.statuses.back(),
              mann ? "MANN 3000 Translations completed" : "EMASK Translations completed");

    TempDir reference("tabrun_reference");
    const auto expected = ReferenceOutputs(reference, "TESTPAT", mann);
    int compared = 0;
    for (int layer : kLayers) {
      const std::string result = ConverterResultName(IntermediateFileName("TESTPAT", layer), !mann);
      if (expected.count(result) == 0) {
        EXPECT_TRUE(job_.no_data[layer]);
        continue;
      }
      EXPECT_EQ(ReadBytes(job_.layers.output_names[layer]), expected.at(result)) << result;
      EXPECT_FALSE(FileExists(work_.File(IntermediateFileName("TESTPAT", layer))));
      ++compared;
    }
    EXPECT_GE(compared, 4);
    // The side files are gone; the job log holds the summary, the engine's log, pg.log and
    // the generated files.
    for (const char* gone : {"demo.out", "demo.err", "pg.log", "demo.lg2"}) {
      EXPECT_FALSE(FileExists(work_.File(gone))) << gone;
    }
    const std::string log = work_.Read("demo.log");
    EXPECT_EQ(host_.shown_logs.back(), work_.File("demo.log"));
    EXPECT_NE(log.find("GDS File:\t\t" + gds_ + "\r\n"), std::string::npos);
    EXPECT_NE(log.find("GDS Unit:       \tUM\r\nOutput Unit:    \tUM\r\n"
                       "Structure:      \tTESTPAT\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("\r\nGenerated Output Files:\r\n1 " + job_.layers.output_names[1] + "\r\n"),
              std::string::npos);
    // The PG_OUTPUT list names the user's outputs again after the run.
    EXPECT_NE(work_.Read("pg.cfg").find("\r\nPG_OUTPUT\r\n1 " + work_.File("out 1")),
              std::string::npos);

    if (!mann) {
      // The viewer job names every PG file, and the viewer's database loads them.
      const std::string job_file = WriteViewerJob(job_);
      ASSERT_EQ(job_file, work_.File("demo.job"));
      ClearLayerTable();
      EXPECT_EQ(ReadJobFile(job_file), compared);
      SinkScanProgress progress;
      EXPECT_EQ(LoadJobFiles(&progress), 0);
      for (int k = 0; k < compared; ++k) {
        EXPECT_NE(LayerTable()[k].library, kGdxNoHandle) << k;
        EXPECT_GT(LayerTable()[k].first_count + LayerTable()[k].second_count, 0) << k;
      }
      ClearLayerTable();
    }
    host_ = RecordingHost();
    host_.working_dir = work_.path();
  }
}

// Double quotes, blanks and a line break in the GDSII file's name and in the working
// directory: the scanner, both engine passes and the converters (with their PG buffer in the
// working directory) each get every path whole, and the PG files are those the programs give
// by hand.
TEST_F(TranslateTest, PathsHoldingDoubleQuotesReachEveryProgramWhole) {
  TempDir reference("tabrun_reference");
  const auto expected = ReferenceOutputs(reference, "TESTPAT", false);
  for (const char* name : {"de\"mo.gds", "\"demo\".gds", "say \"hi\" dir/it's \"a\" demo.gds",
                           "line\nbreak/de\"mo.gds"}) {
    SCOPED_TRACE(name);
    job_ = TabrunJob();
    job_.program_dir = kBin;
    gds_ = work_.Write(name, ReadBytes(kSamples + "/demo.gds"));
    ASSERT_NO_FATAL_FAILURE(Prepare(kFormatElectromask));
    job_.options.pg_disk_buffer = 1;
    host_ = RecordingHost();
    host_.working_dir = job_.working_dir;
    notifier_.shown.clear();
    EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
    EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown[0].text;
    int compared = 0;
    for (int layer : kLayers) {
      const std::string result = ConverterResultName(IntermediateFileName("TESTPAT", layer), true);
      if (expected.count(result) == 0) continue;
      EXPECT_TRUE(ReadBytes(job_.layers.output_names[layer]) == expected.at(result)) << result;
      ++compared;
    }
    EXPECT_GE(compared, 4);
    const std::string log = ReadBytes(ReplaceExtension(gds_, ".log"));
    EXPECT_NE(log.find("GDS File:\t\t" + gds_ + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Generated Output Files:"), std::string::npos) << log;
  }
}

// GDS.CFG left in the working directory by an earlier tool would change layers 2, 3 and 5:
// the engine reads the gds.cfg the shell has just written, and the job log names the other.
TEST_F(TranslateTest, AStaleGdsCfgBesideTheJobsOwnIsNotReadAndTheLogNamesIt) {
  Prepare(kFormatElectromask);
  work_.Write("GDS.CFG", "MIN_LINE\r\n20\r\n\r\nSCALE_FACTOR\r\n3\r\n\r\nMAP_CIRCLE\r\nON\r\n");
  const TranslateOutcome outcome = Translate(&job_, &host_);
  EXPECT_EQ(outcome.result, TranslateResult::kTranslated);
  EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown[0].text;
  TempDir reference("tabrun_reference");
  const auto expected = ReferenceOutputs(reference, "TESTPAT", false);
  int compared = 0;
  for (int layer : kLayers) {
    const std::string result = ConverterResultName(IntermediateFileName("TESTPAT", layer), true);
    if (expected.count(result) == 0) continue;
    EXPECT_EQ(ReadBytes(job_.layers.output_names[layer]), expected.at(result)) << result;
    ++compared;
  }
  EXPECT_GE(compared, 4);
  const std::string log = work_.Read("demo.log");
  EXPECT_NE(log.find("Settings file 'GDS.CFG' is not read: the settings are read from "
                     "'gds.cfg'."),
            std::string::npos)
      << log;
  // The stale file is left as it was.
  EXPECT_EQ(work_.Read("GDS.CFG"),
            "MIN_LINE\r\n20\r\n\r\nSCALE_FACTOR\r\n3\r\n\r\nMAP_CIRCLE\r\nON\r\n");
}

// Output names as a CFG may give them: relative (taken in the working directory, not in
// the directory the shell runs in) and, for Electromask, the Intermediate files' own names.
// Each output is the converter's result; none is lost with the Intermediate file.
TEST_F(TranslateTest, RelativeOutputNamesAreWrittenInTheWorkingDirectoryEvenAsTheIntermediates) {
  for (const bool intermediate_names : {true, false}) {
    SCOPED_TRACE(intermediate_names ? "the Intermediate files' names" : "names of their own");
    Prepare(kFormatElectromask);
    for (int layer : kLayers) {
      MakeIntermediateName(&job_.layers, layer,
                           intermediate_names ? IntermediateFileName("TESTPAT", layer)
                                              : "rel" + std::to_string(layer) + ".em");
    }
    ASSERT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
    TempDir reference("tabrun_reference");
    const auto expected = ReferenceOutputs(reference, "TESTPAT", false);
    const std::string log = work_.Read("demo.log");
    int compared = 0;
    for (int layer : kLayers) {
      const std::string result = ConverterResultName(IntermediateFileName("TESTPAT", layer), true);
      if (expected.count(result) == 0) continue;
      const std::string name = job_.layers.output_names[layer];
      EXPECT_TRUE(work_.Read(name) == expected.at(result)) << name;
      EXPECT_FALSE(FileExists(name)) << "nothing is written where the shell runs: " << name;
      EXPECT_NE(log.find("\r\n" + std::to_string(layer) + " " + name + "\r\n"), std::string::npos);
      ++compared;
    }
    EXPECT_GE(compared, 4);
    host_ = RecordingHost();
    host_.working_dir = work_.path();
  }
}

TEST_F(TranslateTest, IntermediateFormatMovesTheEnginesFilesAndListsThemInTheLog) {
  Prepare(kFormatIntermediate);
  const TranslateOutcome outcome = Translate(&job_, &host_);
  EXPECT_EQ(outcome.result, TranslateResult::kTranslated);
  EXPECT_TRUE(host_.converter_arguments.empty());
  TempDir reference("tabrun_reference");
  const auto expected = ReferenceOutputs(reference, "TESTPAT", false);
  for (int layer : kLayers) {
    const std::string intermediate = IntermediateFileName("TESTPAT", layer);
    if (expected.count(intermediate) == 0) continue;
    EXPECT_EQ(ReadBytes(job_.layers.output_names[layer]), expected.at(intermediate));
    EXPECT_FALSE(FileExists(work_.File(intermediate)));
  }
  EXPECT_NE(work_.Read("demo.log").find("Generated Output Files:"), std::string::npos);
}

// A top structure whose name holds characters a file name cannot: the engine qualifies it
// unless the settings file it reads turns GDSQUALIFY off (it reads the CFG file's GDS.CFG
// records only when that file is its gds.cfg), and the shell finds and converts the
// Intermediate file of every layer under the engine's name, leaving none behind.
TEST_F(TranslateTest, ATopStructureNameOfOddCharactersFindsTheEnginesFiles) {
  const std::string top = "(bad_cell,a$b/c)";
  ScanChainLayout(work_.File("odd.gds"), {top});
  ASSERT_EQ(job_.scan.top, top);
  struct Case {
    const char* cfg;
    bool qualify;
    const char* engine_file;  // of layer 1
  };
  for (const Case& c : {Case{"odd.cfg", true, "_bad_c01.int"}, Case{"odd.cfg", false, "_bad_c01.int"},
                        Case{"gds.cfg", false, "(bad_c01.int"}}) {
    SCOPED_TRACE(std::string(c.cfg) + (c.qualify ? " GDSQUALIFY on" : " GDSQUALIFY off"));
    bool failed = true;
    SelectCfgFile(&job_, work_.File(c.cfg), CAppProfile(), &failed);
    ASSERT_FALSE(failed);
    job_.options.output_format = kFormatElectromask;
    job_.cfg.gds_qualify = c.qualify;
    job_.layers.Clear();
    for (int layer : {1, 2}) {
      job_.layers.selected.push_back(layer);
      MakeIntermediateName(&job_.layers, layer, work_.File("odd" + std::to_string(layer) + ".em"));
      RemoveFile(job_.layers.output_names[layer]);
    }
    ASSERT_TRUE(SaveJobSettings(job_));
    host_ = RecordingHost();
    host_.working_dir = work_.path();
    job_.debug = true;  // the Intermediate files stay: the engine's names are seen
    EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
    EXPECT_TRUE(FileExists(work_.File(c.engine_file)));
    job_.debug = false;

    TranslateTwoLayers();
    for (const auto& entry : std::filesystem::directory_iterator(work_.path())) {
      EXPECT_NE(entry.path().extension(), ".int") << entry.path();
    }
  }
}

// Structure names that begin with '-', kept as they are (GDSQUALIFY off): the scan's own
// top reaches the engine and its Intermediate files reach the converters as files, whose
// results have the names they always have. A top below it cannot be named to the engine:
// Translate says so and runs nothing.
TEST_F(TranslateTest, ATopStructureNameBeginningWithADashIsNoOption) {
  ScanChainLayout(work_.File("dash.gds"), {"-cell", "-dash"});
  ASSERT_EQ(job_.scan.top, "-dash");
  bool failed = true;
  SelectCfgFile(&job_, work_.File("gds.cfg"), CAppProfile(), &failed);
  ASSERT_FALSE(failed);
  job_.cfg.gds_qualify = false;
  for (const int32_t format : {kFormatElectromask, kFormatMann3000}) {
    SCOPED_TRACE(format);
    job_.options.output_format = format;
    job_.layers.Clear();
    for (int layer : {1, 2}) {
      job_.layers.selected.push_back(layer);
      MakeIntermediateName(&job_.layers, layer,
                           work_.File("dash" + std::to_string(layer) + DefaultExtension(format)));
      RemoveFile(job_.layers.output_names[layer]);
    }
    ASSERT_TRUE(SaveJobSettings(job_));
    notifier_.shown.clear();
    TranslateTwoLayers();
    ASSERT_EQ(host_.converter_arguments.size(), 2u);
    for (int layer : {1, 2}) {
      SCOPED_TRACE(layer);
      const std::string intermediate = IntermediateFileName("-dash", layer);
      EXPECT_EQ(host_.converter_arguments[layer - 1].front(), "./" + intermediate);
      EXPECT_FALSE(FileExists(work_.File(intermediate)));
    }
    EXPECT_NE(work_.Read("dash.log").find("Structure:      \t-dash\r\n"), std::string::npos);
  }

  ASSERT_TRUE(ChooseTopStructure(&job_, "-cell"));
  host_ = RecordingHost();
  host_.working_dir = work_.path();
  notifier_.shown.clear();
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kRefused);
  EXPECT_TRUE(host_.engine_arguments.empty());
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text,
            "The top structure -cell cannot be named to the translation engine: a name that "
            "begins with '-' reads as an option, and only the top structure of the scan (-dash) "
            "can be given otherwise.\nChoose another top structure.");
}

// A job log the view cannot show (too long for it) is said so once, with the reason, though
// the run shows it twice (after the engine and after the conversion).
TEST_F(TranslateTest, AJobLogTheViewRefusesIsToldOnceWithTheReason) {
  for (int32_t format : {kFormatElectromask, kFormatIntermediate}) {
    SCOPED_TRACE(format);
    Prepare(format);
    host_ = RecordingHost();
    host_.working_dir = work_.path();
    host_.view_refusal = "It is too long for the view.";
    notifier_.shown.clear();
    job_.job_log_path.clear();
    EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
    EXPECT_GE(host_.shown_logs.size(), 1u);
    std::vector<std::string> texts;
    for (const Message& m : notifier_.shown) texts.push_back(m.text);
    EXPECT_EQ(texts,
              std::vector<std::string>{"Error occurred in viewing log file " +
                                       work_.File("demo.log") + ".\nIt is too long for the view."});
    EXPECT_EQ(job_.job_log_path, "");
  }
}

TEST_F(TranslateTest, TranslateIsRefusedBeforeAScanAndWithoutLayers) {
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kRefused);
  Prepare(kFormatElectromask);
  job_.layers.selected.clear();
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kRefused);
  ASSERT_EQ(notifier_.shown.size(), 2u);
  EXPECT_EQ(notifier_.shown[1].text, "No layers are selected for translation.");
  EXPECT_TRUE(host_.engine_arguments.empty());
}

// A Cancel in either pass: the engine's log becomes a job log with its header, which says
// that the user cancelled.
TEST_F(TranslateTest, CancelInTheEngineEndsTheSequenceWithAJobLogThatSaysSo) {
  for (const std::vector<int32_t>& results :
       {std::vector<int32_t>{CancelledExitCode}, std::vector<int32_t>{4, CancelledExitCode}}) {
    SCOPED_TRACE(results.size());
    Prepare(kFormatElectromask);
    work_.Write("demo.out", "x");
    host_ = RecordingHost();
    host_.working_dir = work_.path();
    host_.engine_results = results;
    host_.fake_log = work_.File("demo.log");
    host_.fake_log_text = "\r\nThe translation was cancelled.\r\n";
    EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kCancelled);
    EXPECT_EQ(host_.statuses.back(), "Translation cancelled");
    EXPECT_EQ(host_.engine_arguments.size(), results.size());
    EXPECT_FALSE(FileExists(work_.File("demo.out")));
    EXPECT_TRUE(host_.converter_arguments.empty());
    const std::string log = work_.Read("demo.log");
    EXPECT_TRUE(log.starts_with("Kavrinth Tabrun: GDSII to PG translation job log\r\n")) << log;
    EXPECT_NE(log.find("\r\nThe translation was cancelled by the user.\r\n"), std::string::npos)
        << log;
    EXPECT_EQ(host_.shown_logs, std::vector<std::string>{work_.File("demo.log")});
  }
}

// The engine failed: the message gives the reason its log and the PG library's log give,
// and so does the job log, above the engine's log.
TEST_F(TranslateTest, AnEngineFailureIsShownWithItsReasonAndItsLog) {
  Prepare(kFormatElectromask);
  host_.engine_results = {4, -1};
  host_.fake_log = work_.File("demo.log");
  host_.fake_log_text =
      "\r\n\r\n0 warning(s) and 1 error(s) are detected in the translations.\r\n"
      "\r\nThe post processor failed with the result -1.\r\n";
  host_.fake_pg_log_text = "Error: the top structure 'TESTPAT' is not in the translated stream\r\n";
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kFailed);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text,
            "Error occurred in translating GDS file.\nThe post processor failed with the result "
            "-1.\nError: the top structure 'TESTPAT' is not in the translated stream\nPlease refer "
            "to log file for more information.");
  EXPECT_EQ(host_.statuses.back(), "Intermdeiate Translation failed");
  const std::string log = work_.Read("demo.log");
  const size_t failed = log.find(
      "\r\nThe translation failed:\r\nThe post processor failed with the result -1.\r\n"
      "Error: the top structure 'TESTPAT' is not in the translated stream\r\n");
  EXPECT_NE(failed, std::string::npos) << log;
  EXPECT_LT(failed, log.find("warning(s) and")) << log;
  EXPECT_TRUE(host_.converter_arguments.empty());
  EXPECT_FALSE(host_.finished);

  // The real engine on a layout it cannot read (of the size and time the scan saw, so that
  // only the engine finds it out): its reason is in the message and the job log.
  Prepare(kFormatElectromask);
  notifier_.shown.clear();
  host_ = RecordingHost();
  host_.working_dir = work_.path();
  const int64_t size = FileSize(gds_);
  struct stat before {};
  ASSERT_EQ(::stat(gds_.c_str(), &before), 0);
  work_.Write("demo.gds", std::string(static_cast<size_t>(size), 'x'));
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, gds_.c_str(), times, 0), 0);
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kFailed);
  ASSERT_FALSE(notifier_.shown.empty());
  const std::string& message = notifier_.shown[0].text;
  EXPECT_TRUE(message.starts_with("Error occurred in scanning GDS file polygons.\n")) << message;
  EXPECT_TRUE(message.ends_with("\nPlease refer to log file for more information.")) << message;
  EXPECT_GT(std::count(message.begin(), message.end(), '\n'), 1) << message;
  const std::string engine_log = work_.Read("demo.log");
  EXPECT_NE(engine_log.find("\r\nThe translation failed:\r\n"), std::string::npos) << engine_log;
  EXPECT_EQ(engine_log.find(" 0 error(s)"), std::string::npos) << engine_log;
  EXPECT_EQ(host_.engine_arguments.size(), 1u);
  EXPECT_TRUE(host_.converter_arguments.empty());
  EXPECT_FALSE(host_.finished);
}

// A layout changed since its scan is not translated: the user is told how it changed and
// asked to scan it again; nothing runs.
TEST_F(TranslateTest, ALayoutChangedSinceItsScanIsNotTranslatedAndTheUserIsAskedToScanAgain) {
  struct Case {
    const char* what;
    std::function<void(const std::string& gds)> change;
    const char* told;
  };
  const Case cases[] = {
      {"longer",
       [](const std::string& gds) { test_support::WriteBytes(gds, ReadBytes(gds) + "x"); },
       "bytes and holds"},
      {"written again",
       [](const std::string& gds) {
         const std::string bytes = ReadBytes(gds);
         test_support::WriteBytes(gds, bytes);
         const struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
         ::utimensat(AT_FDCWD, gds.c_str(), times, 0);
       },
       "it has been written since"},
      {"removed", [](const std::string& gds) { std::remove(gds.c_str()); }, "it no longer exists"},
  };
  for (const Case& c : cases) {
    for (const int answer : {kAnswerNo, kAnswerYes}) {
      SCOPED_TRACE(std::string(c.what) + (answer == kAnswerYes ? ", yes" : ", no"));
      gds_ = work_.Write("demo.gds", ReadBytes(kSamples + "/demo.gds"));
      Prepare(kFormatElectromask);
      host_ = RecordingHost();
      host_.working_dir = work_.path();
      ScriptedNotifier notifier;
      notifier.answers = {answer};
      ScopedNotifier scoped(&notifier);
      c.change(gds_);
      const TranslateOutcome outcome = Translate(&job_, &host_);
      EXPECT_EQ(outcome.result, TranslateResult::kRefused);
      EXPECT_EQ(outcome.rescan, answer == kAnswerYes);
      ASSERT_EQ(notifier.shown.size(), 1u);
      const Message& asked = notifier.shown[0];
      EXPECT_EQ(asked.buttons, MessageButtons::kYesNo);
      EXPECT_TRUE(
          asked.text.starts_with("The GDS file " + gds_ + " is not the file that was scanned"))
          << asked.text;
      EXPECT_NE(asked.text.find(c.told), std::string::npos) << asked.text;
      EXPECT_TRUE(asked.text.ends_with("Scan it again now?")) << asked.text;
      EXPECT_TRUE(host_.engine_arguments.empty());
    }
  }
}

TEST_F(TranslateTest, WarningsAskBeforeConvertingAndAFailedConverterKeepsItsInput) {
  Prepare(kFormatElectromask);
  host_.engine_results = {100, 3};  // no engine runs: no log, no Intermediate files
  host_.continue_answer = false;
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kWarnings);
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_EQ(host_.prompts[0].substr(0, 52),
            "3 warnings/errors are detected in the translation.\r\n");
  EXPECT_TRUE(host_.converter_arguments.empty());

  // Real Intermediate files, a converter that fails: the files stay, the log says so.
  host_ = RecordingHost();
  host_.working_dir = work_.path();
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
  host_ = RecordingHost();
  host_.working_dir = work_.path();
  job_.debug = true;  // keeps the Intermediate files of this run for the next one
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
  job_.debug = false;
  host_ = RecordingHost();
  host_.working_dir = work_.path();
  host_.engine_results = {100, 0};
  host_.converter_result = -1;
  const std::string previous_output = ReadBytes(job_.layers.output_names[1]);
  ASSERT_FALSE(previous_output.empty());
  host_.fake_log = work_.File("demo.log");
  notifier_.shown.clear();
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kTranslated);
  EXPECT_FALSE(host_.converter_arguments.empty());
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_NE(notifier_.shown[0].text.find("Error occurred in converting"), std::string::npos);
  const std::string log = work_.Read("demo.log");
  EXPECT_NE(log.find("engine log\r\n"), std::string::npos);
  EXPECT_NE(log.find("Conversion failed for GDS layer 1, " + job_.layers.output_names[1]),
            std::string::npos);
  EXPECT_TRUE(FileExists(work_.File(IntermediateFileName("TESTPAT", 1))));
  // The output of the run before is still there, whole.
  EXPECT_EQ(ReadBytes(job_.layers.output_names[1]), previous_output);
}

TEST_F(TranslateTest, ScannerFailuresKeepThePreviousJob) {
  Prepare(kFormatElectromask);
  const std::string previous_report = job_.scan_report_path;
  const ProgramRunner real = [&](const std::string& p, const ProgramArguments& a, int32_t* e,
                                 std::string* r) {
    return RunProgram(nullptr, p, job_.working_dir.c_str(), a, e, true, nullptr, r);
  };
  // Files the scanner refuses: the message gives the reason the scanner gave.
  for (const reference_run::RefusedLayout& c : reference_run::kRefusedLayouts) {
    SCOPED_TRACE(c.name);
    const std::string path = work_.Write(c.name, c.bytes);
    notifier_.shown.clear();
    EXPECT_EQ(ScanGdsFile(&job_, path, real), ScanResult::kFailed);
    EXPECT_EQ(job_.gds_path, gds_);
    EXPECT_TRUE(job_.scanned);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(notifier_.shown[0].text,
              "Error occurred in scanning file " + path + ".\n" + c.reason);
  }

  // A scanner that ends with 0 but writes no report has failed too.
  work_.Write("other.gds", ReadBytes(gds_));
  const ProgramRunner silent = [](const std::string&, const ProgramArguments&, int32_t* e,
                                  std::string*) {
    *e = 0;
    return 1;
  };
  EXPECT_EQ(ScanGdsFile(&job_, work_.File("other.gds"), silent), ScanResult::kFailed);
  EXPECT_NE(notifier_.shown.back().text.find("wrote no report"), std::string::npos);
  EXPECT_EQ(job_.scan_report_path, previous_report);
  EXPECT_EQ(job_.scan.top, "TESTPAT");

  // A stale report of the same name does not pass for the new scan's.
  work_.Write("other.ssn", "STRUCTURE_LIST\n1) STALE\n");
  EXPECT_EQ(ScanGdsFile(&job_, work_.File("other.gds"), silent), ScanResult::kFailed);

  // A GDSII file named like its own report is never overwritten.
  const std::string odd = work_.Write("odd.ssn", ReadBytes(gds_));
  EXPECT_EQ(ScanGdsFile(&job_, odd, real), ScanResult::kFailed);
  EXPECT_EQ(ReadBytes(odd), ReadBytes(gds_));
  EXPECT_NE(notifier_.shown.back().text.find("would replace the file itself"), std::string::npos);
}

TEST_F(TranslateTest, AnUnwritableSettingsFileStopsTranslate) {
  Prepare(kFormatElectromask);
  std::filesystem::remove(work_.File("pg.cfg"));
  std::filesystem::create_directory(work_.File("pg.cfg"));  // cannot be replaced by a file
  EXPECT_EQ(Translate(&job_, &host_).result, TranslateResult::kFailed);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_NE(notifier_.shown.back().text.find("pg.cfg"), std::string::npos);
  EXPECT_TRUE(host_.engine_arguments.empty());
}

TEST_F(TranslateTest, TheViewerJobKeepsTheUsersLayerSettings) {
  Prepare(kFormatElectromask);
  for (int layer : kLayers) work_.Write("out " + std::to_string(layer) + ".em", "<Z");
  const std::string job_file = WriteViewerJob(job_);
  ASSERT_EQ(job_file, work_.File("demo.job"));
  EXPECT_EQ(ReadProfileString(job_file, "LAYER_TABLE", "LAYER_0", "", 400),
            "ON,255,0,0,Paint \"" + work_.File("out 1.em") + "\"");
  EXPECT_EQ(ReadProfileString(job_file, "LAYER_TABLE", "LAYER_4", "", 400),
            "ON,255,0,255,Paint \"" + work_.File("out 5.em") + "\"");
  EXPECT_EQ(ReadProfileString(job_file, "General", "UnitType", "", 10), "1");
  // The user changed a layer's look in the viewer; a second View PG with fewer files keeps
  // it, replaces the file and empties the entries beyond.
  ASSERT_TRUE(
      WriteProfileString(job_file, "LAYER_TABLE", "LAYER_0", "OFF,1,2,3,Scratch \"old.em\""));
  RemoveFile(work_.File("out 2.em"));
  ASSERT_EQ(WriteViewerJob(job_), job_file);
  EXPECT_EQ(ReadProfileString(job_file, "LAYER_TABLE", "LAYER_0", "", 400),
            "OFF,1,2,3,Scratch \"" + work_.File("out 1.em") + "\"");
  EXPECT_EQ(ReadProfileString(job_file, "LAYER_TABLE", "LAYER_1", "", 400),
            "ON,0,255,0,Paint \"" + work_.File("out 3.em") + "\"");
  EXPECT_EQ(ReadProfileString(job_file, "LAYER_TABLE", "LAYER_4", "x", 400), "");
}

// What Tabrun writes into the viewer's table is what the viewer reads: a path of any
// length comes back whole, an old entry keeps its look only when the viewer reads it (else
// it is written afresh), and a path the file cannot hold is refused with a message
// instead of being written cut.
TEST_F(TranslateTest, TheViewerJobReadsBackAsTheViewerReadsIt) {
  Prepare(kFormatElectromask);
  std::string deep = work_.path();
  while (deep.size() < 1000) deep += "/a directory, of some depth";
  std::filesystem::create_directories(deep);
  const int layer = kLayers[0];
  job_.layers.selected = {layer};
  job_.layers.output_names[layer] = deep + "/out 1.em";
  work_.Write(job_.OutputPath(layer).substr(work_.path().size() + 1), "<Z");
  const std::string job_file = WriteViewerJob(job_);
  ASSERT_EQ(job_file, work_.File("demo.job"));
  struct Case {
    const char* old;  // the entry the user's job holds before the next View PG
    int32_t shown;
    uint32_t colour;
    int32_t fill_mode;
  } cases[] = {
      {"OFF,1,2,3,Scratch \"old.em\"", 0, 0x030201, kFillScratch},
      {"OFF 1 2 3 Negative \"old.em\"", 0, 0x030201, kFillNegative},
      {"OFF,1,2 \"old.em\"", 1, 0x00FF00, kFillPaint},
      {"garbage \"old.em\"", 1, 0x00FF00, kFillPaint},
      {"", 1, 0x00FF00, kFillPaint},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.old);
    ASSERT_TRUE(WriteProfileString(job_file, "LAYER_TABLE", "LAYER_0", c.old));
    ASSERT_EQ(WriteViewerJob(job_), job_file);
    ClearLayerTable();
    ASSERT_EQ(ReadJobFile(job_file), 1);
    const ViewLayerEntry& entry = LayerTable()[0];
    EXPECT_EQ(entry.path, job_.OutputPath(layer));
    EXPECT_EQ(entry.shown, c.shown);
    EXPECT_EQ(entry.colour, c.colour);
    EXPECT_EQ(entry.fill_mode, c.fill_mode);
  }
  ClearLayerTable();

  job_.layers.output_names[layer] = work_.File("say \"hi\".em");
  work_.Write("say \"hi\".em", "<Z");
  const std::string before = work_.Read("demo.job");
  notifier_.shown.clear();
  EXPECT_EQ(WriteViewerJob(job_), "");
  EXPECT_EQ(work_.Read("demo.job"), before);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_NE(notifier_.shown[0].text.find("double quote"), std::string::npos);
}

TEST_F(TranslateTest, ANewWorkingDirectoryGetsTheJobsFiles) {
  Prepare(kFormatElectromask);
  TempDir other("tabrun_other");
  ASSERT_TRUE(ChangeWorkingDirectory(&job_, other.path()));
  EXPECT_EQ(job_.scan_report_path, other.File("demo.ssn"));
  EXPECT_EQ(other.Read("demo.ssn"), work_.Read("demo.ssn"));
  EXPECT_EQ(other.Read("pg.cfg"), FormatPgSettings(job_));
  EXPECT_TRUE(FileExists(other.File("gds.cfg")));
  EXPECT_FALSE(FileExists(work_.File("pg.cfg")));
  EXPECT_FALSE(FileExists(work_.File("gds.cfg")));
  EXPECT_TRUE(FileExists(work_.File("demo.cfg")));  // the job's own CFG file stays
}

TEST_F(TranslateTest, SaveCfgAsKeepsTheRecordsTheShellDoesNotManage) {
  Prepare(kFormatElectromask);
  const std::string old_cfg = work_.Read("demo.cfg");
  work_.Write("demo.cfg", old_cfg + "\r\nGERBER\r\napertures.cfg\r\n");
  ASSERT_TRUE(SaveCfgAs(&job_, work_.File("copy.cfg")));
  EXPECT_EQ(job_.cfg_path, work_.File("copy.cfg"));
  const std::string copy = work_.Read("copy.cfg");
  EXPECT_NE(copy.find("\r\nGERBER\r\napertures.cfg\r\n"), std::string::npos);
  EXPECT_EQ(copy.find("GERBER"), copy.rfind("GERBER"));
  EXPECT_NE(copy.find("\r\nPG_OUTPUT\r\n1 "), std::string::npos);
}

// The gds.cfg written for an earlier job is this session's too: a new scan whose CFG file
// is never chosen, even one in another working directory, leaves none behind at exit. One
// the session never wrote stays.
TEST_F(TranslateTest, ClosingRemovesTheGdsCfgOfAnEarlierJobWithoutACfgChoiceNow) {
  Prepare(kFormatElectromask);
  ASSERT_TRUE(FileExists(work_.File("gds.cfg")));
  TempDir other("tabrun_other");
  const std::string foreign = other.Write("gds.cfg", "MAX_LAYER\r\n8\r\n\r\n");
  const ProgramRunner runner = [&](const std::string& p, const ProgramArguments& a, int32_t* e,
                                   std::string* r) {
    return RunProgram(nullptr, p, job_.working_dir.c_str(), a, e, true, nullptr, r);
  };
  ASSERT_EQ(ScanGdsFile(&job_, gds_, runner), ScanResult::kScanned);
  ASSERT_FALSE(job_.cfg_selected);
  ASSERT_TRUE(ChangeWorkingDirectory(&job_, other.path()));
  CleanUpOnClose(job_);
  EXPECT_FALSE(FileExists(work_.File("gds.cfg")));
  EXPECT_TRUE(FileExists(work_.File("pg.cfg")));
  EXPECT_EQ(ReadBytes(foreign), "MAX_LAYER\r\n8\r\n\r\n");
}

TEST_F(TranslateTest, ClosingRemovesGdsCfgOnlyWhenItIsNotTheJobsFile) {
  Prepare(kFormatElectromask);
  CleanUpOnClose(job_);
  EXPECT_FALSE(FileExists(work_.File("gds.cfg")));
  EXPECT_TRUE(FileExists(work_.File("pg.cfg")));
  EXPECT_FALSE(FileExists(job_.scan_report_path));
  job_.cfg_path = work_.File("gds.cfg");
  ASSERT_TRUE(SaveJobSettings(job_));
  CleanUpOnClose(job_);
  EXPECT_TRUE(FileExists(work_.File("gds.cfg")));
  TabrunJob no_directory;
  CleanUpOnClose(no_directory);  // nothing to remove, and nothing relative to us
}

}  // namespace
}  // namespace kavrinth
