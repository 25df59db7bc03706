// Flash cover of Intermediate shapes: rectangle recognition, sector outlines, and the
// strip sweep that fills a polygon with axis-parallel flashes on the cover grid, each
// strip cut where the shape's edges cross its middle so that the staircase straddles them.
#include "companions/converter/flash_cover.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kavrinth {
namespace {

// Shapes must stay well inside 32 bits so that every flash side and centre fits.
constexpr double kMaxCoordinate = 1.0e9;
// The smallest tolerance honoured, in raw units: flashes sit on a 2-unit grid.
constexpr double kMinTolerance = 2 * kCoverGrid;
// How far the rounding of a staircase to the grid may move its outline, beyond the strip's
// own corner error.
constexpr double kSnapAllowance = kCoverGrid + 0.5;
constexpr double kPi = 3.14159265358979323846;
// Arcs are never cut coarser than an eighth of a turn, so that outlines keep their shape,
// nor finer than this many segments.
constexpr double kMaxArcStep = kPi / 4;
constexpr int kMaxArcSegments = 1 << 16;
// Up to this many edges, shared ones are found by trying every pair.
constexpr size_t kFewEdges = 32;
// Values that differ by less than this are taken as equal when rounding to the grid.
constexpr double kGridSlack = 1e-6;

double FloorGrid(double v) { return kCoverGrid * std::floor(v / kCoverGrid + kGridSlack); }
double NearestGrid(double v) { return kCoverGrid * std::floor(v / kCoverGrid + 0.5); }
// The nearest grid line; a value halfway between two goes up or down as `up` says, so
// that strips that alternate keep no bias to either side.
double NearestGrid(double v, bool up) {
  const double q = v / kCoverGrid, below = std::floor(q);
  if (std::fabs(q - below - 0.5) < kGridSlack) return kCoverGrid * (up ? below + 1 : below);
  return kCoverGrid * std::floor(q + 0.5);
}

// std::llround without the call for the values below 2^52, whose integer part and
// fraction are exact.
long long RoundHalfAway(double v) {
  if (!(std::fabs(v) < 4503599627370496.0)) return std::llround(v);
  auto whole = static_cast<long long>(v);
  const double fraction = v - static_cast<double>(whole);
  return whole + (fraction >= 0.5) - (fraction <= -0.5);
}

bool InRange(CoverPoint p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) <= kMaxCoordinate &&
         std::fabs(p.y) <= kMaxCoordinate;
}

double Distance(CoverPoint a, CoverPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }
// Distance(a, b) == 0 without the square root.
bool SamePoint(CoverPoint a, CoverPoint b) { return a.x - b.x == 0 && a.y - b.y == 0; }

// The four corners of a rectangle of centre c, sides w (along the unit direction d) and
// h, in the order of a quadrilateral p0..p3 turning counter-clockwise (turn = 1) or
// clockwise (turn = -1).
std::array<CoverPoint, 4> RectangleCorners(CoverPoint c, double dx, double dy, double w, double h,
                                           double turn) {
  const double nx = -dy * turn, ny = dx * turn;
  const double signs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  std::array<CoverPoint, 4> corners;
  for (int i = 0; i < 4; ++i) {
    corners[i] = {c.x + signs[i][0] * w / 2 * dx + signs[i][1] * h / 2 * nx,
                  c.y + signs[i][0] * w / 2 * dy + signs[i][1] * h / 2 * ny};
  }
  return corners;
}

// The largest distance from a corner of a to the nearest corner of b.
double CornerDeviation(const std::array<CoverPoint, 4>& a, const std::array<CoverPoint, 4>& b) {
  double worst = 0;
  for (const CoverPoint& p : a) {
    double nearest = std::numeric_limits<double>::infinity();
    for (const CoverPoint& q : b) nearest = std::min(nearest, Distance(p, q));
    worst = std::max(worst, nearest);
  }
  return worst;
}

// How far an edge may lie from where the shape has it and still count as unmoved, in raw
// units: the rounding of the arithmetic that placed it.
constexpr double kExactSlack = 1e-6;

