// The text record readers and flash completion against a plain reference: a reader that
// takes one byte at a time from a string and completes flashes with the textbook angle
// reduction and sine and cosine calls. On generated files of every text format and code
// set, larger than the file buffer, the readers must deliver the same results, flashes,
// statistics, digit variants, file positions and data-after-end offsets.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "pg2gds/pg_flash.h"
#include "pg2gds/tests/pg_test_files.h"

namespace kavrinth {
namespace {

// ---- The reference: byte by byte, no caches, no shortcuts. ----

bool ReferenceRound(double value, int32_t* out) {
  if (!std::isfinite(value)) return false;
  const double rounded = std::round(value);
  if (rounded < INT32_MIN || rounded > INT32_MAX) return false;
  *out = static_cast<int32_t>(rounded);
  return true;
}

bool ReferenceAdd(int32_t base, int64_t offset, int32_t* out) {
  const int64_t sum = static_cast<int64_t>(base) + offset;
  if (sum < INT32_MIN || sum > INT32_MAX) return false;
  *out = static_cast<int32_t>(sum);
  return true;
}

bool ReferenceComplete(double angle_degrees, FlashRecord* flash, PgReaderStats* stats) {
  double a = angle_degrees;
  int32_t width = flash->h;
  int32_t length = flash->w;
  if (flash->w < flash->h) {
    width = flash->w;
    length = flash->h;
    a = a >= 90 ? a - 90 : a + 90;
  }
  const double radians = std::fmod(a / 180 * 3.141592653589793, 6.283185307179586);
  const double half_length = length / 2.0, half_width = width / 2.0;
  const double c = std::cos(radians), s = std::sin(radians);
  FlashRecord next = *flash;
  int32_t dx = 0, dy = 0;
  if (!ReferenceRound(half_length * c, &dx) || !ReferenceRound(half_length * s, &dy)) return false;
  if (!ReferenceAdd(flash->x, -static_cast<int64_t>(dx), &next.x1) ||
      !ReferenceAdd(flash->y, -static_cast<int64_t>(dy), &next.y1) ||
      !ReferenceAdd(flash->x, dx, &next.x2) || !ReferenceAdd(flash->y, dy, &next.y2)) {
    return false;
  }
  const double lc = half_length * c, ls = half_length * s;
  const double ws = half_width * s, wc = half_width * c;
  const double offsets[4][2] = {
      {lc - ws, ls + wc}, {-lc - ws, -ls + wc}, {-lc + ws, -ls - wc}, {lc + ws, ls - wc}};
  for (int i = 0; i < 4; ++i) {
    int32_t absolute = 0;
    if (!ReferenceRound(offsets[i][0], &next.corners[2 * i]) ||
        !ReferenceRound(offsets[i][1], &next.corners[2 * i + 1]) ||
        !ReferenceAdd(flash->x, next.corners[2 * i], &absolute) ||
        !ReferenceAdd(flash->y, next.corners[2 * i + 1], &absolute)) {
      return false;
    }
  }
  next.corners[kPgCentreX] = flash->x;
  next.corners[kPgCentreY] = flash->y;
  next.corners_are_offsets = true;
  next.width = width;
  *flash = next;
  const double area = static_cast<double>(flash->w) * flash->h;
  if (area < stats->min_area) {
    stats->min_area = area;
    stats->min_area_w = flash->w;
    stats->min_area_h = flash->h;
  }
  if (area > stats->max_area) {
    stats->max_area = area;
    stats->max_area_w = flash->w;
    stats->max_area_h = flash->h;
  }
  stats->flags |= kPgStatFlashSeen;
  return true;
}

// The state a reader keeps between records, and the file as a string.
struct ReferenceReader {
  std::string bytes;
  size_t position = 0;
  const PgCodeTable* code = nullptr;
  const PgCharClassTable* classes = nullptr;
  int quote = 0, comment_end = 0, comment_end_lf = -1;
  FlashRecord flash;
  PgReaderStats stats;
  int variant = 0;
  int64_t data_after_end = -1;

  int Get() { return position < bytes.size() ? static_cast<unsigned char>(bytes[position++]) : -1; }

