// Plot Screen from a Qt main window: the status line during and after the plot, and the
// PDF the plot library writes while the window's application runs.
#include "viewer/plot/qt/qt_plot_host.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QStatusBar>
#include <fstream>

#include "support/notifier.h"
#include "support/qt/tests/qt_test_support.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/tests/viewer_test_support.h"
#include "viewer/plot/plot_commands.h"

namespace kavrinth {
namespace {

class QtPlotHostTest : public ViewerModelTest {
 protected:
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(QtPlotHostTest, PlotScreenFromTheWindow) {
  GdxBeginLibrary("lib");
  GdxSetUnits(0.001, 1e-9);
  GdxStartStructure();
  GdxBeginStructure("S");
  GdxSetLayer(1);
  GdxBeginBoundary();
  const std::vector<GdxWord> square = {0, 0, 100, 0, 100, 100, 0, 100, 0, 0};
  GdxAddPoints(1, square.data(), 10);
  GdxEndElement();
  GdxEndStructure();
  ViewLayerEntry& layer = LayerTable()[0];
  layer.path = "square";
  layer.shown = 1;
  layer.library = GdxEndLibrary();
  PlotWindowStore() = {};
  PlotConfigPath() = PathOf("plot.cfg");
  std::ofstream(PlotConfigPath()) << "[plendo]\nPLOTFILE=" << PathOf("frame.pdf") << "\n";

  QMainWindow frame;
  frame.show();
  QtPlotHost host(&frame);
  host.temporary_directory = dir_;
  host.display = [] {
    PlotDisplay display;
    display.view_window = {-50, -50, 150, 150};
    return display;
  };
  std::vector<QString> seen;
  host.show_idle_text = [&] { seen.push_back(frame.statusBar()->currentMessage()); };
  int ended = 0;
  host.end_query_mode = [&] { ++ended; };
  EXPECT_EQ(PlotScreen(&host), 0);
  EXPECT_EQ(seen, std::vector<QString>{"Generating plot data..."});
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(frame.statusBar()->currentMessage(),
            "Plot written to " + QString::fromStdString(PathOf("frame.pdf")));
  EXPECT_GT(std::filesystem::file_size(PathOf("frame.pdf")), 500u);
  EXPECT_TRUE(notifier_.shown.empty());
}

}  // namespace
}  // namespace kavrinth
