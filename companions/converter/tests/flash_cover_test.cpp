// The flash cover: rectangles at any angle as one flash, and every other quadrilateral and
// sector covered by a staircase of flashes that straddles its edges: within the tolerance
// of the shape both ways, and keeping its area.
#include "companions/converter/flash_cover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace kavrinth {
namespace {

constexpr double kPi = std::numbers::pi;

// A shape as the test sees it, independently of the cover's own outline.
struct TestShape {
  std::string name;
  std::function<bool(double, double)> inside;
  std::function<double(double, double)> edge_distance;  // to the nearest edge
  double x_min, y_min, x_max, y_max;
  double area;
  double perimeter;
};

double SegmentDistance(CoverPoint p, CoverPoint a, CoverPoint b) {
  double dx = b.x - a.x, dy = b.y - a.y;
  double length = dx * dx + dy * dy;
  double t = length == 0 ? 0 : std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length, 0.0, 1.0);
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// A polygon; `area` overrides the shoelace area, which a ring whose edges cross lacks.
TestShape Polygon(std::string name, std::vector<CoverPoint> ring, double area = -1) {
  TestShape s{std::move(name), nullptr, nullptr, 1e300, 1e300, -1e300, -1e300, 0, 0};
  double twice_area = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    const CoverPoint a = ring[i], b = ring[(i + 1) % ring.size()];
    twice_area += a.x * b.y - b.x * a.y;
    s.perimeter += std::hypot(b.x - a.x, b.y - a.y);
    s.x_min = std::min(s.x_min, a.x);
    s.y_min = std::min(s.y_min, a.y);
    s.x_max = std::max(s.x_max, a.x);
    s.y_max = std::max(s.y_max, a.y);
  }
  s.area = area >= 0 ? area : std::fabs(twice_area) / 2;
  s.inside = [ring](double x, double y) {  // nonzero winding
    int winding = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
      const CoverPoint a = ring[i], b = ring[(i + 1) % ring.size()];
      double cross = (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y);
      if (a.y <= y && b.y > y && cross > 0) ++winding;
      if (a.y > y && b.y <= y && cross < 0) --winding;
    }
    return winding != 0;
  };
  s.edge_distance = [ring](double x, double y) {
    double best = 1e300;
    for (size_t i = 0; i < ring.size(); ++i)
      best = std::min(best, SegmentDistance({x, y}, ring[i], ring[(i + 1) % ring.size()]));
    return best;
  };
  return s;
}

TestShape Sector(std::string name, CoverPoint c, double outer, double inner, double start_degrees,
                 double sweep_degrees) {
  const double start = start_degrees * kPi / 180,
               sweep = std::min(sweep_degrees, 360.0) * kPi / 180;
  const bool full = sweep_degrees >= 360;
  TestShape s{std::move(name),
              nullptr,
              nullptr,
              c.x - outer,
              c.y - outer,
              c.x + outer,
              c.y + outer,
              sweep / 2 * (outer * outer - inner * inner),
              sweep * (outer + inner) + (full ? 0 : 2 * (outer - inner))};
  auto within_sweep = [=](double x, double y) {
    double a = std::fmod(std::atan2(y - c.y, x - c.x) - start + 4 * kPi, 2 * kPi);
    return full || a <= sweep;
  };
  s.inside = [=](double x, double y) {
    double r = std::hypot(x - c.x, y - c.y);
    return r <= outer && r >= inner && within_sweep(x, y);
  };
  s.edge_distance = [=](double x, double y) {
    double r = std::hypot(x - c.x, y - c.y);
    double best = std::min(outer - r, inner > 0 ? r - inner : 1e300);
    if (!full) {
      for (double a : {start, start + sweep}) {
        CoverPoint from{c.x + inner * std::cos(a), c.y + inner * std::sin(a)};
        CoverPoint to{c.x + outer * std::cos(a), c.y + outer * std::sin(a)};
        best = std::min(best, SegmentDistance({x, y}, from, to));
      }
      if (inner == 0) best = std::min(best, r);
    }
    return best;
  };
  return s;
}

