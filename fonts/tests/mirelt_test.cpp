// Tests of the programs' font mirelt.shx as the build makes it from the Hershey data:
// it loads, and its glyphs stroke back into the Hershey strokes, scaled.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fonts/shx_font.h"
#include "fonts/shx_stroke.h"
#include "tools/shxgen/hershey.h"

namespace kavrinth {
namespace {

using Point = std::pair<int32_t, int32_t>;
using Polyline = std::vector<Point>;

class Mirelt : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadShxFont(KAVRINTH_MIRELT_PATH, font_, position_), kShxLoaded) << position_;
    std::string error;
    ASSERT_TRUE(shxgen::ReadHersheyFile(KAVRINTH_HERSHEY_JHF, glyphs_, error)) << error;
    ASSERT_GE(glyphs_.size(), 95u);
  }

  // The text's polylines; the text must stroke completely.
  std::vector<Polyline> StrokePolylines(std::string_view text) {
    std::vector<int32_t> out(16384);
    int32_t x = 0, y = 0;
    EXPECT_EQ(StrokeShxText(text, font_.words, font_.index, out.data(),
                            static_cast<int32_t>(out.size()), x, y),
              kShxStrokeDone);
    std::vector<Polyline> lines(1);
    for (size_t i = 0; i < out.size() && out[i] != kShxTextEnd;) {
      if (out[i] == kShxPolylineEnd) {
        lines.emplace_back();
        ++i;
      } else {
        lines.back().push_back({out[i], out[i + 1]});
        i += 2;
      }
    }
    lines.pop_back();  // the empty one after the last end
    return lines;
  }

  // The Hershey strokes of the glyph for code, at 10 output units per Hershey unit,
  // from the cell's left edge and the baseline, y upwards, shifted by dx.
  std::vector<Polyline> ExpectedPolylines(int code, int32_t dx = 0) {
    const shxgen::HersheyGlyph& glyph = glyphs_[code - 32];
    std::vector<Polyline> lines;
    for (const auto& stroke : glyph.strokes) {
      Polyline line;
      for (auto [x, y] : stroke) {
        Point p = {dx + 10 * (x - glyph.left), 10 * (9 - y)};
        if (line.empty() || line.back() != p) line.push_back(p);
      }
      if (line.size() >= 2) lines.push_back(line);
    }
    return lines;
  }

  int32_t Advance(int code) { return 10 * (glyphs_[code - 32].right - glyphs_[code - 32].left); }

  ShxFont font_;
  int64_t position_ = 0;
  std::vector<shxgen::HersheyGlyph> glyphs_;
};

TEST_F(Mirelt, IsANormalFontWithEveryPrintableCharacter) {
  EXPECT_FALSE(font_.unifont);
  EXPECT_EQ(font_.height_above, 210);
  EXPECT_EQ(font_.height_below, 70);
  for (int code = 32; code <= 126; ++code) EXPECT_GE(font_.index[code], 0) << code;
  EXPECT_EQ(font_.index[127], -1);
}

TEST_F(Mirelt, EveryGlyphStrokesIntoItsHersheyStrokesScaled) {
  for (int code = 33; code <= 126; ++code) {
    std::string text(1, static_cast<char>(code));
    EXPECT_EQ(StrokePolylines(text), ExpectedPolylines(code)) << "character " << text;
  }
}

TEST_F(Mirelt, CharactersFollowEachOtherByTheirAdvance) {
  std::vector<Polyline> expected = ExpectedPolylines('H');
  std::vector<Polyline> second = ExpectedPolylines('i', Advance('H') + Advance(' '));
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(StrokePolylines("H i"), expected);

  std::vector<ShxCharMetrics> metrics;
  MeasureShxCharacters(font_.words, font_.index, font_.height_above, font_.highest_value, metrics);
  EXPECT_EQ(ShxTextWidth("H i", metrics), Advance('H') + Advance(' ') + Advance('i'));
  // Heights: the highest stroke point of each glyph above the baseline.
  auto height = [&](int code) {
    int top = 0;
    for (const auto& stroke : glyphs_[code - 32].strokes) {
      for (auto [x, y] : stroke) top = std::max(top, 10 * (9 - y));
    }
    return top;
  };
  EXPECT_EQ(height('H'), 210);  // capitals reach the font's height above the baseline
  EXPECT_EQ(ShxTextHeight("H i", metrics), std::max(height('H'), height('i')));
}

TEST(MireltReadme, CarriesTheHersheyAcknowledgement) {
  std::ifstream in(std::string(KAVRINTH_MIRELT_PATH) + ".README");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_THAT(text.str(), testing::HasSubstr("The Hershey Fonts were originally created by Dr."));
  EXPECT_THAT(text.str(), testing::HasSubstr("James Hurt"));
}

TEST(HersheyText, GlyphsMayContinueOnTheNextLine) {
  std::vector<shxgen::HersheyGlyph> glyphs;
  std::string error;
  // Glyph 7: cell -4..4, strokes (0,-3)-(1,-2) and (-1,0)-(0,0)-(1,1), split after
  // its sixth vertex.
  ASSERT_TRUE(shxgen::ParseHersheyText("    7  7NVROSP RQR\r\nRRSS\r\n   12  1JZ\n", glyphs, error))
      << error;
  ASSERT_EQ(glyphs.size(), 2u);
  EXPECT_EQ(glyphs[0].number, 7);
  EXPECT_EQ(glyphs[0].left, -4);
  EXPECT_EQ(glyphs[0].right, 4);
  using Stroke = shxgen::HersheyStroke;
  EXPECT_EQ(glyphs[0].strokes,
            (std::vector<Stroke>{{{0, -3}, {1, -2}}, {{-1, 0}, {0, 0}, {1, 1}}}));
  EXPECT_TRUE(glyphs[1].strokes.empty());

  EXPECT_FALSE(shxgen::ParseHersheyText("   12  9JZRR\n", glyphs, error));  // too few vertices
  EXPECT_FALSE(shxgen::ParseHersheyText("garbage\n", glyphs, error));
}

}  // namespace
}  // namespace kavrinth
