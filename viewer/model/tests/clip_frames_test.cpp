// Tests of frame clipping against an independent polygon library (used only here): per
// frame the clipped pieces cover the area of the polygon inside the frame, stay in their
// frame and are neither lost nor doubled, on named awkward shapes and seeded random ones;
// then the pieces go through WF2 and are scanned back with the same areas.
#include "viewer/model/clip_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <polyclipping/clipper.hpp>
#include <random>
#include <string>
#include <vector>

#include "viewer/model/gdsformat_writer.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"
#include "wf2_test_support.h"

namespace kavrinth {
namespace {

using testing::ReadBytes;

// The pattern: 3 columns of frames 1000 units wide and 4 rows 800 high, on a grid of one
// unit, as the frame clipping is used (its clean-up works in tenths of a unit). Shapes
// are drawn on a tenth of that scale and clipped from integers in hundredths of a unit.
constexpr double kShapeScale = 10;
constexpr double kUnit = 1.0;
constexpr double kFrameWidth = 1000;
constexpr double kFrameHeight = 800;
constexpr int kColumns = 3;
constexpr int kRows = 4;
constexpr double kScale = 0.01;
constexpr double kFrameArea = kFrameWidth * kFrameHeight;
constexpr double kHundredthsPerFrameX = kFrameWidth * 100;
constexpr double kHundredthsPerFrameY = kFrameHeight * 100;
// Clipped areas agree with the reference within a thousandth of a frame's area, in every
// frame and over all frames. The clipping's own clean-up accounts for the difference:
// vertices within 0.01 unit of a frame line move onto its inner side, points closer than
// 0.1 unit merge, and vertices where the outline turns by less than half a degree go
// (straight runs, and the tips of hairline spikes and notches).
constexpr double kAreaTolerance = 1e-3 * kFrameArea;

using Point = std::array<double, 2>;
using Frame = std::pair<int, int>;  // column, row (rows counted upwards)

struct Shape {
  std::string name;
  std::vector<Point> outline;  // micrometres, not closed
};

std::vector<int32_t> Hundredths(const std::vector<Point>& outline) {
  std::vector<int32_t> ints;
  for (const Point& p : outline) {
    ints.push_back(static_cast<int32_t>(std::lround(p[0] * kShapeScale * 100)));
    ints.push_back(static_cast<int32_t>(std::lround(p[1] * kShapeScale * 100)));
  }
  ints.push_back(ints[0]);
  ints.push_back(ints[1]);
  return ints;
}

double Area(const std::vector<Point>& ring) {
  double twice = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    const Point& a = ring[i];
    const Point& b = ring[(i + 1) % ring.size()];
    twice += a[0] * b[1] - b[0] * a[1];
  }
  return twice / 2;
}

double Perimeter(const std::vector<Point>& ring) {
  double length = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    const Point& a = ring[i];
    const Point& b = ring[(i + 1) % ring.size()];
    length += std::hypot(b[0] - a[0], b[1] - a[1]);
  }
  return length;
}

// The reference: the polygon's area inside each frame, by the independent library.
std::map<Frame, double> ReferenceAreas(const std::vector<int32_t>& ints) {
  ClipperLib::Path subject;
  for (size_t i = 0; i + 2 < ints.size(); i += 2) subject.push_back({ints[i], ints[i + 1]});
  std::map<Frame, double> areas;
  for (int c = 0; c < kColumns; ++c) {
    for (int r = 0; r < kRows; ++r) {
      const auto x0 = static_cast<ClipperLib::cInt>(c * kHundredthsPerFrameX);
      const auto y0 = static_cast<ClipperLib::cInt>(r * kHundredthsPerFrameY);
      const auto x1 = static_cast<ClipperLib::cInt>(x0 + kHundredthsPerFrameX);
      const auto y1 = static_cast<ClipperLib::cInt>(y0 + kHundredthsPerFrameY);
      ClipperLib::Path frame = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
      ClipperLib::Clipper clipper;
      clipper.AddPath(subject, ClipperLib::ptSubject, true);
      clipper.AddPath(frame, ClipperLib::ptClip, true);
      ClipperLib::Paths solution;
      clipper.Execute(ClipperLib::ctIntersection, solution, ClipperLib::pftNonZero,
                      ClipperLib::pftNonZero);
      double area = 0;
      for (const auto& path : solution) area += ClipperLib::Area(path);
      if (area != 0) areas[{c, r}] = std::fabs(area) / 1e4;
    }
  }
  return areas;
}

