// Whole-file reads and safe replacing writes and moves.
#include "tabrun/core/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/files.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;

std::string Reason(const std::string& path, int error) {
  return "'" + path + "': " + std::strerror(error);
}

// Writes all bytes to fd; 0 or the errno.
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const std::string resolved = ResolveExistingPath(path);
  const int fd = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

int WriteFileReplacing(const std::string& path, std::string_view bytes, std::string* error,
                       int* cause) {
  const std::string target = NativePath(path);
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    if (cause) *cause = errno;
    *error = Reason(target, errno);
    return -1;
  }
  int failure = WriteAll(fd, bytes);
  if (failure == 0 && ::fchmod(fd, 0644) != 0) failure = errno;
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temp.c_str(), target.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temp.c_str());
    if (cause) *cause = failure;
    *error = Reason(target, failure);
    return -1;
  }
  return 0;
}

int CopyFileReplacing(const std::string& source, const std::string& target, std::string* error,
                      int* cause) {
  errno = 0;
  const std::optional<std::string> bytes = ReadWholeFile(source);
  if (!bytes) {
    const int failure = errno ? errno : ENOENT;
    if (cause) *cause = failure;
    *error = Reason(source, failure);
    return -1;
  }
  return WriteFileReplacing(target, *bytes, error, cause);
}

int MoveFileReplacing(const std::string& source, const std::string& target, std::string* error,
                      int* cause) {
  const std::string from = ResolveExistingPath(source);
  struct stat status {};
  if (::stat(from.c_str(), &status) != 0) {
    if (cause) *cause = errno;
    *error = Reason(source, errno);
    return -1;
  }
  if (::rename(from.c_str(), NativePath(target).c_str()) == 0) return 0;
  if (errno != EXDEV) {
    if (cause) *cause = errno;
    *error = Reason(target, errno);
    return -1;
  }
  if (CopyFileReplacing(from, target, error, cause) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

bool SamePath(const std::string& first, const std::string& second) {
  std::error_code ignored;
  const fs::path a = fs::weakly_canonical(fs::absolute(NativePath(first), ignored), ignored);
  const fs::path b = fs::weakly_canonical(fs::absolute(NativePath(second), ignored), ignored);
  return a == b;
}

int64_t FileSize(const std::string& path) {
  struct stat status {};
  if (::stat(ResolveExistingPath(path).c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
    return -1;
  }
  return status.st_size;
}

FileStamp StampOf(const std::string& path) {
  struct stat status {};
  if (::stat(ResolveExistingPath(path).c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
    return {};
  }
  return {status.st_size, int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec};
}

bool RemoveFile(const std::string& path) {
  const std::string native = NativePath(path);
  if (::unlink(native.c_str()) == 0) return true;
  return errno == ENOENT;
}

}  // namespace kavrinth
