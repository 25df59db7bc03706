// File dialogs, their template controls, the plain wrappers and the file-exists box.
#include "support/qt/file_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <memory>

#include "platform/files.h"
#include "support/args.h"
#include "support/messages.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/file_filters.h"

namespace kavrinth {
namespace {

int max_files = 1024;
int remembered_filter_index = 0;
FileDlgMultiResult multi_result = FileDlgMultiResult::kNulList;

std::string ToStd(const QString& text) { return text.toStdString(); }
QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A name that is only an extension (".gds") stands for the pattern of that extension.
std::string InitialName(std::string name) {
  if (name.size() > 1 && name.front() == '.' && name.find('.', 1) == std::string::npos) {
    return "*" + name;
  }
  return name;
}

QFileDialog::FileMode ModeFor(bool open, uint32_t flags) {
  if (!open) return QFileDialog::AnyFile;
  if (flags & kFileDlgAllowMultiSelect) return QFileDialog::ExistingFiles;
  return flags & kFileDlgFileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile;
}

// One extra control of a template.
struct TemplateControl {
  int id;
  enum Kind { kButton, kList, kLabel } kind;
  const char* text;
  bool only_in_95;
};

constexpr std::array<TemplateControl, 9> kTemplateControls = {{
    {kTplImportFormatLabel, TemplateControl::kLabel, "Import Format:", true},
    {kTplImportFormat, TemplateControl::kList, "", false},
    {kTplImportButton, TemplateControl::kButton, "&Import...", false},
    {kTplPgFileTypeLabel, TemplateControl::kLabel, "PG File Type:", true},
    {kTplPgFileType, TemplateControl::kList, "", false},
    {kTplUnitLabel, TemplateControl::kLabel, "Unit:", true},
    {kTplUnit, TemplateControl::kList, "", false},
    {kTplWorkingDirButton, TemplateControl::kButton, "&Working Dir...", false},
    {kTplUseJobButton, TemplateControl::kButton, "Use &Job...", true},
}};

// The form in which Qt's dialog writes several chosen files: each name between double quotes,
// the names separated by one blank ("a.em" "b.em"; one name alone "a.em").
bool IsQuotedNameList(const QString& text) {
  if (text.size() < 2 || !text.startsWith(u'"') || !text.endsWith(u'"')) return false;
  for (const QString& name : text.mid(1, text.size() - 2).split(QStringLiteral("\" \""))) {
    if (name.isEmpty() || name.contains(u'"')) return false;
  }
  return true;
}

}  // namespace

CFileDialogEx::CFileDialogEx(bool open, std::string_view default_extension, const char* file_name,
                             uint32_t flags, std::string_view filter, QWidget* parent)
    : QFileDialog(parent), flags_(flags) {
  setOption(QFileDialog::DontUseNativeDialog);
  setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  setFileMode(ModeFor(open, flags));
  setOption(QFileDialog::DontConfirmOverwrite, !(flags & kFileDlgOverwritePrompt));
  if (!default_extension.empty() && default_extension.front() == '.') {
    default_extension.remove_prefix(1);
  }
  setDefaultSuffix(ToQt(default_extension));
  const QStringList filters = QtNameFilters(filter);
  if (!filters.isEmpty()) {
    setNameFilters(filters);
    selectNameFilter(filters.front());
  }
  // The programs were written for a file system that ignores case.
  setFilter(this->filter() & ~QDir::CaseSensitive);
  if (file_name) {
    std::string name;
    SplitPath(NativePath(file_name), &initial_directory_, &name);
    initial_name_ = InitialName(name);
  }
  if (!initial_directory_.empty()) setDirectory(ToQt(initial_directory_));
  if (!initial_name_.empty()) selectFile(ToQt(initial_name_));
}

CFileDialogEx::~CFileDialogEx() = default;

int CFileDialogEx::DoModal(const char* title) {
  if (title) setWindowTitle(QString::fromUtf8(title));
  chosen_.clear();
  if (!DialogsInteractive()) return kAnswerCancel;
  CallHooks(kFileDlgHookInit);
  quoted_name_path_.clear();
  if (exec() != QDialog::Accepted) return kAnswerCancel;
  for (const QString& path : ChosenFiles()) chosen_.push_back(ToStd(path));
  return chosen_.empty() ? kAnswerCancel : kAnswerOk;
}

QStringList CFileDialogEx::ChosenFiles() const {
  if (quoted_name_path_.empty()) return selectedFiles();
  return {ToQt(quoted_name_path_)};
}

void CFileDialogEx::accept() {
  quoted_name_path_.clear();
  const QString quoted = QuotedNamePath();
  const QStringList files = quoted.isEmpty() ? selectedFiles() : QStringList{quoted};
  if ((flags_ & kFileDlgCreatePrompt) && acceptMode() == QFileDialog::AcceptOpen) {
    if (files.size() == 1 && !QFileInfo(files.front()).isDir() &&
        !FileExists(ToStd(files.front()))) {
      const int answer =
          ShowMessage(ToStd(files.front()) + "\nThis file does not exist.\nCreate the file?",
                      ToStd(windowTitle()), MessageIcon::kQuestion, MessageButtons::kYesNo);
      if (answer != kAnswerYes) return;
    }
  }
  if (quoted.isEmpty()) {
    QFileDialog::accept();
    return;
  }
  if (!AcceptsQuotedNamePath(quoted)) return;
  quoted_name_path_ = ToStd(quoted);
  QDialog::accept();
}

// Qt's dialog reads a name field holding a double quote as a list of names in quotes and
// keeps only what stands between them, so "say "hi".gds" would become "hi".
QString CFileDialogEx::QuotedNamePath() const {
  const auto* edit = findChild<QLineEdit*>("fileNameEdit");
  if (edit == nullptr) return {};
  const QString text = edit->text();
  if (!text.contains(u'"')) return {};
  if (IsQuotedNameList(text)) return {};
  QString path = QDir::isAbsolutePath(text) ? text : directory().absolutePath() + u'/' + text;
  const QFileInfo info(path);
  if (!defaultSuffix().isEmpty() && !info.isDir() && !info.fileName().contains(u'.')) {
    path += u'.' + defaultSuffix();
  }
  return QDir::cleanPath(path);
}

bool CFileDialogEx::AcceptsQuotedNamePath(const QString& path) {
  if (QFileInfo(path).isDir()) {
    setDirectory(path);
    if (auto* edit = findChild<QLineEdit*>("fileNameEdit")) edit->clear();
    return false;
  }
  const std::string name = ToStd(path);
  const bool exists = FileExists(name);
  const FileMode mode = fileMode();
  if (!exists && (mode == QFileDialog::ExistingFile || mode == QFileDialog::ExistingFiles)) {
    ShowMessage(name + "\nFile not found.\nPlease verify the correct file name was given.",
                ToStd(windowTitle()), MessageIcon::kWarning);
    return false;
  }
  if (exists && acceptMode() == QFileDialog::AcceptSave &&
      !testOption(QFileDialog::DontConfirmOverwrite)) {
    return ShowMessage(name + " already exists.\nDo you want to replace it?", ToStd(windowTitle()),
                       MessageIcon::kWarning, MessageButtons::kYesNo) == kAnswerYes;
  }
  return true;
}

int CFileDialogEx::SetHook(FileDialogHook hook, const char* title) {
  InstallHook(std::move(hook));
  return DoModal(title);
}

void CFileDialogEx::InstallHook(FileDialogHook hook) {
  if (hook) hooks_.push_back(std::move(hook));
}

std::string CFileDialogEx::NulList() const {
  std::string list;
  if ((flags_ & kFileDlgAllowMultiSelect) && chosen_.size() > 1) {
    SplitPath(chosen_.front(), &list, nullptr);
    list += '\0';
    for (const std::string& path : chosen_) {
      std::string name;
      SplitPath(path, nullptr, &name);
      list += name + '\0';
    }
  } else if (!chosen_.empty()) {
    list += chosen_.front() + '\0';
  }
  return list + '\0';
}

void CFileDialogEx::CallHooks(int control_id) {
  for (auto hook = hooks_.rbegin(); hook != hooks_.rend(); ++hook) {
    if ((*hook)(*this, control_id)) return;
  }
}

CTemplateFileDialog::CTemplateFileDialog(bool open, std::string_view default_extension,
                                         const char* file_name, uint32_t flags,
                                         std::string_view filter, QWidget* parent,
                                         FileDialogHook hook, bool old_style)
    : CTemplateFileDialog(open, default_extension, file_name, flags, filter, parent,
                          std::move(hook),
                          !old_style                           ? kFileTemplate95
                          : (flags & kFileDlgAllowMultiSelect) ? kFileTemplateMulti
                                                               : kFileTemplate) {}

CTemplateFileDialog::CTemplateFileDialog(bool open, std::string_view default_extension,
                                         const char* file_name, uint32_t flags,
                                         std::string_view filter, QWidget* parent,
                                         FileDialogHook hook, std::string_view template_name)
    : CFileDialogEx(open, default_extension, file_name, flags, filter, parent),
      template_name_(template_name) {
  if (!hook) return;
  AddTemplateControls();
  InstallHook(std::move(hook));
}

CTemplateFileDialog::~CTemplateFileDialog() = default;

void CTemplateFileDialog::AddTemplateControls() {
  auto* grid = qobject_cast<QGridLayout*>(layout());
  auto* row = new QWidget(this);
  auto* controls = new QHBoxLayout(row);
  controls->setContentsMargins(0, 0, 0, 0);
  const bool full = template_name_ == kFileTemplate95;
  for (const TemplateControl& control : kTemplateControls) {
    if (control.only_in_95 && !full) continue;
    QWidget* widget = nullptr;
    if (control.kind == TemplateControl::kList) {
      auto* list = new QComboBox(row);
      connect(list, &QComboBox::activated, this, [this, id = control.id] { CallHooks(id); });
      widget = list;
    } else if (control.kind == TemplateControl::kButton) {
      auto* button = new QPushButton(QString::fromUtf8(control.text), row);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, id = control.id] { CallHooks(id); });
      widget = button;
    } else {
      widget = new QLabel(QString::fromUtf8(control.text), row);
    }
    widget->setObjectName(ControlObjectName(control.id));
    widget->hide();
    controls->addWidget(widget);
  }
  controls->addStretch();
  if (grid) {
    grid->addWidget(row, grid->rowCount(), 0, 1, grid->columnCount());
  } else if (layout()) {
    layout()->addWidget(row);
  }
}

