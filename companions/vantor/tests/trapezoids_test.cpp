// Tests of the trapezoid decomposition: fixed shapes with known pieces, random
// Manhattan and angled polygons (with cut-line holes) checked by area and by
// point coverage, the table limit, the range of PG coordinates and large input.
#include "companions/vantor/trapezoids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace kavrinth {
namespace {

using Ring = std::vector<int32_t>;  // x, y pairs; the closing point repeated
using Corners = std::array<int32_t, 8>;

Ring Closed(Ring ring) {
  ring.push_back(ring[0]);
  ring.push_back(ring[1]);
  return ring;
}

Ring Reversed(const Ring& ring) {
  Ring reversed;
  for (size_t i = ring.size(); i >= 2; i -= 2) {
    reversed.push_back(ring[i - 2]);
    reversed.push_back(ring[i - 1]);
  }
  return reversed;
}

struct Decomposition {
  DecomposeResult result;
  std::vector<PgTrapezoid> trapezoids;
};

Decomposition Decompose(TrapezoidDecomposer& decomposer, const Ring& ring, size_t capacity,
                        double scale = 1.0) {
  Decomposition out;
  out.trapezoids.resize(capacity);
  out.result = decomposer.Decompose(ring, scale, out.trapezoids);
  out.trapezoids.resize(static_cast<size_t>(out.result.filled));
  return out;
}

Decomposition Decompose(const Ring& ring, size_t capacity = 100000, double scale = 1.0) {
  TrapezoidDecomposer decomposer;
  return Decompose(decomposer, ring, capacity, scale);
}

std::vector<Corners> SortedCorners(const std::vector<PgTrapezoid>& trapezoids) {
  std::vector<Corners> corners;
  for (const PgTrapezoid& t : trapezoids) {
    Corners c;
    std::copy(std::begin(t.xy), std::end(t.xy), c.begin());
    corners.push_back(c);
  }
  std::sort(corners.begin(), corners.end());
  return corners;
}

// Shoelace area, positive for counter-clockwise rings.
double RingArea(const Ring& ring) {
  double twice = 0;
  size_t n = ring.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    size_t j = (i + 1) % n;
    twice += static_cast<double>(ring[2 * i]) * ring[2 * j + 1] -
             static_cast<double>(ring[2 * j]) * ring[2 * i + 1];
  }
  return twice / 2;
}

double TrapezoidArea(const PgTrapezoid& t) {
  double bottom = static_cast<double>(t.xy[2]) - t.xy[0];
  double top = static_cast<double>(t.xy[4]) - t.xy[6];
  return (bottom + top) / 2 * (static_cast<double>(t.xy[5]) - t.xy[1]);
}

double TrapezoidHeight(const PgTrapezoid& t) { return static_cast<double>(t.xy[5]) - t.xy[1]; }

// Horizontal bottom (corners 0, 1) and top (2, 3), corner 0 lower left, going
// counter-clockwise, of positive height and not of zero width at both ends.
::testing::AssertionResult WellFormed(const PgTrapezoid& t) {
  const int32_t* c = t.xy;
  bool ok = c[1] == c[3] && c[5] == c[7] && c[1] < c[5] && c[0] <= c[2] && c[6] <= c[4] &&
            (c[0] < c[2] || c[6] < c[4]);
  if (ok) return ::testing::AssertionSuccess();
  std::string text;
  for (int32_t v : t.xy) text += std::to_string(v) + " ";
  return ::testing::AssertionFailure() << "malformed trapezoid: " << text;
}

// Strictly inside the trapezoid (corners in PG units divided by `scale`).
bool Contains(const PgTrapezoid& t, double px, double py, double scale = 1.0) {
  for (int i = 0; i < 4; ++i) {
    int j = (i + 1) % 4;
    double ax = t.xy[2 * i] / scale, ay = t.xy[2 * i + 1] / scale;
    double bx = t.xy[2 * j] / scale, by = t.xy[2 * j + 1] / scale;
    if (ax == bx && ay == by) continue;
    if ((bx - ax) * (py - ay) - (by - ay) * (px - ax) <= 0) return false;
  }
  return true;
}

