// The job's settings files: GDS.CFG records, PG settings records, the files written from
// them, and the stored options.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "support/app_profile.h"
#include "support/job_file_names.h"
#include "tabrun/core/gds_cfg_file.h"
#include "tabrun/core/tabrun_job.h"
#include "tabrun/core/tabrun_options.h"
#include "testing/temp_dir.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

using test_support::ReadBytes;
using test_support::TempDir;

TEST(GdsCfgFileTest, KeysAreTakenOnlyAtRecordStartsAndWithinTheirRanges) {
  struct Case {
    const char* text;
    int32_t max_point;
    double arc_resolution;
  };
  const Case cases[] = {
      {"MAX_POINT\n4096\n", 4096, 9.0},
      {"MAX_POINT\n4097\n", 200, 9.0},
      {"ARCRES\n0.0999\n", 200, 9.0},
      {"ARCRES\n0.1\n", 200, 0.1},
      // The second key follows a value line, not an empty line: not a record.
      {"MAX_POINT\n300\nARCRES\n1.5\n", 300, 9.0},
      {"   MAX_POINT\n300\n\n  ARCRES\n1.5\n", 300, 1.5},
      // Only the first record of a key counts.
      {"MAX_POINT\n300\n\nMAX_POINT\n400\n", 300, 9.0},
  };
  for (const Case& c : cases) {
    const GdsCfgSettings s = ParseGdsCfg(c.text, "");
    EXPECT_EQ(s.max_point, c.max_point) << c.text;
    EXPECT_DOUBLE_EQ(s.arc_resolution, c.arc_resolution) << c.text;
  }
}

TEST(GdsCfgFileTest, ListsUnitsWordsAndPrefixesFollowTheRecordRules) {
  std::string text = "ACADUNIT\n100\ninches\n\nGDSUNIT\n1000\num\n\nTSTYLE\n";
  for (int i = 0; i < 70; ++i) text += "S" + std::to_string(i) + " 2\n";
  text += "BAD 9\n\nLAYER\nmetal 7 3\nbad 1024 9\n\nLINK_MODE\noff\n\nBLOCK_TEXT\nYes\n\n";
  text += "MAX_LAYER\n1024\n\n";
  text += "TEXT_STROKE_WEIGHT\n2.5\n";
  const GdsCfgSettings s = ParseGdsCfg(text, "");
  EXPECT_EQ(s.acad_units, 100);
  EXPECT_EQ(s.acad_unit, "INCH");
  EXPECT_EQ(s.gds_unit, "UM");
  ASSERT_EQ(s.text_styles.size(), 64u);
  EXPECT_EQ(s.text_styles[63].name, "S63");
  // LAYER lines as the engine reads them: name, layer, colour 1-6.
  ASSERT_EQ(s.layers.size(), 2u);
  EXPECT_EQ(s.layers[0].name, "METAL");
  EXPECT_EQ(s.layers[0].colour, 3);
  EXPECT_EQ(s.layers[1].layer, 0);
  EXPECT_EQ(s.layers[1].colour, 3);
  EXPECT_EQ(s.max_layer, 64);  // above the 512 layers the engine takes
  EXPECT_FALSE(s.link_mode);
  EXPECT_TRUE(s.block_text);
  EXPECT_DOUBLE_EQ(s.text_stroke_weight, 2.5);
  // TEXT_STROKE_WEIGHT shares TEXT_STYLE's compare prefix and stands first: taken for it.
  EXPECT_EQ(s.text_style_names[0], "2.5");
}

TEST(GdsCfgFileTest, WrittenRecordsReadBackUnchanged) {
  GdsCfgSettings s;
  s.max_point = 512;
  s.include = {"TOP", "CELL_A"};
  s.layers = {{"POLY", 5, 4}};
  s.path = "ROUND";
  s.text_stroke_weight = 3.25;
  s.max_layer = 512;
  const std::string text = FormatGdsCfg(s);
  EXPECT_TRUE(text.starts_with("\r\nACADUNIT\r\n1000\r\nMM\r\n\r\nGDSUNIT\r\n"));
  EXPECT_TRUE(text.ends_with("TEXT_STROKE_WEIGHT\r\n3.250000000000\r\n\r\n\r\n"));
  const GdsCfgSettings back = ParseGdsCfg(text, "");
  EXPECT_EQ(back.max_point, 512);
  EXPECT_EQ(back.include, s.include);
  EXPECT_EQ(back.layers.size(), 1u);
  EXPECT_EQ(back.path, "ROUND");
  EXPECT_EQ(back.max_layer, 512);
  EXPECT_DOUBLE_EQ(back.text_stroke_weight, 3.25);
  EXPECT_EQ(FormatGdsCfg(back), text);
}

