// Tabrun's main frame and command handlers.
#include "tabrun/ui/main_frame.h"

#include <strings.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>

#include "platform/process.h"
#include "support/job_file_names.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/directory_dialog.h"
#include "support/qt/engine_progress_dialog.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/file_filters.h"
#include "support/qt/lock_key_panes.h"
#include "support/qt/log_view.h"
#include "support/qt/message_box.h"
#include "support/qt/window_helpers.h"
#include "support/qt/window_placement.h"
#include "tabrun/core/file_ops.h"
#include "tabrun/core/job_actions.h"
#include "tabrun/ui/commands.h"
#include "tabrun/ui/configuration_sheet.h"
#include "tabrun/ui/control_panel.h"
#include "tabrun/ui/help_topics.h"
#include "tabrun/ui/layers_dialog.h"
#include "tabrun/ui/shell_dialogs.h"
#include "tabrun/ui/structure_dialogs.h"

namespace kavrinth {
namespace {

constexpr const char* kAppName = "Tabrun";
constexpr const char* kWebPage = "https://kavrinth.example.org/";
// Logs up to this size are shown in the view; larger ones go to the desktop's editor.
constexpr int64_t kLogViewLimit = 262144;
constexpr const char* kLogInEditor =
    "It is too long for the view; the desktop's text editor shows it.";
constexpr const char* kLogWithoutEditor =
    "It is too long for the view, and no program to show text files was found on this desktop.";

QString Q(const std::string& text) { return QString::fromStdString(text); }

void Warn(const std::string& text) { ShowMessage(text, kAppName, MessageIcon::kWarning); }

enum class Rule { kAlways, kAfterScan };

struct CommandEntry {
  int id;
  const char* menu;
  const char* text;
  QKeySequence key;
  void (CMainFrame::*handler)();
  Rule rule;
};

// The file-type filter rows of the shell's table.
std::string Filter(int row) { return BuildFileFilters(FilterTable::kGdsToPgShell)[row]; }
constexpr int kGdsRow = 2, kCfgRow = 3, kLogRow = 6, kExeRow = 14;

}  // namespace

// The Translate sequence's view of the windows.
class CMainFrame::Host : public TranslateHost {
 public:
  explicit Host(CMainFrame* frame) : frame_(frame) {}
  int RunEngine(const std::string& program, const ProgramArguments& arguments,
                int32_t* exit_code) override {
    frame_->BeginBusy();
    const size_t shown = frame_->progress_->messages().size();
    const int result =
        frame_->progress_->Run(program, frame_->job_.working_dir.c_str(), arguments, exit_code);
    const std::vector<ProgressLine>& messages = frame_->progress_->messages();
    last_engine_message_ = messages.size() > shown ? messages.back().text : std::string();
    frame_->EndBusy();
    return result;
  }
  std::string LastEngineMessage() const override { return last_engine_message_; }
  int RunConverter(const std::string& program, const ProgramArguments& arguments,
                   int32_t* exit_code) override {
    return frame_->RunAndWait(program, arguments, exit_code);
  }
  void SetStatus(const std::string& text) override { frame_->SetStatusText(text); }
  bool ConfirmCommand(const std::string& command_line) override {
    CDebugTextDlg dialog(frame_, command_line);
    return RunModal(dialog, QDialog::Accepted) == QDialog::Accepted;
  }
  bool AskContinue(const std::string& text) override {
    CPromptDlg dialog(frame_, text);
    return RunModal(dialog, QDialog::Accepted) == QDialog::Accepted;
  }
  // The job log is opened as a log file is: the user may edit it before Save Log As.
  bool ShowLog(const std::string& path, std::string* why) override {
    if (!frame_->ShowLogFile(path, true, why)) return false;
    frame_->shown_log_path_ = path;
    return true;
  }
  void TranslationFinished() override { frame_->panel_->EnableButton(kPanelViewPg, true); }

