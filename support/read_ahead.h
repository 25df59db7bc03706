// Reading a file's records batch by batch on a thread of its own, a few batches ahead of
// the caller, which takes them in the order they were read. The readers of large inputs
// use it so that parsing and what the caller does with the records run side by side.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace kavrinth {

template <typename Batch, size_t kSlots>
class ReadAhead {
 public:
  // fill(batch) fills a batch, reusing its room, and returns false when it holds the last
  // records (Next is then not called again).
  explicit ReadAhead(std::function<bool(Batch&)> fill) : fill_(std::move(fill)) {}
  ~ReadAhead() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    freed_.notify_one();
    thread_.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The batches, for the caller to give them room before Start.
  std::array<Batch, kSlots>& batches() { return slots_; }

  // Starts reading ahead on a thread; false when no thread can be started, and Next then
  // reads each batch on the caller's thread when it is asked for, as it does before Start.
  bool Start() {
    try {
      thread_ = std::thread([this] { Run(); });
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }

  // The next batch; the one handed out before is given back.
  const Batch& Next() {
    if (!thread_.joinable()) {
      fill_(slots_[0]);
      return slots_[0];
    }
    std::unique_lock<std::mutex> lock(mutex_);
    released_ = taken_;
    freed_.notify_one();
    filled_cv_.wait(lock, [this] { return filled_ > taken_; });
    return slots_[taken_++ % kSlots];
  }

 private:
  void Run() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      freed_.wait(lock, [this] { return stop_ || filled_ - released_ < kSlots; });
      if (stop_) return;
      Batch& batch = slots_[filled_ % kSlots];
      lock.unlock();
      const bool more = fill_(batch);
      lock.lock();
      ++filled_;
      filled_cv_.notify_one();
      if (!more) return;
    }
  }

  std::function<bool(Batch&)> fill_;
  std::array<Batch, kSlots> slots_;
  std::mutex mutex_;
  std::condition_variable filled_cv_;  // a batch was read
  std::condition_variable freed_;      // a batch was given back, or the reading is to stop
  uint64_t filled_ = 0;                // batches read
  uint64_t taken_ = 0;                 // batches handed out
  uint64_t released_ = 0;              // batches given back
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kavrinth
