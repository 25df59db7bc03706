// The viewer application's services and its loading progress box.
#include "viewer/app/qt_viewer_services.h"

#include <QApplication>
#include <QCursor>

#include "support/qt/window_helpers.h"
#include "viewer/app/viewer_state.h"

namespace kavrinth {

void QtViewerServices::SendMainEvent(std::string_view status_text) {
  this->status_text = std::string(status_text);
  if (main_event_) main_event_();
}

void QtViewerServices::SetWaitCursor(bool on) {
  if (on) {
    ++wait_cursors_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (wait_cursors_ > 0) {
    --wait_cursors_;
    QApplication::restoreOverrideCursor();
  }
}

std::string QtViewerServices::ErrorListPath() const {
  const ViewerAppState& state = AppState();
  return state.error_file_given ? state.error_file_name : std::string();
}

int64_t QtViewerServices::DatabaseMemoryLimit() const { return AppState().ram_use_limit; }

void QtScanProgress::Open(std::string_view what, std::string_view file, std::string_view detail,
                          int64_t total) {
  if (control_.window == nullptr) {
    control_.state = &state_;
    control_.flags = kPrgrsLines3;
    PrgrsDlgCreate(owner_, &control_);
  }
  PrgrsDlgBox* box = control_.window;
  if (box == nullptr) return;
  box->SetTitle("Loading");
  box->SetItemText(kPrgrsText0, what);
  box->SetItemText(kPrgrsText1, file);
  box->SetItemText(kPrgrsText2, detail);
  box->Command(kPrgrsCmdSetTotal, static_cast<intptr_t>(total));
  PumpMessages(box);
}

bool QtScanProgress::Update(int64_t done) {
  if (PrgrsDlgBox* box = control_.window) {
    box->SetCount(done);
    PumpMessages(box);
  }
  return state_.cancel != 0;
}

void QtScanProgress::Close() {
  if (control_.window != nullptr) {
    const int32_t cancelled = state_.cancel;
    PrgrsDlgDestroy(&control_);
    state_.cancel = cancelled;
  }
}

}  // namespace kavrinth
