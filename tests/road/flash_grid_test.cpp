// Boxes on a 0.1-micron grid taken over the whole road, as the shells run it: selvar,
// tabreng's counting and real pass, the output converter of each layer, and the PG -> GDSII
// engine back. Every box of 0.1 to 1.0 microns a side, at a position on the 0.2-micron grid
// and at one off it, comes back exactly, or its converter counts it as a warning that
// names its largest move, and the engine that reads it back moves nothing further.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "gdsii/library.h"
#include "gdsii/writer.h"
#include "support/run_program.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;

const std::string kProgramDir = KAVRINTH_BIN_DIR;

// One box per layer, 1 to 200, each in a 20-micron cell of its own: the sides of 1 to 10
// tenths of a micron, at the cell's corner (on the 0.2-micron grid) or 0.7 and 0.3
// microns from it.
struct GridBox {
  int layer;
  std::array<int64_t, 4> nm;  // x0, y0, x1, y1
};

std::vector<GridBox> Boxes() {
  std::vector<GridBox> boxes;
  for (int odd = 0; odd < 2; ++odd) {
    for (int w = 1; w <= 10; ++w) {
      for (int h = 1; h <= 10; ++h) {
        const int layer = static_cast<int>(boxes.size()) + 1;
        const int64_t x0 = (w - 1) * 20000 + odd * 700,
                      y0 = ((h - 1) + 10 * odd) * 20000 + odd * 300;
        boxes.push_back({layer, {x0, y0, x0 + w * 100, y0 + h * 100}});
      }
    }
  }
  return boxes;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// An output format as a user picks it: the converter's unit and scale, and the engine
// that reads the result back with the inverse scale.
struct GridOutput {
  const char* name;
  const char* converter;
  const char* converter_options;
  const char* suffix;
  double nm_per_raw;  // the output's unit at the scale given
  int scale;
  const char* engine;
  const char* engine_options;
};

const GridOutput kGridOutputs[] = {
    {"Electromask", "ferolt", " microns 1.000000 -p -q", ".em", 100, 1, "corvitex", " -u:M"},
    {"Electromask at scale 2", "ferolt", " microns 2.000000 -p -q", ".em", 50, 2, "corvitex",
     " -u:M -scale 0.5"},
    {"Mann 3000", "mistrel", " microns 1.000000 -p -q -3000", ".dwm", 1000, 1, "corvaxen",
     " -u:M -3000 -scale 1.000000"},
    {"Mann 3600", "mistrel", " microns 1.000000 -p -q -3600", ".dwm", 10, 1, "corvaxen",
     " -u:M -3600 -scale 1.000000"},
};

// Tests name their output by its name.
void PrintTo(const GridOutput& output, std::ostream* os) { *os << output.name; }

// Layers per engine run: within the 64 the engines keep, so no two share a number.
constexpr int kLayersPerEngineRun = 50;

struct OutputRun {
  std::map<int, int32_t> converter_result;   // layer -> result
  std::map<int, std::string> converter_log;  // layer -> its lines in pg.log
  std::vector<int32_t> engine_results;
  std::vector<std::string> engine_logs;
  std::vector<std::array<int64_t, 4>> returned;  // every boundary's box, in nanometres
};

// The scan and the engine's two passes are shared; each output's conversions and read-back
// run in the test of that output, within its own time limit.
class FlashGridRoadTest : public ::testing::TestWithParam<GridOutput> {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = "/tmp/kavrinth-flash-grid-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    WriteLayout();
    scan_result_ = Run("selvar", "\"" + Work("grid.gds") + "\" -max:8192 -sh -sea -elmcnt \"-o:" +
                                     Work("grid.ssn") + "\"");
    std::string layers;
    for (const GridBox& box : Boxes())
      layers += (layers.empty() ? "" : ",") + std::to_string(box.layer);
    const std::string settings =
        "SCALE\r\n1.000000\r\n\r\nFEATURE\r\n0.500000\r\n\r\nFILLMODE\r\n1\r\n\r\n";
    std::string outputs = "PG_OUTPUT\r\n";
    for (const GridBox& box : Boxes()) {
      outputs += std::to_string(box.layer) + " " + IntermediateName(box.layer) + "\r\n";
    }
    for (const char* name : {"pg.cfg", "gds.cfg"}) WriteText(Work(name), settings + outputs);
    const std::string base = "\"" + Work("grid.gds") + "\" 0.500000 " + layers + " GRID -s1.000000";
    counting_result_ = Run("tabreng", base + " -polycnt");
    real_result_ = Run("tabreng", base + " -polycnt:" + std::to_string(counting_result_));
    engine_pg_log_ = ReadText(Work("pg.log"));
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static std::string Work(const std::string& name) { return dir_ + "/" + name; }

  static std::string IntermediateName(int layer) {
    char name[16];
    std::snprintf(name, sizeof name, "GRID%02d.int", layer);
    return name;
  }

  static int32_t Run(const std::string& program, const std::string& arguments) {
    int32_t exit_code = 0;
    const int started =
        RunProgram({}, kProgramDir + "/" + program, dir_.c_str(), arguments, &exit_code, true);
    return started == 1 ? exit_code : -98;
  }

  static void WriteLayout() {
    GdsWriter writer;
    ASSERT_EQ(writer.OpenLibrary(Work("grid.gds"), "UM", 0.001, "", 1.0, false), kGdsOk);
    writer.SetFlags(kGdsNoSpooling);
    ASSERT_EQ(writer.BeginStructure("GRID"), kGdsOk);
    for (const GridBox& box : Boxes()) {
      const auto [x0, y0, x1, y1] = box.nm;
      auto um = [](int64_t nm) { return static_cast<double>(nm) / 1000; };
      const GdsPoint points[] = {
          {um(x0), um(y0)}, {um(x1), um(y0)}, {um(x1), um(y1)}, {um(x0), um(y1)}, {um(x0), um(y0)}};
      ASSERT_EQ(writer.WriteBoundary(points, box.layer, 0, 0, 0), kGdsOk);
    }
    writer.EndStructure();
    ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  }

  static OutputRun Convert(const GridOutput& output, const std::string& pg_log) {
    OutputRun run;
    WriteText(Work("pg.log"), pg_log);
    std::vector<std::pair<int, std::string>> files;
    for (const GridBox& box : Boxes()) {
      const std::string intermediate = IntermediateName(box.layer);
      const size_t before = ReadText(Work("pg.log")).size();
      run.converter_result[box.layer] =
          Run(output.converter, intermediate + output.converter_options);
      run.converter_log[box.layer] = ReadText(Work("pg.log")).substr(before);
      const fs::path made = fs::path(Work(intermediate)).replace_extension(output.suffix);
      const std::string kept = Work("L" + std::to_string(box.layer) + output.suffix);
      if (fs::exists(made)) fs::rename(made, kept);
      files.emplace_back(box.layer, kept);
    }
    for (size_t first = 0; first < files.size(); first += kLayersPerEngineRun) {
      std::string sections, list;
      for (size_t i = first; i < std::min(files.size(), first + kLayersPerEngineRun); ++i) {
        const std::string section = "layer" + std::to_string(i - first);
        sections += "[" + section + "]\r\nlayer=" + std::to_string(i - first + 1) + "," +
                    files[i].second + "\r\n";
        list += (list.empty() ? "" : ",") + section;
      }
      const std::string job = Work("back" + std::to_string(first) + ".job");
      WriteText(job, sections + "[General]\r\nlayers=" + list + "\r\n");
      const std::string gds = fs::path(job).replace_extension(".gds");
      run.engine_results.push_back(
          Run(output.engine, "\"@" + job + "\" \"-o:" + gds + "\"" + output.engine_options));
      run.engine_logs.push_back(ReadText(fs::path(job).replace_extension(".log")));
      GdsLibrary library;
      std::string error;
      EXPECT_EQ(GdsReadLibrary(gds, &library, &error), 0) << error;
      const double nm_per_database_unit = library.metres_per_database_unit * 1e9;
      for (const GdsStructure& structure : library.structures) {
        for (const GdsElement& element : structure.elements) {
          if (element.kind != kGdsBoundary || element.points.empty()) continue;
          std::array<double, 4> box = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
          for (const GdsIntPoint& p : element.points) {
            box = {std::min(box[0], p.x * nm_per_database_unit),
                   std::min(box[1], p.y * nm_per_database_unit),
                   std::max(box[2], p.x * nm_per_database_unit),
                   std::max(box[3], p.y * nm_per_database_unit)};
          }
          run.returned.push_back({std::llround(box[0]), std::llround(box[1]), std::llround(box[2]),
                                  std::llround(box[3])});
        }
      }
    }
    return run;
  }

  inline static std::string dir_;
  inline static int32_t scan_result_ = -99, counting_result_ = -99, real_result_ = -99;
  inline static std::string engine_pg_log_;  // each output starts from it
};

// The returned box in the input box's cell, if any.
std::optional<std::array<int64_t, 4>> Returned(const OutputRun& run,
                                               const std::array<int64_t, 4>& input) {
  for (const auto& box : run.returned) {
    if (std::llabs(box[0] - input[0]) < 5000 && std::llabs(box[1] - input[1]) < 5000) return box;
  }
  return std::nullopt;
}

// The largest distance, in microns, from a corner of one box to the same corner of the other.
double LargestCornerMoveUm(const std::array<int64_t, 4>& a, const std::array<int64_t, 4>& b) {
  const double x = std::max(std::llabs(a[0] - b[0]), std::llabs(a[2] - b[2]));
  const double y = std::max(std::llabs(a[1] - b[1]), std::llabs(a[3] - b[3]));
  return std::hypot(x, y) / 1000;
}

// Whether a flash in raw units of u nanometres holds the box exactly: its centre and its
// sides are whole raw units.
bool Holds(const std::array<int64_t, 4>& nm, double u) {
  auto whole = [](double v) { return std::fabs(v - std::round(v)) < 1e-9; };
  const auto [x0, y0, x1, y1] = nm;
  return whole((x0 + x1) / 2.0 / u) && whole((x1 - x0) / u) && whole((y0 + y1) / 2.0 / u) &&
         whole((y1 - y0) / u);
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

TEST_P(FlashGridRoadTest, EveryBoxComesBackExactOrItsMoveIsCounted) {
  ASSERT_EQ(scan_result_, 0);
  ASSERT_GE(counting_result_, 0);
  ASSERT_EQ(real_result_, 0);
  const GridOutput& output = GetParam();
  {
    // The converters append to pg.log: the output's run starts from the job's.
    const OutputRun run = Convert(output, engine_pg_log_);
    for (size_t i = 0; i < run.engine_results.size(); ++i) {
      EXPECT_EQ(run.engine_results[i], 0) << output.name << ": " << run.engine_logs[i];
    }
    int exact = 0;
    for (const GridBox& box : Boxes()) {
      const auto [x0, y0, x1, y1] = box.nm;
      SCOPED_TRACE(std::string(output.name) + ": box " + Number((x1 - x0) / 1000.0) + " x " +
                   Number((y1 - y0) / 1000.0) + " at " + Number(x0 / 1000.0) + "," +
                   Number(y0 / 1000.0));
      // A flash's centre and sides are whole raw units.
      const double u = output.nm_per_raw;
      const bool holdable = Holds(box.nm, u);
      const std::optional<std::array<int64_t, 4>> back = Returned(run, box.nm);
      const std::string& log = run.converter_log.at(box.layer);
      if (std::min(x1 - x0, y1 - y0) < u / 2) {
        // A side that rounds to no raw unit at all: no flash holds it.
        EXPECT_FALSE(back.has_value());
        EXPECT_EQ(run.converter_result.at(box.layer), 1) << log;
        EXPECT_NE(log.find("Warning: 1 rectangle(s) thinner than the output's unit were left out"),
                  std::string::npos)
            << log;
        continue;
      }
      ASSERT_TRUE(back.has_value()) << log;
      if (holdable) {
        ++exact;
        EXPECT_EQ(*back, box.nm);
        EXPECT_EQ(run.converter_result.at(box.layer), 0) << log;
        EXPECT_EQ(log.find("Warning"), std::string::npos) << log;
        continue;
      }
      const double move = LargestCornerMoveUm(*back, box.nm);
      EXPECT_GT(move, 0);
      EXPECT_LE(move * 1000, u * std::sqrt(2) * 0.75);
      EXPECT_EQ(run.converter_result.at(box.layer), 1) << log;
      EXPECT_NE(
          log.find("Warning: 1 rectangle flash(es) moved by up to " + Number(move) + " microns"),
          std::string::npos)
          << log;
      // The scale named for the layer is the smallest whole multiple of the one given
      // whose unit holds the box.
      const std::string named = "would be exact at scale ";
      const size_t at = log.find(named);
      ASSERT_NE(at, std::string::npos) << log;
      const int multiple = std::atoi(log.c_str() + at + named.size()) / output.scale;
      EXPECT_TRUE(Holds(box.nm, u / multiple)) << log;
      for (int k = 1; k < multiple; ++k) EXPECT_FALSE(Holds(box.nm, u / k)) << k << ": " << log;
    }
    std::printf("  %-24s %3d of 200 boxes exact\n", output.name, exact);
  }
}

INSTANTIATE_TEST_SUITE_P(Outputs, FlashGridRoadTest, ::testing::ValuesIn(kGridOutputs),
                         [](const ::testing::TestParamInfo<GridOutput>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c != 0; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace kavrinth
