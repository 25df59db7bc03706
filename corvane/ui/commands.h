// Corvane's command ids (menus, accelerators and control-panel buttons send them) and the
// control ids of its dialogs.
#pragma once

namespace kavrinth {

enum CorvaneCommand : int {
  kCmdAbout = 57664,
  kCmdConfiguration = 32776,
  kCmdSelectFiles = 57601,
  kCmdFileNew = 57600,
  kCmdInstallation = 32785,
  kCmdViewGds = 32778,
  kCmdGdsViewerDirectory = 32787,
  kCmdLayers = 32792,
  kCmdWorkingDirectory = 32795,
  kCmdPgViewerDirectory = 32793,
  kCmdViewEmMann = 32794,
  kCmdPrintSetup = 57606,
  kCmdTranslate = 32777,
  kCmdControlDialog = 32782,
  kCmdHelpIndex = 57666,
  kCmdHelpFinder = 57670,
  kCmdUsingHelp = 57667,
  kCmdHelp = 57669,
  kCmdContextHelp = 57668,
  kCmdSaveLogAs = 57604,
  kCmdPrintLog = 57607,
  kCmdPrintPreview = 57608,
  kCmdUndo = 57643,
  kCmdCut = 57635,
  kCmdCopy = 57634,
  kCmdPaste = 57637,
  kCmdFind = 57636,
  kCmdFindNext = 57638,
  kCmdStatusBar = 59393,
  kCmdExit = 57665,
  // The four entries of the recent-file list.
  kCmdRecentFile1 = 57616,
  kCmdRecentFile4 = 57619,
  kCmdNextPane = 57680,
  kCmdPrevPane = 57681,
};

// Buttons of the control panel.
enum CorvanePanelButton : int {
  kPanelSelectFiles = 1031,
  kPanelConfiguration = 1036,
  kPanelLayers = 1230,
  kPanelTranslate = 1037,
  kPanelViewGds = 1038,
  kPanelViewEmMann = 1222,
  kPanelQuit = 1040,
};

// Controls of the Translator Settings dialog.
enum TranslatorSettingsControl : int {
  kTsElectromask = 1231,
  kTsMann3000 = 1232,
  kTsMann3600 = 1233,
  kTsMil = 1234,
  kTsMicron = 1235,
  kTsScale = 1175,
  kTsHelp = 57666,
};

// Controls of the Layers Settings dialog (besides the rows' check boxes and edits).
enum LayersControl : int {
  kLayersScrollBar = 1046,
  kLayersAllOn = 1146,
  kLayersAllOff = 1147,
  kLayersPageUp = 1139,
  kLayersPageDown = 1140,
  kLayersHelp = 57669,
};

// The dialogs' OK and Cancel buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

}  // namespace kavrinth
