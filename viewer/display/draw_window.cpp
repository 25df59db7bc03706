// The drawing window's coordinate mapping, zoom history and scrolling.
#include "viewer/display/draw_window.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace kavrinth {
namespace {

constexpr double kInt32Max = 2147483647.0;

int32_t Truncated(double value) {
  if (!(value > -kInt32Max)) return -2147483647;
  return value < kInt32Max ? static_cast<int32_t>(value) : 2147483647;
}

int32_t Saturated(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, -2147483647, 2147483647));
}

// Outcode bits of Cohen-Sutherland: 1 left, 2 top, 4 right, 8 bottom.
int Outcode(const ViewRect& r, int64_t x, int64_t y, bool rows_only) {
  int code = 0;
  if (!rows_only && x < r.left) code |= 1;
  if (y < r.top) code |= 2;
  if (!rows_only && x > r.right) code |= 4;
  if (y > r.bottom) code |= 8;
  return code;
}

bool ClipSegment(const ViewRect& r, LogicalPoint* a, LogicalPoint* b, bool rows_only) {
  // A canonical order makes the clipped ends independent of the segment's direction.
  const bool swapped = std::pair(b->x, b->y) < std::pair(a->x, a->y);
  int64_t x0 = swapped ? b->x : a->x, y0 = swapped ? b->y : a->y;
  int64_t x1 = swapped ? a->x : b->x, y1 = swapped ? a->y : b->y;
  int c0 = Outcode(r, x0, y0, rows_only);
  int c1 = Outcode(r, x1, y1, rows_only);
  while (c0 | c1) {
    if (c0 & c1) return false;
    const bool first = c0 != 0;
    const int code = first ? c0 : c1;
    int64_t x = 0, y = 0;
    // Products of two 33-bit differences need 128 bits.
    auto along = [](int64_t a0, int64_t a1, int64_t b0, int64_t b1, int64_t b) {
      return static_cast<int64_t>(a0 + __int128{a1 - a0} * (b - b0) / (b1 - b0));
    };
    if (code & 1) {
      x = r.left;
      y = along(y0, y1, x0, x1, x);
    } else if (code & 2) {
      y = r.top;
      x = along(x0, x1, y0, y1, y);
    } else if (code & 4) {
      x = r.right;
      y = along(y0, y1, x0, x1, x);
    } else {
      y = r.bottom;
      x = along(x0, x1, y0, y1, y);
    }
    if (first) {
      x0 = x, y0 = y, c0 = Outcode(r, x0, y0, rows_only);
    } else {
      x1 = x, y1 = y, c1 = Outcode(r, x1, y1, rows_only);
    }
  }
  const LogicalPoint p0{static_cast<int32_t>(x0), static_cast<int32_t>(y0)};
  const LogicalPoint p1{static_cast<int32_t>(x1), static_cast<int32_t>(y1)};
  *a = swapped ? p1 : p0;
  *b = swapped ? p0 : p1;
  return true;
}

}  // namespace

int32_t RoundClamped(double value, double limit) {
  if (std::isnan(value)) return 0;
  const double rounded = value >= 0 ? value + 0.5 : value - 0.5;
  if (rounded >= limit) return static_cast<int32_t>(limit);
  if (rounded <= -limit) return static_cast<int32_t>(-limit);
  return static_cast<int32_t>(rounded);
}

bool ClipSegmentToRect(const ViewRect& rect, LogicalPoint* a, LogicalPoint* b) {
  return ClipSegment(rect, a, b, false);
}

bool ClipSegmentToRows(const ViewRect& rect, LogicalPoint* a, LogicalPoint* b) {
  return ClipSegment(rect, a, b, true);
}

int32_t GridSpacingFromText(std::string_view text, int32_t units_per_user_unit) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return 0;
  const double spacing = std::trunc(value * units_per_user_unit);
  // Below one database unit there is no grid to snap to.
  if (!(spacing >= 1.0)) return 0;
  return spacing < kInt32Max ? static_cast<int32_t>(spacing) : 2147483647;
}

int32_t SnapToGrid(int32_t value, int32_t spacing) {
  if (spacing <= 0) return value;
  const int64_t half = spacing / 2;
  const int64_t shifted = value >= 0 ? int64_t{value} + half : int64_t{value} - half;
  return Saturated(shifted / spacing * spacing);
}

