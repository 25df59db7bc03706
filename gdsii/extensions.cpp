// The GDSII writer's own element kinds (128 and up) and named settings.
#include <algorithm>
#include <cmath>
#include <limits>

#include "gdsii/writer.h"

namespace kavrinth {

namespace {

constexpr double kSmallestSettingReal = 1e-20;

}  // namespace

// --- Circles and arcs ---

int GdsWriter::CircleImpl(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                          double width, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  EmptyRecord(kGdsExtCircle);
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsDataType, datatype);
  Int16Record(kGdsPathType, pathtype);
  Int32Record(kGdsWidth, WidthToDatabase(width));
  RealRecord(kGdsMag, {std::fabs(radius)});
  const std::array<GdsPoint, 1> at = {centre};
  XyRecord(std::span<const GdsPoint>(at), 1, false);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(kGdsOk);
}

int GdsWriter::WriteCircle(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                           double width) {
  return CircleImpl(centre, radius, datatype, layer, pathtype, width, 0, 0);
}

int GdsWriter::WriteCircleWithProperty(GdsPoint centre, double radius, int datatype, int layer,
                                       int pathtype, double width, int attribute, int32_t value) {
  return CircleImpl(centre, radius, datatype, layer, pathtype, width, attribute, value);
}

int GdsWriter::ArcImpl(double first_angle, double second_angle, double third_angle, double radius,
                       const std::array<GdsPoint, 2>& two_points, GdsPoint one_point, double width,
                       int pathtype, int layer, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  EmptyRecord(kGdsExtArc);
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsPathType, pathtype);
  Int32Record(kGdsWidth, WidthToDatabase(width));
  RealRecord(kGdsAngle, {GdsReduceAngleKeep360(first_angle)});
  RealRecord(kGdsAngle, {GdsReduceAngleKeep360(second_angle)});
  RealRecord(kGdsAngle, {third_angle});
  RealRecord(kGdsMag, {std::fabs(radius)});
  XyRecord(std::span<const GdsPoint>(two_points), 2, false);
  const std::array<GdsPoint, 1> one = {one_point};
  XyRecord(std::span<const GdsPoint>(one), 1, false);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(kGdsOk);
}

int GdsWriter::WriteArc(double first_angle, double second_angle, double third_angle, double radius,
                        const std::array<GdsPoint, 2>& two_points, GdsPoint one_point, double width,
                        int pathtype, int layer) {
  return ArcImpl(first_angle, second_angle, third_angle, radius, two_points, one_point, width,
                 pathtype, layer, 0, 0);
}

int GdsWriter::WriteArcWithProperty(double first_angle, double second_angle, double third_angle,
                                    double radius, const std::array<GdsPoint, 2>& two_points,
                                    GdsPoint one_point, double width, int pathtype, int layer,
                                    int attribute, int32_t value) {
  return ArcImpl(first_angle, second_angle, third_angle, radius, two_points, one_point, width,
                 pathtype, layer, attribute, value);
}

int GdsWriter::WriteTwoRadiusArc(const std::array<double, 4>& angles, double first_radius,
                                 double second_radius, const std::array<GdsPoint, 2>& two_points,
                                 GdsPoint one_point, double width, int attribute, int layer,
                                 int pathtype) {
  if (!Ready(true)) return kGdsFailed;
  EmptyRecord(kGdsExtTwoRadiusArc);
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsPathType, pathtype);
  Int32Record(kGdsWidth, WidthToDatabase(width));
  for (double angle : angles) RealRecord(kGdsAngle, {GdsReduceAngleKeep360(angle)});
  RealRecord(kGdsMag, {std::fabs(first_radius)});
  RealRecord(kGdsMag, {std::fabs(second_radius)});
  XyRecord(std::span<const GdsPoint>(two_points), 2, false);
  const std::array<GdsPoint, 1> one = {one_point};
  XyRecord(std::span<const GdsPoint>(one), 1, false);
  // This kind carries the attribute alone.
  if (attribute != 0) Int16Record(kGdsPropAttr, attribute);
  EmptyRecord(kGdsEndEl);
  return Finish(kGdsOk);
}

