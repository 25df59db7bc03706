// Loading and calling the post-processor.
#include "tabreng/post_processing.h"

#include <dlfcn.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "platform/files.h"
#include "support/progress_sink.h"
#include "tabreng/command_line.h"

namespace kavrinth {

namespace {

// Closes the library when the call is over.
struct LoadedLibrary {
  void* handle = nullptr;
  ~LoadedLibrary() {
    if (handle != nullptr) ::dlclose(handle);
  }
};

// Shows the message, and writes it with the loader's own words into the log.
void LoadFailure(const PostProcessorStep& step, const std::string& message) {
  const char* detail = ::dlerror();
  if (step.log != nullptr) {
    step.log->WriteCause(message);
    if (detail != nullptr) step.log->WriteCause(detail);
  }
  ShowEngineFailure(message);
}

std::vector<std::string> Arguments(const PostProcessorStep& step) {
  std::vector<std::string> arguments = {step.library, step.header_name};
  if (step.keep_temporaries) {
    arguments.emplace_back("-debugx");
  } else if (step.debug) {
    arguments.emplace_back("-debug");
  }
  return arguments;
}

// The entry's result; nothing when the library or its entry could not be loaded.
std::optional<int32_t> CallPostProcessor(const PostProcessorStep& step) {
  // A path with a '/' is opened as it stands, never searched for.
  std::string path = ResolveExistingPath(step.library);
  if (path.find('/') == std::string::npos) path = "./" + path;
  LoadedLibrary library;
  ::dlerror();
  library.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library.handle == nullptr) {
    LoadFailure(step, "Error occurred in loading library '" + step.library + "'.");
    return std::nullopt;
  }
  const auto entry = reinterpret_cast<PostProcessorEntry>(
      ::dlsym(library.handle, std::string(kPostProcessorEntry).c_str()));
  if (entry == nullptr) {
    LoadFailure(step, "Error occurred in loading function in library '" + step.library + "'.");
    return std::nullopt;
  }
  std::vector<std::string> arguments = Arguments(step);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int32_t result =
      entry(static_cast<int32_t>(arguments.size()), argv.data(), 0, ProgressCancelFlagAddress());
  // A post-processor that stopped for the user's Cancel has not failed.
  if (result < 0 && step.log != nullptr) {
    step.log->WriteCause(ProgressCancelFlag() != 0 ? std::string("The translation was cancelled.")
                                                   : "The post processor failed with the result " +
                                                         std::to_string(result) + ".");
  }
  return result;
}

}  // namespace

int RunPostProcessor(const PostProcessorStep& step) {
  if (SetProgressStatus({"", "", "", "", "", "", ""}) != 0) return -1;
  int result = 0;
  if (!step.counting_pass) {
    const std::optional<int32_t> called = CallPostProcessor(step);
    // A post-processor that could not be loaded leaves the streams for a look.
    if (!called) return -1;
    result = *called;
  }
  if (!step.keep_temporaries) {
    for (const std::string* file : {&step.header_stream, &step.translated_stream}) {
      if (!file->empty()) ::unlink(file->c_str());
    }
  }
  return result;
}

}  // namespace kavrinth
