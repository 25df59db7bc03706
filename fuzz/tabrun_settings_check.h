// The values of Tabrun's settings that a fuzz target compares after a round trip: the
// texts its own writers make of them, and every real exactly, which a text of a few
// decimals could hide.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tabrun/core/gds_cfg_file.h"
#include "tabrun/core/tabrun_job.h"

namespace kavrinth::fuzz {

// A real as its exact bits.
inline std::string Exact(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%a\n", v);
  return text;
}

inline std::string CfgValues(const GdsCfgSettings& s) {
  std::string out = FormatGdsCfg(s);
  for (double v : {s.arc_resolution, s.arc_sag, s.min_line, s.scale_factor, s.text_stroke_weight}) {
    out += Exact(v);
  }
  for (double v : s.text_scales) out += Exact(v);
  return out;
}

inline std::string PgValues(const TabrunJob& job) {
  const TabrunOptions& o = job.options;
  std::string out = FormatPgSettings(job);
  for (double v : {o.scale, o.small_angle, o.compensation, o.feature_size, o.max_dimension,
                   o.min_dimension, o.mask_sag}) {
    out += Exact(v);
  }
  for (double v : o.font_scales) out += Exact(v);
  for (int32_t v : {o.mask_unit, o.optimize_level, o.manhattan, o.verify, o.translate_text,
                    o.overlap_percent}) {
    out += std::to_string(v) + "\n";
  }
  return out;
}

// Aborts when the two differ, naming the first line that does (shown with escapes).
inline void SameOrAbort(const char* what, const std::string& first, const std::string& again) {
  if (first == again) return;
  size_t start = 0;
  while (start < first.size() && start < again.size() && first[start] == again[start]) ++start;
  start = first.rfind('\n', start == 0 ? 0 : start - 1);
  start = start == std::string::npos ? 0 : start + 1;
  const auto show = [&](const char* label, const std::string& text) {
    std::fprintf(stderr, "%s %s: \"", what, label);
    for (size_t i = start; i < text.size() && text[i] != '\n'; ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c < 0x7F) {
        std::fputc(c, stderr);
      } else {
        std::fprintf(stderr, "\\x%02X", c);
      }
    }
    std::fprintf(stderr, "\"\n");
  };
  show("first read", first);
  show("read again", again);
  std::abort();
}

}  // namespace kavrinth::fuzz
