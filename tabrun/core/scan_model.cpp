// Reading the scanner's report into the scan model, and the structure report.
#include "tabrun/core/scan_model.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "support/args.h"
#include "support/line_file.h"
#include "tabrun/core/file_ops.h"

namespace kavrinth {
namespace {

constexpr std::string_view kStructureList = "STRUCTURE_LIST";
constexpr std::string_view kHierarchy = "HIERARCHY of INDEPENDENT STRUCTURES";
constexpr std::string_view kLayers = "LAYERS_CONTAINING_DATA";
constexpr std::string_view kCounts = "STRUCTURE_ELEMENT_COUNTS";
constexpr std::string_view kExtents = "STRUCTURE EXTENTS";
constexpr std::string_view kChildMark = "  |__ ";

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// The index of the line after the title (whole line, or prefix), or nothing.
std::optional<size_t> FindSection(const std::vector<std::string>& lines, std::string_view title,
                                  bool prefix) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (prefix ? std::string_view(lines[i]).starts_with(title) : lines[i] == title) return i + 1;
  }
  return std::nullopt;
}

// The numbers between "(" and ")" with commas read as blanks; nothing when the line has
// no such part.
std::optional<std::vector<std::string>> ParenthesisedWords(std::string_view line) {
  const size_t open = line.find('(');
  if (open == std::string_view::npos) return std::nullopt;
  const size_t close = line.find(')', open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  std::string inside(line.substr(open + 1, close - open - 1));
  for (char& c : inside) {
    if (c == ',') c = ' ';
  }
  std::vector<std::string> words;
  size_t i = 0;
  while (i < inside.size()) {
    while (i < inside.size() && std::isspace(static_cast<unsigned char>(inside[i]))) ++i;
    const size_t start = i;
    while (i < inside.size() && !std::isspace(static_cast<unsigned char>(inside[i]))) ++i;
    if (i > start) words.push_back(inside.substr(start, i - start));
  }
  return words;
}

std::optional<int32_t> WholeInt(const std::string& word) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(word.c_str(), &end, 10);
  if (end == word.c_str() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
    return std::nullopt;
  }
  return static_cast<int32_t>(v);
}

