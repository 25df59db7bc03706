// For the programs' tests: the sections a help table opens that are not headings of the
// README, read without a window.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/help_topics.h"

namespace kavrinth::test_support {

// The contents, Using Help, Installation and topic sections of the table that the README at
// the path has no heading for; when the README cannot be read, a line that says so.
inline std::vector<std::string> SectionsMissingFromReadme(const HelpTable& table,
                                                          const std::string& readme) {
  std::ifstream file(readme, std::ios::binary);
  if (!file.good()) return {"(" + readme + " cannot be read)"};
  std::stringstream text;
  text << file.rdbuf();
  const std::vector<MarkdownHeading> headings = MarkdownHeadings(text.str());
  std::vector<std::string> sections = {table.contents, table.using_help, table.installation};
  for (const HelpTopic& topic : table.topics) sections.push_back(topic.section);
  std::vector<std::string> missing;
  for (const std::string& section : sections) {
    if (!FindHelpSection(headings, section).has_value()) missing.push_back(section);
  }
  return missing;
}

}  // namespace kavrinth::test_support
