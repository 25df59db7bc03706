// SHX vector fonts: loading a normal or UNIFONT shape file into a table of 16-bit words
// in which the octant and fractional arcs are already bulge arcs.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// Word table encoding: commands are stored negated, operands follow as plain values;
// words 16..255 are vectors (length in the high nibble, direction in the low one).
enum ShxWord : int16_t {
  kShxEndOfShape = 0,
  kShxPenDown = -1,
  kShxPenUp = -2,
  kShxDivideScale = -3,    // divisor
  kShxMultiplyScale = -4,  // factor
  kShxPushPosition = -5,
  kShxPopPosition = -6,
  kShxCallCharacter = -7,     // character code
  kShxDisplacement = -8,      // dx, dy
  kShxDisplacementList = -9,  // count n, then n pairs dx, dy
  kShxBulgeArc = -12,         // dx, dy, bulge (-127..127)
  kShxBulgeArcList = -13,     // count n, then n triples dx, dy, bulge
};

// Results of LoadShxFont.
enum ShxLoadResult : int {
  kShxLoaded = 0,
  kShxMalformed = 1,  // malformed, ends early, or the word table is full
  kShxNoMemory = 2,   // the tables cannot be allocated
  kShxCannotOpen = 3,
};

inline constexpr int kShxCharacterCodes = 256;
// The word table is first sized for this many words, halved while allocation fails
// and the size stays above kShxWordTableMinimum.
inline constexpr int32_t kShxWordTableWords = 262144;
inline constexpr int32_t kShxWordTableMinimum = 32768;
// Header text characters kept, and index entries read besides shape 0.
inline constexpr size_t kShxHeaderTextLimit = 255;
inline constexpr int kShxIndexEntryLimit = 256;
// The byte that ends the header text.
inline constexpr int kShxHeaderEnd = 26;

struct ShxFont {
  uint16_t font_type = 0;      // a loaded font always has 0
  uint16_t highest_value = 0;  // UNIFONT: the highest character code kept
  uint16_t character_count = 0;
  int16_t height_above = 0;  // the font's byte values times 10
  int16_t height_below = 0;
  bool unifont = false;
  std::string header_text;  // up to kShxHeaderTextLimit characters
  // Per character code: the position of its first word, or -1. Empty when absent.
  std::vector<int32_t> index;
  std::vector<int16_t> words;
};

// A font file being read, with the offset reached.
class ShxReader {
 public:
  explicit ShxReader(std::FILE* file) : file_(file) {}
  // A 16-bit little-endian word; 1 at the end of the file.
  int ReadShxWord(uint16_t& value);
  // One byte as a signed value -128..127; 1 at the end of the file.
  int ReadShxByte(int& value);
  // Exactly count bytes; 1 (with what could be read) at the end of the file.
  int ReadBytes(size_t count, std::vector<uint8_t>& bytes);
  // 1 when the next byte is the end of the file (nothing consumed).
  bool AtEnd();
  int64_t offset() const { return offset_; }

 private:
  std::FILE* file_;
  int64_t offset_ = 0;
};

// Loads the font at path (opened as it exists, any case of its name). Returns a
// ShxLoadResult; error_position is the file offset where reading stopped when the file
// is malformed (the font is then freed), 0 when it cannot be opened, -1 on success.
int LoadShxFont(std::string_view path, ShxFont& font, int64_t& error_position);

// The parser behind LoadShxFont; with dump set it prints the header and every
// character's commands to standard output. Returns a ShxLoadResult; error_position is
// the file offset where reading stopped (-1 on success). On failure the font is left
// for the caller to free.
int ParseShxFont(ShxReader& reader, ShxFont& font, bool dump, int64_t& error_position);

// Frees both tables; safe on a font that holds none.
void FreeShxFont(ShxFont& font);

// Fills the table of the 16 vector directions' angles (idempotent).
void InitShxDirections();
// The angle (radians) of vector direction 0..15, counter-clockwise from +x.
double ShxDirectionAngle(int direction);

// The character codes that receive the shapes of 176 (degree), 177 (plus-minus) and
// 248 (diameter) of a UNIFONT file: the codes normal fonts keep those signs under.
inline constexpr std::array<std::array<int, 2>, 3> kUnifontSymbolCopies = {
    {{176, 127}, {177, 128}, {248, 129}}};

}  // namespace kavrinth
