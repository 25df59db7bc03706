// The Layer Table dialog.
#include "viewer/app/layer_table_dlg.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

#include "support/colors.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/color_picker.h"
#include "support/qt/dialogs.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/file_filters.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {
namespace {

constexpr int kJobFilterRow = 12;  // "JOB Files" of the viewer's filter table

// The Color column's button: a swatch of the entry's colour, painted as the frame paints
// every swatch.
class ColourSwatchButton : public QPushButton {
 public:
  explicit ColourSwatchButton(QWidget* parent) : QPushButton(parent) {}
  void SetColour(uint32_t colour) {
    colour_ = colour;
    setAccessibleDescription(
        QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF).name());
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    PaintColourSwatch(painter, rect().adjusted(4, 4, -4, -4), colour_);
  }

 private:
  uint32_t colour_ = kColorWhite;
};

}  // namespace

LayerTableRowIds LayerTableRowIdsOf(int row) {
  // Rows 8-16 of the template were added after the first seven, so their ids run on from
  // other series.
  const int name = row < 7 ? 1000 + row : 1021 + 3 * (row - 7);
  const int colour = row < 7 ? 1007 + row : 1022 + 3 * (row - 7);
  const int mode = row < 6 ? 1606 + row : row < 12 ? 1614 + (row - 6) : 1622 + (row - 12);
  return {1478 + 3 * row, name, 1479 + 3 * row, colour, mode};
}

const char* FillModeText(int32_t mode) {
  return mode < 0 ? "Negative" : mode == 0 ? "Scratch" : "Paint";
}

int32_t FillModeOfText(const QString& text) {
  if (text.startsWith('N')) return kFillNegative;
  if (text.startsWith('P')) return kFillPaint;
  return kFillScratch;
}

CLayerTableDlg::CLayerTableDlg(CLumraApp* app, QWidget* owner, bool load_on_ok)
    : QDialog(owner), app_(app), load_on_ok_(load_on_ok) {
  setWindowTitle("Layer Table");
  setObjectName("layer_table_dialog");
  original_ = TableEntries();
  working_ = original_;
  BuildControls();
  FillRows();
  // The dialog opens on its first control, row 1's Layer button (not on OK, which a key
  // pressed at once would take as the whole table).
  rows_[0].layer->setFocus();
}

std::vector<CLayerTableDlg::Entry> CLayerTableDlg::TableEntries() {
  std::vector<Entry> entries(kViewLayerCount);
  const ViewLayerTable& table = LayerTable();
  for (int n = 0; n < kViewLayerCount; ++n) {
    entries[n] = {table[n].path, table[n].shown, table[n].colour, table[n].fill_mode};
  }
  return entries;
}

void CLayerTableDlg::ApplyEntries(const std::vector<Entry>& entries) {
  ViewLayerTable& table = LayerTable();
  for (int n = 0; n < kViewLayerCount; ++n) {
    table[n].path = entries[n].path;
    table[n].shown = entries[n].shown;
    table[n].colour = entries[n].colour;
    table[n].fill_mode = entries[n].fill_mode;
  }
}

void CLayerTableDlg::BuildControls() {
  auto* outer = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  auto* grid = new QGridLayout;
  int column = 0;
  for (const char* title : {"Layer", "Name", "Show", "Color", "Mode"}) {
    auto* label = new QLabel(title, this);
    label->setAccessibleName(title);
    grid->addWidget(label, 0, column++);
  }
  for (int r = 0; r < kLayerTableRows; ++r) {
    const LayerTableRowIds ids = LayerTableRowIdsOf(r);
    const QString suffix = QStringLiteral(" row %1").arg(r + 1);
    Row& row = rows_[r];
    row.layer = new QPushButton(this);
    row.name = new QLineEdit(this);
    row.name->setMinimumWidth(320);
    row.show = new QCheckBox(this);
    row.colour = new ColourSwatchButton(this);
    row.colour->setFixedWidth(40);
    row.mode = new QPushButton(this);
    const std::pair<QWidget*, std::pair<int, const char*>> controls[] = {
        {row.layer, {ids.layer, "Layer"}},
        {row.name, {ids.name, "Name"}},
        {row.show, {ids.show, "Show"}},
        {row.colour, {ids.colour, "Color"}},
        {row.mode, {ids.mode, "Mode"}}};
    column = 0;
    for (const auto& [widget, id_name] : controls) {
      widget->setObjectName(ControlObjectName(id_name.first));
      widget->setAccessibleName(id_name.second + suffix);
      grid->addWidget(widget, r + 1, column++);
    }
    for (QPushButton* button : {row.layer, row.colour, row.mode}) button->setAutoDefault(false);
    connect(row.layer, &QPushButton::clicked, this, [this, r] { BrowseFiles(r); });
    connect(row.colour, &QPushButton::clicked, this, [this, r] { ChooseColour(r); });
    connect(row.mode, &QPushButton::clicked, this, [this, r] { CycleMode(r); });
  }
  left->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  auto button = [this, buttons](int id, const char* text, auto slot) {
    auto* push = new QPushButton(text, this);
    push->setObjectName(ControlObjectName(id));
    push->setAccessibleName(QString(text).remove('&'));
    push->setAutoDefault(id == kAnswerOk);
    push->setDefault(id == kAnswerOk);
    buttons->addWidget(push);
    connect(push, &QPushButton::clicked, this, slot);
    return push;
  };
  button(kLayerTablePgUp, "PgUp", [this] { ScrollTo(std::max(top_ - kLayerTableRows, 0)); });
  button(kLayerTablePgDn, "PgDn",
         [this] { ScrollTo(std::min(top_ + kLayerTableRows, kLayerTableLastTop)); });
  button(kLayerTableHome, "Home", [this] { ScrollTo(0); });
  button(kLayerTableEnd, "End", [this] { ScrollTo(kLayerTableLastTop); });
  button(kLayerTableAllOn, "All On", [this] { SetAllShown(1); });
  button(kLayerTableAllOff, "All Off", [this] { SetAllShown(0); });
  buttons->addStretch();
  button(kAnswerOk, "OK", [this] { accept(); });
  button(kAnswerCancel, "Cancel", [this] { reject(); });
  button(kLayerTableHelp, "Help", [this] { app_->OnHelp(this); });
  left->addLayout(buttons);
  outer->addLayout(left);
  scroll_ = new QScrollBar(Qt::Vertical, this);
  scroll_->setObjectName(ControlObjectName(kLayerTableScroll));
  scroll_->setAccessibleName("Layer rows");
  scroll_->setRange(0, kLayerTableLastTop);
  scroll_->setPageStep(kLayerTableRows);
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) { ScrollTo(value); });
  outer->addWidget(scroll_);
}