namespace {

// Runs one plain file dialog; the wrappers differ in the dialog kind and in whether
// failures are shown.
struct WrapperRun {
  QWidget* owner;
  std::string_view title;
  std::string* file_name;
  std::string_view default_extension;
  std::string_view filter;
  uint32_t flags;
  bool save;
  bool show_errors;
  FileDialogHook hook;
  const char* template_name;
};

std::unique_ptr<CFileDialogEx> MakeWrapperDialog(WrapperRun& run) {
  if (run.save) run.flags &= ~kFileDlgAllowMultiSelect;
  const char* name = run.file_name ? run.file_name->c_str() : nullptr;
  if (run.template_name != nullptr && run.hook) {
    return std::make_unique<CTemplateFileDialog>(!run.save, run.default_extension, name, run.flags,
                                                 run.filter, run.owner, std::move(run.hook),
                                                 std::string_view(run.template_name));
  }
  auto dialog = std::make_unique<CFileDialogEx>(!run.save, run.default_extension, name, run.flags,
                                                run.filter, run.owner);
  if (run.hook) dialog->InstallHook(std::move(run.hook));
  return dialog;
}

void SelectRememberedFilter(QFileDialog& dialog) {
  const QStringList filters = dialog.nameFilters();
  const int index = remembered_filter_index < 1 ? 1 : remembered_filter_index;
  if (index <= filters.size()) dialog.selectNameFilter(filters[index - 1]);
}

int RunWrapper(WrapperRun run) {
  std::unique_ptr<CFileDialogEx> dialog = MakeWrapperDialog(run);
  dialog->setWindowTitle(ToQt(run.title));
  SelectRememberedFilter(*dialog);
  const int answer = dialog->DoModal();
  const int chosen_filter = dialog->nameFilters().indexOf(dialog->selectedNameFilter());
  if (chosen_filter >= 0) remembered_filter_index = chosen_filter + 1;
  if (answer != kAnswerOk) return 0;
  if (static_cast<int64_t>(dialog->PathNames().size()) > max_files) {
    if (run.show_errors) {
      ShowMessage("E" + std::to_string(kFileDlgErrorTooManyFiles) + ":OpenFile Error", "Error",
                  MessageIcon::kStop);
    }
    return 0;
  }
  if (run.file_name) {
    if (dialog->PathNames().size() <= 1) {
      *run.file_name = dialog->GetPathName();
    } else if (multi_result == FileDlgMultiResult::kQuotedNames) {
      *run.file_name = NulListToQuoted(dialog->NulList());
    } else {
      *run.file_name = dialog->NulList();
    }
  }
  return 1;
}

}  // namespace

