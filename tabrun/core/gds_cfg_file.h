// The GDS.CFG job settings file (GdsCfgFile) as the shell knows it: 31 keys, each a record
// of a key line and value lines. A key is recognised only at the start of the file or after
// an empty line, by its first compare-length characters; only its first record counts.
// Limits and record fields are the engine's, so that a file the shell writes means to the
// engine what it means to the shell. A record holding a value the engine would refuse or read
// otherwise than written is kept as the file holds it, and the value is named in a note.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

struct CfgFontSlot {
  std::string file = "txt";
  int mode = 0;   // 0 FLUSH, 1 ROUND, 2 EXTENDED
  int style = 0;  // 0 OUTLINE, 1 LWEIGHT, 2 LWIDENING
};

struct CfgTextStyleEntry {
  std::string name;
  int value = 0;
};

// A LAYER line as the engine reads it: the name, the GDS layer and a colour 1-6.
struct CfgLayerEntry {
  std::string name;
  int layer = 0;
  int colour = 1;
};

// A record as the file holds it, kept because the engine would refuse a value of it or read
// one otherwise than written. It is written back as it is while the values read from it are
// unchanged, so that the user, not the reader, decides what becomes of it.
// A record that no reader takes because an earlier record of its key comes first (a user's
// edit of a second record, say BLOCK for BLOCK_TEXT after the PG settings' BLOCK_TEXT) is
// kept too, when its values differ from those read: it is written as it stands, after the
// record of its key that counts, or in that record's place for a key of pg_keys.
struct CfgKeptRecord {
  size_t key = 0;                  // index in the key table
  std::vector<std::string> lines;  // the key line and the value lines, without line ends
  std::string as_read;             // the record as FormatGdsCfg writes the values read from it
  bool unread = false;             // a later record of its key, which no reader takes
};

// A value the engine would refuse or read otherwise than written, or a record it never reads.
struct CfgNote {
  size_t line = 0;  // of the file, from 1
  std::string key;
  std::string text;     // the value and what the engine does with it
  bool unread = false;  // the record is not read: an earlier one of its key comes first
};

// Every value of the key table, at its default.
struct GdsCfgSettings {
  int32_t acad_units = 1000;
  std::string acad_unit = "MM";
  int32_t gds_units = 1000;
  std::string gds_unit = "MM";
  int32_t max_errors = 100;
  int32_t max_point = 200;
  double arc_resolution = 9.0;
  double arc_sag = 0.0;
  double min_line = 0.0;
  double scale_factor = 1.0;
  std::array<double, 4> text_scales = {1.0, 1.0, 1.0, 1.0};
  std::vector<std::string> include;
  std::vector<std::string> exclude;
  std::vector<CfgTextStyleEntry> text_styles;
  int32_t max_layer = 64;
  int32_t error_layer = -1;
  bool block_text = false;
  bool link_mode = true;
  bool remove_hatch = false;
  bool remove_dim = false;
  std::string path = "LWEIGHT";
  bool miter = false;
  bool map_circle = false;
  std::vector<CfgLayerEntry> layers;
  std::array<std::string, 4> font_libs;
  std::array<std::string, 2> ref_libs;
  bool gds_qualify = true;
  std::array<CfgFontSlot, 4> fonts;  // shared by CIF_FONT and PATH_FONT
  std::array<std::string, 4> text_fonts = {"txt", "txt", "txt", "txt"};
  std::array<std::string, 4> text_style_names = {"STANDARD", "STANDARD", "STANDARD", "STANDARD"};
  bool autoscale = false;
  double text_stroke_weight = 10.0;
  std::vector<CfgKeptRecord> kept;  // in the order they were read
  // Per key of the table: the line (from 1) of the record read, 0 when there was none.
  std::vector<size_t> record_lines;
  // Keys whose record that counts stands before these records (the PG settings records
  // carry them): a user's unread record of such a key is written in place of their own.
  std::vector<size_t> pg_keys;
};

// The key table: key word, compare length, value lines (a list's maximum).
struct GdsCfgKey {
  const char* key;
  int compare;
  int values;
  bool list;
};
const std::vector<GdsCfgKey>& GdsCfgKeyTable();

// True when the line's first word is recognised as a key of the table (by its
// compare-length prefix, the longest one winning); the index goes to *index.
bool MatchGdsCfgKey(std::string_view word, size_t* index);

// True for a line that every reader takes as empty, one that ends a record and after which
// one may start: nothing but white space. The engine takes one CR off the line end and
// skips the white space, CRs among it, so that a line holding only "\r" is empty too.
bool CfgBlankLine(std::string_view line);

// A PG settings key, which shares the job's CFG file with the GDS.CFG records: the key line
// as it stands, and its value-line count (-1: a list up to an empty line).
struct PgSettingsKey {
  const char* key;
  int values;
};
// The key the whole line is, or null.
const PgSettingsKey* FindPgSettingsKey(std::string_view line);

// Reads the records from a file's text over the defaults. config_directory is where font
// files are looked for when their own name does not find them.
GdsCfgSettings ParseGdsCfg(std::string_view text, const std::string& config_directory);
// The same, adding a note for every value the engine would refuse or read otherwise than
// written, and for every value the shell does not take because, written back after an empty
// slot, it would stand at a record start and read as a key (the slot keeps its value).
GdsCfgSettings ParseGdsCfg(std::string_view text, const std::string& config_directory,
                           std::vector<CfgNote>* notes);

// The notes of a settings file's text, each "<file>, line <n>: <KEY> ..." for the user;
// with a filter, only the notes it accepts.
std::vector<std::string> GdsCfgNotes(std::string_view text, const std::string& file_name,
                                     bool (*filter)(const CfgNote&) = nullptr);

// The records in table order, each "\r\n<key>\r\n" and its value lines, ending "\r\n\r\n".
std::string FormatGdsCfg(const GdsCfgSettings& settings);

// A real as it is written to a settings file: fixed-point with at least min_decimals
// decimals, and as many more as it takes for the text to read back as the very same value
// (the readers use strtod and "%lf", so 2e-7 must not become "0.000000").
std::string CfgRealText(double value, int min_decimals = 6);

// "1", "y", "yes", "on" (any case) are yes.
bool CfgYes(std::string_view text);
// "UM", "MM", "CM", "M" kept (upper-cased), "IN..." is "INCH", anything else "MIL".
std::string CfgUnitWord(std::string_view text);

}  // namespace kavrinth
