// Trapezoid decomposition by a sweep over horizontal slabs, with the nonzero
// winding rule, trapezoids carried across slabs and corners rounded to PG units.
#include "companions/vantor/trapezoids.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kavrinth {
namespace {

// Products of coordinates need up to 108 bits.
using Wide = __int128;

// Where two edges cross inside a slab the slab is cut there, at a height raised
// to this grid (1/1024 database unit): every height stays exact in 64 bits,
// every slab is at least one grid step high, and what the grid costs is far
// below the rounding of the corners.
constexpr int64_t kGrid = 1024;

// Computed x values are within 1e-5 of the truth; a difference beyond this
// decides an order without the exact arithmetic.
constexpr double kSureGap = 1e-3;

// The smallest integer not below p / q, for q > 0.
Wide CeilDiv(Wide p, Wide q) { return p >= 0 ? (p + q - 1) / q : -((-p) / q); }

// std::round (half away from zero) without a call into the maths library: below 2^52
// the integer part and the fraction of a double are exact. -0.0 comes out as 0.0,
// which compares and converts the same.
double RoundHalfAway(double value) {
  if (!(std::fabs(value) < 4503599627370496.0)) return std::round(value);
  const auto whole = static_cast<double>(static_cast<int64_t>(value));
  const double fraction = value - whole;
  return whole + static_cast<double>(fraction >= 0.5) - static_cast<double>(fraction <= -0.5);
}

}  // namespace

DecomposeResult TrapezoidDecomposer::Decompose(std::span<const int32_t> xy, double scale,
                                               std::span<PgTrapezoid> table) {
  result_ = DecomposeResult{};
  scale_ = scale;
  table_ = table;
  BuildEdges(xy);
  if (SweepTwoEdges()) return result_;
  result_ = DecomposeResult{};
  active_.clear();
  open_.clear();
  next_edge_ = 0;
  open_by_left_.assign(edges_.size(), -1);
  if (event_ys_.size() < 2) return result_;

  int64_t y_low = event_ys_[0];
  size_t next_event = 1;
  while (next_event < event_ys_.size()) {
    int64_t y_high = event_ys_[next_event];
    AdvanceActive(y_low, y_high);
    int64_t crossing = FirstCrossing(y_low, y_high);
    if (crossing < y_high) {
      y_high = crossing;
      for (ActiveEdge& active : active_) active.x_high = XAt(active.edge, y_high);
    }
    CollectSpans(y_low, y_high);
    UpdateOpen(y_low);
    if (result_.status == DecomposeStatus::kTableFull) return result_;
    if (result_.filled + open_.size() > table_.size() && EmitOpenPastCapacity(y_high)) {
      return result_;
    }
    y_low = y_high;
    if (y_high == event_ys_[next_event]) ++next_event;
  }
  for (const OpenTrapezoid& open : open_) {
    if (!Emit(open.left, open.right, open.y_bottom, y_low)) break;
  }
  return result_;
}

// Non-horizontal edges, each stored bottom to top with the direction the ring
// runs along it, sorted by their bottom; and the distinct vertex heights.
void TrapezoidDecomposer::BuildEdges(std::span<const int32_t> xy) {
  edges_.clear();
  event_ys_.clear();
  size_t points = xy.size() / 2;
  for (size_t i = 0; i < points; ++i) {
    size_t j = i + 1 == points ? 0 : i + 1;
    int64_t x0 = xy[2 * i], y0 = xy[2 * i + 1], x1 = xy[2 * j], y1 = xy[2 * j + 1];
    if (y0 == y1) continue;
    int winding = y0 < y1 ? 1 : -1;
    if (y0 > y1) {
      std::swap(x0, x1);
      std::swap(y0, y1);
    }
    edges_.push_back({x0, y0 * kGrid, x1 - x0, y1 - y0, y1 * kGrid, winding});
    event_ys_.push_back(y0 * kGrid);
    event_ys_.push_back(y1 * kGrid);
  }
  std::sort(edges_.begin(), edges_.end(),
            [](const Edge& a, const Edge& b) { return a.y_bottom < b.y_bottom; });
  std::sort(event_ys_.begin(), event_ys_.end());
  event_ys_.erase(std::unique(event_ys_.begin(), event_ys_.end()), event_ys_.end());
}