DrawWndState::DrawWndState() {
  world_window_ = GdxRect{0, 0, 1000, 1000};
  base_extent_ = GdxRect{0, 0, 0, 0};
}

// ---- Geometry ----

void DrawWndState::UpdateViewGeometry(int32_t client_width, int32_t client_height) {
  client_width_ = std::max(client_width, 0);
  client_height_ = std::max(client_height, 0);
  view_width_ = std::max(client_width_ - 2 * inset_, 0);
  view_height_ = std::max(client_height_ - 2 * inset_, 0);
  view_ = ViewRect{inset_, inset_, client_width_ - inset_, client_height_ - inset_};
  ZoomCommand(kZoomRefit);
}

void DrawWndState::SetPageForm() {
  view_ = ViewRect{inset_, inset_, 800000, 800000};
  view_width_ = view_height_ = 0;
  zoom_ = 1.0;
  scale_ = base_;
  offset_x_ = base_extent_.min_x;
  offset_y_ = base_extent_.min_y;
}

void DrawWndState::SetFrameGeometry(int32_t window_width, int32_t window_height) {
  frame_thickness_ = std::max(window_height - client_height_, 0);
  h_track_ = window_width - 2 * frame_thickness_;
  v_track_ = window_height - 2 * frame_thickness_;
}

// ---- Zoom ----

bool DrawWndState::CanZoom() const {
  return history_index_ >= 0 && view_width_ > 0 && view_height_ > 0;
}

void DrawWndState::WorldWindowFromView(const ZoomView& e) {
  world_window_.min_x = Truncated(e.x / base_);
  world_window_.max_x = Truncated((double(e.x) + e.w) / base_);
  world_window_.min_y = Truncated(-(double(e.y) + e.h) / base_);
  world_window_.max_y = Truncated(-double(e.y) / base_);
}

void DrawWndState::ZoomToRect(GdxRect world, int32_t divisor) {
  divisor_ = divisor;
  // A box is taken with its corners in order; one narrower than a unit is widened to one,
  // so that the fit never divides by zero.
  if (world.min_x > world.max_x) std::swap(world.min_x, world.max_x);
  if (world.min_y > world.max_y) std::swap(world.min_y, world.max_y);
  if (world.max_x == world.min_x) {
    world.max_x < 2147483647 ? ++world.max_x : --world.min_x;
  }
  if (world.max_y == world.min_y) {
    world.max_y < 2147483647 ? ++world.max_y : --world.min_y;
  }
  const double width = double(world.max_x) - world.min_x;
  const double height = double(world.max_y) - world.min_y;
  const double extent = width > height ? width : height;
  base_ = std::min(kBaseSpan / extent, 1.0);
  scale_ = zoom_ * base_;
  world_window_ = world;
  offset_x_ = world.min_x * base_;
  offset_y_ = -double(world.max_y) * base_;
  base_extent_.min_x = RoundClamped(world.min_x * base_);
  base_extent_.min_y = RoundClamped(-double(world.max_y) * base_);
  base_extent_.max_x = std::max(RoundClamped(world.max_x * base_), base_extent_.min_x + 1);
  base_extent_.max_y = std::max(RoundClamped(-double(world.min_y) * base_), base_extent_.min_y + 1);
  origin_x_ = RoundClamped(offset_x_);
  origin_y_ = RoundClamped(offset_y_);
  offset_x_ *= zoom_;
  offset_y_ *= zoom_;
  history_index_ = 0;
  history_count_ = 0;
  ZoomView& e = history_[0];
  e = ZoomView{base_extent_.min_x, base_extent_.min_y, base_extent_.max_x - base_extent_.min_x,
               base_extent_.max_y - base_extent_.min_y, display_mode_};
  h_min_ = Saturated(int64_t{base_extent_.min_x} - origin_x_ - e.w);
  h_max_ = Saturated(int64_t{base_extent_.max_x} - origin_x_);
  v_min_ = Saturated(int64_t{base_extent_.min_y} - origin_y_ - e.h);
  v_max_ = Saturated(int64_t{base_extent_.max_y} - origin_y_);
  ZoomCommand(kZoomRefit);
}

