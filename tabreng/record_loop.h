// The GDSII record loop: one pass over the input, record by record, that keeps the
// records of the selected structures and layers in the translated stream and hands
// polygons and paths to the PG library on the way (or counts them in the counting pass).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "companions/vantor/vantor.h"
#include "gdsii/output_file.h"
#include "gdsii/record_reader.h"
#include "support/ordered_pipeline.h"
#include "tabreng/engine_log.h"
#include "tabreng/engine_options.h"
#include "tabreng/job_settings.h"
#include "tabreng/layer_set.h"
#include "tabreng/path_pieces.h"
#include "tabreng/pg_library.h"
#include "tabreng/scan_report.h"
#include "tabreng/stream_units.h"
#include "tabreng/text_strokes.h"
#include "tabreng/work_arrays.h"

namespace kavrinth {

struct PipeStep;

// Pass kinds: the units pass stops after UNITS and writes to the null device; the full
// pass writes the translated stream.
enum PassKind : int { kUnitsPass = 1, kFullPass = 2 };

// What the full pass's first run counts by layer, one warning each.
struct LayerNotes {
  // Texts on kept layers that reach no PG data, not being stroked.
  std::array<int64_t, kLayerCount> texts_left_out{};
  // Outlined paths of type 4 whose own extensions are not half their width: like those
  // of type 2 they are extended by half their width at both ends.
  std::array<int64_t, kLayerCount> paths_extended{};

  void Add(const LayerNotes& other) {
    for (size_t layer = 0; layer < texts_left_out.size(); ++layer) {
      texts_left_out[layer] += other.texts_left_out[layer];
      paths_extended[layer] += other.paths_extended[layer];
    }
  }
  void Clear() {
    texts_left_out.fill(0);
    paths_extended.fill(0);
  }
};

// Everything a pass reads and the counts it keeps across passes.
struct LoopContext {
  const EngineOptions* options = nullptr;
  const JobSettings* settings = nullptr;
  StructureSelection* selection = nullptr;
  PgLibrary* pg = nullptr;
  EngineLog* log = nullptr;
  WorkArrays* work = nullptr;
  GdsRecordReader* input = nullptr;  // open; rewound by every pass
  std::string input_name;            // for messages
  std::string translated_name;       // for messages
  std::string translated_path;       // native path the full pass writes
  std::string null_device;           // native path of the null device

  // Counts across passes.
  int64_t expected = 0;  // the -polycnt: count, or counted up in the counting pass
  int64_t sent = 0;      // calls of PG and PG_PATH
  int32_t warnings = 0;  // values the engine had to narrow
  StreamUnits units;     // of the last UNITS record
  bool units_seen = false;
  double fixup = 1.0;  // $FIXUP$, set by the full pass
  // Counted in the full pass's first run, logged and added to the warnings at its end.
  LayerNotes layer_notes;
  // Threads of the full pass: outlines, text strokes and the assembly of what goes out
  // (and, in the counting run, the structures) run on several threads while the
  // translated stream, the log, the progress lines and the PG calls keep the order of a
  // run on one thread. 1: all on one thread.
  int threads = 1;
};

// The records of the element being read. While they lie next to each other in a stream
// held in memory they are only pointed at; otherwise (a stream read through a buffer)
// they are copied.
class PendingBytes {
 public:
  // A record of the stream held in memory, or (copied) one rewritten in a buffer of its
  // own, which the next record may overwrite.
  void Append(std::span<const uint8_t> record, bool copied = false) {
    if (copied && !copied_) {
      copy_.assign(begin_, end_);
      copied_ = true;
    }
    if (!copied_) {
      if (begin_ == end_) {
        begin_ = record.data();
        end_ = begin_ + record.size();
        return;
      }
      if (end_ == record.data() && whole_) {
        end_ += record.size();
        return;
      }
      copy_.assign(begin_, end_);
      copied_ = true;
    }
    copy_.insert(copy_.end(), record.begin(), record.end());
  }
  void clear() {
    begin_ = end_ = nullptr;
    copy_.clear();
    copied_ = !whole_;
  }
  bool empty() const { return size() == 0; }
  size_t size() const { return copied_ ? copy_.size() : static_cast<size_t>(end_ - begin_); }
  const uint8_t* data() const { return copied_ ? copy_.data() : begin_; }
  // Whether the bytes are only pointed at (they stay valid until the pass ends).
  bool pointed() const { return !copied_; }
  // Records may be pointed at only when the stream stays in memory until the pass ends.
  void SetWhole(bool whole) {
    whole_ = whole;
    clear();
  }
  void Reserve(size_t bytes) { copy_.reserve(bytes); }

