// The input's UNITS record as the engine uses it: user and metre sizes, whether the user
// unit is a power of ten of a micron or of a mil, and $FIXUP$, the database unit in
// microns (metric) or mils, which scales every coordinate handed to the PG library.
#pragma once

namespace kavrinth {

struct StreamUnits {
  double user_per_database = 0;    // user units per database unit (the first real)
  double metres_per_database = 0;  // the second real
  double metres_per_user = 0;
  bool metric = false;
  bool mil = false;
  double fixup = 1.0;
};

// True when the user unit, in multiples of `base` metres, is a power of ten within 0.1
// percent.
bool IsPowerOfTenOf(double metres_per_user, double base);

// The units of a UNITS record's two reals; false when either is not a positive finite
// number (no unit can be formed from it).
bool MakeStreamUnits(double user_per_database, double metres_per_database, StreamUnits* units);

}  // namespace kavrinth
