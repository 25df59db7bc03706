// The engines' outputs and logs pointed at a full device, at a file-size limit and at a
// directory that is a regular file: the run fails with -1 after its message, leaves no
// temporary behind, and a GDSII output it was replacing is left as it was.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "gdsii/library.h"
#include "tests/robustness/robustness_support.h"

namespace kavrinth {
namespace {

using namespace robustness;

const std::string kOldContent = "the library as it was before";

enum class Failure { kFullDevice, kSizeLimit, kNotADirectory };

// What becomes of the file under test when the run fails.
enum class Outcome {
  kUntouched,      // a file being replaced keeps its old content
  kAbsentOrValid,  // an engine's intermediate stream is removed (or still a valid stream)
  kNotChecked,     // a device: nothing to look at
};

struct OutputCase {
  const char* name;
  std::function<void()> make_inputs;
  std::vector<std::string> argv;  // "{}" stands for the path of the file under test
  std::string file;               // in the working directory
  Failure failure;
  Outcome outcome;
};

void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.name; }

void MakeElectromaskJob() {
  WriteFile("a.em", ElectromaskFile(500));
  WriteFile("job.job", EngineJob("a.em"));
}

void MakeMannJob() {
  WriteFile("a.dwm", Mann3000File(500));
  WriteFile("job.job", EngineJob("a.dwm"));
}

void MakeTabrengJob() { MakeTranslationJob(300); }

const std::vector<std::string> kCorvitexArgs = {kCorvitex, "@job.job", "-o:{}", "-u:E"};
const std::vector<std::string> kCorvaxenArgs = {kCorvaxen, "@job.job", "-o:{}", "-u:M", "-3000"};
const std::vector<std::string> kTabrengArgs = {kTabreng, "chip.gds", "1.5", "=", "=", "-opost"};

const OutputCase kCases[] = {
    {"CorvitexOutputOnFullDevice", MakeElectromaskJob, kCorvitexArgs, "out.gds",
     Failure::kFullDevice, Outcome::kNotChecked},
    {"CorvitexOutputBeyondSizeLimit", MakeElectromaskJob, kCorvitexArgs, "out.gds",
     Failure::kSizeLimit, Outcome::kUntouched},
    {"CorvitexOutputInAFile", MakeElectromaskJob, kCorvitexArgs, "out.gds", Failure::kNotADirectory,
     Outcome::kUntouched},
    {"CorvitexLogOnFullDevice", MakeElectromaskJob, kCorvitexArgs, "job.log", Failure::kFullDevice,
     Outcome::kNotChecked},
    {"CorvaxenOutputOnFullDevice", MakeMannJob, kCorvaxenArgs, "out.gds", Failure::kFullDevice,
     Outcome::kNotChecked},
    {"CorvaxenOutputBeyondSizeLimit", MakeMannJob, kCorvaxenArgs, "out.gds", Failure::kSizeLimit,
     Outcome::kUntouched},
    {"CorvaxenOutputInAFile", MakeMannJob, kCorvaxenArgs, "out.gds", Failure::kNotADirectory,
     Outcome::kUntouched},
    {"CorvaxenLogOnFullDevice", MakeMannJob, kCorvaxenArgs, "job.log", Failure::kFullDevice,
     Outcome::kNotChecked},
    {"TabrengTranslatedStreamOnFullDevice", MakeTabrengJob, kTabrengArgs, "chip.gdx",
     Failure::kFullDevice, Outcome::kNotChecked},
    {"TabrengTranslatedStreamBeyondSizeLimit", MakeTabrengJob, kTabrengArgs, "chip.gdx",
     Failure::kSizeLimit, Outcome::kAbsentOrValid},
    {"TabrengLogOnFullDevice", MakeTabrengJob, kTabrengArgs, "chip.log", Failure::kFullDevice,
     Outcome::kNotChecked},
};

class EngineOutputTest : public ::testing::TestWithParam<OutputCase> {
 protected:
  ~EngineOutputTest() override { ::unsetenv("KAVRINTH_PROGRAM_DIR"); }
  ScratchDirectory scratch_;
};

TEST_P(EngineOutputTest, FailsAfterItsMessageAndLeavesNoHalfFile) {
  const OutputCase& c = GetParam();
  c.make_inputs();
  std::string target = c.file;
  switch (c.failure) {
    case Failure::kFullDevice:
      std::filesystem::create_symlink("/dev/full", target);
      break;
    case Failure::kSizeLimit:
      WriteFile(target, kOldContent);
      break;
    case Failure::kNotADirectory:
      WriteFile("plain", kOldContent);
      target = "plain/" + c.file;
      break;
  }
  std::vector<std::string> argv = c.argv;
  for (std::string& word : argv) {
    if (const size_t at = word.find("{}"); at != std::string::npos) word.replace(at, 2, target);
  }

  EngineRun run;
  if (c.failure == Failure::kSizeLimit) {
    FileSizeLimit limit(4096);  // the engine inherits it
    run = RunEngineProgram(argv);
  } else {
    run = RunEngineProgram(argv);
  }

  EXPECT_EQ(run.result, -1);
  EXPECT_FALSE(Messages(run).empty()) << "the failure is shown";
  EXPECT_EQ(TemporaryNames(scratch_.Names()), std::vector<std::string>());
  const std::string kept = c.failure == Failure::kNotADirectory ? "plain" : target;
  switch (c.outcome) {
    case Outcome::kUntouched:
      EXPECT_EQ(ReadFile(kept), kOldContent);
      break;
    case Outcome::kAbsentOrValid:
      if (std::filesystem::exists(kept) && ReadFile(kept) != kOldContent) {
        GdsLibrary library;
        std::string error;
        EXPECT_EQ(GdsReadLibrary(kept, &library, &error), 0) << error;
      }
      break;
    case Outcome::kNotChecked:
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineOutputTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<OutputCase>& info) {
                           return std::string(info.param.name);
                         });

// Each job of the table succeeds when nothing is in the way, so the failures above come
// from the place each file was pointed at.
class EngineOutputBaselineTest : public ::testing::TestWithParam<OutputCase> {
 protected:
  ~EngineOutputBaselineTest() override { ::unsetenv("KAVRINTH_PROGRAM_DIR"); }
  ScratchDirectory scratch_;
};

TEST_P(EngineOutputBaselineTest, SucceedsWithItsFileInPlace) {
  const OutputCase& c = GetParam();
  c.make_inputs();
  std::vector<std::string> argv = c.argv;
  for (std::string& word : argv) {
    if (const size_t at = word.find("{}"); at != std::string::npos) word.replace(at, 2, "out.gds");
  }
  const EngineRun run = RunEngineProgram(argv);
  EXPECT_EQ(run.result, 0);
  EXPECT_GT(std::filesystem::file_size(c.file), 4096u);
  EXPECT_EQ(TemporaryNames(scratch_.Names()), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineOutputBaselineTest,
                         ::testing::Values(kCases[1], kCases[5], kCases[9]),
                         [](const ::testing::TestParamInfo<OutputCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kavrinth
