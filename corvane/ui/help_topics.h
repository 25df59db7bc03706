// Corvane's help: which README section covers each command and dialog, and the help
// set-up of its windows.
#pragma once

#include <functional>
#include <string>

#include "support/help_topics.h"
#include "support/qt/help_window.h"

namespace kavrinth {

// Corvane's topic table (pure data: it is checked against the README without a window).
const HelpTable& CorvaneHelpTable();
// The set-up of the main window's ContextHelp; the README is looked for in the program
// directory that the function gives.
HelpSetup CorvaneHelpSetup(std::function<std::string()> program_directory);

}  // namespace kavrinth
