// Record readers of the binary PG formats: Draftek (fixed 20-byte records) and
// Intermediate (records grouped by kind, floats in user units).
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include "pg2gds/pg_flash.h"
#include "pg2gds/pg_readers.h"
#include "support/numeric_guards.h"

namespace kavrinth {
namespace {

constexpr size_t kDraftekRecordSize = 20;
// Draftek lengths are in 1/100 of the file unit, angles in thousandths of a degree.
constexpr double kDraftekLengthDivisor = 100;
constexpr double kDraftekAngleDivisor = 1000;

constexpr int kIntermediateMagic = 0xFD;
constexpr int kIntermediateKinds = 5;
constexpr int kQuadrilateralKind = 3;
constexpr int kSectorKind = 5;
// Floats per record of kinds 1 to 5.
constexpr int kFloatsOfKind[kIntermediateKinds] = {16, 5, 9, 16, 16};
// Intermediate coordinates are floats in user units, read as thousandths.
constexpr double kIntermediateScale = 1000;

uint32_t LittleEndian32(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Every float, in user units, times 1000 as 32-bit integers; false when one is not finite
// or too large.
bool ScaledPoint(float x, float y, int32_t* out_x, int32_t* out_y) {
  return RoundToInt32(x * kIntermediateScale, out_x) && RoundToInt32(y * kIntermediateScale, out_y);
}

// The middle of a and b rounded half away from zero, in integers: the truncating division
// of the sum moved one away from zero gives std::round of the half sum.
int32_t Midpoint(int32_t a, int32_t b) {
  const int64_t sum = int64_t{a} + b;
  return static_cast<int32_t>((sum >= 0 ? sum + 1 : sum - 1) / 2);
}

// The length of (dx, dy); hypot with one part zero is the other's magnitude exactly,
// which the sides of axis-parallel shapes get without the call.
double SideLength(double dx, double dy) {
  if (dy == 0) return std::fabs(dx);
  if (dx == 0) return std::fabs(dy);
  return std::hypot(dx, dy);
}

}  // namespace

// Binary access to Draftek and Intermediate files.
class PgBinaryParser {
 public:
  explicit PgBinaryParser(PgReader* reader) : r_(*reader) {}

  bool HasFile() const { return r_.file_ != nullptr; }

  // Reads count bytes: 0, or the result for a short read.
  int ReadBytes(unsigned char* destination, size_t count) {
    if (BufFileRead(r_.file_, destination, count) == count) return 0;
    return EndOfFileResult(r_.file_);
  }
  int Skip(size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (BufFileGetByte(r_.file_) < 0) return EndOfFileResult(r_.file_);
    }
    return 0;
  }

  int Draftek() {
    if (r_.next_record_ > r_.last_record_) return kPgReadEndOfData;
    ++r_.next_record_;
    unsigned char bytes[kDraftekRecordSize];
    if (int failure = ReadBytes(bytes, sizeof bytes)) return failure;
    FlashRecord& flash = r_.flash_;
    int32_t raw[5];
    for (int i = 0; i < 5; ++i) raw[i] = static_cast<int32_t>(LittleEndian32(bytes + 4 * i));
    // A 32-bit value divided by 100 always fits again.
    RoundToInt32(raw[0] / kDraftekLengthDivisor, &flash.x);
    RoundToInt32(raw[1] / kDraftekLengthDivisor, &flash.y);
    RoundToInt32(raw[2] / kDraftekLengthDivisor, &flash.w);
    RoundToInt32(raw[3] / kDraftekLengthDivisor, &flash.h);
    RoundToInt32(raw[4] / 100.0, &flash.angle);  // the record keeps tenths of a degree
    double degrees = raw[4] / kDraftekAngleDivisor;
    return CompleteFlash(degrees, &flash, &r_.stats_, &r_.angles_) ? kPgReadFlash : kPgReadBadData;
  }

