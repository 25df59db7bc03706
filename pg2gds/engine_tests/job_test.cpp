// The engine job file: the listed PG files, their layers, the progress list and the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pg2gds/engine_job.h"
#include "platform/ini.h"
#include "support/notifier.h"

namespace kavrinth {
namespace {

std::vector<int> Layers(const std::vector<LayerFileEntry>& entries) {
  std::vector<int> layers;
  for (const LayerFileEntry& entry : entries) layers.push_back(entry.layer);
  return layers;
}

std::vector<std::string> Paths(const std::vector<LayerFileEntry>& entries) {
  std::vector<std::string> paths;
  for (const LayerFileEntry& entry : entries) paths.push_back(entry.path);
  return paths;
}

TEST(EngineJobLayers, LayerTextModulo64) {
  const std::pair<const char*, int> cases[] = {
      {"5", 5},
      {"69", 5},
      {"64", 0},
      {"128", 0},
      {"1024", 0},
      {"63", 63},
      {"-3", 0},
      {"", 0},
      {"abc", 0},
      {" 7 ", 7},
      {"+9", 9},
      {"12abc", 12},
      {"007", 7},
      // 2^64 + 1: no integer type holds it, its remainder is still exact.
      {"18446744073709551617", 1},
  };
  for (const auto& [text, layer] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(LayerFromText(text), layer);
  }
}

TEST(EngineJobLayers, FreeLayersGetTheLowestUnusedNumbers) {
  std::vector<LayerFileEntry> entries(4);
  const int given[] = {0, 2, 0, 1};
  for (size_t i = 0; i < entries.size(); ++i) entries[i].layer = given[i];
  AssignFreeLayerNumbers(entries);
  EXPECT_EQ(Layers(entries), (std::vector<int>{3, 2, 4, 1}));

  std::vector<LayerFileEntry> full(64);
  for (int i = 0; i < 62; ++i) full[i].layer = i + 1;
  AssignFreeLayerNumbers(full);
  EXPECT_EQ(full[62].layer, 63);
  EXPECT_EQ(full[63].layer, 63) << "once 1 to 62 are used, the rest share 63";
}

class JobTest : public EngineDirTest {
 protected:
  void SetUp() override {
    EngineDirTest::SetUp();
    previous_sink_ = SetProgressSink(&sink_);
  }
  void TearDown() override {
    SetProgressSink(previous_sink_);
    EngineDirTest::TearDown();
  }
  void OpenLog(EngineRun& run) {
    run.log.reset(std::fopen("test.log", "w+b"));
    ASSERT_TRUE(run.log);
  }
  std::string CloseAndReadLog(EngineRun& run) {
    EXPECT_TRUE(CloseLog(run));
    return ReadFile("test.log");
  }

