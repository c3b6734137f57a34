// What a table carries besides its columns: indexes (with the keys behind
// them), foreign keys, default and check constraints, alias types, and stored
// modules (procedures, triggers, functions). Kept in standin_* tables beside
// the data, read by the DDL statements and the catalog procedures.
#pragma once

#include <sqlite3.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tsql/tsql_statements.h"

namespace standin {

// Creates the metadata tables when missing.
void EnsureSchemaMetadata(sqlite3* db);

struct IndexMeta {
  enum class Kind { PrimaryKey, UniqueConstraint, Index };
  std::string table;
  std::string name;
  std::string sqliteName;  // the SQLite index enforcing it; empty for the table's own PRIMARY KEY clause
  Kind kind = Kind::Index;
  bool unique = false;
  bool clustered = false;
  std::vector<KeyColumn> columns;
  // A filtered index's WHERE as SQL Server lists it ("([Email] IS NOT NULL)") and
  // as the SQLite partial index enforcing it; both empty for every other index.
  std::string filterDefinition;
  std::string filterPredicate;
};

struct ForeignKeyMeta {
  std::string name;
  std::string table;            // referencing
  std::string referencedTable;
  std::vector<std::string> columns;
  std::vector<std::string> referencedColumns;
  ReferentialAction onDelete = ReferentialAction::NoAction;
  ReferentialAction onUpdate = ReferentialAction::NoAction;
  bool disabled = false;        // NOCHECK CONSTRAINT
  bool notTrusted = false;      // added WITH NOCHECK: rows present then were not checked
  std::string keyName;          // the referenced primary key or unique constraint/index
};

struct ConstraintMeta {
  std::string name;
  std::string table;
  std::string kind;  // "D" default, "C" check
  std::string column;
  std::string definition;
};

struct AliasType {
  std::string name;
  std::string baseDeclaration;  // e.g. "nvarchar(40)"
  bool nullable = true;
};

struct ModuleMeta {
  std::string name;
  std::string kind;    // "P" procedure, "TR" trigger, "FN" scalar function, "IF"/"TF" table functions
  std::string parent;  // table of a trigger
  std::string definition;
};

std::vector<IndexMeta> TableIndexes(sqlite3* db, const std::string& table);
std::vector<ForeignKeyMeta> AllForeignKeys(sqlite3* db);
std::vector<ConstraintMeta> TableConstraints(sqlite3* db, const std::string& table);
std::optional<AliasType> FindAliasType(sqlite3* db, const std::string& name);
// Alias type names of a table's columns, by lower-case column name.
std::map<std::string, std::string> ColumnUserTypes(sqlite3* db, const std::string& table);

void SaveIndex(sqlite3* db, const IndexMeta& index);
void SaveForeignKey(sqlite3* db, const ForeignKeyMeta& fk);
void SaveConstraint(sqlite3* db, const ConstraintMeta& c);
void SaveAliasType(sqlite3* db, const AliasType& t);
void SaveColumnUserType(sqlite3* db, const std::string& table, const std::string& column, const std::string& type);
void SaveModule(sqlite3* db, const ModuleMeta& m);
std::vector<ModuleMeta> Modules(sqlite3* db);

void DeleteIndex(sqlite3* db, const std::string& table, const std::string& name);
void DeleteForeignKey(sqlite3* db, const std::string& name);
void DeleteConstraint(sqlite3* db, const std::string& name);
void DeleteModule(sqlite3* db, const std::string& name);
// Everything a dropped table carried (its foreign keys' triggers included).
void DeleteTableSchema(sqlite3* db, const std::string& table);
void SetForeignKeyState(sqlite3* db, const std::string& name, bool disabled, bool notTrusted);
// A CHECK constraint's state (NOCHECK CONSTRAINT, added WITH NOCHECK), as
// sys.check_constraints reports it: (is_disabled, is_not_trusted).
void SetCheckState(sqlite3* db, const std::string& name, bool disabled, bool notTrusted);
std::pair<bool, bool> CheckState(sqlite3* db, const std::string& name);

// True when `name` is already a table, view, constraint or module of the database.
bool SchemaNameTaken(sqlite3* db, const std::string& name);

// SQLite triggers enforcing a foreign key as SQL Server does (error 547 and
// cascades). `database` is named in the error texts.
void CreateForeignKeyTriggers(sqlite3* db, const std::string& database, const ForeignKeyMeta& fk);
void DropForeignKeyTriggers(sqlite3* db, const std::string& fkName);

// SQL Server's text for a duplicate key reported by SQLite ("UNIQUE constraint
// failed: T.a, T.b"): error 2627 for keys, 2601 for unique indexes.
struct DuplicateKey {
  int number = 2627;
  std::string text;
};
// `rowText`: the offending row's values as text by lower-case column name, for
// "The duplicate key value is (...)" (left out when empty).
DuplicateKey DescribeDuplicateKey(sqlite3* db, const std::string& table, const std::string& sqliteMessage,
                                  const std::map<std::string, std::string>& rowText = {});

// SQL Server's generated constraint names, e.g. PK__Orders__3214EC27A1B2C3D4.
std::string GeneratedConstraintName(const char* prefix, const std::string& table, const std::string& column);

}  // namespace standin

namespace standin {

// A type written as text, e.g. an alias type's base "nvarchar(40)".
std::optional<SqlType> ParseTypeDeclaration(const std::string& text, std::string& error);

}  // namespace standin
