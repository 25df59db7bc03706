// The off-screen surface, its palette and the raster primitives.
#include "viewer/display/display_surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "viewer/display/draw_window.h"

namespace kavrinth {
namespace {

constexpr std::array<DisplayColor, 8> kDefaultColors = {
    0xFFFFFF, 0x000000, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00,
};
constexpr int32_t kMaxSide = 32767;
// Lines longer than this on their major axis are clipped to the surface before they are
// walked; shorter ones are walked with every pixel tested.
constexpr int64_t kWalkLimit = 65536;

}  // namespace

// ---- Palette ----

DisplayPalette::DisplayPalette() { InitDefaultColors(); }

void DisplayPalette::InitDefaultColors() {
  colors_.fill(0);
  std::copy(kDefaultColors.begin(), kDefaultColors.end(), colors_.begin());
  free_.fill(false);
  next_custom_ = kFirstCustomSlot;
  ++version_;
}

bool DisplayPalette::DefineDisplayColor(int slot, DisplayColor color) {
  if (slot < kSlotBackground || slot > kSlotScratch) return false;
  colors_[slot] = color & 0xFFFFFF;
  ++version_;
  return true;
}

int DisplayPalette::SlotForColor(DisplayColor color) {
  color &= 0xFFFFFF;
  for (int i = 0; i < static_cast<int>(kDefaultColors.size()); ++i) {
    if (colors_[i] == color) return i;
  }
  // A slot given back that still holds the colour is taken again as it is.
  int free_slot = -1;
  for (int i = kFirstCustomSlot; i < next_custom_; ++i) {
    if (colors_[i] == color) {
      free_[i] = false;
      return i;
    }
    if (free_[i] && free_slot < 0) free_slot = i;
  }
  if (free_slot < 0 && next_custom_ < kPaletteSize) free_slot = next_custom_++;
  if (free_slot >= 0) {
    free_[free_slot] = false;
    colors_[free_slot] = color;
    ++version_;
    return free_slot;
  }
  if (colors_[kSlotScratch] != color) DefineDisplayColor(kSlotScratch, color);
  return kSlotScratch;
}

int DisplayPalette::ReleaseUnclaimedSlots(const std::function<bool(DisplayColor)>& claimed) {
  int released = 0;
  for (int i = kFirstCustomSlot; i < next_custom_; ++i) {
    if (free_[i] || claimed(colors_[i])) continue;
    free_[i] = true;
    ++released;
  }
  return released;
}

void DisplayPalette::ResetCustomSlots() {
  std::fill(colors_.begin() + kFirstCustomSlot, colors_.end(), 0);
  free_.fill(false);
  next_custom_ = kFirstCustomSlot;
  ++version_;
}

int DisplayPalette::custom_slots_used() const {
  int used = 0;
  for (int i = kFirstCustomSlot; i < next_custom_; ++i) used += free_[i] ? 0 : 1;
  return used;
}

std::array<uint32_t, kPaletteSize> DisplayPalette::ArgbTable() const {
  std::array<uint32_t, kPaletteSize> table{};
  for (int i = 0; i < kPaletteSize; ++i) {
    const DisplayColor c = colors_[i];
    table[i] = 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
  return table;
}

// ---- Surface ----

bool DisplaySurface::Create(int32_t width, int32_t height) {
  Release();
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  const int32_t stride = (width + 3) & ~3;
  const int32_t blocks_per_row = (width + kBlockSize - 1) / kBlockSize;
  try {
    bits_.assign(static_cast<size_t>(stride) * height, kSlotBackground);
    blocks_.assign(static_cast<size_t>(blocks_per_row) * height, kSlotBackground);
    tiles_.assign(static_cast<size_t>(blocks_per_row) * ((height + kBlockSize - 1) / kBlockSize),
                  kSlotBackground);
  } catch (const std::bad_alloc&) {
    Release();
    return false;
  }
  width_ = width;
  height_ = height;
  stride_ = stride;
  blocks_per_row_ = blocks_per_row;
  return true;
}

void DisplaySurface::Release() {
  std::vector<uint8_t>().swap(bits_);
  std::vector<uint16_t>().swap(blocks_);
  std::vector<uint16_t>().swap(tiles_);
  width_ = height_ = stride_ = blocks_per_row_ = 0;
}

uint8_t DisplaySurface::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return bits_[static_cast<size_t>(y) * stride_ + x];
}

void DisplaySurface::Clear(uint8_t index) {
  std::fill(bits_.begin(), bits_.end(), index);
  std::fill(blocks_.begin(), blocks_.end(), index);
  std::fill(tiles_.begin(), tiles_.end(), index);
}

void DisplaySurface::LoadPixels(const uint8_t* rows, int32_t row_bytes, int32_t width,
                                int32_t height) {
  if (!valid() || rows == nullptr) return;
  width = std::min(width, width_);
  height = std::min(height, height_);
  if (width <= 0 || height <= 0) return;
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(bits_.data() + static_cast<size_t>(y) * stride_,
                rows + static_cast<size_t>(y) * row_bytes, static_cast<size_t>(width));
  }
  // The blocks and tiles of the rows are worked out again from their pixels.
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = bits_.data() + static_cast<size_t>(y) * stride_;
    for (int32_t b = 0; b < blocks_per_row_; ++b) {
      const int32_t from = b << kBlockShift, to = std::min(from + kBlockSize, width_);
      const bool same =
          std::all_of(row + from, row + to, [&](uint8_t v) { return v == row[from]; });
      blocks_[static_cast<size_t>(y) * blocks_per_row_ + b] = same ? row[from] : kMixedBlock;
    }
  }
  for (int32_t ty = 0; ty <= (height - 1) >> kBlockShift; ++ty) {
    const int32_t top = ty << kBlockShift, bottom = std::min(top + kBlockSize, height_);
    for (int32_t b = 0; b < blocks_per_row_; ++b) {
      uint16_t tile = blocks_[static_cast<size_t>(top) * blocks_per_row_ + b];
      for (int32_t y = top + 1; y < bottom && tile != kMixedBlock; ++y) {
        if (blocks_[static_cast<size_t>(y) * blocks_per_row_ + b] != tile) tile = kMixedBlock;
      }
      tiles_[static_cast<size_t>(ty) * blocks_per_row_ + b] = tile;
    }
  }
}

