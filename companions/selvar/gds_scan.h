// The GDSII scan behind selvar: one streaming pass over a library that gathers its
// structures, their element counts, the layers that hold data, every reference with its
// transform, and the convex hull of each structure's own geometry.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// A point in database units.
struct ScanPoint {
  double x = 0;
  double y = 0;
};

// Element counts of a structure, in the order the scan report lists them.
enum ScanCount { kCountBoundary, kCountPath, kCountAref, kCountSref, kCountText, kScanCountKinds };

// A structure reference or an array reference: child geometry is reflected (about x),
// magnified and rotated by the matrix, then moved to each instance position
// origin + c * column_step + r * row_step (c < columns, r < rows; 1 x 1 for a SREF).
struct ScanReference {
  uint32_t child = 0;                     // index into GdsScan::structures
  double xx = 1, xy = 0, yx = 0, yy = 1;  // x' = xx x + xy y, y' = yx x + yy y
  ScanPoint origin;
  int32_t columns = 1;
  int32_t rows = 1;
  ScanPoint column_step;
  ScanPoint row_step;
};

struct ScanStructure {
  std::string name;
  bool defined = false;  // false: only referenced
  std::array<uint64_t, kScanCountKinds> counts{};
  std::vector<ScanPoint> hull;  // of the structure's own elements, counter-clockwise
  std::vector<ScanReference> references;
};

struct GdsScan {
  std::string library_name;
  double user_units_per_database_unit = 0;
  double metres_per_database_unit = 0;
  // Every structure named in the file, defined or referenced, in order of first mention.
  std::vector<ScanStructure> structures;
  // The defined structures in the order of the file.
  std::vector<uint32_t> definition_order;
  // GDSII layers (0-65535) of boundaries, paths, boxes, texts and the system's own
  // drawn kinds.
  std::bitset<65536> layers;
};

// Scans the file. max_structures above 0 refuses a library with more structures.
// 0, or 1 with *error naming what is wrong and where.
int ScanGdsFile(std::string_view path, size_t max_structures, GdsScan* scan, std::string* error);

// What a scan gathers and how.
struct GdsScanOptions {
  size_t max_structures = 0;  // above 0: refuse a library with more structures
  // false: the structures' hulls stay empty (a report without extents does not use them).
  bool hulls = true;
  // Threads that fold the hulls of finished structures while the scan reads on; 0: the
  // value of SELVAR_THREADS, else the processors. 1 folds them on the scanning thread.
  int threads = 0;
};
int ScanGdsFile(std::string_view path, const GdsScanOptions& options, GdsScan* scan,
                std::string* error);

// The convex hull (counter-clockwise, no repeated point) of the points, which it reorders.
void ConvexHull(std::vector<ScanPoint>* points, std::vector<ScanPoint>* hull);

}  // namespace kavrinth
