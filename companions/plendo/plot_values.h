// The plot configuration file's values, as the plot library's value entries read and write
// them: an INI file whose section "plendo" holds the plot values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavrinth {

// The value of the key in the section (every section in file order when null).
std::optional<std::string> GetPlotValue(const char* section, const char* key,
                                        const std::string& config_path);
// Stores the value; a configuration file that does not exist yet is first given the
// default plot values. False when the file cannot be written.
bool SetPlotValue(const char* section, const char* key, const std::string& config_path,
                  const std::string& value);
// Writes the default plot values into a configuration file that does not exist yet.
bool EnsurePlotDefaults(const std::string& config_path);

// Keys of this library beside the viewer's plot values: where the plot goes.
inline constexpr const char* kPlotFileKey = "PLOTFILE";
inline constexpr const char* kPrinterKey = "PRINTER";

}  // namespace kavrinth
