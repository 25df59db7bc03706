// Reading the scan report: layers with data, the report's own top, the structure sub-tree.
#include "tabreng/scan_report.h"

#include <algorithm>
#include <cctype>

#include "support/line_file.h"
#include "support/progress_sink.h"
#include "tabreng/command_line.h"

namespace kavrinth {

namespace {

constexpr std::string_view kConnector = "__ ";

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Index of the first line after the title line, or the line count when there is none.
size_t SectionStart(const ScanReport& report, std::string_view title, size_t from) {
  for (size_t i = from; i < report.lines.size(); ++i) {
    if (report.lines[i] == title) return i + 1;
  }
  return report.lines.size();
}

// The hierarchy's lines that are not empty.
std::vector<std::string_view> HierarchyLines(const ScanReport& report) {
  std::vector<std::string_view> lines;
  for (size_t i = SectionStart(report, kScanHierarchyTitle, 0); i < report.lines.size(); ++i) {
    if (!Trim(report.lines[i]).empty()) lines.push_back(report.lines[i]);
  }
  return lines;
}

// The structure a hierarchy line names: the text after its last '|' with the connector
// skipped, or the whole line for a root.
std::string_view LineName(std::string_view line) {
  const size_t bar = line.rfind('|');
  if (bar == std::string_view::npos) return Trim(line);
  std::string_view name = line.substr(bar + 1);
  if (name.starts_with(kConnector)) name.remove_prefix(kConnector.size());
  return Trim(name);
}

// Number of '|' after the given column (-1: the whole line).
int BarsAfter(std::string_view line, long column) {
  int count = 0;
  for (size_t i = static_cast<size_t>(column + 1); i < line.size(); ++i) count += line[i] == '|';
  return count;
}

// The top's line matches by the exact name only: a root line that is the name, or a
// sub-structure line whose last connector is followed by exactly the name.
bool IsLineOf(std::string_view line, std::string_view name) {
  const size_t bar = line.rfind('|');
  if (bar == std::string_view::npos) return Trim(line) == name;
  return line.substr(bar + 1).starts_with(kConnector) && LineName(line) == name;
}

void AddLayerNumbers(std::string_view line, LayerSet& layers) {
  while (!line.empty()) {
    const size_t comma = line.find(',');
    const std::string_view token = Trim(line.substr(0, comma));
    line = comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
    if (token.empty() || !std::isdigit(static_cast<unsigned char>(token[0]))) continue;
    long value = 0;
    for (char c : token) {
      if (!std::isdigit(static_cast<unsigned char>(c)) || value >= kLayerCount) break;
      value = value * 10 + (c - '0');
    }
    layers.Add(static_cast<int>(value));  // numbers beyond 1023 are ignored by the set
  }
}

LayerSet LayersWithData(const ScanReport& report) {
  LayerSet layers;
  for (size_t i = SectionStart(report, kScanLayersTitle, 0); i < report.lines.size();
       i = SectionStart(report, kScanLayersTitle, i)) {
    ++i;  // the line after the title is not part of the list
    for (; i < report.lines.size() && !Trim(report.lines[i]).empty(); ++i) {
      AddLayerNumbers(report.lines[i], layers);
    }
  }
  return layers;
}

std::string ReportTop(const ScanReport& report) {
  std::string best;
  int best_depth = -1;
  std::string_view candidate;
  int depth = -1;
  const auto settle = [&] {
    if (depth >= 0 && depth >= best_depth) {
      best = std::string(candidate);
      best_depth = depth;
    }
  };
  for (std::string_view line : HierarchyLines(report)) {
    const int bars = BarsAfter(line, -1);
    if (bars == 0) {
      settle();
      candidate = Trim(line);
      depth = 0;
    } else if (depth >= 0) {
      depth = std::max(depth, bars);
    }
  }
  settle();
  return best;
}

}  // namespace

bool StructureSelection::Add(std::string_view name) {
  if (Contains(name)) return false;
  index_.emplace(std::string(name), names_.size());
  names_.emplace_back(name);
  return true;
}

void StructureSelection::Remove(std::string_view name) {
  const auto found = index_.find(name);
  if (found == index_.end()) return;
  const size_t slot = found->second;
  index_.erase(found);
  if (slot + 1 != names_.size()) {
    names_[slot] = std::move(names_.back());
    index_.find(std::string_view(names_[slot]))->second = slot;
  }
  names_.pop_back();
}

void StructureSelection::Clear() {
  names_.clear();
  index_.clear();
}

ScanReport LoadScanReport(const std::string& path) {
  ScanReport report;
  CLineFile file;
  if (!file.Open(path)) return report;
  while (file.ReadLine() == 1) report.lines.emplace_back(file.line());
  report.readable = true;
  return report;
}

ScanLayers ReadScanLayers(const ScanReport& report, const EngineOptions& options) {
  ScanLayers layers;
  layers.with_data = LayersWithData(report);
  layers.output = layers.with_data;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    const bool dropped = (options.exclude_mode && options.excluded.Test(layer)) ||
                         (options.include_mode && !options.requested.Test(layer));
    if (dropped) layers.output.Remove(layer);
  }
  ProgressListClear();
  for (int layer = 0; layer < kLayerCount; ++layer) {
    if (layers.output.Test(layer)) ProgressListAdd(std::to_string(layer));
  }
  layers.report_top = ReportTop(report);
  if (options.all_structures && options.include_mode) layers.output = options.requested;
  return layers;
}

