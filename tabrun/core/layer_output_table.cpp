// The per-layer output names of a job.
#include "tabrun/core/layer_output_table.h"

#include <set>

#include "support/paths.h"

namespace kavrinth {
namespace {

std::string WithSuffix(const std::string& name, int layer) {
  std::string stem, extension;
  SplitExtension(name, &stem, &extension);
  return stem + "_" + std::to_string(layer) + extension;
}

}  // namespace

void PgLayerOutputTable::Clear() {
  for (std::string& name : output_names) name.clear();
  for (std::string& name : intermediate_names) name.clear();
  selected.clear();
  use_intermediate = false;
}

std::string PgLayerOutputTable::SelectedText() const {
  std::string text;
  for (int layer : selected) {
    if (!text.empty()) text += ',';
    text += std::to_string(layer);
  }
  return text;
}

void MakeIntermediateName(PgLayerOutputTable* table, int layer, const std::string& name) {
  if (layer < 0 || layer >= kGdsLayerCount) return;
  table->output_names[layer] = name;
  table->intermediate_names[layer] = name.empty() ? std::string() : ReplaceExtension(name, ".int");
}

std::vector<int> MakeOutputNamesUnique(PgLayerOutputTable* table) {
  std::vector<int> renamed;
  std::set<std::string> used;
  for (int layer : table->selected) {
    if (layer < 0 || layer >= kGdsLayerCount) continue;
    std::string name = table->output_names[layer];
    if (name.empty()) continue;
    if (used.count(name) != 0) {
      int attempt = layer;
      do {
        name = WithSuffix(table->output_names[layer], attempt);
        attempt += kGdsLayerCount;
      } while (used.count(name) != 0);
      MakeIntermediateName(table, layer, name);
      renamed.push_back(layer);
    }
    used.insert(name);
  }
  return renamed;
}

std::vector<int> ApplyDefaultExtension(PgLayerOutputTable* table, int max_layer,
                                       std::string_view extension) {
  for (int layer = 0; layer < max_layer && layer < kGdsLayerCount; ++layer) {
    const std::string& name = table->output_names[layer];
    if (!name.empty()) MakeIntermediateName(table, layer, ReplaceExtension(name, extension));
  }
  return MakeOutputNamesUnique(table);
}

}  // namespace kavrinth
