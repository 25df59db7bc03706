// What the post-processor takes from the engine's header stream: the top structure, the
// path of the translated stream and the output layers of the layer-file records.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/job_file_names.h"

namespace kavrinth {

// Layers the PG side keeps.
inline constexpr int kPgLayerCount = 1024;

struct HeaderStreamInfo {
  std::string top_structure;       // "$TOPSTR$"
  std::string translated_stream;   // "$JUMP$", as stored
  std::vector<int> layers;         // of the layer-file records, in order, each once
  std::vector<std::string> notes;  // what was skipped, for the log
};

// Reads the header stream: 0, or 1 with a message when it cannot be read, is not a
// valid stream, or lacks the top structure or the translated stream's name.
int ReadHeaderStream(std::string_view path, HeaderStreamInfo* info, std::string* error);

// The output file of a layer is IntermediateFileName (support/job_file_names.h), the
// name the shell looks for.

}  // namespace kavrinth
