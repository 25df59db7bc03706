// The hand-over to the post-processor: the header stream and the post-processor step.
// For now both are stand-ins: the header stream is created empty and closed, and the
// post-processor step says in the log that no post-processor is available and returns
// 0. Removing the header and translated streams afterwards (unless they are kept for
// debugging) works as it will with the real post-processor.
#pragma once

#include <cstdio>
#include <string>

#include "tabreng/engine_log.h"

namespace kavrinth {

class HeaderStream {
 public:
  HeaderStream() = default;
  ~HeaderStream();
  HeaderStream(const HeaderStream&) = delete;
  HeaderStream& operator=(const HeaderStream&) = delete;

  // Creates or truncates the file at the native path. False when it cannot.
  bool Open(const std::string& native_path);
  // Closes the stream and shows "100%" in the dialog's third line, emptying the second.
  // 0, or the errno of a failed close.
  int Close();

 private:
  std::FILE* stream_ = nullptr;
};

struct PostProcessorStep {
  bool counting_pass = false;
  bool keep_temporaries = false;  // -dbgx
  std::string header_stream;      // native paths; empty for the null device
  std::string translated_stream;
  EngineLog* log = nullptr;
};

// Empties the seven status texts (a set cancel flag returns -1 at once), runs the
// post-processor (not in the counting pass), then removes the header and translated
// streams unless they are kept. Returns the post-processor's result.
int RunPostProcessor(const PostProcessorStep& step);

}  // namespace kavrinth