// A side from lo to hi along one axis as a flash's centre and size in whole raw units,
// which put its edges at centre -+ size / 2. The farther edge moves by |dc| + |ds| / 2, dc
// and ds being what the centre and the size move, so the pair that moves it least is the
// centre and the size each taken to the nearest whole unit: an odd size keeps the edges on
// half units, an even one on whole units. The size is 0 when the side rounds to nothing.
// Returns how far the farther edge moved.
double PlaceSpan(double lo, double hi, int32_t* centre, int32_t* size) {
  const double exact_centre = (lo + hi) / 2, exact_size = hi - lo;
  const long long c = RoundHalfAway(exact_centre), s = RoundHalfAway(exact_size);
  *centre = static_cast<int32_t>(c);
  *size = static_cast<int32_t>(s);
  const double far = std::fabs(c - exact_centre) + std::fabs(s - exact_size) / 2;
  return far <= kExactSlack ? 0 : far;
}

// CornerDeviation squared, without a square root per pair of corners.
double CornerDeviationSquared(const std::array<CoverPoint, 4>& a,
                              const std::array<CoverPoint, 4>& b) {
  double worst = 0;
  for (const CoverPoint& p : a) {
    double nearest = std::numeric_limits<double>::infinity();
    for (const CoverPoint& q : b) {
      const double dx = p.x - q.x, dy = p.y - q.y;
      nearest = std::min(nearest, dx * dx + dy * dy);
    }
    worst = std::max(worst, nearest);
  }
  return worst;
}

bool AllFinite(const std::array<CoverPoint, 4>& points) {
  return std::all_of(points.begin(), points.end(),
                     [](CoverPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); });
}

// Where CornerDeviation(a, b) lies against the limit, told from squared distances
// without the sixteen square roots (every quadrilateral asks this twice): 1 beyond it,
// -1 within it, 0 when unsure. Their rounding is far below the margin kept around the
// limit, so a sure answer is the one the exact distances give; a deviation that close
// to the limit, points that are not finite and a limit whose square leaves the normal
// range are unsure, and the callers then take the exact distances.
int DeviationSide(const std::array<CoverPoint, 4>& a, const std::array<CoverPoint, 4>& b,
                  double limit) {
  constexpr double kMargin = 1e-9;
  constexpr double kSmallestSquare = 1e-280;
  const double limit_squared = limit * limit;
  if (!std::isfinite(limit_squared) || !(limit_squared > kSmallestSquare)) return 0;
  const double within = limit_squared * (1 - kMargin);
  // Each corner of a close enough to the corner of b at the same place (the usual case:
  // b was made in a's order) decides "within" from four distances, as a corner's nearest
  // distance is no larger. A distance below the bound also shows both corners finite.
  bool paired = true;
  for (size_t i = 0; i < 4; ++i) {
    const double dx = a[i].x - b[i].x, dy = a[i].y - b[i].y;
    paired &= dx * dx + dy * dy < within;
  }
  if (paired) return -1;
  if (!AllFinite(a) || !AllFinite(b)) return 0;
  const double worst = CornerDeviationSquared(a, b);
  if (worst > limit_squared * (1 + kMargin)) return 1;
  if (worst < within) return -1;
  return 0;
}

}  // namespace

bool CornerDeviationBeyond(const std::array<CoverPoint, 4>& a, const std::array<CoverPoint, 4>& b,
                           double limit) {
  const int side = DeviationSide(a, b, limit);
  return side != 0 ? side > 0 : CornerDeviation(a, b) > limit;
}
bool CornerDeviationWithin(const std::array<CoverPoint, 4>& a, const std::array<CoverPoint, 4>& b,
                           double limit) {
  const int side = DeviationSide(a, b, limit);
  return side != 0 ? side < 0 : CornerDeviation(a, b) <= limit;
}

FlashCoverer::FlashCoverer(double tolerance, double rectangle_slack)
    : tolerance_(std::max(tolerance, kMinTolerance)),
      strip_tolerance_(0),
      arc_tolerance_(0),
      rectangle_slack_(std::max(rectangle_slack, 0.0)) {
  arc_tolerance_ = tolerance_ / 4;
  strip_tolerance_ = std::max(tolerance_ - arc_tolerance_ - kSnapAllowance, 0.0);
}

