// The viewer's small dialogs.
#include "viewer/app/small_dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>

#include "support/memory_status.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/file_filters.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

constexpr double kBytesPerMegabyte = 1048576.0;

QPushButton* AddButton(QDialogButtonBox* box, QDialogButtonBox::StandardButton which, int id,
                       const char* name) {
  QPushButton* button = box->addButton(which);
  button->setObjectName(ControlObjectName(id));
  button->setAccessibleName(name);
  return button;
}

// OK and Cancel at the foot of a dialog.
void AddOkCancel(QDialog* dialog, QBoxLayout* layout) {
  auto* box = new QDialogButtonBox(dialog);
  AddButton(box, QDialogButtonBox::Ok, kAnswerOk, "OK");
  AddButton(box, QDialogButtonBox::Cancel, kAnswerCancel, "Cancel");
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(box);
}

QLineEdit* AddEdit(QWidget* parent, QGridLayout* grid, int row, int id, const char* label_text,
                   const QString& value) {
  auto* label = new QLabel(label_text, parent);
  auto* edit = new QLineEdit(value, parent);
  edit->setObjectName(ControlObjectName(id));
  edit->setAccessibleName(QString(label_text).remove(':'));
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

// A real typed into an edit within low..high; otherwise the range message, the focus on
// the edit and nothing.
std::optional<double> RealInRange(QWidget* dialog, QLineEdit* edit, double low, double high) {
  bool ok = false;
  const double value = edit->text().trimmed().toDouble(&ok);
  if (ok && std::isfinite(value) && value >= low && value <= high) return value;
  ShowMessage(QString::asprintf("Enter a number between %g and %g.", low, high).toStdString(),
              dialog->windowTitle().toStdString(), MessageIcon::kWarning);
  edit->setFocus();
  edit->selectAll();
  return std::nullopt;
}

QCheckBox* AddTick(QWidget* parent, QLayout* layout, int id, const char* text, const char* name,
                   bool on) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(ControlObjectName(id));
  box->setAccessibleName(name);
  box->setChecked(on);
  layout->addWidget(box);
  return box;
}

}  // namespace

// ---- Ram Use ----

CRamUseDlg::CRamUseDlg(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Ram Use");
  setObjectName("ram_use_dialog");
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  // The machine's figures in 64 bits: memory beyond 2 GB shows as it is.
  const MemoryFigures figures = ReadMemoryFigures();
  const std::pair<int, std::pair<const char*, int64_t>> texts[] = {
      {kRamTotal, {"System Total Memory:", figures.total_physical}},
      {kRamAvailable, {"System Available Memory:", figures.available_physical}}};
  int row = 0;
  for (const auto& [id, text_value] : texts) {
    auto* label = new QLabel(text_value.first, this);
    auto* value = new QLabel(QString::number(text_value.second), this);
    value->setObjectName(ControlObjectName(id));
    value->setAccessibleName(QString(text_value.first).remove(':'));
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row++, 1);
  }
  AddEdit(this, grid, row, kRamLimitEdit, "Amount used for database (megs):",
          QString::number(AppState().ram_use_limit / kBytesPerMegabyte, 'g', 6));
  layout->addLayout(grid);
  AddOkCancel(this, layout);
}

void CRamUseDlg::accept() {
  const std::optional<double> megabytes =
      RealInRange(this, FindControl<QLineEdit>(this, kRamLimitEdit), 0.0, kMaxRamUseMegabytes);
  if (!megabytes) return;
  AppState().ram_use_limit = static_cast<int64_t>(*megabytes * kBytesPerMegabyte + 0.5);
  QDialog::accept();
}

// ---- Snap Settings ----

