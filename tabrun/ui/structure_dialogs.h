// The structure dialogs: Structure Selection (modeless, every structure of the scan), and
// beside it Structure Information (extents and element counts) and Structure Dependencies
// (the reference tree); Report writes the structure report and opens it.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "tabrun/core/tabrun_job.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace kavrinth {

enum StructureDialogControl : int {
  kStructList = 1000,
  kStructName = 1001,
  kStructInfo = 1470,
  kStructDependence = 1471,
  kStructReport = 1479,
  // Structure Information fields.
  kInfoMin = 1475,
  kInfoMax = 1472,
  kInfoBoundary = 1001,
  kInfoPath = 1002,
  kInfoSRef = 1473,
  kInfoARef = 1163,
  kInfoText = 1474,
  // Structure Dependencies text.
  kDependText = 1476,
};

class CStructInfoDlg : public QDialog {
  Q_OBJECT

 public:
  CStructInfoDlg(QWidget* owner, const ScanModel& scan);
  void ShowStructure(const std::string& name);

 private:
  const ScanModel& scan_;
};

class CStructDependDlg : public QDialog {
  Q_OBJECT

 public:
  CStructDependDlg(QWidget* owner, const ScanModel& scan);
  void ShowStructure(const std::string& name);

 private:
  const ScanModel& scan_;
  QPlainTextEdit* text_ = nullptr;
};

class CStructSelectDlg : public QDialog {
  Q_OBJECT

 public:
  // refresh runs after OK (also after an OK refused for an empty structure); report_dir and
  // template_path place the structure report.
  CStructSelectDlg(QWidget* owner, TabrunJob* job, std::string report_dir,
                   std::string template_path, std::function<void()> refresh);

  const std::string& selected_name() const { return selected_; }
  CStructInfoDlg* info() const { return info_; }
  CStructDependDlg* dependencies() const { return depend_; }
  // The report's path once written.
  std::string ReportPath() const;

  void accept() override;
  void reject() override;

 private:
  void Select(const std::string& name);
  void OnReport();

  TabrunJob* job_;
  std::string report_dir_;
  std::string template_path_;
  std::function<void()> refresh_;
  QLineEdit* name_ = nullptr;
  QListWidget* list_ = nullptr;
  CStructInfoDlg* info_ = nullptr;
  CStructDependDlg* depend_ = nullptr;
  std::string selected_;
  bool suspended_ = false;
};

}  // namespace kavrinth