int CoveringCount(const std::vector<PgTrapezoid>& trapezoids, double px, double py) {
  return static_cast<int>(std::count_if(trapezoids.begin(), trapezoids.end(),
                                        [&](const PgTrapezoid& t) { return Contains(t, px, py); }));
}

int WindingNumber(const Ring& ring, double px, double py) {
  int winding = 0;
  size_t n = ring.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    size_t j = (i + 1) % n;
    double ax = ring[2 * i], ay = ring[2 * i + 1], bx = ring[2 * j], by = ring[2 * j + 1];
    double side = (bx - ax) * (py - ay) - (by - ay) * (px - ax);
    if (ay <= py && by > py && side > 0) ++winding;
    if (ay > py && by <= py && side < 0) --winding;
  }
  return winding;
}

double DistanceToRing(const Ring& ring, double px, double py) {
  double best = std::numeric_limits<double>::infinity();
  size_t n = ring.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    size_t j = (i + 1) % n;
    double ax = ring[2 * i], ay = ring[2 * i + 1], bx = ring[2 * j], by = ring[2 * j + 1];
    double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    double t = length2 == 0 ? 0 : std::clamp(((px - ax) * dx + (py - ay) * dy) / length2, 0.0, 1.0);
    best = std::min(best, std::hypot(px - ax - t * dx, py - ay - t * dy));
  }
  return best;
}

// Random points of the ring's surroundings, away from its edges by more than
// one unit, lie in exactly one trapezoid when the winding number is not zero
// and in none otherwise. Returns how many points were checked.
int CheckCoverage(const Ring& ring, const std::vector<PgTrapezoid>& trapezoids,
                  std::mt19937& random, int samples) {
  int32_t low_x = ring[0], high_x = ring[0], low_y = ring[1], high_y = ring[1];
  for (size_t i = 0; i < ring.size(); i += 2) {
    low_x = std::min(low_x, ring[i]);
    high_x = std::max(high_x, ring[i]);
    low_y = std::min(low_y, ring[i + 1]);
    high_y = std::max(high_y, ring[i + 1]);
  }
  std::uniform_real_distribution<double> x(low_x - 5.0, high_x + 5.0), y(low_y - 5.0, high_y + 5.0);
  int checked = 0;
  for (int i = 0; i < samples; ++i) {
    double px = x(random), py = y(random);
    if (DistanceToRing(ring, px, py) <= 1.0) continue;
    int expected = WindingNumber(ring, px, py) != 0 ? 1 : 0;
    int covering = CoveringCount(trapezoids, px, py);
    if (covering != expected) {
      ADD_FAILURE() << "point (" << px << ", " << py << ") lies in " << covering
                    << " trapezoid(s), expected " << expected;
      return checked;
    }
    ++checked;
  }
  return checked;
}

// ---------------------------------------------------------------------------
// Fixed shapes

struct FixedCase {
  const char* name;
  Ring ring;
  std::vector<Corners> expected;
};

void PrintTo(const FixedCase& c, std::ostream* os) { *os << c.name; }

class FixedShapeTest : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedShapeTest, GivesExactlyTheExpectedTrapezoids) {
  const FixedCase& c = GetParam();
  for (const Ring& ring : {c.ring, Reversed(c.ring)}) {
    Decomposition d = Decompose(ring);
    EXPECT_EQ(d.result.status, DecomposeStatus::kComplete);
    EXPECT_FALSE(d.result.out_of_range);
    EXPECT_EQ(SortedCorners(d.trapezoids), c.expected) << c.name;
  }
}

