// Writes a WF2 file of N rectangles spread over 10 x 10 frames of a millimetre with the
// WF2 writer, then scans it into the viewer's layout database as the viewer does for a
// WF2 layer, and prints the polygons scanned and the time of the scan alone.
//
//   wf2_scan_bench <file.wf2> <polygons>      (prints "<polygons> <seconds>")
//   wf2_scan_bench <file.wf2> scan            (the scan of a file written before)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "viewer/model/gdx_database.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"
#include "viewer/model/wf2_writer.h"

int main(int argc, char** argv) {
  using namespace kavrinth;
  if (argc != 3) {
    std::fprintf(stderr, "usage: wf2_scan_bench <file.wf2> <polygons>|scan\n");
    return 1;
  }
  const std::string path = argv[1];
  const bool write = std::string(argv[2]) != "scan";
  const long polygons = write ? std::atol(argv[2]) : 0;
  constexpr int kSide = 10;          // strips, and frames per strip
  constexpr int32_t kFrame = 1000;   // grid steps of a micrometre
  constexpr int32_t kPitch = 10000;  // thousandths of a micrometre between rectangles
  Wf2Header header;
  header.name = "wf2_scan_bench";
  header.frame_width = header.frame_height = kFrame;
  header.strips = header.frames_per_strip = kSide;
  if (write) {
    Wf2Writer writer;
    if (writer.OpenWf2Output(path, header, 0, 0) != kWf2Ok) return 1;
    const long per_frame = (polygons + kSide * kSide - 1) / (kSide * kSide);
    long written = 0;
    for (int64_t frame = 0; frame < kSide * kSide && written < polygons; ++frame) {
      const int64_t strip = frame / kSide, in_strip = frame % kSide;
      const int32_t x0 = static_cast<int32_t>(strip * kFrame * 1000);
      const int32_t y0 = static_cast<int32_t>(in_strip * kFrame * 1000);
      for (long i = 0; i < per_frame && written < polygons; ++i, ++written) {
        const int32_t x = x0 + static_cast<int32_t>(i % 99) * kPitch + 1000;
        const int32_t y = y0 + static_cast<int32_t>(i / 99 % 99) * kPitch + 1000;
        const int32_t w = 2000 + static_cast<int32_t>(i % 7) * 1000, h = 3000;
        writer.points() = {x, y, x + w, y, x + w, y + h, x, y + h, x, y};
        if (writer.WriteWf2Polygon(frame, 10) != kWf2Ok) return 1;
      }
    }
    if (writer.CloseWf2File() != kWf2Ok) return 1;
  }

  HeadlessViewerServices services;
  ScopedViewerServices scoped(&services);
  const auto start = std::chrono::steady_clock::now();
  Wf2ScanResult result;
  const GdxHandle library = ScanWf2File(nullptr, path, 0, &result);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (library == kGdxNoHandle) {
    std::fprintf(stderr, "wf2_scan_bench: %s was not loaded\n", path.c_str());
    return 1;
  }
  std::printf("%lld %.3f\n", static_cast<long long>(result.polygons), seconds);
  GdxFreeLibrary(library);
  return 0;
}
