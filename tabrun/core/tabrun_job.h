// The state of one Tabrun session (application-wide in the shell): the paths of the job,
// the stored options, the GDS.CFG values, the scan model and the layer output table, and
// the settings files written from them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabrun/core/gds_cfg_file.h"
#include "tabrun/core/layer_output_table.h"
#include "tabrun/core/scan_model.h"
#include "tabrun/core/tabrun_options.h"

namespace kavrinth {

struct TabrunJob {
  std::string program_dir;
  std::string working_dir;
  std::string gds_path;
  std::string cfg_path;
  std::string scan_report_path;
  std::string job_log_path;
  bool debug = false;
  bool scanned = false;
  bool cfg_selected = false;
  TabrunOptions options;
  GdsCfgSettings cfg;
  ScanModel scan;
  PgLayerOutputTable layers;
  // The GDSII file as it was when it was scanned: its size (-1 before a scan) and the time
  // of its last change, in nanoseconds.
  int64_t scanned_size = -1;
  int64_t scanned_time = 0;
  std::array<bool, kGdsLayerCount> no_data{};            // output of 23 bytes or less
  std::array<bool, kGdsLayerCount> conversion_failed{};  // the converter left no result
  // Every gds.cfg this session wrote as the engine's copy of the settings, for the clean-up
  // at exit. A record of the writes rather than a setting of the job, so kept even by the
  // writers that take the job as it is.
  mutable std::vector<std::string> gds_cfg_copies;
  // The record the engine reads for TSCALE in the CFG file read (the PG TSCALE record, or
  // the first of its key), when its values are not those the shell writes for the font
  // scales and the scale: a user's edit. Its value lines are written as they stand, under
  // the whole key, while the shell's values are still those it stood in place of.
  struct HandTscale {
    std::string file;                // the CFG file read
    size_t line = 0;                 // of its key line in the file, from 1
    std::vector<std::string> lines;  // the key line and the value lines as the file holds them
    bool keepable = false;           // four value lines, none of them blank
    std::string in_place_of;         // the shell's value lines when the file was read
  };
  std::optional<HandTscale> hand_tscale;

  // <working dir>/<name>.
  std::string InWorkingDir(std::string_view name) const;
  // Where the layer's PG output file is written: its name as the user gave it, a relative
  // one taken in the working directory (where the engine and the PG library read it from
  // pg.cfg); "" when the layer has no output name.
  std::string OutputPath(int layer) const;
};

// The PG settings records (PgSettingsFile) of the job, CR LF line ends: the option records,
// then PG_OUTPUT with the names the selector names, when any layer is selected.
std::string FormatPgSettings(const TabrunJob& job);

// Reads PG settings records into the job's options, font scales, selected-layer list and
// current name table. Every value is checked against the range its consumer accepts; an
// invalid one leaves the value before it. The PG_OUTPUT list ends at its first empty line,
// and a line counts only when it starts with the digits of a layer 0-1023 and a blank.
void ParsePgSettings(std::string_view text, TabrunJob* job);

// The GDS.CFG records as the CFG file gets them: the job's, with the text scales and block
// text the engine takes from the PG options. Their TSCALE and BLOCK_TEXT records are never
// kept as the old file read them: the PG records of those keys stand first in the file and
// are the ones read. A later record of those keys that the user edited, which no reader
// takes, is written as it stands in their place.
GdsCfgSettings CfgAsWritten(const TabrunJob& job);

// True when the job's PG TSCALE record is the user's, as the CFG file read holds it.
bool HandTscaleWritten(const TabrunJob& job);

// Writes the job's settings: the CFG file (PG settings records, then the GDS.CFG records,
// then every record of the old file that neither set manages), pg.cfg of the working
// directory (PG settings records only, the shape the PG library reads) and gds.cfg (the PG
// settings records and the unmanaged records, which the engine reads). pg.cfg and gds.cfg
// are skipped when they are the CFG file itself. Without with_cfg_file only the two copies
// are written. 0, or -1 with *error naming the file that could not be written.
int WriteJobSettings(const TabrunJob& job, std::string* error, bool with_cfg_file = true);

// Whether the engine qualifies the structure names (GDSQUALIFY) in a run of the job. It
// reads gds.cfg of the working directory, which holds the GDS.CFG records only when it is
// the job's CFG file itself; otherwise the engine keeps its default.
bool EngineQualifiesNames(const TabrunJob& job);

// Reads the CFG file: the GDS.CFG records (starting from the defaults) and the PG settings
// records. BLOCK_TEXT, and TSCALE when there is no SHTSCALE record, are taken as the engine
// reads them, from the first record of each. A file that cannot be read leaves the defaults.
void ReadJobSettings(TabrunJob* job, const std::string& path);

// The values of the CFG file at path that the engine would refuse or read otherwise than
// written, one text each naming the file and the line (GdsCfgNotes); none when the file
// cannot be read.
std::vector<std::string> JobSettingsNotes(const std::string& path);

// The notes of the settings file the engine reads in a run, gds.cfg of the working
// directory as the shell wrote it: only values that reach the engine are named (the records
// of another CFG file that the shell manages are not copied there). Of another CFG file
// the notes on records that no reader takes and on the values the PG records carry to the
// engine (BLOCK_TEXT, TSCALE) are added. None without a working directory.
std::vector<std::string> EngineSettingsNotes(const TabrunJob& job);

}  // namespace kavrinth
