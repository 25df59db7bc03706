// Reading and writing the GDS.CFG job settings records.
#include "tabrun/core/gds_cfg_file.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

// The file's lines as the engine reads them: the line end (LF, and one CR before it) and
// the blanks before the text taken off. A second CR stays, as it does in the engine, so
// that a line "ON" CR CR LF is no "ON" to either reader.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines = SplitTextLines(text);
  for (std::string& line : lines) {
    size_t first = 0;
    while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first]))) ++first;
    line.erase(0, first);
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

// A name as kept: its first 33 characters, as the engine keeps it. A CR at its end stays:
// written on a line, it reads back as it is.
std::string CutName(std::string_view word) { return std::string(word.substr(0, 33)); }

// ---- Values as the engine reads them ----

// A number at the start of a line as the engine's scanners read it: leading blanks skipped,
// trailing text ignored, 0 when no number starts the line (or it overflows). *whole tells
// whether the line holds the number and nothing else but blanks.
long long EngineLong(const std::string& line, bool* whole) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(line.c_str(), &end, 10);
  const bool read = end != line.c_str() && errno != ERANGE;
  *whole = read && std::string_view(end).find_first_not_of(" \t") == std::string_view::npos;
  return read ? v : 0;
}

double EngineReal(const std::string& line, bool* whole) {
  char* end = nullptr;
  const double v = std::strtod(line.c_str(), &end);
  const bool read = end != line.c_str();
  *whole = read && std::isfinite(v) &&
           std::string_view(end).find_first_not_of(" \t") == std::string_view::npos;
  return read ? v : 0.0;
}

// A value as a note names it, between single quotes. A carriage return, a line feed or another
// control character but the tab, which a message box or a log would not show, is spelled
// out: 'ROUND<CR>', 'ON<0x0C>'.
std::string Quote(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      quoted += "<CR>";
    } else if (c == '\n') {
      quoted += "<LF>";
    } else if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      quoted += std::string("<0x") + kHex[byte >> 4] + kHex[byte & 15] + ">";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// True when a line at a record start would be read as a record's key line: a GDS.CFG key by
// its first word, or a PG settings key.
bool ReadsAsKey(std::string_view line) {
  const size_t start = line.find_first_not_of(" \t\r\f\v");
  const std::string_view text = start == std::string_view::npos ? "" : line.substr(start);
  std::string_view word = text.substr(0, text.find_first_of(" \t"));
  return MatchGdsCfgKey(word, nullptr) || FindPgSettingsKey(line) != nullptr;
}

// True when one of the lines after the first stands after an empty line and reads as a
// key: written as they are, the lines would hold the start of another record.
bool HoldsRecordStart(const std::vector<std::string>& lines) {
  for (size_t i = 2; i < lines.size(); ++i) {
    if (CfgBlankLine(lines[i - 1]) && ReadsAsKey(lines[i])) return true;
  }
  return false;
}

std::string Number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// The notes of one record: its values are at the lines after its key line.
class RecordNotes {
 public:
  RecordNotes(std::vector<CfgNote>* notes, const char* key, size_t key_line)
      : notes_(notes), key_(key), key_line_(key_line) {}
  // A note on value line `value` (0 the first).
  void Add(size_t value, std::string text) {
    ++count_;
    if (notes_ != nullptr) notes_->push_back({key_line_ + 1 + value, key_, std::move(text)});
  }
  size_t count() const { return count_; }

 private:
  std::vector<CfgNote>* notes_;
  const char* key_;
  size_t key_line_;
  size_t count_ = 0;
};

// A long value kept when low <= n <= high; the note says what the engine makes of it.
void TakeLong(const std::string& line, int32_t* value, long long low, long long high,
              RecordNotes& notes, size_t index) {
  bool whole = false;
  const long long v = EngineLong(line, &whole);
  const bool taken = v >= low && v <= high;
  const bool unchanged = whole && v == *value;
  if (taken) *value = static_cast<int32_t>(v);
  if (!taken && !unchanged) {
    notes.Add(index, Quote(line) + " is outside " + std::to_string(low) + " to " +
                         std::to_string(high) + ", the engine's limits; the engine uses " +
                         std::to_string(*value) + ".");
  } else if (!whole) {
    notes.Add(index,
              Quote(line) + " is not a number; the engine reads it as " + std::to_string(v) + ".");
  }
}

