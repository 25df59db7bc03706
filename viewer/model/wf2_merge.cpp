// The WF2 merge: headers checked against the first source, the first source copied word
// by word, and the further sources' polygons inserted frame by frame.
#include "viewer/model/wf2_merge.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/files.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "viewer/model/wf2_format.h"

namespace kavrinth {
namespace {

constexpr int kProgressSteps = 20;
constexpr size_t kShortenedName = 61;

using Word = std::array<uint8_t, 4>;

bool ReadWord(BufFile* file, Word* word) { return BufFileRead(file, word->data(), 4) == 4; }

bool Is(const Word& word, uint8_t code) { return word[0] == kWf2HeadByte && word[1] == code; }

// The point words and the end-of-polygon word that follow a polygon head.
bool ReadPolygonBody(BufFile* file, const Word& head, std::vector<uint8_t>* body) {
  const size_t count = (size_t{head[2]} << 8) | head[3];
  body->resize(kWf2WordSize * (count + 1));
  return BufFileRead(file, body->data(), body->size()) == body->size();
}

void Report(const std::string& text) { ShowMessage(text, "Error", MessageIcon::kStop); }

struct FileCloser {
  void operator()(BufFile* file) const { BufFileClose(std::unique_ptr<BufFile>(file)); }
};
using OpenFile = std::unique_ptr<BufFile, FileCloser>;

// The header of a source, or nothing (reported) when it is not a usable WF2 file.
std::optional<Wf2HeaderBlock> ReadSourceHeader(const std::string& path) {
  OpenFile file(BufFileOpen(path.c_str(), "rb").release());
  Wf2HeaderBlock block{};
  if (!file || BufFileRead(file.get(), block.data(), block.size()) != block.size()) {
    Report("Cannot read the WF2 file " + path + ".");
    return std::nullopt;
  }
  const std::string problem = Wf2GeometryProblem(DecodeWf2Header(block));
  if (!problem.empty()) {
    Report("File reading error: " + path + " is not a WF2 file (" + problem + ").");
    return std::nullopt;
  }
  return block;
}

// Sources are merged frame by frame, so they must share the first one's frames.
bool SameGeometry(const Wf2Header& a, const Wf2Header& b) {
  return a.grid == b.grid && a.frame_width == b.frame_width && a.frame_height == b.frame_height &&
         a.strips == b.strips && a.frames_per_strip == b.frames_per_strip &&
         a.serpentine() == b.serpentine();
}

std::string StemOf(const std::string& path) {
  std::string name;
  SplitPath(NativePath(path), nullptr, &name);
  std::string stem;
  SplitExtension(name, &stem, nullptr);
  return stem;
}

// "Merge of" the first source's name and ",name" per further source, while it fits the
// 64-byte field; the first name that does not fit cuts the text to 61 characters and "...".
void NameMerge(const std::string& first, const std::vector<std::string>& others,
               Wf2HeaderBlock* block) {
  std::string text = "Merge of " + StemOf(first);
  for (const std::string& other : others) {
    text += "," + StemOf(other);
    const bool fits = text.size() <= kWf2NameSize;
    if (!fits) text = text.substr(0, kShortenedName) + "...";
    std::fill_n(block->begin() + kWf2Name, kWf2NameSize, 0);
    std::copy_n(text.begin(), std::min(text.size(), kWf2NameSize), block->begin() + kWf2Name);
    if (!fits) break;
  }
}

}  // namespace

// ---- Further sources ----

Wf2MergeSources::Wf2MergeSources(std::vector<std::string> paths) {
  sources_.resize(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) sources_[i].path = std::move(paths[i]);
}

size_t Wf2MergeSources::open_count() const {
  return static_cast<size_t>(std::count_if(sources_.begin(), sources_.end(),
                                           [](const Source& s) { return s.file != nullptr; }));
}

void Wf2MergeSources::CloseWf2MergeSources() {
  for (Source& source : sources_) {
    if (source.file) source.position = BufFileTell(source.file.get());
    source.file.reset();
  }
}

// Opens the source when it is closed (closing the one used longest ago when eight are
// open) and positions it where it stopped; the header is passed over the first time.
bool Wf2MergeSources::Ready(Source* source) {
  source->last_use = ++clock_;
  if (source->file) return true;
  if (open_count() >= kWf2MergeOpenSources) {
    Source* oldest = nullptr;
    for (Source& s : sources_) {
      if (s.file && (oldest == nullptr || s.last_use < oldest->last_use)) oldest = &s;
    }
    oldest->position = BufFileTell(oldest->file.get());
    oldest->file.reset();
  }
  source->file.reset(BufFileOpen(source->path.c_str(), "rb").release());
  if (!source->file) return false;
  if (source->position == 0) source->position = kWf2HeaderSize;
  return BufFileSeek(source->file.get(), source->position, 0) == 0;
}

bool Wf2MergeSources::AppendWf2MergeFrame(size_t i, GdsOutputFile* output) {
  Source& source = sources_[i];
  if (!Ready(&source)) return false;
  BufFile* file = source.file.get();
  for (Word word; ReadWord(file, &word);) {
    if (source.state == 0 && Is(word, kWf2BeginStrip)) {
      source.state = 1;
    } else if (source.state == 1 && Is(word, kWf2BeginFrame)) {
      source.state = 2;
    } else if (source.state == 1 && Is(word, kWf2EndOfStrip)) {
      source.state = 0;
    } else if (source.state == 2 && Is(word, kWf2Polygon)) {
      if (!ReadPolygonBody(file, word, &points_)) return false;
      output->Write(word.data(), word.size());
      output->Write(points_.data(), points_.size());
    } else if (source.state == 2 && Is(word, kWf2EndOfFrame)) {
      ++source.frames;
      source.state = 1;
      source.position = BufFileTell(file);
      return true;
    }
  }
  // The source has ended: it adds nothing to the frames beyond its end.
  source.position = BufFileTell(file);
  return BufFileError(file) == 0;
}

// ---- The merge ----

namespace {

class Merge {
 public:
  Merge(ScanProgress* progress, const std::string& output, const std::vector<std::string>& others)
      : progress_(progress), output_path_(output), sources_(others), count_(others.size()) {}