// The common small polygon (a rectangle, a convex polygon, any ring that meets every
// slab in two edges that do not cross there) needs none of the general sweep's lists:
// it is one trapezoid open at a time, carried while its two edges go on. The steps
// and tests are those of the general sweep, so the result is the same. False, with
// the result to be discarded, when some slab has other than two edges or they cross.
bool TrapezoidDecomposer::SweepTwoEdges() {
  // The table can then take a trapezoid per slab: it never fills.
  if (event_ys_.size() < 2 || event_ys_.size() - 1 > table_.size()) return false;
  ActiveEdge pair[2];
  int32_t active = 0;
  size_t next_edge = 0;
  OpenTrapezoid open{-1, -1, 0, false};
  bool is_open = false;
  // The x of the open trapezoid's edges at its bottom, and of the last slab's left and
  // right edges at its top: the corners of the trapezoid when it is emitted.
  double open_x[2] = {0, 0};
  double last_x[2] = {0, 0};
  for (size_t slab = 0; slab + 1 < event_ys_.size(); ++slab) {
    const int64_t y_low = event_ys_[slab], y_high = event_ys_[slab + 1];
    int32_t kept = 0;
    for (int32_t i = 0; i < active; ++i) {
      if (edges_[pair[i].edge].y_top > y_low) pair[kept++] = pair[i];
    }
    active = kept;
    for (; next_edge < edges_.size() && edges_[next_edge].y_bottom <= y_low; ++next_edge) {
      if (active == 2) return false;
      pair[active++].edge = static_cast<int32_t>(next_edge);
    }
    if (active != 2) return false;
    for (ActiveEdge& edge : pair) {
      edge.x_low = XAt(edge.edge, y_low);
      edge.x_high = XAt(edge.edge, y_high);
    }
    if (Before(pair[1], pair[0], y_low)) std::swap(pair[0], pair[1]);
    const ActiveEdge& left = pair[0];
    const ActiveEdge& right = pair[1];
    if (edges_[left.edge].winding + edges_[right.edge].winding != 0) return false;
    if (Compare(left.edge, left.x_high, right.edge, right.x_high, y_high) > 0) return false;
    const bool part = !Coincident(left, right, y_low, y_high);
    const bool carried = part && is_open && open.left == left.edge && open.right == right.edge;
    // The open trapezoid's edges are the last slab's pair, whose top is this slab's
    // bottom.
    if (is_open && !carried) {
      double x[4] = {open_x[0], open_x[1], last_x[1], last_x[0]};
      EmitCorners(x, open.y_bottom, y_low);
    }
    if (part && !carried) {
      open = {left.edge, right.edge, y_low, false};
      open_x[0] = left.x_low;
      open_x[1] = right.x_low;
    }
    is_open = part;
    last_x[0] = left.x_high;
    last_x[1] = right.x_high;
  }
  if (is_open) {
    double x[4] = {open_x[0], open_x[1], last_x[1], last_x[0]};
    EmitCorners(x, open.y_bottom, event_ys_.back());
  }
  return true;
}

// The sign of x(a) - x(b) at height y, exactly: x of an edge at y is the
// fraction (x_bottom * dy * grid + dx * (y - y_bottom)) / (dy * grid).
int TrapezoidDecomposer::CompareAt(int32_t a, int32_t b, int64_t y) const {
  const Edge& ea = edges_[a];
  const Edge& eb = edges_[b];
  Wide xa = Wide(ea.x_bottom) * ea.dy * kGrid + Wide(ea.dx) * (y - ea.y_bottom);
  Wide xb = Wide(eb.x_bottom) * eb.dy * kGrid + Wide(eb.dx) * (y - eb.y_bottom);
  Wide left = xa * eb.dy, right = xb * ea.dy;
  return (left > right) - (left < right);
}

// The sign of x(a) - x(b) at y, given their computed x there: exact arithmetic
// only where the computed values are too close to tell.
int TrapezoidDecomposer::Compare(int32_t a, double xa, int32_t b, double xb, int64_t y) const {
  if (xa < xb - kSureGap) return -1;
  if (xa > xb + kSureGap) return 1;
  return CompareAt(a, b, y);
}

// The order of edges in a slab starting at y: by x at y, then by how they go on
// (the one leaning left first), then by number so that the order is total.
bool TrapezoidDecomposer::Before(const ActiveEdge& a, const ActiveEdge& b, int64_t y) const {
  int at = Compare(a.edge, a.x_low, b.edge, b.x_low, y);
  if (at != 0) return at < 0;
  const Edge& ea = edges_[a.edge];
  const Edge& eb = edges_[b.edge];
  Wide lean_a = Wide(ea.dx) * eb.dy, lean_b = Wide(eb.dx) * ea.dy;
  if (lean_a != lean_b) return lean_a < lean_b;
  return a.edge < b.edge;
}

bool TrapezoidDecomposer::Coincident(const ActiveEdge& a, const ActiveEdge& b, int64_t y_low,
                                     int64_t y_high) const {
  return Compare(a.edge, a.x_low, b.edge, b.x_low, y_low) == 0 &&
         Compare(a.edge, a.x_high, b.edge, b.x_high, y_high) == 0;
}