CSnapSettingsDlg::CSnapSettingsDlg(CLumraApp* app, QWidget* owner) : QDialog(owner), app_(app) {
  setWindowTitle("Snap Settings");
  setObjectName("snap_settings_dialog");
  const ViewerSettings& s = AppState().settings;
  auto* layout = new QVBoxLayout(this);
  auto* grid_group = new QGroupBox("Grid Snap", this);
  grid_group->setAccessibleName("Grid Snap");
  auto* grid_layout = new QVBoxLayout(grid_group);
  AddTick(grid_group, grid_layout, kSnapGridSnap, "Snap On", "Grid Snap On", s.snap_on != 0);
  AddTick(grid_group, grid_layout, kSnapGridOn, "Grid On", "Grid On", s.grid_on != 0);
  auto* spacing = new QGridLayout;
  AddEdit(grid_group, spacing, 0, kSnapSpacing, "Grid Spacing",
          QString::fromStdString(s.grid_snap));
  grid_layout->addLayout(spacing);
  layout->addWidget(grid_group);
  auto* object_group = new QGroupBox("Object Snap", this);
  object_group->setAccessibleName("Object Snap");
  auto* object_layout = new QVBoxLayout(object_group);
  AddTick(object_group, object_layout, kSnapEndPoint, "Snap On", "Object Snap On",
          s.snap_end_point != 0);
  layout->addWidget(object_group);
  AddOkCancel(this, layout);
}

void CSnapSettingsDlg::accept() {
  QLineEdit* edit = FindControl<QLineEdit>(this, kSnapSpacing);
  const std::optional<double> spacing = RealInRange(this, edit, 0.0, kMaxGridSpacing);
  if (!spacing) return;
  ViewerSettings& s = AppState().settings;
  const int32_t grid_was_on = s.grid_on;
  s.snap_on = FindControl<QCheckBox>(this, kSnapGridSnap)->isChecked() ? 1 : 0;
  s.grid_on = FindControl<QCheckBox>(this, kSnapGridOn)->isChecked() ? 1 : 0;
  s.snap_end_point = FindControl<QCheckBox>(this, kSnapEndPoint)->isChecked() ? 1 : 0;
  // The spacing is kept as typed, so that the next start shows the same grid; a step
  // below one database unit is drawn as one unit.
  ViewerDisplayUnits& display = CurrentViewerServices().DisplayUnits();
  const int32_t old_step = display.grid_spacing;
  display.grid_spacing = GridStepOfSpacing(*spacing, display.database_units_per_user_unit);
  s.grid_snap = edit->text().trimmed().toStdString();
  display.grid_spacing_text = s.grid_snap;
  // The drawing's grid and the drawing window's snapping follow at once.
  ViewerDisplay& drawing = AppDisplay();
  drawing.settings.grid_on = s.grid_on != 0;
  drawing.settings.grid_spacing = display.grid_spacing;
  drawing.window.SetGridSnap(s.snap_on != 0, display.grid_spacing);
  QDialog::accept();
  if (s.grid_on != grid_was_on || (s.grid_on != 0 && display.grid_spacing != old_step)) {
    if (s.grid_on != 0) drawing.RearmGridWarning();
    MarkFullViewStale(kFullViewDrawing);
    if (AppState().job_loaded && app_->view() != nullptr) app_->view()->RequestRedraw();
  }
}

// ---- Directory ----

CTempDirDlg::CTempDirDlg(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Directory");
  setObjectName("directory_dialog");
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  AddEdit(this, grid, 0, kTempDirEdit,
          "Temporary Working Directory:", QString::fromStdString(AppState().temporary_directory))
      ->setMinimumWidth(320);
  layout->addLayout(grid);
  AddOkCancel(this, layout);
}

void CTempDirDlg::accept() {
  QLineEdit* edit = FindControl<QLineEdit>(this, kTempDirEdit);
  const std::string path = edit->text().trimmed().toStdString();
  if (!path.empty()) {
    if (!DirExists(path)) {
      ShowMessage("Path cannot be found.", "Directory", MessageIcon::kWarning);
      edit->setFocus();
      return;
    }
    AppState().temporary_directory = path;
  }
  QDialog::accept();
}

// ---- Save Changes ----

