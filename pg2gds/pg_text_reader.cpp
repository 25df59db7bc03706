// Record readers of the PG text formats: ElectroMask and Mann 3000 (integers) and
// Mann 3600 (decimals), read byte by byte through the file's code and class tables; the
// bytes are taken straight from the file's buffer.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
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

// The classes of the letters that select a field: X, Y, W, H and the angle.
inline bool IsLetter(int char_class) {
  return static_cast<unsigned>(char_class - kPgClassX) <= kPgClassAngle - kPgClassX;
}

// Mann 3600 scales: X, Y, W and H are stored in 1/100000, the angle in tenths.
constexpr double kMann3600LengthScale = 100000;
constexpr double kMann3600AngleScale = 10;
// A decimal number text longer than this is not a number of any PG file.
constexpr size_t kMaxDecimalText = 64;

// 10^n for the up to eight digits taken at a time.
constexpr uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

constexpr uint64_t kByteOnes = 0x0101010101010101u;

// The eight bytes (first in the low byte) less "0" in each: digits become 0 to 9. A byte
// below "0" borrows from the bytes after it, which only changes bytes that follow a
// byte that is not a digit.
inline uint64_t LessZeros(uint64_t bytes) { return bytes - 0x30 * kByteOnes; }

// How many of the bytes are digits before the first other byte, from LessZeros: a byte
// is a digit when it is 9 or less there. Adding 0x76 sets the top bit of any byte above
// 9; a carry out of such a byte again only changes the bytes after it.
inline int LeadingDigits(uint64_t less_zeros) {
  const uint64_t marks = ((less_zeros + 0x76 * kByteOnes) | less_zeros) & (0x80 * kByteOnes);
  return marks == 0 ? 8 : std::countr_zero(marks) / 8;
}

// The value of the first count (1 to 8) digits, from LessZeros, the first digit the most
// significant.
inline uint64_t DigitsValue(uint64_t less_zeros, int count) {
  // The digits go to the top bytes; the bytes below them become leading zeros.
  uint64_t v = less_zeros << (8 * (8 - count));
  v = v * 10 + (v >> 8);  // pairs: tens and units in every other byte
  v = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
      32;
  return v;
}

// A signed decimal integer taken character by character as a conversion of the whole
// text would take it: an optional sign, then digits up to the first other character.
// Values beyond 32 bits are held out of range instead of wrapping.
class IntegerText {
 public:
  // A digit (0-9): false when the number is already over and the digit is ignored.
  bool Digit(unsigned digit) {
    if (state_ == kDone) return false;
    AddDigit(digit);
    return true;
  }
  // A digit of a number that is going on (Digit returned true).
  void AddDigit(unsigned digit) {
    state_ = kDigits;
    magnitude_ = std::min(magnitude_ * 10 + digit, kOverflow);
  }
  // The value of the first (up to eight) digits of a number that has just begun.
  void StartDigits(uint64_t value) {
    state_ = kDigits;
    magnitude_ = value;
  }
  // The value of count digits of a number that is going on, with 10^count.
  void AddDigits(uint64_t value, uint64_t scale) {
    state_ = kDigits;
    // The magnitude before is at most kOverflow, so this stays far inside 64 bits; held
    // at kOverflow once, the magnitude would have stayed there digit by digit too.
    magnitude_ = std::min(magnitude_ * scale + value, kOverflow);
  }
  // Any other character of the number's class: a sign at the start, else the end.
  void Other(char c) {
    if (state_ == kStart) {
      negative_ = c == '-';
      state_ = kSigned;
    } else {
      state_ = kDone;
    }
  }
  // The value (0 for a text without digits); false when it does not fit in 32 bits.
  bool Take(int32_t* value) {
    const auto magnitude = static_cast<int64_t>(magnitude_);
    const int64_t signed_value = negative_ ? -magnitude : magnitude;
    const bool fits = signed_value >= INT32_MIN && signed_value <= INT32_MAX;
    if (fits) *value = static_cast<int32_t>(signed_value);
    *this = IntegerText{};
    return fits;
  }

 private:
  enum State : uint8_t { kStart, kSigned, kDigits, kDone };
  // The magnitude never falls as digits come, so it is held at kOverflow once it passes
  // 2^31 (the largest that may still fit, negated): Take then finds it out of range.
  static constexpr uint64_t kOverflow = static_cast<uint64_t>(INT32_MAX) + 2;
  uint64_t magnitude_ = 0;
  State state_ = kStart;
  bool negative_ = false;
};

