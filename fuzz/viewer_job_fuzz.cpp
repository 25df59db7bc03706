// Fuzz target of the viewer job file: the input read as a job into the layer table with
// its format and unit, and each of its values parsed as a layer value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/ini.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  const std::string path = scratch.Write("input.job", data, size);
  int32_t unit_code = 0, format = 0;
  (void)ReadJobGeneral(path, &unit_code, &format);
  if (format < 0 || format > 6) std::abort();
  const int entries = ReadJobFile(path);
  if (entries < 0 || entries > kViewLayerTableSize) std::abort();
  IniFile job;
  if (job.Load(path)) {
    for (const std::string& section : job.Sections()) {
      for (const std::string& key : job.Keys(section)) {
        if (std::optional<std::string> value = job.Get(section, key)) {
          (void)ParseJobLayerValue(*value);
        }
      }
    }
  }
  ClearLayerTable();
  return 0;
}
