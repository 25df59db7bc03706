// Corvane's main window and its commands.
#include "corvane/ui/main_window.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "corvane/core/engine_job_file.h"
#include "corvane/core/translate.h"
#include "corvane/ui/about_dialog.h"
#include "corvane/ui/commands.h"
#include "corvane/ui/control_panel.h"
#include "corvane/ui/help_topics.h"
#include "corvane/ui/layers_dialog.h"
#include "corvane/ui/translator_settings_dialog.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/args.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/directory_dialog.h"
#include "support/qt/engine_progress_dialog.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/file_filters.h"
#include "support/qt/lock_key_panes.h"
#include "support/qt/log_view.h"
#include "support/qt/window_helpers.h"
#include "support/qt/window_placement.h"
#include "support/run_program.h"

namespace kavrinth {

namespace {

constexpr const char* kInputFilter =
    "EM/Mann Files (*.em;*.dwm;*.sor)|*.em;*.dwm;*.sor|All Files (*.*)|*.*||";
constexpr const char* kGdsFilter = "GDS Files (*.gds)|*.gds|All Files (*.*)|*.*||";
// Programs carry no extension here, so every file is offered first.
constexpr const char* kViewerFilter = "All Files (*.*)|*.*|EXE Files (*.exe)|*.exe||";
constexpr size_t kInputListEntries = 65;
// The recent-file list: four entries in their own section of the settings file.
constexpr size_t kRecentFileCount = 4;
constexpr const char* kRecentFileStore = "Corvane/Recent File List";
constexpr const char* kNoHelpText =
    "Help is not installed. The README of Kavrinth describes CORVANE in its section "
    "\"Corvane\".";

void Tell(const std::string& text, MessageIcon icon = MessageIcon::kNone) {
  ShowMessage(text, kCorvaneTitle, icon);
}

struct MenuItem {
  int id;  // 0: separator; -1: opens a submenu named by text; -2: ends it; -3: recent files
  const char* text;
  QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
  const char* keys = nullptr;  // ';'-separated shortcuts
  bool checkable = false;
};

struct MenuTable {
  const char* title;
  std::vector<MenuItem> items;
};

const std::vector<MenuTable>& Menus() {
  static const std::vector<MenuTable> menus = {
      {"&File",
       {{kCmdSelectFiles, "Select &EM/Mann Files...", QKeySequence::UnknownKey, "Ctrl+O;Ctrl+M"},
        {kCmdSaveLogAs, "&Save Log As...", QKeySequence::UnknownKey, "Ctrl+S"},
        {0, ""},
        {kCmdPrintLog, "&Print Log...", QKeySequence::UnknownKey, "Ctrl+P"},
        {kCmdPrintSetup, "P&rint Setup..."},
        {0, ""},
        {-1, "Pre&ferences"},
        {kCmdGdsViewerDirectory, "&GDS Viewer Directory..."},
        {kCmdPgViewerDirectory, "&PG Viewer Directory..."},
        {kCmdWorkingDirectory, "&Working Directory..."},
        {0, ""},
        {kCmdControlDialog, "&Control Dialog", QKeySequence::UnknownKey, nullptr, true},
        {-2, ""},
        {0, ""},
        {-3, "Recent File"},
        {0, ""},
        {kCmdExit, "E&xit"}}},
      {"&Edit",
       {{kCmdUndo, "&Undo", QKeySequence::UnknownKey, "Ctrl+Z;Alt+Backspace"},
        {0, ""},
        {kCmdCut, "Cu&t", QKeySequence::UnknownKey, "Ctrl+X;Shift+Del"},
        {kCmdCopy, "&Copy", QKeySequence::UnknownKey, "Ctrl+C;Ctrl+Ins"},
        {kCmdPaste, "&Paste", QKeySequence::UnknownKey, "Ctrl+V;Shift+Ins"}}},
      {"&Search",
       {{kCmdFind, "&Find...", QKeySequence::UnknownKey, "Ctrl+F3;Ctrl+F"},
        {kCmdFindNext, "Find &Next", QKeySequence::UnknownKey, "F3"}}},
      {"&Options", {{kCmdConfiguration, "&Configuration..."}, {kCmdLayers, "&Layers..."}}},
      {"&Translate", {{kCmdTranslate, "&Translate", QKeySequence::UnknownKey, "Ctrl+T"}}},
      {"&View",
       {{kCmdViewGds, "View &GDS...", QKeySequence::UnknownKey, "Ctrl+G"},
        {kCmdViewEmMann, "View E&M/Mann..."},
        {0, ""},
        {kCmdStatusBar, "&Status Bar", QKeySequence::UnknownKey, nullptr, true}}},
      {"&Help",
       {{kCmdHelpIndex, "&Running CORVANE", QKeySequence::UnknownKey, "F1"},
        {kCmdUsingHelp, "&Using Help"},
        {kCmdInstallation, "&Installation"},
        {0, ""},
        {kCmdAbout, "&About CORVANE..."}}},
  };
  return menus;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The whole file as bytes, by the name's own bytes (a name need not be UTF-8): 0, or the
// errno of the failure, also of a read that fails after a good open.
int ReadLogFile(const std::string& path, std::string* bytes) {
  const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return error;
    }
    bytes->append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return 0;
}

void LocalTimeNow(std::tm* out) {
  const std::time_t now = std::time(nullptr);
  localtime_r(&now, out);
}

}  // namespace

const std::vector<CorvaneMainWindow::Command>& CorvaneMainWindow::Commands() {
  static const std::vector<Command> commands = {
      {kCmdAbout, &CorvaneMainWindow::OnAbout},
      {kCmdConfiguration, &CorvaneMainWindow::OnConfiguration},
      {kCmdSelectFiles, &CorvaneMainWindow::OnSelectFiles},
      {kCmdFileNew, &CorvaneMainWindow::OnFileNew},
      {kCmdInstallation, &CorvaneMainWindow::OnHelp},
      {kCmdViewGds, &CorvaneMainWindow::OnViewGds},
      {kCmdGdsViewerDirectory, &CorvaneMainWindow::OnGdsViewerDirectory},
      {kCmdLayers, &CorvaneMainWindow::OnLayers},
      {kCmdWorkingDirectory, &CorvaneMainWindow::OnWorkingDirectory},
      {kCmdPgViewerDirectory, &CorvaneMainWindow::OnPgViewerDirectory},
      {kCmdViewEmMann, &CorvaneMainWindow::OnViewEmMann},
      {kCmdPrintSetup, &CorvaneMainWindow::OnPrintSetup},
      {kCmdTranslate, &CorvaneMainWindow::OnTranslate},
      {kCmdControlDialog, &CorvaneMainWindow::OnControlDialog},
      {kCmdHelpIndex, &CorvaneMainWindow::OnHelp},
      {kCmdHelpFinder, &CorvaneMainWindow::OnHelp},
      {kCmdUsingHelp, &CorvaneMainWindow::OnHelp},
      {kCmdHelp, &CorvaneMainWindow::OnHelp},
      {kCmdContextHelp, &CorvaneMainWindow::OnHelp},
      {kCmdSaveLogAs, &CorvaneMainWindow::OnSaveLogAs},
      {kCmdPrintLog, &CorvaneMainWindow::OnPrintLog},
      {kCmdFind, &CorvaneMainWindow::OnFind},
      {kCmdFindNext, &CorvaneMainWindow::OnFindNext},
      {kCmdStatusBar, &CorvaneMainWindow::OnStatusBar},
      {kCmdExit, &CorvaneMainWindow::OnExit},
      {kCmdNextPane, &CorvaneMainWindow::OnNextPane},
      {kCmdPrevPane, &CorvaneMainWindow::OnPrevPane},
  };
  return commands;
}

CorvaneMainWindow::CorvaneMainWindow() {
  setObjectName("CorvaneMainWindow");
  session_.program_directory = ProgramDirectory();
  log_view_ = new CMerdoltView(kCorvaneTitle, this);
  log_view_->setObjectName("LogView");
  log_view_->setAccessibleName("Job log");
  setCentralWidget(log_view_);
  setAcceptDrops(true);
  log_view_->setAcceptDrops(false);  // a drop opens the file instead of pasting its name
  statusBar()->setAccessibleName("Status");
  lock_panes_ = new LockKeyPanes(statusBar());
  BuildMenus();
  for (const auto& [id, key] : {std::pair{kCmdNextPane, QKeySequence(Qt::Key_F6)},
                                std::pair{kCmdPrevPane, QKeySequence(Qt::SHIFT | Qt::Key_F6)}}) {
    auto* act = new QAction(this);
    act->setData(id);
    act->setShortcut(key);
    act->setShortcutContext(Qt::WindowShortcut);
    addAction(act);
    connect(act, &QAction::triggered, this, [this, id = id] { OnCommand(id); });
  }
  resize(720, 520);

  CAppProfile profile;
  if (profile.Open(kCorvaneProfileName)) {
    RestoreWindowPlacement(profile, this, false);
    LoadCorvaneSettings(profile, session_, flags_);
  }
  CAppProfile recent;
  if (recent.Open(kRecentFileStore)) {
    for (size_t i = 0; i < kRecentFileCount; ++i) {
      std::string path;
      const std::string key = "File" + std::to_string(i + 1);
      if (recent.GetString(key.c_str(), &path, 4096) == 1 && !path.empty()) {
        recent_files_.push_back(path);
      }
    }
  }
  ShowRecentFiles();
  panel_ = new ControlPanel(
      this, [this](int id) { OnCommand(id); }, [this] { close(); });
  SetWindowTextLiteral(panel_, kCorvaneTitle);
  help_ = new ContextHelp(CorvaneHelpSetup([this] { return session_.program_directory; }), this);
  if (QAction* toggle = action(kCmdControlDialog)) toggle->setChecked(flags_.control_dialog != 0);
  if (flags_.control_dialog != 0) panel_->show();
  statusBar()->setVisible(flags_.statusbar != 0);
  if (QAction* toggle = action(kCmdStatusBar)) toggle->setChecked(flags_.statusbar != 0);
  SetWindowTextLiteral(this, kCorvaneTitle);
  UpdateCommandStates();
}

CorvaneMainWindow::~CorvaneMainWindow() = default;

void CorvaneMainWindow::BuildMenus() {
  for (const MenuTable& table : Menus()) {
    QMenu* menu = menuBar()->addMenu(table.title);
    QMenu* target = menu;
    for (const MenuItem& item : table.items) {
      if (item.id == 0) {
        target->addSeparator();
      } else if (item.id == -1) {
        target = menu->addMenu(item.text);
      } else if (item.id == -2) {
        target = menu;
      } else if (item.id == -3) {
        // Greyed while the list is empty; the entries take its place when there are any.
        recent_placeholder_ = target->addAction(item.text);
        recent_placeholder_->setObjectName("NoRecentFile");
        recent_placeholder_->setEnabled(false);
        for (size_t i = 0; i < kRecentFileCount; ++i) {
          QAction* entry = target->addAction(QString());
          const int id = kCmdRecentFile1 + static_cast<int>(i);
          entry->setData(id);
          entry->setObjectName(QString("RecentFile%1").arg(i + 1));
          connect(entry, &QAction::triggered, this, [this, id] { OnCommand(id); });
          recent_actions_.push_back(entry);
        }
      } else {
        QAction* act = target->addAction(item.text);
        act->setData(item.id);
        act->setCheckable(item.checkable);
        if (item.keys) {
          QList<QKeySequence> keys;
          for (const QString& key : QString(item.keys).split(';')) keys.push_back(key);
          act->setShortcuts(keys);
          act->setShortcutContext(Qt::WindowShortcut);
        }
        connect(act, &QAction::triggered, this, [this, id = item.id] { OnCommand(id); });
      }
    }
  }
}

QAction* CorvaneMainWindow::action(int id) const { return FindCommandAction(this, id); }

void CorvaneMainWindow::OnCommand(int id) {
  if (busy_) return;  // nothing re-enters while a child program runs
  if (id >= kCmdRecentFile1 && id <= kCmdRecentFile4) {
    OpenRecentFile(static_cast<size_t>(id - kCmdRecentFile1));
    return;
  }
  switch (id) {
    case kCmdHelpIndex:
    case kCmdHelpFinder:
    case kCmdUsingHelp:
    case kCmdHelp:
    case kCmdContextHelp:
    case kCmdInstallation:
      OnHelp(id);
      return;
    case kCmdUndo:
      log_view_->undo();
      return;
    case kCmdCut:
      log_view_->cut();
      return;
    case kCmdCopy:
      log_view_->copy();
      return;
    case kCmdPaste:
      log_view_->paste();
      return;
    default:
      break;
  }
  for (const Command& command : Commands()) {
    if (command.id == id) {
      (this->*command.handler)();
      return;
    }
  }
}

void CorvaneMainWindow::ShowRecentFiles() {
  if (recent_placeholder_ == nullptr) return;
  recent_placeholder_->setVisible(recent_files_.empty());
  for (size_t i = 0; i < recent_actions_.size(); ++i) {
    QAction* entry = recent_actions_[i];
    entry->setVisible(i < recent_files_.size());
    if (i < recent_files_.size()) {
      entry->setText(QString("&%1 %2").arg(i + 1).arg(Q(recent_files_[i])));
    }
  }
}

void CorvaneMainWindow::OpenRecentFile(size_t index) {
  if (index >= recent_files_.size()) return;
  const std::string path = recent_files_[index];
  if (OpenDocumentFile(path)) return;
  // Its message has been shown; the entry that failed leaves the list.
  recent_files_.erase(recent_files_.begin() + static_cast<std::ptrdiff_t>(index));
  recent_files_changed_ = true;
  ShowRecentFiles();
}

QString CorvaneMainWindow::StatusText() const { return statusBar()->currentMessage(); }

void CorvaneMainWindow::SetStatusText(const std::string& text) {
  if (text.empty()) {
    statusBar()->clearMessage();
  } else {
    statusBar()->showMessage(Q(text));
  }
}

void CorvaneMainWindow::SetTitle(const std::string& file) {
  std::string name;
  SplitPath(file, nullptr, &name);
  SetWindowTextLiteral(
      this, name.empty() ? std::string(kCorvaneTitle) : std::string(kCorvaneTitle) + " - " + name);
}

void CorvaneMainWindow::UpdateCommandStates() {
  for (QAction* act : findChildren<QAction*>()) {
    const int id = act->data().toInt();
    if (id == 0) continue;
    bool enabled = !busy_;
    if (id == kCmdSaveLogAs || id == kCmdPrintLog) {
      enabled = enabled && session_.log_loaded_from_file == 1;
    }
    act->setEnabled(enabled);
  }
}

void CorvaneMainWindow::SetBusy(bool busy) {
  busy_ = busy;
  panel_->SetBusy(busy);
  UpdateCommandStates();
}

// ---- Files and the log view ----

void CorvaneMainWindow::OnFileNew() {
  log_view_->ClearLog();
  SetWindowTextLiteral(this, kCorvaneTitle);
  session_.log_loaded_from_file = 0;
  UpdateCommandStates();
}

bool CorvaneMainWindow::OpenDocumentFile(const std::string& path, std::string* why) {
  std::string bytes;
  const int error = ReadLogFile(ResolveExistingPath(path), &bytes);
  if (error != 0) {
    session_.log_loaded_from_file = 0;
    const std::string reason = std::generic_category().message(error) + ".";
    if (why) {
      *why = reason;
    } else {
      Tell("Cannot open file " + path + ".\n" + reason, MessageIcon::kWarning);
    }
    SetTitle(TitleFileName(session_));
    UpdateCommandStates();
    return false;
  }
  OnFileNew();
  log_view_->SetLog(std::move(bytes));
  log_view_->SetLogReadOnly(false);
  session_.log_loaded_from_file = 1;
  SetTitle(TitleFileName(session_));
  UpdateCommandStates();
  return true;
}

void CorvaneMainWindow::OnSelectFiles() {
  std::string* working_directory = &session_.working_directory;
  FileDialogHook hook = [working_directory](CFileDialogEx& dialog, int control) {
    if (control == kFileDlgHookInit) {
      if (QWidget* button = FindControl<QWidget>(&dialog, kTplWorkingDirButton)) button->show();
      return true;
    }
    if (control == kTplWorkingDirButton) {
      CDirectoryDlg directory(&dialog, *working_directory);
      if (RunModal(directory, QDialog::Rejected) == QDialog::Accepted) {
        *working_directory = directory.new_directory();
      }
      return true;
    }
    return false;
  };
  CTemplateFileDialog dialog(
      true, "", session_.input_file.c_str(),
      kFileDlgFileMustExist | kFileDlgAllowMultiSelect | kFileDlgExplorer | kFileDlgHideReadOnly,
      kInputFilter, this, hook, false);
  if (dialog.DoModal("Select EM/Mann Files") != kAnswerOk) return;
  OnFileNew();
  for (int id :
       {kPanelConfiguration, kPanelLayers, kPanelTranslate, kPanelViewEmMann, kPanelViewGds}) {
    panel_->EnableButton(id, false);
  }
  ApplyInputSelection(session_, SplitNulList(dialog.NulList(), kInputListEntries));
  SetTitle(TitleFileName(session_));
  panel_->EnableButton(kPanelConfiguration, true);
}

void CorvaneMainWindow::OnSaveLogAs() {
  std::string name = session_.log_file_path;
  const std::string filter = MakeFileFilter("log");
  if (SaveFileDlg(this, "Save Log As", &name, "log", filter, kFileDlgOverwritePrompt) != 1) {
    return;
  }
  const std::optional<std::string> log = log_view_->LogBytes();
  if (!log) {
    Tell("The log holds characters that its 8-bit text cannot keep.\nThe log file " + name +
             " is not written.",
         MessageIcon::kStop);
    return;
  }
  const std::string& bytes = *log;
  const std::string temporary = NativePath(name) + ".part";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  std::error_code error;
  if (!out || (std::filesystem::rename(temporary, NativePath(name), error), error)) {
    std::filesystem::remove(temporary, error);
    Tell("Cannot write the log file " + name + ".", MessageIcon::kStop);
    return;
  }
  session_.log_file_path = name;
  SetWindowTextLiteral(this, kCorvaneTitle);
}

QPrinter& CorvaneMainWindow::printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>();
  return *printer_;
}

