// PG format detection: code sets, Mann machine lines and units, header skipping, the
// binary headers, the tables and the failures.
#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "pg2gds/tests/pg_test_files.h"

namespace kavrinth {
namespace {

struct DetectCase {
  const char* name;
  int32_t format;
  std::string bytes;
  int32_t unit_before;
  int expected_index;
  int32_t unit_after;
  // Checked only when detection succeeds.
  int32_t format_after = 0;
  std::string_view code_set = {};
  int64_t position_after = 0;  // where the first record is read from
};

class PgDetectTest : public PgFileTest, public ::testing::WithParamInterface<DetectCase> {};

TEST_P(PgDetectTest, FindsReaderUnitAndStart) {
  const DetectCase& c = GetParam();
  int32_t unit = c.unit_before;
  EXPECT_EQ(Detect(c.bytes, c.format, &unit), c.expected_index);
  EXPECT_EQ(reader_.reader_index(), c.expected_index);
  EXPECT_EQ(unit, c.unit_after);
  if (c.expected_index == kPgDetectFailed) return;
  EXPECT_EQ(reader_.format(), c.format_after);
  EXPECT_EQ(reader_.code_set_name(), c.code_set);
  EXPECT_EQ(BufFileTell(file_.get()), c.position_after);
}

const std::string kBlock(512, ' ');

std::string DraftekHeader(int32_t first, int32_t last) {
  std::string bytes(80, '\0');
  PutInt32(&bytes, first);
  PutInt32(&bytes, last);
  return bytes;
}

std::string IntermediateHeader(char second, const std::string& skipped, bool with_last_byte) {
  std::string bytes = "\xFD";
  bytes += second + skipped;
  for (int i = 0; i < 5; ++i) PutInt32(&bytes, 0);
  if (with_last_byte) bytes += "T";
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, PgDetectTest,
    ::testing::Values(
        DetectCase{"ElectroMaskAscii", kPgFormatElectroMask, "<X1S", 7, kPgReaderText, 7,
                   kPgFormatElectroMask, kPgCodeSetAscii, 1},
        DetectCase{"ElectroMaskEbcdic", kPgFormatElectroMask, "\x4A\xE7", 7, kPgReaderText, 7,
                   kPgFormatElectroMask, kPgCodeSetEbcdic, 1},
        DetectCase{"ElectroMaskStartingWithX", kPgFormatElectroMask, "X1S", 7, kPgDetectFailed, 7},
        DetectCase{"ElectroMaskEmpty", kPgFormatElectroMask, "", 7, kPgDetectFailed, 7},
        DetectCase{"Mann3000Metric", kPgFormatMann3000, "\"T300M\"", 1, kPgReaderText, 4,
                   kPgFormatMann3000, kPgCodeSetAscii, 0},
        DetectCase{"Mann3000English", kPgFormatMann3000, "\"T300E\"", 4, kPgReaderText, 1,
                   kPgFormatMann3000, kPgCodeSetAscii, 0},
        DetectCase{"Mann3000SaysT360", kPgFormatMann3000, "\"T360E\"", 4, kPgReaderMann3600, 1,
                   kPgFormatMann3600, kPgCodeSetAscii, 0},
        DetectCase{"Mann3000SaysT360Metric", kPgFormatMann3000, "\"T360M\"", 1, kPgReaderMann3600,
                   5, kPgFormatMann3600, kPgCodeSetAscii, 0},
        DetectCase{"Mann3600SaysT300", kPgFormatMann3600, "\"T300M\"", 1, kPgReaderText, 4,
                   kPgFormatMann3000, kPgCodeSetAscii, 0},
        DetectCase{"Mann3600Metric", kPgFormatMann3600, "\"T360M\"", 1, kPgReaderMann3600, 5,
                   kPgFormatMann3600, kPgCodeSetAscii, 0},
        DetectCase{"Mann3600NoUnitLetterTurnsMetric", kPgFormatMann3600, "\"T360\"", 4,
                   kPgReaderMann3600, 5, kPgFormatMann3600, kPgCodeSetAscii, 0},
        DetectCase{"Mann3600NoMachineLine", kPgFormatMann3600, "\"HELLO\"", 4, kPgReaderMann3600, 5,
                   kPgFormatMann3600, kPgCodeSetAscii, 0},
        DetectCase{"Mann3000UnknownMachineKeepsUnit", kPgFormatMann3000, "\"T999E\"", 4,
                   kPgReaderText, 4, kPgFormatMann3000, kPgCodeSetAscii, 0},
        DetectCase{"MannHashHeaderBlock", kPgFormatMann3000, "#" + kBlock.substr(1) + "\"T360E\"",
                   4, kPgReaderMann3600, 1, kPgFormatMann3600, kPgCodeSetAscii, 512},
        DetectCase{"MannBraceHeaderBlock", kPgFormatMann3000, "{" + kBlock.substr(1) + "\"T300E\"",
                   4, kPgReaderText, 1, kPgFormatMann3000, kPgCodeSetAscii, 512},
        DetectCase{"MannEbcdicMachineLine", kPgFormatMann3000, "\x7F" + ToEbcdic("T360E") + "\x7F",
                   4, kPgReaderMann3600, 1, kPgFormatMann3600, kPgCodeSetEbcdic, 0},
        DetectCase{"MannEbcdicWithHeaderBlock", kPgFormatMann3600,
                   ToEbcdic("#") + kBlock.substr(1) + "\x7F" + ToEbcdic("T300M") + "\x15", 1,
                   kPgReaderText, 4, kPgFormatMann3000, kPgCodeSetEbcdic, 512},
        DetectCase{"MannOtherFirstByteIsEbcdicData", kPgFormatMann3000, ToEbcdic("X1;$"), 4,
                   kPgReaderText, 4, kPgFormatMann3000, kPgCodeSetEbcdic, 0},
        DetectCase{"MannEmptyFile", kPgFormatMann3600, "", 1, kPgReaderMann3600, 1,
                   kPgFormatMann3600, kPgCodeSetEbcdic, 0},
        DetectCase{"TapLeadIn", kPgFormatTap, kBlock + "\"T300E\"", 4, kPgReaderMann3600, 1,
                   kPgFormatTap, kPgCodeSetAscii, 512},
        DetectCase{"TapLeadInAndHeaderBlock", kPgFormatTap,
                   kBlock + "#" + kBlock.substr(1) + "\"T360M\"", 1, kPgReaderMann3600, 4,
                   kPgFormatTap, kPgCodeSetAscii, 1024},
        DetectCase{"CifMann", kPgFormatCifMann, "anything", 1, kPgReaderNone, 5, kPgFormatCifMann,
                   kPgCodeSetAscii, 0},
        DetectCase{"Draftek", kPgFormatDraftek, DraftekHeader(6, 7) + std::string(40, '\0'), 1,
                   kPgReaderDraftek, 2, kPgFormatDraftek, kPgCodeSetEbcdic, 100},
        DetectCase{"DraftekFirstRecordZero", kPgFormatDraftek, DraftekHeader(0, 7), 1,
                   kPgDetectFailed, 2},
        DetectCase{"DraftekFirstRecordNegative", kPgFormatDraftek, DraftekHeader(-3, 7), 1,
                   kPgDetectFailed, 2},
        DetectCase{"DraftekShortHeader", kPgFormatDraftek, DraftekHeader(6, 7).substr(0, 87), 1,
                   kPgDetectFailed, 2},
        DetectCase{"Intermediate", kPgFormatIntermediate, IntermediateHeader('P', "", true), 1,
                   kPgReaderIntermediate, 1, kPgFormatIntermediate, kPgCodeSetIntermediate, 23},
        DetectCase{"IntermediateSkippedBytes", kPgFormatIntermediate,
                   IntermediateHeader('\x03', "abc", true), 1, kPgReaderIntermediate, 1,
                   kPgFormatIntermediate, kPgCodeSetIntermediate, 26},
        DetectCase{"IntermediateWrongFirstByte", kPgFormatIntermediate,
                   "\xFC" + IntermediateHeader('P', "", true).substr(1), 1, kPgDetectFailed, 1},
        DetectCase{"IntermediateWithoutLastByte", kPgFormatIntermediate,
                   IntermediateHeader('P', "", false), 1, kPgDetectFailed, 1},
        DetectCase{"IntermediateMissingSkippedBytes", kPgFormatIntermediate, "\xFD\x02x", 1,
                   kPgDetectFailed, 1},
        DetectCase{"FormatAboveSix", 7, "<X1S", 1, kPgDetectFailed, 1},
        DetectCase{"NegativeFormat", -1, "<X1S", 1, kPgDetectFailed, 1}),
    [](const ::testing::TestParamInfo<DetectCase>& info) { return info.param.name; });

TEST_F(PgFileTest, DetectionWithoutFileFails) {
  int32_t unit = 1;
  EXPECT_EQ(DetectPgFormat(&reader_, nullptr, kPgFormatElectroMask, &unit), kPgDetectFailed);
  EXPECT_EQ(unit, 1);
}

// A Mann file beginning "#" skips the 512-byte block; the machine line's comment is then
// read again by the reader as a comment.
TEST_F(PgFileTest, MannHeaderBlockAndMachineCommentAreSkipped) {
  int32_t unit = 4;
  std::string header = "#\"00\"" + std::string(507, ' ');
  ASSERT_EQ(Detect(header + "\"T360E\"X1.5Y2W.2H.1A0;$", kPgFormatMann3000, &unit),
            kPgReaderMann3600);
  EXPECT_EQ(unit, 1);
  ASSERT_EQ(ReadMann3600Record(&reader_), kPgReadFlash);
  EXPECT_EQ(reader_.flash().x, 150000);
  EXPECT_EQ(reader_.flash().y, 20000);
  EXPECT_EQ(ReadMann3600Record(&reader_), kPgReadEndOfData);
}

// Detection clears the previous file's flash fields and statistics.
TEST_F(PgFileTest, DetectionStartsAFreshFile) {
  ASSERT_EQ(Detect("<X5Y6W7V8U9SZ", kPgFormatElectroMask), 0);
  ASSERT_EQ(ReadTextPgRecord(&reader_), kPgReadFlash);
  ASSERT_EQ(Detect("<X1SZ", kPgFormatElectroMask), 0);
  const PgReaderStats& s = reader_.stats();
  EXPECT_EQ(s.flags, 0);
  EXPECT_EQ(s.min_area, DBL_MAX);
  EXPECT_EQ(s.max_area, 0);
  EXPECT_EQ(s.min_outer_radius, DBL_MAX);
  ASSERT_EQ(ReadTextPgRecord(&reader_), kPgReadFlash);
  const FlashRecord& f = reader_.flash();
  EXPECT_EQ(f.x, 1);
  EXPECT_EQ(f.y, 0);
  EXPECT_EQ(f.w, 0);
  EXPECT_EQ(f.h, 0);
  EXPECT_EQ(f.angle, 0);
}

// A file that cannot be read (here a directory) is bad data, not a truncated file.
TEST_F(PgFileTest, ReadErrorIsBadData) {
  std::unique_ptr<BufFile> dir = BufFileOpen(dir_.c_str(), "rb");
  ASSERT_NE(dir, nullptr);
  int32_t unit = 4;
  ASSERT_EQ(DetectPgFormat(&reader_, dir.get(), kPgFormatMann3000, &unit), kPgReaderText);
  EXPECT_EQ(ReadTextPgRecord(&reader_), kPgReadBadData);
  EXPECT_EQ(ReadMann3600Record(&reader_), kPgReadBadData);
}

TEST(PgTables, EbcdicTranslation) {
  const std::string letters = "XYWVUSZHAJTEM;$-+.\"#< ";
  const std::string ebcdic = ToEbcdic(letters);
  for (size_t i = 0; i < letters.size(); ++i) {
    EXPECT_EQ(kPgEbcdicToAscii[static_cast<uint8_t>(ebcdic[i])], static_cast<uint8_t>(letters[i]))
        << "letter " << letters[i];
  }
  for (int d = 0; d < 8; ++d) EXPECT_EQ(kPgEbcdicToAscii[0xF0 + d], '0' + d);
  // Digits 8 and 9 in their two variants keep distinct codes for the class tables.
  EXPECT_EQ(kPgEbcdicToAscii[0xF8], 0xA8);
  EXPECT_EQ(kPgEbcdicToAscii[0xF9], 0xA9);
  EXPECT_EQ(kPgEbcdicToAscii[0xFA], 0xB8);
  EXPECT_EQ(kPgEbcdicToAscii[0xFB], 0xB9);
  EXPECT_EQ(kPgEbcdicToAscii[0x25], 0x0A);
  EXPECT_EQ(kPgEbcdicToAscii[0x15], 0);  // the EBCDIC new line only ends Mann comments
  EXPECT_EQ(kPgEbcdicToAscii[0xC0], '{');
  EXPECT_EQ(kPgEbcdicToAscii[0xE0], '\\');
  EXPECT_EQ(kPgEbcdicToAscii[0xFF], 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(kPgAsciiIdentity[i], i);
}

TEST(PgTables, CharacterClasses) {
  struct Entry {
    char c;
    int electromask, mann;
  };
  const Entry entries[] = {
      {'0', kPgClassDigit, kPgClassDigit},
      {'9', kPgClassDigit, kPgClassDigit},
      {'+', kPgClassDigit, kPgClassSign},
      {'-', kPgClassDigit, kPgClassSign},
      {'X', kPgClassX, kPgClassX},
      {'Y', kPgClassY, kPgClassY},
      {'W', kPgClassW, kPgClassW},
      {'V', kPgClassH, kPgClassSkip},
      {'H', kPgClassSkip, kPgClassH},
      {'U', kPgClassAngle, kPgClassSkip},
      {'A', kPgClassSkip, kPgClassAngle},
      {'"', kPgClassComment, kPgClassComment},
      {'S', kPgClassRecordEnd, kPgClassSkip},
      {';', kPgClassSkip, kPgClassRecordEnd},
      {'Z', kPgClassEndOfData, kPgClassSkip},
      {'$', kPgClassSkip, kPgClassEndOfData},
      {'.', kPgClassSkip, kPgClassPoint},
      {'x', kPgClassSkip, kPgClassSkip},
      {' ', kPgClassSkip, kPgClassSkip},
      {'<', kPgClassSkip, kPgClassSkip},
  };
  for (const Entry& e : entries) {
    EXPECT_EQ(kPgElectroMaskClasses[static_cast<uint8_t>(e.c)], e.electromask) << e.c;
    EXPECT_EQ(kPgMannClasses[static_cast<uint8_t>(e.c)], e.mann) << e.c;
  }
  for (const PgCharClassTable* table : {&kPgElectroMaskClasses, &kPgMannClasses}) {
    EXPECT_EQ((*table)[0xA8], kPgClassDigitPlus);
    EXPECT_EQ((*table)[0xA9], kPgClassDigitPlus);
    EXPECT_EQ((*table)[0xB8], kPgClassDigitMinus);
    EXPECT_EQ((*table)[0xB9], kPgClassDigitMinus);
  }
}

TEST(PgTables, FormatNamesAndReaders) {
  const char* names[] = {"ElectroMask",  "Mann 3000", "Mann 3600", "Draftek",
                         "Intermediate", "Tap",       "CIF Mann"};
  for (int32_t f = 0; f < kPgFormatCount; ++f) EXPECT_EQ(PgFormatName(f), names[f]);
  EXPECT_EQ(PgFormatName(7), "");
  EXPECT_EQ(PgFormatName(-1), "");
  EXPECT_EQ(PgRecordReaderFor(kPgReaderText), &ReadTextPgRecord);
  EXPECT_EQ(PgRecordReaderFor(kPgReaderMann3600), &ReadMann3600Record);
  EXPECT_EQ(PgRecordReaderFor(kPgReaderDraftek), &ReadDraftekRecord);
  EXPECT_EQ(PgRecordReaderFor(kPgReaderIntermediate), &ReadIntermediateRecord);
  EXPECT_EQ(PgRecordReaderFor(kPgReaderNone), nullptr);
  EXPECT_EQ(PgRecordReaderFor(-1), nullptr);
}

}  // namespace
}  // namespace kavrinth
