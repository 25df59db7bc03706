// Tests of SHX font loading: the word table made from each kind of command, normal and
// UNIFONT files, index limits, and malformed files of every kind.
#include "fonts/shx_font.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/shxgen/shx_writer.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;
using shxgen::NormalShapeData;
using shxgen::ShxFontDescription;
using shxgen::ShxShape;
using shxgen::UnifontShapeData;
using shxgen::WriteNormalShx;
using shxgen::WriteUnifontShx;

const std::string kFixtures = KAVRINTH_SHX_FIXTURE_DIR;

// A fresh directory under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = "/tmp/shx_font_test.XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct Loaded {
  int result = -99;
  int64_t position = -99;
  ShxFont font;
};

Loaded LoadFile(const std::string& path) {
  Loaded loaded;
  loaded.result = LoadShxFont(path, loaded.font, loaded.position);
  return loaded;
}

Loaded LoadBytes(const std::vector<uint8_t>& bytes) {
  TempDir dir;
  EXPECT_TRUE(shxgen::WriteFileBytes(dir / "font.shx", bytes));
  return LoadFile(dir / "font.shx");
}

// The words of a character from its first one, as many as expected holds.
std::vector<int16_t> WordsOf(const ShxFont& font, int code, size_t count) {
  int32_t start = font.index.at(code);
  if (start < 0 || start + count > font.words.size()) return {};
  return {font.words.begin() + start, font.words.begin() + start + count};
}

void ExpectWords(const ShxFont& font, int code, std::vector<int16_t> expected) {
  EXPECT_EQ(WordsOf(font, code, expected.size()), expected) << "character " << code;
}

ShxShape Shape(int code, std::initializer_list<int> commands) {
  return {static_cast<uint16_t>(code), NormalShapeData(commands)};
}

ShxFontDescription TwoShapeFont() {
  ShxFontDescription font;
  font.shapes = {Shape('A', {1, 8, 10, 0, 2, 0}), Shape('B', {1, 0x14, 0})};
  return font;
}

TEST(LoadShxFont, OctantAndFractionalArcsBecomeBulgeArcs) {
  Loaded arcs = LoadFile(kFixtures + "/arcs.shx");
  ASSERT_EQ(arcs.result, kShxLoaded);
  EXPECT_EQ(arcs.position, -1);
  // Full circle of radius 10: two half circles, bulge 127 each.
  ExpectWords(arcs.font, 'O', {-1, -12, -20, 0, 127, -12, 20, 0, 127, 0});
  ExpectWords(arcs.font, 'H', {-1, -12, -20, 0, 127, 0});
  // Clockwise from 90 degrees over 135: chord (3.54, -8.54), bulge -127 tan(33.75 deg).
  ExpectWords(arcs.font, 'C', {-1, -12, 4, -9, -85, 0});
  // Fractional, 0 to 90 degrees, radius 20: bulge 127 tan(22.5 deg) = 52.6.
  ExpectWords(arcs.font, 'F', {-1, -12, -20, 20, 53, 0});
  // Fractional from 22.5 to 270 degrees, radius 10: two pieces of 123.75 degrees.
  ExpectWords(arcs.font, 'G', {-1, -12, -18, 2, 76, -12, 8, -16, 76, 0});
}

TEST(LoadShxFont, BulgeArcsAndListsAreKeptWithTheirCounts) {
  Loaded bulges = LoadFile(kFixtures + "/bulges.shx");
  ASSERT_EQ(bulges.result, kShxLoaded);
  ExpectWords(bulges.font, 'B', {-1, -12, 10, 0, 127, 0});
  ExpectWords(bulges.font, 'M', {-1, -13, 2, 10, 0, 127, -10, 0, -127, 0});
  ExpectWords(bulges.font, 'Z', {-1, -12, 10, 0, 0, 0});
}

