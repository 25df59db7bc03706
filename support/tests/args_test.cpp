// Tests of line splitting, NUL lists, real and fixed-point printing and the
// short-name checks.
#include "support/args.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "support/notifier.h"
#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using Words = std::vector<std::string>;
using namespace std::string_literals;

struct SplitCase {
  const char* text;
  int n;
  Words expected;
};

TEST(SplitWordsTest, CutsAtInvisibleCharactersAndKeepsTheRestInTheLastWord) {
  const SplitCase cases[] = {
      {"a b c d", 3, {"a", "b c d"}},
      {"  one\ttwo\r\nthree  ", 10, {"one", "two", "three"}},
      {"layer 10 20 extra words", 4, {"layer", "10", "20 extra words"}},
      {"a b ", 3, {"a", "b "}},  // the last word keeps its separators
      {"", 5, {}},
      {" \t ", 5, {}},
      {"a b", 1, {}},  // room for the terminating null only
  };
  for (const SplitCase& c : cases) EXPECT_EQ(SplitWords(c.text, c.n), c.expected) << c.text;
}

TEST(SplitArgsTest, SplitsAtBlanksWithQuoting) {
  const SplitCase cases[] = {
      {"a b c d", 3, {"a", "b c d"}},
      {"a  b", 10, {"a", "b"}},
      {"a\tb c", 10, {"a\tb", "c"}},  // only the blank separates
      {"x \"my file.gds\" y", 10, {"x", "my file.gds", "y"}},
      {"\"unclosed rest", 10, {"unclosed rest"}},
      {"\"a b\"c d", 10, {"a b", "c", "d"}},
      {"'it's here' x", 10, {"it's here", "x"}},
      {"'ab'c d", 10, {"'ab'c", "d"}},  // the quote before a letter does not close
      {"'open x", 10, {"'open", "x"}},
      {"a\"b c", 10, {"a\"b", "c"}},  // quotes inside a word are ordinary
      {"\"\" x", 10, {"", "x"}},
      {"-o:\"out.gds\"", 10, {"-o:\"out.gds\""}},
      {"  ", 10, {}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(SplitArgs(c.text, c.n), c.expected) << c.text;
}

TEST(SplitArgsTest, LastWordKeepsTheRestWithoutItsClosingQuote) {
  EXPECT_EQ(SplitArgs("a \"b c\" d e", 3), (Words{"a", "b c d e"}));
  EXPECT_EQ(SplitArgs("\"b c\"", 2), (Words{"b c"}));
  EXPECT_EQ(SplitArgs("'b c' d", 2), (Words{"b c d"}));
}

TEST(SplitCommandLineTest, FirstWordBetweenDoubledQuotesMayHoldBlanks) {
  const SplitCase cases[] = {
      {"\"\"/opt/my tools/tabreng\"\" in.gds 0.5", 32, {"/opt/my tools/tabreng", "in.gds", "0.5"}},
      // The whole line wrapped in one more pair of quotes.
      {"\"\"/opt/my tools/x\" a \"b c\"\"", 32, {"/opt/my tools/x", "a", "b c"}},
      {"\"\"/opt/my tools/x", 32, {"/opt/my tools/x"}},
      {"\"/usr/bin/tabreng\" in.gds =", 32, {"/usr/bin/tabreng", "in.gds", "="}},
      {"\"\"p\"\" a b c", 3, {"p", "a b c"}},
      {"\"\"p\"\" a", 1, {}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(SplitCommandLine(c.text, c.n), c.expected) << c.text;
}

TEST(NulListTest, SplitsAndJoinsEntries) {
  const std::string list = "/data\0a.em\0b.em\0\0"s;
  EXPECT_EQ(SplitNulList(list, 10), (Words{"/data", "a.em", "b.em"}));
  EXPECT_EQ(SplitNulList(list, 3), (Words{"/data", "a.em"}));
  EXPECT_EQ(SplitNulList("\0\0"s, 10), Words{});
  EXPECT_EQ(SplitNulList("", 10), Words{});
  EXPECT_EQ(SplitNulList("/data/one.em"s, 10), Words{"/data/one.em"});  // no terminators
  EXPECT_EQ(SplitNulList("a\0\0b\0\0"s, 10), Words{"a"});               // ends at the empty entry

  EXPECT_EQ(NulListToBlanks(list), "/data a.em b.em");
  EXPECT_EQ(NulListToBlanks("\0\0"s), "");
  EXPECT_EQ(NulListToQuoted(list), "\"/data\" \"a.em\" \"b.em\"");
  EXPECT_EQ(NulListToQuoted("one\0\0"s), "\"one\"");
  EXPECT_EQ(NulListToQuoted("\0\0"s), "");
}

TEST(FindAnyCharTest, FindsTheFirstCharacterOfTheSet) {
  const char* text = "name.ext;x";
  EXPECT_EQ(FindAnyChar(text, ";."), text + 4);
  EXPECT_EQ(FindAnyChar(text, "?*"), nullptr);
  EXPECT_EQ(FindAnyChar(nullptr, "a"), nullptr);
  EXPECT_EQ(FindAnyChar(text, ""), nullptr);
}

TEST(ParseDecimalTest, ReadsLeadingDigitsAndSaturates) {
  const std::pair<const char*, int32_t> cases[] = {
      {"123abc", 123},
      {"007", 7},
      {"-5", 0},
      {" 5", 0},
      {"", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"99999999999999999999999", INT32_MAX},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseDecimal(text), value) << text;
}

struct RealCase {
  double value;
  double resolution;
  size_t size;
  const char* expected;
};

TEST(FormatRealTest, PrintsJustEnoughDecimals) {
  const RealCase cases[] = {
      {2.5, 0.01, 64, "2.5"},
      {3.0, 0.01, 64, "3"},
      {1234.5678, 0.001, 64, "1234.568"},
      {-2.5, 1, 64, "-3"},
      {2.5, 1, 64, "3"},
      {0.05, 0.1, 64, "0.1"},
      {1.5, 0, 64, "1.5"},        // 16 decimals before the zeros are cut
      {0.1, -1, 64, "0.1"},       // a negative resolution also asks for 16
      {1.26, 0.5, 64, "1.3"},     // 0.5 is not below 0.1: one decimal
      {100.0, 0.001, 64, "100"},  // zeros of the integer part stay
      {3.14159, 1e-15, 64, "3.14159"},
      {123.456, 0.001, 5, "123."},         // cut to size-1 characters
      {-123.456, 0.001, 5, "-123"},        // a sign takes one more
      {4000000000.0, 1, 4, "4000000000"},  // whole numbers are never cut
  };
  for (const RealCase& c : cases) {
    EXPECT_EQ(FormatReal(c.value, c.resolution, c.size), c.expected)
        << c.value << " at " << c.resolution;
  }
}

TEST(FormatRealTest, ZeroIsNeverSigned) {
  const RealCase cases[] = {
      {-0.0001, 0.01, 64, "0"}, {-0.4, 1, 64, "0"},  {-0.0, 1, 64, "0"},
      {-0.0, 0.001, 64, "0"},   {0.0, 0.1, 64, "0"}, {-0.0004, 0.001, 64, "0"},
      {-0.0001, 1e-6, 3, "0"},  // the cut text "0.0" holds no digit but zeros
  };
  for (const RealCase& c : cases) {
    EXPECT_EQ(FormatReal(c.value, c.resolution, c.size), c.expected)
        << c.value << " at " << c.resolution;
  }
}

TEST(FormatRealTest, HandlesValuesBeyondIntegerRangeAndNonFinite) {
  EXPECT_EQ(FormatReal(1e20, 1), "100000000000000000000");
  EXPECT_EQ(FormatReal(-1e19, 1), "-10000000000000000000");
  EXPECT_EQ(FormatReal(1e300, 1).size(), 301u);
  EXPECT_EQ(FormatReal(1e300, 0.001, 64).size(), 63u);
  EXPECT_EQ(FormatReal(std::nan(""), 0.01), "nan");
  EXPECT_EQ(FormatReal(std::numeric_limits<double>::infinity(), 1), "inf");
  EXPECT_EQ(FormatReal(-std::numeric_limits<double>::infinity(), 0.1), "-inf");
  EXPECT_EQ(FormatReal(2.5, 0.1, 0), "");
  EXPECT_EQ(FormatReal(-2.5, 0.1, 1), "");  // no room at all
}

struct FixedCase {
  int32_t value;
  int32_t scale;
  const char* expected;
};

TEST(FormatFixedPointTest, PrintsAsManyDecimalsAsTheScaleNeeds) {
  const FixedCase cases[] = {
      {12345, 1000, "12.345"},
      {-5, 1000, "-0.005"},
      {7, 3, "2.3"},
      {8, 3, "2.7"},  // 0.666.. rounds up
      {5, 1, "5."},
      {0, 1000, "0.000"},
      {5, 0, ""},
      {1, 1000000000, "0.000000001"},
      {999999999, 1000000000, "0.999999999"},
      {INT32_MIN, 1000, "-2147483.648"},
      {INT32_MAX, 1, "2147483647."},
      {INT32_MAX, INT32_MAX, "1.0000000000"},
      {INT32_MAX - 1, INT32_MAX, "0.9999999995"},
      {INT32_MIN, INT32_MIN, "1.0000000000"},
      {-1, INT32_MIN, "0.0000000005"},  // the sign of -1 / -2147483648 is +
      {5, -1000, "-0.005"},
      {-5, -1000, "0.005"},
      {0, -10, "0.0"},
  };
  for (const FixedCase& c : cases) {
    EXPECT_EQ(FormatFixedPoint(c.value, c.scale), c.expected) << c.value << "/" << c.scale;
  }
}

TEST(FormatFixedPointTest, ToDestinationReturnsIt) {
  std::string destination = "old";
  std::string& result = FormatFixedPointTo(250, 100, destination);
  EXPECT_EQ(&result, &destination);
  EXPECT_EQ(destination, "2.50");
}

TEST(SplitPathComponentsTest, TakesTheTextAfterEachSeparator) {
  const SplitCase cases[] = {
      {"/data/sub/a.gds", 10, {"data", "sub", "a.gds"}},
      {"rel/sub/a.gds", 10, {"sub", "a.gds"}},  // the first relative directory is not one
      {"a.gds", 10, {"a.gds"}},
      {"/data/", 10, {"data", ""}},
      {"/a/b/c/d", 4, {"a", "b"}},  // at most n-2
      {"", 10, {""}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitPathComponents(c.text, c.n), c.expected) << c.text;
  }
}

TEST(ShortNameTest, LengthOfAnEightDotThreeStem) {
  const std::pair<const char*, int> cases[] = {
      {"README", 6},   {"A.B.C", 0},       {"FILE.GDSX", 0},    {"NINECHARS", 0},
      {"EIGHTCHR", 8}, {"FILE.", 0},       {".GDS", 0},         {"", 0},
      {"A.GDS", 1},    {"TOOLONGER.C", 0}, {"ABCDEFGH.ABC", 8},
  };
  for (const auto& [name, length] : cases) EXPECT_EQ(ShortNameLength(name), length) << name;
}

TEST(ShortNameTest, ValidatesEveryComponentsCharacters) {
  const std::pair<const char*, int> cases[] = {
      {"/DATA/A-B.GDS", 1},
      {"/MY DATA/A.GDS", 0},
      {"/DATA/", 0},
      {"/DATA/A~1_X.GDS", 1},
      {"/DATA/A+B.GDS", 0},
      {"/DATA/A,B.GDS", 0},
      {"/DATA/A@B.GDS", 0},
      {"/DATA/LONGFILENAME.GDS", 0},
      {"/LONGDIRECTORY/A.GDS", 0},
      {"A.GDS", 1},
      {"/DATA/A:B", 0},
  };
  for (const auto& [path, valid] : cases) EXPECT_EQ(ValidateShortNameChars(path), valid) << path;
  // Every one of the forbidden characters fails on its own.
  for (char c : std::string(" *=+[];:\"<>?|@,")) {
    std::string path = std::string("/DATA/A") + c + "B.GDS";
    EXPECT_EQ(ValidateShortNameChars(path), 0) << path;
  }
}

// A temporary directory holding a short-named subdirectory.
class ValidateShortFileNameTest : public test_support::TempDirTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TempDirTest::SetUp());
    directory_ = temp_.File("SHORT");
    ASSERT_EQ(mkdir(directory_.c_str(), 0755), 0);
  }

  std::string directory_;
  ScriptedNotifier notifier_;
  ScopedNotifier scope_{&notifier_};
};

TEST_F(ValidateShortFileNameTest, PathAloneWithAndWithoutMessage) {
  EXPECT_EQ(ValidateShortFileName("/DATA/A.GDS", 0, 1, false), 1);
  EXPECT_EQ(ValidateShortFileName(nullptr, 0, 1, false), 0);
  EXPECT_TRUE(notifier_.shown.empty());

  EXPECT_EQ(ValidateShortFileName("/DATA/long name.gds", 0, 0, false), 0);
  EXPECT_EQ(ValidateShortFileName("/DATA/long name.gds", 0, 2, false), 0);
  EXPECT_TRUE(notifier_.shown.empty());  // only a flag of exactly 1 shows the box

  EXPECT_EQ(ValidateShortFileName("/DATA/long name.gds", 0, 1, false), 0);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text,
            "/DATA/long name.gds\n\nInvalid file name.\nLong file name is not supported.\n"
            "Select files and directories that conform to 8.3 format.");
  EXPECT_EQ(notifier_.shown[0].caption, "");
  EXPECT_EQ(notifier_.shown[0].icon, MessageIcon::kWarning);
}

