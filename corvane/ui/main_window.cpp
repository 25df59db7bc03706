// Corvane's main window and its commands.
#include "corvane/ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStatusBar>
#include <QUrl>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "corvane/core/engine_job_file.h"
#include "corvane/core/translate.h"
#include "corvane/ui/about_dialog.h"
#include "corvane/ui/commands.h"
#include "corvane/ui/control_panel.h"
#include "corvane/ui/directory_dialog.h"
#include "corvane/ui/help_topics.h"
#include "corvane/ui/layers_dialog.h"
#include "corvane/ui/translator_settings_dialog.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/args.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/engine_progress_dialog.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/file_filters.h"
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
constexpr const char* kNoHelpText =
    "Help is not installed. The README of Kavrinth describes CORVANE in its section "
    "\"Corvane\".";

void Tell(const std::string& text, MessageIcon icon = MessageIcon::kNone) {
  ShowMessage(text, kCorvaneTitle, icon);
}

struct MenuItem {
  int id;  // 0: separator; -1: opens a submenu named by text; -2: ends it
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
  };
  return commands;
}

CorvaneMainWindow::CorvaneMainWindow() {
  setObjectName("CorvaneMainWindow");
  session_.program_directory = ProgramDirectory();
  log_view_ = new QPlainTextEdit(this);
  log_view_->setObjectName("LogView");
  log_view_->setAccessibleName("Job log");
  log_view_->setReadOnly(true);
  log_view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_view_->setFont(QFont("Monospace"));
  setCentralWidget(log_view_);
  setAcceptDrops(true);
  log_view_->setAcceptDrops(false);  // a drop opens the file instead of pasting its name
  statusBar()->setAccessibleName("Status");
  BuildMenus();
  resize(720, 520);

  CAppProfile profile;
  if (profile.Open(kCorvaneProfileName)) {
    RestoreWindowPlacement(profile, this, false);
    LoadCorvaneSettings(profile, session_, flags_);
  }
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
  log_view_->clear();
  log_view_->setReadOnly(true);
  SetWindowTextLiteral(this, kCorvaneTitle);
  session_.log_loaded_from_file = 0;
  UpdateCommandStates();
}

bool CorvaneMainWindow::OpenDocumentFile(const std::string& path) {
  QFile file(Q(ResolveExistingPath(path)));
  if (!file.open(QIODevice::ReadOnly)) {
    session_.log_loaded_from_file = 0;
    Tell("Cannot open file " + path + ".\n" + file.errorString().toStdString(),
         MessageIcon::kWarning);
    SetTitle(TitleFileName(session_));
    UpdateCommandStates();
    return false;
  }
  const QByteArray bytes = file.readAll();
  OnFileNew();
  log_view_->setPlainText(QString::fromUtf8(bytes));
  log_view_->setReadOnly(false);
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
      DirectoryDialog directory(*working_directory, &dialog);
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
  std::string text = log_view_->toPlainText().toStdString();
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
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

void CorvaneMainWindow::OnPrintLog() {
  QPrinter printer;
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

void CorvaneMainWindow::OnPrintSetup() {
  QPrinter printer;
  QPageSetupDialog dialog(&printer, this);
  RunModal(dialog, QDialog::Rejected);
}

void CorvaneMainWindow::OnFind() {
  bool ok = false;
  const QString text =
      QInputDialog::getText(this, "Find", "Find what:", QLineEdit::Normal, find_text_, &ok);
  if (!ok || text.isEmpty()) return;
  find_text_ = text;
  OnFindNext();
}

void CorvaneMainWindow::OnFindNext() {
  if (find_text_.isEmpty()) {
    OnFind();
    return;
  }
  if (!log_view_->find(find_text_)) {
    Tell("Cannot find \"" + find_text_.toStdString() + "\".", MessageIcon::kInformation);
  }
}

// ---- Settings dialogs ----

void CorvaneMainWindow::OnConfiguration() {
  TranslatorSettingsDialog dialog(session_.options, this);
  if (RunModal(dialog, QDialog::Rejected) != QDialog::Accepted) return;
  panel_->EnableButton(kPanelLayers, true);
  panel_->EnableButton(kPanelViewEmMann, true);
}

void CorvaneMainWindow::OnLayers() {
  UseInputDirectoryWhenNoWorkingDirectory(session_);
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
    } else if (!OpenDocumentFile(log)) {
      Tell("Error occurred in viewing log file " + log + ".");
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
  if (!WriteViewerLayerTable(job, session_)) {
    Tell("The job file " + job + " cannot be written.", MessageIcon::kStop);
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
  DirectoryDialog dialog(session_.working_directory, this);
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
  if (busy_ || urls.isEmpty() || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  OpenDocumentFile(urls.front().toLocalFile().toStdString());
}

void CorvaneMainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  flags_.statusbar = statusBar()->isHidden() ? 0 : 1;
  flags_.toolbar = 0;  // the toolbar is never shown
  CAppProfile profile;
  if (profile.Open(kCorvaneProfileName)) {
    SaveCorvaneSettings(profile, session_, flags_);
    SaveWindowPlacement(profile, *this);
  }
  panel_->hide();
  event->accept();
}

}  // namespace kavrinth
