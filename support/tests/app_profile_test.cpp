// Tests of the settings store on its INI file under a temporary configuration directory.
#include "support/app_profile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable (null unsets it) for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    if (old) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

using test_support::ReadBytes;
using test_support::WriteBytes;

class AppProfileTest : public test_support::TempDirTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TempDirTest::SetUp());
    config_ = temp_.File("config");
    xdg_.emplace("XDG_CONFIG_HOME", config_.c_str());
  }
  void TearDown() override { xdg_.reset(); }

  std::string config_;
  std::optional<ScopedEnv> xdg_;
};

TEST_F(AppProfileTest, OpenCutsTheNameIntoFileAndSection) {
  struct Case {
    const char* program;
    const char* file;
    const char* section;
  };
  const Case cases[] = {
      {"Vexil", "Vexil.ini", "Vexil"},
      {"Abc\\Viewer", "Abc.ini", "Viewer"},
      {"Abc/Viewer", "Abc.ini", "Viewer"},
      {"Abc\\Viewer/Sub", "Abc.ini", "Viewer/Sub"},
  };
  for (const Case& c : cases) {
    CAppProfile profile;
    ASSERT_TRUE(profile.Open(c.program)) << c.program;
    EXPECT_EQ(profile.path(), config_ + "/Kavrinth/" + c.file);
    EXPECT_EQ(profile.section(), c.section);
  }
  for (const char* bad : {"", "\\Viewer", "Abc\\"}) {
    CAppProfile profile;
    EXPECT_FALSE(profile.Open(bad)) << bad;
    EXPECT_FALSE(profile.IsOpen());
  }
}

TEST_F(AppProfileTest, FirstWriteCreatesTheDirectoryAndFile) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Abc\\Viewer"));
  std::string text;
  EXPECT_EQ(profile.GetString("TmpDir", &text, 260), 0);
  EXPECT_EQ(profile.WriteString("TmpDir", nullptr), 1);  // nothing to remove
  EXPECT_FALSE(fs::exists(config_));

  EXPECT_EQ(profile.WriteString("TmpDir", "/tmp/x"), 1);
  EXPECT_EQ(ReadBytes(config_ + "/Kavrinth/Abc.ini"), "[Viewer]\r\nTmpDir=/tmp/x\r\n");
  struct stat st;
  ASSERT_EQ(stat((config_ + "/Kavrinth").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(AppProfileTest, StringsRoundTripAndMissingValuesLeaveTheDestination) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Tabrun"));
  ASSERT_EQ(profile.WriteString("WorkingDirectory", "/srv/masks/job7"), 1);
  ASSERT_EQ(profile.WriteString("Letter", "x"), 1);
  ASSERT_EQ(profile.WriteString("Blank", ""), 1);

  std::string text = "kept";
  EXPECT_EQ(profile.GetString("Missing", &text, 260), 0);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(profile.GetString("workingdirectory", &text, 260), 1);
  EXPECT_EQ(text, "/srv/masks/job7");
  EXPECT_EQ(profile.GetString("WorkingDirectory", &text, 6), 1);
  EXPECT_EQ(text, "/srv/");
  EXPECT_EQ(profile.GetString("Letter", &text, 260), 1);
  EXPECT_EQ(text, "x");
  EXPECT_EQ(profile.GetString("Blank", &text, 260), 1);
  EXPECT_EQ(text, "");

  EXPECT_EQ(profile.WriteString("A=B", "c"), 0);  // names that cannot be stored
  EXPECT_EQ(profile.WriteString(nullptr, "c"), 0);
  EXPECT_EQ(profile.WriteString("Letter", "two\nlines"), 0);

  ASSERT_EQ(profile.WriteString("Letter", nullptr), 1);
  text = "kept";
  EXPECT_EQ(profile.GetString("Letter", &text, 260), 0);
  EXPECT_EQ(text, "kept");
}

// A value is the text the write calls take: a stored zero byte ends it, so that what is read
// is what writing it back stores.
TEST_F(AppProfileTest, AStoredZeroByteEndsTheValue) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Corvane"));
  ASSERT_EQ(profile.WriteString("Letter", "x"), 1);
  {
    const char bytes[] = "[Corvane]\r\nInputFile=\"C:\\\0data\\demo.dwm\"\r\nScale=2\0\r\n";
    std::ofstream out(profile.path(), std::ios::binary | std::ios::trunc);
    out.write(bytes, sizeof bytes - 1);
  }
  std::string text;
  ASSERT_EQ(profile.GetString("InputFile", &text, 260), 1);
  EXPECT_EQ(text, "\"C:\\");  // the quote has lost its partner
  ASSERT_EQ(profile.WriteString("InputFile", text.c_str()), 1);
  std::string again;
  ASSERT_EQ(profile.GetString("InputFile", &again, 260), 1);
  EXPECT_EQ(again, text);
  ASSERT_EQ(profile.GetString("Scale", &text, 64), 1);
  EXPECT_EQ(text, "2");
}

