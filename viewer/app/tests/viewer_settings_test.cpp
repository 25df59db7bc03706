// The viewer's settings: defaults of a first start, what is written at close, and values
// that no longer fit.
#include "viewer/app/viewer_settings.h"

#include <gtest/gtest.h>

#include "viewer/app/tests/vexil_test_support.h"

namespace kavrinth {
namespace {

using ViewerSettingsTest = VexilTest;

TEST_F(ViewerSettingsTest, FirstStartTakesTheDefaults) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open(kVexilAppName));
  ViewerSettings settings;
  settings.toolbar = 7;
  ReadViewerSettings(profile, "/cwd", &settings);
  EXPECT_EQ(settings.toolbar, 1);
  EXPECT_EQ(settings.statusbar, 1);
  EXPECT_EQ(settings.fill_on, 1);
  EXPECT_EQ(settings.grid_snap, "1.0");
  EXPECT_EQ(settings.background, 0xC0C0C0u);
  EXPECT_EQ(settings.glass_width, 500);
  EXPECT_EQ(settings.glass_margin, 50);
  EXPECT_EQ(settings.tmp_dir, "/cwd");
  EXPECT_TRUE(settings.tmp_dir_defaulted);
  EXPECT_EQ(settings.last_job_file_name, "/cwd/*.job");
  EXPECT_FALSE(settings.ram_use_stored);
}

TEST_F(ViewerSettingsTest, WrittenSettingsAreReadBackAndLaidOutInOrder) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open(kVexilAppName));
  ViewerSettings written;
  written.toolbar = 0;
  written.fill_on = 0;
  written.frames_at_startup = 1;
  written.grid_snap = "2.5";
  written.ram_use = 5000000000LL;
  written.tmp_dir = temp_.path();
  WriteFile("a.job", "[General]\r\n");
  written.last_job_file_name = Path("a.job");
  ASSERT_EQ(WriteViewerSettingsBeforePlacement(profile, written), 1);
  ASSERT_EQ(WriteViewerSettingsAfterPlacement(profile, written), 1);
  EXPECT_EQ(ReadFile(SettingsPath()),
            "[Vexil]\r\nToolbar=0\r\nStatusbar=1\r\nFillOn=0\r\nSnapEndPt=0\r\nGridOn=0\r\n"
            "SnapOn=0\r\nGridSnap=2.5\r\nRamUse=5000000000\r\nTmpDir=" +
                temp_.path() + "\r\nLastJobFileName=" + written.last_job_file_name +
                "\r\nFramesAtStartup=1\r\n");
  ViewerSettings read;
  ReadViewerSettings(profile, "/cwd", &read);
  EXPECT_EQ(read.toolbar, 0);
  EXPECT_EQ(read.fill_on, 0);
  EXPECT_EQ(read.frames_at_startup, 1);
  EXPECT_EQ(read.grid_snap, "2.5");
  EXPECT_TRUE(read.ram_use_stored);
  EXPECT_EQ(read.ram_use, 5000000000LL);
  EXPECT_EQ(read.tmp_dir, temp_.path());
  EXPECT_FALSE(read.tmp_dir_defaulted);
  EXPECT_EQ(read.last_job_file_name, written.last_job_file_name);
}

TEST_F(ViewerSettingsTest, GlassValuesAreWrittenOnlyWhileValid) {
  CAppProfile profile;
  ASSERT_TRUE(profile.Open(kVexilAppName));
  ViewerSettings settings;
  settings.glass_width = 800;
  WriteViewerSettingsBeforePlacement(profile, settings);
  EXPECT_EQ(Setting("GlassWidth"), "<missing>");
  settings.glass_valid = true;
  WriteViewerSettingsBeforePlacement(profile, settings);
  EXPECT_EQ(Setting("GlassWidth"), "800");
  EXPECT_EQ(Setting("Gls_Disp_CH"), "1");
}

TEST_F(ViewerSettingsTest, StaleOrDamagedValuesFallBackToTheDefaults) {
  WriteSetting("TmpDir", Path("deleted"));
  WriteSetting("LastJobFileName", Path("missing.job"));
  WriteSetting("RamUse", "99999999999999999999");
  CAppProfile profile;
  ASSERT_TRUE(profile.Open(kVexilAppName));
  ViewerSettings settings;
  ReadViewerSettings(profile, "/cwd", &settings);
  EXPECT_EQ(settings.tmp_dir, "/cwd");
  EXPECT_TRUE(settings.tmp_dir_defaulted);
  EXPECT_EQ(settings.last_job_file_name, "/cwd/*.job");
  EXPECT_FALSE(settings.ram_use_stored);
}

TEST(RgbTextTest, ColoursRoundTripAndTextIsReadPartByPart) {
  EXPECT_EQ(FormatRgbText(0x0000FF), "255,0,0");
  EXPECT_EQ(FormatRgbText(0x123456), "86,52,18");
  const std::pair<const char*, uint32_t> cases[] = {{"86,52,18", 0x123456},
                                                    {" 1, 2 ,3", 0x030201},
                                                    {"255,128", 0x0080FF},
                                                    {"300,0,0", 0x00002C},
                                                    {"", 0},
                                                    {"-1,7,a", 0x0007FF},
                                                    {"1,2,3,4", 0x030201},
                                                    {"1x,2", 0x000201},
                                                    {"99999999999,0,0", 0x0000FF},
                                                    {"256,257,-254", 0x020100}};
  for (const auto& [text, colour] : cases) EXPECT_EQ(ParseRgbText(text), colour) << text;
}

}  // namespace
}  // namespace kavrinth
