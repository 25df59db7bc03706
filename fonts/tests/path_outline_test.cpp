// Tests of path outlines: butt ends, mitres, caps, bevels and early stops, the room
// limit, the closed-loop touch-up, and closure and coverage on random paths.
#include "fonts/path_outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace kavrinth {
namespace {

struct Outline {
  int result = 0;
  int32_t room = 0;
  std::vector<double> points;  // x, y pairs, room of them
};

Outline OutlineDouble(const std::vector<int32_t>& centre, int32_t width, bool joins,
                      int32_t room = 1000) {
  Outline out;
  std::vector<double> buffer(2 * 1000, -12345.0);
  out.room = room;
  out.result = PathToOutline(static_cast<int32_t>(centre.size() / 2), centre, width,
                             std::span<double>(buffer), joins, out.room);
  buffer.resize(2 * static_cast<size_t>(out.room));
  out.points = buffer;
  return out;
}

std::vector<int32_t> OutlineInt(const std::vector<int32_t>& centre, int32_t width, bool joins,
                                int& result, int32_t room = 1000) {
  std::vector<int32_t> buffer(2 * 1000, -12345);
  result = PathToOutline(static_cast<int32_t>(centre.size() / 2), centre, width,
                         std::span<int32_t>(buffer), joins, room);
  buffer.resize(2 * static_cast<size_t>(room));
  return buffer;
}

void ExpectPoints(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], 1e-6) << "value " << i;
  }
}

TEST(PathToOutline, StraightSegmentHasButtEndsAndTheEndPointBetweenTheSides) {
  int result = 0;
  std::vector<int32_t> outline = OutlineInt({0, 0, 10, 0}, 4, true, result);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(outline, (std::vector<int32_t>{0, 2, 10, 2, 10, 0, 10, -2, 0, -2, 0, 2}));

  Outline d = OutlineDouble({0, 0, 10, 0}, 4, true);
  EXPECT_EQ(d.result, 2);
  EXPECT_EQ(d.room, 6);
  ExpectPoints(d.points, {0, 2, 10, 2, 10, 0, 10, -2, 0, -2, 0, 2});
}

TEST(PathToOutline, RightAngleTurnIsMitred) {
  Outline d = OutlineDouble({0, 0, 10, 0, 10, 10}, 4, true);
  EXPECT_EQ(d.result, 3);
  ExpectPoints(d.points, {0, 2, 8, 2, 8, 10, 10, 10, 12, 10, 12, -2, 0, -2, 0, 2});

  OutlineEndCaps caps = LastOutlineEndCaps();
  EXPECT_EQ(caps.left_begin, 0);
  EXPECT_EQ(caps.left_end, 2);
  EXPECT_EQ(caps.right_begin, 4);
  EXPECT_EQ(caps.right_end, 6);
  EXPECT_EQ(caps.point_count, 8);
  EXPECT_EQ(caps.consumed, 3);
  EXPECT_EQ(caps.start_mid_x, 0);
  EXPECT_EQ(caps.start_mid_y, 0);
  EXPECT_EQ(caps.end_mid_x, 10);
  EXPECT_EQ(caps.end_mid_y, 10);
}

TEST(PathToOutline, OddWidthRoundsEachOffsetHalfAwayFromZero) {
  int result = 0;
  // Width 5: offsets of 2.5 round to 3 on the left and -3 on the right.
  std::vector<int32_t> outline = OutlineInt({0, 0, 10, 0}, 5, true, result);
  EXPECT_EQ(outline, (std::vector<int32_t>{0, 3, 10, 3, 10, 0, 10, -3, 0, -3, 0, 3}));
}

TEST(PathToOutline, ReversalStopsAtThePointWhateverTheJoinFlag) {
  for (bool joins : {true, false}) {
    Outline d = OutlineDouble({0, 0, 10, 0, 0, 0, 0, 20}, 4, joins);
    EXPECT_EQ(d.result, 2) << joins;
    ExpectPoints(d.points, {0, 2, 10, 2, 10, 0, 10, -2, 0, -2, 0, 2});
  }
}

