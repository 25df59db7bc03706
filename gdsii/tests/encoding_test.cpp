// Tests of the GDSII field encodings: the 8-byte real, integers in both byte orders and
// the date and time fields.
#include "gdsii/encoding.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

namespace kavrinth {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char part[4];
  for (uint8_t b : bytes) {
    std::snprintf(part, sizeof part, "%02X ", b);
    text += part;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

std::string Real8Hex(double value) {
  std::array<uint8_t, 8> bytes;
  GdsReal8(value, bytes);
  return Hex(bytes);
}

struct RealCase {
  double value;
  const char* bytes;
};

TEST(GdsReal8Test, EncodesByTheHalvingMethod) {
  const RealCase cases[] = {
      {1.0, "40 FF FF FF FF FF FF FF"},      {0.5, "40 80 00 00 00 00 00 07"},
      {-1.5, "C1 18 00 00 00 00 00 00"},     {0.001, "3E 41 89 37 4B C6 A7 F3"},
      {1e-9, "39 44 B8 2F A0 9B 5A 55"},     {360.0, "43 16 80 00 00 00 00 00"},
      {0.0, "00 00 00 00 00 00 00 00"},      {1.9e-20, "00 00 00 00 00 00 00 00"},
      {-1.9e-20, "00 00 00 00 00 00 00 00"}, {2e-20, "30 5E 72 84 32 49 08 8D"},
      {-3e-20, "B0 8D AB C6 4B 6D 8C DB"},   {0.0625, "3F FF FF FF FF FF FF FF"},
  };
  for (const RealCase& c : cases) EXPECT_EQ(Real8Hex(c.value), c.bytes) << c.value;
}

TEST(GdsReal8Test, OutOfRangeValuesNeitherHangNorWrap) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Real8Hex(std::nan("")), "00 00 00 00 00 00 00 00");
  // The largest real keeps its sign bit instead of overflowing into it.
  EXPECT_EQ(Real8Hex(inf), "7F FF FF FF FF FF FF FF");
  EXPECT_EQ(Real8Hex(-inf), "FF FF FF FF FF FF FF FF");
  EXPECT_EQ(Real8Hex(1e300), "7F FF FF FF FF FF FF FF");
  EXPECT_EQ(Real8Hex(-1e300), "FF FF FF FF FF FF FF FF");
}

TEST(GdsReal8Test, DecodesWhatItEncodes) {
  const double values[] = {1.0,     -1.0,     0.5,  0.001,      1e-9,    360.0, -270.25,
                           2.54e-5, 1609.344, 1e-6, 123456.789, -7.2e75, 3e-20};
  for (double v : values) {
    std::array<uint8_t, 8> bytes;
    GdsReal8(v, bytes);
    EXPECT_NEAR(GdsDecodeReal8(bytes), v, std::fabs(v) * 1e-15) << v;
  }
  const std::array<uint8_t, 8> two = {0x41, 0x20, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(GdsDecodeReal8(two), 2.0);
  const std::array<uint8_t, 8> minus_quarter = {0xC0, 0x40, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(GdsDecodeReal8(minus_quarter), -0.25);
}

// The values said to be kept are those that come back from their bytes.
TEST(GdsReal8Test, HoldsExactlyTheValuesThatComeBack) {
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {0.0,     1.0,     -2e-20, 1.9e-20, 1e-30, 7.2e75,
                           0x1p252, 0x1p253, -1e300, inf,     -inf,  std::nan("")};
  for (double v : values) {
    std::array<uint8_t, 8> bytes;
    GdsReal8(v, bytes);
    const double back = GdsDecodeReal8(bytes);
    EXPECT_EQ(GdsReal8Holds(v), std::isfinite(v) && std::fabs(back - v) <= std::fabs(v) * 1e-15)
        << v;
  }
}

TEST(GdsIntegerTest, BothByteOrdersAndTheLow16Bits) {
  std::array<uint8_t, 2> two;
  GdsPutInt16(0x12345, two);
  EXPECT_EQ(Hex(two), "23 45");
  GdsPutInt16(-2, two, GdsByteOrder::kLittleEndian);
  EXPECT_EQ(Hex(two), "FE FF");
  EXPECT_EQ(GdsGetInt16(two, GdsByteOrder::kLittleEndian), -2);

  std::array<uint8_t, 4> four;
  GdsPutInt32(0x01020304, four);
  EXPECT_EQ(Hex(four), "01 02 03 04");
  EXPECT_EQ(GdsGetInt32(four), 0x01020304);
  GdsPutInt32(0x01020304, four, GdsByteOrder::kLittleEndian);
  EXPECT_EQ(Hex(four), "04 03 02 01");
  GdsPutInt32(std::numeric_limits<int32_t>::min(), four);
  EXPECT_EQ(GdsGetInt32(four), std::numeric_limits<int32_t>::min());
}

TEST(GdsTimestampTest, FieldsAndTexts) {
  const GdsDateTime when{1999, 12, 31, 23, 59, 58};
  EXPECT_EQ(GdsTimeText(when), "23:59:58:00");
  EXPECT_EQ(GdsDateText(when), "12/31/99");
  std::array<uint8_t, 24> fields;
  GdsTimestamp(when, fields);
  const std::string once = "00 63 00 0C 00 1F 00 17 00 3B 00 3A";
  EXPECT_EQ(Hex(fields), once + " " + once);

  GdsTimestamp({2026, 3, 4, 5, 6, 7}, fields, GdsByteOrder::kLittleEndian);
  EXPECT_EQ(Hex(std::span(fields).first(12)), "1A 00 03 00 04 00 05 00 06 00 07 00");
  EXPECT_EQ(GdsDateText({2026, 3, 4, 5, 6, 7}), "03/04/26");
}

}  // namespace
}  // namespace kavrinth
