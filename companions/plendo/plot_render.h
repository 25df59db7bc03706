// Drawing a plot document onto a page: the page size and orientation, the margins, the
// fit or the given scale and origin, pens and line weights. Used for PDF files and
// printers alike.
#pragma once

#include <QPagedPaintDevice>
#include <QRectF>
#include <QSizeF>
#include <string>

#include "companions/plendo/plot_file.h"

namespace kavrinth {

// Where the plot lies on its page, in points (1/72 inch) from the page's top-left corner.
struct PlotLayout {
  QSizeF page;                // as the page lies (turned when the plot is rotated)
  QRectF printable;           // the page inside the margins
  double scale = 1.0;         // points per database unit
  double left = 0.0;          // page position of the plot window's minimum x
  double bottom = 0.0;        // page position of the plot window's minimum y
  double unit_points = 72.0;  // points per paper unit (margins and line weights)
  int dpi = 300;
};

// The layout of a document: false with a message when the page, the margins or the plot
// window leave nothing to draw on.
bool ComputePlotLayout(const PlotDocument& document, PlotLayout* layout, std::string* error);

// Sets the device's page to the layout and draws the document on it.
bool PaintPlot(QPagedPaintDevice* device, const PlotDocument& document, const PlotLayout& layout,
               std::string* error);

}  // namespace kavrinth
