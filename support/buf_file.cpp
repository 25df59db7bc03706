// The buffered file on POSIX file descriptors: buffered reads, direct writes.
#include "support/buf_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/files.h"

namespace kavrinth {

static_assert(sizeof(off_t) == 8, "file sizes and positions are 64-bit");

namespace {

// One read or write call moves at most this much, well inside ssize_t.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// What a mode string asks for.
struct OpenMode {
  bool read = false;
  bool write = false;
  bool truncate = false;  // the file is replaced
  bool create = false;
  bool append = false;
};

OpenMode ParseMode(const char* mode) {
  const char m0 = mode != nullptr ? mode[0] : '\0';
  const char m1 = m0 != '\0' ? mode[1] : '\0';
  OpenMode result;
  if (m0 == '+' || m1 == '+' || m0 == 'a') {
    result.read = result.write = true;
  } else if (m0 == 'w' || m1 == 'w') {
    result.write = true;
  } else {
    result.read = true;
  }
  // Write-only opens replace the file, as does a leading 'w'.
  result.truncate = m0 == 'w' || (result.write && !result.read);
  result.create = result.write;
  result.append = m0 == 'a';
  return result;
}

int OpenFlags(const OpenMode& mode) {
  int flags = O_CLOEXEC;
  flags |= mode.read && mode.write ? O_RDWR : (mode.write ? O_WRONLY : O_RDONLY);
  if (mode.create) flags |= O_CREAT;
  if (mode.truncate) flags |= O_TRUNC;
  return flags;
}

int OpenNamed(const char* name, const OpenMode& mode) {
  // A replaced file is a file this system makes under its own name; every other open may
  // reach an existing file whose name differs in case.
  const std::string path = mode.truncate ? NativePath(name) : ResolveExistingPath(name);
  int fd;
  do {
    fd = open(path.c_str(), OpenFlags(mode), 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool IsVisible(int c) { return c > 0x20 && c < 0x7f; }

int64_t Magnitude(int64_t distance) {
  if (distance == std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::max();
  return distance < 0 ? -distance : distance;
}

bool WriteAll(int fd, const void* source, size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(source);
  while (count > 0) {
    const ssize_t written = write(fd, bytes, std::min(count, kMaxTransfer));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

// Seek of a file held in memory: the new position, kept inside the data.
int64_t MemoryTarget(int64_t position, int64_t size, int64_t distance, int origin) {
  switch (origin) {
    case 0:
      return std::clamp<int64_t>(distance, 0, size);
    case 1:
      if (distance > size - position) return size;
      if (distance < -position) return 0;
      return position + distance;
    case 2:
      return size - std::min(Magnitude(distance), size);
    default:
      return -1;
  }
}

}  // namespace

BufFile::~BufFile() {
  if (fd_ >= 0 && owns_fd_) close(fd_);
}

bool BufFile::ReadFully(unsigned char* destination, size_t count, size_t* delivered) {
  *delivered = 0;
  while (*delivered < count) {
    const ssize_t got =
        read(fd_, destination + *delivered, std::min(count - *delivered, kMaxTransfer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      if (error_ == 0) error_ = errno;
      return false;
    }
    if (got == 0) break;
    *delivered += static_cast<size_t>(got);
    if (handle_position_ >= 0) handle_position_ += got;
  }
  return true;
}

void BufFile::QueryHandlePosition() {
  const off_t here = lseek(fd_, 0, SEEK_CUR);
  handle_position_ = here < 0 ? -1 : static_cast<int64_t>(here);
}

// Fills the data area from index 1. A pipe or terminal delivers in pieces, so this reads
// until the buffer is full or the file ends: a short refill then really is the end.
bool BufFile::Refill() {
  if (fd_ < 0 || error_ != 0 || buffer_size_ == 0) return false;
  size_t got = 0;
  ReadFully(&data_[1], static_cast<size_t>(buffer_size_), &got);
  fill_ = static_cast<int64_t>(got) + 1;
  position_ = 1;
  return got > 0;
}

std::unique_ptr<BufFile> BufFileOpen(const char* name, const char* mode) {
  const OpenMode open_mode = ParseMode(mode);
  auto file = std::make_unique<BufFile>();
  if (name == nullptr) {
    const int standard = open_mode.read && !open_mode.write ? STDIN_FILENO : STDOUT_FILENO;
    if (fcntl(standard, F_GETFD) != -1) file->fd_ = standard;
  } else {
    file->fd_ = OpenNamed(name, open_mode);
    if (file->fd_ < 0) return nullptr;
    file->owns_fd_ = true;
  }
  if (file->fd_ < 0) {
    // No standard handle: an empty file that cannot be written.
    file->data_.assign(1, 0);
    return file;
  }

  struct stat st {};
  const bool regular = fstat(file->fd_, &st) == 0 && S_ISREG(st.st_mode);
  const bool read_only = open_mode.read && !open_mode.write;
  // Only a regular file has a size worth loading whole; pipes and devices are read in turn.
  const bool whole = read_only && name != nullptr && regular && st.st_size <= kBufFileWholeLimit;
  // A small file read only keeps a small buffer: it needs no more than its own size.
  const int64_t buffer =
      regular && read_only
          ? std::min<int64_t>(kBufFileBufferSize, std::max<int64_t>(st.st_size, 4096))
          : kBufFileBufferSize;
  file->buffer_size_ = !open_mode.read ? 0 : (whole ? st.st_size : buffer);
  if (open_mode.append) lseek(file->fd_, 0, SEEK_END);
  file->QueryHandlePosition();
  try {
    file->data_.assign(static_cast<size_t>(file->buffer_size_) + 1, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;  // the destructor closes the handle
  }

  if (!whole) {
    file->EmptyBuffer();
    return file;
  }
  size_t got = 0;
  if (!file->ReadFully(file->data_.data(), static_cast<size_t>(file->buffer_size_), &got)) {
    errno = file->error_;
    return nullptr;
  }
  close(file->fd_);
  file->fd_ = -1;
  file->buffer_size_ = file->fill_ = static_cast<int64_t>(got);
  file->position_ = 0;
  return file;
}

int BufFileClose(std::unique_ptr<BufFile> file) {
  if (!file) return 0;
  int result = 0;
  if (file->fd_ >= 0 && file->owns_fd_ && close(file->fd_) != 0) result = errno;
  file->fd_ = -1;
  return result;
}

int BufFileError(const BufFile* file) { return file != nullptr ? file->error_ : 0; }

int BufFileRewind(BufFile* file) { return BufFileSeek(file, 0, 0); }

int BufFileSeek(BufFile* file, int64_t distance, int origin) {
  if (file == nullptr) return -1;
  if (file->fd_ < 0) {
    const int64_t target = MemoryTarget(file->position_, file->fill_, distance, origin);
    if (target < 0) return -1;
    file->position_ = target;
    return 0;
  }
  if (origin == 1) {
    // Relative to what the caller has read, not to where the buffer's refill left the handle.
    const int64_t here = BufFileTell(file);
    if (here < 0) return -1;
    if (distance < -here || distance > std::numeric_limits<int64_t>::max() - here) return -1;
    distance += here;
    origin = 0;
  }
  const int64_t target = SeekHandle(file->fd_, distance, origin);
  if (target < 0) return -1;
  file->handle_position_ = target;
  file->EmptyBuffer();
  return 0;
}

int64_t BufFileSize(const BufFile* file) {
  if (file == nullptr) return 0;
  if (file->fd_ < 0) return file->buffer_size_;
  struct stat st {};
  return fstat(file->fd_, &st) == 0 ? st.st_size : 0;
}

int64_t BufFileTell(const BufFile* file) {
  if (file == nullptr) return 0;
  if (file->fd_ < 0) return file->position_;
  if (file->handle_position_ < 0) return -1;
  return file->handle_position_ - file->fill_ + file->position_;
}

// What BufFileGetByte does once the buffer is used up.
int BufFileGetByteRefill(BufFile* file) {
  if (file == nullptr) return -1;
  if (file->position_ < file->fill_) return file->data_[file->position_++];
  // Only a full (or no) previous refill can have more behind it.
  if (file->fill_ >= file->buffer_size_ && file->Refill()) return file->data_[file->position_++];
  return -1;
}

bool BufFileFillBuffer(BufFile* file) {
  if (file == nullptr) return false;
  if (file->position_ < file->fill_) return true;
  return file->fill_ >= file->buffer_size_ && file->Refill();
}

int BufFileGetChar(BufFile* file) {
  const int c = BufFileGetByte(file);
  if (c != '\r' && c != '\n') return c;
  const int partner = c == '\r' ? '\n' : '\r';
  const int next = BufFileGetByte(file);
  if (next != partner && next >= 0) BufFileUngetChar(next, file);
  return '\n';
}

int BufFileUngetChar(int character, BufFile* file) {
  if (file == nullptr || character == -1 || file->position_ <= 0) return -1;
  file->data_[--file->position_] = static_cast<unsigned char>(character);
  return character;
}

size_t BufFileRead(BufFile* file, void* destination, size_t count) {
  if (file == nullptr || destination == nullptr) return 0;
  auto* out = static_cast<unsigned char*>(destination);
  size_t done = 0;
  while (done < count) {
    if (file->position_ < file->fill_) {
      const size_t take =
          std::min(count - done, static_cast<size_t>(file->fill_ - file->position_));
      std::memcpy(out + done, &file->data_[file->position_], take);
      file->position_ += static_cast<int64_t>(take);
      done += take;
      continue;
    }
    if (file->fill_ < file->buffer_size_ || file->fd_ < 0 || file->error_ != 0) break;
    if (count - done >= static_cast<size_t>(file->buffer_size_)) {
      size_t got = 0;
      file->ReadFully(out + done, count - done, &got);
      done += got;
      break;
    }
    if (!file->Refill()) break;
  }
  return done;
}

int32_t BufFileReadInt(BufFile* file) {
  int c = BufFileGetByte(file);
  while (c >= 0 && !IsVisible(c)) c = BufFileGetByte(file);
  if (c < 0) return 0;
  int64_t sign = 1;
  if (c == '-' || c == '+') {
    sign = c == '-' ? -1 : 1;
    c = BufFileGetByte(file);
  }
  // Saturates: the magnitude stops one past INT32_MAX so that INT32_MIN stays exact.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; c >= '0' && c <= '9'; c = BufFileGetByte(file)) {
    magnitude = std::min(magnitude * 10 + (c - '0'), kLimit);
  }
  if (c >= 0) BufFileUngetChar(c, file);
  return static_cast<int32_t>(std::clamp<int64_t>(
      sign * magnitude, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool BufFileGetLine(BufFile* file, std::string* line, size_t size) {
  if (file == nullptr || line == nullptr) return false;
  line->clear();
  const size_t keep = size > 0 ? size - 1 : 0;
  int c = BufFileGetChar(file);
  if (c < 0) return false;
  for (; c >= 0 && c != '\n'; c = BufFileGetChar(file)) {
    if (line->size() < keep) line->push_back(static_cast<char>(c));
  }
  return true;
}

bool BufFileGetToken(std::string* token, size_t size, BufFile* file) {
  if (file == nullptr || token == nullptr) return false;
  token->clear();
  int c = BufFileGetChar(file);
  while (c >= 0 && c != '\n' && !IsVisible(c)) c = BufFileGetChar(file);
  if (c < 0) return false;
  const size_t keep = size > 0 ? size - 1 : 0;
  for (; c >= 0 && c != '\n'; c = BufFileGetChar(file)) {
    if (token->size() < keep) token->push_back(static_cast<char>(c));
  }
  while (!token->empty() && !IsVisible(static_cast<unsigned char>(token->back()))) {
    token->pop_back();
  }
  return true;
}

int64_t BufFilePutString(BufFile* file, std::string_view text) {
  if (file == nullptr) return -1;
  if (BufFileWrite(file, text.data(), text.size()) != text.size()) return -1;
  return static_cast<int64_t>(text.size());
}

size_t BufFileWrite(BufFile* file, const void* source, size_t count) {
  if (file == nullptr || file->fd_ < 0) return 0;
  if (count == 0) return 0;
  if (!WriteAll(file->fd_, source, count)) {
    file->QueryHandlePosition();
    return 0;
  }
  if (file->handle_position_ >= 0) file->handle_position_ += static_cast<int64_t>(count);
  return count;
}

int BufFileCopy(BufFile* destination, BufFile* source) {
  if (destination == nullptr || source == nullptr) return -1;
  std::vector<unsigned char> block(kBufFileCopyBlock);
  for (;;) {
    const size_t got = BufFileRead(source, block.data(), block.size());
    if (got == 0) break;
    if (BufFileWrite(destination, block.data(), got) != got) return -1;
  }
  return BufFileError(source) == 0 ? 0 : -1;
}

int64_t SeekHandle(int fd, int64_t distance, int origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) {
    errno = EINVAL;
    return -1;
  }
  // From the end the distance always counts back, whatever its sign.
  if (origin == 2) distance = -Magnitude(distance);
  return lseek(fd, distance, kWhence[origin]);
}

}  // namespace kavrinth
