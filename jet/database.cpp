#include "jet/database.h"

#include <algorithm>
#include <cstring>

#include "jet/data_page.h"
#include "jet/format.h"
#include "jet/header_pages.h"
#include "jet/index_tree.h"
#include "jet/long_value.h"
#include "jet/property_blob.h"
#include "jet/validation_rule.h"
#include "jet/system_catalog.h"
#include "jet/table_validation.h"
#include "jet/text_codec.h"
#include "jet/usage_map.h"

namespace jet {

using namespace format;

std::string_view ColumnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "Yes/No";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long Integer";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "Date/Time";
    case ColumnType::Binary: return "Binary";
    case ColumnType::Text: return "Text";
    case ColumnType::Ole: return "OLE Object";
    case ColumnType::Memo: return "Memo";
    case ColumnType::Guid: return "Replication ID";
    case ColumnType::Decimal: return "Decimal";
  }
  return "unknown";
}

// ---- Reading rows -----------------------------------------------------------

namespace {

class StoredRowCursor final : public RowCursor {
 public:
  StoredRowCursor(Pager& pager, const StoredTable& table, std::vector<std::uint32_t> pages)
      : pager_(pager), def_(table.physical()), tdefPage_(table.tdefPage()), pages_(std::move(pages)) {}

  bool Next(std::vector<Value>& row) override {
    while (pageIndex_ < pages_.size()) {
      const std::uint8_t* page = pager_.ReadPage(pages_[pageIndex_]);
      if (page[0] != kPageData || Get32(page + 4) != tdefPage_ || rowIndex_ >= DataPageRowCount(page)) {
        ++pageIndex_;
        rowIndex_ = 0;
        continue;
      }
      RowBytes r = DataPageRow(page, rowIndex_++);
      if (!r.present) continue;
      // Long values read other pages, so the row is copied out of the cache first.
      buffer_.assign(r.data, r.data + r.size);
      DecodeRow(def_, buffer_, [this](std::span<const std::uint8_t> field) { return LoadLongValue(pager_, field); },
                row);
      return true;
    }
    return false;
  }

 private:
  Pager& pager_;
  const TableDefinition& def_;
  std::uint32_t tdefPage_;
  std::vector<std::uint32_t> pages_;
  std::size_t pageIndex_ = 0;
  std::uint16_t rowIndex_ = 0;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace

class UserTable final : public Table {
 public:
  UserTable(JetDatabase& db, std::unique_ptr<StoredTable> stored) : db_(db), stored_(std::move(stored)) {}
  const TableDef& definition() const override { return stored_->logical(); }
  std::uint64_t rowCount() const override { return stored_->rowCount(); }
  void Insert(const std::vector<Value>& row) override {
    if (!rules_) rules_ = std::make_unique<RowRules>(stored_->logical());
    rules_->Check(stored_->logical(), row);
    db_.InsertRow(*stored_, row);
  }
  std::unique_ptr<RowCursor> Scan() const override {
    return std::make_unique<StoredRowCursor>(db_.pager(), *stored_, stored_->DataPages());
  }
  StoredTable& stored() { return *stored_; }
  // After a change of the definition (the table's state was flushed before).
  void Replace(std::unique_ptr<StoredTable> stored) {
    stored_ = std::move(stored);
    rules_.reset();
  }

