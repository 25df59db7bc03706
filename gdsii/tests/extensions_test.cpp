// Tests of the system's own element kinds and named settings as the writer lays them
// out.
#include <gtest/gtest.h>

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

class ExtensionTest : public testing::WriterFixture {
 protected:
  void SetUp() override { OpenWithStructure(); }
};

TEST_F(ExtensionTest, ArcAnglesKeep360) {
  const std::array<GdsPoint, 2> two = {{{0, 0}, {1, 1}}};
  ASSERT_EQ(writer.WriteArc(-90, 360, -45, -2, two, {0.5, 0.5}, 0.01, 1, 7), kGdsOk);
  ASSERT_EQ(writer.WriteArc(10, 720, 0, 1, two, {0, 0}, 0, 0, 7), kGdsOk);
  const std::vector<RawRecord> body = CloseAndBody();
  const std::vector<int> arc = {kGdsExtArc, kGdsLayer, kGdsPathType, kGdsWidth,
                                kGdsAngle,  kGdsAngle, kGdsAngle,    kGdsMag,
                                kGdsXy,     kGdsXy,    kGdsEndEl};
  ASSERT_EQ(body.size(), 22u);
  EXPECT_EQ(Types(std::vector<RawRecord>(body.begin(), body.begin() + 11)), arc);
  EXPECT_EQ(body[3].data, Be32({10}));  // WIDTH 0.01 at 0.001
  EXPECT_EQ(body[4].data, Real({270.0}));
  EXPECT_EQ(body[5].data, Real({360.0}));
  EXPECT_EQ(body[6].data, Real({-45.0}));  // the third angle as given
  EXPECT_EQ(body[7].data, Real({2.0}));
  EXPECT_EQ(body[8].data, Be32({0, 0, 1000, 1000}));
  EXPECT_EQ(body[9].data, Be32({500, 500}));
  EXPECT_EQ(body[11 + 5].data, Real({0.0}));  // 720 reduces to 0
}

TEST_F(ExtensionTest, NamedSettingsByValueKind) {
  ASSERT_EQ(writer.WriteNamedProperty("GBR$CR", kGdsSettingInt16, int32_t{1}), kGdsOk);
  ASSERT_EQ(writer.WriteNamedProperty("ARCRES", kGdsSettingReal, 1e-30), kGdsOk);
  ASSERT_EQ(writer.WriteNamedProperty("N32", kGdsSettingInt32, int32_t{-70000}), kGdsOk);
  ASSERT_EQ(writer.WriteNamedProperty("$JUMP$", kGdsSettingText, std::string_view("a.gdx")),
            kGdsOk);
  ASSERT_EQ(writer.WriteNamedProperty("K9", 9, int32_t{4}), kGdsOk);  // a number as a real
  EXPECT_EQ(writer.WriteNamedProperty("BAD", kGdsSettingInt16, 1.5), kGdsLimitApplied);
  EXPECT_EQ(writer.WriteNamedProperty("BAD", kGdsSettingText, int32_t{1}), kGdsLimitApplied);
  const std::vector<RawRecord> body = CloseAndBody();
  ASSERT_EQ(body.size(), 25u);
  const std::vector<RawRecord> first(body.begin(), body.begin() + 5);
  EXPECT_EQ(Types(first), (std::vector<int>{kGdsExtNamedSetting, kGdsPropAttr, kGdsString,
                                            kGdsUinteger, kGdsExtNamedSetting}));
  EXPECT_TRUE(body[0].data.empty());
  EXPECT_EQ(body[1].data, Be16({1}));
  EXPECT_EQ(body[2].data, Ascii("GBR$CR"));
  EXPECT_EQ(body[3].data, Be16({1}));
  EXPECT_EQ(body[8].type, kGdsMag);
  EXPECT_EQ(body[8].data, std::vector<uint8_t>(8, 0));
  EXPECT_EQ(body[13].type, kGdsExtSettingInt32);
  EXPECT_EQ(body[13].data_type, kGdsTypeInt32);
  EXPECT_EQ(body[13].data, Be32({-70000}));
  EXPECT_EQ(body[17].data, Ascii("$JUMP$"));
  EXPECT_EQ(body[18].type, kGdsUstring);
  EXPECT_EQ(body[18].data, Ascii("a.gdx"));
  EXPECT_EQ(body[21].data, Be16({9}));
  EXPECT_EQ(body[23].data, Real({4.0}));
}

