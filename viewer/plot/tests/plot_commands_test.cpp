// The plot commands with the real plot library: a loaded job plotted to a PDF whose page
// size, orientation and drawn shapes are read back with poppler's tools; scale and origin
// on a custom paper; a missing library or entry; the Plot Window dialog's OK.
#include "viewer/plot/plot_commands.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

#include "companions/plendo/plendo_api.h"
#include "support/notifier.h"
#include "viewer/model/job_loading.h"
#include "viewer/model/layer_table.h"
#include "viewer/plot/tests/plot_test_support.h"

namespace kavrinth {
namespace {

constexpr uint32_t kRed = 0x0000FF;

// The text a command prints, run under a time limit.
std::string Output(const std::string& command) {
  std::string text;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("timeout 60 " + command).c_str(), "r"), pclose);
  if (!pipe) return text;
  std::array<char, 512> buffer;
  while (fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) text += buffer.data();
  return text;
}

// A page rendered by pdftoppm at 72 dots per inch: one pixel per point.
struct Page {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  std::array<int, 3> At(double x, double y) const {
    const int px = static_cast<int>(x), py = static_cast<int>(y);
    if (px < 0 || py < 0 || px >= width || py >= height) return {-1, -1, -1};
    const size_t i = 3 * (static_cast<size_t>(py) * width + px);
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
  bool IsRed(double x, double y) const {
    const auto c = At(x, y);
    return c[0] > 200 && c[1] < 60 && c[2] < 60;
  }
  bool IsWhite(double x, double y) const {
    const auto c = At(x, y);
    return c[0] > 240 && c[1] > 240 && c[2] > 240;
  }
};

Page Render(const std::string& pdf, const std::string& stem) {
  Output("pdftoppm -r 72 -singlefile '" + pdf + "' '" + stem + "'");
  Page page;
  std::ifstream in(stem + ".ppm", std::ios::binary);
  std::string magic;
  int depth = 0;
  in >> magic >> page.width >> page.height >> depth;
  in.get();
  if (magic != "P6" || depth != 255) return {};
  page.rgb.resize(3 * static_cast<size_t>(page.width) * page.height);
  in.read(reinterpret_cast<char*>(page.rgb.data()), static_cast<std::streamsize>(page.rgb.size()));
  return page;
}

class PlotCommandsTest : public ViewerModelTest {
 protected:
  void SetUp() override {
    ViewerModelTest::SetUp();
    const char* configured = getenv("KAVRINTH_PROGRAM_DIR");
    program_dir_ = configured != nullptr && *configured ? configured : KAVRINTH_BIN_DIR;
    setenv("KAVRINTH_PROGRAM_DIR", program_dir_.c_str(), 1);
    PlotWindowStore() = {};
    CurrentPlotSettings() = {};
    PlotConfigPath() = PathOf("settings/plot.cfg");
    host_.temp_dir = dir_;
    services_.display.scale_divisor = 1;
    services_.display.database_units_per_user_unit = 1;
    services_.display.metres_per_user_unit = 1e-6;
  }
  void TearDown() override {
    setenv("KAVRINTH_PROGRAM_DIR", program_dir_.c_str(), 1);
    ViewerModelTest::TearDown();
  }

  void Config(const std::string& values) {
    std::filesystem::create_directories(PathOf("settings"));
    std::ofstream(PlotConfigPath()) << "[plendo]\nPLOTFILE=" << PathOf("out.pdf") << "\n" << values;
  }

  // The boxes of the boundaries of a library.
  static std::vector<GdxRect> Boxes(GdxHandle handle) {
    std::vector<GdxRect> boxes;
    for (GdxEntryCursor c(GdxLibraryFromHandle(handle)); c.Valid(); c.Next()) {
      if (c.Type() != kGdxBoundary) continue;
      const GdxWord* d = c.Data();
      const GdxWord* p = d + (d[0] & 0xFFFF);
      GdxRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
      for (int32_t i = 0; i < ((d[1] >> 16) & 0xFFFF); ++i) {
        box = {std::min(box.min_x, p[2 * i]), std::min(box.min_y, p[2 * i + 1]),
               std::max(box.max_x, p[2 * i]), std::max(box.max_y, p[2 * i + 1])};
      }
      boxes.push_back(box);
    }
    return boxes;
  }

  std::string PlotDataFilesLeft() {
    std::string names;
    for (const std::string& name : FilesStartingWith(dir_, "vexil-plot-")) names += name + " ";
    return names;
  }

