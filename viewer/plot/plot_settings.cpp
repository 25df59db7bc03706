// Reading the plot values and writing them as properties of the plot data file.
#include "viewer/plot/plot_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "gdsii/writer.h"
#include "viewer/model/gdsformat_writer.h"

namespace kavrinth {
namespace {

// The leading number of the text, as atof and atoi read it (0 when there is none).
double Real(std::string_view text) {
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

// The value of a real plot value, unless the plot data file cannot hold it (not a number,
// beyond the largest real, below the smallest it keeps): that one is kept out, the setting
// stays as it was, and a line in *warnings says so, as for the resolution.
bool TakeReal(std::string_view key, std::string_view text, double* target,
              std::vector<std::string>* warnings) {
  const double value = Real(text);
  if (GdsOutRealFits(value)) {
    *target = value;
    return true;
  }
  if (warnings == nullptr) return false;
  char kept[32];
  std::snprintf(kept, sizeof kept, "%g", *target);
  warnings->push_back("The plot value " + std::string(key) + "=" + std::string(text) +
                      " cannot be held in the plot file; the plot is made with " + kept + ".");
  return false;
}

int32_t Integer(std::string_view text) {
  const std::string copy(text);
  const long long value = std::strtoll(copy.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

void ReadMaxPen(PlotValueSource* source, PlotSettings* s) {
  const std::optional<std::string> value = source->Read(kPlotConfigSection, "PLTYPE");
  if (!value) return;
  const size_t colon = value->find(':');
  if (colon == std::string::npos) return;
  const std::string_view head = std::string_view(*value).substr(0, colon);
  const size_t blank = head.find(' ');
  s->max_pen = blank == std::string_view::npos ? 2 : Integer(head.substr(blank + 1));
  if (s->max_pen > kMaxPlotPens) s->max_pen = kMaxPlotPens;
}

void ReadPaperSize(PlotValueSource* source, PlotSettings* s, std::vector<std::string>* warnings) {
  const std::optional<std::string> value = source->Read(kPlotConfigSection, "PGSIZE");
  if (!value || value->empty()) return;
  const unsigned char first = static_cast<unsigned char>((*value)[0]);
  s->paper_code = std::isdigit(first) ? first - '0' : first;
  if (s->paper_code != kPaperCustomZ && s->paper_code != kPaperCustomY) return;
  const size_t comma = value->find(',');
  if (comma == std::string::npos) return;
  const std::string_view text(*value);
  if (comma > 2) {
    TakeReal("PGSIZE", text.substr(2, comma - 2), &s->custom_width, warnings);
  } else {
    s->custom_width = 0.0;
  }
  TakeReal("PGSIZE", text.substr(comma + 1), &s->custom_height, warnings);
}

void ReadLineWeights(PlotValueSource* source, PlotSettings* s, std::vector<std::string>* warnings) {
  const std::optional<std::string> value = source->Read(nullptr, "LNWEIGHT");
  if (!value) return;
  const size_t blank = value->find(' ');
  if (blank == std::string::npos) return;
  TakeReal("LNWEIGHT", std::string_view(*value).substr(0, blank), &s->line_weight, warnings);
  TakeReal("LNWEIGHT", std::string_view(*value).substr(blank + 1), &s->fill_line_weight, warnings);
}

// The plot data file holds the resolution in 16 bits: a larger one would arrive cut.
void ReadDpi(PlotValueSource* source, PlotSettings* s, std::vector<std::string>* warnings) {
  const std::optional<std::string> value = source->Read(nullptr, "DPI");
  if (!value) return;
  const int32_t dpi = Integer(*value);
  if (dpi >= kMinPlotDpi && dpi <= kMaxPlotDpi) {
    s->dpi = dpi;
    return;
  }
  if (warnings != nullptr) {
    warnings->push_back("The plot resolution DPI=" + *value + " is outside " +
                        std::to_string(kMinPlotDpi) + " to " + std::to_string(kMaxPlotDpi) +
                        "; the plot is made at " + std::to_string(s->dpi) + " DPI.");
  }
}

// Returns whether "ROTATE" asks for the automatic rotation.
bool ReadRotation(PlotValueSource* source, PlotSettings* s) {
  const std::optional<std::string> value = source->Read(kPlotConfigSection, "ROTATE");
  if (!value) return false;
  const bool automatic = value->rfind("auto", 0) == 0;
  s->rotate = Integer(automatic ? std::string_view(*value).substr(4) : std::string_view(*value));
  return automatic;
}

void ReadScaleAndOrigin(PlotValueSource* source, PlotSettings* s,
                        std::vector<std::string>* warnings) {
  if (const std::optional<std::string> value = source->Read(kPlotConfigSection, "PGSCALE")) {
    // A refused scale leaves the plot as it was without one.
    if (TakeReal("PGSCALE", *value, &s->scale, warnings)) s->scale_given = s->scale >= 1e-7;
  }
  if (!s->scale_given) return;
  s->origin_x = 0.0;
  s->origin_y = 0.0;
  const std::optional<std::string> origin = source->Read(kPlotConfigSection, "ORIGIN");
  if (!origin) return;
  const size_t comma = origin->find(',');
  if (comma == std::string::npos) return;
  TakeReal("ORIGIN", std::string_view(*origin).substr(0, comma), &s->origin_x, warnings);
  TakeReal("ORIGIN", std::string_view(*origin).substr(comma + 1), &s->origin_y, warnings);
}

void ReadUnitAndMargins(PlotValueSource* source, PlotSettings* s,
                        std::vector<std::string>* warnings) {
  if (const std::optional<std::string> unit = source->Read(kPlotConfigSection, "PGUNIT")) {
    for (size_t i = 0; i < kPlotUnitNames.size(); ++i) {
      if (kPlotUnitNames[i] == *unit) {
        s->paper_unit = static_cast<int32_t>(i);
        break;
      }
    }
  }
  const std::pair<const char*, double*> margins[] = {{"LEFT", &s->margin_left},
                                                     {"BOTTOM", &s->margin_bottom},
                                                     {"RIGHT", &s->margin_right},
                                                     {"TOP", &s->margin_top}};
  for (const auto& [key, target] : margins) {
    if (const std::optional<std::string> value = source->Read(kPlotConfigSection, key)) {
      TakeReal(key, *value, target, warnings);
    }
  }
}

// Turns the page when the window's long side would otherwise lie across the paper's short
// one. A paper whose margins leave no printable width or height keeps the given flag.
void RotateAutomatically(const GdxRect& window, PlotSettings* s) {
  if (const auto size = PaperSizeOfCode(s->paper_code, *s)) {
    s->paper_width = size->first;
    s->paper_height = size->second;
  }
  const double printable_width = s->paper_width - (s->margin_left + s->margin_right);
  const double printable_height = s->paper_height - (s->margin_bottom + s->margin_top);
  if (!(printable_width > 0.0) || !(printable_height > 0.0)) return;
  const double dx = double(window.max_x) - window.min_x;
  const double dy = double(window.max_y) - window.min_y;
  const double m = dx > dy ? dx : dy;
  const double sx = m / printable_width;
  const double sy = m / printable_height;
  if (sy > sx) {
    s->rotate = dx <= dy ? 1 : 0;
  } else {
    s->rotate = dx <= dy ? 0 : 1;
  }
}

int Property(std::string_view name, int kind, GdsPropertyValue value) {
  const int result = GdsOutNamedProperty(name, kind, value);
  return result == kGdsOutOk ? kGdsOutOk : kGdsOutFailed;
}

}  // namespace

bool ReadPlotSettings(PlotValueSource* source, const GdxRect& plot_window, PlotSettings* s,
                      std::vector<std::string>* warnings) {
  const bool transparency = source->Write(kPlotConfigSection, "Transparency", "off");
  ReadMaxPen(source, s);
  ReadPaperSize(source, s, warnings);
  ReadLineWeights(source, s, warnings);
  ReadDpi(source, s, warnings);
  const bool automatic = ReadRotation(source, s);
  ReadScaleAndOrigin(source, s, warnings);
  ReadUnitAndMargins(source, s, warnings);
  if (!s->scale_given && automatic) RotateAutomatically(plot_window, s);
  return transparency;
}

int WritePlotSettingsProperties(const PlotSettings& s, const GdxRect& job_extents,
                                const GdxRect& plot_window, int32_t fill_mode) {
  int failed = kGdsOutOk;
  const auto i16 = [&](std::string_view name, int32_t v) {
    failed |= Property(name, kGdsSettingInt16, v);
  };
  const auto i32 = [&](std::string_view name, int32_t v) {
    failed |= Property(name, kGdsSettingInt32, v);
  };
  // A real the file cannot hold would arrive cut to 0 or to the largest real: it is left
  // out and the write fails, as for a 16-bit value beyond 16 bits.
  const auto real = [&](std::string_view name, double v) {
    failed |= GdsOutRealFits(v) ? Property(name, kGdsSettingReal, v) : kGdsOutFailed;
  };
  // The flag and the pens as the plot library takes them; 16 bits would cut larger values.
  if (s.rotate != 0) i16("ISROT", 1);
  i32("$EXT_LT", job_extents.min_x);
  i32("$EXT_BT", job_extents.min_y);
  i32("$EXT_RG", job_extents.max_x);
  i32("$EXT_TP", job_extents.max_y);
  i16("PAPERSIZE", s.paper_code);
  if (s.paper_code == kPaperCustomZ || s.paper_code == kPaperCustomY) {
    i16("PAPERUNIT", s.paper_unit);
    real("PAPERWIDTH", s.custom_width);
    real("PAPERHEIGHT", s.custom_height);
  }
  real("LINEWEIGHT", s.line_weight);
  real("FLINEWEIGHT", s.fill_line_weight);
  i16("FILLON", fill_mode != 0 ? 1 : 0);
  i16("PATHMODE", 1);
  i16("MAXPEN", std::clamp(s.max_pen, 1, kMaxPlotPens));
  if (s.scale_given) {
    real("PLTSCALE", s.scale);
    real("OFFX", s.origin_x);
    real("OFFY", s.origin_y);
  }
  i16("DPI", s.dpi);
  i32("$LIM_LT", plot_window.min_x);
  i32("$LIM_BT", plot_window.min_y);
  i32("$LIM_RG", plot_window.max_x);
  i32("$LIM_TP", plot_window.max_y);
  real("LTBTMGNX", s.margin_left);
  real("LTBTMGNY", s.margin_bottom);
  real("RTURMGNX", s.margin_right);
  real("RTURMGNY", s.margin_top);
  return failed;
}

}  // namespace kavrinth
