// The shell's state: input selection and the job's file names.
#include "corvane/core/session.h"

#include "support/paths.h"

namespace kavrinth {

bool ApplyInputSelection(CorvaneSession& session, const std::vector<std::string>& entries) {
  if (entries.empty() || entries.front().empty()) return false;
  session.input_file_names.clear();
  if (entries.size() > 1) {
    session.input_file = MakePath(entries[0], entries[1]);
    for (size_t i = 1; i < entries.size(); ++i) {
      if (session.input_file_names.size() >= static_cast<size_t>(kMaxInputFiles)) break;
      session.input_file_names.push_back(entries[i]);
    }
  } else {
    session.input_file = entries[0];
    std::string name;
    SplitPath(session.input_file, nullptr, &name);
    session.input_file_names.push_back(name);
  }
  UseInputDirectoryWhenNoWorkingDirectory(session);
  for (std::string& text : session.input_file_layer_table) text.clear();
  session.checked_file_indexes.clear();
  return true;
}

void UseInputDirectoryWhenNoWorkingDirectory(CorvaneSession& session) {
  if (session.working_directory.empty()) {
    SplitPath(session.input_file, &session.working_directory, nullptr);
  }
}

std::string TitleFileName(const CorvaneSession& session) {
  std::string name = session.input_file;
  if (session.input_file_names.size() > 1) name += "...";
  return name;
}

std::string InputDirectory(const CorvaneSession& session) {
  std::string directory;
  SplitPath(session.input_file, &directory, nullptr);
  return directory;
}

std::string InputFullPath(const CorvaneSession& session, size_t index) {
  if (index >= session.input_file_names.size()) return std::string();
  return MakePath(InputDirectory(session), session.input_file_names[index]);
}

std::string JobFilePathIn(const CorvaneSession& session, std::string_view directory) {
  std::string name;
  SplitPath(session.input_file, nullptr, &name);
  if (name.empty()) return std::string();
  return ReplaceExtension(MakePath(directory, name), ".job");
}

std::string JobFilePath(const CorvaneSession& session) {
  return JobFilePathIn(session, session.working_directory);
}

// The engine names its log after the job file's own name, in its current directory.
std::string LogFilePathFor(const CorvaneSession& session) {
  std::string job_name;
  SplitPath(JobFilePath(session), nullptr, &job_name);
  if (job_name.empty()) return std::string();
  return MakePath(session.working_directory, ReplaceExtension(job_name, ".log"));
}

std::string Lg2FilePathFor(const CorvaneSession& session) {
  const std::string log = LogFilePathFor(session);
  return log.empty() ? log : ReplaceExtension(log, ".lg2");
}

}  // namespace kavrinth
