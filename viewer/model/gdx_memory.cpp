// The layout database's memory: tables of word blocks and library records, addressed by
// 32-bit handles (index + 1) so that stored words never hold pointers, and the blocks a
// large load has made ahead.
#include <array>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "viewer/model/gdx_state.h"

namespace kavrinth {
namespace {

// Blocks come from calloc: large ones are fresh pages the system hands out zeroed, where
// a zero-filling new wrote every word of every data block of a load once more.
struct FreeWords {
  void operator()(GdxWord* words) const { std::free(words); }
};

using Words = std::unique_ptr<GdxWord[], FreeWords>;

struct Block {
  Words words;
  int32_t size = 0;
};

// Zero-filled words whose pages the system has already supplied: each page is written once
// (with the zero it holds), so that whoever takes the block does not wait for the system.
Words PreparedWords(int32_t count) {
  Words words(static_cast<GdxWord*>(std::calloc(static_cast<size_t>(count), sizeof(GdxWord))));
  if (!words) return words;
  volatile GdxWord* touch = words.get();
  constexpr int32_t kWordsPerPage = 4096 / sizeof(GdxWord);
  for (int32_t i = 0; i < count; i += kWordsPerPage) touch[i] = 0;
  touch[count - 1] = 0;
  return words;
}

}  // namespace

// A few blocks of the sizes a load takes most, made ahead on a thread of their own.
class GdxBlockMaker::Reserve {
 public:
  Reserve() {
    thread_ = std::thread([this] { Run(); });
  }
  ~Reserve() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wanted_.notify_one();
    thread_.join();
  }

  // A prepared block of the size, or null when none is ready.
  Words Take(int32_t words) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Shelf& shelf : shelves_) {
      if (shelf.words != words || shelf.ready.empty()) continue;
      Words block = std::move(shelf.ready.back());
      shelf.ready.pop_back();
      wanted_.notify_one();
      return block;
    }
    return nullptr;
  }

 private:
  struct Shelf {
    int32_t words;
    size_t keep;
    std::vector<Words> ready;
  };

  Shelf* Missing() {
    for (Shelf& shelf : shelves_) {
      if (shelf.ready.size() < shelf.keep) return &shelf;
    }
    return nullptr;
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wanted_.wait(lock, [this] { return stop_ || Missing() != nullptr; });
      if (stop_) return;
      Shelf* shelf = Missing();
      const int32_t words = shelf->words;
      lock.unlock();
      Words block = PreparedWords(words);
      lock.lock();
      // Out of memory: the load meets it itself, without a block made ahead.
      if (!block) return;
      shelf->ready.push_back(std::move(block));
    }
  }

  std::mutex mutex_;
  std::condition_variable wanted_;  // a block was taken, or the thread is to stop
  std::array<Shelf, 2> shelves_{{{kGdxDataBlockWords, 4, {}}, {kGdxIndexPageWords, 2, {}}}};
  bool stop_ = false;
  std::thread thread_;
};

namespace {

struct Tables {
  std::vector<Block> blocks;
  std::vector<GdxHandle> free_blocks;
  std::vector<std::unique_ptr<GdxLibrary>> libraries;
  std::vector<GdxHandle> free_libraries;
  int64_t bytes_allocated = 0;
  int64_t limit = -1;  // testing ceiling, in bytes counted from when it was set
  int64_t limit_base = 0;
  GdxBlockMaker::Reserve* reserve = nullptr;  // blocks made ahead, while a maker lives
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
    Words memory = t.reserve != nullptr ? t.reserve->Take(words) : nullptr;
    if (!memory) {
      memory.reset(static_cast<GdxWord*>(std::calloc(static_cast<size_t>(words), sizeof(GdxWord))));
    }
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

GdxBlockMaker::GdxBlockMaker() {
  Tables& t = Memory();
  if (t.reserve != nullptr) return;
  try {
    reserve_ = std::make_unique<Reserve>();
    t.reserve = reserve_.get();
  } catch (const std::system_error&) {
    // No thread to be had: blocks are made when they are taken.
  }
}

GdxBlockMaker::~GdxBlockMaker() {
  if (reserve_ != nullptr) Memory().reserve = nullptr;
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
