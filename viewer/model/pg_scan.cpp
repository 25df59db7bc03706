// PG scanning: detection and the record readers over a buffered file (on a thread of their
// own, VEXIL_THREADS=1 keeps them on the caller's), one element per flash in a library of
// its own, progress with Cancel, and the layer entry's report values.
#include "viewer/model/pg_scan.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "pg2gds/pg_readers.h"
#include "support/buf_file.h"
#include "support/notifier.h"
#include "support/ordered_pipeline.h"
#include "support/paths.h"
#include "support/read_ahead.h"
#include "viewer/model/element_queries.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

constexpr double kMetresPerMicron = 1e-6;
constexpr double kMetresPerMil = 2.54e-5;
constexpr int kProgressSteps = 20;
constexpr int32_t kIntervalPerPercent = 16;
// Files from this size on take enough blocks to have them made ahead.
constexpr int64_t kMakerFileBytes = int64_t{1} << 20;

struct ScanState {
  int32_t min_x = INT32_MAX;
  int32_t max_x = INT32_MIN;
  int32_t min_y = INT32_MAX;
  int32_t max_y = INT32_MIN;
  int32_t rectangular = 0;
  int32_t round = 0;
  // Progress
  int64_t size = 0;
  int64_t step = 1;
  int64_t threshold = 0;
  int32_t countdown = 0;
  int32_t interval = 0;
};

struct FileCloser {
  void operator()(BufFile* file) const { BufFileClose(std::unique_ptr<BufFile>(file)); }
};
using OpenFile = std::unique_ptr<BufFile, FileCloser>;

void UpdateScanExtents(ScanState* scan, int32_t x, int32_t y) {
  scan->min_x = std::min(scan->min_x, x);
  scan->max_x = std::max(scan->max_x, x);
  scan->min_y = std::min(scan->min_y, y);
  scan->max_y = std::max(scan->max_y, y);
}

int32_t RoundedDistance(int64_t dx, int64_t dy) {
  const double distance = std::floor(std::hypot(double(dx), double(dy)) + 0.5);
  return static_cast<int32_t>(std::min<double>(distance, INT32_MAX));
}

int32_t Midpoint(int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} + b) / 2); }

ScanFlashRecord MakeRecord(const FlashRecord& flash, bool round) {
  ScanFlashRecord record{};
  for (int i = 0; i < kPgCornerCount; ++i) {
    AbsoluteFlashCorner(flash, i, &record[2 * i], &record[2 * i + 1]);
  }
  record[kScanCentreX] = flash.corners[kPgCentreX];
  record[kScanCentreY] = flash.corners[kPgCentreY];
  record[kScanW] = flash.w;
  record[kScanH] = flash.h;
  record[kScanAngle] = flash.angle;
  record[kScanPositionX] = round ? flash.x1 : flash.x;
  record[kScanPositionY] = round ? flash.y1 : flash.y;
  return record;
}

// The progress test of one flash, read up to `position`: false when Cancel was pressed.
bool KeepGoing(ScanState* scan, ScanProgress* progress, int64_t position) {
  if (scan->countdown > 0) {
    --scan->countdown;
    return true;
  }
  scan->countdown = scan->interval;
  if (position < scan->threshold || progress == nullptr) return true;
  const int64_t percent = scan->size > 0 ? position * 100 / scan->size : 100;
  while (scan->threshold <= position) scan->threshold += scan->step;
  if (progress->Update(position)) return false;
  scan->interval = static_cast<int32_t>(std::min<int64_t>(percent, 100)) * kIntervalPerPercent;
  scan->countdown = scan->interval;
  return true;
}

// Flashes read in one go, and batches that can be read ahead of the one being stored.
constexpr size_t kBatchFlashes = 4096;
constexpr size_t kBatchSlots = 4;
// The end of a batch that more records follow.
constexpr int kMoreRecords = INT_MIN;

// A flash as the reading side hands it to the storing side, with the file position after
// it for the progress box.
struct ScanItem {
  int64_t position;
  ScanFlashRecord record;
  bool round;
};

