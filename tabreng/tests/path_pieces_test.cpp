// Wide paths: outline or path by mode and width, self-crossing outlines, runs of round
// paths, round outlines, and the cutting of paths into pieces that never cross
// themselves.
#include "tabreng/path_pieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tabreng/gds_cfg.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

using testing::CrossesItself;

constexpr double kPi = 3.141592653589793;

// Keeps what the cutter hands over.
struct Pieces : PathPieceSink {
  void Outline(std::span<const int32_t> xy) override {
    outlines.emplace_back(xy.begin(), xy.end());
  }
  void PathPiece(std::span<const int32_t> xy) override { paths.emplace_back(xy.begin(), xy.end()); }
  std::vector<std::vector<int32_t>> outlines;
  std::vector<std::vector<int32_t>> paths;
};

Pieces Cut(const std::vector<int32_t>& xy, int32_t width, int pathtype, bool outlined,
           EngineLog* log = nullptr) {
  Pieces pieces;
  WidePath path;
  path.xy = xy;
  path.width = width;
  path.pathtype = pathtype;
  path.outlined = outlined;
  CutWidePath(path, pieces, log);
  return pieces;
}

bool Closed(const std::vector<int32_t>& ring) {
  const size_t n = ring.size();
  return n >= 8 && ring[0] == ring[n - 2] && ring[1] == ring[n - 1];
}

// Whether the point lies inside the closed ring or on its border (even-odd rule).
bool Covers(const std::vector<int32_t>& ring, double x, double y) {
  bool inside = false;
  for (size_t i = 0; i + 3 < ring.size(); i += 2) {
    const double x1 = ring[i], y1 = ring[i + 1], x2 = ring[i + 2], y2 = ring[i + 3];
    const double cross = (x2 - x1) * (y - y1) - (y2 - y1) * (x - x1);
    if (std::fabs(cross) < 1e-9 * (std::fabs(x2 - x1) + std::fabs(y2 - y1) + 1) &&
        x >= std::min(x1, x2) && x <= std::max(x1, x2) && y >= std::min(y1, y2) &&
        y <= std::max(y1, y2)) {
      return true;
    }
    if ((y1 > y) != (y2 > y) && x < x1 + (y - y1) * (x2 - x1) / (y2 - y1)) inside = !inside;
  }
  return inside;
}

TEST(DirectionAngleTest, AxesAndQuadrants) {
  EXPECT_EQ(DirectionAngle(0, 0), 0);
  EXPECT_EQ(DirectionAngle(1e-13, -1e-13), 0);
  EXPECT_EQ(DirectionAngle(5, 0), 1.57079632679);
  EXPECT_EQ(DirectionAngle(-5, 1e-13), -1.57079632679);
  EXPECT_DOUBLE_EQ(DirectionAngle(1, -1), 3 * kPi / 4);
  EXPECT_DOUBLE_EQ(DirectionAngle(-1, 1), -kPi / 4);
}

TEST(FindSelfCrossingTest, CrossingsAwayFromTheEndPoints) {
  const std::vector<double> square = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};
  EXPECT_EQ(FindSelfCrossing(square, 4, 1.0, false), -1);
  // A bow tie: edge 0 crosses edge 2.
  const std::vector<double> bow = {0, 0, 10, 10, 10, 0, 0, 10, 0, 0};
  EXPECT_EQ(FindSelfCrossing(bow, 4, 1.0, false), 0);
  // A crossing with a vertical edge, found from edge 1.
  const std::vector<double> hook = {0, 0, 0, 10, 10, 5, -5, 5, -5, 0};
  EXPECT_EQ(FindSelfCrossing(hook, 4, 1.0, false), 0);
  // Within the tolerance of an end point it is no crossing.
  const std::vector<double> touch = {0, 0, 10, 0, 10, 10, 5, 0.5, 5, -5, -5, -5};
  EXPECT_EQ(FindSelfCrossing(touch, 5, 1.0, false), -1);
  EXPECT_EQ(FindSelfCrossing(touch, 5, 0.1, false), 0);
  // Parallel edges never cross; the closing edge meets edge 0 only with wrap.
  const std::vector<double> parallel = {0, 0, 10, 0, 10, 1, 0, 1, 5, 0};
  EXPECT_EQ(FindSelfCrossing(parallel, 4, 0.1, false), -1);
  const std::vector<double> wrap = {0, 0, 10, 0, 10, 10, 5, -5};
  EXPECT_EQ(FindSelfCrossing(wrap, 3, 1.0, false), -1);
  EXPECT_EQ(FindSelfCrossing(wrap, 3, 1.0, true), 0);
}

