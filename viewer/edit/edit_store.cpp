// The viewer's edit storage, selection, undo and saving.
#include "viewer/edit/edit_store.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "pg2gds/pg_writer.h"
#include "viewer/model/element_queries.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

bool ValidLayer(int layer) { return layer >= 0 && layer < kViewLayerCount; }

// The elements of a library's first structure, up to its end: calls f(cursor) for each
// element that has data.
template <typename F>
void ForEachElement(const GdxLibrary* library, F&& f) {
  GdxEntryCursor cursor(library);
  bool begun = false;
  for (; cursor.Valid(); cursor.Next()) {
    const int32_t type = cursor.Type();
    if (type == kGdxStructureBegin) {
      if (begun) break;  // the next structure
      begun = true;
      continue;
    }
    if (type == kGdxEndMark) break;
    if (cursor.Data() == nullptr) continue;
    f(cursor);
  }
}

// The hit's index entry; null when its layer was loaded again since the pick (the entry
// is gone with the old library).
GdxWord* EntryOf(const EditHit& hit) {
  if (hit.layer < 0 || hit.layer >= kViewLayerCount ||
      LayerTable()[hit.layer].library != hit.library) {
    return nullptr;
  }
  GdxWord* words = GdxBlockWords(hit.page);
  if (words == nullptr || hit.position < kGdxPageHeaderWords ||
      hit.position + kGdxEntryWords > GdxBlockWordCount(hit.page)) {
    return nullptr;
  }
  return words + hit.position;
}

// The window in a layer's database units: the world window less the layer's offset.
GdxRect LayerWindow(const GdxRect& window, int layer) {
  const LayerOffset offset = LayerDisplayOffset(LayerTable()[layer]);
  const int64_t dx = offset.x;
  const int64_t dy = -int64_t{offset.y};
  const auto shift = [](int32_t v, int64_t d) {
    return static_cast<int32_t>(std::clamp<int64_t>(v - d, INT32_MIN, INT32_MAX));
  };
  return {shift(window.min_x, dx), shift(window.min_y, dy), shift(window.max_x, dx),
          shift(window.max_y, dy)};
}

// Element kinds the window test measures.
bool Measurable(int32_t type) {
  switch (type) {
    case kGdxBoundary:
    case kGdxPath:
    case kGdxCircle:
    case kGdxArc:
    case kGdxText:
    case kGdxNode:
    case kGdxMarkerList:
      return true;
    default:
      return false;
  }
}

bool Hits(const GdxEntryCursor& cursor, const GdxRect& window, bool inside) {
  const int32_t type = cursor.Type();
  if (!Measurable(type)) return false;
  // The points are tested where they are stored: no copy, so no element is too long.
  const GdxWord* data = cursor.Data();
  const int32_t header = data[0] & 0xFFFF;
  return ElementHitsWindow(type, data, data + header, window,
                           inside ? kSelectionWindow : kSelectionCrossing) != 0;
}

int32_t Unscaled(int64_t value, int32_t factor) {
  return static_cast<int32_t>(value / std::max(factor, 1));
}

