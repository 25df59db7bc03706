// The viewer's reports: directives, rows and blocks as the templates say, checked formats,
// failures, and the templates the viewer ships.
#include "viewer/model/reports.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/notifier.h"
#include "viewer/model/pg_scan.h"
#include "viewer/model/tests/viewer_test_support.h"
#include "viewer/model/wf2_format.h"

namespace kavrinth {
namespace {

// The report's lines without their CR LF; a line end other than CR LF fails the test.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    if (end == std::string::npos) break;
    EXPECT_EQ(text.substr(start, end - start).find('\n'), std::string::npos);
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void BigEndian(std::array<uint8_t, 128>* header, int offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*header)[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

class ReportsTest : public ViewerModelTest {
 protected:
  void SetUp() override {
    ViewerModelTest::SetUp();
    setenv("KAVRINTH_PROGRAM_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KAVRINTH_PROGRAM_DIR");
    ViewerModelTest::TearDown();
  }

  void Entry(int n, const std::string& path) {
    ViewLayerEntry& e = LayerTable()[n];
    e.path = path;
    e.shown = 1;
    e.first_count = 2;
    e.second_count = 1;
    e.min_x = 35;
    e.max_x = 115;
    e.min_y = 195;
    e.max_y = 205;
    e.smallest_width = 10;
    e.largest_width = 300;
  }
};

TEST(ReportDateTest, HoursPrintOnATwelveHourClock) {
  struct Case {
    int hour;
    int64_t printed;
    const char* half;
  } cases[] = {{0, 12, "am"},  {1, 1, "am"},  {11, 11, "am"},
               {12, 12, "pm"}, {13, 1, "pm"}, {23, 11, "pm"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hour);
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 0;
    time.tm_mday = 9;
    time.tm_hour = c.hour;
    time.tm_min = 5;
    time.tm_sec = 7;
    EXPECT_EQ(ReportDateValues(time),
              (std::vector<ReportArg>{int64_t{1}, int64_t{9}, int64_t{2024}, c.printed, int64_t{5},
                                      int64_t{7}, std::string(c.half)}));
  }
}

TEST_F(ReportsTest, ThePgReportFollowsItsTemplate) {
  Write("noltrpt.t_t",
        "Header line\n"
        "#x: not a directive\r\n"
        "#5 has no colon\n"
        "\n"
        "#0:literal %d kept\n"
        "#1:%02d/%02d/%04d %d:%02d:%02d %s\n"
        "#2:Job %s\n#3:Format %s\n#4:Unit %s\n#5:Set %s\n"
        "#6:%s%-*s|\n"
        "#7:rect %d\n"
        "#8:round %s\n"
        "#9:centre %*.*f %*.*f\n"
        "#12:as it stands %d\n"
        "#14:width %*.*f %*.*f\n"
        "#17:\n"
        "#20:\n"
        "#99:ignored\n"
        "tail");
  const std::string path58(58, 'p');
  const std::string path59 = "/" + std::string(3, 'x') + std::string(55, 'q');
  Entry(0, path58);
  Entry(3, path59);
  JobState().job_path = "/jobs/a.job";
  JobState().code_set_name = "EBCDIC";
  ImportSettings().pg_format = 1;
  ImportSettings().unit_code = 2;
  SetViewerUnitDigits(2);  // 9 digits, 1 decimal, 10 units per user unit
  const std::string report = PathOf("out.rpt");
  ASSERT_EQ(WriteReport(report), 0);
  const std::vector<std::string> lines = Lines(ReadAll(report));
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
            (std::vector<std::string>{"Header line", "#x: not a directive", "#5 has no colon", "",
                                      "literal %d kept"}));
  EXPECT_TRUE(testing::internal::RE::PartialMatch(
      lines[5], testing::internal::RE("^../../.... [0-9]+:..:.. [ap]m$")))
      << lines[5];
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()),
            (std::vector<std::string>{
                "Job /jobs/a.job", "Format Mann 3000", "Unit UM", "Set EBCDIC",
                // Entry 0: a 58-character path as it is.
                path58 + "|", "rect 2", "round %s", "centre          7.5         20.0",
                "as it stands %d", "width          1.0         30.0", "",
                // Entry 3: 59 characters become "..." and the last 55.
                "..." + std::string(55, 'q') + "|", "rect 2", "round %s",
                "centre          7.5         20.0", "as it stands %d",
                "width          1.0         30.0", "", "tail"}));
}

TEST_F(ReportsTest, AReportThatCannotBeMadeIsOne) {
  const std::string report = PathOf("out.rpt");
  EXPECT_EQ(WriteReport(report), 1) << "no template";
  EXPECT_FALSE(std::filesystem::exists(report));
  EXPECT_FALSE(std::filesystem::exists(PathOf("noltrpt.t_t"))) << "no template is made either";
  Write("noltrpt.t_t", "text\n");
  EXPECT_EQ(WriteReport(PathOf("missing/out.rpt")), 1);
  EXPECT_EQ(WriteJobReport(report), 1);
  EXPECT_EQ(WriteMergeReport(report, {}, {}), 1);
}

