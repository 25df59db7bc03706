// Fuzz target of the post-processor's header stream reader: the input read as the header
// stream; what it accepts must name its top structure and translated stream, list each
// output layer once within 0-1023, and give output names inside the working directory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "companions/quenrix/header_stream.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.hdx", data, size);
  HeaderStreamInfo info;
  std::string error;
  if (ReadHeaderStream(path, &info, &error) != 0) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (info.top_structure.empty() || info.translated_stream.empty()) std::abort();
  std::vector<bool> seen(kPgLayerCount, false);
  for (int layer : info.layers) {
    if (layer < 0 || layer >= kPgLayerCount || seen[layer]) std::abort();
    seen[layer] = true;
    const std::string name = IntermediateFileName(info.top_structure, layer);
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) std::abort();
  }
  return 0;
}
