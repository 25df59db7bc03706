// SHX text stroking: interpreting a loaded font's word table into integer polylines,
// and measuring characters and texts.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kavrinth {

// Markers in the stroke output, beside x, y pairs.
inline constexpr int32_t kShxPolylineEnd = static_cast<int32_t>(0xF8000001u);
inline constexpr int32_t kShxPenDownAgain = 0x7FFFFFF;  // after a point; the polyline goes on
inline constexpr int32_t kShxTextEnd = 0x7FFFFFE;

// Results of StrokeShxText.
enum ShxStrokeResult : int {
  kShxStrokeDone = 0,
  kShxStrokeFault = 1,  // a bad code, a nesting or stack fault (after a message on stdout)
  kShxStrokeFull = 2,   // the output is full; it holds what fitted
};

// Depth of the call stack and of the position stack.
inline constexpr int kShxStrokeStackDepth = 20;
// Words read for one character of the text, its calls included.
inline constexpr int kShxCharacterWordLimit = 2049;
// Capacity each character is measured against.
inline constexpr int32_t kShxMeasureCapacity = 16384;

// Strokes text with the font's word and index tables. Points are font units times 10,
// rounded half away from zero; each character starts where the previous one ended.
// output may be null, in which case the text is only measured; otherwise it holds
// capacity values. Either way the values are counted against capacity. largest_x and
// largest_y receive the largest position reached (0 for an empty text).
int StrokeShxText(std::string_view text, std::span<const int16_t> words,
                  std::span<const int32_t> index, int32_t* output, int32_t capacity,
                  int32_t& largest_x, int32_t& largest_y);

// One character's advance and height; -1, -1 for an undefined character.
struct ShxCharMetrics {
  int32_t advance = -1;
  int32_t height = -1;
};

// Fills metrics with highest + 1 entries: entry 0 keeps value and highest; each
// defined character 1..highest is stroked alone, its largest x becoming its advance
// and its largest y its height.
void MeasureShxCharacters(std::span<const int16_t> words, std::span<const int32_t> index,
                          int32_t value, int32_t highest, std::vector<ShxCharMetrics>& metrics);

// The sum of the advances of the text's defined characters.
int32_t ShxTextWidth(std::string_view text, const std::vector<ShxCharMetrics>& metrics);
// The largest height among the text's defined characters (0 when there is none).
int32_t ShxTextHeight(std::string_view text, const std::vector<ShxCharMetrics>& metrics);

}  // namespace kavrinth
