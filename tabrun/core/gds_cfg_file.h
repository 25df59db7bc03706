// The GDS.CFG job settings file (GdsCfgFile) as the shell knows it: 31 keys, each a record
// of a key line and value lines. A key is recognised only at the start of the file or after
// an empty line, by its first compare-length characters; only its first record counts.
// Limits and record fields are the engine's, so that a file the shell writes means to the
// engine what it means to the shell.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

struct CfgFontSlot {
  std::string file = "txt";
  int mode = 0;   // 0 FLUSH, 1 ROUND, 2 EXTENDED
  int style = 0;  // 0 OUTLINE, 1 LWEIGHT, 2 LWIDENING
};

struct CfgTextStyleEntry {
  std::string name;
  int value = 0;
};

// A LAYER line as the engine reads it: the name, the GDS layer and a colour 1-6.
struct CfgLayerEntry {
  std::string name;
  int layer = 0;
  int colour = 1;
};

// Every value of the key table, at its default.
struct GdsCfgSettings {
  int32_t acad_units = 1000;
  std::string acad_unit = "MM";
  int32_t gds_units = 1000;
  std::string gds_unit = "MM";
  int32_t max_errors = 100;
  int32_t max_point = 200;
  double arc_resolution = 9.0;
  double arc_sag = 0.0;
  double min_line = 0.0;
  double scale_factor = 1.0;
  std::array<double, 4> text_scales = {1.0, 1.0, 1.0, 1.0};
  std::vector<std::string> include;
  std::vector<std::string> exclude;
  std::vector<CfgTextStyleEntry> text_styles;
  int32_t max_layer = 64;
  int32_t error_layer = -1;
  bool block_text = false;
  bool link_mode = true;
  bool remove_hatch = false;
  bool remove_dim = false;
  std::string path = "LWEIGHT";
  bool miter = false;
  bool map_circle = false;
  std::vector<CfgLayerEntry> layers;
  std::array<std::string, 4> font_libs;
  std::array<std::string, 2> ref_libs;
  bool gds_qualify = true;
  std::array<CfgFontSlot, 4> fonts;  // shared by CIF_FONT and PATH_FONT
  std::array<std::string, 4> text_fonts = {"txt", "txt", "txt", "txt"};
  std::array<std::string, 4> text_style_names = {"STANDARD", "STANDARD", "STANDARD", "STANDARD"};
  bool autoscale = false;
  double text_stroke_weight = 10.0;
};

// The key table: key word, compare length, value lines (a list's maximum).
struct GdsCfgKey {
  const char* key;
  int compare;
  int values;
  bool list;
};
const std::vector<GdsCfgKey>& GdsCfgKeyTable();

// True when the line's first word is recognised as a key of the table (by its
// compare-length prefix, the longest one winning); the index goes to *index.
bool MatchGdsCfgKey(std::string_view word, size_t* index);

// Reads the records from a file's text over the defaults. config_directory is where font
// files are looked for when their own name does not find them.
GdsCfgSettings ParseGdsCfg(std::string_view text, const std::string& config_directory);

// The records in table order, each "\r\n<key>\r\n" and its value lines, ending "\r\n\r\n".
std::string FormatGdsCfg(const GdsCfgSettings& settings);

// "1", "y", "yes", "on" (any case) are yes.
bool CfgYes(std::string_view text);
// "UM", "MM", "CM", "M" kept (upper-cased), "IN..." is "INCH", anything else "MIL".
std::string CfgUnitWord(std::string_view text);

}  // namespace kavrinth
