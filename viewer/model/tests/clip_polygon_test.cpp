// Tests of clipping one polygon to one frame: whole polygons and whole frames, snapping,
// inserted vertices, slivers, crossings at frame corners, orientation, and refusals.
#include "viewer/model/clip_polygon.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace kavrinth {
namespace {

using Point = std::array<double, 2>;
using Ring = std::vector<Point>;

double Area(const Ring& ring) {
  double twice = 0;
  for (size_t i = 0; i + 1 < ring.size(); ++i) {
    twice += ring[i][0] * ring[i + 1][1] - ring[i + 1][0] * ring[i][1];
  }
  return twice / 2;
}

class ClipTest : public ::testing::Test {
 protected:
  // Clips the closed ring to the frame; the result polygons (removed ones left out).
  std::vector<Ring> Clip(const Ring& ring, double x0, double y0, double w, double h) {
    std::vector<double>& work = clipper.work();
    work.clear();
    Point low = ring[0], high = ring[0];
    for (const Point& p : ring) {
      work.insert(work.end(), {p[0], p[1]});
      low = {std::min(low[0], p[0]), std::min(low[1], p[1])};
      high = {std::max(high[0], p[0]), std::max(high[1], p[1])};
    }
    result = clipper.clip_to_frame(static_cast<int32_t>(ring.size()), x0, y0, w, h, low[0], low[1],
                                   high[0], high[1], &count, &table);
    std::vector<Ring> rings;
    removed = 0;
    for (int32_t j = 0; result > 0 && j < count; ++j) {
      if (table[2 * j + 1] < 0) {
        ++removed;
        continue;
      }
      Ring r;
      for (int32_t i = table[2 * j]; i <= table[2 * j + 1]; i += 2)
        r.push_back({work[i], work[i + 1]});
      rings.push_back(r);
    }
    return rings;
  }
  double TotalArea(const std::vector<Ring>& rings) {
    double area = 0;
    for (const Ring& r : rings) area += Area(r);
    return area;
  }

  FrameClipper clipper;
  std::vector<int32_t> table;
  int32_t count = -7;
  int result = 0;
  int removed = 0;
};

TEST_F(ClipTest, APolygonInsideComesBackWholeCounterClockwiseAndSnapped) {
  const Ring clockwise = {{102, 203}, {102, 208}, {109.995, 208}, {109.995, 203}, {102, 203}};
  const std::vector<Ring> rings = Clip(clockwise, 100, 200, 10, 10);
  EXPECT_EQ(result, 5);
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0].size(), 5u);
  EXPECT_GT(Area(rings[0]), 0);
  for (const Point& p : rings[0]) EXPECT_LE(p[0], 109.99 + 1e-9);
  EXPECT_NEAR(Area(rings[0]), 7.99 * 5, 1e-9);
}

TEST_F(ClipTest, AFrameInsideThePolygonIsTheFrame) {
  const std::vector<Ring> rings =
      Clip({{-50, -50}, {50, -50}, {50, 50}, {-50, 50}, {-50, -50}}, 5, 6, 10, 20);
  EXPECT_EQ(result, kClipFrameInside);
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0], (Ring{{5, 6}, {15, 6}, {15, 26}, {5, 26}, {5, 6}}));
}

TEST_F(ClipTest, APolygonWhoseBoxMissesTheFrameLeavesTheCountAlone) {
  Clip({{20, 0}, {30, 0}, {30, 5}, {20, 5}, {20, 0}}, 0, 0, 10, 10);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(count, -7);
}

TEST_F(ClipTest, VerticesCloseToAFrameLineMoveInside) {
  // The vertex 0.005 left of the frame's left line becomes x = 0.01.
  const std::vector<Ring> rings =
      Clip({{-0.005, 2}, {5, 2}, {5, 6}, {-0.005, 6}, {-0.005, 2}}, 0, 0, 10, 10);
  EXPECT_EQ(result, 5);
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0][0], (Point{0.01, 2}));
  EXPECT_EQ(rings[0][3], (Point{0.01, 6}));
}