// ---- Rectangles ----

FlashCoverer::Rectangle FlashCoverer::OneFlash(const std::array<CoverPoint, 4>& p,
                                               PgOutputFlash* flash,
                                               FlashPlacement* placement) const {
  // The best rectangle through the four corners: centre, side vectors u (p0 -> p1) and
  // v (p1 -> p2) averaged over the opposite sides.
  const CoverPoint c = {(p[0].x + p[1].x + p[2].x + p[3].x) / 4,
                        (p[0].y + p[1].y + p[2].y + p[3].y) / 4};
  const double ux = (p[1].x - p[0].x + p[2].x - p[3].x) / 2;
  const double uy = (p[1].y - p[0].y + p[2].y - p[3].y) / 2;
  const double vx = (p[3].x - p[0].x + p[2].x - p[1].x) / 2;
  const double vy = (p[3].y - p[0].y + p[2].y - p[1].y) / 2;
  // hypot(x, 0) is |x| exactly; a side along the x axis needs no call.
  const double w = uy == 0 ? std::fabs(ux) : std::hypot(ux, uy);
  if (w == 0 || SamePoint(p[2], p[3])) return Rectangle::kNot;
  const double dx = ux / w, dy = uy / w;
  const double turn = dx * vy - dy * vx >= 0 ? 1 : -1;
  const double h = std::fabs(-dy * vx + dx * vy);
  if (CornerDeviationBeyond(p, RectangleCorners(c, dx, dy, w, h, turn), rectangle_slack_)) {
    return Rectangle::kNot;
  }

  // The flash: the angle in tenths of a degree within [0, 90), the sides swapped when
  // the angle is turned back by a quarter; centre and sides rounded to raw units.
  // A side along the positive x axis has the angle 0 (atan2(0, x > 0) is 0 exactly).
  int32_t tenths = 0;
  if (dy != 0 || !(dx > 0)) {
    const double degrees = std::atan2(dy, dx) * 180 / kPi;
    tenths = static_cast<int32_t>(RoundHalfAway(std::fmod(degrees + 360, 180) * 10)) % 1800;
  }
  double along = w, across = h;
  if (tenths >= 900) {
    tenths -= 900;
    std::swap(along, across);
  }
  flash->angle = tenths;
  if (tenths == 0) {
    // Along the axes the centre and the side of each direction are chosen together, so
    // that the edges stay where the shape has them whenever the raw unit can hold them.
    const double x_move = PlaceSpan(c.x - along / 2, c.x + along / 2, &flash->x, &flash->w);
    const double y_move = PlaceSpan(c.y - across / 2, c.y + across / 2, &flash->y, &flash->h);
    if (flash->w == 0 || flash->h == 0) return Rectangle::kTooSmall;
    // The corner that moves most pairs the x edge and the y edge that moved most.
    const double move = std::sqrt(x_move * x_move + y_move * y_move);
    if (move > tolerance_) return Rectangle::kTooCoarse;
    if (placement != nullptr) *placement = {move > kExactSlack ? move : 0, true};
    return Rectangle::kFlash;
  }
  flash->x = static_cast<int32_t>(RoundHalfAway(c.x));
  flash->y = static_cast<int32_t>(RoundHalfAway(c.y));
  flash->w = static_cast<int32_t>(RoundHalfAway(along));
  flash->h = static_cast<int32_t>(RoundHalfAway(across));
  if (flash->w == 0 || flash->h == 0) return Rectangle::kTooSmall;

  // The rounded flash must still match the shape within the tolerance.
  const double radians = tenths / 1800.0 * kPi;
  const auto corners =
      RectangleCorners({static_cast<double>(flash->x), static_cast<double>(flash->y)},
                       std::cos(radians), std::sin(radians), flash->w, flash->h, 1);
  if (!CornerDeviationWithin(p, corners, tolerance_)) return Rectangle::kTooCoarse;
  if (placement != nullptr) {
    // A turned flash rarely meets the shape's corners; what the data's own rounding
    // explains is no move.
    // A corner within half the shorter side of the flash's corner of the same place has
    // no nearer one: then those four distances decide.
    double paired = 0;
    for (size_t i = 0; i < 4; ++i) {
      const double dx = p[i].x - corners[i].x, dy = p[i].y - corners[i].y;
      paired = std::max(paired, dx * dx + dy * dy);
    }
    const double half_side = std::min(flash->w, flash->h) / 2.0;
    const double move =
        std::sqrt(paired < half_side * half_side ? paired : CornerDeviationSquared(p, corners));
    *placement = {move > rectangle_slack_ ? move : 0, false};
  }
  return Rectangle::kFlash;
}

