#include "deferred_sync.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

thread_local bool t_deferring = false;
thread_local bool t_skipped = false;

}  // namespace

// The engine's calls arrive here (-Wl,--wrap=fdatasync on the driver's link).
extern "C" int __real_fdatasync(int fd);
extern "C" int __wrap_fdatasync(int fd) {
  if (t_deferring) {
    t_skipped = true;
    return 0;
  }
  return __real_fdatasync(fd);
}

namespace mdb {

DeferredSyncScope::DeferredSyncScope() {
  t_deferring = true;
  t_skipped = false;
}

DeferredSyncScope::~DeferredSyncScope() { t_deferring = false; }

bool DeferredSyncScope::syncSkipped() const { return t_skipped; }

void SyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::close(fd);
}

}  // namespace mdb
