// The frame clipper: crossings of the ring with the frame lines, the runs of the frame's
// boundary inside the ring and of the ring inside the frame, joined and cleaned.
#include "viewer/model/clip_polygon.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kavrinth {
namespace {

constexpr double kTiny = 0.001;
// Vertices closer than this to a frame line are moved onto the inner side of it.
constexpr double kSnap = 0.01;
// A computed crossing this close to a frame corner is that corner.
constexpr double kCornerTolerance = 1e-7;
// Result polygons this thin are slivers.
constexpr double kSliver = 0.0101;
constexpr double kRepeated = 0.1;
constexpr double kStraightSine = 0.00873;

double SnapCorner(double value, double far) {
  if (std::fabs(value) < kCornerTolerance) return 0;
  if (std::fabs(value - far) < kCornerTolerance) return far;
  return value;
}

}  // namespace

int FrameClipper::Abandon(const char* message) {
  std::fputs(message, stderr);
  ++arrays_.error_count;
  ++abandoned_;
  return 0;
}

void FrameClipper::Translate(int32_t n, double dx, double dy) {
  for (int32_t i = 0; i < n; ++i) {
    arrays_.work[2 * i] += dx;
    arrays_.work[2 * i + 1] += dy;
  }
}

void FrameClipper::SnapToFrame(int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    double& x = arrays_.work[2 * i];
    double& y = arrays_.work[2 * i + 1];
    if (std::fabs(x) < kSnap) x = kSnap;
    if (std::fabs(x - width_) < kSnap) x = width_ - kSnap;
    if (std::fabs(y) < kSnap) y = kSnap;
    if (std::fabs(y - height_) < kSnap) y = height_ - kSnap;
  }
}

// The ring's orientation is the sign of its area: the turn at one vertex says nothing
// about a ring that is not convex.
void FrameClipper::OrientCounterClockwise(int32_t n) {
  double twice_area = 0;
  for (int32_t i = 0; i + 1 < n; ++i) {
    const Point a = At(i);
    const Point b = At(i + 1);
    twice_area += a.x * b.y - b.x * a.y;
  }
  if (twice_area >= 0) return;
  // Reversing the doubles reverses the points and swaps x and y within each; swap back.
  double* values = arrays_.work.data();
  std::reverse(values, values + 2 * n);
  for (int32_t i = 0; i < n; ++i) std::swap(values[2 * i], values[2 * i + 1]);
}

int32_t FrameClipper::MarkInside(int32_t n) {
  inside_.resize(n);
  int32_t count = 0;
  for (int32_t i = 0; i < n; ++i) {
    const Point p = At(i);
    inside_[i] = p.x >= 0 && p.x <= width_ && p.y >= 0 && p.y <= height_;
    count += inside_[i];
  }
  return count;
}

void FrameClipper::RotateToInside(int32_t n) {
  int32_t start = -1;
  for (int32_t i = 0; i + 1 < n && start < 0; ++i) {
    if (inside_[i] && inside_[i + 1]) start = i;
  }
  for (int32_t i = 0; i + 1 < n && start < 0; ++i) {
    if (inside_[i]) start = i;
  }
  if (start <= 0) return;
  double* values = arrays_.work.data();
  std::rotate(values, values + 2 * start, values + 2 * (n - 1));
  values[2 * (n - 1)] = values[0];
  values[2 * n - 1] = values[1];
  std::rotate(inside_.begin(), inside_.begin() + start, inside_.begin() + n - 1);
  inside_[n - 1] = inside_[0];
}

// Each frame corner belongs to one side only, the side that starts there on the walk
// round the frame: (0, h) to the left, (0, 0) to the bottom, (w, 0) to the right and
// (w, h) to the top. So an edge through a corner crosses once, not twice or never.
void FrameClipper::CrossVertical(const Point& a, const Point& b, double line_x, int32_t edge) {
  if (!((a.x - line_x) * (b.x - line_x) < 0)) return;
  const double dx = b.x - a.x;
  if (std::fabs(dx) < kTiny) {
    if (a.y > 0 && a.y < height_) crossings_.push_back({a.x, a.y, edge, false});
    if (b.y > 0 && b.y < height_) crossings_.push_back({b.x, b.y, edge, false});
    return;
  }
  const double y = SnapCorner(a.y + (b.y - a.y) / dx * (line_x - a.x), height_);
  const bool left = line_x == 0;
  const bool owned = left ? (y > 0 && y <= height_) : (y >= 0 && y < height_);
  if (owned) crossings_.push_back({line_x, y, edge, false});
}

