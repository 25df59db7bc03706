// The viewer's GDSII-format writer: buffered levels on temporary files, record framing in
// either byte order, compressed point records, and the element writers.
#include "viewer/model/gdsformat_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "gdsii/encoding.h"
#include "gdsii/records.h"
#include "platform/files.h"
#include "support/memory_status.h"
#include "support/paths.h"

namespace kavrinth {
namespace {

constexpr size_t kFontSlot = 44;
constexpr size_t kFontField = 176;
constexpr size_t kMaxStructureName = 32;
// Deltas of the compressed records: the bounds are symmetric.
constexpr int64_t kByteDelta = 127;
constexpr int64_t kWordDelta = 32767;

// The unit table of this writer (the GDSII writer's, without "USER").
double UnitMetres(std::string_view name) { return GdsUnitMetres(name); }

// One level: a file with its 8192-byte buffer.
struct Level {
  int fd = -1;
  std::vector<uint8_t> buffer;
  size_t used = 0;
  int64_t written = 0;
  std::string path;    // the file written
  std::string target;  // level 0: the file it replaces at a clean close
};

class GdsOutWriter {
 public:
  ~GdsOutWriter() { Abandon(); }

  bool open() const { return !levels_.empty(); }
  int Open(std::string_view file_name, double metres, double database_unit,
           std::string_view font_name, bool native_order);
  int BeginStructure(std::string_view name);
  int EndStructure();
  int Close();
  void Abandon();
  void SetFlags(int flags) { flags_ = flags; }
  void SetClock(GdsClock clock) { clock_ = std::move(clock); }
  int64_t Size() const {
    return open() ? levels_[0].written + static_cast<int64_t>(levels_[0].used) : -1;
  }
  int64_t Seek(int64_t offset, int origin);

  // Record layer.
  void Header(int type, int data_type, size_t data_length);
  void Bare(int type) { Header(type, kGdsTypeNone, 0); }
  void Put(const void* data, size_t length);
  void PutInt16(int32_t value);
  void PutInt32(int32_t value);
  void PutLittle32(int32_t value);
  void PutLittle16(int32_t value);
  void PutReal(double value);
  void Int16Record(int type, int32_t value, int data_type = kGdsTypeInt16);
  void Int32Record(int type, int32_t value);
  void RealRecord(int type, std::initializer_list<double> values);
  void TextRecord(int type, std::string_view text);
  void PointRecord(std::span<const GdsIntPoint> points);  // plain XY, points as given
  void Properties(int attribute, int32_t value, std::span<const int32_t> array);
  int XY(std::span<const GdsIntPoint> points, GdsIntPoint closing);

  // Conversions of doubles in user units (saturated to 32 bits).
  int32_t Coordinate(double value) const;
  int32_t Width(double value) const;
  std::span<GdsIntPoint> Converted(std::span<const GdsPoint> points, bool keep_breaks);

 private:
  Level* Current() { return &levels_.back(); }
  bool Flush(Level* level);
  bool PushLevel(const std::string& path, bool spool);
  void PopLevel();
  void AppendLevel(size_t source, size_t destination);
  void Timestamps(int type);
  void SetError(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
  }

