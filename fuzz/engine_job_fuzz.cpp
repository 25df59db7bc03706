// Fuzz target of the PG -> GDSII engine's job file: the input read as the job copy by
// corvitex or corvaxen (first input byte), its files looked up, numbered and logged.
// The scratch directory holds a few PG files that a job may name.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "pg2gds/engine_job.h"

namespace kavrinth {
namespace {

void MakePgFiles() {
  static const bool made = [] {
    const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
    if (::chdir(scratch.path().c_str()) != 0) return false;
    scratch.Write("a.em", "<X100Y200W30V10U0SZ");
    scratch.Write("b.dwm", "\"T300M\"\r\nX10Y20W4H2A0;$");
    scratch.Write("c.dwm", "\"T360E\"\rX1.5Y.5W.3H.1A90;$");
    return true;
  }();
  if (!made) std::abort();
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  fuzz::BeQuiet();
  MakePgFiles();
  EngineRun run((data[0] & 1) != 0 ? EngineBuild::kCorvaxen : EngineBuild::kCorvitex);
  run.job_copy_path = fuzz::ScratchDirectory::Get().Write("job.job", data + 1, size - 1);
  run.log.reset(std::fopen("/dev/null", "wb"));
  if (LoadLayerList(run) == 0) {
    if (run.layers.empty()) std::abort();
    for (const LayerFileEntry& entry : run.layers) {
      if (entry.layer < 1 || entry.layer >= kEngineLayerCount) std::abort();
    }
  }
  return 0;
}
