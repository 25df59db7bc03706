// The layer table, the import settings, unit digit sets and the viewer's job state.
#include "viewer/model/layer_table.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

struct UnitRow {
  int32_t code;
  UnitDigits digits;
};

constexpr std::array<UnitRow, 8> kUnitRows = {{
    {-1, {7, 3, 1000}},
    {0, {7, 3, 1000}},
    {1, {8, 2, 100}},
    {2, {9, 1, 10}},
    {3, {7, 3, 1000}},
    {4, {10, 0, 1}},
    {5, {8, 2, 100}},
    {6, {7, 3, 1000}},
}};

constexpr std::array<std::string_view, 7> kUnitNames = {"UM", "MIL", "UM", "UM", "UM", "UM", "MIL"};

}  // namespace

LayerOffset LayerDisplayOffset(const ViewLayerEntry& entry) {
  const double units = CurrentViewerServices().DisplayUnits().database_units_per_user_unit;
  auto scaled = [units](int32_t hundredths) {
    const double v = std::round(hundredths / 100.0 * units);  // halves away from zero
    return static_cast<int32_t>(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
  };
  return {scaled(entry.x_offset), scaled(entry.y_offset)};
}

ViewLayerTable& LayerTable() {
  static auto table = std::make_unique<ViewLayerTable>();
  return *table;
}

void ClearLayerEntry(ViewLayerEntry* entry) {
  if (entry->library != kGdxNoHandle) GdxFreeLibrary(entry->library);
  if (entry->frame_block != kGdxNoHandle) GdxFreeBlock(entry->frame_block);
  *entry = ViewLayerEntry{};
}

ViewerImportSettings& ImportSettings() {
  static ViewerImportSettings settings;
  return settings;
}

int32_t UnitCodeFor(int32_t format, bool metric) {
  if (format < 0 || format >= static_cast<int32_t>(kEnglishUnitCodes.size())) return 2;
  return metric ? kMetricUnitCodes[format] : kEnglishUnitCodes[format];
}

UnitDigits& CurrentUnitDigits() {
  static UnitDigits digits;
  return digits;
}

void SetViewerUnitDigits(int32_t code) {
  for (const UnitRow& row : kUnitRows) {
    if (row.code == code) CurrentUnitDigits() = row.digits;
  }
}

std::string_view UnitCodeName(int32_t code) {
  return code >= 0 && code < static_cast<int32_t>(kUnitNames.size()) ? kUnitNames[code] : "";
}

ViewerJobState& JobState() {
  static ViewerJobState state;
  return state;
}

int32_t Wf2HeaderWord(const std::array<uint8_t, 128>& header, int offset) {
  if (offset < 0 || offset + 4 > static_cast<int>(header.size())) return 0;
  const uint32_t word = (uint32_t{header[offset]} << 24) | (uint32_t{header[offset + 1]} << 16) |
                        (uint32_t{header[offset + 2]} << 8) | header[offset + 3];
  return static_cast<int32_t>(word);
}

}  // namespace kavrinth
