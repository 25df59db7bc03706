// Frame clipping: the grid's frame numbers, the boundary list and file, the per-layer WF2
// output, and the split of each frame polygon into pieces convex in x.
#include "viewer/model/clip_frames.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>

#include "platform/files.h"
#include "viewer/model/gdsformat_writer.h"

namespace kavrinth {
namespace {

constexpr double kTiny = 0.001;
// Cuts closer than this to the strip's left edge are not taken.
constexpr double kLeastCut = 100.0;
// Strips start this far right of their nominal edge, off the polygon's integer vertices.
constexpr double kStripOffset = 0.0101;
constexpr int32_t kMostPiecePoints = 199;
// BOUNDARY, LAYER, DATATYPE and the point record's head.
constexpr int32_t kElementHead = 20;

int32_t Round(double value) {
  const double rounded = std::trunc(value >= 0 ? value + 0.5 : value - 0.5);
  if (!(rounded > INT32_MIN)) return INT32_MIN;
  return rounded < INT32_MAX ? static_cast<int32_t>(rounded) : INT32_MAX;
}

// The grid column (or row) of a coordinate: truncated, one lower for a negative value.
int64_t GridIndex(double value, double size) {
  const double index = std::trunc(value / size);
  const double clamped = std::clamp(index, double{INT32_MIN}, double{INT32_MAX});
  return static_cast<int64_t>(clamped) - (value < 0 ? 1 : 0);
}

int32_t Little32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

int32_t Big32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 |
                              uint32_t{p[3]});
}

struct FileDescriptor {
  explicit FileDescriptor(int descriptor) : fd(descriptor) {}
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int fd;
};

}  // namespace

// ---- find_x_cut ----

namespace {

// The levels through the ring's turns in y and its horizontal edges, ascending, none
// within 0.001 below the next.
void CutLevels(const std::vector<double>& p, int32_t n, std::vector<double>* levels) {
  levels->clear();
  for (int32_t i = 0; i + 2 <= n; ++i) {
    const double y0 = p[2 * i + 1], y1 = p[2 * i + 3], y2 = p[2 * i + 5];
    if ((y0 - y1) * (y1 - y2) <= 0) levels->push_back(y1);
  }
  std::sort(levels->begin(), levels->end());
  size_t kept = 0;
  for (size_t i = 0; i < levels->size(); ++i) {
    const bool close_below_next = i + 1 < levels->size() && (*levels)[i + 1] - (*levels)[i] < kTiny;
    if (!close_below_next) (*levels)[kept++] = (*levels)[i];
  }
  levels->resize(kept);
}

// The x values where the level meets the ring, and the marks of extreme vertices and of
// horizontal edges' left ends.
void LevelCrossings(const std::vector<double>& p, int32_t n, double y, XCutScratch* s) {
  s->values.clear();
  s->marks.clear();
  const auto py = [&p](int32_t i) { return p[2 * i + 1]; };
  for (int32_t i = 0; i + 1 < n; ++i) {
    const double px = p[2 * i], qx = p[2 * i + 2];
    const double pyv = py(i), qy = py(i + 1);
    if (std::fabs(pyv - qy) <= kTiny) {
      if (std::fabs(y - pyv) <= kTiny) {
        s->values.insert(s->values.end(), {px, qx});
        if (px != qx) s->marks.push_back(std::min(px, qx));
      }
    } else if (std::fabs(pyv - y) < kTiny) {
      const double ry = py(i == 0 ? n - 2 : i - 1);
      if ((pyv - ry) * (pyv - qy) > 0) {
        s->values.push_back(px);
        s->marks.push_back(px);
      }
    } else if (std::fabs(qy - y) < kTiny) {
      const double ty = py(i + 2);  // P(n) is P(1)
      if ((ty - qy) * (pyv - qy) > 0) {
        s->values.push_back(qx);
        s->marks.push_back(qx);
      }
    } else if ((pyv - y) * (y - qy) >= 0) {
      s->values.push_back(px + (y - pyv) / (qy - pyv) * (qx - px));
    }
  }
  std::sort(s->values.begin(), s->values.end());
}

}  // namespace

