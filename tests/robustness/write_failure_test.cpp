// Every writer of the libraries pointed at a full device, at a file system that refuses
// to let the file grow (a file-size limit), at a directory that is a regular file and at
// a read-only directory (written by an ordinary user, as root may write there anyway):
// each reports the failure, leaves no temporary behind, and a writer that replaces its
// file whole leaves the file it was replacing intact.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "companions/vantor/session.h"
#include "gdsii/writer.h"
#include "platform/ini.h"
#include "support/app_profile.h"
#include "support/buf_file.h"
#include "support/line_file.h"
#include "tabreng/engine_log.h"
#include "testing/unprivileged.h"
#include "tests/robustness/robustness_support.h"

namespace kavrinth {
namespace {

using robustness::FileSizeLimit;
using robustness::ReadFile;
using robustness::ScratchDirectory;
using robustness::TemporaryNames;
using robustness::WriteFile;

// Every case writes far more than the limit allows.
constexpr rlim_t kSizeLimit = 4096;
const std::string kOldContent = "the file as it was before\r\n";

enum class Failure { kFullDevice, kSizeLimit, kNotADirectory, kReadOnlyDirectory };

struct Writer {
  const char* name;
  const char* file;  // the file it writes below the root directory
  // Writes a temporary and renames it over the file: the old file survives a failure.
  bool replaces_whole;
  std::vector<Failure> failures;
  // Writes the file below root; true when the writer reports success.
  std::function<bool(const std::string& root)> write;
  // Makes the writer's inputs in the current directory, before any limit applies.
  std::function<void()> prepare = [] {};
};

bool WriteGdsLibrary(const std::string& root) {
  GdsWriter writer;  // structures are spooled to temporary files, as the engines do
  if (writer.OpenLibrary(root + "/out.gds", "UM", 0.001, "", 1.0, false) != kGdsOk) return false;
  if (writer.BeginStructure("TOP") != kGdsOk) return false;
  for (int i = 0; i < 2000; ++i) {
    const std::vector<GdsPoint> square = {{0, 0}, {1.0 * i, 0}, {1.0 * i, 1}, {0, 1}, {0, 0}};
    if (writer.WriteBoundary(square, 1, 0, 0, 0) != kGdsOk) return false;
  }
  if (writer.EndStructure() != kGdsOk) return false;
  return writer.EndLibrary() == kGdsOk;
}

bool WriteIniFile(const std::string& root) {
  IniFile ini;
  if (!ini.Load(root + "/settings.ini")) return false;
  for (int i = 0; i < 1000; ++i) {
    if (!ini.Set("Values", "Key" + std::to_string(i), std::string(60, 'v'))) return false;
  }
  return ini.Save();
}

bool WriteSettingsStore(const std::string& root) {
  const std::string directory = std::filesystem::absolute(root).string();
  ::setenv("XDG_CONFIG_HOME", directory.c_str(), 1);
  CAppProfile profile;
  const bool opened = profile.Open("Robust");
  ::unsetenv("XDG_CONFIG_HOME");
  if (!opened) return false;
  CAppProfile::Batch batch(profile);
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "Value" + std::to_string(i);
    if (batch.WriteString(name.c_str(), std::string(60, 's').c_str()) != 1) return false;
  }
  return batch.Commit() == 1;
}

bool WriteBufFile(const std::string& root) {
  std::unique_ptr<BufFile> file = BufFileOpen((root + "/data.bin").c_str(), "wb");
  if (!file) return false;
  const std::string block(1000, 'b');
  bool written = true;
  for (int i = 0; i < 64 && written; ++i) {
    written = BufFileWrite(file.get(), block.data(), block.size()) == block.size();
  }
  written = written && BufFilePutString(file.get(), "end\r\n") == 5;
  return BufFileClose(std::move(file)) == 0 && written;
}

bool WriteReport(const std::string& root) {
  TextPair pair;
  if (pair.Open("report.t_t", root + "/report.txt") != 0) return false;
  std::string token;
  const int marker = pair.NextToken(&token, 256);
  const bool written = marker == 1 && pair.PutLine("42\r\n") == 0 && pair.WriteLine("end") == 0;
  return pair.Close() == 0 && written;
}

void MakeReportTemplate() {
  std::string report_template;
  for (int i = 0; i < 1000; ++i) report_template += "a line of the report template\n";
  WriteFile("report.t_t", report_template + "#1:total\n");
}

bool WriteEngineLog(const std::string& root) {
  EngineLog log;
  if (!log.Open(root + "/chip.log")) return false;
  for (int i = 0; i < 1000; ++i) log.Write("  an option word of the translation\r\n");
  return log.Close() == 0;
}

// pg.log of the PG library: every refused polygon is one logged error; a failed write of
// the log is one error more.
bool WritePgLog(const std::string& root) {
  if (root != std::filesystem::current_path().string()) return false;
  VantorSession session;
  if (session.Init(PgInitValues()) != 0) return false;
  constexpr int kRefused = 200;
  const int32_t one_point = 1;
  const int32_t xy[2] = {0, 0};
  const double fixup = 1.0;
  for (int i = 0; i < kRefused; ++i) {
    session.Polygon(xy, &one_point, nullptr, nullptr, &fixup, "A_STRUCTURE_NAME");
  }
  int32_t warnings = 0, errors = 0;
  session.Close(&warnings, &errors);
  return errors == kRefused;
}

const Writer kWriters[] = {
    {"GdsWriter",
     "out.gds",
     true,
     {Failure::kFullDevice, Failure::kSizeLimit, Failure::kNotADirectory},
     WriteGdsLibrary},
    {"IniFile", "settings.ini", true, {Failure::kSizeLimit, Failure::kNotADirectory}, WriteIniFile},
    {"SettingsStore",
     "Kavrinth/Robust.ini",
     true,
     {Failure::kSizeLimit, Failure::kNotADirectory},
     WriteSettingsStore},
    {"BufFile",
     "data.bin",
     false,
     {Failure::kFullDevice, Failure::kSizeLimit, Failure::kNotADirectory},
     WriteBufFile},
    {"TextPair",
     "report.txt",
     false,
     {Failure::kFullDevice, Failure::kSizeLimit, Failure::kNotADirectory},
     WriteReport,
     MakeReportTemplate},
    {"EngineLog",
     "chip.log",
     false,
     {Failure::kFullDevice, Failure::kSizeLimit, Failure::kNotADirectory},
     WriteEngineLog},
    {"PgLog",
     "pg.log",
     false,
     {Failure::kFullDevice, Failure::kSizeLimit},
     WritePgLog,
     [] { WriteFile("pg.cfg", "SMALLANGLE\r\n0.1\r\n\r\n"); }},
};

// Takes the write permission away from a directory and every directory below it, or
// gives it back.
void SetDirectoriesWritable(const std::filesystem::path& top, bool writable) {
  using std::filesystem::perms;
  std::vector<std::filesystem::path> directories = {top};
  for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
    if (entry.is_directory()) directories.push_back(entry.path());
  }
  for (const std::filesystem::path& directory : directories) {
    std::filesystem::permissions(
        directory, perms::owner_write | perms::group_write,
        writable ? std::filesystem::perm_options::add : std::filesystem::perm_options::remove);
  }
}