 private:
  CMainFrame* frame_;
  std::string last_engine_message_;
};

namespace {

const std::vector<CommandEntry>& CommandTable() {
  using K = QKeySequence;
  static const std::vector<CommandEntry> kTable = {
      {kCmdSelectGdsFile, "&File", "&Select GDS File...", K::Open, &CMainFrame::OnSelectGdsFile,
       Rule::kAlways},
      {kCmdSelectCfgFile, "&File", "Select/Create &CFG File...", K::UnknownKey,
       &CMainFrame::OnSelectCfgFile, Rule::kAfterScan},
      {kCmdSaveCfgAs, "&File", "Save C&FG As...", K::UnknownKey, &CMainFrame::OnSaveCfgAs,
       Rule::kAfterScan},
      {kCmdSaveLogAs, "&File", "Save Log &As...", K(Qt::CTRL | Qt::Key_A), &CMainFrame::OnSaveLogAs,
       Rule::kAfterScan},
      {kCmdPrintLog, "&File", "&Print Log...", K::Print, nullptr, Rule::kAfterScan},
      {kCmdPrintPreview, "&File", "Print Pre&view...", K::UnknownKey, nullptr, Rule::kAfterScan},
      {kCmdPrintSetup, "&File", "P&rint Setup...", K::UnknownKey, &CMainFrame::OnPrintSetup,
       Rule::kAlways},
      {kCmdExit, "&File", "E&xit", K::Quit, nullptr, Rule::kAlways},
      {kCmdStatusBar, "&View", "&Status Bar", K::UnknownKey, nullptr, Rule::kAlways},
      {kCmdToggleControlDialog, "&View", "&Control Dialog", K::UnknownKey,
       &CMainFrame::OnToggleControlDialog, Rule::kAlways},
      {kCmdWorkingDirectory, "&View", "&Working Directory...", K::UnknownKey,
       &CMainFrame::OnWorkingDirectory, Rule::kAlways},
      {kCmdPgViewerDirectory, "&View", "&PG Viewer Directory...", K::UnknownKey, nullptr,
       Rule::kAlways},
      {kCmdGdsViewerDirectory, "&View", "&GDS Viewer Directory...", K::UnknownKey, nullptr,
       Rule::kAlways},
      {kCmdStructure, "&Job", "Structure...", K::UnknownKey, &CMainFrame::OnStructure,
       Rule::kAfterScan},
      {kCmdConfiguration, "&Job", "&Configuration...", K::UnknownKey, &CMainFrame::OnConfiguration,
       Rule::kAfterScan},
      {kCmdLayers, "&Job", "Layers...", K::UnknownKey, &CMainFrame::OnLayers, Rule::kAfterScan},
      {kCmdTranslate, "&Job", "&Translate", K::UnknownKey, &CMainFrame::OnTranslate,
       Rule::kAfterScan},
      {kCmdViewPgMenu, "&Job", "&View PG...", K::UnknownKey, &CMainFrame::OnViewPg,
       Rule::kAfterScan},
      {kCmdViewGds, "&Job", "&View GDS...", K::UnknownKey, &CMainFrame::OnViewGds,
       Rule::kAfterScan},
      {kCmdHelpIndex, "&Help", "&Running Tabrun", K::UnknownKey, &CMainFrame::OnHelp,
       Rule::kAlways},
      {kCmdInstallation, "&Help", "&Installation", K::UnknownKey, &CMainFrame::OnHelp,
       Rule::kAlways},
      {kCmdUsingHelp, "&Help", "&Using Help", K::UnknownKey, &CMainFrame::OnHelp, Rule::kAlways},
      {kCmdWebPage, "&Help", "Drovanel &Web Page...", K::UnknownKey, &CMainFrame::OnWebPage,
       Rule::kAlways},
      {kCmdAbout, "&Help", "&About Tabrun...", K::UnknownKey, &CMainFrame::OnAbout, Rule::kAlways},
  };
  return kTable;
}

}  // namespace

CMainFrame::CMainFrame(bool debug) {
  job_.debug = debug;
  job_.program_dir = ProgramDirectory();
  setWindowTitle(kAppName);
  setAcceptDrops(true);
  view_ = new CMerdoltView(kAppName, this);
  view_->setObjectName("LogView");
  view_->setAccessibleName("Log");
  // Ctrl+A is Save Log As here, not the text's Select All, whether the log is editable or
  // not; every other accelerator and menu key works in any state of the log too, as the
  // text claims only the keys that edit it.
  view_->SetFrameKeys({QKeySequence(Qt::CTRL | Qt::Key_A)});
  setCentralWidget(view_);
  // Files dropped on the log are opened by the frame, not pasted into the text.
  view_->setAcceptDrops(false);
  view_->viewport()->setAcceptDrops(false);
  statusBar()->showMessage("Ready");
  lock_panes_ = new LockKeyPanes(statusBar());
  progress_ = std::make_unique<EngineProgressDialog>(this);
  host_ = std::make_unique<Host>(this);

  profile_.Open(kAppName);
  LoadFrameSettings(&job_.options, profile_);
  LoadOptionDefaults(&job_.options, profile_);
  job_.working_dir = job_.options.working_directory;
  // The last GDSII file comes back as the path only (the file dialog starts there); it is
  // scanned only when the user opens it.
  job_.gds_path = job_.options.gds_file;
  resize(800, 600);
  RestoreWindowPlacement(profile_, this, false);

  BuildMenus();
  for (int i = 1; i <= 4; ++i) {
    std::string file;
    if (profile_.GetString(("File" + std::to_string(i)).c_str(), &file, kStoredPathRoom) == 1 &&
        !file.empty()) {
      recent_.push_back(file);
    }
  }
  UpdateRecentMenu();
  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  panel_ = new CControlDlg(this, [this](int id) { OnCommand(id); });
  panel_->setWindowTitle(kAppName);
  help_ = new ContextHelp(TabrunHelpSetup([this] { return job_.program_dir; }), this);
  if (job_.options.control_dialog == 1) {
    panel_->show();
  }
  FindCommandAction(this, kCmdToggleControlDialog)->setChecked(job_.options.control_dialog == 1);
  statusBar()->setVisible(job_.options.status_bar != 0);
  FindCommandAction(this, kCmdStatusBar)->setChecked(job_.options.status_bar != 0);
  UpdateCommandStates();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::BuildMenus() {
  std::map<std::string, QMenu*> menus;
  for (const char* name : {"&File", "&Edit", "&View", "&Job", "&Help"}) {
    menus[name] = menuBar()->addMenu(name);
  }
  for (const CommandEntry& c : CommandTable()) {
    QAction* action = menus[c.menu]->addAction(c.text);
    action->setData(c.id);
    action->setObjectName(ControlObjectName(c.id));
    if (!c.key.isEmpty()) action->setShortcut(c.key);
    if (c.id == kCmdToggleControlDialog || c.id == kCmdStatusBar) action->setCheckable(true);
    const int id = c.id;
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    if (c.id == kCmdPrintSetup) {
      menus[c.menu]->addSeparator();
      recent_menu_ = menus[c.menu]->addMenu("Recent &File");
      menus[c.menu]->addSeparator();
    }
    if (c.id == kCmdWorkingDirectory) menus[c.menu]->addSeparator();
  }
  // The log text's own editing commands.
  QMenu* edit = menus["&Edit"];
  struct EditCommand {
    int id;
    const char* text;
    QKeySequence::StandardKey key;
    void (QPlainTextEdit::*slot)();
  };
  for (const EditCommand& e :
       {EditCommand{kCmdEditUndo, "&Undo", QKeySequence::Undo, &QPlainTextEdit::undo},
        EditCommand{kCmdEditCut, "Cu&t", QKeySequence::Cut, &QPlainTextEdit::cut},
        EditCommand{kCmdEditCopy, "&Copy", QKeySequence::Copy, &QPlainTextEdit::copy},
        EditCommand{kCmdEditPaste, "&Paste", QKeySequence::Paste, &QPlainTextEdit::paste}}) {
    QAction* action = edit->addAction(e.text);
    action->setData(e.id);  // the command id that Help looks up
    action->setShortcut(e.key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(action, &QAction::triggered, view_, e.slot);
  }
  edit->addSeparator();
  QAction* find = edit->addAction("&Find...");
  find->setObjectName("Find");
  find->setData(kCmdEditFind);
  find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F3));
  connect(find, &QAction::triggered, this, [this] { OnFind(false); });
  QAction* next = edit->addAction("Find &Next");
  next->setObjectName("FindNext");
  next->setData(kCmdEditRepeat);
  next->setShortcut(QKeySequence(Qt::Key_F3));
  connect(next, &QAction::triggered, this, [this] { OnFind(true); });
}

bool CMainFrame::CommandEnabled(int id) const {
  if (busy_ > 0) return false;
  for (const CommandEntry& c : CommandTable()) {
    if (c.id == id) return c.rule == Rule::kAlways || job_.scanned;
  }
  return true;
}

void CMainFrame::UpdateCommandStates() {
  for (const CommandEntry& c : CommandTable()) {
    if (QAction* action = FindCommandAction(this, c.id)) action->setEnabled(CommandEnabled(c.id));
  }
  menuBar()->setEnabled(busy_ == 0);
  if (panel_ != nullptr) panel_->setEnabled(busy_ == 0);
}

void CMainFrame::OnCommand(int id) {
  if (busy_ > 0) return;  // a child program runs: nothing re-enters
  if (!CommandEnabled(id) && id != kCmdViewPg) return;
  switch (id) {
    case kCmdExit:
      close();
      return;
    case kCmdViewPg:
      OnViewPg();
      return;
    case kCmdStatusBar:
      statusBar()->setVisible(!statusBar()->isVisible());
      FindCommandAction(this, kCmdStatusBar)->setChecked(statusBar()->isVisible());
      return;
    case kCmdPrintLog:
      OnPrintLog(false);
      return;
    case kCmdPrintPreview:
      OnPrintLog(true);
      return;
    case kCmdPgViewerDirectory:
      OnViewerDirectory(true);
      return;
    case kCmdGdsViewerDirectory:
      OnViewerDirectory(false);
      return;
    case kCmdHelpIndex:
    case kCmdInstallation:
    case kHelpCmdUsing:
    case kHelpCmdContext:
    case kHelpCmdWindow:
    case kHelpCmdDefault:
      OnHelp(id);
      return;
    default:
      break;
  }
  for (const CommandEntry& c : CommandTable()) {
    if (c.id == id && c.handler != nullptr) {
      (this->*c.handler)();
      UpdateCommandStates();
      return;
    }
  }
}

std::string CMainFrame::StatusText() const { return statusBar()->currentMessage().toStdString(); }

void CMainFrame::SetStatusText(const std::string& text) {
  statusBar()->showMessage(Q(text));
  statusBar()->repaint();
}

void CMainFrame::UpdateTitle() {
  // "Tabrun - demo.gds,demo.cfg": the CFG file's name only once it is chosen and exists.
  const bool cfg = job_.cfg_selected && FileSize(job_.cfg_path) >= 0;
  UpdateFrameTitle(this, kAppName, !job_.gds_path.empty(), job_.gds_path,
                   cfg ? job_.cfg_path.c_str() : nullptr, nullptr, false);
}

void CMainFrame::BeginBusy() {
  ++busy_;
  UpdateCommandStates();
}

void CMainFrame::EndBusy() {
  --busy_;
  UpdateCommandStates();
}

int CMainFrame::RunAndWait(const std::string& program, const ProgramArguments& arguments,
                           int32_t* exit_code, std::string* error_output) {
  BeginBusy();
  const PumpCallback pump = [] {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  const int result = RunProgram(pump, program, job_.working_dir.c_str(), arguments, exit_code, true,
                                nullptr, error_output);
  EndBusy();
  return result;
}

bool CMainFrame::ShowLogFile(const std::string& path, bool editable, std::string* why) {
  std::string ignored;
  if (why == nullptr) why = &ignored;
  why->clear();
  const int64_t size = FileSize(path);
  if (size < 0) return false;
  if (size > kLogViewLimit) {
    // Too long for the view: the desktop's editor shows it.
    *why =
        QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path))) ? kLogInEditor : kLogWithoutEditor;
    return false;
  }
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return false;
  view_->SetLog(*text);
  view_->SetLogReadOnly(!editable);
  return true;
}

