// PgLayerOutputTable: each GDS layer's PG output name and Intermediate name, the list of
// layers chosen for translation, and which names the PG settings' PG_OUTPUT list carries.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

inline constexpr int kGdsLayerCount = 1024;

struct PgLayerOutputTable {
  std::array<std::string, kGdsLayerCount> output_names;
  std::array<std::string, kGdsLayerCount> intermediate_names;
  bool use_intermediate = false;  // the PG_OUTPUT selector
  std::vector<int> selected;      // the selected-layer list, in list order

  // Empties both name tables and the list.
  void Clear();
  // The list as the engine takes it: decimal numbers joined by ",".
  std::string SelectedText() const;
  // The names PG_OUTPUT carries now.
  const std::array<std::string, kGdsLayerCount>& CurrentNames() const {
    return use_intermediate ? intermediate_names : output_names;
  }
  std::array<std::string, kGdsLayerCount>& CurrentNames() {
    return use_intermediate ? intermediate_names : output_names;
  }
};

// The PG output name of a layer with name, and its Intermediate name (".int").
void MakeIntermediateName(PgLayerOutputTable* table, int layer, const std::string& name);

// Gives every non-empty output name below max_layer the extension. Returns the layers
// whose new name is already another layer's (compared exactly); their names are made
// unique by putting "_<layer>" before the extension.
std::vector<int> ApplyDefaultExtension(PgLayerOutputTable* table, int max_layer,
                                       std::string_view extension);

// Makes the output names of the selected layers unique: a name that an earlier selected
// layer already uses gets "_<layer>" before its extension. Returns the renamed layers.
std::vector<int> MakeOutputNamesUnique(PgLayerOutputTable* table);

}  // namespace kavrinth
