// The scan report: layers with data and the layer selection, the report's own top, and
// the structure sub-tree below a top.
#include "tabreng/scan_report.h"

#include <gtest/gtest.h>

#include "support/notifier.h"
#include "support/progress_sink.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

ScanReport Report(std::vector<std::string> lines) { return ScanReport{true, std::move(lines)}; }

std::vector<std::string> Selected(const ScanReport& report, const std::string& top,
                                  size_t max_count = 2048) {
  StructureSelection selection;
  EXPECT_EQ(ReadScanHierarchy(report, top, max_count, selection), 0);
  return selection.names();
}

std::vector<int> Members(const LayerSet& set) {
  std::vector<int> layers;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    if (set.Test(layer)) layers.push_back(layer);
  }
  return layers;
}

const ScanReport kTree = Report({
    "HIERARCHY of INDEPENDENT STRUCTURES",
    "A",
    "  |__ A1",
    "",
    "B",
    "  |__ X",
    "  |    |__ Y",
    "  |    |    |__ Z",
    "  |    |",
    "  |    |__ Y",
    "  |__ W",
    "C",
    "  |__ C1",
    "  |    |__ C2",
    "  |    |    |__ X",
});

TEST(ScanHierarchy, ReportTopIsTheDeepestRootAndTheLaterOfEqualDepths) {
  EngineOptions options;
  EXPECT_EQ(ReadScanLayers(kTree, options).report_top, "C");
  EXPECT_EQ(
      ReadScanLayers(Report({"HIERARCHY of INDEPENDENT STRUCTURES", "P", "Q", "  |__ R"}), options)
          .report_top,
      "Q");
  EXPECT_EQ(ReadScanLayers(Report({"no hierarchy"}), options).report_top, "");
}

TEST(ScanHierarchy, SubTreeSelection) {
  EXPECT_EQ(Selected(kTree, "C"), (std::vector<std::string>{"C", "C1", "C2", "X"}));
  // A sub-structure as top: what is drawn below it, up to the next line at its level;
  // a structure met twice is selected once.
  EXPECT_EQ(Selected(kTree, "X"), (std::vector<std::string>{"X", "Y", "Z"}));
  EXPECT_EQ(Selected(kTree, "B"), (std::vector<std::string>{"B", "X", "Y", "Z", "W"}));
  EXPECT_EQ(Selected(kTree, "A"), (std::vector<std::string>{"A", "A1"}));
  EXPECT_TRUE(Selected(kTree, "NONE").empty());
}

TEST(ScanHierarchy, TopMatchesTheExactNameOnly) {
  const ScanReport report = Report({"HIERARCHY of INDEPENDENT STRUCTURES", "MY_CELL",
                                    "  |__ MY_CELL_SUB", "CELL", "  |__ LEAF"});
  EXPECT_EQ(Selected(report, "CELL"), (std::vector<std::string>{"CELL", "LEAF"}));
  EXPECT_EQ(Selected(report, "SUB"), std::vector<std::string>{});
  EXPECT_EQ(Selected(report, "MY_CELL"), (std::vector<std::string>{"MY_CELL", "MY_CELL_SUB"}));
}

TEST(ScanHierarchy, TheMaximumStructureCountIsNeverPassed) {
  StructureSelection selection;
  EXPECT_EQ(ReadScanHierarchy(kTree, "B", 5, selection), 0);
  EXPECT_EQ(ReadScanHierarchy(kTree, "B", 4, selection), -1);
  EXPECT_LE(selection.size(), 4u);
}