void DrawWndState::Fit(ZoomView* e) {
  e->w = std::max(e->w, 1);
  e->h = std::max(e->h, 1);
  const double zx = double(view_width_) / e->w;
  const double zy = double(view_height_) / e->h;
  if (zx >= zy) {
    zoom_ = zy;
    e->w = Truncated(view_width_ / zy);
  } else {
    zoom_ = zx;
    e->h = Truncated(view_height_ / zx);
  }
  if (zoom_ > kMaxZoom) {
    zoom_ = kMaxZoom;
    e->w = std::max(Truncated(view_width_ / zoom_), 1);
    e->h = std::max(Truncated(view_height_ / zoom_), 1);
  }
}

void DrawWndState::ZoomCommand(int flags) {
  if (view_width_ <= 0 || view_height_ <= 0) return;
  if (flags != 0) last_flags_ = flags;
  // Nothing is shown before the first fit: no view to zoom.
  if (history_index_ < 0) return;
  ZoomView& e = Current();
  if (flags & kZoomAll) {
    e.x = base_extent_.min_x;
    e.y = base_extent_.min_y;
    e.w = base_extent_.max_x - base_extent_.min_x;
    e.h = base_extent_.max_y - base_extent_.min_y;
    WorldWindowFromView(e);
    flags = kZoomFit | kZoomKeepWindow;
  }
  if (flags & (kZoomFit | kZoomRefit)) {
    Fit(&e);
    scale_ = base_ * zoom_;
    if (flags & kZoomKeepWindow) WorldWindowFromView(e);
  } else if (flags & kZoomKeepScale) {
    e.w = std::max(Truncated(view_width_ / zoom_), 1);
    e.h = std::max(Truncated(view_height_ / zoom_), 1);
    scale_ = base_ * zoom_;
    if (flags & kZoomKeepWindow) WorldWindowFromView(e);
  }
  if (!(flags & kZoomKeepWindow) || flags == (kZoomFit | kZoomKeepWindow)) {
    // Zoom all, last and recall leave this to the redraw that follows; doing it here keeps
    // the conversions right for anyone who draws first.
    offset_x_ = e.x * zoom_ - inset_;
    offset_y_ = e.y * zoom_ - inset_;
    WorldWindowFromView(e);
  }
}

void DrawWndState::PushZoomHistory(int32_t command_id) {
  const bool scroll = command_id >= 0 && command_id <= 7;
  if (!scroll && command_id != kCommandZoomWindow && command_id != kCommandZoomIn &&
      command_id != kCommandZoomOut && command_id != kCommandPan) {
    return;
  }
  if (history_index_ < 0) return;
  const int next = (history_index_ + 1) % kZoomHistorySize;
  history_[next] = history_[history_index_];
  history_index_ = next;
  history_count_ = std::min(history_count_ + 1, kZoomHistorySize);
}

bool DrawWndState::ZoomWindow(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (!CanZoom()) return false;
  int64_t w = width, h = height;
  if (w < 0) left = Saturated(int64_t{left} + w), w = -w;
  if (h < 0) top = Saturated(int64_t{top} + h), h = -h;
  if (w * 100 < client_width_ || h * 100 < client_height_) return false;
  PushZoomHistory(kCommandZoomWindow);
  ZoomView& e = Current();
  e.x = Truncated((left + offset_x_) / zoom_);
  e.y = Truncated((top + offset_y_) / zoom_);
  e.w = std::max(Truncated(w / zoom_), 1);
  e.h = std::max(Truncated(h / zoom_), 1);
  ZoomCommand(kZoomFit);
  return true;
}

bool DrawWndState::ZoomIn(LogicalPoint click) {
  if (!CanZoom()) return false;
  const ZoomView& c = Current();
  if (c.w * zoom_ * 100 < client_width_ || c.h * zoom_ * 100 < client_height_) return false;
  // A view of one base unit, or the deepest zoom, cannot be halved again.
  if (c.w < 2 || c.h < 2 || zoom_ * 2.0 > kMaxZoom) return false;
  PushZoomHistory(kCommandZoomIn);
  ZoomView& e = Current();
  e.w /= 2;
  e.x = Truncated((click.x + offset_x_) / zoom_ - e.w / 2);
  e.h /= 2;
  e.y = Truncated((click.y + offset_y_) / zoom_ - e.h / 2);
  zoom_ *= 2.0;
  ZoomCommand(kZoomKeepScale);
  return true;
}

