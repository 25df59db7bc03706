// Installs the viewer's dialogs into the application and the frame's command table: the
// Layer Table, the glass, the layer information and report commands, and the small
// settings dialogs.
#pragma once

namespace kavrinth {

class CLumraApp;

void InstallViewerDialogs(CLumraApp* app);

}  // namespace kavrinth
