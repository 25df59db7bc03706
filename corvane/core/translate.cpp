// Output naming, engine arguments and the job log of the translate step.
#include "corvane/core/translate.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "support/paths.h"

namespace kavrinth {

namespace {

// Both names stand for one file: the same existing file, or the same place once written.
bool SamePlace(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return false;
  if (SameExistingFile(a, b)) return true;
  std::error_code error;
  const auto left = std::filesystem::weakly_canonical(NativePath(a), error);
  if (error) return false;
  const auto right = std::filesystem::weakly_canonical(NativePath(b), error);
  return !error && left == right;
}

}  // namespace

std::string ProposeOutputName(const CorvaneSession& session) {
  if (session.gds_output_path.empty()) return ReplaceExtension(session.input_file, ".gds");
  std::string directory;
  std::string name;
  SplitPath(session.gds_output_path, &directory, nullptr);
  SplitPath(session.input_file, nullptr, &name);
  return ReplaceExtension(MakePath(directory, name), ".gds");
}

std::string EngineOutputName(std::string_view path) {
  std::string output(path);
  ForwardToBackslash(output);
  std::string extension;
  SplitExtension(output, nullptr, &extension);
  if (extension.empty()) output = ReplaceExtension(output, ".gds");
  return output;
}

std::string CheckOutputName(const CorvaneSession& session, std::string_view output) {
  for (size_t i = 0; i < session.input_file_names.size(); ++i) {
    if (SamePlace(output, InputFullPath(session, i))) {
      return "The GDS output file " + std::string(output) + " is the input file " +
             session.input_file_names[i] + ".\nPlease choose another name.";
    }
  }
  const struct {
    std::string path;
    const char* what;
  } own[] = {{JobFilePath(session), "job file"},
             {LogFilePathFor(session), "log file"},
             {Lg2FilePathFor(session), "log file"}};
  for (const auto& file : own) {
    if (SamePlace(output, file.path)) {
      return "The GDS output file " + std::string(output) + " is the " + file.what +
             " of this job.\nPlease choose another name.";
    }
  }
  return std::string();
}

std::string CheckInputsAgainstJobFiles(const CorvaneSession& session, bool with_run) {
  const struct {
    std::string path;
    const char* what;
    bool run_only;
  } own[] = {
      {JobFilePath(session), "the job file of this job", false},
      {LogFilePathFor(session), "the log of this job, which the engine overwrites", true},
      {Lg2FilePathFor(session), "the temporary copy of this job's log, which is deleted", true}};
  for (size_t i = 0; i < session.input_file_names.size(); ++i) {
    const std::string input = InputFullPath(session, i);
    for (const auto& file : own) {
      if ((!file.run_only || with_run) && SamePlace(input, file.path)) {
        return "The input file " + input + " is " + file.what +
               ".\nPlease choose another working directory or rename the file.";
      }
    }
  }
  return std::string();
}

std::string EnginePath(const CorvaneSession& session) {
  return MakeExePath(session.program_directory, session.options.files_format == kFilesElectromask
                                                    ? kCorvitexName
                                                    : kCorvaxenName);
}

bool IsScaleInRange(double scale) {
  return std::isfinite(scale) && scale >= kMinScale && scale <= kMaxScale;
}

std::string FormatEngineScale(double scale) {
  char fixed[400];
  std::snprintf(fixed, sizeof fixed, "%f", scale);
  if (std::strtod(fixed, nullptr) == scale) return fixed;
  char shortest[64];
  const auto result = std::to_chars(shortest, shortest + sizeof shortest, scale);
  return std::string(shortest, result.ptr);
}

std::vector<std::string> BuildEngineArguments(const CorvaneSession& session,
                                              std::string_view job_path,
                                              std::string_view output_path) {
  std::vector<std::string> args;
  args.push_back("@" + std::string(job_path));
  args.push_back("-o:" + std::string(output_path));
  args.push_back(session.options.files_unit == kFilesUnitMicron ? "-u:M" : "-u:E");
  const int32_t format = session.options.files_format;
  if (format == kFilesMann3000 || format == kFilesMann3600) {
    args.push_back(format == kFilesMann3000 ? "-3000" : "-3600");
    args.push_back("-scale");
    args.push_back(FormatEngineScale(session.options.scale));
  }
  return args;
}

std::string JobLogHeader() {
  return "CORVANE - EM/Mann to GDSII Translation, version " KAVRINTH_VERSION
         "\r\nKavrinth photomask data preparation\r\n\r\n";
}

std::string FormatRunSummary(std::string_view output_path, const std::tm& end_time,
                             int64_t elapsed_seconds) {
  char times[160];
  std::snprintf(
      times, sizeof times,
      "End Job Time:\t%02d:%02d:%02d  (%d-%d-%d)\r\nElapsed Time:\t%lld second(s)\r\n\r\n",
      end_time.tm_hour, end_time.tm_min, end_time.tm_sec, end_time.tm_mon + 1, end_time.tm_mday,
      end_time.tm_year + 1900, static_cast<long long>(elapsed_seconds));
  return "GDS Output File:\t" + std::string(output_path) + "\r\n" + times;
}

int RewriteJobLog(const std::string& log_path, const std::string& lg2_path,
                  std::string_view header_and_summary) {
  const std::string log = NativePath(log_path);
  const std::string lg2 = NativePath(lg2_path);
  std::remove(lg2.c_str());
  if (std::rename(log.c_str(), lg2.c_str()) != 0) return errno;
  auto restore = [&](int error) {
    std::rename(lg2.c_str(), log.c_str());
    return error;
  };
  std::ifstream in(lg2, std::ios::binary);
  if (!in) return restore(errno != 0 ? errno : ENOENT);
  std::ofstream out(log, std::ios::binary | std::ios::trunc);
  if (!out) return restore(errno != 0 ? errno : EACCES);
  out.write(header_and_summary.data(), static_cast<std::streamsize>(header_and_summary.size()));
  char buffer[65536];
  while (out && (in.read(buffer, sizeof buffer) || in.gcount() > 0)) {
    out.write(buffer, in.gcount());
  }
  const bool read_ok = !in.bad();
  out.close();
  if (!read_ok || !out) return restore(EIO);  // the rename back replaces the half log
  in.close();
  std::remove(lg2.c_str());
  return 0;
}

std::string JobLogErrorMessage(int error) {
  if (error == ENOENT)
    return "File not found when generating log file.\nExit the program and try again.";
  if (error == EACCES || error == EPERM) {
    return "Access denied when generating log file.\nExit the program and try again.";
  }
  return "(" + std::to_string(error) +
         ") Error occurred in operating log file.\nExit the program and try again.";
}

}  // namespace kavrinth