const FixedCase kFixedCases[] = {
    {"rectangle", Closed({0, 0, 10, 0, 10, 5, 0, 5}), {{0, 0, 10, 0, 10, 5, 0, 5}}},
    {"triangle", Closed({0, 0, 10, 0, 5, 10}), {{0, 0, 10, 0, 5, 10, 5, 10}}},
    {"L shape",
     Closed({0, 0, 10, 0, 10, 4, 4, 4, 4, 10, 0, 10}),
     {{0, 0, 10, 0, 10, 4, 0, 4}, {0, 4, 4, 4, 4, 10, 0, 10}}},
    // The right edge crosses y = 5 at x = 3.5 (-3.5 mirrored): rounded away from zero.
    {"slanted edge rounded half away from zero",
     Closed({0, 0, 7, 0, 0, 10, -3, 5}),
     {{-3, 5, 4, 5, 0, 10, 0, 10}, {0, 0, 7, 0, 4, 5, -3, 5}}},
    {"slanted edge rounded half away from zero, mirrored",
     Closed({0, 0, 3, 5, 0, 10, -7, 0}),
     {{-7, 0, 0, 0, 3, 5, -4, 5}, {-4, 5, 3, 5, 0, 10, 0, 10}}},
    // A hole joined to the outline by a vertical cut line at x = 5: the two
    // coincident cut edges do not split the part below the hole.
    {"square with a hole made by cut lines",
     Closed({0, 0, 5, 0, 5, 4, 4, 4, 4, 6, 6, 6, 6, 4, 5, 4, 5, 0, 10, 0, 10, 10, 0, 10}),
     {{0, 0, 10, 0, 10, 4, 0, 4},
      {0, 4, 4, 4, 4, 6, 0, 6},
      {0, 6, 10, 6, 10, 10, 0, 10},
      {6, 4, 10, 4, 10, 6, 6, 6}}},
    // Two squares in one ring, joined by a slanted cut: the overlap is covered once.
    {"self-overlapping squares under nonzero winding",
     Closed({0, 0, 10, 0, 10, 10, 0, 10, 0, 0, 5, 5, 15, 5, 15, 15, 5, 15, 5, 5}),
     {{0, 0, 10, 0, 10, 5, 0, 5}, {0, 5, 15, 5, 15, 10, 0, 10}, {5, 10, 15, 10, 15, 15, 5, 15}}},
    // The edges cross at (5, 5), which is no vertex: the slab is cut there.
    {"bow tie",
     Closed({0, 0, 10, 10, 10, 0, 0, 10}),
     {{0, 0, 0, 0, 5, 5, 0, 5},
      {0, 5, 5, 5, 0, 10, 0, 10},
      {5, 5, 10, 5, 10, 10, 10, 10},
      {10, 0, 10, 0, 10, 5, 5, 5}}},
    // The left arm keeps its two edges across the slab the right arm ends in.
    {"U shape with a trapezoid carried across slabs",
     Closed({0, 0, 10, 0, 10, 6, 7, 6, 7, 3, 3, 3, 3, 10, 0, 10}),
     {{0, 0, 10, 0, 10, 3, 0, 3}, {0, 3, 3, 3, 3, 10, 0, 10}, {7, 3, 10, 3, 10, 6, 7, 6}}},
    {"square with a zero-width spike",
     Closed({0, 0, 10, 0, 10, 10, 5, 10, 5, 20, 5, 10, 0, 10}),
     {{0, 0, 10, 0, 10, 10, 0, 10}}},
    {"only horizontal edges", Closed({0, 0, 10, 0, 5, 0}), {}},
    {"the extremes of int32",
     Closed({std::numeric_limits<int32_t>::min(), -1, std::numeric_limits<int32_t>::max(), -1,
             std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
             std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}),
     {{std::numeric_limits<int32_t>::min(), -1, std::numeric_limits<int32_t>::max(), -1,
       std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
       std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}}},
};

INSTANTIATE_TEST_SUITE_P(Shapes, FixedShapeTest, ::testing::ValuesIn(kFixedCases),
                         [](const ::testing::TestParamInfo<FixedCase>& info) {
                           std::string name = info.param.name;
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char ch) {
                                 return !std::isalnum(static_cast<unsigned char>(ch));
                               },
                               '_');
                           return name;
                         });

TEST(TrapezoidScaleTest, CornersAreScaledToPgUnitsAndRounded) {
  // 0.5 and 1.5 database units at 3 PG units each: 1.5 -> 2 and 4.5 -> 5.
  Ring ring = Closed({1, 2, 3, 2, 3, 4, 1, 4});
  EXPECT_EQ(SortedCorners(Decompose(ring, 10, 10.0).trapezoids),
            (std::vector<Corners>{{10, 20, 30, 20, 30, 40, 10, 40}}));
  Ring slanted = Closed({0, 0, 1, 0, 0, 1});
  EXPECT_EQ(SortedCorners(Decompose(slanted, 10, 1.5).trapezoids),
            (std::vector<Corners>{{0, 0, 2, 0, 0, 2, 0, 2}}));
}

