// The off-screen 8-bit surface the viewer draws into, its 256-entry colour table, and the
// raster primitives that write colour indices into it (pixels, spans, symmetric lines).
// The window shows the surface's bytes with the palette as its colour table.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace kavrinth {

// Colours are 0x00BBGGRR: red in the low byte, then green, then blue.
using DisplayColor = uint32_t;

// Fixed palette slots: 0 white, 1 black, 2 red, 3 green, 4 yellow, 5 blue, 6 magenta,
// 7 cyan; 8 the background; 10 a colour the drawing window defines; 31 the shared
// scratch slot, used only when every custom slot is taken. Custom colours get a slot
// of their own from 32 up, so choosing a colour never recolours what another was drawn in.
enum PaletteSlot : int {
  kSlotWhite = 0,
  kSlotBlack = 1,
  kSlotBackground = 8,
  kSlotWindow = 10,
  kSlotScratch = 31,
  kFirstCustomSlot = 32,
  kPaletteSize = 256,
};

class DisplayPalette {
 public:
  DisplayPalette();
  // White, black, red, green, yellow, blue, magenta, cyan in 0-7; every other slot black
  // and every custom slot free.
  void InitDefaultColors();
  DisplayColor color(int slot) const { return colors_[slot]; }
  // Sets slot 8-31 to the colour; false for another slot.
  bool DefineDisplayColor(int slot, DisplayColor color);
  // The slot that shows the colour: a fixed slot 0-7 or a custom slot holding it, else a
  // new custom slot (a slot given back first; the scratch slot 31 once all are taken).
  int SlotForColor(DisplayColor color);
  // Gives back every custom slot whose colour `claimed` does not claim (nothing drawn that
  // is still to be shown may use them): the next new colours take them. A slot given back
  // keeps its colour until it is taken again, so that a colour that comes back finds it.
  // Returns how many slots were given back.
  int ReleaseUnclaimedSlots(const std::function<bool(DisplayColor)>& claimed);
  // Frees every custom slot (nothing drawn may still use them).
  void ResetCustomSlots();
  // Custom slots holding a colour now (not given back).
  int custom_slots_used() const;
  // Rises with every change of a slot's colour, so that a window can refresh its table.
  uint32_t version() const { return version_; }
  // The table as 0xFFRRGGBB values, the form a window's colour table takes.
  std::array<uint32_t, kPaletteSize> ArgbTable() const;

 private:
  std::array<DisplayColor, kPaletteSize> colors_{};
  // Custom slots below next_custom_ have held a colour; those given back are marked free.
  std::array<bool, kPaletteSize> free_{};
  int next_custom_ = kFirstCustomSlot;
  uint32_t version_ = 0;
};