// ---- Named shapes ----

std::vector<Point> Rectangle(double x0, double y0, double x1, double y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// A base with fourteen teeth 7 um wide standing on it.
std::vector<Point> Comb() {
  std::vector<Point> points = {{10, 10}, {290, 10}, {290, 30}};
  for (int tooth = 13; tooth >= 0; --tooth) {
    const double x = 12 + tooth * 20;
    points.insert(points.end(), {{x + 7, 30}, {x + 7, 310}, {x, 310}, {x, 30}});
  }
  points.push_back({10, 30});
  return points;
}

// A band between two turns of an Archimedean spiral, four turns round the pattern's middle.
std::vector<Point> Spiral() {
  std::vector<Point> outer, inner;
  const double turn = 2 * std::numbers::pi;
  for (double t = 0; t <= 4 * turn; t += 0.05) {
    const double r = 8 + 30 * t / turn;
    outer.push_back({150 + (r + 12) * std::cos(t), 160 + (r + 12) * std::sin(t)});
    inner.push_back({150 + r * std::cos(t), 160 + r * std::sin(t)});
  }
  outer.insert(outer.end(), inner.rbegin(), inner.rend());
  return outer;
}

// A square with a round hole reached from its top edge by a slit 0.5 um wide.
std::vector<Point> Keyhole() {
  std::vector<Point> points = {{149.75, 280}, {40, 280},  {40, 40},
                               {260, 40},     {260, 280}, {150.25, 280}};
  const double radius = 60;
  const double gap = std::asin(0.25 / radius);
  for (int i = 0; i <= 200; ++i) {
    // From the slit's right side round the hole clockwise to its left side.
    const double a = std::numbers::pi / 2 - gap - i * (2 * std::numbers::pi - 2 * gap) / 200;
    points.push_back({150 + radius * std::cos(a), 160 + radius * std::sin(a)});
  }
  return points;
}

std::vector<Shape> NamedShapes() {
  return {
      {"U",
       {{20, 20}, {280, 20}, {280, 300}, {200, 300}, {200, 60}, {100, 60}, {100, 300}, {20, 300}}},
      {"comb", Comb()},
      {"spiral", Spiral()},
      {"keyhole", Keyhole()},
      {"diagonal through frame corners", {{5, 4}, {250, 200}, {5, 200}}},
      {"band through a frame corner", {{50, 39}, {151, 120}, {150, 121}, {49, 40}}},
      {"clockwise diamond on frame corners", {{100, 0}, {0, 80}, {100, 160}, {200, 80}}},
      {"horizontal sliver", Rectangle(10, 40, 290, 40.3)},
      {"vertical sliver", Rectangle(150.2, 5, 150.5, 315)},
      {"sliver astride a frame line", Rectangle(5, 79.8, 295, 80.2)},
  };
}

// Star-shaped polygons of random radii at sorted random angles (always simple).
std::vector<Shape> RandomShapes(int count) {
  std::mt19937 random(4242);
  std::vector<Shape> shapes;
  for (int s = 0; s < count; ++s) {
    std::uniform_real_distribution<double> cx(60, 240), cy(60, 260), unit(0, 1);
    const Point centre = {cx(random), cy(random)};
    const int vertices = 5 + static_cast<int>(unit(random) * 60);
    std::vector<double> angles;
    for (int v = 0; v < vertices; ++v) angles.push_back(unit(random) * 2 * std::numbers::pi);
    std::sort(angles.begin(), angles.end());
    std::vector<Point> outline;
    for (const double a : angles) {
      const double r = 5 + unit(random) * 55;
      outline.push_back({centre[0] + r * std::cos(a), centre[1] + r * std::sin(a)});
    }
    shapes.push_back({"random " + std::to_string(s), outline});
  }
  return shapes;
}

// ---- The boundary file read back ----

struct Piece {
  Frame frame;
  std::vector<Point> ring;  // micrometres, not closed
};

int32_t Be32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}
int32_t Le32(const uint8_t* p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24);
}

