// The WF2 writer: frames advanced in file order, pattern points put into frame
// coordinates, the saving of a loaded layer's boundaries and the commit of the result.
#include "viewer/model/wf2_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <ctime>
#include <memory>

#include "platform/files.h"
#include "support/buf_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

constexpr int32_t kDeletedFlag = 2;

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

std::optional<FileId> IdOf(const std::string& path) {
  struct stat status {};
  if (::stat(ResolveExistingPath(path).c_str(), &status) != 0) return std::nullopt;
  return FileId{status.st_dev, status.st_ino};
}

int64_t Clamp(int64_t value, int64_t high) { return std::clamp<int64_t>(value, 0, high); }

// Floor division for the frame of an element that carries none.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

// ---- Words and records ----

void Wf2Writer::PutHead(uint8_t code, uint16_t value) {
  const uint8_t word[4] = {kWf2HeadByte, code, static_cast<uint8_t>(value >> 8),
                           static_cast<uint8_t>(value)};
  out_->Write(word, sizeof word);
}

int Wf2Writer::WriteWf2Header() {
  if (!is_open()) return kWf2Failed;
  Wf2Header header = header_;
  if (date_) {
    header.year = date_->first;
    header.day = date_->second;
  } else {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    header.year = local.tm_year + 1900;
    header.day = local.tm_yday + 1;
  }
  auto block = std::make_unique<Wf2HeaderBlock>();
  EncodeWf2Header(header, block.get());
  out_->Write(block->data(), block->size());
  return kWf2Ok;
}

int Wf2Writer::Wf2PutPolygon(int32_t count, const int32_t* points) {
  if (count < 1 || count > kWf2MaxPolygonPoints) {
    Refuse();
    return kWf2Limited;
  }
  // The record is built whole and written at once.
  record_.resize(kWf2WordSize * (2 + static_cast<size_t>(count)));
  uint8_t* r = record_.data();
  const uint8_t head[4] = {kWf2HeadByte, kWf2Polygon, static_cast<uint8_t>(count >> 8),
                           static_cast<uint8_t>(count)};
  r = std::copy(head, head + 4, r);
  for (int32_t i = 0; i < 2 * count; ++i) {
    *r++ = static_cast<uint8_t>(points[i] >> 8);
    *r++ = static_cast<uint8_t>(points[i]);
  }
  const uint8_t end[4] = {kWf2HeadByte, kWf2EndOfPolygon, 0, 0};
  std::copy(end, end + 4, r);
  out_->Write(record_.data(), record_.size());
  return kWf2Ok;
}

// Moves the output forward to frame k, writing the frames between as empty ones. A frame
// before the last one written, or beyond the pattern, is refused.
int Wf2Writer::Advance(int64_t frame) {
  if (!is_open()) return kWf2Failed;
  if (frame < 0 || frame >= header_.frame_count() || frame < last_frame_) {
    Refuse();
    return kWf2Limited;
  }
  if (!started_) {
    if (writes_header_) WriteWf2Header();
    Wf2PutDataStart();
    started_ = true;
  }
  const int64_t frames = header_.frames_per_strip;
  while (last_frame_ != frame) {
    if (last_frame_ >= 0) Wf2PutEndOfFrame();
    if (current_frame_ < 0 || (current_frame_ + 1) % frames == 0) {
      if (last_frame_ >= 0) Wf2PutEndOfStrip();
      Wf2PutBeginStrip(++current_strip_);
    }
    ++current_frame_;
    Wf2PutBeginFrame(current_frame_ % frames);
    last_frame_ = current_frame_;
  }
  return kWf2Ok;
}

