// Tests of reading pg.cfg into records.
#include "companions/vantor/pg_settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace kavrinth {
namespace {

// The shape the GDSII -> PG shell writes: LF lines, an extra empty line before
// PG_OUTPUT, whose layer lines run to the end of the file.
constexpr std::string_view kShellPgCfg =
    "SMALLANGLE\n0.000000\n\nSCALE\n1.000000\n\nFEATURE\n0.200000\n\n"
    "TSCALE\n1.000000\n1.000000\n1.000000\n1.000000\n\nBLOCK_TEXT\nNO\n\n"
    "ENGMIN\n0.100000\n\nPERCENT_BUTT\n0\n\n\nPG_OUTPUT\n1 out1.pg\n7 my dir/out 7.pg\n";

std::string WithCrLf(std::string_view text) {
  std::string out;
  for (char ch : text) {
    if (ch == '\n') out += '\r';
    out += ch;
  }
  return out;
}

TEST(ParseSettingsRecordsTest, ReadsKeysAndValuesOfTheShellsFile) {
  for (const std::string& text : {std::string(kShellPgCfg), WithCrLf(kShellPgCfg)}) {
    std::vector<SettingsRecord> records = ParseSettingsRecords(text);
    std::vector<std::string> keys;
    for (const SettingsRecord& record : records) keys.push_back(record.key);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"SMALLANGLE", "SCALE", "FEATURE", "TSCALE", "BLOCK_TEXT",
                                        "ENGMIN", "PERCENT_BUTT", "PG_OUTPUT"}));
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[3].values, (std::vector<std::string>(4, "1.000000")));
    EXPECT_EQ(records[4].values, (std::vector<std::string>{"NO"}));
    EXPECT_EQ(records[7].values, (std::vector<std::string>{"1 out1.pg", "7 my dir/out 7.pg"}));
  }
}

TEST(ParseSettingsRecordsTest, EdgeShapes) {
  EXPECT_TRUE(ParseSettingsRecords("").empty());
  EXPECT_TRUE(ParseSettingsRecords("\n\r\n\n").empty());
  // A last record without its empty line, and a key without values.
  std::vector<SettingsRecord> records = ParseSettingsRecords("\nVERIFY\n\nOLEVEL\n3");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].key, "VERIFY");
  EXPECT_TRUE(records[0].values.empty());
  EXPECT_EQ(records[1].key, "OLEVEL");
  EXPECT_EQ(records[1].values, (std::vector<std::string>{"3"}));
}

class ReadSettingsRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantor_settings_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::filesystem::path directory_;
};

TEST_F(ReadSettingsRecordsTest, FindsTheFileWhateverTheCaseOfItsName) {
  std::ofstream(directory_ / "PG.CFG") << kShellPgCfg;
  auto records = ReadSettingsRecords((directory_ / "pg.cfg").string());
  ASSERT_TRUE(records.has_value());
  EXPECT_EQ(records->size(), 8u);
}

TEST_F(ReadSettingsRecordsTest, NothingWhenTheFileCannotBeRead) {
  EXPECT_FALSE(ReadSettingsRecords((directory_ / "pg.cfg").string()).has_value());
  std::filesystem::create_directory(directory_ / "pg.cfg");
  EXPECT_FALSE(ReadSettingsRecords((directory_ / "pg.cfg").string()).has_value());
}

TEST_F(ReadSettingsRecordsTest, AnEmptyFileHasNoRecords) {
  std::ofstream(directory_ / "pg.cfg").flush();
  auto records = ReadSettingsRecords((directory_ / "pg.cfg").string());
  ASSERT_TRUE(records.has_value());
  EXPECT_TRUE(records->empty());
}

}  // namespace
}  // namespace kavrinth