TEST(TrapezoidScaleTest, SlabsThatRoundToZeroHeightAreLeftOut) {
  // At 0.1 PG units per database unit the slab from 0 to 4 rounds to height 0.
  Ring ring = Closed({0, 0, 100, 0, 100, 4, 50, 4, 50, 100, 0, 100});
  Decomposition d = Decompose(ring, 10, 0.1);
  ASSERT_EQ(d.trapezoids.size(), 1u);
  EXPECT_EQ(SortedCorners(d.trapezoids), (std::vector<Corners>{{0, 0, 5, 0, 5, 10, 0, 10}}));
}

TEST(TrapezoidRangeTest, CornersOutsideInt32AreLeftOutAndReported) {
  // The wide bottom part reaches 3e9 PG units; the narrow top part fits.
  Ring ring = Closed({0, 0, 2000000000, 0, 2000000000, 10, 10, 10, 10, 20, 0, 20});
  Decomposition d = Decompose(ring, 10, 1.5);
  EXPECT_TRUE(d.result.out_of_range);
  EXPECT_EQ(d.result.status, DecomposeStatus::kComplete);
  EXPECT_EQ(SortedCorners(d.trapezoids), (std::vector<Corners>{{0, 15, 15, 15, 15, 30, 0, 30}}));

  Decomposition negative = Decompose(Closed({-2000000000, 0, 0, 0, 0, 10, -2000000000, 10}), 10, 2);
  EXPECT_TRUE(negative.result.out_of_range);
  EXPECT_TRUE(negative.trapezoids.empty());
}

// ---------------------------------------------------------------------------
// The table limit

// A comb: a base with `teeth` teeth of growing height standing on it.
Ring Comb(int teeth) {
  Ring ring = {0, 0, 2 * teeth - 1, 0};
  for (int i = teeth - 1; i >= 0; --i) {
    int height = 2 + i;
    ring.insert(ring.end(), {2 * i + 1, height, 2 * i, height});
    if (i > 0) ring.insert(ring.end(), {2 * i, 1, 2 * i - 1, 1});
  }
  return Closed(ring);
}

TEST(TrapezoidTableTest, FillsTheTableAndReportsAPolygonThatNeedsMore) {
  Ring comb = Comb(10);
  Decomposition full = Decompose(comb);
  ASSERT_EQ(full.result.status, DecomposeStatus::kComplete);
  auto needed = full.trapezoids.size();
  ASSERT_GT(needed, 10u);
  EXPECT_DOUBLE_EQ(
      std::accumulate(full.trapezoids.begin(), full.trapezoids.end(), 0.0,
                      [](double sum, const PgTrapezoid& t) { return sum + TrapezoidArea(t); }),
      RingArea(comb));

  for (size_t capacity : {needed, needed - 1, size_t{4}, size_t{1}, size_t{0}}) {
    SCOPED_TRACE("capacity " + std::to_string(capacity));
    // The table is larger than the capacity given: nothing may go beyond it.
    std::vector<PgTrapezoid> table(capacity + 2);
    for (PgTrapezoid& t : table) std::fill(std::begin(t.xy), std::end(t.xy), -7);
    TrapezoidDecomposer decomposer;
    DecomposeResult result = decomposer.Decompose(comb, 1.0, std::span(table.data(), capacity));
    EXPECT_EQ(result.status,
              capacity >= needed ? DecomposeStatus::kComplete : DecomposeStatus::kTableFull);
    EXPECT_EQ(static_cast<size_t>(result.filled), capacity);
    for (size_t i = capacity; i < table.size(); ++i) EXPECT_EQ(table[i].xy[0], -7);
    table.resize(capacity);
    // What is returned are disjoint pieces of the polygon.
    for (const PgTrapezoid& t : table) {
      EXPECT_TRUE(WellFormed(t));
      double cx = (t.xy[0] + t.xy[2] + t.xy[4] + t.xy[6]) / 4.0;
      double cy = (t.xy[1] + t.xy[5]) / 2.0;
      EXPECT_NE(WindingNumber(comb, cx, cy), 0);
      EXPECT_EQ(CoveringCount(table, cx, cy), 1);
    }
  }
}