bool DrawWndState::ZoomOut(LogicalPoint click) {
  if (!CanZoom()) return false;
  const ZoomView& c = Current();
  if (2 * int64_t{c.w} >= kZoomOutLimit || 2 * int64_t{c.h} >= kZoomOutLimit) return false;
  PushZoomHistory(kCommandZoomOut);
  ZoomView& e = Current();
  e.x = Truncated((click.x + offset_x_) / zoom_ - e.w);
  e.w *= 2;
  e.y = Truncated((click.y + offset_y_) / zoom_ - e.h);
  e.h *= 2;
  zoom_ /= 2.0;
  ZoomCommand(kZoomKeepScale);
  return true;
}

int32_t DrawWndState::ClampMove(int64_t moved, int32_t old, bool vertical) const {
  const int64_t origin = vertical ? origin_y_ : origin_x_;
  const int64_t low = int64_t{vertical ? v_min_ : h_min_} + origin;
  const int64_t high = int64_t{vertical ? v_max_ : h_max_} + origin;
  if (moved < old) moved = std::max(moved, std::min(low, int64_t{old}));
  if (moved > old) moved = std::min(moved, std::max(high, int64_t{old}));
  return Saturated(moved);
}

bool DrawWndState::Pan(LogicalPoint from, LogicalPoint to) {
  if (!CanZoom()) return false;
  PushZoomHistory(kCommandPan);
  ZoomView& e = Current();
  e.x = ClampMove(e.x + int64_t{Truncated((double(from.x) - to.x) / zoom_)}, e.x, false);
  e.y = ClampMove(e.y + int64_t{Truncated((double(from.y) - to.y) / zoom_)}, e.y, true);
  ZoomCommand(0);
  return true;
}

bool DrawWndState::ZoomAll() {
  if (!CanZoom()) return false;
  ZoomCommand(kZoomAll);
  return true;
}

bool DrawWndState::ZoomLast() {
  if (!CanZoom() || history_count_ <= 0) return false;
  const int32_t mode = Current().display_mode;
  history_index_ = (history_index_ + history_count_ - 1) % history_count_;
  Current().display_mode = mode;
  ZoomCommand(kZoomFit | kZoomKeepWindow);
  return true;
}

bool DrawWndState::RestoreView(const ZoomView& view) {
  if (!CanZoom() || view.w <= 0 || view.h <= 0) return false;
  Current() = view;
  ZoomCommand(kZoomRefit);
  return true;
}

bool DrawWndState::ZoomToWorldBox(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (!CanZoom()) return false;
  PushZoomHistory(kCommandZoomWindow);
  const LogicalPoint p0 = WorldToLogical(std::min(x0, x1), std::max(y0, y1));
  const LogicalPoint p1 = WorldToLogical(std::max(x0, x1), std::min(y0, y1));
  ZoomView& e = Current();
  e.x = Truncated((p0.x + offset_x_) / zoom_);
  e.y = Truncated((p0.y + offset_y_) / zoom_);
  e.w = std::max(Truncated((double(p1.x) - p0.x) / zoom_), 1);
  e.h = std::max(Truncated((double(p1.y) - p0.y) / zoom_), 1);
  ZoomCommand(kZoomFit);
  return true;
}

// ---- Scrolling ----

int64_t DrawWndState::ScrollPositionFromCursor(bool vertical, int64_t cursor) const {
  const int64_t track = vertical ? v_track_ : h_track_;
  const int64_t low = vertical ? v_min_ : h_min_;
  const int64_t high = vertical ? v_max_ : h_max_;
  if (track <= 0) return ScrollPosition(vertical);
  const int64_t p = std::clamp<int64_t>(cursor - frame_thickness_, 0, track);
  return low + p * (high - low) / track;
}

int32_t DrawWndState::ScrollPosition(bool vertical) const {
  if (history_index_ < 0) return 0;
  const ZoomView& e = history_[history_index_];
  return Saturated(vertical ? int64_t{e.y} - origin_y_ : int64_t{e.x} - origin_x_);
}

