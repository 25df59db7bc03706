// Fuzz target of the viewer job file: the input read as a job into the layer table with
// its format and unit, and each of its values parsed as a layer value. The table read is
// then written as a job and read back: the same entries, format and unit come back, and a
// second write gives the same bytes. A path the file cannot hold fails the write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/paths.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

// What a job keeps of an entry: an entry without a path is no entry.
struct Kept {
  std::string path;
  int32_t shown = 0;
  uint32_t colour = 0;
  int32_t fill_mode = 0;
  bool operator==(const Kept&) const = default;
};

std::vector<Kept> KeptEntries() {
  std::vector<Kept> kept(kViewLayerCount);
  for (int n = 0; n < kViewLayerCount; ++n) {
    const ViewLayerEntry& entry = LayerTable()[n];
    if (entry.path.empty()) continue;
    kept[n] = {entry.path, entry.shown, entry.colour, entry.fill_mode};
  }
  return kept;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the table into a new job file: its bytes, or nothing when the write failed.
std::optional<std::string> WriteFresh(const std::string& path) {
  std::filesystem::remove(path);
  const int written = WriteJobFile(path);
  if (written < 0) {
    FUZZ_CHECK(!std::filesystem::exists(path));
    return std::nullopt;
  }
  FUZZ_CHECK(written == kViewLayerCount);
  return Bytes(path);
}

void CheckRoundTrip(const fuzz::ScratchDirectory& scratch) {
  const std::vector<Kept> read = KeptEntries();
  bool holdable = true;
  for (const Kept& entry : read) {
    holdable &= entry.path.find_first_of(std::string_view("\"\r\n\0", 4)) == std::string::npos;
  }
  const ViewerImportSettings settings = ImportSettings();
  // The copy has a directory of its own: a relative path is looked for beside the job.
  const std::string directory = scratch.File("round trip");
  std::filesystem::create_directories(directory);
  const std::string copy = directory + "/copy.job";
  const std::optional<std::string> bytes = WriteFresh(copy);
  FUZZ_CHECK(bytes.has_value() == holdable);
  if (!bytes) return;
  for (const Kept& entry : read) {
    const std::string& p = entry.path;
    // A relative path that names nothing from here but something beside the copy (the copy
    // itself, its directory) is read as that file: another value, as it should be.
    if (p.empty() || p[0] == '/' || p[0] == '\\' || FileExists(p)) continue;
    if (FileExists(MakePath(directory, NativePath(p)))) return;
  }
  ClearLayerTable();
  ImportSettings() = ViewerImportSettings{};
  int entries = 0;
  for (const Kept& entry : read) entries += entry.path.empty() ? 0 : 1;
  FUZZ_CHECK(ReadJobFile(copy) == entries);
  FUZZ_CHECK(KeptEntries() == read);
  FUZZ_CHECK(ImportSettings().pg_format == settings.pg_format);
  FUZZ_CHECK(ImportSettings().metric == settings.metric);
  FUZZ_CHECK(WriteFresh(copy) == bytes);
  // Writing the same table over the job read changes nothing.
  FUZZ_CHECK(WriteJobFile(copy) == kViewLayerCount);
  FUZZ_CHECK(Bytes(copy) == *bytes);
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  static HeadlessViewerServices services;
  static ScopedViewerServices installed(&services);
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  const std::string path = scratch.Write("input.job", data, size);
  int32_t unit_code = 0, format = 0;
  (void)ReadJobGeneral(path, &unit_code, &format);
  if (format < 0 || format > 6) std::abort();
  ClearLayerTable();
  ImportSettings() = ViewerImportSettings{};
  const int entries = ReadJobFile(path);
  if (entries < 0 || entries > kViewLayerTableSize) std::abort();
  IniFile job;
  if (job.Load(path)) {
    for (const std::string& section : job.Sections()) {
      for (const std::string& key : job.Keys(section)) {
        if (std::optional<std::string> value = job.Get(section, key)) {
          (void)ParseJobLayerValue(*value);
        }
      }
    }
  }
  CheckRoundTrip(scratch);
  ClearLayerTable();
  return 0;
}
