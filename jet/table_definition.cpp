#include "jet/table_definition.h"

#include <algorithm>
#include <cstring>

namespace jet {

using namespace format;

std::uint16_t TableDefinition::fixedSize() const {
  std::uint32_t size = 0;
  for (const auto& c : columns)
    if (c.fixed() && !c.isBoolean()) size = std::max<std::uint32_t>(size, c.fixedOffset + c.length);
  return static_cast<std::uint16_t>(size);
}

std::uint16_t TableDefinition::variableCount() const {
  std::uint16_t n = 0;
  for (const auto& c : columns)
    if (!c.fixed()) ++n;
  return n;
}

const LongValueMaps* TableDefinition::longValueMapsFor(std::uint16_t column) const {
  for (const auto& m : longValueMaps)
    if (m.column == column) return &m;
  return nullptr;
}

namespace {

constexpr std::size_t kSpareMapMarkerAt = 28;
constexpr std::uint32_t kSpareMapMarker = 0x53564C54;  // "TLVS"
constexpr std::size_t kInDoubtAt = 25;
constexpr std::uint8_t kInDoubtMark = 0x5A;

class Writer {
 public:
  void U8(std::uint32_t v) { b.push_back(static_cast<std::uint8_t>(v)); }
  void U16(std::uint32_t v) {
    U8(v);
    U8(v >> 8);
  }
  void U32(std::uint32_t v) {
    U16(v);
    U16(v >> 16);
  }
  void Zeros(std::size_t n) { b.insert(b.end(), n, 0); }
  void Name(const std::u16string& s) {
    U16(static_cast<std::uint32_t>(s.size() * 2));
    for (char16_t c : s) U16(c);
  }
  std::vector<std::uint8_t> b;
};

class Reader {
 public:
  explicit Reader(const std::vector<std::uint8_t>& b) : b_(b) {}
  void Need(std::size_t n) const {
    if (pos_ + n > b_.size()) throw Error(ErrorCode::NotJet4, "Damaged table definition (truncated)");
  }
  std::uint8_t U8() {
    Need(1);
    return b_[pos_++];
  }
  std::uint16_t U16() {
    Need(2);
    auto v = Get16(&b_[pos_]);
    pos_ += 2;
    return v;
  }
  std::uint32_t U32() {
    Need(4);
    auto v = Get32(&b_[pos_]);
    pos_ += 4;
    return v;
  }
  void Skip(std::size_t n) {
    Need(n);
    pos_ += n;
  }
  std::u16string Name() {
    std::size_t len = U16();
    Need(len);
    std::u16string s;
    for (std::size_t i = 0; i + 1 < len; i += 2) s.push_back(static_cast<char16_t>(Get16(&b_[pos_ + i])));
    pos_ += len;
    return s;
  }
  std::size_t pos() const { return pos_; }
  std::size_t size() const { return b_.size(); }
  std::uint16_t Peek16() const { return pos_ + 2 <= b_.size() ? Get16(&b_[pos_]) : 0xFFFF; }

