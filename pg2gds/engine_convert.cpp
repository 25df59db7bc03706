// Flash conversion: PG records to GDSII boundaries or paths, with progress and warnings.
#include "pg2gds/engine_convert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <span>
#include <string_view>
#include <vector>

#include "gdsii/element_encoder.h"
#include "pg2gds/engine_job.h"
#include "pg2gds/engine_messages.h"
#include "platform/files.h"
#include "support/compressed_file.h"
#include "support/ordered_pipeline.h"
#include "support/paths.h"
#include "support/progress_sink.h"

namespace kavrinth {

namespace {

// Progress is shown this many times per file at most.
constexpr int64_t kProgressSteps = 800;

// Smaller files are converted on the reading thread alone: starting and stopping the
// threads would take longer than they save.
constexpr int64_t kSmallestThreadedFile = 512 * 1024;

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

// What decides a flash's element, taken from the run for one file.
struct FlashSettings {
  bool accumulate_extents = true;
  bool flash_as_path = false;
  int32_t divisor = 1;
  double scale = 1;
  double database_step = 0.001;
  int layer = 0;
};

FlashSettings SettingsOf(const EngineRun& run, int layer) {
  return {run.accumulate_extents,  run.flash_as_path,
          run.digits.divisor,      run.scale,
          run.units.database_step, layer};
}

// A value for the log, in as few digits as show it ("0.005", "0.01").
std::string ShortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

void CountMove(double move, SkippedFlashes* skipped) {
  if (move == 0) return;
  ++skipped->moved;
  skipped->largest_move = std::max(skipped->largest_move, move);
}

// Converts one flash, widening the extents and counting what is skipped; the sink writes
// or encodes the element. The one- and the many-thread conversion both go through here.
template <class Sink>
void ConvertFlash(const FlashSettings& settings, const FlashRecord& flash, ExtentsBox* extents,
                  SkippedFlashes* skipped, Sink& sink) {
  if (settings.accumulate_extents) WidenExtents(*extents, flash);
  if (flash.x1 == flash.x2 && flash.y1 == flash.y2) {
    ++skipped->without_length;
    return;
  }
  const FlashSegment segment = ScaleFlash(flash, settings.divisor, settings.scale);
  const double step = settings.database_step;
  if (settings.flash_as_path) {
    const std::array<GdsPoint, 2> line = {segment.start, segment.end};
    if (!FitsDatabaseRange(line, step) || !FitsDatabaseRange(segment.width, step)) {
      ++skipped->out_of_range;
      return;
    }
    // The width is whole database units; half of what it gains or loses lies on each side.
    const double width_units = segment.width / step;
    const double width_move =
        std::fabs(width_units - static_cast<double>(static_cast<int64_t>(width_units + 0.5)));
    CountMove(
        std::max(DatabaseGridMove(line, step), width_move <= 1e-6 ? 0 : width_move / 2 * step),
        skipped);
    sink.Path(line, segment.width);
    return;
  }
  const std::optional<std::array<GdsPoint, 5>> outline = FlashOutline(segment);
  if (!outline) {
    ++skipped->without_length;
  } else if (!FitsDatabaseRange(*outline, step)) {
    ++skipped->out_of_range;
  } else {
    // Along an axis two opposite corners hold every edge.
    const GdsPoint& a = segment.start;
    const GdsPoint& b = segment.end;
    const bool along_axis = a.x == b.x || a.y == b.y;
    const std::array<GdsPoint, 2> opposite = {(*outline)[0], (*outline)[2]};
    CountMove(along_axis ? DatabaseGridMove(opposite, step)
                         : DatabaseGridMove(std::span(*outline).first(4), step),
              skipped);
    sink.Boundary(*outline);
  }
}

// Writes the elements to the library at once.
struct LibrarySink {
  int layer;
  // Path type 0: flush ends, so the path covers exactly the flash.
  void Path(const std::array<GdsPoint, 2>& line, double width) {
    GdsWritePath(line, layer, layer, width, 0, 0, 0);
  }
  void Boundary(const std::array<GdsPoint, 5>& outline) {
    GdsWriteBoundary(outline, layer, layer, 0, 0);
  }
};

// Encodes the elements into a block, byte for byte as LibrarySink writes them.
struct EncodingSink {
  const GdsElementEncoder& encoder;
  int layer;
  GdsByteBlock* records;
  void Path(const std::array<GdsPoint, 2>& line, double width) {
    encoder.AppendPath(line, layer, layer, width, 0, records);
  }
  void Boundary(const std::array<GdsPoint, 5>& outline) {
    encoder.AppendBoundary(outline, layer, layer, records);
  }
};

// The extents nothing has widened yet: any flash moves every side.
constexpr ExtentsBox kNoExtents = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};

void MergeExtents(ExtentsBox& box, const ExtentsBox& part) {
  box.min_x = std::min(box.min_x, part.min_x);
  box.min_y = std::min(box.min_y, part.min_y);
  box.max_x = std::max(box.max_x, part.max_x);
  box.max_y = std::max(box.max_y, part.max_y);
}

// The conversion of one file on several threads. The reading thread copies the flashes
// into batches; workers convert the parts of a batch into encoded elements, skip counts
// and extents; one ordered thread appends the parts to the library in file order and
// adds up the counts. The library, the counts and the extents therefore end exactly as
// the one-thread conversion leaves them; the min and max of the extents do not depend on
// the order in which the parts are merged.
class FlashPipeline {
 public:
  FlashPipeline(EngineRun& run, int layer, SkippedFlashes* skipped, int threads)
      : run_(run),
        settings_(SettingsOf(run, layer)),
        encoder_(DefaultGdsWriter()),
        skipped_(skipped),
        batches_(Slots(threads)),
        pipeline_(Workers(threads), Slots(threads), Stages()) {
    pipeline_.Acquire();
    batch_ = &batches_[pipeline_.current()];
    batch_->flashes.reserve(kBatchFlashes);
  }

