// The pick colour table and the nearest-colour and grey-level choices.
#include "support/colors.h"

#include <algorithm>
#include <cstdlib>

namespace kavrinth {
namespace {

constexpr PickColorTable kInitialPickColors = {
    0xFFFFFF,  // white
    0x000000,  // black
    0x0000FF,  // red
    0x00FF00,  // green
    0x00FFFF,  // yellow
    0xFF0000,  // blue
    0xFF00FF,  // magenta
    0xFFFF00,  // cyan
    0xFFFFFF,  // background, initially white
};

constexpr int kBlackIndex = 1;
constexpr PickColorValue kColorMask = 0xFFFFFF;

enum Channel { kRed, kGreen, kBlue };

// A colour without one primary (after its grey part is taken off) lies between the
// two others: it is the first when the second is below half of it, the second
// when the first is below half of that, else their mixture.
struct HueRule {
  Channel zero;
  Channel first;
  Channel second;
  int first_index;
  int mixed_index;
  int second_index;
};

constexpr std::array<HueRule, 3> kHueRules = {{
    {kRed, kGreen, kBlue, 3, 7, 5},  // green, cyan, blue
    {kGreen, kRed, kBlue, 2, 6, 5},  // red, magenta, blue
    {kBlue, kRed, kGreen, 2, 4, 3},  // red, yellow, green
}};

int NearestByHue(const std::array<int, 3>& channels, const HueRule& rule) {
  int first = channels[rule.first];
  int second = channels[rule.second];
  if (first >= second) return second * 2 < first ? rule.first_index : rule.mixed_index;
  return first * 2 < second ? rule.second_index : rule.mixed_index;
}

}  // namespace

PickColorTable& PickColors() {
  static PickColorTable table = kInitialPickColors;
  return table;
}

void InitPickColors() { PickColors() = kInitialPickColors; }

int NearestPickColor(PickColorValue color) {
  color &= kColorMask;
  for (int i = 0; i < kPickColorCount; ++i) {
    if (kInitialPickColors[i] == color) return i;
  }
  std::array<int, 3> channels = {static_cast<int>(color & 0xFF),
                                 static_cast<int>((color >> 8) & 0xFF),
                                 static_cast<int>((color >> 16) & 0xFF)};
  int grey = *std::min_element(channels.begin(), channels.end());
  for (int& channel : channels) channel -= grey;
  for (const HueRule& rule : kHueRules) {
    if (channels[rule.zero] == 0 && channels[rule.first] + channels[rule.second] != 0) {
      return NearestByHue(channels, rule);
    }
  }
  return kBlackIndex;  // a grey
}

int NearestGreyButton(int level) {
  level = std::clamp(level, 0, 255);  // beyond the levels the end buttons are nearest
  int best = 0;
  for (int i = 1; i < kPickColorCount; ++i) {
    if (std::abs(kPickGreyLevels[i] - level) < std::abs(kPickGreyLevels[best] - level)) best = i;
  }
  return best;
}

int GreyPickCancelResult(int level) { return level; }

int InitialPickIndex(int index) {
  return index < 0 || index >= kPickColorCount ? kBlackIndex : index;
}

}  // namespace kavrinth
