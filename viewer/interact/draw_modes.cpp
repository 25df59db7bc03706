// The drawing window's mouse modes and commands.
#include "viewer/interact/draw_modes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kavrinth {
namespace {

struct ModeRow {
  int32_t mode;
  ModePrompt prompt;
  bool two_points;
};

const ModeRow kModes[] = {
    {kDrawZoomWindow, {8220, "Click mouse button at a zoom WINDOW corner"}, true},
    {kDrawZoomIn, {8221, "Click mouse cursor at zoom IN center"}, false},
    {kDrawZoomOut, {8222, "Click mouse cursor at zoom OUT center"}, false},
    {kDrawMeasure, {8223, "Click mouse button at a measure WINDOW corner"}, true},
    {kDrawPointQuery, {8224, "Click mouse button at vertex for query"}, false},
    {kDrawWindowQuery, {8225, "Click mouse button at a query corner"}, true},
    {kDrawCopyWindow, {8226, "Click mouse button at a copy corner"}, true},
    {kDrawInclude, {8245, "Click mouse button at a corner to include data"}, true},
    {kDrawExclude, {8246, "Click mouse button at a corner to exclude data"}, true},
    {kDrawPlotWindow, {8265, "Click mouse button at a plot WINDOW corner"}, true},
    {kDrawPan, {8274, "Click mouse button at a pan point"}, true},
};

const ModeRow* FindMode(int32_t mode) {
  for (const ModeRow& row : kModes) {
    if (row.mode == mode) return &row;
  }
  return nullptr;
}

}  // namespace

ModePrompt PromptOfMode(int32_t mode, int32_t query_kind) {
  if (mode == kDrawPointQuery && query_kind == kQueryFlash) {
    return {8275, "Click mouse button at marker for query"};
  }
  if (mode == kDrawPointQuery && query_kind == kQueryVertexOrMarker) {
    return {8277, "Click mouse button at vertex or marker for query"};
  }
  const ModeRow* row = FindMode(mode);
  return row != nullptr ? row->prompt : ModePrompt{0, ""};
}

bool IsTwoPointMode(int32_t mode) {
  const ModeRow* row = FindMode(mode);
  return row != nullptr && row->two_points;
}

MeasureResult Measure(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  MeasureResult result;
  result.dx = int64_t{x1} - x0;
  result.dy = int64_t{y1} - y0;
  // Each square is below 2^65 only as a double; the root is at most about 6.1e9.
  const double dx = static_cast<double>(result.dx);
  const double dy = static_cast<double>(result.dy);
  result.distance = static_cast<int64_t>(std::sqrt(dx * dx + dy * dy) + 0.5);
  return result;
}

std::string FormatLength(const DrawWndState& window, int64_t value) {
  const int64_t divisor = window.divisor();
  if (divisor <= 0) return {};
  const bool negative = value < 0;
  const uint64_t v = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  uint64_t p = 1;
  int digits = 0;
  while (p < uint64_t(divisor) && digits < 10) p *= 10, ++digits;
  const uint64_t whole = v / uint64_t(divisor);
  const uint64_t fraction =
      ((v % uint64_t(divisor)) * p * 2 + uint64_t(divisor)) / (2 * uint64_t(divisor)) % p;
  char text[64];
  if (digits == 0) {
    std::snprintf(text, sizeof text, "%s%llu.", negative ? "-" : "",
                  static_cast<unsigned long long>(whole));
  } else {
    std::snprintf(text, sizeof text, "%s%llu.%0*llu", negative ? "-" : "",
                  static_cast<unsigned long long>(whole), digits,
                  static_cast<unsigned long long>(fraction));
  }
  return text;
}

std::string MeasureText(const DrawWndState& window, const MeasureResult& result) {
  return "Dist = " + FormatLength(window, result.distance) +
         "\r\ndX = " + FormatLength(window, result.dx) +
         "\r\ndY = " + FormatLength(window, result.dy);
}

bool DrawModes::Handles(int32_t id) {
  switch (id) {
    case kDrawAll:
    case kDrawRedraw:
    case kDrawHookRedraw:
    case kDrawBoxPending:
    case kDrawLinePending:
    case kDrawCopyAll:
    case kDrawLast:
    case kDrawCaptureView:
    case kDrawRecallView:
      return true;
    default:
      return FindMode(id) != nullptr;
  }
}

