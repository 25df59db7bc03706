// Working in the drawing window.
#include "viewer/app/draw_interaction.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "support/notifier.h"
#include "support/qt/text_edit.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

// The point query's aperture in pixels.
constexpr int32_t kAperturePixels = 8;
constexpr int kMarkerHalfSize = 8;
constexpr int kCrossHalfSize = 16;

QString Text(const std::string& text) { return QString::fromStdString(text).replace("\r\n", "\n"); }

}  // namespace

CViewInfoDlg::CViewInfoDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Info");
  setObjectName("info_window");
  setAccessibleName("Info");
  setModal(false);
  setAttribute(Qt::WA_ShowWithoutActivating);
  title_ = new QLabel("VERTEX SEARCH", this);
  title_->setObjectName("info_title");
  title_->setAccessibleName("Title");
  text_ = new PasteGuardedTextEdit(this);
  text_->setReadOnly(true);
  text_->setObjectName("info_text");
  text_->setAccessibleName("Information");
  help_ = new PasteGuardedTextEdit(this);
  help_->setReadOnly(true);
  help_->setObjectName("info_help");
  help_->setAccessibleName("Help");
  help_->setMaximumHeight(70);
  for (QPlainTextEdit* edit : {text_, help_}) {
    for (QScrollBar* bar : edit->findChildren<QScrollBar*>()) {
      bar->setAccessibleName(edit->accessibleName() + " scroll bar");
    }
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(text_);
  layout->addWidget(help_);
  resize(260, 280);
}

void CViewInfoDlg::SetInfo(const QString& title, const QString& text, const QString& help,
                           int select_from) {
  title_->setText(title);
  text_->setPlainText(text);
  help_->setPlainText(help);
  stored_help_ = help;
  if (select_from >= 0) {
    QTextCursor cursor(help_->document());
    cursor.setPosition(std::min<int>(select_from, help.size()));
    cursor.setPosition(help.size(), QTextCursor::KeepAnchor);
    help_->setTextCursor(cursor);
  }
  if (isHidden()) {
    show();
    // Placed in the frame's corner when first shown; afterwards it comes back where the
    // user moved it.
    if (!placed_) PlaceInParentCorner(this);
    placed_ = true;
    // The texts are for reading: the keys stay with the drawing window.
    if (parentWidget() != nullptr) parentWidget()->activateWindow();
  }
}

void CViewInfoDlg::ShowInvalidPoint() {
  const QString kept = stored_help_;
  SetInfo("", "", kept + "\nInvalid point.  Click on insertion\nor end point", kept.size());
  stored_help_ = kept;
}

QString CViewInfoDlg::selected_help() const { return help_->textCursor().selectedText(); }

CViewTearDlg::CViewTearDlg(QWidget* parent, std::function<void(int)> send) : QDialog(parent) {
  setWindowTitle("View");
  setObjectName("view_tear_off");
  setAccessibleName("View");
  setModal(false);
  struct Row {
    int id;
    const char* text;
    int command;
  };
  static const Row kRows[] = {{8229, "All", 32801},      {8230, "Window", kDrawZoomWindow},
                              {8231, "In", kDrawZoomIn}, {8232, "Out", kDrawZoomOut},
                              {8233, "Last", kDrawLast}, {8234, "Redraw", kDrawRedraw},
                              {8235, "Pan", kDrawPan}};
  auto* layout = new QVBoxLayout(this);
  for (const Row& row : kRows) {
    auto* button = new QCheckBox(row.text, this);
    button->setObjectName(QStringLiteral("button%1").arg(row.id));
    button->setAccessibleName(row.text);
    layout->addWidget(button);
    buttons_.emplace_back(row.id, button);
    const bool toggles = row.command == kDrawZoomWindow || row.command == kDrawZoomIn ||
                         row.command == kDrawZoomOut || row.command == kDrawPan;
    connect(button, &QCheckBox::clicked, this, [this, button, toggles, row, send](bool on) {
      // All, Last and Redraw release themselves; the modes stay pressed alone.
      if (!toggles) button->setChecked(false);
      if (toggles && !on) return;
      send(row.command);
    });
  }
}

