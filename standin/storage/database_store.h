// The databases of a data directory: DIR/NAME.mdf files holding SQLite, with
// SQL Server's column metadata kept beside the data in standin_* tables.
#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "storage/access_rights.h"
#include "types/collation.h"
#include "types/sql_type.h"

namespace standin {

struct ColumnMeta {
  std::string name;
  int ordinal = 0;
  SqlType type;
  bool identity = false;
  int64_t identitySeed = 1;
  int64_t identityIncrement = 1;
  bool nullable = true;
  std::string defaultText;  // T-SQL text of the DEFAULT expression, empty for none
  int pkSeq = 0;            // position in the primary key, 0 when not part of it
  std::string userType;     // alias type the column was declared with (sp_addtype, CREATE TYPE), else empty
  bool nullabilityGiven = true;  // NULL / NOT NULL written in the declaration (else an alias type's rule applies)
  std::string computed;     // AS expression of a computed column (T-SQL text), else empty
  bool persisted = false;   // computed ... PERSISTED
  bool hidden = false;      // a period column declared HIDDEN: not in SELECT *
  std::string generated;    // "ROW START" / "ROW END" of a system-versioned table's period, else empty
  std::string xmlSchemaCollection;  // xml(collection): its stored name (parsed, not kept)
};

struct ObjectMeta {
  std::string name;
  bool isView = false;
  std::string pkName;
};

class DataDirectory {
 public:
  explicit DataDirectory(std::string dir);
  // The folder itself (BULK INSERT reads relative paths from here).
  const std::string& path() const { return dir_; }

  // A database name that can safely become a file name.
  static bool ValidName(const std::string& name);
  // The file of an existing database (names compare case-insensitively) and
  // the name as created.
  std::optional<std::string> Find(const std::string& name, std::string* canonical = nullptr);
  // Creates NAME.mdf with its default collation (the server's when null); false
  // with `error` set when it exists or cannot be made.
  bool Create(const std::string& name, std::string& error, const Collation* collation = nullptr);
  // Names of all databases, sorted without regard to case.
  std::vector<std::string> ListNames();
  // Removes a database nobody uses.
  bool Drop(const std::string& name, std::string& error);

  // Databases in use, so that DROP DATABASE refuses them.
  void Acquire(const std::string& canonical);
  void Release(const std::string& canonical);

 private:
  std::string dir_;
  std::mutex mu_;
  std::map<std::string, int> inUse_;  // lower-case name → connections
};

class Database {
 public:
  // Opens the file (WAL, busy timeout) and makes sure the metadata tables exist.
  Database(const std::string& path, std::string name);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() const { return db_; }
  // The default collation (CREATE DATABASE ... COLLATE), the server's otherwise.
  const Collation& collation() const { return *collation_; }

  // #temp tables live in this connection's temp schema, their metadata in
  // session tables beside it: gone with the connection, seen by no other.
  static bool IsTemporary(const std::string& name) { return !name.empty() && name[0] == '#'; }
  // The metadata table ("standin_objects", "standin_columns", "standin_collations")
  // that describes `object`.
  static std::string MetaTable(const char* base, const std::string& object);
  const std::string& name() const { return name_; }

  std::optional<ObjectMeta> FindObject(const std::string& name);
  std::vector<ObjectMeta> Objects();
  // Columns of a table from the metadata, in ordinal order.
  std::vector<ColumnMeta> TableColumns(const std::string& table);
  // Columns of a table or view (a view's come from the columns it selects).
  std::vector<ColumnMeta> ObjectColumns(const ObjectMeta& object);

  // The next rowversion value of this database.
  int64_t NextTimestamp();

  // What the session using this connection may do and see (everything until
  // the session says otherwise); Objects() lists only what it may see.
  const AccessRights& rights() const { return rights_; }
  void SetRights(AccessRights rights) { rights_ = std::move(rights); }

 private:
  AccessRights rights_;
  const Collation* collation_ = nullptr;
  sqlite3* db_ = nullptr;
  std::string name_;
};

}  // namespace standin
