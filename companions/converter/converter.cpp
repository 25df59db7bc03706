// The conversion of one Intermediate file into Electromask or Mann flashes, its lines in
// pg.log and the program's run.
#include "companions/converter/converter.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <numbers>
#include <numeric>
#include <sstream>

#include "companions/converter/cover_index.h"
#include "companions/converter/flash_cover.h"
#include "pg2gds/pg_readers.h"
#include "pg2gds/pg_writer.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/buf_file.h"
#include "support/ordered_pipeline.h"
#include "support/read_ahead.h"

namespace kavrinth {
namespace {

constexpr std::string_view kPgSettingsName = "pg.cfg";
constexpr std::string_view kPgLogName = "pg.log";
// Intermediate coordinates are read in thousandths of the layout unit.
constexpr double kDatabaseUnitsPerUserUnit = 1000;
// How far a corner may lie from an exact rectangle, in database units, for the
// quadrilateral to be written as one flash: the rounding of the layout to its grid.
constexpr double kRectangleSlack = 1.5;

std::string UnitWord(bool english) { return english ? "mils" : "microns"; }

std::string Number(double value) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text.precision(6);
  text << value;
  return text.str();
}

// A bounding box of shapes or pieces.
struct Box {
  double x_min = std::numeric_limits<double>::infinity(), y_min = x_min;
  double x_max = -x_min, y_max = -x_min;
  void Add(CoverPoint p) {
    x_min = std::min(x_min, p.x);
    y_min = std::min(y_min, p.y);
    x_max = std::max(x_max, p.x);
    y_max = std::max(y_max, p.y);
  }
  void Add(const Box& b) {
    Add(CoverPoint{b.x_min, b.y_min});
    Add(CoverPoint{b.x_max, b.y_max});
  }
  bool Meets(const Box& b, double slack) const {
    return b.x_min <= x_max + slack && b.x_max >= x_min - slack && b.y_min <= y_max + slack &&
           b.y_max >= y_min - slack;
  }
};

// What one call of the Intermediate reader gave. Records are read in batches, on a thread
// of their own when there is one; a batch ends early with the result that ended the
// reading (the end of the data or an error).
struct ReadItem {
  int result = 0;
  FlashRecord flash;
};
constexpr size_t kReadBatches = 3;
constexpr size_t kReadBatchItems = 4096;
using RecordReadAhead = ReadAhead<std::vector<ReadItem>, kReadBatches>;

bool ReadRecordBatch(PgReader* reader, std::vector<ReadItem>* batch) {
  batch->clear();
  while (batch->size() < kReadBatchItems) {
    const int result = ReadIntermediateRecord(reader);
    if (result == kPgReadNothing) continue;
    batch->push_back({result, reader->flash()});
    if (result != kPgReadFlash && result != kPgReadSector) return false;
  }
  return true;
}

// Reads every record of the Intermediate file and writes its flashes.
class Conversion {
 public:
  Conversion(const ConverterOptions& options, double feature_size, ConversionCounts* counts)
      : counts_(*counts),
        raw_per_database_unit_(RawUnitsPerUserUnit(options.format, options.english) *
                               options.scale / kDatabaseUnitsPerUserUnit),
        coverer_(feature_size / 2 * kDatabaseUnitsPerUserUnit * raw_per_database_unit_,
                 kRectangleSlack * raw_per_database_unit_),
        scale_(options.scale) {
    counts_.tolerance = coverer_.tolerance() / (raw_per_database_unit_ * kDatabaseUnitsPerUserUnit);
    counts_.raw_unit = 1 / (raw_per_database_unit_ * kDatabaseUnitsPerUserUnit);
  }

  // Runs the reader to the end of the data: 0, or -1 with *error. With more than one
  // thread the records are read on a thread of their own.
  int Run(PgReader* reader, PgOutputWriter* writer, int threads, std::string* error) {
    writer_ = writer;
    RecordReadAhead ahead(
        [reader](std::vector<ReadItem>& batch) { return ReadRecordBatch(reader, &batch); });
    if (threads > 1) ahead.Start();
    for (;;) {
      for (const ReadItem& item : ahead.Next()) {
        const int step = Take(item.result, item.flash, error);
        if (step <= 0) return step;
      }
    }
  }

