// The staged pipeline gives what a run without threads gives, also where no thread can be
// started.
#include "support/ordered_pipeline.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

// Runs 40 batches of 1 to 50 numbers through two stages, each of which changes every
// number in its parallel part and writes the batch in its ordered part, and returns what
// the ordered parts wrote. The first stage stops the pipeline at batch `stop_at`; the
// second writes only the batches the first has written.
std::string RunBatches(int workers, size_t stop_at) {
  constexpr size_t kSlots = 6;
  std::vector<std::vector<uint32_t>> numbers(kSlots, std::vector<uint32_t>(50));
  std::vector<size_t> sizes(kSlots), batches(kSlots);
  std::vector<char> written(kSlots);
  std::string first, second;
  std::vector<OrderedPipeline::Stage> stages(2);
  stages[0].parallel = [&](size_t slot, size_t item) { numbers[slot][item] *= 2654435761u; };
  stages[0].ordered = [&](size_t slot) {
    first += std::to_string(sizes[slot]) + ":" + std::to_string(numbers[slot][0]) + "\n";
    written[slot] = 1;
    return batches[slot] != stop_at;
  };
  stages[1].parallel = [&](size_t slot, size_t item) {
    numbers[slot][item] ^= numbers[slot][item] >> 13;
  };
  stages[1].ordered = [&](size_t slot) {
    if (!written[slot]) return true;
    for (size_t i = 0; i < sizes[slot]; ++i) second += std::to_string(numbers[slot][i]) + " ";
    second += "\n";
    return true;
  };
  OrderedPipeline pipeline(workers, kSlots, std::move(stages));
  uint32_t next = 1;
  for (size_t batch = 0; batch < 40; ++batch) {
    if (!pipeline.Acquire()) break;
    const size_t slot = pipeline.current();
    batches[slot] = batch;
    written[slot] = 0;
    sizes[slot] = batch * 7 % 50 + 1;
    for (size_t i = 0; i < sizes[slot]; ++i) numbers[slot][i] = next++;
    if (!pipeline.Submit(sizes[slot])) break;
  }
  const bool drained = pipeline.Drain();
  pipeline.Settle();
  return first + second + (drained ? "drained" : "stopped");
}

// In the child of RunUnprivileged, after ForbidNewThreads: raises the limit on the user's
// processes one by one until a thread starts, which leaves room for one thread more.
bool AllowOneMoreThread() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NPROC, &limit) != 0) return false;
  for (rlim_t processes = 1; processes < 4096 && processes <= limit.rlim_max; ++processes) {
    limit.rlim_cur = processes;
    if (::setrlimit(RLIMIT_NPROC, &limit) != 0) return false;
    try {
      std::thread([] {}).join();
    } catch (const std::system_error&) {
      continue;
    }
    // The thread's process slot is given back a moment after it is joined.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return true;
  }
  return false;
}

TEST(OrderedPipelineTest, WithoutThreadsToBeHadTheBatchesRunOnTheCallersThread) {
  for (const size_t stop_at : {size_t{99}, size_t{17}}) {
    SCOPED_TRACE(stop_at);
    const std::string alone = RunBatches(0, stop_at);
    ASSERT_GT(alone.size(), 2000u);
    EXPECT_EQ(alone.ends_with(stop_at < 40 ? "stopped" : "drained"), true);
    EXPECT_EQ(RunBatches(4, stop_at), alone);
    // No thread at all, and one thread (the first stage's) before the others fail.
    for (const bool one_thread : {false, true}) {
      SCOPED_TRACE(one_thread);
      EXPECT_EQ(test_support::RunUnprivileged([&] {
                  return test_support::ForbidNewThreads() &&
                         (!one_thread || AllowOneMoreThread()) && RunBatches(4, stop_at) == alone;
                }),
                true);
    }
  }
}

}  // namespace
}  // namespace kavrinth