Frame FrameOf(const FrameClipSettings& s, uint32_t number) {
  const int dc = static_cast<int>(number) / s.rows;
  const int position = static_cast<int>(number) % s.rows;
  const bool upwards = s.motion == 1 && dc % 2 != 0;
  return {s.first_column + dc, s.first_row + (upwards ? position : s.rows - 1 - position)};
}

// The pieces of a layer, decoded from the boundary file at the recorded offsets.
std::vector<Piece> RecordedPieces(FrameClipping& clipping, int32_t layer) {
  const std::vector<uint8_t> bytes = ReadBytes(clipping.boundary_file());
  std::vector<Piece> pieces;
  for (const BoundaryEntry& e : clipping.boundary_list()) {
    if (e.layer != layer) continue;
    const uint8_t* record = bytes.data() + e.offset + 16;
    const int type = record[2];
    const size_t data = (size_t{record[0]} << 8 | record[1]) - 4;
    const uint8_t* d = record + 4;
    std::vector<std::array<int64_t, 2>> points;
    if (type == kGdsXy) {
      for (size_t i = 0; i < data; i += 8) points.push_back({Be32(d + i), Be32(d + i + 4)});
    } else {
      points.push_back({Le32(d), Le32(d + 4)});
      const size_t step = type == kGdsOutCompressedBytes ? 2 : 4;
      for (size_t i = 8; i < data; i += step) {
        const int32_t dx = step == 2 ? int8_t(d[i]) : int16_t(d[i] | d[i + 1] << 8);
        const int32_t dy = step == 2 ? int8_t(d[i + 1]) : int16_t(d[i + 2] | d[i + 3] << 8);
        points.push_back({points.back()[0] + dx, points.back()[1] + dy});
      }
    }
    EXPECT_EQ(static_cast<int32_t>(points.size()), (e.size - 20) / 8);
    EXPECT_EQ(points.front(), points.back());
    Piece piece{FrameOf(clipping.settings(), e.frame), {}};
    for (size_t i = 0; i + 1 < points.size(); ++i) {
      piece.ring.push_back({points[i][0] / 1000.0, points[i][1] / 1000.0});
    }
    pieces.push_back(piece);
  }
  return pieces;
}

class FrameClippingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FrameClipSettings& s = clipping.settings();
    s.frame_width = kFrameWidth;
    s.frame_height = kFrameHeight;
    s.unit = kUnit;
    s.first_column = 0;
    s.last_column = kColumns - 1;
    s.columns = kColumns;
    s.first_row = 0;
    s.last_row = kRows - 1;
    s.rows = kRows;
    ASSERT_EQ(clipping.OpenBoundaryFile(dir.File("boundaries.gds")), 0);
  }
  void TearDown() override { GdsOutClose(); }

  int Emit(const std::vector<Point>& outline, int32_t layer) {
    const std::vector<int32_t> ints = Hundredths(outline);
    clipping.polygon_buffer() = ints;
    return clipping.ClipAndEmitBoundary(kScale, static_cast<int32_t>(ints.size()), layer);
  }

  // Clip-level checks of one layer's pieces against the reference; the clipped areas.
  std::map<Frame, double> CheckPieces(const Shape& shape, int32_t layer) {
    SCOPED_TRACE(shape.name);
    std::map<Frame, double> clipped;
    for (const Piece& piece : RecordedPieces(clipping, layer)) {
      const double left = piece.frame.first * kFrameWidth;
      const double bottom = piece.frame.second * kFrameHeight;
      for (const Point& p : piece.ring) {
        EXPECT_GE(p[0], left - 0.001);
        EXPECT_LE(p[0], left + kFrameWidth + 0.001);
        EXPECT_GE(p[1], bottom - 0.001);
        EXPECT_LE(p[1], bottom + kFrameHeight + 0.001);
      }
      EXPECT_GT(Area(piece.ring), 0) << "pieces run counter-clockwise";
      clipped[piece.frame] += Area(piece.ring);
      perimeters[layer][piece.frame] += Perimeter(piece.ring);
    }
    const std::map<Frame, double> reference = ReferenceAreas(Hundredths(shape.outline));
    double clipped_total = 0, reference_total = 0;
    for (int c = 0; c < kColumns; ++c) {
      for (int r = 0; r < kRows; ++r) {
        const Frame f{c, r};
        const double want = reference.count(f) ? reference.at(f) : 0;
        const double got = clipped.count(f) ? clipped.at(f) : 0;
        EXPECT_NEAR(got, want, kAreaTolerance) << "frame " << c << "," << r;
        clipped_total += got;
        reference_total += want;
      }
    }
    EXPECT_NEAR(clipped_total, reference_total, kAreaTolerance) << "lost or doubled";
    return clipped;
  }

  testing::ScratchDir dir;
  FrameClipping clipping;
  std::map<int32_t, std::map<Frame, double>> perimeters;
};

TEST_F(FrameClippingTest, NamedShapesMatchTheReferenceFrameByFrame) {
  const std::vector<Shape> shapes = NamedShapes();
  for (size_t i = 0; i < shapes.size(); ++i) {
    EXPECT_EQ(Emit(shapes[i].outline, static_cast<int32_t>(i)), 0) << shapes[i].name;
  }
  ASSERT_EQ(clipping.CloseBoundaryFile(), 0);
  for (size_t i = 0; i < shapes.size(); ++i) CheckPieces(shapes[i], static_cast<int32_t>(i));
}

TEST_F(FrameClippingTest, RandomShapesMatchTheReference) {
  const std::vector<Shape> shapes = RandomShapes(60);
  for (size_t i = 0; i < shapes.size(); ++i) {
    EXPECT_EQ(Emit(shapes[i].outline, static_cast<int32_t>(i)), 0) << shapes[i].name;
  }
  ASSERT_EQ(clipping.CloseBoundaryFile(), 0);
  for (size_t i = 0; i < shapes.size(); ++i) CheckPieces(shapes[i], static_cast<int32_t>(i));
}

