// The engine's command line: positional arguments, then every word tested against the
// option table in its fixed order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabreng/engine_options.h"

namespace kavrinth {

// The most words a command line may have, the program path included.
inline constexpr size_t kMaxCommandWords = 32;

// Reads the positional arguments (words 1.. up to the first word that begins with '-')
// and applies every matching option entry to every word, word 0 included. Returns 0, or
// -1 after showing the message that names the fault.
int ParseCommandLine(const std::vector<std::string>& words, EngineOptions& options);

// The file named after an exact "-stderr" word, when there is one.
std::optional<std::string> FindStderrRedirect(const std::vector<std::string>& words);

// The leading number of a text, as the runtime's scanners read it (leading blanks
// skipped, trailing text ignored); nothing when no number starts the text.
std::optional<double> LeadingReal(std::string_view text);
std::optional<long long> LeadingInteger(std::string_view text);

// A layer list: comma-separated tokens of decimal digits only. A token of one to four
// digits whose value is 0..1023 names a layer; any other number names none and is
// skipped. Fills *layers and returns 0, or returns -1 (with *layers empty) when a token is
// empty or holds anything but digits.
int ReadLayerList(std::string_view list, std::vector<int>* layers);
// "Layer <layer> in structure <structure> of the GDS file '<input>' is outside 0..1023.",
// without the structure and the file when no structure is known.
std::string LayerOutsideText(std::string_view layer, std::string_view structure,
                             std::string_view input);
// The number of tokens of a comma list (an empty list holds one empty token).
size_t CountLayerTokens(std::string_view list);

// Adds the layers of a list (ReadLayerList) to the set. Returns the number of tokens
// read, or -1 with the set unchanged when the list cannot be read.
int AddLayerList(std::string_view list, LayerSet& set);

// Shows a warning box with the platform's default caption and returns -1.
int ShowEngineFailure(const std::string& text);

}  // namespace kavrinth
