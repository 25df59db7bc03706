// The engine job file and the viewer layer table in it: bytes written, stale entries
// cleared, entries kept, and the job file's move to another working directory.
#include "corvane/core/engine_job_file.h"

#include <gtest/gtest.h>

#include "platform/ini.h"
#include "support/viewer_layer_value.h"
#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using JobFileTest = test_support::TempDirTest;

TEST(LayerTextTest, OnlyDigitsInTheShellsRange) {
  const struct {
    const char* text;
    bool valid;
    int engine_layer;
  } cases[] = {{"1", true, 1},     {"007", true, 7},         {"63", true, 63}, {"64", true, 0},
               {"70", true, 6},    {"1024", true, 0},        {"0", false, 0},  {"1025", false, 1},
               {"12a", false, 12}, {"+5", false, 0},         {" 5", false, 0}, {"", false, 0},
               {"-3", false, 0},   {"99999999999", false, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidLayerText(c.text), c.valid) << '"' << c.text << '"';
    if (c.valid) {
      EXPECT_EQ(EngineLayerOf(c.text), c.engine_layer) << c.text;
    }
  }
  EXPECT_FALSE(IsValidLayerText(std::string(258, '0') + "12")) << "longer than 259";
  EXPECT_TRUE(IsValidLayerText(std::string(257, '0') + "12"));
}

TEST_F(JobFileTest, WritesSectionsAndClearsThoseOfALongerEarlierJob) {
  const std::string job = temp_.Write(
      "a.job",
      "[General]\r\nlayers=layer0,layer1,layer2\r\nFormatType=1\r\n[layer0]\r\nlayer=1,/m/x.em\r\n"
      "[layer1]\r\nlayer=2,/m/y.em\r\n[LAYER2]\r\nlayer=3,/m/z.em\r\n[LAYER_TABLE]\r\n"
      "LAYER_0=ON,255,0,0,Paint \"/m/x.em\"\r\n");
  ASSERT_TRUE(WriteEngineJobFile(job, {{"007", "/m dir/a.em"}}));
  EXPECT_EQ(temp_.Read("a.job"),
            "[General]\r\nlayers=layer0\r\nFormatType=1\r\n[layer0]\r\nlayer=007,/m dir/a.em\r\n"
            "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"/m/x.em\"\r\n");
  ASSERT_TRUE(WriteEngineJobFile(temp_.File("new.job"), {{"1", "/m/a.em"}, {"5", "/m/c.em"}}));
  EXPECT_EQ(temp_.Read("new.job"),
            "[layer0]\r\nlayer=1,/m/a.em\r\n[layer1]\r\nlayer=5,/m/c.em\r\n"
            "[General]\r\nlayers=layer0,layer1\r\n");
  EXPECT_FALSE(WriteEngineJobFile(temp_.File("missing/dir/x.job"), {{"1", "/m/a.em"}}));
}

TEST_F(JobFileTest, OldJobProposesLayersOnlyForTheSameFileName) {
  IniFile job;
  temp_.Write("a.job",
              "[layer0]\r\nlayer=12,/m/A.EM\r\n[layer1]\r\nlayer=5,/m/other.em\r\n"
              "[layer2]\r\nlayer=2000,/m/c.em\r\n[layer3]\r\nlayer=x,/m/d.em\r\n"
              "[layer4]\r\nlayer=9\r\n");
  ASSERT_TRUE(job.Load(temp_.File("a.job")));
  EXPECT_EQ(LayerFromOldJob(job, 0, "a.em"), "12");
  EXPECT_EQ(LayerFromOldJob(job, 1, "b.em"), std::nullopt);
  EXPECT_EQ(LayerFromOldJob(job, 2, "c.em"), std::nullopt);
  EXPECT_EQ(LayerFromOldJob(job, 3, "d.em"), std::nullopt);
  EXPECT_EQ(LayerFromOldJob(job, 4, "e.em"), std::nullopt);
  EXPECT_EQ(LayerFromOldJob(job, 5, "f.em"), std::nullopt);
}

TEST_F(JobFileTest, ViewerTableKeepsUserEntriesAndThoseOfHigherNumber) {
  CorvaneSession session;
  session.input_file = "/m dir/f0.em";
  for (int i = 0; i < 7; ++i) session.input_file_names.push_back("f" + std::to_string(i) + ".em");
  session.options = {kFilesMann3600, kFilesUnitMicron, 1.0};
  const std::string job =
      temp_.Write("f0.job",
                  "[layer0]\r\nlayer=1,/m dir/f0.em\r\n[LAYER_TABLE]\r\nLAYER_0=OFFNOBLANK\r\n"
                  "LAYER_1=OFF,0,0,255,Scratch \"/old path/with "
                  "blank.em\"\r\nLAYER_9=ON,1,2,3,Paint \"/x\"\r\n");
  ASSERT_TRUE(WriteViewerLayerTable(job, session));
  EXPECT_EQ(temp_.Read("f0.job"),
            "[layer0]\r\nlayer=1,/m dir/f0.em\r\n[LAYER_TABLE]\r\n"
            "LAYER_0=ON,255,0,0,Paint \"/m dir/f0.em\"\r\n"
            "LAYER_1=OFF,0,0,255,Scratch \"/m dir/f1.em\"\r\n"
            "LAYER_9=ON,1,2,3,Paint \"/x\"\r\n"
            "LAYER_2=ON,255,255,0,Paint \"/m dir/f2.em\"\r\n"
            "LAYER_3=ON,0,0,255,Paint \"/m dir/f3.em\"\r\n"
            "LAYER_4=ON,255,0,255,Paint \"/m dir/f4.em\"\r\n"
            "LAYER_5=ON,0,255,255,Paint \"/m dir/f5.em\"\r\n"
            "LAYER_6=ON,255,0,0,Paint \"/m dir/f6.em\"\r\n"
            "[General]\r\nFormatType=2\r\nUnitType=1\r\n");
}