  std::vector<Level> levels_;
  bool native_ = false;
  double database_unit_ = 1;
  std::vector<GdsIntPoint> scratch_;
  int flags_ = 0;
  int error_ = 0;
  GdsClock clock_;
};

GdsOutWriter& Writer() {
  static GdsOutWriter writer;
  return writer;
}

GdsByteOrder Order(bool native) {
  return native ? GdsByteOrder::kLittleEndian : GdsByteOrder::kBigEndian;
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Opens level 0 on a temporary beside the target, so that the target is replaced only by
// a complete file; a device is written in place.
int OpenTarget(const std::string& native, std::string* written) {
  struct stat status {};
  const bool exists = ::lstat(native.c_str(), &status) == 0;
  if (!exists || S_ISREG(status.st_mode)) {
    std::string temp = native + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) {
      ::fchmod(fd, exists ? (status.st_mode & 07777) : NewFileMode());
      *written = temp;
      return fd;
    }
  }
  *written = native;
  return ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool WriteAll(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

// ---- Levels ----

namespace {

int failing_allocations = 0;  // for tests: buffer allocations still to fail

bool AllocateBuffer(std::vector<uint8_t>* buffer) {
  if (failing_allocations > 0) {
    --failing_allocations;
    return false;
  }
  try {
    buffer->assign(kGdsOutBufferSize, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

void GdsOutFailBufferAllocationsForTesting(int count) { failing_allocations = count; }

bool GdsOutWriter::Flush(Level* level) {
  if (level->used > 0 && !WriteAll(level->fd, level->buffer.data(), level->used)) SetError(errno);
  // Dropped bytes still count, so that the offsets the writer reports stay those of the
  // stream it meant to write; the close fails anyway.
  level->written += static_cast<int64_t>(level->used);
  level->used = 0;
  return error_ == 0;
}

bool GdsOutWriter::PushLevel(const std::string& path, bool spool) {
  Level level;
  if (spool) {
    // A fresh temporary, emptied: nothing of an earlier file with the name survives.
    level.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    level.path = path;
  } else {
    level.target = NativePath(path);
    level.fd = OpenTarget(level.target, &level.path);
  }
  if (level.fd < 0) return false;
  if (!AllocateBuffer(&level.buffer)) {
    ShowMemoryStatus(kGdsOutNoMemoryText);
    ::close(level.fd);
    if (spool || level.path != level.target) ::unlink(level.path.c_str());
    return false;
  }
  levels_.push_back(std::move(level));
  return true;
}

void GdsOutWriter::PopLevel() {
  Level& level = levels_.back();
  ::close(level.fd);
  ::unlink(level.path.c_str());
  levels_.pop_back();
}

// Copies level `source` behind level `destination` and closes it.
void GdsOutWriter::AppendLevel(size_t source, size_t destination) {
  Level& from = levels_[source];
  Level& to = levels_[destination];
  Flush(&to);
  if (::lseek(from.fd, 0, SEEK_SET) != 0) SetError(errno);
  std::vector<uint8_t> block(kGdsOutBufferSize);
  for (int64_t left = from.written; left > 0 && error_ == 0;) {
    const ssize_t n = ::read(from.fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetError(n < 0 ? errno : EIO);
      break;
    }
    if (!WriteAll(to.fd, block.data(), static_cast<size_t>(n))) SetError(errno);
    to.written += n;
    left -= n;
  }
  // The bytes still waiting in the source's buffer go on in the destination's buffer.
  std::copy_n(from.buffer.begin(), from.used, to.buffer.begin());
  to.used = from.used;
  PopLevel();
}

void GdsOutWriter::Abandon() {
  while (levels_.size() > 1) PopLevel();
  if (!levels_.empty()) {
    ::close(levels_[0].fd);
    if (levels_[0].path != levels_[0].target) ::unlink(levels_[0].path.c_str());
    levels_.clear();
  }
  scratch_.clear();
}

int64_t GdsOutWriter::Seek(int64_t offset, int origin) {
  if (!open()) return -1;
  Level& level = levels_[0];
  Flush(&level);
  constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) return -1;
  const off_t position = ::lseek(level.fd, offset, kWhence[origin]);
  if (position < 0) return -1;
  level.written = position;
  return position;
}

// ---- Records ----

void GdsOutWriter::Put(const void* data, size_t length) {
  Level* level = Current();
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (length > 0) {
    const size_t part = std::min(length, level->buffer.size() - level->used);
    std::memcpy(level->buffer.data() + level->used, bytes, part);
    level->used += part;
    bytes += part;
    length -= part;
    if (level->used == level->buffer.size()) Flush(level);
  }
}

void GdsOutWriter::PutInt16(int32_t value) {
  uint8_t bytes[2];
  GdsPutInt16(value, bytes, Order(native_));
  Put(bytes, 2);
}

void GdsOutWriter::PutInt32(int32_t value) {
  uint8_t bytes[4];
  GdsPutInt32(value, bytes, Order(native_));
  Put(bytes, 4);
}

void GdsOutWriter::PutLittle16(int32_t value) {
  uint8_t bytes[2];
  GdsPutInt16(value, bytes, GdsByteOrder::kLittleEndian);
  Put(bytes, 2);
}

void GdsOutWriter::PutLittle32(int32_t value) {
  uint8_t bytes[4];
  GdsPutInt32(value, bytes, GdsByteOrder::kLittleEndian);
  Put(bytes, 4);
}

void GdsOutWriter::PutReal(double value) {
  uint8_t bytes[8];
  GdsReal8(value, bytes);
  Put(bytes, 8);
}

// The header as one 32-bit word: length, type and data type in the selected order.
void GdsOutWriter::Header(int type, int data_type, size_t data_length) {
  const auto length = static_cast<uint32_t>(kGdsRecordHeaderSize + GdsPaddedLength(data_length));
  const uint32_t word = (length << 16) | (static_cast<uint32_t>(type & 0xFF) << 8) |
                        static_cast<uint32_t>(data_type & 0xFF);
  PutInt32(static_cast<int32_t>(word));
}

void GdsOutWriter::Int16Record(int type, int32_t value, int data_type) {
  Header(type, data_type, 2);
  PutInt16(value);
}

void GdsOutWriter::Int32Record(int type, int32_t value) {
  Header(type, kGdsTypeInt32, 4);
  PutInt32(value);
}

void GdsOutWriter::RealRecord(int type, std::initializer_list<double> values) {
  Header(type, kGdsTypeReal8, 8 * values.size());
  for (const double value : values) PutReal(value);
}

void GdsOutWriter::TextRecord(int type, std::string_view text) {
  text = text.substr(0, kGdsMaxRecordData - 1);
  Header(type, kGdsTypeAscii, text.size());
  Put(text.data(), text.size());
  if (text.size() % 2 != 0) Put("", 1);
}

void GdsOutWriter::PointRecord(std::span<const GdsIntPoint> points) {
  Header(kGdsXy, kGdsTypeInt32, 8 * points.size());
  for (const GdsIntPoint& p : points) {
    PutInt32(p.x);
    PutInt32(p.y);
  }
}

void GdsOutWriter::Properties(int attribute, int32_t value, std::span<const int32_t> array) {
  if (attribute == 0) return;
  Int16Record(kGdsPropAttr, attribute);
  // PROPVALUE keeps data type 6 although it carries 4-byte integers.
  constexpr size_t kMostValues = kGdsMaxRecordData / 4;
  if (array.size() > kMostValues) array = array.first(kMostValues);
  const size_t count = array.empty() ? 1 : array.size();
  Header(kGdsPropValue, kGdsTypeAscii, 4 * count);
  if (array.empty()) {
    PutInt32(value);
  } else {
    for (const int32_t v : array) PutInt32(v);
  }
}

void GdsOutWriter::Timestamps(int type) {
  std::array<uint8_t, 24> stamp{};
  GdsTimestamp(clock_ ? clock_() : GdsLocalTime(), stamp, Order(native_));
  Header(type, kGdsTypeInt16, stamp.size());
  Put(stamp.data(), stamp.size());
}

// The deltas run p1 - p0 .. p(n-2) - p(n-3) and then closing - p(n-2); they are taken in
// 64 bits, since a break marker's coordinates are at the ends of the 32-bit range.
int GdsOutWriter::XY(std::span<const GdsIntPoint> points, GdsIntPoint closing) {
  const size_t n = points.size();
  if (n == 0) return kGdsOutLimited;
  const auto point = [&](size_t i) { return i + 1 < n ? points[i] : closing; };
  int64_t largest = 0;
  for (size_t i = 1; i < n; ++i) {
    const GdsIntPoint a = point(i - 1);
    const GdsIntPoint b = point(i);
    largest = std::max<int64_t>(
        {largest, std::llabs(int64_t{b.x} - a.x), std::llabs(int64_t{b.y} - a.y)});
  }
  const size_t data_bytes = largest <= kByteDelta   ? 8 + 2 * (n - 1)
                            : largest <= kWordDelta ? 8 + 4 * (n - 1)
                                                    : 8 * n;
  if (data_bytes > kGdsMaxRecordData) return kGdsOutLimited;
  if (largest > kWordDelta) {
    Header(kGdsXy, kGdsTypeInt32, data_bytes);
    for (size_t i = 0; i < n; ++i) {
      PutInt32(point(i).x);
      PutInt32(point(i).y);
    }
    return kGdsOutOk;
  }
  const bool bytes = largest <= kByteDelta;
  Header(bytes ? kGdsOutCompressedBytes : kGdsOutCompressedWords, kGdsOutCompressedDataType,
         data_bytes);
  // The compressed records are in machine order whatever the byte-order switch.
  PutLittle32(points[0].x);
  PutLittle32(points[0].y);
  for (size_t i = 1; i < n; ++i) {
    const auto dx = static_cast<int32_t>(int64_t{point(i).x} - point(i - 1).x);
    const auto dy = static_cast<int32_t>(int64_t{point(i).y} - point(i - 1).y);
    if (bytes) {
      const uint8_t pair[2] = {static_cast<uint8_t>(dx), static_cast<uint8_t>(dy)};
      Put(pair, 2);
    } else {
      PutLittle16(dx);
      PutLittle16(dy);
    }
  }
  return kGdsOutOk;
}

int32_t GdsOutWriter::Coordinate(double value) const {
  const double scaled = value / database_unit_;
  const double rounded = std::trunc(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
  if (!(rounded > INT32_MIN)) return INT32_MIN;
  return rounded < INT32_MAX ? static_cast<int32_t>(rounded) : INT32_MAX;
}

int32_t GdsOutWriter::Width(double value) const {
  const double rounded = std::trunc(value / database_unit_ + 0.5);
  if (!(rounded > INT32_MIN)) return INT32_MIN;
  return rounded < INT32_MAX ? static_cast<int32_t>(rounded) : INT32_MAX;
}

// Converts at most the writer's point limit into the scratch block; a break marker stays
// the marker.
std::span<GdsIntPoint> GdsOutWriter::Converted(std::span<const GdsPoint> points, bool keep_breaks) {
  const size_t n = std::min<size_t>(points.size(), kGdsOutMaxPoints);
  scratch_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const GdsPoint& p = points[i];
    const bool marker = keep_breaks && p.x == double{kGdsOutBreakX} && p.y == double{kGdsOutBreakY};
    scratch_[i] = marker ? GdsIntPoint{kGdsOutBreakX, kGdsOutBreakY}
                         : GdsIntPoint{Coordinate(p.x), Coordinate(p.y)};
  }
  return scratch_;
}

// ---- File and structures ----

int GdsOutWriter::Open(std::string_view file_name, double metres, double database_unit,
                       std::string_view font_name, bool native_order) {
  Abandon();
  error_ = 0;
  native_ = native_order;
  database_unit_ = database_unit;
  if (!PushLevel(std::string(file_name), false)) return kGdsOutFailed;
  scratch_.reserve(kGdsOutMaxPoints);
  Int16Record(kGdsHeader, 3);
  Timestamps(kGdsBgnLib);
  const std::string native = NativePath(file_name);
  std::string name = native.substr(native.find_last_of("\\/:") + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  TextRecord(kGdsLibName, name);
  if (!font_name.empty()) {
    std::array<char, kFontField> fonts{};
    std::copy_n(font_name.begin(), std::min(font_name.size(), kFontSlot), fonts.begin());
    Header(kGdsFonts, kGdsTypeAscii, fonts.size());
    Put(fonts.data(), fonts.size());
  }
  const double metres_per_database_unit = database_unit * metres;
  RealRecord(kGdsUnits, {database_unit, metres_per_database_unit});
  return metres_per_database_unit == 0 ? kGdsOutFailed : kGdsOutOk;
}

int GdsOutWriter::BeginStructure(std::string_view name) {
  if (!open()) return kGdsOutFailed;
  if ((flags_ & kGdsOutNoSpooling) == 0) {
    if (levels_.size() >= kGdsOutLevels) return kGdsOutFailed;
    const std::string path = MakeTempFileName();
    if (path.empty() || !PushLevel(path, true)) return kGdsOutFailed;
  }
  Timestamps(kGdsBgnStr);
  TextRecord(kGdsStrName, name.substr(0, kMaxStructureName));
  return name.size() > kMaxStructureName ? kGdsOutLimited : kGdsOutOk;
}

int GdsOutWriter::EndStructure() {
  if (!open()) return kGdsOutFailed;
  Bare(kGdsEndStr);
  if ((flags_ & kGdsOutNoSpooling) != 0) return kGdsOutOk;
  // A nested structure's records follow the finished structures, not its parent's.
  const size_t target = (flags_ & kGdsOutTopSpooled) != 0 ? 1 : 0;
  const size_t current = levels_.size() - 1;
  if (current > target) AppendLevel(current, target);
  return kGdsOutOk;
}

int GdsOutWriter::Close() {
  if (!open()) return kGdsOutFailed;
  // Whatever is still spooled belongs to the library: nothing written is dropped.
  while (levels_.size() > 1) AppendLevel(levels_.size() - 1, 0);
  Bare(kGdsEndLib);
  const int64_t size = Size();
  std::vector<uint8_t> zeros(2048 - static_cast<size_t>(size % 2048), 0);
  Put(zeros.data(), zeros.size());
  Level& level = levels_[0];
  Flush(&level);
  if (::close(level.fd) != 0) SetError(errno);
  if (level.path != level.target) {
    if (error_ == 0 && std::rename(level.path.c_str(), level.target.c_str()) != 0) SetError(errno);
    if (error_ != 0) ::unlink(level.path.c_str());
  }
  levels_.clear();
  scratch_.clear();
  return error_ == 0 ? kGdsOutOk : kGdsOutFailed;
}

// ---- The process-wide writer's operations ----

int GdsOutBegin(std::string_view file_name, std::string_view unit_name, double database_unit,
                std::string_view font_name, bool native_order) {
  double metres = UnitMetres(unit_name);
  if (metres == 0) {
    const char* end = unit_name.data() + unit_name.size();
    const auto [stop, error] = std::from_chars(unit_name.data(), end, metres);
    if (error != std::errc() || stop != end || !std::isfinite(metres)) metres = 0;
    if (metres == 0) metres = UnitMetres("MIL");
  }
  return GdsOutOpen(file_name, metres, database_unit, font_name, native_order);
}

int GdsOutOpen(std::string_view file_name, double metres_per_user_unit, double database_unit,
               std::string_view font_name, bool native_order) {
  return Writer().Open(file_name, metres_per_user_unit, database_unit, font_name, native_order);
}

int GdsOutBeginStructure(std::string_view name) { return Writer().BeginStructure(name); }
int GdsOutEndStructure() { return Writer().EndStructure(); }
int GdsOutClose() { return Writer().Close(); }
void GdsOutSetFlags(int flags) { Writer().SetFlags(flags); }
void GdsOutSetClock(GdsClock clock) { Writer().SetClock(std::move(clock)); }
int64_t GdsOutSeek(int64_t offset, int origin) { return Writer().Seek(offset, origin); }
int64_t GetGdsOutSize() { return Writer().Size(); }

int GdsOutXY(std::span<const GdsIntPoint> points, GdsIntPoint closing) {
  if (!Writer().open()) return kGdsOutFailed;
  return Writer().XY(points, closing);
}

int GdsOutBoundary(std::span<const GdsIntPoint> points, int layer, int datatype, int attribute,
                   int32_t value, std::span<const int32_t> property_array) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  if (points.size() < 4) return kGdsOutLimited;
  const bool capped = points.size() > kGdsOutMaxPoints;
  points = points.first(std::min<size_t>(points.size(), kGdsOutMaxPoints));
  w.Bare(kGdsBoundary);
  w.Int16Record(kGdsLayer, layer);
  w.Int16Record(kGdsDataType, datatype);
  GdsIntPoint closing = points[0];
  if ((attribute & kGdsOutCloseWithLast) != 0) {
    closing = points.back();
  } else {
    // The start of the last polygon: the point after the last break marker.
    for (size_t i = points.size() - 1; i-- > 0;) {
      if (points[i].x == kGdsOutBreakX && points[i].y == kGdsOutBreakY) {
        closing = points[i + 1];
        break;
      }
    }
  }
  w.XY(points, closing);
  w.Properties(attribute & ~kGdsOutCloseWithLast, value, property_array);
  w.Bare(kGdsEndEl);
  return capped ? kGdsOutLimited : kGdsOutOk;
}

int GdsOutBoundaryD(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                    int32_t value) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  if (points.size() < 4) return kGdsOutLimited;
  const int result = GdsOutBoundary(w.Converted(points, true), layer, datatype, attribute, value);
  return points.size() > kGdsOutMaxPoints ? kGdsOutLimited : result;
}

int GdsOutPath(std::span<const GdsIntPoint> points, int layer, int datatype, int32_t width,
               int pathtype, int attribute, int32_t value,
               std::span<const int32_t> property_array) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  if (points.size() < 2) return kGdsOutLimited;
  const bool capped = points.size() > kGdsOutMaxPoints;
  points = points.first(std::min<size_t>(points.size(), kGdsOutMaxPoints));
  w.Bare(kGdsPath);
  w.Int16Record(kGdsLayer, layer);
  w.Int16Record(kGdsDataType, datatype);
  w.Int16Record(kGdsPathType, pathtype);
  w.Int32Record(kGdsWidth, width);
  w.XY(points, points.back());
  w.Properties(attribute, value, property_array);
  w.Bare(kGdsEndEl);
  return capped ? kGdsOutLimited : kGdsOutOk;
}

int GdsOutPathD(std::span<const GdsPoint> points, int layer, int datatype, double width,
                int pathtype, int attribute, int32_t value) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  if (points.size() < 2) return kGdsOutLimited;
  const int result = GdsOutPath(w.Converted(points, false), layer, datatype, w.Width(width),
                                pathtype, attribute, value);
  return points.size() > kGdsOutMaxPoints ? kGdsOutLimited : result;
}

bool GdsOutRealFits(double value) { return GdsReal8Holds(value); }

int GdsOutNamedProperty(std::string_view name, int value_kind, const GdsPropertyValue& value) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  const bool text = std::holds_alternative<std::string_view>(value);
  const bool integer = std::holds_alternative<int32_t>(value);
  const bool fits = value_kind == kGdsSettingText                                      ? text
                    : value_kind == kGdsSettingInt16 || value_kind == kGdsSettingInt32 ? integer
                                                                                       : !text;
  // A 16-bit property holds only what 16 bits hold: a larger value is refused, not cut.
  if (!fits || (value_kind == kGdsSettingInt16 &&
                (std::get<int32_t>(value) < INT16_MIN || std::get<int32_t>(value) > INT16_MAX))) {
    return kGdsOutLimited;
  }
  w.Bare(kGdsExtNamedSetting);
  w.Int16Record(kGdsPropAttr, value_kind);
  w.TextRecord(kGdsString, name);
  if (value_kind == kGdsSettingText) {
    w.TextRecord(kGdsUstring, std::get<std::string_view>(value));
  } else if (value_kind == kGdsSettingInt16) {
    w.Int16Record(kGdsUinteger, std::get<int32_t>(value));
  } else if (value_kind == kGdsSettingInt32) {
    w.Header(kGdsExtSettingInt32, kGdsTypeInt32, 4);
    w.PutInt32(std::get<int32_t>(value));
  } else {
    const double real = integer ? std::get<int32_t>(value) : std::get<double>(value);
    w.RealRecord(kGdsMag, {std::fabs(real) < 1e-20 ? 0.0 : real});
  }
  w.Bare(kGdsExtNamedSetting);
  return kGdsOutOk;
}

int GdsOutCircleProp(GdsIntPoint centre, double radius, int datatype, int layer, int pathtype,
                     int32_t width, int attribute, int32_t value,
                     std::span<const int32_t> property_array) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsExtCircle);
  w.Int16Record(kGdsLayer, layer);
  w.Int16Record(kGdsDataType, datatype);
  w.Int16Record(kGdsPathType, pathtype);
  w.Int32Record(kGdsWidth, width);
  w.RealRecord(kGdsMag, {std::fabs(radius)});
  const GdsIntPoint point[] = {centre};
  w.PointRecord(point);
  w.Properties(attribute, value, property_array);
  w.Bare(kGdsEndEl);
  return kGdsOutOk;
}

int GdsOutCircle(GdsIntPoint centre, double radius, int datatype, int layer, int pathtype,
                 int32_t width) {
  return GdsOutCircleProp(centre, radius, datatype, layer, pathtype, width, 0, 0);
}

int GdsOutCircleD(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                  double width) {
  GdsOutWriter& w = Writer();
  return GdsOutCircle({w.Coordinate(centre.x), w.Coordinate(centre.y)}, radius, datatype, layer,
                      pathtype, w.Width(width));
}

int GdsOutArc(GdsIntPoint centre, const std::array<GdsIntPoint, 2>& points, double radius,
              const std::array<double, 3>& angles, int layer, int pathtype, int32_t width) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsExtArc);
  w.Int16Record(kGdsLayer, layer);
  w.Int16Record(kGdsPathType, pathtype);
  w.Int32Record(kGdsWidth, width);
  w.RealRecord(kGdsAngle, {GdsReduceAngleKeep360(angles[0])});
  w.RealRecord(kGdsAngle, {GdsReduceAngleKeep360(angles[1])});
  w.RealRecord(kGdsAngle, {angles[2]});
  w.RealRecord(kGdsMag, {std::fabs(radius)});
  w.PointRecord(points);
  const GdsIntPoint one[] = {centre};
  w.PointRecord(one);
  w.Bare(kGdsEndEl);
  return kGdsOutOk;
}

