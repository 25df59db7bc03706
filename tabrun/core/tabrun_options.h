// The shell's stored options (TabrunOptions): the PG options of a job, the viewer paths,
// the working directory and the bars, kept in the program's settings store "Tabrun".
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "support/app_profile.h"

namespace kavrinth {

// PG output formats (PgFormat).
enum PgOutputFormat : int32_t {
  kFormatElectromask = 0,
  kFormatMann3000 = 1,
  kFormatMann3600 = 2,
  kFormatDraftek = 3,
  kFormatIntermediate = 4,
};

struct TabrunOptions {
  // Paths and bars.
  std::string gds_file;
  std::string working_directory;
  std::string pg_viewer_path;
  std::string gds_viewer_path;
  int32_t control_dialog = 1;
  int32_t toolbar = 1;
  int32_t status_bar = 1;
  // PG options.
  double scale = 1.0;
  double small_angle = 0.5;
  double compensation = 0.0;
  double feature_size = 5.0;
  double max_dimension = 60.0;
  double min_dimension = 0.1;
  double mask_sag = 0.1;
  int32_t mask_unit = 1;  // 1 mils, 0 microns
  int32_t optimize_level = 2;
  int32_t manhattan = 1;
  int32_t verify = 1;
  int32_t translate_text = 1;
  int32_t pg_disk_buffer = 0;
  int32_t shorten_flashes = 0;
  int32_t output_format = kFormatElectromask;
  int32_t default_ext = 1;
  int32_t overlap_percent = 25;
  // The four text font scales (not stored; they travel in the PG settings file).
  std::array<double, 4> font_scales = {1.0, 1.0, 1.0, 1.0};
};

// The ranges the engine and the PG library accept. Scale and feature size are judged as
// the engine will see them, after "%lf" formatting: the scale must be above 1e-6 and below
// 1e6, the feature size above 0 and below 1e6.
bool ScaleValid(double scale);
bool FeatureSizeValid(double feature_size);
bool FontScaleValid(double scale);  // 1e-7 to 1e6
// A format the shell offers (0, 1, 2 or 4); a stored 3 is read as 4.
int32_t NormalisedOutputFormat(int32_t format);

// The room a stored path is read with: none is cut, however long it is (a cut path names
// another file, and the next close would store it).
inline constexpr size_t kStoredPathRoom = std::string::npos;

// Loads the PG options from the store "Tabrun" over the defaults; a missing, unreadable or
// invalid value leaves the default. The paths of the first group are taken only when they
// name an existing directory (working directory) or file (viewers).
void LoadOptionDefaults(TabrunOptions* options, const CAppProfile& profile);
void LoadFrameSettings(TabrunOptions* options, const CAppProfile& profile);
// Writes every value in one load-modify-save; 1 on success, 0 on failure.
int SaveOptions(const TabrunOptions& options, const CAppProfile& profile);

// The default extension of an output format: ".em", ".dwm", ".sor", ".dtc", ".int".
const char* DefaultExtension(int32_t format);
// "(Emask)", "(Mann 3000)", "(Mann 3600)", "(Draftek)", "(Intermediate)".
const char* FormatLabel(int32_t format);

// True for the GDS unit texts that mean mils ("inch", "mil", "mils", any case).
bool IsMilUnit(const std::string& gds_unit);

}  // namespace kavrinth
