// The Translate sequence.
#include "tabrun/core/translate.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "support/job_file_names.h"
#include "support/line_file.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/structure_names.h"
#include "tabrun/core/file_ops.h"
#include "tabrun/core/job_actions.h"

namespace kavrinth {
namespace {

constexpr int64_t kNoDataSize = 23;  // an Intermediate file with a header and no data

std::string Printf(const char* format, auto... values) {
  char text[4096];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// The command line as the debug dialog shows it: a word that holds a blank, or is empty,
// stands between double quotes. Only shown: the programs get the words themselves.
std::string CommandLineText(const std::string& program, const ProgramArguments& arguments) {
  std::string text = program;
  for (const std::string& word : arguments) {
    const bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
    text += quote ? " \"" + word + "\"" : " " + word;
  }
  return text;
}

ProgramArguments With(ProgramArguments arguments, std::string last) {
  arguments.push_back(std::move(last));
  return arguments;
}

void ShellMessage(const std::string& text, MessageIcon icon = MessageIcon::kWarning) {
  ShowMessage(text, "Tabrun", icon);
}

std::string EngineProgram(const TabrunJob& job) {
  return MakeExePath(job.program_dir, "tabreng.exe");
}

// The Intermediate file of a layer in the working directory, named from the top
// structure as the engine hands it to its post-processor.
std::string EngineIntermediatePath(const TabrunJob& job, int layer) {
  return job.InWorkingDir(
      IntermediateFileName(EngineStructureName(job.scan.top, EngineQualifiesNames(job)), layer));
}

// Writes the settings files; a failure is shown and stops the sequence.
bool WriteSettings(const TabrunJob& job) {
  std::string error;
  if (WriteJobSettings(job, &error) == 0) return true;
  ShellMessage("The settings file " + error + " could not be written.\nTranslation stopped.",
               MessageIcon::kStop);
  return false;
}

struct EngineRun {
  int run = 0;
  int32_t exit_code = 0;
  RunTiming timing;
};

EngineRun RunEngine(TabrunJob* job, TranslateHost* host, const ProgramArguments& arguments) {
  EngineRun run;
  const auto start = std::chrono::steady_clock::now();
  run.run = host->RunEngine(EngineProgram(*job), arguments, &run.exit_code);
  const auto end = std::chrono::steady_clock::now();
  run.timing.elapsed_seconds =
      std::chrono::duration_cast<std::chrono::seconds>(end - start).count();
  const std::time_t now = std::time(nullptr);
  localtime_r(&now, &run.timing.end_time);
  return run;
}

// Shows the job log in the view; a log that cannot be shown is reported in one message with
// its reason, unless told_before (the same log was refused earlier in the run). False when
// it was not shown.
bool ShowJobLog(TabrunJob* job, TranslateHost* host, const std::string& log,
                bool told_before = false) {
  std::string why;
  if (host->ShowLog(log, &why)) {
    job->job_log_path = log;
    return true;
  }
  if (!told_before) {
    ShellMessage(Printf("Error occurred in viewing log file %s.", log.c_str()) +
                 (why.empty() ? "" : "\n" + why));
  }
  return false;
}

// The Intermediate format: each layer's Intermediate file becomes its PG output file.
void PlaceIntermediateOutputs(TabrunJob* job) {
  for (int layer : job->layers.selected) {
    if (layer < 0 || layer >= kGdsLayerCount) continue;
    const std::string from = job->layers.intermediate_names[layer];
    const std::string to = job->OutputPath(layer);
    if (FileSize(from) < 0) {
      job->no_data[layer] = true;  // the post-processor left nothing for this layer
      continue;
    }
    if (!to.empty() && !SamePath(from, to)) {
      std::string error;
      if (MoveFileReplacing(from, to, &error) != 0) {
        ShellMessage("The PG output file could not be written: " + error);
        job->conversion_failed[layer] = true;
        continue;
      }
    }
    if (FileSize(to.empty() ? from : to) <= kNoDataSize) job->no_data[layer] = true;
  }
}

// True when both name one file: the same device and inode when both exist, else the same
// canonical path.
bool SameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  if (::stat(NativePath(first).c_str(), &a) == 0 && ::stat(NativePath(second).c_str(), &b) == 0) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  }
  return SamePath(first, second);
}

struct WrittenFile {
  std::string path;
  std::string role;
};

// Every file a translation of the job writes, moves or deletes, with what it is.
std::vector<WrittenFile> FilesWritten(const TabrunJob& job) {
  const JobFileNames names = MakeJobFileNames(job.gds_path);
  std::vector<WrittenFile> files = {
      {job.InWorkingDir(names.log), "the job log"},
      {job.InWorkingDir(names.log_copy), "the copy of the job log (.lg2)"},
      {job.InWorkingDir(names.out), "the engine's output file (.out)"},
      {job.InWorkingDir(names.err), "the engine's error file (.err)"},
      {job.InWorkingDir(kPgLogName), "the PG library's log"},
  };
  const int32_t format = job.options.output_format;
  for (int layer : job.layers.selected) {
    if (layer < 0 || layer >= kGdsLayerCount) continue;
    const std::string intermediate = EngineIntermediatePath(job, layer);
    files.push_back({intermediate, Printf("the Intermediate file of GDS layer %d", layer)});
    if (format != kFormatIntermediate) {
      files.push_back(
          {job.InWorkingDir(ConverterResultName(intermediate, format == kFormatElectromask)),
           Printf("the converter's result for GDS layer %d", layer)});
    }
    const std::string output = job.OutputPath(layer);
    if (!output.empty()) {
      files.push_back({output, Printf("the PG output file of GDS layer %d", layer)});
    }
  }
  return files;
}

// The message for an input of the translation (the GDS file or the CFG file) that the
// translation would overwrite or delete, or "" when there is none.
std::string InputConflict(const TabrunJob& job) {
  if (std::string clash = FixedNameClashText(job.gds_path); !clash.empty()) return clash;
  std::vector<WrittenFile> files = FilesWritten(job);
  struct Input {
    const std::string& path;
    const char* what;
    bool layout;
  };
  for (const Input& input :
       {Input{job.gds_path, "GDS file", true}, Input{job.cfg_path, "CFG file", false}}) {
    if (input.path.empty()) continue;
    std::vector<WrittenFile> targets = files;
    if (input.layout) {
      // The settings files are written before the engine starts.
      targets.push_back({job.cfg_path, "the job's CFG file"});
      targets.push_back({job.InWorkingDir(kPgCfgName), "the PG settings file (pg.cfg)"});
      targets.push_back({job.InWorkingDir(kGdsCfgName), "the engine's settings file (gds.cfg)"});
    }
    for (const WrittenFile& target : targets) {
      if (target.path.empty() || !SameFile(input.path, target.path)) continue;
      return "The " + std::string(input.what) + " " + input.path + " is also " + target.role +
             ", which the translation writes.\nChoose another name for one of them.";
    }
  }
  return {};
}

// The top structure as the engine's fourth word; "" when no word can name it.
std::string EngineTopArgument(const TabrunJob& job) {
  if (!job.scan.top.starts_with('-')) return job.scan.top;
  // The engine's positional words end at the first one that begins with '-': such a name
  // can reach it only as "=", the report's own top, when it is that.
  return job.scan.top == job.scan.report_top ? "=" : "";
}

}  // namespace