// A Mann 3600 number: the text starts as "." so that plain digits are a fraction; a
// decimal point turns that leading "." into "0"; a sign goes in front. The digits the
// conversion of the text would read (up to a second point) are also kept as an integer
// as they come, with how many stood before and after the point.
class DecimalText {
 public:
  DecimalText() { Clear(); }
  void Clear() {
    text_[0] = '.';
    length_ = 1;
    digits_ = 0;
    significant_ = 0;
    points_ = 0;
    before_point_ = 0;
    after_point_ = 0;
  }
  bool AppendDigit(char c) {
    if (!Append(c)) return false;
    if (points_ < 2) {
      ++(points_ == 0 ? before_point_ : after_point_);
      const unsigned digit = static_cast<unsigned>(c - '0');
      if (digits_ != 0 || digit != 0) {
        ++significant_;
        digits_ = digits_ * 10 + digit;  // only read while it has at most 15 digits
      }
    }
    return true;
  }
  // Appends count (1 to 8) digits at once, given as their characters, their value and
  // their number of leading zeros; false, with nothing appended, when they do not all fit
  // (the caller then appends them one by one up to the limit).
  bool AppendDigits(const char* chars, int count, uint64_t value, int leading_zeros) {
    if (length_ + static_cast<size_t>(count) > kMaxDecimalText) return false;
    std::memcpy(&text_[length_], chars, 8);  // the bytes past count are spare room
    length_ += static_cast<size_t>(count);
    if (points_ < 2) {
      (points_ == 0 ? before_point_ : after_point_) += count;
      significant_ += digits_ != 0 ? count : count - std::min(leading_zeros, count);
      digits_ = digits_ * kPowersOfTen[count] + value;
    }
    return true;
  }
  bool Point() {
    LeadToZero();
    if (points_ < 2) ++points_;
    return Append('.');
  }
  bool Sign(char sign) {
    if (HasSign()) {
      text_[0] = sign;
      return true;
    }
    if (length_ == kMaxDecimalText) return false;
    for (size_t i = length_; i > 0; --i) text_[i] = text_[i - 1];
    text_[0] = sign;
    ++length_;
    return true;
  }
  // The value; a whole number (the angle) reads plain digits as an integer. False when
  // the value is not finite.
  bool Value(bool whole, double* value) {
    if (whole) LeadToZero();
    const size_t start = HasSign() ? 1 : 0;
    // Digits before a point are a fraction while the text still starts with ".".
    const int fraction = points_ != 0 ? after_point_ : (whole ? 0 : before_point_);
    double magnitude = 0;
    if (significant_ <= 15 && fraction <= 22) {
      // At most 15 significant digits make an exact integer and 10^22 is still an exact
      // double, so their quotient is the correctly rounded value the conversion gives.
      // Without digits it is 0, as for a text the conversion refuses.
      magnitude = static_cast<double>(digits_) / kExactPowersOfTen[fraction];
    } else {
      auto [end, error] = std::from_chars(text_.data() + start, text_.data() + length_, magnitude);
      if (error == std::errc::result_out_of_range) return false;
      if (error != std::errc{}) magnitude = 0;  // no digits: "." or a lone sign
      (void)end;
    }
    *value = start != 0 && text_[0] == '-' ? -magnitude : magnitude;
    return true;
  }

 private:
  static constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  bool HasSign() const { return text_[0] == '+' || text_[0] == '-'; }
  void LeadToZero() {
    size_t lead = HasSign() ? 1 : 0;
    if (lead < length_ && text_[lead] == '.') text_[lead] = '0';
  }
  bool Append(char c) {
    if (length_ == kMaxDecimalText) return false;
    text_[length_++] = c;
    return true;
  }
  // The text, and room for eight bytes copied at once at its end.
  std::array<char, kMaxDecimalText + 8> text_;
  size_t length_ = 0;
  uint64_t digits_ = 0;  // the significant digits read, as an integer
  int significant_ = 0;
  int points_ = 0;        // 0, 1, or 2 for two or more
  int before_point_ = 0;  // digits, leading zeros included
  int after_point_ = 0;
};

// The bytes of a text PG file, taken through a pointer into the file's buffer. The file
// learns how far the reader got when the buffer is refilled and when the cursor goes.
class ByteCursor {
 public:
  explicit ByteCursor(BufFile* file) : file_(file) { Take(); }
  ~ByteCursor() { Commit(); }
  ByteCursor(const ByteCursor&) = delete;
  ByteCursor& operator=(const ByteCursor&) = delete;

  // The next byte, or -1 at the end of the file.
  int Next() {
    if (next_ == end_ && !Refill()) return -1;
    return *next_++;
  }
  // The byte after the last one taken, without taking it; only while Buffered().
  bool Buffered() const { return next_ != end_; }
  unsigned char Peek() const { return *next_; }
  const char* Chars() const { return reinterpret_cast<const char*>(next_); }
  void Skip(int count) { next_ += count; }
  // The next eight bytes as one little-endian word, the first in the low byte; false when
  // the buffer holds fewer.
  bool Peek8(uint64_t* bytes) const {
    if (end_ - next_ < 8) return false;
    std::memcpy(bytes, next_, 8);
    if constexpr (std::endian::native == std::endian::big) *bytes = __builtin_bswap64(*bytes);
    return true;
  }

