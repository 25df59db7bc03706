// The GDSII writer's standard elements: boundary, path, node, structure and array
// references, text and box, in both element sets, and the directory-listing structure.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "gdsii/writer.h"

namespace kavrinth {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSmallestMagnification = 1e-20;
constexpr int kReflection = 0x8000;
constexpr int kSecondTransformation = 0x4000;

// TEXT angles: 360 added until the angle is not negative, then the remainder. Huge
// magnitudes are brought near the range first so that the loop always ends.
double TextAngle(double angle) {
  if (angle < -1e6) angle = std::fmod(angle, 360.0);
  while (angle < 0) angle += 360;
  return std::fmod(angle, 360.0);
}

template <class Point>
constexpr bool kInUserUnits = std::is_same_v<Point, GdsPoint>;

// Boundaries of at most this many points are assembled whole in an ElementBlock.
constexpr size_t kBlockPoints = 64;

// The records of one small element, encoded into a block on the stack so that the
// element goes to the file in one write: converters write millions of four- and
// five-point boundaries, where a write per record cost more than the encoding.
class ElementBlock {
 public:
  explicit ElementBlock(GdsByteOrder order) : order_(order) {}
  // A record header; data lengths here are always even.
  void Header(int record_type, int data_type, size_t data_length) {
    const auto length = static_cast<uint32_t>(kGdsRecordHeaderSize + data_length);
    Put32(static_cast<int32_t>((length << 16) | ((record_type & 0xFF) << 8) | (data_type & 0xFF)));
  }
  void Put16(int32_t value) {
    GdsPutInt16(value, std::span<uint8_t, 2>(bytes_.data() + used_, 2), order_);
    used_ += 2;
  }
  void Put32(int32_t value) {
    GdsPutInt32(value, std::span<uint8_t, 4>(bytes_.data() + used_, 4), order_);
    used_ += 4;
  }
  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return used_; }

 private:
  // BOUNDARY, ELFLAGS, LAYER, DATATYPE, the XY header and points, PROPATTR, PROPVALUE
  // and ENDEL.
  std::array<uint8_t, 4 + 6 + 6 + 6 + 4 + 8 * kBlockPoints + 6 + 8 + 4> bytes_;
  size_t used_ = 0;
  const GdsByteOrder order_;
};

}  // namespace

double GdsReduceAngle(double angle) {
  if (angle < 0) angle += 360;
  return std::fmod(angle, 360.0);
}

double GdsReduceAngleKeep360(double angle) {
  if (angle < 0) angle += 360;
  return angle == 360.0 ? angle : std::fmod(angle, 360.0);
}

// --- Shared record groups ---

template <class Point>
void GdsWriter::XyRecord(std::span<const Point> points, size_t count, bool close_with_first) {
  if (!Begin(kGdsXy, kGdsTypeInt32, 8 * count)) return;
  // The coordinates are encoded into a block here and written a block at a time, not
  // four bytes at a time: most elements are a handful of points.
  std::array<uint8_t, 8 * kBlockPoints> block;
  size_t used = 0;
  const GdsByteOrder order = state_.byte_order;
  for (size_t i = 0; i < count; ++i) {
    const Point& p = close_with_first && i + 1 == count ? points[0] : points[i];
    GdsPutInt32(ToDatabase(p.x), std::span<uint8_t, 4>(block.data() + used, 4), order);
    GdsPutInt32(ToDatabase(p.y), std::span<uint8_t, 4>(block.data() + used + 4, 4), order);
    used += 8;
    if (used == block.size()) {
      Put(block.data(), used);
      used = 0;
    }
  }
  if (used != 0) Put(block.data(), used);
}
template void GdsWriter::XyRecord(std::span<const GdsPoint>, size_t, bool);
template void GdsWriter::XyRecord(std::span<const GdsIntPoint>, size_t, bool);

