// The GDSII -> PG road as the shell drives it, in a scratch working directory: selvar
// scans the test pattern, the settings files are written, tabreng runs its counting and
// its real pass, ferolt and mistrel convert every layer's Intermediate file, and corvitex
// and corvaxen take the results back to GDSII. Every layer's PG and GDSII shapes are
// measured against the pattern's own flattened shapes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "gdsii/library.h"
#include "pg2gds/pg_readers.h"
#include "support/buf_file.h"
#include "support/run_program.h"
#include "testing/outside_gds_reader.h"
#include "tests/road/road_geometry.h"
#include "tools/samplegen/test_pattern.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;
using namespace road;
using samplegen::kTestPatternLayers;
using samplegen::kTestPatternTextLayer;
using samplegen::PatternLayer;

const std::string kProgramDir = KAVRINTH_BIN_DIR;
const std::string kSamplesDir = KAVRINTH_SAMPLES_DIR;

// The user's choices in the shell (microns; a 0.5-micron feature size).
constexpr double kFeatureSize = 0.5;
constexpr double kScale = 1.0;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// ---- What the shell reads of the scan report ----

struct ScanFacts {
  std::string top;          // the root with the deepest tree, the later one on a tie
  std::vector<int> layers;  // LAYERS_CONTAINING_DATA
  std::string unit;         // the text after "User Units:"
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

ScanFacts ReadScanReport(const std::string& text) {
  ScanFacts facts;
  const std::vector<std::string> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "LAYERS_CONTAINING_DATA") {
      for (size_t j = i + 2; j < lines.size() && !lines[j].empty(); ++j) {
        std::istringstream items(lines[j]);
        for (std::string item; std::getline(items, item, ',');)
          facts.layers.push_back(std::stoi(item));
      }
    } else if (lines[i].starts_with("User Units:")) {
      facts.unit = lines[i].substr(11);
    } else if (lines[i] == "HIERARCHY of INDEPENDENT STRUCTURES") {
      std::string root;
      int deepest = 0, best = -1;
      auto judge = [&] {
        if (!root.empty() && deepest >= best) {
          facts.top = root;
          best = deepest;
        }
      };
      for (size_t j = i + 1; j < lines.size(); ++j) {
        const std::string& line = lines[j];
        const size_t mark = line.find("  |__ ");
        if (line.empty() || (mark == std::string::npos && line.find('|') != std::string::npos)) {
          continue;
        }
        if (mark == std::string::npos) {
          judge();
          root = line;
          deepest = 0;
        } else {
          const auto bars = std::count(line.begin(), line.begin() + mark, '|');
          deepest = std::max(deepest, 1 + static_cast<int>(bars));
        }
      }
      judge();
    }
  }
  return facts;
}

// ---- The PG settings file as the shell writes it ----

