// The names of the files one GDSII -> PG job shares between the shell, the engine and the
// post-processor. Every program makes them here, so that all of them use the same case and
// find each other's files on a case-sensitive file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrinth {

struct JobFileNames {
  std::string base;         // the GDSII file's name without directory and extension
  std::string log;          // base.log: the engine's log, later the job log
  std::string log_copy;     // base.lg2: the engine's log while the job log is rebuilt
  std::string out;          // base.out: the engine's redirected standard output
  std::string err;          // base.err: the engine's redirected standard error
  std::string scan_report;  // the file name with ".ssn" (capitals rule of ReplaceExtension)
  std::string cfg;          // base.cfg: the job's settings file made after a scan
  std::string viewer_job;   // base.job: the viewer job of View PG
};

// The names (without directory) for a GDSII path; a stored path may use '\'. The base is
// cut at the last '.' of the file name, never at a '.' of a directory.
JobFileNames MakeJobFileNames(std::string_view gds_path);

// The PG library's log and the settings files of the working directory.
inline constexpr std::string_view kPgLogName = "pg.log";
inline constexpr std::string_view kPgCfgName = "pg.cfg";
inline constexpr std::string_view kGdsCfgName = "gds.cfg";

// A fixed file of the working directory that one of a job's own files would be: its name
// and what it is. Letter case does not count, since an open of a missing name retries
// without it.
struct FixedNameClash {
  std::string job_file;         // the job's own file name
  std::string_view fixed_name;  // pg.log, pg.cfg or gds.cfg
  std::string_view what;        // e.g. "the PG library's log"
};
// The first clash of the job's files with the fixed names, or none (the GDS file pg.gds
// would have the job log pg.log and the CFG file pg.cfg).
std::optional<FixedNameClash> FindFixedNameClash(const JobFileNames& names);

// The Intermediate PG file the post-processor writes for one layer: the first 6 characters
// of the top structure name (as the engine hands it on, EngineStructureName), the layer
// with at least two digits, ".int". A '/', '\' or zero byte in the name part becomes '_'
// so that the file stays in the working directory.
std::string IntermediateFileName(std::string_view top_structure, int layer);

// The file a converter writes for an Intermediate file, in the directory it runs in: the
// file name without directory and extension, then ".em" (Electromask) or ".dwm" (Mann).
std::string ConverterResultName(std::string_view intermediate, bool electromask);

}  // namespace kavrinth
