// Vertex and flash queries over the shown layers.
#include "viewer/interact/vertex_query.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "support/paths.h"
#include "viewer/model/element_queries.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

constexpr int32_t kFlashWordsEnd = 10;  // width, height, angle, centre x, centre y: words 5-9

bool HasPointCount(int32_t type) {
  return type == kGdxBoundary || type == kGdxPath || type == kGdxFlashBoundary;
}
bool IsRound(int32_t type) {
  return type == kGdxCircle || type == kGdxArc || type == kGdxFlashCircle;
}

bool Overlaps(const GdxRect& a, const GdxRect& b) {
  return a.min_x < b.max_x && b.min_x < a.max_x && a.min_y < b.max_y && b.min_y < a.max_y;
}

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// An element as the query reads it: its data and its points checked against the block it
// lies in.
struct VertexQuery::Element {
  int32_t type = 0;
  const GdxWord* data = nullptr;
  int32_t header = 0;
  const GdxWord* points = nullptr;
  int32_t point_count = 0;
  int32_t first_vertex = 0;  // circles and arcs: their centre is no vertex
  int32_t vertices() const { return point_count - first_vertex; }
  bool has_flash_words() const { return header >= kFlashWordsEnd; }
};

VertexQuery::~VertexQuery() { End(); }

void VertexQuery::SetOffsets(int32_t layer) {
  // Kept as added to both coordinates: the layer's y offset is taken from y.
  const LayerOffset offset = LayerDisplayOffset(LayerTable()[layer]);
  offset_x_ = offset.x;
  offset_y_ = -int64_t{offset.y};
}

bool VertexQuery::ReadElement(const Hit& hit, Element* element) const {
  GdxEntryCursor cursor(hit.page, hit.position);
  if (!cursor.Valid()) return false;
  const GdxWord* entry = cursor.Entry();
  const GdxHandle block = static_cast<GdxHandle>(entry[kGdxEntryBlock]);
  const int32_t offset = entry[kGdxEntryOffset];
  const int32_t block_words = GdxBlockWordCount(block);
  const GdxWord* data = cursor.Data();
  if (data == nullptr || offset < 0 || offset >= block_words) return false;
  const int32_t available = block_words - offset;
  Element e;
  e.type = cursor.Type();
  e.data = data;
  e.header = data[0] & 0xFFFF;
  if (HasPointCount(e.type)) {
    if (available < 2) return false;
    e.point_count = (data[1] >> 16) & 0xFFFF;
  } else if (IsRound(e.type)) {
    e.point_count = 3;
    e.first_vertex = 1;
  } else {
    return false;  // no points to query
  }
  // A record whose points would run past its block is not read.
  if (e.header < 2 || int64_t{e.header} + 2 * int64_t{e.point_count} > available) return false;
  if (e.vertices() <= 0) return false;
  e.points = data + e.header;
  *element = e;
  return true;
}

bool VertexQuery::Start(const GdxRect& box, int32_t kind) {
  End();
  box_ = {std::min(box.min_x, box.max_x), std::min(box.min_y, box.max_y),
          std::max(box.min_x, box.max_x), std::max(box.min_y, box.max_y)};
  kind_ = kind;
  return SearchLayers();
}

bool VertexQuery::Next() {
  if (!first_.valid()) return false;
  return SearchLayers();
}

bool VertexQuery::NextVertex() {
  if (!current_.valid()) return false;
  ++current_.vertex;
  Show();
  return current_.valid();
}

void VertexQuery::End() {
  current_ = first_ = Hit();
  outline_.clear();
  vertex_count_ = 0;
  if (frame_library_ != kGdxNoHandle) GdxFreeLibrary(frame_library_);
  frame_library_ = kGdxNoHandle;
  frame_layer_ = frame_number_ = -1;
}

bool VertexQuery::LoadFrame(int32_t layer, int32_t frame) {
  if (frame_layer_ == layer && frame_number_ == frame && frame_library_ != kGdxNoHandle) {
    return true;
  }
  // The hits point into the frame about to be freed: they go with it.
  if (current_.frame >= 0) current_ = Hit();
  if (first_.frame >= 0) first_ = Hit();
  if (frame_library_ != kGdxNoHandle) GdxFreeLibrary(frame_library_);
  // Reading a section from its file may take a while.
  CurrentViewerServices().SetWaitCursor(true);
  frame_library_ = LoadWf2Frame(LayerTable()[layer].frame_block, layer, frame);
  CurrentViewerServices().SetWaitCursor(false);
  frame_layer_ = frame_library_ != kGdxNoHandle ? layer : -1;
  frame_number_ = frame_library_ != kGdxNoHandle ? frame : -1;
  return frame_library_ != kGdxNoHandle;
}

