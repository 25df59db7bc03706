// Tabrun's help topics: the control panel, the commands of the road and those of the log
// (save, print, edit, find) open the section on the road, the directory and file commands
// the section on the working directory.
#include "tabrun/ui/help_topics.h"

#include "support/qt/directory_dialog.h"
#include "tabrun/ui/commands.h"
#include "tabrun/ui/configuration_sheet.h"
#include "tabrun/ui/control_panel.h"
#include "tabrun/ui/layers_dialog.h"
#include "tabrun/ui/shell_dialogs.h"
#include "tabrun/ui/structure_dialogs.h"

namespace kavrinth {
namespace {

constexpr const char* kContents = "Tabrun";
constexpr const char* kRoad = "Tabrun/Control panel";
constexpr const char* kFiles = "Tabrun/Working directory and files";
constexpr const char* kUsingHelp = "Tabrun/Using Help";
constexpr const char* kInstalling = "Installing";

enum TabrunDialogTemplate : int {
  kDirectoryTemplate = 101,
  kStructSelectTemplate = 130,
  kControlPanelTemplate = 140,
  kLayersTemplate = 146,
  kOptionsTemplate = 149,  // the Configuration sheet's first page
  kStructInfoTemplate = 150,
  kStructDependTemplate = 152,
  kDebugTemplate = 154,
  kPromptTemplate = 163,
  kFontSettingsTemplate = 165,
};

constexpr uint32_t Cmd(int id) { return CommandHelpContext(id); }
constexpr uint32_t Dlg(int id) { return DialogHelpContext(id); }

const HelpTopic kTopics[] = {
    {Dlg(kControlPanelTemplate), kRoad},
    {Cmd(kCmdSelectGdsFile), kRoad},
    {Cmd(kCmdStructure), kRoad},
    {Dlg(kStructSelectTemplate), kRoad},
    {Dlg(kStructInfoTemplate), kRoad},
    {Dlg(kStructDependTemplate), kRoad},
    {Cmd(kCmdConfiguration), kRoad},
    {Dlg(kOptionsTemplate), kRoad},
    {Dlg(kFontSettingsTemplate), kRoad},
    {Cmd(kCmdLayers), kRoad},
    {Dlg(kLayersTemplate), kRoad},
    {Cmd(kCmdTranslate), kRoad},
    {Cmd(kCmdSaveLogAs), kRoad},
    {Cmd(kCmdPrintLog), kRoad},
    {Cmd(kCmdPrintPreview), kRoad},
    {Cmd(kCmdPrintSetup), kRoad},
    {Cmd(kCmdEditUndo), kRoad},
    {Cmd(kCmdEditCut), kRoad},
    {Cmd(kCmdEditCopy), kRoad},
    {Cmd(kCmdEditPaste), kRoad},
    {Cmd(kCmdEditFind), kRoad},
    {Cmd(kCmdEditRepeat), kRoad},
    {Dlg(kPromptTemplate), kRoad},
    {Dlg(kDebugTemplate), kFiles},
    {Cmd(kCmdWorkingDirectory), kFiles},
    {Dlg(kDirectoryTemplate), kFiles},
    {Cmd(kCmdSelectCfgFile), kFiles},
    {Cmd(kCmdSaveCfgAs), kFiles},
    {Cmd(kCmdViewPg), kFiles},
    {Cmd(kCmdViewPgMenu), kFiles},
    {Cmd(kCmdViewGds), kFiles},
    {Cmd(kCmdPgViewerDirectory), kFiles},
    {Cmd(kCmdGdsViewerDirectory), kFiles},
    {Cmd(kCmdInstallation), kInstalling},
    {Cmd(kHelpCmdUsing), kUsingHelp},
    {Cmd(kHelpCmdContext), kUsingHelp},
};

}  // namespace

const HelpTable& TabrunHelpTable() {
  static const HelpTable table{kTopics, kContents, kUsingHelp, kInstalling};
  return table;
}

HelpSetup TabrunHelpSetup(std::function<std::string()> program_directory) {
  HelpSetup setup;
  setup.program_name = "Tabrun";
  setup.program_directory = std::move(program_directory);
  setup.table = TabrunHelpTable();
  setup.windows = {
      {&CControlDlg::staticMetaObject, Dlg(kControlPanelTemplate)},
      {&CStructSelectDlg::staticMetaObject, Dlg(kStructSelectTemplate)},
      {&CStructInfoDlg::staticMetaObject, Dlg(kStructInfoTemplate)},
      {&CStructDependDlg::staticMetaObject, Dlg(kStructDependTemplate)},
      {&COptionsDlgSheet::staticMetaObject, Dlg(kOptionsTemplate)},
      {&CFontSettingsDlg::staticMetaObject, Dlg(kFontSettingsTemplate)},
      {&CLayersDlg::staticMetaObject, Dlg(kLayersTemplate)},
      {&CDirectoryDlg::staticMetaObject, Dlg(kDirectoryTemplate)},
      {&CDebugTextDlg::staticMetaObject, Dlg(kDebugTemplate)},
      {&CPromptDlg::staticMetaObject, Dlg(kPromptTemplate)},
  };
  return setup;
}

}  // namespace kavrinth
