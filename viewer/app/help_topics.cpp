// The viewer's help topics: every command and dialog the README describes opens the section
// on it; the rest open the section on the viewer.
#include "viewer/app/help_topics.h"

#include <QAction>

#include "viewer/app/draw_interaction.h"
#include "viewer/app/edit_tools.h"
#include "viewer/app/error_coords_dlg.h"
#include "viewer/app/glass_info.h"
#include "viewer/app/layer_table_dlg.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/merge_layers_dlg.h"
#include "viewer/app/small_dialogs.h"
#include "viewer/app/viewer_state.h"
#include "viewer/plot/qt/plot_window_dialog.h"

namespace kavrinth {
namespace {

constexpr const char* kContents = "Vexil";
constexpr const char* kViewing = "Vexil/Viewing and measuring";
constexpr const char* kJobs = "Vexil/Layer Table and jobs";
constexpr const char* kInformation = "Vexil/Layer information";
constexpr const char* kPreferences = "Vexil/Preferences";
constexpr const char* kSettings = "Vexil/Settings";
constexpr const char* kSnap = "Vexil/Snap Settings";
constexpr const char* kEditing = "Vexil/Editing";
constexpr const char* kPlotting = "Vexil/Plotting";
constexpr const char* kUsingHelp = "Vexil/Using Help";
constexpr const char* kInstalling = "Installing";

// The dialogs' templates.
enum ViewerDialogTemplate : int {
  kPlotWindowTemplate = 143,
  kTempDirTemplate = 144,
  kLayerTableTemplate = 153,
  kRamUseTemplate = 154,
  kSnapSettingsTemplate = 156,
  kMergeLayersTemplate = 157,
  kErrorCoordsTemplate = 160,
  kSaveChangesTemplate = 161,
  kSelectionTemplate = 162,
  kAddTextTemplate = 164,
  kGlassSetupTemplate = 176,
  kInfoTemplate = 177,
};

constexpr uint32_t Cmd(int id) { return CommandHelpContext(id); }
constexpr uint32_t Dlg(int id) { return DialogHelpContext(id); }

// The first rows group the viewer's own topics: files, preferences, the glass dialog,
// information, snap and the snap dialog. Resource 0x8676 is a topic of the files.
const HelpTopic kTopics[] = {
    {Cmd(kCmdFileNew), kJobs},
    {Cmd(kCmdFileOpen), kJobs},
    {0x28676, kJobs},
    {Cmd(kCmdBackgroundColor), kPreferences},
    {Cmd(kCmdTemporaryDirectory), kPreferences},
    {Cmd(kCmdFillOnOff), kPreferences},
    {Cmd(kCmdGlassSetup), kPreferences},
    {Cmd(kCmdViewToolbar), kPreferences},
    {Cmd(kCmdViewStatusBar), kPreferences},
    {Dlg(kGlassSetupTemplate), kSettings},
    {Cmd(kCmdMeasure), kViewing},
    {Cmd(kCmdVertexPoint), kViewing},
    {Cmd(kCmdVertexWindow), kViewing},
    {Cmd(kCmdReport), kInformation},
    {Cmd(kCmdBias), kInformation},
    {Cmd(kCmdMinMax), kInformation},
    {Cmd(kCmdCount), kInformation},
    {Cmd(kCmdSnapSettings), kSnap},
    {Dlg(kSnapSettingsTemplate), kSnap},
    // Every other command and dialog that a section describes.
    {Cmd(kCmdFileClose), kJobs},
    {Cmd(kCmdLayerTable), kJobs},
    {Dlg(kLayerTableTemplate), kJobs},
    {Dlg(kTempDirTemplate), kPreferences},
    {Cmd(kCmdViewAll), kViewing},
    {Cmd(kCmdViewWindow), kViewing},
    {Cmd(kCmdViewIn), kViewing},
    {Cmd(kCmdViewOut), kViewing},
    {Cmd(kCmdViewLast), kViewing},
    {Cmd(kCmdViewPan), kViewing},
    {Cmd(kCmdViewRedraw), kViewing},
    {Cmd(kCmdTearOff), kViewing},
    {Cmd(kCmdFillOutline), kViewing},
    {Cmd(kCmdCancelDrawing), kViewing},
    {Cmd(kCmdCopyWindow), kViewing},
    {Cmd(kCmdCopyAll), kViewing},
    {Cmd(kCmdFlashPoint), kViewing},
    {Cmd(kCmdFlashWindow), kViewing},
    {Dlg(kInfoTemplate), kInformation},
    {Cmd(kCmdGlass), kSettings},
    {Cmd(kCmdFramesDisplay), kSettings},
    {Cmd(kCmdFramesAtStartup), kSettings},
    {Cmd(kCmdRamUse), kSettings},
    {Dlg(kRamUseTemplate), kSettings},
    {Cmd(kCmdErrorCoordinates), kSettings},
    {Dlg(kErrorCoordsTemplate), kSettings},
    {Cmd(kToolRectangle2), kEditing},
    {Cmd(kToolText), kEditing},
    {Cmd(kToolText + 1), kEditing},  // the line tool
    {Cmd(kToolThreePoint), kEditing},
    {Cmd(kToolRectangle3), kEditing},
    {Cmd(kToolDeleteElements), kEditing},
    {Cmd(kToolSave), kEditing},
    {Cmd(kToolUndo), kEditing},
    {Cmd(kToolRearm), kEditing},
    {Cmd(kToolEnd), kEditing},
    {Cmd(kCmdSave), kEditing},
    {Cmd(kCmdEditClear), kEditing},
    {Cmd(kCmdEditUndo), kEditing},
    {Cmd(kCmdMergeLayers), kEditing},
    {Dlg(kMergeLayersTemplate), kEditing},
    {Dlg(kSaveChangesTemplate), kEditing},
    {Dlg(kSelectionTemplate), kEditing},
    {Dlg(kAddTextTemplate), kEditing},
    {Cmd(kCmdPageSetup), kPlotting},
    {Cmd(kCmdPlotSetup), kPlotting},
    {Cmd(kCmdPlotScreen), kPlotting},
    {Cmd(kCmdPlotWindow), kPlotting},
    {Cmd(kCmdPlotWindowCoords), kPlotting},
    {Dlg(kPlotWindowTemplate), kPlotting},
    {Cmd(kCmdHelpInstallation), kInstalling},
    {Cmd(kCmdHelpUsing), kUsingHelp},
    {Cmd(kCmdContextHelp), kUsingHelp},
};

int CommandOfViewerAction(const QAction* action) {
  bool number = false;
  const int id = action->data().toInt(&number);
  if (number && id != 0) return id;
  const QString name = action->objectName();
  if (name.startsWith(QLatin1String("tool_"))) return name.mid(5).toInt();
  return 0;
}

}  // namespace

const HelpTable& VexilHelpTable() {
  static const HelpTable table{kTopics, kContents, kUsingHelp, kInstalling};
  return table;
}

HelpSetup VexilHelpSetup() {
  HelpSetup setup;
  setup.program_name = kVexilAppName;
  setup.program_directory = [] { return AppState().program_directory; };
  setup.table = VexilHelpTable();
  setup.windows = {
      {&CLayerTableDlg::staticMetaObject, Dlg(kLayerTableTemplate)},
      {&CTempDirDlg::staticMetaObject, Dlg(kTempDirTemplate)},
      {&CRamUseDlg::staticMetaObject, Dlg(kRamUseTemplate)},
      {&CSnapSettingsDlg::staticMetaObject, Dlg(kSnapSettingsTemplate)},
      {&CSaveChangesDlg::staticMetaObject, Dlg(kSaveChangesTemplate)},
      {&CMergeLayersDlg::staticMetaObject, Dlg(kMergeLayersTemplate)},
      {&CErrorCoordsDlg::staticMetaObject, Dlg(kErrorCoordsTemplate)},
      {&CSelectionDlg::staticMetaObject, Dlg(kSelectionTemplate)},
      {&CAddTextDlg::staticMetaObject, Dlg(kAddTextTemplate)},
      {&CGlassSetupDlg::staticMetaObject, Dlg(kGlassSetupTemplate)},
      {&CInfoDlg::staticMetaObject, Dlg(kInfoTemplate)},
      {&PlotWindowDialog::staticMetaObject, Dlg(kPlotWindowTemplate)},
      // The drawing window's own windows belong to the commands that show them.
      {&CViewInfoDlg::staticMetaObject, Cmd(kCmdMeasure)},
      {&CViewTearDlg::staticMetaObject, Cmd(kCmdTearOff)},
  };
  setup.command_of_action = CommandOfViewerAction;
  return setup;
}

}  // namespace kavrinth
