// Tests of SHX text stroking: polylines and their markers, vectors, scale, arcs, the
// call and position stacks, faults, the capacity limit, and character metrics.
#include "fonts/shx_stroke.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "fonts/shx_font.h"

namespace kavrinth {
namespace {

using testing::HasSubstr;

constexpr int32_t E = kShxPolylineEnd;
constexpr int32_t T = kShxTextEnd;
constexpr int32_t M = kShxPenDownAgain;

// A word and index table made from characters given as their words.
struct Table {
  std::vector<int16_t> words;
  std::vector<int32_t> index = std::vector<int32_t>(256, -1);
};

Table MakeTable(const std::map<int, std::vector<int16_t>>& characters) {
  Table table;
  for (const auto& [code, words] : characters) {
    table.index[code] = static_cast<int32_t>(table.words.size());
    table.words.insert(table.words.end(), words.begin(), words.end());
  }
  return table;
}

struct Stroked {
  int result = -99;
  std::vector<int32_t> output;
  int32_t largest_x = -99;
  int32_t largest_y = -99;
  std::string printed;
};

Stroked Stroke(const Table& table, std::string_view text, int32_t capacity = 4096) {
  Stroked s;
  std::vector<int32_t> buffer(std::max(capacity, 0) + 8, -555);
  testing::internal::CaptureStdout();
  s.result = StrokeShxText(text, table.words, table.index, buffer.data(), capacity, s.largest_x,
                           s.largest_y);
  s.printed = testing::internal::GetCapturedStdout();
  // What the output holds: through the text end when done, the whole capacity when
  // full, and up to the first untouched slot after a fault.
  auto end = std::find(buffer.begin(), buffer.end(), -555);
  if (s.result == kShxStrokeDone) end = std::find(buffer.begin(), buffer.end(), T) + 1;
  if (s.result == kShxStrokeFull) end = buffer.begin() + capacity;
  s.output.assign(buffer.begin(), end);
  return s;
}

Stroked Stroke(const std::map<int, std::vector<int16_t>>& characters, std::string_view text) {
  return Stroke(MakeTable(characters), text);
}

using Values = std::vector<int32_t>;

TEST(StrokeShxText, EmptyTextWritesOnlyTheEnd) {
  Stroked s = Stroke({{'A', {-8, 1, 0, 0}}}, "");
  EXPECT_EQ(s.result, kShxStrokeDone);
  EXPECT_EQ(s.output, Values{T});
  EXPECT_EQ(s.largest_x, 0);
  EXPECT_EQ(s.largest_y, 0);
}

TEST(StrokeShxText, PolylinesAndTheirMarkers) {
  struct Case {
    const char* what;
    std::vector<int16_t> words;
    Values expected;
  } cases[] = {
      {"one move with the pen down", {-8, 10, 0, 0}, {0, 0, 100, 0, E, T}},
      {"a move back to the start", {-8, 3, 0, -8, -3, 0, 0}, {0, 0, 30, 0, 0, 0, E, T}},
      {"a move of nothing: two equal points", {-8, 0, 0, 0}, {T}},
      {"a lone point", {-2, -1, -2, 0}, {T}},
      {"pen down while down", {-1, -8, 1, 0, 0}, {0, 0, M, 0, 0, 10, 0, E, T}},
      {"moves with the pen up draw nothing",
       {-2, -8, 5, 5, -1, -8, 1, 0, -2, 0},
       {50, 50, 60, 50, E, T}},
      {"a displacement list", {-9, 2, 1, 0, 0, 2, 0}, {0, 0, 10, 0, 10, 20, E, T}},
      {"scale multiplied and divided",
       {-4, 2, -8, 1, 0, -3, 4, -8, 2, 0, 0},
       {0, 0, 20, 0, 30, 0, E, T}},
      {"a divisor of 0 changes nothing", {-3, 0, -8, 1, 0, 0}, {0, 0, 10, 0, E, T}},
      {"bulge 0 is a straight line", {-12, 10, 0, 0, 0}, {0, 0, 100, 0, E, T}},
  };
  for (const Case& c : cases) {
    Stroked s = Stroke({{'A', c.words}}, "A");
    EXPECT_EQ(s.result, kShxStrokeDone) << c.what;
    EXPECT_EQ(s.output, c.expected) << c.what;
  }
}

TEST(StrokeShxText, VectorsStepOnTheTwoByTwoSquare) {
  // Direction d of length 1 at the starting scale of 10.
  const int32_t expected[16][2] = {{10, 0},   {10, 5},  {10, 10},  {5, 10},   {0, 10},    {-5, 10},
                                   {-10, 10}, {-10, 5}, {-10, 0},  {-10, -5}, {-10, -10}, {-5, -10},
                                   {0, -10},  {5, -10}, {10, -10}, {10, -5}};
  for (int d = 0; d < 16; ++d) {
    Stroked s = Stroke({{'A', {static_cast<int16_t>(0x10 | d), 0}}}, "A");
    EXPECT_EQ(s.output, (Values{0, 0, expected[d][0], expected[d][1], E, T})) << "direction " << d;
  }
  Stroked longer = Stroke({{'A', {0x31, 0}}}, "A");  // length 3, direction 1
  EXPECT_EQ(longer.output, (Values{0, 0, 30, 15, E, T}));
  EXPECT_EQ(longer.largest_x, 30);
  EXPECT_EQ(longer.largest_y, 15);
}

TEST(StrokeShxText, EachCharacterStartsWhereThePreviousEndedWithFreshScaleAndPen) {
  // Pen up, move 5, pen down, double the scale, move 5: a line from x 50 to x 150.
  Table table =
      MakeTable({{'A', {-2, -8, 5, 0, -1, -4, 2, -8, 5, 0, 0}}, {' ', {-2, -8, 3, 0, 0}}});
  Stroked s = Stroke(table, "A A");
  EXPECT_EQ(s.result, kShxStrokeDone);
  EXPECT_EQ(s.output, (Values{50, 0, 150, 0, E, 230, 0, 330, 0, E, T}));
  EXPECT_EQ(s.largest_x, 330);
  // Undefined characters are skipped.
  EXPECT_EQ(Stroke(table, "?A?").output, (Values{50, 0, 150, 0, E, T}));
}

TEST(StrokeShxText, BulgeArcFollowsItsCircleInStepsOfAtMostFourDegrees) {
  // Bulge 127: a half circle, counter-clockwise from (0, 0) to (100, 0) round (50, 0).
  Stroked s = Stroke({{'A', {-12, 10, 0, 127, 0}}}, "A");
  ASSERT_EQ(s.result, kShxStrokeDone);
  ASSERT_EQ(s.output.size(), 2 * 47u + 2);  // 46 steps: 47 points, end, text end
  EXPECT_EQ(s.output[0], 0);
  EXPECT_EQ(s.output[1], 0);
  EXPECT_EQ(s.output[2 * 46], 100);
  EXPECT_EQ(s.output[2 * 46 + 1], 0);
  EXPECT_EQ(s.output[2 * 23], 50);  // the middle step is the lowest point
  EXPECT_EQ(s.output[2 * 23 + 1], -50);
  for (size_t k = 0; k < 47; ++k) {
    double x = s.output[2 * k], y = s.output[2 * k + 1];
    EXPECT_NEAR(std::hypot(x - 50, y), 50, 0.75) << k;
    EXPECT_LE(y, 0) << k;
  }
  EXPECT_EQ(s.largest_x, 100);
  EXPECT_EQ(s.largest_y, 0);

  // Negative bulge: clockwise, above the chord.
  Stroked cw = Stroke({{'A', {-12, 10, 0, -127, 0}}}, "A");
  EXPECT_EQ(cw.output[2 * 23 + 1], 50);
  EXPECT_EQ(cw.largest_y, 50);
}

TEST(StrokeShxText, BulgeListEndsEachArcAtItsChord) {
  // Out along a quarter-ish arc and back along another.
  Stroked s = Stroke({{'A', {-13, 2, 10, 0, 64, -10, 0, -64, 0}}}, "A");
  ASSERT_EQ(s.result, kShxStrokeDone);
  ASSERT_GE(s.output.size(), 6u);
  size_t n = s.output.size();
  EXPECT_EQ(s.output[n - 4], 0);  // back at the start
  EXPECT_EQ(s.output[n - 3], 0);
  EXPECT_EQ(s.output[n - 2], E);
  EXPECT_NE(std::find(s.output.begin(), s.output.end(), 100), s.output.end());
}

TEST(StrokeShxText, PushAndPopRestoreThePositionAndEndThePolyline) {
  Stroked s = Stroke({{'A', {-5, -8, 10, 0, -6, -8, 0, 10, 0}}}, "A");
  EXPECT_EQ(s.result, kShxStrokeDone);
  EXPECT_EQ(s.output, (Values{0, 0, 100, 0, E, T}));  // the pen stays up after the pop
  EXPECT_EQ(s.largest_x, 100);
  EXPECT_EQ(s.largest_y, 100);
}

TEST(StrokeShxText, StackFaultsEndTheTextWithAMessage) {
  std::vector<int16_t> twenty(20, kShxPushPosition), twenty_one(21, kShxPushPosition);
  twenty.push_back(0);
  twenty_one.push_back(0);
  EXPECT_EQ(Stroke({{'A', twenty}}, "A").result, kShxStrokeDone);

  Stroked deep = Stroke({{'A', twenty_one}}, "A");
  EXPECT_EQ(deep.result, kShxStrokeFault);
  EXPECT_THAT(deep.printed, HasSubstr("\n\n Text LOC SHX nesting too deep 21  @ 20\n\n"));

  Stroked under = Stroke({{'A', {-8, 1, 0, -6, 0}}}, "A");
  EXPECT_EQ(under.result, kShxStrokeFault);
  EXPECT_THAT(under.printed, HasSubstr("\n\n Text LOC SHX Underflow 0  @ 3\n\n"));
  EXPECT_EQ(under.output, (Values{0, 0, 10, 0, E}));  // no text end after a fault

  Stroked bad = Stroke({{'A', {-8, 1, 0, -10, 0}}}, "A");
  EXPECT_EQ(bad.result, kShxStrokeFault);
  EXPECT_THAT(bad.printed, HasSubstr("\n\n Bad Code encountered in FONT table -10  @ 3\n\n"));
}

TEST(StrokeShxText, CallsRunTheCalledCharacterInPlace) {
  Table table = MakeTable(
      {{'L', {-8, 10, 0, 0}}, {'S', {-4, 2, -7, 'L', -7, 'L', -7, 'Q', 0}}, {'R', {-7, 'R', 0}}});
  Stroked s = Stroke(table, "S");
  EXPECT_EQ(s.result, kShxStrokeDone);
  // The scale carries into the calls; a call of the undefined Q does nothing.
  EXPECT_EQ(s.output, (Values{0, 0, 200, 0, 400, 0, E, T}));

  Stroked forever = Stroke(table, "R");
  EXPECT_EQ(forever.result, kShxStrokeFault);
  EXPECT_THAT(forever.printed, HasSubstr("\n\n Text SHX nesting too deep 21  @ "));
}

TEST(StrokeShxText, RunningOffTheWordTableIsAFault) {
  Stroked s = Stroke({{'A', {-8, 1, 0}}}, "A");
  EXPECT_EQ(s.result, kShxStrokeFault);
  EXPECT_THAT(s.printed, HasSubstr("Bad Code"));
  Stroked operand = Stroke({{'A', {-8, 1}}}, "A");
  EXPECT_EQ(operand.result, kShxStrokeFault);
}

TEST(StrokeShxText, CharacterEndsAfterItsWordLimit) {
  std::vector<int16_t> words(3000, 0x10);  // no end within the limit
  Stroked s = Stroke(MakeTable({{'A', words}}), "A", 8192);
  EXPECT_EQ(s.result, kShxStrokeDone);
  EXPECT_EQ(s.largest_x, 10 * kShxCharacterWordLimit);
  // One point per vector read and the point reached, then the polyline and text ends.
  ASSERT_EQ(s.output.size(), 2u * (kShxCharacterWordLimit + 1) + 2);
  EXPECT_EQ(s.output[2 * kShxCharacterWordLimit], 10 * kShxCharacterWordLimit);
  EXPECT_EQ(s.output[s.output.size() - 2], E);
  EXPECT_EQ(s.output.back(), T);
}

TEST(StrokeShxText, FullOutputKeepsWhatFittedAndSaysSo) {
  Table table = MakeTable({{'A', {-9, 3, 1, 0, 0, 1, -1, 0, -2, -8, 1, 1, -1, -8, 1, 0, 0}}});
  Stroked whole = Stroke(table, "AA");
  ASSERT_EQ(whole.result, kShxStrokeDone);
  for (int32_t capacity = 0; capacity < static_cast<int32_t>(whole.output.size()); ++capacity) {
    Stroked cut = Stroke(table, "AA", capacity);
    EXPECT_EQ(cut.result, kShxStrokeFull) << capacity;
    ASSERT_LE(cut.output.size(), static_cast<size_t>(capacity));
    EXPECT_TRUE(std::equal(cut.output.begin(), cut.output.end(), whole.output.begin())) << capacity;
  }
  EXPECT_EQ(Stroke(table, "AA", static_cast<int32_t>(whole.output.size())).result, kShxStrokeDone);
}

TEST(StrokeShxText, WithoutOutputItMeasuresAgainstTheCapacity) {
  Table table = MakeTable({{'A', {-8, 3, 2, -2, -8, 1, 5, 0}}});
  int32_t x = 0, y = 0;
  EXPECT_EQ(StrokeShxText("AA", table.words, table.index, nullptr, 100, x, y), kShxStrokeDone);
  EXPECT_EQ(x, 80);
  EXPECT_EQ(y, 140);
  EXPECT_EQ(StrokeShxText("AA", table.words, table.index, nullptr, 10, x, y), kShxStrokeFull);
}

TEST(MeasureShxCharacters, AdvanceAndHeightOfEachDefinedCharacter) {
  Table table = MakeTable({{'A', {-8, 6, 9, -2, -8, 2, -9, 0}},  // reaches (60, 90), ends at x 80
                           {'B', {-2, -8, 4, 0, 0}}});           // a pen-up move of 4
  std::vector<ShxCharMetrics> metrics;
  testing::internal::CaptureStdout();
  MeasureShxCharacters(table.words, table.index, 77, 'C', metrics);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(metrics.size(), size_t('C') + 1);
  EXPECT_EQ(metrics[0].advance, 77);
  EXPECT_EQ(metrics[0].height, 'C');
  EXPECT_EQ(metrics['A'].advance, 80);
  EXPECT_EQ(metrics['A'].height, 90);
  EXPECT_EQ(metrics['B'].advance, 40);
  EXPECT_EQ(metrics['B'].height, 0);
  EXPECT_EQ(metrics['C'].advance, -1);  // undefined
  EXPECT_EQ(metrics['C'].height, -1);

  EXPECT_EQ(ShxTextWidth("ABBA", metrics), 240);
  EXPECT_EQ(ShxTextWidth("ACB?", metrics), 120);  // undefined characters add nothing
  EXPECT_EQ(ShxTextHeight("BAB", metrics), 90);
  EXPECT_EQ(ShxTextHeight("BC", metrics), 0);
  EXPECT_EQ(ShxTextHeight("", metrics), 0);
}

// The generator's fixture fonts, loaded and stroked.
class FixtureStroking : public testing::Test {
 protected:
  Stroked StrokeFixture(const std::string& file, std::string_view text) {
    ShxFont font;
    int64_t position = 0;
    EXPECT_EQ(LoadShxFont(std::string(KAVRINTH_SHX_FIXTURE_DIR) + "/" + file, font, position),
              kShxLoaded);
    Table table;
    table.words = font.words;
    table.index = font.index;
    return Stroke(table, text);
  }
};

TEST_F(FixtureStroking, FullCircleFromOctantArcsClosesOnItself) {
  Stroked s = StrokeFixture("arcs.shx", "O");
  ASSERT_EQ(s.result, kShxStrokeDone);
  // The shape opens with a pen down while the pen is down: its point and the marker.
  ASSERT_EQ(s.output.size() > 3 ? s.output[2] : 0, M);
  s.output.erase(s.output.begin(), s.output.begin() + 3);
  size_t n = s.output.size();
  ASSERT_GE(n, 8u);
  EXPECT_EQ(s.output[n - 4], 0);
  EXPECT_EQ(s.output[n - 3], 0);
  for (size_t k = 0; k + 4 < n; k += 2) {
    EXPECT_NEAR(std::hypot(s.output[k] + 100.0, s.output[k + 1]), 100, 1.0) << k;
  }
  EXPECT_EQ(s.largest_y, 100);
}

TEST_F(FixtureStroking, PositionStackAndCallNesting) {
  EXPECT_EQ(StrokeFixture("pushpop.shx", "P").output, (Values{0, 0, M, 0, 0, 100, 0, E, T}));
  EXPECT_EQ(StrokeFixture("pushpop.shx", "T").result, kShxStrokeDone);
  EXPECT_EQ(StrokeFixture("pushpop.shx", "D").result, kShxStrokeFault);
  EXPECT_EQ(StrokeFixture("pushpop.shx", "U").result, kShxStrokeFault);

  EXPECT_EQ(StrokeFixture("calls.shx", "S").output, (Values{0, 0, 100, 0, 200, 0, E, T}));
  EXPECT_EQ(StrokeFixture("calls.shx", "R").result, kShxStrokeFault);
  Stroked twenty = StrokeFixture("calls.shx", "b");  // b -> ... -> v: 20 nested calls
  EXPECT_EQ(twenty.result, kShxStrokeDone);
  EXPECT_EQ(twenty.output, (Values{0, 0, 100, 0, E, T}));
  EXPECT_EQ(StrokeFixture("calls.shx", "a").result, kShxStrokeFault);  // 21
}

TEST_F(FixtureStroking, UnifontSignsAreReachableUnderTheirCopies) {
  EXPECT_EQ(StrokeFixture("unifont.shx", "A").output, (Values{0, 0, 100, 0, E, T}));
  EXPECT_EQ(StrokeFixture("unifont.shx", "\x7F\x80\x81").output,
            (Values{0, 0, 10, 0, E, 10, 0, 30, 0, E, 30, 0, 60, 0, E, T}));
}

}  // namespace
}  // namespace kavrinth
