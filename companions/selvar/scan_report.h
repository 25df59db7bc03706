// The .ssn scan report that selvar writes from a GdsScan: structure list, layers with data,
// element counts, flattened extents and the hierarchy, in the layout the GDSII -> PG
// engine and shell read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "companions/selvar/gds_scan.h"

namespace kavrinth {

// Section titles, exactly as the readers look for them.
inline constexpr std::string_view kReportStructureListTitle = "STRUCTURE_LIST";
inline constexpr std::string_view kReportLayersTitle = "LAYERS_CONTAINING_DATA";
inline constexpr std::string_view kReportCountsTitle = "STRUCTURE_ELEMENT_COUNTS";
inline constexpr std::string_view kReportExtentsTitle = "STRUCTURE EXTENTS";
inline constexpr std::string_view kReportHierarchyTitle = "HIERARCHY of INDEPENDENT STRUCTURES";

// The hierarchy is drawn with one full sub-tree under every occurrence of a structure;
// a library whose drawing would need more lines than this is refused.
inline constexpr uint64_t kMaxHierarchyLines = 4000000;

struct ScanReportOptions {
  std::string gds_path;         // named in the report's header
  bool hierarchy = false;       // -sh
  bool extents = false;         // -sea
  bool element_counts = false;  // -elmcnt
};

// The name of a user unit of that size ("UM", "MIL", "INCH", ...; "USER" for a size
// without a name).
std::string ScanUnitName(double metres_per_user_unit);

// Database units per user unit, as a whole number of at least 1.
int64_t ScanResolution(double user_units_per_database_unit);

// Defined structures with every structure they reference before them. 0, or 1 with
// *error when a structure references itself, directly or further down.
int StructureOrder(const GdsScan& scan, std::vector<uint32_t>* order, std::string* error);

// The extents of each structure with everything it references, in database units.
struct ScanExtents {
  bool empty = true;
  double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
};
std::vector<ScanExtents> FlattenedExtents(const GdsScan& scan, const std::vector<uint32_t>& order);

// Writes the report under a temporary name beside it and renames it into place (a device
// such as /dev/null is written directly): 0, or 1 with *error (nothing is left at the path
// then, and a report there before stays).
int WriteScanReport(const GdsScan& scan, const ScanReportOptions& options, const std::string& path,
                    std::string* error);

}  // namespace kavrinth
