// The viewer application.
#include "viewer/app/lumra_app.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/file_filters.h"
#include "support/qt/message_box.h"
#include "support/version.h"
#include "support/viewer_layer_value.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/draw_interaction.h"
#include "viewer/app/edit_tools.h"
#include "viewer/app/error_coords_dlg.h"
#include "viewer/app/help_topics.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/open_dialog_hooks.h"
#include "viewer/app/viewer_dialogs.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/job_file.h"
#include "viewer/model/job_loading.h"
#include "viewer/model/layer_table.h"
#include "viewer/plot/plot_commands.h"

namespace kavrinth {
namespace {

CLumraApp* the_app = nullptr;

void BusyChanged() {
  if (the_app != nullptr && the_app->frame() != nullptr) the_app->frame()->UpdateCommandStates();
}

void Warn(const std::string& text) { ShowMessage(text, kVexilAppName, MessageIcon::kWarning); }

// As the file system names it, so that names not in UTF-8 stay as they are.
std::string CurrentDirectory() {
  std::error_code error;
  return std::filesystem::current_path(error).string();
}

// The "JOB Files" row of the viewer's filter table.
constexpr size_t kJobFilterRow = 12;

// The About box: the program, its version and what it is.
class CLumraAboutDlg : public QDialog {
 public:
  explicit CLumraAboutDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("About ") + kVexilAppName);
    auto* layout = new QVBoxLayout(this);
    auto line = [this, layout](int id, const QString& text) {
      auto* label = new QLabel(text, this);
      label->setObjectName(ControlObjectName(id));
      label->setAccessibleName(text.isEmpty() ? QStringLiteral("Note") : text);
      layout->addWidget(label);
    };
    line(1469, QStringLiteral("%1 version %2")
                   .arg(kVexilAppName, QString::fromStdString(ProgramVersionText())));
    line(1531, "Viewer of PG and WF2 pattern data");
    line(1532, "Part of the Kavrinth photomask data preparation suite");
    line(1040, "");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName("OK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
  }
};

// The PG format a data file's extension names: -1 when it names none (".sor" is used by
// several formats).
int32_t FormatOfExtension(const std::string& path) {
  std::string extension;
  SplitExtension(path, nullptr, &extension);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".em" || extension == ".ems") return 0;
  if (extension == ".dwm" || extension == ".dws") return 1;
  if (extension == ".int") return 4;
  return -1;
}

// Reads a data file in the format its extension names; other names leave the format.
void SetFormatOfDataFile(const std::string& path) {
  if (const int32_t format = FormatOfExtension(path); format >= 0) {
    ViewerImportSettings& import = ImportSettings();
    import.pg_format = format;
    import.unit_code = UnitCodeFor(format, import.metric);
  }
}

// Hides every shown dialog of the given kinds.
template <typename... Dialogs>
void HideWindowsOf(QWidget* frame) {
  for (QDialog* dialog : frame->findChildren<QDialog*>()) {
    if (dialog->isVisible() && ((qobject_cast<Dialogs*>(dialog) != nullptr) || ...)) dialog->hide();
  }
}

// Hides the windows that stand beside the drawing: the drawing window's info and tear-off
// windows, the Error Coordinates list and the edit tools' Add Text and Selection dialogs.
void HideModelessWindows(QWidget* frame) {
  HideWindowsOf<CViewInfoDlg, CViewTearDlg, CErrorCoordsDlg, CSelectionDlg, CAddTextDlg>(frame);
}

// Why the file a command line names cannot be opened, found out without touching the job
// that is open: nothing when it can be (or may be, once its layers are chosen).
std::optional<std::string> WhyNotOpenable(const CommandLineRequest& request) {
  if (!request.has_file) return std::nullopt;
  const bool job = request.data_file.empty();
  const std::string& file = job ? request.job_path : request.data_file;
  // The job file names its data files one to a line, and the recent-file list its jobs.
  if (file.find_first_of("\r\n") != std::string::npos) {
    return "The name of the file " + WithLineBreaksShown(file) +
           " holds a line break, which a job file cannot hold; the file was not opened.";
  }
  // A job that does not exist yet is built under its name when it opens.
  if (!job && (!FileExists(NativePath(file)) || DirExists(NativePath(file)))) {
    return "The file " + file + " does not exist.";
  }
  return std::nullopt;
}