int ReadScanHierarchy(const ScanReport& report, std::string_view top_name, size_t max_count,
                      StructureSelection& selection) {
  selection.Clear();
  const std::vector<std::string_view> lines = HierarchyLines(report);
  const auto top = std::find_if(lines.begin(), lines.end(), [top_name](std::string_view line) {
    return IsLineOf(line, top_name);
  });
  if (top == lines.end() || max_count == 0) return 0;
  selection.Add(top_name);
  const size_t bar = top->rfind('|');
  const long column = bar == std::string_view::npos ? -1 : static_cast<long>(bar);
  const int own_count = BarsAfter(*top, column);
  for (auto line = top + 1; line != lines.end() && BarsAfter(*line, column) != own_count; ++line) {
    const std::string_view name = LineName(*line);
    if (name.empty() || selection.Contains(name)) continue;
    if (selection.size() == max_count) return -1;
    selection.Add(name);
  }
  return 0;
}

int SelectTopStructure(const std::string& report_path, const EngineOptions& options,
                       TopSelection& selection) {
  const ScanReport report = LoadScanReport(report_path);
  selection.report_readable = report.readable;
  selection.report_has_hierarchy = std::find(report.lines.begin(), report.lines.end(),
                                             kScanHierarchyTitle) != report.lines.end();
  selection.layers = ReadScanLayers(report, options);
  selection.top_name = options.top_name;
  if (options.top_name == "=" && !selection.layers.report_top.empty()) {
    selection.top_name = selection.layers.report_top;
  }
  const size_t limit = static_cast<size_t>(std::max(options.max_structures, 1));
  if (ReadScanHierarchy(report, selection.top_name, limit, selection.structures) != 0) {
    return ShowEngineFailure("More than " + std::to_string(limit) +
                             " structures lie below the top structure " + selection.top_name +
                             "; raise the limit with -max:.");
  }
  return 0;
}

void ApplyNameCase(char* name, size_t length, int case_mode) {
  for (size_t i = 0; i < length; ++i) {
    char& c = name[i];
    if (case_mode > 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (case_mode < 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

void QualifySelection(TopSelection& selection) {
  auto qualified = [](std::string name) {
    ApplyNameCase(name.data(), name.size(), kEngineNameCase);
    return EngineStructureName(name, true);
  };
  StructureSelection structures;
  for (const std::string& name : selection.structures.names()) structures.Add(qualified(name));
  selection.structures = std::move(structures);
  selection.top_name = qualified(selection.top_name);
}

}  // namespace kavrinth
