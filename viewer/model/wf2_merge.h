// Merging WF2 files: the first file is copied frame by frame and each of its frames gets
// the polygons of the same frame of every further file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gdsii/output_file.h"
#include "support/buf_file.h"
#include "viewer/model/scan_progress.h"

namespace kavrinth {

// At most this many further sources are open at once; the others resume where they were.
inline constexpr size_t kWf2MergeOpenSources = 8;

// The further sources of a merge, each read one frame at a time.
class Wf2MergeSources {
 public:
  explicit Wf2MergeSources(std::vector<std::string> paths);
  ~Wf2MergeSources() { CloseWf2MergeSources(); }
  Wf2MergeSources(const Wf2MergeSources&) = delete;
  Wf2MergeSources& operator=(const Wf2MergeSources&) = delete;

  // Copies the polygons of source i's next frame to the output; a source that has ended
  // adds nothing. false when the source cannot be opened or read, or a polygon is cut off.
  bool AppendWf2MergeFrame(size_t i, GdsOutputFile* output);
  void CloseWf2MergeSources();
  size_t open_count() const;

 private:
  struct FileCloser {
    void operator()(BufFile* file) const { BufFileClose(std::unique_ptr<BufFile>(file)); }
  };
  struct Source {
    std::string path;
    int64_t frames = 0;    // frames consumed
    int64_t position = 0;  // where reading resumes
    std::unique_ptr<BufFile, FileCloser> file;
    int state = 0;  // 0 before a strip, 1 in a strip, 2 in a frame
    uint64_t last_use = 0;
  };
  bool Ready(Source* source);

  std::vector<Source> sources_;
  uint64_t clock_ = 0;
  std::vector<uint8_t> points_;
};

// Merges the first source and the further ones into the output (replaced only by the
// complete file): kWf2Ok; kWf2Failed when a file cannot be read or written, a source is
// not a WF2 file, or its grid, frame size, strip or frame count or motion differ from the
// first one's (shown to the user); kWf2Cancelled after Cancel. The output's header is the
// first source's, named "Merge of" and the sources' names.
int MergeWf2Files(ScanProgress* progress, const std::string& output, const std::string& first,
                  const std::vector<std::string>& others);

}  // namespace kavrinth
