// Schema changes to existing tables: secondary indexes and relationships.
#include <algorithm>
#include <cstdint>

#include "jet/database.h"
#include "jet/format.h"
#include "jet/index_bulk_build.h"
#include "jet/index_key_encoder.h"
#include "jet/row_codec.h"
#include "jet/system_catalog.h"
#include "jet/stored_table.h"
#include "jet/table_validation.h"
#include "jet/text_codec.h"
#include "jet/usage_map.h"

namespace jet {

using namespace format;

namespace {

std::u16string Utf16(const std::string& s) {
  std::u16string out;
  Utf8ToUtf16(s, out);
  return out;
}

std::uint8_t IndexFlags(const IndexDef& index) {
  std::uint8_t flags = kIndexAccess2000;
  if (index.unique || index.primary) flags |= kIndexUnique;
  if (index.required || index.primary) flags |= kIndexRequired;
  if (index.ignoreNulls) flags |= kIndexIgnoreNulls;
  return flags;
}

bool SameColumns(const std::vector<IndexColumn>& a, const std::vector<IndexColumn>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].column != b[i].column || a[i].ascending != b[i].ascending) return false;
  return true;
}

bool HasIndexNamed(const TableDefinition& def, const std::string& name) {
  for (const auto& li : def.logicalIndexes)
    if (SameName(Utf16ToUtf8(li.name), name)) return true;
  return false;
}

}  // namespace

JetDatabase::Entry& JetDatabase::EntryOf(std::string_view table) {
  for (auto& e : tables_)
    if (SameName(e.name, table)) return e;
  throw Error(ErrorCode::NoSuchTable, "There is no table named " + QuotedName(std::string(table)));
}

std::vector<IndexColumn> JetDatabase::ResolveIndexColumns(const StoredTable& table,
                                                          const std::vector<IndexDef::Column>& columns,
                                                          const std::string& what) {
  const TableDefinition& def = table.physical();
  const std::string& tableName = table.logical().name;
  if (columns.empty()) throw Error(ErrorCode::InvalidDefinition, what + " has no columns");
  if (columns.size() > kMaxIndexColumns)
    throw Error(ErrorCode::LimitExceeded, what + " has " + std::to_string(columns.size()) +
                                              " columns; an index can have at most 10");
  std::vector<IndexColumn> out;
  for (const auto& c : columns) {
    const PhysicalColumn* found = nullptr;
    for (const auto& pc : def.columns)
      if (SameName(Utf16ToUtf8(pc.name), c.name)) found = &pc;
    if (!found)
      throw Error(ErrorCode::NoSuchColumn, what + " names a column " + QuotedName(c.name) + " that table '" +
                                               tableName + "' does not have");
    if (found->isLong())
      throw Error(ErrorCode::InvalidDefinition, what + ": column " + QuotedName(c.name) +
                                                    " is a Memo or OLE Object column and cannot be indexed");
    for (const auto& earlier : out)
      if (earlier.column == found->number)
        throw Error(ErrorCode::InvalidDefinition, what + " names column " + QuotedName(c.name) + " twice");
    out.push_back({found->number, c.ascending});
  }
  return out;
}

