// Reading WF2 files into the layout database: a whole file as one library, or a file too
// large for the memory limit cut into sections of whole strips with a frame index from
// which one section at a time is loaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "viewer/model/gdx_database.h"
#include "viewer/model/scan_progress.h"
#include "viewer/model/wf2_format.h"

namespace kavrinth {

// One section of a file loaded in parts: a run of whole strips.
struct Wf2FrameIndexEntry {
  int64_t offset = 0;  // where the section's scan starts (the first: after the header)
  GdxRect box;         // the section's extents in database units
  int32_t first_strip = 0;
  int64_t x_origin = 0;  // the reader's running origins (grid steps) at the section start
  int64_t y_origin = 0;
  int64_t polygons = 0;  // polygons read up to the end of the section, from the file start
  bool operator==(const Wf2FrameIndexEntry&) const = default;
};

// Words of one entry in an index block.
inline constexpr int32_t kWf2FrameIndexEntryWords = 13;

// Collects the entries of a scan and turns them into an index block: the entries followed
// by a terminating entry whose offset is the file size.
class Wf2FrameIndexBuilder {
 public:
  void ClearWf2FrameIndex() { entries_.clear(); }
  void AddWf2FrameIndexEntry(const Wf2FrameIndexEntry& entry) { entries_.push_back(entry); }
  // The block (freed with GdxFreeBlock, or with the layer entry), or 0 when memory runs out.
  GdxHandle BuildWf2FrameIndex(int64_t file_size) const;
  int32_t count() const { return static_cast<int32_t>(entries_.size()); }

 private:
  std::vector<Wf2FrameIndexEntry> entries_;
};

// The number of sections of an index block (its entries without the terminating one).
int32_t Wf2FrameIndexSections(GdxHandle index);
// Entry k of an index block; k equal to the section count gives the terminating entry.
std::optional<Wf2FrameIndexEntry> ReadWf2FrameIndexEntry(GdxHandle index, int32_t k);

enum class Wf2ScanStatus {
  kLoaded,     // the whole file is one library
  kIndexed,    // the file was cut into sections (frame index)
  kCancelled,  // Cancel was pressed: no library, no index
  kNotOpened,  // the file could not be opened or read
  kNotWf2,     // the header is too short or its geometry unusable
  kNoMemory,   // the database ran out of memory
  kChanged,    // a section was asked of a file that is no longer the one indexed
};

struct Wf2ScanResult {
  Wf2ScanStatus status = Wf2ScanStatus::kNotOpened;
  int64_t polygons = 0;
  GdxHandle frame_index = kGdxNoHandle;
  int32_t sections = 0;
  // Polygon records that were skipped: no points, more than 8191, or cut off by the end of
  // the file.
  int64_t skipped_records = 0;
};

// What the scan of the file scanned last leaves for the viewer (reports, the display).
struct Wf2ScanValues {
  Wf2Header header;
  double grid = 1.0;
  int32_t scale_factor = 1;  // database units per grid step
  int64_t file_size = 0;
};
const Wf2ScanValues& LastWf2Scan();

// Scans the file as layer `layer` (the layer of every element). A library when the file
// fits the memory limit (none set counts as fitting); 0 otherwise, with the index in the
// result when the file was cut into sections. Failures other than Cancel, and skipped
// records, are shown to the user. A null progress shows none.
GdxHandle ScanWf2File(ScanProgress* progress, const std::string& path, int32_t layer,
                      Wf2ScanResult* result);

// Loads section k of the layer's file through its frame index: the library, or 0 when the
// file cannot be read or has changed since it was indexed. The layer's hit flags are
// applied to the loaded elements.
GdxHandle LoadWf2Frame(GdxHandle index, int32_t layer, int32_t k, Wf2ScanResult* result = nullptr);

// Builds the frame index of a layer loaded in sections again from its file (after the file
// was rewritten), replacing the old one: 0, or 1 when the file cannot be indexed (the old
// index is then dropped).
int RebuildWf2FrameIndex(int32_t layer);

}  // namespace kavrinth