int OpenFileDlg(QWidget* owner, std::string_view title, std::string* file_name,
                std::string_view default_extension, std::string_view filter, uint32_t flags) {
  return RunWrapper({owner, title, file_name, default_extension, filter, flags,
                     (flags & kFileDlgOverwritePrompt) != 0, true, nullptr, nullptr});
}

int OpenFileDlgHook(QWidget* owner, std::string_view title, std::string* file_name,
                    std::string_view default_extension, std::string_view filter, uint32_t flags,
                    FileDialogHook hook, const char* template_name) {
  return RunWrapper({owner, title, file_name, default_extension, filter, flags, false, false,
                     std::move(hook), template_name});
}

int SaveFileDlg(QWidget* owner, std::string_view title, std::string* file_name,
                std::string_view default_extension, std::string_view filter, uint32_t flags) {
  return RunWrapper(
      {owner, title, file_name, default_extension, filter, flags, true, true, nullptr, nullptr});
}

int SaveFileDlgHook(QWidget* owner, std::string_view title, std::string* file_name,
                    std::string_view default_extension, std::string_view filter, uint32_t flags,
                    FileDialogHook hook, const char* template_name) {
  return RunWrapper({owner, title, file_name, default_extension, filter, flags, true, false,
                     std::move(hook), template_name});
}

