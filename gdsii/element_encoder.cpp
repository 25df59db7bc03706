// Boundaries and paths encoded into memory with the writer's settings.
#include "gdsii/element_encoder.h"

#include <cmath>
#include <limits>

namespace kavrinth {

namespace {

// Writes records at a cursor; the caller reserved room for them.
class RecordCursor {
 public:
  RecordCursor(uint8_t* out, GdsByteOrder order) : start_(out), out_(out), order_(order) {}
  void Header(int record_type, int data_type, size_t data_length) {
    const auto length = static_cast<uint32_t>(kGdsRecordHeaderSize + data_length);
    Put32(static_cast<int32_t>((length << 16) | ((record_type & 0xFF) << 8) | (data_type & 0xFF)));
  }
  void Put16(int32_t value) {
    GdsPutInt16(value, std::span<uint8_t, 2>(out_, 2), order_);
    out_ += 2;
  }
  void Put32(int32_t value) {
    GdsPutInt32(value, std::span<uint8_t, 4>(out_, 4), order_);
    out_ += 4;
  }
  void Int16Record(int record_type, int32_t value, int data_type = kGdsTypeInt16) {
    Header(record_type, data_type, 2);
    Put16(value);
  }
  size_t used() const { return static_cast<size_t>(out_ - start_); }

 private:
  uint8_t* start_;
  uint8_t* out_;
  GdsByteOrder order_;
};

// Element, ELFLAGS, LAYER, DATATYPE, PATHTYPE, WIDTH, the XY header and ENDEL.
constexpr size_t kMostFrameBytes = 4 + 6 + 6 + 6 + 6 + 8 + 4 + 4;

}  // namespace

GdsElementEncoder::GdsElementEncoder(const GdsWriter& writer)
    : order_(writer.byte_order()),
      divisor_(writer.coordinate_divisor()),
      min_path_width_(writer.min_path_width()),
      element_flag_(writer.element_flag()),
      ready_(writer.library_open() && writer.coordinate_divisor() > 0) {}

int32_t GdsElementEncoder::Saturate(double value) {
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  value = std::trunc(value);
  if (value >= kMin && value <= kMax) return static_cast<int32_t>(value);
  if (std::isnan(value)) return 0;
  return value < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
}

bool GdsElementEncoder::AppendBoundary(std::span<const GdsPoint> points, int layer, int datatype,
                                       GdsByteBlock* out) const {
  if (points.size() > kMaxPoints) return false;
  if (!ready_ || points.size() < 4) return true;
  const size_t count = points.size();
  RecordCursor cursor(out->Reserve(kMostFrameBytes + 8 * count), order_);
  cursor.Header(kGdsBoundary, kGdsTypeNone, 0);
  if (element_flag_) cursor.Int16Record(kGdsElFlags, 1, kGdsTypeBitArray);
  cursor.Int16Record(kGdsLayer, layer);
  cursor.Int16Record(kGdsDataType, datatype);
  cursor.Header(kGdsXy, kGdsTypeInt32, 8 * count);
  for (size_t i = 0; i + 1 < count; ++i) {
    cursor.Put32(ToDatabase(points[i].x));
    cursor.Put32(ToDatabase(points[i].y));
  }
  // The last point is always the first again, whatever the list holds there.
  cursor.Put32(ToDatabase(points[0].x));
  cursor.Put32(ToDatabase(points[0].y));
  cursor.Header(kGdsEndEl, kGdsTypeNone, 0);
  out->Commit(cursor.used());
  return true;
}

bool GdsElementEncoder::AppendPath(std::span<const GdsPoint> points, int layer, int datatype,
                                   double width, int pathtype, GdsByteBlock* out) const {
  if (points.size() > kMaxPoints) return false;
  if (!ready_ || points.size() < 2) return true;
  const size_t count = points.size();
  RecordCursor cursor(out->Reserve(kMostFrameBytes + 8 * count), order_);
  cursor.Header(kGdsPath, kGdsTypeNone, 0);
  if (element_flag_) cursor.Int16Record(kGdsElFlags, 1, kGdsTypeBitArray);
  cursor.Int16Record(kGdsLayer, layer);
  cursor.Int16Record(kGdsDataType, datatype);
  cursor.Int16Record(kGdsPathType, pathtype);
  cursor.Header(kGdsWidth, kGdsTypeInt32, 4);
  cursor.Put32(Saturate(std::max(width, min_path_width_) / divisor_ + 0.5));
  cursor.Header(kGdsXy, kGdsTypeInt32, 8 * count);
  for (const GdsPoint& point : points) {
    cursor.Put32(ToDatabase(point.x));
    cursor.Put32(ToDatabase(point.y));
  }
  cursor.Header(kGdsEndEl, kGdsTypeNone, 0);
  out->Commit(cursor.used());
  return true;
}

}  // namespace kavrinth
