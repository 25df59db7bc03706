// The layout database: storage words of every element kind, the scale factor, extents,
// page and block boundaries, structure slots, and the library life cycle.
#include "viewer/model/gdx_database.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {
namespace {

using Words = std::vector<GdxWord>;

GdxWord F(float value) { return std::bit_cast<GdxWord>(value); }
GdxWord Hi(int32_t high, int32_t low) { return static_cast<GdxWord>((uint32_t(high) << 16) | low); }

class GdxDatabaseTest : public ViewerModelTest {
 protected:
  // A library "lib" with structure "TOP" open for elements.
  GdxLibrary* Begin(double user_unit = 0.001) {
    GdxLibrary* library = GdxBeginLibrary("lib");
    EXPECT_NE(library, nullptr);
    EXPECT_EQ(GdxSetUnits(user_unit, user_unit * 1e-6), 0);
    GdxStartStructure();
    EXPECT_EQ(GdxBeginStructure("TOP"), 0);
    return library;
  }

  static void Boundary(std::vector<GdxWord> points) {
    GdxBeginBoundary();
    ASSERT_EQ(GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size())), 0);
    GdxEndElement();
  }

  static std::vector<GdxHandle> BlockChain(const GdxLibrary* library) {
    std::vector<GdxHandle> chain;
    for (GdxHandle h = library->first_data_block; h != kGdxNoHandle;
         h = static_cast<GdxHandle>(GdxBlockWords(h)[kGdxBlockNext])) {
      chain.push_back(h);
    }
    return chain;
  }
};

