// Corvane's main window: the job log in an edit view, the menus and accelerators, the
// control panel, the settings, and every command of the EM/Mann -> GDSII road.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corvane/core/session.h"
#include "corvane/core/settings.h"
#include "support/qt/log_view.h"

class QAction;
class QPrinter;

namespace kavrinth {

class ContextHelp;
class ControlPanel;
class EngineProgressDialog;
class LockKeyPanes;

inline constexpr const char* kCorvaneTitle = "CORVANE";

// The Help buttons of the dialogs: help on the dialog through the main window's help, or
// the words that help is not installed when the dialog runs without it.
void ShowHelp(QWidget* dialog, int command);

class CorvaneMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Reads the settings store "Corvane" and shows the control panel as it was left.
  CorvaneMainWindow();
  ~CorvaneMainWindow() override;

  // The one dispatch every menu item, accelerator and panel button goes through.
  void OnCommand(int id);
  // Shows a text file (a job log) in the log view: false when it cannot be read, after the
  // message "Cannot open file ..." or, when why is given, with the reason in *why for the
  // caller's own message (Translate names the job log it could not show once).
  bool OpenDocumentFile(const std::string& path, std::string* why = nullptr);

  CorvaneSession& session() { return session_; }
  const CorvaneBarFlags& flags() const { return flags_; }
  ControlPanel* panel() const { return panel_; }
  CMerdoltView* log_view() const { return log_view_; }
  QAction* action(int id) const;
  LockKeyPanes* lock_panes() const { return lock_panes_; }
  // The printer Print Setup sets up and Print Log prints on.
  QPrinter& printer();
  const std::vector<std::string>& recent_files() const { return recent_files_; }
  QString StatusText() const;
  // True while a child program runs; the window's commands are disabled meanwhile.
  bool busy() const { return busy_; }
  // The help window, F1 and Shift+F1 of every window of Corvane.
  ContextHelp* help() const { return help_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // A file dropped on the window is opened as a document, as from the command line.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct Command {
    int id;
    void (CorvaneMainWindow::*handler)();
  };

  void BuildMenus();
  void BuildRecentFileEntries();
  void ShowRecentFiles();
  void OpenRecentFile(size_t index);
  bool SaveRecentFiles() const;
  // F6 and Shift+F6: the keyboard moves between the log view and the control panel.
  void MoveToPane();
  void OnNextPane();
  void OnPrevPane();
  void SetStatusText(const std::string& text);
  void SetTitle(const std::string& file);
  void UpdateCommandStates();
  void SetBusy(bool busy);
  // Finds a viewer program: its stored path, else the default name beside us, else the
  // user's choice. False when there is none to start.
  bool FindViewer(std::string& path, std::string_view default_name, int choose_command,
                  const char* what);
  bool ChooseViewer(std::string& path, const char* title);
  // False, after a message naming it, when an input file is one the step would write.
  bool InputsAreSafe(bool with_run);

  void OnSelectFiles();
  void OnFileNew();
  void OnConfiguration();
  void OnLayers();
  void OnTranslate();
  void OnViewGds();
  void OnViewEmMann();
  void OnGdsViewerDirectory();
  void OnPgViewerDirectory();
  void OnWorkingDirectory();
  void OnControlDialog();
  void OnStatusBar();
  void OnSaveLogAs();
  void OnPrintLog();
  void OnPrintSetup();
  void OnFind();
  void OnFindNext();
  void OnHelp();  // the contents
  void OnHelp(int command);
  void OnAbout();
  void OnExit();

  static const std::vector<Command>& Commands();

  CorvaneSession session_;
  CorvaneBarFlags flags_;
  CMerdoltView* log_view_ = nullptr;
  ControlPanel* panel_ = nullptr;
  ContextHelp* help_ = nullptr;  // owned by the window
  bool busy_ = false;
  std::unique_ptr<QPrinter> printer_;
  LockKeyPanes* lock_panes_ = nullptr;
  // The recent-file list of the settings store: shown, never added to; an entry that
  // cannot be opened is taken off and the list stored again at close.
  std::vector<std::string> recent_files_;
  std::vector<QAction*> recent_actions_;
  QAction* recent_placeholder_ = nullptr;
  bool recent_files_changed_ = false;
};

}  // namespace kavrinth
