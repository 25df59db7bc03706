// The engine's command-line settings: the positional arguments and the option table,
// with their defaults, as one job of the GDSII -> PG engine reads them.
#pragma once

#include <cstdint>
#include <string>

#include "tabreng/layer_set.h"

namespace kavrinth {

// A real that the command line did not give.
inline constexpr double kUnsetReal = 1e20;

struct EngineOptions {
  std::string version;  // the engine's version text, copied at the start of every job
  std::string input_path;
  double feature_size = kUnsetReal;
  LayerSet requested;  // the include set
  LayerSet excluded;
  bool include_mode = false;
  bool exclude_mode = false;
  std::string top_name = "=";

  double pg_scale = kUnsetReal;   // -s
  double pg_second = kUnsetReal;  // -c
  double pg_third = kUnsetReal;   // -a
  int32_t pg_o = -1;              // -o (PG_INIT argument 3)
  int32_t pg_v = -1;              // -v (argument 4)
  int32_t pg_m = -1;              // -m (argument 5)

  int32_t max_structures = 2048;
  bool debug = false;
  bool keep_temporaries = false;  // -dbgx
  bool polygon_mode = false;      // -pg
  bool reentrant = false;
  bool scan_mode = false;
  bool counting_pass = false;  // -polycnt alone
  int64_t expected_count = 0;  // -polycnt:<n>
  bool list_selection = true;  // -q turns it off
  bool unfold = true;
  bool prune = false;
  bool all_structures = false;
  std::string settings_file = "GDS.CFG";
  bool outline_given = false;  // -on<a>,<b>
  int32_t outline_a = 0;
  int32_t outline_b = 0;
  int path_mode_override = -1;  // -t0 .. -t3
  bool no_post = false;         // -opost
  bool log_to_stderr = false;   // -stderr <file>
  std::string stderr_file;

  // Accepted and stored; they change nothing else.
  int32_t max_warnings = 0;
  double max_mix = 0;
  double max_meg = 0;
  bool relax = false;
  bool dark = false;

  // Boundaries and boxes go to PG in these modes.
  bool HandOffMode() const { return scan_mode || polygon_mode || reentrant; }
};

}  // namespace kavrinth
