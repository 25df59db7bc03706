// The drawing window.
#include "viewer/app/lumra_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "support/qt/window_helpers.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/draw_interaction.h"
#include "viewer/app/lumra_doc.h"
#include "viewer/app/viewer_state.h"

namespace kavrinth {
namespace {

// What decides where the drawing puts each element: the current view and its mapping.
struct ViewSnapshot {
  ZoomView view;
  double scale = 0;
  double offset_x = 0;
  double offset_y = 0;
  static ViewSnapshot Of(const DrawWndState& window) {
    return {window.current_view(), window.scale(), window.offset_x(), window.offset_y()};
  }
  bool operator==(const ViewSnapshot&) const = default;
};

QRgb RgbOf(uint32_t colour) {
  return qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

}  // namespace

CLumraView::CLumraView(CLumraDoc* document, QWidget* parent)
    : QWidget(parent), document_(document) {
  setObjectName("drawing");
  setAccessibleName("Drawing");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(64, 64);
  setMouseTracking(true);
  interaction_ = new CDrawInteraction(this, &AppDisplay().window);
  picture_ = QImage(4, 1, QImage::Format_Indexed8);
  QList<QRgb> colours(256, qRgb(0, 0, 0));
  colours[kBackgroundColourIndex] = RgbOf(AppState().background_colour);
  picture_.setColorTable(colours);
  picture_.fill(kBackgroundColourIndex);
  for (const bool vertical : {false, true}) {
    auto* bar = new QScrollBar(vertical ? Qt::Vertical : Qt::Horizontal, this);
    bar->setObjectName(vertical ? "verticalScrollBar" : "horizontalScrollBar");
    bar->setAccessibleName(vertical ? "Vertical scroll bar" : "Horizontal scroll bar");
    // The keys stay with the drawing window (its arrow keys scroll by a line).
    bar->setFocusPolicy(Qt::NoFocus);
    bar->hide();
    connect(bar, &QAbstractSlider::actionTriggered, this,
            [this, vertical](int action) { ScrollAction(vertical, action); });
    connect(bar, &QAbstractSlider::sliderReleased, this,
            [this, vertical] { ScrollReleased(vertical); });
    (vertical ? v_bar_ : h_bar_) = bar;
  }
}

// The bars carry the drawing state's scroll positions one to one: a position is the view's
// top-left in base units less the base origin, and the ranges are 32-bit values of at most
// a few times the base span, so they fit the bars' int ranges as they are. A dragged thumb
// reports its full position, so no cursor mapping is needed however wide the range.
void CLumraView::SyncScrollBars() {
  const DrawWndState& window = AppDisplay().window;
  const bool shown = AppState().job_loaded && window.has_view();
  const bool was_moving = moving_bars_;
  moving_bars_ = true;
  bool changed = false;
  for (const bool vertical : {false, true}) {
    QScrollBar* bar = scroll_bar(vertical);
    if (bar == nullptr) continue;
    // A thumb the user holds stays where the mouse puts it until it is released.
    if (shown && !bar->isSliderDown()) {
      const QSignalBlocker block(bar);
      const ZoomView& view = window.current_view();
      const int size = std::max(vertical ? view.h : view.w, 1);
      bar->setRange(window.ScrollMinimum(vertical), window.ScrollMaximum(vertical));
      bar->setPageStep(size);
      bar->setSingleStep(std::max(size / 10, 1));
      bar->setValue(window.ScrollPosition(vertical));
    }
    if (bar->isVisibleTo(bar->parentWidget()) != shown) {
      bar->setVisible(shown);
      changed = true;
    }
  }
  // The window takes its new size at once, so that the drawing that follows fits it.
  if (changed && parentWidget() != nullptr && parentWidget()->layout() != nullptr)
    parentWidget()->layout()->activate();
  moving_bars_ = was_moving;
}

void CLumraView::ScrollAction(bool vertical, int action) {
  QScrollBar* bar = scroll_bar(vertical);
  if (moving_bars_ || bar == nullptr) return;
  bool end = true;
  int code = 0;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      code = kScrollLineUp;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      code = kScrollLineDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      code = kScrollPageUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      code = kScrollPageDown;
      break;
    case QAbstractSlider::SliderToMinimum:
      code = kScrollTop;
      break;
    case QAbstractSlider::SliderToMaximum:
      code = kScrollBottom;
      break;
    case QAbstractSlider::SliderMove:
      // A held thumb tracks the mouse; its release ends the scroll. A move without a held
      // thumb (the wheel over the bar) is a finished position.
      end = !bar->isSliderDown();
      code = end ? kScrollThumbPosition : kScrollThumbTrack;
      break;
    default:
      return;
  }
  DrawWndState& window = AppDisplay().window;
  // A drawing under way shows a view that is about to change: it stops.
  if (AppState().drawing_guard) CancelRedraw();
  moving_bars_ = true;
  window.Scroll(vertical, code, bar->sliderPosition());
  // The bar shows where the view went (the steps are the view's, not the bar's).
  bar->setSliderPosition(window.ScrollPosition(vertical));
  moving_bars_ = false;
  if (end) EndScroll(vertical);
}

void CLumraView::ScrollReleased(bool vertical) {
  QScrollBar* bar = scroll_bar(vertical);
  if (moving_bars_ || bar == nullptr) return;
  DrawWndState& window = AppDisplay().window;
  if (AppState().drawing_guard) CancelRedraw();
  window.Scroll(vertical, kScrollThumbPosition, bar->sliderPosition());
  EndScroll(vertical);
}

void CLumraView::EndScroll(bool vertical) {
  DrawWndState& window = AppDisplay().window;
  if (!window.Scroll(vertical, kScrollEnd, 0)) return;
  // The redraw command of the drawing window: the picture is stale from now on, and its
  // drawing is queued.
  interaction_->Command(kDrawRedraw, 0);
}

bool CLumraView::SetBackgroundColour(uint32_t colour) {
  if (picture_.colorCount() <= kBackgroundColourIndex) return false;
  picture_.setColor(kBackgroundColourIndex, RgbOf(colour));
  update();
  return true;
}

void CLumraView::ClearPicture() {
  picture_.fill(kBackgroundColourIndex);
  AppState().picture_valid = false;
  SyncScrollBars();
  update();
}

bool CLumraView::UsableSize() const {
  const QWidget* top = window();
  return width() > 0 && height() > 0 && !(top != nullptr && top->isMinimized());
}

void CLumraView::FitPicture() {
  // The picture is exactly the window's size (its rows are padded to whole 32-bit words on
  // their own), so that a view fitted to it is wholly on the screen.
  const int width = this->width();
  if (picture_.width() == width && picture_.height() == height()) return;
  const QList<QRgb> colours = picture_.colorTable();
  picture_ = QImage(width, height(), QImage::Format_Indexed8);
  picture_.setColorTable(colours);
  picture_.fill(kBackgroundColourIndex);
  AppState().picture_valid = false;
}

void CLumraView::RequestRedraw() {
  AppState().picture_valid = false;
  // Every change of the view ends in a redraw: the bars follow it here.
  SyncScrollBars();
  if (redraw_pending_) return;
  redraw_pending_ = true;
  QTimer::singleShot(0, this, &CLumraView::RunRedraw);
}

void CLumraView::RunRedraw() {
  ViewerAppState& state = AppState();
  // A drawing never starts inside another one, nor while a dialog or a load runs: it
  // waits for them.
  if (state.drawing_guard || state.busy_depth > 0 || state.command_depth > 0 ||
      QApplication::activeModalWidget()) {
    QTimer::singleShot(50, this, &CLumraView::RunRedraw);
    return;
  }
  SyncScrollBars();
  redraw_pending_ = false;
  // A minimised or empty window keeps its picture and starts no drawing.
  if (!UsableSize()) return;
  FitPicture();
  if (!state.job_loaded) {
    picture_.fill(kBackgroundColourIndex);
    state.picture_valid = false;
    update();
    OpenPendingFile();
    return;
  }
  // The guard is up before the viewer is marked busy, so that the frame, updating its
  // commands, sees that a drawing is what runs.
  state.drawing_guard = true;
  BusyScope busy;
  // The marks of accepted vertices lie over the picture they were taken in.
  interaction_->modes().ClearAcceptedVertices();
  state.drawing_active = true;
  emit drawingStarted();
  const int64_t start = cancel_counter_;
  redraw_after_stop_ = false;
  // The view the drawing is drawn at, taken before the first waiting events are delivered
  // (the drawing fits the view to the window first). Should anything move the view while
  // they are delivered without stopping the drawing, the picture is not of one view and is
  // taken as cancelled.
  std::optional<ViewSnapshot> drawn_at;
  const bool complete = document_->DrawPicture(&picture_, [this, start, &drawn_at] {
    if (!drawn_at) drawn_at = ViewSnapshot::Of(AppDisplay().window);
    PumpMessages(this);
    return cancel_counter_ != start;
  });
  if (drawn_at && !(*drawn_at == ViewSnapshot::Of(AppDisplay().window))) {
    CancelRedraw();
    if (!redraw_pending_) RequestRedraw();
  }
  const bool cancelled = cancel_counter_ != start;
  // A drawing stopped by a command that then put nothing in its place is drawn again.
  if (cancelled && redraw_after_stop_ && !redraw_pending_) RequestRedraw();
  redraw_after_stop_ = false;
  // A drawing the user stopped stays on screen as far as it went, until a command of the
  // user draws again; it is never taken as the whole view.
  state.picture_valid = (complete || cancelled) && !redraw_pending_;
  state.drawing_active = false;
  state.drawing_guard = false;
  // A whole drawing of the whole job is kept for All while it is to be stored again.
  if (complete && !cancelled && state.full_view_rebuild && interaction_->StoreFullView()) {
    state.full_view_rebuild = false;
    state.full_view_fill = state.fill_mode != 0 ? 1 : 0;
    state.full_view_stale[kFullViewResized] = false;
  }
  // The drawing fits the view to the window as it is now: the thumbs follow the fit.
  SyncScrollBars();
  ++full_drawings_;
  emit drawingEnded(complete && !cancelled);
  update();
  // The keys (arrows, Escape, TAB of a query) go to the picture just drawn.
  setFocus();
  // What was left to show after the drawing (the merge log) comes up over it.
  OpenPendingFile();
}

void CLumraView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  ViewerAppState& state = AppState();
  if (state.job_loaded && !state.picture_valid && !state.drawing_guard && !redraw_pending_) {
    // The picture is stale: show what it holds and ask for a drawing, outside this handler.
    RequestRedraw();
  }
  // A whole picture of the job is shown (also one recalled without a drawing): clicks are
  // taken from now on.
  if (state.job_loaded && state.picture_valid && !state.drawing_guard) state.drawing_active = false;
  painter.drawImage(event->rect().topLeft(), picture_, event->rect());
  // Parts of the window the picture does not cover show the background.
  const QRect covered(0, 0, picture_.width(), picture_.height());
  const QRegion rest = QRegion(event->rect()).subtracted(covered);
  for (const QRect& rect : rest) painter.fillRect(rect, picture_.color(kBackgroundColourIndex));
  // Bands, cross-hairs and markers lie over the picture, never in it.
  interaction_->PaintOverlays(painter);
}

