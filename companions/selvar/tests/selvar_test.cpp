// selvar: the scan report read back by the engine's reader (tabreng) and by the shell's
// rules for its sections, flattened extents, bad files, and runs of the program.
#include "companions/selvar/selvar.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "companions/selvar/gds_scan.h"
#include "companions/selvar/scan_report.h"
#include "gdsii/encoding.h"
#include "gdsii/records.h"
#include "support/run_program.h"
#include "tabreng/engine_options.h"
#include "tabreng/scan_report.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;

// ---- A GDSII stream built record by record ----

class GdsBuilder {
 public:
  GdsBuilder& Record(int type, int data_type, const std::vector<uint8_t>& data = {}) {
    size_t length = 4 + data.size();
    bytes_.push_back(static_cast<char>(length >> 8));
    bytes_.push_back(static_cast<char>(length));
    bytes_.push_back(static_cast<char>(type));
    bytes_.push_back(static_cast<char>(data_type));
    bytes_.append(data.begin(), data.end());
    return *this;
  }
  GdsBuilder& Int16s(int type, const std::vector<int>& values) {
    std::vector<uint8_t> data;
    for (int v : values)
      data.insert(data.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    return Record(type, kGdsTypeInt16, data);
  }
  GdsBuilder& Int32s(int type, const std::vector<int32_t>& values) {
    std::vector<uint8_t> data(4 * values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      GdsPutInt32(values[i], std::span<uint8_t, 4>(data.data() + 4 * i, 4));
    }
    return Record(type, kGdsTypeInt32, data);
  }
  GdsBuilder& Reals(int type, const std::vector<double>& values) {
    std::vector<uint8_t> data(8 * values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      GdsReal8(values[i], std::span<uint8_t, 8>(data.data() + 8 * i, 8));
    }
    return Record(type, kGdsTypeReal8, data);
  }
  GdsBuilder& Ascii(int type, std::string text) {
    if (text.size() % 2 != 0) text.push_back('\0');
    return Record(type, kGdsTypeAscii, std::vector<uint8_t>(text.begin(), text.end()));
  }

  GdsBuilder& Begin(double user_units = 0.001, double metres = 1e-9) {
    Int16s(kGdsHeader, {600});
    Int16s(kGdsBgnLib, std::vector<int>(12, 1));
    Ascii(kGdsLibName, "TESTLIB");
    return Reals(kGdsUnits, {user_units, metres});
  }
  GdsBuilder& Structure(const std::string& name) {
    Int16s(kGdsBgnStr, std::vector<int>(12, 1));
    return Ascii(kGdsStrName, name);
  }
  GdsBuilder& EndStructure() { return Record(kGdsEndStr, kGdsTypeNone); }
  GdsBuilder& End() { return Record(kGdsEndLib, kGdsTypeNone); }

  GdsBuilder& Boundary(int layer, std::vector<int32_t> xy) {
    xy.push_back(xy[0]);
    xy.push_back(xy[1]);
    Record(kGdsBoundary, kGdsTypeNone).Int16s(kGdsLayer, {layer}).Int16s(kGdsDataType, {0});
    return Int32s(kGdsXy, xy).Record(kGdsEndEl, kGdsTypeNone);
  }
  GdsBuilder& Rectangle(int layer, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    return Boundary(layer, {x0, y0, x1, y0, x1, y1, x0, y1});
  }
  GdsBuilder& Box(int layer, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Record(kGdsBox, kGdsTypeNone).Int16s(kGdsLayer, {layer}).Int16s(kGdsBoxType, {0});
    return Int32s(kGdsXy, {x0, y0, x1, y0, x1, y1, x0, y1, x0, y0}).Record(kGdsEndEl, kGdsTypeNone);
  }
  GdsBuilder& Path(int layer, int32_t width, int pathtype, const std::vector<int32_t>& xy) {
    Record(kGdsPath, kGdsTypeNone).Int16s(kGdsLayer, {layer}).Int16s(kGdsDataType, {0});
    Int16s(kGdsPathType, {pathtype}).Int32s(kGdsWidth, {width});
    return Int32s(kGdsXy, xy).Record(kGdsEndEl, kGdsTypeNone);
  }
  GdsBuilder& Text(int layer, int32_t x, int32_t y, const std::string& text) {
    Record(kGdsText, kGdsTypeNone).Int16s(kGdsLayer, {layer}).Int16s(kGdsTextType, {0});
    return Int32s(kGdsXy, {x, y}).Ascii(kGdsString, text).Record(kGdsEndEl, kGdsTypeNone);
  }
  GdsBuilder& Transform(bool reflect, double magnification, double angle) {
    if (!reflect && magnification == 1 && angle == 0) return *this;
    Record(kGdsStrans, kGdsTypeBitArray, {static_cast<uint8_t>(reflect ? 0x80 : 0), 0});
    if (magnification != 1) Reals(kGdsMag, {magnification});
    if (angle != 0) Reals(kGdsAngle, {angle});
    return *this;
  }
  GdsBuilder& Sref(const std::string& name, int32_t x, int32_t y, bool reflect = false,
                   double magnification = 1, double angle = 0) {
    Record(kGdsSref, kGdsTypeNone).Ascii(kGdsSname, name).Transform(reflect, magnification, angle);
    return Int32s(kGdsXy, {x, y}).Record(kGdsEndEl, kGdsTypeNone);
  }
  GdsBuilder& Aref(const std::string& name, int columns, int rows, const std::vector<int32_t>& xy,
                   double angle = 0) {
    Record(kGdsAref, kGdsTypeNone).Ascii(kGdsSname, name).Transform(false, 1, angle);
    Int16s(kGdsColRow, {columns, rows});
    return Int32s(kGdsXy, xy).Record(kGdsEndEl, kGdsTypeNone);
  }

  void Save(const std::string& path) const { std::ofstream(path, std::ios::binary) << bytes_; }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// ---- The shell's reading of the report (its section readers' rules) ----

std::vector<std::string> ReportLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The first line after the title (whole-line or prefix match), or the line count.
size_t After(const std::vector<std::string>& lines, std::string_view title, bool prefix) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (prefix ? lines[i].rfind(title, 0) == 0 : lines[i] == title) return i + 1;
  }
  return lines.size();
}

