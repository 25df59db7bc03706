// Tests of the WF2 writer's clipping path: the header, the word sequence of frames and
// strips, the conversion of pattern points into frame coordinates, refusals, and the
// commit that never replaces the target with a failed file.
#include "viewer/model/wf2_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wf2_test_support.h"

namespace kavrinth {
namespace {

using testing::BuildWf2;
using testing::ParseWf2;
using testing::PushWord;
using testing::ReadBytes;
using testing::SmallHeader;
using testing::Wf2Frame;

class Wf2WriterTest : public ::testing::Test {
 protected:
  int Open(const Wf2Header& header, double x0 = 0, double y0 = 0) {
    const int result = writer.OpenWf2Output(path, header, x0, y0);
    writer.SetDateForTesting(header.year, header.day);
    return result;
  }
  // A polygon given in micrometres goes into the point buffer in thousandths.
  int Polygon(int64_t frame, const std::vector<std::array<double, 2>>& points) {
    writer.points().clear();
    for (const auto& p : points) {
      writer.points().push_back(static_cast<int32_t>(p[0] * 1000));
      writer.points().push_back(static_cast<int32_t>(p[1] * 1000));
    }
    return writer.WriteWf2Polygon(frame, static_cast<int32_t>(writer.points().size()));
  }
  std::vector<uint8_t> Stream() const {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin() + kWf2HeaderSize, bytes.end()};
  }

  testing::ScratchDir dir;
  std::string path = dir.File("out.wf2");
  Wf2Writer writer;
};

std::vector<uint8_t> Words(std::initializer_list<std::array<int, 3>> words) {
  std::vector<uint8_t> bytes;
  for (const auto& w : words) {
    PushWord(&bytes, static_cast<uint8_t>(w[0]), static_cast<uint8_t>(w[1]),
             static_cast<uint16_t>(w[2]));
  }
  return bytes;
}

TEST_F(Wf2WriterTest, HeaderCarriesTheGeometryAndDerivedWords) {
  Wf2Header header = SmallHeader(3, 4, true);
  header.frame_width = 512;
  header.grid = 0.25f;
  header.glass_width = 127;
  ASSERT_EQ(Open(header), kWf2Ok);
  ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_GT(bytes.size(), static_cast<size_t>(kWf2HeaderSize));
  const auto at = [&bytes](int offset) {
    return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + 4);
  };
  EXPECT_EQ(at(kWf2Year), (std::vector<uint8_t>{0x00, 0x00, 0x07, 0xCF}));
  EXPECT_EQ(at(kWf2Day), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x6D}));
  EXPECT_EQ(at(kWf2Grid), (std::vector<uint8_t>{0x3E, 0x80, 0x00, 0x00}));
  EXPECT_EQ(at(kWf2FrameWidth), (std::vector<uint8_t>{0, 0, 0x02, 0x00}));
  EXPECT_EQ(at(kWf2GlassWidth), (std::vector<uint8_t>{0, 0, 0, 127}));
  EXPECT_EQ(at(kWf2Motion), (std::vector<uint8_t>{0, 0, 0, 1}));
  EXPECT_EQ(at(kWf2Strips), (std::vector<uint8_t>{0, 0, 0, 3}));
  EXPECT_EQ(at(kWf2FramesPerStrip), (std::vector<uint8_t>{0, 0, 0, 4}));
  EXPECT_EQ(at(kWf2HalfWidth), (std::vector<uint8_t>{0, 0, 0x03, 0x00}));  // 512 * 3 / 2
  EXPECT_EQ(at(kWf2HalfHeight), (std::vector<uint8_t>{0, 0, 0, 100}));     // 50 * 4 / 2
  EXPECT_EQ(at(kWf2Word116), (std::vector<uint8_t>{0, 0, 0, 3}));
  EXPECT_EQ(at(kWf2Word120), (std::vector<uint8_t>{0, 0, 0, 2}));
  for (int i = kWf2Name; i < kWf2Name + 64; ++i) EXPECT_EQ(bytes[i], 0) << i;
  for (int i = 124; i < kWf2HeaderSize; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST_F(Wf2WriterTest, HalfSizesTruncateOddProducts) {
  Wf2Header header = SmallHeader(3, 3, false);
  header.frame_width = 511;
  header.frame_height = 7;
  Wf2HeaderBlock block{};
  EncodeWf2Header(header, &block);
  const Wf2Header decoded = DecodeWf2Header(block);
  EXPECT_EQ(decoded.half_width, 766);  // 1533 / 2
  EXPECT_EQ(decoded.half_height, 10);  // 21 / 2
}

TEST_F(Wf2WriterTest, PolygonInFrameZeroThenCloseWritesEveryFrameAndStrip) {
  ASSERT_EQ(Open(SmallHeader(2, 2, false)), kWf2Ok);
  ASSERT_EQ(Polygon(0, {{1, 99}, {2, 98}, {3, 97}}), kWf2Ok);
  ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
  // Strip 0 position 0 is the top row: y counts down from the frame's top at 100.
  const std::vector<uint8_t> expected = Words({{0x80, 0x00, 0},
                                               {0x80, 0x01, 0},
                                               {0x80, 0x02, 0},
                                               {0x80, 0x03, 3},
                                               {0x00, 0x01, 1},
                                               {0x00, 0x02, 2},
                                               {0x00, 0x03, 3},
                                               {0x80, 0x07, 0},
                                               {0x80, 0x06, 0},
                                               {0x80, 0x02, 1},
                                               {0x80, 0x06, 0},
                                               {0x80, 0x05, 0},
                                               {0x80, 0x01, 1},
                                               {0x80, 0x02, 0},
                                               {0x80, 0x06, 0},
                                               {0x80, 0x02, 1},
                                               {0x80, 0x06, 0},
                                               {0x80, 0x05, 0},
                                               {0x80, 0x04, 0}});
  EXPECT_EQ(Stream(), expected);
}

TEST_F(Wf2WriterTest, FirstFrameOfTheNextStripEndsFrameAndStripFirst) {
  ASSERT_EQ(Open(SmallHeader(2, 1, false)), kWf2Ok);
  ASSERT_EQ(Polygon(0, {{1, 49}, {2, 49}, {2, 48}}), kWf2Ok);
  ASSERT_EQ(Polygon(1, {{101, 49}, {102, 49}, {102, 48}}), kWf2Ok);
  const std::vector<uint8_t> stream = [&] {
    writer.CloseWf2File();
    return Stream();
  }();
  const std::vector<uint8_t> turn = Words({{0x80, 0x07, 0},
                                           {0x80, 0x06, 0},
                                           {0x80, 0x05, 0},
                                           {0x80, 0x01, 1},
                                           {0x80, 0x02, 0},
                                           {0x80, 0x03, 3}});
  EXPECT_NE(std::search(stream.begin(), stream.end(), turn.begin(), turn.end()), stream.end());
}

TEST_F(Wf2WriterTest, FramesSkippedOnTheWayAreWrittenEmpty) {
  ASSERT_EQ(Open(SmallHeader(1, 10, false)), kWf2Ok);
  ASSERT_EQ(Polygon(0, {{1, 499}, {2, 499}, {2, 498}}), kWf2Ok);
  ASSERT_EQ(Polygon(5, {{1, 240}, {2, 240}, {2, 230}}), kWf2Ok);
  ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
  const std::vector<Wf2Frame> frames = ParseWf2(ReadBytes(path));
  ASSERT_EQ(frames.size(), 10u);
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(frames[k].size(), k == 0 || k == 5 ? 1u : 0u) << k;
  }
}

