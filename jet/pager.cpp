#include "jet/pager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "jet/format.h"
#include "jet/jet.h"

namespace jet {
namespace {

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path) {
  throw Error(ErrorCode::Io, what + " '" + path + "': " + std::strerror(errno));
}

// Old pages other than the commit pages go out before them: long values no row
// points to yet, then rows, then usage maps (spare rows, the global map). Index
// pages are never written over (changed trees move to new pages); one that is
// found dirty here goes last, after the definitions, as before.
int WriteRank(const std::uint8_t* page) {
  using namespace format;
  switch (page[0]) {
    case kPageData: {
      std::uint32_t owner = Get32(page + 4);
      if (owner == 0x4C41564C) return 0;    // "LVAL": long values
      if (owner == 0 || owner == 1) return 2;  // usage-map rows, global map
      return 1;                                // table rows
    }
    case kPageUsageBitmap: return 2;
    case kPageTdef: return 3;
    case kPageIndexNode:
    case kPageIndexLeaf: return 4;
    default: return 0;
  }
}

// The test hook of FileChangesSoFar: changes counted per process (a forked child
// starts its own count), and the change at which to stop.
struct ChangeCounter {
  pid_t pid = 0;
  std::uint64_t done = 0;
  std::uint64_t exitAt = 0;
  const char* countFile = nullptr;
};
ChangeCounter g_changes;

void Arm() {
  if (g_changes.pid == ::getpid()) return;
  g_changes = {};
  g_changes.pid = ::getpid();
  if (const char* at = std::getenv("TALVORO_JET_EXIT_AT_WRITE")) g_changes.exitAt = std::strtoull(at, nullptr, 10);
  g_changes.countFile = std::getenv("TALVORO_JET_WRITE_COUNT_FILE");
}

void BeforeFileChange() {
  Arm();
  if (++g_changes.done == g_changes.exitAt) ::_exit(137);
}

void RecordChangeCount() {
  Arm();
  if (!g_changes.countFile) return;
  int fd = ::open(g_changes.countFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string text = std::to_string(g_changes.done) + "\n";
  if (::write(fd, text.data(), text.size()) < 0) {
  }
  ::close(fd);
}

}  // namespace

std::unique_ptr<Pager> Pager::CreateFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) throw Error(ErrorCode::FileExists, "The file '" + path + "' already exists");
    ThrowIo("Cannot create", path);
  }
  return std::unique_ptr<Pager>(new Pager(fd, path, true, 0));
}

std::unique_ptr<Pager> Pager::OpenFile(const std::string& path, bool writable) {
  int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) ThrowIo("Cannot open", path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    ThrowIo("Cannot read the size of", path);
  }
  if (st.st_size < static_cast<off_t>(3 * kPageSize)) {
    ::close(fd);
    throw Error(ErrorCode::NotJet4, "'" + path + "' is too small to be a Jet 4 database");
  }
  // A trailing partial page (left by another writer) is ignored.
  auto pages = static_cast<std::uint32_t>(st.st_size / kPageSize);
  return std::unique_ptr<Pager>(new Pager(fd, path, writable, pages));
}

Pager::Pager(int fd, std::string path, bool writable, std::uint32_t pages)
    : fd_(fd),
      path_(std::move(path)),
      writable_(writable),
      pageCount_(pages),
      durablePages_(pages),
      pageLimit_(format::kMaxPages) {}

Pager::~Pager() { ::close(fd_); }

void Pager::Touch(Frame* f) {
  if (f->lru != lru_.begin()) lru_.splice(lru_.begin(), lru_, f->lru);
}

Pager::Frame* Pager::Insert(std::uint32_t page) {
  EvictIfNeeded();
  std::unique_ptr<Frame> frame;
  if (spareFrames_.empty()) {
    frame = std::make_unique<Frame>();
  } else {
    frame = std::move(spareFrames_.back());
    spareFrames_.pop_back();
    frame->dirty = false;
  }
  frame->page = page;
  lru_.push_front(frame.get());
  frame->lru = lru_.begin();
  Frame* raw = frame.get();
  frames_.emplace(page, std::move(frame));
  return raw;
}

