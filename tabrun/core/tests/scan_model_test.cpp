// The scan model read from a scanner report, and the structure report.
#include "tabrun/core/scan_model.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using test_support::TempDir;

const char* const kReport =
    "HEADER\r\nStructures: 5\r\n\r\n"
    "STRUCTURE_LIST\r\n1) LEAF\r\n2) MID\r\n3) TOP\r\n4) OTHER\r\n5) EMPTY\r\n\r\n"
    "LAYERS_CONTAINING_DATA\r\nLayers: 3\r\n1,12,1000\r\n\r\n"
    "STRUCTURE_ELEMENT_COUNTS\r\n(Boundary, Path, ARef, SRef, Text) Structure\r\n"
    "(3, 1, 0, 0, 2) LEAF\r\n(0, 0, 1, 2, 0) MID\r\n(1, 0, 0, 1, 0) TOP\r\n"
    "(4, 0, 0, 1, 0) OTHER\r\n\r\n"
    "STRUCTURE EXTENTS\r\nResolution: 1000\r\nUser Units:  MIL \r\n"
    "(Min X, Min Y, Max X, Max Y) Structure\r\n"
    "(-1.5, -0.0004, 2.0006, 3) LEAF\r\n(0, 0, 10, 10) MID\r\n(0, 0, 20, 20) TOP\r\n"
    "(0, 0, 5, 5) OTHER\r\n(0, 0, 0, 0) EMPTY\r\n\r\n"
    "HIERARCHY of INDEPENDENT STRUCTURES\r\n"
    "OTHER\r\n  |__ LEAF\r\n"
    "TOP\r\n  |__ MID\r\n  |     |__ LEAF\r\n  |     |__ GONE (UNDEFINED)\r\n  |\r\n"
    "  |__ LEAF\r\n"
    "EMPTY\r\n";

TEST(ScanModelTest, ReadsEverySectionTheShellUses) {
  ScanModel model;
  model.Load(kReport);
  ASSERT_EQ(model.structures.size(), 5u);
  EXPECT_EQ(model.structures[2].name, "TOP");
  EXPECT_EQ(model.layers_with_data, (std::vector<std::string>{"1", "12", "1000"}));
  EXPECT_TRUE(model.LayerHasData(12));
  EXPECT_FALSE(model.LayerHasData(2));
  EXPECT_EQ(model.structures[0].counts, (std::array<int32_t, 5>{3, 1, 0, 0, 2}));
  EXPECT_EQ(model.structures[4].counts, (std::array<int32_t, 5>{}));  // no line: empty
  EXPECT_EQ(model.resolution, 1000);
  EXPECT_EQ(model.gds_unit, "MIL");  // trimmed, so that it counts as mils
  // Extents are rounded, not truncated.
  EXPECT_EQ(model.structures[0].extents, (std::array<int32_t, 4>{-1500, 0, 2001, 3000}));
  EXPECT_EQ(model.FormatUserUnits(-1500), "-1.500");
  // The deepest tree is TOP's.
  EXPECT_EQ(model.top, "TOP");
  EXPECT_EQ(model.hierarchy_count, 3);
  EXPECT_FALSE(model.structures[3].in_hierarchy);
  EXPECT_EQ(model.MarkHierarchy("MID"), 2);
  EXPECT_EQ(model.MarkHierarchy("NOPE"), 0);
  EXPECT_EQ(model.Dependencies("MID"), "__ MID\r\n     |__ LEAF\r\n     |__ GONE (UNDEFINED)\r\n");
}

