// Reading and writing Corvane's settings store.
#include "corvane/core/settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "support/args.h"
#include "support/paths.h"

namespace kavrinth {

namespace {

// Stored paths are read whole, however long: a cut path names another file, and the next
// close would store it.
constexpr size_t kPathRoom = std::string::npos;

std::string ShortestReal(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<double> WholeReal(std::string_view text) {
  const std::string copy(text);
  if (copy.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (end == copy.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::string FormatScaleSetting(double scale) {
  std::string text = FormatReal(scale, 1e-12);
  const std::optional<double> back = WholeReal(text);
  if (!back || *back != scale) text = ShortestReal(scale);
  return text;
}

std::optional<double> ParseScaleText(std::string_view text) {
  const std::optional<double> value = WholeReal(text);
  if (!value || *value < kMinScale || *value > kMaxScale) return std::nullopt;
  return value;
}

void LoadCorvaneSettings(const CAppProfile& profile, CorvaneSession& session,
                         CorvaneBarFlags& flags) {
  std::string text;
  if (profile.GetString("InputFile", &text, kPathRoom) == 1) session.input_file = text;
  text.clear();
  if (profile.GetString("WorkingDirectory", &text, kPathRoom) == 1 && !text.empty() &&
      DirExists(text)) {
    session.working_directory = text;
  }
  text.clear();
  if (profile.GetString("GDSViewerPath", &text, kPathRoom) == 1 && !text.empty() &&
      FileExists(text)) {
    session.gds_viewer_path = text;
  }
  text.clear();
  if (profile.GetString("PGViewerPath", &text, kPathRoom) == 1 && !text.empty() &&
      FileExists(text)) {
    session.pg_viewer_path = text;
  }
  text.clear();
  if (profile.GetString("Scale", &text, 64) == 1) {
    if (std::optional<double> scale = ParseScaleText(text)) session.options.scale = *scale;
  }
  profile.GetInt("ControlDialog", &flags.control_dialog);
  profile.GetInt("Toolbar", &flags.toolbar);
  profile.GetInt("Statusbar", &flags.statusbar);
  int32_t value = 0;
  if (profile.GetInt("FilesFormat", &value) == 1 && value >= kFilesElectromask &&
      value <= kFilesMann3600) {
    session.options.files_format = value;
  }
  if (profile.GetInt("FilesUnit", &value) == 1 && (value == 0 || value == 1)) {
    session.options.files_unit = value;
  }
}

int SaveCorvaneSettings(const CAppProfile& profile, const CorvaneSession& session,
                        const CorvaneBarFlags& flags, std::vector<std::string>* refused) {
  if (!profile.IsOpen()) return 0;
  CAppProfile::Batch batch(profile);
  std::vector<std::string> names;
  const auto text = [&](const char* name, const std::string& value) {
    if (batch.WriteString(name, value.c_str()) != 1) names.push_back(name);
  };
  const auto number = [&](const char* name, int32_t value) {
    if (batch.WriteInt(name, value) != 1) names.push_back(name);
  };
  text("InputFile", session.input_file);
  text("WorkingDirectory", session.working_directory);
  text("GDSViewerPath", session.gds_viewer_path);
  text("PGViewerPath", session.pg_viewer_path);
  text("Scale", FormatScaleSetting(session.options.scale));
  number("ControlDialog", flags.control_dialog);
  number("Toolbar", flags.toolbar);
  number("Statusbar", flags.statusbar);
  number("FilesUnit", session.options.files_unit);
  number("FilesFormat", session.options.files_format);
  const int saved = batch.Commit();
  // A store that cannot be read refuses every value: that is a failed save, not a list.
  if (saved == 1 && refused != nullptr) *refused = names;
  return saved == 1 && names.empty() ? 1 : 0;
}

}  // namespace kavrinth
