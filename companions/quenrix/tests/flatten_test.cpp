// Flattening on layouts built in the test: cycles and depth refused before drawing,
// Cancel and a failing sink stop at once, placed shapes beyond the ranges are counted.
#include "companions/quenrix/flatten.h"

#include <gtest/gtest.h>

namespace kavrinth {
namespace {

class CollectingSink : public ShapeSink {
 public:
  void Quadrilateral(int layer, const std::array<int32_t, 8>& corners, bool) override {
    quads.push_back(corners);
    layers.push_back(layer);
    if (cancel_after > 0 && quads.size() == cancel_after) *cancel = 1;
  }
  void Sector(int, const SectorShape& sector) override { sectors.push_back(sector); }
  bool ok() const override { return fail_after == 0 || quads.size() < fail_after; }

  std::vector<std::array<int32_t, 8>> quads;
  std::vector<int> layers;
  std::vector<SectorShape> sectors;
  size_t cancel_after = 0;
  size_t fail_after = 0;
  volatile int* cancel = nullptr;
};

LocalQuad Square(int32_t x, int32_t y, int32_t size, int16_t layer = 1) {
  return {{x, y, x + size, y, x + size, y + size, x, y + size}, layer};
}

// Structures by name; references are added by name.
class LayoutBuilder {
 public:
  Structure& Add(const std::string& name) {
    layout.index[name] = int32_t(layout.structures.size());
    layout.structures.push_back(Structure{name, {}, {}, {}, {}, {}});
    return layout.structures.back();
  }
  void Refer(const std::string& from, const std::string& to, Reference ref = {}) {
    ref.structure = layout.Find(to);
    layout.structures[layout.Find(from)].references.push_back(ref);
  }
  Layout layout;
};

TEST(QuenrixFlattenTest, ACycleIsRefusedBeforeAnythingIsDrawn) {
  LayoutBuilder b;
  b.Add("TOP").quads.push_back(Square(0, 0, 10));
  b.Add("A").quads.push_back(Square(0, 0, 10));
  b.Add("B");
  b.Refer("TOP", "A");
  b.Refer("A", "B");
  b.Refer("B", "A");
  CollectingSink sink;
  FlattenReport report;
  std::string error;
  EXPECT_EQ(FlattenLayout(b.layout, 0, {}, sink, &report, &error), StepResult::kFailed);
  EXPECT_NE(error.find("contains itself"), std::string::npos);
  EXPECT_TRUE(sink.quads.empty());
}

TEST(QuenrixFlattenTest, NestingBeyondTheLimitIsRefused) {
  LayoutBuilder b;
  for (size_t i = 0; i <= kMaxNesting; ++i) b.Add("S" + std::to_string(i));
  for (size_t i = 0; i < kMaxNesting; ++i)
    b.Refer("S" + std::to_string(i), "S" + std::to_string(i + 1));
  CollectingSink sink;
  FlattenReport report;
  std::string error;
  EXPECT_EQ(FlattenLayout(b.layout, 0, {}, sink, &report, &error), StepResult::kFailed);
  EXPECT_NE(error.find("nested"), std::string::npos);
}

TEST(QuenrixFlattenTest, SharedAndUndefinedReferencesAreWalkedOrSkipped) {
  LayoutBuilder b;
  b.Add("TOP");
  b.Add("LEAF").quads.push_back(Square(0, 0, 10));
  b.Add("MID");
  Reference moved;
  moved.placement = Placement::Of(100, 0, 1, 0, false);
  b.Refer("MID", "LEAF");
  b.Refer("MID", "LEAF", moved);
  b.Refer("TOP", "MID");
  b.Refer("TOP", "LEAF");
  b.Refer("TOP", "NOWHERE");
  CollectingSink sink;
  FlattenReport report;
  std::string error;
  ASSERT_EQ(FlattenLayout(b.layout, 0, {}, sink, &report, &error), StepResult::kDone);
  EXPECT_EQ(sink.quads.size(), 3u);
}

TEST(QuenrixFlattenTest, CancelStopsAtTheNextInstance) {
  LayoutBuilder b;
  b.Add("TOP");
  b.Add("CELL").quads.push_back(Square(0, 0, 1));
  Reference array;
  array.columns = array.rows = 1000;
  array.column_dx = array.row_dy = 2;
  b.Refer("TOP", "CELL", array);
  volatile int cancel = 0;
  CollectingSink sink;
  sink.cancel_after = 10;
  sink.cancel = &cancel;
  FlattenSettings settings;
  settings.cancel_flag = &cancel;
  FlattenReport report;
  std::string error;
  EXPECT_EQ(FlattenLayout(b.layout, 0, settings, sink, &report, &error), StepResult::kCancelled);
  EXPECT_EQ(sink.quads.size(), 10u);
}

TEST(QuenrixFlattenTest, CancelStopsInsideABigStructure) {
  LayoutBuilder b;
  Structure& top = b.Add("TOP");
  for (int i = 0; i < 100000; ++i) top.quads.push_back(Square(i * 2, 0, 1));
  volatile int cancel = 0;
  CollectingSink sink;
  sink.cancel_after = 5;
  sink.cancel = &cancel;
  FlattenSettings settings;
  settings.cancel_flag = &cancel;
  FlattenReport report;
  std::string error;
  EXPECT_EQ(FlattenLayout(b.layout, 0, settings, sink, &report, &error), StepResult::kCancelled);
  EXPECT_LT(sink.quads.size(), 5000u);
}

TEST(QuenrixFlattenTest, AFailingSinkStopsTheWalk) {
  LayoutBuilder b;
  b.Add("TOP");
  b.Add("CELL").quads.push_back(Square(0, 0, 1));
  Reference array;
  array.columns = 100;
  array.column_dx = 2;
  b.Refer("TOP", "CELL", array);
  CollectingSink sink;
  sink.fail_after = 7;
  FlattenReport report;
  std::string error;
  EXPECT_EQ(FlattenLayout(b.layout, 0, {}, sink, &report, &error), StepResult::kCancelled);
  EXPECT_EQ(sink.quads.size(), 7u);
}

TEST(QuenrixFlattenTest, PlacedShapesBeyondTheRangesAreCounted) {
  LayoutBuilder b;
  b.Add("TOP");
  Structure& cell = b.Add("CELL");
  cell.quads.push_back(Square(2000000000, 0, 10));
  cell.quads.push_back(Square(9000000, 0, 10));
  cell.quads.push_back(Square(0, 0, 10));
  Reference moved;
  moved.placement = Placement::Of(200000000, 0, 1, 0, false);
  b.Refer("TOP", "CELL", moved);
  CollectingSink sink;
  FlattenReport report;
  std::string error;
  ASSERT_EQ(FlattenLayout(b.layout, 0, {}, sink, &report, &error), StepResult::kDone);
  EXPECT_EQ(report.out_of_range, 1u);
  EXPECT_EQ(report.imprecise, 2u);
  ASSERT_EQ(sink.quads.size(), 2u);
  EXPECT_EQ(sink.quads[1][0], 200000000);
}

TEST(QuenrixFlattenTest, MirroredQuadrilateralsStayCounterClockwise) {
  LayoutBuilder b;
  b.Add("TOP");
  b.Add("CELL").quads.push_back({{0, 0, 10, 0, 6, 5, 6, 5}, 1});  // a triangle
  Reference mirrored;
  mirrored.placement = Placement::Of(0, 0, 1, 90, true);
  b.Refer("TOP", "CELL", mirrored);
  CollectingSink sink;
  FlattenReport report;
  std::string error;
  ASSERT_EQ(FlattenLayout(b.layout, 0, {}, sink, &report, &error), StepResult::kDone);
  ASSERT_EQ(sink.quads.size(), 1u);
  const auto& q = sink.quads[0];
  double twice = 0;
  for (int i = 0; i < 4; ++i) {
    int j = (i + 1) % 4;
    twice += double(q[2 * i]) * q[2 * j + 1] - double(q[2 * j]) * q[2 * i + 1];
  }
  EXPECT_EQ(twice, 50);
  EXPECT_EQ(q[4], q[6]);  // the repeated corner is the last
  EXPECT_EQ(q[5], q[7]);
}

}  // namespace
}  // namespace kavrinth