TEST_F(Wf2WriterTest, WriterWithoutPolygonsGivesTheCompleteEmptyPattern) {
  const Wf2Header header = SmallHeader(3, 2, true);
  ASSERT_EQ(Open(header), kWf2Ok);
  ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
  EXPECT_EQ(ReadBytes(path), BuildWf2(header, {}));
}

// Strip 1's frames run from the bottom in serpentine motion: position 0 of strip 1 is the
// bottom row there and the top row in unidirectional motion.
TEST_F(Wf2WriterTest, SerpentineOddStripsRunFromTheBottom) {
  struct Case {
    bool serpentine;
    int64_t frame;      // frame of strip 1 holding the pattern point (150, 10)
    uint16_t stored_y;  // of that point
  };
  const Case cases[] = {{true, 3, 40}, {false, 5, 40}, {false, 3, 49}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.serpentine << " " << c.frame);
    ASSERT_EQ(Open(SmallHeader(2, 3, c.serpentine)), kWf2Ok);
    ASSERT_EQ(Polygon(c.frame, {{150, 10}, {160, 10}, {160, 20}}), kWf2Ok);
    ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
    const std::vector<Wf2Frame> frames = ParseWf2(ReadBytes(path));
    ASSERT_EQ(frames.at(c.frame).size(), 1u);
    EXPECT_EQ(frames[c.frame][0][0], (testing::Wf2Point{50, c.stored_y}));
  }
}

TEST_F(Wf2WriterTest, PointsOutsideTheFrameAreClampedToIt) {
  ASSERT_EQ(Open(SmallHeader(1, 1, false)), kWf2Ok);
  // Right and bottom edges, then beyond the left and top edges.
  ASSERT_EQ(Polygon(0, {{100, 0}, {-3, 60}, {40, 25}}), kWf2Ok);
  ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
  const auto polygon = ParseWf2(ReadBytes(path)).at(0).at(0);
  EXPECT_EQ(polygon, (testing::Wf2Polygon{{99, 49}, {0, 0}, {40, 25}}));
}

