// The job log as the log view shows it and writes it back: the engines write 8-bit text,
// so a log that is not UTF-8 is shown one character per byte, and an unchanged log is
// saved as the bytes it was read from.
#pragma once

#include <string>
#include <string_view>

namespace kavrinth {

enum class LogTextEncoding {
  kUtf8,     // every byte sequence is valid UTF-8 (plain ASCII included)
  kEightBit  // anything else: one character per byte (Latin-1)
};

LogTextEncoding DetectLogTextEncoding(std::string_view bytes);

// Whether lines the user adds end in CR LF: when the log has a CR LF, or no line end at all
// (the system's own files end their lines so); a log of bare LF lines keeps LF.
bool LogUsesCrLf(std::string_view bytes);

// The view's text (lines ended by LF) with the log's line ends.
std::string WithLogLineEnds(std::string_view text, bool crlf);

}  // namespace kavrinth
