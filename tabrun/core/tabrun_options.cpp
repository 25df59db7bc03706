// Loading, checking and saving the shell's stored options.
#include "tabrun/core/tabrun_options.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/args.h"
#include "support/paths.h"

namespace kavrinth {
namespace {

// The value the engine reads back from the "%lf" text the shell writes.
double AsPassed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%lf", value);
  return std::strtod(text, nullptr);
}

bool ReadReal(const CAppProfile& profile, const char* name, double* value, bool (*valid)(double)) {
  std::string text;
  if (profile.GetString(name, &text, 64) != 1 || text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(v) || (valid != nullptr && !valid(v))) return false;
  *value = v;
  return true;
}

bool ReadInt(const CAppProfile& profile, const char* name, int32_t* value, int32_t low,
             int32_t high) {
  int32_t v = 0;
  if (profile.GetInt(name, &v) != 1 || v < low || v > high) return false;
  *value = v;
  return true;
}

bool NonNegative(double v) { return v >= 0; }
bool Positive(double v) { return v > 0; }
bool AnyFinite(double) { return true; }

}  // namespace

bool ScaleValid(double scale) {
  if (!std::isfinite(scale)) return false;
  const double passed = AsPassed(scale);
  return passed > 1e-6 && passed < 1e6;
}

bool FeatureSizeValid(double feature_size) {
  if (!std::isfinite(feature_size)) return false;
  const double passed = AsPassed(feature_size);
  return passed > 0 && passed < 1e6;
}

bool FontScaleValid(double scale) { return scale >= 1e-7 && scale <= 1e6; }

int32_t NormalisedOutputFormat(int32_t format) {
  return format == kFormatDraftek ? kFormatIntermediate : format;
}

void LoadFrameSettings(TabrunOptions* options, const CAppProfile& profile) {
  std::string text;
  if (profile.GetString("GDSFile", &text, kStoredPathRoom) == 1) options->gds_file = text;
  if (profile.GetString("WorkingDirectory", &text, kStoredPathRoom) == 1 && !text.empty() &&
      DirExists(text)) {
    options->working_directory = text;
  }
  if (profile.GetString("PGViewerPath", &text, kStoredPathRoom) == 1 && !text.empty() &&
      FileExists(text)) {
    options->pg_viewer_path = text;
  }
  if (profile.GetString("GDSViewerPath", &text, kStoredPathRoom) == 1 && !text.empty() &&
      FileExists(text)) {
    options->gds_viewer_path = text;
  }
  ReadInt(profile, "ControlDialog", &options->control_dialog, 0, 1);
  ReadInt(profile, "Toolbar", &options->toolbar, 0, 1);
  ReadInt(profile, "Statusbar", &options->status_bar, 0, 1);
}

