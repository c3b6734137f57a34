// Internal to jet/: one index's B-tree of 0x04 leaf / 0x03 node pages.
//
// Entries are (key bytes, row pointer), kept sorted by key, then by data page,
// then by row number. Node pages are linked only to siblings under the same
// parent. Appends at the right edge leave full pages behind; other splits halve. The root page never moves (the table definition stores
// it): it is a leaf while everything fits on one page and becomes a node page
// when it splits. Node pages with more than one child keep the right-most child
// in the child-tail field, the others as entries carrying their subtree's last
// entry. Leaves are doubly linked across the whole level. Pages are written
// without prefix compression; pages of other writers with prefix compression
// are read and rewritten correctly.
//
// Usage maps: every page of the tree (root included) belongs in the index's
// owned-pages usage map (the map row named by the real-index definition), and
// in no table's owned map. The tree allocates pages through
// PageStore::AllocatePage and reports each one to the `onPageAllocated`
// callback. Pages() lists all pages of an existing tree (to rebuild the map).
// Only Relocate releases pages.
//
// The tree holds no page contents of its own; it remembers only the path to the
// right-most leaf, to make appends of increasing keys cheap. After pages were
// rolled back by the page store (a failed atomic insert), call Reload().
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "jet/jet.h"
#include "jet/page_store.h"

namespace jet {

struct IndexEntry {
  Bytes key;
  std::uint32_t dataPage = 0;
  std::uint8_t row = 0;
};

class IndexTree {
 public:
  // Longest key accepted by Insert; longer keys throw Error(LimitExceeded). A node
  // page that gains one entry and a grown one must still split into two halves
  // that fit (3616 bytes each), which bounds a node entry (key + 8) to 904 bytes.
  static constexpr std::size_t kMaxKeyLength = 888;

  // Allocates and writes an empty leaf root as Access does; returns its page.
  static std::uint32_t CreateEmpty(PageStore& store, std::uint32_t tdefPage);

  IndexTree(PageStore& store, std::uint32_t rootPage, std::uint32_t tdefPage);

  std::uint32_t rootPage() const { return root_; }

  // Called with every page the tree allocates from now on.
  void SetPageAllocatedCallback(std::function<void(std::uint32_t)> onPageAllocated);

  // True if an entry with exactly these key bytes exists (any row pointer).
  bool Contains(std::span<const std::uint8_t> key);

  // Inserts an entry in order. Duplicates of a key are allowed (non-unique
  // index); an identical (key, page, row) triple is refused with Error(DuplicateKey).
  void Insert(std::span<const std::uint8_t> key, std::uint32_t dataPage, std::uint8_t row);

  // Inserts unless the key is already present; returns false (and changes
  // nothing) for a duplicate key. One descent instead of Contains + Insert.
  // Pages are only written once the insert cannot fail any more (a full file
  // throws from AllocatePage before any page changed).
  bool InsertUnique(std::span<const std::uint8_t> key, std::uint32_t dataPage,
                    std::uint8_t row);

  // Every entry in index order.
  void ForEach(const std::function<void(const IndexEntry&)>& visit);
  std::vector<IndexEntry> Entries();

  // Every page of the tree (root first, then level by level).
  std::vector<std::uint32_t> Pages();

  // Forgets remembered positions; required after the page store restored pages.
  void Reload();

  // Makes the root an empty leaf again; the caller releases the other pages.
  void Clear();

  // Copies every page of the tree that the file on disk refers to
  // (PageStore::Unreferenced is false) to a page from `allocate`, and points every
  // page of the tree (children, siblings, the root) at the copies, so that the
  // file's tree stays as it was until the table definition switches to the new
  // root. The pages left behind are given back (their changes are never
  // written). Returns every page of the tree as it now stands.
  std::vector<std::uint32_t> Relocate(const std::function<std::uint32_t()>& allocate);

 private:
  struct DecodedPage;
  struct Level;
  struct Probe;
  class PendingWrites;
  // A page split into several: each piece but the last with its last entry.
  struct Pieces {
    std::vector<std::pair<Bytes, std::uint32_t>> left;
    std::uint32_t last = 0;
  };

  bool InsertEntry(std::span<const std::uint8_t> key, std::uint32_t dataPage, std::uint8_t row, bool unique);
  // Appends to the right-most leaf without decoding it; nullopt when the general
  // path must run. Otherwise: false = duplicate key (unique), true = inserted.
  std::optional<bool> TryAppend(std::span<const std::uint8_t> key, std::uint32_t pointer, bool unique);
  void FindRightPath();
  void Descend(const Probe& probe, std::vector<Level>& path);
  void ReadDecoded(std::uint32_t page, DecodedPage& out);
  // Writes `pg`'s entries to as many pages as they need. keepNumber: the first
  // piece stays at pg.number and the pieces take pg's place among its siblings;
  // otherwise all pieces are new pages forming a level of their own.
  Pieces SplitPage(const DecodedPage& pg, bool keepNumber, bool childrenAreNodes, bool atEnd,
                   PendingWrites& writes);
  std::uint32_t Allocate();

  PageStore& store_;
  std::uint32_t root_;
  std::uint32_t tdefPage_;
  std::function<void(std::uint32_t)> onPageAllocated_;
  // Pages from the root down to the right-most leaf, all reached through child
  // tails; empty = not known (or the fast append does not apply).
  std::vector<std::uint32_t> rightPath_;
  bool rightPathKnown_ = false;
};

}  // namespace jet
