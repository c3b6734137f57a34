#include "jet/index_bulk_build.h"

#include <algorithm>
#include <cstring>

#include "jet/format.h"

namespace jet {

using namespace format;

namespace {

constexpr std::uint8_t kNodePage = 0x03;
constexpr std::uint8_t kLeafPage = 0x04;
constexpr std::size_t kBitmapOffset = 27;
constexpr std::size_t kEntriesOffset = 480;
constexpr std::size_t kMaxEntryBytes = kPageSize - kEntriesOffset;  // 3616

void PutBe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// One page of the tree being built: its entries back to back, where each ends, and
// the key and row pointer of the last entry of its subtree (its parent's entry).
struct PageImage {
  Bytes data;
  std::vector<std::uint32_t> ends;
  std::uint32_t tail = 0;
  Bytes max;

  void Add(const Bytes& entry) {
    data.insert(data.end(), entry.begin(), entry.end());
    ends.push_back(static_cast<std::uint32_t>(data.size()));
  }
};

void Write(PageStore& store, std::uint32_t number, const PageImage& image, std::uint8_t type, std::uint32_t tdefPage,
           std::uint32_t prev, std::uint32_t next) {
  std::uint8_t* p = store.WritablePage(number);
  std::memset(p, 0, kPageSize);
  p[0] = type;
  p[1] = 0x01;
  Put16(p + 2, static_cast<std::uint32_t>(kMaxEntryBytes - image.data.size()));
  Put32(p + 4, tdefPage);
  Put32(p + 12, prev);
  Put32(p + 16, next);
  Put32(p + 20, type == kNodePage ? image.tail : 0);
  if (!image.data.empty()) std::memcpy(p + kEntriesOffset, image.data.data(), image.data.size());
  for (std::uint32_t end : image.ends) p[kBitmapOffset + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
}

}  // namespace

bool IndexEntryLess(const IndexEntry& a, const IndexEntry& b) {
  const std::size_t n = std::min(a.key.size(), b.key.size());
  if (n > 0) {
    const int c = std::memcmp(a.key.data(), b.key.data(), n);
    if (c != 0) return c < 0;
  }
  if (a.key.size() != b.key.size()) return a.key.size() < b.key.size();
  if (a.dataPage != b.dataPage) return a.dataPage < b.dataPage;
  return a.row < b.row;
}

void BulkBuildIndex(PageStore& store, std::uint32_t root, std::uint32_t tdefPage, std::vector<IndexEntry>& entries,
                    const std::function<std::uint32_t()>& allocate) {
  // A new index's entries come sorted already (its uniqueness was checked on them).
  if (!std::is_sorted(entries.begin(), entries.end(), IndexEntryLess))
    std::sort(entries.begin(), entries.end(), IndexEntryLess);

  // Leaves, filled one after another.
  std::vector<PageImage> level(1);
  Bytes entry;
  for (const IndexEntry& e : entries) {
    entry.assign(e.key.begin(), e.key.end());
    entry.resize(e.key.size() + 4);
    PutBe32(entry.data() + e.key.size(), (e.dataPage << 8) | e.row);
    if (level.back().data.size() + entry.size() > kMaxEntryBytes) level.emplace_back();
    level.back().Add(entry);
    level.back().max = entry;
  }
  bool leaves = true;
  while (true) {
    const std::uint8_t type = leaves ? kLeafPage : kNodePage;
    if (level.size() == 1) {
      Write(store, root, level[0], type, tdefPage, 0, 0);
      return;
    }
    std::vector<std::uint32_t> numbers;
    for (std::size_t i = 0; i < level.size(); ++i) numbers.push_back(allocate());
    // Group the pages under parents: entries for all children but the last of a
    // group, which becomes the parent's child tail.
    std::vector<std::size_t> groupOf(level.size());
    std::vector<PageImage> parents;
    for (std::size_t first = 0; first < level.size();) {
      std::size_t last = first;
      std::size_t bytes = 0;
      while (last + 1 < level.size() && bytes + level[last].max.size() + 4 <= kMaxEntryBytes) {
        bytes += level[last].max.size() + 4;
        ++last;
      }
      PageImage parent;
      for (std::size_t child = first; child <= last; ++child) {
        groupOf[child] = parents.size();
        if (child == last && last > first) {
          parent.tail = numbers[child];
          break;
        }
        entry = level[child].max;
        entry.resize(entry.size() + 4);
        PutBe32(entry.data() + entry.size() - 4, numbers[child]);
        parent.Add(entry);
      }
      parent.max = level[last].max;
      parents.push_back(std::move(parent));
      first = last + 1;
    }
    for (std::size_t i = 0; i < level.size(); ++i) {
      // Leaves are linked across the level, node pages only under the same parent.
      bool linkPrev = i > 0 && (leaves || groupOf[i - 1] == groupOf[i]);
      bool linkNext = i + 1 < level.size() && (leaves || groupOf[i + 1] == groupOf[i]);
      Write(store, numbers[i], level[i], type, tdefPage, linkPrev ? numbers[i - 1] : 0, linkNext ? numbers[i + 1] : 0);
    }
    level = std::move(parents);
    leaves = false;
  }
}

}  // namespace jet
