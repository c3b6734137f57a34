// Internal to jet/: the Database implementation behind jet.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/jet.h"
#include "jet/pager.h"
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
    std::vector<std::string> requiredColumns;  // from the catalog's property blob
  };
  JetDatabase(std::unique_ptr<Pager> pager, std::string path);
  void BuildEmptyDatabase();
  void LoadCatalog();
  // Refuses writes to a read-only file; before the first write of a session, gives
  // back the space a killed writer left past the last flush and repairs indexes a
  // killed writer left in doubt. A session that only reads writes nothing.
  void RequireWritable();
  void TruncateUnusedTail();
  format::RowPointer AppendMapRow();
  std::function<format::RowPointer()> NewMapRow();
  UserTable& Load(Entry& e);
  void RepairIfInDoubt(StoredTable& table);

  std::unique_ptr<Pager> pager_;
  std::string path_;
  std::unique_ptr<StoredTable> catalog_;
  std::unique_ptr<StoredTable> accessControl_;
  std::vector<Entry> tables_;
  // The table found last: a converter inserts many rows into one table in a row.
  std::size_t lastFound_ = 0;
  StoredTable::State savedRowState_{};  // reused by every insert
  Bytes ownerSid_;
  std::uint32_t mapHolderPage_ = 0;
  std::uint32_t globalMapPages_ = 0;  // page count page 1 describes
  bool loaded_ = false;   // the catalog was read (or built) completely
  bool writing_ = false;  // this session has changed the file
  std::vector<StoredTable*> inDoubt_;  // repaired at the first write
};

}  // namespace jet
