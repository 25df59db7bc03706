// Reading the engine job file into the list of PG files and their GDSII layers.
#include "pg2gds/engine_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>

#include "pg2gds/engine_messages.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/buf_file.h"
#include "support/paths.h"
#include "support/progress_sink.h"

namespace kavrinth {

namespace {

constexpr int kLastLayer = kEngineLayerCount - 1;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SamePathNoCase(std::string_view a, std::string_view b) {
  const std::string x = NativePath(a);
  const std::string y = NativePath(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    if (Lower(x[i]) != Lower(y[i])) return false;
  }
  return true;
}

// True when the job's layer text is exactly the layer's number (blanks, a plus sign and
// leading zeros aside).
bool TextNamesLayer(std::string_view text, int layer) {
  text = Trim(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
    if (value > kLastLayer) return false;
  }
  return value == layer;
}

// Why the job's file cannot be read, or "" when it can: it is opened as the readers will
// open it, and must be a file, not a directory.
std::string UnreadableReason(std::string_view path) {
  if (path.empty()) return "No file is named.";
  const int fd = ::open(PgFileSystemPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR ? "The file does not exist."
                                               : "The file cannot be opened.";
  }
  struct stat status {};
  const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  ::close(fd);
  return regular ? "" : "It is not a file.";
}

bool AlreadyListed(const std::vector<LayerFileEntry>& entries, std::string_view path) {
  for (const LayerFileEntry& entry : entries) {
    if (SamePathNoCase(entry.path, path)) return true;
  }
  return false;
}

// The entry one job section gives, when it names a layer and a path after a comma. The
// value is read whole, and the path is the text after the comma as the shell wrote it: a
// file name may end in a blank or be longer than any fixed buffer.
std::optional<LayerFileEntry> ReadJobSection(const IniFile& job, std::string_view section) {
  if (section.empty()) return std::nullopt;
  const std::string value = job.GetString(section, "layer", "", std::string::npos);
  const size_t comma = value.find(',');
  if (comma == std::string::npos) return std::nullopt;
  LayerFileEntry entry;
  entry.layer_text = std::string(Trim(std::string_view(value).substr(0, comma)));
  entry.layer = LayerFromText(entry.layer_text);
  entry.path = value.substr(comma + 1);
  return entry;
}

void WriteLayerTable(EngineRun& run, const std::vector<LayerFileEntry>& entries) {
  WriteLog(run, "\r\nTranslating File(s) to Layer Number...\r\n\r\n");
  for (const LayerFileEntry& entry : entries) {
    WriteLog(run, entry.path + "  (" + std::to_string(entry.layer) + ")\r\n");
  }
}

// The files other than entries[index] whose shapes go to the same layer, as "a, b".
std::string OthersOnLayer(const std::vector<LayerFileEntry>& entries, size_t index) {
  std::string others;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i == index || entries[i].layer != entries[index].layer) continue;
    if (!others.empty()) others += ", ";
    others += entries[i].path;
  }
  return others;
}

// A layer the job gave that is not the layer used (narrowed modulo 64, or numbered
// automatically) is a counted warning. When the layer used is another file's too, the
// shapes of both end up on one GDSII layer: that is a counted warning of its own, naming
// the layer and the other files. Files the job itself gives one layer are its choice.
void LogChangedLayers(EngineRun& run, const std::vector<LayerFileEntry>& entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const LayerFileEntry& entry = entries[i];
    if (!entry.layer_text.empty() && TextNamesLayer(entry.layer_text, entry.layer)) continue;
    const std::string layer = std::to_string(entry.layer);
    if (!entry.layer_text.empty()) {
      LogWarning(run, "GDS layer " + entry.layer_text + " changed to " + layer + ".", entry.path);
    }
    const std::string others = OthersOnLayer(entries, i);
    if (others.empty()) continue;
    const std::string subject =
        entry.layer_text.empty() ? "The automatic layer" : "GDS layer " + entry.layer_text;
    LogWarning(run, subject + " joins the shapes of layer " + layer + " from " + others + ".",
               entry.path);
  }
}

}  // namespace

