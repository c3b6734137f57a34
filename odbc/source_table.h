// One table of the source database: its schema and its name, quoted for each
// use, so that no statement or catalog call can name the table without its schema.
#pragma once

#include <string>

namespace talvoro::odbc {

struct SourceTable {
  std::string schema;  // TABLE_SCHEM as the catalog lists it; empty when the driver has none
  std::string name;

  // A table of SQL Server's default schema dbo (or of a source without schemas).
  bool InDefaultSchema() const;
  // As the lists and messages show it: "Sales.Customer"; a dbo table by its bare name.
  std::string Display() const;
  // For T-SQL: [Sales].[Customer] with each ] doubled; [Customer] without a schema.
  std::string QuotedSql() const;
  // The owner argument of the catalog functions (SQLColumns ...): nullptr without a schema.
  const char* CatalogOwner() const { return schema.empty() ? nullptr : schema.c_str(); }

  bool operator==(const SourceTable&) const = default;
};

}  // namespace talvoro::odbc