// The records of the PG settings (MaskUnit microns), with the PG_OUTPUT list of layer
// and file name.
std::string PgSettings(const std::vector<std::pair<int, std::string>>& outputs) {
  std::string text = "SMALLANGLE\n0.500000\n\nSCALE\n" + Formatted("%f", kScale) +
                     "\n\nCOMPENSATION\n0.000000\n\nVERIFY\n1\n\nFEATURE\n" +
                     Formatted("%f", kFeatureSize) +
                     "\n\nOLEVEL\n3\n\nFILLMODE\n1\n\nBLOCK_TEXT\nYES\n\n";
  text += "TSCALE\n";
  for (int i = 0; i < 4; ++i) text += Formatted("%f", 1.0 / kScale) + "\n";
  text += "\nSHTSCALE\n1.000000\n1.000000\n1.000000\n1.000000\n\n";
  text += "METMIN\n0.100000\n\nMETMAX\n60.000000\n\nMETSAG\n0.100000\n\n";
  text += "ENGMIN\n" + Formatted("%f", 0.1 / 25.4) + "\n\nENGMAX\n" + Formatted("%f", 60 / 25.4) +
          "\n\nENGSAG\n" + Formatted("%f", 0.1 / 25.4) + "\n\nPERCENT_BUTT\n25\n\n";
  if (!outputs.empty()) text += "\nPG_OUTPUT\n";
  for (const auto& [layer, name] : outputs) text += std::to_string(layer) + " " + name + "\n";
  std::string crlf;  // the files are written in text mode: CR LF on disk
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

// ---- The PG outputs the road makes ----

struct PgOutput {
  const char* name;     // for messages
  int32_t format;       // PgFormat
  const char* program;  // the converter
  const char* option;   // its machine option
  const char* suffix;   // of the user's PG output name
  double nm_per_raw;    // the format's raw unit, for micron data
  const char* engine;   // the PG -> GDSII engine that reads it back
  const char* engine_options;
};

// Electromask counts tenths of a micron, Mann 3000 microns, Mann 3600 hundred-thousandths
// of a millimetre.
const PgOutput kOutputs[] = {
    {"Electromask", kPgFormatElectroMask, "ferolt", "", ".em", 100, "corvitex", ""},
    {"Mann 3000", kPgFormatMann3000, "mistrel", " -3000", "-3000.dwm", 1000, "corvaxen",
     " -3000 -scale 1.000000"},
    {"Mann 3600", kPgFormatMann3600, "mistrel", " -3600", "-3600.dwm", 10, "corvaxen",
     " -3600 -scale 1.000000"},
};

// How close to an angled edge a cover flash must come: half the feature size, but never
// finer than two steps of the two-raw-unit grid the cover flashes sit on.
double CoverToleranceNm(const PgOutput& output) {
  return std::max(kFeatureSize / 2 * 1000, 4 * output.nm_per_raw);
}

// The sum of the counts of the log's warnings that start with `prefix` and the count:
// "<prefix><n> ...".
int64_t CountedWarnings(const std::string& log, const std::string& prefix,
                        const std::string& after = "") {
  int64_t sum = 0;
  for (size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
    char* end = nullptr;
    const long long n = std::strtoll(log.c_str() + at + prefix.size(), &end, 10);
    if (end != log.c_str() + at + prefix.size() && std::string_view(end).starts_with(after)) {
      sum += n;
    }
  }
  return sum;
}

// A converter's lines in pg.log for one layer's file.
std::string ConverterLog(const std::string& pg_log, const PgOutput& output, int layer) {
  char head[64];
  std::snprintf(head, sizeof head, "%s: TESTPA%02d.int -> ", output.program, layer);
  for (size_t at = pg_log.find(head); at != std::string::npos; at = pg_log.find(head, at + 1)) {
    const size_t end = pg_log.find(" flash(es) written\r\n", at);
    const std::string section = pg_log.substr(at, end == std::string::npos ? end : end - at);
    if (section.find("(" + std::string(PgFormatName(output.format)) + ",") != std::string::npos) {
      return section;
    }
  }
  return {};
}

// The flashes of a PG file, read with the PG readers; fails the test on a bad file.
std::vector<FlashRecord> ReadFlashes(const std::string& path, int32_t format) {
  std::vector<FlashRecord> flashes;
  std::unique_ptr<BufFile> file = BufFileOpen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr) << path;
  if (!file) return flashes;
  PgReader reader;
  int32_t unit = 0;
  const PgRecordReader read = PgRecordReaderFor(DetectPgFormat(&reader, file.get(), format, &unit));
  EXPECT_NE(read, nullptr) << path << " is not " << PgFormatName(format);
  if (!read) return flashes;
  int result;
  while ((result = read(&reader)) == kPgReadFlash) flashes.push_back(reader.flash());
  EXPECT_EQ(result, kPgReadEndOfData) << path;
  return flashes;
}

// ---- The road, run once for every test below ----

struct RoadRun {
  std::string dir;  // the working directory
  std::string gds;
  int scan_result = -99;
  ScanFacts scan;
  int32_t counting_result = -99;
  int32_t real_result = -99;
  std::map<int, std::string> intermediate;                          // layer -> file
  std::map<std::string, std::map<int, std::string>> pg;             // output -> layer -> file
  std::map<std::string, std::map<int, int32_t>> converter_results;  // output -> layer -> result
  std::map<std::string, int32_t> engine_results;                    // output -> engine result
  std::map<std::string, std::string> round_trip;                    // output -> GDSII file
  int32_t stream_result = -99;  // the pass that keeps its translated stream
  std::string translated_stream;
};

class Shell {
 public:
  explicit Shell(RoadRun& run) : run_(run) {}

