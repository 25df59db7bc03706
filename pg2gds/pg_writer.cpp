// The PG output writer: block layouts, character sets, record encoders and trailers of
// the Electromask, Mann and Intermediate formats, written through a temporary file.
#include "pg2gds/pg_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <new>

#include "platform/files.h"

namespace kavrinth {
namespace {

constexpr std::array<uint8_t, 10> kAsciiDigits = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
// EBCDIC digits; 8 and 9 are set by the EBCDIC flag when a file is opened.
constexpr std::array<uint8_t, 10> kEbcdicDigits = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4,
                                                   0xF5, 0xF6, 0xF7, 0xF8, 0xF9};

constexpr PgCharSet kElectroMaskAscii = {'<', '.', 'Z',          'S', {'X', 'Y', 'W', 'V', 'U'},
                                         '~', '~', kAsciiDigits, 'T', 'E',
                                         'M', '-', '.',          '#'};
constexpr PgCharSet kElectroMaskEbcdic = {
    0x4A, 0x4B, 0xE9, 0xE2, {0xE7, 0xE8, 0xE6, 0xE5, 0xE4}, 0x7F, 0x7F, kEbcdicDigits, 0xE3, 0xC5,
    0xD4, 0x60, 0x4B, 0x7B};
constexpr PgCharSet kMannAscii = {0x00, ' ',  '$',          ';', {'X', 'Y', 'W', 'H', 'A'},
                                  0x22, 0x22, kAsciiDigits, 'T', 'E',
                                  'M',  '-',  '.',          '#'};
constexpr PgCharSet kMannEbcdic = {0x00, 0x40, 0x5B,          0x5E, {0xE7, 0xE8, 0xE6, 0xC8, 0xC1},
                                   0x7F, 0x15, kEbcdicDigits, 0xE3, 0xC5,
                                   0xD4, 0x60, 0x4B,          0x7B};

// Field indexes of a flash: X, Y, W, the second side, the angle.
enum Field { kFieldX, kFieldY, kFieldW, kFieldH, kFieldAngle };

// Intermediate layout: header, counts and the two record kinds the writer produces.
constexpr size_t kIntermediateHeaderSize = 23;
constexpr long kQuadrilateralCountOffset = 10;
constexpr long kSectorCountOffset = 18;
constexpr uint8_t kQuadrilateralLead[] = {0x92, 0x00, 0x00};
constexpr uint8_t kQuadrilateralTail[] = {0x9C};
constexpr uint8_t kSectorLead[] = {0x02, 0x01, 0x00};
constexpr uint8_t kSectorTail[] = {0x01, 0x0D};
constexpr int kSectorFloats = 16;

// Mann 3600 writes lengths in units of 100000 raw units and the angle in degrees.
constexpr double kMann3600LengthDivisor = 100000;
constexpr double kAngleTenths = 10;
constexpr int kMann3600Decimals = 5;
// Intermediate floats are in thousandths of the database unit.
constexpr double kIntermediateDivisor = 1000;

std::atomic<unsigned> temporary_counter{0};
// Bytes of the output stream's buffer.
constexpr size_t kWriteBuffer = size_t{256} << 10;

}  // namespace

struct PgOutputWriter::FormatRoutines {
  int32_t format;
  size_t block_size;
  bool (PgOutputWriter::*header)();
  bool (PgOutputWriter::*trailer)();
  bool shapes;  // Intermediate: WritePgShape, else WritePgFlash
  const PgCharSet* ascii;
  const PgCharSet* ebcdic;
  std::array<int, 5> field_order;
  bool decimals;     // Mann 3600 numbers
  bool block_start;  // Electromask blocks begin with the block start character
  char machine;      // the second digit of the Mann machine line: T300 or T360
};