// After a restart the input file is known again but no file is selected: the viewer job's
// table stays whole and only the format and unit are written.
TEST_F(JobFileTest, ViewerTableWithoutSelectedFilesKeepsEveryEntry) {
  CorvaneSession session;
  session.input_file = "/m/a.em";
  session.options = {kFilesMann3000, kFilesUnitMil, 1.0};
  const std::string table =
      "[LAYER_TABLE]\r\nLAYER_0=OFF,0,0,255,Scratch \"/m/a.em\"\r\n"
      "LAYER_1=ON,10,20,30,Paint \"/m/b.em\"\r\n";
  const std::string job = temp_.Write("a.job", table + "[General]\r\nFormatType=0\r\n");
  ASSERT_TRUE(WriteViewerLayerTable(job, session));
  EXPECT_EQ(temp_.Read("a.job"), table + "[General]\r\nFormatType=1\r\nUnitType=0\r\n");
}

TEST_F(JobFileTest, ViewerTableOfALongPathIsReadWhole) {
  CorvaneSession session;
  const std::string directory = "/" + std::string(400, 'd');
  session.input_file = directory + "/a.em";
  session.input_file_names = {"a.em"};
  const std::string job = temp_.Write(
      "a.job", "[LAYER_TABLE]\r\nLAYER_0=OFF,1,2,3,Scratch \"" + directory + "/old.em\"\r\n");
  ASSERT_TRUE(WriteViewerLayerTable(job, session));
  EXPECT_EQ(temp_.Read("a.job"), "[LAYER_TABLE]\r\nLAYER_0=OFF,1,2,3,Scratch \"" + directory +
                                     "/a.em\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
}

// An old entry keeps its look only when it reads as the viewer reads it; any other is
// written afresh, so the viewer never skips it or takes another word as the path. Paths
// of any length stay whole.
TEST_F(JobFileTest, ViewerTableEntriesReadBackAsTheViewerReadsThem) {
  CorvaneSession session;
  std::string directory;
  while (directory.size() < 1000) directory += "/a directory, of some depth";
  session.input_file = directory + "/a.em";
  session.input_file_names = {"a.em"};
  struct Case {
    const char* old;
    int32_t shown;
    uint32_t colour;
    int32_t fill_mode;
  } cases[] = {
      {"OFF,1,2,3,Scratch \"/old.em\"", 0, 0x030201, kViewerFillScratch},
      {"OFF 1 2 3 Negative \"/old.em\"", 0, 0x030201, kViewerFillNegative},
      {"OFF,1,2 \"/old.em\"", 1, 0x0000FF, kViewerFillPaint},
      {"OFFNOBLANK", 1, 0x0000FF, kViewerFillPaint},
      {"garbage \"/old.em\"", 1, 0x0000FF, kViewerFillPaint},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.old);
    const std::string job =
        temp_.Write("a.job", std::string("[LAYER_TABLE]\r\nLAYER_0=") + c.old + "\r\n");
    ASSERT_TRUE(WriteViewerLayerTable(job, session));
    const std::optional<ViewerLayerValue> value =
        ParseViewerLayerValue(ReadProfileString(job, "LAYER_TABLE", "LAYER_0", "", 4096));
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->path, session.input_file);
    EXPECT_EQ(value->shown, c.shown);
    EXPECT_EQ(value->colour, c.colour);
    EXPECT_EQ(value->fill_mode, c.fill_mode);
  }
}

// A path with a double quote would read back cut at the quote: the table is not written.
TEST_F(JobFileTest, ViewerTableRefusesAPathItCannotHold) {
  CorvaneSession session;
  session.input_file = "/m/say \"hi\".em";
  session.input_file_names = {"say \"hi\".em"};
  const std::string bytes = "[LAYER_TABLE]\r\nLAYER_0=ON,1,2,3,Paint \"/m/old.em\"\r\n";
  const std::string job = temp_.Write("a.job", bytes);
  EXPECT_FALSE(WriteViewerLayerTable(job, session));
  EXPECT_EQ(temp_.Read("a.job"), bytes);
}

TEST_F(JobFileTest, MovingTheJobKeepsItWhenTheCopyFails) {
  const std::string bytes = "[General]\r\nlayers=layer0\r\n";
  const std::string old_job = temp_.Write("old/a.job", bytes);
  EXPECT_NE(MoveJobFile(old_job, temp_.File("no such dir/a.job")), 0);
  EXPECT_EQ(temp_.Read("old/a.job"), bytes) << "the old job file must survive";
  temp_.Write("new/a.job", "older");
  temp_.Write("new/keep", "");
  ASSERT_EQ(MoveJobFile(old_job, temp_.File("new/a.job")), 0);
  EXPECT_EQ(temp_.Read("new/a.job"), bytes);
  EXPECT_FALSE(std::filesystem::exists(old_job));
  const std::string empty = temp_.Write("old/e.job", "");
  EXPECT_EQ(MoveJobFile(empty, temp_.File("new/e.job")), 0) << "an empty job moves too";
  EXPECT_TRUE(std::filesystem::exists(temp_.File("new/e.job")));
}

}  // namespace
}  // namespace kavrinth
