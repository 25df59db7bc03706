// The staged pipeline of the parallel passes.
#include "support/ordered_pipeline.h"

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <system_error>

namespace kavrinth {

namespace {

// Items are taken a few at a time: one item is often only a few microseconds of work.
constexpr size_t kChunk = 16;

// Wakes as many workers as can take a part of `items` new items.
void WakeWorkers(std::condition_variable& ready, size_t items) {
  if (items <= kChunk) {
    ready.notify_one();
  } else {
    ready.notify_all();
  }
}

}  // namespace

OrderedPipeline::OrderedPipeline(int workers, size_t slots, std::vector<Stage> stages)
    : stages_(std::move(stages)),
      slots_(workers > 0 ? std::max<size_t>(slots, 2) : 1),
      batch_ready_(stages_.size()),
      next_ordered_(stages_.size(), 0) {
  if (workers <= 0) return;
  threads_.reserve(static_cast<size_t>(workers) + stages_.size());
  try {
    for (size_t stage = 0; stage < stages_.size(); ++stage) {
      threads_.emplace_back([this, stage] { OrderedLoop(stage); });
    }
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { WorkerLoop(); });
  } catch (const std::system_error&) {
    RunWithoutWorkers();
  } catch (const std::bad_alloc&) {
    RunWithoutWorkers();
  }
}

// A thread could not be started (a limit on processes, or no memory for its stack): the
// threads started so far stop, and every batch runs on the caller's thread, with the
// same result.
void OrderedPipeline::RunWithoutWorkers() {
  StopThreads();
  threads_.clear();
  shutdown_ = false;
  slots_.assign(1, Slot{});
}

void OrderedPipeline::StopThreads() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = true;
  }
  work_ready_.notify_all();
  for (std::condition_variable& ready : batch_ready_) ready.notify_all();
  slot_released_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

OrderedPipeline::~OrderedPipeline() { StopThreads(); }

bool OrderedPipeline::Acquire() {
  std::unique_lock<std::mutex> lock(mutex_);
  slot_released_.wait(lock, [this] { return stop_ || submitted_ - released_ < slots_.size(); });
  return !stop_;
}

bool OrderedPipeline::Submit(size_t items) {
  if (threads_.empty()) {
    // One thread: every stage now, on this thread. As with workers, the batch that
    // stops the pipeline still goes through the later stages.
    if (stop_) return false;
    const size_t slot = current();
    ++submitted_;
    for (const Stage& stage : stages_) {
      if (stage.parallel) {
        for (size_t i = 0; i < items; ++i) stage.parallel(slot, i);
      }
      if (stage.ordered && !stage.ordered(slot)) stop_ = true;
    }
    ++released_;
    return !stop_;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return false;
    Slot& slot = slots_[current()];
    slot.sequence = submitted_;
    slot.stage = 0;
    slot.items = items;
    slot.claimed = slot.done = stages_[0].parallel ? 0 : items;
    ++submitted_;
  }
  if (stages_[0].parallel && items > 0) {
    WakeWorkers(work_ready_, items);
  } else {
    batch_ready_[0].notify_one();
  }
  return true;
}

bool OrderedPipeline::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  slot_released_.wait(lock, [this] { return stop_ || released_ == submitted_; });
  return !stop_;
}

void OrderedPipeline::Settle() {
  std::unique_lock<std::mutex> lock(mutex_);
  slot_released_.wait(lock, [this] { return shutdown_ || released_ == submitted_; });
}

// Under the lock: a few items of the oldest batch whose parallel part has items left.
bool OrderedPipeline::TakeItems(size_t* slot_index, size_t* first, size_t* last) {
  for (uint64_t batch = released_; batch < submitted_; ++batch) {
    const size_t index = static_cast<size_t>(batch % slots_.size());
    Slot& slot = slots_[index];
    if (slot.claimed < slot.items) {
      *slot_index = index;
      *first = slot.claimed;
      *last = std::min(slot.items, slot.claimed + kChunk);
      slot.claimed = *last;
      return true;
    }
  }
  return false;
}

void OrderedPipeline::WorkerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    size_t index = 0, first = 0, last = 0;
    work_ready_.wait(lock, [&] { return shutdown_ || TakeItems(&index, &first, &last); });
    if (shutdown_) return;
    const size_t stage = slots_[index].stage;
    lock.unlock();
    // After a stop the items are still worked on (and dropped by the ordered parts) so
    // that every batch moves on.
    for (size_t item = first; item < last; ++item) stages_[stage].parallel(index, item);
    lock.lock();
    Slot& slot = slots_[index];
    slot.done += last - first;
    if (slot.done == slot.items) batch_ready_[stage].notify_one();
  }
}

void OrderedPipeline::OrderedLoop(size_t stage) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    size_t index = 0;
    batch_ready_[stage].wait(lock, [&] {
      if (shutdown_) return true;
      const uint64_t batch = next_ordered_[stage];
      if (batch >= submitted_) return false;
      index = static_cast<size_t>(batch % slots_.size());
      const Slot& slot = slots_[index];
      return slot.sequence == batch && slot.stage == stage && slot.done == slot.items;
    });
    if (shutdown_) return;
    // After a stop the first stage passes batches on untouched; later stages still
    // finish what the first stage did before it stopped.
    const bool skip = stop_ && stage == 0;
    lock.unlock();
    const bool keep_going = skip || !stages_[stage].ordered || stages_[stage].ordered(index);
    lock.lock();
    if (!keep_going) stop_ = true;
    ++next_ordered_[stage];
    Slot& slot = slots_[index];
    if (stage + 1 < stages_.size()) {
      slot.stage = stage + 1;
      const bool parallel = stages_[stage + 1].parallel && slot.items > 0;
      slot.claimed = slot.done = parallel ? 0 : slot.items;
      if (parallel) {
        WakeWorkers(work_ready_, slot.items);
      } else {
        batch_ready_[stage + 1].notify_one();
      }
    } else {
      ++released_;
      slot_released_.notify_all();
    }
    if (stop_) slot_released_.notify_all();
  }
}

int WorkerThreadCount(int requested, const char* variable) {
  constexpr int kMost = 64;
  if (requested > 0) return std::min(requested, kMost);
  if (const char* value = std::getenv(variable)) {
    char* end = nullptr;
    const long threads = std::strtol(value, &end, 10);
    if (end != value && *end == '\0' && threads > 0) {
      return static_cast<int>(std::min<long>(threads, kMost));
    }
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::clamp(CPU_COUNT(&set), 1, kMost);
  const unsigned hardware = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(hardware), 1, kMost);
}

}  // namespace kavrinth
