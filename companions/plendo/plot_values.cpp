// Plot configuration values over the INI module.
#include "companions/plendo/plot_values.h"

#include <filesystem>
#include <utility>

#include "platform/ini.h"

namespace kavrinth {
namespace {

constexpr const char* kSection = "plendo";

// A full-colour letter page, turned to suit the window, fitted to the page.
constexpr std::pair<const char*, const char*> kDefaults[] = {
    {"PLTYPE", "PDF 8:colour"},  {"PGSIZE", "A"},  {"PGUNIT", "INCH"},
    {"ROTATE", "auto"},          {"PGSCALE", "0"}, {"ORIGIN", "0,0"},
    {"LNWEIGHT", "0.006 0.003"}, {"DPI", "300"},   {"LEFT", "0.5"},
    {"BOTTOM", "0.5"},           {"RIGHT", "0.5"}, {"TOP", "0.5"},
};

}  // namespace

std::optional<std::string> GetPlotValue(const char* section, const char* key,
                                        const std::string& config_path) {
  if (key == nullptr) return std::nullopt;
  IniFile file;
  if (!file.Load(config_path)) return std::nullopt;
  if (section != nullptr) return file.Get(section, key);
  for (const std::string& name : file.Sections()) {
    if (std::optional<std::string> value = file.Get(name, key)) return value;
  }
  return std::nullopt;
}

bool EnsurePlotDefaults(const std::string& config_path) {
  std::error_code error;
  if (std::filesystem::exists(config_path, error)) return true;
  const std::filesystem::path parent = std::filesystem::path(config_path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, error);
  IniFile file;
  if (!file.Load(config_path)) return false;
  for (const auto& [key, value] : kDefaults) file.Set(kSection, key, value);
  return file.Save();
}

bool SetPlotValue(const char* section, const char* key, const std::string& config_path,
                  const std::string& value) {
  if (section == nullptr || key == nullptr || !EnsurePlotDefaults(config_path)) return false;
  IniFile file;
  if (!file.Load(config_path) || !file.Set(section, key, value)) return false;
  return file.Save();
}

}  // namespace kavrinth
