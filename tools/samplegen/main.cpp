// samplegen: writes the mask test pattern of the demo (samples/demo.gds) with fixed dates,
// so that the same program always gives the same bytes.
#include <cstdio>
#include <string_view>

#include "tools/samplegen/test_pattern.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::string_view(argv[1]) == "--help") {
    std::fprintf(argc == 2 ? stdout : stderr, "usage: samplegen <output.gds>\n");
    return argc == 2 ? 0 : 1;
  }
  const kavrinth::GdsClock fixed = [] { return kavrinth::samplegen::kSampleDate; };
  if (kavrinth::samplegen::WriteTestPattern(argv[1], fixed) != kavrinth::kGdsOk) {
    std::fprintf(stderr, "samplegen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
