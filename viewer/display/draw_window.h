// The drawing window's state: world, logical and device coordinates, the zoom history of
// ten views, the scroll geometry, clipping to the view, grid snapping and coordinate text.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "support/run_program.h"
#include "viewer/model/gdx_database.h"

namespace kavrinth {

// A point in logical (device) pixels, x to the right, y downward.
struct LogicalPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const LogicalPoint&) const = default;
};

// One view of the history: the base position and size of its top-left corner and the
// display mode that was current when it was stored.
struct ZoomView {
  int32_t x = 0;
  int32_t y = 0;
  int32_t w = 0;
  int32_t h = 0;
  int32_t display_mode = 1;
  bool operator==(const ZoomView&) const = default;
};

// Flags of ZoomCommand.
enum ZoomFlags : int {
  kZoomKeepWindow = 1,  // leave offsets and the world window to the redraw that follows
  kZoomKeepScale = 2,
  kZoomFit = 4,
  kZoomAll = 8,
  kZoomRefit = 16,
};

// Command ids that store the current view in the history before they change it; the
// scroll codes 0 to 7 do too.
enum DrawCommandId : int32_t {
  kCommandZoomWindow = 8204,
  kCommandZoomIn = 8206,
  kCommandZoomOut = 8207,
  kCommandRedraw = 8208,
  kCommandPan = 8270,
};

// Scroll-bar codes as the scroll messages carry them: the support library's requests
// (kScrollLineUp to kScrollBottom, 0 to 7) and end-of-scroll.
inline constexpr int kScrollEnd = kScrollEndScroll;

inline constexpr int kZoomHistorySize = 10;
inline constexpr int kCaptureSlots = 10;
// The larger side of a layout spans at most this many base units.
inline constexpr double kBaseSpan = 800000.0;
// Zoom out stops before twice the view reaches this many base units.
inline constexpr int64_t kZoomOutLimit = 3250000;
// Pixels per base unit at the deepest zoom: far below where logical coordinates of any
// world point could leave the range the drawing code works in.
inline constexpr double kMaxZoom = 65536.0;
// Logical coordinates handed to the drawing code lie within plus or minus this value.
inline constexpr int32_t kLogicalLimit = 1 << 28;

// Rounds half away from zero, holding the result within plus or minus `limit`.
int32_t RoundClamped(double value, double limit = 2147483647.0);

// The view rectangle, all four bounds inclusive.
struct ViewRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = -1;
  int32_t bottom = -1;
  bool Contains(int32_t x, int32_t y) const {
    return x >= left && x <= right && y >= top && y <= bottom;
  }
};

// Clips the segment a-b to the rectangle (Cohen-Sutherland, bounds inclusive, intersections
// truncated). The end points are taken in one canonical order, so that a segment clips to
// the same pixels whichever end it starts from. True with the clipped ends in a and b (in
// their original order) when some of it lies inside.
bool ClipSegmentToRect(const ViewRect& rect, LogicalPoint* a, LogicalPoint* b);
// The same against the rectangle's top and bottom rows only.
bool ClipSegmentToRows(const ViewRect& rect, LogicalPoint* a, LogicalPoint* b);

// Grid snapping: the spacing in world units, or 0 when snapping is off.
int32_t GridSpacingFromText(std::string_view text, int32_t units_per_user_unit);
// The nearest multiple of the spacing, halves away from zero (64-bit, saturated).
int32_t SnapToGrid(int32_t value, int32_t spacing);

class DrawWndState {
 public:
  DrawWndState();

  // ---- Geometry ----
  // The window form: a client area of this size; refits the current view.
  void UpdateViewGeometry(int32_t client_width, int32_t client_height);
  // The page form (printing): a virtual page with no view size.
  void SetPageForm();
  // The outer window size, for turning a cursor on a scroll bar into a position.
  void SetFrameGeometry(int32_t window_width, int32_t window_height);