bool DisplaySurface::BoxHoldsColor(int32_t left, int32_t top, int32_t right, int32_t bottom) const {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_ - 1);
  bottom = std::min(bottom, height_ - 1);
  if (left > right || top > bottom) return true;
  for (int32_t ty = top >> kBlockShift; ty <= bottom >> kBlockShift; ++ty) {
    const uint16_t* row = tiles_.data() + static_cast<size_t>(ty) * blocks_per_row_;
    for (int32_t tx = left >> kBlockShift; tx <= right >> kBlockShift; ++tx) {
      if (row[tx] != color_index_) return false;
    }
  }
  return true;
}

void DisplaySurface::SelectColorPen(DisplayPalette& palette, DisplayColor color) {
  color &= 0xFFFFFF;
  if (color == current_color_ && palette.color(color_index_) == color) return;
  const int slot = palette.SlotForColor(color);
  SetColorIndex(static_cast<uint8_t>(slot), color);
}

void DisplaySurface::SelectPenSlot(const DisplayPalette& palette, int slot) {
  if (slot < 0 || slot >= kPaletteSize) return;
  SetColorIndex(static_cast<uint8_t>(slot), palette.color(slot));
}

// ---- Raster primitives ----

void DisplaySurface::DibSetPixel(int32_t x, int32_t y) {
  if (valid()) Plot<true>(x, y);
}

void DisplaySurface::DibLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!valid()) return;
  if (y1 == y2) {
    DibFillSpan(x1, x2, y1);
    return;
  }
  const ViewRect surface{0, 0, width_ - 1, height_ - 1};
  if (surface.Contains(x1, y1) && surface.Contains(x2, y2)) {
    Line<false>(x1, y1, x2, y2);
    return;
  }
  const int64_t major = std::max(std::llabs(int64_t{x2} - x1), std::llabs(int64_t{y2} - y1));
  if (major <= kWalkLimit) {
    Line<true>(x1, y1, x2, y2);
    return;
  }
  LogicalPoint a{x1, y1}, b{x2, y2};
  if (ClipSegmentToRect(surface, &a, &b)) Line<false>(a.x, a.y, b.x, b.y);
}