ProgramArguments EngineBaseArguments(const TabrunJob& job) {
  // The engine is told the settings file the shell has just written, so that another
  // spelling of it left in the working directory (GDS.CFG beside gds.cfg) is never read.
  return {job.gds_path,
          Printf("%lf", job.options.feature_size),
          job.layers.SelectedText(),
          EngineTopArgument(job),
          Printf("-s%lf", job.options.scale),
          "-cfg:" + std::string(kGdsCfgName)};
}

void DeleteTempOutputs(const TabrunJob& job) {
  if (job.debug) return;
  const JobFileNames names = MakeJobFileNames(job.gds_path);
  RemoveFile(job.InWorkingDir(names.err));
  RemoveFile(job.InWorkingDir(names.out));
  RemoveFile(job.InWorkingDir(kPgLogName));
}

namespace {

// How a step of the sequence ended: go on with the next, stop here, or (after an engine
// failure that left a log) go on at the job log.
enum class StepEnd { kGoOn, kStop, kJobLog };

class TranslateSequence {
 public:
  TranslateSequence(TabrunJob* job, TranslateHost* host) : job_(job), host_(host) {}

  TranslateOutcome Run() {
    if (!Refused() && Prepare()) {
      StepEnd end = CountingPass();
      if (end == StepEnd::kGoOn) end = RealPass();
      if (end != StepEnd::kStop) {
        JobLog();
        if (end == StepEnd::kGoOn) Convert();
      }
    }
    return outcome_;
  }

