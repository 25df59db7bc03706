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
#include <QPainter>
#include <QToolBar>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "viewer/app/viewer_settings.h"
#include "viewer/interact/draw_modes.h"
#include "viewer/model/gdx_database.h"
#include "viewer/plot/plot_data.h"
#include "viewer/plot/qt/qt_plot_host.h"

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
  kCmdFramesDisplay = 32877,
  kCmdGlass = 32878,
  kCmdReport = 32879,
  kCmdFillOnOff = 32881,
  kCmdRamUse = 32880,
  kCmdFramesAtStartup = 32882,
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
  kCmdEditClear = 57632,
  kCmdEditUndo = 57643,
  kCmdFileNew = 57600,
  kCmdFileOpen = 57601,
  kCmdRecentFile = 57616,
  kCmdAppAbout = 57664,
  kCmdAppExit = 57665,
  kCmdHelpIndex = 57666,
  kCmdHelpUsing = 57668,
  kCmdContextHelp = 57669,
  kCmdViewToolbar = 59392,
  kCmdViewStatusBar = 59393,
};

// The edit tools' commands (the editor adds their menu).
enum EditToolCommand : int {
  kToolFirstDrawing = 32898,  // 32898..32902: the drawing tools
  kToolLastDrawing = 32902,
  kToolDelete = 32903,
  kToolUndo = 32905,
  kToolReset = 32907,
};

// What the frame asks of the edit tools: they see every command first (true when they
// took it) and say whether one of them is active.
struct EditToolsHook {
  std::function<bool(int id)> take_command;
  std::function<bool()> tool_active;
  // The command id of the tool in use (0: none).
  std::function<int()> current_tool;
};

// What the frame asks of the drawing window: which commands it carries out, and the
// command with its parameter (Capture and Recall arrive as 8271 and 8272 with the slot).
// True when it took the command.
struct DrawWindowHook {
  std::function<bool(int id)> handles;
  std::function<bool(int id, int param)> take_command;
  // The commands that only choose a mode: they are taken while a drawing runs too.
  std::function<bool(int id)> takes_while_drawing = nullptr;
};

inline constexpr int kDrawCapture = 8271;
inline constexpr int kDrawRecall = 8272;

// The snap settings the Delete tool puts aside until the tools are reset, and the query
// highlight the drawing tools put aside while they snap to end points.
struct ToolSnapState {
  bool snap_saved = false;
  int32_t snap_end_point = 0;
  int32_t snap_on = 0;
  int32_t grid_on = 0;
  bool highlight_saved = false;
  bool highlight = true;
};