// Every entry a new real index over `columns` gets, checked against its flags.
std::vector<IndexEntry> JetDatabase::CollectIndexEntries(StoredTable& table, const std::vector<IndexColumn>& columns,
                                                         std::uint8_t flags, const std::string& what,
                                                         std::uint32_t& distinctKeys) {
  const TableDefinition& def = table.physical();
  std::vector<std::size_t> positions;
  std::vector<IndexKeyColumn> keyColumns;
  std::string names;
  for (const auto& ic : columns)
    for (std::size_t pos = 0; pos < def.columns.size(); ++pos)
      if (def.columns[pos].number == ic.column) {
        positions.push_back(pos);
        keyColumns.push_back({PublicColumn(def.columns[pos]), ic.ascending});
        names += (names.empty() ? "" : ", ") + Utf16ToUtf8(def.columns[pos].name);
      }
  IndexKeyEncoder encoder(std::move(keyColumns));
  std::vector<bool> wanted(def.columns.size(), false);  // only the key columns are read
  for (std::size_t pos : positions) wanted[pos] = true;
  std::vector<IndexEntry> entries;
  // As many entries as rows, as a rule (the count is a hint: a damaged file may overstate it).
  entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(table.rowCount(), std::uint64_t{1} << 22)));
  std::vector<Value> keyValues;
  Bytes key;  // built here, then copied once at its size
  table.ForEachRow([&](std::uint32_t page, std::uint8_t row, const std::vector<Value>& values) {
    keyValues.clear();
    bool allNull = true, anyNull = false;
    for (std::size_t pos : positions) {
      keyValues.push_back(values[pos]);
      bool null = std::holds_alternative<Null>(values[pos]);
      allNull = allNull && null;
      anyNull = anyNull || null;
    }
    if (anyNull && (flags & kIndexRequired))
      throw Error(ErrorCode::NullNotAllowed, what + " does not allow NULL, but table '" + table.logical().name +
                                                 "' has rows with NULL in " + names);
    if (allNull && (flags & kIndexIgnoreNulls)) return;
    key.clear();
    encoder.AppendKey(keyValues, key);
    if (key.size() > IndexTree::kMaxKeyLength)
      throw Error(ErrorCode::LimitExceeded, what + ": a key of " + std::to_string(key.size()) +
                                                " bytes is longer than the " + std::to_string(IndexTree::kMaxKeyLength) +
                                                " bytes an index entry can hold");
    IndexEntry e;
    e.key.assign(key.begin(), key.end());
    e.dataPage = page;
    e.row = row;
    entries.push_back(std::move(e));
  }, &wanted);
  // Keys that follow the rows' order (a date of entry, a second counter) need no sort.
  if (!std::is_sorted(entries.begin(), entries.end(), IndexEntryLess))
    std::sort(entries.begin(), entries.end(), IndexEntryLess);
  distinctKeys = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    bool same = i > 0 && entries[i].key == entries[i - 1].key;
    if (!same) ++distinctKeys;
    if (same && (flags & kIndexUnique)) {
      // All-NULL keys may repeat, as in Access: a NULL column is its flag byte
      // alone, any value takes more.
      if (entries[i].key.size() == columns.size()) continue;
      throw Error(ErrorCode::DuplicateKey, what + " is unique, but table '" + table.logical().name +
                                               "' has rows with the same value" + (columns.size() > 1 ? "s" : "") +
                                               " in " + names);
    }
  }
  return entries;
}

void JetDatabase::AddIndexToDefinition(StoredTable& table, TableDefinition& def, const IndexDef& index,
                                       const std::vector<IndexColumn>& columns, LogicalIndex logical) {
  std::uint8_t flags = IndexFlags(index);
  std::size_t real = def.realIndexes.size();
  for (std::size_t r = 0; r < def.realIndexes.size(); ++r)
    if (def.realIndexes[r].flags == flags && SameColumns(def.realIndexes[r].columns, columns)) real = r;
  if (real == def.realIndexes.size()) {
    std::string what = "Index '" + index.name + "' of table '" + table.logical().name + "'";
    RealIndex ri;
    ri.columns = columns;
    ri.flags = flags;
    std::vector<IndexEntry> entries = CollectIndexEntries(table, columns, flags, what, ri.uniqueCount);
    ri.map = AppendMapRow();
    ri.root = IndexTree::CreateEmpty(*pager_, table.tdefPage());
    UsageMap(*pager_, ri.map).Add(ri.root);
    RowPointer map = ri.map;
    BulkBuildIndex(*pager_, ri.root, table.tdefPage(), entries, [this, map] {
      std::uint32_t page = pager_->AllocatePage();
      UsageMap(*pager_, map).Add(page);
      return page;
    });
    def.realIndexes.push_back(std::move(ri));
  }
  logical.number = static_cast<std::uint32_t>(def.logicalIndexes.size());
  logical.realNumber = static_cast<std::uint32_t>(real);
  logical.name = Utf16(index.name);
  if (index.primary) logical.kind = 1;
  def.logicalIndexes.push_back(std::move(logical));
}

