// The window test of stored elements, arc boxes and quadrant words, and the plot window.
#include "viewer/model/element_queries.h"

#include <algorithm>
#include <cmath>

#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

// A box in 64 bits, so that widening a coordinate near the 32-bit limits cannot wrap.
struct Box {
  int64_t min_x;
  int64_t min_y;
  int64_t max_x;
  int64_t max_y;
};

Box Widened(const Box& box, int64_t w) {
  return {box.min_x - w, box.min_y - w, box.max_x + w, box.max_y + w};
}

Box SegmentBox(const GdxWord* a, const GdxWord* b, int64_t w) {
  return Widened(
      {std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[0], b[0]), std::max(a[1], b[1])}, w);
}

bool Overlaps(const Box& box, const GdxRect& window) {
  return box.min_x < window.max_x && box.min_y < window.max_y && box.max_x > window.min_x &&
         box.max_y > window.min_y;
}

bool Inside(const Box& box, const GdxRect& window) {
  return box.min_x > window.min_x && box.min_y > window.min_y && box.max_x < window.max_x &&
         box.max_y < window.max_y;
}

int TestBox(const Box& box, const GdxRect& window, int32_t mode) {
  if (mode == kSelectionCrossing) return Overlaps(box, window) ? 1 : 0;
  if (mode == kSelectionWindow) return Inside(box, window) ? 1 : 0;
  return 0;
}

// Boundaries, paths and flash boundaries: segment by segment.
int TestSegments(const GdxWord* points, int32_t count, int64_t w, const GdxRect& window,
                 int32_t mode) {
  if (count < 2) return 0;
  Box all = SegmentBox(points, points + 2, w);
  for (int32_t i = 0; i + 1 < count; ++i) {
    const Box box = SegmentBox(points + 2 * i, points + 2 * i + 2, w);
    if (mode == kSelectionCrossing && Overlaps(box, window)) return 1;
    all = {std::min(all.min_x, box.min_x), std::min(all.min_y, box.min_y),
           std::max(all.max_x, box.max_x), std::max(all.max_y, box.max_y)};
  }
  return mode == kSelectionWindow ? TestBox(all, window, mode) : 0;
}

int Quadrant(double degrees) { return std::clamp(static_cast<int>(degrees / 90.0), 0, 3) + 1; }

}  // namespace

GdxRect ArcBox(int32_t start_x, int32_t start_y, int32_t end_x, int32_t end_y, int32_t centre_x,
               int32_t centre_y, int32_t radius, int32_t quadrants) {
  const int32_t q = quadrants;
  GdxRect box;
  box.min_x = (q & 0x6) || (q & 0x660) == 0x420 ? -radius : std::min(start_x, end_x) - centre_x;
  box.min_y = (q & 0xC) || (q & 0xCC0) == 0x840 ? -radius : std::min(start_y, end_y) - centre_y;
  box.max_x = (q & 0x9) || (q & 0x990) == 0x180 ? radius : std::max(start_x, end_x) - centre_x;
  box.max_y = (q & 0x3) || (q & 0x330) == 0x210 ? radius : std::max(start_y, end_y) - centre_y;
  return box;
}

int32_t ArcQuadrantWord(int32_t start_x, int32_t start_y, int32_t centre_x, int32_t centre_y,
                        int32_t sweep_tenths) {
  double start =
      std::atan2(static_cast<double>(start_y) - centre_y, static_cast<double>(start_x) - centre_x) *
      180.0 / M_PI;
  if (start < 0) start += 360.0;
  if (start >= 360.0) start = 0;
  const double sweep = std::max(sweep_tenths, 0) / 10.0;
  const double end = std::fmod(start + sweep, 360.0);
  const int start_quadrant = Quadrant(start);
  int32_t word = (1 << (kArcStartQuadrantShift - 1 + start_quadrant)) |
                 (1 << (kArcEndQuadrantShift - 1 + Quadrant(end)));
  if (sweep >= 360.0) return word | 0xF;
  // Quadrant boundaries crossed; the quadrants between the first and the last are swept.
  const int crossed = static_cast<int>(std::floor((start + sweep) / 90.0)) - (start_quadrant - 1);
  for (int i = 1; i < crossed; ++i) word |= 1 << ((start_quadrant - 1 + i) % 4);
  return word;
}

int ElementHitsWindow(int32_t type, const GdxWord* data, const GdxWord* points,
                      const GdxRect& window, int32_t mode) {
  const int32_t count = (data[1] >> 16) & 0xFFFF;
  const int64_t w = type == kGdxBoundary || type == kGdxFlashBoundary ? 0
                    : type == kGdxPath                                ? data[3]
                                                                      : data[4];
  switch (type) {
    case kGdxBoundary:
    case kGdxPath:
    case kGdxFlashBoundary:
      return TestSegments(points, count, w, window, mode);
    case kGdxText:
      return TestBox({points[2], points[3], points[4], points[5]}, window, mode);
    case kGdxCircle:
    case kGdxFlashCircle: {
      const int64_t r = int64_t{data[3]} + w;
      return TestBox({points[0] - r, points[1] - r, points[0] + r, points[1] + r}, window, mode);
    }
    case kGdxArc: {
      const GdxRect arc =
          ArcBox(points[2], points[3], points[4], points[5], points[0], points[1], data[3], count);
      const Box box{int64_t{arc.min_x} + points[0], int64_t{arc.min_y} + points[1],
                    int64_t{arc.max_x} + points[0], int64_t{arc.max_y} + points[1]};
      return TestBox(Widened(box, w), window, mode);
    }
    default:
      return 1;
  }
}