  // ---- Zoom ----
  void ZoomToRect(GdxRect world, int32_t divisor);
  // Forgets the view (nothing loaded): zoom steps do nothing until the next ZoomToRect.
  void ResetView() { history_index_ = -1, history_count_ = 0; }
  void ZoomCommand(int flags);
  void PushZoomHistory(int32_t command_id);
  // The zoom steps of the drawing window: true when the view changed (a redraw follows).
  bool ZoomWindow(int32_t left, int32_t top, int32_t width, int32_t height);
  bool ZoomIn(LogicalPoint click);
  bool ZoomOut(LogicalPoint click);
  bool Pan(LogicalPoint from, LogicalPoint to);
  bool ZoomAll();
  bool ZoomLast();
  bool ZoomToWorldBox(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
  // Makes a stored view (a captured one) with its display mode the current view, refitted
  // to the window as it is now; false when there is no view.
  bool RestoreView(const ZoomView& view);

  // ---- Scrolling ----
  // A scroll message of the horizontal (vertical = false) or vertical bar with its
  // position; true when the view moved (a redraw follows at end-of-scroll).
  bool Scroll(bool vertical, int code, int64_t position);
  // The scroll position for a cursor at `cursor` pixels along a bar of the given track
  // length (64-bit; a track too short to move keeps the current position).
  int64_t ScrollPositionFromCursor(bool vertical, int64_t cursor) const;
  // The position the scroll bar shows for the current view.
  int32_t ScrollPosition(bool vertical) const;
  int32_t ScrollMinimum(bool vertical) const { return vertical ? v_min_ : h_min_; }
  int32_t ScrollMaximum(bool vertical) const { return vertical ? v_max_ : h_max_; }
  // Moves the view to the extent's top-left and resets both bars.
  void SetScrollRanges(bool reset);

  // ---- Conversions ----
  // n > 0: repeated logical points are dropped; n < 0: |n| points, none dropped. Returns the
  // number written. Results are held within plus or minus kLogicalLimit.
  int WorldToLogical(const GdxWord* world, LogicalPoint* out, int n) const;
  LogicalPoint WorldToLogical(int32_t x, int32_t y) const;
  // Logical coordinates of a world point as doubles, not rounded.
  double WorldToLogicalX(double x) const { return x * scale_ - offset_x_; }
  double WorldToLogicalY(double y) const { return -y * scale_ - offset_y_; }
  void LogicalToWorld(LogicalPoint p, int32_t* x, int32_t* y) const;
  int32_t WorldLengthToLogical(int32_t length) const;
  int32_t LogicalLengthToWorld(int32_t length) const;
  bool PointInView(LogicalPoint p) const { return view_.Contains(p.x, p.y); }
  bool PointInClient(int32_t x, int32_t y) const;
  bool ClipSegmentToView(LogicalPoint* a, LogicalPoint* b) const {
    return ClipSegmentToRect(view_, a, b);
  }
  bool ClipSegmentVertically(LogicalPoint* a, LogicalPoint* b) const {
    return ClipSegmentToRows(view_, a, b);
  }

  // ---- Coordinate text and snapping ----
  // The value in displayed units: "-12.345" for -12345 with divisor 1000; empty for 0.
  std::string FormatCoord(int32_t value) const;
  void SetGridSnap(bool on, int32_t spacing);
  bool grid_snap() const { return grid_snap_ && grid_spacing_ > 0; }
  int32_t grid_spacing() const { return grid_spacing_; }
  // Replaces a logical point by the logical position of its nearest grid point when grid
  // snap is on; the snapped world point is kept (snapped_world_x/y).
  LogicalPoint SnapPoint(LogicalPoint p);
  int32_t snapped_world_x() const { return snapped_x_; }
  int32_t snapped_world_y() const { return snapped_y_; }

  // ---- Cancel ----
  // The running redraw stops at its next check once the counter moved.
  void RequestCancel() { ++cancel_counter_; }
  void ClearCancel() { cancel_counter_ = 0; }
  bool cancelled() const { return cancel_counter_ != 0; }

  // ---- Values ----
  bool has_view() const { return history_index_ >= 0; }
  double base() const { return base_; }
  double zoom() const { return zoom_; }
  double scale() const { return scale_; }
  double offset_x() const { return offset_x_; }
  double offset_y() const { return offset_y_; }
  const ViewRect& view() const { return view_; }
  int32_t view_width() const { return view_width_; }
  int32_t view_height() const { return view_height_; }
  int32_t client_width() const { return client_width_; }
  int32_t client_height() const { return client_height_; }
  int32_t inset() const { return inset_; }
  const GdxRect& world_window() const { return world_window_; }
  const GdxRect& base_extent() const { return base_extent_; }
  int32_t divisor() const { return divisor_; }
  int history_index() const { return history_index_; }
  int history_count() const { return history_count_; }
  const ZoomView& history(int i) const { return history_[i]; }
  const ZoomView& current_view() const { return history_[history_index_ < 0 ? 0 : history_index_]; }
  int32_t display_mode() const { return display_mode_; }
  void set_display_mode(int32_t mode) { display_mode_ = mode; }
  std::array<ZoomView, kCaptureSlots>& capture_views() { return capture_views_; }

 private:
  ZoomView& Current() { return history_[history_index_]; }
  bool CanZoom() const;
  void Fit(ZoomView* e);
  void WorldWindowFromView(const ZoomView& e);
  // Keeps a moved position within the scroll range of its axis.
  int32_t ClampMove(int64_t moved, int32_t old, bool vertical) const;

  int32_t inset_ = 2;
  ViewRect view_;
  int32_t view_width_ = 0;
  int32_t view_height_ = 0;
  int32_t client_width_ = 0;
  int32_t client_height_ = 0;
  int32_t frame_thickness_ = 0;
  int32_t h_track_ = 0;
  int32_t v_track_ = 0;
  double base_ = 1.0;
  double zoom_ = 1.0;
  double scale_ = 1.0;
  double offset_x_ = 0.0;
  double offset_y_ = 0.0;
  GdxRect base_extent_;
  int32_t origin_x_ = 0;
  int32_t origin_y_ = 0;
  int32_t h_min_ = 0;
  int32_t h_max_ = 0;
  int32_t v_min_ = 0;
  int32_t v_max_ = 0;
  std::array<ZoomView, kZoomHistorySize> history_{};
  int history_index_ = -1;
  int history_count_ = 0;
  std::array<ZoomView, kCaptureSlots> capture_views_{};
  GdxRect world_window_;
  int last_flags_ = 0;
  int32_t divisor_ = 1000;
  int32_t display_mode_ = 1;
  bool grid_snap_ = false;
  int32_t grid_spacing_ = 1;
  int32_t snapped_x_ = 0;
  int32_t snapped_y_ = 0;
  int32_t cancel_counter_ = 0;
};

}  // namespace kavrinth
