// Internal to jet/: the page cache seen by the structures built on pages
// (indexes, long values, table definitions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace jet {

inline constexpr std::size_t kPageSize = 4096;

class PageStore {
 public:
  virtual ~PageStore() = default;

  // Allocates a page at the end of the file or from the free pages, zero-filled,
  // marked used in the global usage map. Throws jet::Error(FileFull) past 2 GB.
  virtual std::uint32_t AllocatePage() = 0;

  // The current content of a page (cache or file). Valid until the next call
  // into the store.
  virtual const std::uint8_t* ReadPage(std::uint32_t page) = 0;

  // The page's buffer for changing it; the page is written at the next flush.
  // Inside an atomic section the first change of a page saves its old content,
  // so that a failed insert can be undone.
  virtual std::uint8_t* WritablePage(std::uint32_t page) = 0;

  // Bytes [offset, offset + length) of a page.
  struct ByteRange {
    std::size_t offset;
    std::size_t length;
  };
  // Like WritablePage for a change confined to `ranges`: an atomic section saves
  // only those bytes, not the whole page. The caller changes nothing else.
  virtual std::uint8_t* WritablePageBytes(std::uint32_t page, std::span<const ByteRange> ranges) {
    (void)ranges;
    return WritablePage(page);
  }

  // The page is no longer used by anyone.
  virtual void ReleasePage(std::uint32_t page) = 0;

  // True when nothing in the file on disk refers to the page (allocated since the
  // last flush): it may be written over before the flush's commit. A store that
  // cannot tell says false, and callers then copy instead of writing over.
  virtual bool Unreferenced(std::uint32_t page) const {
    (void)page;
    return false;
  }

  // Forgets changes to a page that is being released: they are never written.
  virtual void DiscardChanges(std::uint32_t page) { (void)page; }
};

}  // namespace jet
