// SHX font loading: the header and index of a normal or UNIFONT file, and the
// translation of each character's shape bytes into the word table.
#include "fonts/shx_font.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "platform/files.h"
#include "support/numeric_guards.h"

namespace kavrinth {
namespace {

// The 16 vector directions, one unit steps on the 2-by-2 square.
// clang-format off
constexpr std::array<std::array<double, 2>, 16> kDirectionVectors = {{
    {1, 0},   {1, 0.5},   {1, 1},   {0.5, 1},   {0, 1},  {-0.5, 1},  {-1, 1},  {-1, 0.5},
    {-1, 0},  {-1, -0.5}, {-1, -1}, {-0.5, -1}, {0, -1}, {0.5, -1},  {1, -1},  {1, -0.5}}};
// clang-format on

const std::array<double, 16>& DirectionAngles() {
  static const std::array<double, 16> angles = [] {
    std::array<double, 16> result{};
    for (size_t d = 0; d < kDirectionVectors.size(); ++d) {
      SafeAtan2(kDirectionVectors[d][1], kDirectionVectors[d][0], &result[d]);
    }
    return result;
  }();
  return angles;
}

constexpr double kDegree = 3.141592653589793 / 180;
constexpr int kShapeBytesCodeLimit = 15;  // bytes 16..255 are vectors

int32_t RoundHalfAway(double value) { return static_cast<int32_t>(std::llround(value)); }

// A bulge arc piece as the word table stores it.
struct BulgePiece {
  int32_t dx = 0;
  int32_t dy = 0;
  int32_t bulge = 0;
};

// The arc of the given radius from start over sweep (degrees, negative clockwise) as
// the given number of equal bulge pieces.
std::vector<BulgePiece> ArcPieces(double radius, double start, double sweep, int pieces) {
  std::vector<BulgePiece> result;
  double step = sweep / pieces;
  int direction = sweep < 0 ? -1 : 1;
  int32_t bulge = RoundHalfAway(127 * std::tan(std::fabs(step) * kDegree / 4)) * direction;
  for (int i = 0; i < pieces; ++i) {
    double a = (start + i * step) * kDegree;
    double e = (start + (i + 1) * step) * kDegree;
    result.push_back({RoundHalfAway(radius * (std::cos(e) - std::cos(a))),
                      RoundHalfAway(radius * (std::sin(e) - std::sin(a))), bulge});
  }
  return result;
}

struct OctantByte {
  int start = 0;      // octant 0..7
  int count = 0;      // 1..8
  int direction = 1;  // 1 counter-clockwise, -1 clockwise
};

OctantByte DecodeOctantByte(int byte) {
  OctantByte o;
  o.start = (byte >> 4) & 7;
  o.count = byte & 7;
  if (o.count == 0) o.count = 8;
  o.direction = (byte & 0x80) ? -1 : 1;
  return o;
}

std::vector<BulgePiece> OctantArc(int radius, int octant_byte) {
  OctantByte o = DecodeOctantByte(octant_byte);
  return ArcPieces(radius, o.start * 45.0, o.direction * o.count * 45.0, o.count <= 4 ? 1 : 2);
}

std::vector<BulgePiece> FractionalArc(int start_offset, int end_offset, int radius,
                                      int octant_byte) {
  OctantByte o = DecodeOctantByte(octant_byte);
  int span = end_offset != 0 ? o.count - 1 : o.count;
  int end_octant = ((o.start + o.direction * span) % 8 + 8) % 8;
  double start = o.start * 45.0 + o.direction * start_offset * 45.0 / 256;
  double end = end_octant * 45.0 + o.direction * end_offset * 45.0 / 256;
  if (o.direction < 0 && end > start) end -= 360;
  if (o.direction > 0 && end < start) end += 360;
  double sweep = end - start;
  return ArcPieces(radius, start, sweep, std::fabs(sweep) > 180 ? 2 : 1);
}

// Prints the dump when asked to; otherwise does nothing.
class Dump {
 public:
  explicit Dump(bool on) : on_(on) {}
  template <typename... Args>
  void operator()(const char* format, Args... args) const {
    if (on_) std::printf(format, args...);
  }
  bool on() const { return on_; }

