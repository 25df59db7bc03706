// selvar's command line and run.
#include "companions/selvar/selvar.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <iostream>

#include "companions/selvar/gds_scan.h"
#include "platform/files.h"
#include "platform/process.h"

namespace kavrinth {
namespace {

bool StartsIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// The report sections the switches ask for, matched without regard to case.
struct SwitchRule {
  std::string_view name;
  bool ScanReportOptions::*section;
};
constexpr SwitchRule kSwitches[] = {{"-sh", &ScanReportOptions::hierarchy},
                                    {"-sea", &ScanReportOptions::extents},
                                    {"-elmcnt", &ScanReportOptions::element_counts}};

// Options with a value after the colon.
bool ApplyValueOption(std::string_view argument, SelvarOptions* options) {
  if (StartsIgnoringCase(argument, "-o:") && argument.size() > 3) {
    options->report_path = std::string(argument.substr(3));
    return true;
  }
  if (StartsIgnoringCase(argument, "-max:")) {
    std::string_view value = argument.substr(5);
    size_t count = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    options->max_structures = count;
    return error == std::errc() && end == value.data() + value.size() && count > 0;
  }
  return false;
}

bool ApplyOption(std::string_view argument, SelvarOptions* options) {
  for (const SwitchRule& rule : kSwitches) {
    if (argument.size() == rule.name.size() && StartsIgnoringCase(argument, rule.name)) {
      options->report.*rule.section = true;
      return true;
    }
  }
  return ApplyValueOption(argument, options);
}

}  // namespace

std::string SelvarUsage() {
  return "usage: selvar <file.gds> [-max:<structures>] [-sh] [-sea] [-elmcnt] [-o:<report>]\n"
         "Scans a GDSII file and writes its scan report (<file>.ssn unless -o: names one):\n"
         "structures, layers with data, and with -elmcnt element counts, with -sea extents,\n"
         "with -sh the hierarchy.";
}

int ParseSelvarArguments(const std::vector<std::string>& arguments, SelvarOptions* options,
                         std::string* error) {
  *options = SelvarOptions();
  std::vector<std::string> positional;
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      options->help = true;
      return 0;
    }
    if (argument.size() < 2 || argument[0] != '-') {
      positional.push_back(argument);
    } else if (!ApplyOption(argument, options)) {
      *error = "unknown or incomplete option \"" + argument + "\"";
      return -1;
    }
  }
  if (positional.size() != 1 || positional[0].empty()) {
    *error = "expected one GDSII file, got " + std::to_string(positional.size()) + " argument(s)";
    return -1;
  }
  options->gds_path = positional[0];
  options->report.gds_path = positional[0];
  return 0;
}

std::string DefaultReportName(const std::string& gds_path) {
  std::string name = NativePath(gds_path);
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name + ".ssn";
}

int RunScan(const SelvarOptions& options, std::string* error) {
  const std::string input = ResolveExistingPath(NativePath(options.gds_path));
  const std::string report = options.report_path.empty() ? DefaultReportName(options.gds_path)
                                                         : NativePath(options.report_path);
  if (SameExistingFile(input, report)) {
    *error = "the report " + report + " would replace the GDSII file";
    return -1;
  }
  GdsScan scan;
  std::string reason;
  GdsScanOptions scan_options;
  scan_options.max_structures = options.max_structures;
  scan_options.hulls = options.report.extents;  // only the extents use them
  if (ScanGdsFile(input, scan_options, &scan, &reason) != 0 ||
      WriteScanReport(scan, options.report, report, &reason) != 0) {
    *error = options.gds_path + ": " + reason;
    return -1;
  }
  return 0;
}

void RunSelvar(int argc, char** argv) {
  std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  SelvarOptions options;
  std::string error;
  if (ParseSelvarArguments(arguments, &options, &error) != 0) {
    std::cerr << "selvar: " << error << "\n" << SelvarUsage() << "\n";
    ExitWithResult(-1);
  }
  if (options.help) {
    std::cout << SelvarUsage() << "\n";
    ExitWithResult(0);
  }
  if (RunScan(options, &error) != 0) {
    std::cerr << "selvar: " << error << "\n";
    ExitWithResult(-1);
  }
  ExitWithResult(0);
}

}  // namespace kavrinth
