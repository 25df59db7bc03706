// The binary record readers: Draftek records between the header's record numbers, and
// Intermediate records grouped by kind (quadrilaterals, sectors, skipped kinds).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "pg2gds/tests/pg_test_files.h"

namespace kavrinth {
namespace {

// A Draftek file: header with the record numbers, data records from (first - 1) * 20.
std::string Draftek(int32_t first, int32_t last, const std::vector<std::vector<int32_t>>& records) {
  std::string bytes(80, '\0');
  PutInt32(&bytes, first);
  PutInt32(&bytes, last);
  size_t data = static_cast<size_t>(first - 1) * 20;
  if (bytes.size() < data) bytes.resize(data, '\0');
  for (const auto& record : records) {
    for (int32_t value : record) PutInt32(&bytes, value);
  }
  return bytes;
}

class DraftekTest : public PgFileTest {
 protected:
  int Open(const std::string& bytes) {
    int32_t unit = 0;
    return DetectPgFormat(&reader_, PgFileTest::Open(bytes), kPgFormatDraftek, &unit);
  }
};

TEST_F(DraftekTest, ReadsRecordsScaledAndCompleted) {
  ASSERT_EQ(Open(Draftek(6, 7, {{10000, 20000, 3000, 1000, 0}, {0, 0, 1000, 3000, 90000}})),
            kPgReaderDraftek);
  ASSERT_EQ(ReadDraftekRecord(&reader_), kPgReadFlash);
  const FlashRecord& f = reader_.flash();
  EXPECT_EQ(f.x, 100);
  EXPECT_EQ(f.y, 200);
  EXPECT_EQ(f.w, 30);
  EXPECT_EQ(f.h, 10);
  EXPECT_EQ(f.width, 10);
  EXPECT_EQ(f.x1, 85);
  EXPECT_EQ(f.x2, 115);
  EXPECT_TRUE(f.corners_are_offsets);
  EXPECT_EQ(f.corners[0], 15);
  EXPECT_EQ(f.corners[1], 5);

  // 90 degrees with W < H: the long side H lies at 0 degrees.
  ASSERT_EQ(ReadDraftekRecord(&reader_), kPgReadFlash);
  EXPECT_EQ(f.angle, 900);
  EXPECT_EQ(f.width, 10);
  EXPECT_EQ(f.x1, -15);
  EXPECT_EQ(f.y1, 0);
  EXPECT_EQ(f.x2, 15);
  EXPECT_EQ(f.y2, 0);

  EXPECT_EQ(ReadDraftekRecord(&reader_), kPgReadEndOfData);
  EXPECT_EQ(ReadDraftekRecord(&reader_), kPgReadEndOfData);
  EXPECT_EQ(reader_.stats().flags, kPgStatFlashSeen);
}

TEST_F(DraftekTest, RoundsHalfAwayFromZero) {
  struct Case {
    int32_t raw, value;
  };
  const Case cases[] = {{250, 3},
                        {-250, -3},
                        {249, 2},
                        {-249, -2},
                        {150, 2},
                        {-50, -1},
                        {INT32_MAX, 21474836},
                        {INT32_MIN, -21474836}};
  for (const Case& c : cases) {
    ASSERT_EQ(Open(Draftek(6, 6, {{c.raw, 0, 0, 0, 0}})), kPgReaderDraftek);
    ASSERT_EQ(ReadDraftekRecord(&reader_), kPgReadFlash) << c.raw;
    EXPECT_EQ(reader_.flash().x, c.value) << c.raw;
  }
}

TEST_F(DraftekTest, ResultsAtTheEnds) {
  // First 5 and last 4: nothing to read.
  ASSERT_EQ(Open(Draftek(5, 4, {{1, 2, 3, 4, 5}})), kPgReaderDraftek);
  EXPECT_EQ(ReadDraftekRecord(&reader_), kPgReadEndOfData);
  // The header promises three records, the file holds one and a half.
  std::string short_file = Draftek(6, 8, {{100, 100, 100, 100, 0}, {1, 2, 3, 4, 5}});
  ASSERT_EQ(Open(short_file.substr(0, short_file.size() - 10)), kPgReaderDraftek);
  EXPECT_EQ(ReadDraftekRecord(&reader_), kPgReadFlash);
  EXPECT_EQ(ReadDraftekRecord(&reader_), kPgReadTruncated);
  // The first record lies beyond the end of the file.
  ASSERT_EQ(Open(Draftek(6, 9, {})), kPgReaderDraftek);
  EXPECT_EQ(ReadDraftekRecord(&reader_), kPgReadTruncated);
}

// Intermediate files, built as the PG output writer lays them out.
class IntermediateFile {
 public:
  IntermediateFile& Counts(std::vector<uint32_t> counts) {
    counts_ = std::move(counts);
    return *this;
  }
  // A record: lead byte (its low two bits: bytes skipped), the floats, the trailing bytes.
  IntermediateFile& Record(int skipped, const std::vector<float>& floats) {
    records_ += static_cast<char>(0x90 | skipped);
    records_ += std::string(skipped, '\x11');
    for (float f : floats) PutFloat(&records_, f);
    size_t trailing = ((4 * floats.size() + skipped + 1) * 4 + 255) / 256;
    records_ += std::string(trailing, '\x9C');
    return *this;
  }
  IntermediateFile& Quadrilateral(float count, std::vector<float> corners) {
    corners.insert(corners.begin(), count);
    return Record(2, corners);
  }
  IntermediateFile& Sector(float inner, float sweep, float cx, float cy, float px, float py) {
    std::vector<float> floats(16, 0.0f);
    floats[4] = inner;
    floats[5] = sweep;
    floats[6] = cx;
    floats[7] = cy;
    floats[8] = px;
    floats[9] = py;
    return Record(2, floats);
  }
  std::string Bytes() const {
    std::string bytes = "\xFDP";
    for (uint32_t count : counts_) PutInt32(&bytes, count);
    return bytes + "T" + records_;
  }

