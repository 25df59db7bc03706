// Writing the job log.
#include "tabrun/core/job_log.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#include "support/job_file_names.h"
#include "tabrun/core/file_ops.h"

namespace kavrinth {
namespace {

constexpr const char* kHeaderLines[] = {
    "Kavrinth Tabrun: GDSII to PG translation job log",
    "Questions about this log: the mask data group of your site",
};

// The whole text, however long the names in it are.
std::string Printf(const char* format, auto... values) {
  const int size = std::snprintf(nullptr, 0, format, values...);
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, values...);
  text.pop_back();
  return text;
}

// The values of the settings file the engine read that it refused or read otherwise than
// written, as a block of the log; "" when there are none.
std::string SettingsNotesText(const TabrunJob& job) {
  const std::vector<std::string> notes = EngineSettingsNotes(job);
  if (notes.empty()) return {};
  const std::string nl = "\r\n";
  std::string out = nl + "Settings File Notes:" + nl;
  for (const std::string& note : notes) out += note + nl;
  return out;
}

}  // namespace

std::string GeneratedFilesText(const TabrunJob& job) {
  if (job.layers.selected.empty()) return {};
  const std::string nl = "\r\n";
  std::string out = nl + "Generated Output Files:" + nl;
  for (int layer : job.layers.selected) {
    if (layer < 0 || layer >= kGdsLayerCount) continue;
    if (job.no_data[layer] || job.conversion_failed[layer]) continue;
    out += std::to_string(layer) + " " + job.layers.output_names[layer] + nl;
  }
  for (int layer = 0; layer < kGdsLayerCount; ++layer) {
    if (!job.no_data[layer]) continue;
    out += Printf("No data translated for GDS layer %d, %s is not generated.", layer,
                  job.layers.output_names[layer].c_str()) +
           nl;
  }
  for (int layer = 0; layer < kGdsLayerCount; ++layer) {
    if (!job.conversion_failed[layer]) continue;
    out += Printf("Conversion failed for GDS layer %d, %s is not generated.", layer,
                  job.layers.output_names[layer].c_str()) +
           nl;
  }
  return out;
}

std::string LogFileErrorText(int cause) {
  switch (cause) {
    case ENOENT:
    case ENOTDIR:
      return "File not found when generating log file.\nExit the program and try again.";
    case EACCES:
    case EPERM:
    case EROFS:
      return "Access denied when generating log file.\nExit the program and try again.";
    default:
      return Printf("(%d) Error occurred in operating log file.\nExit the program and try again.",
                    cause);
  }
}

int RebuildJobLog(const TabrunJob& job, const RunTiming& timing, bool with_files,
                  std::string* error, int* cause) {
  int ignored_cause = 0;
  if (cause == nullptr) cause = &ignored_cause;
  const JobFileNames names = MakeJobFileNames(job.gds_path);
  const std::string log = job.InWorkingDir(names.log);
  const std::string copy = job.InWorkingDir(names.log_copy);
  RemoveFile(copy);
  if (MoveFileReplacing(log, copy, error, cause) != 0) return -1;
  errno = 0;
  const std::optional<std::string> engine_log = ReadWholeFile(copy);
  if (!engine_log) {
    *cause = errno ? errno : EIO;
    *error = "'" + copy + "' cannot be read";
    std::string ignored;
    MoveFileReplacing(copy, log, &ignored);
    return -1;
  }
  // The PG library writes no log when the engine stopped before it started: the job log
  // says so in its place.
  const std::string nl = "\r\n";
  const std::string pg_log =
      ReadWholeFile(job.InWorkingDir(kPgLogName))
          .value_or("No PG library log (" + std::string(kPgLogName) + ") was written." + nl);
  std::string text;
  for (const char* line : kHeaderLines) text += line + nl;
  text += nl;
  const std::tm& t = timing.end_time;
  text += "GDS File:\t\t" + job.gds_path + nl;
  text += Printf("End Job Time:\t%02d:%02d:%02d  (%d-%d-%d)", t.tm_hour, t.tm_min, t.tm_sec,
                 t.tm_mon + 1, t.tm_mday, t.tm_year + 1900) +
          nl;
  text += Printf("Elapsed Time:\t%lld second(s)", static_cast<long long>(timing.elapsed_seconds)) +
          nl + nl;
  text += "GDS Unit:       \t" + job.scan.gds_unit + nl;
  text += std::string("Output Unit:    \t") + (IsMilUnit(job.scan.gds_unit) ? "MIL" : "UM") + nl;
  text += "Structure:      \t" + job.scan.top + nl;
  if (!timing.ending.empty()) text += nl + timing.ending + nl;
  text += SettingsNotesText(job);
  if (with_files) text += GeneratedFilesText(job);
  text += *engine_log;
  text += pg_log;
  if (WriteFileReplacing(log, text, error, cause) != 0) {
    std::string ignored;
    MoveFileReplacing(copy, log, &ignored);
    return -1;
  }
  RemoveFile(copy);
  return 0;
}

int AppendGeneratedFiles(const TabrunJob& job, const std::string& path,
                         const std::string& converter_log, std::string* error, int* cause) {
  errno = 0;
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) {
    if (cause) *cause = errno ? errno : EIO;
    *error = "'" + path + "' cannot be read";
    return -1;
  }
  return WriteFileReplacing(path, *text + converter_log + GeneratedFilesText(job), error, cause);
}

}  // namespace kavrinth