// Through WF2 and back: the pieces of each layer, split convex in x and written on the
// grid, scan back with the clipped areas of their frames. Every point moves by at most one
// grid step (rounding, and the frame's last step for points on its far edges), so each
// frame's area may change by its pieces' outline length times the step.
TEST_F(FrameClippingTest, PiecesWrittenToWf2ScanBackWithTheSameFrameAreas) {
  std::vector<Shape> shapes = NamedShapes();
  const std::vector<Shape> random = RandomShapes(12);
  shapes.insert(shapes.end(), random.begin(), random.end());
  HeadlessViewerServices services;
  ScopedViewerServices scoped(&services);
  for (const int32_t motion : {1, 0}) {
    SCOPED_TRACE(motion);
    clipping.ClearBoundaryList();
    perimeters.clear();
    clipping.settings().motion = motion;
    if (motion == 0) {
      ASSERT_EQ(clipping.OpenBoundaryFile(dir.File("boundaries.gds")), 0);
    }
    for (size_t i = 0; i < shapes.size(); ++i) Emit(shapes[i].outline, static_cast<int32_t>(i));
    ASSERT_EQ(clipping.CloseBoundaryFile(), 0);
    for (size_t i = 0; i < shapes.size(); ++i) {
      SCOPED_TRACE(shapes[i].name);
      const auto layer = static_cast<int32_t>(i);
      const std::map<Frame, double> clipped = CheckPieces(shapes[i], layer);
      const std::string path = dir.File("layer" + std::to_string(i) + ".wf2");
      ASSERT_EQ(clipping.write_wf2_frames(path, layer), 0);
      EXPECT_EQ(clipping.Wf2FileName(layer), path);
      Wf2ScanResult result;
      const GdxHandle library = ScanWf2File(nullptr, path, layer, &result);
      ASSERT_NE(library, kGdxNoHandle);
      const Wf2Header& header = LastWf2Scan().header;
      EXPECT_EQ(header.motion, motion);
      EXPECT_EQ(header.frame_width, 1000);
      EXPECT_EQ(header.frame_height, 800);
      EXPECT_EQ(header.strips, kColumns);
      EXPECT_EQ(header.frames_per_strip, kRows);
      const double step = kUnit / LastWf2Scan().scale_factor;  // units per database unit
      std::map<Frame, double> scanned;
      for (GdxEntryCursor cursor(GdxLibraryFromHandle(library)); cursor.Valid(); cursor.Next()) {
        if (cursor.Type() != kGdxBoundary) continue;
        const GdxWord* data = cursor.Data();
        const int32_t count = static_cast<int32_t>(static_cast<uint32_t>(data[1]) >> 16);
        const GdxWord* points = data + (data[0] & 0xFFFF);
        std::vector<Point> ring;
        double low_x = 1e9, high_x = -1e9, low_y = 1e9, high_y = -1e9;
        for (int32_t p = 0; p + 1 < count; ++p) {
          const Point q = {points[2 * p] * step, points[2 * p + 1] * step};
          low_x = std::min(low_x, q[0]), high_x = std::max(high_x, q[0]);
          low_y = std::min(low_y, q[1]), high_y = std::max(high_y, q[1]);
          ring.push_back(q);
        }
        const Frame f{static_cast<int>(std::floor((low_x + high_x) / 2 / kFrameWidth)),
                      static_cast<int>(std::ceil((low_y + high_y) / 2 / kFrameHeight)) - 1};
        EXPECT_GE(low_x, f.first * kFrameWidth - 1e-9);
        EXPECT_LE(high_x, (f.first + 1) * kFrameWidth + 1e-9);
        scanned[f] += Area(ring);
      }
      for (const auto& [frame, area] : clipped) {
        const double tolerance = perimeters[layer][frame] * kUnit + 1e-6;
        EXPECT_NEAR(scanned[frame], area, tolerance) << frame.first << "," << frame.second;
      }
      for (const auto& [frame, area] : scanned) EXPECT_TRUE(clipped.count(frame)) << frame.first;
      GdxFreeLibrary(library);
    }
  }
}

TEST_F(FrameClippingTest, FrameNumbersFollowTheWf2Order) {
  FrameClipSettings& s = clipping.settings();
  s.first_column = 2;
  s.first_row = -1;
  s.rows = 4;
  struct Case {
    int32_t motion, column, row;
    uint32_t frame;
  };
  const Case cases[] = {{1, 3, -1, 4}, {1, 2, 2, 0},  {1, 2, -1, 3}, {1, 3, 2, 7},
                        {0, 3, -1, 7}, {2, 3, -1, 7}, {0, 4, 0, 10}};
  for (const Case& c : cases) {
    s.motion = c.motion;
    EXPECT_EQ(clipping.FrameNumber(c.column, c.row), c.frame) << c.motion << c.column << c.row;
  }
}

TEST_F(FrameClippingTest, FindXCutFindsTheNotchOfAU) {
  const std::vector<double> u = {0,    0,    3000, 0,    3000, 3000, 2000, 3000, 2000,
                                 1000, 1000, 1000, 1000, 3000, 0,    3000, 0,    0};
  std::vector<double> points = u;
  XCutScratch scratch;
  double width = 0;
  EXPECT_EQ(find_x_cut(points, 9, scratch, &width), 1);
  EXPECT_EQ(width, 1000);
  // The same U moved so that its notch lies within 100 of the strip's left edge.
  points = u;
  for (size_t i = 0; i < points.size(); i += 2) points[i] -= 950;
  EXPECT_EQ(find_x_cut(points, 9, scratch, &width), 1);
  EXPECT_EQ(width, 1050);
  std::vector<double> convex = {0, 0, 500, 100, 700, 900, 100, 700, 0, 0};
  EXPECT_EQ(find_x_cut(convex, 5, scratch, &width), 0);
  EXPECT_EQ(width, 700);
}