std::string PgFileSystemPath(std::string_view path) {
  return ResolveExistingPath(NativePath(path));
}

int LayerFromText(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int remainder = 0;
  for (size_t i = 0; i < text.size() && IsDigit(text[i]); ++i) {
    remainder = (remainder * 10 + (text[i] - '0')) % kEngineLayerCount;
  }
  return negative ? 0 : remainder;
}

std::vector<LayerFileEntry> ReadJobLayerList(EngineRun& run, const std::string& job_path) {
  std::vector<LayerFileEntry> entries;
  IniFile job;
  if (!job.Load(job_path)) return entries;
  const std::string names = job.GetString("General", "layers", "", std::string::npos);
  std::string_view rest = names;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view name = Trim(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    std::optional<LayerFileEntry> entry = ReadJobSection(job, name);
    if (!entry || AlreadyListed(entries, entry->path)) continue;
    // A listed file that cannot be read is left out, never silently.
    if (const std::string reason = UnreadableReason(entry->path); !reason.empty()) {
      LogWarning(run, "PG file left out: " + reason, "'" + entry->path + "'");
      continue;
    }
    if (run.traits->verify_units && VerifyLayerFileUnits(run, entry->path) != 0) {
      ShowEngineMessage(kMsgUnitMismatch, kMessageWithName, entry->path);
      continue;
    }
    std::string file_name;
    SplitPath(NativePath(entry->path), nullptr, &file_name);
    ProgressListAdd(file_name);
    entries.push_back(std::move(*entry));
  }
  return entries;
}

void AssignFreeLayerNumbers(std::vector<LayerFileEntry>& entries) {
  std::array<bool, kEngineLayerCount> used{};
  for (const LayerFileEntry& entry : entries) used[entry.layer] = true;
  int candidate = 1;
  for (LayerFileEntry& entry : entries) {
    if (entry.layer != 0) continue;
    while (candidate < kLastLayer && used[candidate]) ++candidate;
    entry.layer = candidate;
    used[candidate] = true;
  }
}

int VerifyLayerFileUnits(EngineRun& run, const std::string& path) {
  std::unique_ptr<BufFile> file = BufFileOpen(PgFileSystemPath(path).c_str(), "rb");
  if (!file) return 0;
  int32_t code = run.units.unit_code;
  PgReader reader;
  DetectPgFormat(&reader, file.get(), run.pg_format, &code);
  BufFileClose(std::move(file));
  if (run.units.unit_code < 0 || run.units.unit_code == code) {
    if (code == kUnitMetric) {
      code = run.pg_format == kPgFormatMann3000 ? kUnitMetricMann3000 : kUnitMetricMann3600;
    }
    run.units.unit_code = code;
    if (code == kUnitEnglish) {
      SelectUnitLetter(run, 'E');
      return 0;
    }
    if (code == kUnitMetricMann3000 || code == kUnitMetricMann3600) {
      SelectUnitLetter(run, 'M');
      return 0;
    }
  }
  LogWarning(run, "Unit type mismatch or unknown.", path);
  return kMsgUnitMismatch;
}

int LoadLayerList(EngineRun& run) {
  if (run.job_copy_failed || !BufFileOpen(run.job_copy_path.c_str(), "rt")) {
    return kMsgCannotOpenWorkingFiles;
  }
  std::vector<LayerFileEntry> entries = ReadJobLayerList(run, run.job_copy_path);
  if (entries.empty()) return kMsgNoSourceFile;
  AssignFreeLayerNumbers(entries);
  if (run.layer_table_in_log) WriteLayerTable(run, entries);
  LogChangedLayers(run, entries);
  run.layers = std::move(entries);
  return 0;
}

void FreeLayerList(EngineRun& run) { run.layers.clear(); }

}  // namespace kavrinth