// The Intermediate shape of a stored element: a boundary's first four corners, a circle
// as a full sector, an arc (a ring segment) as the sector from its start edge through its
// sweep. False for other elements.
bool ShapeOfElement(int32_t type, const GdxWord* data, int32_t factor, PgOutputShape* shape) {
  if (data == nullptr) return false;
  const GdxWord* p = data + (data[0] & 0xFFFF);
  if (type == kGdxBoundary) {
    if (((data[1] >> 16) & 0xFFFF) < 4) return false;
    for (size_t i = 0; i < 8; ++i) shape->points[i] = Unscaled(p[i], factor);
    return true;
  }
  if (type != kGdxCircle && type != kGdxArc) return false;
  const double cx = p[0];
  const double cy = p[1];
  shape->sector = 1;
  shape->centre_x = Unscaled(p[0], factor);
  shape->centre_y = Unscaled(p[1], factor);
  if (type == kGdxCircle) {
    shape->inner_radius = 0;
    shape->sweep = 3600;
    shape->points[0] = Unscaled(p[2], factor);
    shape->points[1] = Unscaled(p[3], factor);
    return true;
  }
  // The arc runs through the middle of the ring: radius (outer + inner) / 2, width
  // outer - inner.
  const double radius = data[3];
  const double width = data[4];
  const double start = std::atan2(p[3] - cy, p[2] - cx);
  const double end = std::atan2(p[5] - cy, p[4] - cx);
  double sweep = (end - start) * 180.0 / 3.14159265358979323846;
  while (sweep <= 0) sweep += 360.0;
  const double outer = radius + width / 2;
  shape->inner_radius = Unscaled(std::llround(radius - width / 2), factor);
  shape->sweep = static_cast<int32_t>(std::llround(sweep * 10));
  shape->points[0] = Unscaled(std::llround(cx + outer * std::cos(start)), factor);
  shape->points[1] = Unscaled(std::llround(cy + outer * std::sin(start)), factor);
  return true;
}

}  // namespace

bool FlashOfElement(int32_t type, const GdxWord* data, FlashValues* flash) {
  if (type != kGdxBoundary || data == nullptr) return false;
  const int32_t header = data[0] & 0xFFFF;
  const int32_t points = (data[1] >> 16) & 0xFFFF;
  if (header >= 10) {
    *flash = {data[5], data[6], data[7], data[8], data[9]};
    return true;
  }
  if (points < 3) return false;
  const GdxWord* p = data + header;
  FlashCorners corners;
  return NormaliseRectangle({p[0], p[1]}, {p[2], p[3]}, {p[4], p[5]}, flash, &corners);
}

EditStore::~EditStore() {
  for (const Edit& edit : edits_) GdxFreeLibrary(edit.library);
  FreeFrame();
}

void EditStore::FreeFrame() {
  if (frame_library_ != kGdxNoHandle) GdxFreeLibrary(frame_library_);
  frame_library_ = kGdxNoHandle;
  frame_layer_ = frame_index_ = -1;
}

GdxHandle EditStore::LoadFrame(int layer, int32_t frame) {
  if (frame_library_ != kGdxNoHandle && frame_layer_ == layer && frame_index_ == frame) {
    return frame_library_;
  }
  FreeFrame();
  const ViewLayerEntry& entry = LayerTable()[layer];
  CurrentViewerServices().SetWaitCursor(true);
  frame_library_ = LoadWf2Frame(entry.frame_block, layer, frame);
  CurrentViewerServices().SetWaitCursor(false);
  if (frame_library_ == kGdxNoHandle) return kGdxNoHandle;
  frame_layer_ = layer;
  frame_index_ = frame;
  const int32_t first =
      frame > 0
          ? static_cast<int32_t>(ReadWf2FrameIndexEntry(entry.frame_block, frame - 1)->polygons)
          : 0;
  ApplyFrameFlags(frame_library_, layer, first);
  return frame_library_;
}

