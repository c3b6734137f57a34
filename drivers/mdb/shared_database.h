// One jet::Database per file for the whole process, shared by every connection to
// it, so that each statement sees what any connection did before it.
//
// A file whose last connection closes is flushed and kept open while idle: the
// converter connects, inserts one row and disconnects for every row, and reopening
// the file each time would re-read its catalog. Before an idle file is reused, its
// identity (device, inode, size, modification time) is compared with what it was
// after our last flush; if another program replaced or changed it, it is reopened.
//
// When the flushes wait for the disk: a converter that connects, inserts one row
// and disconnects for every row would pay one fdatasync (several milliseconds) per
// row. So a disconnect flushes with jet::Durability::Written: the pages are in the
// file, visible to every program and safe against a killed process, but their
// fdatasync waits for the next synced flush, at most a second later (the next
// disconnect after that second, at the latest when the file is closed). A commit
// (SQLEndTran) and the closing of a file sync at once.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "jet/jet.h"

namespace mdb {

struct OpenDatabase;

// A connection's use of a shared database. Statements lock() it for their run.
class DatabaseLease {
 public:
  DatabaseLease() = default;
  ~DatabaseLease();
  DatabaseLease(DatabaseLease&& other) noexcept;
  DatabaseLease& operator=(DatabaseLease&& other) noexcept;
  DatabaseLease(const DatabaseLease&) = delete;
  DatabaseLease& operator=(const DatabaseLease&) = delete;

  // Opens (or joins) the database at `path`. Throws jet::Error.
  static DatabaseLease Acquire(const std::string& path);

  explicit operator bool() const { return open_ != nullptr; }
  std::unique_lock<std::mutex> Lock() const;
  jet::Database& database() const;  // call with the lock held
  const std::string& path() const;

  // Writes everything to disk and waits for it (commit). Throws jet::Error.
  void Flush() const;
  // Flushes (the file is complete for every reader when this returns, its
  // fdatasync may come later, see above) and gives the
  // database up; throws jet::Error if the flush fails (the lease is released all
  // the same).
  void Release();

 private:
  explicit DatabaseLease(OpenDatabase* open) : open_(open) {}
  OpenDatabase* open_ = nullptr;
};

// Closes an idle database kept for `path` (CREATE_DB is about to make a new file there).
void ForgetIdleDatabase(const std::string& path);

// Canonical form of a path, used as the key of the shared databases.
std::string DatabaseKey(const std::string& path);

}  // namespace mdb
