// Tests of the file-system boundary: native paths and the case-blind lookup of existing files.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kavrinth {
namespace {

namespace fs = std::filesystem;

TEST(NativePathTest, ConvertsSeparatorsAndTheNullDevice) {
  struct Case {
    const char* stored;
    const char* native;
  };
  const Case cases[] = {
      {"C:\\pg\\a.em", "C:/pg/a.em"},
      {"work\\sub\\", "work/sub/"},
      {"/already/native", "/already/native"},
      {"", ""},
      {"NUL", "/dev/null"},
      {"nul", "/dev/null"},
      {"Nul", "/dev/null"},
      {"NUL.txt", "NUL.txt"},
      {"dir\\NUL", "dir/NUL"},
      {"NULL", "NULL"},
  };
  for (const Case& c : cases) EXPECT_EQ(NativePath(c.stored), c.native) << c.stored;
}

class ResolveExistingPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/files_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ASSERT_EQ(mkdir((dir_ + "/work").c_str(), 0700), 0);
    Touch("work/gds.cfg");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Touch(const std::string& name) { std::ofstream(dir_ + "/" + name) << name; }

  std::string dir_;
};

TEST_F(ResolveExistingPathTest, FindsTheLastComponentWithoutCase) {
  EXPECT_EQ(ResolveExistingPath(dir_ + "/work/gds.cfg"), dir_ + "/work/gds.cfg");
  EXPECT_EQ(ResolveExistingPath(dir_ + "/work/GDS.CFG"), dir_ + "/work/gds.cfg");
  EXPECT_EQ(ResolveExistingPath(dir_ + "\\work\\Gds.Cfg"), dir_ + "/work/gds.cfg");
}

TEST_F(ResolveExistingPathTest, NeverReCasesDirectories) {
  EXPECT_EQ(ResolveExistingPath(dir_ + "/WORK/GDS.CFG"), dir_ + "/WORK/GDS.CFG");
  EXPECT_EQ(ResolveExistingPath(dir_ + "/WORK"), dir_ + "/work");  // the last component is
}

TEST_F(ResolveExistingPathTest, LeavesWhatItCannotFindAsTheNativePath) {
  const std::string cases[] = {
      dir_ + "/work/pg.cfg", dir_ + "\\work\\missing",  dir_ + "/work/",
      dir_ + "/work/..",     dir_ + "/nowhere/gds.cfg", "",
  };
  for (const std::string& path : cases) {
    EXPECT_EQ(ResolveExistingPath(path), NativePath(path)) << path;
  }
}

TEST_F(ResolveExistingPathTest, PrefersTheExactNameThenTheFirstInNameOrder) {
  Touch("work/GDS.cfg");
  Touch("work/Gds.cfg");
  EXPECT_EQ(ResolveExistingPath(dir_ + "/work/Gds.cfg"), dir_ + "/work/Gds.cfg");
  EXPECT_EQ(ResolveExistingPath(dir_ + "/work/GDS.CFG"), dir_ + "/work/GDS.cfg");
}

TEST_F(ResolveExistingPathTest, TakesAnEntryThatExistsEvenAsADanglingLink) {
  ASSERT_EQ(symlink("nowhere", (dir_ + "/work/Link").c_str()), 0);
  EXPECT_EQ(ResolveExistingPath(dir_ + "/work/Link"), dir_ + "/work/Link");
  EXPECT_EQ(ResolveExistingPath(dir_ + "/work/LINK"), dir_ + "/work/Link");
}

TEST_F(ResolveExistingPathTest, ResolvesABareNameInTheCurrentDirectory) {
  std::string previous = fs::current_path();
  ASSERT_EQ(chdir((dir_ + "/work").c_str()), 0);
  std::string found = ResolveExistingPath("GDS.CFG");
  std::string missing = ResolveExistingPath("PG.CFG");
  ASSERT_EQ(chdir(previous.c_str()), 0);
  EXPECT_EQ(found, "gds.cfg");
  EXPECT_EQ(missing, "PG.CFG");
}

TEST_F(ResolveExistingPathTest, SameExistingFileComparesTheFileNotTheName) {
  const std::string cfg = dir_ + "/work/gds.cfg";
  ASSERT_EQ(link(cfg.c_str(), (dir_ + "/work/linked.cfg").c_str()), 0);
  Touch("work/other.cfg");
  EXPECT_TRUE(SameExistingFile(cfg, dir_ + "/work/../work/gds.cfg"));
  EXPECT_TRUE(SameExistingFile(cfg, dir_ + "\\work\\linked.cfg"));  // a hard link
  EXPECT_FALSE(SameExistingFile(cfg, dir_ + "/work/other.cfg"));
  EXPECT_FALSE(SameExistingFile(cfg, dir_ + "/work/missing.cfg"));
  // No case-insensitive retry: a name only a case apart is a new file when written.
  EXPECT_FALSE(SameExistingFile(cfg, dir_ + "/work/GDS.CFG"));
}

}  // namespace
}  // namespace kavrinth