std::string SkipBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  return first == std::string::npos ? "" : text.substr(first);
}

// The words between "(" and the next ")", commas read as blanks.
std::vector<std::string> ParenthesisWords(const std::string& line) {
  size_t open = line.find('('), close = line.find(')', open);
  if (open == std::string::npos || close == std::string::npos) return {};
  std::string inside = line.substr(open + 1, close - open - 1);
  std::replace(inside.begin(), inside.end(), ',', ' ');
  std::istringstream words(inside);
  return {std::istream_iterator<std::string>(words), {}};
}

struct ShellScan {
  std::vector<std::string> structures;
  std::vector<std::string> layers;
  std::vector<std::array<int64_t, 5>> counts;
  int64_t resolution = 0;
  std::string unit;
  std::vector<std::array<int64_t, 4>> extents;
  std::string top;
};

std::string ShellTop(const std::vector<std::string>& lines) {
  std::string top, root;
  int best = 0, depth = -1;
  auto judge = [&] {
    if (depth >= 0 && depth >= best) {
      top = root;
      best = depth;
    }
  };
  for (size_t i = After(lines, kReportHierarchyTitle, false); i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    size_t connector = line.find("  |__ ");
    if (connector != std::string::npos) {
      int bars = static_cast<int>(std::count(line.begin(), line.begin() + connector, '|'));
      depth = std::max(depth, 1 + bars);
    } else if (line.find('|') == std::string::npos) {
      judge();
      root = line;
      depth = 0;
    }
  }
  judge();
  return top;
}