CoverResult FlashCoverer::CoverQuadrilateral(const std::array<CoverPoint, 4>& corners,
                                             std::vector<PgOutputFlash>* out) {
  for (const CoverPoint& p : corners) {
    if (!InRange(p)) return CoverResult::kOutOfRange;
  }
  PgOutputFlash flash;
  switch (OneFlash(corners, &flash, &placement_)) {
    case Rectangle::kFlash:
      out->push_back(flash);
      return CoverResult::kOneFlash;
    case Rectangle::kTooSmall:
      return CoverResult::kTooSmall;
    case Rectangle::kNot:
    case Rectangle::kTooCoarse:
      break;
  }
  bool triangle = SamePoint(corners[2], corners[3]);
  ring_.assign(corners.begin(), corners.end() - (triangle ? 1 : 0));
  ring_ends_.assign(1, ring_.size());
  return CoverPolygon(ring_, ring_ends_, out);
}

bool FlashCoverer::IsRectangle(const std::array<CoverPoint, 4>& corners) const {
  PgOutputFlash flash;
  const Rectangle kind = OneFlash(corners, &flash, nullptr);
  return kind == Rectangle::kFlash || kind == Rectangle::kTooSmall;
}

bool FlashCoverer::CornersInRange(const std::array<CoverPoint, 4>& corners) {
  return std::all_of(corners.begin(), corners.end(), [](CoverPoint p) { return InRange(p); });
}

CoverResult FlashCoverer::CoverQuadrilaterals(const std::vector<std::array<CoverPoint, 4>>& quads,
                                              std::vector<PgOutputFlash>* out) {
  // Every piece turned counter-clockwise, so that pieces that meet have their common
  // edge in opposite directions and their union is the nonzero winding of all of them.
  group_points_.clear();
  group_ends_.clear();
  for (const auto& quad : quads) {
    if (!CornersInRange(quad)) return CoverResult::kOutOfRange;
    double twice_area = 0;
    for (size_t i = 0; i < 4; ++i) {
      const CoverPoint a = quad[i], b = quad[(i + 1) % 4];
      twice_area += a.x * b.y - b.x * a.y;
    }
    if (twice_area == 0) continue;
    if (twice_area > 0) {
      group_points_.insert(group_points_.end(), quad.begin(), quad.end());
    } else {
      group_points_.insert(group_points_.end(), quad.rbegin(), quad.rend());
    }
    group_ends_.push_back(group_points_.size());
  }
  if (group_ends_.empty()) return CoverResult::kEmpty;
  drop_shared_edges_ = true;
  const CoverResult result = CoverPolygon(group_points_, group_ends_, out);
  drop_shared_edges_ = false;
  return result;
}

// ---- Sectors ----

