// Frame clipping: boundaries cut to the frames of a rectangular grid and kept in a
// GDSII-format boundary file, then split per frame into pieces convex in x and written as
// a WF2 pattern, one layer per output file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gdsii/writer.h"
#include "viewer/model/clip_polygon.h"
#include "viewer/model/wf2_writer.h"

namespace kavrinth {

struct FrameClipSettings {
  double frame_width = 512.0;  // in the unit of the clipped coordinates (micrometres)
  double frame_height = 1024.0;
  double unit = 1.0;   // the WF2 grid step; the join grid is a tenth of it
  int32_t motion = 1;  // 1 serpentine frame order, anything else unidirectional
  double glass_width = 508.0;
  double glass_height = 508.0;
  int32_t touch_rule = 1;  // write_wf2_frames switches it off for good
  // The grid: columns are strips, rows (counted upwards) the frames of a strip.
  int32_t first_column = 0;
  int32_t last_column = 0;
  int32_t first_row = 0;
  int32_t last_row = 0;
  int32_t columns = 0;
  int32_t rows = 0;
};

// One polygon kept in the boundary file.
struct BoundaryEntry {
  uint32_t frame = 0;  // position of its frame in WF2 order
  int64_t offset = 0;  // of its element in the boundary file
  int32_t layer = 0;
  int32_t size = 0;  // 20 + 8 * points: the element's records up to plain points
};

// Layers 0 to 1023 have a WF2 file name.
inline constexpr int32_t kFrameClipLayers = 1024;

// find_x_cut's lists, kept between calls.
struct XCutScratch {
  std::vector<double> levels;
  std::vector<double> values;
  std::vector<double> marks;
};

// Looks for a cut through a closed ring (points relative to the strip's left edge, the last
// equal to the first, room for one more point): 1 with the cut's x in *width, or 0 with
// the ring's largest x.
int find_x_cut(std::vector<double>& points, int32_t n, XCutScratch& scratch, double* width);

class FrameClipping {
 public:
  FrameClipping();
  FrameClipping(const FrameClipping&) = delete;
  FrameClipping& operator=(const FrameClipping&) = delete;

  FrameClipSettings& settings() { return settings_; }
  // The boundary to clip: x, y integer pairs, the first point repeated last.
  std::vector<int32_t>& polygon_buffer() { return polygon_buffer_; }

  // The boundary file, written through the viewer's GDSII-format writer in big-endian
  // integers of thousandths of the unit: 0, or 1 when it cannot be created or written.
  int OpenBoundaryFile(const std::string& path);
  int CloseBoundaryFile();
  const std::string& boundary_file() const { return boundary_file_; }

  // The boundary list lives until it is cleared, so that every layer can be written.
  void SetBoundaryListCapacity(size_t entries) { capacity_ = entries; }
  const std::vector<BoundaryEntry>& boundary_list() const { return list_; }
  void ClearBoundaryList() { list_.clear(); }

  // Clips the boundary in the polygon buffer (count integers) times the scale to every
  // frame of the grid it reaches and records the pieces: the number of clips abandoned and
  // pieces refused, or -1 when the boundary list is full.
  int ClipAndEmitBoundary(double scale, int32_t count, int32_t layer);
  // Records one polygon (n points as x, y doubles) of the frame (column, row) and writes it
  // to the boundary file: 0 (also for fewer than 4 points, not recorded), or -1 when the
  // list is full or the polygon has more points than a boundary holds (not recorded).
  int add_bndry_data(const double* points, int32_t n, int32_t column, int32_t row, int32_t layer);
  // Writes the layer's recorded polygons as a WF2 file: the number of pieces abandoned or
  // refused (0 when all were written), or -1 when the boundary file cannot be read, holds
  // a point record of another kind, or the WF2 file cannot be written (not committed).
  int write_wf2_frames(const std::string& path, int32_t layer);
  // Splits the polygon of n points in the WF2 writer's point buffer into pieces convex in x
  // and writes them into the frame: the number of failed clips (0 or 1).
  int ConvexInX(int32_t n, uint32_t frame, double frame_width, double frame_height);

  // The WF2 position of the frame in column c and row r.
  uint32_t FrameNumber(int32_t column, int32_t row) const;
  // The WF2 file written last for a layer (empty when none).
  const std::string& Wf2FileName(int32_t layer) const;
  // Every message printed so far.
  int32_t error_count() const { return clipper_.error_count(); }
  FrameClipper& clipper() { return clipper_; }
  Wf2Writer& writer() { return writer_; }

 private:
  void Message(const std::string& text);
  bool ReadBoundary(int fd, const BoundaryEntry& entry, int32_t* n);
  void FillRelative(double x0, double y0, int32_t n);
  void WritePiece(const double* points, int32_t coordinates, uint32_t frame);

  FrameClipSettings settings_;
  FrameClipper clipper_;
  Wf2Writer writer_;
  std::vector<int32_t> polygon_buffer_;
  std::vector<BoundaryEntry> list_;
  size_t capacity_ = size_t{1} << 26;
  std::string boundary_file_;
  std::vector<std::string> names_;
  // Buffers kept between polygons.
  std::vector<int32_t> piece_table_;
  std::vector<GdsPoint> gds_points_;
  std::vector<uint8_t> record_;
  std::vector<int32_t> strip_polygon_;
  std::vector<double> cut_points_;
  XCutScratch cut_scratch_;
};

}  // namespace kavrinth