  // The file position of the next byte.
  int64_t Tell() {
    Commit();
    return BufFileTell(file_);
  }

 private:
  void Commit() {
    BufFileConsume(file_, static_cast<size_t>(next_ - begin_));
    begin_ = next_;
  }
  void Take() {
    const BufFileView view = BufFileBuffered(file_);
    begin_ = next_ = view.begin;
    end_ = view.end;
  }
  bool Refill() {
    Commit();
    if (!BufFileFillBuffer(file_)) return false;
    Take();
    return true;
  }

  BufFile* const file_;
  const unsigned char* begin_ = nullptr;
  const unsigned char* next_ = nullptr;
  const unsigned char* end_ = nullptr;
};

}  // namespace

// Byte-level access to a text PG file for the two text readers. kTranslate is false for
// files in ASCII read through a class table where 0-9 are digits: their bytes need no
// look-up in the code table, and their digits are taken eight bytes at a time.
template <bool kTranslate>
class PgTextParser {
 public:
  static constexpr int kEnd = -2;  // no more bytes

  explicit PgTextParser(PgReader* reader)
      : r_(*reader),
        input_(reader->file_),
        code_table_(reader->code_table_->data()),
        class_table_(reader->class_table_->data()) {}

  FlashRecord& flash() { return r_.flash_; }
  int EndResult() const { return EndOfFileResult(r_.file_); }

  // A byte's class and its translated character.
  struct Classed {
    int char_class;
    char c;
  };

  uint8_t Translate(int raw) const {
    return kTranslate ? code_table_[raw] : static_cast<uint8_t>(raw);
  }

  // The class of the next byte that has one, with its translated character; digits
  // written in an EBCDIC variant come back as plain digits after recording the variant.
  Classed Next() {
    for (;;) {
      const int raw = input_.Next();
      if (raw < 0) return {kEnd, 0};
      uint8_t c = Translate(raw);
      int char_class = class_table_[c];
      // Letters are the most common class that is not a digit taken in a run.
      if (IsLetter(char_class)) return {char_class, static_cast<char>(c)};
      if (char_class == kPgClassSkip) continue;
      if (char_class >= kPgClassDigitMinus) {
        r_.ebcdic_variant_ = char_class - (kPgClassDigitMinus + 1);
        c = static_cast<uint8_t>('0' + (c & 0x0F));
        char_class = kPgClassDigit;
      }
      return {char_class, static_cast<char>(c)};
    }
  }

  // DigitRun for a number that has just begun (taken, or new): most numbers are the
  // digits after their letter, which then make its whole value at once.
  void DigitsAfterLetter(IntegerText* number) {
    if constexpr (!kTranslate) {
      uint64_t bytes = 0;
      if (input_.Peek8(&bytes)) {
        const uint64_t less_zeros = LessZeros(bytes);
        const int count = LeadingDigits(less_zeros);
        if (count == 0) return;
        number->StartDigits(DigitsValue(less_zeros, count));
        input_.Skip(count);
        if (count < 8) return;
      }
    }
    DigitRun(number);
  }

  // Takes the plain digits (0-9 of the digit class) that follow, as long as the buffer
  // holds them, into the number.
  void DigitRun(IntegerText* number) {
    if constexpr (!kTranslate) {
      // Eight bytes at a time while the buffer holds eight.
      for (;;) {
        uint64_t bytes = 0;
        if (!input_.Peek8(&bytes)) break;
        const uint64_t less_zeros = LessZeros(bytes);
        const int count = LeadingDigits(less_zeros);
        if (count == 0) return;
        number->AddDigits(DigitsValue(less_zeros, count), kPowersOfTen[count]);
        input_.Skip(count);
        if (count < 8) return;
      }
    }
    while (input_.Buffered()) {
      const uint8_t c = Translate(input_.Peek());
      const unsigned digit = c - static_cast<unsigned>('0');
      if (digit > 9 || class_table_[c] != kPgClassDigit) return;
      number->AddDigit(digit);
      input_.Skip(1);
    }
  }

  // The plain digits that follow, taken into a Mann 3600 number eight bytes at a time
  // while the buffer holds eight and the text has room; the rest come one by one.
  void DecimalRun(DecimalText* number) {
    if constexpr (!kTranslate) {
      for (;;) {
        uint64_t bytes = 0;
        if (!input_.Peek8(&bytes)) return;
        const uint64_t less_zeros = LessZeros(bytes);
        const int count = LeadingDigits(less_zeros);
        if (count == 0) return;
        const int leading_zeros = less_zeros == 0 ? 8 : std::countr_zero(less_zeros) / 8;
        if (!number->AppendDigits(input_.Chars(), count, DigitsValue(less_zeros, count),
                                  leading_zeros)) {
          return;
        }
        input_.Skip(count);
        if (count < 8) return;
      }
    }
  }

