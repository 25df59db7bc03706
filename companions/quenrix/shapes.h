// The shapes the post-processor draws: quadrilaterals and sectors in a structure's own
// coordinates, the placements that carry them into the top structure, and the cutting of
// polygons, paths and text strokes into quadrilaterals.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "companions/quenrix/intermediate_file.h"
#include "companions/vantor/trapezoids.h"

namespace kavrinth {

// A reference's transformation: x' = a x + b y + tx, y' = c x + d y + ty.
struct Placement {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  // Reflection about the x axis (when set), then magnification, then rotation
  // counter-clockwise by the angle in degrees, then the move to (x, y).
  static Placement Of(double x, double y, double magnification, double angle_degrees, bool reflect);
  // This placement applied after the inner one.
  Placement Then(const Placement& inner) const;
  void Apply(double x, double y, double* out_x, double* out_y) const {
    *out_x = a * x + b * y + tx;
    *out_y = c * x + d * y + ty;
  }
  // The magnification and whether the placement mirrors.
  double Scale() const;
  bool Mirrors() const { return a * d - b * c < 0; }
};

// A quadrilateral of a structure, corners counter-clockwise (x0, y0 .. x3, y3); a
// triangle repeats its third corner.
struct LocalQuad {
  std::array<int32_t, 8> xy{};
  int16_t layer = 0;
};

// A sector of a structure: the band between the radii from start_degrees sweeping
// counter-clockwise by sweep_degrees (360: whole circle); inner 0 for a pie or disc.
struct LocalSector {
  double centre_x = 0;
  double centre_y = 0;
  double inner = 0;
  double outer = 0;
  double start_degrees = 0;
  double sweep_degrees = 360;
  int16_t layer = 0;
};

// Where flattened shapes go, in database units of the top structure.
class ShapeSink {
 public:
  virtual ~ShapeSink() = default;
  virtual void Quadrilateral(int layer, const std::array<int32_t, 8>& corners, bool triangle) = 0;
  virtual void Sector(int layer, const SectorShape& sector) = 0;
  // False once the sink cannot take more (a write failed).
  virtual bool ok() const { return true; }
};

// Coordinates whose magnitude reaches this may move in the Intermediate format's floats.
inline constexpr int64_t kIntermediateExactLimit = 8192000;

// Why a shape was not drawn, or drawn less exactly.
struct EmitResult {
  bool out_of_range = false;  // a corner left the 32-bit range: not drawn
  bool imprecise = false;     // a coordinate beyond kIntermediateExactLimit
};

// Places a quadrilateral and hands it to the sink (corners rounded half away from zero,
// counter-clockwise; one without area is dropped).
EmitResult EmitQuad(const LocalQuad& quad, const Placement& placement, ShapeSink& sink);
// Places a sector and hands it to the sink.
EmitResult EmitSector(const LocalSector& sector, const Placement& placement, ShapeSink& sink);

// Cuts polygons into quadrilaterals (trapezoids with horizontal parallel sides, nonzero
// winding), keeping its buffers between calls.
class PolygonCutter {
 public:
  // Appends the trapezoids of the ring (x, y pairs; it closes by itself). False when
  // some trapezoid left the 32-bit range or the polygon needs more trapezoids than the
  // cutter holds (those are left out).
  bool Cut(std::span<const int32_t> xy, int16_t layer, std::vector<LocalQuad>& out);

 private:
  TrapezoidDecomposer decomposer_;
  std::vector<PgTrapezoid> table_;
};

// The shapes of one path centre line (x, y pairs) of the given width: pathtype 0 butt
// ends, 1 round ends (half discs), 2 and 4 ends extended by half the width; joins
// mitred. False when the line has fewer than two distinct points or a piece could not
// be cut.
bool PathShapes(std::span<const int32_t> xy, int32_t width, int pathtype, int16_t layer,
                PolygonCutter& cutter, std::vector<LocalQuad>& quads,
                std::vector<LocalSector>& sectors);

// The shapes of an open stroke (x, y pairs, already placed): every segment swept by an
// octagonal pen of the given width. False when a piece could not be cut.
bool StrokeShapes(std::span<const int32_t> xy, int32_t pen_width, int16_t layer,
                  PolygonCutter& cutter, std::vector<LocalQuad>& quads);

// Rounds half away from zero into 32 bits; false when the value does not fit.
bool RoundCoordinate(double value, int32_t* out);

}  // namespace kavrinth