 private:
  bool Refused() {
    const char* reason = !job_->scanned ? "No GDS file has been scanned.\nSelect a GDS file first."
                         : job_->layers.selected.empty() ? "No layers are selected for translation."
                                                         : nullptr;
    std::string conflict;
    if (reason == nullptr && EngineTopArgument(*job_).empty()) {
      conflict = "The top structure " + job_->scan.top +
                 " cannot be named to the translation engine: a name that begins with '-' "
                 "reads as an option, and only the top structure of the scan (" +
                 job_->scan.report_top + ") can be given otherwise.\nChoose another top structure.";
      reason = conflict.c_str();
    }
    if (reason == nullptr) {
      // Nothing runs that would overwrite or delete what the translation reads.
      conflict = InputConflict(*job_);
      if (!conflict.empty()) reason = conflict.c_str();
    }
    if (reason == nullptr) {
      // The scan describes the file as it was: a changed one is scanned again first.
      const std::string change = ScannedFileChangeText(*job_);
      if (change.empty()) return false;
      outcome_.result = TranslateResult::kRefused;
      outcome_.rescan = ShowMessage(change + "\n\nScan it again now?", "Tabrun",
                                    MessageIcon::kQuestion, MessageButtons::kYesNo) == kAnswerYes;
      host_->SetStatus("GDS File changed since its scan");
      return true;
    }
    ShellMessage(reason);
    outcome_.result = TranslateResult::kRefused;
    return true;
  }

  bool Prepare() {
    job_->no_data.fill(false);
    job_->conversion_failed.fill(false);
    host_->SetStatus("");
    // The engine and the PG library read the settings files: they must be this job's.
    if (!WriteSettings(*job_)) return false;
    engine_log_ = job_->InWorkingDir(MakeJobFileNames(job_->gds_path).log);
    outcome_.log_path = engine_log_;
    base_ = EngineBaseArguments(*job_);
    program_ = EngineProgram(*job_);
    if (job_->debug && !host_->ConfirmCommand(CommandLineText(program_, base_))) {
      outcome_.result = TranslateResult::kCancelled;
      return false;
    }
    return true;
  }

  // The end of an engine run common to both passes: not started, cancelled, or failed.
  std::optional<StepEnd> EngineEnd(const char* failed_status, const char* failure_text) {
    if (run_.run < 0) {
      host_->SetStatus(failed_status);
      return StepEnd::kStop;
    }
    if (run_.exit_code == CancelledExitCode) {
      host_->SetStatus("Translation cancelled");
      outcome_.result = TranslateResult::kCancelled;
      // The engine's log becomes the job log, which says that the user cancelled.
      run_.timing.ending = "The translation was cancelled by the user.";
      if (FileSize(engine_log_) >= 0) {
        JobLog();
      } else {
        DeleteTempOutputs(*job_);
      }
      return StepEnd::kStop;
    }
    if (run_.exit_code >= 0) return std::nullopt;
    const bool has_log = FileSize(engine_log_) >= 0;
    // The engine's own reason goes with the message, so that it is read where the user
    // looks, and at the top of the job log.
    const std::string reason = FailureReason();
    run_.timing.ending = "The translation failed" + std::string(reason.empty() ? "." : ":");
    for (const std::string& line : SplitTextLines(reason)) run_.timing.ending += "\r\n" + line;
    ShellMessage(std::string(failure_text) + (reason.empty() ? "" : "\n" + reason) +
                 (has_log ? "\nPlease refer to log file for more information." : ""));
    return has_log ? StepEnd::kJobLog : StepEnd::kStop;
  }

  // Why the engine failed: the message it showed, else its log's last line; then every
  // error line of pg.log (the post-processor's). "" when none says.
  std::string FailureReason() const {
    std::string reason = host_->LastEngineMessage();
    const std::string engine_log = ReadWholeFile(engine_log_).value_or("");
    const std::vector<std::string> lines = SplitTextLines(engine_log);
    for (auto line = lines.rbegin(); reason.empty() && line != lines.rend(); ++line) {
      const size_t end = line->find_last_not_of(" \t\r");
      // The totals line counts the failure but does not say what it was.
      if (end == std::string::npos || line->find(" error(s) are detected") != std::string::npos) {
        continue;
      }
      reason = line->substr(0, end + 1);
      break;
    }
    const std::string pg_log = ReadWholeFile(job_->InWorkingDir(kPgLogName)).value_or("");
    for (const std::string& line : SplitTextLines(pg_log)) {
      if (!line.starts_with("Error: ")) continue;
      const size_t end = line.find_last_not_of(" \t\r");
      reason += (reason.empty() ? "" : "\n") + line.substr(0, end + 1);
    }
    return reason;
  }

