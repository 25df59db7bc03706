// The rectangles of a covered shape in a packed tree of boxes: each rectangle is given a
// box that every point InConvexQuad accepts lies in, the boxes are packed into tiles of
// neighbours and the tiles into nodes, and a flash is tested only against the rectangles
// whose box holds it.
#include "companions/converter/rectangle_index.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
  order_.clear();
  levels_.clear();
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
RectangleIndex::Box RectangleIndex::Reach(const std::array<CoverPoint, 4>& q) const {
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
  const Box everywhere = {-kInfinity, -kInfinity, kInfinity, kInfinity};

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
  Box box = {c.x - radius, c.y - radius, c.x + radius, c.y + radius};

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
  Box strips = {kInfinity, kInfinity, -kInfinity, -kInfinity};
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

void RectangleIndex::Build() {
  levels_.clear();
  const size_t n = rectangles_.size();
  order_.resize(n);
  for (size_t i = 0; i < n; ++i) order_[i] = static_cast<uint32_t>(i);
  if (n == 0) return;
  // Tiles: the boxes in slices by the x of their centre, each slice by the y.
  // A box without bounds sorts as though centred at the origin.
  auto middle = [](double low, double high) {
    const double m = low / 2 + high / 2;
    return std::isfinite(m) ? m : 0.0;
  };
  auto centre_x = [&](uint32_t i) { return middle(reach_[i].x_min, reach_[i].x_max); };
  auto centre_y = [&](uint32_t i) { return middle(reach_[i].y_min, reach_[i].y_max); };
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
  std::vector<Box> children;
  children.reserve(n);
  for (uint32_t i : order_) children.push_back(reach_[i]);
  std::vector<Level> upwards;
  while (upwards.empty() || children.size() > kFanout) {
    Level level;
    for (size_t begin = 0; begin < children.size(); begin += kFanout) {
      const size_t end = std::min(children.size(), begin + kFanout);
      Box box = children[begin];
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

bool RectangleIndex::Holds(const PgOutputFlash& flash) const {
  const double half_w = flash.w / 2.0, half_h = flash.h / 2.0;
  const std::array<CoverPoint, 4> corners = {CoverPoint{flash.x - half_w, flash.y - half_h},
                                             CoverPoint{flash.x + half_w, flash.y - half_h},
                                             CoverPoint{flash.x + half_w, flash.y + half_h},
                                             CoverPoint{flash.x - half_w, flash.y + half_h}};
  if (levels_.empty()) return false;
  const Box box = {corners[0].x, corners[0].y, corners[2].x, corners[2].y};
  for (uint32_t node = 0; node < levels_[0].boxes.size(); ++node) {
    if (Holds(box, corners, 0, node)) return true;
  }
  return false;
}

bool RectangleIndex::Holds(const Box& flash, const std::array<CoverPoint, 4>& corners, size_t level,
                           uint32_t node) const {
  const Level& here = levels_[level];
  const Box& reach = here.boxes[node];
  if (flash.x_min < reach.x_min || flash.y_min < reach.y_min || flash.x_max > reach.x_max ||
      flash.y_max > reach.y_max) {
    return false;
  }
  const uint32_t first = here.first_child[node], end = here.first_child[node + 1];
  if (level + 1 < levels_.size()) {
    for (uint32_t child = first; child < end; ++child) {
      if (Holds(flash, corners, level + 1, child)) return true;
    }
    return false;
  }
  for (uint32_t leaf = first; leaf < end; ++leaf) {
    const uint32_t i = order_[leaf];
    const Box& own = reach_[i];
    if (flash.x_min < own.x_min || flash.y_min < own.y_min || flash.x_max > own.x_max ||
        flash.y_max > own.y_max) {
      continue;
    }
    if (std::all_of(corners.begin(), corners.end(),
                    [&](CoverPoint p) { return InConvexQuad(rectangles_[i], p, slack_); })) {
      return true;
    }
  }
  return false;
}

}  // namespace kavrinth