 private:
  // Converts what one call of the reader gave: 1 to go on, 0 at the end of the data with
  // every flash written, -1 with *error.
  int Take(int result, const FlashRecord& flash, std::string* error) {
    if (result == kPgReadEndOfData) {
      if (!Flush()) return Failed(error);
      counts_.exact_scale = ExactScale();
      return 0;
    }
    if (result != kPgReadFlash && result != kPgReadSector) {
      *error = result == kPgReadTruncated ? "the file ends before its last record"
                                          : "the file holds data that cannot be read";
      return -1;
    }
    const bool written = result == kPgReadFlash ? Quadrilateral(flash) : Flush() && Sector(flash);
    return written ? 1 : Failed(error);
  }

  CoverPoint Raw(int32_t x, int32_t y) const {
    return {x * raw_per_database_unit_, y * raw_per_database_unit_};
  }

  static int Failed(std::string* error) {
    *error = "the output cannot be written";
    return -1;
  }

  // A polygon's pieces come one after the other: a piece whose box meets the box of the
  // pieces before it joins them, and they are covered together once a piece that does
  // not meet them, a sector or the end arrives.
  bool Quadrilateral(const FlashRecord& record) {
    std::array<CoverPoint, 4> corners;
    for (int i = 0; i < 4; ++i) corners[i] = Raw(record.corners[2 * i], record.corners[2 * i + 1]);
    if (!FlashCoverer::CornersInRange(corners)) {
      flashes_.clear();
      Tally(coverer_.CoverQuadrilateral(corners, &flashes_), true);
      return true;
    }
    Box box;
    for (const CoverPoint& p : corners) box.Add(p);
    if (!pending_.empty() && !pending_box_.Meets(box, touch_slack_)) {
      if (!Flush()) return false;
    }
    if (pending_.empty()) pending_box_ = box;
    pending_box_.Add(box);
    pending_.push_back(corners);
    return true;
  }

  // Covers the pieces gathered so far. Rectangles among rectangles only stay one flash
  // each; pieces of a shape that is not all rectangles are covered as one, so that the
  // cuts between them leave no seam. False when the output cannot be written.
  bool Flush() {
    flashes_.clear();
    rectangle_.clear();
    // A piece alone is covered by itself, whatever it is: only several are sorted first.
    if (pending_.size() > 1) {
      for (const auto& quad : pending_) rectangle_.push_back(coverer_.IsRectangle(quad));
    }
    const bool angled = std::count(rectangle_.begin(), rectangle_.end(), false) > 0;
    if (angled) {
      // The rectangles stay one exact flash each; the cover runs over the whole shape so
      // that its strips cross the cuts, and drops what a rectangle's flash already holds.
      rectangles_.Clear(touch_slack_);
      for (size_t i = 0; i < pending_.size(); ++i) {
        const std::array<CoverPoint, 4>& quad = pending_[i];
        if (rectangle_[i]) {
          const CoverResult result = coverer_.CoverQuadrilateral(quad, &flashes_);
          Tally(result, true);
          if (result == CoverResult::kOneFlash) Placed(quad);
          rectangles_.Add(quad);
        } else {
          ++counts_.quadrilaterals;
          ++(HasArea(quad) ? counts_.covered_shapes : counts_.empty_shapes);
        }
      }
      cover_.clear();
      coverer_.CoverQuadrilaterals(pending_, &cover_);
      rectangles_.Build();
      size_t kept = 0;
      for (const PgOutputFlash& flash : cover_) {
        if (rectangles_.Holds(flash)) continue;
        flashes_.push_back(flash);
        ++kept;
      }
      counts_.cover_flashes += kept;
      // Pieces lying within the tolerance of the flashes are part of the cover; a piece
      // that reaches further from all of them (a sliver thinner than the cover's grid
      // that leads away from the rest) is lost, whether the rest gave flashes or not.
      written_.Build(flashes_, coverer_.tolerance() + touch_slack_);
      for (size_t i = 0; i < pending_.size(); ++i) {
        if (rectangle_[i] || !HasArea(pending_[i]) || written_.Covers(pending_[i])) continue;
        --counts_.covered_shapes;
        Lost(QuadBox(pending_[i]));
      }
    } else {
      for (const auto& quad : pending_) {
        const size_t before = flashes_.size();
        const CoverResult result = coverer_.CoverQuadrilateral(quad, &flashes_);
        Tally(result, true, flashes_.size() - before, QuadBox(quad));
        if (result == CoverResult::kOneFlash) Placed(quad);
      }
    }
    pending_.clear();
    return Write();
  }