// A real value kept when low < v < high.
void TakeReal(const std::string& line, double* value, double low, double high, RecordNotes& notes,
              size_t index) {
  bool whole = false;
  const double v = EngineReal(line, &whole);
  const bool taken = v > low && v < high;
  const double before = *value;
  if (taken) *value = v;
  if (!taken && !(whole && v == before)) {
    notes.Add(index, Quote(line) + " is not above " + Number(low) + " and below " + Number(high) +
                         ", the engine's limits; the engine uses " + Number(before) + ".");
  } else if (taken && !whole) {
    notes.Add(index, Quote(line) + " is not a number; the engine reads it as " + Number(v) + ".");
  }
}

void TakeSag(const std::string& line, double* value, RecordNotes& notes, size_t index) {
  TakeReal(line, value, 1e-12, 1e12, notes, index);
}

bool NoWord(std::string_view word) {
  for (const char* no : {"0", "n", "no", "off"}) {
    if (word.size() == std::string_view(no).size() &&
        strncasecmp(word.data(), no, word.size()) == 0) {
      return true;
    }
  }
  return false;
}

// A yes/no value: the first word of the line.
void TakeWord(const std::string& line, bool* value, RecordNotes& notes, size_t index) {
  const std::string word = FirstWord(line);
  *value = CfgYes(word);
  if (!*value && !NoWord(word)) {
    notes.Add(index, Quote(line) + " is neither yes nor no; the engine reads it as OFF.");
  }
}

// The text of a value line without the white space at its end, as the engine keeps it.
std::string TrimmedText(const std::string& line) {
  const size_t end = line.find_last_not_of(" \t\r\f\v");
  return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

// A name of a list: the first word, cut to the engine's 33 characters.
std::string TakeName(const std::string& word, const std::string& line, RecordNotes& notes,
                     size_t index) {
  if (word.size() <= 33) return word;
  notes.Add(index, Quote(line) + ": the engine keeps the first 33 characters of the name, " +
                       Quote(word.substr(0, 33)) + ".");
  return CutName(word);
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

void TakeUnit(const std::vector<std::string>& values, int32_t* units, std::string* unit,
              RecordNotes& notes) {
  TakeLong(values[0], units, 1, 9999999, notes, 0);
  if (values.size() < 2) return;
  const std::string word = FirstWord(values[1]);
  *unit = CfgUnitWord(word);
  const std::string upper = Upper(word);
  if (*unit == "MIL" && upper != "MIL" && upper != "MILS") {
    notes.Add(1, Quote(values[1]) + " is not a unit the engine knows; it reads it as MIL.");
  }
}

void TakeNames(const std::vector<std::string>& values, std::vector<std::string>* names,
               RecordNotes& notes) {
  for (size_t i = 0; i < values.size(); ++i) {
    const std::vector<std::string> words = Words(values[i]);
    if (words.size() > 1) {
      notes.Add(
          i, Quote(values[i]) + ": the engine reads only the first word, " + Quote(words[0]) + ".");
    }
    names->push_back(TakeName(words.empty() ? std::string() : words[0], values[i], notes, i));
    // Written on a line of its own, the name would lose the CRs at its end: the record is
    // kept as written instead.
    if (names->back().ends_with('\r')) {
      notes.Add(i, Quote(values[i]) +
                       ": the name ends in a carriage return, which the engine keeps in it.");
    }
  }
}

void TakeTextStyles(const std::vector<std::string>& values, GdsCfgSettings& s, RecordNotes& notes) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (s.text_styles.size() >= 64) {
      notes.Add(i, Quote(values[i]) +
                       ": the engine keeps 64 text styles; this one and those "
                       "after it are not read.");
      break;
    }
    const std::vector<std::string> words = Words(values[i]);
    if (words.empty()) continue;
    // As the engine: a style number outside 0-3 counts as 0.
    bool whole = false;
    const long long n = words.size() > 1 ? EngineLong(words[1], &whole) : -1;
    const bool taken = n >= 0 && n <= 3;
    if (!taken || !whole) {
      notes.Add(i, Quote(values[i]) +
                       ": the style number is not one of 0 to 3, the engine's "
                       "limits; the engine uses " +
                       std::string(taken ? std::to_string(n) : "0") + ".");
    }
    s.text_styles.push_back({TakeName(words[0], values[i], notes, i), taken ? int(n) : 0});
  }
}

