// Segment sweep outlines: which pen vertices lie behind the start and ahead of the end
// for each direction, from one table per pen.
#include "fonts/segment_sweep.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

namespace kavrinth {
namespace {

// Pen vertices by bit, counter-clockwise from the lower left.
constexpr std::array<int, 8> kPenCycle = {1, 16, 2, 32, 4, 64, 8, 128};

// Direction classes: the signs of dx and dy, and of |dx| - |dy| (kAnySlope for a
// horizontal or vertical segment).
constexpr int kAnySlope = 2;

struct PenRow {
  int sign_x;
  int sign_y;
  int slope;  // sign of |dx| - |dy|, or kAnySlope
  int start_mask;
  int start_first;
  int end_mask;
  int end_first;
};

constexpr std::array<PenRow, 8> kSquareRows = {{
    {1, 0, kAnySlope, 9, 8, 6, 2},
    {-1, 0, kAnySlope, 6, 2, 9, 8},
    {0, 1, kAnySlope, 3, 1, 12, 4},
    {0, -1, kAnySlope, 12, 4, 3, 1},
    {1, 1, kAnySlope, 11, 8, 14, 2},
    {1, -1, kAnySlope, 13, 4, 7, 1},
    {-1, 1, kAnySlope, 7, 1, 13, 4},
    {-1, -1, kAnySlope, 14, 2, 11, 8},
}};

constexpr std::array<PenRow, 16> kOctagonalRows = {{
    {1, 0, kAnySlope, 217, 64, 118, 16},
    {-1, 0, kAnySlope, 118, 16, 217, 64},
    {0, 1, kAnySlope, 179, 128, 236, 32},
    {0, -1, kAnySlope, 236, 32, 179, 128},
    {1, 1, 0, 155, 8, 110, 2},
    {1, 1, -1, 147, 128, 108, 32},
    {1, 1, 1, 153, 8, 102, 2},
    {1, -1, 0, 205, 4, 55, 1},
    {1, -1, -1, 204, 4, 51, 1},
    {1, -1, 1, 201, 64, 54, 16},
    {-1, 1, 0, 55, 1, 205, 4},
    {-1, 1, -1, 51, 1, 204, 4},
    {-1, 1, 1, 54, 16, 201, 64},
    {-1, -1, 0, 110, 2, 155, 8},
    {-1, -1, -1, 108, 32, 147, 128},
    {-1, -1, 1, 102, 2, 153, 8},
}};

int Sign(int64_t v) { return (v > 0) - (v < 0); }

template <size_t N>
const PenRow& FindRow(const std::array<PenRow, N>& rows, int64_t dx, int64_t dy) {
  int slope = Sign(std::llabs(dx) - std::llabs(dy));
  for (const PenRow& row : rows) {
    if (row.sign_x == Sign(dx) && row.sign_y == Sign(dy) &&
        (row.slope == kAnySlope || row.slope == slope)) {
      return row;
    }
  }
  return rows[0];  // not reached: every non-zero direction has a row
}

struct Offset {
  int32_t x = 0;
  int32_t y = 0;
};

// The pen's vertex offsets, indexed by the bit's position (bit 1 << i at [i]).
std::array<Offset, 8> PenVertices(int32_t w, int32_t h, bool octagonal) {
  int32_t a = w / 2, a2 = w - w / 2, b = h / 2, b2 = h - h / 2;
  if (octagonal) {
    a = a2 = static_cast<int32_t>(std::floor(w / 1.4142135623730951 / 2 + 0.5));
    b = b2 = static_cast<int32_t>(std::floor(h / 1.4142135623730951 / 2 + 0.5));
  }
  return {{{-a, -b},
           {a2, -b},
           {a2, b2},
           {-a, b2},
           {0, -(h / 2)},
           {w - w / 2, 0},
           {0, h - h / 2},
           {-(w / 2), 0}}};
}

int32_t RoundHalfAway(double value) { return static_cast<int32_t>(std::llround(value)); }

// The two side points of the segment's rectangle at one end: the normal side takes
// w - w/2, the other side w/2.
std::array<Offset, 2> SideOffsets(int64_t dx, int64_t dy, int32_t w) {
  double length = std::hypot(double(dx), double(dy));
  double nx = -dy / length, ny = dx / length;
  double left = w - w / 2, right = w / 2;
  return {{{RoundHalfAway(nx * left), RoundHalfAway(ny * left)},
           {RoundHalfAway(-nx * right), RoundHalfAway(-ny * right)}}};
}

class OutlineWriter {
 public:
  void Add(int32_t x, int32_t y, Offset offset) { points_.push_back({x + offset.x, y + offset.y}); }
  void AddPen(int32_t x, int32_t y, const std::array<Offset, 8>& pen, int mask, int first) {
    size_t start = std::find(kPenCycle.begin(), kPenCycle.end(), first) - kPenCycle.begin();
    for (size_t i = 0; i < kPenCycle.size(); ++i) {
      int bit = kPenCycle[(start + i) % kPenCycle.size()];
      if (mask & bit) Add(x, y, pen[std::countr_zero(static_cast<unsigned>(bit))]);
    }
  }
  const std::vector<Offset>& points() const { return points_; }
  void Close() { points_.push_back(points_.front()); }

