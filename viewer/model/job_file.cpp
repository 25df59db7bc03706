// Reading and writing viewer job files on the INI module, and the jobs the viewer makes
// for data files opened on their own.
#include "viewer/model/job_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <vector>

#include "pg2gds/pg_readers.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/args.h"
#include "support/colors.h"
#include "support/paths.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

// The room the job reader gives a layer value and a [General] value.
constexpr size_t kLayerValueSize = 324;
constexpr size_t kGeneralValueSize = 16;
// The splitter's pointer array: at most seven words.
constexpr int kLayerWordSlots = 8;

struct FillWord {
  char letter;
  const char* word;
  int32_t mode;
};

constexpr std::array<FillWord, 3> kFillWords = {{
    {'N', "Negative", kFillNegative},
    {'S', "Scratch", kFillScratch},
    {'P', "Paint", kFillPaint},
}};

int32_t FillModeOf(std::string_view word) {
  const char letter = word.empty() ? '\0' : static_cast<char>(std::toupper(word[0]));
  for (const FillWord& fill : kFillWords) {
    if (fill.letter == letter) return fill.mode;
  }
  return kFillPaint;
}

const char* FillWordOf(int32_t mode) {
  for (const FillWord& fill : kFillWords) {
    if (fill.mode == mode) return fill.word;
  }
  return "Paint";
}

int32_t DecimalValue(std::string_view text) { return ParseProfileInt(text).value_or(0); }

uint32_t ColourByte(std::string_view text) {
  return static_cast<uint32_t>(DecimalValue(text)) & 0xFF;
}

// Commas separate like blanks, except inside double quotes, where they belong to the path.
std::string CommasToBlanks(std::string_view value) {
  std::string text(value);
  bool quoted = false;
  for (char& c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) c = ' ';
  }
  return text;
}

void WriteGeneral(IniFile* ini) {
  const ViewerImportSettings& settings = ImportSettings();
  ini->Set(kJobGeneralSection, kJobFormatKey, std::to_string(settings.pg_format));
  ini->Set(kJobGeneralSection, kJobUnitKey, settings.metric ? "1" : "0");
}

int32_t ReadGeneral(const IniFile& ini, int32_t* unit_code, int32_t* format) {
  *unit_code = 2;
  *format = 0;
  const std::string format_text =
      ini.GetString(kJobGeneralSection, kJobFormatKey, "", kGeneralValueSize);
  if (!format_text.empty()) {
    *format = DecimalValue(format_text);
    if (*format < 0 || *format >= kPgFormatCount) *format = 0;
  }
  const std::string unit_text =
      ini.GetString(kJobGeneralSection, kJobUnitKey, "", kGeneralValueSize);
  if (!unit_text.empty()) {
    ImportSettings().metric = DecimalValue(unit_text) != 0;
    *unit_code = UnitCodeFor(*format, ImportSettings().metric);
  }
  return *unit_code;
}

void FillEntry(ViewLayerEntry* entry, const JobLayerValue& value) {
  entry->path = value.path;
  entry->shown = value.shown;
  entry->colour = value.colour;
  entry->fill_mode = value.fill_mode;
}

// A relative layer path that names no file from the current directory is looked for
// beside the job file, so that a job opened from another directory (a file manager, a
// shell elsewhere) still finds the data files that lie next to it. A path that resolves
// as it stands, and one found in neither place, is kept as written.
void ResolveBesideJob(const std::string& job_path, std::string* path) {
  if (path->empty() || (*path)[0] == '/' || (*path)[0] == '\\' || FileExists(*path)) return;
  std::string directory;
  SplitPath(NativePath(job_path), &directory, nullptr);
  if (directory.empty()) return;
  std::string beside = MakePath(directory, NativePath(*path));
  if (FileExists(beside)) *path = std::move(beside);
}

}  // namespace

std::string JobLayerKey(int n) { return "LAYER_" + std::to_string(n); }

std::optional<JobLayerValue> ParseJobLayerValue(std::string_view value) {
  const std::vector<std::string> words = SplitArgs(CommasToBlanks(value), kLayerWordSlots);
  if (words.size() < 6) return std::nullopt;
  JobLayerValue result;
  result.shown = words[0].size() > 1 && words[0][1] == 'N' ? 1 : 0;
  result.colour = ColourByte(words[1]) | ColourByte(words[2]) << 8 | ColourByte(words[3]) << 16;
  result.fill_mode = FillModeOf(words[4]);
  result.path = words[5];
  return result;
}

std::string FormatJobLayerValue(const ViewLayerEntry& entry) {
  std::string value = entry.shown ? "ON" : "OFF";
  for (int shift : {0, 8, 16}) value += "," + std::to_string((entry.colour >> shift) & 0xFF);
  return value + "," + FillWordOf(entry.fill_mode) + " \"" + entry.path + "\"";
}

uint32_t DefaultLayerColour(int index) {
  // Red, green, yellow, blue, magenta and cyan follow white and black in the pick table.
  constexpr int kFirstHue = 2;
  return PickColors()[kFirstHue + index % 6] & 0xFFFFFF;
}