TEST_F(ClipTest, AnEdgeThroughTheFrameWithBothEndsOutsideIsKept) {
  const std::vector<Ring> rings = Clip({{-10, 15}, {-10, -10}, {15, -10}, {-10, 15}}, 0, 0, 10, 10);
  EXPECT_GT(result, 0);
  EXPECT_NEAR(TotalArea(rings), 12.5, 1e-6);
  EXPECT_EQ(clipper.abandoned_count(), 0);
}

TEST_F(ClipTest, SliversAreRemoved) {
  Clip({{-5, 5}, {5, 5}, {5, 5.005}, {-5, 5.005}, {-5, 5}}, 0, 0, 10, 10);
  EXPECT_GT(result, 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(table[1], -1);
}

// Crossings exactly at a frame corner belong to one side of the frame.
TEST_F(ClipTest, EdgesThroughAFrameCornerAreCountedOnce) {
  struct Case {
    const char* what;
    Ring ring;
    double area;
  };
  const Case cases[] = {
      {"entering at a corner", {{-5, -5}, {5, 5}, {-5, 5}, {-5, -5}}, 12.5},
      {"diagonal through two corners", {{-5, -5}, {15, 15}, {-5, 15}, {-5, -5}}, 50},
      {"diagonal the other way", {{-5, 15}, {15, -5}, {15, 15}, {-5, 15}}, 50},
      {"touching a corner from outside", {{-5, 5}, {5, -5}, {-5, -5}, {-5, 5}}, 0},
      {"leaving at the top right corner", {{5, 5}, {15, 15}, {15, 5}, {5, 5}}, 12.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int32_t abandoned = clipper.abandoned_count();
    EXPECT_NEAR(TotalArea(Clip(c.ring, 0, 0, 10, 10)), c.area, 1e-6);
    EXPECT_EQ(clipper.abandoned_count(), abandoned);
  }
}

// A clockwise U whose first turn is at a reflex vertex: the turn there says
// counter-clockwise, the area says clockwise.
TEST_F(ClipTest, OrientationComesFromTheArea) {
  const Ring u = {{10, 30}, {10, 10}, {20, 10}, {20, 30}, {30, 30},
                  {30, 0},  {0, 0},   {0, 30},  {10, 30}};
  ASSERT_LT(Area(u), 0);
  const std::vector<Ring> rings = Clip(u, 5, 5, 20, 20);
  EXPECT_NEAR(TotalArea(rings), 400 - 150, 1e-6);
  for (const Ring& r : rings) EXPECT_GT(Area(r), 0);
  // Wholly inside, the ring comes back turned round.
  const std::vector<Ring> whole = Clip(u, -5, -5, 40, 40);
  EXPECT_EQ(result, 9);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_NEAR(Area(whole[0]), 900 - 200, 1e-6);
}

TEST_F(ClipTest, PointInPolygonCountsTheBoundaryAsInside) {
  const std::vector<double> u = {0, 0, 30, 0, 30, 30, 20, 30, 20, 10, 10, 10, 10, 30, 0, 30, 0, 0};
  struct Case {
    double x, y;
    int inside;
  };
  const Case cases[] = {{5, 5, 1}, {15, 20, 0}, {25, 20, 1}, {31, 5, 0},
                        {0, 0, 1}, {10, 20, 1}, {20, 20, 1}, {-1, -1, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(clipper.point_in_polygon(c.x, c.y, 8, u.data()), c.inside) << c.x << "," << c.y;
  }
}

TEST_F(ClipTest, RingsBeyondTheLimitAreRefusedAndCounted) {
  clipper.set_max_points(8);
  const Ring ring = {{-5, 2}, {2, 2}, {4, 2}, {6, 2},  {15, 2},
                     {15, 8}, {6, 8}, {4, 8}, {-5, 8}, {-5, 2}};
  Clip(ring, 0, 0, 10, 10);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(clipper.abandoned_count(), 1);
  EXPECT_EQ(clipper.error_count(), 1);
  clipper.set_max_points(kClipDefaultMaxPoints);
  EXPECT_NEAR(TotalArea(Clip(ring, 0, 0, 10, 10)), 60, 1e-6);
}

}  // namespace
}  // namespace kavrinth
