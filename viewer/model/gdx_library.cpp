// Library and structure level of the layout database: making, ending, reopening,
// emptying and freeing libraries; structure slots and their lookup.
#include <cmath>
#include <new>

#include "viewer/model/gdx_state.h"

namespace kavrinth {
namespace {

// The largest scale factor that fits in 32 bits.
constexpr int32_t kMaxScaleFactor = 1000000000;

int32_t Wrap(int32_t value, int32_t modulus) { return value < 0 ? 0 : value % modulus; }

bool InChain(GdxHandle handle) {
  for (GdxHandle h = Gdx().chain_head; h != kGdxNoHandle;) {
    if (h == handle) return true;
    const GdxLibrary* library = GdxLibraryFromHandle(h);
    h = library ? library->next : kGdxNoHandle;
  }
  return false;
}

void ReleaseChain(GdxHandle first) {
  for (GdxHandle h = first; h != kGdxNoHandle;) {
    const GdxWord* words = GdxBlockWords(h);
    const GdxHandle next = words ? static_cast<GdxHandle>(words[kGdxBlockNext]) : kGdxNoHandle;
    ReleaseWords(h);
    h = next;
  }
}

void CloseCurrent() {
  GdxState& s = Gdx();
  s.library = nullptr;
  s.current = kGdxNoHandle;
  s.index_page = kGdxNoHandle;
  s.index_words = nullptr;
  s.block_words = nullptr;
  ResetElementState();
}

// Adds an end mark to the current library: its page, or 0.
GdxHandle AddEndMark(GdxHandle block, int32_t* position) {
  return AppendEntry({kGdxEndMark, static_cast<GdxWord>(block), 0, 0}, position);
}

// A new structure page appended to the library, or false when memory runs out.
bool AddStructurePage(GdxLibrary* library) {
  try {
    auto page = std::make_unique<GdxStructurePage>();
    const int32_t number = static_cast<int32_t>(library->structure_pages.size()) + 1;
    for (GdxStructure& slot : *page) slot.page = number;
    library->structure_pages.push_back(std::move(page));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

GdxStructure* FillSlot(GdxLibrary* library, GdxStructure* slot, int32_t id, std::string_view name,
                       int32_t hash) {
  slot->name = std::string(name);
  slot->undefined = 1;
  slot->id = id;
  slot->hash = hash;
  ++library->structure_count;
  return slot;
}

}  // namespace

void LinkAtHead(GdxLibrary* library) {
  GdxState& s = Gdx();
  library->next = s.chain_head;
  s.chain_head = library->handle;
}

void UnlinkFromChain(GdxHandle handle) {
  GdxState& s = Gdx();
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return;
  if (s.chain_head == handle) {
    s.chain_head = library->next;
  } else {
    for (GdxLibrary* p = GdxLibraryFromHandle(s.chain_head); p != nullptr;
         p = GdxLibraryFromHandle(p->next)) {
      if (p->next == handle) {
        p->next = library->next;
        break;
      }
    }
  }
  library->next = kGdxNoHandle;
}

void FreeLibraryMemory(GdxLibrary* library) {
  GdxState& s = Gdx();
  const GdxHandle handle = library->handle;
  if (s.current == handle) CloseCurrent();
  if (s.session.saved_library == handle) {
    // A freed library cannot be reopened: the next edit makes a new one.
    s.session.saved_library = kGdxNoHandle;
    s.session.saved_page = kGdxNoHandle;
    s.session.saved_position = 0;
    s.session.reopen = 0;
  }
  ReleaseChain(library->first_index_page);
  ReleaseChain(library->first_data_block);
  ReleaseLibraryRecord(handle);
}

GdxHandle GdxChainHead() { return Gdx().chain_head; }

GdxLibrary* GdxCurrentLibrary() { return Gdx().library; }

GdxLibrary* GdxBeginLibrary(std::string_view name) {
  const GdxHandle handle = NewLibraryRecord();
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return nullptr;
  library->name = std::string(name);
  LinkAtHead(library);
  MakeCurrent(library);
  ResetElementState();
  ResetStructureBox();
  return library;
}

int GdxSetUnits(double user_unit, double metres) {
  GdxLibrary* library = Gdx().library;
  if (library == nullptr || !(std::fabs(user_unit) >= 1e-7) || !std::isfinite(user_unit)) return 1;
  int32_t factor = 1;
  for (double unit = user_unit; unit > 0.33; unit /= 10) {
    if (factor >= kMaxScaleFactor) return 1;  // coordinates could not be stored
    factor *= 10;
  }
  library->user_unit = user_unit;
  library->database_unit = metres;
  library->scale_factor = factor;
  return 0;
}

void GdxSetLibraryName(std::string_view text) {
  if (GdxLibrary* library = Gdx().library) library->library_name = std::string(text);
}

void GdxSetLibraryHeader(int32_t value) {
  if (GdxLibrary* library = Gdx().library) library->header = value;
}

void GdxSetLibraryTimes(const std::array<int16_t, 12>& times) {
  GdxLibrary* library = Gdx().library;
  if (library == nullptr) return;
  // Year, month, day, hour, minute, second, twice.
  constexpr std::array<int32_t, 6> kModulus = {0, 13, 32, 24, 60, 60};
  for (size_t i = 0; i < times.size(); ++i) {
    const int32_t modulus = kModulus[i % 6];
    library->times[i] = modulus == 0 ? std::max<int32_t>(times[i], 0) : Wrap(times[i], modulus);
  }
}

GdxHandle GdxEndLibrary() {
  GdxState& s = Gdx();
  GdxLibrary* library = s.library;
  if (library == nullptr) return kGdxNoHandle;
  int32_t position = 0;
  if (GdxHandle page = AddEndMark(library->current_data_block, &position)) {
    library->end_index_page = page;
  }
  if (library->structure_count > 0) library->current_structure_id = 1;
  const GdxHandle handle = library->handle;
  CloseCurrent();
  return handle;
}

void GdxEndAppend() {
  GdxState& s = Gdx();
  GdxLibrary* library = s.library;
  if (library == nullptr) return;
  int32_t position = 0;
  const GdxHandle page = AddEndMark(kGdxNoHandle, &position);
  if (page != kGdxNoHandle) {
    s.session.saved_library = library->handle;
    s.session.saved_page = page;
    s.session.saved_position = position;
  }
  CloseCurrent();
}

GdxLibrary* GdxReopenLibrary(GdxHandle handle) {
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return nullptr;
  MakeCurrent(library);
  ResetElementState();
  if (library->end_index_page != kGdxNoHandle) ReuseLastEntryOf(library->end_index_page);
  return library;
}

GdxLibrary* GdxSelectHeadLibrary() {
  GdxState& s = Gdx();
  ResetElementState();
  GdxResetBytesAllocated();
  GdxLibrary* library = GdxLibraryFromHandle(s.chain_head);
  if (library == nullptr) {
    CloseCurrent();
    return nullptr;
  }
  MakeCurrent(library);
  return library;
}

int GdxEmptyLibrary(GdxHandle handle) {
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr) return 1;
  for (GdxHandle h = library->first_index_page; GdxWord* words = GdxBlockWords(h);
       h = static_cast<GdxHandle>(words[kGdxPageNext])) {
    words[kGdxPageFill] = kGdxPageHeaderWords;
  }
  for (GdxHandle h = library->first_data_block; GdxWord* words = GdxBlockWords(h);
       h = static_cast<GdxHandle>(words[kGdxBlockNext])) {
    words[kGdxBlockFree] = words[kGdxBlockCapacity];
  }
  library->end_index_page = library->first_index_page;
  library->current_data_block = library->first_data_block;
  GdxState& s = Gdx();
  if (s.current == handle) MakeCurrent(library);
  return 0;
}

int GdxFreeLibrary(GdxHandle handle) {
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  if (library == nullptr || !InChain(handle)) return 1;
  UnlinkFromChain(handle);
  FreeLibraryMemory(library);
  return 0;
}

void GdxStartStructure() {
  GdxElementState& e = Gdx().element;
  if (e.type == kGdxNoElement) e.type = kGdxStructureBegin;
}

int GdxBeginStructure(std::string_view name) {
  GdxState& s = Gdx();
  GdxElementState& e = s.element;
  if (e.type != kGdxStructureBegin && e.type != kGdxSref && e.type != kGdxAref) return 0;
  if (s.library == nullptr) return -1;
  name = name.substr(0, kGdxBeginNameLength);
  if (e.type != kGdxStructureBegin) {
    // A reference: its entry is made with its points (GdxAddPoints), naming this slot.
    GdxStructure* slot = GdxFindStructureByName(s.library, name, 1);
    if (slot == nullptr) return -1;
    e.reference_id = slot->id;
    return 0;
  }
  int32_t position = 0;
  const GdxHandle page = AppendEntry({kGdxStructureBegin, 0, 0, 0}, &position);
  if (page == kGdxNoHandle) return -1;
  GdxStructure* slot = GdxFindStructureByName(s.library, name, 1);
  if (slot == nullptr) return -1;
  s.library->current_structure_id = slot->id;
  slot->undefined = 0;
  slot->begin_page = page;
  slot->begin_position = position;
  ResetStructureBox();
  s.counts = {};
  e.type = kGdxNoElement;
  return 0;
}

void GdxEndStructure() {
  GdxState& s = Gdx();
  s.element.type = kGdxNoElement;
  if (s.library == nullptr) return;
  GdxStructure* slot = GdxFindStructureById(s.library, s.library->current_structure_id);
  if (slot == nullptr) return;
  if (s.box.min_x <= s.box.max_x && s.box.min_y <= s.box.max_y) slot->extents = s.box;
  const GdxStructureCounts& c = s.counts;
  slot->sref_count = c.sref;
  slot->aref_count = c.aref;
  slot->reference_count = c.sref + c.aref;
  slot->text_count = c.text;
  slot->node_count = c.node;
  slot->path_count = c.path;
  slot->boundary_count = c.boundary;
  slot->arc_count = c.arc;
  slot->circle_count = c.circle;
}

int32_t GdxStructureNameHash(std::string_view name) {
  if (name.empty()) return 0;
  auto code = [&name](size_t i) {
    return i < name.size() ? static_cast<int32_t>(static_cast<signed char>(name[i])) : 0;
  };
  return static_cast<int32_t>(name.size()) * 1024 + code(0) + code(1) + code(name.size() - 1);
}

GdxStructure* GdxFindStructureByName(GdxLibrary* library, std::string_view name, int create) {
  // A slot keeps 34 characters; a longer name must find the slot it made.
  name = name.substr(0, kGdxStructureNameLength);
  if (library == nullptr || name.empty()) return nullptr;
  const int32_t hash = GdxStructureNameHash(name);
  int32_t id = 0;
  for (auto& page : library->structure_pages) {
    for (GdxStructure& slot : *page) {
      ++id;
      if (slot.name.empty()) return create ? FillSlot(library, &slot, id, name, hash) : nullptr;
      if (slot.hash == hash && slot.name == name) return &slot;
    }
  }
  if (!create || !AddStructurePage(library)) return nullptr;
  return FillSlot(library, &library->structure_pages.back()->front(), id + 1, name, hash);
}

GdxStructure* GdxFindStructureById(GdxLibrary* library, int32_t id) {
  if (library == nullptr || id < 1) return nullptr;
  const size_t page = static_cast<size_t>(id - 1) / kGdxStructuresPerPage;
  if (page >= library->structure_pages.size()) return nullptr;
  GdxStructure& slot = (*library->structure_pages[page])[(id - 1) % kGdxStructuresPerPage];
  return slot.name.empty() ? nullptr : &slot;
}

}  // namespace kavrinth
