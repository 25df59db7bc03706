// The viewer application's process-wide state.
#include "viewer/app/viewer_state.h"

#include <filesystem>
#include <system_error>

namespace kavrinth {
namespace {

void (*busy_changed)() = nullptr;

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

void SetBusyChangedCallback(void (*callback)()) { busy_changed = callback; }

}  // namespace kavrinth
