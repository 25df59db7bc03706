// The job settings: the settings file's records and key table, the aperture file with
// its aperture list, CFG.TMP and its rewrite, and the loading order with path mode,
// outline and fonts.
#include "tabreng/job_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tabreng/side_files.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

using testing::ScratchJob;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 2;
  }
  return lines;
}

// ---- GDS.CFG ----

TEST(GdsCfg, ValuesAreTakenWithinTheirRanges) {
  struct Case {
    std::string text;
    std::function<bool(const GdsCfgValues&)> holds;
  };
  const Case cases[] = {
      {"ACADUNIT\n1000\ninches\n",
       [](auto& v) { return v.drawing_unit == 0.001 && v.unit_name == "INCH"; }},
      {"ACADUNIT\n250\nfeet\n",
       [](auto& v) { return v.drawing_unit == 0.004 && v.unit_name == "MIL"; }},
      {"GDSUNIT\n0\num\n", [](auto& v) { return v.gds_unit == 0.001 && v.unit_name == "UM"; }},
      {"MAX_POINT\n4096\n", [](auto& v) { return v.max_points == 4096; }},
      {"MAX_POINT\n4097\n", [](auto& v) { return v.max_points == 4096; }},
      {"MAX_POINT\n200\n", [](auto& v) { return v.max_points == 200; }},
      {"MAX_LAYER\n512\n", [](auto& v) { return v.max_layer == 512; }},
      {"MAX_LAYER\n513\n", [](auto& v) { return v.max_layer == 64; }},
      {"MAX_LAYER\n0\n", [](auto& v) { return v.max_layer == 64; }},
      {"ERROR_LAYER\n0\n", [](auto& v) { return v.error_layer == 0; }},
      {"ARCRES\n0.0099\n", [](auto& v) { return v.arc_resolution == 9.0; }},
      {"ARCRES\n0.01\n", [](auto& v) { return v.arc_resolution == 0.01; }},
      {"MIN_LINE\n0.25\n", [](auto& v) { return v.min_line == 0.25; }},
      {"SCALE_FACTOR\n-2\n", [](auto& v) { return v.scale_factor == 1.0; }},
      {"TSCALE\n2\n0\n3\n\n",
       [](auto& v) {
         return v.text_scales == std::array<double, 4>{2, 1, 3, 1};
       }},
      {"BLOCK_TEXT\nYes\n", [](auto& v) { return v.block_text; }},
      {"BLOCK_TEXT\nTRUE\n", [](auto& v) { return !v.block_text; }},
      {"LINK_MODE\noff\n", [](auto& v) { return !v.link_mode; }},
      {"MAP_CIRCLE\n1\n", [](auto& v) { return v.map_circle; }},
      {"PATH\nRound\n", [](auto& v) { return v.path_mode == kPathRound; }},
      {"PATH\nsquare\n", [](auto& v) { return v.path_mode == kPathLweight; }},
      {"REFLIBS\nfirst.lib\n" + std::string(50, 'r') + "\n",
       [](auto& v) {
         return v.reference_libraries[0] == "first.lib" &&
                v.reference_libraries[1] == std::string(43, 'r');
       }},
      {"GERBER\n  apertures.cfg  \n", [](auto& v) { return v.aperture_file == "apertures.cfg"; }},
      {"MAXERR\n\n", [](auto& v) { return v.max_errors == 0; }},  // an empty line reads as 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_TRUE(c.holds(ParseGdsCfg(c.text)));
  }
}

TEST(GdsCfg, AKeyCountsOnlyAtTheStartOfARecord) {
  // MAXERR directly after MIN_LINE's value is no key line; the first MAXERR record wins;
  // keys match by their compare length ("PATHS" is PATH); lines may end in CR LF and
  // start with blanks.
  const GdsCfgValues v = ParseGdsCfg(
      "MIN_LINE\r\n0.5\r\nMAXERR\r\n7\r\n\r\n  MAXERR extra words\r\n\t8\r\n\r\nMAXERR\r\n9\r\n"
      "\r\nPATHS\r\noutline\r\n");
  EXPECT_EQ(v.min_line, 0.5);
  EXPECT_EQ(v.max_errors, 8);
  EXPECT_EQ(v.path_mode, kPathOutline);
  // A key that is not the first word, or shorter than the compare length, is none.
  EXPECT_EQ(ParseGdsCfg("X MAXERR\n5\n").max_errors, 100);
  EXPECT_EQ(ParseGdsCfg("MAXE\n5\n").max_errors, 100);
}

