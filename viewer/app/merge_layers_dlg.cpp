// The Merge Layers and overwrite confirmation dialogs.
#include "viewer/app/merge_layers_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/reports.h"
#include "viewer/model/wf2_format.h"
#include "viewer/model/wf2_merge.h"

namespace kavrinth {
namespace {

constexpr int kMaxMergeFiles = 1024;
constexpr int kMaxReferences = 1024;

std::string FileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

bool IsWf2(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".wf2";
}

// Where the merge log goes: the viewer's temporary directory, else the system's. An unusable
// TMPDIR (missing, or a file) puts it in the current directory, where the viewer keeps its
// temporaries when it has no settings store.
std::string MergeLogDirectory() {
  if (!AppState().temporary_directory.empty()) return AppState().temporary_directory;
  std::error_code error;
  std::filesystem::path directory = std::filesystem::temp_directory_path(error);
  if (!error) return directory.string();
  directory = std::filesystem::current_path(error);
  return error ? std::string(".") : directory.string();
}

QPushButton* Button(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAccessibleName(text);
  return button;
}

}  // namespace

CMergeConfirmDlg::CMergeConfirmDlg(const std::vector<std::string>& existing, QWidget* parent)
    : QDialog(parent) {
  setObjectName("merge_confirm_dialog");
  setWindowTitle("Merge");
  setAccessibleName("Merge");
  auto* layout = new QVBoxLayout(this);
  auto* text =
      new QLabel("The following files already exist.\nDo you wish to overwrite them?", this);
  text->setAccessibleName(text->text());
  layout->addWidget(text);
  list_ = new QListWidget(this);
  list_->setAccessibleName("Existing files");
  list_->setSortingEnabled(true);
  for (const std::string& name : existing) list_->addItem(QString::fromStdString(name));
  layout->addWidget(list_);
  layout->addWidget(OkCancelButtons(this));
}

CMergeLayersDlg::CMergeLayersDlg(QWidget* parent, std::function<void()> help) : QDialog(parent) {
  setObjectName("merge_layers_dialog");
  setWindowTitle("Merge Layers");
  setAccessibleName("Merge Layers");
  auto* layout = new QGridLayout(this);
  auto* names = new QGroupBox("Merge File Name", this);
  names->setAccessibleName("Merge File Name");
  auto* names_layout = new QVBoxLayout(names);
  name_ = new QLineEdit(names);
  name_->setObjectName(ControlObjectName(1000));
  name_->setAccessibleName("Merge File Name");
  auto* add = Button("Add", names);
  add->setObjectName(ControlObjectName(1539));
  auto* remove = Button("Delete", names);
  remove->setObjectName(ControlObjectName(1007));
  merge_list_ = new QListWidget(names);
  merge_list_->setObjectName(ControlObjectName(1005));
  merge_list_->setAccessibleName("Merge files");
  names_layout->addWidget(name_);
  names_layout->addWidget(add);
  names_layout->addWidget(remove);
  names_layout->addWidget(merge_list_);
  auto* files = new QGroupBox("WF2 Files", this);
  files->setAccessibleName("WF2 Files");
  auto* files_layout = new QVBoxLayout(files);
  wf2_list_ = new QListWidget(files);
  wf2_list_->setObjectName(ControlObjectName(1540));
  wf2_list_->setAccessibleName("WF2 Files");
  files_layout->addWidget(wf2_list_);
  // The layers of the current merge file, sixteen rows at a time, each with its delete
  // button, paged with the scroll bar beside them.
  auto* rows = new QGridLayout;
  rows->setVerticalSpacing(1);
  for (const auto& [column, title] : {std::pair{0, "Layer Name"}, std::pair{1, "Delete"}}) {
    auto* label = new QLabel(title, this);
    label->setAccessibleName(title);
    rows->addWidget(label, 0, column);
  }
  for (int r = 0; r < kMergeRows; ++r) {
    Row& row = rows_[r];
    row.name = new QLineEdit(this);
    row.name->setReadOnly(true);
    row.name->setObjectName(ControlObjectName(kMergeRowName + r));
    row.name->setAccessibleName(QStringLiteral("Layer Name row %1").arg(r + 1));
    row.remove = new QPushButton(this);
    row.remove->setObjectName(ControlObjectName(kMergeRowDelete + r));
    row.remove->setAccessibleName(QStringLiteral("Delete row %1").arg(r + 1));
    row.remove->setAutoDefault(false);
    row.remove->setFixedWidth(24);
    rows->addWidget(row.name, r + 1, 0);
    rows->addWidget(row.remove, r + 1, 1);
    connect(row.remove, &QPushButton::clicked, this, [this, r] { OnDeleteRow(r); });
  }
  scroll_ = new QScrollBar(Qt::Vertical, this);
  scroll_->setObjectName(ControlObjectName(kMergeScroll));
  scroll_->setAccessibleName("Layer rows");
  scroll_->setRange(0, kMergeLastFirstRow);
  scroll_->setSingleStep(1);
  scroll_->setPageStep(kMergeRows);
  rows->addWidget(scroll_, 1, 2, kMergeRows, 1);
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    first_row_ = value;
    FillRows();
  });
  QDialogButtonBox* buttons = OkCancelButtons(this);
  QPushButton* help_button = buttons->addButton("Help", QDialogButtonBox::HelpRole);
  help_button->setObjectName(ControlObjectName(kMergeHelp));
  help_button->setAccessibleName("Help");
  help_button->setAutoDefault(false);
  if (help) connect(help_button, &QPushButton::clicked, this, std::move(help));
  layout->addWidget(names, 0, 0, 2, 1);
  layout->addWidget(files, 0, 1);
  layout->addLayout(rows, 1, 1);
  layout->addWidget(buttons, 2, 0, 1, 2);
  for (QPushButton* button : {add, remove}) button->setAutoDefault(false);
  connect(add, &QPushButton::clicked, this, &CMergeLayersDlg::OnAdd);
  connect(remove, &QPushButton::clicked, this, &CMergeLayersDlg::OnDelete);
  connect(merge_list_, &QListWidget::currentRowChanged, this, &CMergeLayersDlg::OnMergeFileChanged);
  connect(wf2_list_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { AddLayer(wf2_list_->row(item)); });
  // Only WF2 layers can be merged.
  const ViewLayerTable& table = LayerTable();
  for (int n = 0; n < kViewLayerCount; ++n) {
    if (table[n].path.empty() || !IsWf2(table[n].path)) continue;
    layer_map_.push_back(n);
    wf2_list_->addItem(QString::fromStdString(FileNameOf(table[n].path)));
  }
  name_->setText(QString::fromStdString(FirstLayerName()));
  wf2_list_->setEnabled(false);
  FillRows();
}

