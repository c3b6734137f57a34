// Reads a whole file the slow, independent way and compares every structure with
// what the rows say: the check behind CheckIntegrity (see jet.h). It uses the
// engine's decoders for rows and keys, but walks index trees, usage maps and
// long-value chains by itself, so that a fault in the writer's own tree or map
// code does not hide from it.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>

#include "jet/data_page.h"
#include "jet/format.h"
#include "jet/header_pages.h"
#include "jet/index_key_encoder.h"
#include "jet/pager.h"
#include "jet/row_codec.h"
#include "jet/stored_table.h"
#include "jet/table_definition.h"
#include "jet/text_codec.h"
#include "jet/usage_map.h"

namespace jet {

using namespace format;

namespace {

constexpr std::size_t kMaxProblemsPerItem = 5;
constexpr std::size_t kIndexEntriesOffset = 480;
constexpr std::size_t kIndexEntryArea = 3616;
constexpr std::uint32_t kCatalogTdef = 2;

struct Entry {
  Bytes key;
  std::uint32_t pointer = 0;  // page << 8 | row
};

bool EntryLess(const Entry& a, const Entry& b) {
  const int c = std::memcmp(a.key.data(), b.key.data(), std::min(a.key.size(), b.key.size()));
  if (c != 0) return c < 0;
  if (a.key.size() != b.key.size()) return a.key.size() < b.key.size();
  return a.pointer < b.pointer;
}

std::string RowName(std::uint32_t pointer) {
  return std::to_string(pointer >> 8) + ":" + std::to_string(pointer & 0xFF);
}

std::string Hex(const Bytes& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < b.size() && i < 32; ++i) {
    s += digits[b[i] >> 4];
    s += digits[b[i] & 15];
  }
  if (b.size() > 32) s += "...";
  return s;
}

std::uint32_t GetBe32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

class IntegrityCheck {
 public:
  IntegrityCheck(Pager& pager, std::vector<std::string>& problems) : pager_(pager), problems_(problems) {}

  void Run() {
    std::map<std::uint32_t, std::string> tables = ListTables();
    for (const auto& [tdef, name] : tables) CheckTable(name, tdef);
    for (const auto& [page, owners] : claimedBy_)
      if (owners.size() > 1) Problem("page " + std::to_string(page) + " is claimed by " + owners[0] + " and " + owners[1]);
  }

 private:
  void Problem(std::string text) { problems_.push_back(std::move(text)); }

  // Capped per item (a table, an index) so that one broken structure does not
  // drown the rest.
  void Problem(std::size_t& count, const std::string& text) {
    if (count++ < kMaxProblemsPerItem) Problem(text);
  }

  const std::uint8_t* Page(std::uint32_t page) {
    if (page == 0 || page >= pager_.pageCount()) return nullptr;
    return pager_.ReadPage(page);
  }

  void Claim(std::uint32_t page, const std::string& owner) { claimedBy_[page].push_back(owner); }

  // Tables by definition page, from the catalog's rows (MSysObjects itself first).
  std::map<std::uint32_t, std::string> ListTables() {
    std::map<std::uint32_t, std::string> tables{{kCatalogTdef, "MSysObjects"}};
    TableDefinition def = ReadTableDefinition(pager_, kCatalogTdef);
    std::size_t idCol = def.columns.size(), nameCol = def.columns.size(), typeCol = def.columns.size();
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
      if (def.columns[i].name == u"Id") idCol = i;
      if (def.columns[i].name == u"Name") nameCol = i;
      if (def.columns[i].name == u"Type") typeCol = i;
    }
    if (idCol == def.columns.size() || nameCol == def.columns.size() || typeCol == def.columns.size()) {
      Problem("MSysObjects lacks its Id, Name or Type column");
      return tables;
    }
    ScanRows(def, kCatalogTdef, [&](std::uint32_t, const std::vector<Value>& row) {
      auto* id = std::get_if<std::int64_t>(&row[idCol]);
      auto* type = std::get_if<std::int64_t>(&row[typeCol]);
      auto* name = std::get_if<std::string>(&row[nameCol]);
      if (id && type && name && (*type & 0x7F) == 1) tables.emplace(static_cast<std::uint32_t>(*id) & 0x00FFFFFF, *name);
    });
    return tables;
  }

