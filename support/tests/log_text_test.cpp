// How the log view decodes a job log and which line ends the user's lines get.
#include "support/log_text.h"

#include <gtest/gtest.h>

namespace kavrinth {
namespace {

TEST(LogTextTest, EightBitTextIsNotTakenForUtf8) {
  const struct {
    std::string bytes;
    LogTextEncoding encoding;
  } cases[] = {
      {"", LogTextEncoding::kUtf8},
      {"Layer 1\r\n", LogTextEncoding::kUtf8},
      {"caf\xc3\xa9 \xc2\xb5m", LogTextEncoding::kUtf8},
      {"\xf0\x9f\x99\x82", LogTextEncoding::kUtf8},
      {std::string("a\0b", 3), LogTextEncoding::kUtf8},
      {"caf\xe9", LogTextEncoding::kEightBit},           // Latin-1 e acute
      {"10 \xb5m", LogTextEncoding::kEightBit},          // Latin-1 micro sign
      {"\xc3", LogTextEncoding::kEightBit},              // cut sequence
      {"\xc0\xaf", LogTextEncoding::kEightBit},          // overlong
      {"\xed\xa0\x80", LogTextEncoding::kEightBit},      // surrogate
      {"\xf4\x90\x80\x80", LogTextEncoding::kEightBit},  // above U+10FFFF
      {"\xff\xfe", LogTextEncoding::kEightBit},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DetectLogTextEncoding(c.bytes), c.encoding) << ::testing::PrintToString(c.bytes);
  }
}

TEST(LogTextTest, AddedLinesTakeTheLogsLineEnds) {
  EXPECT_TRUE(LogUsesCrLf("a\r\nb\r\n"));
  EXPECT_TRUE(LogUsesCrLf("one line"));
  EXPECT_FALSE(LogUsesCrLf("a\nb\n"));
  EXPECT_EQ(WithLogLineEnds("a\nb\n", true), "a\r\nb\r\n");
  EXPECT_EQ(WithLogLineEnds("a\nb\n", false), "a\nb\n");
}

}  // namespace
}  // namespace kavrinth
