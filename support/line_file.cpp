// Line file reader and the template-to-report text file pair.
#include "support/line_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

#include "platform/files.h"

namespace kavrinth {

namespace {

// Bytes asked of the file per read.
constexpr size_t kReadChunk = 4096;

int OpenRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Appends up to kReadChunk bytes of the file to *buffer: the count, 0 at the end, -1 on
// an error.
ssize_t AppendChunk(int fd, std::string* buffer) {
  const size_t old_size = buffer->size();
  buffer->resize(old_size + kReadChunk);
  ssize_t got;
  do {
    got = read(fd, buffer->data() + old_size, kReadChunk);
  } while (got < 0 && errno == EINTR);
  buffer->resize(old_size + static_cast<size_t>(std::max<ssize_t>(got, 0)));
  return got;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsMarkerLine(std::string_view line) {
  return line.size() >= 2 && line[0] == '#' && IsDigit(line[1]) &&
         line.find(':') != std::string_view::npos;
}

bool SameFile(int fd, const std::string& path) {
  struct stat open_file {
  }, named{};
  return fstat(fd, &open_file) == 0 && stat(path.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

TextPair& ProcessTextPair() {
  static TextPair pair;
  return pair;
}

}  // namespace

CLineFile::~CLineFile() {
  if (fd_ >= 0) close(fd_);
}

bool CLineFile::Open(const std::string& path) {
  if (fd_ >= 0) close(fd_);
  fd_ = OpenRetrying(ResolveExistingPath(path), O_RDONLY);
  struct stat st {};
  if (fd_ >= 0 && (fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode))) {
    close(fd_);
    fd_ = -1;
    errno = EISDIR;
  }
  Reset();
  return fd_ >= 0;
}

int CLineFile::ReadLine() {
  size_t search_from = next_;
  for (;;) {
    size_t end = buffer_.find('\n', search_from);
    const bool found = end != std::string::npos;
    if (!found && !at_end_) {
      // Keep only the unfinished line and search just the new bytes next time.
      buffer_.erase(0, next_);
      next_ = 0;
      search_from = buffer_.size();
      at_end_ = !ReadMore();
      continue;
    }
    if (!found && next_ >= buffer_.size()) {
      line_size_ = 0;
      return 0;
    }
    if (!found) end = buffer_.size();  // the last line has no line end
    const size_t after = found ? end + 1 : end;
    if (end > next_ && buffer_[end - 1] == '\r') --end;
    line_begin_ = next_;
    line_size_ = end - next_;
    next_ = after;
    return 1;
  }
}

bool CLineFile::ReadMore() { return fd_ >= 0 && AppendChunk(fd_, &buffer_) > 0; }

void CLineFile::Reset() {
  if (fd_ >= 0) lseek(fd_, 0, SEEK_SET);
  buffer_.clear();
  next_ = line_begin_ = line_size_ = 0;
  at_end_ = false;
}

int64_t CLineFile::Length() const {
  struct stat st {};
  return fd_ >= 0 && fstat(fd_, &st) == 0 ? st.st_size : 0;
}

TextPair::~TextPair() { Close(); }

int TextPair::Open(std::string_view input, std::string_view output) {
  Close();
  if (input.empty()) return 1;
  input_ = OpenRetrying(ResolveExistingPath(input), O_RDONLY | O_CREAT);
  if (input_ < 0) return 1;
  const std::string output_path = NativePath(output);
  // Creating the output over the template would destroy the template.
  if (output.empty() || SameFile(input_, output_path)) {
    CloseInput();
    return 2;
  }
  output_ = OpenRetrying(output_path, O_RDWR | O_CREAT | O_TRUNC);
  if (output_ < 0) {
    CloseInput();
    return 2;
  }
  return 0;
}

int TextPair::NextToken(std::string* buffer, size_t size) {
  if (buffer == nullptr) return -1;
  for (;;) {
    if (!ReadLine(buffer, size)) return read_error_ != 0 ? -2 : -1;
    if (IsMarkerLine(*buffer)) {
      const int32_t number = ParseSignedInt(std::string_view(*buffer).substr(1));
      buffer->erase(0, buffer->find(':') + 1);
      return number;
    }
    if (WriteLine(*buffer) != 0) return -2;
  }
}

int TextPair::PutLine(std::string_view text) { return WriteLine(text) == 0 ? 0 : -2; }

int TextPair::Close() {
  int result = 0;
  if (output_ >= 0 && close(output_) != 0) result = -2;
  output_ = -1;
  CloseInput();
  return result;
}

int TextPair::WriteLine(std::string_view text) {
  if (text.empty()) return 0;
  if (output_ < 0) return 1;
  const size_t kept = text.find_last_not_of("\r\n");
  std::string line(text.substr(0, kept == std::string_view::npos ? 0 : kept + 1));
  line += "\r\n";
  return WriteAll(output_, line) ? 0 : 1;
}

bool TextPair::ReadLine(std::string* destination, size_t size) {
  if (destination == nullptr) return false;
  destination->clear();
  const size_t keep = size > 0 ? size - 1 : 0;
  bool any = false;
  for (int c = ReadByte(); c >= 0; c = ReadByte()) {
    any = true;
    if (destination->size() < keep) destination->push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return any && read_error_ == 0;
}

int TextPair::ReadByte() {
  if (input_next_ >= input_buffer_.size()) {
    if (input_ < 0 || read_error_ != 0) return -1;
    input_buffer_.clear();
    input_next_ = 0;
    const ssize_t got = AppendChunk(input_, &input_buffer_);
    if (got < 0) read_error_ = errno;
    if (got <= 0) return -1;
  }
  return static_cast<unsigned char>(input_buffer_[input_next_++]);
}

void TextPair::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
  input_buffer_.clear();
  input_next_ = 0;
  read_error_ = 0;
}

int TextPairOpen(std::string_view input, std::string_view output) {
  return ProcessTextPair().Open(input, output);
}

int TextPairNextToken(std::string* buffer, size_t size) {
  return ProcessTextPair().NextToken(buffer, size);
}

int TextPairPutLine(std::string_view text) { return ProcessTextPair().PutLine(text); }

int TextPairClose() { return ProcessTextPair().Close(); }

int TextPairWriteLine(std::string_view text) { return ProcessTextPair().WriteLine(text); }

bool TextPairReadLine(std::string* destination, size_t size) {
  return ProcessTextPair().ReadLine(destination, size);
}

int32_t ParseSignedInt(std::string_view text) {
  size_t i = text.find_first_of("0123456789+-");
  if (i == std::string_view::npos) return 0;
  int64_t sign = 1;
  if (text[i] == '+' || text[i] == '-') sign = text[i++] == '-' ? -1 : 1;
  // Saturates: the magnitude stops one past INT32_MAX so that INT32_MIN stays exact.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
  }
  return static_cast<int32_t>(std::clamp<int64_t>(
      sign * magnitude, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace kavrinth
