// The Configuration property sheet and the Text Font Settings dialog.
#include "tabrun/ui/configuration_sheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "support/args.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "tabrun/core/layer_output_table.h"

namespace kavrinth {
namespace {

constexpr double kMilsToMicrons = 25.4;

QString Real(double value) { return QString::fromStdString(FormatReal(value, 1e-12, 30)); }

std::optional<double> ParseReal(const QString& text) {
  const std::string s = text.trimmed().toStdString();
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

QLineEdit* Edit(QWidget* owner, QFormLayout* form, int id, const char* label, const QString& value,
                QLabel* unit = nullptr) {
  auto* edit = new QLineEdit(value, owner);
  edit->setObjectName(ControlObjectName(id));
  edit->setAccessibleName(label);
  if (unit == nullptr) {
    form->addRow(label, edit);
  } else {
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    row->addWidget(unit);
    form->addRow(label, row);
  }
  return edit;
}

QButtonGroup* Radios(QWidget* owner, QBoxLayout* layout,
                     std::initializer_list<std::pair<int, const char*>> items, int checked) {
  auto* group = new QButtonGroup(owner);
  int index = 0;
  for (const auto& [id, text] : items) {
    auto* radio = new QRadioButton(text, owner);
    radio->setObjectName(ControlObjectName(id));
    radio->setAccessibleName(*text ? text : "Level");
    group->addButton(radio, index);
    layout->addWidget(radio);
    if (index == checked) radio->setChecked(true);
    ++index;
  }
  return group;
}

QCheckBox* Check(QWidget* owner, int id, const char* text, bool checked) {
  auto* box = new QCheckBox(text, owner);
  box->setObjectName(ControlObjectName(id));
  box->setAccessibleName(text);
  box->setChecked(checked);
  return box;
}

}  // namespace

CFontSettingsDlg::CFontSettingsDlg(QWidget* owner, std::array<double, 4>* scales)
    : QDialog(owner), scales_(scales) {
  setWindowTitle("Text Font Settings");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox("Font Scale", this);
  auto* form = new QFormLayout(group);
  for (int i = 0; i < 4; ++i) {
    const std::string label = "Font " + std::to_string(i);
    edits_[i] = Edit(group, form, kFontScale0 + i, label.c_str(), Real((*scales)[i]));
  }
  layout->addWidget(group);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(ControlObjectName(1));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(ControlObjectName(2));
  connect(buttons, &QDialogButtonBox::accepted, this, &CFontSettingsDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void CFontSettingsDlg::accept() {
  std::array<double, 4> values{};
  for (int i = 0; i < 4; ++i) {
    const std::optional<double> v = ParseReal(edits_[i]->text());
    if (!v || !FontScaleValid(*v)) {
      ShowMessage("Please enter a number between 1e-007 and 1e+006.", "Tabrun",
                  MessageIcon::kWarning);
      edits_[i]->setFocus();
      edits_[i]->selectAll();
      return;
    }
    values[i] = *v;
  }
  *scales_ = values;
  QDialog::accept();
}

COptionsDlgSheet::COptionsDlgSheet(QWidget* owner, TabrunJob* job)
    : QDialog(owner), job_(job), font_scales_(job->options.font_scales) {
  setWindowTitle("Configuration");
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  tabs_->addTab(BuildOptionsPage(), "Options");
  tabs_->addTab(BuildMaskPage(), "Mask Options");
  tabs_->addTab(BuildOutputPage(), "Output");
  layout->addWidget(tabs_);
  layout->addWidget(OkCancelButtons(this));
}

QWidget* COptionsDlgSheet::BuildOptionsPage() {
  const TabrunOptions& o = job_->options;
  const char* unit = IsMilUnit(job_->scan.gds_unit) ? "mil" : "um";
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* form = new QFormLayout;
  auto* gds_unit =
      Edit(page, form, kOptGdsUnit, "GDS Unit", QString::fromStdString(job_->scan.gds_unit));
  gds_unit->setReadOnly(true);
  auto* grid = Edit(page, form, kOptGdsGrid, "GDS Grid", QString::number(job_->scan.resolution));
  grid->setReadOnly(true);
  scale_ = Edit(page, form, kOptScale, "Scale", Real(o.scale));
  compensation_ = Edit(page, form, kOptCompensation, "Compensation", Real(o.compensation),
                       new QLabel(unit, page));
  angle_ = Edit(page, form, kOptAngle, "Angle", Real(o.small_angle), new QLabel("deg", page));
  feature_ = Edit(page, form, kOptFeatureSize, "Feature Size", Real(o.feature_size),
                  new QLabel(unit, page));
  layout->addLayout(form);

  auto* verify_box = new QGroupBox(" Verify Level ", page);
  auto* verify_layout = new QHBoxLayout(verify_box);
  verify_ =
      Radios(page, verify_layout,
             {{kOptVerifyNone, "None"}, {kOptVerifyDynamic, "Dynamic Grid"}, {kOptVerifyLevel, ""}},
             std::min(o.verify, 2));
  verify_value_ = new QLineEdit(o.verify >= 2 ? QString::number(o.verify) : QString(), verify_box);
  verify_value_->setObjectName(ControlObjectName(kOptVerifyValue));
  verify_value_->setAccessibleName("(2-10)");
  verify_value_->setEnabled(o.verify >= 2);
  verify_layout->addWidget(verify_value_);
  verify_layout->addWidget(new QLabel("(2-10)", verify_box));
  connect(verify_, &QButtonGroup::idClicked, this,
          [this](int id) { verify_value_->setEnabled(id == 2); });
  layout->addWidget(verify_box);

  auto* optimize_box = new QGroupBox(" Optimization ", page);
  auto* optimize_layout = new QHBoxLayout(optimize_box);
  optimize_ =
      Radios(page, optimize_layout,
             {{kOptOff, "Off"}, {kOptLow, "Low"}, {kOptMedium, "Medium"}, {kOptHigh, "High"}},
             o.optimize_level);
  layout->addWidget(optimize_box);

  auto* mode_box = new QGroupBox(" Data Mode (for filling) ", page);
  auto* mode_layout = new QHBoxLayout(mode_box);
  data_mode_ = Radios(page, mode_layout,
                      {{kOptManhattan, "Manhattan Data (90 deg.)"}, {kOptComplex, "Complex Data"}},
                      o.manhattan);
  layout->addWidget(mode_box);

  auto* text_row = new QHBoxLayout;
  text_ = Check(page, kOptText, "Text", o.translate_text != 0);
  font_button_ = new QPushButton("Scale...", page);
  font_button_->setObjectName(ControlObjectName(kOptFontScale));
  font_button_->setAccessibleName("Scale");
  font_button_->setEnabled(o.translate_text != 0);
  connect(text_, &QCheckBox::toggled, font_button_, &QPushButton::setEnabled);
  connect(font_button_, &QPushButton::clicked, this, [this] {
    CFontSettingsDlg dialog(this, &font_scales_);
    RunModal(dialog, QDialog::Rejected);
  });
  text_row->addWidget(text_);
  text_row->addWidget(font_button_);
  layout->addLayout(text_row);
  return page;
}

QWidget* COptionsDlgSheet::BuildMaskPage() {
  const TabrunOptions& o = job_->options;
  shown_unit_ = o.mask_unit;
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* unit_row = new QHBoxLayout;
  mask_unit_ = Radios(page, unit_row, {{kMaskMicrons, "um"}, {kMaskMils, "mils"}}, o.mask_unit);
  layout->addLayout(unit_row);
  auto* form = new QFormLayout;
  const char* unit = o.mask_unit == 1 ? "mils" : "um";
  for (QLabel*& label : unit_labels_) label = new QLabel(unit, page);
  min_ =
      Edit(page, form, kMaskMin, "Minimum Flash Dimension", Real(o.min_dimension), unit_labels_[0]);
  max_ =
      Edit(page, form, kMaskMax, "Maximum Flash Dimension", Real(o.max_dimension), unit_labels_[1]);
  sag_ = Edit(page, form, kMaskSag, "Sag Value", Real(o.mask_sag), unit_labels_[2]);
  overlap_ =
      Edit(page, form, kMaskOverlap, "Percent Overlap (0-50%)", QString::number(o.overlap_percent));
  auto* output_unit = Edit(page, form, kMaskOutputUnit, "Mask Output Unit",
                           IsMilUnit(job_->scan.gds_unit) ? "MIL" : "UM");
  output_unit->setReadOnly(true);
  layout->addLayout(form);
  connect(mask_unit_, &QButtonGroup::idClicked, this, &COptionsDlgSheet::SwitchMaskUnit);
  return page;
}

void COptionsDlgSheet::SwitchMaskUnit(int unit) {
  // unit: radio index 0 um, 1 mils.
  if (unit != shown_unit_) {
    const double factor = unit == 0 ? kMilsToMicrons : 1.0 / kMilsToMicrons;
    for (QLineEdit* edit : {min_, max_, sag_}) {
      if (const std::optional<double> v = ParseReal(edit->text())) edit->setText(Real(*v * factor));
    }
  }
  shown_unit_ = unit;
  for (QLabel* label : unit_labels_) label->setText(unit == 0 ? "um" : "mils");
}

QWidget* COptionsDlgSheet::BuildOutputPage() {
  const TabrunOptions& o = job_->options;
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* box = new QGroupBox("Output Format", page);
  auto* box_layout = new QVBoxLayout(box);
  const int index = o.output_format >= kFormatDraftek ? 3 : o.output_format;
  format_ = Radios(page, box_layout,
                   {{kOutEmask, "EMask"},
                    {kOutMann3000, "Mann 3000"},
                    {kOutMann3600, "Mann 3600"},
                    {kOutIntermediate, "Intermediate"}},
                   index);
  layout->addWidget(box);
  disk_buffer_ = Check(page, kOutDiskBuffer, "Use disk for PG buffer", o.pg_disk_buffer != 0);
  shorten_ =
      Check(page, kOutShorten, "Shorten flashes to correct for odd angles", o.shorten_flashes != 0);
  layout->addWidget(disk_buffer_);
  layout->addWidget(shorten_);
  return page;
}

void COptionsDlgSheet::Refuse(QLineEdit* edit, const std::string& text) {
  // The page of the field comes to the front, with the focus on the field.
  QWidget* page = edit->parentWidget();
  while (page != nullptr && tabs_->indexOf(page) < 0) page = page->parentWidget();
  if (page != nullptr) tabs_->setCurrentWidget(page);
  ShowMessage(text, "Configuration", MessageIcon::kWarning);
  edit->setFocus();
  edit->selectAll();
}

std::optional<double> COptionsDlgSheet::RealField(QLineEdit* edit, const char* label, double low,
                                                  double high, bool low_open, bool high_open) {
  const std::optional<double> v = ParseReal(edit->text());
  const bool ok = v && (low_open ? *v > low : *v >= low) && (high_open ? *v < high : *v <= high);
  if (ok) return v;
  Refuse(edit, std::string(label) + ": please enter a number " + (low_open ? "above " : "from ") +
                   FormatReal(low, 1e-12) + (high_open ? " and below " : " to ") +
                   FormatReal(high, 1e-12) + ".");
  return std::nullopt;
}

void COptionsDlgSheet::accept() {
  // Every page is checked, with the ranges the engine and the PG library accept.
  const auto scale = RealField(scale_, "Scale", 1e-6, 1e6, true, true);
  if (!scale) return;
  if (!ScaleValid(*scale)) {
    Refuse(scale_, "Scale: please enter a number the engine takes (0.000002 to 999999.999999).");
    return;
  }
  const auto compensation = RealField(compensation_, "Compensation", -1e6, 1e6, false, false);
  if (!compensation) return;
  const auto angle = RealField(angle_, "Angle", 0, 90, false, false);
  if (!angle) return;
  const auto feature = RealField(feature_, "Feature Size", 0, 1e6, true, true);
  if (!feature) return;
  if (!FeatureSizeValid(*feature)) {
    Refuse(feature_,
           "Feature Size: please enter a number the engine takes (0.000001 to "
           "999999.999999).");
    return;
  }
  int verify = verify_->checkedId();
  if (verify == 2) {
    const auto level = RealField(verify_value_, "Verify level (2-10)", 2, 10, false, false);
    if (!level) return;
    if (*level != std::floor(*level)) {
      Refuse(verify_value_, "Verify level: please enter a whole number from 2 to 10.");
      return;
    }
    verify = static_cast<int>(*level);
  }
  const auto min = RealField(min_, "Minimum Flash Dimension", 0, 1e6, false, true);
  if (!min) return;
  const auto max = RealField(max_, "Maximum Flash Dimension", 0, 1e6, true, true);
  if (!max) return;
  const auto sag = RealField(sag_, "Sag Value", 0, 1e6, false, true);
  if (!sag) return;
  const auto overlap = RealField(overlap_, "Percent Overlap", 0, 50, false, false);
  if (!overlap) return;
  if (*overlap != std::floor(*overlap)) {
    Refuse(overlap_, "Percent Overlap: please enter a whole number from 0 to 50.");
    return;
  }

  // The scaled feature size against the minimum flash dimension, in the GDS unit.
  const bool gds_mils = IsMilUnit(job_->scan.gds_unit);
  const int mask_unit = mask_unit_->checkedId() == 1 ? 1 : 0;
  double minimum = *min;
  if (mask_unit == 1 && !gds_mils) minimum *= kMilsToMicrons;
  if (mask_unit == 0 && gds_mils) minimum /= kMilsToMicrons;
  const char* unit_word = gds_mils ? " mils" : " um";
  if (*scale * *feature * 1.01 <= minimum) {
    ShowMessage("Scale (" + FormatReal(*scale, 1e-12) + ") multiplied by Feature Size (" +
                    FormatReal(*feature, 1e-12) + unit_word +
                    ")\nis less than Min. Flash Dimension (" + FormatReal(minimum, 1e-12) +
                    unit_word + ").",
                "Configuration", MessageIcon::kWarning);
  }

  TabrunOptions& o = job_->options;
  o.small_angle = *angle;
  o.compensation = *compensation;
  o.optimize_level = std::max(0, optimize_->checkedId());
  o.manhattan = std::max(0, data_mode_->checkedId());
  o.scale = *scale;
  o.verify = std::max(0, verify);
  o.feature_size = *feature;
  o.translate_text = text_->isChecked() ? 1 : 0;
  o.font_scales = font_scales_;
  o.max_dimension = *max;
  o.min_dimension = *min;
  o.mask_sag = *sag;
  o.mask_unit = mask_unit;
  o.overlap_percent = static_cast<int32_t>(*overlap);
  o.pg_disk_buffer = disk_buffer_->isChecked() ? 1 : 0;
  o.shorten_flashes = shorten_->isChecked() ? 1 : 0;
  const int format = format_->checkedId();
  o.output_format = format == 3 ? kFormatIntermediate : std::max(0, format);
  if (o.default_ext) {
    ApplyDefaultExtension(&job_->layers, kGdsLayerCount, DefaultExtension(o.output_format));
  }
  QDialog::accept();
}

}  // namespace kavrinth