QCheckBox* CViewTearDlg::button(int id) const {
  for (const auto& [button_id, button] : buttons_) {
    if (button_id == id) return button;
  }
  return nullptr;
}

void CViewTearDlg::ShowMode(int32_t mode) {
  const int pressed = mode == kDrawZoomWindow ? 8230
                      : mode == kDrawZoomIn   ? 8231
                      : mode == kDrawZoomOut  ? 8232
                      : mode == kDrawPan      ? 8235
                                              : 0;
  for (const auto& [id, button] : buttons_) button->setChecked(id == pressed);
}

void CViewTearDlg::PlaceInParent() {
  if (placed_) return;
  adjustSize();
  PlaceInParentCorner(this);
  placed_ = true;
}

void PlaceInParentCorner(QWidget* window) {
  QWidget* parent = window->parentWidget();
  if (parent == nullptr) return;
  const QRect outer = parent->frameGeometry();
  const QSize size = window->frameGeometry().size();
  int x = outer.left() + std::max(outer.width() - size.width(), 0);
  int y = outer.top() + std::max(outer.height() - size.height(), 0);
  if (const QScreen* screen = parent->screen()) {
    const QRect desk = screen->availableGeometry();
    if (x + size.width() > desk.right()) x = desk.right() - size.width();
    if (y + size.height() > desk.bottom()) y = desk.bottom() - size.height();
  }
  window->move(x, y);
}

CDrawInteraction::CDrawInteraction(CLumraView* view, DrawWndState* window)
    : QObject(view), view_(view), window_(window), modes_(window, this) {
  info_ = new CViewInfoDlg(view->window());
  tear_ = new CViewTearDlg(
      view->window(), [this](int command) { Command(command == 32801 ? kDrawAll : command, 0); });
}

CDrawInteraction::~CDrawInteraction() { query_.End(); }

bool CDrawInteraction::Command(int32_t id, int param) {
  if (id == kDrawTearOff) {
    if (tear_->isHidden()) {
      tear_->show();
      tear_->PlaceInParent();
    }
    tear_->activateWindow();
    return true;
  }
  if (!DrawModes::Handles(id)) return false;
  // A view change stops a drawing under way first (the tear-off's All, Last and Redraw
  // come while it delivers the waiting events): the rest is drawn at the new view by the
  // drawing that follows, never onto the old one.
  if (ChangesView(id)) StopDrawing();
  // All shows the stored full view when nothing it shows has changed.
  if (id == kDrawAll) param = FullViewCurrent() ? kFullViewSlot : -1;
  modes_.Command(id, param);
  return true;
}

bool CDrawInteraction::ChangesView(int32_t id) {
  switch (id) {
    case kDrawAll:
    case kDrawLast:
    case kDrawRedraw:
    case kDrawHookRedraw:
    case kDrawRecallView:
      return true;
    default:
      return false;
  }
}

void CDrawInteraction::StopDrawing() {
  if (AppState().drawing_guard) view_->StopRedrawForCommand();
}

bool CDrawInteraction::FullViewCurrent() {
  ViewerAppState& state = AppState();
  const int32_t fill = state.fill_mode != 0 ? 1 : 0;
  const bool stale = std::find(state.full_view_stale.begin(), state.full_view_stale.end(), true) !=
                     state.full_view_stale.end();
  if (fill == state.full_view_fill && !stale && full_view_valid_) {
    state.full_view_rebuild = false;
    return true;
  }
  state.full_view_rebuild = true;
  state.full_view_fill = fill;
  state.full_view_stale.fill(false);
  full_view_valid_ = false;
  return false;
}

