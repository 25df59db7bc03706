// The job log (<working dir>/<GDSII base>.log): after each engine run the engine's log is
// kept aside as ".lg2" and a new log is written with the shell's header, the run summary,
// the engine's log and the PG library's log; the output conversion appends the list of
// generated files.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "tabrun/core/tabrun_job.h"

namespace kavrinth {

struct RunTiming {
  std::tm end_time{};  // local time when the last engine run ended
  int64_t elapsed_seconds = 0;
  // How the run ended when it did not translate (cancelled, failed and why), for the summary.
  std::string ending;
};

// The "Generated Output Files:" block (with its leading empty line) for the selected
// layers, or "" when none is selected.
std::string GeneratedFilesText(const TabrunJob& job);

// Rebuilds the job log from the engine's log (which must exist) and pg.log (a missing one
// counts as empty). with_files adds the generated files (the Intermediate format). 0, or
// -1 with *error and the system's error number in *cause; on failure the engine's log is
// put back as it was.
int RebuildJobLog(const TabrunJob& job, const RunTiming& timing, bool with_files,
                  std::string* error, int* cause = nullptr);

// Appends the converters' log and the generated files to the log at path (replacing it only
// once the new text is complete). 0, or -1 with *error and *cause.
int AppendGeneratedFiles(const TabrunJob& job, const std::string& path,
                         const std::string& converter_log, std::string* error,
                         int* cause = nullptr);

// The message for a file error of the job log's rebuild, by the system's error number: a
// missing file, a refused access, or any other cause shown with its number.
std::string LogFileErrorText(int cause);

}  // namespace kavrinth
