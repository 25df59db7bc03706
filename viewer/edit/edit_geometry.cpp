// Flash geometry of the editor.
#include "viewer/edit/edit_geometry.h"

#include <cmath>
#include <limits>

namespace kavrinth {
namespace {

constexpr double kPi = 3.14159265358979323846;

int64_t RoundAway(double value) {
  return static_cast<int64_t>(value < 0 ? std::ceil(value - 0.5) : std::floor(value + 0.5));
}

int32_t Clamp32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

double Length(int64_t dx, int64_t dy) {
  return std::hypot(static_cast<double>(dx), static_cast<double>(dy));
}

}  // namespace

int32_t FlashAngleTenths(double degrees) {
  double reduced = std::fmod(degrees, 180.0);
  if (reduced < 0) reduced += 180.0;
  int64_t tenths = RoundAway(reduced * 10.0);
  if (tenths >= 1800) tenths -= 1800;
  return static_cast<int32_t>(tenths);
}

bool NormaliseRectangle(const EditPoint& p0, const EditPoint& p1, const EditPoint& p2,
                        FlashValues* flash, FlashCorners* corners) {
  const int64_t dx = int64_t{p1.x} - p0.x;
  const int64_t dy = int64_t{p1.y} - p0.y;
  const int64_t width = RoundAway(Length(dx, dy));
  const int64_t height = RoundAway(Length(int64_t{p2.x} - p1.x, int64_t{p2.y} - p1.y));
  if (width < 1 || height < 1) return false;
  // The height side must leave the width side's line: collinear points make no rectangle.
  const double cross = static_cast<double>(dx) * (int64_t{p2.y} - p1.y) -
                       static_cast<double>(dy) * (int64_t{p2.x} - p1.x);
  if (cross == 0) return false;
  FlashValues f;
  f.width = Clamp32(width);
  f.height = Clamp32(height);
  f.angle_tenths =
      FlashAngleTenths(std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 / kPi);
  f.centre_x = Clamp32((int64_t{p0.x} + p2.x) / 2);
  f.centre_y = Clamp32((int64_t{p0.y} + p2.y) / 2);
  const double r = f.angle_tenths / 10.0 * kPi / 180.0;
  const double s = std::sin(r);
  const double c = std::cos(r);
  const double hw = f.width / 2.0;
  const double hh = f.height / 2.0;
  const std::array<std::array<double, 2>, 4> offsets = {{{hw * c - hh * s, hw * s + hh * c},
                                                         {-hw * c - hh * s, -hw * s + hh * c},
                                                         {-hw * c + hh * s, -hw * s - hh * c},
                                                         {hw * c + hh * s, hw * s - hh * c}}};
  FlashCorners out;
  for (size_t i = 0; i < 4; ++i) {
    out[i] = {Clamp32(f.centre_x + RoundAway(offsets[i][0])),
              Clamp32(f.centre_y + RoundAway(offsets[i][1]))};
  }
  out[4] = out[0];
  *flash = f;
  *corners = out;
  return true;
}

bool RectangleFrom3Points(const EditPoint& p0, const EditPoint& p1, const EditPoint& p2,
                          FlashCorners* corners) {
  const double d2x = static_cast<double>(p2.x) - p1.x;
  const double d2y = static_cast<double>(p2.y) - p1.y;
  const double d1x = static_cast<double>(p0.x) - p1.x;
  const double d1y = static_cast<double>(p0.y) - p1.y;
  const double l1 = std::hypot(d1x, d1y);
  const double l2 = std::hypot(d2x, d2y);
  if (l1 == 0 || l2 == 0) return false;
  const double side = d2x * d1y - d1x * d2y;
  if (side == 0) return false;
  double qx = std::trunc(d1y * l2 / l1);
  double qy = std::trunc(d1x * -l2 / l1);
  const double q_side = qx * d1y - d1x * qy;
  if (q_side * side < 0) {
    qx = -qx;
    qy = -qy;
  }
  const auto shifted = [&](const EditPoint& p) {
    return EditPoint{Clamp32(static_cast<int64_t>(p.x + qx)),
                     Clamp32(static_cast<int64_t>(p.y + qy))};
  };
  *corners = {p0, p1, shifted(p1), shifted(p0), p0};
  return true;
}

FlashCorners RectangleFrom2Points(const EditPoint& p0, const EditPoint& p1) {
  return {p0, EditPoint{p1.x, p0.y}, p1, EditPoint{p0.x, p1.y}, p0};
}

}  // namespace kavrinth
