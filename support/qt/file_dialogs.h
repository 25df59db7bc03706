// The programs' file dialogs on Qt's own (non-native) file dialog: CFileDialogEx, the
// template dialog with the programs' extra controls, the plain open and save wrappers,
// and the box that asks what to do with a file that already exists.
#pragma once

#include <QFileDialog>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// The option flags the programs pass (the platform's values).
enum FileDialogFlag : uint32_t {
  kFileDlgOverwritePrompt = 0x00000002,
  kFileDlgHideReadOnly = 0x00000004,
  kFileDlgAllowMultiSelect = 0x00000200,
  kFileDlgPathMustExist = 0x00000800,
  kFileDlgFileMustExist = 0x00001000,
  kFileDlgCreatePrompt = 0x00002000,  // an open dialog asks before a missing file is taken
  kFileDlgExplorer = 0x00080000,
};

// The extra controls of the programs' dialog templates; all are created hidden, and the
// application's hook shows and fills the ones it uses.
enum FileTemplateControl : int {
  kTplImportButton = 100,       // "&Import..."
  kTplImportFormat = 101,       // drop-down list
  kTplImportFormatLabel = 102,  // "Import Format:" (FILEOPENTPL95 only)
  kTplWorkingDirButton = 103,   // "&Working Dir..."
  kTplPgFileType = 104,         // drop-down list
  kTplPgFileTypeLabel = 105,    // "PG File Type:" (FILEOPENTPL95 only)
  kTplUnit = 106,               // drop-down list
  kTplUnitLabel = 107,          // "Unit:" (FILEOPENTPL95 only)
  kTplUseJobButton = 108,       // "Use &Job..." (FILEOPENTPL95 only)
};

class CFileDialogEx;

// The id a hook is called with once the dialog is set up, before it is shown; after that
// it is called with the id of a template control the user pressed or chose from. A hook
// returns true when it handled the call; otherwise the hook installed before it is asked.
inline constexpr int kFileDlgHookInit = 0;
using FileDialogHook = std::function<bool(CFileDialogEx& dialog, int control_id)>;

// The file dialog: initial directory and name from the given file name, the filter (either
// form) starting at its first entry, multi-selection with the flag, the overwrite question
// of a save dialog only with kFileDlgOverwritePrompt, and with kFileDlgCreatePrompt an open
// dialog's question "... does not exist. Create the file?" (No keeps the dialog open).
// Names match without regard to case. A typed name holding double quotes is one file name
// (only several names each in quotes are a list).
class CFileDialogEx : public QFileDialog {
  Q_OBJECT

 public:
  CFileDialogEx(bool open, std::string_view default_extension, const char* file_name,
                uint32_t flags, std::string_view filter, QWidget* parent);
  ~CFileDialogEx() override;

  // Sets the title when given and runs the dialog: kAnswerOk (1) when files were chosen,
  // else kAnswerCancel (2); at once kAnswerCancel without interactive dialogs.
  int DoModal(const char* title = nullptr);
  // Installs the hook (before any installed earlier, which stays in the chain) and runs
  // DoModal.
  int SetHook(FileDialogHook hook, const char* title);
  // Installs the hook without running the dialog.
  void InstallHook(FileDialogHook hook);

  const std::string& initial_directory() const { return initial_directory_; }
  const std::string& initial_name() const { return initial_name_; }
  uint32_t flags() const { return flags_; }

  // The chosen files as full paths, after DoModal.
  const std::vector<std::string>& PathNames() const { return chosen_; }
  // The files the accepted name field stands for, for a hook that reads them as the dialog
  // is accepted: the one path of a name holding double quotes, else Qt's selection.
  QStringList ChosenFiles() const;
  std::string GetPathName() const { return chosen_.empty() ? std::string() : chosen_.front(); }
  // The chosen files as a NUL list ended by an empty entry: with multi-selection and more
  // than one file, the directory and then the names; else the one full path.
  std::string NulList() const;

 public slots:
  void accept() override;

 protected:
  // Gives a template control's use to the hooks.
  void CallHooks(int control_id);

 private:
  // The full path of the name field's text when it holds double quotes and is not a list
  // of quoted names; else empty.
  QString QuotedNamePath() const;
  // The checks Qt's dialog makes on an accepted name, for such a path: false when the
  // dialog stays open (a directory was entered, a file that must exist does not, or the
  // user would not replace one).
  bool AcceptsQuotedNamePath(const QString& path);

  std::string initial_directory_;
  std::string initial_name_;
  uint32_t flags_;
  std::vector<FileDialogHook> hooks_;  // oldest first
  std::vector<std::string> chosen_;
  std::string quoted_name_path_;  // the path accepted by AcceptsQuotedNamePath
};