void FrameClipper::CrossHorizontal(const Point& a, const Point& b, double line_y, int32_t edge) {
  if (!((a.y - line_y) * (b.y - line_y) < 0)) return;
  const double dy = b.y - a.y;
  if (std::fabs(dy) < kTiny) {
    if (a.x > 0 && a.x < width_) crossings_.push_back({a.x, a.y, edge, false});
    if (b.x > 0 && b.x < width_) crossings_.push_back({b.x, b.y, edge, false});
    return;
  }
  const double x = SnapCorner(a.x + (b.x - a.x) / dy * (line_y - a.y), width_);
  const bool bottom = line_y == 0;
  const bool owned = bottom ? (x >= 0 && x < width_) : (x > 0 && x <= width_);
  if (owned) crossings_.push_back({x, line_y, edge, false});
}

// An edge with both ends outside that passes through the frame gets a vertex between its
// two crossings, inside the frame.
bool FrameClipper::InsertVertex(int32_t* n, int32_t edge, size_t first_crossing) {
  if (*n + 1 > arrays_.max_points) {
    Abandon("\nerror: clip_to_frame: too many points.\n");
    return false;
  }
  const Crossing& c0 = crossings_[first_crossing];
  const Crossing& c1 = crossings_[first_crossing + 1];
  const auto along = [&](double divisor) {
    return Point{c0.x + (c1.x - c0.x) / divisor, c0.y + (c1.y - c0.y) / divisor};
  };
  Point vertex = along(2.0);
  const auto on_x_line = [&](const Point& p) { return std::fabs(std::fmod(p.x, width_)) < kTiny; };
  const auto on_y_line = [&](const Point& p) { return std::fabs(std::fmod(p.y, height_)) < kTiny; };
  if (on_x_line(vertex)) {
    vertex = along(2.005);
    if (on_y_line(vertex)) vertex = along(2.01);
  } else if (on_y_line(vertex)) {
    vertex = along(2.005);
    if (on_x_line(vertex)) vertex = along(2.01);
  }
  arrays_.work.insert(arrays_.work.begin() + 2 * (edge + 1), {vertex.x, vertex.y});
  ++*n;
  return true;
}

FrameClipper::Collected FrameClipper::CollectCrossings(int32_t* n) {
  crossings_.clear();
  for (int32_t i = 0; i + 1 < *n; ++i) {
    const Point a = At(i);
    const Point b = At(i + 1);
    const size_t before = crossings_.size();
    CrossVertical(a, b, 0, i);
    CrossVertical(a, b, width_, i);
    CrossHorizontal(a, b, 0, i);
    CrossHorizontal(a, b, height_, i);
    const size_t added = crossings_.size() - before;
    if (added == 0 || inside_[i] || inside_[i + 1]) continue;
    if (added == 2)
      return InsertVertex(n, i, before) ? Collected::kInserted : Collected::kAbandoned;
    const Crossing& only = crossings_.back();
    const bool at_corner = (only.x == 0 || only.x == width_) && (only.y == 0 || only.y == height_);
    if (added == 1 && at_corner) {
      // The edge touches the frame at a corner from outside.
      crossings_.pop_back();
      continue;
    }
    Abandon("\nclip_to_frame: odd number of intersections for edge.\n");
    return Collected::kAbandoned;
  }
  return Collected::kDone;
}

