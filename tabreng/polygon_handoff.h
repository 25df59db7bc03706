// What comes back from the PG library is written into the translated stream: each
// trapezoid as one five-point BOUNDARY of exactly 64 bytes. Also the circle test that
// scan mode applies to boundaries, boxes and paths.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "companions/vantor/vantor.h"

namespace kavrinth {

inline constexpr size_t kTrapezoidBoundaryBytes = 64;

// The rounding of a value beyond the 32-bit range (or not a number): saturates and
// clears *fits.
int32_t RoundToInt32OutOfRange(double value, bool* fits);

// A coordinate rounded half away from zero to a 32-bit integer; a value beyond the
// 32-bit range (or not a number) saturates and clears *fits. Inline: it runs for every
// outline point and every trapezoid corner.
inline int32_t RoundToInt32(double value, bool* fits) {
  // Inside the range the integer part and the fraction are exact, which rounds half away
  // from zero without a call into the maths library.
  if (value > -2147483648.5 && value < 2147483647.5) {
    const auto whole = static_cast<int64_t>(value);
    const double fraction = value - static_cast<double>(whole);
    return static_cast<int32_t>(whole + (fraction >= 0.5) - (fraction <= -0.5));
  }
  return RoundToInt32OutOfRange(value, fits);
}

// BOUNDARY, LAYER, DATATYPE 0, XY with the four corners and the first again, ENDEL.
// Each corner coordinate c (PG units) becomes round(c * 0.001 / fixup). False when a
// coordinate had to saturate.
bool EncodeTrapezoidBoundary(int16_t layer, const PgTrapezoid& trapezoid, double fixup,
                             std::span<uint8_t, kTrapezoidBoundaryBytes> out);

struct FittedCircle {
  double centre_x = 0;
  double centre_y = 0;
  double radius = 0;
};

// Whether the closed polygon (x, y pairs, the closing point included) is a circle: more
// than 23 points, closed within one unit, and every edge midpoint (but those of the
// three fit points' edges) at the radius of the circle through three of its points.
// `work` is reused between calls.
bool FitCircleToPolygon(std::span<const int32_t> xy, double scale, FittedCircle* circle,
                        std::vector<double>& work);

}  // namespace kavrinth