template <typename F>
void EditStore::ForEachFrameElement(const GdxRect& view, F&& f) {
  for (int layer = 0; layer < kViewLayerCount; ++layer) {
    const ViewLayerEntry& entry = LayerTable()[layer];
    if (entry.path.empty() || entry.shown == 0 || entry.library != kGdxNoHandle) continue;
    if (entry.frame_block == kGdxNoHandle) continue;
    const LayerOffset offset = LayerDisplayOffset(entry);
    const int32_t frames = std::min(Wf2FrameIndexSections(entry.frame_block), entry.frame_count);
    int64_t first = 0;
    for (int32_t k = 0; k < frames; ++k) {
      const std::optional<Wf2FrameIndexEntry> record = ReadWf2FrameIndexEntry(entry.frame_block, k);
      if (!record) break;
      const int64_t before = first;
      first = record->polygons;
      // A frame without elements, or off the view, is not loaded.
      if (record->polygons == before) continue;
      const int64_t x0 = int64_t{record->box.min_x} + offset.x;
      const int64_t x1 = int64_t{record->box.max_x} + offset.x;
      const int64_t y0 = int64_t{record->box.min_y} - offset.y;
      const int64_t y1 = int64_t{record->box.max_y} - offset.y;
      if (!(x0 < view.max_x && view.min_x < x1 && y0 < view.max_y && view.min_y < y1)) continue;
      const GdxHandle handle = LoadFrame(layer, k);
      const GdxLibrary* library = GdxLibraryFromHandle(handle);
      if (library == nullptr) continue;
      int32_t number = static_cast<int32_t>(before);
      ForEachElement(library,
                     [&](const GdxEntryCursor& cursor) { f(layer, k, ++number, handle, cursor); });
    }
  }
}

void EditStore::ApplyFrameFlags(GdxHandle handle, int layer, int32_t first) const {
  const GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return;
  const auto marks = frame_flags_.find(layer);
  int32_t number = first;
  ForEachElement(library, [&](const GdxEntryCursor& cursor) {
    ++number;
    int32_t flags = 0;
    if (marks != frame_flags_.end()) {
      const auto mark = marks->second.find(number);
      if (mark != marks->second.end()) flags = mark->second;
    }
    GdxWord* entry = GdxBlockWords(cursor.page()) + cursor.position();
    entry[kGdxEntrySelection] =
        (entry[kGdxEntrySelection] & ~(kEditSelected | kEditDeleted)) | flags;
  });
}

int EditStore::AddRectangle2(const EditPoint& p0, const EditPoint& p1) {
  const FlashCorners c = RectangleFrom2Points(p0, p1);
  return AddRectangles({{c[0], c[1], c[2]}});
}

int EditStore::AddRectangle3(const EditPoint& p0, const EditPoint& p1, const EditPoint& p2) {
  FlashCorners c;
  if (!RectangleFrom3Points(p0, p1, p2, &c)) {
    message_ = "The three points do not make a rectangle.";
    return 0;
  }
  return AddRectangles({{c[0], c[1], c[2]}});
}

int EditStore::AddRectangles(const std::vector<std::array<EditPoint, 3>>& rectangles) {
  if (!ValidLayer(current_layer_) || LayerTable()[current_layer_].path.empty()) {
    message_ = "No layer to add to.";
    return 0;
  }
  std::vector<std::pair<FlashValues, FlashCorners>> flashes;
  for (const auto& r : rectangles) {
    FlashValues flash;
    FlashCorners corners;
    if (NormaliseRectangle(r[0], r[1], r[2], &flash, &corners)) flashes.push_back({flash, corners});
  }
  if (flashes.empty()) {
    message_ = "The points do not make a rectangle.";
    return 0;
  }
  const int id = next_id_++;
  const std::string number = std::to_string(id);
  GdxLibrary* library = GdxBeginLibrary("GDX_EDIT_LIB_" + number);
  if (library == nullptr) {
    message_ = "Not enough memory for the edit.";
    return 0;
  }
  // The edit's values are database units of the layer as they stand: nothing is scaled.
  if (const GdxLibrary* layer = GdxLibraryFromHandle(LayerTable()[current_layer_].library)) {
    library->user_unit = layer->user_unit;
    library->database_unit = layer->database_unit;
  }
  library->scale_factor = 1;
  GdxStartStructure();
  bool ok = GdxBeginStructure("GDX_EDIT_STR_" + number) == 0;
  for (size_t i = 0; ok && i < flashes.size(); ++i) {
    const auto& [f, c] = flashes[i];
    GdxBeginBoundary();
    GdxSetLayer(current_layer_);
    GdxSetDataType(0);
    const std::array<GdxWord, 5> values = {f.width, f.height, f.angle_tenths, f.centre_x,
                                           f.centre_y};
    GdxSetHeaderWords(values.data(), 5);
    std::array<GdxWord, 10> points;
    for (size_t k = 0; k < 5; ++k) {
      points[2 * k] = c[k].x;
      points[2 * k + 1] = c[k].y;
    }
    ok = GdxAddPoints(1, points.data(), 10) == 0;
    GdxAddElementFlags(kGdxFlashFlags);
    GdxEndElement();
  }
  if (ok) GdxEndStructure();
  const GdxHandle handle = GdxEndLibrary();
  if (!ok || handle == kGdxNoHandle) {
    GdxFreeLibrary(handle != kGdxNoHandle ? handle : library->handle);
    message_ = "Not enough memory for the edit.";
    return 0;
  }
  edits_.push_back({id, current_layer_, handle});
  PushUndo(1, id);
  return id;
}

