// Trapezoid write-back and the circle test.
#include "tabreng/polygon_handoff.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "gdsii/encoding.h"

namespace kavrinth {

int32_t RoundToInt32OutOfRange(double value, bool* fits) {
  const double rounded = std::round(value);  // half away from zero
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    *fits = false;
    return std::isnan(rounded) || rounded < 0 ? std::numeric_limits<int32_t>::min()
                                              : std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(rounded);
}

bool EncodeTrapezoidBoundary(int16_t layer, const PgTrapezoid& trapezoid, double fixup,
                             std::span<uint8_t, kTrapezoidBoundaryBytes> out) {
  static constexpr uint8_t kHead[] = {0x00, 0x04, 0x08, 0x00,   // BOUNDARY
                                      0x00, 0x06, 0x0D, 0x02,   // LAYER (value follows)
                                      0x00, 0x00,               //
                                      0x00, 0x06, 0x0E, 0x02,   // DATATYPE 0
                                      0x00, 0x00,               //
                                      0x00, 0x2C, 0x10, 0x03};  // XY, five points
  static constexpr uint8_t kEndEl[] = {0x00, 0x04, 0x11, 0x00};
  std::copy(std::begin(kHead), std::end(kHead), out.data());
  GdsPutInt16(layer, std::span<uint8_t, 2>(out.data() + 8, 2));
  bool fits = true;
  // The four corners, then the first again (its bytes copied: it rounds the same). A
  // value equal to the one two before (the y of a side's second corner, the x of a
  // rectangle's) rounds the same too, and is not worked out again.
  const int32_t* xy = trapezoid.xy;
  int32_t values[8];
  for (int value = 0; value < 8; ++value) {
    values[value] = value >= 2 && xy[value] == xy[value - 2]
                        ? values[value - 2]
                        : RoundToInt32(xy[value] * 0.001 / fixup, &fits);
    GdsPutInt32(values[value], std::span<uint8_t, 4>(out.data() + 20 + 4 * value, 4));
  }
  std::copy(out.data() + 20, out.data() + 28, out.data() + 52);
  std::copy(std::begin(kEndEl), std::end(kEndEl), out.data() + 60);
  return fits;
}

namespace {

// The fit points' indexes: the odd numbers nearest below n * 0.666 and n * 1.332, halved.
int FitIndex(int n, double factor) {
  int value = static_cast<int>(n * factor);
  if (value % 2 == 0) ++value;
  return (value - 1) / 2;
}

}  // namespace

bool FitCircleToPolygon(std::span<const int32_t> xy, double scale, FittedCircle* circle,
                        std::vector<double>& work) {
  const int n = static_cast<int>(xy.size() / 2);
  if (n <= 23) return false;
  work.resize(xy.size());
  for (size_t i = 0; i < xy.size(); ++i) work[i] = xy[i] * scale;
  const auto x = [&work](int i) { return work[2 * i]; };
  const auto y = [&work](int i) { return work[2 * i + 1]; };
  const double gap_x = x(0) - x(n - 1), gap_y = y(0) - y(n - 1);
  if (gap_x * gap_x + gap_y * gap_y > scale * scale) return false;

  const int i1 = FitIndex(n, 0.666), i2 = FitIndex(n, 1.332);
  const double a = 2 * (x(i1) - x(0)), b = 2 * (y(i1) - y(0));
  const double c = 2 * (x(i2) - x(0)), d = 2 * (y(i2) - y(0));
  const double det = a * d - c * b;
  if (std::fabs(det) < 1e-6) return false;
  const double f = x(i1) * x(i1) - x(0) * x(0) + y(i1) * y(i1) - y(0) * y(0);
  const double g = x(i2) * x(i2) - x(0) * x(0) + y(i2) * y(i2) - y(0) * y(0);
  const double cx = (d * f - b * g) / det, cy = (a * g - c * f) / det;
  const double r_squared = (x(0) - cx) * (x(0) - cx) + (y(0) - cy) * (y(0) - cy);
  const double r = r_squared <= 1e-6 ? 0 : std::sqrt(r_squared);
  const double tolerance = std::max(0.01 * r, 2 * r * (1 - std::cos(3.141592653589793 / n)));

  double min_x = x(0), max_x = x(0), min_y = y(0), max_y = y(0);
  for (int i = 1; i <= n - 2; ++i) {
    min_x = std::min(min_x, x(i)), max_x = std::max(max_x, x(i));
    min_y = std::min(min_y, y(i)), max_y = std::max(max_y, y(i));
  }
  if (cx < min_x || cx > max_x || cy < min_y || cy > max_y) return false;

  for (int k = 2; k <= n - 1; ++k) {
    if (k - 1 == i1 || k - 1 == i2) continue;
    const double mx = (x(k - 1) + x(k)) / 2 - cx, my = (y(k - 1) + y(k)) / 2 - cy;
    if (std::fabs(std::sqrt(mx * mx + my * my) - r) > tolerance) return false;
  }
  *circle = {cx, cy, r};
  return true;
}

}  // namespace kavrinth
