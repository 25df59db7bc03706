// Runs batches of work items through a chain of stages. Each stage has a parallel part,
// in which a shared pool of threads takes the items of a batch in any order, and an
// ordered part, in which one thread per stage takes the batches one after the other in
// the order they were submitted. What the ordered parts do (writing, logging, calls
// into a library) therefore happens in the same order as in a run without threads,
// while the parallel parts, the other stages and the filling of the next batch go on at
// the same time.
//
// Without workers (one thread, or when no thread can be started) a submitted batch runs
// through every stage at once on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kavrinth {

class OrderedPipeline {
 public:
  struct Stage {
    // Works on one item of the batch in the slot (may be empty).
    std::function<void(size_t slot, size_t item)> parallel;
    // Works on the whole batch; false stops the pipeline: the first stage then passes
    // later batches on without working on them.
    std::function<bool(size_t slot)> ordered;
  };

  // workers: threads of the parallel parts (0: none, all work on the caller's thread, as
  // when the threads cannot all be started);
  // slots: batches that can be in flight at once (at least 2 with workers).
  OrderedPipeline(int workers, size_t slots, std::vector<Stage> stages);
  // Stops (dropping batches not yet through every stage) and joins the threads.
  ~OrderedPipeline();
  OrderedPipeline(const OrderedPipeline&) = delete;
  OrderedPipeline& operator=(const OrderedPipeline&) = delete;

  // The slot the caller fills next; it is free once Acquire has returned true.
  size_t current() const { return static_cast<size_t>(submitted_ % slots_.size()); }
  // Waits until the current slot is free. False when the pipeline has stopped.
  bool Acquire();
  // Hands the current slot, holding `items` items, to the first stage and moves on to
  // the next slot. False when the pipeline has stopped.
  bool Submit(size_t items);
  // Waits until every submitted batch has been through every stage. False when the
  // pipeline has stopped.
  bool Drain();
  // Waits until every submitted batch has left the last stage, after a stop too (the
  // later stages then finish what the first stage did before it stopped).
  void Settle();

 private:
  struct Slot {
    uint64_t sequence = 0;
    size_t stage = 0;  // the stage the batch is in
    size_t items = 0;
    size_t claimed = 0;  // items of the stage's parallel part taken by a worker
    size_t done = 0;     // and finished
  };
  void RunWithoutWorkers();
  void StopThreads();
  void WorkerLoop();
  void OrderedLoop(size_t stage);
  bool TakeItems(size_t* slot, size_t* first, size_t* last);

  std::vector<Stage> stages_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable work_ready_;                // workers: a batch has items to take
  std::vector<std::condition_variable> batch_ready_;  // per stage: its next batch may be done
  std::condition_variable slot_released_;             // the caller: a batch left the last stage
  uint64_t submitted_ = 0;                            // batches handed over
  uint64_t released_ = 0;                             // batches through every stage
  std::vector<uint64_t> next_ordered_;  // per stage: the next batch for its ordered part
  bool stop_ = false;                   // an ordered part gave false
  bool shutdown_ = false;               // the destructor runs
  std::vector<std::thread> threads_;
};

// The threads a parallel pass uses: `requested` when above 0, else the value of the
// environment variable `variable` when it is a number above 0, else the processors this
// process may run on. Never more than 64.
int WorkerThreadCount(int requested, const char* variable);

}  // namespace kavrinth