// The WF2 frame of a polygon convex in x gets it unchanged; a U becomes pieces that each
// meet every horizontal line once.
TEST_F(FrameClippingTest, ConvexInXSplitsOnlyWhatIsNotConvexInX) {
  const std::string path = dir.File("convex.wf2");
  Wf2Header header = testing::SmallHeader(1, 1, false);
  header.grid = 0.1f;
  header.frame_width = 1000;
  header.frame_height = 800;
  Wf2Writer& writer = clipping.writer();
  ASSERT_EQ(writer.OpenWf2Output(path, header, 0, 0), kWf2Ok);
  writer.points() = {10000, 10000, 50000, 12000, 60000, 70000, 15000, 60000, 10000, 10000};
  EXPECT_EQ(clipping.ConvexInX(5, 0, 100, 80), 0);
  const std::vector<int32_t> u = {10000, 10000, 90000, 10000, 90000, 70000, 60000, 70000, 60000,
                                  30000, 40000, 30000, 40000, 70000, 10000, 70000, 10000, 10000};
  writer.points() = u;
  EXPECT_EQ(clipping.ConvexInX(9, 0, 100, 80), 0);
  ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
  const auto polygons = testing::ParseWf2(ReadBytes(path)).at(0);
  ASSERT_GE(polygons.size(), 3u);
  EXPECT_EQ(polygons[0], (testing::Wf2Polygon{{100, 700}, {500, 680}, {600, 100}, {150, 200}}));
  double u_area = 0;
  for (size_t i = 1; i < polygons.size(); ++i) {
    std::vector<Point> ring;
    for (const auto& p : polygons[i]) ring.push_back({double(p[0]), -double(p[1])});
    u_area += Area(ring);
    for (double y = 0.5; y < 800; y += 7) {
      int crossings = 0;
      for (size_t e = 0; e < ring.size(); ++e) {
        const Point& a = ring[e];
        const Point& b = ring[(e + 1) % ring.size()];
        if ((a[1] < -y) != (b[1] < -y)) ++crossings;
      }
      EXPECT_LE(crossings, 2) << "piece " << i << " at y " << y;
    }
  }
  EXPECT_NEAR(u_area, 800 * 600 - 200 * 400, 1e-6);
}

// The list stays for the next layer; equal frames keep the order they were added in.
TEST_F(FrameClippingTest, TheListServesEveryLayerInItsOrder) {
  // Squares of the bottom-left frame alternate with squares of the top-left one.
  std::vector<std::vector<Point>> squares;
  for (int i = 0; i < 40; ++i) {
    const double x = 10 + (i % 10) * 8, y = 5 + (i / 10) * 15;
    squares.push_back(Rectangle(x, y, x + 1 + (i % 5), y + 1 + (i / 10)));
    EXPECT_EQ(Emit(squares.back(), 3), 0);
    EXPECT_EQ(Emit(Rectangle(x, y + 240, x + 2, y + 242), 3), 0);
  }
  EXPECT_EQ(Emit(Rectangle(110, 90, 190, 150), 1023), 0);
  ASSERT_EQ(clipping.CloseBoundaryFile(), 0);
  const std::string first = dir.File("first.wf2");
  const std::string second = dir.File("second.wf2");
  ASSERT_EQ(clipping.write_wf2_frames(first, 3), 0);
  ASSERT_EQ(clipping.write_wf2_frames(second, 1023), 0);
  EXPECT_EQ(clipping.Wf2FileName(1023), second);
  EXPECT_EQ(clipping.Wf2FileName(1024), "");
  const auto frames = testing::ParseWf2(ReadBytes(first));
  EXPECT_EQ(frames.at(0).size(), squares.size());
  const auto& bottom_left = frames.at(kRows - 1);
  ASSERT_EQ(bottom_left.size(), squares.size());
  for (size_t i = 0; i < squares.size(); ++i) {
    EXPECT_EQ(bottom_left[i][0][0], static_cast<uint16_t>(std::lround(squares[i][0][0] * 10))) << i;
  }
  // Column 1 runs upwards in serpentine motion: its second row is frame 4 + 1.
  EXPECT_EQ(testing::ParseWf2(ReadBytes(second)).at(5).size(), 1u);
}