TEST_F(ValidateShortFileNameTest, ListJoinsNamesToAnExistingDirectory) {
  // The root's own name (kavrinth_..._XXXXXX) is long, so the directory entry is taken
  // from a relative path whose components are short.
  std::filesystem::path old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(temp_.path());
  std::string good = "SHORT\0A.GDS\0B.GDS\0\0"s;
  std::string bad = "SHORT\0A.GDS\0LONGNAME1.GDS\0C D.GDS\0\0"s;
  std::string not_a_directory = "NOSUCH\0LONG NAME.GDS\0\0"s;
  std::string single_file = "X/A.GDS\0\0"s;

  EXPECT_EQ(ValidateShortFileName(good.data(), good.size(), 1, true), 1);
  EXPECT_EQ(ValidateShortFileName(single_file.data(), single_file.size(), 1, true), 1);
  EXPECT_EQ(ValidateShortFileName(not_a_directory.data(), not_a_directory.size(), 1, true), 1);
  EXPECT_TRUE(notifier_.shown.empty());

  EXPECT_EQ(ValidateShortFileName(bad.data(), bad.size(), 1, true), 0);
  std::filesystem::current_path(old_cwd);
  ASSERT_EQ(notifier_.shown.size(), 1u);  // stops at the first failure
  EXPECT_EQ(notifier_.shown[0].text.substr(0, notifier_.shown[0].text.find('\n')),
            "SHORT/LONGNAME1.GDS");
}

}  // namespace
}  // namespace kavrinth