// Hand-overs that came together and cannot open are named in one message.
constexpr size_t kMostNamedProblems = 20;

std::string ProblemsText(const std::vector<std::string>& problems) {
  if (problems.size() == 1) return problems.front();
  std::string text = std::to_string(problems.size()) + " files handed over were not opened:";
  for (size_t i = 0; i < problems.size() && i < kMostNamedProblems; ++i) {
    text += "\n" + problems[i];
  }
  if (problems.size() > kMostNamedProblems) {
    text += "\n... and " + std::to_string(problems.size() - kMostNamedProblems) + " more.";
  }
  return text;
}

}  // namespace

CLumraApp::CLumraApp() {
  the_app = this;
  SetBusyChangedCallback(BusyChanged);
  document_.SetPainter(PaintJob);
}

CLumraApp::~CLumraApp() {
  SetBusyChangedCallback(nullptr);
  if (&CurrentViewerServices() == &services_) SetViewerServices(nullptr);
  services_.SetMainEvent(nullptr);
  services_.SetPlotWindow(nullptr);
  edit_tools_.reset();
  frame_.reset();
  the_app = nullptr;
}

void CLumraApp::InitInstance(const CommandLineRequest& request) {
  ViewerAppState& state = AppState();
  // The program's own directory, not the one its command line was typed with.
  state.program_directory = ProgramDirectory();
  SetWorkingDirectory(CurrentDirectory());
  SetViewerServices(&services_);
  ApplyOptions(request, true);
  // The data file of the command line is in its job before the window shows.
  const bool file_ready = !request.has_file || request.data_file.empty() || EnterDataFile(request);
  view_ = new CLumraView(&document_, nullptr);
  SetPictureWidget(view_);
  frame_ = std::make_unique<CMainFrame>(this, view_);
  help_ = new ContextHelp(VexilHelpSetup(), frame_.get());
  edit_tools_ = std::make_unique<CEditTools>(this);
  services_.SetMainEvent([this] { frame_->OnCommand(kCmdMainEvent); });
  services_.SetPlotWindow(
      [this](const GdxRect& rect) { return frame_->PlotWindowRectangle(rect); });
  // The plot configuration lives with the viewer's settings.
  PlotConfigPath() = DefaultPlotConfigPath();
  InstallViewerDialogs(this);
  GdxCreateTempLibrary();
  UpdateTitle("");
  if (state.settings.window_show_cmd != 0) {
    frame_->showMaximized();
  } else {
    frame_->show();
  }
  if (request.has_file && file_ready) {
    requests_.push_back({HandOverRequest::kOpen, request, true});
    ScheduleRequests(0);
  } else if (request.has_file) {
    // The file is not there: the viewer starts empty.
    ClearLayerTable();
  }
}

void CLumraApp::UpdateTitle(const std::string& job_name) {
  std::string name;
  SplitPath(job_name, nullptr, &name);
  UpdateFrameTitle(frame_.get(), kVexilAppName, true, name, nullptr, nullptr, false);
}

void CLumraApp::SetSaveEditsHandler(std::function<int(int)> ask, std::function<void()> discard) {
  ask_save_edits_ = std::move(ask);
  discard_edits_ = std::move(discard);
}

bool CLumraApp::AskSaveEdits(int mode) {
  if (!ask_save_edits_) return true;
  return ask_save_edits_(mode) != kEditsCancelled;
}

bool CLumraApp::SettleEdits(int mode) {
  if (!AskSaveEdits(mode)) return false;
  if (discard_edits_) discard_edits_();
  return true;
}

