// The buffered file: reads through a 256 KiB buffer (small read-only files are loaded whole
// at open) and writes straight to the file; the PG, WF2 and scan readers use it. It keeps
// the handle's position itself, so telling the read position makes no system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// Capacity of the read buffer: large, so that a reader of a big file makes few reads.
inline constexpr int64_t kBufFileBufferSize = int64_t{256} << 10;
// A read-only regular file of at most this size is read whole at open.
inline constexpr int64_t kBufFileWholeLimit = 16384;
// Block size of BufFileCopy.
inline constexpr size_t kBufFileCopyBlock = 4096;

// A view of buffered bytes; see BufFileBuffered.
struct BufFileView {
  const unsigned char* begin = nullptr;
  const unsigned char* end = nullptr;
};

// One open buffered file. Its state belongs to the BufFile functions below; the object
// closes the handle it owns when it is destroyed (BufFileClose reports that close).
//
// The data area holds buffer size + 1 bytes: refills go to index 1 onwards so that index 0
// stays free for one pushed-back byte. The buffer is empty when fill = position = buffer
// size. A file loaded whole has no handle, fill = size and starts at position 0.
class BufFile {
 public:
  BufFile() = default;
  ~BufFile();
  BufFile(const BufFile&) = delete;
  BufFile& operator=(const BufFile&) = delete;

 private:
  friend std::unique_ptr<BufFile> BufFileOpen(const char* name, const char* mode);
  friend int BufFileClose(std::unique_ptr<BufFile> file);
  friend int BufFileError(const BufFile* file);
  friend int BufFileRewind(BufFile* file);
  friend int BufFileSeek(BufFile* file, int64_t distance, int origin);
  friend int64_t BufFileSize(const BufFile* file);
  friend int64_t BufFileTell(const BufFile* file);
  friend int BufFileGetByte(BufFile* file);
  friend int BufFileGetByteRefill(BufFile* file);
  friend int BufFileUngetChar(int character, BufFile* file);
  friend BufFileView BufFileBuffered(BufFile* file);
  friend void BufFileConsume(BufFile* file, size_t count);
  friend bool BufFileFillBuffer(BufFile* file);
  friend size_t BufFileRead(BufFile* file, void* destination, size_t count);
  friend size_t BufFileWrite(BufFile* file, const void* source, size_t count);

  bool Refill();
  bool ReadFully(unsigned char* destination, size_t count, size_t* delivered);
  void EmptyBuffer() { fill_ = position_ = buffer_size_; }
  // Asks the system where the handle is (after a failed transfer left it unknown).
  void QueryHandlePosition();

  std::vector<unsigned char> data_;
  int64_t buffer_size_ = 0;
  int64_t fill_ = 0;
  int64_t position_ = 0;
  int64_t handle_position_ = -1;  // of the handle; -1 when it has none (a pipe)
  int fd_ = -1;                   // -1: loaded whole, or no standard handle
  bool owns_fd_ = false;          // false for the standard input and output
  int error_ = 0;                 // first read error (errno); sticky
};

// Opens a file. Mode: read and write when its first or second character is '+' or its
// first is 'a' ('a' also moves to the end); else write only when either is 'w' (the file
// is replaced); else read only. A first 'w' creates or truncates; other write modes open or
// create; read only needs an existing file (found without regard to the case of its last
// component). A null name stands for the standard input (read only) or output (otherwise).
// Null when the file cannot be opened or created.
std::unique_ptr<BufFile> BufFileOpen(const char* name, const char* mode);

// Closes the file (never the standard input or output). 0, or the errno of a failed close;
// 0 for null.
int BufFileClose(std::unique_ptr<BufFile> file);

// 0, or the errno of the first failed read. The readers below give their end value
// (-1, 0 or false) both at the end of the file and after a read error; callers tell the
// two apart with this. The error stays until the file is closed.
int BufFileError(const BufFile* file);

