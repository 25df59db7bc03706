// The Intermediate file writer: what the PG readers read back, the header counts, the
// order of kinds, and the temporary that only a commit turns into the file.
#include "companions/quenrix/intermediate_file.h"

#include <gtest/gtest.h>

#include "companions/quenrix/tests/quenrix_test_support.h"

namespace kavrinth {
namespace {

using testing::ReadBack;
using testing::ReadIntermediate;

uint32_t CountAt(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes[offset + i])) << (8 * i);
  return v;
}

class QuenrixFileTest : public testing::WorkingDirectoryTest {};

TEST_F(QuenrixFileTest, EmptyFileIsTheBareHeader) {
  IntermediateFile file("EMPTY01.int");
  ASSERT_TRUE(file.Create());
  ASSERT_TRUE(file.Finish());
  ASSERT_TRUE(file.Commit());
  const std::string bytes = ReadFile("EMPTY01.int");
  std::string expected(23, '\0');
  expected[0] = '\xFD';
  expected[1] = 'P';
  expected[22] = 'T';
  EXPECT_EQ(bytes, expected);
  ReadBack back = ReadIntermediate("EMPTY01.int");
  EXPECT_TRUE(back.valid);
  EXPECT_TRUE(back.quads.empty());
  EXPECT_TRUE(back.sectors.empty());
}

TEST_F(QuenrixFileTest, ShapesReadBackWithQuadrilateralsBeforeSectors) {
  IntermediateFile file("MIX01.int");
  ASSERT_TRUE(file.Create());
  // Sectors and quadrilaterals interleaved, more than one buffer of each.
  constexpr size_t kCount = 3000;
  for (int i = 0; i < int(kCount); ++i) {
    file.AddSector({i * 10, -i, i * 10 + 500, -i, 100, 90});
    std::array<int32_t, 8> quad = {i, 0, i + 7, 0, i + 7, 5, i, 5};
    file.AddQuadrilateral(quad, false);
  }
  std::array<int32_t, 8> triangle = {0, 0, 10, 0, 5, 8, 5, 8};
  file.AddQuadrilateral(triangle, true);
  ASSERT_TRUE(file.Finish());
  ASSERT_TRUE(file.Commit());

  const std::string bytes = ReadFile("MIX01.int");
  EXPECT_EQ(bytes.size(), kIntermediateHeaderSize + (kCount + 1) * kQuadrilateralRecordSize +
                              kCount * kSectorRecordSize);
  EXPECT_EQ(CountAt(bytes, 10), uint32_t(kCount + 1));
  EXPECT_EQ(CountAt(bytes, 18), uint32_t(kCount));
  EXPECT_EQ(CountAt(bytes, 2) | CountAt(bytes, 6) | CountAt(bytes, 14), 0u);

  ReadBack back = ReadIntermediate("MIX01.int");
  ASSERT_TRUE(back.valid);
  ASSERT_EQ(back.quads.size(), size_t(kCount + 1));
  ASSERT_EQ(back.sectors.size(), size_t(kCount));
  EXPECT_EQ(back.quads[2999], (std::array<int32_t, 8>{2999, 0, 3006, 0, 3006, 5, 2999, 5}));
  EXPECT_EQ(back.quads[3000], triangle);
  const testing::ReadSector& s = back.sectors[1234];
  EXPECT_EQ(s.centre_x, 12340);
  EXPECT_EQ(s.centre_y, -1234);
  EXPECT_EQ(s.start_x, 12840);
  EXPECT_EQ(s.outer, 500);
  EXPECT_EQ(s.inner, 100);
  EXPECT_EQ(s.sweep_tenths, 900);
}

TEST_F(QuenrixFileTest, OnlyACommitReplacesTheFile) {
  WriteFile("KEEP01.int", "previous");
  {
    IntermediateFile file("KEEP01.int");
    ASSERT_TRUE(file.Create());
    file.AddSector({0, 0, 10, 0, 0, 360});
    ASSERT_TRUE(file.Finish());
    // Not committed: the temporaries go, the old file stays.
  }
  EXPECT_EQ(ReadFile("KEEP01.int"), "previous");
  EXPECT_EQ(Files(), std::vector<std::string>{"KEEP01.int"});

  IntermediateFile file("KEEP01.int");
  ASSERT_TRUE(file.Create());
  ASSERT_TRUE(file.Finish());
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadFile("KEEP01.int").size(), 23u);
  EXPECT_EQ(Files(), std::vector<std::string>{"KEEP01.int"});
}

TEST_F(QuenrixFileTest, UnwritableDirectoryFailsWithAMessage) {
  IntermediateFile file("no-such-directory/A01.int");
  EXPECT_FALSE(file.Create());
  EXPECT_TRUE(file.failed());
  EXPECT_NE(file.error().find("A01.int"), std::string::npos);
  EXPECT_FALSE(file.Commit());
}

}  // namespace
}  // namespace kavrinth
