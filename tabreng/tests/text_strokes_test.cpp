// Text strokes: a text's lettering as boundary elements, placed by its justification,
// lines, height, angle, reflection and the font scales; and the engine's font loading.
#include "tabreng/text_strokes.h"

#include <gtest/gtest.h>

#include <map>

#include "gdsii/records.h"

namespace kavrinth {
namespace {

using Points = std::vector<int32_t>;

struct Stroke {
  int layer = -1;
  int elflags = -1;
  int datatype = -1;
  Points xy;
};

int32_t Get16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int16_t>((b[at] << 8) | b[at + 1]);
}
int32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int32_t>((uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) |
                              (uint32_t{b[at + 2]} << 8) | b[at + 3]);
}

// The elements of the written bytes; every one must be BOUNDARY, ELFLAGS, LAYER,
// DATATYPE, XY, ENDEL.
std::vector<Stroke> Parse(const std::vector<uint8_t>& bytes) {
  std::vector<Stroke> strokes;
  std::vector<int> types;
  for (size_t at = 0; at + 4 <= bytes.size();) {
    const size_t length = static_cast<uint16_t>(Get16(bytes, at));
    const int type = bytes[at + 2];
    types.push_back(type);
    if (type == kGdsBoundary) strokes.emplace_back();
    if (type == kGdsElFlags) strokes.back().elflags = Get16(bytes, at + 4);
    if (type == kGdsLayer) strokes.back().layer = Get16(bytes, at + 4);
    if (type == kGdsDataType) strokes.back().datatype = Get16(bytes, at + 4);
    if (type == kGdsXy) {
      EXPECT_EQ(bytes[at + 3], kGdsTypeInt32);
      for (size_t i = at + 4; i < at + length; i += 4) strokes.back().xy.push_back(Get32(bytes, i));
    }
    at += length;
  }
  static constexpr int kOrder[] = {kGdsBoundary, kGdsElFlags, kGdsLayer,
                                   kGdsDataType, kGdsXy,      kGdsEndEl};
  for (size_t i = 0; i < types.size(); ++i) EXPECT_EQ(types[i], kOrder[i % 6]) << i;
  return strokes;
}

// A font whose character height is 100 stroke units; "A" is an L from the origin,
// 100 to the right and 100 up (each displacement unit is 10 stroke units).
std::shared_ptr<EngineFont> LFont(std::map<int, std::vector<int16_t>> extra = {}) {
  auto font = std::make_shared<EngineFont>();
  font->shx.index.assign(256, -1);
  extra['A'] = {kShxDisplacement, 10, 0, kShxDisplacement, 0, 10, kShxEndOfShape};
  for (const auto& [code, words] : extra) {
    font->shx.index[code] = static_cast<int32_t>(font->shx.words.size());
    font->shx.words.insert(font->shx.words.end(), words.begin(), words.end());
  }
  font->height = 100;
  MeasureShxCharacters(font->shx.words, font->shx.index, 100, 255, font->metrics);
  return font;
}

EngineText TextAt(std::string string) {
  EngineText text;
  text.text = std::move(string);
  text.layer = 7;
  text.height = 1000;
  text.x = 5000;
  text.y = 7000;
  return text;
}

std::vector<Stroke> StrokesOf(const EngineText& text, const EngineFontSet& fonts,
                              std::array<double, 4> scales = {1, 1, 1, 1}) {
  std::vector<uint8_t> bytes;
  const TextStrokeResult result = TextToPolygons(text, fonts, scales, bytes);
  EXPECT_TRUE(result.fits);
  EXPECT_FALSE(result.incomplete);
  const std::vector<Stroke> strokes = Parse(bytes);
  EXPECT_EQ(result.boundaries, static_cast<int>(strokes.size()));
  return strokes;
}

TEST(TextToPolygonsTest, PlacementByJustificationAngleAndReflection) {
  const EngineFontSet fonts = {LFont(), LFont(), LFont(), LFont()};
  struct Case {
    const char* name;
    int horizontal, vertical;
    double angle;
    bool reflected;
    Points xy;
  };
  const Case cases[] = {
      {"left top", 0, 0, 0, false, {5000, 6000, 6000, 6000, 6000, 7000}},
      {"centre middle", 1, 1, 0, false, {4500, 6500, 5500, 6500, 5500, 7500}},
      {"right bottom", 2, 2, 0, false, {4000, 7000, 5000, 7000, 5000, 8000}},
      {"turned a quarter", 0, 2, 90, false, {5000, 7000, 5000, 8000, 4000, 8000}},
      {"reflected", 0, 2, 0, true, {5000, 7000, 6000, 7000, 6000, 6000}},
      {"reflected below the top", 0, 0, 0, true, {5000, 8000, 6000, 8000, 6000, 7000}},
      {"justification 3 counts as 0", 3, 3, 0, false, {5000, 6000, 6000, 6000, 6000, 7000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineText text = TextAt("A");
    text.horizontal = c.horizontal;
    text.vertical = c.vertical;
    text.angle = c.angle;
    text.reflected = c.reflected;
    const std::vector<Stroke> strokes = StrokesOf(text, fonts);
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].xy, c.xy);
    EXPECT_EQ(strokes[0].layer, 7);
    EXPECT_EQ(strokes[0].datatype, 0);
    EXPECT_EQ(strokes[0].elflags, 0);
  }
}

