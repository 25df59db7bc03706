// Fuzz target of the post-processor's translated stream reader: the input read as the
// translated stream with the output layers the first input byte picks. What it accepts
// must hold only what the flattening may rely on: references to known structures or
// none, strokes within their points, shapes on output layers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "companions/quenrix/header_stream.h"
#include "companions/quenrix/layout.h"
#include "companions/quenrix/pg_log.h"
#include "fuzz/fuzz_support.h"

namespace kavrinth {
namespace {

// Every layer, or those whose number shares a bit with the byte.
std::vector<bool> OutputLayers(uint8_t choice) {
  std::vector<bool> layers(kPgLayerCount, choice == 0);
  for (int layer = 0; layer < kPgLayerCount; ++layer) {
    if ((layer & choice) != 0) layers[layer] = true;
  }
  return layers;
}

void CheckLayout(const Layout& layout, const std::vector<bool>& output) {
  const auto count = static_cast<int32_t>(layout.structures.size());
  if (!(layout.user_units_per_database_unit > 0 && layout.metres_per_database_unit > 0)) {
    if (count > 0) std::abort();  // no structure before UNITS
  }
  const auto on_output = [&output](int16_t layer) {
    return layer >= 0 && layer < kPgLayerCount && output[layer];
  };
  for (const Structure& s : layout.structures) {
    if (layout.Find(s.name) < 0) std::abort();
    for (const Reference& ref : s.references) {
      if (ref.structure < -1 || ref.structure >= count) std::abort();
      if (ref.columns < 1 || ref.rows < 1) std::abort();
    }
    for (const Stroke& stroke : s.strokes) {
      if (stroke.count < 2 || !on_output(stroke.layer)) std::abort();
      if (2 * (uint64_t{stroke.first} + stroke.count) > s.stroke_points.size()) std::abort();
    }
    for (const LocalQuad& quad : s.quads) {
      if (!on_output(quad.layer)) std::abort();
    }
    for (const LocalSector& sector : s.sectors) {
      if (!on_output(sector.layer) || !(sector.outer > 0)) std::abort();
    }
  }
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  const std::vector<bool> output = OutputLayers(data[0]);
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.gdx", data + 1, size - 1);
  PostProcessorLog log;  // never opened: the lines go nowhere, the counts still run
  Layout layout;
  std::string error;
  const StepResult result = ReadTranslatedStream(path, output, nullptr, log, &layout, &error);
  if (result == StepResult::kFailed) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (result != StepResult::kDone) std::abort();  // nothing can cancel it here
  CheckLayout(layout, output);
  return 0;
}
