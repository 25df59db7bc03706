// The viewer's display without a window: the drawing window's state, the off-screen
// surface and palette, the polygon fill, the element drawers and the layer redraw with its
// overlays. The window that shows the surface is a DrawHost.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "viewer/display/display_surface.h"
#include "viewer/display/draw_window.h"
#include "viewer/display/polygon_fill.h"
#include "viewer/model/gdx_database.h"

namespace kavrinth {

// What a redraw asks of the window it draws for. Every call is optional.
class DrawHost {
 public:
  virtual ~DrawHost() = default;
  // Delivers the window's waiting input; a Cancel asked for takes effect here (every 200
  // elements and after each layer).
  virtual void DeliverInput() {}
  // Shows the status text ("Entities Drawn 42%"); the default sends it to the main frame
  // through the viewer services.
  virtual void ShowStatus(std::string_view text);
  // Copies the surface to the window (after each layer and frame).
  virtual void ShowSurface() {}
  virtual void SetWaitCursor(bool /*on*/) {}
};

// Results of the drawing routines.
enum DrawResult : int {
  kDrawDone = 0,
  kDrawNothing = 1,    // no structure (or no surface) to draw
  kDrawCancelled = 2,  // the user cancelled: the picture is incomplete
  kDrawNoBuffers = 3,
};

// Element index flags.
inline constexpr int32_t kElementSelected = 1;
inline constexpr int32_t kElementDeleted = 2;
inline constexpr int32_t kElementSecondHighlight = 4;
// The layer table's entry of the error-coordinate markers.
inline constexpr int kMarkerEntry = 1025;
// Input is delivered every this many elements.
inline constexpr int32_t kInputInterval = 200;

// Display settings the redraw reads (the frame and the settings dialogs own them).
struct DisplaySettings {
  int32_t fill_mode = 1;           // 0 outline, 1 fill, 2 fill with stroked edges ("FillOn")
  bool layer_colour_only = false;  // "-fbclr": WF2 frames in rotating colours
  bool error_file_given = false;   // "-vefn:": the markers are drawn
  DisplayColor highlight_color = 0xFFFFFF;
  // Arcs: the chord tolerance in world units (0: none) and the largest step angle.
  double chord_tolerance = 0.0;
  double max_step_degrees = 9.0;
  // Overlays.
  int32_t frames_display = 0;  // 0 off, 1 outline only, other values the full grid
  bool glass_on = false;
  double glass_width = 5.0;
  double glass_height = 5.0;
  double glass_margin = 0.0;
  bool glass_unit_mm = false;  // else inches
  bool glass_cross_hair = false;
  bool grid_on = false;
  int32_t grid_spacing = 1;  // world units
  // The loaded data's plate kind (bit 1 a plate, bit 2 centred on the origin).
  int32_t plate_kind_flags = 0;
  // The loaded data's units: metres per user unit and the coordinate divisor.
  double metres_per_user_unit = 1e-6;
  int32_t coordinate_divisor = 1000;
  // WF2 frame grid: frame pitch in world units and the columns and rows of frames.
  int32_t frame_pitch_x = 0;
  int32_t frame_pitch_y = 0;
  int32_t frame_columns = 0;
  int32_t frame_rows = 0;
};

// A copy of the element a query found: drawn in the highlight colour after every block of
// its layer, so that a redraw keeps it marked.
struct QueryHighlight {
  int layer = -1;  // -1: none
  int32_t type = 0;
  int32_t flags = 0;  // its index flags when it was found
  std::vector<GdxWord> data;
  bool valid() const { return layer >= 0 && !data.empty(); }
};

// The polyline of an arc from start s to end e counter-clockwise about the centre c (a full
// circle when s equals e): steps of at most `max_step` radians, finer where the chord would
// stray more than `tolerance` from a circle of the radius, at most 200 steps. Points (x, y
// pairs) replace the content of `out`; returns their count (at most 202).
int ArcToPoints(std::vector<GdxWord>* out, const GdxWord* c, const GdxWord* s, const GdxWord* e,
                double radius, double tolerance, double max_step);

class ViewerDisplay {
 public:
  ViewerDisplay();

  DrawWndState window;
  DisplaySurface surface;
  DisplayPalette palette;
  PolygonFill fill;
  DisplaySettings settings;
  // Draws the pending edits of a full redraw, after the markers and before the overlays so
  // that the grid, glass and frame lines stay over them (none: nothing). A cancelled
  // drawing passes no host: no input is delivered again.
  std::function<void(ViewerDisplay&, DrawHost*)> draw_pending_edits;

