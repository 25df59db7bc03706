// Element level of the layout database: index entries, data allocation in blocks, the
// begin operations and setters, and storing points with the structure's running extents.
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "viewer/model/element_queries.h"
#include "viewer/model/gdx_state.h"

namespace kavrinth {
namespace {

constexpr int32_t kDedicatedBlockWords = kGdxDataBlockCapacity + 1;

int32_t Saturate(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// A word of two 16-bit halves.
GdxWord Halves(int32_t high, int32_t low) {
  return static_cast<GdxWord>((static_cast<uint32_t>(high) << 16) |
                              (static_cast<uint32_t>(low) & 0xFFFF));
}

GdxWord FloatWord(float value) { return std::bit_cast<GdxWord>(value); }

// Types that store the point count in the high half of data word 1.
bool CountsPoints(int32_t type) {
  return type == kGdxBoundary || type == kGdxPath || type == kGdxNode || type == kGdxMarkerList ||
         type == kGdxFlashBoundary;
}

bool StoresPoints(int32_t type) {
  switch (type) {
    case kGdxBoundary:
    case kGdxPath:
    case kGdxSref:
    case kGdxAref:
    case kGdxText:
    case kGdxNode:
    case kGdxCircle:
    case kGdxArc:
    case kGdxGroup:
    case kGdxMarkerList:
      return true;
    default:
      return false;
  }
}

// NODE and marker lists keep (values + 2) / 4 flag words between header and points.
int32_t FlagWords(int32_t type, int32_t values) {
  return type == kGdxNode || type == kGdxMarkerList ? (values + 2) / 4 : 0;
}

// Header words the database fills itself; extra header words go after them.
int32_t FixedHeaderWords(int32_t type) {
  if (type == kGdxBoundary) return 5;
  if (type == kGdxText) return 8;
  return GdxElementHeaderWords(type);
}

GdxWord* NewIndexPage(GdxHandle previous, GdxHandle* handle) {
  *handle = AllocateWords(kGdxIndexPageWords);
  GdxWord* words = GdxBlockWords(*handle);
  if (words == nullptr) return nullptr;
  words[kGdxPageFill] = kGdxPageHeaderWords;
  words[kGdxPagePrevious] = static_cast<GdxWord>(previous);
  return words;
}

GdxWord* NewDataBlock(int32_t capacity, GdxHandle next, GdxHandle* handle) {
  *handle = AllocateWords(capacity + kGdxBlockHeaderWords);
  GdxWord* words = GdxBlockWords(*handle);
  if (words == nullptr) return nullptr;
  words[kGdxBlockNext] = static_cast<GdxWord>(next);
  words[kGdxBlockFree] = capacity;
  words[kGdxBlockCapacity] = capacity;
  return words;
}

// Takes n words of the block: their offset.
int32_t Take(GdxWord* block, int32_t n) {
  const int32_t offset = kGdxBlockHeaderWords + block[kGdxBlockCapacity] - block[kGdxBlockFree];
  block[kGdxBlockFree] -= n;
  return offset;
}

// The block that takes an element of n words when the current one is full: an emptied
// block behind it in the chain, else a new block appended at the end of the chain.
GdxHandle NextBlockFor(GdxLibrary* library, int32_t n) {
  GdxHandle last = library->current_data_block;
  for (GdxHandle h = last; GdxWord* words = GdxBlockWords(h);
       h = static_cast<GdxHandle>(words[kGdxBlockNext])) {
    if (h != library->current_data_block && words[kGdxBlockFree] == words[kGdxBlockCapacity] &&
        words[kGdxBlockCapacity] >= n) {
      return h;
    }
    last = h;
  }
  GdxHandle handle = kGdxNoHandle;
  if (NewDataBlock(kGdxDataBlockCapacity, kGdxNoHandle, &handle) == nullptr) return kGdxNoHandle;
  if (GdxWord* tail = GdxBlockWords(last)) {
    tail[kGdxBlockNext] = static_cast<GdxWord>(handle);
  } else {
    library->first_data_block = handle;
  }
  return handle;
}

// Reserves n data words in the current library, zeroed unless the caller writes every one
// of them itself: false when memory runs out.
bool AllocateData(int32_t n, bool zero, GdxHandle* block, int32_t* offset) {
  GdxState& s = Gdx();
  GdxLibrary* library = s.library;
  if (library->current_data_block == kGdxNoHandle) {
    library->current_data_block = library->first_data_block;
  }
  GdxHandle handle = library->current_data_block;
  GdxWord* words = s.block_words != nullptr ? s.block_words : GdxBlockWords(handle);
  if (n >= kDedicatedBlockWords) {
    words = NewDataBlock(n, library->first_data_block, &handle);
    if (words == nullptr) return false;
    library->first_data_block = handle;
  } else if (words == nullptr) {
    words = NewDataBlock(kGdxDataBlockCapacity, kGdxNoHandle, &handle);
    if (words == nullptr) return false;
    library->first_data_block = handle;
  } else if (words[kGdxBlockFree] < n) {
    handle = NextBlockFor(library, n);
    words = GdxBlockWords(handle);
    if (words == nullptr) return false;
  }
  library->current_data_block = handle;
  s.block_words = words;
  *block = handle;
  *offset = Take(words, n);
  // A block may be reused after GdxEmptyLibrary.
  if (zero) std::fill_n(words + *offset, n, 0);
  return true;
}

// Reserves the data of an element of `words` words (see AllocateData) and appends its
// index entry: the index page, 0 when memory runs out.
GdxHandle AddEntry(int32_t type, int32_t words, bool zero, int32_t* position) {
  GdxState& s = Gdx();
  GdxHandle block = kGdxNoHandle;
  int32_t offset = 0;
  if (words > 0 && !AllocateData(words, zero, &block, &offset)) return kGdxNoHandle;
  // The data of the entry being added, for the element operations that follow.
  s.element.entry_data = words > 0 ? s.block_words + offset : nullptr;
  // The attribute keeps the 14 bits that fit above bit 18.
  const uint32_t type_word =
      (static_cast<uint32_t>(type) & 0xFF) |
      (static_cast<uint32_t>(s.element.entry_attribute) << kGdxEntryAttributeShift);
  int32_t at = 0;
  const GdxHandle page =
      AppendEntry({static_cast<GdxWord>(type_word), static_cast<GdxWord>(block), offset, 0}, &at);
  if (page == kGdxNoHandle && !zero && words > 0) {
    std::fill_n(s.element.entry_data, words, 0);  // left as a zeroed reservation would be
  }
  if (position != nullptr) *position = at;
  return page;
}

// ---- Extents ----

void GrowBy(int32_t x, int32_t y) {
  GdxRect& box = Gdx().box;
  box.min_x = std::min(box.min_x, x);
  box.max_x = std::max(box.max_x, x);
  box.min_y = std::min(box.min_y, y);
  box.max_y = std::max(box.max_y, y);
}

void Grow(int64_t x, int64_t y) { GrowBy(Saturate(x), Saturate(y)); }

void GrowWidened(const GdxWord* point, int64_t w) {
  if (w == 0) {
    GrowBy(point[0], point[1]);
    return;
  }
  Grow(int64_t{point[0]} - w, int64_t{point[1]} - w);
  Grow(int64_t{point[0]} + w, int64_t{point[1]} + w);
}

// Grows the box by a list of points: their own box first, then the database's once.
void GrowByPoints(const GdxWord* points, int32_t count) {
  if (count <= 0) return;
  int32_t min_x = points[0], max_x = points[0], min_y = points[1], max_y = points[1];
  for (int32_t i = 1; i < count; ++i) {
    min_x = std::min(min_x, points[2 * i]);
    max_x = std::max(max_x, points[2 * i]);
    min_y = std::min(min_y, points[2 * i + 1]);
    max_y = std::max(max_y, points[2 * i + 1]);
  }
  GrowBy(min_x, min_y);
  GrowBy(max_x, max_y);
}

void GrowArc(const GdxWord* data, const GdxWord* p) {
  const int64_t w = data[4];
  GrowWidened(p + 2, 0);
  GrowWidened(p + 4, 0);
  GrowWidened(p + 2, w);
  GrowWidened(p + 4, w);
  const GdxRect arc = ArcBox(p[2], p[3], p[4], p[5], p[0], p[1], data[3], (data[1] >> 16) & 0xFFFF);
  Grow(int64_t{arc.min_x} + p[0] - w, int64_t{arc.min_y} + p[1] - w);
  Grow(int64_t{arc.max_x} + p[0] + w, int64_t{arc.max_y} + p[1] + w);
}

// Grows the structure's box by an element's stored points.
void GrowExtents(int32_t type, const GdxWord* data, const GdxWord* points, int32_t values) {
  const int32_t count = values / 2;
  switch (type) {
    case kGdxBoundary:
    case kGdxNode:
    case kGdxMarkerList:
    case kGdxGroup:
      GrowByPoints(points, count);
      break;
    case kGdxPath:
      for (int32_t i = 0; i < count; ++i) {
        GrowWidened(points + 2 * i, 0);
        GrowWidened(points + 2 * i, data[3]);
      }
      break;
    case kGdxCircle:
      for (int32_t i = 0; i < count; ++i) {
        GrowWidened(points + 2 * i, 0);
        GrowWidened(points + 2 * i, int64_t{data[3]} + data[4]);
      }
      break;
    case kGdxArc:
      if (count >= 3) GrowArc(data, points);
      break;
    default:
      break;
  }
}

// ---- Storing ----

void CopyScaled(GdxWord* destination, const GdxWord* values, int32_t count, int32_t factor) {
  if (factor == 1) {
    std::copy_n(values, count, destination);
    return;
  }
  for (int32_t i = 0; i < count; ++i) destination[i] = Saturate(int64_t{values[i]} * factor);
}

void FillHeader(GdxWord* d, int32_t type, int32_t values) {
  const GdxElementState& e = Gdx().element;
  const int32_t flag_words = FlagWords(type, values);
  d[0] = GdxElementHeaderWords(type) + flag_words;
  d[1] = CountsPoints(type) ? Halves(values / 2, e.layer) : e.layer;
  switch (type) {
    case kGdxPath:
      d[2] = Halves(e.path_type, 0);
      d[3] = e.width;
      break;
    case kGdxSref:
    case kGdxAref:
      d[2] = e.reference_id;
      d[3] = e.col_row;
      d[4] = FloatWord(e.angle);
      d[5] = FloatWord(e.magnification);
      d[6] = FloatWord(e.magnification_y);
      break;
    case kGdxNode:
      d[2] = Halves(e.data_type, 0);
      break;
    case kGdxCircle:
    case kGdxArc:
      if (type == kGdxCircle && e.data_type == 0) d[0] |= kGdxFlagFilled << 16;
      if (type == kGdxArc) d[1] = Halves(e.arc_quadrants, e.layer);
      d[2] = Halves(e.path_type, 0);
      d[3] = e.radius;
      d[4] = e.width;
      break;
    case kGdxGroup:
      d[1] = Halves(e.data_type, e.layer);
      d[2] = Halves(e.path_type, 0);
      d[3] = e.width;
      break;
    case kGdxMarkerList:
      d[2] = Halves(e.data_type, 0);
      d[3] = e.marker_values[0];
      d[4] = e.marker_values[1];
      break;
    default:
      break;
  }
  const int32_t fixed = FixedHeaderWords(type);
  const int32_t room = std::max(GdxElementHeaderWords(type) - fixed, 0);
  std::copy_n(e.extra_header.begin(), std::min(e.extra_count, room), d + fixed);
}

int StoreNew(const GdxWord* values, int32_t count) {
  GdxState& s = Gdx();
  GdxElementState& e = s.element;
  const int32_t type = e.type;
  int32_t position = 0;
  const GdxHandle page = GdxAddElement(type, count, &position);
  GdxWord* data = page != kGdxNoHandle ? s.element.entry_data : nullptr;
  if (data == nullptr) return -1;
  FillHeader(data, type, count);
  GdxWord* points = data + (data[0] & 0xFFFF);
  CopyScaled(points, values, count, s.library->scale_factor);
  GrowExtents(type, data, points, count);
  e.entry_page = page;
  e.entry_position = position;
  e.entry_data = data;
  return 0;
}

// Rewrites the points of the element written last, at most as many as it holds.
int Rewrite(const GdxWord* values, int32_t count) {
  GdxState& s = Gdx();
  GdxWord* data = s.element.entry_page != kGdxNoHandle ? s.element.entry_data : nullptr;
  if (data == nullptr) return -1;
  const int32_t header = data[0] & 0xFFFF;
  if (count > GdxElementPointWords(s.element.type, data) - header) return -1;
  CopyScaled(data + header, values, count, s.library->scale_factor);
  GrowExtents(s.element.type, data, data + header, count);
  return 0;
}

// Every begin operation: acts only when no element is open.
GdxElementState* Begin(int32_t type, int32_t* counter) {
  GdxState& s = Gdx();
  GdxElementState& e = s.element;
  if (e.type != kGdxNoElement) return nullptr;
  e.type = type;
  if (counter != nullptr) ++*counter;
  e.extra_count = 0;
  e.entry_page = kGdxNoHandle;
  e.entry_position = 0;
  e.entry_data = nullptr;
  e.text_pending = false;
  return &e;
}

void ResetTransform(GdxElementState* e) {
  e->angle = 0.0f;
  e->magnification = 1.0f;
  e->magnification_y = 1.0f;
}

}  // namespace

void ResetElementState() { Gdx().element = GdxElementState{}; }

void ResetStructureBox() { Gdx().box = GdxRect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}; }

void MakeCurrent(GdxLibrary* library) {
  GdxState& s = Gdx();
  s.library = library;
  s.current = library->handle;
  s.index_page = kGdxNoHandle;
  s.index_words = nullptr;
  s.block_words = GdxBlockWords(library->current_data_block);
}

GdxWord* EntryData(GdxHandle page, int32_t position) {
  const GdxWord* words = GdxBlockWords(page);
  if (words == nullptr || position < kGdxPageHeaderWords || position >= words[kGdxPageFill]) {
    return nullptr;
  }
  const GdxHandle block = static_cast<GdxHandle>(words[position + kGdxEntryBlock]);
  const int32_t offset = words[position + kGdxEntryOffset];
  GdxWord* data = GdxBlockWords(block);
  if (data == nullptr || offset < kGdxBlockHeaderWords || offset >= GdxBlockWordCount(block)) {
    return nullptr;
  }
  return data + offset;
}

GdxHandle AppendEntry(const std::array<GdxWord, 4>& entry, int32_t* position) {
  GdxState& s = Gdx();
  GdxLibrary* library = s.library;
  if (library == nullptr) return kGdxNoHandle;
  if (s.index_words == nullptr) {
    GdxHandle page = library->first_index_page;
    GdxWord* words = GdxBlockWords(page);
    if (words == nullptr) {
      words = NewIndexPage(kGdxNoHandle, &page);
      if (words == nullptr) return kGdxNoHandle;
      library->first_index_page = page;
    }
    while (GdxBlockWords(static_cast<GdxHandle>(words[kGdxPageNext])) != nullptr) {
      page = static_cast<GdxHandle>(words[kGdxPageNext]);
      words = GdxBlockWords(page);
    }
    s.index_page = page;
    s.index_words = words;
  }
  if (s.index_words[kGdxPageFill] >= kGdxIndexPageWords) {
    // Full: go on in the page behind it (one emptied earlier), else in a new one.
    GdxHandle next = static_cast<GdxHandle>(s.index_words[kGdxPageNext]);
    GdxWord* words = GdxBlockWords(next);
    if (words == nullptr) {
      words = NewIndexPage(s.index_page, &next);
      if (words == nullptr) return kGdxNoHandle;
      s.index_words[kGdxPageNext] = static_cast<GdxWord>(next);
    }
    s.index_page = next;
    s.index_words = words;
  }
  const int32_t fill = s.index_words[kGdxPageFill];
  for (int32_t i = 0; i < kGdxEntryWords; ++i) s.index_words[fill + i] = entry[i];
  s.index_words[kGdxPageFill] = fill + kGdxEntryWords;
  *position = fill;
  return s.index_page;
}

void ReuseLastEntryOf(GdxHandle page) {
  GdxState& s = Gdx();
  GdxWord* words = GdxBlockWords(page);
  if (words == nullptr) return;
  // A page without entries keeps its header.
  if (words[kGdxPageFill] >= kGdxPageHeaderWords + kGdxEntryWords) {
    words[kGdxPageFill] -= kGdxEntryWords;
  }
  s.index_page = page;
  s.index_words = words;
}

int32_t GdxElementHeaderWords(int32_t type) {
  switch (type) {
    case kGdxBoundary:
      return 10;
    case kGdxPath:
    case kGdxGroup:
      return 5;
    case kGdxSref:
    case kGdxAref:
    case kGdxMarkerList:
      return 7;
    case kGdxText:
      return 11;
    case kGdxNode:
      return 3;
    case kGdxCircle:
    case kGdxArc:
      return 6;
    default:
      return 0;
  }
}

int32_t GdxElementDataWords(int32_t type, int32_t values) {
  const int32_t n = std::max(values, 0);
  switch (type) {
    case kGdxSref:
    case kGdxAref:
    case kGdxCircle:
    case kGdxArc:
      return GdxElementHeaderWords(type) + n + 6;
    case kGdxElementEnd:
    case kGdxSessionMarker:
      return n + 4;
    case kGdxNode:
    case kGdxMarkerList:
      return GdxElementHeaderWords(type) + FlagWords(type, n) + n;
    default:
      return GdxElementHeaderWords(type) == 0 ? 0 : GdxElementHeaderWords(type) + n;
  }
}

int32_t GdxElementPointWords(int32_t type, const GdxWord* data) {
  if (data == nullptr) return 0;
  const int32_t header = data[0] & 0xFFFF;
  if (CountsPoints(type)) return header + 2 * ((data[1] >> 16) & 0xFFFF);
  switch (type) {
    case kGdxText:
      return header + 6 + (data[4] + 4) / 4;  // position, box, string with its terminator
    case kGdxCircle:
    case kGdxArc:
    case kGdxFlashCircle:
    case kGdxFlashGroup:
      return header + 6;
    case kGdxSref:
      return header + 2;
    case kGdxAref:
      return header + 6;
    case kGdxElementEnd:
    case kGdxSessionMarker:
      return 4;
    default:
      return header;
  }
}

void GdxBeginBoundary() {
  if (GdxElementState* e = Begin(kGdxBoundary, &Gdx().counts.boundary)) {
    e->width = 0;
    e->path_type = 0;
  }
}

void GdxBeginPath() {
  if (GdxElementState* e = Begin(kGdxPath, &Gdx().counts.path)) {
    e->width = 0;
    e->path_type = 0;
  }
}

void GdxBeginSref() {
  if (GdxElementState* e = Begin(kGdxSref, &Gdx().counts.sref)) {
    e->layer = 0;
    e->col_row = 0;
    ResetTransform(e);
  }
}

void GdxBeginAref() {
  if (GdxElementState* e = Begin(kGdxAref, &Gdx().counts.aref)) {
    e->layer = 0;
    e->col_row = 0;
    ResetTransform(e);
  }
}

void GdxBeginText() {
  if (GdxElementState* e = Begin(kGdxText, &Gdx().counts.text)) {
    e->width = 0;
    e->path_type = 0;
    e->arc_quadrants = 0;
    ResetTransform(e);
  }
}

void GdxBeginNode() { Begin(kGdxNode, &Gdx().counts.node); }

void GdxBeginMarkerList() {
  if (GdxElementState* e = Begin(kGdxMarkerList, &Gdx().counts.node)) e->data_type = 0;
}

void GdxBeginCircle() {
  if (GdxElementState* e = Begin(kGdxCircle, &Gdx().counts.circle)) {
    e->width = 0;
    e->path_type = 0;
    e->radius = 0;
  }
}

void GdxBeginArc() {
  if (GdxElementState* e = Begin(kGdxArc, &Gdx().counts.arc)) {
    e->width = 0;
    e->path_type = 0;
    e->radius = 0;
    e->arc_quadrants = 0;
  }
}

void GdxBeginGroup() {
  if (GdxElementState* e = Begin(kGdxGroup, nullptr)) {
    e->width = 0;
    e->path_type = 0;
    e->data_type = 0;
  }
}

void GdxSetLayer(int32_t layer) {
  Gdx().element.layer = std::clamp<int32_t>(layer, 0, kGdxLayerCount - 1);
}

void GdxSetDataType(int32_t value) { Gdx().element.data_type = value; }
void GdxSetPathType(int32_t value) { Gdx().element.path_type = value; }
void GdxSetWidth(int32_t width) { Gdx().element.width = GdxScaleValue(width); }
void GdxSetRadius(int32_t radius) { Gdx().element.radius = GdxScaleValue(radius); }
void GdxSetArcQuadrants(int32_t word) { Gdx().element.arc_quadrants = word; }
void GdxSetMarkerValues(int32_t a, int32_t b) { Gdx().element.marker_values = {a, b}; }
void GdxSetElementTag(int32_t bits) { Gdx().element.tag_bits = bits; }
void GdxSetEntryAttribute(int32_t value) { Gdx().element.entry_attribute = value; }
void GdxAddElementFlags(int32_t bits) { Gdx().element.element_flags |= bits; }
void GdxSetReflection() { GdxAddElementFlags(kGdxFlagReflection); }

void GdxSetStrans(int32_t word) {
  if (word & 0x8000) GdxAddElementFlags(kGdxFlagReflection);
  if (word & 0x0004) GdxAddElementFlags(kGdxFlagAbsoluteMagnification);
  if (word & 0x0002) GdxAddElementFlags(kGdxFlagAbsoluteAngle);
}

void GdxSetColRow(int32_t columns, int32_t rows) { Gdx().element.col_row = Halves(columns, rows); }
void GdxSetAngle(double angle) { Gdx().element.angle = static_cast<float>(angle); }

void GdxSetMagnification(double magnification) {
  GdxElementState& e = Gdx().element;
  e.magnification = e.magnification_y = static_cast<float>(magnification);
}

void GdxSetHeaderWords(const GdxWord* words, int32_t count) {
  GdxElementState& e = Gdx().element;
  e.extra_count = std::clamp<int32_t>(count, 0, static_cast<int32_t>(e.extra_header.size()));
  if (words != nullptr) std::copy_n(words, e.extra_count, e.extra_header.begin());
}

int32_t GdxScaleValue(int32_t value) {
  const GdxLibrary* library = Gdx().library;
  return library == nullptr ? value : Saturate(int64_t{value} * library->scale_factor);
}

GdxHandle GdxAddElement(int32_t type, int32_t values, int32_t* position) {
  if (Gdx().library == nullptr) return kGdxNoHandle;
  return AddEntry(type, GdxElementDataWords(type, values), true, position);
}

int GdxAddPoints(int mode, const GdxWord* values, int32_t count) {
  GdxState& s = Gdx();
  GdxElementState& e = s.element;
  if (!StoresPoints(e.type) || s.library == nullptr) return 0;
  if (count < 0 || count % 2 != 0 || (count > 0 && values == nullptr)) return -1;
  if (CountsPoints(e.type) && count / 2 > kGdxMaxPoints) return -1;
  if (mode != 1) return Rewrite(values, count);
  if (e.type == kGdxText) {
    if (e.text_pending || count < 2) return -1;
    e.text_position = {GdxScaleValue(values[0]), GdxScaleValue(values[1])};
    e.text_pending = true;
    Grow(e.text_position[0], e.text_position[1]);
    return 0;
  }
  return StoreNew(values, count);
}

int GdxAddBoundary(const GdxWord* values, int32_t count, const GdxWord* extra, int32_t extra_count,
                   int32_t flags) {
  GdxState& s = Gdx();
  GdxElementState& e = s.element;
  if (e.type != kGdxNoElement || s.library == nullptr || values == nullptr || count <= 0 ||
      count % 2 != 0 || count / 2 > kGdxMaxPoints) {
    GdxBeginBoundary();
    GdxSetHeaderWords(extra, extra_count);
    const int result = GdxAddPoints(1, values, count);
    GdxAddElementFlags(flags);
    GdxEndElement();
    return result;
  }
  Begin(kGdxBoundary, &s.counts.boundary);
  e.width = 0;
  e.path_type = 0;
  e.extra_count = std::clamp<int32_t>(extra_count, 0, static_cast<int32_t>(e.extra_header.size()));
  if (extra != nullptr) {
    for (int32_t i = 0; i < e.extra_count; ++i) e.extra_header[i] = extra[i];
  }
  // Every data word is written below: the header, the extra words, the points.
  constexpr int32_t kHeader = 10;
  constexpr int32_t kFixed = 5;
  int32_t position = 0;
  const GdxHandle page = AddEntry(kGdxBoundary, kHeader + count, false, &position);
  GdxWord* d = page != kGdxNoHandle ? e.entry_data : nullptr;
  if (d != nullptr) {
    d[0] = static_cast<GdxWord>(static_cast<uint32_t>(kHeader) |
                                (static_cast<uint32_t>(e.element_flags | flags) << 16));
    d[1] = Halves(count / 2, e.layer);
    d[2] = e.tag_bits;
    d[3] = 0;
    d[4] = 0;
    const int32_t extras = std::min(e.extra_count, kHeader - kFixed);
    for (int32_t i = 0; i < kHeader - kFixed; ++i) {
      d[kFixed + i] = i < extras ? e.extra_header[i] : 0;
    }
    // The points, scaled, and their box (what GrowByPoints finds in the stored points).
    GdxWord* points = d + kHeader;
    const int32_t factor = s.library->scale_factor;
    GdxRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int32_t i = 0; i < count; i += 2) {
      const GdxWord x = factor == 1 ? values[i] : Saturate(int64_t{values[i]} * factor);
      const GdxWord y = factor == 1 ? values[i + 1] : Saturate(int64_t{values[i + 1]} * factor);
      points[i] = x;
      points[i + 1] = y;
      box.min_x = std::min(box.min_x, x);
      box.max_x = std::max(box.max_x, x);
      box.min_y = std::min(box.min_y, y);
      box.max_y = std::max(box.max_y, y);
    }
    GrowBy(box.min_x, box.min_y);
    GrowBy(box.max_x, box.max_y);
    e.entry_position = position;
  }
  e.element_flags = 0;
  e.tag_bits = 0;
  e.data_type = 0;
  e.type = kGdxNoElement;
  e.entry_page = kGdxNoHandle;
  e.entry_data = nullptr;
  return d != nullptr ? 0 : -1;
}

