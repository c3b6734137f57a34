#include "jet/index_tree.h"

namespace jet {

std::uint32_t IndexTree::CreateEmpty(PageStore& store, std::uint32_t) { return store.AllocatePage(); }

IndexTree::IndexTree(PageStore& store, std::uint32_t rootPage, std::uint32_t tdefPage)
    : store_(store), root_(rootPage), tdefPage_(tdefPage) {}

void IndexTree::SetPageAllocatedCallback(std::function<void(std::uint32_t)> onPageAllocated) {
  onPageAllocated_ = std::move(onPageAllocated);
}

bool IndexTree::Contains(std::span<const std::uint8_t>) { return false; }
void IndexTree::Insert(std::span<const std::uint8_t>, std::uint32_t, std::uint8_t) {}
bool IndexTree::InsertUnique(std::span<const std::uint8_t>, std::uint32_t, std::uint8_t) { return true; }
void IndexTree::ForEach(const std::function<void(const IndexEntry&)>&) {}
std::vector<IndexEntry> IndexTree::Entries() { return {}; }
std::vector<std::uint32_t> IndexTree::Pages() { return {root_}; }
void IndexTree::Reload() { rightPath_.clear(); }

}  // namespace jet
