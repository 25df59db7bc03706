// Outline or path, runs, round outlines and the cutting of wide paths into pieces.
#include "tabreng/path_pieces.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "fonts/path_outline.h"
#include "tabreng/gds_cfg.h"
#include "tabreng/polygon_handoff.h"

namespace kavrinth {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.57079632679;
constexpr double kDegrees = 180 / kPi;
// The outline points PathToOutline may write for one piece.
constexpr int32_t kOutlineRoom = 5000;
// Arcs of round outlines advance at most this many degrees a step.
constexpr double kArcStepDegrees = 15;
constexpr double kCrossingTolerance = 1.0;

struct Vec {
  double x = 0, y = 0;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double Cross(Vec a, Vec b) { return a.x * b.y - a.y * b.x; }
double Length(Vec a) { return std::hypot(a.x, a.y); }
Vec Normal(Vec u) { return {-u.y, u.x}; }  // the left side

Vec At(std::span<const double> xy, size_t i) { return {xy[2 * i], xy[2 * i + 1]}; }

std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// ---- Self-crossing ----

struct Line {
  bool vertical = false;
  double slope = 0, intercept = 0;
};

Line LineOf(Vec a, Vec b, double tolerance) {
  if (std::fabs(b.x - a.x) <= tolerance) return {true, 0, 0};
  const double slope = (b.y - a.y) / (b.x - a.x);
  return {false, slope, a.y - slope * a.x};
}

bool Within(double value, double a, double b) {
  return value >= std::min(a, b) && value <= std::max(a, b);
}

bool EdgesCross(Vec a, Vec b, Vec c, Vec d, double tolerance) {
  const Line first = LineOf(a, b, tolerance), second = LineOf(c, d, tolerance);
  if (first.vertical && second.vertical) return false;
  Vec p;
  if (!first.vertical && !second.vertical) {
    const double difference = std::fabs(first.slope - second.slope);
    const double relative =
        std::fabs(first.slope) > 0.001 ? difference / std::fabs(first.slope) : difference;
    if (relative < 0.001) return false;
    p.x = (second.intercept - first.intercept) / (first.slope - second.slope);
    p.y = first.slope * p.x + first.intercept;
  } else if (first.vertical) {
    p = {a.x, second.slope * a.x + second.intercept};
  } else {
    p = {c.x, first.slope * c.x + first.intercept};
  }
  for (Vec end : {a, b, c, d}) {
    if (Length(p - end) < tolerance) return false;
  }
  return Within(p.x, a.x, b.x) && Within(p.y, a.y, b.y) && Within(p.x, c.x, d.x) &&
         Within(p.y, c.y, d.y);
}

// ---- Round outlines ----

// Points of an arc around the centre from angle `from`, turning by `sweep` radians;
// the end point is included, the start point is not.
void Arc(Vec centre, double radius, double from, double sweep, std::vector<Vec>& out) {
  const int steps = static_cast<int>(std::fabs(sweep * kDegrees) / kArcStepDegrees) + 1;
  for (int s = 1; s <= steps; ++s) {
    const double angle = from + sweep * s / steps;
    out.push_back(centre + radius * Vec{std::cos(angle), std::sin(angle)});
  }
}

double AngleOf(Vec v) { return std::atan2(v.y, v.x); }

// The centre line without its segments shorter than 0.001.
void DistinctPoints(std::span<const double> centre, std::vector<Vec>& points) {
  points.clear();
  for (size_t i = 0; i < centre.size() / 2; ++i) {
    const Vec p = At(centre, i);
    if (points.empty() || Length(p - points.back()) >= 0.001) points.push_back(p);
  }
}

// One side's point (or arc) at a join: side +1 is the left, -1 the right.
void Join(Vec p, Vec u, Vec v, double h, double side, std::vector<Vec>& out) {
  const double cosine = Dot(u, v);
  const Vec mitre = h / (1 + cosine) * (Normal(u) + Normal(v));
  const double turn = std::atan2(Cross(u, v), cosine);
  // The outer side of a turn to the right is the left one, and the reverse.
  if (cosine > 0.999 || side * turn > 0) {
    out.push_back(p + side * mitre);
    return;
  }
  out.push_back(p + side * h * Normal(u));
  Arc(p, h, AngleOf(side * Normal(u)), turn, out);
}

// ---- Cutting a wide path ----

void RoundInto(std::span<const double> xy, bool* fits, std::vector<int32_t>& out) {
  out.resize(xy.size());
  for (size_t i = 0; i < xy.size(); ++i) out[i] = RoundToInt32(xy[i], fits);
}

// The side of the line a-b that c lies on: 1 left, -1 right, 0 on it (exact: the
// products of two 33-bit differences need more than 64 bits).
int Side(std::span<const int32_t> xy, size_t a, size_t b, size_t c) {
  using Wide = __int128;
  const Wide ax = xy[2 * a], ay = xy[2 * a + 1];
  const Wide value =
      (xy[2 * b] - ax) * (xy[2 * c + 1] - ay) - (xy[2 * b + 1] - ay) * (xy[2 * c] - ax);
  return (value > 0) - (value < 0);
}

// Whether two edges of the closed integer ring that do not meet pass through each other.
bool RingCrossesItself(std::span<const int32_t> xy) {
  const size_t edges = xy.size() / 2 - 1;
  for (size_t i = 0; i < edges; ++i) {
    for (size_t j = i + 2; j < edges; ++j) {
      if (i == 0 && j + 1 == edges) continue;
      if (Side(xy, i, i + 1, j) * Side(xy, i, i + 1, j + 1) < 0 &&
          Side(xy, j, j + 1, i) * Side(xy, j, j + 1, i + 1) < 0) {
        return true;
      }
    }
  }
  return false;
}

// The outline crosses itself by the tolerant test on its reals, or, once rounded for the
// PG library, by the exact one: a crossing closer than the tolerance to a corner still
// makes a polygon the library cannot take as simple.
bool OutlineCrosses(const std::vector<double>& outline) {
  const int edges = static_cast<int>(outline.size() / 2) - 1;
  if (FindSelfCrossing(outline, edges, kCrossingTolerance, false) >= 0) return true;
  bool fits = true;
  thread_local std::vector<int32_t> rounded;
  RoundInto(outline, &fits, rounded);
  return RingCrossesItself(rounded);
}

// Moves `end` away from `other` by `distance` when their segment is longer than 1e-6.
void Extend(double* end, const double* other, double distance) {
  const double dx = end[0] - other[0], dy = end[1] - other[1];
  const double length = std::hypot(dx, dy);
  if (length <= 1e-6) return;
  end[0] += dx / length * distance;
  end[1] += dy / length * distance;
}

std::vector<double>& ScratchCentre() {
  thread_local std::vector<double> centre;
  return centre;
}

std::vector<int32_t>& ScratchPoints() {
  thread_local std::vector<int32_t> points;
  return points;
}

// Outline buffers of the pieces tried, kept from piece to piece and path to path: a
// path costs no allocation of its own.
std::vector<std::vector<double>>& OutlinePool() {
  thread_local std::vector<std::vector<double>> pool;
  return pool;
}

class PathCutter {
 public:
  PathCutter(const WidePath& path, PathPieceSink& sink, EngineLog* log)
      : path_(path), sink_(sink), log_(log), round_(path.outlined && path.pathtype == 1) {}