// --- Named settings and groups ---

int GdsWriter::WriteNamedProperty(std::string_view name, int value_kind,
                                  const GdsPropertyValue& value) {
  if (!Ready(false)) return kGdsFailed;
  const auto* text = std::get_if<std::string_view>(&value);
  const auto* integer = std::get_if<int32_t>(&value);
  const bool integer_kind = value_kind == kGdsSettingInt16 || value_kind == kGdsSettingInt32;
  const bool fits = value_kind == kGdsSettingText ? text != nullptr && FitsText(*text)
                    : integer_kind                ? integer != nullptr
                                                  : text == nullptr;
  if (!fits || !FitsText(name)) return kGdsLimitApplied;
  EmptyRecord(kGdsExtNamedSetting);
  Int16Record(kGdsPropAttr, value_kind);
  TextRecord(kGdsString, name);
  if (value_kind == kGdsSettingText) {
    TextRecord(kGdsUstring, *text);
  } else if (value_kind == kGdsSettingInt16) {
    Int16Record(kGdsUinteger, *integer);
  } else if (value_kind == kGdsSettingInt32) {
    Int32Record(kGdsExtSettingInt32, *integer);
  } else {
    const double real = integer != nullptr ? *integer : std::get<double>(value);
    RealRecord(kGdsMag, {std::fabs(real) < kSmallestSettingReal ? 0.0 : real});
  }
  EmptyRecord(kGdsExtNamedSetting);
  return kGdsOk;
}

int GdsWriter::BeginGroup(int layer, int datatype, int pathtype, double width, GdsPoint point,
                          int attribute, double value) {
  if (!Ready(true)) return kGdsFailed;
  EmptyRecord(kGdsExtGroup);
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsDataType, datatype);
  Int16Record(kGdsPathType, pathtype);
  Int32Record(kGdsWidth, WidthToDatabase(width));
  const std::array<GdsPoint, 1> at = {point};
  XyRecord(std::span<const GdsPoint>(at), 1, false);
  PropertyRecords(attribute, Saturate(std::trunc(value)));
  return Finish(kGdsOk);
}

int GdsWriter::EndGroup() {
  if (!Ready(false)) return kGdsFailed;
  EmptyRecord(kGdsExtGroup);
  return kGdsOk;
}

// --- Point list, aperture, layer file and the numbered kinds ---

int GdsWriter::WritePointList(std::span<const GdsIntPoint> points) {
  if (!Ready(false)) return kGdsFailed;
  if (points.size() > kGdsMaxPointListPoints) return kGdsLimitApplied;
  EmptyRecord(kGdsExtPointList);
  XyRecord(points, points.size(), false);
  EmptyRecord(kGdsEndEl);
  return kGdsOk;
}

int GdsWriter::WriteApertureRecord(int code, std::string_view name, int first_word, int second_word,
                                   double first_real, double second_real, double third_real,
                                   int third_word, double fourth_real) {
  if (!Ready(false)) return kGdsFailed;
  if (!FitsText(name)) return kGdsLimitApplied;
  EmptyRecord(kGdsExtAperture);
  Int16Record(kGdsUinteger, code);
  TextRecord(kGdsUstring, name);
  Int16Record(kGdsElFlags, first_word, kGdsTypeBitArray);
  Int16Record(kGdsPathType, second_word);
  Int16Record(kGdsDataType, third_word);
  RealRecord(kGdsMag, {first_real, second_real, third_real, fourth_real});
  EmptyRecord(kGdsEndEl);
  return kGdsOk;
}

int GdsWriter::NumberedTextKind(int kind, std::optional<int> layer, std::optional<int> pathtype,
                                int number, std::string_view text) {
  if (!Ready(false)) return kGdsFailed;
  if (!FitsText(text)) return kGdsLimitApplied;
  EmptyRecord(kind);
  if (layer) Int16Record(kGdsLayer, *layer);
  if (pathtype) Int16Record(kGdsPathType, *pathtype);
  Int16Record(kGdsUinteger, number);
  TextRecord(kGdsUstring, text);
  return kGdsOk;
}

