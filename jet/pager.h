// The page cache under the engine: reads pages from the file, keeps changed pages
// until they are written, and writes them in an order that keeps the file valid
// for other readers at every instant.
//
// Write-ordering invariant (what makes a killed process harmless):
//   * Pages numbered at or above the page count of the last flush, and released
//     pages reused since ("new pages"), are referenced by nothing on disk, so they
//     may be written at any time, also before a flush (this is how the cache
//     stays bounded).
//   * Pages below it ("old pages") are written only inside Flush, after every new
//     page. The only old pages a flush changes are ones that nothing on disk
//     reads yet (a spare usage-map row, a long value no row points to) and the
//     first pages of table definitions, which go last, in the commit order the
//     caller gives: each is the one write that switches its table from the
//     previous state to the new one.
//   * So what readers see of a table changes only with its definition's first
//     page: rows go to new data pages, every usage map is switched through the
//     definition (ShadowedUsageMap), changed index trees are copied to new pages
//     (IndexTree::Relocate), and definition continuation pages are written anew
//     (see StoredTable, table_definition.h).
//   Each page goes out in one aligned 4096-byte pwrite, which a process kill
//   cannot tear, so a reader sees every page either before or after a flush.
//   The order of the pwrite calls is what protects against a kill: other processes
//   see the file through the same page cache. Against a power failure the order
//   on the disk counts, which only fdatasync between the steps enforces; a
//   Durability::Written flush leaves those syncs out (see jet.h).
#pragma once

#include <sys/uio.h>

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jet/jet.h"
#include "jet/page_store.h"

namespace jet {

class Pager final : public PageStore {
 public:
  static std::unique_ptr<Pager> CreateFile(const std::string& path);
  static std::unique_ptr<Pager> OpenFile(const std::string& path, bool writable);
  ~Pager() override;

  // May hand out a page released before the last flush (see ReleasePage).
  std::uint32_t AllocatePage() override;
  // Always a page at the end of the file: table data pages must keep the order in
  // which rows were added, because readers list a table's pages in page order.
  std::uint32_t AppendPage();
  const std::uint8_t* ReadPage(std::uint32_t page) override;
  std::uint8_t* WritablePage(std::uint32_t page) override;
  std::uint8_t* WritablePageBytes(std::uint32_t page, std::span<const ByteRange> ranges) override;
  // The page's content stays untouched until the next flush has completed (the
  // file on disk may still refer to it); after that AllocatePage may reuse it.
  void ReleasePage(std::uint32_t page) override;

  // Like WritablePage, but an atomic section does not save the page: the caller
  // undoes its own change (used for appending a row to a data page).
  std::uint8_t* WritablePageUnsaved(std::uint32_t page);

  std::uint32_t pageCount() const { return pageCount_; }
  bool writable() const { return writable_; }

  // Atomic sections: every page changed or allocated between Begin and Rollback is
  // put back as it was. Sections do not nest.
  void BeginAtomic();
  void CommitAtomic();
  void RollbackAtomic();

  // Writes every changed page: new pages, sync, old pages (long values, rows, usage
  // maps), then the pages of `commitOrder` in that order (table definitions' first
  // pages), sync. Written leaves both syncs out; a later Synced flush makes up for
  // them, also when it has nothing to write. Costs in proportion to the changed
  // pages, not to the cache.
  void Flush(Durability durability = Durability::Synced, const std::vector<std::uint32_t>& commitOrder = {});

  bool Unreferenced(std::uint32_t page) const override { return IsNew(page); }
  void DiscardChanges(std::uint32_t page) override;

  // Drops clean pages, least recently used first, until at most `pages` remain;
  // changed pages stay. Not inside an atomic section.
  void TrimCache(std::size_t pages);

  // True when so many old pages wait for a flush that the cache should be emptied.
  bool WantsFlush() const { return oldDirty_ > kMaxOldDirtyPages; }

  // Drops the pages from `pages` on from the file: pages nothing refers to (appended
  // by a writer that died before its flush). Requires no unwritten changes.
  void TruncateUnused(std::uint32_t pages);

  // Lowers the 2 GB limit so that tests can reach it with small files.
  void SetPageLimit(std::uint32_t pages) { pageLimit_ = pages; }

  // Pages kept back from rows for the copies a flush makes (index trees, map rows),
  // so that the rows already added can still be flushed when the file is full.
  // While `committing`, the reserve may be used.
  void SetCommitReserve(std::uint32_t pages) { commitReserve_ = pages; }
  void SetCommitting(bool committing) { committing_ = committing; }