// ---------------------------------------------------------------------------
// Random polygons

// An x-monotone Manhattan polygon: columns with random bottoms and tops that
// all keep clear of the band |y| < 20; optionally a rectangular hole in that
// band, joined to the bottom outline by a vertical cut line.
Ring RandomManhattan(std::mt19937& random, bool with_hole) {
  std::uniform_int_distribution<int> columns(1, 12), width(1, 40), reach(20, 80);
  int count = columns(random);
  std::vector<int32_t> xs = {-300 + width(random)};
  std::vector<int32_t> bottoms, tops;
  for (int i = 0; i < count; ++i) {
    xs.push_back(xs.back() + width(random));
    bottoms.push_back(-reach(random));
    tops.push_back(reach(random));
  }
  Ring hole_part;
  int hole_column = -1;
  if (with_hole && xs.back() - xs.front() >= 6) {
    std::uniform_int_distribution<int32_t> cut(xs.front() + 2, xs.back() - 2);
    int32_t c = cut(random);
    if (std::find(xs.begin(), xs.end(), c) == xs.end()) {
      hole_column = static_cast<int>(std::upper_bound(xs.begin(), xs.end(), c) - xs.begin()) - 1;
      std::uniform_int_distribution<int32_t> left(xs.front() + 1, c - 1),
          right(c + 1, xs.back() - 1);
      std::uniform_int_distribution<int32_t> low(-19, -2), high(2, 19);
      int32_t hx0 = left(random), hx1 = right(random), hy0 = low(random), hy1 = high(random);
      // Up the cut, once round the hole clockwise, down the cut.
      hole_part = {c, bottoms[hole_column], c, hy0, hx0, hy0, hx0, hy1, hx1, hy1, hx1, hy0, c, hy0,
                   c, bottoms[hole_column]};
    }
  }
  Ring ring;
  for (int i = 0; i < count; ++i) {
    ring.insert(ring.end(), {xs[i], bottoms[i]});
    if (i == hole_column) ring.insert(ring.end(), hole_part.begin(), hole_part.end());
    ring.insert(ring.end(), {xs[i + 1], bottoms[i]});
  }
  for (int i = count - 1; i >= 0; --i)
    ring.insert(ring.end(), {xs[i + 1], tops[i], xs[i], tops[i]});
  return Closed(ring);
}

// A star-shaped polygon around a random centre: at least 8 vertices at angles
// spread round the circle and radii from 200 to 1000, so that it holds a disc of
// radius 140; optionally a star-shaped hole inside that disc, gone round
// clockwise and joined to the first vertex by a cut line along its ray.
Ring RandomStar(std::mt19937& random, bool with_hole) {
  std::uniform_int_distribution<int> vertices(8, 40), centre(-5000, 5000);
  std::uniform_real_distribution<double> spread(0.1, 0.9), outer(200, 1000), inner(40, 100);
  double cx = centre(random), cy = centre(random);
  Ring ring;
  auto add = [&](double angle, double radius) {
    ring.push_back(static_cast<int32_t>(std::lround(cx + radius * std::cos(angle))));
    ring.push_back(static_cast<int32_t>(std::lround(cy + radius * std::sin(angle))));
  };
  int n = vertices(random);
  double first = 2 * std::numbers::pi * spread(random) / n;
  add(first, outer(random));
  for (int i = 1; i < n; ++i) add(2 * std::numbers::pi * (i + spread(random)) / n, outer(random));
  if (with_hole) {
    ring.insert(ring.end(), {ring[0], ring[1]});
    size_t hole_start = ring.size();
    int m = vertices(random);
    add(first, inner(random));
    for (int j = 1; j < m; ++j)
      add(first - 2 * std::numbers::pi * (j + spread(random)) / m, inner(random));
    ring.insert(ring.end(), {ring[hole_start], ring[hole_start + 1]});
  }
  return Closed(ring);
}

struct RandomCase {
  const char* name;
  Ring (*make)(std::mt19937&, bool);
  bool with_hole;
  bool manhattan;
};

void PrintTo(const RandomCase& c, std::ostream* os) { *os << c.name; }

class RandomPolygonTest : public ::testing::TestWithParam<RandomCase> {};

