// Viewer job files: layer values, writing and reading back, [General], the engine's
// sections in the same file, and the jobs made for data files.
#include "viewer/model/job_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {
namespace {

class JobFileTest : public ViewerModelTest {
 protected:
  void TearDown() override {
    SetWorkingDirectory("");
    ViewerModelTest::TearDown();
  }

  // The non-empty layer values of a job file, by key number.
  static std::vector<std::pair<int, std::string>> LayerValues(const std::string& path) {
    IniFile ini;
    ini.Load(path);
    std::vector<std::pair<int, std::string>> values;
    for (int n = 0; n < kViewLayerCount; ++n) {
      std::string value = ini.GetString(kJobLayerSection, JobLayerKey(n), "", 400);
      if (!value.empty()) values.emplace_back(n, value);
    }
    return values;
  }
};

TEST_F(JobFileTest, LayerValuesAreReadWordByWord) {
  struct Case {
    const char* value;
    std::optional<JobLayerValue> expected;
  } cases[] = {
      {R"(OFF,0,255,0,Negative "C:\pg\a.em")",
       JobLayerValue{0, 0x00FF00, kFillNegative, R"(C:\pg\a.em)"}},
      {R"(ON,255,0,0,Paint "/data/my file.em")",
       JobLayerValue{1, 0x0000FF, kFillPaint, "/data/my file.em"}},
      {R"(ON,0,0,255,Paint "/data/a,b.em")",
       JobLayerValue{1, 0xFF0000, kFillPaint, "/data/a,b.em"}},
      {"ON,1,2,3,scratch plain.em", JobLayerValue{1, 0x030201, kFillScratch, "plain.em"}},
      {R"(ON,1,2,3,paint "x")", JobLayerValue{1, 0x030201, kFillPaint, "x"}},
      {R"(ON,1,2,3,Xyz "x")", JobLayerValue{1, 0x030201, kFillPaint, "x"}},
      {R"(ON,300,-1,0,Paint "x")", JobLayerValue{1, 0x00FF2C, kFillPaint, "x"}},
      {"ON,255,0,0,Paint", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const std::optional<JobLayerValue> value = ParseJobLayerValue(c.value);
    ASSERT_EQ(value.has_value(), c.expected.has_value());
    if (!value) continue;
    EXPECT_EQ(value->shown, c.expected->shown);
    EXPECT_EQ(value->colour, c.expected->colour);
    EXPECT_EQ(value->fill_mode, c.expected->fill_mode);
    EXPECT_EQ(value->path, c.expected->path);
  }
}

TEST_F(JobFileTest, AWrittenJobReadsBackEqual) {
  ViewLayerTable& table = LayerTable();
  table[0] = ViewLayerEntry{};
  table[0].path = "/data/first file.em";
  table[0].shown = 1;
  table[0].colour = 0x0000FF;
  table[0].fill_mode = kFillPaint;
  table[5].path = R"(C:\pg\a,b.em)";
  table[5].shown = 0;
  table[5].colour = 0x00FF00;
  table[5].fill_mode = kFillNegative;
  table[1023].path = "last.em";
  table[1023].shown = 1;
  table[1023].colour = 0x123456;
  table[1023].fill_mode = kFillScratch;
  ImportSettings().pg_format = 2;
  ImportSettings().metric = false;
  const std::string job = PathOf("round.job");
  ASSERT_EQ(WriteJobFile(job), 1024);

  const std::string text = ReadAll(job);
  EXPECT_NE(text.find("LAYER_5=OFF,0,255,0,Negative \"C:\\pg\\a,b.em\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("LAYER_6=\r\n"), std::string::npos) << "an empty entry keeps its key";
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "CR LF line ends";
  EXPECT_GT(text.find("[General]"), text.find("LAYER_1023="));
  EXPECT_EQ(LayerValues(job).size(), 3u);

  ClearLayerTable();
  ImportSettings() = ViewerImportSettings{};
  EXPECT_EQ(ReadJobFile(job), 3);
  EXPECT_EQ(JobState().job_path, job);
  EXPECT_EQ(table[0].path, "/data/first file.em");
  EXPECT_EQ(table[5].path, R"(C:\pg\a,b.em)");
  EXPECT_EQ(table[5].shown, 0);
  EXPECT_EQ(table[5].colour, 0x00FF00u);
  EXPECT_EQ(table[5].fill_mode, kFillNegative);
  EXPECT_EQ(table[1023].colour, 0x123456u);
  EXPECT_EQ(table[1023].fill_mode, kFillScratch);
  EXPECT_TRUE(table[6].path.empty());
  EXPECT_EQ(ImportSettings().pg_format, 2);
  EXPECT_FALSE(ImportSettings().metric);
  EXPECT_EQ(ImportSettings().unit_code, 1) << "Mann 3600 in the English table";
  EXPECT_EQ(services_.status_texts,
            (std::vector<std::string>{"Writing job information.", "Getting job information."}));
  EXPECT_EQ(services_.wait_cursor_changes, (std::vector<bool>{true, false, true, false}));
}

TEST_F(JobFileTest, TheEngineSectionsOfTheSameFileAreKept) {
  const std::string job = Write("shared.job",
                                "[General]\r\nlayers=layer0,layer1\r\n"
                                "[layer0]\r\nlayer=1,/data/a.em\r\n"
                                "[layer1]\r\nlayer=2,/data/b.em\r\n");
  LayerTable()[0].path = "/data/a.em";
  LayerTable()[0].shown = 1;
  ImportSettings().pg_format = 0;
  ImportSettings().metric = true;
  ASSERT_EQ(WriteJobFile(job), 1024);
  IniFile ini;
  ASSERT_TRUE(ini.Load(job));
  EXPECT_EQ(ini.Get("General", "layers"), "layer0,layer1");
  EXPECT_EQ(ini.Get("layer0", "layer"), "1,/data/a.em");
  EXPECT_EQ(ini.Get("layer1", "layer"), "2,/data/b.em");
  EXPECT_EQ(ini.Get("General", "FormatType"), "0");
  EXPECT_EQ(ini.Get("General", "UnitType"), "1");
  ClearLayerTable();
  EXPECT_EQ(ReadJobFile(job), 1);
  EXPECT_EQ(LayerTable()[0].path, "/data/a.em");
}

TEST_F(JobFileTest, GeneralValuesGiveFormatAndUnitCode) {
  struct Case {
    const char* general;
    bool metric_before;
    int32_t format;
    int32_t unit_code;
    bool metric_after;
  } cases[] = {
      {"FormatType=9\r\n", true, 0, 2, true},
      {"FormatType=-3\r\nUnitType=1\r\n", false, 0, 2, true},
      {"FormatType=3\r\nUnitType=1\r\n", false, 3, 2, true},
      {"FormatType=1\r\nUnitType=0\r\n", true, 1, 1, false},
      {"FormatType=1\r\nUnitType=1\r\n", false, 1, 4, true},
      {"FormatType=4\r\nUnitType=0\r\n", true, 4, 6, false},
      {"FormatType=4\r\nUnitType=1\r\n", false, 4, 0, true},
      {"FormatType=6\r\nUnitType=0\r\n", true, 6, 2, false},
      {"UnitType=7\r\n", false, 0, 2, true},
      {"", false, 0, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.general);
    ImportSettings().metric = c.metric_before;
    const std::string job = Write("general.job", std::string("[General]\r\n") + c.general);
    int32_t unit_code = -1;
    int32_t format = -1;
    EXPECT_EQ(ReadJobGeneral(job, &unit_code, &format), c.unit_code);
    EXPECT_EQ(format, c.format);
    EXPECT_EQ(unit_code, c.unit_code);
    EXPECT_EQ(ImportSettings().metric, c.metric_after);
  }
  int32_t unit_code = -1;
  int32_t format = -1;
  EXPECT_EQ(ReadJobGeneral(PathOf("missing.job"), &unit_code, &format), 2);
  EXPECT_EQ(format, 0);
}

TEST_F(JobFileTest, ReadingKeepsEntriesTheJobDoesNotName) {
  LayerTable()[3].path = "kept.em";
  const std::string job = Write("partial.job",
                                "[LAYER_TABLE]\nLAYER_0=ON,255,0,0,Paint \"/a.em\"\n"
                                "LAYER_1=ON,255,0,0,Paint\nLAYER_2=\n");
  EXPECT_EQ(ReadJobFile(job), 1);
  EXPECT_EQ(LayerTable()[0].path, "/a.em");
  EXPECT_TRUE(LayerTable()[1].path.empty()) << "five words are skipped";
  EXPECT_EQ(LayerTable()[3].path, "kept.em");
  EXPECT_EQ(ReadJobFile(PathOf("missing.job")), 0);
  EXPECT_EQ(JobState().job_path, PathOf("missing.job"));
}

TEST_F(JobFileTest, RelativePathsThatResolveNowhereElseAreFoundBesideTheJob) {
  // The job lies in a directory of its own with its data below it; the process runs
  // elsewhere, as when the job is opened from a file manager.
  ASSERT_EQ(::mkdir(PathOf("job").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(PathOf("job/data").c_str(), 0755), 0);
  Write("job/data/a.em", "Z");
  Write("job/b.em", "Z");
  Write("here.em", "Z");
  Write("job/here.em", "Z");
  const std::string job = Write("job/layers.job",
                                "[LAYER_TABLE]\nLAYER_0=ON,255,0,0,Paint \"data/a.em\"\n"
                                "LAYER_1=ON,255,0,0,Paint \"data\\a.em\"\n"
                                "LAYER_2=ON,255,0,0,Paint \"b.em\"\n"
                                "LAYER_3=ON,255,0,0,Paint \"here.em\"\n"
                                "LAYER_4=ON,255,0,0,Paint \"nowhere.em\"\n");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(PathOf(""));
  EXPECT_EQ(ReadJobFile(job), 5);
  std::filesystem::current_path(previous);
  EXPECT_EQ(LayerTable()[0].path, PathOf("job/data/a.em"));
  EXPECT_EQ(LayerTable()[1].path, PathOf("job/data/a.em")) << "a stored '\\' is a separator";
  EXPECT_EQ(LayerTable()[2].path, PathOf("job/b.em"));
  EXPECT_EQ(LayerTable()[3].path, "here.em") << "a path that resolves as it stands is kept";
  EXPECT_EQ(LayerTable()[4].path, "nowhere.em") << "a path found nowhere is kept as written";
}

TEST_F(JobFileTest, StartingOnADataFileKeepsItsEntryAndDropsTheOthers) {
  const std::string job = Write("b.job",
                                "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"/d/a.em\"\r\n"
                                "LAYER_4=OFF,0,255,0,Negative \"/d/b.em\"\r\n");
  ASSERT_EQ(UpdateJobLayerTable(job, "/d/b.em"), 1024);
  EXPECT_TRUE(LayerTable()[0].path.empty());
  EXPECT_EQ(LayerTable()[4].path, "/d/b.em");
  EXPECT_EQ(LayerTable()[4].shown, 0);
  EXPECT_EQ(LayerTable()[4].colour, 0x00FF00u);
  EXPECT_EQ(LayerTable()[4].fill_mode, kFillNegative);
  EXPECT_EQ(LayerValues(job),
            (std::vector<std::pair<int, std::string>>{{4, "OFF,0,255,0,Negative \"/d/b.em\""}}));

  ASSERT_EQ(UpdateJobLayerTable(job, "/d/c.em"), 1024);
  EXPECT_TRUE(LayerTable()[4].path.empty());
  EXPECT_EQ(LayerValues(job),
            (std::vector<std::pair<int, std::string>>{{0, "ON,255,0,0,Paint \"/d/c.em\""}}));

  const std::string fresh = PathOf("fresh.job");
  ASSERT_EQ(UpdateJobLayerTable(fresh, "/d/new.em"), 1024);
  EXPECT_EQ(LayerValues(fresh).size(), 1u);
}

// A path the job file cannot hold (a line break would end its line, a double quote would
// end the quoted path, so it would read back cut) fails the write, and nothing is
// written: the job is not left without the file, or with a cut path, and reported as made.
TEST_F(JobFileTest, APathTheJobCannotHoldFailsTheWrite) {
  for (const char* path :
       {"/d/two\nlines.em", "/d/two\rlines.em", "/d/say \"hi\".em", "/d/a\"b.em", "/d/end\""}) {
    SCOPED_TRACE(path);
    const std::string job = PathOf("break.job");
    EXPECT_EQ(UpdateJobLayerTable(job, path), -1);
    EXPECT_FALSE(std::filesystem::exists(job));
    ClearLayerTable();
    LayerTable()[3].path = path;
    EXPECT_EQ(WriteJobFile(job), -1);
    EXPECT_FALSE(std::filesystem::exists(job));
  }
}

// A path of any length is written and read back whole, by the job and by the start on one
// data file, which finds the entry that names it.
TEST_F(JobFileTest, ALongPathReadsBackWhole) {
  std::string path = "/data";
  while (path.size() < 1000) path += "/deep directory, level";
  path += "/layer.em";
  ClearLayerTable();
  LayerTable()[9].path = path;
  LayerTable()[9].shown = 0;
  LayerTable()[9].colour = 0x00FF00;
  LayerTable()[9].fill_mode = kFillNegative;
  const std::string job = PathOf("long.job");
  ASSERT_EQ(WriteJobFile(job), 1024);
  ClearLayerTable();
  EXPECT_EQ(ReadJobFile(job), 1);
  EXPECT_EQ(LayerTable()[9].path, path);

  EXPECT_EQ(UpdateJobLayerTable(job, path), 1024);
  EXPECT_EQ(LayerTable()[9].path, path) << "the entry that names the file is kept";
  EXPECT_EQ(LayerTable()[9].fill_mode, kFillNegative);
  EXPECT_TRUE(LayerTable()[0].path.empty());
}

// Keys are found as the INI module finds them: without regard to case, and by their
// exact number, so "LAYER_07" is no key of entry 7; the first of a doubled key counts.
TEST_F(JobFileTest, LayerKeysAreMatchedAsTheIniModuleMatchesThem) {
  const std::string job = Write("keys.job",
                                "[layer_table]\r\nlayer_7=ON,1,2,3,Paint \"seven\"\r\n"
                                "LAYER_07=ON,1,2,3,Paint \"not seven\"\r\n"
                                "LAYER_8=ON,1,2,3,Paint \"eight\"\r\n"
                                "Layer_8=ON,1,2,3,Paint \"second eight\"\r\n"
                                "LAYER_1024=ON,1,2,3,Paint \"beyond\"\r\n");
  ClearLayerTable();
  EXPECT_EQ(ReadJobFile(job), 2);
  EXPECT_EQ(LayerTable()[7].path, "seven");
  EXPECT_EQ(LayerTable()[8].path, "eight");
}

// Picked files the job cannot hold are refused before anything changes, with the reason:
// the job shown stays, and an older job of the name is not replaced by one without them.
TEST_F(JobFileTest, PickedFilesTheJobCannotHoldAreRefusedWithAMessage) {
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  SetWorkingDirectory(dir_);
  const std::string older =
      Write("say.job", "[LAYER_TABLE]\r\nLAYER_0=ON,1,2,3,Paint \"/old\"\r\n");
  struct Case {
    std::string names;
    uint32_t flags;
  } cases[] = {{"/d/say \"hi\".em", 0},
               {std::string("/d\0say.em\0a\"b.em\0\0", 19), kOpenMultiSelect},
               {std::string("/d\0say.em\0two\nlines.em\0\0", 25), kOpenMultiSelect}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names);
    LayerTable()[4].path = "/shown.em";
    notifier.shown.clear();
    std::string result = "unchanged";
    EXPECT_EQ(OpenJobFile(&result, c.names, c.flags), 0);
    EXPECT_EQ(result, "unchanged");
    EXPECT_EQ(LayerTable()[4].path, "/shown.em");
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_NE(notifier.shown[0].text.find("cannot hold a path with a double quote"),
              std::string::npos);
    EXPECT_EQ(ReadAll(older), "[LAYER_TABLE]\r\nLAYER_0=ON,1,2,3,Paint \"/old\"\r\n");
  }
}

TEST_F(JobFileTest, AListOfDataFilesBecomesAJobNamedAfterTheFirst) {
  SetWorkingDirectory(dir_);
  std::string names = "/data";
  names.push_back('\0');
  names += "A.EM";
  names.push_back('\0');
  names += "second.em";
  names.push_back('\0');
  names.push_back('\0');
  std::string result;
  ASSERT_EQ(OpenJobFile(&result, names, kOpenMultiSelect), 1);
  EXPECT_EQ(result, PathOf("A.JOB")) << "upper case for an upper-case name";
  EXPECT_EQ(LayerTable()[0].path, "/data/A.EM");
  EXPECT_EQ(LayerTable()[0].colour, 0x0000FFu);
  EXPECT_EQ(LayerTable()[1].path, "/data/second.em");
  EXPECT_EQ(LayerTable()[1].colour, 0x00FF00u);
  EXPECT_EQ(JobState().entered, 2);
  EXPECT_EQ(JobState().first_file, "/data/A.EM");
  EXPECT_EQ(LayerValues(result).size(), 2u);
}

TEST_F(JobFileTest, AtMost1024FilesAreEntered) {
  SetWorkingDirectory(dir_);
  std::string names = "/many";
  for (int i = 0; i < 1500; ++i) {
    names.push_back('\0');
    names += "f" + std::to_string(i) + ".em";
  }
  names.push_back('\0');
  std::string result;
  ASSERT_EQ(OpenJobFile(&result, names, kOpenMultiSelect), 1);
  EXPECT_EQ(result, PathOf("f0.job"));
  EXPECT_EQ(JobState().entered, 1024);
  EXPECT_EQ(LayerTable()[1023].path, "/many/f1023.em");
  EXPECT_EQ(LayerTable()[1023].colour, 0xFF0000u) << "1023 mod 6 is blue";
  EXPECT_EQ(LayerValues(result).size(), 1024u);
}

TEST_F(JobFileTest, OneNameIsAJobOrGetsAFreshJobOfItsOwn) {
  SetWorkingDirectory(dir_);
  std::string result;
  ASSERT_EQ(OpenJobFile(&result, "/jobs/Saved.Job", 0), 1);
  EXPECT_EQ(result, "/jobs/Saved.Job");
  // A job left from an earlier list of the same name is replaced, not merged.
  Write("one.job", "[LAYER_TABLE]\r\nLAYER_7=ON,1,2,3,Paint \"/old.em\"\r\n[Other]\r\nk=v\r\n");
  ASSERT_EQ(OpenJobFile(&result, "/data/one.em", 0), 1);
  EXPECT_EQ(result, PathOf("one.job"));
  EXPECT_EQ(LayerValues(result),
            (std::vector<std::pair<int, std::string>>{{0, "ON,255,0,0,Paint \"/data/one.em\""}}));
  EXPECT_EQ(ReadAll(result).find("[Other]"), std::string::npos);
  EXPECT_EQ(OpenJobFile(&result, "", 0), 0);
}

}  // namespace
}  // namespace kavrinth