// The x of an edge at height y, for the corners; exact at its two ends, so that
// trapezoids meeting at a vertex get the same corner.
double TrapezoidDecomposer::XAt(int32_t edge, int64_t y) const {
  const Edge& e = edges_[edge];
  // A vertical edge (most edges of most layouts) needs no division.
  if (y <= e.y_bottom || e.dx == 0) return static_cast<double>(e.x_bottom);
  if (y >= e.y_top) return static_cast<double>(e.x_bottom + e.dx);
  return static_cast<double>(e.x_bottom) +
         static_cast<double>(e.dx) *
             (static_cast<double>(y - e.y_bottom) / static_cast<double>(e.y_top - e.y_bottom));
}

// Drops the edges that end at y_low, adds those that start there, and orders
// the active edges for the slab from y_low to y_high.
void TrapezoidDecomposer::AdvanceActive(int64_t y_low, int64_t y_high) {
  std::erase_if(active_, [&](const ActiveEdge& a) { return edges_[a.edge].y_top <= y_low; });
  // The previous slab ended at y_low, so its top x is this slab's bottom x.
  for (ActiveEdge& active : active_) {
    active.x_low = active.x_high;
    active.x_high = XAt(active.edge, y_high);
  }
  size_t carried = active_.size();
  while (next_edge_ < edges_.size() && edges_[next_edge_].y_bottom <= y_low) {
    auto edge = static_cast<int32_t>(next_edge_++);
    active_.push_back({edge, XAt(edge, y_low), XAt(edge, y_high)});
  }
  auto before = [&](const ActiveEdge& a, const ActiveEdge& b) { return Before(a, b, y_low); };
  if (active_.size() > carried) {
    auto middle = active_.begin() + static_cast<ptrdiff_t>(carried);
    std::sort(middle, active_.end(), before);
    merge_buffer_.resize(active_.size());
    std::merge(active_.begin(), middle, middle, active_.end(), merge_buffer_.begin(), before);
    active_.swap(merge_buffer_);
  }
  // Carried edges keep their order unless two of them crossed at y_low; an
  // insertion pass puts those right at the cost of the few moves they need.
  for (size_t i = 1; i < active_.size(); ++i) {
    ActiveEdge moving = active_[i];
    size_t j = i;
    for (; j > 0 && before(moving, active_[j - 1]); --j) active_[j] = active_[j - 1];
    active_[j] = moving;
  }
}

// The top of the slab: y_high, or lower where two neighbouring edges cross
// inside it (the first crossing is always between neighbours), raised to the grid.
int64_t TrapezoidDecomposer::FirstCrossing(int64_t y_low, int64_t y_high) const {
  int64_t first = y_high;
  for (size_t i = 0; i + 1 < active_.size(); ++i) {
    const ActiveEdge& left = active_[i];
    const ActiveEdge& right = active_[i + 1];
    if (Compare(left.edge, left.x_high, right.edge, right.x_high, y_high) <= 0) continue;
    const Edge& a = edges_[left.edge];
    const Edge& b = edges_[right.edge];
    // The lines meet at y = n / d (database units); they are not parallel, or
    // they could not have changed places.
    Wide d = Wide(a.dx) * b.dy - Wide(b.dx) * a.dy;
    Wide n = Wide(b.x_bottom - a.x_bottom) * a.dy * b.dy -
             Wide(b.dx) * (b.y_bottom / kGrid) * a.dy + Wide(a.dx) * (a.y_bottom / kGrid) * b.dy;
    if (d < 0) {
      d = -d;
      n = -n;
    }
    Wide crossing = std::max<Wide>(CeilDiv(n * kGrid, d), y_low + 1);
    first = std::min<int64_t>(first, static_cast<int64_t>(std::min<Wide>(crossing, y_high)));
  }
  return first;
}

// The parts of the slab with a nonzero winding number, as pairs of bounding
// edges. Where the winding drops to zero between two coincident edges (a cut
// line) the part goes on; parts of zero width are left out.
void TrapezoidDecomposer::CollectSpans(int64_t y_low, int64_t y_high) {
  spans_.clear();
  int winding = 0;
  size_t start = 0;
  bool carry = false;
  for (size_t i = 0; i < active_.size(); ++i) {
    int before = winding;
    winding += edges_[active_[i].edge].winding;
    if (before == 0 && winding != 0) {
      if (!carry) start = i;
      carry = false;
    } else if (before != 0 && winding == 0) {
      if (i + 1 < active_.size() && Coincident(active_[i], active_[i + 1], y_low, y_high)) {
        carry = true;
        continue;
      }
      if (Coincident(active_[start], active_[i], y_low, y_high)) continue;
      spans_.push_back({active_[start].edge, active_[i].edge});
    }
  }
}

