// What the viewer's model asks of the viewer application: the status line, the error
// coordinates list, the display values, the selection mode and plotting. The application
// implements ViewerServices; batch tools and tests install their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "viewer/model/gdx_database.h"

namespace kavrinth {

// Display values owned by the application, read and written by the model.
struct ViewerDisplayUnits {
  int32_t database_units_per_user_unit = 1000;  // set by LoadJobFiles
  int32_t scale_divisor = 1;                    // never 0 while a job is shown
  int32_t origin_x = 0;
  int32_t origin_y = 0;
  double user_units_per_database_unit = 0.001;  // set by ScanPgFile
  double metres_per_user_unit = 1e-6;           // set by ScanPgFile
  std::string grid_spacing_text = "1.0";        // the user's grid, in user units
  int32_t grid_spacing = 1000;                  // the grid in database units (LoadJobFiles)
};

// The grid step in database units of a spacing in user units: the spacing times the
// database units per user unit, truncated, and never below one unit. The Snap Settings
// dialog and every job load use this one rule, so a grid stays the same across a reload.
int32_t GridStepOfSpacing(double spacing, int32_t units_per_user_unit);

class ViewerServices {
 public:
  virtual ~ViewerServices() = default;

  // Puts the text into the frame's status line, sends the main-frame event and delivers
  // the waiting messages.
  virtual void SendMainEvent(std::string_view status_text) = 0;
  // Shows or removes the wait cursor.
  virtual void SetWaitCursor(bool on) = 0;

  // Re-applies a layer's selection hit list to the elements of a freshly loaded section
  // of a WF2 file whose element numbers run above `first` up to `last`.
  virtual void ApplyHitFlags(GdxHandle library, int32_t layer, int32_t last, int32_t first) = 0;

  // The error-coordinate file named with "-vefn:"; empty while the option is off.
  virtual std::string ErrorListPath() const = 0;
  // The error-coordinates dialog's list: cleared, one "%s\t%s\t%s" row per error, then
  // told that the list is complete (it selects the first row and redraws).
  virtual void ErrorListClear() = 0;
  virtual void ErrorListAddRow(std::string_view row) = 0;
  virtual void ErrorListLoaded() = 0;

  virtual ViewerDisplayUnits& DisplayUnits() = 0;
  // 0 crossing, 1 window.
  virtual int32_t SelectionMode() const = 0;
  // Stores the ordered rectangle as the plot window, sets the plot-window flag and runs
  // the Plot Screen command; returns the command's result.
  virtual int PlotWindow(const GdxRect& rect) = 0;
  // Clears the view's flag for an empty display.
  virtual void ClearEmptyDisplayFlag() = 0;
  // The database memory limit in bytes ("-ram:"); 0 or less means none.
  virtual int64_t DatabaseMemoryLimit() const = 0;
};

// Services without a window: status texts and plotting go nowhere, the values are kept.
class HeadlessViewerServices : public ViewerServices {
 public:
  void SendMainEvent(std::string_view) override {}
  void SetWaitCursor(bool) override {}
  void ApplyHitFlags(GdxHandle, int32_t, int32_t, int32_t) override {}
  std::string ErrorListPath() const override { return error_list_path; }
  void ErrorListClear() override {}
  void ErrorListAddRow(std::string_view) override {}
  void ErrorListLoaded() override {}
  ViewerDisplayUnits& DisplayUnits() override { return display; }
  int32_t SelectionMode() const override { return selection_mode; }
  int PlotWindow(const GdxRect&) override { return 0; }
  void ClearEmptyDisplayFlag() override {}
  int64_t DatabaseMemoryLimit() const override { return memory_limit; }

  std::string error_list_path;
  ViewerDisplayUnits display;
  int32_t selection_mode = 0;
  int64_t memory_limit = 0;
};

// The process's services; headless ones until the application installs its own.
ViewerServices& CurrentViewerServices();
// Installs services (null restores the headless ones); returns the previous ones.
ViewerServices* SetViewerServices(ViewerServices* services);

class ScopedViewerServices {
 public:
  explicit ScopedViewerServices(ViewerServices* services)
      : previous_(SetViewerServices(services)) {}
  ~ScopedViewerServices() { SetViewerServices(previous_); }
  ScopedViewerServices(const ScopedViewerServices&) = delete;
  ScopedViewerServices& operator=(const ScopedViewerServices&) = delete;

 private:
  ViewerServices* previous_;
};

// Shows the status text and the wait cursor for one scope (reading and writing jobs).
class ScopedWaitStatus {
 public:
  explicit ScopedWaitStatus(std::string_view status_text);
  ~ScopedWaitStatus();
  ScopedWaitStatus(const ScopedWaitStatus&) = delete;
  ScopedWaitStatus& operator=(const ScopedWaitStatus&) = delete;
};

}  // namespace kavrinth
