// Tests of the angle comparison and the guarded floating-point routines.
#include "support/numeric_guards.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kavrinth {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(CompareAnglesTest, ComparesInsideTheWindowWithTolerance) {
  struct Case {
    double a;
    double b;
    int expected;
  };
  const Case cases[] = {
      {0, 2 * kPi, -1},           // the full turn stays inside the window
      {2 * kPi + 0.01, 0.01, 0},  // above the window: one turn off
      {2 * kPi + 0.01, 0, 1},
      {-0.001, 0, 0},
      {0.002, 0, 1},
      {-kPi / 2, 3 * kPi / 2, 0},
      {0.01, 6.28, -1},  // the window is not circular
      {1.0, 1.0 + 0.0017, 0},
      {1.0, 1.0 + 0.0018, -1},
      {7 * kPi / 2, -kPi / 2, 0},  // several turns either way
      {-5 * kPi / 2, 3 * kPi / 2, 0},
      {1e6 + 1.0, 1e6 + 1.0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareAngles(c.a, c.b), c.expected) << c.a << " vs " << c.b;
  }
}

TEST(CompareAnglesTest, HugeAndInfiniteAnglesEnd) {
  // Taking full turns off one by one would never end for these.
  EXPECT_EQ(CompareAngles(1e300, 1e300), 0);
  EXPECT_EQ(CompareAngles(-1e300, -1e300), 0);
  EXPECT_EQ(CompareAngles(kInf, 0), 1);
  EXPECT_EQ(CompareAngles(-kInf, 0), -1);
  EXPECT_EQ(CompareAngles(std::nan(""), 0), -1);
}

TEST(ReduceAngleTest, RemainderKeepsTheSignOfTheValue) {
  EXPECT_DOUBLE_EQ(ReduceAngle(7, kFullTurn), 7 - kFullTurn);
  EXPECT_DOUBLE_EQ(ReduceAngle(-7, kFullTurn), -7 + kFullTurn);
  EXPECT_DOUBLE_EQ(ReduceAngle(1, kFullTurn), 1);
  EXPECT_DOUBLE_EQ(ReduceAngle(0, kFullTurn), 0);
  EXPECT_NEAR(ReduceAngle(20 * kPi + 0.5, kFullTurn), 0.5, 1e-12);
  // Just below 17 turns the rounded quotient is 17: value - period * floor(value /
  // period) would be slightly negative there.
  const double below = 106.81415022205296;
  EXPECT_GT(ReduceAngle(below, kFullTurn), 6.28);
  EXPECT_LT(ReduceAngle(below, kFullTurn), kFullTurn);
  EXPECT_LT(ReduceAngle(-below, kFullTurn), -6.28);
  EXPECT_EQ(ReduceAngle(kFullTurn, kFullTurn), 0);
}

TEST(SafeTanTest, TangentOrClamp) {
  double result = 0;
  EXPECT_EQ(SafeTan(kPi / 4, &result), 0);
  EXPECT_NEAR(result, 1.0, 1e-12);
  EXPECT_EQ(SafeTan(-kPi / 4 + 4 * kPi, &result), 0);
  EXPECT_NEAR(result, -1.0, 1e-12);
  EXPECT_EQ(SafeTan(0, &result), 0);
  EXPECT_EQ(result, 0);
  // The cosine of a double is never exactly zero: near a quarter turn the tangent is
  // huge but finite.
  EXPECT_EQ(SafeTan(kPi / 2, &result), 0);
  EXPECT_TRUE(std::isfinite(result));
  EXPECT_GT(result, 1e15);
}

TEST(SafeTanTest, NonFiniteAngleReportsFailure) {
  for (double angle : {kInf, -kInf, std::nan("")}) {
    double result = 5;
    EXPECT_EQ(SafeTan(angle, &result), 1) << angle;
    EXPECT_EQ(result, 0) << angle;
  }
}

TEST(SafeAtan2Test, SetsTheAxisCasesDirectly) {
  struct Case {
    double y;
    double x;
    double expected;
  };
  const Case cases[] = {
      {0, -1, kPi},
      {-2, 0, -kPi / 2},
      {0, 0, 0},
      {3, 0, kPi / 2},
      {0, 5, 0},
      {-0.0, -1, kPi},
      {1, 1, kPi / 4},
      {-1, -1, -3 * kPi / 4},
      {1, -1, 3 * kPi / 4},
  };
  for (const Case& c : cases) {
    double result = 99;
    EXPECT_EQ(SafeAtan2(c.y, c.x, &result), 0);
    EXPECT_DOUBLE_EQ(result, c.expected) << c.y << ", " << c.x;
  }
}

TEST(SafeLog10AndSqrtTest, BadInputLeavesTheResultAlone) {
  double result = 42;
  for (double x : {0.0, -1.0, -kInf, std::nan("")}) {
    EXPECT_EQ(SafeLog10(x, &result), 1) << x;
    EXPECT_EQ(result, 42);
  }
  for (double x : {-1e-300, -1.0, -kInf, std::nan("")}) {
    EXPECT_EQ(SafeSqrt(x, &result), 1) << x;
    EXPECT_EQ(result, 42);
  }
  EXPECT_EQ(SafeLog10(1000, &result), 0);
  EXPECT_DOUBLE_EQ(result, 3);
  EXPECT_EQ(SafeSqrt(0, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(SafeSqrt(2.25, &result), 0);
  EXPECT_EQ(result, 1.5);
}

TEST(RotateTranslatePointTest, RotatesFromTheOldCoordinates) {
  double x = 1;
  double y = 0;
  RotateTranslatePoint(&x, &y, 10, 20, kPi / 2);
  EXPECT_NEAR(x, 10, 1e-12);
  EXPECT_NEAR(y, 21, 1e-12);

  x = 3;
  y = 4;
  RotateTranslatePoint(&x, &y, 0, 0, kPi);
  EXPECT_NEAR(x, -3, 1e-12);
  EXPECT_NEAR(y, -4, 1e-12);

  x = 2;
  y = 1;
  RotateTranslatePoint(&x, &y, -1, 1, kPi / 2);  // y uses the old x, not the new one
  EXPECT_NEAR(x, -2, 1e-12);
  EXPECT_NEAR(y, 3, 1e-12);
}

}  // namespace
}  // namespace kavrinth
