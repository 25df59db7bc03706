// The drawing window's mouse modes and commands: zoom window, in, out, pan, measure, the
// point and window queries, copy window and plot window. Clicks are decided when the button
// is released; the band between two clicks is kept here and drawn by the window over the
// picture. The window itself is a DrawModeHost.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "viewer/display/draw_window.h"
#include "viewer/interact/vertex_query.h"
#include "viewer/model/gdx_database.h"

namespace kavrinth {

// The drawing window's command ids.
enum DrawWindowCommand : int32_t {
  kDrawNoMode = 0,
  kDrawAll = 8203,
  kDrawZoomWindow = 8204,
  kDrawZoomIn = 8206,
  kDrawZoomOut = 8207,
  kDrawRedraw = 8208,
  kDrawHookRedraw = 8211,  // the redraw after the drawing hook
  kDrawMeasure = 8212,
  kDrawBoxPending = 8213,
  kDrawPointQuery = 8214,
  kDrawWindowQuery = 8215,
  kDrawCopyWindow = 8216,
  kDrawCopyAll = 8217,
  kDrawTearOff = 8228,
  kDrawLast = 8239,
  kDrawInclude = 8243,
  kDrawExclude = 8244,
  kDrawPlotWindow = 8264,
  kDrawLinePending = 8269,
  kDrawPan = 8270,
  kDrawCaptureView = 8271,
  kDrawRecallView = 8272,
};

// The status prompt of a mode (string id and text); {0, ""} for an id without one.
struct ModePrompt {
  int32_t id;
  const char* text;
};
ModePrompt PromptOfMode(int32_t mode, int32_t query_kind);

// The capture slot that keeps the picture of the whole job. kDrawAll with this slot as its
// parameter shows that picture (when the window can) in place of drawing the job.
inline constexpr int kFullViewSlot = kCaptureSlots;

// True for the modes that take a box or a line of two clicks.
bool IsTwoPointMode(int32_t mode);

// A rectangle in device pixels of the window, normalised (left <= right, top <= bottom).
struct DeviceBox {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
};

// What the modes ask of the window.
class DrawModeHost {
 public:
  virtual ~DrawModeHost() = default;
  // The view changed: a full redraw follows.
  virtual void Redraw() = 0;
  // Copies the box of the shown picture (device pixels) to the clipboard.
  virtual void CopyBox(const DeviceBox& box) = 0;
  // Starts a query of the mode on the world box: true when it ran.
  virtual bool StartQuery(int32_t mode, const GdxRect& world_box) = 0;
  // Ends a running query (its marker and highlight go).
  virtual void EndQuery() = 0;
  // Runs the drawing hook before a redraw, the window disabled and the wait cursor shown.
  virtual void RunDrawHook() {}
  // Plots the world rectangle.
  virtual void PlotWindow(const GdxRect& world_box) = 0;
  // The measure result: the info window's text.
  virtual void ShowMeasure(const std::string& text) = 0;
  // The mode, the prompt or the band changed (the window repaints its overlays).
  virtual void ModeChanged() = 0;
  // Captured views: stores the picture in the slot; true when stored.
  virtual bool StoreCapture(int slot) = 0;
  // Fills the picture from the slot: true when the stored picture fits the window as it is
  // now (else the view is drawn again at the slot's zoom).
  virtual bool LoadCapture(int slot) = 0;
  // End-point measuring: whether measures snap to vertices ("SnapEndPt"); a vertex query at
  // the world point that marks what it found (true) for the user to accept; the accepted
  // vertex (the query ends); the "Invalid point" report of a click that met no vertex.
  virtual bool EndPointSnap() const { return false; }
  virtual bool QueryMarker(int32_t /*x*/, int32_t /*y*/) { return false; }
  virtual bool TakeQueryHit(int32_t* /*x*/, int32_t* /*y*/) { return false; }
  virtual void InvalidPoint() {}
};

// The distance and the two steps of a measure, in world units; 64-bit so that any two
// points of the 32-bit world measure without overflow.
struct MeasureResult {
  int64_t dx = 0;
  int64_t dy = 0;
  int64_t distance = 0;  // rounded half away from zero
};
MeasureResult Measure(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// "Dist = %s\r\ndX = %s\r\ndY = %s" with every value in displayed units.
std::string MeasureText(const DrawWndState& window, const MeasureResult& result);
// A 64-bit world length in displayed units (FormatCoord beyond the 32-bit range).
std::string FormatLength(const DrawWndState& window, int64_t value);

class DrawModes {
 public:
  DrawModes(DrawWndState* window, DrawModeHost* host) : window_(window), host_(host) {}

  // A command of the drawing window (8203..8272); `param` is the slot of 8271 and 8272, and
  // of 8203 the stored full view's when it is still current. False for an id it does not
  // know.
  bool Command(int32_t id, int param = 0);
  static bool Handles(int32_t id);

  // Mouse in device pixels of the window. The press only remembers where it was: a press
  // and a release far apart in a two-click mode count as both clicks (a drag).
  void LeftPress(int32_t x, int32_t y);
  void LeftRelease(int32_t x, int32_t y);
  // The distance in pixels (both axes added) from which a press and its release make a
  // drag; closer they are one click.
  void set_drag_distance(int32_t pixels) { drag_distance_ = std::max(pixels, 1); }
  void MouseMove(int32_t x, int32_t y);
  // The right button: accepts the vertex an end-point measure found; otherwise only the
  // coordinates follow.
  void RightRelease(int32_t x, int32_t y);
  // The edit tools' end-point snap. InsertPointCheck accepts every point while snapping is
  // off; while it is on, it accepts only a point with a vertex within the query's aperture
  // (the vertex is marked and held) and refuses any other with the "Invalid point" report.
  // QueryMarkerAt then gives the held vertex in world units and ends its query: false when
  // the last check held none (snapping off, or the point was refused).
  bool InsertPointCheck(int32_t x, int32_t y);
  // The edit tools' cursor point (device pixels): the coordinate texts follow it (grid snap
  // applied) without touching the mode or its band. Returns the point, on its grid point
  // while grid snap is on.
  LogicalPoint PostCursorPoint(int32_t x, int32_t y) { return UpdateCursor(x, y); }
  bool QueryMarkerAt(int32_t* x, int32_t* y);
  // The end-point vertices accepted (by the right button of an end-point measure, or taken
  // by the edit tools through QueryMarkerAt), world units: each is marked with the
  // cross-hair over the picture until the picture is drawn again, Escape, or a new
  // measure's first vertex.
  const std::vector<std::pair<int32_t, int32_t>>& accepted_vertices() const {
    return accepted_vertices_;
  }
  void ClearAcceptedVertices() { accepted_vertices_.clear(); }
  // An end-point measure is under way (the right button is its own).
  bool end_point_measure() const { return active_mode() == kDrawMeasure && host_->EndPointSnap(); }
  // An end-point measure's click found a vertex that the right button is to accept.
  bool measure_vertex_pending() const { return end_point_measure() && vertex_pending_; }
  // Escape: a pending band is dropped; the redraw's cancel counter moves.
  void Escape();
  // The arrow keys: the view moves a tenth of its size (left and up scroll back).
  void ArrowKey(bool vertical, bool forward);

  int32_t mode() const { return mode_; }
  // The mode the user chose (also while its band is pending).
  int32_t active_mode() const { return band_pending() ? previous_mode_ : mode_; }
  int32_t query_command() const { return query_command_; }
  int32_t query_kind() const { return query_kind_; }
  void set_query_kind(int32_t kind) { query_kind_ = kind; }
  ModePrompt prompt() const { return PromptOfMode(active_mode(), query_kind_); }
  bool band_pending() const { return mode_ == kDrawBoxPending || mode_ == kDrawLinePending; }
  bool band_is_line() const { return mode_ == kDrawLinePending; }
  int32_t band_first_x() const { return first_x_; }
  int32_t band_first_y() const { return first_y_; }
  int32_t band_current_x() const { return current_x_; }
  int32_t band_current_y() const { return current_y_; }
  // The last mouse point, snapped to the grid when grid snap is on.
  int32_t mouse_x() const { return mouse_x_; }
  int32_t mouse_y() const { return mouse_y_; }
  // The cursor in world units and as displayed text.
  int32_t cursor_world_x() const { return cursor_world_x_; }
  int32_t cursor_world_y() const { return cursor_world_y_; }
  const std::string& cursor_x_text() const { return cursor_x_text_; }
  const std::string& cursor_y_text() const { return cursor_y_text_; }
  const std::string& info_text() const { return info_text_; }
  // The captured views' valid flags (slots 0 to 9).
  bool capture_valid(int slot) const { return slot >= 0 && slot < kCaptureSlots && valid_[slot]; }
  // Close, New and Open: every capture is forgotten.
  void InvalidateCaptures();
  // Forgets the mode and any band (a job closed or opened).
  void Reset();
  // Ends a point or window query and its mode (before a plot).
  void EndQueryMode();

 private:
  void SelectMode(int32_t id);
  // The coordinate texts follow the point; returns it snapped to the grid when grid snap is
  // on (device pixels).
  LogicalPoint UpdateCursor(int32_t x, int32_t y);
  void Click(int32_t x, int32_t y);
  void FinishBand(int32_t x, int32_t y);
  // The view changed: it is drawn, or shown from the capture slot when one is given and the
  // window can show it.
  void AfterViewChange(int recall_slot = -1);
  void RestoreBand();
  void EndPointClick(int32_t x, int32_t y);
  LogicalPoint ToLogical(int32_t x, int32_t y) const;

  DrawWndState* window_;
  DrawModeHost* host_;
  int32_t mode_ = kDrawNoMode;
  int32_t previous_mode_ = kDrawNoMode;
  int32_t query_command_ = 0;
  int32_t query_kind_ = kQueryVertex;
  int32_t first_x_ = 0, first_y_ = 0, current_x_ = 0, current_y_ = 0;
  int32_t mouse_x_ = 0, mouse_y_ = 0;
  int32_t first_world_x_ = 0, first_world_y_ = 0;
  int32_t cursor_world_x_ = 0, cursor_world_y_ = 0;
  std::string cursor_x_text_, cursor_y_text_;
  std::string info_text_;
  // A measure band put aside while another mode takes a click: its first corner in world
  // units; it comes back once that click is done.
  // End-point measure: a vertex found and waiting for the right button, and the vertices
  // accepted so far (world units).
  bool vertex_pending_ = false;
  // A vertex the edit tools' last insertion check found, waiting for QueryMarkerAt.
  bool insert_point_pending_ = false;
  int measure_count_ = 0;
  std::array<int32_t, 4> measure_points_{};
  bool saved_band_ = false;
  int32_t saved_world_x_ = 0, saved_world_y_ = 0;
  bool press_valid_ = false;
  int32_t press_x_ = 0, press_y_ = 0;
  int32_t drag_distance_ = 10;
  std::vector<std::pair<int32_t, int32_t>> accepted_vertices_;
  std::array<bool, kCaptureSlots> valid_{};
};

}  // namespace kavrinth
