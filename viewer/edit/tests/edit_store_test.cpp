// The editor without a window: flash geometry, selection groups, undo and saving edited
// layers as PG files that read back with exactly the edited flashes.
#include "viewer/edit/edit_store.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>

#include "pg2gds/pg_readers.h"
#include "support/notifier.h"
#include "viewer/edit/edit_text.h"
#include "viewer/model/pg_scan.h"
#include "viewer/model/tests/viewer_test_support.h"
#include "viewer/model/tests/wf2_test_support.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

TEST(EditGeometryTest, AnglesReduceWithAFlooredRemainder) {
  const struct {
    double degrees;
    int32_t tenths;
  } cases[] = {{-30.25, 1498}, {-30.0, 1500}, {180.0, 0},   {0.0, 0},  {90.0, 900},
               {359.96, 0},    {-180.0, 0},   {45.04, 450}, {-0.04, 0}};
  for (const auto& c : cases) EXPECT_EQ(FlashAngleTenths(c.degrees), c.tenths) << c.degrees;
}

TEST(EditGeometryTest, TwoPointRectanglesHaveAngleZeroFromEitherCorner) {
  const FlashCorners expected = {EditPoint{30, 20}, {10, 20}, {10, 0}, {30, 0}, {30, 20}};
  for (const auto& [a, b] : {std::pair{EditPoint{10, 0}, EditPoint{30, 20}},
                             std::pair{EditPoint{30, 20}, EditPoint{10, 0}},
                             std::pair{EditPoint{10, 20}, EditPoint{30, 0}}}) {
    const FlashCorners c = RectangleFrom2Points(a, b);
    FlashValues flash;
    FlashCorners corners;
    ASSERT_TRUE(NormaliseRectangle(c[0], c[1], c[2], &flash, &corners));
    EXPECT_EQ(flash, (FlashValues{20, 20, 0, 20, 10}));
    EXPECT_EQ(corners, expected);
  }
}

TEST(EditGeometryTest, ThreePointRectanglesLieOnTheThirdPointsSide) {
  FlashCorners corners;
  ASSERT_TRUE(RectangleFrom3Points({0, 0}, {10, 0}, {10, 5}, &corners));
  EXPECT_EQ(corners, (FlashCorners{EditPoint{0, 0}, {10, 0}, {10, 5}, {0, 5}, {0, 0}}));
  ASSERT_TRUE(RectangleFrom3Points({0, 0}, {10, 0}, {12, -5}, &corners));
  EXPECT_EQ(corners[2].y, -5) << "the other side of the first edge";
  EXPECT_EQ(corners[2].x, 10);
}

TEST(EditGeometryTest, DegeneratePointsMakeNoRectangle) {
  FlashCorners corners;
  FlashValues flash;
  EXPECT_FALSE(RectangleFrom3Points({5, 5}, {5, 5}, {9, 9}, &corners));
  EXPECT_FALSE(RectangleFrom3Points({0, 0}, {10, 0}, {20, 0}, &corners));
  EXPECT_FALSE(NormaliseRectangle({0, 0}, {0, 0}, {0, 0}, &flash, &corners));
  EXPECT_FALSE(NormaliseRectangle({0, 0}, {10, 0}, {20, 0}, &flash, &corners));
  EXPECT_FALSE(NormaliseRectangle({0, 0}, {10, 10}, {20, 20}, &flash, &corners));
}

TEST(EditTextTest, BlankTextAndAFontWithoutHeightAddNothing) {
  ShxFont font;
  font.height_above = 60;
  font.words = {0};
  font.index = {0};
  std::vector<std::array<EditPoint, 3>> out;
  int skipped = 0;
  std::string message;
  TextPlacement placement;
  placement.height = 100;
  for (const char* blank : {"", " ", "\r", " \r\n\t"}) {
    EXPECT_FALSE(TextRectangles(font, blank, placement, &out, &skipped, &message)) << blank;
    EXPECT_EQ(message, "There is no text to add.");
  }
  font.height_above = 0;
  EXPECT_FALSE(TextRectangles(font, "A", placement, &out, &skipped, &message));
  EXPECT_EQ(message, "The text font has no character height.");
  EXPECT_TRUE(out.empty());
}

