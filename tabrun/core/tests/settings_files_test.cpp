// The job's settings files: GDS.CFG records, PG settings records, the files written from
// them, and the stored options.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>

#include "support/app_profile.h"
#include "support/job_file_names.h"
#include "support/notifier.h"
#include "tabrun/core/gds_cfg_file.h"
#include "tabrun/core/job_actions.h"
#include "tabrun/core/job_log.h"
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
      // The engine's limits: above 0.00999 and below 90.0999.
      {"ARCRES\n0.00999\n", 200, 9.0},
      {"ARCRES\n0.0999\n", 200, 0.0999},
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
  // LAYER lines as the engine reads them: name as written, layer, colour 1-6.
  ASSERT_EQ(s.layers.size(), 2u);
  EXPECT_EQ(s.layers[0].name, "metal");
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

// A hand-edited record holding a value the engine would refuse or read otherwise: the note
// names its line and the engine's limit, the record is written back as it stands, and
// writing and reading it again keep it so.
TEST(GdsCfgFileTest, ValuesTheEngineWouldChangeAreNamedAndTheirRecordsKeptAsWritten) {
  std::string long_list = "INCLUDE\n";
  for (int i = 0; i < 300; ++i) long_list += "CELL" + std::to_string(i) + "\n";
  long_list += "\n";
  const std::string long_library(50, 'L');
  struct Case {
    std::string text;
    std::string note;  // "line <n>: <KEY> ..."
    std::string kept;  // the record as written back
  };
  const Case cases[] = {
      {"MAX_LAYER\n1024\n",
       "line 2: MAX_LAYER '1024' is outside 1 to 512, the engine's limits; the engine uses 64.",
       "\r\nMAX_LAYER\r\n1024\r\n"},
      {"LAYER\nPOLY 5 200\n\n",
       "line 2: LAYER 'POLY 5 200': the engine reads the third number as a colour 1 to 6; it "
       "uses colour 2.",
       "\r\nLAYER\r\nPOLY 5 200\r\n\r\n"},
      {"MAX_LAYER\n16\n\nLAYER\nMETAL 20 3\nPOLY 5\n\n",
       "line 5: LAYER 'METAL 20 3': the engine reads the GDS layer as 4 (modulo MAX_LAYER 16).",
       "\r\nLAYER\r\nMETAL 20 3\r\nPOLY 5\r\n\r\n"},
      {"LAYER\nVIA 2000 1\n\n",
       "line 2: LAYER 'VIA 2000 1': the GDS layer is not one of 0 to 1023, the engine's limits; "
       "the engine uses 0.",
       "\r\nLAYER\r\nVIA 2000 1\r\n\r\n"},
      {"ERROR_LAYER\n600\n",
       "line 2: ERROR_LAYER '600' is outside 0 to 512, the engine's limits; the engine uses -1.",
       "\r\nERROR_LAYER\r\n600\r\n"},
      {"ACADUNIT\n0\nMM\n",
       "line 2: ACADUNIT '0' is outside 1 to 9999999, the engine's limits; the engine uses 1000.",
       "\r\nACADUNIT\r\n0\r\nMM\r\n"},
      {"GDSUNIT\n1000\nfeet\n",
       "line 3: GDSUNIT 'feet' is not a unit the engine knows; it reads it as MIL.",
       "\r\nGDSUNIT\r\n1000\r\nfeet\r\n"},
      // A line of its own would lose the CRs at the name's end.
      {"INCLUDE\nTOP\nA\r\r\t\r\n\n",
       "line 3: INCLUDE 'A<CR><CR>\t': the name ends in a carriage return, which the engine "
       "keeps in it.",
       "\r\nINCLUDE\r\nTOP\r\nA\r\r\t\r\n\r\n"},
      {"SCALE_FACTOR\n0\n",
       "line 2: SCALE_FACTOR '0' is not above 1e-12 and below 1e+12, the engine's limits; the "
       "engine uses 1.",
       "\r\nSCALE_FACTOR\r\n0\r\n"},
      {"\nMAXERR\n12abc\n", "line 3: MAXERR '12abc' is not a number; the engine reads it as 12.",
       "\r\nMAXERR\r\n12abc\r\n"},
      {"MAX_POINT\n\n",
       "line 2: MAX_POINT '' is outside 4 to 4096, the engine's limits; the engine uses 4096.",
       "\r\nMAX_POINT\r\n\r\n"},
      {"BLOCK_TEXT\nmaybe\n",
       "line 2: BLOCK_TEXT 'maybe' is neither yes nor no; the engine reads it as OFF.",
       "\r\nBLOCK_TEXT\r\nmaybe\r\n"},
      {"PATH\ncurved\n",
       "line 2: PATH 'curved' is not OUTLINE, LWEIGHT, LWIDENING or ROUND; the engine keeps "
       "LWEIGHT.",
       "\r\nPATH\r\ncurved\r\n"},
      // A carriage return or another control character in a value is spelled out: a message
      // box or a log would not show it.
      {"PATH\nROUND\r\r\n",
       "line 2: PATH 'ROUND<CR>' is not OUTLINE, LWEIGHT, LWIDENING or ROUND; the engine "
       "keeps LWEIGHT.",
       "\r\nPATH\r\nROUND\r\r\n"},
      {"BLOCK_TEXT\nON\x0c\n",
       "line 2: BLOCK_TEXT 'ON<0x0C>' is neither yes nor no; the engine reads it as OFF.",
       "\r\nBLOCK_TEXT\r\nON\x0c\r\n"},
      {"EXCLUDE\nTOP extra\n\n",
       "line 2: EXCLUDE 'TOP extra': the engine reads only the first word, 'TOP'.",
       "\r\nEXCLUDE\r\nTOP extra\r\n\r\n"},
      {"TSTYLE\nS1 7\n\n",
       "line 2: TSTYLE 'S1 7': the style number is not one of 0 to 3, the engine's limits; the "
       "engine uses 0.",
       "\r\nTSTYLE\r\nS1 7\r\n\r\n"},
      {"REFLIBS\n" + long_library + "\n\n",
       "line 2: REFLIBS '" + long_library + "': the engine keeps the first 43 characters",
       "\r\nREFLIBS\r\n" + long_library + "\r\n\r\n\r\n"},
      {long_list,
       "line 258: INCLUDE 'CELL256': the engine reads at most 256 lines of the list; this line "
       "and those after it are not read.",
       "\r\nCELL255\r\nCELL256\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    const std::vector<std::string> notes = GdsCfgNotes(c.text, "job.cfg");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0].starts_with("job.cfg, " + c.note)) << notes[0];
    const std::string written = FormatGdsCfg(ParseGdsCfg(c.text, ""));
    EXPECT_NE(written.find(c.kept), std::string::npos) << written;
    EXPECT_EQ(GdsCfgNotes(written, "job.cfg").size(), 1u);
    EXPECT_EQ(FormatGdsCfg(ParseGdsCfg(written, "")), written);
  }
  // What the engine takes as written gives no note, and is written back as the shell
  // writes every record.
  for (const char* text :
       {"ERROR_LAYER\n-1\n", "ARCSAG\n0\n", "ARCRES\n0.05\n", "LAYER\nmetal 7 3\nPOLY 5\n\n",
        "ACADUNIT\n100\ninches\n", "BLOCK_TEXT\nno\n"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(GdsCfgNotes(text, "job.cfg").empty());
    EXPECT_TRUE(ParseGdsCfg(text, "").kept.empty());
  }
  EXPECT_TRUE(GdsCfgNotes(FormatGdsCfg(GdsCfgSettings()), "job.cfg").empty());
  // A record cut short by the end of the file is named, and written as the shell writes it,
  // so that the records after it keep their own lines.
  for (const char* text : {"ACADUNIT\n0", "TSCALE\n0\n"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(GdsCfgNotes(text, "job.cfg").size(), 1u);
    const GdsCfgSettings read = ParseGdsCfg(text, "");
    EXPECT_TRUE(read.kept.empty());
    const std::string written = FormatGdsCfg(read);
    EXPECT_EQ(FormatGdsCfg(ParseGdsCfg(written, "")), written);
    EXPECT_TRUE(GdsCfgNotes(written, "job.cfg").empty());
  }
  // The value read is the engine's; a changed value is written as the shell writes it.
  GdsCfgSettings changed = ParseGdsCfg("MAX_LAYER\n1024\n", "");
  EXPECT_EQ(changed.max_layer, 64);
  changed.max_layer = 128;
  EXPECT_NE(FormatGdsCfg(changed).find("\r\nMAX_LAYER\r\n128\r\n"), std::string::npos);
}

// Small and long reals: what is written reads back as the very same value.
TEST(GdsCfgFileTest, RealsReadBackAsTheValuesWritten) {
  EXPECT_EQ(CfgRealText(2e-7), "0.0000002");
  EXPECT_EQ(CfgRealText(0.5), "0.500000");
  EXPECT_EQ(CfgRealText(1.5, 12), "1.500000000000");
  EXPECT_EQ(CfgRealText(-3.25), "-3.250000");
  for (double v : {2e-7, 1.5e-12, 3e-11, 0.1, 1.0 / 3, 2.0 / 3e5, 123456.789, 5e11, 999999.75}) {
    SCOPED_TRACE(v);
    GdsCfgSettings s;
    s.scale_factor = v;
    s.min_line = v;
    s.arc_sag = v;
    s.text_scales = {v, v * 1.5, v / 1.25, v};
    s.text_stroke_weight = v;
    if (v > 0.00999 && v < 90.0999) s.arc_resolution = v;
    const GdsCfgSettings back = ParseGdsCfg(FormatGdsCfg(s), "");
    EXPECT_EQ(back.scale_factor, v);
    EXPECT_EQ(back.min_line, v);
    EXPECT_EQ(back.arc_sag, v);
    EXPECT_EQ(back.text_scales, s.text_scales);
    EXPECT_EQ(back.text_stroke_weight, v);
    EXPECT_EQ(back.arc_resolution, s.arc_resolution);
    EXPECT_EQ(FormatGdsCfg(back), FormatGdsCfg(s));
  }
}

// A name is cut to 33 characters; carriage returns that end up at its end cannot be written
// (the line written loses them), so the name read drops them too and reads back the same.
TEST(GdsCfgFileTest, NamesCutToTheirLengthReadBackTheSame) {
  const std::string name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  const std::string line = name32 + "\r\r\rTAIL";
  const std::string text = "INCLUDE\r\n" + line + "\r\n\r\nEXCLUDE\r\n" + line +
                           "\r\n\r\nTSTYLE\r\n" + line + " 2\r\n\r\nLAYER\r\n" + line + " 7 3\r\n";
  const GdsCfgSettings first = ParseGdsCfg(text, "");
  const GdsCfgSettings again = ParseGdsCfg(FormatGdsCfg(first), "");
  // The engine's 33 characters end in a CR, which a line written for the name keeps.
  const std::string kept = name32 + "\r";
  for (const GdsCfgSettings* s : {&first, &again}) {
    EXPECT_EQ(s->include, std::vector<std::string>{kept});
    EXPECT_EQ(s->exclude, std::vector<std::string>{kept});
    ASSERT_EQ(s->text_styles.size(), 1u);
    EXPECT_EQ(s->text_styles[0].name, kept);
    ASSERT_EQ(s->layers.size(), 1u);
    EXPECT_EQ(s->layers[0].name, kept);
  }
  // A library name cut with white space at its end loses it, as a line written for it would.
  const std::string library = "r\r" + std::string(41, ' ') + "sfSt.lib";
  const GdsCfgSettings cut = ParseGdsCfg("REFLIBS\r\n" + library + "\r\n", "");
  EXPECT_EQ(cut.ref_libs[0], "r");
  EXPECT_EQ(ParseGdsCfg(FormatGdsCfg(cut), "").ref_libs, cut.ref_libs);
}

// A fixed-count record's value after an empty slot stands, written back, at a record start:
// one that reads as a key (a GDS.CFG key by its first word, a PG key as the whole line) would
// be read back as that key's record. It is not taken, the note names it, and the file
// written reads back as the same values.
TEST(GdsCfgFileTest, AValueThatWouldStartARecordIsNotTaken) {
  const std::string long_library(50, 'L');
  struct Case {
    std::string text;
    std::string note;                 // "line <n>: <KEY> '<value>' ..."
    std::vector<std::string> writes;  // records of the file written
  };
  const Case cases[] = {
      // The long name is kept out and written as an empty slot.
      {"FONTLIBS\n" + long_library + "\nREFLIBS\nx\ny\n\nREFLIBS\na\nb\n",
       "line 3: FONTLIBS 'REFLIBS' follows an empty value",
       {"\r\nFONTLIBS\r\n\r\n\r\nx\r\ny\r\n\r\n", "\r\nREFLIBS\r\na\r\nb\r\n\r\n"}},
      {"REFLIBS\n\nTEXT_FONT f\n\nTEXT_FONT\nt1\nt2\nt3\nt4\n",
       "line 3: REFLIBS 'TEXT_FONT f' follows an empty value",
       {"\r\nREFLIBS\r\n\r\n\r\n\r\n"}},
      // A PG key: the PG reader would take it for the job's feature size.
      {"TEXT_STYLE\nA\n\nFEATURE\n0.25\n",
       "line 4: TEXT_STYLE 'FEATURE' follows an empty value",
       {"\r\nTEXT_STYLE\r\nA\r\n\r\nSTANDARD\r\n0.25\r\n\r\n"}},
      // A record kept as written for its notes is not kept when it holds such a line.
      {"REFLIBS\na\nb\n\nACADUNIT\n\nREFLIBS\n",
       "line 7: ACADUNIT 'REFLIBS' is not a unit",
       {"\r\nACADUNIT\r\n1000\r\nMIL\r\n", "\r\nREFLIBS\r\na\r\nb\r\n\r\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<std::string> notes = GdsCfgNotes(c.text, "f");
    bool named = false;
    for (const std::string& note : notes) named |= note.starts_with("f, " + c.note);
    EXPECT_TRUE(named) << testing::PrintToString(notes);
    const std::string written = FormatGdsCfg(ParseGdsCfg(c.text, ""));
    for (const std::string& record : c.writes) {
      EXPECT_NE(written.find(record), std::string::npos) << written;
    }
    EXPECT_EQ(FormatGdsCfg(ParseGdsCfg(written, "")), written);
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
  // The CFG file read into a new job and saved again: its bytes then.
  std::string ReadAndSavedAgain(const std::string& path) {
    TabrunJob again;
    again.working_dir = dir_.path();
    again.cfg_path = path;
    again.scan.gds_unit = "UM";
    ReadJobSettings(&again, again.cfg_path);
    EXPECT_TRUE(SaveJobSettings(again));
    return ReadBytes(path);
  }
  // A new job that chooses the CFG file at path as Select/Create CFG File does; the messages
  // it shows go to the notifier.
  TabrunJob ChosenWith(const std::string& path, ScriptedNotifier* notifier) {
    TabrunJob chosen;
    chosen.working_dir = dir_.path();
    chosen.scan.gds_unit = "UM";
    ScopedNotifier scoped(notifier);
    bool failed = true;
    SelectCfgFile(&chosen, path, CAppProfile(), &failed);
    EXPECT_FALSE(failed);
    return chosen;
  }
  // The job log of a run of the job (an engine log of one line), or "" when it failed.
  std::string JobLogOfARun(TabrunJob* job) {
    job->gds_path = dir_.Write("chip.gds", "GDSII");
    const JobFileNames names = MakeJobFileNames(job->gds_path);
    dir_.Write(names.log, "engine log\r\n");
    std::string error;
    EXPECT_EQ(RebuildJobLog(*job, RunTiming(), false, &error), 0) << error;
    return ReadBytes(job->InWorkingDir(names.log));
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

// The PG options round trip: read, write, read gives the same values, small ones too.
TEST_F(JobSettingsTest, PgSettingsReadBackAsTheValuesWritten) {
  struct Case {
    double scale, font, feature, small_angle, compensation, dimension;
    int32_t mask_unit;
  };
  const Case cases[] = {
      {1.0, 1.0, 0.5, 0.5, 0.0, 0.1, 0},
      {3e-6, 2e-7, 1.0 / 3, 1.0 / 3, 1e-9, 2e-7, 1},
      {3.0, 1.0 / 7, 123456.789, 1e-7, -2.5e-8, 1.0 / 3, 0},
      {999999.5, 3e5, 7e-6, 0.25, 1e-13, 5e-7, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scale);
    TabrunOptions& o = job_.options;
    o.scale = c.scale;
    o.font_scales = {c.font, c.font * 2, c.font * 3, c.font};
    o.feature_size = c.feature;
    o.small_angle = c.small_angle;
    o.compensation = c.compensation;
    o.min_dimension = c.dimension;
    o.max_dimension = c.dimension * 9;
    o.mask_sag = c.dimension / 7;
    o.mask_unit = c.mask_unit;
    const std::string text = FormatPgSettings(job_);
    TabrunJob back;
    back.scan.gds_unit = "UM";
    ParsePgSettings(text, &back);
    const TabrunOptions& b = back.options;
    EXPECT_EQ(b.scale, o.scale);
    EXPECT_EQ(b.font_scales, o.font_scales);
    EXPECT_EQ(b.feature_size, o.feature_size);
    EXPECT_EQ(b.small_angle, o.small_angle);
    EXPECT_EQ(b.compensation, o.compensation);
    EXPECT_EQ(b.min_dimension, o.min_dimension);
    EXPECT_EQ(b.max_dimension, o.max_dimension);
    EXPECT_EQ(b.mask_sag, o.mask_sag);
    EXPECT_EQ(b.mask_unit, o.mask_unit);
    EXPECT_EQ(FormatPgSettings(back), text);
    // The engine takes TSCALE from these records: the font scales over the scale.
    const GdsCfgSettings engine_view = ParseGdsCfg(text, "");
    for (size_t i = 0; i < 4; ++i)
      EXPECT_EQ(engine_view.text_scales[i], o.font_scales[i] / o.scale);
  }
}

// A PG key is a key only where a record starts, so a structure of a name list never sets a
// PG option.
TEST_F(JobSettingsTest, PgKeysCountOnlyWhereARecordStarts) {
  struct Case {
    const char* text;
    double feature_size;
    double scale;
    std::vector<int> selected;
  };
  const Case cases[] = {
      {"INCLUDE\nFEATURE\n10UM_MARK\n\n", 5.0, 1.0, {3}},
      {"EXCLUDE\nTOP\nPG_OUTPUT\n7 seven.em\n\n", 5.0, 1.0, {3}},
      {"INCLUDE\nSCALE\n0.5\n\n", 5.0, 1.0, {3}},
      {"MAX_POINT\n300\nFEATURE\n10\n", 5.0, 1.0, {3}},
      {"FEATURE\n10\n", 10.0, 1.0, {3}},
      {"MAXERR\n5\n\nFEATURE\n10\n\nPG_OUTPUT\n7 seven.em\n", 10.0, 1.0, {7}},
      {"   \nSCALE\n0.5\n", 5.0, 0.5, {3}},  // a line of blanks ends a record too
      {"SCALE\n\nFEATURE\n7\n", 7.0, 1.0, {3}},
      {"SCALE\n0.5\nFEATURE\n7\n", 5.0, 0.5, {3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TabrunJob job;
    job.scan.gds_unit = "UM";
    job.layers.selected = {3};
    ParsePgSettings(c.text, &job);
    EXPECT_EQ(job.options.feature_size, c.feature_size);
    EXPECT_EQ(job.options.scale, c.scale);
    EXPECT_EQ(job.layers.selected, c.selected);
  }
}

// Saving a job whose CFG file holds lines that end records for one reader and not for
// another: the records read back are the ones saved. A line holding only a CR is empty for
// every reader, as for the engine.
TEST_F(JobSettingsTest, RecordsReadBackAsSavedWhereverTheFileEndedThem) {
  struct Case {
    const char* text;
    double feature_size;  // read back
    const char* kept;     // in the file saved
  };
  const Case cases[] = {
      // The old layer list after a CR-only line is no part of the record before it.
      {"X_REC\r\nv\r\n\r\r\nPG_OUTPUT\r\n5 five.em\r\n", 5.0, "\r\nX_REC\r\nv\r\n"},
      // The record after the list is not taken for more of the list.
      {"PG_OUTPUT\r\n5 five.em\r\n\r\r\nX_REC\r\nv\r\n", 5.0, "\r\nX_REC\r\nv\r\n"},
      // FEATURE in TEXT_STYLE's values after an empty one: the later record is the job's.
      {"TEXT_STYLE\r\nA\r\n\r\nFEATURE\r\n0.25\r\n\r\nFEATURE\r\n0.5\r\n", 0.5,
       "\r\nTEXT_STYLE\r\nA\r\n\r\nSTANDARD\r\n0.25\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    test_support::WriteBytes(job_.cfg_path, c.text);
    TabrunJob job;
    job.working_dir = job_.working_dir;
    job.cfg_path = job_.cfg_path;
    job.scan.gds_unit = "UM";
    ReadJobSettings(&job, job.cfg_path);
    job.layers.selected = {1};
    job.layers.CurrentNames()[1] = "one.em";
    std::string error;
    ASSERT_EQ(WriteJobSettings(job, &error), 0) << error;
    const std::string saved = ReadBytes(job_.cfg_path);
    EXPECT_NE(saved.find(c.kept), std::string::npos) << saved;
    TabrunJob again;
    again.working_dir = job_.working_dir;
    again.cfg_path = job_.cfg_path;
    again.scan.gds_unit = "UM";
    ReadJobSettings(&again, again.cfg_path);
    EXPECT_EQ(again.layers.selected, (std::vector<int>{1})) << saved;
    EXPECT_EQ(again.options.feature_size, c.feature_size);
  }
}

// TSCALE and BLOCK_TEXT are PG keys and GDS.CFG keys: the PG records written first are the
// ones read, so a GDS.CFG record of them that the old file held is not written again.
TEST_F(JobSettingsTest, TextScalesAndBlockTextAreWrittenFromThePgOptions) {
  for (const char* text : {"TSCALE\r\n1\r\n1\r\n1\r\n1.0\rJ\r\n", "BLOCK_TEXT\r\nmaybe\r\n"}) {
    SCOPED_TRACE(text);
    test_support::WriteBytes(job_.cfg_path, text);
    TabrunJob job;
    job.working_dir = job_.working_dir;
    job.cfg_path = job_.cfg_path;
    ReadJobSettings(&job, job.cfg_path);
    std::string error;
    ASSERT_EQ(WriteJobSettings(job, &error), 0) << error;
    const std::string saved = ReadBytes(job_.cfg_path);
    EXPECT_EQ(saved.find("\rJ"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("maybe"), std::string::npos) << saved;
    TabrunJob again;
    again.working_dir = job_.working_dir;
    ReadJobSettings(&again, job_.cfg_path);
    EXPECT_EQ(FormatGdsCfg(again.cfg), FormatGdsCfg(CfgAsWritten(job)));
  }
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

// Select/Create CFG File on a hand-edited file: the records stay as written through every
// save. The values the engine would refuse or change are named, at the choice and in the
// job log, only where the engine reads them: in gds.cfg chosen as the CFG file. Another CFG
// file's records are never copied to the gds.cfg the engine reads (it holds the PG settings
// and the records the shell does not manage), so nothing is said of them.
TEST_F(JobSettingsTest, AHandEditedCfgKeepsItsRecordsAndTheValuesTheEngineReadsAreNamed) {
  const std::string text =
      "MAX_POINT\r\n300\r\n\r\nMAX_LAYER\r\n1024\r\n\r\n"
      "LAYER\r\nPOLY 5 200\r\nMETAL 7 3\r\n\r\n";
  for (const bool engine_reads : {false, true}) {
    TabrunJob job;
    job.working_dir = dir_.path();
    job.cfg_path = dir_.File(engine_reads ? "gds.cfg" : "job.cfg");
    job.scan.gds_unit = "UM";
    SCOPED_TRACE(job.cfg_path);
    test_support::WriteBytes(job.cfg_path, text);
    ScriptedNotifier notifier;
    ScopedNotifier scoped(&notifier);
    bool failed = true;
    SelectCfgFile(&job, job.cfg_path, CAppProfile(), &failed);
    EXPECT_FALSE(failed);
    EXPECT_EQ(job.cfg.max_point, 300);
    if (engine_reads) {
      ASSERT_EQ(notifier.shown.size(), 1u);
      const std::string& message = notifier.shown[0].text;
      EXPECT_NE(message.find(job.cfg_path + ", line 5: MAX_LAYER '1024' is outside 1 to 512"),
                std::string::npos)
          << message;
      EXPECT_NE(message.find(job.cfg_path + ", line 8: LAYER 'POLY 5 200': the engine reads the "
                                            "third number as a colour 1 to 6"),
                std::string::npos)
          << message;
      EXPECT_EQ(message.find("METAL"), std::string::npos);
    } else {
      EXPECT_TRUE(notifier.shown.empty()) << notifier.shown[0].text;
    }

    ASSERT_TRUE(SaveJobSettings(job));
    const std::string cfg = ReadBytes(job.cfg_path);
    EXPECT_NE(cfg.find("\r\nMAX_LAYER\r\n1024\r\n"), std::string::npos) << cfg;
    EXPECT_NE(cfg.find("\r\nLAYER\r\nPOLY 5 200\r\nMETAL 7 3\r\n\r\n"), std::string::npos) << cfg;
    EXPECT_NE(cfg.find("\r\nMAX_POINT\r\n300\r\n"), std::string::npos);
    const std::vector<std::string> notes = JobSettingsNotes(job.cfg_path);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(EngineSettingsNotes(job).size(), engine_reads ? 2u : 0u);
    // Read again and saved again, the file stays as it is.
    EXPECT_EQ(ReadAndSavedAgain(job.cfg_path), cfg);

    // After a run the job log lists them where the file now holds them, when the engine
    // read them.
    const std::string log = JobLogOfARun(&job);
    if (engine_reads) {
      EXPECT_NE(log.find("\r\nSettings File Notes:\r\n" + notes[0] + "\r\n" + notes[1] + "\r\n"),
                std::string::npos)
          << log;
    } else {
      EXPECT_EQ(log.find("Settings File Notes"), std::string::npos) << log;
    }
    EXPECT_NE(log.find("engine log\r\n"), std::string::npos);
  }
}

// A CFG file as Tabrun writes it, edited by hand in its GDS.CFG records, then chosen and
// saved (as the Translate does before the engine runs), as a CFG file of its own and as the
// gds.cfg the engine reads. A record that no reader takes, because the PG record of its key
// comes first, stays as the user wrote it and is named; a record that is read keeps its
// value; the job's options follow what the engine reads.
TEST_F(JobSettingsTest, AHandEditedRecordSurvivesTheSavesAsWrittenOrWithItsValue) {
  struct Case {
    const char* from;     // a record of the file as written
    const char* to;       // the user's edit of it
    bool in_pg_part;      // the record edited is a PG one, else one of the GDS.CFG part
    const char* dropped;  // a PG record the user also removed, or none
    const char* saved;    // in the file saved
    const char* note;     // in the message at the choice and in the job log, or none
    int translate_text;   // the job's option after the choice
    double font_scale;    // of Font 0
  };
  const char* const pg_block_text = "BLOCK_TEXT\r\nYES\r\n\r\n";
  const char* const pg_tscale = "TSCALE\r\n1.000000\r\n1.000000\r\n1.000000\r\n1.000000\r\n\r\n";
  const Case cases[] = {
      {"BLOCK_TEXT\r\nON\r\n", "BLOCK\r\nOFF\r\n", false, nullptr, "\r\nBLOCK\r\nOFF\r\n",
       "BLOCK_TEXT record 'BLOCK' with 'OFF' is not read: the record at line 22 comes before "
       "it and is the one read, with 'YES'.",
       1, 1.0},
      {"BLOCK_TEXT\r\nON\r\n", "BLOCK_TEXT\r\nOFF\r\n", false, nullptr, "\r\nBLOCK_TEXT\r\nOFF\r\n",
       "BLOCK_TEXT record 'BLOCK_TEXT' with 'OFF' is not read", 1, 1.0},
      {"BLOCK_TEXT\r\nON\r\n", "BLOCK_T\r\nno\r\n", false, nullptr, "\r\nBLOCK_T\r\nno\r\n",
       "BLOCK_TEXT record 'BLOCK_T' with 'no' is not read", 1, 1.0},
      {"TSCALE\r\n1.000000\r\n1.000000\r\n1.000000\r\n1.000000\r\n",
       "TSCAL\r\n2\r\n2\r\n2\r\n2\r\n", false, nullptr, "\r\nTSCAL\r\n2\r\n2\r\n2\r\n2\r\n\r\n",
       "TSCALE record 'TSCAL' with '2', '2', '2', '2' is not read", 1, 1.0},
      // Without the PG record the user's record is the one read: the job takes its value.
      {"BLOCK_TEXT\r\nON\r\n", "BLOCK\r\nOFF\r\n", false, pg_block_text,
       "\r\nBLOCK_TEXT\r\nOFF\r\n", nullptr, 0, 1.0},
      {"TSCALE\r\n1.000000\r\n1.000000\r\n1.000000\r\n1.000000\r\n",
       "TSCALE\r\n2\r\n2\r\n2\r\n2.5\r\n", false, pg_tscale,
       "\r\nBLOCK_TEXT\r\nYES\r\n\r\nTSCALE\r\n2\r\n2\r\n2\r\n2.5\r\n\r\nSHTSCALE\r\n", nullptr, 1,
       1.0},
      // The PG TSCALE record is the one the engine reads for the text scales: edited, it keeps
      // the user's values as written (a short key under its whole name), whatever the font
      // scales the other PG records give; the GDS.CFG record after it is not read.
      {pg_tscale, "TSCALE\r\n2\r\n2\r\n2\r\n2.5\r\n\r\n", true, nullptr,
       "\r\nBLOCK_TEXT\r\nYES\r\n\r\nTSCALE\r\n2\r\n2\r\n2\r\n2.5\r\n\r\nSHTSCALE\r\n1.000000\r\n",
       "TSCALE record 'TSCALE' with '1.000000', '1.000000', '1.000000', '1.000000' is not read", 1,
       1.0},
      {pg_tscale, "TSCAL\r\n2\r\n2\r\n2\r\n2.5\r\n\r\n", true, nullptr,
       "\r\nBLOCK_TEXT\r\nYES\r\n\r\nTSCALE\r\n2\r\n2\r\n2\r\n2.5\r\n\r\nSHTSCALE\r\n1.000000\r\n",
       "TSCALE record 'TSCALE' with '1.000000', '1.000000', '1.000000', '1.000000' is not read", 1,
       1.0},
      // One cut short cannot be written as it stands: the shell's values are written, and the
      // note names the user's and those.
      {pg_tscale, "TSCALE\r\n2\r\n\r\n", true, nullptr,
       "\r\nBLOCK_TEXT\r\nYES\r\n\r\nTSCALE\r\n1.000000\r\n1.000000\r\n1.000000\r\n1.000000\r\n\r\n"
       "SHTSCALE\r\n",
       "TSCALE record 'TSCALE' with '2', '', 'SHTSCALE', '1.000000' is not written back: Tabrun "
       "writes '1.000000', '1.000000', '1.000000', '1.000000'",
       1, 1.0},
      // Abbreviated keys that are read: the value stays, under the key's whole name.
      {"MAX_POINT\r\n200\r\n", "MAX_PO\r\n300\r\n", false, nullptr, "\r\nMAX_POINT\r\n300\r\n",
       nullptr, 1, 1.0},
      {"MAXERR\r\n100\r\n", "MAXER\r\n7\r\n", false, nullptr, "\r\nMAXERR\r\n7\r\n", nullptr, 1,
       1.0},
  };
  for (const char* name : {"hand.cfg", "gds.cfg"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + ": " + c.to);
      TabrunJob job;
      job.working_dir = dir_.path();
      job.cfg_path = dir_.File(name);
      job.scan.gds_unit = "UM";
      job.layers.selected = {1};
      job.layers.output_names[1] = "one.em";
      std::string error;
      ASSERT_EQ(WriteJobSettings(job, &error), 0) << error;
      std::string text = ReadBytes(job.cfg_path);
      const size_t gds_part = text.find("\r\nACADUNIT\r\n");
      const size_t at = text.find(c.from, c.in_pg_part ? 0 : gds_part);
      ASSERT_LT(at, c.in_pg_part ? gds_part : text.size()) << text;
      text.replace(at, std::string(c.from).size(), c.to);
      if (c.dropped != nullptr) text.erase(text.find(c.dropped), std::string(c.dropped).size());
      test_support::WriteBytes(job.cfg_path, text);

      ScriptedNotifier notifier;
      TabrunJob chosen = ChosenWith(job.cfg_path, &notifier);
      if (c.note != nullptr) {
        EXPECT_EQ(notifier.shown.size(), 1u);
        const std::string shown = notifier.shown.empty() ? "" : notifier.shown[0].text;
        EXPECT_NE(shown.find(job.cfg_path + ", line "), std::string::npos);
        EXPECT_NE(shown.find(c.note), std::string::npos) << shown;
      } else {
        EXPECT_TRUE(notifier.shown.empty()) << notifier.shown[0].text;
      }
      EXPECT_EQ(chosen.options.translate_text, c.translate_text);
      EXPECT_EQ(chosen.options.font_scales[0], c.font_scale);

      ASSERT_TRUE(SaveJobSettings(chosen));
      const std::string saved = ReadBytes(job.cfg_path);
      EXPECT_NE(saved.find(c.saved), std::string::npos) << saved;
      // The PG records say what the engine read, here and in the working directory's copies.
      EXPECT_TRUE(saved.starts_with(FormatPgSettings(chosen)));
      EXPECT_EQ(ReadBytes(dir_.File("pg.cfg")), FormatPgSettings(chosen));
      EXPECT_TRUE(ReadBytes(dir_.File("gds.cfg")).starts_with(FormatPgSettings(chosen)));
      // Read and saved again, the file stays as it is.
      EXPECT_EQ(ReadAndSavedAgain(job.cfg_path), saved);

      // The job log names the record where the saved file holds it.
      const std::string log = JobLogOfARun(&chosen);
      if (c.note != nullptr) {
        EXPECT_NE(log.find("\r\nSettings File Notes:\r\n" + job.cfg_path + ", line "),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find(std::string(c.note).substr(0, 40)), std::string::npos) << log;
      } else {
        EXPECT_EQ(log.find("Settings File Notes"), std::string::npos) << log;
      }
      std::remove(job.cfg_path.c_str());
    }
  }
}

// A PG TSCALE record the user edited stands for the font scales and the scale it was read
// with. When they change (the Configuration's OK), the shell writes its own values, and the
// job log names the record, the user's values and those written.
TEST_F(JobSettingsTest, AHandEditedTscaleGivesWayToChangedFontScalesWithANote) {
  job_.layers.selected = {1};
  job_.layers.output_names[1] = "one.em";
  std::string error;
  ASSERT_EQ(WriteJobSettings(job_, &error), 0) << error;
  std::string text = ReadBytes(job_.cfg_path);
  const std::string shells = "TSCALE\r\n1.000000\r\n1.000000\r\n1.000000\r\n1.000000\r\n";
  ASSERT_LT(text.find(shells), text.find("\r\nACADUNIT\r\n")) << text;
  text.replace(text.find(shells), shells.size(), "TSCALE\r\n2\r\n2\r\n2\r\n4\r\n");
  test_support::WriteBytes(job_.cfg_path, text);
  const size_t line =
      static_cast<size_t>(std::count(text.begin(), text.begin() + text.find("TSCALE"), '\n')) + 1;

  ScriptedNotifier notifier;
  TabrunJob chosen = ChosenWith(job_.cfg_path, &notifier);
  ASSERT_TRUE(SaveJobSettings(chosen));
  EXPECT_NE(ReadBytes(job_.cfg_path).find("\r\nTSCALE\r\n2\r\n2\r\n2\r\n4\r\n\r\nSHTSCALE"),
            std::string::npos);
  EXPECT_EQ(JobLogOfARun(&chosen).find("TSCALE record 'TSCALE' with '2'"), std::string::npos);

  chosen.options.scale = 2.0;
  chosen.options.font_scales[3] = 3.0;
  ASSERT_TRUE(SaveJobSettings(chosen));
  const std::string saved = ReadBytes(job_.cfg_path);
  const std::string written = "TSCALE\r\n0.500000\r\n0.500000\r\n0.500000\r\n1.500000\r\n\r\n";
  EXPECT_NE(saved.find("\r\n" + written + "SHTSCALE\r\n1.000000\r\n"), std::string::npos) << saved;
  EXPECT_TRUE(ReadBytes(dir_.File("gds.cfg")).starts_with(FormatPgSettings(chosen)));
  const std::string log = JobLogOfARun(&chosen);
  ASSERT_NE(log.find("\r\nSettings File Notes:\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n" + job_.cfg_path + ", line " + std::to_string(line) +
                     ": TSCALE record 'TSCALE' with '2', '2', '2', '4' is not written back: "
                     "Tabrun writes '0.500000', '0.500000', '0.500000', '1.500000'"),
            std::string::npos)
      << log;
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