void Pager::Forget(const Frame* f) {
  for (Frame*& r : recent_)
    if (r == f) r = nullptr;
}

Pager::Frame* Pager::Load(std::uint32_t page) {
  for (Frame* f : recent_) {
    if (f && f->page == page) {
      Touch(f);
      return f;
    }
  }
  auto remember = [this](Frame* f) {
    recent_[recentNext_] = f;
    recentNext_ = (recentNext_ + 1) % kRecentFrames;
    return f;
  };
  auto it = frames_.find(page);
  if (it != frames_.end()) {
    Touch(it->second.get());
    return remember(it->second.get());
  }
  if (page >= pageCount_) {
    throw Error(ErrorCode::NotJet4, "Page " + std::to_string(page) + " lies beyond the end of '" + path_ + "'");
  }
  Frame* f = Insert(page);
  ssize_t n = ::pread(fd_, f->data, kPageSize, static_cast<off_t>(page) * kPageSize);
  if (n < 0) {
    int saved = errno;
    frames_.erase(page);
    lru_.pop_front();
    errno = saved;
    ThrowIo("Cannot read", path_);
  }
  if (n < static_cast<ssize_t>(kPageSize)) std::memset(f->data + n, 0, kPageSize - n);
  return remember(f);
}

void Pager::EvictIfNeeded() {
  if (frames_.size() < kMaxCachedPages) return;
  // A batch of frames goes at once, from the least recently used end, so that
  // the new pages among them (a long insert's pages, in the order it added
  // them) go out in runs, one write each. Old dirty pages must wait for Flush.
  victims_.clear();
  auto it = lru_.end();
  std::size_t examined = 0;
  // The most recently used frames are never taken: callers may still hold them.
  constexpr std::size_t kKeepRecent = 16;
  while (it != lru_.begin() && frames_.size() - victims_.size() + kEvictBatch > kMaxCachedPages &&
         examined + kKeepRecent < frames_.size()) {
    --it;
    ++examined;
    Frame* f = *it;
    if (f->dirty && !IsNew(f->page)) continue;
    victims_.push_back(f);
  }
  std::sort(victims_.begin(), victims_.end(), [](const Frame* a, const Frame* b) { return a->page < b->page; });
  // A failed write leaves every frame cached (those not written still dirty).
  WriteFrameRuns(victims_);
  for (Frame* f : victims_) {
    lru_.erase(f->lru);
    Forget(f);
    auto node = frames_.find(f->page);
    if (spareFrames_.size() < kEvictBatch) spareFrames_.push_back(std::move(node->second));
    frames_.erase(node);
  }
  victims_.clear();
}

void Pager::TrimCache(std::size_t pages) {
  spareFrames_.clear();
  auto it = lru_.end();
  while (it != lru_.begin() && frames_.size() > pages) {
    --it;
    Frame* f = *it;
    if (f->dirty) continue;
    it = lru_.erase(it);
    Forget(f);
    frames_.erase(f->page);
  }
}

void Pager::MarkDirty(Frame* f) {
  if (f->dirty) return;
  f->dirty = true;
  f->dirtyIndex = dirty_.size();
  dirty_.push_back(f);
  if (!IsNew(f->page)) ++oldDirty_;
}

// Takes the frame off the dirty list (swapping the last entry into its place).
void Pager::MarkClean(Frame* f) {
  if (!f->dirty) return;
  f->dirty = false;
  Frame* last = dirty_.back();
  dirty_[f->dirtyIndex] = last;
  last->dirtyIndex = f->dirtyIndex;
  dirty_.pop_back();
}

Pager::Frame* Pager::NewFrame(std::uint32_t page) {
  auto it = frames_.find(page);
  Frame* f = it != frames_.end() ? it->second.get() : Insert(page);
  Touch(f);
  std::memset(f->data, 0, kPageSize);
  if (f->dirty && !IsNew(page) && oldDirty_ > 0) --oldDirty_;
  MarkClean(f);
  return f;
}

