// The Layers dialog (CLayersDlg, "Layers Settings"): which GDS layers are translated and the
// PG output file of each, 32 layers at a time in two columns with a scroll bar.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "tabrun/core/tabrun_job.h"

class QCheckBox;
class QLineEdit;
class QScrollBar;

namespace kavrinth {

enum LayersDialogControl : int {
  kLayersScroll = 1046,
  kLayersUp = 1139,
  kLayersDown = 1140,
  kLayersAllOn = 1146,
  kLayersAllOff = 1147,
  kLayersDefaultExt = 1246,
  // Rows: check box kLayerCheckBase + row, edit kLayerEditBase + row (row 0..31).
  kLayerCheckBase = 2000,
  kLayerEditBase = 2100,
};

inline constexpr int kLayerRows = 32;

class CLayersDlg : public QDialog {
  Q_OBJECT

 public:
  CLayersDlg(QWidget* owner, TabrunJob* job);

  int first_shown() const { return first_; }
  void accept() override;
  void reject() override;

  // The row's edit lost the focus (or Enter): completes and stores its name.
  void LayerRowChanged(int row);

 private:
  void FillLayerRows();
  void CollectLayerRows();
  std::string DisplayName(int layer) const;
  std::string FullName(const std::string& text) const;
  std::string DefaultName(int layer) const;
  int MaxLayer() const;

  TabrunJob* job_;
  std::array<std::string, kGdsLayerCount> saved_names_;  // restored by Cancel
  std::array<bool, kGdsLayerCount> has_data_{};
  std::array<bool, kGdsLayerCount> selected_{};
  std::array<QCheckBox*, kLayerRows> checks_{};
  std::array<QLineEdit*, kLayerRows> edits_{};
  QScrollBar* scroll_ = nullptr;
  QCheckBox* default_ext_ = nullptr;
  int first_ = 0;
  bool filling_ = false;
};

}  // namespace kavrinth