  // Visits every live row on the pages the owned map lists, in storage order.
  template <typename Visit>
  void ScanRows(const TableDefinition& def, std::uint32_t tdef, Visit visit) {
    std::vector<Value> values;
    Bytes buffer;
    for (std::uint32_t page : UsageMap(pager_, def.ownedMap).Pages()) {
      const std::uint8_t* p = Page(page);
      if (p == nullptr || p[0] != kPageData || Get32(p + 4) != tdef) continue;
      std::uint16_t rows = DataPageRowCount(p);
      for (std::uint16_t r = 0; r < rows; ++r) {
        RowBytes row = DataPageRow(Page(page), r);
        if (!row.present) continue;
        buffer.assign(row.data, row.data + row.size);
        DecodeRow(def, buffer, [this](std::span<const std::uint8_t> f) { return LoadLongValue(pager_, f); }, values);
        visit(page << 8 | r, values);
      }
    }
  }

  void CheckFreeSpace(const std::string& where, std::uint32_t page, const std::uint8_t* p, std::size_t& count) {
    std::uint16_t rows = DataPageRowCount(p);
    if (kDataHeaderSize + 2u * rows > kPageSize) {
      Problem(count, where + ": data page " + std::to_string(page) + " claims " + std::to_string(rows) + " rows");
      return;
    }
    std::uint32_t lowest = kPageSize;
    for (std::uint16_t r = 0; r < rows; ++r)
      lowest = std::min<std::uint32_t>(lowest, Get16(p + kDataHeaderSize + 2 * r) & kRowOffsetMask);
    const std::int64_t expected = static_cast<std::int64_t>(lowest) - kDataHeaderSize - 2 * rows;
    if (expected != DataPageFreeSpace(p))
      Problem(count, where + ": data page " + std::to_string(page) + " records " + std::to_string(DataPageFreeSpace(p)) +
                         " free bytes, its rows leave " + std::to_string(expected));
  }

  // A long value's chain must end exactly where its length says.
  void CheckLongValue(const std::string& where, std::uint32_t rowPointer, std::span<const std::uint8_t> field,
                      std::size_t& count) {
    if (field.size() < kLongValueHeaderSize) return;
    const std::uint32_t length = Get24(field.data());
    const std::uint8_t kind = field[3];
    const std::string at = where + ": row " + RowName(rowPointer) + ": long value of " + std::to_string(length) + " bytes";
    if (kind & kLongValueInline) {
      if (length > field.size() - kLongValueHeaderSize) Problem(count, at + " is longer than its inline field");
      return;
    }
    RowPointer ptr = RowPointer::Decode(Get32(field.data() + 4));
    std::uint64_t found = 0;
    for (std::size_t links = 0;; ++links) {
      const std::uint8_t* p = Page(ptr.page);
      if (p == nullptr || p[0] != kPageData || Get32(p + 4) != kLvalOwner) {
        Problem(count, at + " points to page " + std::to_string(ptr.page) + ", which is not a long-value page");
        return;
      }
      RowBytes r = DataPageRow(p, ptr.row);
      if (!r.present) {
        Problem(count, at + " points to a missing row " + std::to_string(ptr.page) + ":" + std::to_string(ptr.row));
        return;
      }
      if (kind & kLongValueSingleRow) {
        if (r.size != length) Problem(count, at + " is stored in a row of " + std::to_string(r.size) + " bytes");
        return;
      }
      if (r.size < 4 || links > (1u << 20)) {
        Problem(count, at + ": damaged chain");
        return;
      }
      found += r.size - 4;
      ptr = RowPointer::Decode(Get32(r.data));
      if (ptr.page == 0) break;
    }
    if (found != length) Problem(count, at + " has a chain holding " + std::to_string(found) + " bytes");
  }