// A name is cut to 33 characters; carriage returns that end up at its end cannot be written
// (the line written loses them), so the name read drops them too and reads back the same.
TEST(GdsCfgFileTest, NamesCutToTheirLengthReadBackTheSame) {
  const std::string name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  const std::string line = name32 + "\r\r\rTAIL";
  const std::string text = "INCLUDE\r\n" + line + "\r\n\r\nEXCLUDE\r\n" + line + "\r\n\r\nTSTYLE\r\n" +
                           line + " 2\r\n\r\nLAYER\r\n" + line + " 7 3\r\n";
  const GdsCfgSettings first = ParseGdsCfg(text, "");
  const GdsCfgSettings again = ParseGdsCfg(FormatGdsCfg(first), "");
  for (const GdsCfgSettings* s : {&first, &again}) {
    EXPECT_EQ(s->include, std::vector<std::string>{name32});
    EXPECT_EQ(s->exclude, std::vector<std::string>{name32});
    ASSERT_EQ(s->text_styles.size(), 1u);
    EXPECT_EQ(s->text_styles[0].name, name32);
    ASSERT_EQ(s->layers.size(), 1u);
    EXPECT_EQ(s->layers[0].name, name32);
  }
}

class JobSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    job_.working_dir = dir_.path();
    job_.cfg_path = dir_.File("job.cfg");
    job_.scan.gds_unit = "UM";
  }
  TempDir dir_{"tabrun_settings"};
  TabrunJob job_;
};

