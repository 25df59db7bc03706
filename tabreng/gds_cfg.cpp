// Reading the engine's job settings file with its key table.
#include "tabreng/gds_cfg.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <span>

#include "platform/files.h"
#include "tabreng/command_line.h"

namespace kavrinth {

namespace {

using Lines = std::span<const std::string>;

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kWhiteSpace = " \t\r\f\v";

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The words of a line, separated by blanks or tabs.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = line.find_first_not_of(kBlanks);
  while (at != std::string_view::npos) {
    const size_t end = line.find_first_of(kBlanks, at);
    words.push_back(line.substr(at, end - at));
    at = end == std::string_view::npos ? end : line.find_first_not_of(kBlanks, end);
  }
  return words;
}

std::string_view FirstWord(std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  return words.empty() ? std::string_view() : words.front();
}

// A text value: the line without the white space at its end.
std::string TextValue(std::string_view line) {
  const size_t end = line.find_last_not_of(kWhiteSpace);
  return std::string(end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1));
}

std::string Cut(std::string_view text, size_t length) {
  return std::string(text.substr(0, length));
}

long long LongValue(std::string_view line) { return LeadingInteger(line).value_or(0); }
double RealValue(std::string_view line) { return LeadingReal(line).value_or(0); }
bool WordValue(std::string_view line) { return MatchKeyword(FirstWord(line)) != 0; }

bool PositiveReal(double v) { return v > 1e-12 && v < 1e12; }

// ---- What each key does with its value lines ----

using Apply = void (*)(GdsCfgValues&, Lines);

void ApplyUnit(Lines lines, double& unit, GdsCfgValues& v) {
  const long long n = LongValue(lines[0]);
  if (n > 0 && n < 10000000) unit = 1.0 / static_cast<double>(n);
  if (lines.size() < 2) return;
  v.unit_name = CfgUnitName(FirstWord(lines[1]));
  v.unit_factor = 1.0;
}

void ApplyRealIf(double& setting, Lines lines, bool (*accept)(double)) {
  const double value = RealValue(lines[0]);
  if (accept(value)) setting = value;
}

void ApplyLongIf(int32_t& setting, Lines lines, long long low, long long high) {
  const long long value = LongValue(lines[0]);
  if (value >= low && value <= high) setting = static_cast<int32_t>(value);
}

void AppendNames(std::vector<std::string>& names, Lines lines) {
  for (const std::string& line : lines) {
    if (names.size() < kCfgMaxNames) names.push_back(Cut(FirstWord(line), kCfgNameLength));
  }
}

void ApplyTextStyles(GdsCfgValues& v, Lines lines) {
  for (const std::string& line : lines) {
    if (v.text_styles.size() == kCfgMaxTextStyles) break;
    const std::vector<std::string_view> words = Words(line);
    CfgTextStyle style{Cut(words[0], kCfgNameLength), 0};
    const long long n = words.size() > 1 ? LongValue(words[1]) : -1;
    if (n >= 0 && n <= 3) style.value = static_cast<int>(n);
    v.text_styles.push_back(std::move(style));
  }
}

void ApplyLayerNames(GdsCfgValues& v, Lines lines) {
  for (const std::string& line : lines) {
    if (v.layer_names.size() == kCfgMaxLayerNames) break;
    const std::vector<std::string_view> words = Words(line);
    CfgLayerName entry;
    entry.name = Cut(words[0], kCfgNameLength);
    const long long layer = words.size() > 1 ? LongValue(words[1]) : -1;
    // MAX_LAYER is never 0 (a 0 is not taken), so it can divide.
    if (layer >= 0 && layer <= 1023) entry.layer = static_cast<int>(layer % v.max_layer);
    entry.colour = static_cast<int>((v.layer_names.size() + 1) % 7 + 1);
    const long long colour = words.size() > 2 ? LongValue(words[2]) : 0;
    if (colour >= 1 && colour <= 6) entry.colour = static_cast<int>(colour);
    v.layer_names.push_back(std::move(entry));
  }
}

