// Writing and reading the engine job file and the viewer's layer table in it.
#include "corvane/core/engine_job_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "support/paths.h"
#include "support/viewer_layer_value.h"

namespace kavrinth {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The number of a "<prefix><digits>" name (prefix without regard to case), or -1.
long NumberedName(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 9) return -1;
  if (!EqualNoCase(name.substr(0, prefix.size()), prefix)) return -1;
  long value = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The file's value as written, with an existing '\' kept for the engine's own conversion.
std::string FileNameOf(std::string_view path) {
  std::string native(path);
  ForwardToBackslash(native);
  std::string name;
  SplitPath(native, nullptr, &name);
  return name;
}

}  // namespace

bool IsValidLayerText(std::string_view text) {
  if (text.empty() || text.size() > kMaxLayerText) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > kMaxGdsLayer) return false;
  }
  return value >= kMinGdsLayer;
}

int EngineLayerOf(std::string_view text) {
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = (value * 10 + (c - '0')) % kEngineKeptLayers;
  }
  return static_cast<int>(value);
}

std::string JobSectionName(int index) { return "layer" + std::to_string(index); }

std::optional<std::string> LayerFromOldJob(const IniFile& job, int index, std::string_view name) {
  const std::optional<std::string> value = job.Get(JobSectionName(index), kJobLayerKey);
  if (!value) return std::nullopt;
  const size_t comma = value->find(',');
  if (comma == std::string::npos) return std::nullopt;
  const std::string layer = value->substr(0, comma);
  if (!IsValidLayerText(layer)) return std::nullopt;
  if (!EqualNoCase(FileNameOf(value->substr(comma + 1)), name)) return std::nullopt;
  return layer;
}

bool WriteEngineJobFile(const std::string& job_path, const std::vector<JobFileEntry>& entries) {
  IniFile job;
  if (!job.Load(job_path)) return false;
  std::string sections;
  for (size_t k = 0; k < entries.size(); ++k) {
    const std::string section = JobSectionName(static_cast<int>(k));
    if (!job.Set(section, kJobLayerKey, entries[k].layer_text + "," + entries[k].path)) {
      return false;
    }
    if (!sections.empty()) sections += ',';
    sections += section;
  }
  for (const std::string& section : job.Sections()) {
    const long number = NumberedName(section, "layer");
    if (number >= static_cast<long>(entries.size())) job.RemoveSection(section);
  }
  if (!job.Set(kJobGeneral, kJobLayersKey, sections)) return false;
  return job.Save();
}

bool WriteViewerLayerTable(const std::string& job_path, const CorvaneSession& session) {
  IniFile job;
  if (!job.Load(job_path)) return false;
  const size_t count = session.input_file_names.size();
  std::vector<std::pair<std::string, std::string>> values;
  for (size_t n = 0; n < count; ++n) {
    const std::string key = "LAYER_" + std::to_string(n);
    const std::string path = InputFullPath(session, n);
    // A path the viewer would read back cut is refused, not written.
    if (!ViewerLayerPathFits(path)) return false;
    // An old entry keeps its display settings only when it reads as the viewer reads it.
    const std::optional<std::string> old = job.Get(kViewerLayerTable, key);
    values.emplace_back(
        key, ShellViewerLayerValue(old.value_or(""), ViewerShellColour(static_cast<int>(n)), path));
  }
  if (!job.SetValues(kViewerLayerTable, values)) return false;
  if (!job.Set(kJobGeneral, "FormatType", std::to_string(session.options.files_format)) ||
      !job.Set(kJobGeneral, "UnitType", session.options.files_unit != 0 ? "1" : "0")) {
    return false;
  }
  return job.Save();
}

std::string ViewerLayerTableRefusal(const CorvaneSession& session) {
  for (size_t n = 0; n < session.input_file_names.size(); ++n) {
    const std::string path = InputFullPath(session, n);
    if (!ViewerLayerPathFits(path)) return ViewerLayerPathRefusal(path);
  }
  return std::string();
}

int MoveJobFile(const std::string& old_path, const std::string& new_path) {
  namespace fs = std::filesystem;
  const std::string source = ResolveExistingPath(old_path);
  const std::string target = NativePath(new_path);
  std::error_code error;
  if (fs::equivalent(source, target, error)) return 0;
  const std::string temporary = target + ".part";
  {
    std::ifstream in(source, std::ios::binary);
    if (!in) return errno != 0 ? errno : ENOENT;
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return errno != 0 ? errno : EACCES;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      out.write(buffer, in.gcount());
      if (!out) break;
    }
    const bool read_ok = !in.bad();
    out.close();
    if (!read_ok || !out) {
      fs::remove(temporary, error);
      return EIO;
    }
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int code = errno;
    fs::remove(temporary, error);
    return code;
  }
  fs::remove(source, error);
  return 0;
}

}  // namespace kavrinth