// Rows run top-down: pixel (x, y) is byte y * stride + x, the stride being the width
// rounded up to a multiple of 4 as 8-bit bitmaps lay out their rows.
//
// Each row is also kept as blocks of 16 pixels with the one index every pixel of the block
// holds, or kMixedBlock, and the surface as tiles of 16 x 16 pixels kept the same way: a
// span that would only write what a block already holds skips it, and a shape whose box
// lies in tiles that already hold its colour need not be drawn at all, so that dense
// layers painting over themselves cost a glance. Every write goes through the surface's
// own routines, which keep blocks and tiles true.
class DisplaySurface {
 public:
  // Makes a surface of the size, every pixel the background; false (and no surface) when
  // the size is not positive, above 32767 on a side, or the memory cannot be had.
  bool Create(int32_t width, int32_t height);
  void Release();
  bool valid() const { return !bits_.empty(); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t stride() const { return stride_; }
  // The pixel bytes, for showing them (null without a surface).
  const uint8_t* bits() const { return bits_.empty() ? nullptr : bits_.data(); }
  uint8_t Pixel(int32_t x, int32_t y) const;

  // Every pixel set to the index (the background slot unless said otherwise).
  void Clear(uint8_t index = kSlotBackground);
  // Copies rows of pixel bytes (a picture stored earlier) into the surface from its top-left
  // corner; what lies beyond the surface is left out and the rest of the surface keeps its
  // pixels.
  void LoadPixels(const uint8_t* rows, int32_t row_bytes, int32_t width, int32_t height);

  // The colour index the primitives write, and the colour it shows.
  uint8_t color_index() const { return color_index_; }
  DisplayColor current_color() const { return current_color_; }
  void SetColorIndex(uint8_t index, DisplayColor color) {
    color_index_ = index;
    current_color_ = color;
  }
  // Makes the colour current: nothing happens when it already is.
  void SelectColorPen(DisplayPalette& palette, DisplayColor color);
  // Makes a palette slot current.
  void SelectPenSlot(const DisplayPalette& palette, int slot);

  // ---- Raster primitives: every write is clipped to the surface ----
  void DibSetPixel(int32_t x, int32_t y);
  // x1..x2 inclusive of row y, in either order.
  void DibFillSpan(int32_t x1, int32_t x2, int32_t y) {
    if (bits_.empty() || y < 0 || y >= height_) return;
    if (x1 > x2) std::swap(x1, x2);
    x1 = std::max(x1, 0);
    x2 = std::min(x2, width_ - 1);
    if (x1 > x2) return;
    FillRow(x1, x2, y);
  }
  // A one-pixel line with both end points, the same pixels whichever end it starts from.
  void DibLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // True when every pixel of the box (inclusive, within the surface) already holds the
  // current colour index, judged by whole tiles: drawing in it would change nothing.
  bool BoxHoldsColor(int32_t left, int32_t top, int32_t right, int32_t bottom) const;

 private:
  static constexpr int kBlockShift = 4;
  static constexpr int kBlockSize = 1 << kBlockShift;
  static constexpr uint16_t kMixedBlock = 0x100;

  // x1 <= x2, both within the row.
  void FillRow(int32_t x1, int32_t x2, int32_t y) {
    uint8_t* row = bits_.data() + static_cast<size_t>(y) * stride_;
    uint16_t* blocks = blocks_.data() + static_cast<size_t>(y) * blocks_per_row_;
    const uint8_t c = color_index_;
    const int32_t first = x1 >> kBlockShift, last = x2 >> kBlockShift;
    for (int32_t b = first; b <= last; ++b) {
      if (blocks[b] == c) continue;
      const int32_t from = std::max(x1, b << kBlockShift);
      const int32_t to = std::min(x2, ((b + 1) << kBlockShift) - 1);
      for (int32_t x = from; x <= to; ++x) row[x] = c;
      const bool whole =
          to - from == kBlockSize - 1 || (from == b << kBlockShift && to == width_ - 1);
      blocks[b] = whole ? c : kMixedBlock;
      UpdateTile(b, y, blocks[b]);
    }
  }
  // A block of row y changed to `value`: its tile holds one index only if all its blocks do.
  void UpdateTile(int32_t block, int32_t y, uint16_t value) {
    uint16_t& tile = tiles_[static_cast<size_t>(y >> kBlockShift) * blocks_per_row_ + block];
    if (value == kMixedBlock) {
      tile = kMixedBlock;
      return;
    }
    const int32_t top = y & ~(kBlockSize - 1), bottom = std::min(top + kBlockSize, height_);
    for (int32_t r = top; r < bottom; ++r) {
      if (blocks_[static_cast<size_t>(r) * blocks_per_row_ + block] != value) {
        tile = kMixedBlock;
        return;
      }
    }
    tile = value;
  }
  template <bool kChecked>
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  template <bool kChecked>
  void Plot(int32_t x, int32_t y) {
    if (kChecked && (static_cast<uint32_t>(x) >= static_cast<uint32_t>(width_) ||
                     static_cast<uint32_t>(y) >= static_cast<uint32_t>(height_))) {
      return;
    }
    bits_[static_cast<size_t>(y) * stride_ + x] = color_index_;
    uint16_t& block = blocks_[static_cast<size_t>(y) * blocks_per_row_ + (x >> kBlockShift)];
    if (block != color_index_) {
      block = kMixedBlock;
      tiles_[static_cast<size_t>(y >> kBlockShift) * blocks_per_row_ + (x >> kBlockShift)] =
          kMixedBlock;
    }
  }

  std::vector<uint8_t> bits_;
  std::vector<uint16_t> blocks_;
  std::vector<uint16_t> tiles_;
  int32_t blocks_per_row_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;
  uint8_t color_index_ = kSlotBlack;
  DisplayColor current_color_ = 0;
};

}  // namespace kavrinth
