// Text stroked into flashes.
#include "viewer/edit/edit_text.h"

#include <algorithm>
#include <cmath>

#include "fonts/shx_stroke.h"

namespace kavrinth {
namespace {

// The stroke buffer holds this many words; a longer text is cut at its end.
constexpr int32_t kStrokeCapacity = 32764;
constexpr double kLineSpacing = 1.4;

int64_t RoundAway(double v) {
  return static_cast<int64_t>(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

struct Point2 {
  double x;
  double y;
};

Point2 Transform(Point2 p, int rotation, int mirror) {
  if (mirror & 1) p.x = -p.x;
  if (mirror & 2) p.y = -p.y;
  if (rotation == 0) return {-p.y, p.x};
  if (rotation == 2) return {p.y, -p.x};
  return p;
}

}  // namespace

bool TextRectangles(const ShxFont& font, const std::string& text, const TextPlacement& placement,
                    std::vector<std::array<EditPoint, 3>>* out, int* skipped,
                    std::string* message) {
  out->clear();
  *skipped = 0;
  std::string body = text;
  while (!body.empty() && (body.back() == '\r' || body.back() == '\n')) body.pop_back();
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) {
    *message = "There is no text to add.";
    return false;
  }
  const double h = font.height_above;
  if (h <= 0 || font.words.empty()) {
    *message = "The text font has no character height.";
    return false;
  }
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = body.find_first_of("\r\n", start);
    lines.push_back(body.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + (body.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  // Stroke the lines, the first at the top.
  std::vector<std::vector<Point2>> polygons;
  std::vector<int32_t> buffer(kStrokeCapacity);
  double max_width = 0;
  const size_t breaks = lines.size() - 1;
  const double total_height = std::trunc(h * kLineSpacing * breaks + 0.5) + h;
  int32_t room = kStrokeCapacity;
  for (size_t n = 0; n < lines.size() && room > 0; ++n) {
    const double offset = std::trunc(h * kLineSpacing * (breaks - n) + 0.5);
    int32_t lx = 0;
    int32_t ly = 0;
    std::fill(buffer.begin(), buffer.end(), kShxTextEnd);
    StrokeShxText(lines[n], font.words, font.index, buffer.data(), room, lx, ly);
    max_width = std::max<double>(max_width, lx);
    std::vector<Point2> current;
    int32_t used = 0;
    for (int32_t i = 0; i < room; ++i) {
      const int32_t v = buffer[i];
      used = i + 1;
      if (v == kShxTextEnd) break;
      if (v == kShxPolylineEnd) {
        if (!current.empty()) polygons.push_back(std::move(current));
        current.clear();
        continue;
      }
      if (v == kShxPenDownAgain) continue;
      if (i + 1 >= room) break;
      current.push_back({static_cast<double>(v), buffer[i + 1] + offset});
      ++i;
    }
    // The last polygon of a line is kept as well.
    if (!current.empty()) polygons.push_back(std::move(current));
    room -= used;
  }
  // Scale and origin.
  double sx = 1;
  double sy = 1;
  Point2 origin{static_cast<double>(placement.box.min_x), static_cast<double>(placement.box.min_y)};
  if (placement.height > 0) {
    sx = sy = placement.height / h;
  } else {
    const Point2 a = Transform({0, 0}, placement.rotation, placement.mirror);
    const Point2 b = Transform({max_width, total_height}, placement.rotation, placement.mirror);
    const double tw = std::fabs(b.x - a.x);
    const double th = std::fabs(b.y - a.y);
    const double bw = static_cast<double>(placement.box.max_x) - placement.box.min_x;
    const double bh = static_cast<double>(placement.box.max_y) - placement.box.min_y;
    if (tw <= 0 || th <= 0 || bw <= 0 || bh <= 0) {
      *message = "Give a text height or drag a box for the text.";
      return false;
    }
    sx = bw / tw;
    sy = bh / th;
    static constexpr int kCorner[12] = {1, 2, 0, 3, 0, 1, 3, 2, 3, 0, 2, 1};
    const int index = std::clamp(placement.rotation, 0, 2) * 4 + (placement.mirror & 3);
    const GdxRect& r = placement.box;
    const std::array<Point2, 4> corners = {Point2{double(r.min_x), double(r.min_y)},
                                           {double(r.max_x), double(r.min_y)},
                                           {double(r.max_x), double(r.max_y)},
                                           {double(r.min_x), double(r.max_y)}};
    origin = corners[kCorner[index]];
  }
  // Strokes that are not rectangles (the lines of a line font) become one rectangle per
  // segment, a stroke width wide: an eighth of the character height.
  const double stroke = std::max(1.0, std::floor(h * std::fabs(sy) / 8.0 + 0.5));
  for (const std::vector<Point2>& polygon : polygons) {
    std::vector<EditPoint> points;
    for (const Point2& p : polygon) {
      const Point2 t = Transform(p, placement.rotation, placement.mirror);
      const EditPoint e{static_cast<int32_t>(RoundAway(t.x * sx + origin.x)),
                        static_cast<int32_t>(RoundAway(t.y * sy + origin.y))};
      if (points.empty() || !(points.back() == e)) points.push_back(e);
    }
    const bool closed = points.size() > 2 && points.front() == points.back();
    if (closed) points.pop_back();
    FlashValues flash;
    FlashCorners corners;
    if (closed && points.size() == 4 &&
        NormaliseRectangle(points[0], points[1], points[2], &flash, &corners)) {
      out->push_back({points[0], points[1], points[2]});
      continue;
    }
    if (closed) points.push_back(points.front());
    if (points.size() < 2) {
      ++*skipped;
      continue;
    }
    for (size_t i = 0; i + 1 < points.size(); ++i) {
      const double dx = static_cast<double>(points[i + 1].x) - points[i].x;
      const double dy = static_cast<double>(points[i + 1].y) - points[i].y;
      const double length = std::hypot(dx, dy);
      if (length == 0) continue;
      const double nx = -dy / length * stroke / 2;
      const double ny = dx / length * stroke / 2;
      // Each end is extended by half the stroke so that joined segments meet.
      const double ex = dx / length * stroke / 2;
      const double ey = dy / length * stroke / 2;
      const auto at = [](double x, double y) {
        return EditPoint{static_cast<int32_t>(RoundAway(x)), static_cast<int32_t>(RoundAway(y))};
      };
      const EditPoint p0 = at(points[i].x - ex - nx, points[i].y - ey - ny);
      const EditPoint p1 = at(points[i + 1].x + ex - nx, points[i + 1].y + ey - ny);
      const EditPoint p2 = at(points[i + 1].x + ex + nx, points[i + 1].y + ey + ny);
      if (NormaliseRectangle(p0, p1, p2, &flash, &corners)) {
        out->push_back({p0, p1, p2});
      } else {
        ++*skipped;
      }
    }
  }
  if (out->empty()) {
    *message = "The text's strokes make no rectangles.";
    return false;
  }
  return true;
}

}  // namespace kavrinth
