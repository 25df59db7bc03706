// Element queries: the window test in both selection modes, arc boxes and quadrant words,
// and the plot window.
#include "viewer/model/element_queries.h"

#include <gtest/gtest.h>

#include <vector>

#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {
namespace {

using Words = std::vector<GdxWord>;

GdxWord Hi(int32_t high, int32_t low) { return static_cast<GdxWord>((uint32_t(high) << 16) | low); }

// An element as stored: its data words with the points after `header` words.
struct Element {
  int32_t type;
  Words words;
  int header;
};

int Hits(const Element& e, const GdxRect& window, int32_t mode) {
  return ElementHitsWindow(e.type, e.words.data(), e.words.data() + e.header, window, mode);
}

const Element kPath{kGdxPath, {5, Hi(2, 0), 0, 2, 0, 0, 0, 10, 0}, 5};  // box (-2,-2)-(12,2)
const Element kOnePoint{kGdxBoundary, {10, Hi(1, 0), 0, 0, 0, 0, 0, 0, 0, 0, 5, 5}, 10};
// Two segments along the sides of a triangle that is not closed.
const Element kOpen{
    kGdxBoundary, {10, Hi(3, 0), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 100, 100}, 10};
const Element kFlash{kGdxFlashBoundary, {10, Hi(2, 0), 0, 50, 50, 0, 0, 0, 0, 0, 0, 0, 10, 0}, 10};
const Element kCircle{kGdxCircle, {6, 0, 0, 5, 1, 0, 0, 0, 5, 0, 5, 0}, 6};  // box (-6)-(6)
const Element kFlashCircle{kGdxFlashCircle, {6, 0, 0, 5, 1, 0, 0, 0, 5, 0, 5, 0}, 6};
const Element kArc{
    kGdxArc, {6, Hi(0x210, 0), 0, 10, 0, 0, 0, 0, 10, 0, 0, 10}, 6};  // (0,0)-(10,10)
const Element kText{kGdxText, {11, Hi(3, 0), 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 20, 8}, 11};
const Element kNode{kGdxNode, {5, Hi(1, 0), 0, 0, 0, 900, 900}, 5};

TEST(ElementHitsWindowTest, CrossingModeTestsEachSegmentBoxStrictly) {
  struct Case {
    const char* name;
    const Element& element;
    GdxRect window;
    int hit;
  } cases[] = {
      {"path box touches the window's left edge", kPath, {12, -5, 20, 5}, 0},
      {"path box overlaps it", kPath, {11, -5, 20, 5}, 1},
      {"path widened by its width", kPath, {-5, 1, 0, 5}, 1},
      {"path box touches the window's top", kPath, {0, 2, 5, 9}, 0},
      {"one-point boundary has no segment", kOnePoint, {0, 0, 10, 10}, 0},
      {"inside the open triangle, off both segments", kOpen, {10, 50, 20, 60}, 0},
      {"on the second segment", kOpen, {95, 50, 105, 60}, 1},
      {"flash boundary takes no width", kFlash, {0, 5, 10, 9}, 0},
      {"circle: centre plus radius and width", kCircle, {5, -1, 9, 1}, 1},
      {"circle box touches", kCircle, {6, -1, 9, 1}, 0},
      {"flash circle like a circle", kFlashCircle, {-9, -9, -6, -6}, 0},
      {"arc from quadrant 1 to 2 reaches the radius in y", kArc, {-5, 9, 5, 20}, 1},
      {"arc box touches", kArc, {-5, 10, 5, 20}, 0},
      {"arc does not reach negative x", kArc, {-5, 2, 0, 5}, 0},
      {"text uses its stored box", kText, {19, 7, 30, 30}, 1},
      {"text box touches", kText, {20, 7, 30, 30}, 0},
      {"a node is always hit", kNode, {0, 0, 1, 1}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hits(c.element, c.window, kSelectionCrossing), c.hit);
  }
}

TEST(ElementHitsWindowTest, WindowModeNeedsTheWholeBoxStrictlyInside) {
  struct Case {
    const char* name;
    const Element& element;
    GdxRect window;
    int hit;
  } cases[] = {
      {"path inside", kPath, {-3, -3, 13, 3}, 1},
      {"path touches the border", kPath, {-2, -3, 13, 3}, 0},
      {"union of the segments inside", kOpen, {-1, -1, 101, 101}, 1},
      {"union reaches beyond", kOpen, {-1, -1, 100, 101}, 0},
      {"one-point boundary", kOnePoint, {0, 0, 10, 10}, 0},
      {"circle inside", kCircle, {-7, -7, 7, 7}, 1},
      {"circle box on the border", kCircle, {-6, -7, 7, 7}, 0},
      {"arc inside", kArc, {-1, -1, 11, 11}, 1},
      {"a node is always hit", kNode, {0, 0, 1, 1}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hits(c.element, c.window, kSelectionWindow), c.hit);
  }
  EXPECT_EQ(Hits(kCircle, {-100, -100, 100, 100}, 2), 0) << "another mode hits nothing";
}

TEST_F(ViewerModelTest, TheWindowTestReadsTheViewersSelectionMode) {
  const GdxRect window{5, -1, 9, 1};
  services_.selection_mode = kSelectionCrossing;
  EXPECT_EQ(ElementHitsWindow(kCircle.type, kCircle.words.data(), kCircle.words.data() + 6, window),
            1);
  services_.selection_mode = kSelectionWindow;
  EXPECT_EQ(ElementHitsWindow(kCircle.type, kCircle.words.data(), kCircle.words.data() + 6, window),
            0);
}

TEST(ArcBoxTest, QuadrantRulesGiveTheBoxRelativeToTheCentre) {
  struct Case {
    const char* name;
    int32_t sx, sy, ex, ey;
    int32_t quadrants;
    GdxRect box;
  } cases[] = {
      {"quadrant 1 into 2", 10, 0, -6, 8, 0x210, {-6, 0, 10, 10}},
      {"within quadrant 1", 8, 6, 6, 8, 0x110, {6, 6, 8, 8}},
      {"quadrant 2 into 3", -6, 8, -6, -8, 0x420, {-10, -8, -6, 8}},
      {"quadrant 3 into 4", -6, -8, 6, -8, 0x840, {-6, -10, 6, -8}},
      {"quadrant 4 into 1", 6, -8, 6, 8, 0x180, {6, -8, 10, 8}},
      {"quadrants 2 and 3 swept", 8, 6, 6, -8, 0x816, {-10, -10, 8, 10}},
      {"all swept", 10, 0, 10, 0, 0x11F, {-10, -10, 10, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The centre at (100, 200): the box is relative to it.
    EXPECT_EQ(ArcBox(c.sx + 100, c.sy + 200, c.ex + 100, c.ey + 200, 100, 200, 10, c.quadrants),
              c.box);
  }
}

TEST(ArcBoxTest, QuadrantWordOfACounterClockwiseSweep) {
  struct Case {
    const char* name;
    int32_t sx, sy;
    int32_t sweep_tenths;
    int32_t word;
  } cases[] = {
      {"a quarter from +x", 10, 0, 900, 0x210},
      {"a half from +x sweeps quadrant 2", 10, 0, 1800, 0x412},
      {"small, within quadrant 1", 8, 6, 100, 0x110},
      {"almost a full turn", 7071, 7071, 3500, 0x11E},
      {"from -y through +x", 0, -10, 1800, 0x281},
      {"a full turn sweeps all", 10, 0, 3600, 0x11F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ArcQuadrantWord(c.sx + 5, c.sy - 5, 5, -5, c.sweep_tenths), c.word);
  }
}

TEST_F(ViewerModelTest, PlotWindowRectOrdersTheRectangleAndSkipsEmptyOnes) {
  EXPECT_EQ(PlotWindowRect({10, 40, 30, 20}), 1);
  ASSERT_EQ(services_.plotted.size(), 1u);
  EXPECT_EQ(services_.plotted[0], (GdxRect{10, 20, 30, 40}));
  EXPECT_EQ(PlotWindowRect({10, 20, 10, 40}), 0);
  EXPECT_EQ(PlotWindowRect({10, 20, 30, 20}), 0);
  EXPECT_EQ(services_.plotted.size(), 1u);
}

TEST(IsFlashTypeTest, OnlyTheFlashKinds) {
  for (int32_t type : {157, 158, 159}) EXPECT_NE(IsFlashType(type), 0) << type;
  for (int32_t type : {8, 128, 156, 160}) EXPECT_EQ(IsFlashType(type), 0) << type;
}

// A library with structure "TOP": a path, a circle, a text, a group of two flashes, a
// boundary; then structure "NEXT" with one path.
class ChangeElementsTest : public ViewerModelTest {
 protected:
  void SetUp() override {
    ViewerModelTest::SetUp();
    library_ = GdxBeginLibrary("lib");
    ASSERT_NE(library_, nullptr);
    ASSERT_EQ(GdxSetUnits(0.001, 1e-9), 0);
    GdxStartStructure();
    ASSERT_EQ(GdxBeginStructure("TOP"), 0);
    Path({0, 0, 100, 0}, 4);
    GdxBeginCircle();
    GdxSetRadius(5);
    GdxSetWidth(1);
    const Words circle = {500, 500, 505, 500, 505, 500};
    ASSERT_EQ(GdxAddPoints(1, circle.data(), 6), 0);
    GdxEndElement();
    GdxBeginText();
    const Words at = {20, 20};
    ASSERT_EQ(GdxAddPoints(1, at.data(), 2), 0);
    ASSERT_EQ(GdxAddText("T"), 0);
    GdxEndElement();
    GdxBeginGroup();
    const Words group_at = {0, 0};
    ASSERT_EQ(GdxAddPoints(1, group_at.data(), 2), 0);
    GdxEndElement();
    for (int32_t type : {kGdxFlashBoundary, kGdxFlashBoundary, kGdxFlashGroup}) {
      ASSERT_NE(GdxAddElement(type, 0, nullptr), kGdxNoHandle);
    }
    GdxBeginBoundary();
    const Words square = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};
    ASSERT_EQ(GdxAddPoints(1, square.data(), 10), 0);
    GdxEndElement();
    GdxEndStructure();
    GdxStartStructure();
    ASSERT_EQ(GdxBeginStructure("NEXT"), 0);
    Path({0, 0, 5, 5}, 2);
    GdxEndStructure();
    GdxEndLibrary();
  }
  static void Path(Words points, int32_t width) {
    GdxBeginPath();
    GdxSetWidth(width);
    ASSERT_EQ(GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size())), 0);
    GdxEndElement();
  }
  // Per element of the library, in order: type, selection flags and width word (or -1).
  struct Seen {
    int32_t type, flags, width;
    bool operator==(const Seen&) const = default;
  };
  std::vector<Seen> Elements() const {
    std::vector<Seen> seen;
    for (GdxEntryCursor c(library_); c.Valid(); c.Next()) {
      const int32_t type = c.Type();
      if (type != kGdxPath && type != kGdxCircle && type != kGdxText && type != kGdxGroup &&
          type != kGdxBoundary && !IsFlashType(type)) {
        continue;
      }
      const GdxWord* d = c.Data();
      const int32_t width = d == nullptr                            ? -1
                            : type == kGdxPath || type == kGdxGroup ? d[3]
                            : type == kGdxCircle                    ? d[4]
                                                                    : -1;
      seen.push_back({type, c.Entry()[kGdxEntrySelection], width});
    }
    return seen;
  }
  int32_t Id(const char* name) const { return GdxFindStructureByName(library_, name, 0)->id; }