  StepEnd CountingPass() {
    RemoveFile(engine_log_);
    run_ = RunEngine(job_, host_, With(base_, "-polycnt"));
    if (std::optional<StepEnd> end =
            EngineEnd("Translation failed", "Error occurred in scanning GDS file polygons.")) {
      if (run_.run >= 0 && run_.exit_code != CancelledExitCode) {
        host_->SetStatus("Failed Scanning Polygons");
        DeleteTempOutputs(*job_);
      }
      return *end;
    }
    DeleteTempOutputs(*job_);
    outcome_.polygon_count = run_.exit_code;
    return StepEnd::kGoOn;
  }

  // Switches the PG_OUTPUT list to the Intermediate names (the engine's outputs) or back.
  bool NameIntermediates(bool on) {
    if (IntermediateFormat()) return true;
    job_->layers.use_intermediate = on;
    return WriteSettings(*job_);
  }

  StepEnd RealPass() {
    const ProgramArguments arguments =
        With(base_, Printf("-polycnt:%ld", long{outcome_.polygon_count}));
    host_->SetStatus(Printf("Translating %ld polygons...", long{outcome_.polygon_count}));
    for (int layer : job_->layers.selected) {
      if (layer < 0 || layer >= kGdsLayerCount) continue;
      job_->layers.intermediate_names[layer] = EngineIntermediatePath(*job_, layer);
    }
    if (!NameIntermediates(true)) {
      NameIntermediates(false);
      return StepEnd::kStop;
    }
    const bool go = !job_->debug || host_->ConfirmCommand(CommandLineText(program_, arguments));
    if (go) {
      RemoveFile(engine_log_);
      run_ = RunEngine(job_, host_, arguments);
    }
    if (!NameIntermediates(false)) return StepEnd::kStop;
    if (!go) {
      outcome_.result = TranslateResult::kCancelled;
      return StepEnd::kStop;
    }
    if (std::optional<StepEnd> end = EngineEnd("Intermdeiate Translation failed",
                                               "Error occurred in translating GDS file.")) {
      if (run_.run >= 0 && run_.exit_code != CancelledExitCode) {
        host_->SetStatus("Intermdeiate Translation failed");
        if (*end == StepEnd::kStop) DeleteTempOutputs(*job_);
      }
      return *end;
    }
    outcome_.engine_result = run_.exit_code;
    host_->SetStatus("Intermdeiate Translation finished");
    host_->TranslationFinished();
    if (IntermediateFormat()) {
      if (run_.exit_code > 0) {
        ShellMessage(
            Printf("%d warnings/errors are detected in the translation.\r\nRefer to "
                   "log file for more information.",
                   int{run_.exit_code}));
      }
      PlaceIntermediateOutputs(job_);
    }
    return StepEnd::kGoOn;
  }

  void JobLog() {
    if (FileSize(engine_log_) >= 0) {
      std::string error;
      const bool with_files =
          IntermediateFormat() && outcome_.engine_result >= 0 && run_.exit_code >= 0;
      int cause = 0;
      if (RebuildJobLog(*job_, run_.timing, with_files, &error, &cause) == 0) {
        log_refused_ = !ShowJobLog(job_, host_, engine_log_);
      } else {
        ShellMessage(LogFileErrorText(cause));
      }
    } else if (run_.exit_code >= 0) {
      ShellMessage(Printf("Error occurred in generating log file %s.", engine_log_.c_str()));
    }
    DeleteTempOutputs(*job_);
  }

  void Convert() {
    if (IntermediateFormat()) {
      outcome_.result = TranslateResult::kTranslated;
      return;
    }
    if (run_.exit_code > 0 &&
        !host_->AskContinue(Printf("%d warnings/errors are detected in the translation.\r\n"
                                   "Refer to log file for more information.\r\n\r\nContinue "
                                   "translation?",
                                   int{run_.exit_code}))) {
      outcome_.result = TranslateResult::kWarnings;
      return;
    }
    outcome_.result = ConvertPgOutput(job_, host_, engine_log_, log_refused_)
                          ? TranslateResult::kTranslated
                          : TranslateResult::kFailed;
  }

  bool IntermediateFormat() const { return job_->options.output_format == kFormatIntermediate; }

  TabrunJob* job_;
  TranslateHost* host_;
  TranslateOutcome outcome_;
  std::string engine_log_;
  bool log_refused_ = false;  // the view refused the job log, and the user was told
  ProgramArguments base_;
  std::string program_;
  EngineRun run_;
};

}  // namespace

