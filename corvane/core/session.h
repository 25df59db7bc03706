// Corvane's process-wide state: the selected EM/Mann input files, the working directory,
// the viewer paths, the translator settings and the names of one job's files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// Input file formats, as stored in "FilesFormat" and in the viewer job's "FormatType".
enum CorvaneFilesFormat : int32_t {
  kFilesElectromask = 0,
  kFilesMann3000 = 1,
  kFilesMann3600 = 2,
};
// Input units, as stored in "FilesUnit".
enum CorvaneFilesUnit : int32_t { kFilesUnitMil = 0, kFilesUnitMicron = 1 };

// Select takes at most this many files; the Layers dialog handles this many indexes.
inline constexpr int kMaxInputFiles = 63;
inline constexpr int kLayerDialogFiles = 64;
// Entries reserved in the layer text table.
inline constexpr int kLayerTableSize = 1024;

// The scale the Mann engine applies: the range the settings dialog accepts.
inline constexpr double kMinScale = 1e-08;
inline constexpr double kMaxScale = 1000000.0;

struct CorvaneOptions {
  int32_t files_format = kFilesElectromask;
  int32_t files_unit = kFilesUnitMil;
  double scale = 1.0;
};

struct CorvaneSession {
  std::string input_file;                     // full path of the first selected file
  std::vector<std::string> input_file_names;  // names without directory, in dialog order
  std::string working_directory;
  std::string gds_viewer_path;
  std::string pg_viewer_path;
  std::string program_directory;
  std::string gds_output_path;  // last GDSII output
  std::string log_file_path;    // last job log shown
  int32_t log_loaded_from_file = 0;
  CorvaneOptions options;
  // One GDS layer text per file index, as typed; empty when not set yet.
  std::vector<std::string> input_file_layer_table = std::vector<std::string>(kLayerTableSize);
  // The file indexes checked at the last OK of the Layers dialog ("0,2,5"); empty: all.
  std::string checked_file_indexes;
};

// Takes the input-file dialog's selection: the entries of its NUL list (one full path, or
// a directory followed by names). Sets InputFile and InputFileNames (at most 63 names), the
// working directory when it is empty, and forgets the layer texts and checked indexes of
// the previous selection. An empty selection changes nothing and returns false.
bool ApplyInputSelection(CorvaneSession& session, const std::vector<std::string>& entries);

// A working directory that was never set (or was dropped at start because it was gone)
// becomes the directory of InputFile, as Select makes it.
void UseInputDirectoryWhenNoWorkingDirectory(CorvaneSession& session);

// The name the main window's title shows: InputFile, with "..." behind it when several
// files are selected.
std::string TitleFileName(const CorvaneSession& session);

// The directory all selected files lie in, and the full path of file index i.
std::string InputDirectory(const CorvaneSession& session);
std::string InputFullPath(const CorvaneSession& session, size_t index);

// The files of the current job in the working directory: <name>.job (the engine job
// file, which also holds the viewer's layer table), and the engine's log, named from the
// job file's name exactly as the engine names it, and the log's temporary ".lg2".
std::string JobFilePath(const CorvaneSession& session);
std::string JobFilePathIn(const CorvaneSession& session, std::string_view directory);
std::string LogFilePathFor(const CorvaneSession& session);
std::string Lg2FilePathFor(const CorvaneSession& session);

}  // namespace kavrinth