  // RunProgram as the shell calls it: waited for, in the working directory.
  int32_t Run(const std::string& program, const std::string& arguments,
              const std::string& directory = "") {
    int32_t exit_code = 0;
    const std::string working = directory.empty() ? run_.dir : directory;
    const int started =
        RunProgram({}, kProgramDir + "/" + program, working.c_str(), arguments, &exit_code, true);
    EXPECT_EQ(started, 1) << program << " " << arguments;
    return started == 1 ? exit_code : -98;
  }

  std::string Work(const std::string& name) const { return run_.dir + "/" + name; }

  void Scan() {
    run_.scan_result =
        Run("selvar",
            "\"" + run_.gds + "\" -max:8192 -sh -sea -elmcnt \"-o:" + Work("road.ssn") + "\"");
    run_.scan = ReadScanReport(ReadText(Work("road.ssn")));
  }

  std::string LayerList() const {
    std::string list;
    for (int layer : run_.scan.layers) list += (list.empty() ? "" : ",") + std::to_string(layer);
    return list;
  }

  // The job's CFG file and its copies pg.cfg and gds.cfg.
  void WriteSettings(const std::vector<std::pair<int, std::string>>& outputs) {
    for (const char* name : {"road.cfg", "pg.cfg", "gds.cfg"})
      WriteText(Work(name), PgSettings(outputs));
  }

  void Translate() {
    const std::string base = "\"" + run_.gds + "\"" + Formatted(" %f ", kFeatureSize) +
                             LayerList() + " " + run_.scan.top + Formatted(" -s%f ", kScale);
    run_.counting_result = Run("tabreng", base + " -polycnt");
    if (run_.counting_result < 0) return;
    std::vector<std::pair<int, std::string>> intermediates;
    for (int layer : run_.scan.layers) {
      char name[16];
      std::snprintf(name, sizeof name, "%02d.int", layer);
      run_.intermediate[layer] = Work(run_.scan.top.substr(0, 6) + name);
      intermediates.emplace_back(layer, run_.intermediate[layer]);
    }
    // During the real pass PG_OUTPUT names the intermediate files.
    WriteSettings(intermediates);
    run_.real_result = Run("tabreng", base + " -polycnt:" + std::to_string(run_.counting_result));
    // Then it names the user's PG output files again.
    WriteSettings(UserOutputs(kOutputs[0]));
  }

  // One more real pass that stops before post-processing and keeps the translated stream
  // it would have handed over; in a directory of its own, with copies of the job's files,
  // so that its pg.log and streams leave the road's alone.
  void KeepTranslatedStream() {
    const std::string directory = Work("stream");
    fs::create_directory(directory);
    for (const char* name : {"road.gds", "road.ssn", "road.cfg", "pg.cfg", "gds.cfg"}) {
      fs::copy_file(Work(name), directory + "/" + name);
    }
    const std::string base = "\"" + directory + "/road.gds\"" + Formatted(" %f ", kFeatureSize) +
                             LayerList() + " " + run_.scan.top + Formatted(" -s%f ", kScale);
    run_.stream_result =
        Run("tabreng", base + " -polycnt:" + std::to_string(run_.counting_result) + " -opost",
            directory);
    run_.translated_stream = directory + "/road.gdx";
  }

  // The user's PG output name of every layer.
  std::vector<std::pair<int, std::string>> UserOutputs(const PgOutput& output) const {
    std::vector<std::pair<int, std::string>> names;
    for (int layer : run_.scan.layers) {
      names.emplace_back(layer, Work("L" + std::to_string(layer) + output.suffix));
    }
    return names;
  }

  // The output conversion of every layer, keeping the intermediate files (as the shell
  // does in debug mode) so that every format is made from the same run.
  void Convert(const PgOutput& output) {
    const std::string options = " microns 1.000000 -p -q" + std::string(output.option);
    for (const auto& [layer, name] : UserOutputs(output)) {
      const std::string& intermediate = run_.intermediate[layer];
      if (!fs::exists(intermediate) || fs::file_size(intermediate) <= 23) continue;
      const std::string file = fs::path(intermediate).filename();
      run_.converter_results[output.name][layer] = Run(output.program, file + options);
      const std::string made =
          fs::path(intermediate).replace_extension(output.format == 0 ? ".em" : ".dwm");
      if (!fs::exists(made)) continue;
      fs::rename(made, name);
      run_.pg[output.name][layer] = name;
    }
  }

