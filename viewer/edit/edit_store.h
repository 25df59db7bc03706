// The viewer's edit storage: rectangles added to a layer (each edit one library of the
// layout database holding its flashes), the selection of loaded elements for deletion in
// groups, the undo list, and saving the edited layers as new PG files.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "viewer/edit/edit_geometry.h"
#include "viewer/model/gdx_database.h"

namespace kavrinth {

// Selection flags of an element's index entry.
inline constexpr int32_t kEditSelected = 1;
inline constexpr int32_t kEditDeleted = 2;
// Per-layer edit flags: flashes were added, elements were deleted.
inline constexpr uint32_t kLayerAdded = 1;
inline constexpr uint32_t kLayerDeleted = 2;

// One element of a loaded layer, found by its index entry. An element of a WF2 layer held
// as a frame index is named by its frame and its number in the layer (from 1), as its
// frame is loaded again and again; its page and position are those of the load it was
// picked from.
struct EditHit {
  int layer = 0;
  GdxHandle library = kGdxNoHandle;  // the layer's library (or the frame's) when picked
  GdxHandle page = kGdxNoHandle;
  int32_t position = 0;
  int32_t frame = -1;  // -1: a layer loaded whole
  int32_t number = 0;
  bool operator==(const EditHit&) const = default;
};

// Every position: picks search all frames of WF2 layers.
inline constexpr GdxRect kAnyView{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

// A selection group: the elements one selection picked (its first pick and the further
// ones), named by its id.
struct SelectionGroup {
  int id = 0;
  std::vector<EditHit> hits;
  bool deleted = false;
};

// Where one edited layer is saved.
struct SaveTarget {
  int layer = 0;
  std::string path;  // a bare name goes beside the layer's own file
};

class EditStore {
 public:
  static constexpr size_t kUndoDepth = 64;
  static constexpr size_t kMaxGroups = 1024;

  EditStore() = default;
  ~EditStore();
  EditStore(const EditStore&) = delete;
  EditStore& operator=(const EditStore&) = delete;

  // The layer (0-1023) additions go to.
  void set_current_layer(int layer) { current_layer_ = layer; }
  int current_layer() const { return current_layer_; }

  // Adds one edit to the current layer: a flash for each rectangle given by three points
  // (see NormaliseRectangle). The edit's id, or 0 with a message when nothing was added
  // (no layer, no rectangle that makes a flash, no memory).
  int AddRectangles(const std::vector<std::array<EditPoint, 3>>& rectangles);
  int AddRectangle2(const EditPoint& p0, const EditPoint& p1);
  int AddRectangle3(const EditPoint& p0, const EditPoint& p1, const EditPoint& p2);

  // One pick of the Delete tool: the elements of every shown loaded layer that hit the
  // window (world units; `inside`: strictly inside, else crossing). Include appends them to
  // the open group (the first pick that hits opens one); Exclude takes them out of the open
  // group. WF2 layers held as a frame index are searched frame by frame, over the frames
  // that meet the view (world units). The count of elements added or taken out; -1 with a
  // message when the group table is full.
  int SelectByWindow(const GdxRect& window, bool inside, bool exclude,
                     const GdxRect& view = kAnyView);
  // Deletes the open group's elements (remove) or drops the group.
  void ApplySelection(bool remove);
  bool selection_open() const { return open_group_ != 0; }
  const SelectionGroup* open_group() const;
  const std::vector<SelectionGroup>& groups() const { return groups_; }
  // The elements whose highlight the last pick, Exclude or dropped selection changed, that
  // the last deletion took away, or that the last undo of a deletion brought back.
  const std::vector<EditHit>& changed() const { return changed_; }

  // Undoes the newest edit or deletion: false with "Nothing to undo." when there is none.
  // An open selection stays open. A deletion undone lists its elements in changed(); an
  // edit undone lists none.
  bool UndoLastEdit();
  size_t undo_depth() const { return undo_.size(); }

  // Text edits: each added text is one edit; the ones added since the Add Text dialog was
  // shown are pending until it is closed. Keep: they stay; else each is undone.
  void AddPendingText(int edit_id) { pending_text_.push_back(edit_id); }
  void EndTextEdits(bool keep);
  size_t pending_text_count() const { return pending_text_.size(); }

  // Layers with added or deleted elements (bit values kLayerAdded, kLayerDeleted).
  uint32_t LayerFlags(int layer) const;
  std::vector<int> EditedLayers() const;
  bool HasEdits() const { return !EditedLayers().empty(); }
  // The libraries of the live additions of a layer, oldest first (for drawing).
  std::vector<GdxHandle> EditLibraries(int layer) const;
  // The flashes a save of the layer writes, in order: the loaded ones not deleted, then
  // the added ones.
  int64_t FlashCount(int layer) const;

  // Discards every edit: the added libraries are freed, the marks of selected and deleted
  // elements cleared, the undo list emptied.
  void ClearEditStorage();
  // Forgets the marks without touching the loaded libraries (they were freed by a reload).
  void ForgetLoadedElements();

  // Writes each target layer's flashes as a PG file in the job's format. Each file is
  // built beside its target and put in place only when complete; the sources stay as they
  // were on any failure. True when every file was written: the edits are then discarded.
  // False with a message (every failure named): the edits stay pending.
  bool SaveEditedLayers(const std::vector<SaveTarget>& targets);

  // Gives the elements of a loaded WF2 frame (numbered above `first` in its layer) the
  // selected and deleted marks the picks gave them, and takes away those they lost.
  void ApplyFrameFlags(GdxHandle library, int layer, int32_t first) const;
  // Changes whenever a mark of a WF2 frame's element changes: a frame kept loaded elsewhere
  // is then out of date.
  uint64_t frame_flags_version() const { return frame_flags_version_; }

  // The message of the last refused or failed operation.
  const std::string& message() const { return message_; }

 private:
  struct Edit {
    int id = 0;
    int layer = 0;
    GdxHandle library = kGdxNoHandle;
  };
  struct UndoEntry {
    int kind = 0;  // 1 an edit was added, 2 a group was deleted
    int id = 0;    // the edit's or the group's
  };

  void PushUndo(int kind, int id);
  void UndoEdit(int id);
  void UndoDeletion(int group_id);
  void SetFlags(const std::vector<EditHit>& hits, int32_t set, int32_t clear);
  SelectionGroup* FindGroup(int id);
  void RemoveGroup(int id);
  std::string OutputPath(const SaveTarget& target) const;
  bool WriteLayer(int layer, const std::string& path, std::string* error) const;
  // Calls f(layer, frame, number, library, cursor) for each element of the frames of the
  // shown WF2 layers held as a frame index that meet the view, loading them in turn.
  template <typename F>
  void ForEachFrameElement(const GdxRect& view, F&& f);
  GdxHandle LoadFrame(int layer, int32_t frame);
  void FreeFrame();

  int current_layer_ = 0;
  int next_id_ = 1;
  std::vector<Edit> edits_;
  std::deque<UndoEntry> undo_;
  std::vector<SelectionGroup> groups_;
  int open_group_ = 0;
  std::vector<int> pending_text_;
  std::vector<EditHit> changed_;
  std::string message_;
  // The marks of WF2 frame elements by layer and number, and the frame the picks loaded.
  std::map<int, std::map<int32_t, int32_t>> frame_flags_;
  uint64_t frame_flags_version_ = 0;
  int frame_layer_ = -1;
  int32_t frame_index_ = -1;
  GdxHandle frame_library_ = kGdxNoHandle;
};

// The PG record of a stored flash element: a boundary with its five flash values (or its
// corners when it has none). False for elements that are not rectangular flashes.
bool FlashOfElement(int32_t type, const GdxWord* data, FlashValues* flash);

}  // namespace kavrinth
