// Buffered, checked output for the GDSII writer.
#include "gdsii/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/files.h"

namespace kavrinth {

namespace {

constexpr size_t kBufferSize = 128 * 1024;

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

GdsOutputFile::~GdsOutputFile() { Abandon(); }

void GdsOutputFile::Abandon() {
  // Left before Close: the unfinished data never replaces anything.
  if (fd_ >= 0) ::close(fd_);
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  if (remove_at_close_) ::unlink(path_.c_str());
  fd_ = -1;
  temp_path_.clear();
  remove_at_close_ = false;
  used_ = 0;
  written_ = 0;
  error_ = 0;
  writeback_step_ = 0;
  writeback_start_ = 0;
}

bool GdsOutputFile::OpenFd(int fd, std::string_view path) {
  if (fd < 0) {
    SetError(errno);
    return false;
  }
  fd_ = fd;
  path_ = std::string(path);
  buffer_.assign(kBufferSize, 0);
  return true;
}

bool GdsOutputFile::OpenReplacing(std::string_view path) {
  Abandon();
  std::string native = NativePath(path);
  struct stat status {};
  bool exists = ::lstat(native.c_str(), &status) == 0;
  if (exists && S_ISLNK(status.st_mode)) {
    // Replace the file the link leads to, beside it, so that the link survives and the
    // file is never half written; a dangling link is written through.
    if (char* target = ::realpath(native.c_str(), nullptr)) {
      native = target;
      std::free(target);
      exists = ::stat(native.c_str(), &status) == 0;
    }
  }
  if (!exists || S_ISREG(status.st_mode)) {
    std::string temp = native + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) {
      ::fchmod(fd, exists ? (status.st_mode & 07777) : NewFileMode());
      temp_path_ = temp;
      return OpenFd(fd, native);
    }
    if (exists) {
      // Truncating the file in place would lose it if a write then failed: refuse.
      SetError(errno);
      return false;
    }
  }
  // A device, or a new file where no temporary can be made: write in place.
  return OpenFd(::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666), native);
}

bool GdsOutputFile::OpenSpool(const std::string& path) {
  Abandon();
  remove_at_close_ = true;
  if (OpenFd(::open(path.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC), path)) return true;
  remove_at_close_ = false;
  return false;
}

bool GdsOutputFile::OpenNull() {
  Abandon();
  return OpenFd(::open(std::string(kNullDevicePath).c_str(), O_WRONLY | O_CLOEXEC),
                kNullDevicePath);
}

void GdsOutputFile::SetError(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

void GdsOutputFile::Flush() {
  size_t done = 0;
  while (done < used_ && error_ == 0) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetError(n < 0 ? errno : ENOSPC);
      break;
    }
    done += static_cast<size_t>(n);
  }
  // After an error the data is dropped but still counted, so the length the writer
  // sees stays that of the stream it meant to write.
  written_ += used_;
  used_ = 0;
  StartDueWriteback();
}

void GdsOutputFile::StartDueWriteback() {
  if (writeback_step_ > 0 && error_ == 0 && written_ - writeback_start_ >= writeback_step_) {
    // Only a request to start: its failure leaves nothing wrong with the file.
    const uint64_t end = written_ - written_ % writeback_step_;
    ::sync_file_range(fd_, static_cast<off_t>(writeback_start_),
                      static_cast<off_t>(end - writeback_start_), SYNC_FILE_RANGE_WRITE);
    writeback_start_ = end;
  }
}

void GdsOutputFile::StartWritebackEvery(uint64_t bytes) {
  writeback_step_ = bytes;
  writeback_start_ = written_ - written_ % std::max<uint64_t>(bytes, 1);
}

void GdsOutputFile::WriteThrough(const void* data, size_t length) {
  if (fd_ < 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (length > 0) {
    const size_t part = std::min(length, buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes, part);
    used_ += part;
    bytes += part;
    length -= part;
    if (used_ == buffer_.size()) Flush();
  }
}

void GdsOutputFile::WriteBlocks(std::span<const std::span<const uint8_t>> blocks) {
  if (fd_ < 0) return;
  size_t total = 0;
  for (std::span<const uint8_t> block : blocks) total += block.size();
  if (total <= buffer_.size() - used_) {
    for (std::span<const uint8_t> block : blocks) {
      if (!block.empty()) Write(block.data(), block.size());
    }
    return;
  }
  // The buffered bytes and the blocks go out together, without a copy into the buffer.
  std::vector<iovec> parts;
  parts.reserve(blocks.size() + 1);
  if (used_ > 0) parts.push_back({buffer_.data(), used_});
  for (std::span<const uint8_t> block : blocks) {
    if (!block.empty()) parts.push_back({const_cast<uint8_t*>(block.data()), block.size()});
  }
  size_t first = 0;
  while (first < parts.size() && error_ == 0) {
    const int count = static_cast<int>(std::min<size_t>(parts.size() - first, IOV_MAX));
    const ssize_t n = ::writev(fd_, parts.data() + first, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetError(n < 0 ? errno : ENOSPC);
      break;
    }
    // Past what was written; a part written in part keeps its rest.
    for (auto left = static_cast<size_t>(n); left > 0;) {
      iovec& part = parts[first];
      const size_t step = std::min(left, part.iov_len);
      part.iov_base = static_cast<uint8_t*>(part.iov_base) + step;
      part.iov_len -= step;
      left -= step;
      if (part.iov_len == 0) ++first;
    }
  }
  // Counted after an error too, as in Flush.
  written_ += used_ + total;
  used_ = 0;
  StartDueWriteback();
}

void GdsOutputFile::WriteZeros(size_t length) {
  static constexpr uint8_t kZeros[512] = {};
  while (length > 0) {
    const size_t part = std::min(length, sizeof kZeros);
    Write(kZeros, part);
    length -= part;
  }
}

void GdsOutputFile::CopyTo(GdsOutputFile& target) {
  if (fd_ < 0) return;
  Flush();
  // The kernel copies between the two files without the bytes coming up here; where it
  // cannot (a device, or another kind of file system on an older kernel) the rest goes
  // through the buffer.
  off_t from = 0;
  if (target.fd_ >= 0 && target.error_ == 0) {
    target.Flush();
    for (;;) {
      const ssize_t n = ::copy_file_range(fd_, &from, target.fd_, nullptr, size_t{1} << 30, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      target.written_ += static_cast<uint64_t>(n);
    }
  }
  if (::lseek(fd_, from, SEEK_SET) != from) return SetError(errno);
  // The emptied buffer serves as the read block.
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SetError(errno);
    if (n == 0) break;
    target.Write(buffer_.data(), static_cast<size_t>(n));
  }
  if (::lseek(fd_, 0, SEEK_END) < 0) SetError(errno);
}

int GdsOutputFile::Close() {
  if (fd_ < 0) return error_;
  Flush();
  if (::close(fd_) != 0) SetError(errno);
  fd_ = -1;
  buffer_ = {};
  if (!temp_path_.empty()) {
    if (error_ == 0 && std::rename(temp_path_.c_str(), path_.c_str()) != 0) SetError(errno);
    if (error_ != 0) ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
  if (remove_at_close_) {
    ::unlink(path_.c_str());
    remove_at_close_ = false;
  }
  return error_;
}

}  // namespace kavrinth