  // The engine job file the EM/Mann shell writes, and the engine run on it.
  void BackToGds(const PgOutput& output) {
    std::string sections, list;
    int k = 0;
    for (const auto& [layer, file] : run_.pg[output.name]) {
      const std::string section = "layer" + std::to_string(k++);
      sections += "[" + section + "]\r\nlayer=" + std::to_string(layer) + "," + file + "\r\n";
      list += (list.empty() ? "" : ",") + section;
    }
    const std::string job = Work(std::string(output.program) + output.option + ".job");
    WriteText(job, sections + "[General]\r\nlayers=" + list + "\r\n");
    const std::string gds = fs::path(job).replace_extension(".gds");
    run_.engine_results[output.name] =
        Run(output.engine, "\"@" + job + "\" \"-o:" + gds + "\" -u:M" + output.engine_options);
    run_.round_trip[output.name] = gds;
  }

 private:
  RoadRun& run_;
};

class GdsToPgRoadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    run_ = std::make_unique<RoadRun>();
    std::string pattern = "/tmp/kavrinth-road-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    run_->dir = pattern;
    run_->gds = run_->dir + "/road.gds";
    ASSERT_EQ(samplegen::WriteTestPattern(run_->gds, GdsLocalTime), kGdsOk);
    Shell shell(*run_);
    shell.Scan();
    if (run_->scan_result != 0) return;
    shell.WriteSettings({});
    shell.Translate();
    if (run_->real_result < 0) return;
    for (const PgOutput& output : kOutputs) {
      shell.Convert(output);
      shell.BackToGds(output);
    }
    shell.KeepTranslatedStream();
  }
  static void TearDownTestSuite() {
    if (run_ != nullptr) fs::remove_all(run_->dir);
    run_.reset();
  }

  static const std::map<int, std::vector<PatternPolygon>>& Expected() {
    static const auto shapes = samplegen::FlattenTestPattern(samplegen::TestPatternStructures(),
                                                             samplegen::kTestPatternTop);
    return shapes;
  }

  inline static std::unique_ptr<RoadRun> run_;
};

// How one layer's result compares with the pattern.
struct LayerMeasure {
  double input_um2 = 0;
  double output_um2 = 0;
  double outside_um2 = 0;  // output beyond the allowed margin around the input
  double xor_um2 = 0;
};

LayerMeasure Measure(const Paths& input, const Paths& output_shapes, double margin_nm) {
  const Paths output = Union(output_shapes);
  LayerMeasure m;
  m.input_um2 = AreaUm2(input);
  m.output_um2 = AreaUm2(output);
  m.xor_um2 = AreaUm2(SymmetricDifference(input, output));
  m.outside_um2 = AreaUm2(Difference(output, Offset(input, margin_nm)));
  return m;
}

// Manhattan layers come back exactly. Angled ones reach nowhere beyond the margin around
// them and keep their area: the staircase of cover flashes straddles their edges, so the
// area is off by no more than the rounding to the two-raw-unit flash grid leaves (it goes
// either way: a quarter of a raw unit along the outline bounds it, where a staircase
// inside the edges loses half a step and more), and in Electromask by no more than 0.2%.
void ExpectLayerMatches(const PatternLayer& layer, const Paths& input, const Paths& output,
                        double margin_nm, const PgOutput& format, const std::string& what) {
  SCOPED_TRACE(what + ", layer " + std::to_string(layer.layer));
  ASSERT_FALSE(output.empty());
  const LayerMeasure m = Measure(input, output, layer.manhattan ? 0 : margin_nm);
  std::printf("  %-26s layer %d: %5zu shapes, %12.6f um2 (input %12.6f um2, xor %9.6f um2)\n",
              what.c_str(), layer.layer, output.size(), m.output_um2, m.input_um2, m.xor_um2);
  if (layer.manhattan) {
    EXPECT_EQ(m.xor_um2, 0.0);
    EXPECT_EQ(m.output_um2, m.input_um2);
    return;
  }
  EXPECT_EQ(m.outside_um2, 0.0) << "shapes beyond " << margin_nm << " nm of the input";
  EXPECT_NEAR(m.output_um2, m.input_um2, PerimeterNm(input) * format.nm_per_raw / 4 / 1e6);
  if (format.format == kPgFormatElectroMask) {
    EXPECT_NEAR(m.output_um2, m.input_um2, 0.002 * m.input_um2);
  }
}

