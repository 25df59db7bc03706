// The packed tree of boxes, and the two indexes of a covered shape over it: each
// rectangle is given a box that every point InConvexQuad accepts lies in, so that a flash
// is tested only against the rectangles whose box holds it; each flash its bounding box,
// so that a piece is tested only against the flashes whose box overlaps its own.
#include "companions/converter/cover_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace kavrinth {
namespace {

// Children of a node of the tree.
constexpr size_t kFanout = 16;
// Below this the sides of a rectangle are taken as not bounding it in every direction,
// and it may hold a flash anywhere (a rectangle without height does, along its line).
constexpr double kLeastSpread = 1e-3;
// Two sides meeting at less than this sine are not taken to cross for a tight box.
constexpr double kLeastCrossing = 0.5;
// Widening of every box for the rounding of the computations, relative to its
// coordinates; far beyond what double arithmetic loses.
constexpr double kRounding = 1e-6;

struct Side {
  bool present = false;
  double nx = 0, ny = 0;  // unit normal: the side's value at p is n . (p - c) + at_centre
  double at_centre = 0;   // the side's value at the centre, as InConvexQuad measures it
};

}  // namespace

bool InConvexQuad(const std::array<CoverPoint, 4>& q, CoverPoint p, double slack) {
  int sign = 0;
  for (size_t i = 0; i < 4; ++i) {
    const CoverPoint a = q[i], b = q[(i + 1) % 4];
    const double length = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
    if (length == 0) continue;
    const double side = ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / length;
    if (std::fabs(side) <= slack) continue;
    const int s = side > 0 ? 1 : -1;
    if (sign != 0 && s != sign) return false;
    sign = s;
  }
  return true;
}

void RectangleIndex::Clear(double slack) {
  slack_ = slack;
  rectangles_.clear();
  reach_.clear();
  tree_.Build({});
}

void RectangleIndex::Add(const std::array<CoverPoint, 4>& rectangle) {
  rectangles_.push_back(rectangle);
  reach_.push_back(Reach(rectangle));
}

