// The viewer's open dialog hooks.
#include "viewer/app/open_dialog_hooks.h"

#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <memory>

#include "support/qt/dialogs.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {
namespace {

QString Name(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The format list and the multi-selection of one file type case of the File Open list:
// cases 1-4 are one PG format each, several files at once; the job files (0), all files
// (5) and anything else offer every format for one file.
struct FileTypeCase {
  int first = 0;
  int last = 4;
  bool list_enabled = true;
  bool several_files = false;
};

FileTypeCase CaseOf(int file_type_case) {
  constexpr int kFormats[] = {0, 1, 2, 4};
  if (file_type_case >= 1 && file_type_case <= 4) {
    const int format = kFormats[file_type_case - 1];
    return {format, format, false, true};
  }
  return {};
}

QComboBox* List(QFileDialog& dialog, int id) { return FindControl<QComboBox>(&dialog, id); }

// Shows the two lists and their labels, names the template's controls, fills both lists.
void InitLists(QFileDialog& dialog) {
  for (int id : {kTplUnitLabel, kTplUnit, kTplPgFileTypeLabel, kTplPgFileType}) {
    if (QWidget* control = FindControl<QWidget>(&dialog, id)) control->show();
  }
  const std::pair<int, const char*> names[] = {{kTplImportButton, "Import"},
                                               {kTplImportFormat, "Import Format"},
                                               {kTplImportFormatLabel, "Import Format:"},
                                               {kTplWorkingDirButton, "Working Dir"},
                                               {kTplPgFileType, "PG File Type"},
                                               {kTplPgFileTypeLabel, "PG File Type:"},
                                               {kTplUnit, "Unit"},
                                               {kTplUnitLabel, "Unit:"},
                                               {kTplUseJobButton, "Use Job"}};
  for (const auto& [id, name] : names) {
    if (QWidget* control = FindControl<QWidget>(&dialog, id)) control->setAccessibleName(name);
  }
  if (QComboBox* unit = List(dialog, kTplUnit)) {
    unit->clear();
    unit->addItems({"English", "Metric"});
    unit->setCurrentIndex(0);
  }
  if (QComboBox* formats = List(dialog, kTplPgFileType)) {
    FillPgFileTypeList(formats, 0, 4);
    formats->setEnabled(true);
  }
}

// The PG format a data file's extension names: -1 when it names none (".sor" is used by
// several formats).
int32_t FormatOfExtension(const QString& path) {
  const QString extension = QFileInfo(path).suffix().toLower();
  if (extension == "em" || extension == "ems") return 0;
  if (extension == "dwm" || extension == "dws") return 1;
  if (extension == "int") return 4;
  return -1;
}

// Reads the two lists into the choice when the dialog is confirmed. Where the format list
// could be chosen from and was left as it came, the first file's extension names the
// format when it names one.
void ConnectConfirm(CFileDialogEx& dialog, OpenDialogChoice* choice,
                    std::shared_ptr<bool> format_chosen) {
  QObject::connect(&dialog, &QDialog::accepted, &dialog, [&dialog, choice, format_chosen] {
    if (QComboBox* formats = List(dialog, kTplPgFileType)) {
      const std::string text = formats->currentText().toStdString();
      for (size_t n = 0; n < kPgFormatNames.size(); ++n) {
        if (text == kPgFormatNames[n]) choice->pg_format = static_cast<int32_t>(n);
      }
      // The files as the dialog takes them: Qt's own selection misreads a name that holds
      // a double quote.
      const QStringList files = dialog.ChosenFiles();
      if (formats->isEnabled() && !*format_chosen && !files.isEmpty()) {
        if (const int32_t format = FormatOfExtension(files.front()); format >= 0) {
          choice->pg_format = format;
        }
      }
    }
    if (QComboBox* unit = List(dialog, kTplUnit)) {
      choice->metric = unit->currentText().startsWith('M');
    }
    choice->confirmed = true;
  });
}

void ApplyCase(QFileDialog& dialog, int file_type_case) {
  const FileTypeCase what = CaseOf(file_type_case);
  if (QComboBox* formats = List(dialog, kTplPgFileType)) {
    FillPgFileTypeList(formats, what.first, what.last);
    formats->setEnabled(what.list_enabled);
  }
  dialog.setFileMode(what.several_files ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
}

}  // namespace

int32_t OpenDialogChoice::UnitCode() const { return UnitCodeFor(pg_format, metric); }

void OpenDialogChoice::MakeCurrent() const {
  ViewerImportSettings& settings = ImportSettings();
  if (pg_format >= 0) settings.pg_format = pg_format;
  settings.metric = metric;
  settings.unit_code = UnitCodeFor(settings.pg_format, metric);
}

bool OfferedPgFormat(int32_t format) {
  return format == 0 || format == 1 || format == 2 || format == 4;
}

void FillPgFileTypeList(QComboBox* list, int first, int last) {
  list->clear();
  for (int n = std::max(first, 0); n <= last && n < static_cast<int>(kPgFormatNames.size()); ++n) {
    if (n == 3) continue;
    list->addItem(Name(kPgFormatNames[n]));
  }
  list->setCurrentIndex(0);
}

FileDialogHook OpenDlgHookProc(int file_type_offset, OpenDialogChoice* choice) {
  auto format_chosen = std::make_shared<bool>(false);
  return [file_type_offset, choice, format_chosen](CFileDialogEx& dialog, int control_id) {
    if (control_id == kTplPgFileType) *format_chosen = true;
    if (control_id != kFileDlgHookInit) return false;
    *format_chosen = false;
    *choice = OpenDialogChoice();
    choice->pg_format = ImportSettings().pg_format;
    choice->metric = ImportSettings().metric;
    InitLists(dialog);
    const int32_t current = ImportSettings().pg_format;
    QComboBox* unit = List(dialog, kTplUnit);
    // The Layer Table's files start in the unit of the table in use: that of the loaded job,
    // or the one just chosen for a new job. With neither, no unit is in use and the list
    // starts on the first, "English", as every other open dialog does.
    const ViewerAppState& state = AppState();
    const bool unit_in_use = state.job_loaded || state.new_job_from_dialog;
    if (file_type_offset != kOpenFileTypes && unit != nullptr && unit_in_use) {
      unit->setCurrentIndex(ImportSettings().metric ? 1 : 0);
    }
    if (file_type_offset == kFixedFormat && OfferedPgFormat(current)) {
      // The table's files are all read in the current format: only the unit is chosen.
      FillPgFileTypeList(List(dialog, kTplPgFileType), current, current);
      List(dialog, kTplPgFileType)->setEnabled(false);
    } else {
      const int offset = file_type_offset == kFixedFormat ? kPgFileTypes : file_type_offset;
      auto apply = [&dialog, offset](const QString& filter) {
        ApplyCase(dialog, static_cast<int>(dialog.nameFilters().indexOf(filter)) + offset);
      };
      QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, apply);
      apply(dialog.selectedNameFilter());
    }
    ConnectConfirm(dialog, choice, format_chosen);
    return true;
  };
}

FileDialogHook NewJobDlgHookProc(OpenDialogChoice* choice) {
  auto format_chosen = std::make_shared<bool>(false);
  return [choice, format_chosen](CFileDialogEx& dialog, int control_id) {
    if (control_id == kTplPgFileType) *format_chosen = true;
    if (control_id != kFileDlgHookInit) return false;
    *format_chosen = false;
    *choice = OpenDialogChoice();
    choice->pg_format = ImportSettings().pg_format;
    choice->metric = ImportSettings().metric;
    InitLists(dialog);
    ConnectConfirm(dialog, choice, format_chosen);
    return true;
  };
}

std::string LayerFileFilter(int32_t current_format) {
  if (OfferedPgFormat(current_format)) {
    return std::string(kPgFormatFilters[current_format]) + std::string(kAllFilesFilter);
  }
  std::string filter;
  for (int n : {0, 1, 2, 4}) filter += kPgFormatFilters[n];
  return filter + std::string(kAllFilesFilter);
}

int LayerFileTypeOffset(int32_t current_format) {
  return OfferedPgFormat(current_format) ? kFixedFormat : kPgFileTypes;
}

}  // namespace kavrinth