// The corners of a flash as the readers complete it (angle in tenths of a degree).
std::array<CoverPoint, 4> FlashCorners(const PgOutputFlash& f) {
  double a = f.angle / 1800.0 * kPi, c = std::cos(a), s = std::sin(a);
  double l = f.w / 2.0, w = f.h / 2.0;
  return {{{f.x + l * c - w * s, f.y + l * s + w * c},
           {f.x - l * c - w * s, f.y - l * s + w * c},
           {f.x - l * c + w * s, f.y - l * s - w * c},
           {f.x + l * c + w * s, f.y + l * s - w * c}}};
}

bool InFlash(const PgOutputFlash& f, double x, double y) {
  double a = f.angle / 1800.0 * kPi;
  double dx = x - f.x, dy = y - f.y;
  double along = dx * std::cos(a) + dy * std::sin(a), across = -dx * std::sin(a) + dy * std::cos(a);
  return std::fabs(along) <= f.w / 2.0 && std::fabs(across) <= f.h / 2.0;
}

// The cover keeps to the tolerance both ways: no point of a flash lies further than it
// outside the shape, and no point of the shape further than it outside every flash.
// Cover flashes do not overlap, and their area is the shape's to within `area_slack`
// raw units along its outline (the rounding of the staircase to the grid goes either way).
void ExpectSoundCover(const TestShape& shape, const std::vector<PgOutputFlash>& flashes,
                      double tolerance, double area_slack = 0.25) {
  SCOPED_TRACE(shape.name);
  double flash_area = 0;
  for (const PgOutputFlash& f : flashes) {
    ASSERT_GT(f.w, 0);
    ASSERT_GT(f.h, 0);
    flash_area += static_cast<double>(f.w) * f.h;
    for (const CoverPoint& p : FlashCorners(f)) {
      EXPECT_TRUE(shape.inside(p.x, p.y) || shape.edge_distance(p.x, p.y) <= tolerance)
          << "flash at " << f.x << "," << f.y << " sticks out at " << p.x << "," << p.y;
    }
  }
  EXPECT_NEAR(flash_area, shape.area, shape.perimeter * area_slack);
  for (size_t i = 0; i < flashes.size(); ++i) {
    for (size_t j = i + 1; j < flashes.size() && flashes[i].angle == 0; ++j) {
      const PgOutputFlash &a = flashes[i], &b = flashes[j];
      bool overlap = std::abs(a.x - b.x) * 2 < a.w + b.w && std::abs(a.y - b.y) * 2 < a.h + b.h;
      ASSERT_FALSE(overlap) << "flashes " << i << " and " << j << " overlap";
    }
  }
  const double step = std::max(shape.x_max - shape.x_min, shape.y_max - shape.y_min) / 157.3;
  int far = 0;
  for (double x = shape.x_min - tolerance + step / 3; x < shape.x_max + tolerance; x += step) {
    for (double y = shape.y_min - tolerance + step / 7; y < shape.y_max + tolerance; y += step) {
      const bool inside = shape.inside(x, y);
      const bool covered = std::any_of(flashes.begin(), flashes.end(),
                                       [&](const PgOutputFlash& f) { return InFlash(f, x, y); });
      if (covered != inside && shape.edge_distance(x, y) > tolerance) {
        if (++far <= 3) {
          ADD_FAILURE() << (inside ? "uncovered" : "covered outside") << " at " << x << "," << y;
        }
      }
    }
  }
  EXPECT_EQ(far, 0);
}

TEST(FlashCoverTest, AxisParallelRectangleIsOneExactFlash) {
  FlashCoverer coverer(20, 0.015);
  std::vector<PgOutputFlash> out;
  ASSERT_EQ(coverer.CoverQuadrilateral({{{100, 200}, {400, 200}, {400, 260}, {100, 260}}}, &out),
            CoverResult::kOneFlash);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].x, 250);
  EXPECT_EQ(out[0].y, 230);
  EXPECT_EQ(out[0].w, 300);
  EXPECT_EQ(out[0].h, 60);
  EXPECT_EQ(out[0].angle, 0);
}

