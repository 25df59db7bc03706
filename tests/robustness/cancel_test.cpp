// Every engine cancelled with SIGTERM in the middle of its work, as the shells' progress
// dialog cancels it: the run ends with the cancelled result, no temporary file is left
// in the working directory, and each output is either absent or a valid GDSII stream.
// The GDSII -> PG engine is also cancelled while its post-processor writes the
// Intermediate files: then neither those files nor their temporaries, nor the streams
// handed to the post-processor, are left.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "gdsii/library.h"
#include "gdsii/writer.h"
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
  // The progress line that sends the signal.
  std::function<bool(const ProgressLine&)> cancel_when = ShowsProgress;
  // Files the run must not leave, by their ending.
  std::vector<std::string> absent_endings = {};
  // Set by cancel_when when the moment it waits for came (null: the signal is the moment).
  bool* moment_reached = nullptr;
};

void PrintTo(const CancelCase& c, std::ostream* out) { *out << c.name; }

// Inputs large enough that the engines are still at work when the signal comes.
constexpr int kFlashes = 400000;
constexpr int kPaths = 60000;
constexpr int kArraySide = 1500;  // the post-processor flattens 1500 x 1500 squares

// A job for a real run with the post-processor: chip.gds whose structure TOP holds an
// array of a structure SUB of one square on layer 1 (quick for the engine, which copies
// the array, and long for the post-processor, which draws every instance), its scan
// report and pg.cfg; the support files are the real ones beside the engine.
void MakePostProcessingJob() {
  GdsWriter writer;
  ASSERT_EQ(writer.OpenLibrary("chip.gds", "UM", 0.001, "", 1.0, false), kGdsOk);
  writer.SetFlags(kGdsNoSpooling);
  ASSERT_EQ(writer.BeginStructure("SUB"), kGdsOk);
  const std::vector<GdsIntPoint> square = {{0, 0}, {500, 0}, {500, 500}, {0, 500}, {0, 0}};
  ASSERT_EQ(writer.WriteBoundaryEx(std::span<const GdsIntPoint>(square), 1, 0, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  const int32_t extent = kArraySide * 1000;
  const std::vector<GdsIntPoint> corners = {{0, 0}, {extent, 0}, {0, extent}};
  ASSERT_EQ(writer.WriteArefEx("SUB", std::span<const GdsIntPoint>(corners), std::nullopt,
                               kArraySide, kArraySide, 1.0, 0.0, false, 0, 0),
            kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  WriteFile("chip.ssn",
            "LAYERS_CONTAINING_DATA\r\n--\r\n1\r\n\r\n"
            "HIERARCHY of INDEPENDENT STRUCTURES\r\nTOP\r\n  |__ SUB\r\n");
  WriteFile("pg.cfg", "SMALLANGLE\r\n0.1\r\n\r\n");
  ::setenv("KAVRINTH_PROGRAM_DIR", kBinDir.c_str(), 1);
}

bool PostProcessorStarts(const ProgressLine& line) {
  return line.command == ProgressCommand::kText && line.text == "Generating INT Data...";
}

// Whether the post-processor's first Intermediate temporary was seen before the signal.
bool intermediate_temporary_seen = false;

// The post-processor has begun to write: its first Intermediate temporary is there. When
// none comes within ten seconds the signal goes anyway, so that the run ends, and the
// test fails on intermediate_temporary_seen.
bool IntermediateFilesBegun(const ProgressLine& line) {
  if (!PostProcessorStarts(line)) return false;
  for (int wait = 0; wait < 10000; ++wait) {
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      if (entry.path().extension() == ".tmp") {
        intermediate_temporary_seen = true;
        return true;
      }
    }
    ::usleep(1000);
  }
  return true;
}

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
    // As the shell's Cancel comes: when the dialog shows the post-processor's step.
    {"TabrengAsPostProcessingStarts",
     MakePostProcessingJob,
     {kTabreng, "chip.gds", "1.5", "=", "="},
     {},
     PostProcessorStarts,
     {".int", ".hdx", ".gdx"}},
    {"TabrengWritingIntermediateFiles",
     MakePostProcessingJob,
     {kTabreng, "chip.gds", "1.5", "=", "="},
     {},
     IntermediateFilesBegun,
     {".int", ".hdx", ".gdx"},
     &intermediate_temporary_seen},
};

class CancelTest : public ::testing::TestWithParam<CancelCase> {
 protected:
  ~CancelTest() override { ::unsetenv("KAVRINTH_PROGRAM_DIR"); }
  ScratchDirectory scratch_;
};

TEST_P(CancelTest, EndsCancelledWithoutTemporariesAndWithValidOrNoOutputs) {
  const CancelCase& c = GetParam();
  c.make_inputs();
  if (c.moment_reached != nullptr) *c.moment_reached = false;
  const EngineRun run = RunEngineProgram(c.argv, c.cancel_when);
  ASSERT_TRUE(run.signalled) << "the engine never showed its progress";
  if (c.moment_reached != nullptr) {
    EXPECT_TRUE(*c.moment_reached) << "cancelled without reaching the moment the case is for";
  }
  EXPECT_EQ(run.result, CancelledExitCode);
  EXPECT_EQ(TemporaryNames(scratch_.Names()), std::vector<std::string>());
  for (const std::string& name : scratch_.Names()) {
    for (const std::string& ending : c.absent_endings) EXPECT_FALSE(name.ends_with(ending)) << name;
  }
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
