// Reading the plot values (pens, paper, weights, rotation, scale, unit, margins) and
// writing them as properties of the plot data file.
#include "viewer/plot/plot_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "companions/plendo/plot_file.h"
#include "viewer/model/gdsformat_writer.h"
#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {
namespace {

class MapSource : public PlotValueSource {
 public:
  std::optional<std::string> Read(const char* section, const char* key) override {
    reads.emplace_back(section ? section : "(null)", key);
    const auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool Write(const char* section, const char* key, const char* value) override {
    written[std::string(section) + "/" + key] = value;
    return write_ok;
  }
  std::map<std::string, std::string> values;
  std::map<std::string, std::string> written;
  std::vector<std::pair<std::string, std::string>> reads;
  bool write_ok = true;
};

constexpr GdxRect kWide{0, 0, 2000, 1000};
constexpr GdxRect kTall{0, 0, 1000, 2000};

TEST(PlotSettingsTest, PensPaperAndWeightsAsTheValuesSay) {
  struct Case {
    const char* key;
    const char* value;
    int32_t max_pen;
    int32_t paper_code;
    double custom_width, custom_height, line_weight, fill_line_weight;
  };
  const PlotSettings d;
  const Case cases[] = {
      {"PLTYPE", "HPGL 24:pen plotter", 16, 'A', 0, 0, d.line_weight, d.fill_line_weight},
      {"PLTYPE", "HPGL:no blank", 2, 'A', 0, 0, d.line_weight, d.fill_line_weight},
      {"PLTYPE", "PDF 5", 7, 'A', 0, 0, d.line_weight, d.fill_line_weight},  // no colon: kept
      {"PLTYPE", "PDF 5:colour", 5, 'A', 0, 0, d.line_weight, d.fill_line_weight},
      {"PGSIZE", "3 whatever", 7, 3, 0, 0, d.line_weight, d.fill_line_weight},
      {"PGSIZE", "Z 20,30", 7, 'Z', 20, 30, d.line_weight, d.fill_line_weight},
      {"PGSIZE", "Y 12.5", 7, 'Y', 0, 0, d.line_weight, d.fill_line_weight},  // no comma
      {"PGSIZE", "E", 7, 'E', 0, 0, d.line_weight, d.fill_line_weight},
      {"LNWEIGHT", "0.01 0.02", 7, 'A', 0, 0, 0.01, 0.02},
      {"LNWEIGHT", "0.01", 7, 'A', 0, 0, d.line_weight, d.fill_line_weight},  // no blank: kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    MapSource source;
    source.values[c.key] = c.value;
    PlotSettings s;
    s.max_pen = 7;
    ASSERT_TRUE(ReadPlotSettings(&source, kWide, &s));
    EXPECT_EQ(s.max_pen, c.max_pen);
    EXPECT_EQ(s.paper_code, c.paper_code);
    EXPECT_DOUBLE_EQ(s.custom_width, c.custom_width);
    EXPECT_DOUBLE_EQ(s.custom_height, c.custom_height);
    EXPECT_DOUBLE_EQ(s.line_weight, c.line_weight);
    EXPECT_DOUBLE_EQ(s.fill_line_weight, c.fill_line_weight);
    EXPECT_EQ(source.written.at("plendo/Transparency"), "off");
  }
}

TEST(PlotSettingsTest, LineWeightAndDpiAreReadWithoutSection) {
  MapSource source;
  source.values = {{"DPI", "600"}, {"PGUNIT", "MM"}, {"LEFT", "1"}, {"TOP", "2.5"}};
  PlotSettings s;
  ReadPlotSettings(&source, kWide, &s);
  EXPECT_EQ(s.dpi, 600);
  EXPECT_EQ(s.paper_unit, 7);
  EXPECT_DOUBLE_EQ(s.margin_left, 1.0);
  EXPECT_DOUBLE_EQ(s.margin_top, 2.5);
  EXPECT_DOUBLE_EQ(s.margin_bottom, 0.5);
  for (const auto& [section, key] : source.reads) {
    EXPECT_EQ(section == "(null)", key == "LNWEIGHT" || key == "DPI") << key;
  }
  // A unit name of another case matches nothing and keeps the unit.
  source.values["PGUNIT"] = "mm";
  s.paper_unit = 3;
  ReadPlotSettings(&source, kWide, &s);
  EXPECT_EQ(s.paper_unit, 3);
}

// The plot data file holds the resolution in 16 bits: a value it cannot hold keeps the one
// before, and the user is told.
TEST(PlotSettingsTest, DpiBeyondWhatThePlotFileHoldsIsKeptOutWithAWarning) {
  struct Case {
    const char* value;
    int32_t dpi;
  };
  const Case cases[] = {{"600", 600},   {"32767", 32767}, {"1", 1},    {"70000", 300},
                        {"32768", 300}, {"0", 300},       {"-5", 300}, {"99999999999", 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    MapSource source;
    source.values["DPI"] = c.value;
    PlotSettings s;
    std::vector<std::string> warnings;
    ReadPlotSettings(&source, kWide, &s, &warnings);
    EXPECT_EQ(s.dpi, c.dpi);
    const bool refused = c.dpi == 300;
    ASSERT_EQ(warnings.size(), refused ? 1u : 0u);
    if (refused) {
      EXPECT_EQ(warnings[0], "The plot resolution DPI=" + std::string(c.value) +
                                 " is outside 1 to 32767; the plot is made at 300 DPI.");
    }
  }
}

// The plot data file holds reals of a GDSII real: a value beyond it (or below the smallest
// it keeps, which would arrive as 0) keeps the setting as it was, and the user is told.
TEST(PlotSettingsTest, RealsThePlotFileCannotHoldAreKeptOutWithAWarning) {
  struct Case {
    const char* key;
    const char* value;
    const char* refused;            // the part refused, or null when all is taken
    double PlotSettings::*setting;  // the setting the (first) refused part is for
    double expected;
  };
  const Case cases[] = {
      {"LNWEIGHT", "1e300 0.002", "1e300", &PlotSettings::line_weight, 0.006},
      {"LNWEIGHT", "0.01 inf", "inf", &PlotSettings::fill_line_weight, 0.003},
      {"LNWEIGHT", "nan 0.002", "nan", &PlotSettings::line_weight, 0.006},
      {"LNWEIGHT", "1e-30 0.002", "1e-30", &PlotSettings::line_weight, 0.006},
      {"LNWEIGHT", "2e-20 0", nullptr, &PlotSettings::line_weight, 2e-20},
      {"LNWEIGHT", "1e-20 0", "1e-20", &PlotSettings::line_weight, 0.006},
      {"LEFT", "-1e300", "-1e300", &PlotSettings::margin_left, 0.5},
      {"TOP", "-inf", "-inf", &PlotSettings::margin_top, 0.5},
      {"RIGHT", "7e75", nullptr, &PlotSettings::margin_right, 7e75},
      {"BOTTOM", "1e76", "1e76", &PlotSettings::margin_bottom, 0.5},
      {"PGSIZE", "Z 1e300,11", "1e300", &PlotSettings::custom_width, 0.0},
      {"PGSIZE", "Z 8,1e-300", "1e-300", &PlotSettings::custom_height, 0.0},
      {"ORIGIN", "nan,1", "nan", &PlotSettings::origin_x, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    MapSource source;
    source.values[c.key] = c.value;
    source.values["PGSCALE"] = "2";
    PlotSettings s;
    std::vector<std::string> warnings;
    ReadPlotSettings(&source, kWide, &s, &warnings);
    EXPECT_EQ(s.*c.setting, c.expected);
    ASSERT_EQ(warnings.size(), c.refused ? 1u : 0u);
    if (!c.refused) continue;
    EXPECT_EQ(warnings[0].rfind("The plot value " + std::string(c.key) + "=" + c.refused +
                                    " cannot be held in the plot file; the plot is made with ",
                                0),
              0u)
        << warnings[0];
  }
  // A refused scale leaves the plot without one, as a missing scale does.
  for (const char* scale : {"1e300", "inf", "nan"}) {
    SCOPED_TRACE(scale);
    MapSource source;
    source.values["PGSCALE"] = scale;
    PlotSettings s;
    std::vector<std::string> warnings;
    ReadPlotSettings(&source, kWide, &s, &warnings);
    EXPECT_FALSE(s.scale_given);
    EXPECT_EQ(s.scale, 1.0);
    EXPECT_EQ(warnings.size(), 1u);
  }
}

TEST(PlotSettingsTest, AutomaticRotationTurnsTheWindowToThePaper) {
  struct Case {
    const char* rotate;
    const char* scale;
    const char* size;
    GdxRect window;
    int32_t expected;
  };
  const Case cases[] = {
      {"auto", "0", "A", kWide, 1},  // wide window, portrait paper: turned
      {"auto", "0", "A", kTall, 0},  // tall window, portrait paper
      {"auto", "0", "D", kWide, 0},  // wide window, landscape paper (34 x 22)
      {"auto", "0", "D", kTall, 1},
      {"auto1", "2", "A", kTall, 1},  // a given scale: the number after "auto" holds
      {"0", "0", "A", kWide, 0},      // no automatic rotation asked
      {"1", "0", "A", kTall, 1},
      {"auto", "0", "Z 1,30", kWide, 0},  // margins leave no printable width: flag kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.rotate) + " " + c.size);
    MapSource source;
    source.values = {{"ROTATE", c.rotate}, {"PGSCALE", c.scale}, {"PGSIZE", c.size}};
    PlotSettings s;
    ReadPlotSettings(&source, c.window, &s);
    EXPECT_EQ(s.rotate, c.expected);
  }
}

TEST(PlotSettingsTest, ScaleGivesTheOriginAndZeroScaleDoesNot) {
  MapSource source;
  source.values = {{"PGSCALE", "2.5"}, {"ORIGIN", "1.5,-2"}};
  PlotSettings s;
  ReadPlotSettings(&source, kWide, &s);
  EXPECT_TRUE(s.scale_given);
  EXPECT_DOUBLE_EQ(s.scale, 2.5);
  EXPECT_DOUBLE_EQ(s.origin_x, 1.5);
  EXPECT_DOUBLE_EQ(s.origin_y, -2.0);
  source.values = {{"PGSCALE", "0"}, {"ORIGIN", "9,9"}};
  ReadPlotSettings(&source, kWide, &s);
  EXPECT_FALSE(s.scale_given);
  EXPECT_DOUBLE_EQ(s.origin_x, 1.5) << "the origin is only read with a scale";
  source.write_ok = false;
  EXPECT_FALSE(ReadPlotSettings(&source, kWide, &s));
}

class PlotPropertiesTest : public ViewerModelTest {
 protected:
  // Writes the properties of s into a plot file of one empty structure and reads the file
  // back; *written is the properties' write result.
  PlotDocument WriteAndRead(const PlotSettings& s, int* written,
                            const GdxRect& job_extents = {0, 0, 10, 10},
                            const GdxRect& plot_window = {0, 0, 10, 10}, int32_t fill_mode = 1) {
    const std::string path = PathOf("props.gds");
    EXPECT_EQ(GdsOutOpen(path, 1e-6, 0.001, "", false), kGdsOutOk);
    *written = WritePlotSettingsProperties(s, job_extents, plot_window, fill_mode);
    EXPECT_EQ(GdsOutBeginStructure("TOP"), kGdsOutOk);
    GdsOutEndStructure();
    EXPECT_EQ(GdsOutClose(), kGdsOutOk);
    PlotDocument document;
    std::string error;
    EXPECT_TRUE(ReadPlotFile(path, &document, &error)) << error;
    return document;
  }
};

TEST_F(PlotPropertiesTest, PropertiesFollowTheSettings) {
  const auto write = [&](const PlotSettings& s, int32_t fill_mode) {
    int written = -1;
    const PlotDocument document =
        WriteAndRead(s, &written, {-5, -6, 70, 80}, {1, 2, 30, 40}, fill_mode);
    EXPECT_EQ(written, 0);
    return document.settings;
  };
  PlotSettings s;
  auto settings = write(s, 0);
  for (const char* absent : {"ISROT", "PAPERUNIT", "PAPERWIDTH", "PLTSCALE", "OFFX", "OFFY"}) {
    EXPECT_EQ(settings.count(absent), 0u) << absent;
  }
  const std::map<std::string, double> expected = {
      {"$EXT_LT", -5},    {"$EXT_BT", -6},       {"$EXT_RG", 70},        {"$EXT_TP", 80},
      {"PAPERSIZE", 'A'}, {"LINEWEIGHT", 0.006}, {"FLINEWEIGHT", 0.003}, {"FILLON", 0},
      {"PATHMODE", 1},    {"MAXPEN", 2},         {"DPI", 300},           {"$LIM_LT", 1},
      {"$LIM_BT", 2},     {"$LIM_RG", 30},       {"$LIM_TP", 40},        {"LTBTMGNX", 0.5},
      {"LTBTMGNY", 0.5},  {"RTURMGNX", 0.5},     {"RTURMGNY", 0.5}};
  for (const auto& [name, value] : expected) {
    ASSERT_EQ(settings.count(name), 1u) << name;
    EXPECT_NEAR(settings[name], value, 1e-12) << name;
  }
  s.rotate = 1;
  s.paper_code = 'Z';
  s.custom_width = 20;
  s.custom_height = 30;
  s.paper_unit = 7;
  s.scale_given = true;
  s.scale = 2;
  s.origin_x = 1;
  settings = write(s, 2);
  EXPECT_EQ(settings["ISROT"], 1);
  EXPECT_EQ(settings["PAPERSIZE"], 'Z');
  EXPECT_EQ(settings["PAPERUNIT"], 7);
  EXPECT_DOUBLE_EQ(settings["PAPERWIDTH"], 20);
  EXPECT_DOUBLE_EQ(settings["PAPERHEIGHT"], 30);
  EXPECT_DOUBLE_EQ(settings["PLTSCALE"], 2);
  EXPECT_DOUBLE_EQ(settings["OFFX"], 1);
  EXPECT_EQ(settings.count("OFFY"), 1u);
  EXPECT_EQ(settings["FILLON"], 1);
}

// A 16-bit property takes only what 16 bits hold: a larger value fails the write and is
// left out, never cut (70000 would arrive as 4464).
TEST_F(PlotPropertiesTest, AValueBeyondItsSixteenBitsIsRefusedNotCut) {
  struct Case {
    int32_t dpi;
    bool fits;
  };
  for (const Case& c : {Case{32767, true}, Case{-32768, true}, Case{70000, false},
                        Case{32768, false}, Case{-40000, false}}) {
    SCOPED_TRACE(c.dpi);
    PlotSettings s;
    s.dpi = c.dpi;
    int written = -1;
    PlotDocument document = WriteAndRead(s, &written);
    EXPECT_EQ(written == 0, c.fits);
    if (c.fits) {
      EXPECT_EQ(document.settings["DPI"], c.dpi);
    } else {
      EXPECT_EQ(document.settings.count("DPI"), 0u);
    }
    EXPECT_EQ(document.settings["MAXPEN"], 2) << "the other properties are written";
  }
}

// A real property takes only what a GDSII real holds: another value fails the write and is
// left out, never cut to the largest real or to 0.
TEST_F(PlotPropertiesTest, ARealBeyondTheFilesRealsIsRefusedNotCut) {
  struct Case {
    double weight;
    bool fits;
  };
  for (const Case& c : {Case{0.25, true}, Case{0.0, true}, Case{-2e-20, true}, Case{1e-20, false},
                        Case{7e75, true}, Case{1e300, false}, Case{-1e300, false},
                        Case{1e-30, false}, Case{std::numeric_limits<double>::infinity(), false},
                        Case{std::numeric_limits<double>::quiet_NaN(), false}}) {
    SCOPED_TRACE(c.weight);
    PlotSettings s;
    s.line_weight = c.weight;
    int written = -1;
    PlotDocument document = WriteAndRead(s, &written);
    EXPECT_EQ(written == 0, c.fits);
    if (c.fits) {
      EXPECT_NEAR(document.settings["LINEWEIGHT"], c.weight, 1e-14 * std::fabs(c.weight));
    } else {
      EXPECT_EQ(document.settings.count("LINEWEIGHT"), 0u);
    }
    EXPECT_DOUBLE_EQ(document.settings["FLINEWEIGHT"], 0.003) << "the others are written";
  }
}

// The rotate flag and the maximum pen travel as 16-bit properties: whatever the values
// say, the plot library gets what they mean (rotated or not, 1 to 16 pens).
TEST_F(PlotPropertiesTest, RotationAndPensArriveAsTheValuesMeanThem) {
  struct Case {
    const char* key;
    const char* value;
    double isrot;  // -1: no ISROT property
    double max_pen;
  };
  const Case cases[] = {
      {"ROTATE", "1", 1, 2},
      {"ROTATE", "0", -1, 2},
      {"ROTATE", "65536", 1, 2},
      {"ROTATE", "-65536", 1, 2},
      {"ROTATE", "70000", 1, 2},
      {"PLTYPE", "PDF 0:none", -1, 1},
      {"PLTYPE", "PDF -65530:", -1, 1},
      {"PLTYPE", "PDF -3:", -1, 1},
      {"PLTYPE", "PDF 70000:", -1, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    MapSource source;
    source.values[c.key] = c.value;
    PlotSettings s;
    ReadPlotSettings(&source, kWide, &s);
    int written = -1;
    const PlotDocument document = WriteAndRead(s, &written);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(document.Setting("ISROT", -1), c.isrot);
    EXPECT_EQ(document.Setting("MAXPEN", -1), c.max_pen);
  }
}

}  // namespace
}  // namespace kavrinth
