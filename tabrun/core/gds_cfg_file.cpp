// Reading and writing the GDS.CFG job settings records.
#include "tabrun/core/gds_cfg_file.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/line_file.h"
#include "support/paths.h"

namespace kavrinth {
namespace {

enum Key : size_t {
  kAcadUnit,
  kGdsUnit,
  kMaxErr,
  kMaxPoint,
  kArcRes,
  kArcSag,
  kMinLine,
  kScaleFactor,
  kTscale,
  kInclude,
  kExclude,
  kTstyle,
  kMaxLayer,
  kErrorLayer,
  kBlockText,
  kLinkMode,
  kRemoveHatch,
  kRemoveDim,
  kPath,
  kMiter,
  kMapCircle,
  kLayer,
  kFontLibs,
  kRefLibs,
  kGdsQualify,
  kCifFont,
  kPathFont,
  kTextFont,
  kTextStyle,
  kAutoscale,
  kTextStrokeWeight,
};

constexpr size_t kMaxLineLength = 1023;

// The file's lines with every CR at their ends and the blanks before their text taken off,
// each cut to the longest line the engine reads.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines = SplitTextLines(text);
  for (std::string& line : lines) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = 0;
    while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first]))) ++first;
    line.erase(0, first);
    if (line.size() > kMaxLineLength) line.resize(kMaxLineLength);
  }
  return lines;
}

