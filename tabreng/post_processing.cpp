// The header stream and post-processor stand-ins.
#include "tabreng/post_processing.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/progress_sink.h"

namespace kavrinth {

HeaderStream::~HeaderStream() {
  if (stream_) std::fclose(stream_);
}

bool HeaderStream::Open(const std::string& native_path) {
  stream_ = std::fopen(native_path.c_str(), "w+b");
  return stream_ != nullptr;
}

int HeaderStream::Close() {
  int error = 0;
  if (stream_ && std::fclose(stream_) != 0) error = errno != 0 ? errno : EIO;
  stream_ = nullptr;
  SetProgressText(nullptr, "", "100%");
  return error;
}

int RunPostProcessor(const PostProcessorStep& step) {
  if (SetProgressStatus({"", "", "", "", "", "", ""}) != 0) return -1;
  if (!step.counting_pass && step.log) {
    step.log->WriteCause("No post-processor is available: no INT data was generated.");
  }
  if (!step.keep_temporaries) {
    for (const std::string* file : {&step.header_stream, &step.translated_stream}) {
      if (!file->empty()) ::unlink(file->c_str());
    }
  }
  return 0;
}

}  // namespace kavrinth
