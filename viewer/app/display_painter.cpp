// The view's picture from the display library's surface.
#include "viewer/app/display_painter.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "support/paths.h"
#include "viewer/app/lumra_doc.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

QPointer<QWidget> picture_widget;
std::function<void(ViewerDisplay&, DrawHost*)> edit_layers_painter;
// The picture is shown at most this often while it is drawn (a job may have a thousand
// layers; showing each would cost more than drawing it).
constexpr qint64 kShowIntervalMs = 40;

// Copies the surface into the picture: its rows and its colour table.
void ShowInPicture(const ViewerDisplay& display, QImage* picture) {
  const DisplaySurface& surface = display.surface;
  const int width = std::min(surface.width(), picture->width());
  const int height = std::min(surface.height(), picture->height());
  for (int y = 0; y < height; ++y) {
    std::memcpy(picture->scanLine(y), surface.bits() + static_cast<size_t>(y) * surface.stride(),
                static_cast<size_t>(width));
  }
  const auto table = display.palette.ArgbTable();
  picture->setColorTable(QList<QRgb>(table.begin(), table.end()));
}

// The redraw's window: input is delivered through the view's cancel test, and the picture
// is brought up to date and shown after each layer (at most every 40 ms) so that it builds
// up as it is drawn.
class PictureHost : public DrawHost {
 public:
  PictureHost(ViewerDisplay* display, QImage* picture, const std::function<bool()>& cancelled)
      : display_(display), picture_(picture), cancelled_(cancelled) {}
  void DeliverInput() override {
    if (cancelled_ && cancelled_()) display_->window.RequestCancel();
  }
  void ShowSurface() override {
    if (picture_widget == nullptr || (shown_.isValid() && shown_.elapsed() < kShowIntervalMs)) {
      return;
    }
    ShowInPicture(*display_, picture_);
    picture_widget->repaint();
    shown_.start();
  }

 private:
  ViewerDisplay* display_;
  QImage* picture_;
  const std::function<bool()>& cancelled_;
  QElapsedTimer shown_;
};

}  // namespace

ViewerDisplay& AppDisplay() {
  static ViewerDisplay display;
  return display;
}

bool JobHasWf2Layer() {
  for (int n = 0; n < kViewLayerCount; ++n) {
    std::string extension;
    SplitExtension(LayerTable()[n].path, nullptr, &extension);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".wf2") return true;
  }
  return false;
}

void SetFrameGridOfJob() {
  DisplaySettings& settings = AppDisplay().settings;
  settings.frame_pitch_x = settings.frame_pitch_y = 0;
  settings.frame_columns = settings.frame_rows = 0;
  if (!JobHasWf2Layer()) return;
  // The frames lie from the origin up and to the right: a column per strip, a row per frame.
  const Wf2ScanValues& wf2 = LastWf2Scan();
  const int64_t pitch_x = int64_t{wf2.header.frame_width} * wf2.scale_factor;
  const int64_t pitch_y = int64_t{wf2.header.frame_height} * wf2.scale_factor;
  if (pitch_x <= 0 || pitch_y <= 0 || pitch_x > INT32_MAX || pitch_y > INT32_MAX) return;
  settings.frame_pitch_x = static_cast<int32_t>(pitch_x);
  settings.frame_pitch_y = static_cast<int32_t>(pitch_y);
  settings.frame_columns = wf2.header.strips;
  settings.frame_rows = wf2.header.frames_per_strip;
}

bool PaintOverlays(QImage* picture) {
  ViewerDisplay& display = AppDisplay();
  if (!AppState().picture_valid || display.surface.width() != picture->width() ||
      display.surface.height() != picture->height()) {
    return false;
  }
  display.DrawOverlays();
  ShowInPicture(display, picture);
  return true;
}

void SetPictureWidget(QWidget* widget) { picture_widget = widget; }

bool PaintHitEntries(QImage* picture, const std::map<int, ViewerDisplay::HitEntryList>& by_layer,
                     const std::map<int, ViewerDisplay::HitNumberList>& numbers_by_layer) {
  ViewerDisplay& display = AppDisplay();
  if (!AppState().picture_valid || display.surface.width() != picture->width() ||
      display.surface.height() != picture->height()) {
    return false;
  }
  if (display.RedrawRegion(by_layer, numbers_by_layer) != kDrawDone) return false;
  ShowInPicture(display, picture);
  return true;
}

bool PaintQueryHighlight(QImage* picture, const QueryHighlight& before, const QueryHighlight& now) {
  ViewerDisplay& display = AppDisplay();
  if (!AppState().picture_valid || AppState().drawing_active ||
      display.surface.width() != picture->width() ||
      display.surface.height() != picture->height()) {
    return false;
  }
  bool drawn = false;
  if (before.valid()) drawn |= display.DrawQueryElement(before, false) == kDrawDone;
  if (now.valid()) drawn |= display.DrawQueryElement(now, true) == kDrawDone;
  if (drawn) ShowInPicture(display, picture);
  return drawn;
}

void SetEditLayersPainter(std::function<void(ViewerDisplay&, DrawHost*)> painter) {
  edit_layers_painter = std::move(painter);
}

void ApplyGridSettings() {
  const ViewerSettings& stored = AppState().settings;
  ViewerDisplayUnits& units = CurrentViewerServices().DisplayUnits();
  // The text gives the step when a job's files load.
  units.grid_spacing_text = stored.grid_snap;
  DisplaySettings& settings = AppDisplay().settings;
  settings.grid_on = stored.grid_on != 0;
  settings.grid_spacing = units.grid_spacing;
}

void FitDisplayToJob() {
  AppDisplay().ComputeJobExtents();
  // The job's first picture is of all of it: it becomes the stored full view.
  AppState().full_view_rebuild = true;
}

void ResetDisplay() {
  ViewerDisplay& display = AppDisplay();
  display.ResetFrameCache();
  display.SetQueryHighlight(QueryHighlight());
  display.window.ResetView();
}

bool PaintJob(QImage* picture, const std::function<bool()>& cancelled) {
  ViewerDisplay& display = AppDisplay();
  if (display.surface.width() != picture->width() ||
      display.surface.height() != picture->height()) {
    if (!display.ResizeOffscreenSurface(picture->width(), picture->height())) {
      // No surface, no drawing: the picture shows the background.
      picture->fill(kBackgroundColourIndex);
      return false;
    }
  }
  const ViewerAppState& state = AppState();
  display.DefineDisplayColor(kSlotBackground, state.background_colour);
  display.settings.fill_mode = state.fill_mode;
  display.settings.layer_colour_only = state.layer_colour_only;
  display.settings.error_file_given = state.error_file_given;
  if (!display.window.has_view()) display.ComputeJobExtents();
  PictureHost host(&display, picture, cancelled);
  // The edits go between the markers and the overlays, over a cancelled picture too.
  display.draw_pending_edits = edit_layers_painter;
  const int result = display.DrawAllLayers(&host);
  display.draw_pending_edits = nullptr;
  ShowInPicture(display, picture);
  return result == kDrawDone;
}

}  // namespace kavrinth