TEST_F(ReportsTest, AFailedWriteRemovesTheReport) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "#0:" + std::string(70, 'r') + "\n";
  Write("noltrpt.t_t", text);
  const std::string report = PathOf("out.rpt");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1000;
  auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = WriteReport(report);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(std::filesystem::exists(report));
}

TEST_F(ReportsTest, TheWf2JobReportPrintsHeaderWordsAndEntryBlocks) {
  Write("lumrarpt.t_t",
        "#1:%s\n#2:job %s\n#3:unit %.2f\n#4:frame %d x %d\n#5:frames %d\n#6:strips %d\n"
        "#7:pattern %d x %d\n#8:glass %.2f x %.2f\n#9:motion %s\n"
        "#10:%s%s|%s|%.2f|%.2f|%d|%.3f\n"
        "#11:====\n#12:file %s\n#16:grid %.2f\n#21:%s\n#22:name [%s]\n#23:strips %d\n#29:w120 %d\n"
        "end\n");
  std::array<uint8_t, 128>& last = JobState().wf2_header;
  BigEndian(&last, 12, 512);
  BigEndian(&last, 16, 256);
  BigEndian(&last, 20, 508);
  BigEndian(&last, 24, 254);
  BigEndian(&last, 28, 1);
  BigEndian(&last, 96, 3);
  BigEndian(&last, 100, 4);
  BigEndian(&last, 104, 768);
  BigEndian(&last, 108, 512);
  JobState().job_path = "/j.job";
  services_.display.user_units_per_database_unit = 0.0125;

  std::array<uint8_t, 128> header{};
  BigEndian(&header, 8, std::bit_cast<uint32_t>(0.25f));
  BigEndian(&header, 28, 0);
  BigEndian(&header, 96, 7);
  BigEndian(&header, 120, 2);
  std::memcpy(header.data() + 32, "Merge of x\nand y", 16);
  const std::string wf2 =
      Write("a_rather_long_name.wf2", std::string(header.begin(), header.end()));
  ViewLayerEntry& entry = LayerTable()[0];
  entry.path = wf2;
  entry.shown = 0;
  entry.x_offset = 150;
  entry.y_offset = -25;
  entry.first_count = 9;
  entry.file_size = 16512;
  LayerTable()[2].path = Write("short.wf2", "");  // too short for a header: zeros
  LayerTable()[2].shown = 1;

  const std::string report = PathOf("wf2.rpt");
  ASSERT_EQ(WriteJobReport(report), 0);
  const std::vector<std::string> lines = Lines(ReadAll(report));
  ASSERT_EQ(lines.size(), 26u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"job /j.job",
                                      "unit 0.01",
                                      "frame 512 x 256",
                                      "frames 4",
                                      "strips 3",
                                      "pattern 1536 x 1024",
                                      "glass 20.00 x 10.00",
                                      "motion Serpentine",
                                      "...er_long_name.wf2|OFF|1.50|-0.25|9|16.512",
                                      "short.wf2|ON|0.00|0.00|0|0.000",
                                      "====",
                                      "file " + wf2,
                                      "grid 0.25",
                                      "0 = Unidirectional Mode",
                                      "name [Merge of x and y]",
                                      "strips 7",
                                      "w120 2",
                                      "====",
                                      "file " + LayerTable()[2].path,
                                      "grid 0.00",
                                      "0 = Unidirectional Mode",
                                      "name []",
                                      "strips 0",
                                      "w120 0",
                                      "end"}))
      << ReadAll(report);
}

TEST_F(ReportsTest, TheMergeReportListsEachOutputWithItsInputs) {
  Write("lumrarpt.m_m",
        "#1:%d\n#2:outputs %d\n#3:--\n#4:out %s\n#5:size %ld\n#6:inputs %d\n#7:..\n#8:\n"
        "#9:%s %s\n#10:  %ld bytes\n#0:not in a merge report\n#3:unit %.2f\nend\n");
  LayerTable()[2].path = Write("merged.wf2", std::string(1234, 'm'));
  const std::string a = Write("a.wf2", std::string(10, 'a'));
  const std::string b = Write("b.wf2", std::string(20, 'b'));
  const std::string report = PathOf("merge.rpt");
  const std::vector<int> outputs = {2};
  ASSERT_EQ(WriteMergeReport(report, outputs, {{a, b}}), 0);
  const std::vector<std::string> lines = Lines(ReadAll(report));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"outputs 1", "--", "out " + LayerTable()[2].path, "size 1234",
                                      "inputs 2", "..", "", "1) " + a, "  10 bytes", "2) " + b,
                                      "  20 bytes", "end"}));
}