  // Pages free for reuse now (nothing on disk refers to them).
  const std::vector<std::uint32_t>& freePages() const { return free_; }
  // Pages another session of this engine gave back (read from page 1).
  void AddFreePages(const std::vector<std::uint32_t>& pages);

  // For tests that stop a writer at every point of a flush: with the environment
  // variable TALVORO_JET_EXIT_AT_WRITE=N the process ends (_exit(137), as if
  // killed) just before its N-th change of a file (page write or truncation), and
  // with TALVORO_JET_WRITE_COUNT_FILE=PATH every flush leaves the number of
  // changes so far in that file.
  static std::uint64_t FileChangesSoFar();

 private:
  struct Frame {
    std::uint32_t page;
    bool dirty = false;
    std::size_t dirtyIndex = 0;  // position in dirty_ while dirty
    std::list<Frame*>::iterator lru;
    alignas(64) std::uint8_t data[kPageSize];
  };
  static constexpr std::size_t kMaxCachedPages = 1536;     // 6 MB
  static constexpr std::uint32_t kWritebackPages = 2048;   // 8 MB written: start the disk on them
  static constexpr std::size_t kMaxOldDirtyPages = 2048;   // 8 MB
  static constexpr std::size_t kEvictBatch = 64;           // frames freed at a time (256 KB)

  Pager(int fd, std::string path, bool writable, std::uint32_t pages);
  Frame* Load(std::uint32_t page);
  Frame* Insert(std::uint32_t page);
  void Touch(Frame* f);
  void MarkDirty(Frame* f);
  void MarkClean(Frame* f);
  void EvictIfNeeded();
  // Writes the dirty ones of `frames` in their order and marks them clean;
  // frames of adjacent pages that follow each other in it go out in one write
  // (a kill cannot fall between them, which takes no order away).
  void WriteFrameRuns(const std::vector<Frame*>& frames);
  // Writes `count` pages from page `first` on, as one change of the file.
  void WritePages(std::uint32_t first, const iovec* parts, std::size_t count);
  void Sync();
  // New pages are referenced by nothing on disk: pages past the last flush's end,
  // and released pages reused since the last flush.
  bool IsNew(std::uint32_t page) const { return page >= durablePages_ || reused_.count(page); }
  Frame* NewFrame(std::uint32_t page);

  int fd_;
  std::string path_;
  bool writable_;
  std::uint32_t pageCount_;     // pages in the database, cached or not
  std::uint32_t durablePages_;  // page count at the last flush
  std::uint32_t pageLimit_;
  std::uint32_t commitReserve_ = 0;
  bool committing_ = false;
  std::size_t oldDirty_ = 0;
  bool unsynced_ = false;  // a Written flush wrote pages that no fdatasync followed yet
  std::uint32_t writtenSinceWriteback_ = 0;  // pages written since writeback was last started
  std::vector<Frame*> dirty_;  // the frames with dirty set, in no order
  std::vector<std::uint32_t> free_;      // reusable now
  std::vector<std::uint32_t> released_;  // reusable after the next flush
  std::unordered_set<std::uint32_t> reused_;
  std::unordered_map<std::uint32_t, std::unique_ptr<Frame>> frames_;
  std::list<Frame*> lru_;  // front = most recently used

  struct SavedPage {
    std::uint32_t page;
    std::unique_ptr<std::uint8_t[]> data;
  };
  bool inAtomic_ = false;
  std::uint32_t atomicPageCount_ = 0;
  std::size_t atomicReleased_ = 0;
  std::vector<std::uint32_t> atomicReused_;
  std::vector<SavedPage> undo_;  // old content of pages changed in the section (few)
  // Old bytes of pages changed through WritablePageBytes; the bytes of range i
  // are at savedBytes_[savedRanges_[i].at].
  struct SavedRange {
    std::uint32_t page;
    ByteRange range;
    std::size_t at;
  };
  std::vector<SavedRange> savedRanges_;
  std::vector<std::uint8_t> savedBytes_;
  bool PageSaved(std::uint32_t page) const;
  std::vector<std::unique_ptr<std::uint8_t[]>> spareBuffers_;
  // Evicted frames, kept for the next pages: a long insert run evicts a frame for
  // nearly every page it adds.
  std::vector<std::unique_ptr<Frame>> spareFrames_;
  std::vector<Frame*> victims_;  // EvictIfNeeded's choice, kept for its room
  // The frames used last, looked up before the table of all frames: an insert
  // goes back and forth between a data page, index pages and the definition.
  static constexpr std::size_t kRecentFrames = 4;
  std::array<Frame*, kRecentFrames> recent_{};
  std::size_t recentNext_ = 0;
  void Forget(const Frame* f);
};

}  // namespace jet
