// Fuzz target of the engine's job settings file (GDS.CFG): the input read with the key
// table, after which every setting must lie within the range its key accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tabreng/gds_cfg.h"

namespace kavrinth {
namespace {

bool NameFits(std::string_view name) { return name.size() <= kCfgNameLength; }

void CheckRanges(const GdsCfgValues& v) {
  if (!(v.drawing_unit > 0 && v.gds_unit > 0 && v.scale_factor > 0)) std::abort();
  if (v.max_points < 4 || v.max_points > 4096) std::abort();
  if (v.max_layer < 1 || v.max_layer > 512) std::abort();
  if (v.error_layer < -1 || v.error_layer > 512 || v.max_errors < 0) std::abort();
  if (v.path_mode < kPathOutline || v.path_mode > kPathRound) std::abort();
  if (v.include_names.size() > kCfgMaxNames || v.exclude_names.size() > kCfgMaxNames) std::abort();
  if (v.text_styles.size() > kCfgMaxTextStyles) std::abort();
  if (v.layer_names.size() > kCfgMaxLayerNames) std::abort();
  for (const auto& names : {v.include_names, v.exclude_names}) {
    for (const std::string& name : names) {
      if (!NameFits(name)) std::abort();
    }
  }
  for (const CfgTextStyle& style : v.text_styles) {
    if (!NameFits(style.name) || style.value < 0 || style.value > 3) std::abort();
  }
  for (const CfgLayerName& layer : v.layer_names) {
    if (!NameFits(layer.name) || layer.layer < 0 || layer.layer >= v.max_layer) std::abort();
    if (layer.colour < 1 || layer.colour > 7) std::abort();
  }
  for (const std::string& library : v.reference_libraries) {
    if (library.size() > kCfgReferenceLibraryLength) std::abort();
  }
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckRanges(ParseGdsCfg(text));
  return 0;
}
