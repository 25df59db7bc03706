// The edit tools, their dialogs and the rubber band.
#include "viewer/app/edit_tools.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <map>

#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/qt/text_edit.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/draw_interaction.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/merge_layers_dlg.h"
#include "viewer/app/small_dialogs.h"
#include "viewer/app/viewer_settings.h"
#include "viewer/app/viewer_state.h"
#include "viewer/edit/edit_text.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

// The rows of the Tools menu (0 a separator).
struct ToolRow {
  const char* name;
  int id;
};
constexpr ToolRow kToolRows[] = {{"Rectangle 2 Pt.", kToolRectangle2},
                                 {"Rectangle 3 Pt.", kToolRectangle3},
                                 {"Text", kToolText},
                                 {nullptr, 0},
                                 {"Save", kToolSave},
                                 {"Undo", kToolUndo},
                                 {"Delete", kToolDeleteElements},
                                 {nullptr, 0},
                                 {"Merge Layers...", kCmdMergeLayers}};

// The object pick's half size in device pixels.
constexpr int kObjectPickHalf = 8;

QRadioButton* Radio(const QString& text, QWidget* parent) {
  auto* button = new QRadioButton(text, parent);
  button->setAccessibleName(text);
  return button;
}

}  // namespace

// ---- Add Text ----

CAddTextDlg::CAddTextDlg(CEditTools* tools, QWidget* parent) : QDialog(parent), tools_(tools) {
  setObjectName("add_text_dialog");
  setWindowTitle("Add Text");
  setAccessibleName("Add Text");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  text_ = new PasteGuardedTextEdit(this);
  text_->setObjectName("text");
  text_->setAccessibleName("Text");
  layout->addWidget(text_);
  auto* row = new QHBoxLayout;
  auto* rotation = new QGroupBox("Rotation", this);
  rotation->setAccessibleName("Rotation");
  auto* rotation_layout = new QVBoxLayout(rotation);
  const char* names[] = {"+90", "0", "-90"};
  for (int i = 0; i < 3; ++i) {
    rotation_[i] = Radio(names[i], rotation);
    rotation_layout->addWidget(rotation_[i]);
  }
  auto* mirroring = new QGroupBox("Mirroring", this);
  mirroring->setAccessibleName("Mirroring");
  auto* mirror_layout = new QVBoxLayout(mirroring);
  mirror_x_ = new QCheckBox("X", mirroring);
  mirror_x_->setAccessibleName("Mirror X");
  mirror_y_ = new QCheckBox("Y", mirroring);
  mirror_y_->setAccessibleName("Mirror Y");
  mirror_layout->addWidget(mirror_x_);
  mirror_layout->addWidget(mirror_y_);
  auto* height_box = new QGroupBox("Text Height", this);
  height_box->setAccessibleName("Text Height");
  auto* height_layout = new QVBoxLayout(height_box);
  height_ = new QLineEdit(height_box);
  height_->setObjectName("text_height");
  height_->setAccessibleName("Text Height");
  height_->setMaxLength(kMaxHeightLength);
  height_layout->addWidget(height_);
  row->addWidget(rotation);
  row->addWidget(mirroring);
  row->addWidget(height_box);
  layout->addLayout(row);
  layout->addWidget(OkCancelButtons(this));
  // The text is bounded: what goes past the limit is cut off as it is typed.
  connect(text_, &QPlainTextEdit::textChanged, this, [this] {
    QString text = text_->toPlainText();
    if (text.size() > kMaxTextLength) {
      text.truncate(kMaxTextLength);
      QSignalBlocker block(text_);
      text_->setPlainText(text);
      text_->moveCursor(QTextCursor::End);
    }
    state_.text = text.toStdString();
  });
  connect(height_, &QLineEdit::textEdited, this, &CAddTextDlg::ParseTextHeight);
  ResetTextState();
  rotation_[state_.rotation]->setChecked(true);
}

void CAddTextDlg::ResetTextState() {
  state_.height = -1.0;
  state_.height_switched = false;
}

void CAddTextDlg::ParseTextHeight(const QString& text) {
  // The leading number of the field, 0 when there is none.
  const std::string s = text.left(kMaxHeightLength).toStdString();
  const double value = std::strtod(s.c_str(), nullptr);
  const double height = std::isfinite(value) && value > 0 ? value : -1.0;
  const bool was_given = state_.height > 0;
  state_.height = height;
  if (was_given != (height > 0)) {
    state_.height_switched = height > 0;
    tools_->Rearm();
  }
}

