// Tests of the piece joiner: matching on the rounded grid, reversed joins, closed and
// unclosed chains, identities, the touch rule and the chain limit.
#include "viewer/model/clip_pieces.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace kavrinth {
namespace {

using Point = std::array<double, 2>;
using Ring = std::vector<Point>;

class PieceJoinerTest : public ::testing::Test {
 protected:
  void SetUp() override { joiner.start_pieces(1.0); }
  void Piece(const Ring& points, int32_t identity = 0) {
    const auto start = static_cast<int32_t>(arrays.scratch.size());
    for (const Point& p : points) arrays.scratch.insert(arrays.scratch.end(), {p[0], p[1]});
    ASSERT_EQ(joiner.add_piece(static_cast<int32_t>(points.size()), identity, start), 0);
  }
  // The closed polygons of the batch.
  std::vector<Ring> Join() {
    std::vector<int32_t> table;
    EXPECT_EQ(joiner.join_pieces(&joined, &dropped, &count, &table), 0);
    EXPECT_EQ(count, joined);
    std::vector<Ring> rings;
    for (int32_t j = 0; j < count; ++j) {
      Ring ring;
      for (int32_t i = table[2 * j]; i <= table[2 * j + 1]; i += 2) {
        ring.push_back({arrays.work[i], arrays.work[i + 1]});
      }
      rings.push_back(ring);
    }
    first_index = table.empty() ? -1 : table[0];
    return rings;
  }

  ClipArrays arrays;
  PieceJoiner joiner{arrays};
  int32_t joined = 0;
  int32_t dropped = 0;
  int32_t count = 0;
  int32_t first_index = -1;
};

TEST_F(PieceJoinerTest, EndsWithinOneGridStepMatch) {
  struct Case {
    double dx, dy;
    bool joins;
  };
  const Case cases[] = {{1, 1, true},  {-1, -1, true},   {1, 0, true},   {2, 0, false},
                        {0, 2, false}, {1.4, 1.4, true}, {1.6, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.dx << "," << c.dy);
    arrays.scratch.clear();
    joiner.start_pieces(1.0);
    Piece({{0, 0}, {10, 0}, {10, 10}});
    Piece({{10 + c.dx, 10 + c.dy}, {0, 10}, {0, 0}});
    const std::vector<Ring> rings = Join();
    EXPECT_EQ(rings.size(), c.joins ? 1u : 0u);
    EXPECT_EQ(dropped, c.joins ? 0 : 2);
  }
}

TEST_F(PieceJoinerTest, APieceEndingAtTheChainsEndIsAppendedReversed) {
  Piece({{0, 0}, {10, 0}, {10, 10}});
  Piece({{0, 0}, {0, 10}, {10, 10}});
  const std::vector<Ring> rings = Join();
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0], (Ring{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}));
}

TEST_F(PieceJoinerTest, ClosedSinglePiecesNeedFourPoints) {
  Piece({{0, 0}, {5, 0}, {0, 0}});
  Piece({{20, 20}, {30, 20}, {30, 30}, {20, 20}});
  const std::vector<Ring> rings = Join();
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0], (Ring{{20, 20}, {30, 20}, {30, 30}, {20, 20}}));
  EXPECT_EQ(dropped, 1);
}

TEST_F(PieceJoinerTest, AnUnclosedChainIsDroppedAndItsPlaceReused) {
  Piece({{0, 0}, {5, 0}, {5, 5}, {7, 9}});
  Piece({{20, 20}, {30, 20}, {30, 30}, {20, 30}, {20, 20}});
  const std::vector<Ring> rings = Join();
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(dropped, 1);
  EXPECT_EQ(first_index, 0);
  EXPECT_EQ(rings[0].front(), (Point{20, 20}));
}

TEST_F(PieceJoinerTest, PiecesOfAnotherIdentityAreNotJoined) {
  Piece({{0, 0}, {10, 0}, {10, 10}}, 1);
  Piece({{10, 10}, {0, 10}, {0, 0}}, 2);
  EXPECT_TRUE(Join().empty());
  EXPECT_EQ(dropped, 2);
}

// At a touch point a two-point piece that turns right is refused once; the touch point
// goes, and the next pass joins it.
TEST_F(PieceJoinerTest, TouchRuleRefusesARightTurnOnce) {
  arrays.frame_width_steps = 100;
  arrays.frame_height_steps = 100;
  for (const bool rule : {true, false}) {
    SCOPED_TRACE(rule);
    arrays.scratch.clear();
    arrays.touches = {{20, 20}, {70, 70}};
    joiner.set_touch_rule(rule);
    joiner.start_pieces(1.0);
    Piece({{10, 10}, {20, 10}, {20, 20}});
    Piece({{20, 20}, {30, 20}});
    Piece({{30, 20}, {30, 0}, {10, 0}, {10, 10}});
    const std::vector<Ring> rings = Join();
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_EQ(rings[0], (Ring{{10, 10}, {20, 10}, {20, 20}, {30, 20}, {30, 0}, {10, 0}, {10, 10}}));
    const std::vector<std::array<int32_t, 2>> left =
        rule ? std::vector<std::array<int32_t, 2>>{{70, 70}}
             : std::vector<std::array<int32_t, 2>>{{20, 20}, {70, 70}};
    EXPECT_EQ(arrays.touches, left);
  }
}

TEST_F(PieceJoinerTest, TouchRuleAllowsLeftTurnsAndInwardSteps) {
  arrays.frame_width_steps = 100;
  arrays.frame_height_steps = 100;
  struct Case {
    Ring chain;
    Ring candidate;
  };
  // A left turn at (20, 20); a step across the left side (x = 0) into the frame.
  const Case cases[] = {{{{30, 10}, {20, 10}, {20, 20}}, {{20, 20}, {10, 20}}},
                        {{{0, 10}, {0, 20}}, {{0, 20}, {-5, 20}}}};
  for (const Case& c : cases) {
    arrays.scratch.clear();
    arrays.touches = {{c.chain.back()[0] == 0 ? 0 : 20, 20}};
    joiner.start_pieces(1.0);
    Piece(c.chain);
    Piece(c.candidate);
    Join();
    EXPECT_EQ(arrays.touches.size(), 1u);
  }
}

TEST_F(PieceJoinerTest, ChainsBeyondTheLimitAreRefused) {
  arrays.max_points = 6;
  Piece({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}});
  std::vector<int32_t> table;
  EXPECT_EQ(joiner.join_pieces(&joined, &dropped, &count, &table), 1);
  EXPECT_EQ(joiner.append_piece_points(7, 0, 0, true), -1);
  EXPECT_EQ(joiner.append_piece_points(3, 4, 0, true), -1);

  arrays.scratch.clear();
  joiner.start_pieces(1.0);
  Piece({{0, 0}, {10, 0}, {10, 10}, {5, 12}});
  Piece({{5, 12}, {0, 10}, {-1, 5}, {0, 0}});  // would close with 7 points
  EXPECT_TRUE(Join().empty());
  EXPECT_EQ(dropped, 2);
}

}  // namespace
}  // namespace kavrinth