std::uint32_t Pager::AllocatePage() {
  if (!writable_) throw Error(ErrorCode::ReadOnly, "The database '" + path_ + "' is open read-only");
  if (!free_.empty()) {
    std::uint32_t page = free_.back();
    free_.pop_back();
    Frame* f = NewFrame(page);
    reused_.insert(page);
    if (inAtomic_) atomicReused_.push_back(page);
    MarkDirty(f);
    return page;
  }
  return AppendPage();
}

std::uint32_t Pager::AppendPage() {
  if (!writable_) throw Error(ErrorCode::ReadOnly, "The database '" + path_ + "' is open read-only");
  const std::uint32_t reserve = committing_ ? 0 : std::min(commitReserve_, pageLimit_ / 2);
  if (pageCount_ + reserve >= pageLimit_) {
    throw Error(ErrorCode::FileFull, "The database '" + path_ + "' has reached its size limit of " +
                                         std::to_string(static_cast<std::uint64_t>(pageLimit_) * kPageSize / (1024 * 1024)) +
                                         " MB");
  }
  std::uint32_t page = pageCount_++;
  Frame* f = Insert(page);
  std::memset(f->data, 0, kPageSize);
  MarkDirty(f);
  return page;
}

const std::uint8_t* Pager::ReadPage(std::uint32_t page) { return Load(page)->data; }

bool Pager::PageSaved(std::uint32_t page) const {
  for (const auto& s : undo_)
    if (s.page == page) return true;
  return false;
}

std::uint8_t* Pager::WritablePageBytes(std::uint32_t page, std::span<const ByteRange> ranges) {
  if (!writable_) throw Error(ErrorCode::ReadOnly, "The database '" + path_ + "' is open read-only");
  Frame* f = Load(page);
  if (inAtomic_ && page < atomicPageCount_ && !PageSaved(page)) {
    for (const ByteRange& r : ranges) {
      if (r.offset + r.length > kPageSize) throw Error(ErrorCode::NotJet4, "byte range beyond a page");
      const std::size_t at = savedBytes_.size();
      savedRanges_.push_back({page, r, at});
      savedBytes_.resize(at + r.length);
      std::memcpy(savedBytes_.data() + at, f->data + r.offset, r.length);
    }
  }
  MarkDirty(f);
  return f->data;
}

std::uint8_t* Pager::WritablePage(std::uint32_t page) {
  if (!writable_) throw Error(ErrorCode::ReadOnly, "The database '" + path_ + "' is open read-only");
  Frame* f = Load(page);
  if (inAtomic_ && page < atomicPageCount_) {
    if (!PageSaved(page)) {
      std::unique_ptr<std::uint8_t[]> copy;
      if (spareBuffers_.empty()) {
        copy = std::make_unique<std::uint8_t[]>(kPageSize);
      } else {
        copy = std::move(spareBuffers_.back());
        spareBuffers_.pop_back();
      }
      std::memcpy(copy.get(), f->data, kPageSize);
      undo_.push_back({page, std::move(copy)});
    }
  }
  MarkDirty(f);
  return f->data;
}

std::uint8_t* Pager::WritablePageUnsaved(std::uint32_t page) {
  if (!writable_) throw Error(ErrorCode::ReadOnly, "The database '" + path_ + "' is open read-only");
  Frame* f = Load(page);
  MarkDirty(f);
  return f->data;
}

void Pager::ReleasePage(std::uint32_t page) {
  // The global usage map keeps released pages as used; only we reuse them.
  released_.push_back(page);
}

void Pager::BeginAtomic() {
  inAtomic_ = true;
  atomicPageCount_ = pageCount_;
  atomicReleased_ = released_.size();
  atomicReused_.clear();
}

void Pager::CommitAtomic() {
  inAtomic_ = false;
  savedRanges_.clear();
  savedBytes_.clear();
  for (auto& s : undo_)
    if (spareBuffers_.size() < 16) spareBuffers_.push_back(std::move(s.data));
  undo_.clear();
}

