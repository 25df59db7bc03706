// The plot commands' host for a Qt main window: the window is the plot libraries' owner,
// the status line shows "Generating plot data..." at once, and the viewer supplies the
// display, the save question, the query mode and its temporary directory as functions.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "viewer/plot/plot_data.h"

namespace kavrinth {

class QtPlotHost : public PlotHost {
 public:
  explicit QtPlotHost(QWidget* frame) : frame_(frame) {}

  void* FrameHandle() override { return frame_.data(); }
  PlotDisplay Display() override { return display ? display() : PlotDisplay{}; }
  int SaveEditedLayers() override { return save_edited_layers ? save_edited_layers() : 0; }
  void EndQueryMode() override {
    if (end_query_mode) end_query_mode();
  }
  // The text in the frame's status line, shown before the work goes on; empty gives the
  // idle text back.
  void ShowStatus(std::string_view text) override;
  std::string TemporaryDirectory() override {
    return temporary_directory.empty() ? PlotHost::TemporaryDirectory() : temporary_directory;
  }

  std::function<PlotDisplay()> display;
  std::function<int()> save_edited_layers;
  std::function<void()> end_query_mode;
  std::function<void()> show_idle_text;
  std::string temporary_directory;

 private:
  QPointer<QWidget> frame_;
};

}  // namespace kavrinth