bool CDrawInteraction::StoreFullView() {
  if (!window_->has_view()) return false;
  // The view All gives for the window as it is now.
  DrawWndState all = *window_;
  if (!all.ZoomAll() || !(all.current_view() == window_->current_view())) return false;
  full_view_valid_ = StoreCapture(kFullViewSlot);
  full_view_ = window_->current_view();
  return full_view_valid_;
}

void CDrawInteraction::ResetJob() {
  // The job's elements go: the highlight is forgotten, not drawn again.
  AppDisplay().SetQueryHighlight(QueryHighlight());
  modes_.Reset();
  modes_.InvalidateCaptures();
  full_view_valid_ = false;
  info_->hide();
  emit modeChanged();
}

void CDrawInteraction::SyncGridSnap() {
  // The snap settings may change between two clicks (the Snap Settings dialog).
  window_->SetGridSnap(AppState().settings.snap_on != 0,
                       CurrentViewerServices().DisplayUnits().grid_spacing);
}

void CDrawInteraction::MousePress(Qt::MouseButton button, QPoint at) {
  SyncGridSnap();
  if (button == Qt::LeftButton) {
    modes_.set_drag_distance(QApplication::startDragDistance());
    modes_.LeftPress(at.x(), at.y());
  }
}

void CDrawInteraction::MouseRelease(Qt::MouseButton button, QPoint at) {
  SyncGridSnap();
  if (button == Qt::LeftButton) {
    modes_.LeftRelease(at.x(), at.y());
  } else if (button == Qt::RightButton) {
    modes_.RightRelease(at.x(), at.y());
  }
  emit cursorMoved(Text(modes_.cursor_x_text()), Text(modes_.cursor_y_text()));
}

void CDrawInteraction::MouseMove(QPoint at) {
  SyncGridSnap();
  modes_.MouseMove(at.x(), at.y());
  // The cross-hair stands on the grid point while grid snap is on.
  MoveCursorCross(QPoint(modes_.mouse_x(), modes_.mouse_y()));
  emit cursorMoved(Text(modes_.cursor_x_text()), Text(modes_.cursor_y_text()));
}

void CDrawInteraction::PostCursorPoint(QPoint at) {
  SyncGridSnap();
  const LogicalPoint p = modes_.PostCursorPoint(at.x(), at.y());
  // The cross follows the edit tools' points too, also while their band is drawn.
  MoveCursorCross(QPoint(p.x, p.y));
  emit cursorMoved(Text(modes_.cursor_x_text()), Text(modes_.cursor_y_text()));
}

void CDrawInteraction::MoveCursorCross(QPoint at) {
  if (mouse_inside_ && at == mouse_) return;
  // Only the crosses' squares are painted again: the old one goes, the new one comes.
  const QSize size(2 * kCrossHalfSize + 1, 2 * kCrossHalfSize + 1);
  const QPoint corner(kCrossHalfSize, kCrossHalfSize);
  if (mouse_inside_) view_->update(QRect(mouse_ - corner, size));
  mouse_ = at;
  mouse_inside_ = true;
  view_->update(QRect(mouse_ - corner, size));
}

bool CDrawInteraction::Key(int key) {
  switch (key) {
    case Qt::Key_Escape:
      modes_.Escape();
      view_->CancelRedraw();
      view_->update();
      return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      StopDrawing();
      modes_.ArrowKey(key == Qt::Key_Up || key == Qt::Key_Down,
                      key == Qt::Key_Right || key == Qt::Key_Down);
      return true;
    case Qt::Key_Tab:
    case Qt::Key_Space:
      if (!(key == Qt::Key_Tab ? query_.Next() : query_.NextVertex())) return false;
      ShowQueryHit();
      // A snap search hands each vertex stepped to on to the edit tools.
      if (marker_query_ && candidate_) candidate_(query_.hit_x(), query_.hit_y());
      return true;
    default:
      return false;
  }
}

