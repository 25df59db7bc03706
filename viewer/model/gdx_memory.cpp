// The layout database's memory: tables of word blocks and library records, addressed by
// 32-bit handles (index + 1) so that stored words never hold pointers.
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "viewer/model/gdx_state.h"

namespace kavrinth {
namespace {

// Blocks come from calloc: large ones are fresh pages the system hands out zeroed, where
// a zero-filling new wrote every word of every data block of a load once more.
struct FreeWords {
  void operator()(GdxWord* words) const { std::free(words); }
};

struct Block {
  std::unique_ptr<GdxWord[], FreeWords> words;
  int32_t size = 0;
};

struct Tables {
  std::vector<Block> blocks;
  std::vector<GdxHandle> free_blocks;
  std::vector<std::unique_ptr<GdxLibrary>> libraries;
  std::vector<GdxHandle> free_libraries;
  int64_t bytes_allocated = 0;
  int64_t limit = -1;  // testing ceiling, in bytes counted from when it was set
  int64_t limit_base = 0;
};

Tables& Memory() {
  static Tables tables;
  return tables;
}

bool WithinLimit(int64_t bytes) {
  const Tables& t = Memory();
  return t.limit < 0 || t.bytes_allocated - t.limit_base + bytes <= t.limit;
}

// Takes a free index of a table, or grows the table: the handle, or 0.
template <typename T>
GdxHandle TakeSlot(std::vector<T>& table, std::vector<GdxHandle>& free_list) {
  if (!free_list.empty()) {
    const GdxHandle handle = free_list.back();
    free_list.pop_back();
    return handle;
  }
  if (table.size() >= std::numeric_limits<GdxHandle>::max() - 1) return kGdxNoHandle;
  table.emplace_back();
  return static_cast<GdxHandle>(table.size());
}

}  // namespace

GdxState gdx_state;

GdxHandle AllocateWords(int32_t words) {
  if (words <= 0) return kGdxNoHandle;
  const int64_t bytes = int64_t{words} * static_cast<int64_t>(sizeof(GdxWord));
  if (!WithinLimit(bytes)) return kGdxNoHandle;
  Tables& t = Memory();
  try {
    std::unique_ptr<GdxWord[], FreeWords> memory(
        static_cast<GdxWord*>(std::calloc(static_cast<size_t>(words), sizeof(GdxWord))));
    if (!memory) return kGdxNoHandle;
    const GdxHandle handle = TakeSlot(t.blocks, t.free_blocks);
    if (handle == kGdxNoHandle) return kGdxNoHandle;
    t.blocks[handle - 1] = Block{std::move(memory), words};
    t.bytes_allocated += bytes;
    return handle;
  } catch (const std::bad_alloc&) {
    return kGdxNoHandle;
  }
}

void ReleaseWords(GdxHandle handle) {
  Tables& t = Memory();
  if (handle == kGdxNoHandle || handle > t.blocks.size() || !t.blocks[handle - 1].words) return;
  t.blocks[handle - 1] = Block{};
  t.free_blocks.push_back(handle);
}

GdxHandle NewLibraryRecord() {
  Tables& t = Memory();
  if (!WithinLimit(sizeof(GdxLibrary))) return kGdxNoHandle;
  try {
    auto library = std::make_unique<GdxLibrary>();
    const GdxHandle handle = TakeSlot(t.libraries, t.free_libraries);
    if (handle == kGdxNoHandle) return kGdxNoHandle;
    library->handle = handle;
    t.libraries[handle - 1] = std::move(library);
    t.bytes_allocated += sizeof(GdxLibrary);
    return handle;
  } catch (const std::bad_alloc&) {
    return kGdxNoHandle;
  }
}

void ReleaseLibraryRecord(GdxHandle handle) {
  Tables& t = Memory();
  if (handle == kGdxNoHandle || handle > t.libraries.size() || !t.libraries[handle - 1]) return;
  t.libraries[handle - 1].reset();
  t.free_libraries.push_back(handle);
}

GdxWord* GdxBlockWords(GdxHandle handle) {
  Tables& t = Memory();
  if (handle == kGdxNoHandle || handle > t.blocks.size()) return nullptr;
  return t.blocks[handle - 1].words.get();
}

int32_t GdxBlockWordCount(GdxHandle handle) {
  Tables& t = Memory();
  if (handle == kGdxNoHandle || handle > t.blocks.size()) return 0;
  return t.blocks[handle - 1].size;
}

GdxHandle GdxAllocateBlock(int32_t words) { return AllocateWords(words); }

void GdxFreeBlock(GdxHandle handle) { ReleaseWords(handle); }

GdxLibrary* GdxLibraryFromHandle(GdxHandle handle) {
  Tables& t = Memory();
  if (handle == kGdxNoHandle || handle > t.libraries.size()) return nullptr;
  return t.libraries[handle - 1].get();
}

int64_t GdxBytesAllocated() { return Memory().bytes_allocated; }

void GdxResetBytesAllocated() {
  Tables& t = Memory();
  t.limit_base -= t.bytes_allocated;
  t.bytes_allocated = 0;
}

void GdxSetAllocationLimitForTesting(int64_t bytes) {
  Tables& t = Memory();
  t.limit = bytes;
  t.limit_base = t.bytes_allocated;
}

}  // namespace kavrinth
