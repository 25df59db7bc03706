// Joining the open pieces that frame clipping produces (runs of a polygon inside a frame
// and runs of the frame's boundary inside the polygon) into closed polygons.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavrinth {

// A ring, a chain or a batch holds at most this many points unless the owner sets less.
inline constexpr int32_t kClipDefaultMaxPoints = 1 << 20;

// The arrays the frame clipper and the piece joiner share. Points are x, y doubles; an
// index into an array counts doubles (the x of point p is at 2p).
struct ClipArrays {
  std::vector<double> work;     // the clipper's input, then the joined polygons
  std::vector<double> scratch;  // the pieces handed to the joiner
  // Points where two crossings of the polygon with one frame side coincide, and the
  // frame's width and height, all on the join grid.
  std::vector<std::array<int32_t, 2>> touches;
  int32_t frame_width_steps = 0;
  int32_t frame_height_steps = 0;
  // Rings, chains and batches beyond this are refused instead of being cut.
  int32_t max_points = kClipDefaultMaxPoints;
  // One more for every message the clipping prints.
  int32_t error_count = 0;
};

class PieceJoiner {
 public:
  explicit PieceJoiner(ClipArrays& arrays) : arrays_(arrays) {}

  // Begins a batch whose end points are compared on the given grid: 0.
  int start_pieces(double grid);
  // Appends a piece of `count` points starting at `start` in the scratch array; a count
  // below 1 adds nothing. 0, or -1 when the batch is full (the piece is not added).
  int add_piece(int32_t count, int32_t identity, int32_t start);
  // Links the pieces into closed polygons written to the work array from its start. The
  // table receives each polygon's first and last x index; *piece_count their number.
  // 0, or 1 when a single piece is longer than the chain limit (outputs not set).
  int join_pieces(int32_t* joined, int32_t* dropped, int32_t* piece_count,
                  std::vector<int32_t>* table);
  // Copies a piece's points behind the chain being built (its first point over the
  // chain's last): the chain's new point count, or -1 beyond the chain limit.
  int32_t append_piece_points(int32_t count, int32_t chain_points, int32_t start, bool forward);
  // The touch rule: 1 allows the candidate to join at the chain's end, 0 refuses it (once
  // per touch point).
  int allow_join(int32_t count, int32_t end_x, int32_t end_y, int32_t chain_points, int32_t start);

  void set_touch_rule(bool on) { touch_rule_ = on; }
  bool touch_rule() const { return touch_rule_; }
  double grid() const { return grid_; }
  // A coordinate on the join grid, rounded half away from zero (saturated).
  int32_t ToGrid(double value) const;

 private:
  struct Piece {
    int32_t identity = 0;
    int32_t count = 0;
    std::array<int32_t, 2> first{};
    std::array<int32_t, 2> last{};
    int32_t start = 0;
    bool in_list = true;
  };
  struct Chain {
    std::array<int32_t, 2> start{};
    std::array<int32_t, 2> end{};
    int32_t points = 0;
  };
  enum class Extend { kNone, kJoined, kClosed, kFull };

  Extend TryJoin(Chain* chain, Piece* candidate, bool forward);
  bool ExtendChain(Chain* chain, size_t first_piece);
  void FinishChain(const Chain& chain, bool closed, int32_t* joined, int32_t* dropped,
                   std::vector<int32_t>* table);
  bool Matches(const std::array<int32_t, 2>& a, const std::array<int32_t, 2>& b) const;
  std::array<int32_t, 2> GridPoint(const double* point) const;

  ClipArrays& arrays_;
  std::vector<Piece> pieces_;
  double grid_ = 1.0;
  size_t output_ = 0;       // where the next chain starts in the work array (doubles)
  size_t chain_start_ = 0;  // where the chain being built starts
  bool touch_rule_ = true;
};

}  // namespace kavrinth
