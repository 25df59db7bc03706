// Flash conversion: PG files into boundaries or paths of the open GDSII structure.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pg2gds/engine_convert.h"
#include "pg2gds/engine_main.h"
#include "support/notifier.h"

namespace kavrinth {
namespace {

// Asks for Cancel when the percentage first moves past 0%.
class CancellingSink : public RecordingProgressSink {
 public:
  void Send(const ProgressLine& line) override {
    RecordingProgressSink::Send(line);
    if (line.command == ProgressCommand::kText && line.index == 3 && !line.text.empty() &&
        line.text != "0%") {
      RequestCancel();
    }
  }
};

class ConvertTest : public EngineDirTest {
 protected:
  void SetUp() override {
    EngineDirTest::SetUp();
    previous_sink_ = SetProgressSink(&sink_);
    run_.log.reset(std::fopen("test.log", "w+b"));
    SelectUnitLetter(run_, 'E');
  }
  void TearDown() override {
    SetProgressSink(previous_sink_);
    EngineDirTest::TearDown();
  }

  // Converts the entries into out.gds: the result of each file; stops like the engine
  // does at Cancel or a failed file.
  std::vector<int> Convert(const std::vector<LayerFileEntry>& entries) {
    std::vector<int> results;
    EXPECT_EQ(OpenGdsOutput(run_), 0);
    for (const LayerFileEntry& entry : entries) {
      results.push_back(ConvertLayerFile(run_, entry));
      if (results.back() != 0) break;
    }
    EXPECT_EQ(CloseGdsOutput(), 0);
    return results;
  }
  std::vector<GdsElement> Output() { return ReadElements("out.gds", &library_); }
  std::string Log() {
    EXPECT_TRUE(CloseLog(run_));
    return ReadFile("test.log");
  }

  EngineRun run_{EngineBuild::kCorvitex};
  RecordingProgressSink sink_;
  ProgressSink* previous_sink_ = nullptr;
  GdsLibrary library_;
};

TEST(FlashGeometry, DatabaseRangeIsTheRoundedInt32Range) {
  const std::pair<double, bool> cases[] = {
      {2147483647.0, true},  {2147483647.49, true},  {2147483647.5, false},
      {-2147483648.0, true}, {-2147483648.49, true}, {-2147483648.5, false},
      {0.0, true},           {1e300, false},         {std::nan(""), false},
  };
  for (const auto& [value, fits] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(FitsDatabaseRange(value, 1.0), fits);
    EXPECT_EQ(FitsDatabaseRange(value / 100, 0.01), fits);
  }
}

TEST(FlashGeometry, OutlineNeedsALineWithLength) {
  EXPECT_FALSE(FlashOutline({{1, 1}, {1, 1}, 2}));
  const auto outline = FlashOutline({{0, 0}, {3, 4}, 2});
  ASSERT_TRUE(outline);
  // Half the width across a 3-4-5 line: offsets (0.8, 0.6) each side.
  EXPECT_DOUBLE_EQ((*outline)[0].x, -0.8);
  EXPECT_DOUBLE_EQ((*outline)[0].y, 0.6);
  EXPECT_DOUBLE_EQ((*outline)[2].x, 3.8);
  EXPECT_DOUBLE_EQ((*outline)[2].y, 3.4);
  EXPECT_DOUBLE_EQ((*outline)[4].x, (*outline)[0].x);
}

TEST_F(ConvertTest, FlashesBecomeBoundariesInDatabaseUnits) {
  // The second record has W < H and so turns by 90 degrees; the third repeats W, V, U.
  WriteFile("a.em", "<\"a comment X1S\"\r\nX100Y200W30V10U0S\r\nX0Y0W10V30U0S\r\nX50S\r\nZ");
  run_.output_path = "out.gds";
  EXPECT_EQ(Convert({{"a.em", 7, "7"}}), std::vector<int>{0});
  const std::vector<GdsElement> elements = Output();
  EXPECT_EQ(library_.structures[0].name, "_PG_DATA");
  EXPECT_DOUBLE_EQ(library_.user_units_per_database_unit, 0.01);
  ASSERT_EQ(elements.size(), 3u);
  const char* expected[] = {"(85,205)(115,205)(115,195)(85,195)(85,205)",
                            "(-5,-15)(-5,15)(5,15)(5,-15)(-5,-15)",
                            "(45,-15)(45,15)(55,15)(55,-15)(45,-15)"};
  for (size_t i = 0; i < elements.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(elements[i].kind, kGdsBoundary);
    EXPECT_EQ(elements[i].layer, 7);
    EXPECT_EQ(elements[i].datatype, 7);
    EXPECT_EQ(PointsText(elements[i]), expected[i]);
  }
  EXPECT_EQ(run_.warnings, 0);
  EXPECT_EQ(run_.digits.divisor, 100);
}

TEST_F(ConvertTest, PathsAndScale) {
  WriteFile("a.em", "<X100Y200W30V10U0SZ");
  struct Case {
    bool as_path;
    double scale;
    const char* points;
    int32_t width;
  };
  const Case cases[] = {
      {true, 1, "(85,200)(115,200)", 10},
      {true, 2, "(170,400)(230,400)", 20},
      {false, 2, "(170,410)(230,410)(230,390)(170,390)(170,410)", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.points);
    run_.flash_as_path = c.as_path;
    run_.scale = c.scale;
    run_.output_path = "out.gds";
    EXPECT_EQ(Convert({{"a.em", 3, "3"}}), std::vector<int>{0});
    const std::vector<GdsElement> elements = Output();
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0].kind, c.as_path ? kGdsPath : kGdsBoundary);
    EXPECT_EQ(PointsText(elements[0]), c.points);
    if (c.as_path) {
      EXPECT_EQ(elements[0].width, c.width);
      EXPECT_EQ(elements[0].pathtype, 0) << "flush ends: the path covers the flash";
    }
  }
}

