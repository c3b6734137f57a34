// Internal to jet/: the Database implementation behind jet.h.
#pragma once

#include <climits>
#include <cstdint>
#include <span>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/jet.h"
#include "jet/pager.h"
#include "jet/property_blob.h"
#include "jet/stored_table.h"

namespace jet {

class UserTable;

class JetDatabase final : public Database {
 public:
  static std::unique_ptr<JetDatabase> CreateNew(const std::string& path);
  static std::unique_ptr<JetDatabase> OpenExisting(const std::string& path, OpenMode mode);
  ~JetDatabase() override;

  const std::string& path() const override { return path_; }
  std::vector<std::string> TableNames() const override;
  Table* FindTable(std::string_view name) override;
  Table& CreateTable(const TableDef& def) override;
  void CreateIndex(std::string_view table, const IndexDef& index) override;
  RelationshipOutcome CreateRelationship(const RelationshipDef& relationship) override;
  using Database::Flush;
  void Flush(Durability durability) override;
  void TrimCache(std::size_t pages) override;

  // Adds a row to a table as one atomic step (all of it, or nothing).
  void InsertRow(StoredTable& table, const std::vector<Value>& row);
  Pager& pager() { return *pager_; }

  // For tests: lowers the file size limit (in pages) below 2 GB.
  void SetPageLimit(std::uint32_t pages) { pager_->SetPageLimit(pages); }

 private:
  struct Entry {
    std::string name;
    std::uint32_t tdefPage;
    std::unique_ptr<UserTable> table;  // loaded on first use
    std::vector<ColumnProperties> properties;  // from the catalog's property blob
    TableProperties tableProperties{};
  };
  JetDatabase(std::unique_ptr<Pager> pager, std::string path);
  void BuildEmptyDatabase();
  void LoadCatalog();
  // Refuses writes to a read-only file; before the first write of a session, gives
  // back the space a killed writer left past the last flush and repairs indexes a
  // killed writer left in doubt. A session that only reads writes nothing.
  void RequireWritable();
  void TruncateUnusedTail();
  format::RowPointer AppendMapRow(std::uint32_t nearPage = 0);
  std::function<format::RowPointer()> NewMapRow(std::uint32_t nearPage = 0);
  UserTable& Load(Entry& e);
  TableDef LogicalFor(const Entry& e, const TableDefinition& def) const;
  // Builds the table's objects again from its definition on the pages.
  void Reload(Entry& e);
  StoredTable& StoredOf(Entry& e);
  Entry& EntryOf(std::string_view table);
  std::vector<IndexColumn> ResolveIndexColumns(const StoredTable& table, const std::vector<IndexDef::Column>& columns,
                                               const std::string& what);
  std::vector<IndexEntry> CollectIndexEntries(StoredTable& table, const std::vector<IndexColumn>& columns,
                                              std::uint8_t flags, const std::string& what, std::uint32_t& distinctKeys);
  // Adds a logical index (and, unless an equal one exists, a real index built from
  // the table's rows) to `def`, the table's definition being rewritten.
  void AddIndexToDefinition(StoredTable& table, TableDefinition& def, const IndexDef& index,
                            const std::vector<IndexColumn>& columns, LogicalIndex logical);
  void RepairIfInDoubt(StoredTable& table);

  std::unique_ptr<Pager> pager_;
  std::string path_;
  std::unique_ptr<StoredTable> catalog_;
  std::unique_ptr<StoredTable> accessControl_;
  std::unique_ptr<StoredTable> relationships_;  // MSysRelationships, loaded when first needed
  std::uint32_t relationshipsTdef_ = 0;
  std::vector<std::string> relationshipNames_;
  // Catalog objects that are not tables get negative ids, numbered up from 0x80000000.
  std::int64_t nextObjectId_ = INT32_MIN;
  StoredTable& Relationships();
  StoredTable::ReferenceCheck ReferenceCheck();
  // True when `key` (as the index of logical number `logicalIndex` of the table at
  // `tdefPage` encodes it) is in that index.
  bool ReferencedKeyExists(std::uint32_t tdefPage, std::uint32_t logicalIndex, std::span<const std::uint8_t> key);
  std::vector<Entry> tables_;
  // The table found last: a converter inserts many rows into one table in a row.
  std::size_t lastFound_ = 0;
  StoredTable::State savedRowState_{};  // reused by every insert
  Bytes ownerSid_;
  std::uint32_t mapHolderPage_ = 0;
  std::uint32_t globalMapPages_ = 0;  // page count page 1 describes
  std::vector<std::uint32_t> globalMapFree_;  // the free pages it lists, ascending
  // Writes page 1 when the page count or the free pages changed since it was written.
  bool WriteFreePagesIfChanged();
  bool loaded_ = false;   // the catalog was read (or built) completely
  bool writing_ = false;  // this session has changed the file
  std::vector<StoredTable*> inDoubt_;  // repaired at the first write
};

}  // namespace jet
