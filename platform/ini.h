// INI files with the semantics of the private-profile calls the programs were written
// for: case-blind sections and keys, trimmed and unquoted values, edits in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavrinth {

// The integer a stored text stands for: optional blanks are already gone; an optional
// sign and the leading decimal digits count ("12abc" is 12, "abc" is 0). Unsigned text
// up to 4294967295 wraps to the signed value, so "4294967295" is -1. Empty text and a
// number outside the 32-bit range give no value.
std::optional<int32_t> ParseProfileInt(std::string_view text);

// One INI file held in memory as its lines, so that a save changes only the lines that
// were set or removed and keeps every other byte.
//
// A section whose name appears a second time in the file does not extend the first:
// lookups and writes use the first occurrence only, and the later one is kept as it
// stands (only RemoveSection takes out every occurrence).
class IniFile {
 public:
  // Reads the file. The name is found without regard to the case of its last component
  // and the file is saved back under the name found. A missing file reads as empty
  // (true); a file that cannot be read gives false and an empty file.
  bool Load(const std::string& path);

  // The value of the first matching key of the first matching section, up to a zero byte,
  // trimmed of blanks and tabs and stripped of one pair of enclosing matching quotes.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // The value, or the default when the key is missing; at most size-1 characters (the
  // room the platform leaves for the terminating zero; nothing when size is 0).
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view default_value, size_t size) const;
  // The value read as an integer (ParseProfileInt); the default when the key is
  // missing, empty or out of range.
  int32_t GetInt(std::string_view section, std::string_view key, int32_t default_value) const;

  // Writes "key=value", the value within quotes when Get would otherwise trim it or take
  // off its own quotes, so that Get gives it back. The key's line is replaced in place, a
  // new key goes after the last non-blank line of its section, a new section is appended
  // at the end. False, with nothing changed, when a name is empty or holds a line break,
  // a key holds '=' or starts with ';' or '[', or a value holds a line break or a zero
  // byte.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  // Set for many keys of one section in one pass over the file, with the result of
  // calling Set for each in turn: false when any of them was refused (the others are
  // still written).
  bool SetValues(std::string_view section,
                 const std::vector<std::pair<std::string, std::string>>& values);
  // Removes every line of the key in the section; true when there was one.
  bool RemoveKey(std::string_view section, std::string_view key);
  // Removes every occurrence of the section with all its lines; true when there was one.
  bool RemoveSection(std::string_view section);

  // Section names in file order, each once, as first spelt.
  std::vector<std::string> Sections() const;
  // Key names of the section in file order, each once, as first spelt.
  std::vector<std::string> Keys(std::string_view section) const;
  // The keys of the section in file order, each once as first spelt, with the value Get
  // gives for it: one pass over the file for a caller that wants many keys.
  std::vector<std::pair<std::string, std::string>> Values(std::string_view section) const;

  // Writes the file when anything changed since it was loaded (true when nothing did).
  // The text goes to a temporary file in the same directory, is synced and renamed over
  // the file, which keeps its permission bits; on any failure the old file is left as
  // it was and the result is false, as it is after a failed Load and for a file that
  // may not be written.
  bool Save();

  const std::string& path() const { return path_; }
  bool changed() const { return changed_; }

 private:
  enum class LineKind { kOther, kSection, kKey };
  struct Line {
    std::string text;    // the line without its end
    std::string ending;  // "\n", "\r\n", or empty for a last line without one
    LineKind kind = LineKind::kOther;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed, quotes kept
  };
  struct Range {
    size_t header;  // index of the section line
    size_t end;     // one past its last line
  };

  static Line ParseLine(std::string text, std::string ending);
  std::optional<Range> FindSection(std::string_view section) const;
  std::optional<size_t> FindKey(const Range& range, std::string_view key) const;
  void InsertLine(size_t index, std::string text);
  bool WriteTo(const std::string& target) const;

  std::string path_;
  std::vector<Line> lines_;
  std::string line_end_ = "\r\n";
  bool changed_ = false;
  bool readable_ = true;  // false after a failed load: such a file is never saved over
};

// One-shot calls with the shape of the platform's private-profile calls, for callers
// that touch a single key. Each loads the file; a write also saves it.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view default_value, size_t size);
int32_t ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                       int32_t default_value);
// Writes the value, or removes the key when value is null. True on success.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        const char* value);

}  // namespace kavrinth
