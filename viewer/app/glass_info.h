// The glass (the outline of the mask plate over the data), its settings dialog, the layer
// information texts of the Info menu with their dialog, and the job report shown in the
// user's editor.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>

#include "viewer/app/viewer_settings.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {

class CLumraApp;

// Whether the glass is shown now.
bool& GlassShown();

// The glass placement of a PG format: 1 minimum corner at the origin (ElectroMask), 3
// centred on the origin (Mann 3000, Mann 3600), 0 no glass (every other format).
int GlassPlacementFlags(int32_t pg_format);

struct GlassRect {
  int32_t min_x = 0;
  int32_t min_y = 0;
  int32_t max_x = 0;
  int32_t max_y = 0;
};

// The units the figures are shown in: database units per shown unit, decimals, the unit's
// name and the size of the user unit in metres.
struct InfoUnits {
  int32_t divisor = 100;
  int32_t decimals = 2;
  std::string name = "UM";
  double metres_per_user_unit = 1e-6;
};
// The units of the loaded job (the current unit table's when no unit is set yet).
InfoUnits CurrentInfoUnits();

// The glass rectangle in database units: nothing for placement flags 0, and nothing when a
// side is not positive or does not fit 32 bits.
std::optional<GlassRect> GlassRectangle(const ViewerSettings& settings, int32_t pg_format,
                                        const InfoUnits& units);

// The Info texts of a layer entry ("\r\n" line ends). Bias is empty when the format has
// no glass (no dialog then).
std::string BiasText(const ViewLayerEntry& entry, const InfoUnits& units,
                     const std::optional<GlassRect>& glass);
std::string MinMaxText(const ViewLayerEntry& entry, const InfoUnits& units);
std::string CountText(const ViewLayerEntry& entry, int32_t layer);

// Control ids of the Glass Setup dialog.
enum GlassSetupControl : int {
  kGlassInch = 1613,
  kGlassMm = 1614,
  kGlassHelp = 1615,
  kGlassShowOnStart = 1616,
  kGlassCrosshair = 1617,
  kGlassPermanent = 1618,
  kGlassWidth = 1000,
  kGlassHeight = 1001,
  kGlassMargin = 1002,
};

// Largest glass side and margin, in hundredths of the glass unit (1000 inches or
// millimetres).
inline constexpr int32_t kMaxGlassHundredths = 100000;

class CGlassSetupDlg : public QDialog {
  Q_OBJECT

 public:
  CGlassSetupDlg(CLumraApp* app, QWidget* owner);
  void accept() override;

 private:
  CLumraApp* app_;
};

// Whether the settings are kept at close ("Make settings permanent"; on at start).
bool& GlassSettingsPermanent();

// The Info dialog: a read-only text and Close.
class CInfoDlg : public QDialog {
  Q_OBJECT

 public:
  CInfoDlg(const std::string& title, const std::string& body, QWidget* owner);
};

// Hands the glass settings and whether the glass shows to the display, which draws it.
void ApplyGlassToDisplay();

// A job opened or went: the glass goes, and comes back with a job when it is to be shown
// on opening.
void OnJobChangedForGlass();

// The commands.
void OnGlassOnOff(CLumraApp* app);
void OnGlassSetup(CLumraApp* app);
void OnBias(CLumraApp* app);
void OnMinMax(CLumraApp* app);
void OnCount(CLumraApp* app);
// Writes the job report into the temporary directory and opens it in the user's editor;
// a report that cannot be written is reported and not opened. 0, or 1 on failure.
int OnReport(CLumraApp* app);
// The report file of the Report command.
std::string ReportFilePath();

}  // namespace kavrinth