 private:
  const uint8_t* begin_ = nullptr;
  const uint8_t* end_ = nullptr;
  std::vector<uint8_t> copy_;
  bool copied_ = true;
  bool whole_ = false;
};

// The attributes of an array reference as the loop reads them: columns and rows
// (COLROW), MAG, ANGLE (degrees), reflection (STRANS bit 0x8000) and the three XY points
// (origin, column end, row end). The loop copies an AREF unchanged into the translated
// stream; these are kept with the element for an expansion into single references, which
// the loop does not do.
struct ArrayAttributes {
  int32_t columns = 0;
  int32_t rows = 0;
  double magnification = 1.0;
  double angle = 0;
  bool reflected = false;
  bool have_points = false;
  std::array<int32_t, 6> points{};  // x, y of the origin, the column end and the row end
};

// Records one attribute record (STRANS, MAG, ANGLE, COLROW or XY) of an open array
// reference; other records and values of the wrong shape leave the attributes as they are.
void RecordArrayAttribute(const GdsRecordView& record, ArrayAttributes* array);

class RecordLoop {
 public:
  explicit RecordLoop(LoopContext& context);
  ~RecordLoop();

  // Runs a pass of the kind (repeated while -prune removes structures). 0 when it
  // reached UNITS (units pass) or ENDLIB (full pass); -1 on Cancel, or after a message
  // for an input it cannot read or an output it cannot write.
  int TranslateStream(int kind);

 private:
  struct Element {
    ArrayAttributes array_attributes;  // of an AREF (`array`)
    bool path = false;
    bool polygon = false;
    bool text = false;   // TEXT seen
    bool array = false;  // AREF seen: its MAG, ANGLE and STRANS are not the text's
    bool skip_reference = false;
    bool skip_element = false;
    bool have_points = false;
    int16_t layer = 0;
    int32_t width = 0;
    int pathtype = 0;
    int32_t begin_extension = 0;  // BGNEXTN, ENDEXTN of a path (0 when absent)
    int32_t end_extension = 0;
    size_t xy_offset = 0;  // the path's XY record inside the element buffer
    size_t xy_length = 0;
    // Text attributes.
    int font = 0;
    int vertical = 0;
    int horizontal = 0;
    double magnification = 1.0;
    double angle = 0;
    bool reflected = false;
    bool template_flag = false;
    bool have_position = false;
    double x = 0;
    double y = 0;
  };
  static_assert(std::is_trivially_copyable_v<Element>);
  class WidePathPieces;
  struct PipeItem;
  struct PipeBatch;
  class PipePieces;
  struct RunParser;

  int RunPass(int kind);
  int RunPassBody(int kind);
  // One record of the pass: kept for the stream and handed to OnRecord.
  int TakeRecord(GdsRecord& record, int kind, bool* done);

