// The mask test pattern of samples/demo.gds: its structures as data, the GDSII library
// written from them, and the shapes each layer draws once the hierarchy is flattened.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "gdsii/writer.h"

namespace kavrinth::samplegen {

enum class PatternElementKind { kBoundary, kBox, kPath, kSref, kAref, kText };

// One element, in database units (nanometres) of its structure.
struct PatternElement {
  PatternElementKind kind = PatternElementKind::kBoundary;
  int layer = 0;
  // Boundary and box: the corners (not closed); path: the centre line; reference: the
  // origin; array: the origin, the end of the columns and the end of the rows (GDSII's
  // three points, already turned by the angle); text: its position.
  std::vector<GdsIntPoint> points;
  int32_t width = 0;  // path width; text height
  int pathtype = 0;   // 0 flush ends, 2 ends extended by half the width
  std::string name;   // the referenced structure, or the text
  double magnification = 1;
  double angle = 0;  // degrees counter-clockwise
  bool reflect = false;
  int columns = 1;
  int rows = 1;
};

struct PatternStructure {
  std::string name;
  std::vector<PatternElement> elements;
};

// What a layer of the pattern holds.
struct PatternLayer {
  int layer;
  bool manhattan;  // every edge horizontal or vertical once placed
};

inline constexpr std::string_view kTestPatternTop = "TESTPAT";
inline constexpr std::string_view kTestPatternUnit = "UM";
inline constexpr double kTestPatternDatabaseUnit = 0.001;  // microns per database unit

// The layers with shapes, in order. Layer 5 holds only the pattern's title text.
inline constexpr PatternLayer kTestPatternLayers[] = {
    {1, true},   // the frame (a ring cut open to its hole) and the alignment crosses
    {2, true},   // line/space gratings: wide paths in arrays, one array turned
    {3, false},  // triangle, octagon, diamond, a 30-degree path; one copy turned 30 degrees
    {4, true},   // vernier ticks (boxes)
};
inline constexpr int kTestPatternTextLayer = 5;

// The structures, leaf cells first and the top structure last. All Manhattan
// coordinates lie on a 2-micron grid, so every flash side and centre is a whole raw
// unit of every PG format the converters write.
std::vector<PatternStructure> TestPatternStructures();

// The date samples/demo.gds carries, so that writing it again gives the same bytes.
inline constexpr GdsDateTime kSampleDate{2024, 1, 1, 12, 0, 0};

// Writes the library (unit UM, a thousandth of a micron per database unit) with the
// given clock for its dates: the writer's result (0 on success).
int WriteTestPattern(const std::string& path, const GdsClock& clock);

// A polygon in database units of the top structure (not closed).
struct PatternPoint {
  double x = 0;
  double y = 0;
};
using PatternPolygon = std::vector<PatternPoint>;

// The shapes each layer draws, flattened from the top structure through references and
// arrays with their transformations: boundaries and boxes as they are, each wide path
// as the rectangles of its segments (extended at its joins, and at its ends for
// pathtype 2). Texts draw nothing here. Shapes may overlap; their union is the layer.
std::map<int, std::vector<PatternPolygon>> FlattenTestPattern(
    const std::vector<PatternStructure>& structures, std::string_view top);

// A text of the flattened pattern: where it stands, on which layer, how high.
struct PatternText {
  int layer = 0;
  PatternPoint at;
  double height = 0;  // database units
  std::string text;
};
std::vector<PatternText> FlattenedTestPatternTexts(const std::vector<PatternStructure>& structures,
                                                   std::string_view top);

}  // namespace kavrinth::samplegen