int find_x_cut(std::vector<double>& points, int32_t n, XCutScratch& scratch, double* width) {
  *width = -1.0;
  if (n < 3) return 0;
  if (points.size() < 2 * static_cast<size_t>(n) + 2) points.resize(2 * static_cast<size_t>(n) + 2);
  points[2 * n] = points[2];
  points[2 * n + 1] = points[3];
  CutLevels(points, n, &scratch.levels);
  double best = DBL_MAX;
  double largest = -DBL_MAX;
  for (const double level : scratch.levels) {
    LevelCrossings(points, n, level, &scratch);
    if (scratch.values.empty()) continue;
    largest = std::max(largest, scratch.values.back());
    const auto& v = scratch.values;
    const auto marked = [&scratch](double x) {
      return std::find(scratch.marks.begin(), scratch.marks.end(), x) != scratch.marks.end();
    };
    // The gaps between the intervals the level cuts: a marked vertex at a gap's edge
    // separates the ring there.
    bool found = false;
    for (size_t m = 2; v.size() >= 3 && m < v.size() && !found; m += 2) {
      if (v[m] <= kLeastCut) continue;
      for (const double candidate : {v[m - 1], v[m]}) {
        if (marked(candidate) && candidate > kLeastCut && candidate < best) {
          best = candidate;
          found = true;
          break;
        }
      }
    }
  }
  if (best < DBL_MAX) {
    *width = best;
    return 1;
  }
  for (int32_t i = 0; i < n; ++i) largest = std::max(largest, points[2 * i]);
  *width = largest;
  return 0;
}

// ---- The facility ----

FrameClipping::FrameClipping() : names_(kFrameClipLayers) {
  clipper_.set_join_grid(settings_.unit / 10);
}

void FrameClipping::Message(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  ++clipper_.arrays().error_count;
}

uint32_t FrameClipping::FrameNumber(int32_t column, int32_t row) const {
  const int64_t dc = int64_t{column} - settings_.first_column;
  const int64_t dr = int64_t{row} - settings_.first_row;
  const int64_t f = settings_.rows;
  const bool upwards = settings_.motion == 1 && dc % 2 != 0;
  return static_cast<uint32_t>(dc * f + (upwards ? dr : f - 1 - dr));
}

const std::string& FrameClipping::Wf2FileName(int32_t layer) const {
  static const std::string kNone;
  return layer >= 0 && layer < kFrameClipLayers ? names_[layer] : kNone;
}

int FrameClipping::OpenBoundaryFile(const std::string& path) {
  // Every element goes straight to the file, so that its recorded offset is where it lies.
  GdsOutSetFlags(kGdsOutNoSpooling);
  if (GdsOutOpen(path, 1e-6, 0.001, "", false) != kGdsOutOk ||
      GdsOutBeginStructure("BOUNDARIES") != kGdsOutOk) {
    GdsOutClose();
    GdsOutSetFlags(0);
    return 1;
  }
  boundary_file_ = path;
  return 0;
}

int FrameClipping::CloseBoundaryFile() {
  GdsOutEndStructure();
  const int result = GdsOutClose();
  GdsOutSetFlags(0);
  return result == kGdsOutOk ? 0 : 1;
}

int FrameClipping::add_bndry_data(const double* points, int32_t n, int32_t column, int32_t row,
                                  int32_t layer) {
  if (n < 4) return 0;
  if (n > kMostPiecePoints) Message("Warning: add_bndry_data: vertex count exceeds 199\n");
  if (n > kGdsOutMaxPoints) {
    // The boundary file holds no more points per element; a cut polygon would be wrong.
    Message("Warning: add_bndry_data: vertex count exceeds 5000, polygon not recorded\n");
    return -1;
  }
  if (list_.size() >= capacity_) {
    Message("Warning: add_bndry_data: BndryListCount exceeds " + std::to_string(capacity_) + "\n");
    return -1;
  }
  const int64_t offset = GetGdsOutSize();
  if (offset < 0) {
    Message("\nerror: add_bndry_data: no boundary file.\n");
    return -1;
  }
  list_.push_back({FrameNumber(column, row), offset, layer, kElementHead + 8 * n});
  gds_points_.resize(n);
  for (int32_t i = 0; i < n; ++i) gds_points_[i] = {points[2 * i], points[2 * i + 1]};
  GdsOutBoundaryD(gds_points_, layer, 0, 0, 0);
  return 0;
}