TEST(FlashCoverTest, RectangleCornerOrderAndTurnGiveTheSameFlash) {
  // The same 300 x 60 rectangle, starting at each corner, in both turning directions: a
  // side along y comes out as W and H swapped at angle 0, not as angle 90.
  const std::vector<CoverPoint> ccw = {{100, 200}, {400, 200}, {400, 260}, {100, 260}};
  for (int start = 0; start < 4; ++start) {
    for (int turn : {1, -1}) {
      std::array<CoverPoint, 4> corners;
      for (int i = 0; i < 4; ++i) corners[i] = ccw[((start + turn * i) % 4 + 4) % 4];
      FlashCoverer coverer(20, 0.015);
      std::vector<PgOutputFlash> out;
      ASSERT_EQ(coverer.CoverQuadrilateral(corners, &out), CoverResult::kOneFlash);
      ASSERT_EQ(out.size(), 1u);
      EXPECT_EQ(out[0].angle, 0);
      EXPECT_EQ(out[0].x, 250);
      EXPECT_EQ(out[0].y, 230);
      EXPECT_EQ(out[0].w, 300) << "start " << start << " turn " << turn;
      EXPECT_EQ(out[0].h, 60) << "start " << start << " turn " << turn;
    }
  }
}

// Axis-parallel rectangles take a shorter way to their flash (no angle or side length
// from the maths library): centres at halves on both sides of zero, odd and even sides,
// every corner order and both turns give the centre rounded half away from zero and the
// exact sides, as the general way does.
TEST(FlashCoverTest, AxisParallelFlashesRoundHalvesAwayFromZeroInEveryCornerOrder) {
  for (double x0 : {-1001.0, -7.0, -3.0, 0.0, 5.0, 999999.0}) {
    for (double side : {1.0, 2.0, 5.0, 300.0}) {
      const double x1 = x0 + side, y0 = -x0 / 2 - 1, y1 = y0 + side + 3;
      const std::vector<CoverPoint> ccw = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
      for (int start = 0; start < 4; ++start) {
        for (int turn : {1, -1}) {
          std::array<CoverPoint, 4> corners;
          for (int i = 0; i < 4; ++i) corners[i] = ccw[((start + turn * i) % 4 + 4) % 4];
          FlashCoverer coverer(20, 0.015);
          std::vector<PgOutputFlash> out;
          SCOPED_TRACE(testing::Message() << x0 << " " << side << " " << start << " " << turn);
          ASSERT_EQ(coverer.CoverQuadrilateral(corners, &out), CoverResult::kOneFlash);
          EXPECT_EQ(out[0].x, std::llround((x0 + x1) / 2));
          EXPECT_EQ(out[0].y, std::llround((y0 + y1) / 2));
          EXPECT_EQ(out[0].w * int64_t{out[0].h}, static_cast<int64_t>(side * (side + 3)));
          EXPECT_EQ(out[0].angle, 0);
        }
      }
    }
  }
  // The shorter way rests on hypot(x, 0) being |x| exactly.
  for (double v : {1e-300, 0.1, 3.0, 2.5e9, 1.7976931348623157e308}) {
    EXPECT_EQ(std::hypot(v, 0.0), v);
    EXPECT_EQ(std::hypot(-v, -0.0), v);
  }
}

TEST(FlashCoverTest, OddSidesKeepTheAreaWithTheCentreRounded) {
  FlashCoverer coverer(20, 0.015);
  std::vector<PgOutputFlash> out;
  ASSERT_EQ(coverer.CoverQuadrilateral({{{0, 0}, {5, 0}, {5, 3}, {0, 3}}}, &out),
            CoverResult::kOneFlash);
  EXPECT_EQ(out[0].w * out[0].h, 15);
  EXPECT_EQ(out[0].x, 3);  // 2.5 rounded half away from zero
  EXPECT_EQ(out[0].y, 2);
}

