// The plot commands and WritePlotConfig over the plot libraries loaded with dlopen.
#include "viewer/plot/plot_commands.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "companions/plendo/plendo_api.h"
#include "platform/process.h"
#include "support/app_profile.h"
#include "support/notifier.h"
#include "viewer/model/element_queries.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

constexpr int32_t kValueBufferSize = 1024;

std::string Format(const char* pattern, const std::string& name, long code, bool with_code) {
  std::vector<char> text(std::string_view(pattern).size() + name.size() + 32);
  if (with_code) {
    std::snprintf(text.data(), text.size(), pattern, code, name.c_str());
  } else {
    std::snprintf(text.data(), text.size(), pattern, name.c_str());
  }
  return text.data();
}

void LoadFailed(const PlotLibrary& library) {
  ShowMessage(Format("(%ld)Error occurred in loading library '%s'.", library.path(),
                     library.error_code(), true),
              "", MessageIcon::kStop);
}

void EntryMissing(const PlotLibrary& library) {
  ShowMessage(Format("(%ld)Error occurred in loading function in library '%s'.", library.path(),
                     library.error_code(), true),
              "", MessageIcon::kStop);
}

// Makes an empty file of its own in the directory: its path, or empty.
std::string MakePlotTempFile(const std::string& directory, const char* stem) {
  std::string pattern = directory + "/" + stem + "XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return {};
  close(fd);
  return pattern;
}

void RemoveFile(const std::string& path) {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove(path, ignored);
}

int RunSetup(PlotHost* host, const char* name) {
  PlotLibrary library(name);
  if (!library.loaded()) {
    LoadFailed(library);
    return 1;
  }
  const auto setup = reinterpret_cast<PlotSetupEntry>(library.Entry(1));
  if (setup == nullptr) {
    EntryMissing(library);
    return 1;
  }
  setup(host->FrameHandle(), PlotConfigPath().c_str());
  return 0;
}

// The plot library's value entries as the settings' source.
class LibraryValues : public PlotValueSource {
 public:
  LibraryValues(PlotGetValueEntry get, PlotSetValueEntry set, const std::string& config)
      : get_(get), set_(set), config_(config) {}
  std::optional<std::string> Read(const char* section, const char* key) override {
    std::vector<char> buffer(kValueBufferSize, '\0');
    if (get_(section, key, config_.c_str(), buffer.data(), kValueBufferSize) == 0) return {};
    buffer.back() = '\0';
    return std::string(buffer.data());
  }
  bool Write(const char* section, const char* key, const char* value) override {
    return set_(section, key, config_.c_str(), value) != 0;
  }

 private:
  PlotGetValueEntry get_;
  PlotSetValueEntry set_;
  const std::string& config_;
};

// "x,y" in user units as world values: nothing when the comma is missing; the flag says
// whether both values fit the 32-bit world.
std::optional<std::pair<GdxWord, GdxWord>> ParseCorner(std::string_view text, bool* in_range) {
  text = text.substr(0, kPlotWindowTextLimit);
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const double factor = CurrentViewerServices().DisplayUnits().database_units_per_user_unit;
  const auto world = [&](std::string_view part) -> GdxWord {
    const double value = std::atof(std::string(part).c_str()) * factor;
    const double rounded = std::trunc(value >= 0 ? value + 0.5 : value - 0.5);
    if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) {
      *in_range = false;
      return 0;
    }
    return static_cast<GdxWord>(rounded);
  };
  return std::pair{world(text.substr(0, comma)), world(text.substr(comma + 1))};
}

}  // namespace

PlotLibrary::PlotLibrary(std::string_view name) {
  path_ = ProgramDirectory() + "/" + std::string(name);
  stem_ = std::string(name);
  if (stem_.rfind("lib", 0) == 0) stem_.erase(0, 3);
  stem_ = stem_.substr(0, stem_.find('.'));
  if (access(path_.c_str(), F_OK) != 0) {
    error_code_ = errno;
    return;
  }
  errno = 0;
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error_code_ = errno != 0 ? errno : ENOEXEC;
    std::fprintf(stderr, "%s\n", dlerror());
  }
}

PlotLibrary::~PlotLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* PlotLibrary::Entry(int ordinal) {
  if (handle_ == nullptr) return nullptr;
  void* entry = dlsym(handle_, (stem_ + "_ordinal_" + std::to_string(ordinal)).c_str());
  if (entry == nullptr) error_code_ = ENOENT;
  return entry;
}

