// Queries on stored elements: the window test the selection, query and plot code use, the
// box of an arc from its quadrant word, and taking a rectangle as the plot window.
#pragma once

#include <cstdint>

#include "viewer/model/gdx_database.h"

namespace kavrinth {

// Selection modes (set by the viewer's selection tools).
enum SelectionModeValue : int32_t { kSelectionCrossing = 0, kSelectionWindow = 1 };

// Arc quadrant word: bits 0-3 quadrants 1-4 swept completely, bits 4-7 the start point's
// quadrant, bits 8-11 the end point's; quadrants counted counter-clockwise from +x.
inline constexpr int32_t kArcStartQuadrantShift = 4;
inline constexpr int32_t kArcEndQuadrantShift = 8;

// The box of an arc relative to its centre.
GdxRect ArcBox(int32_t start_x, int32_t start_y, int32_t end_x, int32_t end_y, int32_t centre_x,
               int32_t centre_y, int32_t radius, int32_t quadrants);

// The quadrant word of an arc that runs counter-clockwise from start through `sweep_tenths`
// tenths of a degree (a sweep of a full turn or more sweeps every quadrant).
int32_t ArcQuadrantWord(int32_t start_x, int32_t start_y, int32_t centre_x, int32_t centre_y,
                        int32_t sweep_tenths);

// 1 when the element counts as inside the window for the selection mode, else 0. `data` is
// the element's data from word 0, `points` its first point word.
int ElementHitsWindow(int32_t type, const GdxWord* data, const GdxWord* points,
                      const GdxRect& window, int32_t mode);
// The same with the viewer's current selection mode.
int ElementHitsWindow(int32_t type, const GdxWord* data, const GdxWord* points,
                      const GdxRect& window);

// Non-zero for the flash element types 157, 158 and 159.
int IsFlashType(int32_t type);

// Takes the rectangle, ordered, as the plot window and starts plotting it; nothing (0) for a
// rectangle of zero width or height. Returns what the viewer's plot command returned.
int PlotWindowRect(const GdxRect& rect);

}  // namespace kavrinth
