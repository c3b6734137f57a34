#include "jet/stored_table.h"

#include "jet/data_page.h"

#include <algorithm>
#include <cstring>
#include "jet/format.h"
#include "jet/text_codec.h"
#include "jet/usage_map.h"

namespace jet {

using namespace format;

ColumnDef PublicColumn(const PhysicalColumn& c) {
  ColumnDef d;
  d.name = Utf16ToUtf8(c.name);
  d.type = ToColumnType(c.type);
  if (d.type == ColumnType::Text) d.length = c.length / 2;
  if (d.type == ColumnType::Binary) d.length = c.length;
  if (d.type == ColumnType::Decimal) {
    d.precision = c.misc[0];
    d.scale = c.misc[1];
  }
  d.autoNumber = d.type == ColumnType::Long && (c.flags & kColumnAutoNumber);
  return d;
}

TableDef LogicalDefinition(const TableDefinition& def, const std::u16string& name) {
  TableDef t;
  t.name = Utf16ToUtf8(name);
  for (const auto& c : def.columns) t.columns.push_back(PublicColumn(c));
  for (const auto& li : def.logicalIndexes) {
    if (li.kind != 1 || li.realNumber >= def.realIndexes.size()) continue;
    t.primaryKeyName = Utf16ToUtf8(li.name);
    for (const auto& ic : def.realIndexes[li.realNumber].columns)
      for (std::size_t i = 0; i < def.columns.size(); ++i)
        if (def.columns[i].number == ic.column) {
          t.primaryKey.push_back(Utf16ToUtf8(def.columns[i].name));
          t.columns[i].required = true;  // a key column never holds NULL
        }
  }
  std::vector<const LogicalIndex*> ordered;
  for (const auto& li : def.logicalIndexes) ordered.push_back(&li);
  std::sort(ordered.begin(), ordered.end(), [](auto* a, auto* b) { return a->number < b->number; });
  for (const LogicalIndex* li : ordered) {
    if (li->realNumber >= def.realIndexes.size()) continue;
    const RealIndex& ri = def.realIndexes[li->realNumber];
    IndexDef index;
    index.name = Utf16ToUtf8(li->name);
    for (const auto& ic : ri.columns)
      for (const auto& c : def.columns)
        if (c.number == ic.column) index.columns.push_back({Utf16ToUtf8(c.name), ic.ascending});
    index.unique = ri.flags & kIndexUnique;
    index.required = ri.flags & kIndexRequired;
    index.ignoreNulls = ri.flags & kIndexIgnoreNulls;
    index.primary = li->kind == 1;
    index.foreignKey = li->kind == 2;
    t.indexes.push_back(std::move(index));
  }
  return t;
}

namespace {

std::vector<bool> RequiredFlags(const TableDef& logical) {
  std::vector<bool> r;
  for (const auto& c : logical.columns) r.push_back(c.required);
  return r;
}

std::u16string Utf16Name(const std::string& name) {
  std::u16string out;
  Utf8ToUtf16(name, out);
  return out;
}

}  // namespace

StoredTable::StoredTable(Pager& store, std::uint32_t tdefPage, TableDefinition def, TableDef logical,
                         std::function<RowPointer()> newMapRow)
    : store_(store),
      tdefPage_(tdefPage),
      def_(std::move(def)),
      logical_(std::move(logical)),
      encoder_(def_, RequiredFlags(logical_), Utf16Name(logical_.name)),
      longValues_(store, tdefPage),
      newMapRow_(std::move(newMapRow)),
      owned_(store, def_.ownedMap, def_.spareOwnedMap, newMapRow_),
      free_(store, def_.freeMap, {}, newMapRow_) {
  for (const auto& m : def_.longValueMaps) {
    longValueOwned_.emplace_back(store, m.owned, format::RowPointer{}, newMapRow_);
    longValueFree_.emplace_back(store, m.free, format::RowPointer{}, newMapRow_);
  }

  std::vector<bool> primaryReal(def_.realIndexes.size(), false);
  for (const auto& li : def_.logicalIndexes)
    if (li.kind == 1 && li.realNumber < primaryReal.size()) primaryReal[li.realNumber] = true;
  for (std::size_t r = 0; r < def_.realIndexes.size(); ++r) {
    const RealIndex& ri = def_.realIndexes[r];
    Index idx;
    idx.realNumber = r;
    idx.unique = ri.flags & kIndexUnique;
    idx.primary = primaryReal[r];
    idx.required = ri.flags & kIndexRequired;
    idx.ignoreNulls = ri.flags & kIndexIgnoreNulls;
    std::vector<IndexKeyColumn> keyColumns;
    for (const auto& ic : ri.columns) {
      for (std::size_t pos = 0; pos < def_.columns.size(); ++pos) {
        if (def_.columns[pos].number != ic.column) continue;
        idx.columnPositions.push_back(pos);
        keyColumns.push_back({PublicColumn(def_.columns[pos]), ic.ascending});
      }
    }
    idx.encoder = std::make_unique<IndexKeyEncoder>(std::move(keyColumns));
    // The index's usage map is written whole when the tree is copied at a flush.
    idx.tree = std::make_unique<IndexTree>(store_, ri.root, tdefPage_);
    idx.committedMap = ri.map;
    if (ri.map.page != 0 && ri.map.page < store_.pageCount()) {
      try {
        idx.pages = std::max<std::size_t>(1, UsageMap(store_, ri.map).Pages().size());
      } catch (const Error&) {
        // A damaged map: the count only sizes the reserve for flushes.
      }
    }
    indexes_.push_back(std::move(idx));
  }
  for (const auto& li : def_.logicalIndexes)
    if (li.kind == 2 && li.relatedTableType == 2 && li.realNumber < indexes_.size())
      indexes_[li.realNumber].references.emplace_back(li.relatedTablePage, li.relatedIndex);
  for (std::size_t pos = 0; pos < def_.columns.size(); ++pos)
    if (logical_.columns[pos].autoNumber) autoNumberPos_ = static_cast<int>(pos);
  longValuePages_.assign(def_.longValueMaps.size(), 0);
  writtenFields_ = StateFields();
  FindCurrentPages();
}

void StoredTable::FindCurrentPages() {
  if (!store_.ReadPage(tdefPage_)) return;
  auto usable = [&](std::uint32_t page, std::uint32_t owner) {
    if (page == 0) return false;
    const std::uint8_t* p = store_.ReadPage(page);
    return p[0] == kPageData && Get32(p + 4) == owner;
  };
  if (def_.freeMap.page != 0) {
    std::uint32_t last = UsageMap(store_, def_.freeMap).LastPage();
    if (usable(last, tdefPage_)) {
      dataPage_ = last;
      tailVisible_ = true;
    }
  }
  for (std::size_t i = 0; i < def_.longValueMaps.size(); ++i) {
    if (def_.longValueMaps[i].free.page == 0) continue;
    std::uint32_t last = UsageMap(store_, def_.longValueMaps[i].free).LastPage();
    if (usable(last, kLvalOwner)) longValuePages_[i] = last;
  }
}

StoredTable::State StoredTable::Save() const {
  State s;
  Save(s);
  return s;
}

void StoredTable::Save(State& s) const {
  s.rowCount = def_.rowCount;
  s.autoNumber = def_.autoNumber;
  s.dataPage = dataPage_;
  s.dataPageRows = 0;
  s.dataPageFree = 0;
  if (dataPage_ != 0) {
    const std::uint8_t* p = store_.ReadPage(dataPage_);
    s.dataPageRows = DataPageRowCount(p);
    s.dataPageFree = DataPageFreeSpace(p);
  }
  s.uniqueCounts.clear();
  for (const auto& ri : def_.realIndexes) s.uniqueCounts.push_back(ri.uniqueCount);
  s.longValuePages = longValuePages_;
  s.owned = owned_.Save();
  s.free = free_.Save();
  s.longValueMaps.clear();
  for (std::size_t i = 0; i < longValueOwned_.size(); ++i) {
    s.longValueMaps.push_back(longValueOwned_[i].Save());
    s.longValueMaps.push_back(longValueFree_[i].Save());
  }
  s.tailVisible = tailVisible_;
}

void StoredTable::Undo(const State& s) {
  def_.rowCount = s.rowCount;
  def_.autoNumber = s.autoNumber;
  dataPage_ = s.dataPage;
  longValuePages_ = s.longValuePages;
  owned_.Restore(s.owned);
  free_.Restore(s.free);
  for (std::size_t i = 0; i < longValueOwned_.size(); ++i) {
    longValueOwned_[i].Restore(s.longValueMaps[2 * i]);
    longValueFree_[i].Restore(s.longValueMaps[2 * i + 1]);
  }
  tailVisible_ = s.tailVisible;
  for (std::size_t i = 0; i < def_.realIndexes.size(); ++i) def_.realIndexes[i].uniqueCount = s.uniqueCounts[i];
  for (auto& idx : indexes_) idx.tree->Reload();
  // A row appended to the page that was the tail before is taken off again (the
  // page store did not save that page; see PlaceRow).
  if (dataPage_ != 0) {
    std::uint8_t* p = store_.WritablePageUnsaved(dataPage_);
    Put16(p + 2, s.dataPageFree);
    Put16(p + 12, s.dataPageRows);
  }
}

void StoredTable::StartNewDataPage() {
  std::uint32_t page = store_.AppendPage();
  InitDataPage(store_.WritablePage(page), tdefPage_);
  owned_.Add(page);
  if (dataPage_ != 0) free_.Remove(dataPage_);
  free_.Add(page);
  dataPage_ = page;
  tailVisible_ = false;
}

std::uint32_t StoredTable::PlaceRow(const std::vector<std::uint8_t>& row, std::uint8_t& rowNumber) {
  // A page the file on disk already lists is never changed: readers and index
  // entries know its rows by (page, row number), and a kill in the middle of a
  // flush must leave them as they were. New rows go to a page of their own.
  if (dataPage_ == 0 || tailVisible_ || !DataPageFits(store_.ReadPage(dataPage_), row.size())) StartNewDataPage();
  // Appending only fills free space and the header, which Undo puts back itself;
  // saving the whole page for every row would cost more than the row.
  rowNumber = DataPageAppend(store_.WritablePageUnsaved(dataPage_), row);
  return dataPage_;
}

void StoredTable::Insert(const std::vector<Value>& given) {
  const std::vector<Value>& values = autoNumberPos_ < 0 ? given : WithAutoNumber(given);
  encoder_.Prepare(values);
  for (const auto& idx : indexes_) {
    if (!idx.primary) continue;
    for (std::size_t pos : idx.columnPositions) {
      if (std::holds_alternative<Null>(values[pos])) {
        throw Error(ErrorCode::NullNotAllowed, "Column '" + logical_.columns[pos].name +
                                                   "' belongs to the primary key of table '" + logical_.name +
                                                   "' and cannot be NULL");
      }
    }
  }
  const auto& row = encoder_.Build([&](std::uint16_t column, std::span<const std::uint8_t> payload,
                                       std::uint8_t header[12]) {
    for (std::size_t i = 0; i < def_.longValueMaps.size(); ++i) {
      if (def_.longValueMaps[i].column != column) continue;
      longValues_.Store(longValueOwned_[i], longValueFree_[i], longValuePages_[i], payload, header);
      return;
    }
    throw Error(ErrorCode::NotJet4, "Table '" + logical_.name + "' has no long-value maps for a Memo/OLE column");
  });
  std::uint8_t rowNumber = 0;
  std::uint32_t page = PlaceRow(row, rowNumber);
  for (auto& idx : indexes_) {
    keyValues_.clear();
    bool allNull = true, anyNull = false;
    for (std::size_t pos : idx.columnPositions) {
      keyValues_.push_back(encoder_.NormalisedValue(pos, values[pos]));
      bool null = std::holds_alternative<Null>(values[pos]);
      allNull = allNull && null;
      anyNull = anyNull || null;
    }
    if (anyNull && !idx.primary && (idx.required || idx.ignoreNulls)) {
      if (idx.required) {
        throw Error(ErrorCode::NullNotAllowed, "An index of table '" + logical_.name +
                                                   "' does not allow NULL in " + KeyColumnNames(idx));
      }
      if (allNull) continue;  // ignore-nulls: no entry
    }
    key_.clear();
    idx.encoder->AppendKey(keyValues_, key_);
    RealIndex& ri = def_.realIndexes[idx.realNumber];
    // Rows whose key is all NULL do not collide in a unique index, as in Access.
    if (idx.unique && !(allNull && !idx.primary)) {
      if (!idx.tree->InsertUnique(key_, page, rowNumber)) {
        throw Error(ErrorCode::DuplicateKey, "Table '" + logical_.name + "' already has a row with the same value" +
                                                 (idx.columnPositions.size() > 1 ? "s" : "") + " in " +
                                                 KeyColumnNames(idx));
      }
      ++ri.uniqueCount;
    } else {
      if (!idx.tree->Contains(key_)) ++ri.uniqueCount;
      idx.tree->Insert(key_, page, rowNumber);
    }
    idx.changed = true;
    // Checked after the row's own entries are in: a row may refer to itself.
    if (!idx.references.empty() && !anyNull && referenceExists_) CheckReferences(idx);
  }
  ++def_.rowCount;
}

const std::vector<Value>& StoredTable::WithAutoNumber(const std::vector<Value>& values) {
  if (static_cast<std::size_t>(autoNumberPos_) >= values.size()) return values;
  const Value& given = values[autoNumberPos_];
  if (std::holds_alternative<Null>(given)) {
    if (def_.autoNumber >= 0x7FFFFFFFu)
      throw Error(ErrorCode::ValueOutOfRange, "The AutoNumber of table '" + logical_.name + "' has run out of numbers");
    withAutoNumber_ = values;
    withAutoNumber_[autoNumberPos_] = static_cast<std::int64_t>(++def_.autoNumber);
    return withAutoNumber_;
  }
  // An explicit value is kept; the numbers handed out later follow the largest.
  if (auto* v = std::get_if<std::int64_t>(&given); v && *v > static_cast<std::int64_t>(def_.autoNumber) && *v <= 0x7FFFFFFF)
    def_.autoNumber = static_cast<std::uint32_t>(*v);
  return values;
}

std::vector<std::uint32_t> StoredTable::StateFields() const {
  std::vector<std::uint32_t> f = {def_.rowCount, def_.autoNumber, def_.indexesInDoubt, def_.ownedMap.Encode(),
                                  def_.spareOwnedMap.Encode(), def_.spareTailPage, def_.freeMap.Encode()};
  for (const auto& ri : def_.realIndexes) f.insert(f.end(), {ri.uniqueCount, ri.map.Encode(), ri.root});
  for (const auto& m : def_.longValueMaps) f.insert(f.end(), {m.owned.Encode(), m.free.Encode()});
  return f;
}

void StoredTable::RelocateIndex(Index& idx) {
  RealIndex& ri = def_.realIndexes[idx.realNumber];
  std::vector<std::uint32_t> pages = idx.tree->Relocate([this] { return store_.AllocatePage(); });
  // The map goes to a row the file on disk does not name: the one a failed flush
  // already used, else the spare, else a new one.
  if (ri.map == idx.committedMap) {
    ri.map = idx.spareMap.page != 0 ? idx.spareMap : newMapRow_();
    idx.spareMap = {};
  }
  UsageMap map(store_, ri.map);
  map.Clear();
  std::sort(pages.begin(), pages.end());
  for (std::uint32_t page : pages) map.Add(page);
  ri.root = idx.tree->rootPage();
  idx.pages = pages.size();
}

std::size_t StoredTable::IndexPages() const {
  std::size_t n = 0;
  for (const auto& idx : indexes_) n += idx.pages;
  return n;
}

void StoredTable::PrepareCommit() {
  for (auto& idx : indexes_)
    if (idx.changed) RelocateIndex(idx);
  def_.ownedMap = owned_.current();
  if (owned_.other().page != 0) def_.spareOwnedMap = owned_.other();
  def_.spareTailPage = 0;  // earlier versions kept a moving copy of the last page here
  def_.freeMap = free_.current();
  for (std::size_t i = 0; i < longValueOwned_.size(); ++i) {
    def_.longValueMaps[i].owned = longValueOwned_[i].current();
    def_.longValueMaps[i].free = longValueFree_[i].current();
  }
  std::vector<std::uint32_t> fields = StateFields();
  if (fields == writtenFields_) return;
  WriteTableState(store_, tdefPage_, def_);
  writtenFields_ = std::move(fields);
}

void StoredTable::Committed() {
  def_.indexesInDoubt = false;
  owned_.Committed();
  free_.Committed();
  for (std::size_t i = 0; i < longValueOwned_.size(); ++i) {
    longValueOwned_[i].Committed();
    longValueFree_[i].Committed();
  }
  for (auto& idx : indexes_) {
    idx.changed = false;
    const RowPointer map = def_.realIndexes[idx.realNumber].map;
    if (map == idx.committedMap) continue;
    idx.spareMap = idx.committedMap;
    idx.committedMap = map;
  }
  tailVisible_ = dataPage_ != 0;
}

void StoredTable::RepairIndexes() {
  // A writer killed while it wrote index pages may have left any mix of old and new
  // pages (a leaf linked to a page its parent does not know yet): the trees are
  // built again from the rows, which are complete. The old pages but the roots are
  // given back; the rebuilt pages go out under the in-doubt mark like any others.
  std::vector<std::vector<IndexEntry>> entries(indexes_.size());
  ForEachRow([&](std::uint32_t page, std::uint8_t row, const std::vector<Value>& values) {
    for (std::size_t i = 0; i < indexes_.size(); ++i) {
      keyValues_.clear();
      bool allNull = true;
      for (std::size_t pos : indexes_[i].columnPositions) {
        keyValues_.push_back(values[pos]);
        allNull = allNull && std::holds_alternative<Null>(values[pos]);
      }
      if (allNull && indexes_[i].ignoreNulls) continue;
      IndexEntry e;
      indexes_[i].encoder->AppendKey(keyValues_, e.key);
      e.dataPage = page;
      e.row = row;
      entries[i].push_back(std::move(e));
    }
  });
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    Index& idx = indexes_[i];
    RealIndex& ri = def_.realIndexes[idx.realNumber];
    // The map itself stays as the file has it; the flush writes a new one.
    for (std::uint32_t page : UsageMap(store_, ri.map).Pages()) {
      if (page == ri.root || page >= store_.pageCount()) continue;
      const std::uint8_t* p = store_.ReadPage(page);
      if ((p[0] == kPageIndexNode || p[0] == kPageIndexLeaf) && Get32(p + 4) == tdefPage_) store_.ReleasePage(page);
    }
    idx.changed = true;
    idx.tree->Clear();
    std::vector<IndexEntry>& list = entries[i];
    std::sort(list.begin(), list.end(), [](const IndexEntry& a, const IndexEntry& b) {
      if (a.key != b.key) return std::lexicographical_compare(a.key.begin(), a.key.end(), b.key.begin(), b.key.end());
      return a.dataPage != b.dataPage ? a.dataPage < b.dataPage : a.row < b.row;
    });
    ri.uniqueCount = 0;
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (k == 0 || list[k].key != list[k - 1].key) ++ri.uniqueCount;
      idx.tree->Insert(list[k].key, list[k].dataPage, list[k].row);
    }
  }
  // The flush that switches to the rebuilt trees clears the mark in the same write.
  def_.indexesInDoubt = false;
}