  void CheckTable(const std::string& name, std::uint32_t tdef) {
    const std::string where = "table '" + name + "'";
    TableDefinition def;
    try {
      def = ReadTableDefinition(pager_, tdef);
    } catch (const Error& e) {
      Problem(where + ": definition at page " + std::to_string(tdef) + " unreadable: " + e.what());
      return;
    }
    if (def.indexesInDoubt) Problem(where + ": the definition is marked as having indexes in doubt (an interrupted flush)");
    std::size_t count = 0;

    // The owned map decides which rows exist; every page in it must be a data page of this table.
    std::vector<std::uint32_t> owned = UsageMap(pager_, def.ownedMap).Pages();
    std::set<std::uint32_t> ownedSet(owned.begin(), owned.end());
    for (std::uint32_t page : owned) {
      const std::uint8_t* p = Page(page);
      Claim(page, where);
      if (p == nullptr) {
        Problem(count, where + ": owned page " + std::to_string(page) + " lies past the end of the file");
      } else if (p[0] != kPageData || Get32(p + 4) != tdef) {
        Problem(count, where + ": owned page " + std::to_string(page) + " has page type " + std::to_string(p[0]) +
                           " and owner " + std::to_string(Get32(p + 4)));
      } else {
        CheckFreeSpace(where, page, p, count);
      }
    }
    for (std::uint32_t page : UsageMap(pager_, def.freeMap).Pages())
      if (!ownedSet.count(page))
        Problem(count, where + ": the free-space map lists page " + std::to_string(page) + ", which the table does not own");

    // Rows, with their long values checked and every index's expected entries collected.
    std::vector<std::vector<IndexKeyColumn>> keyColumns(def.realIndexes.size());
    std::vector<std::vector<std::size_t>> positions(def.realIndexes.size());
    for (std::size_t i = 0; i < def.realIndexes.size(); ++i)
      for (const auto& ic : def.realIndexes[i].columns)
        for (std::size_t pos = 0; pos < def.columns.size(); ++pos)
          if (def.columns[pos].number == ic.column) {
            positions[i].push_back(pos);
            keyColumns[i].push_back({PublicColumn(def.columns[pos]), ic.ascending});
          }
    std::vector<std::unique_ptr<IndexKeyEncoder>> encoders;
    for (auto& kc : keyColumns) {
      try {
        encoders.push_back(std::make_unique<IndexKeyEncoder>(kc));
      } catch (const Error& e) {
        encoders.push_back(nullptr);
        Problem(where + ": an index cannot be encoded: " + e.what());
      }
    }
    std::vector<std::vector<Entry>> expected(def.realIndexes.size());
    std::unordered_set<std::uint32_t> live;
    std::optional<std::size_t> autoColumn;
    for (std::size_t pos = 0; pos < def.columns.size(); ++pos)
      if (def.columns[pos].flags & kColumnAutoNumber) autoColumn = pos;
    std::int64_t largestAuto = 0;
    std::vector<Value> keyValues;
    try {
      std::vector<Value> values;
      Bytes buffer;
      for (std::uint32_t page : owned) {
        const std::uint8_t* p = Page(page);
        if (p == nullptr || p[0] != kPageData || Get32(p + 4) != tdef) continue;
        std::uint16_t rows = DataPageRowCount(p);
        for (std::uint16_t r = 0; r < rows && kDataHeaderSize + 2u * rows <= kPageSize; ++r) {
          RowBytes row = DataPageRow(Page(page), r);
          if (!row.present) continue;
          const std::uint32_t pointer = page << 8 | r;
          buffer.assign(row.data, row.data + row.size);
          DecodeRow(def, buffer,
                    [&](std::span<const std::uint8_t> f) {
                      CheckLongValue(where, pointer, f, count);
                      return LoadLongValue(pager_, f);
                    },
                    values);
          live.insert(pointer);
          if (autoColumn)
            if (auto* v = std::get_if<std::int64_t>(&values[*autoColumn])) largestAuto = std::max(largestAuto, *v);
          for (std::size_t i = 0; i < encoders.size(); ++i) {
            if (!encoders[i]) continue;
            keyValues.clear();
            bool allNull = true;
            for (std::size_t pos : positions[i]) {
              keyValues.push_back(values[pos]);
              allNull = allNull && std::holds_alternative<Null>(values[pos]);
            }
            if (allNull && (def.realIndexes[i].flags & kIndexIgnoreNulls)) continue;
            Entry e;
            encoders[i]->AppendKey(keyValues, e.key);
            e.pointer = pointer;
            expected[i].push_back(std::move(e));
          }
        }
      }
    } catch (const Error& e) {
      Problem(where + ": a row cannot be read: " + e.what());
      return;
    }
    if (live.size() != def.rowCount)
      Problem(where + ": the definition counts " + std::to_string(def.rowCount) + " rows, the owned pages hold " +
              std::to_string(live.size()));
    // The definition keeps the last AutoNumber handed out; the next one is one above it.
    if (autoColumn && largestAuto > static_cast<std::int64_t>(def.autoNumber) && def.autoNumber != 0)
      Problem(where + ": the last AutoNumber " + std::to_string(def.autoNumber) + " is below the largest value " +
              std::to_string(largestAuto));

    for (std::size_t i = 0; i < def.realIndexes.size(); ++i) {
      std::string indexName = "index " + std::to_string(i);
      for (const auto& li : def.logicalIndexes)
        if (li.realNumber == i) {
          indexName = "index '" + Utf16ToUtf8(li.name) + "'";
          break;
        }
      CheckIndex(where + ", " + indexName, tdef, def.realIndexes[i], expected[i], live);
    }
  }

