// Tests of the pick colour table, the nearest pick colour and the grey picker's
// choices.
#include "support/colors.h"

#include <gtest/gtest.h>

namespace kavrinth {
namespace {

TEST(PickColorsTest, InitFillsTheTableAndResetsTheBackground) {
  PickColors()[kPickBackgroundIndex] = 0x123456;
  PickColors()[2] = 0;
  InitPickColors();
  const PickColorTable expected = {0xFFFFFF, 0x000000, 0x0000FF, 0x00FF00, 0x00FFFF,
                                   0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  EXPECT_EQ(PickColors(), expected);
}

TEST(NearestPickColorTest, ExactMatchesAndHues) {
  const std::pair<PickColorValue, int> cases[] = {
      {0x0000FF, 2},   {0xFFFFFF, 0},   {0x000000, 1}, {0xFFFF00, 7}, {0x808080, 1},
      {0xFEFEFE, 1},  // greys give black
      {0x0000C8, 2},   {0x00C8C8, 4},   {0x0040C8, 2}, {0x0080C8, 4}, {0x00C800, 3},
      {0x40C800, 3},   {0x80C800, 7},   {0xC88000, 7}, {0xC84000, 5}, {0xC80040, 5},
      {0xC80080, 6},   {0x8000C8, 6},   {0x4000C8, 2}, {0x00C880, 4}, {0x00C840, 3},
      {0x204060, 4},                     // grey part taken off first: (0x40, 0x20, 0)
      {0x01000000, 1}, {0x020000FF, 2},  // bits above the colour are ignored
  };
  for (const auto& [color, index] : cases) {
    EXPECT_EQ(NearestPickColor(color), index) << std::hex << color;
  }
}

TEST(NearestPickColorTest, EveryTableColourMapsToItself) {
  InitPickColors();
  for (int i = 0; i < kPickColorCount; ++i) EXPECT_EQ(NearestPickColor(PickColors()[i]), i);
}

TEST(GreyPickerTest, StartsAtTheNearestGreyButton) {
  const std::pair<int, int> cases[] = {
      {255, 0}, {224, 1}, {192, 2}, {32, 7},
      {0, 7},   {240, 0}, {239, 1}, {208, 1},  // halfway between 224 and 192: the lower index
      {300, 0}, {-5, 7},
  };
  for (const auto& [level, button] : cases) EXPECT_EQ(NearestGreyButton(level), button) << level;
  // Every level of the list starts on its own button.
  for (int i = 0; i < kPickColorCount; ++i) EXPECT_EQ(NearestGreyButton(kPickGreyLevels[i]), i);
}

TEST(GreyPickerTest, CancelGivesBackTheCallersLevel) {
  for (int level : {0, 100, 200, 255}) EXPECT_EQ(GreyPickCancelResult(level), level);
}

TEST(InitialPickIndexTest, OutOfRangeStartsOnBlack) {
  const std::pair<int, int> cases[] = {{0, 0}, {7, 7}, {3, 3}, {8, 1}, {9, 1}, {-1, 1}};
  for (const auto& [index, initial] : cases) EXPECT_EQ(InitialPickIndex(index), initial) << index;
}

}  // namespace
}  // namespace kavrinth
