// The viewer's GDSII-format writer in its standard subset (plain point records, the
// standard element kinds), read by an outside reader: the structures, the references and
// arrays, and the shapes of the flattened top structure are what was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "gdsii/records.h"
#include "testing/outside_gds_reader.h"
#include "viewer/model/gdsformat_writer.h"
#include "wf2_test_support.h"

namespace kavrinth {
namespace {

using Point = std::array<int64_t, 2>;
using Polygon = std::vector<Point>;

// Every step of these shapes is longer than a compressed point record can hold, so the
// writer gives them plain XY records: the standard subset.
const std::vector<GdsIntPoint> kRectangle = {
    {0, 0}, {100000, 0}, {100000, 50000}, {0, 50000}, {0, 0}};
const std::vector<GdsIntPoint> kTriangle = {
    {0, 100000}, {200000, 100000}, {0, 300000}, {0, 100000}};
const std::vector<GdsIntPoint> kPathCentre = {{0, 400000}, {300000, 400000}, {300000, 700000}};
constexpr int32_t kPathWidth = 40000;
// The outline of the path: flush ends, a mitred right-angle corner.
const Polygon kPathOutline = {{0, 380000},      {320000, 380000}, {320000, 700000},
                              {280000, 700000}, {280000, 420000}, {0, 420000}};
const Polygon kTopSquare = {
    {-900000, -900000}, {-800000, -900000}, {-800000, -800000}, {-900000, -800000}};

Polygon Open(const std::vector<GdsIntPoint>& closed) {
  Polygon polygon;
  for (size_t i = 0; i + 1 < closed.size(); ++i) polygon.push_back({closed[i].x, closed[i].y});
  return polygon;
}

// A placement of CELL: reflected about the x-axis first, then magnified, turned by a
// multiple of 90 degrees and moved.
struct Placement {
  int64_t x = 0, y = 0;
  int64_t magnification = 1;
  int quarter_turns = 0;
  bool reflect = false;

  Polygon Apply(const Polygon& polygon) const {
    Polygon placed;
    for (auto [px, py] : polygon) {
      if (reflect) py = -py;
      px *= magnification;
      py *= magnification;
      for (int i = 0; i < quarter_turns; ++i) std::tie(px, py) = std::make_pair(-py, px);
      placed.push_back({px + x, py + y});
    }
    return placed;
  }
};

// A polygon's points from its lowest-leftmost one on, anticlockwise, so that the same
// outline compares equal however a reader orders it.
Polygon Normalised(Polygon polygon) {
  int64_t twice = 0;
  for (size_t i = 0; i < polygon.size(); ++i) {
    const Point& a = polygon[i];
    const Point& b = polygon[(i + 1) % polygon.size()];
    twice += a[0] * b[1] - b[0] * a[1];
  }
  if (twice < 0) std::reverse(polygon.begin(), polygon.end());
  std::rotate(polygon.begin(), std::min_element(polygon.begin(), polygon.end()), polygon.end());
  return polygon;
}

// The record types of a stream, read plainly.
std::set<int> RecordTypes(const std::vector<uint8_t>& bytes) {
  std::set<int> types;
  for (size_t i = 0; i + 4 <= bytes.size();) {
    const size_t length = bytes[i] << 8 | bytes[i + 1];
    if (length < 4) break;
    types.insert(bytes[i + 2]);
    i += length;
  }
  return types;
}

TEST(GdsFormatOutsideReaderTest, StandardSubsetReadsAsWritten) {
  testing::ScratchDir dir;
  const std::string path = dir.File("standard.gds");
  ASSERT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", false), kGdsOutOk);
  ASSERT_EQ(GdsOutBeginStructure("CELL"), kGdsOutOk);
  ASSERT_EQ(GdsOutBoundary(kRectangle, 1, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutBoundary(kTriangle, 2, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutPath(kPathCentre, 3, 0, kPathWidth, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutEndStructure(), kGdsOutOk);
  ASSERT_EQ(GdsOutBeginStructure("TOP"), kGdsOutOk);
  std::vector<GdsIntPoint> top_square;
  for (const auto& [x, y] : kTopSquare) {
    top_square.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
  }
  top_square.push_back(top_square.front());
  ASSERT_EQ(GdsOutBoundary(top_square, 4, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutSref("CELL", 2000000, 0, 1.0, 90.0, false, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutSref("CELL", 0, 3000000, 2.0, 0.0, true, 0, 0), kGdsOutOk);
  const std::array<GdsIntPoint, 3> array = {GdsIntPoint{-6000000, -6000000},
                                            GdsIntPoint{-3000000, -6000000},
                                            GdsIntPoint{-6000000, -4000000}};
  ASSERT_EQ(GdsOutAref("CELL", array, 3, 2, 1.0, 0.0, false, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutEndStructure(), kGdsOutOk);
  ASSERT_EQ(GdsOutClose(), kGdsOutOk);

  // Only standard records: no compressed points, none of the writer's own kinds.
  for (int type : RecordTypes(testing::ReadBytes(path))) {
    EXPECT_LE(type, kGdsBoxType) << "record type " << type;
  }

  const test_support::OutsideGdsView view = test_support::ReadWithOutsideReader(path);
  ASSERT_EQ(view.error, "");
  EXPECT_EQ(view.messages, std::vector<std::string>());
  EXPECT_DOUBLE_EQ(view.metres_per_database_unit, 1e-9);
  ASSERT_EQ(view.cells.size(), 2u);
  const test_support::OutsideCell& cell = view.cells.at("CELL");
  EXPECT_EQ(cell.boundaries + cell.boxes, 2);
  EXPECT_EQ(cell.paths, 1);
  const test_support::OutsideCell& top = view.cells.at("TOP");
  EXPECT_EQ(top.boundaries + top.boxes, 1);
  EXPECT_EQ(top.references, 2);
  EXPECT_EQ(top.arrays, 1);
  EXPECT_EQ(view.tops, std::vector<std::string>{"TOP"});

  // What was meant: the top's square and CELL's three shapes at each of its eight places.
  std::vector<Placement> placements = {{2000000, 0, 1, 1, false}, {0, 3000000, 2, 0, true}};
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) {
      placements.push_back({-6000000 + column * 1000000, -6000000 + row * 1000000, 1, 0, false});
    }
  }
  std::map<int, std::multiset<Polygon>> expected;
  expected[4].insert(Normalised(kTopSquare));
  for (const Placement& placement : placements) {
    expected[1].insert(Normalised(placement.Apply(Open(kRectangle))));
    expected[2].insert(Normalised(placement.Apply(Open(kTriangle))));
    expected[3].insert(Normalised(placement.Apply(kPathOutline)));
  }
  std::map<int, std::multiset<Polygon>> read;
  std::map<int, int64_t> read_twice_area;
  for (const test_support::OutsidePolygon& polygon : view.polygons) {
    EXPECT_EQ(polygon.datatype, 0);
    read[polygon.layer].insert(Normalised(polygon.points));
    read_twice_area[polygon.layer] += std::abs(polygon.TwiceArea());
  }
  EXPECT_EQ(read, expected);
  // The areas, as a check on the shapes above: a magnified copy counts four times.
  const int64_t copies = 7 + 4;
  EXPECT_EQ(read_twice_area[1], 2 * 100000LL * 50000 * copies);
  EXPECT_EQ(read_twice_area[2], 200000LL * 200000 * copies);
  EXPECT_EQ(read_twice_area[3], 2 * (320000LL * 40000 + 280000LL * 40000) * copies);
  EXPECT_EQ(read_twice_area[4], 2 * 100000LL * 100000);
}

}  // namespace
}  // namespace kavrinth
