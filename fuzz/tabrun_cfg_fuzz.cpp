// Fuzz target of Tabrun's GDS.CFG reader: the input read over the defaults, written with
// the shell's writer and read again, which must give the same values and the same bytes;
// and the engine's reader must take from the input and from the written file what the
// shell takes, unless the shell names the value it reads otherwise in a note.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "fuzz/tabrun_settings_check.h"
#include "tabrun/core/gds_cfg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const std::string& directory = fuzz::ScratchDirectory::Get().path();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const GdsCfgSettings first = ParseGdsCfg(text, directory);
  const GdsCfgSettings again = ParseGdsCfg(FormatGdsCfg(first), directory);
  fuzz::SameOrAbort("GDS.CFG values", fuzz::CfgValues(first), fuzz::CfgValues(again));
  // The engine reads the user's file and the file the shell writes as the shell does.
  const std::string written = FormatGdsCfg(first);
  fuzz::SameAsTheEngineOrNoted("the file read", text, directory);
  fuzz::SameAsTheEngineOrNoted("the file written", written, directory);
  // Written again from what it read, the shell's file is the same bytes.
  fuzz::SameOrAbort("GDS.CFG written", written, FormatGdsCfg(again));
  return 0;
}
