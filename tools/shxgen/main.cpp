// shxgen: makes the programs' vector font from a Hershey font, with the Hershey
// acknowledgement beside it, and writes the SHX fixtures of the font tests.
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/shxgen/fixtures.h"
#include "tools/shxgen/hershey.h"
#include "tools/shxgen/shx_writer.h"

namespace kavrinth::shxgen {
namespace {

constexpr const char* kUsage =
    "usage: shxgen font <hershey.jhf> <copyright> <output.shx>\n"
    "       shxgen fixtures <directory>\n";

// The .jhf files of the Roman fonts hold the printable ASCII characters in order.
constexpr int kFirstCode = 32;
constexpr int kLastCode = 126;

// The paragraph of the package's copyright file that covers the .jhf files.
bool ReadAcknowledgement(const std::string& path, std::string& text) {
  std::ifstream in(path);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!inside && line.rfind("Files:", 0) == 0 && line.find(".jhf") != std::string::npos) {
      inside = true;
    }
    if (inside && line.empty()) break;
    if (inside) text += line + "\n";
  }
  return inside;
}

bool WriteReadme(const std::string& path, const std::string& jhf, const std::string& notice) {
  std::string base = jhf.substr(jhf.find_last_of('/') + 1);
  std::string text =
      "mirelt.shx: the vector font the programs draw text with, made at build time.\n\n"
      "Its glyphs were converted from " +
      base +
      " of the Hershey fonts, as the Debian\n"
      "package hershey-fonts-data ships them. Their terms and acknowledgement, as that\n"
      "package states them:\n\n" +
      notice;
  return WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

int MakeFont(const std::string& jhf, const std::string& copyright, const std::string& out) {
  std::vector<HersheyGlyph> glyphs;
  std::string error;
  if (!ReadHersheyFile(jhf, glyphs, error)) {
    std::fprintf(stderr, "shxgen: %s\n", error.c_str());
    return 1;
  }
  if (glyphs.size() < size_t(kLastCode - kFirstCode + 1)) {
    std::fprintf(stderr, "shxgen: %s: fewer glyphs than the ASCII characters\n", jhf.c_str());
    return 1;
  }
  std::string notice;
  if (!ReadAcknowledgement(copyright, notice)) {
    std::fprintf(stderr, "shxgen: %s: no paragraph for the .jhf files\n", copyright.c_str());
    return 1;
  }
  ShxFontDescription font;
  font.name = "MIRELT";
  font.above = kHersheyAbove;
  font.below = kHersheyBelow;
  for (int code = kFirstCode; code <= kLastCode; ++code) {
    font.shapes.push_back({static_cast<uint16_t>(code),
                           NormalShapeData(HersheyGlyphCommands(glyphs[code - kFirstCode]))});
  }
  if (!WriteFileBytes(out, WriteNormalShx(font)) || !WriteReadme(out + ".README", jhf, notice)) {
    std::fprintf(stderr, "shxgen: %s: cannot be written\n", out.c_str());
    return 1;
  }
  return 0;
}

int MakeFixtures(const std::string& directory) {
  for (const FixtureFile& file : ShxFixtureFiles()) {
    if (!WriteFileBytes(directory + "/" + file.name, file.bytes)) {
      std::fprintf(stderr, "shxgen: %s/%s: cannot be written\n", directory.c_str(),
                   file.name.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace
}  // namespace kavrinth::shxgen

int main(int argc, char** argv) {
  using namespace kavrinth::shxgen;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "font") return MakeFont(args[1], args[2], args[3]);
  if (args.size() == 2 && args[0] == "fixtures") return MakeFixtures(args[1]);
  bool help = args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
  std::fputs(kUsage, help ? stdout : stderr);
  return help ? 0 : 2;
}