TEST_F(ConvertTest, UnreadableFilesEndWithMessage18AfterTheirFlashesAndTheLogSaysWhy) {
  const std::string gzip_head("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  struct Case {
    const char* name;
    std::string bytes;
    int32_t format;
    size_t written;
    const char* reason;  // after "Error: File reading error"
  };
  const Case cases[] = {
      {"no end mark", "<X100Y200W30V10U0S", kPgFormatElectroMask, 1,
       ": the file ends before its end-of-data mark."},
      {"not Electromask", "X100Y200W30V10U0SZ", kPgFormatElectroMask, 0,
       ": the file does not hold ElectroMask data: it begins with \"X\", not \"<\" (ASCII) or "
       "\"J\" (EBCDIC)."},
      {"number beyond 32 bits", "<X100Y200W30V10U0SX99999999999SZ", kPgFormatElectroMask, 1,
       ": the file holds data that cannot be read as ElectroMask: reading stopped at offset 30."},
      {"empty Electromask", "", kPgFormatElectroMask, 0, ": the file is empty."},
      {"empty Mann", "", kPgFormatMann3000, 0, ": the file is empty."},
      {"gzip Electromask", gzip_head + "<X100Y200W30V10U0SZ", kPgFormatElectroMask, 0,
       ": the file is compressed (gzip), not a PG file; decompress it first (gunzip)."},
      // Read as Mann data, the packed bytes are skipped as EBCDIC up to 0x5B, its "$": the
      // file would end as one without flashes.
      {"gzip Mann", gzip_head + "\x5b", kPgFormatMann3000, 0,
       ": the file is compressed (gzip), not a PG file; decompress it first (gunzip)."},
      {"bzip2 Draftek", std::string("BZh91AY&SY") + std::string(100, '\0'), kPgFormatDraftek, 0,
       ": the file is compressed (bzip2), not a PG file; decompress it first (bunzip2)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("a.pg", c.bytes);
    run_.log.reset(std::fopen("test.log", "w+b"));
    run_.pg_format = c.format;
    run_.output_path = "out.gds";
    EXPECT_EQ(Convert({{"a.pg", 1, "1"}, {"a.pg", 2, "2"}}), std::vector<int>{18});
    EXPECT_EQ(Output().size(), c.written);
    EXPECT_EQ(Log(),
              "\r\nError: File reading error" + std::string(c.reason) + "\r\n         a.pg\r\n");
  }
}

TEST_F(ConvertTest, FlashesThatCannotBeWrittenAreSkippedAndCounted) {
  // A flash without sides, and one that a scale of 2 pushes beyond 32 bits.
  WriteFile("a.em", "<X100Y100W0V0U0SX2000000000Y0W30V10U0SX100Y200W30V10U0SZ");
  run_.scale = 2;
  run_.output_path = "out.gds";
  EXPECT_EQ(Convert({{"a.em", 1, "1"}}), std::vector<int>{0});
  const std::vector<GdsElement> elements = Output();
  ASSERT_EQ(elements.size(), 1u);
  EXPECT_EQ(PointsText(elements[0]), "(170,410)(230,410)(230,390)(170,390)(170,410)");
  EXPECT_EQ(run_.warnings, 2);
  EXPECT_EQ(Log(),
            "\r\nWarning: 1 flash(es) without length skipped.\r\n         a.em\r\n"
            "\r\nWarning: 1 flash(es) beyond the 32-bit coordinate range skipped.\r\n"
            "         a.em\r\n");
}

TEST_F(ConvertTest, FlashEdgesStayWhereTheFileHasThemOrTheMoveIsCounted) {
  // Electromask in mils holds hundredths of a mil, as does the library's database unit.
  // A side of an odd number of units puts the flash's edges on half units: a scale of 2
  // holds them, a scale of 1 cannot, and a turned flash's corners lie off every grid.
  struct Case {
    const char* flash;
    bool as_path;
    double scale;
    const char* points;
    int32_t warnings;
    const char* warning;  // the log's text, empty when there is none
  };
  const Case cases[] = {
      {"X100Y200W30V10U0S", false, 1, "(85,205)(115,205)(115,195)(85,195)(85,205)", 0, ""},
      {"X13Y10W25V20U0S", false, 2, "(1,40)(51,40)(51,0)(1,0)(1,40)", 0, ""},
      {"X10Y13W20V25U0S", false, 2, "(0,1)(0,51)(40,51)(40,1)(0,1)", 0, ""},
      {"X13Y10W25V20U0S", false, 1, "(1,20)(26,20)(26,0)(1,0)(1,20)", 1,
       "1 flash(es) moved to the GDSII database grid of 0.01 mils, by up to 0.005 mils."},
      {"X13Y10W25V20U0S", true, 1, "(1,10)(26,10)", 1,
       "1 flash(es) moved to the GDSII database grid of 0.01 mils, by up to 0.005 mils."},
      {"X13Y10W25V20U0S", true, 2, "(1,20)(51,20)", 0, ""},
      {"X100Y100W40V20U450S", false, 1, "(79,93)(107,121)(121,107)(93,79)(79,93)", 1,
       "1 flash(es) moved to the GDSII database grid of 0.01 mils, by up to 0.00224736 mils."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.flash) + (c.as_path ? " -p" : "") + " scale " +
                 std::to_string(c.scale));
    WriteFile("a.em", std::string("<") + c.flash + "Z");
    run_.log.reset(std::fopen("test.log", "w+b"));
    run_.warnings = 0;
    run_.flash_as_path = c.as_path;
    run_.scale = c.scale;
    run_.output_path = "out.gds";
    EXPECT_EQ(Convert({{"a.em", 1, "1"}}), std::vector<int>{0});
    const std::vector<GdsElement> elements = Output();
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(PointsText(elements[0]), c.points);
    EXPECT_EQ(run_.warnings, c.warnings);
    EXPECT_EQ(Log(), *c.warning == 0
                         ? std::string()
                         : "\r\nWarning: " + std::string(c.warning) + "\r\n         a.em\r\n");
  }
}