void GdsWriter::PropertyRecords(int attribute, int32_t value) {
  if (attribute == 0) return;
  Int16Record(kGdsPropAttr, attribute);
  Int32Record(kGdsPropValue, value, kGdsTypeAscii);
}

void GdsWriter::ElementFlagRecord() {
  if (state_.element_flag) Int16Record(kGdsElFlags, 1, kGdsTypeBitArray);
}

void GdsWriter::WriteElflags() {
  if (state_.library_open) ElementFlagRecord();
}

// --- Boundary, path, node, box ---

template <class Point>
int GdsWriter::BoundaryImpl(std::span<const Point> points, int layer, int datatype, int attribute,
                            int32_t value, bool report) {
  if (points.size() < 4) return report ? kGdsLimitApplied : kGdsOk;
  const size_t count = std::min(points.size(), kGdsMaxBoundaryPoints);
  if (count <= kBlockPoints) {
    // The same records as below, written in one piece.
    current_ = CurrentStream();
    if (current_ == nullptr) return Finish(kGdsOk);
    ElementBlock block(state_.byte_order);
    block.Header(kGdsBoundary, kGdsTypeNone, 0);
    if (state_.element_flag) {
      block.Header(kGdsElFlags, kGdsTypeBitArray, 2);
      block.Put16(1);
    }
    block.Header(kGdsLayer, kGdsTypeInt16, 2);
    block.Put16(layer);
    block.Header(kGdsDataType, kGdsTypeInt16, 2);
    block.Put16(datatype);
    block.Header(kGdsXy, kGdsTypeInt32, 8 * count);
    for (size_t i = 0; i + 1 < count; ++i) {
      block.Put32(ToDatabase(points[i].x));
      block.Put32(ToDatabase(points[i].y));
    }
    // The last point is always the first again, whatever the list holds there.
    block.Put32(ToDatabase(points[0].x));
    block.Put32(ToDatabase(points[0].y));
    if (attribute != 0) {
      block.Header(kGdsPropAttr, kGdsTypeInt16, 2);
      block.Put16(attribute);
      block.Header(kGdsPropValue, kGdsTypeAscii, 4);
      block.Put32(value);
    }
    block.Header(kGdsEndEl, kGdsTypeNone, 0);
    Put(block.data(), block.size());
    return Finish(kGdsOk);
  }
  EmptyRecord(kGdsBoundary);
  ElementFlagRecord();
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsDataType, datatype);
  // The last point is always the first again, whatever the list holds there.
  XyRecord(points, count, true);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(report && count < points.size() ? kGdsLimitApplied : kGdsOk);
}

int GdsWriter::WriteBoundary(std::span<const GdsPoint> points, int layer, int datatype,
                             int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return BoundaryImpl(points, layer, datatype, attribute, value, true);
}

int GdsWriter::WriteBoundaryEx(std::span<const GdsPoint> points, int layer, int datatype,
                               int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return BoundaryImpl(points, layer, datatype, attribute, value, false);
}

int GdsWriter::WriteBoundaryEx(std::span<const GdsIntPoint> points, int layer, int datatype,
                               int attribute, int32_t value) {
  if (!Ready(false)) return kGdsFailed;
  return BoundaryImpl(points, layer, datatype, attribute, value, false);
}

template <class Point>
int GdsWriter::PathImpl(std::span<const Point> points, int layer, int datatype, int32_t width,
                        int pathtype, int attribute, int32_t value, bool first_set,
                        const std::array<double, 2>* angle_reals,
                        std::span<const double> vertex_reals) {
  if (points.size() < 2) return kGdsLimitApplied;
  const size_t count = std::min(points.size(), kGdsMaxBoundaryPoints);
  if (angle_reals != nullptr && vertex_reals.size() < count) return kGdsLimitApplied;
  EmptyRecord(kGdsPath);
  ElementFlagRecord();
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsDataType, datatype);
  Int16Record(kGdsPathType, pathtype);
  Int32Record(kGdsWidth, width);
  if (angle_reals != nullptr) {
    RealRecord(kGdsAngle, {(*angle_reals)[0], (*angle_reals)[1]});
    if (Begin(kGdsMag, kGdsTypeReal8, 8 * count)) {
      for (size_t i = 0; i < count; ++i) PutReal(vertex_reals[i]);
    }
  }
  XyRecord(points, count, false);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(first_set && count < points.size() ? kGdsLimitApplied : kGdsOk);
}

