// Checks the structure of an index B-tree page by page, independently of the tree
// code: header fields, entry bitmap and free space, sorted entries, node entries
// equal to their subtree's last entry, child tails, leaf and node sibling links.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "jet/jet.h"
#include "jet/page_store.h"

namespace jet::testing {

struct CheckedEntry {
  Bytes key;
  std::uint32_t pointer = 0;  // page << 8 | row
  bool operator<(const CheckedEntry& o) const {
    const int c = std::memcmp(key.data(), o.key.data(), std::min(key.size(), o.key.size()));
    if (c != 0) return c < 0;
    if (key.size() != o.key.size()) return key.size() < o.key.size();
    return pointer < o.pointer;
  }
};

class IndexTreeCheck {
 public:
  IndexTreeCheck(PageStore& store, std::uint32_t tdefPage) : store_(store), tdefPage_(tdefPage) {}

  // Checks the tree under `root` (failures are reported through gtest); returns its
  // entries in the order the leaves hold them.
  std::vector<CheckedEntry> Run(std::uint32_t root) {
    leaves_.clear();
    pages_.clear();
    entries_.clear();
    depth_ = -1;
    const std::uint8_t* p = store_.ReadPage(root);
    EXPECT_EQ(Get32(p + 12), 0u) << "root prev";
    EXPECT_EQ(Get32(p + 16), 0u) << "root next";
    Walk(root, 0, nullptr);
    // The leaves reached from the root are the leaf chain, in order, both ways.
    for (std::size_t i = 0; i < leaves_.size(); ++i) {
      const std::uint8_t* leaf = store_.ReadPage(leaves_[i]);
      EXPECT_EQ(Get32(leaf + 12), i == 0 ? 0u : leaves_[i - 1]) << "prev of leaf " << leaves_[i];
      EXPECT_EQ(Get32(leaf + 16), i + 1 == leaves_.size() ? 0u : leaves_[i + 1]) << "next of leaf " << leaves_[i];
    }
    for (std::size_t i = 1; i < entries_.size(); ++i)
      EXPECT_TRUE(entries_[i - 1] < entries_[i]) << "entries out of order at " << i;
    return entries_;
  }

  const std::set<std::uint32_t>& pages() const { return pages_; }
  int depth() const { return depth_; }

 private:
  static std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  }
  static std::uint32_t GetBe32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
  }

  // Entries of one page, split at the bitmap's bits.
  std::vector<Bytes> Entries(std::uint32_t page, const std::uint8_t* p) {
    const std::size_t freeSpace = p[2] | (p[3] << 8);
    EXPECT_LE(freeSpace, 3616u) << "page " << page;
    const std::size_t used = 3616 - freeSpace;
    EXPECT_EQ(p[24] | (p[25] << 8), 0) << "prefix compression on page " << page;
    std::vector<Bytes> out;
    std::size_t start = 0;
    for (std::size_t bit = 1; bit <= 3616; ++bit) {
      if (!(p[27 + bit / 8] & (1u << (bit % 8)))) continue;
      EXPECT_LE(bit, used) << "bitmap bit past the entries on page " << page;
      out.emplace_back(p + 480 + start, p + 480 + bit);
      start = bit;
    }
    EXPECT_EQ(start, used) << "bitmap and free space disagree on page " << page;
    return out;
  }

  // Walks a subtree; returns its last entry (key + pointer bytes).
  Bytes Walk(std::uint32_t page, int level, const Bytes* expectedMax) {
    EXPECT_TRUE(pages_.insert(page).second) << "page " << page << " reached twice";
    const std::uint8_t* p = store_.ReadPage(page);
    Bytes copy(p, p + kPageSize);
    p = copy.data();
    EXPECT_TRUE(p[0] == 0x03 || p[0] == 0x04) << "page " << page << " type " << int(p[0]);
    EXPECT_EQ(p[1], 0x01);
    EXPECT_EQ(Get32(p + 4), tdefPage_) << "tdef of page " << page;
    const std::vector<Bytes> entries = Entries(page, p);
    Bytes last;
    if (p[0] == 0x04) {
      if (depth_ < 0) depth_ = level;
      EXPECT_EQ(depth_, level) << "leaves at different depths";
      EXPECT_EQ(Get32(p + 20), 0u) << "leaf with a child tail";
      leaves_.push_back(page);
      for (const Bytes& e : entries) {
        EXPECT_GE(e.size(), 5u);
        entries_.push_back({Bytes(e.begin(), e.end() - 4), GetBe32(e.data() + e.size() - 4)});
        last = e;
      }
    } else {
      const std::uint32_t tail = Get32(p + 20);
      std::vector<std::uint32_t> children;
      for (const Bytes& e : entries) {
        EXPECT_GE(e.size(), 9u);
        const std::uint32_t child = GetBe32(e.data() + e.size() - 4);
        const Bytes max(e.begin(), e.end() - 4);
        EXPECT_EQ(Walk(child, level + 1, &max), max) << "entry of child " << child << " on page " << page;
        children.push_back(child);
        last = max;
      }
      if (tail != 0) {
        last = Walk(tail, level + 1, nullptr);
        children.push_back(tail);
      }
      EXPECT_GE(children.size(), 1u) << "node page " << page << " without children";
      if (children.size() > 1) {
        EXPECT_NE(tail, 0u) << "node page " << page << " with several children and no tail";
      }
      // Child node pages are linked to their siblings under this page only.
      const std::uint8_t* first = store_.ReadPage(children[0]);
      if (first[0] == 0x03) {
        for (std::size_t i = 0; i < children.size(); ++i) {
          const std::uint8_t* c = store_.ReadPage(children[i]);
          EXPECT_EQ(Get32(c + 12), i == 0 ? 0u : children[i - 1]) << "prev of node " << children[i];
          EXPECT_EQ(Get32(c + 16), i + 1 == children.size() ? 0u : children[i + 1]) << "next of node " << children[i];
        }
      }
    }
    if (expectedMax != nullptr) {
      EXPECT_EQ(last, *expectedMax) << "last entry of page " << page;
    }
    return last;
  }

  PageStore& store_;
  std::uint32_t tdefPage_;
  std::vector<std::uint32_t> leaves_;
  std::set<std::uint32_t> pages_;
  std::vector<CheckedEntry> entries_;
  int depth_ = -1;
};

}  // namespace jet::testing
