// The filter tables, the filter builders and the filters' Qt form.
#include "support/qt/file_filters.h"

#include <gtest/gtest.h>

#include <array>

namespace kavrinth {
namespace {

using namespace std::string_literals;

const std::string kAll = "All Files (*.*)|*.*||";

TEST(FilterTableTest, ViewerRows) {
  const std::vector<std::string> rows = FilterRows(FilterTable::kViewer);
  ASSERT_EQ(rows.size(), 26u);
  const struct {
    size_t row;
    std::string text;
  } cases[] = {
      {0, "MAP Files (*.map)|*.map|"},
      {2, "GDS Files (*.gds)|*.gds|"},
      {11, "WF2  Files (*.wf2)|*.wf2|"},
      {13, "EM Files (*.EM)|*.em|"},
      {17, "EM/Mann Files (*.em;*.ems;*.dwm;*.dws;*.sor)|*.em;*.ems;*.dwm;*.dws;*.sor|"},
      {18, "EM/Mann Files (*.ems;*.dws;*.sor)|*.ems;*.dws;*.sor|"},
      {19, "EM/Mann Files (*.em;*.dwm;*.sor)|*.em;*.dwm;*.sor|"},
      {20, "GDX Files (*.vu;*.gdx;*.gds)|*.vu;*.gdx;*.gds|"},
      {23,
       "GDS Files (*.gds;*.sf;*.gdsii;*.strun;*.db;*.cal;*.gds2;*.str)|"
       "*.gds;*.sf;*.gdsii;*.strun;*.db;*.cal;*.gds2;*.str|"},
      {24, "Micronic Files (*.la;*.mic)|*.la;*.mic|"},
  };
  for (const auto& c : cases) EXPECT_EQ(rows[c.row], c.text + kAll) << c.row;
  EXPECT_EQ(rows[25], kAll);
}

TEST(FilterTableTest, ShellTables) {
  const std::vector<std::string> gds_to_pg = FilterRows(FilterTable::kGdsToPgShell);
  ASSERT_EQ(gds_to_pg.size(), 27u);
  EXPECT_EQ(gds_to_pg[25], "EGS Files (*_a;*.egs)|*_a;*.egs|" + kAll);
  EXPECT_EQ(gds_to_pg[26], kAll);
  const std::vector<std::string> viewer = FilterRows(FilterTable::kViewer);
  EXPECT_TRUE(std::equal(viewer.begin(), viewer.begin() + 25, gds_to_pg.begin()));

  const std::vector<std::string> em_to_gds = FilterRows(FilterTable::kEmToGdsShell);
  ASSERT_EQ(em_to_gds.size(), 23u);
  EXPECT_TRUE(std::equal(viewer.begin(), viewer.begin() + 17, em_to_gds.begin()));
  EXPECT_EQ(em_to_gds[17], viewer[19]) << "the one EM/Mann row";
  EXPECT_EQ(em_to_gds[18], viewer[20]);
  EXPECT_EQ(em_to_gds[21], viewer[23]);
  EXPECT_EQ(em_to_gds[22], kAll);
}

TEST(FilterTableTest, BuiltRowsAreInTheRawForm) {
  const std::vector<std::string> rows = BuildFileFilters(FilterTable::kViewer);
  EXPECT_EQ(rows[2], "GDS Files (*.gds)\0*.gds\0All Files (*.*)\0*.*\0\0"s);
  EXPECT_EQ(rows[25], "All Files (*.*)\0*.*\0\0"s);
}

TEST(FilterBuilderTest, MakeFileFilter) {
  EXPECT_EQ(MakeFileFilter(".dxf"), "DXF Files (*.dxf)\0*.dxf\0All Files (*.*)\0*.*\0\0"s);
  EXPECT_EQ(MakeFileFilter("Wf2"), "WF2 Files (*.Wf2)\0*.Wf2\0All Files (*.*)\0*.*\0\0"s);
}

TEST(FilterBuilderTest, AddFileFilterPairsWhileBothListsLast) {
  const std::array<std::string_view, 2> descriptions = {"PG Files (*.pg)", "LOG Files (*.log)"};
  const std::array<std::string_view, 1> patterns = {"*.pg"};
  EXPECT_EQ(AddFileFilter(descriptions, patterns),
            "PG Files (*.pg)\0*.pg\0All Files (*.*)\0*.*\0\0"s);
  EXPECT_EQ(AddFileFilter({}, patterns), "All Files (*.*)\0*.*\0\0"s);
}

TEST(QtFilterTest, BothFormsGiveTheSameQtFilters) {
  const std::vector<std::string> bars = FilterRows(FilterTable::kViewer);
  const std::vector<std::string> raw = BuildFileFilters(FilterTable::kViewer);
  for (size_t row = 0; row < bars.size(); ++row) {
    EXPECT_EQ(QtNameFilters(bars[row]), QtNameFilters(raw[row])) << row;
  }
}

TEST(QtFilterTest, PatternsComeFromThePatternField) {
  const std::vector<std::string> rows = BuildFileFilters(FilterTable::kViewer);
  const struct {
    size_t row;
    QString first;
  } cases[] = {
      {2, "GDS Files (*.gds)"},
      {11, "WF2  Files (*.wf2)"},
      {13, "EM Files (*.em)"},
      {17, "EM/Mann Files (*.em *.ems *.dwm *.dws *.sor)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QtNameFilters(rows[c.row]), (QStringList{c.first, "All Files (*)"})) << c.row;
  }
  EXPECT_EQ(QtNameFilters(FilterRows(FilterTable::kGdsToPgShell)[25]).front(),
            "EGS Files (*_a *.egs)");
  EXPECT_EQ(QtNameFilters(rows[25]), QStringList{"All Files (*)"});
  EXPECT_EQ(QtNameFilters("Plain|*.txt|"), QStringList{"Plain (*.txt)"});
  EXPECT_TRUE(QtNameFilters("").isEmpty());
  EXPECT_TRUE(QtNameFilters("no separators").isEmpty());
}

}  // namespace
}  // namespace kavrinth