TEST_F(ReportsTest, TheShippedTemplatesMakeReports) {
  setenv("KAVRINTH_PROGRAM_DIR", VEXIL_TEMPLATE_DIR, 1);
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  ImportSettings().pg_format = 0;
  ImportSettings().metric = true;
  ImportSettings().unit_code = 2;
  LayerTable()[0].path = Write("a.em", "<X100Y200W30V10U0SX50SZ");
  LayerTable()[0].library = ScanPgFile(nullptr, LayerTable()[0].path, 0);
  ASSERT_NE(LayerTable()[0].library, kGdxNoHandle);
  JobState().job_path = "/jobs/a.job";
  const std::string report = PathOf("pg.rpt");
  ASSERT_EQ(WriteReport(report), 0);
  const std::string text = ReadAll(report);
  for (const std::string& expected :
       {std::string("Job file:    /jobs/a.job\r\n"), std::string("PG format:   ElectroMask\r\n"),
        std::string("Units:       UM\r\n"), std::string("Code set:    ASCII\r\n"),
        "File: " + LayerTable()[0].path, std::string("Rectangular flashes:  2\r\n"),
        std::string("Round flashes:        0\r\n"),
        std::string("Centre       X          7.5   Y         20.0\r\n"),
        std::string("Maximum      X         11.5   Y         20.5\r\n"),
        std::string("Flash width           3.0           3.0\r\n"),
        std::string("End of report.\r\n")}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  EXPECT_EQ(WriteJobReport(PathOf("wf2.rpt")), 0);
  EXPECT_NE(ReadAll(PathOf("wf2.rpt")).find("Number of Strips:"), std::string::npos);
  const std::vector<int> outputs = {0};
  EXPECT_EQ(WriteMergeReport(PathOf("merge.rpt"), outputs, {{LayerTable()[0].path}}), 0);
  EXPECT_NE(ReadAll(PathOf("merge.rpt")).find("Merged outputs: 1"), std::string::npos);
}

// The WF2 job report names the header's fields as the viewer's label table names them,
// each with its value; a row that takes one value prints the value alone.
TEST_F(ReportsTest, TheWf2ReportNamesTheHeaderFieldsByTheLabelTable) {
  setenv("KAVRINTH_PROGRAM_DIR", VEXIL_TEMPLATE_DIR, 1);
  std::array<uint8_t, 128> header{};
  BigEndian(&header, 8, std::bit_cast<uint32_t>(0.5f));
  const std::pair<int, uint32_t> words[] = {{12, 512}, {16, 256}, {20, 508}, {24, 254},
                                            {28, 1},   {96, 3},   {100, 4}};
  for (const auto& [offset, value] : words) BigEndian(&header, offset, value);
  LayerTable()[0].path = Write("p.wf2", std::string(header.begin(), header.end()));
  ASSERT_EQ(WriteJobReport(PathOf("wf2.rpt")), 0);
  const std::string text = ReadAll(PathOf("wf2.rpt"));
  const std::pair<int, std::string> shown[] = {
      {8, "0.50"}, {12, "512"}, {16, "256"}, {20, "508"}, {24, "254"}, {28, "1 = Serpentine Mode"},
      {96, "3"},   {100, "4"}};
  ASSERT_EQ(std::size(shown), kWf2HeaderLabels.size());
  for (const auto& [offset, value] : shown) {
    ASSERT_NE(Wf2HeaderLabelAt(offset), nullptr) << offset;
    std::string line = std::string(Wf2HeaderLabelAt(offset)) + ":";
    line.resize(26, ' ');
    EXPECT_NE(text.find("\r\n" + line + value + "\r\n"), std::string::npos) << line << "\n" << text;
  }
  EXPECT_EQ(Wf2HeaderLabelAt(kWf2Name), nullptr);
  EXPECT_NE(text.find("\r\nName:                     \r\n"), std::string::npos) << text;
  // The summary at the top (of the last scanned WF2 file, none here) names the same fields
  // the same way.
  for (const char* summary : {"\r\nFrame Width x Height:        0 x 0\r\n",
                              "\r\nNumber of Frames/Strips:     0\r\n",
                              "\r\nNumber of Strips:            0\r\n",
                              "\r\nGlass Width x Height (inch): 0.00 x 0.00\r\n",
                              "\r\nMotion:                      Unidirectional\r\n"}) {
    EXPECT_NE(text.find(summary), std::string::npos) << summary << text;
  }
  // Templates of one value per row print the values alone, the names being their own.
  Write("lumrarpt.t_t", "#11:==\n#16:%.2f\n#17:W %d\n#21:[%s]\n#24:%s=%d\n#29:w120 %d\n");
  setenv("KAVRINTH_PROGRAM_DIR", dir_.c_str(), 1);
  ASSERT_EQ(WriteJobReport(PathOf("own.rpt")), 0);
  EXPECT_EQ(Lines(ReadAll(PathOf("own.rpt"))),
            (std::vector<std::string>{"==", "0.50", "W 512", "[1 = Serpentine Mode]",
                                      "Number of Frames/Strips:=4", "w120 0"}));
}

}  // namespace
}  // namespace kavrinth
