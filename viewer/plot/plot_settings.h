// The plot settings the viewer keeps between plots: read from the plot configuration
// through the plot library's value entries, and written into the plot data file as named
// library properties for the plot library to follow.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "viewer/model/gdx_database.h"

namespace kavrinth {

// The section of the plot configuration that holds the plot values.
inline constexpr const char* kPlotConfigSection = "plendo";

// Names of the paper units, indexed by the "PGUNIT" index.
inline constexpr std::array<std::string_view, 11> kPlotUnitNames = {
    "UINCH", "MIL", "INCH", "FOOT", "YARD", "MILE", "UM", "MM", "CM", "M", "KM"};

inline constexpr int32_t kPaperCustomY = 'Y';
inline constexpr int32_t kPaperCustomZ = 'Z';
inline constexpr int32_t kMaxPlotPens = 16;

struct PlotSettings {
  int32_t paper_code = 'A';
  double custom_width = 0.0;
  double custom_height = 0.0;
  int32_t paper_unit = 2;  // "INCH"
  int32_t max_pen = 2;
  int32_t dpi = 300;
  double line_weight = 0.006;
  double fill_line_weight = 0.003;
  int32_t rotate = 0;
  double scale = 1.0;
  bool scale_given = false;
  double origin_x = 0.0;
  double origin_y = 0.0;
  double margin_left = 0.5;
  double margin_bottom = 0.5;
  double margin_right = 0.5;
  double margin_top = 0.5;
  // Paper size of the code (kept from the last code the table knew).
  double paper_width = 8.5;
  double paper_height = 11.0;
};

// Where the settings are read from and written to: the plot library's value entries.
class PlotValueSource {
 public:
  virtual ~PlotValueSource() = default;
  // The key's value text; nothing when not found. A null section means any section.
  virtual std::optional<std::string> Read(const char* section, const char* key) = 0;
  virtual bool Write(const char* section, const char* key, const char* value) = 0;
};

// The paper width and height of a paper code, in the paper unit: the sizes the automatic
// rotation knows, or nothing for another code. The plot library lays its pages out by it.
inline std::optional<std::pair<double, double>> PaperSizeOfCode(int32_t code,
                                                                const PlotSettings& s) {
  switch (code) {
    case 1:
    case 'A':
      return std::pair{8.5, 11.0};
    case 2:
      return std::pair{8.5, 14.0};
    case 3:
    case 'B':
      return std::pair{11.0, 17.0};
    case 'C':
      return std::pair{17.0, 22.0};
    case 'D':
      return std::pair{34.0, 22.0};
    case 'E':
      return std::pair{44.0, 34.0};
    case kPaperCustomY:
    case kPaperCustomZ:
      return std::pair{s.custom_width, s.custom_height};
    default:
      return std::nullopt;
  }
}

// The resolutions the plot data file can hold (a 16-bit property).
inline constexpr int32_t kMinPlotDpi = 1;
inline constexpr int32_t kMaxPlotDpi = 32767;

// Reads the plot values into the settings (a value that cannot be read leaves the setting
// as it was) and decides the automatic rotation for the plot window. Writes "Transparency"
// first; false when that write failed (the caller reports it and goes on). A value that
// is there but cannot be used is kept out, with a line in *warnings saying so.
bool ReadPlotSettings(PlotValueSource* source, const GdxRect& plot_window, PlotSettings* s,
                      std::vector<std::string>* warnings = nullptr);

// The settings as library properties of the open plot data file, in the order the plot
// library reads them. 0, or the writer's failure (also when a value does not fit its
// property, which is then left out rather than cut).
int WritePlotSettingsProperties(const PlotSettings& s, const GdxRect& job_extents,
                                const GdxRect& plot_window, int32_t fill_mode);

}  // namespace kavrinth
