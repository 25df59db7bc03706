// Version resources: the version the build gives every program and library, read from a
// file or from the running module's own file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrinth {

// A product version as two 32-bit words: major << 16 | minor, patch << 16 | build.
struct FileVersion {
  uint32_t most = 0;
  uint32_t least = 0;
};

// Reads the file's version stamp and gives its product version with result 1; 0 when the
// file has none or cannot be read. When `block` is given it receives the stamp's text
// ("KAVRINTH_VERSION=" and the four numbers), the version resource of the file.
int GetFileVersion(const std::string& file, FileVersion* version,
                   std::vector<uint8_t>* block = nullptr);

// GetFileVersion of the file of the module that holds `address` (a function or object of
// that program or library); null stands for the running program.
int GetModuleVersion(const void* address, FileVersion* version,
                     std::vector<uint8_t>* block = nullptr);

// "major.minor.patch" of a version, for About boxes and usage texts.
std::string VersionText(const FileVersion& version);

// The running program's version, "major.minor.patch", as the build set it (the project's
// version in CMake), for About boxes: nothing is read from any file.
std::string ProgramVersionText();

}  // namespace kavrinth
