// Encoding and parsing of the engines' progress lines.
#include "support/progress_protocol.h"

#include <array>
#include <charconv>

namespace kavrinth {

namespace {

struct CommandName {
  ProgressCommand command;
  std::string_view name;
  bool has_index;
  bool has_text;
};

constexpr std::array<CommandName, 8> kCommands = {{
    {ProgressCommand::kTitle, "TITLE", false, true},
    {ProgressCommand::kButton, "BUTTON", false, true},
    {ProgressCommand::kText, "TEXT", true, true},
    {ProgressCommand::kStatus, "STATUS", true, true},
    {ProgressCommand::kListClear, "LIST-CLEAR", false, false},
    {ProgressCommand::kListAdd, "LIST-ADD", false, true},
    {ProgressCommand::kListSelect, "LIST-SELECT", false, true},
    {ProgressCommand::kMessage, "MESSAGE", false, true},
}};

struct IconName {
  MessageIcon icon;
  std::string_view name;
};

constexpr std::array<IconName, 5> kIcons = {{
    {MessageIcon::kNone, "none"},
    {MessageIcon::kInformation, "info"},
    {MessageIcon::kQuestion, "question"},
    {MessageIcon::kWarning, "warning"},
    {MessageIcon::kStop, "stop"},
}};

const CommandName* FindCommand(ProgressCommand command) {
  for (const CommandName& c : kCommands) {
    if (c.command == command) return &c;
  }
  return nullptr;
}

int IndexLimit(ProgressCommand command) {
  return command == ProgressCommand::kText ? kProgressTextLines : kProgressStatusLines;
}

// Splits off the first blank-separated word of `rest`.
std::string_view TakeWord(std::string_view& rest) {
  size_t blank = rest.find(' ');
  std::string_view word = rest.substr(0, blank);
  rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
  return word;
}

}  // namespace

std::string EscapeProgressText(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string UnescapeProgressText(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      plain += text[i];
      continue;
    }
    char next = text[++i];
    plain += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return plain;
}

std::string EncodeProgressLine(const ProgressLine& line) {
  const CommandName* command = FindCommand(line.command);
  std::string encoded(command->name);
  if (command->has_index) encoded += ' ' + std::to_string(line.index);
  if (line.command == ProgressCommand::kMessage) {
    for (const IconName& icon : kIcons) {
      if (icon.icon == line.icon) encoded += ' ' + std::string(icon.name);
    }
  }
  if (command->has_text) encoded += ' ' + EscapeProgressText(line.text);
  encoded += '\n';
  return encoded;
}

std::optional<ProgressLine> ParseProgressLine(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  std::string_view rest = text;
  std::string_view name = TakeWord(rest);
  for (const CommandName& command : kCommands) {
    if (command.name != name) continue;
    ProgressLine line;
    line.command = command.command;
    if (command.has_index) {
      std::string_view number = TakeWord(rest);
      auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), line.index);
      if (error != std::errc() || end != number.data() + number.size() || line.index < 1 ||
          line.index > IndexLimit(command.command)) {
        return std::nullopt;
      }
    }
    if (command.command == ProgressCommand::kMessage) {
      std::string_view icon_name = TakeWord(rest);
      const IconName* found = nullptr;
      for (const IconName& icon : kIcons) {
        if (icon.name == icon_name) found = &icon;
      }
      if (!found) return std::nullopt;
      line.icon = found->icon;
    }
    if (command.has_text) line.text = UnescapeProgressText(rest);
    return line;
  }
  return std::nullopt;
}

}  // namespace kavrinth
