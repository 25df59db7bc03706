// Fuzz target of the WF2 scanner: the input becomes a WF2 file that is scanned whole, or
// cut into sections under a tiny memory limit with every section then loaded through the
// frame index (also after the file changed under the index, and from a rebuilt index). A
// file read whole is saved, and the saved file scanned and saved again gives its bytes.
//
// Input: one mode byte, then either the whole file (mode bit 0) or the first 112 bytes of
// the header block (the part the readers decode; the rest of the 16384 bytes is zero)
// followed by the word stream, so that the fuzzer spends its effort on the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"
#include "viewer/model/wf2_writer.h"

namespace kavrinth {
namespace {

constexpr int32_t kLayer = 0;
constexpr size_t kDecodedHeaderBytes = 112;

enum ModeBit : uint8_t {
  kRawFile = 1,       // the input is the file as it stands
  kSections = 2,      // a one-byte memory limit: every strip closes a section
  kChangeFile = 4,    // the stream's words are reversed (same size) before the sections load
  kRebuildIndex = 8,  // the index is built again from the file and its sections loaded
};

std::vector<uint8_t> FileBytes(const uint8_t* data, size_t size, bool raw) {
  if (raw) return std::vector<uint8_t>(data, data + size);
  std::vector<uint8_t> bytes(kWf2HeaderSize, 0);
  const size_t header = std::min(size, kDecodedHeaderBytes);
  std::copy_n(data, header, bytes.begin());
  bytes.insert(bytes.end(), data + header, data + size);
  return bytes;
}

// The same size and header, another stream: the words after the header in reverse order.
void ChangeFile(std::vector<uint8_t>* bytes) {
  if (bytes->size() <= static_cast<size_t>(kWf2HeaderSize)) return;
  const size_t words = (bytes->size() - kWf2HeaderSize) / 4;
  for (size_t i = 0; i < words / 2; ++i) {
    const size_t a = kWf2HeaderSize + 4 * i, b = kWf2HeaderSize + 4 * (words - 1 - i);
    std::swap_ranges(bytes->begin() + a, bytes->begin() + a + 4, bytes->begin() + b);
  }
}

// Checks an index against the file it was built from and loads each section; for an
// unchanged file each section must hold the polygons the index counts for it.
void LoadSections(GdxHandle index, int64_t file_size, bool unchanged) {
  const int32_t sections = Wf2FrameIndexSections(index);
  if (sections < 1) std::abort();
  int64_t offset = kWf2HeaderSize, polygons = 0;
  for (int32_t k = 0; k <= sections; ++k) {
    const std::optional<Wf2FrameIndexEntry> entry = ReadWf2FrameIndexEntry(index, k);
    if (!entry || entry->offset < offset || entry->offset > file_size) std::abort();
    if (k < sections && entry->polygons < polygons) std::abort();
    offset = entry->offset;
    if (k < sections) polygons = entry->polygons;
  }
  if (ReadWf2FrameIndexEntry(index, sections)->offset != file_size) std::abort();
  if (ReadWf2FrameIndexEntry(index, sections + 1)) std::abort();
  int64_t before = 0;
  for (int32_t k = 0; k < sections; ++k) {
    Wf2ScanResult result;
    const GdxHandle library = LoadWf2Frame(index, kLayer, k, &result);
    const int64_t counted = ReadWf2FrameIndexEntry(index, k)->polygons;
    if (unchanged) {
      if (library == kGdxNoHandle || result.polygons != counted - before) std::abort();
    }
    before = counted;
    if (library != kGdxNoHandle) GdxFreeLibrary(library);
  }
}

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Saves the layer's library into target with the header of template_path: the result.
int Save(GdxHandle library, const std::string& template_path, const std::string& target) {
  Wf2Writer writer;
  if (writer.OpenWf2Copy(template_path, target) != kWf2Ok) return kWf2Failed;
  const int saved = writer.SaveWf2File(nullptr, library, "input.wf2", kLayer, 0);
  if (saved == kWf2Failed || saved == kWf2Cancelled) return saved;
  const int committed = writer.CommitWf2File();
  return committed == kWf2Ok ? saved : committed;
}

// A save writes what the file holds: no more than its header, its polygons and the frame
// and strip words its stream could hold. The file saved, scanned and saved again, gives the
// same bytes and the same polygons.
void CheckSave(GdxHandle library, const std::string& path, int64_t file_size,
               const fuzz::ScratchDirectory& scratch) {
  const std::string copy = scratch.File("copy.wf2");
  const int saved = Save(library, path, copy);
  FUZZ_CHECK(saved == kWf2Ok || saved == kWf2Limited);
  const std::vector<uint8_t> first = Bytes(copy);
  const int64_t stream = file_size - kWf2HeaderSize;
  FUZZ_CHECK(static_cast<int64_t>(first.size()) <= kWf2HeaderSize + 8 + 3 * stream);
  Wf2ScanResult result;
  const GdxHandle again = ScanWf2File(nullptr, copy, kLayer, &result);
  FUZZ_CHECK(result.status == Wf2ScanStatus::kLoaded && again != kGdxNoHandle);
  FUZZ_CHECK(result.skipped_records == 0);
  const std::string second_copy = scratch.File("copy2.wf2");
  FUZZ_CHECK(Save(again, copy, second_copy) == kWf2Ok);
  FUZZ_CHECK(Bytes(second_copy) == first);
  GdxFreeLibrary(again);
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  fuzz::BeQuiet();
  static HeadlessViewerServices services;
  static ScopedViewerServices installed(&services);
  const uint8_t mode = data[0];
  std::vector<uint8_t> bytes = FileBytes(data + 1, size - 1, (mode & kRawFile) != 0);
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  const std::string path = scratch.Write("input.wf2", bytes.data(), bytes.size());
  ViewLayerEntry& entry = LayerTable()[kLayer];
  entry.path = path;

  services.memory_limit = (mode & kSections) != 0 ? 1 : 0;
  Wf2ScanResult result;
  const GdxHandle library = ScanWf2File(nullptr, path, kLayer, &result);
  services.memory_limit = 0;
  switch (result.status) {
    case Wf2ScanStatus::kLoaded:
      if (library == kGdxNoHandle || result.skipped_records < 0) std::abort();
      CheckSave(library, path, static_cast<int64_t>(bytes.size()), scratch);
      GdxFreeLibrary(library);
      break;
    case Wf2ScanStatus::kIndexed: {
      if (library != kGdxNoHandle || result.sections < 1) std::abort();
      entry.frame_block = result.frame_index;
      entry.frame_count = result.sections;
      const bool changed = (mode & kChangeFile) != 0;
      if (changed) {
        ChangeFile(&bytes);
        scratch.Write("input.wf2", bytes.data(), bytes.size());
      }
      LoadSections(entry.frame_block, static_cast<int64_t>(bytes.size()), !changed);
      if ((mode & kRebuildIndex) != 0) {
        services.memory_limit = 1;
        const int rebuilt = RebuildWf2FrameIndex(kLayer);
        services.memory_limit = 0;
        if (rebuilt == 0) {
          LoadSections(entry.frame_block, static_cast<int64_t>(bytes.size()), true);
        }
      }
      break;
    }
    case Wf2ScanStatus::kNotWf2:
      if (library != kGdxNoHandle) std::abort();
      break;
    default:
      std::abort();  // the file is there: it is read, or refused as no WF2 file
  }
  ClearLayerEntry(&entry);
  return 0;
}
