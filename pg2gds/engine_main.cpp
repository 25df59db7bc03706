// The engine's run from command line to closed library, and the program entry.
#include "pg2gds/engine_main.h"

#include <unistd.h>

#include "gdsii/writer.h"
#include "pg2gds/engine_command_line.h"
#include "pg2gds/engine_convert.h"
#include "pg2gds/engine_job.h"
#include "pg2gds/engine_messages.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/notifier.h"
#include "support/ordered_pipeline.h"
#include "support/progress_sink.h"

namespace kavrinth {

namespace {

// The library's data is handed to the disk in steps of this size.
constexpr uint64_t kWritebackStep = uint64_t{8} << 20;

// The empty extents box, which the first flash widens.
constexpr ExtentsBox kEmptyExtents = {2147483647.0, 2147483647.0, -2147483647.0, -2147483647.0};

// The program's own path; empty when it cannot be read.
std::string OwnProgramPath() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return {};
  path.resize(static_cast<size_t>(length));
  return path;
}

void ShowInitialProgress(const EngineRun& run) {
  SetProgressTitle(std::string(run.traits->caption));
  ProgressLine button;
  button.command = ProgressCommand::kButton;
  button.text = "Cancel";
  CurrentProgressSink().Send(button);
  SetProgressText("Initializing...", "", "");
}

// Converts the files in job order; stops at Cancel or at the first file that fails, whose
// message names it. True when a file failed.
bool ConvertLayerFiles(EngineRun& run, bool* cancelled) {
  for (const LayerFileEntry& entry : run.layers) {
    const int result = ConvertLayerFile(run, entry);
    if (result == -1) {
      *cancelled = true;
      return false;
    }
    if (result > 0) {
      ShowEngineMessage(result, kMessageWithName, entry.path);
      return true;
    }
  }
  return false;
}

// True when the output would replace the job, the log or one of the PG files.
bool OutputReplacesInput(const EngineRun& run, const std::string& output) {
  if (!run.job_file.empty() &&
      SameExistingFile(output, ResolveExistingPath(NativePath(run.job_file)))) {
    return true;
  }
  if (!run.log_path.empty() && SameExistingFile(output, run.log_path)) return true;
  for (const LayerFileEntry& entry : run.layers) {
    if (SameExistingFile(output, PgFileSystemPath(entry.path))) return true;
  }
  return false;
}

}  // namespace

int OpenGdsOutput(EngineRun& run) {
  const std::string output = NativePath(run.output_path);
  if (OutputReplacesInput(run, output)) return 1;
  // The library holds one structure: written straight to the output, not spooled to a
  // temporary file and copied over at its end.
  GdsSetFlags(kGdsNoSpooling);
  if (GdsOpenLibrary(output, run.units.unit_name, run.units.database_step, "", 1.0, false) !=
      kGdsOk) {
    return 1;
  }
  if (GdsBeginStructure(run.top_name) != kGdsOk) return 1;
  // With threads the library is written by a thread of its own, which can as well start
  // the disk writes as it goes, rather than leave them all to the close and rename.
  if (WorkerThreadCount(0, run.traits->threads_variable) > 1) {
    DefaultGdsWriter().StartWritebackEvery(kWritebackStep);
  }
  if (run.accumulate_extents) run.extents = kEmptyExtents;
  return 0;
}

int CloseGdsOutput() {
  if (GdsEndStructure() != kGdsOk) return 1;
  return GdsEndLibrary();
}

int ExitWithError(EngineRun& run, int code) {
  if (code > 0) ShowEngineMessage(code, kMessagePlain);
  FreeLayerList(run);
  return code;
}

int RunConversion(EngineRun& run, const std::vector<std::string>& args) {
  int code = ParseEngineCommandLine(run, args) != 0 ? kMsgNotEnoughParameters : LoadLayerList(run);
  RemoveJobCopy(run);
  if (code != 0) return ExitWithError(run, code);
  // The unit test of the listed files may have chosen the letter.
  SelectUnitLetter(run, run.units.letter);
  if (OpenGdsOutput(run) != 0) return ExitWithError(run, kMsgCannotInitializeOutput);
  bool cancelled = false;
  const bool failed = ConvertLayerFiles(run, &cancelled);
  if (cancelled) {
    // The exit code comes from the cancel flag; what was written stays a valid library.
    CloseGdsOutput();
    return ExitWithError(run, 0);
  }
  if (CloseGdsOutput() != 0)
    code = kMsgProblemClosingOutput;
  else if (failed)
    code = -1;
  return ExitWithError(run, code);
}

int32_t EngineMain(EngineBuild build, const std::vector<std::string>& args) {
  InstallCancelHandlers();
  if (OwnProgramPath().empty()) return -1;
  std::unique_ptr<ProgressSink> sink = MakeEngineProgressSink(STDERR_FILENO);
  ProgressSink* previous_sink = SetProgressSink(sink.get());
  // The terminal's progress line writes each message itself: stderr gets no second copy.
  const bool terminal = dynamic_cast<TerminalProgressSink*>(sink.get()) != nullptr;
  ProgressNotifier notifier(STDERR_FILENO, terminal);
  ScopedNotifier scoped_notifier(&notifier);

  EngineRun run(build);
  ShowInitialProgress(run);
  run.warnings = 0;
  const int code = RunConversion(run, args);
  const bool cancelled = ProgressCancelFlag() != 0;
  const bool log_written = CloseLog(run);
  if (!log_written && !cancelled)
    ShowEngineMessage(kMsgFileWritingError, kMessageWithName, run.log_path);

  SetProgressSink(previous_sink);
  if (cancelled) return CancelledExitCode;
  return code != 0 || !log_written ? -1 : run.warnings;
}

std::string EngineUsage(EngineBuild build) {
  const EngineBuildTraits& traits = TraitsOf(build);
  std::string usage = "usage: " + std::string(traits.program) +
                      " @<job file> -o:<output.gds> -u:<E|M" +
                      (traits.start_letter == 0 ? ">" : "|x>");
  if (traits.machine_options)
    usage += " [-3000|-3600] [-scale <factor>]";
  else
    usage += " [-scale <factor>]";
  return usage + " [-top <structure>] [-p] [-S] [-limit:x1,y1,x2,y2]";
}

}  // namespace kavrinth
