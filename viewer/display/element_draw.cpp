// Element drawing: walks a structure's element index and turns boundaries, paths, circles,
// arcs and marker lists into pixels of the surface, with progress and Cancel.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fonts/path_outline.h"
#include "fonts/segment_sweep.h"
#include "support/colors.h"
#include "support/numeric_guards.h"
#include "viewer/display/viewer_display.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

constexpr double kLimit = kLogicalLimit;
constexpr int32_t kAttributeReversed = 0x40;
constexpr int32_t kAttributeEndWidth = 0x100;
constexpr int kMaxArcSteps = 200;
// Nested libraries deeper than this are not followed (a reference cycle ends here).
constexpr int kMaxNesting = 16;
constexpr int32_t kMarkerHalfSize = 6;

inline int32_t Round(double v) { return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5); }

inline bool InRange(double x, double y) {
  return x > -kLimit && x < kLimit && y > -kLimit && y < kLimit;
}

// Cuts the segment to the logical range (Liang-Barsky): false when it lies outside.
bool ClipToRange(double* x0, double* y0, double* x1, double* y1) {
  double t0 = 0.0, t1 = 1.0;
  const double dx = *x1 - *x0, dy = *y1 - *y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {*x0 + kLimit, kLimit - *x0, *y0 + kLimit, kLimit - *y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const double ax = *x0 + t0 * dx, ay = *y0 + t0 * dy;
  *x1 = *x0 + t1 * dx, *y1 = *y0 + t1 * dy;
  *x0 = ax, *y0 = ay;
  return true;
}

// One pass of polygon clipping against the plane coordinate[axis] * sign <= kLimit.
void ClipPlane(const std::vector<double>& in, std::vector<double>* out, int axis, double sign) {
  out->clear();
  const size_t n = in.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    const double* a = &in[2 * i];
    const double* b = &in[2 * ((i + 1) % n)];
    const bool a_in = a[axis] * sign <= kLimit;
    const bool b_in = b[axis] * sign <= kLimit;
    if (a_in) out->insert(out->end(), {a[0], a[1]});
    if (a_in != b_in) {
      const double t = (sign * kLimit - a[axis]) / (b[axis] - a[axis]);
      out->insert(out->end(), {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
    }
  }
}

// The box of a closed rectangle with sides along the axes (four or five points).
bool AxisRectangle(const LogicalPoint* p, int32_t count, ViewRect* box) {
  if (count == 5 && p[4] != p[0]) return false;
  if (count != 4 && count != 5) return false;
  const bool across = p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x;
  const bool down = p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y;
  if (!across && !down) return false;
  *box = ViewRect{std::min(p[0].x, p[2].x), std::min(p[0].y, p[2].y), std::max(p[0].x, p[2].x),
                  std::max(p[0].y, p[2].y)};
  return true;
}

}  // namespace

// ---- Conversions ----

int32_t ViewerDisplay::LengthToPixels(double length) const {
  return RoundClamped(length * window.scale(), kLimit);
}

int ViewerDisplay::PolygonToDevice(const GdxWord* p, int32_t count) {
  if (device_.size() < static_cast<size_t>(count) + 1) device_.resize(count + 1);
  int n = 0;
  bool outside = false;
  for (int32_t i = 0; i < count; ++i) {
    const double x = DeviceX(p[2 * i]);
    const double y = DeviceY(p[2 * i + 1]);
    if (!InRange(x, y)) {
      outside = true;
      break;
    }
    const LogicalPoint q{Round(x), Round(y)};
    if (n > 0 && device_[n - 1] == q) continue;
    device_[n++] = q;
  }
  if (!outside) return n;
  // Far beyond the logical range the polygon is cut to it, so that its edges keep their
  // slopes where they cross the view.
  clip_a_.clear();
  for (int32_t i = 0; i < count; ++i) {
    clip_a_.insert(clip_a_.end(), {DeviceX(p[2 * i]), DeviceY(p[2 * i + 1])});
  }
  for (int axis = 0; axis < 2; ++axis) {
    ClipPlane(clip_a_, &clip_b_, axis, 1.0);
    ClipPlane(clip_b_, &clip_a_, axis, -1.0);
  }
  const size_t points = clip_a_.size() / 2;
  if (device_.size() < points + 2) device_.resize(points + 2);
  n = 0;
  for (size_t i = 0; i < points; ++i) {
    const LogicalPoint q{Round(clip_a_[2 * i]), Round(clip_a_[2 * i + 1])};
    if (n > 0 && device_[n - 1] == q) continue;
    device_[n++] = q;
  }
  if (n > 1 && device_[n - 1] != device_[0]) device_[n++] = device_[0];
  return n;
}

void ViewerDisplay::DrawDeviceSegment(double x0, double y0, double x1, double y1) {
  if (!InRange(x0, y0) || !InRange(x1, y1)) {
    if (!ClipToRange(&x0, &y0, &x1, &y1)) return;
  }
  LogicalPoint a{Round(x0), Round(y0)}, b{Round(x1), Round(y1)};
  if (window.ClipSegmentToView(&a, &b)) surface.DibLine(a.x, a.y, b.x, b.y);
}

void ViewerDisplay::DrawWorldSegment(const GdxWord* a, const GdxWord* b) {
  DrawDeviceSegment(DeviceX(a[0]), DeviceY(a[1]), DeviceX(b[0]), DeviceY(b[1]));
}

void ViewerDisplay::FillDevicePolygon(int32_t count) {
  ViewRect box;
  if (AxisRectangle(device_.data(), count, &box)) {
    // The fill of a rectangle is its box, both ends included: painted row by row at once.
    const ViewRect& v = window.view();
    const int32_t x0 = std::max(box.left, v.left), x1 = std::min(box.right, v.right);
    const int32_t y0 = std::max(box.top, v.top), y1 = std::min(box.bottom, v.bottom);
    if (x0 > x1 || y0 > y1 || surface.BoxHoldsColor(x0, y0, x1, y1)) return;
    for (int32_t y = y0; y <= y1; ++y) surface.DibFillSpan(x0, x1, y);
    return;
  }
  if (count >= 4) {
    int32_t min_x = device_[0].x, max_x = min_x, min_y = device_[0].y, max_y = min_y;
    for (int32_t i = 1; i < count; ++i) {
      min_x = std::min(min_x, device_[i].x), max_x = std::max(max_x, device_[i].x);
      min_y = std::min(min_y, device_[i].y), max_y = std::max(max_y, device_[i].y);
    }
    const ViewRect& v = window.view();
    // A polygon that holds the whole view has no edge in it and is filled all the same.
    if (max_x < v.left || min_x > v.right || max_y < v.top || min_y > v.bottom) return;
    if (surface.BoxHoldsColor(std::max(min_x, v.left), std::max(min_y, v.top),
                              std::min(max_x, v.right), std::min(max_y, v.bottom))) {
      return;
    }
    fill.FillPolygon(&surface, std::span(device_.data(), count), v);
  } else if (count >= 2) {
    LogicalPoint a = device_[0], b = device_[1];
    if (window.ClipSegmentToView(&a, &b)) surface.DibLine(a.x, a.y, b.x, b.y);
  } else if (count == 1 && window.PointInView(device_[0])) {
    surface.DibSetPixel(device_[0].x, device_[0].y);
  }
}

// ---- Colours ----

void ViewerDisplay::SelectLayerPen(int layer) {
  if (layer < 0 || layer >= kViewLayerTableSize) return;
  const ViewLayerEntry& entry = LayerTable()[layer];
  if (entry.fill_mode == kFillPaint) {
    SelectColorPen(entry.colour);
  } else if (entry.fill_mode == kFillScratch || entry.fill_mode == kFillNegative) {
    surface.SelectPenSlot(palette, kSlotBackground);
  }
}

uint8_t ViewerDisplay::ElementColorIndex(int layer) {
  const DisplayColor background = palette.color(kSlotBackground);
  const DisplayColor highlight = settings.highlight_color & 0xFFFFFF;
  if (highlight_style_ == 2) return kSlotBackground;
  if (highlight_style_ == 1) {
    return static_cast<uint8_t>(palette.SlotForColor(background == highlight ? 0 : highlight));
  }
  const DisplayColor colour = LayerTable()[layer].colour & 0xFFFFFF;
  if (colour == 0) return kSlotBackground;
  if (colour == highlight && background == highlight) return kSlotBlack;
  SelectLayerPen(layer);
  return surface.color_index();
}

// ---- Element kinds ----

void ViewerDisplay::DrawFilledBoundary(const GdxWord* points, int32_t count) {
  const int n = PolygonToDevice(points, count);
  FillDevicePolygon(n);
  if (settings.fill_mode != 2 || n < 2) return;
  const int32_t pen = LengthToPixels(library_unit_factor_);
  if (pen >= 2) SweepEdges(n, pen);
}

void ViewerDisplay::SweepEdges(int32_t count, int32_t pen) {
  const std::vector<LogicalPoint> polygon(device_.begin(), device_.begin() + count);
  std::array<int32_t, 26> outline{};
  for (int32_t i = 0; i + 1 < count; ++i) {
    LogicalPoint a = polygon[i], b = polygon[i + 1];
    if (!window.ClipSegmentToView(&a, &b)) continue;
    const std::array<int32_t, 4> segment = {polygon[i].x, polygon[i].y, polygon[i + 1].x,
                                            polygon[i + 1].y};
    int32_t room = 13;
    const int result = SweepSegmentOutline(segment, pen, pen, kSweepSquarePen, outline, room);
    if (result == kSweepEqualEnds) {
      surface.DibSetPixel(a.x, a.y);
    } else if (result == kSweepDone) {
      if (device_.size() < static_cast<size_t>(room)) device_.resize(room);
      for (int32_t k = 0; k < room; ++k) device_[k] = {outline[2 * k], outline[2 * k + 1]};
      FillDevicePolygon(room);
    } else {
      surface.DibLine(a.x, a.y, b.x, b.y);
    }
  }
}

void ViewerDisplay::DrawPathOutline(const GdxWord* data, const GdxWord* points, int32_t count,
                                    bool boundary) {
  // A point that repeats the one before gives no segment: the outline would stop there
  // and go on as a new butt-ended piece, losing the corner's mitre.
  const std::span<const int32_t> distinct = DistinctPathPoints(
      std::span(points, 2 * static_cast<size_t>(std::max(count, 0))), distinct_points_);
  points = distinct.data();
  count = static_cast<int32_t>(distinct.size() / 2);
  const int32_t width = boundary ? 0 : data[3];
  const int32_t w1 = LengthToPixels(width);
  const bool end_width = !boundary && width != 0 && ((data[0] >> 16) & kAttributeEndWidth);
  const int32_t w2 = end_width ? LengthToPixels(data[4]) : w1;
  if (count == 1) {
    const double x = DeviceX(points[0]), y = DeviceY(points[1]);
    if (InRange(x, y) && window.PointInView({Round(x), Round(y)})) {
      surface.DibSetPixel(Round(x), Round(y));
    }
    return;
  }
  if (count < 2) return;
  if (w1 <= 2 && w2 <= 2) {
    for (int32_t i = 0; i + 1 < count; ++i) DrawWorldSegment(points + 2 * i, points + 2 * i + 2);
    return;
  }
  // The box of the centre line widened by the width must reach the view.
  double min_x = DeviceX(points[0]), max_x = min_x, min_y = DeviceY(points[1]), max_y = min_y;
  for (int32_t i = 1; i < count; ++i) {
    const double x = DeviceX(points[2 * i]), y = DeviceY(points[2 * i + 1]);
    min_x = std::min(min_x, x), max_x = std::max(max_x, x);
    min_y = std::min(min_y, y), max_y = std::max(max_y, y);
  }
  const double half = std::max(w1, w2) / 2.0 + 1.0;
  const ViewRect& v = window.view();
  if (max_x + half < v.left || min_x - half > v.right || max_y + half < v.top ||
      min_y - half > v.bottom) {
    return;
  }
  const size_t room_points = 2 * static_cast<size_t>(count) + 2;
  if (outline_.size() < 2 * room_points) outline_.resize(2 * room_points);
  int32_t start = 0;
  int32_t remaining = count;
  while (remaining > 1) {
    int32_t room = static_cast<int32_t>(room_points);
    const int used =
        PathToOutline(remaining, std::span(points + 2 * start, 2 * static_cast<size_t>(remaining)),
                      width, std::span(outline_), false, room);
    if (used > 1) {
      const int n = PolygonToDevice(outline_.data(), room);
      if (settings.fill_mode == 0) {
        for (int k = 0; k + 1 < n; ++k) {
          LogicalPoint a = device_[k], b = device_[k + 1];
          if (window.ClipSegmentToView(&a, &b)) surface.DibLine(a.x, a.y, b.x, b.y);
        }
        if (n == 1 && window.PointInView(device_[0]))
          surface.DibSetPixel(device_[0].x, device_[0].y);
      } else {
        FillDevicePolygon(n);
      }
      remaining -= used - 1;
      start += used - 1;
    } else {
      --remaining;
      ++start;
    }
  }
}

int ArcToPoints(std::vector<GdxWord>* out, const GdxWord* c, const GdxWord* s, const GdxWord* e,
                double radius, double tolerance, double max_step) {
  double step = max_step;
  if (tolerance > 0 && radius > tolerance) {
    const double chord = 2.0 * std::acos(1.0 - tolerance / radius);
    if (chord < step) step = chord;
  }
  double start = 0.0, end = 0.0;
  SafeAtan2(double(s[1]) - c[1], double(s[0]) - c[0], &start);
  SafeAtan2(double(e[1]) - c[1], double(e[0]) - c[0], &end);
  if (start < 0) start += kFullTurn;
  if (end < 0) end += kFullTurn;
  if (s[0] == e[0] && s[1] == e[1]) {
    end += kFullTurn;
  } else if (end < start) {
    end += kFullTurn;
  }
  int n = static_cast<int>(std::min((end - start) / step, 1e9));
  if (n >= kMaxArcSteps) {
    n = kMaxArcSteps;
    step = (end - start) / kMaxArcSteps;
  }
  out->clear();
  out->insert(out->end(), {s[0], s[1]});
  double vx = double(s[0]) - c[0], vy = double(s[1]) - c[1];
  const double cs = std::cos(step), sn = std::sin(step);
  for (int i = 1; i < n; ++i) {
    const double x = vx * cs - vy * sn;
    vy = vx * sn + vy * cs;
    vx = x;
    out->push_back(RoundClamped(vx + c[0]));
    out->push_back(RoundClamped(vy + c[1]));
  }
  out->insert(out->end(), {e[0], e[1]});
  return static_cast<int>(out->size() / 2);
}

void ViewerDisplay::DrawCircle(const GdxWord* data, const GdxWord* points) {
  const bool reversed = (data[0] >> 16) & kAttributeReversed;
  const GdxWord* s = points + (reversed ? 4 : 2);
  const GdxWord* e = points + (reversed ? 2 : 4);
  // The chord tolerance is never finer than a quarter pixel: finer steps change no pixel.
  const double tolerance = std::max(settings.chord_tolerance, 0.25 / window.scale());
  const int n = ArcToPoints(&arc_points_, points, s, e, data[3], tolerance,
                            settings.max_step_degrees * kHalfTurn / 180.0);
  if (((data[0] >> 16) & kGdxFlagFilled) && data[4] == 0) {
    DrawFilledBoundary(arc_points_.data(), n);
    return;
  }
  const std::array<GdxWord, 5> header = {0, 0, 0, data[4], 0};
  DrawPathOutline(header.data(), arc_points_.data(), n, false);
}

void ViewerDisplay::DrawArc(const GdxWord* data, const GdxWord* points, int32_t width) {
  const bool reversed = (data[0] >> 16) & kAttributeReversed;
  const GdxWord* s = points + (reversed ? 4 : 2);
  const GdxWord* e = points + (reversed ? 2 : 4);
  const double tolerance = std::max(settings.chord_tolerance, 0.25 / window.scale());
  const int n = ArcToPoints(&arc_points_, points, s, e, data[3], tolerance,
                            settings.max_step_degrees * kHalfTurn / 180.0);
  const std::array<GdxWord, 5> header = {0, 0, 0, width, 0};
  DrawPathOutline(header.data(), arc_points_.data(), n, false);
}

void ViewerDisplay::DrawVertexMarkers(const GdxWord* points, int32_t count) {
  constexpr int32_t h = kMarkerHalfSize;
  for (int32_t i = 0; i < count; ++i) {
    const double x = DeviceX(points[2 * i]), y = DeviceY(points[2 * i + 1]);
    if (!InRange(x, y)) continue;
    const LogicalPoint p{Round(x), Round(y)};
    if (!window.PointInView(p)) continue;
    const std::array<LogicalPoint, 9> lines = {
        {{h, h}, {-h, -h}, {-h, h}, {h, -h}, {h, h}, {h, -h}, {-h, -h}, {-h, h}, {h, h}}};
    auto segment = [&](LogicalPoint a, LogicalPoint b) {
      a = {p.x + a.x, p.y + a.y}, b = {p.x + b.x, p.y + b.y};
      if (window.ClipSegmentToView(&a, &b)) surface.DibLine(a.x, a.y, b.x, b.y);
    };
    segment(lines[0], lines[1]);
    segment(lines[2], lines[3]);
    for (int k = 4; k < 8; ++k) segment(lines[k], lines[k + 1]);
  }
}

void ViewerDisplay::DrawStoredElement(const GdxWord* data, int32_t type, int32_t flags) {
  if (data == nullptr) return;
  const int layer = data[1] & 0xFFFF;
  // A layer number out of the table's range names no layer: nothing is drawn.
  if (layer >= kViewLayerTableSize || !LayerTable()[layer].shown) return;
  if (flags & kElementDeleted) return;
  highlight_style_ = (flags & kElementSelected) ? 1 : (flags & kElementSecondHighlight) ? 2 : 0;
  const uint8_t saved_index = surface.color_index();
  const DisplayColor saved_color = surface.current_color();
  if (!settings.layer_colour_only &&
      (type == kGdxBoundary || type == kGdxPath || type == kGdxCircle || type == kGdxArc)) {
    const uint8_t index = ElementColorIndex(layer);
    surface.SetColorIndex(index, palette.color(index));
  }
  const GdxWord* points = data + (data[0] & 0xFFFF);
  const int32_t count = (data[1] >> 16) & 0xFFFF;
  switch (type) {
    case kGdxBoundary:
      if (settings.fill_mode != 0) {
        DrawFilledBoundary(points, count);
      } else {
        DrawPathOutline(data, points, count, true);
      }
      break;
    case kGdxPath:
      DrawPathOutline(data, points, count, false);
      break;
    case kGdxCircle:
      if (settings.fill_mode != 0) {
        DrawCircle(data, points);
      } else {
        DrawArc(data, points, 0);
      }
      break;
    case kGdxArc:
      DrawArc(data, points, data[4]);
      break;
    case kGdxMarkerList:
      if (layer == layer_) DrawVertexMarkers(points, count);
      break;
    default:
      break;
  }
  surface.SetColorIndex(saved_index, saved_color);
  highlight_style_ = 0;
}

// ---- The element walk ----

void ViewerDisplay::SetDrawFlagMasks(std::span<const int32_t> masks) {
  flag_masks_.assign(masks.begin(), masks.end());
  if (flag_masks_.size() != 2 && flag_masks_.size() != 4) flag_masks_.clear();
}

void ViewerDisplay::ResetLayerProgress(int layer) {
  element_counter_ = 0;
  percentage_ = 0;
  threshold_ = 0;
  element_total_ = 0;
  if (layer >= 0 && layer < kViewLayerTableSize) {
    const ViewLayerEntry& entry = LayerTable()[layer];
    element_total_ = int64_t{entry.first_count} + entry.second_count;
  }
  threshold_step_ = element_total_ >= 100 ? element_total_ / 100 : 1;
}

bool ViewerDisplay::CountElement(DrawHost* host) {
  if (element_counter_ % kInputInterval == 0 && host != nullptr) host->DeliverInput();
  if (element_counter_ < INT32_MAX) ++element_counter_;
  if (element_counter_ >= threshold_) {
    percentage_ = element_total_ > 0 ? static_cast<int32_t>(std::min<int64_t>(
                                           int64_t{element_counter_} * 100 / element_total_, 100))
                                     : 100;
    while (threshold_ <= element_counter_) threshold_ += threshold_step_;
    char text[32];
    std::snprintf(text, sizeof text, "Entities Drawn %d%%", percentage_);
    if (host != nullptr) host->ShowStatus(text);
  }
  // The picture so far is shown once at the first element of each layer.
  if (element_counter_ == 1 && host != nullptr) host->ShowSurface();
  return true;
}

int ViewerDisplay::DrawDisplayList(DrawHost* host, GdxLibrary* library, int depth) {
  GdxStructure* structure = GdxFindStructureById(library, library->current_structure_id);
  if (structure == nullptr) return kDrawNothing;
  GdxEntryCursor cursor(structure->begin_page, structure->begin_position);
  for (cursor.Next(); cursor.Valid() && !window.cancelled(); cursor.Next()) {
    const int32_t type = cursor.Type();
    if (type == kGdxEndMark || type == kGdxStructureBegin) break;
    CountElement(host);
    // An entry without a data block names nothing to draw.
    if (cursor.Entry()[kGdxEntryBlock] == 0) continue;
    const GdxWord* data = cursor.Data();
    if (data == nullptr) continue;
    if (type == kGdxSessionMarker) {
      GdxLibrary* nested = GdxLibraryFromHandle(static_cast<GdxHandle>(data[1]));
      if (nested != nullptr && depth < kMaxNesting) DrawDisplayList(host, nested, depth + 1);
      continue;
    }
    GdxWord* entry = cursor.MutableEntry();
    if (flag_masks_.size() >= 2) {
      entry[kGdxEntrySelection] = (entry[kGdxEntrySelection] | flag_masks_[0]) & ~flag_masks_[1];
    }
    DrawStoredElement(data, type, entry[kGdxEntrySelection]);
    if (flag_masks_.size() == 4) {
      entry[kGdxEntrySelection] = (entry[kGdxEntrySelection] | flag_masks_[2]) & ~flag_masks_[3];
    }
  }
  return window.cancelled() ? kDrawCancelled : kDrawDone;
}

int ViewerDisplay::DrawElementBlock(DrawHost* host, GdxHandle handle, int layer) {
  if (!surface.valid()) return kDrawNothing;
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return kDrawNothing;
  if (!in_redraw_) {
    window.ClearCancel();
    ResetLayerProgress(layer);
  }
  layer_ = layer;
  layer_offset_x_ = layer_offset_y_ = 0.0;
  if (layer >= 0 && layer < kViewLayerTableSize) {
    const LayerOffset offset = LayerDisplayOffset(LayerTable()[layer]);
    layer_offset_x_ = offset.x;
    layer_offset_y_ = offset.y;
  }
  library_unit_factor_ = library->scale_factor;
  const int result = DrawDisplayList(host, library, 0);
  // The element a query holds stays highlighted over what its layer draws.
  if (query_highlight_.valid() && query_highlight_.layer == layer) {
    DrawStoredElement(query_highlight_.data.data(), query_highlight_.type,
                      query_highlight_.flags | kElementSelected);
  }
  return result;
}

int ViewerDisplay::DrawQueryElement(const QueryHighlight& element, bool highlighted) {
  if (!surface.valid() || !element.valid() || element.layer >= kViewLayerCount) {
    return kDrawNothing;
  }
  const ViewLayerEntry& entry = LayerTable()[element.layer];
  if (entry.shown == 0) return kDrawNothing;
  layer_ = element.layer;
  const LayerOffset offset = LayerDisplayOffset(entry);
  layer_offset_x_ = offset.x;
  layer_offset_y_ = offset.y;
  const GdxLibrary* library = GdxLibraryFromHandle(entry.library);
  library_unit_factor_ = library != nullptr ? library->scale_factor : 1;
  SelectLayerPen(element.layer);
  DrawStoredElement(element.data.data(), element.type,
                    highlighted ? element.flags | kElementSelected : element.flags);
  return kDrawDone;
}

int ViewerDisplay::DrawHitEntries(int layer,
                                  std::span<const std::pair<GdxHandle, int32_t>> entries) {
  if (!surface.valid() || layer < 0 || layer >= kViewLayerCount) return kDrawNothing;
  const ViewLayerEntry& entry = LayerTable()[layer];
  const GdxLibrary* library = GdxLibraryFromHandle(entry.library);
  if (library == nullptr || entry.shown == 0) return kDrawNothing;
  layer_ = layer;
  const LayerOffset offset = LayerDisplayOffset(entry);
  layer_offset_x_ = offset.x;
  layer_offset_y_ = offset.y;
  library_unit_factor_ = library->scale_factor;
  SelectLayerPen(layer);
  for (const auto& [page, position] : entries) {
    const GdxEntryCursor cursor(page, position);
    if (!cursor.Valid() || cursor.Entry()[kGdxEntryBlock] == 0) continue;
    DrawHitElement(cursor.Data(), cursor.Type(), cursor.Entry()[kGdxEntrySelection]);
  }
  return kDrawDone;
}

void ViewerDisplay::DrawHitElement(const GdxWord* data, int32_t type, int32_t flags) {
  // A deleted element is drawn in the background: its pixels go.
  if (flags & kElementDeleted) {
    flags = (flags & ~(kElementDeleted | kElementSelected)) | kElementSecondHighlight;
  }
  DrawStoredElement(data, type, flags);
}

int ViewerDisplay::DrawWf2Hits(int layer, const HitNumberList& numbers) {
  const ViewLayerEntry& entry = LayerTable()[layer];
  if (!surface.valid() || entry.frame_block == kGdxNoHandle) return kDrawNothing;
  SelectLayerPen(layer);
  const int32_t sections = std::min(Wf2FrameIndexSections(entry.frame_block), entry.frame_count);
  int64_t first = 0;
  for (int32_t k = 0; k < sections && !window.cancelled(); ++k) {
    const std::optional<Wf2FrameIndexEntry> frame = ReadWf2FrameIndexEntry(entry.frame_block, k);
    if (!frame) break;
    // The frame's elements are numbered (first, last] in the layer.
    const int64_t before = first;
    first = frame->polygons;
    const auto listed = std::upper_bound(numbers.begin(), numbers.end(), before);
    if (listed == numbers.end() || *listed > frame->polygons) continue;
    if (!FrameInView(layer, frame->box)) continue;
    if (settings.layer_colour_only) SelectColorPen(PickColors()[2 + k % 6]);
    const GdxHandle handle = LoadFrame(nullptr, layer, k);
    if (handle == kGdxNoHandle) continue;
    GdxLibrary* library = GdxLibraryFromHandle(handle);
    GdxStructure* structure =
        library != nullptr ? GdxFindStructureById(library, library->current_structure_id) : nullptr;
    if (structure == nullptr) return kDrawNothing;
    layer_ = layer;
    const LayerOffset offset = LayerDisplayOffset(entry);
    layer_offset_x_ = offset.x;
    layer_offset_y_ = offset.y;
    library_unit_factor_ = library->scale_factor;
    // The elements are numbered as the picks number them: each one with data.
    int64_t number = before;
    auto next = listed;
    GdxEntryCursor cursor(structure->begin_page, structure->begin_position);
    for (cursor.Next(); cursor.Valid() && next != numbers.end(); cursor.Next()) {
      const int32_t type = cursor.Type();
      if (type == kGdxEndMark || type == kGdxStructureBegin) break;
      const GdxWord* data = cursor.Data();
      if (data == nullptr) continue;
      if (++number < *next) continue;
      while (next != numbers.end() && *next <= number) ++next;
      DrawHitElement(data, type, cursor.Entry()[kGdxEntrySelection]);
    }
  }
  return kDrawDone;
}

int ViewerDisplay::RedrawRegion(const std::map<int, HitEntryList>& by_layer,
                                const std::map<int, HitNumberList>& numbers_by_layer) {
  window.ClearCancel();
  auto entries = by_layer.begin();
  auto numbers = numbers_by_layer.begin();
  // Layer by layer in table order, whichever list a layer's elements are in.
  while (entries != by_layer.end() || numbers != numbers_by_layer.end()) {
    const bool from_entries = numbers == numbers_by_layer.end() ||
                              (entries != by_layer.end() && entries->first <= numbers->first);
    const int layer = from_entries ? entries->first : numbers->first;
    const bool valid = layer >= 0 && layer < kViewLayerCount;
    // The elements of a hidden layer are not drawn: nothing to show.
    if (!valid || LayerTable()[layer].shown != 0) {
      int result = kDrawNothing;
      if (from_entries) {
        result = DrawHitEntries(layer, entries->second);
      } else if (valid) {
        HitNumberList sorted = numbers->second;
        std::sort(sorted.begin(), sorted.end());
        result = DrawWf2Hits(layer, sorted);
      }
      if (result != kDrawDone) return kDrawNothing;
    }
    if (from_entries) {
      ++entries;
    } else {
      ++numbers;
    }
  }
  DrawOverlays();
  return kDrawDone;
}

void DrawHost::ShowStatus(std::string_view text) { CurrentViewerServices().SendMainEvent(text); }

}  // namespace kavrinth
