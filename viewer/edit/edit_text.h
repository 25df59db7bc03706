// Text added as flashes: the text is stroked with the viewer's SHX font; each closed stroke
// of four corners becomes one rectangular flash, and each segment of any other stroke a
// rectangle along it, an eighth of the character height wide.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "fonts/shx_font.h"
#include "viewer/edit/edit_geometry.h"
#include "viewer/model/gdx_database.h"

namespace kavrinth {

struct TextPlacement {
  int rotation = 1;    // 0 = +90 degrees, 1 = 0 degrees, 2 = -90 degrees
  int mirror = 0;      // bit 1 mirror X, bit 2 mirror Y
  double height = -1;  // character height in database units; not above 0: fit the box
  GdxRect box;         // ordered; a given height places the text at (min_x, min_y)
};

// The rectangles (three points each) of the text. Lines are separated by carriage returns
// or line feeds; a trailing one is dropped. False with a message when the text is blank,
// the font has no height, the box is empty while no height is given, or no stroke makes a
// rectangle; `skipped` counts the strokes that made none.
bool TextRectangles(const ShxFont& font, const std::string& text, const TextPlacement& placement,
                    std::vector<std::array<EditPoint, 3>>* out, int* skipped, std::string* message);

}  // namespace kavrinth