// Three ElectroMask flashes: 30x10 at (100, 200), 30x10 at (300, 200), 10x10 at (500, 500).
const std::string kThreeFlashes = "<X100Y200W30V10U0SX300SX500Y500W10S\nZ";

class EditStoreTest : public ViewerModelTest {
 protected:
  void SetUp() override {
    ViewerModelTest::SetUp();
    ImportSettings().pg_format = 0;
    ImportSettings().metric = true;
    ImportSettings().unit_code = UnitCodeFor(0, true);
    SetViewerUnitDigits(ImportSettings().unit_code);
  }

  // Loads the file as layer 0, shown.
  std::string Load(const std::string& name, const std::string& bytes) {
    const std::string path = Write(name, bytes);
    ViewLayerEntry& entry = LayerTable()[0];
    entry.path = path;
    entry.shown = 1;
    entry.library = ScanPgFile(nullptr, path, 0);
    EXPECT_NE(entry.library, kGdxNoHandle);
    return path;
  }

  // The flashes of a PG file as read back.
  std::vector<FlashValues> ReadBack(const std::string& path) {
    const GdxHandle handle = ScanPgFile(nullptr, path, 5);
    std::vector<FlashValues> flashes;
    for (GdxEntryCursor cursor(GdxLibraryFromHandle(handle)); cursor.Valid(); cursor.Next()) {
      FlashValues f;
      if (FlashOfElement(cursor.Type(), cursor.Data(), &f)) flashes.push_back(f);
    }
    GdxFreeLibrary(handle);
    return flashes;
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(EditStoreTest, WindowCrossingAndExcludePicksBuildOneGroup) {
  Load("a.em", kThreeFlashes);
  EditStore store;
  // Window type: the first flash (85..115, 195..205) touches the window's edge: not taken.
  EXPECT_EQ(store.SelectByWindow({85, 190, 120, 210}, true, false), 0);
  EXPECT_FALSE(store.selection_open()) << "a pick that hits nothing opens no group";
  EXPECT_EQ(store.SelectByWindow({84, 190, 120, 210}, true, false), 1);
  ASSERT_TRUE(store.selection_open());
  // Crossing: a window over the edge of the second and third flashes takes both.
  EXPECT_EQ(store.SelectByWindow({310, 190, 497, 501}, false, false), 2);
  EXPECT_EQ(store.open_group()->hits.size(), 3u);
  // The same elements are not taken twice; a pick that hits nothing does not extend.
  EXPECT_EQ(store.SelectByWindow({310, 190, 497, 501}, false, false), 0);
  EXPECT_EQ(store.SelectByWindow({900, 900, 950, 950}, false, false), 0);
  // Exclude takes the third flash out again and clears its highlight.
  EXPECT_EQ(store.SelectByWindow({490, 490, 510, 510}, false, true), 1);
  EXPECT_EQ(store.open_group()->hits.size(), 2u);
  store.ApplySelection(true);
  EXPECT_FALSE(store.selection_open());
  EXPECT_EQ(store.LayerFlags(0), kLayerDeleted);
  EXPECT_EQ(store.FlashCount(0), 1);
  // Discarding the edits (No in Save Changes) leaves no element hidden.
  store.ClearEditStorage();
  EXPECT_EQ(store.FlashCount(0), 3);
  EXPECT_FALSE(store.HasEdits());
}

TEST_F(EditStoreTest, ExcludeFirstAndCancelLeaveNothingMarked) {
  Load("a.em", kThreeFlashes);
  EditStore store;
  EXPECT_EQ(store.SelectByWindow({0, 0, 1000, 1000}, false, true), 0);
  EXPECT_FALSE(store.selection_open());
  EXPECT_EQ(store.SelectByWindow({0, 0, 1000, 1000}, false, false), 3);
  store.ApplySelection(false);
  EXPECT_FALSE(store.HasEdits());
  EXPECT_EQ(store.FlashCount(0), 3);
  EXPECT_FALSE(store.UndoLastEdit());
  EXPECT_EQ(store.message(), "Nothing to undo.");
}

TEST_F(EditStoreTest, AFullGroupTableRefusesTheNextSelection) {
  std::string bytes = "<";
  for (int i = 0; i <= 1024; ++i) bytes += "X" + std::to_string(100 + 40 * i) + "Y100W10V10U0S";
  Load("many.em", bytes + "Z");
  EditStore store;
  for (int i = 0; i < 1024; ++i) {
    const int32_t x = 100 + 40 * i;
    ASSERT_EQ(store.SelectByWindow({x - 10, 90, x + 10, 110}, false, false), 1) << i;
    store.ApplySelection(true);
  }
  EXPECT_EQ(
      store.SelectByWindow({100 + 40 * 1024 - 10, 90, 100 + 40 * 1024 + 10, 110}, false, false),
      -1);
  EXPECT_NE(store.message().find("Too many selections"), std::string::npos);
  EXPECT_FALSE(store.selection_open());
  // Undo frees a group; the oldest deletions beyond the undo list stay deleted.
  ASSERT_TRUE(store.UndoLastEdit());
  EXPECT_EQ(
      store.SelectByWindow({100 + 40 * 1024 - 10, 90, 100 + 40 * 1024 + 10, 110}, false, false), 1);
}

TEST_F(EditStoreTest, UndoRestoresDeletionsAndAdditionsNewestFirst) {
  Load("a.em", kThreeFlashes);
  EditStore store;
  store.set_current_layer(0);
  ASSERT_EQ(store.SelectByWindow({80, 190, 120, 210}, false, false), 1);
  store.ApplySelection(true);
  const int rect = store.AddRectangle2({0, 0}, {40, 20});
  ASSERT_NE(rect, 0);
  ASSERT_EQ(store.SelectByWindow({280, 190, 320, 210}, false, false), 1);
  store.ApplySelection(true);
  EXPECT_EQ(store.FlashCount(0), 2);
  ASSERT_TRUE(store.UndoLastEdit());  // the second deletion
  EXPECT_EQ(store.FlashCount(0), 3);
  ASSERT_TRUE(store.UndoLastEdit());  // the rectangle
  EXPECT_TRUE(store.EditLibraries(0).empty());
  EXPECT_EQ(store.FlashCount(0), 2);
  ASSERT_TRUE(store.UndoLastEdit());  // the first deletion
  EXPECT_EQ(store.FlashCount(0), 3);
  EXPECT_FALSE(store.HasEdits());
  EXPECT_FALSE(store.UndoLastEdit());
  // Undo during an open selection undoes the newest edit and deletion; the selection
  // being picked stays open for OK to delete.
  ASSERT_EQ(store.SelectByWindow({80, 190, 120, 210}, false, false), 1);
  store.ApplySelection(true);
  ASSERT_NE(store.AddRectangle2({0, 0}, {40, 20}), 0);
  ASSERT_EQ(store.SelectByWindow({280, 190, 320, 210}, false, false), 1);
  ASSERT_TRUE(store.UndoLastEdit());
  EXPECT_TRUE(store.EditLibraries(0).empty());
  ASSERT_TRUE(store.UndoLastEdit());
  EXPECT_EQ(store.FlashCount(0), 3);
  EXPECT_FALSE(store.UndoLastEdit());
  ASSERT_TRUE(store.selection_open());
  EXPECT_EQ(store.open_group()->hits.size(), 1u);
  store.ApplySelection(true);
  EXPECT_EQ(store.FlashCount(0), 2);
  EXPECT_EQ(store.LayerFlags(0), kLayerDeleted);
}

TEST_F(EditStoreTest, TheUndoListKeepsTheNewest64AndTextsUndoByTheirOwnIds) {
  Load("a.em", kThreeFlashes);
  EditStore store;
  store.set_current_layer(0);
  for (int i = 0; i < 65; ++i) ASSERT_NE(store.AddRectangle2({i, 0}, {i + 10, 10}), 0);
  int undone = 0;
  while (store.UndoLastEdit()) ++undone;
  EXPECT_EQ(undone, 64);
  EXPECT_EQ(store.EditLibraries(0).size(), 1u) << "the oldest stays, not overwritten";
  store.ClearEditStorage();

  const int kept = store.AddRectangle2({0, 0}, {10, 10});
  const int text1 = store.AddRectangle2({20, 0}, {30, 10});
  store.AddPendingText(text1);
  const int other = store.AddRectangle2({40, 0}, {50, 10});
  const int text2 = store.AddRectangle2({60, 0}, {70, 10});
  store.AddPendingText(text2);
  ASSERT_TRUE(kept && other);
  store.EndTextEdits(false);
  EXPECT_EQ(store.EditLibraries(0).size(), 2u) << "only the two texts are undone";
  EXPECT_EQ(store.undo_depth(), 2u);
  ASSERT_TRUE(store.UndoLastEdit());
  ASSERT_TRUE(store.UndoLastEdit());
  EXPECT_TRUE(store.EditLibraries(0).empty());
}

TEST_F(EditStoreTest, SavedFileHoldsExactlyTheKeptAndAddedFlashes) {
  const std::string source = Load("a.em", kThreeFlashes);
  EditStore store;
  store.set_current_layer(0);
  ASSERT_EQ(store.SelectByWindow({280, 190, 320, 210}, false, false), 1);
  store.ApplySelection(true);
  ASSERT_NE(store.AddRectangle2({1000, 2000}, {1040, 2020}), 0);
  ASSERT_NE(store.AddRectangle3({0, 0}, {30, 30}, {20, 40}), 0);
  ASSERT_TRUE(store.SaveEditedLayers({{0, "out.em"}})) << store.message();
  EXPECT_FALSE(store.HasEdits());
  EXPECT_EQ(ReadAll(source), kThreeFlashes) << "the source is untouched";
  const std::vector<FlashValues> flashes = ReadBack(PathOf("out.em"));
  ASSERT_EQ(flashes.size(), 4u);
  EXPECT_EQ(flashes[0], (FlashValues{30, 10, 0, 100, 200}));
  EXPECT_EQ(flashes[1], (FlashValues{10, 10, 0, 500, 500}));
  EXPECT_EQ(flashes[2], (FlashValues{40, 20, 0, 1020, 2010}));
  EXPECT_EQ(flashes[3].angle_tenths, 450);
  EXPECT_EQ(flashes[3].width, 42);
  EXPECT_EQ(flashes[3].height, 14);
  // The deleted marks are gone with the edits: all three loaded flashes count again.
  EXPECT_EQ(store.FlashCount(0), 3);
}

TEST_F(EditStoreTest, ASaveThatCannotWriteKeepsTheSourceAndTheEdits) {
  const std::string source = Load("a.em", kThreeFlashes);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(chmod(source.c_str(), 0644), 0);
  // Root may write anywhere, so the save runs as an ordinary user.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
    EditStore store;
    store.set_current_layer(0);
    if (store.SelectByWindow({80, 190, 120, 210}, false, false) != 1) _exit(3);
    store.ApplySelection(true);
    if (store.AddRectangle2({0, 0}, {10, 10}) == 0) _exit(4);
    if (store.SaveEditedLayers({{0, source}})) _exit(5);
    if (store.message().find("Cannot write " + source) == std::string::npos) _exit(6);
    if (store.EditedLayers() != std::vector<int>{0} || store.FlashCount(0) != 3) _exit(7);
    if (store.undo_depth() != 2) _exit(8);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(source), kThreeFlashes);
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    EXPECT_EQ(entry.path().string(), source) << "no temporary left behind";
}

void Le32(std::string* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>(value >> (8 * i)));
}