int FrameClipping::ClipAndEmitBoundary(double scale, int32_t count, int32_t layer) {
  count = std::min<int32_t>(count, static_cast<int32_t>(polygon_buffer_.size())) & ~1;
  if (count < 8) return 0;
  int64_t min_x = 2147483647, min_y = 2147483647, max_x = -2147483646, max_y = -2147483646;
  for (int32_t i = 0; i < count; i += 2) {
    min_x = std::min<int64_t>(min_x, polygon_buffer_[i]);
    max_x = std::max<int64_t>(max_x, polygon_buffer_[i]);
    min_y = std::min<int64_t>(min_y, polygon_buffer_[i + 1]);
    max_y = std::max<int64_t>(max_y, polygon_buffer_[i + 1]);
  }
  const FrameClipSettings& s = settings_;
  const double box[] = {min_x * scale, min_y * scale, max_x * scale, max_y * scale};
  const int64_t c0 = std::max<int64_t>(GridIndex(box[0], s.frame_width), s.first_column);
  const int64_t c1 = std::min<int64_t>(GridIndex(box[2], s.frame_width), s.last_column);
  const int64_t r0 = std::max<int64_t>(GridIndex(box[1], s.frame_height), s.first_row);
  const int64_t r1 = std::min<int64_t>(GridIndex(box[3], s.frame_height), s.last_row);
  clipper_.set_join_grid(s.unit / 10);
  clipper_.joiner().set_touch_rule(s.touch_rule != 0);
  const int32_t abandoned_before = clipper_.abandoned_count();
  int refused = 0;
  bool full = false;
  for (int64_t c = c0; c <= c1; ++c) {
    for (int64_t r = r0; r <= r1; ++r) {
      std::vector<double>& work = clipper_.work();
      work.resize(count);
      for (int32_t i = 0; i < count; ++i) work[i] = polygon_buffer_[i] * scale;
      int32_t pieces = 0;
      const int result = clipper_.clip_to_frame(count / 2, c * s.frame_width, r * s.frame_height,
                                                s.frame_width, s.frame_height, box[0], box[1],
                                                box[2], box[3], &pieces, &piece_table_);
      if (result <= 0) continue;
      for (int32_t j = 0; j < pieces; ++j) {
        const int32_t start = piece_table_[2 * j];
        const int32_t end = piece_table_[2 * j + 1];
        if (end < 0) continue;  // a sliver
        const int added = add_bndry_data(&work[start], (end - start + 2) / 2,
                                         static_cast<int32_t>(c), static_cast<int32_t>(r), layer);
        if (added != 0) {
          ++refused;
          full = full || list_.size() >= capacity_;
        }
      }
    }
  }
  if (full) return -1;
  return clipper_.abandoned_count() - abandoned_before + refused;
}

// ---- WF2 output ----

