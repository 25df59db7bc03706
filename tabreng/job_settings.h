// The job settings the main road reads: every setting at its default. Reading the
// settings file and the aperture file comes with the settings module; until then the
// file is only located (found as "gds.cfg" when asked for "GDS.CFG").
#pragma once

#include <string>

#include "tabreng/engine_options.h"

namespace kavrinth {

// Path modes: how wide paths are drawn.
enum PathMode : int { kPathOutline = 0, kPathLweight = 1, kPathLwidening = 2, kPathRound = 3 };

struct JobSettings {
  double min_line = 0;        // MIN_LINE, user units; 0: no minimum path width
  double scale_factor = 1.0;  // SCALE_FACTOR
  int path_mode = kPathLweight;
  bool block_text = false;     // BLOCK_TEXT: text stroking wanted
  bool text_stroking = false;  // fonts loaded and BLOCK_TEXT on
  int aperture_units = 1;      // APTUNITS: 1 mils, 2 inch, 3 um, 4 mm, 5 cm
  std::string settings_path;   // the settings file as found, empty when there is none
};

// Gives every setting its default, locates the settings file, then sets the path mode
// to outline unless -t0 .. -t3 chose another.
void LoadJobSettings(const EngineOptions& options, JobSettings& settings);

}  // namespace kavrinth
