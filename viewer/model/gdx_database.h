// The viewer's layout database: libraries of named structures whose elements are stored as
// 32-bit words in large blocks, written through an interface in GDSII stream order.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gdsii/records.h"

namespace kavrinth {

// Stored words are signed 32-bit values. Handles are 32-bit indices into the database's
// tables (0 is none), never pointers, so that they can live in stored words.
using GdxWord = int32_t;
using GdxHandle = uint32_t;
inline constexpr GdxHandle kGdxNoHandle = 0;

// Element types: GDSII record numbers plus the system's own kinds. The low 8 bits are
// kept in an index entry.
enum GdxElementType : int32_t {
  kGdxNoElement = -1,
  kGdxEndMark = kGdsEndLib,
  kGdxStructureBegin = kGdsBgnStr,
  kGdxBoundary = kGdsBoundary,
  kGdxPath = kGdsPath,
  kGdxSref = kGdsSref,
  kGdxAref = kGdsAref,
  kGdxText = kGdsText,
  kGdxElementEnd = kGdsEndEl,
  kGdxNode = kGdsNode,
  kGdxSessionMarker = 127,
  kGdxCircle = kGdsExtCircle,
  kGdxArc = kGdsExtArc,
  kGdxGroup = kGdsExtGroup,
  kGdxMarkerList = 145,
  // Flash kinds the queries and the display recognise; this interface does not make them.
  kGdxFlashBoundary = 157,
  kGdxFlashGroup = 158,
  kGdxFlashCircle = 159,
};

// Element index page: 32768 words; word 0 next page, word 1 fill count in words, word 2
// previous page, word 3 unused; 4-word entries from word 4.
inline constexpr int32_t kGdxIndexPageWords = 32768;
inline constexpr int32_t kGdxPageHeaderWords = 4;
inline constexpr int32_t kGdxEntryWords = 4;
enum GdxPageWord : int32_t { kGdxPageNext = 0, kGdxPageFill = 1, kGdxPagePrevious = 2 };
// Index entry: type word (type in bits 0-7, attribute from bit 18), data block handle,
// word offset of the data in the block, selection flags.
enum GdxEntryWord : int32_t {
  kGdxEntryType = 0,
  kGdxEntryBlock = 1,
  kGdxEntryOffset = 2,
  kGdxEntrySelection = 3,
};
inline constexpr int kGdxEntryAttributeShift = 18;

// Data block: 65536 words; word 0 next block, word 1 free words, word 2 capacity, word 3
// 0; data from word 4. An element of 65533 words or more gets a block of its own.
inline constexpr int32_t kGdxDataBlockWords = 65536;
inline constexpr int32_t kGdxBlockHeaderWords = 4;
inline constexpr int32_t kGdxDataBlockCapacity = kGdxDataBlockWords - kGdxBlockHeaderWords;
enum GdxBlockWord : int32_t { kGdxBlockNext = 0, kGdxBlockFree = 1, kGdxBlockCapacity = 2 };

// Element flags (high half of data word 0).
inline constexpr int32_t kGdxFlagFilled = 0x1;
inline constexpr int32_t kGdxFlagReflection = 0x40;
inline constexpr int32_t kGdxFlagAbsoluteMagnification = 0x80;
inline constexpr int32_t kGdxFlagAbsoluteAngle = 0x100;
inline constexpr int32_t kGdxFlashFlags = 0x180;

inline constexpr int32_t kGdxLayerCount = 1024;
inline constexpr int32_t kGdxStructuresPerPage = 512;
inline constexpr size_t kGdxStructureNameLength = 34;
inline constexpr size_t kGdxBeginNameLength = 47;
inline constexpr size_t kGdxLibraryNameLength = 259;
// The point count lives in the high half of data word 1.
inline constexpr int32_t kGdxMaxPoints = 65535;
// A TEXT element's position, box and string take at most this many words.
inline constexpr int32_t kGdxMaxTextWords = 5000;

// A rectangle in database units.
struct GdxRect {
  int32_t min_x = 0;
  int32_t min_y = 0;
  int32_t max_x = 0;
  int32_t max_y = 0;
  bool operator==(const GdxRect&) const = default;
};

struct GdxStructure {
  int32_t page = 0;                     // 1-based number of the structure page holding the slot
  GdxHandle begin_page = kGdxNoHandle;  // index page of the BGNSTR entry
  int32_t begin_position = 0;           // word position of that entry
  int32_t reference_count = 0;          // SREF plus AREF
  int32_t sref_count = 0;
  int32_t aref_count = 0;
  int32_t text_count = 0;
  int32_t node_count = 0;  // NODE and marker lists
  int32_t path_count = 0;
  int32_t boundary_count = 0;
  int32_t arc_count = 0;
  int32_t circle_count = 0;
  int32_t id = 0;         // 1-based position across the pages
  std::string name;       // at most 34 characters; empty marks a free slot
  uint8_t undefined = 0;  // 1 while only a reference has named it
  int32_t hash = 0;
  GdxRect extents;
};

using GdxStructurePage = std::array<GdxStructure, kGdxStructuresPerPage>;

struct GdxLibrary {
  GdxHandle handle = kGdxNoHandle;  // its own handle
  std::string name;                 // a file path, "tmplib" or a generated name
  std::string library_name;
  int32_t header = 0;
  std::array<int32_t, 12> times{};  // modification y m d h m s, then last access
  double user_unit = 0;             // one database unit in user units
  double database_unit = 0;         // one database unit in metres
  // Every coordinate, width and radius given to the write interface is multiplied by it.
  int32_t scale_factor = 1;
  GdxHandle first_index_page = kGdxNoHandle;
  GdxHandle first_data_block = kGdxNoHandle;
  std::vector<std::unique_ptr<GdxStructurePage>> structure_pages;
  int32_t structure_count = 0;
  int32_t current_structure_id = 0;
  GdxHandle next = kGdxNoHandle;  // next library of the chain
  GdxHandle current_data_block = kGdxNoHandle;
  GdxHandle end_index_page = kGdxNoHandle;  // page holding the end mark (GdxEndLibrary)
};

// ---- Memory ----

// The words of a block or index page, or null for a handle that names none. The address
// stays valid until the block is freed.
GdxWord* GdxBlockWords(GdxHandle handle);
// The number of words of the block (0 for none).
int32_t GdxBlockWordCount(GdxHandle handle);
// A zero-filled block of the given words for other users (the WF2 frame index); 0 when
// memory runs out. Freed with GdxFreeBlock.
GdxHandle GdxAllocateBlock(int32_t words);
void GdxFreeBlock(GdxHandle handle);
// Bytes of blocks and pages taken from the system since the last reset.
int64_t GdxBytesAllocated();
void GdxResetBytesAllocated();
// Makes allocations beyond this many bytes of blocks (counted from now) fail as if the
// system ran out of memory; a negative value removes the ceiling. For tests.
void GdxSetAllocationLimitForTesting(int64_t bytes);

// While an object of this class lives, a thread of its own makes the zero-filled data
// blocks and index pages the next elements will take, their pages already supplied by the
// system, so that a large load does not wait for fresh memory. What is stored, the bytes
// counted and the allocation limit are the same as without it; blocks not taken are freed
// when it goes. A second one while one lives does nothing.
class GdxBlockMaker {
 public:
  GdxBlockMaker();
  ~GdxBlockMaker();
  GdxBlockMaker(const GdxBlockMaker&) = delete;
  GdxBlockMaker& operator=(const GdxBlockMaker&) = delete;
  class Reserve;