TEST_F(FrameClippingTest, FullListsAndLargePolygonsAreRefusedAndCounted) {
  clipping.SetBoundaryListCapacity(2);
  EXPECT_EQ(Emit(Rectangle(10, 10, 20, 20), 0), 0);
  EXPECT_EQ(Emit(Rectangle(90, 10, 120, 20), 0), -1);  // two frames, one place left
  EXPECT_EQ(clipping.boundary_list().size(), 2u);
  clipping.SetBoundaryListCapacity(100);
  std::vector<double> many;
  for (int i = 0; i < kGdsOutMaxPoints + 1; ++i) {
    const double a = 2 * std::numbers::pi * i / (kGdsOutMaxPoints + 1);
    many.insert(many.end(), {50 + 20 * std::cos(a), 40 + 20 * std::sin(a)});
  }
  many.insert(many.end(), {many[0], many[1]});
  const int32_t errors = clipping.error_count();
  EXPECT_EQ(clipping.add_bndry_data(many.data(), kGdsOutMaxPoints + 2, 0, 0, 0), -1);
  EXPECT_EQ(clipping.boundary_list().size(), 2u);
  EXPECT_EQ(clipping.error_count(), errors + 2);  // over 199, and over the limit
}

TEST_F(FrameClippingTest, BadBoundaryFilesFailWithoutOutput) {
  EXPECT_EQ(Emit(Rectangle(10, 10, 20, 20), 0), 0);
  ASSERT_EQ(clipping.CloseBoundaryFile(), 0);
  const std::string boundaries = dir.File("boundaries.gds");
  const std::vector<uint8_t> good = ReadBytes(boundaries);
  const int64_t offset = clipping.boundary_list().at(0).offset;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases = {{"another point record", good}, {"cut off", good}, {"missing", {}}};
  cases[0].bytes[offset + 18] = kGdsPath;
  cases[1].bytes.resize(offset + 30);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.bytes.empty()) {
      std::filesystem::remove(boundaries);
    } else {
      testing::WriteBytes(boundaries, c.bytes);
    }
    const std::string out = dir.File("out.wf2");
    EXPECT_EQ(clipping.write_wf2_frames(out, 0), -1);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

// Seeded damage anywhere in the boundary file: the output is written or refused, never a
// crash, and a refused one leaves no file.
TEST_F(FrameClippingTest, DamagedBoundaryFilesNeverCrashTheReader) {
  for (const Shape& shape : NamedShapes()) Emit(shape.outline, 0);
  ASSERT_EQ(clipping.CloseBoundaryFile(), 0);
  const std::string boundaries = dir.File("boundaries.gds");
  const std::vector<uint8_t> good = ReadBytes(boundaries);
  std::mt19937 random(99);
  std::uniform_int_distribution<size_t> place(0, good.size() - 1);
  for (int round = 0; round < 60; ++round) {
    std::vector<uint8_t> bytes = good;
    for (int i = 0; i < 1 + round % 5; ++i) bytes[place(random)] = static_cast<uint8_t>(random());
    if (round % 7 == 0) bytes.resize(place(random));
    testing::WriteBytes(boundaries, bytes);
    const std::string out = dir.File("out.wf2");
    std::filesystem::remove(out);
    const int result = clipping.write_wf2_frames(out, 0);
    EXPECT_EQ(std::filesystem::exists(out), result >= 0) << round;
  }
}

}  // namespace
}  // namespace kavrinth
