// Positional arguments and the option table of the GDSII -> PG engine.
#include "tabreng/command_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "gdsii/record_reader.h"
#include "platform/files.h"
#include "support/notifier.h"
#include "tabreng/engine_routines.h"

namespace kavrinth {

namespace {

constexpr std::string_view kLaunchError = "Error occurred in launching translation engine.  ";

bool StartsWithNoCase(std::string_view word, std::string_view prefix) {
  if (word.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(word[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

bool HasStatus(const std::string& path) {
  struct stat status {};
  return ::stat(ResolveExistingPath(path).c_str(), &status) == 0;
}

// How a layer list token reads: a layer number (digits whose value is 0..1023, leading
// zeros allowed), a number that names no layer (above 1023), or no number at all (empty,
// or holding anything but digits: "5x" is a typing fault, not layer 5).
enum class TokenKind { kLayer, kOtherNumber, kNotANumber };

TokenKind ReadLayerToken(std::string_view token, int* layer) {
  if (token.empty()) return TokenKind::kNotANumber;
  for (char c : token) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return TokenKind::kNotANumber;
  }
  int value = 0;
  for (char c : token) {
    value = value * 10 + (c - '0');
    if (value >= kLayerCount) return TokenKind::kOtherNumber;  // before it could overflow
  }
  *layer = value;
  return TokenKind::kLayer;
}

constexpr std::string_view kLayerListFault = "'; expected list of layer numbers.";

// The numbers of a list's tokens that name no layer (above 1023), without leading zeros,
// each once, in list order.
std::vector<std::string> NumbersBeyondLayers(std::string_view list) {
  std::vector<std::string> numbers;
  while (true) {
    const size_t comma = list.find(',');
    const std::string_view token = list.substr(0, comma);
    int layer = 0;
    if (ReadLayerToken(token, &layer) == TokenKind::kOtherNumber) {
      std::string number(token.substr(std::min(token.find_first_not_of('0'), token.size())));
      if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
        numbers.push_back(std::move(number));
      }
    }
    if (comma == std::string_view::npos) return numbers;
    list.remove_prefix(comma + 1);
  }
}

// For each number, the first structure of the GDS file that has an element on that
// layer; "" where none has one (or the file cannot be read).
std::vector<std::string> StructuresOnLayers(const std::string& path,
                                            const std::vector<std::string>& numbers) {
  std::vector<std::string> structures(numbers.size());
  std::vector<int32_t> layers(numbers.size(), -1);  // -1: no GDSII layer is that number
  size_t wanted = 0;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (numbers[i].size() <= 5 && std::stol(numbers[i]) <= INT16_MAX) {
      layers[i] = static_cast<int32_t>(std::stol(numbers[i]));
      ++wanted;
    }
  }
  GdsRecordReader reader;
  if (wanted == 0 || !reader.Open(path)) return structures;
  std::string structure;
  GdsRecord record;
  while (wanted > 0 && reader.Next(&record) == GdsReadStatus::kRecord) {
    if (record.type == kGdsStrName) structure = record.Text();
    if (record.type != kGdsLayer) continue;
    const std::optional<int32_t> layer = record.Int16(0);
    for (size_t i = 0; layer && i < layers.size(); ++i) {
      if (layers[i] != *layer) continue;
      structures[i] = structure;
      layers[i] = -1;
      --wanted;
    }
  }
  return structures;
}

// ---- Positional arguments ----

int TakeInputFile(const std::string& word, EngineOptions& options) {
  if (!HasStatus(word)) {
    return ShowEngineFailure("The specified file '" + word + "' is not a file!");
  }
  options.input_path = word;
  return 0;
}

int TakeFeatureSize(const std::string& word, EngineOptions& options) {
  std::optional<double> size = LeadingReal(word);
  if (!size || *size == 0 || !std::isfinite(*size)) {
    return ShowEngineFailure("Found '" + word + "'; expected feature size.");
  }
  options.feature_size = *size;
  return 0;
}

int TakeLayerList(const std::string& word, EngineOptions& options) {
  if (word == "=") return 0;
  // The positional list names layers only: any other token refuses the list whole.
  std::vector<int> layers;
  if (ReadLayerList(word, &layers) != 0 || layers.size() != CountLayerTokens(word)) {
    // A number beyond the layer sets is named with the structure that holds it.
    std::string text = "Found '" + word + std::string(kLayerListFault);
    const std::vector<std::string> numbers = NumbersBeyondLayers(word);
    const std::vector<std::string> structures = StructuresOnLayers(options.input_path, numbers);
    for (size_t i = 0; i < numbers.size(); ++i) {
      text += "\n" + LayerOutsideText(numbers[i], structures[i], options.input_path);
    }
    return ShowEngineFailure(text);
  }
  for (int layer : layers) options.requested.Add(layer);
  options.include_mode = true;
  options.exclude_mode = false;
  return 0;
}

int ParsePositionals(const std::vector<std::string>& words, EngineOptions& options) {
  using Taker = int (*)(const std::string&, EngineOptions&);
  static constexpr std::array<Taker, 3> kTakers = {TakeInputFile, TakeFeatureSize, TakeLayerList};
  size_t taken = 0;
  for (size_t i = 1; i < words.size() && !words[i].starts_with('-'); ++i, ++taken) {
    if (taken < kTakers.size()) {
      if (kTakers[taken](words[i], options) != 0) return -1;
    } else if (taken == kTakers.size()) {
      options.top_name = words[i];
    } else {
      return ShowEngineFailure(std::string(kLaunchError) + "Too many arguments.");
    }
  }
  if (taken <= kTakers.size()) {
    return ShowEngineFailure(std::string(kLaunchError) + "Not enough arguments.");
  }
  return 0;
}

// ---- The option table ----

using OptionAction = int (*)(std::string_view value, std::string_view word, EngineOptions&);

enum class Match { kPrefixNoCase, kWholeNoCase, kPrefixCase, kWholeCase };

struct OptionEntry {
  std::string_view name;
  Match match;
  OptionAction action;  // gets the text after the option's name
};

bool Matches(const OptionEntry& entry, std::string_view word) {
  switch (entry.match) {
    case Match::kPrefixNoCase:
      return StartsWithNoCase(word, entry.name);
    case Match::kWholeNoCase:
      return word.size() == entry.name.size() && StartsWithNoCase(word, entry.name);
    case Match::kPrefixCase:
      return word.starts_with(entry.name);
    case Match::kWholeCase:
      return word == entry.name;
  }
  return false;
}

// A real taken when `accept` holds; a value that does not convert changes nothing.
template <bool (*accept)(double)>
void TakeReal(std::string_view value, double& setting) {
  std::optional<double> v = LeadingReal(value);
  if (v && accept(*v)) setting = *v;
}

void TakeNonNegative(std::string_view value, int32_t& setting) {
  std::optional<long long> v = LeadingInteger(value);
  if (v && *v >= 0 && *v <= INT32_MAX) setting = static_cast<int32_t>(*v);
}

bool ScaleInRange(double v) { return v > 1e-6 && v < 1e6; }
bool SecondInRange(double v) { return std::fabs(v) < 1e20; }
bool ThirdInRange(double v) { return v >= 0.0999 && v < 45; }
bool AnyReal(double v) { return std::isfinite(v); }

int OnScale(std::string_view value, std::string_view, EngineOptions& o) {
  TakeReal<ScaleInRange>(value, o.pg_scale);
  return 0;
}
int OnSecond(std::string_view value, std::string_view, EngineOptions& o) {
  TakeReal<SecondInRange>(value, o.pg_second);
  return 0;
}
int OnThird(std::string_view value, std::string_view, EngineOptions& o) {
  TakeReal<ThirdInRange>(value, o.pg_third);
  return 0;
}
int OnV(std::string_view value, std::string_view, EngineOptions& o) {
  TakeNonNegative(value, o.pg_v);
  return 0;
}
int OnO(std::string_view value, std::string_view, EngineOptions& o) {
  TakeNonNegative(value, o.pg_o);
  return 0;
}
int OnM(std::string_view value, std::string_view, EngineOptions& o) {
  TakeNonNegative(value, o.pg_m);
  return 0;
}
int OnDbgx(std::string_view, std::string_view, EngineOptions& o) {
  o.debug = o.keep_temporaries = true;
  return 0;
}
int OnDebug(std::string_view, std::string_view, EngineOptions& o) {
  o.debug = true;
  return 0;
}
int OnMaxWarn(std::string_view value, std::string_view, EngineOptions& o) {
  TakeNonNegative(value, o.max_warnings);
  return 0;
}
int OnMaxMix(std::string_view value, std::string_view, EngineOptions& o) {
  TakeReal<AnyReal>(value, o.max_mix);
  return 0;
}
int OnMaxMeg(std::string_view value, std::string_view, EngineOptions& o) {
  TakeReal<AnyReal>(value, o.max_meg);
  return 0;
}
int OnRelax(std::string_view, std::string_view, EngineOptions& o) {
  o.relax = true;
  return 0;
}
int OnDark(std::string_view, std::string_view, EngineOptions& o) {
  o.dark = true;
  return 0;
}
int OnReentrant(std::string_view, std::string_view, EngineOptions& o) {
  o.reentrant = true;
  return 0;
}
int OnNoPost(std::string_view, std::string_view, EngineOptions& o) {
  o.no_post = true;
  return 0;
}
int OnPolygonMode(std::string_view, std::string_view, EngineOptions& o) {
  o.polygon_mode = true;
  return 0;
}
int OnScan(std::string_view, std::string_view, EngineOptions& o) {
  o.scan_mode = true;
  return 0;
}
int OnPolyCount(std::string_view value, std::string_view, EngineOptions& o) {
  if (!value.starts_with(':')) {
    o.counting_pass = true;
    return 0;
  }
  o.counting_pass = false;
  std::optional<long long> count = LeadingInteger(value.substr(1));
  // A negative count would make the percentage meaningless: it is not taken.
  if (count && *count >= 0 && *count <= INT32_MAX) o.expected_count = *count;
  return 0;
}
int OnQuiet(std::string_view, std::string_view, EngineOptions& o) {
  o.list_selection = false;
  return 0;
}
int OnUnfold(std::string_view, std::string_view, EngineOptions& o) {
  o.unfold = true;
  return 0;
}
int OnPrune(std::string_view, std::string_view, EngineOptions& o) {
  o.prune = true;
  return 0;
}
int OnAll(std::string_view, std::string_view, EngineOptions& o) {
  o.all_structures = true;
  return 0;
}
int OnInclude(std::string_view value, std::string_view word, EngineOptions& o) {
  o.requested.Clear();
  o.excluded.Clear();
  if (AddLayerList(value, o.requested) < 0) {
    return ShowEngineFailure("Found '" + std::string(word) + std::string(kLayerListFault));
  }
  o.include_mode = true;
  o.exclude_mode = false;
  return 0;
}
int OnExclude(std::string_view value, std::string_view word, EngineOptions& o) {
  o.requested.Clear();
  o.excluded.Clear();
  if (AddLayerList(value, o.excluded) < 0) {
    return ShowEngineFailure("Found '" + std::string(word) + std::string(kLayerListFault));
  }
  o.exclude_mode = true;
  o.include_mode = false;
  return 0;
}
int OnMaxStructures(std::string_view value, std::string_view, EngineOptions& o) {
  std::optional<long long> v = LeadingInteger(value);
  if (v && *v >= 64 && *v <= 32767) o.max_structures = static_cast<int32_t>(*v);
  return 0;
}
int OnSettingsFile(std::string_view value, std::string_view, EngineOptions& o) {
  const std::string name(value);
  if (!HasStatus(name)) {
    return ShowEngineFailure("Unable to find config file '" + name + "'.");
  }
  o.settings_file = name;
  return 0;
}
int OnOutline(std::string_view value, std::string_view word, EngineOptions& o) {
  const size_t comma = value.find(',');
  std::optional<long long> a = LeadingInteger(value.substr(0, comma));
  std::optional<long long> b;
  if (comma != std::string_view::npos) b = LeadingInteger(value.substr(comma + 1));
  if (!a || !b || *a < INT32_MIN || *a > INT32_MAX || *b < INT32_MIN || *b > INT32_MAX) {
    return ShowEngineFailure("Outline argument error.  Found '" + std::string(word) + "'.");
  }
  o.outline_given = true;
  o.outline_a = static_cast<int32_t>(*a);
  o.outline_b = static_cast<int32_t>(*b);
  return 0;
}
template <int mode>
int OnPathMode(std::string_view, std::string_view, EngineOptions& o) {
  o.path_mode_override = mode;
  return 0;
}

constexpr std::array<OptionEntry, 32> kOptionTable = {{
    {"-s", Match::kPrefixNoCase, OnScale},
    {"-c", Match::kPrefixNoCase, OnSecond},
    {"-a", Match::kPrefixNoCase, OnThird},
    {"-v", Match::kPrefixNoCase, OnV},
    {"-o", Match::kPrefixNoCase, OnO},
    {"-m", Match::kPrefixNoCase, OnM},
    {"-dbgx", Match::kPrefixNoCase, OnDbgx},
    {"-dbg", Match::kPrefixNoCase, OnDebug},
    {"-debug", Match::kPrefixNoCase, OnDebug},
    {"-maxwarn:", Match::kPrefixNoCase, OnMaxWarn},
    {"-maxmix:", Match::kPrefixNoCase, OnMaxMix},
    {"-maxmeg:", Match::kPrefixNoCase, OnMaxMeg},
    {"-relax", Match::kPrefixNoCase, OnRelax},
    {"-dark", Match::kPrefixNoCase, OnDark},
    {"-reentrant", Match::kPrefixNoCase, OnReentrant},
    {"-opost", Match::kPrefixNoCase, OnNoPost},
    {"-pg", Match::kPrefixNoCase, OnPolygonMode},
    {"-scan", Match::kWholeNoCase, OnScan},
    {"-polycnt", Match::kPrefixNoCase, OnPolyCount},
    {"-q", Match::kPrefixNoCase, OnQuiet},
    {"-unfold", Match::kPrefixNoCase, OnUnfold},
    {"-prune", Match::kPrefixNoCase, OnPrune},
    {"-all", Match::kPrefixNoCase, OnAll},
    {"-i", Match::kPrefixNoCase, OnInclude},
    {"-x", Match::kPrefixNoCase, OnExclude},
    {"-max:", Match::kPrefixNoCase, OnMaxStructures},
    {"-cfg:", Match::kPrefixNoCase, OnSettingsFile},
    {"-on", Match::kPrefixCase, OnOutline},
    {"-t0", Match::kWholeCase, OnPathMode<0>},
    {"-t1", Match::kWholeCase, OnPathMode<1>},
    {"-t2", Match::kWholeCase, OnPathMode<2>},
    {"-t3", Match::kWholeCase, OnPathMode<3>},
}};

int ApplyOptions(const std::vector<std::string>& words, EngineOptions& options) {
  for (const std::string& word : words) {
    for (const OptionEntry& entry : kOptionTable) {
      if (!Matches(entry, word)) continue;
      if (entry.action(std::string_view(word).substr(entry.name.size()), word, options) != 0) {
        return -1;
      }
    }
  }
  return 0;
}

}  // namespace

int ShowEngineFailure(const std::string& text) {
  ShowMessage(text, "", MessageIcon::kWarning);
  return -1;
}

std::optional<double> LeadingReal(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end == copy.c_str()) return std::nullopt;
  return value;
}

std::optional<long long> LeadingInteger(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(copy.c_str(), &end, 10);
  if (end == copy.c_str() || errno == ERANGE) return std::nullopt;
  return value;
}

std::string LayerOutsideText(std::string_view layer, std::string_view structure,
                             std::string_view input) {
  if (structure.empty()) return "Layer " + std::string(layer) + " is outside 0..1023.";
  return "Layer " + std::string(layer) + " in structure " + std::string(structure) +
         " of the GDS file '" + std::string(input) + "' is outside 0..1023.";
}

size_t CountLayerTokens(std::string_view list) {
  return static_cast<size_t>(std::count(list.begin(), list.end(), ',')) + 1;
}

int ReadLayerList(std::string_view list, std::vector<int>* layers) {
  layers->clear();
  while (true) {
    const size_t comma = list.find(',');
    int layer = 0;
    switch (ReadLayerToken(list.substr(0, comma), &layer)) {
      case TokenKind::kLayer:
        layers->push_back(layer);
        break;
      case TokenKind::kOtherNumber:
        break;
      case TokenKind::kNotANumber:
        layers->clear();
        return -1;
    }
    if (comma == std::string_view::npos) return 0;
    list.remove_prefix(comma + 1);
  }
}

int AddLayerList(std::string_view list, LayerSet& set) {
  std::vector<int> layers;
  if (ReadLayerList(list, &layers) != 0) return -1;
  for (int layer : layers) set.Add(layer);
  return static_cast<int>(CountLayerTokens(list));
}

std::optional<std::string> FindStderrRedirect(const std::vector<std::string>& words) {
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i] == "-stderr") return words[i + 1];
  }
  return std::nullopt;
}

int ParseCommandLine(const std::vector<std::string>& words, EngineOptions& options) {
  if (words.size() > kMaxCommandWords) {
    return ShowEngineFailure(std::string(kLaunchError) + "Too many arguments.");
  }
  VersionString(&options.version);
  if (ParsePositionals(words, options) != 0) return -1;
  if (std::optional<std::string> file = FindStderrRedirect(words)) {
    options.log_to_stderr = true;
    options.stderr_file = *file;
  }
  return ApplyOptions(words, options);
}

}  // namespace kavrinth