// Flashes in file order; `end` is the read result that ended the records, or kMoreRecords.
struct ScanBatch {
  std::vector<ScanItem> items;
  int end = kMoreRecords;
};

void ReadBatch(PgReader* reader, PgRecordReader read, BufFile* file, ScanBatch* batch) {
  batch->items.clear();
  batch->end = kMoreRecords;
  while (batch->items.size() < kBatchFlashes) {
    const int result = read(reader);
    if (result == kPgReadNothing) continue;
    if (result != kPgReadFlash && result != kPgReadSector) {
      batch->end = result;
      return;
    }
    const bool round = result == kPgReadSector;
    batch->items.push_back({BufFileTell(file), MakeRecord(reader->flash(), round), round});
  }
}

ScanStatus EndStatus(int result) {
  if (result == kPgReadEndOfData) return ScanStatus::kLoaded;
  if (result == kPgReadTruncated) return ScanStatus::kTruncated;
  return ScanStatus::kBadData;
}

// A file's flashes batch by batch, read ahead on a thread of its own when there is one;
// the reader and the file belong to the reading side until it is gone.
using ScanReadAhead = ReadAhead<ScanBatch, kBatchSlots>;

// The reading side of a scan. The batches' room is taken first, so that reading allocates
// nothing; without room for the batches ahead, or without a thread, each batch is read
// on the caller's thread when it is asked for.
void PrepareReadAhead(ScanReadAhead* source, bool thread) {
  try {
    source->batches()[0].items.reserve(kBatchFlashes);
    if (!thread) return;
    for (ScanBatch& batch : source->batches()) batch.items.reserve(kBatchFlashes);
  } catch (const std::bad_alloc&) {
    return;
  }
  source->Start();
}

ScanStatus ScanPgRecords(ScanReadAhead* source, ScanProgress* progress, ScanState* scan) {
  // Not even one batch had room.
  if (source->batches()[0].items.capacity() < kBatchFlashes) return ScanStatus::kNoMemory;
  for (;;) {
    const ScanBatch& batch = source->Next();
    for (const ScanItem& item : batch.items) {
      if (BuildFlashElement(item.record, item.round) != 0) return ScanStatus::kNoMemory;
      for (int i = 0; i < kPgCornerCount; ++i) {
        UpdateScanExtents(scan, item.record[2 * i], item.record[2 * i + 1]);
      }
      ++(item.round ? scan->round : scan->rectangular);
      if (!KeepGoing(scan, progress, item.position)) return ScanStatus::kCancelled;
    }
    if (batch.end != kMoreRecords) return EndStatus(batch.end);
  }
}

void StoreReportValues(ViewLayerEntry* entry, const ScanState& scan, const PgReaderStats& stats,
                       int64_t size) {
  auto whole = [](double value) {
    return static_cast<int32_t>(
        std::clamp(std::floor(value + 0.5), double(INT32_MIN), double(INT32_MAX)));
  };
  entry->min_x = scan.min_x;
  entry->max_x = scan.max_x;
  entry->min_y = scan.min_y;
  entry->max_y = scan.max_y;
  entry->first_count = scan.rectangular;
  entry->second_count = scan.round;
  entry->smallest_width = stats.min_area_w;
  entry->smallest_height = stats.min_area_h;
  entry->smallest_round = whole(stats.min_outer_radius);
  entry->largest_width = stats.max_area_w;
  entry->largest_height = stats.max_area_h;
  entry->largest_round = whole(stats.max_outer_radius);
  entry->file_size = size;
}

// Mils for the unit codes named "MIL", microns for the others.
bool IsMetricCode(int32_t code) { return UnitCodeName(code) != "MIL"; }

void Report(const std::string& text, const char* caption, MessageIcon icon) {
  ShowMessage(text, caption, icon);
}