  void Add(const FlashRecord& flash) {
    batch_->flashes.push_back(flash);
    if (batch_->flashes.size() == kBatchFlashes) Submit();
  }

  // Hands over what is left and waits until every flash added is in the library.
  void Finish() {
    if (!batch_->flashes.empty()) Submit();
    pipeline_.Drain();
  }

 private:
  // Big batches: every batch handed over wakes the workers, which costs the reading
  // thread more than the copies do.
  static constexpr size_t kPartFlashes = 1024;
  static constexpr size_t kBatchParts = 16;
  static constexpr size_t kBatchFlashes = kPartFlashes * kBatchParts;

  struct FlashPart {
    GdsByteBlock records;
    SkippedFlashes skipped;
    ExtentsBox extents;
  };
  struct FlashBatch {
    // Room for a batch is reserved when the batch is first filled; what a small file
    // leaves unused costs nothing.
    std::vector<FlashRecord> flashes;
    std::array<FlashPart, kBatchParts> parts;
  };

  // Besides the workers, the reading thread and the ordered thread each keep a core. A
  // flash takes a worker far less time than the reader takes to read it: three workers
  // keep up with the reading thread, and more would only wait to be woken.
  static int Workers(int threads) { return std::clamp(threads - 2, 1, 3); }
  static size_t Slots(int threads) { return static_cast<size_t>(Workers(threads)) + 2; }

  std::vector<OrderedPipeline::Stage> Stages() {
    std::vector<OrderedPipeline::Stage> stages(1);
    stages[0].parallel = [this](size_t slot, size_t part) { ConvertPart(batches_[slot], part); };
    stages[0].ordered = [this](size_t slot) {
      AppendBatch(batches_[slot]);
      return true;
    };
    return stages;
  }

  static size_t PartsOf(const FlashBatch& batch) {
    return (batch.flashes.size() + kPartFlashes - 1) / kPartFlashes;
  }

  void Submit() {
    pipeline_.Submit(PartsOf(*batch_));
    pipeline_.Acquire();
    batch_ = &batches_[pipeline_.current()];
    batch_->flashes.reserve(kBatchFlashes);
  }