// Clicks that arrive while a full drawing delivers the waiting events are not the modes':
// the view they were aimed at is still being drawn.
void CLumraView::mousePressEvent(QMouseEvent* event) {
  if (AppState().drawing_active) return;
  interaction_->MousePress(event->button(), event->position().toPoint());
}

void CLumraView::mouseReleaseEvent(QMouseEvent* event) {
  if (AppState().drawing_active) return;
  // A click is decided when the button comes up.
  interaction_->MouseRelease(event->button(), event->position().toPoint());
}

void CLumraView::mouseMoveEvent(QMouseEvent* event) {
  interaction_->MouseMove(event->position().toPoint());
}

void CLumraView::keyPressEvent(QKeyEvent* event) {
  if (!interaction_->Key(event->key())) QWidget::keyPressEvent(event);
}

bool CLumraView::focusNextPrevChild(bool next) {
  // TAB steps the query from vertex to vertex while one runs.
  if (interaction_->query().has_hit()) return false;
  return QWidget::focusNextPrevChild(next);
}

void CLumraView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  MarkFullViewStale(kFullViewResized);
  if (!UsableSize()) return;
  if (AppState().job_loaded) {
    RequestRedraw();
  } else {
    FitPicture();
  }
}

void CLumraView::contextMenuEvent(QContextMenuEvent* event) {
  // The right button that accepts an end-point measure's vertex opens no menu.
  if (interaction_->modes().measure_vertex_pending()) return;
  // Without a job the window takes no clicks, and has no menu.
  const ViewerAppState& state = AppState();
  if (context_menu_ != nullptr && state.job_loaded && !state.drawing_active)
    context_menu_->popup(event->globalPos());
}

}  // namespace kavrinth