 private:
  std::vector<uint32_t> counts_ = {0, 0, 0, 0, 0};
  std::string records_;
};

class IntermediateTest : public PgFileTest {
 protected:
  void Open(const IntermediateFile& file) {
    int32_t unit = 0;
    ASSERT_EQ(
        DetectPgFormat(&reader_, PgFileTest::Open(file.Bytes()), kPgFormatIntermediate, &unit),
        kPgReaderIntermediate);
  }
  std::vector<int> Results(int calls) {
    std::vector<int> results;
    for (int i = 0; i < calls; ++i) results.push_back(ReadIntermediateRecord(&reader_));
    return results;
  }
};

TEST_F(IntermediateTest, WalksTheKindsInOrder) {
  IntermediateFile file;
  file.Counts({1, 1, 2, 1, 2})
      .Record(0, std::vector<float>(16, 9.0f))
      .Record(1, std::vector<float>(5, 9.0f))
      .Quadrilateral(4, {0, 0, 0.03f, 0, 0.03f, 0.01f, 0, 0.01f})
      .Quadrilateral(4, {1, 1, 1.02f, 1, 1.02f, 1.01f, 1, 1.01f})
      .Record(3, std::vector<float>(16, 9.0f))
      .Sector(0, 90, 0.1f, 0.2f, 0.11f, 0.2f)
      .Sector(0, 90, 0.1f, 0.2f, 0.13f, 0.2f);
  Open(file);
  const std::vector<int> expected = {
      kPgReadNothing, kPgReadNothing,   kPgReadNothing,                  // kind 1, to 2, kind 2
      kPgReadNothing, kPgReadFlash,     kPgReadFlash,                    // to 3, two flashes
      kPgReadNothing, kPgReadNothing,   kPgReadNothing,  kPgReadSector,  // to 4, kind 4, to 5
      kPgReadSector,  kPgReadEndOfData, kPgReadEndOfData};
  EXPECT_EQ(Results(static_cast<int>(expected.size())), expected);
  ResetReaderState(&reader_);
  const PgReaderStats& s = reader_.stats();
  EXPECT_EQ(s.flags, kPgStatFlashSeen | kPgStatSectorSeen);
  EXPECT_EQ(s.min_area, 200);
  EXPECT_EQ(s.max_area, 300);
  EXPECT_EQ(s.min_area_w, 20);
  EXPECT_EQ(s.max_area_w, 30);
  EXPECT_DOUBLE_EQ(s.min_outer_radius, 10);
  EXPECT_DOUBLE_EQ(s.max_outer_radius, 30);
}

TEST_F(IntermediateTest, QuadrilateralCornersAreAbsolute) {
  IntermediateFile file;
  file.Counts({0, 0, 5, 0, 0})
      .Quadrilateral(4, {0, 0, 0.03f, 0, 0.03f, 0.01f, 0, 0.01f})
      .Quadrilateral(4, {0, 0, 0, 0.02f, -0.01f, 0.02f, -0.01f, 0})
      .Quadrilateral(3, {1, 2, 1.004f, 2, 1.004f, 2.003f, 7, 7})
      .Quadrilateral(4, {-0.003f, -0.001f, 0.002f, -0.001f, 0.002f, 0.002f, -0.003f, 0.002f})
      .Quadrilateral(4, {-0.007f, -0.005f, -0.002f, -0.005f, -0.002f, -0.002f, -0.007f, -0.002f});
  Open(file);
  // Kinds 1 and 2 are empty: one call passes each.
  ASSERT_EQ(Results(3), (std::vector<int>{kPgReadNothing, kPgReadNothing, kPgReadFlash}));
  const FlashRecord& f = reader_.flash();
  EXPECT_FALSE(f.corners_are_offsets);
  EXPECT_EQ(f.corners, (std::array<int32_t, 10>{0, 0, 30, 0, 30, 10, 0, 10, 15, 5}));
  EXPECT_EQ(f.w, 30);
  EXPECT_EQ(f.h, 10);
  EXPECT_EQ(f.angle, 0);
  EXPECT_EQ(f.width, 10);
  EXPECT_EQ(f.x, 15);
  EXPECT_EQ(f.y, 5);
  EXPECT_EQ((std::array<int32_t, 4>{f.x1, f.y1, f.x2, f.y2}),
            (std::array<int32_t, 4>{0, 5, 30, 5}));

  ASSERT_EQ(ReadIntermediateRecord(&reader_), kPgReadFlash);
  EXPECT_EQ(f.w, 20);
  EXPECT_EQ(f.h, 10);
  EXPECT_EQ(f.angle, 900);
  EXPECT_EQ(f.corners[kPgCentreX], -5);
  EXPECT_EQ(f.corners[kPgCentreY], 10);

  // Three corners: the fourth repeats the third, no sides and no angle.
  ASSERT_EQ(ReadIntermediateRecord(&reader_), kPgReadFlash);
  EXPECT_EQ(f.corners,
            (std::array<int32_t, 10>{1000, 2000, 1004, 2000, 1004, 2003, 1004, 2003, 1002, 2002}));
  EXPECT_EQ(f.w, 0);
  EXPECT_EQ(f.h, 0);
  EXPECT_EQ(f.angle, 0);

  // Centres and centre-line ends halfway between whole units go away from zero.
  ASSERT_EQ(ReadIntermediateRecord(&reader_), kPgReadFlash);
  EXPECT_EQ((std::array<int32_t, 4>{f.x, f.y, f.w, f.h}), (std::array<int32_t, 4>{-1, 1, 5, 3}));
  EXPECT_EQ((std::array<int32_t, 4>{f.x1, f.y1, f.x2, f.y2}),
            (std::array<int32_t, 4>{-3, 1, 2, 1}));
  ASSERT_EQ(ReadIntermediateRecord(&reader_), kPgReadFlash);
  EXPECT_EQ((std::array<int32_t, 2>{f.x, f.y}), (std::array<int32_t, 2>{-5, -4}));
  EXPECT_EQ((std::array<int32_t, 4>{f.x1, f.y1, f.x2, f.y2}),
            (std::array<int32_t, 4>{-7, -4, -2, -4}));
}

TEST_F(IntermediateTest, SectorPoints) {
  IntermediateFile file;
  file.Counts({0, 0, 0, 0, 3})
      .Sector(0.005f, 90, 0.1f, 0.2f, 0.11f, 0.2f)
      .Sector(0, -90, 0.1f, 0.2f, 0.11f, 0.2f)
      .Sector(0, 360, 0.1f, 0.2f, 0.11f, 0.2f);
  Open(file);
  ASSERT_EQ(Results(5), (std::vector<int>{kPgReadNothing, kPgReadNothing, kPgReadNothing,
                                          kPgReadNothing, kPgReadSector}));
  const FlashRecord& f = reader_.flash();
  EXPECT_FALSE(f.corners_are_offsets);
  EXPECT_EQ(f.corners, (std::array<int32_t, 10>{110, 200, 100, 210, 105, 200, 100, 205, 100, 200}));
  EXPECT_EQ(f.w, 10);
  EXPECT_EQ(f.h, 5);
  EXPECT_EQ(f.angle, 900);
  EXPECT_EQ(f.x1, 110);
  EXPECT_EQ(f.y1, 200);

  // A negative sweep runs the other way: start and end exchange, the sweep turns positive.
  ASSERT_EQ(ReadIntermediateRecord(&reader_), kPgReadSector);
  EXPECT_EQ(f.corners, (std::array<int32_t, 10>{100, 190, 110, 200, 100, 200, 100, 200, 100, 200}));
  EXPECT_EQ(f.angle, 900);

  // A full circle ends where it starts.
  ASSERT_EQ(ReadIntermediateRecord(&reader_), kPgReadSector);
  EXPECT_EQ(f.corners[0], f.corners[2]);
  EXPECT_EQ(f.corners[1], f.corners[3]);
  EXPECT_EQ(f.angle, 3600);
  EXPECT_EQ(ReadIntermediateRecord(&reader_), kPgReadEndOfData);
  ResetReaderState(&reader_);
  EXPECT_EQ(reader_.stats().flags, kPgStatSectorSeen);
  EXPECT_EQ(reader_.stats().min_area, 0);  // no flash in the file
  EXPECT_EQ(reader_.stats().max_area, 0);
}

TEST_F(IntermediateTest, UnusableFloatsAreBadData) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<IntermediateFile> files = {
      IntermediateFile().Counts({0, 0, 1, 0, 0}).Quadrilateral(4, {nan, 0, 1, 0, 1, 1, 0, 1}),
      IntermediateFile().Counts({0, 0, 1, 0, 0}).Quadrilateral(4, {0, 0, 1e30f, 0, 1, 1, 0, 1}),
      IntermediateFile().Counts({0, 0, 1, 0, 0}).Quadrilateral(inf, {0, 0, 1, 0, 1, 1, 0, 1}),
      // Each corner fits, but the side between them does not.
      IntermediateFile()
          .Counts({0, 0, 1, 0, 0})
          .Quadrilateral(4, {-2e6f, -2e6f, 2e6f, 2e6f, 2e6f, 2e6f, 0, 0}),
      IntermediateFile().Counts({0, 0, 0, 0, 1}).Sector(0, nan, 0, 0, 1, 0),
      IntermediateFile().Counts({0, 0, 0, 0, 1}).Sector(0, 90, inf, 0, 1, 0),
      IntermediateFile().Counts({0, 0, 0, 0, 1}).Sector(1e20f, 90, 0, 0, 1, 0),
  };
  for (size_t i = 0; i < files.size(); ++i) {
    Open(files[i]);
    std::vector<FlashRecord> flashes;
    EXPECT_EQ(ReadAll(ReadIntermediateRecord, &flashes), kPgReadBadData) << "file " << i;
    EXPECT_TRUE(flashes.empty()) << "file " << i;
  }
}

TEST_F(IntermediateTest, TruncatedRecords) {
  IntermediateFile file;
  file.Counts({0, 0, 2, 0, 1}).Quadrilateral(4, {0, 0, 0.03f, 0, 0.03f, 0.01f, 0, 0.01f});
  const std::string whole = file.Bytes();
  // Cut: before the second record, inside the floats, and without the trailing byte.
  for (size_t cut : {size_t{0}, size_t{20}, size_t{1}}) {
    int32_t unit = 0;
    ASSERT_EQ(DetectPgFormat(&reader_, PgFileTest::Open(whole.substr(0, whole.size() - cut)),
                             kPgFormatIntermediate, &unit),
              kPgReaderIntermediate);
    std::vector<FlashRecord> flashes;
    EXPECT_EQ(ReadAll(ReadIntermediateRecord, &flashes), kPgReadTruncated) << "cut " << cut;
    EXPECT_EQ(flashes.size(), cut == 0 ? 1u : 0u) << "cut " << cut;
  }
}

// Huge record counts cost nothing up front: the reader stops where the data stops.
TEST_F(IntermediateTest, HugeCountsStopAtTheData) {
  IntermediateFile file;
  file.Counts({0xFFFFFFFF, 0, 0, 0, 0}).Record(0, std::vector<float>(16, 1.0f));
  Open(file);
  EXPECT_EQ(Results(3), (std::vector<int>{kPgReadNothing, kPgReadTruncated, kPgReadTruncated}));
}

}  // namespace
}  // namespace kavrinth