void CorvaneMainWindow::OnPrintLog() {
  QPrinter& printer = this->printer();
  if (QPrinterInfo::availablePrinters().isEmpty()) {
    // Without a printer the log is printed to a PDF file.
    std::string name =
        ReplaceExtension(session_.log_file_path.empty() ? "log" : session_.log_file_path, ".pdf");
    if (SaveFileDlg(this, "Print Log to PDF", &name, "pdf", MakeFileFilter("pdf"),
                    kFileDlgOverwritePrompt) != 1) {
      return;
    }
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Q(name));
  } else {
    QPrintDialog dialog(&printer, this);
    if (RunModal(dialog, QDialog::Rejected) != QDialog::Accepted) return;
  }
  log_view_->print(&printer);
}

// The page set up here is the one Print Log prints on, for the rest of the run.
void CorvaneMainWindow::OnPrintSetup() {
  QPageSetupDialog dialog(&printer(), this);
  RunModal(dialog, QDialog::Rejected);
}

void CorvaneMainWindow::OnFind() { log_view_->OnFind(); }

void CorvaneMainWindow::OnFindNext() { log_view_->OnFindNext(); }

// ---- Settings dialogs ----

void CorvaneMainWindow::OnConfiguration() {
  TranslatorSettingsDialog dialog(session_.options, this);
  if (RunModal(dialog, QDialog::Rejected) != QDialog::Accepted) return;
  panel_->EnableButton(kPanelLayers, true);
  panel_->EnableButton(kPanelViewEmMann, true);
}