void CDrawInteraction::PaintOverlays(QPainter& painter) const {
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
  if (modes_.band_pending()) {
    const QPoint first(modes_.band_first_x(), modes_.band_first_y());
    const QPoint current(modes_.band_current_x(), modes_.band_current_y());
    if (modes_.band_is_line()) {
      painter.drawLine(first, current);
    } else {
      // Corner to corner, both corners on the band (QRect::normalized would move an
      // inverted rectangle's edges a pixel off the points).
      painter.drawRect(
          QRect(QPoint(std::min(first.x(), current.x()), std::min(first.y(), current.y())),
                QPoint(std::max(first.x(), current.x()), std::max(first.y(), current.y()))));
    }
  }
  painter.setPen(QPen(Qt::white, 1));
  // The element itself is drawn highlighted in the picture; the marker crosses its vertex.
  if (query_.has_hit() && window_->has_view()) {
    const LogicalPoint v = window_->WorldToLogical(query_.hit_x(), query_.hit_y());
    const QPoint at(v.x, v.y);
    painter.drawLine(at - QPoint(kMarkerHalfSize, 0), at + QPoint(kMarkerHalfSize, 0));
    painter.drawLine(at - QPoint(0, kMarkerHalfSize), at + QPoint(0, kMarkerHalfSize));
  }
  // Each end-point vertex accepted carries the cross-hair.
  if (window_->has_view()) {
    for (const auto& [x, y] : modes_.accepted_vertices()) {
      const LogicalPoint v = window_->WorldToLogical(x, y);
      const QPoint at(v.x, v.y);
      painter.drawLine(at - QPoint(kMarkerHalfSize, 0), at + QPoint(kMarkerHalfSize, 0));
      painter.drawLine(at - QPoint(0, kMarkerHalfSize), at + QPoint(0, kMarkerHalfSize));
    }
  }
  // The cursor's cross is drawn wherever the mouse last moved in the window, with or
  // without a mode.
  if (mouse_inside_) {
    painter.drawLine(mouse_ - QPoint(kCrossHalfSize, 0), mouse_ + QPoint(kCrossHalfSize, 0));
    painter.drawLine(mouse_ - QPoint(0, kCrossHalfSize), mouse_ + QPoint(0, kCrossHalfSize));
  }
  painter.restore();
}

void CDrawInteraction::Redraw() { view_->RequestRedraw(); }

void CDrawInteraction::CopyBox(const DeviceBox& box) {
  const QRect rect = QRect(box.left, box.top, box.width(), box.height())
                         .intersected(QRect(QPoint(0, 0), view_->picture().size()));
  if (rect.isEmpty()) return;
  QGuiApplication::clipboard()->setImage(
      view_->picture().copy(rect).convertToFormat(QImage::Format_RGB32));
}

bool CDrawInteraction::StartQuery(int32_t mode, const GdxRect& world_box) {
  GdxRect box = world_box;
  if (mode == kDrawPointQuery) {
    const int32_t aperture = window_->LogicalLengthToWorld(kAperturePixels);
    box = {world_box.max_x - aperture, world_box.max_y - aperture, world_box.max_x + aperture,
           world_box.max_y + aperture};
  } else if (mode != kDrawWindowQuery) {
    return false;
  }
  marker_query_ = false;
  const bool hit = query_.Start(box, modes_.query_kind());
  if (hit) ShowQueryHit();
  UpdateQueryHighlight();
  view_->update();
  return hit;
}

void CDrawInteraction::ShowQueryHit() {
  static const QString kHelp = "TAB: Next Close Vertex\nSPACE: Trace Figure";
  static const QString kAccept = "\nRIGHT MOUSE: Accept Vertex";
  // A snap search asks for the right button: its line is selected.
  if (marker_query_) {
    info_->SetInfo("VERTEX SEARCH", Text(query_.InfoText(*window_)), kHelp + kAccept,
                   kHelp.size() + 1);
  } else {
    info_->SetInfo("VERTEX SEARCH", Text(query_.InfoText(*window_)), kHelp);
  }
  UpdateQueryHighlight();
  view_->update();
  view_->setFocus();
}