  int Header() {
    unsigned char lead[2];
    if (ReadBytes(lead, 2) != 0 || lead[0] != kIntermediateMagic) return -1;
    if (Skip(lead[1] & 3) != 0) return -1;
    unsigned char counts[4 * kIntermediateKinds + 1];  // the counts and the byte after them
    if (ReadBytes(counts, sizeof counts) != 0) return -1;
    for (int i = 0; i < kIntermediateKinds; ++i)
      r_.kind_counts_[i] = LittleEndian32(counts + 4 * i);
    r_.kind_ = 1;
    r_.kind_left_ = r_.kind_counts_[0];
    return 0;
  }

  int Block() {
    unsigned char lead = 0;
    if (int failure = ReadBytes(&lead, 1)) return failure;
    size_t skipped = lead & 3;
    if (int failure = Skip(skipped)) return failure;
    size_t floats = kFloatsOfKind[r_.kind_ - 1];
    unsigned char bytes[4 * 16];
    if (int failure = ReadBytes(bytes, 4 * floats)) return failure;
    for (size_t i = 0; i < floats; ++i)
      r_.floats_[i] = std::bit_cast<float>(LittleEndian32(bytes + 4 * i));
    // Trailing bytes: one per started 256 of four times the record's byte count.
    size_t trailing = ((4 * floats + skipped + 1) * 4 + 255) / 256;
    return Skip(trailing);
  }

  int Record() {
    if (r_.kind_ > kIntermediateKinds) return kPgReadEndOfData;
    if (r_.kind_left_ == 0) {
      ++r_.kind_;
      if (r_.kind_ > kIntermediateKinds) return kPgReadEndOfData;
      r_.kind_left_ = r_.kind_counts_[r_.kind_ - 1];
      return kPgReadNothing;
    }
    --r_.kind_left_;
    if (int failure = Block()) return failure;
    if (r_.kind_ == kQuadrilateralKind) return Quadrilateral() ? kPgReadFlash : kPgReadBadData;
    if (r_.kind_ == kSectorKind) return Sector() ? kPgReadSector : kPgReadBadData;
    return kPgReadNothing;
  }

 private:
  // Kind 3: a corner count (3 or 4) and four corners.
  bool Quadrilateral() {
    const auto& f = r_.floats_;
    if (!std::isfinite(f[0])) return false;
    FlashRecord next = r_.flash_;
    auto& c = next.corners;
    for (int i = 0; i < kPgCornerCount; ++i) {
      if (!ScaledPoint(f[1 + 2 * i], f[2 + 2 * i], &c[2 * i], &c[2 * i + 1])) return false;
    }
    next.corners_are_offsets = false;
    next.corners[kPgCentreX] = Midpoint(c[0], c[4]);
    next.corners[kPgCentreY] = Midpoint(c[1], c[5]);
    next.x = next.corners[kPgCentreX];
    next.y = next.corners[kPgCentreY];
    next.w = next.h = next.angle = 0;
    if (f[0] == 3.0f) {
      c[6] = c[4];
      c[7] = c[5];
    } else if (!Sides(&next)) {
      return false;
    }
    CenterLine(&next);
    r_.flash_ = next;
    CountFlashArea(next.w, next.h, &r_.stats_);
    return true;
  }

  // W along p0 -> p1, H along p1 -> p2, the angle of p0 -> p1 in tenths of a degree.
  static bool Sides(FlashRecord* flash) {
    const auto& c = flash->corners;
    double dx = static_cast<double>(c[2]) - c[0], dy = static_cast<double>(c[3]) - c[1];
    double hx = static_cast<double>(c[4]) - c[2], hy = static_cast<double>(c[5]) - c[3];
    double radians = 0;
    SafeAtan2(dy, dx, &radians);
    return RoundToInt32(SideLength(dx, dy), &flash->w) &&
           RoundToInt32(SideLength(hx, hy), &flash->h) &&
           RoundToInt32(radians * 1800 / kHalfTurn, &flash->angle);
  }

