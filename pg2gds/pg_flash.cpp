// Flash completion: from centre, sides and angle to the centre line and corner offsets.
#include "pg2gds/pg_flash.h"

#include <cmath>

#include "support/numeric_guards.h"

namespace kavrinth {
namespace {

// The rounding of RoundToInt32, inline here: a flash rounds ten offsets.
inline bool RoundOffset(double value, int32_t* out) {
  // Halves go away from zero. Below 2^52 the integer part and the fraction of a double
  // are exact, which gives std::round's result without a call for every corner. NaN
  // fails the comparison too, so only the large values and NaN test for finiteness.
  double rounded;
  if (std::fabs(value) < 4503599627370496.0) {
    const auto whole = static_cast<double>(static_cast<int64_t>(value));
    const double fraction = value - whole;
    rounded = whole + static_cast<double>(fraction >= 0.5) - static_cast<double>(fraction <= -0.5);
  } else {
    if (!std::isfinite(value)) return false;
    rounded = std::round(value);
  }
  if (rounded < INT32_MIN || rounded > INT32_MAX) return false;
  *out = static_cast<int32_t>(rounded);
  return true;
}

// Offset (dx, dy) rounded; false when either leaves 32 bits.
bool RoundPair(double dx, double dy, int32_t* x, int32_t* y) {
  return RoundOffset(dx, x) && RoundOffset(dy, y);
}

// base + offset, false when the sum leaves 32 bits.
bool AddChecked(int32_t base, int64_t offset, int32_t* out) {
  int64_t sum = static_cast<int64_t>(base) + offset;
  if (sum < INT32_MIN || sum > INT32_MAX) return false;
  *out = static_cast<int32_t>(sum);
  return true;
}

}  // namespace

bool RoundToInt32(double value, int32_t* out) { return RoundOffset(value, out); }

void CountFlashArea(int32_t w, int32_t h, PgReaderStats* stats) {
  double area = static_cast<double>(w) * h;
  if (area < stats->min_area) {
    stats->min_area = area;
    stats->min_area_w = w;
    stats->min_area_h = h;
  }
  if (area > stats->max_area) {
    stats->max_area = area;
    stats->max_area_w = w;
    stats->max_area_h = h;
  }
  stats->flags |= kPgStatFlashSeen;
}

bool CompleteFlash(double angle_degrees, FlashRecord* flash, PgReaderStats* stats) {
  double a = angle_degrees;
  int32_t width = flash->h;
  int32_t length = flash->w;
  if (flash->w < flash->h) {
    // The centre line follows the longer side, which is then H: turn it a quarter.
    width = flash->w;
    length = flash->h;
    a = a >= 90 ? a - 90 : a + 90;
  }
  double radians = ReduceAngle(a / 180 * kHalfTurn, kFullTurn);
  double half_length = length / 2.0;
  double half_width = width / 2.0;
  double c = std::cos(radians);
  double s = std::sin(radians);

  FlashRecord next = *flash;
  int32_t dx = 0, dy = 0;
  if (!RoundPair(half_length * c, half_length * s, &dx, &dy)) return false;
  if (!AddChecked(flash->x, -static_cast<int64_t>(dx), &next.x1) ||
      !AddChecked(flash->y, -static_cast<int64_t>(dy), &next.y1) ||
      !AddChecked(flash->x, dx, &next.x2) || !AddChecked(flash->y, dy, &next.y2)) {
    return false;
  }
  const double lc = half_length * c, ls = half_length * s;
  const double ws = half_width * s, wc = half_width * c;
  const double offsets[kPgCornerCount][2] = {
      {lc - ws, ls + wc}, {-lc - ws, -ls + wc}, {-lc + ws, -ls - wc}, {lc + ws, ls - wc}};
  for (int i = 0; i < kPgCornerCount; ++i) {
    int32_t* corner = &next.corners[2 * i];
    int32_t absolute = 0;
    if (!RoundPair(offsets[i][0], offsets[i][1], &corner[0], &corner[1]) ||
        !AddChecked(flash->x, corner[0], &absolute) ||
        !AddChecked(flash->y, corner[1], &absolute)) {
      return false;
    }
  }
  next.corners[kPgCentreX] = flash->x;
  next.corners[kPgCentreY] = flash->y;
  next.corners_are_offsets = true;
  next.width = width;
  *flash = next;
  CountFlashArea(flash->w, flash->h, stats);
  return true;
}

}  // namespace kavrinth