TEST(FlashCoverTest, RotatedRectangleIsOneFlashAtItsAngle) {
  // 400 x 100 along (4, 3): exact integer corners, angle 36.87 degrees.
  std::array<CoverPoint, 4> corners = {{{0, 0}, {320, 240}, {260, 320}, {-60, 80}}};
  FlashCoverer coverer(10, 1.5);
  std::vector<PgOutputFlash> out;
  ASSERT_EQ(coverer.CoverQuadrilateral(corners, &out), CoverResult::kOneFlash);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].angle, 369);
  EXPECT_EQ(out[0].x, 130);
  EXPECT_EQ(out[0].y, 160);
  EXPECT_EQ(out[0].w, 400);
  EXPECT_EQ(out[0].h, 100);

  // Turned a quarter further (126.87 degrees) the flash turns back: the same angle with
  // the sides swapped.
  for (auto& p : corners) p = {-p.y, p.x};
  out.clear();
  ASSERT_EQ(coverer.CoverQuadrilateral(corners, &out), CoverResult::kOneFlash);
  EXPECT_EQ(out[0].angle, 369);
  EXPECT_EQ(out[0].w, 100);
  EXPECT_EQ(out[0].h, 400);
}

TEST(FlashCoverTest, RectangleWithCornersRoundedToTheGridIsStillOneFlash) {
  // 400 x 100 at 30 degrees, each corner rounded to a whole database unit.
  const double a = 30 * kPi / 180, c = std::cos(a), s = std::sin(a);
  std::array<CoverPoint, 4> corners;
  const double local[4][2] = {{-200, -50}, {200, -50}, {200, 50}, {-200, 50}};
  for (int i = 0; i < 4; ++i) {
    corners[i] = {std::round(1000 + local[i][0] * c - local[i][1] * s),
                  std::round(2000 + local[i][0] * s + local[i][1] * c)};
  }
  FlashCoverer coverer(10, 1.5);
  std::vector<PgOutputFlash> out;
  ASSERT_EQ(coverer.CoverQuadrilateral(corners, &out), CoverResult::kOneFlash);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].angle, 300);
  EXPECT_NEAR(out[0].x, 1000, 1);
  EXPECT_NEAR(out[0].y, 2000, 1);
  EXPECT_NEAR(out[0].w, 400, 1);
  EXPECT_NEAR(out[0].h, 100, 1);
  // Without the slack the rounded corners are no rectangle.
  FlashCoverer strict(10, 0.01);
  out.clear();
  EXPECT_EQ(strict.CoverQuadrilateral(corners, &out), CoverResult::kCovered);
}

TEST(FlashCoverTest, LongRectangleAtAnAngleFinerThanATenthIsCoveredInstead) {
  // 20000 units long at 10.04 degrees: a flash at 10.0 would stray 7 units at its ends,
  // more than the tolerance of 5, so the rectangle is covered like any other shape.
  const double a = 10.04 * kPi / 180, c = std::cos(a), s = std::sin(a);
  std::vector<CoverPoint> ring;
  const double local[4][2] = {{-10000, -100}, {10000, -100}, {10000, 100}, {-10000, 100}};
  for (const auto& l : local) ring.push_back({l[0] * c - l[1] * s, l[0] * s + l[1] * c});
  FlashCoverer coverer(5, 1.5);
  std::vector<PgOutputFlash> out;
  EXPECT_EQ(coverer.CoverQuadrilateral({ring[0], ring[1], ring[2], ring[3]}, &out),
            CoverResult::kCovered);
  ExpectSoundCover(Polygon("long thin rectangle", ring), out, coverer.tolerance());
}

