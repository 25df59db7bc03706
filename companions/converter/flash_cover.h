// Turning Intermediate shapes into PG flashes: a rectangle at any angle becomes one flash;
// any other quadrilateral, and every sector, is covered by a staircase of axis-parallel
// rectangle flashes that straddles its edges: no point of the flashes lies further than a
// tolerance outside the shape, and no point of the shape further than it outside them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pg2gds/pg_writer.h"

namespace kavrinth {

// A point in the raw units of the output file.
struct CoverPoint {
  double x = 0;
  double y = 0;
};

enum class CoverResult {
  kOneFlash,    // a rectangle: exactly one flash
  kCovered,     // covered by axis-parallel flashes (none for a sliver thinner than the grid)
  kEmpty,       // no area at all: nothing written
  kTooSmall,    // a rectangle thinner than a raw unit: no flash can hold it
  kOutOfRange,  // coordinates beyond what a 32-bit flash can hold: nothing written
};

// The largest distance from a corner of `a` to the nearest corner of `b`, compared with a
// limit: whether it lies beyond the limit (>), and whether within it (<=). The rectangle
// test asks this of every quadrilateral; the answers are those of the exact distances.
bool CornerDeviationBeyond(const std::array<CoverPoint, 4>& a, const std::array<CoverPoint, 4>& b,
                           double limit);
bool CornerDeviationWithin(const std::array<CoverPoint, 4>& a, const std::array<CoverPoint, 4>& b,
                           double limit);

// How a rectangle's one flash lies against the rectangle: `move` is the largest distance,
// in raw units, from a corner of the shape to the nearest corner of the flash, 0 when the
// output's unit holds the rectangle exactly (or the shape's own rounding is all there is).
struct FlashPlacement {
  double move = 0;
  bool axis_parallel = false;  // the flash's sides run along the axes
};

// Cover flashes sit on a grid of two raw units, so that a flash's centre is a whole raw
// unit for every even width and height.
inline constexpr double kCoverGrid = 2;

class FlashCoverer {
 public:
  // `tolerance`: how far the flashes' outline may stray from a shape's edges, either way,
  // in raw units; it is taken as at least a few grid steps, since flashes cannot be finer.
  // `rectangle_slack`: how far a corner may lie from an exact rectangle for the shape to
  // count as one (the rounding of the data to its database grid).
  FlashCoverer(double tolerance, double rectangle_slack);

  double tolerance() const { return tolerance_; }

  // Where the flash of the last quadrilateral that CoverQuadrilateral wrote as one flash
  // lies against it.
  const FlashPlacement& last_placement() const { return placement_; }

  // A quadrilateral p0..p3 (a triangle when p2 = p3). Flashes are appended to *out.
  CoverResult CoverQuadrilateral(const std::array<CoverPoint, 4>& corners,
                                 std::vector<PgOutputFlash>* out);

  // A sector: centre, a point on the outer circle where it starts, the inner radius
  // (0: none) and the sweep in degrees counter-clockwise (360 or more: a full circle).
  CoverResult CoverSector(CoverPoint centre, CoverPoint outer_start, double inner_radius,
                          double sweep_degrees, std::vector<PgOutputFlash>* out);

  // Whether the quadrilateral would be written as one flash (or is a rectangle too thin
  // for one), as CoverQuadrilateral decides.
  bool IsRectangle(const std::array<CoverPoint, 4>& corners) const;

  // Whether every corner lies within what a flash can hold.
  static bool CornersInRange(const std::array<CoverPoint, 4>& corners);

  // Covers the union of quadrilaterals that touch (the pieces a polygon was cut into)
  // as one shape, so that no seam is left along the cuts between them. Edges that two
  // pieces share, run in opposite directions, are not edges of the union.
  CoverResult CoverQuadrilaterals(const std::vector<std::array<CoverPoint, 4>>& quads,
                                  std::vector<PgOutputFlash>* out);

  // Covers a polygon of one or more closed rings (nonzero winding), given as points with
  // the end index of each ring.
  CoverResult CoverPolygon(const std::vector<CoverPoint>& points,
                           const std::vector<size_t>& ring_ends, std::vector<PgOutputFlash>* out);

 private:
  struct Edge {
    double x0, y0, x1, y1;  // y0 <= y1
    int winding;            // +1 when the ring runs upwards along it (a level edge: rightwards)
  };
  struct Crossing {
    double x;
    int winding;
  };
  // A flash of the strips so far, on the cover grid; it grows upwards while the strips
  // above it give the same left and right sides.
  struct OpenFlash {
    double left, right, bottom, top;
    bool continued;  // the strip being swept extends it
  };
  struct EdgeCell {
    int64_t x, y;  // the cell of the edge's lower end
    size_t edge;
    auto operator<=>(const EdgeCell&) const = default;
  };
  enum class Rectangle { kNot, kFlash, kTooSmall, kTooCoarse };

  Rectangle OneFlash(const std::array<CoverPoint, 4>& p, PgOutputFlash* flash,
                     FlashPlacement* placement) const;
  void BuildEdges(const std::vector<CoverPoint>& points, const std::vector<size_t>& ring_ends);
  void DropSharedEdges();
  void AdvanceActive(double low, double high);
  double StripHeight(double zone_low, double zone_high) const;
  void CoverStrip(double low, double high);
  void AddStripFlash(double left, double right, double bottom, double top);
  void Emit(const OpenFlash& flash);
  void AppendArc(CoverPoint centre, double radius, double start, double sweep, double tolerance,
                 bool closed);

  double tolerance_;
  double strip_tolerance_;
  double arc_tolerance_;
  double rectangle_slack_;
  FlashPlacement placement_;

  // Work buffers, kept between shapes.
  std::vector<Edge> edges_;   // by their lower end during the sweep
  std::vector<Edge> active_;  // those that reach into the current strip
  size_t next_edge_ = 0;      // the first of edges_ not yet active
  std::vector<bool> shared_;
  std::vector<EdgeCell> cells_;
  std::vector<double> events_;
  std::vector<Crossing> crossings_;
  std::vector<OpenFlash> open_;  // flashes of the last strip, left to right
  std::vector<OpenFlash> next_open_;
  size_t open_cursor_ = 0;
  std::vector<CoverPoint> ring_;
  std::vector<size_t> ring_ends_;
  std::vector<CoverPoint> group_points_;
  std::vector<size_t> group_ends_;
  bool drop_shared_edges_ = false;  // the rings are pieces of one shape
  std::vector<PgOutputFlash>* out_ = nullptr;
};

}  // namespace kavrinth
