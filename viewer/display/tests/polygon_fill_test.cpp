// The scan-line polygon fill against hand-computed pixel sets.
#include "viewer/display/polygon_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace kavrinth {
namespace {

using PixelSet = std::set<std::pair<int, int>>;
using Points = std::vector<LogicalPoint>;

class PolygonFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(surface_.Create(40, 30));
    surface_.SetColorIndex(5, 0);
  }

  int Fill(const Points& points, ViewRect view = {0, 0, 39, 29}) {
    surface_.Clear();
    return fill_.FillPolygon(&surface_, points, view);
  }

  PixelSet Painted() const {
    PixelSet set;
    for (int y = 0; y < surface_.height(); ++y) {
      for (int x = 0; x < surface_.width(); ++x) {
        if (surface_.Pixel(x, y) != kSlotBackground) set.insert({x, y});
      }
    }
    return set;
  }

  // Every pixel (x, y) of the box for which the rule holds.
  template <typename Rule>
  static PixelSet Where(int x0, int y0, int x1, int y1, Rule rule) {
    PixelSet set;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        if (rule(x, y)) set.insert({x, y});
      }
    }
    return set;
  }

  DisplaySurface surface_;
  PolygonFill fill_;
};

TEST_F(PolygonFillTest, HandComputedShapes) {
  struct Case {
    const char* name;
    Points points;
    PixelSet pixels;
  };
  const auto all = [](int, int) { return true; };
  const Case cases[] = {
      {"rectangle, ends inclusive", {{2, 2}, {5, 2}, {5, 4}, {2, 4}}, Where(2, 2, 5, 4, all)},
      {"rectangle closed by its first point",
       {{2, 2}, {5, 2}, {5, 4}, {2, 4}, {2, 2}},
       Where(2, 2, 5, 4, all)},
      // Row 0 is the horizontal edge; the hypotenuse crosses row r at 8 - r.
      {"right triangle",
       {{0, 0}, {8, 0}, {0, 8}},
       Where(0, 0, 8, 8, [](int x, int y) { return x <= 8 - y; })},
      // A top vertex is not painted on its own row: the edges start one row below it.
      {"diamond",
       {{10, 0}, {14, 4}, {10, 8}, {6, 4}},
       Where(6, 1, 14, 8,
             [](int x, int y) {
               const int half = y <= 4 ? y : 8 - y;
               return y >= 1 && x >= 10 - half && x <= 10 + half;
             })},
      // Concave: a notch cut into the top edge from (3,0) down to (5,4) and up to (7,0).
      {"concave notch",
       {{0, 0}, {3, 0}, {5, 4}, {7, 0}, {10, 0}, {10, 6}, {0, 6}},
       [] {
         PixelSet set = Where(0, 0, 10, 6, [](int x, int y) {
           if (y >= 4) return true;
           // Row y: the left flank of the notch reaches 3 + y/2 rounded as its walk steps,
           // the right flank mirrors it.
           const int left = 3 + (y + 1) / 2;
           const int right = 7 - (y + 1) / 2;
           return y == 0 ? (x <= 3 || x >= 7) : (x <= left || x >= right);
         });
         return set;
       }()},
      {"sliver: two points", {{3, 3}, {3, 9}}, Where(3, 4, 3, 9, all)},
      {"single point", {{4, 4}}, {}},
  };
  for (const Case& c : cases) {
    Fill(c.points);
    EXPECT_EQ(Painted(), c.pixels) << c.name;
  }
}

TEST_F(PolygonFillTest, SubPolygonsSeparatedByBreaksFillEvenOdd) {
  // An outer square with a hole: the hole's border pixels belong to the fill, its inside
  // does not.
  const Points holed = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, kPolygonBreak,
                        {3, 3}, {6, 3},  {6, 6},   {3, 6}};
  EXPECT_EQ(Fill(holed), 0);
  EXPECT_EQ(Painted(), Where(0, 0, 10, 10,
                             [](int x, int y) { return !(x >= 4 && x <= 5 && y >= 4 && y <= 5); }));
  // Two disjoint squares, the first closed explicitly, the second not.
  Fill({{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}, kPolygonBreak, {5, 5}, {7, 5}, {7, 7}, {5, 7}});
  PixelSet two = Where(0, 0, 2, 2, [](int, int) { return true; });
  const PixelSet second = Where(5, 5, 7, 7, [](int, int) { return true; });
  two.insert(second.begin(), second.end());
  EXPECT_EQ(Painted(), two);
  // Self-touching: two triangles meeting in one vertex.
  Fill({{0, 0}, {4, 4}, {8, 0}, kPolygonBreak, {0, 8}, {4, 4}, {8, 8}});
  const PixelSet touching = Painted();
  EXPECT_TRUE(touching.count({4, 0}) && touching.count({4, 8}) && touching.count({4, 3}));
  EXPECT_FALSE(touching.count({0, 4}) || touching.count({8, 4}));
}

