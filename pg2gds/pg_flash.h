// Helpers the PG record readers share: checked rounding into 32 bits, flash completion
// and the statistics of rectangular flashes. Internal to the readers.
#pragma once

#include <cmath>
#include <cstdint>

#include "pg2gds/pg_readers.h"
#include "support/buf_file.h"

namespace kavrinth {

// Rounds half away from zero into *out: false when the value is not finite or the result
// lies outside the 32-bit range. Inline, as the readers round every coordinate with it.
inline bool RoundToInt32(double value, int32_t* out) {
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

// Completes a flash from its X, Y, W, H and the angle in degrees: the shorter side as the
// width, the centre line along the longer side, and the corner offsets. False (flash and
// statistics untouched) when a segment end or an absolute corner leaves the 32-bit range.
// The cache keeps the cosine and sine of the angles met before.
bool CompleteFlash(double angle_degrees, FlashRecord* flash, PgReaderStats* stats,
                   PgAngleCache* angles);

// Counts a flash of sides w and h in the area statistics and marks a flash seen.
inline void CountFlashArea(int32_t w, int32_t h, PgReaderStats* stats) {
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

// What a reader returns when the file gives no more bytes: a read error is bad data, the
// plain end is a truncated file.
inline int EndOfFileResult(const BufFile* file) {
  return BufFileError(file) != 0 ? kPgReadBadData : kPgReadTruncated;
}

}  // namespace kavrinth
