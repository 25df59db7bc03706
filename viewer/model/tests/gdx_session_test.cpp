// The editor's scratch, edit and session libraries.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "viewer/model/gdx_database.h"
#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {
namespace {

using Words = std::vector<GdxWord>;

std::vector<int32_t> Types(const GdxLibrary* library) {
  std::vector<int32_t> types;
  for (const StoredElement& element : StoredElements(library)) types.push_back(element.type);
  return types;
}

void AddBoundary(const Words& points) {
  GdxBeginBoundary();
  ASSERT_EQ(GdxAddPoints(1, points.data(), static_cast<int32_t>(points.size())), 0);
  GdxEndElement();
}

using GdxSessionTest = ViewerModelTest;

TEST_F(GdxSessionTest, TheScratchLibraryHoldsOneWorkElementOutsideTheChain) {
  GdxLibrary* scratch = GdxCreateTempLibrary();
  ASSERT_NE(scratch, nullptr);
  EXPECT_EQ(scratch->name, "tmplib");
  EXPECT_EQ(GdxChainHead(), kGdxNoHandle);
  EXPECT_EQ(scratch->current_structure_id, 1);
  const GdxStructure* slot = GdxFindStructureById(scratch, 1);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->name, "tmpstruct");
  EXPECT_EQ(slot->begin_position, kGdxPageHeaderWords);
  const GdxWord* page = GdxBlockWords(scratch->first_index_page);
  EXPECT_EQ(page[kGdxPageFill], 16);
  EXPECT_EQ(page[4], kGdxStructureBegin);
  EXPECT_EQ(page[8], kGdxPath);
  EXPECT_EQ(static_cast<GdxHandle>(page[9]), scratch->first_data_block);
  EXPECT_EQ(page[10], kGdxBlockHeaderWords);
  EXPECT_EQ(page[12], kGdxEndMark);
  const GdxHandle handle = scratch->handle;
  GdxFreeCurrentLibrary();
  EXPECT_EQ(GdxTempLibrary(), nullptr);
  EXPECT_EQ(GdxLibraryFromHandle(handle), nullptr);
}

TEST_F(GdxSessionTest, EditStepsAppendToOneEditLibrary) {
  GdxHandle edit = kGdxNoHandle;
  ASSERT_EQ(GdxOpenEditLibrary(&edit), 0);
  const GdxLibrary* library = GdxLibraryFromHandle(edit);
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(library->name, "GDX_EDIT_LIB_0");
  EXPECT_NE(GdxFindStructureByName(GdxLibraryFromHandle(edit), "GDX_EDIT_STR_0", 0), nullptr);
  AddBoundary({1, 1, 2, 2});
  GdxEndAppend();

  // Another library made in between does not disturb the next edit step.
  GdxBeginLibrary("other");
  GdxEndLibrary();
  GdxHandle again = kGdxNoHandle;
  ASSERT_EQ(GdxOpenEditLibrary(&again), 0);
  EXPECT_EQ(again, edit);
  EXPECT_EQ(GdxChainHead(), edit) << "the reopened library heads the chain";
  AddBoundary({3, 3, 4, 4});
  GdxEndAppend();
  EXPECT_EQ(Types(library),
            (std::vector<int32_t>{kGdxStructureBegin, kGdxBoundary, kGdxBoundary, kGdxEndMark}));
  std::array<int32_t, 3> state{};
  GdxSaveSessionState(&state);
  EXPECT_EQ(static_cast<GdxHandle>(state[0]), edit);
  EXPECT_EQ(static_cast<GdxHandle>(state[1]), library->first_index_page);
  EXPECT_EQ(state[2], kGdxPageHeaderWords + 3 * kGdxEntryWords);
}