TEST(GdsCfg, TheShellsPgSettingsGiveTextScalesAndBlockText) {
  const GdsCfgValues v = ParseGdsCfg(
      "SMALLANGLE\r\n0.100000\r\n\r\nSCALE\r\n2.000000\r\n\r\nBLOCK_TEXT\r\nYES\r\n\r\n"
      "TSCALE\r\n0.500000\r\n0.250000\r\n1.000000\r\n2.000000\r\n\r\n"
      "SHTSCALE\r\n1.0\r\n0.5\r\n2.0\r\n4.0\r\n\r\nPG_OUTPUT\r\n1 chip01.int\r\n");
  EXPECT_TRUE(v.block_text);
  EXPECT_EQ(v.text_scales, (std::array<double, 4>{0.5, 0.25, 1.0, 2.0}));
  EXPECT_EQ(v.scale_factor, 1.0);  // SCALE is not SCALE_FACTOR
  EXPECT_EQ(v.path_mode, kPathLweight);
}

TEST(GdsCfg, ListsEndAtAnEmptyLine) {
  const GdsCfgValues v =
      ParseGdsCfg("MAX_LAYER\n10\n\nLAYER\nmetal 1\npoly 25 5\nvia 3 9\n\nINCLUDE\n" +
                  std::string(40, 'n') + " x\nB\n\nTSTYLE\nbold 2\nwide 7\n\nCIRCUIT\n");
  ASSERT_EQ(v.layer_names.size(), 3u);
  EXPECT_EQ(v.layer_names[0].name, "metal");
  EXPECT_EQ(v.layer_names[0].colour, 2);
  EXPECT_EQ(v.layer_names[0].line_type, "CONTINUOUS");
  EXPECT_EQ(v.layer_names[1].layer, 5);   // 25 modulo MAX_LAYER 10
  EXPECT_EQ(v.layer_names[1].colour, 5);  // given
  EXPECT_EQ(v.layer_names[2].colour, 4);  // 9 is no colour
  EXPECT_EQ(v.include_names, (std::vector<std::string>{std::string(33, 'n'), "B"}));
  ASSERT_EQ(v.text_styles.size(), 2u);
  EXPECT_EQ(v.text_styles[0].value, 2);
  EXPECT_EQ(v.text_styles[1].value, 0);

  std::string many = "TSTYLE\n";
  for (int i = 0; i < 70; ++i) many += "s" + std::to_string(i) + " 1\n";
  EXPECT_EQ(ParseGdsCfg(many).text_styles.size(), kCfgMaxTextStyles);
}

TEST(GdsCfg, MissingFileLeavesTheDefaultsAndGdsCfgIsFoundAsLowerCase) {
  ScratchJob job;
  GdsCfgValues values;
  values.min_line = 5;
  EXPECT_EQ(ReadEngineGdsCfg("GDS.CFG", values), "");
  EXPECT_EQ(values.min_line, 0);  // nothing survives from before
  ScratchJob::Write("gds.cfg", "MIN_LINE\n2\n");
  EXPECT_EQ(ReadEngineGdsCfg("GDS.CFG", values), "gds.cfg");
  EXPECT_EQ(values.min_line, 2);
}

// ---- The aperture file ----

TEST(ApertureFile, KeywordsTakeTheFirstOrTheLastValidLine) {
  ApertureSettings s;
  ParseApertureFile(
      "APTUNITS feet\nAPTUNITS blue MM\napTunits INCH\n"
      "CIRCULAR maybe\nCIRCULAR on\nCIRCULAR 0\n"
      "FORMAT 3.5\nFORMAT 9.3\n"
      "LINE D12\nLINE D9\n"
      "OUTLINE ON D20\nOUTLINE 1 D21 D22\nOUTLINE OFF\n"
      "SUPPRESS CR\nSUPPRESS leading\n"
      "ETCH 0.0000001\nETCH -0.5\n"
      "TEXT 4\nFTEXT D30\nMSCALE 0\nMSCALE 2.5\n"
      "OFFSET0 1 2\nOFFSET0 3 1e13\n"
      "FONTDIR fonts\nARCRES\t5\n",  // the tab is dropped: "ARCRES5" is no keyword
      s);
  EXPECT_EQ(s.units, kApertureMm);
  EXPECT_TRUE(s.circular);
  EXPECT_EQ(s.integer_digits, 3);
  EXPECT_EQ(s.fraction_digits, 3);
  EXPECT_EQ(s.line_code, 12);
  EXPECT_TRUE(s.outline);
  EXPECT_EQ(s.outline_a, 21);
  EXPECT_EQ(s.outline_b, 22);
  EXPECT_TRUE(s.suppress_cr && s.suppress_leading);
  EXPECT_EQ(s.etch, -0.5);
  EXPECT_DOUBLE_EQ(s.text_factor, 0.25);
  EXPECT_EQ(s.text_code, 0);
  EXPECT_EQ(s.ftext_code, 30);
  EXPECT_EQ(s.ftext_factor, 0.02);
  EXPECT_EQ(s.scale, 2.5);
  EXPECT_EQ(s.offset_x, 1);
  EXPECT_EQ(s.offset_y, 2);
  EXPECT_EQ(s.font_directory, "fonts/");
  EXPECT_EQ(s.arc_resolution, 4.0);
}

