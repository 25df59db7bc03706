// Help contexts, the programs' topic tables and the README's headings.
#include "support/help_topics.h"

namespace kavrinth {
namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// A line that opens or closes a fenced code block: three or more backquotes or tildes
// after at most three blanks.
bool IsFence(std::string_view line) {
  const size_t indent = line.find_first_not_of(' ');
  if (indent == std::string_view::npos || indent > 3) return false;
  line.remove_prefix(indent);
  const char mark = line[0];
  if (mark != '`' && mark != '~') return false;
  return line.size() >= 3 && line[1] == mark && line[2] == mark;
}

// The heading of an ATX heading line, or nothing.
std::optional<MarkdownHeading> AtxHeading(std::string_view line) {
  const size_t indent = line.find_first_not_of(' ');
  if (indent == std::string_view::npos || indent > 3) return std::nullopt;
  line.remove_prefix(indent);
  size_t level = 0;
  while (level < line.size() && line[level] == '#') ++level;
  if (level == 0 || level > 6) return std::nullopt;
  if (level < line.size() && line[level] != ' ' && line[level] != '\t') return std::nullopt;
  std::string_view text = Trim(line.substr(level));
  // A closing sequence of marks goes when a blank stands before it (or it is all there is).
  const size_t marks = text.find_last_not_of('#');
  if (marks == std::string_view::npos) {
    text = {};
  } else if (marks + 1 < text.size() && (text[marks] == ' ' || text[marks] == '\t')) {
    text = Trim(text.substr(0, marks + 1));
  }
  return MarkdownHeading{static_cast<int>(level), std::string(text)};
}

// The end of the section that the heading at the index opens: the next heading of the same
// or an outer level, or the end.
size_t SectionEnd(std::span<const MarkdownHeading> headings, size_t index) {
  size_t end = index + 1;
  while (end < headings.size() && headings[end].level > headings[index].level) ++end;
  return end;
}

}  // namespace

int CommandOfHelpContext(uint32_t context) {
  return context >= kHelpCommandBase && context < kHelpDialogBase
             ? static_cast<int>(context - kHelpCommandBase)
             : 0;
}

std::string_view HelpSectionOf(const HelpTable& table, uint32_t context) {
  for (const HelpTopic& topic : table.topics) {
    if (topic.context == context) return topic.section;
  }
  return table.contents;
}

std::vector<MarkdownHeading> MarkdownHeadings(std::string_view markdown) {
  std::vector<MarkdownHeading> headings;
  bool in_code = false;
  while (!markdown.empty()) {
    const size_t end = markdown.find('\n');
    std::string_view line = markdown.substr(0, end);
    markdown.remove_prefix(end == std::string_view::npos ? markdown.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsFence(line)) {
      in_code = !in_code;
      continue;
    }
    if (in_code) continue;
    if (std::optional<MarkdownHeading> heading = AtxHeading(line)) {
      headings.push_back(std::move(*heading));
    }
  }
  return headings;
}

std::optional<size_t> FindHelpSection(std::span<const MarkdownHeading> headings,
                                      std::string_view path) {
  size_t first = 0;
  size_t end = headings.size();
  std::optional<size_t> found;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string_view part = Trim(path.substr(0, slash));
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    std::optional<size_t> match;
    for (size_t i = first; i < end; ++i) {
      if (headings[i].text == part) {
        match = i;
        break;
      }
    }
    if (!match) return std::nullopt;
    found = match;
    first = *match + 1;
    end = SectionEnd(headings, *match);
  }
  return found;
}

std::string HelpSectionPath(std::span<const MarkdownHeading> headings, size_t index) {
  if (index >= headings.size()) return {};
  std::vector<size_t> chain = {index};
  for (size_t i = index; i-- > 0;) {
    if (headings[i].level < headings[chain.back()].level) chain.push_back(i);
  }
  if (chain.size() > 1 && headings[chain.back()].level == 1) chain.pop_back();
  std::string path;
  for (size_t i = chain.size(); i-- > 0;) {
    if (!path.empty()) path += '/';
    path += headings[chain[i]].text;
  }
  return path;
}

}  // namespace kavrinth