void FlashCoverer::AppendArc(CoverPoint centre, double radius, double start, double sweep,
                             double tolerance, bool closed) {
  // The arc becomes chords whose corners lie outside the circle and whose middles lie
  // inside it: the outline straddles the arc, each chord's triangle from the centre has
  // the area of its slice of the circle, and with a sagitta of at most 1.5 times the
  // tolerance no point strays further than the tolerance either way.
  double step =
      1.5 * tolerance < radius ? 2 * std::acos(1 - 1.5 * tolerance / radius) : kMaxArcStep;
  step = std::clamp(step, 1e-9, kMaxArcStep);
  const int segments = static_cast<int>(
      std::clamp(std::ceil(std::fabs(sweep) / step), 1.0, static_cast<double>(kMaxArcSegments)));
  const double delta = sweep / segments;
  const double corner_radius = radius * std::sqrt(std::fabs(delta) / std::sin(std::fabs(delta)));
  for (int i = 0; i < segments + (closed ? 0 : 1); ++i) {
    const double angle = start + i * delta;
    ring_.push_back(
        {centre.x + corner_radius * std::cos(angle), centre.y + corner_radius * std::sin(angle)});
  }
}

CoverResult FlashCoverer::CoverSector(CoverPoint centre, CoverPoint outer_start,
                                      double inner_radius, double sweep_degrees,
                                      std::vector<PgOutputFlash>* out) {
  const double outer = Distance(centre, outer_start);
  const double inner = std::max(inner_radius, 0.0);
  if (!InRange(centre) || !InRange(outer_start) || !std::isfinite(inner) ||
      !std::isfinite(sweep_degrees) || !InRange({centre.x + outer, centre.y + outer}) ||
      !InRange({centre.x - outer, centre.y - outer})) {
    return CoverResult::kOutOfRange;
  }
  if (!(outer > inner) || !(sweep_degrees > 0)) return CoverResult::kEmpty;
  // The two outlines of a thin ring must not cross: each keeps within a quarter of the
  // ring's width of its arc.
  const double tolerance =
      inner > 0 ? std::min(arc_tolerance_, (outer - inner) / 4) : arc_tolerance_;

  const double start = std::atan2(outer_start.y - centre.y, outer_start.x - centre.x);
  const bool full = sweep_degrees >= 360;
  const double sweep = full ? 2 * kPi : sweep_degrees / 180 * kPi;
  ring_.clear();
  ring_ends_.clear();
  AppendArc(centre, outer, start, sweep, tolerance, full);
  if (full) {
    ring_ends_.push_back(ring_.size());
    if (inner > 0) AppendArc(centre, inner, start, -sweep, tolerance, true);
  } else if (inner > 0) {
    AppendArc(centre, inner, start + sweep, -sweep, tolerance, false);
  } else {
    ring_.push_back(centre);
  }
  if (ring_ends_.empty() || ring_ends_.back() != ring_.size()) ring_ends_.push_back(ring_.size());
  return CoverPolygon(ring_, ring_ends_, out);
}

// ---- The strip sweep ----

void FlashCoverer::BuildEdges(const std::vector<CoverPoint>& points,
                              const std::vector<size_t>& ring_ends) {
  edges_.clear();
  size_t begin = 0;
  for (size_t end : ring_ends) {
    const size_t n = end - begin;
    for (size_t i = 0; i < n; ++i) {
      const CoverPoint a = points[begin + i], b = points[begin + (i + 1) % n];
      if (a.x == b.x && a.y == b.y) continue;
      if (a.y == b.y) {  // level: kept left to right, the winding says which way it ran
        edges_.push_back(a.x < b.x ? Edge{a.x, a.y, b.x, b.y, 1} : Edge{b.x, b.y, a.x, a.y, -1});
      } else {
        edges_.push_back(a.y < b.y ? Edge{a.x, a.y, b.x, b.y, 1} : Edge{b.x, b.y, a.x, a.y, -1});
      }
    }
    begin = end;
  }
}