bool DrawWndState::Scroll(bool vertical, int code, int64_t position) {
  if (!CanZoom() || code < static_cast<int>(kScrollLineUp) || code > kScrollEnd) return false;
  if (code == kScrollEnd) return true;
  PushZoomHistory(code);
  ZoomView& e = Current();
  int32_t& at = vertical ? e.y : e.x;
  const int32_t size = vertical ? e.h : e.w;
  const int64_t origin = vertical ? origin_y_ : origin_x_;
  const int64_t low = int64_t{vertical ? v_min_ : h_min_} + origin;
  const int64_t high = int64_t{vertical ? v_max_ : h_max_} + origin;
  switch (code) {
    case kScrollLineUp:
      at = ClampMove(int64_t{at} - size / 10, at, vertical);
      break;
    case kScrollLineDown:
      at = ClampMove(int64_t{at} + size / 10, at, vertical);
      break;
    case kScrollPageUp:
      at = ClampMove(int64_t{at} - size, at, vertical);
      break;
    case kScrollPageDown:
      at = ClampMove(int64_t{at} + size, at, vertical);
      break;
    case kScrollThumbPosition:
      at = Saturated(std::clamp(position + origin, low, std::max(low, high)));
      break;
    case kScrollThumbTrack:
      at = Saturated(position + origin);
      break;
    default:  // top and bottom
      at = vertical ? base_extent_.min_y : base_extent_.min_x;
      break;
  }
  ZoomCommand(0);
  return true;
}

void DrawWndState::SetScrollRanges(bool reset) {
  if (!reset || history_index_ < 0) return;
  ZoomView& e = Current();
  e.x = base_extent_.min_x;
  e.y = base_extent_.min_y;
  ZoomCommand(0);
}

// ---- Conversions ----

LogicalPoint DrawWndState::WorldToLogical(int32_t x, int32_t y) const {
  return LogicalPoint{RoundClamped(x * scale_ - offset_x_, kLogicalLimit),
                      RoundClamped(-double(y) * scale_ - offset_y_, kLogicalLimit)};
}

int DrawWndState::WorldToLogical(const GdxWord* world, LogicalPoint* out, int n) const {
  const bool keep_all = n < 0;
  const int count = keep_all ? -n : n;
  int written = 0;
  for (int i = 0; i < count; ++i) {
    const LogicalPoint p = WorldToLogical(world[2 * i], world[2 * i + 1]);
    if (!keep_all && written > 0 && out[written - 1] == p) continue;
    out[written++] = p;
  }
  return written;
}

void DrawWndState::LogicalToWorld(LogicalPoint p, int32_t* x, int32_t* y) const {
  *x = RoundClamped((p.x + offset_x_) / scale_);
  *y = RoundClamped(-(p.y + offset_y_) / scale_);
}

int32_t DrawWndState::WorldLengthToLogical(int32_t length) const {
  return RoundClamped(length * scale_, kLogicalLimit);
}

int32_t DrawWndState::LogicalLengthToWorld(int32_t length) const {
  return RoundClamped(length / scale_);
}

bool DrawWndState::PointInClient(int32_t x, int32_t y) const {
  return x >= 2 && x < client_width_ - 3 && y >= 2 && y < client_height_ - 3;
}

// ---- Text and snapping ----

std::string DrawWndState::FormatCoord(int32_t value) const {
  if (divisor_ <= 0) return {};
  int64_t v = value;
  const bool negative = v < 0;
  if (negative) v = -v;
  int64_t p = 1;
  int digits = 0;
  while (p < divisor_) p *= 10, ++digits;
  const int64_t whole = v / divisor_;
  const int64_t fraction = ((v % divisor_) * p * 2 + divisor_) / (2 * divisor_) % p;
  char text[64];
  digits = std::min(digits, 10);
  if (digits == 0) {
    std::snprintf(text, sizeof text, "%s%lld.", negative ? "-" : "", static_cast<long long>(whole));
  } else {
    std::snprintf(text, sizeof text, "%s%lld.%0*lld", negative ? "-" : "",
                  static_cast<long long>(whole), digits, static_cast<long long>(fraction));
  }
  return text;
}

void DrawWndState::SetGridSnap(bool on, int32_t spacing) {
  grid_snap_ = on;
  grid_spacing_ = spacing > 0 ? spacing : 0;
}

LogicalPoint DrawWndState::SnapPoint(LogicalPoint p) {
  if (!grid_snap() || scale_ <= 0) return p;
  int32_t x = 0, y = 0;
  LogicalToWorld(p, &x, &y);
  snapped_x_ = SnapToGrid(x, grid_spacing_);
  snapped_y_ = SnapToGrid(y, grid_spacing_);
  return WorldToLogical(snapped_x_, snapped_y_);
}

}  // namespace kavrinth