TEST(FlashCoverTest, OtherQuadrilateralsAreCoveredWithinTheTolerance) {
  struct Case {
    std::vector<CoverPoint> ring;
    double area;  // -1: the shoelace area
  };
  const Case cases[] = {
      {{{0, 0}, {1000, 0}, {700, 400}, {200, 400}}, -1},          // trapezoid
      {{{0, 0}, {1000, 0}, {1000, 400}, {300, 400}}, -1},         // one slanted side
      {{{-500, -300}, {700, 100}, {100, 900}, {-300, 500}}, -1},  // general convex
      {{{0, 0}, {1000, 500}, {0, 1000}, {300, 500}}, -1},         // dart (not convex)
      {{{0, 0}, {800, 800}, {800, 0}, {0, 800}}, 320000},         // bow tie: edges cross
      {{{0, 0}, {2000, 10}, {2000, 60}, {0, 40}}, -1},            // long, nearly flat
  };
  for (double tolerance : {10.0, 40.0}) {
    for (const Case& c : cases) {
      const std::vector<CoverPoint>& ring = c.ring;
      FlashCoverer coverer(tolerance, 0.015);
      std::vector<PgOutputFlash> out;
      ASSERT_EQ(coverer.CoverQuadrilateral({ring[0], ring[1], ring[2], ring[3]}, &out),
                CoverResult::kCovered);
      EXPECT_FALSE(out.empty());
      ExpectSoundCover(Polygon("quadrilateral at " + std::to_string(ring[1].x) + "," +
                                   std::to_string(ring[1].y) + " tol " + std::to_string(tolerance),
                               ring, c.area),
                       out, tolerance);
    }
  }
}

TEST(FlashCoverTest, TriangleFromThreeCorners) {
  const std::vector<CoverPoint> ring = {{0, 0}, {600, 0}, {300, 500}};
  FlashCoverer coverer(12, 0.015);
  std::vector<PgOutputFlash> out;
  ASSERT_EQ(coverer.CoverQuadrilateral({ring[0], ring[1], ring[2], ring[2]}, &out),
            CoverResult::kCovered);
  ExpectSoundCover(Polygon("triangle", ring), out, 12);
}

TEST(FlashCoverTest, LargerToleranceNeedsFewerFlashes) {
  const std::array<CoverPoint, 4> trapezoid = {{{0, 0}, {1000, 0}, {700, 400}, {200, 400}}};
  std::vector<size_t> counts;
  for (double tolerance : {5.0, 20.0, 80.0}) {
    FlashCoverer coverer(tolerance, 0.015);
    std::vector<PgOutputFlash> out;
    coverer.CoverQuadrilateral(trapezoid, &out);
    counts.push_back(out.size());
  }
  EXPECT_GT(counts[0], counts[1]);
  EXPECT_GT(counts[1], counts[2]);
}

// An octagon cut into its three horizontal slabs, turned by `degrees` about the origin
// and shifted, each corner rounded to a whole unit as the Intermediate data holds them.
std::vector<std::array<CoverPoint, 4>> TurnedOctagonPieces(double degrees, bool clockwise) {
  const double a = degrees * kPi / 180, c = std::cos(a), s = std::sin(a);
  const double slabs[3][4][2] = {{{-300, -700}, {300, -700}, {700, -300}, {-700, -300}},
                                 {{-700, -300}, {700, -300}, {700, 300}, {-700, 300}},
                                 {{-700, 300}, {700, 300}, {300, 700}, {-300, 700}}};
  std::vector<std::array<CoverPoint, 4>> pieces;
  for (const auto& slab : slabs) {
    std::array<CoverPoint, 4> piece;
    for (int i = 0; i < 4; ++i) {
      const auto& l = slab[clockwise ? 3 - i : i];
      piece[i] = {std::round(5000 + l[0] * c - l[1] * s), std::round(3000 + l[0] * s + l[1] * c)};
    }
    pieces.push_back(piece);
  }
  return pieces;
}

std::vector<CoverPoint> TurnedOctagonOutline(double degrees) {
  const double a = degrees * kPi / 180, c = std::cos(a), s = std::sin(a);
  const double outline[8][2] = {{-300, -700}, {300, -700}, {700, -300}, {700, 300},
                                {300, 700},   {-300, 700}, {-700, 300}, {-700, -300}};
  std::vector<CoverPoint> ring;
  for (const auto& l : outline)
    ring.push_back({5000 + l[0] * c - l[1] * s, 3000 + l[0] * s + l[1] * c});
  return ring;
}