TEST_F(ConvertTest, PointEndsMann3000DataAndWhatFollowsIsACountedWarning) {
  // Mann 3000 files in mils, like the run, that end with "." instead of "$".
  run_.pg_format = kPgFormatMann3000;
  run_.output_path = "out.gds";
  WriteFile("end.dwm", "\"T300E\"\r\nX10Y20W4H2A0;X30;\r\n.\r\n\"done\"\r\n");
  WriteFile("more.dwm", "\"T300E\"\r\nX10Y20W4H2A0;.\r\nX30;X50;$");
  EXPECT_EQ(Convert({{"end.dwm", 1, "1"}}), std::vector<int>{0});
  EXPECT_EQ(Output().size(), 2u);
  EXPECT_EQ(run_.warnings, 0);
  EXPECT_EQ(Convert({{"more.dwm", 1, "1"}}), std::vector<int>{0});
  EXPECT_EQ(Output().size(), 1u);  // the flash before the mark
  EXPECT_EQ(run_.warnings, 1);
  EXPECT_EQ(Log(),
            "\r\nWarning: Data after the end of data (\".\") at offset 25 left out.\r\n"
            "         more.dwm\r\n");
}

TEST_F(ConvertTest, UnitMismatchIsLoggedAndTheFileKeepsItsOwnUnit) {
  WriteFile("a.dwm", "\"T300M\"\r\nX1000Y2000W100H300A0;$");
  EngineRun& run = run_;
  run.pg_format = kPgFormatMann3000;
  run.output_path = "out.gds";
  ASSERT_EQ(OpenGdsOutput(run), 0);
  EXPECT_EQ(ProcessPgFile(run, "a.dwm", 4), kPgFileUnitMismatch);
  EXPECT_EQ(CloseGdsOutput(), 0);
  EXPECT_EQ(run.units.unit_code, 4);
  EXPECT_EQ(run.digits.divisor, 1);
  EXPECT_EQ(run.warnings, 1);
  EXPECT_EQ(Log(), "\r\nWarning: Unit type mismatch or unknown.\r\n         a.dwm\r\n");
  const std::vector<GdsElement> elements = Output();
  ASSERT_EQ(elements.size(), 1u);
  // Whole microns taken as the library's unit: 950 user units are 95000 database units.
  EXPECT_EQ(PointsText(elements[0]),
            "(95000,185000)(95000,215000)(105000,215000)(105000,185000)(95000,185000)");
}

