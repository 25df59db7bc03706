// The Translator Settings dialog: the scale edit is only open for Mann input, and a scale
// typed for Mann comes back after a visit to Electromask.
#include "corvane/ui/translator_settings_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "corvane/core/settings.h"
#include "corvane/core/translate.h"
#include "corvane/ui/commands.h"
#include "corvane/ui/main_window.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"

namespace kavrinth {

namespace {

QRadioButton* Radio(const char* text, int id, QWidget* parent) {
  auto* radio = new QRadioButton(QString::fromUtf8(text), parent);
  radio->setObjectName(ControlObjectName(id));
  radio->setAccessibleName(radio->text().remove('&'));
  return radio;
}

}  // namespace

TranslatorSettingsDialog::TranslatorSettingsDialog(CorvaneOptions& options, QWidget* parent)
    : QDialog(parent), options_(options) {
  setWindowTitle("Translator Settings");
  auto* layout = new QVBoxLayout(this);
  auto* format_box = new QGroupBox(" Input Files Format ", this);
  auto* format_layout = new QVBoxLayout(format_box);
  const char* format_texts[] = {"Electromask Files", "Mann 3000 Files", "Mann 3600 Files"};
  for (int i = 0; i < 3; ++i) {
    formats_[i] = Radio(format_texts[i], kTsElectromask + i, format_box);
    format_layout->addWidget(formats_[i]);
  }
  auto* unit_box = new QGroupBox(" Input Unit ", this);
  auto* unit_layout = new QVBoxLayout(unit_box);
  units_[0] = Radio("English (mil)", kTsMil, unit_box);
  units_[1] = Radio("Metric (um)", kTsMicron, unit_box);
  unit_layout->addWidget(units_[0]);
  unit_layout->addWidget(units_[1]);
  auto* scale_box = new QGroupBox(" Scale ", this);
  auto* scale_layout = new QHBoxLayout(scale_box);
  scale_edit_ = new QLineEdit(scale_box);
  scale_edit_->setObjectName(ControlObjectName(kTsScale));
  scale_edit_->setAccessibleName("Scale");
  scale_layout->addWidget(scale_edit_);
  auto* top = new QHBoxLayout;
  top->addWidget(format_box);
  top->addWidget(unit_box);
  layout->addLayout(top);
  layout->addWidget(scale_box);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(ControlObjectName(kIdOk));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(ControlObjectName(kIdCancel));
  QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
  help->setObjectName(ControlObjectName(kTsHelp));
  help->setAccessibleName("Help");
  connect(help, &QPushButton::clicked, this, [this] { ShowHelp(this, kTsHelp); });
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* format_group = new QButtonGroup(this);
  for (QRadioButton* radio : formats_) format_group->addButton(radio);
  auto* unit_group = new QButtonGroup(this);
  for (QRadioButton* radio : units_) unit_group->addButton(radio);
  connect(formats_[0], &QRadioButton::clicked, this, [this] { OnElectromask(); });
  connect(formats_[1], &QRadioButton::clicked, this, [this] { OnMann(kFilesMann3000); });
  connect(formats_[2], &QRadioButton::clicked, this, [this] { OnMann(kFilesMann3600); });

  scale_ = options_.scale;
  format_ = options_.files_format;
  unit_ = options_.files_unit;
  WriteControls();
  if (format_ == kFilesElectromask) {
    scale_edit_->setEnabled(false);
    scale_edit_->setText("1.0");
  }
}

void TranslatorSettingsDialog::WriteControls() {
  for (int i = 0; i < 3; ++i) formats_[i]->setChecked(i == format_);
  for (int i = 0; i < 2; ++i) units_[i]->setChecked(i == unit_);
  scale_edit_->setText(QString::fromStdString(FormatScaleSetting(scale_)));
  scale_edit_->setEnabled(true);
}

bool TranslatorSettingsDialog::ReadControls(bool with_scale) {
  for (int i = 0; i < 3; ++i) {
    if (formats_[i]->isChecked()) format_ = i;
  }
  for (int i = 0; i < 2; ++i) {
    if (units_[i]->isChecked()) unit_ = i;
  }
  if (!with_scale) return true;
  bool number = false;
  const double scale = scale_edit_->text().trimmed().toDouble(&number);
  if (!number) {
    ShowMessage("Please enter a number.", "Translator Settings", MessageIcon::kWarning);
  } else if (!IsScaleInRange(scale)) {
    ShowMessage("Please enter a number between 1e-08 and 1000000.", "Translator Settings",
                MessageIcon::kWarning);
  } else {
    scale_ = scale;
    return true;
  }
  scale_edit_->setFocus();
  scale_edit_->selectAll();
  return false;
}

void TranslatorSettingsDialog::OnElectromask() {
  // The scale typed so far is remembered for a return to Mann.
  ReadControls(scale_edit_->isEnabled());
  format_ = kFilesElectromask;
  scale_edit_->setEnabled(false);
  scale_edit_->setText("1.0");
}

void TranslatorSettingsDialog::OnMann(int format) {
  // Coming from Electromask, the "1.0" shown is not a scale the user gave.
  ReadControls(scale_edit_->isEnabled());
  format_ = format;
  WriteControls();
}

void TranslatorSettingsDialog::accept() {
  if (!ReadControls(format_ != kFilesElectromask)) return;
  options_.files_format = format_;
  options_.files_unit = unit_;
  if (format_ != kFilesElectromask) options_.scale = scale_;
  QDialog::accept();
}

}  // namespace kavrinth