void FrameClipper::SortCrossings(size_t k) {
  for (auto& side : sides_) side.clear();
  for (Crossing& c : crossings_) {
    c.merged = false;
    const Side side = std::fabs(c.x) < kTiny             ? kLeft
                      : std::fabs(c.y) < kTiny           ? kBottom
                      : std::fabs(c.x - width_) < kTiny  ? kRight
                      : std::fabs(c.y - height_) < kTiny ? kTop
                                                         : kSides;
    if (side == kSides) {
      std::fputs("\nerror: clip_to_frame: sort orphan.\n", stderr);
      ++arrays_.error_count;
      continue;
    }
    sides_[side].push_back(&c);
  }
  // Counter-clockwise from the top-left corner.
  const auto by = [](auto key) {
    return [key](const Crossing* a, const Crossing* b) { return key(a) < key(b); };
  };
  std::stable_sort(sides_[kLeft].begin(), sides_[kLeft].end(), by([](auto c) { return -c->y; }));
  std::stable_sort(sides_[kBottom].begin(), sides_[kBottom].end(), by([](auto c) { return c->x; }));
  std::stable_sort(sides_[kRight].begin(), sides_[kRight].end(), by([](auto c) { return c->y; }));
  std::stable_sort(sides_[kTop].begin(), sides_[kTop].end(), by([](auto c) { return -c->x; }));
  size_t merged = 0;
  for (const auto& side : sides_) {
    const Crossing* previous = nullptr;
    for (Crossing* c : side) {
      if (previous != nullptr && std::fabs(c->x - previous->x) <= kTiny &&
          std::fabs(c->y - previous->y) <= kTiny) {
        arrays_.touches.push_back({joiner_.ToGrid(c->x), joiner_.ToGrid(c->y)});
      }
      c->merged = true;
      previous = c;
      ++merged;
    }
  }
  if (merged != k) {
    std::fputs("\nerror: clip_to_frame: sort count error.\n", stderr);
    ++arrays_.error_count;
  }
}

// Whether the walk round the frame starts inside the ring. The stretch of the frame's
// boundary from the walk's last crossing round the top-left corner to its first crossing
// meets the ring nowhere, so its middle decides; the corner itself would not when a
// crossing lies on it.
bool FrameClipper::StartsInside(int32_t n) {
  const double w = width_;
  const double h = height_;
  const auto along = [&](int side, const Crossing* c) {
    switch (side) {
      case kLeft:
        return h - c->y;
      case kBottom:
        return h + c->x;
      case kRight:
        return h + w + c->y;
      default:
        return 2 * h + w + (w - c->x);
    }
  };
  int first_side = 0;
  while (first_side < kSides && sides_[first_side].empty()) ++first_side;
  // No crossing reached a side (each was an orphan of the sort): no stretch of the frame
  // to judge by, and no run of the frame's boundary is taken.
  if (first_side == kSides) return false;
  int last_side = kSides - 1;
  while (sides_[last_side].empty()) --last_side;
  const double perimeter = 2 * (w + h);
  const double first = along(first_side, sides_[first_side].front());
  const double last = along(last_side, sides_[last_side].back());
  double t = (first + perimeter + last) / 2;
  if (t >= perimeter) t -= perimeter;
  Point p;
  if (t < h) {
    p = {0, h - t};
  } else if (t < h + w) {
    p = {t - h, 0};
  } else if (t < 2 * h + w) {
    p = {w, t - h - w};
  } else {
    p = {w - (t - 2 * h - w), h};
  }
  return point_in_polygon(p.x, p.y, n - 1, arrays_.work.data()) != 0;
}

size_t FrameClipper::Append(double x, double y) {
  output_.push_back(x);
  output_.push_back(y);
  return output_.size() - 2;
}

// A run of the frame's boundary between two crossings at one place (a crossing on the
// top-left corner where the walk starts, or a touch) has no length; as a piece it would
// only let the joiner turn the next piece round.
void FrameClipper::RecordFramePiece(size_t first, size_t last) {
  const bool empty = last == first + 2 && output_[first] == output_[last] &&
                     output_[first + 1] == output_[last + 1];
  if (empty) return;
  raw_pieces_.push_back(static_cast<int32_t>(first));
  raw_pieces_.push_back(static_cast<int32_t>(last));
}

