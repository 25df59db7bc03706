// The steps of the user's road that change the job: scanning a GDSII file, choosing the
// CFG file, the structure, the working directory, writing the viewer job, and the clean-up
// when the program closes. Each step's messages go through the current Notifier.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/app_profile.h"
#include "tabrun/core/tabrun_job.h"

namespace kavrinth {

// The arguments of a program the shell starts, one word each: a path reaches the program
// whole, whatever it holds (blanks, quotes).
using ProgramArguments = std::vector<std::string>;

// Runs a program and waits: RunProgram's result, the child's result in *exit_code, and
// what the child wrote on its standard error in *error_output.
using ProgramRunner =
    std::function<int(const std::string& program, const ProgramArguments& arguments,
                      int32_t* exit_code, std::string* error_output)>;

enum class ScanResult { kScanned, kNotStarted, kFailed };

// The message for a GDSII file one of whose job files would be a fixed file of the working
// directory (pg.gds: its job log would be the PG library's pg.log), or "".
std::string FixedNameClashText(const std::string& gds_path);

// Scans the GDSII file with the scanner of the program directory and loads its report.
// A scanner that fails is named with the reason it gave. On failure the previous job (GDSII path,
// scanned flag, model) stays current; a file whose job files would be fixed files of the working
// directory is refused unscanned.
ScanResult ScanGdsFile(TabrunJob* job, const std::string& gds_path, const ProgramRunner& run);

// The message for a GDSII file that is not the one scanned (its size or the time of its last
// change differs, or it is gone), or "" when it is the same.
std::string ScannedFileChangeText(const TabrunJob& job);

// Select/Create CFG File after the user chose path: a missing file is created from the
// stored options and the defaults, an existing one is read. Returns true when this was the
// first CFG choice of the scan; -1 style failure (a settings file that cannot be written)
// is reported and leaves *failed set.
bool SelectCfgFile(TabrunJob* job, const std::string& path, const CAppProfile& profile,
                   bool* failed);

// Writes the CFG file and the copies; a failure is shown. True on success.
bool SaveJobSettings(const TabrunJob& job);

// Save CFG As: the job's settings go to path, which becomes the job's CFG file, with the
// records of the old CFG file that the shell does not manage. True on success.
bool SaveCfgAs(TabrunJob* job, const std::string& path);

// The structure chosen in the Structure Selection dialog becomes the top; the settings
// are rewritten.
bool ChooseTopStructure(TabrunJob* job, const std::string& name);

// Moves the job to another working directory: the scan report is copied there, the old
// directory's pg.cfg and gds.cfg removed (unless one is the job's CFG file) and the new
// directory's written. Before a CFG file is chosen only the directory changes (and the
// scan report moves): no settings file is removed or written. True on success.
bool ChangeWorkingDirectory(TabrunJob* job, const std::string& directory);

// Writes the viewer job (<working dir>/<base>.job) for the PG output files that exist. An
// existing entry keeps its look when the viewer reads it, else it is written afresh.
// Returns the job path, or "" after a message when it could not be written or a path holds
// a double quote or a line break (the viewer would read it cut).
std::string WriteViewerJob(const TabrunJob& job);

// At exit: removes every gds.cfg this session wrote as the engine's copy, unless it is the
// job's own CFG file, and the last scan report.
void CleanUpOnClose(const TabrunJob& job);

}  // namespace kavrinth
