// Fuzz target of the GDSII library model: the whole input read into a library, then
// every element's decoded values asked for.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "gdsii/library.h"

namespace kavrinth {
namespace {

void TouchElement(const GdsElement& element) {
  (void)element.Magnification();
  (void)element.Angle();
  (void)element.Utf16();
  (void)element.SettingValue();
  (void)element.Find(kGdsXy);
  for (const GdsProperty& property : element.properties) {
    (void)property.IntValue();
    (void)property.TextValue();
  }
  for (const GdsStoredRecord& record : element.records) (void)record.view().Text();
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  GdsRecordReader reader;
  if (!reader.OpenBytes(std::span<const uint8_t>(data, size))) return 0;
  GdsLibrary library;
  std::string error;
  if (GdsReadLibrary(reader, &library, &error) != 0) return 0;
  for (const GdsElement& element : library.elements) TouchElement(element);
  for (const GdsStructure& structure : library.structures) {
    (void)library.FindStructure(structure.name);
    for (const GdsElement& element : structure.elements) TouchElement(element);
  }
  return 0;
}
