// The GDSII -> PG engine program: connects the job to the process (progress sink,
// message boxes, Cancel by signal, the PG library, the result channel).
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/notifier.h"
#include "support/progress_sink.h"
#include "tabreng/engine.h"
#include "tabreng/engine_routines.h"
#include "tabreng/pg_library.h"

int main(int argc, char** argv) {
  using namespace kavrinth;
  // The terminal progress line goes to the stderr we were started with, which the job
  // later moves onto its ".err" file.
  const int terminal_fd = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  std::unique_ptr<ProgressSink> sink = MakeEngineProgressSink(terminal_fd);
  SetProgressSink(sink.get());
  // Messages reach that stderr too once the job moved stderr onto its ".err" file; the
  // terminal's progress line writes them there itself.
  const bool terminal = dynamic_cast<TerminalProgressSink*>(sink.get()) != nullptr;
  ProgressNotifier notifier(terminal_fd, terminal);
  ScopedNotifier scoped(&notifier);
  InstallCancelHandlers();

  const std::vector<std::string> words(argv, argv + argc);
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(
        "usage: tabreng <GDSII file> <feature size> <layers|=> <top structure|=> [options]\n",
        stdout);
    FlushAndExit(0);
  }

  const char* configured = std::getenv(std::string(kProgramDirVariable).c_str());
  const std::optional<std::string> directory =
      EngineDirectory(configured, "/proc/self/exe", argc > 0 ? argv[0] : "");
  if (!directory) {
    ShowMessage("Unable to read the path of the engine's own program file.", "",
                MessageIcon::kWarning);
    FlushAndExit(-1);
  }

  VantorPgLibrary pg;
  EngineEnvironment environment;
  environment.program_directory = *directory;
  environment.pg = &pg;
  environment.redirect_std_streams = true;
  const int32_t result = RunEngine(words, environment);
  SetProgressSink(nullptr);
  sink.reset();
  FlushAndExit(result);
}
