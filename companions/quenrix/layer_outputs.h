// The Intermediate PG files of one run, one per output layer, as the sink of the
// flattened shapes.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "companions/quenrix/header_stream.h"
#include "companions/quenrix/intermediate_file.h"
#include "companions/quenrix/shapes.h"

namespace kavrinth {

class LayerOutputs : public ShapeSink {
 public:
  // Creates the temporaries of every layer's file (named by IntermediateFileName), whose
  // coordinates are written in microns or mils (units per database unit). False with
  // error() set when one cannot be created.
  bool Create(std::string_view top_structure, const std::vector<int>& layers,
              double units_per_database_unit = kIntermediateUnitsPerDatabaseUnit);

  void Quadrilateral(int layer, const std::array<int32_t, 8>& corners, bool triangle) override;
  void Sector(int layer, const SectorShape& sector) override;
  bool ok() const override { return !failed_; }

  // Finishes every file, then renames them all to their final names. False with error()
  // set at the first failure; the files not yet renamed are removed.
  bool Commit();
  // Removes every temporary.
  void Discard();

  std::string error() const;
  const std::vector<std::unique_ptr<IntermediateFile>>& files() const { return files_; }

 private:
  IntermediateFile* For(int layer) {
    return layer >= 0 && layer < kPgLayerCount && slot_[layer] >= 0 ? files_[slot_[layer]].get()
                                                                    : nullptr;
  }

  std::vector<std::unique_ptr<IntermediateFile>> files_;
  std::array<int16_t, kPgLayerCount> slot_{};
  bool failed_ = false;
};

}  // namespace kavrinth