TEST(ScanLayers, SelectionOfOutputLayers) {
  const ScanReport report = Report({"LAYERS_CONTAINING_DATA", "----", " 1, 3,2000", "", "junk",
                                    "LAYERS_CONTAINING_DATA", "----", "7", "9,"});
  struct Case {
    const char* name;
    std::vector<int> include;  // -i list when not empty
    std::vector<int> exclude;
    bool all;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"every layer with data", {}, {}, false, {1, 3, 7, 9}},
      {"include", {3, 4}, {}, false, {3}},
      {"include with -all", {3, 4}, {}, true, {3, 4}},
      {"exclude", {}, {1, 9}, false, {3, 7}},
      {"-all without include", {}, {}, true, {1, 3, 7, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineOptions options;
    for (int layer : c.include) options.requested.Add(layer);
    for (int layer : c.exclude) options.excluded.Add(layer);
    options.include_mode = !c.include.empty();
    options.exclude_mode = !c.exclude.empty();
    options.all_structures = c.all;
    const ScanLayers layers = ReadScanLayers(report, options);
    EXPECT_EQ(Members(layers.with_data), (std::vector<int>{1, 3, 7, 9}));
    EXPECT_EQ(Members(layers.output), c.expected);
  }
}

TEST(ScanLayers, TheProgressListShowsTheOutputLayers) {
  RecordingProgressSink sink;
  ProgressSink* previous = SetProgressSink(&sink);
  EngineOptions options;
  ReadScanLayers(Report({"LAYERS_CONTAINING_DATA", "--", "12,3", ""}), options);
  ReadScanLayers(Report({"LAYERS_CONTAINING_DATA", "--", ""}), options);
  SetProgressSink(previous);
  std::vector<std::string> encoded;
  for (const ProgressLine& line : sink.lines) encoded.push_back(EncodeProgressLine(line));
  EXPECT_EQ(encoded, (std::vector<std::string>{"LIST-CLEAR\n", "LIST-ADD 3\n", "LIST-ADD 12\n",
                                               "LIST-CLEAR\n"}));
}

TEST(SelectTop, ReadsTheReportFileWithCrLfAndTakesItsOwnTopForEquals) {
  testing::ScratchJob job;
  testing::ScratchJob::Write("chip.ssn",
                             "LAYERS_CONTAINING_DATA\r\n--\r\n4\r\n\r\n"
                             "HIERARCHY of INDEPENDENT STRUCTURES\r\nTOP\r\n  |__ SUB\r\n");
  EngineOptions options;
  TopSelection selection;
  ASSERT_EQ(SelectTopStructure("CHIP.SSN", options, selection), 0);
  EXPECT_EQ(selection.top_name, "TOP");
  EXPECT_EQ(selection.structures.names(), (std::vector<std::string>{"TOP", "SUB"}));
  EXPECT_EQ(Members(selection.layers.output), std::vector<int>{4});

  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  options.max_structures = 1;
  EXPECT_EQ(SelectTopStructure("chip.ssn", options, selection), -1);
  ASSERT_EQ(notifier.shown.size(), 1u);

  // No report: no layers, no selection, and no message of its own.
  TopSelection none;
  EXPECT_EQ(SelectTopStructure("missing.ssn", EngineOptions(), none), 0);
  EXPECT_EQ(none.structures.size(), 0u);
  EXPECT_EQ(none.top_name, "=");
}

TEST(StructureSelectionTest, RemoveMovesTheLastEntryIntoTheSlot) {
  StructureSelection selection;
  for (const char* name : {"A", "B", "C", "D"}) EXPECT_TRUE(selection.Add(name));
  EXPECT_FALSE(selection.Add("B"));
  selection.Remove("B");
  EXPECT_EQ(selection.names(), (std::vector<std::string>{"A", "D", "C"}));
  EXPECT_FALSE(selection.Contains("B"));
  EXPECT_TRUE(selection.Contains("D"));
  selection.Remove("C");
  selection.Remove("A");
  EXPECT_EQ(selection.names(), std::vector<std::string>{"D"});
  EXPECT_TRUE(selection.Contains("D"));
}

TEST(StructureNames, QualifyAndCase) {
  struct Case {
    std::string name;
    int case_mode;
    std::string qualified;  // after ApplyNameCase, then QualifyStructureName
  };
  const Case cases[] = {
      {"TOP_1$a", 0, "TOP_1$a"},
      {"a-b.c d/e", 0, "a_b_c_d_e"},
      {std::string("x\xE9y\0", 4), 0, std::string("x_y\0", 4)},  // NUL stays, bytes above 127 go
      {"Mixed-Case", 1, "MIXED_CASE"},
      {"Mixed-Case", -1, "mixed_case"},
  };
  for (const Case& c : cases) {
    std::string name = c.name;
    ApplyNameCase(name.data(), name.size(), c.case_mode);
    QualifyStructureName(name.data(), name.size());
    EXPECT_EQ(name, c.qualified) << c.name;
  }
  TopSelection selection;
  selection.top_name = "A-B";
  selection.structures.Add("A-B");
  selection.structures.Add("C.D");
  selection.structures.Add("C_D");
  QualifySelection(selection);
  EXPECT_EQ(selection.top_name, "A_B");
  EXPECT_EQ(selection.structures.names(), (std::vector<std::string>{"A_B", "C_D"}));
}

}  // namespace
}  // namespace kavrinth