  static constexpr int kEnd = -2;
  // The class of the next byte with one, and its character.
  int Next(char* c) {
    for (;;) {
      const int raw = Get();
      if (raw < 0) return kEnd;
      uint8_t t = (*code)[raw];
      int char_class = (*classes)[t];
      if (char_class == kPgClassSkip) continue;
      if (char_class >= kPgClassDigitMinus) {
        variant = char_class - (kPgClassDigitMinus + 1);
        t = static_cast<uint8_t>('0' + (t & 0x0F));
        char_class = kPgClassDigit;
      }
      *c = static_cast<char>(t);
      return char_class;
    }
  }
  bool SkipComment() {
    for (;;) {
      const int raw = Get();
      if (raw < 0) return false;
      if (raw == comment_end || raw == quote || raw == comment_end_lf) return true;
    }
  }
  int Stop(int char_class) {
    if (char_class == kPgClassEndOfData) return kPgReadEndOfData;
    for (;;) {
      const int raw = Get();
      if (raw < 0) break;
      const uint8_t t = (*code)[raw];
      if ((*classes)[t] == kPgClassComment) {
        if (!SkipComment()) break;
        continue;
      }
      if (t == ' ' || t == '\t' || t == '\r' || t == '\n' || t == '\f' || t == '\v' || t == 0x1A ||
          raw == 0 || raw == comment_end_lf || (comment_end != quote && raw == comment_end)) {
        continue;
      }
      data_after_end = static_cast<int64_t>(position) - 1;
      break;
    }
    return kPgReadEndOfData;
  }
  int Complete() {
    return ReferenceComplete(flash.angle / 10.0, &flash, &stats) ? kPgReadFlash : kPgReadBadData;
  }

  int32_t* Field(int char_class) {
    int32_t* fields[] = {&flash.width, &flash.x, &flash.y, &flash.w, &flash.h, &flash.angle};
    return fields[char_class];
  }

  // ElectroMask and Mann 3000: an optional sign, then digits to the first other character.
  int ReadInteger() {
    enum { kStart, kSigned, kDigits, kDone } state = kStart;
    bool negative = false;
    int64_t magnitude = 0;
    int field = 0;
    auto take = [&](int32_t* out) {
      const int64_t value = negative ? -magnitude : magnitude;
      state = kStart;
      negative = false;
      magnitude = 0;
      if (value < INT32_MIN || value > INT32_MAX) return false;
      *out = static_cast<int32_t>(value);
      return true;
    };
    for (;;) {
      char c = 0;
      const int char_class = Next(&c);
      switch (char_class) {
        case kEnd:
          return kPgReadTruncated;
        case kPgClassDigit:
        case kPgClassSign:
          if (state == kDone) break;
          if (c >= '0' && c <= '9') {
            state = kDigits;
            magnitude = std::min<int64_t>(magnitude * 10 + (c - '0'), int64_t{INT32_MAX} + 2);
          } else if (state == kStart) {
            negative = c == '-';
            state = kSigned;
          } else {
            state = kDone;
          }
          break;
        case kPgClassX:
        case kPgClassY:
        case kPgClassW:
        case kPgClassH:
        case kPgClassAngle:
          if (!take(Field(field))) return kPgReadBadData;
          field = char_class;
          break;
        case kPgClassComment:
          if (!SkipComment()) return kPgReadTruncated;
          break;
        case kPgClassRecordEnd:
          if (!take(Field(field))) return kPgReadBadData;
          return Complete();
        default:
          return Stop(char_class);
      }
    }
  }

  // Mann 3600: the number is built as text ("." first, so that plain digits are a
  // fraction) and converted by the library.
  int ReadDecimal() {
    std::string text = ".";
    int field = 0;
    auto lead_to_zero = [&] {
      const size_t lead = text[0] == '+' || text[0] == '-' ? 1 : 0;
      if (lead < text.size() && text[lead] == '.') text[lead] = '0';
    };
    auto store = [&] {
      const bool angle = field == kPgClassAngle;
      if (angle) lead_to_zero();
      const size_t start = text[0] == '+' || text[0] == '-' ? 1 : 0;
      double magnitude = 0;
      const auto [end, error] =
          std::from_chars(text.data() + start, text.data() + text.size(), magnitude);
      (void)end;
      if (error == std::errc::result_out_of_range) return false;
      if (error != std::errc{}) magnitude = 0;
      const double value = start != 0 && text[0] == '-' ? -magnitude : magnitude;
      return ReferenceRound(value * (angle ? 10.0 : 100000.0), Field(field));
    };
    for (;;) {
      char c = 0;
      const int char_class = Next(&c);
      switch (char_class) {
        case kEnd:
          return kPgReadTruncated;
        case kPgClassDigit:
          text += c;
          break;
        case kPgClassPoint:
          lead_to_zero();
          text += '.';
          break;
        case kPgClassSign:
          if (text[0] == '+' || text[0] == '-') {
            text[0] = c;
          } else {
            text.insert(text.begin(), c);
          }
          break;
        case kPgClassX:
        case kPgClassY:
        case kPgClassW:
        case kPgClassH:
        case kPgClassAngle:
          if (field != 0 && !store()) return kPgReadBadData;
          text = ".";
          field = char_class;
          break;
        case kPgClassComment:
          if (!SkipComment()) return kPgReadTruncated;
          break;
        case kPgClassRecordEnd:
          if (field != 0 && !store()) return kPgReadBadData;
          return Complete();
        default:
          return Stop(char_class);
      }
      if (text.size() > 64) return kPgReadBadData;  // longer than any number of a file
    }
  }
};

// ---- Generated files. ----

// A fixed pseudo-random sequence (the engine's numbers are the same everywhere).
class Dice {
 public:
  explicit Dice(uint32_t seed) : engine_(seed) {}
  uint32_t Below(uint32_t limit) { return static_cast<uint32_t>(engine_() % limit); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }

