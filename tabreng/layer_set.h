// A set of GDSII layers 0..1023 as 1024 bits: bit n is bit (n mod 8) of byte n / 8.
#pragma once

#include <array>
#include <cstdint>

namespace kavrinth {

inline constexpr int kLayerCount = 1024;

class LayerSet {
 public:
  static constexpr bool IsValidLayer(int layer) { return layer >= 0 && layer < kLayerCount; }

  // A layer outside 0..1023 is never in the set; adding or removing one changes nothing.
  bool Test(int layer) const {
    return IsValidLayer(layer) && (bytes_[layer / 8] >> (layer % 8) & 1) != 0;
  }
  void Add(int layer) {
    if (IsValidLayer(layer)) bytes_[layer / 8] |= static_cast<uint8_t>(1u << (layer % 8));
  }
  void Remove(int layer) {
    if (IsValidLayer(layer)) bytes_[layer / 8] &= static_cast<uint8_t>(~(1u << (layer % 8)));
  }
  void Clear() { bytes_.fill(0); }
  bool Empty() const;

  const std::array<uint8_t, kLayerCount / 8>& bytes() const { return bytes_; }

 private:
  std::array<uint8_t, kLayerCount / 8> bytes_{};
};

// The system's names for the three bit operations.
inline bool LayerSetTest(const LayerSet& set, int layer) { return set.Test(layer); }
inline void LayerSetAdd(LayerSet& set, int layer) { set.Add(layer); }
inline void LayerSetRemove(LayerSet& set, int layer) { set.Remove(layer); }

}  // namespace kavrinth