int GdsOutArcD(GdsPoint centre, const std::array<GdsPoint, 2>& points, double radius,
               const std::array<double, 3>& angles, int layer, int pathtype, double width) {
  GdsOutWriter& w = Writer();
  const auto convert = [&w](GdsPoint p) {
    return GdsIntPoint{w.Coordinate(p.x), w.Coordinate(p.y)};
  };
  return GdsOutArc(convert(centre), {convert(points[0]), convert(points[1])}, radius, angles, layer,
                   pathtype, w.Width(width));
}

int GdsOutBeginGroup(int layer, int datatype, int pathtype, int32_t width, GdsIntPoint point,
                     int attribute, int32_t value) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsExtGroup);
  w.Int16Record(kGdsLayer, layer);
  w.Int16Record(kGdsDataType, datatype);
  w.Int16Record(kGdsPathType, pathtype);
  w.Int32Record(kGdsWidth, width);
  const GdsIntPoint one[] = {point};
  w.PointRecord(one);
  w.Properties(attribute, value, {});
  return kGdsOutOk;
}

int GdsOutBeginGroupD(int layer, int datatype, int pathtype, double width, GdsPoint point,
                      int attribute, double value) {
  GdsOutWriter& w = Writer();
  const double truncated = std::trunc(value);
  const int32_t integer = truncated >= INT32_MAX   ? INT32_MAX
                          : truncated <= INT32_MIN ? INT32_MIN
                                                   : static_cast<int32_t>(truncated);
  return GdsOutBeginGroup(layer, datatype, pathtype, w.Width(width),
                          {w.Coordinate(point.x), w.Coordinate(point.y)}, attribute, integer);
}