// The job's own files must never be one of its inputs: refused, named, before the step
// writes or runs anything.
bool CorvaneMainWindow::InputsAreSafe(bool with_run) {
  const std::string refused = CheckInputsAgainstJobFiles(session_, with_run);
  if (refused.empty()) return true;
  Tell(refused, MessageIcon::kWarning);
  return false;
}

void CorvaneMainWindow::OnLayers() {
  UseInputDirectoryWhenNoWorkingDirectory(session_);
  if (!InputsAreSafe(false)) return;
  LayersDialog dialog(session_, this);
  if (RunModal(dialog, QDialog::Rejected) != QDialog::Accepted) return;
  panel_->EnableButton(kPanelTranslate, true);
}

// ---- Translate ----

void CorvaneMainWindow::OnTranslate() {
  SetStatusText("");
  if (session_.input_file.empty()) {
    Tell("Please select the EM/Mann files first.", MessageIcon::kInformation);
    return;
  }
  UseInputDirectoryWhenNoWorkingDirectory(session_);
  const CorvaneOptions& options = session_.options;
  if (options.files_format != kFilesElectromask && !IsScaleInRange(options.scale)) {
    Tell("The scale " + FormatEngineScale(options.scale) +
             " is outside 1e-08..1000000.\nPlease set it in Configuration.",
         MessageIcon::kWarning);
    return;
  }
  if (!InputsAreSafe(true)) return;
  std::string output = ProposeOutputName(session_);
  CFileDialogEx save(false, "gds", output.c_str(), kFileDlgOverwritePrompt | kFileDlgHideReadOnly,
                     kGdsFilter, this);
  if (save.DoModal() != kAnswerOk) return;
  output = EngineOutputName(save.GetPathName());
  const std::string refused = CheckOutputName(session_, output);
  if (!refused.empty()) {
    Tell(refused, MessageIcon::kWarning);
    return;
  }
  session_.gds_output_path = output;

  const std::string engine = EnginePath(session_);
  const std::string job = JobFilePath(session_);
  const std::vector<std::string> arguments = BuildEngineArguments(session_, job, output);
  const auto start = std::chrono::steady_clock::now();
  int32_t exit_code = 0;
  int run_result = 0;
  {
    EngineProgressDialog progress(this);
    SetBusy(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    run_result = progress.Run(engine, session_.working_directory.c_str(), arguments, &exit_code);
    QApplication::restoreOverrideCursor();
    SetBusy(false);
  }
  if (run_result != 1) {
    SetStatusText("Translation failed");
    return;
  }
  if (exit_code == CancelledExitCode) {
    SetStatusText("Translation cancelled");
    activateWindow();
    return;
  }
  const auto end = std::chrono::steady_clock::now();
  std::tm end_time{};
  LocalTimeNow(&end_time);
  activateWindow();
  const std::string log = LogFilePathFor(session_);
  const bool log_exists = FileExists(log) == 1;
  if (exit_code < 0) {
    if (!log_exists) {
      Tell("Error occurred in translating EM/Mann file(s).");
      SetStatusText("Translation failed");
      return;
    }
    Tell(
        "Error occurred in translating EM/Mann file(s).\nPlease refer to log file for more "
        "information.");
    SetStatusText("Translation failed");
  } else {
    SetStatusText("Translation finished");
    panel_->EnableButton(kPanelViewGds, true);
    if (exit_code > 0) {
      Tell(std::to_string(exit_code) +
           " warnings/errors are detected in the translation.\nRefer to log file for more "
           "information.");
    }
  }
  if (log_exists) {
    const int64_t elapsed = std::chrono::duration_cast<std::chrono::seconds>(end - start).count();
    const int error = RewriteJobLog(log, Lg2FilePathFor(session_),
                                    JobLogHeader() + FormatRunSummary(output, end_time, elapsed));
    if (error != 0) {
      Tell(JobLogErrorMessage(error), MessageIcon::kWarning);
    } else if (std::string why; !OpenDocumentFile(log, &why)) {
      Tell("Error occurred in viewing log file " + log + ".\n" + why);
    } else {
      session_.log_file_path = log;
    }
  } else {
    Tell("Error occurred in generating log file " + log + ".");
  }
  SetTitle(TitleFileName(session_));
  activateWindow();
}

// ---- Viewers and directories ----

bool CorvaneMainWindow::ChooseViewer(std::string& path, const char* title) {
  std::string name = path;
  // No default extension: programs here carry none, and one added to the name typed would
  // make every program unchoosable.
  if (OpenFileDlg(this, title, &name, "", kViewerFilter, kFileDlgFileMustExist) != 1) {
    return false;
  }
  path = name;
  return true;
}

bool CorvaneMainWindow::FindViewer(std::string& path, std::string_view default_name,
                                   int choose_command, const char* what) {
  if (path.empty()) {
    const std::string beside = MakeExePath(session_.program_directory, default_name);
    if (FileExists(beside)) {
      path = beside;
      return true;
    }
  } else if (FileExists(path)) {
    return true;
  }
  const std::string before = path;
  OnCommand(choose_command);
  if (path != before && FileExists(path)) return true;
  const std::string missing = before.empty() ? MakeExePath("", default_name) +
                                                   " was not found in " + session_.program_directory
                                             : before + " was not found";
  Tell(std::string("The ") + what + " " + missing +
           ", and no other was chosen.\nChoose one with File, Preferences.",
       MessageIcon::kWarning);
  return false;
}

void CorvaneMainWindow::OnGdsViewerDirectory() {
  ChooseViewer(session_.gds_viewer_path, "Select Viewer [Pexol.exe]");
}

void CorvaneMainWindow::OnPgViewerDirectory() {
  ChooseViewer(session_.pg_viewer_path, "Select Viewer [Vexil.exe]");
}

void CorvaneMainWindow::OnViewGds() {
  if (!FindViewer(session_.gds_viewer_path, "pexol.exe", kCmdGdsViewerDirectory, "GDSII viewer")) {
    return;
  }
  int32_t ignored = 0;
  RunProgram(PumpFor(this), session_.gds_viewer_path, session_.working_directory.c_str(),
             std::vector<std::string>{session_.gds_output_path, "-title:Pexol"}, &ignored, false);
}

void CorvaneMainWindow::OnViewEmMann() {
  UseInputDirectoryWhenNoWorkingDirectory(session_);
  const std::string job = JobFilePath(session_);
  if (job.empty()) {
    Tell("Please select the EM/Mann files first.", MessageIcon::kInformation);
    return;
  }
  if (!InputsAreSafe(false)) return;
  if (!WriteViewerLayerTable(job, session_)) {
    const std::string refusal = ViewerLayerTableRefusal(session_);
    Tell("The job file " + job + " cannot be written." + (refusal.empty() ? "" : "\n" + refusal),
         MessageIcon::kStop);
    return;
  }
  if (!FindViewer(session_.pg_viewer_path, "vexil.exe", kCmdPgViewerDirectory, "PG viewer")) {
    return;
  }
  int32_t ignored = 0;
  RunProgram(PumpFor(this), session_.pg_viewer_path, session_.working_directory.c_str(),
             std::vector<std::string>{job}, &ignored, false);
}

void CorvaneMainWindow::OnWorkingDirectory() {
  CDirectoryDlg dialog(this, session_.working_directory);
  if (RunModal(dialog, QDialog::Rejected) != QDialog::Accepted) return;
  const std::string old_directory = session_.working_directory;
  const std::string new_directory = dialog.new_directory();
  session_.working_directory = new_directory;
  std::error_code error;
  if (old_directory.empty() ||
      std::filesystem::equivalent(NativePath(old_directory), NativePath(new_directory), error)) {
    return;
  }
  const std::string old_job = JobFilePathIn(session_, old_directory);
  if (old_job.empty() || !FileExists(old_job)) return;
  const std::string new_job = JobFilePathIn(session_, new_directory);
  if (const int failure = MoveJobFile(old_job, new_job); failure != 0) {
    session_.working_directory = old_directory;
    Tell("The job file " + old_job + " cannot be moved to " + new_directory + ":\n" +
             std::generic_category().message(failure) + ".\nThe working directory stays " +
             old_directory + ".",
         MessageIcon::kWarning);
  }
}

// ---- Bars, help, about, close ----

// The menu item's tick follows the flag, whoever asked for the toggle (the menu item, whose
// own click already flipped the tick, or the panel's close box).
void CorvaneMainWindow::OnControlDialog() {
  flags_.control_dialog = flags_.control_dialog != 0 ? 0 : 1;
  if (QAction* toggle = action(kCmdControlDialog)) toggle->setChecked(flags_.control_dialog != 0);
  panel_->setVisible(flags_.control_dialog != 0);
}

void CorvaneMainWindow::OnStatusBar() {
  const bool show = statusBar()->isHidden();
  statusBar()->setVisible(show);
  if (QAction* toggle = action(kCmdStatusBar)) toggle->setChecked(show);
}

void ShowHelp(QWidget* dialog, int /*command*/) {
  // Whichever help its button stands for, a dialog's Help explains the dialog.
  for (QWidget* owner = dialog ? dialog->parentWidget() : nullptr; owner;
       owner = owner->parentWidget()) {
    if (auto* window = qobject_cast<CorvaneMainWindow*>(owner)) {
      window->help()->ShowWindowHelp(dialog);
      return;
    }
  }
  Tell(kNoHelpText, MessageIcon::kInformation);
}

// There are no help files: the README is the help, shown at the section that covers the
// command or window asked about.
void CorvaneMainWindow::OnHelp() { OnHelp(kCmdHelpIndex); }

void CorvaneMainWindow::OnHelp(int command) {
  switch (command) {
    case kCmdInstallation:
      help_->ShowInstallation();
      return;
    case kCmdUsingHelp:
      help_->ShowUsingHelp();
      return;
    case kCmdContextHelp:
      help_->BeginContextMode();
      return;
    case kCmdHelp:
      help_->ShowWindowHelp();
      return;
    default:
      help_->ShowContents();
      return;
  }
}

void CorvaneMainWindow::OnAbout() {
  AboutDialog box(this);
  RunModal(box, QDialog::Accepted);
}

void CorvaneMainWindow::OnExit() { close(); }

void CorvaneMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!busy_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CorvaneMainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (busy_ || urls.isEmpty()) return;
  event->acceptProposedAction();
  if (!urls.front().isLocalFile()) {
    Tell("Cannot open " + urls.front().toDisplayString().toStdString() +
             ".\nOnly files on this computer can be opened.",
         MessageIcon::kWarning);
    return;
  }
  OpenDocumentFile(urls.front().toLocalFile().toStdString());
}