void TakeLayers(const std::vector<std::string>& values, GdsCfgSettings& s, RecordNotes& notes) {
  for (size_t i = 0; i < values.size(); ++i) {
    const std::vector<std::string> words = Words(values[i]);
    if (words.empty()) continue;
    // As the engine: a layer outside 0-1023 is 0 and any other is taken modulo MAX_LAYER;
    // the third number is a colour 1-6, outside them the next colour of the cycle.
    CfgLayerEntry entry;
    entry.name = TakeName(words[0], values[i], notes, i);
    bool whole = false;
    const long long layer = words.size() > 1 ? EngineLong(words[1], &whole) : -1;
    if (layer >= 0 && layer <= 1023) {
      entry.layer = static_cast<int>(layer % s.max_layer);
      if (!whole || entry.layer != layer) {
        notes.Add(i, Quote(values[i]) + ": the engine reads the GDS layer as " +
                         std::to_string(entry.layer) + " (modulo MAX_LAYER " +
                         std::to_string(s.max_layer) + ").");
      }
    } else {
      notes.Add(i, Quote(values[i]) +
                       ": the GDS layer is not one of 0 to 1023, the engine's "
                       "limits; the engine uses 0.");
    }
    const int cycle = static_cast<int>((s.layers.size() + 1) % 7 + 1);
    entry.colour = cycle;
    if (words.size() > 2) {
      const long long colour = EngineLong(words[2], &whole);
      if (colour >= 1 && colour <= 6 && whole) {
        entry.colour = static_cast<int>(colour);
      } else {
        if (colour >= 1 && colour <= 6) entry.colour = static_cast<int>(colour);
        notes.Add(i, Quote(values[i]) + ": the engine reads the third number as a colour 1 to " +
                         "6; it uses colour " + std::to_string(entry.colour) + ".");
      }
    }
    if (words.size() > 3) {
      notes.Add(i, Quote(values[i]) +
                       ": the engine reads the name, the layer and the colour; "
                       "the words after them are not read.");
    }
    s.layers.push_back(std::move(entry));
  }
}

// The slots of a fixed-count record of names, each written on a line of its own: a value
// after an empty slot would stand at a record start there, and one that reads as a key
// would be read back as that key's record (by the shell and by the engine), not as this
// record's value. Such a value is not taken; the slot keeps what it held before.
template <size_t N>
void RefuseRecordStarts(std::array<std::string, N>& slots, const std::array<std::string, N>& before,
                        RecordNotes& notes) {
  for (size_t i = 1; i < N; ++i) {
    if (slots[i] == before[i] || !CfgBlankLine(slots[i - 1]) || !ReadsAsKey(slots[i])) continue;
    notes.Add(i, Quote(slots[i]) +
                     " follows an empty value and reads as a key: written back it would "
                     "start a record of its own; it is not taken, the value stays " +
                     Quote(before[i]) + ".");
    slots[i] = before[i];
  }
}