void EditStore::PushUndo(int kind, int id) {
  // The oldest entry makes room: it can no longer be undone, and nothing is overwritten.
  if (undo_.size() == kUndoDepth) undo_.pop_front();
  undo_.push_back({kind, id});
}

const SelectionGroup* EditStore::open_group() const {
  for (const SelectionGroup& g : groups_) {
    if (g.id == open_group_) return &g;
  }
  return nullptr;
}

SelectionGroup* EditStore::FindGroup(int id) {
  for (SelectionGroup& g : groups_) {
    if (g.id == id) return &g;
  }
  return nullptr;
}

void EditStore::RemoveGroup(int id) {
  std::erase_if(groups_, [id](const SelectionGroup& g) { return g.id == id; });
  if (open_group_ == id) open_group_ = 0;
}

void EditStore::SetFlags(const std::vector<EditHit>& hits, int32_t set, int32_t clear) {
  bool frames_changed = false;
  for (const EditHit& hit : hits) {
    if (hit.frame >= 0) {
      // Kept by number: every later load of the frame takes the marks.
      std::map<int32_t, int32_t>& marks = frame_flags_[hit.layer];
      const int32_t flags = (marks[hit.number] | set) & ~clear;
      if (flags == 0) {
        marks.erase(hit.number);
      } else {
        marks[hit.number] = flags;
      }
      frames_changed = true;
      continue;
    }
    if (GdxWord* entry = EntryOf(hit)) {
      entry[kGdxEntrySelection] = (entry[kGdxEntrySelection] | set) & ~clear;
    }
  }
  if (frames_changed) {
    // The frame the picks hold has the marks as they were: it is loaded again when needed.
    FreeFrame();
    ++frame_flags_version_;
  }
}

