// Inputs found by fuzzing the record loop and the settings files, kept as cases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/notifier.h"
#include "support/progress_sink.h"
#include "tabreng/aperture_settings.h"
#include "tabreng/engine.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

using testing::ReadRecords;
using testing::ScratchJob;

// Writes the records of one boundary on layer 1 at the writer's current level.
void WriteRawBoundary(GdsWriter& writer) {
  const std::array<uint8_t, 2> layer = {0, 1};
  const std::array<uint8_t, 2> datatype = {0, 0};
  std::vector<uint8_t> xy;
  for (int32_t value : {0, 0, 10, 0, 10, 10, 0, 10, 0, 0}) {
    for (int shift = 24; shift >= 0; shift -= 8) xy.push_back(static_cast<uint8_t>(value >> shift));
  }
  writer.WriteRecord(kGdsBoundary, kGdsTypeNone, {});
  writer.WriteRecord(kGdsLayer, kGdsTypeInt16, layer);
  writer.WriteRecord(kGdsDataType, kGdsTypeInt16, datatype);
  writer.WriteRecord(kGdsXy, kGdsTypeInt32, xy);
  writer.WriteRecord(kGdsEndEl, kGdsTypeNone, {});
}

struct StrayEndCase {
  const char* name;
  // Writes what follows the selected structure TOP: one element and an ENDSTR that
  // closes no selected structure.
  std::function<void(GdsWriter&)> write;
};

void PrintTo(const StrayEndCase& c, std::ostream* out) { *out << c.name; }

class PruneRepeatTest : public ::testing::TestWithParam<StrayEndCase> {};

TEST_P(PruneRepeatTest, EndsWhenAnEndStrClosesNoSelectedStructure) {
  ScratchJob job;
  ResetCancelForTesting();
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  RecordingProgressSink sink;
  ProgressSink* previous = SetProgressSink(&sink);
  {
    GdsWriter writer;
    ASSERT_EQ(writer.OpenLibrary("stray.gds", "UM", 0.001, "", 1.0, false), kGdsOk);
    writer.SetFlags(kGdsNoSpooling);
    ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
    const testing::Points square = testing::Square(0, 0, 100);
    ASSERT_EQ(writer.WriteBoundaryEx(std::span<const GdsIntPoint>(square), 1, 0, 0, 0), kGdsOk);
    ASSERT_EQ(writer.EndStructure(), kGdsOk);
    GetParam().write(writer);
    ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  }
  ScratchJob::Write("stray.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n");
  RecordingPgLibrary pg;
  EngineEnvironment environment;
  environment.program_directory = job.bin();
  environment.pg = &pg;

  // Pruning used to repeat the pass for ever here; a hang ends the test program.
  ::alarm(60);
  const int32_t result = RunEngine(
      {"/opt/bin/tabreng", "stray.gds", "1.5", "=", "=", "-opost", "-prune"}, environment);
  ::alarm(0);
  SetProgressSink(previous);
  EXPECT_GE(result, 0);
  EXPECT_EQ(pg.close_calls, 1);
  // The selected structure is kept: it has a boundary besides its name.
  bool top_kept = false;
  for (const testing::ReadRecord& record : ReadRecords("stray.gdx")) {
    top_kept = top_kept || (record.type == kGdsStrName && record.text == "TOP");
  }
  EXPECT_TRUE(top_kept);
}

INSTANTIATE_TEST_SUITE_P(
    FuzzFindings, PruneRepeatTest,
    ::testing::Values(StrayEndCase{"StructureWithoutName",
                                   [](GdsWriter& writer) {
                                     writer.WriteRecord(kGdsBgnStr, kGdsTypeInt16,
                                                        std::vector<uint8_t>(24, 0));
                                     WriteRawBoundary(writer);
                                     writer.WriteRecord(kGdsEndStr, kGdsTypeNone, {});
                                   }},
                      StrayEndCase{"EndStrWithoutBgnStr",
                                   [](GdsWriter& writer) {
                                     WriteRawBoundary(writer);
                                     writer.WriteRecord(kGdsEndStr, kGdsTypeNone, {});
                                   }}),
    [](const ::testing::TestParamInfo<StrayEndCase>& info) {
      return std::string(info.param.name);
    });

// A size longer than a fixed text buffer ("%f" prints every digit of it) was cut short in
// CFG.TMP and so written as another number; each size line holds the whole value.
TEST(ApertureFuzzRegressionTest, EverySizeInCfgTmpReadsBackWhole) {
  const double sizes[] = {4.4e66, -1e300, 0.25};
  ApertureSettings settings;
  ParseApertureFile("D10 a F ROUND 4.4e66\nD11 b F SQUARE -1e300\nD12 c F ROUND 0.25\n", settings);
  const std::string text = CfgTmpText(settings);
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 12u + 9990u);
  for (size_t i = 0; i < std::size(sizes); ++i) {
    SCOPED_TRACE(lines[12 + i]);
    char* end = nullptr;
    EXPECT_EQ(std::strtod(lines[12 + i].c_str(), &end), sizes[i]);
    EXPECT_EQ(*end, '\0');
  }
}

}  // namespace
}  // namespace kavrinth
