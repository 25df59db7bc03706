// Indexes for the cover of one shape of many pieces: the rectangles among the pieces,
// which every cover flash they hold is dropped for, and the flashes written for the
// shape, which every other piece must meet somewhere or be counted lost. A shape may have
// hundreds of thousands of each, so both are packed trees of boxes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "companions/converter/flash_cover.h"
#include "pg2gds/pg_writer.h"

namespace kavrinth {

// Whether p lies inside the convex quadrilateral q (either turn) or within `slack` of it:
// for every side that p is further than `slack` from, p lies on the same side of it.
bool InConvexQuad(const std::array<CoverPoint, 4>& q, CoverPoint p, double slack);

struct CoverBox {
  double x_min, y_min, x_max, y_max;
};

// Boxes packed into tiles of neighbours and the tiles into nodes of a tree, for finding
// the few boxes a question concerns among very many.
class BoxTree {
 public:
  // Replaces the boxes; box i is reported as i.
  void Build(const std::vector<CoverBox>& boxes);

  // Whether visit(i) is true for some box i that `test` accepts; `test` is asked of the
  // nodes first and must accept a node whose boxes it would accept any of.
  template <typename Test, typename Visit>
  bool Any(const Test& test, const Visit& visit) const {
    if (levels_.empty()) return false;
    for (uint32_t node = 0; node < levels_[0].boxes.size(); ++node) {
      if (Any(test, visit, 0, node)) return true;
    }
    return false;
  }

 private:
  // A level of the tree: the boxes of its nodes, and where each node's children begin in
  // the level below (the last level's children are the boxes, in `order_`).
  struct Level {
    std::vector<CoverBox> boxes;
    std::vector<uint32_t> first_child;
  };

  template <typename Test, typename Visit>
  bool Any(const Test& test, const Visit& visit, size_t level, uint32_t node) const {
    const Level& here = levels_[level];
    if (!test(here.boxes[node])) return false;
    const uint32_t first = here.first_child[node], end = here.first_child[node + 1];
    for (uint32_t child = first; child < end; ++child) {
      if (level + 1 < levels_.size()) {
        if (Any(test, visit, level + 1, child)) return true;
      } else if (test(boxes_[order_[child]]) && visit(order_[child])) {
        return true;
      }
    }
    return false;
  }

  std::vector<CoverBox> boxes_;
  std::vector<uint32_t> order_;  // boxes in the order of the tree's leaves
  std::vector<Level> levels_;    // from the root down
};

// The rectangles among the pieces of a covered shape.
class RectangleIndex {
 public:
  // Forgets the rectangles; `slack` as InConvexQuad takes it.
  void Clear(double slack);
  void Add(const std::array<CoverPoint, 4>& rectangle);
  // Indexes the rectangles added since Clear; needed before Holds.
  void Build();

  // Whether every corner of the axis-parallel flash lies within one of the rectangles
  // (InConvexQuad): the answer of testing each rectangle in turn.
  bool Holds(const PgOutputFlash& flash) const;

 private:
  CoverBox Reach(const std::array<CoverPoint, 4>& q) const;

  double slack_ = 0;
  std::vector<std::array<CoverPoint, 4>> rectangles_;
  std::vector<CoverBox> reach_;  // for each rectangle: no point it accepts lies outside
  BoxTree tree_;
};

// The flashes written for a covered shape.
class FlashIndex {
 public:
  // Replaces the flashes (each turned by its angle in tenths of a degree); `reach` is how
  // far from a flash a point still counts as covered by it.
  void Build(const std::vector<PgOutputFlash>& flashes, double reach);

  // Whether the piece (a convex quadrilateral, or a triangle that repeats a corner) lies
  // within the reach of the flashes: its corners, the middles of its sides and its
  // centre, and for a piece that no flash shares area with, points along its sides no
  // further apart than the reach.
  bool Covers(const std::array<CoverPoint, 4>& piece) const;

 private:
  struct Placed {
    double x, y, cosine, sine, half_w, half_h;
  };
  bool Meets(const std::array<CoverPoint, 4>& piece) const;
  bool Near(CoverPoint p) const;

  double reach_ = 0;
  std::vector<Placed> placed_;
  std::vector<std::array<CoverPoint, 4>> corners_;
  BoxTree tree_;
};

}  // namespace kavrinth