 private:
  std::unique_ptr<Reserve> reserve_;
};

// ---- Libraries ----

// The library a handle names, or null.
GdxLibrary* GdxLibraryFromHandle(GdxHandle handle);
GdxHandle GdxChainHead();
GdxLibrary* GdxCurrentLibrary();

GdxLibrary* GdxBeginLibrary(std::string_view name);
int GdxSetUnits(double user_unit, double metres);
void GdxSetLibraryName(std::string_view text);
void GdxSetLibraryHeader(int32_t value);
void GdxSetLibraryTimes(const std::array<int16_t, 12>& times);
GdxHandle GdxEndLibrary();
void GdxEndAppend();
GdxLibrary* GdxReopenLibrary(GdxHandle handle);
GdxLibrary* GdxSelectHeadLibrary();
int GdxEmptyLibrary(GdxHandle handle);
int GdxFreeLibrary(GdxHandle handle);

// ---- Structures ----

void GdxStartStructure();
int GdxBeginStructure(std::string_view name);
void GdxEndStructure();
// Names are cut to 34 characters before they are compared, as they are when stored.
GdxStructure* GdxFindStructureByName(GdxLibrary* library, std::string_view name, int create);
GdxStructure* GdxFindStructureById(GdxLibrary* library, int32_t id);
int32_t GdxStructureNameHash(std::string_view name);

// ---- Elements ----

// Header words of a type (0 for types without data), and the data words reserved for an
// element of the type with `values` coordinate values.
int32_t GdxElementHeaderWords(int32_t type);
int32_t GdxElementDataWords(int32_t type, int32_t values);
// Header (with NODE and marker-list flag words) plus point words of a stored element.
int32_t GdxElementPointWords(int32_t type, const GdxWord* data);

void GdxBeginBoundary();
void GdxBeginPath();
void GdxBeginSref();
void GdxBeginAref();
void GdxBeginText();
void GdxBeginNode();
void GdxBeginMarkerList();
void GdxBeginCircle();
void GdxBeginArc();
void GdxBeginGroup();

void GdxSetLayer(int32_t layer);
void GdxSetDataType(int32_t value);
void GdxSetPathType(int32_t value);
void GdxSetWidth(int32_t width);
void GdxSetRadius(int32_t radius);
void GdxSetArcQuadrants(int32_t word);
void GdxSetMarkerValues(int32_t a, int32_t b);
void GdxSetElementTag(int32_t bits);
void GdxSetEntryAttribute(int32_t value);
void GdxAddElementFlags(int32_t bits);
void GdxSetReflection();
void GdxSetStrans(int32_t word);
void GdxSetColRow(int32_t columns, int32_t rows);
void GdxSetAngle(double angle);
void GdxSetMagnification(double magnification);
// Extra header words written after the type's fixed words (a flash boundary's five values).
void GdxSetHeaderWords(const GdxWord* words, int32_t count);
// The current library's scale factor applied to a value, saturated to 32 bits.
int32_t GdxScaleValue(int32_t value);

// Reserves the data of an element and appends its index entry: the index page, 0 when
// memory runs out; *position receives the entry's word position in the page.
GdxHandle GdxAddElement(int32_t type, int32_t values, int32_t* position);
// Mode 1 stores a new element of the open type from `count` coordinate values (scaled
// into the database; the caller's values are left as they are); another mode rewrites the
// points of the open element, at most as many as it has. 0, or -1 when memory runs out or
// the values do not fit the element.
int GdxAddPoints(int mode, const GdxWord* values, int32_t count);
// A whole boundary in one call: what GdxBeginBoundary, GdxSetHeaderWords(extra,
// extra_count), GdxAddPoints(1, values, count), GdxAddElementFlags(flags) and
// GdxEndElement store, one after the other, with the same result. For loads of many
// elements.
int GdxAddBoundary(const GdxWord* values, int32_t count, const GdxWord* extra, int32_t extra_count,
                   int32_t flags);
// A TEXT element's string, after its position was given with GdxAddPoints.
int GdxAddText(std::string_view text);
void GdxEndElement();
int GdxAddElementEnd();

// The open element type (kGdxNoElement when none is open).
int32_t GdxCurrentElementType();

// Walks the index entries of a library in stream order, over its chained pages.
class GdxEntryCursor {
 public:
  explicit GdxEntryCursor(const GdxLibrary* library);
  GdxEntryCursor(GdxHandle page, int32_t position);
  bool Valid() const { return words_ != nullptr; }
  // The entry's four words.
  const GdxWord* Entry() const { return words_ + position_; }
  GdxWord* MutableEntry() { return words_ + position_; }
  int32_t Type() const { return Entry()[kGdxEntryType] & 0xFF; }
  // The element's data (null for entries without data).
  const GdxWord* Data() const;
  GdxHandle page() const { return page_; }
  int32_t position() const { return position_; }
  void Next();

 private:
  void SkipEmptyPages();
  GdxHandle page_ = kGdxNoHandle;
  GdxWord* words_ = nullptr;
  int32_t position_ = kGdxPageHeaderWords;
};

// ---- Scratch, edit and session libraries ----

GdxLibrary* GdxCreateTempLibrary();
GdxLibrary* GdxTempLibrary();
void GdxFreeCurrentLibrary();
// 0, or -1 when there is no saved element or it does not fit the work element.
int GdxCopyToScratch();
int GdxOpenEditLibrary(GdxHandle* handle);
int GdxOpenSessionLibrary(GdxHandle* handle, int32_t value);
void GdxSaveSessionState(std::array<int32_t, 3>* out);
void GdxResetSessionState();

}  // namespace kavrinth
