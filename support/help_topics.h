// Help by context without help files: each program's table maps the help context of a
// command or dialog to the README section that covers it, and the README's headings are
// found here, so the mapping can be checked without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// Help contexts: a command's is 0x10000 plus its id, a dialog's 0x20000 plus its template
// id (the main window's own is the dialog context of its resource, 128).
inline constexpr uint32_t kHelpCommandBase = 0x10000;
inline constexpr uint32_t kHelpDialogBase = 0x20000;
constexpr uint32_t CommandHelpContext(int command_id) {
  return kHelpCommandBase + static_cast<uint32_t>(command_id);
}
constexpr uint32_t DialogHelpContext(int template_id) {
  return kHelpDialogBase + static_cast<uint32_t>(template_id);
}
// The command of a command context, or 0 for any other context.
int CommandOfHelpContext(uint32_t context);

// The README sections a program's help opens are named by heading paths: the heading
// texts from the outer section inwards, separated by '/' ("Vexil/Plotting" is the heading
// "Plotting" within the section "Vexil").
struct HelpTopic {
  uint32_t context;
  const char* section;
};

// A program's help: its topic table and the sections its Help menu names. A context that
// is not in the table opens the contents (the program's own section).
struct HelpTable {
  std::span<const HelpTopic> topics;
  const char* contents;      // Index: the section on the program
  const char* using_help;    // Using Help: how the program's help works
  const char* installation;  // Installation
};

// The section that covers the context: the first row of the table that has it, else the
// contents.
std::string_view HelpSectionOf(const HelpTable& table, uint32_t context);

// A heading of a Markdown text: its level (1 for "#") and its text, without the marks.
struct MarkdownHeading {
  int level = 0;
  std::string text;
};

// The ATX headings ("#" to "######" and a blank) of a Markdown text, in order; lines in
// fenced code blocks are not headings. LF and CR LF line ends are both read.
std::vector<MarkdownHeading> MarkdownHeadings(std::string_view markdown);

// The index of the heading that a section path names: the first heading with the path's
// first text, then within its section (the headings after it of a deeper level) the first
// with the second text, and so on. Nothing when a part is missing or the path is empty.
std::optional<size_t> FindHelpSection(std::span<const MarkdownHeading> headings,
                                      std::string_view path);

// The path of the section that the heading at the index opens: the texts of the headings
// it stands within, outermost first, and its own; the outermost heading of level 1 (the
// title of the whole text) is left out unless it is the heading itself.
std::string HelpSectionPath(std::span<const MarkdownHeading> headings, size_t index);

}  // namespace kavrinth
