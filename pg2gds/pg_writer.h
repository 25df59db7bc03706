// The PG output writer: Electromask, Mann 3000, Mann 3600 and Intermediate files in the
// block layouts, character sets and end marks that the PG record readers read back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pg2gds/pg_readers.h"

namespace kavrinth {

// Results of OpenPgOutput, the encoders and ClosePgOutput.
enum PgOutputResult : int {
  kPgOutputOk = 0,
  // Format above 6 or Draftek, the file cannot be created, or a write failed.
  kPgOutputFailed = 1,
  kPgOutputUnsupported = 2,  // Tap and CIF Mann: nothing is written
  kPgOutputNoMemory = 3,     // no block buffer
};

// Block sizes of the written formats.
inline constexpr size_t kPgElectroMaskBlockSize = 800;
inline constexpr size_t kPgMannBlockSize = 512;
inline constexpr size_t kPgIntermediateBlockSize = 512;

// EBCDIC flags of OpenPgOutput: ASCII, or EBCDIC with digits 8 and 9 written as
// 0xF8/0xF9 (the readers' variant mark +1) or as 0xFA/0xFB (variant mark -1).
inline constexpr int kPgAscii = 0;
inline constexpr int kPgEbcdicPlus = 1;
inline constexpr int kPgEbcdicMinus = -1;

// One flash of a text format, in the file's raw units; the angle in tenths of a degree.
struct PgOutputFlash {
  int32_t x = 0;
  int32_t y = 0;
  int32_t w = 0;
  int32_t h = 0;
  int32_t angle = 0;
};

// One Intermediate shape, in database units (thousandths of the file's unit): a
// quadrilateral (four corners p0..p3) or a sector (centre, inner radius, sweep, and a
// point on the outer circle in points[0..1]).
struct PgOutputShape {
  int32_t centre_x = 0;
  int32_t centre_y = 0;
  int32_t unused = 0;
  int32_t inner_radius = 0;
  int32_t sweep = 0;   // tenths of a degree
  int32_t sector = 0;  // non-zero: a sector, else a quadrilateral
  std::array<int32_t, 8> points{};
};

// The 27 characters a text format is written with, in their fixed order.
struct PgCharSet {
  uint8_t block_start;
  uint8_t pad;
  uint8_t end_mark;
  uint8_t record_end;
  std::array<uint8_t, 5> letters;  // X, Y, W, the second side, the angle
  uint8_t quote;
  uint8_t line_end;  // the second quote
  std::array<uint8_t, 10> digits;
  uint8_t t, e, m, minus, point, hash;
};

// Writes one PG file at a time. The file is built under a temporary name beside the
// target and renamed over it only by a clean ClosePgOutput, so a failed write never
// destroys a file that was there before and never leaves a half-written one. A target
// that is a device (the null device, say) is written directly.
class PgOutputWriter {
 public:
  PgOutputWriter() = default;
  ~PgOutputWriter();  // an output still open is abandoned
  PgOutputWriter(const PgOutputWriter&) = delete;
  PgOutputWriter& operator=(const PgOutputWriter&) = delete;

  // Opens the output and writes the format's header. `ebcdic` is kPgAscii, kPgEbcdicPlus
  // or kPgEbcdicMinus (text formats only); `buffer` is the caller's block buffer, used
  // when it holds at least one block; `english` writes the unit letter "E" into a Mann
  // header ("M" otherwise). A PgOutputResult; on failure nothing is left on the disk.
  int OpenPgOutput(std::string_view path, int32_t format, int ebcdic,
                   std::span<uint8_t> buffer = {}, bool english = false);

  // Writes one flash of an open Electromask or Mann output: 0, or 1 when a block
  // cannot be written or the output is not a text format.
  int WritePgFlash(const PgOutputFlash& flash);
  // Writes one shape of an open Intermediate output: 0, or 1 as above.
  int WritePgShape(const PgOutputShape& shape);

  // Writes the trailer and puts the file in place of the target: 0, or 1 (the
  // temporary file is removed and the target stays as it was) after any failure since
  // the open. Also 1 when nothing is open.
  int ClosePgOutput();
  // Drops an open output without touching the target.
  void AbandonPgOutput();

  bool is_open() const { return file_ != nullptr; }
  int32_t format() const { return format_; }
  // Intermediate records written so far.
  uint32_t quadrilateral_count() const { return quadrilaterals_; }
  uint32_t sector_count() const { return sectors_; }

 private:
  struct FormatRoutines;
  static const FormatRoutines* RoutinesFor(int32_t format);

  bool CreateTemporary();
  void CloseAndRemove();
  bool WriteBlock(size_t count);
  void BeginBlock();
  // Header, encoder and trailer of the text formats and of Intermediate.
  bool ElectroMaskHeader();
  bool MannHeader();
  bool IntermediateHeader();
  bool TextTrailer();
  bool IntermediateTrailer();
  bool EncodeText(const PgOutputFlash& flash);
  void MakeRecord(const int32_t (&values)[5], bool all_fields);
  void AppendInteger(int32_t value);
  void AppendDecimal(double value);
  bool AppendBytes(const uint8_t* bytes, size_t count);
  bool AppendFloat(double value);

  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temporary_;  // empty while a device is written directly
  const FormatRoutines* routines_ = nullptr;
  int32_t format_ = -1;
  bool english_ = false;
  bool failed_ = false;

  std::vector<uint8_t> own_buffer_;

  std::vector<char> stream_buffer_;  // the output stream's buffer, while it is open
  std::span<uint8_t> block_;         // one block: the caller's buffer or own_buffer_
  size_t position_ = 0;
  PgCharSet chars_{};
  std::array<std::array<uint8_t, 2>, 100> digit_pairs_{};  // 00 to 99 in chars_' digits

  std::array<int32_t, 5> last_{};  // the last value written of each field
  bool all_fields_due_ = true;
  std::array<uint8_t, 96> record_{};  // the record being made
  size_t record_size_ = 0;

  uint32_t quadrilaterals_ = 0;
  uint32_t sectors_ = 0;
};

}  // namespace kavrinth