// The flashes of one output's layer as polygons in nanometres.
Paths FlashPaths(const PgOutput& output, const std::string& file) {
  Paths paths;
  for (const FlashRecord& flash : ReadFlashes(file, output.format)) {
    paths.push_back(ToPath(FlashPolygon(flash, output.nm_per_raw)));
  }
  return paths;
}

TEST_F(GdsToPgRoadTest, ScannerReportGivesTheShellItsTopLayersAndUnit) {
  ASSERT_EQ(run_->scan_result, 0);
  EXPECT_EQ(run_->scan.top, samplegen::kTestPatternTop);
  std::vector<int> layers;
  for (const PatternLayer& layer : kTestPatternLayers) layers.push_back(layer.layer);
  layers.push_back(kTestPatternTextLayer);
  EXPECT_EQ(run_->scan.layers, layers);
  EXPECT_EQ(run_->scan.unit, "UM");
}

TEST_F(GdsToPgRoadTest, BothEnginePassesSucceedAndLeaveEveryLayersIntermediateFile) {
  // The counting pass counts what goes to PG: here the wide paths, once per structure.
  int wide_paths = 0;
  for (const auto& structure : samplegen::TestPatternStructures()) {
    for (const auto& e : structure.elements) {
      wide_paths += e.kind == samplegen::PatternElementKind::kPath && e.width > 0;
    }
  }
  EXPECT_EQ(run_->counting_result, wide_paths);
  EXPECT_EQ(run_->real_result, 0) << ReadText(run_->dir + "/pg.log");
  ASSERT_EQ(run_->intermediate.size(), run_->scan.layers.size());
  for (const auto& [layer, file] : run_->intermediate) {
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_GT(fs::file_size(file), 23u) << file << " holds only the header";
  }
  EXPECT_TRUE(fs::exists(run_->dir + "/road.log"));
}

TEST_F(GdsToPgRoadTest, EveryPgOutputHasTheLayoutsAreaAndNoFlashOutsideIt) {
  const std::string pg_log = ReadText(run_->dir + "/pg.log");
  for (const PgOutput& output : kOutputs) {
    for (const PatternLayer& layer : kTestPatternLayers) {
      // A Manhattan layer is exact; of an angled one, what the output's unit moves (turned
      // rectangles keep their angle to a tenth of a degree) is counted and named.
      const int32_t result = run_->converter_results[output.name][layer.layer];
      const std::string log = ConverterLog(pg_log, output, layer.layer);
      ASSERT_FALSE(log.empty()) << output.name << " layer " << layer.layer;
      EXPECT_EQ(result, CountedWarnings(log, std::string(output.program) + ": Warning: ")) << log;
      if (layer.manhattan) {
        EXPECT_EQ(result, 0) << log;
      }
      const std::string& file = run_->pg[output.name][layer.layer];
      ASSERT_FALSE(file.empty()) << output.name << " layer " << layer.layer;
      ExpectLayerMatches(layer, Union(ToPaths(Expected().at(layer.layer))),
                         FlashPaths(output, file), CoverToleranceNm(output), output, output.name);
    }
  }
}