TEST_F(GdxSessionTest, CopyToScratchTakesTheLastElementBeforeTheEndMark) {
  ASSERT_NE(GdxCreateTempLibrary(), nullptr);
  EXPECT_EQ(GdxCopyToScratch(), -1) << "nothing written yet";
  GdxHandle edit = kGdxNoHandle;
  GdxOpenEditLibrary(&edit);
  AddBoundary({1, 1});
  GdxBeginCircle();
  GdxSetRadius(4);
  const Words circle = {0, 0, 4, 0, 4, 0};
  GdxAddPoints(1, circle.data(), 6);
  GdxEndElement();
  GdxEndAppend();
  ASSERT_EQ(GdxCopyToScratch(), 0);
  const std::vector<StoredElement> work = StoredElements(GdxTempLibrary());
  ASSERT_EQ(work.size(), 3u);
  EXPECT_EQ(work[1].type, kGdxCircle);
  EXPECT_EQ(work[1].data, (Words{6 | 1 << 16, 0, 0, 4, 0, 0, 0, 0, 4, 0, 4, 0}));
}

TEST_F(GdxSessionTest, AnElementTooLargeForTheWorkBlockIsRefused) {
  ASSERT_NE(GdxCreateTempLibrary(), nullptr);
  GdxHandle edit = kGdxNoHandle;
  GdxOpenEditLibrary(&edit);
  AddBoundary({7, 7});
  GdxEndAppend();
  ASSERT_EQ(GdxCopyToScratch(), 0);
  GdxOpenEditLibrary(&edit);
  const Words large(65530, 1);  // 65540 words with its header
  AddBoundary(large);
  GdxEndAppend();
  EXPECT_EQ(GdxCopyToScratch(), -1);
  const std::vector<StoredElement> work = StoredElements(GdxTempLibrary());
  EXPECT_EQ(work[1].data[10], 7) << "the work element is left as it was";
}

TEST_F(GdxSessionTest, SessionMarkersReplaceTheEndMarkEachTime) {
  GdxHandle session = kGdxNoHandle;
  ASSERT_EQ(GdxOpenSessionLibrary(&session, 41), 0);
  ASSERT_NE(session, kGdxNoHandle);
  ASSERT_EQ(GdxOpenSessionLibrary(&session, 42), 0);
  const GdxLibrary* library = GdxLibraryFromHandle(session);
  EXPECT_EQ(library->name, "GDX_SESSIONLIB_0");
  const std::vector<StoredElement> elements = StoredElements(library);
  ASSERT_EQ(elements.size(), 4u);
  EXPECT_EQ(elements[0].type, kGdxStructureBegin);
  EXPECT_EQ(elements[1].type, kGdxSessionMarker);
  EXPECT_EQ(elements[1].data[1], 41);
  EXPECT_EQ(elements[2].type, kGdxSessionMarker);
  EXPECT_EQ(elements[2].data[1], 42);
  EXPECT_EQ(elements[3].type, kGdxEndMark);

  GdxHandle second = kGdxNoHandle;
  GdxOpenSessionLibrary(&second, 1);
  EXPECT_EQ(GdxLibraryFromHandle(second)->name, "GDX_SESSIONLIB_1");
  GdxResetSessionState();
  GdxHandle third = kGdxNoHandle;
  GdxOpenSessionLibrary(&third, 1);
  EXPECT_EQ(GdxLibraryFromHandle(third)->name, "GDX_SESSIONLIB_0");
  EXPECT_NE(GdxFindStructureByName(GdxLibraryFromHandle(third), "GDX_SESSIONSTR_0", 0), nullptr);
}

TEST_F(GdxSessionTest, AFreedEditLibraryIsNotReopened) {
  GdxHandle edit = kGdxNoHandle;
  GdxOpenEditLibrary(&edit);
  AddBoundary({1, 1});
  GdxEndAppend();
  ASSERT_EQ(GdxFreeLibrary(edit), 0);
  std::array<int32_t, 3> state{};
  GdxSaveSessionState(&state);
  EXPECT_EQ(state[0], 0);
  GdxHandle next = kGdxNoHandle;
  ASSERT_EQ(GdxOpenEditLibrary(&next), 0);
  ASSERT_NE(GdxLibraryFromHandle(next), nullptr);
  AddBoundary({2, 2});
  GdxEndAppend();
  EXPECT_EQ(Types(GdxLibraryFromHandle(next)),
            (std::vector<int32_t>{kGdxStructureBegin, kGdxBoundary, kGdxEndMark}));
}

}  // namespace
}  // namespace kavrinth
