// Wide paths for the PG library: whether a path is drawn as outline polygons or kept
// as a path, and the cutting of its centre line into pieces whose outlines do not
// cross themselves. Outlined pieces go to the PG library; kept pieces stay paths.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tabreng/aperture_settings.h"
#include "tabreng/engine_log.h"

namespace kavrinth {

// The direction of (dx, dy) in radians: 0 for a vector shorter than 1e-12, +-pi/2 for
// one whose dx is below 1e-12, else the two-argument arc tangent.
double DirectionAngle(double dy, double dx);

// The first edge i (points i, i + 1 of the x, y pairs) that crosses a later edge j >=
// i + 2 at a point at least `tolerance` away from all four end points, or -1. Edges
// with |dx| <= tolerance count as vertical; edges whose slopes differ by less than
// 0.001 (relative) never cross. Without wrap, edges 0 and edge_count - 1 are not tested.
int FindSelfCrossing(std::span<const double> xy, int edge_count, double tolerance, bool wrap);

struct PathRun {
  int first = 0;
  int count = 0;
};

// Cuts a round-ended centre line (x, y pairs) into runs that a round outline can
// follow: a run ends at a zero-length segment, where the path turns straight back,
// and around a join whose inner corner lies beyond the middle of one of its segments
// (that segment then forms a run of its own). Consecutive runs share their end point.
std::vector<PathRun> SplitPathRuns(std::span<const double> centre, double width);

// The closed outline of a round-ended path of the given half width around the centre
// line (x, y pairs): the left side forward, a half-circle cap, the right side back and
// a cap at the start; outer corners are arcs, inner corners the meeting point of the
// two offset lines; arcs take steps of at most 15 degrees. Segments shorter than 0.001
// are passed over. Returns the number of outline points (0 when no segment is left).
int RoundPathOutline(std::span<const double> centre, double half_width,
                     std::vector<double>& outline);

// What decides between outline and path for a wide path.
struct PathModeContext {
  int path_mode = 0;             // 0 outline, 1 lweight, 2 lwidening, 3 round
  double user_per_database = 0;  // of the input's UNITS
  double aperture_factor = 0;    // metres per user unit in aperture units
  double scale_factor = 1.0;     // SCALE_FACTOR
  const ApertureSettings* apertures = nullptr;
};

// Whether a wide path (width in database units) is drawn as outline polygons: always
// in outline mode; in lweight mode unless its width matches an aperture size within
// 0.1 percent; never in lwidening mode; in round mode unless its ends are round.
bool IsPathOutlined(const PathModeContext& context, int32_t width, int pathtype);

// Receives the pieces of a wide path.
class PathPieceSink {
 public:
  virtual ~PathPieceSink() = default;
  // A closed outline polygon: x, y pairs, the closing point included.
  virtual void Outline(std::span<const int32_t> xy) = 0;
  // A piece of a path kept as a path: its centre-line points.
  virtual void PathPiece(std::span<const int32_t> xy) = 0;
};

struct WidePath {
  std::span<const int32_t> xy;  // the centre line, x, y pairs
  int32_t width = 0;            // above 0
  int pathtype = 0;
  bool outlined = false;
  // The sink only counts outlines: where the outline of a 2-point path surely fits the
  // 32-bit range its points are left out (the sink gets an empty outline).
  bool count_only = false;
};

struct PathCutResult {
  int pieces = 0;
  bool fits = true;  // false when an outline point had to saturate to 32 bits
  // The path's points all lie at one place: no segment gives it a direction, so it has
  // neither an outline nor a piece, and nothing was handed to the sink.
  bool at_one_place = false;
};

// Cuts the path into pieces and hands each to the sink. Points that repeat the one
// before are left out first, so a repeated end is still extended and a repeated corner
// still mitred. Square-ended path types (2 and above) are then extended by half the
// width; round-ended outlined paths are split into runs and outlined round. Each piece
// is the longest one from its start whose outline does not cross itself; outlined
// pieces share their end points. Kept pieces keep the path's own end points (its path
// type extends them). With a debug log the runs, the centre lines of round pieces and
// the points of kept pieces are logged.
PathCutResult CutWidePath(const WidePath& path, PathPieceSink& sink,
                          EngineLog* debug_log = nullptr);

}  // namespace kavrinth