  int Run(const std::string& first, const Wf2HeaderBlock& header);

 private:
  int Fail(const std::string& text) {
    Finish();
    Report(text);
    return kWf2Failed;
  }
  void Finish() {
    sources_.CloseWf2MergeSources();
    out_.reset();  // an output not closed cleanly removes its temporary
    if (progress_ != nullptr) progress_->Close();
  }
  bool Cancelled(BufFile* file);

  ScanProgress* progress_;
  std::string output_path_;
  Wf2MergeSources sources_;
  size_t count_;
  std::unique_ptr<GdsOutputFile> out_ = std::make_unique<GdsOutputFile>();
  std::vector<uint8_t> body_;
  int64_t step_ = 1;
  int64_t next_progress_ = 0;
};

bool Merge::Cancelled(BufFile* file) {
  if (progress_ == nullptr) return false;
  const int64_t position = BufFileTell(file);
  if (position < next_progress_) return false;
  next_progress_ = position + step_;
  return progress_->Update(position);
}

int Merge::Run(const std::string& first, const Wf2HeaderBlock& header) {
  OpenFile source(BufFileOpen(first.c_str(), "rb").release());
  if (!source) return Fail("Cannot read the WF2 file " + first + ".");
  if (!out_->OpenReplacing(output_path_)) return Fail("Cannot create " + output_path_ + ".");
  const int64_t size = BufFileSize(source.get());
  step_ = std::max<int64_t>(size / kProgressSteps, 1);
  if (progress_ != nullptr) {
    progress_->Open("Merging WF2 Files to", output_path_,
                    "File Size: " + std::to_string(size) + " bytes", size);
  }
  out_->Write(header.data(), header.size());
  BufFileSeek(source.get(), kWf2HeaderSize, 0);
  int state = 0;  // 0 before a strip, 1 in a strip, 2 in a frame
  for (Word word; ReadWord(source.get(), &word);) {
    if (state == 0 && Is(word, kWf2BeginStrip)) {
      state = 1;
    } else if (state == 1 && Is(word, kWf2BeginFrame)) {
      state = 2;
    } else if (state == 1 && Is(word, kWf2EndOfStrip)) {
      state = 0;
    } else if (state == 2 && Is(word, kWf2Polygon)) {
      if (!ReadPolygonBody(source.get(), word, &body_)) {
        return Fail("File reading error: " + first + " ends inside a polygon.");
      }
      out_->Write(word.data(), word.size());
      out_->Write(body_.data(), body_.size());
      continue;
    } else if (state == 2 && Is(word, kWf2EndOfFrame)) {
      for (size_t i = 0; i < count_; ++i) {
        if (!sources_.AppendWf2MergeFrame(i, out_.get())) {
          return Fail("Cannot read the WF2 files to be merged with " + first + ".");
        }
      }
      state = 1;
    }
    out_->Write(word.data(), word.size());
    if (Cancelled(source.get())) {
      Finish();
      return kWf2Cancelled;
    }
  }
  if (BufFileError(source.get()) != 0) return Fail("Cannot read the WF2 file " + first + ".");
  sources_.CloseWf2MergeSources();
  if (progress_ != nullptr) progress_->Close();
  const int error = out_->Close();
  out_.reset();
  if (error != 0) {
    Report("Cannot write " + output_path_ + ".");
    return kWf2Failed;
  }
  return kWf2Ok;
}

}  // namespace

int MergeWf2Files(ScanProgress* progress, const std::string& output, const std::string& first,
                  const std::vector<std::string>& others) {
  auto header = ReadSourceHeader(first);
  if (!header) return kWf2Failed;
  const Wf2Header geometry = DecodeWf2Header(*header);
  for (const std::string& other : others) {
    const auto other_header = ReadSourceHeader(other);
    if (!other_header) return kWf2Failed;
    if (!SameGeometry(geometry, DecodeWf2Header(*other_header))) {
      Report("Cannot merge " + other + " with " + first +
             ": their grid, frame size, strip and frame counts or motion differ.");
      return kWf2Failed;
    }
  }
  if (!others.empty()) NameMerge(first, others, &*header);
  return Merge(progress, output, others).Run(first, *header);
}

}  // namespace kavrinth