void CLumraApp::ResetJob() {
  ViewerAppState& state = AppState();
  document_.OnNewDocument();
  ResetDisplay();
  AppDisplay().settings.frames_display = 0;
  ViewLayerTable& table = LayerTable();
  for (int n = 0; n < kViewLayerCount; ++n) ClearLayerEntry(&table[n]);
  state.job_file_name.clear();
  state.layers_loaded = false;
  state.job_loaded = false;
  state.picture_valid = false;
  if (frame_ != nullptr) {
    UpdateTitle("");
    frame_->ClearLayerCombo();
  }
  if (view_ != nullptr) {
    // Modes, queries and captured views belong to the job that goes.
    view_->interaction().ResetJob();
    view_->ClearPicture();
  }
  if (job_changed_) job_changed_();
}

void CLumraApp::OnFileNew() {
  // Edits are saved or dropped before the layers they belong to go.
  if (!AskSaveEdits(0)) return;
  if (discard_edits_) discard_edits_();
  ResetJob();
  // A new job is named, then built in the Layer Table dialog.
  if (!layer_table_dialog_) return;
  ViewerAppState& state = AppState();
  // The dialog starts in the current directory with no name.
  const std::string start = CurrentDirectory() + "/";
  OpenDialogChoice choice;
  CTemplateFileDialog dialog(false, "job", start.c_str(), kFileDlgOverwritePrompt,
                             BuildFileFilters(FilterTable::kViewer)[kJobFilterRow], frame_.get(),
                             NewJobDlgHookProc(&choice), false);
  dialog.setObjectName("new_job_dialog");
  state.file_dialog_open = true;
  const int answer = dialog.DoModal("Open New Job");
  state.file_dialog_open = false;
  if (answer != kAnswerOk) return;
  state.job_file_name = dialog.GetPathName();
  state.new_job_from_dialog = true;
  // The new job's files are read in the format and unit chosen with its name; a table
  // that is not built leaves the settings as they were.
  const ViewerImportSettings before = ImportSettings();
  choice.MakeCurrent();
  const bool built = layer_table_dialog_();
  if (!built) ImportSettings() = before;
  state.new_job_from_dialog = false;
  // The edits were settled above; the job just named opens.
  if (built) {
    OpenJob(state.job_file_name);
  } else {
    BringToFront();
  }
}

void CLumraApp::OnFileOpen() {
  ViewerAppState& state = AppState();
  std::string initial = !state.job_file_name.empty() ? state.job_file_name : state.current_job_path;
  std::string name;
  SplitPath(initial, nullptr, &name);
  // The dialog starts with the job's name where a file was last chosen, else in the
  // current directory.
  const std::string start = MakePath(DialogStartDirectory(), name);
  const uint32_t flags = kFileDlgFileMustExist | kFileDlgAllowMultiSelect;
  OpenDialogChoice choice;
  CTemplateFileDialog dialog(true, "", start.c_str(), flags,
                             FilterToNulForm(std::string(kOpenDialogFilter)), frame_.get(),
                             OpenDlgHookProc(kOpenFileTypes, &choice), false);
  dialog.setObjectName("open_dialog");
  state.file_dialog_open = true;
  const int answer = dialog.DoModal("Open");
  state.file_dialog_open = false;
  if (answer != kAnswerOk) return;
  // The question comes before the selection is turned into a job, which empties the table.
  if (!AskSaveEdits(0)) return;
  if (discard_edits_) discard_edits_();
  // The chosen format and unit are those the files load in (a job's own values replace
  // them); a selection that does not open leaves the settings as they were.
  const ViewerImportSettings before = ImportSettings();
  choice.MakeCurrent();
  std::string job;
  if (OpenJobFile(&job, dialog.NulList(), kOpenMultiSelect) == 0 || !OpenJob(job)) {
    ImportSettings() = before;
  }
}

void CLumraApp::OnFileClose() {
  if (!AskSaveEdits(0)) return;
  if (discard_edits_) discard_edits_();
  AppState().picture_valid = false;
  ResetJob();
  CleanupTemporaries(false);
  // The scratch library goes with the job and a fresh one takes its place.
  GdxFreeCurrentLibrary();
  GdxCreateTempLibrary();
}

bool CLumraApp::OpenDocumentFile(const std::string& path) {
  if (!AskSaveEdits(0)) return false;
  if (discard_edits_) discard_edits_();
  return OpenJob(path);
}

void CLumraApp::CancelLoad() {
  if (loading_ != nullptr) loading_->Cancel();
}