void SetFileDlgMaxFiles(int count) { max_files = count; }
void SetFileDlgMultiResult(FileDlgMultiResult form) { multi_result = form; }
void SetFileDlgFilterIndex(int index) { remembered_filter_index = index; }
int GetFileDlgFilterIndex() { return remembered_filter_index; }

namespace {

// The dialog's own results, which RunFileDlgBox turns into its result.
enum FileBoxEnd { kFileBoxEndOk = 0, kFileBoxEndBrowse = 1, kFileBoxEndCancel = 2 };

struct FileBoxButton {
  int id;
  int text_id;
  FileBoxEnd end;
};

constexpr FileBoxButton kOkButton = {kFileBoxOk, kMessageButtonOk, kFileBoxEndOk};
constexpr FileBoxButton kOverwriteButton = {kFileBoxOk, kMessageButtonOverwrite, kFileBoxEndOk};
constexpr FileBoxButton kBrowseButton = {kFileBoxBrowse, kMessageButtonBrowse, kFileBoxEndBrowse};
constexpr FileBoxButton kCancelButton = {kFileBoxCancel, kMessageButtonCancel, kFileBoxEndCancel};

std::vector<FileBoxButton> FileBoxButtons(int mode) {
  if (mode == -1) return {kOkButton};
  if (mode == 0) return {kOverwriteButton, kCancelButton};
  return {kOverwriteButton, kBrowseButton, kCancelButton};
}

// The box; Escape and the close button end it as its cancel button does.
class FileDlgBox : public QDialog {
 public:
  FileDlgBox(QWidget* owner, std::string_view title, const std::string& file_name, int mode)
      : QDialog(owner), escape_end_(mode == -1 ? kFileBoxEndOk : kFileBoxEndCancel) {
    static constexpr std::array<const char*, 3> kNames = {"FileDlgBox1", "FileDlgBox2",
                                                          "FileDlgBox3"};
    setObjectName(QString::fromUtf8(kNames[mode == -1 ? 0 : mode == 0 ? 1 : 2]));
    setWindowTitle(ToQt(title));
    auto* column = new QVBoxLayout(this);
    name_ = new QLineEdit(ToQt(file_name), this);
    name_->setObjectName(ControlObjectName(kFileBoxName));
    column->addWidget(name_);
    for (int id : {kFileBoxText1, kFileBoxExists, kFileBoxText3}) {
      auto* text = new QLabel(this);
      text->setObjectName(ControlObjectName(id));
      if (id == kFileBoxExists)
        text->setText(QString::fromUtf8(LoadMessageText(kMessageFileAlreadyExist)));
      column->addWidget(text);
    }
    auto* row = new QHBoxLayout();
    for (const FileBoxButton& button : FileBoxButtons(mode)) AddButton(row, button);
    column->addLayout(row);
  }

  std::string Name() const { return ToStd(name_->text()); }
  void reject() override { done(escape_end_); }

 private:
  void AddButton(QHBoxLayout* row, const FileBoxButton& spec) {
    auto* button = new QPushButton(QString::fromUtf8(LoadMessageText(spec.text_id)), this);
    button->setObjectName(ControlObjectName(spec.id));
    button->setDefault(spec.id == kFileBoxOk);
    connect(button, &QPushButton::clicked, this, [this, end = spec.end] { done(end); });
    row->addWidget(button);
  }

  FileBoxEnd escape_end_;
  QLineEdit* name_;
};

}  // namespace

int RunFileDlgBox(QWidget* owner, std::string_view title, std::string* file_name,
                  std::string_view default_extension, std::string_view filter, int mode) {
  FileDlgBox box(owner, title, file_name ? *file_name : std::string(), mode);
  if (!DialogsInteractive()) return 0;
  const int end = box.exec();
  if (file_name) *file_name = box.Name();
  switch (end) {
    case kFileBoxEndOk:
      return 1;
    case kFileBoxEndBrowse:
      return SaveFileDlg(owner, title, file_name, default_extension, filter,
                         kFileDlgOverwritePrompt);
    default:
      return 0;
  }
}

}  // namespace kavrinth
