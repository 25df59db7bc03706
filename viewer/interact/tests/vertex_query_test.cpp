// Vertex and flash queries over layers built in the test, and over the sample PG file.
#include "viewer/interact/vertex_query.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "viewer/display/tests/display_test_support.h"
#include "viewer/model/pg_scan.h"
#include "viewer/model/tests/wf2_test_support.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

class VertexQueryTest : public DisplayTest {
 protected:
  // A rectangular flash (x0, y0)-(x1, y1) with its flash values.
  static void Flash(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    ScanFlashRecord r{};
    const int32_t corners[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    std::copy(std::begin(corners), std::end(corners), r.begin());
    r[kScanCentreX] = (x0 + x1) / 2;
    r[kScanCentreY] = (y0 + y1) / 2;
    r[kScanW] = x1 - x0;
    r[kScanH] = y1 - y0;
    r[kScanAngle] = 900;
    r[kScanPositionX] = (x0 + x1) / 2;
    r[kScanPositionY] = (y0 + y1) / 2;
    ASSERT_EQ(BuildFlashElement(r, false), 0);
  }
  static void Circle(int32_t cx, int32_t cy, int32_t radius) {
    GdxBeginCircle();
    GdxSetWidth(0);
    GdxSetRadius(radius);
    const GdxWord points[6] = {cx, cy, cx + radius, cy, cx + radius, cy};
    GdxAddPoints(1, points, 6);
    GdxEndElement();
  }
  // The box of a point query around (x, y).
  static GdxRect Around(int32_t x, int32_t y, int32_t aperture = 2) {
    return {x - aperture, y - aperture, x + aperture, y + aperture};
  }

  VertexQuery query_;
};

TEST_F(VertexQueryTest, PointQueryFindsTheVertexAndDescribesTheFlash) {
  Enter(0, Library([] { Flash(10, 20, 30, 40); }), 0xFF);
  ImportSettings().pg_format = 0;
  ASSERT_TRUE(query_.Start(Around(31, 41), kQueryVertex));
  EXPECT_EQ(query_.hit_x(), 30);
  EXPECT_EQ(query_.hit_y(), 40);
  EXPECT_EQ(query_.vertex_count(), 5);
  EXPECT_EQ(query_.InfoText(display_.window),
            "BOUNDARY\r\nVERT: (0.030,0.040)\r\n           3 of 5\r\nWIDTH: 0.020\r\n"
            "HEIGHT: 0.020\r\nANGLE: 90.000000\r\nCENTER: (0.020,0.030)\r\nLAYER:1\r\nlayer0.pg");
  // Intermediate data shows no flash values.
  ImportSettings().pg_format = kIntermediateFormat;
  EXPECT_EQ(query_.InfoText(display_.window),
            "BOUNDARY\r\nVERT: (0.030,0.040)\r\n           3 of 5\r\nLAYER:1\r\nlayer0.pg");
  // Nothing near: no hit.
  EXPECT_FALSE(query_.Start(Around(60, 60), kQueryVertex));
  EXPECT_FALSE(query_.has_hit());
}

TEST_F(VertexQueryTest, TabWalksTheLayersThenWrapsAndSpaceTracesTheFigure) {
  Enter(0, Library([] { Rectangle(0, 10, 10, 20, 20); }), 0xFF);
  Enter(3, Library([] { Rectangle(3, 20, 20, 40, 40); }), 0xFF00);
  // Window (15, 15)-(25, 25): layer 0's corner (20, 10)? no; (20, 20) yes; layer 3's (20, 20).
  ASSERT_TRUE(query_.Start({15, 15, 25, 25}, kQueryVertex));
  EXPECT_EQ(query_.hit().layer, 0);
  EXPECT_EQ(query_.hit().vertex, 2);
  ASSERT_TRUE(query_.Next());
  EXPECT_EQ(query_.hit().layer, 3);
  EXPECT_EQ(query_.hit().vertex, 0);
  ASSERT_TRUE(query_.Next());
  EXPECT_EQ(query_.hit().layer, 3);
  EXPECT_EQ(query_.hit().vertex, 4) << "the closing point is a vertex of its own";
  ASSERT_TRUE(query_.Next());
  EXPECT_EQ(query_.hit().layer, 0) << "wraps to the first hit";
  EXPECT_EQ(query_.hit().vertex, 2);
  // SPACE goes along the figure and wraps from the last vertex to the first.
  ASSERT_TRUE(query_.NextVertex());
  ASSERT_TRUE(query_.NextVertex());
  EXPECT_EQ(query_.hit().vertex, 4);
  ASSERT_TRUE(query_.NextVertex());
  EXPECT_EQ(query_.hit().vertex, 0);
  EXPECT_EQ(query_.hit_x(), 10);
  EXPECT_EQ(query_.hit_y(), 10);
}

TEST_F(VertexQueryTest, HiddenLayersAndDeletedElementsArePassedAndTheSearchGoesOn) {
  const GdxHandle library = Library([] {
    Rectangle(0, 10, 10, 20, 20);
    Rectangle(0, 10, 10, 30, 30);
  });
  Enter(0, library, 0xFF);
  Enter(1, Library([] { Rectangle(1, 10, 10, 50, 50); }), 0xFF);
  LayerTable()[1].shown = 0;
  // Mark the first element deleted.
  GdxLibrary* lib = GdxLibraryFromHandle(library);
  const GdxStructure* s = GdxFindStructureById(lib, lib->current_structure_id);
  GdxEntryCursor cursor(s->begin_page, s->begin_position);
  cursor.Next();
  cursor.MutableEntry()[kGdxEntrySelection] |= 2;
  ASSERT_TRUE(query_.Start(Around(10, 10), kQueryVertex));
  EXPECT_EQ(query_.hit_outline()[4], 30) << "the second element, past the deleted one";
  ASSERT_TRUE(query_.Next());
  EXPECT_EQ(query_.hit().layer, 0) << "the hidden layer is not searched";
}

TEST_F(VertexQueryTest, FlashQueryTakesTheFlashUnderThePointAndCirclesHaveTwoVertices) {
  Enter(0, Library([] {
          Flash(10, 10, 40, 40);
          Circle(70, 50, 5);
        }),
        0xFF);
  ImportSettings().pg_format = 0;
  // Inside the rectangle, far from any vertex: a flash query hits, a vertex query does not.
  EXPECT_FALSE(query_.Start(Around(25, 25), kQueryVertex));
  ASSERT_TRUE(query_.Start(Around(25, 25), kQueryFlash));
  EXPECT_EQ(query_.hit().vertex, 4) << "the last vertex";
  ASSERT_TRUE(query_.Start(Around(70, 50), kQueryFlash));
  EXPECT_EQ(query_.vertex_count(), 2);
  const std::string text = query_.InfoText(display_.window);
  EXPECT_EQ(text.rfind("CIRCLE\r\nVERT: (0.075,0.050)\r\n           2 of 2\r\nWIDTH: 0.010", 0), 0u)
      << text;
  EXPECT_NE(text.find("CENTER: (0.070,0.050)"), std::string::npos) << text;
}

TEST_F(VertexQueryTest, ShapesAddedToALayerAreSearchedAfterItsOwnElements) {
  Enter(0, Library([] { Rectangle(0, 10, 10, 20, 20); }), 0xFF);
  Enter(1, Library([] { Rectangle(1, 20, 20, 30, 30); }), 0xFF00);
  const GdxHandle added = Library([] { Rectangle(0, 20, 20, 50, 50); });
  query_.SetAddedLibraries([added](int32_t layer) {
    return layer == 0 ? std::vector<GdxHandle>{added} : std::vector<GdxHandle>{};
  });
  // The corner (20, 20) is layer 0's, then the added shape's, then layer 1's, then again.
  ASSERT_TRUE(query_.Start(Around(20, 20), kQueryVertex));
  std::vector<GdxHandle> order = {query_.hit().library};
  for (int i = 0; i < 8 && order.size() < 4; ++i) {
    ASSERT_TRUE(query_.Next());
    if (query_.hit().library != order.back()) order.push_back(query_.hit().library);
  }
  EXPECT_EQ(order, (std::vector<GdxHandle>{LayerTable()[0].library, added, LayerTable()[1].library,
                                           LayerTable()[0].library}));
  // The added shape alone near its far corner.
  ASSERT_TRUE(query_.Start(Around(50, 50), kQueryVertex));
  EXPECT_EQ(query_.hit().library, added);
  int32_t type = 0, flags = -1;
  std::vector<GdxWord> record;
  ASSERT_TRUE(query_.HitRecord(&type, &flags, &record));
  EXPECT_EQ(type, kGdxBoundary);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(record.size(), size_t((record[0] & 0xFFFF) + 2 * ((record[1] >> 16) & 0xFFFF)));
  query_.End();
  GdxFreeLibrary(added);
}

TEST_F(VertexQueryTest, LayerOffsetsAreInDatabaseUnits) {
  Enter(0, Library([] { Rectangle(0, 10, 10, 20, 20); }), 0xFF);
  // 0.05 user units at 1000 database units per user unit: 50 units.
  LayerTable()[0].x_offset = 5;
  LayerTable()[0].y_offset = -5;
  // The y offset is taken from y: the vertex (10, 10) is shown at (60, 60).
  ASSERT_TRUE(query_.Start(Around(60, 60), kQueryVertex));
  EXPECT_EQ(query_.hit_x(), 60);
  EXPECT_EQ(query_.hit_y(), 60);
}

TEST_F(VertexQueryTest, ARecordLongerThanItsBlockIsNotRead) {
  const GdxHandle library = Library([] { Rectangle(0, 10, 10, 20, 20); });
  Enter(0, library, 0xFF);
  GdxLibrary* lib = GdxLibraryFromHandle(library);
  const GdxStructure* s = GdxFindStructureById(lib, lib->current_structure_id);
  GdxEntryCursor cursor(s->begin_page, s->begin_position);
  cursor.Next();
  // A point count far beyond the block.
  GdxWord* data = const_cast<GdxWord*>(cursor.Data());
  data[1] = (data[1] & 0xFFFF) | (0xFFFF << 16);
  EXPECT_FALSE(query_.Start(Around(10, 10), kQueryVertex));
}

TEST_F(VertexQueryTest, TheSamplePgFileReportsItsFlashes) {
  LayerTable()[0].path = std::string(KAVRINTH_SAMPLES_DIR) + "/demo.em";
  LayerTable()[0].shown = 1;
  ImportSettings().pg_format = 0;
  const GdxHandle library = ScanPgFile(nullptr, LayerTable()[0].path, 0);
  ASSERT_NE(library, kGdxNoHandle);
  LayerTable()[0].library = library;
  // Walk the first flash element of the file and query at its first vertex.
  GdxLibrary* lib = GdxLibraryFromHandle(library);
  const GdxStructure* s = GdxFindStructureById(lib, lib->current_structure_id);
  GdxEntryCursor cursor(s->begin_page, s->begin_position);
  cursor.Next();
  const GdxWord* data = cursor.Data();
  ASSERT_NE(data, nullptr);
  const GdxWord* points = data + (data[0] & 0xFFFF);
  ASSERT_TRUE(query_.Start(Around(points[0], points[1], 0), kQueryVertex));
  EXPECT_EQ(query_.hit_x(), points[0]);
  EXPECT_EQ(query_.hit_y(), points[1]);
  const std::string text = query_.InfoText(display_.window);
  EXPECT_NE(text.find("LAYER:1\r\ndemo.em"), std::string::npos) << text;
  EXPECT_NE(text.find("VERT: (" + display_.window.FormatCoord(points[0]) + "," +
                      display_.window.FormatCoord(points[1]) + ")"),
            std::string::npos)
      << text;
}

TEST_F(VertexQueryTest, StepsAcrossWf2SectionsHoldNoHitIntoAFreedSection) {
  // Four sections of one square each, loaded a section at a time.
  const Wf2Header header = testing::SmallHeader(2, 2, false);
  std::vector<testing::Wf2Frame> frames(4);
  for (auto& frame : frames) frame.push_back({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  testing::ScratchDir dir;
  const std::string path = dir.File("pattern.wf2");
  testing::WriteBytes(path, testing::BuildWf2(header, frames));
  services_.memory_limit = 1;
  Wf2ScanResult result;
  ASSERT_EQ(ScanWf2File(nullptr, path, 0, &result), kGdxNoHandle);
  services_.memory_limit = 0;
  ASSERT_GT(result.sections, 1);
  ViewLayerEntry& entry = LayerTable()[0];
  entry.path = path;
  entry.shown = 1;
  entry.frame_block = result.frame_index;
  entry.frame_count = result.sections;
  services_.wait_cursor_changes.clear();
  ASSERT_TRUE(
      query_.Start({INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2}, kQueryVertex));
  std::set<int32_t> sections;
  for (int step = 0; step < 40; ++step) {
    ASSERT_TRUE(query_.has_hit());
    const auto box = ReadWf2FrameIndexEntry(entry.frame_block, query_.hit().frame);
    ASSERT_TRUE(box.has_value());
    // The hit lies in the section that is loaded now, and reads from it.
    EXPECT_GE(query_.hit_x(), box->box.min_x);
    EXPECT_LE(query_.hit_x(), box->box.max_x);
    EXPECT_GE(query_.hit_y(), box->box.min_y);
    EXPECT_LE(query_.hit_y(), box->box.max_y);
    EXPECT_FALSE(query_.InfoText(display_.window).empty());
    sections.insert(query_.hit().frame);
    ASSERT_TRUE(query_.Next());
  }
  EXPECT_EQ(static_cast<int32_t>(sections.size()), result.sections) << "every section visited";
  // Each section is read under the wait cursor.
  const std::vector<bool>& cursor = services_.wait_cursor_changes;
  ASSERT_GE(cursor.size(), 2u * result.sections);
  for (size_t i = 0; i < cursor.size(); ++i) EXPECT_EQ(cursor[i], i % 2 == 0) << i;
}

}  // namespace
}  // namespace kavrinth
