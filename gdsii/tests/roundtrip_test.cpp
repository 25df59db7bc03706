// Round trip: every element kind, both element sets, the system's own kinds and named
// settings written by the writer come back with the same values from the reader, in
// both byte orders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "gds_test_support.h"
#include "gdsii/library.h"
#include "gdsii/writer.h"

namespace kavrinth {
namespace {

class RoundTripTest : public testing::WriterFixture, public ::testing::WithParamInterface<bool> {
 protected:
  // Writes the library; the structure "CELL" is begun inside "TOP" so it is spooled.
  void WriteEverything() {
    const bool native = GetParam();
    const GdsRefLibs reflibs{'R', 'E', 'F'};
    const GdsFontTable fonts{};
    ASSERT_EQ(writer.OpenLibraryEx(OutputPath(), "MM", 0.001, 1.0, 0.0, reflibs, fonts, native),
              kGdsOk);
    ASSERT_EQ(writer.WriteNamedProperty("$TOPSTR$", kGdsSettingText, std::string_view("TOP")),
              kGdsOk);
    ASSERT_EQ(writer.WriteNamedProperty("GBR$UNIT", kGdsSettingInt16, int32_t{-3}), kGdsOk);
    ASSERT_EQ(writer.WriteNamedProperty("GBR$ETCH", kGdsSettingReal, -0.125), kGdsOk);
    ASSERT_EQ(writer.WriteNamedProperty("BIG", kGdsSettingInt32, int32_t{123456789}), kGdsOk);
    ASSERT_EQ(writer.WriteLayerFileRecord(12, "TOP12.gbr"), kGdsOk);
    ASSERT_EQ(writer.WriteApertureRecord(11, "SQUARE", 0x11, 2, 0.1, 0.2, 0.3, 4, 0.4), kGdsOk);

    ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
    const GdsPoint square[] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};
    ASSERT_EQ(writer.WriteBoundary(square, 1, 2, 3, -4), kGdsOk);
    const GdsIntPoint int_square[] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}, {-5, -5}};
    ASSERT_EQ(writer.WriteBoundaryEx(int_square, 1023, 0, 0, 0), kGdsOk);
    const GdsPoint line[] = {{0, 0}, {1.5, -2.25}, {3, 3}};
    ASSERT_EQ(writer.WritePath(line, 5, 6, 0.25, 2, 0, 0), kGdsOk);
    const GdsIntPoint int_line[] = {{1, 2}, {3, 4}};
    ASSERT_EQ(writer.WritePathEx(int_line, 5, 7, int32_t{99}, 4, 0, 0), kGdsOk);
    ASSERT_EQ(writer.BeginStructure("CELL"), kGdsOk);
    ASSERT_EQ(writer.WriteNode(square, 8, 9, 0, 0), kGdsOk);
    ASSERT_EQ(writer.WriteBox(square, 10, 11, 12, 13), kGdsOk);
    ASSERT_EQ(writer.EndStructure(), kGdsOk);
    ASSERT_EQ(writer.WriteSref("CELL", -1, 1, 2.5, 45, true, 0, 0), kGdsOk);
    ASSERT_EQ(writer.WriteSrefEx("CELL", GdsIntPoint{7, -7}, 1, 0, false, 20, 21), kGdsOk);
    ASSERT_EQ(writer.WriteAref("CELL", 1, 2, 3, 4, 5, 6, 0.5, 0, false, 0, 0), kGdsOk);
    ASSERT_EQ(writer.WriteText("hello", 1, 1, 5, 1, 3, 4, 0, 0, 0, 0.5, 30, 0, 0), kGdsOk);
    ASSERT_EQ(writer.WriteCircle({1, 1}, 0.75, 2, 3, 1, 0.01), kGdsOk);
    const std::array<GdsPoint, 2> ends = {{{1, 0}, {0, 1}}};
    ASSERT_EQ(writer.WriteArcWithProperty(0, 90, 1, 1, ends, {0, 0}, 0.002, 1, 4, 5, 6), kGdsOk);
    ASSERT_EQ(writer.BeginGroup(2, 3, 4, 0.005, {3, 3}, 0, 0), kGdsOk);
    const GdsIntPoint raw[] = {{INT32_MIN, INT32_MAX}, {0, -1}};
    ASSERT_EQ(writer.WritePointList(raw), kGdsOk);
    ASSERT_EQ(writer.EndGroup(), kGdsOk);
    ASSERT_EQ(writer.WriteKind144(1, 2, 3, "k144"), kGdsOk);
    ASSERT_EQ(writer.WriteKind160(line, 33, 1, 2, 0.1, 3, 4, 5), kGdsOk);
    ASSERT_EQ(writer.WriteKind161(line, 7, 8, 0, 0), kGdsOk);
    ASSERT_EQ(writer.WriteKind162(62, 1, "k162"), kGdsOk);
    ASSERT_EQ(writer.WriteKind167(67, 2, "k167", 1.25, -2.5, 200), kGdsOk);
    ASSERT_EQ(writer.WriteKind168(68, u"\u4e2d\u6587"), kGdsOk);
    ASSERT_EQ(writer.WriteKind169(69, "k169"), kGdsOk);
    ASSERT_EQ(writer.EndStructure(), kGdsOk);
    ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  }
};

