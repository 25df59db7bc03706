// Text as strokes: the engine's SHX fonts, and a TEXT element's lettering written as
// boundary elements that hold its open stroke polylines, laid out by the text's
// justification, height, angle and reflection.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fonts/shx_font.h"
#include "fonts/shx_stroke.h"

namespace kavrinth {

struct EngineFont {
  ShxFont shx;
  std::vector<ShxCharMetrics> metrics;  // per character code: advance and height
  int32_t height = 0;                   // the character height, in stroke units
};

// The four font slots of a job; every slot holds a font once text stroking is possible.
using EngineFontSet = std::array<std::shared_ptr<const EngineFont>, 4>;

// Loads the SHX font and measures its characters. 0, or -1 when the font cannot be
// loaded or has no character height.
int LoadEngineFont(const std::string& path, EngineFont& font);

// A TEXT element as the record loop hands it over.
struct EngineText {
  std::string text;  // STRING; lines are separated by carriage returns
  int16_t layer = 0;
  int horizontal = 0;  // 0 left, 1 centre, 2 right
  int vertical = 0;    // 0 top, 1 middle, 2 bottom
  int font = 0;        // 0..3; another number counts as 0
  double height = 0;   // database units
  double angle = 0;    // degrees
  double x = 0;
  double y = 0;
  bool reflected = false;
  bool template_flag = false;
};

struct TextStrokeResult {
  int boundaries = 0;       // elements written
  bool fits = true;         // false when a point had to saturate to 32 bits
  bool incomplete = false;  // a line the font could not stroke was left out
};

// Appends one BOUNDARY element per stroke polyline of two points or more (ELFLAGS with
// the template flag, LAYER, DATATYPE 0, the open polyline as XY, ENDEL) to `out`. A
// polyline longer than one XY record holds continues in a further element from its
// last point.
TextStrokeResult TextToPolygons(const EngineText& text, const EngineFontSet& fonts,
                                const std::array<double, 4>& text_scales,
                                std::vector<uint8_t>& out);

}  // namespace kavrinth