 private:
  std::mt19937 engine_;
};

enum class Kind { kElectroMask, kMann3000, kMann3600 };

// Marks in the generated text for bytes that differ between the code sets (see Ascii and
// Ebcdic below).
constexpr char kNoise = '\x01';
constexpr int kNoiseKinds = 9;

// Lines of records in ASCII; the builder puts a comment and a long number across each
// boundary of the 256 KiB file buffer.
class RecordWriter {
 public:
  RecordWriter(Kind kind, bool ebcdic, uint32_t seed) : kind_(kind), ebcdic_(ebcdic), dice_(seed) {}

  std::string Digits(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + dice_.Below(10));
    return text;
  }

  // An integer as the files write them, now and then with blanks, signs, leading zeros or
  // out of range.
  std::string Integer(bool angle) {
    // 2^64 + 1 gives 1 when the digits wrap around.
    static const char* const kEdges[] = {"2147483647",
                                         "2147483648",
                                         "-2147483648",
                                         "-2147483649",
                                         "0000000000000000000012",
                                         "99999999999999",
                                         "4294967296",
                                         "18446744073709551617",
                                         "-0",
                                         "+",
                                         "-",
                                         ""};
    if (dice_.OneIn(60)) return kEdges[dice_.Below(std::size(kEdges))];
    if (angle && !dice_.OneIn(8)) return std::to_string(450 * dice_.Below(8));
    std::string text = dice_.OneIn(6) ? (dice_.OneIn(2) ? "-" : "+") : "";
    text += Digits(1 + static_cast<int>(dice_.Below(dice_.OneIn(10) ? 12 : 7)));
    if (dice_.OneIn(40)) text.insert(dice_.Below(static_cast<uint32_t>(text.size()) + 1), " ");
    if (dice_.OneIn(80)) text.insert(dice_.Below(static_cast<uint32_t>(text.size()) + 1), "\r\n");
    if (dice_.OneIn(120)) text += dice_.OneIn(2) ? "-5" : "+-";
    return text;
  }

  // A Mann 3600 number: digits around a point, signs, long texts.
  std::string Decimal(bool angle) {
    static const char* const kEdges[] = {".",
                                         "-.",
                                         "+",
                                         "1.2.3",
                                         "30000.0",
                                         "-21474.83648",
                                         "0.000005",
                                         "0.000004",
                                         "-0.0",
                                         "12345678901234567890",
                                         ".00000000000000000000000015",
                                         "1.5000000000000000000000000000",
                                         "0.0000049999999999999999",
                                         "21474.836475000000001",
                                         "0.00000000000000000000001"};
    if (dice_.OneIn(50)) return kEdges[dice_.Below(std::size(kEdges))];
    if (angle && !dice_.OneIn(6)) return std::to_string(45 * dice_.Below(8)) + ".0";
    std::string text = dice_.OneIn(5) ? (dice_.OneIn(2) ? "-" : "+") : "";
    text += Digits(static_cast<int>(dice_.Below(5)));
    if (!dice_.OneIn(5))
      text += "." + Digits(static_cast<int>(dice_.Below(dice_.OneIn(8) ? 24 : 7)));
    if (dice_.OneIn(300)) text += std::string(70, '1');
    return text;
  }

