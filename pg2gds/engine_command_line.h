// The engine's command line: the job ("@" or -f), the GDSII output, the unit and the
// options that shape the conversion.
#pragma once

#include <string>
#include <vector>

#include "pg2gds/engine_run.h"

namespace kavrinth {

// Fills the run from the arguments (argument 0 is the program). A job named by "@"
// opens the log, named after the job with ".log", in the current directory; the job
// is copied to a fresh "!%07ld.TMP" file there, which the caller must remove. Returns
// 0 when the job copy, the output and (corvitex) the unit letter are all set, else 1.
int ParseEngineCommandLine(EngineRun& run, const std::vector<std::string>& args);

// Removes the job copy when it is the engine's own temporary file.
void RemoveJobCopy(EngineRun& run);

}  // namespace kavrinth
