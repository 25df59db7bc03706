// Unit tests of the UNITS record: metric or mil user unit, and $FIXUP$.
#include "tabreng/stream_units.h"

#include <cmath>

namespace kavrinth {

bool IsPowerOfTenOf(double metres_per_user, double base) {
  const double v = metres_per_user / base;
  // The exponent of the nearest power of ten: log10(0.9 v) rounded down, plus one.
  const double exponent = std::floor(std::log10(0.9 * v)) + 1;
  return std::fabs(std::pow(10.0, exponent) / v - 1) < 0.001;
}

bool MakeStreamUnits(double user_per_database, double metres_per_database, StreamUnits* units) {
  const auto usable = [](double value) { return std::isfinite(value) && value > 0; };
  if (!usable(user_per_database) || !usable(metres_per_database)) return false;
  units->user_per_database = user_per_database;
  units->metres_per_database = metres_per_database;
  units->metres_per_user = metres_per_database / user_per_database;
  units->metric = IsPowerOfTenOf(units->metres_per_user, 1e-6);
  units->mil = IsPowerOfTenOf(units->metres_per_user, 0.0000254);
  units->fixup = units->metric ? metres_per_database * 1e6 : metres_per_database * 1e6 / 25.4;
  return true;
}

}  // namespace kavrinth
