// The Error Coordinates list: the errors named with "-vefn:" (layer, X, Y), each zoomed
// into with a double click (the list stays) or OK (the list goes).
#pragma once

#include <QDialog>
#include <QListWidget>
#include <cstdint>
#include <optional>
#include <string_view>

#include "viewer/model/gdx_database.h"

namespace kavrinth {

class CLumraApp;

inline constexpr int kCmdErrorCoordinates = 32890;
inline constexpr int kErrorList = 1005;

// What the zoom to an error needs of the loaded job.
struct ErrorZoomFrame {
  double factor = 1;     // database units per user unit of the error file
  int32_t origin_x = 0;  // in database units
  int32_t origin_y = 0;
  int64_t half_height = 0;  // the WF2 header's half height (0 for PG data)
  int64_t frame_width = 0;  // a WF2 frame in database units (0 for PG data)
  int64_t frame_height = 0;
  GdxRect extents;  // the job's extents (the box of PG data)
};

// The zoom box of a list line "layer<TAB>X<TAB>Y", placed as the error markers are: a
// frame around the error for WF2 data, a tenth of the job's larger side for PG data.
// Nothing for a line of fewer than three words, numbers that are not numbers, or a box
// outside 32 bits.
std::optional<GdxRect> ErrorZoomBox(std::string_view line, const ErrorZoomFrame& frame);
// The values of the loaded job.
ErrorZoomFrame CurrentErrorZoomFrame();

class CErrorCoordsDlg : public QDialog {
  Q_OBJECT

 public:
  CErrorCoordsDlg(CLumraApp* app, QWidget* owner);
  // Fills the list from the loaded error file.
  void Refill();
  // Zooms to the selected line: true when the view moved.
  bool ZoomToSelection();

  void accept() override;

 private:
  CLumraApp* app_;
  QListWidget* list_ = nullptr;
};

// Reads the error file named with "-vefn:" into the list and its markers into the marker
// entry, which the drawing shows: when a job opens (again), or when the list is first
// asked for. Without an error file both are empty.
void LoadErrorMarkers(CLumraApp* app, bool again);
// Shows the frame's Error Coordinates list (made on first use).
void OnErrorCoordinates(CLumraApp* app);

}  // namespace kavrinth