 private:
  bool on_;
};

// Translates one character's shape bytes into words.
class ShapeTranslator {
 public:
  ShapeTranslator(const std::vector<uint8_t>& bytes, size_t start, int64_t file_offset,
                  std::vector<int16_t>& words, size_t capacity, const Dump& dump)
      : bytes_(bytes),
        pos_(start),
        file_offset_(file_offset),
        words_(words),
        capacity_(capacity),
        dump_(dump) {}

  // 0, or kShxMalformed with error_offset() set.
  int Run() {
    while (pos_ < bytes_.size()) {
      if (Command(true) != 0) return kShxMalformed;
    }
    // A shape whose bytes end without the end code still ends, so that stroking
    // never runs on into the next character's words.
    if (!ended_ && Put({kShxEndOfShape}) != 0) return kShxMalformed;
    return 0;
  }
  int64_t error_offset() const { return file_offset_ + static_cast<int64_t>(pos_); }

 private:
  bool Unsigned(int& value) {
    if (pos_ >= bytes_.size()) return false;
    value = bytes_[pos_++];
    return true;
  }
  bool Signed(int& value) {
    if (!Unsigned(value)) return false;
    if (value > 127) value -= 256;
    return true;
  }
  int Put(std::initializer_list<int32_t> values) {
    if (words_.size() + values.size() > capacity_) return kShxMalformed;
    for (int32_t v : values) {
      if (v < INT16_MIN || v > INT16_MAX) return kShxMalformed;
    }
    for (int32_t v : values) words_.push_back(static_cast<int16_t>(v));
    ended_ = values.size() == 1 && *values.begin() == kShxEndOfShape;
    return 0;
  }
  int PutIf(bool store, std::initializer_list<int32_t> values) { return store ? Put(values) : 0; }
  int PutArc(bool store, const std::vector<BulgePiece>& pieces) {
    for (const BulgePiece& p : pieces) {
      if (PutIf(store, {kShxBulgeArc, p.dx, p.dy, p.bulge}) != 0) return kShxMalformed;
    }
    return 0;
  }

  int Command(bool store);
  int ScaleOrCall(int code, bool store);
  int DisplacementList(bool store);
  int BulgeList(bool store);
  int Arc(int code, bool store);

