#include "jet/index_tree.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

namespace jet {
namespace {

constexpr std::uint8_t kNodePage = 0x03;
constexpr std::uint8_t kLeafPage = 0x04;
constexpr std::size_t kBitmapOffset = 27;
constexpr std::size_t kEntriesOffset = 480;
constexpr std::size_t kMaxEntryBytes = kPageSize - kEntriesOffset;  // 3616
constexpr std::size_t kLeafTrailer = 4;  // row pointer
constexpr std::size_t kNodeTrailer = 8;  // row pointer + child page

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t GetBe32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}
void PutBe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Header fields of an index page.
constexpr std::size_t kFreeSpaceAt = 2;
constexpr std::size_t kTdefAt = 4;
constexpr std::size_t kPrevAt = 12;
constexpr std::size_t kNextAt = 16;
constexpr std::size_t kTailAt = 20;
constexpr std::size_t kPrefixAt = 24;

[[noreturn]] void Damaged(std::uint32_t page, const std::string& what) {
  throw Error(ErrorCode::NotJet4, "index page " + std::to_string(page) + " is damaged: " + what);
}

// Orders (key, row pointer) pairs as Access does: key bytes unsigned, a shorter
// key first when one is a prefix of the other, then the row pointer.
int Compare(std::span<const std::uint8_t> a, std::uint32_t aPointer, std::span<const std::uint8_t> b,
            std::uint32_t bPointer) {
  const std::size_t n = std::min(a.size(), b.size());
  if (n > 0) {
    const int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  if (aPointer != bPointer) return aPointer < bPointer ? -1 : 1;
  return 0;
}

bool SameKey(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace

// A page's entries with any prefix compression undone, back to back in `data`.
struct IndexTree::DecodedPage {
  std::uint32_t number = 0;
  std::uint8_t type = kLeafPage;
  std::uint32_t prev = 0;
  std::uint32_t next = 0;
  std::uint32_t tail = 0;
  Bytes data;
  std::vector<std::uint32_t> ends;  // ends[i]: offset in `data` just past entry i

  bool leaf() const { return type == kLeafPage; }
  std::size_t trailer() const { return leaf() ? kLeafTrailer : kNodeTrailer; }
  std::size_t count() const { return ends.size(); }
  std::size_t begin(std::size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
  std::span<const std::uint8_t> entry(std::size_t i) const {
    return {data.data() + begin(i), ends[i] - begin(i)};
  }
  std::span<const std::uint8_t> key(std::size_t i) const {
    auto e = entry(i);
    return e.first(e.size() - trailer());
  }
  // The key and row pointer (a node entry without its child page).
  std::span<const std::uint8_t> keyAndPointer(std::size_t i) const {
    auto e = entry(i);
    return e.first(e.size() - trailer() + kLeafTrailer);
  }
  std::uint32_t pointer(std::size_t i) const { return GetBe32(data.data() + begin(i) + key(i).size()); }
  std::uint32_t child(std::size_t i) const { return GetBe32(data.data() + ends[i] - 4); }
  std::size_t childCount() const { return count() + (tail != 0 ? 1 : 0); }
  std::uint32_t childAt(std::size_t slot) const { return slot < count() ? child(slot) : tail; }

  void Insert(std::size_t i, std::span<const std::uint8_t> bytes) {
    const std::size_t at = begin(i);
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
    ends.insert(ends.begin() + static_cast<std::ptrdiff_t>(i), static_cast<std::uint32_t>(at));
    for (std::size_t j = i; j < ends.size(); ++j) ends[j] += static_cast<std::uint32_t>(bytes.size());
  }
  void Erase(std::size_t i) {
    const std::size_t at = begin(i);
    const std::size_t length = ends[i] - at;
    data.erase(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + ends[i]);
    ends.erase(ends.begin() + static_cast<std::ptrdiff_t>(i));
    for (std::size_t j = i; j < ends.size(); ++j) ends[j] = static_cast<std::uint32_t>(ends[j] - length);
  }
  void Replace(std::size_t i, std::span<const std::uint8_t> bytes) {
    const Bytes copy(bytes.begin(), bytes.end());  // `bytes` may point into `data`
    const std::size_t at = begin(i);
    const std::ptrdiff_t delta = static_cast<std::ptrdiff_t>(copy.size()) - static_cast<std::ptrdiff_t>(ends[i] - at);
    data.erase(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + ends[i]);
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), copy.begin(), copy.end());
    for (std::size_t j = i; j < ends.size(); ++j) ends[j] = static_cast<std::uint32_t>(ends[j] + delta);
  }
};

// One step of a descent: the page and which child slot was taken (count() = tail).
struct IndexTree::Level {
  DecodedPage page;
  std::size_t slot = 0;
  bool raisesMax = false;  // no tail and the probe is past every entry: the entry grows
};

struct IndexTree::Probe {
  std::span<const std::uint8_t> key;
  std::uint32_t pointer = 0;
};

// Page contents decided during one insert, written only once nothing can fail.
class IndexTree::PendingWrites {
 public:
  struct Patch {
    std::uint32_t page;
    std::size_t offset;
    std::uint32_t value;
  };

  void Page(const DecodedPage& page, std::size_t first, std::size_t last, std::uint32_t tdefPage,
            std::uint32_t number, std::uint8_t type, std::uint32_t prev, std::uint32_t next, std::uint32_t tail) {
    Bytes image(kPageSize, 0);
    std::uint8_t* p = image.data();
    p[0] = type;
    p[1] = 0x01;
    Put32(p + kTdefAt, tdefPage);
    Put32(p + kPrevAt, prev);
    Put32(p + kNextAt, next);
    Put32(p + kTailAt, tail);
    const std::size_t from = page.begin(first);
    const std::size_t to = last == 0 ? 0 : page.ends[last - 1];
    const std::size_t size = last > first ? to - from : 0;
    if (size > kMaxEntryBytes) throw std::logic_error("index page overfilled");
    if (size > 0) std::memcpy(p + kEntriesOffset, page.data.data() + from, size);
    for (std::size_t i = first; i < last; ++i) {
      const std::size_t end = page.ends[i] - from;
      p[kBitmapOffset + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
    }
    Put16(p + kFreeSpaceAt, static_cast<std::uint16_t>(kMaxEntryBytes - size));
    pages_.emplace_back(number, std::move(image));
  }
  void Link(std::uint32_t page, std::size_t offset, std::uint32_t value) { patches_.push_back({page, offset, value}); }

  void Apply(PageStore& store) {
    for (auto& [number, image] : pages_) std::memcpy(store.WritablePage(number), image.data(), kPageSize);
    for (const Patch& patch : patches_) Put32(store.WritablePage(patch.page) + patch.offset, patch.value);
  }

 private:
  std::vector<std::pair<std::uint32_t, Bytes>> pages_;
  std::vector<Patch> patches_;
};

namespace {

void WriteEmptyLeaf(std::uint8_t* p, std::uint32_t tdefPage) {
  std::memset(p, 0, kPageSize);
  p[0] = kLeafPage;
  p[1] = 0x01;
  Put16(p + kFreeSpaceAt, static_cast<std::uint16_t>(kMaxEntryBytes));
  Put32(p + kTdefAt, tdefPage);
}

}  // namespace

std::uint32_t IndexTree::CreateEmpty(PageStore& store, std::uint32_t tdefPage) {
  const std::uint32_t page = store.AllocatePage();
  WriteEmptyLeaf(store.WritablePage(page), tdefPage);
  return page;
}

void IndexTree::Clear() {
  WriteEmptyLeaf(store_.WritablePage(root_), tdefPage_);
  Reload();
}

IndexTree::IndexTree(PageStore& store, std::uint32_t rootPage, std::uint32_t tdefPage)
    : store_(store), root_(rootPage), tdefPage_(tdefPage) {}

void IndexTree::SetPageAllocatedCallback(std::function<void(std::uint32_t)> onPageAllocated) {
  onPageAllocated_ = std::move(onPageAllocated);
}

void IndexTree::Reload() {
  rightPath_.clear();
  rightPathKnown_ = false;
}

std::uint32_t IndexTree::Allocate() {
  const std::uint32_t page = store_.AllocatePage();
  if (onPageAllocated_) onPageAllocated_(page);
  return page;
}

void IndexTree::ReadDecoded(std::uint32_t number, DecodedPage& out) {
  const std::uint8_t* p = store_.ReadPage(number);
  if (p[0] != kNodePage && p[0] != kLeafPage) Damaged(number, "not an index page");
  out.number = number;
  out.type = p[0];
  out.prev = Get32(p + kPrevAt);
  out.next = Get32(p + kNextAt);
  out.tail = out.type == kNodePage ? Get32(p + kTailAt) : 0;
  const std::size_t freeSpace = Get16(p + kFreeSpaceAt);
  if (freeSpace > kMaxEntryBytes) Damaged(number, "free space out of range");
  const std::size_t used = kMaxEntryBytes - freeSpace;
  const std::size_t prefix = Get16(p + kPrefixAt);
  out.data.clear();
  out.ends.clear();
  const std::uint8_t* entries = p + kEntriesOffset;
  // Without a prefix the entries are copied as they stand; only the ends are read.
  if (prefix == 0) out.data.assign(entries, entries + used);
  std::size_t start = 0;
  for (std::size_t byte = 0; byte * 8 <= used && byte < kEntriesOffset - kBitmapOffset; ++byte) {
    unsigned bits = p[kBitmapOffset + byte];
    while (bits != 0) {
      const int bit = __builtin_ctz(bits);
      bits &= bits - 1;
      const std::size_t end = byte * 8 + static_cast<std::size_t>(bit);
      if (end > used) break;  // stale bits in the slack space
      if (end <= start) Damaged(number, "entry bitmap out of range");
      if (prefix == 0) {
        out.ends.push_back(static_cast<std::uint32_t>(end));
      } else {
        if (!out.ends.empty()) {
          if (prefix > out.ends[0]) Damaged(number, "prefix longer than the first entry");
          out.data.insert(out.data.end(), out.data.begin(), out.data.begin() + static_cast<std::ptrdiff_t>(prefix));
        }
        out.data.insert(out.data.end(), entries + start, entries + end);
        out.ends.push_back(static_cast<std::uint32_t>(out.data.size()));
      }
      start = end;
    }
  }
  if (start != used) Damaged(number, "entry bitmap does not match the free space");
  const std::size_t trailer = out.trailer();
  for (std::size_t i = 0; i < out.count(); ++i)
    if (out.ends[i] - out.begin(i) < trailer + 1) Damaged(number, "entry too short");
}

void IndexTree::Descend(const Probe& probe, std::vector<Level>& path) {
  path.clear();
  std::uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged(root_, "tree too deep (cycle?)");
    path.emplace_back();
    Level& level = path.back();
    ReadDecoded(page, level.page);
    const DecodedPage& pg = level.page;
    if (pg.leaf()) return;
    // First entry not below the probe.
    std::size_t lo = 0, hi = pg.count();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (Compare(pg.key(mid), pg.pointer(mid), probe.key, probe.pointer) < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo < pg.count()) {
      level.slot = lo;
    } else if (pg.tail != 0) {
      level.slot = pg.count();
    } else if (pg.count() > 0) {
      level.slot = pg.count() - 1;
      level.raisesMax = true;
    } else {
      Damaged(page, "node page without children");
    }
    page = pg.childAt(level.slot);
  }
}

bool IndexTree::Contains(std::span<const std::uint8_t> key) {
  std::vector<Level> path;
  Descend(Probe{key, 0}, path);
  const DecodedPage& leaf = path.back().page;
  for (std::size_t i = 0; i < leaf.count(); ++i) {
    const int c = Compare(leaf.key(i), leaf.pointer(i), key, 0);
    if (c >= 0) return SameKey(leaf.key(i), key);
  }
  return false;
}

void IndexTree::Insert(std::span<const std::uint8_t> key, std::uint32_t dataPage, std::uint8_t row) {
  InsertEntry(key, dataPage, row, false);
}

bool IndexTree::InsertUnique(std::span<const std::uint8_t> key, std::uint32_t dataPage, std::uint8_t row) {
  return InsertEntry(key, dataPage, row, true);
}

void IndexTree::FindRightPath() {
  rightPathKnown_ = true;
  rightPath_.clear();
  std::uint32_t page = root_;
  for (int depth = 0; depth <= 32; ++depth) {
    const std::uint8_t* p = store_.ReadPage(page);
    rightPath_.push_back(page);
    if (p[0] == kLeafPage) {
      if (Get16(p + kPrefixAt) != 0 || Get32(p + kNextAt) != 0) break;  // not ours to append to directly
      return;
    }
    if (p[0] != kNodePage) break;
    const std::uint32_t tail = Get32(p + kTailAt);
    if (tail == 0) break;  // the last child carries an entry that would have to grow
    page = tail;
  }
  rightPath_.clear();
}

std::optional<bool> IndexTree::TryAppend(std::span<const std::uint8_t> key, std::uint32_t pointer, bool unique) {
  if (!rightPathKnown_) FindRightPath();
  if (rightPath_.empty()) return std::nullopt;
  const std::uint32_t leafPage = rightPath_.back();
  const std::uint8_t* p = store_.ReadPage(leafPage);
  if (p[0] != kLeafPage || Get32(p + kNextAt) != 0 || Get16(p + kPrefixAt) != 0) {
    Reload();
    return std::nullopt;
  }
  const std::size_t freeSpace = Get16(p + kFreeSpaceAt);
  if (freeSpace > kMaxEntryBytes) Damaged(leafPage, "free space out of range");
  const std::size_t used = kMaxEntryBytes - freeSpace;
  const std::size_t length = key.size() + kLeafTrailer;
  if (used + length > kMaxEntryBytes) return std::nullopt;
  if (used > 0) {
    // The last entry starts after the previous set bit of the entry bitmap.
    std::size_t start = used - 1;
    while (start > 0 && !(p[kBitmapOffset + start / 8] & (1u << (start % 8)))) --start;
    if (used - start < kLeafTrailer + 1) Damaged(leafPage, "entry too short");
    const std::span<const std::uint8_t> lastKey(p + kEntriesOffset + start, used - start - kLeafTrailer);
    const std::uint32_t lastPointer = GetBe32(p + kEntriesOffset + used - kLeafTrailer);
    const int c = Compare(key, pointer, lastKey, lastPointer);
    if (unique && SameKey(key, lastKey)) return false;
    if (c <= 0) return std::nullopt;
  }
  const std::size_t end = used + length;
  // The append changes the entry's bytes, one bitmap byte and the free-space
  // count: only those are saved for an undo, not the whole page.
  const PageStore::ByteRange changed[] = {
      {kEntriesOffset + used, length}, {kBitmapOffset + end / 8, 1}, {kFreeSpaceAt, 2}};
  std::uint8_t* w = store_.WritablePageBytes(leafPage, changed);
  std::uint8_t* at = w + kEntriesOffset + used;
  if (!key.empty()) std::memcpy(at, key.data(), key.size());
  PutBe32(at + key.size(), pointer);
  w[kBitmapOffset + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
  Put16(w + kFreeSpaceAt, static_cast<std::uint16_t>(kMaxEntryBytes - end));
  return true;
}

bool IndexTree::InsertEntry(std::span<const std::uint8_t> key, std::uint32_t dataPage, std::uint8_t row,
                            bool unique) {
  if (key.size() > kMaxKeyLength)
    throw Error(ErrorCode::LimitExceeded, "index key of " + std::to_string(key.size()) +
                                              " bytes is longer than the " + std::to_string(kMaxKeyLength) +
                                              " bytes an index entry can hold");
  if (dataPage > 0xFFFFFF) throw Error(ErrorCode::FileFull, "row pointer beyond the file size limit");
  const std::uint32_t pointer = (dataPage << 8) | row;

  if (std::optional<bool> appended = TryAppend(key, pointer, unique)) return *appended;

  std::vector<Level> path;
  Descend(Probe{key, unique ? 0u : pointer}, path);
  DecodedPage& leaf = path.back().page;
  std::size_t pos = 0;
  {
    std::size_t lo = 0, hi = leaf.count();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (Compare(leaf.key(mid), leaf.pointer(mid), key, unique ? 0u : pointer) < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    pos = lo;
  }
  if (pos < leaf.count() && SameKey(leaf.key(pos), key)) {
    if (unique) return false;
    if (leaf.pointer(pos) == pointer)
      throw Error(ErrorCode::DuplicateKey, "the index already holds this entry for row " + std::to_string(row) +
                                               " of page " + std::to_string(dataPage));
  }

  Bytes entry(key.begin(), key.end());
  entry.resize(key.size() + kLeafTrailer);
  PutBe32(entry.data() + key.size(), pointer);
  const bool appendedAtEnd = pos == leaf.count();
  leaf.Insert(pos, entry);

  // Bottom-up: write each changed page, splitting the ones that overflow.
  PendingWrites writes;
  auto nodeEntry = [](std::span<const std::uint8_t> keyAndPointer, std::uint32_t child) {
    Bytes e(keyAndPointer.begin(), keyAndPointer.end());
    e.resize(e.size() + 4);
    PutBe32(e.data() + e.size() - 4, child);
    return e;
  };
  std::optional<Pieces> split;
  const std::size_t leafLevel = path.size() - 1;
  for (std::size_t li = path.size(); li-- > 0;) {
    Level& level = path[li];
    DecodedPage& pg = level.page;
    bool changed = li == leafLevel;
    bool atEnd = li == leafLevel && appendedAtEnd;
    if (li < leafLevel) {
      const std::size_t slot = level.slot;
      if (level.raisesMax) {
        pg.Replace(slot, nodeEntry(entry, pg.child(slot)));
        changed = true;
      }
      if (split) {
        // The split child's pieces take its place; the last keeps its maximum.
        if (slot == pg.count()) {
          for (const auto& [max, page] : split->left) pg.Insert(pg.count(), nodeEntry(max, page));
          pg.tail = split->last;
          atEnd = true;
        } else {
          const Bytes oldMax(pg.keyAndPointer(slot).begin(), pg.keyAndPointer(slot).end());
          pg.Replace(slot, nodeEntry(split->left[0].first, split->left[0].second));
          for (std::size_t i = 1; i < split->left.size(); ++i)
            pg.Insert(slot + i, nodeEntry(split->left[i].first, split->left[i].second));
          pg.Insert(slot + split->left.size(), nodeEntry(oldMax, split->last));
        }
        changed = true;
      }
      split.reset();
    }
    if (!changed) continue;
    // A node with several children keeps the last one as its child tail (pages of
    // other writers may come without); the parent's entry still holds the maximum.
    if (!pg.leaf() && pg.tail == 0 && pg.count() >= 2) {
      pg.tail = pg.child(pg.count() - 1);
      pg.Erase(pg.count() - 1);
    }
    if (pg.data.size() <= kMaxEntryBytes) {
      writes.Page(pg, 0, pg.count(), tdefPage_, pg.number, pg.type, pg.prev, pg.next, pg.tail);
      continue;
    }
    const bool childrenAreNodes = !pg.leaf() && li + 2 < path.size();
    if (li > 0) {
      split = SplitPage(pg, true, childrenAreNodes, atEnd, writes);
      continue;
    }
    // The root keeps its page number: its content moves to new pages below it,
    // as many levels as needed (pages of other writers may expand a lot when
    // their prefix compression is undone).
    Pieces pieces = SplitPage(pg, false, childrenAreNodes, atEnd, writes);
    bool piecesAreNodes = !pg.leaf();
    while (true) {
      DecodedPage root;
      root.number = root_;
      root.type = kNodePage;
      for (const auto& [max, page] : pieces.left) root.Insert(root.count(), nodeEntry(max, page));
      root.tail = pieces.last;
      if (root.data.size() <= kMaxEntryBytes) {
        writes.Page(root, 0, root.count(), tdefPage_, root_, kNodePage, 0, 0, root.tail);
        break;
      }
      pieces = SplitPage(root, false, piecesAreNodes, false, writes);
      piecesAreNodes = true;
    }
  }
  writes.Apply(store_);
  Reload();
  return true;
}

IndexTree::Pieces IndexTree::SplitPage(const DecodedPage& pg, bool keepNumber, bool childrenAreNodes, bool atEnd,
                                       PendingWrites& writes) {
  // Chunk i holds entries [starts[i], starts[i+1]). For a node, a chunk's last
  // entry becomes that page's child tail, except on the last chunk, which keeps
  // the page's own tail.
  const std::size_t n = pg.count();
  const bool isLeaf = pg.leaf();
  auto bytes = [&](std::size_t from, std::size_t to) { return to > from ? pg.ends[to - 1] - pg.begin(from) : 0; };
  auto fitsInner = [&](std::size_t from, std::size_t to) {  // a chunk followed by others
    if (to >= n) return false;
    return isLeaf ? to - from >= 1 && bytes(from, to) <= kMaxEntryBytes
                  : to - from >= 2 && bytes(from, to - 1) <= kMaxEntryBytes;
  };
  auto fitsLast = [&](std::size_t from) { return n - from >= 1 && bytes(from, n) <= kMaxEntryBytes; };

  std::vector<std::size_t> starts{0};
  if (atEnd && pg.next == 0 && fitsInner(0, n - 1) && fitsLast(n - 1)) {
    starts.push_back(n - 1);  // appends at the right edge leave the left page full
  } else {
    std::size_t half = 1;
    while (half < n && pg.ends[half - 1] < pg.data.size() / 2) ++half;
    for (std::size_t d = 0; d < n && starts.size() == 1; ++d) {
      if (half + d < n && fitsInner(0, half + d) && fitsLast(half + d))
        starts.push_back(half + d);
      else if (half >= d && fitsInner(0, half - d) && fitsLast(half - d))
        starts.push_back(half - d);
    }
    if (starts.size() == 1) {  // no two halves fit: fill pages one after another
      std::size_t from = 0;
      while (!fitsLast(from)) {
        std::size_t to = from + 1;
        while (fitsInner(from, to + 1)) ++to;
        if (!fitsInner(from, to)) throw std::logic_error("index page cannot be split");
        starts.push_back(to);
        from = to;
      }
    }
  }

  const std::size_t chunks = starts.size();
  std::vector<std::uint32_t> numbers(chunks);
  for (std::size_t i = 0; i < chunks; ++i) numbers[i] = i == 0 && keepNumber ? pg.number : Allocate();
  Pieces pieces;
  for (std::size_t i = 0; i < chunks; ++i) {
    const std::size_t from = starts[i];
    const bool last = i + 1 == chunks;
    const std::size_t to = last ? n : starts[i + 1];
    const std::uint32_t prev = i > 0 ? numbers[i - 1] : keepNumber ? pg.prev : 0;
    const std::uint32_t next = !last ? numbers[i + 1] : keepNumber ? pg.next : 0;
    if (last) {
      writes.Page(pg, from, n, tdefPage_, numbers[i], pg.type, prev, next, pg.tail);
      pieces.last = numbers[i];
      continue;
    }
    const std::uint32_t tail = isLeaf ? 0 : pg.child(to - 1);
    writes.Page(pg, from, isLeaf ? to : to - 1, tdefPage_, numbers[i], pg.type, prev, next, tail);
    const auto max = pg.keyAndPointer(to - 1);
    pieces.left.emplace_back(Bytes(max.begin(), max.end()), numbers[i]);
    // Node pages are linked only to siblings under the same parent.
    if (childrenAreNodes) {
      writes.Link(tail, kNextAt, 0);
      writes.Link(pg.child(to), kPrevAt, 0);
    }
  }
  if (keepNumber && pg.next != 0) writes.Link(pg.next, kPrevAt, pieces.last);
  return pieces;
}

void IndexTree::ForEach(const std::function<void(const IndexEntry&)>& visit) {
  DecodedPage pg;
  std::uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged(root_, "tree too deep (cycle?)");
    ReadDecoded(page, pg);
    if (pg.leaf()) break;
    if (pg.childCount() == 0) Damaged(page, "node page without children");
    page = pg.childAt(0);
  }
  IndexEntry e;
  std::size_t visited = 0;
  while (true) {
    for (std::size_t i = 0; i < pg.count(); ++i) {
      const auto key = pg.key(i);
      e.key.assign(key.begin(), key.end());
      const std::uint32_t pointer = pg.pointer(i);
      e.dataPage = pointer >> 8;
      e.row = static_cast<std::uint8_t>(pointer);
      visit(e);
    }
    if (pg.next == 0) break;
    if (++visited > 0x80000) Damaged(pg.number, "leaf chain too long (cycle?)");
    const std::uint32_t next = pg.next;
    ReadDecoded(next, pg);
    if (!pg.leaf()) Damaged(next, "leaf chain reaches a node page");
  }
}

std::vector<IndexEntry> IndexTree::Entries() {
  std::vector<IndexEntry> all;
  ForEach([&](const IndexEntry& e) { all.push_back(e); });
  return all;
}

namespace {

// Calls `visit` with the child page at the end of each entry of a node page (the
// bitmap marks where entries end), without decoding the entries.
template <typename Visit>
void ForEachNodeChild(std::uint8_t* page, Visit&& visit) {
  const std::size_t used = kMaxEntryBytes - std::min<std::size_t>(Get16(page + kFreeSpaceAt), kMaxEntryBytes);
  for (std::size_t byte = 0; byte * 8 <= used && kBitmapOffset + byte < kEntriesOffset; ++byte) {
    for (unsigned bits = page[kBitmapOffset + byte]; bits != 0; bits &= bits - 1) {
      const std::size_t end = byte * 8 + static_cast<std::size_t>(__builtin_ctz(bits));
      if (end > used) return;  // stale bits in the slack space
      if (end >= 4) visit(page + kEntriesOffset + end - 4);
    }
  }
}

}  // namespace

std::vector<std::uint32_t> IndexTree::Relocate(const std::function<std::uint32_t()>& allocate) {
  // Every page of the tree, root first, read without decoding entries.
  std::vector<std::uint32_t> pages{root_};
  std::uint8_t copy[kPageSize];
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (pages.size() > 0x80000) Damaged(root_, "too many pages (cycle?)");
    std::memcpy(copy, store_.ReadPage(pages[i]), kPageSize);
    if (copy[0] != kNodePage && copy[0] != kLeafPage) Damaged(pages[i], "not an index page");
    if (copy[0] != kNodePage) continue;
    ForEachNodeChild(copy, [&](const std::uint8_t* child) { pages.push_back(GetBe32(child)); });
    if (Get32(copy + kTailAt) != 0) pages.push_back(Get32(copy + kTailAt));
  }
  std::unordered_map<std::uint32_t, std::uint32_t> moved;
  for (std::uint32_t page : pages)
    if (!store_.Unreferenced(page)) moved.emplace(page, allocate());
  if (moved.empty()) return pages;
  auto to = [&](std::uint32_t page) {
    auto it = moved.find(page);
    return it == moved.end() ? page : it->second;
  };
  for (std::uint32_t& page : pages) {
    std::memcpy(copy, store_.ReadPage(page), kPageSize);
    for (std::size_t at : {kPrevAt, kNextAt, kTailAt})
      if (Get32(copy + at) != 0) Put32(copy + at, to(Get32(copy + at)));
    if (copy[0] == kNodePage) ForEachNodeChild(copy, [&](std::uint8_t* child) { PutBe32(child, to(GetBe32(child))); });
    page = to(page);
    std::memcpy(store_.WritablePage(page), copy, kPageSize);
  }
  for (const auto& [old, copied] : moved) {
    (void)copied;
    store_.DiscardChanges(old);
    store_.ReleasePage(old);
  }
  root_ = to(root_);
  Reload();
  return pages;
}

std::vector<std::uint32_t> IndexTree::Pages() {
  std::vector<std::uint32_t> pages{root_};
  DecodedPage pg;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (pages.size() > 0x80000) Damaged(root_, "too many pages (cycle?)");
    ReadDecoded(pages[i], pg);
    if (pg.leaf()) continue;
    for (std::size_t slot = 0; slot < pg.childCount(); ++slot) pages.push_back(pg.childAt(slot));
  }
  return pages;
}

}  // namespace jet
