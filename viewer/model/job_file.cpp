// Reading and writing viewer job files on the INI module, and the jobs the viewer makes
// for data files opened on their own.
#include "viewer/model/job_file.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <memory>
#include <vector>

#include "pg2gds/pg_readers.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/args.h"
#include "support/colors.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

// The room the job reader gives a [General] value. Layer values are read whole: a path
// is as long as the file system allows.
constexpr size_t kGeneralValueSize = 16;

int32_t DecimalValue(std::string_view text) { return ParseProfileInt(text).value_or(0); }

// The layer keys' numbers 0..1023 as they appear in the section ("LAYER_%d" exactly, so
// that "LAYER_07" is no key of entry 7), each with its value.
std::vector<std::pair<int, std::string>> LayerValues(const IniFile& ini) {
  std::vector<std::pair<int, std::string>> found;
  for (auto& [key, value] : ini.Values(kJobLayerSection)) {
    constexpr std::string_view kPrefix = "LAYER_";
    if (key.size() <= kPrefix.size() || key.size() > kPrefix.size() + 4) continue;
    std::string upper = key;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string_view digits = std::string_view(upper).substr(kPrefix.size());
    if (digits.find_first_not_of("0123456789") != std::string_view::npos) continue;
    const int n = std::stoi(std::string(digits));
    if (n >= kViewLayerCount || JobLayerKey(n) != upper) continue;
    found.emplace_back(n, std::move(value));
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return found;
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
  return ParseViewerLayerValue(value);
}

std::string FormatJobLayerValue(const ViewLayerEntry& entry) {
  return FormatViewerLayerValue({entry.shown, entry.colour, entry.fill_mode, entry.path});
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
  for (const auto& [n, value] : LayerValues(ini)) {
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
  // An entry the file cannot hold (a path with a double quote or a line break) fails the
  // write: the job would otherwise be written without it, or with its path cut.
  std::vector<std::pair<std::string, std::string>> values;
  values.reserve(kViewLayerCount);
  for (int n = 0; n < kViewLayerCount; ++n) {
    const ViewLayerEntry& entry = table[n];
    if (!ViewerLayerPathFits(entry.path)) return -1;
    values.emplace_back(JobLayerKey(n),
                        entry.path.empty() ? std::string() : FormatJobLayerValue(entry));
  }
  if (!ini.SetValues(kJobLayerSection, values)) return -1;
  WriteGeneral(&ini);
  return ini.Save() ? kViewLayerCount : -1;
}

std::string JobTableRefusal() {
  for (const ViewLayerEntry& entry : LayerTable()) {
    if (!ViewerLayerPathFits(entry.path)) return ViewerLayerPathRefusal(entry.path);
  }
  return std::string();
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
    for (const auto& [n, text] : LayerValues(ini)) {
      value = ParseJobLayerValue(text);
      if (value && value->path == data_file) {
        found = n;
        break;
      }
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
  if (job_path != nullptr) *job_path = path;
  // A list the job cannot hold leaves an older job of that name as it was.
  for (const ViewLayerEntry& entry : LayerTable()) {
    if (!ViewerLayerPathFits(entry.path)) return -1;
  }
  // A job of the same name from an earlier list would keep its other entries. Only a file
  // goes: a directory of that name is the user's, and the write below then fails.
  unlink(NativePath(ResolveExistingPath(path)).c_str());
  return WriteJobFile(path);
}

namespace {

// A picked file the job cannot hold is refused before anything changes, with the reason:
// the job would read it back cut. True when every file can be held.
bool PickedFilesFit(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (ViewerLayerPathFits(path)) continue;
    ShowMessage("Cannot open " + path + ": " + std::string(kViewerLayerPathReason), "Error",
                MessageIcon::kStop);
    return false;
  }
  return true;
}

// Why the job file at path could not be written, for the user's message.
std::string JobWriteFailure(const std::string& path) {
  std::error_code error;
  const std::filesystem::path native(NativePath(path));
  if (std::filesystem::is_directory(native, error))
    return "a directory of that name is in its place";
  const std::filesystem::path directory = native.parent_path();
  if (!directory.empty() && !std::filesystem::is_directory(directory, error)) {
    return "its directory " + directory.string() + " does not exist";
  }
  if (access(directory.empty() ? "." : directory.c_str(), W_OK) != 0) {
    return "its directory may not be written";
  }
  return "the file could not be written";
}

}  // namespace

int OpenJobFile(std::string* result, std::string_view names, uint32_t flags) {
  std::vector<std::string> list;
  if (flags & kOpenMultiSelect) {
    list = SplitNulList(names, INT_MAX);
  } else if (!names.empty()) {
    list.emplace_back(names.substr(0, names.find('\0')));
  }
  if (list.empty() || list[0].empty()) return 0;
  std::vector<std::string> paths;
  if (list.size() > 1) {
    const size_t files = std::min<size_t>(list.size() - 1, kViewLayerCount);
    for (size_t i = 0; i < files; ++i) paths.push_back(MakePath(list[0], list[i + 1]));
  } else {
    std::string extension;
    SplitExtension(list[0], nullptr, &extension);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (extension != ".JOB") paths.push_back(list[0]);
  }
  if (!PickedFilesFit(paths)) return 0;
  if (paths.empty()) {
    ClearLayerTable();
    *result = list[0];
    return 1;
  }
  // The open job's table stays aside until the new job is written: a job that cannot be
  // written refuses the open and leaves the job on screen as it was.
  const auto kept = std::make_unique<ViewLayerTable>(LayerTable());
  const ViewerJobState kept_state = JobState();
  for (ViewLayerEntry& entry : LayerTable()) entry = ViewLayerEntry{};
  ClearLayerTable();
  for (size_t i = 0; i < paths.size(); ++i) AddJobLayerEntry(paths[i], static_cast<int>(i));
  std::string job;
  if (WriteFileListJob(&job) < 0) {
    ShowMessage("The job file " + job + " could not be written: " + JobWriteFailure(job) + ".",
                "Error", MessageIcon::kStop);
    ClearLayerTable();
    LayerTable() = *kept;
    JobState() = kept_state;
    return 0;
  }
  for (ViewLayerEntry& entry : *kept) ClearLayerEntry(&entry);
  *result = job;
  return 1;
}

}  // namespace kavrinth
