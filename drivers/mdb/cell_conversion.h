// Result columns as ODBC describes them, and cell values converted into the
// application's C types (SQLGetData, bound columns).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "diagnostics.h"
#include "jet/jet.h"

namespace mdb {

struct ColumnDescription {
  SQLSMALLINT sqlType = SQL_VARCHAR;  // ODBC 3 codes; date/time as SQL_TIMESTAMP for ODBC 2
  SQLULEN columnSize = 0;
  SQLSMALLINT decimalDigits = 0;
  SQLLEN displaySize = 0;
  SQLLEN octetLength = 0;
  bool isUnsigned = false;
  SQLSMALLINT defaultCType = SQL_C_CHAR;
  std::string typeName;  // Access's name of the type
};

ColumnDescription DescribeColumn(const jet::ColumnDef& column, bool odbc3);

// The value as text, as SQL_C_CHAR returns it: numbers in decimal (money with four
// decimals), dates "YYYY-MM-DD HH:MM:SS[.fff]", binary as upper-case hex, GUIDs in braces.
std::string CharacterForm(const jet::Value& value, const jet::ColumnDef& column);

// Where a partial read of a long value stands.
struct ReadProgress {
  std::size_t offset = 0;  // bytes (SQL_C_WCHAR: UTF-16 units) already returned
  bool done = false;       // the whole value has been returned
};

// Converts one cell into the application's buffer. Long values may be read in
// pieces: each call continues where `progress` stands, SQL_SUCCESS_WITH_INFO 01004
// while more remains, SQL_NO_DATA once everything was returned.
SQLRETURN ConvertCell(const jet::Value& value, const jet::ColumnDef& column, SQLSMALLINT targetType,
                      SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* indicator,
                      ReadProgress& progress, bool odbc3, Diagnostics& diagnostics);

}  // namespace mdb
