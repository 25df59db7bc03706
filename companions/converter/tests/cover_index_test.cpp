// The indexes of a covered shape: whether a cover flash lies within one of its
// rectangles is the answer of testing every rectangle, for rectangles of every kind the
// cover meets, among many others; and a piece is covered by the shape's flashes when no
// part of it lies beyond their reach.
#include "companions/converter/cover_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace kavrinth {
namespace {

using Quad = std::array<CoverPoint, 4>;

// A rectangle of sides w and h about (cx, cy), turned by the angle, corners rounded to
// whole units unless `exact`; `clockwise` gives its corners the other way round.
Quad Turned(double cx, double cy, double w, double h, double degrees, bool exact = false,
            bool clockwise = false) {
  const double a = degrees * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
  const double dx[4] = {-w / 2, w / 2, w / 2, -w / 2}, dy[4] = {-h / 2, -h / 2, h / 2, h / 2};
  Quad q;
  for (int k = 0; k < 4; ++k) {
    const double x = cx + dx[k] * c - dy[k] * s, y = cy + dx[k] * s + dy[k] * c;
    q[k] = exact ? CoverPoint{x, y} : CoverPoint{std::round(x), std::round(y)};
  }
  if (clockwise) std::reverse(q.begin(), q.end());
  return q;
}

bool ByEveryRectangle(const std::vector<Quad>& quads, const PgOutputFlash& f, double slack) {
  const double hw = f.w / 2.0, hh = f.h / 2.0;
  const CoverPoint corners[4] = {
      {f.x - hw, f.y - hh}, {f.x + hw, f.y - hh}, {f.x + hw, f.y + hh}, {f.x - hw, f.y + hh}};
  return std::any_of(quads.begin(), quads.end(), [&](const Quad& q) {
    return std::all_of(std::begin(corners), std::end(corners),
                       [&](CoverPoint p) { return InConvexQuad(q, p, slack); });
  });
}

TEST(RectangleIndexTest, HoldsWhatTestingEveryRectangleHolds) {
  struct Kind {
    std::string name;
    Quad quad;
    bool holds_all = false;
  };
  // Each kind stands alone at the origin, then among 300 others around it, so that the
  // index has tiles and levels to get wrong.
  const Kind kinds[] = {
      {"axis-parallel", Turned(0, 0, 400, 160, 0)},
      {"turned 30 degrees", Turned(0, 0, 400, 160, 30)},
      {"turned 30 degrees, clockwise corners", Turned(0, 0, 400, 160, 30, false, true)},
      {"unrounded, turned 61.3 degrees", Turned(0, 0, 300, 90, 61.3, true)},
      {"long and thin", Turned(0, 0, 6100, 1, 0)},
      {"long and thin, turned 45 degrees", Turned(0, 0, 6100, 3, 45)},
      {"thinner than the slack, turned 10 degrees", Turned(0, 0, 50, 2, 10, true)},
      {"smaller than the slack", Turned(0, 0, 1, 1, 0)},
      {"without height: holds along its whole line", Turned(0, 0, 40, 0, 0)},
      {"a single point: holds everything", Turned(0, 0, 0, 0, 0), true},
      {"corners off a rectangle by a unit", Quad{CoverPoint{0, 0}, {200, 1}, {199, 100}, {1, 99}}},
  };
  std::mt19937 random(48);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<Quad> others;
  for (int i = 0; i < 300; ++i) {
    others.push_back(Turned(unit(random) * 8000 - 4000, unit(random) * 2000 - 1000,
                            2 + unit(random) * 600, 2 + unit(random) * 300,
                            i % 3 == 0 ? 0 : unit(random) * 360, i % 5 == 0));
  }
  for (const double slack : {1.5, 12.0}) {
    for (const Kind& kind : kinds) {
      SCOPED_TRACE(kind.name + ", slack " + std::to_string(slack));
      for (bool crowded : {false, true}) {
        std::vector<Quad> quads = {kind.quad};
        if (crowded) quads.insert(quads.end(), others.begin(), others.end());
        RectangleIndex index;
        index.Clear(slack);
        for (const Quad& q : quads) index.Add(q);
        index.Build();
        // Flashes of many sizes from inside the rectangle to far along and across it; among
        // the others (where the scan of every rectangle is slow) on a grid twice as coarse.
        const int32_t step = crowded ? 2 : 1;
        int held = 0, checked = 0;
        for (int32_t size : {1, 2, 6, 40, 150, 402}) {
          for (int32_t y = -240; y <= 240; y += 12 * step) {
            for (int32_t x = -3200; x <= 3200; x += x > -260 && x < 260 ? 6 * step : 97) {
              PgOutputFlash flash;
              flash.x = x;
              flash.y = y;
              flash.w = size;
              flash.h = std::max(1, size / 3);
              const bool expected = ByEveryRectangle(quads, flash, slack);
              ASSERT_EQ(index.Holds(flash), expected) << x << "," << y << " " << size;
              held += expected;
              ++checked;
            }
          }
        }
        EXPECT_GT(held, 0);
        if (!kind.holds_all) {
          EXPECT_LT(held, checked) << "every flash held";
        }
      }
    }
  }
}

TEST(RectangleIndexTest, WithoutRectanglesNothingIsHeld) {
  RectangleIndex index;
  index.Clear(1.5);
  index.Build();
  PgOutputFlash flash;
  flash.w = flash.h = 2;
  EXPECT_FALSE(index.Holds(flash));
}

TEST(FlashIndexTest, APieceIsCoveredWhenNoPartOfItLiesBeyondTheReach) {
  // An axis-parallel flash of 100 x 40 about the origin, one of 60 x 20 turned by 45
  // degrees about (400, 0), and three of 10 x 10 further down; a reach of 5.
  std::vector<PgOutputFlash> flashes(5);
  flashes[0].w = 100;
  flashes[0].h = 40;
  flashes[1].x = 400;
  flashes[1].w = 60;
  flashes[1].h = 20;
  flashes[1].angle = 450;
  for (size_t i : {2, 3, 4}) {
    flashes[i].x = i == 2 ? 40 : i == 3 ? 171 : 300;
    flashes[i].y = i == 3 ? -107 : -100;
    flashes[i].w = flashes[i].h = 10;
  }
  FlashIndex index;
  index.Build(flashes, 5);
  auto sliver = [](double x0, double y0, double x1, double y1) {  // a triangle 0.5 thick
    return Quad{CoverPoint{x0, y0}, {x1, y1}, {x0, y0 + 0.5}, {x0, y0 + 0.5}};
  };
  const double r = 400 + 30 / std::numbers::sqrt2;  // the end of the turned flash's axis
  struct Case {
    std::string name;
    Quad piece;
    bool covered;
  };
  const Case cases[] = {
      {"inside", Turned(10, 5, 30, 10, 20, true), true},
      {"across an edge, by less than the reach", Turned(48, 0, 12, 10, 0, true), true},
      {"across an edge, by more than the reach", Turned(50, 0, 30, 10, 0, true), false},
      {"a sliver along an edge", sliver(-40, 20, 40, 20), true},
      {"a sliver apart from an edge by less than the reach", sliver(-40, 24, 40, 24), true},
      {"a sliver apart from an edge by more than the reach", sliver(-40, 26, 40, 26), false},
      {"an arm leading away from an edge", sliver(50, 0, 90, 0), false},
      {"an arm no longer than the reach", sliver(50, 0, 54, 0), true},
      {"an arm off the turned flash's end", sliver(r, r - 400, r + 40, r - 400), false},
      {"beside the turned flash's end", sliver(r + 3, r - 400, r + 4, r - 400), true},
      {"a bridge between flashes, reaching further from them between its ends and middle",
       Quad{CoverPoint{47, -100}, {293, -100}, {293.5, -99.5}, {47.5, -99.5}}, false},
      {"far from every flash", Turned(1000, 1000, 10, 10, 30, true), false},
  };
  for (const Case& c : cases) EXPECT_EQ(index.Covers(c.piece), c.covered) << c.name;
}

}  // namespace
}  // namespace kavrinth