 private:
  const std::vector<std::uint8_t>& b_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeTableDefinition(const TableDefinition& def) {
  Writer w;
  w.U8(kPageTdef);
  w.U8(0x01);
  w.U16(0);  // free space, set per page when written
  w.U32(0);  // next page
  w.U32(0);  // length, patched below
  w.U32(kTdefMagic);
  w.U32(def.rowCount);
  w.U32(def.autoNumber);
  w.U8(0x01);
  w.Zeros(15);
  if (def.spareOwnedMap.page != 0) {
    Put32(&w.b[kSpareMapMarkerAt], kSpareMapMarker);
    Put32(&w.b[kSpareMapMarkerAt + 4], def.spareOwnedMap.Encode());
    Put32(&w.b[kSpareMapMarkerAt + 8], def.spareTailPage);
  }
  w.U8(def.tableType);
  w.U16(def.maxColumns);
  w.U16(def.variableCount());
  w.U16(static_cast<std::uint32_t>(def.columns.size()));
  w.U32(static_cast<std::uint32_t>(def.logicalIndexes.size()));
  w.U32(static_cast<std::uint32_t>(def.realIndexes.size()));
  w.U32(def.ownedMap.Encode());
  w.U32(def.freeMap.Encode());
  for (const auto& r : def.realIndexes) {
    w.U32(r.entryCount);
    w.U32(r.uniqueCount);
    w.U32(0);
  }
  for (const auto& c : def.columns) {
    w.U8(c.type);
    w.U32(kTdefMagic);
    w.U16(c.number);
    w.U16(c.varIndex);
    w.U16(c.number);
    for (std::uint8_t m : c.misc) w.U8(m);
    // misc[2] is the byte at offset 13, misc[3] the sort order version at 14
    w.U8(c.flags);
    w.U8(c.extraFlags);
    w.U32(0);
    w.U16(c.fixed() ? c.fixedOffset : 0);
    w.U16(c.length);
  }
  for (const auto& c : def.columns) w.Name(c.name);
  for (const auto& r : def.realIndexes) {
    w.U32(kRealIndexMagic);
    for (std::size_t i = 0; i < kMaxIndexColumns; ++i) {
      if (i < r.columns.size()) {
        w.U16(r.columns[i].column);
        w.U8(r.columns[i].ascending ? 1 : 0);
      } else {
        w.U16(0xFFFF);
        w.U8(0);
      }
    }
    w.U32(r.map.Encode());
    w.U32(r.root);
    w.U32(0);
    w.U8(r.flags);
    w.Zeros(5);
  }
  for (const auto& l : def.logicalIndexes) {
    w.U32(kTdefMagic);
    w.U32(l.number);
    w.U32(l.realNumber);
    w.U8(l.relatedTableType);
    w.U32(l.relatedIndex);
    w.U32(l.relatedTablePage);
    w.U8(l.cascadeUpdate);
    w.U8(l.cascadeDelete);
    w.U8(l.kind);
    w.U32(0);
  }
  for (const auto& l : def.logicalIndexes) w.Name(l.name);
  for (const auto& m : def.longValueMaps) {
    w.U16(m.column);
    w.U32(m.owned.Encode());
    w.U32(m.free.Encode());
  }
  w.U16(0xFFFF);
  Put32(&w.b[8], static_cast<std::uint32_t>(w.b.size()));
  return std::move(w.b);
}

namespace {

void WriteDefinitionPages(PageStore& store, const std::vector<std::uint32_t>& pages,
                          const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadDefinitionBytes(PageStore& store, std::uint32_t page, std::vector<std::uint32_t>* pages);
void WriteDefinitionCopyOnWrite(PageStore& store, std::uint32_t firstPage, const std::vector<std::uint32_t>& old,
                                const std::vector<std::uint8_t>& bytes);

}  // namespace

void WriteTableDefinition(PageStore& store, std::uint32_t firstPage, const std::vector<std::uint8_t>& bytes) {
  // The first page holds the buffer's first 4096 bytes, each continuation page 4088 more.
  std::vector<std::uint32_t> pages{firstPage};
  for (std::size_t done = kPageSize; done < bytes.size(); done += kPageSize - 8) pages.push_back(store.AllocatePage());
  WriteDefinitionPages(store, pages, bytes);
}

void RewriteTableDefinition(PageStore& store, std::uint32_t firstPage, const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint32_t> old;
  ReadDefinitionBytes(store, firstPage, &old);
  WriteDefinitionCopyOnWrite(store, firstPage, old, bytes);
}

namespace {

void WriteDefinitionPages(PageStore& store, const std::vector<std::uint32_t>& pages,
                          const std::vector<std::uint8_t>& bytes) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    std::uint8_t* p = store.WritablePage(pages[i]);
    std::memset(p, 0, kPageSize);
    std::size_t used;
    if (i == 0) {
      used = std::min(bytes.size(), kPageSize);
      std::memcpy(p, bytes.data(), used);
      pos = used;
    } else {
      std::size_t n = std::min(bytes.size() - pos, kPageSize - 8);
      std::memcpy(p + 8, bytes.data() + pos, n);
      pos += n;
      used = n + 8;
    }
    p[0] = kPageTdef;
    p[1] = 0x01;
    Put16(p + 2, used + 8 > kPageSize ? 0 : static_cast<std::uint32_t>(kPageSize - used - 8));
    Put32(p + 4, i + 1 < pages.size() ? pages[i + 1] : 0);
  }
}

}  // namespace

namespace {

// The definition's bytes as one buffer (first page whole, continuation pages
// without their 8-byte headers), and the pages it was read from.
std::vector<std::uint8_t> ReadDefinitionBytes(PageStore& store, std::uint32_t page, std::vector<std::uint32_t>* pages) {
  std::vector<std::uint8_t> buf;
  std::uint32_t current = page;
  for (int guard = 0; current != 0; ++guard) {
    const std::uint8_t* p = store.ReadPage(current);
    if (p[0] != kPageTdef || guard > 64) {
      throw Error(ErrorCode::NotJet4, "Page " + std::to_string(current) + " is not a table definition");
    }
    if (pages) pages->push_back(current);
    if (guard == 0)
      buf.insert(buf.end(), p, p + kPageSize);
    else
      buf.insert(buf.end(), p + 8, p + kPageSize);
    current = Get32(p + 4);
  }
  // A catalog row of a damaged file may name page 0.
  if (buf.empty()) throw Error(ErrorCode::NotJet4, "A table definition is on page 0");
  return buf;
}

// Where the fields that change with every commit stand in the buffer.
struct FieldPositions {
  std::vector<std::size_t> realIndexes;    // each: map row, then root page
  std::vector<std::size_t> longValueMaps;  // each: column, owned row, free row
};

TableDefinition ParseDefinition(std::vector<std::uint8_t> buf, FieldPositions* at) {
  std::uint32_t length = Get32(&buf[8]);
  if (length >= 63 && length < buf.size()) buf.resize(length);

  TableDefinition def;
  Reader r(buf);
  r.Skip(12);
  r.Skip(4);  // magic
  def.rowCount = r.U32();
  def.autoNumber = r.U32();
  def.indexesInDoubt = buf[kInDoubtAt] == kInDoubtMark;
  if (Get32(&buf[kSpareMapMarkerAt]) == kSpareMapMarker) {
    def.spareOwnedMap = RowPointer::Decode(Get32(&buf[kSpareMapMarkerAt + 4]));
    def.spareTailPage = Get32(&buf[kSpareMapMarkerAt + 8]);
  }
  r.Skip(16);
  def.tableType = r.U8();
  def.maxColumns = r.U16();
  r.U16();  // variable columns (recomputed)
  std::uint16_t numColumns = r.U16();
  std::uint32_t numLogical = r.U32();
  std::uint32_t numReal = r.U32();
  if (numLogical > 1000 || numReal > 1000) throw Error(ErrorCode::NotJet4, "Damaged table definition (index count)");
  def.ownedMap = RowPointer::Decode(r.U32());
  def.freeMap = RowPointer::Decode(r.U32());
  // A row's null mask and offsets have room for 256 column numbers; Jet allows 255 columns.
  if (numColumns > 256 || def.maxColumns > 256) throw Error(ErrorCode::NotJet4, "Damaged table definition (column count)");
  def.realIndexes.resize(numReal);
  for (auto& ri : def.realIndexes) {
    ri.entryCount = r.U32();
    ri.uniqueCount = r.U32();
    r.Skip(4);
  }
  def.columns.resize(numColumns);
  for (auto& c : def.columns) {
    c.type = r.U8();
    r.Skip(4);
    c.number = r.U16();
    if (c.number >= 256) throw Error(ErrorCode::NotJet4, "Damaged table definition (column number)");
    c.varIndex = r.U16();
    r.Skip(2);
    for (auto& m : c.misc) m = r.U8();
    c.sortVersion = c.misc[3];
    c.flags = r.U8();
    c.extraFlags = r.U8();
    r.Skip(4);
    c.fixedOffset = r.U16();
    c.length = r.U16();
    // A fixed column's slot lies inside the row, and a long value is never fixed:
    // rows are built from these figures.
    if (c.fixed() && (c.isLong() || c.fixedOffset + std::size_t{c.length} > kMaxRowSize)) {
      throw Error(ErrorCode::NotJet4, "Damaged table definition (fixed column layout)");
    }
  }
  for (auto& c : def.columns) c.name = r.Name();
  for (auto& ri : def.realIndexes) {
    r.Skip(4);
    for (std::size_t i = 0; i < kMaxIndexColumns; ++i) {
      std::uint16_t col = r.U16();
      std::uint8_t order = r.U8();
      if (col != 0xFFFF) ri.columns.push_back({col, order != 0});
    }
    if (at) at->realIndexes.push_back(r.pos());
    ri.map = RowPointer::Decode(r.U32());
    ri.root = r.U32();
    r.Skip(4);
    ri.flags = r.U8();
    r.Skip(5);
  }
  def.logicalIndexes.resize(numLogical);
  for (auto& li : def.logicalIndexes) {
    r.Skip(4);
    li.number = r.U32();
    li.realNumber = r.U32();
    li.relatedTableType = r.U8();
    li.relatedIndex = r.U32();
    li.relatedTablePage = r.U32();
    li.cascadeUpdate = r.U8();
    li.cascadeDelete = r.U8();
    li.kind = r.U8();
    r.Skip(4);
  }
  for (auto& li : def.logicalIndexes) li.name = r.Name();
  std::size_t longColumns = 0;
  for (const auto& c : def.columns)
    if (c.isLong()) ++longColumns;
  while (def.longValueMaps.size() < longColumns && r.pos() + 10 <= r.size() && r.Peek16() != 0xFFFF) {
    LongValueMaps m;
    if (at) at->longValueMaps.push_back(r.pos());
    m.column = r.U16();
    m.owned = RowPointer::Decode(r.U32());
    m.free = RowPointer::Decode(r.U32());
    def.longValueMaps.push_back(m);
  }
  std::sort(def.columns.begin(), def.columns.end(),
            [](const PhysicalColumn& a, const PhysicalColumn& b) { return a.number < b.number; });
  return def;
}

// Writes `bytes` as the definition at `firstPage`, whose pages are now `old` (first
// page included). Continuation pages the file on disk refers to are never written
// over: the continuation goes to new pages and the old ones are given back, so the
// first page, written last by the flush, switches the whole definition at once.
void WriteDefinitionCopyOnWrite(PageStore& store, std::uint32_t firstPage, const std::vector<std::uint32_t>& old,
                                const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint32_t> continuation(old.begin() + (old.empty() ? 0 : 1), old.end());
  std::size_t needed = 0;
  for (std::size_t done = kPageSize; done < bytes.size(); done += kPageSize - 8) ++needed;
  bool reuse = continuation.size() == needed;
  for (std::uint32_t p : continuation) reuse = reuse && store.Unreferenced(p);
  std::vector<std::uint32_t> pages{firstPage};
  if (reuse) {
    pages.insert(pages.end(), continuation.begin(), continuation.end());
  } else {
    for (std::size_t i = 0; i < needed; ++i) pages.push_back(store.AllocatePage());
    for (std::uint32_t p : continuation) {
      store.DiscardChanges(p);
      store.ReleasePage(p);
    }
  }
  WriteDefinitionPages(store, pages, bytes);
}

}  // namespace

TableDefinition ReadTableDefinition(PageStore& store, std::uint32_t page) {
  return ParseDefinition(ReadDefinitionBytes(store, page, nullptr), nullptr);
}

void WriteIndexesInDoubt(PageStore& store, std::uint32_t page, bool inDoubt) {
  store.WritablePage(page)[kInDoubtAt] = inDoubt ? kInDoubtMark : 0;
}

void WriteTableState(PageStore& store, std::uint32_t page, const TableDefinition& def) {
  std::vector<std::uint32_t> pages;
  std::vector<std::uint8_t> bytes = ReadDefinitionBytes(store, page, &pages);
  FieldPositions at;
  ParseDefinition(bytes, &at);
  std::vector<std::uint8_t> before = bytes;
  std::uint8_t* p = bytes.data();
  Put32(p + 16, def.rowCount);
  Put32(p + 20, def.autoNumber);
  if (def.indexesInDoubt) p[kInDoubtAt] = kInDoubtMark;
  else if (p[kInDoubtAt] == kInDoubtMark) p[kInDoubtAt] = 0;
  if (def.spareOwnedMap.page != 0) {
    Put32(p + kSpareMapMarkerAt, kSpareMapMarker);
    Put32(p + kSpareMapMarkerAt + 4, def.spareOwnedMap.Encode());
    Put32(p + kSpareMapMarkerAt + 8, def.spareTailPage);
  }
  Put32(p + 55, def.ownedMap.Encode());
  Put32(p + 59, def.freeMap.Encode());
  for (std::size_t i = 0; i < def.realIndexes.size(); ++i) {
    Put32(p + kTdefHeaderSize + kRealIndexCountSize * i, def.realIndexes[i].entryCount);
    Put32(p + kTdefHeaderSize + kRealIndexCountSize * i + 4, def.realIndexes[i].uniqueCount);
    if (i < at.realIndexes.size()) {
      Put32(p + at.realIndexes[i], def.realIndexes[i].map.Encode());
      Put32(p + at.realIndexes[i] + 4, def.realIndexes[i].root);
    }
  }
  for (std::size_t i = 0; i < def.longValueMaps.size() && i < at.longValueMaps.size(); ++i) {
    Put32(p + at.longValueMaps[i] + 2, def.longValueMaps[i].owned.Encode());
    Put32(p + at.longValueMaps[i] + 6, def.longValueMaps[i].free.Encode());
  }
  const bool restChanged = bytes.size() > kPageSize && !std::equal(bytes.begin() + kPageSize, bytes.end(), before.begin() + kPageSize);
  if (restChanged) {
    const std::uint32_t length = Get32(p + 8);
    if (length >= 63 && length < bytes.size()) bytes.resize(length);
    WriteDefinitionCopyOnWrite(store, page, pages, bytes);
    return;
  }
  std::uint8_t* first = store.WritablePage(page);
  std::memcpy(first + 8, bytes.data() + 8, kPageSize - 8);  // the header (type, free space, next page) stays
}

}  // namespace jet
