// The viewer job file's layer values: the one reading and writing of them that the viewer
// and the shells share, so that what a shell writes is what the viewer reads.
#include "support/viewer_layer_value.h"

#include <array>
#include <cctype>
#include <vector>

#include "platform/ini.h"
#include "support/args.h"

namespace kavrinth {
namespace {

// The splitter's pointer array: at most seven words.
constexpr int kLayerWordSlots = 8;

struct FillWord {
  char letter;
  const char* word;
  int32_t mode;
};

constexpr std::array<FillWord, 3> kFillWords = {{
    {'N', "Negative", kViewerFillNegative},
    {'S', "Scratch", kViewerFillScratch},
    {'P', "Paint", kViewerFillPaint},
}};

int32_t FillModeOf(std::string_view word) {
  const char letter = word.empty() ? '\0' : static_cast<char>(std::toupper(word[0]));
  for (const FillWord& fill : kFillWords) {
    if (fill.letter == letter) return fill.mode;
  }
  return kViewerFillPaint;
}

const char* FillWordOf(int32_t mode) {
  for (const FillWord& fill : kFillWords) {
    if (fill.mode == mode) return fill.word;
  }
  return "Paint";
}

uint32_t ColourByte(std::string_view text) {
  return static_cast<uint32_t>(ParseProfileInt(text).value_or(0)) & 0xFF;
}

// Commas separate like blanks, except inside double quotes, where they belong to the path.
std::string CommasToBlanks(std::string_view value) {
  std::string text(value);
  bool quoted = false;
  for (char& c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) c = ' ';
  }
  return text;
}

}  // namespace

std::optional<ViewerLayerValue> ParseViewerLayerValue(std::string_view value) {
  const std::vector<std::string> words = SplitArgs(CommasToBlanks(value), kLayerWordSlots);
  if (words.size() < 6) return std::nullopt;
  ViewerLayerValue result;
  result.shown = words[0].size() > 1 && words[0][1] == 'N' ? 1 : 0;
  result.colour = ColourByte(words[1]) | ColourByte(words[2]) << 8 | ColourByte(words[3]) << 16;
  result.fill_mode = FillModeOf(words[4]);
  result.path = words[5];
  return result;
}

bool ViewerLayerPathFits(std::string_view path) {
  return path.find_first_of(std::string_view("\"\r\n\0", 4)) == std::string_view::npos;
}

std::string WithLineBreaksShown(std::string_view name) {
  std::string text;
  for (char c : name) {
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else {
      text += c;
    }
  }
  return text;
}

std::string ViewerLayerPathRefusal(std::string_view path) {
  return WithLineBreaksShown(path) + ": " + std::string(kViewerLayerPathReason);
}

std::string FormatViewerLayerValue(const ViewerLayerValue& value) {
  std::string text = value.shown ? "ON" : "OFF";
  for (int shift : {0, 8, 16}) text += "," + std::to_string((value.colour >> shift) & 0xFF);
  return text + "," + FillWordOf(value.fill_mode) + " \"" + value.path + "\"";
}

uint32_t ViewerShellColour(int n) {
  static constexpr uint32_t kColours[] = {0x0000FF, 0x00FF00, 0x00FFFF,
                                          0xFF0000, 0xFF00FF, 0xFFFF00};
  return kColours[((n % 6) + 6) % 6];
}

std::string ShellViewerLayerValue(std::string_view old_value, uint32_t fresh_colour,
                                  std::string_view path) {
  ViewerLayerValue value;
  if (std::optional<ViewerLayerValue> old = ParseViewerLayerValue(old_value)) {
    value = std::move(*old);
  } else {
    value.colour = fresh_colour;
  }
  value.path = std::string(path);
  return FormatViewerLayerValue(value);
}

}  // namespace kavrinth
