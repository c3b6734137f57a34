// A bounded hand-over of blocks of rows from the thread that reads the source
// to the thread that writes them into the destination. Rows travel in blocks so
// that the two threads meet rarely; at most `maxBlocks` blocks and `maxBytes`
// bytes of them wait at a time (a single block may pass the byte bound), so
// memory stays flat however long the table. The bound is generous enough that
// either thread can lose its core for a scheduler's time slice without the
// other running dry. Spent blocks come back as spares, so their buffers are
// reused.
//
// REQUIRES of Block: movable, default-constructible, a member
// `std::size_t bytes() const` (the memory it holds), and a member
// `void ReleaseLargeBuffers()` that gives back what an exceptionally large
// row needed, keeping the room ordinary rows take.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <vector>

namespace talvoro::engine {

template <typename Block>
class BlockQueue {
 public:
  BlockQueue(std::size_t maxBlocks, std::size_t maxBytes) : maxBlocks_(maxBlocks), maxBytes_(maxBytes) {}

  // Producer: false when the consumer has stopped (the block is dropped).
  bool Push(Block block) {
    const std::size_t bytes = block.bytes();
    std::unique_lock<std::mutex> lock(mu_);
    changed_.wait(lock, [&] {
      const std::size_t waiting = blocks_.size() - head_;
      return stopped_ || waiting == 0 || (waiting < maxBlocks_ && bytes_ + bytes <= maxBytes_);
    });
    if (stopped_) return false;
    if (head_ > 0 && head_ == blocks_.size()) {
      blocks_.clear();
      head_ = 0;
    }
    bytes_ += bytes;
    blocks_.push_back(std::move(block));
    changed_.notify_all();
    return true;
  }

  // Producer: no more blocks; `failure` (may be null) ends the stream with an error.
  void Finish(std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(mu_);
    finished_ = true;
    failure_ = failure;
    changed_.notify_all();
  }

  // Consumer: the next block; false at the end of the stream. Blocks pushed
  // before a failure are all delivered before `failure()` is reported.
  bool Pop(Block& block) {
    std::unique_lock<std::mutex> lock(mu_);
    changed_.wait(lock, [this] { return finished_ || head_ < blocks_.size(); });
    if (head_ == blocks_.size()) return false;
    block = std::move(blocks_[head_++]);
    bytes_ -= block.bytes();
    changed_.notify_all();
    return true;
  }

  std::exception_ptr failure() const {
    std::lock_guard<std::mutex> lock(mu_);
    return failure_;
  }

  // Consumer: tells the producer to stop.
  void Stop() {
    std::lock_guard<std::mutex> lock(mu_);
    stopped_ = true;
    changed_.notify_all();
  }

  // A spent block, kept so that its buffers are reused; else a new one.
  Block TakeSpare() {
    std::lock_guard<std::mutex> lock(mu_);
    if (spares_.empty()) return Block{};
    Block block = std::move(spares_.back());
    spares_.pop_back();
    return block;
  }

  void ReturnSpare(Block block) {
    block.ReleaseLargeBuffers();
    std::lock_guard<std::mutex> lock(mu_);
    if (spares_.size() < maxBlocks_ + 2) spares_.push_back(std::move(block));
  }

 private:
  const std::size_t maxBlocks_;
  const std::size_t maxBytes_;
  mutable std::mutex mu_;
  std::condition_variable changed_;
  std::vector<Block> blocks_;  // FIFO: front is blocks_[head_]
  std::size_t head_ = 0;
  std::size_t bytes_ = 0;  // held by the waiting blocks
  std::vector<Block> spares_;
  bool finished_ = false;
  bool stopped_ = false;
  std::exception_ptr failure_;
};

}  // namespace talvoro::engine
