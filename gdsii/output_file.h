// A buffered output file for GDSII streams: a library file (replaced only once it is
// complete), a spool file, or the null device. Every write is checked; the first error
// is kept and reported when the file is closed.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

class GdsOutputFile {
 public:
  GdsOutputFile() = default;
  ~GdsOutputFile();
  GdsOutputFile(const GdsOutputFile&) = delete;
  GdsOutputFile& operator=(const GdsOutputFile&) = delete;

  // Every open first abandons a file still open (as the destructor does).
  // Opens the output of a library. A regular file (or a new name) is written to a
  // temporary beside it that replaces it at Close, so a failed write never destroys
  // the file it was replacing; a device such as the null device is written directly.
  // False (with errno kept in error()) when nothing could be opened.
  bool OpenReplacing(std::string_view path);
  // Opens an existing file (a spool file made by MakeTempFileName) for writing and
  // reading back, emptying it; Close or Remove deletes it.
  bool OpenSpool(const std::string& path);
  // Opens the null device.
  bool OpenNull();

  bool is_open() const { return fd_ >= 0; }
  // Bytes written so far (the file's length).
  uint64_t size() const { return written_ + used_; }
  // The first errno met, or 0.
  int error() const { return error_; }
  const std::string& path() const { return path_; }

  void Write(const void* data, size_t length) {
    if (length <= buffer_.size() - used_) {
      std::memcpy(buffer_.data() + used_, data, length);
      used_ += length;
    } else {
      WriteThrough(data, length);
    }
  }
  void WriteZeros(size_t length);
  // Writes the blocks one after the other, as Write would; blocks too large for the
  // buffer go to the file straight from where they are, in one system call.
  void WriteBlocks(std::span<const std::span<const uint8_t>> blocks);

  // Asks the system to start writing the data to the disk every `bytes` bytes (0: never,
  // as at open), while the rest is still being made. A large library then does not all
  // wait to be written when it is closed and replaces its target.
  void StartWritebackEvery(uint64_t bytes);

  // Marks the file as failed: Close then leaves the target alone.
  void SetFailed(int error) { SetError(error); }

  // Appends the whole content of this file to the target.
  void CopyTo(GdsOutputFile& target);

  // Flushes and closes: a library output is moved over its target (or, after an error,
  // its temporary removed); a spool file is deleted. Returns 0 or the first errno.
  int Close();

 private:
  bool OpenFd(int fd, std::string_view path);
  void Abandon();
  void WriteThrough(const void* data, size_t length);
  void Flush();
  void StartDueWriteback();
  void SetError(int error);

  int fd_ = -1;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  uint64_t written_ = 0;
  uint64_t writeback_step_ = 0;   // StartWritebackEvery's step
  uint64_t writeback_start_ = 0;  // the first byte not yet handed to the system to write
  int error_ = 0;
  std::string path_;       // the name the caller gave (native form)
  std::string temp_path_;  // the temporary that replaces path_ at Close, if any
  bool remove_at_close_ = false;
};

}  // namespace kavrinth
