// The viewer's stored settings: read once when the main window is made, written once when
// it closes (the background colour also when it is changed).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/app_profile.h"

namespace kavrinth {

// The settings store's name, also the window title of an empty viewer.
inline constexpr const char* kVexilAppName = "Vexil";

// 192,192,192 as a colour value (red in the low byte).
inline constexpr uint32_t kDefaultBackground = 0xC0C0C0;

struct ViewerSettings {
  int32_t toolbar = 1;
  int32_t statusbar = 1;
  int32_t snap_end_point = 0;
  int32_t grid_on = 0;
  int32_t snap_on = 0;
  std::string grid_snap = "1.0";
  int32_t fill_on = 1;
  int32_t frames_at_startup = 0;  // "FramesAtStartup": a job opens with its frame grid
  // Written back only while marked valid (the Glass Setup marks them).
  bool glass_valid = false;
  int32_t glass_width = 500;
  int32_t glass_height = 500;
  int32_t glass_margin = 50;
  int32_t glass_unit = 0;
  int32_t glass_display_startup = 0;  // "Gls_Disp_SU"
  int32_t glass_display_ch = 1;       // "Gls_Disp_CH"
  int32_t window_show_cmd = 0;        // 1 when the window was maximised at close
  bool ram_use_stored = false;
  int64_t ram_use = 0;
  uint32_t background = kDefaultBackground;
  std::string tmp_dir;
  bool tmp_dir_defaulted = false;  // the current directory was taken
  std::string last_job_file_name;
};

// Reads the settings in their table order over the defaults; current_directory gives the
// defaults of "TmpDir" (also when it names no existing directory) and "LastJobFileName"
// (its "*.job" pattern, also when the file named is missing).
void ReadViewerSettings(const CAppProfile& profile, const std::string& current_directory,
                        ViewerSettings* settings);

// Writes the values stored before the window placement ("Toolbar" to the glass values) and
// those after it ("RamUse", "TmpDir", "LastJobFileName", "FramesAtStartup"): 1, or 0 when
// the store cannot be written.
int WriteViewerSettingsBeforePlacement(const CAppProfile& profile, const ViewerSettings& settings);
int WriteViewerSettingsAfterPlacement(const CAppProfile& profile, const ViewerSettings& settings);

// "VUBKGND": "%d,%d,%d" of red, green and blue, and its reader: red | green << 8 |
// blue << 16, a missing part 0 and each part's low 8 bits taken.
std::string FormatRgbText(uint32_t colour);
uint32_t ParseRgbText(std::string_view text);

}  // namespace kavrinth
