// The record loop and the translated stream.
#include "tabreng/record_loop.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "gdsii/encoding.h"
#include "support/ordered_pipeline.h"
#include "support/progress_sink.h"
#include "support/structure_names.h"
#include "tabreng/command_line.h"
#include "tabreng/engine_log.h"
#include "tabreng/path_pieces.h"
#include "tabreng/polygon_handoff.h"
#include "tabreng/text_strokes.h"

namespace kavrinth {

namespace {

constexpr uint64_t kStreamBlock = 2048;
constexpr size_t kMaxScanListEntries = 32768;

// Starts a thread running work and adds it to threads (which has room for it). False
// when no thread could be started, as under a limit on the user's processes: the
// caller then does the work itself.
template <typename Work>
bool StartThread(std::vector<std::thread>* threads, const Work& work) {
  try {
    threads->emplace_back(work);
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The unit explanation scan mode writes before its unit line.
constexpr const char* kScanUnitsText[] = {
    "#\n",
    "# the first non commemt contain unit info:\n",
    "#\n",
    "# user_grid user_unit_in_meters database_unit_in_meters\n",
    "#\n",
    "# for example, values of 0.001 1.0e-9 1.0e-6 would indicate\n",
    "# a micron database (1.0e-6) with precision of 1 part in 1000 (0.001).\n",
    "#\n",
    "# then Inch and Mm multipliers are provided for easy\n",
    "# conversion of Circle RADII and path Width data to\n",
    "# aperture file formats.\n",
    "#\n",
    "# for this file, a path width of 200 would correspond to\n",
    "#\n",
};

void LogScanUnits(EngineLog& log, const StreamUnits& u) {
  for (const char* line : kScanUnitsText) log.Write(line);
  char text[256];
  std::snprintf(text, sizeof text, "# a %lg draw in inches, or a %lg draw in mm.\n",
                200 * u.metres_per_user / 0.0254, 200 * u.metres_per_user / 0.001);
  log.Write(text);
  log.Write("#\n#\n");
  std::snprintf(text, sizeof text, "U:%lg %lg %lg\n", u.user_per_database, u.metres_per_database,
                u.metres_per_user);
  log.Write(text);
  log.Write(Printf("I:%lg\n", u.metres_per_user / 0.0254));
  log.Write(Printf("M:%lg\n", u.metres_per_user / 0.001));
}

// A wide path with no segment has no outline and no piece: nothing of it reaches the PG
// data.
std::string PathAtOnePlaceWarning(const std::string& structure, int layer) {
  return "a path of " + structure + " on layer " + std::to_string(layer) +
         " has all its points at one place: it is left out of the PG data.";
}

}  // namespace

// --- The translate pipeline ---

namespace {

// A batch is handed on once it holds this many items or bytes.
constexpr size_t kBatchItems = 2048;
constexpr size_t kBatchBytes = size_t{1} << 20;
// How many items ahead the ordered stages ask for the memory of the next items.
constexpr size_t kPrefetchAhead = 4;
// A parsing run holds whole structures of at least this many bytes (or the rest).
constexpr uint64_t kRunBytes = uint64_t{256} << 10;
// A run cut inside a structure holds this many times the bytes of one of whole
// structures: runs of whole structures keep the items of a slot alike from run to run,
// which is faster.
constexpr uint64_t kLargeRunFactor = 4;
// The records of a small element (a boundary of four points).
constexpr uint64_t kSmallElementBytes = 64;

}  // namespace

// What an item makes the ordered stage do, in order.
struct PipeStep {
  enum Kind : uint8_t {
    kElement,       // write the element's records as read
    kBytes,         // write out[begin, begin + size)
    kInputPolygon,  // PG for the element's points, then its trapezoids
    kOutline,       // PG for outline[begin, begin + size), then its trapezoids
    kInputPath,     // PG_PATH for the element's points
    kWarn,          // the warning warnings[begin]
    kStatus,        // the structure's line in the progress dialog
  };
  Kind kind = kElement;
  size_t begin = 0;
  size_t size = 0;
  // For PG: what it returned, the trapezoids kept of it and where they are, and whether
  // every corner fitted 32 bits.
  int32_t returned = 0;
  int32_t filled = 0;
  size_t trapezoids = 0;
  size_t encoded = 0;
  bool fits = true;
  // Worked out ahead by a worker (a batch of a parsing run): the trapezoids lie in the
  // batch's store at `trapezoids`.
  bool prepared_ok = false;
  PgPrepared prepared{};
};

// One queued element, or other records of the stream, with what the pool worked out.
struct RecordLoop::PipeItem {
  int kind = kItemBytes;
  const uint8_t* pointed = nullptr;  // the records in the input held in memory, or
  size_t offset = 0;                 // their place in the batch's copy
  size_t size = 0;
  size_t points = 0;  // the element's points: first value in the batch, number of values
  size_t point_values = 0;
  size_t structure = 0;  // in the batch's structure list
  Element element;
  std::string text;
  // Worked out by the pool.
  std::vector<PipeStep> steps;
  std::vector<uint8_t> out;
  std::vector<int32_t> outline;
  std::vector<std::string> warnings;
  // The trapezoids PG returned for it, encoded as boundaries.
  std::vector<uint8_t> encoded;
  // In a batch of a parsing run: where its bytes and its warnings end in the batch's.
  size_t image_end = 0;
  size_t warnings_end = 0;
};

struct RecordLoop::PipeBatch {
  std::vector<uint8_t> bytes;
  std::vector<int32_t> points;
  std::vector<PipeItem> items;  // items past `used` keep their buffers for later batches
  size_t used = 0;
  std::vector<std::string> structures;
  std::vector<std::array<char, kPgNameLength>> pg_names;
  uint64_t structure_serial = ~uint64_t{0};
  // What PG returned for the batch's items, in order; only the first trapezoids_used
  // entries hold trapezoids.
  std::vector<PgTrapezoid> trapezoids;
  size_t trapezoids_used = 0;
  // The trapezoids were worked out ahead, in order, into the store.
  bool prepared = false;

  // Items through the PG stage: all of them unless it stopped at a Cancel.
  size_t sent = 0;

  // A batch of a parsing run: the records [run_begin, run_end) of the stream, read by
  // a loop of its own that starts as the pass on one thread stands there: in a
  // structure (its name) or between two, skipping or not, with PG's last name.
  bool run = false;
  uint64_t run_begin = 0;
  uint64_t run_end = 0;
  bool run_skip = false;
  std::array<char, kPgNameLength> run_pg_name{};
  std::string run_structure;
  std::optional<std::string> run_failure;  // the run's loop failed after its items
  bool run_cancelled = false;              // the run's loop saw Cancel
  bool failure_reached = false;            // the PG stage stopped at the failure
  // What the writing stage writes and warns of, assembled by a worker: as the run is
  // read (`early`, with the trapezoids worked out ahead and checked against what PG
  // returns), or after the PG stage.
  bool early = false;
  size_t prepared_used = 0;  // entries of the store the trapezoids worked out ahead take
  std::vector<uint8_t> image;
  std::vector<std::string> image_warnings;
  std::unique_ptr<RunParser> parser;  // kept for the slot's later runs

  void Clear() {
    sent = 0;
    prepared = false;
    run = false;
    run_failure.reset();
    run_cancelled = false;
    failure_reached = false;
    early = false;
    prepared_used = 0;
    trapezoids_used = 0;
    bytes.clear();
    points.clear();
    used = 0;
    structures.clear();
    pg_names.clear();
    structure_serial = ~uint64_t{0};
  }
  const uint8_t* Records(const PipeItem& item) const {
    return item.pointed != nullptr ? item.pointed : bytes.data() + item.offset;
  }
};

// The loop that reads a parsing run, with its own reader and work arrays.
struct RecordLoop::RunParser {
  LoopContext context;
  WorkArrays work;
  GdsRecordReader input;
  std::unique_ptr<RecordLoop> loop;
};

// One run of structures of a parallel counting, with its own loop's state.
struct RecordLoop::CountChunk {
  uint64_t begin = 0;  // offsets in the stream: the first BGNSTR and the end of the run
  uint64_t end = 0;
  // Of the run's own loop.
  LoopContext context;
  WorkArrays work;
  EngineLog log;
  GdsRecordReader input;
  int result = 0;
  std::vector<std::string> structures;  // for the progress lines, in order
  std::optional<std::string> failure;   // the message of a failure, shown at the merge
  std::string log_text;
};

RecordLoop::RecordLoop(LoopContext& context) : c_(context), table_(kPgTableCapacity) {
  buffer_.Reserve(1 << 16);
}

int RecordLoop::Fail(const std::string& text) {
  if (run_batch_ != nullptr) {
    // The loop of a parsing run: the items before stay; the message follows them.
    run_batch_->run_failure = text;
    return -1;
  }
  if (pipeline_) Flush();
  c_.log->WriteCause(text);
  if (chunk_ != nullptr) {
    // A run of a parallel counting: the message is shown when the runs are merged.
    chunk_->failure = text;
    return -1;
  }
  return ShowEngineFailure(text);
}

void RecordLoop::Warn(const std::string& text) {
  if (run_batch_ != nullptr) {
    QueueWarning(text);
    return;
  }
  // What the translate pipeline still holds comes first.
  if (pipeline_) Flush();
  WarnNow(text);
}

void RecordLoop::WarnNow(const std::string& text) {
  ++c_.warnings;
  c_.log->WriteCause("Warning: " + text);
}

int RecordLoop::Malformed(const GdsRecord& record, std::string_view what) {
  const std::string_view name = GdsRecordName(record.type);
  return Fail("The GDS file '" + c_.input_name + "' has a malformed " +
              (name.empty() ? "record " + std::to_string(record.type) : std::string(name)) +
              " record at offset " + std::to_string(record.offset) + ": " + std::string(what) +
              ".");
}

int RecordLoop::TranslateStream(int kind) {
  pass_number_ = 0;
  int result;
  do {
    repeat_ = false;
    result = RunPass(kind);
    ++pass_number_;
  } while (result == 0 && kind == kFullPass && repeat_);
  if (kind == kFullPass) c_.input->Close();
  if (result == 0 && kind == kFullPass) ReportLayerNotes();
  return result;
}

void RecordLoop::NoteTextLeftOut() {
  if (pass_number_ != 0 || c_.options->scan_mode || c_.settings->text_stroking) return;
  if (LayerSet::IsValidLayer(element_.layer)) ++c_.layer_notes.texts_left_out[element_.layer];
}

void RecordLoop::NotePathExtendedByHalfWidth() {
  const Element& e = element_;
  if (e.pathtype != 4 || c_.options->scan_mode || !LayerSet::IsValidLayer(e.layer)) return;
  const int64_t width = e.width;
  if (2 * int64_t{e.begin_extension} == width && 2 * int64_t{e.end_extension} == width) return;
  // Only an outline has its ends extended, and only along a segment: a path kept as a
  // path keeps its own records, and one at one place is left out (a warning of its own).
  if (!e.have_points || !IsPathOutlined(PathMode(), e.width, e.pathtype)) return;
  const std::vector<int32_t>& xy = c_.work->ixy;
  for (size_t i = 2; i + 1 < xy.size(); i += 2) {
    if (xy[i] != xy[0] || xy[i + 1] != xy[1]) {
      ++c_.layer_notes.paths_extended[e.layer];
      return;
    }
  }
}

void RecordLoop::ReportLayerNotes() {
  // One warning per count and one line per layer, its text made by `line`.
  const auto report = [this](const std::array<int64_t, kLayerCount>& counts, const auto& line) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
      const int64_t count = counts[static_cast<size_t>(layer)];
      if (count == 0) continue;
      c_.warnings = static_cast<int32_t>(std::min<int64_t>(c_.warnings + count, INT32_MAX));
      c_.log->WriteCause("Warning: " + line(count, std::to_string(layer)));
    }
  };
  // The post-processor draws what has an area: a text reaches the PG data only through
  // its strokes.
  const char* why = c_.settings->block_text ? "the font for text strokes could not be loaded."
                                            : "BLOCK_TEXT is off.";
  report(c_.layer_notes.texts_left_out, [why](int64_t count, const std::string& layer) {
    return std::to_string(count) + (count == 1 ? " text" : " texts") + " on layer " + layer +
           (count == 1 ? " is" : " are") + " left out of the PG data: " + why;
  });
  report(c_.layer_notes.paths_extended, [](int64_t count, const std::string& layer) {
    return std::to_string(count) + (count == 1 ? " path" : " paths") + " of type 4 on layer " +
           layer +
           (count == 1 ? " is extended by half its width, not by its own extensions."
                       : " are extended by half their width, not by their own extensions.");
  });
  c_.layer_notes.Clear();
}

int RecordLoop::RunPass(int kind) {
  pipeline_stopped_ = false;
  if (UsePipeline(kind)) {
    // The parsing thread, the two ordered stages and the workers share the cores: no
    // more threads than that, so that none of the three the pass waits for is pushed
    // aside. When the structures are parsed on the workers, this thread only frames
    // them, and the ordered stages have little left to do: a worker more for each.
    const bool runs = ParseInParallel();
    const int workers = std::max(1, c_.threads - (runs ? 1 : 3));
    // A run keeps its slot while a worker reads it: one for each worker and a few for the
    // ordered stages and the next run, and no more, since every slot's buffers grow to
    // what a run needs.
    const size_t slots =
        static_cast<size_t>(workers) + (runs ? 4 : static_cast<size_t>(workers) + 2);
    while (batches_.size() < slots) batches_.push_back(std::make_unique<PipeBatch>());
    for (auto& batch : batches_) batch->Clear();
    // Outlines and strokes in parallel, PG calls in order, trapezoid boundaries in
    // parallel, the stream and the log in order.
    std::vector<OrderedPipeline::Stage> stages(2);
    stages[0].parallel = [this](size_t slot, size_t item) {
      PipeBatch& batch = *batches_[slot];
      if (batch.run) {
        ParseRun(batch);
      } else {
        PrepareItem(batch, batch.items[item]);
      }
    };
    stages[0].ordered = [this](size_t slot) { return CallPg(*batches_[slot]); };
    stages[1].parallel = [this](size_t slot, size_t item) {
      PipeBatch& batch = *batches_[slot];
      if (batch.run) {
        // A parsing run is one item of the pipeline: its elements are encoded together,
        // unless that was done as it was read.
        if (!batch.early) EncodeRun(batch);
      } else if (item < batch.sent) {
        EncodeItem(batch, batch.items[item]);
      }
    };
    stages[1].ordered = [this](size_t slot) {
      WriteBatch(*batches_[slot]);
      return true;
    };
    pipeline_ = std::make_unique<OrderedPipeline>(workers, slots, std::move(stages));
  }
  run_failure_.reset();
  const int result = RunPassBody(kind);
  if (result != 0 && pipeline_) {
    // A parsing run that failed stopped the pipeline; its message is written into the
    // log once what came before it is out, and shown then.
    pipeline_->Settle();
    if (run_failure_) ShowEngineFailure(*run_failure_);
  }
  // Joins the threads; after a failure or Cancel what was still queued is dropped.
  pipeline_.reset();
  return result;
}

int RecordLoop::RunPassBody(int kind) {
  // The counting run's translated stream is removed at its end unless it is kept for a
  // look (-dbgx, -opost, scan mode): otherwise nothing needs its bytes.
  const EngineOptions& o = *c_.options;
  discard_ =
      kind != kFullPass || (o.counting_pass && !o.keep_temporaries && !o.no_post && !o.scan_mode);
  const std::string& target = discard_ ? c_.null_device : c_.translated_path;
  if (!output_.OpenReplacing(target)) {
    return Fail("Unable to open GDS file '" + c_.translated_name + "' for output.");
  }
  if (!c_.input->Rewind()) {
    return Fail("Unable to read the GDS file '" + c_.input_name + "': " + c_.input->error() + ".");
  }
  ClearElement();
  skip_structure_ = false;
  buffer_.SetWhole(c_.input->whole());
  content_count_ = 0;
  last_percent_ = -1;
  next_percent_at_ = 0;
  SetProgressText("Processing Polygons...", "", "");
  GdsRecord record;
  bool count_in_parallel = kind == kFullPass && CountInParallel();
  bool parse_in_parallel = pipeline_ != nullptr && ParseInParallel();
  // Polled for every record, so read where the signal handler sets it.
  const volatile int* const cancel_flag = ProgressCancelFlagAddress();
  for (bool done = false; !done;) {
    if (*cancel_flag != 0) return -1;
    const GdsReadStatus status = c_.input->Next(&record);
    // ENDLIB ends the pass, so the reader never gets to report the end itself.
    if (status != GdsReadStatus::kRecord) {
      return Fail("Unable to read the GDS file '" + c_.input_name + "': " + c_.input->error() +
                  ".");
    }
    if (count_in_parallel && record.type == kGdsBgnStr) {
      count_in_parallel = false;
      const int counted = CountStructuresInParallel(record.offset);
      if (counted < 0) return -1;
      if (counted > 0) continue;  // the input stands at ENDLIB
    }
    if (parse_in_parallel && record.type == kGdsBgnStr) {
      parse_in_parallel = false;
      if (buffer_.empty()) {
        const int parsed = ParseStructuresInParallel(record.offset);
        if (parsed < 0) return -1;
        if (parsed > 0) continue;  // the input stands where this loop goes on
      }
    }
    if (TakeRecord(record, kind, &done) != 0 || pipeline_stopped_) return -1;
  }
  return 0;
}

int RecordLoop::TakeRecord(GdsRecord& record, int kind, bool* done) {
  if (record.byte_order != GdsByteOrder::kBigEndian) {
    return Fail("The GDS file '" + c_.input_name +
                "' is not a GDSII stream in the standard byte order.");
  }
  const bool rewritten =
      (record.type == kGdsStrName || record.type == kGdsSname) && c_.settings->qualify_names;
  if (rewritten) Qualify(&record);
  // A BGNSTR ends whatever structure was being left out: it belongs to the next one,
  // which is written unless its STRNAME turns out to be unselected too.
  if (record.type == kGdsBgnStr) skip_structure_ = false;
  // An unselected structure's records are never written, so they are not collected.
  if (!skip_structure_ || record.type == kGdsEndLib) {
    buffer_.Append(record.bytes, rewritten);
  }
  return OnRecord(record, kind, done);
}

// --- The counting run in parallel ---

bool RecordLoop::CountInParallel() const {
  const EngineOptions& o = *c_.options;
  // Scan mode keeps lists across structures, -prune repeats the pass, and text strokes
  // are written (only -dbgx and -opost keep the stream): those runs stay on one thread.
  return c_.threads > 1 && o.counting_pass && discard_ && !o.scan_mode && !o.prune &&
         !c_.settings->text_stroking && pass_number_ == 0 && c_.input->whole() &&
         pipeline_ == nullptr;
}

int RecordLoop::CountStructuresInParallel(uint64_t start) {
  // This thread frames the records from the first BGNSTR to ENDLIB (lengths only; every
  // other check is made by the runs' readers) and cuts runs of whole structures of
  // about equal bytes, a few per thread so that a slow one does not hold all; the other
  // threads count each run as soon as it is cut. Anything unusual, such as a record
  // that cannot be framed or stream-level records among the structures, drops what was
  // counted: the loop on this thread then reads the records and says what is wrong.
  const std::span<const uint8_t> stream = c_.input->held();
  const size_t threads = static_cast<size_t>(c_.threads);
  const uint64_t run_bytes = std::max<uint64_t>((stream.size() - start) / (4 * threads), 1);
  std::vector<std::unique_ptr<CountChunk>> chunks;
  std::mutex mutex;
  std::condition_variable cut;
  size_t taken = 0;
  bool framed = false;
  const auto count = [&] {
    for (;;) {
      CountChunk* chunk = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex);
        cut.wait(lock, [&] { return taken < chunks.size() || framed; });
        if (taken == chunks.size()) return;
        chunk = chunks[taken++].get();
      }
      CountChunkRun(*chunk);
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (size_t t = 1; t < threads; ++t) {
    // Without more threads to be had, the runs are shared by fewer: this thread counts
    // what is left once it has framed them all.
    if (!StartThread(&pool, count)) break;
  }
  const auto add_run = [&](uint64_t begin, uint64_t end) {
    auto chunk = std::make_unique<CountChunk>();
    chunk->begin = begin;
    chunk->end = end;
    {
      std::lock_guard<std::mutex> lock(mutex);
      chunks.push_back(std::move(chunk));
    }
    cut.notify_one();
  };
  const std::optional<uint64_t> end = FrameStructures(start, run_bytes, add_run);
  {
    std::lock_guard<std::mutex> lock(mutex);
    framed = true;
    if (!end) taken = chunks.size();  // what is left is not counted
  }
  cut.notify_all();
  if (end) count();
  for (std::thread& thread : pool) thread.join();
  if (!end) return 0;

  // In order: the progress lines, the log and the counts, up to a run that failed.
  for (const std::unique_ptr<CountChunk>& chunk : chunks) {
    for (const std::string& name : chunk->structures) {
      if (SetProgressStatus({"Scanning Structure...", name.c_str(), nullptr, nullptr, nullptr,
                             nullptr, nullptr}) != 0) {
        return -1;
      }
    }
    c_.log->Write(chunk->log_text);
    c_.expected += chunk->context.expected;
    c_.warnings += chunk->context.warnings;
    c_.layer_notes.Add(chunk->context.layer_notes);
    if (chunk->result != 0) {
      if (chunk->failure) ShowEngineFailure(*chunk->failure);
      return -1;
    }
  }
  return c_.input->SkipTo(*end) ? 1 : -1;
}

// Frames the records from `start` (a BGNSTR) and hands on runs of whole structures of at
// least `run_bytes` as they are found, the last one ending at ENDLIB: the offset of
// ENDLIB, or nothing for a record that cannot be framed or a stream-level record.
std::optional<uint64_t> RecordLoop::FrameStructures(
    uint64_t start, uint64_t run_bytes,
    const std::function<void(uint64_t begin, uint64_t end)>& add_run) const {
  const std::span<const uint8_t> stream = c_.input->held();
  uint64_t run_begin = start;
  for (uint64_t at = start; at + kGdsRecordHeaderSize <= stream.size();) {
    const uint8_t* head = stream.data() + at;
    const size_t length = static_cast<size_t>(head[0] << 8 | head[1]);
    const int type = head[2];
    if (length < kGdsRecordHeaderSize || length % 2 != 0 || length > stream.size() - at) {
      return std::nullopt;
    }
    if (type == kGdsEndLib) {
      add_run(run_begin, at);
      return at;
    }
    if (type == kGdsHeader || type == kGdsBgnLib || type == kGdsLibName || type == kGdsUnits) {
      return std::nullopt;
    }
    if (type == kGdsBgnStr && at - run_begin >= run_bytes) {
      add_run(run_begin, at);
      run_begin = at;
    }
    at += length;
  }
  return std::nullopt;
}

// Counts one run of structures with a loop of its own, which starts as this loop stands
// before the first structure; its log goes into memory.
void RecordLoop::CountChunkRun(CountChunk& chunk) const {
  chunk.context = c_;
  chunk.context.work = &chunk.work;
  chunk.context.log = &chunk.log;
  chunk.context.input = &chunk.input;
  chunk.context.expected = 0;
  chunk.context.warnings = 0;
  chunk.context.layer_notes.Clear();
  chunk.context.threads = 1;
  char* log_bytes = nullptr;
  size_t log_size = 0;
  std::FILE* memory = open_memstream(&log_bytes, &log_size);
  if (memory == nullptr) {
    chunk.result = -1;
    chunk.failure = "Unable to keep the log of a counted run: out of memory.";
    return;
  }
  chunk.log.Attach(memory);
  const std::span<const uint8_t> stream = c_.input->held();
  chunk.input.OpenView(stream.subspan(chunk.begin, chunk.end - chunk.begin), chunk.begin);
  RecordLoop loop(chunk.context);
  loop.chunk_ = &chunk;
  loop.aperture_factor_ = aperture_factor_;
  loop.min_width_ = min_width_;
  loop.pass_number_ = pass_number_;
  loop.discard_ = true;
  loop.buffer_.SetWhole(true);
  chunk.result = loop.output_.OpenReplacing(c_.null_device) ? loop.ReadRun(chunk.end) : -1;
  if (chunk.result != 0 && !chunk.failure && ProgressCancelFlag() == 0) {
    chunk.failure = "Unable to open GDS file '" + c_.translated_name + "' for output.";
  }
  chunk.log.Close();
  std::fclose(memory);
  chunk.log_text.assign(log_bytes != nullptr ? log_bytes : "", log_size);
  std::free(log_bytes);
}

// The loop of one run of a parallel counting or parsing, to the end of its structures.
int RecordLoop::ReadRun(uint64_t end) {
  GdsRecord record;
  const volatile int* const cancel_flag = ProgressCancelFlagAddress();
  bool done = false;
  while (c_.input->offset() < end) {
    if (*cancel_flag != 0) return -1;
    if (c_.input->Next(&record) != GdsReadStatus::kRecord) {
      return Fail("Unable to read the GDS file '" + c_.input_name + "': " + c_.input->error() +
                  ".");
    }
    if (TakeRecord(record, kFullPass, &done) != 0) return -1;
  }
  return 0;
}

// --- The structures parsed in parallel ---

bool RecordLoop::ParseInParallel() const {
  // -prune repeats the pass with what it removed, so its loop stays on this thread.
  return !c_.options->prune && c_.input->whole() && pass_number_ == 0;
}

int RecordLoop::ParseStructuresInParallel(uint64_t start) {
  // A run is cut after an ENDSTR closing a structure whose last element was ended, or
  // in a large structure after an ENDEL: there the loop holds no records and no
  // element, only the structure's name, whether it is skipped and PG's last name, which
  // the names framed here tell. Records that cannot be framed or stream-level records
  // among the structures end the runs: this loop reads the rest in turn and says what
  // is wrong.
  const std::span<const uint8_t> stream = c_.input->held();
  const volatile int* const cancel_flag = ProgressCancelFlagAddress();
  // Runs of a few thousand elements: enough work for a worker, and the slots' items,
  // which keep their buffers from run to run, do not grow large.
  const uint64_t run_bytes = std::clamp<uint64_t>(
      (stream.size() - start) / (4 * static_cast<uint64_t>(c_.threads)), 1, kRunBytes);
  struct Start {
    uint64_t offset = 0;
    bool skip = false;
    std::array<char, kPgNameLength> pg_name{};
    std::string structure;
  };
  // The loop's state at the start of the open run, at the last place a run may end,
  // and as the framing goes (`changes` counts the changes of the names and the skip).
  Start run{start, skip_structure_, pg_name_, structure_};
  Start cut = run;
  Start now = run;
  uint64_t changes = 0, cut_changes = 0;
  bool cut_in_structure = false;
  // The pipeline goes quiet before the loops of the runs copy the counts.
  if (!Flush()) return -1;
  run_context_ = c_;
  bool framed = false;
  const auto hand_on = [&](uint64_t end) {
    PipeBatch& batch = *batches_[pipeline_->current()];
    batch.run = true;
    batch.run_begin = run.offset;
    batch.run_end = end;
    batch.run_skip = run.skip;
    batch.run_pg_name = run.pg_name;
    batch.run_structure = run.structure;
    framed = true;
    if (!pipeline_->Submit(1) || !pipeline_->Acquire()) {
      pipeline_stopped_ = true;
      return false;
    }
    batches_[pipeline_->current()]->Clear();
    return *cancel_flag == 0;
  };
  GdsRecord name_record;
  int previous = -1;
  uint64_t at = start;
  for (; at + kGdsRecordHeaderSize <= stream.size();) {
    const uint8_t* head = stream.data() + at;
    const size_t length = static_cast<size_t>(head[0] << 8 | head[1]);
    const int type = head[2];
    if (length < kGdsRecordHeaderSize || length % 2 != 0 || length > stream.size() - at ||
        type == kGdsEndLib || type == kGdsHeader || type == kGdsBgnLib || type == kGdsLibName ||
        type == kGdsUnits) {
      break;
    }
    // Runs end between structures, and inside one only when it is large.
    if (at == cut.offset &&
        at - run.offset >= (cut_in_structure ? kLargeRunFactor * run_bytes : run_bytes)) {
      if (!hand_on(at)) return -1;
      run = cut;
    }
    if (type == kGdsBgnStr) {
      now.skip = false;
      now.structure.clear();
      ++changes;
    } else if (type == kGdsStrName) {
      // As OnStrName takes it; a name too long fails the run's loop.
      name_record.type = type;
      name_record.data_type = head[3];
      name_record.bytes = stream.subspan(at, length);
      name_record.data = name_record.bytes.subspan(kGdsRecordHeaderSize);
      if (c_.settings->qualify_names) Qualify(&name_record);
      const std::string_view name = name_record.Text();
      if (!c_.selection->Contains(name)) {
        now.skip = true;
      } else if (name.size() <= kMaxStructureName) {
        now.pg_name.fill('\0');
        std::copy(name.begin(), name.end(), now.pg_name.begin());
        now.structure = name;
      }
      ++changes;
    } else if (type == kGdsEndEl ||
               (type == kGdsEndStr &&
                (previous == kGdsEndEl || previous == kGdsStrName || previous == kGdsBgnStr))) {
      if (type == kGdsEndStr) {
        now.structure.clear();
        ++changes;
      }
      if (cut_changes != changes) {
        cut = now;
        cut_changes = changes;
      }
      cut.offset = at + length;
      cut_in_structure = type == kGdsEndEl;
    }
    previous = type;
    at += length;
  }
  if (cut.offset > run.offset) {
    if (!hand_on(cut.offset)) return -1;
    run = cut;
  }
  if (!framed) return 0;
  // This loop goes on where the last run ended, as its loop would stand there.
  ClearElement();
  buffer_.clear();
  structure_ = run.structure;
  ++structure_serial_;
  skip_structure_ = run.skip;
  pg_name_ = run.pg_name;
  return c_.input->SkipTo(run.offset) ? 1 : -1;
}

// On a worker: reads the batch's run with the slot's loop, then works its items out.
void RecordLoop::ParseRun(PipeBatch& batch) {
  if (!batch.parser) batch.parser = std::make_unique<RunParser>();
  RunParser& parser = *batch.parser;
  parser.context = run_context_;
  parser.context.work = &parser.work;
  parser.context.input = &parser.input;
  parser.context.threads = 1;
  parser.context.layer_notes.Clear();
  const std::span<const uint8_t> stream = c_.input->held();
  parser.input.OpenView(stream.subspan(batch.run_begin, batch.run_end - batch.run_begin),
                        batch.run_begin);
  if (!parser.loop) parser.loop = std::make_unique<RecordLoop>(parser.context);
  RecordLoop& loop = *parser.loop;
  loop.run_batch_ = &batch;
  loop.aperture_factor_ = aperture_factor_;
  loop.min_width_ = min_width_;
  loop.pass_number_ = pass_number_;
  loop.discard_ = false;
  loop.buffer_.SetWhole(true);
  loop.ClearElement();
  loop.structure_ = batch.run_structure;
  ++loop.structure_serial_;
  loop.content_count_ = 0;
  loop.skip_structure_ = batch.run_skip;
  loop.pg_name_ = batch.run_pg_name;
  batch.early = true;
  // Room for the items a run of small elements makes: growing moves them all.
  batch.items.reserve(
      std::min<uint64_t>((batch.run_end - batch.run_begin) / kSmallElementBytes, kRunBytes));
  batch.image.clear();
  batch.image_warnings.clear();
  if (loop.ReadRun(batch.run_end) != 0 && !batch.run_failure) batch.run_cancelled = true;
}

// An item of a parsing run, as its loop queues it and while its memory is at hand: its
// steps, its trapezoids worked out ahead, and its bytes and warnings.
void RecordLoop::FinishRunItem(PipeBatch& batch, PipeItem& item) const {
  PrepareItem(batch, item);
  PrepareTrapezoids(batch, item);
  if (!batch.early) return;
  EmitItem(
      batch, item,
      [&batch](const uint8_t* data, size_t size) {
        batch.image.insert(batch.image.end(), data, data + size);
      },
      [&batch](std::string text) { batch.image_warnings.push_back(std::move(text)); },
      [this, &batch](const PipeItem& of, PipeStep& step) { EncodeInto(batch, of, step); });
  item.image_end = batch.image.size();
  item.warnings_end = batch.image_warnings.size();
}

// The trapezoids of an item's polygons and outlines, worked out by the library in the
// order and at the places of the batch's store the PG stage hands them to it. A polygon
// the library does not work out is expected to get none; the PG stage checks that.
void RecordLoop::PrepareTrapezoids(PipeBatch& batch, PipeItem& item) const {
  std::vector<PgTrapezoid>& store = batch.trapezoids;
  for (PipeStep& step : item.steps) {
    if (step.kind != PipeStep::kInputPolygon && step.kind != PipeStep::kOutline) continue;
    const bool input = step.kind == PipeStep::kInputPolygon;
    const int32_t* xy =
        input ? batch.points.data() + item.points : item.outline.data() + step.begin;
    const auto count = static_cast<int32_t>(input ? item.point_values / 2 : step.size / 2);
    const size_t used = batch.prepared_used;
    if (store.size() < used + kPgTableCapacity) {
      store.resize(std::max(2 * store.size(), used + kPgTableCapacity));
    }
    step.trapezoids = used;
    step.prepared_ok =
        c_.pg->Prepare(xy, count, store.data() + used, kPgTableCapacity, c_.fixup, &step.prepared);
    step.filled = step.prepared_ok ? std::clamp(step.prepared.filled, 0, kPgTableCapacity) : 0;
    step.returned = step.filled;
    batch.prepared_used += static_cast<size_t>(step.filled);
    batch.prepared = batch.prepared || step.prepared_ok;
  }
}

// The boundaries of a step's trapezoids, at the end of the batch's block.
void RecordLoop::EncodeInto(PipeBatch& batch, const PipeItem& item, PipeStep& step) const {
  std::vector<uint8_t>& image = batch.image;
  const size_t at = image.size();
  image.resize(at + static_cast<size_t>(step.filled) * kTrapezoidBoundaryBytes);
  step.fits = true;
  const PgTrapezoid* trapezoid = batch.trapezoids.data() + step.trapezoids;
  for (int32_t i = 0; i < step.filled; ++i) {
    uint8_t* out = image.data() + at + static_cast<size_t>(i) * kTrapezoidBoundaryBytes;
    step.fits = EncodeTrapezoidBoundary(
                    item.element.layer, trapezoid[i], c_.fixup,
                    std::span<uint8_t, kTrapezoidBoundaryBytes>(out, kTrapezoidBoundaryBytes)) &&
                step.fits;
  }
}

void RecordLoop::Qualify(GdsRecord* record) {
  // The name keeps its length, so the record is rewritten in a copy of its own bytes.
  qualified_.assign(record->bytes.begin(), record->bytes.end());
  const size_t header = record->bytes.size() - record->data.size();
  char* name = reinterpret_cast<char*>(qualified_.data() + header);
  ApplyNameCase(name, record->data.size(), kEngineNameCase);
  QualifyStructureName(name, record->data.size());
  record->bytes = qualified_;
  record->data = std::span<const uint8_t>(qualified_).subspan(header);
}

int RecordLoop::OnRecord(const GdsRecord& record, int kind, bool* done) {
  const bool counting = c_.options->counting_pass;
  switch (record.type) {
    case kGdsEndLib:
      return EndOfLibrary(done);
    case kGdsUnits:
      return OnUnits(record, kind, done);
    case kGdsBgnStr:
      ClearElement();
      skip_structure_ = false;
      content_count_ = 0;
      structure_.clear();  // a structure without STRNAME has no name of its own
      ++structure_serial_;
      return 0;
    case kGdsStrName:
      return OnStrName(record);
    case kGdsEndStr:
      return OnEndStr();
    case kGdsSname:
      if (skip_structure_) return 0;
      if (c_.selection->Contains(record.Text())) {
        ++content_count_;
      } else {
        element_.skip_reference = true;
      }
      return 0;
    case kGdsBoundary:
    case kGdsBox:
      element_.polygon = c_.options->HandOffMode();
      element_.pathtype = 0;
      return 0;
    case kGdsPath:
      element_.path = true;
      element_.pathtype = 0;
      return 0;
    case kGdsPathType:
      if (std::optional<int32_t> value = record.Int16(0)) element_.pathtype = *value & 0xFF;
      return 0;
    case kGdsBgnExtn:
    case kGdsEndExtn:
      if (element_.path && record.data_type == kGdsTypeInt32) {
        if (std::optional<int32_t> value = record.Int32(0)) {
          (record.type == kGdsBgnExtn ? element_.begin_extension : element_.end_extension) = *value;
        }
      }
      return 0;
    case kGdsText:
      element_.text = true;
      return 0;
    case kGdsAref:
      element_.array = true;
      element_.array_attributes = ArrayAttributes();
      return 0;
    case kGdsColRow:
      if (element_.array) RecordArrayAttribute(record, &element_.array_attributes);
      return 0;
    case kGdsMag:
    case kGdsAngle:
    case kGdsStrans:
      if (element_.array) {
        RecordArrayAttribute(record, &element_.array_attributes);
        return 0;
      }
      return element_.text ? OnTextAttribute(record) : 0;
    case kGdsElFlags:
    case kGdsPresentation:
    case kGdsString:
      return element_.text && !element_.array ? OnTextAttribute(record) : 0;
    case kGdsExtCircle:
    case kGdsExtArc:
    case kGdsExtTwoRadiusArc:
      if (counting && (c_.options->scan_mode || c_.options->polygon_mode)) ++c_.expected;
      return 0;
    case kGdsLayer:
      return OnLayer(record);
    case kGdsWidth:
      return element_.skip_element ? 0 : OnWidth(record);
    case kGdsXy:
      if (element_.array) {
        RecordArrayAttribute(record, &element_.array_attributes);
        return 0;
      }
      // Scan mode looks for circles in every structure; otherwise only kept elements
      // need their points.
      return c_.options->scan_mode || Kept() ? OnXy(record) : 0;
    case kGdsEndEl:
      return OnEndEl();
    default:
      return 0;
  }
}

int RecordLoop::OnStrName(const GdsRecord& record) {
  const std::string_view name = record.Text();
  ++content_count_;
  if (!c_.selection->Contains(name)) {
    skip_structure_ = true;
    buffer_.clear();
    return 0;
  }
  if (name.size() > kMaxStructureName) {
    return Fail("The structure name '" + std::string(name) + "' in the GDS file '" + c_.input_name +
                "' is longer than 33 characters.");
  }
  structure_ = name;
  pg_name_.fill('\0');
  std::copy(name.begin(), name.end(), pg_name_.begin());
  ++structure_serial_;
  if (pipeline_ || run_batch_ != nullptr) {
    QueueItem(kItemStatus);
    buffer_.clear();
    return 0;
  }
  if (chunk_ != nullptr) {
    chunk_->structures.push_back(structure_);
    WriteElement();
    return 0;
  }
  const char* action =
      c_.options->counting_pass ? "Scanning Structure..." : "Translating Structure...";
  if (SetProgressStatus(
          {action, structure_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr}) != 0) {
    return -1;
  }
  WriteElement();
  return 0;
}

int RecordLoop::OnLayer(const GdsRecord& record) {
  const std::optional<int32_t> layer = record.Int16(0);
  if (!layer || record.data_type != kGdsTypeInt16) return Malformed(record, "no 2-byte layer");
  // Layers beyond the layer sets cannot be selected or excluded; in a structure that is
  // translated such a layer is an error.
  if (!skip_structure_ && !LayerSet::IsValidLayer(*layer)) {
    return Fail(LayerOutsideText(std::to_string(*layer), structure_, c_.input_name));
  }
  element_.layer = static_cast<int16_t>(*layer);
  const EngineOptions& o = *c_.options;
  if ((o.exclude_mode && o.excluded.Test(*layer)) ||
      (o.include_mode && !o.requested.Test(*layer))) {
    element_.skip_element = true;
  } else {
    ++content_count_;
  }
  return 0;
}

int RecordLoop::OnWidth(const GdsRecord& record) {
  const std::optional<int32_t> width = record.Int32(0);
  if (!width || record.data_type != kGdsTypeInt32) return Malformed(record, "no 4-byte width");
  // A negative width is an absolute one: the same width for the pattern generator.
  if (*width == INT32_MIN)
    Warn("a width of " + std::to_string(*width) + " is taken as 2147483647.");
  element_.width = *width == INT32_MIN ? INT32_MAX : std::abs(*width);
  if (c_.options->scan_mode) NoteWidth();
  if (min_width_ > 0 && element_.width <= min_width_) {
    element_.skip_element = true;
  } else {
    --content_count_;
  }
  return 0;
}

void RecordArrayAttribute(const GdsRecordView& record, ArrayAttributes* array) {
  switch (record.type) {
    case kGdsColRow:
      if (record.data.size() < 4) return;
      array->columns = *record.Int16(0);
      array->rows = *record.Int16(1);
      return;
    case kGdsMag:
      array->magnification = record.Real8(0).value_or(array->magnification);
      return;
    case kGdsAngle:
      array->angle = record.Real8(0).value_or(array->angle);
      return;
    case kGdsStrans:
      array->reflected = (record.Int16(0).value_or(0) & 0x8000) != 0;
      return;
    case kGdsXy:
      if (record.data_type != kGdsTypeInt32 || record.data.size() != 24) return;
      for (size_t i = 0; i < 6; ++i) array->points[i] = *record.Int32(i);
      array->have_points = true;
      return;
    default:
      return;
  }
}

int RecordLoop::OnTextAttribute(const GdsRecord& record) {
  Element& e = element_;
  switch (record.type) {
    case kGdsMag:
      e.magnification = record.Real8(0).value_or(e.magnification);
      break;
    case kGdsAngle:
      e.angle = record.Real8(0).value_or(e.angle);
      break;
    case kGdsStrans:
      e.reflected = (record.Int16(0).value_or(0) & 0x8000) != 0;
      break;
    case kGdsElFlags:
      e.template_flag = (record.Int16(0).value_or(0) & 0x0001) != 0;
      break;
    case kGdsPresentation: {
      const int32_t bits = record.Int16(0).value_or(0);
      e.font = (bits >> 4) & 3;
      e.vertical = (bits >> 2) & 3;
      e.horizontal = bits & 3;
      break;
    }
    default:  // STRING
      text_string_ = record.Text();
      break;
  }
  return 0;
}

int RecordLoop::OnXy(const GdsRecord& record) {
  if (element_.text && !element_.array) {
    // A text's position is its single point.
    if (record.data_type == kGdsTypeInt32 && record.data.size() == 8) {
      element_.have_position = true;
      element_.x = *record.Int32(0);
      element_.y = *record.Int32(1);
    }
    return 0;
  }
  if (!element_.path && !element_.polygon) return 0;
  if (record.data_type != kGdsTypeInt32 || record.data.size() % 8 != 0) {
    return Malformed(record, "its points are not pairs of 4-byte integers");
  }
  // The record was appended to the element buffer just now.
  element_.xy_length = record.bytes.size();
  element_.xy_offset = buffer_.size() - record.bytes.size();
  std::vector<int32_t>& points = c_.work->ixy;
  points.resize(record.data.size() / 4);
  // Decoded in place: the pass has already refused records not in big-endian order.
  const uint8_t* data = record.data.data();
  for (size_t i = 0; i < points.size(); ++i) {
    points[i] = GdsGetInt32(std::span<const uint8_t, 4>(data + 4 * i, 4));
  }
  element_.have_points = true;
  if (c_.options->scan_mode) NoteCircle();
  return 0;
}

void RecordLoop::NoteCircle() {
  FittedCircle circle;
  if (!FitCircleToPolygon(c_.work->ixy, 1.0, &circle, c_.work->dble_tmp)) return;
  for (double radius : radii_seen_) {
    if (std::fabs(radius - circle.radius) < 0.001) return;
  }
  if (radii_seen_.size() == kMaxScanListEntries) return;
  radii_seen_.push_back(circle.radius);
  c_.log->Write(Printf("C:%lf\n", circle.radius));
}

void RecordLoop::NoteWidth() {
  if (widths_seen_.size() == kMaxScanListEntries || !widths_seen_.insert(element_.width).second) {
    return;
  }
  c_.log->Write("W:" + std::to_string(element_.width) + "\n");
}

int RecordLoop::OnUnits(const GdsRecord& record, int kind, bool* done) {
  WriteElement();
  // The units change what the queued elements are worked out with.
  if (pipeline_ && !Flush()) return -1;
  const std::optional<double> user = record.Real8(0), metres = record.Real8(1);
  StreamUnits units;
  if (!user || !metres || !MakeStreamUnits(*user, *metres, &units)) {
    return Malformed(record, "its units are not two positive reals");
  }
  if (c_.options->scan_mode) LogScanUnits(*c_.log, units);
  c_.units = units;
  c_.units_seen = true;
  if (kind == kUnitsPass) {
    *done = true;
    return output_.Close() == 0 ? 0
                                : Fail("Unable to write GDS file '" + c_.translated_name + "'.");
  }
  c_.fixup = units.fixup;
  const int aperture_units = c_.settings->aperture.units;
  aperture_factor_ = aperture_units == kApertureInch ? units.metres_per_user / 0.0254
                     : aperture_units == kApertureMm ? units.metres_per_user / 0.001
                                                     : units.metres_per_user;
  const double min_line = c_.settings->min_line;
  min_width_ =
      min_line > 0 ? static_cast<int32_t>(std::min(min_line / units.user_per_database, 2e9)) : 0;
  ClearElement();
  skip_structure_ = false;
  content_count_ = 0;
  return 0;
}

int RecordLoop::OnEndStr() {
  if (!skip_structure_) {
    WriteElement();
    // Only a selected structure can be pruned; removing it is what ends the repeats, so
    // an ENDSTR that closes no selected structure (a malformed stream) repeats nothing.
    if (c_.options->prune && content_count_ == 1 && c_.selection->Contains(structure_)) {
      c_.selection->Remove(structure_);
      repeat_ = true;
    }
  }
  structure_.clear();
  ++structure_serial_;
  buffer_.clear();
  return 0;
}

int RecordLoop::OnEndEl() {
  if (pipeline_ || run_batch_ != nullptr) {
    QueueEndEl();
    ClearElement();
    buffer_.clear();
    return 0;
  }
  int result = 0;
  if (Kept() && !buffer_.empty()) {
    const bool first_run = pass_number_ == 0;
    if (element_.path && first_run) {
      if (element_.width != 0) NotePathExtendedByHalfWidth();
      result = element_.width == 0 ? HandOffZeroWidthPath() : HandOffWidePath();
    } else if (element_.polygon) {
      const std::vector<int32_t>& points = c_.work->ixy;
      result = HandOffPolygon(points.data(),
                              element_.have_points ? static_cast<int32_t>(points.size() / 2) : 0);
    } else if (element_.text && !element_.array) {
      WriteElement();
      if (c_.settings->text_stroking) StrokeText();
      NoteTextLeftOut();
    } else {
      WriteElement();
    }
  }
  ClearElement();
  buffer_.clear();
  return result;
}

int RecordLoop::EndOfLibrary(bool* done) {
  WriteElement();
  if (pipeline_ && !Flush()) return -1;
  const uint64_t tail = output_.size() % kStreamBlock;
  if (tail != 0) output_.WriteZeros(kStreamBlock - tail);
  *done = true;
  // The stream this pass replaces is freed on a thread of its own while the run goes on
  // to its end.
  std::string replaced;
  if (output_.CloseReplacingQuickly(&replaced) != 0) {
    return Fail("Unable to write GDS file '" + c_.translated_name + "'.");
  }
  RemoveReplaced(std::move(replaced));
  return 0;
}

void RecordLoop::WriteElement() {
  if (pipeline_ || run_batch_ != nullptr) {
    if (!buffer_.empty()) QueueItem(kItemBytes);
    buffer_.clear();
    return;
  }
  if (!discard_ && !buffer_.empty()) output_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void RecordLoop::NoteSent() {
  ++c_.sent;
  // The percentage is worked out only when it can have changed: from the count at which
  // the next one begins.
  if (c_.expected <= 0 || c_.sent < next_percent_at_) return;
  const int percent = static_cast<int>(std::min<int64_t>(c_.sent * 100 / c_.expected, 100));
  next_percent_at_ = percent >= 100 ? INT64_MAX : ((percent + 1) * c_.expected + 99) / 100;
  if (percent == last_percent_) return;
  last_percent_ = percent;
  const std::string text = std::to_string(percent) + "%";
  SetProgressText(nullptr, text.c_str(), "");
}

int RecordLoop::HandOffPolygon(const int32_t* xy, int32_t count) {
  if (c_.options->counting_pass) {
    ++c_.expected;
    return 0;
  }
  SendPolygon(xy, count, element_.layer, structure_, pg_name_.data());
  return 0;
}

void RecordLoop::SendPolygon(const int32_t* xy, int32_t count, int16_t layer,
                             const std::string& structure, const char* pg_name) {
  int32_t filled = c_.pg->Polygon(xy, count, table_.data(), kPgTableCapacity, c_.fixup, pg_name);
  NoteSent();
  if (filled < 0 || filled > kPgTableCapacity) {
    WarnNow("the PG library returned " + std::to_string(filled) + " trapezoids for a polygon of " +
            structure + "; the table holds " + std::to_string(kPgTableCapacity) + ".");
    filled = std::clamp(filled, 0, kPgTableCapacity);
  }
  std::array<uint8_t, kTrapezoidBoundaryBytes> bytes;
  bool fits = true;
  for (int32_t i = 0; i < filled; ++i) {
    fits = EncodeTrapezoidBoundary(layer, table_[static_cast<size_t>(i)], c_.fixup, bytes) && fits;
    output_.Write(bytes.data(), bytes.size());
  }
  if (!fits) WarnNow("a trapezoid of " + structure + " lies beyond the 32-bit coordinate range.");
}

int RecordLoop::HandOffZeroWidthPath() {
  if (c_.options->counting_pass) {
    ++c_.expected;
  } else if (element_.have_points) {
    const std::vector<int32_t>& points = c_.work->ixy;
    c_.pg->Path(points.data(), static_cast<int32_t>(points.size() / 2), c_.fixup, pg_name_.data());
    NoteSent();
  }
  WriteElement();
  return 0;
}

// Outline pieces go to PG (or are counted); kept pieces become path elements.
class RecordLoop::WidePathPieces : public PathPieceSink {
 public:
  explicit WidePathPieces(RecordLoop& loop) : loop_(loop) {}
  void Outline(std::span<const int32_t> xy) override {
    loop_.HandOffPolygon(xy.data(), static_cast<int32_t>(xy.size() / 2));
  }
  void PathPiece(std::span<const int32_t> xy) override { loop_.WriteKeptPiece(xy); }

 private:
  RecordLoop& loop_;
};

PathModeContext RecordLoop::PathMode() const {
  PathModeContext mode;
  mode.path_mode = c_.settings->path_mode;
  mode.user_per_database = c_.units.user_per_database;
  mode.aperture_factor = aperture_factor_;
  mode.scale_factor = c_.settings->scale_factor;
  mode.apertures = &c_.settings->aperture;
  return mode;
}

int RecordLoop::HandOffWidePath() {
  const std::vector<int32_t>& points = c_.work->ixy;
  const size_t count = element_.have_points ? points.size() / 2 : 0;
  const bool outlined = IsPathOutlined(PathMode(), element_.width, element_.pathtype);
  if (count < 2 || (count == 2 && !outlined)) {
    WriteElement();
    return 0;
  }
  WidePath path;
  path.xy = std::span<const int32_t>(points.data(), 2 * count);
  path.width = element_.width;
  path.pathtype = element_.pathtype;
  path.outlined = outlined;
  path.count_only = c_.options->counting_pass;
  WidePathPieces sink(*this);
  EngineLog* debug_log = c_.options->keep_temporaries ? c_.log : nullptr;
  const PathCutResult cut = CutWidePath(path, sink, debug_log);
  if (!cut.fits) Warn("an outline of a path of " + structure_ + " lies beyond the 32-bit range.");
  if (cut.at_one_place) Warn(PathAtOnePlaceWarning(structure_, element_.layer));
  return 0;
}

namespace {

// A kept piece is the path element again, with the piece's points as its XY record.
void AppendKeptPiece(const uint8_t* element, size_t size, size_t xy_offset, size_t xy_length,
                     std::span<const int32_t> xy, std::vector<uint8_t>& out) {
  const size_t xy_end = xy_offset + xy_length;
  out.insert(out.end(), element, element + xy_offset);
  const size_t length = xy.size() * 4 + 4;
  out.insert(out.end(), {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                         static_cast<uint8_t>(kGdsXy), static_cast<uint8_t>(kGdsTypeInt32)});
  for (int32_t value : xy) {
    const uint32_t bits = static_cast<uint32_t>(value);
    out.insert(out.end(), {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
                           static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)});
  }
  out.insert(out.end(), element + xy_end, element + size);
}

}  // namespace

void RecordLoop::WriteKeptPiece(std::span<const int32_t> xy) {
  scratch_.clear();
  AppendKeptPiece(buffer_.data(), buffer_.size(), element_.xy_offset, element_.xy_length, xy,
                  scratch_);
  output_.Write(scratch_.data(), scratch_.size());
}

EngineText RecordLoop::TextOf(const Element& e, const std::string& text_string) const {
  EngineText text;
  text.text = text_string;
  text.layer = e.layer;
  text.horizontal = e.horizontal;
  text.vertical = e.vertical;
  text.font = e.font;
  text.height = e.magnification / c_.units.user_per_database;
  text.angle = e.angle;
  text.x = e.x;
  text.y = e.y;
  text.reflected = e.reflected;
  text.template_flag = e.template_flag;
  return text;
}

void RecordLoop::StrokeText() {
  if (!element_.have_position) return;
  const EngineText text = TextOf(element_, text_string_);
  std::vector<uint8_t> bytes;
  const TextStrokeResult result =
      TextToPolygons(text, c_.settings->fonts, c_.settings->text_scales, bytes);
  output_.Write(bytes.data(), bytes.size());
  if (!result.fits) Warn("a stroke of a text of " + structure_ + " lies beyond the 32-bit range.");
  if (result.incomplete) {
    Warn("the font cannot stroke all of the text '" + text_string_ + "' in " + structure_ + ".");
  }
}

RecordLoop::~RecordLoop() {
  pipeline_.reset();
  // The batches hold many thousands of small buffers: they are freed on a few threads.
  const size_t groups = std::min<size_t>(batches_.size() / 4, 4);
  std::vector<std::thread> helpers;
  helpers.reserve(groups);
  for (size_t group = 1; group < groups; ++group) {
    const auto free_group = [this, group, groups] {
      for (size_t i = group; i < batches_.size(); i += groups) batches_[i].reset();
    };
    if (!StartThread(&helpers, free_group)) free_group();
  }
  for (size_t i = 0; groups > 1 && i < batches_.size(); i += groups) batches_[i].reset();
  for (std::thread& helper : helpers) helper.join();
  batches_.clear();
  RemoveReplaced({});
}

void RecordLoop::RemoveReplaced(std::string path) {
  if (remover_.joinable()) remover_.join();
  if (path.empty()) return;
  try {
    remover_ = std::thread([path] { ::unlink(path.c_str()); });
  } catch (const std::system_error&) {
    ::unlink(path.c_str());  // no thread to be had: removed on this one
  }
}

bool RecordLoop::UsePipeline(int kind) const {
  const EngineOptions& o = *c_.options;
  // The debug log of -dbgx is written while outlines are cut, so that run stays on one
  // thread, as do the counting and scan runs.
  return c_.threads > 1 && kind == kFullPass && !o.counting_pass && !o.scan_mode &&
         !o.keep_temporaries;
}

RecordLoop::PipeBatch& RecordLoop::QueueBatch() {
  return run_batch_ != nullptr ? *run_batch_ : *batches_[pipeline_->current()];
}

RecordLoop::PipeItem& RecordLoop::NewItem(PipeBatch& batch, int kind_of_item) {
  if (batch.used == batch.items.size()) batch.items.emplace_back();
  PipeItem& item = batch.items[batch.used++];
  item.kind = kind_of_item;
  if (batch.structure_serial != structure_serial_) {
    batch.structures.push_back(structure_);
    batch.pg_names.push_back(pg_name_);
    batch.structure_serial = structure_serial_;
  }
  item.structure = batch.structures.size() - 1;
  item.element = element_;
  item.points = batch.points.size();
  item.point_values = 0;
  return item;
}

void RecordLoop::QueueWarning(const std::string& text) {
  PipeBatch& batch = QueueBatch();
  PipeItem& item = NewItem(batch, kItemWarn);
  item.pointed = nullptr;
  item.offset = batch.bytes.size();
  item.size = 0;
  item.text = text;
  if (run_batch_ != nullptr) FinishRunItem(batch, item);
}

void RecordLoop::QueueItem(int kind_of_item) {
  PipeBatch& batch = QueueBatch();
  PipeItem& item = NewItem(batch, kind_of_item);
  item.size = buffer_.size();
  if (buffer_.pointed()) {
    item.pointed = buffer_.data();
  } else {
    item.pointed = nullptr;
    item.offset = batch.bytes.size();
    batch.bytes.insert(batch.bytes.end(), buffer_.data(), buffer_.data() + buffer_.size());
  }
  const bool needs_points = kind_of_item == kItemZeroPath || kind_of_item == kItemWidePath ||
                            kind_of_item == kItemPolygon;
  if (needs_points && element_.have_points) {
    const std::vector<int32_t>& points = c_.work->ixy;
    batch.points.insert(batch.points.end(), points.begin(), points.end());
    item.point_values = points.size();
  }
  if (kind_of_item == kItemText) {
    item.text = text_string_;
  }
  if (run_batch_ != nullptr) {
    FinishRunItem(batch, item);
    return;
  }
  if ((batch.used >= kBatchItems || batch.bytes.size() >= kBatchBytes ||
       batch.points.size() * sizeof(int32_t) >= kBatchBytes)) {
    SubmitBatch();
  }
}

bool RecordLoop::SubmitBatch() {
  PipeBatch& batch = *batches_[pipeline_->current()];
  if (batch.used == 0) return !pipeline_stopped_;
  if (!pipeline_->Submit(batch.used) || !pipeline_->Acquire()) {
    pipeline_stopped_ = true;
    return false;
  }
  batches_[pipeline_->current()]->Clear();
  return true;
}

bool RecordLoop::Flush() {
  if (!SubmitBatch() || !pipeline_->Drain()) {
    pipeline_stopped_ = true;
    return false;
  }
  return true;
}

void RecordLoop::QueueEndEl() {
  if (!Kept() || buffer_.empty()) return;
  const bool first_run = pass_number_ == 0;
  if (element_.path && first_run) {
    if (element_.width != 0) NotePathExtendedByHalfWidth();
    QueueItem(element_.width == 0 ? kItemZeroPath : kItemWidePath);
  } else if (element_.polygon) {
    QueueItem(kItemPolygon);
  } else if (element_.text && !element_.array) {
    QueueItem(c_.settings->text_stroking ? kItemText : kItemBytes);
    NoteTextLeftOut();
  } else {
    QueueItem(kItemBytes);
  }
}

// Outline pieces and kept pieces of a queued wide path, as steps of its item.
class RecordLoop::PipePieces : public PathPieceSink {
 public:
  PipePieces(const PipeBatch& batch, PipeItem& item) : batch_(batch), item_(item) {}
  void Outline(std::span<const int32_t> xy) override {
    item_.steps.push_back({PipeStep::kOutline, item_.outline.size(), xy.size()});
    item_.outline.insert(item_.outline.end(), xy.begin(), xy.end());
  }
  void PathPiece(std::span<const int32_t> xy) override {
    const size_t begin = item_.out.size();
    AppendKeptPiece(batch_.Records(item_), item_.size, item_.element.xy_offset,
                    item_.element.xy_length, xy, item_.out);
    item_.steps.push_back({PipeStep::kBytes, begin, item_.out.size() - begin});
  }

