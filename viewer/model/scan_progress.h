// The progress box of the viewer's long loads: three text lines, a percentage bar over a
// total, and a Cancel button the load polls. The application shows it in a dialog.
#pragma once

#include <cstdint>
#include <string_view>

namespace kavrinth {

class ScanProgress {
 public:
  virtual ~ScanProgress() = default;
  // Shows the box: what is being done, the file, a detail line, and the total of the bar.
  virtual void Open(std::string_view what, std::string_view file, std::string_view detail,
                    int64_t total) = 0;
  // Shows the count done and delivers the waiting messages: true once Cancel was pressed.
  virtual bool Update(int64_t done) = 0;
  virtual void Close() = 0;
};

// The progress box on the process's ProgressSink (its three text lines, the percentage as
// its first status line); Cancel is the sink's cancel flag (SIGINT, SIGTERM).
class SinkScanProgress : public ScanProgress {
 public:
  void Open(std::string_view what, std::string_view file, std::string_view detail,
            int64_t total) override;
  bool Update(int64_t done) override;
  void Close() override;

 private:
  int64_t total_ = 0;
};

}  // namespace kavrinth
