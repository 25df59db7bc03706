// The translate step apart from its windows: the GDSII output name, the engine and its
// arguments, and the job log made from the engine's log.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/core/session.h"

namespace kavrinth {

inline constexpr std::string_view kCorvitexName = "corvitex.exe";
inline constexpr std::string_view kCorvaxenName = "corvaxen.exe";

// The proposal of the output dialog: beside the input when there was no output yet, else
// in the last output's directory; the input's name with ".gds".
std::string ProposeOutputName(const CorvaneSession& session);
// The name the engine will write: a name without extension gets ".gds" as the engine adds
// it.
std::string EngineOutputName(std::string_view path);
// Empty when the output may be written; otherwise the message that refuses it, because
// it names one of the selected input files, the job file, the job log or its ".lg2".
std::string CheckOutputName(const CorvaneSession& session, std::string_view output);

// Empty when no selected input file is one of the files the job writes; otherwise the
// message that refuses the step, naming the input and what it would become. The job file
// is written by the Layers dialog and View EM/Mann; with_run adds the engine's log and its
// ".lg2", which Translate overwrites and deletes.
std::string CheckInputsAgainstJobFiles(const CorvaneSession& session, bool with_run);

// The engine program for the input format, in the program directory.
std::string EnginePath(const CorvaneSession& session);

// Whether the Mann engine takes the scale: a finite real in 1e-08..1000000.
bool IsScaleInRange(double scale);
// The scale as the engine gets it: six decimals when they read back as the same value
// ("2.500000"), else the shortest text that does ("1e-08").
std::string FormatEngineScale(double scale);

// The engine's arguments, one word each (paths with blanks stay whole): "@<job>",
// "-o:<output>", "-u:E" or "-u:M", and for Mann input "-3000" or "-3600", "-scale" and
// the scale.
std::vector<std::string> BuildEngineArguments(const CorvaneSession& session,
                                              std::string_view job_path,
                                              std::string_view output_path);

// The first lines of every job log.
std::string JobLogHeader();
// The run summary: output path, end time (local) and elapsed whole seconds.
std::string FormatRunSummary(std::string_view output_path, const std::tm& end_time,
                             int64_t elapsed_seconds);

// Rebuilds the job log: the engine's log is moved to the ".lg2" name, a new log is
// written with the header, the summary and the engine's log byte for byte, and the
// ".lg2" is removed. On any failure the engine's log is put back as it was and nothing
// half written stays. 0, or the errno of the failure.
int RewriteJobLog(const std::string& log_path, const std::string& lg2_path,
                  std::string_view header_and_summary);

// The message for a failed rewrite.
std::string JobLogErrorMessage(int error);

}  // namespace kavrinth
