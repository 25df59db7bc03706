// Tests of the viewer's GDSII-format writer: the compressed point records and their
// escalation, break markers, padding, structures, the element writers, byte order, and
// write errors; a decoder here reads the written elements back.
#include "viewer/model/gdsformat_writer.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "gdsii/encoding.h"
#include "support/notifier.h"
#include "wf2_test_support.h"

namespace kavrinth {

// Points compare by value here (found by argument lookup, so outside the unnamed namespace).
bool operator==(const GdsIntPoint& a, const GdsIntPoint& b) { return a.x == b.x && a.y == b.y; }

namespace {

using testing::ReadBytes;
using testing::WriteBytes;

// ---- A decoder of the written stream, independent of the writer ----

struct Record {
  int type = 0;
  int data_type = 0;
  std::vector<uint8_t> data;
};

int32_t Int32(const uint8_t* p, bool little) {
  const uint32_t v = little ? (p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24)
                            : (uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]);
  return static_cast<int32_t>(v);
}

int32_t Int16(const uint8_t* p, bool little) {
  return static_cast<int16_t>(little ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]));
}

// Every record up to ENDLIB; the test fails on a framing error or missing padding.
std::vector<Record> Records(const std::vector<uint8_t>& bytes, bool little = false) {
  std::vector<Record> records;
  size_t i = 0;
  while (i + 4 <= bytes.size()) {
    const auto length =
        static_cast<size_t>(static_cast<uint16_t>(Int16(&bytes[i + (little ? 2 : 0)], little)));
    const int type = bytes[i + (little ? 1 : 2)];
    const int data_type = bytes[i + (little ? 0 : 3)];
    EXPECT_GE(length, 4u);
    EXPECT_EQ(length % 2, 0u);
    EXPECT_LE(i + length, bytes.size());
    if (length < 4 || i + length > bytes.size()) break;
    records.push_back({type, data_type, {bytes.begin() + i + 4, bytes.begin() + i + length}});
    i += length;
    if (type == kGdsEndLib) {
      EXPECT_EQ(bytes.size() % 2048, 0u);
      for (; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0);
      return records;
    }
  }
  ADD_FAILURE() << "no ENDLIB";
  return records;
}

std::vector<GdsIntPoint> Points(const Record& r, bool little = false) {
  std::vector<GdsIntPoint> points;
  const uint8_t* d = r.data.data();
  if (r.type == kGdsXy) {
    for (size_t i = 0; i + 8 <= r.data.size(); i += 8) {
      points.push_back({Int32(d + i, little), Int32(d + i + 4, little)});
    }
    return points;
  }
  EXPECT_EQ(r.data_type, kGdsOutCompressedDataType);
  points.push_back({Int32(d, true), Int32(d + 4, true)});
  const size_t step = r.type == kGdsOutCompressedBytes ? 2 : 4;
  for (size_t i = 8; i + step <= r.data.size(); i += step) {
    const int32_t dx = step == 2 ? int8_t(d[i]) : Int16(d + i, true);
    const int32_t dy = step == 2 ? int8_t(d[i + 1]) : Int16(d + i + 2, true);
    points.push_back({points.back().x + dx, points.back().y + dy});
  }
  return points;
}

bool IsPointRecord(int type) {
  return type == kGdsXy || type == kGdsOutCompressedBytes || type == kGdsOutCompressedWords;
}

struct Element {
  int kind = 0;
  int layer = 0;
  int point_type = 0;
  std::vector<GdsIntPoint> points;
};

std::vector<Element> Elements(const std::vector<Record>& records, bool little = false) {
  std::vector<Element> elements;
  for (const Record& r : records) {
    if (r.type == kGdsBoundary || r.type == kGdsPath || r.type == kGdsAref) {
      elements.push_back({r.type, 0, 0, {}});
    } else if (!elements.empty() && r.type == kGdsLayer && elements.back().points.empty()) {
      elements.back().layer = Int16(r.data.data(), little);
    } else if (!elements.empty() && IsPointRecord(r.type) && elements.back().points.empty()) {
      elements.back().point_type = r.type;
      elements.back().points = Points(r, little);
    }
  }
  return elements;
}

