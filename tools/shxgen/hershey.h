// Reading Hershey fonts in the .jhf text form and turning their glyphs into SHX shape
// commands, for the font the programs draw text with.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavrinth::shxgen {

// The Hershey Roman fonts put the baseline at y = 9 (y grows downwards); capitals
// reach up to y = -12 and descenders down to y = 16.
inline constexpr int kHersheyBaseline = 9;
inline constexpr int kHersheyAbove = 21;
inline constexpr int kHersheyBelow = 7;

using HersheyStroke = std::vector<std::pair<int, int>>;

struct HersheyGlyph {
  int number = 0;  // the glyph's number field
  int left = 0;    // left and right edges of the glyph's cell
  int right = 0;
  std::vector<HersheyStroke> strokes;  // points in Hershey coordinates
};

// Parses .jhf text (lines of a 5-column number, a 3-column vertex count, then the
// vertices as letter pairs around 'R', " R" lifting the pen; a long glyph may continue
// on the following lines). false with a message on a malformed glyph.
bool ParseHersheyText(std::string_view text, std::vector<HersheyGlyph>& glyphs, std::string& error);
bool ReadHersheyFile(const std::string& path, std::vector<HersheyGlyph>& glyphs,
                     std::string& error);

// The glyph as SHX commands: each stroke drawn from the cell's left edge on the
// baseline (x to the right, y upwards), then a move to the next character's start.
std::vector<uint8_t> HersheyGlyphCommands(const HersheyGlyph& glyph);

}  // namespace kavrinth::shxgen
