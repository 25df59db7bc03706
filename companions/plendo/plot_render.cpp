// The plot on a page through QPainter.
#include "companions/plendo/plot_render.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>

#include "support/colors.h"
#include "viewer/plot/plot_settings.h"

namespace kavrinth {
namespace {

// Points per paper unit, by the unit index of the plot values.
constexpr std::array<double, 11> kUnitPoints = {
    72e-6,          72e-3,       72.0,         864.0,          2592.0,     72.0 * 63360.0,
    72.0 / 25400.0, 72.0 / 25.4, 720.0 / 25.4, 72000.0 / 25.4, 72e6 / 25.4};
constexpr int kInchUnit = 2;

QColor PenColour(int32_t colour, int32_t max_pen) {
  if (colour <= 0) return Qt::white;
  const int32_t pens = std::clamp(max_pen, 1, kMaxPlotPens);
  const int32_t pen = (colour - 1) % std::min(pens, kPickColorCount - 1) + 1;
  const PickColorValue value = PickColors()[pen];
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

class Painter {
 public:
  Painter(QPainter* painter, const PlotDocument& document, const PlotLayout& layout)
      : p_(painter), document_(document), layout_(layout) {
    window_min_x_ = document.Setting("$LIM_LT", 0);
    window_min_y_ = document.Setting("$LIM_BT", 0);
    max_pen_ = static_cast<int32_t>(document.Setting("MAXPEN", 2));
    fill_ = document.Setting("FILLON", 1) != 0;
    line_weight_ = document.Setting("LINEWEIGHT", 0.006) * layout.unit_points;
    fill_line_weight_ = document.Setting("FLINEWEIGHT", 0.003) * layout.unit_points;
  }

  QPointF Map(GdsIntPoint point) const {
    return {layout_.left + (point.x - window_min_x_) * layout_.scale,
            layout_.bottom - (point.y - window_min_y_) * layout_.scale};
  }

  void Draw(const PlotShape& shape) {
    const QColor colour = PenColour(shape.colour, max_pen_);
    switch (shape.kind) {
      case PlotShape::kWindowFill:
        p_->fillRect(QRectF(Map({static_cast<int32_t>(document_.Setting("$LIM_LT", 0)),
                                 static_cast<int32_t>(document_.Setting("$LIM_TP", 0))}),
                            Map({static_cast<int32_t>(document_.Setting("$LIM_RG", 0)),
                                 static_cast<int32_t>(document_.Setting("$LIM_BT", 0))})),
                     colour);
        break;
      case PlotShape::kBoundary: {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        for (const auto& polygon : shape.polygons) {
          QPolygonF mapped;
          for (const GdsIntPoint& point : polygon) mapped << Map(point);
          path.addPolygon(mapped);
          path.closeSubpath();
        }
        Outline(path, colour);
        break;
      }
      case PlotShape::kCircle: {
        QPainterPath path;
        const double r = shape.radius * layout_.scale;
        path.addEllipse(Map(shape.centre), r, r);
        Outline(path, colour);
        break;
      }
      case PlotShape::kPath:
        DrawPath(shape, colour);
        break;
    }
  }

 private:
  void Outline(const QPainterPath& path, const QColor& colour) {
    if (fill_) p_->fillPath(path, colour);
    p_->strokePath(path, Pen(colour, fill_ ? fill_line_weight_ : line_weight_));
  }

  void DrawPath(const PlotShape& shape, const QColor& colour) {
    if (shape.polygons.empty()) return;
    QPolygonF line;
    for (const GdsIntPoint& point : shape.polygons.front()) line << Map(point);
    if (shape.width <= 0) {
      p_->setPen(Pen(colour, line_weight_));
    } else {
      QPen pen = Pen(colour, shape.width * layout_.scale);
      pen.setCapStyle(shape.path_type == 1   ? Qt::RoundCap
                      : shape.path_type == 2 ? Qt::SquareCap
                                             : Qt::FlatCap);
      pen.setJoinStyle(shape.path_type == 1 ? Qt::RoundJoin : Qt::MiterJoin);
      p_->setPen(pen);
    }
    p_->setBrush(Qt::NoBrush);
    p_->drawPolyline(line);
  }

  static QPen Pen(const QColor& colour, double width) {
    QPen pen(colour, std::max(width, 0.0));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
  }

  QPainter* p_;
  const PlotDocument& document_;
  const PlotLayout& layout_;
  double window_min_x_ = 0;
  double window_min_y_ = 0;
  int32_t max_pen_ = 2;
  bool fill_ = true;
  double line_weight_ = 0;
  double fill_line_weight_ = 0;
};

}  // namespace

bool ComputePlotLayout(const PlotDocument& document, PlotLayout* layout, std::string* error) {
  const int32_t code = static_cast<int32_t>(document.Setting("PAPERSIZE", 'A'));
  const bool custom = code == kPaperCustomY || code == kPaperCustomZ;
  const int unit = custom ? static_cast<int>(document.Setting("PAPERUNIT", kInchUnit)) : kInchUnit;
  if (unit < 0 || unit >= static_cast<int>(kUnitPoints.size())) {
    *error = "The paper unit " + std::to_string(unit) + " is not known.";
    return false;
  }
  PlotSettings sizes;
  sizes.custom_width = document.Setting("PAPERWIDTH", 0);
  sizes.custom_height = document.Setting("PAPERHEIGHT", 0);
  const auto size = PaperSizeOfCode(code, sizes).value_or(std::pair{8.5, 11.0});
  const double u = kUnitPoints[unit];
  double width = size.first * u, height = size.second * u;
  if (!(width > 0) || !(height > 0) || width > 14400 || height > 14400) {
    *error = "The paper size is not usable (at most 200 inches a side).";
    return false;
  }
  if (document.Setting("ISROT", 0) != 0) std::swap(width, height);
  layout->page = QSizeF(width, height);
  layout->unit_points = u;
  const double left = document.Setting("LTBTMGNX", 0.5) * u;
  const double bottom = document.Setting("LTBTMGNY", 0.5) * u;
  const double right = document.Setting("RTURMGNX", 0.5) * u;
  const double top = document.Setting("RTURMGNY", 0.5) * u;
  layout->printable = QRectF(left, top, width - left - right, height - top - bottom);
  if (!(layout->printable.width() > 0) || !(layout->printable.height() > 0) || left < 0 ||
      top < 0) {
    *error = "The margins leave no room on the page.";
    return false;
  }
  const double dx = document.Setting("$LIM_RG", 0) - document.Setting("$LIM_LT", 0);
  const double dy = document.Setting("$LIM_TP", 0) - document.Setting("$LIM_BT", 0);
  if (!(dx > 0) || !(dy > 0)) {
    *error = "The plot window is empty.";
    return false;
  }
  layout->dpi = std::clamp(static_cast<int>(document.Setting("DPI", 300)), 72, 2400);
  if (document.Has("PLTSCALE")) {
    // The given scale: plotted length over true length, the window's corner at the origin.
    layout->scale =
        document.Setting("PLTSCALE", 1.0) * document.metres_per_database_unit / 0.0254 * 72.0;
    layout->left = layout->printable.left() + document.Setting("OFFX", 0) * u;
    layout->bottom = layout->printable.bottom() - document.Setting("OFFY", 0) * u;
  } else {
    layout->scale = std::min(layout->printable.width() / dx, layout->printable.height() / dy);
    layout->left = layout->printable.left() + (layout->printable.width() - dx * layout->scale) / 2;
    layout->bottom =
        layout->printable.bottom() - (layout->printable.height() - dy * layout->scale) / 2;
  }
  if (!(layout->scale > 0) || !std::isfinite(layout->scale)) {
    *error = "The plot scale is not usable.";
    return false;
  }
  return true;
}

bool PaintPlot(QPagedPaintDevice* device, const PlotDocument& document, const PlotLayout& layout,
               std::string* error) {
  const QPageLayout page(QPageSize(layout.page, QPageSize::Point, QString(), QPageSize::ExactMatch),
                         QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
  if (!device->setPageLayout(page)) {
    *error = "The device does not take the page size.";
    return false;
  }
  QPainter painter;
  if (!painter.begin(device)) {
    *error = "The plot output cannot be opened.";
    return false;
  }
  const double points_to_device = device->logicalDpiX() / 72.0;
  painter.scale(points_to_device, device->logicalDpiY() / 72.0);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setClipRect(layout.printable);
  Painter draw(&painter, document, layout);
  for (const PlotShape& shape : document.shapes) draw.Draw(shape);
  if (!painter.end()) {
    *error = "The plot output could not be written.";
    return false;
  }
  return true;
}

}  // namespace kavrinth