TEST(ApertureFile, ApertureLinesBuildTheList) {
  ApertureSettings s;
  ParseApertureFile(
      "D10 0.5 D ROUND 0.5\nD5 a F ROUND 1\nD10000 b F ROUND 1\nD11 pad F square 2\n"
      "D12 ring F DONUT 3 1\nD13 x Q ROUND 1\nD11 pad2 f RECT 4 5\nd14 via F round 1.0\n"
      "D15 via2 F ROUND 2.0\n",
      s);
  ASSERT_EQ(s.apertures.size(), 5u);
  EXPECT_EQ(s.apertures[0].code, 10);
  EXPECT_EQ(s.apertures[0].kind, kApertureDraw);
  EXPECT_EQ(s.apertures[0].size1, 0.5);
  // A second D11 replaces text, kind and shape in place.
  EXPECT_EQ(s.apertures[1].code, 11);
  EXPECT_EQ(s.apertures[1].text, "pad2");
  EXPECT_EQ(s.apertures[1].shape, kApertureRect);
  EXPECT_EQ(s.ApertureSizeByCode(11), 0);  // a rectangle is not simple
  EXPECT_EQ(s.ApertureSizeByCode(12), 0);  // nor a donut with a hole
  EXPECT_EQ(s.ApertureSizeByCode(14), 1.0);
  EXPECT_EQ(s.ApertureCodeByName("via2"), 15);
  EXPECT_EQ(s.ApertureCodeByName("VIA2"), 0);
  // The nearest simple aperture: the first strictly closer one.
  EXPECT_EQ(s.NearestApertureCode(1.4), 14);
  EXPECT_EQ(s.NearestApertureCode(1.5), 14);
  EXPECT_EQ(s.NearestApertureCode(1.6), 15);
  EXPECT_EQ(s.NearestApertureSize(0.4), 0.5);
  EXPECT_EQ(ApertureSettings().NearestApertureCode(1.0), 10);
  EXPECT_EQ(ApertureSettings().NearestApertureSize(1.0), 0);
}

TEST(CfgTmp, WrittenFromTheApertureFileAndRewrittenForTheFeatureSize) {
  ScratchJob job;
  ScratchJob::Write("apt.cfg",
                    "APTUNITS MM\nFORMAT 3.5\nSUPPRESS CR\nMSCALE 4\nD10 a F ROUND 0.002\n"
                    "D12 b F SQUARE 0.0015\nD13 c F RECT 1 2\n");
  ApertureSettings s;
  ASSERT_EQ(ReadAptCfg("apt.cfg", "CFG.TMP", s), 0);
  std::vector<std::string> lines = Lines(ScratchJob::Read("CFG.TMP"));
  ASSERT_EQ(lines.size(), 12u + 9990u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 12),
            (std::vector<std::string>{"4", "3 5 1", "1", "0", "0", "4.000000", "10", "0 10 10",
                                      "4.000000", "10", "GBR_file.int", "GBR_file.gbr"}));
  EXPECT_EQ(lines[12], "0.002000");  // D10
  EXPECT_EQ(lines[13], "0.000000");  // D11: none
  EXPECT_EQ(lines[14], "0.001500");  // D12
  EXPECT_EQ(lines[15], "0.000000");  // D13: not simple

  ASSERT_EQ(RewriteCfgTmp(0.0014, 2.0, "CFG.TMP", "TMPCFG.TMP", s), 0);
  EXPECT_FALSE(ScratchJob::Exists("TMPCFG.TMP"));
  lines = Lines(ScratchJob::Read("CFG.TMP"));
  ASSERT_EQ(lines.size(), 12u + 9990u);
  EXPECT_EQ(lines[8], "0.500000");
  EXPECT_EQ(lines[9], "12");
  EXPECT_EQ(lines[14], "0.001500");
  EXPECT_EQ(s.first_code, 12);
  EXPECT_TRUE(s.outline);
  EXPECT_EQ(s.outline_a, 12);
  EXPECT_EQ(s.outline_b, 12);
}