  // Skips raw bytes to the comment's end: false when the file ends first.
  bool SkipComment() {
    const int end_byte = r_.comment_end_byte_, quote = r_.quote_byte_;
    const int line_feed = r_.comment_end_lf_byte_;
    for (;;) {
      const int raw = input_.Next();
      if (raw < 0) return false;
      if (raw == end_byte || raw == quote || raw == line_feed) return true;
    }
  }

  int Complete(double angle_degrees) {
    return CompleteFlash(angle_degrees, &r_.flash_, &r_.stats_, &r_.angles_) ? kPgReadFlash
                                                                             : kPgReadBadData;
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
      const int raw = input_.Next();
      if (raw < 0) return;
      const uint8_t c = Translate(raw);
      if (class_table_[c] == kPgClassComment) {
        if (!SkipComment()) return;
        continue;
      }
      if (IsFiller(raw, c)) continue;
      r_.data_after_end_ = input_.Tell() - 1;
      return;
    }
  }

  PgReader& r_;
  ByteCursor input_;
  const uint8_t* const code_table_;
  const int8_t* const class_table_;
};

namespace {

template <bool kTranslate>
int ReadText(PgReader* reader) {
  PgTextParser<kTranslate> parser(reader);
  FlashRecord& flash = parser.flash();
  IntegerText number;
  int field = 0;
  for (;;) {
    const auto [char_class, c] = parser.Next();
    // A letter and the digits after it are most of a file: the letter is told apart
    // first, and the digits that follow it at once are taken with it.
    if (IsLetter(char_class)) {
      if (!number.Take(&(flash.*kFieldOfClass[field]))) return kPgReadBadData;
      field = char_class;
      parser.DigitsAfterLetter(&number);
      continue;
    }
    if (char_class == kPgClassDigit) {
      const unsigned digit = static_cast<uint8_t>(c) - static_cast<unsigned>('0');
      if (digit > 9) {
        number.Other(c);
      } else if (number.Digit(digit)) {
        parser.DigitRun(&number);
      }
      continue;
    }
    switch (char_class) {
      case PgTextParser<kTranslate>::kEnd:
        return parser.EndResult();
      case kPgClassSign:
        number.Other(c);
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

// Stores a Mann 3600 number into the field of a letter class; false when out of range.
bool StoreDecimal(DecimalText* text, int field, FlashRecord* flash) {
  bool angle = field == kAngleClass;
  double value = 0;
  if (!text->Value(angle, &value)) return false;
  double scale = angle ? kMann3600AngleScale : kMann3600LengthScale;
  return RoundToInt32(value * scale, &(flash->*kFieldOfClass[field]));
}

template <bool kTranslate>
int ReadMann3600(PgReader* reader) {
  PgTextParser<kTranslate> parser(reader);
  FlashRecord& flash = parser.flash();
  DecimalText number;
  int field = 0;  // none yet: a number before the first letter is dropped
  for (;;) {
    const auto [char_class, c] = parser.Next();
    bool fits = true;
    switch (char_class) {
      case PgTextParser<kTranslate>::kEnd:
        return parser.EndResult();
      case kPgClassDigit:
        fits = number.AppendDigit(c);
        if (fits) parser.DecimalRun(&number);
        break;
      case kPgClassPoint:
        fits = number.Point();
        if (fits) parser.DecimalRun(&number);
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
        parser.DecimalRun(&number);
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

}  // namespace

namespace {

// Files in ASCII read through one of the two class tables (where 0-9 are digits) go the
// way without translation.
bool PlainAscii(const PgCodeTable* code_table, const PgCharClassTable* class_table) {
  return code_table == &kPgAsciiIdentity &&
         (class_table == &kPgElectroMaskClasses || class_table == &kPgMannClasses);
}

}  // namespace

int ReadTextPgRecord(PgReader* reader) {
  if (reader->file_ == nullptr) return kPgReadBadData;
  return PlainAscii(reader->code_table_, reader->class_table_) ? ReadText<false>(reader)
                                                               : ReadText<true>(reader);
}

int ReadMann3600Record(PgReader* reader) {
  if (reader->file_ == nullptr) return kPgReadBadData;
  return PlainAscii(reader->code_table_, reader->class_table_) ? ReadMann3600<false>(reader)
                                                               : ReadMann3600<true>(reader);
}

}  // namespace kavrinth
