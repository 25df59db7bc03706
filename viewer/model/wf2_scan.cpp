// WF2 scanning: the word stream read in 32768-byte blocks, polygons stored as closed
// boundaries in pattern coordinates, sections of whole strips over the memory limit, the
// frame index, and the loading of one section.
#include "viewer/model/wf2_scan.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>

#include "platform/files.h"
#include "support/buf_file.h"
#include "support/notifier.h"
#include "support/ordered_pipeline.h"
#include "support/paths.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

constexpr int kProgressSteps = 20;
// Files from this size on take enough blocks to have them made ahead.
constexpr int64_t kMakerFileBytes = int64_t{1} << 20;

int32_t Saturate(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

Wf2ScanValues& ScanValues() {
  static Wf2ScanValues values;
  return values;
}

struct FileCloser {
  void operator()(BufFile* file) const { BufFileClose(std::unique_ptr<BufFile>(file)); }
};

// The file as a window of at most one read block; read errors end it like its end.
class WordReader {
 public:
  bool Open(const std::string& path) {
    file_.reset(BufFileOpen(path.c_str(), "rb").release());
    if (!file_) return false;
    size_ = BufFileSize(file_.get());
    buffer_.resize(kWf2ReadBlock);
    return true;
  }
  void Close() { file_.reset(); }
  int64_t size() const { return size_; }
  int64_t position() const { return offset_ + static_cast<int64_t>(begin_); }

  bool Seek(int64_t position) {
    begin_ = end_ = 0;
    offset_ = position;
    return BufFileSeek(file_.get(), position, 0) == 0;
  }

  // At least `count` bytes from the position, or null when the file ends before them.
  const uint8_t* Ensure(size_t count) {
    if (end_ - begin_ >= count) return buffer_.data() + begin_;
    if (count > buffer_.size()) return nullptr;
    std::copy(buffer_.begin() + begin_, buffer_.begin() + end_, buffer_.begin());
    offset_ += static_cast<int64_t>(begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < count) {
      const size_t got = BufFileRead(file_.get(), buffer_.data() + end_, buffer_.size() - end_);
      if (got == 0) return nullptr;
      end_ += got;
    }
    return buffer_.data();
  }

  void Advance(int64_t bytes) {
    if (bytes <= static_cast<int64_t>(end_ - begin_)) {
      begin_ += static_cast<size_t>(bytes);
    } else {
      Seek(position() + bytes);
    }
  }

 private:
  std::unique_ptr<BufFile, FileCloser> file_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  int64_t offset_ = 0;  // file offset of buffer_[0]
  int64_t size_ = 0;
};

// The reader's running state over the word stream and the library it fills.
class Wf2Scan {
 public:
  enum class Step { kGoOn, kEndOfStrip, kEnd, kNoMemory };

  Wf2Scan(const std::string& path, int32_t layer) : path_(path), layer_(layer) {}

  WordReader& reader() { return reader_; }
  const Wf2Header& header() const { return header_; }
  void SetHeader(const Wf2Header& header) {
    header_ = header;
    width_ = header.frame_width;
    height_ = header.frame_height;
    total_height_ = int64_t{header.frames_per_strip} * header.frame_height;
    x_origin = -width_;
    y_origin = -height_;
  }

  bool BeginLibrary();
  GdxHandle EndLibrary();
  void AbandonLibrary() { GdxFreeLibrary(EndLibrary()); }
  Step Next(int64_t end);

  int64_t strip = 0;
  int64_t frame = 0;
  int64_t x_origin = 0;
  int64_t y_origin = 0;
  int64_t polygons = 0;
  int64_t skipped = 0;
  int32_t units_per_step = 1;

 private:
  bool Forward() const { return !header_.serpentine() || strip % 2 == 0; }
  Step Polygon(int32_t count);

  std::string path_;
  int32_t layer_;
  WordReader reader_;
  Wf2Header header_;
  int64_t width_ = 0;
  int64_t height_ = 0;
  int64_t total_height_ = 0;
  std::vector<GdxWord> points_;
};

bool Wf2Scan::BeginLibrary() {
  GdxLibrary* library = GdxBeginLibrary(path_);
  if (library == nullptr) return false;
  // The grid step is the user unit; it measures grid micrometres.
  GdxSetUnits(header_.grid, header_.grid * 1e-6);
  units_per_step = library->scale_factor;
  GdxStartStructure();
  if (GdxBeginStructure("TOP") != 0) {
    GdxFreeLibrary(GdxEndLibrary());
    return false;
  }
  GdxSetLayer(layer_);
  return true;
}

GdxHandle Wf2Scan::EndLibrary() {
  GdxEndStructure();
  return GdxEndLibrary();
}

Wf2Scan::Step Wf2Scan::Polygon(int32_t count) {
  const int64_t bytes = kWf2WordSize * (1 + int64_t{count});
  if (count == 0 || count > kWf2MaxPolygonPoints) {
    ++skipped;
    // A record of no points is its head alone; a longer one than the readers take is
    // passed over whole.
    reader_.Advance(count == 0 ? kWf2WordSize : bytes);
    return Step::kGoOn;
  }
  const uint8_t* record = reader_.Ensure(static_cast<size_t>(bytes));
  if (record == nullptr) {
    ++skipped;  // cut off by the end of the file
    return Step::kEnd;
  }
  points_.resize(2 * static_cast<size_t>(count) + 2);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* p = record + 4 + 4 * i;
    const int64_t x = ((p[0] << 8) | p[1]) + x_origin;
    const int64_t y = total_height_ - (((p[2] << 8) | p[3]) + y_origin);
    points_[2 * i] = Saturate(x);
    points_[2 * i + 1] = Saturate(y);
  }
  points_[2 * count] = points_[0];
  points_[2 * count + 1] = points_[1];
  GdxBeginBoundary();
  const int stored = GdxAddPoints(1, points_.data(), static_cast<int32_t>(points_.size()));
  GdxEndElement();
  if (stored != 0) return Step::kNoMemory;
  ++polygons;
  reader_.Advance(bytes);
  return Step::kGoOn;
}