TEST_F(JobSettingsTest, PgSettingsAreWrittenInTheLibrarysShape) {
  job_.options.mask_unit = 1;
  job_.options.min_dimension = 0.1;
  job_.options.optimize_level = 3;
  job_.options.scale = 2.0;
  job_.options.font_scales = {1.0, 2.0, 3.0, 4.0};
  job_.layers.selected = {7, 3};
  job_.layers.output_names[7] = "/masks/a b.em";
  job_.layers.output_names[3] = "c.em";
  const std::string text = FormatPgSettings(job_);
  EXPECT_TRUE(text.starts_with("SMALLANGLE\r\n0.500000\r\n\r\nSCALE\r\n2.000000\r\n\r\n"));
  EXPECT_NE(text.find("OLEVEL\r\n5\r\n\r\n"), std::string::npos);
  EXPECT_NE(text.find("TSCALE\r\n0.500000\r\n1.000000\r\n1.500000\r\n2.000000\r\n\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("ENGMIN\r\n0.100000\r\n\r\nENGMAX"), std::string::npos);
  EXPECT_NE(text.find("METMIN\r\n2.540000\r\n"), std::string::npos);
  EXPECT_LT(text.find("ENGMIN"), text.find("METMIN"));
  EXPECT_TRUE(text.ends_with("\r\nPG_OUTPUT\r\n7 /masks/a b.em\r\n3 c.em\r\n"));

  TabrunJob back;
  back.scan.gds_unit = "UM";
  ParsePgSettings(text, &back);
  EXPECT_EQ(back.options.mask_unit, 1);
  EXPECT_DOUBLE_EQ(back.options.min_dimension, 0.1);
  EXPECT_EQ(back.options.optimize_level, 3);
  EXPECT_EQ(back.options.font_scales, job_.options.font_scales);
  EXPECT_EQ(back.layers.selected, (std::vector<int>{7, 3}));
  EXPECT_EQ(back.layers.output_names[7], "/masks/a b.em");
}

TEST_F(JobSettingsTest, ReadingChecksEveryValueAndStopsAtTheListsEnd) {
  const std::string text =
      "SCALE\n0.0000001\n\nVERIFY\n11\n\nOLEVEL\n1\n\nENGMIN\n0.2\n\nMETMIN\n9\n\n"
      "BLOCK_TEXT\nNO\n\nPG_OUTPUT\n5 five.em\nx7 bad.em\n1024 big.em\n12\n9 nine.em\n\n"
      "ACADUNIT\n1000\nMM\n";
  job_.options.scale = 3.0;
  ParsePgSettings(text, &job_);
  EXPECT_DOUBLE_EQ(job_.options.scale, 3.0);  // below what the engine accepts
  EXPECT_EQ(job_.options.verify, 1);
  EXPECT_EQ(job_.options.optimize_level, 1);
  EXPECT_EQ(job_.options.mask_unit, 1);  // the ENG group came first
  EXPECT_DOUBLE_EQ(job_.options.min_dimension, 0.2);
  EXPECT_EQ(job_.options.translate_text, 0);
  EXPECT_DOUBLE_EQ(job_.options.feature_size, 5.0);           // no FEATURE: the UM preset
  EXPECT_EQ(job_.layers.selected, (std::vector<int>{5, 9}));  // "1000 MM" is not a layer

  TabrunJob mils;
  mils.scan.gds_unit = "MIL";
  ParsePgSettings("SMALLANGLE\n1\n", &mils);
  EXPECT_DOUBLE_EQ(mils.options.feature_size, 0.2);
}

TEST_F(JobSettingsTest, TheCfgFileKeepsBothRecordSetsAndRecordsItDoesNotManage) {
  test_support::WriteBytes(
      job_.cfg_path,
      "GERBER\r\naperture.cfg\r\n\r\nMAX_POINT\r\n300\r\n\r\nSMALLANGLE\r\n"
      "1.0\r\n\r\nFONTLIBS\r\n\r\nnext\r\n\r\n\r\n\r\nX_ENGINE_KEY\r\n1\r\n2\r\n");
  ReadJobSettings(&job_, job_.cfg_path);
  EXPECT_EQ(job_.cfg.max_point, 300);
  job_.options.translate_text = 1;
  job_.layers.selected = {1};
  job_.layers.output_names[1] = "one.em";
  std::string error;
  ASSERT_EQ(WriteJobSettings(job_, &error), 0) << error;
  const std::string cfg = ReadBytes(job_.cfg_path);
  const std::string pg = ReadBytes(dir_.File("pg.cfg"));
  const std::string gds = ReadBytes(dir_.File("gds.cfg"));
  EXPECT_EQ(pg, FormatPgSettings(job_));
  EXPECT_TRUE(cfg.starts_with(pg));
  EXPECT_NE(cfg.find("\r\nMAX_POINT\r\n300\r\n"), std::string::npos);
  EXPECT_NE(cfg.find("\r\nGERBER\r\naperture.cfg\r\n"), std::string::npos);
  EXPECT_NE(cfg.find("\r\nX_ENGINE_KEY\r\n1\r\n2\r\n"), std::string::npos);
  // "next" is FONTLIBS' second value, kept there and not taken for a record of its own.
  EXPECT_NE(cfg.find("\r\nFONTLIBS\r\n\r\nnext\r\n"), std::string::npos);
  EXPECT_EQ(cfg.find("next"), cfg.rfind("next"));
  EXPECT_EQ(gds, pg + "\r\nGERBER\r\naperture.cfg\r\n\r\nX_ENGINE_KEY\r\n1\r\n2\r\n");

  // Reading the combined file gives back both sets, and writing again changes nothing.
  TabrunJob again;
  again.working_dir = job_.working_dir;
  again.cfg_path = job_.cfg_path;
  ReadJobSettings(&again, job_.cfg_path);
  EXPECT_EQ(again.cfg.max_point, 300);
  EXPECT_EQ(again.options.translate_text, 1);
  EXPECT_EQ(again.layers.selected, (std::vector<int>{1}));
  ASSERT_EQ(WriteJobSettings(again, &error), 0) << error;
  EXPECT_EQ(ReadBytes(job_.cfg_path), cfg);
}

TEST_F(JobSettingsTest, AFailedWriteIsReportedAndLeavesTheOldFile) {
  test_support::WriteBytes(job_.cfg_path, "old");
  job_.cfg_path = dir_.File("missing/job.cfg");
  std::string error;
  EXPECT_EQ(WriteJobSettings(job_, &error), -1);
  EXPECT_NE(error.find("missing/job.cfg"), std::string::npos);
  // A read-only directory; root writes there anyway, so an ordinary user tries.
  job_.cfg_path = dir_.File("job.cfg");
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0500), 0);
  test_support::HandOver(dir_.path());
  EXPECT_EQ(test_support::RunUnprivileged([&] { return WriteJobSettings(job_, &error) == -1; }),
            true);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0700), 0);
  EXPECT_EQ(ReadBytes(job_.cfg_path), "old");
}

