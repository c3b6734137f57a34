// The hand-over between the reading and the writing thread keeps to its bounds:
// blocks wait once the byte bound (or the block count) is reached, a single
// block larger than the byte bound still passes alone, and everything pushed
// before the end arrives in order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/block_queue.h"

namespace talvoro::engine {
namespace {

struct SizedBlock {
  int number = 0;
  std::size_t size = 0;
  std::size_t bytes() const { return size; }
  void ReleaseLargeBuffers() {}
};

// Pushes `block` on a thread of its own; `done` is set once the push returns.
std::thread PushLater(BlockQueue<SizedBlock>& queue, SizedBlock block, std::atomic<bool>& done) {
  return std::thread([&queue, block, &done] {
    queue.Push(block);
    done = true;
  });
}

bool StillWaiting(const std::atomic<bool>& done) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return !done;
}

TEST(BlockQueue, WaitsAtTheByteAndBlockBoundsAndLetsOneLargeBlockPass) {
  struct Case {
    const char* name;
    std::size_t maxBlocks, maxBytes;
    std::vector<std::size_t> queued;  // fit without waiting
    std::size_t next;                 // must wait for a Pop
  };
  const Case cases[] = {
      {"byte bound", 10, 100, {40, 40}, 30},
      {"block bound", 2, 1000, {1, 1}, 1},
      {"large block waits for an empty queue", 10, 100, {10, 10}, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BlockQueue<SizedBlock> queue(c.maxBlocks, c.maxBytes);
    int number = 0;
    for (std::size_t size : c.queued) ASSERT_TRUE(queue.Push(SizedBlock{++number, size}));
    std::atomic<bool> done{false};
    std::thread pusher = PushLater(queue, SizedBlock{++number, c.next}, done);
    EXPECT_TRUE(StillWaiting(done));
    SizedBlock popped;
    for (std::size_t i = 0; i < c.queued.size() && !done; ++i) {
      ASSERT_TRUE(queue.Pop(popped));
      EXPECT_EQ(popped.number, static_cast<int>(i) + 1);
    }
    pusher.join();
    queue.Finish(nullptr);
    std::vector<int> rest;
    while (queue.Pop(popped)) rest.push_back(popped.number);
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest.back(), number);
  }
}

TEST(BlockQueue, AStoppedConsumerReleasesAWaitingProducer) {
  BlockQueue<SizedBlock> queue(1, 100);
  ASSERT_TRUE(queue.Push(SizedBlock{1, 10}));
  bool accepted = true;
  std::thread pusher([&] { accepted = queue.Push(SizedBlock{2, 10}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  queue.Stop();
  pusher.join();
  EXPECT_FALSE(accepted);
}

}  // namespace
}  // namespace talvoro::engine
