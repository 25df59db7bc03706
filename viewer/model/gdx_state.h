// The layout database's module state (one writer at a time) and the helpers its source
// files share. Internal to viewer/model.
#pragma once

#include <array>
#include <cstdint>

#include "viewer/model/gdx_database.h"

namespace kavrinth {

// The values of the element being written.
struct GdxElementState {
  int32_t type = kGdxNoElement;
  int32_t layer = 0;
  int32_t data_type = 0;
  int32_t path_type = 0;
  int32_t width = 0;
  int32_t radius = 0;
  int32_t arc_quadrants = 0;
  int32_t element_flags = 0;
  int32_t tag_bits = 0;
  int32_t entry_attribute = 0;
  std::array<int32_t, 2> marker_values{};
  int32_t col_row = 0;
  float angle = 0.0f;
  float magnification = 1.0f;
  float magnification_y = 1.0f;
  std::array<GdxWord, 8> extra_header{};
  int32_t extra_count = 0;
  // TEXT: the position given before the string.
  bool text_pending = false;
  std::array<GdxWord, 2> text_position{};
  // The reference being begun (SREF, AREF) names this structure id.
  int32_t reference_id = 0;
  // The entry of the element written last, and its data.
  GdxHandle entry_page = kGdxNoHandle;
  int32_t entry_position = 0;
  GdxWord* entry_data = nullptr;
  int32_t values = 0;  // coordinate values of the current element
};

// Per-kind counters of the structure being written.
struct GdxStructureCounts {
  int32_t sref = 0;
  int32_t aref = 0;
  int32_t text = 0;
  int32_t node = 0;
  int32_t path = 0;
  int32_t boundary = 0;
  int32_t arc = 0;
  int32_t circle = 0;
};

struct GdxSessionState {
  GdxHandle saved_library = kGdxNoHandle;
  GdxHandle saved_page = kGdxNoHandle;
  int32_t saved_position = 0;
  int32_t reopen = 0;
  int32_t counter = 0;
};

struct GdxState {
  GdxHandle chain_head = kGdxNoHandle;
  GdxHandle current = kGdxNoHandle;
  GdxLibrary* library = nullptr;  // the current library
  GdxElementState element;
  GdxHandle index_page = kGdxNoHandle;  // current index page
  GdxWord* index_words = nullptr;
  GdxWord* block_words = nullptr;  // the current library's current data block
  GdxRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};  // running extents
  GdxStructureCounts counts;
  GdxHandle temp_library = kGdxNoHandle;
  GdxSessionState session;
};

// The module state; GdxState holds only trivially constructed values, so it is ready before
// any code runs.
extern GdxState gdx_state;
inline GdxState& Gdx() { return gdx_state; }

// Memory (gdx_memory.cpp)
GdxHandle AllocateWords(int32_t words);  // zero-filled; 0 when memory runs out
void ReleaseWords(GdxHandle handle);
GdxHandle NewLibraryRecord();  // 0 when memory runs out
void ReleaseLibraryRecord(GdxHandle handle);

// Element level (gdx_elements.cpp)
void ResetElementState();
void ResetStructureBox();
// Appends an index entry to the current library: its page, or 0 when memory runs out.
GdxHandle AppendEntry(const std::array<GdxWord, 4>& entry, int32_t* position);
// Makes the page current with its fill count stepped back over its last entry (the end
// mark), so that the next entry overwrites it.
void ReuseLastEntryOf(GdxHandle page);
// Makes the library current with its data block.
void MakeCurrent(GdxLibrary* library);
// The data words of the entry at the position of the page, or null.
GdxWord* EntryData(GdxHandle page, int32_t position);

// Library level (gdx_library.cpp)
void UnlinkFromChain(GdxHandle handle);
void LinkAtHead(GdxLibrary* library);
void FreeLibraryMemory(GdxLibrary* library);

}  // namespace kavrinth