bool CorvaneMainWindow::SaveRecentFiles() const {
  CAppProfile recent;
  if (!recent.Open(kRecentFileStore)) return false;
  CAppProfile::Batch batch(recent);
  for (size_t i = 0; i < kRecentFileCount; ++i) {
    const std::string key = "File" + std::to_string(i + 1);
    batch.WriteString(key.c_str(), i < recent_files_.size() ? recent_files_[i].c_str() : nullptr);
  }
  return batch.Commit() == 1;
}

// F6 and Shift+F6 move between the panes the keyboard can work in: the log view and the
// control panel while it is shown. With two panes both keys go to the other one. The panel
// is a tool window of ours, so the keys reach this window from it as well.
void CorvaneMainWindow::MoveToPane() {
  const bool in_panel =
      panel_->isActiveWindow() || panel_->isAncestorOf(QApplication::focusWidget());
  if (!in_panel && panel_->isVisible()) {
    panel_->raise();
    panel_->activateWindow();
    for (QPushButton* button : panel_->findChildren<QPushButton*>()) {
      if (button->isEnabled()) {
        button->setFocus(Qt::TabFocusReason);
        break;
      }
    }
    return;
  }
  raise();
  activateWindow();
  log_view_->setFocus(Qt::TabFocusReason);
}