TEST(LoadShxFont, LeavesOutMeaninglessAndVerticalOnlyCommands) {
  Loaded calls = LoadFile(kFixtures + "/calls.shx");
  ASSERT_EQ(calls.result, kShxLoaded);
  ExpectWords(calls.font, '0', {-8, 10, 0, 0});         // call of character 0 left out
  ExpectWords(calls.font, '3', {-4, 2, -8, 10, 0, 0});  // divide by 0 left out
  ExpectWords(calls.font, 'V', {-8, 10, 0, 0});         // vertical-only move left out
  ExpectWords(calls.font, 'S', {-7, 'L', -7, 'L', 0});
  // L is defined twice; the first definition stays.
  ExpectWords(calls.font, 'L', {-8, 10, 0, 0});
}

TEST(LoadShxFont, NormalHeaderGivesTypeCountsAndHeights) {
  ShxFontDescription description = TwoShapeFont();
  description.above = 25;
  description.below = 9;
  Loaded loaded = LoadBytes(WriteNormalShx(description));
  ASSERT_EQ(loaded.result, kShxLoaded);
  EXPECT_FALSE(loaded.font.unifont);
  EXPECT_EQ(loaded.font.font_type, 0);
  EXPECT_EQ(loaded.font.highest_value, 'B');
  EXPECT_EQ(loaded.font.character_count, 3);
  EXPECT_EQ(loaded.font.height_above, 250);
  EXPECT_EQ(loaded.font.height_below, 90);
  EXPECT_EQ(loaded.font.header_text, "KAVRINTH shapes 1.0\r\n");
  ASSERT_EQ(loaded.font.index.size(), 256u);
  EXPECT_EQ(loaded.font.index['C'], -1);
  ExpectWords(loaded.font, 'B', {-1, 0x14, 0});
  EXPECT_EQ(loaded.font.words.size(), 6u + 3u);  // shrunk to the words used
}

TEST(LoadShxFont, UnifontFileKeepsCodes32To255AndCopiesTheSigns) {
  Loaded uni = LoadFile(kFixtures + "/unifont.shx");
  ASSERT_EQ(uni.result, kShxLoaded);
  EXPECT_TRUE(uni.font.unifont);
  EXPECT_EQ(uni.font.height_above, 100);
  EXPECT_EQ(uni.font.height_below, 30);
  ExpectWords(uni.font, 'A', {-8, 10, 0, 0});      // its one-letter name skipped
  ExpectWords(uni.font, 'B', {-1, -8, 0, 10, 0});  // an empty name skipped
  EXPECT_EQ(uni.font.index[7], -1);                // below 32
  ExpectWords(uni.font, 176, {-8, 1, 0, 0});
  ExpectWords(uni.font, 177, {-8, 2, 0, 0});
  ExpectWords(uni.font, 248, {-8, 3, 0, 0});
  for (const auto& [from, to] : kUnifontSymbolCopies) {
    EXPECT_EQ(uni.font.index[to], uni.font.index[from]) << from;
  }
  EXPECT_EQ(uni.font.highest_value, 248);
  // The code above 255 (its shape moves by 5, 5) is nowhere.
  for (int code = 1; code < 256; ++code) {
    EXPECT_NE(WordsOf(uni.font, code, 3), (std::vector<int16_t>{-8, 5, 5})) << code;
  }
}

std::vector<uint8_t> ReplaceText(std::vector<uint8_t> bytes, std::string_view from,
                                 std::string_view to) {
  auto it = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
  EXPECT_NE(it, bytes.end());
  if (it != bytes.end()) std::copy(to.begin(), to.end(), it);
  return bytes;
}

ShxFontDescription SmallUnifont() {
  ShxFontDescription font;
  font.shapes = {{'A', UnifontShapeData({8, 10, 0, 0})},
                 {'B', UnifontShapeData({8, 20, 0, 0})},
                 {'C', UnifontShapeData({8, 30, 0, 0})}};
  return font;
}

TEST(LoadShxFont, UnifontIsRecognisedInCapitalsToo) {
  std::vector<uint8_t> bytes = ReplaceText(WriteUnifontShx(SmallUnifont()), "unifont", "UNIFONT");
  Loaded loaded = LoadBytes(bytes);
  ASSERT_EQ(loaded.result, kShxLoaded);
  EXPECT_TRUE(loaded.font.unifont);
  ExpectWords(loaded.font, 'C', {-8, 30, 0, 0});
}