bool VertexQuery::SearchLayers() {
  const int32_t start = current_.valid() ? current_.layer : 0;
  for (int32_t layer = start; layer < kViewLayerCount; ++layer) {
    const ViewLayerEntry& entry = LayerTable()[layer];
    if (layer != current_.layer) current_ = Hit();
    if (entry.path.empty() || entry.shown == 0) continue;
    SetOffsets(layer);
    if (SearchLayer(layer)) return true;
    // Then the shapes added to the layer, from the one holding the hit on.
    const std::vector<GdxHandle> added = added_ ? added_(layer) : std::vector<GdxHandle>();
    bool skipping =
        current_.valid() && std::find(added.begin(), added.end(), current_.library) != added.end();
    for (GdxHandle library : added) {
      if (skipping && library != current_.library) continue;
      skipping = false;
      if (SearchLibrary(layer, -1, library)) return true;
      current_ = Hit();
    }
  }
  return Wrap();
}

bool VertexQuery::SearchLayer(int32_t layer) {
  const ViewLayerEntry& entry = LayerTable()[layer];
  if (entry.library != kGdxNoHandle) {
    // A hit held in an added shape: the layer's own elements come before it.
    if (current_.valid() && current_.library != entry.library) return false;
    if (SearchLibrary(layer, -1, entry.library)) return true;
    current_ = Hit();
    return false;
  }
  const int32_t frames = std::min(Wf2FrameIndexSections(entry.frame_block), entry.frame_count);
  for (int32_t k = 0; k < frames; ++k) {
    if (current_.valid() && current_.frame != k) continue;
    const auto record = ReadWf2FrameIndexEntry(entry.frame_block, k);
    if (!record) continue;
    const GdxRect frame_box{
        Clamp32(record->box.min_x + offset_x_), Clamp32(record->box.min_y + offset_y_),
        Clamp32(record->box.max_x + offset_x_), Clamp32(record->box.max_y + offset_y_)};
    if (!Overlaps(frame_box, box_)) {
      current_ = Hit();
      continue;
    }
    if (!LoadFrame(layer, k)) continue;
    if (SearchLibrary(layer, k, frame_library_)) return true;
    current_ = Hit();
  }
  return false;
}

bool VertexQuery::Wrap() {
  // Past the last layer: back to the first hit.
  if (!first_.valid()) return false;
  // A first hit in a WF2 section lies in the section loaded now (loading another one drops
  // it): it is read from there, never from freed memory.
  if (first_.frame >= 0 && (first_.layer != frame_layer_ || first_.frame != frame_number_)) {
    return false;
  }
  current_ = first_;
  SetOffsets(current_.layer);
  Show();
  return current_.valid();
}

bool VertexQuery::SearchLibrary(int32_t layer, int32_t frame, GdxHandle handle) {
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return false;
  Hit at;
  int32_t after = -2;
  if (current_.valid() && current_.layer == layer && current_.frame == frame &&
      current_.library == handle) {
    at = current_;
    after = current_.vertex;
  } else {
    const GdxStructure* structure = GdxFindStructureById(library, library->current_structure_id);
    if (structure == nullptr) return false;
    GdxEntryCursor begin(structure->begin_page, structure->begin_position);
    begin.Next();
    at = Hit{layer, frame, handle, begin.page(), begin.position(), -2};
  }
  GdxEntryCursor cursor(at.page, at.position);
  const GdxRect shifted{Clamp32(box_.min_x - offset_x_), Clamp32(box_.min_y - offset_y_),
                        Clamp32(box_.max_x - offset_x_), Clamp32(box_.max_y - offset_y_)};
  for (; cursor.Valid(); cursor.Next(), after = -2) {
    const int32_t type = cursor.Type();
    if (type == kGdxEndMark || type == kGdxStructureBegin) break;
    // A deleted element is passed over; the elements after it are still searched.
    if (cursor.Entry()[kGdxEntrySelection] & 2) continue;
    const Hit here{layer, frame, handle, cursor.page(), cursor.position(), after};
    Element e;
    if (!ReadElement(here, &e)) continue;
    int32_t vertex = -1;
    if (kind_ == kQueryFlash) {
      int64_t cx = 0, cy = 0;
      if (e.has_flash_words()) {
        cx = e.data[8], cy = e.data[9];
      } else if (IsRound(e.type)) {
        cx = e.points[0], cy = e.points[1];
      } else {
        continue;  // no flash
      }
      const bool inside =
          cx >= shifted.min_x && cx <= shifted.max_x && cy >= shifted.min_y && cy <= shifted.max_y;
      const int32_t last = e.vertices() - 1;
      if (after == last) continue;
      if (inside || ElementHitsWindow(type, e.data, e.points, shifted) != 0) vertex = last;
    } else {
      for (int32_t v = std::max(after + 1, 0); v < e.vertices(); ++v) {
        const int64_t x = e.points[2 * (v + e.first_vertex)] + offset_x_;
        const int64_t y = e.points[2 * (v + e.first_vertex) + 1] + offset_y_;
        if (x >= box_.min_x && x <= box_.max_x && y >= box_.min_y && y <= box_.max_y) {
          vertex = v;
          break;
        }
      }
    }
    if (vertex < 0) continue;
    current_ = here;
    current_.vertex = vertex;
    if (!first_.valid()) first_ = current_;
    Show();
    return true;
  }
  return false;
}

