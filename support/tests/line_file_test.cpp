// Line files and the template-to-report text file pair.
#include "support/line_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using LineFileTest = test_support::TempDirTest;

std::vector<std::string> AllLines(CLineFile* file) {
  std::vector<std::string> lines;
  while (file->ReadLine() == 1) lines.emplace_back(file->line());
  return lines;
}

TEST_F(LineFileTest, LinesComeBackWithoutTheirLineEnds) {
  using Lines = std::vector<std::string>;
  struct Case {
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"one\ntwo\n", {"one", "two"}},
      {"one\n\r\n\nlast", {"one", "", "", "last"}},
      {"no line end", {"no line end"}},
      {"cr at the end\r", {"cr at the end"}},
      {"a\rb\n", {"a\rb"}},
      {"\n", {""}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CLineFile file;
    ASSERT_TRUE(file.Open(temp_.Write("t", c.bytes)));
    EXPECT_EQ(AllLines(&file), c.lines);
    EXPECT_EQ(file.ReadLine(), 0) << "the end stays the end";
  }
}

TEST_F(LineFileTest, LongLinesAndLinesAcrossReadBlocksComeBackWhole) {
  // Lengths around the 255-byte window and the read blocks, CR LF and LF mixed.
  std::vector<std::string> expected;
  std::string bytes;
  for (size_t length : {0, 254, 255, 256, 1000, 4095, 4096, 4097, 20000, 3, 7}) {
    std::string line;
    for (size_t i = 0; i < length; ++i) line.push_back(static_cast<char>('a' + (i + length) % 26));
    expected.push_back(line);
    bytes += line + (length % 2 ? "\r\n" : "\n");
  }
  CLineFile file;
  ASSERT_TRUE(file.Open(temp_.Write("long", bytes)));
  EXPECT_EQ(file.Length(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(AllLines(&file), expected);

  // Reset restarts at the first line.
  file.Reset();
  ASSERT_EQ(file.ReadLine(), 1);
  EXPECT_EQ(file.line(), expected[0]);
  ASSERT_EQ(file.ReadLine(), 1);
  EXPECT_EQ(file.line(), expected[1]);
  file.Reset();
  EXPECT_EQ(AllLines(&file), expected);
}

TEST_F(LineFileTest, OpenFindsNamesWithoutCaseAndRefusesWhatItCannotRead) {
  temp_.Write("scan.ssn", "Structures:\r\nTOP\r\n");
  CLineFile file;
  ASSERT_TRUE(file.Open(temp_.File("SCAN.SSN")));
  EXPECT_EQ(AllLines(&file), (std::vector<std::string>{"Structures:", "TOP"}));
  EXPECT_EQ(file.AcceptSize(), 1);

  EXPECT_FALSE(file.Open(temp_.File("missing.ssn")));
  EXPECT_EQ(file.ReadLine(), 0);
  EXPECT_EQ(file.Length(), 0);
  EXPECT_FALSE(file.Open(temp_.path()));
}

TEST(SplitTextLines, CrLfAndLfReadTheSameAndALastLineWithoutItsEndIsKept) {
  using Lines = std::vector<std::string>;
  const struct {
    std::string text;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\n\r\nlast", {"a", "", "last"}},
      {"one\r\r\n", {"one\r"}},  // only the CR of the line end goes
      {"\n", {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitTextLines(c.text), c.lines) << c.text;
}

TEST(ParseSignedInt, SkipsToTheNumberAndSaturates) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"12", 12},
      {"  -7x", -7},
      {"ab+5", 5},
      {"3:Total", 3},
      {"", 0},
      {"abc", 0},
      {"+", 0},
      {"- 4", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"99999999999999999999", INT32_MAX},
      {"-99999999999999999999", INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSignedInt(c.text), c.value) << c.text;
}

TEST_F(LineFileTest, TemplateIsCopiedUpToEachMarker) {
  const std::string input = temp_.Write("report.t_t", "title\n#3:Total\r\nend\n");
  const std::string output = temp_.File("report.txt");
  ASSERT_EQ(TextPairOpen(input, output), 0);
  std::string buffer;
  EXPECT_EQ(TextPairNextToken(&buffer, 128), 3);
  EXPECT_EQ(buffer, "Total\r\n");
  EXPECT_EQ(TextPairPutLine("Total 42"), 0);
  EXPECT_EQ(TextPairNextToken(&buffer, 128), -1);
  EXPECT_EQ(TextPairClose(), 0);
  EXPECT_EQ(test_support::ReadBytes(output), "title\r\nTotal 42\r\nend\r\n");
}

TEST_F(LineFileTest, OnlyHashDigitColonLinesAreMarkers) {
  TextPair pair;
  const std::string output = temp_.File("out");
  ASSERT_EQ(pair.Open(temp_.Write("t", "#x:1\n#3 no colon\n #4:x\n#\n#12 :a:b\nlast"), output), 0);
  std::string buffer;
  EXPECT_EQ(pair.NextToken(&buffer, 128), 12);
  EXPECT_EQ(buffer, "a:b\n");
  EXPECT_EQ(pair.NextToken(&buffer, 128), -1);
  EXPECT_EQ(pair.Close(), 0);
  EXPECT_EQ(test_support::ReadBytes(output), "#x:1\r\n#3 no colon\r\n #4:x\r\n#\r\nlast\r\n");
}

TEST_F(LineFileTest, WriteLineEndsEveryTextWithOneCrLf) {
  struct Case {
    std::string text;
    std::string written;
  } cases[] = {
      {"", ""},
      {"\n", "\r\n"},
      {"\r\n", "\r\n"},
      {"abc", "abc\r\n"},
      {"abc\r\n\r\n\n", "abc\r\n"},
      {"a\rb", "a\rb\r\n"},
      {std::string(3000, 'w'), std::string(3000, 'w') + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 20)));
    TextPair pair;
    ASSERT_EQ(pair.Open(temp_.Write("in", ""), temp_.File("out")), 0);
    EXPECT_EQ(pair.WriteLine(c.text), 0);
    EXPECT_EQ(pair.Close(), 0);
    EXPECT_EQ(test_support::ReadBytes(temp_.File("out")), c.written);
  }
}