void CAddTextDlg::ReadTextDialogFields() {
  for (int i = 0; i < 3; ++i) {
    if (rotation_[i]->isChecked()) state_.rotation = i;
  }
  state_.mirror = (mirror_x_->isChecked() ? 1 : 0) | (mirror_y_->isChecked() ? 2 : 0);
  state_.text = text_->toPlainText().left(kMaxTextLength).toStdString();
}

void CAddTextDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  text_->setFocus();
  text_->selectAll();
  state_.height = -1.0;
  ParseTextHeight(height_->text());
  ReadTextDialogFields();
}

void CAddTextDlg::done(int result) {
  hide();
  tools_->store().EndTextEdits(result == QDialog::Accepted);
  ResetTextState();
  QDialog::done(result);
  tools_->EndTool();
}

// ---- Selection ----

CSelectionDlg::CSelectionDlg(CEditTools* tools, QWidget* parent) : QDialog(parent), tools_(tools) {
  setObjectName("selection_dialog");
  setWindowTitle("Selection");
  setAccessibleName("Selection");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  auto* type_box = new QGroupBox("Selection Type", this);
  type_box->setAccessibleName("Selection Type");
  auto* type_layout = new QVBoxLayout(type_box);
  const char* names[] = {"Crossing", "Window", "Object"};
  for (int i = 0; i < 3; ++i) {
    types_[i] = Radio(names[i], type_box);
    type_layout->addWidget(types_[i]);
    connect(types_[i], &QRadioButton::clicked, this, [this, i] {
      type_ = i;
      tools_->Rearm();
    });
  }
  types_[0]->setChecked(true);
  auto* mode_box = new QGroupBox("In/Exclude", this);
  mode_box->setAccessibleName("In/Exclude");
  auto* mode_layout = new QVBoxLayout(mode_box);
  include_ = Radio("Include", mode_box);
  exclude_button_ = Radio("Exclude", mode_box);
  mode_layout->addWidget(include_);
  mode_layout->addWidget(exclude_button_);
  connect(include_, &QRadioButton::clicked, this, [this] { exclude_ = false; });
  connect(exclude_button_, &QRadioButton::clicked, this, [this] { exclude_ = true; });
  auto* label = new QLabel("Current Operation", this);
  label->setAccessibleName("Current Operation");
  auto* operation = new QLineEdit("DELETE", this);
  operation->setReadOnly(true);
  operation->setAccessibleName("Current Operation");
  label->setBuddy(operation);
  layout->addWidget(type_box);
  layout->addWidget(mode_box);
  layout->addWidget(label);
  layout->addWidget(operation);
  layout->addWidget(OkCancelButtons(this));
}

void CSelectionDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  exclude_ = false;
  include_->setChecked(true);
  tools_->Rearm();
}

void CSelectionDlg::done(int result) {
  hide();
  tools_->store().ApplySelection(result == QDialog::Accepted);
  QDialog::done(result);
  // A deletion draws the whole picture again: what lay under the deleted elements shows
  // again. A selection dropped only loses its highlight.
  tools_->EndTool(result != QDialog::Accepted);
}

// ---- Rubber band ----

CRubberBand::CRubberBand(CEditTools* tools, QWidget* view) : QWidget(view), tools_(tools) {
  setObjectName("rubber_band");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setAccessibleName("Rubber band");
}

void CRubberBand::paintEvent(QPaintEvent*) {
  const int mode = tools_->band_mode();
  if (mode == 0 || tools_->click_count() == 0) return;
  QPainter painter(this);
  // Drawn in the colour that stands out against the picture under it.
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(QPen(Qt::white, 0));
  const auto& p = tools_->band_points();
  const QPoint e = tools_->band_end();
  if (mode & 2) painter.drawLine(p[0], e);
  if (mode & 1)
    painter.drawPolyline(QPolygon({p[0], {e.x(), p[0].y()}, e, {p[0].x(), e.y()}, p[0]}));
  if (mode & 4) {
    painter.drawLine(e, p[0]);
    painter.drawLine(e, p[1]);
  }
  if (mode & 8) {
    FlashCorners c;
    if (RectangleFrom3Points({p[0].x(), p[0].y()}, {p[1].x(), p[1].y()}, {e.x(), e.y()}, &c)) {
      painter.drawPolyline(QPolygon({p[0], p[1], {c[2].x, c[2].y}, {c[3].x, c[3].y}, p[0]}));
    }
  }
}

