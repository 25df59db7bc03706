// The entry points of the plot libraries, as the viewer calls them after loading them by
// name: libplendo.so (plot set-up, configuration values, the plot) and liborvisk.so (page
// set-up). The frame is the viewer's main window (a QWidget) or null.
#pragma once

#include <cstdint>

extern "C" {
// Plot set-up: the plotter driver settings of the configuration.
int plendo_ordinal_1(void* frame, const char* config_path);
// Plots the plot data file; the second file is the library's own temporary file.
int plendo_ordinal_3(void* frame, const char* config_path, const char* plot_data_file,
                     const char* second_file);
// Copies the key's value (at most size - 1 characters and the end zero) into the buffer;
// non-zero when found. A null section looks in every section.
int plendo_ordinal_4(const char* section, const char* key, const char* config_path, char* buffer,
                     int32_t size);
// Stores the value; non-zero on success.
int plendo_ordinal_5(const char* section, const char* key, const char* config_path,
                     const char* value);
// Page set-up: paper size, units and orientation.
int orvisk_ordinal_1(void* frame, const char* config_path);
}

namespace kavrinth {
using PlotSetupEntry = decltype(&plendo_ordinal_1);
using PlotEntry = decltype(&plendo_ordinal_3);
using PlotGetValueEntry = decltype(&plendo_ordinal_4);
using PlotSetValueEntry = decltype(&plendo_ordinal_5);
}  // namespace kavrinth
