// Elements encoded into memory and written as blocks give the library the element
// writers give, in every setting that changes the bytes.
#include "gdsii/element_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gds_test_support.h"
#include "gdsii/writer.h"

namespace kavrinth {
namespace {

using testing::FixedTime;
using testing::ReadBytes;
using testing::ScratchDir;

struct Settings {
  const char* name;
  bool native_order;
  bool element_flag;
  double min_path_width;  // through the extended open
  double database_unit;
};

struct Element {
  bool path;
  std::vector<GdsPoint> points;
  double width;
};

// Points at halves of the database unit, on both sides of zero, beyond the 32-bit range
// and not a number; lists too short to be written; the longest list encoded.
std::vector<Element> Elements() {
  std::vector<GdsPoint> long_list;
  for (int i = 0; i < 64; ++i) long_list.push_back({i * 0.0105, -i * 0.0025});
  const GdsPoint a[] = {{0.0005, -0.0005}, {1.0015, -1.0015}, {2.5, 0.0025}, {-0.0014, 7}};
  const GdsPoint far[] = {{1e12, -1e12}, {std::nan(""), 3}, {-3e9, 2e9}, {0, 0}};
  return {
      {false, {a, a + 4}, 0},     {false, {a[0], a[1], a[2], a[3], {9, 9}}, 0},
      {false, {far, far + 4}, 0}, {false, {a, a + 3}, 0},
      {false, long_list, 0},      {true, {a[0], a[1]}, 0.0105},
      {true, {a[2], a[3]}, 0.2},  {true, {far[0], far[2]}, 1e12},
      {true, {a[0]}, 1},          {true, long_list, 0.0015},
  };
}

// Writes the elements, with the writer's element functions or encoded, into one library.
std::vector<uint8_t> Library(const ScratchDir& dir, const Settings& s, bool encoded) {
  GdsWriter writer;
  writer.SetClock(FixedTime);
  const std::string path = dir.File("out.gds");  // one name: it is the library's name
  EXPECT_EQ(writer.OpenLibraryEx(path, "UM", s.database_unit, 1.0, s.min_path_width, {}, {},
                                 s.native_order),
            kGdsOk);
  writer.SetElementFlag(s.element_flag);
  EXPECT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  const GdsElementEncoder encoder(writer);
  const std::vector<Element> elements = Elements();
  // Encoded: the first half written block by block, the rest as one list of blocks.
  std::vector<GdsByteBlock> element_blocks(elements.size());
  for (size_t i = 0; i < elements.size(); ++i) {
    const Element& e = elements[i];
    if (!encoded) {
      if (e.path) {
        writer.WritePath(e.points, 5, 6, e.width, 0, 0, 0);
      } else {
        writer.WriteBoundary(e.points, 5, 6, 0, 0);
      }
      continue;
    }
    GdsByteBlock& block = element_blocks[i];
    EXPECT_TRUE(e.path ? encoder.AppendPath(e.points, 5, 6, e.width, 0, &block)
                       : encoder.AppendBoundary(e.points, 5, 6, &block));
    if (i < elements.size() / 2) {
      EXPECT_EQ(writer.WriteEncoded(block.bytes()), kGdsOk);
    }
  }
  if (encoded) {
    std::vector<std::span<const uint8_t>> blocks;
    for (size_t i = elements.size() / 2; i < elements.size(); ++i)
      blocks.push_back(element_blocks[i].bytes());
    EXPECT_EQ(writer.WriteEncoded(blocks), kGdsOk);
  }
  EXPECT_EQ(writer.EndStructure(), kGdsOk);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  return ReadBytes(path);
}

TEST(ElementEncoderTest, EncodedElementsAreTheWrittenOnes) {
  const Settings settings[] = {
      {"plain", false, false, 0, 0.001},       {"native byte order", true, false, 0, 0.001},
      {"element flag", false, true, 0, 0.001}, {"smallest path width", false, false, 0.5, 0.001},
      {"coarse unit", true, true, 0, 0.01},
  };
  ScratchDir dir;
  for (const Settings& s : settings) {
    SCOPED_TRACE(s.name);
    const std::vector<uint8_t> written = Library(dir, s, false);
    // Every element but the two whose lists are too short.
    const std::vector<testing::RawRecord> body = testing::StructureBody(testing::Records(written));
    ASSERT_EQ(std::count_if(body.begin(), body.end(),
                            [](const testing::RawRecord& r) { return r.type == kGdsEndEl; }),
              8);
    EXPECT_TRUE(Library(dir, s, true) == written);
  }
}

TEST(ElementEncoderTest, BlocksGrowAndLongListsAreRefused) {
  GdsWriter writer;
  GdsByteBlock block;
  // No library: nothing to encode for, nothing written.
  const GdsPoint square[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_TRUE(GdsElementEncoder(writer).AppendBoundary(square, 1, 1, &block));
  EXPECT_TRUE(block.bytes().empty());
  EXPECT_EQ(writer.WriteEncoded(block.bytes()), kGdsFailed);

  ScratchDir dir;
  ASSERT_EQ(writer.OpenLibrary(dir.File("a.gds"), "UM", 0.001, "", 1.0, false), kGdsOk);
  const GdsElementEncoder encoder(writer);
  const std::vector<GdsPoint> too_many(65, GdsPoint{1, 1});
  EXPECT_FALSE(encoder.AppendBoundary(too_many, 1, 1, &block));
  EXPECT_FALSE(encoder.AppendPath(too_many, 1, 1, 1, 0, &block));
  EXPECT_TRUE(block.bytes().empty());
  // Many elements into one block keep every byte: 56 bytes each, the first one intact.
  for (int i = 0; i < 1000; ++i) encoder.AppendBoundary(square, 1, 1, &block);
  ASSERT_EQ(block.bytes().size(), 56000u);
  const std::vector<uint8_t> first(block.bytes().begin(), block.bytes().begin() + 56);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), block.bytes().end() - 56));
  EXPECT_EQ(first[2], kGdsBoundary);
  block.Clear();
  EXPECT_TRUE(block.bytes().empty());
  writer.EndLibrary();
}

}  // namespace
}  // namespace kavrinth