void ReportFailure(ScanStatus status, const std::string& path, int32_t format) {
  switch (status) {
    case ScanStatus::kNotOpened:
      Report("Cannot open " + path + ".", "Error", MessageIcon::kStop);
      break;
    case ScanStatus::kNotDetected:
      Report("File reading error: " + path + " does not hold " + std::string(PgFormatName(format)) +
                 " data.",
             "Error", MessageIcon::kStop);
      break;
    case ScanStatus::kNoReader:
      Report("File reading error: " + path + " is in the " + std::string(PgFormatName(format)) +
                 " format, which cannot be loaded.",
             "Error", MessageIcon::kStop);
      break;
    case ScanStatus::kNoMemory:
      Report("Not enough memory to load " + path + ".", "Error", MessageIcon::kStop);
      break;
    case ScanStatus::kTruncated:
      Report("File reading error: " + path + " ends before its end-of-data mark.", "Error",
             MessageIcon::kStop);
      break;
    case ScanStatus::kBadData:
      Report("File reading error: " + path + " holds data that cannot be read.", "Error",
             MessageIcon::kStop);
      break;
    default:
      break;
  }
}

// Switches the unit table to the file's unit system after a mismatch, with the warning,
// and rewrites the job's [General] section.
void AcceptFileUnit(bool file_metric, const std::string& path) {
  ViewerImportSettings& settings = ImportSettings();
  if (settings.metric == file_metric) return;
  Report(file_metric ? "Data unit (MILS) is mismatched.  Unit(UM) of " + path + " assumed."
                     : "Data unit (UM) is mismatched.  Unit(MILS) of " + path + " assumed.",
         "Warning", MessageIcon::kWarning);
  settings.metric = file_metric;
  if (!JobState().job_path.empty()) WriteJobGeneral(JobState().job_path);
}

// The library of the file, open for its flashes; null when memory runs out.
GdxLibrary* BeginScanLibrary(const std::string& path, int32_t layer, double metres) {
  GdxLibrary* library = GdxBeginLibrary(path);
  if (library == nullptr) return nullptr;
  const double units = CurrentUnitDigits().units_per_user_unit;
  GdxSetUnits(1.0 / units, metres / units);
  // The database unit in user units, after the scale factor the library applies.
  ViewerDisplayUnits& display = CurrentViewerServices().DisplayUnits();
  display.metres_per_user_unit = metres;
  display.user_units_per_database_unit = 1.0 / (units * library->scale_factor);
  GdxStartStructure();
  if (GdxBeginStructure("TOP") != 0) {
    GdxFreeLibrary(library->handle);
    return nullptr;
  }
  GdxSetLayer(layer);
  return library;
}

}  // namespace

int BuildFlashElement(const ScanFlashRecord& r, bool round) {
  // Sizes and positions are scaled like the points they describe; the angle is not. A
  // factor of 1 leaves every value as it is.
  const GdxLibrary* library = GdxCurrentLibrary();
  const bool scaled = library != nullptr && library->scale_factor != 1;
  auto scale = [scaled](int32_t value) { return scaled ? GdxScaleValue(value) : value; };
  const std::array<GdxWord, 5> extra = {scale(r[kScanW]), scale(r[kScanH]), r[kScanAngle],
                                        scale(r[kScanPositionX]), scale(r[kScanPositionY])};
  if (!round) {
    const std::array<GdxWord, 10> points = {r[0], r[1], r[2], r[3], r[4],
                                            r[5], r[6], r[7], r[0], r[1]};
    const int result =
        GdxAddBoundary(points.data(), static_cast<int32_t>(points.size()), extra.data(),
                       static_cast<int32_t>(extra.size()), kGdxFlashFlags);
    return result == 0 ? 0 : -1;
  }
  const int32_t cx = r[kScanCentreX];
  const int32_t cy = r[kScanCentreY];
  const int32_t r1 = RoundedDistance(int64_t{r[0]} - cx, int64_t{r[1]} - cy);
  const int32_t r2 = RoundedDistance(int64_t{r[4]} - cx, int64_t{r[5]} - cy);
  std::array<GdxWord, 6> points;
  if (r[2] == r[0] && r[3] == r[1] && r2 == 0) {
    GdxBeginCircle();
    GdxSetWidth(0);
    GdxSetRadius(r1);
    points = {cx, cy, r[0], r[1], r[0], r[1]};
  } else {
    GdxBeginArc();
    GdxSetWidth(r1 - r2);
    GdxSetRadius((r1 + r2) / 2);
    points = {cx,
              cy,
              Midpoint(r[0], r[4]),
              Midpoint(r[1], r[5]),
              Midpoint(r[2], r[6]),
              Midpoint(r[3], r[7])};
    GdxSetArcQuadrants(ArcQuadrantWord(points[2], points[3], cx, cy, r[kScanAngle]));
  }
  GdxSetHeaderWords(extra.data(), static_cast<int32_t>(extra.size()));
  const int result = GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size()));
  GdxAddElementFlags(kGdxFlashFlags);
  GdxEndElement();
  return result == 0 ? 0 : -1;
}