TEST_F(ConvertTest, FileThatVanishedIsACountedWarning) {
  run_.output_path = "out.gds";
  EXPECT_EQ(Convert({{"gone.em", 1, "1"}}), std::vector<int>{0});
  EXPECT_EQ(run_.warnings, 1);
  EXPECT_EQ(Log(), "\r\nWarning: File cannot be opened.\r\n         gone.em\r\n");
}

TEST_F(ConvertTest, ProgressPerFile) {
  std::string big = "<";
  for (int i = 0; i < 400; ++i) big += "X" + std::to_string(1000 + i) + "Y5W30V10U0S\r\n";
  WriteFile("big.em", big + "Z");
  WriteFile("small.em", "<X100Y200W30V10U0SZ");
  run_.output_path = "out.gds";
  EXPECT_EQ(Convert({{"small.em", 1, "1"}}), std::vector<int>{0});
  EXPECT_EQ(SinkTexts(sink_.lines, ProgressCommand::kText, 3),
            (std::vector<std::string>{"", "0%", "100%"}));
  EXPECT_EQ(SinkTexts(sink_.lines, ProgressCommand::kText, 1),
            std::vector<std::string>{"Processing small.em:"});
  EXPECT_EQ(SinkTexts(sink_.lines, ProgressCommand::kListSelect),
            std::vector<std::string>{"small.em"});

  sink_.lines.clear();
  EXPECT_EQ(Convert({{"big.em", 1, "1"}}), std::vector<int>{0});
  // One update every (file size / 800) flashes: 7202 bytes, every 9th of 400 flashes.
  ASSERT_EQ(big.size() + 1, 7202u);
  const std::vector<std::string> percents = SinkTexts(sink_.lines, ProgressCommand::kText, 3);
  ASSERT_EQ(percents.size(), 3u + 44u);
  EXPECT_EQ(percents[1], "0%");
  EXPECT_EQ(percents.back(), "100%");
  int previous = 0;
  for (size_t i = 2; i + 1 < percents.size(); ++i) {
    const int percent = std::stoi(percents[i]);
    EXPECT_GT(percent, previous);
    EXPECT_LT(percent, 100);
    previous = percent;
  }
  EXPECT_EQ(Output().size(), 400u);
}

TEST_F(ConvertTest, CancelStopsAtTheNextProgressPoint) {
  std::string big = "<";
  for (int i = 0; i < 4000; ++i) big += "X" + std::to_string(1000 + i) + "Y5W30V10U0S\r\n";
  WriteFile("big.em", big + "Z");
  CancellingSink cancelling;
  SetProgressSink(&cancelling);
  run_.output_path = "out.gds";
  EXPECT_EQ(Convert({{"big.em", 1, "1"}, {"big.em", 2, "2"}}), std::vector<int>{-1});
  const size_t written = Output().size();
  // The first progress point comes after (72002 bytes / 800) = 90 flashes.
  ASSERT_EQ(big.size() + 1, 72002u);
  EXPECT_EQ(written, 90u) << "stopped at the first progress point";

  // Cancel before a file begins writes nothing of it.
  EXPECT_EQ(ProcessPgFile(run_, "big.em", 1), kPgFileCancelled);
}

}  // namespace
}  // namespace kavrinth