ShellScan ReadAsShell(const std::vector<std::string>& lines) {
  ShellScan scan;
  for (size_t i = After(lines, kReportStructureListTitle, false);
       i < lines.size() && lines[i].find(')') != std::string::npos; ++i) {
    scan.structures.push_back(SkipBlanks(lines[i].substr(lines[i].find(')') + 1)).substr(0, 34));
  }
  size_t i = After(lines, kReportLayersTitle, false) + 1;
  for (; i < lines.size() && !lines[i].empty(); ++i) {
    std::istringstream items(SkipBlanks(lines[i]));
    for (std::string item; std::getline(items, item, ',');)
      scan.layers.push_back(item.substr(0, 6));
  }
  i = After(lines, kReportCountsTitle, true) + 1;
  for (size_t n = 0; n < scan.structures.size() && i < lines.size(); ++n, ++i) {
    std::vector<std::string> words = ParenthesisWords(lines[i]);
    if (words.size() < 5) break;
    std::array<int64_t, 5> counts;
    for (int k = 0; k < 5; ++k) counts[k] = std::stoll(words[k]);
    scan.counts.push_back(counts);
  }
  i = After(lines, kReportExtentsTitle, true);
  if (i + 1 < lines.size() && lines[i].rfind("Resolution", 0) == 0 &&
      lines[i + 1].rfind("User Units", 0) == 0) {
    scan.resolution = std::stoll(lines[i].substr(lines[i].find(':') + 1));
    scan.unit = lines[i + 1].substr(lines[i + 1].find(':') + 1);
    for (size_t n = 0, k = i + 3; n < scan.structures.size() && k < lines.size(); ++n, ++k) {
      std::vector<std::string> words = ParenthesisWords(lines[k]);
      if (words.size() < 4) break;
      std::array<int64_t, 4> box;
      for (int c = 0; c < 4; ++c)
        box[c] = static_cast<int64_t>(std::stod(words[c]) * scan.resolution);
      scan.extents.push_back(box);
    }
  }
  scan.top = ShellTop(lines);
  return scan;
}

// The structures the shell marks for a top structure.
std::set<std::string> ShellMark(const std::vector<std::string>& lines, const std::string& name) {
  std::set<std::string> marked;
  size_t i = After(lines, kReportHierarchyTitle, false);
  size_t name_column = std::string::npos;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    size_t connector = line.find("|__ ");
    if (line == name) {
      name_column = 0;
    } else if (connector != std::string::npos && line.substr(connector + 4) == name) {
      name_column = connector + 4;
    }
    if (name_column != std::string::npos) break;
  }
  if (name_column == std::string::npos) return marked;
  marked.insert(name);
  for (++i; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line == "|") continue;
    size_t bar = line.rfind('|');
    if (bar == std::string::npos || bar <= name_column) break;
    std::string word = line.substr(line.rfind(' ') + 1);
    if (word != "|" && word != "(UNDEFINED)") marked.insert(word);
  }
  return marked;
}

// ---- Fixture ----

class SelvarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/selvar test.XXXXXX";  // a blank, as Windows paths have
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Scans in process with every section asked for; the result of RunScan.
  int Scan(const std::string& gds, const std::string& report, std::string* error,
           size_t max_structures = 0) {
    SelvarOptions options;
    options.gds_path = Path(gds);
    options.report_path = Path(report);
    options.max_structures = max_structures;
    options.report = {options.gds_path, true, true, true};
    return RunScan(options, error);
  }

  std::string dir_;
};

// TOP references A twice (once reflected and magnified) and B; A and B both reference
// LEAF, B also an undefined MISSING; OTHER is a second root. Database unit 1 nm, user
// unit 1 um.
GdsBuilder SampleLibrary() {
  GdsBuilder gds;
  gds.Begin();
  gds.Structure("TOP")
      .Sref("A", 0, 0)
      .Sref("A", 100000, 0, true, 2)
      .Sref("B", 0, 50000)
      .Text(2000, 0, 0, "label")
      .EndStructure();
  gds.Structure("A").Sref("LEAF", 10000, 0, false, 1, 90).Path(5, 1000, 0, {0, 0, 0, 5000});
  gds.EndStructure();
  gds.Structure("B")
      .Aref("LEAF", 2, 3, {0, 0, 4000, 0, 0, 9000})
      .Sref("MISSING", 0, 0)
      .Box(1023, -1000, -1000, 0, 0)
      .EndStructure();
  gds.Structure("LEAF").Rectangle(1, 0, 0, 1000, 2000).Text(7, 500, 500, "x").EndStructure();
  gds.Structure("OTHER").Sref("LEAF", 0, 0).Rectangle(5, 0, 0, 3000, 3000).EndStructure();
  return gds.End();
}

