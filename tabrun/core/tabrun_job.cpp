// The PG settings records and the job's settings files.
#include "tabrun/core/tabrun_job.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "support/job_file_names.h"
#include "support/line_file.h"
#include "support/paths.h"
#include "support/structure_names.h"
#include "tabrun/core/file_ops.h"

namespace kavrinth {
namespace {

constexpr double kMilsToMicrons = 25.4;

// A value the readers take back: written so that it reads back as the same value.
std::string Lf(double value) { return CfgRealText(value); }

// A value no reader takes back (the unit group the stored unit does not decide), as "%lf".
std::string PlainLf(double value) {
  char text[400];
  std::snprintf(text, sizeof text, "%lf", value);
  return text;
}

std::optional<double> Real(const std::string& line) {
  char* end = nullptr;
  const double v = std::strtod(line.c_str(), &end);
  if (end == line.c_str() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long> Integer(const std::string& line) {
  char* end = nullptr;
  const long v = std::strtol(line.c_str(), &end, 10);
  if (end == line.c_str()) return std::nullopt;
  return v;
}

std::string TrimmedWord(const std::string& line) {
  size_t begin = 0;
  while (begin < line.size() && std::isspace(static_cast<unsigned char>(line[begin]))) ++begin;
  size_t end = begin;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
  return line.substr(begin, end - begin);
}

// The records of a settings file that neither the GDS.CFG key table nor the PG settings
// manage, each as its lines (key line first).
std::vector<std::vector<std::string>> UnmanagedRecords(std::string_view text) {
  const std::vector<std::string> lines = SplitTextLines(text);
  std::vector<std::vector<std::string>> records;
  size_t i = 0;
  while (i < lines.size()) {
    if (CfgBlankLine(lines[i])) {
      ++i;
      continue;
    }
    const std::string word = TrimmedWord(lines[i]);
    size_t gds_index = 0;
    int skip = -2;  // value lines of a managed record; -1: up to an empty line
    if (const PgSettingsKey* key = FindPgSettingsKey(lines[i])) {
      skip = key->values;
    } else if (MatchGdsCfgKey(word, &gds_index)) {
      const GdsCfgKey& key = GdsCfgKeyTable()[gds_index];
      skip = key.list ? -1 : key.values;
    }
    ++i;
    if (skip >= 0) {
      i += static_cast<size_t>(skip);
      continue;
    }
    std::vector<std::string> record{lines[i - 1]};
    while (i < lines.size() && !CfgBlankLine(lines[i])) {
      if (skip == -2) record.push_back(lines[i]);
      ++i;
    }
    if (skip == -2) records.push_back(std::move(record));
  }
  return records;
}

// True when the text holds a PG settings record of that key where a record starts.
bool HasPgRecord(std::string_view text, std::string_view key) {
  bool at_record_start = true;
  for (const std::string& line : SplitTextLines(text)) {
    if (at_record_start && line == key) return true;
    at_record_start = CfgBlankLine(line);
  }
  return false;
}

// The value lines of the PG TSCALE record the shell writes: the font scales divided by the
// scale.
std::string ShellTscaleLines(const TabrunOptions& o) {
  std::string out;
  for (double v : o.font_scales) out += Lf(v / o.scale) + "\r\n";
  return out;
}

std::string JoinedLines(const std::vector<std::string>& lines, size_t from) {
  std::string out;
  for (size_t i = from; i < lines.size(); ++i) out += lines[i] + "\r\n";
  return out;
}

std::string QuotedList(const std::vector<std::string>& values, size_t from) {
  std::string out;
  for (size_t i = from; i < values.size(); ++i) {
    out += (out.empty() ? "'" : ", '") + values[i] + "'";
  }
  return out;
}

// The note on the user's TSCALE record when the shell writes its own values in its place:
// the record, the user's values and those written. "" when the user's are written.
std::string HandTscaleNote(const TabrunJob& job) {
  if (!job.hand_tscale || HandTscaleWritten(job)) return {};
  const TabrunJob::HandTscale& hand = *job.hand_tscale;
  std::vector<std::string> written;
  for (double v : job.options.font_scales) written.push_back(Lf(v / job.options.scale));
  size_t start = 0;
  const std::string& key = hand.lines.front();
  while (start < key.size() && std::isspace(static_cast<unsigned char>(key[start]))) ++start;
  return hand.file + ", line " + std::to_string(hand.line) + ": TSCALE record '" +
         key.substr(start) + "' with " +
         (hand.lines.size() > 1 ? QuotedList(hand.lines, 1) : std::string("no values")) +
         " is not written back: Tabrun writes " + QuotedList(written, 0) +
         ", the font scales divided by the scale" +
         (hand.keepable ? ", which changed since the file was read."
                        : ": the record cannot be written as it stands.");
}

std::string FormatRecords(const std::vector<std::vector<std::string>>& records) {
  std::string out;
  for (const auto& record : records) {
    out += "\r\n";
    for (const std::string& line : record) out += line + "\r\n";
  }
  return out;
}

}  // namespace

std::string TabrunJob::InWorkingDir(std::string_view name) const {
  return MakePath(working_dir, name);
}

std::string TabrunJob::OutputPath(int layer) const {
  if (layer < 0 || layer >= kGdsLayerCount) return {};
  const std::string& name = layers.output_names[layer];
  if (name.empty() || name.front() == '/') return name;
  return InWorkingDir(name);
}

std::string FormatPgSettings(const TabrunJob& job) {
  const TabrunOptions& o = job.options;
  const std::string nl = "\r\n";
  std::string out;
  auto record = [&](const char* key, const std::string& value) {
    out += std::string(key) + nl + value + nl + nl;
  };
  record("SMALLANGLE", Lf(o.small_angle));
  record("SCALE", Lf(o.scale));
  record("COMPENSATION", Lf(o.compensation));
  record("VERIFY", std::to_string(o.verify));
  record("FEATURE", Lf(o.feature_size));
  record("OLEVEL", std::to_string(o.optimize_level == 0 ? 0 : 2 * o.optimize_level - 1));
  record("FILLMODE", std::to_string(o.manhattan));
  record("BLOCK_TEXT", o.translate_text ? "YES" : "NO");
  // The engine reads the text scales from this record: a user's edit of it stands.
  out += "TSCALE" + nl;
  out += HandTscaleWritten(job) ? JoinedLines(job.hand_tscale->lines, 1) : ShellTscaleLines(o);
  out += nl + "SHTSCALE" + nl;
  for (double v : o.font_scales) out += Lf(v) + nl;
  out += nl;
  const bool mils = o.mask_unit == 1;
  const double to_mils = mils ? 1.0 : 1.0 / kMilsToMicrons;
  const double to_microns = mils ? kMilsToMicrons : 1.0;
  // The group of the stored unit comes first and is the one read back.
  auto group = [&](const char* prefix, double factor) {
    auto text = factor == 1.0 ? Lf : PlainLf;
    record((std::string(prefix) + "MIN").c_str(), text(o.min_dimension * factor));
    record((std::string(prefix) + "MAX").c_str(), text(o.max_dimension * factor));
    record((std::string(prefix) + "SAG").c_str(), text(o.mask_sag * factor));
  };
  if (mils) {
    group("ENG", to_mils);
    group("MET", to_microns);
  } else {
    group("MET", to_microns);
    group("ENG", to_mils);
  }
  record("PERCENT_BUTT", std::to_string(o.overlap_percent));
  if (!job.layers.selected.empty()) {
    out += nl + "PG_OUTPUT" + nl;
    const auto& names = job.layers.CurrentNames();
    for (int layer : job.layers.selected) {
      if (layer < 0 || layer >= kGdsLayerCount) continue;
      out += std::to_string(layer) + " " + names[layer] + nl;
    }
  }
  return out;
}

void ParsePgSettings(std::string_view text, TabrunJob* job) {
  TabrunOptions& o = job->options;
  const std::string& unit = job->scan.gds_unit;
  o.feature_size = unit.size() > 1 && (unit[1] == 'M' || unit[1] == 'm') ? 5.0 : 0.2;
  enum class Group { kNone, kMetric, kEnglish } group = Group::kNone;
  const std::vector<std::string> lines = SplitTextLines(text);
  // A key counts only where a record starts (the file's start or after a line that is empty
  // or blank), as the engine reads records: a structure named FEATURE in a name list is no
  // record.
  bool at_record_start = true;
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool record_start = at_record_start;
    at_record_start = CfgBlankLine(lines[i]);
    const PgSettingsKey* key = record_start ? FindPgSettingsKey(lines[i]) : nullptr;
    if (key == nullptr) continue;
    const std::string name = key->key;
    if (name == "PG_OUTPUT") {
      job->layers.selected.clear();
      for (++i; i < lines.size() && !CfgBlankLine(lines[i]); ++i) {
        const std::string& line = lines[i];
        size_t digits = 0;
        while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) {
          ++digits;
        }
        if (digits == 0 || digits > 4 || digits >= line.size() || line[digits] != ' ') continue;
        const int layer = std::atoi(line.substr(0, digits).c_str());
        if (layer >= kGdsLayerCount) continue;
        bool listed = false;
        for (int l : job->layers.selected) listed |= l == layer;
        job->layers.CurrentNames()[layer] = line.substr(digits + 1);
        if (!listed) job->layers.selected.push_back(layer);
      }
      --i;
      continue;
    }
    if (name == "SHTSCALE") {
      for (size_t k = 0; k < 4 && i + 1 < lines.size() && !CfgBlankLine(lines[i + 1]); ++k) {
        ++i;
        const auto v = Real(lines[i]);
        if (v && FontScaleValid(*v)) o.font_scales[k] = *v;
      }
      continue;
    }
    if (name == "TSCALE") continue;  // derived from SHTSCALE and the scale when written
    if (i + 1 >= lines.size()) break;
    const std::string& value = lines[++i];
    at_record_start = CfgBlankLine(value);
    if (at_record_start) continue;
    const auto real = Real(value);
    const auto integer = Integer(value);
    if (name == "SMALLANGLE" && real) o.small_angle = *real;
    if (name == "SCALE" && real && ScaleValid(*real)) o.scale = *real;
    if (name == "COMPENSATION" && real) o.compensation = *real;
    if (name == "FEATURE" && real && FeatureSizeValid(*real)) o.feature_size = *real;
    if (name == "VERIFY" && integer && *integer >= 0 && *integer <= 10)
      o.verify = int32_t(*integer);
    if (name == "FILLMODE" && integer && (*integer == 0 || *integer == 1)) {
      o.manhattan = int32_t(*integer);
    }
    if (name == "PERCENT_BUTT" && integer && *integer >= 0 && *integer <= 50) {
      o.overlap_percent = int32_t(*integer);
    }
    if (name == "OLEVEL" && integer && *integer >= 0 && *integer <= 5) {
      o.optimize_level = *integer == 0 ? 0 : int32_t(*integer / 2 + 1);
    }
    if (name == "BLOCK_TEXT") {
      o.translate_text = strcasecmp(TrimmedWord(value).c_str(), "no") != 0 &&
                         strcasecmp(TrimmedWord(value).c_str(), "off") != 0;
    }
    const bool metric = name.starts_with("MET");
    const bool english = name.starts_with("ENG");
    if ((metric || english) && real && *real >= 0) {
      if (metric && group == Group::kEnglish) continue;
      if (english && group == Group::kMetric) continue;
      group = metric ? Group::kMetric : Group::kEnglish;
      o.mask_unit = metric ? 0 : 1;
      if (name.ends_with("MIN")) o.min_dimension = *real;
      if (name.ends_with("MAX")) o.max_dimension = *real;
      if (name.ends_with("SAG")) o.mask_sag = *real;
    }
  }
}

bool HandTscaleWritten(const TabrunJob& job) {
  return job.hand_tscale && job.hand_tscale->keepable &&
         ShellTscaleLines(job.options) == job.hand_tscale->in_place_of;
}

GdsCfgSettings CfgAsWritten(const TabrunJob& job) {
  // The GDS.CFG records carry the text settings the engine takes from the PG records, so
  // that both sets in one file agree whichever of them a reader takes first.
  GdsCfgSettings cfg = job.cfg;
  if (!HandTscaleWritten(job)) {
    for (size_t i = 0; i < 4; ++i)
      cfg.text_scales[i] = job.options.font_scales[i] / job.options.scale;
  }
  cfg.block_text = job.options.translate_text != 0;
  size_t tscale = 0;
  size_t block_text = 0;
  MatchGdsCfgKey("TSCALE", &tscale);
  MatchGdsCfgKey("BLOCK_TEXT", &block_text);
  // The record of these keys that counts is the PG record, written first: a record the old
  // file read for them is written from the PG options instead, while a later record of the
  // user's, which no reader takes, stays as it was written.
  std::erase_if(cfg.kept, [&](const CfgKeptRecord& kept) {
    return !kept.unread && (kept.key == tscale || kept.key == block_text);
  });
  cfg.pg_keys = {tscale, block_text};
  return cfg;
}

int WriteJobSettings(const TabrunJob& job, std::string* error, bool with_cfg_file) {
  const GdsCfgSettings cfg = CfgAsWritten(job);
  const std::string pg = FormatPgSettings(job);
  std::vector<std::vector<std::string>> unmanaged;
  if (!job.cfg_path.empty()) {
    if (std::optional<std::string> old = ReadWholeFile(job.cfg_path)) {
      unmanaged = UnmanagedRecords(*old);
    }
  } else {
    if (std::optional<std::string> old = ReadWholeFile(job.InWorkingDir(kGdsCfgName))) {
      unmanaged = UnmanagedRecords(*old);
    }
  }
  const std::string extra = FormatRecords(unmanaged);
  // No settings file ever replaces the layout it is made for.
  for (const std::string& path :
       {job.cfg_path, job.InWorkingDir(kPgCfgName), job.InWorkingDir(kGdsCfgName)}) {
    if (!path.empty() && !job.gds_path.empty() && SamePath(path, job.gds_path)) {
      *error = "'" + path + "': it is the GDS file itself";
      return -1;
    }
  }
  if (with_cfg_file && !job.cfg_path.empty() &&
      WriteFileReplacing(job.cfg_path, pg + FormatGdsCfg(cfg) + extra, error) != 0) {
    return -1;
  }
  const std::string pg_cfg = job.InWorkingDir(kPgCfgName);
  const std::string gds_cfg = job.InWorkingDir(kGdsCfgName);
  if ((job.cfg_path.empty() || !SamePath(pg_cfg, job.cfg_path)) &&
      WriteFileReplacing(pg_cfg, pg, error) != 0) {
    return -1;
  }
  if (job.cfg_path.empty() || !SamePath(gds_cfg, job.cfg_path)) {
    if (WriteFileReplacing(gds_cfg, pg + extra, error) != 0) return -1;
    if (std::find(job.gds_cfg_copies.begin(), job.gds_cfg_copies.end(), gds_cfg) ==
        job.gds_cfg_copies.end()) {
      job.gds_cfg_copies.push_back(gds_cfg);
    }
  }
  return 0;
}

bool EngineQualifiesNames(const TabrunJob& job) {
  const bool cfg_is_engines =
      !job.cfg_path.empty() && SamePath(job.InWorkingDir(kGdsCfgName), job.cfg_path);
  return cfg_is_engines ? job.cfg.gds_qualify : kEngineQualifiesNamesByDefault;
}

void ReadJobSettings(TabrunJob* job, const std::string& path) {
  const std::optional<std::string> text = ReadWholeFile(path);
  job->cfg = ParseGdsCfg(text ? *text : std::string(), job->working_dir);
  job->hand_tscale.reset();
  if (!text) return;
  ParsePgSettings(*text, job);
  // The engine takes BLOCK_TEXT and TSCALE from the first record of each in the file, which
  // is the PG record when there is one: the job's options follow it, so that the file
  // written says what the engine read. (The PG reader alone would take the last BLOCK_TEXT
  // record, and the text scales from SHTSCALE only.)
  size_t block_text = 0;
  size_t tscale = 0;
  MatchGdsCfgKey("BLOCK_TEXT", &block_text);
  MatchGdsCfgKey("TSCALE", &tscale);
  if (job->cfg.record_lines[block_text] != 0) job->options.translate_text = job->cfg.block_text;
  const size_t tscale_line = job->cfg.record_lines[tscale];
  if (tscale_line != 0 && !HasPgRecord(*text, "SHTSCALE")) {
    for (size_t i = 0; i < 4; ++i) {
      job->options.font_scales[i] = job->cfg.text_scales[i] * job->options.scale;
    }
  }
  // The TSCALE record the engine reads, when it says other than the shell would write for
  // the font scales and the scale, is the user's: its lines are kept for the writes.
  if (tscale_line != 0) {
    const std::vector<std::string> lines = SplitTextLines(*text);
    TabrunJob::HandTscale hand;
    hand.file = path;
    hand.line = tscale_line;
    const size_t end = std::min(lines.size(), tscale_line + 4);
    hand.lines.assign(lines.begin() + static_cast<long>(tscale_line - 1),
                      lines.begin() + static_cast<long>(end));
    // Written as they stand, the value lines must stay four lines of this record.
    hand.keepable =
        hand.lines.size() == 5 &&
        std::none_of(hand.lines.begin() + 1, hand.lines.end(), [](const std::string& line) {
          return CfgBlankLine(line) || line.find('\r') != line.npos;
        });
    hand.in_place_of = ShellTscaleLines(job->options);
    // One that cannot stand is the user's only when the engine reads other values from it.
    std::string read;
    for (double v : job->cfg.text_scales) read += Lf(v) + "\r\n";
    if (hand.keepable ? JoinedLines(hand.lines, 1) != hand.in_place_of : read != hand.in_place_of) {
      job->hand_tscale = std::move(hand);
    }
  }
}

std::vector<std::string> JobSettingsNotes(const std::string& path) {
  const std::optional<std::string> text = ReadWholeFile(path);
  return text ? GdsCfgNotes(*text, path) : std::vector<std::string>();
}

std::vector<std::string> EngineSettingsNotes(const TabrunJob& job) {
  if (job.working_dir.empty()) return {};
  const std::string gds_cfg = job.InWorkingDir(kGdsCfgName);
  std::vector<std::string> notes = JobSettingsNotes(gds_cfg);
  if (!job.cfg_path.empty() && !SamePath(job.cfg_path, gds_cfg)) {
    // Of another CFG file the engine reads only what the PG records carry; but a record
    // of it that no reader takes, or a value of those keys, is named all the same: the
    // user's value is not the one the run uses.
    const std::optional<std::string> text = ReadWholeFile(job.cfg_path);
    const auto concerns_run = [](const CfgNote& note) {
      return note.unread || note.key == std::string("BLOCK_TEXT") ||
             note.key == std::string("TSCALE");
    };
    if (text) {
      for (std::string& note : GdsCfgNotes(*text, job.cfg_path, concerns_run)) {
        notes.push_back(std::move(note));
      }
    }
  }
  if (std::string note = HandTscaleNote(job); !note.empty()) notes.push_back(std::move(note));
  return notes;
}

}  // namespace kavrinth
