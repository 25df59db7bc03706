// The low-memory warnings with the machine's real memory figures, shown through the
// current notifier, so that code without a window (the viewer's model) can show them too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/notifier.h"

namespace kavrinth {

// The machine's memory in bytes (from /proc/meminfo): physical memory, and virtual memory
// as physical plus swap.
struct MemoryFigures {
  int64_t available_physical = 0;
  int64_t total_physical = 0;
  int64_t available_virtual = 0;
  int64_t total_virtual = 0;
};

// The figures of a /proc/meminfo text: nothing when MemTotal or MemAvailable is missing.
std::optional<MemoryFigures> ParseMemInfo(std::string_view meminfo);
// The figures of this machine (all 0 when /proc/meminfo cannot be read).
MemoryFigures ReadMemoryFigures();

// The caption of both warnings.
inline constexpr std::string_view kLowMemoryCaption = "WARNING";

// The texts of the two warnings: "System is low in memory.\n", the text (null: "Selected
// operation cannot be completed."), a rule, then the figures.
std::string LowMemoryText(const char* text, const MemoryFigures& figures);
std::string MemoryStatusText(const char* text, const MemoryFigures& figures);

// Show the warnings through the current notifier in a stop box captioned "WARNING";
// return the box's answer.
int ShowLowMemory(const char* text);
int ShowMemoryStatus(const char* text);

}  // namespace kavrinth
