// Formatting report lines from user-editable template formats: every conversion of the
// format is checked against the value it is given before anything is printed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace kavrinth {

// A value a report line prints: an integer, a real or a text.
using ReportArg = std::variant<int64_t, double, std::string>;

// Widths and precisions above this are refused.
inline constexpr int kMaxReportFieldWidth = 1024;

// Formats like printf, with the flags, widths ("*" takes an integer value), precisions and
// length modifiers of printf; the length modifiers are taken from the values, not from the
// format. Integers print with d, i, u, o, x, X, c and the real conversions; reals with e, E,
// f, F, g, G, a, A; texts with s. Nothing when a conversion is unknown or does not fit its
// value, a value is missing, or a width or precision is above kMaxReportFieldWidth.
std::optional<std::string> FormatReportLine(std::string_view format,
                                            std::span<const ReportArg> args);
// How many values the format takes: one per conversion and one per "*" (none for "%%").
int CountReportValues(std::string_view format);

}  // namespace kavrinth
