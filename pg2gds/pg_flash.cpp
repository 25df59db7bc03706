// Flash completion: from centre, sides and angle to the centre line and corner offsets.
#include "pg2gds/pg_flash.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "support/numeric_guards.h"

namespace kavrinth {
namespace {

// The rounding of RoundToInt32.
inline bool RoundOffset(double value, int32_t* out) { return RoundToInt32(value, out); }

// RoundOffset for a value known to lie within 2^31 of zero (a half side times a cosine or
// sine, or the sum of two such): the same result in integers. False when the rounded
// value leaves 32 bits.
inline bool RoundSmall(double value, int64_t* out) {
  int64_t whole = static_cast<int64_t>(value);
  const double fraction = value - static_cast<double>(whole);
  whole += static_cast<int64_t>(fraction >= 0.5) - static_cast<int64_t>(fraction <= -0.5);
  *out = whole;
  return whole >= INT32_MIN && whole <= INT32_MAX;
}

// yes or no by the condition, through their bits: no branch.
inline double Select(bool condition, double yes, double no) {
  const uint64_t mask = 0 - static_cast<uint64_t>(condition);
  return std::bit_cast<double>((std::bit_cast<uint64_t>(yes) & mask) |
                               (std::bit_cast<uint64_t>(no) & ~mask));
}

// RoundOffset for two values whose rounded results are known to fit in 32 bits, in 32-bit
// integers: the truncated values and the fractions left, which are exact. Two lanes of a
// vector, which the processor handles as one.
using DoublePair = double __attribute__((vector_size(16)));
using IntPair = int32_t __attribute__((vector_size(8)));
using MaskPair = int64_t __attribute__((vector_size(16)));
inline void RoundNearPair(double a, double b, int32_t* out) {
  const DoublePair value = {a, b};
  const IntPair whole = __builtin_convertvector(value, IntPair);
  const DoublePair fraction = value - __builtin_convertvector(whole, DoublePair);
  // A comparison gives -1 in the lanes where it holds.
  const MaskPair up = fraction >= 0.5;
  const MaskPair down = fraction <= -0.5;
  const IntPair result =
      whole - __builtin_convertvector(up, IntPair) + __builtin_convertvector(down, IntPair);
  out[0] = result[0];
  out[1] = result[1];
}

// A flash rounds the half of its centre line and its four corners: ten values.
constexpr int kRoundedCount = 2 + 2 * kPgCornerCount;

inline bool Fits32(int64_t value) { return value >= INT32_MIN && value <= INT32_MAX; }

// The cosine and sine of an angle in degrees, from the cache or computed and kept there.
const PgAngleCache::Turn& TurnOf(double degrees, PgAngleCache* angles) {
  const auto key = std::bit_cast<uint64_t>(degrees);
  PgAngleCache::Turn& turn = angles->Slot(key);
  if (turn.key != key) {
    double radians = degrees / 180 * kHalfTurn;
    // Inside a full turn the reduction gives the value itself.
    if (!(std::fabs(radians) < kFullTurn)) radians = ReduceAngle(radians, kFullTurn);
    turn.key = key;
    turn.cos = std::cos(radians);
    turn.sin = std::sin(radians);
  }
  return turn;
}

}  // namespace

bool CompleteFlash(double angle_degrees, FlashRecord* flash, PgReaderStats* stats,
                   PgAngleCache* angles) {
  const int64_t x = flash->x, y = flash->y;
  // The centre line follows the longer side; when that is H, the angle turns a quarter.
  // Which side is longer is as random as the file's flashes, so the choice is made by
  // selecting, without a branch to mispredict.
  const bool along_h = flash->w < flash->h;
  const int32_t width = std::min(flash->w, flash->h);
  const int32_t length = std::max(flash->w, flash->h);
  const double a = Select(
      along_h, Select(angle_degrees >= 90, angle_degrees - 90, angle_degrees + 90), angle_degrees);
  // A NaN or infinite angle has no cosine: its corners would be NaN, which no rounding
  // takes. The cosine and sine of a finite angle lie within [-1, 1] and the half sides
  // within 2^30, so every product and sum below stays well inside 2^52 and rounds exactly
  // as RoundOffset does.
  if (!std::isfinite(a)) return false;
  const PgAngleCache::Turn& turn = TurnOf(a, angles);
  const double c = turn.cos;
  const double s = turn.sin;
  const double half_length = length / 2.0;
  const double half_width = width / 2.0;
  const double lc = half_length * c, ls = half_length * s;
  const double ws = half_width * s, wc = half_width * c;

  // The segment's half (dx, dy), then the four corner offsets.
  const double values[kRoundedCount] = {lc,       ls,       lc - ws,  ls + wc, -lc - ws,
                                        -ls + wc, -lc + ws, -ls - wc, lc + ws, ls - wc};
  int32_t rounded[kRoundedCount];
  // No offset is farther from zero than half the length plus half the width, and none
  // rounds farther than half a unit beyond that: with the centre and both sides within
  // 2^29 of zero (all but a few files), neither the offsets nor the corners can leave the
  // 32-bit range. Each value plus 2^29 then lies below 2^30, and so does their OR.
  constexpr uint32_t kNear = uint32_t{1} << 29;
  const uint32_t spread =
      (static_cast<uint32_t>(flash->x) + kNear) | (static_cast<uint32_t>(flash->y) + kNear) |
      (static_cast<uint32_t>(length) + kNear) | (static_cast<uint32_t>(width) + kNear);
  if (spread < 2 * kNear) {
    for (int i = 0; i < kRoundedCount; i += 2) RoundNearPair(values[i], values[i + 1], &rounded[i]);
  } else {
    // The half segment goes both ways from the centre; the corners come in opposite
    // pairs, so the centre less one corner's offset is the centre plus another's.
    bool fits = true;
    for (int i = 0; i < kRoundedCount; i += 2) {
      int64_t ox = 0, oy = 0;
      fits &= RoundSmall(values[i], &ox) & RoundSmall(values[i + 1], &oy) & Fits32(x + ox) &
              Fits32(y + oy) & Fits32(x - ox) & Fits32(y - oy);
      rounded[i] = static_cast<int32_t>(ox);
      rounded[i + 1] = static_cast<int32_t>(oy);
    }
    if (!fits) return false;
  }

  flash->x1 = static_cast<int32_t>(x - rounded[0]);
  flash->y1 = static_cast<int32_t>(y - rounded[1]);
  flash->x2 = static_cast<int32_t>(x + rounded[0]);
  flash->y2 = static_cast<int32_t>(y + rounded[1]);
  for (int i = 0; i < 2 * kPgCornerCount; ++i) flash->corners[i] = rounded[2 + i];
  flash->corners[kPgCentreX] = flash->x;
  flash->corners[kPgCentreY] = flash->y;
  flash->corners_are_offsets = true;
  flash->width = width;
  CountFlashArea(flash->w, flash->h, stats);
  return true;
}

}  // namespace kavrinth