  void CheckIndex(const std::string& where, std::uint32_t tdef, const RealIndex& ri, std::vector<Entry>& expected,
                  const std::unordered_set<std::uint32_t>& live) {
    std::size_t count = 0;
    std::vector<std::uint32_t> mapPages = UsageMap(pager_, ri.map).Pages();
    std::set<std::uint32_t> mapped(mapPages.begin(), mapPages.end());
    TreeWalk walk{where, tdef, count, {}, {}, {}, -1};
    WalkTree(walk, ri.root, 0, nullptr);
    for (std::uint32_t page : walk.pages) {
      Claim(page, where);
      if (!mapped.count(page)) Problem(count, where + ": tree page " + std::to_string(page) + " is not in the index's usage map");
    }
    for (std::size_t i = 0; i < walk.leaves.size(); ++i) {
      const std::uint8_t* leaf = Page(walk.leaves[i]);
      const std::uint32_t prev = i == 0 ? 0 : walk.leaves[i - 1];
      const std::uint32_t next = i + 1 == walk.leaves.size() ? 0 : walk.leaves[i + 1];
      if (Get32(leaf + 12) != prev || Get32(leaf + 16) != next)
        Problem(count, where + ": leaf " + std::to_string(walk.leaves[i]) + " is linked to " +
                           std::to_string(Get32(leaf + 12)) + "/" + std::to_string(Get32(leaf + 16)) + " instead of " +
                           std::to_string(prev) + "/" + std::to_string(next));
    }
    std::vector<Entry>& stored = walk.entries;
    for (std::size_t i = 1; i < stored.size(); ++i)
      if (!EntryLess(stored[i - 1], stored[i])) Problem(count, where + ": entries " + std::to_string(i - 1) + " and " + std::to_string(i) + " are not in strictly ascending order");
    for (std::size_t i = 0; i < stored.size(); ++i)
      if (!live.count(stored[i].pointer)) {
        const std::uint32_t page = stored[i].pointer >> 8;
        const std::uint8_t* p = Page(page);
        std::string what = p ? "page type " + std::to_string(p[0]) + ", owner " + std::to_string(Get32(p + 4)) : "past the end";
        Problem(count, where + ": entry " + std::to_string(i) + " points to row " + RowName(stored[i].pointer) +
                           ", which is not a live row of the table (" + what + ")");
      }
    if (stored.size() != expected.size())
      Problem(count, where + ": " + std::to_string(stored.size()) + " entries for " + std::to_string(expected.size()) +
                         " indexed rows");
    std::sort(expected.begin(), expected.end(), EntryLess);
    std::sort(stored.begin(), stored.end(), EntryLess);
    std::size_t a = 0, b = 0;
    while (a < expected.size() || b < stored.size()) {
      if (b == stored.size() || (a < expected.size() && EntryLess(expected[a], stored[b]))) {
        Problem(count, where + ": row " + RowName(expected[a].pointer) + " has no entry with key " + Hex(expected[a].key));
        ++a;
      } else if (a == expected.size() || EntryLess(stored[b], expected[a])) {
        if (live.count(stored[b].pointer))
          Problem(count, where + ": the entry for row " + RowName(stored[b].pointer) + " has key " + Hex(stored[b].key) +
                             ", which the row's values do not make");
        ++b;
      } else {
        ++a;
        ++b;
      }
    }
  }

  struct TreeWalk {
    const std::string& where;
    std::uint32_t tdef;
    std::size_t& count;
    std::vector<std::uint32_t> leaves;
    std::set<std::uint32_t> pages;
    std::vector<Entry> entries;
    int depth;
  };

