// Encoding and line ends of the job log.
#include "support/log_text.h"

#include <cstdint>

namespace kavrinth {

namespace {

// The length of the UTF-8 sequence that starts at bytes[at], or 0 when it is not valid
// (overlong forms, surrogates and values above U+10FFFF are not).
size_t Utf8SequenceLength(std::string_view bytes, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
      (length == 4 && (value < 0x10000 || value > 0x10FFFF))) {
    return 0;
  }
  return length;
}

}  // namespace

LogTextEncoding DetectLogTextEncoding(std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = Utf8SequenceLength(bytes, at);
    if (length == 0) return LogTextEncoding::kEightBit;
    at += length;
  }
  return LogTextEncoding::kUtf8;
}

bool LogUsesCrLf(std::string_view bytes) {
  return bytes.find("\r\n") != std::string_view::npos || bytes.find('\n') == std::string_view::npos;
}

std::string WithLogLineEnds(std::string_view text, bool crlf) {
  std::string bytes;
  bytes.reserve(text.size() + (crlf ? text.size() / 16 : 0));
  for (char c : text) {
    if (c == '\n' && crlf) bytes += '\r';
    bytes += c;
  }
  return bytes;
}

}  // namespace kavrinth