  PathCutResult Run();

 private:
  struct Piece {
    int points = 0;    // e: centre-line points tried
    int consumed = 0;  // d: centre-line points the outline used
    std::vector<double> outline;

    Piece() {
      std::vector<std::vector<double>>& pool = OutlinePool();
      if (!pool.empty()) {
        outline = std::move(pool.back());
        pool.pop_back();
        outline.clear();
      }
    }
    Piece(Piece&& other) noexcept
        : points(other.points), consumed(other.consumed), outline(std::move(other.outline)) {}
    // The buffer given up goes back to the pool with the piece it went to.
    Piece& operator=(Piece&& other) noexcept {
      points = other.points;
      consumed = other.consumed;
      outline.swap(other.outline);
      return *this;
    }
    ~Piece() {
      if (outline.capacity() > 0) OutlinePool().push_back(std::move(outline));
    }
  };

  std::optional<std::optional<Piece>> CountedPiece() const;
  std::optional<Piece> Build(int start, int e);
  bool Crosses(const Piece& piece) const;
  std::optional<Piece> LongestPiece(int start, int remaining, bool* shortened);
  void CutRun(int start, int count);
  void Output(const Piece& piece, int start, bool first_piece);
  void HandOver(const std::vector<double>& outline);
  void Midpoint(int index);
  void LogCentre(int first, int count);
  void Log(const std::string& text) {
    if (log_ != nullptr) log_->Write(text);
  }

