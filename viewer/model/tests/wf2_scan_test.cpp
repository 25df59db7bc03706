// Tests of WF2 scanning into the layout database, sectioned loading through the frame
// index, saving a loaded layer back (byte for byte), and malformed files.
#include "viewer/model/wf2_scan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/notifier.h"
#include "testing/unprivileged.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_writer.h"
#include "wf2_test_support.h"

namespace kavrinth {
namespace {

using testing::BuildWf2;
using testing::ReadBytes;
using testing::SmallHeader;
using testing::Wf2Frame;
using testing::WriteBytes;

constexpr int32_t kLayer = 7;

// The points of every boundary of a library, in order.
std::vector<std::vector<int32_t>> Boundaries(GdxHandle handle) {
  std::vector<std::vector<int32_t>> result;
  const GdxLibrary* library = GdxLibraryFromHandle(handle);
  for (GdxEntryCursor cursor(library); cursor.Valid(); cursor.Next()) {
    if (cursor.Type() != kGdxBoundary) continue;
    const GdxWord* data = cursor.Data();
    const int32_t count = static_cast<int32_t>(static_cast<uint32_t>(data[1]) >> 16);
    const GdxWord* points = data + (data[0] & 0xFFFF);
    result.emplace_back(points, points + 2 * count);
  }
  return result;
}

GdxWord* FirstBoundaryEntry(GdxHandle handle) {
  for (GdxEntryCursor cursor(GdxLibraryFromHandle(handle)); cursor.Valid(); cursor.Next()) {
    if (cursor.Type() == kGdxBoundary) return cursor.MutableEntry();
  }
  return nullptr;
}

// Services that record the hit-flag requests and hold the memory limit.
class RecordingServices : public HeadlessViewerServices {
 public:
  void ApplyHitFlags(GdxHandle, int32_t layer, int32_t last, int32_t first) override {
    hits.push_back({layer, last, first});
  }
  std::vector<std::array<int32_t, 3>> hits;
};

// A progress box that presses Cancel at the given update.
class FakeProgress : public ScanProgress {
 public:
  void Open(std::string_view what, std::string_view file, std::string_view detail,
            int64_t total) override {
    opened.push_back({std::string(what), std::string(file), std::string(detail)});
    this->total = total;
  }
  bool Update(int64_t done) override {
    last_done = done;
    return ++updates == cancel_at;
  }
  void Close() override { ++closed; }
  std::vector<std::array<std::string, 3>> opened;
  int64_t total = 0;
  int64_t last_done = 0;
  int updates = 0;
  int cancel_at = -1;
  int closed = 0;
};

// Frames with polygons at the frames' corners and edges, several in one frame, and empty
// frames between.
std::vector<Wf2Frame> SampleFrames(const Wf2Header& h) {
  const auto w = static_cast<uint16_t>(h.frame_width - 1);
  const auto e = static_cast<uint16_t>(h.frame_height - 1);
  std::vector<Wf2Frame> frames(static_cast<size_t>(h.frame_count()));
  for (size_t k = 0; k < frames.size(); k += 2) {
    const auto d = static_cast<uint16_t>(k);
    frames[k].push_back({{0, 0}, {w, 0}, {w, e}, {0, e}});
    frames[k].push_back({{static_cast<uint16_t>(10 + d), 5}, {20, 30}, {5, 40}});
  }
  frames[1].push_back({{3, 4}, {9, 4}, {9, 8}, {6, 12}, {3, 8}});
  return frames;
}

class Wf2ScanTest : public ::testing::Test {
 protected:
  void SetUp() override { LayerTable()[kLayer].path = path; }
  void TearDown() override {
    for (const GdxHandle library : libraries) GdxFreeLibrary(library);
    ClearLayerEntry(&LayerTable()[kLayer]);
  }
  GdxHandle Keep(GdxHandle library) {
    if (library != kGdxNoHandle) libraries.push_back(library);
    return library;
  }
  GdxHandle Scan(Wf2ScanResult* result, ScanProgress* progress = nullptr) {
    return Keep(ScanWf2File(progress, path, kLayer, result));
  }
  // Scans with the limit and records the index in the layer entry.
  Wf2ScanResult Index(int64_t limit) {
    services.memory_limit = limit;
    Wf2ScanResult result;
    EXPECT_EQ(Scan(&result), kGdxNoHandle);
    services.memory_limit = 0;
    LayerTable()[kLayer].frame_block = result.frame_index;
    LayerTable()[kLayer].frame_count = result.sections;
    return result;
  }

