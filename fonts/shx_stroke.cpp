// SHX text stroking: the interpreter of the word table, with its pen, scale, call and
// position stacks, writing polylines into a caller's buffer of fixed capacity.
#include "fonts/shx_stroke.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "fonts/shx_font.h"
#include "support/numeric_guards.h"

namespace kavrinth {
namespace {

constexpr double kDegree = 3.141592653589793 / 180;
constexpr double kStartScale = 10.0;
// Below this tangent of half its angle a bulge arc is a straight move.
constexpr double kStraightBulgeTangent = 0.001;
// Arcs are written in steps of at most this many degrees.
constexpr double kArcStepDegrees = 4.0;

// Rounded half away from zero, kept inside the 32-bit range.
int32_t RoundToInt32(double value) {
  if (!(value == value)) return 0;
  value = std::clamp(value, -2147483648.0, 2147483647.0);
  return static_cast<int32_t>(std::llround(value));
}

class ShxStroker {
 public:
  ShxStroker(std::span<const int16_t> words, std::span<const int32_t> index, int32_t* output,
             int32_t capacity)
      : words_(words), index_(index), output_(output), capacity_(std::max(capacity, 0)) {}

  bool Defined(int code) const {
    return code >= 0 && static_cast<size_t>(code) < index_.size() && index_[code] >= 0 &&
           static_cast<size_t>(index_[code]) < words_.size();
  }
  int StrokeCharacter(int code);
  int EndText() { return Value(kShxTextEnd); }
  int32_t largest_x() const { return largest_x_; }
  int32_t largest_y() const { return largest_y_; }

 private:
  int Value(int32_t value) {
    if (out_ >= capacity_) return kShxStrokeFull;
    if (output_) output_[out_] = value;
    ++out_;
    return kShxStrokeDone;
  }
  int Point(double x, double y);
  int MoveTo(double x, double y);
  int MoveBy(double dx, double dy) { return MoveTo(x_ + dx * scale_, y_ + dy * scale_); }
  void Reached() {
    largest_x_ = std::max(largest_x_, RoundToInt32(x_));
    largest_y_ = std::max(largest_y_, RoundToInt32(y_));
  }
  int Fault(const char* format, int value, size_t place) {
    std::printf(format, value, static_cast<int>(place));
    std::fflush(stdout);
    return kShxStrokeFault;
  }
  bool Next(int& word) {
    if (pos_ >= words_.size()) return false;
    word = words_[pos_++];
    ++words_read_;
    return true;
  }

  int Run();
  int Command(int word, size_t place);
  int PenDown();
  int FinishPolyline();
  int Vector(int word);
  int Arc(int dx, int dy, int bulge);
  int List(int word, size_t place);
  int Push(size_t place);
  int Pop(size_t place);
  int Call(size_t place);

  std::span<const int16_t> words_;
  std::span<const int32_t> index_;
  int32_t* output_;
  int32_t capacity_;
  int32_t out_ = 0;

