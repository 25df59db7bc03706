// Merge Layers: loaded WF2 layers assigned to named merge files, merged into new WF2 files
// beside the first layer's file and added to the job; existing files are overwritten only
// after the confirmation dialog.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

namespace kavrinth {

class CMergeConfirmDlg : public QDialog {
  Q_OBJECT

 public:
  CMergeConfirmDlg(const std::vector<std::string>& existing, QWidget* parent);
  QListWidget* list() const { return list_; }

 private:
  QListWidget* list_;
};

class CMergeLayersDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CMergeLayersDlg(QWidget* parent);

  QLineEdit* name_edit() const { return name_; }
  QListWidget* merge_files() const { return merge_list_; }
  QListWidget* wf2_files() const { return wf2_list_; }
  QListWidget* layer_rows() const { return rows_; }
  // Whether OK merged at least one file into the job.
  bool merged() const { return merged_; }
  // The merge log written by the last merge (empty before).
  const std::string& log_path() const { return log_path_; }
  // Adds the name in the edit as a merge file; appends a loaded layer (a row of the WF2
  // Files list) to the current merge file.
  void OnAdd();
  void OnDelete();
  void AddLayer(int row);
  void OnDeleteRow();
  // OK: checks the names, asks before overwriting, merges and adds the outputs to the job.
  void accept() override;

 private:
  struct MergeFile {
    std::string name;
    std::vector<int> layers;  // layer-table entries
  };
  void FillRows();
  void OnMergeFileChanged(int row);
  std::string FirstLayerName() const;

  QLineEdit* name_;
  QListWidget* merge_list_;
  QListWidget* wf2_list_;
  QListWidget* rows_;
  std::vector<MergeFile> files_;
  std::vector<int> layer_map_;  // WF2 Files row -> layer-table entry
  int current_ = 0;
  bool merged_ = false;
  std::string log_path_;
};

}  // namespace kavrinth