std::string FirstWord(std::string_view line) {
  size_t end = 0;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
  return std::string(line.substr(0, end));
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

// A name as kept: its first 33 characters, without the carriage returns the cut leaves at
// its end, which the line it is written on would lose.
std::string CutName(std::string_view word) {
  std::string name(word.substr(0, 33));
  while (!name.empty() && name.back() == '\r') name.pop_back();
  return name;
}

long LongValue(const std::string& line) { return std::strtol(line.c_str(), nullptr, 10); }
double RealValue(const std::string& line) {
  const double v = std::strtod(line.c_str(), nullptr);
  return std::isfinite(v) ? v : 0.0;
}

bool SagRange(double v) { return v > 1e-12 && v < 1e12; }

void TakeLong(const std::string& line, int32_t* value, long low, long high) {
  const long v = LongValue(line);
  if (v >= low && v <= high) *value = static_cast<int32_t>(v);
}

void TakeSag(const std::string& line, double* value) {
  const double v = RealValue(line);
  if (SagRange(v)) *value = v;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The font file as found: the name itself, with ".shx", or its file-name part in the
// configuration directory with and without ".shx"; empty when none exists.
std::string FindFontFile(const std::string& name, const std::string& config_directory) {
  if (FileExists(name)) return name;
  if (FileExists(name + ".shx")) return name + ".shx";
  std::string file_name;
  SplitPath(name, nullptr, &file_name);
  const std::string in_directory = MakePath(config_directory, file_name);
  if (!config_directory.empty() && FileExists(in_directory)) return in_directory;
  if (!config_directory.empty() && FileExists(in_directory + ".shx")) return in_directory + ".shx";
  return {};
}

int FontMode(char c) {
  switch (c) {
    case '0':
    case 'F':
    case 'f':
      return 0;
    case '1':
    case 'R':
    case 'r':
      return 1;
    case '2':
    case 'E':
    case 'e':
    case 'H':
    case 'h':
      return 2;
    default:
      return -1;
  }
}

int FontStyle(const std::string& word) {
  if (word.empty()) return -1;
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
  if (c == 'O') return 0;
  if (c != 'L' && c != 'T' && c != 'W') return -1;
  if (word.size() > 1 && (word[1] == 'W' || word[1] == 'w')) {
    const char third = word.size() > 2 ? static_cast<char>(std::toupper(word[2])) : '\0';
    if (third == 'E') return 1;
    if (third == 'I') return 2;
    return -1;
  }
  return 1;
}

void TakeFontLine(const std::string& line, CfgFontSlot* slot, const std::string& directory) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return;
  const std::string file = FindFontFile(words[0], directory);
  if (file.empty()) return;  // a font that cannot be found is ignored
  const int mode = words.size() > 1 ? FontMode(words[1][0]) : -1;
  const int style = words.size() > 2 ? FontStyle(words[2]) : -1;
  if (mode < 0 || style < 0) {
    slot->mode = 0;
    slot->style = 0;
    return;
  }
  slot->file = file;
  slot->mode = mode;
  slot->style = style;
}

void Apply(size_t key, const std::vector<std::string>& values, GdsCfgSettings& s,
           const std::string& directory) {
  auto at = [&](size_t i) -> const std::string& {
    static const std::string empty;
    return i < values.size() ? values[i] : empty;
  };
  switch (key) {
    case kAcadUnit:
    case kGdsUnit: {
      int32_t* units = key == kAcadUnit ? &s.acad_units : &s.gds_units;
      std::string* unit = key == kAcadUnit ? &s.acad_unit : &s.gds_unit;
      const long n = values.empty() ? 0 : LongValue(at(0));
      if (n > 0 && n < 10000000) *units = static_cast<int32_t>(n);
      if (values.size() > 1) *unit = CfgUnitWord(FirstWord(at(1)));
      break;
    }
    case kMaxErr:
      TakeLong(at(0), &s.max_errors, 0, 9999999);
      break;
    case kMaxPoint:
      TakeLong(at(0), &s.max_point, 4, 4096);
      break;
    case kArcRes: {
      const double v = RealValue(at(0));
      if (v > 0.0999 && v < 90.0999) s.arc_resolution = v;
      break;
    }
    case kArcSag:
      TakeSag(at(0), &s.arc_sag);
      break;
    case kMinLine:
      TakeSag(at(0), &s.min_line);
      break;
    case kScaleFactor:
      TakeSag(at(0), &s.scale_factor);
      break;
    case kTscale:
      for (size_t i = 0; i < values.size() && i < 4; ++i) TakeSag(values[i], &s.text_scales[i]);
      break;
    case kInclude:
    case kExclude: {
      auto& list = key == kInclude ? s.include : s.exclude;
      for (const std::string& v : values) list.push_back(CutName(FirstWord(v)));
      break;
    }
    case kTstyle:
      for (const std::string& v : values) {
        if (s.text_styles.size() >= 64) break;
        const std::vector<std::string> words = Words(v);
        if (words.empty()) continue;
        // As the engine: a style number outside 0-3 counts as 0.
        const long n = words.size() > 1 ? LongValue(words[1]) : -1;
        s.text_styles.push_back({CutName(words[0]), n >= 0 && n <= 3 ? int(n) : 0});
      }
      break;
    case kMaxLayer:
      TakeLong(at(0), &s.max_layer, 1, 512);
      break;
    case kErrorLayer:
      TakeLong(at(0), &s.error_layer, 0, 512);
      break;
    case kBlockText:
      s.block_text = CfgYes(FirstWord(at(0)));
      break;
    case kLinkMode:
      s.link_mode = CfgYes(FirstWord(at(0)));
      break;
    case kRemoveHatch:
      s.remove_hatch = CfgYes(FirstWord(at(0)));
      break;
    case kRemoveDim:
      s.remove_dim = CfgYes(FirstWord(at(0)));
      break;
    case kPath: {
      const std::string word = Upper(FirstWord(at(0)));
      for (const char* mode : {"OUTLINE", "LWEIGHT", "LWIDENING", "ROUND"}) {
        if (word == mode) s.path = word;
      }
      break;
    }
    case kMiter:
      s.miter = CfgYes(FirstWord(at(0)));
      break;
    case kMapCircle:
      s.map_circle = CfgYes(FirstWord(at(0)));
      break;
    case kLayer:
      for (const std::string& v : values) {
        const std::vector<std::string> words = Words(Upper(v));
        if (words.empty()) continue;
        // As the engine: a layer outside 0-1023 is 0, a colour outside 1-6 the next default.
        CfgLayerEntry entry;
        entry.name = CutName(words[0]);
        const long layer = words.size() > 1 ? LongValue(words[1]) : -1;
        if (layer >= 0 && layer <= 1023) entry.layer = static_cast<int>(layer);
        const long colour = words.size() > 2 ? LongValue(words[2]) : 0;
        entry.colour = colour >= 1 && colour <= 6 ? static_cast<int>(colour)
                                                  : static_cast<int>((s.layers.size() + 1) % 7 + 1);
        s.layers.push_back(std::move(entry));
      }
      break;
    case kFontLibs:
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        if (values[i].size() < 44) s.font_libs[i] = values[i];
      }
      break;
    case kRefLibs:
      for (size_t i = 0; i < values.size() && i < 2; ++i) {
        if (values[i].size() < 44) s.ref_libs[i] = values[i];
      }
      break;
    case kGdsQualify:
      s.gds_qualify = CfgYes(FirstWord(at(0)));
      break;
    case kCifFont:
    case kPathFont:
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        TakeFontLine(values[i], &s.fonts[i], directory);
      }
      break;
    case kTextFont:
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        if (values[i].size() < 256) s.text_fonts[i] = values[i];
      }
      break;
    case kTextStyle:
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        if (values[i].size() < 34) s.text_style_names[i] = values[i];
      }
      break;
    case kAutoscale:
      s.autoscale = CfgYes(FirstWord(at(0)));
      break;
    case kTextStrokeWeight:
      TakeSag(at(0), &s.text_stroke_weight);
      break;
    default:
      break;
  }
}

