// Tests of the WF2 merge: placement of every source's polygons frame by frame in both
// motions, the merged name, refused sources, many sources, Cancel and damaged input.
#include "viewer/model/wf2_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/notifier.h"
#include "wf2_test_support.h"

namespace kavrinth {
namespace {

using testing::BuildWf2;
using testing::ReadBytes;
using testing::SmallHeader;
using testing::Wf2Frame;
using testing::WriteBytes;

// Frames whose polygons tell the source (first x) and the frame (first y) apart.
std::vector<Wf2Frame> TaggedFrames(const Wf2Header& h, uint16_t source, int every) {
  std::vector<Wf2Frame> frames(static_cast<size_t>(h.frame_count()));
  for (size_t k = 0; k < frames.size(); ++k) {
    if ((k + source) % every != 0) continue;
    const auto y = static_cast<uint16_t>(k);
    frames[k].push_back({{source, y}, {20, y}, {20, static_cast<uint16_t>(y + 3)}});
    if (k % 3 == 0) frames[k].push_back({{source, 40}, {30, 40}, {30, 45}, {source, 45}});
  }
  return frames;
}

std::vector<Wf2Frame> Concatenated(const std::vector<std::vector<Wf2Frame>>& sources) {
  std::vector<Wf2Frame> merged(sources[0].size());
  for (const auto& frames : sources) {
    for (size_t k = 0; k < merged.size() && k < frames.size(); ++k) {
      merged[k].insert(merged[k].end(), frames[k].begin(), frames[k].end());
    }
  }
  return merged;
}

class FakeProgress : public ScanProgress {
 public:
  void Open(std::string_view, std::string_view, std::string_view, int64_t) override {}
  bool Update(int64_t) override { return ++updates == cancel_at; }
  void Close() override { ++closed; }
  int updates = 0;
  int cancel_at = -1;
  int closed = 0;
};

class Wf2MergeTest : public ::testing::Test {
 protected:
  // Writes the sources a, b, ... and returns their paths.
  std::vector<std::string> Sources(const Wf2Header& header,
                                   const std::vector<std::vector<Wf2Frame>>& frames) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < frames.size(); ++i) {
      paths.push_back(dir.File(std::string(1, static_cast<char>('a' + i)) + ".wf2"));
      WriteBytes(paths.back(), BuildWf2(header, frames[i]));
    }
    return paths;
  }
  int Merge(const std::vector<std::string>& paths, ScanProgress* progress = nullptr) {
    return MergeWf2Files(progress, output, paths[0],
                         std::vector<std::string>(paths.begin() + 1, paths.end()));
  }

  testing::ScratchDir dir;
  std::string output = dir.File("merged.wf2");
  ScriptedNotifier notifier;
  ScopedNotifier scoped{&notifier};
};

TEST_F(Wf2MergeTest, EveryFrameGetsTheSourcesPolygonsInOrder) {
  for (const bool serpentine : {false, true}) {
    SCOPED_TRACE(serpentine);
    const Wf2Header header = SmallHeader(3, 4, serpentine);
    const std::vector<std::vector<Wf2Frame>> frames = {
        TaggedFrames(header, 1, 2), TaggedFrames(header, 2, 3), TaggedFrames(header, 3, 1)};
    ASSERT_EQ(Merge(Sources(header, frames)), kWf2Ok);
    Wf2Header merged = header;
    merged.name = "Merge of a,b,c";
    EXPECT_EQ(ReadBytes(output), BuildWf2(merged, Concatenated(frames)));
  }
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(Wf2MergeTest, MergeWithItselfDoublesEveryPolygon) {
  const Wf2Header header = SmallHeader(2, 3, true);
  const std::vector<Wf2Frame> frames = TaggedFrames(header, 5, 1);
  const std::vector<std::string> paths = Sources(header, {frames});
  ASSERT_EQ(MergeWf2Files(nullptr, output, paths[0], {paths[0]}), kWf2Ok);
  Wf2Header merged = header;
  merged.name = "Merge of a,a";
  EXPECT_EQ(ReadBytes(output), BuildWf2(merged, Concatenated({frames, frames})));
}

TEST_F(Wf2MergeTest, WithoutFurtherSourcesTheOutputIsTheFirstFile) {
  Wf2Header header = SmallHeader(2, 2, false);
  header.name = "kept";
  const std::vector<std::string> paths = Sources(header, {TaggedFrames(header, 1, 1)});
  ASSERT_EQ(Merge(paths), kWf2Ok);
  EXPECT_EQ(ReadBytes(output), ReadBytes(paths[0]));
}

TEST_F(Wf2MergeTest, ALongNameIsCutTo61CharactersAndDots) {
  const Wf2Header header = SmallHeader(1, 2, false);
  const std::string long_name = dir.File("a_rather_long_pattern_name_of_thirty_four.wf2");
  const std::string second = dir.File("second_pattern_with_a_long_name.wf2");
  const std::string third = dir.File("third.wf2");
  for (const std::string& path : {long_name, second, third}) {
    WriteBytes(path, BuildWf2(header, TaggedFrames(header, 1, 1)));
  }
  ASSERT_EQ(MergeWf2Files(nullptr, output, long_name, {second, third}), kWf2Ok);
  const Wf2Header merged = DecodeWf2Header(ReadBytes(output));
  const std::string text =
      "Merge of a_rather_long_pattern_name_of_thirty_four,second_pattern_with_a_long_name";
  EXPECT_EQ(merged.name, text.substr(0, 61) + "...");
}

TEST_F(Wf2MergeTest, SourcesOfAnotherGeometryAreRefused) {
  const Wf2Header header = SmallHeader(2, 3, false);
  struct Case {
    const char* what;
    Wf2Header other;
  };
  std::vector<Case> cases = {{"frames", SmallHeader(2, 2, false)},
                             {"strips", SmallHeader(3, 3, false)},
                             {"motion", SmallHeader(2, 3, true)},
                             {"grid", header},
                             {"width", header}};
  cases[3].other.grid = 0.5f;
  cases[4].other.frame_width = 99;
  WriteBytes(output, {'o', 'l', 'd'});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string first = dir.File("first.wf2");
    const std::string other = dir.File("other.wf2");
    WriteBytes(first, BuildWf2(header, {}));
    WriteBytes(other, BuildWf2(c.other, {}));
    EXPECT_EQ(MergeWf2Files(nullptr, output, first, {other}), kWf2Failed);
    EXPECT_EQ(ReadBytes(output), (std::vector<uint8_t>{'o', 'l', 'd'}));
  }
  EXPECT_EQ(notifier.shown.size(), cases.size());
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"first.wf2", "merged.wf2", "other.wf2"}));
}

