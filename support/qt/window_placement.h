// A window's placement kept in the program's settings store: five integers named by a
// prefix ("Window" for the main window): <prefix>TopX, TopY, BotX, BotY (the normal
// rectangle, right and bottom exclusive) and <prefix>showCmd (1 when maximised, else 0).
#pragma once

#include <QRect>
#include <QWidget>
#include <QWindow>
#include <cstdint>
#include <string_view>

#include "support/app_profile.h"

namespace kavrinth {

// A coordinate that is not there. Every real coordinate, 0 included, is restored.
inline constexpr int32_t kPlacementUnset = INT32_MIN;

struct WindowPlacement {
  int32_t left = kPlacementUnset;
  int32_t top = kPlacementUnset;
  int32_t right = kPlacementUnset;
  int32_t bottom = kPlacementUnset;
  int32_t show_command = 0;  // as stored: 1 maximised, 0 normal

  bool HasRectangle() const;
};

inline constexpr std::string_view kMainWindowPrefix = "Window";

// Reads the five values in the order TopX, TopY, BotX, BotY, showCmd: 1 when all five
// are there, 0 at the first one missing (the placement then holds what was read).
int ReadPlacementSection(const CAppProfile& profile, std::string_view prefix,
                         WindowPlacement* placement);
int ReadWindowPlacement(const CAppProfile& profile, WindowPlacement* placement);

// The window's placement: its normal (not maximised) rectangle and whether it is
// maximised.
WindowPlacement PlacementOf(const QWidget& window);

// Writes the window's placement under the prefix in one save: 1, or 0 when the store is
// not open or cannot be written.
int SavePlacementSection(const CAppProfile& profile, std::string_view prefix,
                         const QWidget& window);
int SaveWindowPlacement(const CAppProfile& profile, const QWidget& window);

// Restores the main window's stored placement: 0 when it is not stored; 1 without change
// when a coordinate is unset or the rectangle has no area; otherwise the window gets the stored
// rectangle in the normal show state (with keep_size, only the stored left and top, keeping its
// size) and the result is 1.
int RestoreWindowPlacement(const CAppProfile& profile, QWidget* window, bool keep_size);

// RestoreWindowPlacement for a plain platform window (one without a widget, such as a
// child program's window or a widget's native window): the stored "Window" rectangle,
// with the same results.
int ApplyStoredPlacement(QWindow* window, const CAppProfile& profile);

}  // namespace kavrinth
