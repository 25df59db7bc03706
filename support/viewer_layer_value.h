// One layer entry of the viewer's job file as the viewer reads and writes it: the value
// of a "LAYER_n" key, which the viewer and both shells write and the viewer reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavrinth {

// The fill modes a layer entry names: "Negative", "Scratch", "Paint".
inline constexpr int32_t kViewerFillNegative = -1;
inline constexpr int32_t kViewerFillScratch = 0;
inline constexpr int32_t kViewerFillPaint = 1;

struct ViewerLayerValue {
  int32_t shown = 1;
  uint32_t colour = 0;  // red + green * 256 + blue * 65536
  int32_t fill_mode = kViewerFillPaint;
  std::string path;
};

// Reads a layer value: "ON" or "OFF", red, green, blue, the fill word and the quoted path,
// separated by commas (a comma inside the quotes belongs to the path) and blanks. Nothing
// for a value of fewer than six words. Each colour part is taken as one byte.
std::optional<ViewerLayerValue> ParseViewerLayerValue(std::string_view value);

// Whether the value holds the path so that it reads back whole: the path sits between
// double quotes, so it may not hold one, nor a line break or a zero byte, which the job
// file cannot hold at all.
bool ViewerLayerPathFits(std::string_view path);

// Why a job file refuses a path that does not fit, for the messages that name it.
inline constexpr std::string_view kViewerLayerPathReason =
    "a job file cannot hold a path with a double quote or a line break.";
// A name as a message shows it: its line breaks spelt out as \n and \r, so that the
// message shows where they lie.
std::string WithLineBreaksShown(std::string_view name);
// The path as WithLineBreaksShown gives it, then ": " and kViewerLayerPathReason.
std::string ViewerLayerPathRefusal(std::string_view path);

// The value written for an entry: "%s,%d,%d,%d,%s" and the quoted path.
std::string FormatViewerLayerValue(const ViewerLayerValue& value);

// The colour the shells give a new entry n: red, green, yellow, blue, magenta, cyan by
// n mod 6.
uint32_t ViewerShellColour(int n);

// The value a shell writes for a data file at a layer key: the old value's display
// settings when it reads as the viewer reads it, else shown, the given colour and Paint.
// An old value that does not read back is written afresh rather than kept.
std::string ShellViewerLayerValue(std::string_view old_value, uint32_t fresh_colour,
                                  std::string_view path);

}  // namespace kavrinth