void SetWord(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = value & 0xFF;
  bytes[at + 1] = value >> 8;
}

size_t HeaderLength(const std::vector<uint8_t>& bytes) {
  return std::find(bytes.begin(), bytes.end(), 26) - bytes.begin() + 1;
}

TEST(LoadShxFont, UnifontReaderFollowsTheShapeCount) {
  std::vector<uint8_t> bytes = WriteUnifontShx(SmallUnifont());
  size_t count_at = HeaderLength(bytes);

  // A count beyond the entries in the file: reading stops at the end of the file.
  SetWord(bytes, count_at, 65535);
  Loaded more = LoadBytes(bytes);
  ASSERT_EQ(more.result, kShxLoaded);
  ExpectWords(more.font, 'C', {-8, 30, 0, 0});

  // A count of two (the font information and one shape): only 'A' is read.
  SetWord(bytes, count_at, 2);
  Loaded fewer = LoadBytes(bytes);
  ASSERT_EQ(fewer.result, kShxLoaded);
  ExpectWords(fewer.font, 'A', {-8, 10, 0, 0});
  EXPECT_EQ(fewer.font.index['B'], -1);
}

TEST(LoadShxFont, EveryTruncationOfANormalFontFailsWhereTheFileEnds) {
  std::vector<uint8_t> bytes = WriteNormalShx(TwoShapeFont());
  for (size_t length = 0; length < bytes.size(); ++length) {
    Loaded loaded = LoadBytes({bytes.begin(), bytes.begin() + length});
    EXPECT_EQ(loaded.result, kShxMalformed) << "length " << length;
    EXPECT_EQ(loaded.position, static_cast<int64_t>(length));
    EXPECT_TRUE(loaded.font.index.empty());
    EXPECT_TRUE(loaded.font.words.empty());
  }
}

TEST(LoadShxFont, UnifontTruncatedInsideAnEntryFailsAndBetweenEntriesLoads) {
  ShxFontDescription description = SmallUnifont();
  std::vector<uint8_t> bytes = WriteUnifontShx(description);
  // Entry boundaries: the end of the file, and before each entry from the back.
  std::vector<size_t> boundaries = {bytes.size()};
  for (auto it = description.shapes.rbegin(); it != description.shapes.rend(); ++it) {
    boundaries.push_back(boundaries.back() - 4 - it->data.size());
  }
  for (size_t length = 0; length < bytes.size(); ++length) {
    bool at_boundary = std::find(boundaries.begin(), boundaries.end(), length) != boundaries.end();
    Loaded loaded = LoadBytes({bytes.begin(), bytes.begin() + length});
    EXPECT_EQ(loaded.result, at_boundary ? kShxLoaded : kShxMalformed) << "length " << length;
    EXPECT_EQ(loaded.position, at_boundary ? -1 : static_cast<int64_t>(length));
  }
}

struct MalformedCase {
  const char* what;
  std::vector<uint8_t> bytes;
  int64_t position;  // -2: the file's length
};

