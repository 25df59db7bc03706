// Writing SHX shape font files, normal and UNIFONT, from shapes given as command bytes:
// used by the font generator and by the font tests for their own fixtures.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth::shxgen {

// One shape: its character code and its data bytes exactly as they go into the file
// (the name, then the commands).
struct ShxShape {
  uint16_t code = 0;
  std::vector<uint8_t> data;
};

// Data of a normal font's shape: an empty name, then the commands.
std::vector<uint8_t> NormalShapeData(std::initializer_list<int> commands);
std::vector<uint8_t> NormalShapeData(const std::vector<uint8_t>& commands);
// Data of a UNIFONT shape: a one-letter name, then the commands.
std::vector<uint8_t> UnifontShapeData(std::initializer_list<int> commands);

struct ShxFontDescription {
  std::string name = "KAVRINTH";
  uint8_t above = 21;  // heights above and below the baseline, in font units
  uint8_t below = 7;
  std::vector<ShxShape> shapes;
};

// A normal shape font: header text, type 0, the highest code, the shape count (shape 0
// included), the index, shape 0 (name and heights), then the shapes' data in order.
std::vector<uint8_t> WriteNormalShx(const ShxFontDescription& font);

// A UNIFONT file: header text, the shape count, type 0, the length of the font
// information (name and heights), then each shape with its code and length.
std::vector<uint8_t> WriteUnifontShx(const ShxFontDescription& font);

// Writes bytes to path; false when the file cannot be written completely.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Shape command bytes, built step by step.
class ShapeCommands {
 public:
  ShapeCommands& PenUp();
  ShapeCommands& PenDown();
  // Moves by (dx, dy) in steps that fit the signed byte operands; nothing for (0, 0).
  ShapeCommands& Displacement(int dx, int dy);
  // One displacement list: each non-zero step as pairs that fit signed bytes.
  ShapeCommands& DisplacementList(const std::vector<std::pair<int, int>>& steps);
  ShapeCommands& End();
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace kavrinth::shxgen
