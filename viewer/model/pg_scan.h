// Loading one PG file into a library of the layout database, one element per flash, and
// filling its layer entry's report values (extents, counts, smallest and largest flash).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "viewer/model/gdx_database.h"
#include "viewer/model/scan_progress.h"

namespace kavrinth {

// How a scan ended.
enum class ScanStatus {
  kLoaded,       // the library was made
  kNotOpened,    // the file could not be opened
  kNotDetected,  // the file is not of the job's format
  kNoReader,     // the format (CIF Mann) is detected but has no reader
  kNoMemory,     // the database ran out of memory
  kCancelled,    // Cancel was pressed
  kTruncated,    // the file ends inside a record, before its end-of-data mark
  kBadData,      // the reader met data it cannot use, or a read error
};

// A flash as the scan hands it to the element builder: the four absolute corners, the
// centre, then W, H, the angle (tenths of a degree) and the flash position (for a round
// flash the first segment point).
enum ScanFlashValue : int {
  kScanCorners = 0,
  kScanCentreX = 8,
  kScanCentreY = 9,
  kScanW = 10,
  kScanH = 11,
  kScanAngle = 12,
  kScanPositionX = 13,
  kScanPositionY = 14,
};
using ScanFlashRecord = std::array<int32_t, 15>;

// Loads the PG file of the layer entry `layer_index` (also the layer of every element)
// with the job's format and unit code: the library's handle, or 0. A null progress shows
// none. The reasons for no library other than Cancel are shown to the user. The records
// are read on a thread of their own (not when VEXIL_THREADS is 1, nor on one processor);
// the elements are stored, and progress and Cancel looked at, on the caller's thread, and
// the library is the same either way.
GdxHandle ScanPgFile(ScanProgress* progress, const std::string& path, int32_t layer_index,
                     ScanStatus* status = nullptr);

// Stores one flash in the current library: a five-point boundary carrying the flash's
// values for a rectangular flash; for a round one a circle, or an arc of the ring segment.
// 0, or -1 when memory runs out.
int BuildFlashElement(const ScanFlashRecord& record, bool round);

}  // namespace kavrinth
