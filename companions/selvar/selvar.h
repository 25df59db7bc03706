// selvar, the GDSII scanner: its command line and its run, from the GDSII file to the
// .ssn scan report.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "companions/selvar/scan_report.h"

namespace kavrinth {

struct SelvarOptions {
  std::string gds_path;
  std::string report_path;    // -o:; empty: <base>.ssn in the current directory
  size_t max_structures = 0;  // -max:; 0: no limit
  ScanReportOptions report;
  bool help = false;
};

// The arguments after the program name: "<gds>" [-max:<n>] [-sh] [-sea] [-elmcnt]
// ["-o:<report>"]. 0 with *options, or -1 with *error.
int ParseSelvarArguments(const std::vector<std::string>& arguments, SelvarOptions* options,
                         std::string* error);

std::string SelvarUsage();

// The report's name when -o: gives none: the GDSII file's name with ".ssn".
std::string DefaultReportName(const std::string& gds_path);

// Scans and writes the report: 0, or -1 with *error (no report is left then).
int RunScan(const SelvarOptions& options, std::string* error);

// The program: ends through ExitWithResult with 0, or -1 after a message on stderr.
[[noreturn]] void RunSelvar(int argc, char** argv);

}  // namespace kavrinth