  RecordingProgressSink sink_;
  ProgressSink* previous_sink_ = nullptr;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(JobTest, ListsExistingFilesOnceInJobOrder) {
  WriteFile("a.em", "<Z");
  WriteFile("sub/C.em", "<Z");
  WriteFile("job.job",
            "[General]\r\nlayers=a, b,c,d,e,f\r\n"
            "[a]\r\nlayer=5,a.em\r\n"
            "[b]\r\nlayer=6,missing.em\r\n"
            "[c]\r\nlayer=7,sub\\c.EM\r\n"  // stored '\' and another case
            "[d]\r\nlayer=8,A.EM\r\n"       // the first file again
            "[e]\r\nlayer=9\r\n"            // no path
            "[unlisted]\r\nlayer=1,a.em\r\n");
  EngineRun run(EngineBuild::kCorvitex);
  std::vector<LayerFileEntry> entries = ReadJobLayerList(run, "job.job");
  EXPECT_EQ(Paths(entries), (std::vector<std::string>{"a.em", "sub\\c.EM"}));
  EXPECT_EQ(Layers(entries), (std::vector<int>{5, 7}));
  EXPECT_EQ(SinkTexts(sink_.lines, ProgressCommand::kListAdd),
            (std::vector<std::string>{"a.em", "c.EM"}));
  EXPECT_TRUE(notifier_.shown.empty());
  EXPECT_EQ(run.warnings, 1) << "the missing file is a counted warning";
}

// The job as the shell writes it (through the INI writer, which quotes a value its reader
// would trim): every file is read exactly as named, at any length; one that cannot be read
// is named in the log and counted, never dropped in silence.
TEST_F(JobTest, EveryListedFileIsReadAsNamedOrNamedInTheLog) {
  const std::string deep =
      std::string(200, 'd') + "/" + std::string(200, 'e') + "/" + std::string(200, 'f') + ".em";
  ASSERT_GT(deep.size() + 2, 512u);
  const std::vector<std::string> present = {"blank.em ", "tab.em\t", "   ", deep};
  for (const std::string& name : present) WriteFile(name, "<Z");
  WriteFile("folder/inside.em", "<Z");
  const std::vector<std::string> listed = {"blank.em ", "tab.em\t", "   ",   deep,
                                           "blank.em",  "folder/",  "folder"};
  IniFile job;
  ASSERT_TRUE(job.Load("job.job"));
  std::string sections;
  for (size_t i = 0; i < listed.size(); ++i) {
    const std::string section = "layer" + std::to_string(i);
    ASSERT_TRUE(job.Set(section, "layer", std::to_string(i + 1) + "," + listed[i]));
    sections += (i ? "," : "") + section;
  }
  ASSERT_TRUE(job.Set("General", "layers", sections));
  ASSERT_TRUE(job.Save());

  EngineRun run(EngineBuild::kCorvitex);
  run.job_copy_path = "job.job";
  run.layer_table_in_log = false;
  OpenLog(run);
  ASSERT_EQ(LoadLayerList(run), 0);
  EXPECT_EQ(Paths(run.layers), present);
  EXPECT_EQ(Layers(run.layers), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(run.warnings, 3);
  EXPECT_EQ(CloseAndReadLog(run),
            "\r\nWarning: PG file left out: The file does not exist.\r\n         'blank.em'\r\n"
            "\r\nWarning: PG file left out: It is not a file.\r\n         'folder/'\r\n"
            "\r\nWarning: PG file left out: It is not a file.\r\n         'folder'\r\n");
}

TEST_F(JobTest, LoadWritesTheTableAndLogsChangedLayers) {
  for (const char* name : {"a.em", "b.em", "c.em", "d.em", "e.em"}) WriteFile(name, "<Z");
  WriteFile(
      "job.job",
      JobText({{"69", "a.em"}, {"", "b.em"}, {"64", "c.em"}, {"2", "d.em"}, {"002", "e.em"}}));
  EngineRun run(EngineBuild::kCorvitex);
  run.job_copy_path = "job.job";
  OpenLog(run);
  ASSERT_EQ(LoadLayerList(run), 0);
  EXPECT_EQ(Layers(run.layers), (std::vector<int>{5, 1, 3, 2, 2}));
  EXPECT_EQ(CloseAndReadLog(run),
            "\r\nTranslating File(s) to Layer Number...\r\n\r\n"
            "a.em  (5)\r\nb.em  (1)\r\nc.em  (3)\r\nd.em  (2)\r\ne.em  (2)\r\n"
            "\r\nWarning: GDS layer 69 changed to 5.\r\n         a.em\r\n"
            "\r\nWarning: GDS layer 64 changed to 3.\r\n         c.em\r\n");
  EXPECT_EQ(run.warnings, 2);
}

// A layer that the modulo rule or the automatic numbering puts onto the layer of another
// file joins that file's shapes: a counted warning that names the layer and the files.
TEST_F(JobTest, LayersThatLandOnOneLayerAreNamedAndCounted) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> files;
    std::string log;
    int warnings;
  };
  const auto warning = [](const std::string& text, const std::string& path) {
    return "\r\nWarning: " + text + "\r\n         " + path + "\r\n";
  };
  std::vector<Case> cases = {
      {{{"1", "a.em"}, {"65", "b.em"}},
       warning("GDS layer 65 changed to 1.", "b.em") +
           warning("GDS layer 65 joins the shapes of layer 1 from a.em.", "b.em"),
       2},
      {{{"36", "a.em"}, {"100", "b.em"}},
       warning("GDS layer 100 changed to 36.", "b.em") +
           warning("GDS layer 100 joins the shapes of layer 36 from a.em.", "b.em"),
       2},
      {{{"130", "a.em"}, {"2", "b.em"}},
       warning("GDS layer 130 changed to 2.", "a.em") +
           warning("GDS layer 130 joins the shapes of layer 2 from b.em.", "a.em"),
       2},
      {{{"65", "a.em"}, {"129", "b.em"}, {"1", "c.em"}},
       warning("GDS layer 65 changed to 1.", "a.em") +
           warning("GDS layer 65 joins the shapes of layer 1 from b.em, c.em.", "a.em") +
           warning("GDS layer 129 changed to 1.", "b.em") +
           warning("GDS layer 129 joins the shapes of layer 1 from a.em, c.em.", "b.em"),
       4},
      // The job itself gives two files one layer: nothing was changed.
      {{{"1", "a.em"}, {"1", "b.em"}, {"65", "c.em"}},
       warning("GDS layer 65 changed to 1.", "c.em") +
           warning("GDS layer 65 joins the shapes of layer 1 from a.em, b.em.", "c.em"),
       2},
      {{{"1", "a.em"}, {"1", "b.em"}, {"66", "c.em"}},
       warning("GDS layer 66 changed to 2.", "c.em"),
       1},
  };
  // Once 1 to 62 are taken, the files without a layer share 63.
  Case full;
  for (int i = 1; i <= 62; ++i) full.files.push_back({std::to_string(i), "f" + std::to_string(i)});
  full.files.push_back({"", "x.em"});
  full.files.push_back({"", "y.em"});
  full.log = warning("The automatic layer joins the shapes of layer 63 from y.em.", "x.em") +
             warning("The automatic layer joins the shapes of layer 63 from x.em.", "y.em");
  full.warnings = 2;
  cases.push_back(full);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    for (const auto& file : c.files) WriteFile(file.second, "<Z");
    WriteFile("job.job", JobText(c.files));
    EngineRun run(EngineBuild::kCorvitex);
    run.job_copy_path = "job.job";
    run.layer_table_in_log = false;
    OpenLog(run);
    ASSERT_EQ(LoadLayerList(run), 0);
    EXPECT_EQ(CloseAndReadLog(run), c.log);
    EXPECT_EQ(run.warnings, c.warnings);
  }
}

TEST_F(JobTest, DashSLeavesTheTableOutButNotTheWarnings) {
  WriteFile("a.em", "<Z");
  WriteFile("job.job", JobText({{"70", "a.em"}}));
  EngineRun run(EngineBuild::kCorvitex);
  run.job_copy_path = "job.job";
  run.layer_table_in_log = false;
  OpenLog(run);
  ASSERT_EQ(LoadLayerList(run), 0);
  EXPECT_EQ(CloseAndReadLog(run), "\r\nWarning: GDS layer 70 changed to 6.\r\n         a.em\r\n");
  EXPECT_EQ(run.warnings, 1);
}

TEST_F(JobTest, LoadFailures) {
  EngineRun run(EngineBuild::kCorvitex);
  run.job_copy_path = "absent.job";
  EXPECT_EQ(LoadLayerList(run), 16);
  WriteFile("job.job", JobText({{"1", "missing.em"}}));
  run.job_copy_path = "job.job";
  EXPECT_EQ(LoadLayerList(run), 15);
  WriteFile("job.job", "[General]\r\n");
  EXPECT_EQ(LoadLayerList(run), 15);
  EXPECT_TRUE(run.layers.empty());
}

TEST_F(JobTest, CorvaxenTakesTheUnitOfTheFirstFileAndRejectsOthers) {
  WriteFile("metric.dwm", "\"T300M\"\r\n$");
  WriteFile("english.dwm", "\"T300E\"\r\n$");
  WriteFile("plain.dwm", "\"no machine line\"\r\n$");
  WriteFile("job.job", JobText({{"1", "metric.dwm"}, {"2", "english.dwm"}, {"3", "plain.dwm"}}));
  EngineRun run(EngineBuild::kCorvaxen);
  SelectUnitLetter(run, 'x');
  run.job_copy_path = "job.job";
  OpenLog(run);
  ASSERT_EQ(LoadLayerList(run), 0);
  EXPECT_EQ(Paths(run.layers), (std::vector<std::string>{"metric.dwm", "plain.dwm"}));
  EXPECT_EQ(run.units.unit_code, 4);
  EXPECT_EQ(run.units.letter, 'M');
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Unit type mismatch or unknown,\nenglish.dwm.");
  EXPECT_EQ(notifier_.shown[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(run.warnings, 1);
  EXPECT_EQ(CloseAndReadLog(run),
            "\r\nWarning: Unit type mismatch or unknown.\r\n         english.dwm\r\n"
            "\r\nTranslating File(s) to Layer Number...\r\n\r\n"
            "metric.dwm  (1)\r\nplain.dwm  (3)\r\n");
}

TEST_F(JobTest, CorvaxenUnitTestCases) {
  WriteFile("english.dwm", "\"T300E\"\r\n$");
  WriteFile("plain.dwm", "\"comment\"\r\n$");
  WriteFile("t360.dwm", "\"T360M\"\r\n$");
  struct Case {
    const char* name;
    const char* file;
    int32_t format;
    int32_t run_code;
    int result;
    int32_t code_after;
    char letter_after;
  };
  const Case cases[] = {
      {"english fixes E", "english.dwm", 1, -1, 0, 1, 'E'},
      {"no unit, none known", "plain.dwm", 1, -1, 21, -1, 'x'},
      {"no unit, one known", "plain.dwm", 1, 4, 0, 4, 'M'},
      {"T360 metric in a 3000 run", "t360.dwm", 1, -1, 0, 5, 'M'},
      {"differs", "english.dwm", 1, 4, 21, 4, 'x'},
      {"a file that cannot be opened is accepted", "absent.dwm", 1, 1, 0, 1, 'x'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineRun run(EngineBuild::kCorvaxen);
    SelectUnitLetter(run, 'x');
    run.pg_format = c.format;
    run.units.unit_code = c.run_code;
    EXPECT_EQ(VerifyLayerFileUnits(run, c.file), c.result);
    EXPECT_EQ(run.units.unit_code, c.code_after);
    EXPECT_EQ(run.units.letter, c.letter_after);
    EXPECT_EQ(run.warnings, c.result == 0 ? 0 : 1);
  }
}

TEST_F(JobTest, CorvaxenJobWhoseFilesAllFailListsNothing) {
  WriteFile("plain.dwm", "\"comment\"\r\n$");
  WriteFile("job.job", JobText({{"1", "plain.dwm"}}));
  EngineRun run(EngineBuild::kCorvaxen);
  SelectUnitLetter(run, 'x');
  run.job_copy_path = "job.job";
  EXPECT_EQ(LoadLayerList(run), 15);
  EXPECT_EQ(notifier_.shown.size(), 1u);
}

}  // namespace
}  // namespace kavrinth
