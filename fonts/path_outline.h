// Path outlines: the closed polygon around a path's centre line and width, with butt
// ends and mitred joins, stopping at a join it cannot mitre.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kavrinth {

// Joins that turn by more than this (120 degrees) end the outline.
inline constexpr double kOutlineJoinThreshold = 2.0943951023931953;
// Segments shorter than this have no direction.
inline constexpr double kOutlineMinimumLength = 1e-8;

// Outlines the centre line of count points (points holds x, y pairs) of the given
// width. Point k of the outline is stored at output[2k], output[2k + 1]: integers
// (each offset rounded half away from zero, then added to its centre-line point; a sum
// beyond the 32-bit range is held at the range's end) or doubles (centre-line point +
// offset). No offset is longer than twice the half-width. room: in, the outline points the output
// may take (never more than output holds); out, the outline points written.
//
// Layout for a whole centre line of n points: left side L0..L(n-1), the last
// centre-line point, right side R(n-1)..R0, and L0 again. Left is the side of the
// normal (-dy, dx). When the room cannot take 2n + 2 points, n is cut to room / 2 - 1.
//
// Joins turning by more than 120 degrees, reversals, zero-length segments and mitres
// that do not fit stop the outline at that centre-line point; with joins set, a sharp
// turn ends in a three-point cap and a mitre that does not fit in a bevel, otherwise
// the outline ends at the point itself. The caller outlines the rest as a further
// piece starting at the last point used.
//
// Returns -1 when the width is 0 or fewer than 2 points fit (nothing written), 1 when
// the first segment is shorter than 1e-8 (nothing written), else the number of
// centre-line points used from the first.
int PathToOutline(int32_t count, std::span<const int32_t> points, int32_t width,
                  std::span<int32_t> output, bool joins, int32_t& room);
int PathToOutline(int32_t count, std::span<const int32_t> points, int32_t width,
                  std::span<double> output, bool joins, int32_t& room);

// Where the last outline's parts lie, kept after every call that wrote an outline:
// the left side runs from left_begin to left_end (its end point at the last centre-line
// point used), the right side from right_begin (its end point) to right_end (R0); the
// end cap lies between them and L0 closes the outline at point_count - 1.
struct OutlineEndCaps {
  int32_t left_begin = 0;
  int32_t left_end = 0;
  int32_t right_begin = 0;
  int32_t right_end = 0;
  int32_t point_count = 0;
  int32_t consumed = 0;
  // Midpoints of the start cap (L0, R0) and of the end cap (the two side end points),
  // rounded half away from zero.
  int32_t start_mid_x = 0;
  int32_t start_mid_y = 0;
  int32_t end_mid_x = 0;
  int32_t end_mid_y = 0;
};

// The centre line (x, y pairs) without the points that repeat the point before them. A
// repeated point gives no segment: an outline stops at it and an end cannot be extended
// along it, so a path is outlined and extended on the points that remain. The points
// themselves when none repeats, else the remaining ones, written into scratch.
std::span<const int32_t> DistinctPathPoints(std::span<const int32_t> xy,
                                            std::vector<int32_t>& scratch);

// The record of the last outline written on this thread.
OutlineEndCaps LastOutlineEndCaps();

}  // namespace kavrinth