void CMainFrame::ShowScanReport() {
  // A report the desktop's editor shows needs no word; one that nothing shows does.
  std::string why;
  if (!ShowLogFile(job_.scan_report_path, false, &why) && why == kLogWithoutEditor) {
    Warn("The scan report " + job_.scan_report_path + " cannot be shown.\n" + why);
  }
}

void CMainFrame::NewJob() {
  view_->ClearLog();
  shown_log_path_.clear();
  UpdateTitle();
}

void CMainFrame::CloseStructureDialogs() {
  if (structure_) {
    structure_->hide();
    structure_->deleteLater();
    structure_ = nullptr;
  }
}

bool CMainFrame::OpenDocumentFile(const std::string& path) {
  std::string extension;
  SplitExtension(path, nullptr, &extension);
  if (strcasecmp(extension.c_str(), ".log") == 0) {
    // The log replaces the whole text only once it has been read: one that cannot be shown
    // leaves the view with what it showed.
    std::string why;
    if (!ShowLogFile(path, true, &why)) {
      Warn("Error occurred in viewing log file " + path + "." + (why.empty() ? "" : "\n" + why));
      return false;
    }
    shown_log_path_ = path;
    UpdateTitle();
    return true;
  }
  CloseStructureDialogs();
  SetStatusText("Scanning GDS File...");
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ProgramRunner runner = [this](const std::string& program, const ProgramArguments& arguments,
                                      int32_t* exit_code, std::string* error_output) {
    return RunAndWait(program, arguments, exit_code, error_output);
  };
  const ScanResult result = ScanGdsFile(&job_, path, runner);
  QApplication::restoreOverrideCursor();
  activateWindow();
  if (result != ScanResult::kScanned) {
    SetStatusText("Failed Scanning GDS File");
    UpdateCommandStates();
    return false;
  }
  job_.options.gds_file = path;
  NewJob();
  SetStatusText("Finished Scanning GDS File");
  for (int button : {kPanelStructure, kPanelConfiguration, kPanelLayers, kPanelTranslate,
                     kPanelViewPg, kPanelViewGds}) {
    panel_->EnableButton(button, false);
  }
  UpdateCommandStates();
  OnSelectCfgFile();
  if (!job_.cfg_selected) {
    ShowScanReport();
    SetStatusText("Select a CFG File");
  } else if (view_->toPlainText().isEmpty()) {
    ShowScanReport();
  }
  UpdateTitle();
  return true;
}