// A point p is accepted when every side's value s_k(p) is at least -slack (all on the
// inner side or near it) or every one at most slack. Each s_k is affine in p with a
// unit normal n_k, s_k(p) = s_k(c) + n_k . (p - c) about the centre c. The normals
// spread round the circle: in every direction u some n_k . u <= -spread and some
// n_k . u >= spread, so along u the accepted points end within
// (slack + max |s_k(c)|) / spread of c. For a rectangle, whose opposite sides have
// normals that nearly cancel, s_k + s_opposite hardly changes over that distance, which
// bounds each s_k from both sides: two strips across each other, a tight box.
CoverBox RectangleIndex::Reach(const std::array<CoverPoint, 4>& q) const {
  const CoverPoint c = {(q[0].x + q[1].x + q[2].x + q[3].x) / 4,
                        (q[0].y + q[1].y + q[2].y + q[3].y) / 4};
  Side sides[4];
  double largest = 0;
  for (size_t k = 0; k < 4; ++k) {
    const CoverPoint a = q[k], b = q[(k + 1) % 4];
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0) continue;
    sides[k] = {true, -dy / length, dx / length, (dx * (c.y - a.y) - dy * (c.x - a.x)) / length};
    largest = std::max(largest, std::fabs(sides[k].at_centre));
  }
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  const CoverBox everywhere = {-kInfinity, -kInfinity, kInfinity, kInfinity};

  // The spread: the least, over directions u, of the largest -n_k . u, found where two
  // of those values meet (or at a normal itself).
  auto largest_against = [&](double ux, double uy) {
    double most = -kInfinity;
    for (const Side& s : sides) {
      if (s.present) most = std::max(most, -(s.nx * ux + s.ny * uy));
    }
    return most;
  };
  // Without a side every point is accepted.
  double spread = -kInfinity;
  bool first = true;
  for (size_t i = 0; i < 4; ++i) {
    if (!sides[i].present) continue;
    const double at_normal = largest_against(sides[i].nx, sides[i].ny);
    spread = first ? at_normal : std::min(spread, at_normal);
    first = false;
    for (size_t j = i + 1; j < 4; ++j) {
      if (!sides[j].present) continue;
      const double wx = sides[i].nx - sides[j].nx, wy = sides[i].ny - sides[j].ny;
      const double w = std::hypot(wx, wy);
      if (w == 0) continue;
      spread = std::min(spread, largest_against(-wy / w, wx / w));
      spread = std::min(spread, largest_against(wy / w, -wx / w));
    }
  }
  if (!(spread >= kLeastSpread)) return everywhere;
  const double margin = kRounding * (1 + std::fabs(c.x) + std::fabs(c.y) + largest / spread);
  const double radius = (slack_ + largest) / spread * (1 + kRounding) + margin;
  CoverBox box = {c.x - radius, c.y - radius, c.x + radius, c.y + radius};

  if (!(sides[0].present && sides[1].present && sides[2].present && sides[3].present)) return box;
  const double crossing = sides[0].nx * sides[1].ny - sides[0].ny * sides[1].nx;
  if (!(std::fabs(crossing) >= kLeastCrossing)) return box;
  // The range of n_k . (p - c) for k = 0 and 1, from the side and its opposite.
  double low[2], high[2];
  for (size_t k = 0; k < 2; ++k) {
    const Side& s = sides[k];
    const Side& opposite = sides[k + 2];
    const double drift = std::hypot(s.nx + opposite.nx, s.ny + opposite.ny) * radius;
    const double sum = s.at_centre + opposite.at_centre;
    low[k] = std::min(-slack_, sum - drift - slack_) - margin - s.at_centre;
    high[k] = std::max(slack_, sum + drift + slack_) + margin - s.at_centre;
  }
  CoverBox strips = {kInfinity, kInfinity, -kInfinity, -kInfinity};
  for (double alpha : {low[0], high[0]}) {
    for (double beta : {low[1], high[1]}) {
      const double x = c.x + (alpha * sides[1].ny - beta * sides[0].ny) / crossing;
      const double y = c.y + (beta * sides[0].nx - alpha * sides[1].nx) / crossing;
      strips = {std::min(strips.x_min, x), std::min(strips.y_min, y), std::max(strips.x_max, x),
                std::max(strips.y_max, y)};
    }
  }
  return {std::max(box.x_min, strips.x_min - margin), std::max(box.y_min, strips.y_min - margin),
          std::min(box.x_max, strips.x_max + margin), std::min(box.y_max, strips.y_max + margin)};
}