void VertexQuery::Show() {
  Element e;
  if (!ReadElement(current_, &e)) {
    current_ = Hit();
    return;
  }
  if (current_.vertex < 0 || current_.vertex >= e.vertices()) current_.vertex = 0;
  vertex_count_ = e.vertices();
  outline_.clear();
  for (int32_t i = e.first_vertex; i < e.point_count; ++i) {
    outline_.push_back(Clamp32(e.points[2 * i] + offset_x_));
    outline_.push_back(Clamp32(e.points[2 * i + 1] + offset_y_));
  }
  hit_x_ = outline_[2 * current_.vertex];
  hit_y_ = outline_[2 * current_.vertex + 1];
}

bool VertexQuery::HitRecord(int32_t* type, int32_t* flags, std::vector<GdxWord>* words) const {
  Element e;
  if (!current_.valid() || !ReadElement(current_, &e)) return false;
  GdxEntryCursor cursor(current_.page, current_.position);
  *type = e.type;
  *flags = cursor.Entry()[kGdxEntrySelection];
  words->assign(e.data, e.points + 2 * e.point_count);
  return true;
}

std::string VertexQuery::InfoText(const DrawWndState& window) const {
  if (!current_.valid()) return {};
  Element e;
  if (!ReadElement(current_, &e)) return {};
  auto coord = [&window](int64_t v) { return window.FormatCoord(Clamp32(v)); };
  std::string type_text;
  if (e.type == kGdxBoundary) type_text = "BOUNDARY";
  if (e.type == kGdxCircle) type_text = "CIRCLE";
  if (e.type == kGdxArc) type_text = "ARC\r\nWIDTH: " + coord(e.header > 4 ? e.data[4] : 0);
  char line[256];
  std::snprintf(line, sizeof line, "VERT: (%s,%s)\r\n           %d of %d", coord(hit_x_).c_str(),
                coord(hit_y_).c_str(), current_.vertex + 1, e.vertices());
  const std::string vertex_text = line;
  std::string name;
  SplitPath(LayerTable()[current_.layer].path, nullptr, &name);
  const std::string layer_text = "LAYER:" + std::to_string(current_.layer + 1) + "\r\n" + name;
  if (ImportSettings().pg_format == kIntermediateFormat) {
    return type_text + "\r\n" + vertex_text + "\r\n" + layer_text;
  }
  // Flash values where the element carries them (rectangles); a round flash has its width.
  const bool flash = e.has_flash_words();
  const int64_t width =
      flash ? e.data[5] : (IsRound(e.type) && e.header > 3 ? 2 * int64_t{e.data[3]} : 0);
  const int64_t height = flash ? e.data[6] : width;
  const double angle = flash ? e.data[7] / 10.0 : 0.0;
  const int64_t cx = (flash ? e.data[8] : IsRound(e.type) ? e.points[0] : 0) + offset_x_;
  const int64_t cy = (flash ? e.data[9] : IsRound(e.type) ? e.points[1] : 0) + offset_y_;
  char angle_text[64];
  std::snprintf(angle_text, sizeof angle_text, "%lf", angle);
  return type_text + "\r\n" + vertex_text + "\r\nWIDTH: " + coord(width) +
         "\r\nHEIGHT: " + coord(height) + "\r\nANGLE: " + angle_text + "\r\nCENTER: (" + coord(cx) +
         "," + coord(cy) + ")\r\n" + layer_text;
}

}  // namespace kavrinth
