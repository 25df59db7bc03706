// The Layer Table dialog: the job's files one row per layer entry, sixteen rows at a time,
// with each file's Show flag, colour and colour mode. OK commits the table, the job file
// and the reload of changed files together; Cancel leaves the job as it was.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/app/open_dialog_hooks.h"

namespace kavrinth {

class CLumraApp;

// Control ids of the dialog.
enum LayerTableControl : int {
  kLayerTableScroll = 1183,
  kLayerTablePgUp = 5033,
  kLayerTablePgDn = 5034,
  kLayerTableHome = 5035,
  kLayerTableEnd = 5036,
  kLayerTableAllOn = 1566,
  kLayerTableAllOff = 1567,
  kLayerTableHelp = 1612,
};

inline constexpr int kLayerTableRows = 16;
inline constexpr int kLayerTableLastTop = 1008;

// The ids of row r's controls (0-15).
struct LayerTableRowIds {
  int layer;
  int name;
  int show;
  int colour;
  int mode;
};
LayerTableRowIds LayerTableRowIdsOf(int row);

// The mode texts by fill mode (-1, 0, 1) and back by the text's first letter.
const char* FillModeText(int32_t mode);
int32_t FillModeOfText(const QString& text);

class CLayerTableDlg : public QDialog {
  Q_OBJECT

 public:
  // With load_on_ok the changed files are loaded again at OK (an open job); without it OK
  // writes the job file only and the caller opens the job.
  CLayerTableDlg(CLumraApp* app, QWidget* owner, bool load_on_ok);

  int top_row() const { return top_; }
  // Moves the first shown row (collecting the rows first); false when refused.
  bool ScrollTo(int top);
  // Places chosen files from the entry down: the first at the entry, the others in the
  // next free entries below it. The number placed.
  int PlaceFiles(int entry, const std::vector<std::string>& paths);

  void accept() override;
  void reject() override;

 private:
  struct Entry {
    std::string path;
    int32_t shown = 0;
    uint32_t colour = 0xFFFFFF;
    int32_t fill_mode = 1;
  };
  struct Row {
    QPushButton* layer = nullptr;
    QLineEdit* name = nullptr;
    QCheckBox* show = nullptr;
    QPushButton* colour = nullptr;
    QPushButton* mode = nullptr;
  };

  void BuildControls();
  void FillRows();
  void CollectRows();
  void PaintSwatch(int row);
  void ChooseColour(int row);
  void CycleMode(int row);
  void BrowseFiles(int row);
  void SetAllShown(int32_t shown);
  // Asks for the job's name when it has none: false when the user gives none.
  bool EnsureJobName();
  // Puts the entries into the view layer table; with the old entries it restores them.
  static void ApplyEntries(const std::vector<Entry>& entries);
  static std::vector<Entry> TableEntries();

  CLumraApp* app_;
  bool load_on_ok_;
  std::array<Row, kLayerTableRows> rows_;
  QScrollBar* scroll_ = nullptr;
  std::vector<Entry> working_;
  std::vector<Entry> original_;
  int top_ = 0;
  OpenDialogChoice choice_;  // the format and unit of files chosen here
};

// Runs the dialog modally: true when the user built a table with OK.
bool RunLayerTableDialog(CLumraApp* app, bool load_on_ok);

}  // namespace kavrinth
