// The work arrays of a run, allocated once after the options are read, in a fixed order,
// each with the message that names it when it cannot be had. They start at these sizes
// and grow when an element needs more, so no input can overrun them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace kavrinth {

struct WorkArrays {
  std::vector<double> xy_coord, adjusted_xy, dble_data, dble_tmp, dble_dum;
  std::vector<int32_t> ixy, ik, cutline;
  std::vector<double> xy, w, edge;
  std::vector<int32_t> bndry, trace, tdata, longdata, xcut, ixy_short;
};

struct WorkArrayEntry {
  size_t elements;
  std::string_view message;
};

// The seventeen arrays in allocation order.
extern const std::array<WorkArrayEntry, 17> kWorkArrayTable;

// Reserves every array in table order while the byte budget lasts. Returns the index of
// the first array that could not be had, or -1 when all were.
int AllocateWorkArrays(WorkArrays& arrays, size_t byte_budget = std::numeric_limits<size_t>::max());

}  // namespace kavrinth
