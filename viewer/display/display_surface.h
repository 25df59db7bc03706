// The off-screen 8-bit surface the viewer draws into, its 256-entry colour table, and the
// raster primitives that write colour indices into it (pixels, spans, symmetric lines).
// The window shows the surface's bytes with the palette as its colour table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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
  // new custom slot (the scratch slot 31 once all are taken).
  int SlotForColor(DisplayColor color);
  // Frees every custom slot (nothing drawn may still use them).
  void ResetCustomSlots();
  int custom_slots_used() const { return next_custom_ - kFirstCustomSlot; }
  // Rises with every change of a slot's colour, so that a window can refresh its table.
  uint32_t version() const { return version_; }
  // The table as 0xFFRRGGBB values, the form a window's colour table takes.
  std::array<uint32_t, kPaletteSize> ArgbTable() const;

 private:
  std::array<DisplayColor, kPaletteSize> colors_{};
  int next_custom_ = kFirstCustomSlot;
  uint32_t version_ = 0;
};

// Rows run top-down: pixel (x, y) is byte y * stride + x, the stride being the width
// rounded up to a multiple of 4 as 8-bit bitmaps lay out their rows.
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
  uint8_t* bits() { return bits_.data(); }
  const uint8_t* bits() const { return bits_.data(); }
  uint8_t Pixel(int32_t x, int32_t y) const;

  // Every pixel set to the index (the background slot unless said otherwise).
  void Clear(uint8_t index = kSlotBackground);

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
  void DibFillSpan(int32_t x1, int32_t x2, int32_t y);
  // A one-pixel line with both end points, the same pixels whichever end it starts from.
  void DibLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

 private:
  template <bool kChecked>
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  template <bool kChecked>
  void Plot(int32_t x, int32_t y) {
    if (kChecked && (static_cast<uint32_t>(x) >= static_cast<uint32_t>(width_) ||
                     static_cast<uint32_t>(y) >= static_cast<uint32_t>(height_))) {
      return;
    }
    bits_[static_cast<size_t>(y) * stride_ + x] = color_index_;
  }

  std::vector<uint8_t> bits_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;
  uint8_t color_index_ = kSlotBlack;
  DisplayColor current_color_ = 0;
};

}  // namespace kavrinth
