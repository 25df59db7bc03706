// The low-memory warnings and the machine's memory figures from /proc/meminfo.
#include "support/memory_status.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace kavrinth {
namespace {

// The value in bytes of one "Name:   123 kB" line of /proc/meminfo.
std::optional<int64_t> MemInfoValue(std::string_view meminfo, std::string_view name) {
  std::string key = "\n" + std::string(name) + ":";
  std::string text = "\n" + std::string(meminfo);
  size_t at = text.find(key);
  if (at == std::string::npos) return std::nullopt;
  at += key.size();
  while (at < text.size() && text[at] == ' ') ++at;
  int64_t kilobytes = 0;
  auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), kilobytes);
  if (error != std::errc() || kilobytes < 0 || kilobytes > INT64_MAX / 1024) return std::nullopt;
  return kilobytes * 1024;
}

constexpr const char* kLowMemoryOpening = "System is low in memory.\n";
constexpr const char* kDefaultLowMemoryText = "Selected operation cannot be completed.";
constexpr const char* kLowMemoryRule = "\n_______________________________________\n\n";

std::string LowMemoryHead(const char* text) {
  return std::string(kLowMemoryOpening) + (text ? text : kDefaultLowMemoryText) + kLowMemoryRule;
}

}  // namespace

std::optional<MemoryFigures> ParseMemInfo(std::string_view meminfo) {
  std::optional<int64_t> total = MemInfoValue(meminfo, "MemTotal");
  std::optional<int64_t> available = MemInfoValue(meminfo, "MemAvailable");
  if (!total || !available) return std::nullopt;
  const int64_t swap_total = MemInfoValue(meminfo, "SwapTotal").value_or(0);
  const int64_t swap_free = MemInfoValue(meminfo, "SwapFree").value_or(0);
  return MemoryFigures{*available, *total, *available + swap_free, *total + swap_total};
}

MemoryFigures ReadMemoryFigures() {
  std::ifstream file("/proc/meminfo");
  std::stringstream text;
  text << file.rdbuf();
  return ParseMemInfo(text.str()).value_or(MemoryFigures{});
}

std::string LowMemoryText(const char* text, const MemoryFigures& figures) {
  return LowMemoryHead(text) + "Largest available memory:\t" +
         std::to_string(figures.available_physical) + "\n" + "Total available memory:\t" +
         std::to_string(figures.total_physical);
}

std::string MemoryStatusText(const char* text, const MemoryFigures& figures) {
  return LowMemoryHead(text) + "Available Physical/Virtual:\t" +
         std::to_string(figures.available_physical) + "/" +
         std::to_string(figures.available_virtual) + "\n" + "Total Physical/Virtual:\t" +
         std::to_string(figures.total_physical) + "/" + std::to_string(figures.total_virtual) +
         "\n";
}

int ShowLowMemory(const char* text) {
  return ShowMessage(LowMemoryText(text, ReadMemoryFigures()), std::string(kLowMemoryCaption),
                     MessageIcon::kStop);
}

int ShowMemoryStatus(const char* text) {
  return ShowMessage(MemoryStatusText(text, ReadMemoryFigures()), std::string(kLowMemoryCaption),
                     MessageIcon::kStop);
}

}  // namespace kavrinth
