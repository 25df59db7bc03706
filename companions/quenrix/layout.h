// The translated stream as the post-processor keeps it: per structure, its shapes on the
// output layers already cut into quadrilaterals and sectors in the structure's own
// coordinates, its text strokes, and its references to other structures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "companions/quenrix/shapes.h"

namespace kavrinth {

class PostProcessorLog;

// A structure reference: one instance, or an array of columns x rows whose instances
// lie at the origin plus whole steps along the column and row vectors.
struct Reference {
  int32_t structure = -1;  // index in Layout::structures; -1 when not defined
  Placement placement;     // of the instance at the origin
  int32_t columns = 1;
  int32_t rows = 1;
  double column_dx = 0;
  double column_dy = 0;
  double row_dx = 0;
  double row_dy = 0;
};

// An open text stroke: `count` points from `first` (a point index into stroke_points).
struct Stroke {
  uint32_t first = 0;
  uint32_t count = 0;
  int16_t layer = 0;
};

struct Structure {
  std::string name;
  std::vector<LocalQuad> quads;
  std::vector<LocalSector> sectors;
  std::vector<Stroke> strokes;
  std::vector<int32_t> stroke_points;
  std::vector<Reference> references;

  bool HasShapes() const { return !quads.empty() || !sectors.empty() || !strokes.empty(); }
};

struct Layout {
  double user_units_per_database_unit = 0;
  double metres_per_database_unit = 0;
  std::vector<Structure> structures;
  std::unordered_map<std::string, int32_t> index;

  // The structure's index, or -1.
  int32_t Find(std::string_view name) const;
};

enum class StepResult { kDone, kFailed, kCancelled };

// Reads the translated stream, keeping the elements on the output layers (a vector of
// kPgLayerCount flags) and every reference. An element that cannot be drawn is a
// warning in the log; a stream that is not valid GDSII, lacks its UNITS or ends early
// fails with a message. Polls the cancel flag (may be null).
StepResult ReadTranslatedStream(std::string_view path, const std::vector<bool>& output_layers,
                                volatile int* cancel_flag, PostProcessorLog& log, Layout* layout,
                                std::string* error);

}  // namespace kavrinth