int CLumraApp::LoadLayers() {
  BusyScope busy;
  QtScanProgress progress(frame_.get());
  loading_ = &progress;
  // The load turns the stored grid spacing into a step in the units of the files.
  ApplyGridSettings();
  const int result = LoadJobFiles(&progress);
  loading_ = nullptr;
  // The grid's step is in the units of the files just loaded.
  ApplyGridSettings();
  return result;
}

bool CLumraApp::OpenJob(std::string path) {
  ViewerAppState& state = AppState();
  BringToFront();
  // The windows beside the drawing belong to the job that goes.
  HideModelessWindows(frame_.get());
  ResetJob();
  if (DirExists(NativePath(path))) {
    Warn("The job file " + path + " does not exist.");
    return false;
  }
  // A job that does not exist yet has no layers: it is built under its name below.
  int entries = FileExists(NativePath(path)) ? ReadJobFile(path) : 0;
  state.job_file_name = path;
  // A job without layers gets its table built in the Layer Table dialog.
  if (entries == 0 && layer_table_dialog_ && layer_table_dialog_()) entries = ReadJobFile(path);
  if (entries > 0) {
    if (LoadLayers() != 0) {
      ResetJob();
      ShowMessage("Could not load layer information", kVexilAppName, MessageIcon::kStop);
      return false;
    }
    state.layers_loaded = true;
    frame_->UpdateLayerCombo();
  }
  if (!state.layers_loaded) {
    ResetJob();
    ShowMessage("No layer information was saved", kVexilAppName, MessageIcon::kStop);
    return false;
  }
  state.job_file_name = path;
  state.job_loaded = true;
  state.picture_valid = false;
  FitDisplayToJob();
  // A job opens without its frame grid unless it is to be shown at start-up.
  SetFrameGridOfJob();
  AppDisplay().settings.frames_display = state.settings.frames_at_startup != 0 ? 2 : 0;
  if (job_changed_) job_changed_();
  state.current_job_path = path;
  frame_->AddRecentFile(path);
  UpdateTitle(path);
  frame_->UpdateCommandStates();
  view_->RequestRedraw();
  return true;
}

void CLumraApp::ApplyOptions(const CommandLineRequest& request, bool with_ram) {
  ViewerAppState& state = AppState();
  for (const std::string& problem : request.problems) Warn(problem);
  if (with_ram && request.ram_given) state.ram_use_limit = request.ram_limit;
  state.layer_colour_only = request.layer_colour_only;
  state.error_file_given = request.error_file_given;
  state.error_file_name = request.error_file_name;
}

bool CLumraApp::EnterDataFile(const CommandLineRequest& request) {
  if (const std::optional<std::string> why = WhyNotOpenable(request)) {
    Warn(*why);
    return false;
  }
  // The job is rewritten to hold this file alone: it is read in the format its extension
  // names, else in the format the job had, not in that of whatever job was open before.
  ViewerImportSettings& import = ImportSettings();
  if (FileExists(NativePath(request.job_path))) {
    ReadJobGeneral(request.job_path, &import.unit_code, &import.pg_format);
  }
  SetFormatOfDataFile(request.data_file);
  if (UpdateJobLayerTable(request.job_path, request.data_file) < 0) {
    const std::string refusal = JobTableRefusal();
    Warn("The job file " + request.job_path + " could not be written." +
         (refusal.empty() ? "" : "\n" + refusal));
    ClearLayerTable();
    return false;
  }
  return true;
}

void CLumraApp::QueueHandOver(const HandOverRequest& request) {
  // The other start shows the user where its file goes at once, also while the request
  // waits for a dialog.
  RestoreIfMinimised();
  PendingRequest pending;
  pending.kind = request.kind;
  if (request.kind == HandOverRequest::kOpen) {
    // Parsed into the request's own record at once; nothing is applied before it runs.
    pending.command_line =
        ParseCommandLine(request.args, request.directory, request.directory == CurrentDirectory());
    // While a file dialog is open a newer start replaces the one still waiting: only the
    // latest file opens when the dialog closes.
    if (AppState().file_dialog_open) {
      std::erase_if(requests_, [](const PendingRequest& waiting) {
        return waiting.kind == HandOverRequest::kOpen && !waiting.startup;
      });
    }
  }
  requests_.push_back(std::move(pending));
  ScheduleRequests(0);
}