void CMainFrame::OnSelectGdsFile() {
  std::string name = job_.gds_path.empty() ? MakePath(job_.working_dir, "*.gds") : job_.gds_path;
  const FileDialogHook hook = [this](CFileDialogEx& dialog, int control_id) {
    if (control_id == kFileDlgHookInit) {
      if (auto* button = FindControl<QPushButton>(&dialog, kTplWorkingDirButton)) button->show();
      return true;
    }
    if (control_id == kTplWorkingDirButton) {
      CDirectoryDlg directory(&dialog, job_.working_dir);
      if (RunModal(directory, QDialog::Rejected) == QDialog::Accepted) {
        ChangeWorkingDirectory(&job_, directory.new_directory());
      }
      return true;
    }
    return false;
  };
  if (OpenFileDlgHook(this, "Select GDS File", &name, "gds", Filter(kGdsRow),
                      kFileDlgFileMustExist | kFileDlgHideReadOnly, hook,
                      kFileTemplate95.data()) != 1) {
    return;
  }
  OpenDocumentFile(name);
}

void CMainFrame::OnSelectCfgFile() {
  std::string name = job_.cfg_path;
  if (OpenFileDlg(this, "Select/Create CFG File", &name, "cfg", Filter(kCfgRow),
                  kFileDlgPathMustExist | kFileDlgHideReadOnly | kFileDlgCreatePrompt) != 1) {
    return;
  }
  bool failed = false;
  const bool first = SelectCfgFile(&job_, name, profile_, &failed);
  UpdateTitle();
  if (first) {
    panel_->EnableButton(kPanelStructure, true);
    OnStructure();
    AddRecentFile(job_.gds_path);
  }
}