TEST_F(GdxDatabaseTest, EveryElementKindIsStoredInItsWords) {
  struct Case {
    const char* name;
    int32_t type;
    std::function<void()> write;
    Words data;
  } cases[] = {
      {"boundary",
       kGdxBoundary,
       [] {
         GdxBeginBoundary();
         const Words extra = {1, 2, 3, 4, 5};
         GdxSetHeaderWords(extra.data(), 5);
         GdxSetElementTag(0x4);
         GdxAddElementFlags(kGdxFlashFlags);
         const Words p = {0, 0, 10, 0, 10, 10};
         GdxAddPoints(1, p.data(), 6);
       },
       {Hi(0x180, 10), Hi(3, 7), 0x4, 0, 0, 1, 2, 3, 4, 5, 0, 0, 10, 0, 10, 10}},
      {"path",
       kGdxPath,
       [] {
         GdxBeginPath();
         GdxSetPathType(2);
         GdxSetWidth(4);
         const Words p = {1, 2, 3, 4};
         GdxAddPoints(1, p.data(), 4);
       },
       {5, Hi(2, 7), Hi(2, 0), 4, 0, 1, 2, 3, 4}},
      {"filled circle",
       kGdxCircle,
       [] {
         GdxBeginCircle();
         GdxSetRadius(5);
         GdxSetWidth(1);
         const Words p = {10, 10, 15, 10, 15, 10};
         GdxAddPoints(1, p.data(), 6);
       },
       {Hi(1, 6), 7, 0, 5, 1, 0, 10, 10, 15, 10, 15, 10}},
      {"outlined circle",
       kGdxCircle,
       [] {
         GdxBeginCircle();
         GdxSetDataType(3);
         GdxSetRadius(5);
         const Words p = {10, 10, 15, 10, 15, 10};
         GdxAddPoints(1, p.data(), 6);
       },
       {6, 7, 0, 5, 0, 0, 10, 10, 15, 10, 15, 10}},
      {"arc",
       kGdxArc,
       [] {
         GdxBeginArc();
         GdxSetArcQuadrants(0x210);
         GdxSetPathType(1);
         GdxSetRadius(5);
         GdxSetWidth(2);
         const Words p = {0, 0, 5, 0, 0, 5};
         GdxAddPoints(1, p.data(), 6);
       },
       {6, Hi(0x210, 7), Hi(1, 0), 5, 2, 0, 0, 0, 5, 0, 0, 5}},
      {"node with two flag words",
       kGdxNode,
       [] {
         GdxBeginNode();
         GdxSetDataType(9);
         const Words p = {1, 1, 2, 2, 3, 3};
         GdxAddPoints(1, p.data(), 6);
       },
       {5, Hi(3, 7), Hi(9, 0), 0, 0, 1, 1, 2, 2, 3, 3}},
      {"marker list",
       kGdxMarkerList,
       [] {
         GdxBeginMarkerList();
         GdxSetDataType(4);
         GdxSetMarkerValues(11, 12);
         const Words p = {8, 9};
         GdxAddPoints(1, p.data(), 2);
       },
       {8, Hi(1, 7), Hi(4, 0), 11, 12, 0, 0, 0, 8, 9}},
      {"group (its header; a group keeps no point count)",
       kGdxGroup,
       [] {
         GdxBeginGroup();
         GdxSetDataType(2);
         GdxSetPathType(1);
         GdxSetWidth(3);
         const Words p = {4, 5};
         GdxAddPoints(1, p.data(), 2);
       },
       {5, Hi(2, 7), Hi(1, 0), 3, 0}},
      {"structure reference",
       kGdxSref,
       [] {
         GdxBeginSref();
         GdxSetLayer(7);
         GdxSetAngle(90);
         GdxSetMagnification(2);
         GdxSetElementTag(0x8);  // references keep the structure id in word 2
         GdxBeginStructure("CELL");
         const Words p = {20, 30};
         GdxAddPoints(1, p.data(), 2);
       },
       {7, 7, 2, 0, F(90), F(2), F(2), 20, 30}},
      {"array reference",
       kGdxAref,
       [] {
         GdxBeginAref();
         GdxSetLayer(7);
         GdxSetColRow(3, 2);
         GdxBeginStructure("CELL");
         const Words p = {0, 0, 30, 0, 0, 20};
         GdxAddPoints(1, p.data(), 6);
       },
       {7, 7, 2, Hi(3, 2), F(0), F(1), F(1), 0, 0, 30, 0, 0, 20}},
      {"text",
       kGdxText,
       [] {
         GdxBeginText();
         const Words p = {5, 6};
         GdxAddPoints(1, p.data(), 2);
         GdxAddText("AB");
       },
       {11, Hi(3, 7), 0, 0, 2, F(0), F(1), F(1), 0, 0, 0, 5, 6, 5, 6, 5, 6, 'A' | 'B' << 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetViewerModel();
    GdxLibrary* library = Begin();
    GdxSetLayer(7);
    c.write();
    GdxEndElement();
    GdxEndStructure();
    GdxEndLibrary();
    const std::vector<StoredElement> elements = StoredElements(library);
    ASSERT_EQ(elements.size(), 3u);  // BGNSTR, the element, the end mark
    EXPECT_EQ(elements[0].type, kGdxStructureBegin);
    EXPECT_EQ(elements[1].type, c.type);
    EXPECT_EQ(elements[1].entry[kGdxEntryType], c.type);
    EXPECT_EQ(elements[1].entry[kGdxEntrySelection], 0);
    EXPECT_EQ(elements[1].data, c.data);
    EXPECT_EQ(elements[2].type, kGdxEndMark);
  }
}

TEST_F(GdxDatabaseTest, HeaderAndReservedWordsFollowTheTypeTable) {
  struct Case {
    int32_t type;
    int32_t header;
    int32_t reserved_for_10;
  } cases[] = {
      {kGdxEndMark, 0, 0},
      {kGdxStructureBegin, 0, 0},
      {kGdxBoundary, 10, 20},
      {kGdxPath, 5, 15},
      {kGdxSref, 7, 23},
      {kGdxAref, 7, 23},
      {kGdxText, 11, 21},
      {kGdxElementEnd, 0, 14},
      {kGdxNode, 3, 16},
      {kGdxSessionMarker, 0, 14},
      {kGdxCircle, 6, 22},
      {kGdxArc, 6, 22},
      {kGdxGroup, 5, 15},
      {kGdxMarkerList, 7, 20},
      {kGdxFlashBoundary, 0, 0},
      {3, 0, 0},
      {146, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(GdxElementHeaderWords(c.type), c.header);
    EXPECT_EQ(GdxElementDataWords(c.type, 10), c.reserved_for_10);
  }
}

TEST_F(GdxDatabaseTest, UserUnitSetsTheScaleFactor) {
  struct Case {
    double user_unit;
    int result;
    int32_t factor;
  } cases[] = {
      {0.001, 0, 1}, {0.33, 0, 1}, {0.34, 0, 10}, {1.0, 0, 10}, {3.4, 0, 100},
      {-1.0, 0, 1},  {1e-8, 1, 1}, {0.0, 1, 1},   {1e12, 1, 1}, {std::nan(""), 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user_unit);
    ResetViewerModel();
    GdxLibrary* library = GdxBeginLibrary("units");
    EXPECT_EQ(GdxSetUnits(c.user_unit, 1e-9), c.result);
    EXPECT_EQ(library->scale_factor, c.factor);
    if (c.result == 0) {
      EXPECT_EQ(library->user_unit, c.user_unit);
    }
  }
  EXPECT_EQ(GdxSetUnits(1.0, 1e-6), 0);
  GdxEndLibrary();
  EXPECT_EQ(GdxSetUnits(1.0, 1e-6), 1) << "no library is open";
}

TEST_F(GdxDatabaseTest, ScaleFactorAppliesToPointsWidthsAndRadiiButNotToTheCallersArray) {
  GdxLibrary* library = Begin(1.0);
  ASSERT_EQ(library->scale_factor, 10);
  const Words points = {1, -2, 300000000, -300000000};
  GdxBeginPath();
  GdxSetWidth(3);
  ASSERT_EQ(GdxAddPoints(1, points.data(), 4), 0);
  GdxEndElement();
  const Words circle = {5, 5, 6, 5, 6, 5};
  GdxBeginCircle();
  GdxSetRadius(7);
  ASSERT_EQ(GdxAddPoints(1, circle.data(), 6), 0);
  GdxEndElement();
  EXPECT_EQ(points, (Words{1, -2, 300000000, -300000000}));
  EXPECT_EQ(GdxScaleValue(-4), -40);
  GdxEndLibrary();
  const std::vector<StoredElement> elements = StoredElements(library);
  ASSERT_EQ(elements.size(), 4u);
  // Values beyond 32 bits after scaling saturate instead of wrapping.
  EXPECT_EQ(elements[1].data, (Words{5, Hi(2, 0), 0, 30, 0, 10, -20, INT32_MAX, INT32_MIN}));
  EXPECT_EQ(elements[2].data[3], 70);
  EXPECT_EQ(elements[2].data[6], 50);
}

TEST_F(GdxDatabaseTest, StructureExtentsFollowTheKindRules) {
  struct Case {
    const char* name;
    std::function<void()> write;
    GdxRect extents;
  } cases[] = {
      {"boundary points",
       [] {
         Boundary({-5, 3, 7, -9});
       },
       {-5, -9, 7, 3}},
      {"path widened by its width",
       [] {
         GdxBeginPath();
         GdxSetWidth(2);
         const Words p = {0, 0, 10, 0};
         GdxAddPoints(1, p.data(), 4);
         GdxEndElement();
       },
       {-2, -2, 12, 2}},
      {"circle widened by radius and width",
       [] {
         GdxBeginCircle();
         GdxSetRadius(5);
         GdxSetWidth(1);
         const Words p = {100, 100, 105, 100, 105, 100};
         GdxAddPoints(1, p.data(), 6);
         GdxEndElement();
       },
       {94, 94, 111, 106}},
      {"arc from quadrant 1 into 2 reaches the radius in y",
       [] {
         GdxBeginArc();
         GdxSetRadius(10);
         GdxSetWidth(2);
         GdxSetArcQuadrants(0x210);
         const Words p = {0, 0, 10, 0, 0, 10};
         GdxAddPoints(1, p.data(), 6);
         GdxEndElement();
       },
       {-2, -2, 12, 12}},
      {"half-circle arc through quadrants 1 and 2",
       [] {
         GdxBeginArc();
         GdxSetRadius(10);
         GdxSetArcQuadrants(0x413);  // start Q1, end Q3, Q1 and Q2 swept
         const Words p = {0, 0, 10, 0, -10, 0};
         GdxAddPoints(1, p.data(), 6);
         GdxEndElement();
       },
       {-10, 0, 10, 10}},
      {"text counts its position only",
       [] {
         GdxBeginText();
         const Words p = {40, 50};
         GdxAddPoints(1, p.data(), 2);
         GdxAddText("a long text");
         GdxEndElement();
       },
       {40, 50, 40, 50}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetViewerModel();
    GdxLibrary* library = Begin();
    c.write();
    GdxEndStructure();
    EXPECT_EQ(GdxFindStructureByName(library, "TOP", 0)->extents, c.extents);
  }
}

TEST_F(GdxDatabaseTest, AStructureWithoutPointsKeepsItsExtents) {
  GdxLibrary* library = Begin();
  Boundary({1, 2, 3, 4});
  GdxEndStructure();
  GdxStartStructure();
  GdxBeginStructure("TOP");
  GdxBeginSref();
  GdxBeginStructure("CELL");
  const Words p = {500, 500};
  GdxAddPoints(1, p.data(), 2);  // references add nothing to the extents
  GdxEndElement();
  GdxEndStructure();
  EXPECT_EQ(GdxFindStructureByName(library, "TOP", 0)->extents, (GdxRect{1, 2, 3, 4}));
}

TEST_F(GdxDatabaseTest, EndStructureStoresThePerKindCounts) {
  GdxLibrary* library = Begin();
  const Words p = {0, 0, 1, 1, 2, 2};
  auto element = [&p](void (*begin)()) {
    begin();
    GdxAddPoints(1, p.data(), 6);
    GdxEndElement();
  };
  element(GdxBeginBoundary);
  element(GdxBeginBoundary);
  element(GdxBeginPath);
  element(GdxBeginCircle);
  element(GdxBeginArc);
  element(GdxBeginNode);
  element(GdxBeginMarkerList);
  element(GdxBeginGroup);
  GdxBeginSref();
  GdxBeginStructure("A");
  element([] {});
  GdxBeginAref();
  GdxBeginStructure("A");
  element([] {});
  GdxEndStructure();
  const GdxStructure* top = GdxFindStructureByName(library, "TOP", 0);
  EXPECT_EQ(top->boundary_count, 2);
  EXPECT_EQ(top->path_count, 1);
  EXPECT_EQ(top->circle_count, 1);
  EXPECT_EQ(top->arc_count, 1);
  EXPECT_EQ(top->node_count, 2);
  EXPECT_EQ(top->sref_count, 1);
  EXPECT_EQ(top->aref_count, 1);
  EXPECT_EQ(top->reference_count, 2);
  EXPECT_EQ(top->text_count, 0);
}

TEST_F(GdxDatabaseTest, ABeginWhileAnElementIsOpenChangesNothing) {
  GdxLibrary* library = Begin();
  GdxBeginBoundary();
  GdxBeginPath();
  GdxBeginCircle();
  EXPECT_EQ(GdxCurrentElementType(), kGdxBoundary);
  const Words p = {1, 1, 2, 2};
  GdxAddPoints(1, p.data(), 4);
  GdxEndElement();
  EXPECT_EQ(GdxCurrentElementType(), kGdxNoElement);
  GdxEndStructure();
  const GdxStructure* top = GdxFindStructureByName(library, "TOP", 0);
  EXPECT_EQ(top->boundary_count, 1);
  EXPECT_EQ(top->path_count, 0);
  EXPECT_EQ(top->circle_count, 0);
}

TEST_F(GdxDatabaseTest, LayersAreKeptWithinTheTable) {
  struct Case {
    int32_t given;
    int32_t stored;
  } cases[] = {{0, 0}, {1023, 1023}, {1024, 1023}, {5000, 1023}, {-5, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    ResetViewerModel();
    GdxLibrary* library = Begin();
    GdxSetLayer(c.given);
    Boundary({0, 0});
    GdxEndLibrary();
    EXPECT_EQ(StoredElements(library)[1].data[1] & 0xFFFF, c.stored);
  }
}

TEST_F(GdxDatabaseTest, PointsThatDoNotFitAreRefused) {
  GdxLibrary* library = Begin();
  GdxBeginBoundary();
  const Words odd = {1, 2, 3};
  EXPECT_EQ(GdxAddPoints(1, odd.data(), 3), -1);
  const Words many((kGdxMaxPoints + 1) * 2, 0);
  EXPECT_EQ(GdxAddPoints(1, many.data(), static_cast<int32_t>(many.size())), -1);
  GdxEndElement();
  GdxBeginStructure("not while no structure is starting");
  GdxEndLibrary();
  EXPECT_EQ(StoredElements(library).size(), 2u) << "only BGNSTR and the end mark";
  EXPECT_EQ(library->structure_count, 1);
}

TEST_F(GdxDatabaseTest, ModeOtherThanOneRewritesThePointsOfTheOpenElement) {
  GdxLibrary* library = Begin();
  GdxBeginPath();
  const Words first = {1, 2, 3, 4};
  EXPECT_EQ(GdxAddPoints(0, first.data(), 4), -1) << "nothing stored yet";
  ASSERT_EQ(GdxAddPoints(1, first.data(), 4), 0);
  const Words second = {5, 6, 7, 8};
  EXPECT_EQ(GdxAddPoints(0, second.data(), 4), 0);
  const Words longer = {1, 1, 2, 2, 3, 3};
  EXPECT_EQ(GdxAddPoints(0, longer.data(), 6), -1) << "more points than the element holds";
  GdxEndElement();
  GdxEndLibrary();
  const std::vector<StoredElement> elements = StoredElements(library);
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[1].data, (Words{5, Hi(2, 0), 0, 0, 0, 5, 6, 7, 8}));
}

TEST_F(GdxDatabaseTest, TheEntryAttributeSitsAboveBit18) {
  GdxLibrary* library = Begin();
  GdxBeginBoundary();
  GdxSetEntryAttribute(3);
  const Words p = {0, 0};
  GdxAddPoints(1, p.data(), 2);
  GdxEndElement();
  GdxEndLibrary();
  EXPECT_EQ(StoredElements(library)[1].entry[kGdxEntryType], kGdxBoundary | 3 << 18);
}

TEST_F(GdxDatabaseTest, AnIndexPageHolds8191EntriesThenChainsANewOne) {
  GdxLibrary* library = Begin();
  for (int i = 1; i < 8191; ++i) Boundary({i, i});  // BGNSTR and 8190 boundaries
  const GdxWord* first = GdxBlockWords(library->first_index_page);
  EXPECT_EQ(first[kGdxPageFill], kGdxIndexPageWords);
  EXPECT_EQ(first[kGdxPageNext], 0);
  Boundary({8191, 8191});
  const GdxHandle second = static_cast<GdxHandle>(first[kGdxPageNext]);
  ASSERT_NE(second, kGdxNoHandle);
  EXPECT_EQ(GdxBlockWords(second)[kGdxPageFill], kGdxPageHeaderWords + kGdxEntryWords);
  EXPECT_EQ(static_cast<GdxHandle>(GdxBlockWords(second)[kGdxPagePrevious]),
            library->first_index_page);
  GdxEndLibrary();
  const std::vector<StoredElement> elements = StoredElements(library);
  ASSERT_EQ(elements.size(), 8193u);
  for (int i = 1; i <= 8191; ++i) ASSERT_EQ(elements[i].data[10], i) << i;
  EXPECT_EQ(elements.back().type, kGdxEndMark);
}

TEST_F(GdxDatabaseTest, DataBlocksFillUpAndLargeElementsGetABlockOfTheirOwn) {
  GdxLibrary* library = Begin();
  // A one-point boundary takes 12 words: 5461 of them fill a block exactly.
  for (int i = 0; i < 5461; ++i) Boundary({i, 0});
  std::vector<GdxHandle> chain = BlockChain(library);
  ASSERT_EQ(chain.size(), 1u);
  EXPECT_EQ(GdxBlockWords(chain[0])[kGdxBlockFree], 0);
  Boundary({-1, -1});
  chain = BlockChain(library);
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(GdxBlockWords(chain[1])[kGdxBlockFree], kGdxDataBlockCapacity - 12);

  // 32762 points: 65524 values and 10 header words, 65534 words in all.
  const Words large(65524, 9);
  GdxBeginBoundary();
  ASSERT_EQ(GdxAddPoints(1, large.data(), 65524), 0);
  GdxEndElement();
  chain = BlockChain(library);
  ASSERT_EQ(chain.size(), 3u);
  EXPECT_EQ(GdxBlockWordCount(chain[0]), 65534 + kGdxBlockHeaderWords) << "head of the chain";
  EXPECT_EQ(GdxBlockWords(chain[0])[kGdxBlockCapacity], 65534);
  EXPECT_EQ(GdxBlockWords(chain[0])[kGdxBlockFree], 0);

  // The next small element goes to a new block at the end of the chain.
  Boundary({-2, -2});
  chain = BlockChain(library);
  ASSERT_EQ(chain.size(), 4u);
  GdxEndLibrary();
  const std::vector<StoredElement> elements = StoredElements(library);
  const StoredElement& last = elements[elements.size() - 2];
  EXPECT_EQ(static_cast<GdxHandle>(last.entry[kGdxEntryBlock]), chain[3]);
  EXPECT_EQ(last.entry[kGdxEntryOffset], kGdxBlockHeaderWords);
  EXPECT_EQ(last.data[10], -2);
  EXPECT_EQ(elements[elements.size() - 3].data.size(), 65534u);
}

// What a run of boundaries leaves in the database, blocks and pages included. Handles
// (block numbers, chain links) are left out: they depend on what was freed before.
struct BoundaryRun {
  std::vector<int> results;
  std::vector<Words> entries;  // type word, offset, selection
  std::vector<Words> data;
  std::vector<Words> blocks;  // every data block's words after its chain link
  GdxRect extents;
  int32_t boundaries = 0;
  int64_t bytes = 0;
  bool operator==(const BoundaryRun&) const = default;
};

TEST_F(GdxDatabaseTest, OneCallBoundaryStoresWhatTheStepByStepCallsStore) {
  const Words kFive = {10, 20, 450, -30, 40};
  struct Case {
    const char* name;
    double user_unit;
    std::function<void()> before;  // after the structure is begun
    Words values;
    Words extra;
    int32_t flags;
    bool reused_blocks;  // the library was emptied and is filled again
    int64_t limit;       // allocation limit set after `before`, or -1
  } cases[] = {
      {"a flash",
       0.001,
       [] {},
       {5, 5, -5, 5, -5, -5, 5, -5, 5, 5},
       kFive,
       kGdxFlashFlags,
       false,
       -1},
      {"scale 10 saturates",
       1.0,
       [] {},
       {INT32_MAX / 5, 1, INT32_MIN / 3, -7, 0, INT32_MIN},
       kFive,
       kGdxFlashFlags,
       false,
       -1},
      {"tag, flags and layer given before",
       0.001,
       [] {
         GdxSetLayer(12);
         GdxSetElementTag(0x20);
         GdxAddElementFlags(kGdxFlagFilled);
       },
       {1, 2, 3, 4},
       kFive,
       kGdxFlashFlags,
       false,
       -1},
      {"fewer extra words over a reused block",
       0.001,
       [] {},
       {7, 8, 9, 10, 11, 12},
       {3, 4},
       0,
       true,
       -1},
      {"no extra words", 0.001, [] {}, {7, 8}, {}, 0, true, -1},
      {"an element is open",
       0.001,
       [] { GdxBeginPath(); },
       {1, 1, 2, 2},
       kFive,
       kGdxFlashFlags,
       false,
       -1},
      {"odd and empty value lists", 0.001, [] {}, {1, 2, 3}, kFive, 0, false, -1},
      {"no memory at all", 0.001, [] {}, {1, 1, 2, 2}, kFive, kGdxFlashFlags, false, 0},
      {"no memory for the next index page",
       0.001,
       [] {
         for (int i = 0; i < 8189; ++i) Boundary({i, -i});
       },
       {1, 1, 2, 2},
       kFive,
       kGdxFlashFlags,
       true,
       0},
  };
  auto run = [this](const Case& c, bool one_call) {
    ResetViewerModel();
    BoundaryRun result;
    GdxLibrary* library = nullptr;
    if (c.reused_blocks) {
      library = Begin(c.user_unit);
      // Blocks full of other words, then emptied.
      const Words old(40, -1);
      for (int i = 0; i < 4000; ++i) {
        GdxBeginBoundary();
        GdxSetHeaderWords(old.data(), 5);
        GdxAddPoints(1, old.data(), 40);
        GdxEndElement();
      }
      const GdxHandle handle = GdxEndLibrary();
      GdxEmptyLibrary(handle);
      GdxReopenLibrary(handle);
      GdxStartStructure();
      GdxBeginStructure("TOP");
    } else {
      library = Begin(c.user_unit);
    }
    c.before();
    const int64_t bytes = GdxBytesAllocated();
    if (c.limit >= 0) GdxSetAllocationLimitForTesting(c.limit);
    for (int i = 0; i < 3; ++i) {
      Words values = c.values;
      for (GdxWord& v : values) v = v > INT32_MAX - 100 ? v : v + 10 * i;
      const int32_t count = i == 2 && values.size() % 2 != 0 ? 0 : int32_t(values.size());
      const int32_t extras = static_cast<int32_t>(c.extra.size());
      if (one_call) {
        result.results.push_back(
            GdxAddBoundary(values.data(), count, c.extra.data(), extras, c.flags));
        continue;
      }
      GdxBeginBoundary();
      GdxSetHeaderWords(c.extra.data(), extras);
      result.results.push_back(GdxAddPoints(1, values.data(), count));
      GdxAddElementFlags(c.flags);
      GdxEndElement();
    }
    GdxSetAllocationLimitForTesting(-1);
    // What the element state holds afterwards shows in the next element.
    GdxBeginCircle();
    const Words circle = {0, 0, 3, 0, 3, 0};
    GdxAddPoints(1, circle.data(), 6);
    GdxEndElement();
    result.bytes = GdxBytesAllocated() - bytes;
    GdxEndStructure();
    const GdxStructure* top = GdxFindStructureByName(library, "TOP", 0);
    result.extents = top->extents;
    result.boundaries = top->boundary_count;
    GdxEndLibrary();
    for (const StoredElement& e : StoredElements(library)) {
      result.entries.push_back(
          {e.entry[kGdxEntryType], e.entry[kGdxEntryOffset], e.entry[kGdxEntrySelection]});
      result.data.push_back(e.data);
    }
    for (GdxHandle h = library->first_data_block; h != kGdxNoHandle;
         h = static_cast<GdxHandle>(GdxBlockWords(h)[kGdxBlockNext])) {
      const GdxWord* words = GdxBlockWords(h);
      result.blocks.emplace_back(words + 1, words + GdxBlockWordCount(h));
    }
    return result;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BoundaryRun steps = run(c, false);
    const BoundaryRun one = run(c, true);
    EXPECT_EQ(one.results, steps.results);
    EXPECT_EQ(one.entries, steps.entries);
    EXPECT_EQ(one.data, steps.data);
    EXPECT_EQ(one.extents, steps.extents);
    EXPECT_EQ(one.boundaries, steps.boundaries);
    EXPECT_EQ(one.bytes, steps.bytes);
    EXPECT_TRUE(one.blocks == steps.blocks) << "the blocks' words differ";
    EXPECT_FALSE(steps.entries.empty());
    if (c.limit >= 0) {
      EXPECT_EQ(steps.results.back(), -1) << "memory ran out";
    }
  }
}

TEST_F(GdxDatabaseTest, StructureNamesAreCutAndFoundTheSameWay) {
  GdxLibrary* library = Begin();
  const std::string long_name(40, 'N');
  GdxEndStructure();
  GdxStartStructure();
  ASSERT_EQ(GdxBeginStructure(long_name + "tail beyond 47 characters"), 0);
  GdxStructure* slot = GdxFindStructureByName(library, long_name, 0);
  ASSERT_NE(slot, nullptr) << "the full name finds the slot it made";
  EXPECT_EQ(slot->name, std::string(34, 'N'));
  EXPECT_EQ(slot->id, 2);
  EXPECT_EQ(slot->undefined, 0);
  EXPECT_EQ(GdxFindStructureByName(library, std::string(34, 'N') + "other", 0), slot);
  EXPECT_EQ(GdxFindStructureByName(library, "TOPS", 0), nullptr);
  EXPECT_EQ(GdxFindStructureByName(library, "", 1), nullptr) << "an empty name makes no slot";
  EXPECT_EQ(GdxStructureNameHash("AB"), 2 * 1024 + 'A' + 'B' + 'B');
  EXPECT_EQ(GdxStructureNameHash("A"), 1024 + 'A' + 'A');
  EXPECT_EQ(GdxStructureNameHash("\xE9x"), 2 * 1024 - 23 + 'x' + 'x') << "signed bytes";
  EXPECT_EQ(GdxStructureNameHash(""), 0);
}

TEST_F(GdxDatabaseTest, ReferencesMakeUndefinedSlotsAndIdsRunAcrossPages) {
  GdxLibrary* library = Begin();
  GdxBeginSref();
  GdxBeginStructure("LATER");
  const Words p = {0, 0};
  GdxAddPoints(1, p.data(), 2);
  GdxEndElement();
  EXPECT_EQ(GdxFindStructureByName(library, "LATER", 0)->undefined, 1);
  GdxEndStructure();
  GdxStartStructure();
  GdxBeginStructure("LATER");
  EXPECT_EQ(GdxFindStructureByName(library, "LATER", 0)->undefined, 0);
  for (int i = 3; i <= 513; ++i) {
    ASSERT_NE(GdxFindStructureByName(library, "S" + std::to_string(i), 1), nullptr);
  }
  EXPECT_EQ(library->structure_count, 513);
  ASSERT_EQ(library->structure_pages.size(), 2u);
  const GdxStructure* last = GdxFindStructureById(library, 513);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->name, "S513");
  EXPECT_EQ(last->page, 2);
  EXPECT_EQ(GdxFindStructureByName(library, "S513", 0), last);
  EXPECT_EQ(GdxFindStructureById(library, 514), nullptr);
  EXPECT_EQ(GdxFindStructureById(library, 0), nullptr);
}

TEST_F(GdxDatabaseTest, AReopenedLibraryAppendsOverItsEndMark) {
  GdxLibrary* library = Begin();
  Boundary({1, 1});
  GdxEndStructure();
  const GdxHandle handle = GdxEndLibrary();
  EXPECT_EQ(GdxCurrentLibrary(), nullptr);
  EXPECT_EQ(library->current_structure_id, 1);
  ASSERT_EQ(GdxReopenLibrary(handle), library);
  Boundary({2, 2});
  EXPECT_EQ(GdxEndLibrary(), handle);
  const std::vector<StoredElement> elements = StoredElements(library);
  ASSERT_EQ(elements.size(), 4u);
  EXPECT_EQ(elements[1].data[10], 1);
  EXPECT_EQ(elements[2].data[10], 2);
  EXPECT_EQ(elements[3].type, kGdxEndMark);
  EXPECT_EQ(GdxEndLibrary(), kGdxNoHandle) << "no library is open";
}

TEST_F(GdxDatabaseTest, AnEmptiedLibraryReusesItsMemory) {
  GdxLibrary* library = Begin();
  for (int i = 0; i < 6000; ++i) Boundary({i, i});  // two data blocks
  const GdxHandle handle = GdxEndLibrary();
  const int64_t bytes = GdxBytesAllocated();
  ASSERT_EQ(GdxEmptyLibrary(handle), 0);
  EXPECT_TRUE(StoredElements(library).empty());
  ASSERT_EQ(GdxReopenLibrary(handle), library);
  GdxStartStructure();
  GdxBeginStructure("TOP");
  for (int i = 0; i < 6000; ++i) Boundary({-i, -i});
  GdxEndLibrary();
  EXPECT_EQ(GdxBytesAllocated(), bytes) << "no new blocks or pages";
  const std::vector<StoredElement> elements = StoredElements(library);
  ASSERT_EQ(elements.size(), 6002u);
  EXPECT_EQ(elements[5999].data[10], -5998);
  EXPECT_EQ(GdxEmptyLibrary(kGdxNoHandle), 1);
}

TEST_F(GdxDatabaseTest, FreeingUnlinksFromTheChain) {
  const GdxHandle a = GdxBeginLibrary("a")->handle;
  GdxEndLibrary();
  const GdxHandle b = GdxBeginLibrary("b")->handle;
  GdxEndLibrary();
  const GdxHandle c = GdxBeginLibrary("c")->handle;
  GdxEndLibrary();
  EXPECT_EQ(GdxChainHead(), c);
  EXPECT_EQ(GdxLibraryFromHandle(c)->next, b);
  EXPECT_EQ(GdxFreeLibrary(b), 0);
  EXPECT_EQ(GdxLibraryFromHandle(c)->next, a);
  EXPECT_EQ(GdxFreeLibrary(b), 1) << "no longer in the chain";
  EXPECT_EQ(GdxFreeLibrary(kGdxNoHandle), 1);
  EXPECT_EQ(GdxFreeLibrary(c), 0);
  EXPECT_EQ(GdxChainHead(), a);
  EXPECT_EQ(GdxFreeLibrary(a), 0);
  EXPECT_EQ(GdxChainHead(), kGdxNoHandle);
  EXPECT_EQ(GdxSelectHeadLibrary(), nullptr);
}

TEST_F(GdxDatabaseTest, ExhaustedMemoryStoresNothing) {
  GdxLibrary* library = Begin();
  Boundary({1, 1});
  GdxSetAllocationLimitForTesting(0);
  Boundary({2, 2});  // still room in the block and the page
  const Words large(65530, 0);
  GdxBeginBoundary();
  EXPECT_EQ(GdxAddPoints(1, large.data(), 65530), -1);
  GdxEndElement();
  EXPECT_EQ(GdxBeginLibrary("no memory"), nullptr);
  GdxSetAllocationLimitForTesting(-1);
  EXPECT_EQ(GdxCurrentLibrary(), library);
  GdxEndLibrary();
  EXPECT_EQ(StoredElements(library).size(), 4u);
}

TEST_F(GdxDatabaseTest, LibraryFieldsAreStored) {
  GdxLibrary* library = GdxBeginLibrary("path/of/file.em");
  GdxSetLibraryName("LIBNAME");
  GdxSetLibraryHeader(600);
  GdxSetLibraryTimes({2024, 14, 33, 25, 61, -1, 1999, 12, 31, 23, 59, 59});
  EXPECT_EQ(library->name, "path/of/file.em");
  EXPECT_EQ(library->library_name, "LIBNAME");
  EXPECT_EQ(library->header, 600);
  EXPECT_EQ(library->times,
            (std::array<int32_t, 12>{2024, 1, 1, 1, 1, 0, 1999, 12, 31, 23, 59, 59}));
}

}  // namespace
}  // namespace kavrinth
