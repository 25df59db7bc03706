// The engine's spine: one job from the command line to the closed GDSII library, and
// the program entry both builds share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pg2gds/engine_run.h"

namespace kavrinth {

// Runs one job: 0 on success and after Cancel, -1 when it stopped after a file's error
// message, or the message code ExitWithError showed (23, 16, 15, 29, 30).
int RunConversion(EngineRun& run, const std::vector<std::string>& args);

// Opens the GDSII library on the output path with the run's unit and begins the one
// structure: 0, or 1 when either fails or the output would replace the job, the log or a
// PG file of the job. Empties the extents box unless -limit: set it.
int OpenGdsOutput(EngineRun& run);

// Ends the structure and the library: 0, or non-zero when either fails (a write error
// anywhere in the library included; the output is then not replaced).
int CloseGdsOutput();

// Shows the message of a code above 0, frees the layer list and returns the code.
int ExitWithError(EngineRun& run, int code);

// The whole program: progress, the job, the log, and the result: CancelledExitCode after
// Cancel, -1 after a failure, else the number of warnings.
int32_t EngineMain(EngineBuild build, const std::vector<std::string>& args);

// The usage line of --help.
std::string EngineUsage(EngineBuild build);

}  // namespace kavrinth
