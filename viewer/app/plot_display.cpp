// The plot's display taken from the viewer's drawing.
#include "viewer/app/plot_display.h"

#include <algorithm>

#include "viewer/app/display_painter.h"

namespace kavrinth {

// What the drawing window shows: the visible view in world units, the display's fill,
// frame grid and glass.
std::optional<PlotDisplay> ShownPlotDisplay() {
  const ViewerDisplay& shown = AppDisplay();
  const DrawWndState& window = shown.window;
  if (!window.has_view() || window.view().right < window.view().left ||
      window.view().bottom < window.view().top) {
    return std::nullopt;
  }
  PlotDisplay display;
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  window.LogicalToWorld({window.view().left, window.view().top}, &x0, &y0);
  window.LogicalToWorld({window.view().right, window.view().bottom}, &x1, &y1);
  display.view_window = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
  display.job_extents = shown.job_extents();
  const DisplaySettings& settings = shown.settings;
  display.fill_mode = settings.fill_mode;
  display.frames_display = settings.frames_display;
  display.frame_width = settings.frame_pitch_x;
  display.frame_height = settings.frame_pitch_y;
  display.frame_columns = settings.frame_columns;
  display.frame_rows = settings.frame_rows;
  display.glass_shown = settings.glass_on;
  display.glass = shown.GlassRectangle();
  display.glass_outline_width = window.LogicalLengthToWorld(4);
  display.chord_tolerance = settings.chord_tolerance;
  return display;
}

}  // namespace kavrinth