  GdxLibrary* library_ = nullptr;
};

TEST_F(ChangeElementsTest, WidthsAndFlagsOfTheChosenElementsOfOneStructure) {
  GdxChangeRecord change;
  change.width = 9;
  change.flags = 2;  // deleted
  // Stored kinds only: the text keeps its flags; flashes of the group mark the group.
  ASSERT_EQ(GdxChangeElements(library_, Id("TOP"),
                              kGdxChangeStoredKinds | kGdxChangeWidth | kGdxChangeFlags, change),
            0);
  const std::vector<Seen> expected = {
      {kGdxPath, 2, 9},        {kGdxCircle, 2, 9},         {kGdxText, 0, -1},
      {kGdxGroup, 2, 9},       {kGdxFlashBoundary, 0, -1}, {kGdxFlashBoundary, 0, -1},
      {kGdxFlashGroup, 0, -1}, {kGdxBoundary, 2, -1},      {kGdxPath, 0, 2}};
  EXPECT_EQ(Elements(), expected) << "the next structure's path is left alone";

  // Clearing a flag bit, in a window that holds only the path of NEXT.
  change.window = {-3, -3, 8, 8};  // the path's box widened by its width: (-2,-2)-(7,7)
  change.clear_flags = 2;
  change.flags = 1;
  services_.selection_mode = kSelectionWindow;
  ASSERT_EQ(GdxChangeElements(library_, Id("NEXT"), kGdxChangeInWindow | kGdxChangeFlags, change),
            0);
  EXPECT_EQ(Elements().back(), (Seen{kGdxPath, 1, 2}));
  ASSERT_EQ(GdxChangeElements(library_, Id("TOP"), kGdxChangeInWindow | kGdxClearFlags, change), 0);
  EXPECT_EQ(Elements()[0], (Seen{kGdxPath, 2, 9})) << "the path of TOP is not inside the window";
  EXPECT_EQ(Elements()[7], (Seen{kGdxBoundary, 2, -1})) << "nor is the square, larger than it";
  change.window = {-1, -1, 11, 11};
  ASSERT_EQ(GdxChangeElements(library_, Id("TOP"), kGdxChangeInWindow | kGdxClearFlags, change), 0);
  EXPECT_EQ(Elements()[7], (Seen{kGdxBoundary, 0, -1}));

  // 0x1000 stops after the first element that takes part.
  change.width = 33;
  ASSERT_EQ(GdxChangeElements(library_, Id("TOP"), kGdxChangeFirstOnly | kGdxChangeWidth, change),
            0);
  EXPECT_EQ(Elements()[0].width, 33);
  EXPECT_EQ(Elements()[1].width, 9);

  EXPECT_EQ(GdxChangeElements(library_, 99, kGdxChangeWidth, change), 1);
  EXPECT_EQ(GdxChangeElements(nullptr, 1, kGdxChangeWidth, change), 1);
}

}  // namespace
}  // namespace kavrinth
