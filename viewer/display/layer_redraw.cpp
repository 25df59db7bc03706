// The full redraw: every shown layer in table order with progress and Cancel, negative
// layers, the error markers and the overlays (frame grid, glass, grid); the job extents.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "fonts/segment_sweep.h"
#include "support/colors.h"
#include "support/notifier.h"
#include "viewer/display/viewer_display.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

constexpr char kEntitiesDone[] = "Entities Drawn 100%";
constexpr int32_t kMinGridPixels = 8;
// Dash pattern 1: dash 0.2, gap 0.1 of the dash scale.
constexpr double kDash = 0.2;
constexpr double kDashPeriod = 0.3;

bool UsedWithData(const ViewLayerEntry& e) {
  return !e.path.empty() && (e.library != kGdxNoHandle || e.frame_count > 0);
}

bool IsEmpty(const GdxStructure& s) {
  const int64_t elements = int64_t{s.reference_count} + s.text_count + s.node_count + s.path_count +
                           s.boundary_count + s.arc_count + s.circle_count;
  return elements == 0 && s.extents == GdxRect{};
}

void Widen(GdxRect* box, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, -2147483647, 2147483647));
  };
  box->min_x = std::min(box->min_x, clamp(std::min(x0, x1)));
  box->min_y = std::min(box->min_y, clamp(std::min(y0, y1)));
  box->max_x = std::max(box->max_x, clamp(std::max(x0, x1)));
  box->max_y = std::max(box->max_y, clamp(std::max(y0, y1)));
}

}  // namespace

ViewerDisplay::ViewerDisplay() = default;

bool ViewerDisplay::ResizeOffscreenSurface(int32_t client_width, int32_t client_height) {
  const bool made = surface.Create(client_width, client_height);
  window.UpdateViewGeometry(made ? client_width : 0, made ? client_height : 0);
  return made;
}

DisplayColor ViewerDisplay::ContrastColor() const {
  return palette.color(kSlotBackground) == 0 ? 0xFFFFFF : 0x000000;
}

void ViewerDisplay::ReleaseUnusedColours() {
  std::vector<DisplayColor> claimed;
  claimed.reserve(kViewLayerTableSize + kPickColorCount + 1);
  for (int n = 0; n < kViewLayerTableSize; ++n)
    claimed.push_back(LayerTable()[n].colour & 0xFFFFFF);
  for (const PickColorValue colour : PickColors()) claimed.push_back(colour & 0xFFFFFF);
  claimed.push_back(settings.highlight_color & 0xFFFFFF);
  std::sort(claimed.begin(), claimed.end());
  palette.ReleaseUnclaimedSlots([&claimed](DisplayColor colour) {
    return std::binary_search(claimed.begin(), claimed.end(), colour);
  });
}

// ---- Redraw ----

int ViewerDisplay::DrawAllLayers(DrawHost* host) {
  if (!surface.valid()) return kDrawNothing;
  surface.Clear();
  // Colours given up since the last drawing free their slots for new ones.
  ReleaseUnusedColours();
  if (!window.has_view()) return kDrawDone;
  surface.SelectPenSlot(palette, kSlotWhite);
  window.ClearCancel();
  in_redraw_ = true;
  int result = kDrawDone;
  for (int layer = 0; layer < kViewLayerCount && !window.cancelled(); ++layer) {
    const ViewLayerEntry& entry = LayerTable()[layer];
    if (entry.path.empty()) continue;
    if (!UsedWithData(entry) || !entry.shown) {
      if (host != nullptr) host->ShowStatus(kEntitiesDone), host->DeliverInput();
      continue;
    }
    ResetLayerProgress(layer);
    result = entry.library != kGdxNoHandle ? DrawLayer(host, layer) : DrawWf2Layer(host, layer);
    if (result == kDrawNothing) break;
  }
  in_redraw_ = false;
  const bool cancelled = window.cancelled();
  if (!cancelled && result == kDrawNothing) return kDrawNothing;
  // A cancelled drawing keeps what it drew, and the markers and overlays still go over it;
  // the cancel is taken, so they deliver no input.
  window.ClearCancel();
  DrawMarkerEntry(cancelled ? nullptr : host);
  if (draw_pending_edits) draw_pending_edits(*this, cancelled ? nullptr : host);
  DrawOverlays();
  if (host != nullptr) host->ShowSurface();
  if (!cancelled && !window.cancelled()) return kDrawDone;
  // The caller sees the drawing as cancelled.
  if (!window.cancelled()) window.RequestCancel();
  return kDrawCancelled;
}