LogicalPoint DrawModes::ToLogical(int32_t x, int32_t y) const {
  // In the window form the view's offsets hold its inset: a logical unit is a pixel of the
  // window.
  return {x, y};
}

LogicalPoint DrawModes::UpdateCursor(int32_t x, int32_t y) {
  const LogicalPoint p = window_->SnapPoint(ToLogical(x, y));
  if (window_->grid_snap()) {
    cursor_world_x_ = window_->snapped_world_x();
    cursor_world_y_ = window_->snapped_world_y();
  } else {
    window_->LogicalToWorld(p, &cursor_world_x_, &cursor_world_y_);
  }
  cursor_x_text_ = window_->FormatCoord(cursor_world_x_);
  cursor_y_text_ = window_->FormatCoord(cursor_world_y_);
  return p;
}

bool DrawModes::Command(int32_t id, int param) {
  switch (id) {
    case kDrawAll:
      if (window_->ZoomAll()) AfterViewChange(param == kFullViewSlot ? kFullViewSlot : -1);
      return true;
    case kDrawHookRedraw:
      host_->RunDrawHook();
      [[fallthrough]];
    case kDrawRedraw:
      window_->ZoomCommand(0);
      host_->Redraw();
      return true;
    case kDrawBoxPending:
    case kDrawLinePending:
      mode_ = previous_mode_;
      host_->ModeChanged();
      return true;
    case kDrawCopyAll:
      host_->CopyBox({0, 0, window_->client_width(), window_->client_height()});
      return true;
    case kDrawLast:
      if (window_->ZoomLast()) AfterViewChange();
      return true;
    case kDrawCaptureView:
      if (param < 0 || param >= kCaptureSlots || !window_->has_view()) return true;
      window_->capture_views()[param] = window_->current_view();
      valid_[param] = host_->StoreCapture(param);
      return true;
    case kDrawRecallView: {
      if (!capture_valid(param)) return true;
      const ZoomView view = window_->capture_views()[param];
      if (!window_->RestoreView(view)) return true;
      window_->ZoomCommand(0);
      // A picture of another size than the window is not shown: the view is drawn again.
      if (!host_->LoadCapture(param)) host_->Redraw();
      return true;
    }
    default:
      break;
  }
  if (FindMode(id) == nullptr) return false;
  SelectMode(id);
  return true;
}

void DrawModes::SelectMode(int32_t id) {
  if (id == kDrawMeasure) query_command_ = 0;
  if (id == kDrawPointQuery || id == kDrawWindowQuery) {
    // Choosing a query again starts it afresh and keeps the mode.
    if (query_command_ != 0) host_->EndQuery();
    query_command_ = id;
  }
  // A measure band waiting for its second click is put aside for the new mode's click; any
  // other band belongs to the mode given up.
  saved_band_ = band_pending() && previous_mode_ == kDrawMeasure && id != kDrawMeasure;
  if (saved_band_) {
    saved_world_x_ = first_world_x_;
    saved_world_y_ = first_world_y_;
  }
  mode_ = previous_mode_ = id;
  vertex_pending_ = false;
  measure_count_ = 0;
  if (query_command_ == 0) host_->EndQuery();
  press_valid_ = false;
  host_->ModeChanged();
}

void DrawModes::Reset() {
  mode_ = previous_mode_ = kDrawNoMode;
  saved_band_ = false;
  vertex_pending_ = false;
  measure_count_ = 0;
  query_command_ = 0;
  press_valid_ = false;
  accepted_vertices_.clear();
  info_text_.clear();
  host_->EndQuery();
  host_->ModeChanged();
}

void DrawModes::EndQueryMode() {
  const int32_t mode = active_mode();
  if (mode == kDrawPointQuery || mode == kDrawWindowQuery) mode_ = previous_mode_ = kDrawNoMode;
  if (query_command_ == 0 && mode_ != kDrawNoMode) return;
  query_command_ = 0;
  host_->EndQuery();
  host_->ModeChanged();
}

void DrawModes::InvalidateCaptures() { valid_.fill(false); }

void DrawModes::ArrowKey(bool vertical, bool forward) {
  if (!window_->Scroll(vertical, forward ? kScrollLineDown : kScrollLineUp, 0)) return;
  window_->ZoomCommand(0);
  host_->Redraw();
}

