// Checked formatting of report lines from user-editable formats.
#include "viewer/model/report_format.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kavrinth {
namespace {

TEST(FormatReportLineTest, ConversionsThatFitTheirValuesPrintLikePrintf) {
  struct Case {
    const char* format;
    std::vector<ReportArg> args;
    const char* expected;
  } cases[] = {
      {"plain text", {}, "plain text"},
      {"%d flashes", {int64_t{42}}, "42 flashes"},
      {"%5ld|%-5d|%05i", {int64_t{7}, int64_t{-7}, int64_t{7}}, "    7|-7   |00007"},
      {"%*.*f", {int64_t{12}, int64_t{1}, 11.54}, "        11.5"},
      {"%-*.*f|", {int64_t{8}, int64_t{3}, -0.5}, "-0.500  |"},
      {"%.2f x %.2f", {20.0, 0.005}, "20.00 x 0.01"},
      {"%f", {int64_t{3}}, "3.000000"},
      {"%s%-*s|", {std::string("..."), int64_t{6}, std::string("ab")}, "...ab    |"},
      {"%c%x %X %o %u",
       {int64_t{65}, int64_t{255}, int64_t{255}, int64_t{8}, int64_t{-1}},
       "Aff FF 10 4294967295"},
      {"100%% %s", {std::string("done")}, "100% done"},
      {"%lld", {int64_t{5000000000}}, "5000000000"},
      {"%d", {int64_t{1}, int64_t{2}}, "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatReportLine(c.format, c.args), std::optional<std::string>(c.expected));
  }
}

TEST(FormatReportLineTest, FormatsThatDoNotFitTheirValuesAreRefused) {
  struct Case {
    const char* format;
    std::vector<ReportArg> args;
  } cases[] = {
      {"%s", {int64_t{1}}},
      {"%d", {2.5}},
      {"%d", {std::string("x")}},
      {"%f", {std::string("x")}},
      {"%d %d", {int64_t{1}}},
      {"%n", {int64_t{1}}},
      {"%p", {int64_t{1}}},
      {"%*d", {2.0, int64_t{1}}},
      {"%99999d", {int64_t{1}}},
      {"%.5000f", {1.0}},
      {"%*d", {int64_t{100000}, int64_t{1}}},
      {"%", {}},
      {"%5", {int64_t{1}}},
      {"%'d", {int64_t{1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatReportLine(c.format, c.args), std::nullopt);
  }
}

}  // namespace
}  // namespace kavrinth
