// Record readers of the PG text formats: ElectroMask and Mann 3000 (integers) and
// Mann 3600 (decimals), read byte by byte through the file's code and class tables.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <system_error>

#include "pg2gds/pg_flash.h"
#include "pg2gds/pg_readers.h"

namespace kavrinth {
namespace {

// The field each letter class selects; slot 0 is where a number before the first letter
// goes (the width, which completion overwrites).
constexpr std::array<int32_t FlashRecord::*, 6> kFieldOfClass = {
    &FlashRecord::width, &FlashRecord::x, &FlashRecord::y,
    &FlashRecord::w,     &FlashRecord::h, &FlashRecord::angle};
constexpr int kAngleClass = kPgClassAngle;

// Mann 3600 scales: X, Y, W and H are stored in 1/100000, the angle in tenths.
constexpr double kMann3600LengthScale = 100000;
constexpr double kMann3600AngleScale = 10;
// A decimal number text longer than this is not a number of any PG file.
constexpr size_t kMaxDecimalText = 64;

// A signed decimal integer taken character by character as a conversion of the whole
// text would take it: an optional sign, then digits up to the first other character.
// Values beyond 32 bits are held out of range instead of wrapping.
class IntegerText {
 public:
  // Tests in the order of how often they decide: most characters are digits of a number
  // still going on.
  void Append(char c) {
    if (state_ == kDone) return;
    if (c >= '0' && c <= '9') {
      AddDigit(c);
    } else if (state_ == kStart) {
      negative_ = c == '-';
      state_ = kSigned;
    } else {
      state_ = kDone;
    }
  }
  // The value (0 for a text without digits); false when it does not fit in 32 bits.
  bool Take(int32_t* value) {
    int64_t signed_value = negative_ ? -magnitude_ : magnitude_;
    bool fits = signed_value >= INT32_MIN && signed_value <= INT32_MAX;
    if (fits) *value = static_cast<int32_t>(signed_value);
    *this = IntegerText{};
    return fits;
  }

 private:
  enum State { kStart, kSigned, kDigits, kDone };
  // The magnitude never falls as digits come, so it is held at kOverflow once it passes
  // 2^31 (the largest that may still fit, negated): Take then finds it out of range.
  void AddDigit(char c) {
    state_ = kDigits;
    magnitude_ = std::min(magnitude_ * 10 + (c - '0'), kOverflow);
  }
  static constexpr int64_t kOverflow = static_cast<int64_t>(INT32_MAX) + 2;
  State state_ = kStart;
  bool negative_ = false;
  int64_t magnitude_ = 0;
};

// A Mann 3600 number: the text starts as "." so that plain digits are a fraction; a
// decimal point turns that leading "." into "0"; a sign goes in front.
class DecimalText {
 public:
  DecimalText() { Clear(); }
  void Clear() {
    text_[0] = '.';
    length_ = 1;
  }
  bool AppendDigit(char c) { return Append(c); }
  bool Point() {
    LeadToZero();
    return Append('.');
  }
  bool Sign(char sign) {
    if (HasSign()) {
      text_[0] = sign;
      return true;
    }
    if (length_ == text_.size()) return false;
    for (size_t i = length_; i > 0; --i) text_[i] = text_[i - 1];
    text_[0] = sign;
    ++length_;
    return true;
  }
  // The value; a whole number (the angle) reads plain digits as an integer. False when
  // the value is not finite.
  bool Value(bool whole, double* value) {
    if (whole) LeadToZero();
    size_t start = HasSign() ? 1 : 0;
    double magnitude = 0;
    auto [end, error] = std::from_chars(text_.data() + start, text_.data() + length_, magnitude);
    if (error == std::errc::result_out_of_range) return false;
    if (error != std::errc{}) magnitude = 0;  // no digits: "." or a lone sign
    (void)end;
    *value = start != 0 && text_[0] == '-' ? -magnitude : magnitude;
    return true;
  }

 private:
  bool HasSign() const { return text_[0] == '+' || text_[0] == '-'; }
  void LeadToZero() {
    size_t lead = HasSign() ? 1 : 0;
    if (lead < length_ && text_[lead] == '.') text_[lead] = '0';
  }
  bool Append(char c) {
    if (length_ == text_.size()) return false;
    text_[length_++] = c;
    return true;
  }
  std::array<char, kMaxDecimalText> text_;
  size_t length_ = 0;
};

}  // namespace

// Byte-level access to a text PG file for the two text readers.
class PgTextParser {
 public:
  static constexpr int kEnd = -2;  // no more bytes

  explicit PgTextParser(PgReader* reader)
      : r_(*reader),
        file_(reader->file_),
        code_table_(*reader->code_table_),
        class_table_(*reader->class_table_) {}

  bool HasFile() const { return file_ != nullptr; }
  FlashRecord& flash() { return r_.flash_; }
  int EndResult() const { return EndOfFileResult(file_); }

  // A byte's class and its translated character, handed back by value: the readers run
  // through every byte of their files, and a character stored through a pointer could
  // be any object to the compiler, which would then fetch the tables again every time.
  struct Classed {
    int char_class;
    char c;
  };

