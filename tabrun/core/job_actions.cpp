// Scanning, CFG choice, structure choice, working directory, viewer job and clean-up.
#include "tabrun/core/job_actions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/ini.h"
#include "support/job_file_names.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/viewer_layer_value.h"
#include "tabrun/core/file_ops.h"

namespace kavrinth {
namespace {

void ShellMessage(const std::string& text, MessageIcon icon = MessageIcon::kWarning) {
  ShowMessage(text, "Tabrun", icon);
}

// Why the file cannot be scanned, or "" when it can be read.
std::string UnreadableReason(const std::string& path) {
  struct stat status {};
  if (::stat(ResolveExistingPath(path).c_str(), &status) != 0) {
    return errno == ENOENT || errno == ENOTDIR
               ? "The file does not exist."
               : std::string("It cannot be read: ") + std::strerror(errno) + ".";
  }
  if (S_ISDIR(status.st_mode)) return "It is a directory.";
  const int fd = ::open(ResolveExistingPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::string("It cannot be read: ") + std::strerror(errno) + ".";
  ::close(fd);
  return {};
}

// What the scanner wrote on its standard error about a file it refused, as lines for the
// message that names the file: without the program's and the file's name in front, each
// begun with a capital and ended as a sentence. At most a few lines: a scanner in trouble
// may say much more than a message box can show.
std::string ScannerReason(std::string_view errors, const std::string& gds_path) {
  constexpr size_t kShownLines = 10;
  constexpr std::string_view kBlanks = " \t\r";
  std::string reason;
  size_t shown = 0;
  while (!errors.empty() && shown < kShownLines) {
    const size_t end = errors.find('\n');
    std::string_view line = errors.substr(0, end);
    errors.remove_prefix(end == std::string_view::npos ? errors.size() : end + 1);
    const size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) continue;
    line = line.substr(first, line.find_last_not_of(kBlanks) + 1 - first);
    constexpr std::string_view kProgram = "selvar: ";
    if (line.starts_with(kProgram)) line.remove_prefix(kProgram.size());
    if (const std::string file = gds_path + ": "; line.starts_with(file)) {
      line.remove_prefix(file.size());
    }
    if (line.empty()) continue;
    std::string sentence(line);
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    if (std::string_view(".!?").find(sentence.back()) == std::string_view::npos) sentence += '.';
    reason += "\n" + sentence;
    ++shown;
  }
  return reason;
}

// Values of a CFG file that the engine would refuse or read otherwise than written: the
// records stay as written, and the user is told which values they are.
void ShowSettingsNotes(const std::vector<std::string>& notes) {
  if (notes.empty()) return;
  constexpr size_t kShown = 20;
  std::string text = "The translation engine will not take these values as they are written:\n\n";
  for (size_t i = 0; i < notes.size() && i < kShown; ++i) text += notes[i] + "\n";
  if (notes.size() > kShown) {
    text += "... and " + std::to_string(notes.size() - kShown) + " more.\n";
  }
  text += "\nUnless a note says otherwise, the records are kept as written; the job log lists "
          "these values again.";
  ShellMessage(text);
}

// Keys of the INI file are matched without regard to case.
std::string UpperKey(std::string_view key) {
  std::string upper(key);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

}  // namespace

std::string FixedNameClashText(const std::string& gds_path) {
  const std::optional<FixedNameClash> clash = FindFixedNameClash(MakeJobFileNames(gds_path));
  if (!clash) return {};
  return "The job file " + clash->job_file + " of " + gds_path + " would be " +
         std::string(clash->what) + " (" + std::string(clash->fixed_name) +
         ") of the working directory.\nRename the GDS file.";
}

ScanResult ScanGdsFile(TabrunJob* job, const std::string& gds_path, const ProgramRunner& run) {
  const std::string previous_path = job->gds_path;
  const bool previous_scanned = job->scanned;
  auto restore = [&] {
    job->gds_path = previous_path;
    job->scanned = previous_scanned;
  };
  // A file the scanner cannot read leaves the job as it was.
  if (const std::string reason = UnreadableReason(gds_path); !reason.empty()) {
    ShellMessage("Error occurred in scanning file " + gds_path + ".\n" + reason);
    return ScanResult::kFailed;
  }
  job->scanned = false;
  job->gds_path = gds_path;
  if (job->working_dir.empty()) SplitPath(gds_path, &job->working_dir, nullptr);
  const JobFileNames names = MakeJobFileNames(gds_path);
  if (const std::string clash = FixedNameClashText(gds_path); !clash.empty()) {
    ShellMessage(clash);
    restore();
    return ScanResult::kFailed;
  }
  const std::string report = job->InWorkingDir(names.scan_report);
  if (SamePath(report, gds_path)) {
    ShellMessage("The scan report of " + gds_path +
                 " would replace the file itself.\nRename "
                 "the GDS file or choose another working directory.");
    restore();
    return ScanResult::kFailed;
  }
  // A report of an earlier scan must not pass for this one's.
  RemoveFile(report);
  // Taken before the scan: a change while the scanner reads is a change after the scan.
  const FileStamp stamp = StampOf(gds_path);
  const ProgramArguments arguments = {gds_path, "-max:8192", "-sh",
                                      "-sea",   "-elmcnt",   "-o:" + report};
  int32_t exit_code = 0;
  std::string errors;
  if (run(MakeExePath(job->program_dir, "selvar.exe"), arguments, &exit_code, &errors) < 0) {
    restore();
    return ScanResult::kNotStarted;
  }
  if (exit_code != 0) {
    ShellMessage("Error occurred in scanning file " + gds_path + "." +
                 ScannerReason(errors, gds_path));
    restore();
    return ScanResult::kFailed;
  }
  const std::optional<std::string> text = ReadWholeFile(report);
  if (!text) {
    ShellMessage("Error occurred in scanning file " + gds_path + ".\nThe scanner wrote no report " +
                 report + ".");
    restore();
    return ScanResult::kFailed;
  }
  if (!job->scan_report_path.empty() && !SamePath(job->scan_report_path, report)) {
    RemoveFile(job->scan_report_path);
  }
  job->scan.Load(*text);
  if (!job->scan.warnings.empty()) {
    std::string all;
    for (const std::string& w : job->scan.warnings) all += w + "\n";
    ShellMessage(all);
  }
  job->scan_report_path = report;
  job->scanned = true;
  job->scanned_size = stamp.size;
  job->scanned_time = stamp.time;
  job->layers.Clear();
  job->cfg_path = job->InWorkingDir(names.cfg);
  job->cfg_selected = false;
  return ScanResult::kScanned;
}

std::string ScannedFileChangeText(const TabrunJob& job) {
  const FileStamp now = StampOf(job.gds_path);
  if (now.size == job.scanned_size && now.time == job.scanned_time) return {};
  std::string what;
  if (now.size < 0) {
    what = "it no longer exists";
  } else if (now.size != job.scanned_size) {
    what = "it held " + std::to_string(job.scanned_size) + " bytes and holds " +
           std::to_string(now.size) + " now";
  } else {
    what = "it has been written since";
  }
  return "The GDS file " + job.gds_path + " is not the file that was scanned: " + what +
         ".\nThe structures and layers of the job are those of the scan.";
}

bool SaveJobSettings(const TabrunJob& job) {
  std::string error;
  if (WriteJobSettings(job, &error) == 0) return true;
  ShellMessage("The settings file " + error + " could not be written.", MessageIcon::kStop);
  return false;
}

bool SelectCfgFile(TabrunJob* job, const std::string& path, const CAppProfile& profile,
                   bool* failed) {
  job->layers.Clear();
  job->cfg_path = path;
  // A gds.cfg the user chooses is the user's file from now on, even one this session wrote.
  std::erase_if(job->gds_cfg_copies, [&](const std::string& copy) { return SamePath(copy, path); });
  std::string error;
  int written = 0;
  if (FileSize(path) < 0) {
    LoadOptionDefaults(&job->options, profile);
    job->options.font_scales = {1.0, 1.0, 1.0, 1.0};
    job->cfg = GdsCfgSettings();
    job->hand_tscale.reset();
    written = WriteJobSettings(*job, &error);
  } else {
    ReadJobSettings(job, path);
    written = WriteJobSettings(*job, &error, false);
    // Named are the values the engine will read: those of the gds.cfg just written.
    if (written == 0) ShowSettingsNotes(EngineSettingsNotes(*job));
  }
  *failed = written != 0;
  if (*failed)
    ShellMessage("The settings file " + error + " could not be written.", MessageIcon::kStop);
  const bool first = !job->cfg_selected;
  job->cfg_selected = true;
  return first;
}

bool SaveCfgAs(TabrunJob* job, const std::string& path) {
  if (!job->cfg_path.empty() && FileSize(job->cfg_path) >= 0 && !SamePath(job->cfg_path, path) &&
      !SamePath(path, job->gds_path)) {
    // The copy carries the old file's unmanaged records over; the save rewrites the rest.
    std::string error;
    if (CopyFileReplacing(job->cfg_path, path, &error) != 0) {
      ShellMessage("The settings file " + error + " could not be written.", MessageIcon::kStop);
      return false;
    }
  }
  const std::string old = job->cfg_path;
  job->cfg_path = path;
  if (SaveJobSettings(*job)) return true;
  job->cfg_path = old;
  return false;
}

bool ChooseTopStructure(TabrunJob* job, const std::string& name) {
  job->scan.top = name;
  job->scan.MarkHierarchy(name);
  return SaveJobSettings(*job);
}

bool ChangeWorkingDirectory(TabrunJob* job, const std::string& directory) {
  const std::string old_dir = job->working_dir;
  job->working_dir = directory;
  if (old_dir.empty() || SamePath(old_dir, directory)) return true;
  std::string error;
  if (!job->scan_report_path.empty() && FileSize(job->scan_report_path) >= 0) {
    std::string name;
    SplitPath(job->scan_report_path, nullptr, &name);
    const std::string copy = MakePath(directory, name);
    if (CopyFileReplacing(job->scan_report_path, copy, &error) != 0) {
      ShellMessage("The scan report could not be copied: " + error);
      job->working_dir = old_dir;
      return false;
    }
    job->scan_report_path = copy;
  }
  // Before a CFG file is chosen, this session has written no settings files: the old
  // directory's pg.cfg and gds.cfg belong to someone else, and there is no job to copy.
  if (!job->cfg_selected) return true;
  for (std::string_view name : {kPgCfgName, kGdsCfgName}) {
    const std::string old_file = MakePath(old_dir, name);
    if (job->cfg_path.empty() || !SamePath(old_file, job->cfg_path)) RemoveFile(old_file);
  }
  return SaveJobSettings(*job);
}

std::string WriteViewerJob(const TabrunJob& job) {
  const std::string path = job.InWorkingDir(MakeJobFileNames(job.gds_path).viewer_job);
  if (SamePath(path, job.gds_path)) {
    ShellMessage("The viewer job " + path + " would replace the GDS file itself.");
    return {};
  }
  IniFile ini;
  const bool existed = FileSize(path) >= 0;
  if (!ini.Load(path)) {
    ShellMessage("The viewer job " + path + " cannot be read.");
    return {};
  }
  // The old table is read once: a job of many layers is not scanned once per key.
  std::unordered_map<std::string, std::string> old_values;
  if (existed) {
    for (auto& [key, value] : ini.Values("LAYER_TABLE")) old_values.emplace(UpperKey(key), value);
  }
  std::vector<std::pair<std::string, std::string>> values;
  int written = 0;
  for (int layer : job.layers.selected) {
    if (layer < 0 || layer >= kGdsLayerCount) continue;
    if (existed && job.no_data[layer]) continue;
    const std::string file = job.OutputPath(layer);
    if (file.empty() || FileSize(file) < 0) continue;
    if (!ViewerLayerPathFits(file)) {
      ShellMessage("The viewer job " + path + " cannot hold the path " + file +
                   ": it holds a double quote or a line break.");
      return {};
    }
    const std::string key = "LAYER_" + std::to_string(written);
    const auto old = old_values.find(key);
    const int colour = existed ? (written + 1) % 6 : written % 6;
    values.emplace_back(key, ShellViewerLayerValue(old != old_values.end() ? old->second : "",
                                                   ViewerShellColour(colour), file));
    ++written;
  }
  if (existed) {
    for (int k = written; k < kGdsLayerCount; ++k) {
      const std::string key = "LAYER_" + std::to_string(k);
      if (old_values.count(key) != 0) values.emplace_back(key, "");
    }
  }
  ini.SetValues("LAYER_TABLE", values);
  ini.Set("General", "FormatType", std::to_string(job.options.output_format));
  ini.Set("General", "UnitType", IsMilUnit(job.scan.gds_unit) ? "0" : "1");
  if (!ini.Save()) {
    ShellMessage("The viewer job " + path + " could not be written.");
    return {};
  }
  return path;
}

void CleanUpOnClose(const TabrunJob& job) {
  // Only a gds.cfg this session wrote as the engine's copy is removed, also one of an
  // earlier scan or an earlier working directory; the job's own CFG file stays.
  for (const std::string& gds_cfg : job.gds_cfg_copies) {
    if (job.cfg_path.empty() || !SamePath(gds_cfg, job.cfg_path)) RemoveFile(gds_cfg);
  }
  if (!job.scan_report_path.empty()) RemoveFile(job.scan_report_path);
}

}  // namespace kavrinth
