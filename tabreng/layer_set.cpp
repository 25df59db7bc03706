// LayerSet helpers that need no inlining.
#include "tabreng/layer_set.h"

#include <algorithm>

namespace kavrinth {

bool LayerSet::Empty() const {
  return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t byte) { return byte == 0; });
}

}  // namespace kavrinth