const PgOutputWriter::FormatRoutines* PgOutputWriter::RoutinesFor(int32_t format) {
  static const FormatRoutines kRoutines[] = {
      {kPgFormatElectroMask,
       kPgElectroMaskBlockSize,
       &PgOutputWriter::ElectroMaskHeader,
       &PgOutputWriter::TextTrailer,
       false,
       &kElectroMaskAscii,
       &kElectroMaskEbcdic,
       {kFieldX, kFieldY, kFieldW, kFieldH, kFieldAngle},
       false,
       true,
       0},
      {kPgFormatMann3000,
       kPgMannBlockSize,
       &PgOutputWriter::MannHeader,
       &PgOutputWriter::TextTrailer,
       false,
       &kMannAscii,
       &kMannEbcdic,
       {kFieldX, kFieldY, kFieldH, kFieldW, kFieldAngle},
       false,
       false,
       0},
      {kPgFormatMann3600,
       kPgMannBlockSize,
       &PgOutputWriter::MannHeader,
       &PgOutputWriter::TextTrailer,
       false,
       &kMannAscii,
       &kMannEbcdic,
       {kFieldX, kFieldY, kFieldH, kFieldW, kFieldAngle},
       true,
       false,
       6},
      {kPgFormatIntermediate,
       kPgIntermediateBlockSize,
       &PgOutputWriter::IntermediateHeader,
       &PgOutputWriter::IntermediateTrailer,
       true,
       &kMannAscii,
       &kMannAscii,
       {kFieldX, kFieldY, kFieldW, kFieldH, kFieldAngle},
       false,
       false,
       0},
  };
  for (const FormatRoutines& routines : kRoutines) {
    if (routines.format == format) return &routines;
  }
  return nullptr;  // Draftek (nothing is written) and numbers out of range
}

PgOutputWriter::~PgOutputWriter() { AbandonPgOutput(); }

int PgOutputWriter::OpenPgOutput(std::string_view path, int32_t format, int ebcdic,
                                 std::span<uint8_t> buffer, bool english) {
  AbandonPgOutput();
  if (format == kPgFormatTap || format == kPgFormatCifMann) return kPgOutputUnsupported;
  const FormatRoutines* routines = RoutinesFor(format);
  if (routines == nullptr) return kPgOutputFailed;

  if (buffer.size() >= routines->block_size) {
    block_ = buffer.first(routines->block_size);
  } else {
    try {
      own_buffer_.assign(routines->block_size, 0);
    } catch (const std::bad_alloc&) {
      return kPgOutputNoMemory;
    }
    block_ = own_buffer_;
  }
  chars_ = ebcdic != kPgAscii ? *routines->ebcdic : *routines->ascii;
  if (ebcdic != kPgAscii && !routines->shapes) {
    chars_.digits[8] = ebcdic > 0 ? 0xF8 : 0xFA;
    chars_.digits[9] = ebcdic > 0 ? 0xF9 : 0xFB;
  }
  for (size_t i = 0; i < digit_pairs_.size(); ++i) {
    digit_pairs_[i] = {chars_.digits[i / 10], chars_.digits[i % 10]};
  }
  routines_ = routines;
  format_ = format;
  english_ = english;
  failed_ = false;
  position_ = 0;
  last_ = {};
  all_fields_due_ = true;
  quadrilaterals_ = sectors_ = 0;
  std::fill(block_.begin(), block_.end(), uint8_t{0});

  target_ = NativePath(path);
  if (!CreateTemporary()) {
    routines_ = nullptr;
    format_ = -1;
    return kPgOutputFailed;
  }
  if (!(this->*routines_->header)() || failed_) {
    CloseAndRemove();
    return kPgOutputFailed;
  }
  return kPgOutputOk;
}

bool PgOutputWriter::CreateTemporary() {
  // A target that exists and is no regular file (a device such as /dev/null, a FIFO) is
  // written in place: a temporary renamed over it would replace the device itself.
  struct stat status {};
  if (::stat(target_.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    temporary_.clear();
    const int fd = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    file_ = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (file_ == nullptr && fd >= 0) close(fd);
    return file_ != nullptr;
  }
  // O_EXCL makes the name ours; the mode lets the umask decide, as for any new file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = target_ + ".~" + std::to_string(getpid()) + "-" +
                 std::to_string(temporary_counter.fetch_add(1));
    int fd = open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    file_ = fdopen(fd, "w+b");
    if (file_ != nullptr) {
      // Large writes: the default buffer of a few kilobytes costs a call every 4096 bytes
      // (a buffer must be given: without one the size asked for is not taken).
      stream_buffer_.resize(kWriteBuffer);
      std::setvbuf(file_, stream_buffer_.data(), _IOFBF, stream_buffer_.size());
      return true;
    }
    close(fd);
    unlink(temporary_.c_str());
    return false;
  }
  return false;
}