// ---- The tool manager ----

CEditTools::CEditTools(CLumraApp* app) : app_(app) {
  CMainFrame* frame = app->frame();
  CLumraView* view = app->view();
  frame->SetEditTools({[this](int id) { return OnCommand(id); }, [this] { return tool_ != 0; },
                       [this] { return tool_; }});
  app->SetSaveEditsHandler(
      // Mode 1 is the question of a command that goes on with the saved files (Plot
      // Screen): they are read again first.
      [this](int mode) {
        const int answer = SaveEditedLayers(mode == 1);
        return answer == 2 ? kEditsCancelled : answer == 6 ? kEditsSaved : kEditsDiscarded;
      },
      [this] { store_.ClearEditStorage(); });
  menu_ = new QMenu("&Tools", frame);
  menu_->setObjectName("tools_menu");
  menu_->setAccessibleName("Tools");
  for (const ToolRow& row : kToolRows) {
    if (row.id == 0) {
      menu_->addSeparator();
      continue;
    }
    QAction* action = menu_->addAction(row.name);
    action->setObjectName(QStringLiteral("tool_%1").arg(row.id));
    const int id = row.id;
    connect(action, &QAction::triggered, frame, [frame, id] { frame->OnCommand(id); });
  }
  // The sixth menu: after File, Edit, Settings, View and Info.
  constexpr int kToolsMenuPosition = 5;
  const QList<QAction*> menus = frame->menuBar()->actions();
  frame->menuBar()->insertMenu(
      menus.size() > kToolsMenuPosition ? menus[kToolsMenuPosition] : nullptr, menu_);
  text_dialog_ = new CAddTextDlg(this, frame);
  selection_dialog_ = new CSelectionDlg(this, frame);
  band_ = new CRubberBand(this, view);
  band_->setGeometry(view->rect());
  band_->show();
  view->installEventFilter(this);
  // End-point snap finds the vertices of the added shapes too, and follows TAB and SPACE.
  view->interaction().query().SetAddedLibraries(
      [this](int32_t layer) { return store_.EditLibraries(layer); });
  view->interaction().SetCandidateHandler([this](int32_t x, int32_t y) { OnCandidate(x, y); });
  app->services().SetHitFlagsHandler([this](GdxHandle library, int32_t layer, int32_t first) {
    store_.ApplyFrameFlags(library, layer, first);
  });
  // Added flashes are drawn over their layers.
  SetEditLayersPainter([this](ViewerDisplay& display, DrawHost* host) {
    for (int layer = 0; layer < kViewLayerCount; ++layer) {
      const ViewLayerEntry& entry = LayerTable()[layer];
      if (entry.path.empty() || entry.shown == 0) continue;
      for (GdxHandle library : store_.EditLibraries(layer))
        display.DrawElementBlock(host, library, layer);
    }
  });
}

CEditTools::~CEditTools() {
  SetEditLayersPainter(nullptr);
  if (app_->view() != nullptr) {
    app_->view()->removeEventFilter(this);
    app_->view()->interaction().query().SetAddedLibraries(nullptr);
    app_->view()->interaction().SetCandidateHandler(nullptr);
  }
  app_->SetSaveEditsHandler(nullptr, nullptr);
  app_->services().SetHitFlagsHandler(nullptr);
}

void CEditTools::Report(const std::string& text) {
  ShowMessage(text, kVexilAppName, MessageIcon::kWarning);
}

