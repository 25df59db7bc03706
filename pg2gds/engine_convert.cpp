// Flash conversion: PG records to GDSII boundaries or paths, with progress and warnings.
#include "pg2gds/engine_convert.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "pg2gds/engine_job.h"
#include "pg2gds/engine_messages.h"
#include "platform/files.h"
#include "support/paths.h"
#include "support/progress_sink.h"

namespace kavrinth {

namespace {

// Progress is shown this many times per file at most.
constexpr int64_t kProgressSteps = 800;

void WidenExtents(ExtentsBox& box, const FlashRecord& flash) {
  for (int i = 0; i < kPgCornerCount; ++i) {
    int32_t x = 0;
    int32_t y = 0;
    AbsoluteFlashCorner(flash, i, &x, &y);
    box.min_x = std::min(box.min_x, static_cast<double>(x));
    box.min_y = std::min(box.min_y, static_cast<double>(y));
    box.max_x = std::max(box.max_x, static_cast<double>(x));
    box.max_y = std::max(box.max_y, static_cast<double>(y));
  }
}

void WriteFlash(EngineRun& run, const FlashRecord& flash, int layer, SkippedFlashes* skipped) {
  if (run.accumulate_extents) WidenExtents(run.extents, flash);
  if (flash.x1 == flash.x2 && flash.y1 == flash.y2) {
    ++skipped->without_length;
    return;
  }
  const FlashSegment segment = ScaleFlash(flash, run.digits.divisor, run.scale);
  const double step = run.units.database_step;
  if (run.flash_as_path) {
    const std::array<GdsPoint, 2> line = {segment.start, segment.end};
    if (!FitsDatabaseRange(line, step) || !FitsDatabaseRange(segment.width, step)) {
      ++skipped->out_of_range;
      return;
    }
    // Path type 0: flush ends, so the path covers exactly the flash.
    GdsWritePath(line, layer, layer, segment.width, 0, 0, 0);
    return;
  }
  const std::optional<std::array<GdsPoint, 5>> outline = FlashOutline(segment);
  if (!outline) {
    ++skipped->without_length;
  } else if (!FitsDatabaseRange(*outline, step)) {
    ++skipped->out_of_range;
  } else {
    GdsWriteBoundary(*outline, layer, layer, 0, 0);
  }
}

void LogSkippedFlashes(EngineRun& run, const SkippedFlashes& skipped, const std::string& path) {
  if (skipped.without_length > 0) {
    LogWarning(run, std::to_string(skipped.without_length) + " flash(es) without length skipped.",
               path, skipped.without_length);
  }
  if (skipped.out_of_range > 0) {
    LogWarning(run,
               std::to_string(skipped.out_of_range) +
                   " flash(es) beyond the 32-bit coordinate range skipped.",
               path, skipped.out_of_range);
  }
}

// Shows "<n>%" in the third progress line: the cancel flag.
int ShowPercent(int percent) {
  return SetProgressText(nullptr, nullptr, (std::to_string(percent) + "%").c_str());
}

}  // namespace

FlashSegment ScaleFlash(const FlashRecord& flash, int32_t divisor, double scale) {
  const double d = divisor;
  auto user = [d, scale](int32_t raw) { return raw / d * scale; };
  return {{user(flash.x1), user(flash.y1)}, {user(flash.x2), user(flash.y2)}, user(flash.width)};
}

std::optional<std::array<GdsPoint, 5>> FlashOutline(const FlashSegment& segment) {
  const GdsPoint& a = segment.start;
  const GdsPoint& b = segment.end;
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (!(length > 0) || !std::isfinite(length)) return std::nullopt;
  const double half_width = segment.width / 2;
  const double ox = half_width / length * dy;
  const double oy = half_width / length * dx;
  return std::array<GdsPoint, 5>{{{a.x - ox, a.y + oy},
                                  {b.x - ox, b.y + oy},
                                  {b.x + ox, b.y - oy},
                                  {a.x + ox, a.y - oy},
                                  {a.x - ox, a.y + oy}}};
}

bool FitsDatabaseRange(double value, double database_step) {
  // Rounded half away from zero, the value lands in [INT32_MIN, INT32_MAX] exactly when it
  // lies strictly between these bounds (NaN lies nowhere).
  const double scaled = value / database_step;
  return scaled > -2147483648.5 && scaled < 2147483647.5;
}

bool FitsDatabaseRange(std::span<const GdsPoint> points, double database_step) {
  for (const GdsPoint& point : points) {
    if (!FitsDatabaseRange(point.x, database_step) || !FitsDatabaseRange(point.y, database_step)) {
      return false;
    }
  }
  return true;
}

int ConvertPgFile(EngineRun& run, PgReader& reader, PgRecordReader read, BufFile* file, int layer,
                  SkippedFlashes* skipped) {
  const int64_t size = BufFileSize(file);
  const int64_t step = size / kProgressSteps;
  int64_t countdown = step;
  if (ShowPercent(0)) return kPgFileCancelled;
  for (;;) {
    const int status = read(&reader);
    if (status == kPgReadTruncated || status == kPgReadBadData) return kPgFileUnreadable;
    if (status == kPgReadEndOfData) return ShowPercent(100) ? kPgFileCancelled : kPgFileDone;
    if (status == kPgReadFlash) WriteFlash(run, reader.flash(), layer, skipped);
    if (--countdown == 0) {
      const double done = static_cast<double>(BufFileTell(file)) * 100 / size;
      if (ShowPercent(static_cast<int>(done + 0.5))) return kPgFileCancelled;
      countdown = step;
    }
  }
}

int ProcessPgFile(EngineRun& run, const std::string& path, int layer) {
  std::string name;
  SplitPath(NativePath(path), nullptr, &name);
  ProgressListSelect(name);
  if (SetProgressText(("Processing " + name + ":").c_str(), "", "")) return kPgFileCancelled;
  std::unique_ptr<BufFile> file = BufFileOpen(PgFileSystemPath(path).c_str(), "rb");
  if (!file) return kPgFileNotOpened;
  UnitSettings& units = run.units;
  if (run.pg_format == kPgFormatMann3600 && units.unit_code == kUnitMetricMann3000) {
    units.unit_code = kUnitMetricMann3600;
  }
  int32_t file_code = units.unit_code;
  PgReader reader;
  const PgRecordReader read =
      PgRecordReaderFor(DetectPgFormat(&reader, file.get(), run.pg_format, &file_code));
  if (read == nullptr) return kPgFileUnreadable;
  const bool mismatch = file_code != units.unit_code && file_code != kUnitUnknown;
  units.unit_code = file_code;
  SetUnitDigits(run, file_code);
  SkippedFlashes skipped;
  const int result = ConvertPgFile(run, reader, read, file.get(), layer, &skipped);
  ResetReaderState(&reader);
  BufFileClose(std::move(file));
  LogSkippedFlashes(run, skipped, path);
  if (reader.data_after_end() >= 0) {
    LogWarning(run, DataAfterEndText(reader.data_after_end()), path);
  }
  if (result != kPgFileDone) return result;
  if (!mismatch) return kPgFileDone;
  LogWarning(run, "Unit type mismatch or unknown.", path);
  return kPgFileUnitMismatch;
}

int ConvertLayerFile(EngineRun& run, const LayerFileEntry& entry) {
  switch (ProcessPgFile(run, entry.path, entry.layer)) {
    case kPgFileCancelled:
      return -1;
    case kPgFileUnreadable:
      return kMsgFileReadingError;
    case kPgFileNotOpened:
      // The file existed when the job was read: say that it was left out.
      LogWarning(run, "File cannot be opened.", entry.path);
      return 0;
    default:
      return 0;
  }
}

}  // namespace kavrinth
