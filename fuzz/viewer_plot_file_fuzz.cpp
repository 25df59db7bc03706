// Fuzz target of the plot library's reader of the viewer's plot data file: the input read
// as the file; a file refused is refused with a reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "companions/plendo/plot_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.plt", data, size);
  PlotDocument document;
  std::string error;
  if (!ReadPlotFile(path, &document, &error) && error.empty()) std::abort();
  return 0;
}
