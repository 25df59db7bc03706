// The GDSII -> PG engine from its command line to its exit code: support files beside
// the engine, the side files in the working directory, the scan report, the two record
// loop passes between PG_INIT and PG_CLOSE, the log and the post-processor step.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabreng/pg_library.h"

namespace kavrinth {

// The support files the engine requires (or, for the font, wants) beside itself.
inline constexpr std::string_view kScannerFile = "selvar";
inline constexpr std::string_view kPostProcessorFile = "libquenrix.so";
inline constexpr std::string_view kSupportFontFile = "mirelt.shx";

inline constexpr std::string_view kProgressDialogTitle = "Tabrun (v6.29 11/12/1999)";

// What the engine gets from the process it runs in.
struct EngineEnvironment {
  std::string program_directory;  // where the support files are
  PgLibrary* pg = nullptr;
  // Standard output and error are moved onto the job's ".out" and ".err" files (the
  // program does this; tests that run the job in their own process do not).
  bool redirect_std_streams = false;
  std::string null_device = "/dev/null";
  size_t work_array_budget = std::numeric_limits<size_t>::max();
  // Threads of the counting and translate passes; 0: TABRENG_THREADS, else the
  // processors at hand.
  int threads = 0;
};

// The engine directory: the configured program directory when the variable's value is
// not empty, else the directory of the program file that `self_link` names. When that
// link cannot be read, the directory of the program word (word 0): its text up to the
// last '/', or, without one, the directory where FindOnPathList finds it over the value
// of PATH. Nothing when none of these gives one.
std::optional<std::string> EngineDirectory(const char* configured, const char* self_link,
                                           std::string_view program_word = {});

// The support files found beside the engine.
struct SupportFiles {
  std::string font;            // empty when the font is missing: no text stroking then
  std::string post_processor;  // the post-processor's full path
};

// Checks the support files beside the engine. 0, or -1 after a warning.
int LocateSupportFiles(const std::string& program_directory, SupportFiles* found);

// Runs one job for the word list (word 0 the program path) and returns the exit code:
// CancelledExitCode when Cancel was asked for, -1 when the job failed, the count of
// elements in the counting pass, else the warning and error total.
int32_t RunEngine(const std::vector<std::string>& words, const EngineEnvironment& environment);

}  // namespace kavrinth
