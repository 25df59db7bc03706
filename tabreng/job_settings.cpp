// The job settings at their defaults, and the located settings file.
#include "tabreng/job_settings.h"

#include <sys/stat.h>

#include "platform/files.h"

namespace kavrinth {

void LoadJobSettings(const EngineOptions& options, JobSettings& settings) {
  settings = JobSettings();
  const std::string found = ResolveExistingPath(options.settings_file);
  struct stat status {};
  if (::stat(found.c_str(), &status) == 0 && S_ISREG(status.st_mode))
    settings.settings_path = found;
  settings.path_mode = options.path_mode_override >= 0 ? options.path_mode_override : kPathOutline;
}

}  // namespace kavrinth
