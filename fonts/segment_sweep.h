// The outline of one path segment drawn with a pen: a plain rectangle, or a square or
// octagonal pen swept from the segment's start to its end.
#pragma once

#include <cstdint>
#include <span>

namespace kavrinth {

// Pen kinds of SweepSegmentOutline.
enum SweepPenMode : int {
  kSweepRectangle = 0,
  kSweepOctagonalPen = 1,
  kSweepSquarePen = 2,
};

// Results of SweepSegmentOutline.
enum SweepResult : int {
  kSweepDone = 0,
  kSweepZeroPen = 2,        // the segment itself is the output
  kSweepEqualEnds = -1,     // nothing written
  kSweepRoomTooSmall = -2,  // nothing written
  kSweepUnknownMode = -3,   // nothing written
};

// Outlines the segment (x0, y0, x1, y1) swept by a pen of the given width and height.
// output takes x, y pairs; room: in, the points it may take (never more than output
// holds); out, the points written, the last repeating the first. Modes 0 and 1 take
// the height for a width of 0 and the width for a height of 0. A rectangle needs 5
// points, the square pen 5 (horizontal or vertical) or 7, the octagonal pen 11
// (horizontal, vertical or exactly diagonal) or 13. Returns a SweepResult.
int SweepSegmentOutline(std::span<const int32_t, 4> segment, int32_t width, int32_t height,
                        int mode, std::span<int32_t> output, int32_t& room);

// Moves the segment's end point (x1, y1) on by distance along the segment, rounded half
// away from zero. Returns 0, or -1 (nothing changed) when both end points are equal.
int ExtendSegmentEnd(std::span<int32_t, 4> segment, double distance);

}  // namespace kavrinth
