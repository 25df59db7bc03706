// Loading the job settings in their order.
#include "tabreng/job_settings.h"

#include <sys/stat.h>

#include "platform/files.h"
#include "tabreng/side_files.h"

namespace kavrinth {

namespace {

bool FileExists(const std::string& path) {
  struct stat status {};
  return !path.empty() && ::stat(ResolveExistingPath(path).c_str(), &status) == 0;
}

// Every slot falls back to the support font; stroking needs all four.
void LoadFonts(const std::string& support_font, JobSettings& settings) {
  if (!FileExists(support_font)) return;
  auto font = std::make_shared<EngineFont>();
  if (LoadEngineFont(support_font, *font) != 0) return;
  settings.fonts.fill(std::move(font));
}

}  // namespace

void LoadJobSettings(const EngineOptions& options, const std::string& support_font,
                     JobSettings& settings) {
  settings = JobSettings();
  settings.settings_path = ReadEngineGdsCfg(options.settings_file, settings);
  ApertureSettings& aperture = settings.aperture;
  ReadAptCfg(settings.aperture_file, std::string(kCfgTmpName), aperture);

  settings.arc_resolution = aperture.arc_resolution;
  settings.path_mode = options.path_mode_override >= 0 ? options.path_mode_override : kPathOutline;
  if (options.outline_given) {
    aperture.outline = true;
    aperture.outline_a = options.outline_a;
    aperture.outline_b = options.outline_b;
  }
  settings.local_fill = !aperture.outline;

  // The feature size is in mils or microns; inch and mm apertures take it in thousands.
  const bool large_units = aperture.units == kApertureInch || aperture.units == kApertureMm;
  const double feature_size = large_units ? options.feature_size / 1000 : options.feature_size;
  RewriteCfgTmp(feature_size, settings.scale_factor, std::string(kCfgTmpName),
                std::string(kTmpCfgTmpName), aperture);

  LoadFonts(support_font, settings);
  settings.text_stroking = settings.fonts[0] != nullptr && settings.block_text;
}

}  // namespace kavrinth