std::vector<MalformedCase> MalformedCases() {
  std::vector<MalformedCase> cases;
  std::vector<uint8_t> normal = WriteNormalShx(TwoShapeFont());
  size_t words_at = HeaderLength(normal);

  cases.push_back({"empty file", {}, 0});
  cases.push_back({"no end of the header text", {'A', 'B', 'C'}, 3});

  std::vector<uint8_t> typed = normal;
  SetWord(typed, words_at, 1);
  cases.push_back({"font type 1", typed, static_cast<int64_t>(words_at + 6)});

  std::vector<uint8_t> counted = normal;
  SetWord(counted, words_at + 4, 65535);
  cases.push_back({"count of 65535 shapes", counted, -2});

  std::vector<uint8_t> long_shape = normal;
  SetWord(long_shape, words_at + 6 + 4 + 2, 65535);  // the length of the first shape
  cases.push_back({"shape longer than the file", long_shape, -2});

  ShxFontDescription misaligned = TwoShapeFont();
  misaligned.shapes[1] = Shape('B', {1, 15, 0});
  std::vector<uint8_t> misaligned_bytes = WriteNormalShx(misaligned);
  cases.push_back({"code 15", misaligned_bytes, static_cast<int64_t>(misaligned_bytes.size() - 2)});

  ShxFontDescription cut = TwoShapeFont();
  cut.shapes[1] = Shape('B', {1, 8, 5});
  cases.push_back({"operand beyond the shape", WriteNormalShx(cut), -2});

  ShxFontDescription huge_arc = TwoShapeFont();
  huge_arc.shapes[1] = Shape('B', {1, 11, 0, 0, 0xFF, 0xFF, 0x04, 0});
  std::vector<uint8_t> huge_arc_bytes = WriteNormalShx(huge_arc);
  cases.push_back(
      {"arc chord beyond a word", huge_arc_bytes, static_cast<int64_t>(huge_arc_bytes.size() - 1)});

  std::vector<uint8_t> unifont = WriteUnifontShx(SmallUnifont());
  size_t uni_at = HeaderLength(unifont);
  std::vector<uint8_t> uni_typed = unifont;
  SetWord(uni_typed, uni_at + 2, 3);
  cases.push_back({"UNIFONT type 3", uni_typed, static_cast<int64_t>(uni_at + 6)});
  std::vector<uint8_t> uni_info = unifont;
  SetWord(uni_info, uni_at + 4, 5);
  cases.push_back(
      {"UNIFONT information shorter than its heights", uni_info, static_cast<int64_t>(uni_at + 6)});
  std::vector<uint8_t> uni_info_long = unifont;
  SetWord(uni_info_long, uni_at + 4, 60000);
  cases.push_back({"UNIFONT information longer than the file", uni_info_long, -2});
  return cases;
}

TEST(LoadShxFont, MalformedFilesGiveTheMalformedResultAndWhereReadingStopped) {
  for (const MalformedCase& c : MalformedCases()) {
    Loaded loaded = LoadBytes(c.bytes);
    EXPECT_EQ(loaded.result, kShxMalformed) << c.what;
    int64_t expected = c.position == -2 ? static_cast<int64_t>(c.bytes.size()) : c.position;
    EXPECT_EQ(loaded.position, expected) << c.what;
    EXPECT_TRUE(loaded.font.index.empty()) << c.what;
  }
}

TEST(LoadShxFont, FullWordTableFailsTheLoad) {
  // Five shapes of 65000 vectors each need more words than the table holds.
  ShxFontDescription font;
  for (int code = 'a'; code < 'a' + 5; ++code) {
    std::vector<uint8_t> commands(65000, 0x11);
    commands.push_back(0);
    font.shapes.push_back({static_cast<uint16_t>(code), NormalShapeData(commands)});
  }
  std::vector<uint8_t> bytes = WriteNormalShx(font);
  Loaded loaded = LoadBytes(bytes);
  EXPECT_EQ(loaded.result, kShxMalformed);
  EXPECT_GT(loaded.position, 0);
  EXPECT_LT(loaded.position, static_cast<int64_t>(bytes.size()));

  font.shapes.resize(4);  // 4 * 65001 words fit
  EXPECT_EQ(LoadBytes(WriteNormalShx(font)).result, kShxLoaded);
}

TEST(LoadShxFont, KeepsTheFirst256IndexEntriesAndReadsPastTheRest) {
  // 300 shapes with codes 1..300, each a line as long as its code (mod 100) + 1.
  ShxFontDescription font;
  for (int code = 1; code <= 300; ++code) {
    font.shapes.push_back(Shape(code, {8, code % 100 + 1, 0, 0}));
  }
  Loaded loaded = LoadBytes(WriteNormalShx(font));
  ASSERT_EQ(loaded.result, kShxLoaded);
  EXPECT_EQ(loaded.font.character_count, 301);
  for (int code : {1, 9, 11, 12, 14, 99, 200, 254, 255}) {
    ExpectWords(loaded.font, code, {-8, static_cast<int16_t>(code % 100 + 1), 0, 0});
  }
  EXPECT_EQ(loaded.font.index['\n'], -1);
  EXPECT_EQ(loaded.font.index['\r'], -1);
  // Entry 256 folds to 127, already defined; entries past 256 are not read.
  ExpectWords(loaded.font, 127, {-8, 28, 0, 0});
}