  testing::ScratchDir dir;
  std::string path = dir.File("pattern.wf2");
  RecordingServices services;
  ScopedViewerServices scoped_services{&services};
  ScriptedNotifier notifier;
  ScopedNotifier scoped_notifier{&notifier};
  std::vector<GdxHandle> libraries;
};

TEST_F(Wf2ScanTest, ScanThenSaveGivesTheSameBytes) {
  for (const bool serpentine : {false, true}) {
    SCOPED_TRACE(serpentine);
    const Wf2Header header = SmallHeader(3, 2, serpentine);
    const std::vector<uint8_t> original = BuildWf2(header, SampleFrames(header));
    WriteBytes(path, original);
    Wf2ScanResult result;
    const GdxHandle library = Scan(&result);
    ASSERT_NE(library, kGdxNoHandle);
    EXPECT_EQ(result.status, Wf2ScanStatus::kLoaded);
    EXPECT_EQ(result.polygons, 7);
    for (const std::string& target : {dir.File("copy.wf2"), path}) {
      Wf2Writer writer;
      ASSERT_EQ(writer.OpenWf2Copy(path, target), kWf2Ok);
      ASSERT_EQ(writer.SaveWf2File(nullptr, library, "pattern.wf2", kLayer, 0), kWf2Ok);
      ASSERT_EQ(writer.CommitWf2File(), kWf2Ok);
      EXPECT_EQ(ReadBytes(target), original) << target;
    }
  }
}

TEST_F(Wf2ScanTest, PolygonsLandAtTheirPatternPlace) {
  // Strip 1, position 0: the top row in unidirectional motion, the bottom one otherwise.
  struct Case {
    bool serpentine;
    int32_t y;  // pattern y of the stored point (5, 5)
  };
  for (const Case c : {Case{false, 150 - 5}, Case{true, 50 - 5}}) {
    const Wf2Header header = SmallHeader(2, 3, c.serpentine);
    std::vector<Wf2Frame> frames(6);
    frames[3].push_back({{5, 5}, {6, 5}, {6, 6}});
    WriteBytes(path, BuildWf2(header, frames));
    Wf2ScanResult result;
    const auto boundaries = Boundaries(Scan(&result));
    ASSERT_EQ(boundaries.size(), 1u);
    // Grid 1.0 stores ten database units per step; the first point closes the ring.
    const int32_t u = LastWf2Scan().scale_factor;
    EXPECT_EQ(u, 10);
    EXPECT_EQ(boundaries[0], (std::vector<int32_t>{105 * u, c.y * u, 106 * u, c.y * u, 106 * u,
                                                   (c.y - 1) * u, 105 * u, c.y * u}));
  }
}

TEST_F(Wf2ScanTest, EmptyPatternIsAnEmptyLibraryOverTheWholePattern) {
  const Wf2Header header = SmallHeader(3, 4, true);
  WriteBytes(path, BuildWf2(header, {}));
  Wf2ScanResult result;
  const GdxHandle library = Scan(&result);
  ASSERT_NE(library, kGdxNoHandle);
  EXPECT_TRUE(Boundaries(library).empty());
  const GdxStructure* top = GdxFindStructureByName(GdxLibraryFromHandle(library), "TOP", 0);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->extents, (GdxRect{0, 0, 300 * 10, 200 * 10}));
  EXPECT_EQ(JobState().wf2_header[kWf2Strips + 3], 3);
  EXPECT_EQ(LastWf2Scan().header.frames_per_strip, 4);
}

TEST_F(Wf2ScanTest, SectionedLoadingEqualsWholeLoading) {
  for (const bool serpentine : {false, true}) {
    SCOPED_TRACE(serpentine);
    const Wf2Header header = SmallHeader(5, 3, serpentine);
    WriteBytes(path, BuildWf2(header, SampleFrames(header)));
    Wf2ScanResult whole_result;
    const auto whole = Boundaries(Scan(&whole_result));
    // Any allocation passes a one-byte limit: every strip closes a section.
    const Wf2ScanResult result = Index(1);
    ASSERT_EQ(result.status, Wf2ScanStatus::kIndexed);
    ASSERT_EQ(result.sections, 5);
    const auto first = ReadWf2FrameIndexEntry(result.frame_index, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->offset, kWf2HeaderSize);
    EXPECT_EQ(first->box, (GdxRect{0, 0, 100 * 10, 150 * 10}));
    EXPECT_EQ(ReadWf2FrameIndexEntry(result.frame_index, 5)->offset,
              static_cast<int64_t>(ReadBytes(path).size()));
    std::vector<std::vector<int32_t>> sectioned;
    services.hits.clear();
    for (int32_t k = 0; k < result.sections; ++k) {
      Wf2ScanResult section;
      const GdxHandle library = Keep(LoadWf2Frame(result.frame_index, kLayer, k, &section));
      ASSERT_NE(library, kGdxNoHandle) << k;
      const auto part = Boundaries(library);
      sectioned.insert(sectioned.end(), part.begin(), part.end());
      const int64_t before =
          k > 0 ? ReadWf2FrameIndexEntry(result.frame_index, k - 1)->polygons : 0;
      EXPECT_EQ(section.polygons, ReadWf2FrameIndexEntry(result.frame_index, k)->polygons - before);
    }
    EXPECT_EQ(sectioned, whole);
    // Sections with polygons get the layer's hit flags, numbered from the file start.
    const std::vector<std::array<int32_t, 3>> hits = {
        {kLayer, 5, 0}, {kLayer, 7, 5}, {kLayer, 11, 7}, {kLayer, 13, 11}, {kLayer, 17, 13}};
    EXPECT_EQ(services.hits, hits);
    GdxFreeBlock(result.frame_index);
    LayerTable()[kLayer].frame_block = kGdxNoHandle;
  }
}

TEST_F(Wf2ScanTest, BlocksMadeAheadChangeNothingInTheDatabase) {
  // Over a mebibyte of rectangles: a large file has its blocks made on another thread.
  const Wf2Header header = SmallHeader(3, 2, true);
  std::vector<Wf2Frame> frames(6);
  for (size_t k = 0; k < frames.size(); ++k) {
    for (uint16_t i = 0; i < 8000; ++i) {
      const uint16_t x = i % 90, y = static_cast<uint16_t>(i / 90 % 45);
      frames[k].push_back({{x, y},
                           {uint16_t(x + 5), y},
                           {uint16_t(x + 5), uint16_t(y + 3)},
                           {x, uint16_t(y + 3)},
                           {x, y}});
    }
  }
  const std::vector<uint8_t> bytes = BuildWf2(header, frames);
  ASSERT_GT(bytes.size(), size_t{1} << 20);
  WriteBytes(path, bytes);
  const char* kept = std::getenv("VEXIL_THREADS");
  const std::string kept_value = kept ? kept : "";
  // Every entry's words (block numbers left out) and data, or the index's words.
  auto scan = [this](const char* threads, int64_t limit) {
    setenv("VEXIL_THREADS", threads, 1);
    GdxResetBytesAllocated();
    services.memory_limit = limit;
    Wf2ScanResult result;
    const GdxHandle library = Scan(&result);
    services.memory_limit = 0;
    std::vector<std::vector<GdxWord>> words = {
        {static_cast<GdxWord>(result.status), static_cast<GdxWord>(result.polygons),
         result.sections, static_cast<GdxWord>(GdxBytesAllocated())}};
    for (GdxEntryCursor c(GdxLibraryFromHandle(library)); c.Valid(); c.Next()) {
      std::vector<GdxWord> entry = {c.Entry()[kGdxEntryType], c.Entry()[kGdxEntryOffset]};
      if (const GdxWord* data = c.Data()) {
        entry.insert(entry.end(), data, data + GdxElementPointWords(c.Type(), data));
      }
      words.push_back(std::move(entry));
    }
    if (const GdxWord* index = GdxBlockWords(result.frame_index)) {
      words.emplace_back(index, index + GdxBlockWordCount(result.frame_index));
      GdxFreeBlock(result.frame_index);
    }
    return words;
  };
  for (const int64_t limit : {int64_t{0}, int64_t{400000}}) {
    SCOPED_TRACE(limit);
    const auto one = scan("1", limit);
    const auto more = scan("4", limit);
    EXPECT_EQ(one[0][0],
              static_cast<GdxWord>(limit == 0 ? Wf2ScanStatus::kLoaded : Wf2ScanStatus::kIndexed));
    EXPECT_GT(one.size(), 1u);
    EXPECT_TRUE(more == one) << "the databases differ";
    // Where the user may start no more threads, no blocks are made ahead.
    test_support::HandOver(std::filesystem::path(path).parent_path());
    EXPECT_EQ(test_support::RunUnprivileged(
                  [&] { return test_support::ForbidNewThreads() && scan("4", limit) == one; }),
              true);
  }
  if (kept) {
    setenv("VEXIL_THREADS", kept_value.c_str(), 1);
  } else {
    unsetenv("VEXIL_THREADS");
  }
}

TEST_F(Wf2ScanTest, SectionOfAChangedFileIsNotLoaded) {
  const Wf2Header header = SmallHeader(3, 2, false);
  WriteBytes(path, BuildWf2(header, SampleFrames(header)));
  const Wf2ScanResult indexed = Index(1);
  ASSERT_EQ(indexed.status, Wf2ScanStatus::kIndexed);
  WriteBytes(path, BuildWf2(header, {}));
  Wf2ScanResult result;
  EXPECT_EQ(LoadWf2Frame(indexed.frame_index, kLayer, 0, &result), kGdxNoHandle);
  EXPECT_EQ(result.status, Wf2ScanStatus::kChanged);
  EXPECT_EQ(LoadWf2Frame(indexed.frame_index, kLayer, indexed.sections, &result), kGdxNoHandle);
}

// Saving each section in order over the layer's own file, with one element deleted,
// moves every later offset: the layer's index is built again from the new file.
TEST_F(Wf2ScanTest, CommitOverTheLayersOwnFileRebuildsItsIndex) {
  const Wf2Header header = SmallHeader(4, 2, true);
  std::vector<Wf2Frame> frames = SampleFrames(header);
  WriteBytes(path, BuildWf2(header, frames));
  const Wf2ScanResult indexed = Index(1);
  ASSERT_EQ(indexed.sections, 4);
  // The viewer's memory limit is still set when the file is committed.
  services.memory_limit = 1;
  Wf2Writer writer;
  ASSERT_EQ(writer.OpenWf2Copy(path, path), kWf2Ok);
  FakeProgress progress;
  for (int32_t k = 0; k < indexed.sections; ++k) {
    const GdxHandle section = Keep(LoadWf2Frame(indexed.frame_index, kLayer, k));
    ASSERT_NE(section, kGdxNoHandle);
    if (k == 0) FirstBoundaryEntry(section)[kGdxEntrySelection] |= 2;
    ASSERT_EQ(writer.SaveWf2File(&progress, section, "pattern.wf2", kLayer, k), kWf2Ok);
  }
  EXPECT_EQ(progress.opened.size(), 1u);
  EXPECT_EQ(progress.total, 9);
  EXPECT_EQ(progress.closed, 1);
  ASSERT_EQ(writer.CommitWf2File(), kWf2Ok);
  frames[0].erase(frames[0].begin());
  EXPECT_EQ(ReadBytes(path), BuildWf2(header, frames));
  // The rebuilt index is that of a fresh scan, and its last section loads.
  const GdxHandle rebuilt = LayerTable()[kLayer].frame_block;
  ASSERT_NE(rebuilt, kGdxNoHandle);
  Wf2ScanResult fresh;
  EXPECT_EQ(Scan(&fresh), kGdxNoHandle);
  services.memory_limit = 0;
  ASSERT_EQ(LayerTable()[kLayer].frame_count, fresh.sections);
  for (int32_t k = 0; k <= fresh.sections; ++k) {
    EXPECT_EQ(ReadWf2FrameIndexEntry(rebuilt, k), ReadWf2FrameIndexEntry(fresh.frame_index, k));
  }
  EXPECT_NE(Keep(LoadWf2Frame(rebuilt, kLayer, fresh.sections - 1)), kGdxNoHandle);
  GdxFreeBlock(fresh.frame_index);
}

TEST_F(Wf2ScanTest, CancelledSaveLeavesTheTargetAndNoTemporary) {
  const Wf2Header header = SmallHeader(3, 2, false);
  WriteBytes(path, BuildWf2(header, SampleFrames(header)));
  const std::string target = dir.File("target.wf2");
  WriteBytes(target, {'o', 'l', 'd'});
  const GdxHandle library = Scan(nullptr);
  Wf2Writer writer;
  ASSERT_EQ(writer.OpenWf2Copy(path, target), kWf2Ok);
  FakeProgress progress;
  progress.cancel_at = 2;
  EXPECT_EQ(writer.SaveWf2File(&progress, library, "target.wf2", kLayer, 0), kWf2Cancelled);
  EXPECT_EQ(progress.closed, 1);
  EXPECT_EQ(writer.CommitWf2File(), kWf2Failed);
  EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"pattern.wf2", "target.wf2"}));
}

