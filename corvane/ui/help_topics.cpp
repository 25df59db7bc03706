// Corvane's help topics: the control panel, its dialogs and the commands of the road open
// the section on the road.
#include "corvane/ui/help_topics.h"

#include "corvane/ui/commands.h"
#include "corvane/ui/control_panel.h"
#include "corvane/ui/layers_dialog.h"
#include "corvane/ui/main_window.h"
#include "corvane/ui/translator_settings_dialog.h"
#include "support/qt/directory_dialog.h"

namespace kavrinth {
namespace {

constexpr const char* kContents = "Corvane";
constexpr const char* kRoad = "Corvane/Control panel";
constexpr const char* kUsingHelp = "Corvane/Using Help";
constexpr const char* kInstalling = "Installing";

enum CorvaneDialogTemplate : int {
  kDirectoryTemplate = 101,
  kControlPanelTemplate = 140,
  kTranslatorSettingsTemplate = 144,
  kLayersTemplate = 146,
};

constexpr uint32_t Cmd(int id) { return CommandHelpContext(id); }
constexpr uint32_t Dlg(int id) { return DialogHelpContext(id); }

const HelpTopic kTopics[] = {
    {Dlg(kControlPanelTemplate), kRoad},
    {Cmd(kCmdSelectFiles), kRoad},
    {Cmd(kCmdWorkingDirectory), kRoad},
    {Dlg(kDirectoryTemplate), kRoad},
    {Cmd(kCmdConfiguration), kRoad},
    {Dlg(kTranslatorSettingsTemplate), kRoad},
    {Cmd(kCmdLayers), kRoad},
    {Dlg(kLayersTemplate), kRoad},
    {Cmd(kCmdTranslate), kRoad},
    {Cmd(kCmdSaveLogAs), kRoad},
    {Cmd(kCmdPrintLog), kRoad},
    {Cmd(kCmdViewGds), kRoad},
    {Cmd(kCmdViewEmMann), kRoad},
    {Cmd(kCmdGdsViewerDirectory), kRoad},
    {Cmd(kCmdPgViewerDirectory), kRoad},
    {Cmd(kCmdInstallation), kInstalling},
    {Cmd(kCmdUsingHelp), kUsingHelp},
    {Cmd(kCmdContextHelp), kUsingHelp},
};

}  // namespace

const HelpTable& CorvaneHelpTable() {
  static const HelpTable table{kTopics, kContents, kUsingHelp, kInstalling};
  return table;
}

HelpSetup CorvaneHelpSetup(std::function<std::string()> program_directory) {
  HelpSetup setup;
  setup.program_name = kCorvaneTitle;
  setup.program_directory = std::move(program_directory);
  setup.table = CorvaneHelpTable();
  setup.windows = {
      {&ControlPanel::staticMetaObject, Dlg(kControlPanelTemplate)},
      {&TranslatorSettingsDialog::staticMetaObject, Dlg(kTranslatorSettingsTemplate)},
      {&LayersDialog::staticMetaObject, Dlg(kLayersTemplate)},
      {&CDirectoryDlg::staticMetaObject, Dlg(kDirectoryTemplate)},
  };
  return setup;
}

}  // namespace kavrinth