struct WriteCase {
  const Writer* writer;
  Failure failure;
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.writer->name; }

std::string CaseName(const ::testing::TestParamInfo<WriteCase>& info) {
  static const char* const kFailureNames[] = {"FullDevice", "SizeLimit", "NotADirectory",
                                              "ReadOnlyDirectory"};
  return std::string(info.param.writer->name) + kFailureNames[static_cast<int>(info.param.failure)];
}

std::vector<WriteCase> AllCases() {
  std::vector<WriteCase> cases;
  for (const Writer& writer : kWriters) {
    for (Failure failure : writer.failures) cases.push_back({&writer, failure});
    // A read-only directory stops every writer that does not write in the current one.
    if (std::string(writer.name) != "PgLog") {
      cases.push_back({&writer, Failure::kReadOnlyDirectory});
    }
  }
  return cases;
}

class WriteFailureTest : public ::testing::TestWithParam<WriteCase> {
 protected:
  ScratchDirectory scratch_;
};

TEST_P(WriteFailureTest, ReportsTheFailureAndLeavesNoHalfFile) {
  const Writer& writer = *GetParam().writer;
  const std::filesystem::path file = std::filesystem::path(scratch_.path()) / writer.file;
  std::filesystem::create_directories(file.parent_path());
  writer.prepare();
  switch (GetParam().failure) {
    case Failure::kFullDevice: {
      std::filesystem::create_symlink("/dev/full", file);
      EXPECT_FALSE(writer.write(scratch_.path()));
      break;
    }
    case Failure::kSizeLimit: {
      WriteFile(file.string(), kOldContent);
      bool reported_success;
      {
        FileSizeLimit limit(kSizeLimit);
        reported_success = writer.write(scratch_.path());
      }
      EXPECT_FALSE(reported_success);
      if (writer.replaces_whole) {
        EXPECT_EQ(ReadFile(file.string()), kOldContent);
      }
      break;
    }
    case Failure::kNotADirectory: {
      WriteFile("plain", kOldContent);
      EXPECT_FALSE(writer.write(scratch_.path() + "/plain"));
      EXPECT_EQ(ReadFile("plain"), kOldContent);
      break;
    }
    case Failure::kReadOnlyDirectory: {
      // No new file can be made there. (An existing file in it stays writable, and the
      // GDSII writer then writes it in place, so only a new file is a failure for all.)
      // Root may write there anyway, so the writer runs as an ordinary user.
      const std::filesystem::path read_only = std::filesystem::path(scratch_.path()) / "ro";
      const std::filesystem::path kept = read_only / writer.file;
      std::filesystem::create_directories(kept.parent_path());
      SetDirectoriesWritable(read_only, false);
      test_support::HandOver(scratch_.path());
      const std::optional<bool> reported_success =
          test_support::RunUnprivileged([&] { return writer.write(read_only.string()); });
      SetDirectoriesWritable(read_only, true);
      EXPECT_EQ(reported_success, false);
      EXPECT_FALSE(std::filesystem::exists(kept));
      break;
    }
  }
  EXPECT_EQ(TemporaryNames(scratch_.Names()), std::vector<std::string>());
  EXPECT_EQ(TemporaryNames(robustness::NamesIn(file.parent_path().string())),
            std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Writers, WriteFailureTest, ::testing::ValuesIn(AllCases()), CaseName);

// The same writers succeed where nothing is in their way, so the failures above are the
// failures asked for.
class WriterBaselineTest : public ::testing::TestWithParam<const Writer*> {
 protected:
  ScratchDirectory scratch_;
};

TEST_P(WriterBaselineTest, WritesWhereNothingIsInTheWay) {
  const Writer& writer = *GetParam();
  const std::filesystem::path file = std::filesystem::path(scratch_.path()) / writer.file;
  std::filesystem::create_directories(file.parent_path());
  writer.prepare();
  WriteFile(file.string(), kOldContent);
  EXPECT_TRUE(writer.write(scratch_.path()));
  EXPECT_GT(std::filesystem::file_size(file), kSizeLimit);
  EXPECT_EQ(TemporaryNames(scratch_.Names()), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterBaselineTest, ::testing::ValuesIn([] {
                           std::vector<const Writer*> writers;
                           for (const Writer& writer : kWriters) writers.push_back(&writer);
                           return writers;
                         }()),
                         [](const ::testing::TestParamInfo<const Writer*>& info) {
                           return std::string(info.param->name);
                         });

}  // namespace
}  // namespace kavrinth
