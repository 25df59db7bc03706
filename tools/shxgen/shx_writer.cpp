// SHX file writer: the header, index and shape data of normal and UNIFONT fonts.
#include "tools/shxgen/shx_writer.h"

#include <algorithm>
#include <cstdio>

namespace kavrinth::shxgen {
namespace {

constexpr std::string_view kNormalHeader = "KAVRINTH shapes 1.0\r\n\x1a";
constexpr std::string_view kUnifontHeader = "KAVRINTH unifont 1.0\r\n\x1a";

void PutWord(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void PutText(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

uint16_t HighestCode(const ShxFontDescription& font) {
  uint16_t highest = 0;
  for (const ShxShape& shape : font.shapes) highest = std::max(highest, shape.code);
  return highest;
}

int8_t Clamp(int value) { return static_cast<int8_t>(std::clamp(value, -127, 127)); }

}  // namespace

std::vector<uint8_t> NormalShapeData(std::initializer_list<int> commands) {
  std::vector<uint8_t> data = {0};
  for (int c : commands) data.push_back(static_cast<uint8_t>(c));
  return data;
}

std::vector<uint8_t> NormalShapeData(const std::vector<uint8_t>& commands) {
  std::vector<uint8_t> data = {0};
  data.insert(data.end(), commands.begin(), commands.end());
  return data;
}

std::vector<uint8_t> UnifontShapeData(std::initializer_list<int> commands) {
  std::vector<uint8_t> data = {'u', 0};
  for (int c : commands) data.push_back(static_cast<uint8_t>(c));
  return data;
}

std::vector<uint8_t> WriteNormalShx(const ShxFontDescription& font) {
  std::vector<uint8_t> out;
  PutText(out, kNormalHeader);
  PutWord(out, 0);
  PutWord(out, HighestCode(font));
  PutWord(out, static_cast<uint32_t>(font.shapes.size() + 1));
  std::vector<uint8_t> shape_zero(font.name.begin(), font.name.end());
  shape_zero.insert(shape_zero.end(), {0, font.above, font.below, 0, 0});
  PutWord(out, 0);
  PutWord(out, static_cast<uint32_t>(shape_zero.size()));
  for (const ShxShape& shape : font.shapes) {
    PutWord(out, shape.code);
    PutWord(out, static_cast<uint32_t>(shape.data.size()));
  }
  out.insert(out.end(), shape_zero.begin(), shape_zero.end());
  for (const ShxShape& shape : font.shapes) {
    out.insert(out.end(), shape.data.begin(), shape.data.end());
  }
  return out;
}

std::vector<uint8_t> WriteUnifontShx(const ShxFontDescription& font) {
  std::vector<uint8_t> out;
  PutText(out, kUnifontHeader);
  PutWord(out, static_cast<uint32_t>(font.shapes.size() + 1));
  PutWord(out, 0);
  PutWord(out, static_cast<uint32_t>(font.name.size() + 1 + 6));
  PutText(out, font.name);
  out.insert(out.end(), {0, font.above, font.below, 0, 0, 0, 0});
  for (const ShxShape& shape : font.shapes) {
    PutWord(out, shape.code);
    PutWord(out, static_cast<uint32_t>(shape.data.size()));
    out.insert(out.end(), shape.data.begin(), shape.data.end());
  }
  return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  // An empty vector may hold no buffer at all, which fwrite must not be given.
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::remove(path.c_str());
  return ok;
}

ShapeCommands& ShapeCommands::PenUp() {
  bytes_.push_back(2);
  return *this;
}

ShapeCommands& ShapeCommands::PenDown() {
  bytes_.push_back(1);
  return *this;
}

ShapeCommands& ShapeCommands::Displacement(int dx, int dy) {
  while (dx != 0 || dy != 0) {
    int8_t sx = Clamp(dx), sy = Clamp(dy);
    bytes_.insert(bytes_.end(), {8, static_cast<uint8_t>(sx), static_cast<uint8_t>(sy)});
    dx -= sx;
    dy -= sy;
  }
  return *this;
}

ShapeCommands& ShapeCommands::DisplacementList(const std::vector<std::pair<int, int>>& steps) {
  bytes_.push_back(9);
  for (auto [dx, dy] : steps) {
    while (dx != 0 || dy != 0) {
      int8_t sx = Clamp(dx), sy = Clamp(dy);
      bytes_.insert(bytes_.end(), {static_cast<uint8_t>(sx), static_cast<uint8_t>(sy)});
      dx -= sx;
      dy -= sy;
    }
  }
  bytes_.insert(bytes_.end(), {0, 0});
  return *this;
}

ShapeCommands& ShapeCommands::End() {
  bytes_.push_back(0);
  return *this;
}

}  // namespace kavrinth::shxgen