int GdsOutEndGroup() {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsExtGroup);
  return kGdsOutOk;
}

namespace {

// SNAME (cut to 32 characters) and STRANS of a reference; true when the name was cut.
bool ReferenceHead(GdsOutWriter& w, int opener, std::string_view name, bool reflect) {
  w.Bare(opener);
  w.TextRecord(kGdsSname, name.substr(0, kMaxStructureName));
  w.Int16Record(kGdsStrans, reflect ? 0x8000 : 0, kGdsTypeBitArray);
  return name.size() > kMaxStructureName;
}

void ReferenceAngle(GdsOutWriter& w, double angle) {
  if (std::fabs(angle) >= 0.01) w.RealRecord(kGdsAngle, {GdsReduceAngle(angle)});
}

}  // namespace

int GdsOutSref(std::string_view name, int32_t x, int32_t y, double magnification, double angle,
               bool reflect, int attribute, int32_t value) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  bool limited = ReferenceHead(w, kGdsSref, name, reflect);
  if (magnification < 1e-20) {
    magnification = 1.0;
    limited = true;
  }
  if (std::fabs(magnification - 1) >= 0.001) w.RealRecord(kGdsMag, {magnification});
  ReferenceAngle(w, angle);
  const GdsIntPoint one[] = {{x, y}};
  w.PointRecord(one);
  w.Properties(attribute, value, {});
  w.Bare(kGdsEndEl);
  return limited ? kGdsOutLimited : kGdsOutOk;
}