TEST_F(LineFileTest, ReadLineKeepsSizeMinusOneBytesAndItsLineEnd) {
  TextPair pair;
  ASSERT_EQ(pair.Open(temp_.Write("in", "abcdefg\nxyz\n\nlast"), temp_.File("out")), 0);
  std::string line;
  const char* expected[] = {"abc", "xyz", "\n", "las"};
  for (const char* text : expected) {
    ASSERT_TRUE(pair.ReadLine(&line, 4));
    EXPECT_EQ(line, text);
  }
  EXPECT_FALSE(pair.ReadLine(&line, 4));
}

TEST_F(LineFileTest, OpenReportsWhichFileFailed) {
  struct Case {
    std::string input;
    std::string output;
    int result;
  } cases[] = {
      {"", temp_.File("out"), 1},
      {temp_.File("no/dir/in"), temp_.File("out"), 1},
      {temp_.path(), temp_.File("out"), 1},
      {temp_.File("in"), "", 2},
      {temp_.File("in"), temp_.File("no/dir/out"), 2},
      {temp_.File("in"), temp_.File("in"), 2},
  };
  temp_.Write("in", "template\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " -> " + c.output);
    TextPair pair;
    EXPECT_EQ(pair.Open(c.input, c.output), c.result);
    std::string buffer;
    EXPECT_EQ(pair.NextToken(&buffer, 128), -1) << "nothing is left open";
    EXPECT_EQ(pair.PutLine("x"), -2);
  }
  EXPECT_EQ(test_support::ReadBytes(temp_.File("in")), "template\n")
      << "the template is never truncated";
}

TEST_F(LineFileTest, MissingInputIsCreatedEmptyAndFoundWithoutCase) {
  TextPair pair;
  ASSERT_EQ(pair.Open(temp_.File("new.t_t"), temp_.File("out")), 0);
  EXPECT_TRUE(std::filesystem::exists(temp_.File("new.t_t")));
  std::string buffer;
  EXPECT_EQ(pair.NextToken(&buffer, 128), -1);
  EXPECT_EQ(pair.Close(), 0);

  temp_.Write("lumrarpt.t_t", "head\n#0:x\n");
  ASSERT_EQ(pair.Open(temp_.File("LUMRARPT.T_T"), temp_.File("out")), 0);
  EXPECT_EQ(pair.NextToken(&buffer, 128), 0);
  EXPECT_EQ(pair.Close(), 0);
  EXPECT_EQ(test_support::ReadBytes(temp_.File("out")), "head\r\n");
  EXPECT_FALSE(std::filesystem::exists(temp_.File("LUMRARPT.T_T")));
}

TEST_F(LineFileTest, WriteFailuresSurfaceAsMinusTwo) {
  TextPair pair;
  ASSERT_EQ(pair.Open(temp_.Write("in", "copied line\n#1:x\n"), "/dev/full"), 0);
  EXPECT_EQ(pair.PutLine("x"), -2);
  EXPECT_EQ(pair.WriteLine("x"), 1);
  std::string buffer;
  EXPECT_EQ(pair.NextToken(&buffer, 128), -2);
  pair.Close();
}

TEST_F(LineFileTest, UnreadableInputIsAFailureNotTheEnd) {
  // The first page of the address space is never mapped: reading it fails with EIO. A
  // report cut short there must not look complete.
  TextPair pair;
  ASSERT_EQ(pair.Open("/proc/self/mem", temp_.File("out")), 0);
  std::string buffer;
  EXPECT_EQ(pair.NextToken(&buffer, 128), -2);
  EXPECT_FALSE(pair.ReadLine(&buffer, 128));
  pair.Close();
}

}  // namespace
}  // namespace kavrinth
