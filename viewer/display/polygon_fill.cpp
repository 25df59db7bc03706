// The even-odd scan-line fill. Each edge's crossing on a row comes from the integer walk
// the edge would take from its upper end, computed in closed form for the first row in
// view and stepped from there, so an edge far outside the view costs no more than one
// inside it and its pixels do not depend on where the view lies.
#include "viewer/display/polygon_fill.h"

#include <algorithm>
#include <cstdlib>

namespace kavrinth {
namespace {

// Sorts a short list in place (a row rarely holds more than a few crossings).
void SortCrossings(int64_t* v, size_t n) {
  if (n > 16) {
    std::sort(v, v + n);
    return;
  }
  for (size_t i = 1; i < n; ++i) {
    const int64_t key = v[i];
    size_t j = i;
    for (; j > 0 && v[j - 1] > key; --j) v[j] = v[j - 1];
    v[j] = key;
  }
}

}  // namespace

void PolygonFill::AddEdge(LogicalPoint p, LogicalPoint q, const ViewRect& view) {
  if (p.y > q.y) std::swap(p, q);
  Edge e;
  if (p.y == q.y) {
    if (p.y < view.top || p.y > view.bottom) return;
    e.horizontal = true;
    e.first_row = e.last_row = p.y;
    e.x0 = std::min(p.x, q.x);
    e.x1 = std::max(p.x, q.x);
    edges_.push_back(e);
    return;
  }
  const int64_t ady = int64_t{q.y} - p.y;
  const int64_t dx = int64_t{q.x} - p.x;
  const int64_t adx = std::llabs(dx);
  const int64_t first = std::max<int64_t>(int64_t{p.y} + 1, view.top);
  const int64_t last = std::min<int64_t>(q.y, view.bottom);
  if (first > last) return;
  e.first_row = static_cast<int32_t>(first);
  e.last_row = static_cast<int32_t>(last);
  e.x0 = p.x;
  e.x1 = q.x;
  e.step = dx < 0 ? -1 : 1;
  // Crossing r rows below the upper end: floor((a * r + b) / d) steps along x.
  // Steep edges step x at the middle of their walk: b = ady; shallow ones reach each row
  // at the first x whose walk steps down: b = d - 1 - adx.
  const int64_t a = 2 * adx;
  const int64_t d = 2 * ady;
  const int64_t b = ady >= adx ? ady : d - 1 - adx;
  const int64_t rows = first - p.y;
  if (rows < (int64_t{1} << 28) && a < (int64_t{1} << 33)) {
    const int64_t numerator = a * rows + b;
    e.q = numerator / d;
    e.remainder = numerator % d;
  } else {
    // Far above the view: the walk's position on the first row in view needs 128 bits.
    const __int128 numerator = __int128{a} * rows + b;
    e.q = static_cast<int64_t>(numerator / d);
    e.remainder = static_cast<int64_t>(numerator % d);
  }
  if (a < d) {
    e.a_quotient = 0;
    e.a_remainder = a;
  } else {
    e.a_quotient = a / d;
    e.a_remainder = a % d;
  }
  e.d = d;
  edges_.push_back(e);
}

int PolygonFill::FillPolygon(DisplaySurface* surface, std::span<const LogicalPoint> points,
                             const ViewRect& view_in) {
  if (surface == nullptr || !surface->valid()) return 1;
  ViewRect view = view_in;
  view.left = std::max(view.left, 0);
  view.top = std::max(view.top, 0);
  view.right = std::min(view.right, surface->width() - 1);
  view.bottom = std::min(view.bottom, surface->height() - 1);
  if (view.left > view.right || view.top > view.bottom) return 1;
  edges_.clear();
  const size_t n = points.size();
  size_t start = 0;
  for (size_t i = 0; i <= n; ++i) {
    if (i < n && !IsPolygonBreak(points[i])) continue;
    // The sub-polygon start..i-1, closed back to its first point.
    if (i > start) {
      for (size_t k = start; k + 1 < i; ++k) AddEdge(points[k], points[k + 1], view);
      if (points[i - 1] != points[start]) AddEdge(points[i - 1], points[start], view);
    }
    start = i + 1;
  }
  if (edges_.empty()) return 1;
  ScanEdges(surface, view);
  return 0;
}

void PolygonFill::ScanEdges(DisplaySurface* surface, const ViewRect& view) {
  const auto by_row = [](const Edge& a, const Edge& b) { return a.first_row < b.first_row; };
  if (edges_.size() > 32) {
    std::stable_sort(edges_.begin(), edges_.end(), by_row);
  } else {
    // Few edges (a flash has four): a stable insertion sort without allocation.
    for (size_t i = 1; i < edges_.size(); ++i) {
      const Edge key = edges_[i];
      size_t j = i;
      for (; j > 0 && by_row(key, edges_[j - 1]); --j) edges_[j] = edges_[j - 1];
      edges_[j] = key;
    }
  }
  const size_t count = edges_.size();
  if (active_.size() < count) active_.resize(count);
  if (crossings_.size() < 2 * count) crossings_.resize(2 * count);
  Edge* edges = edges_.data();
  int32_t* active = active_.data();
  int64_t* cross = crossings_.data();
  size_t active_count = 0;
  size_t next = 0;
  int32_t y = edges[0].first_row;
  while (next < count || active_count > 0) {
    if (active_count == 0 && edges[next].first_row > y) y = edges[next].first_row;
    while (next < count && edges[next].first_row == y) {
      active[active_count++] = static_cast<int32_t>(next++);
    }
    size_t m = 0;
    size_t kept = 0;
    for (size_t i = 0; i < active_count; ++i) {
      Edge& e = edges[active[i]];
      if (e.horizontal) {
        // Both crossings on one side of the view change no span in it.
        if (e.x0 <= view.right && e.x1 >= view.left) {
          cross[m++] = e.x0;
          cross[m++] = e.x1;
          surface->DibFillSpan(std::max(e.x0, view.left), std::min(e.x1, view.right), y);
        }
      } else {
        cross[m++] = int64_t{e.x0} + e.step * e.q;
        e.q += e.a_quotient;
        e.remainder += e.a_remainder;
        if (e.remainder >= e.d) e.remainder -= e.d, ++e.q;
      }
      if (e.last_row > y) active[kept++] = active[i];
    }
    active_count = kept;
    if (m == 2) {
      if (cross[0] > cross[1]) std::swap(cross[0], cross[1]);
    } else {
      SortCrossings(cross, m);
    }
    for (size_t k = 0; k + 1 < m; k += 2) {
      const int64_t x1 = std::max<int64_t>(cross[k], view.left);
      const int64_t x2 = std::min<int64_t>(cross[k + 1], view.right);
      if (x1 <= x2) surface->DibFillSpan(static_cast<int32_t>(x1), static_cast<int32_t>(x2), y);
    }
    if (m % 2 == 1 && cross[m - 1] >= view.left && cross[m - 1] <= view.right) {
      const int32_t x = static_cast<int32_t>(cross[m - 1]);
      surface->DibFillSpan(x, x, y);
    }
    ++y;
  }
}

}  // namespace kavrinth
