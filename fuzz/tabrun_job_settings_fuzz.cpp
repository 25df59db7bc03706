// Fuzz target of Tabrun's job settings: the input read as the job's CFG file (its GDS.CFG
// and PG settings records), the job's settings written and the CFG file read again, which
// must give the values the job had: the same ones, but for the GDS.CFG text scales and
// block text, which the writer takes from the PG options (CfgAsWritten; a user's record of
// those keys that no reader takes stands in place of the writer's own, on both sides).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/tabrun_settings_check.h"
#include "tabrun/core/tabrun_job.h"

namespace kavrinth {
namespace {

TabrunJob NewJob() {
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  TabrunJob job;
  job.working_dir = scratch.path();
  job.gds_path = scratch.File("chip.gds");
  job.cfg_path = scratch.File("chip.cfg");
  return job;
}

// The selected layers and their names.
std::string Selection(const TabrunJob& job) {
  std::string out;
  const auto& names = job.layers.CurrentNames();
  for (int layer : job.layers.selected) out += std::to_string(layer) + " " + names[layer] + "\n";
  return out;
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  std::remove(scratch.File("pg.cfg").c_str());
  std::remove(scratch.File("gds.cfg").c_str());
  TabrunJob first = NewJob();
  scratch.Write("chip.cfg", data, size);
  ReadJobSettings(&first, first.cfg_path);
  std::string error;
  if (WriteJobSettings(first, &error) != 0) std::abort();
  TabrunJob again = NewJob();
  ReadJobSettings(&again, again.cfg_path);

  fuzz::SameOrAbort("GDS.CFG values", fuzz::CfgValues(CfgAsWritten(first)),
                    fuzz::CfgValues(CfgAsWritten(again)));
  fuzz::SameOrAbort("PG values", fuzz::PgValues(first), fuzz::PgValues(again));
  fuzz::SameOrAbort("selected layers", Selection(first), Selection(again));
  return 0;
}
