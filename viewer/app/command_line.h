// The viewer's command line: the file to open (a job, or a data file made into a job) and
// the options. Parsing fills a record and touches nothing else, so that a hand-over can be
// parsed at once and applied later, after the user has agreed to leave the current job.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

struct CommandLineRequest {
  std::string program_directory;  // directory part of the first word
  bool has_file = false;          // a second word that does not begin with "-"
  std::string job_path;           // the job to open
  // A data file (PG or WF2) to enter into job_path before it opens; empty when the file
  // named was a job.
  std::string data_file;
  bool ram_given = false;          // "-ram:"
  int64_t ram_limit = 0;           // bytes; 0 or less means no limit
  bool layer_colour_only = false;  // "-fbclr"
  bool error_file_given = false;   // "-vefn:"
  std::string error_file_name;
  // Options that could not be read, one message each; the option is then ignored.
  std::vector<std::string> problems;
};

// Parses the words of a command line (the first is the program). Relative names are taken
// from base_directory (the directory the command was given in). A data file named without
// a directory part keeps its name as typed when keep_relative is set (the base directory
// is the viewer's own current directory); otherwise it is made absolute.
CommandLineRequest ParseCommandLine(std::span<const std::string> words,
                                    std::string_view base_directory, bool keep_relative);

// The value of "-ram:": a decimal number of bytes, optionally signed, that fits in 64 bits.
std::optional<int64_t> ParseRamValue(std::string_view text);

// The usage text of "vexil --help".
std::string VexilUsage();

}  // namespace kavrinth