  // The counting run over the structures in parallel: the records from the first BGNSTR
  // to ENDLIB are cut into runs of whole structures, each counted by a loop of its own on
  // a thread; the progress lines, the log and the counts of the runs are then taken in
  // their order, as a run on one thread makes them.
  struct CountChunk;
  bool CountInParallel() const;
  // 1 when the structures were counted (the input then stands at ENDLIB), 0 when they
  // cannot be cut (they are then read here in turn), -1 on a failure or Cancel.
  int CountStructuresInParallel(uint64_t start);
  std::optional<uint64_t> FrameStructures(
      uint64_t start, uint64_t run_bytes,
      const std::function<void(uint64_t begin, uint64_t end)>& add_run) const;
  void CountChunkRun(CountChunk& chunk) const;
  // Takes the records of a run, to the end of its structures.
  int ReadRun(uint64_t end);
  int OnRecord(const GdsRecord& record, int kind, bool* done);
  // GDSQUALIFY: the structure name of a STRNAME or SNAME record made plain, in a copy.
  void Qualify(GdsRecord* record);
  int OnStrName(const GdsRecord& record);
  int OnLayer(const GdsRecord& record);
  int OnXy(const GdsRecord& record);
  int OnWidth(const GdsRecord& record);
  int OnTextAttribute(const GdsRecord& record);
  int OnUnits(const GdsRecord& record, int kind, bool* done);
  int OnEndStr();
  int OnEndEl();
  // A text element that goes out without strokes: counted when the pass makes PG data.
  void NoteTextLeftOut();
  // A wide path of type 4 that goes to PG extended by half its width, where its own
  // extensions differ from that: counted when the pass makes PG data.
  void NotePathExtendedByHalfWidth();
  // The counts of NoteTextLeftOut and NotePathExtendedByHalfWidth, one warning per text
  // or path and one line per layer.
  void ReportLayerNotes();
  // How the settings and units decide between outline and path for a wide path.
  PathModeContext PathMode() const;
  int EndOfLibrary(bool* done);
  int HandOffPolygon(const int32_t* xy, int32_t count);
  // PG for one polygon, then its trapezoids into the stream.
  void SendPolygon(const int32_t* xy, int32_t count, int16_t layer, const std::string& structure,
                   const char* pg_name);
  int HandOffZeroWidthPath();
  int HandOffWidePath();
  void WriteKeptPiece(std::span<const int32_t> xy);
  void StrokeText();
  // The text element as the stroker takes it, its height in user units.
  EngineText TextOf(const Element& e, const std::string& text) const;
  void NoteCircle();
  void NoteWidth();
  void NoteSent();
  void WriteElement();
  // Removes the file the pass's stream replaced (moved aside) on a thread, after the one
  // before has finished; an empty path only waits for that.
  void RemoveReplaced(std::string path);
  // Element holds no string, so this is a plain copy; the text keeps its capacity.
  // The copy comes from a constant: an Element built on the stack field by field and
  // then copied in wide moves stalls the processor at every ENDEL.
  void ClearElement() {
    static const Element kNoElement{};
    element_ = kNoElement;
    text_string_.clear();
  }
  bool Kept() const {
    return !skip_structure_ && !element_.skip_reference && !element_.skip_element;
  }
  int Malformed(const GdsRecord& record, std::string_view what);
  int Fail(const std::string& text);
  void Warn(const std::string& text);
  void WarnNow(const std::string& text);