  // ---- Surface ----
  // A surface for the client size (the view geometry follows it); false when none could
  // be made, and then nothing draws.
  bool ResizeOffscreenSurface(int32_t client_width, int32_t client_height);
  // Sets a palette slot (8 the background, 10 the window's colour).
  void DefineDisplayColor(int slot, DisplayColor color) { palette.DefineDisplayColor(slot, color); }
  // Makes the colour current in the surface.
  void SelectColorPen(DisplayColor color) { surface.SelectColorPen(palette, color); }
  // The pen of a layer: Paint its colour, Scratch and Negative the background.
  void SelectLayerPen(int layer);

  // ---- Layer redraw ----
  // Clears the surface and draws every shown layer, the markers, the pending edits and the
  // overlays.
  // kDrawDone, kDrawNothing (no surface, no view, or a loaded frame without structure) or
  // kDrawCancelled; only kDrawDone leaves a complete picture. A cancelled drawing stops
  // after the element under way and still draws the markers and overlays over what it drew.
  int DrawAllLayers(DrawHost* host);
  void DrawNegativeBackground(int layer);
  void DrawMarkerEntry(DrawHost* host);
  void DrawOverlays();
  void DrawGrid();
  void DrawFrameGrid(int32_t x, int32_t y);
  void DrawGlass();
  // The glass rectangle in world units (the plate outline the glass draws); none when the
  // loaded data places no plate.
  std::optional<GdxRect> GlassRectangle() const;
  // A polyline in dash pattern 1 scaled by `dash_scale` (0 or less: solid).
  void DrawDashedPolyline(std::span<const LogicalPoint> points, double dash_scale);
  // The extents of the loaded layers and the view fitted to them: 0, or 1 when nothing is
  // loaded (the extents are then (0, 0)-(1000, 1000)).
  int ComputeJobExtents();
  const GdxRect& job_extents() const { return job_extents_; }
  // The drawing hook run before the redraw-after-hook command draws: nothing in this build.
  void NoDrawHook() {}
  // Frees the loaded WF2 frame and every layer's library, marking the entries unused.
  void FreeLayerLibraries();
  // Forgets the loaded WF2 frame (freeing its library): on New, Open and a hand-over.
  void ResetFrameCache();
  // The WF2 frame kept loaded: its library (none when no frame is kept), layer and index.
  GdxHandle loaded_frame(int* layer, int32_t* index) const {
    *layer = loaded_frame_layer_;
    *index = loaded_frame_index_;
    return loaded_frame_library_;
  }
  // Whether the grid warning was shown in this run.
  bool grid_warning_shown() const { return grid_warning_shown_; }
  // Lets the next grid too dense to draw say so again (a new grid was asked for).
  void RearmGridWarning() { grid_warning_shown_ = false; }

  // ---- Element drawing ----
  // Draws the current structure of the library for the layer: kDrawDone, kDrawNothing (no
  // structure or surface) or kDrawCancelled.
  int DrawElementBlock(DrawHost* host, GdxHandle library, int layer);
  // Draws the listed index entries (page, word position) of the layer's library with
  // their flags in the layer's pen: the elements a pick or an undo changed, without a full
  // redraw. kDrawDone, or kDrawNothing (no surface, layer not shown or not loaded).
  int DrawHitEntries(int layer, std::span<const std::pair<GdxHandle, int32_t>> entries);
  // The listed entries of several layers (layer, entries), and the listed elements of WF2
  // layers held as a frame index (layer, element numbers in the layer from 1), drawn layer
  // by layer in table order, then the overlays again: the elements drawn would otherwise
  // cover the grid points, glass and frame lines that lay over them. A WF2 layer's frames
  // are walked as a full drawing walks them: only the frames in view that hold a listed
  // element are loaded, and only their listed elements drawn. A deleted element is drawn
  // in the background: it goes from the picture. kDrawDone, or kDrawNothing at the first
  // layer that cannot be drawn (a full drawing is then needed).
  using HitEntryList = std::vector<std::pair<GdxHandle, int32_t>>;
  using HitNumberList = std::vector<int32_t>;
  int RedrawRegion(const std::map<int, HitEntryList>& by_layer,
                   const std::map<int, HitNumberList>& numbers_by_layer = {});
  // Draws one stored element record of the type with its index flags.
  void DrawStoredElement(const GdxWord* data, int32_t type, int32_t flags);
  // Draws a copied element of the layer in the layer's pen and offset, highlighted or with
  // its own flags: kDrawDone, or kDrawNothing (no surface, layer not shown).
  int DrawQueryElement(const QueryHighlight& element, bool highlighted);
  // The query's element drawn highlighted by every later drawing of its layer (none: an
  // element with layer -1).
  void SetQueryHighlight(QueryHighlight element) { query_highlight_ = std::move(element); }
  const QueryHighlight& query_highlight() const { return query_highlight_; }
  // Flags set before (mask 0) and cleared (mask 1), then set (2) and cleared (3) after
  // each element is drawn; count 0, 2 or 4.
  void SetDrawFlagMasks(std::span<const int32_t> masks);
  // The counters of the layer drawn last.
  int32_t elements_drawn() const { return element_counter_; }
  int32_t percentage() const { return percentage_; }

