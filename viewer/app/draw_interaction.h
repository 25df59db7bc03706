// Working in the drawing window: the mouse modes with their bands and cross-hairs drawn
// over the picture, the vertex and flash queries with their info window, the clipboard copy,
// the captured views (kept as images in a private temporary directory) and the View
// tear-off window.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <array>
#include <memory>
#include <string>

#include "viewer/app/main_frame.h"
#include "viewer/display/draw_window.h"
#include "viewer/interact/draw_modes.h"
#include "viewer/interact/vertex_query.h"

class QPainter;

namespace kavrinth {

class CLumraView;

// Places a window in its parent's bottom-right corner, pulled back inside the screen.
void PlaceInParentCorner(QWidget* window);

// The info window: a title, the main text and the help text (caption "Info").
class CViewInfoDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CViewInfoDlg(QWidget* parent);
  // Shows the texts; the help's characters from `select_from` to its end are selected (none
  // when negative).
  void SetInfo(const QString& title, const QString& text, const QString& help,
               int select_from = -1);
  // A point that met no vertex: an empty title and text, the help last set with the
  // refusal appended and selected. The help kept for the next refusal stays as it was.
  void ShowInvalidPoint();
  QString selected_help() const;
  QString text() const { return text_->toPlainText(); }
  QString title() const { return title_->text(); }
  QString help() const { return help_->toPlainText(); }

 private:
  QLabel* title_;
  QPlainTextEdit* text_;
  QPlainTextEdit* help_;
  QString stored_help_;
  bool placed_ = false;
};

// The View tear-off window: seven toggle buttons that send the view's commands.
class CViewTearDlg : public QDialog {
  Q_OBJECT
 public:
  CViewTearDlg(QWidget* parent, std::function<void(int)> send);
  // Presses the button of the mode (8204, 8206, 8207, 8270) and releases the others.
  void ShowMode(int32_t mode);
  // Places the window in the parent's bottom-right corner, inside the screen, the first
  // time it is shown; later it stays where the user moved it.
  void PlaceInParent();
  QCheckBox* button(int id) const;

 private:
  std::vector<std::pair<int, QCheckBox*>> buttons_;
  bool placed_ = false;
};

class CDrawInteraction : public QObject, public DrawModeHost {
  Q_OBJECT
 public:
  CDrawInteraction(CLumraView* view, DrawWndState* window);
  ~CDrawInteraction() override;

  DrawModes& modes() { return modes_; }
  VertexQuery& query() { return query_; }
  CViewInfoDlg* info_window() { return info_; }
  CViewTearDlg* tear_off() { return tear_; }

  // Command of the drawing window: true when it took it.
  bool Command(int32_t id, int param);

  // Events of the view (device pixels of the view).
  void MousePress(Qt::MouseButton button, QPoint at);
  void MouseRelease(Qt::MouseButton button, QPoint at);
  void MouseMove(QPoint at);
  // A point of the edit tools: the coordinate panes follow it.
  void PostCursorPoint(QPoint at);
  // True when the key was taken.
  bool Key(int key);
  // Draws the band, the cross-hair and the query marker over the picture.
  void PaintOverlays(QPainter& painter) const;
  // A job was closed or opened: the modes end and every capture is forgotten.
  void ResetJob();

  // DrawModeHost
  void Redraw() override;
  void CopyBox(const DeviceBox& box) override;
  bool StartQuery(int32_t mode, const GdxRect& world_box) override;
  void EndQuery() override;
  void RunDrawHook() override;
  void PlotWindow(const GdxRect& world_box) override;
  void ShowMeasure(const std::string& text) override;
  void ModeChanged() override;
  bool StoreCapture(int slot) override;
  bool LoadCapture(int slot) override;
  bool EndPointSnap() const override;
  bool QueryMarker(int32_t x, int32_t y) override;
  bool TakeQueryHit(int32_t* x, int32_t* y) override;
  void InvalidPoint() override;
  // Where the vertices that TAB and SPACE step to while a snap search runs go (world units):
  // the edit tools' proposed point follows them.
  void SetCandidateHandler(std::function<void(int32_t, int32_t)> handler) {
    candidate_ = std::move(handler);
  }
  // A snap search (end-point measure or edit tool) holds a vertex to accept.
  bool marker_query() const { return marker_query_ && query_.has_hit(); }

  // The file of a capture slot ("" before its first capture).
  QString CaptureFile(int slot) const;
  // The All command's test: true when the stored full view is still what a drawing of the
  // whole job would show; otherwise the next drawing of the whole job stores it again.
  bool FullViewCurrent();
  // Stores the picture as the full view when it shows the whole job as All fits it: false
  // when it shows another view or cannot be stored.
  bool StoreFullView();

 signals:
  // A text for the status line; the cursor's coordinates; the mode changed.
  void statusText(const QString& text);
  void cursorMoved(const QString& x, const QString& y);
  void modeChanged();

 private:
  // The commands that move or refit the view.
  static bool ChangesView(int32_t id);
  // Stops a full drawing under way at its next check.
  void StopDrawing();
  void ShowQueryHit();
  // Draws the element the query found highlighted and the one it held before as it was.
  void UpdateQueryHighlight();
  void SyncGridSnap();
  // The cursor's cross moves to the point (device pixels).
  void MoveCursorCross(QPoint at);

  CLumraView* view_;
  DrawWndState* window_;
  DrawModes modes_;
  VertexQuery query_;
  CViewInfoDlg* info_;
  CViewTearDlg* tear_;
  std::unique_ptr<QTemporaryDir> capture_dir_;
  std::array<QString, kCaptureSlots + 1> capture_files_;
  // The stored full view and the view it shows.
  bool full_view_valid_ = false;
  // The failure to store the whole-job picture was said; cleared by a store that succeeds.
  bool full_view_failure_said_ = false;
  ZoomView full_view_;
  QPoint mouse_;
  bool mouse_inside_ = false;
  bool marker_query_ = false;
  std::function<void(int32_t, int32_t)> candidate_;
};

// The drawing window's part of the frame's command routing: the view's, Info and Edit
// commands of the frame and the drawing window's own ids, enabled while a job is loaded
// (Recall while its slot holds a view).
DrawWindowHook DrawWindowCommands(CDrawInteraction* interaction);

}  // namespace kavrinth