int GdxAddText(std::string_view text) {
  GdxState& s = Gdx();
  GdxElementState& e = s.element;
  if (e.type != kGdxText || !e.text_pending || s.library == nullptr) return -1;
  constexpr size_t kMaxBytes = (kGdxMaxTextWords - 6) * 4 - 1;
  text = text.substr(0, kMaxBytes);
  const int32_t string_words = static_cast<int32_t>(text.size() + 4) / 4;
  int32_t position = 0;
  const GdxHandle page = GdxAddElement(kGdxText, 6 + string_words, &position);
  GdxWord* d = page != kGdxNoHandle ? e.entry_data : nullptr;
  if (d == nullptr) return -1;
  d[0] = GdxElementHeaderWords(kGdxText);
  d[1] = Halves(3, e.layer);
  d[2] = Halves(e.path_type, 0);
  d[3] = e.width;
  d[4] = static_cast<GdxWord>(text.size());
  d[5] = FloatWord(e.angle);
  d[6] = FloatWord(e.magnification);
  d[7] = FloatWord(e.magnification_y);
  std::copy_n(e.extra_header.begin(), std::min(e.extra_count, 3), d + 8);
  GdxWord* p = d + d[0];
  // Position, then its box (the display measures the text), then the string.
  for (int i = 0; i < 3; ++i) std::copy(e.text_position.begin(), e.text_position.end(), p + 2 * i);
  std::memcpy(p + 6, text.data(), text.size());
  e.text_pending = false;
  e.entry_page = page;
  e.entry_position = position;
  e.entry_data = d;
  return 0;
}