TEST_P(RandomPolygonTest, TrapezoidsCoverThePolygonExactly) {
  const RandomCase& c = GetParam();
  std::mt19937 random(20240611);
  TrapezoidDecomposer decomposer;  // one for all polygons: its buffers are reused
  int points_checked = 0;
  for (int polygon = 0; polygon < 150; ++polygon) {
    Ring ring = c.make(random, c.with_hole);
    SCOPED_TRACE("polygon " + std::to_string(polygon));
    Decomposition d = Decompose(decomposer, ring, 20000);
    ASSERT_EQ(d.result.status, DecomposeStatus::kComplete);
    ASSERT_FALSE(d.result.out_of_range);
    double area = 0, slack = 0;
    for (const PgTrapezoid& t : d.trapezoids) {
      ASSERT_TRUE(WellFormed(t));
      area += TrapezoidArea(t);
      slack += TrapezoidHeight(t);  // each slanted side's corners move by half a unit at most
    }
    // The signed area of the ring counts a cut-line hole negatively.
    double expected = std::abs(RingArea(ring));
    if (c.manhattan) {
      EXPECT_EQ(area, expected);
    } else {
      EXPECT_NEAR(area, expected, slack);
    }
    points_checked += CheckCoverage(ring, d.trapezoids, random, 60);
    if (HasFailure()) return;
  }
  EXPECT_GT(points_checked, 150 * 20);
}

INSTANTIATE_TEST_SUITE_P(
    Polygons, RandomPolygonTest,
    ::testing::Values(RandomCase{"Manhattan", RandomManhattan, false, true},
                      RandomCase{"ManhattanWithHole", RandomManhattan, true, true},
                      RandomCase{"Angled", RandomStar, false, false},
                      RandomCase{"AngledWithHole", RandomStar, true, false}),
    [](const ::testing::TestParamInfo<RandomCase>& info) { return std::string(info.param.name); });

// Rings of random points cross themselves everywhere: every crossing cuts a
// slab, and the nonzero rule decides what is covered.
TEST(SelfCrossingTest, RandomTanglesAreCoveredByTheNonzeroRule) {
  std::mt19937 random(77);
  std::uniform_int_distribution<int32_t> coordinate(-500, 500);
  std::uniform_int_distribution<int> sizes(4, 16);
  TrapezoidDecomposer decomposer;
  for (int polygon = 0; polygon < 100; ++polygon) {
    Ring ring;
    for (int i = sizes(random); i > 0; --i)
      ring.insert(ring.end(), {coordinate(random), coordinate(random)});
    ring = Closed(ring);
    SCOPED_TRACE("polygon " + std::to_string(polygon));
    Decomposition d = Decompose(decomposer, ring, 20000);
    ASSERT_EQ(d.result.status, DecomposeStatus::kComplete);
    for (const PgTrapezoid& t : d.trapezoids) ASSERT_TRUE(WellFormed(t));
    CheckCoverage(ring, d.trapezoids, random, 100);
    if (HasFailure()) return;
  }
}

TEST(SelfCrossingTest, PentagramIsFilledWholeUnderNonzero) {
  Ring ring;
  for (int i = 0; i < 5; ++i) {
    double angle = std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
    ring.insert(ring.end(), {static_cast<int32_t>(std::lround(1000 * std::cos(angle))),
                             static_cast<int32_t>(std::lround(1000 * std::sin(angle)))});
  }
  ring = Closed(ring);
  Decomposition d = Decompose(ring);
  ASSERT_EQ(d.result.status, DecomposeStatus::kComplete);
  for (const PgTrapezoid& t : d.trapezoids) EXPECT_TRUE(WellFormed(t));
  EXPECT_EQ(CoveringCount(d.trapezoids, 0.5, 0.5), 1);  // the centre has winding number 2
  std::mt19937 random(5);
  EXPECT_GT(CheckCoverage(ring, d.trapezoids, random, 2000), 1000);
}

