// The records of pg.cfg, the PG settings file: a key line, value lines, an
// empty line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

struct SettingsRecord {
  std::string key;
  std::vector<std::string> values;
};

// Splits settings text (LF or CR LF lines) into records: the first non-empty
// line after an empty line (or at the start) is a key, the lines up to the
// next empty line its values.
std::vector<SettingsRecord> ParseSettingsRecords(std::string_view text);

// Reads and parses an existing settings file, found without regard to the case
// of its name; empty when it cannot be read.
std::optional<std::vector<SettingsRecord>> ReadSettingsRecords(std::string_view path);

}  // namespace kavrinth