TEST_F(SelvarTest, EngineReaderFindsLayersTopAndSubTrees) {
  SampleLibrary().Save(Path("chip.gds"));
  std::string error;
  ASSERT_EQ(Scan("chip.gds", "chip.ssn", &error), 0) << error;

  const ScanReport report = LoadScanReport(Path("chip.ssn"));
  ASSERT_TRUE(report.readable);
  ScanLayers layers = ReadScanLayers(report, EngineOptions());
  for (int layer : {1, 5, 7, 1023}) EXPECT_TRUE(layers.with_data.Test(layer)) << layer;
  for (int layer : {0, 2, 1022}) EXPECT_FALSE(layers.with_data.Test(layer)) << layer;
  EXPECT_EQ(layers.report_top, "TOP");

  struct Case {
    std::string top;
    std::vector<std::string> selected;
  };
  const Case cases[] = {
      {"TOP", {"TOP", "A", "LEAF", "B", "MISSING (UNDEFINED)"}},
      {"A", {"A", "LEAF"}},
      {"B", {"B", "LEAF", "MISSING (UNDEFINED)"}},
      {"LEAF", {"LEAF"}},
      {"OTHER", {"OTHER", "LEAF"}},
  };
  for (const Case& c : cases) {
    StructureSelection selection;
    ASSERT_EQ(ReadScanHierarchy(report, c.top, 100, selection), 0);
    EXPECT_EQ(selection.names(), c.selected) << c.top;
  }
}

TEST_F(SelvarTest, ShellReaderFindsEverySection) {
  SampleLibrary().Save(Path("chip.gds"));
  std::string error;
  ASSERT_EQ(Scan("chip.gds", "chip.ssn", &error), 0) << error;
  const std::vector<std::string> lines = ReportLines(Path("chip.ssn"));
  const ShellScan shell = ReadAsShell(lines);

  EXPECT_EQ(shell.structures, (std::vector<std::string>{"TOP", "A", "B", "LEAF", "OTHER"}));
  EXPECT_EQ(shell.layers, (std::vector<std::string>{"1", "5", "7", "1023", "2000"}));
  const std::vector<std::array<int64_t, 5>> counts = {
      {0, 0, 0, 3, 1}, {0, 1, 0, 1, 0}, {0, 0, 1, 1, 0}, {1, 0, 0, 0, 1}, {1, 0, 0, 1, 0}};
  EXPECT_EQ(shell.counts, counts);
  EXPECT_EQ(shell.resolution, 1000);
  EXPECT_EQ(shell.unit, "UM");
  // Flattened through the rotated, reflected and magnified references and the array.
  const std::vector<std::array<int64_t, 4>> extents = {{-1000, -10000, 120000, 58000},
                                                       {-500, 0, 10000, 5000},
                                                       {-1000, -1000, 3000, 8000},
                                                       {0, 0, 1000, 2000},
                                                       {0, 0, 3000, 3000}};
  EXPECT_EQ(shell.extents, extents);
  EXPECT_EQ(shell.top, "TOP");
  EXPECT_EQ(ShellMark(lines, "TOP"), (std::set<std::string>{"TOP", "A", "B", "LEAF"}));
  EXPECT_EQ(ShellMark(lines, "B"), (std::set<std::string>{"B", "LEAF"}));
  EXPECT_EQ(ShellMark(lines, "OTHER"), (std::set<std::string>{"OTHER", "LEAF"}));
}

