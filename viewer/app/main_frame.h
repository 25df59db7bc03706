// The viewer's main window: menus and toolbar built from one command table, the layer
// check box and list, the status panes, the stored settings and the routing of every
// command id to its handler.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>
#include <map>
#include <string>

#include "viewer/app/viewer_settings.h"

namespace kavrinth {

class CLumraApp;
class CLumraView;

// The command ids of the frame (the class library's ids where it had them).
enum ViewerCommand : int {
  kCmdViewAll = 32801,
  kCmdViewWindow = 32803,
  kCmdViewIn = 32804,
  kCmdViewOut = 32805,
  kCmdViewLast = 32806,
  kCmdViewPan = 32807,
  kCmdViewRedraw = 32808,
  kCmdCaptureFirst = 32819,
  kCmdRecallFirst = 32829,
  kCmdLayerTable = 32844,
  kCmdTearOff = 32846,
  kCmdFillOutline = 32847,
  kCmdCancelDrawing = 32848,
  kCmdCopyWindow = 32849,
  kCmdCopyAll = 32850,
  kCmdBackgroundColor = 32851,
  kCmdMeasure = 32854,
  kCmdPageSetup = 32855,
  kCmdPlotSetup = 32856,
  kCmdPlotScreen = 32857,
  kCmdPlotWindow = 32858,
  kCmdPlotWindowCoords = 32859,
  kCmdTemporaryDirectory = 32860,
  kCmdVertexPoint = 32861,
  kCmdVertexWindow = 32862,
  kCmdHelpInstallation = 32873,
  kCmdGlass = 32878,
  kCmdReport = 32879,
  kCmdFillOnOff = 32881,
  kCmdFileClose = 32883,
  kCmdMainEvent = 32884,
  kCmdSnapSettings = 32889,
  kCmdSave = 32891,
  kCmdBias = 32892,
  kCmdMinMax = 32893,
  kCmdCount = 32894,
  kCmdGlassSetup = 32895,
  kCmdFlashPoint = 32896,
  kCmdFlashWindow = 32897,
  kCmdFileNew = 57600,
  kCmdFileOpen = 57601,
  kCmdRecentFile = 57616,
  kCmdAppAbout = 57664,
  kCmdAppExit = 57665,
  kCmdHelpIndex = 57666,
  kCmdHelpUsing = 57668,
  kCmdViewToolbar = 59392,
  kCmdViewStatusBar = 59393,
};

// Controls on the toolbar.
enum ViewerToolbarControl : int { kLayerList = 103, kLayerCheckBox = 104 };

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // Reads the settings and builds the window (not shown yet).
  CMainFrame(CLumraApp* app, CLumraView* view);
  ~CMainFrame() override;

  // Routes a command id to its handler: true when it was handled, false for an id without
  // a handler or a command that is disabled now.
  bool OnCommand(int id);
  // Brings every command's enabled and checked state up to date.
  void UpdateCommandStates();

  // Fills the layer list from the layer table and makes its first layer current.
  void UpdateLayerCombo();
  // Empties the layer list; the check box shows "Off".
  void ClearLayerCombo();
  // The idle text of the status line.
  void ShowIdleMessage();
  // Writes the settings (when the store opens); 1 when written.
  int SaveSettings();

  QAction* CommandAction(int id) const;
  CLumraView* view() const { return view_; }
  QToolBar* toolbar() const { return toolbar_; }
  QComboBox* layer_list() const { return layer_list_; }
  QCheckBox* layer_check_box() const { return layer_check_; }
  QLabel* units_pane() const { return units_pane_; }
  bool settings_store_open() const { return settings_open_; }

  // The handlers of the table.
  void OnFileNew();
  void OnFileOpen();
  void OnFileClose();
  void OnAppExit();
  void OnAppAbout();
  void OnHelp();
  void OnViewToolbar();
  void OnViewStatusBar();
  void OnBackgroundColor();
  void OnFillOnOff();
  void OnFillOutline();
  void OnCancelDrawing();
  void OnMainEvent();
  void OnRedraw();

  // The enabling and tick rules of the table.
  bool Idle() const;
  bool IdleWithJob() const;
  bool JobDrawn() const;
  bool Drawing() const;
  bool ToolbarShown() const;
  bool StatusBarShown() const;
  bool DefaultFillOn() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ReadSettings();
  void NameQtControls();
  void BuildCommands();
  void BuildMenus();
  void BuildToolbar();
  void BuildStatusBar();
  void UpdateUnitsPane();
  void OnLayerSelected(int index);
  void OnLayerCheckClicked(bool checked);
  int LayerOfListText() const;

  CLumraApp* app_;
  CLumraView* view_;
  std::map<int, QAction*> actions_;
  QMenu* context_menu_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QCheckBox* layer_check_ = nullptr;
  QComboBox* layer_list_ = nullptr;
  QLabel* mode_pane_ = nullptr;
  QLabel* units_pane_ = nullptr;
  QLabel* x_pane_ = nullptr;
  QLabel* y_pane_ = nullptr;
  bool settings_open_ = false;
};

// The text of the status line when nothing else shows.
inline constexpr const char* kIdleMessage = "For Help, press F1";

}  // namespace kavrinth
