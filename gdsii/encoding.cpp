// The 8-byte real and the date and time fields of GDSII records.
#include "gdsii/encoding.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kavrinth {

namespace {

constexpr double kSmallestReal = 2e-20;
constexpr int kMaxExponent = 63;  // 7 bits in excess 64

void PutLargestReal(bool negative, std::span<uint8_t, 8> out) {
  out[0] = static_cast<uint8_t>((negative ? 128 : 0) + kMaxExponent + 64);
  for (int i = 1; i < 8; ++i) out[i] = 0xFF;
}

}  // namespace

void GdsReal8(double value, std::span<uint8_t, 8> out) {
  for (uint8_t& b : out) b = 0;
  double m = std::fabs(value);
  if (std::isnan(m) || m < kSmallestReal) return;
  if (std::isinf(m)) return PutLargestReal(value < 0, out);
  int e = 0;
  if (m <= 0.0625) {
    while (m <= 0.0625) {
      m *= 16;
      --e;
    }
  } else {
    while (m > 1) {
      m /= 16;
      ++e;
    }
  }
  if (e > kMaxExponent) return PutLargestReal(value < 0, out);
  out[0] = static_cast<uint8_t>(e + 64 + (value < 0 ? 128 : 0));
  // Each bit is set when the running sum plus its weight, rounded to a double, does
  // not exceed m; the rounding sets the last bits of exact powers of 16.
  double sum = 0;
  double weight = 1;
  for (int k = 1; k <= 56; ++k) {
    weight /= 2;
    const double s = sum + weight;
    if (s <= m) {
      out[1 + (k - 1) / 8] |= static_cast<uint8_t>(0x80 >> ((k - 1) % 8));
      sum = s;
    }
  }
}

bool GdsReal8Holds(double value) {
  constexpr double kLargestReal = 0x1p252;
  const double m = std::fabs(value);
  return value == 0.0 || (std::isfinite(m) && m >= kSmallestReal && m <= kLargestReal);
}

double GdsDecodeReal8(std::span<const uint8_t, 8> in) {
  uint64_t mantissa = 0;
  for (int i = 1; i < 8; ++i) mantissa = (mantissa << 8) | in[i];
  const int exponent = (in[0] & 0x7F) - 64;
  const double magnitude = std::ldexp(static_cast<double>(mantissa), 4 * exponent - 56);
  return (in[0] & 0x80) ? -magnitude : magnitude;
}

GdsDateTime GdsLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string GdsTimeText(const GdsDateTime& when) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d:00", when.hour, when.minute, when.second);
  return text;
}

std::string GdsDateText(const GdsDateTime& when) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d", when.month, when.day, when.year % 100);
  return text;
}

void GdsTimestamp(const GdsDateTime& when, std::span<uint8_t, 24> out, GdsByteOrder order) {
  const int fields[6] = {when.year % 100, when.month,  when.day,
                         when.hour,       when.minute, when.second};
  for (int i = 0; i < 6; ++i) {
    GdsPutInt16(fields[i], out.subspan(2 * i).first<2>(), order);
    GdsPutInt16(fields[i], out.subspan(12 + 2 * i).first<2>(), order);
  }
}

}  // namespace kavrinth