// The symmetric double-step line: it is drawn from both ends towards the middle, two
// pixels per end and step, choosing one of four pixel patterns per step.
template <bool kChecked>
void DisplaySurface::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (y1 == y2) {
    for (int32_t x = std::min(x1, x2); x <= std::max(x1, x2); ++x) Plot<kChecked>(x, y1);
    return;
  }
  if (x1 == x2) {
    for (int32_t y = std::min(y1, y2); y <= std::max(y1, y2); ++y) Plot<kChecked>(x1, y);
    return;
  }
  int64_t dx = std::llabs(int64_t{x2} - x1);
  int64_t dy = std::llabs(int64_t{y2} - y1);
  const int32_t step = ((x2 > x1) == (y2 > y1)) ? 1 : -1;
  const bool steep = dy > dx;
  if (steep) {
    std::swap(x1, y1);
    std::swap(x2, y2);
    std::swap(dx, dy);
  }
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  int32_t x = x1, y = y1, xe = x2, ye = y2;
  auto plot = [&](int32_t a, int32_t b) {
    if (steep) {
      Plot<kChecked>(b, a);
    } else {
      Plot<kChecked>(a, b);
    }
  };
  plot(x, y);
  plot(xe, ye);
  const int64_t loops = (dx - 1) / 4;
  const int64_t left = (dx - 1) % 4;
  const int64_t incr2 = 4 * dy - 2 * dx;
  // Pattern 1: both pixels on the same row. 2: the second steps. 3: the first steps.
  // 4: both step.
  auto pattern1 = [&] {
    plot(x, y), ++x, plot(x, y);
    plot(xe, ye), --xe, plot(xe, ye);
  };
  auto pattern2 = [&] {
    plot(x, y), ++x, y += step, plot(x, y);
    plot(xe, ye), --xe, ye -= step, plot(xe, ye);
  };
  auto pattern3 = [&] {
    y += step, plot(x, y), ++x, plot(x, y);
    ye -= step, plot(xe, ye), --xe, plot(xe, ye);
  };
  auto pattern4 = [&] {
    y += step, plot(x, y), ++x, y += step, plot(x, y);
    ye -= step, plot(xe, ye), --xe, ye -= step, plot(xe, ye);
  };
  if (incr2 < 0) {
    const int64_t c = 2 * dy;
    const int64_t incr1 = 2 * c;
    int64_t d = incr1 - dx;
    for (int64_t i = 0; i < loops; ++i) {
      ++x, --xe;
      if (d < 0) {
        pattern1();
        d += incr1;
      } else {
        d < c ? pattern2() : pattern3();
        d += incr2;
      }
    }
    if (left == 0) return;
    if (d < 0) {
      ++x, plot(x, y);
      if (left > 1) ++x, plot(x, y);
      if (left > 2) --xe, plot(xe, ye);
    } else if (d < c) {
      ++x, plot(x, y);
      if (left > 1) ++x, y += step, plot(x, y);
      if (left > 2) --xe, plot(xe, ye);
    } else {
      ++x, y += step, plot(x, y);
      if (left > 1) ++x, plot(x, y);
      if (left > 2) --xe, ye -= step, plot(xe, ye);
    }
    return;
  }
  const int64_t c = 2 * (dy - dx);
  const int64_t incr1 = 2 * c;
  int64_t d = incr1 + dx;
  for (int64_t i = 0; i < loops; ++i) {
    ++x, --xe;
    if (d > 0) {
      pattern4();
      d += incr1;
    } else {
      d < c ? pattern2() : pattern3();
      d += incr2;
    }
  }
  if (left == 0) return;
  if (d > 0) {
    ++x, y += step, plot(x, y);
    if (left > 1) ++x, y += step, plot(x, y);
    if (left > 2) --xe, ye -= step, plot(xe, ye);
  } else if (d < c) {
    ++x, plot(x, y);
    if (left > 1) ++x, y += step, plot(x, y);
    if (left > 2) --xe, plot(xe, ye);
  } else {
    ++x, y += step, plot(x, y);
    if (left > 1) ++x, plot(x, y);
    if (left > 2) {
      --xe;
      if (d > c) ye -= step;
      plot(xe, ye);
    }
  }
}

}  // namespace kavrinth