  bool Write() {
    for (const PgOutputFlash& flash : flashes_) {
      if (writer_->WritePgFlash(flash) != kPgOutputOk) return false;
    }
    counts_.flashes += flashes_.size();
    flashes_.clear();
    return true;
  }

  static Box QuadBox(const std::array<CoverPoint, 4>& quad) {
    Box box;
    for (const CoverPoint& p : quad) box.Add(p);
    return box;
  }

  // The box of a sector: its centre or inner ends, its outer ends, and the points of the
  // outer circle at each quarter turn the sweep passes.
  static Box SectorBox(CoverPoint centre, CoverPoint start, double inner, double sweep_degrees) {
    Box box;
    const double outer = std::hypot(start.x - centre.x, start.y - centre.y);
    const double first = std::atan2(start.y - centre.y, start.x - centre.x);
    const double sweep = std::min(sweep_degrees, 360.0) * std::numbers::pi / 180;
    auto at = [&](double angle, double r) {
      box.Add(CoverPoint{centre.x + r * std::cos(angle), centre.y + r * std::sin(angle)});
    };
    for (double angle : {first, first + sweep}) {
      at(angle, outer);
      at(angle, inner);
    }
    const double quarter = std::numbers::pi / 2;
    for (double a = std::ceil(first / quarter) * quarter; a < first + sweep; a += quarter) {
      at(a, outer);
    }
    return box;
  }

  // A shape with area that gave no flash: counted, and the largest remembered.
  void Lost(const Box& box) {
    ++counts_.no_flash;
    const double per_user_unit = raw_per_database_unit_ * kDatabaseUnitsPerUserUnit;
    const double w = (box.x_max - box.x_min) / per_user_unit;
    const double h = (box.y_max - box.y_min) / per_user_unit;
    const double size = std::max(w, h),
                 largest = std::max(counts_.largest_lost_w, counts_.largest_lost_h);
    if (size > largest ||
        (size == largest && w * h > counts_.largest_lost_w * counts_.largest_lost_h)) {
      counts_.largest_lost_w = w;
      counts_.largest_lost_h = h;
    }
  }

  // A rectangle written as one flash: a flash that could not keep its corners is counted
  // with its move. For those along the axes, the edges in database units (whole numbers)
  // decide at which scale they would be exact: a flash needs a whole centre and size,
  // (lo + hi) / 2 and hi - lo in raw units, which holds for every one of them at the
  // raw units per database unit r exactly when r * g / 2 is whole, g being the greatest
  // common divisor of every lo + hi and 2 (hi - lo).
  void Placed(const std::array<CoverPoint, 4>& quad) {
    const FlashPlacement& placement = coverer_.last_placement();
    if (placement.move == 0) return;
    ++counts_.moved;
    counts_.largest_move =
        std::max(counts_.largest_move,
                 placement.move / (raw_per_database_unit_ * kDatabaseUnitsPerUserUnit));
    if (!placement.axis_parallel) {
      ++counts_.moved_turned;
      return;
    }
    const Box box = QuadBox(quad);
    // The values are whole database units but for the arithmetic's rounding.
    auto database = [this](double raw) {
      const double units = raw * database_per_raw_unit_;
      return static_cast<int64_t>(units + (units < 0 ? -0.5 : 0.5));
    };
    const int64_t x0 = database(box.x_min), x1 = database(box.x_max);
    const int64_t y0 = database(box.y_min), y1 = database(box.y_max);
    // Most values are multiples of the divisor found so far; one that divides nothing
    // further (1) ends the search.
    // A divisor that is a power of two (as it mostly is) is tested without a division.
    for (int64_t v : {x0 + x1, 2 * (x1 - x0), y0 + y1, 2 * (y1 - y0)}) {
      const int64_t g = exact_divisor_;
      if (g == 1) break;
      const bool divides = g != 0 && ((g & (g - 1)) == 0 ? (v & (g - 1)) == 0 : v % g == 0);
      if (!divides) exact_divisor_ = std::gcd(g, v);
    }
  }