std::string DefaultPlotConfigPath() {
  const std::string directory = SettingsDirectory();
  return directory.empty() ? std::string(kPlotConfigName) : directory + "/" + kPlotConfigName;
}

std::string& PlotConfigPath() {
  static std::string path = DefaultPlotConfigPath();
  return path;
}

PlotSettings& CurrentPlotSettings() {
  static PlotSettings settings;
  return settings;
}

int PageSetup(PlotHost* host) { return RunSetup(host, kOrviskLibrary); }
int PlotSetup(PlotHost* host) { return RunSetup(host, kPlendoLibrary); }

int PlotScreen(PlotHost* host) {
  if (host->SaveEditedLayers() == 2) return 1;
  host->EndQueryMode();
  const std::string directory = host->TemporaryDirectory();
  const std::string data_file = MakePlotTempFile(directory, "vexil-plot-");
  if (data_file.empty()) {
    ShowMessage("Cannot create intermediate file", "", MessageIcon::kStop);
    return 1;
  }
  host->ShowStatus("Generating plot data...");
  const std::string config = PlotConfigPath();
  if (GeneratePlotData(host, &config, data_file) != kPlotDataWritten) {
    host->ShowStatus("");
    return 1;
  }
  host->ShowStatus("");
  // Whatever happens from here, the plot data file does not outlive the command.
  struct Remover {
    const std::string& path;
    ~Remover() { RemoveFile(path); }
  } remover{data_file};
  PlotLibrary library(kPlendoLibrary);
  if (!library.loaded()) {
    LoadFailed(library);
    return 1;
  }
  const auto plot = reinterpret_cast<PlotEntry>(library.Entry(3));
  if (plot == nullptr) {
    EntryMissing(library);
    return 1;
  }
  const std::string second_file = MakePlotTempFile(directory, "vexil-plot-out-");
  // The library runs in the temporary directory: what it writes under a relative name
  // lands there, and the viewer's own directory comes back after it.
  std::error_code error;
  const std::filesystem::path saved = std::filesystem::current_path(error);
  const bool moved = !error && (std::filesystem::current_path(directory, error), !error);
  const int result =
      plot(host->FrameHandle(), config.c_str(), data_file.c_str(), second_file.c_str());
  if (moved) std::filesystem::current_path(saved, error);
  // The library moves its output away; whatever it left behind goes with the command.
  RemoveFile(second_file);
  return result;
}

int PlotWindowAndScreen(PlotHost* host, const GdxRect& rect) {
  if (!StorePlotWindow(rect)) return 0;
  return PlotScreen(host);
}

bool PlotWindowCoordsAccept(std::string_view min_text, std::string_view max_text) {
  bool in_range = true;
  const auto minimum = ParseCorner(min_text, &in_range);
  const auto maximum = ParseCorner(max_text, &in_range);
  if (!minimum || !maximum) {
    ShowMessage("Extents entered are not in the correct format", "", MessageIcon::kWarning);
    return false;
  }
  if (!in_range) {
    ShowMessage("Extents entered are outside the coordinate range", "", MessageIcon::kWarning);
    return false;
  }
  PlotWindowRect({minimum->first, minimum->second, maximum->first, maximum->second});
  return true;
}

void WritePlotConfig(const std::string& config_path, const GdxRect& job_extents,
                     const GdxRect& plot_window, int32_t fill_mode) {
  PlotSettings& settings = CurrentPlotSettings();
  {
    PlotLibrary library(kPlendoLibrary);
    if (!library.loaded()) {
      ShowMessage(Format("Error occurred in loading library '%s'.", library.path(), 0, false), "",
                  MessageIcon::kStop);
      return;
    }
    const auto get = reinterpret_cast<PlotGetValueEntry>(library.Entry(4));
    const auto set = reinterpret_cast<PlotSetValueEntry>(library.Entry(5));
    if (get == nullptr || set == nullptr) {
      ShowMessage(
          Format("Error occurred in loading function in library '%s'.", library.path(), 0, false),
          "", MessageIcon::kStop);
      return;
    }
    LibraryValues values(get, set, config_path);
    std::vector<std::string> warnings;
    if (!ReadPlotSettings(&values, plot_window, &settings, &warnings)) {
      ShowMessage("Cfg write error -- Cannot plot in opaque mode.", "", MessageIcon::kWarning);
    }
    for (const std::string& warning : warnings) ShowMessage(warning, "", MessageIcon::kWarning);
  }
  WritePlotSettingsProperties(settings, job_extents, plot_window, fill_mode);
}

}  // namespace kavrinth
