// The output converters ferolt (Intermediate -> Electromask) and mistrel (Intermediate ->
// Mann 3000 or Mann 3600): command line, feature size, units, conversion and pg.log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

enum class ConverterKind { kFerolt, kMistrel };

// The converter's program name ("ferolt" or "mistrel").
std::string_view ConverterName(ConverterKind kind);

struct ConverterOptions {
  std::string input;     // the Intermediate file
  bool english = false;  // "mils": the file and the output in mils; "microns" otherwise
  double scale = 1.0;
  int32_t format = 0;  // PgFormat: Electromask (ferolt), Mann 3000 or Mann 3600 (mistrel)
  bool quiet = false;  // -q: nothing on standard output
  // Threads of the conversion (the records are read on a second one): 0 takes
  // FEROLT_THREADS or MISTREL_THREADS, else the processors; 1 reads and converts on one.
  int threads = 0;
  bool help = false;
};

// The command line after the program name: <file>.int <mils|microns> <scale> [-p] [-q]
// [-a] [-d:<dir>], and for mistrel [-3000|-3600] (Mann 3000 when neither is given).
// 0 with *options, or -1 with *error.
int ParseConverterArguments(ConverterKind kind, const std::vector<std::string>& arguments,
                            ConverterOptions* options, std::string* error);

std::string ConverterUsage(ConverterKind kind);

// The name of the result in the working directory: the input's file name with its
// extension replaced by ".em" (ferolt) or ".dwm" (mistrel).
std::string ConverterOutputName(ConverterKind kind, std::string_view input);

// Raw units of the output per mil (english) or micron of the layout: Electromask
// 1/100 mil or 1/10 micron, Mann 3000 1/100 mil or 1 micron, Mann 3600 1/100000 inch or
// 1/100000 millimetre. 0 for a format no converter writes.
double RawUnitsPerUserUnit(int32_t format, bool english);

// The feature size of the job, in mils or microns: the value after the FEATURE line of
// the PG settings file when that is a positive number, else the default (0.2 mil or
// 5 microns).
struct FeatureSize {
  double value = 0;
  bool from_settings = false;
  bool from_job = false;  // the value the job's engine run handed the PG library
};
FeatureSize ReadFeatureSize(const std::string& settings_path, bool english);

// The feature size the job ran with: the PG library's log names the one the engine handed
// it (its last "PG_INIT:" line's feature_size); without it, as ReadFeatureSize.
FeatureSize ReadJobFeatureSize(const std::string& pg_log_path, const std::string& settings_path,
                               bool english);

// What a conversion did, for pg.log and the result.
struct ConversionCounts {
  uint64_t quadrilaterals = 0;
  uint64_t sectors = 0;
  uint64_t rectangles = 0;      // quadrilaterals written as one flash
  uint64_t covered_shapes = 0;  // other quadrilaterals and sectors
  uint64_t cover_flashes = 0;   // the flashes that cover them
  uint64_t empty_shapes = 0;    // no area at all
  uint64_t too_small = 0;       // rectangles thinner than a raw unit: lost (warnings)
  uint64_t no_flash = 0;        // other shapes that gave no flash at all: lost (warnings)
  double largest_lost_w = 0;    // the box of the largest of those, in mils or microns
  double largest_lost_h = 0;
  uint64_t out_of_range = 0;  // beyond the output format's range: lost (warnings)
  // Rectangles whose one flash could not keep their corners, as the output's unit cannot
  // hold them (warnings): how many, the largest move of a corner in mils or microns, and
  // the scale (a whole multiple of the one given) at which those along the axes would be
  // exact, 0 when there is none up to 1000 times or no such rectangle moved.
  uint64_t moved = 0;
  uint64_t moved_turned = 0;  // of them, turned flashes, which no scale makes exact
  double largest_move = 0;
  double exact_scale = 0;
  double raw_unit = 0;  // the output's unit in mils or microns
  uint64_t flashes = 0;
  double tolerance = 0;  // in mils or microns, as the cover kept it
};

// Converts options.input in the current directory into its result there. 0 or more:
// the number of warnings; -1 with *error, and then no result is left behind (a file of
// that name from before stays as it was).
int32_t ConvertIntermediateFile(ConverterKind kind, const ConverterOptions& options,
                                double feature_size, ConversionCounts* counts, std::string* error);

// The program: parses the command line, converts, appends its lines to pg.log and ends
// through ExitWithResult.
[[noreturn]] void RunConverter(ConverterKind kind, int argc, char** argv);

}  // namespace kavrinth