void CDrawInteraction::UpdateQueryHighlight() {
  QueryHighlight now;
  if (query_.has_hit() && query_.HitRecord(&now.type, &now.flags, &now.data)) {
    now.layer = query_.hit().layer;
  } else {
    now = QueryHighlight();
  }
  ViewerDisplay& display = AppDisplay();
  const QueryHighlight before = display.query_highlight();
  if (before.layer == now.layer && before.type == now.type && before.data == now.data) return;
  display.SetQueryHighlight(now);
  // The element left is drawn as it was and the one found highlighted, over the picture
  // shown; a drawing under way shows the highlight as it reaches the layer.
  if (PaintQueryHighlight(&view_->MutablePicture(), before, now)) view_->update();
}

bool CDrawInteraction::EndPointSnap() const { return AppState().settings.snap_end_point != 0; }

bool CDrawInteraction::QueryMarker(int32_t x, int32_t y) {
  const int32_t aperture = window_->LogicalLengthToWorld(kAperturePixels);
  marker_query_ = true;
  const bool hit =
      query_.Start({x - aperture, y - aperture, x + aperture, y + aperture}, kQueryVertex);
  if (hit) ShowQueryHit();
  UpdateQueryHighlight();
  view_->update();
  return hit;
}

bool CDrawInteraction::TakeQueryHit(int32_t* x, int32_t* y) {
  if (!query_.has_hit()) return false;
  *x = query_.hit_x();
  *y = query_.hit_y();
  // The vertex stays described, without the help on accepting it.
  marker_query_ = false;
  if (info_->isVisible()) ShowQueryHit();
  query_.End();
  UpdateQueryHighlight();
  view_->update();
  return true;
}

void CDrawInteraction::InvalidPoint() {
  info_->ShowInvalidPoint();
  QApplication::beep();
}

void CDrawInteraction::EndQuery() {
  const bool had = query_.has_hit();
  const bool snapping = marker_query_;
  marker_query_ = false;
  query_.End();
  UpdateQueryHighlight();
  // A snap search's info window stays for its tool.
  if (!snapping) info_->hide();
  if (had) view_->update();
}

void CDrawInteraction::RunDrawHook() {
  ViewerServices& services = CurrentViewerServices();
  services.SetWaitCursor(true);
  const bool focused = view_->hasFocus();
  view_->setEnabled(false);
  AppDisplay().NoDrawHook();
  view_->setEnabled(true);
  if (focused) view_->setFocus();
  services.SetWaitCursor(false);
}

void CDrawInteraction::PlotWindow(const GdxRect& world_box) {
  CurrentViewerServices().PlotWindow(world_box);
}

void CDrawInteraction::ShowMeasure(const std::string& text) {
  info_->SetInfo("", Text(text), "");
  QString line = Text(text);
  line.replace('\n', "   ");
  emit statusText(line);
}

void CDrawInteraction::ModeChanged() {
  tear_->ShowMode(modes_.active_mode());
  view_->update();
  emit modeChanged();
}

QString CDrawInteraction::CaptureFile(int slot) const {
  return slot >= 0 && slot <= kFullViewSlot ? capture_files_[slot] : QString();
}

