// Tests of segment sweep outlines: the rectangle, the square and octagonal pens in
// every direction, the point counts, and the refusals.
#include "fonts/segment_sweep.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace kavrinth {
namespace {

struct Sweep {
  int result = 0;
  int32_t room = 0;
  std::vector<int32_t> points;
};

Sweep SweepOf(std::array<int32_t, 4> segment, int32_t w, int32_t h, int mode, int32_t room = 28) {
  Sweep s;
  std::vector<int32_t> buffer(2 * 28, -777);
  s.room = room;
  s.result = SweepSegmentOutline(segment, w, h, mode, buffer, s.room);
  if (s.result == kSweepDone || s.result == kSweepZeroPen) {
    buffer.resize(2 * static_cast<size_t>(s.room));
    s.points = buffer;
  }
  return s;
}

TEST(SweepSegmentOutline, RectangleHalvesAnOddWidthUnevenly) {
  Sweep even = SweepOf({0, 0, 10, 0}, 4, 0, kSweepRectangle);
  EXPECT_EQ(even.result, kSweepDone);
  EXPECT_EQ(even.points, (std::vector<int32_t>{0, 2, 0, -2, 10, -2, 10, 2, 0, 2}));

  Sweep odd = SweepOf({0, 0, 10, 0}, 5, 0, kSweepRectangle);
  EXPECT_EQ(odd.points, (std::vector<int32_t>{0, 3, 0, -2, 10, -2, 10, 3, 0, 3}));

  // Diagonal: the offsets along the unit normal are rounded.
  Sweep diagonal = SweepOf({0, 0, 10, 10}, 4, 4, kSweepRectangle);
  EXPECT_EQ(diagonal.points, (std::vector<int32_t>{-1, 1, 1, -1, 11, 9, 9, 11, -1, 1}));
}

TEST(SweepSegmentOutline, SquarePenTakesTheCornersBehindAndAhead) {
  Sweep horizontal = SweepOf({0, 0, 10, 0}, 4, 4, kSweepSquarePen);
  EXPECT_EQ(horizontal.result, kSweepDone);
  EXPECT_EQ(horizontal.points, (std::vector<int32_t>{-2, 2, -2, -2, 12, -2, 12, 2, -2, 2}));

  Sweep diagonal = SweepOf({0, 0, 10, 10}, 4, 4, kSweepSquarePen);
  EXPECT_EQ(diagonal.points,
            (std::vector<int32_t>{-2, 2, -2, -2, 2, -2, 12, 8, 12, 12, 8, 12, -2, 2}));

  // An odd size puts the extra unit on the positive side.
  Sweep odd = SweepOf({0, 0, 0, 10}, 5, 3, kSweepSquarePen);
  EXPECT_EQ(odd.points, (std::vector<int32_t>{-2, -1, 3, -1, 3, 12, -2, 12, -2, -1}));
}

TEST(SweepSegmentOutline, OctagonalPenAlongAnAxis) {
  // Width 10: diagonal vertices at round(10 / sqrt 2 / 2) = 4.
  Sweep s = SweepOf({0, 0, 20, 0}, 10, 10, kSweepOctagonalPen);
  EXPECT_EQ(s.result, kSweepDone);
  EXPECT_EQ(s.points, (std::vector<int32_t>{0,  5,  -4, 4,  -5, 0,  -4, -4, 0, -5, 20,
                                            -5, 24, -4, 25, 0,  24, 4,  20, 5, 0,  5}));
}

TEST(SweepSegmentOutline, PointCountsFollowThePenAndDirection) {
  struct Case {
    std::array<int32_t, 4> segment;
    int mode;
    int32_t points;
  } cases[] = {
      {{0, 0, 10, 0}, kSweepRectangle, 5},      {{0, 0, 7, 3}, kSweepRectangle, 5},
      {{0, 0, 0, -9}, kSweepSquarePen, 5},      {{0, 0, -7, 3}, kSweepSquarePen, 7},
      {{0, 0, -9, 0}, kSweepOctagonalPen, 11},  {{0, 0, 0, 9}, kSweepOctagonalPen, 11},
      {{0, 0, -6, 6}, kSweepOctagonalPen, 11},  {{0, 0, 6, -6}, kSweepOctagonalPen, 11},
      {{0, 0, 9, 4}, kSweepOctagonalPen, 13},   {{0, 0, -4, -9}, kSweepOctagonalPen, 13},
      {{0, 0, -9, -4}, kSweepOctagonalPen, 13}, {{0, 0, 4, -9}, kSweepOctagonalPen, 13},
  };
  for (const Case& c : cases) {
    Sweep s = SweepOf(c.segment, 10, 10, c.mode);
    EXPECT_EQ(s.result, kSweepDone);
    EXPECT_EQ(s.room, c.points) << c.segment[2] << "," << c.segment[3] << " mode " << c.mode;
    // Exactly the points needed is enough room; one less is not.
    EXPECT_EQ(SweepOf(c.segment, 10, 10, c.mode, c.points).result, kSweepDone);
    EXPECT_EQ(SweepOf(c.segment, 10, 10, c.mode, c.points - 1).result, kSweepRoomTooSmall);
  }
}

// The signed area of the closed outline: positive when counter-clockwise.
double SignedArea(const std::vector<int32_t>& p) {
  double area = 0;
  for (size_t i = 0; i + 3 < p.size(); i += 2) {
    area += double(p[i]) * p[i + 3] - double(p[i + 2]) * p[i + 1];
  }
  return area / 2;
}

// Inside or on the boundary of a counter-clockwise convex polygon.
bool InsideConvex(const std::vector<int32_t>& p, double x, double y) {
  for (size_t i = 0; i + 3 < p.size(); i += 2) {
    double cross =
        double(p[i + 2] - p[i]) * (y - p[i + 1]) - (x - p[i]) * double(p[i + 3] - p[i + 1]);
    if (cross < -1e-9) return false;
  }
  return true;
}

TEST(SweepSegmentOutline, PensCoverTheirShapeAtBothEndsInEveryDirection) {
  // Pen outlines as the pens are defined: the square's four corners, the octagon's
  // eight vertices (w = h = 20: diagonals at round(20 / sqrt 2 / 2) = 7).
  const std::vector<std::array<int32_t, 2>> square = {{-10, -10}, {10, -10}, {10, 10}, {-10, 10}};
  const std::vector<std::array<int32_t, 2>> octagon = {{-7, -7}, {0, -10}, {7, -7}, {10, 0},
                                                       {7, 7},   {0, 10},  {-7, 7}, {-10, 0}};
  for (int degrees = 0; degrees < 360; degrees += 5) {
    double a = degrees * 3.141592653589793 / 180;
    std::array<int32_t, 4> segment = {100, 100, 100 + int32_t(std::lround(60 * std::cos(a))),
                                      100 + int32_t(std::lround(60 * std::sin(a)))};
    for (int mode : {kSweepSquarePen, kSweepOctagonalPen}) {
      Sweep s = SweepOf(segment, 20, 20, mode);
      ASSERT_EQ(s.result, kSweepDone) << degrees;
      size_t n = s.points.size();
      ASSERT_EQ(s.points[0], s.points[n - 2]);
      ASSERT_EQ(s.points[1], s.points[n - 1]);
      EXPECT_GT(SignedArea(s.points), 0) << degrees << " mode " << mode;
      const auto& pen = mode == kSweepSquarePen ? square : octagon;
      for (int end : {0, 2}) {
        for (const auto& v : pen) {
          EXPECT_TRUE(InsideConvex(s.points, segment[end] + v[0], segment[end + 1] + v[1]))
              << degrees << " degrees, mode " << mode << ", vertex " << v[0] << "," << v[1];
        }
      }
    }
  }
}

TEST(SweepSegmentOutline, ZeroPenGivesTheSegmentItself) {
  Sweep s = SweepOf({1, 2, 30, 40}, 0, 0, kSweepOctagonalPen);
  EXPECT_EQ(s.result, kSweepZeroPen);
  EXPECT_EQ(s.points, (std::vector<int32_t>{1, 2, 30, 40}));
  EXPECT_EQ(SweepOf({1, 2, 30, 40}, 0, 0, kSweepRectangle, 1).result, kSweepRoomTooSmall);
}

TEST(SweepSegmentOutline, MissingSizeTakesTheOtherForRectangleAndOctagon) {
  EXPECT_EQ(SweepOf({0, 0, 20, 0}, 0, 10, kSweepOctagonalPen).points,
            SweepOf({0, 0, 20, 0}, 10, 10, kSweepOctagonalPen).points);
  EXPECT_EQ(SweepOf({0, 0, 20, 0}, 0, 4, kSweepRectangle).points,
            SweepOf({0, 0, 20, 0}, 4, 4, kSweepRectangle).points);
  // The square pen keeps a zero width: it sweeps a vertical line.
  EXPECT_EQ(SweepOf({0, 0, 20, 0}, 0, 4, kSweepSquarePen).points,
            (std::vector<int32_t>{0, 2, 0, -2, 20, -2, 20, 2, 0, 2}));
}

TEST(SweepSegmentOutline, RefusalsWriteNothing) {
  std::vector<int32_t> buffer(56, -777);
  struct Case {
    std::array<int32_t, 4> segment;
    int mode;
    int32_t room;
    int expected;
  } cases[] = {
      {{5, 5, 5, 5}, kSweepOctagonalPen, 28, kSweepEqualEnds},
      {{0, 0, 10, 0}, kSweepRectangle, 4, kSweepRoomTooSmall},
      {{0, 0, 10, 0}, 3, 28, kSweepUnknownMode},
      {{0, 0, 10, 0}, -1, 28, kSweepUnknownMode},
  };
  for (const Case& c : cases) {
    int32_t room = c.room;
    EXPECT_EQ(SweepSegmentOutline(c.segment, 10, 10, c.mode, buffer, room), c.expected);
    EXPECT_EQ(room, c.room);
    EXPECT_EQ(buffer, std::vector<int32_t>(56, -777));
  }
  // The room never exceeds what the output holds.
  std::vector<int32_t> small(8);
  int32_t room = 28;
  EXPECT_EQ(
      SweepSegmentOutline(std::array<int32_t, 4>{0, 0, 10, 0}, 4, 4, kSweepRectangle, small, room),
      kSweepRoomTooSmall);
}

TEST(ExtendSegmentEnd, MovesTheEndOnAlongTheSegment) {
  std::array<int32_t, 4> slanted = {0, 0, 3, 4};
  EXPECT_EQ(ExtendSegmentEnd(slanted, 5), 0);
  EXPECT_EQ(slanted, (std::array<int32_t, 4>{0, 0, 6, 8}));

  std::array<int32_t, 4> down = {0, 0, 0, -10};
  EXPECT_EQ(ExtendSegmentEnd(down, 2.5), 0);
  EXPECT_EQ(down, (std::array<int32_t, 4>{0, 0, 0, -13}));  // -12.5 rounds away from zero

  std::array<int32_t, 4> point = {4, 4, 4, 4};
  EXPECT_EQ(ExtendSegmentEnd(point, 3), -1);
  EXPECT_EQ(point, (std::array<int32_t, 4>{4, 4, 4, 4}));
}

}  // namespace
}  // namespace kavrinth