// Carries on every open trapezoid whose two edges bound a part of this slab,
// opens one for every other part, and closes the rest at y_low.
void TrapezoidDecomposer::UpdateOpen(int64_t y_low) {
  next_open_.clear();
  for (const Span& span : spans_) {
    int32_t index = open_by_left_[span.left];
    if (index >= 0 && open_[index].right == span.right) {
      open_[index].carried = true;
      next_open_.push_back({span.left, span.right, open_[index].y_bottom, false});
    } else {
      next_open_.push_back({span.left, span.right, y_low, false});
    }
  }
  for (const OpenTrapezoid& open : open_) {
    open_by_left_[open.left] = -1;
    if (!open.carried && !Emit(open.left, open.right, open.y_bottom, y_low)) return;
  }
  open_.swap(next_open_);
  for (size_t i = 0; i < open_.size(); ++i) {
    open_by_left_[open_[i].left] = static_cast<int32_t>(i);
  }
}

// When the trapezoids written so far and those still open cannot all fit, and
// the open ones cut at y_high are trapezoids in their own right, the polygon
// cannot fit: the cut pieces fill the table up and the sweep stops, so that a
// polygon far beyond the table does not cost a full sweep. False when the
// sweep must go on.
bool TrapezoidDecomposer::EmitOpenPastCapacity(int64_t y_high) {
  size_t pieces = 0;
  double rounded[8];
  for (const OpenTrapezoid& open : open_) {
    if (Round(open.left, open.right, open.y_bottom, y_high, false, rounded)) ++pieces;
  }
  if (result_.filled + pieces <= table_.size()) return false;
  for (const OpenTrapezoid& open : open_) {
    if (!Emit(open.left, open.right, open.y_bottom, y_high)) break;
  }
  return true;
}

// Stores the trapezoid between two edges unless it is degenerate or out of
// range; false when the table was already full (the result says so). The
// corners go straight into the table entry, one integer at a time.
bool TrapezoidDecomposer::Emit(int32_t left, int32_t right, int64_t y_bottom, int64_t y_top) {
  double x[4] = {XAt(left, y_bottom), XAt(right, y_bottom), XAt(right, y_top), XAt(left, y_top)};
  return EmitCorners(x, y_bottom, y_top);
}

// Emit with the x of the corners already known: left and right at the bottom, right and
// left at the top.
bool TrapezoidDecomposer::EmitCorners(double (&x)[4], int64_t y_bottom, int64_t y_top) {
  double rounded[8];
  if (!RoundCorners(x, y_bottom, y_top, true, rounded)) return true;
  if (static_cast<size_t>(result_.filled) >= table_.size()) {
    result_.status = DecomposeStatus::kTableFull;
    return false;
  }
  PgTrapezoid& trapezoid = table_[result_.filled++];
  for (int i = 0; i < 8; ++i) trapezoid.xy[i] = static_cast<int32_t>(rounded[i]);
  return true;
}

// The corners of the trapezoid between two edges in PG units, as whole numbers;
// false when it is degenerate (zero height, or zero width at top and bottom) or
// has a corner outside int32, which `note_range` records in the result.
bool TrapezoidDecomposer::Round(int32_t left, int32_t right, int64_t y_bottom, int64_t y_top,
                                bool note_range, double (&rounded)[8]) {
  double x[4] = {XAt(left, y_bottom), XAt(right, y_bottom), XAt(right, y_top), XAt(left, y_top)};
  return RoundCorners(x, y_bottom, y_top, note_range, rounded);
}

bool TrapezoidDecomposer::RoundCorners(double (&x)[4], int64_t y_bottom, int64_t y_top,
                                       bool note_range, double (&rounded)[8]) {
  // Within one grid step above a crossing the two edges have just passed each
  // other: they meet halfway.
  if (x[0] > x[1]) x[0] = x[1] = (x[0] + x[1]) / 2;
  if (x[3] > x[2]) x[3] = x[2] = (x[2] + x[3]) / 2;
  // The two bottom corners share their y, as do the two top ones: each is rounded once.
  const double bottom = RoundHalfAway(static_cast<double>(y_bottom) / kGrid * scale_);
  const double top = RoundHalfAway(static_cast<double>(y_top) / kGrid * scale_);
  for (int corner = 0; corner < 4; ++corner) {
    rounded[2 * corner] = RoundHalfAway(x[corner] * scale_);
    rounded[2 * corner + 1] = corner < 2 ? bottom : top;
  }
  if (rounded[1] == rounded[5]) return false;
  if (rounded[0] == rounded[2] && rounded[4] == rounded[6]) return false;
  for (double value : rounded) {
    if (!(value >= std::numeric_limits<int32_t>::min() &&
          value <= std::numeric_limits<int32_t>::max())) {
      if (note_range) result_.out_of_range = true;
      return false;
    }
  }
  return true;
}

}  // namespace kavrinth