  double x_ = 0;
  double y_ = 0;
  double scale_ = kStartScale;
  bool pen_down_ = true;
  int32_t points_ = 0;          // in the current polyline
  int32_t polyline_start_ = 0;  // where it began in the output
  std::array<int32_t, 4> first_points_{};
  std::vector<size_t> calls_;
  std::vector<std::array<double, 2>> positions_;
  size_t pos_ = 0;
  int words_read_ = 0;
  int32_t largest_x_ = 0;
  int32_t largest_y_ = 0;
};

int ShxStroker::StrokeCharacter(int code) {
  scale_ = kStartScale;
  pen_down_ = true;
  points_ = 0;
  polyline_start_ = out_;
  calls_.clear();
  positions_.clear();
  pos_ = static_cast<size_t>(index_[code]);
  words_read_ = 0;
  return Run();
}

int ShxStroker::Run() {
  for (;;) {
    if (words_read_ >= kShxCharacterWordLimit) return FinishPolyline();
    size_t place = pos_;
    int word = 0;
    if (!Next(word)) {
      return Fault("\n\n Bad Code encountered in FONT table %d  @ %d\n\n", 0, place);
    }
    if (word == kShxEndOfShape) {
      if (calls_.empty()) return FinishPolyline();
      pos_ = calls_.back();  // a called character's end returns to its caller
      calls_.pop_back();
      continue;
    }
    if (int result = Command(word, place); result != kShxStrokeDone) return result;
  }
}

int ShxStroker::Command(int word, size_t place) {
  if (word >= 16 && word <= 255) return Vector(word);
  int operand = 0, dx = 0, dy = 0, bulge = 0;
  switch (word) {
    case kShxPenDown:
      return PenDown();
    case kShxPenUp:
      return FinishPolyline();
    case kShxDivideScale:
      if (!Next(operand)) break;
      if (operand != 0) scale_ /= operand;
      return kShxStrokeDone;
    case kShxMultiplyScale:
      if (!Next(operand)) break;
      scale_ *= operand;
      return kShxStrokeDone;
    case kShxPushPosition:
      return Push(place);
    case kShxPopPosition:
      return Pop(place);
    case kShxCallCharacter:
      return Call(place);
    case kShxDisplacement:
      if (!Next(dx) || !Next(dy)) break;
      return MoveBy(dx, dy);
    case kShxBulgeArc:
      if (!Next(dx) || !Next(dy) || !Next(bulge)) break;
      return Arc(dx, dy, bulge);
    case kShxDisplacementList:
    case kShxBulgeArcList:
      return List(word, place);
    default:
      break;
  }
  return Fault("\n\n Bad Code encountered in FONT table %d  @ %d\n\n", word, place);
}

int ShxStroker::Point(double x, double y) {
  int32_t ix = RoundToInt32(x), iy = RoundToInt32(y);
  if (points_ < 2) {
    first_points_[2 * points_] = ix;
    first_points_[2 * points_ + 1] = iy;
  }
  ++points_;
  if (int result = Value(ix); result != kShxStrokeDone) return result;
  return Value(iy);
}

// Every move with the pen down writes its start point; its end point is written by
// the next move or when the polyline ends.
int ShxStroker::MoveTo(double x, double y) {
  if (pen_down_) {
    if (int result = Point(x_, y_); result != kShxStrokeDone) return result;
  }
  x_ = x;
  y_ = y;
  Reached();
  return kShxStrokeDone;
}

int ShxStroker::PenDown() {
  if (!pen_down_) {
    pen_down_ = true;
    points_ = 0;
    polyline_start_ = out_;
    return kShxStrokeDone;
  }
  if (int result = Point(x_, y_); result != kShxStrokeDone) return result;
  return Value(kShxPenDownAgain);
}

// Writes the current point and ends the polyline; a single point, or two equal
// points, draw nothing and are taken back.
int ShxStroker::FinishPolyline() {
  if (!pen_down_) return kShxStrokeDone;
  pen_down_ = false;
  if (int result = Point(x_, y_); result != kShxStrokeDone) return result;
  bool single = points_ == 1;
  bool equal_pair =
      points_ == 2 && first_points_[0] == first_points_[2] && first_points_[1] == first_points_[3];
  points_ = 0;
  if (single || equal_pair) {
    out_ = polyline_start_;
    return kShxStrokeDone;
  }
  return Value(kShxPolylineEnd);
}

// A vector word: length in the high nibble, direction in the low one, the step taken
// on the 2-by-2 square so that diagonals move one unit in x and in y.
int ShxStroker::Vector(int word) {
  int length = word >> 4;
  double angle = ShxDirectionAngle(word & 15);
  double c = std::cos(angle), s = std::sin(angle);
  double step = std::max(std::fabs(c), std::fabs(s));
  return MoveBy(length * c / step, length * s / step);
}

int ShxStroker::Arc(int dx, int dy, int bulge) {
  double ex = x_ + dx * scale_, ey = y_ + dy * scale_;
  double b = std::clamp(bulge / 127.0, -1.0, 1.0);
  double sweep = 4 * std::atan(b);
  double tangent = 0;
  SafeTan(sweep / 2, &tangent);
  double chord = std::hypot(ex - x_, ey - y_);
  if (std::fabs(tangent) < kStraightBulgeTangent || chord == 0) return MoveTo(ex, ey);
  // The centre lies on the chord's normal, on the left for a counter-clockwise arc.
  double ux = (ex - x_) / chord, uy = (ey - y_) / chord;
  double offset = chord / 2 * (1 - b * b) / (2 * b);
  double cx = (x_ + ex) / 2 - uy * offset, cy = (y_ + ey) / 2 + ux * offset;
  double radius = chord * (1 + b * b) / (4 * std::fabs(b));
  double start = 0;
  SafeAtan2(y_ - cy, x_ - cx, &start);
  double start_degrees = start / kDegree, sweep_degrees = sweep / kDegree;
  int steps = static_cast<int>(std::fabs(sweep_degrees) / kArcStepDegrees + 1);
  for (int k = 1; k < steps; ++k) {
    double a = (start_degrees + sweep_degrees * k / steps) * kDegree;
    if (int r = MoveTo(cx + radius * std::cos(a), cy + radius * std::sin(a)); r != 0) return r;
  }
  return MoveTo(ex, ey);  // the last step ends on the arc's own end point
}

int ShxStroker::List(int word, size_t place) {
  int count = 0;
  if (!Next(count)) {
    return Fault("\n\n Bad Code encountered in FONT table %d  @ %d\n\n", word, place);
  }
  for (int i = 0; i < count; ++i) {
    int dx = 0, dy = 0, bulge = 0;
    bool read = Next(dx) && Next(dy) && (word == kShxDisplacementList || Next(bulge));
    if (!read) return Fault("\n\n Bad Code encountered in FONT table %d  @ %d\n\n", word, place);
    int result = word == kShxDisplacementList ? MoveBy(dx, dy) : Arc(dx, dy, bulge);
    if (result != kShxStrokeDone) return result;
  }
  return kShxStrokeDone;
}

int ShxStroker::Push(size_t place) {
  if (positions_.size() >= kShxStrokeStackDepth) {
    return Fault("\n\n Text LOC SHX nesting too deep %d  @ %d\n\n",
                 static_cast<int>(positions_.size()) + 1, place);
  }
  positions_.push_back({x_, y_});
  return kShxStrokeDone;
}

int ShxStroker::Pop(size_t place) {
  if (int result = FinishPolyline(); result != kShxStrokeDone) return result;
  if (positions_.empty()) return Fault("\n\n Text LOC SHX Underflow %d  @ %d\n\n", 0, place);
  x_ = positions_.back()[0];
  y_ = positions_.back()[1];
  positions_.pop_back();
  Reached();
  return kShxStrokeDone;
}

int ShxStroker::Call(size_t place) {
  int code = 0;
  if (!Next(code)) {
    return Fault("\n\n Bad Code encountered in FONT table %d  @ %d\n\n", kShxCallCharacter, place);
  }
  if (!Defined(code)) return kShxStrokeDone;
  if (calls_.size() >= kShxStrokeStackDepth) {
    return Fault("\n\n Text SHX nesting too deep %d  @ %d\n\n", static_cast<int>(calls_.size()) + 1,
                 place);
  }
  calls_.push_back(pos_);
  pos_ = static_cast<size_t>(index_[code]);
  return kShxStrokeDone;
}

// Entry 0 holds the table's own values and an undefined character -1: neither has a
// size, so only defined characters count.
const ShxCharMetrics* MetricsOf(unsigned char c, const std::vector<ShxCharMetrics>& metrics) {
  if (c == 0 || c >= metrics.size() || metrics[c].advance < 0) return nullptr;
  return &metrics[c];
}

}  // namespace

int StrokeShxText(std::string_view text, std::span<const int16_t> words,
                  std::span<const int32_t> index, int32_t* output, int32_t capacity,
                  int32_t& largest_x, int32_t& largest_y) {
  ShxStroker stroker(words, index, output, capacity);
  int result = kShxStrokeDone;
  for (unsigned char c : text) {
    if (!stroker.Defined(c)) continue;
    result = stroker.StrokeCharacter(c);
    if (result != kShxStrokeDone) break;
  }
  if (result == kShxStrokeDone) result = stroker.EndText();
  largest_x = stroker.largest_x();
  largest_y = stroker.largest_y();
  return result;
}

void MeasureShxCharacters(std::span<const int16_t> words, std::span<const int32_t> index,
                          int32_t value, int32_t highest, std::vector<ShxCharMetrics>& metrics) {
  metrics.assign(static_cast<size_t>(std::max(highest, 0)) + 1, ShxCharMetrics{});
  metrics[0] = {value, highest};
  for (int32_t code = 1; code <= highest; ++code) {
    if (code >= static_cast<int32_t>(index.size()) || index[code] < 0) continue;
    std::string text(1, static_cast<char>(code));
    int32_t x = 0, y = 0;
    StrokeShxText(text, words, index, nullptr, kShxMeasureCapacity, x, y);
    metrics[code] = {x, y};
  }
}

int32_t ShxTextWidth(std::string_view text, const std::vector<ShxCharMetrics>& metrics) {
  int64_t width = 0;
  for (unsigned char c : text) {
    if (const ShxCharMetrics* m = MetricsOf(c, metrics)) width += m->advance;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
}

int32_t ShxTextHeight(std::string_view text, const std::vector<ShxCharMetrics>& metrics) {
  int32_t height = 0;
  for (unsigned char c : text) {
    if (const ShxCharMetrics* m = MetricsOf(c, metrics)) height = std::max(height, m->height);
  }
  return height;
}

}  // namespace kavrinth