void JetDatabase::CreateIndex(std::string_view tableName, const IndexDef& index) {
  RequireWritable();
  Entry& e = EntryOf(tableName);
  StoredTable& table = StoredOf(e);
  std::string what = "Index " + QuotedName(index.name) + " of table '" + e.name + "'";
  CheckObjectName(index.name, "The index");
  const TableDefinition& current = table.physical();
  if (HasIndexNamed(current, index.name))
    throw Error(ErrorCode::InvalidDefinition, "Table '" + e.name + "' already has an index named " + QuotedName(index.name));
  if (current.logicalIndexes.size() >= kMaxIndexes)
    throw Error(ErrorCode::LimitExceeded, "Table '" + e.name + "' already has 32 indexes, the most a table can have");
  if (index.primary)
    for (const auto& li : current.logicalIndexes)
      if (li.kind == 1) throw Error(ErrorCode::InvalidDefinition, "Table '" + e.name + "' already has a primary key");
  std::vector<IndexColumn> columns = ResolveIndexColumns(table, index.columns, what);

  // The table's pending rows and counters reach the pages first; the new definition
  // is then read from there and the table's objects built again.
  Flush();
  TableDefinition def = ReadTableDefinition(*pager_, e.tdefPage);
  std::uint32_t savedHolder = mapHolderPage_;
  pager_->BeginAtomic();
  try {
    AddIndexToDefinition(table, def, index, columns, LogicalIndex{});
    RewriteTableDefinition(*pager_, e.tdefPage, EncodeTableDefinition(def));
    pager_->CommitAtomic();
  } catch (...) {
    pager_->RollbackAtomic();
    mapHolderPage_ = savedHolder;
    throw;
  }
  Reload(e);
  Flush();
}

StoredTable& JetDatabase::Relationships() {
  if (!relationships_) {
    if (relationshipsTdef_ == 0) throw Error(ErrorCode::NotJet4, "The database has no MSysRelationships table");
    TableDefinition def = ReadTableDefinition(*pager_, relationshipsTdef_);
    relationships_ = std::make_unique<StoredTable>(*pager_, relationshipsTdef_, def,
                                                   LogicalDefinition(def, u"MSysRelationships"), NewMapRow());
    RepairIfInDoubt(*relationships_);
  }
  return *relationships_;
}

bool JetDatabase::ReferencedKeyExists(std::uint32_t tdefPage, std::uint32_t logicalIndex,
                                      std::span<const std::uint8_t> key) {
  for (auto& e : tables_) {
    if (e.tdefPage != tdefPage) continue;
    return StoredOf(e).ContainsKey(logicalIndex, key);
  }
  return true;  // the table is gone: nothing to hold the row to
}

namespace {

// A free index name: `base`, or `base` with a number (relationship indexes on the
// referencing side), or ".rB", ".rC", ... (on the referenced side), as Access names them.
std::string FreeIndexName(const TableDefinition& def, const std::string& base, bool referencedSide) {
  for (int n = 0;; ++n) {
    std::string name = referencedSide ? std::string(".r") + static_cast<char>(n < 25 ? 'B' + n : 'a' + (n - 25))
                                      : (n == 0 ? base : base + std::to_string(n));
    if (!HasIndexNamed(def, name)) return name;
  }
}

std::vector<IndexDef::Column> Ascending(const std::vector<std::string>& names) {
  std::vector<IndexDef::Column> columns;
  for (const auto& n : names) columns.push_back({n, true});
  return columns;
}

const PhysicalColumn& ColumnNumbered(const TableDefinition& def, std::uint16_t number) {
  for (const auto& c : def.columns)
    if (c.number == number) return c;
  throw Error(ErrorCode::NotJet4, "A table definition names a column it does not have");
}

}  // namespace