Wf2Scan::Step Wf2Scan::Next(int64_t end) {
  if (reader_.position() >= end) return Step::kEnd;
  const uint8_t* word = reader_.Ensure(kWf2WordSize);
  if (word == nullptr) return Step::kEnd;
  if (word[0] == kWf2HeadByte) {
    switch (word[1]) {
      case kWf2BeginStrip:
        x_origin += width_;
        if (Forward()) y_origin = -height_;
        break;
      case kWf2BeginFrame:
        if (Forward()) y_origin += height_;
        break;
      case kWf2EndOfFrame:
        ++frame;
        if (!Forward()) y_origin -= height_;
        break;
      case kWf2EndOfStrip:
        ++strip;
        frame = 0;
        reader_.Advance(kWf2WordSize);
        return Step::kEndOfStrip;
      case kWf2Polygon:
        return Polygon((word[2] << 8) | word[3]);
      default:
        break;
    }
  }
  reader_.Advance(kWf2WordSize);
  return Step::kGoOn;
}

std::string FileNameOf(const std::string& path) {
  std::string name;
  SplitPath(NativePath(path), nullptr, &name);
  return name;
}

void ReportScan(Wf2ScanStatus status, const std::string& path, const std::string& detail) {
  switch (status) {
    case Wf2ScanStatus::kNotOpened:
      ShowMessage("Cannot open " + path + ".", "Error", MessageIcon::kStop);
      break;
    case Wf2ScanStatus::kNotWf2:
      ShowMessage("File reading error: " + path + " is not a WF2 file (" + detail + ").", "Error",
                  MessageIcon::kStop);
      break;
    case Wf2ScanStatus::kNoMemory:
      ShowMessage("Not enough memory to load " + path + ".", "Error", MessageIcon::kStop);
      break;
    default:
      break;
  }
}

// Reads and checks the header; the reader is left after it.
Wf2ScanStatus ReadHeader(Wf2Scan* scan, Wf2HeaderBlock* block, std::string* problem) {
  const uint8_t* bytes = scan->reader().Ensure(kWf2HeaderSize);
  if (bytes == nullptr) {
    *problem = "it is shorter than its header";
    return Wf2ScanStatus::kNotWf2;
  }
  std::copy_n(bytes, kWf2HeaderSize, block->begin());
  scan->reader().Advance(kWf2HeaderSize);
  const Wf2Header header = DecodeWf2Header(*block);
  *problem = Wf2GeometryProblem(header);
  if (problem->empty()) *problem = Wf2StreamProblem(header, scan->reader().size());
  if (!problem->empty()) return Wf2ScanStatus::kNotWf2;
  scan->SetHeader(header);
  return Wf2ScanStatus::kLoaded;
}

