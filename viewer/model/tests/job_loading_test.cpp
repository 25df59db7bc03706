// Loading a job's files into the database, Cancel, and the error-coordinate list.
#include "viewer/model/job_loading.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/notifier.h"
#include "viewer/model/tests/viewer_test_support.h"
#include "viewer/model/tests/wf2_test_support.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

using Words = std::vector<GdxWord>;

class CancellingProgress : public ScanProgress {
 public:
  void Open(std::string_view, std::string_view file, std::string_view, int64_t) override {
    files.emplace_back(file);
  }
  bool Update(int64_t) override { return true; }
  void Close() override {}
  std::vector<std::string> files;
};

class JobLoadingTest : public ViewerModelTest {
 protected:
  void SetUp() override {
    ViewerModelTest::SetUp();
    ImportSettings().pg_format = 0;
    ImportSettings().metric = true;
    ImportSettings().unit_code = 2;
  }

  std::string BigFile(const std::string& name) {
    std::string bytes = "<";
    for (int i = 0; i < 3000; ++i) bytes += "X" + std::to_string(i) + "Y5W4V2U0S";
    return Write(name, bytes + "Z");
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(JobLoadingTest, EveryExistingFileGetsALibraryOfItsOwn) {
  ViewLayerTable& table = LayerTable();
  table[0].path = Write("a.em", "<X100Y200W30V10U0SZ");
  table[1].path = PathOf("missing.em");
  GdxBeginLibrary("stale");
  table[2].library = GdxEndLibrary();
  table[2].shown = 1;
  table[2].colour = 0x123456;
  table[3].path = Write("b.em", "not electromask");
  services_.display.grid_spacing_text = "2.5";
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  ASSERT_NE(GdxLibraryFromHandle(table[0].library), nullptr);
  EXPECT_EQ(table[0].first_count, 1);
  EXPECT_EQ(table[1].library, kGdxNoHandle);
  EXPECT_EQ(table[2].library, kGdxNoHandle);
  EXPECT_EQ(table[2].shown, 0);
  EXPECT_EQ(table[2].colour, kColorWhite);
  EXPECT_EQ(table[3].library, kGdxNoHandle);
  EXPECT_EQ(notifier_.shown.size(), 1u) << "the file that is not ElectroMask";
  EXPECT_EQ(JobState().loaded, 2);
  EXPECT_FALSE(JobState().load_cancelled);
  // One database unit is a tenth of a user unit: 10 per user unit, grid 2.5 user units.
  EXPECT_EQ(services_.display.database_units_per_user_unit, 10);
  EXPECT_EQ(services_.display.grid_spacing, 25);
  EXPECT_TRUE(services_.empty_display_cleared);
  // Only entry 0's library is left in the database.
  EXPECT_EQ(GdxChainHead(), table[0].library);
  EXPECT_EQ(GdxLibraryFromHandle(table[0].library)->next, kGdxNoHandle);
}

TEST_F(JobLoadingTest, LoadingAgainReplacesTheLibraries) {
  LayerTable()[0].path = Write("a.em", "<X100Y200W30V10U0SZ");
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  LayerTable()[0].frame_block = GdxAllocateBlock(9);
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  EXPECT_NE(GdxLibraryFromHandle(LayerTable()[0].library), nullptr);
  EXPECT_EQ(LayerTable()[0].frame_block, kGdxNoHandle);
  EXPECT_EQ(GdxLibraryFromHandle(GdxChainHead())->next, kGdxNoHandle) << "one library left";
}

TEST_F(JobLoadingTest, ResultsSayWhetherAnythingCouldBeLoaded) {
  LayerTable()[0].path = PathOf("missing.em");
  EXPECT_EQ(LoadJobFiles(nullptr), -1);
  LayerTable()[1].path = Write("bad.em", "X");
  EXPECT_EQ(LoadJobFiles(nullptr), 1);
  EXPECT_FALSE(services_.empty_display_cleared);
}

TEST_F(JobLoadingTest, CancelStopsTheWholeJob) {
  LayerTable()[0].path = BigFile("one.em");
  LayerTable()[1].path = BigFile("two.em");
  LayerTable()[1].first_count = 99;
  CancellingProgress progress;
  EXPECT_EQ(LoadJobFiles(&progress), 1);
  EXPECT_TRUE(JobState().load_cancelled);
  EXPECT_EQ(progress.files, (std::vector<std::string>{"one.em"}));
  EXPECT_EQ(LayerTable()[0].library, kGdxNoHandle);
  EXPECT_EQ(LayerTable()[1].library, kGdxNoHandle);
  EXPECT_EQ(LayerTable()[1].first_count, 99);
  EXPECT_EQ(GdxChainHead(), kGdxNoHandle);
  EXPECT_TRUE(notifier_.shown.empty());
}

// A small WF2 pattern: two strips of two frames, a square in every frame.
std::string Wf2Bytes() {
  const Wf2Header header = testing::SmallHeader(2, 2, false);
  std::vector<testing::Wf2Frame> frames(4);
  for (auto& frame : frames) frame.push_back({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const std::vector<uint8_t> bytes = testing::BuildWf2(header, frames);
  return std::string(bytes.begin(), bytes.end());
}

TEST_F(JobLoadingTest, Wf2LayersLoadBesidePgLayers) {
  ViewLayerTable& table = LayerTable();
  table[0].path = Write("a.em", "<X100Y200W30V10U0SZ");
  table[1].path = Write("pattern.WF2", Wf2Bytes());
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  EXPECT_NE(GdxLibraryFromHandle(table[0].library), nullptr);
  const GdxLibrary* wf2 = GdxLibraryFromHandle(table[1].library);
  ASSERT_NE(wf2, nullptr);
  int boundaries = 0;
  for (const StoredElement& e : StoredElements(wf2)) boundaries += e.type == kGdxBoundary;
  EXPECT_EQ(boundaries, 4);
  EXPECT_EQ(table[1].frame_block, kGdxNoHandle);
  EXPECT_EQ(table[1].file_size, static_cast<int64_t>(Wf2Bytes().size()));
  EXPECT_EQ(JobState().loaded, 2);
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(JobLoadingTest, Wf2LayerAboveTheMemoryLimitGetsAFrameIndex) {
  LayerTable()[0].path = Write("big.wf2", Wf2Bytes());
  services_.memory_limit = 1;
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  EXPECT_EQ(LayerTable()[0].library, kGdxNoHandle);
  EXPECT_NE(LayerTable()[0].frame_block, kGdxNoHandle);
  EXPECT_GT(LayerTable()[0].frame_count, 0);
  EXPECT_EQ(Wf2FrameIndexSections(LayerTable()[0].frame_block), LayerTable()[0].frame_count);
}

TEST_F(JobLoadingTest, ANewJobKeepsNothingOfTheFilesOfTheJobBefore) {
  // A job of a PG and a WF2 file, then one of the WF2 file alone, then one of the PG file.
  LayerTable()[0].path = Write("a.em", "<X100Y200W30V10U0SZ");
  LayerTable()[1].path = Write("pattern.wf2", Wf2Bytes());
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  ASSERT_EQ(JobState().code_set_name, "ASCII");
  ASSERT_NE(JobState().wf2_header, (std::array<uint8_t, 128>{}));
  ClearLayerEntry(&LayerTable()[0]);
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  EXPECT_EQ(JobState().code_set_name, "") << "no PG file, no code set";
  ClearLayerEntry(&LayerTable()[1]);
  LayerTable()[0].path = PathOf("a.em");
  ASSERT_EQ(LoadJobFiles(nullptr), 0);
  EXPECT_EQ(JobState().wf2_header, (std::array<uint8_t, 128>{})) << "no WF2 file, no header";
}

TEST_F(JobLoadingTest, DamagedWf2LayerIsReportedAndNotLoaded) {
  LayerTable()[0].path = Write("short.wf2", "not a pattern");
  EXPECT_EQ(LoadJobFiles(nullptr), 1);
  EXPECT_EQ(LayerTable()[0].library, kGdxNoHandle);
  EXPECT_EQ(LayerTable()[0].frame_block, kGdxNoHandle);
  EXPECT_EQ(notifier_.shown.size(), 1u);
}

class ErrorListTest : public JobLoadingTest {
 protected:
  void SetUp() override {
    JobLoadingTest::SetUp();
    ViewerDisplayUnits& display = services_.display;
    display.user_units_per_database_unit = 0.001;
    display.database_units_per_user_unit = 1000;
    display.scale_divisor = 2;
    display.origin_x = 100;
    display.origin_y = 200;
    JobState().wf2_header[108 + 3] = 50;  // the last WF2 file's half height
  }

  // The layer and the points of each marker list.
  static std::vector<std::pair<int32_t, Words>> Markers(GdxHandle handle) {
    std::vector<std::pair<int32_t, Words>> markers;
    for (const StoredElement& e : StoredElements(GdxLibraryFromHandle(handle))) {
      if (e.type != kGdxMarkerList) continue;
      markers.emplace_back(e.data[1] & 0xFFFF,
                           Words(e.data.begin() + (e.data[0] & 0xFFFF), e.data.end()));
    }
    return markers;
  }
};

TEST_F(ErrorListTest, RunsOfLinesOnOneLayerBecomeMarkerLists) {
  services_.error_list_path = Write("errors.txt",
                                    "<3> (1.5, 2)\r\n"
                                    "3 0 0\n"
                                    "\n"
                                    "3 4\n"    // two words: skipped
                                    "a b c\n"  // not numbers: skipped
                                    "5 -1 1\n"
                                    "3 0.001 0\n");
  const GdxHandle handle = LoadErrorList();
  ASSERT_NE(handle, kGdxNoHandle);
  // x: 1.5 user units * 1000 / 2 = 750, minus origin x / 2; y: origin y / 2 + 2 * 50 - 1000.
  EXPECT_EQ(Markers(handle), (std::vector<std::pair<int32_t, Words>>{
                                 {3, {700, -800, -50, 200}}, {5, {-550, -300}}, {3, {-50, 200}}}));
  EXPECT_EQ(services_.rows,
            (std::vector<std::string>{"3\t1.5\t2", "3\t0\t0", "5\t-1\t1", "3\t0.001\t0"}));
  EXPECT_EQ(services_.clears, 1);
  EXPECT_EQ(services_.loaded_calls, 1);
  const GdxLibrary* library = GdxLibraryFromHandle(handle);
  EXPECT_EQ(library->name, services_.error_list_path);
  EXPECT_NE(GdxFindStructureByName(GdxLibraryFromHandle(handle), "ErrCircle", 0), nullptr);
}

TEST_F(ErrorListTest, NothingWithoutAnErrorFile) {
  EXPECT_EQ(LoadErrorList(), kGdxNoHandle) << "option off";
  services_.error_list_path = PathOf("missing.txt");
  EXPECT_EQ(LoadErrorList(), kGdxNoHandle);
  services_.error_list_path = Write("empty.txt", "");
  EXPECT_EQ(LoadErrorList(), kGdxNoHandle);
  EXPECT_EQ(GdxChainHead(), kGdxNoHandle);
  EXPECT_EQ(services_.clears, 0);
}

}  // namespace
}  // namespace kavrinth