const Record* Find(const std::vector<Record>& records, int type) {
  for (const Record& r : records) {
    if (r.type == type) return &r;
  }
  return nullptr;
}

std::vector<int> Types(const std::vector<Record>& records) {
  std::vector<int> types;
  for (const Record& r : records) types.push_back(r.type);
  return types;
}

std::vector<uint8_t> RealBytes(double value) {
  std::vector<uint8_t> bytes(8);
  GdsReal8(value, std::span<uint8_t, 8>(bytes.data(), 8));
  return bytes;
}

class GdsFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GdsOutSetClock([] { return GdsDateTime{1999, 12, 31, 23, 59, 58}; });
  }
  void TearDown() override {
    GdsOutClose();
    GdsOutSetFlags(0);
    GdsOutSetClock({});
  }
  void Open(bool native = false) {
    ASSERT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", native), kGdsOutOk);
    ASSERT_EQ(GdsOutBeginStructure("TOP"), kGdsOutOk);
  }
  std::vector<Record> Close(bool little = false) {
    EXPECT_EQ(GdsOutEndStructure(), kGdsOutOk);
    EXPECT_EQ(GdsOutClose(), kGdsOutOk);
    return Records(ReadBytes(path), little);
  }

  testing::ScratchDir dir;
  std::string path = dir.File("out.gds");
};

std::vector<GdsIntPoint> Square(int32_t x, int32_t y, int32_t side) {
  return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}, {x, y}};
}

TEST_F(GdsFormatTest, SmallSquareIsARecord140) {
  Open();
  ASSERT_EQ(GdsOutBoundary(Square(10, 20, 100), 1, 0, 0, 0), kGdsOutOk);
  const std::vector<Record> records = Close();
  const Record* xy = Find(records, kGdsOutCompressedBytes);
  ASSERT_NE(xy, nullptr);
  EXPECT_EQ(xy->data_type, 255);
  EXPECT_EQ(xy->data.size() + 4, 20u);
  const std::vector<uint8_t> data = {10, 0, 0, 0, 20, 0, 0, 0, 100, 0, 0, 100, 0x9C, 0, 0, 0x9C};
  EXPECT_EQ(xy->data, data);
}

TEST_F(GdsFormatTest, LargerSquareIsARecord141) {
  Open();
  ASSERT_EQ(GdsOutBoundary(Square(-5, 7, 1000), 1, 0, 0, 0), kGdsOutOk);
  const std::vector<Record> records = Close();
  const Record* xy = Find(records, kGdsOutCompressedWords);
  ASSERT_NE(xy, nullptr);
  EXPECT_EQ(xy->data.size() + 4, 28u);
  const std::vector<uint8_t> data = {0xFB, 0xFF, 0xFF, 0xFF, 7,    0, 0, 0, 0xE8, 0x03, 0,   0, 0,
                                     0,    0xE8, 0x03, 0x18, 0xFC, 0, 0, 0, 0,    0x18, 0xFC};
  EXPECT_EQ(xy->data, data);
}

TEST_F(GdsFormatTest, DeltasOutsideTheSymmetricBoundsEscalate) {
  struct Case {
    int32_t delta;
    int type;
  };
  const Case cases[] = {{127, 140},   {-127, 140},   {128, 141},  {-128, 141},
                        {32767, 141}, {-32767, 141}, {32768, 16}, {-32768, 16}};
  Open();
  for (const Case& c : cases) {
    const GdsIntPoint points[] = {{0, 0}, {0, 0}};
    ASSERT_EQ(GdsOutXY(points, {0, c.delta}), kGdsOutOk);
  }
  // A step across the whole 32-bit range is no small delta, whatever 32 bits make of it.
  const GdsIntPoint far[] = {{INT32_MAX, 0}, {0, 0}};
  ASSERT_EQ(GdsOutXY(far, {INT32_MIN, 0}), kGdsOutOk);
  const std::vector<Record> records = Close();
  std::vector<const Record*> point_records;
  for (const Record& r : records) {
    if (IsPointRecord(r.type)) point_records.push_back(&r);
  }
  ASSERT_EQ(point_records.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(point_records[i]->type, cases[i].type) << cases[i].delta;
  }
  EXPECT_EQ(point_records.back()->type, kGdsXy);
  EXPECT_EQ(Points(*point_records.back()),
            (std::vector<GdsIntPoint>{{INT32_MAX, 0}, {INT32_MIN, 0}}));
}