void PgOutputWriter::CloseAndRemove() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) unlink(temporary_.c_str());
  }
  routines_ = nullptr;
  format_ = -1;
}

void PgOutputWriter::AbandonPgOutput() { CloseAndRemove(); }

int PgOutputWriter::ClosePgOutput() {
  if (file_ == nullptr) return kPgOutputFailed;
  bool ok = !failed_ && (this->*routines_->trailer)() && !failed_;
  // A device written in place has nothing to sync (fsync fails on it) or to rename.
  const bool in_place = temporary_.empty();
  ok = ok && std::fflush(file_) == 0 && (in_place || fsync(fileno(file_)) == 0);
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!in_place) {
    ok = ok && closed && std::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!ok) unlink(temporary_.c_str());
  }
  ok = ok && closed;
  routines_ = nullptr;
  format_ = -1;
  return ok ? kPgOutputOk : kPgOutputFailed;
}

bool PgOutputWriter::WriteBlock(size_t count) {
  if (failed_) return false;
  if (std::fwrite(block_.data(), 1, count, file_) != count) failed_ = true;
  return !failed_;
}

void PgOutputWriter::BeginBlock() {
  std::fill(block_.begin(), block_.end(), chars_.pad);
  position_ = 0;
  if (routines_->block_start) block_[position_++] = chars_.block_start;
  all_fields_due_ = true;
}

// ---- Text formats ----

bool PgOutputWriter::ElectroMaskHeader() {
  BeginBlock();
  return true;
}

bool PgOutputWriter::MannHeader() {
  // A first block holding only the comment "00", then the machine line in quotes.
  std::fill(block_.begin(), block_.end(), chars_.pad);
  const uint8_t lead[] = {chars_.hash, chars_.quote, chars_.digits[0], chars_.digits[0],
                          chars_.line_end};
  std::copy(std::begin(lead), std::end(lead), block_.begin());
  if (!WriteBlock(block_.size())) return false;
  BeginBlock();
  const uint8_t machine[] = {chars_.quote,     chars_.t,
                             chars_.digits[3], chars_.digits[routines_->machine],
                             chars_.digits[0], english_ ? chars_.e : chars_.m,
                             chars_.line_end};
  std::copy(std::begin(machine), std::end(machine), block_.begin());
  position_ = sizeof machine;
  return true;
}

bool PgOutputWriter::TextTrailer() {
  if (position_ == block_.size()) {
    if (!WriteBlock(block_.size())) return false;
    BeginBlock();
  }
  block_[position_] = chars_.end_mark;
  return WriteBlock(block_.size());
}

void PgOutputWriter::AppendInteger(int32_t value) {
  // The digits two at a time, from the last, straight in the output's characters.
  if (value < 0) record_[record_size_++] = chars_.minus;
  uint32_t rest = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  uint8_t text[10];  // 2^31 has ten digits
  size_t first = sizeof text;
  while (rest >= 100) {
    const std::array<uint8_t, 2>& pair = digit_pairs_[rest % 100];
    rest /= 100;
    text[--first] = pair[1];
    text[--first] = pair[0];
  }
  if (rest >= 10) {
    text[--first] = digit_pairs_[rest][1];
    text[--first] = digit_pairs_[rest][0];
  } else {
    text[--first] = chars_.digits[rest];
  }
  std::copy(text + first, text + sizeof text, record_.begin() + record_size_);
  record_size_ += sizeof text - first;
}

void PgOutputWriter::AppendDecimal(double value) {
  char text[48];
  auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, kMann3600Decimals);
  (void)error;  // a 32-bit value over 10 or 100000 has at most 17 characters here
  for (const char* c = text; c != end; ++c) {
    uint8_t out = *c == '-' ? chars_.minus : *c == '.' ? chars_.point : chars_.digits[*c - '0'];
    record_[record_size_++] = out;
  }
}

void PgOutputWriter::MakeRecord(const int32_t (&values)[5], bool all_fields) {
  record_size_ = 0;
  for (int field : routines_->field_order) {
    if (!all_fields && values[field] == last_[field]) continue;
    record_[record_size_++] = chars_.letters[field];
    if (!routines_->decimals) {
      AppendInteger(values[field]);
    } else if (field == kFieldAngle) {
      AppendDecimal(values[field] / kAngleTenths);
    } else {
      AppendDecimal(values[field] / kMann3600LengthDivisor);
    }
  }
  record_[record_size_++] = chars_.record_end;
}