TEST(FlashCoverTest, PiecesOfOneShapeAreCoveredAcrossTheirCuts) {
  // Covered one by one, each piece stays the tolerance away from the cuts between them,
  // leaving a bare seam through the shape; covered together the cuts are no edges and
  // only the outline may stay bare. Pieces of either turn, cuts at several angles.
  for (double degrees : {0.0, 30.0, 73.0}) {
    for (bool clockwise : {false, true}) {
      FlashCoverer coverer(20, 1.5);
      std::vector<PgOutputFlash> out;
      ASSERT_EQ(coverer.CoverQuadrilaterals(TurnedOctagonPieces(degrees, clockwise), &out),
                CoverResult::kCovered);
      ExpectSoundCover(
          Polygon("octagon turned " + std::to_string(degrees) + (clockwise ? " clockwise" : ""),
                  TurnedOctagonOutline(degrees)),
          out, coverer.tolerance(), 2);
    }
  }
}

TEST(FlashCoverTest, AngledShapesStayWithinTheToleranceBothWays) {
  // At the tolerances of the road's settings: 4 raw units (Electromask, a feature size of
  // 0.5 microns in tenths) and 25 (Mann 3600 in hundredths of a micron).
  const std::vector<std::vector<CoverPoint>> rings = {
      {{0, 0}, {400, 0}, {0, 400}},                         // 45 degrees
      {{-180, -150}, {190, -100}, {130, 140}, {-140, 70}},  // arbitrary
      {{0, 0}, {560, 215}, {555, 228}, {-11, 28}},          // sliver at 21 degrees
  };
  for (double tolerance : {4.0, 25.0}) {
    for (const auto& ring : rings) {
      FlashCoverer coverer(tolerance, 1.5);
      std::vector<PgOutputFlash> out;
      ASSERT_EQ(
          coverer.CoverQuadrilateral({ring[0], ring[1], ring[2], ring[ring.size() - 1]}, &out),
          CoverResult::kCovered);
      ExpectSoundCover(
          Polygon("ring from " + std::to_string(ring[1].x) + " tol " + std::to_string(tolerance),
                  ring),
          out, tolerance);
    }
    FlashCoverer coverer(tolerance, 1.5);
    std::vector<PgOutputFlash> out;
    ASSERT_EQ(coverer.CoverQuadrilaterals(TurnedOctagonPieces(17, false), &out),
              CoverResult::kCovered);
    ExpectSoundCover(Polygon("octagon tol " + std::to_string(tolerance), TurnedOctagonOutline(17)),
                     out, tolerance);
  }
}

TEST(FlashCoverTest, PiecesThatOnlyShareACornerOrNothingStaySeparate) {
  // Two triangles meeting at a point and a square apart: the union is covered, and no
  // flash bridges the outside between them.
  const std::vector<std::array<CoverPoint, 4>> pieces = {
      {{{0, 0}, {400, 0}, {200, 300}, {200, 300}}},
      {{{200, 300}, {600, 600}, {-200, 600}, {-200, 600}}},
      {{{1000, 0}, {1300, 0}, {1300, 300}, {1000, 300}}}};
  FlashCoverer coverer(10, 1.5);
  std::vector<PgOutputFlash> out;
  ASSERT_EQ(coverer.CoverQuadrilaterals(pieces, &out), CoverResult::kCovered);
  const std::vector<std::vector<CoverPoint>> rings = {
      {{0, 0}, {400, 0}, {200, 300}},
      {{200, 300}, {600, 600}, {-200, 600}},
      {{1000, 0}, {1300, 0}, {1300, 300}, {1000, 300}}};
  double area = 0, perimeter = 0;
  for (const auto& ring : rings) perimeter += Polygon("piece", ring).perimeter;
  for (const PgOutputFlash& f : out) {
    area += static_cast<double>(f.w) * f.h;
    for (const CoverPoint& p : FlashCorners(f)) {
      EXPECT_TRUE(std::any_of(rings.begin(), rings.end(),
                              [&](const auto& ring) {
                                const TestShape shape = Polygon("piece", ring);
                                return shape.inside(p.x, p.y) ||
                                       shape.edge_distance(p.x, p.y) <= coverer.tolerance();
                              }))
          << "flash at " << f.x << "," << f.y << " leaves the pieces";
      EXPECT_FALSE(p.x > 400 + coverer.tolerance() && p.x < 1000 - coverer.tolerance() && p.y < 300)
          << "flash at " << f.x << "," << f.y << " bridges the pieces";
    }
  }
  EXPECT_NEAR(area, 60000 + 120000 + 90000, perimeter);
  const std::vector<std::array<CoverPoint, 4>> out_of_range = {
      {{{0, 0}, {3e9, 0}, {3e9, 10}, {0, 10}}}};
  EXPECT_EQ(coverer.CoverQuadrilaterals(out_of_range, &out), CoverResult::kOutOfRange);
}