TEST(ScanModelTest, TheLaterOfEquallyDeepRootsIsTheTopAndTablesAreBounded) {
  ScanModel model;
  model.Load("HIERARCHY of INDEPENDENT STRUCTURES\nA\n  |__ B\nC\n  |__ D\n");
  EXPECT_EQ(model.top, "C");
  model.Load("HIERARCHY of INDEPENDENT STRUCTURES\nSOLO\n");
  EXPECT_EQ(model.top, "SOLO");

  std::string big = "STRUCTURE_LIST\n";
  for (size_t i = 0; i < kScanMaxStructures + 2; ++i) big += std::to_string(i) + ") S\n";
  big += "12) \n";
  model.Load(big);
  EXPECT_EQ(model.structures.size(), kScanMaxStructures);
  ASSERT_EQ(model.warnings.size(), 1u);
  EXPECT_NE(model.warnings[0].find("3 structure(s)"), std::string::npos);

  // A report with none of the sections gives an empty model, not a failure.
  model.Load("garbage\n(((\n");
  EXPECT_TRUE(model.structures.empty());
  EXPECT_EQ(model.top, "");
}

TEST(ScanModelTest, TemplateTextIsDataNeverAFormat) {
  EXPECT_EQ(FormatTemplateText("%s has %d (%5s|%-4d|%%)", {"TOP", "12", "ab", "7"}),
            "TOP has 12 (   ab|7   |%)");
  // Conversions beyond the arguments and ones that would read memory stay harmless.
  EXPECT_EQ(FormatTemplateText("%s %s %n %p %d", {"x"}), "x  %n %p 0");
}

TEST(ScanModelTest, TheStructureReportExpandsItsTemplate) {
  TempDir dir("tabrun_report");
  ScanModel model;
  model.Load(kReport);
  const std::string templ =
      dir.Write("gdsstrct.s_s",
                "Report %s\n#2:File %s\n#3:Top %s\n#4:Count %d\n#5:Res %s\n#6:Unit [%s]\n#x: kept\n"
                "#7:min %s %s\n#8:%d) %s\n#9:max %s %s\n#10:--\n#11:B %s P %s\n#12:%d. %s\n"
                "#13:S %s A %s T %s\n#14:==\n#99:dropped\n#-1:\nafter the end\n");
  const std::string report = dir.File("gdsstrct.rpt");
  ASSERT_EQ(ExpandReportTemplate(templ, report, model, "/data/a.gds"), 0);
  EXPECT_EQ(dir.Read("gdsstrct.rpt"),
            "Report %s\r\nFile /data/a.gds\r\nTop TOP\r\nCount 3\r\nRes 1000\r\nUnit [MIL]\r\n"
            "#x: kept\r\n"
            "min -1.500 0.000\r\n1) LEAF\r\nmax 2.001 3.000\r\n--\r\n"
            "min 0.000 0.000\r\n2) MID\r\nmax 10.000 10.000\r\n--\r\n"
            "min 0.000 0.000\r\n3) TOP\r\nmax 20.000 20.000\r\n--\r\n"
            "B 3 P 1\r\n1. LEAF\r\nS 0 A 0 T 2\r\n==\r\n"
            "B 0 P 0\r\n2. MID\r\nS 2 A 1 T 0\r\n==\r\n"
            "B 1 P 0\r\n3. TOP\r\nS 1 A 0 T 0\r\n==\r\n");
  EXPECT_EQ(ExpandReportTemplate(dir.File("missing.s_s"), report, model, ""), 1);
  EXPECT_EQ(ExpandReportTemplate(templ, dir.File("no/dir.rpt"), model, ""), 1);
}

TEST(ScanModelTest, TheShippedTemplateMakesAReport) {
  TempDir dir("tabrun_report");
  ScanModel model;
  model.Load(kReport);
  ASSERT_EQ(ExpandReportTemplate(TABRUN_TEMPLATE, dir.File("r.rpt"), model, "/d/x.gds"), 0);
  const std::string text = dir.Read("r.rpt");
  EXPECT_NE(text.find("Top structure:   TOP\r\n"), std::string::npos);
  EXPECT_NE(text.find("     3) TOP\r\n"), std::string::npos);
  EXPECT_NE(text.find("Max (X , Y): (20.000 , 20.000)"), std::string::npos);
}

}  // namespace
}  // namespace kavrinth