bool CEditTools::OnCommand(int id) {
  switch (id) {
    case kToolRectangle2:
    case kToolText:
    case 32900:
    case kToolThreePoint:
    case kToolRectangle3:
    case kToolDeleteElements:
      if (!AppState().job_loaded) return true;
      // Only the tool changes: the dialog of the tool before stays open with its texts or
      // its pick until its own OK or Cancel.
      SetCurrentTool(id);
      if (id == kToolText) text_dialog_->show();
      if (id == kToolDeleteElements) selection_dialog_->show();
      return true;
    case kToolSave:
      SaveEditedLayers(true);
      return true;
    case kToolUndo:
      // A query must not hold an element of the edit about to go.
      DropProposal();
      if (app_->view()->interaction().query().has_hit()) app_->view()->interaction().EndQuery();
      if (!store_.UndoLastEdit()) {
        // Nothing changed: nothing is drawn.
        ShowMessage(store_.message(), kVexilAppName, MessageIcon::kInformation);
        return true;
      }
      if (!store_.changed().empty()) {
        // The elements a deletion took away come back: only they are drawn again.
        MarkFullViewStale(kFullViewEdits);
        RedrawChanged();
        app_->document().SetModifiedFlag(store_.HasEdits());
        return true;
      }
      AfterEdit();
      return true;
    case kToolRearm:
      Rearm();
      return true;
    case kToolEnd:
      EndTool();
      return true;
    case kCmdMergeLayers:
      RunMergeLayers();
      return true;
    default:
      return false;
  }
}

void CEditTools::SetCurrentTool(int id) {
  // The band follows the mouse between clicks.
  if (tool_ == 0) {
    tracking_saved_ = app_->view()->hasMouseTracking();
    app_->view()->setMouseTracking(true);
  }
  tool_ = id;
  BeginTrack();
}

void CEditTools::BeginTrack() {
  DropProposal();
  counter_ = 0;
  band_mode_ = 0;
  band_->update();
  switch (tool_) {
    case kToolRectangle2:
    case kToolText:
    case kToolDeleteElements:
      last_index_ = 1, first_mode_ = 1, later_mode_ = 1;
      break;
    case kToolThreePoint:
      last_index_ = 2, first_mode_ = 2, later_mode_ = 4;
      break;
    case kToolRectangle3:
      last_index_ = 2, first_mode_ = 2, later_mode_ = 8;
      break;
    default:
      last_index_ = 0, first_mode_ = 0, later_mode_ = 0;
      break;
  }
}

void CEditTools::Rearm() {
  if (tool_ == kToolText && text_dialog_->state().height_switched) {
    // A height was given: one click places the text.
    DropProposal();
    counter_ = 0;
    band_mode_ = 0;
    last_index_ = 0;
    band_->update();
  } else {
    BeginTrack();
  }
}

void CEditTools::EndTool(bool selection_applied) {
  // The frame's reset below comes back here as the tools' end: this call draws.
  if (ending_) return;
  const int tool = tool_;
  if (tool != 0) app_->view()->setMouseTracking(tracking_saved_);
  DropProposal();
  tool_ = 0;
  counter_ = 0;
  band_mode_ = 0;
  band_->update();
  if (tool == kToolText && text_dialog_->isVisible()) {
    text_dialog_->hide();
    store_.EndTextEdits(false);
    text_dialog_->ResetTextState();
  }
  bool selection_applied_now = selection_applied;
  if (tool == kToolDeleteElements && selection_dialog_->isVisible()) {
    selection_dialog_->hide();
    store_.ApplySelection(false);
    selection_applied_now = true;
  }
  // The vertex the last snapped point met is no longer of interest.
  if (tool != 0 && AppState().settings.snap_end_point != 0)
    app_->view()->interaction().info_window()->hide();
  // The frame restores the settings the tools put aside.
  if (tool != 0) {
    ending_ = true;
    app_->frame()->OnCommand(kToolReset);
    ending_ = false;
  }
  if (selection_applied_now && !store_.changed().empty()) {
    // The elements dropped from the selection are all that changed.
    MarkFullViewStale(kFullViewEdits);
    RedrawChanged();
    app_->document().SetModifiedFlag(store_.HasEdits());
    return;
  }
  AfterEdit();
}

EditPoint CEditTools::ToDatabase(QPoint device) const {
  DrawWndState& window = AppDisplay().window;
  LogicalPoint p = window.SnapPoint(LogicalPoint{device.x(), device.y()});
  int32_t x = 0;
  int32_t y = 0;
  if (window.grid_snap()) {
    x = window.snapped_world_x();
    y = window.snapped_world_y();
  } else {
    window.LogicalToWorld(p, &x, &y);
  }
  return WorldToDatabase(x, y);
}

