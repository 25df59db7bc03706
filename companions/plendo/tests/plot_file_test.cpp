// The plot data file reader: what the viewer's writer writes comes back, and damaged files
// give a message instead of shapes.
#include "companions/plendo/plot_file.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "gdsii/encoding.h"
#include "gdsii/records.h"
#include "support/qt/tests/qt_test_support.h"
#include "viewer/model/gdsformat_writer.h"

namespace kavrinth {
namespace {

class PlotFileTest : public TempDirTest {
 protected:
  std::string WriteSample() {
    const std::string path = Path("plot.gds");
    EXPECT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", false), kGdsOutOk);
    GdsOutNamedProperty("DPI", kGdsSettingInt16, 600);
    GdsOutBeginStructure("TOP");
    GdsOutNamedProperty("SETCOLOR", kGdsSettingInt16, 3);
    // Two polygons in one boundary, with word-sized and large deltas.
    const std::vector<GdsIntPoint> points = {
        {0, 0},       {1000, 0},      {1000, 1000},   {0, 0},      {kGdsOutBreakX, kGdsOutBreakY},
        {5000, 5000}, {900000, 5000}, {5000, 900000}, {5000, 5000}};
    EXPECT_EQ(GdsOutBoundary(points, 4, 3, 0, 0), kGdsOutOk);
    GdsOutNamedProperty("NEGDISP", kGdsSettingInt16, 1);
    const std::vector<GdsIntPoint> line = {{1, 2}, {1000, 2000}};  // a record 141
    GdsOutPath(line, 5, 3, 7, 2, 8, 0);
    GdsOutNamedProperty("NEGDISP", kGdsSettingInt16, 0);
    GdsOutCircle({10, 20}, 0.5, 3, 6, 0, 0);
    GdsOutEndStructure();
    EXPECT_EQ(GdsOutClose(), kGdsOutOk);
    return path;
  }
};

TEST_F(PlotFileTest, WhatTheWriterWroteComesBack) {
  PlotDocument document;
  std::string error;
  ASSERT_TRUE(ReadPlotFile(WriteSample(), &document, &error)) << error;
  EXPECT_DOUBLE_EQ(document.Setting("DPI", 0), 600);
  EXPECT_DOUBLE_EQ(document.user_units_per_database_unit, 0.001);
  ASSERT_EQ(document.shapes.size(), 4u);
  const PlotShape& boundary = document.shapes[0];
  ASSERT_EQ(boundary.polygons.size(), 2u);
  EXPECT_EQ(boundary.polygons[0].size(), 4u);
  ASSERT_EQ(boundary.polygons[1].size(), 4u);
  EXPECT_EQ(boundary.polygons[1].back().y, 5000) << "closed on the last polygon's start";
  EXPECT_EQ(boundary.polygons[1][2].y, 900000);
  EXPECT_EQ(boundary.colour, 3);
  EXPECT_EQ(document.shapes[1].kind, PlotShape::kWindowFill);
  EXPECT_EQ(document.shapes[2].colour, 0) << "inside NEGDISP";
  EXPECT_EQ(document.shapes[2].width, 7);
  EXPECT_EQ(document.shapes[2].path_type, 2);
  EXPECT_EQ(document.shapes[3].kind, PlotShape::kCircle);
  EXPECT_EQ(document.shapes[3].colour, 3);
  EXPECT_DOUBLE_EQ(document.shapes[3].radius, 500.0);
}

TEST_F(PlotFileTest, DamagedFilesGiveAMessage) {
  const std::string good = ReadFile(WriteSample());
  const size_t end = good.rfind(std::string("\x00\x04\x04\x00", 4));
  ASSERT_NE(end, std::string::npos);
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string odd = good;
  odd[1] = 5;  // the first record's length odd
  std::string bad_points = good;
  // The path's compressed point record loses two bytes of its length.
  const size_t xy = good.find(std::string("\x8d\xff", 2));
  ASSERT_NE(xy, std::string::npos);
  bad_points[xy - 1] = static_cast<char>(bad_points[xy - 1] - 2);
  // The SETCOLOR value as a real far beyond 32 bits (a MAG record in place of its integer).
  std::string huge_colour = good;
  const size_t name = good.find("SETCOLOR");
  ASSERT_NE(name, std::string::npos);
  const size_t value = name + 8;  // the integer record after the name
  ASSERT_EQ(static_cast<uint8_t>(good[value + 2]), kGdsUinteger);
  std::array<uint8_t, 8> real{};
  GdsReal8(6.8e38, real);
  huge_colour.replace(value, 6, std::string("\x00\x0c\x1b\x05", 4) +
                                    std::string(real.begin(), real.end()));
  const Case cases[] = {{"empty", ""},
                        {"colour beyond 32 bits", huge_colour},
                        {"cut short", good.substr(0, end / 2)},
                        {"no end record", good.substr(0, end)},
                        {"odd length", odd},
                        {"point record", bad_points}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile("bad.gds", c.bytes);
    PlotDocument document;
    std::string error;
    EXPECT_FALSE(ReadPlotFile(Path("bad.gds"), &document, &error));
    EXPECT_FALSE(error.empty());
    if (c.bytes == huge_colour) {
      EXPECT_EQ(error.rfind("a SETCOLOR of 6.8e+38 at byte ", 0), 0u) << error;
    }
  }
}

}  // namespace
}  // namespace kavrinth