void CorvaneMainWindow::OnNextPane() { MoveToPane(); }
void CorvaneMainWindow::OnPrevPane() { MoveToPane(); }

void CorvaneMainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  flags_.statusbar = statusBar()->isHidden() ? 0 : 1;
  flags_.toolbar = 0;  // the toolbar is never shown
  CAppProfile profile;
  if (profile.Open(kCorvaneProfileName)) {
    std::vector<std::string> refused;
    bool saved = SaveCorvaneSettings(profile, session_, flags_, &refused) == 1 &&
                 SaveWindowPlacement(profile, *this) == 1;
    if (saved && recent_files_changed_) saved = SaveRecentFiles();
    if (!refused.empty()) {
      // The store took the others; these keep what was stored before.
      std::string names;
      for (const std::string& name : refused) names += (names.empty() ? "" : ", ") + name;
      Tell("These settings of CORVANE cannot be stored in " + profile.path() + ": " + names +
               ".\nA value with a line break cannot be kept; the next start has the value "
               "stored before.",
           MessageIcon::kWarning);
    } else if (!saved) {
      Tell("The settings of CORVANE cannot be written to " + profile.path() +
               ".\nThey are not kept for the next start.",
           MessageIcon::kWarning);
    }
  }
  panel_->hide();
  event->accept();
}

}  // namespace kavrinth