  // The smallest whole multiple of the scale, up to 1000, at which every moved rectangle
  // along the axes would be exact; 0 when there is none.
  double ExactScale() const {
    if (exact_divisor_ == 0) return 0;
    const double half = static_cast<double>(exact_divisor_) / 2 * raw_per_database_unit_;
    for (int k = 2; k <= 1000; ++k) {
      const double units = half * k;
      if (std::fabs(units - std::round(units)) <= 1e-9 * std::max(1.0, units)) return scale_ * k;
    }
    return 0;
  }

  static bool HasArea(const std::array<CoverPoint, 4>& q) {
    double twice_area = 0;
    for (size_t i = 0; i < 4; ++i)
      twice_area += q[i].x * q[(i + 1) % 4].y - q[(i + 1) % 4].x * q[i].y;
    return twice_area != 0;
  }

  bool Sector(const FlashRecord& record) {
    const CoverPoint centre = Raw(record.corners[kPgCentreX], record.corners[kPgCentreY]);
    const CoverPoint start = Raw(record.corners[0], record.corners[1]);
    const CoverPoint end = Raw(record.corners[2], record.corners[3]);
    flashes_.clear();
    const double inner = record.h * raw_per_database_unit_;
    const double sweep = SweepDegrees(centre, start, end, record.angle);
    const CoverResult result = coverer_.CoverSector(centre, start, inner, sweep, &flashes_);
    Tally(result, false, flashes_.size(), SectorBox(centre, start, inner, sweep));
    return Write();
  }

  // The sweep as precisely as the record gives it: the record keeps tenths of a degree,
  // its end point the angle itself, except for a full turn, where start and end meet.
  static double SweepDegrees(CoverPoint centre, CoverPoint start, CoverPoint end, int32_t tenths) {
    const double given = tenths / 10.0;
    if (given >= 360) return 360;
    const double end_angle = std::atan2(end.y - centre.y, end.x - centre.x);
    const double start_angle = std::atan2(start.y - centre.y, start.x - centre.x);
    const double from_points =
        std::fmod((end_angle - start_angle) * 180 / std::numbers::pi + 720, 360);
    return std::fabs(from_points - given) <= 0.06 ? from_points : given;
  }

  void Tally(CoverResult result, bool quadrilateral, size_t flashes = 0, const Box& box = {}) {
    ++(quadrilateral ? counts_.quadrilaterals : counts_.sectors);
    switch (result) {
      case CoverResult::kOneFlash:
        ++counts_.rectangles;
        break;
      case CoverResult::kCovered:
        if (flashes == 0) {
          Lost(box);
          break;
        }
        ++counts_.covered_shapes;
        counts_.cover_flashes += flashes;
        break;
      case CoverResult::kEmpty:
        ++counts_.empty_shapes;
        break;
      case CoverResult::kTooSmall:
        ++counts_.too_small;
        break;
      case CoverResult::kOutOfRange:
        ++counts_.out_of_range;
        break;
    }
  }