TEST(CfgTmp, WithoutAnApertureFileItStaysEmpty) {
  ScratchJob job;
  ApertureSettings s;
  s.units = kApertureInch;
  EXPECT_EQ(ReadAptCfg("", "CFG.TMP", s), kApertureFileUnreadable);
  EXPECT_EQ(s.units, kApertureMils);
  EXPECT_EQ(ReadAptCfg("missing.cfg", "CFG.TMP", s), kApertureFileUnreadable);
  EXPECT_EQ(ScratchJob::Read("CFG.TMP"), "");
  EXPECT_EQ(RewriteCfgTmp(1.0, 1.0, "CFG.TMP", "TMPCFG.TMP", s), -1);
  EXPECT_EQ(ScratchJob::Read("CFG.TMP"), "");
  EXPECT_FALSE(s.outline);
  // CFG.TMP that cannot be created.
  std::filesystem::create_directory("dir.tmp");
  EXPECT_EQ(ReadAptCfg("", "dir.tmp", s), kCfgTmpNotCreated);
}

// ---- Loading the job settings ----

TEST(LoadJobSettings, PathModeIsOutlineUnlessTheCommandLineSaysOtherwise) {
  ScratchJob job;
  ScratchJob::Write("gds.cfg", "PATH\nround\n\nSCALE_FACTOR\n2\n\nGERBER\napt.cfg\n");
  ScratchJob::Write("apt.cfg",
                    "APTUNITS INCH\nARCRES 12\nD10 a F ROUND 0.0004\n"
                    "D11 b F ROUND 0.0014\n");
  EngineOptions options;
  options.feature_size = 1.5;  // mils: 0.0015 inch
  JobSettings settings;
  LoadJobSettings(options, "", settings);
  EXPECT_EQ(settings.settings_path, "gds.cfg");
  EXPECT_EQ(settings.path_mode, kPathOutline);
  EXPECT_EQ(settings.arc_resolution, 12);
  EXPECT_EQ(settings.aperture.first_code, 11);
  EXPECT_TRUE(settings.local_fill);  // the outline came from the rewrite
  EXPECT_TRUE(settings.aperture.outline);
  EXPECT_EQ(Lines(ScratchJob::Read(std::string(kCfgTmpName)))[8], "0.500000");

  options.path_mode_override = kPathLwidening;
  options.outline_given = true;
  options.outline_a = 30;
  options.outline_b = 31;
  LoadJobSettings(options, "", settings);
  EXPECT_EQ(settings.path_mode, kPathLwidening);
  EXPECT_FALSE(settings.local_fill);
  EXPECT_EQ(settings.aperture.outline_a, 30);
  EXPECT_EQ(settings.aperture.outline_b, 31);
}

TEST(LoadJobSettings, TextStrokingNeedsTheFontAndBlockText) {
  ScratchJob job;
  EngineOptions options;
  options.feature_size = 1;
  JobSettings settings;
  ScratchJob::Write("gds.cfg", "BLOCK_TEXT\nON\n");
  LoadJobSettings(options, KAVRINTH_MIRELT_PATH, settings);
  EXPECT_TRUE(settings.text_stroking);
  for (const auto& font : settings.fonts) {
    ASSERT_NE(font, nullptr);
    EXPECT_GT(font->height, 0);
  }

  ScratchJob::Write("gds.cfg", "BLOCK_TEXT\nOFF\n");
  LoadJobSettings(options, KAVRINTH_MIRELT_PATH, settings);
  EXPECT_FALSE(settings.text_stroking);
  EXPECT_NE(settings.fonts[0], nullptr);

  // No support font, or one that does not load: no stroking.
  ScratchJob::Write("gds.cfg", "BLOCK_TEXT\nON\n");
  LoadJobSettings(options, "", settings);
  EXPECT_FALSE(settings.text_stroking);
  ScratchJob::Write("bad.shx", "AutoCAD-86 shapes 1.0\r\n\x1A");
  LoadJobSettings(options, "bad.shx", settings);
  EXPECT_FALSE(settings.text_stroking);
  EXPECT_EQ(settings.fonts[0], nullptr);
}

}  // namespace
}  // namespace kavrinth
