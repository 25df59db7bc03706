// The post-processor's lines in pg.log: warnings (counted) and notes, appended to the
// log the PG-writing library created, with CR LF line ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kavrinth {

inline constexpr std::string_view kPostProcessorLogName = "pg.log";

class PostProcessorLog {
 public:
  // Detail lines after this many warnings are left out; the count goes on.
  static constexpr int64_t kListedWarnings = 200;

  // Appends to the log in the current directory (found without regard to case; created
  // when missing). Without a log the lines are lost but the counts still run.
  void Open();
  // Writes the closing line and closes the log.
  void Close();

  // Counts one warning and writes it as "Warning: <text>".
  void Warning(std::string_view text);
  // A failure of the run: "Error: <text>" in the log and on stderr (not counted).
  void Error(std::string_view text);
  // An uncounted line.
  void Note(std::string_view text);

  int64_t warnings() const { return warnings_; }

 private:
  void Line(std::string_view prefix, std::string_view text);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, &std::fclose};
  int64_t warnings_ = 0;
};

}  // namespace kavrinth
