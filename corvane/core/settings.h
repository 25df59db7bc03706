// Corvane's stored settings: the paths and translator settings kept in the settings store
// "Corvane", read when the main window is made and written when it closes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/core/session.h"
#include "support/app_profile.h"

namespace kavrinth {

inline constexpr std::string_view kCorvaneProfileName = "Corvane";

// Shown (1) or hidden (0) states of the control panel and the bars.
struct CorvaneBarFlags {
  int32_t control_dialog = 1;
  int32_t toolbar = 1;
  int32_t statusbar = 1;
};

// The scale as the settings store keeps it: the real formatter at resolution 1e-12, or,
// when that text would not read back as the same double, the shortest text that does.
std::string FormatScaleSetting(double scale);
// A stored scale text: the number when the whole text is one finite real in the scale's
// range, else nothing (the caller keeps its value).
std::optional<double> ParseScaleText(std::string_view text);

// Reads the values in their stored order. A working directory that is no directory and a
// viewer path whose file is gone are ignored; so is a format or unit outside its choices.
void LoadCorvaneSettings(const CAppProfile& profile, CorvaneSession& session,
                         CorvaneBarFlags& flags);
// Writes every value in one save: 1, or 0 when the store is not open or cannot be written,
// or when the store refused a value (a path with a line break): the others are saved, and
// the names of the refused values go to *refused when it is given.
int SaveCorvaneSettings(const CAppProfile& profile, const CorvaneSession& session,
                        const CorvaneBarFlags& flags, std::vector<std::string>* refused = nullptr);

}  // namespace kavrinth