void CMainFrame::OnSaveCfgAs() {
  std::string name = job_.cfg_path;
  if (SaveFileDlg(this, "Save CFG As", &name, "cfg", Filter(kCfgRow),
                  kFileDlgOverwritePrompt | kFileDlgHideReadOnly) != 1) {
    return;
  }
  SaveCfgAs(&job_, name);
  UpdateTitle();
}

void CMainFrame::OnSaveLogAs() {
  // The name of the log shown: the default never replaces another log with its text.
  std::string name = LogNameShown();
  if (name.empty()) name = MakePath(job_.working_dir, "*.log");
  if (SaveFileDlg(this, "Save Log As", &name, "log", Filter(kLogRow),
                  kFileDlgOverwritePrompt | kFileDlgHideReadOnly) != 1) {
    return;
  }
  // The log's own bytes while it is not edited (an 8-bit log, its line ends), else the
  // text in the log's encoding and line ends.
  const std::optional<std::string> bytes = view_->LogBytes();
  if (!bytes) {
    Warn("The log holds characters that its 8-bit text cannot keep.\nThe log file " + name +
         " is not written.");
    return;
  }
  std::string error;
  if (WriteFileReplacing(name, *bytes, &error) != 0) {
    Warn("The log could not be saved: " + error);
    return;
  }
  job_.job_log_path = name;
  shown_log_path_ = name;
  SetWindowTextLiteral(this, kAppName);
}

