// The geometry of the flashes the editor adds: every added shape is a rectangle stored with
// its five flash values (width, height, angle in tenths of a degree, centre) and its five
// corners rebuilt from those values.
#pragma once

#include <array>
#include <cstdint>

namespace kavrinth {

struct EditPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const EditPoint&) const = default;
};

struct FlashValues {
  int32_t width = 0;
  int32_t height = 0;
  int32_t angle_tenths = 0;  // 0..1799
  int32_t centre_x = 0;
  int32_t centre_y = 0;
  bool operator==(const FlashValues&) const = default;
};

// Corners of a flash, the fifth equal to the first.
using FlashCorners = std::array<EditPoint, 5>;

// An angle in degrees reduced into [0, 180) with a floored remainder and stored as tenths
// of a degree, rounded half away from zero (-30.25 gives 1498, 180 gives 0).
int32_t FlashAngleTenths(double degrees);

// The flash of the rectangle whose side p0-p1 gives the width and the angle and whose side
// p1-p2 gives the height; its corners are rebuilt from the rounded values. False (nothing
// written) when a side is shorter than one unit: equal or collinear points make no flash.
bool NormaliseRectangle(const EditPoint& p0, const EditPoint& p1, const EditPoint& p2,
                        FlashValues* flash, FlashCorners* corners);

// The corners of the rectangle on the side p0-p1 whose opposite side passes at the distance
// of p2 from p1, on p2's side. False when p0 equals p1 or p2 lies on the line p0-p1.
bool RectangleFrom3Points(const EditPoint& p0, const EditPoint& p1, const EditPoint& p2,
                          FlashCorners* corners);

// The axis-parallel rectangle of two opposite corners.
FlashCorners RectangleFrom2Points(const EditPoint& p0, const EditPoint& p1);

}  // namespace kavrinth