void Apply(size_t key, const std::vector<std::string>& values, GdsCfgSettings& s,
           const std::string& directory, RecordNotes& notes) {
  auto at = [&](size_t i) -> const std::string& {
    static const std::string empty;
    return i < values.size() ? values[i] : empty;
  };
  switch (key) {
    case kAcadUnit:
      TakeUnit(values, &s.acad_units, &s.acad_unit, notes);
      break;
    case kGdsUnit:
      TakeUnit(values, &s.gds_units, &s.gds_unit, notes);
      break;
    case kMaxErr:
      TakeLong(at(0), &s.max_errors, 0, 9999999, notes, 0);
      break;
    case kMaxPoint: {
      // The engine's own default is 4096, not the shell's 200: the note says what the
      // engine keeps.
      int32_t engine_value = 4096;
      TakeLong(at(0), &engine_value, 4, 4096, notes, 0);
      RecordNotes none(nullptr, "", 0);
      TakeLong(at(0), &s.max_point, 4, 4096, none, 0);
      break;
    }
    case kArcRes:
      TakeReal(at(0), &s.arc_resolution, 0.00999, 90.0999, notes, 0);
      break;
    case kArcSag:
      TakeSag(at(0), &s.arc_sag, notes, 0);
      break;
    case kMinLine:
      TakeSag(at(0), &s.min_line, notes, 0);
      break;
    case kScaleFactor:
      TakeSag(at(0), &s.scale_factor, notes, 0);
      break;
    case kTscale:
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        TakeSag(values[i], &s.text_scales[i], notes, i);
      }
      break;
    case kInclude:
      TakeNames(values, &s.include, notes);
      break;
    case kExclude:
      TakeNames(values, &s.exclude, notes);
      break;
    case kTstyle:
      TakeTextStyles(values, s, notes);
      break;
    case kMaxLayer:
      // The engine divides by MAX_LAYER: 0 is not taken.
      TakeLong(at(0), &s.max_layer, 1, 512, notes, 0);
      break;
    case kErrorLayer:
      TakeLong(at(0), &s.error_layer, 0, 512, notes, 0);
      break;
    case kBlockText:
      TakeWord(at(0), &s.block_text, notes, 0);
      break;
    case kLinkMode:
      TakeWord(at(0), &s.link_mode, notes, 0);
      break;
    case kRemoveHatch:
      TakeWord(at(0), &s.remove_hatch, notes, 0);
      break;
    case kRemoveDim:
      TakeWord(at(0), &s.remove_dim, notes, 0);
      break;
    case kPath: {
      const std::string word = Upper(FirstWord(at(0)));
      bool known = false;
      for (const char* mode : {"OUTLINE", "LWEIGHT", "LWIDENING", "ROUND"}) {
        if (word == mode) s.path = word, known = true;
      }
      if (!known) {
        notes.Add(0, Quote(at(0)) +
                         " is not OUTLINE, LWEIGHT, LWIDENING or ROUND; the engine "
                         "keeps " +
                         s.path + ".");
      }
      break;
    }
    case kMiter:
      TakeWord(at(0), &s.miter, notes, 0);
      break;
    case kMapCircle:
      TakeWord(at(0), &s.map_circle, notes, 0);
      break;
    case kLayer:
      TakeLayers(values, s, notes);
      break;
    case kFontLibs: {
      const auto before = s.font_libs;
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        if (values[i].size() < 44) s.font_libs[i] = values[i];
      }
      RefuseRecordStarts(s.font_libs, before, notes);
      break;
    }
    case kRefLibs: {
      const auto before = s.ref_libs;
      for (size_t i = 0; i < values.size() && i < 2; ++i) {
        const std::string text = TrimmedText(values[i]);
        // Cut, it keeps no white space at its end, which its line would lose.
        s.ref_libs[i] = TrimmedText(text.substr(0, 43));
        if (text.size() > 43) {
          notes.Add(i, Quote(values[i]) + ": the engine keeps the first 43 characters, " +
                           Quote(text.substr(0, 43)) + ".");
        }
      }
      RefuseRecordStarts(s.ref_libs, before, notes);
      break;
    }
    case kGdsQualify:
      TakeWord(at(0), &s.gds_qualify, notes, 0);
      break;
    case kCifFont:
    case kPathFont:
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        TakeFontLine(values[i], &s.fonts[i], directory);
      }
      break;
    case kTextFont: {
      const auto before = s.text_fonts;
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        if (values[i].size() < 256) s.text_fonts[i] = values[i];
      }
      RefuseRecordStarts(s.text_fonts, before, notes);
      break;
    }
    case kTextStyle: {
      const auto before = s.text_style_names;
      for (size_t i = 0; i < values.size() && i < 4; ++i) {
        if (values[i].size() < 34) s.text_style_names[i] = values[i];
      }
      RefuseRecordStarts(s.text_style_names, before, notes);
      break;
    }
    case kAutoscale:
      s.autoscale = CfgYes(FirstWord(at(0)));
      break;
    case kTextStrokeWeight: {
      // Not the engine's: read with the same limits, without notes.
      RecordNotes none(nullptr, "", 0);
      TakeSag(at(0), &s.text_stroke_weight, none, 0);
      break;
    }
    default:
      break;
  }
}

// The keys whose records the writer ends with an empty line.
bool EndsWithEmptyLine(size_t key) {
  switch (key) {
    case kTscale:
    case kInclude:
    case kExclude:
    case kTstyle:
    case kLayer:
    case kFontLibs:
    case kRefLibs:
    case kTextFont:
    case kTextStyle:
      return true;
    default:
      return false;
  }
}

// The keys the engine reads too: only their values get notes on how the engine reads them,
// and only their records are kept as written.
bool EngineReads(size_t key) {
  switch (key) {
    case kFontLibs:
    case kCifFont:
    case kPathFont:
    case kTextFont:
    case kTextStyle:
    case kAutoscale:
    case kTextStrokeWeight:
      return false;
    default:
      return true;
  }
}