int GdsWriter::WritePath(std::span<const GdsPoint> points, int layer, int datatype, double width,
                         int pathtype, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  const int32_t database_width = WidthToDatabase(std::max(width, state_.min_path_width));
  return PathImpl(points, layer, datatype, database_width, pathtype, attribute, value, true);
}

int GdsWriter::WritePathWithVertexReals(double first, double second,
                                        std::span<const double> vertex_reals,
                                        std::span<const GdsPoint> points, int layer, int datatype,
                                        double width, int pathtype, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  const int32_t database_width = WidthToDatabase(std::max(width, state_.min_path_width));
  const std::array<double, 2> reals = {first, second};
  return PathImpl(points, layer, datatype, database_width, pathtype, attribute, value, true, &reals,
                  vertex_reals);
}

int GdsWriter::WritePathEx(std::span<const GdsPoint> points, int layer, int datatype, double width,
                           int pathtype, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  const int32_t database_width = WidthToDatabase(width);
  return PathImpl(points, layer, datatype, database_width, pathtype, attribute, value, false);
}

int GdsWriter::WritePathEx(std::span<const GdsIntPoint> points, int layer, int datatype,
                           int32_t width, int pathtype, int attribute, int32_t value) {
  if (!Ready(false)) return kGdsFailed;
  return PathImpl(points, layer, datatype, width, pathtype, attribute, value, false);
}

template <class Point>
int GdsWriter::NodeImpl(int opener, std::span<const Point> points, int layer, int nodetype,
                        int attribute, int32_t value, bool first_set) {
  if (first_set && points.empty()) return kGdsLimitApplied;
  const size_t count = std::min(points.size(), kGdsMaxNodePoints);
  EmptyRecord(opener);
  ElementFlagRecord();
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsNodeType, nodetype);
  XyRecord(points, count, false);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(first_set && count < points.size() ? kGdsLimitApplied : kGdsOk);
}
template int GdsWriter::NodeImpl(int, std::span<const GdsPoint>, int, int, int, int32_t, bool);

int GdsWriter::WriteNode(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                         int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return NodeImpl(kGdsNode, points, layer, nodetype, attribute, value, true);
}

int GdsWriter::WriteNodeEx(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                           int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return NodeImpl(kGdsNode, points, layer, nodetype, attribute, value, false);
}

int GdsWriter::WriteNodeEx(std::span<const GdsIntPoint> points, int layer, int nodetype,
                           int attribute, int32_t value) {
  if (!Ready(false)) return kGdsFailed;
  return NodeImpl(kGdsNode, points, layer, nodetype, attribute, value, false);
}

template <class Point>
int GdsWriter::BoxImpl(std::span<const Point> points, int layer, int boxtype, int attribute,
                       int32_t value) {
  if (points.size() < 4) return kGdsLimitApplied;
  EmptyRecord(kGdsBox);
  ElementFlagRecord();
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsBoxType, boxtype);
  XyRecord(points, 5, true);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(kGdsOk);
}

int GdsWriter::WriteBox(std::span<const GdsPoint> points, int layer, int boxtype, int attribute,
                        int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return BoxImpl(points.first(std::min<size_t>(points.size(), 4)), layer, boxtype, attribute,
                 value);
}

int GdsWriter::WriteBox(std::span<const GdsIntPoint> points, int layer, int boxtype, int attribute,
                        int32_t value) {
  if (!Ready(false)) return kGdsFailed;
  return BoxImpl(points.first(std::min<size_t>(points.size(), 4)), layer, boxtype, attribute,
                 value);
}

// --- References ---

