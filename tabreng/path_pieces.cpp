// One rectangle per segment of a wide path.
#include "tabreng/path_pieces.h"

#include <cmath>

#include "tabreng/polygon_handoff.h"

namespace kavrinth {

bool IsPathOutlined(int path_mode, int pathtype) {
  switch (path_mode) {
    case 2:
      return false;
    case 3:
      return pathtype != 1;
    default:
      return true;
  }
}

namespace {

struct Point {
  double x, y;
};

// Moves `end` away from `other` by `distance` along their segment, when it is longer
// than 1e-6.
void Extend(Point& end, const Point& other, double distance) {
  const double dx = end.x - other.x, dy = end.y - other.y;
  const double length = std::hypot(dx, dy);
  if (length <= 1e-6) return;
  end.x += dx / length * distance;
  end.y += dy / length * distance;
}

}  // namespace

int PathSegmentRectangles(std::span<const int32_t> centre_xy, int32_t width, int pathtype,
                          std::vector<int32_t>& out, bool* fits) {
  out.clear();
  const size_t n = centre_xy.size() / 2;
  if (n < 2) return 0;
  const double half = std::fabs(static_cast<double>(width)) / 2;
  const auto at = [&](size_t i) {
    return Point{double(centre_xy[2 * i]), double(centre_xy[2 * i + 1])};
  };
  int count = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    Point a = at(i), b = at(i + 1);
    if (pathtype > 1 && i == 0) Extend(a, at(1), half);
    if (pathtype > 1 && i + 2 == n) Extend(b, at(n - 2), half);
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::hypot(dx, dy);
    if (length < 0.001) continue;
    const double nx = -dy / length * half, ny = dx / length * half;
    const Point corners[5] = {{a.x - nx, a.y - ny},
                              {b.x - nx, b.y - ny},
                              {b.x + nx, b.y + ny},
                              {a.x + nx, a.y + ny},
                              {a.x - nx, a.y - ny}};
    for (const Point& p : corners) {
      out.push_back(RoundToInt32(p.x, fits));
      out.push_back(RoundToInt32(p.y, fits));
    }
    ++count;
  }
  return count;
}

}  // namespace kavrinth
