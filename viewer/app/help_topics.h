// The viewer's help: which README section covers each command and dialog, and the help
// set-up of its windows.
#pragma once

#include "support/help_topics.h"
#include "support/qt/help_window.h"

namespace kavrinth {

// The viewer's topic table (pure data: it is checked against the README without a window).
const HelpTable& VexilHelpTable();
// The whole set-up for the main window's ContextHelp.
HelpSetup VexilHelpSetup();

}  // namespace kavrinth
