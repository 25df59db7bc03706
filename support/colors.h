// The eight pick colours and grey levels of the viewer's colour picker, and the
// choices its dialogs start from; the dialogs themselves live with the viewer.
#pragma once

#include <array>
#include <cstdint>

namespace kavrinth {

// Colours are 0x00BBGGRR: red in the low byte, then green, then blue.
using PickColorValue = uint32_t;

inline constexpr int kPickColorCount = 8;
// The table holds the eight pick colours and, at this index, the background colour.
inline constexpr int kPickBackgroundIndex = 8;
using PickColorTable = std::array<PickColorValue, kPickColorCount + 1>;

// The process's pick table: white, black, red, green, yellow, blue, magenta, cyan,
// then the background colour (white at start). The viewer sets the background.
PickColorTable& PickColors();

// Fills the pick table with its initial values.
void InitPickColors();

// The index 0-7 of the pick colour nearest to the colour: an exact match, else by the
// colour's hue (greys give black).
int NearestPickColor(PickColorValue color);

// The grey levels of the grey form of the picker, one per button.
inline constexpr std::array<int, kPickColorCount> kPickGreyLevels = {255, 224, 192, 160,
                                                                     128, 96,  64,  32};

// The button whose grey level is nearest to the level (ties to the lower index).
int NearestGreyButton(int level);

// What the grey picker returns on Cancel: the caller's own level.
int GreyPickCancelResult(int level);

// The colour picker's initial index: the given one, or 1 (black) outside 0..7.
int InitialPickIndex(int index);

}  // namespace kavrinth
