// Schema changes to existing tables: secondary indexes and relationships.
#include <algorithm>

#include "jet/database.h"
#include "jet/format.h"
#include "jet/index_bulk_build.h"
#include "jet/index_key_encoder.h"
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
  std::vector<IndexEntry> entries;
  std::vector<Value> keyValues;
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
    IndexEntry e;
    encoder.AppendKey(keyValues, e.key);
    if (e.key.size() > IndexTree::kMaxKeyLength)
      throw Error(ErrorCode::LimitExceeded, what + ": a key of " + std::to_string(e.key.size()) +
                                                " bytes is longer than the " + std::to_string(IndexTree::kMaxKeyLength) +
                                                " bytes an index entry can hold");
    e.dataPage = page;
    e.row = row;
    entries.push_back(std::move(e));
  });
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

RelationshipOutcome JetDatabase::CreateRelationship(const RelationshipDef&) {
  throw Error(ErrorCode::InvalidDefinition, "relationships are not supported yet");
}

}  // namespace jet
