// The converters' command line, output name, output units and the feature size of pg.cfg.
#include <strings.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "companions/converter/converter.h"
#include "pg2gds/pg_readers.h"
#include "support/job_file_names.h"
#include "support/line_file.h"

namespace kavrinth {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool StartsIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A real number in C-locale form filling the whole text, or nothing.
bool ParseReal(std::string_view text, double* value) {
  text = Trim(text);
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// The options, matched without regard to case. -p, -a and -d: are what the shell passes
// for its flash and buffer settings; the flashes of these converters need neither.
struct OptionRule {
  std::string_view name;
  bool takes_value;  // the name is a prefix ("-d:") followed by a value
  bool mistrel_only;
  void (*apply)(ConverterOptions* options);
};

constexpr OptionRule kOptions[] = {
    {"-p", false, false, [](ConverterOptions*) {}},
    {"-q", false, false, [](ConverterOptions* o) { o->quiet = true; }},
    {"-a", false, false, [](ConverterOptions*) {}},
    {"-d:", true, false, [](ConverterOptions*) {}},
    {"-3000", false, true, [](ConverterOptions* o) { o->format = kPgFormatMann3000; }},
    {"-3600", false, true, [](ConverterOptions* o) { o->format = kPgFormatMann3600; }},
};

const OptionRule* FindOption(std::string_view argument) {
  for (const OptionRule& rule : kOptions) {
    if (rule.takes_value
            ? StartsIgnoringCase(argument, rule.name) && argument.size() > rule.name.size()
            : EqualsIgnoringCase(argument, rule.name)) {
      return &rule;
    }
  }
  return nullptr;
}

int Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return -1;
}

int TakePositional(const std::vector<std::string>& positional, ConverterOptions* options,
                   std::string* error) {
  if (positional.size() != 3) {
    return Fail(error,
                "expected the Intermediate file, the unit (mils or microns) and the "
                "scale; got " +
                    std::to_string(positional.size()) + " argument(s)");
  }
  options->input = positional[0];
  if (options->input.empty()) return Fail(error, "the Intermediate file name is empty");
  if (EqualsIgnoringCase(positional[1], "mils")) {
    options->english = true;
  } else if (EqualsIgnoringCase(positional[1], "microns")) {
    options->english = false;
  } else {
    return Fail(error, "the unit must be mils or microns, not \"" + positional[1] + "\"");
  }
  if (!ParseReal(positional[2], &options->scale) || !std::isfinite(options->scale) ||
      options->scale <= 0) {
    return Fail(error, "the scale must be a positive number, not \"" + positional[2] + "\"");
  }
  return 0;
}

}  // namespace

std::string_view ConverterName(ConverterKind kind) {
  return kind == ConverterKind::kFerolt ? "ferolt" : "mistrel";
}

std::string ConverterUsage(ConverterKind kind) {
  std::string usage = "usage: " + std::string(ConverterName(kind)) +
                      " <file>.int <mils|microns> <scale> [-p] [-q] [-a] [-d:<dir>]";
  if (kind == ConverterKind::kMistrel) usage += " [-3000|-3600]";
  usage += kind == ConverterKind::kFerolt
               ? "\nConverts an Intermediate PG file into <file>.em (Electromask) in the "
                 "current directory."
               : "\nConverts an Intermediate PG file into <file>.dwm (Mann 3000, or Mann "
                 "3600 with -3600) in the current directory.";
  return usage;
}

int ParseConverterArguments(ConverterKind kind, const std::vector<std::string>& arguments,
                            ConverterOptions* options, std::string* error) {
  *options = ConverterOptions();
  options->format = kind == ConverterKind::kFerolt ? kPgFormatElectroMask : kPgFormatMann3000;
  std::vector<std::string> positional;
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      options->help = true;
      return 0;
    }
    if (argument.size() < 2 || argument[0] != '-') {
      positional.push_back(argument);
      continue;
    }
    const OptionRule* rule = FindOption(argument);
    if (rule == nullptr || (rule->mistrel_only && kind != ConverterKind::kMistrel)) {
      return Fail(error, "unknown option \"" + argument + "\"");
    }
    rule->apply(options);
  }
  return TakePositional(positional, options, error);
}

std::string ConverterOutputName(ConverterKind kind, std::string_view input) {
  return ConverterResultName(input, kind == ConverterKind::kFerolt);
}

double RawUnitsPerUserUnit(int32_t format, bool english) {
  struct Units {
    int32_t format;
    double per_mil, per_micron;
  };
  // The inverse of the divisors the PG -> GDSII engines apply for each file's unit code.
  constexpr Units kUnits[] = {
      {kPgFormatElectroMask, 100, 10}, {kPgFormatMann3000, 100, 1}, {kPgFormatMann3600, 100, 100}};
  for (const Units& units : kUnits) {
    if (units.format == format) return english ? units.per_mil : units.per_micron;
  }
  return 0;
}

FeatureSize ReadFeatureSize(const std::string& settings_path, bool english) {
  // The shell's own default when a job names no feature size.
  FeatureSize feature{english ? 0.2 : 5.0, false};
  CLineFile file;
  if (!file.Open(settings_path)) return feature;
  while (file.ReadLine() == 1) {
    if (file.line() != "FEATURE") continue;
    double value = 0;
    if (file.ReadLine() == 1 && ParseReal(file.line(), &value) && std::isfinite(value) &&
        value > 0) {
      feature = {value, true};
    }
    break;
  }
  return feature;
}

FeatureSize ReadJobFeatureSize(const std::string& pg_log_path, const std::string& settings_path,
                               bool english) {
  constexpr std::string_view kInitLine = "PG_INIT:";
  constexpr std::string_view kFeatureField = " feature_size=";
  std::optional<double> job;
  CLineFile log;
  if (log.Open(pg_log_path)) {
    while (log.ReadLine() == 1) {
      const std::string_view line = log.line();
      if (line.substr(0, kInitLine.size()) != kInitLine) continue;
      const size_t at = line.find(kFeatureField);
      if (at == std::string_view::npos) continue;
      const size_t begin = at + kFeatureField.size();
      const size_t end = line.find(' ', begin);
      double value = 0;
      job.reset();
      if (ParseReal(line.substr(begin, end - begin), &value) && std::isfinite(value) && value > 0) {
        job = value;
      }
    }
  }
  if (job) return {*job, false, true};
  return ReadFeatureSize(settings_path, english);
}

}  // namespace kavrinth