// The scan of a whole file, cut into sections when the database grows over the limit.
class SectionedScan {
 public:
  SectionedScan(Wf2Scan* scan, ScanProgress* progress, int64_t limit)
      : scan_(*scan), progress_(progress), limit_(limit) {}

  // The library of the whole file, or 0 with the index in the result.
  GdxHandle Run(bool always_index, Wf2ScanResult* result);

 private:
  bool CloseSection();
  GdxRect SectionBox() const;
  bool Cancelled();
  GdxHandle Fail(Wf2ScanStatus status, Wf2ScanResult* result);

  Wf2Scan& scan_;
  ScanProgress* progress_;
  int64_t limit_;
  Wf2FrameIndexBuilder index_;
  Wf2FrameIndexEntry start_;
  int64_t step_ = 1;
  int64_t next_progress_ = 0;
};

GdxRect SectionedScan::SectionBox() const {
  const int64_t strip_width = int64_t{scan_.header().frame_width} * scan_.units_per_step;
  return {Saturate(start_.first_strip * strip_width), 0, Saturate(scan_.strip * strip_width),
          Saturate(2 * int64_t{scan_.header().half_height} * scan_.units_per_step)};
}

bool SectionedScan::CloseSection() {
  GdxFreeLibrary(scan_.EndLibrary());
  GdxResetBytesAllocated();
  Wf2FrameIndexEntry entry = start_;
  entry.box = SectionBox();
  entry.polygons = scan_.polygons;
  index_.AddWf2FrameIndexEntry(entry);
  // The next section starts at the word after this end of strip.
  start_ = {scan_.reader().position(),
            {},
            Saturate(scan_.strip),
            scan_.x_origin,
            scan_.y_origin,
            scan_.polygons};
  return scan_.BeginLibrary();
}

bool SectionedScan::Cancelled() {
  if (progress_ == nullptr || scan_.reader().position() < next_progress_) return false;
  next_progress_ = scan_.reader().position() + step_;
  return progress_->Update(scan_.reader().position());
}

GdxHandle SectionedScan::Fail(Wf2ScanStatus status, Wf2ScanResult* result) {
  scan_.AbandonLibrary();
  if (progress_ != nullptr) progress_->Close();
  result->status = status;
  return kGdxNoHandle;
}

GdxHandle SectionedScan::Run(bool always_index, Wf2ScanResult* result) {
  const int64_t size = scan_.reader().size();
  start_ = {kWf2HeaderSize, {}, 0, scan_.x_origin, scan_.y_origin, 0};
  step_ = std::max<int64_t>(size / kProgressSteps, 1);
  next_progress_ = step_;
  if (!scan_.BeginLibrary()) return Fail(Wf2ScanStatus::kNoMemory, result);
  for (;;) {
    const Wf2Scan::Step step = scan_.Next(size);
    if (step == Wf2Scan::Step::kEnd) break;
    if (step == Wf2Scan::Step::kNoMemory) return Fail(Wf2ScanStatus::kNoMemory, result);
    if (step == Wf2Scan::Step::kEndOfStrip && limit_ > 0 && GdxBytesAllocated() > limit_ &&
        !CloseSection()) {
      return Fail(Wf2ScanStatus::kNoMemory, result);
    }
    if (Cancelled()) return Fail(Wf2ScanStatus::kCancelled, result);
  }
  scan_.reader().Close();
  const GdxHandle library = scan_.EndLibrary();
  if (progress_ != nullptr) progress_->Close();
  result->polygons = scan_.polygons;
  result->skipped_records = scan_.skipped;
  if (index_.count() == 0 && !always_index) {
    GdxLibrary* loaded = GdxLibraryFromHandle(library);
    if (GdxStructure* top = GdxFindStructureByName(loaded, "TOP", 0)) {
      const int64_t u = scan_.units_per_step;
      top->extents = {0, 0, Saturate(2 * int64_t{scan_.header().half_width} * u),
                      Saturate(2 * int64_t{scan_.header().half_height} * u)};
    }
    result->status = Wf2ScanStatus::kLoaded;
    return library;
  }
  if (scan_.polygons > start_.polygons || index_.count() == 0) {
    Wf2FrameIndexEntry entry = start_;
    entry.box = SectionBox();
    entry.polygons = scan_.polygons;
    index_.AddWf2FrameIndexEntry(entry);
  }
  GdxFreeLibrary(library);
  result->frame_index = index_.BuildWf2FrameIndex(size);
  if (result->frame_index == kGdxNoHandle) {
    result->status = Wf2ScanStatus::kNoMemory;
    return kGdxNoHandle;
  }
  result->sections = index_.count();
  result->status = Wf2ScanStatus::kIndexed;
  return kGdxNoHandle;
}