TEST_F(GdsToPgRoadTest, TheTitleTextIsStrokedWhereItStands) {
  // The strokes lie within two text heights above or below the anchor, to its right,
  // no further than a height and a half per character.
  const auto texts = samplegen::FlattenedTestPatternTexts(samplegen::TestPatternStructures(),
                                                          samplegen::kTestPatternTop);
  ASSERT_EQ(texts.size(), 1u);
  const samplegen::PatternText& title = texts[0];
  const double h = title.height, length = 1.5 * h * title.text.size();
  const Paths band = {ToPath({{title.at.x, title.at.y - 2 * h},
                              {title.at.x + length, title.at.y - 2 * h},
                              {title.at.x + length, title.at.y + 2 * h},
                              {title.at.x, title.at.y + 2 * h}})};
  for (const PgOutput& output : kOutputs) {
    const std::string& file = run_->pg[output.name][title.layer];
    ASSERT_FALSE(file.empty()) << output.name;
    const Paths flashes = FlashPaths(output, file);
    const Paths strokes = Union(flashes);
    std::printf("  %-26s layer %d: %5zu flashes, %12.6f um2 of strokes\n", output.name, title.layer,
                flashes.size(), AreaUm2(strokes));
    EXPECT_GT(AreaUm2(strokes), 0.0) << output.name;
    EXPECT_EQ(AreaUm2(Difference(strokes, band)), 0.0) << output.name;
    // Pieces of strokes that no flash can hold at the output's resolution (Mann 3000's
    // micron, on a two-micron flash grid) are counted warnings, named in pg.log; so are
    // the stroke flashes that the output's unit moved.
    const int32_t result = run_->converter_results[output.name][title.layer];
    const std::string log = ConverterLog(ReadText(run_->dir + "/pg.log"), output, title.layer);
    ASSERT_FALSE(log.empty()) << output.name;
    const std::string warning = std::string(output.program) + ": Warning: ";
    const int64_t moved = CountedWarnings(log, warning, " rectangle flash(es) moved by up to ");
    const int64_t lost = CountedWarnings(log, warning, " shape(s) too small for a flash");
    EXPECT_EQ(result, moved + lost) << log;
    if (output.format != kPgFormatMann3000) {
      EXPECT_EQ(lost, 0) << log;
      continue;
    }
    EXPECT_GT(lost, 0) << log;
    EXPECT_NE(log.find(warning + std::to_string(lost) +
                       " shape(s) too small for a flash at the output's resolution"
                       " were left out; the largest measures "),
              std::string::npos)
        << log;
  }
}

TEST_F(GdsToPgRoadTest, RoundTripToGdsKeepsEveryLayersArea) {
  for (const PgOutput& output : kOutputs) {
    // The engine rounds turned flashes' corners to its database unit and counts them.
    const std::string log =
        ReadText(run_->dir + "/" + std::string(output.program) + output.option + ".log");
    EXPECT_EQ(run_->engine_results[output.name],
              CountedWarnings(log, "Warning: ", " flash(es) moved to the GDSII database grid"))
        << log;
    GdsLibrary library;
    std::string error;
    ASSERT_EQ(GdsReadLibrary(run_->round_trip[output.name], &library, &error), 0) << error;
    const auto boundaries = BoundariesByLayer(library);
    for (const PatternLayer& layer : kTestPatternLayers) {
      ASSERT_TRUE(boundaries.contains(layer.layer)) << output.engine << " layer " << layer.layer;
      // The engine rounds turned flashes' corners to its database unit (a nanometre).
      ExpectLayerMatches(layer, Union(ToPaths(Expected().at(layer.layer))),
                         ToPaths(boundaries.at(layer.layer)), CoverToleranceNm(output) + 1, output,
                         std::string(output.name) + " -> " + output.engine);
    }
  }
}

// The shapes of every top structure, flattened by an outside reader, per layer in
// nanometres.
std::map<int, Paths> OutsideShapesByLayer(const test_support::OutsideGdsView& view) {
  const double nm_per_database_unit = view.metres_per_database_unit * 1e9;
  std::map<int, Paths> layers;
  for (const test_support::OutsidePolygon& polygon : view.polygons) {
    PatternPolygon nm;
    for (const auto& [x, y] : polygon.points) {
      nm.push_back({x * nm_per_database_unit, y * nm_per_database_unit});
    }
    layers[polygon.layer].push_back(ToPath(nm));
  }
  return layers;
}

// The round-trip libraries read by an outside reader: the same shapes as the pattern.
TEST_F(GdsToPgRoadTest, AnOutsideReaderSeesEveryLayersAreaInTheRoundTrip) {
  for (const PgOutput& output : kOutputs) {
    SCOPED_TRACE(output.engine);
    const test_support::OutsideGdsView view =
        test_support::ReadWithOutsideReader(run_->round_trip[output.name]);
    ASSERT_EQ(view.error, "");
    EXPECT_EQ(view.messages, std::vector<std::string>());
    EXPECT_NEAR(view.metres_per_database_unit, 1e-9, 1e-18);
    ASSERT_EQ(view.tops.size(), 1u);
    const std::map<int, Paths> layers = OutsideShapesByLayer(view);
    for (const PatternLayer& layer : kTestPatternLayers) {
      ASSERT_TRUE(layers.contains(layer.layer)) << "layer " << layer.layer;
      ExpectLayerMatches(layer, Union(ToPaths(Expected().at(layer.layer))), layers.at(layer.layer),
                         CoverToleranceNm(output) + 1, output,
                         std::string(output.name) + " -> " + output.engine + " (KLayout)");
    }
  }
}

