#include "shared_database.h"

#include "jet/database.h"  // the page limit of the test hook below

#include <dlfcn.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <map>

namespace mdb {

namespace {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

bool Identify(const std::string& path, FileIdentity& identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  identity.device = st.st_dev;
  identity.inode = st.st_ino;
  identity.size = st.st_size;
  identity.modified = st.st_mtim;
  return true;
}

// The driver manager unloads a driver when its last connection closes. Pinning the
// library keeps the shared databases (and their idle files) from one connection
// to the next, which is what makes a connection per row cheap.
[[gnu::constructor]] void PinDriverLibrary() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PinDriverLibrary), &info) && info.dli_fname)
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

// How many idle files stay open at most, and how many cached pages each keeps
// (catalog, table definitions, index paths, current data pages).
constexpr std::size_t kMaxIdle = 4;
constexpr std::size_t kIdleCachedPages = 64;

// Longest time pages written at a disconnect wait for their fdatasync (see
// shared_database.h).
constexpr std::chrono::milliseconds kMaxSyncDelay{1000};

using Clock = std::chrono::steady_clock;

// A test hook: tests reach the 2 GB limit in seconds by lowering it to the
// number of pages in TALVORO_MDB_TEST_PAGE_LIMIT. Nothing sets it in use.
void ApplyTestPageLimit(jet::Database& database) {
  const char* limit = std::getenv("TALVORO_MDB_TEST_PAGE_LIMIT");
  if (limit == nullptr) return;
  if (auto* jetDatabase = dynamic_cast<jet::JetDatabase*>(&database)) {
    jetDatabase->SetPageLimit(static_cast<std::uint32_t>(std::strtoul(limit, nullptr, 10)));
  }
}

}  // namespace

struct OpenDatabase {
  std::string key;
  std::unique_ptr<jet::Database> database;
  std::mutex mutex;  // serialises statements; the engine is single-threaded
  int users = 0;     // guarded by the registry's mutex
  FileIdentity identity;
  Clock::time_point lastSync = Clock::now();

  // Flushes; synced when asked, or when the last synced flush is too long ago.
  // A synced flush also syncs what earlier written-only flushes left; so does
  // closing the database (its destructor flushes synced). Call with `mutex` held.
  void Flush(bool durable) {
    bool sync = durable || Clock::now() - lastSync >= kMaxSyncDelay;
    database->Flush(sync ? jet::Durability::Synced : jet::Durability::Written);
    if (sync) lastSync = Clock::now();
  }
};

namespace {

class Registry {
 public:
  static Registry& Instance() {
    static Registry registry;
    return registry;
  }

  ~Registry() {
    // Idle files were flushed when they went idle; files still in use (an
    // application that never disconnected) get a last flush.
    for (auto& [key, open] : files_) {
      if (open->users > 0) {
        try {
          std::lock_guard<std::mutex> guard(open->mutex);
          open->Flush(true);
        } catch (...) {
        }
      }
    }
  }

  OpenDatabase* Acquire(const std::string& path) {
    std::string key = DatabaseKey(path);
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = files_.find(key);
    if (it != files_.end()) {
      OpenDatabase* open = it->second.get();
      if (open->users == 0) {
        FileIdentity now;
        if (!Identify(key, now) || !(now == open->identity)) {
          idle_.remove(open);
          files_.erase(it);
          return OpenNew(key, path);
        }
        idle_.remove(open);
      }
      ++open->users;
      return open;
    }
    return OpenNew(key, path);
  }

  // Called with the open database flushed and its lock released.
  void Release(OpenDatabase* open) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (--open->users > 0) return;
    if (!Identify(open->key, open->identity)) {
      files_.erase(open->key);
      return;
    }
    // Nobody uses it now (users is guarded by this mutex): an idle file keeps
    // only the pages a next connection needs first.
    open->database->TrimCache(kIdleCachedPages);
    idle_.push_back(open);
    while (idle_.size() > kMaxIdle) {
      OpenDatabase* oldest = idle_.front();
      idle_.pop_front();
      files_.erase(oldest->key);
    }
  }

  // A flush failed: the copy in memory may differ from the file, so it is not kept.
  void Discard(OpenDatabase* open) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (--open->users > 0) return;
    idle_.remove(open);
    files_.erase(open->key);
  }

  void ForgetIdle(const std::string& path) {
    std::string key = DatabaseKey(path);
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = files_.find(key);
    if (it != files_.end() && it->second->users == 0) {
      idle_.remove(it->second.get());
      files_.erase(it);
    }
  }

 private:
  OpenDatabase* OpenNew(const std::string& key, const std::string& path) {
    auto open = std::make_unique<OpenDatabase>();
    open->key = key;
    open->database = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    ApplyTestPageLimit(*open->database);
    open->users = 1;
    OpenDatabase* result = open.get();
    files_[key] = std::move(open);
    return result;
  }

  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<OpenDatabase>> files_;
  std::list<OpenDatabase*> idle_;  // least recently used first
};

}  // namespace

std::string DatabaseKey(const std::string& path) {
  std::error_code error;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

DatabaseLease::~DatabaseLease() {
  try {
    Release();
  } catch (...) {
  }
}

DatabaseLease::DatabaseLease(DatabaseLease&& other) noexcept : open_(other.open_) {
  other.open_ = nullptr;
}

DatabaseLease& DatabaseLease::operator=(DatabaseLease&& other) noexcept {
  if (this != &other) {
    try {
      Release();
    } catch (...) {
    }
    open_ = other.open_;
    other.open_ = nullptr;
  }
  return *this;
}

DatabaseLease DatabaseLease::Acquire(const std::string& path) {
  return DatabaseLease(Registry::Instance().Acquire(path));
}

std::unique_lock<std::mutex> DatabaseLease::Lock() const { return std::unique_lock(open_->mutex); }

jet::Database& DatabaseLease::database() const { return *open_->database; }

const std::string& DatabaseLease::path() const { return open_->key; }

void DatabaseLease::Flush() const {
  std::lock_guard<std::mutex> guard(open_->mutex);
  open_->Flush(true);
}

void DatabaseLease::Release() {
  if (!open_) return;
  OpenDatabase* open = open_;
  open_ = nullptr;
  try {
    std::lock_guard<std::mutex> guard(open->mutex);
    open->Flush(false);
  } catch (...) {
    Registry::Instance().Discard(open);
    throw;
  }
  Registry::Instance().Release(open);
}

void ForgetIdleDatabase(const std::string& path) { Registry::Instance().ForgetIdle(path); }

}  // namespace mdb
