// The off-screen surface, its palette and the raster primitives, checked on the surface's
// bytes.
#include "viewer/display/display_surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace kavrinth {
namespace {

using PixelSet = std::set<std::pair<int, int>>;

// Every pixel of the surface that is not the background.
PixelSet Painted(const DisplaySurface& s) {
  PixelSet set;
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      if (s.Pixel(x, y) != kSlotBackground) set.insert({x, y});
    }
  }
  return set;
}

PixelSet LinePixels(DisplaySurface* s, int x1, int y1, int x2, int y2) {
  s->Clear();
  s->DibLine(x1, y1, x2, y2);
  return Painted(*s);
}

TEST(DisplaySurfaceTest, RowsArePaddedToFourBytesAndStartAsBackground) {
  DisplaySurface s;
  ASSERT_TRUE(s.Create(13, 5));
  EXPECT_EQ(s.stride(), 16);
  for (int i = 0; i < s.stride() * s.height(); ++i) ASSERT_EQ(s.bits()[i], kSlotBackground);
  // A vertical line stays vertical: one byte per row at the same column.
  s.SetColorIndex(3, 0);
  s.DibLine(7, 0, 7, 4);
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(s.bits()[y * 16 + 7], 3) << y;
    EXPECT_EQ(s.bits()[y * 16 + 6], kSlotBackground) << y;
  }
}

TEST(DisplaySurfaceTest, ASurfaceThatCannotBeMadeDrawsNothing) {
  DisplaySurface s;
  for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {40000, 10}, {10, 40000}}) {
    EXPECT_FALSE(s.Create(w, h)) << w << "x" << h;
    EXPECT_FALSE(s.valid());
    EXPECT_EQ(s.width(), 0);
    s.DibSetPixel(0, 0);
    s.DibFillSpan(0, 5, 0);
    s.DibLine(0, 0, 5, 5);
    EXPECT_EQ(s.bits(), nullptr);
  }
}

TEST(DisplaySurfaceTest, PrimitivesAreClippedToTheSurface) {
  DisplaySurface s;
  ASSERT_TRUE(s.Create(10, 6));
  s.SetColorIndex(2, 0);
  s.DibSetPixel(-1, 0);
  s.DibSetPixel(10, 0);
  s.DibSetPixel(0, 6);
  EXPECT_TRUE(Painted(s).empty());
  s.DibFillSpan(-5, 3, 0);
  s.DibFillSpan(8, 20, 5);
  s.DibFillSpan(4, 2, 2);  // either order
  s.DibFillSpan(0, 9, -1);
  EXPECT_EQ(Painted(s),
            (PixelSet{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {2, 2}, {3, 2}, {4, 2}, {8, 5}, {9, 5}}));
  // A diagonal from far outside keeps the pixels it would have inside.
  PixelSet inside = LinePixels(&s, 0, 0, 5, 5);
  EXPECT_EQ(LinePixels(&s, -4, -4, 5, 5), inside);
  // A very long line crossing the surface paints only inside it, and quickly.
  s.Clear();
  s.DibLine(-2000000000, 3, 2000000000, 3);
  s.DibLine(-1000000000, -999999997, 1000000000, 1000000003);
  const PixelSet long_lines = Painted(s);
  // The whole coordinate range: clipping needs more than 64 bits for its products.
  EXPECT_EQ(LinePixels(&s, -2147483647, -2147483647, 2147483647, 2147483647),
            (PixelSet{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}));
  for (int x = 0; x < 10; ++x) EXPECT_TRUE(long_lines.count({x, 3})) << x;
  EXPECT_TRUE(long_lines.count({0, 3}) && long_lines.count({2, 5}));
}

// The ideal line's minor coordinate at a major coordinate.
double Ideal(int major, int a0, int b0, int a1, int b1) {
  return b0 + double(b1 - b0) * (major - a0) / (a1 - a0);
}

TEST(DisplaySurfaceTest, LinesAreSymmetricConnectedAndNearTheIdealLine) {
  DisplaySurface s;
  ASSERT_TRUE(s.Create(40, 40));
  for (int x2 = 0; x2 <= 16; ++x2) {
    for (int y2 = 0; y2 <= 16; ++y2) {
      const int x1 = 8, y1 = 8;
      const PixelSet forward = LinePixels(&s, x1, y1, x2 + 4, y2 + 4);
      const PixelSet backward = LinePixels(&s, x2 + 4, y2 + 4, x1, y1);
      ASSERT_EQ(forward, backward)
          << "(" << x1 << "," << y1 << ")-(" << x2 + 4 << "," << y2 + 4 << ")";
      const int dx = std::abs(x2 + 4 - x1), dy = std::abs(y2 + 4 - y1);
      ASSERT_EQ(static_cast<int>(forward.size()), std::max(dx, dy) + 1);
      ASSERT_TRUE(forward.count({x1, y1}) && forward.count({x2 + 4, y2 + 4}));
      for (const auto& [x, y] : forward) {
        // One pixel per major coordinate, within half a pixel of the ideal line (ties may go
        // either way).
        if (dx >= dy && dx > 0) {
          EXPECT_LE(std::fabs(y - Ideal(x, x1, y1, x2 + 4, y2 + 4)), 0.5) << x << "," << y;
        } else if (dy > 0) {
          EXPECT_LE(std::fabs(x - Ideal(y, y1, x1, y2 + 4, x2 + 4)), 0.5) << x << "," << y;
        }
      }
    }
  }
}

