// Exact decomposition of a polygon into trapezoids with horizontal parallel
// sides (nonzero winding), the work behind PG.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "companions/vantor/vantor.h"

namespace kavrinth {

enum class DecomposeStatus {
  kComplete,   // every trapezoid of the polygon is in the table
  kTableFull,  // the polygon needs more trapezoids than the table holds
};

struct DecomposeResult {
  DecomposeStatus status = DecomposeStatus::kComplete;
  int32_t filled = 0;         // table entries written
  bool out_of_range = false;  // some trapezoid had a corner outside int32 and was left out
};

// Cuts polygons into trapezoids: horizontal slabs between the vertex y values
// (and the y values where edges cross), the edges crossing a slab paired by the
// nonzero winding rule, and a trapezoid carried on into the next slab while it
// keeps the same two edges. Edges are ordered with exact integer arithmetic.
// The work is the sorting of edges and heights, O(n log n), plus one pass per
// slab over the edges that cross it; the sweep stops as soon as the table
// cannot hold the polygon. Buffers are kept between calls.
class TrapezoidDecomposer {
 public:
  // `xy` holds x, y pairs; the ring closes from the last point to the first.
  // Corners are scaled by `scale` (PG units per database unit, positive) and
  // rounded half away from zero. Trapezoids of zero height, or of zero width
  // at top and bottom after rounding, are not returned.
  DecomposeResult Decompose(std::span<const int32_t> xy, double scale,
                            std::span<PgTrapezoid> table);

 private:
  // Heights are kept in grid units of 1/1024 database unit (see FirstCrossing).
  struct Edge {
    int64_t x_bottom, y_bottom, dx, dy;  // y_bottom in grid units; dy > 0 in database units
    int64_t y_top;                       // grid units
    int winding;  // +1 when the ring runs upwards along the edge, -1 downwards
  };
  struct ActiveEdge {
    int32_t edge;
    double x_low, x_high;  // x at the bottom and the top of the current slab
  };
  struct Span {
    int32_t left, right;
  };
  struct OpenTrapezoid {
    int32_t left, right;
    int64_t y_bottom;  // grid units
    bool carried;      // continued into the current slab
  };

  void BuildEdges(std::span<const int32_t> xy);
  bool SweepTwoEdges();
  int CompareAt(int32_t a, int32_t b, int64_t y) const;
  int Compare(int32_t a, double xa, int32_t b, double xb, int64_t y) const;
  bool Before(const ActiveEdge& a, const ActiveEdge& b, int64_t y) const;
  bool Coincident(const ActiveEdge& a, const ActiveEdge& b, int64_t y_low, int64_t y_high) const;
  double XAt(int32_t edge, int64_t y) const;
  void AdvanceActive(int64_t y_low, int64_t y_high);
  int64_t FirstCrossing(int64_t y_low, int64_t y_high) const;
  void CollectSpans(int64_t y_low, int64_t y_high);
  void UpdateOpen(int64_t y_low);
  bool EmitOpenPastCapacity(int64_t y_high);
  bool Emit(int32_t left, int32_t right, int64_t y_bottom, int64_t y_top);
  bool EmitCorners(double (&x)[4], int64_t y_bottom, int64_t y_top);
  bool RoundCorners(double (&x)[4], int64_t y_bottom, int64_t y_top, bool note_range,
                    double (&rounded)[8]);
  bool Round(int32_t left, int32_t right, int64_t y_bottom, int64_t y_top, bool note_range,
             double (&rounded)[8]);

  std::vector<Edge> edges_;
  std::vector<int64_t> event_ys_;
  std::vector<ActiveEdge> active_;  // edges crossing the current slab, left to right
  std::vector<ActiveEdge> merge_buffer_;
  std::vector<Span> spans_;
  std::vector<OpenTrapezoid> open_;
  std::vector<OpenTrapezoid> next_open_;
  std::vector<int32_t> open_by_left_;
  size_t next_edge_ = 0;

  // State of the current Decompose call.
  double scale_ = 1.0;
  std::span<PgTrapezoid> table_;
  DecomposeResult result_;
};

}  // namespace kavrinth
