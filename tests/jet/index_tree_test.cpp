// The index B-tree on an in-memory page store: large increasing and random loads
// read back in order with a valid page structure, duplicates, non-unique entries,
// long keys that make deep trees, and limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

#include "index_memory_page_store.h"
#include "index_tree_check.h"
#include "jet/index_key_encoder.h"
#include "jet/index_tree.h"

namespace jet {
namespace {

using testing::CheckedEntry;
using testing::IndexTreeCheck;
using testing::MemoryPageStore;

constexpr std::uint32_t kTdef = 7;

Bytes LongKey(std::int64_t v) {
  ColumnDef c;
  c.name = "Id";
  c.type = ColumnType::Long;
  Bytes out;
  IndexKeyEncoder::AppendColumn({c, true}, v, out);
  return out;
}

Bytes TextKey(const std::string& s) {
  ColumnDef c;
  c.name = "Name";
  c.type = ColumnType::Text;
  c.length = 255;
  Bytes out;
  IndexKeyEncoder::AppendColumn({c, true}, s, out);
  return out;
}

// Row pointer of the n-th row when rows fill pages of 200.
std::pair<std::uint32_t, std::uint8_t> RowOf(std::size_t n) {
  return {static_cast<std::uint32_t>(1000 + n / 200), static_cast<std::uint8_t>(n % 200)};
}

class IndexTreeTest : public ::testing::Test {
 protected:
  IndexTreeTest() : root_(IndexTree::CreateEmpty(store_, kTdef)), tree_(store_, root_, kTdef) {
    owned_.insert(root_);
    tree_.SetPageAllocatedCallback([this](std::uint32_t page) { EXPECT_TRUE(owned_.insert(page).second); });
  }

  // Checks the structure and that the entries are exactly `expected` (any order).
  void ExpectTree(std::vector<CheckedEntry> expected) {
    std::sort(expected.begin(), expected.end());
    IndexTreeCheck check(store_, kTdef);
    const std::vector<CheckedEntry> found = check.Run(root_);
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      ASSERT_EQ(found[i].key, expected[i].key) << "entry " << i;
      ASSERT_EQ(found[i].pointer, expected[i].pointer) << "entry " << i;
    }
    // Every page of the tree was reported, and nothing else.
    EXPECT_EQ(check.pages(), owned_);
    const std::vector<std::uint32_t> pages = tree_.Pages();
    EXPECT_EQ(std::set<std::uint32_t>(pages.begin(), pages.end()), owned_);
    EXPECT_EQ(pages.front(), root_);
    // The tree's own reading agrees.
    std::size_t i = 0;
    tree_.ForEach([&](const IndexEntry& e) {
      ASSERT_LT(i, expected.size());
      EXPECT_EQ(e.key, expected[i].key);
      EXPECT_EQ((e.dataPage << 8) | e.row, expected[i].pointer);
      ++i;
    });
    EXPECT_EQ(i, expected.size());
  }