int ReadJobFile(const std::string& path) {
  JobState().job_path = path;
  if (!FileExists(NativePath(path))) return 0;
  ScopedWaitStatus status("Getting job information.");
  IniFile ini;
  ini.Load(path);
  ViewLayerTable& table = LayerTable();
  int read = 0;
  for (int n = 0; n < kViewLayerCount; ++n) {
    const std::string value = ini.GetString(kJobLayerSection, JobLayerKey(n), "", kLayerValueSize);
    if (value.empty()) continue;
    if (std::optional<JobLayerValue> parsed = ParseJobLayerValue(value)) {
      FillEntry(&table[n], *parsed);
      ResolveBesideJob(path, &table[n].path);
      ++read;
    }
  }
  ViewerImportSettings& settings = ImportSettings();
  ReadGeneral(ini, &settings.unit_code, &settings.pg_format);
  return read;
}

int32_t ReadJobGeneral(const std::string& path, int32_t* unit_code, int32_t* format) {
  IniFile ini;
  if (FileExists(NativePath(path))) ini.Load(path);
  return ReadGeneral(ini, unit_code, format);
}

int WriteJobFile(const std::string& path) {
  ScopedWaitStatus status("Writing job information.");
  IniFile ini;
  if (!ini.Load(path)) return -1;
  const ViewLayerTable& table = LayerTable();
  // An entry the file cannot hold (a path with a line break) fails the write: the job
  // would otherwise be written without it.
  bool held = true;
  for (int n = 0; n < kViewLayerCount; ++n) {
    const ViewLayerEntry& entry = table[n];
    held &= ini.Set(kJobLayerSection, JobLayerKey(n),
                    entry.path.empty() ? std::string() : FormatJobLayerValue(entry));
  }
  WriteGeneral(&ini);
  if (!held) return -1;
  return ini.Save() ? kViewLayerCount : -1;
}

int WriteJobGeneral(const std::string& path) {
  IniFile ini;
  if (!ini.Load(path)) return -1;
  WriteGeneral(&ini);
  return ini.Save() ? 0 : -1;
}

int UpdateJobLayerTable(const std::string& job_path, const std::string& data_file) {
  ViewLayerTable& table = LayerTable();
  for (ViewLayerEntry& entry : table) ClearLayerEntry(&entry);
  int found = -1;
  std::optional<JobLayerValue> value;
  if (FileExists(NativePath(job_path))) {
    IniFile ini;
    ini.Load(job_path);
    for (int n = 0; n < kViewLayerCount && found < 0; ++n) {
      value =
          ParseJobLayerValue(ini.GetString(kJobLayerSection, JobLayerKey(n), "", kLayerValueSize));
      if (value && value->path == data_file) found = n;
    }
  }
  if (found >= 0) {
    FillEntry(&table[found], *value);
  } else {
    // Red, Paint: a file opened on its own must show. Scratch would draw it in the
    // background colour, so the viewer would open it and show an empty window.
    FillEntry(&table[0], JobLayerValue{1, 0x0000FF, kFillPaint, data_file});
  }
  // Every other entry of the job is dropped: all keys are written again.
  return WriteJobFile(job_path);
}

void ClearLayerTable() {
  ViewerJobState& state = JobState();
  state.entered = 0;
  state.first_file.clear();
  for (ViewLayerEntry& entry : LayerTable()) ClearLayerEntry(&entry);
}

void AddJobLayerEntry(const std::string& path, int index) {
  if (index < 0 || index >= kViewLayerCount) return;
  ViewerJobState& state = JobState();
  if (state.first_file.empty()) state.first_file = path;
  ViewLayerEntry& entry = LayerTable()[index];
  ClearLayerEntry(&entry);
  entry.path = path;
  entry.shown = 1;
  entry.fill_mode = kFillPaint;
  entry.colour = DefaultLayerColour(index);
  ++state.entered;
}

int WriteFileListJob(std::string* job_path) {
  std::string name;
  SplitPath(NativePath(JobState().first_file), nullptr, &name);
  const std::string path = MakePath(GetWorkingDirectory(), ReplaceExtension(name, ".job"));
  // A job of the same name from an earlier list would keep its other entries.
  std::remove(NativePath(ResolveExistingPath(path)).c_str());
  if (job_path != nullptr) *job_path = path;
  return WriteJobFile(path);
}

int OpenJobFile(std::string* result, std::string_view names, uint32_t flags) {
  std::vector<std::string> list;
  if (flags & kOpenMultiSelect) {
    list = SplitNulList(names, INT_MAX);
  } else if (!names.empty()) {
    list.emplace_back(names.substr(0, names.find('\0')));
  }
  if (list.empty() || list[0].empty()) return 0;
  ClearLayerTable();
  if (list.size() > 1) {
    const size_t files = std::min<size_t>(list.size() - 1, kViewLayerCount);
    for (size_t i = 0; i < files; ++i) {
      AddJobLayerEntry(MakePath(list[0], list[i + 1]), static_cast<int>(i));
    }
    WriteFileListJob(result);
    return 1;
  }
  std::string extension;
  SplitExtension(list[0], nullptr, &extension);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (extension == ".JOB") {
    *result = list[0];
    return 1;
  }
  AddJobLayerEntry(list[0], 0);
  WriteFileListJob(result);
  return 1;
}

}  // namespace kavrinth