  // The entries of one index page, split where the entry bitmap says.
  std::vector<Bytes> PageEntries(TreeWalk& w, std::uint32_t page, const std::uint8_t* p) {
    std::vector<Bytes> out;
    const std::size_t freeSpace = Get16(p + 2);
    if (freeSpace > kIndexEntryArea) {
      Problem(w.count, w.where + ": index page " + std::to_string(page) + " records " + std::to_string(freeSpace) + " free bytes");
      return out;
    }
    const std::size_t used = kIndexEntryArea - freeSpace;
    Bytes prefix;
    const std::size_t prefixLength = Get16(p + 24);
    std::size_t start = 0;
    for (std::size_t bit = 1; bit <= kIndexEntryArea; ++bit) {
      if (!(p[27 + bit / 8] & (1u << (bit % 8)))) continue;
      if (bit > used) {
        Problem(w.count, w.where + ": index page " + std::to_string(page) + " marks an entry past its used bytes");
        break;
      }
      // Entries after the first leave out the prefix they share with the first.
      Bytes e;
      if (!out.empty() && prefixLength > 0) e.assign(out.front().begin(), out.front().begin() + std::min(prefixLength, out.front().size()));
      e.insert(e.end(), p + kIndexEntriesOffset + start, p + kIndexEntriesOffset + bit);
      out.push_back(std::move(e));
      start = bit;
    }
    if (start != used)
      Problem(w.count, w.where + ": index page " + std::to_string(page) + " has " + std::to_string(used) +
                           " used bytes but its entries end at " + std::to_string(start));
    return out;
  }

  // Returns the subtree's last entry (key and pointer bytes).
  Bytes WalkTree(TreeWalk& w, std::uint32_t page, int level, const Bytes* expectedLast) {
    const std::uint8_t* p0 = Page(page);
    if (p0 == nullptr || level > 32 || !w.pages.insert(page).second) {
      Problem(w.count, w.where + ": tree page " + std::to_string(page) + (p0 ? " is reached twice" : " lies outside the file"));
      return {};
    }
    const Bytes copy(p0, p0 + kPageSize);
    const std::uint8_t* p = copy.data();
    if ((p[0] != kPageIndexNode && p[0] != kPageIndexLeaf) || Get32(p + 4) != w.tdef) {
      Problem(w.count, w.where + ": tree page " + std::to_string(page) + " has page type " + std::to_string(p[0]) +
                           " and owner " + std::to_string(Get32(p + 4)));
      return {};
    }
    const std::vector<Bytes> entries = PageEntries(w, page, p);
    Bytes last;
    if (p[0] == kPageIndexLeaf) {
      if (w.depth < 0) w.depth = level;
      if (w.depth != level) Problem(w.count, w.where + ": leaves at different depths");
      w.leaves.push_back(page);
      for (const Bytes& e : entries) {
        if (e.size() < 5) {
          Problem(w.count, w.where + ": a leaf entry of " + std::to_string(e.size()) + " bytes on page " + std::to_string(page));
          continue;
        }
        w.entries.push_back({Bytes(e.begin(), e.end() - 4), GetBe32(e.data() + e.size() - 4)});
        last = e;
      }
    } else {
      for (const Bytes& e : entries) {
        if (e.size() < 9) {
          Problem(w.count, w.where + ": a node entry of " + std::to_string(e.size()) + " bytes on page " + std::to_string(page));
          continue;
        }
        const Bytes max(e.begin(), e.end() - 4);
        const Bytes got = WalkTree(w, GetBe32(e.data() + e.size() - 4), level + 1, &max);
        (void)got;
        last = max;
      }
      if (std::uint32_t tail = Get32(p + 20); tail != 0) last = WalkTree(w, tail, level + 1, nullptr);
      if (entries.empty() && Get32(p + 20) == 0) Problem(w.count, w.where + ": node page " + std::to_string(page) + " has no children");
    }
    if (expectedLast != nullptr && !expectedLast->empty() && last != *expectedLast)
      Problem(w.count, w.where + ": the node entry for page " + std::to_string(page) + " does not equal the page's last entry");
    return last;
  }

  Pager& pager_;
  std::vector<std::string>& problems_;
  std::map<std::uint32_t, std::vector<std::string>> claimedBy_;  // page -> structures that list it
};

}  // namespace

std::vector<std::string> CheckIntegrity(const std::string& path) {
  auto pager = Pager::OpenFile(path, false);
  CheckHeaderPage(pager->ReadPage(0));
  std::vector<std::string> problems;
  IntegrityCheck(*pager, problems).Run();
  return problems;
}

}  // namespace jet