EditPoint CEditTools::WorldToDatabase(int32_t x, int32_t y) const {
  // Points of the edit layer are its own database units: less the layer's offset.
  const int layer = AppState().current_layer;
  if (layer >= 0 && layer < kViewLayerCount) {
    const LayerOffset offset = LayerDisplayOffset(LayerTable()[layer]);
    x = static_cast<int32_t>(std::clamp<int64_t>(int64_t{x} - offset.x, INT32_MIN, INT32_MAX));
    y = static_cast<int32_t>(std::clamp<int64_t>(int64_t{y} + offset.y, INT32_MIN, INT32_MAX));
  }
  return {x, y};
}

bool CEditTools::eventFilter(QObject* watched, QEvent* event) {
  if (watched == app_->view() && event->type() == QEvent::Resize) {
    band_->setGeometry(app_->view()->rect());
    band_->raise();
  }
  if (watched != app_->view() || tool_ == 0) return QObject::eventFilter(watched, event);
  // A click during a full drawing is no point of a tool (the view drops it too).
  const QEvent::Type type = event->type();
  if (AppState().drawing_active &&
      (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
       type == QEvent::MouseButtonDblClick)) {
    return true;
  }
  // The coordinate panes follow every point of the mouse, taken or not.
  if (type == QEvent::MouseMove || type == QEvent::MouseButtonPress ||
      type == QEvent::MouseButtonRelease) {
    app_->view()->interaction().PostCursorPoint(
        static_cast<QMouseEvent*>(event)->position().toPoint());
  }
  switch (type) {
    case QEvent::MouseMove: {
      if (band_mode_ == 0 || counter_ == 0) return false;
      band_end_ = GridPoint(static_cast<QMouseEvent*>(event)->position().toPoint());
      band_->update();
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = mouse->position().toPoint();
      if (SnapsToVertices()) {
        // A left click takes the point proposed before it, then proposes its own.
        if (mouse->button() == Qt::LeftButton) {
          AcceptProposal(at, false);
          ProposeAt(at);
        }
        if (mouse->button() == Qt::RightButton) AcceptProposal(at, true);
      } else if (mouse->button() == Qt::LeftButton) {
        OnPoint(at);
      }
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

bool CEditTools::SnapsToVertices() const {
  return tool_ != kToolDeleteElements && AppState().settings.snap_end_point != 0;
}

QPoint CEditTools::GridPoint(QPoint device) const {
  const LogicalPoint p = AppDisplay().window.SnapPoint(LogicalPoint{device.x(), device.y()});
  return {p.x, p.y};
}

void CEditTools::ProposeAt(QPoint device) {
  // A point off every vertex is refused ("Invalid point"); with grid snap on, its grid
  // point is proposed instead, else the points stay as they were.
  CDrawInteraction& work = app_->view()->interaction();
  if (work.modes().InsertPointCheck(device.x(), device.y())) {
    PlaceVertex(work.query().hit_x(), work.query().hit_y());
    proposed_ = true;
    grid_proposed_ = false;
  } else if (PlaceGridPoint(device)) {
    proposed_ = true;
    grid_proposed_ = true;
  }
}

bool CEditTools::PlaceGridPoint(QPoint device) {
  DrawWndState& window = AppDisplay().window;
  window.SnapPoint(LogicalPoint{device.x(), device.y()});
  if (!window.grid_snap()) return false;
  PlaceVertex(window.snapped_world_x(), window.snapped_world_y());
  return true;
}

void CEditTools::PlaceVertex(int32_t x, int32_t y) {
  // A new proposal replaces the one not yet accepted.
  const int index = proposed_ && counter_ > 0 ? counter_ - 1 : std::min(counter_, last_index_);
  const LogicalPoint p = AppDisplay().window.WorldToLogical(x, y);
  device_[index] = {p.x, p.y};
  points_[index] = WorldToDatabase(x, y);
  band_end_ = device_[index];
  band_mode_ = index == 0 ? first_mode_ : later_mode_;
  counter_ = index + 1;
  band_->update();
}

void CEditTools::OnCandidate(int32_t x, int32_t y) {
  if (tool_ != 0 && proposed_) PlaceVertex(x, y);
}

void CEditTools::AcceptProposal(QPoint device, bool right_button) {
  if (!proposed_) return;
  if (grid_proposed_) {
    // The right button takes the grid point under it in place of the one proposed.
    if (right_button && !PlaceGridPoint(device)) return;
  } else {
    int32_t x = 0, y = 0;
    if (!app_->view()->interaction().modes().QueryMarkerAt(&x, &y)) return;
    PlaceVertex(x, y);
    // The vertex taken carries the cross-hair over the picture.
    app_->view()->update();
  }
  proposed_ = false;
  grid_proposed_ = false;
  TakePoint(counter_ - 1);
}

void CEditTools::DropProposal() {
  if (!proposed_) return;
  // The point proposed is not one of the tool's points.
  proposed_ = false;
  grid_proposed_ = false;
  counter_ = std::max(counter_ - 1, 0);
  if (counter_ == 0) band_mode_ = 0;
  band_->update();
  CDrawInteraction& work = app_->view()->interaction();
  if (work.query().has_hit()) work.EndQuery();
}

void CEditTools::OnPoint(QPoint device) {
  const int index = std::min(counter_, 2);
  // The band's corner stands on the grid point the edit takes.
  device_[index] = GridPoint(device);
  points_[index] = ToDatabase(device);
  band_end_ = device_[index];
  band_mode_ = index == 0 ? first_mode_ : later_mode_;
  TakePoint(index);
}

void CEditTools::TakePoint(int index) {
  if (index >= last_index_) {
    // A one-point tool uses its point as both corners.
    if (last_index_ == 0) points_[1] = points_[0];
    counter_ = 0;
    band_mode_ = 0;
    band_->update();
    Complete();
    return;
  }
  counter_ = index + 1;
  band_->update();
}

void CEditTools::Complete() {
  store_.set_current_layer(AppState().current_layer);
  const int tool = tool_;
  switch (tool) {
    case kToolRectangle2:
      if (store_.AddRectangle2(points_[0], points_[1]) == 0) Report(store_.message());
      break;
    case kToolRectangle3:
      if (store_.AddRectangle3(points_[0], points_[1], points_[2]) == 0) Report(store_.message());
      break;
    case kToolThreePoint:
      if (store_.AddRectangles({{points_[0], points_[1], points_[2]}}) == 0)
        Report(store_.message());
      break;
    case kToolText:
      AddText(points_[0], points_[1]);
      break;
    case kToolDeleteElements: {
      GdxRect window;
      const bool object = selection_dialog_->selection_type() == 2;
      // The pick is in world units (the layer offsets are applied per layer).
      DrawWndState& w = AppDisplay().window;
      int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
      w.LogicalToWorld({device_[0].x(), device_[0].y()}, &x0, &y0);
      w.LogicalToWorld({device_[1].x(), device_[1].y()}, &x1, &y1);
      if (object) {
        const int32_t half = std::max(w.LogicalLengthToWorld(kObjectPickHalf), 1);
        window = {x1 - half, y1 - half, x1 + half, y1 + half};
      } else {
        window = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
      }
      const bool inside = selection_dialog_->selection_type() == 1;
      // WF2 frames off the view are not searched.
      if (store_.SelectByWindow(window, inside, selection_dialog_->exclude(), w.world_window()) < 0)
        Report(store_.message());
      RedrawChanged();
      return;
    }
    default:
      break;
  }
  AfterEdit();
}

void CEditTools::AddText(const EditPoint& a, const EditPoint& b) {
  // The rotation and mirroring may have changed since the dialog was shown.
  text_dialog_->ReadTextDialogFields();
  const TextEditState& state = text_dialog_->state();
  // Without characters to stroke there is nothing to add.
  if (state.text.find_first_not_of(" \t\r\n") == std::string::npos) return;
  TextPlacement placement;
  placement.rotation = state.rotation;
  placement.mirror = state.mirror;
  placement.height = state.height > 0 ? state.height * CurrentUnitDigits().units_per_user_unit : -1;
  placement.box = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  std::vector<std::array<EditPoint, 3>> rectangles;
  int skipped = 0;
  std::string message;
  if (!TextRectangles(ViewerTextFont(), state.text, placement, &rectangles, &skipped, &message)) {
    Report(message);
    return;
  }
  const int id = store_.AddRectangles(rectangles);
  if (id == 0) {
    Report(store_.message());
    return;
  }
  if (text_dialog_->isVisible()) store_.AddPendingText(id);
  if (skipped > 0) {
    Report(std::to_string(skipped) + " strokes of the text are not rectangles and were left out.");
  }
}

void CEditTools::SyncFrameMarks() {
  if (store_.frame_flags_version() == frame_marks_seen_) return;
  frame_marks_seen_ = store_.frame_flags_version();
  // The marks are written into the section in place: it may be in the middle of a drawing.
  int layer = -1;
  int32_t k = -1;
  const GdxHandle library = AppDisplay().loaded_frame(&layer, &k);
  if (library == kGdxNoHandle || layer < 0 || layer >= kViewLayerCount) return;
  const GdxHandle index = LayerTable()[layer].frame_block;
  const std::optional<Wf2FrameIndexEntry> before =
      k > 0 ? ReadWf2FrameIndexEntry(index, k - 1) : std::nullopt;
  store_.ApplyFrameFlags(library, layer, before ? static_cast<int32_t>(before->polygons) : 0);
}

void CEditTools::RedrawChanged() {
  MarkFullViewStale(kFullViewResized);
  SyncFrameMarks();
  std::map<int, ViewerDisplay::HitEntryList> by_layer;
  // The elements of a WF2 layer held as a frame index are found by number in the frames
  // loaded now.
  std::map<int, ViewerDisplay::HitNumberList> numbers_by_layer;
  for (const EditHit& hit : store_.changed()) {
    if (hit.frame >= 0) {
      numbers_by_layer[hit.layer].push_back(hit.number);
    } else {
      by_layer[hit.layer].push_back({hit.page, hit.position});
    }
  }
  CLumraView* view = app_->view();
  if ((!by_layer.empty() || !numbers_by_layer.empty()) &&
      !PaintHitEntries(&view->MutablePicture(), by_layer, numbers_by_layer)) {
    AfterEdit();
    return;
  }
  view->update();
}

void CEditTools::AfterEdit() {
  MarkFullViewStale(kFullViewEdits);
  SyncFrameMarks();
  AppState().picture_valid = false;
  app_->view()->RequestRedraw();
  app_->document().SetModifiedFlag(store_.HasEdits());
}

int CEditTools::SaveEditedLayers(bool reload) {
  // A selection being picked is no edit: it stays open for the Selection dialog unless the
  // save goes ahead, which discards it with the edits.
  const std::vector<int> layers = store_.EditedLayers();
  if (layers.empty()) return 0;
  std::vector<SaveTarget> targets;
  for (int layer : layers) targets.push_back({layer, LayerTable()[layer].path});
  int answer = 0;
  if (save_dialog_) {
    answer = save_dialog_(&targets);
  } else {
    // The Save Changes dialog: per layer whether to save it and the file to save it to.
    SaveRequests requests;
    answer = RunSaveChanges(layers, app_->frame(), &requests);
    targets.clear();
    for (int layer : layers) {
      if (requests.save[layer]) targets.push_back({layer, requests.output[layer]});
    }
  }
  if (answer == kAnswerCancel) return 2;
  if (answer != kAnswerYes) {
    store_.ClearEditStorage();
    AfterEdit();
    return 7;
  }
  if (!store_.SaveEditedLayers(targets)) {
    ShowMessage(store_.message(), kVexilAppName, MessageIcon::kStop);
    return 2;
  }
  AfterEdit();
  // The saved files are read again, so that the view (kept as it is) and what the command
  // goes on to do show the flashes as saved.
  if (reload && app_->LoadLayers() != 0) {
    ShowMessage("Could not load layer information", kVexilAppName, MessageIcon::kStop);
  }
  return 6;
}

void CEditTools::RunMergeLayers() {
  if (!AppState().job_loaded) return;
  if (SaveEditedLayers(true) == 2) return;
  CMergeLayersDlg dialog(app_->frame(), [this] { app_->OnHelp(); });
  if (dialog.exec() != QDialog::Accepted || !dialog.merged()) return;
  // The job's files, the merged ones among them, are read again; the view stays where the
  // user put it and is drawn again.
  store_.ClearEditStorage();
  AppDisplay().ResetFrameCache();
  if (app_->LoadLayers() != 0) {
    ShowMessage("Could not load layer information", kVexilAppName, MessageIcon::kStop);
    app_->frame()->ShowIdleMessage();
  }
  MarkFullViewStale(kFullViewLayers);
  app_->frame()->UpdateLayerCombo();
  app_->frame()->OnCommand(kCmdViewRedraw);
}

}  // namespace kavrinth