int GdsWriter::WriteLayerFileRecord(int layer, std::string_view file_name) {
  const int result = NumberedTextKind(kGdsExtLayerFile, {}, {}, layer, file_name);
  if (result == kGdsOk) EmptyRecord(kGdsEndEl);
  return result;
}

int GdsWriter::WriteKind144(int layer, int pathtype, int number, std::string_view text) {
  const int result = NumberedTextKind(kGdsExtKind144, layer, pathtype, number, text);
  if (result == kGdsOk) EmptyRecord(kGdsEndEl);
  return result;
}

int GdsWriter::WriteKind162(int number, int pathtype, std::string_view text) {
  const int result = NumberedTextKind(kGdsExtKind162, {}, pathtype, number, text);
  if (result == kGdsOk) EmptyRecord(kGdsEndEl);
  return result;
}

int GdsWriter::WriteKind167(int number, int pathtype, std::string_view text, double first_real,
                            double second_real, double angle) {
  const int result = NumberedTextKind(kGdsExtKind167, {}, pathtype, number, text);
  if (result != kGdsOk) return result;
  RealRecord(kGdsMag, {first_real, second_real});
  RealRecord(kGdsAngle, {GdsReduceAngle(angle)});
  EmptyRecord(kGdsEndEl);
  return kGdsOk;
}

int GdsWriter::WriteKind169(int number, std::string_view text) {
  const int result = NumberedTextKind(kGdsExtKind169, {}, {}, number, text);
  if (result == kGdsOk) EmptyRecord(kGdsEndEl);
  return result;
}

int GdsWriter::WriteKind168(int number, std::u16string_view characters) {
  if (!Ready(false)) return kGdsFailed;
  if (2 * characters.size() > kGdsMaxRecordData) return kGdsLimitApplied;
  EmptyRecord(kGdsExtKind168);
  Int16Record(kGdsUinteger, number);
  if (Begin(kGdsUstring, kGdsTypeAscii, 2 * characters.size())) {
    for (char16_t c : characters) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)};
      Put(bytes, 2);
    }
  }
  EmptyRecord(kGdsEndEl);
  return kGdsOk;
}

// --- Kinds 160 and 161 ---

int GdsWriter::WriteKind160(std::span<const GdsPoint> points, double angle, int layer, int datatype,
                            double width, int pathtype, int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  if (points.size() < 2) return kGdsLimitApplied;
  const size_t count = std::min(points.size(), kGdsMaxBoundaryPoints);
  // The distance from the first to the third point; a two-point list has no third
  // point, so its last point stands in.
  const GdsPoint& far = points[std::min<size_t>(2, count - 1)];
  const double distance = std::sqrt((points[0].x - far.x) * (points[0].x - far.x) +
                                    (points[0].y - far.y) * (points[0].y - far.y));
  EmptyRecord(kGdsExtKind160);
  ElementFlagRecord();
  Int16Record(kGdsLayer, layer);
  Int16Record(kGdsDataType, datatype);
  Int16Record(kGdsPathType, pathtype);
  Int32Record(kGdsWidth, WidthToDatabase(std::max(width, state_.min_path_width)));
  RealRecord(kGdsMag, {std::fabs(distance)});
  RealRecord(kGdsAngle, {angle});
  XyRecord(points, count, false);
  PropertyRecords(attribute, value);
  EmptyRecord(kGdsEndEl);
  return Finish(count < points.size() ? kGdsLimitApplied : kGdsOk);
}

int GdsWriter::WriteKind161(std::span<const GdsPoint> points, int layer, int nodetype,
                            int attribute, int32_t value) {
  if (!Ready(true)) return kGdsFailed;
  return NodeImpl(kGdsExtKind161, points, layer, nodetype, attribute, value, true);
}

}  // namespace kavrinth