TEST_F(JobSettingsTest, NoSettingsFileReplacesTheLayout) {
  job_.gds_path = dir_.Write("chip.cfg", "GDSII bytes");
  job_.cfg_path = job_.gds_path;
  std::string error;
  EXPECT_EQ(WriteJobSettings(job_, &error), -1);
  EXPECT_NE(error.find("the GDS file itself"), std::string::npos);
  EXPECT_EQ(ReadBytes(job_.gds_path), "GDSII bytes");
}

TEST_F(JobSettingsTest, TheCopiesAreSkippedWhenTheyAreTheCfgFileItself) {
  job_.cfg_path = dir_.path() + "/./gds.cfg";
  std::string error;
  ASSERT_EQ(WriteJobSettings(job_, &error), 0) << error;
  // gds.cfg is the job's file: it holds the GDS.CFG records as well.
  EXPECT_NE(ReadBytes(dir_.File("gds.cfg")).find("ACADUNIT"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir_.File("pg.cfg")), FormatPgSettings(job_));
  // Another case is another file on this file system.
  job_.cfg_path = dir_.File("GDS.CFG");
  ASSERT_EQ(WriteJobSettings(job_, &error), 0) << error;
  EXPECT_EQ(ReadBytes(dir_.File("gds.cfg")), FormatPgSettings(job_));
}

TEST(TabrunOptionsTest, StoredValuesOutsideTheirRangesKeepTheDefaults) {
  TempDir dir("tabrun_options");
  const char* old = getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  {
    CAppProfile profile;
    ASSERT_TRUE(profile.Open("Tabrun"));
    profile.WriteString("Scale", "0.0000001");
    profile.WriteString("FeatureSize", "0");
    profile.WriteInt("OutputFormat", 3);
    profile.WriteInt("MaskUnit", 2);
    profile.WriteInt("OptimizeLevel", -1);
    profile.WriteInt("Verify", 7);
    profile.WriteInt("OverlapPercent", 51);
    profile.WriteString("WorkingDirectory", (dir.path() + "/gone").c_str());
    TabrunOptions options;
    LoadOptionDefaults(&options, profile);
    LoadFrameSettings(&options, profile);
    EXPECT_DOUBLE_EQ(options.scale, 1.0);
    EXPECT_DOUBLE_EQ(options.feature_size, 5.0);
    EXPECT_EQ(options.output_format, kFormatIntermediate);
    EXPECT_EQ(options.mask_unit, 1);
    EXPECT_EQ(options.optimize_level, 2);
    EXPECT_EQ(options.verify, 7);
    EXPECT_EQ(options.overlap_percent, 25);
    EXPECT_EQ(options.working_directory, "");
    options.scale = 0.25;
    ASSERT_EQ(SaveOptions(options, profile), 1);
    TabrunOptions back;
    LoadOptionDefaults(&back, profile);
    EXPECT_DOUBLE_EQ(back.scale, 0.25);
  }
  old ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
  EXPECT_FALSE(ScaleValid(0.000001));  // the engine would see 0.000001: not above 1e-6
  EXPECT_TRUE(ScaleValid(0.000002));
  EXPECT_FALSE(FeatureSizeValid(0.0000004));  // "%lf" gives 0.000000
}

TEST(JobFileNamesTest, ShellAndEngineShareEveryName) {
  const JobFileNames n = MakeJobFileNames("/data/Chip.v2/Top.Mask.GDS");
  EXPECT_EQ(n.base, "Top.Mask");
  EXPECT_EQ(n.log, "Top.Mask.log");
  EXPECT_EQ(n.scan_report, "Top.Mask.ssn");
  EXPECT_EQ(MakeJobFileNames("/W/CHIP.GDS").scan_report, "CHIP.SSN");
  EXPECT_EQ(MakeJobFileNames("dir.x\\chip").base, "chip");
  EXPECT_EQ(IntermediateFileName("TESTPATTERN", 5), "TESTPA05.int");
  EXPECT_EQ(IntermediateFileName("AB", 123), "AB123.int");
  EXPECT_EQ(ConverterResultName("/w/TESTPA05.int", true), "TESTPA05.em");
  EXPECT_EQ(ConverterResultName("TESTPA05.int", false), "TESTPA05.dwm");
}

}  // namespace
}  // namespace kavrinth
