// The drawing window: shows the off-screen picture of the job. Painting only copies the
// picture; a full drawing runs from a queued request, never inside the paint handler. Its
// horizontal and vertical scroll bars (placed beside it by the frame) are shown while a job
// is loaded and move the view.
#pragma once

#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QWidget>
#include <cstdint>

namespace kavrinth {

class CLumraDoc;
class CDrawInteraction;

class CLumraView : public QWidget {
  Q_OBJECT

 public:
  CLumraView(CLumraDoc* document, QWidget* parent);

  // Queues a full drawing (several requests before it runs give one drawing).
  void RequestRedraw();
  // Stops a drawing under way at its next check; what it drew stays on the screen.
  void CancelRedraw() {
    ++cancel_counter_;
    redraw_after_stop_ = false;
  }
  // Stops a drawing under way for a command that changes what the window is to show: the
  // command draws the view again or shows a stored picture of it; when it does neither,
  // the view is drawn again whole once the stopped drawing has ended, so that no part of a
  // drawing is left on the screen.
  void StopRedrawForCommand() {
    ++cancel_counter_;
    redraw_after_stop_ = true;
  }
  // A stored picture of the whole window has taken the place of the picture.
  void PictureRecalled() { redraw_after_stop_ = false; }
  // Fills the picture with the background and marks it not valid.
  void ClearPicture();
  // Defines the background colour of the picture: false when it cannot be set (the old one
  // stays).
  bool SetBackgroundColour(uint32_t colour);
  // The scroll bars of the window (the frame lays them out beside it).
  QScrollBar* scroll_bar(bool vertical) const { return vertical ? v_bar_ : h_bar_; }
  // Moves both bars to the current view (ranges, positions, thumb sizes) without taking it
  // as a user's scroll; shows them while a job is loaded, hides them otherwise.
  void SyncScrollBars();
  // The right-button menu (its actions belong to the frame).
  void SetContextMenu(QMenu* menu) { context_menu_ = menu; }

  const QImage& picture() const { return picture_; }
  QImage& MutablePicture() { return picture_; }
  // The work in the drawing window: modes, queries, captured views.
  CDrawInteraction& interaction() { return *interaction_; }
  bool redraw_pending() const { return redraw_pending_; }
  int full_drawings() const { return full_drawings_; }

 signals:
  // A full drawing starts or ends (the frame shows it in the status line).
  void drawingStarted();
  void drawingEnded(bool complete);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void RunRedraw();
  bool UsableSize() const;
  void FitPicture();
  // A user's action on a scroll bar: the view moves, and the end of the scroll redraws.
  void ScrollAction(bool vertical, int action);
  void ScrollReleased(bool vertical);
  void EndScroll(bool vertical);

  CLumraDoc* document_;
  QImage picture_;
  CDrawInteraction* interaction_ = nullptr;
  QPointer<QMenu> context_menu_;
  QPointer<QScrollBar> h_bar_;
  QPointer<QScrollBar> v_bar_;
  // Set while the view moves its own bars: their signals are not user scrolls.
  bool moving_bars_ = false;
  bool redraw_pending_ = false;
  int64_t cancel_counter_ = 0;
  // The drawing under way was stopped by a command and is to be drawn again.
  bool redraw_after_stop_ = false;
  int full_drawings_ = 0;
};

}  // namespace kavrinth