void Floats(std::string* bytes, std::initializer_list<float> values) {
  for (float value : values) Le32(bytes, std::bit_cast<uint32_t>(value));
}

TEST_F(EditStoreTest, IntermediateLayersKeepTheirCirclesAndRingSegments) {
  // A 30 by 10 quadrilateral, a full circle of radius 5 and a quarter ring from 2 to 10.
  std::string bytes = "\xFD";
  bytes.push_back('\0');
  for (uint32_t count : {0u, 0u, 1u, 0u, 2u}) Le32(&bytes, count);
  bytes.append(2, '\0');
  Floats(&bytes, {4.0f, 0.0f, 0.0f, 0.03f, 0.0f, 0.03f, 0.01f, 0.0f, 0.01f});
  bytes.push_back('\0');
  const auto sector = [&bytes](float inner, float sweep, float cx, float cy, float ox, float oy) {
    bytes.push_back('\0');
    Floats(&bytes, {0, 0, 0, 0, inner, sweep, cx, cy, ox, oy, 0, 0, 0, 0, 0, 0});
    bytes.append(2, '\0');
  };
  sector(0.0f, 360.0f, 0.1f, 0.1f, 0.105f, 0.1f);
  sector(0.002f, 90.0f, 0.2f, 0.2f, 0.21f, 0.2f);
  ImportSettings().pg_format = kPgFormatIntermediate;
  ImportSettings().unit_code = UnitCodeFor(kPgFormatIntermediate, true);
  SetViewerUnitDigits(ImportSettings().unit_code);
  Load("i.int", bytes);
  const auto stored = [](GdxHandle handle) {
    std::vector<StoredElement> elements = StoredElements(GdxLibraryFromHandle(handle));
    std::erase_if(elements, [](const StoredElement& e) { return e.data.empty(); });
    return elements;
  };
  const std::vector<StoredElement> before = stored(LayerTable()[0].library);
  ASSERT_EQ(before.size(), 3u);
  EditStore store;
  store.set_current_layer(0);
  ASSERT_NE(store.AddRectangle2({300, 300}, {340, 320}), 0);
  ASSERT_TRUE(store.SaveEditedLayers({{0, "out.int"}})) << store.message();
  const GdxHandle again = ScanPgFile(nullptr, PathOf("out.int"), 0);
  const std::vector<StoredElement> after = stored(again);
  ASSERT_EQ(after.size(), 4u);
  // An Intermediate file holds its quadrilaterals before its sectors: the added rectangle
  // comes second.
  for (const auto& [a, b] : {std::pair{0, 0}, std::pair{2, 1}, std::pair{3, 2}}) {
    EXPECT_EQ(after[a].type, before[b].type) << a;
    EXPECT_EQ(after[a].data, before[b].data) << a;
  }
  EXPECT_EQ(after[1].type, kGdxBoundary);
  const std::vector<GdxWord> corners(after[1].data.begin() + 10, after[1].data.end());
  EXPECT_EQ(corners, (std::vector<GdxWord>{340, 320, 300, 320, 300, 300, 340, 300, 340, 320}));
  GdxFreeLibrary(again);
}