// The file dialog with the programs' template: without the old-style flag
// "FILEOPENTPL95", else "FILEOPENTPLMULTI" with multi-selection or "FILEOPENTPL". With a
// hook the template's controls are added (hidden) and the hook is installed.
class CTemplateFileDialog : public CFileDialogEx {
  Q_OBJECT

 public:
  CTemplateFileDialog(bool open, std::string_view default_extension, const char* file_name,
                      uint32_t flags, std::string_view filter, QWidget* parent, FileDialogHook hook,
                      bool old_style);
  // The same with the template named (the hook variants of the plain wrappers).
  CTemplateFileDialog(bool open, std::string_view default_extension, const char* file_name,
                      uint32_t flags, std::string_view filter, QWidget* parent, FileDialogHook hook,
                      std::string_view template_name);
  ~CTemplateFileDialog() override;

  const std::string& template_name() const { return template_name_; }

 private:
  void AddTemplateControls();

  std::string template_name_;
};

// The template names.
inline constexpr std::string_view kFileTemplate95 = "FILEOPENTPL95";
inline constexpr std::string_view kFileTemplateMulti = "FILEOPENTPLMULTI";
inline constexpr std::string_view kFileTemplate = "FILEOPENTPL";

// The plain wrappers. The file name goes in (a directory and name to start from; a bare
// extension such as ".gds" starts with the pattern "*.gds") and comes out: the chosen
// path, or with multi-selection of several files the NUL list. 1 when a file was chosen,
// else 0. OpenFileDlg runs the save dialog when the flags ask for the overwrite question.
// Failures (more files chosen than SetFileDlgMaxFiles allows: error 12291) show
// "E%ld:OpenFile Error" in a stop box, except in the hook variants. A template name in
// the hook variants gives the dialog that template's controls.
int OpenFileDlg(QWidget* owner, std::string_view title, std::string* file_name,
                std::string_view default_extension, std::string_view filter, uint32_t flags);
int OpenFileDlgHook(QWidget* owner, std::string_view title, std::string* file_name,
                    std::string_view default_extension, std::string_view filter, uint32_t flags,
                    FileDialogHook hook, const char* template_name);
int SaveFileDlg(QWidget* owner, std::string_view title, std::string* file_name,
                std::string_view default_extension, std::string_view filter, uint32_t flags);
int SaveFileDlgHook(QWidget* owner, std::string_view title, std::string* file_name,
                    std::string_view default_extension, std::string_view filter, uint32_t flags,
                    FileDialogHook hook, const char* template_name);

// Process-wide settings of the wrappers: the most files a multi-selection may return
// (1024 at start) and the filter index (1-based; 0, the start, shows the first) shown
// first and remembered after each dialog.
void SetFileDlgMaxFiles(int count);
void SetFileDlgFilterIndex(int index);
int GetFileDlgFilterIndex();

// How the wrappers hand back a multi-selection of several files: the NUL list (the
// directory, then the names), or, in the form the EM/Mann-to-GDSII shell and the PG ->
// GDSII engines carry, one line of double-quoted names separated by blanks (the
// directory first, NulListToQuoted). The NUL list at start; process-wide.
enum class FileDlgMultiResult { kNulList, kQuotedNames };
void SetFileDlgMultiResult(FileDlgMultiResult form);

// The error the wrappers report when a selection holds more files than allowed.
inline constexpr int kFileDlgErrorTooManyFiles = 12291;

// Controls of the box for a file that already exists.
enum FileDlgBoxControl : int {
  kFileBoxName = 5010,
  kFileBoxText1 = 5021,
  kFileBoxExists = 5022,
  kFileBoxText3 = 5023,
  kFileBoxOk = 5030,  // "OK" or "Overwrite"
  kFileBoxBrowse = 5031,
  kFileBoxCancel = 5032,
};

// The box for a file that already exists: the name in an editable field above "File
// already exist". Mode -1: "OK" alone ("FileDlgBox1"); mode 0: "Overwrite" and "Cancel"
// ("FileDlgBox2"); any other mode: "Overwrite", "Browse" and "Cancel" ("FileDlgBox3").
// Escape is Cancel (OK in mode -1). Closing copies the field back into *file_name.
// Result: 1 for OK or Overwrite; for Browse the result of the save dialog (with the
// overwrite question) run on the name; 0 for Cancel, and 0 when the box cannot be shown
// (no interactive dialogs), so nothing is overwritten that nobody agreed to.
int RunFileDlgBox(QWidget* owner, std::string_view title, std::string* file_name,
                  std::string_view default_extension, std::string_view filter, int mode);

}  // namespace kavrinth