TEST_F(Wf2ScanTest, ScanShowsItsProgressAndStopsOnCancel) {
  const Wf2Header header = SmallHeader(20, 20, false);
  const std::vector<uint8_t> bytes = BuildWf2(header, SampleFrames(header));
  WriteBytes(path, bytes);
  FakeProgress progress;
  progress.cancel_at = 3;
  Wf2ScanResult result;
  EXPECT_EQ(Scan(&result, &progress), kGdxNoHandle);
  EXPECT_EQ(result.status, Wf2ScanStatus::kCancelled);
  EXPECT_EQ(result.frame_index, kGdxNoHandle);
  ASSERT_EQ(progress.opened.size(), 1u);
  const std::array<std::string, 3> texts = {
      "Scanning WF2 File", "pattern.wf2", "File Size: " + std::to_string(bytes.size()) + " bytes"};
  EXPECT_EQ(progress.opened[0], texts);
  EXPECT_EQ(progress.total, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(progress.closed, 1);
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(Wf2ScanTest, BadPolygonRecordsAreSkippedAndReported) {
  const Wf2Header header = SmallHeader(1, 1, false);
  std::vector<uint8_t> bytes = BuildWf2(header, {});
  bytes.resize(bytes.size() - 12);  // up to the end of frame 0
  const auto word = [&bytes](uint8_t a, uint8_t b, uint16_t v) {
    testing::PushWord(&bytes, a, b, v);
  };
  word(0x80, 0x03, 0);  // no points
  word(0x80, 0x07, 0);
  word(0x80, 0x03, 9000);  // more than the readers take
  for (int i = 0; i < 9000; ++i) word(0, 1, 2);
  word(0x80, 0x07, 0);
  word(0x80, 0x03, 3);  // a good one
  for (int i = 0; i < 3; ++i) word(0, static_cast<uint8_t>(i), 7);
  word(0x80, 0x07, 0);
  word(0x80, 0x03, 50);  // cut off by the end of the file
  word(0, 1, 1);
  WriteBytes(path, bytes);
  Wf2ScanResult result;
  const GdxHandle library = Scan(&result);
  ASSERT_NE(library, kGdxNoHandle);
  EXPECT_EQ(result.polygons, 1);
  EXPECT_EQ(result.skipped_records, 3);
  EXPECT_EQ(Boundaries(library).size(), 1u);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_NE(notifier.shown[0].text.find("3 polygon records"), std::string::npos);
}

TEST_F(Wf2ScanTest, FilesThatAreNotWf2AreRefusedWithAMessage) {
  Wf2Header no_strips = SmallHeader(0, 2, false);
  Wf2HeaderBlock block{};
  EncodeWf2Header(no_strips, &block);
  const std::vector<std::vector<uint8_t>> files = {
      {}, std::vector<uint8_t>(100, 0x80), std::vector<uint8_t>(block.begin(), block.end())};
  for (const auto& bytes : files) {
    WriteBytes(path, bytes);
    Wf2ScanResult result;
    EXPECT_EQ(Scan(&result), kGdxNoHandle);
    EXPECT_EQ(result.status, Wf2ScanStatus::kNotWf2);
  }
  EXPECT_EQ(notifier.shown.size(), files.size());
  Wf2ScanResult missing;
  EXPECT_EQ(ScanWf2File(nullptr, dir.File("none.wf2"), kLayer, &missing), kGdxNoHandle);
  EXPECT_EQ(missing.status, Wf2ScanStatus::kNotOpened);
}

// A header that names more frames than its file can hold (each takes a begin and an end
// word) is refused with a message, by the scan and by a save from it: read as a whole
// pattern, a save would write every frame it names, 34 GB for a 65536 x 65536 header in a
// file of a few kilobytes. A file cut short within what its frames need is still read.
TEST_F(Wf2ScanTest, AHeaderNamingMoreFramesThanTheFileHoldsIsRefused) {
  const Wf2Header small = SmallHeader(2, 2, false);
  const std::vector<uint8_t> complete = BuildWf2(small, SampleFrames(small));
  struct Case {
    int32_t strips;
    int32_t frames;
    size_t cut;  // bytes taken off the end of the 2 x 2 file
    bool refused;
  } cases[] = {{2, 2, 0, false},
               {2, 2, 12, false},
               {8, 8, 0, true},
               {1000, 1000, 0, true},
               {65536, 65536, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.strips) + " x " + std::to_string(c.frames));
    std::vector<uint8_t> bytes(complete.begin(), complete.end() - c.cut);
    Wf2HeaderBlock block{};
    EncodeWf2Header(SmallHeader(c.strips, c.frames, false), &block);
    std::copy(block.begin(), block.end(), bytes.begin());
    WriteBytes(path, bytes);
    notifier.shown.clear();
    Wf2ScanResult result;
    const GdxHandle library = Scan(&result);
    EXPECT_EQ(result.status, c.refused ? Wf2ScanStatus::kNotWf2 : Wf2ScanStatus::kLoaded);
    EXPECT_EQ(library == kGdxNoHandle, c.refused);
    const std::string copy = dir.File("copy.wf2");
    std::filesystem::remove(copy);
    Wf2Writer writer;
    EXPECT_EQ(writer.OpenWf2Copy(path, copy), c.refused ? kWf2Failed : kWf2Ok);
    if (c.refused) {
      ASSERT_EQ(notifier.shown.size(), 1u);
      EXPECT_NE(notifier.shown[0].text.find(
                    "its header names " + std::to_string(int64_t{c.strips} * c.frames) + " frames"),
                std::string::npos)
          << notifier.shown[0].text;
      EXPECT_FALSE(std::filesystem::exists(copy));
      continue;
    }
    ASSERT_EQ(writer.SaveWf2File(nullptr, library, "pattern.wf2", kLayer, 0), kWf2Ok);
    ASSERT_EQ(writer.CommitWf2File(), kWf2Ok);
    EXPECT_LE(ReadBytes(copy).size(), complete.size());
  }
}

// Seeded damage: flipped bytes, cuts and runs of record heads in the stream. The readers
// must end cleanly whatever they find.
TEST_F(Wf2ScanTest, DamagedFilesNeverCrashTheReaders) {
  const Wf2Header header = SmallHeader(4, 3, true);
  const std::vector<uint8_t> good = BuildWf2(header, SampleFrames(header));
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = good;
    std::uniform_int_distribution<size_t> place(kWf2HeaderSize, bytes.size() - 1);
    for (int i = 0; i < 1 + round % 7; ++i) bytes[place(random)] = static_cast<uint8_t>(random());
    if (round % 3 == 0) bytes[place(random) & ~size_t{3}] = 0x80;
    if (round % 4 == 0) bytes.resize(place(random));
    WriteBytes(path, bytes);
    services.memory_limit = round % 2;
    Wf2ScanResult result;
    const GdxHandle library = Scan(&result);
    // A cut that leaves fewer bytes than the header's frames take is refused as no WF2 file.
    const bool too_short = bytes.size() < kWf2HeaderSize + 8 * size_t{12};
    if (too_short && result.status == Wf2ScanStatus::kNotWf2) continue;
    ASSERT_TRUE(result.status == Wf2ScanStatus::kLoaded || result.status == Wf2ScanStatus::kIndexed)
        << round;
    if (result.status == Wf2ScanStatus::kIndexed) {
      LayerTable()[kLayer].frame_block = result.frame_index;
      for (int32_t k = 0; k < result.sections; ++k) {
        Keep(LoadWf2Frame(result.frame_index, kLayer, k));
      }
      ClearLayerEntry(&LayerTable()[kLayer]);
      LayerTable()[kLayer].path = path;
    } else {
      ASSERT_NE(library, kGdxNoHandle);
    }
  }
  services.memory_limit = 0;
}

}  // namespace
}  // namespace kavrinth