namespace {

// Reads `length` bytes at `offset`: one positioned read per record, since the entries of a
// frame lie anywhere in the boundary file.
bool ReadAt(int fd, int64_t offset, uint8_t* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::pread(fd, data, length, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

}  // namespace

// Reads the entry's point record into the WF2 writer's point buffer.
bool FrameClipping::ReadBoundary(int fd, const BoundaryEntry& entry, int32_t* n) {
  uint8_t head[kElementHead];
  if (entry.offset < 0 || !ReadAt(fd, entry.offset, head, sizeof head)) return false;
  const int32_t count = (entry.size - kElementHead) / 8;
  const int type = head[18];
  const size_t length = (size_t{head[16]} << 8) | head[17];
  const bool element = head[2] == kGdsBoundary && head[6] == kGdsLayer && head[12] == kGdsDataType;
  struct Form {
    int type;
    size_t data;
  };
  const Form forms[] = {{kGdsOutCompressedBytes, 2 * size_t(count) + 6},
                        {kGdsOutCompressedWords, 4 * size_t(count) + 4},
                        {kGdsXy, 8 * size_t(count)}};
  const auto form = std::find_if(std::begin(forms), std::end(forms),
                                 [type](const Form& f) { return f.type == type; });
  if (!element || count < 1 || form == std::end(forms) || length != form->data + 4) return false;
  record_.resize(form->data);
  if (!ReadAt(fd, entry.offset + kElementHead, record_.data(), record_.size())) return false;
  std::vector<int32_t>& points = writer_.points();
  points.resize(2 * static_cast<size_t>(count));
  const uint8_t* data = record_.data();
  if (type == kGdsXy) {
    for (int32_t i = 0; i < 2 * count; ++i) points[i] = Big32(data + 4 * i);
  } else {
    // The first point little-endian, then deltas of signed bytes or 16-bit values (added
    // modulo 2^32, so that a damaged file cannot overflow).
    points[0] = Little32(data);
    points[1] = Little32(data + 4);
    const size_t step = type == kGdsOutCompressedBytes ? 1 : 2;
    const auto add = [](int32_t a, int32_t b) {
      return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
    };
    for (int32_t i = 1; i < count; ++i) {
      const uint8_t* d = data + 8 + 2 * step * (i - 1);
      const int32_t dx = step == 1 ? int8_t(d[0]) : int16_t(d[0] | d[1] << 8);
      const int32_t dy = step == 1 ? int8_t(d[1]) : int16_t(d[2] | d[3] << 8);
      points[2 * i] = add(points[2 * i - 2], dx);
      points[2 * i + 1] = add(points[2 * i - 1], dy);
    }
  }
  *n = count;
  return true;
}

int FrameClipping::write_wf2_frames(const std::string& path, int32_t layer) {
  settings_.touch_rule = 0;
  clipper_.joiner().set_touch_rule(false);
  clipper_.set_join_grid(settings_.unit / 10);
  std::stable_sort(list_.begin(), list_.end(), [](const BoundaryEntry& a, const BoundaryEntry& b) {
    return a.frame < b.frame;
  });
  if (layer >= 0 && layer < kFrameClipLayers) names_[layer] = path;
  const FileDescriptor boundaries(
      ::open(ResolveExistingPath(boundary_file_).c_str(), O_RDONLY | O_CLOEXEC));
  if (boundaries.fd < 0) {
    Message("\nerror: write_wf2_frames: cannot open the boundary file.\n");
    return -1;
  }
  const FrameClipSettings& s = settings_;
  Wf2Header header;
  header.motion = s.motion == 1 ? 1 : 0;
  header.frame_width = static_cast<int32_t>(std::trunc(s.frame_width / s.unit + 0.5));
  header.frame_height = static_cast<int32_t>(std::trunc(s.frame_height / s.unit + 0.5));
  header.grid = static_cast<float>(s.unit);
  header.glass_width = static_cast<int32_t>(std::trunc(s.glass_width + 0.5));
  header.glass_height = static_cast<int32_t>(std::trunc(s.glass_height + 0.5));
  header.strips = s.columns;
  header.frames_per_strip = s.rows;
  if (writer_.OpenWf2Output(path, header, s.first_column * s.frame_width,
                            s.first_row * s.frame_height) != kWf2Ok) {
    Message("\nerror: write_wf2_frames: cannot create " + path + ".\n");
    return -1;
  }
  int abandoned = 0;
  for (const BoundaryEntry& entry : list_) {
    if (entry.layer != layer) continue;
    int32_t n = 0;
    if (!ReadBoundary(boundaries.fd, entry, &n)) {
      Message("\nerror: write_wf2_frames: unreadable point record in the boundary file.\n");
      writer_.Abandon();
      return -1;
    }
    abandoned += ConvexInX(n, entry.frame, s.frame_width, s.frame_height);
  }
  const int64_t refused = writer_.refused();
  if (writer_.CloseWf2File() == kWf2Failed) {
    Message("\nerror: write_wf2_frames: cannot write " + path + ".\n");
    return -1;
  }
  return abandoned + static_cast<int>(std::min<int64_t>(refused, INT_MAX - abandoned));
}

void FrameClipping::FillRelative(double x0, double y0, int32_t n) {
  cut_points_.resize(2 * static_cast<size_t>(n) + 2);
  for (int32_t i = 0; i < n; ++i) {
    cut_points_[2 * i] = strip_polygon_[2 * i] - x0;
    cut_points_[2 * i + 1] = strip_polygon_[2 * i + 1] - y0;
  }
}

// Writes a closed ring (the first point repeated last) without its repeat: WF2 polygons
// close implicitly.
void FrameClipping::WritePiece(const double* points, int32_t coordinates, uint32_t frame) {
  if (coordinates >= 4 && points[0] == points[coordinates - 2] &&
      points[1] == points[coordinates - 1]) {
    coordinates -= 2;
  }
  std::vector<int32_t>& buffer = writer_.points();
  buffer.resize(coordinates);
  for (int32_t i = 0; i < coordinates; ++i) buffer[i] = Round(points[i]);
  writer_.WriteWf2Polygon(frame, coordinates);
}

int FrameClipping::ConvexInX(int32_t n, uint32_t frame, double frame_width, double frame_height) {
  const std::vector<int32_t>& points = writer_.points();
  if (n < 1 || points.size() < 2 * static_cast<size_t>(n)) return 0;
  const double width = frame_width / 0.001;
  const double height = frame_height / 0.001;
  strip_polygon_.assign(points.begin(), points.begin() + 2 * n);
  double min_x = DBL_MAX, min_y = DBL_MAX, max_x = -DBL_MAX, max_y = -DBL_MAX;
  for (int32_t i = 0; i < n; ++i) {
    min_x = std::min<double>(min_x, strip_polygon_[2 * i]);
    max_x = std::max<double>(max_x, strip_polygon_[2 * i]);
    min_y = std::min<double>(min_y, strip_polygon_[2 * i + 1]);
    max_y = std::max<double>(max_y, strip_polygon_[2 * i + 1]);
  }
  const double x_end = min_x + width;
  double x0 = min_x;
  FillRelative(x0, min_y, n);
  bool first = true;
  bool last = false;
  double strip = width;
  for (;;) {
    const int cut = find_x_cut(cut_points_, n, cut_scratch_, &strip);
    if (strip < kTiny) break;
    if (cut == 0) {
      if (first) {
        std::vector<double>& whole = clipper_.work();
        whole.assign(strip_polygon_.begin(), strip_polygon_.end());
        WritePiece(whole.data(), 2 * n, frame);
        break;
      }
      last = true;
    }
    first = false;
    std::vector<double>& work = clipper_.work();
    work.assign(strip_polygon_.begin(), strip_polygon_.end());
    int32_t pieces = 0;
    const int result = clipper_.clip_to_frame(n, x0 + kStripOffset, min_y, strip, height, min_x,
                                              min_y, max_x, max_y, &pieces, &piece_table_);
    if (result < 1) {
      Message("\nerror: ConvexInX: return from clip_to_frame.\n");
      return 1;
    }
    for (int32_t j = 0; j < pieces; ++j) {
      const int32_t start = piece_table_[2 * j];
      const int32_t end = piece_table_[2 * j + 1];
      if (end == -1 || end - start + 2 <= 3) continue;
      WritePiece(&work[start], end - start + 2, frame);
    }
    if (last) break;
    x0 += strip;
    if (x0 > x_end) break;
    FillRelative(x0, min_y, n);
  }
  return 0;
}

}  // namespace kavrinth
