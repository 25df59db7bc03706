// Fuzz target of the SHX loader: the input parsed as a font file; a font that loads is
// then measured and a text stroked with it, as the engine and the viewer use fonts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "fonts/shx_font.h"
#include "fonts/shx_stroke.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  std::unique_ptr<std::FILE, FileCloser> file(fmemopen(const_cast<uint8_t*>(data), size, "rb"));
  if (!file) return 0;
  ShxReader reader(file.get());
  ShxFont font;
  int64_t error_position = 0;
  const int result = ParseShxFont(reader, font, false, error_position);
  if (result == kShxLoaded) {
    std::vector<ShxCharMetrics> metrics;
    MeasureShxCharacters(font.words, font.index, 0, kShxCharacterCodes - 1, metrics);
    (void)ShxTextWidth("Ab 09 \xB0\xB1", metrics);
    (void)ShxTextHeight("Ab 09 \xB0\xB1", metrics);
    std::vector<int32_t> output(4096);
    int32_t largest_x = 0, largest_y = 0;
    (void)StrokeShxText("Ab 09 \xB0\xB1\xF8", font.words, font.index, output.data(),
                        static_cast<int32_t>(output.size()), largest_x, largest_y);
  }
  FreeShxFont(font);
  return 0;
}
