// Version resources read from the stamp that every program and library carries.
#include "support/version.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string_view>

#ifndef KAVRINTH_BUILD_VERSION
#error "KAVRINTH_BUILD_VERSION is set by the build (support/CMakeLists.txt)"
#endif

namespace kavrinth {
namespace {

// The stamp's key, assembled so that this file's own text of it is not a stamp: a key
// found in a file counts only when four numbers follow it.
constexpr std::array<char, 17> kKey = {'K', 'A', 'V', 'R', 'I', 'N', 'T', 'H', '_',
                                       'V', 'E', 'R', 'S', 'I', 'O', 'N', '='};
constexpr size_t kMaxStamp = 64;

// The four numbers of a stamp's value ("1.2.3.4"), or false.
bool ParseStamp(std::string_view text, std::array<uint32_t, 4>* numbers, size_t* length) {
  size_t at = 0;
  for (size_t i = 0; i < numbers->size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != '.') return false;
      ++at;
    }
    const auto [end, error] =
        std::from_chars(text.data() + at, text.data() + text.size(), (*numbers)[i]);
    if (error != std::errc() || (*numbers)[i] > 0xFFFF) return false;
    at = end - text.data();
  }
  *length = at;
  return true;
}

}  // namespace

int GetFileVersion(const std::string& file, FileVersion* version, std::vector<uint8_t>* block) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return 0;
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string_view key(kKey.data(), kKey.size());
  for (size_t at = bytes.find(key); at != std::string::npos; at = bytes.find(key, at + 1)) {
    const size_t value = at + key.size();
    std::array<uint32_t, 4> numbers{};
    size_t length = 0;
    const std::string_view text(bytes.data() + value, std::min(kMaxStamp, bytes.size() - value));
    if (!ParseStamp(text, &numbers, &length)) continue;
    version->most = numbers[0] << 16 | numbers[1];
    version->least = numbers[2] << 16 | numbers[3];
    if (block != nullptr) block->assign(bytes.begin() + at, bytes.begin() + value + length);
    return 1;
  }
  return 0;
}

int GetModuleVersion(const void* address, FileVersion* version, std::vector<uint8_t>* block) {
  if (address == nullptr) return GetFileVersion("/proc/self/exe", version, block);
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return 0;
  // The running program's own entry may come back as its bare name.
  const std::string file = std::string_view(info.dli_fname).find('/') == std::string_view::npos
                               ? std::string("/proc/self/exe")
                               : std::string(info.dli_fname);
  return GetFileVersion(file, version, block);
}

std::string VersionText(const FileVersion& version) {
  return std::to_string(version.most >> 16) + "." + std::to_string(version.most & 0xFFFF) + "." +
         std::to_string(version.least >> 16);
}

std::string ProgramVersionText() {
  // The build gives the support library the project's version; every program of the suite
  // carries that same version, so nothing needs to be read from the program's file.
  return KAVRINTH_BUILD_VERSION;
}

}  // namespace kavrinth
