// PG pattern-generator files: format numbers, code and character-class tables, format
// detection and the record readers that deliver one flash at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/buf_file.h"

namespace kavrinth {

// PG format numbers, as stored in job files and passed between the programs.
enum PgFormat : int32_t {
  kPgFormatElectroMask = 0,
  kPgFormatMann3000 = 1,
  kPgFormatMann3600 = 2,
  kPgFormatDraftek = 3,
  kPgFormatIntermediate = 4,
  kPgFormatTap = 5,      // named, detected as Mann behind a 512-byte lead-in
  kPgFormatCifMann = 6,  // named, detection only
};
inline constexpr int32_t kPgFormatCount = 7;

// The format's name as shown to the user ("ElectroMask", "Mann 3000", ...); an empty
// text for a number outside 0..6.
std::string_view PgFormatName(int32_t format);

// Code-set names that detection records.
inline constexpr std::string_view kPgCodeSetAscii = "ASCII";
inline constexpr std::string_view kPgCodeSetEbcdic = "EBCDIC";
inline constexpr std::string_view kPgCodeSetIntermediate = "Intermediate";

// Reader indexes returned by DetectPgFormat.
enum PgReaderIndex : int {
  kPgDetectFailed = -1,       // the file is not of the chosen format
  kPgReaderText = 0,          // ElectroMask and Mann 3000
  kPgReaderMann3600 = 1,      // Mann 3600 (and Tap)
  kPgReaderDraftek = 2,       //
  kPgReaderIntermediate = 3,  //
  kPgReaderNone = 4,          // CIF Mann: detected, but no reader exists
};

// Results of a PgRecordReader.
enum PgReadResult : int {
  kPgReadEndOfData = -1,  // the end-of-data mark (or, Intermediate, the last kind) was reached
  kPgReadFlash = 0,       // a flash is ready in the FlashRecord
  kPgReadTruncated = 1,   // the file ended before its end-of-data mark
  kPgReadNothing = 2,     // Intermediate: a record without a flash was skipped; call again
  kPgReadSector = 3,      // Intermediate: a sector is ready
  // The data cannot be used: a character without meaning in the format (a "." in a Mann
  // 3000 file), a number or coordinate beyond 32 bits, a float that is not finite or too
  // large, or a read error of the file. Callers report it like kPgReadTruncated.
  kPgReadBadData = 4,
};

// Character classes of the PG text formats (the translated byte's class).
enum PgCharClass : int8_t {
  kPgClassSkip = -1,        // no meaning: skipped
  kPgClassDigit = 0,        // part of a number
  kPgClassX = 1,            // the next number is X
  kPgClassY = 2,            // ... Y
  kPgClassW = 3,            // ... W
  kPgClassH = 4,            // ... the second side (V in ElectroMask, H in Mann)
  kPgClassAngle = 5,        // ... the angle (U in ElectroMask, A in Mann)
  kPgClassComment = 6,      // the quote that starts a comment
  kPgClassRecordEnd = 7,    // S (ElectroMask), ; (Mann)
  kPgClassEndOfData = 8,    // Z (ElectroMask), $ (Mann)
  kPgClassPoint = 9,        // decimal point (Mann only)
  kPgClassSign = 10,        // + and - (Mann only; ElectroMask counts them as digits)
  kPgClassDigitMinus = 80,  // EBCDIC 8 or 9 written as 0xFA/0xFB: digit, variant mark -1
  kPgClassDigitPlus = 82,   // EBCDIC 8 or 9 written as 0xF8/0xF9: digit, variant mark +1
};

using PgCodeTable = std::array<uint8_t, 256>;
using PgCharClassTable = std::array<int8_t, 256>;

// EBCDIC to ASCII; EBCDIC 0xF8..0xFB give 0xA8, 0xA9, 0xB8, 0xB9 so that the class tables
// can tell which digit variant a file used.
extern const PgCodeTable kPgEbcdicToAscii;
extern const PgCodeTable kPgAsciiIdentity;
extern const PgCharClassTable kPgElectroMaskClasses;
extern const PgCharClassTable kPgMannClasses;

// Indexes into FlashRecord::corners.
inline constexpr int kPgCornerCount = 4;
inline constexpr int kPgCentreX = 8;
inline constexpr int kPgCentreY = 9;

// One flash as read, in raw file units. Fields a text record leaves out keep the previous
// record's value.
struct FlashRecord {
  int32_t width = 0;  // the shorter side
  int32_t x = 0;      // centre
  int32_t y = 0;
  int32_t w = 0;  // the two sides as given
  int32_t h = 0;
  int32_t angle = 0;  // tenths of a degree
  int32_t x1 = 0;     // centre line along the longer side
  int32_t y1 = 0;
  int32_t x2 = 0;
  int32_t y2 = 0;
  // Four corners (x, y) then the centre (x, y). Text and Draftek flashes give the corners
  // as offsets from the centre (corners_are_offsets set); Intermediate records give them
  // as absolute points. AbsoluteFlashCorner gives the absolute point either way.
  std::array<int32_t, 10> corners{};
  bool corners_are_offsets = false;
};

// Corner i (0..3) as an absolute point. Readers only deliver flashes whose absolute
// corners fit in 32 bits.
inline void AbsoluteFlashCorner(const FlashRecord& flash, int i, int32_t* x, int32_t* y) {
  int32_t dx = flash.corners_are_offsets ? flash.corners[kPgCentreX] : 0;
  int32_t dy = flash.corners_are_offsets ? flash.corners[kPgCentreY] : 0;
  *x = flash.corners[2 * i] + dx;
  *y = flash.corners[2 * i + 1] + dy;
}

// Statistics flags.
inline constexpr uint8_t kPgStatFlashSeen = 1;
inline constexpr uint8_t kPgStatSectorSeen = 2;

// Statistics of the file being read, for the viewer's reports; cleared by detection.
struct PgReaderStats {
  double min_area = 0;  // smallest and largest W * H, with the sides that gave them
  int32_t min_area_w = 0;
  int32_t min_area_h = 0;
  double max_area = 0;
  int32_t max_area_w = 0;
  int32_t max_area_h = 0;
  double min_outer_radius = 0;  // Intermediate sectors
  double max_outer_radius = 0;
  uint8_t flags = 0;  // kPgStatFlashSeen, kPgStatSectorSeen
};

// Cosine and sine of the angles flash completion met, by the bits of the angle in degrees:
// a file uses few angles, and the same angle always gives the same two values. Every slot
// starts as angle 0, whose cosine and sine are exactly 1 and 0.
class PgAngleCache {
 public:
  struct Turn {
    uint64_t key = 0;  // the bits of +0.0
    double cos = 1;
    double sin = 0;
  };
  static constexpr int kSlots = 64;
  Turn& Slot(uint64_t key) { return slots_[(key * 0x9E3779B97F4A7C15u) >> 58]; }

