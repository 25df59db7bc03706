// Fuzz target of Corvane's engine job file: the input read as the job an earlier run left,
// its layers looked up for two input files, then the job written for them and View
// EM/Mann's layer table added. The job read back must hold the two files' sections and
// list, and every key of every other section as it was.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvane/core/engine_job_file.h"
#include "fuzz/fuzz_support.h"
#include "support/viewer_layer_value.h"

namespace kavrinth {
namespace {

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// Every key of the sections that neither writer manages, with its value.
std::map<std::pair<std::string, std::string>, std::optional<std::string>> Unmanaged(
    const IniFile& job) {
  std::map<std::pair<std::string, std::string>, std::optional<std::string>> keys;
  for (const std::string& section : job.Sections()) {
    if (StartsWithNoCase(section, "layer") || StartsWithNoCase(section, "general")) continue;
    for (const std::string& key : job.Keys(section)) {
      keys[{section, key}] = job.Get(section, key);
    }
  }
  return keys;
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  const std::string path = scratch.Write("demo.job", data, size);
  IniFile old;
  if (!old.Load(path)) return 0;
  CorvaneSession session;
  session.input_file = "/data/demo.em";
  session.input_file_names = {"demo.em", "demo.dwm"};
  session.working_directory = scratch.path();
  std::vector<JobFileEntry> entries;
  for (int i = 0; i < 2; ++i) {
    const std::string& name = session.input_file_names[i];
    const std::optional<std::string> layer = LayerFromOldJob(old, i, name);
    if (layer) FUZZ_CHECK(IsValidLayerText(*layer));
    entries.push_back({layer.value_or(std::to_string(i + 1)), "/data/" + name});
    session.input_file_layer_table[i] = entries.back().layer_text;
  }
  const auto kept = Unmanaged(old);
  if (!WriteEngineJobFile(path, entries)) return 0;  // a file the INI writer refuses
  // View EM/Mann may refuse a job it cannot write: the shell says so, and the file stays as
  // the job was written.
  const bool table_written = WriteViewerLayerTable(path, session);
  IniFile job;
  FUZZ_CHECK(job.Load(path));
  // Each entry of the table written reads as the viewer reads it, and names its file whole.
  for (size_t n = 0; table_written && n < session.input_file_names.size(); ++n) {
    const std::optional<std::string> value =
        job.Get(kViewerLayerTable, "LAYER_" + std::to_string(n));
    FUZZ_CHECK(value.has_value());
    const std::optional<ViewerLayerValue> entry = ParseViewerLayerValue(value.value_or(""));
    FUZZ_CHECK(entry.has_value() && entry->path == InputFullPath(session, n));
  }
  FUZZ_CHECK(job.Get(kJobGeneral, kJobLayersKey) == "layer0,layer1");
  for (int i = 0; i < 2; ++i) {
    FUZZ_CHECK(job.Get(JobSectionName(i), kJobLayerKey) ==
               entries[i].layer_text + "," + entries[i].path);
    FUZZ_CHECK(LayerFromOldJob(job, i, session.input_file_names[i]) == entries[i].layer_text);
  }
  FUZZ_CHECK(Unmanaged(job) == kept);
  return 0;
}
