// Encodings of GDSII record fields: 2- and 4-byte integers in either byte order, the
// 8-byte excess-64 base-16 real, and the date and time fields of BGNLIB and BGNSTR.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>

namespace kavrinth {

// Integers are big-endian in a GDSII stream; the system's native-order variant stores
// them little-endian (8-byte reals are never affected).
enum class GdsByteOrder { kBigEndian, kLittleEndian };

// Stores the low 16 bits of the value. Both stores are one byte swap (when the order is
// not the machine's own) and one copy: every record header and coordinate passes here.
inline void GdsPutInt16(int32_t value, std::span<uint8_t, 2> out,
                        GdsByteOrder order = GdsByteOrder::kBigEndian) {
  auto v = static_cast<uint16_t>(value);
  if ((order == GdsByteOrder::kBigEndian) != (std::endian::native == std::endian::big)) {
    v = static_cast<uint16_t>((v >> 8) | (v << 8));
  }
  std::memcpy(out.data(), &v, sizeof v);
}

inline void GdsPutInt32(int32_t value, std::span<uint8_t, 4> out,
                        GdsByteOrder order = GdsByteOrder::kBigEndian) {
  auto v = static_cast<uint32_t>(value);
  if ((order == GdsByteOrder::kBigEndian) != (std::endian::native == std::endian::big)) {
    v = __builtin_bswap32(v);
  }
  std::memcpy(out.data(), &v, sizeof v);
}

inline int16_t GdsGetInt16(std::span<const uint8_t, 2> in,
                           GdsByteOrder order = GdsByteOrder::kBigEndian) {
  const bool big = order == GdsByteOrder::kBigEndian;
  return static_cast<int16_t>((in[big ? 0 : 1] << 8) | in[big ? 1 : 0]);
}

inline int32_t GdsGetInt32(std::span<const uint8_t, 4> in,
                           GdsByteOrder order = GdsByteOrder::kBigEndian) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const int shift = order == GdsByteOrder::kBigEndian ? 24 - 8 * i : 8 * i;
    v |= static_cast<uint32_t>(in[i]) << shift;
  }
  return static_cast<int32_t>(v);
}

// The 8-byte real of a double, by successive halving of the mantissa in double
// arithmetic (so that every real of the system has the same bytes: 1.0 gives
// 40 FF FF FF FF FF FF FF). Magnitudes below 2e-20 and NaN give eight zero bytes;
// magnitudes beyond the format's range (about 7.2e75, infinity included) give the
// largest real of their sign.
void GdsReal8(double value, std::span<uint8_t, 8> out);

// Whether the 8-byte real keeps the value: 0, or a finite magnitude from 2e-20 to the
// largest real ((1 - 2^-56) * 16^63, which rounds to 2^252). Any other value arrives as 0
// or as the largest real.
bool GdsReal8Holds(double value);

// The double of an 8-byte real (rounded to the nearest double).
double GdsDecodeReal8(std::span<const uint8_t, 8> in);

// A local date and time (year in full, month 1-12).
struct GdsDateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Where the writer takes "now" from; tests inject a fixed clock.
using GdsClock = std::function<GdsDateTime()>;

// The current local time.
GdsDateTime GdsLocalTime();

// "hh:mm:ss:00" and "mm/dd/yy" of a time.
std::string GdsTimeText(const GdsDateTime& when);
std::string GdsDateText(const GdsDateTime& when);

// The 24 bytes of BGNLIB and BGNSTR: year (modulo 100), month, day, hour, minute,
// second as 2-byte integers, then the same six again (modification and access).
void GdsTimestamp(const GdsDateTime& when, std::span<uint8_t, 24> out,
                  GdsByteOrder order = GdsByteOrder::kBigEndian);

}  // namespace kavrinth
