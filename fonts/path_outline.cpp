// Path outlines: mitred offsets along the centre line, caps and bevels where a join
// cannot be mitred, written as integer or double points.
#include "fonts/path_outline.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "support/numeric_guards.h"

namespace kavrinth {
namespace {

// One outline point: a centre-line point plus an offset, kept apart so that the
// integer emitter can round the offset alone.
struct OutlineVertex {
  double cx = 0;
  double cy = 0;
  double ox = 0;
  double oy = 0;
};

struct Vec {
  double x = 0;
  double y = 0;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(double k, Vec a) { return {k * a.x, k * a.y}; }
Vec operator-(Vec a) { return {-a.x, -a.y}; }
Vec LeftNormal(Vec u) { return {-u.y, u.x}; }

struct Segment {
  Vec unit;
  double length = 0;
  double angle = 0;
};

// The outline as it is built: left side forward, the cap between the sides, and the
// right side in centre-line order (it is written reversed).
struct OutlineParts {
  std::vector<OutlineVertex> left;
  std::vector<OutlineVertex> cap;
  std::vector<OutlineVertex> right;
};

thread_local OutlineEndCaps last_end_caps;

Segment SegmentBetween(const std::vector<Vec>& centre, int32_t from) {
  Vec d = centre[from + 1] - centre[from];
  Segment segment;
  segment.length = std::hypot(d.x, d.y);
  if (segment.length > 0) segment.unit = (1.0 / segment.length) * d;
  SafeAtan2(d.y, d.x, &segment.angle);
  return segment;
}

double TurnAngle(const Segment& previous, const Segment& next) {
  double theta = next.angle - previous.angle;
  while (theta > kHalfTurn) theta -= kFullTurn;
  while (theta <= -kHalfTurn) theta += kFullTurn;
  return theta;
}

bool IsReversal(double theta) { return kHalfTurn - std::fabs(theta) < kOutlineMinimumLength; }

OutlineVertex At(Vec p, Vec offset) { return {p.x, p.y, offset.x, offset.y}; }

// The three-point cap that closes the outer side of a turn sharper than 120 degrees.
void EmitSharpCap(OutlineParts& parts, Vec p, const Segment& u, const Segment& v, double h,
                  double theta) {
  double s = std::sin(theta / 2);
  Vec nu = h * LeftNormal(u.unit);
  Vec nv = h * LeftNormal(v.unit);
  Vec a = nu - (h * s) * u.unit;
  Vec b = nv + (h * s) * v.unit;
  if (theta > 0) {
    parts.cap = {At(p, -nv), At(p, -b), At(p, -a)};
  } else {
    parts.cap = {At(p, a), At(p, b), At(p, nv)};
  }
}

// The two points that close the outer side of a join whose mitre does not fit.
void EmitBevel(OutlineParts& parts, Vec p, const Segment& u, const Segment& v, double h,
               double theta) {
  double t = 0;
  SafeTan(theta / 2, &t);
  Vec nu = h * LeftNormal(u.unit);
  Vec nv = h * LeftNormal(v.unit);
  Vec a = nu - (h * t) * u.unit;
  if (theta > 0) {
    parts.cap = {At(p, -nv), At(p, -a)};
  } else {
    parts.cap = {At(p, a), At(p, nv)};
  }
}

bool MitreFits(double length, double h, double theta) {
  return std::hypot(length, h) * std::cos(theta / 2) / h >= 1;
}

// Walks the joins; returns the index of the last centre-line point reached and
// leaves the direction of the segment into it in `into`.
int32_t WalkJoins(const std::vector<Vec>& centre, double h, bool joins, OutlineParts& parts,
                  Segment& into) {
  int32_t n = static_cast<int32_t>(centre.size());
  for (int32_t j = 1; j <= n - 2; ++j) {
    Vec p = centre[j];
    Segment next = SegmentBetween(centre, j);
    if (next.length < kOutlineMinimumLength) {
      parts.cap = {At(p, {})};
      return j;
    }
    double theta = TurnAngle(into, next);
    bool sharp = std::fabs(theta) > kOutlineJoinThreshold;
    bool fits = MitreFits(into.length, h, theta) && MitreFits(next.length, h, theta);
    if (sharp || !fits) {
      if (!joins || IsReversal(theta)) {
        parts.cap = {At(p, {})};
      } else if (sharp) {
        EmitSharpCap(parts, p, into, next, h, theta);
      } else {
        EmitBevel(parts, p, into, next, h, theta);
      }
      return j;
    }
    double t = 0;
    SafeTan(theta / 2, &t);
    Vec mitre = h * LeftNormal(into.unit) - (h * t) * into.unit;
    parts.left.push_back(At(p, mitre));
    parts.right.push_back(At(p, -mitre));
    into = next;
  }
  parts.cap = {At(centre[n - 1], {})};
  return n - 1;
}

int32_t RoundHalfAway(double value) { return static_cast<int32_t>(std::llround(value)); }

// A centre-line point at the edge of the 32-bit range plus its offset may leave the
// range: the sum is held at the range's end instead of wrapping round.
int32_t OffsetPoint(double centre, double offset) {
  const int64_t sum = static_cast<int64_t>(centre) + std::llround(offset);
  return static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
}

void Emit(const OutlineVertex& v, std::span<int32_t> output, size_t k) {
  output[2 * k] = OffsetPoint(v.cx, v.ox);
  output[2 * k + 1] = OffsetPoint(v.cy, v.oy);
}

void Emit(const OutlineVertex& v, std::span<double> output, size_t k) {
  output[2 * k] = v.cx + v.ox;
  output[2 * k + 1] = v.cy + v.oy;
}

double MidOf(const OutlineVertex& a, const OutlineVertex& b, bool x) {
  return x ? (a.cx + a.ox + b.cx + b.ox) / 2 : (a.cy + a.oy + b.cy + b.oy) / 2;
}

void RecordEndCaps(const OutlineParts& parts, int32_t consumed) {
  OutlineEndCaps caps;
  int32_t left = static_cast<int32_t>(parts.left.size());
  int32_t cap = static_cast<int32_t>(parts.cap.size());
  int32_t right = static_cast<int32_t>(parts.right.size());
  caps.left_begin = 0;
  caps.left_end = left - 1;
  caps.right_begin = left + cap;
  caps.right_end = left + cap + right - 1;
  caps.point_count = left + cap + right + 1;
  caps.consumed = consumed;
  const OutlineVertex& l0 = parts.left.front();
  const OutlineVertex& r0 = parts.right.front();
  const OutlineVertex& le = parts.left.back();
  const OutlineVertex& re = parts.right.back();
  caps.start_mid_x = RoundHalfAway(MidOf(l0, r0, true));
  caps.start_mid_y = RoundHalfAway(MidOf(l0, r0, false));
  caps.end_mid_x = RoundHalfAway(MidOf(le, re, true));
  caps.end_mid_y = RoundHalfAway(MidOf(le, re, false));
  last_end_caps = caps;
}

template <typename T>
int32_t WriteOutline(const OutlineParts& parts, std::span<T> output) {
  size_t k = 0;
  for (const OutlineVertex& v : parts.left) Emit(v, output, k++);
  for (const OutlineVertex& v : parts.cap) Emit(v, output, k++);
  for (auto it = parts.right.rbegin(); it != parts.right.rend(); ++it) Emit(*it, output, k++);
  Emit(parts.left.front(), output, k++);
  return static_cast<int32_t>(k);
}

// A path whose ends lie exactly a half-width diagonal apart is taken as closed on
// itself: its last point is pulled back to the middle of its last segment.
bool TouchUpClosedLoop(std::vector<Vec>& centre, const std::vector<int64_t>& ints, double h) {
  size_t n = centre.size();
  if (n < 3) return false;
  double dx = centre[0].x - centre[n - 1].x;
  double dy = centre[0].y - centre[n - 1].y;
  if (std::fabs(dx * dx + dy * dy - 2 * h * h) >= kOutlineMinimumLength) return false;
  centre[n - 1].x = static_cast<double>((ints[2 * n - 4] + ints[2 * n - 2]) / 2);
  centre[n - 1].y = static_cast<double>((ints[2 * n - 3] + ints[2 * n - 1]) / 2);
  return true;
}

template <typename T>
int PathToOutlineWith(int32_t count, std::span<const int32_t> points, int32_t width,
                      std::span<T> output, bool joins, int32_t& room) {
  int32_t n = std::min<int64_t>(count, static_cast<int64_t>(points.size() / 2));
  int32_t fit = std::clamp<int64_t>(room, 0, static_cast<int64_t>(output.size() / 2));
  room = 0;
  if (width == 0 || n < 2) return -1;
  if (2 * static_cast<int64_t>(fit) <= 4 * static_cast<int64_t>(n) + 2) n = fit / 2 - 1;
  if (n < 2) return -1;

  // Working lists kept from call to call: an outline costs no allocation of its own.
  thread_local std::vector<int64_t> ints;
  thread_local std::vector<Vec> centre;
  thread_local OutlineParts parts;
  ints.assign(points.begin(), points.begin() + 2 * n);
  centre.resize(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) centre[i] = {double(ints[2 * i]), double(ints[2 * i + 1])};
  double h = width / 2.0;
  bool touched = TouchUpClosedLoop(centre, ints, h);

  Segment into = SegmentBetween(centre, 0);
  if (into.length < kOutlineMinimumLength) return 1;
  parts.left.clear();
  parts.cap.clear();
  parts.right.clear();
  Vec start_normal = h * LeftNormal(into.unit);
  parts.left.push_back(At(centre[0], start_normal));
  parts.right.push_back(At(centre[0], -start_normal));

  int32_t last = WalkJoins(centre, h, joins, parts, into);
  Vec end_normal = h * LeftNormal(into.unit);
  parts.left.push_back(At(centre[last], end_normal));
  parts.right.push_back(At(centre[last], -end_normal));

  room = WriteOutline(parts, output);
  int32_t consumed = last + 1;
  if (touched && last == n - 1) --consumed;
  RecordEndCaps(parts, consumed);
  return consumed;
}

}  // namespace

int PathToOutline(int32_t count, std::span<const int32_t> points, int32_t width,
                  std::span<int32_t> output, bool joins, int32_t& room) {
  return PathToOutlineWith(count, points, width, output, joins, room);
}

int PathToOutline(int32_t count, std::span<const int32_t> points, int32_t width,
                  std::span<double> output, bool joins, int32_t& room) {
  return PathToOutlineWith(count, points, width, output, joins, room);
}

std::span<const int32_t> DistinctPathPoints(std::span<const int32_t> xy,
                                            std::vector<int32_t>& scratch) {
  const size_t n = xy.size() / 2;
  size_t i = 1;
  while (i < n && (xy[2 * i] != xy[2 * i - 2] || xy[2 * i + 1] != xy[2 * i - 1])) ++i;
  if (i >= n) return xy.first(2 * n);
  scratch.assign(xy.begin(), xy.begin() + 2 * static_cast<std::ptrdiff_t>(i));
  for (; i < n; ++i) {
    const size_t m = scratch.size();
    if (xy[2 * i] == scratch[m - 2] && xy[2 * i + 1] == scratch[m - 1]) continue;
    scratch.insert(scratch.end(), {xy[2 * i], xy[2 * i + 1]});
  }
  return scratch;
}

OutlineEndCaps LastOutlineEndCaps() { return last_end_caps; }

}  // namespace kavrinth
