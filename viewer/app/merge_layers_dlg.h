// Merge Layers: loaded WF2 layers assigned to named merge files, merged into new WF2 files
// beside the first layer's file and added to the job; existing files are overwritten only
// after the confirmation dialog.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <functional>
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

// Control ids of the Merge Layers dialog; the rows' edits and delete buttons run on from
// the first.
enum MergeLayersControl : int {
  kMergeRowDelete = 1009,  // 1009-1024
  kMergeScroll = 1541,
  kMergeRowName = 1542,  // 1542-1557
  kMergeHelp = 1558,
};
inline constexpr int kMergeRows = 16;
inline constexpr int kMergeLastFirstRow = 1008;

class CMergeLayersDlg : public QDialog {
  Q_OBJECT

 public:
  // Help runs the viewer's help.
  CMergeLayersDlg(QWidget* parent, std::function<void()> help = {});

  QLineEdit* name_edit() const { return name_; }
  QListWidget* merge_files() const { return merge_list_; }
  QListWidget* wf2_files() const { return wf2_list_; }
  // Row r of the layers of the current merge file: its name and its delete button.
  QLineEdit* row_name(int r) const { return rows_[r].name; }
  QPushButton* row_delete(int r) const { return rows_[r].remove; }
  QScrollBar* scroll_bar() const { return scroll_; }
  // The reference shown in the first row.
  int first_row() const { return first_row_; }
  // Whether OK merged at least one file into the job.
  bool merged() const { return merged_; }
  // The merge log written by the last merge (empty before).
  const std::string& log_path() const { return log_path_; }
  // Adds the name in the edit as a merge file; appends a loaded layer (a row of the WF2
  // Files list) to the current merge file.
  void OnAdd();
  void OnDelete();
  void AddLayer(int row);
  // The delete button of row r (0-15).
  void OnDeleteRow(int r);
  // OK: checks the names, asks before overwriting, merges and adds the outputs to the job.
  void accept() override;

 private:
  struct MergeFile {
    std::string name;
    std::vector<int> layers;  // layer-table entries
  };
  struct Row {
    QLineEdit* name = nullptr;
    QPushButton* remove = nullptr;
  };
  void FillRows();
  // Shows the rows from the given reference on and moves the scroll bar with them.
  void ScrollRowsTo(int first);
  void OnMergeFileChanged(int row);
  std::string FirstLayerName() const;

  QLineEdit* name_;
  QListWidget* merge_list_;
  QListWidget* wf2_list_;
  std::array<Row, kMergeRows> rows_;
  QScrollBar* scroll_ = nullptr;
  int first_row_ = 0;
  std::vector<MergeFile> files_;
  std::vector<int> layer_map_;  // WF2 Files row -> layer-table entry
  int current_ = 0;
  bool merged_ = false;
  std::string log_path_;
};

}  // namespace kavrinth
