// Fuzz target of the scan report reader: the input read as a ".ssn" report, its layers
// and the report's own top found, and the sub-tree of that top (and of a named top)
// selected as the engine does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tabreng/scan_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  fuzz::BeQuiet();
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.ssn", data + 1, size - 1);
  EngineOptions options;
  options.all_structures = (data[0] & 1) != 0;
  options.include_mode = (data[0] & 2) != 0;
  options.requested.Add(data[0] >> 2);
  options.max_structures = 64;
  const ScanReport report = LoadScanReport(path);
  if (!report.readable) std::abort();
  const ScanLayers layers = ReadScanLayers(report, options);
  StructureSelection selection;
  const int result = ReadScanHierarchy(report, layers.report_top, 64, selection);
  if (result == 0 && selection.size() > 64) std::abort();
  selection.Clear();
  (void)ReadScanHierarchy(report, "TOP", 8, selection);
  if (selection.size() > 8) std::abort();
  options.top_name = (data[0] & 0x80) != 0 ? "=" : "TOP";
  TopSelection top;
  (void)SelectTopStructure(path, options, top);
  return 0;
}
