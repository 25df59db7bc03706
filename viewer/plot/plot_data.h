// The plot data file: the shown layers that meet the plot window, written in the viewer's
// GDSII format as one structure "TOP" with the plot settings as library properties and
// the colour changes as named properties between the elements.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "viewer/model/gdx_database.h"

namespace kavrinth {

// What the plot takes from the display at the start of every plot.
struct PlotDisplay {
  GdxRect view_window;  // the drawing window's client rectangle in world coordinates
  GdxRect job_extents;
  int32_t fill_mode = 1;       // 0 outline, 1 fill, 2 fill with stroked edges
  int32_t frames_display = 0;  // 0 off, 1 border only, 2 every frame line
  bool glass_shown = false;
  // The glass rectangle of the job's format; none when the format places no glass.
  std::optional<GdxRect> glass;
  int32_t glass_outline_width = 0;  // world length of four device pixels
  // The WF2 frame grid: frame width and height in database units, columns and rows.
  int32_t frame_width = 0;
  int32_t frame_height = 0;
  int32_t frame_columns = 0;
  int32_t frame_rows = 0;
  // Arcs become polylines whose chords stray at most this far (world units; 0: 2 degree
  // steps).
  double chord_tolerance = 0.0;
};

// What the plot commands ask of the viewer's window. Every call has a default for a viewer
// without one.
class PlotHost {
 public:
  virtual ~PlotHost();
  // The frame window handed to the plot libraries (their dialogs' owner; may be null).
  virtual void* FrameHandle() { return nullptr; }
  virtual PlotDisplay Display() { return {}; }
  // Offers to save pending edits: 2 when the user cancelled.
  virtual int SaveEditedLayers() { return 0; }
  // Ends the point or window query when one is active.
  virtual void EndQueryMode() {}
  // Status-line text; empty gives the idle text back. The frame's waiting messages are
  // delivered.
  virtual void ShowStatus(std::string_view /*text*/) {}
  // Where the plot's temporary files go (the viewer's private temporary directory).
  virtual std::string TemporaryDirectory();
  // Loads section k of a WF2 layer loaded in sections, sharing the one loaded section with
  // the display: its library, or 0 when it cannot be loaded. The default keeps its own.
  virtual GdxHandle LoadFrame(int layer, int32_t k);

 private:
  int loaded_layer_ = -1;
  int32_t loaded_section_ = -1;
  GdxHandle loaded_frame_ = kGdxNoHandle;
};

// The plot window and its pending flag, kept between plots.
struct PlotWindowState {
  GdxRect window;
  bool pending = false;
};
PlotWindowState& PlotWindowStore();
// Stores the rectangle, ordered, as the plot window for the next plot (nothing for a
// rectangle of zero width or height); true when stored.
bool StorePlotWindow(const GdxRect& rect);

// Results of GeneratePlotData.
enum PlotDataResult : int {
  kPlotDataWritten = 0,
  kPlotDataNotCreated = 1,  // the file could not be created or written
  kPlotDataNothing = 2,     // nothing to plot (the plot window misses the glass)
};

// Writes the plot data file. With a configuration path the view window is taken and the
// plot settings are read through the plot library and written as library properties.
// Messages are shown for every failure; the file is removed unless the result is 0.
int GeneratePlotData(PlotHost* host, const std::string* config_path, const std::string& file);

}  // namespace kavrinth