  MemoryPageStore store_;
  std::uint32_t root_;
  IndexTree tree_;
  std::set<std::uint32_t> owned_;
};

TEST_F(IndexTreeTest, EmptyRootIsAnEmptyLeaf) {
  const std::uint8_t* p = store_.ReadPage(root_);
  EXPECT_EQ(p[0], 0x04);
  EXPECT_EQ(p[1], 0x01);
  EXPECT_EQ(p[2] | (p[3] << 8), 3616);
  EXPECT_EQ(p[4], kTdef);
  for (std::size_t i = 8; i < kPageSize; ++i) ASSERT_EQ(p[i], 0) << "byte " << i;
  EXPECT_FALSE(tree_.Contains(LongKey(1)));
  ExpectTree({});
}

TEST_F(IndexTreeTest, IncreasingKeysAppendAndStayValid) {
  constexpr std::size_t kCount = 300000;
  std::vector<CheckedEntry> expected;
  expected.reserve(kCount);
  for (std::size_t n = 0; n < kCount; ++n) {
    const Bytes key = LongKey(static_cast<std::int64_t>(n) + 1);
    const auto [page, row] = RowOf(n);
    ASSERT_TRUE(tree_.InsertUnique(key, page, row));
    expected.push_back({key, (page << 8) | row});
  }
  EXPECT_EQ(tree_.rootPage(), root_);
  ExpectTree(expected);
  // Appends fill the leaves: 9-byte entries, 401 per page.
  EXPECT_LT(owned_.size(), kCount / 401 + kCount / 401 / 200 + 10);
  EXPECT_TRUE(tree_.Contains(LongKey(1)));
  EXPECT_TRUE(tree_.Contains(LongKey(kCount)));
  EXPECT_FALSE(tree_.Contains(LongKey(kCount + 1)));
  EXPECT_FALSE(tree_.Contains(LongKey(0)));
  EXPECT_FALSE(tree_.InsertUnique(LongKey(kCount), 1, 1)) << "duplicate of the last key";
  EXPECT_FALSE(tree_.InsertUnique(LongKey(12345), 1, 1)) << "duplicate inside the tree";
  ExpectTree(expected);
}

TEST_F(IndexTreeTest, RandomKeysStaySortedAndValid) {
  constexpr std::size_t kCount = 300000;
  std::vector<std::int64_t> values(kCount);
  std::iota(values.begin(), values.end(), -150000);
  std::mt19937 random(42);
  std::shuffle(values.begin(), values.end(), random);
  std::vector<CheckedEntry> expected;
  expected.reserve(kCount);
  for (std::size_t n = 0; n < kCount; ++n) {
    const Bytes key = LongKey(values[n]);
    const auto [page, row] = RowOf(n);
    ASSERT_TRUE(tree_.InsertUnique(key, page, row));
    expected.push_back({key, (page << 8) | row});
  }
  ExpectTree(expected);
  for (std::size_t n = 0; n < kCount; n += 997) {
    EXPECT_TRUE(tree_.Contains(LongKey(values[n])));
    EXPECT_FALSE(tree_.InsertUnique(LongKey(values[n]), 5, 5));
  }
  EXPECT_FALSE(tree_.Contains(LongKey(150000)));
  ExpectTree(expected);
}

TEST_F(IndexTreeTest, LongTextKeysBuildDeepTrees) {
  // Keys of up to ~250 bytes: few entries per page, so several node levels split.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> letter('a', 'z');
  std::uniform_int_distribution<int> length(150, 250);
  std::vector<CheckedEntry> expected;
  std::set<Bytes> keys;
  for (std::size_t n = 0; n < 20000; ++n) {
    std::string s(static_cast<std::size_t>(length(random)), ' ');
    for (char& c : s) c = static_cast<char>(letter(random));
    const Bytes key = TextKey(s);
    const auto [page, row] = RowOf(n);
    const bool fresh = keys.insert(key).second;
    ASSERT_EQ(tree_.InsertUnique(key, page, row), fresh);
    if (fresh) expected.push_back({key, (page << 8) | row});
  }
  IndexTreeCheck check(store_, kTdef);
  check.Run(root_);
  EXPECT_GE(check.depth(), 3);
  ExpectTree(expected);
}

TEST_F(IndexTreeTest, EqualKeysAreOrderedByRowPointer) {
  std::vector<CheckedEntry> expected;
  std::mt19937 random(3);
  for (std::size_t n = 0; n < 5000; ++n) {
    const Bytes key = LongKey(static_cast<std::int64_t>(random() % 50));
    const auto [page, row] = RowOf(random() % 100000);
    const CheckedEntry e{key, (page << 8) | row};
    if (std::find_if(expected.begin(), expected.end(), [&](const CheckedEntry& x) {
          return x.key == e.key && x.pointer == e.pointer;
        }) != expected.end()) {
      EXPECT_THROW(tree_.Insert(key, page, row), Error) << "the same entry twice";
      continue;
    }
    tree_.Insert(key, page, row);
    expected.push_back(e);
  }
  ExpectTree(expected);
  EXPECT_FALSE(tree_.InsertUnique(LongKey(7), 1, 1));
}

TEST_F(IndexTreeTest, DuplicateKeyChangesNothing) {
  ASSERT_TRUE(tree_.InsertUnique(LongKey(5), 10, 1));
  ASSERT_TRUE(tree_.InsertUnique(LongKey(9), 10, 2));
  const Bytes before(store_.ReadPage(root_), store_.ReadPage(root_) + kPageSize);
  EXPECT_FALSE(tree_.InsertUnique(LongKey(5), 10, 3));  // inside the page
  EXPECT_FALSE(tree_.InsertUnique(LongKey(9), 10, 4));  // the last key (append path)
  EXPECT_EQ(Bytes(store_.ReadPage(root_), store_.ReadPage(root_) + kPageSize), before);
}

TEST_F(IndexTreeTest, TooLongKeyIsRefused) {
  const Bytes key(IndexTree::kMaxKeyLength + 1, 0x41);
  try {
    tree_.InsertUnique(key, 1, 1);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::LimitExceeded);
  }
  // The longest allowed keys still split correctly.
  std::vector<CheckedEntry> expected;
  for (std::uint8_t i = 0; i < 40; ++i) {
    Bytes k(IndexTree::kMaxKeyLength, static_cast<std::uint8_t>(i * 5 % 200 + 1));
    tree_.Insert(k, 2, i);
    expected.push_back({k, (2u << 8) | i});
  }
  ExpectTree(expected);
}