void GdxEndElement() {
  GdxState& s = Gdx();
  GdxElementState& e = s.element;
  if (StoresPoints(e.type) && e.entry_page != kGdxNoHandle) {
    if (GdxWord* data = e.entry_data) {
      data[0] = static_cast<GdxWord>(static_cast<uint32_t>(data[0]) |
                                     (static_cast<uint32_t>(e.element_flags) << 16));
      if (e.type != kGdxSref && e.type != kGdxAref) data[2] |= e.tag_bits;
    }
  }
  e.element_flags = 0;
  e.tag_bits = 0;
  e.data_type = 0;
  e.type = kGdxNoElement;
  e.text_pending = false;
  e.entry_page = kGdxNoHandle;
  e.entry_data = nullptr;
}

int GdxAddElementEnd() {
  GdxElementState& e = Gdx().element;
  e.element_flags = 0;
  e.tag_bits = 0;
  e.data_type = 0;
  e.extra_count = 0;
  e.type = kGdxNoElement;
  e.text_pending = false;
  e.entry_page = kGdxNoHandle;
  e.entry_data = nullptr;
  int32_t position = 0;
  return GdxAddElement(kGdxElementEnd, 0, &position) != kGdxNoHandle ? 0 : -1;
}

int32_t GdxCurrentElementType() { return Gdx().element.type; }

GdxEntryCursor::GdxEntryCursor(const GdxLibrary* library)
    : GdxEntryCursor(library ? library->first_index_page : kGdxNoHandle, kGdxPageHeaderWords) {}

GdxEntryCursor::GdxEntryCursor(GdxHandle page, int32_t position)
    : page_(page), words_(GdxBlockWords(page)), position_(position) {
  SkipEmptyPages();
}

const GdxWord* GdxEntryCursor::Data() const { return EntryData(page_, position_); }

void GdxEntryCursor::Next() {
  position_ += kGdxEntryWords;
  SkipEmptyPages();
}

void GdxEntryCursor::SkipEmptyPages() {
  while (words_ != nullptr && position_ >= words_[kGdxPageFill]) {
    page_ = static_cast<GdxHandle>(words_[kGdxPageNext]);
    words_ = GdxBlockWords(page_);
    position_ = kGdxPageHeaderWords;
  }
}

}  // namespace kavrinth