  const std::vector<uint8_t>& bytes_;
  size_t pos_;
  int64_t file_offset_;
  std::vector<int16_t>& words_;
  size_t capacity_;
  const Dump& dump_;
  bool ended_ = false;
};

int ShapeTranslator::Command(bool store) {
  size_t at = pos_;
  int code = 0;
  Unsigned(code);
  if (code > kShapeBytesCodeLimit) {
    dump_(" VECT 0x%x", code);
    return PutIf(store, {code});
  }
  static constexpr const char* kSimpleText[] = {" END\n", " PD\n",   " PU\n", "",
                                                "",       " Push\n", " Pop\n"};
  switch (code) {
    case 0:
    case 1:
    case 2:
    case 5:
    case 6:
      dump_("%s", kSimpleText[code]);
      return PutIf(store, {-code});
    case 3:
    case 4:
    case 7:
      return ScaleOrCall(code, store);
    case 8: {
      int dx = 0, dy = 0;
      if (!Signed(dx) || !Signed(dy)) return kShxMalformed;
      dump_(" XY %d,%d", dx, dy);
      return PutIf(store, {kShxDisplacement, dx, dy});
    }
    case 9:
      return DisplacementList(store);
    case 10:
    case 11:
      return Arc(code, store);
    case 12: {
      int dx = 0, dy = 0, bulge = 0;
      if (!Signed(dx) || !Signed(dy) || !Signed(bulge)) return kShxMalformed;
      dump_(" DXY %d,%d <%d", dx, dy, bulge);
      return PutIf(store, {kShxBulgeArc, dx, dy, bulge});
    }
    case 13:
      return BulgeList(store);
    case 14:
      // The next command applies to vertical text only, which these fonts do not draw.
      dump_(" Vertical ");
      return pos_ < bytes_.size() ? Command(false) : 0;
    default:
      dump_("\n\n Misalignment \n\n");
      pos_ = at;
      return kShxMalformed;
  }
}

int ShapeTranslator::ScaleOrCall(int code, bool store) {
  int operand = 0;
  if (!Unsigned(operand)) return kShxMalformed;
  static constexpr const char* kText[] = {"", "", "",          " Scale / %d\n", " Scale * %d\n",
                                          "", "", " Call %d\n"};
  dump_(kText[code], operand);
  // A factor of 0 and a call of character 0 mean nothing; they are left out.
  if (operand == 0) return 0;
  return PutIf(store, {-code, operand});
}

int ShapeTranslator::DisplacementList(bool store) {
  std::vector<int32_t> pairs;
  dump_(" XY-> ");
  for (;;) {
    int dx = 0, dy = 0;
    if (!Signed(dx) || !Signed(dy)) return kShxMalformed;
    if (dx == 0 && dy == 0) break;
    dump_(" %d,%d", dx, dy);
    pairs.insert(pairs.end(), {dx, dy});
  }
  if (PutIf(store, {kShxDisplacementList, static_cast<int32_t>(pairs.size() / 2)}) != 0) {
    return kShxMalformed;
  }
  for (size_t i = 0; i < pairs.size(); i += 2) {
    if (PutIf(store, {pairs[i], pairs[i + 1]}) != 0) return kShxMalformed;
  }
  return 0;
}

int ShapeTranslator::BulgeList(bool store) {
  std::vector<int32_t> triples;
  dump_(" DXY-> ");
  for (;;) {
    int dx = 0, dy = 0, bulge = 0;
    if (!Signed(dx) || !Signed(dy)) return kShxMalformed;
    if (dx == 0 && dy == 0) break;
    if (!Signed(bulge)) return kShxMalformed;
    dump_(" %d,%d <%d", dx, dy, bulge);
    triples.insert(triples.end(), {dx, dy, bulge});
  }
  if (PutIf(store, {kShxBulgeArcList, static_cast<int32_t>(triples.size() / 3)}) != 0) {
    return kShxMalformed;
  }
  for (size_t i = 0; i < triples.size(); i += 3) {
    if (PutIf(store, {triples[i], triples[i + 1], triples[i + 2]}) != 0) return kShxMalformed;
  }
  return 0;
}

int ShapeTranslator::Arc(int code, bool store) {
  if (code == 10) {
    int radius = 0, octant = 0;
    if (!Unsigned(radius) || !Unsigned(octant)) return kShxMalformed;
    dump_(" OARC %d,%d", radius, octant > 127 ? octant - 256 : octant);
    return PutArc(store, OctantArc(radius, octant));
  }
  int start_offset = 0, end_offset = 0, high = 0, low = 0, octant = 0;
  if (!Unsigned(start_offset) || !Unsigned(end_offset) || !Unsigned(high) || !Unsigned(low) ||
      !Unsigned(octant)) {
    return kShxMalformed;
  }
  int radius = high * 256 + low;
  dump_(" FARC %d %d R %d OSC %d", start_offset, end_offset, radius,
        octant > 127 ? octant - 256 : octant);
  return PutArc(store, FractionalArc(start_offset, end_offset, radius, octant));
}

// Reads a whole font file into a ShxFont.
class ShxParser {
 public:
  ShxParser(ShxReader& reader, ShxFont& font, bool dump)
      : reader_(reader), font_(font), dump_(dump) {}

  int Parse(int64_t& error_position) {
    int result = ParseAll();
    error_position = result == kShxLoaded ? -1 : error_offset_;
    return result;
  }

 private:
  int ParseAll();
  int Allocate();
  int ReadHeaderText();
  int ParseNormal();
  int ParseUnifont();
  int ReadShapeZero(uint16_t length);
  int ReadHeights(int skipped);
  int TakeCharacter(int entry, int code, const std::vector<uint8_t>& bytes, int64_t offset);
  void CopyUnifontSymbols();

  int Fail(int result = kShxMalformed) {
    if (error_offset_ < 0) error_offset_ = reader_.offset();
    return result;
  }
  int Word(uint16_t& value) { return reader_.ReadShxWord(value) != 0 ? Fail() : 0; }
  int Byte(int& value) { return reader_.ReadShxByte(value) != 0 ? Fail() : 0; }
  int Skip(size_t count) {
    std::vector<uint8_t> ignored;
    return reader_.ReadBytes(count, ignored) != 0 ? Fail() : 0;
  }

