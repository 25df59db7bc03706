// The job settings of one engine run: the settings file (GDS.CFG), the aperture file
// with its working copy CFG.TMP, the path mode and the text fonts.
#pragma once

#include <string>

#include "tabreng/aperture_settings.h"
#include "tabreng/engine_options.h"
#include "tabreng/gds_cfg.h"
#include "tabreng/text_strokes.h"

namespace kavrinth {

// The settings file's values (path mode, MIN_LINE, SCALE_FACTOR, BLOCK_TEXT, ...) and
// what the aperture file and the fonts add.
struct JobSettings : GdsCfgValues {
  std::string settings_path;  // the settings file as read, empty when there was none
  ApertureSettings aperture;
  // No outline was set (by the aperture file or -on) before CFG.TMP was rewritten.
  bool local_fill = true;
  EngineFontSet fonts;         // all four slots loaded, or none
  bool text_stroking = false;  // fonts loaded and BLOCK_TEXT on
};

// Loads the job settings, starting from the defaults: the settings file, the aperture
// file into CFG.TMP (in the working directory), the path mode (outline unless -t0 ..
// -t3 chose another), the outline pair of -on, CFG.TMP rewritten for the feature size,
// and the fonts from `support_font` (empty when the engine has none).
void LoadJobSettings(const EngineOptions& options, const std::string& support_font,
                     JobSettings& settings);

}  // namespace kavrinth
