// Wide paths as the PG library gets them for now: whether a path is outlined at all,
// and one closed rectangle per segment of its centre line (ends extended by half the
// width for the square-ended path types). Joins are not filled and round ends are not
// drawn; the full outline with joins and splitting arrives with the path module.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kavrinth {

// Whether a wide path of this path type is drawn as outline polygons in the path mode
// (0 outline, 1 lweight, 2 lwidening, 3 round). In lweight mode no aperture size is
// loaded, so no width matches one and every path is outlined.
bool IsPathOutlined(int path_mode, int pathtype);

// The rectangles of the path's segments, five points each (the first repeated), as
// x, y pairs appended to `out` (cleared first). Segments shorter than 0.001 give none.
// Returns the number of rectangles; false in *fits when a corner left the 32-bit range.
int PathSegmentRectangles(std::span<const int32_t> centre_xy, int32_t width, int pathtype,
                          std::vector<int32_t>& out, bool* fits);

}  // namespace kavrinth