TEST_F(Wf2WriterTest, PointsBecomeGridStepsOfTheHeadersGrid) {
  Wf2Header header = SmallHeader(2, 1, false);
  header.grid = 0.5f;
  header.frame_width = 200;  // 100 micrometres
  header.frame_height = 100;
  ASSERT_EQ(Open(header, 1000, 2000), kWf2Ok);
  ASSERT_EQ(Polygon(1, {{1130, 2049}, {1140, 2049}, {1140, 2040}}), kWf2Ok);
  ASSERT_EQ(writer.CloseWf2File(), kWf2Ok);
  const auto polygon = ParseWf2(ReadBytes(path)).at(1).at(0);
  EXPECT_EQ(polygon, (testing::Wf2Polygon{{60, 2}, {80, 2}, {80, 20}}));
}

TEST_F(Wf2WriterTest, RequestsThatWouldLoopOrCorruptAreRefused) {
  ASSERT_EQ(Open(SmallHeader(2, 2, false)), kWf2Ok);
  ASSERT_EQ(Polygon(2, {{101, 40}, {102, 40}, {102, 41}}), kWf2Ok);
  EXPECT_EQ(Polygon(1, {{1, 40}, {2, 40}, {2, 41}}), kWf2Limited);  // backwards
  EXPECT_EQ(Polygon(4, {{1, 40}, {2, 40}, {2, 41}}), kWf2Limited);  // beyond the pattern
  EXPECT_EQ(Polygon(-1, {{1, 40}, {2, 40}, {2, 41}}), kWf2Limited);
  writer.points().assign(2 * (kWf2MaxPolygonPoints + 1), 1000);
  EXPECT_EQ(writer.WriteWf2Polygon(3, 2 * (kWf2MaxPolygonPoints + 1)), kWf2Limited);
  EXPECT_EQ(writer.WriteWf2Polygon(3, 2 * kWf2MaxPolygonPoints), kWf2Ok);
  EXPECT_EQ(writer.WriteWf2Polygon(3, 1), kWf2Limited);  // no whole point
  EXPECT_EQ(writer.refused(), 5);
  EXPECT_EQ(writer.CloseWf2File(), kWf2Limited);
  const std::vector<Wf2Frame> frames = ParseWf2(ReadBytes(path));
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[2].size(), 1u);
  ASSERT_EQ(frames[3].size(), 1u);
  EXPECT_EQ(frames[3][0].size(), static_cast<size_t>(kWf2MaxPolygonPoints));
}

TEST_F(Wf2WriterTest, UnusableGeometryOpensNothing) {
  struct Case {
    int32_t strips, frames, width, height;
  };
  const Case cases[] = {{0, 2, 100, 50}, {2, 0, 100, 50},   {2, 2, 0, 50},
                        {2, 2, 100, -1}, {2, 2, 65537, 50}, {70000, 1, 100, 50}};
  for (const Case& c : cases) {
    Wf2Header header = SmallHeader(c.strips, c.frames, false);
    header.frame_width = c.width;
    header.frame_height = c.height;
    EXPECT_EQ(Open(header), kWf2Failed);
    EXPECT_EQ(writer.WriteWf2Polygon(0, 0), kWf2Limited);
    EXPECT_EQ(writer.CloseWf2File(), kWf2Failed);
  }
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(Wf2WriterTest, FailedWriteLeavesTheTargetAsItWas) {
  testing::WriteBytes(path, {'o', 'l', 'd'});
  ASSERT_EQ(Open(SmallHeader(1, 200, false)), kWf2Ok);
  {
    testing::FileSizeLimit limit(kWf2HeaderSize + 1000);
    for (int k = 0; k < 200; ++k) Polygon(k, {{1, 10}, {2, 10}, {2, 11}, {1, 11}});
    EXPECT_EQ(writer.CloseWf2File(), kWf2Failed);
  }
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.wf2"});
}

TEST_F(Wf2WriterTest, AbandonedOutputReplacesNothing) {
  testing::WriteBytes(path, {'o', 'l', 'd'});
  ASSERT_EQ(Open(SmallHeader(1, 2, false)), kWf2Ok);
  ASSERT_EQ(Polygon(0, {{1, 10}, {2, 10}, {2, 11}}), kWf2Ok);
  writer.Abandon();
  EXPECT_EQ(writer.CloseWf2File(), kWf2Failed);
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.wf2"});
}

}  // namespace
}  // namespace kavrinth
