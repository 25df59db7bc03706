// PG format detection: picks code and class tables, reads the format's header, finds the
// Mann machine line and unit, and leaves the file at its first record.
#include <cfloat>
#include <cstdint>
#include <cstring>

#include "pg2gds/pg_readers.h"

namespace kavrinth {
namespace {

// Raw block-start bytes of an ElectroMask file.
constexpr int kElectroMaskAsciiStart = '<';
constexpr int kElectroMaskEbcdicStart = 0x4A;
// A Mann file may start with a 512-byte header block, marked by "#" (ASCII 0x23, or 0x7B
// which is "{" in ASCII and "#" in EBCDIC).
constexpr int kMannHeaderMarkAscii = 0x23;
constexpr int kMannHeaderMarkEbcdic = 0x7B;
constexpr int64_t kMannBlockSize = 512;
constexpr int kAsciiQuote = 0x22, kAsciiLineEnd = 0x0D, kAsciiLineFeed = 0x0A;
constexpr int kEbcdicQuote = 0x7F, kEbcdicLineEnd = 0x15;
// Draftek: the first and last data record numbers sit at byte 80; records are 20 bytes.
constexpr int64_t kDraftekHeaderOffset = 80;
constexpr int64_t kDraftekRecordSize = 20;
// Unit codes detection may set.
constexpr int32_t kUnitEnglish = 1;
constexpr int32_t kUnitDraftek = 2;
constexpr int32_t kUnitMann3000Metric = 4;
constexpr int32_t kUnitMann3600Metric = 5;

struct CodeSet {
  const PgCodeTable* table;
  int quote;
  std::string_view name;
};
constexpr CodeSet kAsciiSet = {&kPgAsciiIdentity, kAsciiQuote, kPgCodeSetAscii};
constexpr CodeSet kEbcdicSet = {&kPgEbcdicToAscii, kEbcdicQuote, kPgCodeSetEbcdic};

int32_t ReadLittleEndian32(const unsigned char* bytes) {
  uint32_t value =
      bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return static_cast<int32_t>(value);
}

}  // namespace

// Detection steps per format family; each returns the reader index or kPgDetectFailed.
class PgDetector {
 public:
  PgDetector(PgReader* reader, BufFile* file) : r_(*reader), file_(file) {}

  void UseCodeSet(const CodeSet& set, int comment_end) {
    r_.code_table_ = set.table;
    r_.quote_byte_ = set.quote;
    r_.comment_end_byte_ = comment_end;
    // A comment that ends at the line end ends at LF as well as at CR, so that files
    // with LF line ends read like files with CR LF.
    r_.comment_end_lf_byte_ = comment_end == kAsciiLineEnd ? kAsciiLineFeed : -1;
    r_.code_set_name_ = set.name;
  }

  int ElectroMask() {
    r_.class_table_ = &kPgElectroMaskClasses;
    int first = BufFileGetByte(file_);
    if (first == kElectroMaskAsciiStart) {
      UseCodeSet(kAsciiSet, kAsciiQuote);
    } else if (first == kElectroMaskEbcdicStart) {
      UseCodeSet(kEbcdicSet, kEbcdicQuote);
    } else {
      return kPgDetectFailed;
    }
    return kPgReaderText;
  }

  int Draftek(int32_t* unit_code) {
    *unit_code = kUnitDraftek;
    r_.code_set_name_ = kPgCodeSetEbcdic;
    unsigned char numbers[8];
    if (BufFileSeek(file_, kDraftekHeaderOffset, 0) != 0 ||
        BufFileRead(file_, numbers, sizeof numbers) != sizeof numbers) {
      return kPgDetectFailed;
    }
    int32_t first = ReadLittleEndian32(numbers);
    // Record numbers count from 1; a first record of 0 or less names no record at all.
    if (first < 1) return kPgDetectFailed;
    r_.next_record_ = first;
    r_.last_record_ = ReadLittleEndian32(numbers + 4);
    if (BufFileSeek(file_, (r_.next_record_ - 1) * kDraftekRecordSize, 0) != 0) {
      return kPgDetectFailed;
    }
    return kPgReaderDraftek;
  }

  int Intermediate() {
    r_.code_set_name_ = kPgCodeSetIntermediate;
    return ValidateIntermediateHeader(&r_) == 0 ? kPgReaderIntermediate : kPgDetectFailed;
  }