int GdsOutSrefD(std::string_view name, double x, double y, double magnification, double angle,
                bool reflect, int attribute, int32_t value) {
  GdsOutWriter& w = Writer();
  return GdsOutSref(name, w.Coordinate(x), w.Coordinate(y), magnification, angle, reflect,
                    attribute, value);
}

int GdsOutSrefMirrored(std::string_view name, int32_t x, int32_t y, double first_magnification,
                       double second_magnification, double angle, bool mirror_x, bool mirror_y,
                       int attribute, int32_t value) {
  const bool reflect = mirror_x != mirror_y;
  if (mirror_y) angle += 180;
  return GdsOutSref(name, x, y, std::max(first_magnification, second_magnification), angle, reflect,
                    attribute, value);
}

int GdsOutSrefMirroredD(std::string_view name, double x, double y, double first_magnification,
                        double second_magnification, double angle, bool mirror_x, bool mirror_y,
                        int attribute, int32_t value) {
  GdsOutWriter& w = Writer();
  return GdsOutSrefMirrored(name, w.Coordinate(x), w.Coordinate(y), first_magnification,
                            second_magnification, angle, mirror_x, mirror_y, attribute, value);
}

int GdsOutAref(std::string_view name, const std::array<GdsIntPoint, 3>& points, int columns,
               int rows, double magnification, double angle, bool reflect, int attribute,
               int32_t value) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  const bool limited = ReferenceHead(w, kGdsAref, name, reflect);
  if (std::fabs(magnification - 1) >= 0.001) w.RealRecord(kGdsMag, {magnification});
  ReferenceAngle(w, angle);
  w.Header(kGdsColRow, kGdsTypeInt16, 4);
  w.PutInt16(columns);
  w.PutInt16(rows);
  w.XY(points, points[2]);
  w.Properties(attribute, value, {});
  w.Bare(kGdsEndEl);
  return limited ? kGdsOutLimited : kGdsOutOk;
}