  ShxReader& reader_;
  ShxFont& font_;
  Dump dump_;
  size_t capacity_ = 0;
  int64_t error_offset_ = -1;
};

int ShxParser::ParseAll() {
  if (int result = Allocate(); result != 0) return Fail(result);
  if (ReadHeaderText() != 0) return kShxMalformed;
  int result = font_.unifont ? ParseUnifont() : ParseNormal();
  if (result != 0) return result;
  font_.words.shrink_to_fit();
  return kShxLoaded;
}

int ShxParser::Allocate() {
  try {
    font_.index.assign(kShxCharacterCodes, -1);
  } catch (const std::bad_alloc&) {
    return kShxNoMemory;
  }
  for (int32_t words = kShxWordTableWords;; words /= 2) {
    try {
      font_.words.clear();
      font_.words.reserve(words);
      capacity_ = words;
      return 0;
    } catch (const std::bad_alloc&) {
      if (words / 2 <= kShxWordTableMinimum) return kShxNoMemory;
    }
  }
}

int ShxParser::ReadHeaderText() {
  font_.header_text.clear();
  for (;;) {
    int byte = 0;
    if (Byte(byte) != 0) return kShxMalformed;
    if (byte == kShxHeaderEnd) break;
    if (font_.header_text.size() < kShxHeaderTextLimit) {
      font_.header_text.push_back(static_cast<char>(byte));
      dump_("%c", byte);
    }
  }
  const std::string& text = font_.header_text;
  font_.unifont =
      text.find("UNIFONT") != std::string::npos || text.find("unifont") != std::string::npos;
  return 0;
}

int ShxParser::ParseNormal() {
  uint16_t type = 0, highest = 0, count = 0;
  if (Word(type) != 0 || Word(highest) != 0 || Word(count) != 0) return kShxMalformed;
  dump_("\n\n %d type ", type);
  dump_("\n\n %d highest value ", highest);
  dump_("\n\n %d number ", count);
  if (type != 0) return Fail();
  font_.font_type = type;
  font_.highest_value = highest;
  font_.character_count = count;

  uint16_t zero_code = 0, zero_length = 0;
  if (Word(zero_code) != 0 || Word(zero_length) != 0) return kShxMalformed;
  int further = std::min(std::max(count - 1, 0), kShxIndexEntryLimit);
  std::vector<std::array<uint16_t, 2>> entries(further);
  for (auto& entry : entries) {
    if (Word(entry[0]) != 0 || Word(entry[1]) != 0) return kShxMalformed;
  }
  if (count - 1 > further && Skip(size_t(count - 1 - further) * 4) != 0) return kShxMalformed;
  dump_("\n\n Table of Contents\n 0 value %4d length\n", zero_length);
  for (const auto& entry : entries) dump_(" %4d value %4d length\n", entry[0], entry[1]);

  if (ReadShapeZero(zero_length) != 0) return kShxMalformed;
  for (size_t i = 0; i < entries.size(); ++i) {
    int code = entries[i][0];
    if (code > 255) code = code % 128 + 127;
    int64_t offset = reader_.offset();
    std::vector<uint8_t> bytes;
    if (reader_.ReadBytes(entries[i][1], bytes) != 0) return Fail();
    if (TakeCharacter(static_cast<int>(i + 1), code, bytes, offset) != 0) return kShxMalformed;
  }
  return 0;
}

int ShxParser::ReadShapeZero(uint16_t length) {
  int64_t start = reader_.offset();
  for (int byte = 1; byte != 0;) {
    if (Byte(byte) != 0) return kShxMalformed;
  }
  if (ReadHeights(2) != 0) return kShxMalformed;
  int64_t used = reader_.offset() - start;
  return used < length ? Skip(static_cast<size_t>(length - used)) : 0;
}

// The heights above and below the baseline, then the bytes that follow them.
int ShxParser::ReadHeights(int skipped) {
  int above = 0, below = 0;
  if (Byte(above) != 0 || Byte(below) != 0) return kShxMalformed;
  font_.height_above = static_cast<int16_t>((above & 0xFF) * 10);
  font_.height_below = static_cast<int16_t>((below & 0xFF) * 10);
  dump_(" Font sizes = %d, %d", font_.height_above, font_.height_below);
  for (int i = 0; i < skipped; ++i) {
    int byte = 0;
    if (Byte(byte) != 0) return kShxMalformed;
    dump_(", %d", byte);
  }
  return 0;
}

int ShxParser::ParseUnifont() {
  uint16_t count = 0, type = 0, info_length = 0;
  if (Word(count) != 0 || Word(type) != 0 || Word(info_length) != 0) return kShxMalformed;
  dump_("\n\n %d type ", type);
  dump_("\n\n UNICODE %d number ", kShxCharacterCodes);
  if (type != 0 || info_length < 6) return Fail();
  font_.font_type = type;
  font_.character_count = count;
  if (Skip(info_length - 6) != 0 || ReadHeights(4) != 0) return kShxMalformed;

  // The entries follow one by one; the file may end before the count says.
  for (int entry = 1; entry < count && !reader_.AtEnd(); ++entry) {
    uint16_t code = 0, length = 0;
    if (Word(code) != 0 || Word(length) != 0) return kShxMalformed;
    int64_t offset = reader_.offset();
    std::vector<uint8_t> bytes;
    if (reader_.ReadBytes(length, bytes) != 0) return Fail();
    if (code < 32 || code > 255) continue;
    if (TakeCharacter(entry, code, bytes, offset) != 0) return kShxMalformed;
  }
  CopyUnifontSymbols();
  for (int code = kShxCharacterCodes - 1; code > 0; --code) {
    if (font_.index[code] >= 0) {
      font_.highest_value = static_cast<uint16_t>(code);
      break;
    }
  }
  return 0;
}

void ShxParser::CopyUnifontSymbols() {
  for (const auto& [from, to] : kUnifontSymbolCopies) {
    if (font_.index[from] >= 0 && font_.index[to] < 0) font_.index[to] = font_.index[from];
  }
}

int ShxParser::TakeCharacter(int entry, int code, const std::vector<uint8_t>& bytes,
                             int64_t offset) {
  bool skipped = code <= 0 || code > 255 || code == '\n' || code == '\r';
  if (skipped || font_.index[code] >= 0) return 0;  // the first definition stays
  size_t start = 0;
  while (start < bytes.size() && bytes[start] == 0) ++start;
  if (font_.unifont && start + 1 < bytes.size() && bytes[start + 1] == 0) start += 2;
  if (code < 32) {
    dump_("\n\n CHAR[%d] = %d CONTROL CHARACTER\n\n", entry, code);
  } else {
    dump_("\n\n CHAR[%d] = %d %c\n\n", entry, code, code);
  }
  font_.index[code] = static_cast<int32_t>(font_.words.size());
  ShapeTranslator translator(bytes, start, offset, font_.words, capacity_, dump_);
  if (translator.Run() != 0) {
    error_offset_ = translator.error_offset();
    return kShxMalformed;
  }
  return 0;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int ShxReader::ReadShxWord(uint16_t& value) {
  unsigned char bytes[2];
  size_t got = std::fread(bytes, 1, 2, file_);
  offset_ += static_cast<int64_t>(got);
  if (got != 2) return 1;
  value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  return 0;
}

int ShxReader::ReadShxByte(int& value) {
  int c = std::fgetc(file_);
  if (c == EOF) return 1;
  ++offset_;
  value = c > 127 ? c - 256 : c;
  return 0;
}

int ShxReader::ReadBytes(size_t count, std::vector<uint8_t>& bytes) {
  constexpr size_t kBlock = 65536;
  bytes.clear();
  while (bytes.size() < count) {
    size_t want = std::min(kBlock, count - bytes.size());
    size_t have = bytes.size();
    bytes.resize(have + want);
    size_t got = std::fread(bytes.data() + have, 1, want, file_);
    offset_ += static_cast<int64_t>(got);
    if (got != want) {
      bytes.resize(have + got);
      return 1;
    }
  }
  return 0;
}

bool ShxReader::AtEnd() {
  int c = std::fgetc(file_);
  if (c == EOF) return true;
  std::ungetc(c, file_);
  return false;
}

int ParseShxFont(ShxReader& reader, ShxFont& font, bool dump, int64_t& error_position) {
  ShxParser parser(reader, font, dump);
  return parser.Parse(error_position);
}

int LoadShxFont(std::string_view path, ShxFont& font, int64_t& error_position) {
  FreeShxFont(font);
  error_position = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(ResolveExistingPath(path).c_str(), "rb"));
  if (!file) return kShxCannotOpen;
  InitShxDirections();
  ShxReader reader(file.get());
  int result = ParseShxFont(reader, font, false, error_position);
  if (result != kShxLoaded) FreeShxFont(font);
  return result;
}

void FreeShxFont(ShxFont& font) {
  std::vector<int32_t>().swap(font.index);
  std::vector<int16_t>().swap(font.words);
}

void InitShxDirections() { DirectionAngles(); }

double ShxDirectionAngle(int direction) { return DirectionAngles()[direction & 15]; }

}  // namespace kavrinth
