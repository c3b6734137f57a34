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

 private:
  void Set(std::uint32_t page, bool on);
  void ConvertToReference(std::uint32_t extraPage);

  PageStore& store_;
  format::RowPointer where_;
};

}  // namespace jet
