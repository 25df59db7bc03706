// The plot libraries' dialogs over the plot configuration: Plot Setup (output, pens, line
// weights, resolution, scale and origin) and Page Setup (paper, unit, orientation,
// margins). OK writes the values; Cancel leaves the file as it was.
#pragma once

#include <string>

class QWidget;

namespace kavrinth {

// True when the user accepted and the values were written.
bool RunPlotSetupDialog(QWidget* parent, const std::string& config_path);
bool RunPageSetupDialog(QWidget* parent, const std::string& config_path);

}  // namespace kavrinth
