// The parts of a source table's schema beyond its columns and key, read through
// the source driver's catalog functions: secondary indexes (SQLStatistics),
// foreign keys (SQLForeignKeys) and the names of CHECK constraints, which ODBC
// has no catalog function for (read from sys.check_constraints). What ODBC's
// catalog functions do not report comes from SQL Server's catalog views: index
// filters (sys.indexes), disabled and untrusted foreign keys (sys.foreign_keys)
// and the base types of alias-typed columns (sys.columns, sys.types); a server
// without those views leaves them at their defaults.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "odbc/database.h"
#include "odbc/source_table.h"

namespace talvoro::engine {

struct SourceIndexColumn {
  std::string name;
  bool ascending = true;
};

struct SourceIndex {
  std::string name;
  bool unique = false;
  std::string filter;  // a filtered index's WHERE, as the server lists it ("([Email] IS NOT NULL)"); empty for a full index
  std::vector<SourceIndexColumn> columns;  // in key order
};

// ODBC's referential actions (SQL_CASCADE, SQL_RESTRICT, SQL_SET_NULL, SQL_NO_ACTION,
// SQL_SET_DEFAULT); SQL Server reports 1 for NO ACTION.
struct SourceForeignKey {
  std::string name;
  std::string table;                          // the referencing table
  std::string referencedTable;                // as the table list shows it: "Schema.Table", a dbo table bare
  odbc::SourceTable referencedSource;         // the same, by schema and name
  std::vector<std::string> columns;           // in key order (KEY_SEQ)
  std::vector<std::string> referencedColumns;  // paired with `columns`
  int updateRule = 1;
  int deleteRule = 1;
  bool disabled = false;    // NOCHECK CONSTRAINT: the server does not enforce it
  bool notTrusted = false;  // the server's rows were not all checked against it
};

struct SourceCheck {
  std::string name;
  std::string definition;
  bool trusted = true;  // false: added WITH NOCHECK, so the rows were not checked against it
};

struct SourceTableSchema {
  std::vector<SourceForeignKey> foreignKeys;  // the keys this table holds
  std::vector<SourceCheck> checks;
  // The base type of each alias-typed column ("datetime2" for a column of a type
  // created FROM datetime2), by column name.
  std::map<std::string, std::string> aliasBaseTypes;
};

// Reads the schema of `table` (of `schema` when not empty; the first schema listed
// otherwise) on an open source connection, all but its indexes. Throws
// odbc::DBException when the foreign keys cannot be read; CHECK constraints that
// cannot be read are left out.
SourceTableSchema ReadSourceTableSchema(odbc::Database& source, const std::string& table,
                                        const std::string& schema);

// Every index of `table`, the primary key's too. Throws odbc::DBException.
std::vector<SourceIndex> ReadSourceIndexes(odbc::Database& source, const std::string& table,
                                           const std::string& schema);

}  // namespace talvoro::engine