 private:
  std::vector<Offset> points_;
};

void BuildRectangle(std::span<const int32_t, 4> s, int32_t w, OutlineWriter& out) {
  auto side = SideOffsets(int64_t{s[2]} - s[0], int64_t{s[3]} - s[1], w);
  out.Add(s[0], s[1], side[0]);
  out.Add(s[0], s[1], side[1]);
  out.Add(s[2], s[3], side[1]);
  out.Add(s[2], s[3], side[0]);
}

// Sweeps the pen: the vertices behind the start, then those ahead of the end. An
// octagonal pen moving off the axes and diagonals also takes the rectangle's side
// points at each end, so that the outline covers the pen at every place along the way.
void BuildPenSweep(std::span<const int32_t, 4> s, int32_t w, int32_t h, bool octagonal,
                   OutlineWriter& out) {
  int64_t dx = int64_t{s[2]} - s[0], dy = int64_t{s[3]} - s[1];
  const PenRow& row = octagonal ? FindRow(kOctagonalRows, dx, dy) : FindRow(kSquareRows, dx, dy);
  auto pen = PenVertices(w, h, octagonal);
  bool sides = octagonal && dx != 0 && dy != 0 && std::llabs(dx) != std::llabs(dy);
  auto side = SideOffsets(dx, dy, w);
  if (sides) out.Add(s[0], s[1], side[0]);
  out.AddPen(s[0], s[1], pen, row.start_mask, row.start_first);
  if (sides) out.Add(s[0], s[1], side[1]);
  if (sides) out.Add(s[2], s[3], side[1]);
  out.AddPen(s[2], s[3], pen, row.end_mask, row.end_first);
  if (sides) out.Add(s[2], s[3], side[0]);
}

int WritePoints(const std::vector<Offset>& points, std::span<int32_t> output, int32_t& room,
                int32_t fit) {
  if (static_cast<int32_t>(points.size()) > fit) return kSweepRoomTooSmall;
  for (size_t k = 0; k < points.size(); ++k) {
    output[2 * k] = points[k].x;
    output[2 * k + 1] = points[k].y;
  }
  room = static_cast<int32_t>(points.size());
  return kSweepDone;
}

}  // namespace

int SweepSegmentOutline(std::span<const int32_t, 4> segment, int32_t width, int32_t height,
                        int mode, std::span<int32_t> output, int32_t& room) {
  int32_t fit = std::clamp<int64_t>(room, 0, static_cast<int64_t>(output.size() / 2));
  if (segment[0] == segment[2] && segment[1] == segment[3]) return kSweepEqualEnds;
  if (mode < kSweepRectangle || mode > kSweepSquarePen) return kSweepUnknownMode;
  OutlineWriter out;
  if (width == 0 && height == 0) {
    out.Add(segment[0], segment[1], {});
    out.Add(segment[2], segment[3], {});
    int result = WritePoints(out.points(), output, room, fit);
    return result == kSweepDone ? kSweepZeroPen : result;
  }
  if (mode != kSweepSquarePen) {
    if (width == 0) width = height;
    if (height == 0) height = width;
  }
  if (mode == kSweepRectangle) {
    BuildRectangle(segment, width, out);
  } else {
    BuildPenSweep(segment, width, height, mode == kSweepOctagonalPen, out);
  }
  out.Close();
  return WritePoints(out.points(), output, room, fit);
}

int ExtendSegmentEnd(std::span<int32_t, 4> segment, double distance) {
  int64_t dx = int64_t{segment[2]} - segment[0], dy = int64_t{segment[3]} - segment[1];
  if (dx == 0 && dy == 0) return -1;
  double length = std::hypot(double(dx), double(dy));
  segment[2] = RoundHalfAway(segment[2] + distance * dx / length);
  segment[3] = RoundHalfAway(segment[3] + distance * dy / length);
  return 0;
}

}  // namespace kavrinth
