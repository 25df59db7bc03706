// Test fixtures of the post-processor: a temporary working directory, header and
// translated streams built with the GDSII writer, and Intermediate files read back with
// the PG readers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "gdsii/writer.h"
#include "pg2gds/pg_readers.h"

namespace kavrinth::testing {

inline constexpr double kPi = 3.141592653589793;

// A test that runs in a fresh temporary directory, removed at the end.
class WorkingDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quenrix_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(directory_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(directory_);
  }

  static void WriteFile(const std::string& name, std::string_view bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  // The names in the working directory, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // True when no Intermediate file or temporary is in the working directory.
  bool NoOutputs() const {
    for (const std::string& name : Files()) {
      if (name.ends_with(".int") || name.ends_with(".tmp")) return false;
    }
    return true;
  }

  std::filesystem::path directory_;
  std::filesystem::path previous_;
};

// --- Streams ---

struct HeaderContent {
  std::string top = "CHIPTOP";
  std::string translated = "job.gdx";
  std::vector<int> layers = {1};
  bool with_top = true;
  bool with_jump = true;
};

// A header stream as the engine writes it: its settings, the layer-file records, the
// aperture count, $FIXUP$ and $JUMP$.
inline void WriteHeaderStream(const std::string& name, const HeaderContent& content) {
  GdsWriter w;
  w.user_unit_metres() = 0;
  GdsRefLibs reflibs{};
  GdsFontTable fonts{};
  // The engine opens the header stream before it knows the units: a unit of 0, which
  // the writer reports (1) but writes.
  w.OpenLibraryEx(name, "USER", 0, 1.0, 0, reflibs, fonts, false);
  ASSERT_TRUE(w.library_open());
  w.SetFlags(kGdsNoSpooling);
  if (content.with_top) w.WriteNamedProperty("$TOPSTR$", kGdsSettingText, content.top);
  w.WriteNamedProperty("GBR$POLYFILL", kGdsSettingInt16, int32_t{0});
  w.WriteNamedProperty("GBR$ETCH", kGdsSettingReal, 0.0);
  for (int layer : content.layers) {
    char file[64];
    std::snprintf(file, sizeof file, "%.6s%02d.gbr", content.top.c_str(), layer);
    w.WriteLayerFileRecord(layer, file);
  }
  w.WriteNamedProperty("GBR$NOAPTS", kGdsSettingInt32, int32_t{0});
  w.WriteNamedProperty("GBR$UNIT", kGdsSettingInt32, int32_t{3});
  w.WriteNamedProperty("$FIXUP$", kGdsSettingReal, 1.0);
  if (content.with_jump) w.WriteNamedProperty("$JUMP$", kGdsSettingText, content.translated);
  ASSERT_EQ(w.EndLibrary(), kGdsOk);
}

inline std::vector<uint8_t> Be16(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int v : values) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
  return bytes;
}
inline std::vector<uint8_t> Be32(const std::vector<int32_t>& values) {
  std::vector<uint8_t> bytes;
  for (int32_t v : values) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
  }
  return bytes;
}

// A translated stream, by default in a micron user unit of 1000 database units (1 nm
// each), built structure by structure with the writer's integer (database unit) element
// calls.
class StreamBuilder {
 public:
  explicit StreamBuilder(const std::string& name, std::string_view unit = "UM",
                         double database_unit = 0.001) {
    EXPECT_EQ(w.OpenLibrary(name, unit, database_unit, "", 1.0, false), kGdsOk);
  }
  void Begin(const std::string& structure) { EXPECT_EQ(w.BeginStructure(structure), kGdsOk); }
  void End() { EXPECT_EQ(w.EndStructure(), kGdsOk); }
  void Finish() { EXPECT_EQ(w.EndLibrary(), kGdsOk); }

