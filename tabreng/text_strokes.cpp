// Stroking TEXT elements into boundary elements.
#include "tabreng/text_strokes.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

#include "gdsii/records.h"
#include "tabreng/polygon_handoff.h"

namespace kavrinth {

namespace {

// Stroke buffers start at this many values and grow while a line needs more.
constexpr int32_t kStrokeBufferStart = 16384;
constexpr int32_t kStrokeBufferLimit = 1 << 24;
// The most points one XY record holds (its length is 16 bits).
constexpr size_t kMaxXyPoints = 8191;

constexpr double kLinePitch = 1.4;  // line spacing in text heights
constexpr double kRadiansPerDegree = 0.017453292519943295;

void Put16(std::vector<uint8_t>& out, int32_t value) {
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

void Put32(std::vector<uint8_t>& out, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(bits >> shift));
}

void PutHeader(std::vector<uint8_t>& out, size_t length, int type, int data_type) {
  Put16(out, static_cast<int32_t>(length));
  out.push_back(static_cast<uint8_t>(type));
  out.push_back(static_cast<uint8_t>(data_type));
}

// One stroke element: BOUNDARY, ELFLAGS, LAYER, DATATYPE 0, XY, ENDEL.
void WriteStroke(const EngineText& text, std::span<const int32_t> xy, std::vector<uint8_t>& out) {
  PutHeader(out, 4, kGdsBoundary, kGdsTypeNone);
  PutHeader(out, 6, kGdsElFlags, kGdsTypeBitArray);
  Put16(out, text.template_flag ? 1 : 0);
  PutHeader(out, 6, kGdsLayer, kGdsTypeInt16);
  Put16(out, text.layer);
  PutHeader(out, 6, kGdsDataType, kGdsTypeInt16);
  Put16(out, 0);
  PutHeader(out, xy.size() * 4 + 4, kGdsXy, kGdsTypeInt32);
  for (int32_t value : xy) Put32(out, value);
  PutHeader(out, 4, kGdsEndEl, kGdsTypeNone);
}

// Where the strokes of one line go: scale, place, mirror, rotate and move.
struct LinePlacement {
  double scale = 1;  // database units per stroke unit
  double x = 0;      // the line's origin in the text's own frame
  double y = 0;
  bool reflected = false;
  bool rotated = false;
  double cosine = 1;
  double sine = 0;
  double origin_x = 0;
  double origin_y = 0;

  std::array<double, 2> Place(int32_t sx, int32_t sy) const {
    const double tx = x + sx * scale;
    double ty = y + sy * scale;
    if (reflected) ty = -ty;
    if (!rotated) return {origin_x + tx, origin_y + ty};
    return {origin_x + tx * cosine - ty * sine, origin_y + tx * sine + ty * cosine};
  }
};

// Strokes one line into `buffer`, growing it while the font needs more room.
int StrokeLine(std::string_view line, const EngineFont& font, std::vector<int32_t>& buffer) {
  for (int32_t capacity = kStrokeBufferStart;; capacity *= 2) {
    buffer.resize(static_cast<size_t>(capacity));
    int32_t largest_x = 0, largest_y = 0;
    const int result = StrokeShxText(line, font.shx.words, font.shx.index, buffer.data(), capacity,
                                     largest_x, largest_y);
    if (result != kShxStrokeFull || capacity >= kStrokeBufferLimit) return result;
  }
}

// Writes the polylines of one stroked line.
void WriteLine(const EngineText& text, std::span<const int32_t> strokes,
               const LinePlacement& placement, TextStrokeResult& result,
               std::vector<uint8_t>& out) {
  std::vector<int32_t> xy;
  const auto flush = [&]() {
    // A polyline too long for one record goes on in the next, from its last point.
    for (size_t first = 0; xy.size() / 2 - first >= 2; first += kMaxXyPoints - 1) {
      const size_t count = std::min(kMaxXyPoints, xy.size() / 2 - first);
      WriteStroke(text, std::span<const int32_t>(xy).subspan(2 * first, 2 * count), out);
      ++result.boundaries;
      if (first + count == xy.size() / 2) break;
    }
    xy.clear();
  };
  for (size_t i = 0; i < strokes.size(); ++i) {
    const int32_t value = strokes[i];
    if (value == kShxTextEnd) break;
    if (value == kShxPolylineEnd) {
      flush();
    } else if (value != kShxPenDownAgain && i + 1 < strokes.size()) {
      const std::array<double, 2> point = placement.Place(value, strokes[++i]);
      xy.push_back(RoundToInt32(point[0], &result.fits));
      xy.push_back(RoundToInt32(point[1], &result.fits));
    }
  }
  flush();
}

std::vector<std::string_view> TextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t at = 0;;) {
    const size_t end = text.find('\r', at);
    lines.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) return lines;
    at = end + 1;
  }
}

}  // namespace

int LoadEngineFont(const std::string& path, EngineFont& font) {
  int64_t error_position = 0;
  if (LoadShxFont(path, font.shx, error_position) != kShxLoaded) return -1;
  font.height = font.shx.height_above;
  // Strokes are measured against the character height, so a font without one is of no use.
  if (font.height <= 0) {
    FreeShxFont(font.shx);
    return -1;
  }
  MeasureShxCharacters(font.shx.words, font.shx.index, font.shx.height_above,
                       font.shx.highest_value, font.metrics);
  return 0;
}

TextStrokeResult TextToPolygons(const EngineText& text, const EngineFontSet& fonts,
                                const std::array<double, 4>& text_scales,
                                std::vector<uint8_t>& out) {
  TextStrokeResult result;
  const size_t slot = text.font >= 0 && text.font <= 3 ? static_cast<size_t>(text.font) : 0;
  const EngineFont* font = fonts[slot].get();
  if (font == nullptr || font->height <= 0) return result;

  const std::vector<std::string_view> lines = TextLines(text.text);
  const double height = text.height;
  const double scale = height / font->height * text_scales[slot];
  int32_t widest = 0;
  for (std::string_view line : lines) widest = std::max(widest, ShxTextWidth(line, font->metrics));
  const double width = widest * scale;
  const double pitch = kLinePitch * height;
  const double breaks = static_cast<double>(lines.size() - 1);
  const double block_height = height + pitch * breaks;
  const double horizontal[] = {0, -width / 2, -width};
  const double vertical[] = {-height, block_height / 2 - height, pitch * breaks};

  LinePlacement placement;
  placement.scale = scale;
  placement.x = horizontal[text.horizontal >= 0 && text.horizontal <= 2 ? text.horizontal : 0];
  placement.reflected = text.reflected;
  placement.rotated = std::fabs(text.angle) > 1e-6;
  placement.cosine = std::cos(text.angle * kRadiansPerDegree);
  placement.sine = std::sin(text.angle * kRadiansPerDegree);
  placement.origin_x = text.x;
  placement.origin_y = text.y;
  const double top = vertical[text.vertical >= 0 && text.vertical <= 2 ? text.vertical : 0];

  std::vector<int32_t> strokes;
  for (size_t k = 0; k < lines.size(); ++k) {
    placement.y = top - pitch * static_cast<double>(k);
    if (StrokeLine(lines[k], *font, strokes) != kShxStrokeDone) {
      result.incomplete = true;
      continue;
    }
    WriteLine(text, strokes, placement, result, out);
  }
  return result;
}

}  // namespace kavrinth