  ConversionCounts& counts_;
  const double raw_per_database_unit_;
  const double touch_slack_ = kRectangleSlack * raw_per_database_unit_;
  const double database_per_raw_unit_ = 1 / raw_per_database_unit_;
  FlashCoverer coverer_;
  std::vector<PgOutputFlash> flashes_;
  std::vector<std::array<CoverPoint, 4>> pending_;
  std::vector<bool> rectangle_;  // for each of pending_
  RectangleIndex rectangles_;    // of the pieces being covered
  FlashIndex written_;           // the flashes of the pieces being covered
  std::vector<PgOutputFlash> cover_;
  Box pending_box_;
  PgOutputWriter* writer_ = nullptr;
  const double scale_;
  int64_t exact_divisor_ = 0;  // of the moved rectangles along the axes, as Placed says
};

int32_t WarningResult(const ConversionCounts& counts, uint64_t more) {
  uint64_t warnings =
      counts.out_of_range + counts.too_small + counts.no_flash + counts.moved + more;
  return static_cast<int32_t>(
      std::min<uint64_t>(warnings, static_cast<uint64_t>(std::numeric_limits<int32_t>::max())));
}

// How close the flashes keep to the shapes. The cover cannot be finer than a few steps of
// the output's unit, so a feature size finer than that is not the one the cover used.
std::string CoverText(double feature, const ConversionCounts& c, const std::string& unit) {
  const std::string within =
      "flashes cover each shape to within " + Number(c.tolerance) + " " + unit + " of its edges";
  if (c.tolerance <= feature / 2 * (1 + 1e-9)) return "; " + within;
  return " is finer than the output's unit of " + Number(c.raw_unit) + " " + unit +
         " can flash; the cover used a feature size of " + Number(2 * c.tolerance) + " " + unit +
         ": " + within;
}

// The rectangles whose flash moved, by how much, and the scale that would keep them.
std::string MovedText(const ConversionCounts& c, const std::string& unit) {
  std::string text = std::to_string(c.moved) + " rectangle flash(es) moved by up to " +
                     Number(c.largest_move) + " " + unit + ": the output's unit of " +
                     Number(c.raw_unit) + " " + unit + " cannot hold their corners";
  const uint64_t along_axes = c.moved - c.moved_turned;
  if (c.moved_turned > 0) {
    text += " (" + std::to_string(c.moved_turned) + " of them turned, which no scale holds)";
  }
  if (along_axes > 0) {
    text += c.exact_scale > 0 ? "; the layer's rectangles along the axes would be exact at scale " +
                                    Number(c.exact_scale)
                              : std::string(
                                    "; no scale up to 1000 times this one holds the "
                                    "layer's rectangles along the axes");
  }
  return text;
}

// The lines the run leaves in pg.log.
std::vector<std::string> LogLines(ConverterKind kind, const ConverterOptions& options,
                                  const FeatureSize& feature, const ConversionCounts& c,
                                  const std::string& error) {
  const std::string name(ConverterName(kind));
  const std::string unit = UnitWord(options.english);
  std::vector<std::string> lines;
  lines.push_back(name + ": " + options.input + " -> " + ConverterOutputName(kind, options.input) +
                  " (" + std::string(PgFormatName(options.format)) + ", " + unit + ", scale " +
                  Number(options.scale) + ")");
  if (!error.empty()) {
    lines.push_back(name + ": Error: " + error + "; no output was written.");
    return lines;
  }
  lines.push_back(name + ": feature size " + Number(feature.value) + " " + unit +
                  (feature.from_job        ? " (the job's, in pg.log)"
                   : feature.from_settings ? " (pg.cfg)"
                                           : " (default)") +
                  CoverText(feature.value, c, unit));
  lines.push_back(name + ": " + std::to_string(c.quadrilaterals) + " quadrilateral(s) and " +
                  std::to_string(c.sectors) + " sector(s): " + std::to_string(c.rectangles) +
                  " rectangle(s) written as one flash each");
  lines.push_back(name + ": " + std::to_string(c.covered_shapes) +
                  " shape(s) that are not rectangles covered by " +
                  std::to_string(c.cover_flashes) + " rectangle flash(es)");
  if (c.empty_shapes > 0) {
    lines.push_back(name + ": " + std::to_string(c.empty_shapes) +
                    " shape(s) without area gave no flash");
  }
  if (c.too_small > 0) {
    lines.push_back(name + ": Warning: " + std::to_string(c.too_small) +
                    " rectangle(s) thinner than the output's unit were left out");
  }
  if (c.no_flash > 0) {
    lines.push_back(name + ": Warning: " + std::to_string(c.no_flash) +
                    " shape(s) too small for a flash at the output's resolution were left out;"
                    " the largest measures " +
                    Number(c.largest_lost_w) + " x " + Number(c.largest_lost_h) + " " + unit);
  }
  if (c.moved > 0) lines.push_back(name + ": Warning: " + MovedText(c, unit));
  if (c.out_of_range > 0) {
    lines.push_back(name + ": Warning: " + std::to_string(c.out_of_range) +
                    " shape(s) beyond the range of the output format were left out");
  }
  lines.push_back(name + ": " + std::to_string(c.flashes) + " flash(es) written");
  return lines;
}

// Appends the lines to pg.log of the working directory (created when missing), CR LF.
bool AppendToPgLog(const std::vector<std::string>& lines) {
  std::string path = ResolveExistingPath(kPgLogName);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(std::fopen(path.c_str(), "ab"), &std::fclose);
  if (!log) return false;
  bool ok = true;
  for (const std::string& line : lines) {
    ok = ok && std::fwrite(line.data(), 1, line.size(), log.get()) == line.size() &&
         std::fwrite("\r\n", 1, 2, log.get()) == 2;
  }
  return std::fclose(log.release()) == 0 && ok;
}

}  // namespace