  std::string program_dir_;
  TestPlotHost host_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(PlotCommandsTest, LoadedJobPlotsToAPdfPageTurnedToTheWindow) {
  ImportSettings() = {0, true, 2};
  ViewLayerEntry& layer = LayerTable()[0];
  layer.path = Write("job.em", "<X200Y300W100V100U0SX1800Y700W200V100U0SZ");
  layer.shown = 1;
  layer.colour = kRed;
  layer.fill_mode = kFillPaint;
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  const std::vector<GdxRect> boxes = Boxes(layer.library);
  ASSERT_EQ(boxes.size(), 2u);
  const GdxRect all{boxes[0].min_x, boxes[0].min_y, boxes[1].max_x, boxes[1].max_y};
  const int32_t margin = (all.max_x - all.min_x) / 10;
  host_.display.view_window = {all.min_x - margin, all.min_y - margin, all.max_x + margin,
                               all.max_y + margin};
  Config(
      "PGSIZE=A\nPGUNIT=INCH\nROTATE=auto\nPGSCALE=0\nPLTYPE=PDF 8:colour\n"
      "LEFT=0.5\nRIGHT=0.5\nTOP=0.5\nBOTTOM=0.5\n");

  ASSERT_EQ(PlotScreen(&host_), 0);
  EXPECT_TRUE(notifier_.shown.empty()) << notifier_.shown[0].text;
  EXPECT_EQ(PlotDataFilesLeft(), "");
  EXPECT_EQ(host_.statuses, (std::vector<std::string>{"Generating plot data...", ""}));
  EXPECT_EQ(host_.query_mode_ended, 1);
  const std::string info = Output("pdfinfo '" + PathOf("out.pdf") + "'");
  EXPECT_NE(info.find("792 x 612 pts"), std::string::npos)
      << "a wide window turns the letter page:\n"
      << info;

  const Page page = Render(PathOf("out.pdf"), PathOf("page"));
  ASSERT_EQ(page.width, 792);
  ASSERT_EQ(page.height, 612);
  // The window fitted into the printable area (36 pt margins), centred.
  const GdxRect& w = host_.display.view_window;
  const double dx = w.max_x - w.min_x, dy = w.max_y - w.min_y;
  const double s = std::min(720.0 / dx, 540.0 / dy);
  const double left = 36 + (720 - dx * s) / 2, bottom = 576 - (540 - dy * s) / 2;
  const auto x = [&](double world) { return left + (world - w.min_x) * s; };
  const auto y = [&](double world) { return bottom - (world - w.min_y) * s; };
  for (const GdxRect& b : boxes) {
    EXPECT_TRUE(page.IsRed(x((b.min_x + b.max_x) / 2.0), y((b.min_y + b.max_y) / 2.0)));
    EXPECT_TRUE(page.IsRed(x(b.min_x) + 2, y(b.min_y) - 2)) << "inside its lower-left corner";
    EXPECT_TRUE(page.IsWhite(x(b.min_x) - 3, y(b.min_y) + 3)) << "outside its lower-left corner";
    EXPECT_TRUE(page.IsWhite(x(b.max_x) + 3, y(b.max_y) - 3)) << "outside its upper-right corner";
  }
  EXPECT_TRUE(page.IsWhite(x((all.min_x + all.max_x) / 2.0), y(all.max_y)));
  EXPECT_TRUE(page.IsWhite(10, 10)) << "the margin";

  // A Plot Window box around the second flash alone: it fills the page, the first is gone.
  const GdxRect& second = boxes[1];
  Config("PGSIZE=A\nROTATE=auto\nPGSCALE=0\nPLTYPE=PDF 8:colour\n");
  // The 200 x 100 flash in a 400 x 120 window: 1.8 points a unit, the flash from x = 216 to
  // 576 and from y = 216 to 396, the window from y = 198 to 414.
  ASSERT_EQ(second.max_x - second.min_x, 200);
  ASSERT_EQ(second.max_y - second.min_y, 100);
  ASSERT_EQ(PlotWindowAndScreen(&host_, {second.max_x + 100, second.max_y + 10, second.min_x - 100,
                                         second.min_y - 10}),
            0);
  const Page boxed = Render(PathOf("out.pdf"), PathOf("boxed"));
  ASSERT_EQ(boxed.width, 792) << "wider than tall: landscape";
  EXPECT_TRUE(boxed.IsRed(396, 306));
  EXPECT_TRUE(boxed.IsRed(219, 219));
  EXPECT_TRUE(boxed.IsRed(573, 393));
  EXPECT_TRUE(boxed.IsWhite(212, 306)) << "left of the flash";
  EXPECT_TRUE(boxed.IsWhite(580, 306)) << "right of the flash";
  EXPECT_TRUE(boxed.IsWhite(396, 211)) << "above the flash";
  EXPECT_EQ(PlotDataFilesLeft(), "");
}

TEST_F(PlotCommandsTest, ScaleAndOriginOnCustomPaper) {
  // 1 database unit = 1 micrometre; a 10 mm square at (0, 0).
  BeginTestLibrary();
  AddBoundary(1, Square(0, 0, 10000));
  ViewLayerEntry& layer = LayerTable()[0];
  layer.path = "square";
  layer.shown = 1;
  layer.colour = kRed;
  layer.library = EndTestLibrary();
  host_.display.view_window = {0, 0, 100000, 50000};
  Config(
      "PGSIZE=Z 200,100\nPGUNIT=MM\nROTATE=0\nPGSCALE=1\nORIGIN=10,20\nPLTYPE=PDF 8:c\n"
      "LEFT=10\nRIGHT=10\nTOP=10\nBOTTOM=10\n");
  ASSERT_EQ(PlotScreen(&host_), 0);
  EXPECT_TRUE(notifier_.shown.empty());
  const std::string info = Output("pdfinfo '" + PathOf("out.pdf") + "'");
  // 200 x 100 mm in whole points.
  EXPECT_NE(info.find("567 x 283 pts"), std::string::npos) << info;
  const Page page = Render(PathOf("out.pdf"), PathOf("scaled"));
  ASSERT_EQ(page.width, 567);
  const double mm = 72 / 25.4;
  // The window's corner at the margin plus the origin: 20 mm from the left, 30 mm up.
  EXPECT_TRUE(page.IsRed(25 * mm, page.height - 35 * mm));
  EXPECT_TRUE(page.IsRed(20.5 * mm, page.height - 30.5 * mm));
  EXPECT_TRUE(page.IsRed(29.5 * mm, page.height - 39.5 * mm));
  EXPECT_TRUE(page.IsWhite(19 * mm, page.height - 35 * mm));
  EXPECT_TRUE(page.IsWhite(31 * mm, page.height - 35 * mm));
  EXPECT_TRUE(page.IsWhite(25 * mm, page.height - 41 * mm));

  // Margins that leave no room: the plot library refuses, and neither the plot data nor
  // the library's own file is left behind.
  std::filesystem::remove(PathOf("out.pdf"));
  Config("PGSIZE=Z 200,100\nPGUNIT=MM\nLEFT=150\nRIGHT=60\n");
  EXPECT_NE(PlotScreen(&host_), 0);
  EXPECT_FALSE(std::filesystem::exists(PathOf("out.pdf")));
  EXPECT_EQ(PlotDataFilesLeft(), "");
}

TEST_F(PlotCommandsTest, MissingLibraryOrEntryLeavesNoPlotDataFile) {
  BeginTestLibrary();
  AddBoundary(1, Square(0, 0, 100));
  LayerTable()[0] = {};
  LayerTable()[0].path = "square";
  LayerTable()[0].shown = 1;
  LayerTable()[0].library = EndTestLibrary();
  host_.display.view_window = {0, 0, 1000, 1000};
  Config("");
  std::filesystem::create_directories(PathOf("empty"));
  setenv("KAVRINTH_PROGRAM_DIR", PathOf("empty").c_str(), 1);
  EXPECT_NE(PlotScreen(&host_), 0);
  const std::string missing = PathOf("empty") + "/libplendo.so";
  ASSERT_EQ(notifier_.shown.size(), 2u);
  EXPECT_EQ(notifier_.shown[0].text, "Error occurred in loading library '" + missing + "'.");
  EXPECT_EQ(notifier_.shown[1].text, "(2)Error occurred in loading library '" + missing + "'.");
  EXPECT_EQ(PlotDataFilesLeft(), "");
  EXPECT_EQ(PlotSetup(&host_), 1);
  EXPECT_EQ(PageSetup(&host_), 1);
  EXPECT_EQ(notifier_.shown.back().text,
            "(2)Error occurred in loading library '" + PathOf("empty") + "/liborvisk.so'.");

  notifier_.shown.clear();
  setenv("KAVRINTH_PROGRAM_DIR", PLOT_STUB_DIR, 1);
  EXPECT_NE(PlotScreen(&host_), 0);
  const std::string stub = std::string(PLOT_STUB_DIR) + "/libplendo.so";
  ASSERT_EQ(notifier_.shown.size(), 1u) << "the value entries are there";
  EXPECT_EQ(notifier_.shown[0].text,
            "(2)Error occurred in loading function in library '" + stub + "'.");
  EXPECT_EQ(PlotDataFilesLeft(), "");
  EXPECT_FALSE(std::filesystem::exists(PathOf("out.pdf")));
  EXPECT_EQ(PlotSetup(&host_), 1);
  EXPECT_EQ(notifier_.shown.back().text,
            "(2)Error occurred in loading function in library '" + stub + "'.");
}

TEST_F(PlotCommandsTest, ConfigurationThatCannotBeWrittenIsReportedAndThePlotDataWritten) {
  Write("file", "not a directory");
  const std::string config = PathOf("file/plot.cfg");
  host_.display.view_window = {0, 0, 100, 100};
  EXPECT_EQ(GeneratePlotData(&host_, &config, PathOf("plot.gds")), kPlotDataWritten);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Cfg write error -- Cannot plot in opaque mode.");
  EXPECT_TRUE(std::filesystem::exists(PathOf("plot.gds")));
}

TEST_F(PlotCommandsTest, CancelledSaveStopsThePlot) {
  host_.save_answer = 2;
  EXPECT_NE(PlotScreen(&host_), 0);
  EXPECT_EQ(host_.query_mode_ended, 0);
  EXPECT_TRUE(host_.statuses.empty());
  EXPECT_EQ(PlotDataFilesLeft(), "");
}

TEST_F(PlotCommandsTest, PlotWindowDialogEntries) {
  services_.display.database_units_per_user_unit = 1000;
  struct Case {
    const char* min;
    const char* max;
    bool closes;
    const char* message;
  };
  const Case cases[] = {
      {"1.5,2", "3,-4.25", true, nullptr},
      {"1.5 2", "3,4", false, "Extents entered are not in the correct format"},
      {"1,2", "3 4", false, "Extents entered are not in the correct format"},
      {"3e6,0", "1,1", false, "Extents entered are outside the coordinate range"},
      {"1,2", "1,5", true, nullptr},  // zero width: nothing stored, nothing plotted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.min) + " / " + c.max);
    notifier_.shown.clear();
    EXPECT_EQ(PlotWindowCoordsAccept(c.min, c.max), c.closes);
    ASSERT_EQ(notifier_.shown.size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_EQ(notifier_.shown[0].text, c.message);
    }
  }
  ASSERT_EQ(services_.plotted.size(), 1u);
  EXPECT_EQ(services_.plotted[0], (GdxRect{1500, -4250, 3000, 2000}));
}

TEST_F(PlotCommandsTest, PlotLibraryEntriesDirectly) {
  void* library = dlopen((program_dir_ + "/libplendo.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto get = reinterpret_cast<PlotGetValueEntry>(dlsym(library, "plendo_ordinal_4"));
  const auto set = reinterpret_cast<PlotSetValueEntry>(dlsym(library, "plendo_ordinal_5"));
  const auto plot = reinterpret_cast<PlotEntry>(dlsym(library, "plendo_ordinal_3"));
  ASSERT_TRUE(get && set && plot);
  const std::string config = PathOf("new/plot.cfg");
  // The first write gives a new file the default values as well.
  ASSERT_EQ(set("plendo", "PLOTFILE", config.c_str(), PathOf("direct.pdf").c_str()), 1);
  std::array<char, 6> small{};
  ASSERT_EQ(get(nullptr, "PLTYPE", config.c_str(), small.data(), small.size()), 1);
  EXPECT_STREQ(small.data(), "PDF 8") << "cut to the buffer";
  EXPECT_EQ(get("plendo", "NOSUCHKEY", config.c_str(), small.data(), small.size()), 0);
  // A damaged plot data file plots nothing and says so.
  const std::string bad = Write("bad.gds", std::string("\x00\x06\x00\x02\x00\x05\x00\x08", 8));
  EXPECT_NE(plot(nullptr, config.c_str(), bad.c_str(), PathOf("second").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(PathOf("direct.pdf")));
  dlclose(library);
}

}  // namespace
}  // namespace kavrinth