TEST(DisplaySurfaceTest, ShortLinesCoverEveryRemainderCase) {
  DisplaySurface s;
  ASSERT_TRUE(s.Create(20, 20));
  struct Case {
    int x1, y1, x2, y2;
    PixelSet pixels;
  };
  // Where the ideal line passes exactly between two pixels the lower one is taken.
  const Case cases[] = {
      {3, 3, 3, 3, {{3, 3}}},
      {0, 0, 1, 1, {{0, 0}, {1, 1}}},
      {0, 0, 2, 1, {{0, 0}, {1, 1}, {2, 1}}},
      {0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {0, 0, 4, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}},
      {0, 0, 5, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}},
      {0, 0, 4, 3, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 3}}},
      {0, 0, 5, 4, {{0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {5, 4}}},
      {0,
       0,
       10,
       3,
       {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}, {7, 2}, {8, 2}, {9, 3}, {10, 3}}},
      {0, 4, 4, 0, {{0, 4}, {1, 3}, {2, 2}, {3, 1}, {4, 0}}},
      {1, 0, 0, 3, {{1, 0}, {1, 1}, {0, 2}, {0, 3}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinePixels(&s, c.x1, c.y1, c.x2, c.y2), c.pixels)
        << "(" << c.x1 << "," << c.y1 << ")-(" << c.x2 << "," << c.y2 << ")";
    EXPECT_EQ(LinePixels(&s, c.x2, c.y2, c.x1, c.y1), c.pixels) << "reversed";
  }
  // A steep line is the mirror of its flat twin about the diagonal.
  PixelSet flat = LinePixels(&s, 0, 0, 10, 3), mirrored;
  for (const auto& [x, y] : flat) mirrored.insert({y, x});
  EXPECT_EQ(LinePixels(&s, 0, 0, 3, 10), mirrored);
}

TEST(DisplaySurfaceTest, RepaintedSpansKeepEveryPixelRight) {
  // Spans skip blocks that already hold their colour: random spans, pixels, clears and
  // stored pictures loaded in a few colours must leave the same bytes as writing every pixel
  // would.
  DisplaySurface s;
  ASSERT_TRUE(s.Create(53, 23));
  std::vector<uint8_t> model(53 * 23, kSlotBackground);
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    const uint8_t colour = static_cast<uint8_t>(random() % 3);
    s.SetColorIndex(colour, 0);
    const int y = static_cast<int>(random() % 23);
    const int a = static_cast<int>(random() % 60) - 3, b = static_cast<int>(random() % 60) - 3;
    switch (random() % 10) {
      case 0:
        s.DibSetPixel(a, y);
        if (a >= 0 && a < 53) model[y * 53 + a] = colour;
        break;
      case 1:
        if (step % 400 == 0) {
          s.Clear(colour);
          std::fill(model.begin(), model.end(), colour);
        }
        break;
      case 2:
        if (step % 300 == 0) {
          // A stored picture of up to the surface's size, in blocks of one colour and mixed.
          const int w = 1 + static_cast<int>(random() % 60),
                    h = 1 + static_cast<int>(random() % 30);
          std::vector<uint8_t> picture(size_t(w) * h);
          for (int i = 0; i < w * h; ++i) {
            picture[i] = static_cast<uint8_t>((i / w) % 4 == 0 ? random() % 3 : (i % w) / 16 % 3);
          }
          s.LoadPixels(picture.data(), w, w, h);
          for (int py = 0; py < std::min(h, 23); ++py) {
            for (int px = 0; px < std::min(w, 53); ++px) model[py * 53 + px] = picture[py * w + px];
          }
        }
        break;
      default:
        s.DibFillSpan(a, b, y);
        for (int x = std::max(std::min(a, b), 0); x <= std::min(std::max(a, b), 52); ++x) {
          model[y * 53 + x] = colour;
        }
    }
    for (int i = 0; i < 53 * 23; ++i) {
      ASSERT_EQ(s.Pixel(i % 53, i / 53), model[i]) << "step " << step << " pixel " << i;
    }
    // A box said to hold the colour holds it in every pixel.
    const int left = static_cast<int>(random() % 53), top = static_cast<int>(random() % 23);
    const int right = left + static_cast<int>(random() % 20),
              bottom = top + static_cast<int>(random() % 7);
    if (s.BoxHoldsColor(left, top, right, bottom)) {
      for (int y = top; y <= std::min(bottom, 22); ++y) {
        for (int x = left; x <= std::min(right, 52); ++x) {
          ASSERT_EQ(model[y * 53 + x], colour) << "step " << step;
        }
      }
    }
  }
  // Painted whole, the surface says so.
  s.SetColorIndex(2, 0);
  for (int y = 0; y < 23; ++y) s.DibFillSpan(0, 52, y);
  EXPECT_TRUE(s.BoxHoldsColor(0, 0, 52, 22));
  s.DibSetPixel(40, 3);
  s.SetColorIndex(1, 0);
  s.DibSetPixel(40, 3);
  s.SetColorIndex(2, 0);
  EXPECT_FALSE(s.BoxHoldsColor(33, 0, 47, 6));
  EXPECT_TRUE(s.BoxHoldsColor(0, 0, 31, 22));
  EXPECT_TRUE(s.BoxHoldsColor(33, 16, 47, 22));
}

