// What a plot takes from the viewer's drawing: the visible view in world units, the fill,
// the WF2 frame grid and the glass.
#pragma once

#include <optional>

#include "viewer/plot/plot_data.h"

namespace kavrinth {

// None while the drawing has no view (nothing drawn yet).
std::optional<PlotDisplay> ShownPlotDisplay();

}  // namespace kavrinth
