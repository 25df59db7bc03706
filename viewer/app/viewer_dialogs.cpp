// The viewer's dialogs in the command table.
#include "viewer/app/viewer_dialogs.h"

#include <QAction>

#include "viewer/app/error_coords_dlg.h"
#include "viewer/app/glass_info.h"
#include "viewer/app/layer_table_dlg.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/small_dialogs.h"
#include "viewer/app/viewer_state.h"

namespace kavrinth {

void InstallViewerDialogs(CLumraApp* app) {
  CMainFrame* frame = app->frame();
  // New Job and a job without layers build their table; the job then opens.
  app->SetLayerTableDialog([app] { return RunLayerTableDialog(app, false); });
  frame->InstallCommand(kCmdLayerTable, [app] {
    // With a job open the changed files load at OK; a table built without one opens as
    // the job.
    const bool loaded = AppState().job_loaded;
    if (RunLayerTableDialog(app, loaded) && !loaded) {
      app->OpenDocumentFile(AppState().job_file_name);
    }
  });
  app->SetJobChangedHandler([app] {
    OnJobChangedForGlass();
    if (AppState().job_loaded) LoadErrorMarkers(app, true);
  });
  auto with_job = [frame] { return frame->IdleWithJob(); };
  frame->InstallCommand(
      kCmdGlass, [app] { OnGlassOnOff(app); }, with_job);
  frame->InstallCommand(kCmdGlassSetup, [app] { OnGlassSetup(app); });
  frame->InstallCommand(kCmdBias, [app] { OnBias(app); });
  frame->InstallCommand(kCmdMinMax, [app] { OnMinMax(app); });
  frame->InstallCommand(kCmdCount, [app] { OnCount(app); });
  frame->InstallCommand(
      kCmdReport, [app] { OnReport(app); }, with_job);
  frame->InstallCommand(kCmdSnapSettings, [app] { OnSnapSettings(app); });
  frame->InstallCommand(kCmdTemporaryDirectory, [app] { OnTemporaryDirectory(app); });
  frame->InstallCommand(kCmdRamUse, [app] { OnRamUse(app); });
  // The Error Coordinates list has no menu item: F3 shows it.
  frame->InstallCommand(kCmdErrorCoordinates, [app] { OnErrorCoordinates(app); });
  auto* errors = new QAction("Error Coordinates", frame);
  errors->setObjectName(QStringLiteral("command%1").arg(kCmdErrorCoordinates));
  errors->setShortcut(QKeySequence(Qt::Key_F3));
  errors->setStatusTip("Display list of error coordinates to zoom into.");
  frame->addAction(errors);
  QObject::connect(errors, &QAction::triggered, frame,
                   [frame] { frame->OnCommand(kCmdErrorCoordinates); });
}

}  // namespace kavrinth
