// Side-file names of a job and the checks that keep the input safe.
#include "tabreng/side_files.h"

#include <sys/stat.h>

#include <array>

#include "platform/files.h"
#include "support/job_file_names.h"
#include "support/paths.h"
#include "tabreng/command_line.h"

namespace kavrinth {

std::string_view TranslatedExtension(std::string_view input_path) {
  static constexpr std::array<std::string_view, 4> kExtensions = {".gdx", ".vu", ".out", ".tmp"};
  for (size_t i = 0; i + 1 < kExtensions.size(); ++i) {
    if (input_path.ends_with(kExtensions[i])) return kExtensions[i + 1];
  }
  return kExtensions[0];
}

SideFileNames MakeSideFileNames(std::string_view input_path, bool scan_mode) {
  SideFileNames names;
  // The names the shell shares with the engine come from the one routine both use.
  const JobFileNames job = MakeJobFileNames(input_path);
  names.base = job.base;
  const std::string null_device(kNullDeviceName);
  names.header_stream = scan_mode ? null_device : names.base + ".hdx";
  names.stdout_file = job.out;
  names.stderr_file = job.err;
  names.log_file = job.log;
  names.translated_name = names.base + std::string(TranslatedExtension(input_path));
  names.translated_stream = scan_mode ? null_device : names.translated_name;
  names.scan_report = job.scan_report;
  return names;
}

std::vector<std::string> FilesWritten(const SideFileNames& names, bool log_to_stderr) {
  std::vector<std::string> files;
  const std::string null_device(kNullDeviceName);
  for (const std::string* name : {&names.header_stream, &names.stdout_file, &names.stderr_file}) {
    if (*name != null_device) files.push_back(*name);
  }
  if (!log_to_stderr) files.push_back(names.log_file);
  if (names.translated_stream != null_device) files.push_back(names.translated_stream);
  files.emplace_back(kCfgTmpName);
  files.emplace_back(kTmpCfgTmpName);
  // The PG library's log, which PG_INIT makes in every run: no job file may take its name.
  files.emplace_back(kPgLogName);
  return files;
}

int CheckSideFiles(std::string_view input_path, const std::vector<std::string>& written) {
  for (size_t i = 0; i < written.size(); ++i) {
    if (SameExistingFile(ResolveExistingPath(input_path), written[i])) {
      return ShowEngineFailure("The output file '" + written[i] +
                               "' would overwrite the input file '" + std::string(input_path) +
                               "'.");
    }
    for (size_t j = i + 1; j < written.size(); ++j) {
      if (written[i] == written[j]) {
        return ShowEngineFailure("Two output files of this job would both be named '" + written[i] +
                                 "'.");
      }
    }
  }
  return 0;
}

}  // namespace kavrinth