template <class Point>
int GdsWriter::SrefImpl(std::string_view name, Point point, double magnification, double angle,
                        bool reflect, int attribute, int32_t value) {
  int result = name.size() > kGdsMaxStructureName ? kGdsLimitApplied : kGdsOk;
  if (magnification < kSmallestMagnification) {
    magnification = 1.0;
    result = kGdsLimitApplied;
  }
  EmptyRecord(kGdsSref);
  ElementFlagRecord();
  TextRecord(kGdsSname, name.substr(0, kGdsMaxStructureName));
  Int16Record(kGdsStrans, reflect ? kReflection : 0, kGdsTypeBitArray);
  if (std::fabs(magnification - 1) >= 0.001) RealRecord(kGdsMag, {std::fabs(magnification)});
  if (std::fabs(angle) >= 0.01) RealRecord(kGdsAngle, {GdsReduceAngle(angle)});
  const std::array<Point, 1> position = {point};
  XyRecord(std::span<const Point>(position), 1, false);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(result);
}

int GdsWriter::WriteSref(std::string_view name, double x, double y, double magnification,
                         double angle, bool reflect, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return SrefImpl(name, GdsPoint{x, y}, magnification, angle, reflect, attribute, value);
}

int GdsWriter::WriteSrefMirrored(std::string_view name, double x, double y, double first_scale,
                                 double second_scale, double angle, bool mirror_x, bool mirror_y,
                                 int attribute, int32_t value) {
  return WriteSref(name, x, y, std::max(first_scale, second_scale), mirror_y ? angle + 180 : angle,
                   mirror_x != mirror_y, attribute, value);
}

int GdsWriter::WriteSrefEx(std::string_view name, GdsPoint point, double magnification,
                           double angle, bool reflect, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return SrefImpl(name, point, magnification, angle, reflect, attribute, value);
}

int GdsWriter::WriteSrefEx(std::string_view name, GdsIntPoint point, double magnification,
                           double angle, bool reflect, int attribute, int32_t value) {
  if (!Ready(false)) return kGdsFailed;
  return SrefImpl(name, point, magnification, angle, reflect, attribute, value);
}

namespace {

// P1, P2 and P3 of an array: P2 lies the column steps along the angle, P3 the row
// steps across it (steps given as cos or sin times count times spacing).
std::array<GdsPoint, 3> ArrayCorners(GdsPoint origin, double cos_column, double sin_column,
                                     double sin_row, double cos_row) {
  return {{origin,
           {origin.x + cos_column, origin.y + sin_column},
           {origin.x - sin_row, origin.y + cos_row}}};
}

}  // namespace

template <class Point>
int GdsWriter::ArefImpl(std::string_view name, std::span<const Point> points,
                        std::optional<Point> spacing, int columns, int rows, double magnification,
                        double angle, bool reflect, int attribute, int32_t value) {
  if (points.empty() || (!spacing && points.size() < 3)) return kGdsLimitApplied;
  columns = std::max(columns, 1);
  rows = std::max(rows, 1);
  const bool has_angle = std::fabs(angle) >= 0.01;
  const double reduced = has_angle ? GdsReduceAngle(angle) : 0;
  const double theta = reduced * kPi / 180.0;
  std::array<Point, 3> corners;
  if (spacing) {
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    if constexpr (kInUserUnits<Point>) {
      corners = ArrayCorners(points[0], c * columns * spacing->x, s * columns * spacing->x,
                             s * rows * spacing->y, c * rows * spacing->y);
    } else {
      // Integer points: the steps are integers and the corners are rounded, not divided.
      const GdsPoint origin{static_cast<double>(points[0].x), static_cast<double>(points[0].y)};
      const auto column_step = static_cast<double>(int64_t{columns} * spacing->x);
      const auto row_step = static_cast<double>(int64_t{rows} * spacing->y);
      const auto exact =
          ArrayCorners(origin, c * column_step, s * column_step, s * row_step, c * row_step);
      for (size_t i = 0; i < 3; ++i) {
        corners[i] = {Saturate(exact[i].x + (exact[i].x >= 0 ? 0.5 : -0.5)),
                      Saturate(exact[i].y + (exact[i].y >= 0 ? 0.5 : -0.5))};
      }
    }
  } else {
    std::copy_n(points.begin(), 3, corners.begin());
  }
  EmptyRecord(kGdsAref);
  ElementFlagRecord();
  TextRecord(kGdsSname, name.substr(0, kGdsMaxStructureName));
  Int16Record(kGdsStrans, reflect ? kReflection : 0, kGdsTypeBitArray);
  if (std::fabs(std::fabs(magnification) - 1) >= 0.001) {
    RealRecord(kGdsMag, {std::fabs(magnification)});
  }
  if (has_angle) RealRecord(kGdsAngle, {reduced});
  if (Begin(kGdsColRow, kGdsTypeInt16, 4)) {
    Put16(columns);
    Put16(rows);
  }
  XyRecord(std::span<const Point>(corners), 3, false);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(name.size() > kGdsMaxStructureName ? kGdsLimitApplied : kGdsOk);
}