  // The class of the next byte that has one, with its translated character; digits
  // written in an EBCDIC variant come back as plain digits after recording the variant.
  Classed Next() {
    for (;;) {
      int raw = BufFileGetByte(file_);
      if (raw < 0) return {kEnd, 0};
      uint8_t c = code_table_[raw];
      int char_class = class_table_[c];
      if (char_class == kPgClassSkip) continue;
      if (char_class >= kPgClassDigitMinus) {
        r_.ebcdic_variant_ = char_class - (kPgClassDigitMinus + 1);
        c = static_cast<uint8_t>('0' + (c & 0x0F));
        char_class = kPgClassDigit;
      }
      return {char_class, static_cast<char>(c)};
    }
  }

  // Skips raw bytes to the comment's end: false when the file ends first.
  bool SkipComment() {
    for (;;) {
      int raw = BufFileGetByte(file_);
      if (raw < 0) return false;
      if (raw == r_.comment_end_byte_ || raw == r_.quote_byte_ || raw == r_.comment_end_lf_byte_) {
        return true;
      }
    }
  }

  int Complete(double angle_degrees) {
    return CompleteFlash(angle_degrees, &r_.flash_, &r_.stats_) ? kPgReadFlash : kPgReadBadData;
  }

  // The end-of-data mark ends the data, and so does any other class without meaning for
  // this reader (the "." of a Mann 3000 file). After such a class the rest of the file
  // is looked at: data there would otherwise be lost without a word, so the offset of its
  // first byte is kept for the caller's warning.
  int Stop(int char_class) {
    if (char_class != kPgClassEndOfData) FindDataAfterMark();
    return kPgReadEndOfData;
  }

 private:
  // Blanks, line ends and padding may follow the end of the data.
  bool IsFiller(int raw, uint8_t c) const {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0x1A ||
           raw == 0 || raw == r_.comment_end_lf_byte_ ||
           (r_.comment_end_byte_ != r_.quote_byte_ && raw == r_.comment_end_byte_);
  }

  void FindDataAfterMark() {
    for (;;) {
      const int raw = BufFileGetByte(r_.file_);
      if (raw < 0) return;
      const uint8_t c = (*r_.code_table_)[raw];
      if ((*r_.class_table_)[c] == kPgClassComment) {
        if (!SkipComment()) return;
        continue;
      }
      if (IsFiller(raw, c)) continue;
      r_.data_after_end_ = BufFileTell(r_.file_) - 1;
      return;
    }
  }

  PgReader& r_;
  BufFile* const file_;
  const PgCodeTable& code_table_;
  const PgCharClassTable& class_table_;
};

int ReadTextPgRecord(PgReader* reader) {
  PgTextParser parser(reader);
  if (!parser.HasFile()) return kPgReadBadData;
  FlashRecord& flash = parser.flash();
  IntegerText number;
  int field = 0;
  for (;;) {
    const auto [char_class, c] = parser.Next();
    // Digits are most of a file: they are told apart first, by a branch of their own.
    if (char_class == kPgClassDigit) {
      number.Append(c);
      continue;
    }
    switch (char_class) {
      case PgTextParser::kEnd:
        return parser.EndResult();
      case kPgClassSign:
        number.Append(c);
        break;
      case kPgClassX:
      case kPgClassY:
      case kPgClassW:
      case kPgClassH:
      case kPgClassAngle:
        if (!number.Take(&(flash.*kFieldOfClass[field]))) return kPgReadBadData;
        field = char_class;
        break;
      case kPgClassComment:
        if (!parser.SkipComment()) return parser.EndResult();
        break;
      case kPgClassRecordEnd:
        if (!number.Take(&(flash.*kFieldOfClass[field]))) return kPgReadBadData;
        return parser.Complete(flash.angle / 10.0);
      default:
        return parser.Stop(char_class);
    }
  }
}

namespace {

// Stores a Mann 3600 number into the field of a letter class; false when out of range.
bool StoreDecimal(DecimalText* text, int field, FlashRecord* flash) {
  bool angle = field == kAngleClass;
  double value = 0;
  if (!text->Value(angle, &value)) return false;
  double scale = angle ? kMann3600AngleScale : kMann3600LengthScale;
  return RoundToInt32(value * scale, &(flash->*kFieldOfClass[field]));
}

}  // namespace

int ReadMann3600Record(PgReader* reader) {
  PgTextParser parser(reader);
  if (!parser.HasFile()) return kPgReadBadData;
  FlashRecord& flash = parser.flash();
  DecimalText number;
  int field = 0;  // none yet: a number before the first letter is dropped
  for (;;) {
    const auto [char_class, c] = parser.Next();
    bool fits = true;
    switch (char_class) {
      case PgTextParser::kEnd:
        return parser.EndResult();
      case kPgClassDigit:
        fits = number.AppendDigit(c);
        break;
      case kPgClassPoint:
        fits = number.Point();
        break;
      case kPgClassSign:
        fits = number.Sign(c);
        break;
      case kPgClassX:
      case kPgClassY:
      case kPgClassW:
      case kPgClassH:
      case kPgClassAngle:
        if (field != 0 && !StoreDecimal(&number, field, &flash)) return kPgReadBadData;
        number.Clear();
        field = char_class;
        break;
      case kPgClassComment:
        if (!parser.SkipComment()) return parser.EndResult();
        break;
      case kPgClassRecordEnd:
        if (field != 0 && !StoreDecimal(&number, field, &flash)) return kPgReadBadData;
        return parser.Complete(flash.angle / 10.0);
      default:
        return parser.Stop(char_class);
    }
    if (!fits) return kPgReadBadData;
  }
}

}  // namespace kavrinth