TEST_F(ExtensionTest, PointListIsWrittenUnconvertedAndLimited) {
  std::vector<GdsIntPoint> points;
  for (int i = 0; i < 300; ++i) points.push_back({i, -i});
  ASSERT_EQ(writer.WritePointList(points), kGdsOk);
  const std::vector<GdsIntPoint> too_many(kGdsMaxPointListPoints + 1);
  EXPECT_EQ(writer.WritePointList(too_many), kGdsLimitApplied);
  const std::vector<GdsIntPoint> most(kGdsMaxPointListPoints);
  EXPECT_EQ(writer.WritePointList(most), kGdsOk);
  const std::vector<RawRecord> body = CloseAndBody();
  ASSERT_EQ(Types(body), (std::vector<int>{kGdsExtPointList, kGdsXy, kGdsEndEl, kGdsExtPointList,
                                           kGdsXy, kGdsEndEl}));
  EXPECT_EQ(body[1].data.size() + 4, 2404u);
  EXPECT_EQ(std::vector<uint8_t>(body[1].data.end() - 8, body[1].data.end()), Be32({299, -299}));
  EXPECT_EQ(body[4].data.size(), 8 * kGdsMaxPointListPoints);
}

TEST_F(ExtensionTest, ApertureLayerFileAndNumberedKinds) {
  ASSERT_EQ(writer.WriteApertureRecord(10, "ROUND", 1, 2, 0.5, 0.25, 0.125, 3, 4), kGdsOk);
  ASSERT_EQ(writer.WriteLayerFileRecord(5, "CHIPTO05.gbr"), kGdsOk);
  ASSERT_EQ(writer.WriteKind144(6, 1, 44, "k144"), kGdsOk);
  ASSERT_EQ(writer.WriteKind162(62, 2, "k162"), kGdsOk);
  ASSERT_EQ(writer.WriteKind167(67, 3, "k167", 1.5, 2.5, -30), kGdsOk);
  ASSERT_EQ(writer.WriteKind169(69, "k"), kGdsOk);
  ASSERT_EQ(writer.WriteKind168(68, u"\u00e9A"), kGdsOk);
  const std::vector<RawRecord> body = CloseAndBody();
  const std::vector<int> expected = {
      kGdsExtAperture, kGdsUinteger, kGdsUstring,      kGdsElFlags,  kGdsPathType,   kGdsDataType,
      kGdsMag,         kGdsEndEl,    kGdsExtLayerFile, kGdsUinteger, kGdsUstring,    kGdsEndEl,
      kGdsExtKind144,  kGdsLayer,    kGdsPathType,     kGdsUinteger, kGdsUstring,    kGdsEndEl,
      kGdsExtKind162,  kGdsPathType, kGdsUinteger,     kGdsUstring,  kGdsEndEl,      kGdsExtKind167,
      kGdsPathType,    kGdsUinteger, kGdsUstring,      kGdsMag,      kGdsAngle,      kGdsEndEl,
      kGdsExtKind169,  kGdsUinteger, kGdsUstring,      kGdsEndEl,    kGdsExtKind168, kGdsUinteger,
      kGdsUstring,     kGdsEndEl};
  ASSERT_EQ(Types(body), expected);
  EXPECT_EQ(body[3].data_type, kGdsTypeBitArray);
  EXPECT_EQ(body[6].data, Real({0.5, 0.25, 0.125, 4}));
  EXPECT_EQ(body[10].data, Ascii("CHIPTO05.gbr"));
  EXPECT_EQ(body[28].data, Real({330.0}));
  EXPECT_EQ(body[36].data, (std::vector<uint8_t>{0xE9, 0x00, 'A', 0x00}));
}