  const WidePath& path_;
  PathPieceSink& sink_;
  EngineLog* log_;
  const bool round_;
  // The path's own centre line without its repeated points.
  std::span<const int32_t> own_;
  // The (extended) centre line and the same as integers: kept from path to path so that
  // a path costs no allocation of its own.
  std::vector<double>& centre_ = ScratchCentre();
  std::vector<int32_t>& points_ = ScratchPoints();
  PathCutResult result_;
};

// A 2-point path that is only counted: one piece (none when its outline would be
// empty), found without building the outline when no outline point can leave the
// 32-bit range. Empty when the outline must be built after all.
std::optional<std::optional<PathCutter::Piece>> PathCutter::CountedPiece() const {
  if (!path_.count_only || own_.size() != 4) return std::nullopt;
  // Every outline point lies within the half-width of a centre-line point.
  const double limit = 2147483647.0 - path_.width / 2.0 - 2;
  for (double value : centre_) {
    if (!(std::fabs(value) < limit)) return std::nullopt;
  }
  const bool empty = round_ ? Length(At(centre_, 1) - At(centre_, 0)) < 0.001
                            : points_[0] == points_[2] && points_[1] == points_[3];
  if (empty) return std::optional<Piece>();
  Piece piece;
  piece.points = piece.consumed = 2;
  return std::optional<Piece>(std::move(piece));
}

std::optional<PathCutter::Piece> PathCutter::Build(int start, int e) {
  if (e == 2) {
    if (std::optional<std::optional<Piece>> counted = CountedPiece()) return std::move(*counted);
  }
  Piece piece;
  piece.points = e;
  const std::span<const double> from = std::span<const double>(centre_).subspan(2 * start);
  if (round_) {
    RoundPathOutline(from.first(2 * static_cast<size_t>(e)), path_.width / 2.0, piece.outline);
    piece.consumed = e;
    if (piece.outline.empty()) return std::nullopt;
    return piece;
  }
  // An outline of e points takes at most 2e + 4: no need to clear the whole room.
  int32_t room = std::min<int32_t>(kOutlineRoom, 2 * e + 4);
  piece.outline.assign(2 * static_cast<size_t>(room), 0.0);
  piece.consumed = PathToOutline(e, std::span<const int32_t>(points_).subspan(2 * start, 2 * e),
                                 path_.width, std::span<double>(piece.outline), true, room);
  if (piece.consumed < 2) return std::nullopt;
  piece.outline.resize(2 * static_cast<size_t>(room));
  // Two points give the rectangle with the end point on its far side: that point goes.
  if (e == 2 && room == 6)
    piece.outline.erase(piece.outline.begin() + 4, piece.outline.begin() + 6);
  return piece;
}

bool PathCutter::Crosses(const Piece& piece) const {
  return piece.points >= 3 && OutlineCrosses(piece.outline);
}

// The longest piece from `start` whose outline does not cross itself. Piece lengths
// are tried doubling from 3, then halving between the last good and the first bad
// one, so that a long path costs a few outline tests rather than one per point.
std::optional<PathCutter::Piece> PathCutter::LongestPiece(int start, int remaining,
                                                          bool* shortened) {
  *shortened = false;
  std::optional<Piece> good = Build(start, std::min(remaining, 2));
  if (!good || remaining == 2) return good;
  int bad = 0;
  for (int e = 3;; e = std::min(remaining, 2 * e - 1)) {
    std::optional<Piece> piece = Build(start, e);
    if (!piece) return good;
    if (Crosses(*piece)) {
      bad = e;
      break;
    }
    // Beyond the point where the outline stopped, a longer piece is the same piece.
    const bool last = e == remaining || piece->consumed < e;
    good = std::move(piece);
    if (last) return good;
  }
  *shortened = true;
  while (bad - good->points > 1) {
    const int e = (good->points + bad) / 2;
    std::optional<Piece> piece = Build(start, e);
    if (!piece || Crosses(*piece)) {
      bad = e;
    } else {
      good = std::move(piece);
    }
  }
  return good;
}

// The centre-line points of a round piece, numbered from its first.
void PathCutter::LogCentre(int first, int count) {
  if (log_ == nullptr) return;
  for (int i = 0; i < count; ++i) {
    const Vec p = At(centre_, static_cast<size_t>(first + i));
    Log("\r\n" + std::to_string(i) + " " + Printf("%9.0lf ", p.x) + Printf("%9.0lf ", p.y));
  }
}

void PathCutter::HandOver(const std::vector<double>& outline) {
  thread_local std::vector<int32_t> xy;
  RoundInto(outline, &result_.fits, xy);
  sink_.Outline(xy);
  ++result_.pieces;
}

// The point before `index` becomes the midpoint of the segment into it.
void PathCutter::Midpoint(int index) {
  for (int axis = 0; axis < 2; ++axis) {
    double& before = centre_[2 * (index - 1) + axis];
    before = (before + centre_[2 * index + axis]) / 2;
    points_[2 * (index - 1) + axis] = RoundToInt32(before, &result_.fits);
  }
}

void PathCutter::Output(const Piece& piece, int start, bool first_piece) {
  if (round_) {
    // A later piece starts half a segment back, so that it overlaps the one before; an
    // outline that would then cross itself goes without the overlap.
    if (!first_piece) {
      Midpoint(start);
      thread_local std::vector<double> overlapping;
      const std::span<const double> from =
          std::span<const double>(centre_).subspan(2 * (start - 1));
      const int points = RoundPathOutline(from.first(2 * static_cast<size_t>(piece.points + 1)),
                                          path_.width / 2.0, overlapping);
      if (points > 0 && !OutlineCrosses(overlapping)) {
        LogCentre(start - 1, piece.points + 1);
        HandOver(overlapping);
        return;
      }
    }
    LogCentre(start, piece.points);
    HandOver(piece.outline);
    return;
  }
  if (path_.outlined) {
    HandOver(piece.outline);
    return;
  }
  thread_local std::vector<int32_t> xy;
  xy.clear();
  if (!first_piece) {
    const Vec mid = 0.5 * (At(centre_, start - 1) + At(centre_, start));
    xy.insert(xy.end(), {RoundToInt32(mid.x, &result_.fits), RoundToInt32(mid.y, &result_.fits)});
  }
  const size_t n = own_.size() / 2;
  for (int i = start; i < start + piece.consumed; ++i) {
    // The path's own end points: its path type extends them again.
    const bool end = i == 0 || static_cast<size_t>(i) + 1 == n;
    const std::span<const int32_t> source = end ? own_ : std::span<const int32_t>(points_);
    xy.insert(xy.end(), {source[2 * i], source[2 * i + 1]});
  }
  Log("\r\nPairs:\r\n");
  for (size_t i = 0; i < xy.size(); i += 2) {
    Log(Printf("%9.0lf ", xy[i]) + "," + Printf("%9.0lf ", xy[i + 1]) + "\r\n");
  }
  sink_.PathPiece(xy);
  ++result_.pieces;
}

void PathCutter::CutRun(int start, int count) {
  int remaining = count;
  bool first_piece = true;
  while (remaining >= 2) {
    bool shortened = false;
    const std::optional<Piece> piece = LongestPiece(start, remaining, &shortened);
    if (!piece) {
      // An outline with a zero-length first segment is skipped: go on from the next point.
      ++start;
      --remaining;
      continue;
    }
    Output(*piece, start, first_piece);
    first_piece = false;
    const int d = piece->consumed;
    // A piece cut short by a crossing is followed from one point back (never from its
    // own start, which would repeat it).
    if (shortened && !round_ && d > 2) {
      start += d - 2;
      remaining -= d - 2;
      Midpoint(start);
    } else {
      start += d - 1;
      remaining -= d - 1;
    }
  }
}

PathCutResult PathCutter::Run() {
  // Repeated points go before the ends are extended: an end given twice has no segment
  // to be extended along, and a corner given twice none to be mitred with.
  thread_local std::vector<int32_t> distinct;
  own_ = DistinctPathPoints(path_.xy, distinct);
  const size_t n = own_.size() / 2;
  if (n < 2) {
    result_.at_one_place = n == 1;
    return result_;
  }
  centre_.assign(own_.begin(), own_.end());
  if (path_.pathtype > 1) {
    const double half = path_.width / 2.0;
    Extend(&centre_[0], &centre_[2], half);
    Extend(&centre_[2 * (n - 1)], &centre_[2 * (n - 2)], half);
  }
  RoundInto(centre_, &result_.fits, points_);
  // A path that is not round is one run (and costs no list of runs).
  const PathRun whole{0, static_cast<int>(n)};
  std::vector<PathRun> split;
  if (round_) split = SplitPathRuns(centre_, path_.width);
  const std::span<const PathRun> runs =
      round_ ? std::span<const PathRun>(split) : std::span(&whole, 1);
  for (size_t k = 0; k < runs.size(); ++k) {
    const int count = runs[k].count + (k + 1 < runs.size() ? 1 : 0);
    if (log_ != nullptr) {
      char text[96];
      std::snprintf(text, sizeof text, "\r\n Path: offset:%d count:%d type:%d", runs[k].first,
                    count, path_.pathtype);
      Log(text);
    }
    if (count >= 2) CutRun(runs[k].first, count);
  }
  return result_;
}

}  // namespace

double DirectionAngle(double dy, double dx) {
  if (std::fabs(dx) + std::fabs(dy) < 1e-12) return 0;
  if (std::fabs(dx) < 1e-12) return dy < 0 ? -kHalfPi : kHalfPi;
  return std::atan2(dy, dx);
}

int FindSelfCrossing(std::span<const double> xy, int edge_count, double tolerance, bool wrap) {
  for (int i = 0; i < edge_count; ++i) {
    const Vec a = At(xy, static_cast<size_t>(i)), b = At(xy, static_cast<size_t>(i) + 1);
    for (int j = i + 2; j < edge_count; ++j) {
      if (i == 0 && j == edge_count - 1 && !wrap) continue;
      const Vec c = At(xy, static_cast<size_t>(j)), d = At(xy, static_cast<size_t>(j) + 1);
      if (EdgesCross(a, b, c, d, tolerance)) return i;
    }
  }
  return -1;
}

namespace {

// Whether the inner corner of the join at b (segments a-b, b-c) lies beyond the middle
// of either segment, where the inner side of a round outline would fold back.
bool InnerCornerBeyondSegments(Vec a, Vec b, Vec c, double half_width) {
  const Vec first = b - a, second = c - b;
  const double first_length = Length(first), second_length = Length(second);
  const Vec u = (1 / first_length) * first, v = (1 / second_length) * second;
  const double sine = Cross(u, v), cosine = Dot(u, v);
  if (std::fabs(sine) <= 1e-6 && cosine > 0) return false;  // straight on
  if (1 + cosine < 1e-9) return true;
  const double reach = half_width * std::fabs(sine) / (1 + cosine);  // h * |tan(turn / 2)|
  return reach > first_length / 2 || reach > second_length / 2;
}

}  // namespace

std::vector<PathRun> SplitPathRuns(std::span<const double> centre, double width) {
  const int n = static_cast<int>(centre.size() / 2);
  std::vector<PathRun> runs;
  int first = 0;
  const auto end_run = [&](int last, int next) {
    runs.push_back({first, last - first + 1});
    first = next;
  };
  for (int i = 0; i + 2 < n;) {
    const Vec a = At(centre, i), b = At(centre, i + 1), c = At(centre, i + 2);
    const Vec in = b - a, out = c - b;
    if (std::fabs(in.x) + std::fabs(in.y) < 1e-6 || std::fabs(out.x) + std::fabs(out.y) < 1e-6) {
      end_run(i, i + 1);
      i += 1;
      continue;
    }
    double back = DirectionAngle(a.y - b.y, a.x - b.x);
    double ahead = DirectionAngle(out.y, out.x);
    if (std::fabs(back + kPi) < 0.001) back = kPi;
    if (std::fabs(ahead + kPi) < 0.001) ahead = kPi;
    const double limit = std::fabs(back) < 1e-6 ? 0.01 : 0.01 * std::fabs(back);
    if (std::fabs(back - ahead) < limit) {  // the path turns straight back
      end_run(i, i + 1);
      i += 1;
    } else if (InnerCornerBeyondSegments(a, b, c, width / 2)) {
      end_run(i, i + 2);
      runs.push_back({i + 1, 1});
      i += 2;
    } else {
      i += 1;
    }
  }
  runs.push_back({first, n - first});
  return runs;
}

int RoundPathOutline(std::span<const double> centre, double h, std::vector<double>& outline) {
  outline.clear();
  // Working lists kept from call to call: a path costs no allocation of its own.
  thread_local std::vector<Vec> p, u, right, ring;
  DistinctPoints(centre, p);
  const size_t m = p.size();
  if (m < 2) return 0;
  u.resize(m - 1);
  for (size_t k = 0; k + 1 < m; ++k) u[k] = (1 / Length(p[k + 1] - p[k])) * (p[k + 1] - p[k]);

  // The left side is built in the ring itself, which starts with it.
  std::vector<Vec>& left = ring;
  left.assign(1, p[0] + h * Normal(u[0]));
  right.assign(1, p[0] - h * Normal(u[0]));
  for (size_t j = 1; j + 1 < m; ++j) {
    Join(p[j], u[j - 1], u[j], h, +1, left);
    Join(p[j], u[j - 1], u[j], h, -1, right);
  }
  const Vec last_normal = Normal(u[m - 2]);
  left.push_back(p[m - 1] + h * last_normal);
  right.push_back(p[m - 1] - h * last_normal);

  Arc(p[m - 1], h, AngleOf(last_normal), -kPi, ring);  // ends on the right side's end
  ring.insert(ring.end(), right.rbegin() + 1, right.rend());
  Arc(p[0], h, AngleOf(-1 * Normal(u[0])), -kPi, ring);  // ends on the left side's start
  ring.back() = ring.front();                            // closed exactly
  outline.reserve(2 * ring.size());
  for (const Vec& point : ring) outline.insert(outline.end(), {point.x, point.y});
  return static_cast<int>(ring.size());
}

bool IsPathOutlined(const PathModeContext& context, int32_t width, int pathtype) {
  switch (context.path_mode) {
    case kPathLweight: {
      const double factor =
          context.user_per_database * context.aperture_factor / context.scale_factor;
      if (!(factor > 0)) return true;  // no units yet: no width can match an aperture
      const double aperture =
          context.apertures ? context.apertures->NearestApertureSize(width * factor) : 0;
      const double matching = aperture / factor;
      // Without an aperture of that size (or any at all) the path is outlined.
      return !(matching > 0) || std::fabs((matching - width) / matching) >= 0.001;
    }
    case kPathLwidening:
      return false;
    case kPathRound:
      return pathtype != 1;
    default:
      return true;
  }
}

PathCutResult CutWidePath(const WidePath& path, PathPieceSink& sink, EngineLog* debug_log) {
  if (path.xy.size() / 2 < 2 || path.width <= 0) return {};
  return PathCutter(path, sink, debug_log).Run();
}

}  // namespace kavrinth