  // The translate pipeline: the full pass queues every element (and every other write)
  // as an item; a pool works out outlines and strokes, then the items go out in order.
  bool UsePipeline(int kind) const;
  enum ItemKind : int {
    kItemBytes,
    kItemStatus,
    kItemZeroPath,
    kItemWidePath,
    kItemPolygon,
    kItemText,
    kItemWarn
  };
  void QueueItem(int kind_of_item);
  // A warning of the loop of a parsing run, in its place among the items.
  void QueueWarning(const std::string& text);
  // The batch the items go into: the run's, or the one the pipeline fills next.
  PipeBatch& QueueBatch();
  // A new item of the kind in the batch, in the open structure and element, without points.
  PipeItem& NewItem(PipeBatch& batch, int kind_of_item);
  void PrepareItem(PipeBatch& batch, PipeItem& item) const;
  void QueueEndEl();
  // Hands the batch being filled to the pipeline and waits until it has gone out with
  // all before it. False when the pipeline stopped.
  bool Flush();
  bool SubmitBatch();
  bool CallPg(PipeBatch& batch);
  void EncodeItem(PipeBatch& batch, PipeItem& item) const;
  void WriteBatch(PipeBatch& batch);
  // What WriteBatch writes and warns of, handed to `write` and `warn` in order.
  // `trapezoids` writes the boundaries of a polygon's trapezoids.
  template <typename WriteFn, typename WarnFn, typename TrapezoidsFn>
  void EmitBatch(PipeBatch& batch, WriteFn&& write, WarnFn&& warn, TrapezoidsFn&& trapezoids) const;
  template <typename WriteFn, typename WarnFn, typename TrapezoidsFn>
  void EmitItem(PipeBatch& batch, PipeItem& item, WriteFn&& write, WarnFn&& warn,
                TrapezoidsFn&& trapezoids) const;
  // A batch of a parsing run on a worker: its trapezoid boundaries, and its bytes in one
  // block and its warnings, which the writing stage only has to hand on.
  void EncodeRun(PipeBatch& batch) const;
  void EncodeInto(PipeBatch& batch, const PipeItem& item, PipeStep& step) const;
  void FinishRunItem(PipeBatch& batch, PipeItem& item) const;

  // The structures parsed in parallel: this thread frames the records from the first
  // BGNSTR on (lengths and structure names only) and hands runs of whole structures to
  // the pipeline, each read by a loop of its own on a worker into the items of its
  // batch, which then go to PG and out in order. The structure names decide what the
  // loop of a run starts with (whether the structure before it was selected, the name
  // PG was last given). 1 when the structures up to ENDLIB went to the pipeline, 0 when
  // they are read here in turn (the loop then stands as before), -1 when the pipeline
  // stopped.
  bool ParseInParallel() const;
  int ParseStructuresInParallel(uint64_t start);
  void ParseRun(PipeBatch& batch);
  void PrepareTrapezoids(PipeBatch& batch, PipeItem& item) const;

  LoopContext& c_;
  GdsOutputFile output_;
  PendingBytes buffer_;             // the records of the element being read
  std::vector<uint8_t> qualified_;  // the last structure-name record, qualified
  Element element_;
  std::string text_string_;  // the element's STRING, kept apart so Element stays trivial
  bool skip_structure_ = false;
  std::string structure_;  // the current structure's name
  std::array<char, kPgNameLength> pg_name_{};
  int64_t content_count_ = 0;
  int pass_number_ = 0;
  bool repeat_ = false;
  bool discard_ = false;  // the pass writes into the null device: its bytes are not copied
  int last_percent_ = -1;
  int64_t next_percent_at_ = 0;  // the count of elements sent at which the percentage changes
  int32_t min_width_ = 0;
  double aperture_factor_ = 0;   // metres per user unit in the aperture file's units
  std::vector<int32_t> points_;  // the current element's XY points
  std::vector<PgTrapezoid> table_;
  std::unordered_set<int32_t> widths_seen_;
  std::vector<double> radii_seen_;
  std::vector<uint8_t> scratch_;  // a kept piece being assembled
  std::vector<std::unique_ptr<PipeBatch>> batches_;
  std::unique_ptr<OrderedPipeline> pipeline_;
  bool pipeline_stopped_ = false;  // the pipeline's ordered stage gave up
  // The loop of a parsing run: the batch its items go into.
  PipeBatch* run_batch_ = nullptr;
  // The context the loops of the parsing runs copy, taken before the first run.
  LoopContext run_context_;
  // The failure of a parsing run, written into the log in its place; shown once the
  // pipeline has settled.
  std::optional<std::string> run_failure_;
  // Set in the loop of a run of a parallel counting: where its progress lines and its
  // failure go instead of the dialog and the message box.
  CountChunk* chunk_ = nullptr;
  uint64_t structure_serial_ = 0;  // counts the changes of structure_ and pg_name_
  std::thread remover_;            // removes the file the translated stream replaced
};

}  // namespace kavrinth