int ViewerDisplay::DrawLayer(DrawHost* host, int layer) {
  const ViewLayerEntry& entry = LayerTable()[layer];
  DrawNegativeBackground(layer);
  SelectLayerPen(layer);
  DrawElementBlock(host, entry.library, layer);
  if (host != nullptr) {
    host->ShowSurface();
    host->ShowStatus(kEntitiesDone);
    host->DeliverInput();
  }
  return kDrawDone;
}

int ViewerDisplay::DrawWf2Layer(DrawHost* host, int layer) {
  const ViewLayerEntry& entry = LayerTable()[layer];
  SelectLayerPen(layer);
  // A frame loaded for another entry of the table (it was reset since) is not this layer's.
  if (loaded_frame_library_ != kGdxNoHandle && loaded_frame_layer_ == layer &&
      (loaded_frame_block_ != entry.frame_block || loaded_frame_path_ != entry.path)) {
    ResetFrameCache();
  }
  const int32_t sections = std::min(Wf2FrameIndexSections(entry.frame_block), entry.frame_count);
  for (int32_t k = 0; k < sections && !window.cancelled(); ++k) {
    const std::optional<Wf2FrameIndexEntry> frame = ReadWf2FrameIndexEntry(entry.frame_block, k);
    if (!frame || !FrameInView(layer, frame->box)) continue;
    if (settings.layer_colour_only) SelectColorPen(PickColors()[2 + k % 6]);
    // A frame that could not be loaded is not drawn.
    if (LoadFrame(host, layer, k) == kGdxNoHandle) continue;
    GdxLibrary* library = GdxLibraryFromHandle(loaded_frame_library_);
    if (library == nullptr ||
        GdxFindStructureById(library, library->current_structure_id) == nullptr) {
      return kDrawNothing;
    }
    DrawElementBlock(host, loaded_frame_library_, layer);
    if (host != nullptr) {
      host->ShowSurface();
      host->ShowStatus(kEntitiesDone);
      host->DeliverInput();
    }
  }
  return kDrawDone;
}

bool ViewerDisplay::FrameInView(int layer, const GdxRect& box) const {
  const LayerOffset offset = LayerDisplayOffset(LayerTable()[layer]);
  const double ox = offset.x, oy = -double(offset.y);
  const ViewRect& v = window.view();
  const double x0 = window.WorldToLogicalX(box.min_x + ox);
  const double x1 = window.WorldToLogicalX(box.max_x + ox);
  const double y0 = window.WorldToLogicalY(box.max_y + oy);
  const double y1 = window.WorldToLogicalY(box.min_y + oy);
  return !(x1 < v.left || x0 > v.right || y1 < v.top || y0 > v.bottom);
}

GdxHandle ViewerDisplay::LoadFrame(DrawHost* host, int layer, int32_t k) {
  const ViewLayerEntry& entry = LayerTable()[layer];
  if (loaded_frame_library_ != kGdxNoHandle && loaded_frame_layer_ == layer &&
      loaded_frame_index_ == k && loaded_frame_block_ == entry.frame_block &&
      loaded_frame_path_ == entry.path) {
    return loaded_frame_library_;
  }
  ResetFrameCache();
  const auto wait = [host](bool on) {
    if (host != nullptr) {
      host->SetWaitCursor(on);
    } else {
      CurrentViewerServices().SetWaitCursor(on);
    }
  };
  wait(true);
  const GdxHandle library = LoadWf2Frame(entry.frame_block, layer, k);
  wait(false);
  if (library == kGdxNoHandle) return kGdxNoHandle;
  loaded_frame_library_ = library;
  loaded_frame_layer_ = layer;
  loaded_frame_index_ = k;
  loaded_frame_block_ = entry.frame_block;
  loaded_frame_path_ = entry.path;
  return library;
}

