// Shared by the plot tests: a viewer window stand-in for the plot commands and a small
// layout library built in the test.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gdsii/writer.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/tests/viewer_test_support.h"
#include "viewer/plot/plot_data.h"

namespace kavrinth {

class TestPlotHost : public PlotHost {
 public:
  PlotDisplay Display() override { return display; }
  std::string TemporaryDirectory() override { return temp_dir; }
  void ShowStatus(std::string_view text) override { statuses.emplace_back(text); }
  int SaveEditedLayers() override { return save_answer; }
  void EndQueryMode() override { ++query_mode_ended; }

  PlotDisplay display;
  std::string temp_dir;
  std::vector<std::string> statuses;
  int save_answer = 0;
  int query_mode_ended = 0;
};

using Words = std::vector<GdxWord>;

inline bool operator==(const GdsIntPoint& a, const GdsIntPoint& b) {
  return a.x == b.x && a.y == b.y;
}

// Elements of a test library.
inline void AddBoundary(int32_t layer, const Words& points) {
  GdxSetLayer(layer);
  GdxBeginBoundary();
  GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size()));
  GdxEndElement();
}

inline Words Square(int32_t x, int32_t y, int32_t size) {
  return {x, y, x + size, y, x + size, y + size, x, y + size, x, y};
}

inline void AddPath(int32_t layer, const Words& points, int32_t width, int32_t path_type) {
  GdxSetLayer(layer);
  GdxBeginPath();
  GdxSetWidth(width);
  GdxSetPathType(path_type);
  GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size()));
  GdxEndElement();
}

// Starts a library with one structure; EndTestLibrary closes it and returns its handle.
inline void BeginTestLibrary() {
  GdxBeginLibrary("plotlib");
  GdxSetUnits(0.001, 1e-9);
  GdxStartStructure();
  GdxBeginStructure("S");
}

inline GdxHandle EndTestLibrary() {
  GdxEndStructure();
  return GdxEndLibrary();
}

// Files in the directory whose names start with the prefix.
inline std::vector<std::string> FilesStartingWith(const std::string& directory,
                                                  std::string_view prefix) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  return names;
}

}  // namespace kavrinth
