// Floating-point routines the geometry code uses instead of the raw runtime calls:
// angle comparison and reduction, guarded tangent, arc tangent, logarithm and root.
#pragma once

namespace kavrinth {

inline constexpr double kFullTurn = 6.283185307179586;
inline constexpr double kHalfTurn = 3.141592653589793;
inline constexpr double kQuarterTurn = 1.5707963267948966;
// CompareAngles brings both angles into this window before comparing them.
inline constexpr double kAngleWindowLower = -0.002;
inline constexpr double kAngleWindowUpper = 6.285185307179586;
// Angles closer than this (about a tenth of a degree) are equal.
inline constexpr double kAngleTolerance = 0.001745;
// SafeTan's result when the cosine is too small: the largest finite double.
inline constexpr double kTangentClamp = 1.7976931348623157e308;

// 0 when the angles (radians) are equal within kAngleTolerance after both are brought
// into the window kAngleWindowLower..kAngleWindowUpper; 1 when a is larger, -1 when
// smaller. The window is not circular: just below a full turn and just above 0 differ.
int CompareAngles(double a, double b);

// value minus period times the quotient truncated towards zero: the remainder keeps
// the value's sign and lies strictly between -period and period.
double ReduceAngle(double value, double period);

// 0 with the tangent of the angle; 1 with plus or minus kTangentClamp when the
// cosine is too small, or with 0 when the angle is not finite.
int SafeTan(double angle, double* result);

// Always 0, with the angle of (x, y) in radians; the axis cases are set directly:
// x zero gives plus or minus a quarter turn, y zero gives 0 (x >= 0) or a half turn.
int SafeAtan2(double y, double x, double* result);

// 1 with the result untouched when x is not above 0 (NaN included); else 0 with
// the decimal logarithm.
int SafeLog10(double x, double* result);

// 1 with the result untouched when x is not 0 or more (negative or NaN); else 0 with
// the square root.
int SafeSqrt(double x, double* result);

// Rotates (x, y) about the origin by the angle, then moves it by (dx, dy).
void RotateTranslatePoint(double* x, double* y, double dx, double dy, double angle);

}  // namespace kavrinth
