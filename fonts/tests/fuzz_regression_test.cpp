// Findings of the sanitizer build and the fuzz targets around the fonts, kept as cases.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fonts/path_outline.h"
#include "fonts/shx_font.h"
#include "tools/shxgen/shx_writer.h"

namespace kavrinth {
namespace {

// The font tests write truncated fonts down to zero bytes; an empty vector has no buffer,
// and handing its null data to fwrite was undefined behaviour.
TEST(FontFuzzRegressionTest, AnEmptyFontFileIsWrittenAndRefused) {
  std::string directory = "/tmp/fonts-regression-XXXXXX";
  ASSERT_NE(::mkdtemp(directory.data()), nullptr);
  const std::string path = directory + "/empty.shx";
  EXPECT_TRUE(shxgen::WriteFileBytes(path, std::vector<uint8_t>()));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  ShxFont font;
  int64_t error_position = 0;
  EXPECT_EQ(LoadShxFont(path, font, error_position), kShxMalformed);
  std::filesystem::remove_all(directory);
}

// A centre line on the edge of the 32-bit range: the side beyond the edge used to wrap
// round to the far end of the range (signed overflow). It is held at the edge instead.
TEST(FontFuzzRegressionTest, AnOutlineAtTheEdgeOfTheRangeDoesNotWrapRound) {
  struct Case {
    const char* name;
    std::vector<int32_t> centre;
  };
  const Case cases[] = {
      {"left edge", {INT32_MIN, 0, INT32_MIN, 1000}},
      {"right edge", {INT32_MAX, 1000, INT32_MAX, 0}},
      {"bottom edge", {1000, INT32_MIN, 0, INT32_MIN}},
      {"top edge", {0, INT32_MAX, 1000, INT32_MAX}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int32_t> outline(64);
    int32_t room = 32;
    ASSERT_EQ(PathToOutline(2, c.centre, 100, outline, false, room), 2);
    ASSERT_EQ(room, 6);
    for (int32_t k = 0; k < room; ++k) {
      // Every outline point stays within the half-width (50) of the centre line.
      const int64_t x = outline[2 * k], y = outline[2 * k + 1];
      const int64_t cx = c.centre[0], cy = c.centre[1];
      const int64_t dx = c.centre[2] - cx, dy = c.centre[3] - cy;
      if (dx == 0) {
        EXPECT_LE(std::abs(x - cx), 50) << k;
      } else if (dy == 0) {
        EXPECT_LE(std::abs(y - cy), 50) << k;
      }
    }
  }
}

}  // namespace
}  // namespace kavrinth
