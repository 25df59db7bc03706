// Reading pg.cfg into its records.
#include "companions/vantor/pg_settings.h"

#include <cstdio>
#include <memory>

#include "platform/files.h"

namespace kavrinth {

std::vector<SettingsRecord> ParseSettingsRecords(std::string_view text) {
  std::vector<SettingsRecord> records;
  bool in_record = false;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) {
      in_record = false;
    } else if (!in_record) {
      records.push_back({std::string(line), {}});
      in_record = true;
    } else {
      records.back().values.emplace_back(line);
    }
  }
  return records;
}

std::optional<std::vector<SettingsRecord>> ReadSettingsRecords(std::string_view path) {
  std::string resolved = ResolveExistingPath(path);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(resolved.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return std::nullopt;
  std::string text;
  char chunk[16384];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
  if (std::ferror(file.get())) return std::nullopt;
  return ParseSettingsRecords(text);
}

}  // namespace kavrinth
