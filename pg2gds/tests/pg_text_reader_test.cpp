// The text record readers (ElectroMask, Mann 3000, Mann 3600) in ASCII and EBCDIC: flash
// completion, repeated fields, comments, digit variants and every result.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "pg2gds/pg_flash.h"
#include "pg2gds/tests/pg_test_files.h"

namespace kavrinth {
namespace {

// The fields a test checks of a delivered flash.
struct Flash {
  int32_t x, y, w, h, angle, width, x1, y1, x2, y2;
};

Flash Of(const FlashRecord& f) {
  return {f.x, f.y, f.w, f.h, f.angle, f.width, f.x1, f.y1, f.x2, f.y2};
}

bool operator==(const Flash& a, const Flash& b) {
  return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h && a.angle == b.angle &&
         a.width == b.width && a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

void PrintTo(const Flash& f, std::ostream* os) {
  *os << "X" << f.x << " Y" << f.y << " W" << f.w << " H" << f.h << " A" << f.angle << " width "
      << f.width << " (" << f.x1 << "," << f.y1 << ")-(" << f.x2 << "," << f.y2 << ")";
}

struct ReadCase {
  const char* name;
  int32_t format;
  std::string bytes;
  std::vector<Flash> flashes;
  int last_result;
};

class PgTextReaderTest : public PgFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PgTextReaderTest, DeliversFlashesThenResult) {
  const ReadCase& c = GetParam();
  int index = Detect(c.bytes, c.format);
  ASSERT_GE(index, kPgReaderText);
  ASSERT_LE(index, kPgReaderMann3600);
  std::vector<FlashRecord> read;
  EXPECT_EQ(ReadAll(PgRecordReaderFor(index), &read), c.last_result);
  std::vector<Flash> got;
  for (const FlashRecord& f : read) got.push_back(Of(f));
  EXPECT_EQ(got, c.flashes);
}

// X, Y, W, H, angle, width, x1, y1, x2, y2
const Flash kHorizontal = {100, 200, 30, 10, 0, 10, 85, 200, 115, 200};
const Flash kVertical = {0, 0, 10, 30, 0, 10, 0, -15, 0, 15};
const Flash kRepeated = {50, 0, 10, 30, 0, 10, 50, -15, 50, 15};

INSTANTIATE_TEST_SUITE_P(
    Records, PgTextReaderTest,
    ::testing::Values(
        ReadCase{"ElectroMaskExamples",
                 kPgFormatElectroMask,
                 "<X100Y200W30V10U0SX0Y0W10V30U0SX50SZ",
                 {kHorizontal, kVertical, kRepeated},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskAngleTurnsSegment",
                 kPgFormatElectroMask,
                 "<X0Y0W30V10U900SW10V30U900SZ",
                 {{0, 0, 30, 10, 900, 10, 0, -15, 0, 15}, {0, 0, 10, 30, 900, 10, -15, 0, 15, 0}},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskSignsBlanksAndLineEnds",
                 kPgFormatElectroMask,
                 "<X-1 00\r\nY+20W3 0\nV10U0S..Z",
                 {{-100, 20, 30, 10, 0, 10, -115, 20, -85, 20}},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskNumberBeforeLetterIgnored",
                 kPgFormatElectroMask,
                 "<77X100Y200W30V10U0SZ",
                 {kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskComment",
                 kPgFormatElectroMask,
                 "<\"X9Y9W9S\"X100Y200W30V10U0SZ",
                 {kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskLongNumber",
                 kPgFormatElectroMask,
                 "<X000000000000000000000000000000100Y200W30V10U0SZ",
                 {kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskFullRange",
                 kPgFormatElectroMask,
                 "<X-2147483648Y2147483647W0V0U0SZ",
                 {{INT32_MIN, INT32_MAX, 0, 0, 0, 0, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX}},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskWithoutEndMark",
                 kPgFormatElectroMask,
                 "<X100Y200W30V10U0SX5",
                 {kHorizontal},
                 kPgReadTruncated},
        ReadCase{
            "ElectroMaskCommentRunsToEnd", kPgFormatElectroMask, "<\"X100S", {}, kPgReadTruncated},
        ReadCase{"ElectroMaskEmpty", kPgFormatElectroMask, "<", {}, kPgReadTruncated},
        ReadCase{"ElectroMaskNumberBeyond32Bits",
                 kPgFormatElectroMask,
                 "<X2147483648S",
                 {},
                 kPgReadBadData},
        ReadCase{"ElectroMaskNegativeBeyond32Bits",
                 kPgFormatElectroMask,
                 "<Y-2147483649S",
                 {},
                 kPgReadBadData},
        ReadCase{"ElectroMaskHugeNumberText",
                 kPgFormatElectroMask,
                 "<X" + std::string(100000, '9') + "S",
                 {},
                 kPgReadBadData},
        ReadCase{"ElectroMaskSegmentBeyond32Bits",
                 kPgFormatElectroMask,
                 "<X2147483600Y0W200V10U0SZ",
                 {},
                 kPgReadBadData},
        ReadCase{"ElectroMaskCornerBeyond32Bits",
                 kPgFormatElectroMask,
                 "<X0Y2147483600W200V200U0SZ",
                 {},
                 kPgReadBadData},
        ReadCase{"EbcdicElectroMask",
                 kPgFormatElectroMask,
                 "\x4A" + ToEbcdic("X100Y200W30V10U0S\"X1\"X0Y0W10V30U0SZ"),
                 {kHorizontal, kVertical},
                 kPgReadEndOfData},
        ReadCase{"Mann3000",
                 kPgFormatMann3000,
                 "\"T300M\rX100Y200H10W30A0;X0Y0W10H30A0;X+50;$",
                 {kHorizontal, kVertical, kRepeated},
                 kPgReadEndOfData},
        ReadCase{"Mann3000CommentEndsAtQuote",
                 kPgFormatMann3000,
                 "\"T300M\"X100Y200H10W30A0;\"X1;\r;$",
                 {kHorizontal, kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"Mann3000CommentEndsAtLineFeed",
                 kPgFormatMann3000,
                 "\"T300M\nX100Y200H10W30A0;\"X1\r\n;$",
                 {kHorizontal, kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"ElectroMaskCommentSpansLines",
                 kPgFormatElectroMask,
                 "<\"note\r\nX1S\"X100Y200W30V10U0SZ",
                 {kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"Mann3000NegativeNumbers",
                 kPgFormatMann3000,
                 "\"T300M\rX-100Y-200H10W30A0;$",
                 {{-100, -200, 30, 10, 0, 10, -115, -200, -85, -200}},
                 kPgReadEndOfData},
        ReadCase{"Mann3000PointEndsData",
                 kPgFormatMann3000,
                 "\"T300M\rX100Y200H10W30A0;X1.5;$",
                 {kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"Mann3000WithoutEndMark",
                 kPgFormatMann3000,
                 "\"T300M\rX100Y200H10W30A0;",
                 {kHorizontal},
                 kPgReadTruncated},
        ReadCase{"EbcdicMann3000",
                 kPgFormatMann3000,
                 "\x7F" + ToEbcdic("T300E\nX100Y200H10W30A0;\"X5\"X0Y0W10H30A0;$"),
                 {kHorizontal, kVertical},
                 kPgReadEndOfData},
        ReadCase{"EbcdicMannWithoutMachineLine",
                 kPgFormatMann3000,
                 ToEbcdic("X100Y200H10W30A0;$"),
                 {kHorizontal},
                 kPgReadEndOfData},
        ReadCase{"Mann3600",
                 kPgFormatMann3600,
                 "\"T360M\rX1.5Y.5W.3H.1A90;X15A0;$",
                 {{150000, 50000, 30000, 10000, 900, 10000, 150000, 35000, 150000, 65000},
                  {15000, 50000, 30000, 10000, 0, 10000, 0, 50000, 30000, 50000}},
                 kPgReadEndOfData},
        ReadCase{"Mann3600WrittenForm",
                 kPgFormatMann3600,
                 "\"T360E\r  X1.50000Y-2.00000H0.10000W0.30000A90.00000;$",
                 {{150000, -200000, 30000, 10000, 900, 10000, 150000, -215000, 150000, -185000}},
                 kPgReadEndOfData},
        ReadCase{"Mann3600NumberBeforeLetterDropped",
                 kPgFormatMann3600,
                 "\"T360M\r7X1.5Y.5W.3H.1A0;$",
                 {{150000, 50000, 30000, 10000, 0, 10000, 135000, 50000, 165000, 50000}},
                 kPgReadEndOfData},
        ReadCase{"Mann3600NumberBeyond32Bits",
                 kPgFormatMann3600,
                 "\"T360M\rX30000.0;$",
                 {},
                 kPgReadBadData},
        ReadCase{"Mann3600OverlongNumber",
                 kPgFormatMann3600,
                 "\"T360M\rX1." + std::string(200, '0') + ";$",
                 {},
                 kPgReadBadData},
        ReadCase{"Mann3600WithoutEndMark",
                 kPgFormatMann3600,
                 "\"T360M\rX1.5Y.5W.3H.1A0;X2",
                 {{150000, 50000, 30000, 10000, 0, 10000, 135000, 50000, 165000, 50000}},
                 kPgReadTruncated}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

// A "." ends the data of a Mann 3000 file; the reader keeps the offset of the first byte
// of data that follows it (-1 when only blanks, line ends and comments do).
struct EndMarkCase {
  const char* name;
  std::string bytes;
  int flashes;
  int64_t data_after_end;
};

class Mann3000EndMarkTest : public PgFileTest, public ::testing::WithParamInterface<EndMarkCase> {};

TEST_P(Mann3000EndMarkTest, EndsDataAndFindsWhatFollows) {
  const EndMarkCase& c = GetParam();
  ASSERT_EQ(Detect(c.bytes, kPgFormatMann3000), kPgReaderText);
  std::vector<FlashRecord> read;
  EXPECT_EQ(ReadAll(PgRecordReaderFor(kPgReaderText), &read), kPgReadEndOfData);
  EXPECT_EQ(static_cast<int>(read.size()), c.flashes);
  EXPECT_EQ(reader_.data_after_end(), c.data_after_end);
}

const std::string kMannLead = "\"T300M\rX100Y200H10W30A0;";  // 24 bytes

INSTANTIATE_TEST_SUITE_P(
    Files, Mann3000EndMarkTest,
    ::testing::Values(
        EndMarkCase{"PointAtEnd", kMannLead + ".", 1, -1},
        EndMarkCase{"BlanksAndLineEnds", kMannLead + ".  \t\r\n\r\n", 1, -1},
        EndMarkCase{"Comments", kMannLead + ".\r\n\"end of job\"\r\n\"note\r\n", 1, -1},
        EndMarkCase{"FlashesAfterPoint", kMannLead + ".\r\nX5Y5H10W30A0;$", 1, 27},
        EndMarkCase{"PointInsideNumber", kMannLead + "X1.5;$", 1, 27},
        EndMarkCase{"Ebcdic", "\x7F" + ToEbcdic("T300E\nX1Y1H1W3A0;.\n \"ZZ\"\n"), 1, -1},
        EndMarkCase{"EbcdicData", "\x7F" + ToEbcdic("T300E\nX1Y1H1W3A0;.\nX2;"), 1, 20}),
    [](const ::testing::TestParamInfo<EndMarkCase>& info) { return info.param.name; });

// Mann 3600 numbers: plain digits are a fraction, a point makes a whole part, a sign
// goes in front; the angle reads plain digits as a whole number.
struct NumberCase {
  const char* text;
  char letter;
  int32_t value;
};

class Mann3600NumberTest : public PgFileTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(Mann3600NumberTest, Converts) {
  const NumberCase& c = GetParam();
  ASSERT_EQ(Detect(std::string("\"T360M\r") + c.letter + c.text + ";$", kPgFormatMann3600),
            kPgReaderMann3600);
  ASSERT_EQ(ReadMann3600Record(&reader_), kPgReadFlash);
  const FlashRecord& f = reader_.flash();
  EXPECT_EQ(c.letter == 'X' ? f.x : f.angle, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Mann3600NumberTest,
    ::testing::Values(NumberCase{"1.5", 'X', 150000}, NumberCase{"15", 'X', 15000},
                      NumberCase{"5", 'X', 50000}, NumberCase{"12345", 'X', 12345},
                      NumberCase{"12.5", 'X', 1250000}, NumberCase{"-15", 'X', -15000},
                      NumberCase{"-1.5", 'X', -150000}, NumberCase{"+.5", 'X', 50000},
                      NumberCase{"", 'X', 0}, NumberCase{"0.000005", 'X', 1},
                      NumberCase{"0.000004", 'X', 0}, NumberCase{"-0.000005", 'X', -1},
                      NumberCase{"90", 'A', 900}, NumberCase{"4.5", 'A', 45},
                      NumberCase{"-90", 'A', -900}, NumberCase{"0.05", 'A', 1}));

// The digit variant of EBCDIC 8 and 9 is recorded per reader, from the file it reads.
TEST_F(PgFileTest, EbcdicDigitVariantIsKeptPerReader) {
  const std::string records = "X98Y89W30V10U0SZ";
  PgReader plus_reader, minus_reader;
  int32_t unit = 0;
  ASSERT_EQ(DetectPgFormat(&plus_reader, Open("\x4A" + ToEbcdic(records, 1)), 0, &unit), 0);
  ASSERT_EQ(ReadTextPgRecord(&plus_reader), kPgReadFlash);
  std::unique_ptr<BufFile> plus_file = std::move(file_);
  ASSERT_EQ(DetectPgFormat(&minus_reader, Open("\x4A" + ToEbcdic(records, -1)), 0, &unit), 0);
  ASSERT_EQ(ReadTextPgRecord(&minus_reader), kPgReadFlash);

  EXPECT_EQ(plus_reader.ebcdic_variant(), 1);
  EXPECT_EQ(minus_reader.ebcdic_variant(), -1);
  for (const PgReader* r : {&plus_reader, &minus_reader}) {
    EXPECT_EQ(r->flash().x, 98);
    EXPECT_EQ(r->flash().y, 89);
  }
  // Detection of the next file starts the mark afresh.
  ASSERT_EQ(DetectPgFormat(&plus_reader, Open("\x4A" + ToEbcdic("X1S")), 0, &unit), 0);
  EXPECT_EQ(plus_reader.ebcdic_variant(), 0);
  ASSERT_EQ(ReadTextPgRecord(&plus_reader), kPgReadFlash);
  EXPECT_EQ(plus_reader.ebcdic_variant(), 0);
}

TEST_F(PgFileTest, EbcdicMann3600DigitVariant) {
  ASSERT_EQ(Detect("\x7F" + ToEbcdic("T360M\"X9.8;$", -1), kPgFormatMann3000), 1);
  ASSERT_EQ(ReadMann3600Record(&reader_), kPgReadFlash);
  EXPECT_EQ(reader_.flash().x, 980000);
  EXPECT_EQ(reader_.ebcdic_variant(), -1);
}

// The corners of a text flash are offsets from its centre, followed by the centre.
TEST_F(PgFileTest, TextFlashCornersAreOffsetsAroundTheCentre) {
  ASSERT_EQ(Detect("<X100Y200W30V10U0SX0Y0W10V30U450SZ", kPgFormatElectroMask), 0);
  ASSERT_EQ(ReadTextPgRecord(&reader_), kPgReadFlash);
  const FlashRecord& f = reader_.flash();
  EXPECT_TRUE(f.corners_are_offsets);
  const std::array<int32_t, 10> expected = {15, 5, -15, 5, -15, -5, 15, -5, 100, 200};
  EXPECT_EQ(f.corners, expected);
  int32_t x = 0, y = 0;
  AbsoluteFlashCorner(f, 2, &x, &y);
  EXPECT_EQ(x, 85);
  EXPECT_EQ(y, 195);

  // W < H at 45 degrees: the long side lies at 135 degrees.
  ASSERT_EQ(ReadTextPgRecord(&reader_), kPgReadFlash);
  const std::array<int32_t, 10> turned = {-14, 7, 7, -14, 14, -7, -7, 14, 0, 0};
  EXPECT_EQ(reader_.flash().corners, turned);
  EXPECT_EQ(reader_.flash().x1, 11);
  EXPECT_EQ(reader_.flash().y1, -11);
}

// Statistics: smallest and largest area with their sides, flag 1; cleared by detection.
TEST_F(PgFileTest, TextFlashStatistics) {
  ASSERT_EQ(Detect("<X0Y0W30V10U0SW2V3SW100V1SW40V40SZ", kPgFormatElectroMask), 0);
  std::vector<FlashRecord> flashes;
  ASSERT_EQ(ReadAll(ReadTextPgRecord, &flashes), kPgReadEndOfData);
  ResetReaderState(&reader_);
  const PgReaderStats& s = reader_.stats();
  EXPECT_EQ(s.flags, kPgStatFlashSeen);
  EXPECT_EQ(s.min_area, 6);
  EXPECT_EQ(s.min_area_w, 2);
  EXPECT_EQ(s.min_area_h, 3);
  EXPECT_EQ(s.max_area, 1600);
  EXPECT_EQ(s.max_area_w, 40);
  EXPECT_EQ(s.max_area_h, 40);
  EXPECT_EQ(s.min_outer_radius, 0);  // no sector in the file
  EXPECT_EQ(s.max_outer_radius, 0);

  ASSERT_EQ(Detect("<Z", kPgFormatElectroMask), 0);
  EXPECT_EQ(reader_.stats().flags, 0);
  EXPECT_EQ(ReadTextPgRecord(&reader_), kPgReadEndOfData);
  ResetReaderState(&reader_);
  EXPECT_EQ(reader_.stats().min_area, 0);
  EXPECT_EQ(reader_.stats().max_area, 0);
}

TEST_F(PgFileTest, ReadersWithoutAFileReportBadData) {
  PgReader reader;
  for (PgRecordReader read :
       {ReadTextPgRecord, ReadMann3600Record, ReadDraftekRecord, ReadIntermediateRecord}) {
    EXPECT_EQ(read(&reader), kPgReadBadData);
  }
}

// Corner offsets round halves away from zero; values that leave 32 bits, infinities and
// NaN are refused and leave the output alone.
TEST(RoundToInt32Test, RoundsHalvesAwayAndRefusesWhatDoesNotFit) {
  const struct {
    double value;
    bool fits;
    int32_t expected;
  } cases[] = {{2.5, true, 3},
               {-2.5, true, -3},
               {2.4999, true, 2},
               {-0.5, true, -1},
               {-0.4, true, 0},
               {2147483647.4, true, 2147483647},
               {-2147483648.4, true, -2147483647 - 1},
               {2147483647.5, false, 0},
               {-2147483648.5, false, 0},
               {1e300, false, 0},
               {std::numeric_limits<double>::infinity(), false, 0},
               {-std::numeric_limits<double>::infinity(), false, 0},
               {std::nan(""), false, 0}};
  for (const auto& c : cases) {
    int32_t out = 12345;
    EXPECT_EQ(RoundToInt32(c.value, &out), c.fits) << c.value;
    EXPECT_EQ(out, c.fits ? c.expected : 12345) << c.value;
  }
}

}  // namespace
}  // namespace kavrinth