void FrameClipper::WalkFrame(int32_t n, bool start_inside) {
  const Point corners[] = {{0, 0}, {width_, 0}, {width_, height_}};
  bool on = start_inside;
  size_t piece_start = on ? Append(0, height_) : 0;
  for (int side = 0; side < kSides; ++side) {
    for (const Crossing* c : sides_[side]) {
      const size_t index = Append(c->x, c->y);
      if (on) {
        RecordFramePiece(piece_start, index);
      } else {
        piece_start = index;
      }
      on = !on;
    }
    if (side < kTop) {
      const Point& corner = corners[side];
      if (point_in_polygon(corner.x, corner.y, n - 1, arrays_.work.data())) {
        Append(corner.x, corner.y);
      }
    }
  }
  if (!start_inside) return;  // a piece still open here is not recorded
  if (on) {
    const size_t end = Append(0, height_);
    RecordFramePiece(piece_start, end);
  } else {
    std::fputs("\nerror: clip_to_frame: edge parity error.\n", stderr);
    ++arrays_.error_count;
  }
}

// Crossings are collected edge by edge, so those of one edge lie together.
const FrameClipper::Crossing* FrameClipper::CrossingOfEdge(int32_t edge) const {
  auto it = std::lower_bound(crossings_.begin(), crossings_.end(), edge,
                             [](const Crossing& c, int32_t e) { return c.edge < e; });
  for (; it != crossings_.end() && it->edge == edge; ++it) {
    if (it->merged) return &*it;
  }
  return nullptr;
}

void FrameClipper::WalkPolygon(int32_t n) {
  bool open = false;
  bool from_crossing = false;
  size_t chain_start = 0;
  for (int32_t i = 0; i < n; ++i) {
    const Point v = At(i);
    if (inside_[i]) {
      if (i == 0) {
        chain_start = Append(v.x, v.y);
        open = true;
        from_crossing = false;
      } else if (inside_[i - 1]) {
        Append(v.x, v.y);
      } else if (const Crossing* c = CrossingOfEdge(i - 1)) {
        chain_start = Append(c->x, c->y);
        open = true;
        from_crossing = true;
        Append(v.x, v.y);
      }
    } else if (i > 0 && inside_[i - 1]) {
      if (const Crossing* c = CrossingOfEdge(i - 1)) {
        const size_t index = Append(c->x, c->y);
        if (open) {
          raw_pieces_.push_back(static_cast<int32_t>(chain_start));
          raw_pieces_.push_back(static_cast<int32_t>(index));
          open = false;
        }
      }
    }
  }
  if (!open) return;
  const size_t end = from_crossing ? output_.size() - 2 : Append(At(0).x, At(0).y);
  raw_pieces_.push_back(static_cast<int32_t>(chain_start));
  raw_pieces_.push_back(static_cast<int32_t>(end));
}

int FrameClipper::FrameResult(double x0, double y0, int32_t* piece_count,
                              std::vector<int32_t>* pieces) {
  arrays_.scratch = {0, 0, width_, 0, width_, height_, 0, height_, 0, 0};
  *pieces = {0, 8};
  *piece_count = 1;
  clean_pieces(piece_count, pieces, x0, y0);
  return kClipFrameInside;
}

