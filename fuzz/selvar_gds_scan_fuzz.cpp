// Fuzz target of selvar's scan of a GDSII file: the input scanned (with a structure limit
// when the first input byte asks for one) and, when the scan accepts it, the scan report
// written with every section, as the program does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "companions/selvar/gds_scan.h"
#include "companions/selvar/scan_report.h"
#include "fuzz/fuzz_support.h"

namespace kavrinth {
namespace {

void CheckScan(const GdsScan& scan, size_t max_structures) {
  const size_t count = scan.structures.size();
  if (max_structures > 0 && scan.definition_order.size() > max_structures) std::abort();
  for (uint32_t s : scan.definition_order) {
    if (s >= count || !scan.structures[s].defined) std::abort();
  }
  for (const ScanStructure& structure : scan.structures) {
    for (const ScanReference& ref : structure.references) {
      if (ref.child >= count || ref.columns < 1 || ref.rows < 1) std::abort();
    }
  }
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  const size_t max_structures = data[0] & 7;
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  const std::string path = scratch.Write("input.gds", data + 1, size - 1);
  GdsScan scan;
  std::string error;
  if (ScanGdsFile(path, max_structures, &scan, &error) != 0) {
    if (error.empty()) std::abort();
    return 0;
  }
  CheckScan(scan, max_structures);
  ScanReportOptions options;
  options.gds_path = path;
  options.hierarchy = options.extents = options.element_counts = true;
  error.clear();
  if (WriteScanReport(scan, options, scratch.File("input.ssn"), &error) != 0 && error.empty()) {
    std::abort();
  }
  return 0;
}