 private:
  // Element drawing (element_draw.cpp)
  int DrawDisplayList(DrawHost* host, GdxLibrary* library, int depth);
  bool CountElement(DrawHost* host);
  void ResetLayerProgress(int layer);
  uint8_t ElementColorIndex(int layer);
  void DrawFilledBoundary(const GdxWord* points, int32_t count);
  void DrawPathOutline(const GdxWord* data, const GdxWord* points, int32_t count, bool boundary);
  void DrawCircle(const GdxWord* data, const GdxWord* points);
  void DrawArc(const GdxWord* data, const GdxWord* points, int32_t width);
  void DrawVertexMarkers(const GdxWord* points, int32_t count);
  // World points with the layer's offset into device points: the polygon cut to the
  // logical range when it leaves it, repeated points dropped.
  int PolygonToDevice(const GdxWord* points, int32_t count);
  void DrawDeviceSegment(double x0, double y0, double x1, double y1);
  void DrawWorldSegment(const GdxWord* a, const GdxWord* b);
  void FillDevicePolygon(int32_t count);
  void SweepEdges(int32_t count, int32_t pen);
  double DeviceX(double x) const {
    return (x + layer_offset_x_) * window.scale() - window.offset_x();
  }
  double DeviceY(double y) const {
    return -(y - layer_offset_y_) * window.scale() - window.offset_y();
  }
  int32_t LengthToPixels(double length) const;

  // Layer redraw (layer_redraw.cpp)
  int DrawLayer(DrawHost* host, int layer);
  int DrawWf2Layer(DrawHost* host, int layer);
  // Whether the frame box of the layer meets the view.
  bool FrameInView(int layer, const GdxRect& box) const;
  // The frame's library, kept loaded until another frame is needed: none when it cannot be
  // loaded.
  GdxHandle LoadFrame(DrawHost* host, int layer, int32_t k);
  // The listed elements (sorted numbers) of a WF2 layer held as a frame index.
  int DrawWf2Hits(int layer, const HitNumberList& numbers);
  void DrawHitElement(const GdxWord* data, int32_t type, int32_t flags);
  void DrawLogicalLine(LogicalPoint a, LogicalPoint b);
  void DrawWidePolyline(std::span<const LogicalPoint> points, int32_t width);
  DisplayColor ContrastColor() const;
  // Gives back the palette's custom slots whose colours neither a layer nor the highlight
  // uses any more: a full drawing starts on a cleared surface, so that nothing drawn
  // still shows them.
  void ReleaseUnusedColours();

  // Draw state
  int layer_ = 0;
  double layer_offset_x_ = 0.0;  // database units: added to x, taken from y
  double layer_offset_y_ = 0.0;
  int highlight_style_ = 0;
  std::vector<int32_t> flag_masks_;
  int32_t element_counter_ = 0;
  int64_t element_total_ = 0;
  int64_t threshold_ = 0;
  int64_t threshold_step_ = 1;
  int32_t percentage_ = 0;
  int32_t library_unit_factor_ = 1;
  // Work buffers, grown to the largest element and kept.
  std::vector<LogicalPoint> device_;
  std::vector<int32_t> outline_;
  std::vector<int32_t> distinct_points_;  // a path's points without its repeated ones
  std::vector<GdxWord> arc_points_;
  std::vector<LogicalPoint> sweep_;
  std::vector<double> clip_a_;
  std::vector<double> clip_b_;
  bool in_redraw_ = false;
  QueryHighlight query_highlight_;

  // Redraw state
  GdxRect job_extents_{0, 0, 1000, 1000};
  bool grid_warning_shown_ = false;
  int loaded_frame_layer_ = -1;
  int32_t loaded_frame_index_ = -1;
  GdxHandle loaded_frame_block_ = kGdxNoHandle;
  GdxHandle loaded_frame_library_ = kGdxNoHandle;
  std::string loaded_frame_path_;
};

}  // namespace kavrinth
