// One job of the GDSII -> PG engine, step by step.
#include "tabreng/engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "gdsii/record_reader.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/paths.h"
#include "support/progress_sink.h"
#include "tabreng/command_line.h"
#include "tabreng/engine_log.h"
#include "tabreng/engine_routines.h"
#include "tabreng/header_stream.h"
#include "tabreng/job_settings.h"
#include "tabreng/post_processing.h"
#include "tabreng/record_loop.h"
#include "tabreng/scan_report.h"
#include "tabreng/side_files.h"
#include "tabreng/work_arrays.h"

namespace kavrinth {

namespace {

constexpr const char* kCrLf = "\r\n";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

bool Exists(const std::string& path) {
  struct stat status {};
  return ::stat(ResolveExistingPath(path).c_str(), &status) == 0;
}

// Opens a file "w+b"; in redirect mode the descriptor `target` then refers to it too.
FilePointer OpenRedirected(const std::string& path, bool redirect, int target) {
  FilePointer file(std::fopen(NativePath(path).c_str(), "w+b"));
  if (file && redirect) {
    std::fflush(target == STDOUT_FILENO ? stdout : stderr);
    if (::dup2(::fileno(file.get()), target) < 0) file.reset();
  }
  return file;
}

// A word as a shell command line holds it: quoted when it holds more than plain characters.
std::string ShellWord(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789_-+.,/:@%=") == std::string::npos) {
    return word;
  }
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class TranslationJob {
 public:
  TranslationJob(const std::vector<std::string>& words, const EngineEnvironment& environment)
      : words_(words), env_(environment) {}

  // 0 or the post-processor's result; negative on failure.
  int Run();

  bool counting_pass() const { return options_.counting_pass; }
  int64_t counted() const { return context_.expected; }
  int64_t warning_total() const { return warnings_ + context_.warnings; }
  int64_t error_total() const { return errors_; }

 private:
  int RedirectStderrFirst();
  int OpenSideFiles();
  int OpenStreams();
  int SelectStructures();
  std::string NoSelectionText() const;
  int RunPasses();
  void LogOtherSettingsSpellings();
  int RunLoopPasses();
  int ClosePg();
  void WriteTotals(int failed_steps);
  int Finish();
  int Fail(const std::string& text);
  void RemoveTemporaries();
  std::string Native(const std::string& name) const {
    return name == kNullDeviceName ? env_.null_device : NativePath(name);
  }

  const std::vector<std::string>& words_;
  const EngineEnvironment& env_;
  EngineOptions options_;
  SupportFiles support_;
  SideFileNames names_;
  JobSettings settings_;
  WorkArrays work_;
  TopSelection selection_;
  GdsRecordReader input_;
  EngineLog log_;
  FilePointer stdout_file_, stderr_file_;
  FdCloser discard_;
  LoopContext context_;
  bool side_files_checked_ = false;
  bool pg_open_ = false;
  int64_t warnings_ = 0;  // the PG library's and the post-processor's
  int64_t errors_ = 0;
  bool totals_due_ = false;  // the library has closed; the totals line is not written yet
};

int TranslationJob::Fail(const std::string& text) {
  log_.WriteCause(text);
  return ShowEngineFailure(text);
}

int TranslationJob::RedirectStderrFirst() {
  const std::optional<std::string> file = FindStderrRedirect(words_);
  if (!file) return 0;
  if (words_.size() > 1 && !words_[1].starts_with('-') && CheckSideFiles(words_[1], {*file}) != 0) {
    return -1;
  }
  FilePointer stream(std::fopen(NativePath(*file).c_str(), "w"));
  if (stream && env_.redirect_std_streams) {
    std::fflush(stderr);
    ::dup2(::fileno(stream.get()), STDERR_FILENO);
  }
  return 0;
}

int TranslationJob::OpenSideFiles() {
  const std::string resolved = ResolveExistingPath(options_.input_path);
  struct stat status {};
  if (::stat(resolved.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      !input_.Open(options_.input_path)) {
    return ShowEngineFailure("Unable to open input file '" + options_.input_path + "'.");
  }
  names_ = MakeSideFileNames(options_.input_path, options_.scan_mode);
  if (CheckSideFiles(options_.input_path, FilesWritten(names_, options_.log_to_stderr)) != 0) {
    return -1;
  }
  side_files_checked_ = true;
  stdout_file_ = OpenRedirected(names_.stdout_file, env_.redirect_std_streams, STDOUT_FILENO);
  if (!stdout_file_) {
    return ShowEngineFailure("Unable to open file '" + names_.stdout_file +
                             "' for redirection of stdout.");
  }
  stderr_file_ = OpenRedirected(names_.stderr_file, env_.redirect_std_streams, STDERR_FILENO);
  if (!stderr_file_) {
    return ShowEngineFailure("Unable to open file '" + names_.stderr_file +
                             "' for redirection of stderr.");
  }
  if (options_.log_to_stderr) {
    log_.Attach(stderr_file_.get());
  } else if (!log_.Open(names_.log_file)) {
    return ShowEngineFailure("Unable to open file '" + names_.log_file + "' for logging.");
  }
  log_.Write(std::string(kCrLf) + kCrLf + "Translation Options:" + kCrLf);
  for (const std::string& word : words_) log_.Write("  " + word + kCrLf);
  return 0;
}

int TranslationJob::OpenStreams() {
  GdsOutputFile translated;
  if (!translated.OpenReplacing(Native(names_.translated_stream))) {
    return Fail("Unable to open GDS file '" + names_.translated_name + "' for output.");
  }
  discard_.fd = ::open(env_.null_device.c_str(), O_WRONLY | O_CLOEXEC);
  if (discard_.fd < 0) {
    return Fail("Unable to open NULL file '" + std::string(kNullDeviceName) + "' for output.");
  }
  return 0;
}

// Why no structure was selected. Without a report that holds the hierarchy, the message
// says so and how the scanner makes one: with -sh, into the name the engine reads.
std::string TranslationJob::NoSelectionText() const {
  const std::string& report = names_.scan_report;
  const std::string command =
      "selvar " + ShellWord(options_.input_path) + " -sh -o:" + ShellWord(report);
  if (!selection_.report_readable) {
    if (!Exists(report)) {
      return "The scan report '" + report + "' does not exist in the working directory, so " +
             "no structure can be selected.\nMake it with: " + command;
    }
    return "The scan report '" + report + "' cannot be read, so no structure can be " +
           "selected.\nMake it again with: " + command;
  }
  if (!selection_.report_has_hierarchy) {
    return "The scan report '" + report + "' holds no structure hierarchy, so no structure " +
           "can be selected.\nMake it again with: " + command;
  }
  return "No match to designated top structure " + selection_.top_name + ".";
}

int TranslationJob::SelectStructures() {
  if (SelectTopStructure(names_.scan_report, options_, selection_) != 0) {
    log_.WriteCause("The structure selection exceeds the maximum structure count.");
    return -1;
  }
  if (selection_.structures.size() == 0) return Fail(NoSelectionText());
  if (options_.list_selection && !options_.scan_mode) {
    log_.Write(std::string(kCrLf) + kCrLf + "Top Structure Selected: " + selection_.top_name +
               kCrLf);
    for (const std::string& name : selection_.structures.names()) log_.Write(kCrLf + name);
    log_.Write(std::string(kCrLf) + kCrLf);
  }
  return 0;
}

void TranslationJob::RemoveTemporaries() {
  // Nothing is removed before the side files were found not to be the input.
  if (!side_files_checked_) return;
  ::unlink(std::string(kCfgTmpName).c_str());
  if (options_.keep_temporaries) return;
  for (const std::string* name : {&names_.header_stream, &names_.translated_stream}) {
    if (!name->empty() && *name != kNullDeviceName) ::unlink(NativePath(*name).c_str());
  }
}

// The library's totals are added to the run's; WriteTotals writes them once the outcome
// of the run is known.
int TranslationJob::ClosePg() {
  int32_t warnings = 0, errors = 0;
  env_.pg->Close(&warnings, &errors);
  pg_open_ = false;
  warnings_ += warnings;
  errors_ += errors;
  totals_due_ = true;
  return 0;
}

// The totals line: every warning the result counts (the engine's own, the PG library's
// and the post-processor's), and the library's errors with the failure that ended the
// run (in the record loop, or of the post-processor after the library) counted as an
// error of its own: a run that failed never reports no errors.
void TranslationJob::WriteTotals(int failed_steps) {
  if (!totals_due_) return;
  totals_due_ = false;
  log_.Write(std::string(kCrLf) + kCrLf + std::to_string(warning_total()) + " warning(s) and " +
             std::to_string(errors_ + failed_steps) +
             " error(s) are detected in the translations." + kCrLf);
}

int TranslationJob::RunLoopPasses() {
  context_ = LoopContext();
  context_.options = &options_;
  context_.settings = &settings_;
  context_.selection = &selection_.structures;
  context_.pg = env_.pg;
  context_.log = &log_;
  context_.work = &work_;
  context_.input = &input_;
  context_.input_name = options_.input_path;
  context_.translated_name = names_.translated_name;
  context_.translated_path = Native(names_.translated_stream);
  context_.null_device = env_.null_device;
  context_.expected = options_.expected_count;
  context_.threads = WorkerThreadCount(env_.threads, "TABRENG_THREADS");
  RecordLoop loop(context_);

  HeaderStreamJob job;
  job.top_name = selection_.top_name;
  job.output_layers = selection_.layers.output;
  job.translated_name = names_.translated_name;
  job.pg_scale_given = options_.pg_scale != kUnsetReal;
  job.pg_scale = options_.pg_scale;
  HeaderStream header;
  if (header.Open(Native(names_.header_stream), job, settings_, context_.units) != 0) {
    return Fail("Unable to open file '" + names_.header_stream + "' for the header stream.");
  }
  if (loop.TranslateStream(kUnitsPass) != 0) return -1;
  if (header.Close(context_.units, context_.fixup) != 0) {
    return Fail("Unable to write the header stream '" + names_.header_stream +
                "': " + std::strerror(header.error_number()) + ".");
  }

  PgInitArguments init;
  init.o = options_.pg_o, init.v = options_.pg_v, init.m = options_.pg_m;
  init.scale = options_.pg_scale, init.second = options_.pg_second;
  init.third = options_.pg_third, init.feature_size = options_.feature_size;
  if (env_.pg->Init(init) == kPgInitFailed) {
    return Fail(
        "Error occurred in getting translation options from pg.cfg.\nCheck working directory "
        "permission.\n");
  }
  pg_open_ = true;
  if (loop.TranslateStream(kUnitsPass) != 0 || loop.TranslateStream(kFullPass) != 0) return -1;
  return 0;
}

// A settings file of another spelling in the working directory (one left by an earlier
// run or tool) is never read in place of the one named; the log says which was read.
void TranslationJob::LogOtherSettingsSpellings() {
  if (settings_.settings_path.empty()) return;
  for (const std::string& other : OtherSpellings(settings_.settings_path)) {
    log_.Write(std::string(kCrLf) + "Settings file '" + other + "' is not read: the settings are " +
               "read from '" + settings_.settings_path + "'." + kCrLf);
  }
}

int TranslationJob::RunPasses() {
  if (!options_.scan_mode) {
    LoadJobSettings(options_, support_.font, settings_);
    LogOtherSettingsSpellings();
  }
  if (settings_.qualify_names) QualifySelection(selection_);
  const int result = RunLoopPasses();
  // The totals wait for the post-processor, whose failure they count.
  if (result == 0) return ClosePg();
  // A failed or cancelled run still ends the library's run and says why in the log.
  if (ProgressCancelFlag() != 0) log_.WriteCause("The translation was cancelled.");
  if (pg_open_) {
    ClosePg();
    WriteTotals(ProgressCancelFlag() != 0 ? 0 : 1);  // the failure that ended the run
  }
  RemoveTemporaries();
  return -1;
}

int TranslationJob::Finish() {
  // The header and translated streams stay for the post-processor, which removes them.
  ::unlink(std::string(kCfgTmpName).c_str());
  if (options_.scan_mode) {
    WriteTotals(0);
    return 0;
  }
  const int cancelled = SetProgressText("Generating INT Data...", "", "");
  if (options_.no_post) {
    WriteTotals(0);
    return cancelled;
  }
  PostProcessorStep step;
  step.counting_pass = options_.counting_pass;
  step.debug = options_.debug;
  step.keep_temporaries = options_.keep_temporaries;
  step.library = std::filesystem::absolute(support_.post_processor).string();
  step.header_name = names_.header_stream;
  step.header_stream = NativePath(names_.header_stream);
  step.translated_stream = NativePath(names_.translated_stream);
  step.log = &log_;
  log_.Hold();
  const int result = RunPostProcessor(step);
  const std::string post_processor_lines = log_.EndHold();
  if (result > 0) warnings_ += result;
  WriteTotals(result < 0 && ProgressCancelFlag() == 0 ? 1 : 0);
  log_.Write(post_processor_lines);
  // A Cancel that came before the post-processor could see it (it then never starts)
  // leaves the streams behind too: a cancelled run removes them all the same.
  if (ProgressCancelFlag() != 0) RemoveTemporaries();
  return result;
}

int TranslationJob::Run() {
  if (RedirectStderrFirst() != 0) return -1;
  if (LocateSupportFiles(env_.program_directory, &support_) != 0) return -1;
  if (ParseCommandLine(words_, options_) != 0) return -1;
  const int failed_array = AllocateWorkArrays(work_, env_.work_array_budget);
  if (failed_array >= 0) {
    return ShowEngineFailure(
        std::string(kWorkArrayTable[static_cast<size_t>(failed_array)].message));
  }
  if (OpenSideFiles() != 0 || OpenStreams() != 0 || SelectStructures() != 0) {
    RemoveTemporaries();
    return -1;
  }
  if (RunPasses() != 0) return -1;
  const int result = Finish();
  if (log_.Close() != 0) {
    return ShowEngineFailure("Unable to write the log file '" + names_.log_file + "'.");
  }
  return result;
}

int32_t Clamp32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

std::optional<std::string> EngineDirectory(const char* configured, const char* self_link,
                                           std::string_view program_word) {
  if (configured && *configured) {
    std::string directory = configured;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    return directory;
  }
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink(self_link, error);
  if (!error && program.has_parent_path()) return program.parent_path().string();
  if (program_word.empty()) return std::nullopt;
  std::string found(program_word);
  if (found.find('/') == std::string::npos) {
    std::string path_list;
    GetEnvInto("PATH", &path_list);
    if (FindOnPathList(program_word, &found, path_list) != 0) return std::nullopt;
  }
  const size_t slash = found.rfind('/');
  return slash == 0 ? std::string("/") : found.substr(0, slash);
}

int LocateSupportFiles(const std::string& program_directory, SupportFiles* found) {
  const std::string scanner = MakePath(program_directory, kScannerFile);
  if (!Exists(scanner)) return ShowEngineFailure("Unable to find scanning module: " + scanner);
  found->font = MakePath(program_directory, kSupportFontFile);
  if (!Exists(found->font)) {
    ShowMessage("Unable to find support file: " + found->font, "", MessageIcon::kWarning);
    found->font.clear();
  }
  found->post_processor = MakePath(program_directory, kPostProcessorFile);
  if (!Exists(found->post_processor)) {
    return ShowEngineFailure("Unable to find post processor: " + found->post_processor);
  }
  return 0;
}

int32_t RunEngine(const std::vector<std::string>& words, const EngineEnvironment& environment) {
  SetProgressTitle(std::string(kProgressDialogTitle));
  ProgressLine button;
  button.command = ProgressCommand::kButton;
  button.text = "Cancel";
  CurrentProgressSink().Send(button);
  SetProgressText("Initializing...", "", "");

  TranslationJob job(words, environment);
  const int result = job.Run();
  if (ProgressCancelFlag() != 0) return CancelledExitCode;
  if (result < 0) return -1;
  if (job.counting_pass()) return Clamp32(job.counted());
  return Clamp32(job.warning_total() + job.error_total());
}

}  // namespace kavrinth
