// The plot data file reader. Records are framed and checked one by one; the compressed
// point records (140, 141) hold a first point and deltas in little-endian order.
#include "companions/plendo/plot_file.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "gdsii/encoding.h"
#include "gdsii/records.h"

namespace kavrinth {
namespace {

constexpr int kCompressedBytes = 140;
constexpr int kCompressedWords = 141;
constexpr int32_t kBreakX = 0x7FFFFFFF;
constexpr int32_t kBreakY = -0x7FFFFFFF;

struct Record {
  int type = 0;
  int data_type = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t offset = 0;

  int32_t Int16() const {
    return size >= 2 ? GdsGetInt16(std::span<const uint8_t, 2>(data, 2)) : 0;
  }
  int32_t Int32() const {
    return size >= 4 ? GdsGetInt32(std::span<const uint8_t, 4>(data, 4)) : 0;
  }
  double Real(size_t index) const {
    return size >= 8 * (index + 1)
               ? GdsDecodeReal8(std::span<const uint8_t, 8>(data + 8 * index, 8))
               : 0.0;
  }
  std::string Text() const {
    std::string text(reinterpret_cast<const char*>(data), size);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }
};

int32_t Little32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

// The points of an XY or compressed point record; nothing when its size does not fit.
std::optional<std::vector<GdsIntPoint>> Points(const Record& r) {
  std::vector<GdsIntPoint> points;
  if (r.type == kGdsXy) {
    if (r.size % 8 != 0) return std::nullopt;
    for (size_t i = 0; i < r.size; i += 8) {
      points.push_back({GdsGetInt32(std::span<const uint8_t, 4>(r.data + i, 4)),
                        GdsGetInt32(std::span<const uint8_t, 4>(r.data + i + 4, 4))});
    }
    return points;
  }
  const size_t step = r.type == kCompressedBytes ? 2 : 4;
  if (r.size < 8 || (r.size - 8) % step != 0) return std::nullopt;
  int64_t x = Little32(r.data), y = Little32(r.data + 4);
  points.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
  for (size_t i = 8; i < r.size; i += step) {
    if (step == 2) {
      x += static_cast<int8_t>(r.data[i]);
      y += static_cast<int8_t>(r.data[i + 1]);
    } else {
      x += static_cast<int16_t>(r.data[i] | r.data[i + 1] << 8);
      y += static_cast<int16_t>(r.data[i + 2] | r.data[i + 3] << 8);
    }
    points.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
  }
  return points;
}

std::vector<std::vector<GdsIntPoint>> SplitAtBreaks(const std::vector<GdsIntPoint>& points) {
  std::vector<std::vector<GdsIntPoint>> polygons(1);
  for (const GdsIntPoint& p : points) {
    if (p.x == kBreakX && p.y == kBreakY) {
      if (!polygons.back().empty()) polygons.emplace_back();
      continue;
    }
    polygons.back().push_back(p);
  }
  if (polygons.back().empty()) polygons.pop_back();
  return polygons;
}

class Parser {
 public:
  Parser(const std::vector<uint8_t>& bytes, PlotDocument* document)
      : bytes_(bytes), document_(document) {}
  bool Run(std::string* error);

 private:
  bool Next(Record* r);
  bool Fail(const std::string& text) {
    error_ = text + " at byte " + std::to_string(offset_);
    return false;
  }
  bool NamedSetting();
  bool Element(int kind);

