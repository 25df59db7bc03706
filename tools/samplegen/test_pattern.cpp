// The mask test pattern: its structures, its GDSII library and its flattened shapes.
#include "tools/samplegen/test_pattern.h"

#include <cmath>
#include <numbers>
#include <span>

namespace kavrinth::samplegen {
namespace {

using Kind = PatternElementKind;

// Microns to database units.
constexpr int32_t Um(double microns) { return static_cast<int32_t>(std::lround(microns * 1000)); }
GdsIntPoint At(double x, double y) { return {Um(x), Um(y)}; }

PatternElement Shape(Kind kind, int layer, std::vector<GdsIntPoint> points) {
  PatternElement e;
  e.kind = kind;
  e.layer = layer;
  e.points = std::move(points);
  return e;
}

PatternElement Boundary(int layer, std::vector<GdsIntPoint> points) {
  return Shape(Kind::kBoundary, layer, std::move(points));
}

PatternElement Rectangle(int layer, double x0, double y0, double x1, double y1) {
  return Boundary(layer, {At(x0, y0), At(x1, y0), At(x1, y1), At(x0, y1)});
}

PatternElement Box(int layer, double x0, double y0, double x1, double y1) {
  return Shape(Kind::kBox, layer, {At(x0, y0), At(x1, y0), At(x1, y1), At(x0, y1)});
}

PatternElement Path(int layer, double width, int pathtype, std::vector<GdsIntPoint> points) {
  PatternElement e = Shape(Kind::kPath, layer, std::move(points));
  e.width = Um(width);
  e.pathtype = pathtype;
  return e;
}

PatternElement Text(int layer, double x, double y, double height, std::string text) {
  PatternElement e = Shape(Kind::kText, layer, {At(x, y)});
  e.width = Um(height);
  e.name = std::move(text);
  return e;
}

PatternElement Sref(std::string name, double x, double y, double angle = 0, bool reflect = false,
                    double magnification = 1) {
  PatternElement e = Shape(Kind::kSref, 0, {At(x, y)});
  e.name = std::move(name);
  e.magnification = magnification;
  e.angle = angle;
  e.reflect = reflect;
  return e;
}

PatternElement Aref(std::string name, GdsIntPoint origin, GdsIntPoint column_end,
                    GdsIntPoint row_end, int columns, int rows, double angle) {
  PatternElement e = Shape(Kind::kAref, 0, {origin, column_end, row_end});
  e.name = std::move(name);
  e.angle = angle;
  e.columns = columns;
  e.rows = rows;
  return e;
}

// An alignment cross with a flag in one quadrant, so that every turn and mirror of a
// placement shows.
PatternStructure Cross() {
  return {"CROSS",
          {Rectangle(1, -20, -4, 20, 4), Rectangle(1, -4, -20, 4, 20), Rectangle(1, 8, 8, 16, 16)}};
}

// A grating of five 4-micron lines at an 8-micron pitch (the last with extended ends)
// and an L-shaped line.
PatternStructure Bars() {
  PatternStructure bars{"BARS", {}};
  for (int i = 0; i < 5; ++i) {
    bars.elements.push_back(Path(2, 4, i == 4 ? 2 : 0, {At(8 * i, 0), At(8 * i, 60)}));
  }
  bars.elements.push_back(Path(2, 4, 0, {At(44, 0), At(44, 60), At(64, 60)}));
  return bars;
}

// Vernier ticks: nine 2-micron boxes at a 6-micron pitch, the middle one longer.
PatternStructure Vernier() {
  PatternStructure vernier{"VERNIER", {}};
  for (int i = 0; i < 9; ++i) {
    vernier.elements.push_back(Box(4, 6 * i, 0, 6 * i + 2, i == 4 ? 30 : 20));
  }
  return vernier;
}

// Shapes off the Manhattan grid, and a rectangle that becomes one when the cell is turned.
PatternStructure Wedges() {
  const double run = 60 * std::cos(std::numbers::pi / 6);
  return {"WEDGES",
          {Boundary(3, {At(0, 0), At(40, 0), At(0, 40)}),
           Boundary(3, {At(70, 0), At(90, 0), At(100, 10), At(100, 30), At(90, 40), At(70, 40),
                        At(60, 30), At(60, 10)}),
           Boundary(3, {At(140, 0), At(160, 20), At(140, 40), At(120, 20)}),
           Path(3, 4, 0, {At(180, 0), At(180 + run, 30)}), Rectangle(3, 240, 0, 280, 20)}};
}

// The marks of the pattern: a cross in each corner of the field, turned a quarter
// further at each, the last one mirrored, a cross at twice the size, and two verniers.
PatternStructure Marks() {
  return {"MARKS",
          {Sref("CROSS", 60, 60), Sref("CROSS", 940, 60, 90), Sref("CROSS", 940, 940, 180),
           Sref("CROSS", 60, 940, 270, true), Sref("CROSS", 500, 880, 0, false, 2),
           Sref("VERNIER", 400, 40), Sref("VERNIER", 40, 400, 90)}};
}

PatternStructure Top() {
  PatternStructure top{std::string(kTestPatternTop), {}};
  // The frame: a square ring, its hole joined to the outline by a cut line.
  top.elements.push_back(
      Boundary(1, {At(0, 0), At(1000, 0), At(1000, 1000), At(0, 1000), At(0, 500), At(20, 500),
                   At(20, 980), At(980, 980), At(980, 20), At(20, 20), At(20, 500), At(0, 500)}));
  top.elements.push_back(Sref("MARKS", 0, 0));
  // Gratings: three columns by two rows, and two by two turned a quarter.
  top.elements.push_back(
      Aref("BARS", At(100, 100), At(100 + 3 * 80, 100), At(100, 100 + 2 * 100), 3, 2, 0));
  top.elements.push_back(
      Aref("BARS", At(880, 400), At(880, 400 + 2 * 80), At(880 - 2 * 100, 400), 2, 2, 90));
  top.elements.push_back(Sref("WEDGES", 300, 600));
  top.elements.push_back(Sref("WEDGES", 300, 700, 30));
  top.elements.push_back(Text(kTestPatternTextLayer, 300, 500, 20, "TEST PATTERN"));
  return top;
}

int WriteElement(GdsWriter& writer, const PatternElement& e) {
  const std::span<const GdsIntPoint> points(e.points);
  switch (e.kind) {
    case Kind::kBoundary: {
      // The writer takes the closing point as part of the list.
      std::vector<GdsIntPoint> closed = e.points;
      closed.push_back(e.points.front());
      return writer.WriteBoundaryEx(std::span<const GdsIntPoint>(closed), e.layer, 0, 0, 0);
    }
    case Kind::kBox:
      return writer.WriteBox(points, e.layer, 0, 0, 0);
    case Kind::kPath:
      return writer.WritePathEx(points, e.layer, 0, e.width, e.pathtype, 0, 0);
    case Kind::kSref:
      return writer.WriteSrefEx(e.name, e.points[0], e.magnification, e.angle, e.reflect, 0, 0);
    case Kind::kAref:
      return writer.WriteArefEx(e.name, points, std::nullopt, e.columns, e.rows, e.magnification,
                                e.angle, e.reflect, 0, 0);
    case Kind::kText:
      return writer.WriteTextEx(e.layer, 0, 0, 0, 0, 0, false, false, int32_t{0}, e.width / 1000.0,
                                0.0, e.points[0], e.name, 0, 0);
  }
  return kGdsFailed;
}

// x' = a x + b y + tx, y' = c x + d y + ty.
struct Transform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  PatternPoint Apply(double x, double y) const { return {a * x + b * y + tx, c * x + d * y + ty}; }
  double Scale() const { return std::sqrt(std::fabs(a * d - b * c)); }
  // This transformation after the inner one.
  Transform Then(const Transform& in) const {
    return {a * in.a + b * in.c, a * in.b + b * in.d,        c * in.a + d * in.c,
            c * in.b + d * in.d, a * in.tx + b * in.ty + tx, c * in.tx + d * in.ty + ty};
  }
};

// GDSII's order: mirror about the x axis, magnify, turn, move.
Transform Placement(const PatternElement& e, double x, double y) {
  const double radians = e.angle * std::numbers::pi / 180;
  const double m = e.magnification;
  const double cs = std::cos(radians) * m, sn = std::sin(radians) * m;
  const double flip = e.reflect ? -1 : 1;
  return {cs, -sn * flip, sn, cs * flip, x, y};
}

// The rectangles of a path's segments, in its structure's coordinates.
std::vector<PatternPolygon> PathRectangles(const PatternElement& path) {
  std::vector<PatternPolygon> pieces;
  const double half = path.width / 2.0;
  for (size_t i = 0; i + 1 < path.points.size(); ++i) {
    const PatternPoint p{double(path.points[i].x), double(path.points[i].y)};
    const PatternPoint q{double(path.points[i + 1].x), double(path.points[i + 1].y)};
    const double length = std::hypot(q.x - p.x, q.y - p.y);
    if (length == 0) continue;
    const double dx = (q.x - p.x) / length, dy = (q.y - p.y) / length;
    const double end_extension = path.pathtype == 2 ? half : 0;
    const double back = i == 0 ? end_extension : half;
    const double ahead = i + 2 == path.points.size() ? end_extension : half;
    const PatternPoint s{p.x - dx * back, p.y - dy * back};
    const PatternPoint e{q.x + dx * ahead, q.y + dy * ahead};
    const double nx = -dy * half, ny = dx * half;
    pieces.push_back(
        {{s.x - nx, s.y - ny}, {e.x - nx, e.y - ny}, {e.x + nx, e.y + ny}, {s.x + nx, s.y + ny}});
  }
  return pieces;
}

class Flattener {
 public:
  explicit Flattener(const std::vector<PatternStructure>& structures) : structures_(structures) {}

