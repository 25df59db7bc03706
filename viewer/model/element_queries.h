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

// GdxChangeElements: which elements take part and what changes. The low bits say what
// the change record replaces; 0x100 keeps only elements that pass ElementHitsWindow with
// the record's window, 0x1800 only the stored kinds 8, 9, 17, 128, 129, 133, 157, 158
// and 159, and 0x1000 also stops after the first element that took part.
enum GdxChangeBits : int32_t {
  kGdxChangeWidth = 0x1,     // the width of the kinds that store one (PATH, circle, arc, group)
  kGdxChangeDataType = 0x2,  // the data type of the kinds that store one (NODE, marker list, group)
  kGdxChangeFlags = 0x4,     // the selection flags of the index entry become `flags`
  kGdxClearFlags = 0x8,      // the selection flag bits `clear_flags` are cleared
  kGdxChangeInWindow = 0x100,
  kGdxChangeStoredKinds = 0x800,
  kGdxChangeFirstOnly = 0x1000,
};

// What GdxChangeElements writes. The selection flags are those of the index entries (1
// selected, 2 deleted, 4 second highlight style), which the editor sets and clears.
struct GdxChangeRecord {
  GdxRect window;
  int32_t width = 0;
  int32_t data_type = 0;
  int32_t flags = 0;
  int32_t clear_flags = 0;
};

// Walks the elements of one structure of the library (from its BGNSTR entry to the next
// BGNSTR or the end mark) and applies the change record to those the selection bits
// choose; the flag changes of flashes inside a group (133 ... 158) go to the group's
// opening element. 0, or 1 when the library or the structure is not found.
int GdxChangeElements(GdxLibrary* library, int32_t structure_id, int32_t selection_bits,
                      const GdxChangeRecord& change);

// Takes the rectangle, ordered, as the plot window and starts plotting it; nothing (0) for a
// rectangle of zero width or height. Returns what the viewer's plot command returned.
int PlotWindowRect(const GdxRect& rect);

}  // namespace kavrinth
