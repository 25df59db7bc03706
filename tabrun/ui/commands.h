// Tabrun's command ids: menus, the control panel and the toolbar reach their handlers
// through these numbers.
#pragma once

namespace kavrinth {

enum TabrunCommand : int {
  kCmdNewJob = 57600,
  kCmdSelectGdsFile = 57601,
  kCmdSaveLogAs = 57604,
  kCmdPrintSetup = 57606,
  kCmdPrintLog = 57607,
  kCmdPrintPreview = 57609,
  // The log view's editing and searching.
  kCmdEditCopy = 57634,
  kCmdEditCut = 57635,
  kCmdEditFind = 57636,
  kCmdEditPaste = 57637,
  kCmdEditRepeat = 57640,
  kCmdEditUndo = 57643,
  kCmdExit = 57665,
  kCmdAbout = 57664,
  kCmdHelpIndex = 57666,
  kCmdUsingHelp = 57668,
  kCmdToolbar = 59392,
  kCmdStatusBar = 59393,
  kCmdConfiguration = 32776,
  kCmdTranslate = 32777,
  kCmdViewPg = 32778,
  kCmdToggleControlDialog = 32782,
  kCmdInstallation = 32785,
  kCmdStructure = 32787,
  kCmdLayers = 32788,
  kCmdSaveCfgAs = 32790,
  kCmdSelectCfgFile = 32791,
  kCmdPgViewerDirectory = 32793,
  kCmdViewGds = 32794,
  kCmdGdsViewerDirectory = 32795,
  kCmdViewPgMenu = 32797,
  kCmdWorkingDirectory = 32798,
  kCmdWebPage = 32799,
};

// Control panel buttons.
enum ControlPanelButton : int {
  kPanelSelectGds = 1031,
  kPanelStructure = 1218,
  kPanelConfiguration = 1036,
  kPanelLayers = 1219,
  kPanelTranslate = 1037,
  kPanelViewPg = 1038,
  kPanelViewGds = 1227,
  kPanelQuit = 1041,
};

}  // namespace kavrinth
