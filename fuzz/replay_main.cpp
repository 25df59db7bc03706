// Replays inputs through one fuzz target's entry point without libFuzzer, so that the seed
// corpus and the saved findings run as ordinary tests in every build (plain g++, with or
// without the sanitizers):
//
//   <target>_replay <file or directory>...
//
// A directory stands for every regular file in it, in name order; a missing directory is
// skipped (a target may have no saved findings yet). Each input is named before it runs, so
// a crash (an abort of the target's own checks, or a sanitizer's report) shows which one.
// Exits 0 when every input ran, 1 when no input was found or a file could not be read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// The files an argument stands for.
std::vector<fs::path> InputsOf(const fs::path& argument) {
  std::error_code error;
  if (!fs::is_directory(argument, error)) return {argument};
  std::vector<fs::path> files;
  for (fs::directory_iterator it(argument, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (!fs::exists(argv[i], error)) {
      std::printf("no inputs at %s\n", argv[i]);
      continue;
    }
    for (fs::path& file : InputsOf(argv[i])) inputs.push_back(std::move(file));
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  for (const fs::path& file : inputs) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::printf("replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
    std::fflush(stdout);
    // A block of exactly the input's size (never null, as libFuzzer's), so that the
    // sanitizers catch a read past its end.
    const auto data = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), data.get());
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return 0;
}
