// The viewer's progress box on the process's ProgressSink.
#include "viewer/model/scan_progress.h"

#include <algorithm>
#include <string>

#include "support/progress_sink.h"

namespace kavrinth {

void SinkScanProgress::Open(std::string_view what, std::string_view file, std::string_view detail,
                            int64_t total) {
  total_ = total;
  SetProgressText(std::string(what).c_str(), std::string(file).c_str(),
                  std::string(detail).c_str());
}

bool SinkScanProgress::Update(int64_t done) {
  if (total_ > 0) {
    const int64_t percent = std::min<int64_t>((done * 100 + total_ / 2) / total_, 100);
    const std::string text = std::to_string(percent) + "%";
    SetProgressStatus({text.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr});
  }
  return ProgressCancelFlag() != 0;
}

void SinkScanProgress::Close() {
  SetProgressText("", "", "");
  SetProgressStatus({"", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr});
}

}  // namespace kavrinth