void ApplyPathMode(GdsCfgValues& v, Lines lines) {
  static constexpr std::array<std::string_view, 4> kModes = {"outline", "lweight", "lwidening",
                                                             "round"};
  const std::string_view word = FirstWord(lines[0]);
  for (size_t mode = 0; mode < kModes.size(); ++mode) {
    if (EqualsNoCase(word, kModes[mode])) v.path_mode = static_cast<int>(mode);
  }
}

void ApplyReferenceLibraries(GdsCfgValues& v, Lines lines) {
  for (size_t i = 0; i < lines.size() && i < v.reference_libraries.size(); ++i) {
    v.reference_libraries[i] = Cut(TextValue(lines[i]), kCfgReferenceLibraryLength);
  }
}

struct CfgKey {
  std::string_view key;
  size_t compare_length;
  size_t values;  // the fixed count, or the most lines of a list
  bool list;      // lines up to the first empty one
  Apply apply;    // null: read and not used
};

// The key table in the engine's order.
const std::array<CfgKey, 36> kCfgKeys = {{
    {"ACADUNIT", 5, 2, false, [](GdsCfgValues& v, Lines l) { ApplyUnit(l, v.drawing_unit, v); }},
    {"GDSUNIT", 5, 2, false, [](GdsCfgValues& v, Lines l) { ApplyUnit(l, v.gds_unit, v); }},
    {"MAXERR", 5, 1, false,
     [](GdsCfgValues& v, Lines l) { ApplyLongIf(v.max_errors, l, 0, 9999999); }},
    {"MAX_POINT", 6, 1, false,
     [](GdsCfgValues& v, Lines l) { ApplyLongIf(v.max_points, l, 4, 4096); }},
    {"ARCRES", 5, 1, false,
     [](GdsCfgValues& v, Lines l) {
       ApplyRealIf(v.arc_resolution, l, [](double x) { return x > 0.00999 && x < 90.0999; });
     }},
    {"ARCSAG", 5, 1, false,
     [](GdsCfgValues& v, Lines l) { ApplyRealIf(v.arc_sag, l, PositiveReal); }},
    {"MIN_LINE", 6, 1, false,
     [](GdsCfgValues& v, Lines l) { ApplyRealIf(v.min_line, l, PositiveReal); }},
    {"SCALE_FACTOR", 7, 1, false,
     [](GdsCfgValues& v, Lines l) { ApplyRealIf(v.scale_factor, l, PositiveReal); }},
    {"TSCALE", 5, 4, false,
     [](GdsCfgValues& v, Lines l) {
       for (size_t i = 0; i < l.size(); ++i) {
         ApplyRealIf(v.text_scales[i], l.subspan(i, 1), PositiveReal);
       }
     }},
    {"INCLUDE", 5, 256, true, [](GdsCfgValues& v, Lines l) { AppendNames(v.include_names, l); }},
    {"EXCLUDE", 5, 256, true, [](GdsCfgValues& v, Lines l) { AppendNames(v.exclude_names, l); }},
    {"TSTYLE", 5, 256, true, ApplyTextStyles},
    {"MAX_LAYER", 7, 1, false,
     [](GdsCfgValues& v, Lines l) { ApplyLongIf(v.max_layer, l, 1, 512); }},
    {"ERROR_LAYER", 7, 1, false,
     [](GdsCfgValues& v, Lines l) { ApplyLongIf(v.error_layer, l, 0, 512); }},
    {"BLOCK_TEXT", 5, 1, false, [](GdsCfgValues& v, Lines l) { v.block_text = WordValue(l[0]); }},
    {"LINK_MODE", 7, 1, false, [](GdsCfgValues& v, Lines l) { v.link_mode = WordValue(l[0]); }},
    {"REMOVE_HATCH", 9, 1, false,
     [](GdsCfgValues& v, Lines l) { v.remove_hatch = WordValue(l[0]); }},
    {"REMOVE_DIM", 9, 1, false,
     [](GdsCfgValues& v, Lines l) { v.remove_dimensions = WordValue(l[0]); }},
    {"PATH", 4, 1, false, ApplyPathMode},
    {"MITER", 5, 1, false, [](GdsCfgValues& v, Lines l) { v.miter = WordValue(l[0]); }},
    {"MAP_CIRCLE", 5, 1, false, [](GdsCfgValues& v, Lines l) { v.map_circle = WordValue(l[0]); }},
    {"LAYER", 5, 256, true, ApplyLayerNames},
    {"FONTS", 5, 4, true, nullptr},
    {"REFLIBS", 5, 2, false, ApplyReferenceLibraries},
    {"GDSQUALIFY", 6, 1, false,
     [](GdsCfgValues& v, Lines l) { v.qualify_names = WordValue(l[0]); }},
    {"GERBER", 6, 1, false, [](GdsCfgValues& v, Lines l) { v.aperture_file = TextValue(l[0]); }},
    {"WF2_OUTPUT", 8, 256, true, nullptr},
    {"WF2_SERPENT", 8, 1, false, nullptr},
    {"WF2_PLATE_SIZE", 8, 2, false, nullptr},
    {"WF2_FRAME_SIZE", 8, 2, false, nullptr},
    {"WF2_GRID", 8, 1, false, nullptr},
    {"WF2_DATA_MIN_EXTENTS", 13, 2, false, nullptr},
    {"WF2_DATA_MAX_EXTENTS", 13, 2, false, nullptr},
    {"WF2_MIN_EXTENTS", 8, 2, false, nullptr},
    {"WF2_MAX_EXTENTS", 8, 2, false, nullptr},
    {"WF2_MERGE", 8, 64, true, nullptr},
}};