TEST_F(PolygonFillTest, ClippedToTheViewAndNothingOutsideIt) {
  const ViewRect view{5, 5, 20, 20};
  // A triangle with its apex left of the view fills from the view's left edge.
  EXPECT_EQ(Fill({{-30, 12}, {15, 8}, {15, 16}}, view), 0);
  PixelSet left = Painted();
  for (const auto& [x, y] : left) ASSERT_TRUE(view.Contains(x, y)) << x << "," << y;
  EXPECT_TRUE(left.count({5, 12}) && left.count({15, 12}));
  EXPECT_FALSE(left.count({16, 12}));
  // Apex right of the view: filled to the right edge.
  Fill({{10, 8}, {60, 12}, {10, 16}}, view);
  const PixelSet right = Painted();
  for (const auto& [x, y] : right) ASSERT_TRUE(view.Contains(x, y)) << x << "," << y;
  EXPECT_TRUE(right.count({20, 12}) && right.count({10, 12}));
  // A polygon wholly above, or wholly left of, the view paints nothing.
  EXPECT_EQ(Fill({{6, 0}, {12, 0}, {12, 3}, {6, 3}}, view), 1);
  EXPECT_TRUE(Painted().empty());
  Fill({{0, 8}, {3, 8}, {3, 12}, {0, 12}}, view);
  EXPECT_TRUE(Painted().empty()) << "edges left of the view paint nothing";
  // A polygon holding the whole view fills all of it, and only it.
  Fill({{-100, -100}, {100, -100}, {100, 100}, {-100, 100}}, view);
  EXPECT_EQ(Painted(), Where(5, 5, 20, 20, [](int, int) { return true; }));
  // The view is cut to the surface.
  Fill({{-5, -5}, {100, -5}, {100, 100}, {-5, 100}}, ViewRect{-10, -10, 100, 100});
  EXPECT_EQ(Painted().size(), 40u * 30u);
}

TEST_F(PolygonFillTest, HugeCoordinatesFillQuicklyWithTheSamePixels) {
  // A shallow edge two billion pixels long: its crossings come from its walk without the
  // walk itself, and the pixels in view do not depend on where the view lies.
  const Points far = {{-2000000000, 0}, {2000000000, 29}, {-2000000000, 29}};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fill(far), 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 0.5);
  const PixelSet whole = Painted();
  // A shallow edge's crossing on a row is where its run of pixels on that row begins: where
  // the line passes the row's upper half. It passes y = 14.5 at x = 0 and y = 15.5 far to the
  // right: row 14 is clear in view, row 15 holds x = 0 only, rows from 16 are full.
  EXPECT_FALSE(whole.count({0, 14}));
  EXPECT_TRUE(whole.count({0, 15}));
  EXPECT_FALSE(whole.count({1, 15}));
  EXPECT_TRUE(whole.count({39, 16}) && whole.count({0, 29}));
  Fill(far, ViewRect{10, 12, 30, 20});
  const PixelSet part = Painted();
  for (const auto& p : part) EXPECT_TRUE(whole.count(p));
  EXPECT_EQ(part, Where(10, 12, 30, 20, [&](int x, int y) { return whole.count({x, y}) > 0; }));
}

TEST_F(PolygonFillTest, ListsLongerThanAnyFixedTableAreFilled) {
  // A rectangle given by 6000 points along its top and bottom edges, many of them repeated.
  Points many;
  for (int i = 0; i < 3000; ++i) many.push_back({i * 30 / 3000, 2});
  for (int i = 2999; i >= 0; --i) many.push_back({i * 30 / 3000, 20});
  EXPECT_EQ(Fill(many), 0);
  EXPECT_EQ(Painted(), Where(0, 2, 29, 20, [](int, int) { return true; }));
}

// The fill's rule in its slow form: every edge walked pixel by pixel from its upper end,
// each row's crossings paired from the left.
PixelSet WalkedFill(const Points& polygon) {
  std::map<int, std::vector<int>> rows;
  PixelSet pixels;
  const size_t n = polygon.size();
  for (size_t i = 0; i < n; ++i) {
    LogicalPoint p = polygon[i], q = polygon[(i + 1) % n];
    if (p.y > q.y) std::swap(p, q);
    if (p.y == q.y) {
      rows[p.y].push_back(std::min(p.x, q.x));
      rows[p.y].push_back(std::max(p.x, q.x));
      for (int x = std::min(p.x, q.x); x <= std::max(p.x, q.x); ++x) pixels.insert({x, p.y});
      continue;
    }
    const int adx = std::abs(q.x - p.x), ady = q.y - p.y, s = q.x >= p.x ? 1 : -1;
    int x = p.x;
    if (ady >= adx) {
      int error = 2 * adx - ady;
      auto step = [&] { error < 0 ? error += 2 * adx : (x += s, error += 2 * adx - 2 * ady); };
      step();
      for (int y = p.y + 1; y <= q.y; ++y) rows[y].push_back(x), step();
    } else {
      int error = 2 * ady - adx;
      for (int y = p.y;; ++y) {
        if (y != p.y) rows[y].push_back(x);
        bool stepped_down = false;
        while (x != q.x) {
          x += s;
          if (error >= 0) {
            error += 2 * ady - 2 * adx;
            stepped_down = true;
            break;
          }
          error += 2 * ady;
        }
        if (x == q.x && !stepped_down) break;
      }
    }
  }
  for (auto& [y, list] : rows) {
    std::sort(list.begin(), list.end());
    for (size_t k = 0; k + 1 < list.size(); k += 2) {
      for (int x = list[k]; x <= list[k + 1]; ++x) pixels.insert({x, y});
    }
  }
  return pixels;
}

TEST_F(PolygonFillTest, MatchesThePixelByPixelWalkOnRandomPolygons) {
  std::mt19937 random(16);
  for (int round = 0; round < 400; ++round) {
    Points polygon(3 + random() % 6);
    for (LogicalPoint& p : polygon) {
      p = {static_cast<int32_t>(random() % 40), static_cast<int32_t>(random() % 30)};
    }
    Fill(polygon);
    ASSERT_EQ(Painted(), WalkedFill(polygon)) << "round " << round;
  }
}

}  // namespace
}  // namespace kavrinth
