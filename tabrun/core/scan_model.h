// The scan model (CGdsScanData): what the shell reads from the scanner's report: structure
// names, layers with data, element counts and extents, the GDS unit and resolution, and
// the hierarchy below a chosen top structure. Tables are bounded; what does not fit is
// counted in the model's warnings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

inline constexpr size_t kScanMaxStructures = 32768;
inline constexpr size_t kScanMaxLayers = 2048;
inline constexpr size_t kScanNameLength = 34;

// Element counts in the report's order.
enum ScanCount : int { kCountBoundary, kCountPath, kCountARef, kCountSRef, kCountText };

struct ScanStructure {
  std::string name;
  uint32_t hash = 0;
  std::array<int32_t, 5> counts{};
  std::array<int32_t, 4> extents{};  // min X, min Y, max X, max Y in database units
  bool in_hierarchy = false;
};

// The low 8 bits of the sum of position times character, positions from 1.
uint32_t StructNameHash(std::string_view name);

class ScanModel {
 public:
  void Reset();

  // Reads the sections of the report text and chooses the top structure (the root with
  // the deepest tree; the later one on a tie), then marks its hierarchy.
  void Load(std::string_view report_text);

  // The structure of that name, or -1.
  int Find(std::string_view name) const;
  // Marks the named structure and everything below it in the hierarchy; nothing when the
  // name is not found. Returns the count of marked structures.
  int MarkHierarchy(std::string_view name);
  // The name's line and its subtree from the hierarchy section, each line with the name
  // line's indentation plus one character removed, CR LF ended.
  std::string Dependencies(std::string_view name) const;
  // The value in user units: "-", quotient, ".", remainder with as many digits as the
  // resolution needs, rounded half away from zero; "" for resolution 0.
  std::string FormatUserUnits(int32_t value) const;
  // True when a layer's decimal text is among the layers with data.
  bool LayerHasData(int layer) const;

  std::vector<ScanStructure> structures;
  std::vector<std::string> layers_with_data;
  int32_t resolution = 1;
  std::string gds_unit = "UM";
  std::string top;
  // The top the report itself gives (the one Load chose), which the engine takes for "=".
  std::string report_top;
  int hierarchy_count = 0;
  std::vector<std::string> warnings;  // what the bounded tables left out

 private:
  // The section readers, each from the start of the report.
  void LoadScanStructureList();
  void ReadHierarchyTop();
  void LoadScanLayers();
  void LoadScanElementCounts();
  void LoadScanExtents();

  std::vector<std::string> lines_;  // the report's lines, for the hierarchy readers
  size_t hierarchy_start_ = 0;      // first line after the hierarchy title; 0 when none
};

// Writes the structure report from its template (gdsstrct.s_s): directive lines "#N:text"
// expand the model's values into the text, whose conversions take the values as data (the
// template is never handed to printf). 0 on success, 1 when the template cannot be read or
// the report cannot be written (then no report is left).
int ExpandReportTemplate(const std::string& template_path, const std::string& report_path,
                         const ScanModel& model, const std::string& gds_path);

// Formats text with the arguments as a printf format would, where each conversion takes the
// next argument: numeric conversions a number's text, %s any text; missing arguments give
// empty text and unknown conversions are copied as they stand.
std::string FormatTemplateText(std::string_view format, const std::vector<std::string>& args);

}  // namespace kavrinth
