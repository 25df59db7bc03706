// The Layers dialog.
#include "tabrun/ui/layers_dialog.h"

#include <strings.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "tabrun/core/file_ops.h"

namespace kavrinth {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPushButton* Button(QWidget* owner, int id, const char* text) {
  auto* button = new QPushButton(text, owner);
  button->setObjectName(ControlObjectName(id));
  button->setAccessibleName(text);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

CLayersDlg::CLayersDlg(QWidget* owner, TabrunJob* job) : QDialog(owner), job_(job) {
  setWindowTitle("Layers Settings");
  saved_names_ = job_->layers.output_names;
  const std::string label = FormatLabel(job_->options.output_format);
  auto* layout = new QVBoxLayout(this);
  auto* rows = new QHBoxLayout;
  for (int column = 0; column < 2; ++column) {
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("GDS Layer\n" + Q(label), this), 0, 0);
    grid->addWidget(new QLabel("PG Output File Name\n" + Q(label), this), 0, 1);
    for (int r = 0; r < 16; ++r) {
      const int row = column * 16 + r;
      checks_[row] = new QCheckBox(this);
      checks_[row]->setObjectName(ControlObjectName(kLayerCheckBase + row));
      edits_[row] = new QLineEdit(this);
      edits_[row]->setObjectName(ControlObjectName(kLayerEditBase + row));
      edits_[row]->setMinimumWidth(220);
      connect(edits_[row], &QLineEdit::editingFinished, this, [this, row] {
        if (!filling_) LayerRowChanged(row);
      });
      connect(checks_[row], &QCheckBox::toggled, this, [this, row](bool on) {
        if (!filling_) selected_[first_ + row] = on;
      });
      grid->addWidget(checks_[row], r + 1, 0);
      grid->addWidget(edits_[row], r + 1, 1);
    }
    rows->addLayout(grid);
  }
  scroll_ = new QScrollBar(Qt::Vertical, this);
  scroll_->setObjectName(ControlObjectName(kLayersScroll));
  scroll_->setAccessibleName("Layers");
  scroll_->setRange(0, std::max(0, MaxLayer() - kLayerRows));
  scroll_->setPageStep(kLayerRows);
  scroll_->setSingleStep(1);
  rows->addWidget(scroll_);
  layout->addLayout(rows);
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    CollectLayerRows();
    first_ = value;
    FillLayerRows();
  });

  auto* buttons = new QHBoxLayout;
  QPushButton* up = Button(this, kLayersUp, "Up");
  QPushButton* down = Button(this, kLayersDown, "Dn");
  QPushButton* all_on = Button(this, kLayersAllOn, "All On");
  QPushButton* all_off = Button(this, kLayersAllOff, "All Off");
  default_ext_ = new QCheckBox("Use default ext", this);
  default_ext_->setObjectName(ControlObjectName(kLayersDefaultExt));
  default_ext_->setAccessibleName("Use default ext");
  default_ext_->setChecked(job_->options.default_ext != 0);
  QPushButton* ok = Button(this, 1, "OK");
  QPushButton* cancel = Button(this, 2, "Cancel");
  for (QWidget* w :
       std::initializer_list<QWidget*>{up, down, all_on, all_off, default_ext_, ok, cancel}) {
    buttons->addWidget(w);
  }
  layout->addLayout(buttons);
  connect(up, &QPushButton::clicked, this,
          [this] { scroll_->triggerAction(QAbstractSlider::SliderPageStepSub); });
  connect(down, &QPushButton::clicked, this,
          [this] { scroll_->triggerAction(QAbstractSlider::SliderPageStepAdd); });
  connect(all_on, &QPushButton::clicked, this, [this] {
    for (int l = 0; l < MaxLayer(); ++l) selected_[l] = has_data_[l];
    FillLayerRows();
  });
  connect(all_off, &QPushButton::clicked, this, [this] {
    selected_.fill(false);
    FillLayerRows();
  });
  connect(default_ext_, &QCheckBox::toggled, this,
          [this](bool on) { job_->options.default_ext = on ? 1 : 0; });
  connect(ok, &QPushButton::clicked, this, &CLayersDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CLayersDlg::reject);

  const bool list_empty = job_->layers.selected.empty();
  for (int l = 0; l < MaxLayer(); ++l) {
    if (!job_->scan.LayerHasData(l)) continue;
    has_data_[l] = true;
    if (job_->layers.output_names[l].empty()) {
      MakeIntermediateName(&job_->layers, l, job_->InWorkingDir(DefaultName(l)));
    }
    selected_[l] = list_empty;
  }
  for (int l : job_->layers.selected) {
    if (l >= 0 && l < kGdsLayerCount) selected_[l] = true;
  }
  FillLayerRows();
}

