// Tests of the file-system boundary: native paths and the case-blind lookup of existing files.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "testing/temp_dir.h"

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

// A directory holding jobs/gds.cfg.
class ResolveExistingPathTest : public test_support::TempDirTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TempDirTest::SetUp());
    ASSERT_EQ(mkdir(temp_.File("jobs").c_str(), 0700), 0);
    Touch("jobs/gds.cfg");
  }

  void Touch(const std::string& name) { std::ofstream(temp_.File(name)) << name; }
};

TEST_F(ResolveExistingPathTest, FindsTheLastComponentWithoutCase) {
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/jobs/gds.cfg"), temp_.path() + "/jobs/gds.cfg");
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/jobs/GDS.CFG"), temp_.path() + "/jobs/gds.cfg");
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "\\jobs\\Gds.Cfg"), temp_.path() + "/jobs/gds.cfg");
}

TEST_F(ResolveExistingPathTest, NeverReCasesDirectories) {
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/JOBS/GDS.CFG"), temp_.path() + "/JOBS/GDS.CFG");
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/JOBS"),
            temp_.path() + "/jobs");  // the last component is
}

TEST_F(ResolveExistingPathTest, LeavesWhatItCannotFindAsTheNativePath) {
  const std::string cases[] = {
      temp_.path() + "/jobs/pg.cfg", temp_.path() + "\\jobs\\missing",  temp_.path() + "/jobs/",
      temp_.path() + "/jobs/..",     temp_.path() + "/nowhere/gds.cfg", "",
  };
  for (const std::string& path : cases) {
    EXPECT_EQ(ResolveExistingPath(path), NativePath(path)) << path;
  }
}

TEST_F(ResolveExistingPathTest, PrefersTheExactNameThenTheFirstInNameOrder) {
  Touch("jobs/GDS.cfg");
  Touch("jobs/Gds.cfg");
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/jobs/Gds.cfg"), temp_.path() + "/jobs/Gds.cfg");
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/jobs/GDS.CFG"), temp_.path() + "/jobs/GDS.cfg");
}

TEST_F(ResolveExistingPathTest, TakesAnEntryThatExistsEvenAsADanglingLink) {
  ASSERT_EQ(symlink("nowhere", (temp_.path() + "/jobs/Link").c_str()), 0);
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/jobs/Link"), temp_.path() + "/jobs/Link");
  EXPECT_EQ(ResolveExistingPath(temp_.path() + "/jobs/LINK"), temp_.path() + "/jobs/Link");
}

TEST_F(ResolveExistingPathTest, ResolvesABareNameInTheCurrentDirectory) {
  std::string previous = fs::current_path();
  ASSERT_EQ(chdir((temp_.path() + "/jobs").c_str()), 0);
  std::string found = ResolveExistingPath("GDS.CFG");
  std::string missing = ResolveExistingPath("PG.CFG");
  ASSERT_EQ(chdir(previous.c_str()), 0);
  EXPECT_EQ(found, "gds.cfg");
  EXPECT_EQ(missing, "PG.CFG");
}

TEST_F(ResolveExistingPathTest, SameExistingFileComparesTheFileNotTheName) {
  const std::string cfg = temp_.path() + "/jobs/gds.cfg";
  ASSERT_EQ(link(cfg.c_str(), (temp_.path() + "/jobs/linked.cfg").c_str()), 0);
  Touch("jobs/other.cfg");
  EXPECT_TRUE(SameExistingFile(cfg, temp_.path() + "/jobs/../jobs/gds.cfg"));
  EXPECT_TRUE(SameExistingFile(cfg, temp_.path() + "\\jobs\\linked.cfg"));  // a hard link
  EXPECT_FALSE(SameExistingFile(cfg, temp_.path() + "/jobs/other.cfg"));
  EXPECT_FALSE(SameExistingFile(cfg, temp_.path() + "/jobs/missing.cfg"));
  // No case-insensitive retry: a name only a case apart is a new file when written.
  EXPECT_FALSE(SameExistingFile(cfg, temp_.path() + "/jobs/GDS.CFG"));
}

}  // namespace
}  // namespace kavrinth