int FrameClipper::clip_to_frame(int32_t n, double x0, double y0, double width, double height,
                                double xmin, double ymin, double xmax, double ymax,
                                int32_t* piece_count, std::vector<int32_t>* pieces) {
  arrays_.touches.clear();
  joiner_.start_pieces(join_grid_);
  arrays_.frame_width_steps = joiner_.ToGrid(width);
  arrays_.frame_height_steps = joiner_.ToGrid(height);
  if (n < 4 || arrays_.work.size() < 2 * static_cast<size_t>(n)) return 0;
  if (!(width > 0) || !(height > 0)) return 0;
  if (n > arrays_.max_points) return Abandon("\nerror: clip_to_frame: too many points.\n");
  width_ = width;
  height_ = height;
  Translate(n, -x0, -y0);
  SnapToFrame(n);
  if (xmin - x0 > width || xmax - x0 < 0 || ymin - y0 > height || ymax - y0 < 0) return 0;
  OrientCounterClockwise(n);
  // Every inserted vertex splits an edge that passes through the frame; more insertions
  // than the ring had edges means the geometry does not settle.
  const int32_t most_insertions = n;
  Collected collected = Collected::kInserted;
  for (int32_t inserted = 0; collected == Collected::kInserted; ++inserted) {
    if (inserted > most_insertions) return Abandon("\nerror: clip_to_frame: no settled ring.\n");
    if (MarkInside(n) == n) {
      Translate(n, x0, y0);
      *pieces = {0, 2 * n - 2};
      *piece_count = 1;
      return n;
    }
    RotateToInside(n);
    collected = CollectCrossings(&n);
  }
  if (collected == Collected::kAbandoned) return 0;
  const size_t k = crossings_.size();
  if (k % 2 != 0) return Abandon("\nerror: clip_to_frame: odd number of intersections.\n");
  SortCrossings(k);
  if (k == 0) {
    const double* ring = arrays_.work.data();
    const bool frame_inside =
        point_in_polygon(0, 0, n - 1, ring) && point_in_polygon(width, 0, n - 1, ring) &&
        point_in_polygon(width, height, n - 1, ring) && point_in_polygon(0, height, n - 1, ring);
    if (frame_inside) return FrameResult(x0, y0, piece_count, pieces);
    *piece_count = 0;
    return 0;
  }
  output_.clear();
  raw_pieces_.clear();
  WalkFrame(n, StartsInside(n));
  WalkPolygon(n);
  arrays_.scratch.assign(output_.begin(), output_.end());
  *pieces = raw_pieces_;
  *piece_count = static_cast<int32_t>(raw_pieces_.size() / 2);
  clean_pieces(piece_count, pieces, x0, y0);
  return static_cast<int>(output_.size());
}

int FrameClipper::point_in_polygon(double x, double y, int32_t edges, const double* points) {
  if (edges < 1) return 0;
  double min_x = points[0], max_x = points[0], min_y = points[1], max_y = points[1];
  for (int32_t i = 1; i <= edges; ++i) {
    min_x = std::min(min_x, points[2 * i]);
    max_x = std::max(max_x, points[2 * i]);
    min_y = std::min(min_y, points[2 * i + 1]);
    max_y = std::max(max_y, points[2 * i + 1]);
  }
  if (x < min_x || x > max_x || y < min_y || y > max_y) return 0;
  spans_.clear();
  for (int32_t i = 0; i < edges; ++i) {
    const double x1 = points[2 * i], y1 = points[2 * i + 1];
    const double x2 = points[2 * i + 2], y2 = points[2 * i + 3];
    if (std::fabs(y1 - y2) <= kTiny) {
      if (std::fabs(y - y1) <= kTiny) spans_.insert(spans_.end(), {x1, x2});
      continue;
    }
    const bool near1 = std::fabs(y1 - y) < kTiny;
    const bool near2 = std::fabs(y2 - y) < kTiny;
    if (!near1 && !near2) {
      if ((y - y2) * (y1 - y) >= 0) spans_.push_back(x1 + (y - y1) / (y2 - y1) * (x2 - x1));
    } else if (!near1) {
      if (y1 < y2) spans_.push_back(x2);
    } else if (y2 < y1) {
      spans_.push_back(x1);
    }
  }
  std::sort(spans_.begin(), spans_.end());
  for (size_t i = 0; i + 1 < spans_.size(); i += 2) {
    if (x >= spans_[i] && x <= spans_[i + 1]) return 1;
  }
  return 0;
}

namespace {

double Distance(double ax, double ay, double bx, double by) { return std::hypot(bx - ax, by - ay); }

}  // namespace