TEST_F(SelvarTest, HierarchyComesLastWithAFullSubTreeUnderEveryOccurrence) {
  SampleLibrary().Save(Path("chip.gds"));
  std::string error;
  ASSERT_EQ(Scan("chip.gds", "chip.ssn", &error), 0) << error;
  std::ifstream in(Path("chip.ssn"), std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  const std::string hierarchy =
      "HIERARCHY of INDEPENDENT STRUCTURES\r\n"
      "TOP\r\n"
      "  |__ A\r\n"
      "  |     |__ LEAF\r\n"
      "  |__ B\r\n"
      "  |     |__ LEAF\r\n"
      "  |     |__ MISSING (UNDEFINED)\r\n"
      "OTHER\r\n"
      "  |__ LEAF\r\n";
  ASSERT_GE(text.size(), hierarchy.size());
  EXPECT_EQ(text.substr(text.size() - hierarchy.size()), hierarchy);
  EXPECT_NE(text.find("\r\nLAYERS_CONTAINING_DATA\r\nLayers: 5\r\n1,5,7,1023,2000\r\n\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\nSTRUCTURE_LIST\r\n1) TOP\r\n2) A\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nUser Units:UM\r\n"), std::string::npos);
}

TEST_F(SelvarTest, SectionsFollowTheSwitches) {
  SampleLibrary().Save(Path("chip.gds"));
  SelvarOptions options;
  std::string error;
  ASSERT_EQ(ParseSelvarArguments({Path("chip.gds"), "-o:" + Path("plain.ssn")}, &options, &error),
            0);
  ASSERT_EQ(RunScan(options, &error), 0) << error;
  const std::vector<std::string> lines = ReportLines(Path("plain.ssn"));
  auto has = [&](std::string_view title) {
    return std::find(lines.begin(), lines.end(), title) != lines.end();
  };
  EXPECT_TRUE(has(kReportStructureListTitle));
  EXPECT_TRUE(has(kReportLayersTitle));
  EXPECT_FALSE(has(kReportCountsTitle));
  EXPECT_FALSE(has(kReportExtentsTitle));
  EXPECT_FALSE(has(kReportHierarchyTitle));
}

// The flattened extents of one structure of a library made of LEAF (a 10 x 20 box at the
// origin, or what `leaf` draws) and TOP (what `top` draws).
ScanExtents ExtentsOf(const std::string& dir, void (*leaf)(GdsBuilder&), void (*top)(GdsBuilder&),
                      const std::string& name = "TOP") {
  GdsBuilder gds;
  gds.Begin(1, 1e-6).Structure("LEAF");
  leaf(gds);
  gds.EndStructure().Structure("TOP");
  top(gds);
  gds.EndStructure().End().Save(dir + "/extents.gds");
  GdsScan scan;
  std::string error;
  EXPECT_EQ(ScanGdsFile(dir + "/extents.gds", 0, &scan, &error), 0) << error;
  std::vector<uint32_t> order;
  EXPECT_EQ(StructureOrder(scan, &order, &error), 0) << error;
  std::vector<ScanExtents> extents = FlattenedExtents(scan, order);
  for (uint32_t s : scan.definition_order) {
    if (scan.structures[s].name == name) return extents[s];
  }
  ADD_FAILURE() << "no structure " << name;
  return {};
}

void Box10x20(GdsBuilder& g) { g.Rectangle(1, 0, 0, 10, 20); }

TEST_F(SelvarTest, ExtentsFollowTransformsArraysAndPathOutlines) {
  struct Case {
    std::string what;
    void (*top)(GdsBuilder&);
    double min_x, min_y, max_x, max_y;
  };
  const double r = std::sqrt(0.5);
  const Case cases[] = {
      {"rotated 90", [](GdsBuilder& g) { g.Sref("LEAF", 100, 0, false, 1, 90); }, 80, 0, 100, 10},
      {"reflected and doubled", [](GdsBuilder& g) { g.Sref("LEAF", 0, 0, true, 2, 0); }, 0, -40, 20,
       0},
      {"rotated 45: the hull, not the turned box",
       [](GdsBuilder& g) { g.Sref("LEAF", 0, 0, false, 1, 45); }, -20 * r, 0, 10 * r, 30 * r},
      {"array 3 x 2",
       [](GdsBuilder& g) {
         g.Aref("LEAF", 3, 2, {0, 0, 150, 0, 0, 200});
       },
       0, 0, 110, 120},
      {"rotated array",
       [](GdsBuilder& g) {
         g.Aref("LEAF", 2, 1, {0, 0, 0, 100, -50, 0}, 90);
       },
       -20, 0, 0, 60},
      {"flush path",
       [](GdsBuilder& g) {
         g.Path(1, 10, 0, {0, 0, 100, 0});
       },
       0, -5, 100, 5},
      {"extended path",
       [](GdsBuilder& g) {
         g.Path(1, 10, 2, {0, 0, 100, 0});
       },
       -5, -5, 105, 5},
      {"path bent at a right angle",
       [](GdsBuilder& g) {
         g.Path(1, 10, 0, {0, 0, 100, 0, 100, 100});
       },
       0, -5, 105, 100},
      {"text anchor", [](GdsBuilder& g) { g.Text(3, -7, 9, "t"); }, -7, 9, -7, 9},
  };
  for (const Case& c : cases) {
    ScanExtents e = ExtentsOf(dir_, Box10x20, c.top);
    ASSERT_FALSE(e.empty) << c.what;
    EXPECT_NEAR(e.min_x, c.min_x, 1e-9) << c.what;
    EXPECT_NEAR(e.min_y, c.min_y, 1e-9) << c.what;
    EXPECT_NEAR(e.max_x, c.max_x, 1e-9) << c.what;
    EXPECT_NEAR(e.max_y, c.max_y, 1e-9) << c.what;
  }
  EXPECT_TRUE(ExtentsOf(
                  dir_, [](GdsBuilder&) {}, [](GdsBuilder& g) { g.Sref("LEAF", 5, 5); })
                  .empty);
}

// Hulls folded on other threads, or not gathered when the report has no extents, give
// the same hulls bit for bit and the same report bytes as the scan on one thread. The
// library has more structures than the folding threads take at once (so the scanning
// thread folds some itself), paths at odd angles (hull corners that are not whole), empty
// structures, and references down four levels.
TEST_F(SelvarTest, ThreadsAndSkippedHullsChangeNoHullAndNoReportByte) {
  GdsBuilder gds;
  gds.Begin();
  constexpr int kLeaves = 60;
  for (int s = 0; s < kLeaves; ++s) {
    gds.Structure("L" + std::to_string(s));
    for (int k = 0; k < 40 * (s % 7); ++k) {
      const int32_t x = (k * 7919 + s * 104729) % 20011 - 10000, y = (k * 6271) % 15013 - 7000;
      gds.Rectangle(1 + k % 3, x, y, x + 13 + k % 5, y + 7 + s % 4);
      gds.Path(2, 5 + k % 4, k % 3, {x, y, x + 37 + s, y + 11 + k % 13, x - 5, y + 29});
    }
    gds.EndStructure();
  }
  for (int s = 0; s < 20; ++s) {
    gds.Structure("M" + std::to_string(s))
        .Sref("L" + std::to_string(s * 3 % kLeaves), s * 1000, -s * 700, s % 2 == 1, 1, 7.5 * s)
        .Aref("L" + std::to_string((s * 3 + 1) % kLeaves), 3, 2, {0, 0, 30000, 1000, 500, 20000},
              30.0 * s)
        .EndStructure();
  }
  gds.Structure("TOP");
  for (int s = 0; s < 20; s += 3) gds.Sref("M" + std::to_string(s), s * 997, s * 331, false, 1, 11);
  gds.EndStructure().End().Save(Path("many.gds"));

  auto scan = [&](int threads, bool hulls) {
    GdsScanOptions options;
    options.threads = threads;
    options.hulls = hulls;
    GdsScan result;
    std::string error;
    EXPECT_EQ(ScanGdsFile(Path("many.gds"), options, &result, &error), 0) << error;
    return result;
  };
  auto report = [&](const GdsScan& result, bool extents, const std::string& name) {
    ScanReportOptions options;
    options.gds_path = "many.gds";
    options.hierarchy = options.element_counts = true;
    options.extents = extents;
    std::string error;
    EXPECT_EQ(WriteScanReport(result, options, Path(name), &error), 0) << error;
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const GdsScan single = scan(1, true);
  ASSERT_EQ(single.structures.size(), kLeaves + 21u);
  size_t odd_corners = 0;
  for (const ScanStructure& structure : single.structures) {
    for (const ScanPoint& p : structure.hull) odd_corners += p.x != std::floor(p.x);
  }
  ASSERT_GT(odd_corners, 0u) << "the fixture should hold hull corners off the grid";
  const std::string with_extents = report(single, true, "single.ssn");
  const std::string without_extents = report(single, false, "single_plain.ssn");
  ASSERT_NE(with_extents.find(kReportExtentsTitle), std::string::npos);

  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    const GdsScan threaded = scan(threads, true);
    ASSERT_EQ(threaded.structures.size(), single.structures.size());
    for (size_t s = 0; s < single.structures.size(); ++s) {
      const std::vector<ScanPoint>& a = single.structures[s].hull;
      const std::vector<ScanPoint>& b = threaded.structures[s].hull;
      ASSERT_EQ(a.size(), b.size()) << single.structures[s].name;
      EXPECT_TRUE(a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(ScanPoint)) == 0)
          << single.structures[s].name;
    }
    EXPECT_EQ(report(threaded, true, "threaded.ssn"), with_extents);
  }
  const GdsScan bare = scan(4, false);
  for (const ScanStructure& structure : bare.structures) EXPECT_TRUE(structure.hull.empty());
  EXPECT_EQ(report(bare, false, "bare.ssn"), without_extents);
  EXPECT_EQ(bare.layers, single.layers);

  // Where the user may start no more threads, the scanning thread folds every hull.
  test_support::HandOver(dir_);
  EXPECT_EQ(test_support::RunUnprivileged([&] {
              return test_support::ForbidNewThreads() &&
                     report(scan(4, true), true, "unthreaded.ssn") == with_extents;
            }),
            true);
}