void ViewerDisplay::ResetFrameCache() {
  if (loaded_frame_library_ != kGdxNoHandle) GdxFreeLibrary(loaded_frame_library_);
  loaded_frame_library_ = kGdxNoHandle;
  loaded_frame_layer_ = -1;
  loaded_frame_index_ = -1;
  loaded_frame_block_ = kGdxNoHandle;
  loaded_frame_path_.clear();
}

void ViewerDisplay::DrawNegativeBackground(int layer) {
  const ViewLayerEntry& entry = LayerTable()[layer];
  if (entry.fill_mode != kFillNegative) return;
  SelectColorPen(entry.colour);
  const int32_t w = window.client_width(), h = window.client_height();
  std::array<LogicalPoint, 5> field = {{{0, 0}, {w, 0}, {w, h}, {0, h}, {0, 0}}};
  if (settings.plate_kind_flags != 0) {
    // The plate: the glass rectangle, cut to the client area.
    const double k =
        (settings.glass_unit_mm ? 0.001 : 0.0254) / settings.metres_per_user_unit / 100;
    const double gw = std::round(settings.glass_width * k * settings.coordinate_divisor);
    const double gh = std::round(settings.glass_height * k * settings.coordinate_divisor);
    const double sx = (settings.plate_kind_flags & 2) ? -gw / 2 : 0;
    const double sy = (settings.plate_kind_flags & 2) ? -gh / 2 : 0;
    auto at = [&](double x, double y) {
      return LogicalPoint{RoundClamped(std::clamp(window.WorldToLogicalX(x + sx), 0.0, double(w))),
                          RoundClamped(std::clamp(window.WorldToLogicalY(y + sy), 0.0, double(h)))};
    };
    field = {at(0, 0), at(gw, 0), at(gw, gh), at(0, gh), at(0, 0)};
  }
  fill.FillPolygon(&surface, field, window.view());
}

void ViewerDisplay::DrawMarkerEntry(DrawHost* host) {
  if (!settings.error_file_given) return;
  ViewLayerEntry& marker = LayerTable()[kMarkerEntry];
  marker.colour = palette.color(kSlotBackground) == 0 ? 0xFFFFFF : 0x000000;
  marker.fill_mode = kFillPaint;
  if (marker.library == kGdxNoHandle) return;
  in_redraw_ = true;
  for (int layer = 0; layer < kViewLayerCount && !window.cancelled(); ++layer) {
    const ViewLayerEntry& entry = LayerTable()[layer];
    if (!UsedWithData(entry) || !entry.shown) continue;
    SelectLayerPen(kMarkerEntry);
    DrawElementBlock(host, marker.library, layer);
  }
  in_redraw_ = false;
}

// ---- Overlays ----

void ViewerDisplay::DrawOverlays() {
  if (settings.frames_display != 0) {
    for (int layer = 0; layer < kViewLayerCount; ++layer) {
      const ViewLayerEntry& entry = LayerTable()[layer];
      if (!UsedWithData(entry) || !entry.shown) continue;
      const LayerOffset offset = LayerDisplayOffset(entry);
      DrawFrameGrid(offset.x, RoundClamped(-double(offset.y)));
    }
  }
  if (settings.glass_on) DrawGlass();
  DrawGrid();
}

void ViewerDisplay::DrawLogicalLine(LogicalPoint a, LogicalPoint b) {
  if (window.ClipSegmentToView(&a, &b)) surface.DibLine(a.x, a.y, b.x, b.y);
}

