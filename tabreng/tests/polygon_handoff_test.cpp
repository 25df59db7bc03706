// Trapezoid write-back, the circle test and the units of the stream.
#include "tabreng/polygon_handoff.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tabreng/stream_units.h"

namespace kavrinth {
namespace {

TEST(TrapezoidBoundary, SixtyFourBytesWithTheFirstCornerRepeated) {
  // fixup 0.001: a database unit of a nanometre; PG units are then database units.
  const PgTrapezoid trapezoid{{0, 0, 1000, 0, 800, 500, -200, 500}};
  std::array<uint8_t, kTrapezoidBoundaryBytes> bytes{};
  ASSERT_TRUE(EncodeTrapezoidBoundary(7, trapezoid, 0.001, bytes));
  const std::array<uint8_t, 64> expected = {
      0x00, 0x04, 0x08, 0x00,                          // BOUNDARY
      0x00, 0x06, 0x0D, 0x02, 0x00, 0x07,              // LAYER 7
      0x00, 0x06, 0x0E, 0x02, 0x00, 0x00,              // DATATYPE 0
      0x00, 0x2C, 0x10, 0x03,                          // XY, five points
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // (0, 0)
      0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x00,  // (1000, 0)
      0x00, 0x00, 0x03, 0x20, 0x00, 0x00, 0x01, 0xF4,  // (800, 500)
      0xFF, 0xFF, 0xFF, 0x38, 0x00, 0x00, 0x01, 0xF4,  // (-200, 500)
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // (0, 0) again
      0x00, 0x04, 0x11, 0x00,                          // ENDEL
  };
  EXPECT_EQ(bytes, expected);
}

int32_t XOfFirstCorner(const std::array<uint8_t, kTrapezoidBoundaryBytes>& bytes) {
  return static_cast<int32_t>(uint32_t{bytes[20]} << 24 | uint32_t{bytes[21]} << 16 |
                              uint32_t{bytes[22]} << 8 | bytes[23]);
}

TEST(TrapezoidBoundary, CornersRoundHalfAwayFromZeroAndSaturate) {
  // With fixup 0.002 a PG coordinate c becomes c / 2 database units.
  const std::pair<int32_t, int32_t> cases[] = {{1, 1}, {-1, -1}, {3, 2}, {-3, -2}, {2, 1}, {0, 0}};
  std::array<uint8_t, kTrapezoidBoundaryBytes> bytes{};
  for (const auto& [pg, database] : cases) {
    EXPECT_TRUE(EncodeTrapezoidBoundary(1, PgTrapezoid{{pg, 0, 0, 0, 0, 0, 0, 0}}, 0.002, bytes));
    EXPECT_EQ(XOfFirstCorner(bytes), database) << pg;
  }
  // A corner that leaves the 32-bit range after scaling saturates and is reported.
  EXPECT_FALSE(EncodeTrapezoidBoundary(
      1, PgTrapezoid{{std::numeric_limits<int32_t>::max(), 0, 0, 0, 0, 0, 0, 0}}, 1e-6, bytes));
  EXPECT_EQ(XOfFirstCorner(bytes), std::numeric_limits<int32_t>::max());
}

std::vector<int32_t> RegularPolygon(int vertices, double radius, double cx, double cy) {
  std::vector<int32_t> xy;
  for (int i = 0; i <= vertices; ++i) {
    const double angle = 2 * 3.141592653589793 * (i % vertices) / vertices;
    xy.push_back(static_cast<int32_t>(std::lround(cx + radius * std::cos(angle))));
    xy.push_back(static_cast<int32_t>(std::lround(cy + radius * std::sin(angle))));
  }
  return xy;
}

// The rounding takes a short way inside the 32-bit range: it must agree with rounding
// half away from zero on halves, on the largest fraction below a half and at both ends.
TEST(RoundToInt32Test, AgreesWithRoundHalfAwayInsideTheRange) {
  const double below_half = std::nextafter(0.5, 0.0);
  const double cases[] = {0.0,
                          -0.0,
                          0.5,
                          -0.5,
                          1.5,
                          -1.5,
                          2.5,
                          -2.5,
                          below_half,
                          -below_half,
                          1e6 + 0.5,
                          -1e6 - 0.5,
                          4503599627370495.5,
                          2147483646.5,
                          -2147483647.5,
                          2147483647.4,
                          -2147483648.4,
                          12345.49999999};
  for (double value : cases) {
    bool fits = true;
    const double expected = std::round(value);
    if (std::fabs(expected) > 2147483647.0) continue;
    EXPECT_EQ(RoundToInt32(value, &fits), static_cast<int32_t>(expected)) << value;
    EXPECT_TRUE(fits) << value;
  }
}

TEST(RoundToInt32Test, SaturatesJustOutsideTheRange) {
  const struct {
    double value;
    int32_t expected;
  } cases[] = {
      {2147483647.5, std::numeric_limits<int32_t>::max()},
      {-2147483648.5, std::numeric_limits<int32_t>::min()},
      {-2147483648.4, std::numeric_limits<int32_t>::min()},
      {1e300, std::numeric_limits<int32_t>::max()},
      {std::nan(""), std::numeric_limits<int32_t>::min()},
  };
  for (const auto& c : cases) {
    bool fits = true;
    EXPECT_EQ(RoundToInt32(c.value, &fits), c.expected) << c.value;
    EXPECT_EQ(fits, std::fabs(c.value) < 2147483648.5 && c.value < 2147483647.5) << c.value;
  }
}

TEST(CircleFit, RegularPolygonsOfManyVerticesAreCircles) {
  std::vector<double> work;
  FittedCircle circle;
  for (int vertices : {24, 36, 100}) {
    SCOPED_TRACE(vertices);
    ASSERT_TRUE(
        FitCircleToPolygon(RegularPolygon(vertices, 100000, 5000, -3000), 1.0, &circle, work));
    EXPECT_NEAR(circle.centre_x, 5000, 2);
    EXPECT_NEAR(circle.centre_y, -3000, 2);
    EXPECT_NEAR(circle.radius, 100000, 2);
  }
}

TEST(CircleFit, OtherShapesAreNot) {
  std::vector<double> work;
  FittedCircle circle;
  // 22 vertices and the closing point: too few points.
  EXPECT_FALSE(FitCircleToPolygon(RegularPolygon(22, 100000, 0, 0), 1.0, &circle, work));
  // Not closed within one unit.
  std::vector<int32_t> open = RegularPolygon(30, 100000, 0, 0);
  open[open.size() - 2] += 2;
  EXPECT_FALSE(FitCircleToPolygon(open, 1.0, &circle, work));
  // A square traced with many points.
  std::vector<int32_t> square;
  for (int i = 0; i < 40; ++i) {
    const int side = i / 10, step = i % 10;
    const int32_t along = step * 100;
    const int32_t x[] = {along, 1000, 1000 - along, 0};
    const int32_t y[] = {0, along, 1000, 1000 - along};
    square.push_back(x[side]);
    square.push_back(y[side]);
  }
  square.push_back(0);
  square.push_back(0);
  EXPECT_FALSE(FitCircleToPolygon(square, 1.0, &circle, work));
}

TEST(StreamUnitsTest, MetricAndMilUserUnits) {
  struct Case {
    double user, metres;
    bool metric, mil;
    double fixup;
  };
  const Case cases[] = {
      {0.001, 1e-9, true, false, 0.001},         // micron user unit, nanometre database
      {0.001, 1e-6, true, false, 1.0},           // millimetre
      {0.01, 1e-7, true, false, 0.1},            // 10 micron
      {1.0, 1e-10, true, false, 1e-4},           // 0.1 nanometre
      {0.001, 2.54e-8, false, true, 0.001},      // mil user unit
      {0.001, 2.54e-5, false, true, 1.0},        // inch user unit
      {0.001, 3e-9, false, false, 3e-3 / 25.4},  // 3 micron: neither
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.metres);
    StreamUnits units;
    ASSERT_TRUE(MakeStreamUnits(c.user, c.metres, &units));
    EXPECT_EQ(units.metric, c.metric);
    EXPECT_EQ(units.mil, c.mil);
    EXPECT_NEAR(units.fixup, c.fixup, c.fixup * 1e-12);
    EXPECT_DOUBLE_EQ(units.metres_per_user, c.metres / c.user);
  }
  StreamUnits units;
  EXPECT_FALSE(MakeStreamUnits(0, 1e-9, &units));
  EXPECT_FALSE(MakeStreamUnits(0.001, -1e-9, &units));
  EXPECT_FALSE(MakeStreamUnits(std::nan(""), 1e-9, &units));
}

}  // namespace
}  // namespace kavrinth
