// Tabrun's main frame (CMainFrame): the menus built from the command table, the control
// panel, the log view, the status line, and the handlers of every command. The work is
// done by the core (tabrun/core); this layer asks the user and shows the results.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "support/app_profile.h"
#include "support/qt/log_view.h"
#include "tabrun/core/tabrun_job.h"
#include "tabrun/core/translate.h"
#include "tabrun/ui/structure_dialogs.h"

class QMenu;
class QPrinter;

namespace kavrinth {

class CControlDlg;

class ContextHelp;
class EngineProgressDialog;
class LockKeyPanes;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainFrame(bool debug);
  ~CMainFrame() override;

  // The one dispatch of every command id (menus, panel, toolbar).
  void OnCommand(int id);
  // Opens a log (".log", any case) into the view, or scans a GDSII file. False when
  // nothing was opened.
  bool OpenDocumentFile(const std::string& path);

  TabrunJob& job() { return job_; }
  CControlDlg* panel() const { return panel_; }
  CMerdoltView* log_view() const { return view_; }
  LockKeyPanes* lock_panes() const { return lock_panes_; }
  CStructSelectDlg* structure_dialog() const { return structure_; }
  EngineProgressDialog* engine_progress() const { return progress_.get(); }
  std::string StatusText() const;
  bool busy() const { return busy_ > 0; }
  ContextHelp* help() const { return help_; }
  // The outcome of the last Translate.
  const TranslateOutcome& last_translation() const { return last_translation_; }

  // What the command enables: after a scan, always.
  bool CommandEnabled(int id) const;

  // The command handlers (reached through OnCommand).
  void OnSelectGdsFile();
  void OnSelectCfgFile();
  void OnSaveCfgAs();
  void OnSaveLogAs();
  void OnPrintLog(bool preview);
  void OnToggleControlDialog();
  void OnWorkingDirectory();
  void OnViewerDirectory(bool pg);
  void OnStructure();
  void OnConfiguration();
  void OnLayers();
  void OnTranslate();
  void OnViewPg();
  void OnViewGds();
  void OnWebPage();
  // The help commands: the Help menu's, F1 and Shift+F1 (OnHelp() is the contents).
  void OnHelp();
  void OnHelp(int command);
  void OnAbout();
  void OnFind(bool next);
  void OnPrintSetup();

  // The recent GDSII files (at most 4), newest first.
  const std::vector<std::string>& recent_files() const { return recent_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class Host;
  friend class Host;

  void BuildMenus();
  void UpdateCommandStates();
  void SetStatusText(const std::string& text);
  void UpdateTitle();
  // Marks a child program's run: the commands are disabled so that nothing re-enters.
  void BeginBusy();
  void EndBusy();
  int RunAndWait(const std::string& program, const ProgramArguments& arguments, int32_t* exit_code,
                 std::string* error_output = nullptr);
  // Shows the file in the log view: true when it is shown there. Otherwise *why (when
  // given) is the reason to add to the one message the caller shows, "" when the file
  // cannot be read; a file too long for the view goes to the desktop's editor.
  bool ShowLogFile(const std::string& path, bool editable, std::string* why = nullptr);
  void ShowScanReport();
  void NewJob();
  void CloseStructureDialogs();
  void RefreshAfterStructure();
  bool EnsureViewer(std::string* path, const char* program, const char* title);
  void AddRecentFile(const std::string& path);
  void UpdateRecentMenu();
  // The file of the log shown, or else the job log's; "" when there is neither. Save Log As
  // and Print Log name their files after it.
  std::string LogNameShown() const;

  TabrunJob job_;
  CAppProfile profile_;
  CMerdoltView* view_ = nullptr;
  CControlDlg* panel_ = nullptr;
  ContextHelp* help_ = nullptr;  // owned by the frame
  QPointer<CStructSelectDlg> structure_;
  std::unique_ptr<EngineProgressDialog> progress_;
  std::unique_ptr<Host> host_;
  TranslateOutcome last_translation_;
  // The log file the view shows (a job log, a log opened, the file of the last Save Log
  // As); "" while it shows none of them (a new job, a scan report).
  std::string shown_log_path_;
  std::vector<std::string> recent_;
  QMenu* recent_menu_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
  int busy_ = 0;
  LockKeyPanes* lock_panes_ = nullptr;  // CAP, NUM and SCRL beside the message pane
};

}  // namespace kavrinth
