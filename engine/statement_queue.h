// A bounded hand-over of statement texts from the thread that reads the source
// rows to the thread that executes them on the destination. Statements travel
// in blocks so that the two threads meet rarely; at most `maxBlocks` blocks
// wait at a time, so memory stays flat however long the table.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace talvoro::engine {

using StatementBlock = std::vector<std::string>;

class StatementQueue {
 public:
  explicit StatementQueue(std::size_t maxBlocks) : maxBlocks_(maxBlocks) {}

  // Producer: false when the consumer has stopped (the block is dropped).
  bool Push(StatementBlock block);
  // Producer: no more blocks; `failure` (may be null) ends the stream with an error.
  void Finish(std::exception_ptr failure);

  // Consumer: the next block; false at the end of the stream. Blocks pushed
  // before a failure are all delivered before `failure()` is reported.
  bool Pop(StatementBlock& block);
  std::exception_ptr failure() const;
  // Consumer: tells the producer to stop.
  void Stop();
  // Producer: whether the consumer has stopped.
  bool stopped() const;

  // A spent block, kept so its strings' capacity is reused.
  StatementBlock TakeSpare();
  void ReturnSpare(StatementBlock block);

 private:
  const std::size_t maxBlocks_;
  mutable std::mutex mu_;
  std::condition_variable changed_;
  std::vector<StatementBlock> blocks_;  // FIFO: front is blocks_[head_]
  std::size_t head_ = 0;
  std::vector<StatementBlock> spares_;
  bool finished_ = false;
  bool stopped_ = false;
  std::exception_ptr failure_;
};

}  // namespace talvoro::engine