void CLumraApp::ScheduleRequests(int delay_ms) {
  QTimer::singleShot(delay_ms, this, &CLumraApp::RunRequests);
}

bool CLumraApp::ReadyForRequests() const {
  const ViewerAppState& state = AppState();
  return frame_ != nullptr && !running_request_ && state.busy_depth == 0 &&
         state.command_depth == 0 && !state.file_dialog_open &&
         QApplication::activeModalWidget() == nullptr &&
         QApplication::activePopupWidget() == nullptr;
}

void CLumraApp::RunRequests() {
  if (requests_.empty()) return;
  if (!ReadyForRequests()) {
    ScheduleRequests(50);
    return;
  }
  running_request_ = true;
  if (DropUnopenableRequests()) {
    // Starts that came while the message showed are looked at afresh.
    running_request_ = false;
    if (!requests_.empty()) ScheduleRequests(0);
    return;
  }
  const PendingRequest request = std::move(requests_.front());
  requests_.pop_front();
  if (request.kind == HandOverRequest::kClose) {
    running_request_ = false;
    frame_->close();
  } else {
    RunOpenRequest(request);
    running_request_ = false;
  }
  if (!requests_.empty()) ScheduleRequests(0);
}

bool CLumraApp::DropUnopenableRequests() {
  std::vector<std::string> problems;
  std::erase_if(requests_, [&problems](const PendingRequest& waiting) {
    if (waiting.kind != HandOverRequest::kOpen || waiting.startup) return false;
    std::optional<std::string> why = WhyNotOpenable(waiting.command_line);
    if (why) problems.push_back(std::move(*why));
    return why.has_value();
  });
  if (problems.empty()) return false;
  // Those that arrive while the message shows are named together in the next one.
  Warn(ProblemsText(problems));
  return true;
}

void CLumraApp::RunOpenRequest(const PendingRequest& pending) {
  const CommandLineRequest& request = pending.command_line;
  BringToFront();
  if (!request.has_file) return;
  if (pending.startup) {
    OpenJob(request.job_path);
    return;
  }
  // The open job stays until a file that can open replaces it.
  if (const std::optional<std::string> why = WhyNotOpenable(request)) {
    Warn(*why);
    return;
  }
  if (!AskSaveEdits(0)) return;
  if (discard_edits_) discard_edits_();
  ApplyOptions(request, true);
  // The layer table was emptied when the job of the data file could not be written.
  if (!request.data_file.empty() && !EnterDataFile(request)) {
    ResetJob();
    return;
  }
  OpenJob(request.job_path);
}

void CLumraApp::RestoreIfMinimised() {
  // Back to the state it had before, maximised or not.
  if (frame_ != nullptr && frame_->isMinimized()) {
    frame_->setWindowState(frame_->windowState() & ~Qt::WindowMinimized);
  }
}

void CLumraApp::BringToFront() {
  if (frame_ == nullptr) return;
  RestoreIfMinimised();
  frame_->raise();
  frame_->activateWindow();
}

void CLumraApp::CleanupTemporaries(bool at_exit) {
  ViewerAppState& state = AppState();
  for (std::string& slot : state.capture_file_slots) {
    if (!slot.empty() && FileExists(NativePath(slot))) std::remove(NativePath(slot).c_str());
  }
  if (!at_exit) return;
  ViewLayerTable& table = LayerTable();
  for (int n = 0; n < kViewLayerCount; ++n) {
    if (table[n].library != kGdxNoHandle) {
      GdxFreeLibrary(table[n].library);
      table[n].library = kGdxNoHandle;
    }
  }
}

void CLumraApp::OnAppAbout() {
  CLumraAboutDlg dialog(frame_.get());
  RunModal(dialog, QDialog::Accepted);
}

void CLumraApp::OnHelp(QWidget* window) {
  if (help_ != nullptr) help_->ShowWindowHelp(window);
}

}  // namespace kavrinth