bool CDrawInteraction::StoreCapture(int slot) {
  if (slot < 0 || slot > kFullViewSlot) return false;
  // A picture that cannot be stored is said with the file error's code; the slot stays
  // unusable until a later capture succeeds.
  // The whole-job picture (slot 10) is stored after a drawing, not at the user's command:
  // its failure is said once, not after every drawing that tries again, until a store of it
  // succeeds.
  const auto fail = [this, slot](int code) {
    if (slot == kFullViewSlot && full_view_failure_said_) return false;
    if (slot == kFullViewSlot) full_view_failure_said_ = true;
    char text[96];
    std::snprintf(text, sizeof text, "Error Code %d: Cannot capture window %d.", code, slot);
    ShowMessage(text, "", MessageIcon::kWarning);
    return false;
  };
  if (capture_dir_ == nullptr) {
    // Pictures live in a directory of their own, made on the first capture and removed with
    // the viewer.
    const QString base = QDir::tempPath() + "/vexil-capture-XXXXXX";
    capture_dir_ = std::make_unique<QTemporaryDir>(base);
    if (!capture_dir_->isValid()) {
      capture_dir_.reset();
      return fail(QFileDevice::OpenError);
    }
  }
  if (capture_files_[slot].isEmpty()) {
    capture_files_[slot] = capture_dir_->filePath(QStringLiteral("capture%1.bmp").arg(slot));
    // The viewer's list of capture files: closing a job deletes them.
    AppState().capture_file_slots[size_t(slot)] = capture_files_[slot].toStdString();
  }
  QFile file(capture_files_[slot]);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return fail(file.error());
  QImageWriter writer(&file, "BMP");
  const bool written = writer.write(view_->picture());
  file.close();
  if (!written || file.error() != QFileDevice::NoError) {
    return fail(file.error() != QFileDevice::NoError ? file.error() : QFileDevice::WriteError);
  }
  if (slot == kFullViewSlot) full_view_failure_said_ = false;
  return true;
}

bool CDrawInteraction::LoadCapture(int slot) {
  if (slot < 0 || slot > kFullViewSlot || capture_files_[slot].isEmpty()) return false;
  // The full view serves only the view it was drawn for.
  if (slot == kFullViewSlot && (!full_view_valid_ || !(full_view_ == window_->current_view()))) {
    return false;
  }
  QImage loaded(capture_files_[slot], "BMP");
  QImage& picture = view_->MutablePicture();
  // Only a picture of the window's present size is shown; otherwise the view is drawn.
  if (loaded.isNull() || loaded.size() != picture.size()) return false;
  if (loaded.format() != QImage::Format_Indexed8) {
    loaded = loaded.convertToFormat(QImage::Format_Indexed8, picture.colorTable());
  }
  if (loaded.format() != QImage::Format_Indexed8) return false;
  // The off-screen surface takes the picture too: what is drawn over it afterwards (a pick,
  // the frame grid) goes over the recalled view.
  DisplaySurface& surface = AppDisplay().surface;
  if (surface.width() != picture.width() || surface.height() != picture.height()) return false;
  // The capture keeps the colour of each index it used; a custom slot may hold another
  // colour since (slots are given back and taken again), so each index of the capture is
  // shown through the slot that holds its colour now.
  DisplayPalette& palette = AppDisplay().palette;
  std::array<bool, kPaletteSize> used{};
  for (int y = 0; y < loaded.height(); ++y) {
    const uint8_t* row = loaded.constScanLine(y);
    for (int x = 0; x < loaded.width(); ++x) used[row[x]] = true;
  }
  std::array<uint8_t, kPaletteSize> slot_of{};
  const QList<QRgb> captured = loaded.colorTable();
  for (int i = 0; i < kPaletteSize; ++i) {
    slot_of[size_t(i)] = uint8_t(i);
    if (!used[size_t(i)] || i >= captured.size()) continue;
    const QRgb c = captured[i];
    const DisplayColor colour =
        DisplayColor(qRed(c)) | DisplayColor(qGreen(c)) << 8 | DisplayColor(qBlue(c)) << 16;
    if (palette.color(i) != colour) slot_of[size_t(i)] = uint8_t(palette.SlotForColor(colour));
  }
  for (int y = 0; y < loaded.height(); ++y) {
    uint8_t* row = loaded.scanLine(y);
    for (int x = 0; x < loaded.width(); ++x) row[x] = slot_of[row[x]];
  }
  const auto table = palette.ArgbTable();
  picture.setColorTable(QList<QRgb>(table.begin(), table.end()));
  surface.LoadPixels(loaded.constBits(), int32_t(loaded.bytesPerLine()), loaded.width(),
                     loaded.height());
  for (int y = 0; y < picture.height(); ++y) {
    std::memcpy(picture.scanLine(y), loaded.constScanLine(y), size_t(picture.width()));
  }
  AppState().picture_valid = true;
  view_->PictureRecalled();
  view_->SyncScrollBars();
  view_->update();
  return true;
}

}  // namespace kavrinth