std::string CMainFrame::LogNameShown() const {
  return !shown_log_path_.empty() ? shown_log_path_ : job_.job_log_path;
}

void CMainFrame::AddRecentFile(const std::string& path) {
  std::erase(recent_, path);
  recent_.insert(recent_.begin(), path);
  if (recent_.size() > 4) recent_.resize(4);
  UpdateRecentMenu();
}

void CMainFrame::UpdateRecentMenu() {
  recent_menu_->clear();
  for (size_t i = 0; i < recent_.size(); ++i) {
    const std::string path = recent_[i];
    QAction* action = recent_menu_->addAction(QString("&%1 %2").arg(i + 1).arg(Q(path)));
    connect(action, &QAction::triggered, this, [this, path] {
      if (busy_ == 0) OpenDocumentFile(path);
    });
  }
  recent_menu_->setEnabled(!recent_.empty());
}

void CMainFrame::OnPrintSetup() {
  QPageSetupDialog dialog(printer_.get(), this);
  RunModal(dialog, QDialog::Rejected);
}

void CMainFrame::OnPrintLog(bool preview) {
  QPrinter& printer = *printer_;
  if (QPrinterInfo::availablePrinters().isEmpty()) {
    // No printer set up: the log is printed to a PDF file named after the log shown, also
    // by the Print of the preview.
    const std::string shown = LogNameShown();
    std::string name =
        shown.empty() ? MakePath(job_.working_dir, "log.pdf") : ReplaceExtension(shown, ".pdf");
    if (preview) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(Q(name));
    } else {
      if (SaveFileDlg(this, "Print Log to PDF", &name, "pdf", MakeFileFilter("pdf"),
                      kFileDlgOverwritePrompt) != 1) {
        return;
      }
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(Q(name));
      view_->print(&printer);
      SetStatusText("Log printed to " + name);
      return;
    }
  }
  if (preview) {
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, view_, &QPlainTextEdit::print);
    RunModal(dialog, QDialog::Rejected);
    return;
  }
  QPrintDialog dialog(&printer, this);
  if (RunModal(dialog, QDialog::Rejected) == QDialog::Accepted) view_->print(&printer);
}