int EditStore::SelectByWindow(const GdxRect& window, bool inside, bool exclude,
                              const GdxRect& view) {
  changed_.clear();
  GdxRect w = window;
  if (w.min_x > w.max_x) std::swap(w.min_x, w.max_x);
  if (w.min_y > w.max_y) std::swap(w.min_y, w.max_y);
  if (exclude) {
    SelectionGroup* group = FindGroup(open_group_);
    if (group == nullptr) return 0;  // nothing selected yet: nothing to take out
    std::vector<EditHit> removed;
    // Elements of WF2 frames are found again in their frames as they are loaded now.
    ForEachFrameElement(view, [&](int layer, int32_t k, int32_t number, GdxHandle,
                                  const GdxEntryCursor& cursor) {
      const auto it = std::find_if(group->hits.begin(), group->hits.end(), [&](const EditHit& h) {
        return h.frame == k && h.layer == layer && h.number == number;
      });
      if (it == group->hits.end() || !Hits(cursor, LayerWindow(w, layer), inside)) return;
      removed.push_back(*it);
      group->hits.erase(it);
    });
    std::erase_if(group->hits, [&](const EditHit& hit) {
      if (hit.frame >= 0 || EntryOf(hit) == nullptr) return false;
      const GdxEntryCursor cursor(hit.page, hit.position);
      if (!cursor.Valid() || !Hits(cursor, LayerWindow(w, hit.layer), inside)) return false;
      removed.push_back(hit);
      return true;
    });
    SetFlags(removed, 0, kEditSelected);
    changed_ = removed;
    return static_cast<int>(removed.size());
  }
  std::vector<EditHit> found;
  const ViewLayerTable& table = LayerTable();
  for (int layer = 0; layer < kViewLayerCount; ++layer) {
    const ViewLayerEntry& entry = table[layer];
    if (entry.path.empty() || entry.shown == 0) continue;
    const GdxLibrary* library = GdxLibraryFromHandle(entry.library);
    if (library == nullptr) continue;
    const GdxRect lw = LayerWindow(w, layer);
    ForEachElement(library, [&](const GdxEntryCursor& cursor) {
      // Deleted and already selected elements are not picked again.
      if (cursor.Entry()[kGdxEntrySelection] & (kEditSelected | kEditDeleted)) return;
      if (Hits(cursor, lw, inside)) {
        found.push_back({layer, entry.library, cursor.page(), cursor.position()});
      }
    });
  }
  ForEachFrameElement(view, [&](int layer, int32_t k, int32_t number, GdxHandle library,
                                const GdxEntryCursor& cursor) {
    if (cursor.Entry()[kGdxEntrySelection] & (kEditSelected | kEditDeleted)) return;
    if (Hits(cursor, LayerWindow(w, layer), inside)) {
      found.push_back({layer, library, cursor.page(), cursor.position(), k, number});
    }
  });
  // A pick that hits nothing neither opens nor extends a group.
  if (found.empty()) return 0;
  SelectionGroup* group = FindGroup(open_group_);
  if (group == nullptr) {
    if (groups_.size() >= kMaxGroups) {
      message_ = "Too many selections: save or undo some before selecting more.";
      return -1;
    }
    groups_.push_back({next_id_++, {}, false});
    group = &groups_.back();
    open_group_ = group->id;
  }
  group->hits.insert(group->hits.end(), found.begin(), found.end());
  SetFlags(found, kEditSelected, 0);
  changed_ = found;
  return static_cast<int>(found.size());
}

void EditStore::ApplySelection(bool remove) {
  changed_.clear();
  SelectionGroup* group = FindGroup(open_group_);
  open_group_ = 0;
  if (group == nullptr) return;
  if (remove && !group->hits.empty()) {
    SetFlags(group->hits, kEditDeleted, kEditSelected);
    changed_ = group->hits;
    group->deleted = true;
    PushUndo(2, group->id);
  } else {
    SetFlags(group->hits, 0, kEditSelected);
    changed_ = group->hits;
    RemoveGroup(group->id);
  }
}

void EditStore::UndoEdit(int id) {
  const auto it =
      std::find_if(edits_.begin(), edits_.end(), [id](const Edit& e) { return e.id == id; });
  if (it == edits_.end()) return;
  GdxFreeLibrary(it->library);
  edits_.erase(it);
}

void EditStore::UndoDeletion(int group_id) {
  if (SelectionGroup* group = FindGroup(group_id)) {
    SetFlags(group->hits, 0, kEditDeleted | kEditSelected);
    changed_ = group->hits;
    RemoveGroup(group_id);
  }
}

bool EditStore::UndoLastEdit() {
  changed_.clear();
  // A selection being picked is no edit: it stays open.
  if (undo_.empty()) {
    message_ = "Nothing to undo.";
    return false;
  }
  const UndoEntry entry = undo_.back();
  undo_.pop_back();
  if (entry.kind == 1) {
    UndoEdit(entry.id);
    std::erase(pending_text_, entry.id);
  } else {
    UndoDeletion(entry.id);
  }
  return true;
}

