// The engine job file: one "layer%d" section per input file with its GDS layer and path,
// the list of sections in "General"/"layers", and the viewer's layer table that View
// EM/Mann adds to the same file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/core/session.h"
#include "platform/ini.h"

namespace kavrinth {

inline constexpr std::string_view kJobGeneral = "General";
inline constexpr std::string_view kJobLayersKey = "layers";
inline constexpr std::string_view kJobLayerKey = "layer";
inline constexpr std::string_view kViewerLayerTable = "LAYER_TABLE";

// GDS layers the shell accepts, and the count the engine keeps (it takes the value modulo
// this; 0 means "the lowest layer no other file has").
inline constexpr int kMinGdsLayer = 1;
inline constexpr int kMaxGdsLayer = 1024;
inline constexpr int kEngineKeptLayers = 64;
// Longest layer text kept.
inline constexpr size_t kMaxLayerText = 259;

// Whether a layer text may be written: decimal digits only, 1..1024, at most 259
// characters (leading zeros kept, so "007" is 7).
bool IsValidLayerText(std::string_view text);
// The layer the engine makes of a valid text: the value modulo 64, where 0 stands for the
// lowest free layer the engine picks.
int EngineLayerOf(std::string_view text);

// "layer%d" of the index.
std::string JobSectionName(int index);

// The layer text an earlier job gave file index i, when its section of the same number
// names a file of the same name (without regard to case) with a valid layer.
std::optional<std::string> LayerFromOldJob(const IniFile& job, int index, std::string_view name);

// One file written into the job.
struct JobFileEntry {
  std::string layer_text;
  std::string path;
};

// Writes the sections layer0.. of the entries and "General"/"layers" in one save, keeping
// every other section and key of an existing file, and removes the "layer%d" sections an
// earlier, longer job left beyond them. False when the file could not be read or written.
bool WriteEngineJobFile(const std::string& job_path, const std::vector<JobFileEntry>& entries);

// View EM/Mann's additions: a "LAYER_%d" entry per input file (an existing entry that
// reads as the viewer reads it keeps its state, colour and mode and takes the current
// path; any other is written afresh) and "General"/"FormatType" and "UnitType". Every other key
// stays: the entries of higher number an earlier, longer selection left, and all of them when no
// file is selected yet (after a restart), so the user's colours and modes are never lost. False
// when the file could not be read or written, or a path holds a double quote or a line break (the
// viewer would read it cut).
bool WriteViewerLayerTable(const std::string& job_path, const CorvaneSession& session);
// Why WriteViewerLayerTable refuses the session's inputs: ViewerLayerPathRefusal of the
// first input path the job file cannot hold; "" when every path fits.
std::string ViewerLayerTableRefusal(const CorvaneSession& session);

// Working Directory's move of the job file: copies it into the new place (replacing a file
// there) and only after a complete copy removes the old one. 0 on success, else the errno
// of the failure, with the old file kept.
int MoveJobFile(const std::string& old_path, const std::string& new_path);

}  // namespace kavrinth
