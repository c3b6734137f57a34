// When the engine's flushes wait for the disk.
//
// jet::Database::Flush writes every changed page in an order that keeps the file
// valid for readers and for a killed process at every instant, and then calls
// fdatasync so that the pages also survive a power failure. A converter that
// connects, inserts one row and disconnects for every row would pay one
// fdatasync (several milliseconds) per row. So the driver links the engine with
// -Wl,--wrap=fdatasync and decides here: a flush at disconnect writes the pages
// (visible to every program at once) but leaves the sync for later, at most one
// second later; a commit (SQLEndTran) and the closing of a file sync at once.
#pragma once

#include <string>

namespace mdb {

// While one of these lives, the engine's fdatasync calls on this thread are
// recorded instead of made.
class DeferredSyncScope {
 public:
  DeferredSyncScope();
  ~DeferredSyncScope();
  DeferredSyncScope(const DeferredSyncScope&) = delete;
  DeferredSyncScope& operator=(const DeferredSyncScope&) = delete;
  // True when the engine asked for a sync inside this scope.
  bool syncSkipped() const;
};

// Makes the file's written pages durable (fdatasync on a descriptor of our own).
void SyncFile(const std::string& path);

}  // namespace mdb
