// The writers of the engine's header stream, the PG outputs, the viewer's files (WF2,
// GDSII format, reports, job files) and the companions' outputs (selvar's scan report,
// ferolt's and mistrel's PG files), each pointed at a full device, at a file system that
// refuses to let the file grow (a file-size limit) and into a missing directory: each
// reports the failure, leaves nothing new beside its file, and a file it was replacing
// stays as it was.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "companions/converter/converter.h"
#include "companions/selvar/selvar.h"
#include "gdsii/writer.h"
#include "pg2gds/pg_writer.h"
#include "tabreng/header_stream.h"
#include "tests/robustness/robustness_support.h"
#include "viewer/model/gdsformat_writer.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/reports.h"
#include "viewer/model/wf2_scan.h"
#include "viewer/model/wf2_writer.h"

namespace kavrinth {
namespace {

using robustness::FileSizeLimit;
using robustness::ReadFile;
using robustness::ScratchDirectory;
using robustness::WriteFile;

// Every writer writes far more than the limit allows.
constexpr rlim_t kSizeLimit = 4096;
const std::string kOldContent = "the file as it was before\r\n";

enum class Failure { kFullDevice, kSizeLimit, kMissingDirectory };

struct Writer {
  const char* name;
  const char* file;  // the file it writes below the root directory
  std::vector<Failure> failures;
  // Writes the file below root; true when the writer reports success.
  std::function<bool(const std::string& root)> write;
  // Makes the writer's inputs in the current directory, before any limit applies.
  std::function<void()> prepare = [] {};
  // Writes a device such as the null device (else it refuses one).
  bool writes_devices = true;
};

// ---- The engine's header stream ----

bool WriteHeaderStream(const std::string& root) {
  HeaderStreamJob job;
  job.top_name = "CHIPTOP";
  job.translated_name = "chip.gdx";
  for (int layer = 0; layer < kLayerCount; ++layer) job.output_layers.Add(layer);
  JobSettings settings;
  StreamUnits units;
  units.user_per_database = 0.001;
  units.metres_per_database = 1e-9;
  units.metres_per_user = 1e-6;
  HeaderStream stream;
  if (stream.Open(root + "/chip.hdx", job, settings, units) != 0) return false;
  return stream.Close(units, 1.0) == 0;
}

// ---- PG outputs ----

bool WritePgOutput(const std::string& root) {
  PgOutputWriter writer;
  if (writer.OpenPgOutput(root + "/out.em", kPgFormatElectroMask, kPgAscii) != kPgOutputOk) {
    return false;
  }
  for (int32_t i = 0; i < 2000; ++i) {
    if (writer.WritePgFlash({i * 10, i % 100 * 10, 30, 10, 0}) != kPgOutputOk) return false;
  }
  return writer.ClosePgOutput() == kPgOutputOk;
}

// An Intermediate file of 1000 squares of 5 x 5 units for the converters.
void MakeIntermediateInput() {
  PgOutputWriter writer;
  ASSERT_EQ(writer.OpenPgOutput("in.int", kPgFormatIntermediate, kPgAscii), kPgOutputOk);
  for (int32_t i = 0; i < 1000; ++i) {
    PgOutputShape shape;
    const int32_t x = i % 40 * 10000, y = i / 40 * 10000;
    shape.points = {x, y, x + 5000, y, x + 5000, y + 5000, x, y + 5000};
    ASSERT_EQ(writer.WritePgShape(shape), kPgOutputOk);
  }
  ASSERT_EQ(writer.ClosePgOutput(), kPgOutputOk);
}

// The converters write their result into the working directory only.
bool Convert(ConverterKind kind, int32_t format, const std::string& root) {
  if (root != std::filesystem::current_path().string()) return false;
  ConverterOptions options;
  options.input = "in.int";
  options.format = format;
  ConversionCounts counts;
  std::string error;
  const int32_t result = ConvertIntermediateFile(kind, options, 5.0, &counts, &error);
  EXPECT_EQ(result < 0, !error.empty()) << "a failure says what failed";
  return result >= 0;
}

// ---- The viewer's files ----

Wf2Header PatternHeader() {
  Wf2Header header;
  header.frame_width = 100;
  header.frame_height = 50;
  header.strips = 3;
  header.frames_per_strip = 2;
  return header;
}

bool WriteWf2(const std::string& root) {
  Wf2Writer writer;
  if (writer.OpenWf2Output(root + "/out.wf2", PatternHeader(), 0, 0) != kWf2Ok) return false;
  writer.points() = {1000, 1000, 5000, 1000, 5000, 5000};
  if (writer.WriteWf2Polygon(0, 6) == kWf2Failed) return false;
  return writer.CloseWf2File() == kWf2Ok;
}

void MakePattern() {
  ASSERT_TRUE(WriteWf2(std::filesystem::current_path().string()));
  std::filesystem::rename("out.wf2", "pattern.wf2");
}

// A pattern scanned into the layout database and saved again, as the viewer saves a layer.
bool SaveWf2(const std::string& root) {
  Wf2ScanResult scanned;
  const GdxHandle library = ScanWf2File(nullptr, "pattern.wf2", 0, &scanned);
  if (library == kGdxNoHandle) return false;
  Wf2Writer writer;
  int result = writer.OpenWf2Copy("pattern.wf2", root + "/saved.wf2");
  if (result == kWf2Ok) result = writer.SaveWf2File(nullptr, library, "saved.wf2", 0, 0);
  if (result == kWf2Ok) result = writer.CommitWf2File();
  GdxFreeLibrary(library);
  return result == kWf2Ok;
}

bool WriteGdsFormat(const std::string& root) {
  if (GdsOutOpen(root + "/out.gds", 1e-6, 0.001, "", false) != kGdsOutOk) return false;
  bool written = GdsOutBeginStructure("TOP") == kGdsOutOk;
  for (int32_t i = 0; i < 2000 && written; ++i) {
    const std::vector<GdsIntPoint> square = {{i, 0}, {i + 10, 0}, {i + 10, 10}, {i, 10}};
    written = GdsOutBoundary(square, 1, 0, 0, 0) == kGdsOutOk;
  }
  written = written && GdsOutEndStructure() == kGdsOutOk;
  return GdsOutClose() == kGdsOutOk && written;
}

// A job of 60 files, so that the reports and the job file run long.
void FillLayerTable() {
  ClearLayerTable();
  for (int n = 0; n < 60; ++n) AddJobLayerEntry("/data/pattern" + std::to_string(n) + ".pg", n);
}

bool WritePgReport(const std::string& root) { return WriteReport(root + "/job.rpt") == 0; }
bool WriteWf2Report(const std::string& root) { return WriteJobReport(root + "/wf2.rpt") == 0; }
bool WriteViewerJob(const std::string& root) { return WriteJobFile(root + "/view.job") >= 0; }

// ---- selvar's scan report ----

// chip.gds: 400 structures of one boundary each.
void MakeScannedLibrary() {
  GdsWriter writer;
  ASSERT_EQ(writer.OpenLibrary("chip.gds", "UM", 0.001, "", 1.0, false), kGdsOk);
  writer.SetFlags(kGdsNoSpooling);
  for (int i = 0; i < 400; ++i) {
    ASSERT_EQ(writer.BeginStructure("STRUCTURE_" + std::to_string(i)), kGdsOk);
    const std::vector<GdsIntPoint> square = {{0, 0}, {i, 0}, {i, i}, {0, i}, {0, 0}};
    writer.WriteBoundaryEx(std::span<const GdsIntPoint>(square), 1, 0, 0, 0);
    ASSERT_EQ(writer.EndStructure(), kGdsOk);
  }
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
}

bool WriteScanReport(const std::string& root) {
  SelvarOptions options;
  options.gds_path = options.report.gds_path = "chip.gds";
  options.report_path = root + "/chip.ssn";
  options.report.element_counts = options.report.extents = options.report.hierarchy = true;
  std::string error;
  const int result = RunScan(options, &error);
  EXPECT_EQ(result != 0, !error.empty()) << "a failure says what failed";
  return result == 0;
}

const std::vector<Failure> kAll = {Failure::kFullDevice, Failure::kSizeLimit,
                                   Failure::kMissingDirectory};

const Writer kWriters[] = {
    {"HeaderStream", "chip.hdx", kAll, WriteHeaderStream},
    {"PgOutput", "out.em", kAll, WritePgOutput},
    // The converters write into the working directory only: no directory can be missing.
    {"Ferolt",
     "in.em",
     {Failure::kFullDevice, Failure::kSizeLimit},
     [](const std::string& root) {
       return Convert(ConverterKind::kFerolt, kPgFormatElectroMask, root);
     },
     MakeIntermediateInput},
    {"Mistrel",
     "in.dwm",
     {Failure::kFullDevice, Failure::kSizeLimit},
     [](const std::string& root) {
       return Convert(ConverterKind::kMistrel, kPgFormatMann3600, root);
     },
     MakeIntermediateInput},
    {"Wf2Writer", "out.wf2", kAll, WriteWf2},
    {"Wf2Save", "saved.wf2", kAll, SaveWf2, MakePattern},
    {"GdsFormatWriter", "out.gds", kAll, WriteGdsFormat},
    {"PgReport", "job.rpt", kAll, WritePgReport, FillLayerTable},
    {"Wf2Report", "wf2.rpt", kAll, WriteWf2Report, FillLayerTable},
    // The job file is an INI file, read before it is written: a device is refused.
    {"ViewerJobFile", "view.job", kAll, WriteViewerJob, FillLayerTable, false},
    {"ScanReport", "chip.ssn", kAll, WriteScanReport, MakeScannedLibrary},
};

struct WriteCase {
  const Writer* writer;
  Failure failure;
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.writer->name; }

std::string CaseName(const ::testing::TestParamInfo<WriteCase>& info) {
  static const char* const kFailureNames[] = {"FullDevice", "SizeLimit", "MissingDirectory"};
  return std::string(info.param.writer->name) + kFailureNames[static_cast<int>(info.param.failure)];
}

std::vector<WriteCase> AllCases() {
  std::vector<WriteCase> cases;
  for (const Writer& writer : kWriters) {
    for (Failure failure : writer.failures) cases.push_back({&writer, failure});
  }
  return cases;
}

class OutputWriterTest : public ::testing::Test {
 protected:
  OutputWriterTest() {
    // The reports' templates are the ones the viewer ships beside the programs.
    ::setenv("KAVRINTH_PROGRAM_DIR", robustness::kBinDir.c_str(), 1);
  }
  ~OutputWriterTest() override {
    ClearLayerTable();
    ::unsetenv("KAVRINTH_PROGRAM_DIR");
  }
  ScratchDirectory scratch_;
};

class OutputWriteFailureTest : public OutputWriterTest,
                               public ::testing::WithParamInterface<WriteCase> {};

TEST_P(OutputWriteFailureTest, ReportsTheFailureAndLeavesTheOldFile) {
  const Writer& writer = *GetParam().writer;
  const std::filesystem::path file = std::filesystem::path(scratch_.path()) / writer.file;
  writer.prepare();
  switch (GetParam().failure) {
    case Failure::kFullDevice: {
      // The writer must write through to the device, not replace it.
      std::filesystem::create_symlink("/dev/full", file);
      const std::vector<std::string> before = scratch_.Names();
      EXPECT_FALSE(writer.write(scratch_.path()));
      EXPECT_EQ(scratch_.Names(), before);
      EXPECT_TRUE(std::filesystem::is_symlink(file));
      break;
    }
    case Failure::kSizeLimit: {
      WriteFile(file.string(), kOldContent);
      const std::vector<std::string> before = scratch_.Names();
      bool reported_success;
      {
        FileSizeLimit limit(kSizeLimit);
        reported_success = writer.write(scratch_.path());
      }
      EXPECT_FALSE(reported_success);
      EXPECT_EQ(ReadFile(file.string()), kOldContent);
      EXPECT_EQ(scratch_.Names(), before);
      break;
    }
    case Failure::kMissingDirectory: {
      const std::vector<std::string> before = scratch_.Names();
      EXPECT_FALSE(writer.write(scratch_.path() + "/missing"));
      EXPECT_EQ(scratch_.Names(), before);
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, OutputWriteFailureTest, ::testing::ValuesIn(AllCases()),
                         CaseName);

// A writer pointed at the null device writes through to it and succeeds: the device is
// neither replaced by a file nor taken for a failure.
class NullDeviceTest : public OutputWriterTest,
                       public ::testing::WithParamInterface<const Writer*> {};

TEST_P(NullDeviceTest, WritesThroughToTheDevice) {
  const Writer& writer = *GetParam();
  const std::filesystem::path file = std::filesystem::path(scratch_.path()) / writer.file;
  writer.prepare();
  std::filesystem::create_symlink("/dev/null", file);
  const std::vector<std::string> before = scratch_.Names();
  EXPECT_TRUE(writer.write(scratch_.path()));
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(scratch_.Names(), before);
}

INSTANTIATE_TEST_SUITE_P(Writers, NullDeviceTest, ::testing::ValuesIn([] {
                           std::vector<const Writer*> writers;
                           for (const Writer& writer : kWriters) {
                             if (writer.writes_devices) writers.push_back(&writer);
                           }
                           return writers;
                         }()),
                         [](const ::testing::TestParamInfo<const Writer*>& info) {
                           return std::string(info.param->name);
                         });

// The same writers succeed where nothing is in their way, so the failures above are the
// failures asked for; the file they replace is replaced and nothing else is left.
class OutputWriterBaselineTest : public OutputWriterTest,
                                 public ::testing::WithParamInterface<const Writer*> {};

TEST_P(OutputWriterBaselineTest, WritesWhereNothingIsInTheWay) {
  const Writer& writer = *GetParam();
  const std::filesystem::path file = std::filesystem::path(scratch_.path()) / writer.file;
  writer.prepare();
  WriteFile(file.string(), kOldContent);
  const std::vector<std::string> before = scratch_.Names();
  EXPECT_TRUE(writer.write(scratch_.path()));
  EXPECT_GT(std::filesystem::file_size(file), kSizeLimit);
  EXPECT_EQ(scratch_.Names(), before);
}

INSTANTIATE_TEST_SUITE_P(Writers, OutputWriterBaselineTest, ::testing::ValuesIn([] {
                           std::vector<const Writer*> writers;
                           for (const Writer& writer : kWriters) writers.push_back(&writer);
                           return writers;
                         }()),
                         [](const ::testing::TestParamInfo<const Writer*>& info) {
                           return std::string(info.param->name);
                         });

}  // namespace
}  // namespace kavrinth
