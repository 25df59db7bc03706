// Fuzz target of Corvane's engine job file: the input read as the job an earlier run left,
// its layers looked up for two input files, then the job written for them and View
// EM/Mann's layer table added. The job read back must hold the two files' sections and
// list, and every key of every other section as it was; and the engine, reading it, must
// take both files exactly as Corvane named them: names that end in blanks or tabs, or are
// nothing but blanks, in a directory whose path is longer than any fixed buffer.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvane/core/engine_job_file.h"
#include "fuzz/fuzz_support.h"
#include "pg2gds/engine_job.h"
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
  // The input files, named from the input's first bytes: blanks and tabs after "demo.em",
  // and a name of blanks only.
  static const std::string inputs = [&] {
    const std::string directory = scratch.File(std::string(200, 'd') + "/" + std::string(200, 'e') +
                                               "/" + std::string(200, 'f'));
    std::filesystem::create_directories(directory);
    return directory;
  }();
  std::string tail;
  for (size_t i = 0; i < size && i < 3; ++i) tail += (data[i] & 1) != 0 ? '\t' : ' ';
  CorvaneSession session;
  session.input_file_names = {"demo.em" + tail, std::string(1 + size % 4, ' ')};
  session.input_file = inputs + "/" + session.input_file_names[0];
  session.working_directory = scratch.path();
  for (const std::string& name : session.input_file_names) {
    scratch.Write(inputs.substr(scratch.path().size() + 1) + "/" + name, "<Z");
  }
  std::vector<JobFileEntry> entries;
  for (int i = 0; i < 2; ++i) {
    const std::string& name = session.input_file_names[i];
    const std::optional<std::string> layer = LayerFromOldJob(old, i, name);
    if (layer) FUZZ_CHECK(IsValidLayerText(*layer));
    entries.push_back({layer.value_or(std::to_string(i + 1)), InputFullPath(session, i)});
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
  // Written again for the same files, the job is the same bytes.
  const auto bytes = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  };
  const std::string written = bytes();
  FUZZ_CHECK(WriteEngineJobFile(path, entries));
  WriteViewerLayerTable(path, session);
  FUZZ_CHECK(bytes() == written);
  // The engine's reading of the job is Corvane's: both files, as named, without a warning.
  EngineRun run(EngineBuild::kCorvitex);
  const std::vector<LayerFileEntry> read = ReadJobLayerList(run, path);
  FUZZ_CHECK(read.size() == 2);
  for (size_t i = 0; i < read.size() && i < 2; ++i) FUZZ_CHECK(read[i].path == entries[i].path);
  FUZZ_CHECK(run.warnings == 0);
  return 0;
}