 private:
  JetDatabase& db_;
  std::unique_ptr<StoredTable> stored_;
  std::unique_ptr<RowRules> rules_;  // parsed on the first insert
};

// ---- Database -----------------------------------------------------------------

std::unique_ptr<Database> Database::Create(const std::string& path) { return JetDatabase::CreateNew(path); }

std::unique_ptr<Database> Database::Open(const std::string& path, OpenMode mode) {
  return JetDatabase::OpenExisting(path, mode);
}

JetDatabase::JetDatabase(std::unique_ptr<Pager> pager, std::string path)
    : pager_(std::move(pager)), path_(std::move(path)) {}

JetDatabase::~JetDatabase() {
  // Closing a database keeps what was inserted, as closing a file does; callers
  // that need to see write errors call Flush themselves. A file that never opened
  // completely is left exactly as it was.
  if (!loaded_) return;
  try {
    Flush();
  } catch (const std::exception&) {
  }
}

std::unique_ptr<JetDatabase> JetDatabase::CreateNew(const std::string& path) {
  auto pager = Pager::CreateFile(path);
  std::unique_ptr<JetDatabase> db(new JetDatabase(std::move(pager), path));
  try {
    db->writing_ = true;
    db->BuildEmptyDatabase();
    db->loaded_ = true;
    db->Flush();
  } catch (...) {
    db.reset();
    ::unlink(path.c_str());
    throw;
  }
  return db;
}

std::unique_ptr<JetDatabase> JetDatabase::OpenExisting(const std::string& path, OpenMode mode) {
  auto pager = Pager::OpenFile(path, mode == OpenMode::ReadWrite);
  std::unique_ptr<JetDatabase> db(new JetDatabase(std::move(pager), path));
  try {
    CheckHeaderPage(db->pager_->ReadPage(0));
    db->LoadCatalog();
  } catch (const Error& e) {
    if (e.code() == ErrorCode::Io) throw;
    throw Error(ErrorCode::NotJet4, "'" + path + "' is not a Jet 4 database, or damaged: " + e.what());
  } catch (const std::exception& e) {
    throw Error(ErrorCode::NotJet4, "'" + path + "' is not a Jet 4 database, or damaged: " + e.what());
  }
  db->loaded_ = true;
  return db;
}

void JetDatabase::BuildEmptyDatabase() {
  // Page plan of an engine-created file: 0 header, 1 global map, 2-5 system table
  // definitions, 6 usage maps, 7-13 index roots, 14 catalog rows, 15 permission rows.
  Pager& p = *pager_;
  for (int i = 0; i < 7; ++i) p.AllocatePage();
  BuildHeaderPage(p.WritablePage(0));
  InitDataPage(p.WritablePage(6), 0);
  mapHolderPage_ = 6;

  TableDefinition defs[4] = {CatalogDefinition(), AccessControlDefinition(), QueriesDefinition(),
                             RelationshipsDefinition()};
  // Map rows in the order the engine writes them: per table owned, free, long-value
  // maps, then index maps.
  auto mapsFor = [&](TableDefinition& def) {
    def.ownedMap = AppendMapRow();
    def.freeMap = AppendMapRow();
    for (auto& c : def.columns)
      if (c.isLong()) {
        LongValueMaps m{c.number, AppendMapRow(), AppendMapRow()};
        def.longValueMaps.push_back(m);
      }
    for (auto& r : def.realIndexes) r.map = AppendMapRow();
  };
  for (auto& d : defs) mapsFor(d);
  for (auto& d : defs) d.spareOwnedMap = AppendMapRow();
  for (int t = 0; t < 4; ++t)
    for (auto& r : defs[t].realIndexes) {
      r.root = IndexTree::CreateEmpty(p, 2 + t);
      UsageMap(p, r.map).Add(r.root);
    }
  std::uint32_t dataPages[2];
  for (int t = 0; t < 2; ++t) {
    dataPages[t] = p.AllocatePage();
    InitDataPage(p.WritablePage(dataPages[t]), 2 + t);
    UsageMap(p, defs[t].ownedMap).Add(dataPages[t]);
    UsageMap(p, defs[t].freeMap).Add(dataPages[t]);
  }
  for (int t = 0; t < 4; ++t) WriteTableDefinition(p, 2 + t, EncodeTableDefinition(defs[t]));

  catalog_ = std::make_unique<StoredTable>(p, 2, defs[0], LogicalDefinition(defs[0], u"MSysObjects"), NewMapRow());
  accessControl_ =
      std::make_unique<StoredTable>(p, 3, defs[1], LogicalDefinition(defs[1], u"MSysACEs"), NewMapRow());
  for (const auto& row : InitialCatalogRows()) catalog_->Insert(row);
  for (const auto& row : InitialAccessControlRows()) accessControl_->Insert(row);
  ownerSid_ = Bytes(kAdminSid.begin(), kAdminSid.end());
  relationshipsTdef_ = 5;
}

void JetDatabase::LoadCatalog() {
  TableDefinition def = ReadTableDefinition(*pager_, kCatalogTdefPage);
  catalog_ = std::make_unique<StoredTable>(*pager_, kCatalogTdefPage, def, LogicalDefinition(def, u"MSysObjects"),
                                           NewMapRow(def.freeMap.page));
  const TableDef& cat = catalog_->logical();
  auto column = [&](const char* name) -> std::size_t {
    for (std::size_t i = 0; i < cat.columns.size(); ++i)
      if (cat.columns[i].name == name) return i;
    throw Error(ErrorCode::NotJet4, std::string("The catalog has no column ") + name);
  };
  std::size_t idCol = column("Id"), parentCol = column("ParentId"), nameCol = column("Name"), typeCol = column("Type"),
              flagsCol = column("Flags"), ownerCol = column("Owner"), propsCol = column("LvProp");
  std::uint32_t aceTdef = 0;
  StoredRowCursor cursor(*pager_, *catalog_, catalog_->DataPages());
  std::vector<Value> row;
  while (cursor.Next(row)) {
    auto num = [&](std::size_t c) -> std::int64_t {
      auto* v = std::get_if<std::int64_t>(&row[c]);
      return v ? *v : 0;
    };
    auto* name = std::get_if<std::string>(&row[nameCol]);
    if (!name) continue;
    std::int64_t id = num(idCol), type = num(typeCol) & 0x7F;
    auto flags = static_cast<std::uint32_t>(num(flagsCol));
    if (id == kMSysDbId) {
      if (auto* owner = std::get_if<Bytes>(&row[ownerCol])) ownerSid_ = *owner;
    }
    if (id < 0) nextObjectId_ = std::max(nextObjectId_, id + 1);
    if (type == 8 && num(parentCol) == kRelationshipsContainerId) relationshipNames_.push_back(*name);
    if (type != 1) continue;
    if (*name == "MSysACEs") aceTdef = static_cast<std::uint32_t>(id) & 0x00FFFFFF;
    if (*name == "MSysRelationships") relationshipsTdef_ = static_cast<std::uint32_t>(id) & 0x00FFFFFF;
    if ((flags & 0x80000002u) != 0 || num(parentCol) != kTablesContainerId) continue;
    if (name->size() >= 4 && name->compare(0, 4, "MSys") == 0) continue;
    std::vector<ColumnProperties> properties;
    TableProperties tableProperties;
    if (auto* props = std::get_if<Bytes>(&row[propsCol])) {
      properties = DecodeColumnProperties(*props);
      tableProperties = DecodeTableProperties(*props);
    }
    tables_.push_back({*name, static_cast<std::uint32_t>(id) & 0x00FFFFFF, nullptr, std::move(properties),
                       std::move(tableProperties)});
  }
  if (ownerSid_.empty()) ownerSid_ = Bytes(kAdminSid.begin(), kAdminSid.end());
  RepairIfInDoubt(*catalog_);
  if (aceTdef != 0) {
    TableDefinition aces = ReadTableDefinition(*pager_, aceTdef);
    accessControl_ =
        std::make_unique<StoredTable>(*pager_, aceTdef, aces, LogicalDefinition(aces, u"MSysACEs"), NewMapRow());
    RepairIfInDoubt(*accessControl_);
  }
  globalMapPages_ = pager_->pageCount();
}

std::vector<std::string> JetDatabase::TableNames() const {
  std::vector<std::string> names;
  for (const auto& e : tables_) names.push_back(e.name);
  return names;
}

TableDef JetDatabase::LogicalFor(const Entry& e, const TableDefinition& def) const {
  std::u16string name;
  Utf8ToUtf16(e.name, name);
  TableDef logical = LogicalDefinition(def, name);
  for (auto& c : logical.columns)
    for (const auto& p : e.properties)
      if (SameName(c.name, p.column)) {
        c.required = c.required || p.required;
        c.defaultValue = p.defaultValue;
        c.validationRule = p.validationRule;
        c.validationText = p.validationText;
      }
  logical.validationRule = e.tableProperties.validationRule;
  logical.validationText = e.tableProperties.validationText;
  return logical;
}

UserTable& JetDatabase::Load(Entry& e) {
  if (!e.table) {
    TableDefinition def = ReadTableDefinition(*pager_, e.tdefPage);
    TableDef logical = LogicalFor(e, def);
    e.table = std::make_unique<UserTable>(
        *this, std::make_unique<StoredTable>(*pager_, e.tdefPage, def, logical, NewMapRow(def.freeMap.page)));
    e.table->stored().SetReferenceCheck(ReferenceCheck());
    RepairIfInDoubt(e.table->stored());
  }
  return *e.table;
}

void JetDatabase::Reload(Entry& e) {
  TableDefinition def = ReadTableDefinition(*pager_, e.tdefPage);
  TableDef logical = LogicalFor(e, def);
  auto stored = std::make_unique<StoredTable>(*pager_, e.tdefPage, def, logical, NewMapRow(def.freeMap.page));
  stored->SetReferenceCheck(ReferenceCheck());
  if (e.table)
    e.table->Replace(std::move(stored));
  else
    e.table = std::make_unique<UserTable>(*this, std::move(stored));
}

StoredTable& JetDatabase::StoredOf(Entry& e) { return Load(e).stored(); }

StoredTable::ReferenceCheck JetDatabase::ReferenceCheck() {
  return [this](std::uint32_t tdefPage, std::uint32_t logicalIndex, std::span<const std::uint8_t> key,
                std::string& relatedTable) {
    for (auto& e : tables_)
      if (e.tdefPage == tdefPage) relatedTable = e.name;
    return ReferencedKeyExists(tdefPage, logicalIndex, key);
  };
}

void JetDatabase::RepairIfInDoubt(StoredTable& table) {
  // Only a writer repairs, at its first write; readers do not use the indexes.
  if (!table.indexesInDoubt() || !pager_->writable()) return;
  if (!writing_) {
    inDoubt_.push_back(&table);
    return;
  }
  table.RepairIndexes();
  Flush();
}

Table* JetDatabase::FindTable(std::string_view name) {
  // Names are unique without regard to case, so an exact match is the one.
  if (lastFound_ < tables_.size() && tables_[lastFound_].name == name) return &Load(tables_[lastFound_]);
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    if (SameName(tables_[i].name, name)) {
      lastFound_ = i;
      return &Load(tables_[i]);
    }
  }
  return nullptr;
}

void JetDatabase::RequireWritable() {
  if (!pager_->writable()) throw Error(ErrorCode::ReadOnly, "The database '" + path_ + "' is open read-only");
  if (writing_) return;
  writing_ = true;
  TruncateUnusedTail();
  // Pages an earlier session gave back (listed free on page 1 after its commit).
  pager_->AddFreePages(ReadFreePages(*pager_, pager_->pageCount()));
  std::vector<StoredTable*> pending;
  pending.swap(inDoubt_);
  for (StoredTable* t : pending) RepairIfInDoubt(*t);
}

void JetDatabase::TruncateUnusedTail() {
  // Page 1 lists the pages free as of the last completed flush (it is written before
  // any definition that refers to new pages), and its writer always leaves at least
  // 64 free pages at the end of the range it describes. Pages past the last one in
  // use were then appended by a writer that died before its flush: nothing refers
  // to them. A map without that free run at its end (another writer's, describing
  // only part of the file) is left alone.
  constexpr std::uint32_t kFreeRunAtEnd = 64;
  const std::uint8_t* p = pager_->ReadPage(1);
  if (p[0] != kPageData) return;
  RowBytes row = DataPageRow(p, 0);
  if (!row.present || row.size < 6 || row.data[0] != 0) return;
  const std::uint32_t start = Get32(row.data + 1);
  const std::uint32_t bits = static_cast<std::uint32_t>(8 * (row.size - 5));
  std::uint32_t inUse = start;
  for (std::uint32_t bit = 0; bit < bits; ++bit)
    if (!(row.data[5 + bit / 8] & (1u << (bit % 8)))) inUse = start + bit + 1;
  if (start + bits - inUse < kFreeRunAtEnd) return;
  // Never below the pages every engine-made file has.
  if (inUse >= 16 && inUse < pager_->pageCount()) pager_->TruncateUnused(inUse);
}

std::function<RowPointer()> JetDatabase::NewMapRow(std::uint32_t nearPage) {
  return [this, nearPage] { return AppendMapRow(nearPage); };
}

RowPointer JetDatabase::AppendMapRow(std::uint32_t nearPage) {
  // A session's first row goes beside the table's own map rows when that page has
  // room: new rows on a page the file already has are invisible until a definition
  // names them, and a page per session would add up.
  if (mapHolderPage_ == 0 && nearPage >= 2 && nearPage < pager_->pageCount()) {
    const std::uint8_t* p = pager_->ReadPage(nearPage);
    if (p[0] == kPageData && Get32(p + 4) == 0 && DataPageFits(p, kMapRowSize)) mapHolderPage_ = nearPage;
  }
  if (mapHolderPage_ == 0 || !DataPageFits(pager_->ReadPage(mapHolderPage_), kMapRowSize)) {
    mapHolderPage_ = pager_->AllocatePage();
    InitDataPage(pager_->WritablePage(mapHolderPage_), 0);
  }
  return UsageMap::AppendEmpty(*pager_, mapHolderPage_);
}

Table& JetDatabase::CreateTable(const TableDef& requested) {
  RequireWritable();
  ValidateTableDef(requested);
  RowRules{requested};  // refuses a rule it cannot read or one naming a column the table lacks
  for (const auto& e : tables_)
    if (SameName(e.name, requested.name))
      throw Error(ErrorCode::TableExists, "A table named '" + requested.name + "' already exists");
  if (SameName(requested.name.substr(0, 4), "MSys")) {
    throw Error(ErrorCode::InvalidDefinition, "Table names starting with 'MSys' are reserved for the system tables");
  }
  if (!accessControl_) throw Error(ErrorCode::NotJet4, "The database has no MSysACEs table");

  TableDefinition def = PhysicalDefinition(requested);
  TableDef logical = requested;
  for (auto& c : logical.columns) {
    if (c.type != ColumnType::Text && c.type != ColumnType::Binary) c.length = 0;
    if (c.type != ColumnType::Decimal) c.precision = c.scale = 0;
  }
  // Primary-key columns can never hold NULL.
  for (auto& c : logical.columns)
    for (const auto& k : logical.primaryKey)
      if (SameName(c.name, k)) c.required = true;
  if (logical.primaryKey.empty()) logical.primaryKeyName.clear();
  logical.indexes = LogicalDefinition(def, {}).indexes;

  auto savedCatalog = catalog_->Save();
  auto savedAces = accessControl_->Save();
  std::uint32_t savedHolder = mapHolderPage_;
  std::vector<ColumnProperties> pendingProperties;
  TableProperties pendingTable;
  pager_->BeginAtomic();
  try {
    std::uint32_t tdefPage = pager_->AllocatePage();
    def.ownedMap = AppendMapRow();
    def.spareOwnedMap = AppendMapRow();
    def.freeMap = AppendMapRow();
    for (auto& m : def.longValueMaps) {
      m.owned = AppendMapRow();
      m.free = AppendMapRow();
    }
    for (auto& r : def.realIndexes) {
      r.map = AppendMapRow();
      r.root = IndexTree::CreateEmpty(*pager_, tdefPage);
      UsageMap(*pager_, r.map).Add(r.root);
    }
    WriteTableDefinition(*pager_, tdefPage, EncodeTableDefinition(def));
    auto id = static_cast<std::int32_t>(tdefPage);
    std::vector<Value> catalogRow = CatalogRow(id, kTablesContainerId, requested.name, 1, OleDateNow(), ownerSid_, 0);
    std::vector<ColumnProperties> properties;
    for (const auto& c : requested.columns)
      properties.push_back({c.name, c.required, c.defaultValue, c.validationRule, c.validationText});
    pendingProperties = properties;
    pendingTable = {requested.validationRule, requested.validationText};
    Bytes blob = EncodeProperties(pendingTable, properties);
    if (!blob.empty()) catalogRow[kCatalogPropertiesColumn] = std::move(blob);
    catalog_->Insert(catalogRow);
    Bytes users = ownerSid_;
    if (users.size() >= 2) users[0] ^= 0x01;
    accessControl_->Insert(AccessControlRow(id, ownerSid_, 0xFFFFF, false));
    accessControl_->Insert(AccessControlRow(id, users, 0xFFFFF, false));
    pager_->CommitAtomic();
    auto stored = std::make_unique<StoredTable>(*pager_, tdefPage, std::move(def), std::move(logical), NewMapRow());
    tables_.push_back({requested.name, tdefPage, std::make_unique<UserTable>(*this, std::move(stored)),
                       std::move(pendingProperties), std::move(pendingTable)});
  } catch (...) {
    pager_->RollbackAtomic();
    catalog_->Undo(savedCatalog);
    accessControl_->Undo(savedAces);
    mapHolderPage_ = savedHolder;
    throw;
  }
  if (pager_->WantsFlush()) Flush();
  return *tables_.back().table;
}

void JetDatabase::InsertRow(StoredTable& table, const std::vector<Value>& row) {
  RequireWritable();
  StoredTable::State& saved = savedRowState_;
  table.Save(saved);
  std::uint32_t savedHolder = mapHolderPage_;
  pager_->BeginAtomic();
  try {
    table.Insert(row);
    pager_->CommitAtomic();
  } catch (...) {
    pager_->RollbackAtomic();
    table.Undo(saved);
    mapHolderPage_ = savedHolder;
    throw;
  }
  if (pager_->WantsFlush()) Flush();
}

void JetDatabase::TrimCache(std::size_t pages) { pager_->TrimCache(pages); }

void JetDatabase::Flush(Durability durability) {
  if (!pager_->writable() || !writing_) return;
  // Each table's definition page is the one write that switches it to its new
  // state. User tables go first, the catalog last: a table the catalog lists is
  // complete, with its access rows and relationships.
  std::vector<StoredTable*> tables;
  for (auto& e : tables_)
    if (e.table) tables.push_back(&e.table->stored());
  if (relationships_) tables.push_back(relationships_.get());
  if (accessControl_) tables.push_back(accessControl_.get());
  tables.push_back(catalog_.get());
  std::vector<std::uint32_t> commitOrder;
  pager_->SetCommitting(true);
  try {
    for (StoredTable* t : tables) {
      t->PrepareCommit();
      commitOrder.push_back(t->tdefPage());
    }
  } catch (...) {
    pager_->SetCommitting(false);
    throw;
  }
  pager_->SetCommitting(false);
  // Page 1 lists the pages free now: pages reused by this flush are no longer
  // free there before any definition refers to them...
  WriteFreePagesIfChanged();
  pager_->Flush(durability, commitOrder);
  std::size_t indexPages = 0;
  for (StoredTable* t : tables) {
    t->Committed();
    indexPages += t->IndexPages();
  }
  pager_->SetCommitReserve(static_cast<std::uint32_t>(std::min<std::size_t>(indexPages + 16, 0x40000)));
  // ... and the pages this flush gave back become free there only now that no
  // definition on disk refers to them (a kill in between leaves them unused).
  if (WriteFreePagesIfChanged()) pager_->Flush(Durability::Written);
}

bool JetDatabase::WriteFreePagesIfChanged() {
  std::vector<std::uint32_t> free = pager_->freePages();
  std::sort(free.begin(), free.end());
  if (globalMapPages_ == pager_->pageCount() && free == globalMapFree_) return false;
  WriteGlobalUsageMap(*pager_, pager_->pageCount(), free);
  globalMapPages_ = pager_->pageCount();
  globalMapFree_ = std::move(free);
  return true;
}

}  // namespace jet
