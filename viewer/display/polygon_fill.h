// The viewer's scan-line polygon fill: one point list of sub-polygons separated by break
// pairs, filled with the even-odd rule inside the view rectangle through the span routine.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "viewer/display/display_surface.h"
#include "viewer/display/draw_window.h"

namespace kavrinth {

// The point pair that separates sub-polygons of one list.
inline constexpr LogicalPoint kPolygonBreak{0x7fffffff, -2147483647};

inline bool IsPolygonBreak(const LogicalPoint& p) {
  return p.x == kPolygonBreak.x && p.y == kPolygonBreak.y;
}

// Pixel rules: a sloped edge crosses the rows below its upper end down to and including
// its lower end, at the x its integer walk reaches on that row; a horizontal edge paints
// its own row. Spans run between pairs of crossings, ends included. Each sub-polygon is
// closed from its last point to its first. The work tables grow with the largest list
// seen and are kept, so a fill allocates nothing once they have grown.
class PolygonFill {
 public:
  // Fills the list in the surface's current colour index, within `view` (bounds inclusive,
  // itself cut to the surface). 0 after a fill; 1 when no edge lies in the view's rows.
  int FillPolygon(DisplaySurface* surface, std::span<const LogicalPoint> points,
                  const ViewRect& view);

 private:
  struct Edge {
    int32_t first_row = 0;  // first and last row painted, within the view
    int32_t last_row = 0;
    int32_t x0 = 0;  // upper end
    int32_t x1 = 0;  // lower end (horizontal: the other end)
    int32_t step = 0;
    bool horizontal = false;
    // The crossing on the current row is x0 + step * q; q moves by whole steps of a
    // fraction a / d kept as quotient and remainder.
    int64_t q = 0;
    int64_t remainder = 0;
    int64_t a_quotient = 0;
    int64_t a_remainder = 0;
    int64_t d = 1;
  };

  void AddEdge(LogicalPoint upper, LogicalPoint lower, const ViewRect& view);
  void ScanEdges(DisplaySurface* surface, const ViewRect& view);

  std::vector<Edge> edges_;
  std::vector<int32_t> active_;
  std::vector<int64_t> crossings_;
};

}  // namespace kavrinth
