// Every engine cancelled with SIGTERM in the middle of its work, as the shells' progress
// dialog cancels it: the run ends with the cancelled result, no temporary file is left
// in the working directory, and each output is either absent or a valid GDSII stream.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "gdsii/library.h"
#include "platform/process.h"
#include "tests/robustness/robustness_support.h"

namespace kavrinth {
namespace {

using namespace robustness;

struct CancelCase {
  const char* name;
  std::function<void()> make_inputs;
  std::vector<std::string> argv;
  std::vector<std::string> outputs;  // GDSII streams the run may leave
};

void PrintTo(const CancelCase& c, std::ostream* out) { *out << c.name; }

// Inputs large enough that the engines are still at work when the signal comes.
constexpr int kFlashes = 400000;
constexpr int kPaths = 60000;

const CancelCase kCases[] = {
    {"Corvitex",
     [] {
       WriteFile("big.em", ElectromaskFile(kFlashes));
       WriteFile("job.job", EngineJob("big.em"));
     },
     {kCorvitex, "@job.job", "-o:out.gds", "-u:E"},
     {"out.gds"}},
    {"Corvaxen",
     [] {
       WriteFile("big.dwm", Mann3000File(kFlashes));
       WriteFile("job.job", EngineJob("big.dwm"));
     },
     {kCorvaxen, "@job.job", "-o:out.gds", "-u:M", "-3000"},
     {"out.gds"}},
    {"Tabreng",
     [] { MakeTranslationJob(kPaths); },
     {kTabreng, "chip.gds", "1.5", "=", "=", "-opost", "-polycnt:" + std::to_string(kPaths)},
     {"chip.gdx", "chip.hdx"}},
};

class CancelTest : public ::testing::TestWithParam<CancelCase> {
 protected:
  ~CancelTest() override { ::unsetenv("KAVRINTH_PROGRAM_DIR"); }
  ScratchDirectory scratch_;
};

TEST_P(CancelTest, EndsCancelledWithoutTemporariesAndWithValidOrNoOutputs) {
  const CancelCase& c = GetParam();
  c.make_inputs();
  const EngineRun run = RunEngineProgram(c.argv, ShowsProgress);
  ASSERT_TRUE(run.signalled) << "the engine never showed its progress";
  EXPECT_EQ(run.result, CancelledExitCode);
  EXPECT_EQ(TemporaryNames(scratch_.Names()), std::vector<std::string>());
  for (const std::string& output : c.outputs) {
    if (!std::filesystem::exists(output)) continue;
    GdsLibrary library;
    std::string error;
    EXPECT_EQ(GdsReadLibrary(output, &library, &error), 0) << output << ": " << error;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, CancelTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CancelCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kavrinth