  void Walk(std::string_view name, const Transform& placed, int depth = 0) {
    const PatternStructure* structure = Find(name);
    if (structure == nullptr || depth > 32) return;
    for (const PatternElement& e : structure->elements) Element(e, placed, depth);
  }

  std::map<int, std::vector<PatternPolygon>> shapes;
  std::vector<PatternText> texts;

 private:
  const PatternStructure* Find(std::string_view name) const {
    for (const PatternStructure& s : structures_) {
      if (s.name == name) return &s;
    }
    return nullptr;
  }

  void Add(int layer, const PatternPolygon& local, const Transform& placed) {
    PatternPolygon polygon;
    for (const PatternPoint& p : local) polygon.push_back(placed.Apply(p.x, p.y));
    shapes[layer].push_back(std::move(polygon));
  }

  void Element(const PatternElement& e, const Transform& placed, int depth) {
    switch (e.kind) {
      case Kind::kBoundary:
      case Kind::kBox: {
        PatternPolygon polygon;
        for (const GdsIntPoint& p : e.points) polygon.push_back({double(p.x), double(p.y)});
        Add(e.layer, polygon, placed);
        break;
      }
      case Kind::kPath:
        for (const PatternPolygon& piece : PathRectangles(e)) Add(e.layer, piece, placed);
        break;
      case Kind::kSref:
        Walk(e.name, placed.Then(Placement(e, e.points[0].x, e.points[0].y)), depth + 1);
        break;
      case Kind::kAref:
        for (int column = 0; column < e.columns; ++column) {
          for (int row = 0; row < e.rows; ++row) {
            const GdsIntPoint& o = e.points[0];
            const double x = o.x + (e.points[1].x - o.x) * double(column) / e.columns +
                             (e.points[2].x - o.x) * double(row) / e.rows;
            const double y = o.y + (e.points[1].y - o.y) * double(column) / e.columns +
                             (e.points[2].y - o.y) * double(row) / e.rows;
            Walk(e.name, placed.Then(Placement(e, x, y)), depth + 1);
          }
        }
        break;
      case Kind::kText:
        texts.push_back({e.layer, placed.Apply(e.points[0].x, e.points[0].y),
                         e.width * placed.Scale(), e.name});
        break;
    }
  }