int GdsWriter::WriteAref(std::string_view name, double x, double y, double column_spacing,
                         double row_spacing, int columns, int rows, double magnification,
                         double angle, bool reflect, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  const std::array<GdsPoint, 1> origin = {{{x, y}}};
  return ArefImpl(name, std::span<const GdsPoint>(origin),
                  std::optional<GdsPoint>({column_spacing, row_spacing}), columns, rows,
                  magnification, angle, reflect, attribute, value);
}

int GdsWriter::WriteArefEx(std::string_view name, std::span<const GdsPoint> points,
                           std::optional<GdsPoint> spacing, int columns, int rows,
                           double magnification, double angle, bool reflect, int attribute,
                           int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return ArefImpl(name, points, spacing, columns, rows, magnification, angle, reflect, attribute,
                  value);
}

int GdsWriter::WriteArefEx(std::string_view name, std::span<const GdsIntPoint> points,
                           std::optional<GdsIntPoint> spacing, int columns, int rows,
                           double magnification, double angle, bool reflect, int attribute,
                           int32_t value) {
  if (!Ready(false)) return kGdsFailed;
  return ArefImpl(name, points, spacing, columns, rows, magnification, angle, reflect, attribute,
                  value);
}

// --- Text ---

template <class Point>
int GdsWriter::TextImpl(std::string_view text, Point position, int justification, int font,
                        int layer, int texttype, int32_t width, int pathtype, int transformation,
                        double magnification, double angle, int attribute, int32_t value) {
  if (!FitsText(text)) return kGdsLimitApplied;
  EmptyRecord(kGdsText);
  ElementFlagRecord();
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsTextType, texttype);
  Int16Record(kGdsPresentation, (justification | (font * 16)) & 0x3F, kGdsTypeBitArray);
  Int16Record(kGdsPathType, pathtype);
  Int32Record(kGdsWidth, width);
  const int others = transformation & ~kSecondTransformation;
  Int16Record(kGdsStrans, (transformation & kSecondTransformation) | (others ? kReflection : 0),
              kGdsTypeBitArray);
  RealRecord(kGdsMag, {std::fabs(magnification)});
  RealRecord(kGdsAngle, {angle});
  const std::array<Point, 1> at = {position};
  XyRecord(std::span<const Point>(at), 1, false);
  TextRecord(kGdsString, text);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(kGdsOk);
}

int GdsWriter::WriteText(std::string_view text, double x, double y, int justification, int font,
                         int layer, int texttype, int32_t width, int pathtype, int transformation,
                         double magnification, double angle, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return TextImpl(text, GdsPoint{x, y}, justification, font, layer, texttype, width, pathtype,
                  transformation, magnification, TextAngle(angle), attribute, value);
}

