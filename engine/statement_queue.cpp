#include "statement_queue.h"

namespace talvoro::engine {

bool StatementQueue::Push(StatementBlock block) {
  std::unique_lock<std::mutex> lock(mu_);
  changed_.wait(lock, [this] { return stopped_ || blocks_.size() - head_ < maxBlocks_; });
  if (stopped_) return false;
  if (head_ > 0 && head_ == blocks_.size()) {
    blocks_.clear();
    head_ = 0;
  }
  blocks_.push_back(std::move(block));
  changed_.notify_all();
  return true;
}

void StatementQueue::Finish(std::exception_ptr failure) {
  std::lock_guard<std::mutex> lock(mu_);
  finished_ = true;
  failure_ = failure;
  changed_.notify_all();
}

bool StatementQueue::Pop(StatementBlock& block) {
  std::unique_lock<std::mutex> lock(mu_);
  changed_.wait(lock, [this] { return finished_ || head_ < blocks_.size(); });
  if (head_ == blocks_.size()) return false;
  block = std::move(blocks_[head_++]);
  changed_.notify_all();
  return true;
}

std::exception_ptr StatementQueue::failure() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failure_;
}

void StatementQueue::Stop() {
  std::lock_guard<std::mutex> lock(mu_);
  stopped_ = true;
  changed_.notify_all();
}

bool StatementQueue::stopped() const {
  std::lock_guard<std::mutex> lock(mu_);
  return stopped_;
}

StatementBlock StatementQueue::TakeSpare() {
  std::lock_guard<std::mutex> lock(mu_);
  if (spares_.empty()) return {};
  StatementBlock block = std::move(spares_.back());
  spares_.pop_back();
  return block;
}

void StatementQueue::ReturnSpare(StatementBlock block) {
  // Room for an ordinary row is kept; what a large value needed is given back.
  constexpr std::size_t kKeptCapacity = 4096;
  for (std::string& statement : block) {
    if (statement.capacity() > kKeptCapacity) std::string().swap(statement);
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (spares_.size() < maxBlocks_ + 2) spares_.push_back(std::move(block));
}

}  // namespace talvoro::engine
