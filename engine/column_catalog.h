// The source catalog of one table: its columns (SQLColumns, restricted to the
// table's schema and name and filtered by exact name), its primary key in key order
// (SQLPrimaryKeys), and its number of result columns.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "column_info.h"
#include "schema_catalog.h"
#include "odbc/database.h"
#include "odbc/source_logon.h"
#include "odbc/source_table.h"

namespace talvoro::engine {

class ColumnCatalog {
 public:
  explicit ColumnCatalog(odbc::SourceLogon logon);
  ~ColumnCatalog();

  // Connects to "dsns" with the run's logon, reads the table's key, and starts
  // the column scan. Throws odbc::DBException.
  void OpenColumnCatalog(const odbc::SourceTable& table);

  // The next column of the table, in ordinal order; false once the scan is over.
  // Warnings from the driver do not end the scan. Only the table's schema is
  // taken (without one, the first schema that lists a table of this name).
  // Throws odbc::DBException.
  bool FetchTableColumn(ColumnInfo& column);

  // The table's key columns in key order (KEY_SEQ); empty without a key. Names
  // match in full, whatever their length.
  const std::vector<std::string>& FindKeyColumn() const { return keyColumns_; }
  // The key's name (PK_NAME), so that the key is not taken for a secondary index.
  const std::string& keyName() const { return keyName_; }

  // Once the column scan has ended: the table's foreign keys and CHECK
  // constraints, on the catalog's connection. Throws odbc::DBException.
  SourceTableSchema ReadTableSchema();
  // After ReadTableSchema: the table's indexes, on the catalog's connection
  // (which nothing else may use meanwhile). Throws odbc::DBException.
  std::vector<SourceIndex> ReadTableIndexes();

  void CloseColumnCatalog();

 private:
  void ReadKeyColumns();
  void StartScan(bool restricted);

  odbc::SourceLogon logon_;
  odbc::SourceTable table_;
  std::unique_ptr<odbc::Database> db_;
  std::unique_ptr<odbc::Recordset> scan_;
  std::vector<std::string> keyColumns_;
  std::string keyName_;
  std::string schema_;
  bool schemaKnown_ = false;
  bool restricted_ = false;
  int delivered_ = 0;
};

// The source rows of one table: "SELECT [c1], [c2] ... FROM [schema].[name]"
// with the columns the catalog lists (a SELECT * would leave out hidden
// columns), on its own connection. The row copy reads this result set.
class SourceRows {
 public:
  explicit SourceRows(odbc::SourceLogon logon);

  // Opens the result set and returns its number of columns. Throws odbc::DBException.
  short OpenSourceRows(const odbc::SourceTable& table, const std::vector<std::string>& columns);

  odbc::Recordset& recordset() { return *rows_; }
  void Close();

 private:
  odbc::SourceLogon logon_;
  odbc::Database db_;
  std::unique_ptr<odbc::Recordset> rows_;
};

}  // namespace talvoro::engine