std::string Printf(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

const std::vector<GdsCfgKey>& GdsCfgKeyTable() {
  static const std::vector<GdsCfgKey> kTable = {
      {"ACADUNIT", 5, 2, false},
      {"GDSUNIT", 5, 2, false},
      {"MAXERR", 5, 1, false},
      {"MAX_POINT", 6, 1, false},
      {"ARCRES", 5, 1, false},
      {"ARCSAG", 5, 1, false},
      {"MIN_LINE", 6, 1, false},
      {"SCALE_FACTOR", 7, 1, false},
      {"TSCALE", 5, 4, false},
      {"INCLUDE", 5, 256, true},
      {"EXCLUDE", 5, 256, true},
      {"TSTYLE", 5, 256, true},
      {"MAX_LAYER", 7, 1, false},
      {"ERROR_LAYER", 7, 1, false},
      {"BLOCK_TEXT", 7, 1, false},
      {"LINK_MODE", 7, 1, false},
      {"REMOVE_HATCH", 9, 1, false},
      {"REMOVE_DIM", 9, 1, false},
      {"PATH", 4, 1, false},
      {"MITER", 5, 1, false},
      {"MAP_CIRCLE", 5, 1, false},
      {"LAYER", 5, 256, true},
      {"FONTLIBS", 5, 4, false},
      {"REFLIBS", 5, 2, false},
      {"GDSQUALIFY", 6, 1, false},
      {"CIF_FONT", 6, 4, false},
      {"PATH_FONT", 7, 4, false},
      {"TEXT_FONT", 7, 4, false},
      {"TEXT_STYLE", 7, 4, false},
      {"AUTOSCALE", 7, 1, false},
      {"TEXT_STROKE_WEIGHT", 10, 1, false},
  };
  return kTable;
}

bool MatchGdsCfgKey(std::string_view word, size_t* index) {
  // The longest matching prefix wins: "PATH_FONT" is PATH_FONT's record, not PATH's.
  const auto& table = GdsCfgKeyTable();
  int best = -1;
  for (size_t i = 0; i < table.size(); ++i) {
    const std::string_view prefix(table[i].key, static_cast<size_t>(table[i].compare));
    if (word.starts_with(prefix) && (best < 0 || table[i].compare > table[best].compare)) {
      best = static_cast<int>(i);
    }
  }
  if (best < 0) return false;
  if (index != nullptr) *index = static_cast<size_t>(best);
  return true;
}

bool CfgYes(std::string_view text) {
  for (const char* word : {"1", "y", "yes", "on"}) {
    if (text.size() == std::string_view(word).size() &&
        strncasecmp(text.data(), word, text.size()) == 0) {
      return true;
    }
  }
  return false;
}

std::string CfgUnitWord(std::string_view text) {
  const std::string word = Upper(std::string(text));
  if (word == "UM" || word == "MM" || word == "CM" || word == "M") return word;
  if (word.starts_with("IN")) return "INCH";
  return "MIL";
}

GdsCfgSettings ParseGdsCfg(std::string_view text, const std::string& config_directory) {
  GdsCfgSettings settings;
  const std::vector<std::string> lines = SplitLines(text);
  const auto& table = GdsCfgKeyTable();
  for (size_t key = 0; key < table.size(); ++key) {
    const std::string_view prefix(table[key].key, static_cast<size_t>(table[key].compare));
    bool at_record_start = true;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) {
        at_record_start = true;
        continue;
      }
      if (!at_record_start || !FirstWord(lines[i]).starts_with(prefix)) {
        at_record_start = false;
        continue;
      }
      std::vector<std::string> values;
      for (size_t j = i + 1; j < lines.size() && values.size() < size_t(table[key].values); ++j) {
        if (table[key].list && lines[j].empty()) break;
        values.push_back(lines[j]);
      }
      Apply(key, values, settings, config_directory);
      break;  // only the first record of a key counts
    }
  }
  return settings;
}