int Wf2Writer::WriteWf2Polygon(int64_t frame, int32_t count) {
  if (count < 0) return kWf2Ok;
  const int32_t n = std::min<int32_t>(count, static_cast<int32_t>(points_.size())) / 2;
  if (n < 1 || n > kWf2MaxPolygonPoints) {
    Refuse();
    return kWf2Limited;
  }
  if (const int advanced = Advance(frame); advanced != kWf2Ok) return advanced;
  const Wf2FramePlace place = Wf2PlaceOfFrame(frame, header_.frames_per_strip);
  const int64_t row = Wf2RowOfPosition(header_, place);
  const double grid = header_.grid;
  const double left = place.strip * header_.frame_width * grid + x0_;
  const double top = (header_.frames_per_strip - row) * header_.frame_height * grid + y0_;
  const int64_t last_x = header_.frame_width - 1;
  const int64_t last_y = header_.frame_height - 1;
  converted_.resize(2 * static_cast<size_t>(n));
  // Points are thousandths of a micrometre; frame coordinates are grid steps, x to the
  // right of the frame's left edge and y down from its top, kept inside the frame.
  for (int32_t i = 0; i < n; ++i) {
    const double x = std::trunc((points_[2 * i] - left / 0.001) * 0.001 / grid + 0.5);
    const double y = std::trunc((top / 0.001 - points_[2 * i + 1]) * 0.001 / grid + 0.5);
    converted_[2 * i] = static_cast<int32_t>(std::clamp<double>(x, 0, last_x));
    converted_[2 * i + 1] = static_cast<int32_t>(std::clamp<double>(y, 0, last_y));
  }
  return Wf2PutPolygon(n, converted_.data());
}

int Wf2Writer::Finish() {
  if (!is_open()) return kWf2Failed;
  Advance(header_.frame_count() - 1);
  Wf2PutEndOfFrame();
  Wf2PutEndOfStrip();
  Wf2PutEndOfData();
  const int error = out_->Close();
  out_.reset();
  if (error != 0) return kWf2Failed;
  return refused_ > 0 ? kWf2Limited : kWf2Ok;
}

int Wf2Writer::CloseWf2File() { return Finish(); }

void Wf2Writer::Abandon() { out_.reset(); }

// ---- The clipping path ----

int Wf2Writer::OpenWf2Output(const std::string& path, const Wf2Header& header, double x0,
                             double y0) {
  Abandon();
  if (!Wf2GeometryProblem(header).empty()) return kWf2Failed;
  header_ = header;
  x0_ = x0;
  y0_ = y0;
  writes_header_ = true;
  started_ = false;
  current_frame_ = current_strip_ = last_frame_ = -1;
  refused_ = 0;
  target_is_template_ = false;
  out_ = std::make_unique<GdsOutputFile>();
  if (out_->OpenReplacing(path)) return kWf2Ok;
  out_.reset();
  return kWf2Failed;
}

// ---- The saving path ----

int Wf2Writer::OpenWf2Copy(const std::string& template_path, const std::string& target_path) {
  Abandon();
  std::unique_ptr<BufFile> source = BufFileOpen(template_path.c_str(), "rb");
  if (!source) return kWf2Failed;
  auto block = std::make_unique<Wf2HeaderBlock>();
  const size_t read = BufFileRead(source.get(), block->data(), block->size());
  const int64_t template_size = BufFileSize(source.get());
  BufFileClose(std::move(source));
  if (read != block->size()) return kWf2Failed;
  // The geometry is the template's own, whatever was scanned last. A header that names
  // more frames than its file holds is refused: the save would write every one of them.
  header_ = DecodeWf2Header(*block);
  if (!Wf2GeometryProblem(header_).empty() || !Wf2StreamProblem(header_, template_size).empty()) {
    return kWf2Failed;
  }
  const auto template_id = IdOf(template_path);
  target_is_template_ = template_id && template_id == IdOf(target_path);
  target_ = target_path;
  writes_header_ = false;
  started_ = false;
  current_frame_ = current_strip_ = last_frame_ = -1;
  refused_ = 0;
  save_seen_ = 0;
  out_ = std::make_unique<GdsOutputFile>();
  if (!out_->OpenReplacing(target_path)) {
    out_.reset();
    return kWf2Failed;
  }
  out_->Write(block->data(), block->size());
  return kWf2Ok;
}