int GdsOutApertureRecord(int code, std::string_view name, int first_word, int second_word,
                         double first_real, double second_real, double third_real, int third_word,
                         double fourth_real) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsExtAperture);
  w.Int16Record(kGdsUinteger, code);
  w.TextRecord(kGdsUstring, name);
  w.Int16Record(kGdsElFlags, first_word, kGdsTypeBitArray);
  w.Int16Record(kGdsPathType, second_word);
  w.Int16Record(kGdsDataType, third_word);
  w.RealRecord(kGdsMag, {first_real, second_real, third_real, fourth_real});
  w.Bare(kGdsEndEl);
  return kGdsOutOk;
}

int GdsOutKind134Begin(int number) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsOutKind134);
  w.Int16Record(kGdsUinteger, number);
  return kGdsOutOk;
}

int GdsOutKind134End(double angle, int32_t width, GdsIntPoint point) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.RealRecord(kGdsAngle, {GdsReduceAngleKeep360(angle)});
  w.Int32Record(kGdsWidth, width);
  const GdsIntPoint one[] = {point};
  w.PointRecord(one);
  w.Bare(kGdsEndEl);
  return kGdsOutOk;
}

int GdsOutKind142(std::span<const int32_t> values) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  constexpr size_t kMostValues = kGdsMaxRecordData / 4;
  const bool limited = values.size() > kMostValues;
  if (limited) values = values.first(kMostValues);
  w.Bare(kGdsOutKind142);
  w.Header(kGdsExtSettingInt32, kGdsTypeInt32, 4 * values.size());
  for (const int32_t v : values) w.PutInt32(v);
  return limited ? kGdsOutLimited : kGdsOutOk;
}

int GdsOutKind143() {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsOutKind143);
  return kGdsOutOk;
}

int GdsOutKind144(int layer, int pathtype, int number, std::string_view text) {
  GdsOutWriter& w = Writer();
  if (!w.open()) return kGdsOutFailed;
  w.Bare(kGdsExtKind144);
  w.Int16Record(kGdsLayer, layer);
  w.Int16Record(kGdsPathType, pathtype);
  w.Int16Record(kGdsUinteger, number);
  w.TextRecord(kGdsUstring, text);
  w.Bare(kGdsEndEl);
  return kGdsOutOk;
}

}  // namespace kavrinth
