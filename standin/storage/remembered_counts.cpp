#include "storage/remembered_counts.h"

#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace standin {
namespace {

// SQLite's own automatic checkpoint threshold (pages in the WAL file).
constexpr int kCheckpointFrames = 1000;

struct Remembered {
  std::uint64_t generation;
  std::int64_t value;
};

struct Registry {
  std::mutex mu;
  // Per file: how many commits the hook has seen.
  std::map<std::string, std::uint64_t> generations;
  // Files a connection writes without the hook (not in WAL mode): never remembered.
  std::set<std::string> unwatched;
  std::map<std::pair<std::string, std::string>, Remembered> counts;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // used by connections until the process ends
  return *registry;
}

std::string FileOf(sqlite3* db, const char* schema) {
  const char* file = sqlite3_db_filename(db, schema);
  return file ? file : "";
}

// Called after a commit is in the WAL and visible to every reader (once per
// file the transaction wrote, an attached one too), so that a count taken
// afterwards sees it.
int AfterCommit(void*, sqlite3* db, const char* schema, int frames) {
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mu);
    ++registry.generations[FileOf(db, schema)];
  }
  if (frames >= kCheckpointFrames) sqlite3_wal_checkpoint(db, schema);
  return SQLITE_OK;
}

bool WritesThroughWal(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  bool wal = false;
  if (sqlite3_prepare_v2(db, "PRAGMA main.journal_mode", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    const auto* mode = sqlite3_column_text(stmt, 0);
    wal = mode && std::string(reinterpret_cast<const char*>(mode)) == "wal";
  }
  sqlite3_finalize(stmt);
  return wal;
}

}  // namespace

void ForgetCountsOnCommit(sqlite3* db) {
  const std::string file = FileOf(db, "main");
  if (file.empty()) return;  // in memory: nothing is remembered for it
  Registry& registry = TheRegistry();
  if (!WritesThroughWal(db)) {
    std::lock_guard lock(registry.mu);
    registry.unwatched.insert(file);
    return;
  }
  sqlite3_wal_hook(db, AfterCommit, nullptr);
}

std::optional<std::int64_t> RememberedCount(sqlite3* db, const std::string& key,
                                            const std::function<std::optional<std::int64_t>()>& count) {
  const std::string file = FileOf(db, "main");
  if (file.empty() || !sqlite3_get_autocommit(db)) return count();
  Registry& registry = TheRegistry();
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(registry.mu);
    if (registry.unwatched.count(file)) return count();
    // Read before counting: a commit meanwhile makes what is counted look old.
    generation = registry.generations[file];
    auto it = registry.counts.find({file, key});
    if (it != registry.counts.end() && it->second.generation == generation) return it->second.value;
  }
  const std::optional<std::int64_t> value = count();
  if (value) {
    std::lock_guard lock(registry.mu);
    registry.counts[{file, key}] = Remembered{generation, *value};
  }
  return value;
}

}  // namespace standin