  // Now and then a byte of no use in the text, or one of the bytes that stand for an
  // EBCDIC digit 8 or 9, somewhere inside the number.
  std::string Number(bool angle) {
    std::string text = kind_ == Kind::kMann3600 ? Decimal(angle) : Integer(angle);
    if (dice_.OneIn(40)) {
      text.insert(dice_.Below(static_cast<uint32_t>(text.size()) + 1), 1,
                  static_cast<char>(kNoise + dice_.Below(kNoiseKinds)));
    }
    return text;
  }

  std::string Comment() {
    std::string text = "\"";
    const int length = static_cast<int>(dice_.Below(dice_.OneIn(20) ? 400 : 20));
    for (int i = 0; i < length; ++i) text += "ABXYZ0123 ;$.-"[dice_.Below(14)];
    // An ASCII Mann comment also ends at the line end.
    return text + (kind_ != Kind::kElectroMask && !ebcdic_ && dice_.OneIn(2) ? "\n" : "\"");
  }

  std::string Record() {
    const bool em = kind_ == Kind::kElectroMask;
    const char* letters = em ? "XYWVU" : "XYWHA";
    std::string text;
    if (dice_.OneIn(30)) text += Number(false);  // a number before the first letter
    for (int i = 0; i < 5; ++i) {
      if (i > 1 && dice_.OneIn(5)) continue;  // fields a record leaves out keep their value
      text += letters[i];
      text += Number(i == 4);
      if (dice_.OneIn(40)) text += Comment();
    }
    text += em ? "S" : ";";
    return text + (dice_.OneIn(3) ? "\r\n" : dice_.OneIn(2) ? "\n" : " ");
  }

  // The records; after them the end mark (or a "." and more data for Mann 3000).
  std::string Body(size_t size) {
    std::string text;
    constexpr size_t kBuffer = 256 << 10;
    size_t boundary = kBuffer;
    int crossing = 0;
    while (text.size() < size) {
      if (lead_ + text.size() + 2000 >= boundary) {
        // A comment, then a long number, then a record end across the buffer boundary.
        const size_t target = boundary - lead_ -
                              (crossing % 3 == 0   ? 3
                               : crossing % 3 == 1 ? 5
                                                   : 1);
        while (text.size() < target) text += ' ';
        if (crossing % 3 == 0) {
          text += "\"AB XY 0123 AB\"";
        } else if (crossing % 3 == 1) {
          text += kind_ == Kind::kMann3600 ? "X12.345678" : "X1234567890";
        } else {
          text += kind_ == Kind::kElectroMask ? "S" : ";";
        }
        boundary += kBuffer;
        ++crossing;
      }
      text += Record();
      if (dice_.OneIn(25)) text += Comment() + "\r\n";
    }
    return text;
  }

  size_t lead_ = 0;  // bytes in front of the body

 private:
  Kind kind_;
  bool ebcdic_;
  Dice dice_;
};

// The bytes the noise marks of the text stand for, in the two code sets: padding and
// blanks, the bytes of the EBCDIC digits 8 and 9 of either variant, and others with no
// meaning in the text.
const unsigned char kAsciiNoise[kNoiseKinds] = {0x00, 0x1A, 0xA8, 0xA9, 0xB8,
                                                0xB9, 0x09, 0xFF, 0x80};
const unsigned char kEbcdicNoise[kNoiseKinds] = {0x00, 0x3F, 0xF8, 0xF9, 0xFA,
                                                 0xFB, 0x05, 0xFF, 0x80};

std::string Ascii(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= kNoise && c < kNoise + kNoiseKinds) c = static_cast<char>(kAsciiNoise[c - kNoise]);
  }
  return out;
}

// ASCII text in EBCDIC for the characters the generator writes.
std::string Ebcdic(const std::string& text, int variant) {
  std::string out;
  for (char c : text) {
    if (c >= kNoise && c < kNoise + kNoiseKinds) {
      out += static_cast<char>(kEbcdicNoise[c - kNoise]);
    } else if (c == '\r' || c == '\n') {
      out += '\x15';
    } else if (c == 'B') {
      out += '\xC2';
    } else {
      out += ToEbcdic(std::string(1, c), variant);
    }
  }
  return out;
}

struct FileCase {
  const char* name;
  Kind kind;
  bool ebcdic;
  int variant;       // EBCDIC digits 8 and 9
  std::string tail;  // after the records, in ASCII
};