void ViewerDisplay::DrawFrameGrid(int32_t x, int32_t y) {
  const int64_t px = settings.frame_pitch_x, py = settings.frame_pitch_y;
  const int64_t nx = settings.frame_columns, ny = settings.frame_rows;
  if (px <= 0 || py <= 0 || nx <= 0 || ny <= 0) return;
  const uint8_t saved = surface.color_index();
  const DisplayColor saved_color = surface.current_color();
  SelectColorPen(ContrastColor());
  const bool outline_only = settings.frames_display == 1;
  const int64_t step_x = outline_only ? nx * px : px, step_y = outline_only ? ny * py : py;
  const int64_t lines_x = outline_only ? 1 : nx, lines_y = outline_only ? 1 : ny;
  auto line = [&](int64_t ax, int64_t ay, int64_t bx, int64_t by) {
    const double lx0 = window.WorldToLogicalX(double(ax)), ly0 = window.WorldToLogicalY(double(ay));
    const double lx1 = window.WorldToLogicalX(double(bx)), ly1 = window.WorldToLogicalY(double(by));
    DrawLogicalLine({RoundClamped(lx0, kLogicalLimit), RoundClamped(ly0, kLogicalLimit)},
                    {RoundClamped(lx1, kLogicalLimit), RoundClamped(ly1, kLogicalLimit)});
  };
  for (int64_t i = 0; i <= lines_x; ++i) line(x + i * step_x, y, x + i * step_x, y + ny * py);
  for (int64_t j = 0; j <= lines_y; ++j) line(x, y + j * step_y, x + nx * px, y + j * step_y);
  surface.SetColorIndex(saved, saved_color);
}

void ViewerDisplay::DrawWidePolyline(std::span<const LogicalPoint> points, int32_t width) {
  std::array<int32_t, 26> outline{};
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const std::array<int32_t, 4> segment = {points[i].x, points[i].y, points[i + 1].x,
                                            points[i + 1].y};
    int32_t room = 13;
    if (SweepSegmentOutline(segment, width, width, kSweepSquarePen, outline, room) != kSweepDone) {
      DrawLogicalLine(points[i], points[i + 1]);
      continue;
    }
    std::array<LogicalPoint, 13> polygon;
    for (int32_t k = 0; k < room; ++k) polygon[k] = {outline[2 * k], outline[2 * k + 1]};
    fill.FillPolygon(&surface, std::span(polygon.data(), room), window.view());
  }
}

namespace {

// The glass's width, height and margin in world units and its corner offset.
struct GlassGeometry {
  double w, h, margin, sx, sy;
};

std::optional<GlassGeometry> Glass(const DisplaySettings& settings) {
  if (settings.plate_kind_flags == 0 || settings.metres_per_user_unit <= 0) return std::nullopt;
  const double m = settings.coordinate_divisor;
  const double k = (settings.glass_unit_mm ? 0.001 : 0.0254) / settings.metres_per_user_unit / 100;
  GlassGeometry g;
  g.w = std::round(settings.glass_width * k * m);
  g.h = std::round(settings.glass_height * k * m);
  g.margin = std::round(settings.glass_margin * k * m);
  g.sx = (settings.plate_kind_flags & 2) ? -g.w / 2 : 0;
  g.sy = (settings.plate_kind_flags & 2) ? -g.h / 2 : 0;
  return g;
}

}  // namespace

std::optional<GdxRect> ViewerDisplay::GlassRectangle() const {
  const std::optional<GlassGeometry> g = Glass(settings);
  if (!g) return std::nullopt;
  return GdxRect{RoundClamped(g->sx), RoundClamped(g->sy), RoundClamped(g->sx + g->w),
                 RoundClamped(g->sy + g->h)};
}

