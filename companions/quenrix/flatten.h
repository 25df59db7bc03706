// Flattening: every shape of the top structure and of the structures it references,
// directly or through arrays, placed into the top structure's coordinates and handed to a
// sink one at a time, so that large arrays cost no memory.
#pragma once

#include <cstdint>
#include <string>

#include "companions/quenrix/layout.h"
#include "companions/quenrix/shapes.h"

namespace kavrinth {

// References nested deeper than this are refused.
inline constexpr size_t kMaxNesting = 4096;

struct FlattenSettings {
  int32_t stroke_width = 1;  // pen width of text strokes, database units
  volatile int* cancel_flag = nullptr;
};

struct FlattenReport {
  uint64_t out_of_range = 0;  // placed shapes left out: a coordinate beyond 32 bits
  uint64_t imprecise = 0;     // shapes with a coordinate the format's floats may move
  uint64_t incomplete_strokes = 0;
};

// Flattens from the top structure. kFailed (with a message) for a reference cycle or a
// nesting too deep, before anything is handed to the sink; kCancelled as soon as the
// cancel flag is seen or the sink fails.
StepResult FlattenLayout(const Layout& layout, int32_t top, const FlattenSettings& settings,
                         ShapeSink& sink, FlattenReport* report, std::string* error);

}  // namespace kavrinth