GdxHandle ScanPgFile(ScanProgress* progress, const std::string& path, int32_t layer_index,
                     ScanStatus* status) {
  ScanStatus ignored;
  ScanStatus& outcome = status ? *status : ignored;
  ViewerImportSettings& settings = ImportSettings();
  const int32_t format = std::max(settings.pg_format, 0);
  ScanState scan;
  OpenFile file(BufFileOpen(path.c_str(), "rb").release());
  if (!file) {
    ReportFailure(outcome = ScanStatus::kNotOpened, path, format);
    return kGdxNoHandle;
  }
  scan.size = BufFileSize(file.get());
  scan.step = std::max<int64_t>(scan.size / kProgressSteps, 1);
  PgReader reader;
  int32_t file_code = settings.unit_code;
  const int reader_index = DetectPgFormat(&reader, file.get(), format, &file_code);
  const PgRecordReader read = PgRecordReaderFor(reader_index);
  if (read == nullptr) {
    outcome = reader_index == kPgDetectFailed ? ScanStatus::kNotDetected : ScanStatus::kNoReader;
    ReportFailure(outcome, path, format);
    return kGdxNoHandle;
  }
  const bool mismatch = file_code != settings.unit_code && file_code > 0;
  settings.unit_code = file_code;
  SetViewerUnitDigits(file_code);
  const bool file_metric = mismatch ? IsMetricCode(file_code) : settings.metric;
  GdxLibrary* library =
      BeginScanLibrary(path, layer_index, file_metric ? kMetresPerMicron : kMetresPerMil);
  if (library == nullptr) {
    ReportFailure(outcome = ScanStatus::kNoMemory, path, format);
    return kGdxNoHandle;
  }
  if (progress != nullptr) {
    std::string name;
    SplitPath(path, nullptr, &name);
    progress->Open("Scanning PG File", name, "File Size: " + std::to_string(scan.size) + " bytes",
                   scan.size);
  }
  {
    const bool threads = WorkerThreadCount(0, "VEXIL_THREADS") > 1;
    std::optional<GdxBlockMaker> maker;
    if (threads && scan.size >= kMakerFileBytes) maker.emplace();
    ScanReadAhead source([&reader, read, &file](ScanBatch& batch) {
      ReadBatch(&reader, read, file.get(), &batch);
      return batch.end == kMoreRecords;
    });
    PrepareReadAhead(&source, threads);
    outcome = ScanPgRecords(&source, progress, &scan);
  }
  ResetReaderState(&reader);
  file.reset();
  GdxEndStructure();
  const GdxHandle handle = GdxEndLibrary();
  if (progress != nullptr) progress->Close();
  if (outcome != ScanStatus::kLoaded) {
    GdxFreeLibrary(handle);
    ReportFailure(outcome, path, format);
    return kGdxNoHandle;
  }
  if (layer_index >= 0 && layer_index < kViewLayerTableSize) {
    StoreReportValues(&LayerTable()[layer_index], scan, reader.stats(), scan.size);
  }
  JobState().code_set_name = std::string(reader.code_set_name());
  if (mismatch) AcceptFileUnit(file_metric, path);
  if (reader.data_after_end() >= 0) {
    Report(DataAfterEndText(reader.data_after_end()) + "\n" + path, "Warning",
           MessageIcon::kWarning);
  }
  if (reader_index == kPgReaderText && (scan.min_x < 0 || scan.min_y < 0)) {
    Report("Illegal negative coordinates encountered in " + path + ".", "Warning",
           MessageIcon::kWarning);
  }
  return handle;
}

}  // namespace kavrinth
