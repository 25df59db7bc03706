// The viewer application's process-wide state.
#include "viewer/app/viewer_state.h"

namespace kavrinth {
namespace {

void (*busy_changed)() = nullptr;

}  // namespace

ViewerAppState& AppState() {
  static ViewerAppState state;
  return state;
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
