// Writing WF2 files: the record words, polygons put into their frames from pattern
// points (frame clipping) or from the layout database's boundaries (saving a loaded
// layer), and the commit that replaces the target only with a complete file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gdsii/output_file.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/scan_progress.h"
#include "viewer/model/wf2_format.h"

namespace kavrinth {

// Frames are written in increasing order only; frames not asked for are written empty.
// Write errors are kept and make the close fail; an output that is not closed cleanly
// (error, Cancel, or the writer destroyed) never replaces its target.
class Wf2Writer {
 public:
  Wf2Writer() = default;
  Wf2Writer(const Wf2Writer&) = delete;
  Wf2Writer& operator=(const Wf2Writer&) = delete;

  // ---- The clipping path: header values given, the header written with the first frame.
  // The origin (x0, y0) is the pattern's lower-left corner in micrometres. kWf2Failed when
  // the geometry is unusable (no strips or frames, sides beyond 16 bits) or the file
  // cannot be created.
  int OpenWf2Output(const std::string& path, const Wf2Header& header, double x0, double y0);
  // The point buffer of WriteWf2Polygon: x, y pairs in thousandths of a micrometre.
  std::vector<int32_t>& points() { return points_; }
  // Writes the first count / 2 points of the buffer as a polygon of the frame (count < 0
  // writes nothing). kWf2Limited, and nothing written, for a frame before the last one
  // written or beyond the pattern, or a polygon of no points or more than the readers
  // take (8191).
  int WriteWf2Polygon(int64_t frame, int32_t count);
  // Writes the remaining frames and the end words, and replaces the target: kWf2Ok, or
  // kWf2Failed after a write error (the target is then left alone).
  int CloseWf2File();

  // ---- The saving path: the header copied from a WF2 file, whose geometry it follows.
  int OpenWf2Copy(const std::string& template_path, const std::string& target_path);
  // Writes one boundary of the layout database (its data words) into its frame; the
  // library stores `units_per_step` database units per grid step.
  int WriteWf2Element(const GdxWord* data, int32_t units_per_step);
  // Writes every boundary of the library's current structure that is not marked deleted
  // (selection bit 2). A layer held whole is saved with section 0; a layer loaded in
  // sections by saving each section in order. kWf2Cancelled after Cancel: the output is
  // abandoned and its temporary removed.
  int SaveWf2File(ScanProgress* progress, GdxHandle library, const std::string& file_name,
                  int32_t layer, int32_t section);
  // As CloseWf2File. When the target is the file the header came from, the frame index of
  // every layer loaded in sections from that file is built again from the new file.
  int CommitWf2File();

  // ---- Word writers ----
  int WriteWf2Header();
  void Wf2PutDataStart() { PutHead(kWf2DataStart, 0); }
  void Wf2PutEndOfData() { PutHead(kWf2EndOfData, 0); }
  void Wf2PutEndOfStrip() { PutHead(kWf2EndOfStrip, 0); }
  void Wf2PutEndOfFrame() { PutHead(kWf2EndOfFrame, 0); }
  void Wf2PutBeginStrip(int64_t strip) { PutHead(kWf2BeginStrip, static_cast<uint16_t>(strip)); }
  void Wf2PutBeginFrame(int64_t position) {
    PutHead(kWf2BeginFrame, static_cast<uint16_t>(position));
  }
  // The polygon record (low 16 bits of each value) and its end word; kWf2Limited and
  // nothing written for 0 or more than 8191 points.
  int Wf2PutPolygon(int32_t count, const int32_t* points);

  // Drops the output: its temporary is removed and the target stays as it was.
  void Abandon();
  bool is_open() const { return out_ != nullptr && out_->is_open(); }
  const Wf2Header& header() const { return header_; }
  // Polygons refused so far (out of order, beyond the pattern or too large).
  int64_t refused() const { return refused_; }
  // The date of the next header written (else today).
  void SetDateForTesting(int32_t year, int32_t day) { date_ = {year, day}; }

 private:
  int Advance(int64_t frame);
  int Finish();
  void PutHead(uint8_t code, uint16_t value);
  void Refuse() { ++refused_; }
  void RebuildIndexesOf(const std::string& path);

  std::unique_ptr<GdsOutputFile> out_;  // destroyed unfinished, it removes its temporary
  Wf2Header header_;
  bool writes_header_ = false;
  bool started_ = false;
  double x0_ = 0;
  double y0_ = 0;
  int64_t current_frame_ = -1;
  int64_t current_strip_ = -1;
  int64_t last_frame_ = -1;
  std::vector<int32_t> points_;
  std::vector<int32_t> converted_;
  std::vector<uint8_t> record_;
  std::string target_;
  bool target_is_template_ = false;
  int64_t refused_ = 0;
  std::optional<std::pair<int32_t, int32_t>> date_;
  // Progress of a save over its sections.
  int64_t save_total_ = 0;
  int64_t save_seen_ = 0;
  int64_t save_step_ = 1;
};

}  // namespace kavrinth
