// The post-processor's run: the header stream, the translated stream and pg.cfg in, one
// Intermediate PG file per output layer out, the warnings in pg.log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "companions/quenrix/layout.h"

namespace kavrinth {

struct PostProcessorArguments {
  std::string header_stream;
  bool debug = false;   // -debug
  bool debugx = false;  // -debugx
};

// argv[0] is the library's path, argv[1] the header stream, then "-debug" or "-debugx";
// the vector ends at argc or at a null entry. 0, or 1 with a message.
int ParsePostProcessorArguments(int32_t argc, char* const* argv, PostProcessorArguments* args,
                                std::string* error);

// The feature size a job uses when pg.cfg gives none: microns for a metric user unit,
// mils otherwise.
inline constexpr double kDefaultMetricFeatureSize = 5.0;
inline constexpr double kDefaultEnglishFeatureSize = 0.2;

// A user unit is metric when it is a power of ten of a metre (within 0.1 percent).
bool IsMetricUserUnit(double metres_per_user_unit);

// The first value of the FEATURE record of a PG settings file, when it is a positive
// number.
std::optional<double> ReadFeatureSize(std::string_view path);

// The pen width of text strokes in database units (at least 1): the feature size, taken
// in microns for a metric user unit and in mils otherwise.
int32_t StrokeWidth(double feature_size, const Layout& layout);

// The whole run in the current directory. The number of warnings (0 or more), or -1
// after a failure (message on stderr and in pg.log) or when the cancel flag (may be
// null) was set; then no Intermediate file of the run is left behind.
int32_t RunPostProcessor(int32_t argc, char* const* argv, volatile int* cancel_flag);

}  // namespace kavrinth
