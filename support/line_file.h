// Line-oriented text files: CLineFile reads a text file line by line; the text file pair
// copies a report template to its report, stopping at numbered marker lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// A text file read line by line, LF or CR LF line ends.
class CLineFile {
 public:
  CLineFile() = default;
  ~CLineFile();
  CLineFile(const CLineFile&) = delete;
  CLineFile& operator=(const CLineFile&) = delete;

  // Opens an existing file for reading (found without regard to the case of its last
  // component) and starts at its first line. False when it cannot be opened or is a
  // directory.
  bool Open(const std::string& path);

  // 1 with line() holding the next line without its line end (a CR before the LF, or
  // ending the file, is dropped); 0 at the end of the file. A line of any length comes
  // back whole, and so does a last line without a line end.
  int ReadLine();
  // The current line; valid until the next ReadLine or Reset.
  std::string_view line() const {
    return std::string_view(buffer_).substr(line_begin_, line_size_);
  }

  // Restarts reading at the start of the file.
  void Reset();
  // The file's size in bytes; 0 when no file is open.
  int64_t Length() const;
  // Whether the file's size is acceptable: always 1, no size limit applies here.
  int AcceptSize() const { return 1; }

 private:
  bool ReadMore();

  int fd_ = -1;
  std::string buffer_;  // bytes read and not yet handed out, from next_ on
  size_t next_ = 0;     // where the next line starts in buffer_
  size_t line_begin_ = 0;
  size_t line_size_ = 0;
  bool at_end_ = false;  // the file has no more bytes
};

// A report template copied to its report. Output lines end with CR LF.
class TextPair {
 public:
  TextPair() = default;
  ~TextPair();
  TextPair(const TextPair&) = delete;
  TextPair& operator=(const TextPair&) = delete;

  // Opens the input for reading (created empty when missing) and creates or truncates the
  // output. 0; 1 when the input name is empty or the input cannot be opened; 2 when the
  // output name is empty or the output cannot be created (the input is then closed).
  int Open(std::string_view input, std::string_view output);

  // Copies input lines to the output until a marker line: "#", a digit, and a ":"
  // somewhere. Returns the marker's number with the text after its first ":" (line end
  // included) in *buffer; lines are read with at most size - 1 bytes (see ReadLine).
  // -1 at the end of the input; -2 when writing the output (or reading the input) failed.
  int NextToken(std::string* buffer, size_t size);

  // Writes one line to the output: 0, or -2 when writing failed.
  int PutLine(std::string_view text);

  // Closes the output and the input: 0, or -2 when closing the output failed.
  int Close();

  // Writes the text to the output with its trailing CR and LF characters replaced by one
  // CR LF; an empty text writes nothing. 0, or 1 when writing failed.
  int WriteLine(std::string_view text);

  // Reads one input line into *destination, its LF included, keeping at most size - 1
  // bytes (the rest of a longer line is read and dropped). False at the end of the input
  // with nothing read, and when reading the input failed.
  bool ReadLine(std::string* destination, size_t size);

 private:
  int ReadByte();
  void CloseInput();

  int input_ = -1;
  int output_ = -1;
  std::string input_buffer_;
  size_t input_next_ = 0;
  int read_error_ = 0;
};

// The process-wide text file pair (one at a time), as the report writers use it.
int TextPairOpen(std::string_view input, std::string_view output);
int TextPairNextToken(std::string* buffer, size_t size);
int TextPairPutLine(std::string_view text);
int TextPairClose();
int TextPairWriteLine(std::string_view text);
bool TextPairReadLine(std::string* destination, size_t size);

// Skips characters up to the first digit, '+' or '-', then reads a signed decimal number;
// 0 when no digit follows. Values beyond the 32-bit range saturate.
int32_t ParseSignedInt(std::string_view text);

// The lines of a text held in memory: split at LF, one CR before it dropped (files written
// with CR LF and with LF read the same); a last line without its LF is kept.
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace kavrinth
