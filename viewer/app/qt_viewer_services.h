// The viewer application's side of what the layout database asks of it: the status line,
// the wait cursor, the display values and the memory limit; and the progress box of job
// loading.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "support/qt/progress_dialog.h"
#include "viewer/model/scan_progress.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {

class QtViewerServices : public ViewerServices {
 public:
  // The main-frame event: the frame shows the status text and delivers the waiting
  // events, so that it shows at once.
  void SetMainEvent(std::function<void()> main_event) { main_event_ = std::move(main_event); }

  void SendMainEvent(std::string_view status_text) override;
  void SetWaitCursor(bool on) override;
  // A WF2 section loaded afresh takes the marks the editor's picks gave its elements.
  void SetHitFlagsHandler(std::function<void(GdxHandle, int32_t, int32_t)> handler) {
    hit_flags_ = std::move(handler);
  }
  void ApplyHitFlags(GdxHandle library, int32_t layer, int32_t, int32_t first) override {
    if (hit_flags_) hit_flags_(library, layer, first);
  }
  std::string ErrorListPath() const override;
  // The rows are kept for the Error Coordinates dialog.
  void ErrorListClear() override { error_rows.clear(); }
  void ErrorListAddRow(std::string_view row) override { error_rows.emplace_back(row); }
  void ErrorListLoaded() override {}
  ViewerDisplayUnits& DisplayUnits() override { return display_; }
  int32_t SelectionMode() const override { return 0; }
  // The frame takes the plot window and plots it.
  void SetPlotWindow(std::function<int(const GdxRect&)> plot) { plot_window_ = std::move(plot); }
  int PlotWindow(const GdxRect& rect) override { return plot_window_ ? plot_window_(rect) : 0; }
  void ClearEmptyDisplayFlag() override { empty_display = false; }
  int64_t DatabaseMemoryLimit() const override;

  std::vector<std::string> error_rows;
  bool empty_display = true;
  std::string status_text;

 private:
  std::function<void()> main_event_;
  std::function<int(const GdxRect&)> plot_window_;
  std::function<void(GdxHandle, int32_t, int32_t)> hit_flags_;
  ViewerDisplayUnits display_;
  int wait_cursors_ = 0;
};

// The loading progress box on the library's progress dialog; Cancel stops the load.
class QtScanProgress : public ScanProgress {
 public:
  explicit QtScanProgress(QWidget* owner) : owner_(owner) {}
  ~QtScanProgress() override { Close(); }
  void Open(std::string_view what, std::string_view file, std::string_view detail,
            int64_t total) override;
  bool Update(int64_t done) override;
  void Close() override;
  // Stops the load at its next update.
  void Cancel() { state_.cancel = 1; }

 private:
  QPointer<QWidget> owner_;
  ProgressState state_;
  ProgressControl control_;
};

}  // namespace kavrinth
