// The Configuration property sheet (COptionsDlgSheet): the pages Options, Mask Options and
// Output, and the Text Font Settings dialog. OK checks every page, warns when the scaled
// feature size is below the minimum flash dimension, and stores the options.
#pragma once

#include <QDialog>
#include <array>
#include <optional>
#include <string>

#include "tabrun/core/tabrun_job.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kavrinth {

enum ConfigurationControl : int {
  // Options page.
  kOptGdsUnit = 1233,
  kOptGdsGrid = 1234,
  kOptScale = 1164,
  kOptCompensation = 1168,
  kOptAngle = 1181,
  kOptFeatureSize = 1239,
  kOptVerifyNone = 1235,
  kOptVerifyDynamic = 1236,
  kOptVerifyLevel = 1237,
  kOptVerifyValue = 1240,
  kOptOff = 1184,
  kOptLow = 1180,
  kOptMedium = 1171,
  kOptHigh = 1167,
  kOptManhattan = 1230,
  kOptComplex = 1231,
  kOptText = 1243,
  kOptFontScale = 1252,
  // Mask Options page (ids of their own page).
  kMaskMicrons = 2167,
  kMaskMils = 2171,
  kMaskMin = 2168,
  kMaskMax = 2177,
  kMaskSag = 2181,
  kMaskOverlap = 2253,
  kMaskOutputUnit = 2249,
  // Output page.
  kOutEmask = 1269,
  kOutMann3000 = 1270,
  kOutMann3600 = 1271,
  kOutIntermediate = 1272,
  kOutDiskBuffer = 1267,
  kOutShorten = 1268,
  // Text Font Settings.
  kFontScale0 = 3251,
};

class CFontSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  CFontSettingsDlg(QWidget* owner, std::array<double, 4>* scales);
  void accept() override;

 private:
  std::array<double, 4>* scales_;
  std::array<QLineEdit*, 4> edits_{};
};

class COptionsDlgSheet : public QDialog {
  Q_OBJECT

 public:
  COptionsDlgSheet(QWidget* owner, TabrunJob* job);
  QTabWidget* tabs() const { return tabs_; }
  void accept() override;

 private:
  QWidget* BuildOptionsPage();
  QWidget* BuildMaskPage();
  QWidget* BuildOutputPage();
  void SwitchMaskUnit(int unit);
  void Refuse(QLineEdit* edit, const std::string& text);
  // The value of a real field, or nothing after a message that put the focus there.
  std::optional<double> RealField(QLineEdit* edit, const char* label, double low, double high,
                                  bool low_open, bool high_open);

  TabrunJob* job_;
  QTabWidget* tabs_ = nullptr;
  std::array<double, 4> font_scales_;  // the working copy
  QLineEdit* scale_ = nullptr;
  QLineEdit* compensation_ = nullptr;
  QLineEdit* angle_ = nullptr;
  QLineEdit* feature_ = nullptr;
  QLineEdit* verify_value_ = nullptr;
  QButtonGroup* verify_ = nullptr;
  QButtonGroup* optimize_ = nullptr;
  QButtonGroup* data_mode_ = nullptr;
  QCheckBox* text_ = nullptr;
  QPushButton* font_button_ = nullptr;
  QButtonGroup* mask_unit_ = nullptr;
  QLineEdit* min_ = nullptr;
  QLineEdit* max_ = nullptr;
  QLineEdit* sag_ = nullptr;
  QLineEdit* overlap_ = nullptr;
  std::array<QLabel*, 3> unit_labels_{};
  int shown_unit_ = 1;
  QButtonGroup* format_ = nullptr;
  QCheckBox* disk_buffer_ = nullptr;
  QCheckBox* shorten_ = nullptr;
};

}  // namespace kavrinth
