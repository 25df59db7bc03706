// The viewer's small dialogs: Ram Use (the layout database's memory limit), Snap Settings
// (grid and snap options), Directory (the temporary directory) and Save Changes (which
// edited layers to save, and where).
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

namespace kavrinth {

class CLumraApp;

enum SmallDialogControl : int {
  kRamTotal = 1534,
  kRamAvailable = 1535,
  kRamLimitEdit = 1533,
  kSnapGridSnap = 1537,
  kSnapGridOn = 1538,
  kSnapEndPoint = 1536,
  kSnapSpacing = 1000,
  kTempDirEdit = 1453,
  kSaveLayersOnOff = 1597,
  kSaveScroll = 1598,
};

// Megabytes allowed for the database.
inline constexpr double kMaxRamUseMegabytes = 200.0;
inline constexpr double kMaxGridSpacing = 65536.0;

class CRamUseDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CRamUseDlg(QWidget* owner);
  void accept() override;
};

class CSnapSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  CSnapSettingsDlg(CLumraApp* app, QWidget* owner);
  void accept() override;

 private:
  CLumraApp* app_;
};

class CTempDirDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CTempDirDlg(QWidget* owner);
  void accept() override;
};

// What the Save Changes dialog hands to the saving of edits: per layer whether to save it
// and the file to save it to.
struct SaveRequests {
  std::array<bool, 1024> save{};
  std::array<std::string, 1024> output;
};

// The rows of the Save Changes dialog; it pages by as many as it shows.
inline constexpr int kSaveChangesRows = 8;

class CSaveChangesDlg : public QDialog {
  Q_OBJECT

 public:
  // The edited layers, in layer order; their files are those of the layer table.
  CSaveChangesDlg(const std::vector<int>& edited_layers, QWidget* owner);

  // The first entry shown, and the move of it (the rows are read back first).
  int page_start() const { return page_; }
  void ShowFrom(int start);
  // After Yes: the saves asked for.
  const SaveRequests& requests() const { return requests_; }

 private:
  struct Entry {
    bool save = true;
    int layer = 0;
    std::string output;
  };
  struct Row {
    QCheckBox* save = nullptr;
    QLineEdit* name = nullptr;
    QLineEdit* output = nullptr;
    QPushButton* browse = nullptr;
  };
  void ShowPage();
  void ReadPage();
  void Browse(int row);
  void Yes();

  std::vector<Entry> entries_;
  std::array<Row, kSaveChangesRows> rows_;
  QScrollBar* scroll_ = nullptr;
  QCheckBox* all_ = nullptr;
  int page_ = 0;
  SaveRequests requests_;
};

// Runs the dialog: 6 Yes, 7 No, 2 Cancel (also without interactive dialogs).
int RunSaveChanges(const std::vector<int>& edited_layers, QWidget* owner, SaveRequests* requests);

// The commands.
void OnRamUse(CLumraApp* app);
void OnSnapSettings(CLumraApp* app);
void OnTemporaryDirectory(CLumraApp* app);

}  // namespace kavrinth