TEST(PathToOutline, TurnSharperThan120DegreesEndsInACap) {
  // A left turn of 135 degrees at (100, 0); half width 2. The cap closes the outer
  // (right) side: -h N(v), -(h N(v) + h s v), -(h N(u) - h s u), s = sin 67.5 degrees.
  std::vector<int32_t> centre = {0, 0, 100, 0, -400, 500};
  Outline with_joins = OutlineDouble(centre, 4, true);
  EXPECT_EQ(with_joins.result, 2);
  ExpectPoints(with_joins.points, {0, 2, 100, 2, 101.4142136, 1.4142136, 102.7207765, 0.1076506,
                                   101.8477591, -2, 100, -2, 0, -2, 0, 2});

  int result = 0;
  std::vector<int32_t> ints = OutlineInt(centre, 4, true, result);
  EXPECT_EQ(ints,
            (std::vector<int32_t>{0, 2, 100, 2, 101, 1, 103, 0, 102, -2, 100, -2, 0, -2, 0, 2}));

  Outline without = OutlineDouble(centre, 4, false);
  EXPECT_EQ(without.result, 2);
  ExpectPoints(without.points, {0, 2, 100, 2, 100, 0, 100, -2, 0, -2, 0, 2});
}

TEST(PathToOutline, ThresholdLiesAt120Degrees) {
  // Turns of 119 and 121 degrees to the right, long segments so every mitre fits.
  auto turn = [](double degrees) {
    double a = -degrees * 3.141592653589793 / 180;
    return std::vector<int32_t>{0,
                                0,
                                1000,
                                0,
                                1000 + int32_t(std::lround(1000 * std::cos(a))),
                                int32_t(std::lround(1000 * std::sin(a)))};
  };
  Outline mitred = OutlineDouble(turn(119), 4, true);
  EXPECT_EQ(mitred.result, 3);
  EXPECT_EQ(mitred.room, 8);
  Outline capped = OutlineDouble(turn(121), 4, true);
  EXPECT_EQ(capped.result, 2);
  EXPECT_EQ(capped.room, 2 + 3 + 2 + 1);
}

TEST(PathToOutline, MitreThatDoesNotFitEndsInABevelOrAtThePoint) {
  // A left turn of 90 degrees onto a segment of length 1, half width 2.
  std::vector<int32_t> centre = {0, 0, 100, 0, 100, 1};
  Outline bevel = OutlineDouble(centre, 4, true);
  EXPECT_EQ(bevel.result, 2);
  ExpectPoints(bevel.points, {0, 2, 100, 2, 102, 0, 102, -2, 100, -2, 0, -2, 0, 2});

  Outline plain = OutlineDouble(centre, 4, false);
  EXPECT_EQ(plain.result, 2);
  ExpectPoints(plain.points, {0, 2, 100, 2, 100, 0, 100, -2, 0, -2, 0, 2});
}

TEST(PathToOutline, ZeroLengthInnerSegmentStopsAtItsPoint) {
  Outline d = OutlineDouble({0, 0, 10, 0, 10, 0, 20, 0}, 4, true);
  EXPECT_EQ(d.result, 2);
  ExpectPoints(d.points, {0, 2, 10, 2, 10, 0, 10, -2, 0, -2, 0, 2});
}

TEST(PathToOutline, BadInputWritesNothing) {
  struct Case {
    std::vector<int32_t> centre;
    int32_t width;
    int expected;
  } cases[] = {
      {{0, 0, 10, 0}, 0, -1},       // no width
      {{0, 0}, 4, -1},              // one point
      {{5, 5, 5, 5, 10, 0}, 4, 1},  // first segment of length 0
  };
  for (const Case& c : cases) {
    Outline d = OutlineDouble(c.centre, c.width, true);
    EXPECT_EQ(d.result, c.expected);
    EXPECT_EQ(d.room, 0);
  }
}

TEST(PathToOutline, RoomCutsTheCentreLine) {
  std::vector<int32_t> centre = {0, 0, 10, 0, 10, 10, 20, 10};
  Outline cut = OutlineDouble(centre, 4, true, 9);  // 9 points: n becomes 3
  EXPECT_EQ(cut.result, 3);
  EXPECT_EQ(cut.room, 8);
  EXPECT_EQ(OutlineDouble(centre, 4, true, 5).result, -1);  // not even two points fit

  // The room never exceeds what the output holds.
  std::vector<double> small(12);
  int32_t room = 1000;
  EXPECT_EQ(PathToOutline(4, centre, 4, std::span<double>(small), true, room), 2);
  EXPECT_EQ(room, 6);
}