void DrawModes::RestoreBand() {
  saved_band_ = false;
  const LogicalPoint p = window_->WorldToLogical(saved_world_x_, saved_world_y_);
  first_x_ = current_x_ = p.x;
  first_y_ = current_y_ = p.y;
  first_world_x_ = saved_world_x_;
  first_world_y_ = saved_world_y_;
  query_command_ = 0;
  previous_mode_ = kDrawMeasure;
  mode_ = kDrawBoxPending;
  host_->ModeChanged();
}

void DrawModes::Escape() {
  saved_band_ = false;
  accepted_vertices_.clear();
  vertex_pending_ = false;
  measure_count_ = 0;
  window_->RequestCancel();
  if (band_pending()) {
    mode_ = previous_mode_;
    host_->ModeChanged();
  }
}

void DrawModes::LeftPress(int32_t x, int32_t y) {
  press_valid_ = true;
  press_x_ = x;
  press_y_ = y;
}

void DrawModes::LeftRelease(int32_t x, int32_t y) {
  // A hand's jitter between press and release is no drag: only a move of the platform's
  // drag distance or more (added over both axes) is.
  const bool drag = press_valid_ && !band_pending() && IsTwoPointMode(mode_) &&
                    int64_t{std::abs(x - press_x_)} + std::abs(y - press_y_) >= drag_distance_;
  press_valid_ = false;
  if (drag) Click(press_x_, press_y_);
  Click(x, y);
}

void DrawModes::MouseMove(int32_t x, int32_t y) {
  const LogicalPoint p = UpdateCursor(x, y);
  mouse_x_ = p.x;
  mouse_y_ = p.y;
  if (band_pending()) {
    current_x_ = p.x;
    current_y_ = p.y;
    host_->ModeChanged();
  }
}

void DrawModes::Click(int32_t x, int32_t y) {
  if (mode_ == kDrawNoMode) {
    UpdateCursor(x, y);
    return;
  }
  if (end_point_measure()) {
    EndPointClick(x, y);
    return;
  }
  window_->RequestCancel();
  if (!band_pending() && IsTwoPointMode(mode_)) {
    // The first corner (a grid point while grid snap is on): the band follows the mouse
    // until the second click.
    const LogicalPoint p = UpdateCursor(x, y);
    first_x_ = current_x_ = p.x;
    first_y_ = current_y_ = p.y;
    first_world_x_ = cursor_world_x_;
    first_world_y_ = cursor_world_y_;
    previous_mode_ = mode_;
    mode_ = mode_ == kDrawPan ? kDrawLinePending : kDrawBoxPending;
    host_->ModeChanged();
    return;
  }
  FinishBand(x, y);
}

void DrawModes::EndPointClick(int32_t x, int32_t y) {
  // The click only looks for a vertex; the right button takes it.
  UpdateCursor(x, y);
  window_->RequestCancel();
  vertex_pending_ = host_->QueryMarker(cursor_world_x_, cursor_world_y_);
  if (!vertex_pending_) host_->InvalidPoint();
}

bool DrawModes::InsertPointCheck(int32_t x, int32_t y) {
  insert_point_pending_ = false;
  if (!host_->EndPointSnap()) return true;
  // The same search as an end-point measure's click.
  UpdateCursor(x, y);
  insert_point_pending_ = host_->QueryMarker(cursor_world_x_, cursor_world_y_);
  if (!insert_point_pending_) host_->InvalidPoint();
  return insert_point_pending_;
}

bool DrawModes::QueryMarkerAt(int32_t* x, int32_t* y) {
  if (!insert_point_pending_) return false;
  insert_point_pending_ = false;
  if (!host_->TakeQueryHit(x, y)) return false;
  accepted_vertices_.push_back({*x, *y});
  return true;
}

