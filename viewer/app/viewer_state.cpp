// The viewer application's process-wide state.
#include "viewer/app/viewer_state.h"

#include <QDesktopServices>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "support/qt/dialogs.h"

namespace kavrinth {
namespace {

void (*busy_changed)() = nullptr;

std::function<void(const std::string&)>& DesktopViewer() {
  static std::function<void(const std::string&)> viewer;
  return viewer;
}

}  // namespace

ViewerAppState& AppState() {
  static ViewerAppState state;
  return state;
}

std::string DialogStartDirectory() {
  std::error_code error;
  const std::filesystem::path last = std::filesystem::path(AppState().last_open_path).parent_path();
  if (!last.empty() && std::filesystem::is_directory(last, error)) return last.string();
  return std::filesystem::current_path(error).string();
}

ShxFont& ViewerTextFont() {
  static ShxFont font;
  return font;
}

BusyScope::BusyScope() {
  if (AppState().busy_depth++ == 0 && busy_changed != nullptr) busy_changed();
}

BusyScope::~BusyScope() {
  if (--AppState().busy_depth == 0 && busy_changed != nullptr) busy_changed();
}

void OpenInDesktopViewer(const std::string& path) {
  if (DesktopViewer()) {
    DesktopViewer()(path);
  } else if (HasDisplay()) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  }
}

void SetDesktopViewer(std::function<void(const std::string&)> viewer) {
  DesktopViewer() = std::move(viewer);
}

void OpenPendingFile() {
  std::string path;
  path.swap(AppState().pending_open_path);
  if (!path.empty()) OpenInDesktopViewer(path);
}

void SetBusyChangedCallback(void (*callback)()) { busy_changed = callback; }

}  // namespace kavrinth
