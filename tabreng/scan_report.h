// The scan report as the engine reads it (the layers that hold data and the structure
// hierarchy), the output layers, and the selection of the top structure and its sub-tree.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/structure_names.h"
#include "tabreng/engine_options.h"
#include "tabreng/layer_set.h"

namespace kavrinth {

inline constexpr std::string_view kScanLayersTitle = "LAYERS_CONTAINING_DATA";
inline constexpr std::string_view kScanHierarchyTitle = "HIERARCHY of INDEPENDENT STRUCTURES";

// The longest structure name the engine keeps (its name field holds 34 characters with
// the terminating zero).
inline constexpr size_t kMaxStructureName = 33;

// The selected structures in order of discovery; entry 0 is the top structure.
class StructureSelection {
 public:
  // False when the name is already selected.
  bool Add(std::string_view name);
  bool Contains(std::string_view name) const { return index_.find(name) != index_.end(); }
  // Removes a selected name: the last entry moves into its slot.
  void Remove(std::string_view name);
  void Clear();
  const std::vector<std::string>& names() const { return names_; }
  size_t size() const { return names_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  std::vector<std::string> names_;
  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> index_;
};

// The lines of a scan report, without their line ends.
struct ScanReport {
  bool readable = false;
  std::vector<std::string> lines;
};

// Reads the report (found without regard to the case of its name). A report that
// cannot be read leaves `readable` false and no lines.
ScanReport LoadScanReport(const std::string& path);

struct ScanLayers {
  LayerSet with_data;  // every layer 0..1023 of every LAYERS_CONTAINING_DATA section
  LayerSet output;     // with_data after the include or exclude selection (or -all)
  std::string report_top;
};

// The layers of the report with the selection of the options applied; the progress
// list gets one "%d" line per output layer. Also finds the report's own top: the root
// with the deepest tree below it (the later one of equal depths).
ScanLayers ReadScanLayers(const ScanReport& report, const EngineOptions& options);

// Fills the selection with the top structure and every structure of its sub-tree, at
// most max_count names. 0, or -1 when the sub-tree holds more names than that.
int ReadScanHierarchy(const ScanReport& report, std::string_view top_name, size_t max_count,
                      StructureSelection& selection);

// Upper-cases a..z for case mode 1, lower-cases A..Z for case mode -1, and leaves the name
// as it is for 0, the mode of every job: names are compared exactly as they stand.
void ApplyNameCase(char* name, size_t length, int case_mode);

// The engine's case mode.
inline constexpr int kEngineNameCase = 0;

struct TopSelection {
  ScanLayers layers;
  std::string top_name;  // the argument, or the report's own top for "="
  StructureSelection structures;
  bool report_readable = false;       // the scan report could be read
  bool report_has_hierarchy = false;  // and holds the hierarchy section
};

// Reads the report's layers and hierarchy for the options' top structure. 0, or -1
// after a message when the selection would exceed the maximum structure count. An
// empty selection is the caller's to report.
int SelectTopStructure(const std::string& report_path, const EngineOptions& options,
                       TopSelection& selection);

// Qualifies the names of the selection and its top (GDSQUALIFY), so that they match the
// structure names of the stream, which the record loop qualifies as it reads them. Names
// that become equal are selected once.
void QualifySelection(TopSelection& selection);

}  // namespace kavrinth
