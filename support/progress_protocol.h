// The line protocol an engine speaks on KAVRINTH_PROGRESS_FD, and that the shells'
// engine progress dialog reads. One command per line, LF-terminated:
//
//   TITLE <text>          the dialog's caption
//   BUTTON <text>         the Cancel button's text
//   TEXT <n> <text>       progress line n = 1..3 (what is done, percentage, third line)
//   STATUS <n> <text>     status line n = 1..7 (structure or file being worked on, ...)
//   LIST-CLEAR            empties the list (layers, or input files)
//   LIST-ADD <text>       appends one entry to the list
//   LIST-SELECT <text>    selects the entry with that text
//   MESSAGE <icon> <text> a message the engine shows; icon is one of
//                         "info", "question", "warning", "stop", "none"
//
// Texts are escaped so that a line stays one line: '\' becomes "\\", LF "\n" and
// CR "\r". An empty text clears its field. Readers ignore lines they do not know,
// so the protocol can grow. The shell cancels an engine by sending it SIGTERM.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/notifier.h"

namespace kavrinth {

enum class ProgressCommand {
  kTitle,
  kButton,
  kText,
  kStatus,
  kListClear,
  kListAdd,
  kListSelect,
  kMessage,
};

struct ProgressLine {
  ProgressCommand command = ProgressCommand::kText;
  int index = 0;                          // TEXT 1..3, STATUS 1..7; 0 otherwise
  MessageIcon icon = MessageIcon::kNone;  // MESSAGE only
  std::string text;
};

inline constexpr int kProgressTextLines = 3;
inline constexpr int kProgressStatusLines = 7;

std::string EscapeProgressText(std::string_view text);
std::string UnescapeProgressText(std::string_view text);

// The line for one command, with its LF.
std::string EncodeProgressLine(const ProgressLine& line);

// One line (with or without its LF or CR LF); nothing for a line that is not a
// known, well-formed command.
std::optional<ProgressLine> ParseProgressLine(std::string_view line);

}  // namespace kavrinth