  void ConvertPart(FlashBatch& batch, size_t index) {
    FlashPart& part = batch.parts[index];
    part.records.Clear();
    part.skipped = {};
    part.extents = kNoExtents;
    EncodingSink sink{encoder_, settings_.layer, &part.records};
    const size_t end = std::min(batch.flashes.size(), (index + 1) * kPartFlashes);
    for (size_t i = index * kPartFlashes; i < end; ++i) {
      ConvertFlash(settings_, batch.flashes[i], &part.extents, &part.skipped, sink);
    }
  }

  void AppendBatch(FlashBatch& batch) {
    std::array<std::span<const uint8_t>, kBatchParts> blocks;
    const size_t parts = PartsOf(batch);
    for (size_t i = 0; i < parts; ++i) {
      const FlashPart& part = batch.parts[i];
      blocks[i] = part.records.bytes();
      skipped_->without_length += part.skipped.without_length;
      skipped_->out_of_range += part.skipped.out_of_range;
      skipped_->moved += part.skipped.moved;
      skipped_->largest_move = std::max(skipped_->largest_move, part.skipped.largest_move);
      if (settings_.accumulate_extents) MergeExtents(run_.extents, part.extents);
    }
    GdsWriteEncoded(std::span<const std::span<const uint8_t>>(blocks.data(), parts));
    batch.flashes.clear();
  }