namespace {

// The extension a PG output of the layer takes when none is typed: the layer's own, or the
// job's PG format's when the layer has none or is a ".wf2" file.
std::string PgExtensionOfLayer(int layer) {
  std::string extension;
  if (layer >= 0 && layer < kViewLayerCount) {
    extension = std::filesystem::path(LayerTable()[layer].path).extension().string();
  }
  std::string lower = extension;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.size() > 1 && lower != ".wf2") return extension.substr(1);
  switch (ImportSettings().pg_format) {
    case 0:
      return "em";
    case 1:
    case 2:
      return "dwm";
    case 4:
      return "int";
    default:
      return "";
  }
}

}  // namespace

CSaveChangesDlg::CSaveChangesDlg(const std::vector<int>& edited_layers, QWidget* owner)
    : QDialog(owner) {
  setWindowTitle("Save Changes");
  setObjectName("save_changes_dialog");
  for (int layer : edited_layers) {
    if (layer < 0 || layer >= kViewLayerCount) continue;
    std::string name;
    SplitPath(LayerTable()[layer].path, nullptr, &name);
    entries_.push_back({true, layer, name});
  }
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  auto* grid = new QGridLayout;
  for (int i = 0; i < kSaveChangesRows; ++i) {
    const QString suffix = QStringLiteral(" row %1").arg(i + 1);
    Row& row = rows_[i];
    row.save = new QCheckBox("Save", this);
    row.save->setObjectName(ControlObjectName(1573 + 3 * i));
    row.save->setAccessibleName("Save" + suffix);
    row.name = new QLineEdit(this);
    row.name->setObjectName(ControlObjectName(1000 + i));
    row.name->setAccessibleName("Layer file" + suffix);
    row.name->setReadOnly(true);
    auto* to = new QLabel("to", this);
    row.output = new QLineEdit(this);
    row.output->setObjectName(ControlObjectName(1574 + 3 * i));
    row.output->setAccessibleName("Output file" + suffix);
    row.output->setMinimumWidth(240);
    row.browse = new QPushButton("...", this);
    row.browse->setObjectName(ControlObjectName(1575 + 3 * i));
    row.browse->setAccessibleName("Browse" + suffix);
    row.browse->setAutoDefault(false);
    connect(row.browse, &QPushButton::clicked, this, [this, i] { Browse(i); });
    grid->addWidget(row.save, i, 0);
    grid->addWidget(row.name, i, 1);
    grid->addWidget(to, i, 2);
    grid->addWidget(row.output, i, 3);
    grid->addWidget(row.browse, i, 4);
  }
  left->addLayout(grid);
  all_ = new QCheckBox("Layers On/Off", this);
  all_->setObjectName(ControlObjectName(kSaveLayersOnOff));
  all_->setAccessibleName("Layers On/Off");
  all_->setChecked(true);
  connect(all_, &QCheckBox::clicked, this, [this](bool on) {
    ReadPage();
    for (Entry& entry : entries_) entry.save = on;
    ShowPage();
  });
  left->addWidget(all_);
  auto* buttons = new QHBoxLayout;
  const std::tuple<int, const char*> answers[] = {{6, "Yes"}, {7, "No"}, {2, "Cancel"}};
  for (const auto& [id, text] : answers) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(ControlObjectName(id));
    button->setAccessibleName(text);
    buttons->addWidget(button);
    if (id == 6) {
      button->setDefault(true);
      connect(button, &QPushButton::clicked, this, &CSaveChangesDlg::Yes);
    } else {
      connect(button, &QPushButton::clicked, this, [this, id = id] { done(id); });
    }
  }
  left->addLayout(buttons);
  layout->addLayout(left);
  scroll_ = new QScrollBar(Qt::Vertical, this);
  scroll_->setObjectName(ControlObjectName(kSaveScroll));
  scroll_->setAccessibleName("Edited layers");
  // Every entry can be reached: the last page starts kSaveChangesRows before the end.
  scroll_->setRange(0, std::max(0, static_cast<int>(entries_.size()) - kSaveChangesRows));
  scroll_->setPageStep(kSaveChangesRows);
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) { ShowFrom(value); });
  layout->addWidget(scroll_);
  ShowPage();
}