void ViewerDisplay::DrawGlass() {
  const std::optional<GlassGeometry> glass = Glass(settings);
  if (!glass) return;
  const uint8_t saved = surface.color_index();
  const DisplayColor saved_color = surface.current_color();
  SelectColorPen(ContrastColor());
  const auto [w, h, margin, sx, sy] = *glass;
  auto at = [&](double x, double y) {
    return LogicalPoint{RoundClamped(window.WorldToLogicalX(x + sx), kLogicalLimit),
                        RoundClamped(window.WorldToLogicalY(y + sy), kLogicalLimit)};
  };
  const std::array<LogicalPoint, 5> outer = {at(0, 0), at(w, 0), at(w, h), at(0, h), at(0, 0)};
  DrawWidePolyline(outer, 4);
  const std::array<LogicalPoint, 5> inner = {at(margin, margin), at(w - margin, margin),
                                             at(w - margin, h - margin), at(margin, h - margin),
                                             at(margin, margin)};
  DrawDashedPolyline(inner, 0.125 * std::max(w, h) * window.scale());
  if (settings.glass_cross_hair) {
    DrawLogicalLine(at(w / 2, 0), at(w / 2, h));
    DrawLogicalLine(at(0, h / 2), at(w, h / 2));
  }
  surface.SetColorIndex(saved, saved_color);
}

void ViewerDisplay::DrawDashedPolyline(std::span<const LogicalPoint> points, double dash_scale) {
  const double period = kDashPeriod * dash_scale;
  // No period to lay a pattern out with: the line is drawn solid.
  if (!(period >= 1.0)) {
    for (size_t i = 0; i + 1 < points.size(); ++i) DrawLogicalLine(points[i], points[i + 1]);
    return;
  }
  const double dash = kDash * dash_scale;
  const ViewRect& v = window.view();
  double phase = 0.0;
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const double ax = points[i].x, ay = points[i].y;
    const double dx = points[i + 1].x - ax, dy = points[i + 1].y - ay;
    const double length = std::hypot(dx, dy);
    if (length == 0) continue;
    // Only the part of the segment inside the view is laid out (the pattern keeps its
    // phase), so a glass far larger than the view costs no more than the view.
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - (v.left - 1), (v.right + 1) - ax, ay - (v.top - 1),
                         (v.bottom + 1) - ay};
    for (int k = 0; k < 4 && t0 <= t1; ++k) {
      if (p[k] == 0) {
        if (q[k] < 0) t1 = -1.0;
        continue;
      }
      const double t = q[k] / p[k];
      p[k] < 0 ? t0 = std::max(t0, t) : t1 = std::min(t1, t);
    }
    for (double at = t0 * length; at < t1 * length;) {
      const double in_period = std::fmod(phase + at, period);
      const bool on = in_period < dash;
      const double piece = std::min(t1 * length - at, (on ? dash : period) - in_period);
      if (on) {
        const double s0 = at / length, s1 = (at + piece) / length;
        DrawLogicalLine({RoundClamped(ax + s0 * dx), RoundClamped(ay + s0 * dy)},
                        {RoundClamped(ax + s1 * dx), RoundClamped(ay + s1 * dy)});
      }
      at += std::max(piece, 1e-9);
    }
    phase = std::fmod(phase + length, period);
  }
}