  EngineRun& run_;
  const FlashSettings settings_;
  const GdsElementEncoder encoder_;
  SkippedFlashes* skipped_;
  std::vector<FlashBatch> batches_;
  FlashBatch* batch_ = nullptr;
  OrderedPipeline pipeline_;  // last: its threads stop before the batches go
};

void LogSkippedFlashes(EngineRun& run, const SkippedFlashes& skipped, const std::string& path) {
  if (skipped.moved > 0) {
    const char* unit = run.units.unit_name == "MIL" ? " mils" : " microns";
    LogWarning(run,
               std::to_string(skipped.moved) + " flash(es) moved to the GDSII database grid of " +
                   ShortNumber(run.units.database_step) + unit + ", by up to " +
                   ShortNumber(skipped.largest_move) + unit + ".",
               path, skipped.moved);
  }
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

// What the format's detection found wrong with a file that is not empty: its first byte.
std::string NotReadableReason(int32_t format, int reader_index, uint8_t first) {
  const std::string name(PgFormatName(format));
  if (reader_index == kPgReaderNone) return "files of the " + name + " format cannot be converted";
  std::string text = "the file does not hold " + name + " data";
  if (format == kPgFormatElectroMask) {
    char byte[8];
    std::snprintf(byte, sizeof byte, first >= 0x20 && first < 0x7f ? "\"%c\"" : "0x%02X", first);
    text += std::string(": it begins with ") + byte + ", not \"<\" (ASCII) or \"J\" (EBCDIC)";
  }
  return text;
}

// Why the records of a detected file could not all be read; offset is the byte after the
// last one read.
std::string UnusableDataReason(const PgReader& reader, int result, int64_t offset) {
  if (result == kPgFileEndsEarly) {
    switch (reader.reader_index()) {
      case kPgReaderDraftek:
        return "the file ends before its last record";
      case kPgReaderIntermediate:
        return "the file ends inside a record";
      default:
        return "the file ends before its end-of-data mark";
    }
  }
  return "the file holds data that cannot be read as " +
         std::string(PgFormatName(reader.format())) + ": reading stopped at offset " +
         std::to_string(std::max<int64_t>(offset - 1, 0));
}

}  // namespace

FlashSegment ScaleFlash(const FlashRecord& flash, int32_t divisor, double scale) {
  // The centre line runs along the longer side, as the readers turn it: when that is H,
  // the angle turns a quarter. A multiple of a quarter turn has its cosine and sine exact.
  const bool along_h = flash.w < flash.h;
  const int64_t tenths = flash.angle + (along_h ? (flash.angle >= 900 ? -900 : 900) : 0);
  const int64_t turn = ((tenths % 3600) + 3600) % 3600;
  double c = 0;
  double s = 0;
  switch (turn) {
    case 0:
      c = 1;
      break;
    case 900:
      s = 1;
      break;
    case 1800:
      c = -1;
      break;
    case 2700:
      s = -1;
      break;
    default: {
      // Files use few angles: the cosines and sines met last are kept, per thread.
      struct Turn {
        int64_t tenths = INT64_MIN;  // none yet
        double c = 0, s = 0;
      };
      thread_local std::array<Turn, 64> turns;
      Turn& kept = turns[static_cast<size_t>(turn) % turns.size()];
      if (kept.tenths != tenths) {
        const double radians = static_cast<double>(tenths) / 10 / 180 * std::numbers::pi;
        kept = {tenths, std::cos(radians), std::sin(radians)};
      }
      c = kept.c;
      s = kept.s;
    }
  }
  const double half_length = std::max(flash.w, flash.h) / 2.0;
  const double d = divisor;
  auto user = [d, scale](double raw) { return raw / d * scale; };
  const double dx = half_length * c, dy = half_length * s;
  return {{user(flash.x - dx), user(flash.y - dy)},
          {user(flash.x + dx), user(flash.y + dy)},
          user(flash.width)};
}

std::optional<std::array<GdsPoint, 5>> FlashOutline(const FlashSegment& segment) {
  const GdsPoint& a = segment.start;
  const GdsPoint& b = segment.end;
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (!(length > 0) || !std::isfinite(length)) return std::nullopt;
  const double half_width = segment.width / 2;
  // Along an axis the offsets are the half width itself, not a quotient that rounds.
  const double ox = dx == 0 ? std::copysign(half_width, dy) : half_width / length * dy;
  const double oy = dy == 0 ? std::copysign(half_width, dx) : half_width / length * dx;
  return std::array<GdsPoint, 5>{{{a.x - ox, a.y + oy},
                                  {b.x - ox, b.y + oy},
                                  {b.x + ox, b.y - oy},
                                  {a.x + ox, a.y - oy},
                                  {a.x - ox, a.y + oy}}};
}

double DatabaseGridMove(std::span<const GdsPoint> points, double database_step) {
  // Within a millionth of a database unit a value is on the grid: what the arithmetic
  // leaves. The points fit the 32-bit database range, so their rounding fits 64 bits.
  constexpr double kOnGrid = 1e-6;
  const double per_step = 1 / database_step;
  auto off_grid = [per_step](double v) {
    const double units = v * per_step;
    return std::fabs(units -
                     static_cast<double>(static_cast<int64_t>(units + (units < 0 ? -0.5 : 0.5))));
  };
  double largest = 0;
  for (const GdsPoint& p : points) {
    const double mx = off_grid(p.x), my = off_grid(p.y);
    if (mx <= kOnGrid && my <= kOnGrid) continue;
    largest = std::max(largest, std::sqrt(mx * mx + my * my) * database_step);
  }
  return largest;
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
  const int threads = WorkerThreadCount(0, run.traits->threads_variable);
  const int64_t size = BufFileSize(file);
  const int64_t step = size / kProgressSteps;
  int64_t countdown = step;
  if (ShowPercent(0)) return kPgFileCancelled;
  if (threads > 1 && size >= kSmallestThreadedFile) {
    FlashPipeline pipeline(run, layer, skipped, threads);
    // Progress is shown here, at the same records as below; whatever ends the file, the
    // flashes read before it reach the library first, as they do there.
    for (;;) {
      const int status = read(&reader);
      if (status == kPgReadTruncated || status == kPgReadBadData) {
        pipeline.Finish();
        return status == kPgReadTruncated ? kPgFileEndsEarly : kPgFileUnreadable;
      }
      if (status == kPgReadEndOfData) {
        pipeline.Finish();
        return ShowPercent(100) ? kPgFileCancelled : kPgFileDone;
      }
      if (status == kPgReadFlash) pipeline.Add(reader.flash());
      if (--countdown == 0) {
        const double done = static_cast<double>(BufFileTell(file)) * 100 / size;
        if (ShowPercent(static_cast<int>(done + 0.5))) {
          pipeline.Finish();
          return kPgFileCancelled;
        }
        countdown = step;
      }
    }
  }
  const FlashSettings settings = SettingsOf(run, layer);
  LibrarySink sink{layer};
  for (;;) {
    const int status = read(&reader);
    if (status == kPgReadTruncated) return kPgFileEndsEarly;
    if (status == kPgReadBadData) return kPgFileUnreadable;
    if (status == kPgReadEndOfData) return ShowPercent(100) ? kPgFileCancelled : kPgFileDone;
    if (status == kPgReadFlash) ConvertFlash(settings, reader.flash(), &run.extents, skipped, sink);
    if (--countdown == 0) {
      const double done = static_cast<double>(BufFileTell(file)) * 100 / size;
      if (ShowPercent(static_cast<int>(done + 0.5))) return kPgFileCancelled;
      countdown = step;
    }
  }
}

int ProcessPgFile(EngineRun& run, const std::string& path, int layer, std::string* reason) {
  std::string ignored;
  std::string& why = reason != nullptr ? *reason : ignored;
  why.clear();
  std::string name;
  SplitPath(NativePath(path), nullptr, &name);
  ProgressListSelect(name);
  if (SetProgressText(("Processing " + name + ":").c_str(), "", "")) return kPgFileCancelled;
  std::unique_ptr<BufFile> file = BufFileOpen(PgFileSystemPath(path).c_str(), "rb");
  if (!file) return kPgFileNotOpened;
  if (BufFileSize(file.get()) == 0) {
    why = "the file is empty";
    return kPgFileUnreadable;
  }
  // A compressed file is named as such whenever it cannot be read. The text formats are
  // refused at once: their readers skip bytes without meaning and could take the packed
  // bytes for a few flashes, while no text PG file begins with such a head. A binary
  // file may, with its first record's numbers.
  std::array<uint8_t, kCompressedHeadBytes> head{};
  const size_t head_size = BufFileRead(file.get(), head.data(), head.size());
  if (BufFileSeek(file.get(), 0, SEEK_SET) != 0) return kPgFileUnreadable;
  const std::string compressed =
      CompressedFileReason(std::span(head).first(head_size), "a PG file");
  const bool binary = run.pg_format == kPgFormatDraftek || run.pg_format == kPgFormatIntermediate;
  if (!compressed.empty() && !binary) {
    why = compressed;
    return kPgFileUnreadable;
  }
  UnitSettings& units = run.units;
  if (run.pg_format == kPgFormatMann3600 && units.unit_code == kUnitMetricMann3000) {
    units.unit_code = kUnitMetricMann3600;
  }
  int32_t file_code = units.unit_code;
  PgReader reader;
  const int reader_index = DetectPgFormat(&reader, file.get(), run.pg_format, &file_code);
  const PgRecordReader read = PgRecordReaderFor(reader_index);
  if (read == nullptr) {
    why =
        !compressed.empty() ? compressed : NotReadableReason(run.pg_format, reader_index, head[0]);
    return kPgFileUnreadable;
  }
  const bool mismatch = file_code != units.unit_code && file_code != kUnitUnknown;
  units.unit_code = file_code;
  SetUnitDigits(run, file_code);
  SkippedFlashes skipped;
  int result = ConvertPgFile(run, reader, read, file.get(), layer, &skipped);
  if (result == kPgFileEndsEarly || result == kPgFileUnreadable) {
    why = !compressed.empty() ? compressed
                              : UnusableDataReason(reader, result, BufFileTell(file.get()));
    result = kPgFileUnreadable;
  }
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
  std::string reason;
  switch (ProcessPgFile(run, entry.path, entry.layer, &reason)) {
    case kPgFileCancelled:
      return -1;
    case kPgFileUnreadable:
      // The message the run ends with, in the log too, with what made the file unreadable.
      LogError(run,
               std::string(EngineMessageText(kMsgFileReadingError)) +
                   (reason.empty() ? "." : ": " + reason + "."),
               entry.path);
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
