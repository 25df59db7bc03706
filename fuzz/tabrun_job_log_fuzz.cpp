// Fuzz target of Tabrun's job-log rebuild: the input up to its first zero byte is the
// engine's log, the rest (when there is a zero byte) the PG library's pg.log. The rebuilt
// log must end with both, whole and in that order (without a pg.log, with the line that
// says there is none), and the engine's log kept aside while it was rebuilt must be gone.
// The output names of a layer without data and of one whose conversion failed are made
// from the input and are always longer than any line buffer: their lines must be whole.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "tabrun/core/job_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view engine_log = input.substr(0, split);
  const std::string_view pg_log =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  scratch.Write("chip.log", engine_log);
  if (split == std::string_view::npos) {
    std::remove(scratch.File("pg.log").c_str());
  } else {
    scratch.Write("pg.log", pg_log);
  }
  TabrunJob job;
  job.working_dir = scratch.path();
  job.gds_path = scratch.File("chip.gds");
  job.scan.gds_unit = "UM";
  job.scan.top = "TOP";
  job.layers.selected = {1, 7, 9};
  job.no_data[7] = true;
  job.conversion_failed[9] = true;
  // A name holds no line end and no zero byte: the layers dialog takes one line of text.
  std::string name(input.substr(0, 4096));
  for (char& c : name) {
    if (c == '\r' || c == '\n' || c == '\0') c = '_';
  }
  name += std::string(2100, 'n');
  job.layers.output_names[1] = "one.em";
  job.layers.output_names[7] = name + ".em";
  job.layers.output_names[9] = name + ".dwm";
  RunTiming timing;
  timing.elapsed_seconds = 12;
  std::string error;
  if (RebuildJobLog(job, timing, (size & 1) != 0, &error) != 0) std::abort();
  std::ifstream in(scratch.File("chip.log"), std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), {});
  // Without a pg.log the job log says so in its place.
  const std::string tail =
      std::string(engine_log) + (split == std::string_view::npos
                                     ? std::string("No PG library log (pg.log) was written.\r\n")
                                     : std::string(pg_log));
  if (log.size() < tail.size() || log.compare(log.size() - tail.size(), tail.size(), tail) != 0) {
    std::abort();
  }
  if (::access(scratch.File("chip.lg2").c_str(), F_OK) == 0) std::abort();
  if ((size & 1) != 0) {
    for (const std::string& line :
         {"\r\nNo data translated for GDS layer 7, " + name + ".em is not generated.\r\n",
          "\r\nConversion failed for GDS layer 9, " + name + ".dwm is not generated.\r\n"}) {
      if (log.find(line) == std::string::npos) std::abort();
    }
  }
  return 0;
}