  const std::vector<uint8_t>& bytes_;
  PlotDocument* document_;
  size_t offset_ = 0;
  std::string error_;
  int32_t colour_ = 0;
  bool negative_ = false;
};

bool Parser::Next(Record* r) {
  if (offset_ + 4 > bytes_.size()) return Fail("the file ends inside a record");
  const size_t length = size_t{bytes_[offset_]} << 8 | bytes_[offset_ + 1];
  if (length < 4 || length % 2 != 0 || offset_ + length > bytes_.size()) {
    return Fail("a record of length " + std::to_string(length));
  }
  *r = {bytes_[offset_ + 2], bytes_[offset_ + 3], bytes_.data() + offset_ + 4, length - 4, offset_};
  offset_ += length;
  return true;
}

bool Parser::NamedSetting() {
  Record r;
  std::string name;
  std::optional<double> value;
  while (Next(&r)) {
    if (r.type == kGdsExtNamedSetting) {
      if (value) {
        document_->settings[name] = *value;
        if (name == "SETCOLOR") {
          // A colour is a 32-bit value: a real beyond that (or not a number) is no colour.
          if (!(*value >= INT32_MIN && *value <= INT32_MAX)) {
            std::ostringstream text;
            text << "a SETCOLOR of " << *value;
            return Fail(text.str());
          }
          colour_ = static_cast<int32_t>(*value);
        }
        if (name == "NEGDISP") {
          negative_ = *value != 0;
          if (negative_) {
            PlotShape fill;
            fill.kind = PlotShape::kWindowFill;
            fill.colour = colour_;
            document_->shapes.push_back(fill);
          }
        }
      }
      return true;
    }
    if (r.type == kGdsString) name = r.Text();
    if (r.type == kGdsUinteger) value = r.Int16();
    if (r.type == kGdsExtSettingInt32) value = r.Int32();
    if (r.type == kGdsMag) value = r.Real(0);
  }
  return false;
}

bool Parser::Element(int kind) {
  PlotShape shape;
  shape.kind = kind == kGdsBoundary ? PlotShape::kBoundary
               : kind == kGdsPath   ? PlotShape::kPath
                                    : PlotShape::kCircle;
  shape.colour = negative_ ? 0 : colour_;
  std::vector<GdsIntPoint> points;
  double radius = 0.0;
  Record r;
  while (Next(&r)) {
    switch (r.type) {
      case kGdsEndEl: {
        if (shape.kind == PlotShape::kCircle) {
          if (points.empty()) return Fail("a circle without a centre");
          shape.centre = points[0];
          shape.radius = radius / document_->user_units_per_database_unit;
        } else if (shape.kind == PlotShape::kBoundary) {
          shape.polygons = SplitAtBreaks(points);
        } else {
          shape.polygons = {points};
        }
        document_->shapes.push_back(std::move(shape));
        return true;
      }
      case kGdsLayer:
        shape.layer = r.Int16();
        break;
      case kGdsPathType:
        shape.path_type = r.Int16();
        break;
      case kGdsWidth:
        shape.width = r.Int32();
        break;
      case kGdsMag:
        radius = r.Real(0);
        break;
      case kGdsXy:
      case kCompressedBytes:
      case kCompressedWords: {
        const auto read = Points(r);
        if (!read) return Fail("a point record of " + std::to_string(r.size) + " bytes");
        points.insert(points.end(), read->begin(), read->end());
        break;
      }
      default:
        break;
    }
  }
  return false;
}

bool Parser::Run(std::string* error) {
  Record r;
  bool ok = true;
  bool ended = false;
  while (ok && !ended && Next(&r)) {
    switch (r.type) {
      case kGdsUnits:
        if (r.size < 16 || !(r.Real(0) > 0) || !(r.Real(1) > 0)) {
          ok = Fail("unusable units");
          break;
        }
        document_->user_units_per_database_unit = r.Real(0);
        document_->metres_per_database_unit = r.Real(1);
        break;
      case kGdsExtNamedSetting:
        ok = NamedSetting();
        break;
      case kGdsBoundary:
      case kGdsPath:
      case kGdsExtCircle:
        ok = Element(r.type);
        break;
      case kGdsEndLib:
        ended = true;
        break;
      default:
        break;
    }
  }
  if (ok && !ended && error_.empty()) Fail("the file has no end record");
  if (!error_.empty()) {
    *error = error_;
    return false;
  }
  return true;
}

}  // namespace

bool ReadPlotFile(const std::string& path, PlotDocument* document, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  *document = PlotDocument{};
  return Parser(bytes, document).Run(error);
}

}  // namespace kavrinth