// The lines of the file: line ends removed, leading white space skipped.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const size_t start = line.find_first_not_of(kWhiteSpace);
    lines.emplace_back(start == std::string_view::npos ? std::string_view() : line.substr(start));
  }
  return lines;
}

// The line index of the key's first record, or lines.size(): a key line is the first
// line of the file or one that follows an empty line.
size_t FindRecord(const std::vector<std::string>& lines, const CfgKey& key) {
  const std::string_view prefix = key.key.substr(0, key.compare_length);
  bool at_record_start = true;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) {
      at_record_start = true;
      continue;
    }
    if (at_record_start && FirstWord(lines[i]).starts_with(prefix)) return i;
    at_record_start = false;
  }
  return lines.size();
}

// The value lines of the record whose key line is at `at`.
Lines ValueLines(const std::vector<std::string>& lines, size_t at, const CfgKey& key) {
  const size_t first = at + 1;
  size_t count = std::min(key.values, lines.size() - first);
  if (key.list) {
    for (size_t i = 0; i < count; ++i) {
      if (lines[first + i].empty()) count = i;
    }
  }
  return Lines(lines).subspan(first, count);
}

}  // namespace

int MatchKeyword(std::string_view text) {
  for (std::string_view yes : {"1", "y", "yes", "on"}) {
    if (EqualsNoCase(text, yes)) return 1;
  }
  return 0;
}

std::string CfgUnitName(std::string_view text) {
  for (std::string_view unit : {"UM", "MM", "CM", "M"}) {
    if (EqualsNoCase(text, unit)) return std::string(unit);
  }
  if (text.size() >= 2 && EqualsNoCase(text.substr(0, 2), "IN")) return "INCH";
  return "MIL";
}

GdsCfgValues ParseGdsCfg(std::string_view text) {
  GdsCfgValues values;
  const std::vector<std::string> lines = SplitLines(text);
  for (const CfgKey& key : kCfgKeys) {
    const size_t at = FindRecord(lines, key);
    if (at == lines.size()) continue;
    const Lines value_lines = ValueLines(lines, at, key);
    if (key.apply != nullptr && !value_lines.empty()) key.apply(values, value_lines);
  }
  return values;
}

std::string ReadEngineGdsCfg(const std::string& file_name, GdsCfgValues& values) {
  values = GdsCfgValues();
  const std::string path = ResolveExistingPath(file_name);
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return "";
  values = ParseGdsCfg(text);
  return path;
}

std::vector<std::string> OtherSpellings(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<std::string> others;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return others;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name != name && ::strcasecmp(entry->d_name, name.c_str()) == 0) {
      others.push_back(slash == std::string::npos ? entry->d_name
                                                  : directory + entry->d_name);
    }
  }
  ::closedir(dir);
  std::sort(others.begin(), others.end());
  return others;
}

}  // namespace kavrinth
