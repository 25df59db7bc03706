// The engine's log: options, selected structures, totals and the cause of a failure,
// written byte for byte as given (the texts carry their own CR LF line ends).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kavrinth {

class EngineLog {
 public:
  EngineLog() = default;
  ~EngineLog();
  EngineLog(const EngineLog&) = delete;
  EngineLog& operator=(const EngineLog&) = delete;

  // Creates or truncates the log file. False when it cannot be created.
  bool Open(const std::string& path);
  // Writes into a stream the log does not own (the redirected standard error).
  void Attach(std::FILE* stream);
  bool is_open() const { return stream_ != nullptr; }

  // Nothing happens while no log is open.
  void Write(std::string_view text);
  // A failure's cause on a line of its own.
  void WriteCause(std::string_view text);

  // Keeps what is written from now on aside until EndHold, which hands it back unwritten:
  // the totals of a step can then stand before the lines of the step after it, whose
  // outcome they count.
  void Hold();
  std::string EndHold();

  // 0, or the errno of the first failed write or of the close.
  int Close();

 private:
  std::FILE* stream_ = nullptr;
  bool owned_ = false;
  int error_ = 0;
  bool holding_ = false;
  std::string held_;
};

}  // namespace kavrinth
