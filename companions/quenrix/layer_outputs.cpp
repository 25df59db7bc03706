// Routing shapes to the Intermediate file of their layer.
#include "companions/quenrix/layer_outputs.h"

namespace kavrinth {

bool LayerOutputs::Create(std::string_view top_structure, const std::vector<int>& layers,
                          double units_per_database_unit) {
  slot_.fill(-1);
  files_.clear();
  for (int layer : layers) {
    if (layer < 0 || layer >= kPgLayerCount || slot_[layer] >= 0) continue;
    slot_[layer] = static_cast<int16_t>(files_.size());
    files_.push_back(
        std::make_unique<IntermediateFile>(IntermediateFileName(top_structure, layer),
                                           units_per_database_unit));
    if (!files_.back()->Create()) return false;
  }
  return true;
}

void LayerOutputs::Quadrilateral(int layer, const std::array<int32_t, 8>& corners, bool triangle) {
  if (IntermediateFile* file = For(layer)) {
    file->AddQuadrilateral(corners, triangle);
    failed_ = failed_ || file->failed();
  }
}

void LayerOutputs::Sector(int layer, const SectorShape& sector) {
  if (IntermediateFile* file = For(layer)) {
    file->AddSector(sector);
    failed_ = failed_ || file->failed();
  }
}

bool LayerOutputs::Commit() {
  for (const auto& file : files_) {
    if (!file->Finish()) return false;
  }
  for (const auto& file : files_) {
    if (!file->Commit()) {
      Discard();
      return false;
    }
  }
  return true;
}

void LayerOutputs::Discard() {
  for (const auto& file : files_) file->Discard();
}

std::string LayerOutputs::error() const {
  for (const auto& file : files_) {
    if (file->failed()) return file->error();
  }
  return {};
}

}  // namespace kavrinth