// The dialog offers every GDS layer; the MAX_LAYER record is the engine's business.
int CLayersDlg::MaxLayer() const { return kGdsLayerCount; }

std::string CLayersDlg::DefaultName(int layer) const {
  return job_->scan.top + std::to_string(layer) + DefaultExtension(job_->options.output_format);
}

std::string CLayersDlg::DisplayName(int layer) const {
  const std::string& name = job_->layers.output_names[layer];
  if (name.empty()) return has_data_[layer] ? DefaultName(layer) : std::string();
  std::string directory, file;
  SplitPath(name, &directory, &file);
  return !job_->working_dir.empty() && SamePath(directory, job_->working_dir) ? file : name;
}

std::string CLayersDlg::FullName(const std::string& text) const {
  std::string directory;
  SplitPath(text, &directory, nullptr);
  return directory.empty() ? job_->InWorkingDir(text) : text;
}

void CLayersDlg::FillLayerRows() {
  filling_ = true;
  for (int row = 0; row < kLayerRows; ++row) {
    const int layer = first_ + row;
    const QString number = QString::number(layer);
    checks_[row]->setText(number);
    checks_[row]->setAccessibleName("GDS Layer " + number);
    checks_[row]->setEnabled(has_data_[layer]);
    checks_[row]->setChecked(selected_[layer]);
    edits_[row]->setText(Q(DisplayName(layer)));
    edits_[row]->setAccessibleName("PG Output File Name " + number);
  }
  filling_ = false;
}

void CLayersDlg::CollectLayerRows() {
  for (int row = 0; row < kLayerRows; ++row) {
    const int layer = first_ + row;
    const std::string text = edits_[row]->text().trimmed().toStdString();
    MakeIntermediateName(&job_->layers, layer, text.empty() ? text : FullName(text));
    selected_[layer] = checks_[row]->isChecked();
  }
}

void CLayersDlg::LayerRowChanged(int row) {
  const int layer = first_ + row;
  const std::string typed = edits_[row]->text().trimmed().toStdString();
  std::string result = typed;
  if (has_data_[layer]) {
    const char* extension = DefaultExtension(job_->options.output_format);
    if (typed.empty()) {
      result = DefaultName(layer);
    } else if (job_->options.default_ext) {
      result = ReplaceExtension(typed, extension);
    }
    if (result != typed) {
      filling_ = true;
      edits_[row]->setText(Q(result));
      filling_ = false;
    }
  }
  MakeIntermediateName(&job_->layers, layer, result.empty() ? result : FullName(result));
}

void CLayersDlg::accept() {
  CollectLayerRows();
  if (job_->options.default_ext) {
    ApplyDefaultExtension(&job_->layers, MaxLayer(), DefaultExtension(job_->options.output_format));
  }
  std::vector<int> list;
  for (int l = 0; l < MaxLayer(); ++l) {
    if (has_data_[l] && selected_[l]) list.push_back(l);
  }
  if (list.empty()) {
    ShowMessage("No layers are selected for translation.", "Tabrun", MessageIcon::kWarning);
    return;
  }
  // A selected layer without a name gets the default one, so no layer is left out.
  for (int l : list) {
    if (job_->layers.output_names[l].empty()) {
      MakeIntermediateName(&job_->layers, l, job_->InWorkingDir(DefaultName(l)));
    }
  }
  job_->layers.selected = list;
  const std::vector<int> renamed = MakeOutputNamesUnique(&job_->layers);
  if (!renamed.empty()) {
    std::string text = "These layers shared an output file with another layer and were renamed:";
    for (int l : renamed) text += "\n" + std::to_string(l) + " " + job_->layers.output_names[l];
    ShowMessage(text, "Tabrun", MessageIcon::kInformation);
  }
  QDialog::accept();
}

void CLayersDlg::reject() {
  // The names typed in this dialog are undone with it.
  for (int l = 0; l < kGdsLayerCount; ++l) {
    MakeIntermediateName(&job_->layers, l, saved_names_[l]);
  }
  QDialog::reject();
}

}  // namespace kavrinth