TranslateOutcome Translate(TabrunJob* job, TranslateHost* host) {
  return TranslateSequence(job, host).Run();
}

bool ConvertPgOutput(TabrunJob* job, TranslateHost* host, const std::string& log_path,
                     bool log_refused_before) {
  job->no_data.fill(false);
  job->conversion_failed.fill(false);
  const int32_t format = job->options.output_format;
  const std::string pg_log_before = ReadWholeFile(job->InWorkingDir(kPgLogName)).value_or("");
  if (format != kFormatIntermediate) {
    const bool electromask = format == kFormatElectromask;
    const std::string program =
        MakeExePath(job->program_dir, electromask ? "ferolt.exe" : "mistrel.exe");
    ProgramArguments options = {IsMilUnit(job->scan.gds_unit) ? "mils" : "microns",
                                Printf("%lf", 1.0), "-p", "-q"};
    if (format == kFormatMann3000) options.push_back("-3000");
    if (format == kFormatMann3600) options.push_back("-3600");
    if (job->options.shorten_flashes) options.push_back("-a");
    if (job->options.pg_disk_buffer) options.push_back("-d:" + job->working_dir);
    std::string failures;
    for (int layer : job->layers.selected) {
      if (layer < 0 || layer >= kGdsLayerCount) continue;
      const std::string intermediate = EngineIntermediatePath(*job, layer);
      const int64_t size = FileSize(intermediate);
      if (size <= kNoDataSize) {
        job->no_data[layer] = true;  // missing or without data: listed as not generated
        continue;
      }
      std::string file_name;
      SplitPath(intermediate, nullptr, &file_name);
      // A name that begins with '-' would read as an option: given with the directory it
      // runs in, the converter takes it as its file and names its result as ever.
      ProgramArguments arguments = {file_name.starts_with('-') ? "./" + file_name : file_name};
      arguments.insert(arguments.end(), options.begin(), options.end());
      host->SetStatus(Printf("Translating %s...", intermediate.c_str()));
      if (job->debug && !host->ConfirmCommand(CommandLineText(program, arguments))) return false;
      const std::string result = job->InWorkingDir(ConverterResultName(intermediate, electromask));
      RemoveFile(result);  // a result left by an earlier run must not pass for this one
      int32_t exit_code = 0;
      if (host->RunConverter(program, arguments, &exit_code) < 0) {
        host->SetStatus("Translation failed");
        return false;
      }
      if (exit_code < 0 || FileSize(result) < 0) {
        // The Intermediate file stays for another try.
        job->conversion_failed[layer] = true;
        ShellMessage(Printf("Error occurred in converting %s (result %d).", intermediate.c_str(),
                            int{exit_code}));
        continue;
      }
      // The Intermediate file goes before the result takes the output name, which may be
      // the Intermediate file's own name (a CFG whose PG_OUTPUT names the .int files).
      if (!job->debug) RemoveFile(intermediate);
      const std::string output = job->OutputPath(layer);
      if (!output.empty() && !SamePath(result, output)) {
        std::string error;
        if (MoveFileReplacing(result, output, &error) != 0) {
          job->conversion_failed[layer] = true;
          ShellMessage("The PG output file could not be written: " + error);
          continue;
        }
      }
    }
    if (!failures.empty()) ShellMessage("Error occurred in converting" + failures);
    static const char* const kFormatNames[] = {"EMASK", "MANN 3000", "MANN 3600", "DRAFTEK"};
    host->SetStatus(Printf("%s Translations completed", kFormatNames[format & 3]));
  }
  // The converters append their counts and warnings to pg.log: what they added goes into
  // the job log with the list of files, and pg.log goes with the other side files. The PG
  // library's part of pg.log is in the job log already (it stays when the debug flag keeps
  // the side files), so it is not copied a second time.
  std::string converter_log;
  if (format != kFormatIntermediate) {
    converter_log = ReadWholeFile(job->InWorkingDir(kPgLogName)).value_or("");
    if (converter_log.starts_with(pg_log_before)) converter_log.erase(0, pg_log_before.size());
  }
  if (format != kFormatIntermediate) DeleteTempOutputs(*job);
  if (FileSize(log_path) >= 0) {
    std::string error;
    int cause = 0;
    if (AppendGeneratedFiles(*job, log_path, converter_log, &error, &cause) == 0) {
      ShowJobLog(job, host, log_path, log_refused_before);
    } else {
      ShellMessage(LogFileErrorText(cause));
    }
  }
  return true;
}

}  // namespace kavrinth
