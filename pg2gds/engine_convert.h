// Converting one PG file of the job: every flash becomes a closed five-point boundary
// (or, with -p, a two-point path of the flash's width) on the file's GDSII layer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "gdsii/writer.h"
#include "pg2gds/engine_run.h"
#include "pg2gds/pg_readers.h"
#include "support/buf_file.h"

namespace kavrinth {

// Results of ProcessPgFile.
enum PgFileResult : int {
  kPgFileCancelled = -1,
  kPgFileDone = 0,
  kPgFileNotOpened = 1,   // nothing written
  kPgFileUnreadable = 2,  // the format was not detected, or the data ended early or was bad
  kPgFileEndsEarly = 3,   // ConvertPgFile: the data ended before its end (ProcessPgFile: 2)
  kPgFileUnitMismatch = 5,
};

// A flash in the library's user units: its centre line along the longer side, and the
// shorter side as its width.
struct FlashSegment {
  GdsPoint start;
  GdsPoint end;
  double width = 0;
};

// The flash's centre line and width in user units (raw values divided by the unit's
// divisor, times the scale), worked out from its centre, sides and angle: a side of an odd
// number of raw units keeps its ends half a unit from the centre, which the reader's
// centre line, in whole raw units, cannot.
FlashSegment ScaleFlash(const FlashRecord& flash, int32_t divisor, double scale);

// The closed outline (the first point repeated) of the segment's width around its line;
// nothing when the line has no length. A line along an axis gives the exact corners.
std::optional<std::array<GdsPoint, 5>> FlashOutline(const FlashSegment& segment);

// True when the value, in database units of the given step, rounds into 32 bits.
bool FitsDatabaseRange(double value, double database_step);
bool FitsDatabaseRange(std::span<const GdsPoint> points, double database_step);

// Flashes of one file that could not be written, or not where the file put them.
struct SkippedFlashes {
  int64_t without_length = 0;  // both sides 0, or too small to give the line a length
  int64_t out_of_range = 0;    // beyond the 32-bit database range once scaled
  int64_t moved = 0;           // written with corners (or ends, width) moved to the database grid
  double largest_move = 0;     // the farthest such move, in user units
};

// How far the points move when they are rounded to the database grid, in user units: the
// largest distance, 0 when every point lies on the grid.
double DatabaseGridMove(std::span<const GdsPoint> points, double database_step);

// Converts one job entry: 0 (done, perhaps with warnings), -1 (Cancel) or message code
// 18 when the file cannot be read, which the log names with the reason. A file that
// cannot be opened is a counted warning.
int ConvertLayerFile(EngineRun& run, const LayerFileEntry& entry);

// Opens the file, detects its format and unit from the run's, converts it and logs the
// unit and data warnings: a PgFileResult. For an unreadable file, *reason (when given)
// says why, as far as that is known: empty, compressed, not of the format, ended early.
int ProcessPgFile(EngineRun& run, const std::string& path, int layer,
                  std::string* reason = nullptr);

// Reads every record with the reader and writes its flashes: 0 done, -1 Cancel, 3 the
// data ended before the end-of-data mark, 2 it could not be used. With more than one thread
// (the build's threads variable, else the processors) the flashes are converted by
// workers while the file is read; the library, counts, extents, progress and result are
// those of the one-thread conversion, whatever ends the file.
int ConvertPgFile(EngineRun& run, PgReader& reader, PgRecordReader read, BufFile* file, int layer,
                  SkippedFlashes* skipped);

}  // namespace kavrinth
