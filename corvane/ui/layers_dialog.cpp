// The Layers Settings dialog: 32 rows over at most 64 files, validated layer texts, and the
// engine job file written at OK.
#include "corvane/ui/layers_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "corvane/core/engine_job_file.h"
#include "corvane/ui/commands.h"
#include "corvane/ui/main_window.h"
#include "platform/ini.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/run_program.h"

namespace kavrinth {

const std::array<LayerRowIds, kLayerRows> kLayerRowIds = {{
    {1044, 1042}, {1050, 1048}, {1077, 1051}, {1080, 1053}, {1086, 1055}, {1089, 1057},
    {1092, 1059}, {1095, 1061}, {1098, 1063}, {1101, 1065}, {1104, 1067}, {1107, 1069},
    {1110, 1071}, {1113, 1073}, {1116, 1075}, {1119, 1078}, {1045, 1047}, {1081, 1085},
    {1082, 1091}, {1083, 1097}, {1087, 1103}, {1090, 1109}, {1093, 1115}, {1096, 1121},
    {1099, 1123}, {1102, 1125}, {1105, 1127}, {1108, 1129}, {1111, 1131}, {1114, 1133},
    {1117, 1135}, {1120, 1137},
}};

namespace {

constexpr const char* kCaption = "Layers Settings";

QPushButton* Button(const char* text, int id, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(ControlObjectName(id));
  button->setAccessibleName(QString(text).remove('&'));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

LayersDialog::LayersDialog(CorvaneSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setWindowTitle(kCaption);
  auto* layout = new QHBoxLayout(this);
  auto* grid = new QGridLayout;
  for (int column = 0; column < 2; ++column) {
    grid->addWidget(new QLabel("EM/Mann File", this), 0, column * 3);
    grid->addWidget(new QLabel("GDS Layer", this), 0, column * 3 + 1);
  }
  for (int r = 0; r < kLayerRows; ++r) {
    const int row = 1 + r % 16;
    const int column = (r / 16) * 3;
    checks_[r] = new QCheckBox(this);
    checks_[r]->setObjectName(ControlObjectName(kLayerRowIds[r].check));
    edits_[r] = new QLineEdit(this);
    edits_[r]->setObjectName(ControlObjectName(kLayerRowIds[r].edit));
    edits_[r]->setAccessibleName("GDS Layer");
    edits_[r]->setMaximumWidth(70);
    edits_[r]->installEventFilter(this);
    engine_layers_[r] = new QLabel(this);
    engine_layers_[r]->setAccessibleName("Engine layer");
    engine_layers_[r]->setMinimumWidth(90);
    grid->addWidget(checks_[r], row, column);
    grid->addWidget(edits_[r], row, column + 1);
    grid->addWidget(engine_layers_[r], row, column + 2);
    connect(edits_[r], &QLineEdit::textChanged, this, [this, r] { ShowEngineLayer(r); });
  }
  scroll_bar_ = new QScrollBar(Qt::Vertical, this);
  scroll_bar_->setObjectName(ControlObjectName(kLayersScrollBar));
  scroll_bar_->setAccessibleName("Files");
  scroll_bar_->setRange(0, kLayerTopMaximum);
  scroll_bar_->setPageStep(kLayerRows);
  connect(scroll_bar_, &QScrollBar::actionTriggered, this, [this](int action) {
    const struct {
      int action;
      int request;
    } map[] = {{QAbstractSlider::SliderSingleStepSub, kScrollLineUp},
               {QAbstractSlider::SliderSingleStepAdd, kScrollLineDown},
               {QAbstractSlider::SliderPageStepSub, kScrollPageUp},
               {QAbstractSlider::SliderPageStepAdd, kScrollPageDown},
               {QAbstractSlider::SliderMove, kScrollThumbTrack}};
    for (const auto& m : map) {
      if (m.action == action) {
        Scroll(m.request, scroll_bar_->sliderPosition());
        // The position is ours: the slider shows top_ whatever it wanted.
        scroll_bar_->setSliderPosition(top_);
      }
    }
  });
  layout->addLayout(grid);
  layout->addWidget(scroll_bar_);
  auto* buttons = new QVBoxLayout;
  auto* ok = Button("OK", kIdOk, this);
  ok->setDefault(true);
  auto* cancel = Button("Cancel", kIdCancel, this);
  auto* all_on_button = Button("All On", kLayersAllOn, this);
  auto* all_off_button = Button("All Off", kLayersAllOff, this);
  auto* page_up = Button("PgUp", kLayersPageUp, this);
  auto* page_down = Button("PgDn", kLayersPageDown, this);
  auto* help = Button("Help", kLayersHelp, this);
  connect(help, &QPushButton::clicked, this, [this] { ShowHelp(this, kLayersHelp); });
  for (QPushButton* button :
       {ok, cancel, all_on_button, all_off_button, page_up, page_down, help}) {
    buttons->addWidget(button);
  }
  buttons->addStretch();
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &LayersDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(all_on_button, &QPushButton::clicked, this, &LayersDialog::AllOn);
  connect(all_off_button, &QPushButton::clicked, this, &LayersDialog::AllOff);
  connect(page_up, &QPushButton::clicked, this, [this] { Scroll(kScrollPageUp); });
  connect(page_down, &QPushButton::clicked, this, [this] { Scroll(kScrollPageDown); });

  // Files without a layer text get their position + 1, or the layer an earlier job gave the
  // same file at the same index.
  const bool all_on = session_.checked_file_indexes.empty();
  IniFile job;
  job.Load(JobFilePath(session_));
  for (int i = 0; i < kLayerDialogFiles; ++i) {
    if (!Present(i)) {
      checked_[i] = false;
      continue;
    }
    std::string& text = session_.input_file_layer_table[i];
    if (text.empty()) {
      text = LayerFromOldJob(job, i, session_.input_file_names[i]).value_or(std::to_string(i + 1));
    }
    checked_[i] = all_on;
  }
  if (!all_on) {
    size_t start = 0;
    const std::string& list = session_.checked_file_indexes;
    while (start <= list.size()) {
      size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      const std::string part = list.substr(start, comma - start);
      if (!part.empty() && part.size() < 4 &&
          part.find_first_not_of("0123456789") == std::string::npos) {
        const int index = std::stoi(part);
        if (index < kLayerDialogFiles) checked_[index] = true;
      }
      start = comma + 1;
    }
  }
  FillRows();
}

bool LayersDialog::Present(int index) const {
  return index >= 0 && static_cast<size_t>(index) < session_.input_file_names.size();
}

void LayersDialog::FillRows() {
  filling_ = true;
  for (int r = 0; r < kLayerRows; ++r) {
    const int i = top_ + r;
    const bool present = Present(i);
    const QString name = present ? QString::fromStdString(session_.input_file_names[i]) : "";
    checks_[r]->setText(name);
    checks_[r]->setAccessibleName(present ? name : QString("File %1").arg(i + 1));
    checks_[r]->setEnabled(present);
    std::string text = session_.input_file_layer_table[i];
    if (text.empty() && present) text = std::to_string(i + 1);
    edits_[r]->setText(QString::fromStdString(text));
    checks_[r]->setChecked(present && checked_[i]);
  }
  filling_ = false;
}

void LayersDialog::ShowEngineLayer(int row) {
  const std::string text = edits_[row]->text().toStdString();
  QString note;
  if (IsValidLayerText(text)) {
    const int engine = EngineLayerOf(text);
    if (engine == 0) {
      note = "GDS: next free";
    } else if (engine != std::stoi(text)) {
      note = QString("GDS: %1").arg(engine);
    }
  }
  engine_layers_[row]->setText(note);
}

bool LayersDialog::CollectRows() {
  for (int r = 0; r < kLayerRows; ++r) {
    if (Present(top_ + r)) checked_[top_ + r] = checks_[r]->isChecked();
  }
  for (int r = 0; r < kLayerRows; ++r) {
    const int i = top_ + r;
    const std::string text = edits_[r]->text().toStdString();
    if (text.empty()) {
      if (Present(i) && checked_[i]) {
        ShowMessage(
            "Please specify a GDS layer number for file " + session_.input_file_names[i] + ".",
            kCaption, MessageIcon::kWarning);
        edits_[r]->setFocus();
        return false;
      }
      session_.input_file_layer_table[i].clear();
    } else if (!IsValidLayerText(text)) {
      ShowMessage("GDS layer must be a number between 1 and 1024.", kCaption,
                  MessageIcon::kWarning);
      edits_[r]->setFocus();
      edits_[r]->selectAll();
      return false;
    } else {
      session_.input_file_layer_table[i] = text;
    }
  }
  return true;
}

void LayersDialog::Scroll(int request, int position) {
  if (request == kScrollEndScroll || request == kScrollThumbPosition) return;
  if (!CollectRows()) return;
  int top = top_;
  switch (request) {
    case kScrollLineUp:
      if (top > 0) --top;
      break;
    case kScrollLineDown:
      if (top < kLayerTopMaximum) ++top;
      break;
    case kScrollPageUp:
      top = std::max(0, top - kLayerRows);
      break;
    case kScrollPageDown:
      top = std::min(kLayerTopMaximum, top + kLayerRows);
      break;
    case kScrollThumbTrack:
      top = std::clamp(position, 0, kLayerTopMaximum);
      break;
    default:
      break;
  }
  top_ = top;
  scroll_bar_->setValue(top_);
  FillRows();
}

bool LayersDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && !filling_) {
    for (int r = 0; r < kLayerRows; ++r) {
      if (watched == edits_[r]) {
        session_.input_file_layer_table[top_ + r] = edits_[r]->text().toStdString();
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void LayersDialog::AllOn() {
  for (int i = 0; i < kLayerDialogFiles; ++i) {
    if (Present(i)) checked_[i] = true;
  }
  for (int r = 0; r < kLayerRows; ++r)
    checks_[r]->setChecked(Present(top_ + r) && checked_[top_ + r]);
}

void LayersDialog::AllOff() {
  checked_.fill(false);
  for (QCheckBox* check : checks_) check->setChecked(false);
}

void LayersDialog::accept() {
  if (!CollectRows()) return;
  std::vector<JobFileEntry> entries;
  std::string checked;
  for (int i = 0; i < kLayerDialogFiles; ++i) {
    if (!Present(i) || !checked_[i]) continue;
    const std::string& text = session_.input_file_layer_table[i];
    // A text stored when its edit lost the focus in an earlier, cancelled run was never
    // checked: it is checked before it is written.
    if (!IsValidLayerText(text)) {
      Scroll(kScrollThumbTrack, std::min(i, kLayerTopMaximum));
      ShowMessage(text.empty() ? "Please specify a GDS layer number for file " +
                                     session_.input_file_names[i] + "."
                               : "GDS layer must be a number between 1 and 1024.",
                  kCaption, MessageIcon::kWarning);
      return;
    }
    entries.push_back({text, InputFullPath(session_, i)});
    if (!checked.empty()) checked += ',';
    checked += std::to_string(i);
  }
  session_.checked_file_indexes = checked;
  if (checked.empty()) {
    ShowMessage("No layers are selected for translation.", kCaption, MessageIcon::kWarning);
    return;
  }
  const std::string job = JobFilePath(session_);
  if (!WriteEngineJobFile(job, entries)) {
    ShowMessage("The job file " + job + " cannot be written.", kCaption, MessageIcon::kStop);
    return;
  }
  QDialog::accept();
}

}  // namespace kavrinth