void DrawModes::RightRelease(int32_t x, int32_t y) {
  UpdateCursor(x, y);
  if (!end_point_measure() || !vertex_pending_) return;
  vertex_pending_ = false;
  int32_t vx = 0, vy = 0;
  if (!host_->TakeQueryHit(&vx, &vy)) return;
  // The vertex taken is marked with the cross-hair; a new measure's first vertex drops the
  // marks of the measure before.
  if (measure_count_ == 0) accepted_vertices_.clear();
  accepted_vertices_.push_back({vx, vy});
  measure_points_[2 * measure_count_] = vx;
  measure_points_[2 * measure_count_ + 1] = vy;
  if (++measure_count_ < 2) {
    // The first vertex: the band starts there.
    const LogicalPoint p = window_->WorldToLogical(vx, vy);
    first_x_ = current_x_ = p.x;
    first_y_ = current_y_ = p.y;
    first_world_x_ = vx;
    first_world_y_ = vy;
    previous_mode_ = kDrawMeasure;
    mode_ = kDrawBoxPending;
    host_->ModeChanged();
    return;
  }
  measure_count_ = 0;
  mode_ = previous_mode_ = kDrawMeasure;
  const auto& m = measure_points_;
  info_text_ = "First Point:\r\n   (" + window_->FormatCoord(m[0]) + "," +
               window_->FormatCoord(m[1]) + ")\r\nSecond Point:\r\n   (" +
               window_->FormatCoord(m[2]) + "," + window_->FormatCoord(m[3]) + ")\r\n" +
               MeasureText(*window_, Measure(m[0], m[1], m[2], m[3]));
  host_->ModeChanged();
  host_->ShowMeasure(info_text_);
}

void DrawModes::FinishBand(int32_t x, int32_t y) {
  const bool had_band = band_pending();
  if (had_band) mode_ = previous_mode_;
  // The second corner, or the one click, is a grid point too.
  const LogicalPoint snapped = UpdateCursor(x, y);
  x = snapped.x;
  y = snapped.y;
  current_x_ = x;
  current_y_ = y;
  const DeviceBox box{std::min(first_x_, x), std::min(first_y_, y), std::max(first_x_, x),
                      std::max(first_y_, y)};
  const LogicalPoint at = ToLogical(x, y);
  const GdxRect world_box{
      std::min(first_world_x_, cursor_world_x_), std::min(first_world_y_, cursor_world_y_),
      std::max(first_world_x_, cursor_world_x_), std::max(first_world_y_, cursor_world_y_)};
  // The band is gone before the mode acts, so that what the action shows stays.
  host_->ModeChanged();
  const int32_t acting = mode_;
  bool changed = false;
  switch (mode_) {
    case kDrawZoomWindow: {
      const LogicalPoint corner = ToLogical(box.left, box.top);
      changed = window_->ZoomWindow(corner.x, corner.y, box.width(), box.height());
      break;
    }
    case kDrawZoomIn:
      changed = window_->ZoomIn(at);
      break;
    case kDrawZoomOut:
      changed = window_->ZoomOut(at);
      break;
    case kDrawPan:
      changed = window_->Pan(ToLogical(first_x_, first_y_), at);
      break;
    case kDrawMeasure:
      info_text_ = MeasureText(
          *window_, Measure(first_world_x_, first_world_y_, cursor_world_x_, cursor_world_y_));
      host_->ShowMeasure(info_text_);
      break;
    case kDrawCopyWindow:
      // An empty box copies nothing; the mode ends either way.
      if (box.width() > 0 && box.height() > 0) host_->CopyBox(box);
      mode_ = previous_mode_ = kDrawNoMode;
      break;
    case kDrawPlotWindow:
      mode_ = previous_mode_ = kDrawNoMode;
      host_->PlotWindow(world_box);
      break;
    case kDrawPointQuery:
      host_->StartQuery(
          mode_, GdxRect{cursor_world_x_, cursor_world_y_, cursor_world_x_, cursor_world_y_});
      break;
    default:
      host_->StartQuery(mode_, world_box);
      break;
  }
  if (changed) AfterViewChange();
  if (saved_band_ && acting != kDrawMeasure) {
    RestoreBand();
  } else if (mode_ != acting) {
    host_->ModeChanged();
  }
}

void DrawModes::AfterViewChange(int recall_slot) {
  window_->ZoomCommand(0);
  if (recall_slot < 0 || !host_->LoadCapture(recall_slot)) host_->Redraw();
  // A query given up for a zoom or a pan comes back after the view change.
  if (query_command_ != 0 && mode_ != query_command_ && !band_pending()) {
    mode_ = previous_mode_ = query_command_;
  }
}

}  // namespace kavrinth