TEST_F(AppProfileTest, IntegersRoundTripIncludingNegatives) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Vexil"));
  for (int32_t value : {INT32_MIN, -32000, -1, 0, 1, INT32_MAX}) {
    ASSERT_EQ(profile.WriteInt("WindowTopX", value), 1);
    int32_t read = 12345;
    EXPECT_EQ(profile.GetInt("WindowTopX", &read), 1);
    EXPECT_EQ(read, value);
  }
  ASSERT_EQ(profile.WriteInt("WindowTopX", -8), 1);
  EXPECT_EQ(ReadBytes(profile.path()), "[Vexil]\r\nWindowTopX=-8\r\n");
}

TEST_F(AppProfileTest, GetIntReadsOldUnsignedTextAndRejectsNonNumbers) {
  WriteBytes(config_ + "/Kavrinth/Vexil.ini",
             "[Vexil]\nWindowTopX=4294967288\nEmpty=\nHuge=5000000000\nWord=abc\n");
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Vexil"));
  struct Case {
    const char* name;
    int expected_result;
    int32_t expected_value;
  };
  const Case cases[] = {
      {"WindowTopX", 1, -8}, {"Empty", 0, 77}, {"Huge", 0, 77},
      {"Missing", 0, 77},    {"Word", 1, 0},  // present but not a number: the runtime's conversion
                                              // gives 0
  };
  for (const Case& c : cases) {
    int32_t value = 77;
    EXPECT_EQ(profile.GetInt(c.name, &value), c.expected_result) << c.name;
    EXPECT_EQ(value, c.expected_value) << c.name;
  }
}

TEST_F(AppProfileTest, WritesKeepOtherSectionsAndLines) {
  const std::string original =
      "; shared by two programs\n[Shell]\nMode = 3\n\n[Viewer]\nColour=red\n";
  WriteBytes(config_ + "/Kavrinth/Abc.ini", original);
  CAppProfile viewer;
  ASSERT_TRUE(viewer.Open("Abc\\Viewer"));
  ASSERT_EQ(viewer.WriteInt("Zoom", 4), 1);
  ASSERT_EQ(viewer.WriteString("colour", "blue"), 1);
  CAppProfile shell;
  ASSERT_TRUE(shell.Open("Abc/Shell"));
  int32_t mode = 0;
  EXPECT_EQ(shell.GetInt("Mode", &mode), 1);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(ReadBytes(viewer.path()),
            "; shared by two programs\n[Shell]\nMode = 3\n\n[Viewer]\nColour=blue\nZoom=4\n");
}

TEST_F(AppProfileTest, ClosedStoreReportsFailure) {
  CAppProfile profile;
  std::string text = "kept";
  int32_t value = 5;
  EXPECT_EQ(profile.GetString("A", &text, 10), 0);
  EXPECT_EQ(profile.GetInt("A", &value), 0);
  EXPECT_EQ(profile.WriteString("A", "b"), 0);
  EXPECT_EQ(profile.WriteInt("A", 1), 0);

  ASSERT_TRUE(profile.Open("Vexil"));
  ASSERT_EQ(profile.WriteInt("A", 1), 1);
  profile.Close();
  EXPECT_FALSE(profile.IsOpen());
  EXPECT_EQ(profile.GetInt("A", &value), 0);
  EXPECT_EQ(profile.WriteInt("A", 2), 0);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(value, 5);
}

TEST_F(AppProfileTest, WriteFailsWhenTheDirectoryCannotBeMade) {
  WriteBytes(config_ + "/Kavrinth", "a file where the directory should be");
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Vexil"));
  EXPECT_EQ(profile.WriteString("A", "b"), 0);
  EXPECT_EQ(profile.WriteInt("A", 1), 0);
  std::string text;
  EXPECT_EQ(profile.GetString("A", &text, 10), 0);
}

TEST_F(AppProfileTest, SettingsDirectoryFallsBackToHome) {
  EXPECT_EQ(SettingsDirectory(), config_ + "/Kavrinth");
  ScopedEnv home("HOME", (temp_.path() + "/user-home/").c_str());
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(SettingsDirectory(), temp_.path() + "/user-home/.config/Kavrinth");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config");  // not absolute: ignored
    EXPECT_EQ(SettingsDirectory(), temp_.path() + "/user-home/.config/Kavrinth");
  }
}

TEST_F(AppProfileTest, BatchWritesManyValuesInOneSave) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Corvane"));
  ASSERT_EQ(profile.WriteString("Old", "gone soon"), 1);
  {
    CAppProfile::Batch forgotten(profile);
    EXPECT_EQ(forgotten.WriteInt("Never", 1), 1);
  }
  int32_t value = 0;
  EXPECT_EQ(profile.GetInt("Never", &value), 0);  // no Commit, nothing saved

  CAppProfile::Batch batch(profile);
  EXPECT_EQ(batch.WriteInt("WindowTopX", -4), 1);
  EXPECT_EQ(batch.WriteInt("WindowTopY", 10), 1);
  EXPECT_EQ(batch.WriteString("Old", nullptr), 1);
  EXPECT_EQ(batch.WriteString("Bad\nName", "x"), 0);
  EXPECT_EQ(batch.Commit(), 1);
  EXPECT_EQ(ReadBytes(profile.path()), "[Corvane]\r\nWindowTopX=-4\r\nWindowTopY=10\r\n");

  CAppProfile closed;
  CAppProfile::Batch unusable(closed);
  EXPECT_EQ(unusable.WriteInt("A", 1), 0);
  EXPECT_EQ(unusable.Commit(), 0);
}

}  // namespace
}  // namespace kavrinth