void LoadOptionDefaults(TabrunOptions* options, const CAppProfile& profile) {
  const TabrunOptions defaults;
  options->small_angle = defaults.small_angle;
  options->compensation = defaults.compensation;
  options->optimize_level = defaults.optimize_level;
  options->manhattan = defaults.manhattan;
  options->scale = defaults.scale;
  options->verify = defaults.verify;
  options->feature_size = defaults.feature_size;
  options->translate_text = defaults.translate_text;
  options->max_dimension = defaults.max_dimension;
  options->min_dimension = defaults.min_dimension;
  options->mask_sag = defaults.mask_sag;
  options->mask_unit = defaults.mask_unit;
  options->pg_disk_buffer = defaults.pg_disk_buffer;
  options->shorten_flashes = defaults.shorten_flashes;
  options->output_format = defaults.output_format;
  options->default_ext = defaults.default_ext;
  options->overlap_percent = defaults.overlap_percent;
  if (!profile.IsOpen()) return;
  // Every value is checked: a store edited by hand or by an older version must not hand
  // the engine or the dialogs a value they cannot take.
  ReadReal(profile, "SmallAngle", &options->small_angle, AnyFinite);
  ReadReal(profile, "Compensation", &options->compensation, AnyFinite);
  ReadInt(profile, "OptimizeLevel", &options->optimize_level, 0, 3);
  ReadInt(profile, "Manhattan", &options->manhattan, 0, 1);
  ReadReal(profile, "Scale", &options->scale, ScaleValid);
  ReadInt(profile, "Verify", &options->verify, 0, 10);
  ReadReal(profile, "FeatureSize", &options->feature_size, FeatureSizeValid);
  ReadInt(profile, "TranslateText", &options->translate_text, 0, 1);
  ReadReal(profile, "MaxDimension", &options->max_dimension, Positive);
  ReadReal(profile, "MinDimension", &options->min_dimension, NonNegative);
  ReadReal(profile, "MaskSag", &options->mask_sag, NonNegative);
  ReadInt(profile, "MaskUnit", &options->mask_unit, 0, 1);
  ReadInt(profile, "PGDiskBuff", &options->pg_disk_buffer, 0, 1);
  ReadInt(profile, "ShortenFlashes", &options->shorten_flashes, 0, 1);
  int32_t format = 0;
  if (ReadInt(profile, "OutputFormat", &format, 0, 4)) {
    options->output_format = NormalisedOutputFormat(format);
  }
  ReadInt(profile, "DefaultExt", &options->default_ext, 0, 1);
  ReadInt(profile, "OverlapPercent", &options->overlap_percent, 0, 50);
}

int SaveOptions(const TabrunOptions& o, const CAppProfile& profile) {
  CAppProfile::Batch batch(profile);
  batch.WriteString("GDSFile", o.gds_file.c_str());
  batch.WriteString("WorkingDirectory", o.working_directory.c_str());
  batch.WriteString("PGViewerPath", o.pg_viewer_path.c_str());
  batch.WriteString("GDSViewerPath", o.gds_viewer_path.c_str());
  batch.WriteInt("ControlDialog", o.control_dialog);
  batch.WriteInt("Toolbar", o.toolbar);
  batch.WriteInt("Statusbar", o.status_bar);
  const std::pair<const char*, double> reals[] = {{"SmallAngle", o.small_angle},
                                                  {"Compensation", o.compensation},
                                                  {"FeatureSize", o.feature_size},
                                                  {"Scale", o.scale},
                                                  {"MaxDimension", o.max_dimension},
                                                  {"MinDimension", o.min_dimension},
                                                  {"MaskSag", o.mask_sag}};
  for (const auto& [name, value] : reals) {
    batch.WriteString(name, FormatReal(value, 1e-12, 64).c_str());
  }
  const std::pair<const char*, int32_t> integers[] = {{"MaskUnit", o.mask_unit},
                                                      {"OptimizeLevel", o.optimize_level},
                                                      {"Manhattan", o.manhattan},
                                                      {"Verify", o.verify},
                                                      {"TranslateText", o.translate_text},
                                                      {"PGDiskBuff", o.pg_disk_buffer},
                                                      {"ShortenFlashes", o.shorten_flashes},
                                                      {"OutputFormat", o.output_format},
                                                      {"DefaultExt", o.default_ext},
                                                      {"OverlapPercent", o.overlap_percent}};
  for (const auto& [name, value] : integers) batch.WriteInt(name, value);
  return batch.Commit();
}

const char* DefaultExtension(int32_t format) {
  static const char* const kExtensions[] = {".em", ".dwm", ".sor", ".dtc", ".int"};
  return format >= 0 && format <= 4 ? kExtensions[format] : ".em";
}

const char* FormatLabel(int32_t format) {
  static const char* const kLabels[] = {"(Emask)", "(Mann 3000)", "(Mann 3600)", "(Draftek)",
                                        "(Intermediate)"};
  return format >= 0 && format <= 4 ? kLabels[format] : kLabels[0];
}

bool IsMilUnit(const std::string& gds_unit) {
  for (const char* word : {"inch", "mil", "mils"}) {
    if (strcasecmp(gds_unit.c_str(), word) == 0) return true;
  }
  return false;
}

}  // namespace kavrinth
