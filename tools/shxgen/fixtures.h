// The small SHX fonts the font tests load: arcs, bulges, the position stack, character
// calls and their nesting limits, and a UNIFONT file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrinth::shxgen {

struct FixtureFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Every fixture file with its contents; each shape is described where it is made.
std::vector<FixtureFile> ShxFixtureFiles();

}  // namespace kavrinth::shxgen