class ReaderReferenceTest : public PgFileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(ReaderReferenceTest, MatchesTheReference) {
  const FileCase& c = GetParam();
  RecordWriter writer(c.kind, c.ebcdic,
                      1234u + static_cast<uint32_t>(c.kind) * 7u + (c.ebcdic ? 100u : 0u) +
                          (c.variant < 0 ? 1u : 0u));
  std::string lead;
  int32_t format = kPgFormatElectroMask;
  switch (c.kind) {
    case Kind::kElectroMask:
      lead = c.ebcdic ? "\x4A" : "<";
      break;
    case Kind::kMann3000:
      format = kPgFormatMann3000;
      lead = c.ebcdic ? "\x7F" + Ebcdic("T300E\n", c.variant) : "\"T300E\r";
      break;
    case Kind::kMann3600:
      format = kPgFormatMann3600;
      lead = c.ebcdic ? "\x7F" + Ebcdic("T360E\n", c.variant) : "\"T360E\r";
      break;
  }
  writer.lead_ = lead.size();
  const std::string text = writer.Body(700000) + c.tail;
  const std::string bytes = lead + (c.ebcdic ? Ebcdic(text, c.variant) : Ascii(text));

  int32_t unit = 0;
  const int index = DetectPgFormat(&reader_, Open(bytes), format, &unit);
  ASSERT_EQ(index, c.kind == Kind::kMann3600 ? kPgReaderMann3600 : kPgReaderText);
  BufFile* file = file_.get();

  ReferenceReader reference;
  reference.bytes = bytes;
  reference.position = static_cast<size_t>(BufFileTell(file));
  reference.code = c.ebcdic ? &kPgEbcdicToAscii : &kPgAsciiIdentity;
  reference.classes = c.kind == Kind::kElectroMask ? &kPgElectroMaskClasses : &kPgMannClasses;
  reference.quote = c.ebcdic ? 0x7F : 0x22;
  if (c.kind == Kind::kElectroMask) {
    reference.comment_end = reference.quote;
  } else {
    reference.comment_end = c.ebcdic ? 0x15 : 0x0D;
    reference.comment_end_lf = c.ebcdic ? -1 : 0x0A;
  }
  reference.stats = reader_.stats();