namespace {

int Justification(int horizontal, int vertical) {
  return ((vertical * 4) & 0xC) | (horizontal & 3);
}

int Transformation(bool reflect, bool second_flag) {
  return (reflect ? kReflection : 0) | (second_flag ? kSecondTransformation : 0);
}

double TextMagnification(double magnification) {
  return magnification < kSmallestMagnification ? 1.0 : magnification;
}

}  // namespace

int GdsWriter::TextAtImpl(int layer, int texttype, int font, int horizontal, int vertical,
                          int pathtype, bool reflect, bool second_flag, double width,
                          double magnification, double angle, GdsPoint position,
                          std::string_view text, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return TextImpl(text, position, Justification(horizontal, vertical), font, layer, texttype,
                  WidthToDatabase(width), pathtype, Transformation(reflect, second_flag),
                  TextMagnification(magnification), TextAngle(angle), attribute, value);
}

int GdsWriter::WriteTextAt(int layer, int texttype, int font, int horizontal, int vertical,
                           int pathtype, bool reflect, bool second_flag, double width,
                           double magnification, double angle, GdsPoint position,
                           std::string_view text) {
  return TextAtImpl(layer, texttype, font, horizontal, vertical, pathtype, reflect, second_flag,
                    width, magnification, angle, position, text, 0, 0);
}

int GdsWriter::WriteTextAtWithProperty(int layer, int texttype, int font, int horizontal,
                                       int vertical, int pathtype, bool reflect, bool second_flag,
                                       double width, double magnification, double angle,
                                       GdsPoint position, std::string_view text, int attribute,
                                       int32_t value) {
  return TextAtImpl(layer, texttype, font, horizontal, vertical, pathtype, reflect, second_flag,
                    width, magnification, angle, position, text, attribute, value);
}

int GdsWriter::WriteTextEx(int layer, int texttype, int font, int horizontal, int vertical,
                           int pathtype, bool reflect, bool second_flag, double width,
                           double magnification, double angle, GdsPoint position,
                           std::string_view text, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return TextImpl(text, position, Justification(horizontal, vertical), font, layer, texttype,
                  WidthToDatabase(width), pathtype, Transformation(reflect, second_flag),
                  TextMagnification(magnification), GdsReduceAngle(angle), attribute, value);
}

int GdsWriter::WriteTextEx(int layer, int texttype, int font, int horizontal, int vertical,
                           int pathtype, bool reflect, bool second_flag, int32_t width,
                           double magnification, double angle, GdsIntPoint position,
                           std::string_view text, int attribute, int32_t value) {
  if (!Ready(false)) return kGdsFailed;
  return TextImpl(text, position, Justification(horizontal, vertical), font, layer, texttype, width,
                  pathtype, Transformation(reflect, second_flag), TextMagnification(magnification),
                  GdsReduceAngle(angle), attribute, value);
}

// --- Directory structure ---

namespace {

// One line of the file without its line end; false at the end of the file.
bool ReadLine(std::FILE* file, std::string* line) {
  line->clear();
  int c;
  while ((c = std::getc(file)) != EOF && c != '\n') line->push_back(static_cast<char>(c));
  if (c == EOF && line->empty()) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace

int GdsWriter::WriteDirectoryStructure(std::FILE* text_file) {
  if (text_file == nullptr || BeginStructure("GDS_DIRECTORY") != kGdsOk) return kGdsFailed;
  std::rewind(text_file);
  const double height = state_.text_heights[0];
  int result = kGdsOk;
  double y = 0;
  std::string line;
  while (ReadLine(text_file, &line)) {
    if (!line.empty()) {
      if (!FitsText(line)) {
        line.resize(kGdsMaxRecordData);
        result = kGdsLimitApplied;
      }
      WriteText(line, 0, y, 8, 0, 0, 0, 0, 0, 0, height, 0, 0, 0);
    }
    y = y - 1.4 * height;
  }
  if (std::ferror(text_file)) result = kGdsFailed;
  EndStructure();
  return result;
}

}  // namespace kavrinth