namespace kavrinth {
namespace {

// The frame's commands that the drawing window carries out: the drawing window's command
// and, for the Vertex and Flash commands, the query kind they choose (-1: none).
struct Reissue {
  int frame_id;
  int32_t draw_id;
  int32_t query_kind;
};

constexpr Reissue kReissued[] = {
    {kCmdViewAll, kDrawAll, -1},
    {kCmdViewWindow, kDrawZoomWindow, -1},
    {kCmdViewIn, kDrawZoomIn, -1},
    {kCmdViewOut, kDrawZoomOut, -1},
    {kCmdViewLast, kDrawLast, -1},
    {kCmdViewPan, kDrawPan, -1},
    {kCmdViewRedraw, kDrawRedraw, -1},
    {kCmdTearOff, kDrawTearOff, -1},
    {kCmdCopyWindow, kDrawCopyWindow, -1},
    {kCmdCopyAll, kDrawCopyAll, -1},
    {kCmdMeasure, kDrawMeasure, -1},
    {kCmdVertexPoint, kDrawPointQuery, kQueryVertex},
    {kCmdVertexWindow, kDrawWindowQuery, kQueryVertex},
    {kCmdFlashPoint, kDrawPointQuery, kQueryFlash},
    {kCmdFlashWindow, kDrawWindowQuery, kQueryFlash},
};

const Reissue* FindReissued(int id) {
  for (const Reissue& row : kReissued) {
    if (row.frame_id == id) return &row;
  }
  return nullptr;
}

constexpr int kSlots = kCaptureSlots;

}  // namespace

DrawWindowHook DrawWindowCommands(CDrawInteraction* interaction) {
  auto enabled = [interaction](int id) {
    if (id >= kCmdRecallFirst && id < kCmdRecallFirst + kSlots) {
      return interaction->modes().capture_valid(id - kCmdRecallFirst);
    }
    if (id >= kCmdCaptureFirst && id < kCmdCaptureFirst + kSlots) return AppState().job_loaded;
    if (id == kDrawRecallView || id == kDrawCaptureView) return AppState().job_loaded;
    if (FindReissued(id) != nullptr || DrawModes::Handles(id) || id == kDrawTearOff) {
      return AppState().job_loaded;
    }
    return false;
  };
  DrawWindowHook hook;
  hook.handles = enabled;
  hook.takes_while_drawing = [](int id) {
    const Reissue* row = FindReissued(id);
    if (row == nullptr) return false;
    switch (row->draw_id) {
      case kDrawZoomWindow:
      case kDrawZoomIn:
      case kDrawZoomOut:
      case kDrawPan:
      case kDrawMeasure:
      case kDrawPointQuery:
      case kDrawWindowQuery:
        return true;
      default:
        return false;
    }
  };
  hook.take_command = [interaction, enabled](int id, int param) {
    if (const Reissue* row = FindReissued(id)) {
      if (!enabled(id)) return false;
      if (row->query_kind >= 0) interaction->modes().set_query_kind(row->query_kind);
      return interaction->Command(row->draw_id, 0);
    }
    if (!enabled(id)) return false;
    return interaction->Command(id, param);
  };
  return hook;
}

}  // namespace kavrinth
