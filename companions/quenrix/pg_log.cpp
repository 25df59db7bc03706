// Appending the post-processor's warnings and notes to pg.log.
#include "companions/quenrix/pg_log.h"

#include <unistd.h>

#include "platform/files.h"

namespace kavrinth {

void PostProcessorLog::Open() {
  std::string path = ResolveExistingPath(kPostProcessorLogName);
  file_.reset(std::fopen(path.c_str(), "ab"));
}

void PostProcessorLog::Close() {
  if (warnings_ > kListedWarnings) {
    Note(std::to_string(warnings_ - kListedWarnings) + " further warnings were not listed.");
  }
  Note("Post-processor: " + std::to_string(warnings_) + " warnings.");
  file_.reset();
}

void PostProcessorLog::Warning(std::string_view text) {
  ++warnings_;
  if (warnings_ <= kListedWarnings) Line("Warning: ", text);
}

void PostProcessorLog::Error(std::string_view text) {
  Line("Error: ", text);
  std::string line = "Post-processor error: " + std::string(text) + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

void PostProcessorLog::Note(std::string_view text) { Line("", text); }

void PostProcessorLog::Line(std::string_view prefix, std::string_view text) {
  if (!file_) return;
  std::string line(prefix);
  line.append(text);
  // A line of the log stays one line whatever the text holds.
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  line += "\r\n";
  std::fwrite(line.data(), 1, line.size(), file_.get());
  std::fflush(file_.get());
}

}  // namespace kavrinth