int Wf2Writer::WriteWf2Element(const GdxWord* data, int32_t units_per_step) {
  if (data == nullptr || units_per_step < 1) return kWf2Failed;
  const int32_t header_words = data[0] & 0xFFFF;
  int32_t count = static_cast<int32_t>(static_cast<uint32_t>(data[1]) >> 16);
  const GdxWord* points = data + header_words;
  // The closing repeat of the first point is not written: WF2 polygons close implicitly.
  if (count > 1 && points[0] == points[2 * count - 2] && points[1] == points[2 * count - 1]) {
    --count;
  }
  if (count < 1) {
    Refuse();
    return kWf2Limited;
  }
  const int64_t u = units_per_step;
  const int64_t width = header_.frame_width;
  const int64_t height = header_.frame_height;
  const int64_t frames = header_.frames_per_strip;
  // A polygon of frame (s, r) lies in x from s * W to s * W + W - 1 and in y from
  // (F - r) * H - H + 1 to (F - r) * H, so the middle of its box names its frame; an
  // element edited in the viewer goes to the frame where it now lies.
  int64_t min_x = INT64_MAX, max_x = INT64_MIN, min_y = INT64_MAX, max_y = INT64_MIN;
  for (int32_t i = 0; i < count; ++i) {
    min_x = std::min<int64_t>(min_x, points[2 * i]);
    max_x = std::max<int64_t>(max_x, points[2 * i]);
    min_y = std::min<int64_t>(min_y, points[2 * i + 1]);
    max_y = std::max<int64_t>(max_y, points[2 * i + 1]);
  }
  Wf2FramePlace place;
  place.strip = FloorDiv(min_x + max_x, 2 * width * u);
  const int64_t row = frames + FloorDiv(-(min_y + max_y), 2 * height * u);
  place.position = header_.serpentine() && place.strip % 2 != 0 ? frames - 1 - row : row;
  if (place.strip < 0 || row < 0 || row >= frames) {
    Refuse();
    return kWf2Limited;
  }
  if (const int advanced = Advance(place.strip * frames + place.position); advanced != kWf2Ok) {
    return advanced;
  }
  const int64_t row_offset = row * height;
  converted_.resize(2 * static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const int64_t x = points[2 * i] / u - place.strip * width;
    const int64_t y = frames * height - (points[2 * i + 1] / u + row_offset);
    converted_[2 * i] = static_cast<int32_t>(Clamp(x, width - 1));
    converted_[2 * i + 1] = static_cast<int32_t>(Clamp(y, height - 1));
  }
  return Wf2PutPolygon(count, converted_.data());
}

int Wf2Writer::SaveWf2File(ScanProgress* progress, GdxHandle library, const std::string& file_name,
                           int32_t layer, int32_t section) {
  GdxLibrary* lib = GdxLibraryFromHandle(library);
  if (!is_open() || lib == nullptr || layer < 0 || layer >= kViewLayerTableSize) {
    return kWf2Failed;
  }
  const GdxStructure* structure = GdxFindStructureById(lib, lib->current_structure_id);
  if (structure == nullptr) return kWf2Failed;
  const ViewLayerEntry& entry = LayerTable()[layer];
  const int32_t sections = Wf2FrameIndexSections(entry.frame_block);
  if (section == 0) {
    save_total_ = structure->boundary_count;
    if (sections > 0)
      save_total_ = ReadWf2FrameIndexEntry(entry.frame_block, sections - 1)->polygons;
    save_step_ = save_total_ >= 100 ? save_total_ / 100 : 1;
    save_seen_ = 0;
    if (progress != nullptr) progress->Open("Saving WF2 File", file_name, "", save_total_);
  }
  GdxEntryCursor cursor(structure->begin_page, structure->begin_position);
  for (cursor.Next(); cursor.Valid(); cursor.Next()) {
    const int32_t type = cursor.Type();
    if (type == kGdxStructureBegin || type == kGdxEndMark) break;
    if (type != kGdxBoundary) continue;
    ++save_seen_;
    if (progress != nullptr && save_seen_ % save_step_ == 0 && progress->Update(save_seen_)) {
      Abandon();
      progress->Close();
      return kWf2Cancelled;
    }
    if ((cursor.Entry()[kGdxEntrySelection] & kDeletedFlag) == 0) {
      WriteWf2Element(cursor.Data(), lib->scale_factor);
    }
  }
  if (progress != nullptr && (sections == 0 || section >= sections - 1)) progress->Close();
  if (out_->error() != 0) return kWf2Failed;
  return refused_ > 0 ? kWf2Limited : kWf2Ok;
}

int Wf2Writer::CommitWf2File() {
  const bool rebuild = target_is_template_;
  const int result = Finish();
  if (result != kWf2Failed && rebuild) RebuildIndexesOf(target_);
  target_is_template_ = false;
  return result;
}

// The layers loaded in sections from the rewritten file index its new offsets.
void Wf2Writer::RebuildIndexesOf(const std::string& path) {
  const auto written = IdOf(path);
  for (int32_t layer = 0; layer < kViewLayerCount; ++layer) {
    const ViewLayerEntry& entry = LayerTable()[layer];
    if (entry.frame_block == kGdxNoHandle || entry.path.empty()) continue;
    if (IdOf(entry.path) == written) RebuildWf2FrameIndex(layer);
  }
}

}  // namespace kavrinth
