// Tests of the checked, buffered output file: replacement only on a clean close,
// reopening, write errors and copying.
#include "gdsii/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "gds_test_support.h"

namespace kavrinth {
namespace {

using testing::ReadBytes;

TEST(GdsOutputFileTest, ReplacesTheTargetOnlyOnACleanClose) {
  testing::ScratchDir dir;
  const std::string path = dir.File("out.gds");
  testing::WriteBytes(path, {'o', 'l', 'd'});
  GdsOutputFile file;
  ASSERT_TRUE(file.OpenReplacing(path));
  file.Write("first", 5);
  // Opening again abandons the first attempt without touching the target.
  ASSERT_TRUE(file.OpenReplacing(path));
  EXPECT_EQ(file.size(), 0u);
  const std::vector<uint8_t> big(300 * 1024, 'x');  // more than the buffer holds
  file.Write(big.data(), big.size());
  file.WriteZeros(3);
  EXPECT_EQ(file.size(), big.size() + 3);
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(file.Close(), 0);
  const std::vector<uint8_t> written = ReadBytes(path);
  ASSERT_EQ(written.size(), big.size() + 3);
  EXPECT_EQ(written[big.size() - 1], 'x');
  EXPECT_EQ(written.back(), 0);
  EXPECT_TRUE(dir.OtherEntries({"out.gds"}).empty());
}

TEST(GdsOutputFileTest, FailuresAreKeptAndReported) {
  testing::ScratchDir dir;
  GdsOutputFile full;
  ASSERT_TRUE(full.OpenReplacing("/dev/full"));
  full.Write("abc", 3);
  EXPECT_EQ(full.Close(), ENOSPC);

  const std::string path = dir.File("kept.gds");
  testing::WriteBytes(path, {'k'});
  GdsOutputFile marked;
  ASSERT_TRUE(marked.OpenReplacing(path));
  marked.Write("new", 3);
  marked.SetFailed(EIO);
  EXPECT_EQ(marked.Close(), EIO);
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'k'}));
  EXPECT_TRUE(dir.OtherEntries({"kept.gds"}).empty());

  GdsOutputFile missing;
  EXPECT_FALSE(missing.OpenReplacing(dir.File("no/dir/x.gds")));
  EXPECT_EQ(missing.error(), ENOENT);
}

// A link to the output keeps being a link, and the file it leads to is replaced like any
// other: whole on a clean close, untouched after a failure.
TEST(GdsOutputFileTest, ALinkedTargetIsReplacedBesideItsFile) {
  testing::ScratchDir dir;
  const std::string target = dir.File("real.gds");
  const std::string link = dir.File("link.gds");
  testing::WriteBytes(target, {'o', 'l', 'd'});
  ASSERT_EQ(::symlink("real.gds", link.c_str()), 0);

  GdsOutputFile failed;
  ASSERT_TRUE(failed.OpenReplacing(link));
  failed.Write("new", 3);
  failed.SetFailed(EIO);
  EXPECT_EQ(failed.Close(), EIO);
  EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));

  GdsOutputFile file;
  ASSERT_TRUE(file.OpenReplacing(link));
  file.Write("new", 3);
  EXPECT_EQ(file.Close(), 0);
  struct stat status {};
  ASSERT_EQ(::lstat(link.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'n', 'e', 'w'}));
  EXPECT_TRUE(dir.OtherEntries({"real.gds", "link.gds"}).empty());
}

TEST(GdsOutputFileTest, SpoolFilesCopyWholeAndDisappear) {
  testing::ScratchDir dir;
  const std::string spool_name = MakeTempFileName();
  ASSERT_FALSE(spool_name.empty());
  GdsOutputFile spool;
  ASSERT_TRUE(spool.OpenSpool(spool_name));
  for (int i = 0; i < 50000; ++i) spool.Write(&i, sizeof i);
  GdsOutputFile target;
  ASSERT_TRUE(target.OpenReplacing(dir.File("t.bin")));
  target.Write("H", 1);
  spool.CopyTo(target);
  // Writes go on behind the copy, and the spool can still be written and copied again:
  // into the null device the kernel cannot copy, so that copy takes the buffer.
  EXPECT_EQ(target.size(), 1 + 50000 * sizeof(int));
  target.Write("T", 1);
  const int more = 50000;
  spool.Write(&more, sizeof more);
  GdsOutputFile null_target;
  ASSERT_TRUE(null_target.OpenNull());
  spool.CopyTo(null_target);
  EXPECT_EQ(null_target.size(), 50001 * sizeof(int));
  EXPECT_EQ(null_target.Close(), 0);
  EXPECT_EQ(spool.Close(), 0);
  EXPECT_EQ(target.Close(), 0);
  const std::vector<uint8_t> bytes = ReadBytes(dir.File("t.bin"));
  ASSERT_EQ(bytes.size(), 2 + 50000 * sizeof(int));
  EXPECT_EQ(bytes.front(), 'H');
  EXPECT_EQ(bytes.back(), 'T');
  for (int i : {0, 1, 12345, 49999}) {
    int value = -1;
    std::memcpy(&value, bytes.data() + 1 + i * sizeof(int), sizeof value);
    EXPECT_EQ(value, i);
  }
  EXPECT_TRUE(dir.OtherEntries({"t.bin"}).empty());
}

// Handing the data to the disk early changes nothing in what is written, also on the
// null device, where the system has nothing to write.
TEST(GdsOutputFileTest, EarlyWritebackKeepsEveryByte) {
  testing::ScratchDir dir;
  std::vector<uint8_t> bytes(1000 * 1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 4096);
  for (const std::string& path : {dir.File("out.gds"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    GdsOutputFile file;
    ASSERT_TRUE(path == "/dev/null" ? file.OpenNull() : file.OpenReplacing(path));
    file.Write(bytes.data(), 1000);
    file.StartWritebackEvery(64 * 1024);
    for (size_t at = 1000; at < bytes.size(); at += 999) {
      file.Write(bytes.data() + at, std::min<size_t>(999, bytes.size() - at));
    }
    EXPECT_EQ(file.Close(), 0);
  }
  EXPECT_TRUE(ReadBytes(dir.File("out.gds")) == bytes);
}

// Blocks land in their order between what was written before and after, whether they
// fit the buffer or go to the file straight.
TEST(GdsOutputFileTest, BlocksKeepTheirOrder) {
  testing::ScratchDir dir;
  std::vector<uint8_t> bytes(700 * 1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 251);
  const std::span<const uint8_t> all(bytes);
  // Cut points: small blocks that the buffer takes, an empty one, and blocks larger than
  // the buffer, each time after some bytes written the plain way.
  const std::vector<std::vector<size_t>> calls = {
      {10, 20, 0, 30}, {70000, 0, 1}, {300000}, {5, 200000, 5}, {1, 2, 3}};
  for (const std::string& path : {dir.File("out.gds"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    GdsOutputFile file;
    ASSERT_TRUE(path == "/dev/null" ? file.OpenNull() : file.OpenReplacing(path));
    size_t at = 0;
    for (const std::vector<size_t>& sizes : calls) {
      file.Write(all.data() + at, 7);
      at += 7;
      std::vector<std::span<const uint8_t>> blocks;
      for (size_t size : sizes) {
        blocks.push_back(all.subspan(at, size));
        at += size;
      }
      file.WriteBlocks(blocks);
      EXPECT_EQ(file.size(), at);
    }
    file.Write(all.data() + at, all.size() - at);
    EXPECT_EQ(file.Close(), 0);
  }
  EXPECT_TRUE(ReadBytes(dir.File("out.gds")) == bytes);
}

}  // namespace
}  // namespace kavrinth