int32_t ConvertIntermediateFile(ConverterKind kind, const ConverterOptions& options,
                                double feature_size, ConversionCounts* counts, std::string* error) {
  *counts = ConversionCounts();
  const std::string input = ResolveExistingPath(NativePath(options.input));
  std::unique_ptr<BufFile> file = BufFileOpen(input.c_str(), "rb");
  if (!file) {
    *error = "cannot open " + options.input;
    return -1;
  }
  PgReader reader;
  int32_t unit_code = 0;
  if (DetectPgFormat(&reader, file.get(), kPgFormatIntermediate, &unit_code) !=
      kPgReaderIntermediate) {
    *error = options.input + " is not an Intermediate PG file";
    return -1;
  }
  const std::string output = ConverterOutputName(kind, options.input);
  if (SameExistingFile(input, output)) {
    *error = "the result " + output + " would replace the input";
    return -1;
  }
  PgOutputWriter writer;
  if (writer.OpenPgOutput(output, options.format, kPgAscii, {}, options.english) != kPgOutputOk) {
    *error = "cannot create " + output;
    return -1;
  }
  std::string threads_variable(ConverterName(kind));
  for (char& c : threads_variable)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  threads_variable += "_THREADS";
  const int threads = WorkerThreadCount(options.threads, threads_variable.c_str());
  Conversion conversion(options, feature_size, counts);
  if (conversion.Run(&reader, &writer, threads, error) != 0) {
    *error = options.input + ": " + *error;
    return -1;  // the writer drops the unfinished output
  }
  if (writer.ClosePgOutput() != kPgOutputOk) {
    *error = "cannot write " + output;
    return -1;
  }
  return WarningResult(*counts, 0);
}

void RunConverter(ConverterKind kind, int argc, char** argv) {
  const std::string name(ConverterName(kind));
  std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  ConverterOptions options;
  std::string error;
  if (ParseConverterArguments(kind, arguments, &options, &error) != 0) {
    std::cerr << name << ": " << error << "\n" << ConverterUsage(kind) << "\n";
    ExitWithResult(-1);
  }
  if (options.help) {
    std::cout << ConverterUsage(kind) << "\n";
    ExitWithResult(0);
  }
  const FeatureSize feature = ReadJobFeatureSize(
      ResolveExistingPath(kPgLogName), ResolveExistingPath(kPgSettingsName), options.english);
  ConversionCounts counts;
  int32_t result = ConvertIntermediateFile(kind, options, feature.value, &counts, &error);
  if (!AppendToPgLog(LogLines(kind, options, feature, counts, result < 0 ? error : ""))) {
    std::cerr << name << ": Warning: cannot append to " << kPgLogName << "\n";
    if (result >= 0) result = WarningResult(counts, 1);
  }
  if (result < 0) {
    std::cerr << name << ": " << error << "\n";
    ExitWithResult(-1);
  }
  if (!options.quiet) {
    std::cout << name << ": " << ConverterOutputName(kind, options.input) << ": " << counts.flashes
              << " flash(es), " << result << " warning(s)";
    if (counts.moved > 0) {
      std::cout << "; " << counts.moved << " moved by up to " << Number(counts.largest_move) << " "
                << UnitWord(options.english);
    }
    std::cout << "\n";
  }
  ExitWithResult(result);
}

}  // namespace kavrinth
