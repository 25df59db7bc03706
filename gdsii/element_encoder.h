// Encoding of small boundaries and paths into memory, byte for byte as the writer would
// write them, so that a converter can encode elements on several threads and hand the
// blocks to the writer (GdsWriter::WriteEncoded) in their order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "gdsii/writer.h"

namespace kavrinth {

// A growing block of encoded records.
class GdsByteBlock {
 public:
  // Room for at least `length` more bytes; Commit says how many were used.
  uint8_t* Reserve(size_t length) {
    if (bytes_.size() - used_ < length) bytes_.resize(std::max(2 * bytes_.size(), used_ + length));
    return bytes_.data() + used_;
  }
  void Commit(size_t length) { used_ += length; }
  void Clear() { used_ = 0; }
  std::span<const uint8_t> bytes() const { return {bytes_.data(), used_}; }

 private:
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
};

// The writer's settings that decide the bytes of an element, taken when it is made: the
// byte order, the database unit, the element flag and the smallest path width. Safe to
// use from several threads at once.
class GdsElementEncoder {
 public:
  // Boundaries of up to this many points (the last one closing it), paths of up to this
  // many points.
  static constexpr size_t kMaxPoints = 64;

  explicit GdsElementEncoder(const GdsWriter& writer);

  // Appends what WriteBoundary writes for the points (without a property): nothing for
  // fewer than 4 points. More than kMaxPoints points are not encoded (false).
  bool AppendBoundary(std::span<const GdsPoint> points, int layer, int datatype,
                      GdsByteBlock* out) const;
  // Appends what WritePath writes for the points (without a property): nothing for
  // fewer than 2 points. More than kMaxPoints points are not encoded (false).
  bool AppendPath(std::span<const GdsPoint> points, int layer, int datatype, double width,
                  int pathtype, GdsByteBlock* out) const;

 private:
  int32_t ToDatabase(double value) const {
    const double scaled = value / divisor_;
    const double rounded = value >= 0 ? scaled + 0.5 : scaled - 0.5;
    if (rounded > -2147483649.0 && rounded < 2147483648.0) return static_cast<int32_t>(rounded);
    return Saturate(rounded);
  }
  static int32_t Saturate(double value);

  GdsByteOrder order_;
  double divisor_;
  double min_path_width_;
  bool element_flag_;
  bool ready_;  // a library is open and its unit converts coordinates
};

}  // namespace kavrinth