TEST_F(SelvarTest, BadFilesFailWithAReasonAndLeaveNoReport) {
  struct Case {
    std::string what;
    std::string bytes;
    std::string reason;
  };
  const std::string good = SampleLibrary().bytes();
  const Case cases[] = {
      {"not GDSII", "this is a text file\n", "the file is not a GDSII stream"},
      {"gzip-compressed", std::string("\x1f\x8b\x08\x00", 4) + good,
       "the file is compressed (gzip), not a GDSII stream; decompress it first (gunzip)"},
      {"cut short", good.substr(0, good.size() - 20), ""},
      {"no HEADER", GdsBuilder().Int16s(kGdsBgnLib, std::vector<int>(12, 1)).End().bytes(),
       "does not begin with HEADER"},
      {"no UNITS", GdsBuilder().Int16s(kGdsHeader, {600}).End().bytes(), "no valid UNITS"},
      {"a field outside an element",
       GdsBuilder().Begin().Structure("S").Int16s(kGdsLayer, {1}).EndStructure().End().bytes(),
       "outside an element"},
      {"an element left open",
       GdsBuilder().Begin().Structure("S").Record(kGdsBoundary, 0).EndStructure().End().bytes(),
       "inside an unfinished element"},
      {"a structure defined twice",
       GdsBuilder()
           .Begin()
           .Structure("S")
           .EndStructure()
           .Structure("S")
           .EndStructure()
           .End()
           .bytes(),
       "defined twice"},
      {"a reference cycle",
       GdsBuilder()
           .Begin()
           .Structure("P")
           .Sref("Q", 0, 0)
           .EndStructure()
           .Structure("Q")
           .Sref("R", 0, 0)
           .EndStructure()
           .Structure("R")
           .Sref("P", 0, 0)
           .EndStructure()
           .End()
           .bytes(),
       "references itself"},
      {"an array without instances",
       GdsBuilder()
           .Begin()
           .Structure("S")
           .Aref("S2", 0, 1, {0, 0, 0, 0, 0, 0})
           .EndStructure()
           .End()
           .bytes(),
       "0 x 1 instances"},
      {"XY with an odd count",
       GdsBuilder()
           .Begin()
           .Structure("S")
           .Record(kGdsBoundary, 0)
           .Int32s(kGdsXy, {1, 2, 3})
           .Record(kGdsEndEl, 0)
           .EndStructure()
           .End()
           .bytes(),
       "odd coordinate count"},
  };
  for (const Case& c : cases) {
    std::ofstream(Path("bad.gds"), std::ios::binary) << c.bytes;
    std::string error;
    EXPECT_EQ(Scan("bad.gds", "bad.ssn", &error), -1) << c.what;
    EXPECT_NE(error.find("bad.gds: "), std::string::npos) << c.what << ": " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_FALSE(fs::exists(Path("bad.ssn"))) << c.what;
  }
  std::string error;
  EXPECT_EQ(Scan("missing.gds", "missing.ssn", &error), -1);
  EXPECT_FALSE(fs::exists(Path("missing.ssn")));
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find(".~"), std::string::npos) << entry.path();
  }
}