 private:
  const PipeBatch& batch_;
  PipeItem& item_;
};

// Works out one item on a thread of the pool: the same steps, in the same order, as
// the pass on one thread takes for the element.
void RecordLoop::PrepareItem(PipeBatch& batch, PipeItem& item) const {
  item.steps.clear();
  item.out.clear();
  item.outline.clear();
  item.warnings.clear();
  const Element& e = item.element;
  const std::string& structure = batch.structures[item.structure];
  switch (item.kind) {
    case kItemStatus:
      item.steps.push_back({PipeStep::kStatus});
      item.steps.push_back({PipeStep::kElement});
      return;
    case kItemWarn:
      item.steps.push_back({PipeStep::kWarn, item.warnings.size()});
      item.warnings.push_back(item.text);
      return;
    case kItemZeroPath:
      if (e.have_points) item.steps.push_back({PipeStep::kInputPath});
      item.steps.push_back({PipeStep::kElement});
      return;
    case kItemPolygon:
      item.steps.push_back({PipeStep::kInputPolygon});
      return;
    case kItemText: {
      item.steps.push_back({PipeStep::kElement});
      if (!e.have_position) return;
      const EngineText text = TextOf(e, item.text);
      const TextStrokeResult result =
          TextToPolygons(text, c_.settings->fonts, c_.settings->text_scales, item.out);
      item.steps.push_back({PipeStep::kBytes, 0, item.out.size()});
      if (!result.fits) {
        item.steps.push_back({PipeStep::kWarn, item.warnings.size()});
        item.warnings.push_back("a stroke of a text of " + structure +
                                " lies beyond the 32-bit range.");
      }
      if (result.incomplete) {
        item.steps.push_back({PipeStep::kWarn, item.warnings.size()});
        item.warnings.push_back("the font cannot stroke all of the text '" + item.text + "' in " +
                                structure + ".");
      }
      return;
    }
    case kItemWidePath: {
      const size_t count = item.point_values / 2;
      const bool outlined = IsPathOutlined(PathMode(), e.width, e.pathtype);
      if (count < 2 || (count == 2 && !outlined)) {
        item.steps.push_back({PipeStep::kElement});
        return;
      }
      WidePath path;
      path.xy = std::span<const int32_t>(batch.points.data() + item.points, 2 * count);
      path.width = e.width;
      path.pathtype = e.pathtype;
      path.outlined = outlined;
      PipePieces sink(batch, item);
      const PathCutResult cut = CutWidePath(path, sink, nullptr);
      if (!cut.fits) {
        item.steps.push_back({PipeStep::kWarn, item.warnings.size()});
        item.warnings.push_back("an outline of a path of " + structure +
                                " lies beyond the 32-bit range.");
      }
      if (cut.at_one_place) {
        item.steps.push_back({PipeStep::kWarn, item.warnings.size()});
        item.warnings.push_back(PathAtOnePlaceWarning(structure, e.layer));
      }
      return;
    }
    default:
      item.steps.push_back({PipeStep::kElement});
      return;
  }
}

// The PG stage, in order: the calls into the library and the progress dialog.
bool RecordLoop::CallPg(PipeBatch& batch) {
  const volatile int* const cancel_flag = ProgressCancelFlagAddress();
  bool use_prepared = batch.prepared;
  // Bytes assembled as the run was read hold for what PG returns as worked out ahead.
  if (!use_prepared) batch.early = false;
  for (size_t i = 0; i < batch.used; ++i) {
    // The pass on one thread looks for Cancel before every record, so no element after
    // a Cancel reaches PG.
    if (*cancel_flag != 0) return false;
    batch.sent = i + 1;
    // The items were worked out on other cores: their steps and outlines are asked for
    // a few items ahead, so that this thread, the one the pass waits for, seldom waits
    // for memory.
    if (i + kPrefetchAhead < batch.used) {
      const PipeItem& ahead = batch.items[i + kPrefetchAhead];
      __builtin_prefetch(ahead.steps.data());
      __builtin_prefetch(ahead.outline.data());
      __builtin_prefetch(batch.points.data() + ahead.points);
    }
    PipeItem& item = batch.items[i];
    const std::string& structure = batch.structures[item.structure];
    const char* pg_name = batch.pg_names[item.structure].data();
    const int32_t* points = batch.points.data() + item.points;
    const auto point_count = static_cast<int32_t>(item.point_values / 2);
    for (PipeStep& step : item.steps) {
      switch (step.kind) {
        case PipeStep::kInputPolygon:
        case PipeStep::kOutline: {
          const bool input = step.kind == PipeStep::kInputPolygon;
          const int32_t* xy = input ? points : item.outline.data() + step.begin;
          const int32_t count = input ? point_count : static_cast<int32_t>(step.size / 2);
          // PG fills the batch's store in place: room for a whole table behind what
          // it holds. Trapezoids worked out ahead lie where the store's next ones go
          // (while PG returns what was prepared) and are handed to the call.
          std::vector<PgTrapezoid>& store = batch.trapezoids;
          if (use_prepared) {
            if (step.prepared_ok) {
              // Where the points and the store stand now: the batch's vectors may have
              // moved as they grew after the polygon was worked out.
              step.prepared.points = xy;
              step.prepared.table = store.data() + step.trapezoids;
              c_.pg->UsePrepared(&step.prepared);
            }
          } else {
            if (store.size() < batch.trapezoids_used + kPgTableCapacity) {
              store.resize(std::max(2 * store.size(), batch.trapezoids_used + kPgTableCapacity));
            }
            step.trapezoids = batch.trapezoids_used;
          }
          step.returned = c_.pg->Polygon(xy, count, store.data() + step.trapezoids,
                                         kPgTableCapacity, c_.fixup, pg_name);
          NoteSent();
          step.filled = std::clamp(step.returned, 0, kPgTableCapacity);
          batch.trapezoids_used = step.trapezoids + static_cast<size_t>(step.filled);
          if (use_prepared &&
              step.filled !=
                  (step.prepared_ok ? std::clamp(step.prepared.filled, 0, kPgTableCapacity) : 0)) {
            // PG filled other entries than were worked out: those of the later
            // polygons may be gone, so PG works them out again, one after the other,
            // and the bytes are assembled anew.
            use_prepared = false;
            batch.early = false;
          }
          break;
        }
        case PipeStep::kInputPath:
          c_.pg->Path(points, point_count, c_.fixup, pg_name);
          NoteSent();
          break;
        case PipeStep::kStatus:
          if (SetProgressStatus({"Translating Structure...", structure.c_str(), nullptr, nullptr,
                                 nullptr, nullptr, nullptr}) != 0) {
            batch.sent = i;  // the structure's records are not written, as on one thread
            return false;
          }
          break;
        default:
          break;
      }
    }
  }
  if (batch.run) {
    // The pass on one thread stops where the run's loop stopped.
    if (batch.run_cancelled || *cancel_flag != 0) return false;
    if (batch.run_failure) {
      batch.failure_reached = true;
      return false;
    }
  }
  return true;
}

// The trapezoids PG returned for an item, as boundaries.
void RecordLoop::EncodeItem(PipeBatch& batch, PipeItem& item) const {
  size_t total = 0;
  for (const PipeStep& step : item.steps) total += static_cast<size_t>(step.filled);
  item.encoded.resize(total * kTrapezoidBoundaryBytes);
  uint8_t* out = item.encoded.data();
  for (PipeStep& step : item.steps) {
    if (step.kind != PipeStep::kInputPolygon && step.kind != PipeStep::kOutline) continue;
    step.encoded = static_cast<size_t>(out - item.encoded.data());
    step.fits = true;
    const PgTrapezoid* trapezoid = batch.trapezoids.data() + step.trapezoids;
    for (int32_t i = 0; i < step.filled; ++i, out += kTrapezoidBoundaryBytes) {
      step.fits = EncodeTrapezoidBoundary(
                      item.element.layer, trapezoid[i], c_.fixup,
                      std::span<uint8_t, kTrapezoidBoundaryBytes>(out, kTrapezoidBoundaryBytes)) &&
                  step.fits;
    }
  }
}

// What the writing stage writes (into the translated stream) and warns of (in the
// log), in order.
template <typename WriteFn, typename WarnFn, typename TrapezoidsFn>
void RecordLoop::EmitItem(PipeBatch& batch, PipeItem& item, WriteFn&& write, WarnFn&& warn,
                          TrapezoidsFn&& trapezoids) const {
  const std::string& structure = batch.structures[item.structure];
  for (PipeStep& step : item.steps) {
    switch (step.kind) {
      case PipeStep::kElement:
        write(batch.Records(item), item.size);
        break;
      case PipeStep::kBytes:
        if (step.size > 0) write(item.out.data() + step.begin, step.size);
        break;
      case PipeStep::kInputPolygon:
      case PipeStep::kOutline:
        if (step.returned != step.filled) {
          warn("the PG library returned " + std::to_string(step.returned) +
               " trapezoids for a polygon of " + structure + "; the table holds " +
               std::to_string(kPgTableCapacity) + ".");
        }
        if (step.filled > 0) trapezoids(item, step);
        if (!step.fits) {
          warn("a trapezoid of " + structure + " lies beyond the 32-bit coordinate range.");
        }
        break;
      case PipeStep::kWarn:
        warn(item.warnings[step.begin]);
        break;
      default:
        break;
    }
  }
}

template <typename WriteFn, typename WarnFn, typename TrapezoidsFn>
void RecordLoop::EmitBatch(PipeBatch& batch, WriteFn&& write, WarnFn&& warn,
                           TrapezoidsFn&& trapezoids) const {
  for (size_t i = 0; i < batch.sent; ++i) {
    if (i + kPrefetchAhead < batch.sent) {
      const PipeItem& ahead = batch.items[i + kPrefetchAhead];
      __builtin_prefetch(ahead.steps.data());
      __builtin_prefetch(ahead.encoded.data());
    }
    EmitItem(batch, batch.items[i], write, warn, trapezoids);
  }
}

// A batch of a parsing run after the PG stage: its bytes in one block and its warnings.
void RecordLoop::EncodeRun(PipeBatch& batch) const {
  std::vector<uint8_t>& image = batch.image;
  image.clear();
  batch.image_warnings.clear();
  for (size_t i = 0; i < batch.sent; ++i) {
    PipeItem& item = batch.items[i];
    EmitItem(
        batch, item,
        [&image](const uint8_t* data, size_t size) {
          image.insert(image.end(), data, data + size);
        },
        [&batch](std::string text) { batch.image_warnings.push_back(std::move(text)); },
        [this, &batch](const PipeItem& of, PipeStep& step) { EncodeInto(batch, of, step); });
    item.image_end = image.size();
    item.warnings_end = batch.image_warnings.size();
  }
}

// The writing stage, in order: the translated stream and the log.
void RecordLoop::WriteBatch(PipeBatch& batch) {
  if (batch.run) {
    // The block holds the items that reached PG (and, when assembled as the run was
    // read, those after them).
    const size_t bytes = batch.sent > 0 ? batch.items[batch.sent - 1].image_end : 0;
    const size_t warnings = batch.sent > 0 ? batch.items[batch.sent - 1].warnings_end : 0;
    if (bytes > 0) output_.Write(batch.image.data(), bytes);
    for (size_t i = 0; i < warnings; ++i) WarnNow(batch.image_warnings[i]);
    c_.layer_notes.Add(batch.parser->context.layer_notes);
  } else {
    EmitBatch(
        batch, [this](const uint8_t* data, size_t size) { output_.Write(data, size); },
        [this](const std::string& text) { WarnNow(text); },
        [this](const PipeItem& item, PipeStep& step) {
          output_.Write(item.encoded.data() + step.encoded,
                        static_cast<size_t>(step.filled) * kTrapezoidBoundaryBytes);
        });
  }
  if (batch.failure_reached) {
    c_.log->WriteCause(*batch.run_failure);
    run_failure_ = batch.run_failure;
  }
}

}  // namespace kavrinth