void CMainFrame::OnToggleControlDialog() {
  QAction* action = FindCommandAction(this, kCmdToggleControlDialog);
  const bool show = !panel_->isVisible();
  panel_->setVisible(show);
  action->setChecked(show);
  job_.options.control_dialog = show ? 1 : 0;
}

void CMainFrame::OnWorkingDirectory() {
  CDirectoryDlg dialog(this, job_.working_dir);
  if (RunModal(dialog, QDialog::Rejected) != QDialog::Accepted) return;
  ChangeWorkingDirectory(&job_, dialog.new_directory());
  job_.options.working_directory = job_.working_dir;
}

void CMainFrame::OnViewerDirectory(bool pg) {
  std::string& path = pg ? job_.options.pg_viewer_path : job_.options.gds_viewer_path;
  std::string name = path.empty() ? MakePath(job_.program_dir, pg ? "vexil" : "pexol") : path;
  if (OpenFileDlg(this, pg ? "Select PG Viewer [Vexil.exe]" : "Select GDS Viewer [Pexol.exe]",
                  &name, "", Filter(kExeRow), kFileDlgFileMustExist) == 1) {
    path = name;
  }
}

bool CMainFrame::EnsureViewer(std::string* path, const char* program, const char* title) {
  if (path->empty()) *path = MakeExePath(job_.program_dir, program);
  if (FileExists(*path)) return true;
  const std::string missing = *path;
  OnViewerDirectory(std::string(program) == "vexil.exe");
  if (FileExists(*path) && *path != missing) return true;
  Warn(std::string("The ") + title + " " + missing + " is not installed.\nChoose it with View > " +
       (std::string(program) == "vexil.exe" ? "PG" : "GDS") + " Viewer Directory.");
  path->clear();
  return false;
}

void CMainFrame::OnStructure() {
  if (structure_) {
    structure_->raise();
    return;
  }
  structure_ = new CStructSelectDlg(this, &job_, job_.working_dir,
                                    MakePath(job_.program_dir, "gdsstrct.s_s"),
                                    [this] { RefreshAfterStructure(); });
  structure_->setAttribute(Qt::WA_DeleteOnClose);
  structure_->show();
}

void CMainFrame::RefreshAfterStructure() {
  SaveJobSettings(job_);
  panel_->EnableButton(kPanelConfiguration, true);
  panel_->EnableButton(kPanelLayers, false);
  panel_->EnableButton(kPanelTranslate, false);
  panel_->EnableButton(kPanelViewPg, false);
  panel_->EnableButton(kPanelViewGds, true);
  UpdateTitle();
}

void CMainFrame::OnConfiguration() {
  COptionsDlgSheet sheet(this, &job_);
  if (RunModal(sheet, QDialog::Rejected) != QDialog::Accepted) return;
  SaveJobSettings(job_);
  panel_->EnableButton(kPanelLayers, true);
}

void CMainFrame::OnLayers() {
  CLayersDlg dialog(this, &job_);
  if (RunModal(dialog, QDialog::Rejected) != QDialog::Accepted) return;
  SaveJobSettings(job_);
  panel_->EnableButton(kPanelTranslate, true);
  panel_->EnableButton(kPanelViewPg, false);
}

