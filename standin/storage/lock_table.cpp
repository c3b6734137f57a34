#include "storage/lock_table.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace standin {
namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// How often a waiting statement looks for the client's cancel.
constexpr std::chrono::milliseconds kCancelPoll{20};

}  // namespace

LockTable& LockTable::Server() {
  static LockTable table;
  return table;
}

std::string LockTable::TableResource(const std::string& database, const std::string& storedTable) {
  return Lower(database) + '\x1E' + Lower(storedTable);
}

std::string LockTable::WriterResource(const std::string& database) { return Lower(database) + '\x1E'; }

bool LockTable::Grantable(uint32_t owner, const LockRequest& request) const {
  const auto it = held_.find(request.resource);
  if (it == held_.end()) return true;
  for (const auto& [other, holding] : it->second) {
    if (other == owner) continue;
    if (request.mode == LockMode::Exclusive || holding.mode == LockMode::Exclusive) return false;
  }
  return true;
}

LockWait LockTable::Acquire(uint32_t owner, const std::vector<LockRequest>& requests, int64_t timeoutMs,
                            const std::function<bool()>& cancelled) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max<int64_t>(timeoutMs, 0));
  std::unique_lock lock(mu_);
  for (;;) {
    const bool all = std::all_of(requests.begin(), requests.end(),
                                 [&](const LockRequest& r) { return Grantable(owner, r); });
    if (all) break;
    if (timeoutMs >= 0 && Clock::now() >= deadline) return LockWait::TimedOut;
    auto until = Clock::now() + kCancelPoll;
    if (timeoutMs >= 0) until = std::min(until, deadline);
    changed_.wait_until(lock, until);
    if (cancelled) {
      lock.unlock();
      const bool stop = cancelled();  // may read the socket: never under the mutex
      lock.lock();
      if (stop) return LockWait::Cancelled;
    }
  }
  for (const LockRequest& r : requests) {
    auto [it, fresh] = held_[r.resource].try_emplace(owner, Holding{r.mode, r.duration});
    if (fresh) continue;
    Holding& h = it->second;
    if (r.mode == LockMode::Exclusive) h.mode = LockMode::Exclusive;
    if (r.duration == LockDuration::Transaction) h.duration = LockDuration::Transaction;
  }
  return LockWait::Granted;
}

void LockTable::Release(uint32_t owner, bool statementOnly) {
  std::lock_guard lock(mu_);
  bool any = false;
  for (auto it = held_.begin(); it != held_.end();) {
    const auto mine = it->second.find(owner);
    if (mine != it->second.end() && (!statementOnly || mine->second.duration == LockDuration::Statement)) {
      it->second.erase(mine);
      any = true;
    }
    it = it->second.empty() ? held_.erase(it) : std::next(it);
  }
  if (any) changed_.notify_all();
}

void LockTable::ReleaseStatementLocks(uint32_t owner) { Release(owner, true); }
void LockTable::ReleaseAll(uint32_t owner) { Release(owner, false); }

}  // namespace standin