// The frame index block: each entry as 13 words, 64-bit values low word first.
void PutEntry(GdxWord* words, const Wf2FrameIndexEntry& e) {
  const auto low = [](int64_t v) { return static_cast<GdxWord>(static_cast<uint32_t>(v)); };
  const auto high = [](int64_t v) { return static_cast<GdxWord>(static_cast<uint64_t>(v) >> 32); };
  const GdxWord values[kWf2FrameIndexEntryWords] = {
      low(e.offset),    high(e.offset),  e.box.min_x,     e.box.min_y,      e.box.max_x,
      e.box.max_y,      e.first_strip,   low(e.x_origin), high(e.x_origin), low(e.y_origin),
      high(e.y_origin), low(e.polygons), high(e.polygons)};
  std::copy(std::begin(values), std::end(values), words);
}

Wf2FrameIndexEntry GetEntry(const GdxWord* w) {
  const auto wide = [w](int i) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(w[i + 1])) << 32) |
                                static_cast<uint32_t>(w[i]));
  };
  return {wide(0), {w[2], w[3], w[4], w[5]}, w[6], wide(7), wide(9), wide(11)};
}

}  // namespace

const Wf2ScanValues& LastWf2Scan() { return ScanValues(); }

GdxHandle Wf2FrameIndexBuilder::BuildWf2FrameIndex(int64_t file_size) const {
  const auto count = static_cast<int32_t>(entries_.size());
  const GdxHandle block = GdxAllocateBlock((count + 1) * kWf2FrameIndexEntryWords);
  GdxWord* words = GdxBlockWords(block);
  if (words == nullptr) return kGdxNoHandle;
  for (int32_t k = 0; k < count; ++k) PutEntry(words + k * kWf2FrameIndexEntryWords, entries_[k]);
  Wf2FrameIndexEntry end;
  end.offset = file_size;
  PutEntry(words + count * kWf2FrameIndexEntryWords, end);
  return block;
}

int32_t Wf2FrameIndexSections(GdxHandle index) {
  const int32_t entries = GdxBlockWordCount(index) / kWf2FrameIndexEntryWords;
  return entries > 0 ? entries - 1 : 0;
}

std::optional<Wf2FrameIndexEntry> ReadWf2FrameIndexEntry(GdxHandle index, int32_t k) {
  const GdxWord* words = GdxBlockWords(index);
  if (words == nullptr || k < 0 || k > Wf2FrameIndexSections(index)) return std::nullopt;
  return GetEntry(words + k * kWf2FrameIndexEntryWords);
}

GdxHandle ScanWf2File(ScanProgress* progress, const std::string& path, int32_t layer,
                      Wf2ScanResult* result) {
  Wf2ScanResult local;
  Wf2ScanResult& r = result != nullptr ? *result : local;
  r = {};
  Wf2Scan scan(path, layer);
  if (!scan.reader().Open(path)) {
    ReportScan(r.status = Wf2ScanStatus::kNotOpened, path, {});
    return kGdxNoHandle;
  }
  Wf2HeaderBlock block{};
  std::string problem;
  if ((r.status = ReadHeader(&scan, &block, &problem)) != Wf2ScanStatus::kLoaded) {
    ReportScan(r.status, path, problem);
    return kGdxNoHandle;
  }
  std::copy_n(block.begin(), JobState().wf2_header.size(), JobState().wf2_header.begin());
  const int64_t size = scan.reader().size();
  if (progress != nullptr) {
    progress->Open("Scanning WF2 File", FileNameOf(path),
                   "File Size: " + std::to_string(size) + " bytes", size);
  }
  SectionedScan sectioned(&scan, progress, CurrentViewerServices().DatabaseMemoryLimit());
  std::optional<GdxBlockMaker> maker;
  if (size >= kMakerFileBytes && WorkerThreadCount(0, "VEXIL_THREADS") > 1) maker.emplace();
  const GdxHandle library = sectioned.Run(false, &r);
  maker.reset();
  if (r.status == Wf2ScanStatus::kLoaded || r.status == Wf2ScanStatus::kIndexed) {
    ScanValues() = {scan.header(), scan.header().grid, scan.units_per_step, size};
  }
  ReportScan(r.status, path, {});
  if (r.skipped_records > 0) {
    ShowMessage(path + ": " + std::to_string(r.skipped_records) +
                    " polygon records without points, with more than 8191 points or cut off "
                    "by the end of the file were skipped.",
                "Warning", MessageIcon::kWarning);
  }
  return library;
}