 private:
  std::array<Turn, kSlots> slots_{};
};

class PgReader;

// Reads the next record of the file: a PgReadResult.
using PgRecordReader = int (*)(PgReader* reader);

// The reading state of one open PG file: detection sets it up, the record readers advance
// it. One object per file read at a time; objects are independent of each other.
class PgReader {
 public:
  PgReader() = default;
  PgReader(const PgReader&) = delete;
  PgReader& operator=(const PgReader&) = delete;

  // The flash of the last kPgReadFlash or kPgReadSector result.
  const FlashRecord& flash() const { return flash_; }
  const PgReaderStats& stats() const { return stats_; }
  // Which EBCDIC digits 8 and 9 the file used: +1 for 0xF8/0xF9, -1 for 0xFA/0xFB, 0 when
  // none was read yet. The PG output writer writes a file back in the same variant.
  int ebcdic_variant() const { return ebcdic_variant_; }
  // "ASCII", "EBCDIC" or "Intermediate", as detection found it.
  std::string_view code_set_name() const { return code_set_name_; }
  // The format after detection: a Mann 3000 file that says T360 becomes Mann 3600 and
  // the other way round.
  int32_t format() const { return format_; }
  // The reader index of the last detection (kPgDetectFailed before one succeeded).
  int reader_index() const { return reader_index_; }
  // The offset of the first byte of data that follows a text file's end of data when it
  // was ended by a character of a class without meaning for the reader (the "." of a
  // Mann 3000 file); -1 when only blanks, line ends and comments follow.
  int64_t data_after_end() const { return data_after_end_; }