std::string CMergeLayersDlg::FirstLayerName() const {
  return layer_map_.empty() ? std::string() : FileNameOf(LayerTable()[layer_map_[0]].path);
}

void CMergeLayersDlg::OnAdd() {
  // The name is taken whole, however long: the file system, not the dialog, decides
  // whether a file of that name can be made.
  std::string name = name_->text().trimmed().toStdString();
  if (name.empty()) return;
  // A merge file holds WF2 data and the job reads a layer as WF2 by its extension: a name
  // without ".wf2" ("out" or "out.dat") gets it, so the merged layer reads back as written.
  if (!IsWf2(name)) name += ".wf2";
  if (static_cast<int>(files_.size()) >= kMaxMergeFiles) return;
  for (const MergeFile& f : files_) {
    if (f.name == name) return;
  }
  files_.push_back({name, {}});
  merge_list_->addItem(QString::fromStdString(name));
  current_ = static_cast<int>(files_.size()) - 1;
  {
    QSignalBlocker block(merge_list_);
    merge_list_->setCurrentRow(current_);
  }
  wf2_list_->setEnabled(true);
  ScrollRowsTo(0);
}

void CMergeLayersDlg::OnDelete() {
  if (files_.empty()) return;
  files_.erase(files_.begin() + current_);
  {
    QSignalBlocker block(merge_list_);
    delete merge_list_->takeItem(current_);
  }
  if (files_.empty()) {
    current_ = 0;
    name_->setText(QString::fromStdString(FirstLayerName()));
    wf2_list_->setEnabled(false);
  } else {
    current_ = std::min(current_, static_cast<int>(files_.size()) - 1);
    merge_list_->setCurrentRow(current_);
  }
  FillRows();
}

void CMergeLayersDlg::OnMergeFileChanged(int row) {
  if (row < 0 || row >= static_cast<int>(files_.size())) return;
  current_ = row;
  name_->setText(QString::fromStdString(files_[row].name));
  ScrollRowsTo(0);
}

void CMergeLayersDlg::AddLayer(int row) {
  if (files_.empty() || row < 0 || row >= static_cast<int>(layer_map_.size())) return;
  std::vector<int>& layers = files_[current_].layers;
  if (static_cast<int>(layers.size()) >= kMaxReferences) return;
  layers.push_back(layer_map_[row]);
  // The new last reference comes into view, one row below the top of its page.
  const int last = static_cast<int>(layers.size()) - 1;
  ScrollRowsTo(std::max(kMergeRows * (last / kMergeRows) - 1, 0));
}

void CMergeLayersDlg::OnDeleteRow(int r) {
  if (files_.empty()) return;
  std::vector<int>& layers = files_[current_].layers;
  const int index = first_row_ + r;
  if (index < 0 || index >= static_cast<int>(layers.size())) return;
  layers.erase(layers.begin() + index);
  FillRows();
}

void CMergeLayersDlg::ScrollRowsTo(int first) {
  first_row_ = std::clamp(first, 0, kMergeLastFirstRow);
  {
    QSignalBlocker block(scroll_);
    scroll_->setValue(first_row_);
  }
  FillRows();
}