bool PgOutputWriter::EncodeText(const PgOutputFlash& flash) {
  const int32_t values[5] = {flash.x, flash.y, flash.w, flash.h, flash.angle};
  MakeRecord(values, all_fields_due_);
  if (position_ + record_size_ > block_.size()) {
    // The record goes whole into a new block, which repeats every field.
    if (!WriteBlock(block_.size())) return false;
    BeginBlock();
    MakeRecord(values, true);
  }
  std::copy_n(record_.begin(), record_size_, block_.begin() + position_);
  position_ += record_size_;
  std::copy(std::begin(values), std::end(values), last_.begin());
  all_fields_due_ = false;
  return true;
}

int PgOutputWriter::WritePgFlash(const PgOutputFlash& flash) {
  if (file_ == nullptr || routines_->shapes || failed_) return kPgOutputFailed;
  return EncodeText(flash) ? kPgOutputOk : kPgOutputFailed;
}

// ---- Intermediate ----

bool PgOutputWriter::IntermediateHeader() {
  std::fill_n(block_.begin(), kIntermediateHeaderSize, uint8_t{0});
  block_[0] = 0xFD;
  block_[1] = 'P';  // low two bits 0: nothing skipped before the counts
  block_[kIntermediateHeaderSize - 1] = 'T';
  position_ = kIntermediateHeaderSize;
  return true;
}

bool PgOutputWriter::AppendBytes(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    block_[position_++] = bytes[i];
    if (position_ == block_.size()) {
      if (!WriteBlock(block_.size())) return false;
      position_ = 0;
    }
  }
  return true;
}

bool PgOutputWriter::AppendFloat(double value) {
  auto bits = std::bit_cast<uint32_t>(static_cast<float>(value));
  const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
  return AppendBytes(bytes, sizeof bytes);
}

int PgOutputWriter::WritePgShape(const PgOutputShape& shape) {
  if (file_ == nullptr || !routines_->shapes || failed_) return kPgOutputFailed;
  const auto& p = shape.points;
  bool ok = true;
  if (shape.sector != 0) {
    if (sectors_ == UINT32_MAX) return kPgOutputFailed;
    std::array<double, kSectorFloats> floats{};
    floats[4] = shape.inner_radius / kIntermediateDivisor;
    floats[5] = shape.sweep / kAngleTenths;
    floats[6] = shape.centre_x / kIntermediateDivisor;
    floats[7] = shape.centre_y / kIntermediateDivisor;
    floats[8] = p[0] / kIntermediateDivisor;
    floats[9] = p[1] / kIntermediateDivisor;
    ok = AppendBytes(kSectorLead, sizeof kSectorLead);
    for (double value : floats) ok = ok && AppendFloat(value);
    ok = ok && AppendBytes(kSectorTail, sizeof kSectorTail);
    ++sectors_;
  } else {
    if (quadrilaterals_ == UINT32_MAX) return kPgOutputFailed;
    bool triangle = p[4] == p[6] && p[5] == p[7];
    ok = AppendBytes(kQuadrilateralLead, sizeof kQuadrilateralLead) &&
         AppendFloat(triangle ? 3.0 : 4.0);
    for (int32_t value : p) ok = ok && AppendFloat(value / kIntermediateDivisor);
    ok = ok && AppendBytes(kQuadrilateralTail, sizeof kQuadrilateralTail);
    ++quadrilaterals_;
  }
  return ok ? kPgOutputOk : kPgOutputFailed;
}

bool PgOutputWriter::IntermediateTrailer() {
  if (position_ > 0 && !WriteBlock(position_)) return false;
  const std::pair<long, uint32_t> counts[] = {{kQuadrilateralCountOffset, quadrilaterals_},
                                              {kSectorCountOffset, sectors_}};
  for (const auto& [offset, count] : counts) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                              static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)};
    if (std::fseek(file_, offset, SEEK_SET) != 0 || std::fwrite(bytes, 1, 4, file_) != 4) {
      failed_ = true;
      return false;
    }
  }
  return true;
}

}  // namespace kavrinth