TEST_F(SelvarTest, LimitsOnStructuresAndOnTheHierarchyDrawing) {
  SampleLibrary().Save(Path("chip.gds"));
  std::string error;
  EXPECT_EQ(Scan("chip.gds", "chip.ssn", &error, 4), -1);
  EXPECT_NE(error.find("more than 4 structures"), std::string::npos) << error;
  EXPECT_EQ(Scan("chip.gds", "chip.ssn", &error, 5), 0) << error;

  // 24 levels of two structures that each place both of the next level: the drawing
  // would double at every level.
  GdsBuilder gds;
  gds.Begin();
  for (int level = 0; level < 24; ++level) {
    for (char side : {'a', 'b'}) {
      gds.Structure("L" + std::to_string(level) + side);
      gds.Sref("L" + std::to_string(level + 1) + "a", 0, 0);
      gds.Sref("L" + std::to_string(level + 1) + "b", 0, 0);
      gds.EndStructure();
    }
  }
  gds.End().Save(Path("deep.gds"));
  EXPECT_EQ(Scan("deep.gds", "deep.ssn", &error), -1);
  EXPECT_NE(error.find("hierarchy drawing would take more than"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(Path("deep.ssn")));
}

TEST_F(SelvarTest, AnOlderReportSurvivesAFailedScanAndTheInputIsNeverOverwritten) {
  std::ofstream(Path("chip.ssn"), std::ios::binary) << "older report";
  std::ofstream(Path("chip.gds"), std::ios::binary) << "not a library";
  std::string error;
  EXPECT_EQ(Scan("chip.gds", "chip.ssn", &error), -1);
  EXPECT_EQ(ReportLines(Path("chip.ssn")), std::vector<std::string>{"older report"});

  SampleLibrary().Save(Path("chip.gds"));
  EXPECT_EQ(Scan("chip.gds", "chip.gds", &error), -1);
  EXPECT_NE(error.find("would replace the GDSII file"), std::string::npos) << error;
  EXPECT_EQ(fs::file_size(Path("chip.gds")), SampleLibrary().bytes().size());
}

TEST(SelvarArgumentsTest, CommandLines) {
  SelvarOptions options;
  std::string error;
  ASSERT_EQ(ParseSelvarArguments({"C:\\work\\chip.gds", "-max:8192", "-sh", "-sea", "-elmcnt",
                                  "-o:C:\\work\\chip.ssn"},
                                 &options, &error),
            0);
  EXPECT_EQ(options.gds_path, "C:\\work\\chip.gds");
  EXPECT_EQ(options.report_path, "C:\\work\\chip.ssn");
  EXPECT_EQ(options.max_structures, 8192u);
  EXPECT_TRUE(options.report.hierarchy && options.report.extents && options.report.element_counts);
  EXPECT_EQ(DefaultReportName("dir\\Chip.Top.gds"), "Chip.Top.ssn");
  EXPECT_EQ(DefaultReportName("/a/b/chip"), "chip.ssn");

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{},
                                             {"a.gds", "b.gds"},
                                             {"a.gds", "-max:"},
                                             {"a.gds", "-max:0"},
                                             {"a.gds", "-max:12x"},
                                             {"a.gds", "-o:"},
                                             {"a.gds", "-shx"},
                                             {"a.gds", "-z"}}) {
    EXPECT_EQ(ParseSelvarArguments(bad, &options, &error), -1) << testing::PrintToString(bad);
  }
}