void StoredTable::CheckReferences(const Index& idx) {
  std::string related;
  for (const auto& [tablePage, logicalIndex] : idx.references) {
    if (referenceExists_(tablePage, logicalIndex, key_, related)) continue;
    throw Error(ErrorCode::ReferenceMissing, "Table '" + logical_.name + "': the value" +
                                                 (idx.columnPositions.size() > 1 ? "s" : "") + " in " +
                                                 KeyColumnNames(idx) + " refer to no row of table '" + related + "'");
  }
}

bool StoredTable::ContainsKey(std::uint32_t logicalIndex, std::span<const std::uint8_t> key) {
  for (const auto& li : def_.logicalIndexes)
    if (li.number == logicalIndex && li.realNumber < indexes_.size()) return indexes_[li.realNumber].tree->Contains(key);
  return true;  // no such index: nothing to check against
}

std::string StoredTable::KeyColumnNames(const Index& idx) const {
  std::string cols;
  for (std::size_t pos : idx.columnPositions) cols += (cols.empty() ? "" : ", ") + logical_.columns[pos].name;
  return cols;
}

void StoredTable::ForEachRow(
    const std::function<void(std::uint32_t page, std::uint8_t row, const std::vector<Value>&)>& visit,
    const std::vector<bool>* wanted) {
  std::vector<Value> values;
  std::vector<std::uint8_t> buffer;
  for (std::uint32_t page : DataPages()) {
    const std::uint8_t* p = store_.ReadPage(page);
    if (p[0] != kPageData || Get32(p + 4) != tdefPage_) continue;
    std::uint16_t rows = DataPageRowCount(p);
    for (std::uint16_t r = 0; r < rows; ++r) {
      RowBytes row = DataPageRow(store_.ReadPage(page), r);
      if (!row.present) continue;
      buffer.assign(row.data, row.data + row.size);
      DecodeRow(def_, buffer, [this](std::span<const std::uint8_t> f) { return LoadLongValue(store_, f); }, values,
                wanted);
      visit(page, static_cast<std::uint8_t>(r), values);
    }
  }
}

std::vector<std::uint32_t> StoredTable::DataPages() {
  if (owned_.current().page == 0) return {};
  return owned_.Pages();
}

}  // namespace jet