// A marker's coordinates overflow a 32-bit delta: the list goes out plain, and the
// boundary closes at the start of its last polygon.
TEST_F(GdsFormatTest, BreakMarkersGiveAPlainRecordClosedAtTheLastPolygon) {
  Open();
  const GdsIntPoint marker = {kGdsOutBreakX, kGdsOutBreakY};
  std::vector<GdsIntPoint> points = Square(0, 0, 10);
  points.pop_back();
  points.push_back(marker);
  const std::vector<GdsIntPoint> inner = {{2, 2}, {4, 2}, {4, 4}};
  points.insert(points.end(), inner.begin(), inner.end());
  points.push_back({99, 99});  // the slot of the closing point
  ASSERT_EQ(GdsOutBoundary(points, 3, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutBoundary(points, 3, 0, kGdsOutCloseWithLast, 0), kGdsOutOk);
  const std::vector<Element> elements = Elements(Close());
  ASSERT_EQ(elements.size(), 2u);
  std::vector<GdsIntPoint> expected = points;
  expected.back() = inner.front();
  EXPECT_EQ(elements[0].point_type, kGdsXy);
  EXPECT_EQ(elements[0].points, expected);
  EXPECT_EQ(elements[1].points, points);
}

TEST_F(GdsFormatTest, PathClosesAtItsOwnLastPoint) {
  Open();
  const std::vector<GdsIntPoint> path_points = {{0, 0}, {50, 0}, {50, 60}, {-20, 60}};
  ASSERT_EQ(GdsOutPath(path_points, 2, 1, 8, 0, 0, 0), kGdsOutOk);
  const std::vector<Element> elements = Elements(Close());
  ASSERT_EQ(elements.size(), 1u);
  EXPECT_EQ(elements[0].point_type, kGdsOutCompressedBytes);
  EXPECT_EQ(elements[0].points, path_points);
}

TEST_F(GdsFormatTest, PaddingFillsTheLastBlock) {
  // The open writes 64 bytes for "A.GDS"; kind 142 of k integers takes 8 + 4k more.
  for (const int32_t k : {1006, 1005}) {
    SCOPED_TRACE(k);
    const std::string file = dir.File("A.GDS");
    ASSERT_EQ(GdsOutOpen(file, 1e-6, 0.001, "", false), kGdsOutOk);
    ASSERT_EQ(GetGdsOutSize(), 64);
    ASSERT_EQ(GdsOutKind142(std::vector<int32_t>(k, 7)), kGdsOutOk);
    const int64_t before = GetGdsOutSize();
    ASSERT_EQ(GdsOutClose(), kGdsOutOk);
    const std::vector<uint8_t> bytes = ReadBytes(file);
    EXPECT_EQ(bytes.size(), 6144u);
    EXPECT_EQ(bytes.size() - before - 4, before == 4096 ? 2044u : 2048u);
    Records(bytes);
  }
}

TEST_F(GdsFormatTest, PointsBeyondTheLimitAreCutAndReported) {
  Open();
  std::vector<GdsIntPoint> many(kGdsOutMaxPoints + 1);
  for (size_t i = 0; i < many.size(); ++i) many[i] = {static_cast<int32_t>(i), 0};
  std::vector<GdsPoint> more(12000);
  for (size_t i = 0; i < more.size(); ++i) more[i] = {i * 0.001, 1.0};
  EXPECT_EQ(GdsOutBoundary(many, 1, 0, 0, 0), kGdsOutLimited);
  EXPECT_EQ(GdsOutBoundaryD(more, 1, 0, 0, 0), kGdsOutLimited);
  EXPECT_EQ(GdsOutPath(many, 1, 0, 5, 0, 0, 0), kGdsOutLimited);
  EXPECT_EQ(GdsOutBoundary(std::span(many).first(3), 1, 0, 0, 0), kGdsOutLimited);
  EXPECT_EQ(GdsOutPath(std::span(many).first(1), 1, 0, 5, 0, 0, 0), kGdsOutLimited);
  const std::vector<Element> elements = Elements(Close());
  ASSERT_EQ(elements.size(), 3u);
  for (const Element& e : elements)
    EXPECT_EQ(e.points.size(), static_cast<size_t>(kGdsOutMaxPoints));
  EXPECT_EQ(elements[0].points.back(), many[0]);
  EXPECT_EQ(elements[1].points.back(), (GdsIntPoint{0, 1000}));
}

TEST_F(GdsFormatTest, DoublesAreRoundedAndMarkersPassThrough) {
  Open();
  const double bx = kGdsOutBreakX;
  const double by = kGdsOutBreakY;
  const std::vector<GdsPoint> points = {{0.0015, -0.0015}, {1.0, 0.0}, {1.0, 1.0}, {bx, by},
                                        {0.5, 0.5},        {0.7, 0.5}, {0.7, 0.7}, {9.0, 9.0}};
  ASSERT_EQ(GdsOutBoundaryD(points, 4, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutBoundaryD(points, 4, 0, kGdsOutCloseWithLast, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutPathD(std::span(points).first(3), 4, 0, 0.0026, 0, 0, 0), kGdsOutOk);
  const std::vector<Record> records = Close();
  const std::vector<Element> elements = Elements(records);
  ASSERT_EQ(elements.size(), 3u);
  const std::vector<GdsIntPoint> converted = {
      {2, -2},    {1000, 0},  {1000, 1000}, {kGdsOutBreakX, kGdsOutBreakY},
      {500, 500}, {700, 500}, {700, 700}};
  std::vector<GdsIntPoint> closed = converted;
  closed.push_back({500, 500});
  EXPECT_EQ(elements[0].points, closed);
  closed.back() = {9000, 9000};
  EXPECT_EQ(elements[1].points, closed);
  EXPECT_EQ(elements[2].points, std::vector<GdsIntPoint>(converted.begin(), converted.begin() + 3));
  const Record* width = Find(records, kGdsWidth);
  ASSERT_NE(width, nullptr);
  EXPECT_EQ(Int32(width->data.data(), false), 3);
}

TEST_F(GdsFormatTest, ReferencesCutNamesAndReduceAngles) {
  Open();
  const std::string long_name(40, 'S');
  EXPECT_EQ(GdsOutSref(long_name, 1, 2, 1.0, 0.0, false, 0, 0), kGdsOutLimited);
  EXPECT_EQ(GdsOutSref("A", 1, 2, 1e-30, -90.0, true, 5, 77), kGdsOutLimited);
  EXPECT_EQ(GdsOutSref("B", 1, 2, 2.0, 0.005, false, 0, 0), kGdsOutOk);
  const std::array<GdsIntPoint, 3> corners = {{{0, 0}, {30, 0}, {0, 20}}};
  EXPECT_EQ(GdsOutAref("C", corners, 3, 2, 1.0, 0.0, false, 0, 0), kGdsOutOk);
  const std::vector<Record> records = Close();
  const std::vector<int> sref = {
      kGdsSref,  kGdsSname,  kGdsStrans, kGdsXy,     kGdsEndEl,    kGdsSref,
      kGdsSname, kGdsStrans, kGdsAngle,  kGdsXy,     kGdsPropAttr, kGdsPropValue,
      kGdsEndEl, kGdsSref,   kGdsSname,  kGdsStrans, kGdsMag,      kGdsXy,
      kGdsEndEl, kGdsAref,   kGdsSname,  kGdsStrans, kGdsColRow,   kGdsOutCompressedBytes,
      kGdsEndEl};
  std::vector<int> types = Types(records);
  types.erase(types.begin(), std::find(types.begin(), types.end(), kGdsSref));
  types.resize(sref.size());
  EXPECT_EQ(types, sref);
  const Record* sname = Find(records, kGdsSname);
  EXPECT_EQ(std::string(sname->data.begin(), sname->data.end()), std::string(32, 'S'));
  const Record* angle = Find(records, kGdsAngle);
  EXPECT_EQ(angle->data, RealBytes(270.0));
  const Record* strans = Find(records, kGdsStrans);
  EXPECT_EQ(strans->data_type, kGdsTypeBitArray);
}

TEST_F(GdsFormatTest, MirroredReferencesTurnOrReflect) {
  struct Case {
    bool mirror_x, mirror_y;
    int strans;
    bool angle;
  };
  const Case cases[] = {{false, false, 0, false},
                        {true, false, 0x8000, false},
                        {false, true, 0x8000, true},
                        {true, true, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.mirror_x << c.mirror_y);
    Open();
    ASSERT_EQ(GdsOutSrefMirroredD("M", 0.5, 0.5, 1.0, 3.0, 0.0, c.mirror_x, c.mirror_y, 0, 0),
              kGdsOutOk);
    const std::vector<Record> records = Close();
    EXPECT_EQ(Int16(Find(records, kGdsStrans)->data.data(), false) & 0xFFFF, c.strans);
    EXPECT_EQ(Find(records, kGdsMag)->data, RealBytes(3.0));
    const Record* angle = Find(records, kGdsAngle);
    EXPECT_EQ(angle != nullptr, c.angle);
    if (angle != nullptr) {
      EXPECT_EQ(angle->data, RealBytes(180.0));
    }
    EXPECT_EQ(Points(*Find(records, kGdsXy)), (std::vector<GdsIntPoint>{{500, 500}}));
  }
}

TEST_F(GdsFormatTest, OwnKindsAndSettingsHaveTheirRecordSequences) {
  Open();
  ASSERT_EQ(GdsOutNamedProperty("N1", kGdsSettingInt16, int32_t{12}), kGdsOutOk);
  ASSERT_EQ(GdsOutNamedProperty("REAL", kGdsSettingReal, 1e-30), kGdsOutOk);
  ASSERT_EQ(GdsOutNamedProperty("I", kGdsSettingInt32, int32_t{-5}), kGdsOutOk);
  EXPECT_EQ(GdsOutNamedProperty("T", kGdsSettingText, 1.0), kGdsOutLimited);
  ASSERT_EQ(GdsOutKind134Begin(9), kGdsOutOk);
  ASSERT_EQ(GdsOutKind134End(-90.0, 4, {1, 2}), kGdsOutOk);
  ASSERT_EQ(GdsOutKind142(std::vector<int32_t>{1, 2, 3}), kGdsOutOk);
  ASSERT_EQ(GdsOutKind143(), kGdsOutOk);
  ASSERT_EQ(GdsOutArc({0, 0}, {{{5, 0}, {0, 5}}}, -5.0, {-90.0, 360.0, 720.0}, 1, 0, 2), kGdsOutOk);
  ASSERT_EQ(GdsOutCircleD({1.0, 2.0}, 3.0, 0, 1, 0, 0.0105), kGdsOutOk);
  const std::vector<Record> records = Close();
  std::vector<int> types = Types(records);
  types.erase(types.begin(), std::find(types.begin(), types.end(), kGdsExtNamedSetting));
  types.erase(std::find(types.begin(), types.end(), kGdsEndStr), types.end());
  const std::vector<int> expected = {
      132,       kGdsPropAttr, kGdsString,   kGdsUinteger, 132,  // kind 1
      132,       kGdsPropAttr, kGdsString,   kGdsMag,      132,  // kind 2
      132,       kGdsPropAttr, kGdsString,   135,          132,  // kind 3
      134,       kGdsUinteger, kGdsAngle,    kGdsWidth,    kGdsXy,       kGdsEndEl, 142,
      135,       143,          129,          kGdsLayer,    kGdsPathType, kGdsWidth, kGdsAngle,
      kGdsAngle, kGdsAngle,    kGdsMag,      kGdsXy,       kGdsXy,       kGdsEndEl, 128,
      kGdsLayer, kGdsDataType, kGdsPathType, kGdsWidth,    kGdsMag,      kGdsXy,    kGdsEndEl};
  EXPECT_EQ(types, expected);
  std::vector<std::vector<uint8_t>> reals;
  for (const Record& r : records) {
    if (r.type == kGdsAngle || r.type == kGdsMag) reals.push_back(r.data);
  }
  const std::vector<std::vector<uint8_t>> expected_reals = {
      RealBytes(0),   RealBytes(270), RealBytes(270), RealBytes(360),
      RealBytes(720), RealBytes(5),   RealBytes(3)};
  EXPECT_EQ(reals, expected_reals);
  std::vector<int32_t> settings;
  for (const Record& r : records) {
    if (r.type == 135) {
      for (size_t i = 0; i < r.data.size(); i += 4) settings.push_back(Int32(&r.data[i], false));
    }
  }
  EXPECT_EQ(settings, (std::vector<int32_t>{-5, 1, 2, 3}));
}

TEST_F(GdsFormatTest, NativeOrderAffectsPlainIntegersOnly) {
  Open(true);
  ASSERT_EQ(GdsOutBoundary(Square(1, 2, 3), 1, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutBoundary(Square(-70000, 2, 70000), 1, 0, 0, 0), kGdsOutOk);
  EXPECT_EQ(GdsOutEndStructure(), kGdsOutOk);
  EXPECT_EQ(GdsOutClose(), kGdsOutOk);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 6),
            (std::vector<uint8_t>{0x02, 0x00, 0x06, 0x00, 0x03, 0x00}));
  const std::vector<Element> elements = Elements(Records(bytes, true), true);
  ASSERT_EQ(elements.size(), 2u);
  EXPECT_EQ(elements[0].point_type, kGdsOutCompressedBytes);
  EXPECT_EQ(elements[0].points, Square(1, 2, 3));
  EXPECT_EQ(elements[1].point_type, kGdsXy);
  EXPECT_EQ(elements[1].points, Square(-70000, 2, 70000));
}

TEST_F(GdsFormatTest, NestedStructuresFollowEachOtherWhole) {
  ASSERT_EQ(GdsOutOpen(path, 1e-6, 0.001, "FONT", false), kGdsOutOk);
  ASSERT_EQ(GdsOutBeginStructure("OUTER"), kGdsOutOk);
  ASSERT_EQ(GdsOutBoundary(Square(0, 0, 1), 1, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutBeginStructure("INNER"), kGdsOutOk);
  ASSERT_EQ(GdsOutBoundary(Square(0, 0, 2), 2, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutEndStructure(), kGdsOutOk);
  ASSERT_EQ(GdsOutPath(Square(0, 0, 3), 3, 0, 1, 0, 0, 0), kGdsOutOk);
  ASSERT_EQ(GdsOutEndStructure(), kGdsOutOk);
  ASSERT_EQ(GdsOutClose(), kGdsOutOk);
  const std::vector<Record> records = Records(ReadBytes(path));
  std::vector<std::string> names;
  std::vector<int> layers;
  int depth = 0;
  for (const Record& r : records) {
    if (r.type == kGdsBgnStr) {
      EXPECT_EQ(++depth, 1);
    }
    if (r.type == kGdsEndStr) --depth;
    if (r.type == kGdsStrName)
      names.emplace_back(r.data.begin(), std::find(r.data.begin(), r.data.end(), 0));
    if (r.type == kGdsLayer) layers.push_back(Int16(r.data.data(), false));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"INNER", "OUTER"}));
  EXPECT_EQ(layers, (std::vector<int>{2, 1, 3}));
  const Record* libname = Find(records, kGdsLibName);
  EXPECT_EQ(std::string(libname->data.begin(), libname->data.end()), std::string("OUT.GDS\0", 8));
  const Record* fonts = Find(records, kGdsFonts);
  ASSERT_NE(fonts, nullptr);
  EXPECT_EQ(fonts->data.size(), 176u);
  EXPECT_EQ(std::string(fonts->data.begin(), fonts->data.begin() + 5), std::string("FONT\0", 5));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.gds"});
}

TEST_F(GdsFormatTest, SixteenLevelsAtMost) {
  ASSERT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", false), kGdsOutOk);
  for (int level = 1; level < kGdsOutLevels; ++level) {
    ASSERT_EQ(GdsOutBeginStructure("S" + std::to_string(level)), kGdsOutOk);
  }
  EXPECT_EQ(GdsOutBeginStructure("ONE_TOO_MANY"), kGdsOutFailed);
  for (int level = 1; level < kGdsOutLevels; ++level) ASSERT_EQ(GdsOutEndStructure(), kGdsOutOk);
  ASSERT_EQ(GdsOutClose(), kGdsOutOk);
  const std::vector<Record> records = Records(ReadBytes(path));
  EXPECT_EQ(std::count_if(records.begin(), records.end(),
                          [](const Record& r) { return r.type == kGdsBgnStr; }),
            kGdsOutLevels - 1);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.gds"});
}

TEST_F(GdsFormatTest, UnitNamesNumbersAndTheDefault) {
  struct Case {
    const char* unit;
    double metres;
  };
  const Case cases[] = {{"UM", 1e-6},    {"MIL", 2.54e-5},  {"YARD", 0.9144}, {"0.5", 0.5},
                        {"um", 2.54e-5}, {"USER", 2.54e-5}, {"0", 2.54e-5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unit);
    ASSERT_EQ(GdsOutBegin(path, c.unit, 0.01, "", false), kGdsOutOk);
    ASSERT_EQ(GdsOutClose(), kGdsOutOk);
    const std::vector<Record> records = Records(ReadBytes(path));
    const Record* units = Find(records, kGdsUnits);
    ASSERT_NE(units, nullptr);
    std::vector<uint8_t> expected = RealBytes(0.01);
    const std::vector<uint8_t> second = RealBytes(0.01 * c.metres);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(units->data, expected);
  }
  EXPECT_EQ(GdsOutOpen(path, 0, 0.01, "", false), kGdsOutFailed);
  EXPECT_EQ(GdsOutClose(), kGdsOutOk);
}

TEST_F(GdsFormatTest, SizeAndSeekFollowLevelZero) {
  ASSERT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", false), kGdsOutOk);
  const int64_t start = GetGdsOutSize();
  ASSERT_EQ(GdsOutBoundary(Square(0, 0, 5), 1, 0, 0, 0), kGdsOutOk);
  // BOUNDARY 4, LAYER 6, DATATYPE 6, record 140 of 5 points 20, ENDEL 4.
  EXPECT_EQ(GetGdsOutSize() - start, 40);
  EXPECT_EQ(GdsOutSeek(start, 0), start);
  EXPECT_EQ(GetGdsOutSize(), start);
  ASSERT_EQ(GdsOutBoundary(Square(0, 0, 500), 1, 0, 0, 0), kGdsOutOk);
  EXPECT_EQ(GdsOutSeek(0, 2), start + 48);
  ASSERT_EQ(GdsOutClose(), kGdsOutOk);
  const std::vector<Element> elements = Elements(Records(ReadBytes(path)));
  ASSERT_EQ(elements.size(), 1u);
  EXPECT_EQ(elements[0].points, Square(0, 0, 500));
}

TEST_F(GdsFormatTest, WritersRefuseWhileClosed) {
  EXPECT_EQ(GdsOutBoundary(Square(0, 0, 5), 1, 0, 0, 0), kGdsOutFailed);
  EXPECT_EQ(GdsOutPathD({}, 1, 0, 1.0, 0, 0, 0), kGdsOutFailed);
  EXPECT_EQ(GdsOutSref("A", 0, 0, 1, 0, false, 0, 0), kGdsOutFailed);
  EXPECT_EQ(GdsOutBeginStructure("A"), kGdsOutFailed);
  EXPECT_EQ(GdsOutClose(), kGdsOutFailed);
  EXPECT_EQ(GetGdsOutSize(), -1);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(GdsFormatTest, AFailedWriteLeavesTheOldFileWhole) {
  std::vector<uint8_t> old(30000, 'x');
  WriteBytes(path, old);
  Open();
  {
    testing::FileSizeLimit limit(10000);
    for (int i = 0; i < 2000; ++i) GdsOutBoundary(Square(i, 0, 1000), 1, 0, 0, 0);
    EXPECT_EQ(GdsOutEndStructure(), kGdsOutOk);
    EXPECT_EQ(GdsOutClose(), kGdsOutFailed);
  }
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.gds"});
  // A good write then replaces the longer old file exactly.
  Open();
  ASSERT_EQ(GdsOutBoundary(Square(0, 0, 1), 1, 0, 0, 0), kGdsOutOk);
  Close();
  EXPECT_EQ(ReadBytes(path).size(), 2048u);
}

// Seeded random boundaries and paths: what the decoder reads back is what was written.
TEST_F(GdsFormatTest, RandomElementsDecodeToWhatWasWritten) {
  std::mt19937 random(7);
  Open();
  std::vector<Element> written;
  for (int e = 0; e < 300; ++e) {
    const int scale_choice = e % 3;
    const int32_t scale = scale_choice == 0 ? 100 : scale_choice == 1 ? 30000 : 3000000;
    std::uniform_int_distribution<int32_t> step(-scale, scale);
    std::uniform_int_distribution<int> length(4, 40);
    std::vector<GdsIntPoint> points(length(random));
    GdsIntPoint p{step(random) * 100, step(random)};
    for (GdsIntPoint& q : points) {
      q = p;
      p = {p.x + step(random), p.y + step(random)};
    }
    const bool boundary = e % 2 == 0;
    if (boundary) {
      ASSERT_EQ(GdsOutBoundary(points, e % 64, 0, 0, 0), kGdsOutOk);
      points.back() = points.front();
    } else {
      ASSERT_EQ(GdsOutPath(points, e % 64, 0, 10, 0, 0, 0), kGdsOutOk);
    }
    written.push_back({boundary ? kGdsBoundary : kGdsPath, e % 64, 0, points});
  }
  const std::vector<Element> read = Elements(Close());
  ASSERT_EQ(read.size(), written.size());
  std::set<int> forms;
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].kind, written[i].kind) << i;
    EXPECT_EQ(read[i].layer, written[i].layer) << i;
    EXPECT_EQ(read[i].points, written[i].points) << i;
    forms.insert(read[i].point_type);
  }
  EXPECT_EQ(forms, (std::set<int>{kGdsXy, kGdsOutCompressedBytes, kGdsOutCompressedWords}));
}