TEST(FlashCoverTest, SectorsAreCoveredWithinTheTolerance) {
  struct Case {
    double outer, inner, start, sweep;
  };
  const Case cases[] = {{500, 0, 0, 360},   {500, 200, 0, 360}, {800, 300, 30, 90},
                        {400, 0, 200, 270}, {600, 0, 45, 45},   {300, 250, -90, 180},
                        {2000, 0, 10, 360}};
  for (const Case& c : cases) {
    const CoverPoint centre{123, -77};
    const double a = c.start * kPi / 180;
    FlashCoverer coverer(15, 0.015);
    std::vector<PgOutputFlash> out;
    CoverPoint start{centre.x + c.outer * std::cos(a), centre.y + c.outer * std::sin(a)};
    ASSERT_EQ(coverer.CoverSector(centre, start, c.inner, c.sweep, &out), CoverResult::kCovered);
    EXPECT_FALSE(out.empty());
    ExpectSoundCover(Sector("sector r " + std::to_string(c.outer) + "/" + std::to_string(c.inner) +
                                " sweep " + std::to_string(c.sweep),
                            centre, c.outer, c.inner, c.start, c.sweep),
                     out, coverer.tolerance());
  }
}

TEST(FlashCoverTest, ShapesWithoutAreaOrOutOfRange) {
  FlashCoverer coverer(10, 0.015);
  std::vector<PgOutputFlash> out;
  // A rectangle thinner than half a raw unit cannot be a flash; sectors with no ring or
  // no sweep and a quadrilateral collapsed to a point have no area.
  EXPECT_EQ(coverer.CoverQuadrilateral({{{0, 0}, {100, 0}, {100, 0.3}, {0, 0.3}}}, &out),
            CoverResult::kTooSmall);
  EXPECT_EQ(coverer.CoverSector({0, 0}, {100, 0}, 100, 90, &out), CoverResult::kEmpty);
  EXPECT_EQ(coverer.CoverSector({0, 0}, {100, 0}, 0, 0, &out), CoverResult::kEmpty);
  EXPECT_EQ(coverer.CoverQuadrilateral({{{0, 0}, {0, 0}, {0, 0}, {0, 0}}}, &out),
            CoverResult::kEmpty);
  // A sliver that rounds to less than a grid step gets no flash: the caller counts it.
  EXPECT_EQ(coverer.CoverQuadrilateral({{{0, 0}, {500, 0}, {500, 0.8}, {0, 0.9}}}, &out),
            CoverResult::kCovered);
  EXPECT_TRUE(out.empty());
  // One of a grid step and more straddles its edges like any other shape.
  EXPECT_EQ(coverer.CoverQuadrilateral({{{0, 0}, {500, 0}, {500, 1.2}, {0, 1.5}}}, &out),
            CoverResult::kCovered);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].w * out[0].h, 1000);
  out.clear();
  EXPECT_EQ(coverer.CoverQuadrilateral({{{0, 0}, {3e9, 0}, {3e9, 10}, {0, 10}}}, &out),
            CoverResult::kOutOfRange);
  EXPECT_EQ(coverer.CoverSector({0, 0}, {2e9, 0}, 0, 90, &out), CoverResult::kOutOfRange);
  EXPECT_EQ(coverer.CoverQuadrilateral({{{0, 0}, {NAN, 0}, {1, 1}, {0, 1}}}, &out),
            CoverResult::kOutOfRange);
  EXPECT_TRUE(out.empty());
}

