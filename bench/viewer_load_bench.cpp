// Loads an Electromask file into the viewer's layout database, as the viewer does for one
// job entry, and prints the time, the flashes per second and the database bytes per flash.
//
//   viewer_load_bench <file>      (an ASCII or EBCDIC Electromask file in mils)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/notifier.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/pg_scan.h"
#include "viewer/model/viewer_services.h"

int main(int argc, char** argv) {
  using namespace kavrinth;
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: viewer_load_bench <electromask file>\n");
    return argc == 2 ? 0 : 1;
  }
  HeadlessViewerServices services;
  ScopedViewerServices scoped(&services);
  ViewerImportSettings& settings = ImportSettings();
  settings.pg_format = 0;
  settings.metric = false;
  settings.unit_code = UnitCodeFor(0, false);
  SetViewerUnitDigits(settings.unit_code);
  GdxResetBytesAllocated();

  const auto start = std::chrono::steady_clock::now();
  ScanStatus status = ScanStatus::kLoaded;
  const GdxHandle library = ScanPgFile(nullptr, argv[1], 0, &status);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (library == kGdxNoHandle) {
    std::fprintf(stderr, "viewer_load_bench: %s was not loaded\n", argv[1]);
    return 1;
  }
  const ViewLayerEntry& entry = LayerTable()[0];
  const double flashes = double(entry.first_count) + entry.second_count;
  std::printf("%.0f %.3f %.0f %.1f\n", flashes, seconds, flashes / seconds,
              double(GdxBytesAllocated()) / flashes);
  GdxFreeLibrary(library);
  return 0;
}
