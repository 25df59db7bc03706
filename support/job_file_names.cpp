// Names of the files of a GDSII -> PG job.
#include "support/job_file_names.h"

#include <cstdio>

#include "platform/files.h"
#include "support/paths.h"

namespace kavrinth {

JobFileNames MakeJobFileNames(std::string_view gds_path) {
  JobFileNames names;
  std::string file_name;
  SplitPath(NativePath(gds_path), nullptr, &file_name);
  SplitExtension(file_name, &names.base, nullptr);
  names.log = names.base + ".log";
  names.log_copy = names.base + ".lg2";
  names.out = names.base + ".out";
  names.err = names.base + ".err";
  names.scan_report = ReplaceExtension(file_name, ".ssn");
  names.cfg = names.base + ".cfg";
  names.viewer_job = names.base + ".job";
  return names;
}

namespace {

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<FixedNameClash> FindFixedNameClash(const JobFileNames& names) {
  struct Fixed {
    std::string_view name;
    std::string_view what;
  };
  static constexpr Fixed kFixed[] = {
      {kPgLogName, "the PG library's log"},
      {kPgCfgName, "the PG settings file"},
      {kGdsCfgName, "the engine's settings file"},
  };
  for (const std::string* own : {&names.log, &names.log_copy, &names.out, &names.err,
                                 &names.scan_report, &names.cfg, &names.viewer_job}) {
    for (const Fixed& fixed : kFixed) {
      if (SameNameNoCase(*own, fixed.name)) return FixedNameClash{*own, fixed.name, fixed.what};
    }
  }
  return std::nullopt;
}

std::string IntermediateFileName(std::string_view top_structure, int layer) {
  std::string name(top_structure.substr(0, 6));
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  }
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02d", layer);
  return name + digits + ".int";
}

std::string ConverterResultName(std::string_view intermediate, bool electromask) {
  std::string name(intermediate);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name + (electromask ? ".em" : ".dwm");
}

}  // namespace kavrinth