void BoxTree::Build(const std::vector<CoverBox>& boxes) {
  boxes_ = boxes;
  levels_.clear();
  const size_t n = boxes_.size();
  order_.resize(n);
  for (size_t i = 0; i < n; ++i) order_[i] = static_cast<uint32_t>(i);
  if (n == 0) return;
  // Tiles: the boxes in slices by the x of their centre, each slice by the y. A box
  // without bounds sorts as though centred at the origin.
  auto middle = [](double low, double high) {
    const double m = low / 2 + high / 2;
    return std::isfinite(m) ? m : 0.0;
  };
  auto centre_x = [&](uint32_t i) { return middle(boxes_[i].x_min, boxes_[i].x_max); };
  auto centre_y = [&](uint32_t i) { return middle(boxes_[i].y_min, boxes_[i].y_max); };
  const size_t tiles = (n + kFanout - 1) / kFanout;
  const auto slices = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(tiles))));
  const size_t per_slice = ((tiles + slices - 1) / slices) * kFanout;
  std::stable_sort(order_.begin(), order_.end(),
                   [&](uint32_t a, uint32_t b) { return centre_x(a) < centre_x(b); });
  for (size_t begin = 0; begin < n; begin += per_slice) {
    const auto first = order_.begin() + static_cast<ptrdiff_t>(begin);
    const auto last = order_.begin() + static_cast<ptrdiff_t>(std::min(n, begin + per_slice));
    std::stable_sort(first, last,
                     [&](uint32_t a, uint32_t b) { return centre_y(a) < centre_y(b); });
  }

  // Levels from the leaves up: runs of kFanout children, each node the box of its run.
  std::vector<CoverBox> children;
  children.reserve(n);
  for (uint32_t i : order_) children.push_back(boxes_[i]);
  std::vector<Level> upwards;
  while (upwards.empty() || children.size() > kFanout) {
    Level level;
    for (size_t begin = 0; begin < children.size(); begin += kFanout) {
      const size_t end = std::min(children.size(), begin + kFanout);
      CoverBox box = children[begin];
      for (size_t i = begin + 1; i < end; ++i) {
        box = {std::min(box.x_min, children[i].x_min), std::min(box.y_min, children[i].y_min),
               std::max(box.x_max, children[i].x_max), std::max(box.y_max, children[i].y_max)};
      }
      level.boxes.push_back(box);
      level.first_child.push_back(static_cast<uint32_t>(begin));
    }
    level.first_child.push_back(static_cast<uint32_t>(children.size()));
    children = level.boxes;
    upwards.push_back(std::move(level));
  }
  levels_.assign(std::make_move_iterator(upwards.rbegin()),
                 std::make_move_iterator(upwards.rend()));
}

void RectangleIndex::Build() { tree_.Build(reach_); }

bool RectangleIndex::Holds(const PgOutputFlash& flash) const {
  const double half_w = flash.w / 2.0, half_h = flash.h / 2.0;
  const std::array<CoverPoint, 4> corners = {CoverPoint{flash.x - half_w, flash.y - half_h},
                                             CoverPoint{flash.x + half_w, flash.y - half_h},
                                             CoverPoint{flash.x + half_w, flash.y + half_h},
                                             CoverPoint{flash.x - half_w, flash.y + half_h}};
  const CoverBox box = {corners[0].x, corners[0].y, corners[2].x, corners[2].y};
  auto holds_box = [&](const CoverBox& reach) {
    return box.x_min >= reach.x_min && box.y_min >= reach.y_min && box.x_max <= reach.x_max &&
           box.y_max <= reach.y_max;
  };
  return tree_.Any(holds_box, [&](uint32_t i) {
    return std::all_of(corners.begin(), corners.end(),
                       [&](CoverPoint p) { return InConvexQuad(rectangles_[i], p, slack_); });
  });
}

namespace {

// Overlaps thinner than this, in raw units, are taken as touching: far more than the
// rounding of raw coordinates, far less than any raw unit.
constexpr double kTouching = 1e-6;

CoverBox BoxOf(const std::array<CoverPoint, 4>& corners) {
  CoverBox box = {corners[0].x, corners[0].y, corners[0].x, corners[0].y};
  for (const CoverPoint& p : corners) {
    box = {std::min(box.x_min, p.x), std::min(box.y_min, p.y), std::max(box.x_max, p.x),
           std::max(box.y_max, p.y)};
  }
  return box;
}

// Whether a side of a or of b separates them: the two convex outlines then share no
// area, though they may touch.
bool Separated(const std::array<CoverPoint, 4>& a, const std::array<CoverPoint, 4>& b) {
  for (const auto* outline : {&a, &b}) {
    for (size_t k = 0; k < 4; ++k) {
      const CoverPoint p = (*outline)[k], q = (*outline)[(k + 1) % 4];
      const double length = std::hypot(q.x - p.x, q.y - p.y);
      if (length == 0) continue;
      const double nx = -(q.y - p.y) / length, ny = (q.x - p.x) / length;
      double a_low = std::numeric_limits<double>::infinity(), a_high = -a_low;
      double b_low = a_low, b_high = a_high;
      for (size_t i = 0; i < 4; ++i) {
        const double on_a = a[i].x * nx + a[i].y * ny, on_b = b[i].x * nx + b[i].y * ny;
        a_low = std::min(a_low, on_a);
        a_high = std::max(a_high, on_a);
        b_low = std::min(b_low, on_b);
        b_high = std::max(b_high, on_b);
      }
      if (std::min(a_high, b_high) - std::max(a_low, b_low) <= kTouching) return true;
    }
  }
  return false;
}

}  // namespace

