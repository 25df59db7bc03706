// Shared by the element and redraw tests: a display of 104 x 84 pixels whose view shows the
// world box (0, 0)-(100, 80) one unit per pixel, libraries built in the test, and a host
// that records what a redraw asks of its window and can press Cancel.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "viewer/display/viewer_display.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {

using PixelSet = std::set<std::pair<int, int>>;

class RecordingHost : public DrawHost {
 public:
  void DeliverInput() override {
    ++inputs;
    if (on_input) on_input(inputs);
  }
  void ShowStatus(std::string_view text) override { status.emplace_back(text); }
  void ShowSurface() override { ++shown; }
  void SetWaitCursor(bool on) override { wait_cursor.push_back(on); }

  int inputs = 0;
  int shown = 0;
  std::vector<std::string> status;
  std::vector<bool> wait_cursor;
  std::function<void(int)> on_input;
};

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetViewerModel();
    ASSERT_TRUE(display_.ResizeOffscreenSurface(104, 84));
    display_.palette.DefineDisplayColor(kSlotBackground, 0x000000);
    display_.window.ZoomToRect({0, 0, 100, 80}, 1000);
    ASSERT_DOUBLE_EQ(display_.window.scale(), 1.0);
  }
  void TearDown() override {
    display_.ResetFrameCache();
    ResetViewerModel();
  }

  // World (x, y) lands on pixel (x + 2, 82 - y).
  static std::pair<int, int> Pixel(int x, int y) { return {x + 2, 82 - y}; }

  // A library with one structure whose elements `body` writes.
  static GdxHandle Library(const std::function<void()>& body) {
    GdxBeginLibrary("test");
    GdxSetUnits(0.001, 1e-9);
    GdxStartStructure();
    GdxBeginStructure("TOP");
    body();
    GdxEndStructure();
    return GdxEndLibrary();
  }

  static void Boundary(int32_t layer, std::vector<GdxWord> points) {
    GdxSetLayer(layer);
    GdxBeginBoundary();
    GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size()));
    GdxEndElement();
  }

  // A rectangle flash (x0, y0)-(x1, y1), closed.
  static void Rectangle(int32_t layer, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Boundary(layer, {x0, y0, x1, y0, x1, y1, x0, y1, x0, y0});
  }

  // Enters a loaded layer into the table.
  static void Enter(int layer, GdxHandle library, DisplayColor colour, int mode = kFillPaint) {
    ViewLayerEntry& entry = LayerTable()[layer];
    entry.path = "layer" + std::to_string(layer) + ".pg";
    entry.shown = 1;
    entry.colour = colour;
    entry.fill_mode = mode;
    entry.library = library;
  }

  // Pixels of the surface holding the index.
  PixelSet WithIndex(int index) const {
    PixelSet set;
    const DisplaySurface& s = display_.surface;
    for (int y = 0; y < s.height(); ++y) {
      for (int x = 0; x < s.width(); ++x) {
        if (s.Pixel(x, y) == index) set.insert({x, y});
      }
    }
    return set;
  }

  // Pixels of the surface that show the colour.
  PixelSet InColour(DisplayColor colour) const {
    PixelSet set;
    const DisplaySurface& s = display_.surface;
    for (int y = 0; y < s.height(); ++y) {
      for (int x = 0; x < s.width(); ++x) {
        if (display_.palette.color(s.Pixel(x, y)) == colour) set.insert({x, y});
      }
    }
    return set;
  }

  // The pixels of a world box, both ends included.
  static PixelSet Box(int x0, int y0, int x1, int y1) {
    PixelSet set;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) set.insert(Pixel(x, y));
    }
    return set;
  }

  FakeViewerServices services_;
  ScopedViewerServices scoped_services_{&services_};
  ViewerDisplay display_;
};

}  // namespace kavrinth
