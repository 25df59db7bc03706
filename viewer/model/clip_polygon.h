// Clipping one closed polygon to one axis-parallel frame rectangle: the parts inside come
// back as closed polygons, cleaned of slivers, repeated points and straight vertices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "viewer/model/clip_pieces.h"

namespace kavrinth {

// clip_to_frame's results besides 0 and the point count.
inline constexpr int kClipFrameInside = 10;

class FrameClipper {
 public:
  FrameClipper() : joiner_(arrays_) {}
  FrameClipper(const FrameClipper&) = delete;
  FrameClipper& operator=(const FrameClipper&) = delete;

  // The work array: callers put the closed ring here (x, y doubles, the first point
  // repeated last) before each clip; it holds the result polygons afterwards.
  std::vector<double>& work() { return arrays_.work; }

  // Clips the ring of n points in the work array to the frame [x0, x0 + width] x
  // [y0, y0 + height]; the extents are the ring's box, for the quick rejection.
  // 0: nothing inside, or the clip was abandoned (see abandoned_count()); n: the whole
  // ring is inside (one polygon); kClipFrameInside: the frame is wholly inside the ring
  // (the frame rectangle); otherwise the number of doubles collected as pieces. On a
  // positive result *piece_count polygons are described by the table (first and last x
  // index in the work array; a last index of -1 marks a removed sliver).
  int clip_to_frame(int32_t n, double x0, double y0, double width, double height, double xmin,
                    double ymin, double xmax, double ymax, int32_t* piece_count,
                    std::vector<int32_t>* pieces);

  // 1 when (x, y) lies inside the closed ring of `edges` edges (points 0 .. edges, spans
  // on the ring count as inside), else 0.
  int point_in_polygon(double x, double y, int32_t edges, const double* points);

  // Joins the pieces lying in the scratch array into closed polygons in the work array,
  // cleans each one and moves every point by (dx, dy). Always 0.
  int clean_pieces(int32_t* piece_count, std::vector<int32_t>* pieces, double dx, double dy);

  // The grid on which piece ends are matched and touch points kept (the frame clipping's
  // unit / 10; 0.1 unless set).
  void set_join_grid(double grid) { join_grid_ = grid; }
  void set_max_points(int32_t points) { arrays_.max_points = points; }
  PieceJoiner& joiner() { return joiner_; }
  ClipArrays& arrays() { return arrays_; }

  // Every message printed so far, and the clips abandoned so far.
  int32_t error_count() const { return arrays_.error_count; }
  int32_t abandoned_count() const { return abandoned_; }

 private:
  struct Point {
    double x;
    double y;
  };
  struct Crossing {
    double x;
    double y;
    int32_t edge;
    bool merged;  // reached the sorted crossing list
  };
  enum Side { kLeft, kBottom, kRight, kTop, kSides };
  enum class Collected { kDone, kInserted, kAbandoned };

  int Abandon(const char* message);
  void Translate(int32_t n, double dx, double dy);
  void SnapToFrame(int32_t n);
  void OrientCounterClockwise(int32_t n);
  int32_t MarkInside(int32_t n);
  void RotateToInside(int32_t n);
  Collected CollectCrossings(int32_t* n);
  void CrossVertical(const Point& a, const Point& b, double line_x, int32_t edge);
  void CrossHorizontal(const Point& a, const Point& b, double line_y, int32_t edge);
  bool InsertVertex(int32_t* n, int32_t edge, size_t first_crossing);
  void SortCrossings(size_t k);
  bool StartsInside(int32_t n);
  void WalkFrame(int32_t n, bool start_inside);
  void RecordFramePiece(size_t first, size_t last);
  void WalkPolygon(int32_t n);
  const Crossing* CrossingOfEdge(int32_t edge) const;
  size_t Append(double x, double y);
  int FrameResult(double x0, double y0, int32_t* piece_count, std::vector<int32_t>* pieces);
  void CleanPolygon(int32_t* first, int32_t* last);

  Point At(int32_t i) const { return {arrays_.work[2 * i], arrays_.work[2 * i + 1]}; }

  ClipArrays arrays_;
  PieceJoiner joiner_;
  double join_grid_ = 0.1;
  double width_ = 0;
  double height_ = 0;
  int32_t abandoned_ = 0;
  // Buffers kept between clips so that a clip allocates nothing once they have grown.
  std::vector<uint8_t> inside_;
  std::vector<Crossing> crossings_;
  std::vector<Crossing*> sides_[kSides];
  std::vector<double> output_;       // the pieces as they are collected
  std::vector<int32_t> raw_pieces_;  // first and last x index in output_
  std::vector<double> spans_;        // point_in_polygon's crossings
  std::vector<Point> polygon_;       // one result polygon while it is cleaned
};

}  // namespace kavrinth