void ViewerDisplay::DrawGrid() {
  if (!settings.grid_on) return;
  const int64_t spacing = settings.grid_spacing;
  if (spacing < 1) return;
  const double pixels =
      std::fabs(window.WorldToLogicalX(double(spacing)) - window.WorldToLogicalX(0));
  if (pixels < kMinGridPixels) {
    if (!grid_warning_shown_) {
      grid_warning_shown_ = true;
      ShowMessage("Grid spacing too small.  No grid drawn.", "WARNING", MessageIcon::kWarning);
    }
    return;
  }
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  window.LogicalToWorld({0, 0}, &x0, &y0);
  window.LogicalToWorld({window.client_width(), window.client_height()}, &x1, &y1);
  auto snap = [&](int64_t c) {
    const int64_t shifted = c >= 0 ? c + spacing / 2 : c - spacing / 2;
    return shifted / spacing * spacing;
  };
  const uint8_t saved = surface.color_index();
  const DisplayColor saved_color = surface.current_color();
  SelectColorPen(ContrastColor());
  const ViewRect& v = window.view();
  for (int64_t y = snap(y0); y >= int64_t{y1} - spacing; y -= spacing) {
    const int32_t ly = RoundClamped(window.WorldToLogicalY(double(y)), kLogicalLimit);
    if (ly < v.top || ly > v.bottom) continue;
    for (int64_t x = snap(x0); x <= int64_t{x1} + spacing; x += spacing) {
      const int32_t lx = RoundClamped(window.WorldToLogicalX(double(x)), kLogicalLimit);
      if (lx >= v.left && lx <= v.right) surface.DibSetPixel(lx, ly);
    }
  }
  surface.SetColorIndex(saved, saved_color);
}

// ---- Extents and freeing ----

int ViewerDisplay::ComputeJobExtents() {
  GdxRect box{2147483647, 2147483647, -2147483647, -2147483647};
  double ratio = 0.0;
  bool any = false;
  for (int layer = 0; layer < kViewLayerCount; ++layer) {
    const ViewLayerEntry& entry = LayerTable()[layer];
    if (entry.path.empty()) continue;
    const LayerOffset offset = LayerDisplayOffset(entry);
    const int64_t ox = offset.x, oy = -int64_t{offset.y};
    if (GdxLibrary* library = GdxLibraryFromHandle(entry.library)) {
      if (library->user_unit > 0) ratio = library->scale_factor / library->user_unit;
      const GdxStructure* s = GdxFindStructureById(library, library->current_structure_id);
      // A structure without elements has no box: it adds nothing.
      if (s == nullptr || s->extents.min_x > s->extents.max_x ||
          s->extents.min_y > s->extents.max_y || IsEmpty(*s)) {
        continue;
      }
      Widen(&box, s->extents.min_x + ox, s->extents.min_y + oy, s->extents.max_x + ox,
            s->extents.max_y + oy);
      any = true;
    } else if (entry.frame_count > 0) {
      const int32_t sections =
          std::min(Wf2FrameIndexSections(entry.frame_block), entry.frame_count);
      for (int32_t k = 0; k < sections; ++k) {
        const auto frame = ReadWf2FrameIndexEntry(entry.frame_block, k);
        if (!frame || frame->box.min_x > frame->box.max_x || frame->box.min_y > frame->box.max_y) {
          continue;
        }
        Widen(&box, frame->box.min_x + ox, frame->box.min_y + oy, frame->box.max_x + ox,
              frame->box.max_y + oy);
        any = true;
      }
    }
  }
  if (!any) {
    // A job without elements still gets a view, so that the glass, the grid and the zoom
    // commands have a place to work in; its coordinates show in the files' unit when a
    // loaded file names one.
    job_extents_ = GdxRect{0, 0, 1000, 1000};
    window.ZoomToRect(job_extents_, ratio > 0 ? RoundClamped(ratio) : 1000);
    return 1;
  }
  const int32_t divisor =
      ratio > 0 ? RoundClamped(ratio) : std::max(settings.coordinate_divisor, 1);
  window.ZoomToRect(box, divisor);
  job_extents_ = box;
  if (ratio > 0) settings.chord_tolerance = 2.0 / ratio;
  return 0;
}

void ViewerDisplay::FreeLayerLibraries() {
  ResetFrameCache();
  for (int layer = 0; layer < kViewLayerCount; ++layer) {
    ViewLayerEntry& entry = LayerTable()[layer];
    if (entry.library == kGdxNoHandle) continue;
    GdxFreeLibrary(entry.library);
    entry.library = kGdxNoHandle;
    entry.path.clear();
  }
}

}  // namespace kavrinth