// One record as the writer gives it: "\r\n<key>\r\n", the value lines, and for some keys
// an empty line.
std::string FormatRecord(size_t key, const GdsCfgSettings& s) {
  static const char* const kModes[] = {"FLUSH", "ROUND", "EXTENDED"};
  static const char* const kStyles[] = {"OUTLINE", "LWEIGHT", "LWIDENING"};
  const std::string nl = "\r\n";
  std::string out = nl + GdsCfgKeyTable()[key].key + nl;
  auto line = [&](const std::string& text) { out += text + nl; };
  auto word = [&](bool yes) { line(yes ? "ON" : "OFF"); };
  switch (key) {
    case kAcadUnit:
      line(std::to_string(s.acad_units));
      line(s.acad_unit);
      break;
    case kGdsUnit:
      line(std::to_string(s.gds_units));
      line(s.gds_unit);
      break;
    case kMaxErr:
      line(std::to_string(s.max_errors));
      break;
    case kMaxPoint:
      line(std::to_string(s.max_point));
      break;
    case kArcRes:
      line(CfgRealText(s.arc_resolution));
      break;
    case kArcSag:
      line(CfgRealText(s.arc_sag, 12));
      break;
    case kMinLine:
      line(CfgRealText(s.min_line));
      break;
    case kScaleFactor:
      line(CfgRealText(s.scale_factor));
      break;
    case kTscale:
      for (double v : s.text_scales) line(CfgRealText(v));
      break;
    case kInclude:
      for (const std::string& v : s.include) line(v);
      break;
    case kExclude:
      for (const std::string& v : s.exclude) line(v);
      break;
    case kTstyle:
      for (const CfgTextStyleEntry& v : s.text_styles) line(v.name + " " + std::to_string(v.value));
      break;
    case kMaxLayer:
      line(std::to_string(s.max_layer));
      break;
    case kErrorLayer:
      line(std::to_string(s.error_layer));
      break;
    case kBlockText:
      word(s.block_text);
      break;
    case kLinkMode:
      word(s.link_mode);
      break;
    case kRemoveHatch:
      word(s.remove_hatch);
      break;
    case kRemoveDim:
      word(s.remove_dim);
      break;
    case kPath:
      line(s.path);
      break;
    case kMiter:
      word(s.miter);
      break;
    case kMapCircle:
      word(s.map_circle);
      break;
    case kLayer:
      for (const CfgLayerEntry& v : s.layers) {
        line(v.name + " " + std::to_string(v.layer) + " " + std::to_string(v.colour));
      }
      break;
    case kFontLibs:
      for (const std::string& v : s.font_libs) line(v);
      break;
    case kRefLibs:
      for (const std::string& v : s.ref_libs) line(v);
      break;
    case kGdsQualify:
      word(s.gds_qualify);
      break;
    case kCifFont:
    case kPathFont:
      for (const CfgFontSlot& f : s.fonts) {
        line(f.file + " " + kModes[f.mode % 3] + " " + kStyles[f.style % 3]);
      }
      break;
    case kTextFont:
      for (const std::string& v : s.text_fonts) line(v);
      break;
    case kTextStyle:
      for (const std::string& v : s.text_style_names) line(v);
      break;
    case kAutoscale:
      word(s.autoscale);
      break;
    case kTextStrokeWeight:
      line(CfgRealText(s.text_stroke_weight, 12));
      break;
    default:
      break;
  }
  if (EndsWithEmptyLine(key)) out += nl;
  return out;
}

// The lines of a kept record, written as the file held them.
std::string KeptRecordText(const CfgKeptRecord& kept) {
  const std::string nl = "\r\n";
  std::string out;
  for (const std::string& line : kept.lines) out += nl + line;
  out += nl;
  if (EndsWithEmptyLine(kept.key)) out += nl;
  return out;
}

}  // namespace

