// Allocation of the work arrays.
#include "tabreng/work_arrays.h"

#include <new>

namespace kavrinth {

const std::array<WorkArrayEntry, 17> kWorkArrayTable = {{
    {10000, "xy_coord: unable allocate double memory."},
    {10000, "adjusted_xy: unable allocate double memory."},
    {10000, "dble_data: unable allocate double memory."},
    {32768, "dble_tmp: unable allocate double memory."},
    {32768, "dble_dum: unable allocate double memory."},
    {10000, "ixy: unable allocate int memory."},
    {10000, "ik: unable allocate int memory."},
    {10000, "cutline: unable allocate long memory."},
    {10000, "xy: unable allocate double memory."},
    {5000, "w: unable allocate double memory."},
    {10000, "edge: unable allocate double memory."},
    {10000, "bndry: unable allocate long memory."},
    {10000, "trace: unable allocate long memory."},
    {10000, "tdata: unable allocate long memory."},
    {65536, "longdata: unable allocate long memory."},
    {5000, "xcut: unable allocate long memory."},
    {2500, "ixy: unable allocate int memory."},
}};

namespace {

template <class T>
bool Reserve(std::vector<T>& array, size_t elements, size_t& budget) {
  const size_t bytes = elements * sizeof(T);
  if (bytes > budget) return false;
  try {
    array.reserve(elements);
  } catch (const std::bad_alloc&) {
    return false;
  }
  budget -= bytes;
  return true;
}

}  // namespace

int AllocateWorkArrays(WorkArrays& a, size_t budget) {
  const auto reserve = [&](auto& array, int index) {
    return Reserve(array, kWorkArrayTable[static_cast<size_t>(index)].elements, budget);
  };
  // The arrays in the table's order; the first that cannot be had names the failure.
  int index = 0;
  const auto step = [&](auto& array) { return reserve(array, index) ? (++index, true) : false; };
  if (step(a.xy_coord) && step(a.adjusted_xy) && step(a.dble_data) && step(a.dble_tmp) &&
      step(a.dble_dum) && step(a.ixy) && step(a.ik) && step(a.cutline) && step(a.xy) && step(a.w) &&
      step(a.edge) && step(a.bndry) && step(a.trace) && step(a.tdata) && step(a.longdata) &&
      step(a.xcut) && step(a.ixy_short)) {
    return -1;
  }
  return index;
}

}  // namespace kavrinth