  const PgRecordReader read = PgRecordReaderFor(index);
  int flashes = 0, bad = 0;
  for (int call = 0;; ++call) {
    ASSERT_LT(call, 100000) << "the readers never stopped";
    const int expected =
        c.kind == Kind::kMann3600 ? reference.ReadDecimal() : reference.ReadInteger();
    const int got = read(&reader_);
    ASSERT_EQ(got, expected) << "call " << call;
    ASSERT_EQ(BufFileTell(file), static_cast<int64_t>(reference.position)) << "call " << call;
    ASSERT_EQ(reader_.ebcdic_variant(), reference.variant) << "call " << call;
    const FlashRecord& f = reader_.flash();
    const FlashRecord& e = reference.flash;
    const std::array<int32_t, 10> fields = {f.width, f.x,  f.y,  f.w,  f.h,
                                            f.angle, f.x1, f.y1, f.x2, f.y2};
    const std::array<int32_t, 10> expected_fields = {e.width, e.x,  e.y,  e.w,  e.h,
                                                     e.angle, e.x1, e.y1, e.x2, e.y2};
    ASSERT_EQ(fields, expected_fields) << "call " << call;
    ASSERT_EQ(f.corners, e.corners) << "call " << call;
    ASSERT_EQ(f.corners_are_offsets, e.corners_are_offsets) << "call " << call;
    if (got == kPgReadFlash) ++flashes;
    if (got == kPgReadBadData) ++bad;
    // Bad data ends a real read; reading on from there compares the rest of the file too.
    if (got == kPgReadEndOfData || got == kPgReadTruncated) break;
  }
  EXPECT_EQ(reader_.data_after_end(), reference.data_after_end);
  const PgReaderStats& s = reader_.stats();
  const PgReaderStats& r = reference.stats;
  EXPECT_EQ(s.min_area, r.min_area);
  EXPECT_EQ(s.min_area_w, r.min_area_w);
  EXPECT_EQ(s.min_area_h, r.min_area_h);
  EXPECT_EQ(s.max_area, r.max_area);
  EXPECT_EQ(s.max_area_w, r.max_area_w);
  EXPECT_EQ(s.max_area_h, r.max_area_h);
  EXPECT_EQ(s.flags, r.flags);
  // The file gave the readers real work: many flashes and some bad data.
  EXPECT_GT(flashes, 5000);
  EXPECT_GT(bad, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderReferenceTest,
    ::testing::Values(FileCase{"ElectroMask", Kind::kElectroMask, false, 1, "Z\r\n"},
                      FileCase{"ElectroMaskWithoutEnd", Kind::kElectroMask, false, 1, "X12"},
                      FileCase{"EbcdicElectroMaskPlus", Kind::kElectroMask, true, 1, "Z"},
                      FileCase{"EbcdicElectroMaskMinus", Kind::kElectroMask, true, -1, "Z"},
                      FileCase{"Mann3000", Kind::kMann3000, false, 1, "$"},
                      FileCase{"Mann3000DataAfterPoint", Kind::kMann3000, false, 1,
                               ". \r\n\"note\"\r\n X5Y5H1W3A0;$"},
                      FileCase{"Mann3000OnlyFillerAfterPoint", Kind::kMann3000, false, 1,
                               ".\r\n\"note\nmore\" \t\r\n"},
                      FileCase{"EbcdicMann3000", Kind::kMann3000, true, -1, ". \"Z\" X1;"},
                      FileCase{"Mann3600", Kind::kMann3600, false, 1, "$"},
                      FileCase{"EbcdicMann3600", Kind::kMann3600, true, 1, "$"},
                      FileCase{"Mann3600WithoutEnd", Kind::kMann3600, false, 1, "X1.5"}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return info.param.name; });

// Completion alone, for the angles and sides the readers hand over: every angle class
// (the eight multiples of 45 degrees, tenths, negative, beyond a full turn, huge, not
// finite), sides in either order, and centres near the ends of the 32-bit range.
TEST(CompleteFlashReferenceTest, MatchesTheReference) {
  const double angles[] = {
      0,           45,     90,    135,          180,
      225,         270,    315,   360,          -0.0,
      0.1,         89.9,   90.1,  -45,          -90,
      -359.9,      725.5,  1e6,   3e8,          -3e8,
      214748364.7, 12.345, 1e300, std::nan(""), std::numeric_limits<double>::infinity()};
  const int32_t sides[] = {0, 1, 2, 3, 7, 10, 101, 4999, 65535, 1 << 30, INT32_MAX, -5, INT32_MIN};
  const int32_t centres[] = {0, 17, -1000, INT32_MAX, INT32_MIN, INT32_MAX - 3000, -2000000000};
  Dice dice(99);
  PgAngleCache cache;
  PgReaderStats stats, reference_stats;
  stats.min_area = reference_stats.min_area = DBL_MAX;
  int completed = 0;
  for (int i = 0; i < 200000; ++i) {
    FlashRecord flash;
    flash.x = centres[dice.Below(std::size(centres))];
    flash.y = dice.OneIn(2) ? centres[dice.Below(std::size(centres))]
                            : static_cast<int32_t>(dice.Below(2000000)) - 1000000;
    flash.w = dice.OneIn(3) ? sides[dice.Below(std::size(sides))]
                            : static_cast<int32_t>(dice.Below(100000));
    flash.h = dice.OneIn(3) ? sides[dice.Below(std::size(sides))]
                            : static_cast<int32_t>(dice.Below(100000));
    const double angle = dice.OneIn(2) ? angles[dice.Below(std::size(angles))]
                                       : (static_cast<double>(dice.Below(72000)) - 36000) / 10.0;
    FlashRecord expected = flash;
    const bool reference_ok = ReferenceComplete(angle, &expected, &reference_stats);
    ASSERT_EQ(CompleteFlash(angle, &flash, &stats, &cache), reference_ok)
        << "angle " << angle << " W " << flash.w << " H " << flash.h;
    ASSERT_EQ(flash.corners, expected.corners) << "angle " << angle;
    ASSERT_EQ(std::tie(flash.x1, flash.y1, flash.x2, flash.y2, flash.width),
              std::tie(expected.x1, expected.y1, expected.x2, expected.y2, expected.width));
    ASSERT_EQ(flash.corners_are_offsets, expected.corners_are_offsets);
    completed += reference_ok ? 1 : 0;
  }
  EXPECT_EQ(stats.min_area, reference_stats.min_area);
  EXPECT_EQ(stats.max_area, reference_stats.max_area);
  EXPECT_EQ(
      std::tie(stats.min_area_w, stats.min_area_h, stats.max_area_w, stats.max_area_h, stats.flags),
      std::tie(reference_stats.min_area_w, reference_stats.min_area_h, reference_stats.max_area_w,
               reference_stats.max_area_h, reference_stats.flags));
  EXPECT_GT(completed, 50000);
  EXPECT_LT(completed, 200000);  // some flashes left the 32-bit range or had no angle
}

}  // namespace
}  // namespace kavrinth
