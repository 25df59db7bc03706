// The engine's log file.
#include "tabreng/engine_log.h"

#include <cerrno>

#include "platform/files.h"

namespace kavrinth {

EngineLog::~EngineLog() { Close(); }

bool EngineLog::Open(const std::string& path) {
  Close();
  stream_ = std::fopen(NativePath(path).c_str(), "w+b");
  owned_ = stream_ != nullptr;
  error_ = 0;
  return stream_ != nullptr;
}

void EngineLog::Attach(std::FILE* stream) {
  Close();
  stream_ = stream;
  owned_ = false;
  error_ = 0;
}

void EngineLog::Hold() { holding_ = true; }

std::string EngineLog::EndHold() {
  holding_ = false;
  std::string held;
  held.swap(held_);
  return held;
}

void EngineLog::Write(std::string_view text) {
  if (!stream_ || text.empty()) return;
  if (holding_) {
    held_ += text;
    return;
  }
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size() && error_ == 0) {
    error_ = errno != 0 ? errno : EIO;
  }
}

void EngineLog::WriteCause(std::string_view text) {
  Write("\r\n");
  Write(text);
  Write("\r\n");
}

int EngineLog::Close() {
  if (!stream_) return error_;
  if (std::fflush(stream_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (owned_ && std::fclose(stream_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  stream_ = nullptr;
  owned_ = false;
  return error_;
}

}  // namespace kavrinth