TEST_P(RoundTripTest, EveryKindReadsBackToTheSameValues) {
  WriteEverything();
  const GdsLibrary library = ReadBack();
  EXPECT_EQ(library.byte_order,
            GetParam() ? GdsByteOrder::kLittleEndian : GdsByteOrder::kBigEndian);
  EXPECT_EQ(library.version, 3);
  EXPECT_EQ(library.timestamps[0], 99);
  EXPECT_EQ(library.timestamps[11], 58);
  EXPECT_EQ(library.name, "OUT.GDS");
  ASSERT_EQ(library.reflibs.size(), 2u);
  EXPECT_EQ(library.reflibs[0], "REF");
  EXPECT_TRUE(library.fonts.empty());
  EXPECT_DOUBLE_EQ(library.user_units_per_database_unit, 0.001);
  EXPECT_DOUBLE_EQ(library.metres_per_database_unit, 1e-6);

  // Settings and records before the first structure.
  ASSERT_EQ(library.elements.size(), 6u);
  EXPECT_EQ(library.elements[0].text, "$TOPSTR$");
  EXPECT_EQ(std::get<std::string>(library.elements[0].SettingValue()), "TOP");
  EXPECT_EQ(std::get<int32_t>(library.elements[1].SettingValue()), -3);
  EXPECT_EQ(std::get<double>(library.elements[2].SettingValue()), -0.125);
  EXPECT_EQ(std::get<int32_t>(library.elements[3].SettingValue()), 123456789);
  EXPECT_EQ(library.elements[4].kind, kGdsExtLayerFile);
  EXPECT_EQ(library.elements[4].uinteger, 12);
  EXPECT_EQ(library.elements[4].ustring, "TOP12.gbr");
  const GdsElement& aperture = library.elements[5];
  EXPECT_EQ(aperture.kind, kGdsExtAperture);
  EXPECT_EQ(aperture.uinteger, 11);
  EXPECT_EQ(aperture.ustring, "SQUARE");
  EXPECT_EQ(aperture.elflags, 0x11);
  EXPECT_EQ(aperture.pathtype, 2);
  EXPECT_EQ(aperture.datatype, 4);
  ASSERT_EQ(aperture.mags.size(), 4u);
  EXPECT_DOUBLE_EQ(aperture.mags[3], 0.4);

  ASSERT_EQ(library.structures.size(), 2u);
  const GdsStructure& cell = library.structures[0];
  EXPECT_EQ(cell.name, "CELL");
  ASSERT_EQ(cell.elements.size(), 2u);
  EXPECT_EQ(cell.elements[0].kind, kGdsNode);
  EXPECT_EQ(cell.elements[0].datatype, 9);
  EXPECT_EQ(cell.elements[1].kind, kGdsBox);
  EXPECT_EQ(cell.elements[1].properties.at(0).IntValue(), 13);

  const GdsStructure& top = library.structures[1];
  EXPECT_EQ(top.name, "TOP");
  EXPECT_EQ(top.timestamps[5], 58);
  const std::vector<int> kinds = {kGdsBoundary,   kGdsBoundary,   kGdsPath,       kGdsPath,
                                  kGdsSref,       kGdsSref,       kGdsAref,       kGdsText,
                                  kGdsExtCircle,  kGdsExtArc,     kGdsExtGroup,   kGdsExtPointList,
                                  kGdsExtGroup,   kGdsExtKind144, kGdsExtKind160, kGdsExtKind161,
                                  kGdsExtKind162, kGdsExtKind167, kGdsExtKind168, kGdsExtKind169};
  std::vector<int> read_kinds;
  for (const GdsElement& e : top.elements) read_kinds.push_back(e.kind);
  ASSERT_EQ(read_kinds, kinds);
  const auto& e = top.elements;

  EXPECT_EQ(e[0].layer, 1);
  EXPECT_EQ(e[0].datatype, 2);
  EXPECT_EQ(e[0].points[2].x, 2000);
  EXPECT_EQ(e[0].properties.at(0).attribute, 3);
  EXPECT_EQ(e[0].properties.at(0).IntValue(), -4);
  EXPECT_EQ(e[1].layer, 1023);
  EXPECT_EQ(e[1].points[0].x, -5);

  EXPECT_EQ(e[2].width, 250);
  EXPECT_EQ(e[2].pathtype, 2);
  EXPECT_EQ(e[2].points[1].y, -2250);
  EXPECT_EQ(e[3].width, 99);
  EXPECT_EQ(e[3].points[1].x, 3);

  EXPECT_EQ(e[4].sname, "CELL");
  EXPECT_TRUE(e[4].Reflected());
  EXPECT_DOUBLE_EQ(e[4].Magnification(), 2.5);
  EXPECT_DOUBLE_EQ(e[4].Angle(), 45);
  EXPECT_EQ(e[4].points[0].x, -1000);
  EXPECT_EQ(e[5].points[0].y, -7);
  EXPECT_EQ(e[5].properties.at(0).IntValue(), 21);

  EXPECT_EQ(e[6].columns, 5);
  EXPECT_EQ(e[6].rows, 6);
  EXPECT_DOUBLE_EQ(e[6].Magnification(), 0.5);
  ASSERT_EQ(e[6].points.size(), 3u);
  EXPECT_EQ(e[6].points[1].x, 16000);
  EXPECT_EQ(e[6].points[2].y, 26000);

  EXPECT_EQ(e[7].text, "hello");
  EXPECT_EQ(e[7].presentation, 0x15);
  EXPECT_DOUBLE_EQ(e[7].Angle(), 30);

  EXPECT_DOUBLE_EQ(e[8].Magnification(), 0.75);
  EXPECT_EQ(e[8].width, 10);
  EXPECT_EQ(e[8].layer, 3);
  EXPECT_EQ(e[9].xy_counts, (std::vector<size_t>{2, 1}));
  EXPECT_THAT(e[9].angles,
              ::testing::ElementsAre(0.0, ::testing::DoubleEq(90), ::testing::DoubleEq(1)));
  EXPECT_EQ(e[9].properties.at(0).IntValue(), 6);
  EXPECT_EQ(e[10].width, 5);
  EXPECT_FALSE(e[10].IsGroupEnd());
  EXPECT_EQ(e[11].points[0].x, INT32_MIN);
  EXPECT_EQ(e[11].points[0].y, INT32_MAX);
  EXPECT_TRUE(e[12].IsGroupEnd());
  EXPECT_EQ(e[13].ustring, "k144");
  EXPECT_DOUBLE_EQ(e[14].Magnification(), std::hypot(3.0, 3.0));
  EXPECT_DOUBLE_EQ(e[14].Angle(), 33);
  EXPECT_EQ(e[14].width, 100);
  EXPECT_EQ(e[15].points.size(), 3u);
  EXPECT_EQ(e[16].uinteger, 62);
  EXPECT_EQ(e[17].mags, (std::vector<double>{1.25, -2.5}));
  EXPECT_DOUBLE_EQ(e[17].Angle(), 200);
  EXPECT_EQ(e[18].Utf16(), u"\u4e2d\u6587");
  EXPECT_EQ(e[19].ustring, "k169");
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, RoundTripTest, ::testing::Bool());

}  // namespace
}  // namespace kavrinth
