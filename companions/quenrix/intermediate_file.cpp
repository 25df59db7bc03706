// Writing one Intermediate PG file through temporaries.
#include "companions/quenrix/intermediate_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kavrinth {
namespace {

// Buffered bytes are written out when they reach this size.
constexpr size_t kFlushSize = size_t{1} << 16;

constexpr size_t kQuadrilateralCountOffset = 10;
constexpr size_t kSectorCountOffset = 18;

// The lead and trailing bytes of the two record kinds: the lead byte's low bits give the
// bytes skipped after it.
constexpr uint8_t kQuadrilateralLead[] = {0x92, 0x00, 0x00};
constexpr uint8_t kQuadrilateralTrail[] = {0x9C};
constexpr uint8_t kSectorLead[] = {0x02, 0x01, 0x00};
constexpr uint8_t kSectorTrail[] = {0x01, 0x0D};

void PutBytes(std::vector<uint8_t>& out, const uint8_t* bytes, size_t count) {
  out.insert(out.end(), bytes, bytes + count);
}

void PutFloat(std::vector<uint8_t>& out, double value) {
  uint32_t bits = std::bit_cast<uint32_t>(static_cast<float>(value));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}


bool WriteAll(int fd, const uint8_t* data, size_t count) {
  while (count > 0) {
    ssize_t written = ::write(fd, data, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

bool PutCount(int fd, uint64_t count, size_t offset) {
  auto value = static_cast<uint32_t>(count);
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return ::pwrite(fd, bytes, sizeof bytes, static_cast<off_t>(offset)) == sizeof bytes;
}

}  // namespace

std::string CreateTemporaryBeside(const std::string& final_name) {
  std::string base = final_name + "." + std::to_string(::getpid()) + ".";
  for (int n = 0; n < 1000; ++n) {
    std::string name = base + std::to_string(n) + ".tmp";
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) return {};
  }
  errno = EEXIST;
  return {};
}

IntermediateFile::IntermediateFile(std::string final_name, double units_per_database_unit)
    : final_name_(std::move(final_name)), units_per_database_unit_(units_per_database_unit) {}

IntermediateFile::~IntermediateFile() {
  if (!committed_) Discard();
}

bool IntermediateFile::Fail(const std::string& what, int error_number) {
  if (error_.empty()) {
    error_ = "'" + final_name_ + "': " + what;
    if (error_number != 0) error_ += ": " + std::string(std::strerror(error_number));
  }
  return false;
}

bool IntermediateFile::Create() {
  temp_name_ = CreateTemporaryBeside(final_name_);
  if (temp_name_.empty()) return Fail("cannot create a temporary file", errno);
  std::vector<uint8_t> header(kIntermediateHeaderSize, 0);
  header[0] = 0xFD;
  header[1] = 'P';
  header[kIntermediateHeaderSize - 1] = 'T';
  return Append(temp_name_, header);
}

void IntermediateFile::AddQuadrilateral(const std::array<int32_t, 8>& corners, bool triangle) {
  if (failed()) return;
  PutBytes(quad_buffer_, kQuadrilateralLead, sizeof kQuadrilateralLead);
  PutFloat(quad_buffer_, triangle ? 3.0 : 4.0);
  for (int32_t c : corners) PutFloat(quad_buffer_, c * units_per_database_unit_);
  PutBytes(quad_buffer_, kQuadrilateralTrail, sizeof kQuadrilateralTrail);
  ++quadrilaterals_;
  if (quad_buffer_.size() >= kFlushSize) Append(temp_name_, quad_buffer_);
}

void IntermediateFile::AddSector(const SectorShape& s) {
  if (failed()) return;
  if (sector_name_.empty()) {
    sector_name_ = CreateTemporaryBeside(final_name_);
    if (sector_name_.empty()) {
      Fail("cannot create a temporary file", errno);
      return;
    }
  }
  PutBytes(sector_buffer_, kSectorLead, sizeof kSectorLead);
  const double floats[16] = {0,
                             0,
                             0,
                             0,
                             s.inner_radius * units_per_database_unit_,
                             s.sweep_degrees,
                             s.centre_x * units_per_database_unit_,
                             s.centre_y * units_per_database_unit_,
                             s.outer_x * units_per_database_unit_,
                             s.outer_y * units_per_database_unit_};
  for (double f : floats) PutFloat(sector_buffer_, f);
  PutBytes(sector_buffer_, kSectorTrail, sizeof kSectorTrail);
  ++sectors_;
  if (sector_buffer_.size() >= kFlushSize) Append(sector_name_, sector_buffer_);
}

// Appends the buffer to the file, opened for this write only so that any number of
// layers can be written at once without holding a descriptor each.
bool IntermediateFile::Append(const std::string& path, std::vector<uint8_t>& buffer) {
  if (failed()) return false;
  if (buffer.empty()) return true;
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return Fail("cannot open the temporary file", errno);
  bool written = WriteAll(fd, buffer.data(), buffer.size());
  int write_error = errno;
  if (::close(fd) != 0 && written) return Fail("cannot write", errno);
  if (!written) return Fail("cannot write", write_error);
  buffer.clear();
  return true;
}

bool IntermediateFile::Finish() {
  constexpr uint64_t kMaxCount = std::numeric_limits<uint32_t>::max();
  if (quadrilaterals_ > kMaxCount || sectors_ > kMaxCount) {
    return Fail("more records than the format can count", 0);
  }
  if (!Append(temp_name_, quad_buffer_)) return false;
  if (!sector_name_.empty() && !Append(sector_name_, sector_buffer_)) return false;
  // Not O_APPEND: Linux would append the counts' pwrite too.
  int fd = ::open(temp_name_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return Fail("cannot open the temporary file", errno);
  bool done = ::lseek(fd, 0, SEEK_END) >= 0 ? AppendSectors(fd) && WriteCounts(fd)
                                            : Fail("cannot seek in the temporary file", errno);
  if (::close(fd) != 0 && done) return Fail("cannot write", errno);
  return done;
}

bool IntermediateFile::AppendSectors(int fd) {
  if (sector_name_.empty()) return true;
  int in = ::open(sector_name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail("cannot read the temporary file", errno);
  std::vector<uint8_t> chunk(kFlushSize);
  bool done = true;
  for (;;) {
    ssize_t got = ::read(in, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) done = Fail("cannot read the temporary file", errno);
    if (got <= 0) break;
    if (!WriteAll(fd, chunk.data(), static_cast<size_t>(got))) {
      done = Fail("cannot write", errno);
      break;
    }
  }
  ::close(in);
  return done;
}

bool IntermediateFile::WriteCounts(int fd) {
  if (!PutCount(fd, quadrilaterals_, kQuadrilateralCountOffset) ||
      !PutCount(fd, sectors_, kSectorCountOffset)) {
    return Fail("cannot write the record counts", errno);
  }
  return true;
}

bool IntermediateFile::Commit() {
  if (failed()) return false;
  if (std::rename(temp_name_.c_str(), final_name_.c_str()) != 0) {
    return Fail("cannot rename the temporary file", errno);
  }
  committed_ = true;
  if (!sector_name_.empty()) ::unlink(sector_name_.c_str());
  return true;
}

void IntermediateFile::Discard() {
  if (!temp_name_.empty() && !committed_) ::unlink(temp_name_.c_str());
  if (!sector_name_.empty()) ::unlink(sector_name_.c_str());
}

}  // namespace kavrinth