const std::vector<GdsCfgKey>& GdsCfgKeyTable() {
  static const std::vector<GdsCfgKey> kTable = {
      {"ACADUNIT", 5, 2, false},   {"GDSUNIT", 5, 2, false},
      {"MAXERR", 5, 1, false},     {"MAX_POINT", 6, 1, false},
      {"ARCRES", 5, 1, false},     {"ARCSAG", 5, 1, false},
      {"MIN_LINE", 6, 1, false},   {"SCALE_FACTOR", 7, 1, false},
      {"TSCALE", 5, 4, false},     {"INCLUDE", 5, 256, true},
      {"EXCLUDE", 5, 256, true},   {"TSTYLE", 5, 256, true},
      {"MAX_LAYER", 7, 1, false},  {"ERROR_LAYER", 7, 1, false},
      {"BLOCK_TEXT", 5, 1, false},  // the engine's five letters: "BLOCK" is its record
      {"LINK_MODE", 7, 1, false},  {"REMOVE_HATCH", 9, 1, false},
      {"REMOVE_DIM", 9, 1, false}, {"PATH", 4, 1, false},
      {"MITER", 5, 1, false},      {"MAP_CIRCLE", 5, 1, false},
      {"LAYER", 5, 256, true},     {"FONTLIBS", 5, 4, false},
      {"REFLIBS", 5, 2, false},    {"GDSQUALIFY", 6, 1, false},
      {"CIF_FONT", 6, 4, false},   {"PATH_FONT", 7, 4, false},
      {"TEXT_FONT", 7, 4, false},  {"TEXT_STYLE", 7, 4, false},
      {"AUTOSCALE", 7, 1, false},  {"TEXT_STROKE_WEIGHT", 10, 1, false},
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

bool CfgBlankLine(std::string_view line) {
  return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos;
}

const PgSettingsKey* FindPgSettingsKey(std::string_view line) {
  static constexpr PgSettingsKey kKeys[] = {
      {"SMALLANGLE", 1}, {"SCALE", 1},        {"COMPENSATION", 1}, {"VERIFY", 1}, {"FEATURE", 1},
      {"OLEVEL", 1},     {"FILLMODE", 1},     {"BLOCK_TEXT", 1},   {"TSCALE", 4}, {"SHTSCALE", 4},
      {"ENGMIN", 1},     {"ENGMAX", 1},       {"ENGSAG", 1},       {"METMIN", 1}, {"METMAX", 1},
      {"METSAG", 1},     {"PERCENT_BUTT", 1}, {"PG_OUTPUT", -1},
  };
  for (const PgSettingsKey& key : kKeys) {
    if (line == key.key) return &key;
  }
  return nullptr;
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
  return ParseGdsCfg(text, config_directory, nullptr);
}

GdsCfgSettings ParseGdsCfg(std::string_view text, const std::string& config_directory,
                           std::vector<CfgNote>* notes) {
  GdsCfgSettings settings;
  const std::vector<std::string> raw = SplitTextLines(text);
  const std::vector<std::string> lines = SplitLines(text);
  const auto& table = GdsCfgKeyTable();
  settings.record_lines.assign(table.size(), 0);
  for (size_t key = 0; key < table.size(); ++key) {
    const std::string_view prefix(table[key].key, static_cast<size_t>(table[key].compare));
    const size_t most = static_cast<size_t>(table[key].values);
    // The value lines of the record whose key line is at `at`; the line after it to *end.
    auto record_values = [&](size_t at, size_t* end) {
      std::vector<std::string> values;
      for (*end = at + 1; *end < lines.size(); ++*end) {
        if (table[key].list ? lines[*end].empty() : values.size() == most) break;
        if (values.size() < most) values.push_back(lines[*end]);
      }
      return values;
    };
    // A record cut short by the end of the file cannot stand before the records written
    // after it (they would become its values), nor can one whose lines hold another
    // record's start: written elsewhere, that record could come before the one of its key
    // that counts now.
    auto keepable = [&](const std::vector<std::string>& values,
                        const std::vector<std::string>& record_lines) {
      return (table[key].list || values.size() == most) && !HoldsRecordStart(record_lines);
    };
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
      size_t end = 0;  // after the record's last line
      const std::vector<std::string> values = record_values(i, &end);
      settings.record_lines[key] = i + 1;
      RecordNotes record_notes(notes, table[key].key, i + 1);
      if (table[key].list && end - (i + 1) > most) {
        record_notes.Add(most, Quote(lines[i + 1 + most]) + ": the engine reads at most " +
                                   std::to_string(most) +
                                   " lines of the list; this line and those after it are "
                                   "not read.");
      }
      const GdsCfgSettings before = settings;
      // As the engine: a record without value lines sets nothing.
      if (!values.empty()) Apply(key, values, settings, config_directory, record_notes);
      std::vector<std::string> record_lines(raw.begin() + static_cast<long>(i),
                                            raw.begin() + static_cast<long>(end));
      if (EngineReads(key) && record_notes.count() > 0 && keepable(values, record_lines)) {
        CfgKeptRecord kept;
        kept.key = key;
        kept.lines = std::move(record_lines);
        kept.as_read = FormatRecord(key, settings);
        settings.kept.push_back(std::move(kept));
      }
      // Only the first record of a key counts. A later one of the same key (the longest
      // key its word matches) is read by nobody: when it says other than the one read, it
      // is named and kept as written, since it holds what the user meant.
      const std::string counted = FormatRecord(key, settings);
      std::string counted_values;
      for (const std::string& v : values)
        counted_values += (counted_values.empty() ? "" : ", ") + Quote(v);
      at_record_start = lines[end - 1].empty();
      for (size_t j = end; j < lines.size(); ++j) {
        if (lines[j].empty()) {
          at_record_start = true;
          continue;
        }
        size_t matched = 0;
        if (!at_record_start || !MatchGdsCfgKey(FirstWord(lines[j]), &matched) || matched != key) {
          at_record_start = false;
          continue;
        }
        size_t later_end = 0;
        const std::vector<std::string> later = record_values(j, &later_end);
        GdsCfgSettings alone = before;
        RecordNotes none(nullptr, "", 0);
        if (!later.empty()) Apply(key, later, alone, config_directory, none);
        std::vector<std::string> later_lines(raw.begin() + static_cast<long>(j),
                                             raw.begin() + static_cast<long>(later_end));
        const std::string as_read = FormatRecord(key, alone);
        if (!later.empty() && as_read != counted) {
          const bool kept = keepable(later, later_lines);
          std::string said;
          for (const std::string& v : later) said += (said.empty() ? "" : ", ") + Quote(v);
          if (notes != nullptr) {
            notes->push_back(
                {j + 1, table[key].key,
                 "record " + Quote(lines[j]) + " with " + said +
                     " is not read: the record at line " + std::to_string(i + 1) +
                     " comes before it and is the one read, with " +
                     (counted_values.empty() ? std::string("no values") : counted_values) + "." +
                     (kept ? "" : " It is not written back."),
                 true});
          }
          if (kept) {
            CfgKeptRecord record;
            record.key = key;
            record.lines = std::move(later_lines);
            record.as_read = as_read;
            record.unread = true;
            settings.kept.push_back(std::move(record));
          }
        }
        j = later_end - 1;
        at_record_start = lines[j].empty();
      }
      break;
    }
  }
  return settings;
}

std::vector<std::string> GdsCfgNotes(std::string_view text, const std::string& file_name,
                                     bool (*filter)(const CfgNote&)) {
  std::vector<CfgNote> notes;
  ParseGdsCfg(text, "", &notes);
  std::vector<std::string> texts;
  for (const CfgNote& note : notes) {
    if (filter != nullptr && !filter(note)) continue;
    texts.push_back(file_name + ", line " + std::to_string(note.line) + ": " + note.key + " " +
                    note.text);
  }
  return texts;
}

std::string FormatGdsCfg(const GdsCfgSettings& s) {
  std::string out;
  for (size_t key = 0; key < GdsCfgKeyTable().size(); ++key) {
    const std::string record = FormatRecord(key, s);
    const CfgKeptRecord* kept = nullptr;
    std::string unread;
    for (const CfgKeptRecord& k : s.kept) {
      if (k.key != key) continue;
      if (k.unread) {
        unread += KeptRecordText(k);
      } else if (k.as_read == record) {
        kept = &k;
      }
    }
    // A key the PG settings records carry is read from them: the user's record of it stands
    // in place of the one the shell would write.
    const bool in_place =
        !unread.empty() && std::find(s.pg_keys.begin(), s.pg_keys.end(), key) != s.pg_keys.end();
    if (!in_place) out += kept != nullptr ? KeptRecordText(*kept) : record;
    out += unread;
  }
  out += "\r\n\r\n";
  return out;
}

std::string CfgRealText(double value, int min_decimals) {
  std::string text;
  // 1074 decimals write every double exactly; far fewer are needed in practice.
  for (int decimals = std::max(min_decimals, 0); decimals <= 1074; ++decimals) {
    const int size = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    text.assign(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    text.pop_back();
    if (!std::isfinite(value) || std::strtod(text.c_str(), nullptr) == value) break;
  }
  return text;
}

}  // namespace kavrinth