TEST_F(IndexTreeTest, NodeWithoutChildTailFromAnotherWriter) {
  // Root node with its only child as a normal entry (no tail), as Access may write.
  for (std::int64_t v = 10; v <= 30; v += 10) ASSERT_TRUE(tree_.InsertUnique(LongKey(v), 2, 0));
  const std::uint32_t leaf = store_.AllocatePage();
  owned_.insert(leaf);
  std::copy(store_.ReadPage(root_), store_.ReadPage(root_) + kPageSize, store_.WritablePage(leaf));
  std::uint8_t* root = store_.WritablePage(root_);
  std::fill(root + 8, root + kPageSize, 0);
  root[0] = 0x03;
  const Bytes max = LongKey(30);
  const std::uint8_t entry[] = {max[0], max[1], max[2], max[3], max[4], 0, 0, 2, 0, 0, 0, 0, static_cast<std::uint8_t>(leaf)};
  std::copy(std::begin(entry), std::end(entry), root + 480);
  root[27 + 13 / 8] = 1 << (13 % 8);
  root[2] = static_cast<std::uint8_t>((3616 - 13) & 0xFF);
  root[3] = static_cast<std::uint8_t>((3616 - 13) >> 8);
  tree_.Reload();

  std::vector<CheckedEntry> expected;
  for (std::int64_t v = 10; v <= 30; v += 10) expected.push_back({LongKey(v), 2u << 8});
  // Past the node's last entry: the entry must grow; then enough to split the leaf.
  for (std::int64_t v = 1000; v > 30; --v) {
    ASSERT_TRUE(tree_.InsertUnique(LongKey(v), 3, 0));
    expected.push_back({LongKey(v), 3u << 8});
  }
  ExpectTree(expected);
}

TEST_F(IndexTreeTest, PrefixCompressedPageThatExpandsToManyPages) {
  // A leaf of another writer: 230 keys of 300 bytes sharing 290, stored with a
  // 290-byte prefix. Undoing the prefix needs about 20 pages, more than one node
  // page can point to.
  std::vector<CheckedEntry> expected;
  std::uint8_t* p = store_.WritablePage(root_);
  std::size_t used = 0;
  for (std::uint32_t i = 0; i < 230; ++i) {
    Bytes key(290, 0x41);
    key.resize(300, 0x42);
    key[298] = static_cast<std::uint8_t>(i >> 8);
    key[299] = static_cast<std::uint8_t>(i);
    Bytes stored(key.begin() + (i == 0 ? 0 : 290), key.end());
    const std::uint8_t pointer[] = {0, 0, 9, static_cast<std::uint8_t>(i % 200)};
    stored.insert(stored.end(), std::begin(pointer), std::end(pointer));
    std::copy(stored.begin(), stored.end(), p + 480 + used);
    used += stored.size();
    p[27 + used / 8] |= static_cast<std::uint8_t>(1 << (used % 8));
    expected.push_back({key, (9u << 8) | (i % 200)});
  }
  p[2] = static_cast<std::uint8_t>((3616 - used) & 0xFF);
  p[3] = static_cast<std::uint8_t>((3616 - used) >> 8);
  p[24] = 290 & 0xFF;
  p[25] = 290 >> 8;
  tree_.Reload();
  ASSERT_EQ(tree_.Entries().size(), 230u);

  const Bytes extra(300, 0x40);
  tree_.Insert(extra, 10, 1);
  expected.push_back({extra, (10u << 8) | 1});
  IndexTreeCheck check(store_, kTdef);
  check.Run(root_);
  EXPECT_GE(check.depth(), 2);
  ExpectTree(expected);
}

TEST_F(IndexTreeTest, ReloadAfterPagesWereRestored) {
  for (std::int64_t v = 1; v <= 1000; ++v) ASSERT_TRUE(tree_.InsertUnique(LongKey(v), 3, 0));
  // Keep the pages, insert more (with splits), then put the old pages back as a
  // failed atomic insert would, and continue after Reload.
  std::vector<Bytes> saved;
  for (std::uint32_t p = 0; p < store_.pageCount(); ++p)
    saved.emplace_back(store_.ReadPage(p), store_.ReadPage(p) + kPageSize);
  const std::set<std::uint32_t> ownedBefore = owned_;
  for (std::int64_t v = 1001; v <= 2000; ++v) ASSERT_TRUE(tree_.InsertUnique(LongKey(v), 4, 0));
  for (std::uint32_t p = 0; p < saved.size(); ++p)
    std::copy(saved[p].begin(), saved[p].end(), store_.WritablePage(p));
  owned_ = ownedBefore;
  tree_.Reload();
  std::vector<CheckedEntry> expected;
  for (std::int64_t v = 1; v <= 1000; ++v) expected.push_back({LongKey(v), 3u << 8});
  for (std::int64_t v = 3000; v <= 4000; ++v) {
    ASSERT_TRUE(tree_.InsertUnique(LongKey(v), 5, 0));
    expected.push_back({LongKey(v), 5u << 8});
  }
  ExpectTree(expected);
}

}  // namespace
}  // namespace jet