TEST(DisplayPaletteTest, FixedColoursAndOneSlotPerCustomColour) {
  DisplayPalette palette;
  EXPECT_EQ(palette.color(kSlotWhite), 0xFFFFFFu);
  EXPECT_EQ(palette.color(2), 0x0000FFu);  // red
  EXPECT_EQ(palette.SlotForColor(0x00FF00), 3);
  EXPECT_EQ(palette.SlotForColor(0x123456), kFirstCustomSlot);
  EXPECT_EQ(palette.SlotForColor(0x654321), kFirstCustomSlot + 1);
  EXPECT_EQ(palette.SlotForColor(0x123456), kFirstCustomSlot) << "found again";
  // The background slot is not shared with a layer colour that happens to equal it.
  palette.DefineDisplayColor(kSlotBackground, 0x222222);
  EXPECT_EQ(palette.SlotForColor(0x222222), kFirstCustomSlot + 2);
  EXPECT_FALSE(palette.DefineDisplayColor(7, 0x111111));
  EXPECT_FALSE(palette.DefineDisplayColor(kFirstCustomSlot, 0x111111));
  const auto table = palette.ArgbTable();
  EXPECT_EQ(table[2], 0xFFFF0000u);
  EXPECT_EQ(table[kFirstCustomSlot], 0xFF563412u);
  // Once every custom slot is taken, further colours share the scratch slot.
  for (int i = 0; i < 300; ++i) palette.SlotForColor(0x010000 + i);
  EXPECT_EQ(palette.custom_slots_used(), kPaletteSize - kFirstCustomSlot);
  EXPECT_EQ(palette.SlotForColor(0x777777), kSlotScratch);
  EXPECT_EQ(palette.color(kSlotScratch), 0x777777u);
}

TEST(DisplayPaletteTest, SlotsOfColoursNoLongerClaimedAreGivenBack) {
  DisplayPalette palette;
  const int kept = palette.SlotForColor(0x112233);
  const auto claimed = [](DisplayColor colour) { return colour == 0x112233; };
  // Three hundred colours, each given up before the next: the slots come round again and
  // the colour still claimed keeps its slot.
  for (int i = 0; i < 300; ++i) {
    const DisplayColor colour = 0x010000 + i;
    const int slot = palette.SlotForColor(colour);
    ASSERT_GE(slot, kFirstCustomSlot) << i;
    ASSERT_NE(slot, kept) << i;
    EXPECT_EQ(palette.color(slot), colour);
    EXPECT_EQ(palette.ReleaseUnclaimedSlots(claimed), 1) << i;
  }
  EXPECT_EQ(palette.color(kept), 0x112233u);
  EXPECT_EQ(palette.custom_slots_used(), 1);
  // A colour given back finds its slot again while no other colour took it.
  const int last = palette.SlotForColor(0x010000 + 299);
  EXPECT_EQ(palette.color(last), DisplayColor(0x010000 + 299));
  EXPECT_EQ(palette.custom_slots_used(), 2);
  palette.ReleaseUnclaimedSlots(claimed);
  EXPECT_EQ(palette.SlotForColor(0x445566), last) << "a slot given back is taken first";
  EXPECT_EQ(palette.color(kept), 0x112233u);
}

TEST(DisplayPaletteTest, ChoosingAColourNeverRecoloursWhatWasDrawnBefore) {
  DisplayPalette palette;
  DisplaySurface s;
  ASSERT_TRUE(s.Create(8, 2));
  s.SelectColorPen(palette, 0x102030);
  const uint8_t first = s.color_index();
  s.DibFillSpan(0, 3, 0);
  const uint32_t version = palette.version();
  s.SelectColorPen(palette, 0x102030);
  EXPECT_EQ(palette.version(), version) << "the same colour twice selects nothing";
  s.SelectColorPen(palette, 0x405060);
  EXPECT_NE(s.color_index(), first);
  s.DibFillSpan(4, 7, 0);
  const auto table = palette.ArgbTable();
  EXPECT_EQ(table[s.Pixel(0, 0)], 0xFF302010u);
  EXPECT_EQ(table[s.Pixel(7, 0)], 0xFF605040u);
}

}  // namespace
}  // namespace kavrinth
