// Placing quadrilaterals and sectors, and cutting polygons, paths and strokes into them.
#include "companions/quenrix/shapes.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "fonts/path_outline.h"
#include "fonts/segment_sweep.h"

namespace kavrinth {
namespace {

constexpr double kDegrees = 57.29577951308232;

// A polygon that needs more trapezoids than this is not drawn.
constexpr size_t kMaxTrapezoids = size_t{1} << 22;
constexpr size_t kFirstTableSize = 1024;

// Cosine and sine of an angle in degrees, exact at multiples of 90.
void CosSin(double degrees, double* cosine, double* sine) {
  double reduced = std::fmod(degrees, 360.0);
  if (reduced < 0) reduced += 360.0;
  static constexpr double kQuarterCos[] = {1, 0, -1, 0};
  static constexpr double kQuarterSin[] = {0, 1, 0, -1};
  if (std::fmod(reduced, 90.0) == 0) {
    int quarter = static_cast<int>(reduced / 90.0) % 4;
    *cosine = kQuarterCos[quarter];
    *sine = kQuarterSin[quarter];
    return;
  }
  *cosine = std::cos(reduced / kDegrees);
  *sine = std::sin(reduced / kDegrees);
}

bool Imprecise(int32_t value) {
  return value >= kIntermediateExactLimit || value <= -kIntermediateExactLimit;
}

struct Corner {
  int32_t x, y;
  bool operator==(const Corner&) const = default;
};

// Twice the signed area of a ring.
__int128 TwiceArea(const Corner* corners, size_t count) {
  __int128 sum = 0;
  for (size_t i = 0; i < count; ++i) {
    const Corner& p = corners[i];
    const Corner& q = corners[(i + 1) % count];
    sum += static_cast<__int128>(p.x) * q.y - static_cast<__int128>(q.x) * p.y;
  }
  return sum;
}

// Moves the end point `at` away from its neighbour `from` by the distance.
bool ExtendEnd(std::vector<int32_t>& p, size_t at, size_t from, double distance) {
  double dx = double(p[2 * at]) - p[2 * from], dy = double(p[2 * at + 1]) - p[2 * from + 1];
  double length = std::hypot(dx, dy);
  return RoundCoordinate(p[2 * at] + distance * dx / length, &p[2 * at]) &&
         RoundCoordinate(p[2 * at + 1] + distance * dy / length, &p[2 * at + 1]);
}

double DirectionDegrees(const std::vector<int32_t>& p, size_t from, size_t to) {
  return std::atan2(double(p[2 * to + 1]) - p[2 * from + 1], double(p[2 * to]) - p[2 * from]) *
         kDegrees;
}

// Half discs closing a round-ended path: behind the first point, ahead of the last.
void RoundEnds(const std::vector<int32_t>& p, double radius, int16_t layer,
               std::vector<LocalSector>& sectors) {
  size_t n = p.size() / 2;
  const double start = DirectionDegrees(p, 0, 1) + 90;
  const double end = DirectionDegrees(p, n - 2, n - 1) - 90;
  sectors.push_back({double(p[0]), double(p[1]), 0, radius, start, 180, layer});
  sectors.push_back({double(p[2 * n - 2]), double(p[2 * n - 1]), 0, radius, end, 180, layer});
}

}  // namespace

bool RoundCoordinate(double value, int32_t* out) {
  if (!(value > -2147483648.5 && value < 2147483647.5)) return false;
  *out = static_cast<int32_t>(std::llround(value));
  return true;
}

Placement Placement::Of(double x, double y, double magnification, double angle_degrees,
                        bool reflect) {
  double cosine = 1, sine = 0;
  CosSin(angle_degrees, &cosine, &sine);
  const double flip = reflect ? -1 : 1;
  return {magnification * cosine,
          -magnification * sine * flip,
          magnification * sine,
          magnification * cosine * flip,
          x,
          y};
}

Placement Placement::Then(const Placement& in) const {
  return {a * in.a + b * in.c, a * in.b + b * in.d,        c * in.a + d * in.c,
          c * in.b + d * in.d, a * in.tx + b * in.ty + tx, c * in.tx + d * in.ty + ty};
}

double Placement::Scale() const { return std::sqrt(std::fabs(a * d - b * c)); }

EmitResult EmitQuad(const LocalQuad& quad, const Placement& placement, ShapeSink& sink) {
  EmitResult result;
  Corner corners[4];
  size_t count = 0;
  for (int i = 0; i < 4; ++i) {
    double x = 0, y = 0;
    placement.Apply(quad.xy[2 * i], quad.xy[2 * i + 1], &x, &y);
    Corner c{};
    if (!RoundCoordinate(x, &c.x) || !RoundCoordinate(y, &c.y)) {
      result.out_of_range = true;
      return result;
    }
    result.imprecise = result.imprecise || Imprecise(c.x) || Imprecise(c.y);
    if (count == 0 || !(corners[count - 1] == c)) corners[count++] = c;
  }
  if (count > 1 && corners[count - 1] == corners[0]) --count;
  const __int128 area = count >= 3 ? TwiceArea(corners, count) : 0;
  if (area == 0) return result;
  if (area < 0) std::reverse(corners + 1, corners + count);
  if (count == 3) corners[3] = corners[2];
  std::array<int32_t, 8> xy{};
  for (int i = 0; i < 4; ++i) {
    xy[2 * i] = corners[i].x;
    xy[2 * i + 1] = corners[i].y;
  }
  sink.Quadrilateral(quad.layer, xy, count == 3);
  return result;
}

EmitResult EmitSector(const LocalSector& sector, const Placement& placement, ShapeSink& sink) {
  EmitResult result;
  const double scale = placement.Scale();
  // A mirrored sector runs the other way round: its placed start is the placed end.
  double start = sector.start_degrees + (placement.Mirrors() ? sector.sweep_degrees : 0);
  double cosine = 1, sine = 0;
  CosSin(start, &cosine, &sine);
  double ux = 0, uy = 0, cx = 0, cy = 0;
  placement.Apply(cosine, sine, &ux, &uy);
  ux -= placement.tx;
  uy -= placement.ty;
  const double length = std::hypot(ux, uy);
  placement.Apply(sector.centre_x, sector.centre_y, &cx, &cy);
  const double outer = sector.outer * scale;
  SectorShape shape;
  shape.sweep_degrees = sector.sweep_degrees;
  if (!RoundCoordinate(cx, &shape.centre_x) || !RoundCoordinate(cy, &shape.centre_y) ||
      !RoundCoordinate(cx + outer * ux / length, &shape.outer_x) ||
      !RoundCoordinate(cy + outer * uy / length, &shape.outer_y) ||
      !RoundCoordinate(sector.inner * scale, &shape.inner_radius)) {
    result.out_of_range = true;
    return result;
  }
  for (int32_t v : {shape.centre_x, shape.centre_y, shape.outer_x, shape.outer_y}) {
    result.imprecise = result.imprecise || Imprecise(v);
  }
  if (shape.outer_x == shape.centre_x && shape.outer_y == shape.centre_y) return result;
  sink.Sector(sector.layer, shape);
  return result;
}

bool PolygonCutter::Cut(std::span<const int32_t> xy, int16_t layer, std::vector<LocalQuad>& out) {
  if (table_.empty()) table_.resize(kFirstTableSize);
  DecomposeResult result = decomposer_.Decompose(xy, 1.0, table_);
  while (result.status == DecomposeStatus::kTableFull && table_.size() < kMaxTrapezoids) {
    table_.resize(std::min(table_.size() * 4, kMaxTrapezoids));
    result = decomposer_.Decompose(xy, 1.0, table_);
  }
  for (int32_t i = 0; i < result.filled; ++i) {
    LocalQuad quad;
    std::copy(std::begin(table_[i].xy), std::end(table_[i].xy), quad.xy.begin());
    quad.layer = layer;
    out.push_back(quad);
  }
  return result.status == DecomposeStatus::kComplete && !result.out_of_range;
}

bool PathShapes(std::span<const int32_t> xy, int32_t width, int pathtype, int16_t layer,
                PolygonCutter& cutter, std::vector<LocalQuad>& quads,
                std::vector<LocalSector>& sectors) {
  std::vector<int32_t> scratch;
  const std::span<const int32_t> distinct = DistinctPathPoints(xy, scratch);
  std::vector<int32_t> p(distinct.begin(), distinct.end());
  const int32_t n = static_cast<int32_t>(p.size() / 2);
  if (n < 2 || width == 0) return false;
  const int32_t w = width == INT32_MIN ? INT32_MAX : std::abs(width);
  if (pathtype == 2 || pathtype == 4) {
    if (!ExtendEnd(p, 0, 1, w / 2.0) || !ExtendEnd(p, n - 1, n - 2, w / 2.0)) return false;
  }
  // The outline lies within twice the half-width of the centre line: a line closer than
  // that to the edge of the 32-bit range could not be drawn where it is.
  const double reach = static_cast<double>(w) + 1;
  for (int32_t v : p) {
    if (v - reach < INT32_MIN || v + reach > INT32_MAX) return false;
  }
  std::vector<int32_t> outline(2 * (2 * static_cast<size_t>(n) + 8));
  bool whole = true;
  int32_t start = 0;
  while (n - start >= 2) {
    int32_t room = static_cast<int32_t>(outline.size() / 2);
    int used =
        PathToOutline(n - start, std::span(p).subspan(2 * size_t(start)), w, outline, true, room);
    if (used < 2) {  // a piece without direction: go on after its first point
      ++start;
      continue;
    }
    whole = cutter.Cut(std::span(outline).first(2 * size_t(room)), layer, quads) && whole;
    start += used - 1;
  }
  if (pathtype == 1) RoundEnds(p, w / 2.0, layer, sectors);
  return whole;
}

bool StrokeShapes(std::span<const int32_t> xy, int32_t pen_width, int16_t layer,
                  PolygonCutter& cutter, std::vector<LocalQuad>& quads) {
  std::array<int32_t, 32> outline{};
  bool whole = true;
  for (size_t i = 0; i + 3 < xy.size(); i += 2) {
    std::array<int32_t, 4> segment = {xy[i], xy[i + 1], xy[i + 2], xy[i + 3]};
    int32_t room = static_cast<int32_t>(outline.size() / 2);
    if (SweepSegmentOutline(segment, pen_width, pen_width, kSweepOctagonalPen, outline, room) !=
        kSweepDone) {
      continue;  // a segment of no length
    }
    whole = cutter.Cut(std::span(outline).first(2 * size_t(room)), layer, quads) && whole;
  }
  return whole;
}

}  // namespace kavrinth
