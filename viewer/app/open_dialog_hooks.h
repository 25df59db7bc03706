// The viewer's open dialogs: the "PG File Type:" and "Unit:" lists below the file controls,
// kept in step with the chosen file type, and the choice they give when confirmed.
#pragma once

#include <QComboBox>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/qt/file_dialogs.h"

namespace kavrinth {

// The PG format names by format number; the lists never offer "Draftek".
inline constexpr std::array<std::string_view, 5> kPgFormatNames = {
    "ElectroMask", "Mann 3000", "Mann 3600", "Draftek", "Intermediate"};

// The filter of the File Open command, and the PG filters by format (3 and 4 share one).
inline constexpr std::string_view kOpenDialogFilter =
    "Job Files (*.job)|*.job|EMask Files (*.em;*.ems;*.sor)|*.em;*.ems;*.sor|"
    "3000 Files (*.dwm;*.dws;*.sor)|*.dwm;*.dws;*.sor|3600 Files (*.dwm;*.dws;*.sor)|"
    "*.dwm;*.dws;*.sor|Intermdeiate Files (*.int)|*.int|All Files (*.*)|*.*||";
inline constexpr std::array<std::string_view, 5> kPgFormatFilters = {
    "EMask Files (*.em;*.ems;*.sor)|*.em;*.ems;*.sor|",
    "3000 Files (*.dwm;*.dws;*.sor)|*.dwm;*.dws;*.sor|",
    "3600 Files (*.dwm;*.dws;*.sor)|*.dwm;*.dws;*.sor|", "Intermdeiate Files (*.int)|*.int|",
    "Intermdeiate Files (*.int)|*.int|"};
inline constexpr std::string_view kAllFilesFilter = "All Files (*.*)|*.*||";

// The file type offset of the hooks: the case of a file type is its position in the
// dialog's list plus the offset. kOpenFileTypes: the File Open command's list; kFixedFormat:
// the current format's filter and "All Files", the format list fixed to the current format;
// kPgFileTypes: the four PG filters and "All Files" (a table built while no format is
// current).
enum OpenDialogOffset : int { kOpenFileTypes = 0, kFixedFormat = -1, kPgFileTypes = 1 };

// What the user confirmed in an open dialog. It becomes the current import settings only
// when the chosen files load.
struct OpenDialogChoice {
  bool confirmed = false;
  int32_t pg_format = -1;
  bool metric = true;
  // The unit code of the choice (the unit table's entry for the format).
  int32_t UnitCode() const;
  // Makes the choice the current import settings.
  void MakeCurrent() const;
};

// Whether a format can stand alone in the fixed-format list (0, 1, 2 or 4).
bool OfferedPgFormat(int32_t format);

// Empties the list and adds the format names from first to last, without "Draftek"; selects
// the first.
void FillPgFileTypeList(QComboBox* list, int first, int last);

// The hook of the File Open command and of the Layer Table's file dialog. The choice is
// written when the dialog is confirmed; it must outlive the dialog.
FileDialogHook OpenDlgHookProc(int file_type_offset, OpenDialogChoice* choice);
// The hook of "Open New Job": both lists, no file type cases.
FileDialogHook NewJobDlgHookProc(OpenDialogChoice* choice);

// The filter of the Layer Table's file dialog for the current format: that format's filter
// and "All Files", or every PG filter while no format is current.
std::string LayerFileFilter(int32_t current_format);
// The offset that goes with LayerFileFilter.
int LayerFileTypeOffset(int32_t current_format);

}  // namespace kavrinth
