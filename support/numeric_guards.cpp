// Guarded angle and floating-point routines shared by the geometry code.
#include "support/numeric_guards.h"

#include <cmath>

namespace kavrinth {
namespace {

// Beyond this magnitude the angle is first reduced with fmod, so that bringing it
// into the comparison window takes a few steps instead of endless ones.
constexpr double kLargeAngle = 1.0e4;

double IntoComparisonWindow(double angle) {
  if (!std::isfinite(angle)) return angle;
  if (std::fabs(angle) > kLargeAngle) angle = std::fmod(angle, kFullTurn);
  if (angle >= kAngleWindowLower) {
    while (angle > kAngleWindowUpper) angle -= kFullTurn;
  } else {
    while (angle < kAngleWindowLower) angle += kFullTurn;
  }
  return angle;
}

}  // namespace

int CompareAngles(double a, double b) {
  double d = IntoComparisonWindow(a) - IntoComparisonWindow(b);
  if (std::fabs(d) < kAngleTolerance) return 0;
  return d > 0 ? 1 : -1;
}

double ReduceAngle(double value, double period) {
  // fmod is exactly value - period * trunc(value / period), without the rounding
  // that could push a computed remainder onto the wrong side of zero.
  return std::fmod(value, period);
}

int SafeTan(double angle, double* result) {
  if (!std::isfinite(angle)) {
    *result = 0;
    return 1;
  }
  double reduced = ReduceAngle(angle, kFullTurn);
  double c = std::cos(reduced);
  double s = std::sin(reduced);
  if (std::fabs(kTangentClamp * c) < std::fabs(s)) {
    *result = s * c >= 0 ? kTangentClamp : -kTangentClamp;
    return 1;
  }
  *result = s / c;
  return 0;
}

int SafeAtan2(double y, double x, double* result) {
  if (y == 0) {
    *result = x >= 0 ? 0 : kHalfTurn;
  } else if (x == 0) {
    *result = y > 0 ? kQuarterTurn : -kQuarterTurn;
  } else {
    *result = std::atan2(y, x);
  }
  return 0;
}

int SafeLog10(double x, double* result) {
  if (!(x > 0)) return 1;
  *result = std::log10(x);
  return 0;
}

int SafeSqrt(double x, double* result) {
  if (!(x >= 0)) return 1;
  *result = std::sqrt(x);
  return 0;
}

void RotateTranslatePoint(double* x, double* y, double dx, double dy, double angle) {
  double c = std::cos(angle);
  double s = std::sin(angle);
  double old_x = *x;
  double old_y = *y;
  *x = old_x * c - old_y * s + dx;
  *y = old_x * s + old_y * c + dy;
}

}  // namespace kavrinth
