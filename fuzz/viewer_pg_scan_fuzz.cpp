// Fuzz target of the viewer's PG scanning: the first input byte picks the job's format and
// unit table, the rest is scanned as a PG file into a library of the layout database,
// which is freed again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "pg2gds/pg_readers.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/pg_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  fuzz::BeQuiet();
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.pg", data + 1, size - 1);
  ViewerImportSettings& settings = ImportSettings();
  settings.pg_format = data[0] % kPgFormatCount;
  settings.metric = (data[0] & 0x80) != 0;
  settings.unit_code = UnitCodeFor(settings.pg_format, settings.metric);
  SetViewerUnitDigits(settings.unit_code);
  const GdxHandle library = ScanPgFile(nullptr, path, 0);
  if (library != kGdxNoHandle) GdxFreeLibrary(library);
  ClearLayerEntry(&LayerTable()[0]);
  return 0;
}
