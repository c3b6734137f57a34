// Usage maps: a row on a data page listing a set of pages, either as an inline
// bitmap (type 0: start page + bits) or as references to bitmap pages (type 1).
// A map starts inline; when a page falls outside its inline range it becomes a
// reference map in place (both forms are 69 bytes long).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/format.h"
#include "jet/page_store.h"

namespace jet {

class UsageMap {
 public:
  UsageMap(PageStore& store, format::RowPointer where) : store_(store), where_(where) {}

  // Appends an empty inline map row to the holder page (which must have room).
  static format::RowPointer AppendEmpty(PageStore& store, std::uint32_t holderPage);

  void Add(std::uint32_t page);
  void Remove(std::uint32_t page);
  // Every page in the map, ascending.
  std::vector<std::uint32_t> Pages();
  // The largest page in the map, or 0 if it is empty.
  std::uint32_t LastPage();
  // Empties the map (a reference map keeps its bitmap pages for reuse).
  void Clear();
  // Makes this map list the pages `other` lists (copying bitmaps where it can).
  void CopyFrom(format::RowPointer other);

 private:
  void Set(std::uint32_t page, bool on);
  void ConvertToReference(std::uint32_t extraPage);

  PageStore& store_;
  format::RowPointer where_;
};

// A table's owned-pages map, which decides which rows readers see. It is never
// changed in place while the file on disk refers to it: the first change after a
// flush copies it into a second row (the spare), changes go there, and the table
// definition, written last, switches to it. So rows, map and row count become
// visible together, with the single write of the definition's first page.
class ShadowedUsageMap {
 public:
  // `spare` may be empty (page 0); `newRow` then provides one when first needed.
  ShadowedUsageMap(PageStore& store, format::RowPointer active, format::RowPointer spare,
                   std::function<format::RowPointer()> newRow);

  // The row the table definition should point to now.
  format::RowPointer current() const { return pending_ ? spare_ : active_; }
  // The other row (kept in the table definition so that later sessions reuse it).
  format::RowPointer other() const { return pending_ ? active_ : spare_; }

  void Add(std::uint32_t page);
  void Remove(std::uint32_t page);
  std::vector<std::uint32_t> Pages() { return UsageMap(store_, current()).Pages(); }

  // The definition pointing at current() has reached the disk.
  void Committed();

  struct State {
    format::RowPointer active, spare;
    bool pending;
  };
  State Save() const { return {active_, spare_, pending_}; }
  void Restore(const State& s) {
    active_ = s.active;
    spare_ = s.spare;
    pending_ = s.pending;
  }

 private:
  void StartPending();

  PageStore& store_;
  format::RowPointer active_, spare_;
  bool pending_ = false;
  std::function<format::RowPointer()> newRow_;
};

}  // namespace jet