TEST(SelfCrossingTest, ARingFoldedBackAlongASlantedEdge) {
  // The edge from (21, 49) to (3, 7) runs back over part of the edge from the
  // origin to (30, 70): coincident slanted edges must not cut slabs of their own.
  Ring ring = Closed({0, 0, 30, 70, 30, 80, 21, 49, 3, 7, 0, 10});
  Decomposition d = Decompose(ring);
  ASSERT_EQ(d.result.status, DecomposeStatus::kComplete);
  for (const PgTrapezoid& t : d.trapezoids) EXPECT_TRUE(WellFormed(t));
  std::mt19937 random(9);
  EXPECT_GT(CheckCoverage(ring, d.trapezoids, random, 4000), 500);
}

TEST(SelfCrossingTest, CrossingAtTheExtremesOfInt32) {
  constexpr int32_t kLow = std::numeric_limits<int32_t>::min();
  constexpr int32_t kHigh = std::numeric_limits<int32_t>::max();
  Decomposition d = Decompose(Closed({kLow, kLow, kHigh, kHigh, kHigh, kLow, kLow, kHigh}));
  ASSERT_EQ(d.result.status, DecomposeStatus::kComplete);
  EXPECT_FALSE(d.result.out_of_range);
  ASSERT_EQ(d.trapezoids.size(), 4u);
  double area = 0;
  for (const PgTrapezoid& t : d.trapezoids) {
    EXPECT_TRUE(WellFormed(t));
    area += TrapezoidArea(t);
  }
  double side = static_cast<double>(kHigh) - kLow;
  EXPECT_NEAR(area, side * side / 2, side * 2);
}

// ---------------------------------------------------------------------------
// Large polygons

// A star of `points` vertices round the origin with radii up to 1e6 less a
// random part of `jitter`: every vertex has its own y.
Ring JaggedStar(int points, double jitter) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> radius(1000000 - jitter, 1000000);
  Ring ring;
  for (int i = 0; i < points; ++i) {
    double angle = 2 * std::numbers::pi * i / points;
    double r = radius(random);
    ring.insert(ring.end(), {static_cast<int32_t>(std::lround(r * std::cos(angle))),
                             static_cast<int32_t>(std::lround(r * std::sin(angle)))});
  }
  return Closed(ring);
}

TEST(LargePolygonTest, HundredsOfThousandsOfPoints) {
  Ring ring = JaggedStar(300000, 50);
  TrapezoidDecomposer decomposer;
  Decomposition whole = Decompose(decomposer, ring, 1000000);
  ASSERT_EQ(whole.result.status, DecomposeStatus::kComplete);
  double area = 0, slack = 0;
  for (const PgTrapezoid& t : whole.trapezoids) {
    area += TrapezoidArea(t);
    slack += TrapezoidHeight(t);
  }
  EXPECT_NEAR(area, RingArea(ring), slack);
  std::mt19937 random(11);
  EXPECT_GT(CheckCoverage(ring, whole.trapezoids, random, 40), 10);

  Decomposition limited = Decompose(decomposer, ring, 8192);
  EXPECT_EQ(limited.result.status, DecomposeStatus::kTableFull);
  EXPECT_EQ(limited.result.filled, 8192);
}

TEST(LargePolygonTest, SpikyStarAgainstTheEngineTable) {
  // Spikes 100000 units long and 20 wide: thousands of edges cross every slab.
  Ring ring = JaggedStar(300000, 100000);
  TrapezoidDecomposer decomposer;
  Decomposition d = Decompose(decomposer, ring, 8192);
  EXPECT_EQ(d.result.status, DecomposeStatus::kTableFull);
  EXPECT_EQ(d.result.filled, 8192);
  for (const PgTrapezoid& t : d.trapezoids) ASSERT_TRUE(WellFormed(t));
}

TEST(LargePolygonTest, CombFarBeyondTheTable) {
  // 100000 teeth open at once: the sweep must stop once the table cannot hold them.
  Ring comb = Comb(100000);
  TrapezoidDecomposer decomposer;
  auto start = std::chrono::steady_clock::now();
  Decomposition d = Decompose(decomposer, comb, 8192);
  // Tens of milliseconds when the sweep stops early, tens of seconds when it
  // goes on slab by slab past 200000 open edges.
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_EQ(d.result.status, DecomposeStatus::kTableFull);
  EXPECT_EQ(d.result.filled, 8192);
  for (const PgTrapezoid& t : d.trapezoids) ASSERT_TRUE(WellFormed(t));
}

}  // namespace
}  // namespace kavrinth
