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

std::vector<uint32_t> LockTable::Blockers(uint32_t owner, const LockRequest& request) const {
  std::vector<uint32_t> blockers;
  const auto it = held_.find(request.resource);
  if (it == held_.end()) return blockers;
  for (const auto& [other, holding] : it->second) {
    if (other == owner) continue;
    if (request.mode == LockMode::Exclusive || holding.mode == LockMode::Exclusive) blockers.push_back(other);
  }
  return blockers;
}

bool LockTable::Grantable(uint32_t owner, const LockRequest& request) const {
  return Blockers(owner, request).empty();
}

bool LockTable::WaitsOn(uint32_t owner, uint32_t victim, std::vector<uint32_t>& seen) const {
  const auto it = waiting_.find(owner);
  if (it == waiting_.end()) return false;
  for (const LockRequest& r : it->second) {
    for (uint32_t blocker : Blockers(owner, r)) {
      if (blocker == victim) return true;
      if (std::find(seen.begin(), seen.end(), blocker) != seen.end()) continue;
      seen.push_back(blocker);
      if (WaitsOn(blocker, victim, seen)) return true;
    }
  }
  return false;
}

LockWait LockTable::Acquire(uint32_t owner, const std::vector<LockRequest>& requests, int64_t timeoutMs,
                            const std::function<bool()>& cancelled) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max<int64_t>(timeoutMs, 0));
  std::unique_lock lock(mu_);
  struct NotWaiting {  // however the wait ends
    LockTable& table;
    uint32_t owner;
    ~NotWaiting() { table.waiting_.erase(owner); }
  } notWaiting{*this, owner};
  for (;;) {
    const bool all = std::all_of(requests.begin(), requests.end(),
                                 [&](const LockRequest& r) { return Grantable(owner, r); });
    if (all) break;
    waiting_[owner] = requests;
    std::vector<uint32_t> seen;
    if (WaitsOn(owner, owner, seen)) return LockWait::Deadlocked;
    if (timeoutMs >= 0 && Clock::now() >= deadline) return LockWait::TimedOut;
    auto until = Clock::now() + kCancelPoll;
    if (timeoutMs >= 0) until = std::min(until, deadline);
    changed_.wait_until(lock, until);
    if (cancelled) {
      bool stop = false;
      lock.unlock();  // cancelled() may read the socket: never under the mutex
      try {
        stop = cancelled();
      } catch (...) {
        lock.lock();
        throw;
      }
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
