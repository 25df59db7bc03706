// Area arithmetic of the road test: polygons in nanometres turned into an independent
// polygon library's integer paths, unions, differences, offsets and areas, and PG flashes
// and GDSII boundaries turned into polygons.
#pragma once

#include <cmath>
#include <map>
#include <numbers>
#include <polyclipping/clipper.hpp>
#include <vector>

#include "gdsii/library.h"
#include "pg2gds/pg_readers.h"
#include "tools/samplegen/test_pattern.h"

namespace kavrinth::road {

using ClipperLib::Paths;
using samplegen::PatternPoint;
using samplegen::PatternPolygon;

// Integer units of the polygon library per nanometre: fine enough that the corners of
// turned flashes keep their fractions.
inline constexpr double kUnitsPerNm = 1000;
inline constexpr double kUnitsPerUm = kUnitsPerNm * 1000;

inline ClipperLib::Path ToPath(const PatternPolygon& polygon) {
  ClipperLib::Path path;
  for (const PatternPoint& p : polygon) {
    path.emplace_back(std::llround(p.x * kUnitsPerNm), std::llround(p.y * kUnitsPerNm));
  }
  return path;
}

inline Paths ToPaths(const std::vector<PatternPolygon>& polygons) {
  Paths paths;
  for (const PatternPolygon& polygon : polygons) paths.push_back(ToPath(polygon));
  return paths;
}

// The region the polygons cover together (nonzero winding, so a polygon's own
// orientation does not matter).
inline Paths Union(const Paths& paths) {
  ClipperLib::Clipper clipper;
  clipper.AddPaths(paths, ClipperLib::ptSubject, true);
  Paths result;
  clipper.Execute(ClipperLib::ctUnion, result, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
  return result;
}

inline Paths Clip(ClipperLib::ClipType operation, const Paths& subject, const Paths& clip) {
  ClipperLib::Clipper clipper;
  clipper.AddPaths(subject, ClipperLib::ptSubject, true);
  clipper.AddPaths(clip, ClipperLib::ptClip, true);
  Paths result;
  clipper.Execute(operation, result, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
  return result;
}

inline Paths Difference(const Paths& a, const Paths& b) {
  return Clip(ClipperLib::ctDifference, a, b);
}
inline Paths SymmetricDifference(const Paths& a, const Paths& b) {
  return Clip(ClipperLib::ctXor, a, b);
}

// The region grown (positive) or shrunk (negative) by the distance, square corners.
inline Paths Offset(const Paths& region, double nanometres) {
  ClipperLib::ClipperOffset offset(4);
  offset.AddPaths(region, ClipperLib::jtMiter, ClipperLib::etClosedPolygon);
  Paths result;
  offset.Execute(result, nanometres * kUnitsPerNm);
  return result;
}

// Area of a region in square microns (holes counted negative, as the union orients them).
inline double AreaUm2(const Paths& region) {
  double area = 0;
  for (const ClipperLib::Path& path : region) area += ClipperLib::Area(path);
  return area / (kUnitsPerUm * kUnitsPerUm);
}

// Length of every outline of a region, in nanometres.
inline double PerimeterNm(const Paths& region) {
  double length = 0;
  for (const ClipperLib::Path& path : region) {
    for (size_t i = 0; i < path.size(); ++i) {
      const ClipperLib::IntPoint& a = path[i];
      const ClipperLib::IntPoint& b = path[(i + 1) % path.size()];
      length += std::hypot(double(b.X - a.X), double(b.Y - a.Y));
    }
  }
  return length / kUnitsPerNm;
}

// A flash as the rectangle it exposes: side W along the angle, H across it, about the
// centre; raw units of the file scaled to nanometres.
inline PatternPolygon FlashPolygon(const FlashRecord& flash, double nm_per_raw_unit) {
  const double radians = flash.angle / 10.0 * std::numbers::pi / 180;
  const double cx = flash.x * nm_per_raw_unit, cy = flash.y * nm_per_raw_unit;
  const double ux = std::cos(radians) * flash.w / 2 * nm_per_raw_unit;
  const double uy = std::sin(radians) * flash.w / 2 * nm_per_raw_unit;
  const double vx = -std::sin(radians) * flash.h / 2 * nm_per_raw_unit;
  const double vy = std::cos(radians) * flash.h / 2 * nm_per_raw_unit;
  return {{cx - ux - vx, cy - uy - vy},
          {cx + ux - vx, cy + uy - vy},
          {cx + ux + vx, cy + uy + vy},
          {cx - ux + vx, cy - uy + vy}};
}

// The boundaries of a library per layer, in nanometres.
inline std::map<int, std::vector<PatternPolygon>> BoundariesByLayer(const GdsLibrary& library) {
  const double nm_per_database_unit = library.metres_per_database_unit * 1e9;
  std::map<int, std::vector<PatternPolygon>> layers;
  for (const GdsStructure& structure : library.structures) {
    for (const GdsElement& element : structure.elements) {
      if (element.kind != kGdsBoundary) continue;
      PatternPolygon polygon;
      for (const GdsIntPoint& p : element.points) {
        polygon.push_back({p.x * nm_per_database_unit, p.y * nm_per_database_unit});
      }
      layers[element.layer].push_back(std::move(polygon));
    }
  }
  return layers;
}

}  // namespace kavrinth::road
