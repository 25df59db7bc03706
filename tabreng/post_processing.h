// The post-processor step: libquenrix.so, loaded from the engine directory, is handed
// the header stream through its entry quenrix_ordinal_1 and writes the per-layer
// intermediate PG files; afterwards the header and translated streams are removed
// unless they are kept for debugging.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tabreng/engine_log.h"

namespace kavrinth {

// The post-processor's entry: (argument count, argument vector ending in a null entry,
// progress window, address of the cancel flag) -> its result.
inline constexpr std::string_view kPostProcessorEntry = "quenrix_ordinal_1";
using PostProcessorEntry = int32_t (*)(int32_t argc, char** argv, uint32_t window,
                                       volatile int* cancel_flag);

struct PostProcessorStep {
  bool counting_pass = false;
  bool debug = false;             // -dbg, -debug: the post-processor gets "-debug"
  bool keep_temporaries = false;  // -dbgx: it gets "-debugx", and the streams stay
  std::string library;            // the post-processor's full path
  std::string header_name;        // the header stream as the post-processor opens it
  std::string header_stream;      // native paths of the streams to remove;
  std::string translated_stream;  // empty for the null device
  EngineLog* log = nullptr;       // gets the post-processor's failures
};

// Empties the seven status texts (a set cancel flag returns -1 at once); outside the
// counting pass loads the post-processor and calls its entry with the library's path,
// the header stream's name and the debug word; then removes the header and translated
// streams unless they are kept. Returns the entry's result (0 in the counting pass),
// or -1 after a message when the library or its entry cannot be loaded (the streams
// then stay).
int RunPostProcessor(const PostProcessorStep& step);

}  // namespace kavrinth