TEST(PathToOutline, PathClosingOnItselfEndsHalfwayAlongItsLastSegment) {
  // Width 2: the ends lie sqrt(2) = half-width diagonal apart, so the last point moves
  // to the middle of the last segment (integer halves) and one point less is used.
  Outline d = OutlineDouble({0, 0, 100, 0, 100, 100, 0, 100, 1, 1}, 2, true);
  EXPECT_EQ(d.result, 4);
  ASSERT_EQ(d.room, 12);
  EXPECT_DOUBLE_EQ(d.points[10], 0);  // the last centre-line point, between the sides
  EXPECT_DOUBLE_EQ(d.points[11], 50);

  Outline open = OutlineDouble({0, 0, 100, 0, 100, 100, 0, 100, 2, 2}, 2, true);
  EXPECT_EQ(open.result, 5);
  EXPECT_DOUBLE_EQ(open.points[10], 2);
  EXPECT_DOUBLE_EQ(open.points[11], 2);
}

// Winding number of the polygon around (x, y); points on an edge count as inside.
bool Covers(const std::vector<double>& polygon, double x, double y) {
  int winding = 0;
  size_t n = polygon.size() / 2;
  for (size_t i = 0; i + 1 < n; ++i) {
    double x0 = polygon[2 * i], y0 = polygon[2 * i + 1];
    double x1 = polygon[2 * i + 2], y1 = polygon[2 * i + 3];
    double cross = (x1 - x0) * (y - y0) - (x - x0) * (y1 - y0);
    double length = std::hypot(x1 - x0, y1 - y0);
    bool within = (x - x0) * (x1 - x0) + (y - y0) * (y1 - y0) >= -1e-9 &&
                  (x - x1) * (x0 - x1) + (y - y1) * (y0 - y1) >= -1e-9;
    if (within && std::fabs(cross) <= 1e-7 * std::max(length, 1.0)) return true;
    if (y0 <= y && y1 > y && cross > 0) ++winding;
    if (y0 > y && y1 <= y && cross < 0) --winding;
  }
  return winding != 0;
}

TEST(PathToOutline, RandomPathsGiveClosedOutlinesCoveringTheCentreLineUsed) {
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int32_t> coordinate(-1000, 1000), width(1, 400), count(2, 12);
  int whole = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<int32_t> centre(2 * count(random));
    for (int32_t& v : centre) v = coordinate(random);
    int32_t w = width(random);
    bool joins = trial % 2 == 0;
    Outline d = OutlineDouble(centre, w, joins);
    if (d.result == 1) continue;  // a first segment of length 0
    ASSERT_GE(d.result, 2);
    if (2 * d.result == static_cast<int>(centre.size())) ++whole;
    ASSERT_LE(d.room, static_cast<int32_t>(centre.size()) + 2);
    size_t last = d.points.size() - 2;
    ASSERT_EQ(d.points[0], d.points[last]) << "trial " << trial;
    ASSERT_EQ(d.points[1], d.points[last + 1]) << "trial " << trial;
    for (int i = 0; i + 1 < d.result; ++i) {
      for (double f : {0.0, 0.25, 0.5, 0.75, 1.0}) {
        double x = centre[2 * i] + f * (centre[2 * i + 2] - centre[2 * i]);
        double y = centre[2 * i + 1] + f * (centre[2 * i + 3] - centre[2 * i + 1]);
        ASSERT_TRUE(Covers(d.points, x, y)) << "trial " << trial << " segment " << i;
      }
    }
    // The integer outline is the double one with each offset rounded.
    int result = 0;
    std::vector<int32_t> ints = OutlineInt(centre, w, joins, result);
    ASSERT_EQ(result, d.result);
    ASSERT_EQ(ints.size(), d.points.size());
    for (size_t k = 0; k < ints.size(); ++k) ASSERT_LE(std::fabs(ints[k] - d.points[k]), 0.5);
  }
  EXPECT_GT(whole, 100);  // the paths exercise whole outlines, not only early stops
}

}  // namespace
}  // namespace kavrinth