// Drops repeated points, then straight vertices, then repeated points again; each removal
// is followed by a look at the neighbours it brought together.
void FrameClipper::CleanPolygon(int32_t* first, int32_t* last) {
  const int32_t start = *first;
  const double* p = &arrays_.work[start];
  const int32_t count = (*last - start) / 2 + 1;
  double min_x = p[0], max_x = p[0], min_y = p[1], max_y = p[1];
  for (int32_t i = 1; i < count; ++i) {
    min_x = std::min(min_x, p[2 * i]);
    max_x = std::max(max_x, p[2 * i]);
    min_y = std::min(min_y, p[2 * i + 1]);
    max_y = std::max(max_y, p[2 * i + 1]);
  }
  if (max_x - min_x <= kSliver || max_y - min_y <= kSliver) {
    *last = -1;
    return;
  }
  const auto remove_repeated = [this] {
    size_t kept = 0;
    for (size_t i = 0; i < polygon_.size(); ++i) {
      const Point q = polygon_[i];
      while (kept > 0 &&
             Distance(polygon_[kept - 1].x, polygon_[kept - 1].y, q.x, q.y) < kRepeated) {
        --kept;
      }
      polygon_[kept++] = q;
    }
    polygon_.resize(kept);
    // The ring stays closed when its first point was the one removed.
    if (kept >= 2) polygon_.back() = polygon_.front();
  };
  const auto straight = [](const Point& a, const Point& b, const Point& c) {
    const double l1 = Distance(a.x, a.y, b.x, b.y);
    const double l2 = Distance(b.x, b.y, c.x, c.y);
    if (l1 <= kRepeated || l2 <= kRepeated) return false;
    const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
    return std::fabs(cross / (l1 * l2)) < kStraightSine;
  };
  polygon_.clear();
  for (int32_t i = 0; i < count; ++i) polygon_.push_back({p[2 * i], p[2 * i + 1]});
  remove_repeated();
  size_t kept = 0;
  for (size_t i = 0; i < polygon_.size(); ++i) {
    const Point q = polygon_[i];
    while (kept >= 2 && straight(polygon_[kept - 2], polygon_[kept - 1], q)) --kept;
    polygon_[kept++] = q;
  }
  polygon_.resize(kept);
  remove_repeated();
  // A ring of fewer than four points (three with the closing one) encloses nothing.
  if (polygon_.size() < 4) {
    *last = -1;
    return;
  }
  for (size_t i = 0; i < polygon_.size(); ++i) {
    arrays_.work[start + 2 * i] = polygon_[i].x;
    arrays_.work[start + 2 * i + 1] = polygon_[i].y;
  }
  *last = start + 2 * static_cast<int32_t>(polygon_.size()) - 2;
}

int FrameClipper::clean_pieces(int32_t* piece_count, std::vector<int32_t>* pieces, double dx,
                               double dy) {
  joiner_.start_pieces(join_grid_);
  for (int32_t j = 0; j < *piece_count; ++j) {
    const int32_t s = (*pieces)[2 * j];
    const int32_t e = (*pieces)[2 * j + 1];
    if (joiner_.add_piece((e - s + 2) / 2, 0, s) != 0) {
      std::fputs("\nerror: clean_pieces: too many pieces.\n", stderr);
      ++arrays_.error_count;
      break;
    }
  }
  int32_t joined = 0;
  int32_t dropped = 0;
  if (joiner_.join_pieces(&joined, &dropped, piece_count, pieces) != 0) {
    std::fputs("\nerror: clean_pieces: piece too long.\n", stderr);
    ++arrays_.error_count;
    *piece_count = 0;
    pieces->clear();
    return 0;
  }
  for (int32_t j = 0; j < *piece_count; ++j) {
    const int32_t start = (*pieces)[2 * j];
    const int32_t end = (*pieces)[2 * j + 1];
    CleanPolygon(&(*pieces)[2 * j], &(*pieces)[2 * j + 1]);
    // Removed polygons move with the others.
    const int32_t moved_end = (*pieces)[2 * j + 1] < 0 ? end : (*pieces)[2 * j + 1];
    for (int32_t i = start; i <= moved_end; i += 2) {
      arrays_.work[i] += dx;
      arrays_.work[i + 1] += dy;
    }
  }
  return 0;
}

}  // namespace kavrinth