void CMainFrame::OnTranslate() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  last_translation_ = Translate(&job_, host_.get());
  QApplication::restoreOverrideCursor();
  activateWindow();
  // The layout changed since its scan and the user asked for a new one: the road starts
  // again at the scan, as when the file is opened.
  if (last_translation_.rescan) OpenDocumentFile(job_.gds_path);
}

void CMainFrame::OnViewPg() {
  if (!job_.scanned) return;
  const std::string job_file = WriteViewerJob(job_);
  if (job_file.empty()) return;
  if (!EnsureViewer(&job_.options.pg_viewer_path, "vexil.exe", "PG viewer")) return;
  int32_t ignored = 0;
  RunProgram(nullptr, job_.options.pg_viewer_path, job_.working_dir.c_str(),
             ProgramArguments{job_file}, &ignored, false);
}

void CMainFrame::OnViewGds() {
  if (!EnsureViewer(&job_.options.gds_viewer_path, "pexol.exe", "GDS viewer")) return;
  int32_t ignored = 0;
  RunProgram(nullptr, job_.options.gds_viewer_path, job_.working_dir.c_str(),
             ProgramArguments{job_.gds_path, "-title:Pexol", "-top:" + job_.scan.top}, &ignored,
             false);
}

void CMainFrame::OnWebPage() {
  if (!QDesktopServices::openUrl(QUrl(kWebPage))) {
    Warn(std::string("Error occurred in launching web browser to go to\n") + kWebPage +
         ".\nYou can run web browser manually and go to the above address.");
  }
}

// There are no help files: the README is the help, shown at the section that covers the
// command or window asked about.
void CMainFrame::OnHelp() { OnHelp(kCmdHelpIndex); }

void CMainFrame::OnHelp(int command) {
  switch (command) {
    case kCmdInstallation:
      help_->ShowInstallation();
      return;
    case kHelpCmdUsing:
      help_->ShowUsingHelp();
      return;
    case kHelpCmdContext:
      help_->BeginContextMode();
      return;
    case kHelpCmdWindow:
      help_->ShowWindowHelp();
      return;
    default:
      help_->ShowContents();
      return;
  }
}

void CMainFrame::OnAbout() {
  CAboutDlg dialog(this);
  RunModal(dialog, QDialog::Accepted);
}

void CMainFrame::OnFind(bool next) {
  if (next) {
    view_->OnFindNext();
  } else {
    view_->OnFind();
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (busy_ > 0) {
    event->ignore();
    return;
  }
  job_.options.status_bar = statusBar()->isVisible() ? 1 : 0;
  job_.options.toolbar = 0;
  job_.options.working_directory = job_.working_dir;
  job_.options.gds_file = job_.gds_path;
  int saved = SaveOptions(job_.options, profile_);
  for (size_t i = 0; i < 4; ++i) {
    saved &= profile_.WriteString(("File" + std::to_string(i + 1)).c_str(),
                                  i < recent_.size() ? recent_[i].c_str() : nullptr);
  }
  SaveWindowPlacement(profile_, *this);
  if (saved != 1) {
    Warn(profile_.IsOpen()
             ? "The settings of Tabrun could not be written to " + profile_.path() +
                   ".\nThe next start uses the settings it finds there."
             : std::string("The settings of Tabrun cannot be kept: there is no settings "
                           "directory (neither XDG_CONFIG_HOME nor HOME is set)."));
  }
  CleanUpOnClose(job_);
  CloseStructureDialogs();
  panel_->hide();
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && busy_ == 0) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || busy_ > 0) return;
  event->acceptProposedAction();
  if (!urls.front().isLocalFile()) {
    Warn("Only a file of this computer can be opened:\n" +
         urls.front().toDisplayString().toStdString());
    return;
  }
  const std::string path = urls.front().toLocalFile().toStdString();
  if (urls.size() > 1) {
    Warn("Tabrun opens one file at a time: " + path + " is opened, the other " +
         std::to_string(urls.size() - 1) + " dropped with it are not.");
  }
  OpenDocumentFile(path);
}

}  // namespace kavrinth