// Controls on the toolbar.
enum ViewerToolbarControl : int { kLayerList = 103, kLayerCheckBox = 104 };

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // Reads the settings and builds the window (not shown yet).
  CMainFrame(CLumraApp* app, CLumraView* view);
  ~CMainFrame() override;

  // Routes a command id: to the edit tools first, then to its handler. True when it was
  // handled; false for an id without a handler or a command that is disabled now.
  bool OnCommand(int id);
  // Installs the edit tools, and the drawing window's commands.
  void SetEditTools(EditToolsHook hook) { edit_tools_ = std::move(hook); }
  void SetDrawWindow(DrawWindowHook hook) {
    draw_window_ = std::move(hook);
    UpdateCommandStates();
  }
  // Gives a command of the table that has no handler of its own one from outside (the
  // dialogs install theirs). Without a rule it is enabled when the viewer is idle.
  void InstallCommand(int id, std::function<void()> handler, std::function<bool()> enabled = {});
  // Whether a query marks the vertex it hits (the drawing tools turn it off while they snap
  // to end points).
  bool query_highlight() const { return query_highlight_; }
  // Brings every command's enabled and checked state up to date.
  void UpdateCommandStates();

  // Fills the layer list from the layer table and makes its first layer current.
  void UpdateLayerCombo();
  // Empties the layer list; the check box shows "Off".
  void ClearLayerCombo();
  // The idle text of the status line (the prompt of the drawing window's mode while one is
  // chosen).
  void ShowIdleMessage();
  const char* IdleText() const;
  // Writes the settings (when the store opens); 1 when written.
  int SaveSettings();
  // Puts a job at the top of the File menu's list of recent jobs (four at most).
  void AddRecentFile(const std::string& path);
  const std::vector<std::string>& recent_files() const { return recent_files_; }

  QAction* CommandAction(int id) const;
  CLumraView* view() const { return view_; }
  QToolBar* toolbar() const { return toolbar_; }
  QComboBox* layer_list() const { return layer_list_; }
  QCheckBox* layer_check_box() const { return layer_check_; }
  QLabel* units_pane() const { return units_pane_; }
  QLabel* mode_pane() const { return mode_pane_; }

  // The handlers of the table.
  void OnFileNew();
  void OnFileOpen();
  void OnFileClose();
  void OnAppExit();
  void OnAppAbout();
  void OnHelpIndex();
  void OnHelpInstallation();
  void OnHelpUsing();
  void OnContextHelp();
  void OnViewToolbar();
  void OnViewStatusBar();
  void OnBackgroundColor();
  void OnFillOnOff();
  void OnFillOutline();
  void OnFramesDisplay();
  void OnFramesAtStartup();
  void OnCancelDrawing();
  void OnMainEvent();
  void OnRedraw();
  void OnEditClear();
  void OnEditUndo();
  void OnSave();
  void OnPageSetup();
  void OnPlotSetup();
  void OnPlotScreen();
  void OnPlotWindow();
  void OnPlotWindowCoords();

  // The display a plot takes: by default what the drawing window shows (the extents of the
  // shown layers before it has a view); tests and tools may install their own.
  void SetPlotDisplay(std::function<PlotDisplay()> display) { plot_display_ = std::move(display); }
  // What ends the drawing window's point or window query before a plot.
  void SetQueryModeEnd(std::function<void()> end) { end_query_mode_ = std::move(end); }
  // Takes the rectangle as the plot window and plots it (the plot window mode and the Plot
  // Window dialog): the plot's result, 0 for an empty rectangle.
  int PlotWindowRectangle(const GdxRect& rect);

  // The enabling and tick rules of the table.
  bool Idle() const;
  bool IdleWithJob() const;
  bool ToolbarShown() const;
  bool StatusBarShown() const;
  bool DefaultFillOn() const;
  bool FramesAtStartup() const;
  // Edit tools are installed and nothing runs.
  bool EditToolsIdle() const;
  // The current view is filled (the Fill/Outline button shows it pressed).
  bool ViewFilled() const;
  // The drawing window takes the plot window mode.
  bool PlotWindowModeAvailable() const;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ReadSettings();
  // Loads the text font: 0, or 1 after saying that it cannot be loaded.
  int LoadStartupFont();
  void NameQtControls();
  void BuildCommands();
  void BuildMenus();
  void BuildToolbar();
  void BuildStatusBar();
  void UpdateUnitsPane();
  // The mode pane and the drawing window's cursor follow the edit tool in use, else the
  // drawing window's mode.
  void UpdateModePane();
  void OnLayerSelected(int index);
  void OnLayerCheckClicked(bool checked);
  int LayerOfListText() const;
  void AfterToolCommand(int id);
  bool DrawWindowHandles(int id) const;
  // The drawing window takes the command now: the viewer is idle, or only a drawing runs
  // and the command only chooses a mode.
  bool DrawWindowTakesNow(int id) const;
  PlotDisplay DefaultPlotDisplay() const;
  std::unique_ptr<QtPlotHost> MakePlotHost();
  void UpdateRecentFiles();
  void OpenRecentFile(size_t index);

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
  int mode_pane_shows_ = 0;  // the mode or tool id the mode pane shows, 0 for none
  bool settings_open_ = false;
  EditToolsHook edit_tools_;
  DrawWindowHook draw_window_;
  ToolSnapState tool_snap_;
  bool query_highlight_ = true;
  std::vector<std::string> recent_files_;
  std::vector<QAction*> recent_actions_;
  std::function<PlotDisplay()> plot_display_;
  std::function<void()> end_query_mode_;
  struct InstalledCommand {
    std::function<void()> handler;
    std::function<bool()> enabled;
  };
  std::map<int, InstalledCommand> installed_;
};

// The colour swatches of the Layer Table's rows: the rectangle filled with the colour and
// framed in black, while swatches are enabled (from start-up on).
void PaintColourSwatch(QPainter& painter, const QRect& rect, uint32_t colour);
void SetColourSwatchesEnabled(bool enabled);
// Lets the user pick one of the eight pick colours, starting from the one nearest to
// *colour: 1 with the chosen colour in *colour when it changed, else 0.
int NearestPickColourOfControl(QWidget* control, uint32_t* colour);

// The text of the status line when nothing else shows.
inline constexpr const char* kIdleMessage = "For Help, press F1";

}  // namespace kavrinth