RelationshipOutcome JetDatabase::CreateRelationship(const RelationshipDef& rel) {
  RequireWritable();
  CheckObjectName(rel.name, "The relationship");
  for (const auto& existing : relationshipNames_)
    if (SameName(existing, rel.name))
      throw Error(ErrorCode::InvalidDefinition, "A relationship named " + QuotedName(rel.name) + " already exists");
  std::string what = "Relationship " + QuotedName(rel.name);
  if (rel.columns.size() != rel.referencedColumns.size())
    throw Error(ErrorCode::InvalidDefinition, what + " pairs " + std::to_string(rel.columns.size()) + " columns with " +
                                                  std::to_string(rel.referencedColumns.size()));
  Entry& many = EntryOf(rel.table);
  Entry& one = EntryOf(rel.referencedTable);
  StoredTable& manyTable = StoredOf(many);
  StoredTable& oneTable = StoredOf(one);
  std::vector<IndexColumn> manyColumns = ResolveIndexColumns(manyTable, Ascending(rel.columns), what);
  std::vector<IndexColumn> oneColumns = ResolveIndexColumns(oneTable, Ascending(rel.referencedColumns), what);
  for (std::size_t i = 0; i < manyColumns.size(); ++i) {
    const PhysicalColumn& a = ColumnNumbered(manyTable.physical(), manyColumns[i].column);
    const PhysicalColumn& b = ColumnNumbered(oneTable.physical(), oneColumns[i].column);
    if (a.type != b.type || (a.type == static_cast<std::uint8_t>(ColumnType::Decimal) && a.misc[1] != b.misc[1]))
      throw Error(ErrorCode::InvalidDefinition,
                  what + ": column '" + Utf16ToUtf8(a.name) + "' (" + std::string(ColumnTypeName(ToColumnType(a.type))) +
                      ") cannot refer to column '" + Utf16ToUtf8(b.name) + "' (" +
                      std::string(ColumnTypeName(ToColumnType(b.type))) + ")");
  }
  // The referenced columns need a unique index of exactly those columns, in that order.
  std::size_t oneReal = SIZE_MAX;
  for (std::size_t r = 0; r < oneTable.physical().realIndexes.size(); ++r) {
    const RealIndex& ri = oneTable.physical().realIndexes[r];
    if ((ri.flags & kIndexUnique) && SameColumns(ri.columns, oneColumns)) oneReal = r;
  }
  if (oneReal == SIZE_MAX)
    throw Error(ErrorCode::InvalidDefinition, what + ": no unique index of table '" + one.name +
                                                  "' covers exactly the referenced columns");
  // One-to-one when the referencing columns are unique too.
  bool oneToOne = false;
  for (const auto& ri : manyTable.physical().realIndexes)
    if ((ri.flags & kIndexUnique) && SameColumns(ri.columns, manyColumns)) oneToOne = true;

  // Rows that refer to nothing: the relationship is then kept but not enforced.
  std::vector<Bytes> referenced;
  std::uint32_t distinct = 0;
  for (auto& e : CollectIndexEntries(oneTable, oneColumns, kIndexIgnoreNulls, what, distinct))
    referenced.push_back(std::move(e.key));
  std::sort(referenced.begin(), referenced.end());
  std::size_t orphans = 0;
  {
    std::vector<std::size_t> positions;
    std::vector<IndexKeyColumn> keyColumns;
    for (std::size_t i = 0; i < manyColumns.size(); ++i) {
      const auto& pcs = manyTable.physical().columns;
      for (std::size_t pos = 0; pos < pcs.size(); ++pos)
        if (pcs[pos].number == manyColumns[i].column) positions.push_back(pos);
      keyColumns.push_back({PublicColumn(ColumnNumbered(oneTable.physical(), oneColumns[i].column)), true});
    }
    IndexKeyEncoder encoder(std::move(keyColumns));
    std::vector<Value> keyValues;
    Bytes key;
    manyTable.ForEachRow([&](std::uint32_t, std::uint8_t, const std::vector<Value>& values) {
      keyValues.clear();
      for (std::size_t pos : positions) {
        if (std::holds_alternative<Null>(values[pos])) return;  // a NULL refers to nothing
        keyValues.push_back(values[pos]);
      }
      key.clear();
      encoder.AppendKey(keyValues, key);
      if (!std::binary_search(referenced.begin(), referenced.end(), key)) ++orphans;
    });
  }
  RelationshipOutcome outcome;
  outcome.enforced = rel.enforce && orphans == 0;
  if (!rel.enforce)
    outcome.note = what + " is not enforced, as asked";
  else if (!outcome.enforced)
    outcome.note = what + " is not enforced: " + std::to_string(orphans) + " row" + (orphans == 1 ? "" : "s") +
                   " of table '" + many.name + "' refer" + (orphans == 1 ? "s" : "") + " to no row of table '" +
                   one.name + "'";
  std::uint32_t grbit = 0;
  if (oneToOne) grbit |= 0x00000001;
  if (!outcome.enforced) grbit |= 0x00000002;  // no referential integrity
  if (outcome.enforced && rel.cascadeUpdates) grbit |= 0x00000100;
  if (outcome.enforced && rel.cascadeDeletes) grbit |= 0x00001000;
  bool sameTable = &many == &one;

  Flush();
  StoredTable& relations = Relationships();
  auto savedCatalog = catalog_->Save();
  auto savedAces = accessControl_->Save();
  auto savedRelations = relations.Save();
  std::uint32_t savedHolder = mapHolderPage_;
  auto id = static_cast<std::int32_t>(nextObjectId_);
  pager_->BeginAtomic();
  try {
    if (outcome.enforced) {
      TableDefinition manyDef = ReadTableDefinition(*pager_, many.tdefPage);
      TableDefinition oneDefStorage;
      if (!sameTable) oneDefStorage = ReadTableDefinition(*pager_, one.tdefPage);
      TableDefinition& oneDef = sameTable ? manyDef : oneDefStorage;
      if (manyDef.logicalIndexes.size() + (sameTable ? 2 : 1) > kMaxIndexes || oneDef.logicalIndexes.size() + 1 > kMaxIndexes)
        throw Error(ErrorCode::LimitExceeded, what + " needs an index more on a table that already has 32");
      auto manyNumber = static_cast<std::uint32_t>(manyDef.logicalIndexes.size());
      auto oneNumber = static_cast<std::uint32_t>(oneDef.logicalIndexes.size()) + (sameTable ? 1 : 0);
      LogicalIndex manySide;
      manySide.kind = 2;
      manySide.relatedTableType = 2;
      manySide.relatedIndex = oneNumber;
      manySide.relatedTablePage = one.tdefPage;
      manySide.cascadeUpdate = rel.cascadeUpdates ? 1 : 0;
      manySide.cascadeDelete = rel.cascadeDeletes ? 1 : 0;
      IndexDef manyIndex;
      manyIndex.name = FreeIndexName(manyDef, rel.name, false);
      AddIndexToDefinition(manyTable, manyDef, manyIndex, manyColumns, manySide);
      LogicalIndex oneSide = manySide;
      oneSide.relatedTableType = 1;
      oneSide.relatedIndex = manyNumber;
      oneSide.relatedTablePage = many.tdefPage;
      oneSide.number = oneNumber;
      oneSide.realNumber = static_cast<std::uint32_t>(oneReal);
      oneSide.name = Utf16(FreeIndexName(oneDef, "", true));
      oneDef.logicalIndexes.push_back(std::move(oneSide));
      RewriteTableDefinition(*pager_, many.tdefPage, EncodeTableDefinition(manyDef));
      if (!sameTable) RewriteTableDefinition(*pager_, one.tdefPage, EncodeTableDefinition(oneDef));
    }
    catalog_->Insert(CatalogRow(id, kRelationshipsContainerId, rel.name, 8, OleDateNow(), ownerSid_, 0));
    Bytes users = ownerSid_;
    if (users.size() >= 2) users[0] ^= 0x01;
    accessControl_->Insert(AccessControlRow(id, ownerSid_, 0xFFFFF, false));
    accessControl_->Insert(AccessControlRow(id, users, 0xFFFFF, false));
    for (std::size_t i = 0; i < manyColumns.size(); ++i) {
      relations.Insert({rel.name, std::int64_t{static_cast<std::int32_t>(grbit)},
                        std::int64_t{static_cast<std::int64_t>(manyColumns.size())}, std::int64_t{static_cast<std::int64_t>(i)},
                        many.name, Utf16ToUtf8(ColumnNumbered(manyTable.physical(), manyColumns[i].column).name), one.name,
                        Utf16ToUtf8(ColumnNumbered(oneTable.physical(), oneColumns[i].column).name)});
    }
    pager_->CommitAtomic();
  } catch (...) {
    pager_->RollbackAtomic();
    catalog_->Undo(savedCatalog);
    accessControl_->Undo(savedAces);
    relations.Undo(savedRelations);
    mapHolderPage_ = savedHolder;
    throw;
  }
  ++nextObjectId_;
  relationshipNames_.push_back(rel.name);
  if (outcome.enforced) {
    Reload(many);
    if (!sameTable) Reload(one);
  }
  Flush();
  return outcome;
}

}  // namespace jet