// Back to the start of the file: 0, or -1 when the file cannot be repositioned (a pipe).
int BufFileRewind(BufFile* file);

// Moves the read position; origin 0 from the start, 1 from the current read position,
// 2 back from the end by the magnitude of the distance (either sign). 0, or -1 when the
// file cannot be repositioned there. A file held in memory clamps to its data.
int BufFileSeek(BufFile* file, int64_t distance, int origin);

// The file's size; 0 for null.
int64_t BufFileSize(const BufFile* file);

// The read position (the next byte to hand out); 0 for null, -1 when the file has no
// position (a pipe).
int64_t BufFileTell(const BufFile* file);

// The next byte (0-255), or -1 at the end or after a read error. Inline: the PG readers
// take every byte of their files through it.
int BufFileGetByteRefill(BufFile* file);
inline int BufFileGetByte(BufFile* file) {
  if (file != nullptr && file->position_ < file->fill_) return file->data_[file->position_++];
  return BufFileGetByteRefill(file);
}

// The bytes buffered after the read position, for a reader that scans them through a
// pointer instead of a call per byte: [begin, end), empty when the buffer is used up.
// BufFileConsume then says how many of them were read; until then the read position and
// BufFileTell stay where they were, and any other call on the file ends the view.
inline BufFileView BufFileBuffered(BufFile* file) {
  if (file == nullptr) return {};
  const unsigned char* data = file->data_.data();
  return {data + file->position_, data + file->fill_};
}

// Moves the read position over count bytes of the view (at most its size).
inline void BufFileConsume(BufFile* file, size_t count) {
  if (file != nullptr) file->position_ += static_cast<int64_t>(count);
}

// Makes sure a byte is buffered, refilling the buffer once it is used up: false at the end
// of the file or after a read error (BufFileError tells which).
bool BufFileFillBuffer(BufFile* file);

// The next character with line ends made one 10: CR, LF, CR LF and LF CR; -1 at the end.
int BufFileGetChar(BufFile* file);

// Pushes one character (kept as a byte) back in front of the read position: the
// character, or -1 when nothing can be pushed back there or the character is -1.
int BufFileUngetChar(int character, BufFile* file);

// Copies up to count bytes; large requests bypass the buffer. The bytes delivered, 0 at
// the end.
size_t BufFileRead(BufFile* file, void* destination, size_t count);

// Skips blanks and reads a signed decimal integer; a value beyond the 32-bit range
// saturates at INT32_MAX or INT32_MIN (all its digits are consumed). The first character
// that is not a digit stays unread. 0 at the end or before a character that starts no
// number.
int32_t BufFileReadInt(BufFile* file);

// Reads one line without its line end into *line, keeping at most size - 1 characters (the
// rest of a longer line is read and dropped). True when a line was read, also an empty
// one; false at the end of the file with nothing read, or for a null file.
bool BufFileGetLine(BufFile* file, std::string* line, size_t size);

// Reads the rest of the current line without its leading and trailing invisible
// characters, keeping at most size - 1 of them (size is at least 2); the rest of the line
// is dropped. A line end met before any visible character gives an empty token. False when
// the end of the file comes before any visible character.
bool BufFileGetToken(std::string* token, size_t size, BufFile* file);

// Writes the text straight to the file: its length, or -1 when the write failed or was
// short.
int64_t BufFilePutString(BufFile* file, std::string_view text);

// Writes straight to the file: count, or 0 when the write failed or was short. A file
// held in memory cannot be written.
size_t BufFileWrite(BufFile* file, const void* source, size_t count);

// Copies the source from its read position to its end in blocks of 4096 bytes: 0, or -1
// when a block was not written whole or the source could not be read.
int BufFileCopy(BufFile* destination, BufFile* source);

// Moves a file descriptor's position; origin 0 start, 1 current, 2 back from the end by
// the magnitude of the distance. The new position, or -1 (errno set).
int64_t SeekHandle(int fd, int64_t distance, int origin);

}  // namespace kavrinth
