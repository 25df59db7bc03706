// Vertex and flash queries: finds the element of the shown layers with a vertex near a
// point or inside a box (or, for a flash query, the flash there), steps to the next one
// (TAB) and along the figure (SPACE), and describes the element for the info window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "viewer/display/draw_window.h"
#include "viewer/model/gdx_database.h"

namespace kavrinth {

// Query kinds chosen by the frame's Vertex and Flash commands.
enum QueryKind : int32_t { kQueryVertex = 0, kQueryFlash = 4, kQueryVertexOrMarker = 65535 };

// The PG format type of intermediate data: its elements carry no flash values worth showing.
inline constexpr int32_t kIntermediateFormat = 4;

class VertexQuery {
 public:
  struct Hit {
    int32_t layer = -1;
    int32_t frame = -1;  // the WF2 frame it lies in, -1 for a layer loaded whole
    GdxHandle library = kGdxNoHandle;  // the library searched: the layer's, a frame or an edit
    GdxHandle page = kGdxNoHandle;
    int32_t position = 0;
    int32_t vertex = -2;  // vertex number (0-based); -2 before the first
    bool valid() const { return layer >= 0; }
  };

  VertexQuery() = default;
  ~VertexQuery();
  VertexQuery(const VertexQuery&) = delete;
  VertexQuery& operator=(const VertexQuery&) = delete;

  // Starts a query of kind 0 (vertex) or 4 (flash) on the world box: true when an element
  // was found. The layers' display offsets apply (LayerDisplayOffset).
  bool Start(const GdxRect& box, int32_t kind);
  // TAB: the next vertex in the box (of this element, the next ones, the next layers, then
  // back to the first hit). True when there is a hit.
  bool Next();
  // SPACE: the next vertex of the same figure, wrapping to its first.
  bool NextVertex();
  // Forgets the query and frees the WF2 frame it loaded.
  void End();
  // The libraries of shapes added to a layer, searched after the layer's own data (none
  // when not set).
  void SetAddedLibraries(std::function<std::vector<GdxHandle>(int32_t layer)> added) {
    added_ = std::move(added);
  }

  bool has_hit() const { return current_.valid(); }
  const Hit& hit() const { return current_; }
  // The hit vertex in world units (offsets applied).
  int32_t hit_x() const { return hit_x_; }
  int32_t hit_y() const { return hit_y_; }
  // The hit element's points in world units (offsets applied), for its highlight.
  const std::vector<GdxWord>& hit_outline() const { return outline_; }
  // The element's vertex count.
  int32_t vertex_count() const { return vertex_count_; }
  // A copy of the hit element's record (header and points) with its type and index flags,
  // for drawing it highlighted; false without a hit.
  bool HitRecord(int32_t* type, int32_t* flags, std::vector<GdxWord>* words) const;
  // The info window's text of the hit, formatted with the window's divisor.
  std::string InfoText(const DrawWndState& window) const;

 private:
  struct Element;
  bool SearchLayers();
  // The layer's own data (its library or its WF2 frames): true on a hit.
  bool SearchLayer(int32_t layer);
  // Back to the first hit once every layer was searched.
  bool Wrap();
  bool SearchLibrary(int32_t layer, int32_t frame, GdxHandle library);
  bool LoadFrame(int32_t layer, int32_t frame);
  bool ReadElement(const Hit& hit, Element* element) const;
  void Show();
  void SetOffsets(int32_t layer);

  GdxRect box_{};
  int32_t kind_ = 0;
  int64_t offset_x_ = 0;
  int64_t offset_y_ = 0;
  Hit current_;
  Hit first_;
  int32_t hit_x_ = 0;
  int32_t hit_y_ = 0;
  int32_t vertex_count_ = 0;
  std::vector<GdxWord> outline_;
  // The WF2 frame the query loaded last.
  int32_t frame_layer_ = -1;
  int32_t frame_number_ = -1;
  GdxHandle frame_library_ = kGdxNoHandle;
  std::function<std::vector<GdxHandle>(int32_t)> added_;
};

}  // namespace kavrinth