void Pager::RollbackAtomic() {
  inAtomic_ = false;
  released_.resize(atomicReleased_);
  // Reused pages go back to the free list; their content was garbage anyway.
  for (std::uint32_t p : atomicReused_) free_.push_back(p);
  atomicReused_.clear();
  for (std::uint32_t p = atomicPageCount_; p < pageCount_; ++p) {
    auto it = frames_.find(p);
    if (it == frames_.end()) continue;
    Forget(it->second.get());
    MarkClean(it->second.get());
    lru_.erase(it->second->lru);
    frames_.erase(it);
  }
  pageCount_ = atomicPageCount_;
  auto saved = std::move(undo_);
  undo_.clear();
  for (auto& s : saved) {
    Frame* f = Load(s.page);
    std::memcpy(f->data, s.data.get(), kPageSize);
    MarkDirty(f);
  }
  // Saved bytes belong to pages that were not saved whole at that moment; the
  // latest change goes back first.
  for (auto it = savedRanges_.rbegin(); it != savedRanges_.rend(); ++it) {
    Frame* f = Load(it->page);
    std::memcpy(f->data + it->range.offset, savedBytes_.data() + it->at, it->range.length);
    MarkDirty(f);
  }
  savedRanges_.clear();
  savedBytes_.clear();
}

std::uint64_t Pager::FileChangesSoFar() {
  Arm();
  return g_changes.done;
}

void Pager::AddFreePages(const std::vector<std::uint32_t>& pages) {
  for (std::uint32_t page : pages)
    if (page < pageCount_ && !frames_.count(page)) free_.push_back(page);
}

void Pager::DiscardChanges(std::uint32_t page) {
  auto it = frames_.find(page);
  if (it == frames_.end()) return;
  Frame* f = it->second.get();
  if (f->dirty && !IsNew(page) && oldDirty_ > 0) --oldDirty_;
  MarkClean(f);
  Forget(f);
  lru_.erase(f->lru);
  frames_.erase(it);
}

void Pager::WriteFrameRuns(const std::vector<Frame*>& frames) {
  iovec parts[kEvictBatch];
  Frame* run[kEvictBatch];
  std::size_t count = 0;
  auto flushRun = [&] {
    if (count == 0) return;
    WritePages(run[0]->page, parts, count);
    for (std::size_t i = 0; i < count; ++i) MarkClean(run[i]);
    count = 0;
  };
  for (Frame* f : frames) {
    if (!f->dirty) continue;
    if (count > 0 && (f->page != run[0]->page + count || count == kEvictBatch)) flushRun();
    parts[count] = iovec{f->data, kPageSize};
    run[count++] = f;
  }
  flushRun();
}

void Pager::WritePages(std::uint32_t first, const iovec* parts, std::size_t count) {
  BeforeFileChange();
  // A short write (a size limit reached part-way) is followed by one for the
  // rest, which says why it cannot go on.
  iovec rest[kEvictBatch];
  std::copy(parts, parts + count, rest);
  iovec* next = rest;
  std::size_t partsLeft = count;
  off_t at = static_cast<off_t>(first) * kPageSize;
  while (partsLeft > 0) {
    const ssize_t n = ::pwritev(fd_, next, static_cast<int>(partsLeft), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      ThrowIo("Cannot write", path_);
    }
    at += n;
    for (auto written = static_cast<std::size_t>(n); written > 0;) {
      const std::size_t taken = std::min(written, next->iov_len);
      next->iov_base = static_cast<std::uint8_t*>(next->iov_base) + taken;
      next->iov_len -= taken;
      written -= taken;
      if (next->iov_len == 0) ++next, --partsLeft;
    }
  }
  // A large insert writes pages long before the flush that syncs them: the disk
  // starts on them now (without waiting), so the fdatasync at the end finds
  // little left to do. This changes when pages reach the disk, never the order
  // the flushes' syncs impose. Advisory: an error here is for fdatasync to report.
  writtenSinceWriteback_ += static_cast<std::uint32_t>(count);
  if (writtenSinceWriteback_ >= kWritebackPages) {
    writtenSinceWriteback_ = 0;
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
  }
}