// More sources than may stay open: closed sources resume where they stopped.
TEST_F(Wf2MergeTest, ManySourcesAreMergedWithAtMostEightOpen) {
  const Wf2Header header = SmallHeader(3, 3, true);
  std::vector<std::vector<Wf2Frame>> frames;
  for (uint16_t i = 0; i < 12; ++i) frames.push_back(TaggedFrames(header, i, 1 + i % 4));
  const std::vector<std::string> paths = Sources(header, frames);
  ASSERT_EQ(Merge(paths), kWf2Ok);
  EXPECT_EQ(testing::ParseWf2(ReadBytes(output)), Concatenated(frames));

  Wf2MergeSources sources(std::vector<std::string>(paths.begin(), paths.end()));
  GdsOutputFile sink;
  ASSERT_TRUE(sink.OpenNull());
  for (int frame = 0; frame < 2; ++frame) {
    for (size_t i = 0; i < paths.size(); ++i) {
      ASSERT_TRUE(sources.AppendWf2MergeFrame(i, &sink));
      EXPECT_LE(sources.open_count(), kWf2MergeOpenSources);
    }
  }
  sources.CloseWf2MergeSources();
  EXPECT_EQ(sources.open_count(), 0u);
}

TEST_F(Wf2MergeTest, ASourceThatEndsEarlyAddsNothingAfterItsEnd) {
  const Wf2Header header = SmallHeader(2, 3, false);
  const std::vector<std::vector<Wf2Frame>> frames = {TaggedFrames(header, 1, 1),
                                                     TaggedFrames(header, 2, 1)};
  const std::vector<std::string> paths = Sources(header, frames);
  // The second source is cut after the end word of its third frame.
  std::vector<uint8_t> cut = ReadBytes(paths[1]);
  size_t frame_ends = 0;
  for (size_t i = kWf2HeaderSize; i + 4 <= cut.size(); i += 4) {
    if (cut[i] == 0x80 && cut[i + 1] == 0x06 && ++frame_ends == 3) {
      cut.resize(i + 4);
      break;
    }
  }
  WriteBytes(paths[1], cut);
  const std::vector<Wf2Frame> kept(frames[1].begin(), frames[1].begin() + 3);
  ASSERT_EQ(Merge(paths), kWf2Ok);
  std::vector<Wf2Frame> second = kept;
  second.resize(6);
  const auto merged = testing::ParseWf2(ReadBytes(output));
  EXPECT_EQ(merged, Concatenated({frames[0], second}));
}

TEST_F(Wf2MergeTest, CancelLeavesTheOutputAndNoTemporary) {
  const Wf2Header header = SmallHeader(10, 10, false);
  const std::vector<std::string> paths =
      Sources(header, {TaggedFrames(header, 1, 1), TaggedFrames(header, 2, 1)});
  WriteBytes(output, {'o', 'l', 'd'});
  FakeProgress progress;
  progress.cancel_at = 2;
  EXPECT_EQ(Merge(paths, &progress), kWf2Cancelled);
  EXPECT_EQ(progress.closed, 1);
  EXPECT_EQ(ReadBytes(output), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.wf2", "b.wf2", "merged.wf2"}));
}

TEST_F(Wf2MergeTest, DamagedSourcesFailCleanly) {
  const Wf2Header header = SmallHeader(2, 2, false);
  const std::vector<std::string> paths =
      Sources(header, {TaggedFrames(header, 1, 1), TaggedFrames(header, 2, 1)});
  const std::vector<uint8_t> good = ReadBytes(paths[0]);
  // A polygon cut off by the end of the file, in the first source and in a further one.
  const size_t cut_at = kWf2HeaderSize + 4 * 4 + 8;
  for (size_t damaged = 0; damaged < 2; ++damaged) {
    SCOPED_TRACE(damaged);
    WriteBytes(paths[0], good);
    WriteBytes(paths[1], good);
    std::vector<uint8_t> bytes = good;
    bytes.resize(cut_at);
    WriteBytes(paths[damaged], bytes);
    EXPECT_EQ(Merge(paths), kWf2Failed);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.wf2", "b.wf2"}));
  }
  // A source shorter than a header.
  WriteBytes(paths[1], {1, 2, 3});
  EXPECT_EQ(Merge(paths), kWf2Failed);
}

}  // namespace
}  // namespace kavrinth
