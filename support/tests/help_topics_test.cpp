// The help topic tables and the README's headings: which lines are headings, how a section
// path finds its heading, and which section a context opens.
#include "support/help_topics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavrinth {
namespace {

std::string Describe(const std::vector<MarkdownHeading>& headings) {
  std::string text;
  for (const MarkdownHeading& heading : headings) {
    text += std::to_string(heading.level) + ":" + heading.text + ";";
  }
  return text;
}

TEST(MarkdownHeadingsTest, FindsTheHeadingLinesOnly) {
  struct Case {
    const char* markdown;
    const char* headings;
  } cases[] = {
      {"# Title\ntext\n## Part\n", "1:Title;2:Part;"},
      {"# Title\r\n## Part\r\ntext\r\n", "1:Title;2:Part;"},  // CR LF line ends
      {"## Closed ##\n### Hash#\n", "2:Closed;3:Hash#;"},     // a closing run needs a blank
      {"#NoBlank\n####### Seven\n    # Indented code\n", ""},
      {"   ### Three blanks\n", "3:Three blanks;"},
      {"```sh\n# a comment in code\n```\n## After\n", "2:After;"},
      {"~~~\n# code\n~~~\n# Out\n", "1:Out;"},
      {"## Trailing blanks   \n#\n", "2:Trailing blanks;1:;"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Describe(MarkdownHeadings(c.markdown)), c.headings) << c.markdown;
  }
}

// Two programs with sections of the same name, as the README has them.
const char kReadme[] =
    "# Suite\n"
    "## Installing\n"
    "## Tabrun\n"
    "### Control panel\n"
    "### Using Help\n"
    "## Corvane\n"
    "### Control panel\n"
    "#### Details\n"
    "### Using Help\n"
    "## Vexil\n"
    "### Plotting\n";

TEST(FindHelpSectionTest, EachPartOfThePathIsLookedForWithinTheOneBefore) {
  const std::vector<MarkdownHeading> headings = MarkdownHeadings(kReadme);
  struct Case {
    const char* path;
    int index;  // -1: not found
  } cases[] = {
      {"Installing", 1},
      {"Tabrun", 2},
      {"Tabrun/Using Help", 4},
      {"Corvane/Using Help", 8},
      {"Corvane/Control panel/Details", 7},
      {"Corvane / Control panel", 6},   // blanks around the parts do not count
      {"Using Help", 4},                // without a parent: the first of the name
      {"Tabrun/Plotting", -1},          // Plotting stands in Vexil's section
      {"Tabrun/Control panel/Details", -1},
      {"Vexil/Editing", -1},
      {"", -1},
  };
  for (const Case& c : cases) {
    const std::optional<size_t> found = FindHelpSection(headings, c.path);
    if (c.index < 0) {
      EXPECT_FALSE(found.has_value()) << c.path;
    } else {
      ASSERT_TRUE(found.has_value()) << c.path;
      EXPECT_EQ(*found, static_cast<size_t>(c.index)) << c.path;
    }
  }
}

TEST(HelpSectionPathTest, NamesTheSectionsAHeadingStandsIn) {
  const std::vector<MarkdownHeading> headings = MarkdownHeadings(kReadme);
  const char* expected[] = {"Suite",
                            "Installing",
                            "Tabrun",
                            "Tabrun/Control panel",
                            "Tabrun/Using Help",
                            "Corvane",
                            "Corvane/Control panel",
                            "Corvane/Control panel/Details",
                            "Corvane/Using Help",
                            "Vexil",
                            "Vexil/Plotting"};
  ASSERT_EQ(headings.size(), std::size(expected));
  for (size_t i = 0; i < headings.size(); ++i) {
    EXPECT_EQ(HelpSectionPath(headings, i), expected[i]);
    // The path names the heading it came from.
    EXPECT_EQ(FindHelpSection(headings, expected[i]), i == 0 ? 0 : i) << expected[i];
  }
  EXPECT_EQ(HelpSectionPath(headings, headings.size()), "");
}

TEST(HelpSectionOfTest, ATableRowWinsAndEveryOtherContextOpensTheContents) {
  const HelpTopic topics[] = {
      {CommandHelpContext(32854), "Vexil/Viewing"},
      {DialogHelpContext(156), "Vexil/Snap Settings"},
      {CommandHelpContext(32854), "Vexil/Second row of the same context"},
  };
  const HelpTable table{topics, "Vexil", "Vexil/Using Help", "Installing"};
  EXPECT_EQ(HelpSectionOf(table, 0x18056), "Vexil/Viewing");
  EXPECT_EQ(HelpSectionOf(table, 0x2009C), "Vexil/Snap Settings");
  EXPECT_EQ(HelpSectionOf(table, CommandHelpContext(57664)), "Vexil");
  EXPECT_EQ(HelpSectionOf(table, DialogHelpContext(128)), "Vexil");
  EXPECT_EQ(HelpSectionOf(table, 0), "Vexil");
}

TEST(HelpContextTest, CommandsAndDialogsHaveTheirOwnRanges) {
  EXPECT_EQ(CommandHelpContext(57600), 0x1E100u);
  EXPECT_EQ(DialogHelpContext(176), 0x200B0u);
  EXPECT_EQ(CommandOfHelpContext(0x18079), 32889);
  EXPECT_EQ(CommandOfHelpContext(0x2009C), 0);
  EXPECT_EQ(CommandOfHelpContext(0x100), 0);
}

}  // namespace
}  // namespace kavrinth
