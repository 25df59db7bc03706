// Corvane's settings store: defaults, what is ignored at start, and the values written.
#include "corvane/core/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

class SettingsTest : public test_support::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    setenv("XDG_CONFIG_HOME", temp_.path().c_str(), 1);
    ASSERT_TRUE(profile_.Open(kCorvaneProfileName));
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
  CAppProfile profile_;
};

TEST_F(SettingsTest, FirstStartTakesTheDefaults) {
  CorvaneSession session;
  CorvaneBarFlags flags;
  LoadCorvaneSettings(profile_, session, flags);
  EXPECT_EQ(session.input_file, "");
  EXPECT_EQ(session.working_directory, "");
  EXPECT_EQ(session.options.files_format, kFilesElectromask);
  EXPECT_EQ(session.options.files_unit, kFilesUnitMil);
  EXPECT_EQ(session.options.scale, 1.0);
  EXPECT_EQ(flags.control_dialog, 1);
  EXPECT_EQ(flags.statusbar, 1);
}

TEST_F(SettingsTest, SavedValuesComeBackAndGoneOrBadOnesAreIgnored) {
  const std::string viewer = temp_.Write("pexol", "#!/bin/sh\n");
  CorvaneSession session;
  session.input_file = "/m/a b.em";
  session.working_directory = temp_.path();
  session.gds_viewer_path = viewer;
  session.pg_viewer_path = temp_.File("gone");
  session.options = {kFilesMann3600, kFilesUnitMicron, 2.5};
  CorvaneBarFlags flags{0, 0, 1};
  ASSERT_EQ(SaveCorvaneSettings(profile_, session, flags), 1);
  const std::string text = temp_.Read("Kavrinth/Corvane.ini");
  EXPECT_NE(text.find("Scale=2.5\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Toolbar=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("FilesFormat=2\r\n"), std::string::npos);

  CorvaneSession read;
  CorvaneBarFlags read_flags;
  LoadCorvaneSettings(profile_, read, read_flags);
  EXPECT_EQ(read.input_file, "/m/a b.em");
  EXPECT_EQ(read.working_directory, temp_.path());
  EXPECT_EQ(read.gds_viewer_path, viewer);
  EXPECT_EQ(read.pg_viewer_path, "") << "a viewer whose file is gone is ignored";
  EXPECT_EQ(read.options.files_format, kFilesMann3600);
  EXPECT_EQ(read.options.files_unit, kFilesUnitMicron);
  EXPECT_EQ(read.options.scale, 2.5);
  EXPECT_EQ(read_flags.control_dialog, 0);

  const struct {
    const char* key;
    const char* value;
  } bad[] = {{"WorkingDirectory", "/no/such/directory"},
             {"Scale", "abc"},
             {"Scale", "0"},
             {"Scale", "1e7"},
             {"FilesFormat", "5"},
             {"FilesUnit", "-1"}};
  for (const auto& b : bad) {
    ASSERT_EQ(SaveCorvaneSettings(profile_, session, flags), 1);
    ASSERT_EQ(profile_.WriteString(b.key, b.value), 1);
    CorvaneSession fresh;
    CorvaneBarFlags fresh_flags;
    LoadCorvaneSettings(profile_, fresh, fresh_flags);
    EXPECT_EQ(fresh.options.scale, b.key == std::string("Scale") ? 1.0 : 2.5) << b.value;
    EXPECT_NE(fresh.working_directory, "/no/such/directory");
    EXPECT_LE(fresh.options.files_format, kFilesMann3600);
    EXPECT_GE(fresh.options.files_unit, 0);
  }
}

// A value the store refuses (a line break) is named and fails the save; every other value
// is stored, and the refused one keeps what was stored before.
TEST_F(SettingsTest, ARefusedValueIsNamedAndTheSaveFails) {
  CorvaneSession session;
  session.input_file = "/m/a.em";
  session.working_directory = temp_.path();
  CorvaneBarFlags flags;
  ASSERT_EQ(SaveCorvaneSettings(profile_, session, flags), 1);
  session.input_file = "/m/two\nlines.em";
  session.gds_viewer_path = "/bin/with\rreturn";
  session.options.scale = 4.0;
  std::vector<std::string> refused;
  EXPECT_EQ(SaveCorvaneSettings(profile_, session, flags, &refused), 0);
  EXPECT_EQ(refused, (std::vector<std::string>{"InputFile", "GDSViewerPath"}));
  CorvaneSession read;
  CorvaneBarFlags read_flags;
  LoadCorvaneSettings(profile_, read, read_flags);
  EXPECT_EQ(read.input_file, "/m/a.em");
  EXPECT_EQ(read.options.scale, 4.0);
  // Fixed, the save succeeds and names nothing.
  session.input_file = "/m/b.em";
  session.gds_viewer_path.clear();
  EXPECT_EQ(SaveCorvaneSettings(profile_, session, flags, &refused), 1);
  EXPECT_TRUE(refused.empty());
}

TEST(ScaleSettingTest, RoundTripsEveryScale) {
  const struct {
    double scale;
    const char* text;
  } cases[] = {{1.0, "1"},
               {2.5, "2.5"},
               {1e-08, "0.00000001"},
               {1000000.0, "1000000"},
               {0.1234567890123456, "0.1234567890123456"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatScaleSetting(c.scale), c.text);
    ASSERT_TRUE(ParseScaleText(FormatScaleSetting(c.scale)).has_value()) << c.text;
    EXPECT_EQ(*ParseScaleText(FormatScaleSetting(c.scale)), c.scale) << c.text;
  }
}

}  // namespace
}  // namespace kavrinth