std::string FormatGdsCfg(const GdsCfgSettings& s) {
  static const char* const kModes[] = {"FLUSH", "ROUND", "EXTENDED"};
  static const char* const kStyles[] = {"OUTLINE", "LWEIGHT", "LWIDENING"};
  const std::string nl = "\r\n";
  std::string out;
  auto key = [&](const char* name) { out += nl + name + nl; };
  auto line = [&](const std::string& text) { out += text + nl; };
  auto word = [&](bool yes) { line(yes ? "ON" : "OFF"); };
  auto list_end = [&] { out += nl; };
  key("ACADUNIT");
  line(std::to_string(s.acad_units));
  line(s.acad_unit);
  key("GDSUNIT");
  line(std::to_string(s.gds_units));
  line(s.gds_unit);
  key("MAXERR");
  line(std::to_string(s.max_errors));
  key("MAX_POINT");
  line(std::to_string(s.max_point));
  key("ARCRES");
  line(Printf("%lf", s.arc_resolution));
  key("ARCSAG");
  line(Printf("%.12lf", s.arc_sag));
  key("MIN_LINE");
  line(Printf("%lf", s.min_line));
  key("SCALE_FACTOR");
  line(Printf("%lf", s.scale_factor));
  key("TSCALE");
  for (double v : s.text_scales) line(Printf("%lf", v));
  list_end();
  key("INCLUDE");
  for (const std::string& v : s.include) line(v);
  list_end();
  key("EXCLUDE");
  for (const std::string& v : s.exclude) line(v);
  list_end();
  key("TSTYLE");
  for (const CfgTextStyleEntry& v : s.text_styles) line(v.name + " " + std::to_string(v.value));
  list_end();
  key("MAX_LAYER");
  line(std::to_string(s.max_layer));
  key("ERROR_LAYER");
  line(std::to_string(s.error_layer));
  key("BLOCK_TEXT");
  word(s.block_text);
  key("LINK_MODE");
  word(s.link_mode);
  key("REMOVE_HATCH");
  word(s.remove_hatch);
  key("REMOVE_DIM");
  word(s.remove_dim);
  key("PATH");
  line(s.path);
  key("MITER");
  word(s.miter);
  key("MAP_CIRCLE");
  word(s.map_circle);
  key("LAYER");
  for (const CfgLayerEntry& v : s.layers) {
    line(v.name + " " + std::to_string(v.layer) + " " + std::to_string(v.colour));
  }
  list_end();
  key("FONTLIBS");
  for (const std::string& v : s.font_libs) line(v);
  list_end();
  key("REFLIBS");
  for (const std::string& v : s.ref_libs) line(v);
  list_end();
  key("GDSQUALIFY");
  word(s.gds_qualify);
  for (const char* name : {"CIF_FONT", "PATH_FONT"}) {
    key(name);
    for (const CfgFontSlot& f : s.fonts) {
      line(f.file + " " + kModes[f.mode % 3] + " " + kStyles[f.style % 3]);
    }
  }
  key("TEXT_FONT");
  for (const std::string& v : s.text_fonts) line(v);
  list_end();
  key("TEXT_STYLE");
  for (const std::string& v : s.text_style_names) line(v);
  list_end();
  key("AUTOSCALE");
  word(s.autoscale);
  key("TEXT_STROKE_WEIGHT");
  line(Printf("%.12lf", s.text_stroke_weight));
  out += nl + nl;
  return out;
}

}  // namespace kavrinth