GdxHandle LoadWf2Frame(GdxHandle index, int32_t layer, int32_t k, Wf2ScanResult* result) {
  Wf2ScanResult local;
  Wf2ScanResult& r = result != nullptr ? *result : local;
  r = {};
  const auto fail = [&r](Wf2ScanStatus status) {
    r.status = status;
    return kGdxNoHandle;
  };
  const int32_t sections = Wf2FrameIndexSections(index);
  if (k < 0 || k >= sections || layer < 0 || layer >= kViewLayerTableSize) {
    return fail(Wf2ScanStatus::kChanged);
  }
  const Wf2FrameIndexEntry entry = *ReadWf2FrameIndexEntry(index, k);
  const int64_t end = ReadWf2FrameIndexEntry(index, k + 1)->offset;
  const std::string path = LayerTable()[layer].path;
  Wf2Scan scan(path, layer);
  if (!scan.reader().Open(path)) return fail(Wf2ScanStatus::kNotOpened);
  // A file of another size is not the one indexed; its own header gives the geometry.
  if (scan.reader().size() != ReadWf2FrameIndexEntry(index, sections)->offset) {
    return fail(Wf2ScanStatus::kChanged);
  }
  Wf2HeaderBlock block{};
  std::string problem;
  const Wf2ScanStatus header = ReadHeader(&scan, &block, &problem);
  if (header != Wf2ScanStatus::kLoaded) return fail(header);
  if (!scan.reader().Seek(entry.offset)) return fail(Wf2ScanStatus::kNotOpened);
  scan.strip = entry.first_strip;
  scan.x_origin = entry.x_origin;
  scan.y_origin = entry.y_origin;
  if (!scan.BeginLibrary()) return fail(Wf2ScanStatus::kNoMemory);
  for (Wf2Scan::Step step = Wf2Scan::Step::kGoOn; step != Wf2Scan::Step::kEnd;) {
    step = scan.Next(end);
    if (step == Wf2Scan::Step::kNoMemory) {
      scan.AbandonLibrary();
      return fail(Wf2ScanStatus::kNoMemory);
    }
  }
  const GdxHandle library = scan.EndLibrary();
  r.status = Wf2ScanStatus::kLoaded;
  r.polygons = scan.polygons;
  r.skipped_records = scan.skipped;
  if (entry.polygons != 0) {
    const int64_t first = k > 0 ? ReadWf2FrameIndexEntry(index, k - 1)->polygons : 0;
    CurrentViewerServices().ApplyHitFlags(library, layer, Saturate(entry.polygons),
                                          Saturate(first));
  }
  return library;
}

int RebuildWf2FrameIndex(int32_t layer) {
  if (layer < 0 || layer >= kViewLayerTableSize) return 1;
  ViewLayerEntry& entry = LayerTable()[layer];
  if (entry.frame_block != kGdxNoHandle) GdxFreeBlock(entry.frame_block);
  entry.frame_block = kGdxNoHandle;
  entry.frame_count = 0;
  Wf2Scan scan(entry.path, layer);
  Wf2HeaderBlock block{};
  std::string problem;
  if (!scan.reader().Open(entry.path) ||
      ReadHeader(&scan, &block, &problem) != Wf2ScanStatus::kLoaded) {
    return 1;
  }
  Wf2ScanResult result;
  SectionedScan sectioned(&scan, nullptr, CurrentViewerServices().DatabaseMemoryLimit());
  sectioned.Run(true, &result);
  if (result.status != Wf2ScanStatus::kIndexed) return 1;
  entry.frame_block = result.frame_index;
  entry.frame_count = result.sections;
  entry.file_size = scan.reader().size();
  return 0;
}

}  // namespace kavrinth
