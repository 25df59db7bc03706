// Tabrun's help: which README section covers each command and dialog, and the help set-up
// of its windows.
#pragma once

#include <functional>
#include <string>

#include "support/help_topics.h"
#include "support/qt/help_window.h"

namespace kavrinth {

// The help commands besides those of the Help menu's table.
enum TabrunHelpCommand : int {
  kHelpCmdUsing = 57668,    // Using Help
  kHelpCmdContext = 57669,  // Shift+F1: context help
  kHelpCmdWindow = 57670,   // F1: help on the window in use
  kHelpCmdDefault = 57671,  // the default help: the contents
};

// Tabrun's topic table (pure data: it is checked against the README without a window).
const HelpTable& TabrunHelpTable();
// The set-up of the main window's ContextHelp; the README is looked for in the program
// directory that the function gives.
HelpSetup TabrunHelpSetup(std::function<std::string()> program_directory);

}  // namespace kavrinth
