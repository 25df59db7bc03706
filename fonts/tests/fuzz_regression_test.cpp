// Findings of the sanitizer build and the fuzz targets around the fonts, kept as cases.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace kavrinth