TEST(LoadShxFont, CodesAbove255FoldIntoTheUpperHalf) {
  ShxFontDescription font;
  font.shapes = {Shape(300, {8, 7, 0, 0})};  // 300 mod 128 + 127 = 171
  Loaded loaded = LoadBytes(WriteNormalShx(font));
  ASSERT_EQ(loaded.result, kShxLoaded);
  ExpectWords(loaded.font, 171, {-8, 7, 0, 0});
}

TEST(LoadShxFont, ShapeWithoutItsEndCodeStillEnds) {
  ShxFontDescription font;
  font.shapes = {Shape('A', {8, 10, 0}), Shape('B', {0, 0}), Shape('C', {8, 1, 1, 0})};
  Loaded loaded = LoadBytes(WriteNormalShx(font));
  ASSERT_EQ(loaded.result, kShxLoaded);
  ExpectWords(loaded.font, 'A', {-8, 10, 0, 0});
  ExpectWords(loaded.font, 'B', {0});  // nothing but zero bytes
  ExpectWords(loaded.font, 'C', {-8, 1, 1, 0});
}

TEST(LoadShxFont, FileThatCannotBeOpenedAndNameInAnotherCase) {
  TempDir dir;
  Loaded missing = LoadFile(dir / "missing.shx");
  EXPECT_EQ(missing.result, kShxCannotOpen);
  EXPECT_TRUE(missing.font.index.empty());

  ASSERT_TRUE(shxgen::WriteFileBytes(dir / "Mixed.SHX", WriteNormalShx(TwoShapeFont())));
  Loaded found = LoadFile(dir / "mixed.shx");
  EXPECT_EQ(found.result, kShxLoaded);
  ExpectWords(found.font, 'A', {-1, -8, 10, 0, -2, 0});
}

TEST(LoadShxFont, FailedLoadFreesAFontLoadedBefore) {
  Loaded loaded = LoadBytes(WriteNormalShx(TwoShapeFont()));
  ASSERT_EQ(loaded.result, kShxLoaded);
  int64_t position = 0;
  std::vector<uint8_t> bytes = WriteNormalShx(TwoShapeFont());
  bytes.resize(bytes.size() - 1);
  TempDir dir;
  ASSERT_TRUE(shxgen::WriteFileBytes(dir / "cut.shx", bytes));
  EXPECT_EQ(LoadShxFont(dir / "cut.shx", loaded.font, position), kShxMalformed);
  EXPECT_TRUE(loaded.font.index.empty());
  EXPECT_TRUE(loaded.font.words.empty());
  FreeShxFont(loaded.font);  // freeing an empty font is harmless
  EXPECT_TRUE(loaded.font.index.empty());
}

TEST(ParseShxFont, DumpPrintsTheHeaderTheIndexAndEveryCommand) {
  ShxFontDescription description;
  description.shapes = {Shape('A', {1, 8, 10, 0, 10, 10, 0x80, 2, 0})};
  std::vector<uint8_t> bytes = WriteNormalShx(description);
  std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  ASSERT_NE(file, nullptr);
  ShxReader reader(file);
  ShxFont font;
  int64_t position = 0;
  testing::internal::CaptureStdout();
  int result = ParseShxFont(reader, font, true, position);
  std::string dump = testing::internal::GetCapturedStdout();
  std::fclose(file);
  EXPECT_EQ(result, kShxLoaded);
  EXPECT_EQ(dump,
            "KAVRINTH shapes 1.0\r\n"
            "\n\n 0 type \n\n 65 highest value \n\n 2 number "
            "\n\n Table of Contents\n 0 value   13 length\n   65 value   10 length\n"
            " Font sizes = 210, 70, 0, 0"
            "\n\n CHAR[1] = 65 A\n\n"
            " PD\n XY 10,0 OARC 10,-128 PU\n END\n");
}

}  // namespace
}  // namespace kavrinth