  const std::vector<PatternStructure>& structures_;
};

}  // namespace

std::vector<PatternStructure> TestPatternStructures() {
  return {Cross(), Bars(), Vernier(), Wedges(), Marks(), Top()};
}

int WriteTestPattern(const std::string& path, const GdsClock& clock) {
  GdsWriter writer;
  writer.SetClock(clock);
  if (int result =
          writer.OpenLibrary(path, kTestPatternUnit, kTestPatternDatabaseUnit, "", 1.0, false);
      result != kGdsOk) {
    return result;
  }
  writer.SetFlags(kGdsNoSpooling);
  int result = kGdsOk;
  for (const PatternStructure& structure : TestPatternStructures()) {
    if (writer.BeginStructure(structure.name) != kGdsOk) return kGdsFailed;
    for (const PatternElement& element : structure.elements) {
      if (int written = WriteElement(writer, element); written != kGdsOk) result = written;
    }
    writer.EndStructure();
  }
  const int ended = writer.EndLibrary();
  return result != kGdsOk ? result : ended;
}

std::map<int, std::vector<PatternPolygon>> FlattenTestPattern(
    const std::vector<PatternStructure>& structures, std::string_view top) {
  Flattener flattener(structures);
  flattener.Walk(top, Transform());
  return std::move(flattener.shapes);
}

std::vector<PatternText> FlattenedTestPatternTexts(const std::vector<PatternStructure>& structures,
                                                   std::string_view top) {
  Flattener flattener(structures);
  flattener.Walk(top, Transform());
  return std::move(flattener.texts);
}

}  // namespace kavrinth::samplegen