void EditStore::EndTextEdits(bool keep) {
  if (!keep) {
    for (int id : pending_text_) {
      std::erase_if(undo_, [id](const UndoEntry& e) { return e.kind == 1 && e.id == id; });
      UndoEdit(id);
    }
  }
  pending_text_.clear();
}

uint32_t EditStore::LayerFlags(int layer) const {
  uint32_t flags = 0;
  for (const Edit& edit : edits_) {
    if (edit.layer == layer) flags |= kLayerAdded;
  }
  for (const SelectionGroup& group : groups_) {
    if (!group.deleted) continue;
    for (const EditHit& hit : group.hits) {
      if (hit.layer == layer) {
        flags |= kLayerDeleted;
        break;
      }
    }
  }
  return flags;
}

std::vector<int> EditStore::EditedLayers() const {
  std::vector<int> layers;
  for (const Edit& edit : edits_) layers.push_back(edit.layer);
  for (const SelectionGroup& group : groups_) {
    if (!group.deleted) continue;
    for (const EditHit& hit : group.hits) layers.push_back(hit.layer);
  }
  std::sort(layers.begin(), layers.end());
  layers.erase(std::unique(layers.begin(), layers.end()), layers.end());
  return layers;
}

std::vector<GdxHandle> EditStore::EditLibraries(int layer) const {
  std::vector<GdxHandle> out;
  for (const Edit& edit : edits_) {
    if (edit.layer == layer) out.push_back(edit.library);
  }
  return out;
}

void EditStore::ClearEditStorage() {
  for (const SelectionGroup& group : groups_) SetFlags(group.hits, 0, kEditDeleted | kEditSelected);
  ForgetLoadedElements();
}

void EditStore::ForgetLoadedElements() {
  FreeFrame();
  if (!frame_flags_.empty()) ++frame_flags_version_;
  frame_flags_.clear();
  for (const Edit& edit : edits_) GdxFreeLibrary(edit.library);
  edits_.clear();
  groups_.clear();
  open_group_ = 0;
  undo_.clear();
  pending_text_.clear();
}

int64_t EditStore::FlashCount(int layer) const {
  int64_t count = 0;
  const auto count_library = [&count](GdxHandle handle) {
    const GdxLibrary* library = GdxLibraryFromHandle(handle);
    if (library == nullptr) return;
    ForEachElement(library, [&count](const GdxEntryCursor& cursor) {
      if (cursor.Type() == kGdxBoundary && !(cursor.Entry()[kGdxEntrySelection] & kEditDeleted))
        ++count;
    });
  };
  if (ValidLayer(layer)) count_library(LayerTable()[layer].library);
  for (GdxHandle handle : EditLibraries(layer)) count_library(handle);
  return count;
}

std::string EditStore::OutputPath(const SaveTarget& target) const {
  const std::filesystem::path name(target.path);
  if (name.has_parent_path()) return target.path;
  return (std::filesystem::path(LayerTable()[target.layer].path).parent_path() / name).string();
}