void Pager::Sync() {
  if (::fdatasync(fd_) != 0) ThrowIo("Cannot sync", path_);
}

void Pager::TruncateUnused(std::uint32_t pages) {
  if (!writable_ || pages >= pageCount_ || !dirty_.empty() || inAtomic_) return;
  for (auto it = frames_.begin(); it != frames_.end();) {
    if (it->first >= pages) {
      lru_.erase(it->second->lru);
      Forget(it->second.get());
      it = frames_.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(free_, [pages](std::uint32_t p) { return p >= pages; });
  std::erase_if(released_, [pages](std::uint32_t p) { return p >= pages; });
  BeforeFileChange();
  if (::ftruncate(fd_, static_cast<off_t>(pages) * kPageSize) != 0) ThrowIo("Cannot truncate", path_);
  pageCount_ = durablePages_ = pages;
}

void Pager::Flush(Durability durability, const std::vector<std::uint32_t>& commitOrder) {
  if (!writable_) return;
  const bool sync = durability == Durability::Synced;
  std::vector<Frame*> fresh, old, commits;
  for (Frame* f : dirty_) (IsNew(f->page) ? fresh : old).push_back(f);
  auto byPage = [](const Frame* a, const Frame* b) { return a->page < b->page; };
  std::sort(fresh.begin(), fresh.end(), byPage);
  // A new file becomes a database with its header page: written last, a kill
  // before it leaves a file that no reader takes for a half-made database.
  if (!fresh.empty() && fresh.front()->page == 0) std::rotate(fresh.begin(), fresh.begin() + 1, fresh.end());
  // The commit pages leave `old` and go last, in the caller's order.
  for (std::uint32_t page : commitOrder) {
    auto it = std::find_if(old.begin(), old.end(), [page](const Frame* f) { return f->page == page; });
    if (it == old.end()) continue;
    commits.push_back(*it);
    old.erase(it);
  }
  auto byRank = [](const Frame* a, const Frame* b) {
    int ra = WriteRank(a->data), rb = WriteRank(b->data);
    return ra != rb ? ra < rb : a->page < b->page;
  };
  std::sort(old.begin(), old.end(), byRank);
  // Stray index pages (never expected) still go after the definitions.
  auto firstIndex = std::find_if(old.begin(), old.end(), [](const Frame* f) { return WriteRank(f->data) >= 4; });
  commits.insert(commits.end(), firstIndex, old.end());
  old.erase(firstIndex, old.end());
  bool grew = pageCount_ != durablePages_;
  // Pages that an earlier, undone insert wrote past the end are cut off first.
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && st.st_size > static_cast<off_t>(pageCount_) * static_cast<off_t>(kPageSize)) {
    BeforeFileChange();
    if (::ftruncate(fd_, static_cast<off_t>(pageCount_) * kPageSize) != 0) ThrowIo("Cannot truncate", path_);
  }
  WriteFrameRuns(fresh);
  if (old.empty() && commits.empty() && !grew) {
    // Nothing on disk refers to the pages just written; only an earlier Written
    // flush may still wait for its sync.
    if (sync && unsynced_) {
      Sync();
      unsynced_ = false;
    }
    reused_.clear();
    free_.insert(free_.end(), released_.begin(), released_.end());
    released_.clear();
    RecordChangeCount();
    return;
  }
  // On the disk, new pages must land before the old pages that will refer to them.
  if (sync && (!fresh.empty() || grew)) Sync();
  WriteFrameRuns(old);
  // Likewise the spare map rows before the definitions that switch to them.
  if (sync && !old.empty() && !commits.empty()) Sync();
  WriteFrameRuns(commits);
  if (sync) Sync();
  unsynced_ = !sync;
  oldDirty_ = 0;
  durablePages_ = pageCount_;
  reused_.clear();
  free_.insert(free_.end(), released_.begin(), released_.end());
  released_.clear();
  RecordChangeCount();
}

}  // namespace jet
