// Hershey .jhf reader and glyph-to-shape conversion.
#include "tools/shxgen/hershey.h"

#include <cstdint>
#include <fstream>
#include <sstream>

#include "tools/shxgen/shx_writer.h"

namespace kavrinth::shxgen {
namespace {

constexpr size_t kNumberColumns = 5;
constexpr size_t kCountColumns = 3;
constexpr size_t kHeadColumns = kNumberColumns + kCountColumns;

bool ParseField(std::string_view field, int& value) {
  std::string text(field);
  std::istringstream in(text);
  in >> value;
  return !in.fail();
}

// Splits the text into lines without their CR or LF.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

HersheyGlyph DecodeVertices(int number, std::string_view vertices) {
  HersheyGlyph glyph;
  glyph.number = number;
  glyph.left = vertices[0] - 'R';
  glyph.right = vertices[1] - 'R';
  HersheyStroke stroke;
  for (size_t i = 2; i + 1 < vertices.size(); i += 2) {
    if (vertices[i] == ' ' && vertices[i + 1] == 'R') {
      if (!stroke.empty()) glyph.strokes.push_back(stroke);
      stroke.clear();
      continue;
    }
    stroke.push_back({vertices[i] - 'R', vertices[i + 1] - 'R'});
  }
  if (!stroke.empty()) glyph.strokes.push_back(stroke);
  return glyph;
}

}  // namespace

bool ParseHersheyText(std::string_view text, std::vector<HersheyGlyph>& glyphs,
                      std::string& error) {
  std::vector<std::string_view> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find_first_not_of(' ') == std::string_view::npos) continue;
    int number = 0, count = 0;
    if (lines[i].size() < kHeadColumns || !ParseField(lines[i].substr(0, kNumberColumns), number) ||
        !ParseField(lines[i].substr(kNumberColumns, kCountColumns), count) || count < 1) {
      error = "line " + std::to_string(i + 1) + ": not a glyph";
      return false;
    }
    std::string vertices(lines[i].substr(kHeadColumns));
    while (vertices.size() < 2 * size_t(count) && i + 1 < lines.size()) {
      vertices += lines[++i];
    }
    if (vertices.size() < 2 * size_t(count)) {
      error = "glyph " + std::to_string(number) + ": fewer vertices than its count";
      return false;
    }
    glyphs.push_back(DecodeVertices(number, std::string_view(vertices).substr(0, 2 * count)));
  }
  return true;
}

bool ReadHersheyFile(const std::string& path, std::vector<HersheyGlyph>& glyphs,
                     std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be opened";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!ParseHersheyText(text.str(), glyphs, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::vector<uint8_t> HersheyGlyphCommands(const HersheyGlyph& glyph) {
  ShapeCommands commands;
  commands.PenUp();
  int x = 0, y = 0;  // pen position in SHX units from the cell's left edge on the baseline
  for (const HersheyStroke& stroke : glyph.strokes) {
    auto to_shx = [&](std::pair<int, int> p) {
      return std::pair<int, int>{p.first - glyph.left, kHersheyBaseline - p.second};
    };
    auto [sx, sy] = to_shx(stroke.front());
    commands.Displacement(sx - x, sy - y).PenDown();
    std::vector<std::pair<int, int>> steps;
    x = sx;
    y = sy;
    for (size_t i = 1; i < stroke.size(); ++i) {
      auto [px, py] = to_shx(stroke[i]);
      steps.push_back({px - x, py - y});
      x = px;
      y = py;
    }
    commands.DisplacementList(steps).PenUp();
  }
  commands.Displacement(glyph.right - glyph.left - x, -y).End();
  return commands.bytes();
}

}  // namespace kavrinth::shxgen