TEST_F(EditStoreTest, PicksSearchAWf2LayerHeldAsAFrameIndexFrameByFrame) {
  // Three strips of two 100x50 frames, each frame filled by one rectangle; held as a frame
  // index of one strip per section.
  const std::vector<testing::Wf2Frame> frames(6, {{{0, 0}, {99, 0}, {99, 49}, {0, 49}}});
  const std::string path = PathOf("pattern.wf2");
  testing::WriteBytes(path, testing::BuildWf2(testing::SmallHeader(3, 2, false), frames));
  ViewLayerEntry& entry = LayerTable()[0];
  entry.path = path;
  entry.shown = 1;
  services_.memory_limit = 1;
  Wf2ScanResult result;
  ASSERT_EQ(ScanWf2File(nullptr, path, 0, &result), kGdxNoHandle);
  services_.memory_limit = 0;
  ASSERT_EQ(result.status, Wf2ScanStatus::kIndexed);
  entry.frame_block = result.frame_index;
  entry.frame_count = result.sections;
  ASSERT_EQ(entry.frame_count, 3);
  const auto box = [](int32_t k) {
    return *ReadWf2FrameIndexEntry(LayerTable()[0].frame_block, k);
  };
  const GdxRect first = box(0).box, last = box(2).box;

  EditStore store;
  // A window over the whole pattern with the view on the first strip: only its frames.
  const GdxRect all{first.min_x - 10, first.min_y - 10, last.max_x + 10, last.max_y + 10};
  const GdxRect first_strip{first.min_x, first.min_y, first.max_x, first.max_y};
  EXPECT_EQ(store.SelectByWindow(all, false, false, first_strip), 2);
  ASSERT_TRUE(store.selection_open());
  for (const EditHit& hit : store.open_group()->hits) EXPECT_EQ(hit.frame, 0);
  // With the whole pattern in view, the other strips' rectangles join; the picked ones are
  // not taken twice.
  EXPECT_EQ(store.SelectByWindow(all, false, false), 4);
  EXPECT_EQ(store.open_group()->hits.size(), 6u);
  // Exclude takes the last strip's two out again, loading its frame once more.
  EXPECT_EQ(store.SelectByWindow({last.min_x + 1, last.min_y + 1, last.max_x - 1, last.max_y - 1},
                                 false, true),
            2);
  EXPECT_EQ(store.open_group()->hits.size(), 4u);
  const uint64_t version = store.frame_flags_version();
  store.ApplySelection(true);
  EXPECT_NE(store.frame_flags_version(), version);
  EXPECT_EQ(store.LayerFlags(0), kLayerDeleted);
  // A frame loaded afresh (as the drawing loads it) carries the marks: deleted in the first
  // strip, none in the last.
  auto marks = [&store](int32_t k) {
    const GdxHandle library = LoadWf2Frame(LayerTable()[0].frame_block, 0, k);
    const int32_t before =
        k > 0 ? int32_t(ReadWf2FrameIndexEntry(LayerTable()[0].frame_block, k - 1)->polygons) : 0;
    store.ApplyFrameFlags(library, 0, before);
    std::vector<int32_t> flags;
    for (GdxEntryCursor c(GdxLibraryFromHandle(library)); c.Valid(); c.Next()) {
      if (c.Type() == kGdxBoundary) flags.push_back(c.Entry()[kGdxEntrySelection]);
    }
    GdxFreeLibrary(library);
    return flags;
  };
  EXPECT_EQ(marks(0), (std::vector<int32_t>{kEditDeleted, kEditDeleted}));
  EXPECT_EQ(marks(2), (std::vector<int32_t>{0, 0}));
  // A deleted element is not picked again; undo gives the marks back.
  EXPECT_EQ(store.SelectByWindow(all, false, false), 2);
  store.ApplySelection(false);
  ASSERT_TRUE(store.UndoLastEdit());
  EXPECT_EQ(marks(0), (std::vector<int32_t>{0, 0}));
  EXPECT_FALSE(store.HasEdits());
}

TEST_F(EditStoreTest, Wf2EditsAreRefusedAndKept) {
  Load("a.em", kThreeFlashes);
  LayerTable()[0].path = PathOf("a.WF2");
  EditStore store;
  store.set_current_layer(0);
  ASSERT_NE(store.AddRectangle2({0, 0}, {10, 10}), 0);
  EXPECT_FALSE(store.SaveEditedLayers({{0, "b.wf2"}}));
  EXPECT_NE(store.message().find("WF2"), std::string::npos);
  EXPECT_TRUE(store.HasEdits());
  EXPECT_FALSE(std::filesystem::exists(PathOf("b.wf2")));
}

}  // namespace
}  // namespace kavrinth
