// The state of one run of the PG -> GDSII engine (corvitex or corvaxen): the build's
// defaults, the command line's settings, the units, the log and the files to convert.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pg2gds/pg_readers.h"

namespace kavrinth {

// The two programs built from the engine's one source.
enum class EngineBuild { kCorvitex, kCorvaxen };

// Everything in which the two builds differ.
struct EngineBuildTraits {
  EngineBuild build;
  std::string_view program;      // the executable's name
  std::string_view caption;      // the progress dialog's caption
  int32_t start_format;          // PgFormat at start
  char start_letter;             // unit letter at start; 0 when -u: is required
  bool machine_options;          // -3000 and -3600 choose the Mann machine
  int32_t metric_code;           // the unit code the letter M gives when no metric code is known
  bool verify_units;             // each listed file's unit is tested while the job is read
  const char* threads_variable;  // the environment variable that sets the thread count
};

const EngineBuildTraits& TraitsOf(EngineBuild build);

// Unit codes: what a file's raw coordinates are counted in.
inline constexpr int32_t kUnitUnknown = -1;
inline constexpr int32_t kUnitEnglish = 1;
inline constexpr int32_t kUnitMetric = 2;  // corvitex's M, Draftek files
inline constexpr int32_t kUnitMetricMann3000 = 4;
inline constexpr int32_t kUnitMetricMann3600 = 5;

// The library's unit as the command line's letter chose it.
struct UnitSettings {
  char letter = 0;               // 'E', 'M', 'x', or 0 while unset
  std::string unit_name = "UM";  // written into the library: "MIL" or "UM"
  double database_step = 0.001;  // the database unit in user units
  int32_t unit_code = kUnitUnknown;
};

// The number layout of a unit code: a raw coordinate divided by the divisor is a value
// in the library's user unit. The layout of the unknown unit is in force at start.
struct UnitDigits {
  int integer_digits = 7;
  int decimal_digits = 3;
  int32_t divisor = 1000;
};

// The extents of the flashes (or the box -limit: gave). Nothing written depends on it.
struct ExtentsBox {
  double min_x = 0;
  double min_y = 0;
  double max_x = 0;
  double max_y = 0;
};

// One PG file of the job and the GDSII layer (also its data type) it goes to.
struct LayerFileEntry {
  std::string path;        // as the job names it
  int layer = 0;           // 0..63; 0 until AssignFreeLayerNumbers numbered it
  std::string layer_text;  // the job's layer text, empty when it gave none
};

struct LogCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct EngineRun {
  explicit EngineRun(EngineBuild build);

  const EngineBuildTraits* traits;
  std::string job_file;               // the job file "@" or -f named; empty when none
  std::string job_copy_path;          // the copy the job is read from
  bool job_copy_is_temporary = true;  // false when the job is read in place
  bool job_copy_failed = false;       // the job could not be copied: nothing to read
  std::string output_path;
  std::string top_name = "_PG_DATA";
  UnitSettings units;
  UnitDigits digits;
  int32_t pg_format = kPgFormatElectroMask;
  bool flash_as_path = false;
  bool layer_table_in_log = true;
  double scale = 1.0;
  ExtentsBox extents;
  bool accumulate_extents = true;
  std::unique_ptr<std::FILE, LogCloser> log;  // open only when "@" named the job
  std::string log_path;
  bool log_failed = false;  // a write to the log failed
  int32_t warnings = 0;     // warnings counted; the run's result when it succeeds
  std::vector<LayerFileEntry> layers;
};

// Sets the units from a command-line letter: x (small only) takes the unit from each
// file, E or e English (mils), M or m metric (microns). Returns the letter, upper-cased
// except for x; an unknown letter changes nothing.
char SelectUnitLetter(EngineRun& run, char letter);

// Appends text to the log when it is open; a failed write is remembered.
void WriteLog(EngineRun& run, std::string_view text);

// Writes "\r\nWarning: <text>\r\n         <detail>\r\n" to the log (when open) and counts
// the warnings it stands for (the count saturates at the 32-bit limit).
void LogWarning(EngineRun& run, std::string_view text, std::string_view detail, int64_t count = 1);

// Writes "\r\n<text>\r\n         <detail>\r\n" to the log (when open): an error the run ends
// with, which is no warning.
void LogError(EngineRun& run, std::string_view text, std::string_view detail);

// Closes the log: false when any write to it, or the close, failed.
bool CloseLog(EngineRun& run);

}  // namespace kavrinth
