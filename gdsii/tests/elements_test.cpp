// Tests of the standard element writers: record sequences, conversion to database
// units, limits and their results, in both element sets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "gds_test_support.h"
#include "gdsii/writer.h"

namespace kavrinth {
namespace {

using testing::Ascii;
using testing::Be16;
using testing::Be32;
using testing::RawRecord;
using testing::Real;
using testing::Types;

class ElementTest : public testing::WriterFixture {
 protected:
  void SetUp() override { OpenWithStructure(); }
  // The one element of the structure.
  GdsElement OnlyElement() {
    EXPECT_EQ(writer.EndStructure(), kGdsOk);
    EXPECT_EQ(writer.EndLibrary(), kGdsOk);
    const GdsLibrary library = ReadBack();
    EXPECT_EQ(library.structures.size(), 1u);
    EXPECT_EQ(library.structures[0].elements.size(), 1u);
    return library.structures[0].elements.at(0);
  }
};

TEST_F(ElementTest, BoundaryClosesWithItsFirstPointAndCarriesItsProperty) {
  const GdsPoint points[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {5, 5}};
  ASSERT_EQ(writer.WriteBoundary(points, 3, 4, 7, -123456), kGdsOk);
  const std::vector<RawRecord> body = CloseAndBody();
  ASSERT_EQ(Types(body), (std::vector<int>{kGdsBoundary, kGdsLayer, kGdsDataType, kGdsXy,
                                           kGdsPropAttr, kGdsPropValue, kGdsEndEl}));
  EXPECT_EQ(body[3].data, Be32({0, 0, 1000, 0, 1000, 1000, 0, 1000, 0, 0}));
  EXPECT_EQ(body[4].data, Be16({7}));
  EXPECT_EQ(body[5].data_type, kGdsTypeAscii);
  EXPECT_EQ(body[5].data, Be32({-123456}));
}

// Small boundaries are assembled whole and long point lists are encoded in blocks: on
// both sides of the size where that changes, the records are the same and every point
// keeps its place, with the first point closing the list.
TEST_F(ElementTest, BoundariesKeepTheirRecordsAndPointsAtEverySize) {
  writer.SetElementFlag(true);
  const size_t sizes[] = {4, 64, 65, 200};
  for (size_t size : sizes) {
    std::vector<GdsPoint> points;
    for (size_t i = 0; i < size; ++i) points.push_back({i * 0.001, -(i * 0.002)});
    ASSERT_EQ(writer.WriteBoundaryEx(points, 2, 3, 5, 77), kGdsOk);
  }
  const std::vector<RawRecord> body = CloseAndBody();
  const std::vector<int> element = {kGdsBoundary, kGdsElFlags,  kGdsLayer,     kGdsDataType,
                                    kGdsXy,       kGdsPropAttr, kGdsPropValue, kGdsEndEl};
  ASSERT_EQ(body.size(), element.size() * std::size(sizes));
  for (size_t e = 0; e < std::size(sizes); ++e) {
    const std::vector<RawRecord> records(body.begin() + e * element.size(),
                                         body.begin() + (e + 1) * element.size());
    EXPECT_EQ(Types(records), element) << sizes[e] << " points";
    EXPECT_EQ(records[1].data, Be16({1}));
    EXPECT_EQ(records[2].data, Be16({2}));
    EXPECT_EQ(records[3].data, Be16({3}));
    std::vector<int32_t> xy;
    for (size_t i = 0; i + 1 < sizes[e]; ++i) {
      xy.push_back(static_cast<int32_t>(i));
      xy.push_back(-2 * static_cast<int32_t>(i));
    }
    xy.push_back(0);
    xy.push_back(0);
    EXPECT_EQ(records[4].data, Be32(xy)) << sizes[e] << " points";
    EXPECT_EQ(records[5].data, Be16({5}));
    EXPECT_EQ(records[6].data_type, kGdsTypeAscii);
    EXPECT_EQ(records[6].data, Be32({77}));
  }
}

TEST_F(ElementTest, CoordinatesRoundHalfAwayFromZero) {
  const struct {
    double value;
    int32_t expected;
  } cases[] = {{0.0015, 2},    {-0.0015, -2}, {0.0014, 1},
               {-0.0014, -1},  {0.0005, 1},   {-0.0005, -1},
               {0.0004999, 0}, {-0.0, 0},     {2147483.647, 2147483647}};
  std::vector<GdsPoint> points;
  for (const auto& c : cases) points.push_back({c.value, 0});
  ASSERT_EQ(writer.WritePathEx(points, 1, 0, 0.0, 0, 0, 0), kGdsOk);
  const GdsElement path = OnlyElement();
  ASSERT_EQ(path.points.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(path.points[i].x, cases[i].expected) << cases[i].value;
  }
}

TEST_F(ElementTest, CoordinatesBeyondTheIntegerRangeSaturateAndReport) {
  const GdsPoint points[] = {{1e12, -1e12}, {std::nan(""), 0}};
  EXPECT_EQ(writer.WritePath(points, 1, 0, 0, 0, 0, 0), kGdsLimitApplied);
  const GdsElement path = OnlyElement();
  EXPECT_EQ(path.points[0].x, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(path.points[0].y, std::numeric_limits<int32_t>::min());
  EXPECT_EQ(path.points[1].x, 0);
}

TEST_F(ElementTest, PointCountLimitsAndResults) {
  const std::vector<GdsPoint> many(5001, GdsPoint{1, 2});
  const std::vector<GdsPoint> three(3, GdsPoint{1, 2});
  const std::vector<GdsPoint> one(1, GdsPoint{1, 2});
  const std::vector<GdsPoint> sixty(60, GdsPoint{1, 2});
  const std::vector<GdsIntPoint> sixty_int(60, GdsIntPoint{1, 2});
  const std::vector<GdsIntPoint> none;
  EXPECT_EQ(writer.WriteBoundary(three, 1, 0, 0, 0), kGdsLimitApplied);  // nothing written
  EXPECT_EQ(writer.WriteBoundaryEx(three, 1, 0, 0, 0), kGdsOk);          // nothing written
  EXPECT_EQ(writer.WritePath(one, 1, 0, 0, 0, 0, 0), kGdsLimitApplied);  // nothing written
  EXPECT_EQ(writer.WritePathEx(one, 1, 0, 0.0, 0, 0, 0), kGdsLimitApplied);
  EXPECT_EQ(writer.WriteNode({}, 1, 0, 0, 0), kGdsLimitApplied);  // nothing written
  EXPECT_EQ(writer.WriteBoundary(many, 1, 0, 0, 0), kGdsLimitApplied);
  EXPECT_EQ(writer.WriteBoundaryEx(many, 2, 0, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WritePath(many, 3, 0, 0, 0, 0, 0), kGdsLimitApplied);
  EXPECT_EQ(writer.WritePathEx(many, 4, 0, 0.0, 0, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WriteNode(sixty, 5, 0, 0, 0), kGdsLimitApplied);
  EXPECT_EQ(writer.WriteNodeEx(sixty_int, 6, 0, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WriteNodeEx(none, 7, 0, 0, 0), kGdsOk);
  EXPECT_EQ(writer.EndStructure(), kGdsOk);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 7u);
  const size_t expected_counts[] = {5000, 5000, 5000, 5000, 50, 50, 0};
  for (size_t i = 0; i < elements.size(); ++i) {
    EXPECT_EQ(elements[i].layer, static_cast<int>(i + 1));
    EXPECT_EQ(elements[i].points.size(), expected_counts[i]) << "element " << i;
  }
  EXPECT_EQ(elements[6].xy_counts, std::vector<size_t>{0});  // an XY record of length 4
}

TEST_F(ElementTest, PathWidthTakesTheMinimumWidth) {
  ASSERT_EQ(writer.OpenLibraryEx(OutputPath(), "UM", 0.001, 1.0, 0.5, {}, {}, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  const GdsPoint points[] = {{0, 0}, {1, 0}};
  ASSERT_EQ(writer.WritePath(points, 1, 0, 0.2, 2, 0, 0), kGdsOk);
  ASSERT_EQ(writer.WritePath(points, 1, 0, 0.7, 2, 0, 0), kGdsOk);
  ASSERT_EQ(writer.WritePathEx(points, 1, 0, 0.2, 2, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[0].width, 500);
  EXPECT_EQ(elements[1].width, 700);
  EXPECT_EQ(elements[2].width, 200);  // the second set knows no minimum
  EXPECT_EQ(elements[0].pathtype, 2);
}

TEST_F(ElementTest, PathWithVertexRealsCarriesThemBeforeXy) {
  const GdsPoint points[] = {{0, 0}, {1, 0}, {1, 1}};
  const double reals[] = {0.5, 1.5, 2.5};
  ASSERT_EQ(writer.WritePathWithVertexReals(10, 20, reals, points, 1, 0, 0, 0, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WritePathWithVertexReals(10, 20, std::span(reals, 2), points, 1, 0, 0, 0, 0, 0),
            kGdsLimitApplied);  // one real short: refused
  const std::vector<RawRecord> body = CloseAndBody();
  ASSERT_EQ(Types(body), (std::vector<int>{kGdsPath, kGdsLayer, kGdsDataType, kGdsPathType,
                                           kGdsWidth, kGdsAngle, kGdsMag, kGdsXy, kGdsEndEl}));
  EXPECT_EQ(body[5].data, Real({10, 20}));
  EXPECT_EQ(body[6].data, Real({0.5, 1.5, 2.5}));
}

TEST_F(ElementTest, StructureReferenceMagnificationAndAngle) {
  const struct {
    double magnification;
    double angle;
    int result;
    std::vector<int> types;
  } cases[] = {
      {1.0005, 0.005, kGdsOk, {kGdsSref, kGdsSname, kGdsStrans, kGdsXy, kGdsEndEl}},
      {0.0, 0, kGdsLimitApplied, {kGdsSref, kGdsSname, kGdsStrans, kGdsXy, kGdsEndEl}},
      {-2.0, 0, kGdsLimitApplied, {kGdsSref, kGdsSname, kGdsStrans, kGdsXy, kGdsEndEl}},
      {2.0, -90, kGdsOk, {kGdsSref, kGdsSname, kGdsStrans, kGdsMag, kGdsAngle, kGdsXy, kGdsEndEl}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(writer.WriteSref("CELL", 1, 2, c.magnification, c.angle, false, 0, 0), c.result);
  }
  EXPECT_EQ(writer.WriteSref(std::string(40, 'L'), 0, 0, 1, 0, true, 0, 0), kGdsLimitApplied);
  const std::vector<RawRecord> body = CloseAndBody();
  size_t at = 0;
  for (const auto& c : cases) {
    const std::vector<RawRecord> element(body.begin() + at, body.begin() + at + c.types.size());
    EXPECT_EQ(Types(element), c.types) << c.magnification;
    at += c.types.size();
  }
  EXPECT_EQ(body[18].data, Real({2.0}));
  EXPECT_EQ(body[19].data, Real({270.0}));
  EXPECT_EQ(body[20].data, Be32({1000, 2000}));
  EXPECT_EQ(body[23].data, Ascii(std::string(32, 'L')));
  EXPECT_EQ(body[24].data, Be16({0x8000}));
}

TEST_F(ElementTest, MirroredReferenceFoldsIntoReflectionAndAngle) {
  ASSERT_EQ(writer.WriteSrefMirrored("A", 0, 0, 1, 3, 10, false, true, 0, 0), kGdsOk);
  ASSERT_EQ(writer.WriteSrefMirrored("B", 0, 0, 1, 1, 0, true, true, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 2u);
  EXPECT_TRUE(elements[0].Reflected());
  EXPECT_DOUBLE_EQ(elements[0].Magnification(), 3.0);
  EXPECT_DOUBLE_EQ(elements[0].Angle(), 190.0);
  EXPECT_FALSE(elements[1].Reflected());
  EXPECT_DOUBLE_EQ(elements[1].Angle(), 180.0);
}

TEST_F(ElementTest, ArrayReferenceCornersFollowTheAngle) {
  ASSERT_EQ(writer.WriteAref("CELL", 0, 0, 10, 5, 3, 2, 1, 90, false, 0, 0), kGdsOk);
  ASSERT_EQ(writer.WriteAref("CELL", 1, 1, 10, 5, 0, -4, -1, 0, true, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 2u);
  const GdsElement& turned = elements[0];
  EXPECT_EQ(turned.columns, 3);
  EXPECT_EQ(turned.rows, 2);
  ASSERT_EQ(turned.points.size(), 3u);
  EXPECT_EQ(turned.points[1].x, 0);
  EXPECT_EQ(turned.points[1].y, 30000);
  EXPECT_EQ(turned.points[2].x, -10000);
  EXPECT_EQ(turned.points[2].y, 0);
  EXPECT_TRUE(turned.mags.empty());
  const GdsElement& plain = elements[1];  // counts below 1 become 1, |-1| = 1 writes no MAG
  EXPECT_EQ(plain.columns, 1);
  EXPECT_EQ(plain.rows, 1);
  EXPECT_TRUE(plain.mags.empty());
  EXPECT_TRUE(plain.angles.empty());
  EXPECT_TRUE(plain.Reflected());
  EXPECT_EQ(plain.points[1].x, 11000);
  EXPECT_EQ(plain.points[2].y, 6000);
}

TEST_F(ElementTest, ArrayReferenceSecondSet) {
  const GdsIntPoint origin[] = {{100, 200}};
  ASSERT_EQ(writer.WriteArefEx("C", origin, GdsIntPoint{7, 3}, 3, 2, 2.5, 0, false, 0, 0), kGdsOk);
  const GdsIntPoint corners[] = {{1, 2}, {3, 4}, {5, 6}};
  ASSERT_EQ(writer.WriteArefEx("C", corners, std::nullopt, 1, 1, 1, 0, false, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WriteArefEx("C", std::span(corners, 2), std::nullopt, 1, 1, 1, 0, false, 0, 0),
            kGdsLimitApplied);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 2u);
  EXPECT_EQ(elements[0].points[1].x, 121);
  EXPECT_EQ(elements[0].points[2].y, 206);
  EXPECT_DOUBLE_EQ(elements[0].Magnification(), 2.5);
  EXPECT_EQ(elements[1].points[2].x, 5);
  EXPECT_EQ(elements[1].points[2].y, 6);
}

TEST_F(ElementTest, TextRecordsAndAngles) {
  ASSERT_EQ(writer.WriteText("ABC", 1, 2, 0x6, 2, 5, 6, 40, 1, 0x4001, -2, -720, 0, 0), kGdsOk);
  const std::vector<RawRecord> body = CloseAndBody();
  ASSERT_EQ(Types(body), (std::vector<int>{kGdsText, kGdsLayer, kGdsTextType, kGdsPresentation,
                                           kGdsPathType, kGdsWidth, kGdsStrans, kGdsMag, kGdsAngle,
                                           kGdsXy, kGdsString, kGdsEndEl}));
  EXPECT_EQ(body[3].data, Be16({0x26}));
  EXPECT_EQ(body[3].data_type, kGdsTypeBitArray);
  EXPECT_EQ(body[5].data, Be32({40}));
  EXPECT_EQ(body[6].data, Be16({0xC000}));
  EXPECT_EQ(body[7].data, Real({2.0}));
  EXPECT_EQ(body[8].data, Real({0.0}));
  EXPECT_EQ(body[9].data, Be32({1000, 2000}));
  EXPECT_EQ(body[10].data, Ascii("ABC"));
}

TEST_F(ElementTest, StringLengthsArePaddedToEven) {
  ASSERT_EQ(writer.WriteText("abc", 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0), kGdsOk);
  ASSERT_EQ(writer.WriteText("abcd", 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0), kGdsOk);
  const std::string longest(kGdsMaxRecordData, 's');
  ASSERT_EQ(writer.WriteText(longest, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WriteText(longest + "s", 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0),
            kGdsLimitApplied);  // refused whole
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[0].Find(kGdsString)->data, (std::vector<uint8_t>{'a', 'b', 'c', 0}));
  EXPECT_EQ(elements[1].Find(kGdsString)->data.size(), 4u);
  EXPECT_EQ(elements[2].text, longest);
}

TEST_F(ElementTest, TextAtAndTextExBuildTheFields) {
  ASSERT_EQ(writer.WriteTextAt(1, 2, 3, 2, 1, 0, true, false, 0.0025, 0, -30, {1, 1}, "HI"),
            kGdsOk);
  ASSERT_EQ(
      writer.WriteTextAtWithProperty(1, 2, 0, 1, 2, 0, false, true, 0, 3, -750, {0, 0}, "P", 9, 99),
      kGdsOk);
  ASSERT_EQ(
      writer.WriteTextEx(1, 2, 0, 0, 0, 0, false, false, 17, 1, -750, GdsIntPoint{5, 6}, "I", 0, 0),
      kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[0].presentation, 0x36);  // font 3, middle, right
  EXPECT_EQ(elements[0].width, 3);
  EXPECT_EQ(elements[0].strans, 0x8000);
  EXPECT_DOUBLE_EQ(elements[0].Magnification(), 1.0);  // 0 replaced, not reported
  EXPECT_DOUBLE_EQ(elements[0].Angle(), 330.0);
  EXPECT_EQ(elements[1].strans, 0x4000);
  EXPECT_DOUBLE_EQ(elements[1].Angle(), 330.0);  // 360 added until not negative
  ASSERT_EQ(elements[1].properties.size(), 1u);
  EXPECT_EQ(elements[1].properties[0].attribute, 9);
  EXPECT_EQ(elements[1].properties[0].IntValue(), 99);
  EXPECT_EQ(elements[2].width, 17);
  EXPECT_EQ(elements[2].points[0].x, 5);
  EXPECT_DOUBLE_EQ(elements[2].Angle(), -30.0);  // the second set adds 360 only once
}

TEST_F(ElementTest, BoxWritesFivePointsClosedByTheFirst) {
  const GdsIntPoint corners[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {99, 99}};
  ASSERT_EQ(writer.WriteBox(corners, 4, 2, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WriteBox(std::span(corners, 3), 4, 2, 0, 0), kGdsLimitApplied);
  const GdsElement box = OnlyElement();
  EXPECT_EQ(box.kind, kGdsBox);
  EXPECT_EQ(box.datatype, 2);
  ASSERT_EQ(box.points.size(), 5u);
  EXPECT_EQ(box.points[4].x, 0);
  EXPECT_EQ(box.points[4].y, 0);
}

TEST_F(ElementTest, ElementFlagFollowsTheOpener) {
  writer.SetElementFlag(true);
  const GdsPoint points[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
  ASSERT_EQ(writer.WriteBoundary(points, 1, 0, 0, 0), kGdsOk);
  const std::vector<RawRecord> body = CloseAndBody();
  ASSERT_GE(body.size(), 2u);
  EXPECT_EQ(body[1].type, kGdsElFlags);
  EXPECT_EQ(body[1].data, Be16({1}));
}

TEST_F(ElementTest, DirectoryStructureListsTheLinesOfAFile) {
  writer.EndStructure();
  writer.EndLibrary();
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 2.0, false), kGdsOk);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("A\r\n\nB", file);
  EXPECT_EQ(writer.WriteDirectoryStructure(file), kGdsOk);
  std::fclose(file);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 1u);
  EXPECT_EQ(library.structures[0].name, "GDS_DIRECTORY");
  const auto& texts = library.structures[0].elements;
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, "A");
  EXPECT_EQ(texts[0].points[0].y, 0);
  EXPECT_EQ(texts[1].text, "B");
  EXPECT_EQ(texts[1].points[0].y, -5600);
  EXPECT_EQ(texts[1].presentation, 8);
  EXPECT_DOUBLE_EQ(texts[1].Magnification(), 2.0);
}

TEST_F(ElementTest, NothingIsWrittenWithoutALibrary) {
  writer.EndStructure();
  writer.EndLibrary();
  const GdsPoint points[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
  EXPECT_EQ(writer.WriteBoundary(points, 1, 0, 0, 0), kGdsFailed);
  EXPECT_EQ(writer.WriteSref("A", 0, 0, 1, 0, false, 0, 0), kGdsFailed);
  EXPECT_EQ(writer.WriteCircle({0, 0}, 1, 0, 0, 0, 0), kGdsFailed);
  EXPECT_EQ(writer.WriteNamedProperty("X", kGdsSettingInt16, int32_t{1}), kGdsFailed);
}

}  // namespace
}  // namespace kavrinth