TEST_F(GdsFormatTest, BufferThatCannotBeHadIsTheOutOfMemoryWarning) {
  ScriptedNotifier notifier;
  ScopedNotifier scope(&notifier);
  GdsOutFailBufferAllocationsForTesting(1);
  EXPECT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", false), kGdsOutFailed);
  EXPECT_TRUE(dir.Entries().empty()) << "no file is left behind";
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text.rfind("System is low in memory.\nGDSOUT: out of memory\n", 0),
            0u)
      << notifier.shown[0].text;
  EXPECT_EQ(notifier.shown[0].caption, "WARNING");
  EXPECT_EQ(notifier.shown[0].icon, MessageIcon::kStop);

  // A structure level that cannot be had: the library goes on without it.
  ASSERT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", false), kGdsOutOk);
  GdsOutFailBufferAllocationsForTesting(1);
  EXPECT_EQ(GdsOutBeginStructure("LOST"), kGdsOutFailed);
  EXPECT_EQ(notifier.shown.size(), 2u);
  ASSERT_EQ(GdsOutBeginStructure("TOP"), kGdsOutOk);
  ASSERT_EQ(GdsOutEndStructure(), kGdsOutOk);
  ASSERT_EQ(GdsOutClose(), kGdsOutOk);
  const std::vector<Record> records = Records(ReadBytes(path));
  EXPECT_EQ(std::count_if(records.begin(), records.end(),
                          [](const Record& r) { return r.type == kGdsBgnStr; }),
            1);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.gds"});
}

}  // namespace
}  // namespace kavrinth
