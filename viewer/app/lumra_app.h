// The viewer application: start-up, the File commands New, Open and Close, opening a job,
// the About box and help, the clean-up of temporaries, and the queue of requests handed
// over by later starts, which run only when the viewer is idle.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "support/qt/help_window.h"
#include "viewer/app/command_line.h"
#include "viewer/app/lumra_doc.h"
#include "viewer/app/qt_viewer_services.h"
#include "viewer/app/single_instance.h"

namespace kavrinth {

class CEditTools;
class CMainFrame;
class CLumraView;

// The answers of the save-edits question (the editor installs the question).
enum SaveEditsAnswer : int { kEditsSaved = 0, kEditsDiscarded = 1, kEditsCancelled = 2 };

class CLumraApp : public QObject {
  Q_OBJECT

 public:
  CLumraApp();
  ~CLumraApp() override;

  // Start-up after the hand-over test: applies the command line, makes and shows the main
  // window, and queues the job of the command line, which opens once the window shows.
  void InitInstance(const CommandLineRequest& request);

  // The File commands.
  void OnFileNew();
  void OnFileOpen();
  void OnFileClose();
  void OnAppAbout();
  // Help on a window (the dialog whose Help button was pressed; null: the window in use).
  void OnHelp(QWidget* window = nullptr);
  // The help window, F1 and Shift+F1 of every window (null before the main window).
  ContextHelp* help() const { return help_; }

  // Opens a job file: asks to save edits first; false when nothing was opened.
  bool OpenDocumentFile(const std::string& path);

  // Queues a request from another start (or the close request); it runs when the viewer
  // is idle, in the order the requests came.
  void QueueHandOver(const HandOverRequest& request);
  size_t pending_requests() const { return requests_.size(); }

  // Asks whether to save the edits (mode as the editor defines it): true to go on.
  bool AskSaveEdits(int mode);
  // Asks, then drops the edits that were saved or declined: true to go on.
  bool SettleEdits(int mode);
  // Loads the files of the layer table with the progress box: LoadJobFiles's result.
  int LoadLayers();
  // The question the editor installs: returns a SaveEditsAnswer. Without one there is
  // nothing to save. The discard function drops every edit.
  void SetSaveEditsHandler(std::function<int(int)> ask, std::function<void()> discard);
  // The Layer Table dialog, run modally for a new job and for a job without layers: true
  // when the user built a table (its layers are then in the job file). Without it New
  // leaves an empty job and a job without layers cannot be opened.
  void SetLayerTableDialog(std::function<bool()> run) { layer_table_dialog_ = std::move(run); }
  // Called when a job has been opened (its view fitted, not drawn yet) and when the job
  // goes.
  void SetJobChangedHandler(std::function<void()> changed) { job_changed_ = std::move(changed); }
  // Deletes the captured-view files; at exit also frees every layer's library.
  void CleanupTemporaries(bool at_exit);
  // Stops a job load under way.
  void CancelLoad();

  CMainFrame* frame() const { return frame_.get(); }
  CEditTools* edit_tools() const { return edit_tools_.get(); }
  CLumraView* view() const { return view_; }
  CLumraDoc& document() { return document_; }
  QtViewerServices& services() { return services_; }

 private:
  struct PendingRequest {
    HandOverRequest::Kind kind = HandOverRequest::kOpen;
    CommandLineRequest command_line;
    bool startup = false;  // the job of the viewer's own command line
  };

  void ScheduleRequests(int delay_ms);
  void RunRequests();
  bool ReadyForRequests() const;
  void RunOpenRequest(const PendingRequest& request);
  // Takes the hand-overs whose files cannot open out of the queue, naming them in one
  // message: true when there were any.
  bool DropUnopenableRequests();
  // Sets the options of a request; they replace those of the previous one.
  void ApplyOptions(const CommandLineRequest& request, bool with_ram);
  // Makes the job of a data file: false, after saying why, when the file is not there, its
  // name cannot stand in a job, or the job cannot be written.
  bool EnterDataFile(const CommandLineRequest& request);
  // The path is a copy: opening resets the state it may come from.
  bool OpenJob(std::string path);
  void ResetJob();
  void RestoreIfMinimised();
  void BringToFront();
  void UpdateTitle(const std::string& job_name);

  CLumraDoc document_;
  QtViewerServices services_;
  CLumraView* view_ = nullptr;  // owned by the frame
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<CEditTools> edit_tools_;
  QPointer<ContextHelp> help_;  // owned by the frame
  std::deque<PendingRequest> requests_;
  QTimer request_timer_;
  bool running_request_ = false;
  QtScanProgress* loading_ = nullptr;
  std::function<int(int)> ask_save_edits_;
  std::function<void()> discard_edits_;
  std::function<bool()> layer_table_dialog_;
  std::function<void()> job_changed_;
};

}  // namespace kavrinth