void FlashCoverer::DropSharedEdges() {
  // Two pieces that meet along a cut both have the cut as an edge, run in opposite
  // directions, with corners that may differ by the rounding of the data. Such a pair
  // adds nothing to the winding anywhere but within the rounding, yet each edge would
  // block the strips it crosses; both are dropped.
  const double slack = rectangle_slack_ + kGridSlack;
  auto partners = [slack](const Edge& e, const Edge& f) {
    return f.winding == -e.winding && std::fabs(f.x0 - e.x0) <= slack &&
           std::fabs(f.y0 - e.y0) <= slack && std::fabs(f.x1 - e.x1) <= slack &&
           std::fabs(f.y1 - e.y1) <= slack;
  };
  shared_.assign(edges_.size(), false);
  auto pair_up = [&](size_t i, size_t k) {
    if (k == i || shared_[k] || !partners(edges_[i], edges_[k])) return false;
    shared_[i] = shared_[k] = true;
    return true;
  };
  if (edges_.size() <= kFewEdges) {
    for (size_t i = 0; i < edges_.size(); ++i) {
      for (size_t k = i + 1; k < edges_.size() && !shared_[i]; ++k) pair_up(i, k);
    }
  } else {
    // Edges by the cell of their lower end, cells as wide as the slack: a partner lies
    // in one of the nine cells around an edge's own.
    cells_.clear();
    for (size_t i = 0; i < edges_.size(); ++i) {
      cells_.push_back({static_cast<int64_t>(std::floor(edges_[i].x0 / slack)),
                        static_cast<int64_t>(std::floor(edges_[i].y0 / slack)), i});
    }
    std::sort(cells_.begin(), cells_.end());
    for (const EdgeCell& own : cells_) {
      for (int n = 0; n < 9 && !shared_[own.edge]; ++n) {
        const EdgeCell probe{own.x + n % 3 - 1, own.y + n / 3 - 1, 0};
        auto j = std::lower_bound(cells_.begin(), cells_.end(), probe);
        for (; j != cells_.end() && j->x == probe.x && j->y == probe.y; ++j) {
          if (pair_up(own.edge, j->edge)) break;
        }
      }
    }
  }
  size_t kept = 0;
  for (size_t i = 0; i < edges_.size(); ++i) {
    if (!shared_[i]) edges_[kept++] = edges_[i];
  }
  edges_.resize(kept);
}

void FlashCoverer::AdvanceActive(double low, double high) {
  // Edges come in by their lower end and leave once they end below the strip, so each
  // strip only looks at the edges near it.
  std::erase_if(active_, [low](const Edge& e) { return e.y1 <= low; });
  while (next_edge_ < edges_.size() && edges_[next_edge_].y0 < high) {
    if (edges_[next_edge_].y1 > low) active_.push_back(edges_[next_edge_]);
    ++next_edge_;
  }
}

namespace {
double XAt(double x0, double y0, double x1, double y1, double y) {
  return y1 == y0 ? x0 : x0 + (y - y0) * (x1 - x0) / (y1 - y0);
}
}  // namespace

double FlashCoverer::StripHeight(double zone_low, double zone_high) const {
  // A strip of height h cut where an edge of slope k (dx/dy) crosses its middle leaves
  // corners h k / (2 sqrt(1 + k^2)) off the edge on either side: steep edges allow tall
  // strips, vertical ones any.
  double factor = std::numeric_limits<double>::infinity();
  for (const Edge& e : active_) {
    const double dy = e.y1 - e.y0;
    const bool crosses = dy > 0 ? std::min(zone_high, e.y1) - std::max(zone_low, e.y0) > 0
                                : e.y0 > zone_low && e.y0 < zone_high;
    if (!crosses) continue;
    const double k = dy > 0 ? std::fabs(e.x1 - e.x0) / dy : std::numeric_limits<double>::infinity();
    if (k == 0) continue;
    factor = std::min(factor, std::isinf(k) ? 1.0 : std::sqrt(1 + k * k) / k);
  }
  const double zone = zone_high - zone_low;
  if (std::isinf(factor)) return zone;
  return std::clamp(FloorGrid(2 * strip_tolerance_ * factor), kCoverGrid, zone);
}

