// Reading the viewer's plot data file: the library properties (plot settings) and the
// outlines, paths and circles of structure "TOP" with the colour each is plotted in.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "gdsii/writer.h"

namespace kavrinth {

struct PlotShape {
  enum Kind {
    kBoundary,    // polygons, separated where the file had break markers
    kPath,        // one polyline with its width and path type
    kCircle,      // a filled circle
    kWindowFill,  // a negative layer's background: the whole plot window
  };
  Kind kind = kBoundary;
  int32_t colour = 0;  // pick colour index 0..7 (0 is the paper's white)
  int32_t layer = 0;
  int32_t path_type = 0;
  int32_t width = 0;  // database units
  std::vector<std::vector<GdsIntPoint>> polygons;
  GdsIntPoint centre;
  double radius = 0.0;  // database units
};

struct PlotDocument {
  std::map<std::string, double> settings;  // the named library properties
  double user_units_per_database_unit = 1.0;
  double metres_per_database_unit = 1e-9;
  std::vector<PlotShape> shapes;

  double Setting(const std::string& name, double fallback) const {
    const auto it = settings.find(name);
    return it == settings.end() ? fallback : it->second;
  }
  bool Has(const std::string& name) const { return settings.count(name) != 0; }
};

// Reads the file: true, or false with a message naming what is wrong and where.
bool ReadPlotFile(const std::string& path, PlotDocument* document, std::string* error);

}  // namespace kavrinth
