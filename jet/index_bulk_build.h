// Internal to jet/: writes a whole index B-tree from its entries in one pass, for an
// index added to a table that already holds rows. The entries are sorted here (key
// bytes unsigned, a shorter key first, then the row pointer), leaf pages are filled
// one after another and node levels built above them until one page remains, which
// goes to the root page the table definition names. The tree has the shape
// IndexTree reads and extends (see index_tree.h): leaves linked across the level,
// node pages linked only under the same parent, every node with several children
// keeping the last one in its child tail.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/index_tree.h"
#include "jet/page_store.h"

namespace jet {

// Sorts `entries` and writes the tree. `root` is an allocated page that becomes the
// top of the tree; `allocate` provides every further page (and records it in the
// index's usage map).
void BulkBuildIndex(PageStore& store, std::uint32_t root, std::uint32_t tdefPage, std::vector<IndexEntry>& entries,
                    const std::function<std::uint32_t()>& allocate);

// Orders entries as the index does.
bool IndexEntryLess(const IndexEntry& a, const IndexEntry& b);

}  // namespace jet