bool EditStore::WriteLayer(int layer, const std::string& path, std::string* error) const {
  const ViewLayerEntry& entry = LayerTable()[layer];
  const GdxLibrary* loaded = GdxLibraryFromHandle(entry.library);
  std::string ext = std::filesystem::path(entry.path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (ext == ".wf2" || (loaded == nullptr && entry.frame_block != kGdxNoHandle)) {
    *error = "The edits of the WF2 layer " + entry.path +
             " cannot be saved as a PG file; they are kept.";
    return false;
  }
  // The job reads a ".wf2" file as WF2 data: PG data saved under such a name would not
  // read back as the flashes written.
  std::string out_ext = std::filesystem::path(path).extension().string();
  std::transform(out_ext.begin(), out_ext.end(), out_ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (out_ext == ".wf2") {
    *error = path + ": a \".wf2\" file is read as WF2 data; the PG layer " + entry.path +
             " is not saved under that name.";
    return false;
  }
  if (loaded == nullptr) {
    *error = "The layer " + entry.path + " is not loaded; its edits are kept.";
    return false;
  }
  const ViewerImportSettings& settings = ImportSettings();
  const bool intermediate = settings.pg_format == kPgFormatIntermediate;
  // Round flashes exist in Intermediate files only; elsewhere they cannot be written, and
  // the save is refused rather than cut.
  int64_t round = 0;
  ForEachElement(loaded, [&round](const GdxEntryCursor& cursor) {
    const int32_t type = cursor.Type();
    if ((type == kGdxCircle || type == kGdxArc) &&
        !(cursor.Entry()[kGdxEntrySelection] & kEditDeleted))
      ++round;
  });
  if (round > 0 && !intermediate) {
    *error = path + ": the layer holds " + std::to_string(round) +
             " round flashes, which cannot be written; nothing was saved.";
    return false;
  }
  PgOutputWriter writer;
  const int ebcdic = JobState().code_set_name == "EBCDIC" ? kPgEbcdicPlus : kPgAscii;
  const int opened =
      writer.OpenPgOutput(path, std::max(settings.pg_format, 0), ebcdic, {}, !settings.metric);
  if (opened != kPgOutputOk) {
    *error = opened == kPgOutputUnsupported ? path + ": the job's PG format cannot be written."
                                            : "Cannot write " + path + ".";
    return false;
  }
  bool ok = true;
  int sectors = 0;
  const auto write_library = [&](const GdxLibrary* library) {
    const int32_t factor = library->scale_factor;
    ForEachElement(library, [&](const GdxEntryCursor& cursor) {
      const int32_t type = cursor.Type();
      if (!ok || (cursor.Entry()[kGdxEntrySelection] & kEditDeleted)) return;
      const GdxWord* data = cursor.Data();
      if (intermediate) {
        PgOutputShape shape;
        if (!ShapeOfElement(type, data, factor, &shape) || shape.sector != sectors) return;
        ok = writer.WritePgShape(shape) == 0;
        return;
      }
      FlashValues f;
      if (!FlashOfElement(type, data, &f)) return;
      const PgOutputFlash flash{Unscaled(f.centre_x, factor), Unscaled(f.centre_y, factor),
                                Unscaled(f.width, factor), Unscaled(f.height, factor),
                                f.angle_tenths};
      ok = writer.WritePgFlash(flash) == 0;
    });
  };
  // An Intermediate file holds every quadrilateral before the first sector.
  for (int pass = 0; pass < (intermediate ? 2 : 1); ++pass) {
    sectors = pass;
    write_library(loaded);
    for (GdxHandle handle : EditLibraries(layer)) {
      if (const GdxLibrary* library = GdxLibraryFromHandle(handle)) write_library(library);
    }
  }
  if (!ok) {
    writer.AbandonPgOutput();
    *error = "Cannot write " + path + ".";
    return false;
  }
  if (writer.ClosePgOutput() != 0) {
    *error = "Cannot write " + path + ".";
    return false;
  }
  return true;
}

bool EditStore::SaveEditedLayers(const std::vector<SaveTarget>& targets) {
  std::string errors;
  for (const SaveTarget& target : targets) {
    if (!ValidLayer(target.layer) || LayerTable()[target.layer].path.empty()) continue;
    const std::string path = OutputPath(target);
    if (target.path.empty() || std::filesystem::path(target.path).filename() == "..") {
      errors += "No file name for the layer " + LayerTable()[target.layer].path + ".\n";
      continue;
    }
    std::string error;
    if (!WriteLayer(target.layer, path, &error)) errors += error + "\n";
  }
  if (!errors.empty()) {
    errors.pop_back();
    message_ = errors + "\nThe edits are kept.";
    return false;
  }
  ClearEditStorage();
  return true;
}

}  // namespace kavrinth