TEST(FlashCoverTest, ToleranceIsNeverFinerThanTheCoverGrid) {
  // Flashes sit on a 2-unit grid, so a tolerance below two grid steps cannot be kept;
  // the cover says what it keeps and keeps that.
  FlashCoverer coverer(0.5, 0.015);
  EXPECT_EQ(coverer.tolerance(), 2 * kCoverGrid);
  const std::vector<CoverPoint> ring = {{0, 0}, {101, 0}, {60, 77}, {13, 77}};
  std::vector<PgOutputFlash> out;
  ASSERT_EQ(coverer.CoverQuadrilateral({ring[0], ring[1], ring[2], ring[3]}, &out),
            CoverResult::kCovered);
  ExpectSoundCover(Polygon("small trapezoid", ring), out, coverer.tolerance());
}

}  // namespace
// The corner deviation decides whether a quadrilateral is one flash. It must answer as
// the exact distances do, also at the limit itself and for points that are not finite.
TEST(FlashCoverTest, CornerDeviationAnswersAsTheExactDistancesDo) {
  using Corners = std::array<CoverPoint, 4>;
  auto exact = [](const Corners& a, const Corners& b) {
    double worst = 0;
    for (const CoverPoint& p : a) {
      double nearest = INFINITY;
      for (const CoverPoint& q : b) nearest = std::min(nearest, std::hypot(p.x - q.x, p.y - q.y));
      worst = std::max(worst, nearest);
    }
    return worst;
  };
  auto check = [&](const Corners& a, const Corners& b, double limit) {
    const double deviation = exact(a, b);
    EXPECT_EQ(CornerDeviationBeyond(a, b, limit), deviation > limit) << deviation << " " << limit;
    EXPECT_EQ(CornerDeviationWithin(a, b, limit), deviation <= limit) << deviation << " " << limit;
  };
  const Corners square = {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}};
  // One corner 3, 4 off: a deviation of exactly 5, on both sides of the limit and on it.
  const Corners moved = {{{3, 4}, {10, 0}, {10, 10}, {0, 10}}};
  for (double limit : std::initializer_list<double>{0.0, 4.999999999, 5.0, std::nextafter(5.0, 0.0),
                                                    std::nextafter(5.0, 9.0), 5.000000001, 1e-200,
                                                    NAN, INFINITY}) {
    check(moved, square, limit);
  }
  check(square, square, 0);
  const Corners tiny = {{{0, 0}, {1e-200, 0}, {1e-200, 1e-200}, {0, 1e-200}}};
  check(tiny, square, 0);
  check(tiny, {{{0, 0}, {0, 0}, {0, 0}, {0, 0}}}, 1e-300);
  check({{{NAN, 0}, {10, 0}, {10, 10}, {0, 10}}}, square, 1);
  check({{{INFINITY, 0}, {10, 0}, {10, 10}, {0, 10}}}, square, 1);
  check({{{NAN, INFINITY}, {10, 0}, {10, 10}, {0, 10}}}, square, 1);
  // Random corners and limits near their deviations, at the scale of raw units.
  uint64_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(seed >> 11) / 9007199254740992.0;
  };
  for (int i = 0; i < 20000; ++i) {
    Corners a, b;
    for (CoverPoint& p : a) p = {next() * 2e6 - 1e6, next() * 2e6 - 1e6};
    for (size_t k = 0; k < 4; ++k) b[k] = {a[k].x + next() * 20 - 10, a[k].y + next() * 20 - 10};
    const double deviation = exact(a, b);
    const double near[] = {deviation,
                           std::nextafter(deviation, 0.0),
                           std::nextafter(deviation, 1e9),
                           deviation * (1 + 1e-10),
                           deviation * (1 - 1e-10),
                           next() * 20};
    for (double limit : near) check(a, b, limit);
  }
}

}  // namespace kavrinth
