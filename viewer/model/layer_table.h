// The viewer's table of loaded files (one entry per layer, each with its library and the
// values its scan produced) and the import settings: PG format, unit table and unit code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "viewer/model/gdx_database.h"

namespace kavrinth {

// Entries 0-1023 are the loaded files; the ones above belong to the display.
inline constexpr int kViewLayerCount = 1024;
inline constexpr int kViewLayerTableSize = 1028;

enum FillMode : int32_t { kFillNegative = -1, kFillScratch = 0, kFillPaint = 1 };

inline constexpr uint32_t kColorWhite = 0xFFFFFF;

struct ViewLayerEntry {
  std::string path;  // empty marks a free entry
  int32_t shown = 0;
  uint32_t colour = kColorWhite;  // red + green * 256 + blue * 65536
  int32_t fill_mode = kFillPaint;
  int32_t x_offset = 0;  // hundredths of a user unit
  int32_t y_offset = 0;
  // A PG file: rectangular and round flashes.
  int32_t first_count = 0;
  int32_t second_count = 0;
  // The scan's extents and flash statistics, in the file's own units (the unit digit
  // set's units per user unit count them).
  int32_t min_x = 0;
  int32_t max_x = 0;
  int32_t min_y = 0;
  int32_t max_y = 0;
  int32_t smallest_width = 0;
  int32_t smallest_height = 0;
  int32_t smallest_round = 0;
  int32_t largest_width = 0;
  int32_t largest_height = 0;
  int32_t largest_round = 0;
  int64_t file_size = 0;
  int32_t frame_count = 0;
  GdxHandle frame_block = kGdxNoHandle;  // WF2 frame index
  GdxHandle library = kGdxNoHandle;
};

using ViewLayerTable = std::array<ViewLayerEntry, kViewLayerTableSize>;

ViewLayerTable& LayerTable();

// A layer's display offset in database units: its offsets (hundredths of a user unit) times
// the database units per user unit of the job, rounded half away from zero. A point (x, y)
// of the layer is shown, queried, picked and plotted at (x + offset x, y - offset y).
struct LayerOffset {
  int32_t x = 0;
  int32_t y = 0;
};
LayerOffset LayerDisplayOffset(const ViewLayerEntry& entry);

// Clears an entry to a free one (fill mode Paint, colour white), freeing its library and
// frame block.
void ClearLayerEntry(ViewLayerEntry* entry);

// The unit table by PG format (0-6): English (mils) and metric (microns).
inline constexpr std::array<int32_t, 7> kEnglishUnitCodes = {1, 1, 1, 2, 6, 1, 2};
inline constexpr std::array<int32_t, 7> kMetricUnitCodes = {2, 4, 5, 2, 0, 5, 2};

// The viewer's import settings, read when PG files are loaded.
struct ViewerImportSettings {
  int32_t pg_format = -1;  // -1 until a job sets it
  bool metric = true;      // the unit table in use
  int32_t unit_code = -1;  // -1 until set
};

ViewerImportSettings& ImportSettings();

// The unit code of a format in the current unit table (2 for a format outside 0..6).
int32_t UnitCodeFor(int32_t format, bool metric);

// A unit code's digit set: total digits, decimals and database units per user unit.
struct UnitDigits {
  int32_t digits = 7;
  int32_t decimals = 3;
  int32_t units_per_user_unit = 1000;
};

UnitDigits& CurrentUnitDigits();
// Sets the digit set of the code; other codes than -1..6 leave it unchanged.
void SetViewerUnitDigits(int32_t code);
// "UM" or "MIL" for codes 0-6; empty for others.
std::string_view UnitCodeName(int32_t code);

// The viewer's job state.
struct ViewerJobState {
  std::string job_path;    // the job read last
  std::string first_file;  // the first data file entered (names a job made from a list)
  int32_t entered = 0;     // data files entered
  int32_t loaded = 0;      // files the last job load tried
  bool load_cancelled = false;
  // The code set of the file scanned last ("ASCII", "EBCDIC", "Intermediate").
  std::string code_set_name;
  // The first 128 bytes of the header of the WF2 file scanned last (the WF2 scanner keeps
  // them; reports and the error list read words from them).
  std::array<uint8_t, 128> wf2_header{};
};

ViewerJobState& JobState();

// The big-endian 32-bit word at a byte offset of a WF2 header (0 beyond its end).
int32_t Wf2HeaderWord(const std::array<uint8_t, 128>& header, int offset);

}  // namespace kavrinth
