// Writes a viewer job of 1024 layer entries into a job file that also holds the engine's
// sections (as a Corvane job does) and reads it back as the viewer opens a job, timing the
// write and the read apart.
//
//   viewer_job_bench <file.job> <lines>     (prints "<entries read> <write s> <read s>")
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kavrinth;
  if (argc != 3) {
    std::fprintf(stderr, "usage: viewer_job_bench <file.job> <lines>\n");
    return 1;
  }
  const std::string path = argv[1];
  const long lines = std::atol(argv[2]);
  {
    // The engine's part of the job: two lines a section, so that the file has about
    // the lines asked for once the layer table is in.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const long sections = std::max<long>(0, (lines - kViewLayerCount - 4) / 2);
    out << "[General]\r\nlayers=layer0\r\n";
    for (long k = 0; k < sections; ++k) {
      out << "[layer" << k << "]\r\nlayer=" << k % 1024 + 1 << ",/data/pg/file" << k << ".em\r\n";
    }
    if (!out) return 1;
  }
  HeadlessViewerServices services;
  ScopedViewerServices scoped(&services);
  ClearLayerTable();
  for (int n = 0; n < kViewLayerCount; ++n) {
    AddJobLayerEntry("/data/pg/a directory of layers/layer " + std::to_string(n) + ".em", n);
  }
  auto start = std::chrono::steady_clock::now();
  if (WriteJobFile(path) != kViewLayerCount) return 1;
  const double write_seconds = SecondsSince(start);
  ClearLayerTable();
  start = std::chrono::steady_clock::now();
  const int read = ReadJobFile(path);
  const double read_seconds = SecondsSince(start);
  std::printf("%d %.3f %.3f\n", read, write_seconds, read_seconds);
  return read == kViewLayerCount ? 0 : 1;
}
