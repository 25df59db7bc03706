// Reading the header stream's named settings and layer-file records.
#include "companions/quenrix/header_stream.h"

#include <cstdio>
#include <variant>

#include "gdsii/library.h"

namespace kavrinth {
namespace {

constexpr std::string_view kTopStructureSetting = "$TOPSTR$";
constexpr std::string_view kTranslatedStreamSetting = "$JUMP$";

// Keeps a text setting's value when the element is that setting.
void TakeTextSetting(const GdsElement& e, std::string_view name, std::string* value) {
  if (e.text != name) return;
  auto setting = e.SettingValue();
  if (const auto* text = std::get_if<std::string>(&setting)) *value = *text;
}

void TakeLayerFile(const GdsElement& e, HeaderStreamInfo* info, std::vector<bool>& seen) {
  if (e.Find(kGdsUinteger) == nullptr) {
    info->notes.push_back("a layer-file record without a layer number was skipped");
    return;
  }
  int layer = e.uinteger;
  if (layer < 0 || layer >= kPgLayerCount) {
    info->notes.push_back("the layer-file record of layer " + std::to_string(layer) +
                          " is outside 0-1023 and was skipped");
    return;
  }
  if (seen[layer]) return;
  seen[layer] = true;
  info->layers.push_back(layer);
}

}  // namespace

int ReadHeaderStream(std::string_view path, HeaderStreamInfo* info, std::string* error) {
  *info = HeaderStreamInfo();
  GdsLibrary library;
  std::string why;
  if (GdsReadLibrary(path, &library, &why) != 0) {
    *error = "the header stream '" + std::string(path) + "' cannot be read: " + why;
    return 1;
  }
  std::vector<bool> seen(kPgLayerCount, false);
  for (const GdsElement& e : library.elements) {
    if (e.kind == kGdsExtNamedSetting) {
      TakeTextSetting(e, kTopStructureSetting, &info->top_structure);
      TakeTextSetting(e, kTranslatedStreamSetting, &info->translated_stream);
    } else if (e.kind == kGdsExtLayerFile) {
      TakeLayerFile(e, info, seen);
    }
  }
  const char* missing = info->top_structure.empty()       ? "the top structure (\"$TOPSTR$\")"
                        : info->translated_stream.empty() ? "the translated stream (\"$JUMP$\")"
                                                          : nullptr;
  if (missing != nullptr) {
    *error = "the header stream '" + std::string(path) + "' does not name " + missing;
    return 1;
  }
  return 0;
}

}  // namespace kavrinth