 private:
  friend int DetectPgFormat(PgReader* reader, BufFile* file, int32_t format, int32_t* unit_code);
  friend int ReadTextPgRecord(PgReader* reader);
  friend int ReadMann3600Record(PgReader* reader);
  friend int ReadDraftekRecord(PgReader* reader);
  friend int ReadIntermediateRecord(PgReader* reader);
  friend int ValidateIntermediateHeader(PgReader* reader);
  friend int ReadIntermediateBlock(PgReader* reader);
  friend void ResetReaderState(PgReader* reader);
  friend class PgDetector;
  template <bool kTranslate>
  friend class PgTextParser;
  friend class PgBinaryParser;

  // Text formats
  const PgCodeTable* code_table_ = &kPgAsciiIdentity;
  const PgCharClassTable* class_table_ = &kPgElectroMaskClasses;
  int quote_byte_ = 0x22;
  int comment_end_byte_ = 0x22;
  int comment_end_lf_byte_ = -1;  // a line feed also ends a Mann ASCII comment
  // Draftek: next record number to read and the last one.
  int64_t next_record_ = 0;
  int64_t last_record_ = 0;
  // Intermediate: the kind being read (1..5, 6 after the last) and its records left.
  int kind_ = 1;
  uint32_t kind_left_ = 0;
  std::array<uint32_t, 5> kind_counts_{};
  std::array<float, 16> floats_{};  // the floats of the last Intermediate record

  BufFile* file_ = nullptr;
  FlashRecord flash_;
  PgReaderStats stats_;
  PgAngleCache angles_;
  int ebcdic_variant_ = 0;
  std::string_view code_set_name_ = kPgCodeSetAscii;
  int32_t format_ = kPgFormatElectroMask;
  int reader_index_ = kPgDetectFailed;
  int64_t data_after_end_ = -1;
};

// Prepares the reader for one file (positioned at its start) of the given format: clears
// the flash and statistics, picks code and class tables, reads the format's header and
// leaves the file at its first record. Returns the reader index, or kPgDetectFailed when
// there is no file, the format is above 6, or the file does not fit the format. May set
// the unit code: Draftek 2, CIF Mann 5, Mann from its machine line (E 1, M 4 or 5).
int DetectPgFormat(PgReader* reader, BufFile* file, int32_t format, int32_t* unit_code);

// ElectroMask and Mann 3000 records: letters each followed by a decimal integer, ended by
// the record end.
int ReadTextPgRecord(PgReader* reader);
// Mann 3600 records: decimal numbers, X, Y, W and H times 100000, the angle times 10.
int ReadMann3600Record(PgReader* reader);
// Draftek: 20-byte binary records between the header's first and last record numbers;
// lengths in hundredths of the file unit, the angle in thousandths of a degree (the
// FlashRecord keeps it in tenths, like every other reader).
int ReadDraftekRecord(PgReader* reader);
// Intermediate: binary records grouped by kind; kind 3 gives a flash, kind 5 a sector,
// the other kinds, and each change of kind, kPgReadNothing. Coordinates are the file's
// floats times 1000. A quadrilateral (p0..p3) gives x, y as the middle of p0 and p2, W
// = |p1 - p0|, H = |p2 - p1|, the angle of p0 -> p1, width the shorter side and x1..y2
// the centre line between the middles of the short sides. A sector gives x, y as its
// centre, W and width the outer radius, H the inner radius, the angle its (positive)
// sweep, and x1, y1 to x2, y2 its outer start and end points.
int ReadIntermediateRecord(PgReader* reader);

// Reads the Intermediate header: 0 valid (the reader is at kind 1), -1 not.
int ValidateIntermediateHeader(PgReader* reader);
// Reads one record of the current kind into the reader's floats: 0, kPgReadTruncated when
// bytes are missing, kPgReadBadData after a read error.
int ReadIntermediateBlock(PgReader* reader);

// After a file: clears the statistics of the kinds (flash, sector) it did not contain.
void ResetReaderState(PgReader* reader);

// The warning for data after the end of the data: "Data after the end of data (".") at
// offset <n> left out."
std::string DataAfterEndText(int64_t offset);

// The reader routine for a reader index (0..3); null for kPgReaderNone and others.
PgRecordReader PgRecordReaderFor(int reader_index);

}  // namespace kavrinth