  int Mann(int32_t* unit_code) {
    int result = r_.format_ == kPgFormatMann3000 ? kPgReaderText : kPgReaderMann3600;
    int64_t lead_in = r_.format_ == kPgFormatTap ? kMannBlockSize : 0;
    r_.class_table_ = &kPgMannClasses;
    if (lead_in != 0 && BufFileSeek(file_, lead_in, 0) != 0) return kPgDetectFailed;
    int first = BufFileGetByte(file_);
    if (first == kMannHeaderMarkAscii || first == kMannHeaderMarkEbcdic) {
      lead_in += kMannBlockSize;
      if (BufFileSeek(file_, lead_in, 0) != 0) return kPgDetectFailed;
      first = BufFileGetByte(file_);
    }
    if (first == kAsciiQuote) {
      UseCodeSet(kAsciiSet, kAsciiLineEnd);
    } else if (first == kEbcdicQuote) {
      UseCodeSet(kEbcdicSet, kEbcdicLineEnd);
    } else {
      // No comment with a machine line: take the file as EBCDIC data from the start.
      UseCodeSet(kEbcdicSet, kEbcdicLineEnd);
      return BufFileSeek(file_, lead_in, 0) == 0 ? result : kPgDetectFailed;
    }
    result = ReadMachineLine(result, unit_code);
    // The comment holding the machine line is read again, as a comment, by the reader.
    return BufFileSeek(file_, lead_in, 0) == 0 ? result : kPgDetectFailed;
  }

 private:
  // The quoted machine line "T360" or "T300" and its unit letter "E" or "M".
  int ReadMachineLine(int result, int32_t* unit_code) {
    char text[5];
    for (char& c : text) {
      int byte = BufFileGetByte(file_);
      c = byte < 0 ? '\0' : static_cast<char>((*r_.code_table_)[byte]);
    }
    bool t360 = std::memcmp(text, "T360", 4) == 0;
    bool t300 = std::memcmp(text, "T300", 4) == 0;
    if (t360 && r_.format_ == kPgFormatMann3000) {
      result = kPgReaderMann3600;
      r_.format_ = kPgFormatMann3600;
    } else if (t300 && r_.format_ == kPgFormatMann3600) {
      result = kPgReaderText;
      r_.format_ = kPgFormatMann3000;
    }
    char unit = (t360 || t300) ? text[4] : '\0';
    if (unit == 'E') {
      *unit_code = kUnitEnglish;
    } else if (unit == 'M') {
      *unit_code = r_.format_ == kPgFormatMann3600 ? kUnitMann3600Metric : kUnitMann3000Metric;
    } else if (*unit_code == kUnitMann3000Metric && r_.format_ == kPgFormatMann3600) {
      *unit_code = kUnitMann3600Metric;
    }
    return result;
  }

  PgReader& r_;
  BufFile* file_;
};

int DetectPgFormat(PgReader* reader, BufFile* file, int32_t format, int32_t* unit_code) {
  FlashRecord& flash = reader->flash_;
  flash.width = flash.x = flash.y = flash.w = flash.h = flash.angle = 0;
  reader->stats_ = PgReaderStats{};
  reader->stats_.min_area = DBL_MAX;
  reader->stats_.min_outer_radius = DBL_MAX;
  reader->ebcdic_variant_ = 0;
  reader->data_after_end_ = -1;
  reader->file_ = file;
  reader->format_ = format;
  reader->reader_index_ = kPgDetectFailed;
  if (file == nullptr || format < 0 || format >= kPgFormatCount) return kPgDetectFailed;

  PgDetector detector(reader, file);
  int result = kPgDetectFailed;
  switch (format) {
    case kPgFormatElectroMask:
      result = detector.ElectroMask();
      break;
    case kPgFormatDraftek:
      result = detector.Draftek(unit_code);
      break;
    case kPgFormatIntermediate:
      result = detector.Intermediate();
      break;
    case kPgFormatCifMann:
      *unit_code = kUnitMann3600Metric;
      result = kPgReaderNone;
      break;
    default:
      result = detector.Mann(unit_code);
      break;
  }
  reader->reader_index_ = result;
  return result;
}

void ResetReaderState(PgReader* reader) {
  PgReaderStats& stats = reader->stats_;
  if ((stats.flags & kPgStatFlashSeen) == 0) {
    stats.min_area = stats.max_area = 0;
    stats.min_area_w = stats.min_area_h = stats.max_area_w = stats.max_area_h = 0;
  }
  if ((stats.flags & kPgStatSectorSeen) == 0) {
    stats.min_outer_radius = stats.max_outer_radius = 0;
  }
}

}  // namespace kavrinth
