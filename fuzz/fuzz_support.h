// Shared pieces of the fuzz targets: a scratch directory for readers that need a file,
// and a quiet notifier and progress sink so that malformed inputs do not flood the log.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/notifier.h"
#include "support/progress_sink.h"

namespace kavrinth::fuzz {

// Aborts, naming the file and line of the check, when the condition does not hold.
inline void CheckAt(bool condition, const char* file, int line) {
  if (condition) return;
  std::fprintf(stderr, "%s:%d: check failed\n", file, line);
  std::abort();
}
#define FUZZ_CHECK(condition) ::kavrinth::fuzz::CheckAt((condition), __FILE__, __LINE__)

// Takes the default answer and shows nothing; keeps no history, so a long run does not
// grow.
class QuietNotifier : public Notifier {
 public:
  int Show(const Message& message) override { return DefaultAnswer(message.buttons); }
};

// Installs the quiet notifier and a null progress sink for the life of the process.
inline void BeQuiet() {
  static QuietNotifier notifier;
  static NullProgressSink sink;
  static const bool installed = [] {
    SetNotifier(&notifier);
    SetProgressSink(&sink);
    return true;
  }();
  (void)installed;
}

// A directory of this process, made once and removed when the process ends normally:
// under $KAVRINTH_FUZZ_SCRATCH when set (tools/fuzz.sh gives one per run and removes it,
// also after a crash), else in memory under /dev/shm when there is one, as some targets
// write files on every input, else under /tmp.
class ScratchDirectory {
 public:
  static ScratchDirectory& Get() {
    static ScratchDirectory directory;
    return directory;
  }
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

  // Writes the bytes as the named file of the directory; its path.
  std::string Write(std::string_view name, const uint8_t* data, size_t size) const {
    const std::string file = File(name);
    std::FILE* stream = std::fopen(file.c_str(), "wb");
    if (stream == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, stream) != size) std::abort();
    if (std::fclose(stream) != 0) std::abort();
    return file;
  }
  std::string Write(std::string_view name, std::string_view text) const {
    return Write(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }

 private:
  ScratchDirectory() {
    std::string parent = "/tmp";
    struct stat status {};
    if (const char* given = std::getenv("KAVRINTH_FUZZ_SCRATCH"); given != nullptr && *given) {
      parent = given;
    } else if (::stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) &&
               ::access("/dev/shm", W_OK) == 0) {
      parent = "/dev/shm";
    }
    std::string pattern = parent + "/kavrinth-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  std::string path_;
};

}  // namespace kavrinth::fuzz
