// The values of Tabrun's settings that a fuzz target compares after a round trip: the
// texts its own writers make of them, and every real exactly, which a text of a few
// decimals could hide; and the shell's reading of a GDS.CFG text against the engine's.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tabreng/gds_cfg.h"
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

// The keys (the shell's names) whose value the shell reads otherwise than the engine.
// MAX_POINT's defaults differ (the shell's 200, the engine's 4096): only a value taken from
// the file is compared. The unit names are one setting in the engine and two in the shell.
inline std::vector<std::string> EngineDifferences(const GdsCfgValues& engine,
                                                  const GdsCfgSettings& shell) {
  std::vector<std::string> keys;
  const auto differ = [&](const char* key, bool same) {
    if (!same) keys.push_back(key);
  };
  const auto path_mode = [](const std::string& word) {
    const char* const kModes[] = {"OUTLINE", "LWEIGHT", "LWIDENING", "ROUND"};
    for (int mode = 0; mode < 4; ++mode) {
      if (word == kModes[mode]) return mode;
    }
    return -1;
  };
  differ("ACADUNIT", engine.drawing_unit == 1.0 / shell.acad_units);
  differ("GDSUNIT", engine.gds_unit == 1.0 / shell.gds_units);
  differ("MAXERR", engine.max_errors == shell.max_errors);
  differ("MAX_POINT", (engine.max_points == 4096 && shell.max_point == 200) ||
                          engine.max_points == shell.max_point);
  differ("ARCRES", engine.arc_resolution == shell.arc_resolution);
  differ("ARCSAG", engine.arc_sag == shell.arc_sag);
  differ("MIN_LINE", engine.min_line == shell.min_line);
  differ("SCALE_FACTOR", engine.scale_factor == shell.scale_factor);
  differ("TSCALE", engine.text_scales == shell.text_scales);
  differ("INCLUDE", engine.include_names == shell.include);
  differ("EXCLUDE", engine.exclude_names == shell.exclude);
  bool styles = engine.text_styles.size() == shell.text_styles.size();
  for (size_t i = 0; styles && i < engine.text_styles.size(); ++i) {
    styles = engine.text_styles[i].name == shell.text_styles[i].name &&
             engine.text_styles[i].value == shell.text_styles[i].value;
  }
  differ("TSTYLE", styles);
  differ("MAX_LAYER", engine.max_layer == shell.max_layer);
  differ("ERROR_LAYER", engine.error_layer == shell.error_layer);
  differ("BLOCK_TEXT", engine.block_text == shell.block_text);
  differ("LINK_MODE", engine.link_mode == shell.link_mode);
  differ("REMOVE_HATCH", engine.remove_hatch == shell.remove_hatch);
  differ("REMOVE_DIM", engine.remove_dimensions == shell.remove_dim);
  differ("PATH", engine.path_mode == path_mode(shell.path));
  differ("MITER", engine.miter == shell.miter);
  differ("MAP_CIRCLE", engine.map_circle == shell.map_circle);
  bool layers = engine.layer_names.size() == shell.layers.size();
  for (size_t i = 0; layers && i < engine.layer_names.size(); ++i) {
    layers = engine.layer_names[i].name == shell.layers[i].name &&
             engine.layer_names[i].layer == shell.layers[i].layer &&
             engine.layer_names[i].colour == shell.layers[i].colour;
  }
  differ("LAYER", layers);
  differ("REFLIBS", engine.reference_libraries[0] == shell.ref_libs[0] &&
                        engine.reference_libraries[1] == shell.ref_libs[1]);
  differ("GDSQUALIFY", engine.qualify_names == shell.gds_qualify);
  return keys;
}

// Aborts unless the shell reads the text as the engine does, or names, in a note of that
// key, the value it reads otherwise.
inline void SameAsTheEngineOrNoted(const char* what, std::string_view text,
                                   const std::string& directory) {
  std::vector<CfgNote> notes;
  const GdsCfgSettings shell = ParseGdsCfg(text, directory, &notes);
  for (const std::string& key : EngineDifferences(ParseGdsCfg(text), shell)) {
    bool noted = false;
    for (const CfgNote& note : notes) noted = noted || note.key == key;
    if (noted) continue;
    std::fprintf(stderr, "%s: the shell reads %s otherwise than the engine, without a note\n", what,
                 key.c_str());
    std::abort();
  }
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