TEST(TextToPolygonsTest, LinesFontsScalesAndTemplates) {
  const EngineFontSet fonts = {LFont(), LFont(), LFont(), LFont()};
  // Lines follow each other 1.4 heights apart; an empty line writes nothing.
  std::vector<Stroke> strokes = StrokesOf(TextAt("A\r\rA"), fonts);
  ASSERT_EQ(strokes.size(), 2u);
  EXPECT_EQ(strokes[1].xy, (Points{5000, 3200, 6000, 3200, 6000, 4200}));
  // Bottom justification puts the last line on the position.
  EngineText text = TextAt("A\rA");
  text.vertical = 2;
  strokes = StrokesOf(text, fonts);
  ASSERT_EQ(strokes.size(), 2u);
  EXPECT_EQ(strokes[0].xy, (Points{5000, 8400, 6000, 8400, 6000, 9400}));
  EXPECT_EQ(strokes[1].xy, (Points{5000, 7000, 6000, 7000, 6000, 8000}));

  // Each font has its scale; a font number beyond 0..3 takes font 0.
  text = TextAt("A");
  text.vertical = 2;
  text.font = 2;
  text.template_flag = true;
  strokes = StrokesOf(text, fonts, {1, 1, 2, 1});
  ASSERT_EQ(strokes.size(), 1u);
  EXPECT_EQ(strokes[0].xy, (Points{5000, 7000, 7000, 7000, 7000, 9000}));
  EXPECT_EQ(strokes[0].elflags, 1);
  text.font = 9;
  strokes = StrokesOf(text, fonts, {3, 1, 2, 1});
  EXPECT_EQ(strokes[0].xy, (Points{5000, 7000, 8000, 7000, 8000, 10000}));

  // Without fonts, nothing is written.
  std::vector<uint8_t> bytes;
  EXPECT_EQ(TextToPolygons(TextAt("A"), EngineFontSet{}, {1, 1, 1, 1}, bytes).boundaries, 0);
  EXPECT_TRUE(bytes.empty());
}

TEST(TextToPolygonsTest, LongStrokesGrowTheBufferAndContinueInFurtherElements) {
  // A character of 680 half-circle arcs: one polyline of about 31000 points.
  std::vector<int16_t> arcs = {kShxBulgeArcList, 680};
  for (int i = 0; i < 680; ++i) arcs.insert(arcs.end(), {2, 0, 127});
  arcs.push_back(kShxEndOfShape);
  const auto font = LFont({{'S', arcs}});
  const EngineFontSet fonts = {font, font, font, font};
  EngineText text = TextAt("S");
  text.height = 100;  // stroke units are database units
  text.x = text.y = 0;
  text.vertical = 2;
  const std::vector<Stroke> strokes = StrokesOf(text, fonts);
  ASSERT_GE(strokes.size(), 4u);
  size_t points = 0;
  for (size_t i = 0; i < strokes.size(); ++i) {
    EXPECT_LE(strokes[i].xy.size() / 2, 8191u);
    points += strokes[i].xy.size() / 2;
    if (i == 0) continue;
    // Each goes on from the last point of the one before.
    const Points& before = strokes[i - 1].xy;
    EXPECT_EQ(strokes[i].xy[0], before[before.size() - 2]);
    EXPECT_EQ(strokes[i].xy[1], before[before.size() - 1]);
  }
  EXPECT_GT(points, 30000u);
  EXPECT_EQ(strokes.back().xy[strokes.back().xy.size() - 2], 680 * 20);
}

TEST(TextToPolygonsTest, ALineTheFontCannotStrokeIsLeftOut) {
  const auto font = LFont({{'X', {-99, kShxEndOfShape}}});
  const EngineFontSet fonts = {font, font, font, font};
  std::vector<uint8_t> bytes;
  ::testing::internal::CaptureStdout();
  const TextStrokeResult result = TextToPolygons(TextAt("X\rA"), fonts, {1, 1, 1, 1}, bytes);
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(result.incomplete);
  EXPECT_EQ(result.boundaries, 1);
}

TEST(LoadEngineFontTest, TheProgramsFontLoadsAndMeasures) {
  EngineFont font;
  ASSERT_EQ(LoadEngineFont(KAVRINTH_MIRELT_PATH, font), 0);
  EXPECT_GT(font.height, 0);
  EXPECT_GT(font.metrics.at('H').advance, 0);
  EXPECT_EQ(LoadEngineFont("/nonexistent/font.shx", font), -1);
}

}  // namespace
}  // namespace kavrinth
