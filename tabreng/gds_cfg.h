// The engine's job settings file (GDS.CFG): records of a key line and its value lines,
// read with the engine's own key table. A key counts only at the start of a record (the
// start of the file or after an empty line), the rule the shell's reader follows too.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/structure_names.h"

namespace kavrinth {

// Path modes: how wide paths are drawn.
enum PathMode : int { kPathOutline = 0, kPathLweight = 1, kPathLwidening = 2, kPathRound = 3 };

// Table limits of the name lists.
inline constexpr size_t kCfgNameLength = 33;
inline constexpr size_t kCfgMaxNames = 1024;
inline constexpr size_t kCfgMaxTextStyles = 64;
inline constexpr size_t kCfgMaxLayerNames = 1024;
inline constexpr size_t kCfgReferenceLibraryLength = 43;

struct CfgTextStyle {
  std::string name;
  int value = 0;  // 0..3
};

struct CfgLayerName {
  std::string name;
  int layer = 0;  // modulo MAX_LAYER
  int colour = 0;
  std::string line_type = "CONTINUOUS";
};

// Every setting of the key table, at its default.
struct GdsCfgValues {
  double drawing_unit = 0.001;   // ACADUNIT: 1 / n
  double gds_unit = 0.001;       // GDSUNIT: 1 / n
  std::string unit_name = "MM";  // shared by ACADUNIT and GDSUNIT
  double unit_factor = 1.0;
  int32_t max_errors = 100;
  int32_t max_points = 4096;
  double arc_resolution = 9.0;
  double arc_sag = 0;
  double min_line = 0;  // user units; 0: no minimum path width
  double scale_factor = 1.0;
  std::array<double, 4> text_scales = {1.0, 1.0, 1.0, 1.0};  // TSCALE, one per font
  std::vector<std::string> include_names;
  std::vector<std::string> exclude_names;
  std::vector<CfgTextStyle> text_styles;
  int32_t max_layer = 64;
  int32_t error_layer = -1;
  bool block_text = false;  // text stroking wanted
  bool link_mode = true;
  bool remove_hatch = false;
  bool remove_dimensions = false;
  int path_mode = kPathLweight;
  bool miter = false;
  bool map_circle = false;
  std::vector<CfgLayerName> layer_names;
  std::array<std::string, 2> reference_libraries;
  // GDSQUALIFY
  bool qualify_names = kEngineQualifiesNamesByDefault;
  std::string aperture_file;  // GERBER
};

// 1 for "1", "y", "yes" or "on" in any case, else 0.
int MatchKeyword(std::string_view text);

// The unit name a value line stands for: "UM", "MM", "CM", "M" as they are, a word
// beginning with "IN" "INCH", anything else "MIL" (all without regard to case).
std::string CfgUnitName(std::string_view text);

// Reads the settings from the text of a settings file, starting from the defaults.
GdsCfgValues ParseGdsCfg(std::string_view text);

// Resets every setting to its default, then reads the file opened as named (a missing
// or unreadable file leaves the defaults). Returns the path that was read, or an
// empty string when none was.
std::string ReadEngineGdsCfg(const std::string& file_name, GdsCfgValues& values);

// The other entries of the file's directory whose names differ from its own name only in
// case, in name order: other spellings of the settings file, which are never read in its
// place (the one named, or found first by its name, is).
std::vector<std::string> OtherSpellings(const std::string& path);

}  // namespace kavrinth
