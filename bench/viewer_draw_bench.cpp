// Loads an Electromask file into the viewer's layout database and times full redraws of it
// into the viewer's off-screen surface after zoom-all, as the view draws it: prints the
// flashes, the best redraw time of three, the flashes drawn per second and the extra bytes
// per flash the drawing needed beyond the loaded database.
//
//   viewer_draw_bench <file> [width height]      (an Electromask file in mils; 1024 x 768)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "viewer/display/viewer_display.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/pg_scan.h"
#include "viewer/model/viewer_services.h"

namespace {

// The process's peak resident memory in bytes.
long long PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kavrinth;
  if ((argc != 2 && argc != 4) || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: viewer_draw_bench <electromask file> [width height]\n");
    return argc == 2 ? 0 : 1;
  }
  const int width = argc == 4 ? std::atoi(argv[2]) : 1024;
  const int height = argc == 4 ? std::atoi(argv[3]) : 768;
  HeadlessViewerServices services;
  ScopedViewerServices scoped(&services);
  ViewerImportSettings& settings = ImportSettings();
  settings.pg_format = 0;
  settings.metric = false;
  settings.unit_code = UnitCodeFor(0, false);
  SetViewerUnitDigits(settings.unit_code);

  ScanStatus status = ScanStatus::kLoaded;
  ViewLayerEntry& entry = LayerTable()[0];
  entry.library = ScanPgFile(nullptr, argv[1], 0, &status);
  if (entry.library == kGdxNoHandle) {
    std::fprintf(stderr, "viewer_draw_bench: %s was not loaded\n", argv[1]);
    return 1;
  }
  entry.path = argv[1];
  entry.shown = 1;
  entry.colour = 0x00FFFF;
  entry.fill_mode = kFillPaint;
  const double flashes = double(entry.first_count) + entry.second_count;

  const long long before = PeakResidentBytes();
  ViewerDisplay display;
  if (!display.ResizeOffscreenSurface(width, height)) {
    std::fprintf(stderr, "viewer_draw_bench: no %dx%d surface\n", width, height);
    return 1;
  }
  display.ComputeJobExtents();
  DrawHost host;
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    if (display.DrawAllLayers(&host) != kDrawDone) {
      std::fprintf(stderr, "viewer_draw_bench: the redraw did not complete\n");
      return 1;
    }
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  const long long extra = std::max(PeakResidentBytes() - before, 0LL);
  long long painted = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) painted += display.surface.Pixel(x, y) != kSlotBackground;
  }
  std::printf("%.0f %.4f %.0f %.1f %lld\n", flashes, best, flashes / best, extra / flashes,
              painted);
  GdxFreeLibrary(entry.library);
  return 0;
}
