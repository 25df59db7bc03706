// The viewer job file: an INI file naming the data files shown together, one per layer
// entry with its display settings, and the PG format and unit they are read in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/viewer_layer_value.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {

inline constexpr std::string_view kJobLayerSection = "LAYER_TABLE";
inline constexpr std::string_view kJobGeneralSection = "General";
inline constexpr std::string_view kJobFormatKey = "FormatType";
inline constexpr std::string_view kJobUnitKey = "UnitType";
// The open dialog's multi-selection flag.
inline constexpr uint32_t kOpenMultiSelect = 0x200;

// One layer entry of a job file.
using JobLayerValue = ViewerLayerValue;

// "LAYER_%d".
std::string JobLayerKey(int n);
// Reads a layer value: "ON" or "OFF", red, green, blue, the fill word and the quoted path,
// separated by commas (a comma inside the quotes belongs to the path) and blanks. Nothing
// for a value of fewer than six words. Each colour part is taken as one byte.
std::optional<JobLayerValue> ParseJobLayerValue(std::string_view value);
// The value written for an entry with a path.
std::string FormatJobLayerValue(const ViewLayerEntry& entry);
// The default colour of a new entry: red, green, yellow, blue, magenta, cyan by index mod 6.
uint32_t DefaultLayerColour(int index);

// Reads the job's layer entries into the layer table and its [General] values into the
// import settings; remembers the path as the current job. The number of entries read; 0
// when the file does not exist.
int ReadJobFile(const std::string& path);
// Format and unit code of a job: format 0 and unit code 2 unless the file says otherwise
// (a format outside 0..6 reads as 0). A "UnitType" selects the unit table. Returns the
// unit code.
int32_t ReadJobGeneral(const std::string& path, int32_t* unit_code, int32_t* format);
// Writes every layer key (an entry without a path as an empty key) and [General]: 1024,
// or -1 when the file could not be written or an entry's path cannot be held in it (a
// double quote, a line break); the file is then left as it was.
int WriteJobFile(const std::string& path);
// Why WriteJobFile refuses the table as it stands: ViewerLayerPathRefusal of the first
// entry whose path the job file cannot hold; "" when every path fits.
std::string JobTableRefusal();
// Writes "FormatType" and "UnitType": 0, or -1 when the file could not be written.
int WriteJobGeneral(const std::string& path);
// Enters one data file into the job (keeping its entry when the job names it already) and
// writes the job: the result of WriteJobFile.
int UpdateJobLayerTable(const std::string& job_path, const std::string& data_file);
// Turns the open dialog's selection (one name, or with kOpenMultiSelect a NUL list of the
// directory and the names) into the job path to open: 1, or 0 for an empty selection, for
// a file the job cannot hold and for a job file that cannot be written (the user is told,
// with the job file and the reason; the layer table is left as it was).
int OpenJobFile(std::string* result, std::string_view names, uint32_t flags);
// Empties the layer table (freeing the entries' libraries) and forgets the entered files.
void ClearLayerTable();
// Enters a data file at the index with the default colour of the index.
void AddJobLayerEntry(const std::string& path, int index);
// Writes the job of the entered files, named after the first one, into the working
// directory: the result of WriteJobFile; *job_path receives its path. An older job of that
// name is replaced, but kept when a path cannot be held (-1).
int WriteFileListJob(std::string* job_path);

}  // namespace kavrinth