void CSaveChangesDlg::ShowPage() {
  for (int i = 0; i < kSaveChangesRows; ++i) {
    const size_t n = static_cast<size_t>(page_ + i);
    Row& row = rows_[i];
    const bool used = n < entries_.size();
    for (QWidget* widget : {static_cast<QWidget*>(row.save), static_cast<QWidget*>(row.name),
                            static_cast<QWidget*>(row.output), static_cast<QWidget*>(row.browse)}) {
      widget->setEnabled(used);
    }
    row.save->setChecked(used && entries_[n].save);
    // The layer's file by its name; the whole path shows as the field's tip.
    const std::string path = used ? LayerTable()[entries_[n].layer].path : std::string();
    std::string name;
    SplitPath(path, nullptr, &name);
    row.name->setText(QString::fromStdString(name));
    row.name->setToolTip(QString::fromStdString(path));
    row.output->setText(used ? QString::fromStdString(entries_[n].output) : "");
  }
  const QSignalBlocker block(scroll_);
  scroll_->setValue(page_);
}

void CSaveChangesDlg::ReadPage() {
  for (int i = 0; i < kSaveChangesRows; ++i) {
    const size_t n = static_cast<size_t>(page_ + i);
    if (n >= entries_.size()) break;
    entries_[n].save = rows_[i].save->isChecked();
    entries_[n].output = rows_[i].output->text().toStdString();  // whole, however long
  }
}

void CSaveChangesDlg::ShowFrom(int start) {
  start = std::clamp(start, 0, scroll_->maximum());
  if (start == page_) return;
  ReadPage();
  page_ = start;
  ShowPage();
}

void CSaveChangesDlg::Browse(int i) {
  const std::string filter = BuildFileFilters(FilterTable::kViewer).back();
  // The layer is saved as PG data: a name typed without an extension takes the layer's own
  // (never ".wf2", which the job would read as WF2 data).
  const size_t n = static_cast<size_t>(page_ + i);
  const std::string extension = n < entries_.size() ? PgExtensionOfLayer(entries_[n].layer) : "";
  CFileDialogEx dialog(false, extension, "", kFileDlgOverwritePrompt, filter, this);
  dialog.setObjectName("save_as_dialog");
  AppState().file_dialog_open = true;
  const int answer = dialog.DoModal("Save As");
  AppState().file_dialog_open = false;
  if (answer == kAnswerOk) rows_[i].output->setText(QString::fromStdString(dialog.GetPathName()));
}

void CSaveChangesDlg::Yes() {
  ReadPage();
  requests_ = SaveRequests();
  for (const Entry& entry : entries_) {
    if (!entry.save) continue;
    requests_.save[entry.layer] = true;
    requests_.output[entry.layer] = entry.output;
  }
  done(6);
}

int RunSaveChanges(const std::vector<int>& edited_layers, QWidget* owner, SaveRequests* requests) {
  CSaveChangesDlg dialog(edited_layers, owner);
  const int answer = RunModal(dialog, 2);
  if (answer == 6 && requests != nullptr) *requests = dialog.requests();
  return answer == 6 || answer == 7 ? answer : 2;
}

// ---- Commands ----

void OnRamUse(CLumraApp* app) {
  CRamUseDlg dialog(app->frame());
  RunModal(dialog, QDialog::Rejected);
}

void OnSnapSettings(CLumraApp* app) {
  CSnapSettingsDlg dialog(app, app->frame());
  RunModal(dialog, QDialog::Rejected);
}

void OnTemporaryDirectory(CLumraApp* app) {
  CTempDirDlg dialog(app->frame());
  RunModal(dialog, QDialog::Rejected);
}

}  // namespace kavrinth
