// The job settings as the main road has them: defaults, the path mode, the settings file
// found without regard to case.
#include "tabreng/job_settings.h"

#include <gtest/gtest.h>

#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

TEST(JobSettingsTest, DefaultsAndPathMode) {
  testing::ScratchJob job;
  EngineOptions options;
  JobSettings settings;
  settings.min_line = 5;
  LoadJobSettings(options, settings);
  EXPECT_EQ(settings.min_line, 0);  // nothing survives from before
  EXPECT_EQ(settings.scale_factor, 1.0);
  EXPECT_EQ(settings.aperture_units, 1);
  EXPECT_FALSE(settings.text_stroking);
  // Loading the settings makes paths outlines; -t0 .. -t3 choose another mode.
  EXPECT_EQ(settings.path_mode, kPathOutline);
  options.path_mode_override = kPathLwidening;
  LoadJobSettings(options, settings);
  EXPECT_EQ(settings.path_mode, kPathLwidening);
  EXPECT_EQ(settings.settings_path, "");
}

TEST(JobSettingsTest, GdsCfgIsFoundAsLowerCase) {
  testing::ScratchJob job;
  testing::ScratchJob::Write("gds.cfg", "PATH\nround\n");
  JobSettings settings;
  LoadJobSettings(EngineOptions(), settings);
  EXPECT_EQ(settings.settings_path, "gds.cfg");
  EXPECT_EQ(settings.path_mode, kPathOutline);
}

}  // namespace
}  // namespace kavrinth