void FlashIndex::Build(const std::vector<PgOutputFlash>& flashes, double reach) {
  reach_ = reach;
  placed_.clear();
  corners_.clear();
  std::vector<CoverBox> boxes;
  boxes.reserve(flashes.size());
  for (const PgOutputFlash& f : flashes) {
    // cos(0) and sin(0) are 1 and 0 exactly, so axis-parallel flashes keep their sides.
    const double radians = f.angle / 1800.0 * std::numbers::pi;
    const double c = f.angle == 0 ? 1 : std::cos(radians), s = f.angle == 0 ? 0 : std::sin(radians);
    const double ux = c * f.w / 2, uy = s * f.w / 2, vx = -s * f.h / 2, vy = c * f.h / 2;
    placed_.push_back({double(f.x), double(f.y), c, s, f.w / 2.0, f.h / 2.0});
    corners_.push_back(
        {CoverPoint{f.x - ux - vx, f.y - uy - vy}, CoverPoint{f.x + ux - vx, f.y + uy - vy},
         CoverPoint{f.x + ux + vx, f.y + uy + vy}, CoverPoint{f.x - ux + vx, f.y - uy + vy}});
    const CoverBox box = BoxOf(corners_.back());
    boxes.push_back({box.x_min - reach, box.y_min - reach, box.x_max + reach, box.y_max + reach});
  }
  tree_.Build(boxes);
}

bool FlashIndex::Meets(const std::array<CoverPoint, 4>& piece) const {
  const CoverBox own = BoxOf(piece);
  auto overlaps = [&](const CoverBox& box) {
    return box.x_min < own.x_max - kTouching && box.x_max > own.x_min + kTouching &&
           box.y_min < own.y_max - kTouching && box.y_max > own.y_min + kTouching;
  };
  return tree_.Any(overlaps, [&](uint32_t i) { return !Separated(corners_[i], piece); });
}

bool FlashIndex::Near(CoverPoint p) const {
  auto holds = [&](const CoverBox& box) {
    return p.x >= box.x_min && p.x <= box.x_max && p.y >= box.y_min && p.y <= box.y_max;
  };
  return tree_.Any(holds, [&](uint32_t i) {
    // The distance from p to the flash, in the flash's own axes.
    const Placed& f = placed_[i];
    const double dx = p.x - f.x, dy = p.y - f.y;
    const double along = std::fabs(dx * f.cosine + dy * f.sine) - f.half_w;
    const double across = std::fabs(dy * f.cosine - dx * f.sine) - f.half_h;
    return std::hypot(std::max(along, 0.0), std::max(across, 0.0)) <= reach_;
  });
}

bool FlashIndex::Covers(const std::array<CoverPoint, 4>& piece) const {
  const CoverPoint centre = {(piece[0].x + piece[1].x + piece[2].x + piece[3].x) / 4,
                             (piece[0].y + piece[1].y + piece[2].y + piece[3].y) / 4};
  if (!Near(centre)) return false;
  // A piece that some flash shares area with is part of the cover where it is; one that
  // none does may be a sliver beside the cover, or one that leads away from it.
  const bool met = Meets(piece);
  for (size_t k = 0; k < 4; ++k) {
    const CoverPoint a = piece[k], b = piece[(k + 1) % 4];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const double steps =
        met || !(reach_ > 0) ? 2 : std::min(std::ceil(length / reach_), double{1 << 20});
    for (double step = 0; step < steps; ++step) {
      const double t = step / steps;
      if (!Near({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)})) return false;
    }
  }
  return true;
}

}  // namespace kavrinth