void CLayerTableDlg::FillRows() {
  for (int r = 0; r < kLayerTableRows; ++r) {
    Entry& entry = working_[top_ + r];
    Row& row = rows_[r];
    row.layer->setText(QString::number(top_ + r));
    row.name->setText(QString::fromStdString(entry.path));
    row.show->setChecked(entry.shown != 0);
    // A free entry starts white, the first pick colour.
    if (entry.path.empty()) entry.colour = PickColors()[0] & 0xFFFFFF;
    PaintSwatch(r);
    row.mode->setText(FillModeText(entry.fill_mode));
  }
  const QSignalBlocker block(scroll_);
  scroll_->setValue(top_);
}

void CLayerTableDlg::CollectRows() {
  for (int r = 0; r < kLayerTableRows; ++r) {
    Entry& entry = working_[top_ + r];
    const Row& row = rows_[r];
    entry.shown = row.show->isChecked() ? 1 : 0;
    // A path is taken whole, however long.
    entry.path = row.name->text().trimmed().toStdString();
    entry.fill_mode = FillModeOfText(row.mode->text());
  }
}

void CLayerTableDlg::PaintSwatch(int r) {
  static_cast<ColourSwatchButton*>(rows_[r].colour)->SetColour(working_[top_ + r].colour);
}

bool CLayerTableDlg::ScrollTo(int top) {
  top = std::clamp(top, 0, kLayerTableLastTop);
  if (top == top_) return false;
  CollectRows();
  top_ = top;
  FillRows();
  return true;
}

void CLayerTableDlg::SetAllShown(int32_t shown) {
  CollectRows();
  for (Entry& entry : working_) {
    if (!entry.path.empty()) entry.shown = shown;
  }
  FillRows();
}

void CLayerTableDlg::ChooseColour(int r) {
  Entry& entry = working_[top_ + r];
  PickColorDialog picker(this, PickColorDialog::Form::kColor, NearestPickColor(entry.colour));
  picker.setWindowTitle("Color");
  RunModal(picker, QDialog::Rejected);
  // A refused chooser leaves the colour as it was.
  if (!picker.ok_pressed()) return;
  entry.colour = PickColors()[picker.current_index()] & 0xFFFFFF;
  PaintSwatch(r);
}

void CLayerTableDlg::CycleMode(int r) {
  // Negative -> Paint -> Scratch -> Negative.
  QPushButton* mode = rows_[r].mode;
  const int32_t now = FillModeOfText(mode->text());
  const int32_t next = now == kFillNegative ? kFillPaint
                       : now == kFillPaint  ? kFillScratch
                                            : kFillNegative;
  mode->setText(FillModeText(next));
}

