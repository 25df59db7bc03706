// The Plot menu's commands: Page Setup, Plot Setup, Plot Screen and the Plot Window
// dialog's OK, and WritePlotConfig. The plot libraries are loaded by full path from the
// program directory while a command runs and freed after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "viewer/model/gdx_database.h"
#include "viewer/plot/plot_data.h"
#include "viewer/plot/plot_settings.h"

namespace kavrinth {

inline constexpr const char* kPlendoLibrary = "libplendo.so";
inline constexpr const char* kOrviskLibrary = "liborvisk.so";
inline constexpr const char* kPlotConfigName = "plot.cfg";
// The Plot Window dialog's entries are cut to this many characters.
inline constexpr size_t kPlotWindowTextLimit = 516;

// A plot library loaded from the program directory for one command; freed when it goes.
class PlotLibrary {
 public:
  explicit PlotLibrary(std::string_view name);
  ~PlotLibrary();
  PlotLibrary(const PlotLibrary&) = delete;
  PlotLibrary& operator=(const PlotLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }
  // The system error of the failed load or look-up (2 when the file is not there).
  long error_code() const { return error_code_; }
  // The entry that stands for the ordinal ("<name>_ordinal_<n>"), or null.
  void* Entry(int ordinal);

 private:
  std::string path_;
  std::string stem_;
  void* handle_ = nullptr;
  long error_code_ = 0;
};

// The plot configuration file: "plot.cfg" in the viewer's settings directory.
std::string DefaultPlotConfigPath();
// The configuration every plot command hands to the libraries (set at start-up).
std::string& PlotConfigPath();
// The plot settings kept between plots.
PlotSettings& CurrentPlotSettings();

// Page Setup and Plot Setup: 0, or 1 when the library or its entry could not be loaded.
int PageSetup(PlotHost* host);
int PlotSetup(PlotHost* host);
// Plot Screen: the plot data file is made and plotted, and removed afterwards whatever
// happened. 0 when the plot library plotted it; non-zero otherwise.
int PlotScreen(PlotHost* host);
// Stores the rectangle as the plot window and runs Plot Screen (nothing for a rectangle of
// zero width or height): what the viewer does when a plot window is given.
int PlotWindowAndScreen(PlotHost* host, const GdxRect& rect);

// Plot Window dialog's OK with the texts of its two entries ("x,y"): true when the dialog
// closes (the window was taken and, unless empty, plotted); false when it stays open after
// a message (no comma, or a value beyond the 32-bit world).
bool PlotWindowCoordsAccept(std::string_view min_text, std::string_view max_text);

// Reads the plot settings through the plot library and writes them as library properties
// of the open plot data file.
void WritePlotConfig(const std::string& config_path, const GdxRect& job_extents,
                     const GdxRect& plot_window, int32_t fill_mode);

}  // namespace kavrinth
