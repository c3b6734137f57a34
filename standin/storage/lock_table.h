// Table locks of the whole server, as SQL Server's default READ COMMITTED
// (locking) isolation takes them: a reader holds a shared lock for its
// statement, a writer an exclusive lock to the end of its transaction, so a
// reader waits for a writer's uncommitted change instead of reading past it.
//
// SQLite underneath has one writer per file: every change to a database holds
// that database's writer resource (WriterResource) too, taken here with the
// table locks so that the wait for it is bounded and cancellable like any other
// and SQLite's own busy handler never has to wait.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

enum class LockMode { Shared, Exclusive };
enum class LockDuration { Statement, Transaction };

struct LockRequest {
  std::string resource;  // TableResource / WriterResource
  LockMode mode = LockMode::Shared;
  LockDuration duration = LockDuration::Statement;
};

// Deadlocked: the request would wait on sessions that (through others) wait on
// it; the requester is the victim, as SQL Server's deadlock monitor would
// choose when nothing else tells them apart.
enum class LockWait { Granted, TimedOut, Cancelled, Deadlocked };

class LockTable {
 public:
  // The one lock table of this server process.
  static LockTable& Server();

  static std::string TableResource(const std::string& database, const std::string& storedTable);
  static std::string WriterResource(const std::string& database);

  // Grants every request or none (a statement never waits while holding part of
  // what it asked for). A lock the owner already holds is kept, raised to the
  // stronger mode and the longer duration. Waits while another owner holds an
  // incompatible lock: until `timeoutMs` passes (-1: no limit, 0: no wait) or
  // `cancelled` (asked every few milliseconds, outside the table's mutex)
  // answers true.
  LockWait Acquire(uint32_t owner, const std::vector<LockRequest>& requests, int64_t timeoutMs,
                   const std::function<bool()>& cancelled);
  // Ends a statement: its statement-duration locks go.
  void ReleaseStatementLocks(uint32_t owner);
  // Ends a transaction or a session: every lock of the owner goes.
  void ReleaseAll(uint32_t owner);

 private:
  struct Holding {
    LockMode mode = LockMode::Shared;
    LockDuration duration = LockDuration::Statement;
  };
  bool Grantable(uint32_t owner, const LockRequest& request) const;
  // Owners holding a lock that keeps `owner` from `request`.
  std::vector<uint32_t> Blockers(uint32_t owner, const LockRequest& request) const;
  // Whether `owner` waits, directly or through other waiters, on `victim`.
  bool WaitsOn(uint32_t owner, uint32_t victim, std::vector<uint32_t>& seen) const;
  void Release(uint32_t owner, bool statementOnly);

  std::mutex mu_;
  std::condition_variable changed_;
  std::map<std::string, std::map<uint32_t, Holding>> held_;  // resource → owner → lock
  std::map<uint32_t, std::vector<LockRequest>> waiting_;      // owner → what it waits for
};

}  // namespace standin
