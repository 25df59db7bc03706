// The rectangles among the pieces of one covered shape, indexed by where they can hold a
// cover flash: the cover of a shape drops every axis-parallel flash that lies wholly
// inside one of its rectangles, and a shape may have hundreds of thousands of both.
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
  struct Box {
    double x_min, y_min, x_max, y_max;
  };
  // A level of the tree: the boxes of its nodes, and where each node's children begin in
  // the level below (the last level's children are the rectangles, in `order_`).
  struct Level {
    std::vector<Box> boxes;
    std::vector<uint32_t> first_child;
  };

  Box Reach(const std::array<CoverPoint, 4>& q) const;
  bool Holds(const Box& flash, const std::array<CoverPoint, 4>& corners, size_t level,
             uint32_t node) const;

  double slack_ = 0;
  std::vector<std::array<CoverPoint, 4>> rectangles_;
  std::vector<Box> reach_;       // for each rectangle: the box beyond which no point it holds lies
  std::vector<uint32_t> order_;  // rectangles in the order of the tree's leaves
  std::vector<Level> levels_;    // from the root down
};

}  // namespace kavrinth