std::optional<double> WholeReal(const std::string& word) {
  char* end = nullptr;
  const double v = std::strtod(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

// A value in user units times the resolution, rounded half away from zero and kept in the
// 32-bit range.
int32_t ToDatabaseUnits(double value, int32_t resolution) {
  const double scaled = std::round(value * resolution);
  if (scaled >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (scaled <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<int32_t>(scaled);
}

// Depth of a child line (1 plus the "|" before its mark), 0 for a root line, -1 for a
// continuation line.
int LineDepth(const std::string& line) {
  const size_t mark = line.find(kChildMark);
  if (mark != std::string::npos) {
    int bars = 0;
    for (size_t i = 0; i < mark; ++i) bars += line[i] == '|';
    return 1 + bars;
  }
  if (line.find("  |") != std::string::npos) return -1;
  return 0;
}

}  // namespace

uint32_t StructNameHash(std::string_view name) {
  uint32_t sum = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    sum += static_cast<uint32_t>(i + 1) * static_cast<unsigned char>(name[i]);
  }
  return sum & 0xFF;
}

void ScanModel::Reset() { *this = ScanModel(); }

void ScanModel::Load(std::string_view report_text) {
  Reset();
  lines_ = SplitTextLines(report_text);
  LoadScanStructureList();
  ReadHierarchyTop();
  report_top = top;
  LoadScanLayers();
  LoadScanElementCounts();
  LoadScanExtents();
  MarkHierarchy(top);
}

void ScanModel::LoadScanStructureList() {
  size_t dropped = 0;
  if (std::optional<size_t> at = FindSection(lines_, kStructureList, false)) {
    for (size_t i = *at; i < lines_.size(); ++i) {
      const size_t paren = lines_[i].find(')');
      if (paren == std::string::npos) break;
      if (structures.size() >= kScanMaxStructures) {
        ++dropped;
        continue;
      }
      ScanStructure s;
      s.name = std::string(TrimLeft(std::string_view(lines_[i]).substr(paren + 1)))
                   .substr(0, kScanNameLength);
      s.hash = StructNameHash(s.name);
      structures.push_back(std::move(s));
    }
  }
  if (dropped > 0) {
    warnings.push_back(std::to_string(dropped) + " structure(s) beyond the first " +
                       std::to_string(kScanMaxStructures) + " of the scan report were left out.");
  }
}

void ScanModel::LoadScanLayers() {
  size_t dropped = 0;
  if (std::optional<size_t> at = FindSection(lines_, kLayers, false)) {
    for (size_t i = *at + 1; i < lines_.size() && !lines_[i].empty(); ++i) {
      std::string_view rest = TrimLeft(lines_[i]);
      while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = Trim(rest.substr(0, comma));
        if (!item.empty()) {
          if (layers_with_data.size() < kScanMaxLayers) {
            layers_with_data.emplace_back(item.substr(0, 6));
          } else {
            ++dropped;
          }
        }
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
    }
  }
  if (dropped > 0) {
    warnings.push_back(std::to_string(dropped) + " layer(s) beyond the first " +
                       std::to_string(kScanMaxLayers) + " of the scan report were left out.");
  }
}

void ScanModel::LoadScanElementCounts() {
  std::optional<size_t> at = FindSection(lines_, kCounts, true);
  if (!at) return;
  size_t s = 0;
  for (size_t i = *at + 1; i < lines_.size() && s < structures.size(); ++i, ++s) {
    const auto words = ParenthesisedWords(lines_[i]);
    if (!words || words->size() < 5) return;
    std::array<int32_t, 5> counts{};
    for (size_t k = 0; k < 5; ++k) {
      const auto v = WholeInt((*words)[k]);
      if (!v) return;
      counts[k] = *v;
    }
    structures[s].counts = counts;
  }
}

void ScanModel::LoadScanExtents() {
  std::optional<size_t> at = FindSection(lines_, kExtents, true);
  if (!at) return;
  size_t i = *at;
  if (i + 1 >= lines_.size() || !lines_[i].starts_with("Resolution") ||
      !lines_[i + 1].starts_with("User Units")) {
    return;
  }
  const size_t colon = lines_[i].find(':');
  const auto value = colon == std::string::npos
                         ? std::nullopt
                         : WholeInt(std::string(Trim(lines_[i].substr(colon + 1))));
  if (value && *value >= 0) resolution = *value;
  // Trimmed, so that " MIL" is recognised as mils wherever the unit is compared.
  const size_t unit_colon = lines_[i + 1].find(':');
  if (unit_colon != std::string::npos) {
    gds_unit = std::string(Trim(lines_[i + 1].substr(unit_colon + 1)));
  }
  size_t s = 0;
  for (i += 3; i < lines_.size() && s < structures.size(); ++i, ++s) {
    const auto words = ParenthesisedWords(lines_[i]);
    if (!words || words->size() < 4) return;
    std::array<int32_t, 4> extents{};
    for (size_t k = 0; k < 4; ++k) {
      const auto v = WholeReal((*words)[k]);
      if (!v) return;
      extents[k] = ToDatabaseUnits(*v, resolution);
    }
    structures[s].extents = extents;
  }
}

// The top is the root with the deepest tree, the later one on a tie.
void ScanModel::ReadHierarchyTop() {
  std::optional<size_t> at = FindSection(lines_, kHierarchy, false);
  if (!at) return;
  hierarchy_start_ = *at;
  std::string current_root;
  bool have_root = false;
  int deepest = 0;
  int best = -1;
  auto judge = [&] {
    if (have_root && deepest >= best) {
      best = deepest;
      top = current_root.substr(0, kScanNameLength);
    }
  };
  for (size_t i = *at; i < lines_.size(); ++i) {
    if (Trim(lines_[i]).empty()) continue;
    const int depth = LineDepth(lines_[i]);
    if (depth < 0) continue;
    if (depth == 0) {
      judge();
      current_root = std::string(Trim(lines_[i]));
      have_root = true;
      deepest = 0;
    } else if (depth > deepest) {
      deepest = depth;
    }
  }
  judge();
}

int ScanModel::Find(std::string_view name) const {
  const uint32_t hash = StructNameHash(name);
  for (size_t i = 0; i < structures.size(); ++i) {
    if (structures[i].hash == hash && structures[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

namespace {

// The line of the name in the hierarchy (a root equal to it, or a child whose text after
// "|__ " equals it) and the length of the text before the name.
std::optional<std::pair<size_t, size_t>> FindNameLine(const std::vector<std::string>& lines,
                                                      size_t start, std::string_view name) {
  if (start == 0 || name.empty()) return std::nullopt;
  for (size_t i = start; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t mark = line.find("|__ ");
    if (mark != std::string::npos) {
      if (std::string_view(line).substr(mark + 4) == name) return std::make_pair(i, mark + 4);
    } else if (line == name) {
      return std::make_pair(i, size_t{0});
    }
  }
  return std::nullopt;
}

// Calls visit with every line index of the subtree below the name line.
template <class Visit>
void ForSubtree(const std::vector<std::string>& lines, size_t name_line, size_t indent,
                Visit visit) {
  for (size_t i = name_line + 1; i < lines.size(); ++i) {
    const std::string_view trimmed = Trim(lines[i]);
    if (trimmed.empty() || trimmed == "|") continue;
    const size_t bar = lines[i].rfind('|');
    if (bar == std::string::npos || bar <= indent) break;
    visit(i);
  }
}

}  // namespace

int ScanModel::MarkHierarchy(std::string_view name) {
  for (ScanStructure& s : structures) s.in_hierarchy = false;
  hierarchy_count = 0;
  const auto found = FindNameLine(lines_, hierarchy_start_, name);
  if (!found) return 0;
  auto mark = [&](std::string_view structure) {
    const int index = Find(structure);
    if (index >= 0 && !structures[index].in_hierarchy) {
      structures[index].in_hierarchy = true;
      ++hierarchy_count;
    }
  };
  mark(name);
  ForSubtree(lines_, found->first, found->second, [&](size_t i) {
    const std::string_view line = Trim(lines_[i]);
    const size_t blank = line.find_last_of(' ');
    const std::string_view word = blank == std::string_view::npos ? line : line.substr(blank + 1);
    if (word != "|" && word != "(UNDEFINED)") mark(word);
  });
  return hierarchy_count;
}

std::string ScanModel::Dependencies(std::string_view name) const {
  const auto found = FindNameLine(lines_, hierarchy_start_, name);
  if (!found) return {};
  // A child's lines lose the text before its "|__" and that '|'; a root's stay whole.
  const size_t cut = found->second == 0 ? 0 : found->second - 3;
  auto cut_line = [&](const std::string& line) {
    return (line.size() > cut ? line.substr(cut) : std::string()) + "\r\n";
  };
  std::string text = cut_line(lines_[found->first]);
  ForSubtree(lines_, found->first, found->second, [&](size_t i) { text += cut_line(lines_[i]); });
  return text;
}

std::string ScanModel::FormatUserUnits(int32_t value) const {
  return FormatFixedPoint(value, resolution);
}

bool ScanModel::LayerHasData(int layer) const {
  const std::string text = std::to_string(layer);
  for (const std::string& name : layers_with_data) {
    if (name == text) return true;
  }
  return false;
}

std::string FormatTemplateText(std::string_view format, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // %[flags][width][.precision][length]conversion, rebuilt from checked pieces only.
    size_t j = i + 1;
    std::string flags;
    while (j < format.size() &&
           std::string_view("-+ #0").find(format[j]) != std::string_view::npos) {
      flags += format[j++];
    }
    std::string width;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) &&
           width.size() < 3) {
      width += format[j++];
    }
    std::string precision;
    if (j < format.size() && format[j] == '.') {
      ++j;
      precision = ".";
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) &&
             precision.size() < 4) {
        precision += format[j++];
      }
    }
    while (j < format.size() &&
           std::string_view("hlLqjzt").find(format[j]) != std::string_view::npos) {
      ++j;
    }
    if (j >= format.size()) {
      out.append(format.substr(i));
      break;
    }
    const char conversion = format[j];
    const std::string arg = next < args.size() ? args[next] : std::string();
    char buffer[1200];
    if (std::string_view("diuxXo").find(conversion) != std::string_view::npos) {
      ++next;
      const std::string conversion_format = "%" + flags + width + precision + "ll" + conversion;
      std::snprintf(buffer, sizeof buffer, conversion_format.c_str(),
                    std::strtoll(arg.c_str(), nullptr, 10));
      out += buffer;
    } else if (std::string_view("feEgG").find(conversion) != std::string_view::npos) {
      ++next;
      const std::string conversion_format = "%" + flags + width + precision + conversion;
      std::snprintf(buffer, sizeof buffer, conversion_format.c_str(),
                    std::strtod(arg.c_str(), nullptr));
      out += buffer;
    } else if (conversion == 's' || conversion == 'c') {
      ++next;
      const std::string text = conversion == 'c' ? arg.substr(0, 1) : arg;
      const std::string conversion_format =
          "%" + std::string(flags.find('-') != std::string::npos ? "-" : "") + width + precision +
          "s";
      std::snprintf(buffer, sizeof buffer, conversion_format.c_str(), text.substr(0, 1024).c_str());
      out += buffer;
    } else {
      out.append(format.substr(i, j - i + 1));  // not a conversion we know: kept as text
    }
    i = j;
  }
  return out;
}

int ExpandReportTemplate(const std::string& template_path, const std::string& report_path,
                         const ScanModel& model, const std::string& gds_path) {
  const std::optional<std::string> text = ReadWholeFile(template_path);
  if (!text) return 1;
  std::string report;
  auto put = [&](const std::string& line) { report += line + "\r\n"; };
  std::array<std::string, 3> row_formats;  // slots of directives 7-9 and 11-13
  bool ended = false;
  for (std::string line : SplitTextLines(*text)) {
    if (ended) break;
    if (line.size() > 127) line.resize(127);
    const bool directive = line.size() > 1 && line[0] == '#' &&
                           (std::isdigit(static_cast<unsigned char>(line[1])) ||
                            (line[1] == '-' && line.size() > 2 &&
                             std::isdigit(static_cast<unsigned char>(line[2])))) &&
                           line.find(':') != std::string::npos;
    if (!directive) {
      put(line);
      continue;
    }
    const size_t colon = line.find(':');
    const long n = std::strtol(line.c_str() + 1, nullptr, 10);
    const std::string body = line.substr(colon + 1);
    if (n < 0) {
      ended = true;
      continue;
    }
    switch (n) {
      case 0:
        put(body);
        break;
      case 1: {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const int hour12 = local.tm_hour > 12 ? local.tm_hour - 12 : local.tm_hour;
        put(FormatTemplateText(body,
                               {std::to_string(local.tm_mon + 1), std::to_string(local.tm_mday),
                                std::to_string(local.tm_year + 1900), std::to_string(hour12),
                                std::to_string(local.tm_min), std::to_string(local.tm_sec),
                                local.tm_hour >= 12 ? "pm" : "am"}));
        break;
      }
      case 2:
        put(FormatTemplateText(body, {gds_path}));
        break;
      case 3:
        put(FormatTemplateText(body, {model.top}));
        break;
      case 4:
        put(FormatTemplateText(body, {std::to_string(model.hierarchy_count)}));
        break;
      case 5:
        put(FormatTemplateText(body, {std::to_string(model.resolution)}));
        break;
      case 6:
        put(FormatTemplateText(body, {model.gds_unit}));
        break;
      case 7:
      case 8:
      case 9:
        row_formats[n - 7] = body;
        break;
      case 11:
      case 12:
      case 13:
        row_formats[n - 11] = body;
        break;
      case 10:
      case 14: {
        int number = 0;
        for (const ScanStructure& s : model.structures) {
          if (!s.in_hierarchy) continue;
          ++number;
          if (n == 10) {
            put(FormatTemplateText(row_formats[0], {model.FormatUserUnits(s.extents[0]),
                                                    model.FormatUserUnits(s.extents[1])}));
            put(FormatTemplateText(row_formats[1], {std::to_string(number), s.name}));
            put(FormatTemplateText(row_formats[2], {model.FormatUserUnits(s.extents[2]),
                                                    model.FormatUserUnits(s.extents[3])}));
          } else {
            put(FormatTemplateText(row_formats[0], {std::to_string(s.counts[kCountBoundary]),
                                                    std::to_string(s.counts[kCountPath])}));
            put(FormatTemplateText(row_formats[1], {std::to_string(number), s.name}));
            put(FormatTemplateText(row_formats[2], {std::to_string(s.counts[kCountSRef]),
                                                    std::to_string(s.counts[kCountARef]),
                                                    std::to_string(s.counts[kCountText])}));
          }
          put(body);
        }
        break;
      }
      default:
        break;  // other directives are dropped
    }
  }
  std::string error;
  if (WriteFileReplacing(report_path, report, &error) != 0) {
    RemoveFile(report_path);
    return 1;
  }
  return 0;
}

}  // namespace kavrinth