void FlashCoverer::CoverStrip(double low, double high) {
  // The shape's extent across the strip is taken at its middle: where the edges cross
  // it, with the nonzero winding between the crossings. Each extent becomes a flash
  // whose sides are the crossings rounded to the grid, so the strip's corners stand out
  // of the shape as far as they fall short of it.
  const double middle = (low + high) / 2;
  crossings_.clear();
  for (const Edge& e : active_) {
    if (e.y0 == e.y1 || middle < e.y0 || middle >= e.y1) continue;
    crossings_.push_back({XAt(e.x0, e.y0, e.x1, e.y1, middle), e.winding});
  }
  std::sort(crossings_.begin(), crossings_.end(),
            [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
  next_open_.clear();
  open_cursor_ = 0;
  const bool up = static_cast<int64_t>(std::floor(low / kCoverGrid)) % 2 == 0;
  int winding = 0;
  double enter = 0;
  for (const Crossing& crossing : crossings_) {
    const int before = winding;
    winding += crossing.winding;
    if (before == 0 && winding != 0) enter = crossing.x;
    if (before == 0 || winding != 0) continue;
    const double left = NearestGrid(enter, up), right = NearestGrid(crossing.x, up);
    if (right - left >= kCoverGrid) AddStripFlash(left, right, low, high);
  }
  // Open flashes that no extent of this strip continued are finished.
  for (const OpenFlash& flash : open_) {
    if (!flash.continued) Emit(flash);
  }
  open_.swap(next_open_);
}

void FlashCoverer::AddStripFlash(double left, double right, double bottom, double top) {
  // Gaps come left to right, as do the open flashes of the strip below, which all end
  // where this strip begins.
  while (open_cursor_ < open_.size() && open_[open_cursor_].left < left) ++open_cursor_;
  if (open_cursor_ < open_.size()) {
    OpenFlash& below = open_[open_cursor_];
    if (below.left == left && below.right == right) {
      below.continued = true;
      next_open_.push_back({left, right, below.bottom, top, false});
      ++open_cursor_;
      return;
    }
  }
  next_open_.push_back({left, right, bottom, top, false});
}

void FlashCoverer::Emit(const OpenFlash& flash) {
  PgOutputFlash out;
  out.x = static_cast<int32_t>(std::llround((flash.left + flash.right) / 2));
  out.y = static_cast<int32_t>(std::llround((flash.bottom + flash.top) / 2));
  out.w = static_cast<int32_t>(std::llround(flash.right - flash.left));
  out.h = static_cast<int32_t>(std::llround(flash.top - flash.bottom));
  out_->push_back(out);
}

CoverResult FlashCoverer::CoverPolygon(const std::vector<CoverPoint>& points,
                                       const std::vector<size_t>& ring_ends,
                                       std::vector<PgOutputFlash>* out) {
  for (const CoverPoint& p : points) {
    if (!InRange(p)) return CoverResult::kOutOfRange;
  }
  BuildEdges(points, ring_ends);
  if (drop_shared_edges_) DropSharedEdges();
  if (edges_.empty()) return CoverResult::kEmpty;
  double y_min = edges_[0].y0, y_max = edges_[0].y1;
  for (const Edge& e : edges_) {
    y_min = std::min(y_min, e.y0);
    y_max = std::max(y_max, e.y1);
  }
  const double bottom = NearestGrid(y_min), top = NearestGrid(y_max);
  if (top - bottom < kCoverGrid) return CoverResult::kCovered;  // thinner than the grid

  // Zones between the vertex heights (on the grid), each cut into strips.
  events_.assign({bottom, top});
  for (const CoverPoint& p : points) {
    const double y = NearestGrid(p.y);
    if (y > bottom && y < top) events_.push_back(y);
  }
  std::sort(events_.begin(), events_.end());
  events_.erase(std::unique(events_.begin(), events_.end()), events_.end());

  out_ = out;
  open_.clear();
  std::sort(edges_.begin(), edges_.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
  active_.clear();
  next_edge_ = 0;
  for (size_t z = 0; z + 1 < events_.size(); ++z) {
    const double zone_low = events_[z], zone_high = events_[z + 1];
    AdvanceActive(zone_low, zone_high);
    const double step = StripHeight(zone_low, zone_high);
    for (double y = zone_low; y < zone_high; y += step) {
      const double high = std::min(y + step, zone_high);
      AdvanceActive(y, high);
      CoverStrip(y, high);
    }
  }
  for (const OpenFlash& flash : open_) Emit(flash);
  open_.clear();
  out_ = nullptr;
  return CoverResult::kCovered;
}

}  // namespace kavrinth