  void Boundary(int layer, const std::vector<GdsIntPoint>& points) {
    EXPECT_EQ(w.WriteBoundaryEx(std::span<const GdsIntPoint>(points), layer, 0, 0, 0), kGdsOk);
  }
  void Rectangle(int layer, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Boundary(layer, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}});
  }
  void Path(int layer, const std::vector<GdsIntPoint>& points, int32_t width, int pathtype) {
    EXPECT_EQ(w.WritePathEx(std::span<const GdsIntPoint>(points), layer, 0, width, pathtype, 0, 0),
              kGdsOk);
  }
  void Sref(const std::string& name, GdsIntPoint at, double mag = 1, double angle = 0,
            bool reflect = false) {
    EXPECT_EQ(w.WriteSrefEx(name, at, mag, angle, reflect, 0, 0), kGdsOk);
  }
  void Aref(const std::string& name, const std::array<GdsIntPoint, 3>& points, int columns,
            int rows, double mag = 1, double angle = 0, bool reflect = false) {
    EXPECT_EQ(w.WriteArefEx(name, std::span<const GdsIntPoint>(points), std::nullopt, columns, rows,
                            mag, angle, reflect, 0, 0),
              kGdsOk);
  }
  // Centre and radius in microns (user units), width in microns.
  void Circle(int layer, GdsPoint centre, double radius, double width) {
    w.WriteCircle(centre, radius, 0, layer, 0, width);
  }
  void Arc(int layer, GdsPoint centre, double radius, double first_angle, double second_angle,
           double width) {
    const double a = first_angle / 180 * kPi, b = second_angle / 180 * kPi;
    std::array<GdsPoint, 2> ends = {
        GdsPoint{centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)},
        GdsPoint{centre.x + radius * std::cos(b), centre.y + radius * std::sin(b)}};
    EXPECT_EQ(w.WriteArc(first_angle, second_angle, 0, radius, ends, centre, width, 0, layer),
              kGdsOk);
  }
  void Text(int layer, GdsIntPoint at, std::string_view text) {
    w.WriteTextEx(layer, 0, 0, 0, 0, 0, false, false, int32_t{0}, 1.0, 0.0, at, text, 0, 0);
  }
  // A text stroke as the engine writes it after a TEXT: BOUNDARY, ELFLAGS, LAYER,
  // DATATYPE, XY with the open polyline, ENDEL.
  void Stroke(int layer, const std::vector<int32_t>& xy) {
    Record(kGdsBoundary, kGdsTypeNone, {});
    Record(kGdsElFlags, kGdsTypeBitArray, Be16({0}));
    Record(kGdsLayer, kGdsTypeInt16, Be16({layer}));
    Record(kGdsDataType, kGdsTypeInt16, Be16({0}));
    Record(kGdsXy, kGdsTypeInt32, Be32(xy));
    Record(kGdsEndEl, kGdsTypeNone, {});
  }
  void Record(int type, int data_type, const std::vector<uint8_t>& data) {
    EXPECT_EQ(w.WriteRecord(type, data_type, data), kGdsOk);
  }

  GdsWriter w;
};

// --- Reading Intermediate files back ---

struct ReadSector {
  int32_t centre_x, centre_y;
  int32_t start_x, start_y;  // outer start point
  int32_t outer, inner;
  int32_t sweep_tenths;
};

struct ReadBack {
  bool valid = false;
  std::vector<std::array<int32_t, 8>> quads;
  std::vector<ReadSector> sectors;

  double QuadArea() const {
    double area = 0;
    for (const auto& q : quads) {
      double twice = 0;
      for (int i = 0; i < 4; ++i) {
        int j = (i + 1) % 4;
        twice += double(q[2 * i]) * q[2 * j + 1] - double(q[2 * j]) * q[2 * i + 1];
      }
      area += std::fabs(twice) / 2;
    }
    return area;
  }
  double SectorArea() const {
    double area = 0;
    for (const ReadSector& s : sectors) {
      area +=
          s.sweep_tenths / 3600.0 * kPi * (double(s.outer) * s.outer - double(s.inner) * s.inner);
    }
    return area;
  }
  double Area() const { return QuadArea() + SectorArea(); }
  // Whether a point lies inside (or on) some quadrilateral; corners run counter-clockwise.
  bool Covers(double x, double y) const {
    for (const auto& q : quads) {
      bool inside = true;
      for (int i = 0; i < 4 && inside; ++i) {
        int j = (i + 1) % 4;
        double cross = (q[2 * j] - double(q[2 * i])) * (y - q[2 * i + 1]) -
                       (q[2 * j + 1] - double(q[2 * i + 1])) * (x - q[2 * i]);
        inside = cross >= -1e-9;
      }
      if (inside) return true;
    }
    return false;
  }
  // The bounding box of every quadrilateral corner: min x, min y, max x, max y.
  std::array<int32_t, 4> Bounds() const {
    std::array<int32_t, 4> b = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const auto& q : quads) {
      for (int i = 0; i < 4; ++i) {
        b[0] = std::min(b[0], q[2 * i]);
        b[1] = std::min(b[1], q[2 * i + 1]);
        b[2] = std::max(b[2], q[2 * i]);
        b[3] = std::max(b[3], q[2 * i + 1]);
      }
    }
    return b;
  }
};

inline ReadBack ReadIntermediate(const std::string& path) {
  ReadBack back;
  auto file = BufFileOpen(path.c_str(), "rb");
  if (!file) return back;
  PgReader reader;
  int32_t unit = 0;
  if (DetectPgFormat(&reader, file.get(), kPgFormatIntermediate, &unit) != kPgReaderIntermediate) {
    return back;
  }
  for (;;) {
    int result = ReadIntermediateRecord(&reader);
    const FlashRecord& f = reader.flash();
    if (result == kPgReadFlash) {
      std::array<int32_t, 8> corners{};
      for (int i = 0; i < 4; ++i) AbsoluteFlashCorner(f, i, &corners[2 * i], &corners[2 * i + 1]);
      back.quads.push_back(corners);
    } else if (result == kPgReadSector) {
      back.sectors.push_back({f.corners[kPgCentreX], f.corners[kPgCentreY], f.corners[0],
                              f.corners[1], f.w, f.h, f.angle});
    } else if (result == kPgReadEndOfData) {
      back.valid = true;
      return back;
    } else if (result != kPgReadNothing) {
      return back;
    }
  }
}

}  // namespace kavrinth::testing
