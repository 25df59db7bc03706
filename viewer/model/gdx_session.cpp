// The editor's libraries: the scratch library with its one work element, and the edit and
// session libraries that each edit step extends through the append pass.
#include <algorithm>
#include <string>

#include "viewer/model/gdx_state.h"

namespace kavrinth {
namespace {

constexpr int32_t kWorkEntry = kGdxPageHeaderWords + kGdxEntryWords;

std::string Numbered(const char* prefix, int32_t number) { return prefix + std::to_string(number); }

// The entry written just before the saved end mark (on the page before, when the end mark
// opens its page): its page words and position, or null.
GdxWord* EntryBeforeSavedEnd(int32_t* position) {
  const GdxSessionState& session = Gdx().session;
  GdxWord* words = GdxBlockWords(session.saved_page);
  if (words == nullptr) return nullptr;
  if (session.saved_position > kGdxPageHeaderWords) {
    *position = session.saved_position - kGdxEntryWords;
    return words;
  }
  words = GdxBlockWords(static_cast<GdxHandle>(words[kGdxPagePrevious]));
  if (words == nullptr || words[kGdxPageFill] <= kGdxPageHeaderWords) return nullptr;
  *position = words[kGdxPageFill] - kGdxEntryWords;
  return words;
}

// A new library with one structure, left open for writing; null when memory runs out.
GdxLibrary* BeginNamedLibrary(const std::string& library_name, const std::string& structure) {
  GdxLibrary* library = GdxBeginLibrary(library_name);
  if (library == nullptr) return nullptr;
  GdxStartStructure();
  if (GdxBeginStructure(structure) != 0) {
    GdxFreeLibrary(library->handle);
    return nullptr;
  }
  return library;
}

}  // namespace

GdxLibrary* GdxTempLibrary() { return GdxLibraryFromHandle(Gdx().temp_library); }

GdxLibrary* GdxCreateTempLibrary() {
  GdxState& s = Gdx();
  GdxFreeCurrentLibrary();
  const GdxHandle handle = NewLibraryRecord();
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return nullptr;
  library->name = "tmplib";
  const GdxHandle block = AllocateWords(kGdxDataBlockWords);
  const GdxHandle page = AllocateWords(kGdxIndexPageWords);
  library->first_data_block = library->current_data_block = block;
  library->first_index_page = library->end_index_page = page;
  GdxStructure* slot = GdxFindStructureByName(library, "tmpstruct", 1);
  if (block == kGdxNoHandle || page == kGdxNoHandle || slot == nullptr) {
    FreeLibraryMemory(library);
    return nullptr;
  }
  // The work element takes the whole block.
  GdxWord* data = GdxBlockWords(block);
  data[kGdxBlockCapacity] = kGdxDataBlockCapacity;
  GdxWord* words = GdxBlockWords(page);
  const std::array<GdxWord, 12> entries = {kGdxStructureBegin,
                                           0,
                                           0,
                                           0,
                                           kGdxPath,
                                           static_cast<GdxWord>(block),
                                           kGdxBlockHeaderWords,
                                           0,
                                           kGdxEndMark,
                                           static_cast<GdxWord>(block),
                                           0,
                                           0};
  std::copy(entries.begin(), entries.end(), words + kGdxPageHeaderWords);
  words[kGdxPageFill] = kGdxPageHeaderWords + static_cast<GdxWord>(entries.size());
  slot->undefined = 0;
  slot->begin_page = page;
  slot->begin_position = kGdxPageHeaderWords;
  library->current_structure_id = 1;
  s.temp_library = handle;
  return library;
}

void GdxFreeCurrentLibrary() {
  GdxState& s = Gdx();
  GdxLibrary* library = GdxLibraryFromHandle(s.temp_library);
  s.temp_library = kGdxNoHandle;
  if (library != nullptr) FreeLibraryMemory(library);
}

int GdxCopyToScratch() {
  GdxLibrary* scratch = GdxTempLibrary();
  int32_t position = 0;
  const GdxWord* words = EntryBeforeSavedEnd(&position);
  if (scratch == nullptr || words == nullptr) return -1;
  const int32_t type = words[position + kGdxEntryType] & 0xFF;
  const GdxHandle block = static_cast<GdxHandle>(words[position + kGdxEntryBlock]);
  const int32_t offset = words[position + kGdxEntryOffset];
  const GdxWord* data = GdxBlockWords(block);
  if (data == nullptr || offset < kGdxBlockHeaderWords) return -1;
  data += offset;
  const int32_t n = GdxElementPointWords(type, data);
  // The element must lie within its block and fit the work element's block.
  if (n <= 0 || n > GdxBlockWordCount(block) - offset || n > kGdxDataBlockCapacity) return -1;
  GdxWord* work_page = GdxBlockWords(scratch->first_index_page);
  GdxWord* work = GdxBlockWords(scratch->first_data_block) + kGdxBlockHeaderWords;
  std::copy_n(data, n, work);
  std::fill(work + n, work + kGdxDataBlockCapacity, 0);
  work_page[kWorkEntry + kGdxEntryType] = type;
  return 0;
}

int GdxOpenEditLibrary(GdxHandle* handle) {
  GdxState& s = Gdx();
  GdxLibrary* saved = GdxLibraryFromHandle(s.session.saved_library);
  const GdxWord* saved_page = GdxBlockWords(s.session.saved_page);
  const bool valid = saved != nullptr && saved_page != nullptr &&
                     s.session.saved_position >= kGdxPageHeaderWords &&
                     s.session.saved_position < saved_page[kGdxPageFill];
  if (s.session.reopen != 0 && valid) {
    UnlinkFromChain(saved->handle);
    LinkAtHead(saved);
    MakeCurrent(saved);
    ResetElementState();
    // The next entry overwrites the end mark.
    GdxBlockWords(s.session.saved_page)[kGdxPageFill] = s.session.saved_position;
    s.index_page = s.session.saved_page;
    s.index_words = GdxBlockWords(s.session.saved_page);
    *handle = saved->handle;
    return 0;
  }
  s.session.reopen = 1;
  const int32_t number = s.session.counter;
  GdxLibrary* library =
      BeginNamedLibrary(Numbered("GDX_EDIT_LIB_", number), Numbered("GDX_EDIT_STR_", number));
  *handle = library != nullptr ? library->handle : kGdxNoHandle;
  return library != nullptr ? 0 : -1;
}

int GdxOpenSessionLibrary(GdxHandle* handle, int32_t value) {
  GdxState& s = Gdx();
  if (*handle == kGdxNoHandle) {
    const int32_t number = s.session.counter;
    GdxLibrary* library =
        BeginNamedLibrary(Numbered("GDX_SESSIONLIB_", number), Numbered("GDX_SESSIONSTR_", number));
    if (library == nullptr) return -1;
    ++s.session.counter;
    *handle = library->handle;
    GdxEndAppend();
  }
  GdxLibrary* library = GdxLibraryFromHandle(*handle);
  GdxStructure* slot = GdxFindStructureById(library, library ? library->current_structure_id : 0);
  if (slot == nullptr) return -1;
  GdxHandle page = slot->begin_page;
  for (GdxWord* words = GdxBlockWords(page);
       words != nullptr && GdxBlockWords(static_cast<GdxHandle>(words[kGdxPageNext]));
       words = GdxBlockWords(page)) {
    page = static_cast<GdxHandle>(words[kGdxPageNext]);
  }
  MakeCurrent(library);
  ResetElementState();
  ReuseLastEntryOf(page);
  int32_t position = 0;
  const GdxHandle marker_page = GdxAddElement(kGdxSessionMarker, 0, &position);
  GdxWord* data = EntryData(marker_page, position);
  if (data != nullptr && data[1] == 0) data[1] = value;
  GdxEndAppend();
  return data != nullptr ? 0 : -1;
}

void GdxSaveSessionState(std::array<int32_t, 3>* out) {
  const GdxSessionState& session = Gdx().session;
  *out = {static_cast<int32_t>(session.saved_library), static_cast<int32_t>(session.saved_page),
          session.saved_position};
}

void GdxResetSessionState() {
  GdxSessionState& session = Gdx().session;
  session.saved_library = kGdxNoHandle;
  session.reopen = 0;
  session.counter = 0;
}

}  // namespace kavrinth