namespace {

bool IsStoredKind(int32_t type) {
  switch (type) {
    case kGdxBoundary:
    case kGdxPath:
    case kGdxElementEnd:
    case kGdxCircle:
    case kGdxArc:
    case kGdxGroup:
    case kGdxFlashBoundary:
    case kGdxFlashGroup:
    case kGdxFlashCircle:
      return true;
    default:
      return false;
  }
}

// The data word that holds an element's width, or -1 when its kind stores none.
int WidthWord(int32_t type) {
  switch (type) {
    case kGdxPath:
    case kGdxGroup:
      return 3;
    case kGdxCircle:
    case kGdxArc:
      return 4;
    default:
      return -1;
  }
}

// The data word whose high half holds an element's data type, or -1.
int DataTypeWord(int32_t type) {
  switch (type) {
    case kGdxNode:
    case kGdxMarkerList:
      return 2;
    case kGdxGroup:
      return 1;
    default:
      return -1;
  }
}

void ChangeFlags(GdxWord* entry, int32_t bits, const GdxChangeRecord& change) {
  if (bits & kGdxChangeFlags) entry[kGdxEntrySelection] = change.flags;
  if (bits & kGdxClearFlags) entry[kGdxEntrySelection] &= ~change.clear_flags;
}

}  // namespace

int GdxChangeElements(GdxLibrary* library, int32_t structure_id, int32_t selection_bits,
                      const GdxChangeRecord& change) {
  const GdxStructure* structure =
      library != nullptr ? GdxFindStructureById(library, structure_id) : nullptr;
  if (structure == nullptr || structure->name.empty()) return 1;
  GdxEntryCursor cursor(structure->begin_page, structure->begin_position);
  if (!cursor.Valid()) return 1;
  GdxWord* group = nullptr;  // the opening entry of the group being walked
  for (cursor.Next(); cursor.Valid(); cursor.Next()) {
    const int32_t type = cursor.Type();
    if (type == kGdxStructureBegin || type == kGdxEndMark) break;
    GdxWord* entry = cursor.MutableEntry();
    if (type == kGdxGroup) group = entry;
    // A flash inside a group takes its flag changes to the group's opening element.
    GdxWord* flagged = group != nullptr && entry != group && IsFlashType(type) ? group : entry;
    if (type == kGdxFlashGroup) group = nullptr;  // the group's end
    if ((selection_bits & (kGdxChangeStoredKinds | kGdxChangeFirstOnly)) && !IsStoredKind(type)) {
      continue;
    }
    GdxWord* data = const_cast<GdxWord*>(cursor.Data());
    if (selection_bits & kGdxChangeInWindow) {
      if (data == nullptr) continue;
      if (!ElementHitsWindow(type, data, data + (data[0] & 0xFFFF), change.window)) continue;
    }
    if (data != nullptr && (selection_bits & kGdxChangeWidth) && WidthWord(type) >= 0) {
      data[WidthWord(type)] = change.width;
    }
    if (data != nullptr && (selection_bits & kGdxChangeDataType) && DataTypeWord(type) >= 0) {
      GdxWord& word = data[DataTypeWord(type)];
      word = static_cast<GdxWord>((static_cast<uint32_t>(change.data_type) << 16) |
                                  (static_cast<uint32_t>(word) & 0xFFFF));
    }
    ChangeFlags(flagged, selection_bits, change);
    if (selection_bits & kGdxChangeFirstOnly) break;
  }
  return 0;
}

int ElementHitsWindow(int32_t type, const GdxWord* data, const GdxWord* points,
                      const GdxRect& window) {
  return ElementHitsWindow(type, data, points, window, CurrentViewerServices().SelectionMode());
}

int IsFlashType(int32_t type) {
  return type == kGdxFlashBoundary || type == kGdxFlashGroup || type == kGdxFlashCircle ? 1 : 0;
}

int PlotWindowRect(const GdxRect& rect) {
  if (rect.min_x == rect.max_x || rect.min_y == rect.max_y) return 0;
  const GdxRect ordered{std::min(rect.min_x, rect.max_x), std::min(rect.min_y, rect.max_y),
                        std::max(rect.min_x, rect.max_x), std::max(rect.min_y, rect.max_y)};
  return CurrentViewerServices().PlotWindow(ordered);
}

}  // namespace kavrinth
