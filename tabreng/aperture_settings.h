// The user's aperture settings file (named by the GDS.CFG key GERBER), the aperture
// list built from it, and CFG.TMP, the working copy the engine writes for the job and
// rewrites for its feature size and scale.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

enum ApertureShape : int {
  kApertureRound = 0,
  kApertureDonut = 1,
  kApertureSquare = 2,
  kApertureRect = 3,
  kApertureThermal = 4,
  kApertureTarget = 5,
  kApertureOctagon = 6,
  kApertureOblong = 7,
  kAperturePoex = 8,
};

inline constexpr std::array<std::string_view, 9> kApertureShapeNames = {
    "ROUND", "DONUT", "SQUARE", "RECT", "THERMAL", "TARGET", "OCTAGON", "OBLONG", "POEX"};

// Aperture kinds: a flash aperture ("F") or a draw aperture ("D").
enum ApertureKind : int { kApertureFlash = 0, kApertureDraw = 1 };

struct ApertureNode {
  int code = 0;
  std::string text;  // up to 35 characters
  int kind = kApertureFlash;
  int shape = kApertureRound;
  double size1 = 0;
  double size2 = 0;

  // ROUND or SQUARE, or DONUT without a hole.
  bool IsSimple() const;
};

// Aperture units: 1 mils, 2 inch, 3 um, 4 mm, 5 cm.
enum ApertureUnits : int {
  kApertureMils = 1,
  kApertureInch = 2,
  kApertureMicrons = 3,
  kApertureMm = 4,
  kApertureCm = 5
};

// D-codes the aperture file may use.
inline constexpr int kFirstApertureCode = 10;
inline constexpr int kLastApertureCode = 9999;

// The aperture file's settings, at their defaults, and the aperture list in file order.
struct ApertureSettings {
  int units = kApertureMils;  // APTUNITS
  bool circular = false;      // CIRCULAR
  std::string font_name;      // FONT
  std::string font_directory = "./";
  int line_code = 10;  // LINE
  int integer_digits = 2;
  int fraction_digits = 4;
  int first_code = 10;  // START_APT, later the code nearest to the feature size
  bool outline = false;
  int outline_a = 10;
  int outline_b = 10;
  bool suppress_cr = false;
  bool suppress_leading = false;
  double etch = 0;
  double arc_resolution = 4.0;
  int text_code = 0;
  double text_factor = 1.0 / 7;
  int ftext_code = 0;
  double ftext_factor = 0.02;
  double scale = 1.0;   // MSCALE
  double offset_x = 0;  // OFFSET0
  double offset_y = 0;
  std::vector<ApertureNode> apertures;

  // Replaces text and kind of the aperture with that code, or appends a new one
  // (ROUND, sizes 0); a draw aperture takes both sizes from its text read as a real.
  // Returns the aperture.
  ApertureNode& AddAperture(int code, std::string_view text, int kind);
  // Size 1 of the first simple aperture with the code, else 0.
  double ApertureSizeByCode(int code) const;
  // The simple aperture nearest to the size: the first that is strictly closer than
  // every one before it, the scan stopping at one closer than 0.0001. Its size 1 (0
  // when there is none) or its D-code (10 when there is none).
  double NearestApertureSize(double size) const;
  int NearestApertureCode(double size) const;
  // D-code of the first flash aperture whose text is the given one, else 0.
  int ApertureCodeByName(std::string_view text) const;
};

// Results of ReadAptCfg.
inline constexpr int kCfgTmpNotCreated = 102;
inline constexpr int kApertureFileUnreadable = 107;

// True when both texts have the same length and are equal ignoring case.
bool EqualNoCase(std::string_view a, std::string_view b);

// Applies the text of an aperture file to the settings (which start at their
// defaults) and builds the aperture list.
void ParseApertureFile(std::string_view text, ApertureSettings& settings);

// The text CFG.TMP gets from the settings: twelve setting lines, then the size of the
// simple aperture of every D-code 10..9999 (CR LF line ends).
std::string CfgTmpText(const ApertureSettings& settings);

// Creates CFG.TMP at cfg_tmp_path, reads the aperture file and writes the settings
// and sizes into CFG.TMP. 0; kCfgTmpNotCreated when CFG.TMP cannot be created;
// kApertureFileUnreadable when the name is empty or the file cannot be read (CFG.TMP
// then stays empty and the settings at their defaults).
int ReadAptCfg(const std::string& aperture_file, const std::string& cfg_tmp_path,
               ApertureSettings& settings);

// Rewrites CFG.TMP for the feature size (in aperture units) through a temporary at
// temp_path: line 9 becomes 1 / scale_factor, line 10 the D-code nearest to the
// feature size, which also becomes the first D-code; without an outline the outline
// is switched on with that code twice; the size lines are written again as reals.
// 0 when rewritten; 0 too when CFG.TMP cannot be read; -1 (nothing changed) when it
// has fewer than ten lines; -2 when the new file cannot be written (CFG.TMP kept).
int RewriteCfgTmp(double feature_size, double scale_factor, const std::string& cfg_tmp_path,
                  const std::string& temp_path, ApertureSettings& settings);

}  // namespace kavrinth
