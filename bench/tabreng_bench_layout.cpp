// Writes the benchmark layout of the GDSII -> PG engine with the stream writer: a top
// structure referencing 100 cells that hold the elements (boundaries, wide and
// zero-width paths, texts), and its scan report.
//
//   tabreng_bench_layout <layout.gds> <elements>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gdsii/writer.h"

namespace {

using kavrinth::GdsIntPoint;
using kavrinth::kGdsOk;

constexpr int kCells = 100;

// One element of kind i % 10: four boundaries, three wide paths, two zero-width paths
// and one text out of ten.
void WriteElement(kavrinth::GdsWriter& writer, long i) {
  const int32_t x = static_cast<int32_t>((i % 1000) * 40);
  const int32_t y = static_cast<int32_t>((i / 1000 % 1000) * 40);
  const int kind = static_cast<int>(i % 10);
  if (kind < 4) {
    const std::vector<GdsIntPoint> box = {
        {x, y}, {x + 30, y}, {x + 30, y + 20}, {x, y + 20}, {x, y}};
    writer.WriteBoundaryEx(std::span<const GdsIntPoint>(box), 1 + kind, 0, 0, 0);
  } else if (kind < 7) {
    const std::vector<GdsIntPoint> line = {{x, y}, {x + 30, y + 10}};
    writer.WritePathEx(std::span<const GdsIntPoint>(line), 5, 0, int32_t{6}, kind - 4, 0, 0);
  } else if (kind < 9) {
    const std::vector<GdsIntPoint> line = {{x, y}, {x + 20, y}, {x + 20, y + 20}};
    writer.WritePathEx(std::span<const GdsIntPoint>(line), 6, 0, int32_t{0}, 0, 0, 0);
  } else {
    writer.WriteTextEx(7, 0, 0, 0, 0, 0, false, false, int32_t{0}, 1.0, 0.0, GdsIntPoint{x, y},
                       "T" + std::to_string(i), 0, 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tabreng_bench_layout <layout.gds> <elements>\n");
    return 1;
  }
  const std::string path = argv[1];
  const long elements = std::atol(argv[2]);
  kavrinth::GdsWriter writer;
  if (writer.OpenLibrary(path, "UM", 0.001, "", 1.0, false) != kGdsOk) return 1;
  writer.SetFlags(kavrinth::kGdsNoSpooling);
  writer.BeginStructure("TOP");
  for (int c = 0; c < kCells; ++c) {
    writer.WriteSrefEx("C" + std::to_string(c), GdsIntPoint{0, c * 50000}, 1.0, 0.0, false, 0, 0);
  }
  writer.EndStructure();
  long written = 0;
  for (int c = 0; c < kCells; ++c) {
    writer.BeginStructure("C" + std::to_string(c));
    for (const long end = elements * (c + 1) / kCells; written < end; ++written) {
      WriteElement(writer, written);
    }
    writer.EndStructure();
  }
  if (writer.EndLibrary() != kGdsOk) return 1;

  std::string report_path = path.substr(0, path.rfind('.')) + ".ssn";
  std::ofstream report(report_path, std::ios::binary);
  report << "LAYERS_CONTAINING_DATA\r\n--\r\n1,2,3,4,5,6,7\r\n\r\n"
         << "HIERARCHY of INDEPENDENT STRUCTURES\r\nTOP\r\n";
  for (int c = 0; c < kCells; ++c) report << "  |__ C" << c << "\r\n";
  return report.good() ? 0 : 1;
}