// ---- The program, as the shell runs it ----

int32_t RunSelvarProgram(const std::string& directory, const std::string& arguments,
                         std::string* errors) {
  const std::string error_path = directory + ".stderr";
  std::fflush(stderr);
  int saved = dup(2);
  int fd = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(fd, 2);
  close(fd);
  int32_t result = 0;
  int started = RunProgram({}, SELVAR_PROGRAM, directory.c_str(), arguments, &result, true);
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  EXPECT_EQ(started, 1);
  std::ifstream in(error_path, std::ios::binary);
  *errors = std::string(std::istreambuf_iterator<char>(in), {});
  fs::remove(error_path);
  return result;
}

TEST_F(SelvarTest, ProgramRunsWithTheShellsCommandLine) {
  SampleLibrary().Save(Path("chip.gds"));
  std::string errors;
  const std::string arguments =
      "\"" + Path("chip.gds") + "\" -max:8192 -sh -sea -elmcnt \"-o:" + Path("chip.ssn") + "\"";
  EXPECT_EQ(RunSelvarProgram(dir_, arguments, &errors), 0) << errors;
  EXPECT_EQ(ReadAsShell(ReportLines(Path("chip.ssn"))).top, "TOP");

  std::ofstream(Path("bad.gds"), std::ios::binary) << "junk";
  EXPECT_EQ(RunSelvarProgram(dir_, "\"" + Path("bad.gds") + "\" -sh \"-o:" + Path("bad.ssn") + "\"",
                             &errors),
            -1);
  EXPECT_NE(errors.find("selvar: "), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(Path("bad.ssn")));

  // Without -o: the report goes beside the current directory's name for the file.
  EXPECT_EQ(RunSelvarProgram(dir_, "chip.gds -sh", &errors), 0) << errors;
  EXPECT_TRUE(fs::exists(Path("chip.ssn")));
  EXPECT_EQ(RunSelvarProgram(dir_, "--help", &errors), 0);
  EXPECT_EQ(RunSelvarProgram(dir_, "-bogus", &errors), -1);
  EXPECT_NE(errors.find("usage: selvar"), std::string::npos) << errors;
}

}  // namespace
}  // namespace kavrinth