TEST_F(ExtensionTest, Kind167AngleDoesNotKeep360) {
  ASSERT_EQ(writer.WriteKind167(1, 0, "", 0, 0, 400), kGdsOk);
  ASSERT_EQ(writer.WriteKind167(1, 0, "", 0, 0, 360), kGdsOk);
  const std::vector<RawRecord> body = CloseAndBody();
  ASSERT_EQ(body.size(), 14u);
  EXPECT_EQ(body[5].data, Real({40.0}));
  EXPECT_EQ(body[12].data, Real({0.0}));
}

TEST_F(ExtensionTest, GroupsCirclesAndKinds160And161) {
  ASSERT_EQ(writer.BeginGroup(1, 2, 3, 0.004, {1, 2}, 5, 7.9), kGdsOk);
  ASSERT_EQ(writer.WriteCircleWithProperty({1, 1}, -0.5, 2, 3, 0, 0.002, 4, 8), kGdsOk);
  ASSERT_EQ(writer.EndGroup(), kGdsOk);
  const GdsPoint three[] = {{0, 0}, {3, 0}, {3, 4}};
  ASSERT_EQ(writer.WriteKind160(three, 12.5, 1, 2, 0.1, 0, 0, 0), kGdsOk);
  const GdsPoint two[] = {{0, 0}, {0, 2}};
  ASSERT_EQ(writer.WriteKind160(two, 0, 1, 2, 0.1, 0, 0, 0), kGdsOk);
  EXPECT_EQ(writer.WriteKind160(std::span(two, 1), 0, 1, 2, 0.1, 0, 0, 0), kGdsLimitApplied);
  EXPECT_EQ(writer.WriteKind161({}, 1, 2, 0, 0), kGdsLimitApplied);
  const std::vector<GdsPoint> sixty(60, GdsPoint{1, 1});
  EXPECT_EQ(writer.WriteKind161(sixty, 1, 2, 0, 0), kGdsLimitApplied);
  const std::array<GdsPoint, 2> ends = {{{0, 0}, {1, 0}}};
  ASSERT_EQ(writer.WriteTwoRadiusArc({-10, 360, 370, 0}, 1, -2, ends, {0, 0}, 0, 6, 1, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  const auto& elements = library.structures.at(0).elements;
  ASSERT_EQ(elements.size(), 7u);
  EXPECT_EQ(elements[0].kind, kGdsExtGroup);
  EXPECT_EQ(elements[0].width, 4);
  ASSERT_EQ(elements[0].properties.size(), 1u);
  EXPECT_EQ(elements[0].properties[0].IntValue(), 7);
  EXPECT_EQ(elements[1].kind, kGdsExtCircle);
  EXPECT_DOUBLE_EQ(elements[1].Magnification(), 0.5);
  EXPECT_EQ(elements[1].properties.at(0).IntValue(), 8);
  EXPECT_TRUE(elements[2].IsGroupEnd());
  EXPECT_DOUBLE_EQ(elements[3].Magnification(), 5.0);  // first to third point
  EXPECT_DOUBLE_EQ(elements[3].Angle(), 12.5);
  EXPECT_DOUBLE_EQ(elements[4].Magnification(), 2.0);  // two points: to the last
  EXPECT_EQ(elements[5].kind, kGdsExtKind161);
  EXPECT_EQ(elements[5].points.size(), 50u);
  EXPECT_EQ(elements[6].kind, kGdsExtTwoRadiusArc);
  ASSERT_EQ(elements[6].angles.size(), 4u);
  EXPECT_DOUBLE_EQ(elements[6].angles[0], 350.0);
  EXPECT_DOUBLE_EQ(elements[6].angles[1], 360.0);
  EXPECT_DOUBLE_EQ(elements[6].angles[2], 10.0);
  EXPECT_EQ(elements[6].mags, (std::vector<double>{1.0, 2.0}));
  ASSERT_EQ(elements[6].properties.size(), 1u);  // PROPATTR alone
  EXPECT_EQ(elements[6].properties[0].attribute, 6);
  EXPECT_TRUE(elements[6].properties[0].value.empty());
}

}  // namespace
}  // namespace kavrinth