  // The width is the shorter side; the centre line joins the middles of the two short
  // sides: p0p3 to p1p2 when W (p0 -> p1) is the longer, else p0p1 to p3p2.
  static void CenterLine(FlashRecord* flash) {
    static constexpr int kEnds[2][4] = {{0, 3, 1, 2}, {0, 1, 3, 2}};
    const auto& c = flash->corners;
    bool along_w = flash->w >= flash->h;
    const int* ends = kEnds[along_w ? 0 : 1];
    flash->width = along_w ? flash->h : flash->w;
    flash->x1 = Midpoint(c[2 * ends[0]], c[2 * ends[1]]);
    flash->y1 = Midpoint(c[2 * ends[0] + 1], c[2 * ends[1] + 1]);
    flash->x2 = Midpoint(c[2 * ends[2]], c[2 * ends[3]]);
    flash->y2 = Midpoint(c[2 * ends[2] + 1], c[2 * ends[3] + 1]);
  }

  // Kind 5: inner radius, sweep in degrees, centre and a point on the outer circle.
  bool Sector() {
    const auto& f = r_.floats_;
    double sweep = f[5];
    int32_t cx = 0, cy = 0, sx = 0, sy = 0, inner = 0, sweep_tenths = 0;
    if (!ScaledPoint(f[6], f[7], &cx, &cy) || !ScaledPoint(f[8], f[9], &sx, &sy) ||
        !RoundToInt32(f[4] * kIntermediateScale, &inner) ||
        !RoundToInt32(std::fabs(sweep) * 10, &sweep_tenths)) {
      return false;
    }
    double ox = static_cast<double>(sx) - cx, oy = static_cast<double>(sy) - cy;
    double outer = std::hypot(ox, oy);
    double ex = ox, ey = oy;
    RotateTranslatePoint(&ex, &ey, 0, 0, sweep / 180 * kHalfTurn);
    if (sweep < 0) {
      std::swap(ox, ex);
      std::swap(oy, ey);
    }
    FlashRecord next = r_.flash_;
    auto& c = next.corners;
    double ratio = inner > 0 && outer > 0 ? inner / outer : 0;
    const double points[4][2] = {
        {ox, oy}, {ex, ey}, {ox * ratio, oy * ratio}, {ex * ratio, ey * ratio}};
    for (int i = 0; i < kPgCornerCount; ++i) {
      if (!RoundToInt32(cx + points[i][0], &c[2 * i]) ||
          !RoundToInt32(cy + points[i][1], &c[2 * i + 1])) {
        return false;
      }
    }
    int32_t outer_radius = 0;
    if (!RoundToInt32(outer, &outer_radius)) return false;
    c[kPgCentreX] = next.x = cx;
    c[kPgCentreY] = next.y = cy;
    next.corners_are_offsets = false;
    next.w = next.width = outer_radius;
    next.h = inner;
    next.angle = sweep_tenths;
    next.x1 = c[0];
    next.y1 = c[1];
    next.x2 = c[2];
    next.y2 = c[3];
    r_.flash_ = next;
    CountSector(outer);
    return true;
  }

  void CountSector(double outer) {
    PgReaderStats& stats = r_.stats_;
    if (outer < stats.min_outer_radius) stats.min_outer_radius = outer;
    if (outer > stats.max_outer_radius) stats.max_outer_radius = outer;
    stats.flags |= kPgStatSectorSeen;
  }

  PgReader& r_;
};

int ReadDraftekRecord(PgReader* reader) {
  PgBinaryParser parser(reader);
  return parser.HasFile() ? parser.Draftek() : kPgReadBadData;
}

int ValidateIntermediateHeader(PgReader* reader) {
  PgBinaryParser parser(reader);
  return parser.HasFile() ? parser.Header() : -1;
}

int ReadIntermediateBlock(PgReader* reader) {
  PgBinaryParser parser(reader);
  if (!parser.HasFile() || reader->kind_ < 1 || reader->kind_ > kIntermediateKinds) {
    return kPgReadBadData;
  }
  return parser.Block();
}

int ReadIntermediateRecord(PgReader* reader) {
  PgBinaryParser parser(reader);
  return parser.HasFile() ? parser.Record() : kPgReadBadData;
}

}  // namespace kavrinth