TEST(SplitPathRunsTest, RunsEndAtRepeatsReversalsAndTightCorners) {
  struct Case {
    const char* name;
    std::vector<double> centre;
    double width;
    std::vector<std::pair<int, int>> runs;
  };
  const Case cases[] = {
      {"straight on", {0, 0, 100, 0, 200, 0, 300, 10}, 10, {{0, 4}}},
      {"a repeated point", {0, 0, 100, 0, 100, 0, 200, 0}, 10, {{0, 1}, {1, 1}, {2, 2}}},
      {"straight back", {0, 0, 100, 0, 50, 0, 50, 100}, 10, {{0, 1}, {1, 3}}},
      {"a wide turn", {0, 0, 100, 0, 100, 100}, 10, {{0, 3}}},
      // The inner corner of a sharp turn lies beyond the middle of the short segment.
      {"a tight corner", {0, 0, 100, 0, 0, 20, 100, 40}, 50, {{0, 1}, {1, 1}, {2, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<int, int>> runs;
    for (const PathRun& run : SplitPathRuns(c.centre, c.width))
      runs.emplace_back(run.first, run.count);
    EXPECT_EQ(runs, c.runs);
  }
}

// The distance from a point to the centre line (x, y pairs).
double Distance(const std::vector<double>& centre, double x, double y) {
  double best = INFINITY;
  for (size_t i = 0; i + 3 < centre.size(); i += 2) {
    const double ax = centre[i], ay = centre[i + 1], dx = centre[i + 2] - ax,
                 dy = centre[i + 3] - ay;
    const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
  }
  return best;
}

TEST(RoundPathOutlineTest, EveryPointLiesAtHalfTheWidth) {
  std::vector<double> outline;
  // A straight path: both sides and two half-circle caps of 13 steps each, closed on
  // its first point.
  const std::vector<double> line = {0, 0, 100, 0};
  const int points = RoundPathOutline(line, 10, outline);
  ASSERT_EQ(points, 2 + 13 + 1 + 13);
  EXPECT_EQ(outline[0], 0);
  EXPECT_EQ(outline[1], 10);
  EXPECT_EQ(outline[2 * points - 2], 0);
  EXPECT_EQ(outline[2 * points - 1], 10);
  for (int i = 0; i < points; ++i)
    EXPECT_NEAR(Distance(line, outline[2 * i], outline[2 * i + 1]), 10, 1e-9);

  // Right and left turns, with a segment shorter than 0.001 that is passed over: outer
  // corners are arcs, inner ones the meeting point of the offsets.
  const std::vector<double> turns = {0, 0, 100, 0, 100, 0.0001, 100, -100, 200, -100};
  RoundPathOutline(turns, 10, outline);
  bool right_inner = false, left_inner = false;
  for (size_t i = 0; i < outline.size(); i += 2) {
    EXPECT_NEAR(Distance(turns, outline[i], outline[i + 1]), 10, 1e-3) << i;
    right_inner =
        right_inner || (std::fabs(outline[i] - 90) < 1e-9 && std::fabs(outline[i + 1] + 10) < 1e-9);
    left_inner =
        left_inner || (std::fabs(outline[i] - 110) < 1e-9 && std::fabs(outline[i + 1] + 90) < 1e-9);
  }
  EXPECT_TRUE(right_inner);
  EXPECT_TRUE(left_inner);
  EXPECT_FALSE(CrossesItself(std::vector<int32_t>(outline.begin(), outline.end())));
  // Nothing is left of a path whose points all coincide.
  EXPECT_EQ(RoundPathOutline(std::vector<double>{5, 5, 5, 5.0001}, 10, outline), 0);
  EXPECT_TRUE(outline.empty());
}

TEST(IsPathOutlinedTest, ModesAndApertureWidths) {
  ApertureSettings apertures;
  apertures.AddAperture(10, "a", kApertureFlash).size1 = 0.002;  // mm
  PathModeContext context;
  context.user_per_database = 0.001;  // a micron user unit, 1000 database units to it
  context.aperture_factor = 0.001;    // a micron in mm
  context.apertures = &apertures;
  struct Case {
    int mode;
    int32_t width;
    int pathtype;
    double scale_factor;
    bool outlined;
  };
  const Case cases[] = {
      {kPathOutline, 2000, 0, 1, true},  {kPathLweight, 2000, 0, 1, false},
      {kPathLweight, 2001, 0, 1, false}, {kPathLweight, 2003, 0, 1, true},
      {kPathLweight, 4000, 0, 2, false}, {kPathLwidening, 10, 2, 1, false},
      {kPathRound, 10, 1, 1, false},     {kPathRound, 10, 2, 1, true},
      {kPathRound, 10, 0, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.mode << " " << c.width << " " << c.pathtype);
    context.path_mode = c.mode;
    context.scale_factor = c.scale_factor;
    EXPECT_EQ(IsPathOutlined(context, c.width, c.pathtype), c.outlined);
  }
  // Without apertures, or before the units are known, no width matches one.
  context.path_mode = kPathLweight;
  context.scale_factor = 1;
  context.apertures = nullptr;
  EXPECT_TRUE(IsPathOutlined(context, 2000, 0));
  context.apertures = &apertures;
  context.user_per_database = 0;
  EXPECT_TRUE(IsPathOutlined(context, 2000, 0));
}

TEST(CutWidePathTest, TwoPointsGiveOneRectangleExtendedForSquareEnds) {
  const std::vector<int32_t> line = {0, 0, 10, 0};
  for (int pathtype : {0, 1, 2, 4}) {
    SCOPED_TRACE(pathtype);
    const Pieces pieces = Cut(line, 4, pathtype, true);
    ASSERT_EQ(pieces.outlines.size(), 1u);
    EXPECT_TRUE(pieces.paths.empty());
    if (pathtype == 1) {
      EXPECT_EQ(pieces.outlines[0].size(), 2u * 29);  // round ends
      continue;
    }
    const int32_t e = pathtype == 0 ? 0 : 2;
    EXPECT_EQ(pieces.outlines[0],
              (std::vector<int32_t>{-e, 2, 10 + e, 2, 10 + e, -2, -e, -2, -e, 2}));
  }
}

// Counting a 2-point path skips its outline where it surely fits: the pieces and the
// range verdict must be those of the full cut, at the ends of the range and for paths
// whose outline is empty.
TEST(CutWidePathTest, CountingTwoPointPathsGivesTheFullCutsPiecesAndRange) {
  struct Case {
    std::vector<int32_t> xy;
    int32_t width;
  };
  const int32_t top = 2147483647, bottom = -2147483647 - 1;
  const std::vector<Case> cases = {
      {{0, 0, 10, 0}, 4},                      // ordinary
      {{5, 5, 5, 5}, 4},                       // no length: no piece
      {{0, 0, 0, 0}, 3},                       // no length, odd width
      {{0, 0, 1, 0}, 1000},                    // shorter than the width
      {{top - 10, 0, top - 10, 50}, 40},       // its side beyond the top
      {{top - 30, 0, top - 30, 50}, 40},       // just inside
      {{bottom + 5, 0, bottom + 5, 9}, 20},    // beyond the bottom
      {{0, top - 1, 100, top - 1}, 6},         // its end beyond the top
      {{100, 100, 100 + 7, 100 + 3}, 100000},  // wide and angled
  };
  for (const Case& c : cases) {
    for (int pathtype : {0, 1, 2, 4}) {
      SCOPED_TRACE(::testing::PrintToString(c.xy) + " type " + std::to_string(pathtype));
      WidePath path;
      path.xy = c.xy;
      path.width = c.width;
      path.pathtype = pathtype;
      path.outlined = true;
      Pieces full, counted;
      const PathCutResult full_result = CutWidePath(path, full, nullptr);
      path.count_only = true;
      const PathCutResult counted_result = CutWidePath(path, counted, nullptr);
      EXPECT_EQ(counted_result.pieces, full_result.pieces);
      EXPECT_EQ(counted_result.fits, full_result.fits);
      EXPECT_EQ(counted.outlines.size(), full.outlines.size());
    }
  }
}

// Points along every segment of the centre line, its ends included.
std::vector<std::pair<double, double>> Samples(const std::vector<int32_t>& xy) {
  std::vector<std::pair<double, double>> samples;
  for (size_t i = 0; i + 3 < xy.size(); i += 2) {
    for (int k = 0; k <= 8; ++k) {
      samples.emplace_back(xy[i] + (xy[i + 2] - xy[i]) * k / 8.0,
                           xy[i + 1] + (xy[i + 3] - xy[i + 1]) * k / 8.0);
    }
  }
  return samples;
}

// Every outline is closed and simple, and together they cover the centre line.
void ExpectSoundOutlines(const std::vector<int32_t>& xy, const Pieces& pieces) {
  ASSERT_FALSE(pieces.outlines.empty());
  for (const std::vector<int32_t>& outline : pieces.outlines) {
    EXPECT_TRUE(Closed(outline));
    EXPECT_FALSE(CrossesItself(outline)) << ::testing::PrintToString(outline);
  }
  for (const auto& [x, y] : Samples(xy)) {
    const bool covered = std::any_of(pieces.outlines.begin(), pieces.outlines.end(),
                                     [&](const auto& outline) { return Covers(outline, x, y); });
    EXPECT_TRUE(covered) << x << "," << y;
  }
}

TEST(CutWidePathTest, ASelfCrossingPathIsCutIntoPiecesThatDoNot) {
  // The path comes back across its own first segment.
  const std::vector<int32_t> loop = {0, 0, 100, 0, 100, 100, 50, 100, 50, -50, 200, -50};
  for (int pathtype : {0, 1, 2}) {
    SCOPED_TRACE(pathtype);
    const Pieces pieces = Cut(loop, 10, pathtype, true);
    EXPECT_GE(pieces.outlines.size(), 2u);
    ExpectSoundOutlines(loop, pieces);
  }
  // An outline whose corner pokes through another edge by less than a unit once rounded.
  const std::vector<int32_t> poke = {1031, -861, -1559, -591, 1600, 471, 349,   1841, 930,
                                     1991, 1530, 746,   1464, 1467, 933, -1637, 1673, -1888};
  ExpectSoundOutlines(poke, Cut(poke, 119, 0, true));
  // Outlined pieces share their end points: the first stops where the second starts.
  const Pieces pieces = Cut(loop, 10, 0, true);
  const std::vector<int32_t>& first = pieces.outlines[0];
  const size_t n = first.size() / 2;
  const int32_t end_x = first[2 * (n / 2 - 1)], end_y = first[2 * (n / 2 - 1) + 1];
  EXPECT_TRUE(Covers(pieces.outlines[1], end_x, end_y));
}

TEST(CutWidePathTest, KeptPiecesKeepThePathsOwnEndPoints) {
  const std::vector<int32_t> loop = {0, 0, 100, 0, 100, 100, 50, 100, 50, -50, 200, -50};
  const Pieces pieces = Cut(loop, 10, 2, false);
  EXPECT_TRUE(pieces.outlines.empty());
  ASSERT_GE(pieces.paths.size(), 2u);
  // Not extended: the reader of the stream extends them by the path type.
  EXPECT_EQ(std::vector<int32_t>(pieces.paths.front().begin(), pieces.paths.front().begin() + 2),
            (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(std::vector<int32_t>(pieces.paths.back().end() - 2, pieces.paths.back().end()),
            (std::vector<int32_t>{200, -50}));
  // A later piece starts inside the segment into its first centre-line point.
  const std::vector<int32_t>& second = pieces.paths[1];
  EXPECT_GE(second.size(), 6u);
}

TEST(CutWidePathTest, RandomPathsGiveSoundOutlines) {
  std::mt19937 random(4711);
  std::uniform_int_distribution<int32_t> coordinate(-2000, 2000);
  for (int round = 0; round < 600; ++round) {
    const int points = 2 + static_cast<int>(random() % 20);
    std::vector<int32_t> xy;
    for (int i = 0; i < 2 * points; ++i) xy.push_back(coordinate(random));
    // Narrow paths too, down to 2 units: below that, rounding to whole units may leave
    // the centre line itself uncovered.
    const int32_t width = round % 2 == 0 ? 2 + static_cast<int32_t>(random() % 10)
                                         : 1 + static_cast<int32_t>(random() % 3000);
    const int pathtype = static_cast<int>(random() % 3);
    SCOPED_TRACE(::testing::Message() << "round " << round << " width " << width << " type "
                                      << pathtype << " " << ::testing::PrintToString(xy));
    ExpectSoundOutlines(xy, Cut(xy, width, pathtype, true));
    if (HasFailure()) break;
  }
}

TEST(CutWidePathTest, RepeatedPointsAndLongZigzagsEnd) {
  const std::vector<int32_t> repeats = {0, 0, 0, 0, 100, 0, 100, 0, 100, 0, 100, 100, 100, 100};
  for (int pathtype : {0, 1, 2}) ExpectSoundOutlines(repeats, Cut(repeats, 20, pathtype, true));
  EXPECT_EQ(Cut(repeats, 20, 0, false).paths.size() >= 1, true);

  // A zigzag whose outline crosses itself all along: many short pieces, found quickly.
  std::vector<int32_t> zigzag;
  for (int i = 0; i < 2000; ++i) zigzag.insert(zigzag.end(), {i * 10, (i % 2) * 30});
  for (int pathtype : {0, 1}) {
    const Pieces pieces = Cut(zigzag, 40, pathtype, true);
    EXPECT_GT(pieces.outlines.size(), 100u);
    for (const auto& outline : pieces.outlines) ASSERT_FALSE(CrossesItself(outline));
  }
}

// The area the outlines cover together (overlaps once), on a grid of cells of `step`
// units: exact for outlines whose edges lie on the grid.
double CoveredArea(const Pieces& pieces, int32_t step) {
  int32_t low_x = INT32_MAX, low_y = INT32_MAX, high_x = INT32_MIN, high_y = INT32_MIN;
  for (const std::vector<int32_t>& outline : pieces.outlines) {
    for (size_t i = 0; i < outline.size(); i += 2) {
      low_x = std::min(low_x, outline[i]), high_x = std::max(high_x, outline[i]);
      low_y = std::min(low_y, outline[i + 1]), high_y = std::max(high_y, outline[i + 1]);
    }
  }
  int64_t cells = 0;
  for (double x = low_x + step / 2.0; x < high_x; x += step) {
    for (double y = low_y + step / 2.0; y < high_y; y += step) {
      cells += std::any_of(pieces.outlines.begin(), pieces.outlines.end(),
                           [&](const auto& outline) { return Covers(outline, x, y); });
    }
  }
  return static_cast<double>(cells) * step * step;
}

// A path 1000 units wide along y = -1500 from x = 9000 to 16500 covers 8.5e6 square
// units with square ends (7.5e6 with flat ends), whichever of its points are given twice
// or three times; a corner given twice keeps its mitre.
TEST(CutWidePathTest, RepeatedPointsKeepTheEndsAndJoinsOfThePath) {
  struct Case {
    const char* what;
    std::vector<int32_t> xy;
    int pathtype;
    double area;
  };
  const std::vector<Case> cases = {
      {"last point repeated", {9000, -1500, 16500, -1500, 16500, -1500}, 2, 8.5e6},
      {"first point repeated", {9000, -1500, 9000, -1500, 16500, -1500}, 2, 8.5e6},
      {"last point three times", {9000, -1500, 16500, -1500, 16500, -1500, 16500, -1500}, 2, 8.5e6},
      {"pathtype 4, last point repeated", {9000, -1500, 16500, -1500, 16500, -1500}, 4, 8.5e6},
      {"pathtype 4, first point three times",
       {9000, -1500, 9000, -1500, 9000, -1500, 16500, -1500},
       4,
       8.5e6},
      {"middle point repeated", {9000, -1500, 12000, -1500, 12000, -1500, 16500, -1500}, 2, 8.5e6},
      {"pathtype 0, last point repeated", {9000, -1500, 16500, -1500, 16500, -1500}, 0, 7.5e6},
      // Along the line, then up by 4000 from the corner: the corner's outer square too.
      {"pathtype 0, corner repeated",
       {9000, -1500, 16500, -1500, 16500, -1500, 16500, 2500},
       0,
       8e6 + 3.5e6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Pieces pieces = Cut(c.xy, 1000, c.pathtype, true);
    EXPECT_EQ(CoveredArea(pieces, 250), c.area);
    for (const std::vector<int32_t>& outline : pieces.outlines) EXPECT_TRUE(Closed(outline));
  }
  // Kept as a path, the repeats go too and the ends are the path's own.
  const Pieces kept = Cut({9000, -1500, 9000, -1500, 16500, -1500, 16500, -1500}, 1000, 2, false);
  ASSERT_EQ(kept.paths.size(), 1u);
  EXPECT_EQ(kept.paths[0], (std::vector<int32_t>{9000, -1500, 16500, -1500}));
}

// A path whose points all lie at one place has no segment to give it a direction: no
// piece of any kind, and the result says why, so that its caller can warn of it.
TEST(CutWidePathTest, APathAtOnePlaceGivesNoPieceAndSaysSo) {
  const struct {
    std::vector<int32_t> xy;
    bool one_place;
  } cases[] = {
      {{500, -700, 500, -700}, true},
      {{500, -700, 500, -700, 500, -700}, true},
      {{500, -700, 500, -700, 501, -700}, false},
  };
  for (const auto& c : cases) {
    for (int pathtype : {0, 1, 2, 4}) {
      for (bool outlined : {true, false}) {
        for (bool count_only : {false, true}) {
          SCOPED_TRACE(::testing::Message()
                       << c.xy.size() / 2 << " points, pathtype " << pathtype
                       << (outlined ? ", outlined" : ", kept") << (count_only ? ", counted" : ""));
          Pieces pieces;
          WidePath path;
          path.xy = c.xy;
          path.width = 100;
          path.pathtype = pathtype;
          path.outlined = outlined;
          path.count_only = count_only;
          const PathCutResult result = CutWidePath(path, pieces, nullptr);
          EXPECT_EQ(result.at_one_place, c.one_place);
          EXPECT_EQ(result.pieces == 0, c.one_place);
          EXPECT_EQ(pieces.outlines.empty() && pieces.paths.empty(), c.one_place);
        }
      }
    }
  }
}

TEST(CutWidePathTest, DebugLogShowsRunsAndKeptPieces) {
  testing::ScratchJob job;
  {
    EngineLog log;
    ASSERT_TRUE(log.Open("debug.log"));
    Cut({0, 0, 100, 0, 100, 100}, 10, 0, false, &log);
  }
  EXPECT_EQ(testing::ScratchJob::Read("debug.log"),
            "\r\n Path: offset:0 count:3 type:0\r\nPairs:\r\n        0 ,        0 \r\n      100 ,"
            "        0 \r\n      100 ,      100 \r\n");
}

}  // namespace
}  // namespace kavrinth
