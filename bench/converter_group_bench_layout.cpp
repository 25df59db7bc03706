// Writes the data of the converters' benchmark of one large group of touching pieces: a
// GDSII library of a few hundred bytes whose array of "houses" (a rectangle with a
// sloping roof, 10 x 10 microns, 1 nm database unit) abut on all sides, and the
// Intermediate file the post-processor makes of it: a rectangle and an angled roof per
// house, every piece touching the ones before it, so the converter covers all of them as
// one shape.
//
//   converter_group_bench_layout <file.gds> <file.int> <houses per side>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "companions/quenrix/flatten.h"
#include "companions/quenrix/header_stream.h"
#include "companions/quenrix/intermediate_file.h"
#include "companions/quenrix/layout.h"
#include "companions/quenrix/pg_log.h"
#include "gdsii/writer.h"

namespace {

using kavrinth::GdsIntPoint;

constexpr int kLayer = 1;
constexpr int32_t kPitch = 10000;  // database units (nanometres)

bool WriteLibrary(const char* path, int per_side) {
  kavrinth::GdsWriter writer;
  if (writer.OpenLibrary(path, "UM", 0.001, "", 1.0, false) != kavrinth::kGdsOk) return false;
  writer.SetFlags(kavrinth::kGdsNoSpooling);
  writer.BeginStructure("HOUSE");
  // The walls fill 8 of the 10 microns; the roof slopes in to 4 microns at the top, which
  // the next row's walls stand on.
  const std::vector<GdsIntPoint> house = {{0, 0},        {10000, 0}, {10000, 8000}, {7000, 10000},
                                          {3000, 10000}, {0, 8000},  {0, 0}};
  writer.WriteBoundaryEx(std::span<const GdsIntPoint>(house), kLayer, 0, 0, 0);
  writer.EndStructure();
  writer.BeginStructure("TOP");
  const int32_t span = per_side * kPitch;
  const std::vector<GdsIntPoint> lattice = {{0, 0}, {span, 0}, {0, span}};
  writer.WriteArefEx("HOUSE", std::span<const GdsIntPoint>(lattice), std::nullopt, per_side,
                     per_side, 1.0, 0.0, false, 0, 0);
  writer.EndStructure();
  return writer.EndLibrary() == kavrinth::kGdsOk;
}

// The flattened shapes of the layer, into one Intermediate file.
class FileSink : public kavrinth::ShapeSink {
 public:
  explicit FileSink(kavrinth::IntermediateFile& file) : file_(file) {}
  void Quadrilateral(int, const std::array<int32_t, 8>& corners, bool triangle) override {
    file_.AddQuadrilateral(corners, triangle);
  }
  void Sector(int, const kavrinth::SectorShape& sector) override { file_.AddSector(sector); }
  bool ok() const override { return !file_.failed(); }

 private:
  kavrinth::IntermediateFile& file_;
};

bool WriteIntermediate(const char* gds, const char* path) {
  std::vector<bool> layers(kavrinth::kPgLayerCount, false);
  layers[kLayer] = true;
  kavrinth::PostProcessorLog log;
  kavrinth::Layout layout;
  std::string error;
  if (kavrinth::ReadTranslatedStream(gds, layers, nullptr, log, &layout, &error) !=
      kavrinth::StepResult::kDone) {
    std::fprintf(stderr, "converter_group_bench_layout: %s\n", error.c_str());
    return false;
  }
  // Microns per database unit: the converters read Intermediate coordinates in microns.
  kavrinth::IntermediateFile file(path, layout.metres_per_database_unit / 1e-6);
  if (!file.Create()) {
    std::fprintf(stderr, "converter_group_bench_layout: %s\n", file.error().c_str());
    return false;
  }
  FileSink sink(file);
  kavrinth::FlattenReport report;
  if (kavrinth::FlattenLayout(layout, layout.Find("TOP"), {}, sink, &report, &error) !=
          kavrinth::StepResult::kDone ||
      !file.Finish() || !file.Commit()) {
    std::fprintf(stderr, "converter_group_bench_layout: %s%s\n", error.c_str(),
                 file.error().c_str());
    return false;
  }
  std::printf("%llu pieces\n", static_cast<unsigned long long>(file.quadrilaterals()));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::atoi(argv[3]) <= 0) {
    std::fprintf(stderr,
                 "usage: converter_group_bench_layout <file.gds> <file.int> <houses per side>\n");
    return 1;
  }
  if (!WriteLibrary(argv[1], std::atoi(argv[3]))) {
    std::fprintf(stderr, "converter_group_bench_layout: cannot write %s\n", argv[1]);
    return 1;
  }
  return WriteIntermediate(argv[1], argv[2]) ? 0 : 1;
}