void CLayerTableDlg::BrowseFiles(int r) {
  CollectRows();
  const int entry = top_ + r;
  ViewerAppState& state = AppState();
  const int32_t format = ImportSettings().pg_format;
  const std::string start =
      working_[entry].path.empty() ? DialogStartDirectory() + "/" : working_[entry].path;
  OpenDialogChoice choice;
  CTemplateFileDialog dialog(true, "", start.c_str(),
                             kFileDlgFileMustExist | kFileDlgAllowMultiSelect,
                             FilterToNulForm(LayerFileFilter(format)), this,
                             OpenDlgHookProc(LayerFileTypeOffset(format), &choice), false);
  dialog.setObjectName("layer_file_dialog");
  state.file_dialog_open = true;
  const int answer = dialog.DoModal("Open /EM/MANN/INT Files");
  state.file_dialog_open = false;
  if (answer != kAnswerOk) return;
  choice_ = choice;
  const std::vector<std::string>& paths = dialog.PathNames();
  if (!paths.empty()) state.last_open_path = paths.front();
  const int placed = PlaceFiles(entry, paths);
  if (placed < static_cast<int>(paths.size())) {
    ShowMessage(std::to_string(paths.size() - placed) + " of the " + std::to_string(paths.size()) +
                    " files chosen did not fit below layer " + std::to_string(entry) +
                    " and were not entered.",
                "Layer Table", MessageIcon::kWarning);
  }
}

int CLayerTableDlg::PlaceFiles(int entry, const std::vector<std::string>& paths) {
  CollectRows();
  int placed = 0;
  int at = entry;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) {
      // Further files take the free entries below, never one that holds a file.
      do {
        ++at;
      } while (at < kViewLayerCount && !working_[at].path.empty());
      if (at >= kViewLayerCount) break;
    }
    working_[at] = {paths[i], 1, DefaultLayerColour(at), kFillPaint};
    ++placed;
  }
  // The last entry placed is shown.
  if (placed > 0 && at >= top_ + kLayerTableRows) {
    top_ = std::min(at - kLayerTableRows + 1, kLayerTableLastTop);
  }
  FillRows();
  return placed;
}

bool CLayerTableDlg::EnsureJobName() {
  ViewerAppState& state = AppState();
  if (!state.job_file_name.empty()) return true;
  const std::string start = QDir::currentPath().toStdString() + "/";
  CTemplateFileDialog dialog(false, "job", start.c_str(), kFileDlgOverwritePrompt,
                             BuildFileFilters(FilterTable::kViewer)[kJobFilterRow], this, nullptr,
                             false);
  dialog.setObjectName("job_name_dialog");
  state.file_dialog_open = true;
  const int answer = dialog.DoModal("Name the Job");
  state.file_dialog_open = false;
  if (answer != kAnswerOk || dialog.GetPathName().empty()) return false;
  state.job_file_name = dialog.GetPathName();
  return true;
}

void CLayerTableDlg::accept() {
  CollectRows();
  const ViewLayerTable& table = LayerTable();
  bool changed = false;
  bool replaced = false;
  for (int n = 0; n < kViewLayerCount; ++n) {
    if (working_[n].path == table[n].path) continue;
    changed = true;
    if (!table[n].path.empty()) replaced = true;
  }
  // The edits are settled before anything changes: a file that goes takes its edits with
  // it, and reading the files again drops every deletion of the loaded ones.
  const bool reload = load_on_ok_ && changed;
  if ((replaced || reload) && !AppState().new_job_from_dialog && !app_->SettleEdits(0)) return;
  // A job file is never written without a name.
  if (!EnsureJobName()) return;
  const std::string job = AppState().job_file_name;
  const std::vector<Entry> old_entries = TableEntries();
  const ViewerImportSettings old_import = ImportSettings();
  ApplyEntries(working_);
  if (choice_.confirmed) choice_.MakeCurrent();
  std::string failure;
  if (reload && app_->LoadLayers() != 0) failure = "Could not load layer information";
  if (failure.empty() && WriteJobFile(job) < 0) {
    // A path the job cannot hold is named with the reason, before the old table is back.
    const std::string refusal = JobTableRefusal();
    failure =
        "The job file " + job + " could not be written." + (refusal.empty() ? "" : "\n" + refusal);
  }
  if (!failure.empty()) {
    // The old job comes back whole: its table, its settings and its loaded files.
    ApplyEntries(old_entries);
    ImportSettings() = old_import;
    if (reload) app_->LoadLayers();
    ShowMessage(failure, kVexilAppName, MessageIcon::kStop);
    if (CMainFrame* frame = app_->frame()) frame->ShowIdleMessage();
    return;
  }
  // New files bring new extents: the view is fitted to them.
  if (reload) FitDisplayToJob();
  MarkFullViewStale(kFullViewLayers);
  if (load_on_ok_ && app_->frame() != nullptr) {
    app_->frame()->UpdateLayerCombo();
    app_->view()->RequestRedraw();
  }
  QDialog::accept();
}

void CLayerTableDlg::reject() {
  // Nothing reached the table before OK: the job stays as it was.
  working_ = original_;
  QDialog::reject();
}

bool RunLayerTableDialog(CLumraApp* app, bool load_on_ok) {
  CLayerTableDlg dialog(app, app->frame(), load_on_ok);
  return RunModal(dialog, QDialog::Rejected) == QDialog::Accepted;
}

}  // namespace kavrinth
