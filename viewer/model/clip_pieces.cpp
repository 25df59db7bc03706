// The piece joiner: chains pieces end to start (or end to end, reversed) on a rounded grid
// until they close, with the touch rule that keeps touching polygons apart.
#include "viewer/model/clip_pieces.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace kavrinth {
namespace {

constexpr double kTiny = 0.001;
// sin(0.5 degree): turns flatter than this count as straight.
constexpr double kStraightSine = 0.00873;

}  // namespace

int32_t PieceJoiner::ToGrid(double value) const {
  const double scaled = value / grid_;
  const double rounded = std::trunc(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
  if (!(rounded > INT32_MIN)) return INT32_MIN;
  return rounded < INT32_MAX ? static_cast<int32_t>(rounded) : INT32_MAX;
}

std::array<int32_t, 2> PieceJoiner::GridPoint(const double* point) const {
  return {ToGrid(point[0]), ToGrid(point[1])};
}

bool PieceJoiner::Matches(const std::array<int32_t, 2>& a, const std::array<int32_t, 2>& b) const {
  return std::llabs(int64_t{a[0]} - b[0]) <= 1 && std::llabs(int64_t{a[1]} - b[1]) <= 1;
}

int PieceJoiner::start_pieces(double grid) {
  grid_ = grid > 0 ? grid : 1.0;
  pieces_.clear();
  output_ = 0;
  chain_start_ = 0;
  return 0;
}

int PieceJoiner::add_piece(int32_t count, int32_t identity, int32_t start) {
  if (count < 1) return 0;
  const size_t end = static_cast<size_t>(start) + 2 * static_cast<size_t>(count);
  if (start < 0 || end > arrays_.scratch.size()) return -1;
  if (pieces_.size() >= static_cast<size_t>(arrays_.max_points)) return -1;
  Piece piece;
  piece.identity = identity;
  piece.count = count;
  piece.first = GridPoint(&arrays_.scratch[start]);
  piece.last = GridPoint(&arrays_.scratch[end - 2]);
  piece.start = start;
  pieces_.push_back(piece);
  return 0;
}

int32_t PieceJoiner::append_piece_points(int32_t count, int32_t chain_points, int32_t start,
                                         bool forward) {
  const int64_t limit = arrays_.max_points;
  if (count > limit || int64_t{count} + chain_points > limit) return -1;
  if (count < 1) return chain_points;
  const size_t destination = chain_start_ + (chain_points == 0 ? 0 : 2 * chain_points - 2);
  const size_t length = 2 * static_cast<size_t>(count);
  if (start < 0 || static_cast<size_t>(start) + length > arrays_.scratch.size()) return -1;
  if (arrays_.work.size() < destination + length) arrays_.work.resize(destination + length);
  const double* from = &arrays_.scratch[start];
  double* to = &arrays_.work[destination];
  if (forward) {
    std::copy(from, from + length, to);
  } else {
    for (int32_t i = 0; i < count; ++i) {
      to[2 * i] = from[2 * (count - 1 - i)];
      to[2 * i + 1] = from[2 * (count - 1 - i) + 1];
    }
  }
  return chain_points == 0 ? count : chain_points - 1 + count;
}

int PieceJoiner::allow_join(int32_t count, int32_t end_x, int32_t end_y, int32_t chain_points,
                            int32_t start) {
  if (!touch_rule_ || count != 2 || chain_points == 0 || arrays_.touches.empty()) return 1;
  auto& touches = arrays_.touches;
  const auto touch =
      std::find(touches.begin(), touches.end(), std::array<int32_t, 2>{end_x, end_y});
  if (touch == touches.end() || chain_points < 2) return 1;
  const double* q = &arrays_.scratch[start];
  const double dx = q[0] - q[2];
  const double dy = q[1] - q[3];
  // Leaving a touch point inwards across the frame side it lies on is always allowed.
  if ((end_x == 0 || end_x == arrays_.frame_width_steps) && dx > kTiny) return 1;
  if ((end_y == 0 || end_y == arrays_.frame_height_steps) && dy > kTiny) return 1;
  const double* last = &arrays_.work[chain_start_ + 2 * chain_points - 2];
  const double dx2 = last[-2] - last[0];
  const double dy2 = last[-1] - last[1];
  const double length = std::hypot(dx, dy);
  const double length2 = std::hypot(dx2, dy2);
  if (length <= kTiny || length2 <= kTiny) return 1;
  if ((dy * dx2 - dx * dy2) / (length2 * length) >= kStraightSine) return 1;
  // Refused once: the touch point goes, so a later pass can still take this candidate.
  touches.erase(touch);
  return 0;
}

PieceJoiner::Extend PieceJoiner::TryJoin(Chain* chain, Piece* candidate, bool forward) {
  const auto& near = forward ? candidate->first : candidate->last;
  if (!Matches(near, chain->end) || allow_join(candidate->count, chain->end[0], chain->end[1],
                                               chain->points, candidate->start) == 0) {
    return Extend::kNone;
  }
  if (int64_t{chain->points} + candidate->count > arrays_.max_points) return Extend::kFull;
  chain->points = append_piece_points(candidate->count, chain->points, candidate->start, forward);
  chain->end = forward ? candidate->last : candidate->first;
  candidate->in_list = false;
  const bool closed = Matches(chain->end, chain->start) && chain->points >= 4;
  return closed ? Extend::kClosed : Extend::kJoined;
}

// Extends the chain with the pieces from `first_piece` on, pass after pass, until it
// closes (true) or a pass after the first joins nothing. The pieces of one clip all run
// counter-clockwise, so a pass joins end to start first; a piece is turned round only
// when no piece continues the chain: crossings a hair apart share a grid point, and
// turning a piece there would reverse the polygon.
bool PieceJoiner::ExtendChain(Chain* chain, size_t first_piece) {
  const int32_t identity = pieces_[first_piece - 1].identity;
  for (bool first_pass = true;; first_pass = false) {
    bool joined = false;
    for (const bool forward : {true, false}) {
      if (!forward && joined) break;
      for (size_t j = first_piece; j < pieces_.size(); ++j) {
        Piece& candidate = pieces_[j];
        if (!candidate.in_list || candidate.identity != identity) continue;
        switch (TryJoin(chain, &candidate, forward)) {
          case Extend::kClosed:
            return true;
          case Extend::kFull:
            return false;
          case Extend::kJoined:
            joined = true;
            break;
          case Extend::kNone:
            break;
        }
      }
    }
    if (!joined && !first_pass) return false;
  }
}

void PieceJoiner::FinishChain(const Chain& chain, bool closed, int32_t* joined, int32_t* dropped,
                              std::vector<int32_t>* table) {
  const size_t last_x = chain_start_ + 2 * static_cast<size_t>(chain.points) - 2;
  if (!closed) {
    const bool ends_meet = chain.points >= 4 && Matches(GridPoint(&arrays_.work[chain_start_]),
                                                        GridPoint(&arrays_.work[last_x]));
    if (!ends_meet) {
      // Its points are overwritten by the next chain.
      ++*dropped;
      return;
    }
  }
  table->push_back(static_cast<int32_t>(chain_start_));
  table->push_back(static_cast<int32_t>(last_x));
  output_ = last_x + 2;
  ++*joined;
}

int PieceJoiner::join_pieces(int32_t* joined, int32_t* dropped, int32_t* piece_count,
                             std::vector<int32_t>* table) {
  for (const Piece& piece : pieces_) {
    if (piece.count > arrays_.max_points) return 1;
  }
  *joined = 0;
  *dropped = 0;
  table->clear();
  output_ = 0;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    Piece& piece = pieces_[i];
    if (!piece.in_list) continue;
    piece.in_list = false;
    chain_start_ = output_;
    Chain chain{piece.first, piece.last, 0};
    chain.points = append_piece_points(piece.count, 0, piece.start, true);
    const bool closed = ExtendChain(&chain, i + 1);
    FinishChain(chain, closed, joined, dropped, table);
  }
  *piece_count = static_cast<int32_t>(table->size() / 2);
  return 0;
}

}  // namespace kavrinth