// The translated stream the engine hands to the post-processor, read by an outside
// reader: every layer of the pattern, its polygons cut into pieces that together cover
// the pattern's shapes, to within the rounding of their corners to the stream's unit.
// Stroked text is the one part of the stream that is not standard GDSII: each stroke is
// a polyline in a BOUNDARY element, and a stroke of one segment has two points, which
// a GDSII reader ignores with a warning.
TEST_F(GdsToPgRoadTest, AnOutsideReaderSeesThePatternInTheTranslatedStream) {
  ASSERT_EQ(run_->stream_result, 0);
  const test_support::OutsideGdsView view =
      test_support::ReadWithOutsideReader(run_->translated_stream);
  ASSERT_EQ(view.error, "");
  for (const std::string& message : view.messages) {
    EXPECT_NE(message.find("BOUNDARY with less than 3 points ignored"), std::string::npos)
        << message;
  }
  ASSERT_GT(view.metres_per_database_unit, 0);
  const double rounding_nm = view.metres_per_database_unit * 1e9;
  const std::map<int, Paths> layers = OutsideShapesByLayer(view);
  for (const PatternLayer& layer : kTestPatternLayers) {
    SCOPED_TRACE("layer " + std::to_string(layer.layer));
    ASSERT_TRUE(layers.contains(layer.layer));
    const Paths input = Union(ToPaths(Expected().at(layer.layer)));
    const LayerMeasure m = Measure(input, layers.at(layer.layer), rounding_nm);
    std::printf(
        "  translated stream (KLayout) layer %d: %5zu shapes, %12.6f um2 (input %12.6f um2, "
        "xor %9.6f um2)\n",
        layer.layer, layers.at(layer.layer).size(), m.output_um2, m.input_um2, m.xor_um2);
    if (layer.manhattan) {
      EXPECT_EQ(m.xor_um2, 0.0);
    } else {
      EXPECT_EQ(m.outside_um2, 0.0) << "shapes beyond the rounding of the input";
      EXPECT_LE(m.xor_um2, PerimeterNm(input) * rounding_nm / 1e6);
    }
  }
}

// Every point of an angled shape deeper inside than the margin is exposed. The
// post-processor cuts polygons into trapezoids; covered one by one, each piece would be
// covered only to within the margin of its own sides, so where a cut does not fall on the
// flash grid (here in the copy of WEDGES turned by 30 degrees, whose cuts run at 30
// degrees) a bare seam up to twice the margin wide would run through the shape. The
// converters cover a polygon's pieces together, so no seam is left.
TEST_F(GdsToPgRoadTest, AngledShapesAreExposedAcrossTheirInternalCuts) {
  for (const PgOutput& output : kOutputs) {
    for (const PatternLayer& layer : kTestPatternLayers) {
      if (layer.manhattan) continue;
      const Paths input = Union(ToPaths(Expected().at(layer.layer)));
      const double margin = CoverToleranceNm(output);
      const Paths output_region = Union(FlashPaths(output, run_->pg[output.name][layer.layer]));
      EXPECT_EQ(AreaUm2(Difference(Offset(input, -margin), output_region)), 0.0)
          << output.name << ", layer " << layer.layer << ": bare deeper than " << margin << " nm";
    }
  }
}

// The demo's sample is the pattern this road checks, byte for byte.
TEST(RoadSampleTest, SampleIsTheTestPattern) {
  std::string pattern = "/tmp/kavrinth-road-sample-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::string fresh = pattern + "/demo.gds";
  ASSERT_EQ(samplegen::WriteTestPattern(fresh, [] { return samplegen::kSampleDate; }), kGdsOk);
  const std::string made = ReadText(fresh);
  fs::remove_all(pattern);
  EXPECT_EQ(ReadText(kSamplesDir + "/demo.gds"), made)
      << "samples/demo.gds differs from what samplegen writes; regenerate it";
}

}  // namespace
}  // namespace kavrinth
