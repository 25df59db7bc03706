// Writes the data of the output converters' benchmark: N quadrilaterals (two in three
// rectangles, the others turned by a multiple of 7 degrees), apart from each other, as
// the Intermediate PG file the converters read and as a GDSII library of the same
// boundaries for the peer to load, from a fixed sequence so every run is the same.
//
//   converter_bench_layout <file.int> <file.gds> <quadrilaterals>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "companions/quenrix/intermediate_file.h"
#include "gdsii/writer.h"

namespace {

using kavrinth::GdsIntPoint;

// The corners of quadrilateral i in database units (thousandths of a micron).
std::array<int32_t, 8> Corners(long i) {
  const int32_t cx = static_cast<int32_t>((i % 1000) * 40000 + 20000);
  const int32_t cy = static_cast<int32_t>((i / 1000) * 40000 + 20000);
  const double half_w = 2000 + (i * 37 % 9000), half_h = 1500 + (i * 53 % 7000);
  const double angle = i % 3 == 2 ? (i % 12 + 1) * 7 * std::numbers::pi / 180 : 0;
  const double c = std::cos(angle), s = std::sin(angle);
  const double dx[4] = {-half_w, half_w, half_w, -half_w};
  const double dy[4] = {-half_h, -half_h, half_h, half_h};
  std::array<int32_t, 8> corners{};
  for (int k = 0; k < 4; ++k) {
    corners[2 * k] = cx + static_cast<int32_t>(std::lround(dx[k] * c - dy[k] * s));
    corners[2 * k + 1] = cy + static_cast<int32_t>(std::lround(dx[k] * s + dy[k] * c));
  }
  return corners;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: converter_bench_layout <file.int> <file.gds> <quadrilaterals>\n");
    return 1;
  }
  const long count = std::atol(argv[3]);
  kavrinth::IntermediateFile intermediate(argv[1]);
  if (!intermediate.Create()) {
    std::fprintf(stderr, "converter_bench_layout: %s\n", intermediate.error().c_str());
    return 1;
  }
  kavrinth::GdsWriter writer;
  if (writer.OpenLibrary(argv[2], "UM", 0.001, "", 1.0, false) != kavrinth::kGdsOk) return 1;
  writer.SetFlags(kavrinth::kGdsNoSpooling);
  writer.BeginStructure("TOP");
  for (long i = 0; i < count; ++i) {
    const std::array<int32_t, 8> corners = Corners(i);
    intermediate.AddQuadrilateral(corners, false);
    std::array<GdsIntPoint, 5> ring;
    for (int k = 0; k < 5; ++k) ring[k] = {corners[2 * (k % 4)], corners[2 * (k % 4) + 1]};
    writer.WriteBoundaryEx(std::span<const GdsIntPoint>(ring), 1, 0, 0, 0);
  }
  writer.EndStructure();
  if (!intermediate.Finish() || !intermediate.Commit()) {
    std::fprintf(stderr, "converter_bench_layout: %s\n", intermediate.error().c_str());
    return 1;
  }
  return writer.EndLibrary() == kavrinth::kGdsOk ? 0 : 1;
}