void CMergeLayersDlg::FillRows() {
  const std::vector<int>* layers = files_.empty() ? nullptr : &files_[current_].layers;
  for (int r = 0; r < kMergeRows; ++r) {
    const int index = first_row_ + r;
    const bool valid = layers != nullptr && index < static_cast<int>(layers->size());
    rows_[r].name->setText(
        valid ? QString::fromStdString(FileNameOf(LayerTable()[(*layers)[index]].path))
              : QString());
  }
}

void CMergeLayersDlg::accept() {
  if (files_.empty()) {
    QDialog::accept();
    return;
  }
  // Merge files without layers (all there can be in a job without WF2 layers) merge
  // nothing; the user may still add layers to them.
  const bool any = std::any_of(files_.begin(), files_.end(),
                               [](const MergeFile& file) { return !file.layers.empty(); });
  if (!any || layer_map_.empty()) {
    ShowMessage("Nothing to merge.", "Merge", MessageIcon::kInformation);
    return;
  }
  ViewLayerTable& table = LayerTable();
  const std::filesystem::path directory =
      std::filesystem::path(table[layer_map_.front()].path).parent_path();
  // The names, checked before anything is written.
  std::vector<std::string> paths;
  std::vector<std::string> existing;
  for (const MergeFile& file : files_) {
    const std::filesystem::path name(file.name);
    if (name.has_parent_path() || file.name.find("..") != std::string::npos) {
      ShowMessage("The merge file name " + file.name + " must be a plain file name.", "Merge",
                  MessageIcon::kWarning);
      return;
    }
    const std::string path = (directory / name).string();
    // The merged file becomes a layer of the job, which must hold its path.
    if (!ViewerLayerPathFits(path)) {
      ShowMessage(ViewerLayerPathRefusal(path), "Merge", MessageIcon::kWarning);
      return;
    }
    for (const MergeFile& other : files_) {
      for (int layer : other.layers) {
        std::error_code error;
        if (table[layer].path == path ||
            std::filesystem::equivalent(table[layer].path, path, error)) {
          ShowMessage("The merge file " + file.name + " is one of the layers being merged.",
                      "Merge", MessageIcon::kWarning);
          return;
        }
      }
    }
    paths.push_back(path);
    // A name the file system cannot take (too long) exists nowhere: the merge reports it.
    std::error_code error;
    if (!file.layers.empty() && std::filesystem::exists(path, error)) existing.push_back(path);
  }
  if (!existing.empty()) {
    CMergeConfirmDlg confirm(existing, this);
    if (confirm.exec() != QDialog::Accepted) return;
  }
  std::vector<int> outputs;
  std::vector<std::vector<std::string>> inputs;
  bool added = false;
  for (size_t i = 0; i < files_.size(); ++i) {
    const MergeFile& file = files_[i];
    if (file.layers.empty()) continue;
    std::vector<std::string> others;
    for (size_t k = 1; k < file.layers.size(); ++k) others.push_back(table[file.layers[k]].path);
    const std::string first = table[file.layers[0]].path;
    int result = kWf2Failed;
    {
      BusyScope busy;
      result = MergeWf2Files(nullptr, paths[i], first, others);
    }
    // Only a complete merge becomes a layer and goes into the log.
    if (result != kWf2Ok) continue;
    int entry = -1;
    for (int n = 0; n < kViewLayerCount && entry < 0; ++n) {
      if (table[n].path == paths[i]) entry = n;
    }
    for (int n = 0; n < kViewLayerCount && entry < 0; ++n) {
      if (table[n].path.empty()) {
        entry = n;
        ViewLayerEntry& e = table[n];
        e.path = paths[i];
        e.colour = DefaultLayerColour(n);
        e.shown = 1;
        e.x_offset = e.y_offset = 0;
        added = true;
      }
    }
    if (entry < 0) {
      ShowMessage("The layer table is full: " + paths[i] + " was not added to the job.", "Merge",
                  MessageIcon::kWarning);
      continue;
    }
    outputs.push_back(entry);
    std::vector<std::string> names = {first};
    names.insert(names.end(), others.begin(), others.end());
    inputs.push_back(std::move(names));
  }
  if (added && !AppState().job_file_name.empty()) {
    if (WriteJobFile(AppState().job_file_name) < 0) {
      ShowMessage("Cannot write the job file " + AppState().job_file_name + ".", "Merge",
                  MessageIcon::kStop);
    }
  }
  merged_ = !outputs.empty();
  if (merged_) {
    const std::string log = (std::filesystem::path(MergeLogDirectory()) / "lumramrg.log").string();
    if (WriteMergeReport(log, outputs, inputs) != 0) {
      ShowMessage("Cannot write the merge log " + log + ".", "Merge", MessageIcon::kWarning);
    } else {
      // The log opens in the desktop's text viewer once the merged job is drawn.
      AppState().pending_open_path = log;
    }
    log_path_ = log;
  }
  QDialog::accept();
}

}  // namespace kavrinth
